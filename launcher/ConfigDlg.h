#pragma once
// The configuration dialog behind the main dialog's Configure button: the language, full screen
// or windowed with the sizes the adapter offers, safe mode, fast loading, the automatic quality
// level, audio and the kind of connection. It edits theApp's configuration in place and writes
// the file on Save; what it wrote into the configuration stays there when it is cancelled.
//
// Also the pieces the other launcher dialogs share: FillTranslatedComboBox, which fills a list
// from an enumerated member's value names, and the slider position of a volume.
#include "core/base/FastBuffer.h"
#include "platform/Types.h"
#include "platform/ui/Dialog.h"
#include "system/config/SystemConfigDisplay.h"

#include <span>
#include <string>

class CSystemConfig;
struct CMwMemberInfoEnum;

// Template and control ids.
inline constexpr u32 kConfigDlgTemplateId = 137;
inline constexpr u32 kConfigDlgSaveId = 4;
inline constexpr u32 kConfigDlgWindowedListId = 1001;
inline constexpr u32 kConfigDlgFullScreenId = 1002;
inline constexpr u32 kConfigDlgRatioId = 1004;
inline constexpr u32 kConfigDlgSafeModeId = 1005;
inline constexpr u32 kConfigDlgLanguageId = 1006;
inline constexpr u32 kConfigDlgAutoScaleId = 1007;
inline constexpr u32 kConfigDlgFullScreenListId = 1008;
inline constexpr u32 kConfigDlgFastLoadId = 1009;
inline constexpr u32 kConfigDlgSoundId = 1016;
inline constexpr u32 kConfigDlgMusicId = 1017;
inline constexpr u32 kConfigDlgAdvancedId = 1028;
inline constexpr u32 kConfigDlgAudioId = 1029;
inline constexpr u32 kConfigDlgBenchId = 1030;
inline constexpr u32 kConfigDlgConnectionId = 1054;
inline constexpr u32 kConfigDlgLanguageLabelId = 1033;
inline constexpr u32 kConfigDlgFullScreenLabelId = 1034;
inline constexpr u32 kConfigDlgResolutionLabelId = 1035;
inline constexpr u32 kConfigDlgRatioLabelId = 1036;
inline constexpr u32 kConfigDlgQualityLabelId = 1037;
inline constexpr u32 kConfigDlgAudioLabelId = 1038;
inline constexpr u32 kConfigDlgSoundLabelId = 1039;
inline constexpr u32 kConfigDlgMusicLabelId = 1040;
inline constexpr u32 kConfigDlgSafeModeLabelId = 1067;
inline constexpr u32 kConfigDlgFastLoadLabelId = 1068;
inline constexpr u32 kConfigDlgConnectionLabelId = 1086;

// Registers the dialog's template with the dialog layer.
void RegisterConfigDlgResources();

// The three rows of full-screen sizes: narrower than 4:3, 4:3, wider.
inline constexpr u32 kDisplayRatioRowCount = 3;
using DisplayRatioRows = CFastBuffer<SystemDisplaySize>[kDisplayRatioRowCount];

// The row of a size. Its ratio, computed in extended precision, is compared with the 32-bit 4/3
// less and plus the 32-bit 0.00001: below is row 0, above row 2, between (limits included) row 1.
// A height of 0 is row 1.
u32 DisplayRatioRow(u32 width, u32 height);
// The row shown first for the desktop: 2 when it is wider than 4:3 (the upper limit above), else 1.
u32 DesktopRatioRow(u32 width, u32 height);
// Files the adapter's modes into the rows. The modes of at least 640 x 480 are taken in order and
// kept sorted by width (equal widths in arrival order); a size equal to the entry just before its
// place is dropped, so refresh-rate variants of a size listed together give one entry. Each size
// of that list then goes into its row by the same rule. The rows are emptied first.
void CollapseDisplayModes(std::span<const SystemDisplaySize> modes, DisplayRatioRows& rows);

// The position (0 to 100) of a slider showing a volume: the volume x 100 in 32-bit float, clamped
// (NaN gives 0), and truncated after adding 0.001 so that every position saved by
// PositionToVolume shows again as itself.
i32 VolumeToPosition(f32 volume);
// The volume a position stores: position x 0.01 in 32-bit float.
f32 PositionToVolume(i32 position);

// The value-name record of the configuration's automatic quality scale and connection kind.
const CMwMemberInfoEnum& AutoScaleMemberInfo();
const CMwMemberInfoEnum& NetworkConnectionMemberInfo();
// The value-name record of an enumerated member of the configuration, by its member id.
const CMwMemberInfoEnum& ConfigEnumMemberInfo(u32 memberId);
// The same for an enumerated member of a display part.
const CMwMemberInfoEnum& DisplayEnumMemberInfo(u32 memberId);

// Refills a drop-down list with the translated value names of an enumerated member (each name
// widened one character per byte), " (N/A)" after the values whose bit (index mod 32) is clear in
// the mask. The selection is kept when it was an entry below the value count, else none.
void FillTranslatedComboBox(const CMwMemberInfoEnum& member, ui::Control& combo, u32 mask);

class CConfigDlg : public ui::Dialog {
public:
    CConfigDlg() : ui::Dialog(kConfigDlgTemplateId) {}
    ~CConfigDlg() override;
    CConfigDlg(const CConfigDlg&) = delete;
    CConfigDlg& operator=(const CConfigDlg&) = delete;

    // Shows the configuration in every control; the advanced dialog calls it again after it
    // changed the configuration.
    void LoadFromConfig(CSystemConfig& config);
    // Writes the controls back. In safe mode (as stored before the call) the normal display part
    // is left alone.
    void SaveToConfig(CSystemConfig& config);

protected:
    bool OnInitDialog() override;
    void OnCommand(u32 id, i32 code) override;
    void DoDataExchange(ui::DataExchange& dx) override;

private:
    // Shows the row's sizes in the full-screen list with the first selected. For an empty row
    // the list stays as it is and the ratio list goes back to the row it shows.
    void FillResolutionList(u32 row);
    void OnLanguageChanged();
    void OnFullScreenClicked();
    void UpdateAutoScaleControls();
    void OnRatioChanged();
    void OnSafeModeDefaults();
    void OnAutoScaleChanged();
    void OnSave();
    // The advanced settings dialog over this one, with theApp pointing at it while it runs.
    void OnAdvanced();
    // Opens the bench dialog and runs it.
    void OnBench();

    i32 m_MusicPosition = 0;
    i32 m_SoundPosition = 0;
    i32 m_AudioEnabled = 0;
    std::string m_LanguageLabel;
    std::string m_RatioLabel;
    std::string m_FullScreenLabel;
    std::string m_AudioLabel;
    std::string m_MusicLabel;
    std::string m_SoundLabel;
    std::string m_SafeModeLabel;
    std::string m_ConnectionLabel;
    std::string m_ResolutionLabel;
    std::string m_QualityLabel;
    std::string m_FastLoadLabel;
    DisplayRatioRows m_RatioRows = {};
    // The row whose sizes the full-screen list shows; -1 before it shows any.
    i32 m_ListRow = -1;
};
