#include "launcher/DisplayTabDlg.h"

#include "launcher/AdvancedDlg.h"
#include "launcher/LauncherApp.h"

#include <array>

namespace {

using ui::ControlKind;

constexpr std::array<ui::ControlTemplate, 1> kDisplayTabControls = {{
    {kAdvancedPageResetId, ControlKind::Button, 238, 165, 98, 13, "Reset to default"},
}};

constexpr ui::DialogTemplate kDisplayTabTemplate = {
    kDisplayTabTemplateId, 343, 190, ui::StyleChild, "", kDisplayTabControls};

} // namespace

void RegisterDisplayTabResources() {
    ui::RegisterTemplate(kDisplayTabTemplate);
}

void CDisplayTabDlg::OnCommand(u32 id, i32 code) {
    if (id == kAdvancedPageResetId && code == ui::BN_CLICKED) {
        OnReset();
        return;
    }
    ui::Dialog::OnCommand(id, code);
}

// The page has no control showing a member yet: loading and saving exchange its (empty) data.
void CDisplayTabDlg::LoadFromConfig(CSystemConfig&) {
    UpdateData(false);
}

bool CDisplayTabDlg::SaveToConfig(CSystemConfig&) {
    return UpdateData(true);
}

void CDisplayTabDlg::UpdateTexts() {
    Item(kAdvancedPageResetId).SetText(LauncherTranslate(u"Reset to defaults"));
    UpdateData(false);
}

void CDisplayTabDlg::OnReset() {
    CSystemConfig* config = theApp.m_Config;
    if (!config)
        return;
    SaveToConfig(*config);
    theApp.ResetConfigToDefaults(kDisplayTabResetKind);
    LoadFromConfig(*config);
    ReloadConfigDlg(*config);
}
