#pragma once
// The Game page of the advanced settings dialog: player skins, the rolling demo, the cars'
// quality, smoke and projectors, the opponents, their shadows and an optional limit of their
// number. Smoke, projectors and shadows can be chosen only with a customised display quality
// without preset (IsCustomDisplayQuality), which the page looks at once, when it opens.
#include "launcher/AdvancedTabDlg.h"

#include <string>

// Template and control ids.
inline constexpr u32 kGameTabTemplateId = 141;
inline constexpr u32 kGameTabSkipDemoId = 1031;
inline constexpr u32 kGameTabIgnoreSkinsId = 1052;
inline constexpr u32 kGameTabShadowsId = 1054;
inline constexpr u32 kGameTabCarQualityId = 1058;
inline constexpr u32 kGameTabSmokeId = 1059;
inline constexpr u32 kGameTabOpponentsId = 1060;
inline constexpr u32 kGameTabProjectorsId = 1062;
inline constexpr u32 kGameTabLimitId = 1065;
inline constexpr u32 kGameTabMaxOpponentsId = 1112;
inline constexpr u32 kGameTabSkipDemoLabelId = 1041;
inline constexpr u32 kGameTabIgnoreSkinsLabelId = 1053;
inline constexpr u32 kGameTabCarQualityLabelId = 1055;
inline constexpr u32 kGameTabSmokeLabelId = 1056;
inline constexpr u32 kGameTabOpponentsLabelId = 1057;
inline constexpr u32 kGameTabProjectorsLabelId = 1061;
inline constexpr u32 kGameTabShadowsLabelId = 1063;
inline constexpr u32 kGameTabMaxOpponentsLabelId = 1064;
inline constexpr u32 kGameTabLimitLabelId = 1066;

// The page's reset kind (CLauncherApp::ResetConfigToDefaults).
inline constexpr i32 kGameTabResetKind = 3;

void RegisterGameTabResources();

class CGameTabDlg final : public CAdvancedTabDlg {
public:
    CGameTabDlg() : CAdvancedTabDlg(kGameTabTemplateId) {}

    void LoadFromConfig(CSystemConfig& config) override;
    // The number is stored only while the limit is checked (-1, no limit, otherwise); a list
    // without a selection leaves its member as it was.
    bool SaveToConfig(CSystemConfig& config) override;
    void UpdateTexts() override;

protected:
    bool OnInitDialog() override;
    void OnOK() override { AdvancedPageEnter(*this); }
    void OnCancel() override {}
    void OnCommand(u32 id, i32 code) override;
    void DoDataExchange(ui::DataExchange& dx) override;

private:
    void OnReset();
    void OnLimitClicked();
    // The count's label: shown while the limit is checked.
    std::string MaxOpponentsLabel() const;

    i32 m_IgnorePlayerSkins = 0;
    i32 m_SkipRollingDemo = 0;
    i32 m_OpponentShadows = 0;
    i32 m_LimitOpponents = 0;
    i32 m_MaxOpponents = 0;
    std::string m_MaxOpponentsLabel;
};
