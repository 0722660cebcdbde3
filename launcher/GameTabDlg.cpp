#include "launcher/GameTabDlg.h"

#include "launcher/AdvancedDlg.h"
#include "launcher/ConfigDlg.h"
#include "launcher/LauncherApp.h"
#include "system/config/SystemConfig.h"

#include <array>

namespace {

using ui::ControlKind;

// The labels have no place of their own in the page: they stand left of their controls.
constexpr std::array<ui::ControlTemplate, 19> kGameTabControls = {{
    {kGameTabIgnoreSkinsId, ControlKind::Check, 110, 7, 95, 12},
    {kGameTabSkipDemoId, ControlKind::Check, 110, 23, 40, 10},
    {kGameTabCarQualityId, ControlKind::ComboList, 110, 38, 95, 40},
    {kGameTabSmokeId, ControlKind::ComboList, 110, 54, 95, 40},
    {kGameTabProjectorsId, ControlKind::ComboList, 110, 70, 95, 40},
    {kGameTabOpponentsId, ControlKind::ComboList, 110, 86, 95, 40},
    {kGameTabShadowsId, ControlKind::Check, 110, 100, 95, 12},
    {kGameTabLimitId, ControlKind::Check, 110, 115, 95, 12},
    {kGameTabMaxOpponentsId, ControlKind::Edit, 110, 130, 57, 13, "", ui::FlagNumber},
    {kAdvancedPageResetId, ControlKind::Button, 104, 150, 100, 13, "Reset to default"},
    {kGameTabIgnoreSkinsLabelId, ControlKind::Label, 7, 9, 100, 10, "Ignore Player Skins"},
    {kGameTabSkipDemoLabelId, ControlKind::Label, 7, 23, 100, 10, "Skip Rolling Demo"},
    {kGameTabCarQualityLabelId, ControlKind::Label, 7, 41, 100, 10, "Cars Quality"},
    {kGameTabSmokeLabelId, ControlKind::Label, 7, 57, 100, 10, "Cars Smoke"},
    {kGameTabProjectorsLabelId, ControlKind::Label, 7, 73, 100, 10, "Projectors on Cars"},
    {kGameTabOpponentsLabelId, ControlKind::Label, 7, 89, 100, 10, "Opponents"},
    {kGameTabShadowsLabelId, ControlKind::Label, 7, 102, 100, 10, "Opponents Shadows"},
    {kGameTabLimitLabelId, ControlKind::Label, 7, 117, 100, 10, "Opponents limit count"},
    {kGameTabMaxOpponentsLabelId, ControlKind::Label, 7, 132, 100, 10, ""},
}};

constexpr ui::DialogTemplate kGameTabTemplate = {kGameTabTemplateId, 212, 167,
                                                 ui::StyleChild,     "",  kGameTabControls};

// The members' ids, for their value names.
constexpr u32 kQrCarQualityMemberId = 0x0b00501b;
constexpr u32 kQrCarSmokeMemberId = 0x0b00501c;
constexpr u32 kQrCarProjectorMemberId = 0x0b00501d;
constexpr u32 kQrOpponentsMemberId = 0x0b00501e;

constexpr u32 kAllAvailable = 0xFFFFFFFF;
// QrMaxOpponents without a limit.
constexpr u32 kNoOpponentLimit = 0xFFFFFFFF;

} // namespace

void RegisterGameTabResources() {
    ui::RegisterTemplate(kGameTabTemplate);
}

bool CGameTabDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    FillTranslatedComboBox(ConfigEnumMemberInfo(kQrCarQualityMemberId), Item(kGameTabCarQualityId),
                           kAllAvailable);
    FillTranslatedComboBox(ConfigEnumMemberInfo(kQrCarSmokeMemberId), Item(kGameTabSmokeId),
                           kAllAvailable);
    FillTranslatedComboBox(ConfigEnumMemberInfo(kQrCarProjectorMemberId),
                           Item(kGameTabProjectorsId), kAllAvailable);
    FillTranslatedComboBox(ConfigEnumMemberInfo(kQrOpponentsMemberId), Item(kGameTabOpponentsId),
                           kAllAvailable);
    // Decided once: a later preview of other display values does not change it.
    if (!theApp.m_Config || !IsCustomDisplayQuality(*theApp.m_Config)) {
        for (u32 id : {kGameTabSmokeId, kGameTabProjectorsId, kGameTabShadowsId})
            Item(id).Enable(false);
    }
    return true;
}

