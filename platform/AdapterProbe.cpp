// The probe of the machine's graphics adapter: the kernel's DRM and PCI device files for the
// card, the X display (with XRandR) or else the DRM connectors for the desktop and its modes.
#include "platform/Adapter.h"
#include "platform/Crt.h"
#include "platform/LoadedLibrary.h"
#include "platform/SmallFile.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <algorithm>
#include <charconv>
#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr size_t kMaxProbedModes = 512;
constexpr u32 kMaxProbedModeSide = 32768;
// The memory query answers in 32 bits; larger memories are reported as 4095 MB.
constexpr u64 kMaxReportedMemory = 0xFFF00000u;

struct Card {
    std::string DevicePath; // the card's device folder
    std::string DrmName;    // "card0" for a DRM card, empty for a PCI device without one
    u32 VendorId = 0;
    u32 DeviceId = 0;
    bool BootVga = false;
};

std::vector<std::string> ListFolder(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// A PCI id, "0x10de" as the device files write it; PCI ids have 16 bits.
bool ReadIdFile(const std::string& path, u32& value) {
    std::string text = ReadFirstLine(path);
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.erase(0, 2);
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size() &&
           value <= 0xFFFF;
}

bool ReadCard(const std::string& devicePath, Card& card) {
    card.DevicePath = devicePath;
    card.BootVga = ReadFirstLine(devicePath + "/boot_vga") == "1";
    return ReadIdFile(devicePath + "/vendor", card.VendorId) &&
           ReadIdFile(devicePath + "/device", card.DeviceId);
}

// DRM cards are "card" + digits; their connectors are "card0-HDMI-A-1" and the like.
bool IsDrmCardName(const std::string& name) {
    return name.size() > 4 && name.compare(0, 4, "card") == 0 &&
           name.find_first_not_of("0123456789", 4) == std::string::npos;
}

// The card that shows the boot console, else the first.
bool PickCard(std::vector<Card>& cards, Card& card) {
    if (cards.empty())
        return false;
    const auto boot =
        std::find_if(cards.begin(), cards.end(), [](const Card& c) { return c.BootVga; });
    card = boot != cards.end() ? *boot : cards.front();
    return true;
}

bool FindDrmCard(const std::string& sysRoot, Card& card) {
    std::vector<Card> cards;
    const std::string drm = sysRoot + "/class/drm";
    for (const std::string& name : ListFolder(drm)) {
        Card candidate;
        if (IsDrmCardName(name) && ReadCard(drm + "/" + name + "/device", candidate)) {
            candidate.DrmName = name;
            cards.push_back(candidate);
        }
    }
    return PickCard(cards, card);
}

bool FindPciDisplay(const std::string& sysRoot, Card& card) {
    std::vector<Card> cards;
    const std::string pci = sysRoot + "/bus/pci/devices";
    for (const std::string& name : ListFolder(pci)) {
        // Class 0x03xxxx: display controllers.
        Card candidate;
        if (ReadFirstLine(pci + "/" + name + "/class").compare(0, 4, "0x03") == 0 &&
            ReadCard(pci + "/" + name, candidate))
            cards.push_back(candidate);
    }
    return PickCard(cards, card);
}

std::string DriverName(const std::string& devicePath) {
    char target[4096];
    const ssize_t length = readlink((devicePath + "/driver").c_str(), target, sizeof target - 1);
    if (length <= 0)
        return {};
    const std::string_view link(target, size_t(length));
    const size_t slash = link.rfind('/');
    return std::string(slash == std::string_view::npos ? link : link.substr(slash + 1));
}

std::string CardDescription(const AdapterProbeSettings& settings, const Card& card) {
    for (const std::string& path : settings.PciIdsFiles) {
        std::string ids;
        if (ReadSmallFile(path, 16 << 20, ids)) {
            std::string name = PciIdsName(ids, card.VendorId, card.DeviceId);
            if (!name.empty())
                return name.substr(0, 511);
        }
    }
    char ids[16];
    FormatTo(ids, sizeof ids, "[%04x:%04x]", card.VendorId & 0xFFFF, card.DeviceId & 0xFFFF);
    const std::string driver = DriverName(card.DevicePath);
    return driver.empty() ? std::string(ids) : driver.substr(0, 64) + " " + ids;
}

bool ReadMemoryFile(const std::string& path, u32& bytes) {
    const std::string text = ReadFirstLine(path);
    u64 value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc())
        return false;
    bytes = u32(std::min(value, kMaxReportedMemory));
    return true;
}

