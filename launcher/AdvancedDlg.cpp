#include "launcher/AdvancedDlg.h"

#include "launcher/ConfigDlg.h"
#include "launcher/LauncherApp.h"
#include "system/config/SystemConfig.h"

#include <array>

namespace {

using ui::ControlKind;

constexpr std::array<ui::ControlTemplate, 4> kAdvancedDlgControls = {{
    {ui::IDOK, ControlKind::Button, 75, 212, 50, 14, "Ok"},
    {ui::IDCANCEL, ControlKind::Button, 301, 212, 50, 14, "Cancel"},
    {kAdvancedDlgTabId, ControlKind::Tab, 7, 13, 344, 197},
    {kAdvancedDlgResetId, ControlKind::Button, 242, 5, 109, 14, "Reset to defaults"},
}};

constexpr ui::DialogTemplate kAdvancedDlgTemplate = {kAdvancedDlgTemplateId,
                                                     358,
                                                     233,
                                                     ui::StylePopup | ui::StyleCaption |
                                                         ui::StyleSystemMenu,
                                                     "Advanced settings",
                                                     kAdvancedDlgControls};

// The tab labels, by tab index.
constexpr std::array<const char16_t*, kAdvancedTabCount> kTabLabels = {
    u"|AdvancedTab|Display", u"|AdvancedTab|Audio", u"|AdvancedTab|Network", u"|AdvancedTab|Game",
    u"|AdvancedTab|Inputs"};

} // namespace

void RegisterAdvancedDlgResources() {
    ui::RegisterTemplate(kAdvancedDlgTemplate);
    RegisterDisplayTabResources();
    RegisterAudioTabResources();
    RegisterNetworkTabResources();
    RegisterGameTabResources();
    RegisterInputsTabResources();
}

bool IsCustomDisplayQuality(const CSystemConfig& config) {
    return config.m_IsSafeMode == 0 && config.m_Display && config.m_Display->m_Customize != 0 &&
           config.m_Display->m_Preset == 0;
}

void ReloadConfigDlg(CSystemConfig& config) {
    if (CConfigDlg* dialog = theApp.m_ConfigDlg; dialog && dialog->IsOpen())
        dialog->LoadFromConfig(config);
}

void SelectListValue(ui::Control& list, u32 value) {
    list.SetCurSel(value < u32(list.GetCount()) ? i32(value) : -1);
}

void SaveListValue(const ui::Control& list, u32& value) {
    if (const i32 selection = list.GetCurSel(); selection >= 0)
        value = u32(selection);
}

void AdvancedPageEnter(ui::Dialog& page) {
    if (auto* dialog = dynamic_cast<CAdvancedDlg*>(page.Parent()))
        dialog->OnOK();
}

ui::Dialog* CAdvancedDlg::Page(i32 index) {
    ui::Dialog* page = nullptr;
    switch (index) {
        case kAdvancedTabDisplay:
            page = &m_DisplayTab;
            break;
        case kAdvancedTabAudio:
            page = &m_AudioTab;
            break;
        case kAdvancedTabNetwork:
            page = &m_NetworkTab;
            break;
        case kAdvancedTabGame:
            page = m_GameTab.get();
            break;
        case kAdvancedTabInputs:
            page = &m_InputsTab;
            break;
        default:
            break;
    }
    return page && page->IsOpen() ? page : nullptr;
}

bool CAdvancedDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    CreateChild(m_DisplayTab, kDisplayTabTemplateId, kAdvancedDlgTabId);
    CreateChild(m_NetworkTab, kNetworkTabTemplateId, kAdvancedDlgTabId);
    CreateChild(m_AudioTab, kAudioTabTemplateId, kAdvancedDlgTabId);
    CreateChild(m_InputsTab, kInputsTabTemplateId, kAdvancedDlgTabId);
    ui::Control& tabs = Item(kAdvancedDlgTabId);
    for (i32 tab = kAdvancedTabDisplay; tab <= kAdvancedTabGame; ++tab)
        tabs.InsertItem(tab, LauncherTranslate(kTabLabels[size_t(tab)]));
    m_GameTab = std::make_unique<CGameTabDlg>();
    CreateChild(*m_GameTab, kGameTabTemplateId, kAdvancedDlgTabId);
    tabs.InsertItem(kAdvancedTabInputs, LauncherTranslate(kTabLabels[kAdvancedTabInputs]));

    ShowPage(kAdvancedTabDisplay);
    if (CSystemConfig* config = theApp.m_Config)
        LoadPages(*config);
    UpdateTexts();
    UpdatePagesData(false);
    return true;
}

