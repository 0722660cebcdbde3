#pragma once
// The Inputs page of the advanced settings dialog: the dead zone and the sensitivity on sliders
// of 0 to 100, the alternate method and the freezing of unused axes.
#include "launcher/AdvancedTabDlg.h"

// Template and control ids.
inline constexpr u32 kInputsTabTemplateId = 142;
inline constexpr u32 kInputsTabDeadZoneId = 1061;
inline constexpr u32 kInputsTabSensitivityId = 1062;
inline constexpr u32 kInputsTabAlternateId = 1068;
inline constexpr u32 kInputsTabFreezeId = 1069;
inline constexpr u32 kInputsTabDeadZoneLabelId = 1083;
inline constexpr u32 kInputsTabSensitivityLabelId = 1084;
inline constexpr u32 kInputsTabAlternateLabelId = 1085;
inline constexpr u32 kInputsTabFreezeLabelId = 1086;

// The page's reset kind (CLauncherApp::ResetConfigToDefaults).
inline constexpr i32 kInputsTabResetKind = 4;
// The sliders' tick frequency.
inline constexpr i32 kInputsTabTickFrequency = 10;

void RegisterInputsTabResources();

// The sliders' mappings, in 32-bit float arithmetic. A position is computed from a value clamped
// in float first (NaN gives 0, anything above the range 100), and it is truncated after adding
// 0.001 to the product, so that every position saved shows again as itself (the plain
// truncation would lower some by one step on every save).
//
// Dead zone: position = value x 100; value = position x 0.01 (0 to 1).
i32 DeadZoneToPosition(f32 value);
f32 PositionToDeadZone(i32 position);
// Sensitivity: position = (value - 1.0) x 33.333332; value = position x 0.03 + 1.0 (1 to 4).
i32 SensitivityToPosition(f32 value);
f32 PositionToSensitivity(i32 position);

class CInputsTabDlg : public ui::Dialog {
public:
    CInputsTabDlg() : ui::Dialog(kInputsTabTemplateId) {}

    void LoadFromConfig(CSystemConfig& config);
    bool SaveToConfig(CSystemConfig& config);
    void UpdateTexts();

protected:
    bool OnInitDialog() override;
    void OnOK() override { AdvancedPageEnter(*this); }
    void OnCancel() override {}
    void OnCommand(u32 id, i32 code) override;
    void DoDataExchange(ui::DataExchange& dx) override;

private:
    void OnReset();

    i32 m_DeadZonePosition = 0;
    i32 m_SensitivityPosition = 0;
    i32 m_AlternateMethod = 0;
    i32 m_FreezeUnusedAxes = 0;
};
