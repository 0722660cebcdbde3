#include "platform/Adapter.h"

#include "platform/DisplayModes.h"
#include "tests/core/ExternalToolSupport.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace platform {
// Modes in failure messages.
void PrintTo(const DisplayMode& mode, std::ostream* out) {
    *out << mode.Width << "x" << mode.Height << "@" << mode.RefreshRate << " format "
         << u32(mode.Format);
}
} // namespace platform

namespace {

using platform::D3dFormat;
using platform::DisplayMode;
using platform::FormatUsage;
using platform::VideoMemoryKind;

const char kFullDescription[] = R"(# An adapter of the kind the quality rules were written for
present = 1
Vendor = 0x10DE
device = 802
driver = 6.14.10.6693
description = NVIDIA GeForce FX 5200
desktop = 1024x768x32@75

modes.X8R8G8B8 = 640x480@60, 800x600@60 1024x768@75
modes.r5g6b5 = 640x480
ps = 2.0
vs = 1.1
hwtnl = 1
projected = 1
maxaniso = 8
multisample = 2 4
textures = DXT1 DXT3 DXT5
rendertargets = G16R16F
depthtextures = D24X8
vram = 128M
nonlocal = 0x10000000
)";

TEST(Adapter, DescriptionFileGivesEveryAnswer) {
    platform::Adapter adapter;
    std::string problem = "stale";
    ASSERT_TRUE(platform::ParseAdapterDescription(kFullDescription, adapter, problem)) << problem;
    EXPECT_EQ(problem, "");
    EXPECT_TRUE(adapter.Present);
    EXPECT_EQ(adapter.VendorId, 0x10DEu);
    EXPECT_EQ(adapter.DeviceId, 802u);
    EXPECT_EQ(adapter.DriverVersionHigh, 6u << 16 | 14);
    EXPECT_EQ(adapter.DriverVersionLow, 10u << 16 | 6693);
    EXPECT_EQ(adapter.Description, "NVIDIA GeForce FX 5200");
    EXPECT_EQ(adapter.Desktop, (DisplayMode{1024, 768, 75, D3dFormat::X8R8G8B8}));
    EXPECT_EQ(adapter.PixelShaderVersion, 0xFFFF0200u);
    EXPECT_EQ(adapter.VertexShaderVersion, 0xFFFE0101u);
    EXPECT_TRUE(adapter.HardwareTransformAndLight);
    EXPECT_TRUE(adapter.ProjectedTextures);
    EXPECT_TRUE(adapter.AnisotropicFiltering); // from maxaniso above 1
    EXPECT_EQ(adapter.MaxAnisotropy, 8u);

    ASSERT_EQ(adapter.GetModeCount(D3dFormat::X8R8G8B8), 3u);
    ASSERT_EQ(adapter.GetModeCount(D3dFormat::R5G6B5), 1u);
    EXPECT_EQ(adapter.GetModeCount(D3dFormat::X1R5G5B5), 0u);
    DisplayMode mode;
    ASSERT_TRUE(adapter.EnumMode(D3dFormat::X8R8G8B8, 1, mode));
    EXPECT_EQ(mode, (DisplayMode{800, 600, 60, D3dFormat::X8R8G8B8}));
    ASSERT_TRUE(adapter.EnumMode(D3dFormat::R5G6B5, 0, mode));
    EXPECT_EQ(mode, (DisplayMode{640, 480, 0, D3dFormat::R5G6B5}));
    EXPECT_FALSE(adapter.EnumMode(D3dFormat::R5G6B5, 1, mode));

    const D3dFormat desktop = D3dFormat::X8R8G8B8;
    EXPECT_TRUE(adapter.CheckFormat(FormatUsage::Texture, desktop, D3dFormat::DXT3));
    EXPECT_FALSE(adapter.CheckFormat(FormatUsage::Texture, desktop, D3dFormat::DXT2));
    EXPECT_FALSE(adapter.CheckFormat(FormatUsage::Texture, desktop, D3dFormat::G16R16F));
    EXPECT_TRUE(adapter.CheckFormat(FormatUsage::RenderTargetTexture, desktop, D3dFormat::G16R16F));
    EXPECT_FALSE(
        adapter.CheckFormat(FormatUsage::RenderTargetTexture, desktop, D3dFormat::A16B16G16R16F));
    EXPECT_TRUE(adapter.CheckFormat(FormatUsage::DepthStencilTexture, desktop, D3dFormat::D24X8));
    EXPECT_FALSE(adapter.CheckFormat(FormatUsage::DepthStencilTexture, desktop, D3dFormat::DXT1));

    EXPECT_TRUE(adapter.CheckMultisample(D3dFormat::X8R8G8B8, false, 4));
    EXPECT_FALSE(adapter.CheckMultisample(D3dFormat::X8R8G8B8, false, 6));
    EXPECT_FALSE(adapter.CheckMultisample(D3dFormat::X8R8G8B8, true, 4));
    EXPECT_FALSE(adapter.CheckMultisample(D3dFormat::R5G6B5, false, 2));

    u32 total = 1;
    for (VideoMemoryKind kind : {VideoMemoryKind::Local3DTextures, VideoMemoryKind::LocalTextures,
                                 VideoMemoryKind::LocalOffscreenPlain, VideoMemoryKind::Local}) {
        EXPECT_TRUE(adapter.GetAvailableVideoMemory(kind, total));
        EXPECT_EQ(total, 128u << 20);
    }
    EXPECT_TRUE(adapter.GetAvailableVideoMemory(VideoMemoryKind::NonLocalTextures, total));
    EXPECT_EQ(total, 256u << 20);
}

