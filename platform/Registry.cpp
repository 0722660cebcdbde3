#include "platform/Registry.h"

#include "platform/File.h"
#include "platform/HostPath.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

// A key file is a handful of lines; anything far larger is not one and is left alone.
constexpr u64 kMaxKeyFileSize = 1 << 20;
constexpr char kRootName[] = "HKEY_CURRENT_USER";
constexpr char kKeySuffix[] = ".reg";

// One line of a key file: a value, or any other text kept byte for byte. Text holds the line's
// bytes up to its LF (a CR before it included); the last line may have none.
struct KeyLine {
    std::string_view Text;
    bool HasLineFeed = false;
    bool IsValue = false;
    std::u16string Name;
    std::u16string Value;
};

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'A' && x <= u'Z')
            x = char16_t(x + 32);
        if (y >= u'A' && y <= u'Z')
            y = char16_t(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

// The key's components as host names; false for an unusable key.
bool KeyComponents(std::u16string_view key, std::vector<std::string>& components) {
    components.clear();
    size_t i = 0;
    while (i <= key.size()) {
        const size_t end = std::min(key.find(u'\\', i), key.size());
        const std::u16string_view part = key.substr(i, end - i);
        i = end + 1;
        if (part.empty())
            continue;
        if (part == u"." || part == u".." || part.find_first_of(u"/") != part.npos ||
            part.find(u'\0') != part.npos)
            return false;
        components.push_back(WideToHostText(part));
    }
    return !components.empty();
}

void AppendHex(std::string& out, u32 value, u32 digits) {
    static const char kDigits[] = "0123456789ABCDEF";
    for (u32 k = digits; k-- > 0;)
        out += kDigits[(value >> (4 * k)) & 0xF];
}

std::string Quote(std::u16string_view text) {
    std::string out = "\"";
    size_t i = 0;
    while (i < text.size()) {
        const char16_t c = text[i];
        const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
                          text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        if (pair) {
            out += WideToHostText(text.substr(i, 2));
            i += 2;
            continue;
        }
        if (c == u'\\' || c == u'"') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            AppendHex(out, c, 2);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            out += "\\u";
            AppendHex(out, c, 4);
        } else {
            out += WideToHostText(text.substr(i, 1));
        }
        ++i;
    }
    out += '"';
    return out;
}

bool ParseHex(std::string_view text, size_t at, u32 digits, u32& value) {
    if (at + digits > text.size())
        return false;
    value = 0;
    for (u32 k = 0; k < digits; ++k) {
        const char c = text[at + k];
        const int d = (c >= '0' && c <= '9')   ? c - '0'
                      : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                      : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                               : -1;
        if (d < 0)
            return false;
        value = value * 16 + u32(d);
    }
    return true;
}

// A quoted text at text[i]; i moves past its closing quote.
bool Unquote(std::string_view text, size_t& i, std::u16string& out) {
    out.clear();
    if (i >= text.size() || text[i] != '"')
        return false;
    ++i;
    std::string run;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"') {
            out += HostTextToWide(run);
            ++i;
            return true;
        }
        if (c != '\\') {
            run += c;
            ++i;
            continue;
        }
        out += HostTextToWide(run);
        run.clear();
        if (i + 1 >= text.size())
            return false;
        const char escape = text[i + 1];
        u32 value = 0;
        if (escape == '\\' || escape == '"') {
            out += char16_t(escape);
            i += 2;
        } else if (escape == 'x' && ParseHex(text, i + 2, 2, value)) {
            out += char16_t(value);
            i += 4;
        } else if (escape == 'u' && ParseHex(text, i + 2, 4, value)) {
            out += char16_t(value);
            i += 6;
        } else {
            return false;
        }
    }
    return false;
}

// The lines of a key file. A value line is a quoted name, '=', a quoted value and nothing after
// it but blanks, up to its line end: LF or CR LF (one CR is taken off before the LF).
std::vector<KeyLine> ParseKeyFile(std::string_view text) {
    std::vector<KeyLine> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        KeyLine line;
        line.HasLineFeed = end != std::string_view::npos;
        if (!line.HasLineFeed)
            end = text.size();
        line.Text = text.substr(start, end - start);
        start = end + 1;
        std::string_view body = line.Text;
        if (!body.empty() && body.back() == '\r')
            body.remove_suffix(1);
        size_t i = 0;
        if (Unquote(body, i, line.Name) && i < body.size() && body[i] == '=' &&
            Unquote(body, ++i, line.Value) &&
            body.find_first_not_of(" \t", i) == std::string_view::npos)
            line.IsValue = true;
        lines.push_back(std::move(line));
    }
    return lines;
}

const KeyLine* FindValueLine(const std::vector<KeyLine>& lines, std::u16string_view name) {
    for (const KeyLine& line : lines)
        if (line.IsValue && EqualsNoCase(line.Name, name))
            return &line;
    return nullptr;
}

