#pragma once
// The Network page of the advanced settings dialog (tab 2): ports, addresses, the proxy and the
// peer-to-peer transfer. For now the page holds its Reset button only, under the page protocol.
#include "launcher/AdvancedTabDlg.h"

// Template id.
inline constexpr u32 kNetworkTabTemplateId = 133;

// The page's reset kind (CLauncherApp::ResetConfigToDefaults).
inline constexpr i32 kNetworkTabResetKind = 2;

void RegisterNetworkTabResources();

class CNetworkTabDlg : public ui::Dialog {
public:
    CNetworkTabDlg() : ui::Dialog(kNetworkTabTemplateId) {}

    void LoadFromConfig(CSystemConfig& config);
    bool SaveToConfig(CSystemConfig& config);
    void UpdateTexts();

protected:
    void OnOK() override { AdvancedPageEnter(*this); }
    void OnCancel() override {}
    void OnCommand(u32 id, i32 code) override;

private:
    void OnReset();
};