// What a current adapter does; a card's capabilities cannot be measured without a 3D interface.
void SetCurrentCapabilities(Adapter& out) {
    out.PixelShaderVersion = PixelShaderVersion(3, 0);
    out.VertexShaderVersion = VertexShaderVersion(3, 0);
    out.HardwareTransformAndLight = true;
    out.ProjectedTextures = true;
    out.AnisotropicFiltering = true;
    out.MaxAnisotropy = 16;
    out.TextureFormats = {D3dFormat::DXT1, D3dFormat::DXT2, D3dFormat::DXT3, D3dFormat::DXT4,
                          D3dFormat::DXT5};
    out.RenderTargetTextureFormats = {D3dFormat::G16R16F, D3dFormat::A16B16G16R16F};
    out.DepthStencilTextureFormats = {D3dFormat::D24X8};
    out.MultisampleTypes = {2, 4};
}

// Every size is offered in the two formats a full-screen program chooses between.
void AddModes(std::vector<DisplayMode> sizes, Adapter& out) {
    std::sort(sizes.begin(), sizes.end(), [](const DisplayMode& a, const DisplayMode& b) {
        if (a.Width != b.Width)
            return a.Width < b.Width;
        if (a.Height != b.Height)
            return a.Height < b.Height;
        return a.RefreshRate < b.RefreshRate;
    });
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    if (sizes.size() > kMaxProbedModes)
        sizes.resize(kMaxProbedModes);
    for (D3dFormat format : {D3dFormat::X8R8G8B8, D3dFormat::R5G6B5}) {
        for (DisplayMode mode : sizes) {
            mode.Format = format;
            out.Modes.push_back(mode);
        }
    }
}

D3dFormat FormatOfDepth(int depth) {
    switch (depth) {
        case 24:
        case 32:
            return D3dFormat::X8R8G8B8;
        case 16:
            return D3dFormat::R5G6B5;
        case 15:
            return D3dFormat::X1R5G5B5;
        default:
            return D3dFormat::Unknown;
    }
}

u32 RefreshOfMode(const XRRModeInfo& mode) {
    double lines = double(mode.vTotal);
    if (mode.modeFlags & RR_DoubleScan)
        lines *= 2;
    if (mode.modeFlags & RR_Interlace)
        lines /= 2;
    const double pixels = double(mode.hTotal) * lines;
    return pixels > 0 ? u32(double(mode.dotClock) / pixels + 0.5) : 0;
}

// The X client libraries, loaded when the probe first runs (as the adapter interfaces are loaded
// on the systems the engine comes from): programs that never probe a display do not link them,
// and a machine without them simply has no X desktop.
struct XLibraries {
    Display* (*OpenDisplay)(const char*) = nullptr;
    int (*CloseDisplay)(Display*) = nullptr;
    int (*Sync)(Display*, Bool) = nullptr;
    XErrorHandler (*SetErrorHandler)(XErrorHandler) = nullptr;
    Bool (*RRQueryExtension)(Display*, int*, int*) = nullptr;
    XRRScreenResources* (*RRGetScreenResourcesCurrent)(Display*, Window) = nullptr;
    void (*RRFreeScreenResources)(XRRScreenResources*) = nullptr;
    RROutput (*RRGetOutputPrimary)(Display*, Window) = nullptr;
    XRROutputInfo* (*RRGetOutputInfo)(Display*, XRRScreenResources*, RROutput) = nullptr;
    void (*RRFreeOutputInfo)(XRROutputInfo*) = nullptr;
    XRRCrtcInfo* (*RRGetCrtcInfo)(Display*, XRRScreenResources*, RRCrtc) = nullptr;
    void (*RRFreeCrtcInfo)(XRRCrtcInfo*) = nullptr;
    bool HasX11 = false;
    bool HasRandr = false;

