#include "system/config/SystemConfigDisplay.h"

#include "core/base/ClassicArchive.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "core/nod/MwMemberPath.h"
#include "system/SystemClasses.h"
#include "tests/system/config/ConfigTestSupport.h"

#include <bit>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr u64 kMb = u64(1) << 20;

// The adapter of most tests: vendor 0x10DE, device 0x0322, of the given class, on a 1024x768x32
// desktop, with all compressed texture formats.
std::string AdapterText(u32 vendor, u32 shaderClass, const std::string& extra = "") {
    char ids[64];
    std::snprintf(ids, sizeof ids, "vendor = 0x%04X\ndevice = 0x0322\n", vendor);
    return std::string(
               "desktop = 1024x768x32\nvram = 125M\ntextures = DXT1 DXT2 DXT3 DXT4 DXT5\n") +
           ids + ShaderClassLines(shaderClass) + extra;
}

// The quality members, in one comparable row.
struct Quality {
    u32 TexturesQuality, ShaderQuality, MaxFiltering, AnisoQuality, Shadows, ZClip, ZClipAuto,
        WaterGeom, WaterComplex, PostFxEnable, ForceFxColors, ForceFxMotionBlur, ShowBackground;
    bool operator==(const Quality&) const = default;
};

Quality QualityOf(const CSystemConfigDisplay& d) {
    return {d.m_TexturesQuality, d.m_ShaderQuality, d.m_MaxFiltering,  d.m_AnisoQuality,
            d.m_Shadows,         d.m_ZClip,         d.m_ZClipAuto,     d.m_WaterGeom,
            d.m_WaterComplex,    d.m_PostFxEnable,  d.m_ForceFxColors, d.m_ForceFxMotionBlur,
            d.m_ShowBackground};
}

void SetQuality(CSystemConfigDisplay& d, const Quality& q) {
    d.m_TexturesQuality = q.TexturesQuality;
    d.m_ShaderQuality = q.ShaderQuality;
    d.m_MaxFiltering = q.MaxFiltering;
    d.m_AnisoQuality = q.AnisoQuality;
    d.m_Shadows = q.Shadows;
    d.m_ZClip = q.ZClip;
    d.m_ZClipAuto = q.ZClipAuto;
    d.m_WaterGeom = q.WaterGeom;
    d.m_WaterComplex = q.WaterComplex;
    d.m_PostFxEnable = q.PostFxEnable;
    d.m_ForceFxColors = q.ForceFxColors;
    d.m_ForceFxMotionBlur = q.ForceFxMotionBlur;
    d.m_ShowBackground = q.ShowBackground;
}

std::ostream& operator<<(std::ostream& out, const Quality& q) {
    return out << "textures " << q.TexturesQuality << " shaders " << q.ShaderQuality
               << " filtering " << q.MaxFiltering << " aniso " << q.AnisoQuality << " shadows "
               << q.Shadows << " zclip " << q.ZClip << "/" << q.ZClipAuto << " water "
               << q.WaterGeom << "/" << q.WaterComplex << " postfx " << q.PostFxEnable << " "
               << q.ForceFxColors << q.ForceFxMotionBlur << " background " << q.ShowBackground;
}

// Every quality member 9: a value no rule writes, to tell what a rule keeps.
constexpr Quality kNines = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};

std::string BodyOf(CMwNod& nod) {
    CClassicArchive archive;
    auto* memory = new CClassicBufferMemory;
    archive.SetBuffer(memory);
    archive.m_Writing = 1;
    EXPECT_EQ(nod.Archive(archive), 0u);
    return std::string(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize());
}

void LoadBody(CMwNod& nod, const std::string& bytes) {
    CClassicArchive archive;
    auto* memory = new CClassicBufferMemory;
    archive.SetBuffer(memory);
    memory->Write(bytes.data(), u32(bytes.size()));
    memory->Rewind();
    EXPECT_EQ(nod.Archive(archive), 0u);
}

// A binary chunk stream written by hand: each chunk skippable, its values u32 words.
class CChunkStream {
public:
    CChunkStream& Chunk(u32 id, const std::vector<u32>& values) {
        Word(id);
        Word(CMwNod::s_SkipTag);
        Word(u32(values.size() * 4));
        for (u32 value : values)
            Word(value);
        return *this;
    }
    std::string End() {
        Word(CMwNod::s_UnknownChunk);
        return m_Bytes;
    }

private:
    void Word(u32 value) {
        for (u32 i = 0; i < 4; ++i)
            m_Bytes.push_back(char(value >> (8 * i)));
    }
    std::string m_Bytes;
};

class SystemConfigDisplay : public CSystemFixture {
protected:
    void SetUp() override {
        CSystemFixture::SetUp();
        DescribeHostWith(1024 * kMb, 2000);
        g_GpuPerf = GpuPerf();
    }

    // Describes the adapter and gives it a row of scores (nine numbers in file order) in the
    // data folder's table; the record is read when the rules ask for it.
    void AdapterWithScores(const std::string& description, const std::string& scores) {
        DescribeAdapter(description);
        char ids[32];
        std::snprintf(ids, sizeof ids, "%04X %04X ", g_GpuInfo.VendorId, g_GpuInfo.DeviceId);
        m_Data.WriteTable({ids + scores});
        g_GpuPerf = GpuPerf();
    }