// The key file's host path (the names that exist resolved ignoring case) and its folder.
struct KeyFile {
    std::string Path;
    std::string Folder;
};

bool LocateKeyFile(std::u16string_view key, KeyFile& file, std::vector<std::string>& components) {
    const std::string root = GetRegistryFolder();
    if (root.empty() || !KeyComponents(key, components))
        return false;
    std::string path = root;
    for (const std::string& component : components) {
        path += '/';
        path += component;
    }
    path += kKeySuffix;
    ResolveHostNames(path);
    file.Path = path;
    file.Folder = path.substr(0, path.rfind('/'));
    return true;
}

int ReadKeyFile(const std::string& path, std::string& text) {
    text.clear();
    File file;
    if (const int error = file.OpenRead(path))
        return error;
    const u64 size = file.Size();
    if (size > kMaxKeyFileSize)
        return EFBIG;
    text.resize(size_t(size));
    text.resize(size_t(file.Read(text.data(), size)));
    return file.Error();
}

// Creates the missing folders of the path up to `folder`.
int MakeFolders(const std::string& folder) {
    std::string sofar;
    size_t i = 0;
    while (i < folder.size()) {
        const size_t end = std::min(folder.find('/', i + 1), folder.size());
        sofar = folder.substr(0, end);
        i = end;
        if (sofar.empty() || sofar == "/")
            continue;
        FileInfo info;
        if (GetFileInfo(sofar, info) == 0) {
            if (!info.IsFolder)
                return ENOTDIR;
            continue;
        }
        if (mkdir(sofar.c_str(), 0700) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
}

} // namespace

std::string GetRegistryFolder() {
    if (const char* folder = std::getenv("ENGINE_REGISTRY_DIR"); folder && *folder)
        return folder;
    // The base folder specification ignores relative values.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return config;
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.config";
    return std::string();
}

bool FindKeyFileValue(std::string_view text, std::u16string_view name, std::u16string& value) {
    value.clear();
    const std::vector<KeyLine> lines = ParseKeyFile(text);
    const KeyLine* line = FindValueLine(lines, name);
    if (line)
        value = line->Value;
    return line != nullptr;
}

std::string SetKeyFileValue(std::string_view text, std::string_view header,
                            std::u16string_view name, std::u16string_view value) {
    const std::vector<KeyLine> lines = ParseKeyFile(text);
    const KeyLine* replaced = FindValueLine(lines, name);
    const std::string valueLine =
        Quote(replaced ? std::u16string_view(replaced->Name) : name) + "=" + Quote(value);
    std::string out;
    out.reserve(header.size() + text.size() + valueLine.size() + 3);
    if (lines.empty() || lines.front().Text.empty() || lines.front().Text[0] != '[') {
        out += header;
        out += '\n';
    }
    for (const KeyLine& line : lines) {
        if (&line == replaced) {
            out += valueLine;
            // The line keeps its end, CR LF or LF.
            if (line.Text.back() == '\r')
                out += '\r';
        } else {
            out += line.Text;
        }
        if (line.HasLineFeed)
            out += '\n';
    }
    if (!replaced) {
        if (!out.empty() && out.back() != '\n')
            out += '\n';
        out += valueLine;
        out += '\n';
    }
    return out;
}

bool RegistryRead(std::u16string_view key, std::u16string_view name, std::u16string& value) {
    value.clear();
    KeyFile file;
    std::vector<std::string> components;
    std::string text;
    if (!LocateKeyFile(key, file, components) || ReadKeyFile(file.Path, text) != 0)
        return false;
    return FindKeyFileValue(text, name, value);
}

int RegistryWrite(std::u16string_view key, std::u16string_view name, std::u16string_view value) {
    KeyFile file;
    std::vector<std::string> components;
    if (!LocateKeyFile(key, file, components))
        return EINVAL;
    if (const int error = MakeFolders(file.Folder))
        return error;
    // The folder may have been created with a spelling of its own just now.
    if (!LocateKeyFile(key, file, components))
        return EINVAL;

    const int folderFd = open(file.Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return errno;
    flock(folderFd, LOCK_EX);
    std::string text;
    int error = ReadKeyFile(file.Path, text);
    if (error == ENOENT)
        error = 0;
    if (error == 0) {
        std::string header = std::string("[") + kRootName;
        for (const std::string& component : components) {
            header += '\\';
            for (char c : component)
                header += (u8(c) < 0x20 || c == 0x7F || c == ']') ? '_' : c;
        }
        header += ']';
        const std::string out = SetKeyFileValue(text, header, name, value);
        File writer;
        error = writer.OpenReplacing(file.Path);
        if (error == 0) {
            writer.SetNewFileMode(0600);
            writer.Write(out.data(), out.size());
            error = writer.Close();
        }
    }
    flock(folderFd, LOCK_UN);
    close(folderFd);
    return error;
}

} // namespace platform
