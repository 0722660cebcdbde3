#pragma once
// The display part of the game configuration: the mode (resolution, colour depth, refresh rate,
// full screen), the graphics quality (textures, shaders, filtering, shadows, water, clipping,
// post effects) and the driver workarounds. A configuration owns two: the normal part and the
// safe-mode part.
//
// The quality members come from one of three sources: a quality preset (levels 1 to 5), the
// automatic settings computed from the adapter's description (g_GpuInfo) and its GPU performance
// record (g_GpuPerf), or the player's own values when the part is customized with preset 0. They
// are recomputed whenever the part is loaded, so only a customized part with preset 0 keeps its
// stored quality members.
#include "core/nod/MwNod.h"
#include "platform/Types.h"

// A display size in pixels.
struct SystemDisplaySize {
    u32 Width;
    u32 Height;
};

// The sizes offered for windowed mode; a display part's windowed-size index selects one.
inline constexpr u32 kWindowedSizeCount = 4;
inline constexpr SystemDisplaySize g_WindowedSizes[kWindowedSizeCount] = {
    {640, 480}, {800, 600}, {1024, 768}, {1280, 960}};

// The preset levels: 0 (none) to 5 (VeryHigh), and the least pixel-shader class (GpuInfo) each
// needs. The launcher offers a level, and benches it, only on an adapter of that class or more.
inline constexpr u32 kDisplayPresetCount = 6;
inline constexpr u16 g_PresetMinPixelShaderClass[kDisplayPresetCount] = {0, 0, 1, 2, 3, 3};

class CSystemConfigDisplay : public CMwNod {
    MW_DECLARE_CLASS(CSystemConfigDisplay, CMwNod, 0x0b013000)
public:
    CSystemConfigDisplay() = default;
    // Copies every field; the nod part starts as a new nod's.
    CSystemConfigDisplay(const CSystemConfigDisplay&) = default;
    CSystemConfigDisplay& operator=(const CSystemConfigDisplay&) = default;

    // The normal defaults: mode, workarounds (the z-range one by the adapter), fast load by the
    // host's memory and clock, then the preset (customized) or the automatic settings. The
    // automatic scale, Customize and the preset keep their values.
    void SetDefaults();
    // The safe-mode values, with the colour depth 32 bits for a non-zero flag, else 16 bits.
    // The automatic scale, the anisotropy and the clipping depth keep their values.
    void SetSafeDefaults(u32 colorDepth32, SystemDisplaySize size);
    // Customize := value; a value of 0 runs the automatic settings.
    void SetCustomize(u32 value);
    // m_Preset := level and, for levels 1 to 5, the quality members of that level. For every
    // level, the two forced post effects are cleared when post effects are off.
    void ApplyPreset(u32 level);
    // The preset choice of old files: 0 to 3 the presets 1 to 4 (customized), 4 customized with
    // preset 0, any other index the automatic settings.
    void ApplyLegacyPresetIndex(u32 index);
    // The quality members from the adapter and its scores, scaled by the automatic scale; nothing
    // when the part is customized.
    void ApplyAutomaticSettings();

    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;
    // Recomputes the quality members (preset or automatic settings); the two forced post effects
    // keep the values read when post effects are on.
    void OnAfterLoad() override;

    u32 m_EnableFastLoad = 0;
    SystemDisplaySize m_Size = {0, 0}; // full-screen resolution
    u32 m_WindowedSizeIndex = 0;
    u32 m_ColorDepth = 0; // 0 16 bits, 1 32 bits
    u32 m_Antialiasing = 0;
    u32 m_RefreshRate = 0;
    u32 m_VSync = 0;
    u32 m_FullScreen = 0;
    u32 m_AutoScale = 1; // 0 Faster, 1 Normal, 2 Nicer
    u32 m_Customize = 0;
    u32 m_Preset = 0;
    u32 m_TexturesQuality = 0;
    u32 m_ShaderQuality = 0;
    u32 m_MaxFiltering = 0; // 0 Point, 1 Bilinear, 2 Trilinear, 3 Anisotropic
    u32 m_AnisoQuality = 1; // 0 2x, 1 4x, 2 8x, 3 16x
    u32 m_Shadows = 0;
    u32 m_WaterGeom = 0;
    u32 m_WaterComplex = 0;
    u32 m_PostFxEnable = 0;
    u32 m_ForceFxColors = 0;
    u32 m_ForceFxMotionBlur = 0;
    u32 m_ShowBackground = 0;
    u32 m_ZClip = 0;     // 0 Disable, 1 Auto, 2 Fixed
    u32 m_ZClipAuto = 1; // 0 Near, 1 Medium, 2 Far
    u32 m_ZClipNbBlock = 10;
    u32 m_VertexProcess = 0; // 0 Hardware, 1 SoftwareVertexShader, 2 Software
    u32 m_GpuSync = 0;
    u32 m_GpuSyncTimeOut = 10000;
    f32 m_AgpUseFactor = 0.0f;
    u32 m_DisableShadowBuffer = 0;
    u32 m_EmulateCursorGDI = 0;
    u32 m_OptimizePartialDynaGeom = 0;
    u32 m_IgnoreDriverCrashes = 1;
    u32 m_DisableColorWriteMask = 0;
    u32 m_DisableZBufferRange = 0;
    u32 m_EnableFullscreenGDI = 0;
};
