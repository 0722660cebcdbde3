#include "system/config/SystemConfigDisplay.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "system/config/GpuInfo.h"
#include "system/config/GpuPerf.h"
#include "system/config/HostInfo.h"

namespace {

constexpr const char* kAutoScaleNames[] = {"|GfxAuto|Faster", "|GfxAuto|Normal", "|GfxAuto|Nicer"};
constexpr const char* kPresetNames[] = {
    "|DisplayPreset|None",         "|DisplayPreset|Minimum Quality",
    "|DisplayPreset|Low Quality",  "|DisplayPreset|Medium Quality",
    "|DisplayPreset|High Quality", "|DisplayPreset|VeryHigh Quality"};
constexpr const char* kColorDepthNames[] = {"|ColorDepth|16 bits", "|ColorDepth|32 bits"};
constexpr const char* kAntialiasingNames[] = {"|Antialiasing|None", "|Antialiasing|2x",
                                              "|Antialiasing|4x", "|Antialiasing|6x"};
constexpr const char* kShaderQualityNames[] = {"PC0", "PC1", "PC2", "PC3"};
constexpr const char* kTexturesQualityNames[] = {"|TexturesQuality|VeryLow", "|TexturesQuality|Low",
                                                 "|TexturesQuality|Medium",
                                                 "|TexturesQuality|High"};
constexpr const char* kMaxFilteringNames[] = {"|MaxFiltering|Point", "|MaxFiltering|Bilinear",
                                              "|MaxFiltering|Trilinear",
                                              "|MaxFiltering|Anisotropic"};
constexpr const char* kAnisoQualityNames[] = {"|AnisoQ|2x", "|AnisoQ|4x", "|AnisoQ|8x",
                                              "|AnisoQ|16x"};
constexpr const char* kZClipNames[] = {"|ZClip|Disable", "|ZClip|Auto", "|ZClip|Fixed"};
constexpr const char* kZClipAutoNames[] = {"|ZClipAuto|Near", "|ZClipAuto|Medium",
                                           "|ZClipAuto|Far"};
constexpr const char* kShadowsNames[] = {"|Shadows|None", "|Shadows|Minimum", "|Shadows|Medium",
                                         "|Shadows|High", "|Shadows|Complex"};
constexpr const char* kGpuSyncNames[] = {
    "|GpuSync|None",         "|GpuSync|3 Frames",       "|GpuSync|2 Frames & Half",
    "|GpuSync|2 Frames",     "|GpuSync|1 Frame & Half", "|GpuSync|1 Frame",
    "|GpuSync|Half a frame", "|GpuSync|Immediate"};
constexpr const char* kVertexProcessNames[] = {
    "|VertexProcess|Hardware", "|VertexProcess|SoftwareVertexShader", "|VertexProcess|Software"};

} // namespace