    XLibraries() {
        void* x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
        HasX11 = x11 && BindSymbol(x11, OpenDisplay, "XOpenDisplay") &&
                 BindSymbol(x11, CloseDisplay, "XCloseDisplay") && BindSymbol(x11, Sync, "XSync") &&
                 BindSymbol(x11, SetErrorHandler, "XSetErrorHandler");
        void* randr = HasX11 ? dlopen("libXrandr.so.2", RTLD_NOW | RTLD_LOCAL) : nullptr;
        HasRandr = randr && BindSymbol(randr, RRQueryExtension, "XRRQueryExtension") &&
                   BindSymbol(randr, RRGetScreenResourcesCurrent, "XRRGetScreenResourcesCurrent") &&
                   BindSymbol(randr, RRFreeScreenResources, "XRRFreeScreenResources") &&
                   BindSymbol(randr, RRGetOutputPrimary, "XRRGetOutputPrimary") &&
                   BindSymbol(randr, RRGetOutputInfo, "XRRGetOutputInfo") &&
                   BindSymbol(randr, RRFreeOutputInfo, "XRRFreeOutputInfo") &&
                   BindSymbol(randr, RRGetCrtcInfo, "XRRGetCrtcInfo") &&
                   BindSymbol(randr, RRFreeCrtcInfo, "XRRFreeCrtcInfo");
    }
};

// Loaded once and kept: the libraries stay mapped until the process ends.
const XLibraries& X() {
    static const XLibraries libraries;
    return libraries;
}

// X errors of the probe are ignored: a server without a feature must not end the program.
int IgnoreXError(Display*, XErrorEvent*) {
    return 0;
}

const XRRModeInfo* FindMode(const XRRScreenResources& resources, RRMode id) {
    for (int i = 0; i < resources.nmode; ++i) {
        if (resources.modes[i].id == id)
            return &resources.modes[i];
    }
    return nullptr;
}

// The monitor that shows the desktop: the primary output, else the first connected output that
// shows a picture, else the first connected one. Its current mode is the desktop's; its modes
// are the full-screen modes.
void ReadRandrMonitor(Display* display, Window root, Adapter& out,
                      std::vector<DisplayMode>& sizes) {
    const XLibraries& x = X();
    XRRScreenResources* resources = x.RRGetScreenResourcesCurrent(display, root);
    if (!resources)
        return;
    const RROutput primary = x.RRGetOutputPrimary(display, root);
    XRROutputInfo* chosen = nullptr;
    u32 chosenRank = 0; // 3 primary, 2 showing a picture, 1 connected
    for (int i = 0; i < resources->noutput && chosenRank < 3; ++i) {
        XRROutputInfo* output = x.RRGetOutputInfo(display, resources, resources->outputs[i]);
        if (!output)
            continue;
        u32 rank = 0;
        if (output->connection == RR_Connected)
            rank = resources->outputs[i] == primary && output->crtc ? 3 : output->crtc ? 2 : 1;
        if (rank > chosenRank) {
            if (chosen)
                x.RRFreeOutputInfo(chosen);
            chosen = output;
            chosenRank = rank;
        } else {
            x.RRFreeOutputInfo(output);
        }
    }
    if (chosen) {
        for (int m = 0; m < chosen->nmode; ++m) {
            if (const XRRModeInfo* mode = FindMode(*resources, chosen->modes[m]))
                sizes.push_back({mode->width, mode->height, RefreshOfMode(*mode)});
        }
        if (XRRCrtcInfo* crtc =
                chosen->crtc ? x.RRGetCrtcInfo(display, resources, chosen->crtc) : nullptr) {
            if (crtc->width > 0 && crtc->height > 0) {
                out.Desktop.Width = crtc->width;
                out.Desktop.Height = crtc->height;
            }
            if (const XRRModeInfo* mode = FindMode(*resources, crtc->mode))
                out.Desktop.RefreshRate = RefreshOfMode(*mode);
            x.RRFreeCrtcInfo(crtc);
        }
        x.RRFreeOutputInfo(chosen);
    }
    x.RRFreeScreenResources(resources);
}

bool ReadX11Desktop(Adapter& out) {
    const XLibraries& x = X();
    if (!x.HasX11)
        return false;
    Display* display = x.OpenDisplay(nullptr);
    if (!display)
        return false;
    const auto previousHandler = x.SetErrorHandler(&IgnoreXError);
    const int screen = DefaultScreen(display);
    // The whole screen, unless XRandR names the monitor that shows the desktop.
    out.Desktop.Width = u32(DisplayWidth(display, screen));
    out.Desktop.Height = u32(DisplayHeight(display, screen));
    out.Desktop.Format = FormatOfDepth(DefaultDepth(display, screen));
    std::vector<DisplayMode> sizes;
    int eventBase = 0, errorBase = 0;
    if (x.HasRandr && x.RRQueryExtension(display, &eventBase, &errorBase))
        ReadRandrMonitor(display, RootWindow(display, screen), out, sizes);
    if (sizes.empty())
        sizes.push_back({out.Desktop.Width, out.Desktop.Height, out.Desktop.RefreshRate});
    AddModes(sizes, out);
    x.Sync(display, False);
    x.SetErrorHandler(previousHandler);
    x.CloseDisplay(display);
    return true;
}

