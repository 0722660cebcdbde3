#pragma once
// The Display page of the advanced settings dialog (tab 0): the adapter's name and video memory,
// and the graphics quality of the active display part (the safe part in safe mode, which the page
// shows without saving it). The lists flag with " (N/A)" what the adapter cannot use.
//
// The page's detailed controls can be edited only when the part is customised without preset
// (E); the preset list shows only when it is customised (P). Changing Customize or the preset
// previews the result: the page saves into a scratch copy of the configuration, applies the
// preset or the automatic settings there and loads every page of the advanced dialog from it,
// so the configuration itself changes only when the dialog's OK saves the pages.
#include "launcher/AdvancedTabDlg.h"

#include <string_view>

class CSystemConfigDisplay;

// Template and control ids.
inline constexpr u32 kDisplayTabTemplateId = 132;
inline constexpr u32 kDisplayTabShaderId = 1000;
inline constexpr u32 kDisplayTabTexturesId = 1006;
inline constexpr u32 kDisplayTabAntialiasingId = 1007;
inline constexpr u32 kDisplayTabFilteringId = 1008;
inline constexpr u32 kDisplayTabShadowsId = 1009;
inline constexpr u32 kDisplayTabWaterGeomId = 1010;
inline constexpr u32 kDisplayTabPresetId = 1011;
inline constexpr u32 kDisplayTabZClipId = 1018;
inline constexpr u32 kDisplayTabZClipAutoId = 1019;
inline constexpr u32 kDisplayTabPostFxId = 1065;
inline constexpr u32 kDisplayTabFxColorsId = 1066;
inline constexpr u32 kDisplayTabFxMotionBlurId = 1067;
inline constexpr u32 kDisplayTabCustomizeId = 1068;
inline constexpr u32 kDisplayTabZClipNbBlockId = 1087;
inline constexpr u32 kDisplayTabCompatibilityId = 1097;
inline constexpr u32 kDisplayTabGroupId = 1100;
inline constexpr u32 kDisplayTabWaterComplexId = 1105;
inline constexpr u32 kDisplayTabShaderLabelId = 1043;
inline constexpr u32 kDisplayTabTexturesLabelId = 1044;
inline constexpr u32 kDisplayTabShadowsLabelId = 1045;
inline constexpr u32 kDisplayTabPostFxLabelId = 1049;
inline constexpr u32 kDisplayTabWaterComplexLabelId = 1050;
inline constexpr u32 kDisplayTabFxColorsLabelId = 1051;
inline constexpr u32 kDisplayTabFxMotionBlurLabelId = 1052;
inline constexpr u32 kDisplayTabCustomizeLabelId = 1053;
inline constexpr u32 kDisplayTabZClipLabelId = 1055;
inline constexpr u32 kDisplayTabZClipDetailLabelId = 1056;
inline constexpr u32 kDisplayTabAntialiasingLabelId = 1069;
inline constexpr u32 kDisplayTabFilteringLabelId = 1070;
inline constexpr u32 kDisplayTabWaterGeomLabelId = 1072;
inline constexpr u32 kDisplayTabPresetLabelId = 1074;
inline constexpr u32 kDisplayTabAdapterLabelId = 1075;
inline constexpr u32 kDisplayTabMemoryLabelId = 1076;

// The page's reset kind (CLauncherApp::ResetConfigToDefaults).
inline constexpr i32 kDisplayTabResetKind = 0;

// The filtering list's entries: bilinear, trilinear, then anisotropic 2x, 4x, 8x and 16x.
inline constexpr u32 kFilteringEntryCount = 6;

void RegisterDisplayTabResources();

// Adds an entry to a drop-down list: the text, followed by " (N/A)" when not available.
void AddComboEntry(ui::Control& combo, std::u16string_view text, bool available);

// The filtering entry that shows a part's MaxFiltering and AnisoQuality: Point (0) and Bilinear
// (1) entry 0, Trilinear entry 1, Anisotropic the entry of its anisotropy (2 to 5), and any
// other filtering entry 0; -1 (no entry) for an anisotropy past 16x.
i32 FilteringEntry(u32 maxFiltering, u32 anisoQuality);
// The members an entry stands for; an entry outside the list changes nothing.
void SaveFilteringEntry(i32 entry, u32& maxFiltering, u32& anisoQuality);

class CDisplayTabDlg : public ui::Dialog {
public:
    CDisplayTabDlg() : ui::Dialog(kDisplayTabTemplateId) {}

    // LoadDisplayPart with the configuration's active display part.
    void LoadFromConfig(CSystemConfig& config);
    // SaveDisplayPart into the normal display part; nothing in safe mode.
    bool SaveToConfig(CSystemConfig& config);
    void LoadDisplayPart(const CSystemConfigDisplay& display);
    // A list without a selection leaves its members as they were.
    void SaveDisplayPart(CSystemConfigDisplay& display);
    void UpdateTexts();

protected:
    bool OnInitDialog() override;
    void OnOK() override { AdvancedPageEnter(*this); }
    void OnCancel() override {}
    void OnCommand(u32 id, i32 code) override;

private:
    // Also reloads the configuration dialog behind, which shows display values too.
    void OnReset();
    // Shows the part as it would be with the depth limit chosen: a limit turns the water geometry
    // and the background off.
    void OnZClipChanged();
    // The preview of Customize and the preset on a scratch copy of the configuration.
    void OnPresetChanged();
    void OnCompatibility();
    // The forced post effects can be chosen only with post effects on.
    void UpdatePostFxControls();
};