// Every member reads and writes; labels differ from the names in three rows only.
#define CSYSTEMCONFIGDISPLAY_MEMBERS(X)                                                            \
    X(Bool, 0x0b013000, "FullScreen", MW_FIELD(m_FullScreen), "FullScreen", 0x03, 0x3F80)          \
    X(Natural, 0x0b013001, "RefreshRate", MW_FIELD(m_RefreshRate), "RefreshRate", 0x03, 0x3F80)    \
    X(Bool, 0x0b013002, "VSync", MW_FIELD(m_VSync), "VSync", 0x03, 0x3F80)                         \
    X(Enum, 0x0b013003, "AutoScale", MW_FIELD(m_AutoScale), "AutoScale", 0x03, 0x3F80, "",         \
      kAutoScaleNames)                                                                             \
    X(Bool, 0x0b013004, "Customize", MW_FIELD(m_Customize), "Customize", 0x03, 0x3F80)             \
    X(Bool, 0x0b013005, "FastLoad", MW_FIELD(m_EnableFastLoad), "FastLoad", 0x03, 0x3F80)          \
    X(Enum, 0x0b013006, "Preset", MW_FIELD(m_Preset), "Preset", 0x03, 0x3F80, "", kPresetNames)    \
    X(Enum, 0x0b013007, "ColorDepth", MW_FIELD(m_ColorDepth), "ColorDepth", 0x03, 0x3F80, "",      \
      kColorDepthNames)                                                                            \
    X(Enum, 0x0b013008, "Antialiasing", MW_FIELD(m_Antialiasing), "Antialiasing", 0x03, 0x3F80,    \
      "", kAntialiasingNames)                                                                      \
    X(Enum, 0x0b013009, "ShaderQuality", MW_FIELD(m_ShaderQuality), "ShaderQuality", 0x03, 0x3F80, \
      "", kShaderQualityNames)                                                                     \
    X(Enum, 0x0b01300a, "TexturesQuality", MW_FIELD(m_TexturesQuality), "TexturesQuality", 0x03,   \
      0x3F80, "", kTexturesQualityNames)                                                           \
    X(Enum, 0x0b01300b, "MaxFiltering", MW_FIELD(m_MaxFiltering), "MaxFiltering", 0x03, 0x3F80,    \
      "", kMaxFilteringNames)                                                                      \
    X(Enum, 0x0b01300c, "AnisoQuality", MW_FIELD(m_AnisoQuality), "AnisotropicQuality", 0x03,      \
      0x3F80, "", kAnisoQualityNames)                                                              \
    X(Enum, 0x0b01300d, "ZClip", MW_FIELD(m_ZClip), "ZClip", 0x03, 0x3F80, "", kZClipNames)        \
    X(Enum, 0x0b01300e, "ZClipAuto", MW_FIELD(m_ZClipAuto), "ZClipAuto", 0x03, 0x3F80, "",         \
      kZClipAutoNames)                                                                             \
    X(Natural, 0x0b01300f, "ZClipNbBlock", MW_FIELD(m_ZClipNbBlock), "ZClipNbBlock", 0x03, 0x3F80) \
    X(Bool, 0x0b013010, "WaterGeom", MW_FIELD(m_WaterGeom), "WaterGeom", 0x03, 0x3F80)             \
    X(Bool, 0x0b013011, "WaterComplex", MW_FIELD(m_WaterComplex), "WaterComplex", 0x03, 0x3F80)    \
    X(Bool, 0x0b013012, "PostFxEnable", MW_FIELD(m_PostFxEnable), "PostFx", 0x03, 0x3F80)          \
    X(Bool, 0x0b013013, "ForceFxColors", MW_FIELD(m_ForceFxColors), "ForceFxColors", 0x03, 0x3F80) \
    X(Bool, 0x0b013014, "ForceFxMotionBlur", MW_FIELD(m_ForceFxMotionBlur), "ForceFxMotionBlur",   \
      0x03, 0x3F80)                                                                                \
    X(Bool, 0x0b013015, "ShowBackground", MW_FIELD(m_ShowBackground), "ShowBackground", 0x03,      \
      0x3F80)                                                                                      \
    X(Enum, 0x0b013016, "Shadows", MW_FIELD(m_Shadows), "Shadows", 0x03, 0x3F80, "",               \
      kShadowsNames)                                                                               \
    X(Enum, 0x0b013017, "GpuSync", MW_FIELD(m_GpuSync), "GpuSync", 0x03, 0x3F80, "",               \
      kGpuSyncNames)                                                                               \
    X(Natural, 0x0b013018, "GpuSyncTimeOut", MW_FIELD(m_GpuSyncTimeOut), "GpuSyncTimeOut", 0x03,   \
      0x3F80)                                                                                      \
    X(Enum, 0x0b013019, "VertexProcess", MW_FIELD(m_VertexProcess), "VertexProcess", 0x03, 0x3F80, \
      "", kVertexProcessNames)                                                                     \
    X(Bool, 0x0b01301a, "DisableShadowBuffer", MW_FIELD(m_DisableShadowBuffer),                    \
      "DisableShadowBuffer", 0x03, 0x3F80)                                                         \
    X(Bool, 0x0b01301b, "EmulateCursorGDI", MW_FIELD(m_EmulateCursorGDI), "EmulateCursorGDI",      \
      0x03, 0x3F80)                                                                                \
    X(Bool, 0x0b01301c, "OptimizePartDyna", MW_FIELD(m_OptimizePartialDynaGeom),                   \
      "OptimPartDynaGeom", 0x03, 0x3F80)                                                           \
    X(Bool, 0x0b01301d, "IgnoreDriverCrashes", MW_FIELD(m_IgnoreDriverCrashes),                    \
      "IgnoreDriverCrashes", 0x03, 0x3F80)                                                         \
    X(Bool, 0x0b01301e, "DisableColorWMask", MW_FIELD(m_DisableColorWriteMask),                    \
      "DisableColorWMask", 0x03, 0x3F80)                                                           \
    X(Bool, 0x0b01301f, "DisableZBufferRange", MW_FIELD(m_DisableZBufferRange),                    \
      "DisableZBufferRange", 0x03, 0x3F80)                                                         \
    X(Bool, 0x0b013020, "EnableFullscreenGDI", MW_FIELD(m_EnableFullscreenGDI),                    \
      "EnableFullscreenGDI", 0x03, 0x3F80)                                                         \
    X(RealRange, 0x0b013021, "AgpUseFactor", MW_FIELD(m_AgpUseFactor), "AgpUseFactor", 0x03,       \
      0x3F80, 0.0f, 1.0f)