// The first connected connector of a DRM card: its first mode is the desktop, its modes the
// full-screen modes.
bool ReadDrmDesktop(const std::string& sysRoot, const Card& card, Adapter& out) {
    const std::string drm = sysRoot + "/class/drm";
    const std::string prefix = card.DrmName + "-";
    std::vector<DisplayMode> sizes;
    for (const std::string& name : ListFolder(drm)) {
        if (name.compare(0, prefix.size(), prefix) != 0 ||
            ReadFirstLine(drm + "/" + name + "/status") != "connected")
            continue;
        std::string text;
        ReadSmallFile(drm + "/" + name + "/modes", 64 * 1024, text);
        size_t pos = 0;
        while (pos < text.size() && sizes.size() < kMaxProbedModes) {
            size_t end = text.find('\n', pos);
            if (end == std::string::npos)
                end = text.size();
            const std::string_view line = std::string_view(text).substr(pos, end - pos);
            pos = end + 1;
            const size_t x = line.find('x');
            DisplayMode mode;
            if (x == std::string_view::npos)
                continue;
            const auto w = std::from_chars(line.data(), line.data() + x, mode.Width);
            const auto h =
                std::from_chars(line.data() + x + 1, line.data() + line.size(), mode.Height);
            // Interlaced modes ("1920x1080i") are not offered.
            if (w.ec != std::errc() || w.ptr != line.data() + x || h.ec != std::errc() ||
                h.ptr != line.data() + line.size() || mode.Width == 0 || mode.Height == 0 ||
                mode.Width > kMaxProbedModeSide || mode.Height > kMaxProbedModeSide)
                continue;
            if (sizes.empty()) {
                out.Desktop = mode;
                out.Desktop.Format = D3dFormat::X8R8G8B8;
            }
            sizes.push_back(mode);
        }
        break;
    }
    if (sizes.empty())
        return false;
    AddModes(sizes, out);
    return true;
}

} // namespace

bool ProbeAdapter(const AdapterProbeSettings& settings, Adapter& out) {
    out = Adapter();
    Card card;
    const bool drmCard = FindDrmCard(settings.SysRoot, card);
    const bool anyCard = drmCard || FindPciDisplay(settings.SysRoot, card);
    const bool display = settings.UseX11 && ReadX11Desktop(out);
    if (!display && drmCard)
        ReadDrmDesktop(settings.SysRoot, card, out);
    if (!display && !drmCard) {
        out = Adapter();
        return false;
    }
    out.Present = true;
    if (anyCard) {
        out.VendorId = card.VendorId;
        out.DeviceId = card.DeviceId;
        out.Description = CardDescription(settings, card);
        SetCurrentCapabilities(out);
        out.LocalMemoryKnown =
            ReadMemoryFile(card.DevicePath + "/mem_info_vram_total", out.LocalMemory);
        out.NonLocalMemoryKnown =
            ReadMemoryFile(card.DevicePath + "/mem_info_gtt_total", out.NonLocalMemory);
    }
    return true;
}

std::string PciIdsName(std::string_view text, u32 vendorId, u32 deviceId) {
    char vendorKey[8], deviceKey[8];
    FormatTo(vendorKey, sizeof vendorKey, "%04x", vendorId & 0xFFFF);
    FormatTo(deviceKey, sizeof deviceKey, "%04x", deviceId & 0xFFFF);
    const auto nameAfterKey = [](std::string_view line) {
        line.remove_prefix(4);
        const size_t start = line.find_first_not_of(" \t");
        return start == std::string_view::npos ? std::string_view() : line.substr(start);
    };
    std::string vendor;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        if (vendor.empty()) {
            // Vendor lines: four hex digits at the line's start, lower case in the database.
            if (line.size() > 4 && line.compare(0, 4, vendorKey) == 0 &&
                (line[4] == ' ' || line[4] == '\t'))
                vendor = nameAfterKey(line);
            continue;
        }
        if (line.front() != '\t')
            break; // the vendor's device lines are over
        if (line.size() > 5 && line[1] != '\t' && line.compare(1, 4, deviceKey) == 0 &&
            (line[5] == ' ' || line[5] == '\t'))
            return vendor + " " + std::string(nameAfterKey(line.substr(1)));
    }
    return vendor;
}

} // namespace platform
