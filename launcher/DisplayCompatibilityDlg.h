#pragma once
// The display compatibility dialog behind the Display page's Compatibility button: the driver
// workarounds of the display part (colour depth, refresh rate, vertical sync, CPU/GPU
// synchronisation, vertex processing, the share of AGP memory and eight switches). In safe mode
// it shows the safe part and changes nothing: only the AGP slider and the buttons are enabled,
// and OK stores nothing. Otherwise OK stores straight into the normal part; Cancel changes
// nothing.
#include "platform/Types.h"
#include "platform/ui/Dialog.h"

class CSystemConfig;

// Template and control ids.
inline constexpr u32 kDisplayCompatibilityDlgTemplateId = 149;
inline constexpr u32 kCompatibilityRefreshRateId = 1003;
inline constexpr u32 kCompatibilityColorDepthId = 1005;
inline constexpr u32 kCompatibilityGpuSyncId = 1010;
inline constexpr u32 kCompatibilityVertexProcessId = 1011;
inline constexpr u32 kCompatibilityShadowBufferId = 1013;
inline constexpr u32 kCompatibilityCursorId = 1014;
inline constexpr u32 kCompatibilityDynaGeomId = 1015;
inline constexpr u32 kCompatibilityDriverCrashesId = 1016;
inline constexpr u32 kCompatibilityPercentId = 1057;
inline constexpr u32 kCompatibilityVSyncId = 1064;
inline constexpr u32 kCompatibilityColorWriteMaskId = 1065;
inline constexpr u32 kCompatibilityFullscreenGdiId = 1066;
inline constexpr u32 kCompatibilityZBufferRangeId = 1067;
inline constexpr u32 kCompatibilityAgpId = 1099;
inline constexpr u32 kCompatibilityRefreshRateLabelId = 1041;
inline constexpr u32 kCompatibilityColorDepthLabelId = 1042;
inline constexpr u32 kCompatibilityGpuSyncLabelId = 1046;
inline constexpr u32 kCompatibilityVertexProcessLabelId = 1047;
inline constexpr u32 kCompatibilityVSyncLabelId = 1048;
inline constexpr u32 kCompatibilityShadowBufferLabelId = 1049;
inline constexpr u32 kCompatibilityCursorLabelId = 1050;
inline constexpr u32 kCompatibilityDynaGeomLabelId = 1051;
inline constexpr u32 kCompatibilityDriverCrashesLabelId = 1052;
inline constexpr u32 kCompatibilityColorWriteMaskLabelId = 1053;
inline constexpr u32 kCompatibilityFullscreenGdiLabelId = 1054;
inline constexpr u32 kCompatibilityZBufferRangeLabelId = 1055;
inline constexpr u32 kCompatibilityAgpLabelId = 1056;

void RegisterDisplayCompatibilityDlgResources();

// The AGP slider: position = factor x 100 and factor = position x 0.01 in 32-bit float, limited
// to 0.0 to 1.0. As the volumes' sliders (VolumeToPosition), the factor is clamped in float
// before it becomes a position (NaN gives 0) and every position saved shows again as itself.
i32 AgpUseFactorToPosition(f32 factor);
f32 PositionToAgpUseFactor(i32 position);

class CDisplayCompatibilityDlg : public ui::Dialog {
public:
    CDisplayCompatibilityDlg() : ui::Dialog(kDisplayCompatibilityDlgTemplateId) {}

    // From the active display part.
    void LoadFromConfig(CSystemConfig& config);
    // Into the normal display part; nothing in safe mode. A list without a selection leaves its
    // member as it was; the refresh rate is the number the edit's text begins with.
    void SaveToConfig(CSystemConfig& config);
    void UpdateTexts();

protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnNotify(u32 id, i32 code) override;

private:
    // The slider's position as a percentage beside it.
    void ShowPercent();
};