// Current chunks (0x13: written, skippable) and older ones (0x11: read, never written), in id
// order.
#define CSYSTEMCONFIGDISPLAY_CHUNKS(X)                                                             \
    X(0x0b013000, 0x11)                                                                            \
    X(0x0b013001, 0x13)                                                                            \
    X(0x0b013002, 0x11)                                                                            \
    X(0x0b013003, 0x13)                                                                            \
    X(0x0b013004, 0x13)                                                                            \
    X(0x0b013005, 0x13)                                                                            \
    X(0x0b013006, 0x11)                                                                            \
    X(0x0b013007, 0x11)                                                                            \
    X(0x0b013008, 0x13)                                                                            \
    X(0x0b013009, 0x13)                                                                            \
    X(0x0b01300a, 0x13)                                                                            \
    X(0x0b01300b, 0x13)                                                                            \
    X(0x0b01300c, 0x11)                                                                            \
    X(0x0b01300d, 0x13)                                                                            \
    X(0x0b01300e, 0x13)                                                                            \
    X(0x0b01300f, 0x13)

MW_DEFINE_CLASS(CSystemConfigDisplay, MwFactory<CSystemConfigDisplay>, CSYSTEMCONFIGDISPLAY_MEMBERS,
                CSYSTEMCONFIGDISPLAY_CHUNKS);