    CConfigRecords m_Records;
    CDataFolder m_Data;
};

// The z-buffer range workaround follows the adapter's vendor, class and driver.
TEST_F(SystemConfigDisplay, ZBufferRangeRule) {
    struct Case {
        u32 Vendor;
        u32 Class;
        const char* Driver;
        u32 Disabled;
    };
    const Case cases[] = {
        {0x10DE, 3, "6.14.10.6693", 0}, {0x10DE, 3, "6.14.10.6692", 1}, {0x10DE, 3, "6.14.11.0", 0},
        {0x10DE, 3, "6.13.99.9999", 1}, {0x10DE, 2, "6.14.10.9999", 1}, {0x10DE, 2, "7.15.11.0", 1},
        {0x10DE, 1, "6.14.10.1", 0},    {0x10DE, 0, "6.14.10.1", 0},    {0x1002, 2, "6.14.10.1", 0},
        {0x1002, 3, "1.0.0.0", 0},
    };
    for (const Case& c : cases) {
        DescribeAdapter(AdapterText(c.Vendor, c.Class, std::string("driver = ") + c.Driver + "\n"));
        CSystemConfigDisplay display;
        display.m_DisableZBufferRange = 7;
        display.SetDefaults();
        EXPECT_EQ(display.m_DisableZBufferRange, c.Disabled)
            << std::hex << c.Vendor << " class " << c.Class << " driver " << c.Driver;
    }
}

// Fast loading stays on unless the host has at least 260 MB and 700 MHz. The memory is counted
// in whole 16 MB, rounded up.
TEST_F(SystemConfigDisplay, FastLoadByMemoryAndClock) {
    DescribeAdapter(AdapterText(0x10DE, 3));
    struct Case {
        u64 Memory;
        u32 Mhz;
        u32 FastLoad;
    };
    const Case cases[] = {
        {256 * kMb, 2000, 1},
        {259 * kMb, 700, 0}, // counted as 272 MB
        {272 * kMb, 699, 1},
        {1024 * kMb, 699, 1},
        {1024 * kMb, 700, 0},
        {256 * kMb + 1, 2000, 0}, // 256 MB and a byte: 272
        {0, 0, 1},
    };
    for (const Case& c : cases) {
        DescribeHostWith(c.Memory, c.Mhz);
        CSystemConfigDisplay display;
        display.SetDefaults();
        EXPECT_EQ(display.m_EnableFastLoad, c.FastLoad)
            << g_HostInfo.PhysicalMemoryMb << " MB at " << c.Mhz << " MHz";
    }
}