TEST(Adapter, KeysNotGivenAnswerNo) {
    platform::Adapter adapter;
    std::string problem;
    ASSERT_TRUE(platform::ParseAdapterDescription("# nothing but a comment\n\n", adapter, problem));
    EXPECT_TRUE(adapter.Present);
    EXPECT_EQ(adapter.VendorId, 0u);
    EXPECT_EQ(adapter.Desktop, DisplayMode());
    EXPECT_TRUE(adapter.Modes.empty());
    EXPECT_FALSE(adapter.AnisotropicFiltering);
    EXPECT_FALSE(adapter.CheckFormat(FormatUsage::Texture, D3dFormat::X8R8G8B8, D3dFormat::DXT1));
    u32 total = 1;
    EXPECT_FALSE(adapter.GetAvailableVideoMemory(VideoMemoryKind::Local, total));
    EXPECT_EQ(total, 0u);
    EXPECT_FALSE(adapter.GetAvailableVideoMemory(VideoMemoryKind::NonLocalTextures, total));

    // A byte-order mark before the first key.
    ASSERT_TRUE(
        platform::ParseAdapterDescription("\xEF\xBB\xBFvendor = 0x1002\n", adapter, problem))
        << problem;
    EXPECT_EQ(adapter.VendorId, 0x1002u);

    // An explicit answer wins over the one derived from the highest anisotropy; present = 0.
    ASSERT_TRUE(platform::ParseAdapterDescription("present=0\r\nmaxaniso=16\r\nanisotropic=0\r\n",
                                                  adapter, problem));
    EXPECT_FALSE(adapter.Present);
    EXPECT_FALSE(adapter.AnisotropicFiltering);
    EXPECT_EQ(adapter.MaxAnisotropy, 16u);
}

