#pragma once
// The graphics adapter as the engine asks about it: whether a 3D device can be made at all, the
// adapter's identity, the desktop mode, the full-screen modes per pixel format, the capabilities
// of its hardware device, which formats it accepts for textures, render targets and depth
// textures, which multisample types it accepts, and its local and non-local video memory.
// Formats keep their Direct3D 9 numbers, so that the rules written for them read the same.
//
// The description comes from the first of three sources that answers:
// 1. A description file: the file named by the environment variable BRISALDE_ADAPTER_FILE, or
//    else "GfxAdapter.txt" beside the program. A file that cannot be read or is damaged is
//    reported and the next source answers.
// 2. A probe of the machine: the display card of the kernel's DRM devices (PCI ids, driver,
//    connector modes, amdgpu memory files) or else the PCI display controller; the X display
//    named by DISPLAY for the desktop and, through XRandR, its modes. A display or a DRM card
//    makes the adapter present. A card gets the capabilities of a current adapter (they cannot
//    be measured without a 3D interface); a display without a card gets none.
// 3. Nothing: the machine has no 3D interface.
// A 3D interface exists when a source answered; a device can be made when it also says Present.
//
// Description file: UTF-8 text, one "key = value" per line; blank lines and lines starting with
// '#' or ';' are skipped; keys are ASCII-case-insensitive and may appear once. Keys not given
// answer "no", zero or empty, except present (1). Numbers are decimal, or hexadecimal after
// "0x"; memory sizes take an optional K, M or G (binary units). Lists are separated by blanks
// or commas.
//   present = 0 | 1               whether a 3D device can be made
//   vendor = 0x10DE               PCI vendor id
//   device = 0x0322               PCI device id
//   driver = 6.14.10.6693         driver version, four numbers up to 65535
//   description = text            up to 511 bytes
//   desktop = 1280x1024x32@60     width, height, bits (32, 24, 16 or 15), optional refresh rate
//   modes.X8R8G8B8 = 640x480@60 800x600   full-screen modes of a format (refresh rate optional)
//   ps = 2.0    vs = 2.0          pixel and vertex shader versions (0 for none)
//   hwtnl = 0 | 1                 hardware transform and lighting
//   projected = 0 | 1             projected textures
//   anisotropic = 0 | 1           anisotropic filtering (default: maxaniso above 1)
//   maxaniso = 16                 highest anisotropy
//   multisample = 2 4             multisample types accepted in X8R8G8B8 full screen
//   textures = DXT1 DXT2 ...      texture formats accepted
//   rendertargets = G16R16F ...   render-target texture formats accepted
//   depthtextures = D24X8         depth-stencil texture formats accepted
//   vram = 128M                   local video memory (not given: the memory query fails)
//   nonlocal = 256M               non-local (AGP) memory (not given: the query fails)
#include "platform/Types.h"

#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class D3dFormat : u32 {
    Unknown = 0,
    R8G8B8 = 20,
    A8R8G8B8 = 21,
    X8R8G8B8 = 22,
    R5G6B5 = 23,
    X1R5G5B5 = 24,
    A1R5G5B5 = 25,
    D24X8 = 77,
    G16R16F = 112,
    A16B16G16R16F = 113,
    DXT1 = 0x31545844,
    DXT2 = 0x32545844,
    DXT3 = 0x33545844,
    DXT4 = 0x34545844,
    DXT5 = 0x35545844,
};

// The format's name ("X8R8G8B8"), or null for a number without a name here.
const char* D3dFormatName(D3dFormat format);

struct DisplayMode {
    u32 Width = 0;
    u32 Height = 0;
    u32 RefreshRate = 0; // Hz, 0 for the adapter's default
    D3dFormat Format = D3dFormat::Unknown;

    bool operator==(const DisplayMode&) const = default;
};

// What a format is asked for.
enum class FormatUsage : u32 { Texture, RenderTargetTexture, DepthStencilTexture };

// The surface kinds whose available video memory can be asked for.
enum class VideoMemoryKind : u32 {
    Local3DTextures,     // local video memory for textures of 3D devices
    LocalTextures,       // local video memory for textures
    LocalOffscreenPlain, // local video memory for off-screen plain surfaces
    Local,               // local video memory
    NonLocalTextures,    // non-local (AGP) video memory for textures
};