void CAdvancedDlg::ShowPage(i32 index) {
    for (i32 tab = 0; tab < kAdvancedTabCount; ++tab) {
        if (ui::Dialog* page = Page(tab))
            page->Show(false);
    }
    ui::Dialog* page = Page(index);
    if (!page)
        return;
    // Below the row of tabs, filling the rest of the control.
    const ui::Control& tabs = Item(kAdvancedDlgTabId);
    const ui::Rect client = tabs.ClientRect();
    const ui::Rect first = tabs.GetItemRect(0);
    page->SetWindowPos(first.Left, first.Bottom + 1, client.Right - first.Left - 1,
                       client.Bottom - first.Bottom - 2, ui::SWP_SHOWWINDOW);
}

void CAdvancedDlg::OnTabChanged() {
    ShowPage(Item(kAdvancedDlgTabId).GetCurSel());
}

void CAdvancedDlg::LoadPages(CSystemConfig& config) {
    m_DisplayTab.LoadFromConfig(config);
    m_AudioTab.LoadFromConfig(config);
    m_InputsTab.LoadFromConfig(config);
    m_NetworkTab.LoadFromConfig(config);
    if (CAdvancedTabDlg* game = m_GameTab.get())
        game->LoadFromConfig(config);
    UpdateData(false);
}

void CAdvancedDlg::SavePages(CSystemConfig& config) {
    UpdateData(true);
    m_DisplayTab.SaveToConfig(config);
    m_AudioTab.SaveToConfig(config);
    m_InputsTab.SaveToConfig(config);
    m_NetworkTab.SaveToConfig(config);
    if (CAdvancedTabDlg* game = m_GameTab.get())
        game->SaveToConfig(config);
}

bool CAdvancedDlg::UpdatePagesData(bool save, i32* refusedTab) {
    for (const i32 tab : {kAdvancedTabDisplay, kAdvancedTabNetwork, kAdvancedTabAudio,
                          kAdvancedTabInputs, kAdvancedTabGame}) {
        ui::Dialog* page = Page(tab);
        if (page && !page->UpdateData(save) && save) {
            if (refusedTab)
                *refusedTab = tab;
            return false;
        }
    }
    if (!UpdateData(save) && save) {
        if (refusedTab)
            *refusedTab = -1;
        return false;
    }
    return true;
}

void CAdvancedDlg::UpdateTexts() {
    SetWindowText(LauncherTranslate(u"Advanced settings"));
    Item(kAdvancedDlgResetId).SetText(LauncherTranslate(u"Reset to defaults"));
    Item(ui::IDOK).SetText(LauncherTranslate(u"Ok"));
    Item(ui::IDCANCEL).SetText(LauncherTranslate(u"Cancel"));
    UpdateData(false);
    m_DisplayTab.UpdateTexts();
    m_NetworkTab.UpdateTexts();
    m_AudioTab.UpdateTexts();
    m_InputsTab.UpdateTexts();
    if (CAdvancedTabDlg* game = m_GameTab.get())
        game->UpdateTexts();
}

void CAdvancedDlg::OnOK() {
    i32 refused = -1;
    if (!UpdatePagesData(true, &refused)) {
        // Nothing saved; the player sees the field, which the refusal left focused.
        if (refused >= 0) {
            Item(kAdvancedDlgTabId).SetCurSel(refused);
            ShowPage(refused);
        }
        return;
    }
    if (CSystemConfig* config = theApp.m_Config) {
        SavePages(*config);
        ReloadConfigDlg(*config);
    }
    EndDialog(ui::IDOK);
}

void CAdvancedDlg::OnResetToDefaults() {
    CSystemConfig* config = theApp.m_Config;
    if (!config)
        return;
    theApp.ResetConfigToDefaults(kAdvancedDlgResetKind);
    LoadPages(*config);
    ReloadConfigDlg(*config);
    UpdatePagesData(false);
}

void CAdvancedDlg::OnCommand(u32 id, i32 code) {
    if (id == kAdvancedDlgResetId && code == ui::BN_CLICKED) {
        OnResetToDefaults();
        return;
    }
    ui::Dialog::OnCommand(id, code);
}

void CAdvancedDlg::OnNotify(u32 id, i32 code) {
    if (id == kAdvancedDlgTabId && code == ui::TCN_SELCHANGE)
        OnTabChanged();
}