TEST(Adapter, DamagedDescriptionIsRefusedWithItsLine) {
    struct Case {
        std::string Text;
        const char* Problem;
    };
    const Case cases[] = {
        {"vendor = 0x10DE\nno equal sign\n", "line 2: no '=' in the line"},
        {"colour = red\n", "line 1: unknown key for \"colour\""},
        {"vendor = 1\n\nVENDOR = 2\n", "line 3: key \"vendor\" given twice"},
        {"vendor = 0x10000\n", "line 1: bad value for \"vendor\""},
        {"vendor = 12ab\n", "line 1: bad value for \"vendor\""},
        {"vendor = 0x\n", "line 1: bad value for \"vendor\""},
        {"vendor = -1\n", "line 1: bad value for \"vendor\""},
        {"device =\n", "line 1: bad value for \"device\""},
        {"driver = 6.14.10\n", "line 1: bad value for \"driver\""},
        {"driver = 6.14.10.65536\n", "line 1: bad value for \"driver\""},
        {"driver = 6.14.10.0x10\n", "line 1: bad value for \"driver\""},
        {"desktop = 1024x768x8\n", "line 1: bad value for \"desktop\""},
        {"desktop = 1024x768\n", "line 1: bad value for \"desktop\""},
        {"desktop = 0x768x32\n", "line 1: bad value for \"desktop\""},
        {"desktop = 99999x768x32\n", "line 1: bad value for \"desktop\""},
        {"desktop = 1024x768x32@5000\n", "line 1: bad value for \"desktop\""},
        {"modes.X8R8G8B8 = 640x480 800by600\n", "line 1: bad value for \"modes.x8r8g8b8\""},
        {"modes.P8 = 640x480\n", "line 1: unknown format in the key for \"modes.p8\""},
        {"ps = 2\n", "line 1: bad value for \"ps\""},
        {"vs = 2.256\n", "line 1: bad value for \"vs\""},
        {"hwtnl = yes\n", "line 1: bad value for \"hwtnl\""},
        {"multisample = 2 1\n", "line 1: bad value for \"multisample\""},
        {"multisample = 2 17\n", "line 1: bad value for \"multisample\""},
        {"textures = DXT1 DXT9\n", "line 1: bad value for \"textures\""},
        {"vram = 4G\n", "line 1: bad value for \"vram\""},
        {"nonlocal = 12T\n", "line 1: bad value for \"nonlocal\""},
        {"description = tab\tis fine but bell \a is not\n",
         "line 1: bad value for \"description\""},
        {"description = " + std::string(512, 'x') + "\n",
         "line 1: description longer than 511 bytes for \"description\""},
        {std::string("vendor = 1\ndevice = 2\0\n", 23), "line 2: NUL byte"},
        {"modes.X8R8G8B8 =" +
             [] {
                 std::string many;
                 for (int i = 0; i < 513; ++i)
                     many += " 640x480";
                 return many;
             }() +
             "\n",
         "line 1: more than 512 modes for \"modes.x8r8g8b8\""},
        {std::string(100, 'k') + " = 1\n",
         "line 1: unknown key for \"kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk\""},
    };
    for (const Case& c : cases) {
        platform::Adapter adapter;
        adapter.VendorId = 5;
        std::string problem;
        EXPECT_FALSE(platform::ParseAdapterDescription(c.Text, adapter, problem)) << c.Text;
        EXPECT_EQ(problem, c.Problem) << c.Text;
        // Nothing half-read stays behind.
        EXPECT_FALSE(adapter.Present);
        EXPECT_EQ(adapter.VendorId, 0u);
    }
}

// Reads the description on another thread. A read still waiting after 5 seconds (on a pipe
// without a writer) is freed by a writer that comes and goes, and `waited` says so.
bool ReadAdapterFileWithin(const std::string& path, platform::Adapter& adapter,
                           std::string& problem, bool& waited) {
    std::atomic<bool> done = false;
    bool read = false;
    std::thread reader([&] {
        read = platform::ReadAdapterFile(path, adapter, problem);
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    waited = !done;
    if (waited) {
        const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            close(fd);
    }
    reader.join();
    return read;
}

TEST(Adapter, DescriptionFileReadsAndRefusals) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> make;
        bool read;
        std::string problem;
    };
    const Case cases[] = {
        {"good", [](const std::string& path) { WriteWholeFile(path, "vendor = 0x1002\n"); }, true,
         ""},
        {"missing", [](const std::string&) {}, false, ": cannot be read"},
        {"damaged",
         [](const std::string& path) { WriteWholeFile(path, "vendor = 0x1002\nps = high\n"); },
         false, ": line 2: bad value for \"ps\""},
        {"huge",
         [](const std::string& path) {
             WriteWholeFile(path, std::string(64 * 1024 - 1, '#') + "\n" + "vendor = 1\n");
         },
         false, ": longer than 64 KB"},
        // Nothing that is not a regular file is opened or read: start-up never waits on it.
        {"pipe", [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }, false,
         ": cannot be read"},
        {"folder", [](const std::string& path) { std::filesystem::create_directory(path); }, false,
         ": cannot be read"},
    };
    CTempFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.File(c.name);
        c.make(path);
        platform::Adapter adapter;
        adapter.VendorId = 7;
        std::string problem;
        bool waited = false;
        EXPECT_EQ(ReadAdapterFileWithin(path, adapter, problem, waited), c.read);
        EXPECT_FALSE(waited);
        EXPECT_EQ(problem, c.read ? "" : "Adapter description " + path + c.problem);
        EXPECT_EQ(adapter.VendorId, c.read ? 0x1002u : 0u);
    }
}

