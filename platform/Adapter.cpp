#include "platform/Adapter.h"

#include "platform/SmallFile.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constinit AdapterDescriber s_Describer = nullptr;

constexpr u32 kMaxAdapterFileSize = 64 * 1024;
constexpr size_t kMaxDescriptionLength = 511;
constexpr size_t kMaxListItems = 512;
constexpr u32 kMaxModeSide = 32768;
constexpr u32 kMaxRefreshRate = 1000;

struct FormatName {
    D3dFormat Format;
    const char* Name;
};

constexpr FormatName kFormatNames[] = {
    {D3dFormat::R8G8B8, "R8G8B8"},
    {D3dFormat::A8R8G8B8, "A8R8G8B8"},
    {D3dFormat::X8R8G8B8, "X8R8G8B8"},
    {D3dFormat::R5G6B5, "R5G6B5"},
    {D3dFormat::X1R5G5B5, "X1R5G5B5"},
    {D3dFormat::A1R5G5B5, "A1R5G5B5"},
    {D3dFormat::D24X8, "D24X8"},
    {D3dFormat::G16R16F, "G16R16F"},
    {D3dFormat::A16B16G16R16F, "A16B16G16R16F"},
    {D3dFormat::DXT1, "DXT1"},
    {D3dFormat::DXT2, "DXT2"},
    {D3dFormat::DXT3, "DXT3"},
    {D3dFormat::DXT4, "DXT4"},
    {D3dFormat::DXT5, "DXT5"},
};

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// Decimal, or hexadecimal after "0x"; the whole text must be the number.
bool ParseNumber(std::string_view text, u64 max, u64& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && value <= max;
}

bool ParseU32(std::string_view text, u32 max, u32& value) {
    u64 wide = 0;
    if (!ParseNumber(text, max, wide))
        return false;
    value = u32(wide);
    return true;
}

// Decimal digits only (parts of versions).
bool ParseDecimal(std::string_view text, u32 max, u32& value) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != text.npos)
        return false;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value <= max;
}

bool ParseMemory(std::string_view text, u32& value) {
    u64 unit = 1;
    if (!text.empty()) {
        switch (LowerAscii(text.back())) {
            case 'k':
                unit = u64(1) << 10;
                break;
            case 'm':
                unit = u64(1) << 20;
                break;
            case 'g':
                unit = u64(1) << 30;
                break;
            default:
                break;
        }
        if (unit != 1)
            text = Trim(text.substr(0, text.size() - 1));
    }
    u64 count = 0;
    if (!ParseNumber(text, 0xFFFFFFFFu / unit, count))
        return false;
    value = u32(count * unit);
    return true;
}

bool ParseBool(std::string_view text, bool& value) {
    if (text == "0" || text == "1") {
        value = text == "1";
        return true;
    }
    return false;
}

// "major.minor" or "0" for none.
bool ParseShaderVersion(std::string_view text, u32 kind, u32& value) {
    if (text == "0" || text == "0.0") {
        value = 0;
        return true;
    }
    const size_t dot = text.find('.');
    u32 major = 0, minor = 0;
    if (dot == std::string_view::npos || !ParseDecimal(text.substr(0, dot), 255, major) ||
        !ParseDecimal(text.substr(dot + 1), 255, minor))
        return false;
    value = kind | (major << 8) | minor;
    return true;
}

bool ParseFormat(std::string_view text, D3dFormat& format) {
    for (const FormatName& entry : kFormatNames) {
        if (EqualNoCase(text, entry.Name)) {
            format = entry.Format;
            return true;
        }
    }
    return false;
}

bool ParseSide(std::string_view text, u32& value) {
    return ParseU32(text, kMaxModeSide, value) && value > 0;
}

// "WxH[@Hz]"; with bits "WxHxBits[@Hz]", the bits choosing the format.
bool ParseMode(std::string_view text, bool withBits, DisplayMode& mode) {
    mode = DisplayMode();
    const size_t at = text.find('@');
    if (at != std::string_view::npos) {
        if (!ParseU32(text.substr(at + 1), kMaxRefreshRate, mode.RefreshRate))
            return false;
        text = text.substr(0, at);
    }
    const size_t x1 = text.find_first_of("xX");
    if (x1 == std::string_view::npos || !ParseSide(text.substr(0, x1), mode.Width))
        return false;
    text.remove_prefix(x1 + 1);
    if (!withBits)
        return ParseSide(text, mode.Height);
    const size_t x2 = text.find_first_of("xX");
    u32 bits = 0;
    if (x2 == std::string_view::npos || !ParseSide(text.substr(0, x2), mode.Height) ||
        !ParseU32(text.substr(x2 + 1), 64, bits))
        return false;
    switch (bits) {
        case 32:
            mode.Format = D3dFormat::X8R8G8B8;
            return true;
        case 24:
            mode.Format = D3dFormat::R8G8B8;
            return true;
        case 16:
            mode.Format = D3dFormat::R5G6B5;
            return true;
        case 15:
            mode.Format = D3dFormat::X1R5G5B5;
            return true;
        default:
            return false;
    }
}

