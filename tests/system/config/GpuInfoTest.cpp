#include "system/config/GpuInfo.h"

#include "core/base/ClassicTranslator.h"
#include "platform/MessageBox.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/core/ExternalToolSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using platform::D3dFormat;

std::string Text(const CClassicString& text) {
    return std::string(text.GetText(), text.GetLength());
}

// Points the adapter description at a file of the test's folder while it lives.
class CAdapterFile {
public:
    explicit CAdapterFile(const std::string& text) {
        WriteWholeFile(m_Folder.File("GfxAdapter.txt"), text);
        setenv("BRISALDE_ADAPTER_FILE", Path().c_str(), 1);
    }
    ~CAdapterFile() { unsetenv("BRISALDE_ADAPTER_FILE"); }
    std::string Path() const { return m_Folder.File("GfxAdapter.txt"); }

private:
    CTempFolder m_Folder;
};

std::vector<std::string> s_Messages;

void RecordMessage(const char* text, const char* caption) {
    s_Messages.push_back(std::string(caption) + "|" + text);
}

// Probes the adapter of a description file into a cleared g_GpuInfo.
GpuInfo ProbeFile(const std::string& text) {
    CAdapterFile file(text);
    g_GpuInfo = GpuInfo();
    ProbeGpu(0);
    GpuInfo result = g_GpuInfo;
    g_GpuInfo = GpuInfo();
    return result;
}

TEST(GpuInfo, IdentityAndDesktopOfTheDescription) {
    const GpuInfo info =
        ProbeFile("vendor = 0x10DE\ndevice = 0x0322\ndriver = 6.14.10.6693\n"
                  "description = NVIDIA GeForce FX 5200\ndesktop = 1280x1024x32@60\n");
    EXPECT_EQ(info.VendorId, 0x10DEu);
    EXPECT_EQ(info.DeviceId, 0x0322u);
    EXPECT_EQ(info.DriverVersionHigh, 0x0006000Eu);
    EXPECT_EQ(info.DriverVersionLow, 0x000A1A25u);
    EXPECT_EQ(Text(info.Description), "NVIDIA GeForce FX 5200");
    EXPECT_EQ(Text(info.VendorName), "");
    EXPECT_EQ(info.DesktopWidth, 1280u);
    EXPECT_EQ(info.DesktopHeight, 1024u);
    EXPECT_EQ(info.DesktopBytesPerPixel, 4u);
    EXPECT_TRUE(info.IsDriverAtLeast(6, 14, 10, 6693));
    EXPECT_FALSE(info.IsDriverAtLeast(6, 14, 10, 6694));
}

