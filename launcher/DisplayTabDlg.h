#pragma once
// The Display page of the advanced settings dialog (tab 0): the graphics quality of the active
// display part. For now the page holds its Reset button only, under the page protocol.
#include "launcher/AdvancedTabDlg.h"

// Template id.
inline constexpr u32 kDisplayTabTemplateId = 132;

// The page's reset kind (CLauncherApp::ResetConfigToDefaults).
inline constexpr i32 kDisplayTabResetKind = 0;

void RegisterDisplayTabResources();

class CDisplayTabDlg : public ui::Dialog {
public:
    CDisplayTabDlg() : ui::Dialog(kDisplayTabTemplateId) {}

    void LoadFromConfig(CSystemConfig& config);
    bool SaveToConfig(CSystemConfig& config);
    void UpdateTexts();

protected:
    void OnOK() override { AdvancedPageEnter(*this); }
    void OnCancel() override {}
    void OnCommand(u32 id, i32 code) override;

private:
    // Also reloads the configuration dialog behind, which shows display values too.
    void OnReset();
};
