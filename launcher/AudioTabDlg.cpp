#include "launcher/AudioTabDlg.h"

#include "launcher/ConfigDlg.h"
#include "launcher/LauncherApp.h"
#include "system/config/SystemConfig.h"

#include <array>

namespace {

using ui::ControlKind;

constexpr std::array<ui::ControlTemplate, 13> kAudioTabControls = {{
    {kAudioTabSpeakersId, ControlKind::ComboList, 93, 7, 105, 40},
    {kAudioTabQualityId, ControlKind::ComboList, 93, 26, 105, 40},
    {kAudioTabAccelerationId, ControlKind::ComboList, 93, 58, 105, 40},
    {kAudioTabEaxId, ControlKind::Check, 93, 74, 105, 8},
    {kAudioTabQuality3dId, ControlKind::ComboList, 93, 87, 105, 40},
    {kAudioTabDopplerId, ControlKind::Check, 93, 106, 105, 8},
    {kAdvancedPageResetId, ControlKind::Button, 99, 130, 99, 13, "Reset to default"},
    {kAudioTabSpeakersLabelId, ControlKind::Label, 8, 11, 84, 10, "Speakers"},
    {kAudioTabQualityLabelId, ControlKind::Label, 7, 29, 84, 10, "Quality"},
    {kAudioTabAccelerationLabelId, ControlKind::Label, 7, 61, 84, 10, "Acceleration"},
    {kAudioTabEaxLabelId, ControlKind::Label, 7, 74, 84, 10, "EAX"},
    {kAudioTabQuality3dLabelId, ControlKind::Label, 7, 90, 84, 10, "3D quality"},
    {kAudioTabDopplerLabelId, ControlKind::Label, 7, 104, 84, 10, "Doppler"},
}};

constexpr ui::DialogTemplate kAudioTabTemplate = {kAudioTabTemplateId, 208, 150,
                                                  ui::StyleChild,      "",  kAudioTabControls};

// The members' ids, for their value names.
constexpr u32 kAudioGlobalQualityMemberId = 0x0b005024;
constexpr u32 kAudioAccelerationMemberId = 0x0b005025;
constexpr u32 kAudioQuality3dMemberId = 0x0b005026;
constexpr u32 kAudioSpeakerConfigMemberId = 0x0b005029;

constexpr u32 kAllAvailable = 0xFFFFFFFF;

} // namespace

void RegisterAudioTabResources() {
    ui::RegisterTemplate(kAudioTabTemplate);
}

bool CAudioTabDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    FillTranslatedComboBox(ConfigEnumMemberInfo(kAudioGlobalQualityMemberId),
                           Item(kAudioTabQualityId), kAllAvailable);
    FillTranslatedComboBox(ConfigEnumMemberInfo(kAudioQuality3dMemberId),
                           Item(kAudioTabQuality3dId), kAllAvailable);
    FillTranslatedComboBox(ConfigEnumMemberInfo(kAudioAccelerationMemberId),
                           Item(kAudioTabAccelerationId), kAllAvailable);
    FillTranslatedComboBox(ConfigEnumMemberInfo(kAudioSpeakerConfigMemberId),
                           Item(kAudioTabSpeakersId), kAllAvailable);
    return true;
}

void CAudioTabDlg::DoDataExchange(ui::DataExchange& dx) {
    dx.Check(kAudioTabEaxId, m_UseEax);
    dx.Check(kAudioTabDopplerId, m_EnableDoppler);
}

void CAudioTabDlg::OnCommand(u32 id, i32 code) {
    if (id == kAdvancedPageResetId && code == ui::BN_CLICKED) {
        OnReset();
        return;
    }
    ui::Dialog::OnCommand(id, code);
}

void CAudioTabDlg::LoadFromConfig(CSystemConfig& config) {
    m_UseEax = config.m_AudioUseEAX != 0 ? 1 : 0;
    m_EnableDoppler = config.m_AudioDisableDoppler != 0 ? 0 : 1;
    SelectListValue(Item(kAudioTabQualityId), config.m_AudioGlobalQuality);
    SelectListValue(Item(kAudioTabQuality3dId), config.m_AudioQuality3d);
    SelectListValue(Item(kAudioTabAccelerationId), config.m_AudioAcceleration);
    SelectListValue(Item(kAudioTabSpeakersId), config.m_AudioSpeakerConfig);
    UpdateData(false);
}

bool CAudioTabDlg::SaveToConfig(CSystemConfig& config) {
    if (!UpdateData(true))
        return false;
    config.m_AudioUseEAX = m_UseEax != 0 ? 1 : 0;
    config.m_AudioDisableDoppler = m_EnableDoppler != 0 ? 0 : 1;
    SaveListValue(Item(kAudioTabQualityId), config.m_AudioGlobalQuality);
    SaveListValue(Item(kAudioTabQuality3dId), config.m_AudioQuality3d);
    SaveListValue(Item(kAudioTabAccelerationId), config.m_AudioAcceleration);
    SaveListValue(Item(kAudioTabSpeakersId), config.m_AudioSpeakerConfig);
    return true;
}

void CAudioTabDlg::UpdateTexts() {
    Item(kAudioTabAccelerationLabelId).SetText(LauncherTranslate(u"|Audio|Acceleration"));
    Item(kAudioTabEaxLabelId).SetText(LauncherTranslate(u"|Audio|Enable EAX"));
    Item(kAudioTabDopplerLabelId).SetText(LauncherTranslate(u"|Audio|Enable Doppler"));
    Item(kAudioTabQuality3dLabelId).SetText(LauncherTranslate(u"|Audio|3d quality(soft)"));
    Item(kAudioTabSpeakersLabelId).SetText(LauncherTranslate(u"|Audio|Speakers"));
    Item(kAudioTabQualityLabelId).SetText(LauncherTranslate(u"|Audio|Quality"));
    Item(kAdvancedPageResetId).SetText(LauncherTranslate(u"Reset to defaults"));
    UpdateData(false);
}

void CAudioTabDlg::OnReset() {
    CSystemConfig* config = theApp.m_Config;
    if (!config)
        return;
    SaveToConfig(*config);
    theApp.ResetConfigToDefaults(kAudioTabResetKind);
    LoadFromConfig(*config);
}
