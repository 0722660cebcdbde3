#pragma once
// The advanced settings dialog behind the configuration dialog's Advanced button: five pages in a
// tab control, Display, Audio, Network, Game and Inputs. Each page loads its controls from the
// configuration when the dialog opens and writes them back when OK is pressed; each resets its
// own group of settings with its Reset button, and the dialog's "Reset to defaults" resets the
// whole configuration. Cancel saves nothing, but what a reset did stays.
//
// Adding a page: a dialog class with its child template (with its Reset button
// kAdvancedPageResetId), LoadFromConfig, SaveToConfig and UpdateTexts (AdvancedTabDlg.h), Enter
// and Escape as AdvancedTabDlg.h says, registered by RegisterAdvancedDlgResources; then the
// dialog creates it in OnInitDialog and calls it in Page, LoadPages, SavePages, UpdatePagesData
// and UpdateTexts, in the orders given there.
#include "launcher/AudioTabDlg.h"
#include "launcher/DisplayTabDlg.h"
#include "launcher/GameTabDlg.h"
#include "launcher/InputsTabDlg.h"
#include "launcher/NetworkTabDlg.h"
#include "platform/ui/Dialog.h"

#include <memory>

// Template and control ids.
inline constexpr u32 kAdvancedDlgTemplateId = 135;
inline constexpr u32 kAdvancedDlgResetId = 5;
inline constexpr u32 kAdvancedDlgTabId = 1011;

// The tabs, in their order; each is also its page's reset kind.
inline constexpr i32 kAdvancedTabDisplay = 0;
inline constexpr i32 kAdvancedTabAudio = 1;
inline constexpr i32 kAdvancedTabNetwork = 2;
inline constexpr i32 kAdvancedTabGame = 3;
inline constexpr i32 kAdvancedTabInputs = 4;
inline constexpr i32 kAdvancedTabCount = 5;

// The dialog's reset kind: the whole configuration.
inline constexpr i32 kAdvancedDlgResetKind = -1;

// Registers the dialog's template and its pages'.
void RegisterAdvancedDlgResources();

// Whether the Game page lets the player choose smoke, projectors and opponent shadows: not in
// safe mode, and the normal display part customised without a preset.
bool IsCustomDisplayQuality(const CSystemConfig& config);

// The configuration dialog that opened the advanced dialog shows the configuration again; nothing
// when none is open (the advanced dialog opened alone).
void ReloadConfigDlg(CSystemConfig& config);

class CAdvancedDlg : public ui::Dialog {
public:
    CAdvancedDlg() : ui::Dialog(kAdvancedDlgTemplateId) {}

    // Shows the page of a tab index at its place in the tab control, the others hidden; any
    // other index shows nothing.
    void ShowPage(i32 index);
    // The pages' load: Display, Audio, Inputs, Network, then Game (once it exists); then data to
    // the dialog's controls. The Display page's preview calls it with a scratch copy.
    void LoadPages(CSystemConfig& config);
    // Data from the dialog's controls, then the pages' save: Display, Audio, Inputs, Network and
    // Game.
    void SavePages(CSystemConfig& config);
    // UpdateData on the Display, Network, Audio, Inputs and Game pages, then on the dialog. Saving
    // stops at the first refusal: false, with the tab of the page that refused in refusedTab (-1
    // for the dialog itself).
    bool UpdatePagesData(bool save, i32* refusedTab = nullptr);
    // The dialog's texts, then the pages': Display, Network, Audio, Inputs and Game.
    void UpdateTexts();

    // The open page of a tab index; null for another index, and for the Game page before the
    // dialog made it.
    ui::Dialog* Page(i32 index);

protected:
    bool OnInitDialog() override;
    // Saves nothing and shows the page holding a refused value, which keeps the dialog open.
    void OnOK() override;
    void OnCommand(u32 id, i32 code) override;
    void OnNotify(u32 id, i32 code) override;

private:
    friend void AdvancedPageEnter(ui::Dialog& page);

    void OnResetToDefaults();
    void OnTabChanged();

    CDisplayTabDlg m_DisplayTab;
    CNetworkTabDlg m_NetworkTab;
    CAudioTabDlg m_AudioTab;
    std::unique_ptr<CGameTabDlg> m_GameTab;
    CInputsTabDlg m_InputsTab;
};