TEST(Adapter, FileNamedByTheEnvironmentOrBesideTheProgram) {
    CTempFolder folder;
    const std::string folderPath = folder.Path().string();
    // Nothing named, nothing beside the program.
    EXPECT_EQ(platform::FindAdapterFile(nullptr, folderPath), "");
    EXPECT_EQ(platform::FindAdapterFile("", folderPath), "");
    EXPECT_EQ(platform::FindAdapterFile(nullptr, ""), "");
    // A folder of that name is not a description.
    std::filesystem::create_directory(folder.File("GfxAdapter.txt"));
    EXPECT_EQ(platform::FindAdapterFile(nullptr, folderPath), "");
    std::filesystem::remove(folder.File("GfxAdapter.txt"));

    WriteWholeFile(folder.File("GfxAdapter.txt"), "present = 1\n");
    EXPECT_EQ(platform::FindAdapterFile(nullptr, folderPath), folder.File("GfxAdapter.txt"));
    // The environment's file wins, whether it exists or not.
    EXPECT_EQ(platform::FindAdapterFile("/nowhere/adapter.txt", folderPath),
              "/nowhere/adapter.txt");
}

// Sets BRISALDE_ADAPTER_FILE for one test.
class CAdapterFileVariable {
public:
    explicit CAdapterFileVariable(const std::string& path) {
        setenv("BRISALDE_ADAPTER_FILE", path.c_str(), 1);
    }
    ~CAdapterFileVariable() { unsetenv("BRISALDE_ADAPTER_FILE"); }
};

platform::AdapterSource DescribeNothing(platform::Adapter& out, std::string& problem) {
    out.VendorId = 9;
    problem = "asked";
    return platform::AdapterSource::None;
}

TEST(Adapter, DescribedByTheFileFirstOrByAReplacement) {
    CTempFolder folder;
    WriteWholeFile(folder.File("adapter.txt"), "vendor = 0x8086\ndesktop = 800x600x16\n");
    CAdapterFileVariable variable(folder.File("adapter.txt"));
    platform::Adapter adapter;
    std::string problem = "stale";
    EXPECT_EQ(platform::DescribeAdapter(adapter, problem), platform::AdapterSource::File);
    EXPECT_EQ(problem, "");
    EXPECT_EQ(adapter.VendorId, 0x8086u);
    EXPECT_EQ(adapter.Desktop.Format, D3dFormat::R5G6B5);

    EXPECT_EQ(platform::SetAdapterDescriber(&DescribeNothing), nullptr);
    EXPECT_EQ(platform::DescribeAdapter(adapter, problem), platform::AdapterSource::None);
    EXPECT_EQ(platform::SetAdapterDescriber(nullptr), &DescribeNothing);
    EXPECT_EQ(adapter.VendorId, 9u);
    EXPECT_EQ(problem, "asked");
}

TEST(Adapter, DamagedFileIsReportedAndTheNextSourceAnswers) {
    CTempFolder folder;
    WriteWholeFile(folder.File("adapter.txt"), "vendor = 0x8086\nwhat\n");
    CAdapterFileVariable variable(folder.File("adapter.txt"));
    platform::Adapter adapter;
    std::string problem;
    EXPECT_NE(platform::DescribeAdapter(adapter, problem), platform::AdapterSource::File);
    EXPECT_EQ(problem,
              "Adapter description " + folder.File("adapter.txt") + ": line 2: no '=' in the line");
    EXPECT_NE(adapter.VendorId, 0x8086u);
}