std::vector<std::string_view> SplitList(std::string_view text) {
    std::vector<std::string_view> items;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t start = text.find_first_not_of(" \t,", pos);
        if (start == std::string_view::npos)
            break;
        size_t end = text.find_first_of(" \t,", start);
        if (end == std::string_view::npos)
            end = text.size();
        items.push_back(text.substr(start, end - start));
        pos = end;
    }
    return items;
}

bool ParseFormatList(std::string_view text, std::vector<D3dFormat>& formats) {
    const std::vector<std::string_view> items = SplitList(text);
    if (items.size() > kMaxListItems)
        return false;
    for (std::string_view item : items) {
        D3dFormat format{};
        if (!ParseFormat(item, format))
            return false;
        formats.push_back(format);
    }
    return true;
}

// Applies one line's value; false when the value does not fit the key.
bool ApplyValue(std::string_view key, std::string_view value, Adapter& out, bool& anisotropicGiven,
                std::string& what) {
    if (key == "present")
        return ParseBool(value, out.Present);
    if (key == "vendor")
        return ParseU32(value, 0xFFFF, out.VendorId);
    if (key == "device")
        return ParseU32(value, 0xFFFF, out.DeviceId);
    if (key == "driver") {
        u32 parts[4] = {};
        std::string_view rest = value;
        for (u32 i = 0; i < 4; ++i) {
            const size_t dot = i < 3 ? rest.find('.') : rest.size();
            if (dot == std::string_view::npos ||
                !ParseDecimal(rest.substr(0, dot), 0xFFFF, parts[i]))
                return false;
            rest = i < 3 ? rest.substr(dot + 1) : rest;
        }
        out.DriverVersionHigh = parts[0] << 16 | parts[1];
        out.DriverVersionLow = parts[2] << 16 | parts[3];
        return true;
    }
    if (key == "description") {
        if (value.size() > kMaxDescriptionLength) {
            what = "description longer than 511 bytes";
            return false;
        }
        for (char c : value) {
            if (u8(c) < 0x20 && c != '\t')
                return false;
        }
        out.Description.assign(value);
        return true;
    }
    if (key == "desktop")
        return ParseMode(value, true, out.Desktop);
    if (key.substr(0, 6) == "modes.") {
        D3dFormat format{};
        if (!ParseFormat(key.substr(6), format)) {
            what = "unknown format in the key";
            return false;
        }
        const std::vector<std::string_view> items = SplitList(value);
        if (items.size() > kMaxListItems) {
            what = "more than 512 modes";
            return false;
        }
        for (std::string_view item : items) {
            DisplayMode mode;
            if (!ParseMode(item, false, mode))
                return false;
            mode.Format = format;
            out.Modes.push_back(mode);
        }
        return true;
    }
    if (key == "ps")
        return ParseShaderVersion(value, 0xFFFF0000u, out.PixelShaderVersion);
    if (key == "vs")
        return ParseShaderVersion(value, 0xFFFE0000u, out.VertexShaderVersion);
    if (key == "hwtnl")
        return ParseBool(value, out.HardwareTransformAndLight);
    if (key == "projected")
        return ParseBool(value, out.ProjectedTextures);
    if (key == "anisotropic") {
        anisotropicGiven = true;
        return ParseBool(value, out.AnisotropicFiltering);
    }
    if (key == "maxaniso")
        return ParseU32(value, 0xFFFF, out.MaxAnisotropy);
    if (key == "multisample") {
        const std::vector<std::string_view> items = SplitList(value);
        for (std::string_view item : items) {
            u32 type = 0;
            if (!ParseU32(item, 16, type) || type < 2)
                return false;
            out.MultisampleTypes.push_back(type);
        }
        return true;
    }
    if (key == "textures")
        return ParseFormatList(value, out.TextureFormats);
    if (key == "rendertargets")
        return ParseFormatList(value, out.RenderTargetTextureFormats);
    if (key == "depthtextures")
        return ParseFormatList(value, out.DepthStencilTextureFormats);
    if (key == "vram") {
        out.LocalMemoryKnown = ParseMemory(value, out.LocalMemory);
        return out.LocalMemoryKnown;
    }
    if (key == "nonlocal") {
        out.NonLocalMemoryKnown = ParseMemory(value, out.NonLocalMemory);
        return out.NonLocalMemoryKnown;
    }
    what = "unknown key";
    return false;
}

std::string ProgramFolder() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return {};
    const std::string_view full(path, size_t(length));
    const size_t slash = full.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(full.substr(0, slash));
}

AdapterSource DescribeFromSources(Adapter& out, std::string& problem) {
    const std::string path = FindAdapterFile(std::getenv("BRISALDE_ADAPTER_FILE"), ProgramFolder());
    if (!path.empty() && ReadAdapterFile(path, out, problem))
        return AdapterSource::File;
    if (ProbeAdapter(AdapterProbeSettings(), out))
        return AdapterSource::Probe;
    out = Adapter();
    return AdapterSource::None;
}

} // namespace