namespace {

// A value of a preset or fallback row; kKeep leaves the member as it is.
constexpr i8 kKeep = -1;

void Put(u32& member, i8 value) {
    if (value != kKeep)
        member = u32(value);
}

// The quality members of preset levels 1 to 5.
struct PresetRow {
    i8 TexturesQuality, ShaderQuality, MaxFiltering, AnisoQuality, Shadows, ZClip, ZClipAuto,
        WaterGeom, WaterComplex, PostFxEnable, ForceFxColors, ForceFxMotionBlur, ShowBackground;
};
constexpr PresetRow kPresetRows[5] = {
    {0, 0, 1, kKeep, 0, 1, 0, 0, 0, 0, kKeep, kKeep, 0}, // Minimum
    {1, 1, 2, kKeep, 1, 1, 1, 0, 0, 0, kKeep, kKeep, 0}, // Low
    {2, 2, 3, 0, 2, 0, kKeep, 0, 0, 0, kKeep, kKeep, 1}, // Medium
    {3, 3, 3, 1, 3, 0, kKeep, 1, 0, 0, kKeep, kKeep, 1}, // High
    {3, 3, 3, 2, 3, 0, kKeep, 1, 0, 1, 0, 1, 1},         // VeryHigh
};

// The automatic settings without scores, by the adapter's pixel-shader class.
struct ClassRow {
    i8 MaxFiltering, Shadows, ZClipAuto, ShaderQuality, AnisoQuality, WaterGeom, ShowBackground,
        ZClip;
};
constexpr ClassRow kClassRows[4] = {
    {1, 1, 0, 0, kKeep, 0, 0, 1},
    {2, 1, 1, 1, kKeep, 0, 1, 1},
    {3, 2, 2, 1, 0, 0, 1, 1},
    {3, 2, kKeep, 2, 1, 1, 1, 0},
};

// Pixels in units of 1024 x 768, in 32-bit float.
constexpr f32 kPixelRatioScale = 0.0000012715658f;

} // namespace

void CSystemConfigDisplay::SetDefaults() {
    m_Size = {800, 600};
    m_WindowedSizeIndex = 0;
    m_ColorDepth = 1;
    m_VSync = 0;
    m_FullScreen = 1;
    m_RefreshRate = 0;
    m_Antialiasing = 0;
    m_VertexProcess = 0;
    m_DisableShadowBuffer = 1;
    m_EmulateCursorGDI = 0;
    m_GpuSync = 7;
    m_GpuSyncTimeOut = 10000;
    m_OptimizePartialDynaGeom = 0;
    m_IgnoreDriverCrashes = 1;
    m_DisableColorWriteMask = 0;

    // The z-buffer range of this vendor's class 2 adapters, and of its later ones before driver
    // 6.14.10.6693, is not to be used.
    const GpuInfo& gpu = g_GpuInfo;
    m_DisableZBufferRange = gpu.VendorId == 0x10DE &&
                            (gpu.PixelShaderClass == 2 ||
                             (gpu.PixelShaderClass >= 3 && !gpu.IsDriverAtLeast(6, 14, 10, 6693)));

    m_AgpUseFactor = 0.0f;
    m_EnableFullscreenGDI = 0;
    m_ZClip = 0;
    m_ZClipAuto = 1;
    m_ZClipNbBlock = 10;
    m_WaterGeom = 1;
    m_WaterComplex = 0;
    m_PostFxEnable = 0;
    m_ForceFxColors = 0;
    m_ForceFxMotionBlur = 0;
    m_ShowBackground = 1;

    // Fast loading is for the smaller machines.
    m_EnableFastLoad = !(g_HostInfo.PhysicalMemoryMb >= 260 && g_HostInfo.CpuMhz >= 700);

    if (m_Customize)
        ApplyPreset(m_Preset);
    else
        ApplyAutomaticSettings();
}

void CSystemConfigDisplay::SetSafeDefaults(u32 colorDepth32, SystemDisplaySize size) {
    m_FullScreen = 1;
    m_VSync = 0;
    m_Size = size;
    m_ColorDepth = colorDepth32 != 0;
    m_MaxFiltering = 1;
    m_DisableShadowBuffer = 1;
    m_EmulateCursorGDI = 1;
    m_IgnoreDriverCrashes = 1;
    m_DisableColorWriteMask = 1;
    m_DisableZBufferRange = 1;
    m_Customize = 1;
    m_ShowBackground = 1;
    m_EnableFastLoad = 1;
    m_WindowedSizeIndex = 0;
    m_RefreshRate = 0;
    m_Antialiasing = 0;
    m_TexturesQuality = 0;
    m_ShaderQuality = 0;
    m_Shadows = 0;
    m_VertexProcess = 2;
    m_GpuSync = 7;
    m_GpuSyncTimeOut = 50000;
    m_OptimizePartialDynaGeom = 0;
    m_EnableFullscreenGDI = 0;
    m_Preset = 0;
    m_ZClip = 0;
    m_WaterGeom = 0;
    m_WaterComplex = 0;
    m_PostFxEnable = 0;
    m_ForceFxColors = 0;
    m_ForceFxMotionBlur = 0;
    m_AgpUseFactor = 0.0f;
}