// Every rule that turns the adapter's answers into the class, the memory and the capability bits.
TEST(GpuInfo, RulesOfTheAdapterDescription) {
    struct Case {
        const char* Name;
        std::string Description; // after a 1024x768x32 desktop
        u16 Class;
        u16 SubVersion;
        u16 VideoMemoryMb;
        u16 NonLocalMemoryMb;
        u8 Caps;
        u8 BytesPerPixel = 4;
    };
    const std::string tnl = "hwtnl = 1\nprojected = 1\n";
    const std::string bothTargets = "rendertargets = G16R16F A16B16G16R16F\n";
    const std::string allDxt = "textures = DXT1 DXT2 DXT3 DXT4 DXT5\n";
    const Case cases[] = {
        // Pixel-shader classes.
        {"ps 2.0 with one float target", tnl + "ps = 2.0\nvs = 2.0\nrendertargets = G16R16F\n", 2,
         0xFFFF, 3, 0, 0},
        {"ps 2.0 with both float targets", tnl + "ps = 2.0\nvs = 2.0\n" + bothTargets, 3, 0, 3, 0,
         0},
        {"ps 3.0", tnl + "ps = 3.0\nvs = 3.0\n" + bothTargets, 3, 0x100, 3, 0, 0},
        {"ps 3.0 with vs 1.1", tnl + "ps = 3.0\nvs = 1.1\n" + bothTargets, 2, 0xFFFF, 3, 0, 0},
        {"ps 1.4 vs 1.1", tnl + "ps = 1.4\nvs = 1.1\n", 2, 4, 3, 0, 0},
        {"ps 1.1 without transform and lighting", "projected = 1\nps = 1.1\n", 2, 1, 3, 0, 0},
        {"ps 1.0 with transform and lighting", tnl + "ps = 1.0\n", 1, 0, 3, 0, 0},
        {"no pixel shader with transform and lighting", tnl, 1, 0, 3, 0, 0},
        {"no pixel shader, no transform and lighting", "projected = 1\nps = 1.0\n", 0, 0, 3, 0, 0},
        {"no projected textures", "hwtnl = 1\nps = 3.0\nvs = 3.0\n" + bothTargets, 0, 0, 3, 0, 0},
        // Video memory: local memory and the desktop surface, the 0x1002 floor.
        {"0x1002 ps 2.0 with 64 MB",
         "vendor = 0x1002\n" + tnl + "ps = 2.0\nvs = 2.0\nrendertargets = G16R16F\nvram = 64M\n", 2,
         0xFFFF, 128, 0, 0},
        {"0x1002 ps 1.4 with 64 MB", "vendor = 0x1002\n" + tnl + "ps = 1.4\nvs = 1.1\nvram = 64M\n",
         2, 4, 67, 0, 0},
        {"0x1002 ps 2.0 at exactly 100 MB", "vendor = 0x1002\n" + tnl + "ps = 2.0\nvram = 97M\n", 2,
         0xFFFF, 100, 0, 0},
        {"0x1002 ps 2.0 just below 100 MB",
         "vendor = 0x1002\n" + tnl + "ps = 2.0\nvram = 101711871\n", 2, 0xFFFF, 128, 0, 0},
        {"0x1002 ps 3.0 with 256 MB",
         "vendor = 0x1002\n" + tnl + "ps = 3.0\nvs = 3.0\n" + bothTargets + "vram = 256M\n", 3,
         0x100, 259, 0, 0},
        {"0x10DE ps 2.0 with 64 MB", "vendor = 0x10DE\n" + tnl + "ps = 2.0\nvram = 64M\n", 2,
         0xFFFF, 67, 0, 0},
        {"memory query without answer", "vendor = 0x1002\n" + tnl + "ps = 1.4\n", 2, 4, 3, 0, 0},
        {"non-local memory rounded up", "vram = 1\nnonlocal = 0x10000001\n", 0, 0, 4, 257, 0},
        {"largest memory", "vram = 4095M\nnonlocal = 4095M\n", 0, 0, 4098, 4095, 0},
        {"memory answered as 0xFFFFFFFF", "vram = 0xFFFFFFFF\n", 0, 0, 3, 0, 0},
        // Desktop formats.
        {"16-bit desktop", "desktop = 1024x768x16\nvram = 64M\n", 0, 0, 66, 0, 0, 2},
        {"15-bit desktop", "desktop = 1024x768x15\n", 0, 0, 2, 0, 0, 2},
        {"24-bit desktop", "desktop = 1024x768x24\n", 0, 0, 3, 0, 0, 3},
        // Texture compression.
        {"all DXT formats", allDxt, 0, 0, 3, 0, 0x01},
        {"DXT1 to DXT3 only", "textures = DXT1 DXT2 DXT3 DXT5\n", 0, 0, 3, 0, 0},
        // Depth textures: vendor 0x10DE with class 2 or 3 only.
        {"0x10DE class 2 with depth textures",
         "vendor = 0x10DE\n" + tnl + "ps = 1.4\ndepthtextures = D24X8\n", 2, 4, 3, 0, 0x02},
        {"0x10DE class 3 with depth textures",
         "vendor = 0x10DE\n" + tnl + "ps = 2.0\nvs = 2.0\n" + bothTargets +
             "depthtextures = D24X8\n",
         3, 0, 3, 0, 0x02},
        {"0x10DE class 3 without depth textures",
         "vendor = 0x10DE\n" + tnl + "ps = 2.0\nvs = 2.0\n" + bothTargets, 3, 0, 3, 0, 0},
        {"0x10DE class 1 with depth textures",
         "vendor = 0x10DE\n" + tnl + "depthtextures = D24X8\n", 1, 0, 3, 0, 0},
        {"0x1002 class 3 with depth textures",
         "vendor = 0x1002\n" + tnl + "ps = 2.0\nvs = 2.0\n" + bothTargets +
             "depthtextures = D24X8\nvram = 128M\n",
         3, 0, 131, 0, 0},
        // Anisotropy: log2 of the highest, at most 7.
        {"anisotropy 16", "maxaniso = 16\n", 0, 0, 3, 0, 4 << 2},
        {"anisotropy 12", "maxaniso = 12\n", 0, 0, 3, 0, 3 << 2},
        {"anisotropy 2", "maxaniso = 2\n", 0, 0, 3, 0, 1 << 2},
        {"anisotropy 1", "maxaniso = 1\nanisotropic = 1\n", 0, 0, 3, 0, 0},
        {"anisotropy 0 with the capability", "maxaniso = 0\nanisotropic = 1\n", 0, 0, 3, 0, 0},
        {"anisotropy 65535", "maxaniso = 65535\n", 0, 0, 3, 0, 7 << 2},
        {"anisotropy without the capability", "maxaniso = 16\nanisotropic = 0\n", 0, 0, 3, 0, 0},
        // Multisample types 2, 4, 6, 8 up to the first refusal.
        {"multisample 2 4 8", "multisample = 2 4 8\n", 0, 0, 3, 0, 2 << 5},
        {"multisample 2 to 8", "multisample = 8 6 4 2\n", 0, 0, 3, 0, 4 << 5},
        {"multisample 4 only", "multisample = 4\n", 0, 0, 3, 0, 0},
        {"everything",
         "vendor = 0x10DE\n" + tnl + "ps = 3.0\nvs = 3.0\n" + bothTargets + allDxt +
             "depthtextures = D24X8\nmaxaniso = 16\nmultisample = 2 4\nvram = 256M\nnonlocal = "
             "512M\n",
         3, 0x100, 259, 512, 0x01 | 0x02 | 4 << 2 | 2 << 5},
    };
    for (const Case& c : cases) {
        const std::string desktop =
            c.Description.find("desktop") == std::string::npos ? "desktop = 1024x768x32\n" : "";
        const GpuInfo info = ProbeFile(desktop + c.Description);
        EXPECT_EQ(info.PixelShaderClass, c.Class) << c.Name;
        EXPECT_EQ(info.PixelShaderSubVersion, c.SubVersion) << c.Name;
        EXPECT_EQ(info.VideoMemoryMb, c.VideoMemoryMb) << c.Name;
        EXPECT_EQ(info.NonLocalMemoryMb, c.NonLocalMemoryMb) << c.Name;
        EXPECT_EQ(info.Caps, c.Caps) << c.Name;
        EXPECT_EQ(info.DesktopBytesPerPixel, c.BytesPerPixel) << c.Name;
    }
}

