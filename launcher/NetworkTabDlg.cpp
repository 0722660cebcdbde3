#include "launcher/NetworkTabDlg.h"

#include "launcher/LauncherApp.h"

#include <array>

namespace {

using ui::ControlKind;

constexpr std::array<ui::ControlTemplate, 1> kNetworkTabControls = {{
    {kAdvancedPageResetId, ControlKind::Button, 238, 165, 97, 15, "Reset to default"},
}};

constexpr ui::DialogTemplate kNetworkTabTemplate = {
    kNetworkTabTemplateId, 343, 189, ui::StyleChild, "", kNetworkTabControls};

} // namespace

void RegisterNetworkTabResources() {
    ui::RegisterTemplate(kNetworkTabTemplate);
}

void CNetworkTabDlg::OnCommand(u32 id, i32 code) {
    if (id == kAdvancedPageResetId && code == ui::BN_CLICKED) {
        OnReset();
        return;
    }
    ui::Dialog::OnCommand(id, code);
}

// The page has no control showing a member yet: loading and saving exchange its (empty) data.
void CNetworkTabDlg::LoadFromConfig(CSystemConfig&) {
    UpdateData(false);
}

bool CNetworkTabDlg::SaveToConfig(CSystemConfig&) {
    return UpdateData(true);
}

void CNetworkTabDlg::UpdateTexts() {
    Item(kAdvancedPageResetId).SetText(LauncherTranslate(u"Reset to defaults"));
    UpdateData(false);
}

void CNetworkTabDlg::OnReset() {
    CSystemConfig* config = theApp.m_Config;
    if (!config)
        return;
    SaveToConfig(*config);
    theApp.ResetConfigToDefaults(kNetworkTabResetKind);
    LoadFromConfig(*config);
}