void CSystemConfigDisplay::SetCustomize(u32 value) {
    m_Customize = value;
    if (value == 0)
        ApplyAutomaticSettings();
}

void CSystemConfigDisplay::ApplyPreset(u32 level) {
    m_Preset = level;
    if (level >= 1 && level <= 5) {
        const PresetRow& row = kPresetRows[level - 1];
        Put(m_TexturesQuality, row.TexturesQuality);
        Put(m_ShaderQuality, row.ShaderQuality);
        Put(m_MaxFiltering, row.MaxFiltering);
        Put(m_AnisoQuality, row.AnisoQuality);
        Put(m_Shadows, row.Shadows);
        Put(m_ZClip, row.ZClip);
        Put(m_ZClipAuto, row.ZClipAuto);
        Put(m_WaterGeom, row.WaterGeom);
        Put(m_WaterComplex, row.WaterComplex);
        Put(m_PostFxEnable, row.PostFxEnable);
        Put(m_ForceFxColors, row.ForceFxColors);
        Put(m_ForceFxMotionBlur, row.ForceFxMotionBlur);
        Put(m_ShowBackground, row.ShowBackground);
    }
    if (m_PostFxEnable == 0) {
        m_ForceFxColors = 0;
        m_ForceFxMotionBlur = 0;
    }
}

void CSystemConfigDisplay::ApplyLegacyPresetIndex(u32 index) {
    if (index <= 3) {
        SetCustomize(1);
        ApplyPreset(index + 1);
    } else if (index == 4) {
        SetCustomize(1);
        ApplyPreset(0);
    } else {
        SetCustomize(0);
    }
}