// Shader versions in the 3D interface's form: 0xFFFF0000 (pixel) or 0xFFFE0000 (vertex) with
// the major version in bits 8-15 and the minor in bits 0-7; 0 for none.
constexpr u32 PixelShaderVersion(u32 major, u32 minor) {
    return 0xFFFF0000u | (major << 8) | minor;
}
constexpr u32 VertexShaderVersion(u32 major, u32 minor) {
    return 0xFFFE0000u | (major << 8) | minor;
}

struct Adapter {
    bool Present = false; // a 3D device can be made
    u32 VendorId = 0;
    u32 DeviceId = 0;
    u32 DriverVersionLow = 0;  // sub-version << 16 | build
    u32 DriverVersionHigh = 0; // product << 16 | version
    std::string Description;
    DisplayMode Desktop;
    std::vector<DisplayMode> Modes; // full-screen modes, each with its format
    u32 PixelShaderVersion = 0;
    u32 VertexShaderVersion = 0;
    bool HardwareTransformAndLight = false;
    bool ProjectedTextures = false;
    bool AnisotropicFiltering = false;
    u32 MaxAnisotropy = 0;
    std::vector<D3dFormat> TextureFormats;
    std::vector<D3dFormat> RenderTargetTextureFormats;
    std::vector<D3dFormat> DepthStencilTextureFormats;
    std::vector<u32> MultisampleTypes; // accepted for X8R8G8B8 in full screen
    bool LocalMemoryKnown = false;
    u32 LocalMemory = 0; // bytes
    bool NonLocalMemoryKnown = false;
    u32 NonLocalMemory = 0; // bytes

    // The full-screen modes of a format, in the order given.
    u32 GetModeCount(D3dFormat format) const;
    bool EnumMode(D3dFormat format, u32 index, DisplayMode& mode) const;
    // Whether a resource of the format can be made for that use while the desktop has
    // adapterFormat. This adapter answers the same for every desktop format.
    bool CheckFormat(FormatUsage usage, D3dFormat adapterFormat, D3dFormat format) const;
    // Whether the multisample type is accepted for the format; only the list for X8R8G8B8 in
    // full screen is known, everything else is refused.
    bool CheckMultisample(D3dFormat format, bool windowed, u32 type) const;
    // The total of the kind's video memory in bytes; false when the query fails.
    bool GetAvailableVideoMemory(VideoMemoryKind kind, u32& total) const;
};

// Which source described the adapter.
enum class AdapterSource : u32 { None, File, Probe };

// Describes the default adapter from the current describer (the three sources above unless
// replaced). `problem` receives one line about a description file that was named or found but
// could not be used, and is empty otherwise.
AdapterSource DescribeAdapter(Adapter& out, std::string& problem);

// Replaces the describer; null puts the three sources back. Returns the describer replaced
// (null for the sources).
using AdapterDescriber = AdapterSource (*)(Adapter& out, std::string& problem);
AdapterDescriber SetAdapterDescriber(AdapterDescriber describer);

// The description file to read: the environment variable's value when it is set and not empty
// (whether the file exists or not), else "GfxAdapter.txt" in the program's folder when that file
// exists, else empty.
std::string FindAdapterFile(const char* environmentValue, const std::string& programFolder);

// Reads a description file (at most 64 KB). False, with a problem line naming the file and the
// line, for a file that cannot be read or is damaged; out is then the empty description.
bool ReadAdapterFile(const std::string& path, Adapter& out, std::string& problem);
// The same for the text of a description file.
bool ParseAdapterDescription(std::string_view text, Adapter& out, std::string& problem);

// Where the probe looks: the root of the kernel's device files, the PCI names database and
// whether the X display named by DISPLAY is asked.
struct AdapterProbeSettings {
    std::string SysRoot = "/sys";
    std::vector<std::string> PciIdsFiles = {"/usr/share/misc/pci.ids", "/usr/share/hwdata/pci.ids"};
    bool UseX11 = true;
};

// Probes the machine; false when neither a display nor a DRM card was found.
bool ProbeAdapter(const AdapterProbeSettings& settings, Adapter& out);

// "Vendor name Device name" of the PCI names database text, empty when the vendor is not
// listed; the vendor name alone when only the device is missing.
std::string PciIdsName(std::string_view text, u32 vendorId, u32 deviceId);

} // namespace platform