TEST(Adapter, NamesFromThePciDatabase) {
    const char ids[] = "# comment\n"
                       "1002  Advanced Micro Devices, Inc. [AMD/ATI]\n"
                       "\t73bf  Navi 21 [Radeon RX 6800/6800 XT / 6900 XT]\n"
                       "\t\t1002 0e3a  Radeon RX 6900 XT\n"
                       "10de  NVIDIA Corporation\n"
                       "\t0322  NV34 [GeForce FX 5200]\r\n"
                       "\t\t10de 0322  73bf  Not a device line\n"
                       "10df  Emulex Corporation\n"
                       "\t0400  Not NVIDIA's\n"
                       "C 03  Display controller\n"
                       "\t00  VGA compatible controller\n";
    struct Case {
        u32 Vendor;
        u32 Device;
        const char* Expected;
    };
    const Case cases[] = {
        {0x1002, 0x73BF,
         "Advanced Micro Devices, Inc. [AMD/ATI] Navi 21 [Radeon RX 6800/6800 XT / 6900 XT]"},
        {0x10DE, 0x0322, "NVIDIA Corporation NV34 [GeForce FX 5200]"},
        {0x10DE, 0x0400, "NVIDIA Corporation"},
        {0x10DE, 0x73BF, "NVIDIA Corporation"},
        {0x8086, 0x0322, ""},
        {0x0003, 0x0000, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::PciIdsName(ids, c.Vendor, c.Device), c.Expected)
            << c.Vendor << ":" << c.Device;
}

// A made-up tree of the kernel's device files.
class CFakeSys {
public:
    void File(const std::string& path, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(Root() + path).parent_path());
        WriteWholeFile(Root() + path, text);
    }
    void Link(const std::string& path, const std::string& target) {
        std::filesystem::create_directories(std::filesystem::path(Root() + path).parent_path());
        std::filesystem::create_directory_symlink(target, Root() + path);
    }
    std::string Root() const { return m_Folder.Path().string(); }
    platform::AdapterProbeSettings Settings() const {
        platform::AdapterProbeSettings settings;
        settings.SysRoot = Root();
        settings.PciIdsFiles = {Root() + "/pci.ids"};
        settings.UseX11 = false;
        return settings;
    }

private:
    CTempFolder m_Folder;
};

TEST(AdapterProbe, NothingFoundIsNoAdapter) {
    CFakeSys sys;
    // A display controller without a DRM card and without a display shows nothing.
    sys.File("/bus/pci/devices/0000:01:00.0/class", "0x030000\n");
    sys.File("/bus/pci/devices/0000:01:00.0/vendor", "0x10de\n");
    sys.File("/bus/pci/devices/0000:01:00.0/device", "0x0322\n");
    platform::Adapter adapter;
    adapter.VendorId = 3;
    EXPECT_FALSE(platform::ProbeAdapter(sys.Settings(), adapter));
    EXPECT_FALSE(adapter.Present);
    EXPECT_EQ(adapter.VendorId, 0u);
}