void CSystemConfigDisplay::ApplyAutomaticSettings() {
    if (m_Customize)
        return;
    const GpuInfo& gpu = g_GpuInfo;
    const f32 scale = m_AutoScale == 0 ? 0.5f : m_AutoScale == 2 ? 2.0f : 1.0f;

    const SystemDisplaySize size =
        m_FullScreen
            ? m_Size
            : g_WindowedSizes[m_WindowedSizeIndex < kWindowedSizeCount ? m_WindowedSizeIndex : 0];
    // The product in 64 bits: a size read from a file cannot wrap round to a small count.
    const f32 pixelRatio = f32(u64(size.Width) * size.Height) * kPixelRatioScale;

    // Textures by the video memory, a third of it counting without compressed formats.
    u32 textureMemory = gpu.VideoMemoryMb;
    if (!gpu.HasAllDxt())
        textureMemory /= 3;
    m_TexturesQuality = textureMemory > 100  ? 3
                        : textureMemory > 50 ? 2
                        : textureMemory > 28 ? 1
                                             : 0;

    if (!g_GpuPerf.IsFound() && !ReadGpuPerfTable(u"")) {
        g_ClassicLogLine.Assign("[Sys] WARNING : GpuPerf not found => Automatic settings 'll be "
                                "based upon device capabilities.\r\n");
        ClassicLogWriteLineToFiles();
        m_ZClip = 1;
        const ClassRow& row = kClassRows[gpu.PixelShaderClass < 3 ? gpu.PixelShaderClass : 3];
        Put(m_MaxFiltering, row.MaxFiltering);
        Put(m_Shadows, row.Shadows);
        Put(m_ZClipAuto, row.ZClipAuto);
        Put(m_ShaderQuality, row.ShaderQuality);
        Put(m_AnisoQuality, row.AnisoQuality);
        Put(m_WaterGeom, row.WaterGeom);
        Put(m_ShowBackground, row.ShowBackground);
        Put(m_ZClip, row.ZClip);
        m_PostFxEnable = 0;
        m_WaterComplex = 0;
        return;
    }

    const GpuPerf& perf = g_GpuPerf;
    const f32 geom = perf.Geom * scale;

    // Clipping: only a slow adapter at the normal scale limits the depth.
    if (m_AutoScale > 0 || !(geom < 120.0f)) {
        m_ZClip = 0;
    } else {
        m_ZClip = 1;
        m_ZClipAuto = geom < 29.0f ? 0 : geom < 60.0f ? 1 : 2;
    }
    m_ShowBackground = m_ZClip == 0;
    m_WaterComplex = 0;
    m_WaterGeom = geom > 120.0f;

    // Filtering and shadows by the anisotropic scores against the pixels to fill.
    const bool shadowBuffer = m_DisableShadowBuffer == 0 && gpu.HasDepthTextures();
    const f32 high = pixelRatio * 500.0f;
    const f32 low = pixelRatio * 250.0f;
    if (perf.Aniso16 * scale > high) {
        m_MaxFiltering = 3;
        m_AnisoQuality = 3;
        m_Shadows = 3;
    } else if (perf.Aniso16 * scale > low) {
        m_MaxFiltering = 3;
        m_AnisoQuality = 2;
        m_Shadows = 3;
    } else if (perf.Aniso8 * scale > low) {
        m_MaxFiltering = 3;
        m_AnisoQuality = 2;
        m_Shadows = shadowBuffer ? 3 : 2;
    } else if (perf.Aniso4 * scale > low) {
        m_MaxFiltering = 3;
        m_AnisoQuality = 1;
        m_Shadows = 2;
    } else if (perf.Aniso2 * scale > low) {
        m_MaxFiltering = 3;
        m_AnisoQuality = 0;
        m_Shadows = 2;
    } else if (perf.Aniso1 * scale > low) {
        m_MaxFiltering = 2;
        m_Shadows = 1;
    } else {
        m_MaxFiltering = 1;
        m_Shadows = 1;
    }

    // Shaders by the arithmetic scores; post effects with the best shaders only.
    if (pixelRatio * 130.0f < perf.PArith20 * scale) {
        m_ShaderQuality = 3;
        m_PostFxEnable = 1;
    } else {
        m_ShaderQuality = pixelRatio * 150.0f < perf.PArith11 * scale ? 2
                          : pixelRatio * 250.0f < perf.Aniso1 * scale ? 1
                                                                      : 0;
        m_PostFxEnable = 0;
    }
    if (m_PostFxEnable == 0) {
        m_ForceFxColors = 0;
        m_ForceFxMotionBlur = 0;
    }
}

void CSystemConfigDisplay::OnAfterLoad() {
    const u32 forceFxColors = m_ForceFxColors;
    const u32 forceFxMotionBlur = m_ForceFxMotionBlur;
    if (m_Customize)
        ApplyPreset(m_Preset);
    else
        ApplyAutomaticSettings();
    if (m_PostFxEnable) {
        m_ForceFxColors = forceFxColors;
        m_ForceFxMotionBlur = forceFxMotionBlur;
    }
}

namespace {

void U(CClassicArchive& archive, u32& value) {
    archive.SerializeUInts(&value, 1);
}
void B(CClassicArchive& archive, u32& value) {
    archive.SerializeBools(&value, 1);
}

} // namespace