const char* D3dFormatName(D3dFormat format) {
    for (const FormatName& entry : kFormatNames) {
        if (entry.Format == format)
            return entry.Name;
    }
    return nullptr;
}

u32 Adapter::GetModeCount(D3dFormat format) const {
    return u32(std::count_if(Modes.begin(), Modes.end(),
                             [format](const DisplayMode& mode) { return mode.Format == format; }));
}

bool Adapter::EnumMode(D3dFormat format, u32 index, DisplayMode& mode) const {
    for (const DisplayMode& candidate : Modes) {
        if (candidate.Format != format)
            continue;
        if (index == 0) {
            mode = candidate;
            return true;
        }
        --index;
    }
    return false;
}

bool Adapter::CheckFormat(FormatUsage usage, D3dFormat, D3dFormat format) const {
    const std::vector<D3dFormat>& formats = usage == FormatUsage::Texture ? TextureFormats
                                            : usage == FormatUsage::RenderTargetTexture
                                                ? RenderTargetTextureFormats
                                                : DepthStencilTextureFormats;
    return std::find(formats.begin(), formats.end(), format) != formats.end();
}

bool Adapter::CheckMultisample(D3dFormat format, bool windowed, u32 type) const {
    return format == D3dFormat::X8R8G8B8 && !windowed &&
           std::find(MultisampleTypes.begin(), MultisampleTypes.end(), type) !=
               MultisampleTypes.end();
}

bool Adapter::GetAvailableVideoMemory(VideoMemoryKind kind, u32& total) const {
    const bool known =
        kind == VideoMemoryKind::NonLocalTextures ? NonLocalMemoryKnown : LocalMemoryKnown;
    total = !known ? 0 : kind == VideoMemoryKind::NonLocalTextures ? NonLocalMemory : LocalMemory;
    return known;
}

AdapterSource DescribeAdapter(Adapter& out, std::string& problem) {
    out = Adapter();
    problem.clear();
    return (s_Describer ? s_Describer : &DescribeFromSources)(out, problem);
}

AdapterDescriber SetAdapterDescriber(AdapterDescriber describer) {
    const AdapterDescriber old = s_Describer;
    s_Describer = describer;
    return old;
}

std::string FindAdapterFile(const char* environmentValue, const std::string& programFolder) {
    if (environmentValue && *environmentValue)
        return environmentValue;
    if (programFolder.empty())
        return {};
    const std::string beside = programFolder + "/GfxAdapter.txt";
    struct stat info {};
    return stat(beside.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? beside : std::string();
}

bool ReadAdapterFile(const std::string& path, Adapter& out, std::string& problem) {
    out = Adapter();
    std::string text;
    // One byte more than the limit tells a file that is too long.
    if (!ReadSmallFile(path, kMaxAdapterFileSize + 1, text)) {
        problem = "Adapter description " + path + ": cannot be read";
        return false;
    }
    if (text.size() > kMaxAdapterFileSize) {
        problem = "Adapter description " + path + ": longer than 64 KB";
        return false;
    }
    if (!ParseAdapterDescription(text, out, problem)) {
        problem = "Adapter description " + path + ": " + problem;
        return false;
    }
    return true;
}

bool ParseAdapterDescription(std::string_view text, Adapter& out, std::string& problem) {
    out = Adapter();
    out.Present = true;
    bool anisotropicGiven = false;
    std::set<std::string> seen;
    u32 lineNumber = 0;
    size_t pos = 0;
    const auto fail = [&](const std::string& what) {
        problem = "line " + std::to_string(lineNumber) + ": " + what;
        out = Adapter();
        return false;
    };
    // Editors that save UTF-8 may put a byte-order mark first.
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    if (text.find('\0') != std::string_view::npos) {
        lineNumber = 1 + u32(std::count(text.begin(), text.begin() + text.find('\0'), '\n'));
        return fail("NUL byte");
    }
    while (pos < text.size()) {
        ++lineNumber;
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == '#' || line.front() == ';')
            continue;
        const size_t equal = line.find('=');
        if (equal == std::string_view::npos)
            return fail("no '=' in the line");
        std::string key(Trim(line.substr(0, equal)));
        for (char& c : key)
            c = LowerAscii(c);
        const std::string_view value = Trim(line.substr(equal + 1));
        // Keys are quoted in the problem line, cut to a readable length.
        const std::string shown = "\"" + key.substr(0, 40) + "\"";
        if (!seen.insert(key).second)
            return fail("key " + shown + " given twice");
        std::string what;
        if (!ApplyValue(key, value, out, anisotropicGiven, what))
            return fail((what.empty() ? "bad value" : what) + " for " + shown);
    }
    if (!anisotropicGiven)
        out.AnisotropicFiltering = out.MaxAnisotropy > 1;
    problem.clear();
    return true;
}

} // namespace platform