TEST(AdapterProbe, DrmCardWithItsConnectorsAndMemory) {
    CFakeSys sys;
    // card0 is a second card; card1 shows the boot console.
    sys.File("/class/drm/card0/device/vendor", "0x10de\n");
    sys.File("/class/drm/card0/device/device", "0x0322\n");
    sys.File("/class/drm/card0-DP-1/status", "connected\n");
    sys.File("/class/drm/card0-DP-1/modes", "3840x2160\n");
    sys.File("/class/drm/card1/device/vendor", "0x1002\n");
    sys.File("/class/drm/card1/device/device", "0x73bf\n");
    sys.File("/class/drm/card1/device/boot_vga", "1\n");
    sys.Link("/class/drm/card1/device/driver", "../../../bus/pci/drivers/amdgpu");
    sys.File("/class/drm/card1/device/mem_info_vram_total", "17163091968\n");
    sys.File("/class/drm/card1/device/mem_info_gtt_total", "268435456\n");
    sys.File("/class/drm/card1-HDMI-A-1/status", "disconnected\n");
    sys.File("/class/drm/card1-HDMI-A-1/modes", "640x480\n");
    sys.File("/class/drm/card1-DP-2/status", "connected\n");
    sys.File("/class/drm/card1-DP-2/modes",
             "2560x1440\n1920x1080\n1920x1080i\nbroken\n99999x1\n1920x1080\n");
    sys.File("/class/drm/card1-DP-3/status", "connected\n");
    sys.File("/class/drm/card1-DP-3/modes", "1280x1024\n");
    sys.File("/class/drm/renderD128/device/vendor", "0x8086\n");

    platform::Adapter adapter;
    ASSERT_TRUE(platform::ProbeAdapter(sys.Settings(), adapter));
    EXPECT_TRUE(adapter.Present);
    EXPECT_EQ(adapter.VendorId, 0x1002u);
    EXPECT_EQ(adapter.DeviceId, 0x73BFu);
    EXPECT_EQ(adapter.Description, "amdgpu [1002:73bf]");
    EXPECT_EQ(adapter.DriverVersionHigh, 0u);
    EXPECT_EQ(adapter.DriverVersionLow, 0u);
    // The first connected connector gives the desktop (its first mode) and the modes.
    EXPECT_EQ(adapter.Desktop, (DisplayMode{2560, 1440, 0, D3dFormat::X8R8G8B8}));
    for (D3dFormat format : {D3dFormat::X8R8G8B8, D3dFormat::R5G6B5}) {
        ASSERT_EQ(adapter.GetModeCount(format), 2u);
        DisplayMode mode;
        adapter.EnumMode(format, 0, mode);
        EXPECT_EQ(mode, (DisplayMode{1920, 1080, 0, format}));
        adapter.EnumMode(format, 1, mode);
        EXPECT_EQ(mode, (DisplayMode{2560, 1440, 0, format}));
    }
    // 16 GB answers as much as the 32-bit query holds.
    u32 total = 0;
    EXPECT_TRUE(adapter.GetAvailableVideoMemory(VideoMemoryKind::Local, total));
    EXPECT_EQ(total, 4095u << 20);
    EXPECT_TRUE(adapter.GetAvailableVideoMemory(VideoMemoryKind::NonLocalTextures, total));
    EXPECT_EQ(total, 256u << 20);
    // A card gets the capabilities of a current adapter.
    EXPECT_EQ(adapter.PixelShaderVersion, platform::PixelShaderVersion(3, 0));
    EXPECT_EQ(adapter.VertexShaderVersion, platform::VertexShaderVersion(3, 0));
    EXPECT_TRUE(adapter.HardwareTransformAndLight && adapter.ProjectedTextures);
    EXPECT_TRUE(adapter.AnisotropicFiltering);
    EXPECT_EQ(adapter.MaxAnisotropy, 16u);
    EXPECT_TRUE(adapter.CheckFormat(FormatUsage::Texture, D3dFormat::X8R8G8B8, D3dFormat::DXT5));
    EXPECT_TRUE(adapter.CheckFormat(FormatUsage::RenderTargetTexture, D3dFormat::X8R8G8B8,
                                    D3dFormat::A16B16G16R16F));
    EXPECT_TRUE(adapter.CheckFormat(FormatUsage::DepthStencilTexture, D3dFormat::X8R8G8B8,
                                    D3dFormat::D24X8));
    EXPECT_TRUE(adapter.CheckMultisample(D3dFormat::X8R8G8B8, false, 4));
    EXPECT_FALSE(adapter.CheckMultisample(D3dFormat::X8R8G8B8, false, 6));

    // With the names database the description names the card.
    sys.File("/pci.ids", "1002  AMD\n\t73bf  Navi 21\n");
    ASSERT_TRUE(platform::ProbeAdapter(sys.Settings(), adapter));
    EXPECT_EQ(adapter.Description, "AMD Navi 21");
}

TEST(AdapterProbe, DrmCardWithoutConnectorsOrMemoryFiles) {
    CFakeSys sys;
    sys.File("/class/drm/card0/device/vendor", "0x8086\n");
    sys.File("/class/drm/card0/device/device", "0x46a6\n");
    sys.File("/class/drm/card0-eDP-1/status", "disconnected\n");
    platform::Adapter adapter;
    ASSERT_TRUE(platform::ProbeAdapter(sys.Settings(), adapter));
    EXPECT_TRUE(adapter.Present);
    EXPECT_EQ(adapter.VendorId, 0x8086u);
    EXPECT_EQ(adapter.Description, "[8086:46a6]");
    EXPECT_EQ(adapter.Desktop, DisplayMode());
    EXPECT_TRUE(adapter.Modes.empty());
    u32 total = 1;
    EXPECT_FALSE(adapter.GetAvailableVideoMemory(VideoMemoryKind::Local, total));
    EXPECT_FALSE(adapter.GetAvailableVideoMemory(VideoMemoryKind::NonLocalTextures, total));
}

// A card whose id files do not hold a 16-bit PCI id is passed over: the next card answers, or
// none.
TEST(AdapterProbe, CardWithoutPciIdsIsPassedOver) {
    for (const char* vendor : {"0x110de\n", "10de0\n", "0x\n", "\n", "0x10de junk\n"}) {
        SCOPED_TRACE(vendor);
        CFakeSys sys;
        sys.File("/class/drm/card0/device/vendor", vendor);
        sys.File("/class/drm/card0/device/device", "0x0322\n");
        sys.File("/class/drm/card0/device/boot_vga", "1\n");
        platform::Adapter adapter;
        EXPECT_FALSE(platform::ProbeAdapter(sys.Settings(), adapter));
        sys.File("/class/drm/card1/device/vendor", "0x8086\n");
        sys.File("/class/drm/card1/device/device", "0x46a6\n");
        ASSERT_TRUE(platform::ProbeAdapter(sys.Settings(), adapter));
        EXPECT_EQ(adapter.VendorId, 0x8086u);
        EXPECT_EQ(adapter.DeviceId, 0x46A6u);
    }
}