void CSystemConfigDisplay::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    // Older chunks are read only; their values and corrections replace the current ones.
    const bool reading = !archive.m_Writing;
    switch (chunkId) {
        case 0x0b013000: {
            if (!reading)
                break;
            u32 presetIndex = 0;
            U(archive, m_Size.Width);
            U(archive, m_Size.Height);
            U(archive, m_WindowedSizeIndex);
            U(archive, m_TexturesQuality);
            U(archive, m_ColorDepth);
            U(archive, m_ShaderQuality);
            U(archive, m_Antialiasing);
            U(archive, m_RefreshRate);
            B(archive, m_VSync);
            B(archive, m_FullScreen);
            U(archive, m_MaxFiltering);
            U(archive, m_Shadows);
            U(archive, presetIndex);
            B(archive, m_DisableShadowBuffer);
            U(archive, m_GpuSync);
            B(archive, m_EmulateCursorGDI);
            U(archive, m_VertexProcess);
            B(archive, m_OptimizePartialDynaGeom);
            ApplyLegacyPresetIndex(presetIndex);
            break;
        }
        case 0x0b013001:
            U(archive, m_Size.Width);
            U(archive, m_Size.Height);
            U(archive, m_WindowedSizeIndex);
            U(archive, m_ColorDepth);
            U(archive, m_Antialiasing);
            U(archive, m_RefreshRate);
            B(archive, m_VSync);
            B(archive, m_FullScreen);
            break;
        case 0x0b013002: {
            if (!reading)
                break;
            u32 quality = 0;
            U(archive, m_TexturesQuality);
            U(archive, m_ShaderQuality);
            U(archive, m_MaxFiltering);
            U(archive, m_Shadows);
            U(archive, quality);
            ApplyLegacyPresetIndex(quality == 1 ? 2 : quality == 2 ? 3 : 4);
            break;
        }
        case 0x0b013003:
            B(archive, m_DisableShadowBuffer);
            U(archive, m_GpuSync);
            B(archive, m_EmulateCursorGDI);
            U(archive, m_VertexProcess);
            B(archive, m_OptimizePartialDynaGeom);
            B(archive, m_IgnoreDriverCrashes);
            break;
        case 0x0b013004:
            B(archive, m_DisableColorWriteMask);
            break;
        case 0x0b013005:
            B(archive, m_EnableFullscreenGDI);
            break;
        case 0x0b013006:
            if (reading)
                U(archive, m_AnisoQuality);
            break;
        case 0x0b013007: {
            if (!reading)
                break;
            u32 presetIndex = 0;
            U(archive, m_TexturesQuality);
            U(archive, m_ShaderQuality);
            U(archive, m_MaxFiltering);
            U(archive, m_Shadows);
            U(archive, presetIndex);
            U(archive, m_AnisoQuality);
            ApplyLegacyPresetIndex(presetIndex);
            break;
        }
        case 0x0b013008:
            U(archive, m_ZClip);
            U(archive, m_ZClipAuto);
            U(archive, m_ZClipNbBlock);
            break;
        case 0x0b013009: {
            u32 reserved = 0;
            U(archive, m_WaterGeom);
            U(archive, reserved);
            B(archive, m_PostFxEnable);
            B(archive, m_ShowBackground);
            break;
        }
        case 0x0b01300a:
            B(archive, m_ForceFxColors);
            B(archive, m_ForceFxMotionBlur);
            break;
        case 0x0b01300b:
            B(archive, m_DisableZBufferRange);
            archive.SerializeFloats(&m_AgpUseFactor, 1);
            break;
        case 0x0b01300c:
            if (!reading)
                break;
            B(archive, m_Customize);
            U(archive, m_Preset);
            U(archive, m_TexturesQuality);
            U(archive, m_ShaderQuality);
            U(archive, m_MaxFiltering);
            U(archive, m_Shadows);
            U(archive, m_AnisoQuality);
            break;
        case 0x0b01300d:
            U(archive, m_AutoScale);
            B(archive, m_Customize);
            U(archive, m_Preset);
            U(archive, m_TexturesQuality);
            U(archive, m_ShaderQuality);
            U(archive, m_MaxFiltering);
            U(archive, m_Shadows);
            U(archive, m_AnisoQuality);
            break;
        case 0x0b01300e:
            B(archive, m_WaterComplex);
            break;
        case 0x0b01300f:
            B(archive, m_EnableFastLoad);
            break;
        default:
            Super::ArchiveChunk(archive, chunkId);
    }
}
