// Fuzzes the probe of the graphics adapter over a made-up tree of the kernel's device files (DRM
// cards and their connectors, PCI display controllers, memory files, driver links and the PCI
// names database), and the road of the adapter description file beside the program.
//
// The input is a list of files. A line "@@ <path>" starts each one and the lines after it, up to
// the next such line, are its bytes; "@@ <path> -> <driver>" makes <path> a link to the folder
// bus/pci/drivers/<driver>, as the kernel's "driver" links are. Paths are relative to the tree's
// root, with '/' between components; "pci.ids" is the names database and "GfxAdapter.txt" the
// description file. A path that climbs out or cannot be made is skipped.
//
// Checked: a probe that finds nothing leaves the empty description; one that finds something
// answers a present adapter with 16-bit PCI ids, a description of at most 511 bytes, at most
// 512 sizes, each in both full-screen formats, sorted without repeats and within the sides a
// display has, a desktop among them, and memory sizes the 32-bit query holds; probing twice
// answers the same. The description file reads as its text does, is refused above 64 KB, and
// inputs of odd size also read it padded to exactly the limit and to one byte more.
#include "FuzzFiles.h"
#include "platform/Adapter.h"

#include <algorithm>
#include <string_view>
#include <tuple>
#include <vector>

namespace {

constexpr size_t kMaxFiles = 64;
constexpr size_t kMaxDepth = 12;
constexpr u32 kAdapterFileLimit = 64 * 1024;

using platform::Adapter;
using platform::D3dFormat;
using platform::DisplayMode;

bool SameAdapter(const Adapter& a, const Adapter& b) {
    return a.Present == b.Present && a.VendorId == b.VendorId && a.DeviceId == b.DeviceId &&
           a.DriverVersionLow == b.DriverVersionLow && a.DriverVersionHigh == b.DriverVersionHigh &&
           a.Description == b.Description && a.Desktop == b.Desktop && a.Modes == b.Modes &&
           a.PixelShaderVersion == b.PixelShaderVersion &&
           a.VertexShaderVersion == b.VertexShaderVersion &&
           a.HardwareTransformAndLight == b.HardwareTransformAndLight &&
           a.ProjectedTextures == b.ProjectedTextures &&
           a.AnisotropicFiltering == b.AnisotropicFiltering && a.MaxAnisotropy == b.MaxAnisotropy &&
           a.TextureFormats == b.TextureFormats &&
           a.RenderTargetTextureFormats == b.RenderTargetTextureFormats &&
           a.DepthStencilTextureFormats == b.DepthStencilTextureFormats &&
           a.MultisampleTypes == b.MultisampleTypes && a.LocalMemoryKnown == b.LocalMemoryKnown &&
           a.LocalMemory == b.LocalMemory && a.NonLocalMemoryKnown == b.NonLocalMemoryKnown &&
           a.NonLocalMemory == b.NonLocalMemory;
}

// The components of a path that stays inside the tree; empty when it does not.
std::vector<std::string> Components(std::string_view path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find('/', start), path.size());
        const std::string_view part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == ".." || part.size() > 64 ||
            part.find('\0') != std::string_view::npos || parts.size() == kMaxDepth)
            return {};
        parts.emplace_back(part);
        start = end + 1;
    }
    return parts;
}

struct CTree {
    std::filesystem::path Root;
    std::string Description; // the bytes of GfxAdapter.txt, when the input gives it as a file
    bool HasDescription = false;

    // Makes one file or link; a path in the way of another is skipped.
    void Add(std::string_view header, std::string_view bytes) {
        std::string_view path = header;
        std::string_view driver;
        const size_t arrow = header.find(" -> ");
        if (arrow != std::string_view::npos) {
            path = header.substr(0, arrow);
            driver = header.substr(arrow + 4);
        }
        const std::vector<std::string> parts = Components(path);
        if (parts.empty())
            return;
        std::filesystem::path file = Root;
        for (const std::string& part : parts)
            file /= part;
        std::error_code error;
        std::filesystem::create_directories(file.parent_path(), error);
        if (error || std::filesystem::exists(std::filesystem::symlink_status(file)))
            return;
        if (arrow != std::string_view::npos) {
            // The link names the driver's folder by its whole path, so that whatever follows it,
            // from wherever it stands, stays in the tree.
            if (Components(driver).size() != 1)
                return;
            std::filesystem::create_directory_symlink(
                Root / "bus" / "pci" / "drivers" / std::string(driver), file, error);
            return;
        }
        FILE* out = std::fopen(file.c_str(), "wb");
        if (!out)
            return;
        FUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size());
        FUZZ_CHECK(std::fclose(out) == 0);
        if (parts.size() == 1 && parts[0] == "GfxAdapter.txt") {
            Description = bytes;
            HasDescription = true;
        }
    }

    // Lays out the files the input lists.
    void Build(std::string_view input) {
        std::error_code error;
        std::filesystem::remove_all(Root, error);
        std::filesystem::create_directories(Root);
        HasDescription = false;
        size_t files = 0;
        size_t pos = input.starts_with("@@ ") ? 0 : input.find("\n@@ ");
        while (pos != std::string_view::npos && files < kMaxFiles) {
            const size_t start = input[pos] == '\n' ? pos + 1 : pos;
            const size_t headerEnd = std::min(input.find('\n', start), input.size());
            const std::string_view header = input.substr(start + 3, headerEnd - start - 3);
            const size_t next = input.find("\n@@ ", headerEnd);
            const size_t bodyStart = std::min(headerEnd + 1, input.size());
            const size_t bodyEnd = next == std::string_view::npos ? input.size() : next + 1;
            Add(header, input.substr(bodyStart, bodyEnd - bodyStart));
            pos = next;
            ++files;
        }
    }
};