TEST(GpuInfo, CapabilityBitsReadBack) {
    GpuInfo info;
    info.Caps = 0x01 | 0x02 | 3 << 2 | 5 << 5;
    EXPECT_TRUE(info.HasAllDxt());
    EXPECT_TRUE(info.HasDepthTextures());
    EXPECT_EQ(info.AnisotropySteps(), 3u);
    EXPECT_EQ(info.MultisampleSteps(), 5u);
    info.Caps = 0;
    EXPECT_FALSE(info.HasAllDxt() || info.HasDepthTextures());
}

TEST(GpuInfo, DriverVersionComparison) {
    struct Case {
        u32 High, Low;
        u32 A, B, C, D;
        bool Expected;
    };
    const Case cases[] = {
        {6 << 16 | 14, 10 << 16 | 6692, 6, 14, 10, 6693, false},
        {6 << 16 | 14, 11 << 16 | 0, 6, 14, 10, 6693, true},
        {6 << 16 | 14, 10 << 16 | 6693, 6, 14, 10, 6693, true},
        {6 << 16 | 15, 0, 6, 14, 10, 6693, true},
        {6 << 16 | 13, 0xFFFFFFFF, 6, 14, 10, 6693, false},
        {0, 0, 0, 0, 0, 0, true},
        {0, 0, 6, 14, 10, 6693, false},
        // b and d are 16-bit: 0x1000E is 14.
        {6 << 16 | 14, 10 << 16 | 6693, 6, 0x1000E, 10, 0x11A25, true},
        // The comparison is unsigned.
        {0x80000000, 0, 0x7FFF, 0xFFFF, 0, 0, true},
    };
    for (const Case& c : cases) {
        GpuInfo info;
        info.DriverVersionHigh = c.High;
        info.DriverVersionLow = c.Low;
        EXPECT_EQ(info.IsDriverAtLeast(c.A, c.B, c.C, c.D), c.Expected)
            << std::hex << c.High << " " << c.Low << " " << c.A << "." << c.B << "." << c.C << "."
            << c.D;
    }
}

TEST(GpuInfo, DesktopBytesPerPixel) {
    struct Case {
        D3dFormat Format;
        u8 Bytes;
    };
    const Case cases[] = {
        {D3dFormat::R8G8B8, 3},   {D3dFormat::R5G6B5, 2},   {D3dFormat::X1R5G5B5, 2},
        {D3dFormat::A1R5G5B5, 2}, {D3dFormat::X8R8G8B8, 4}, {D3dFormat::A8R8G8B8, 4},
        {D3dFormat::Unknown, 4},  {D3dFormat(41), 4}, // an 8-bit palette
    };
    for (const Case& c : cases)
        EXPECT_EQ(BytesPerPixelOfFormat(c.Format), c.Bytes) << u32(c.Format);
}

