#include "launcher/InputsTabDlg.h"

#include "launcher/LauncherApp.h"
#include "system/config/SystemConfig.h"

#include <array>

namespace {

using ui::ControlKind;

// The labels have no place of their own in the page: they stand left of their controls.
constexpr std::array<ui::ControlTemplate, 9> kInputsTabControls = {{
    {kInputsTabDeadZoneId, ControlKind::Slider, 100, 20, 98, 9},
    {kInputsTabSensitivityId, ControlKind::Slider, 100, 34, 98, 9},
    {kInputsTabAlternateId, ControlKind::Check, 100, 49, 16, 8},
    {kInputsTabFreezeId, ControlKind::Check, 100, 63, 16, 8},
    {kAdvancedPageResetId, ControlKind::Button, 101, 130, 91, 13, "Reset to default"},
    {kInputsTabDeadZoneLabelId, ControlKind::Label, 7, 20, 90, 10, "Dead zone"},
    {kInputsTabSensitivityLabelId, ControlKind::Label, 7, 34, 90, 10, "Sensitivity"},
    {kInputsTabAlternateLabelId, ControlKind::Label, 7, 49, 90, 10, "Alternate method"},
    {kInputsTabFreezeLabelId, ControlKind::Label, 7, 63, 90, 10, "Freeze unused axis"},
}};

constexpr ui::DialogTemplate kInputsTabTemplate = {kInputsTabTemplateId, 211, 150,
                                                   ui::StyleChild,       "",  kInputsTabControls};

constexpr i32 kSliderMax = 100;

// A product of 32-bit floats as a slider position.
i32 ProductToPosition(f32 product) {
    if (!(product > 0.0f))
        return 0;
    if (product >= f32(kSliderMax))
        return kSliderMax;
    return i32(product + 0.001f);
}

} // namespace

void RegisterInputsTabResources() {
    ui::RegisterTemplate(kInputsTabTemplate);
}

i32 DeadZoneToPosition(f32 value) {
    return ProductToPosition(value * 100.0f);
}

f32 PositionToDeadZone(i32 position) {
    return f32(position) * 0.01f;
}

i32 SensitivityToPosition(f32 value) {
    return ProductToPosition((value - 1.0f) * 33.333332f);
}

f32 PositionToSensitivity(i32 position) {
    return f32(position) * 0.03f + 1.0f;
}

bool CInputsTabDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    Item(kInputsTabDeadZoneId).SetRange(0, kSliderMax);
    Item(kInputsTabSensitivityId).SetRange(0, kSliderMax);
    return true;
}

void CInputsTabDlg::DoDataExchange(ui::DataExchange& dx) {
    dx.SliderPos(kInputsTabDeadZoneId, m_DeadZonePosition);
    dx.SliderPos(kInputsTabSensitivityId, m_SensitivityPosition);
    dx.Check(kInputsTabAlternateId, m_AlternateMethod);
    dx.Check(kInputsTabFreezeId, m_FreezeUnusedAxes);
}

void CInputsTabDlg::OnCommand(u32 id, i32 code) {
    if (id == kAdvancedPageResetId && code == ui::BN_CLICKED) {
        OnReset();
        return;
    }
    ui::Dialog::OnCommand(id, code);
}

void CInputsTabDlg::LoadFromConfig(CSystemConfig& config) {
    Item(kInputsTabDeadZoneId).SetTicFreq(kInputsTabTickFrequency);
    Item(kInputsTabSensitivityId).SetTicFreq(kInputsTabTickFrequency);
    m_DeadZonePosition = DeadZoneToPosition(config.m_InputsDeadZone);
    m_SensitivityPosition = SensitivityToPosition(config.m_InputsSensitivity);
    m_AlternateMethod = config.m_InputsAlternateMethod != 0 ? 1 : 0;
    m_FreezeUnusedAxes = config.m_InputsFreezeUnusedAxes != 0 ? 1 : 0;
    UpdateData(false);
}

bool CInputsTabDlg::SaveToConfig(CSystemConfig& config) {
    if (!UpdateData(true))
        return false;
    config.m_InputsDeadZone = PositionToDeadZone(m_DeadZonePosition);
    config.m_InputsSensitivity = PositionToSensitivity(m_SensitivityPosition);
    config.m_InputsAlternateMethod = m_AlternateMethod != 0 ? 1 : 0;
    config.m_InputsFreezeUnusedAxes = m_FreezeUnusedAxes != 0 ? 1 : 0;
    return true;
}

void CInputsTabDlg::UpdateTexts() {
    Item(kInputsTabDeadZoneLabelId).SetText(LauncherTranslate(u"Dead zone"));
    Item(kInputsTabSensitivityLabelId).SetText(LauncherTranslate(u"Sensitivity"));
    Item(kInputsTabAlternateLabelId).SetText(LauncherTranslate(u"Alternate method"));
    Item(kInputsTabFreezeLabelId).SetText(LauncherTranslate(u"Freeze unused axis"));
    Item(kAdvancedPageResetId).SetText(LauncherTranslate(u"Reset to defaults"));
    UpdateData(false);
}

void CInputsTabDlg::OnReset() {
    CSystemConfig* config = theApp.m_Config;
    if (!config)
        return;
    SaveToConfig(*config);
    theApp.ResetConfigToDefaults(kInputsTabResetKind);
    LoadFromConfig(*config);
}
