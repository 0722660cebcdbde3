#pragma once
// The Audio page of the advanced settings dialog: the speakers, the quality, the acceleration,
// EAX, the 3D quality and the Doppler effect.
#include "launcher/AdvancedTabDlg.h"

// Template and control ids.
inline constexpr u32 kAudioTabTemplateId = 134;
inline constexpr u32 kAudioTabQuality3dId = 1015;
inline constexpr u32 kAudioTabAccelerationId = 1018;
inline constexpr u32 kAudioTabEaxId = 1019;
inline constexpr u32 kAudioTabSpeakersId = 1020;
inline constexpr u32 kAudioTabQualityId = 1021;
inline constexpr u32 kAudioTabDopplerId = 1022;
inline constexpr u32 kAudioTabAccelerationLabelId = 1071;
inline constexpr u32 kAudioTabEaxLabelId = 1072;
inline constexpr u32 kAudioTabQuality3dLabelId = 1073;
inline constexpr u32 kAudioTabQualityLabelId = 1074;
inline constexpr u32 kAudioTabSpeakersLabelId = 1075;
inline constexpr u32 kAudioTabDopplerLabelId = 1076;

// The page's reset kind (CLauncherApp::ResetConfigToDefaults).
inline constexpr i32 kAudioTabResetKind = 1;

void RegisterAudioTabResources();

class CAudioTabDlg : public ui::Dialog {
public:
    CAudioTabDlg() : ui::Dialog(kAudioTabTemplateId) {}

    void LoadFromConfig(CSystemConfig& config);
    // A list without a selection leaves its member as it was.
    bool SaveToConfig(CSystemConfig& config);
    void UpdateTexts();

protected:
    bool OnInitDialog() override;
    void OnOK() override { AdvancedPageEnter(*this); }
    void OnCancel() override {}
    void OnCommand(u32 id, i32 code) override;
    void DoDataExchange(ui::DataExchange& dx) override;

private:
    void OnReset();

    i32 m_UseEax = 0;
    // Checked when the Doppler effect is not disabled.
    i32 m_EnableDoppler = 0;
};