// Under Xvfb (started by the test itself, once per screen): the probe reads the X server's
// desktop and its modes. The server must not reset when the probe's first connection closes, or
// the second may come while it resets.
TEST(AdapterProbe, DesktopOfAnXServer) {
    struct Case {
        const char* Screen;
        DisplayMode Desktop;
    };
    const Case cases[] = {
        {"1280x1024x24", {1280, 1024, 0, D3dFormat::X8R8G8B8}},
        {"800x600x16", {800, 600, 0, D3dFormat::R5G6B5}},
    };
    const char* screen = std::getenv("ENGINE_TEST_UNDER_XVFB");
    if (!screen) {
        const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
        const std::string name =
            std::string(::testing::UnitTest::GetInstance()->current_test_suite()->name()) + "." +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (const Case& c : cases) {
            const std::string output =
                RunCommand(std::string("env -u BRISALDE_ADAPTER_FILE ENGINE_TEST_UNDER_XVFB=") +
                           c.Screen + " xvfb-run -a -s \"-screen 0 " + c.Screen + " -noreset\" " +
                           self + " --gtest_filter=" + name);
            EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
        }
        return;
    }
    ASSERT_NE(std::getenv("DISPLAY"), nullptr);
    const Case* c = std::find_if(std::begin(cases), std::end(cases), [screen](const Case& c) {
        return std::string(c.Screen) == screen;
    });
    ASSERT_NE(c, std::end(cases)) << screen;

    CFakeSys sys; // no card: only the display
    platform::AdapterProbeSettings settings = sys.Settings();
    settings.UseX11 = true;
    platform::Adapter adapter;
    ASSERT_TRUE(platform::ProbeAdapter(settings, adapter));
    EXPECT_TRUE(adapter.Present);
    EXPECT_EQ(adapter.Desktop, c->Desktop);
    for (D3dFormat format : {D3dFormat::X8R8G8B8, D3dFormat::R5G6B5}) {
        DisplayMode mode;
        ASSERT_EQ(adapter.GetModeCount(format), 1u);
        ASSERT_TRUE(adapter.EnumMode(format, 0, mode));
        EXPECT_EQ(mode, (DisplayMode{c->Desktop.Width, c->Desktop.Height, 0, format}));
    }
    // A display without a card has no identity and no capabilities.
    EXPECT_EQ(adapter.VendorId, 0u);
    EXPECT_EQ(adapter.PixelShaderVersion, 0u);
    EXPECT_FALSE(adapter.CheckFormat(FormatUsage::Texture, D3dFormat::X8R8G8B8, D3dFormat::DXT1));

    // The sources in their order: no description file, so the probe of the machine answers.
    std::string problem;
    EXPECT_EQ(platform::DescribeAdapter(adapter, problem), platform::AdapterSource::Probe);
    EXPECT_EQ(problem, "");
    EXPECT_EQ(adapter.Desktop, c->Desktop);

    // The launcher's mode object offers exactly the sizes the server's RandR lists.
    std::set<std::pair<u32, u32>> listed;
    std::istringstream lines(RunCommand("xrandr --query"));
    for (std::string line; std::getline(lines, line);) {
        u32 width = 0;
        u32 height = 0;
        char x = 0;
        std::istringstream fields(line);
        if (line.starts_with("   ") && fields >> width >> x >> height && x == 'x')
            listed.insert({width, height});
    }
    ASSERT_FALSE(listed.empty()) << "xrandr listed no mode";
    platform::DisplayModes modes;
    ASSERT_TRUE(modes.Open());
    for (D3dFormat format : {D3dFormat::X8R8G8B8, D3dFormat::R5G6B5}) {
        std::set<std::pair<u32, u32>> offered;
        DisplayMode mode;
        for (u32 i = 0; modes.Enum(format, i, mode); ++i)
            offered.insert({mode.Width, mode.Height});
        EXPECT_EQ(offered, listed) << platform::D3dFormatName(format);
    }
}

} // namespace