// The defaults of the mode and the workarounds; the automatic scale, Customize and the preset
// keep their values, and a customized part gets its preset.
TEST_F(SystemConfigDisplay, Defaults) {
    DescribeAdapter(AdapterText(0x1002, 3));
    CSystemConfigDisplay fresh;
    EXPECT_EQ(QualityOf(fresh), (Quality{0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(fresh.m_AutoScale, 1u);
    EXPECT_EQ(fresh.m_GpuSyncTimeOut, 10000u);
    EXPECT_EQ(fresh.m_IgnoreDriverCrashes, 1u);
    EXPECT_EQ(fresh.m_ZClipNbBlock, 10u);

    CSystemConfigDisplay display;
    display.m_Size = {1, 2};
    display.m_WindowedSizeIndex = 3;
    display.m_AutoScale = 2;
    display.m_Customize = 1;
    display.m_Preset = 2;
    display.m_GpuSyncTimeOut = 1;
    display.m_ZClipNbBlock = 3;
    display.m_AgpUseFactor = 0.5f;
    display.m_EmulateCursorGDI = 1;
    display.m_EnableFullscreenGDI = 1;
    display.SetDefaults();
    EXPECT_EQ(display.m_Size.Width, 800u);
    EXPECT_EQ(display.m_Size.Height, 600u);
    EXPECT_EQ(display.m_WindowedSizeIndex, 0u);
    EXPECT_EQ(display.m_ColorDepth, 1u);
    EXPECT_EQ(display.m_FullScreen, 1u);
    EXPECT_EQ(display.m_VertexProcess, 0u);
    EXPECT_EQ(display.m_DisableShadowBuffer, 1u);
    EXPECT_EQ(display.m_EmulateCursorGDI, 0u);
    EXPECT_EQ(display.m_GpuSync, 7u);
    EXPECT_EQ(display.m_GpuSyncTimeOut, 10000u);
    EXPECT_EQ(display.m_ZClipNbBlock, 10u);
    EXPECT_EQ(display.m_AgpUseFactor, 0.0f);
    EXPECT_EQ(display.m_EnableFullscreenGDI, 0u);
    EXPECT_EQ(display.m_AutoScale, 2u);
    EXPECT_EQ(display.m_Customize, 1u);
    EXPECT_EQ(display.m_Preset, 2u);
    // The Low preset over the defaults' water, post effects and background.
    EXPECT_EQ(QualityOf(display), (Quality{1, 1, 2, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0}));

    CSystemConfigDisplay safe;
    SetQuality(safe, kNines);
    safe.m_AutoScale = 2;
    safe.m_ZClipNbBlock = 33;
    safe.SetSafeDefaults(7, {1280, 1024});
    EXPECT_EQ(safe.m_Size.Width, 1280u);
    EXPECT_EQ(safe.m_Size.Height, 1024u);
    EXPECT_EQ(safe.m_ColorDepth, 1u);
    EXPECT_EQ(safe.m_Customize, 1u);
    EXPECT_EQ(safe.m_Preset, 0u);
    EXPECT_EQ(safe.m_VertexProcess, 2u);
    EXPECT_EQ(safe.m_GpuSyncTimeOut, 50000u);
    EXPECT_EQ(safe.m_EmulateCursorGDI, 1u);
    EXPECT_EQ(safe.m_DisableColorWriteMask, 1u);
    EXPECT_EQ(safe.m_DisableZBufferRange, 1u);
    EXPECT_EQ(safe.m_AutoScale, 2u);
    EXPECT_EQ(safe.m_ZClipNbBlock, 33u);
    EXPECT_EQ(QualityOf(safe), (Quality{0, 0, 1, 9, 0, 0, 9, 0, 0, 0, 0, 0, 1}));
    safe.SetSafeDefaults(0, {640, 480});
    EXPECT_EQ(safe.m_ColorDepth, 0u);
}

// Preset levels 1 to 5 set their rows; other levels only the preset. Without post effects the
// two forced effects are cleared at every level.
TEST_F(SystemConfigDisplay, PresetLevels) {
    struct Case {
        u32 Level;
        Quality Start;
        Quality Expected;
    };
    Quality noPostFx = kNines;
    noPostFx.PostFxEnable = 0;
    const Case cases[] = {
        {1, kNines, {0, 0, 1, 9, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
        {2, kNines, {1, 1, 2, 9, 1, 1, 1, 0, 0, 0, 0, 0, 0}},
        {3, kNines, {2, 2, 3, 0, 2, 0, 9, 0, 0, 0, 0, 0, 1}},
        {4, kNines, {3, 3, 3, 1, 3, 0, 9, 1, 0, 0, 0, 0, 1}},
        {5, kNines, {3, 3, 3, 2, 3, 0, 9, 1, 0, 1, 0, 1, 1}},
        {0, kNines, kNines},
        {0, noPostFx, {9, 9, 9, 9, 9, 9, 9, 9, 9, 0, 0, 0, 9}},
        {6, noPostFx, {9, 9, 9, 9, 9, 9, 9, 9, 9, 0, 0, 0, 9}},
    };
    for (const Case& c : cases) {
        CSystemConfigDisplay display;
        SetQuality(display, c.Start);
        display.ApplyPreset(c.Level);
        EXPECT_EQ(display.m_Preset, c.Level);
        EXPECT_EQ(QualityOf(display), c.Expected) << "level " << c.Level;
    }
}

// Old files' preset index: 0 to 3 are presets 1 to 4, 4 is a customized part with preset 0,
// anything else makes the part automatic.
TEST_F(SystemConfigDisplay, LegacyPresetIndex) {
    AdapterWithScores(AdapterText(0x10DE, 3), "200 100 100 100 100 600 0 0 0");
    const Quality automatic = {3, 0, 3, 3, 3, 0, 9, 1, 0, 0, 0, 0, 1};
    struct Case {
        u32 Index;
        u32 Customize;
        u32 Preset;
        Quality Expected;
    };
    const Case cases[] = {
        {0, 1, 1, {0, 0, 1, 9, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
        {3, 1, 4, {3, 3, 3, 1, 3, 0, 9, 1, 0, 0, 0, 0, 1}},
        {4, 1, 0, kNines},
        {5, 0, 9, automatic},
        {7, 0, 9, automatic},
    };
    for (const Case& c : cases) {
        CSystemConfigDisplay display;
        display.m_Size = {1024, 768};
        display.m_FullScreen = 1;
        SetQuality(display, kNines);
        display.m_Preset = 9;
        display.m_Customize = 1 - c.Customize;
        display.ApplyLegacyPresetIndex(c.Index);
        EXPECT_EQ(display.m_Customize, c.Customize) << "index " << c.Index;
        EXPECT_EQ(display.m_Preset, c.Preset) << "index " << c.Index;
        EXPECT_EQ(QualityOf(display), c.Expected) << "index " << c.Index;
    }

    // Customizing keeps the values; leaving it runs the automatic settings.
    CSystemConfigDisplay display;
    display.m_Size = {1024, 768};
    display.m_FullScreen = 1;
    SetQuality(display, kNines);
    display.SetCustomize(1);
    EXPECT_EQ(QualityOf(display), kNines);
    display.SetCustomize(0);
    EXPECT_EQ(QualityOf(display), automatic);
    // A customized part has no automatic settings.
    SetQuality(display, kNines);
    display.m_Customize = 1;
    display.ApplyAutomaticSettings();
    EXPECT_EQ(QualityOf(display), kNines);
}

// Texture quality by the video memory (the desktop surface included), a third of it without
// all compressed formats. One vendor's adapters with pixel shaders 2.0 count at least 128 MB.
TEST_F(SystemConfigDisplay, TexturesByVideoMemory) {
    struct Case {
        const char* Memory;
        bool AllDxt;
        u32 Expected;
        u32 Vendor = 0x10DE;
        u32 Class = 3;
    };
    const Case cases[] = {
        {"61M", true, 2},            // 64 MB
        {"61M", false, 0},           // 64 / 3 = 21
        {"97M", true, 2},            // 100
        {"98M", true, 3},            // 101
        {"47M", true, 1},            // 50
        {"48M", true, 2},            // 51
        {"25M", true, 0},            // 28
        {"26M", true, 1},            // 29
        {"300M", false, 3},          // 303 / 3 = 101
        {"140M", false, 1},          // 143 / 3 = 47
        {"61M", true, 3, 0x1002},    // counted as 128
        {"61M", false, 1, 0x1002},   // 128 / 3 = 42
        {"61M", true, 2, 0x1002, 2}, // pixel shaders 1.4: 64
        {"140M", false, 1, 0x1002},  // 143 / 3 = 47
    };
    for (const Case& c : cases) {
        char ids[64];
        std::snprintf(ids, sizeof ids, "vendor = 0x%04X\ndevice = 0x0322\n", c.Vendor);
        std::string text = std::string("desktop = 1024x768x32\n") + ids +
                           ShaderClassLines(c.Class) + "vram = " + c.Memory + "\n";
        if (c.AllDxt)
            text += "textures = DXT1 DXT2 DXT3 DXT4 DXT5\n";
        AdapterWithScores(text, "1 1 1 1 1 1 1 1 1");
        CSystemConfigDisplay display;
        display.ApplyAutomaticSettings();
        EXPECT_EQ(display.m_TexturesQuality, c.Expected)
            << std::hex << c.Vendor << std::dec << " " << c.Memory << " counted as "
            << g_GpuInfo.VideoMemoryMb << " MB";
    }
}

// Automatic settings from the scores, scaled by the automatic scale, against the pixels to fill
// (P = 1 at 1024 x 768).
TEST_F(SystemConfigDisplay, AutomaticSettingsFromScores) {
    struct Case {
        const char* Name;
        SystemDisplaySize Size; // full screen; Width 0: windowed with the index in Height
        u32 AutoScale;
        std::string Scores; // Geom Aniso1 Aniso2 Aniso4 Aniso8 Aniso16 PArith11 PTexD11 PArith20
        Quality Expected;   // textures 3 from the memory; 9 where the rules keep the value
        bool DepthTextures = false;
        u32 DisableShadowBuffer = 0;
        u32 Vendor = 0x10DE;
    };
    const Case cases[] = {
        // Filtering and shadows.
        {"P 1 with Aniso16 600",
         {1024, 768},
         1,
         "200 0 0 0 0 600 0 0 0",
         {3, 0, 3, 3, 3, 0, 9, 1, 0, 0, 0, 0, 1}},
        {"P 4 with Aniso16 600",
         {2048, 1536},
         1,
         "200 0 0 0 0 600 0 0 0",
         {3, 0, 1, 9, 1, 0, 9, 1, 0, 0, 0, 0, 1}},
        {"P 4 with Aniso16 1001",
         {2048, 1536},
         1,
         "200 0 0 0 0 1001 0 0 0",
         {3, 0, 3, 2, 3, 0, 9, 1, 0, 0, 0, 0, 1}},
        {"Aniso8 without shadow buffer",
         {1024, 768},
         1,
         "200 0 0 0 251 0 0 0 0",
         {3, 0, 3, 2, 2, 0, 9, 1, 0, 0, 0, 0, 1}},
        {"Aniso8 with depth textures",
         {1024, 768},
         1,
         "200 0 0 0 251 0 0 0 0",
         {3, 0, 3, 2, 3, 0, 9, 1, 0, 0, 0, 0, 1},
         true},
        // Depth textures count on one vendor's adapters only.
        {"Aniso8 with depth textures of another vendor",
         {1024, 768},
         1,
         "200 0 0 0 251 0 0 0 0",
         {3, 0, 3, 2, 2, 0, 9, 1, 0, 0, 0, 0, 1},
         true,
         0,
         0x1002},
        {"Aniso8 with the shadow buffer disabled",
         {1024, 768},
         1,
         "200 0 0 0 251 0 0 0 0",
         {3, 0, 3, 2, 2, 0, 9, 1, 0, 0, 0, 0, 1},
         true,
         1},
        {"Aniso4",
         {1024, 768},
         1,
         "200 0 0 251 250 250 0 0 0",
         {3, 0, 3, 1, 2, 0, 9, 1, 0, 0, 0, 0, 1}},
        {"Aniso2",
         {1024, 768},
         1,
         "200 0 251 0 0 0 0 0 0",
         {3, 0, 3, 0, 2, 0, 9, 1, 0, 0, 0, 0, 1}},
        {"Aniso1 (shaders 1 as well)",
         {1024, 768},
         1,
         "200 251 0 0 0 0 0 0 0",
         {3, 1, 2, 9, 1, 0, 9, 1, 0, 0, 0, 0, 1}},
        {"nothing above the limits",
         {1024, 768},
         1,
         "200 250 250 250 250 250 150 0 130",
         {3, 0, 1, 9, 1, 0, 9, 1, 0, 0, 0, 0, 1}},
        // Scales: half the scores when faster, twice when nicer.
        {"faster",
         {1024, 768},
         0,
         "400 0 0 0 0 600 0 0 0",
         {3, 0, 3, 2, 3, 0, 9, 1, 0, 0, 0, 0, 1}},
        {"nicer", {1024, 768}, 2, "0 0 0 0 0 251 0 0 0", {3, 0, 3, 3, 3, 0, 9, 0, 0, 0, 0, 0, 1}},
        // Windowed: the size of the index, the first one for an index out of range.
        {"windowed 1024 x 768",
         {0, 2},
         1,
         "200 0 0 0 0 501 0 0 0",
         {3, 0, 3, 3, 3, 0, 9, 1, 0, 0, 0, 0, 1}},
        {"windowed index out of range",
         {0, 7},
         1,
         "200 0 0 0 0 196 0 0 0",
         {3, 0, 3, 3, 3, 0, 9, 1, 0, 0, 0, 0, 1}},
        {"windowed 1280 x 960",
         {0, 3},
         1,
         "200 0 0 0 0 501 0 0 0",
         {3, 0, 3, 2, 3, 0, 9, 1, 0, 0, 0, 0, 1}},
        // Clipping, faster only: G is half the Geom score.
        {"faster, G 25",
         {1024, 768},
         0,
         "50 0 0 0 0 0 0 0 0",
         {3, 0, 1, 9, 1, 1, 0, 0, 0, 0, 0, 0, 0}},
        {"faster, G 29",
         {1024, 768},
         0,
         "58 0 0 0 0 0 0 0 0",
         {3, 0, 1, 9, 1, 1, 1, 0, 0, 0, 0, 0, 0}},
        {"faster, G 60",
         {1024, 768},
         0,
         "120 0 0 0 0 0 0 0 0",
         {3, 0, 1, 9, 1, 1, 2, 0, 0, 0, 0, 0, 0}},
        {"faster, G 120",
         {1024, 768},
         0,
         "240 0 0 0 0 0 0 0 0",
         {3, 0, 1, 9, 1, 0, 9, 0, 0, 0, 0, 0, 1}},
        {"faster, G 121",
         {1024, 768},
         0,
         "242 0 0 0 0 0 0 0 0",
         {3, 0, 1, 9, 1, 0, 9, 1, 0, 0, 0, 0, 1}},
        {"normal scale, Geom 10",
         {1024, 768},
         1,
         "10 0 0 0 0 0 0 0 0",
         {3, 0, 1, 9, 1, 0, 9, 0, 0, 0, 0, 0, 1}},
        // Shaders and post effects; the forced effects stay with post effects on.
        {"PArith20 above 130",
         {1024, 768},
         1,
         "200 0 0 0 0 0 0 0 130.01",
         {3, 3, 1, 9, 1, 0, 9, 1, 0, 1, 9, 9, 1}},
        {"PArith11 above 150",
         {1024, 768},
         1,
         "200 0 0 0 0 0 150.01 0 130",
         {3, 2, 1, 9, 1, 0, 9, 1, 0, 0, 0, 0, 1}},
        {"PArith20 against 4 times the pixels",
         {2048, 1536},
         1,
         "200 0 0 0 0 0 0 0 521",
         {3, 3, 1, 9, 1, 0, 9, 1, 0, 1, 9, 9, 1}},
    };
    for (const Case& c : cases) {
        AdapterWithScores(
            AdapterText(c.Vendor, 3, c.DepthTextures ? "depthtextures = D24X8\n" : ""), c.Scores);
        CSystemConfigDisplay display;
        SetQuality(display, kNines);
        if (c.Size.Width) {
            display.m_FullScreen = 1;
            display.m_Size = c.Size;
        } else {
            display.m_Size = {4096, 4096};
            display.m_WindowedSizeIndex = c.Size.Height;
        }
        display.m_AutoScale = c.AutoScale;
        display.m_DisableShadowBuffer = c.DisableShadowBuffer;
        CFileSinkWatch files;
        display.ApplyAutomaticSettings();
        EXPECT_EQ(QualityOf(display), c.Expected) << c.Name;
        EXPECT_TRUE(g_GpuPerf.IsFound()) << c.Name;
        EXPECT_EQ(files.Text().find("WARNING"), std::string::npos) << c.Name;
    }
}

// Without a record the settings follow the pixel-shader class, with a warning each time; the
// forced effects keep their values on this road.
TEST_F(SystemConfigDisplay, AutomaticSettingsWithoutScores) {
    const std::string warning = "[Sys] WARNING : GpuPerf not found => Automatic settings 'll be "
                                "based upon device capabilities.\r\n";
    // The table has no row of this device.
    m_Data.WriteTable({"10DE 0001 1 1 1 1 1 1 1 1 1"});
    const Quality expected[4] = {
        {3, 0, 1, 9, 1, 1, 0, 0, 0, 0, 9, 9, 0},
        {3, 1, 2, 9, 1, 1, 1, 0, 0, 0, 9, 9, 1},
        {3, 1, 3, 0, 2, 1, 2, 0, 0, 0, 9, 9, 1},
        {3, 2, 3, 1, 2, 0, 9, 1, 0, 0, 9, 9, 1},
    };
    for (u32 shaderClass = 1; shaderClass < 4; ++shaderClass) {
        DescribeAdapter(AdapterText(0x10DE, shaderClass));
        g_GpuPerf = GpuPerf();
        CSystemConfigDisplay display;
        SetQuality(display, kNines);
        CFileSinkWatch files;
        display.ApplyAutomaticSettings();
        display.ApplyAutomaticSettings();
        EXPECT_EQ(QualityOf(display), expected[shaderClass]) << "class " << shaderClass;
        EXPECT_EQ(files.Text(), warning + warning) << "class " << shaderClass;
    }
    // Class 0 always has a record (of zeros), so its row is reached only without adapter ids.
    DescribeAdapter("desktop = 1024x768x32\nvram = 125M\ntextures = DXT1 DXT2 DXT3 DXT4 DXT5\n");
    g_GpuPerf = GpuPerf();
    CSystemConfigDisplay display;
    SetQuality(display, kNines);
    CFileSinkWatch files;
    display.ApplyAutomaticSettings();
    EXPECT_EQ(QualityOf(display), expected[0]);
    EXPECT_EQ(files.Text(), warning);

    // A record already found is used without looking at the table again.
    AdapterWithScores(AdapterText(0x10DE, 3), "200 0 0 0 0 600 0 0 0");
    ASSERT_TRUE(ReadGpuPerfTable(u""));
    std::filesystem::remove(m_Data.File("GfxDevicePerfs.txt"));
    SetQuality(display, kNines);
    display.ApplyAutomaticSettings();
    EXPECT_EQ(QualityOf(display), (Quality{3, 0, 3, 3, 3, 0, 9, 1, 0, 0, 0, 0, 1}));
}

// The current chunks, byte by byte in the binary encoding, in their order.
TEST_F(SystemConfigDisplay, CurrentChunks) {
    CSystemConfigDisplay display;
    u32 next = 100;
    for (u32* field : {&display.m_Size.Width,
                       &display.m_Size.Height,
                       &display.m_WindowedSizeIndex,
                       &display.m_ColorDepth,
                       &display.m_Antialiasing,
                       &display.m_RefreshRate,
                       &display.m_VSync,
                       &display.m_FullScreen,
                       &display.m_DisableShadowBuffer,
                       &display.m_GpuSync,
                       &display.m_EmulateCursorGDI,
                       &display.m_VertexProcess,
                       &display.m_OptimizePartialDynaGeom,
                       &display.m_IgnoreDriverCrashes,
                       &display.m_DisableColorWriteMask,
                       &display.m_EnableFullscreenGDI,
                       &display.m_ZClip,
                       &display.m_ZClipAuto,
                       &display.m_ZClipNbBlock,
                       &display.m_WaterGeom,
                       &display.m_PostFxEnable,
                       &display.m_ShowBackground,
                       &display.m_ForceFxColors,
                       &display.m_ForceFxMotionBlur,
                       &display.m_DisableZBufferRange,
                       &display.m_AutoScale,
                       &display.m_Customize,
                       &display.m_Preset,
                       &display.m_TexturesQuality,
                       &display.m_ShaderQuality,
                       &display.m_MaxFiltering,
                       &display.m_Shadows,
                       &display.m_AnisoQuality,
                       &display.m_WaterComplex,
                       &display.m_EnableFastLoad})
        *field = next++;
    display.m_AgpUseFactor = 0.75f;
    const u32 agp = std::bit_cast<u32>(0.75f);
    const std::string expected = CChunkStream()
                                     .Chunk(0x0b013001, {100, 101, 102, 103, 104, 105, 106, 107})
                                     .Chunk(0x0b013003, {108, 109, 110, 111, 112, 113})
                                     .Chunk(0x0b013004, {114})
                                     .Chunk(0x0b013005, {115})
                                     .Chunk(0x0b013008, {116, 117, 118})
                                     .Chunk(0x0b013009, {119, 0, 120, 121})
                                     .Chunk(0x0b01300a, {122, 123})
                                     .Chunk(0x0b01300b, {124, agp})
                                     .Chunk(0x0b01300d, {125, 126, 127, 128, 129, 130, 131, 132})
                                     .Chunk(0x0b01300e, {133})
                                     .Chunk(0x0b01300f, {134})
                                     .End();
    EXPECT_EQ(BodyOf(display), expected);

    // Read back, the same bytes again: preset 127 is no level, so loading keeps every value.
    CSystemConfigDisplay loaded;
    LoadBody(loaded, expected);
    EXPECT_EQ(loaded.m_ZClipNbBlock, 118u);
    EXPECT_EQ(loaded.m_AgpUseFactor, 0.75f);
    EXPECT_EQ(BodyOf(loaded), expected);
}

// Older chunks are read, with their corrections, and the load's recomputation follows.
TEST_F(SystemConfigDisplay, OlderChunks) {
    AdapterWithScores(AdapterText(0x10DE, 3), "200 0 0 0 0 600 0 0 0");
    const std::vector<u32> first = {1600, 1200, 2, 3,  1, 2, 3, 85, 1,
                                    0,    1,    4, 99, 0, 5, 1, 2,  1}; // preset index at 12
    const auto withPreset = [&](u32 index) {
        std::vector<u32> values = first;
        values[12] = index;
        return values;
    };
    struct Case {
        const char* Name;
        std::string Body;
        u32 Customize, Preset;
        Quality Expected;
    };
    const Quality automatic = {3, 0, 3, 3, 3, 0, 1, 1, 0, 0, 0, 0, 1};
    const Case cases[] = {
        {"first layout, preset index 1",
         CChunkStream().Chunk(0x0b013000, withPreset(1)).End(),
         1,
         2,
         {1, 1, 2, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0}},
        {"first layout, preset index 4 keeps its values",
         CChunkStream().Chunk(0x0b013000, withPreset(4)).End(),
         1,
         0,
         {3, 2, 1, 1, 4, 0, 1, 0, 0, 0, 0, 0, 0}},
        {"first layout, preset index 9", CChunkStream().Chunk(0x0b013000, withPreset(9)).End(), 0,
         0, automatic},
        {"quality 1",
         CChunkStream().Chunk(0x0b013002, {0, 0, 0, 0, 1}).End(),
         1,
         3,
         {2, 2, 3, 0, 2, 0, 1, 0, 0, 0, 0, 0, 1}},
        {"quality 2",
         CChunkStream().Chunk(0x0b013002, {0, 0, 0, 0, 2}).End(),
         1,
         4,
         {3, 3, 3, 1, 3, 0, 1, 1, 0, 0, 0, 0, 1}},
        {"quality 7 keeps its values",
         CChunkStream().Chunk(0x0b013002, {1, 2, 3, 4, 7}).End(),
         1,
         0,
         {1, 2, 3, 1, 4, 0, 1, 0, 0, 0, 0, 0, 0}},
        {"anisotropy after preset index 0",
         CChunkStream().Chunk(0x0b013007, {3, 3, 3, 3, 0, 2}).End(),
         1,
         1,
         {0, 0, 1, 2, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
        {"customized with preset 0",
         CChunkStream().Chunk(0x0b01300c, {1, 0, 2, 1, 3, 4, 0}).Chunk(0x0b013006, {3}).End(),
         1,
         0,
         {2, 1, 3, 3, 4, 0, 1, 0, 0, 0, 0, 0, 0}},
        {"not customized", CChunkStream().Chunk(0x0b01300c, {0, 4, 0, 0, 0, 0, 0}).End(), 0, 4,
         automatic},
    };
    for (const Case& c : cases) {
        CSystemConfigDisplay display;
        LoadBody(display, c.Body);
        EXPECT_EQ(display.m_Customize, c.Customize) << c.Name;
        EXPECT_EQ(display.m_Preset, c.Preset) << c.Name;
        EXPECT_EQ(QualityOf(display), c.Expected) << c.Name;
    }
    // The other values of the first layout.
    CSystemConfigDisplay display;
    LoadBody(display, CChunkStream().Chunk(0x0b013000, withPreset(4)).End());
    EXPECT_EQ(display.m_Size.Width, 1600u);
    EXPECT_EQ(display.m_Size.Height, 1200u);
    EXPECT_EQ(display.m_WindowedSizeIndex, 2u);
    EXPECT_EQ(display.m_ColorDepth, 1u);
    EXPECT_EQ(display.m_Antialiasing, 3u);
    EXPECT_EQ(display.m_RefreshRate, 85u);
    EXPECT_EQ(display.m_VSync, 1u);
    EXPECT_EQ(display.m_FullScreen, 0u);
    EXPECT_EQ(display.m_GpuSync, 5u);
    EXPECT_EQ(display.m_EmulateCursorGDI, 1u);
    EXPECT_EQ(display.m_VertexProcess, 2u);
    EXPECT_EQ(display.m_OptimizePartialDynaGeom, 1u);
    // Older chunks are never written.
    EXPECT_EQ(BodyOf(display).find(std::string("\x00\x30\x01\x0b", 4)), std::string::npos);
}

// Loading recomputes the quality: automatic settings for a part that is not customized, the
// preset's row for a customized one; a customized part with preset 0 keeps what was stored, and
// the forced effects read are kept while post effects are on.
TEST_F(SystemConfigDisplay, LoadRecomputesTheQuality) {
    AdapterWithScores(AdapterText(0x10DE, 3), "200 0 0 0 0 600 0 0 130.5");
    struct Case {
        const char* Name;
        u32 Customize, Preset;
        Quality Stored;
        Quality Expected;
    };
    const Quality stored = {1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 0, 0};
    const Case cases[] = {
        {"automatic", 0, 0, stored, {3, 3, 3, 3, 3, 0, 1, 1, 0, 1, 1, 0, 1}},
        {"automatic, forced effects off",
         0,
         0,
         {1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 0, 1, 0},
         {3, 3, 3, 3, 3, 0, 1, 1, 0, 1, 0, 1, 1}},
        {"medium", 1, 3, stored, {2, 2, 3, 0, 2, 0, 1, 0, 0, 0, 0, 0, 1}},
        {"very high", 1, 5, stored, {3, 3, 3, 2, 3, 0, 1, 1, 0, 1, 1, 0, 1}},
        {"preset 0", 1, 0, stored, stored},
        {"preset 0 without post effects",
         1,
         0,
         {1, 1, 1, 1, 1, 1, 1, 0, 1, 0, 1, 1, 0},
         {1, 1, 1, 1, 1, 1, 1, 0, 1, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        CSystemConfigDisplay saved;
        saved.m_Size = {1024, 768};
        saved.m_FullScreen = 1;
        saved.m_Customize = c.Customize;
        saved.m_Preset = c.Preset;
        SetQuality(saved, c.Stored);
        CSystemConfigDisplay loaded;
        LoadBody(loaded, BodyOf(saved));
        EXPECT_EQ(QualityOf(loaded), c.Expected) << c.Name;
    }
}

// A copy has every field of its source and a nod part of its own.
TEST_F(SystemConfigDisplay, Copy) {
    DescribeAdapter(AdapterText(0x10DE, 2));
    CSystemConfigDisplay* source = new CSystemConfigDisplay;
    source->AddRef();
    source->SetDefaults();
    source->m_Size = {1280, 1024};
    source->m_WindowedSizeIndex = 2;
    source->m_AgpUseFactor = 0.25f;
    source->ApplyLegacyPresetIndex(2);
    CSystemConfigDisplay copy(*source);
    EXPECT_EQ(copy.GetRefCount(), 0);
    EXPECT_EQ(copy.GetClassId(), 0x0b013000u);
    EXPECT_EQ(copy.m_Size.Width, 1280u);
    EXPECT_EQ(copy.m_WindowedSizeIndex, 2u);
    EXPECT_EQ(BodyOf(copy), BodyOf(*source));
    CSystemConfigDisplay assigned;
    assigned = *source;
    EXPECT_EQ(assigned.GetRefCount(), 0);
    EXPECT_EQ(BodyOf(assigned), BodyOf(*source));
    source->Release();
}

// The class's identity, members and chunks as the registry and the chunk loop see them.
TEST_F(SystemConfigDisplay, MembersAndChunks) {
    CSystemConfigDisplay display;
    EXPECT_TRUE(display.IsKindOf(0x0b013000));
    EXPECT_TRUE(display.IsKindOf(CMwNod::s_ClassId));
    EXPECT_EQ(display.MemberCount(), 35u);
    EXPECT_EQ(display.MemberIdByIndex(35 - 1), 0x0b013021u);
    ASSERT_EQ(display.ChunkCount(), 17u);
    EXPECT_EQ(display.ChunkIdByIndex(0), CMwNod::s_RootChunkId);
    for (u32 i = 1; i < 17; ++i) {
        const u32 id = 0x0b013000 + i - 1;
        EXPECT_EQ(display.ChunkIdByIndex(i), id);
        const bool older = id == 0x0b013000 || id == 0x0b013002 || id == 0x0b013006 ||
                           id == 0x0b013007 || id == 0x0b01300c;
        EXPECT_EQ(display.GetChunkInfo(id), older ? 0x11u : 0x13u) << std::hex << id;
    }

    // Names and labels that differ from their fields.
    struct Row {
        u32 Id;
        const char* Name;
        const char* Label;
        u32 Type;
    };
    const Row rows[] = {
        {0x0b013005, "FastLoad", "FastLoad", MwType_Bool},
        {0x0b01300c, "AnisoQuality", "AnisotropicQuality", MwType_Enum},
        {0x0b013012, "PostFxEnable", "PostFx", MwType_Bool},
        {0x0b01301c, "OptimizePartDyna", "OptimPartDynaGeom", MwType_Bool},
        {0x0b01301e, "DisableColorWMask", "DisableColorWMask", MwType_Bool},
        {0x0b013021, "AgpUseFactor", "AgpUseFactor", MwType_RealRange},
    };
    for (const Row& row : rows) {
        const CMwMemberInfo* member = CMwClassRegistry::GetMemberInfo(row.Id);
        ASSERT_NE(member, nullptr) << row.Name;
        EXPECT_STREQ(member->Name, row.Name);
        EXPECT_STREQ(member->Label, row.Label);
        EXPECT_EQ(member->TypeCode, row.Type) << row.Name;
        EXPECT_EQ(member->Flags, 0x03u) << row.Name;
    }
    // Set by path text, as the launcher's pages do.
    EXPECT_EQ(display.SetParamFromText(CClassicString("OptimizePartDyna"), u"1"), 0u);
    EXPECT_EQ(display.m_OptimizePartialDynaGeom, 1u);
    EXPECT_EQ(display.SetParamFromText(CClassicString("AgpUseFactor"), u"0.5"), 0u);
    EXPECT_EQ(display.m_AgpUseFactor, 0.5f);
}

} // namespace