void CheckProbe(const CTree& tree) {
    platform::AdapterProbeSettings settings;
    settings.SysRoot = tree.Root.string();
    settings.PciIdsFiles = {(tree.Root / "pci.ids").string()};
    settings.UseX11 = false;
    Adapter adapter;
    adapter.VendorId = 7;
    const bool found = platform::ProbeAdapter(settings, adapter);
    if (!found) {
        FUZZ_CHECK(SameAdapter(adapter, Adapter()));
        return;
    }
    FUZZ_CHECK(adapter.Present);
    FUZZ_CHECK(adapter.VendorId <= 0xFFFF && adapter.DeviceId <= 0xFFFF);
    FUZZ_CHECK(!adapter.Description.empty() && adapter.Description.size() <= 511);
    FUZZ_CHECK(!adapter.LocalMemoryKnown || adapter.LocalMemory <= 0xFFF00000u);
    FUZZ_CHECK(!adapter.NonLocalMemoryKnown || adapter.NonLocalMemory <= 0xFFF00000u);

    // The sizes, once per format: the first half in X8R8G8B8, the second the same in R5G6B5.
    const std::vector<DisplayMode>& modes = adapter.Modes;
    FUZZ_CHECK(modes.size() % 2 == 0 && modes.size() <= 2 * 512);
    const size_t half = modes.size() / 2;
    for (size_t i = 0; i < half; ++i) {
        const DisplayMode& mode = modes[i];
        FUZZ_CHECK(mode.Format == D3dFormat::X8R8G8B8);
        FUZZ_CHECK(mode.Width >= 1 && mode.Width <= 32768 && mode.Height >= 1 &&
                   mode.Height <= 32768);
        DisplayMode other = modes[half + i];
        FUZZ_CHECK(other.Format == D3dFormat::R5G6B5);
        other.Format = mode.Format;
        FUZZ_CHECK(other == mode);
        if (i > 0) {
            const DisplayMode& before = modes[i - 1];
            FUZZ_CHECK(std::tie(before.Width, before.Height, before.RefreshRate) <
                       std::tie(mode.Width, mode.Height, mode.RefreshRate));
        }
    }
    if (adapter.Desktop != DisplayMode())
        FUZZ_CHECK(std::find(modes.begin(), modes.end(), adapter.Desktop) != modes.end());

    Adapter again;
    FUZZ_CHECK(platform::ProbeAdapter(settings, again) && SameAdapter(again, adapter));
}

// Reads a description file holding `text` beside the program.
void CheckDescriptionFile(const CTree& tree, const std::string& text) {
    const std::string path = (tree.Root / "GfxAdapter.txt").string();
    FILE* out = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(out != nullptr);
    FUZZ_CHECK(std::fwrite(text.data(), 1, text.size(), out) == text.size());
    FUZZ_CHECK(std::fclose(out) == 0);
    FUZZ_CHECK(platform::FindAdapterFile(nullptr, tree.Root.string()) == path);

    Adapter fromFile;
    std::string fileProblem;
    const bool read = platform::ReadAdapterFile(path, fromFile, fileProblem);
    if (text.size() > kAdapterFileLimit) {
        FUZZ_CHECK(!read && SameAdapter(fromFile, Adapter()));
        FUZZ_CHECK(fileProblem == "Adapter description " + path + ": longer than 64 KB");
        return;
    }
    Adapter fromText;
    std::string textProblem;
    FUZZ_CHECK(platform::ParseAdapterDescription(text, fromText, textProblem) == read);
    FUZZ_CHECK(SameAdapter(fromFile, fromText));
    FUZZ_CHECK(read ? fileProblem.empty()
                    : fileProblem == "Adapter description " + path + ": " + textProblem);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    static const CFuzzFolder s_Folder("adapter-probe-fuzz");
    CTree tree;
    tree.Root = s_Folder.File("sys");
    tree.Build(std::string_view(reinterpret_cast<const char*>(data), size));
    CheckProbe(tree);
    if (tree.HasDescription) {
        CheckDescriptionFile(tree, tree.Description);
        if (tree.Description.size() % 2 && tree.Description.size() < kAdapterFileLimit) {
            CheckDescriptionFile(tree, PaddedWithComment(tree.Description, kAdapterFileLimit));
            CheckDescriptionFile(tree, PaddedWithComment(tree.Description, kAdapterFileLimit + 1));
        }
    }
    return 0;
}