TEST(GpuInfo, VideoMemoryQuery) {
    u32 nonLocal = 7;
    EXPECT_EQ(QueryVideoMemory(nullptr, nonLocal), 0u);
    EXPECT_EQ(nonLocal, 0u);

    platform::Adapter adapter;
    nonLocal = 7;
    EXPECT_EQ(QueryVideoMemory(&adapter, nonLocal), 0u);
    EXPECT_EQ(nonLocal, 0u);

    adapter.LocalMemoryKnown = true;
    adapter.LocalMemory = 64u << 20;
    adapter.NonLocalMemoryKnown = true;
    adapter.NonLocalMemory = 0xFFFFFFFF;
    EXPECT_EQ(QueryVideoMemory(&adapter, nonLocal), 64u << 20);
    EXPECT_EQ(nonLocal, 0xFFFFFFFFu);

    // Totals of 0 and of all ones are not answers.
    adapter.LocalMemory = 0xFFFFFFFF;
    EXPECT_EQ(QueryVideoMemory(&adapter, nonLocal), 0u);
    adapter.LocalMemory = 0;
    EXPECT_EQ(QueryVideoMemory(&adapter, nonLocal), 0u);

    // The platform's adapter, here a description file.
    CAdapterFile file("vram = 32M\nnonlocal = 1K\n");
    EXPECT_EQ(QueryVideoMemory(nonLocal), 32u << 20);
    EXPECT_EQ(nonLocal, 1024u);
}

// g_GpuInfo with values a probe that stops early must leave in place.
GpuInfo Sentinel() {
    GpuInfo info;
    info.VendorId = 0xABCD;
    info.VideoMemoryMb = 77;
    info.Description.Assign("before");
    info.VendorName.Assign("kept");
    return info;
}

void ExpectSentinel() {
    EXPECT_EQ(g_GpuInfo.VendorId, 0xABCDu);
    EXPECT_EQ(g_GpuInfo.VideoMemoryMb, 77u);
    EXPECT_EQ(Text(g_GpuInfo.Description), "before");
    EXPECT_EQ(Text(g_GpuInfo.VendorName), "kept");
}

platform::AdapterSource NoThreeDInterface(platform::Adapter& out, std::string&) {
    out.LocalMemoryKnown = true;
    out.LocalMemory = 1;
    return platform::AdapterSource::None;
}

TEST(GpuInfo, WithoutThreeDInterfaceNothingChanges) {
    g_GpuInfo = Sentinel();
    s_Messages.clear();
    platform::SetMessageBoxHandler(&RecordMessage);
    platform::SetAdapterDescriber(&NoThreeDInterface);
    ProbeGpu(0);
    platform::SetAdapterDescriber(nullptr);
    platform::SetMessageBoxHandler(nullptr);
    ExpectSentinel();
    EXPECT_TRUE(s_Messages.empty());

    // Only the default adapter is described.
    CAdapterFile file("vendor = 0x10DE\n");
    ProbeGpu(1);
    ExpectSentinel();
    // The probe keeps the vendor name whatever else it fills.
    ProbeGpu(0);
    EXPECT_EQ(g_GpuInfo.VendorId, 0x10DEu);
    EXPECT_EQ(Text(g_GpuInfo.VendorName), "kept");
    g_GpuInfo = GpuInfo();
}

TEST(GpuInfo, NoDeviceShowsTheTranslatedMessage) {
    CAdapterFile file("present = 0\nvendor = 0x10DE\nvram = 64M\n");
    g_GpuInfo = Sentinel();
    s_Messages.clear();
    platform::SetMessageBoxHandler(&RecordMessage);
    ProbeGpu(0);
    ExpectSentinel();

    CTempFolder folder;
    WriteWholeFile(folder.File("fr.po"),
                   "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
                   "msgid \"Could not find DirectX9\"\nmsgstr \"DirectX9 introuvable\"\n\n"
                   "msgid \"Error\"\nmsgstr \"Erreur\"\n");
    RunCommand("msgfmt -o " + folder.File("fr.mo") + " " + folder.File("fr.po"));
    const std::string catalogue = ReadWholeFile(folder.File("fr.mo"));
    CClassicBufferMemory stream;
    stream.Write(catalogue.data(), u32(catalogue.size()));
    stream.Rewind();
    CClassicString error;
    ASSERT_TRUE(g_ClassicTranslator.LoadMo("fr", &stream, error)) << error.GetText();
    ProbeGpu(0);
    g_ClassicTranslator.Unload();
    platform::SetMessageBoxHandler(nullptr);
    ExpectSentinel();
    EXPECT_EQ(s_Messages, (std::vector<std::string>{"Error|Could not find DirectX9",
                                                    "Erreur|DirectX9 introuvable"}));
    g_GpuInfo = GpuInfo();
}

TEST(GpuInfo, DamagedDescriptionIsLogged) {
    CAdapterFile file("vendor = 0x10DE\nps = two\n");
    CLogWatch log;
    ProbeGpu(0);
    EXPECT_NE(log.Since().find("[Sys] Adapter description " + file.Path() +
                               ": line 2: bad value for \"ps\"\r\n"),
              std::string::npos)
        << log.Since();
    EXPECT_NE(g_GpuInfo.VendorId, 0x10DEu);
    g_GpuInfo = GpuInfo();
}

} // namespace