void CGameTabDlg::DoDataExchange(ui::DataExchange& dx) {
    dx.Check(kGameTabIgnoreSkinsId, m_IgnorePlayerSkins);
    dx.Check(kGameTabSkipDemoId, m_SkipRollingDemo);
    dx.Check(kGameTabShadowsId, m_OpponentShadows);
    dx.Check(kGameTabLimitId, m_LimitOpponents);
    dx.Text(kGameTabMaxOpponentsLabelId, m_MaxOpponentsLabel);
    dx.Int(kGameTabMaxOpponentsId, m_MaxOpponents);
}

void CGameTabDlg::OnCommand(u32 id, i32 code) {
    if (code == ui::BN_CLICKED) {
        if (id == kAdvancedPageResetId) {
            OnReset();
            return;
        }
        if (id == kGameTabLimitId) {
            OnLimitClicked();
            return;
        }
    }
    ui::Dialog::OnCommand(id, code);
}

void CGameTabDlg::LoadFromConfig(CSystemConfig& config) {
    m_IgnorePlayerSkins = config.m_IsIgnorePlayerSkins != 0 ? 1 : 0;
    m_SkipRollingDemo = config.m_IsSkipRollingDemo != 0 ? 1 : 0;
    SelectListValue(Item(kGameTabCarQualityId), config.m_QrCarQuality);
    SelectListValue(Item(kGameTabSmokeId), config.m_QrCarSmoke);
    SelectListValue(Item(kGameTabProjectorsId), config.m_QrCarProjector);
    SelectListValue(Item(kGameTabOpponentsId), config.m_QrOpponents);
    m_OpponentShadows = config.m_QrOpponentShadows != 0 ? 1 : 0;
    m_LimitOpponents = config.m_QrMaxOpponents != kNoOpponentLimit ? 1 : 0;
    m_MaxOpponents = i32(config.m_QrMaxOpponents);
    // The count's label follows the check here too: a reset or a preview may change it.
    m_MaxOpponentsLabel = MaxOpponentsLabel();
    UpdateData(false);
    Item(kGameTabMaxOpponentsId).Show(m_LimitOpponents != 0);
}

bool CGameTabDlg::SaveToConfig(CSystemConfig& config) {
    if (!UpdateData(true))
        return false;
    config.m_IsIgnorePlayerSkins = m_IgnorePlayerSkins != 0 ? 1 : 0;
    config.m_IsSkipRollingDemo = m_SkipRollingDemo != 0 ? 1 : 0;
    SaveListValue(Item(kGameTabCarQualityId), config.m_QrCarQuality);
    SaveListValue(Item(kGameTabSmokeId), config.m_QrCarSmoke);
    SaveListValue(Item(kGameTabProjectorsId), config.m_QrCarProjector);
    SaveListValue(Item(kGameTabOpponentsId), config.m_QrOpponents);
    config.m_QrOpponentShadows = m_OpponentShadows != 0 ? 1 : 0;
    config.m_QrMaxOpponents = m_LimitOpponents != 0 ? u32(m_MaxOpponents) : kNoOpponentLimit;
    return true;
}

void CGameTabDlg::UpdateTexts() {
    Item(kAdvancedPageResetId).SetText(LauncherTranslate(u"Reset to defaults"));
    Item(kGameTabIgnoreSkinsLabelId).SetText(LauncherTranslate(u"Ignore Player Skins"));
    Item(kGameTabSkipDemoLabelId).SetText(LauncherTranslate(u"Skip Rolling Demo"));
    Item(kGameTabCarQualityLabelId).SetText(LauncherTranslate(u"Cars Quality"));
    Item(kGameTabSmokeLabelId).SetText(LauncherTranslate(u"Cars Smoke"));
    Item(kGameTabProjectorsLabelId).SetText(LauncherTranslate(u"Projectors on Cars"));
    Item(kGameTabOpponentsLabelId).SetText(LauncherTranslate(u"Opponents"));
    Item(kGameTabShadowsLabelId).SetText(LauncherTranslate(u"Opponents Shadows"));
    Item(kGameTabLimitLabelId).SetText(LauncherTranslate(u"Opponents limit count"));
    m_MaxOpponentsLabel = MaxOpponentsLabel();
    UpdateData(false);
}

std::string CGameTabDlg::MaxOpponentsLabel() const {
    return m_LimitOpponents != 0 ? LauncherTranslate(u"Opponents maximum count") : std::string();
}

void CGameTabDlg::OnLimitClicked() {
    UpdateData(true);
    UpdateTexts();
    Item(kGameTabMaxOpponentsId).Show(m_LimitOpponents != 0);
}

void CGameTabDlg::OnReset() {
    CSystemConfig* config = theApp.m_Config;
    if (!config)
        return;
    SaveToConfig(*config);
    theApp.ResetConfigToDefaults(kGameTabResetKind);
    LoadFromConfig(*config);
}
