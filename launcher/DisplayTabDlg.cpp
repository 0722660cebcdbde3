#include "launcher/DisplayTabDlg.h"

#include "core/base/ClassicLog.h"
#include "core/base/ClassicTranslator.h"
#include "launcher/AdvancedDlg.h"
#include "launcher/ConfigDlg.h"
#include "launcher/DisplayCompatibilityDlg.h"
#include "launcher/LauncherApp.h"
#include "launcher/LauncherText.h"
#include "system/archive/SystemArchive.h"
#include "system/config/GpuInfo.h"
#include "system/config/SystemConfig.h"

#include <array>

namespace {

using ui::ControlKind;

// The labels stand left of their controls, up to them.
constexpr std::array<ui::ControlTemplate, 34> kDisplayTabControls = {{
    {kDisplayTabCustomizeId, ControlKind::Check, 95, 15, 10, 10},
    {kDisplayTabPresetId, ControlKind::ComboList, 95, 30, 80, 65},
    {kDisplayTabAntialiasingId, ControlKind::ComboList, 255, 30, 80, 54},
    {kDisplayTabShaderId, ControlKind::ComboList, 95, 65, 80, 60},
    {kDisplayTabTexturesId, ControlKind::ComboList, 95, 80, 80, 46},
    {kDisplayTabFilteringId, ControlKind::ComboList, 95, 95, 80, 59},
    {kDisplayTabShadowsId, ControlKind::ComboList, 256, 65, 75, 68},
    {kDisplayTabZClipId, ControlKind::ComboList, 256, 80, 75, 46},
    {kDisplayTabZClipAutoId, ControlKind::ComboList, 256, 95, 75, 46},
    {kDisplayTabZClipNbBlockId, ControlKind::Edit, 255, 95, 75, 12, "", ui::FlagNumber},
    {kDisplayTabPostFxId, ControlKind::Check, 130, 120, 10, 10},
    {kDisplayTabWaterGeomId, ControlKind::Check, 255, 120, 10, 10},
    {kDisplayTabFxColorsId, ControlKind::Check, 130, 130, 10, 10},
    {kDisplayTabWaterComplexId, ControlKind::Check, 255, 130, 10, 10},
    {kDisplayTabFxMotionBlurId, ControlKind::Check, 130, 140, 10, 10},
    {kDisplayTabGroupId, ControlKind::GroupBox, 5, 50, 330, 110},
    {kDisplayTabCompatibilityId, ControlKind::Button, 5, 165, 85, 13, "Compatibility"},
    {kAdvancedPageResetId, ControlKind::Button, 238, 165, 98, 13, "Reset to default"},
    {kDisplayTabCustomizeLabelId, ControlKind::Label, 7, 16, 86, 10, "Customize"},
    {kDisplayTabPresetLabelId, ControlKind::Label, 5, 32, 88, 10, ""},
    {kDisplayTabAntialiasingLabelId, ControlKind::Label, 175, 32, 78, 10, "Antialiasing"},
    {kDisplayTabShaderLabelId, ControlKind::Label, 10, 67, 83, 10, "Shader quality"},
    {kDisplayTabTexturesLabelId, ControlKind::Label, 10, 82, 83, 10, "Texture quality"},
    {kDisplayTabFilteringLabelId, ControlKind::Label, 10, 97, 83, 10, "Max filtering"},
    {kDisplayTabShadowsLabelId, ControlKind::Label, 180, 67, 74, 10, "Shadows"},
    {kDisplayTabZClipLabelId, ControlKind::Label, 180, 82, 74, 10, "Limit depth"},
    {kDisplayTabZClipDetailLabelId, ControlKind::Label, 180, 97, 74, 10, ""},
    {kDisplayTabPostFxLabelId, ControlKind::Label, 10, 120, 118, 10, "PostProcess FXs"},
    {kDisplayTabWaterGeomLabelId, ControlKind::Label, 145, 120, 108, 10, "Water geometry"},
    {kDisplayTabFxColorsLabelId, ControlKind::Label, 10, 130, 118, 10, "Force Dynamic Colors"},
    {kDisplayTabWaterComplexLabelId, ControlKind::Label, 148, 130, 105, 10, "Complex water"},
    {kDisplayTabFxMotionBlurLabelId, ControlKind::Label, 10, 140, 118, 10, "Force Motion Blur"},
    {kDisplayTabAdapterLabelId, ControlKind::Label, 115, 5, 220, 10, ""},
    {kDisplayTabMemoryLabelId, ControlKind::Label, 159, 15, 176, 10, ""},
}};

constexpr ui::DialogTemplate kDisplayTabTemplate = {
    kDisplayTabTemplateId, 343, 190, ui::StyleChild, "", kDisplayTabControls};

// The members' ids, for their value names.
constexpr u32 kAntialiasingMemberId = 0x0b013008;
constexpr u32 kShaderQualityMemberId = 0x0b013009;
constexpr u32 kTexturesQualityMemberId = 0x0b01300a;
constexpr u32 kZClipMemberId = 0x0b01300d;
constexpr u32 kZClipAutoMemberId = 0x0b01300e;
constexpr u32 kShadowsMemberId = 0x0b013016;

constexpr u32 kAllAvailable = 0xFFFFFFFF;

// ZClip's values.
constexpr u32 kZClipDisable = 0;
constexpr u32 kZClipAuto = 1;
constexpr u32 kZClipFixed = 2;

// MaxFiltering's values.
constexpr u32 kFilteringBilinear = 1;
constexpr u32 kFilteringTrilinear = 2;
constexpr u32 kFilteringAnisotropic = 3;
// The anisotropic entries' first, and the number of anisotropies.
constexpr i32 kFirstAnisotropicEntry = 2;
constexpr u32 kAnisotropyCount = 4;

// The filtering entries' keys; entries 2 to 4 have two blanks before the number.
constexpr std::array<const char16_t*, kFilteringEntryCount> kFilteringKeys = {
    u"|MaxFiltering|Bilinear",        u"|MaxFiltering|Trilinear",
    u"|MaxFiltering|Anisotropic  2x", u"|MaxFiltering|Anisotropic  4x",
    u"|MaxFiltering|Anisotropic  8x", u"|MaxFiltering|Anisotropic 16x"};

// The preset names' keys, levels 0 to 5.
constexpr std::array<const char16_t*, kDisplayPresetCount> kPresetKeys = {
    u"|DisplayPreset|None",         u"|DisplayPreset|Minimum Quality",
    u"|DisplayPreset|Low Quality",  u"|DisplayPreset|Medium Quality",
    u"|DisplayPreset|High Quality", u"|DisplayPreset|VeryHigh Quality"};

// The mask of the values 0 to steps: (1 << (steps + 1)) - 1, all ones from 32 values on.
u32 ValuesUpTo(u32 steps) {
    return steps + 1 >= 32 ? 0xFFFFFFFFu : (1u << (steps + 1)) - 1;
}

bool InSafeMode() {
    return theApp.m_Config && theApp.m_Config->m_IsSafeMode != 0;
}

// The translation of a key holding "%d", with the number in its place. The catalogue's text is
// never used as a format: any other '%' in it stays as it is.
std::string FormatTranslatedNumber(const char16_t* key, i32 number) {
    const std::u16string_view text(g_ClassicTranslator.Translate(key));
    CClassicString digits;
    digits.Format("%d", number);
    CClassicWideString result;
    const size_t at = text.find(u"%d");
    if (at == std::u16string_view::npos) {
        result.Append(CClassicWideStringRef(text.data(), u32(text.size())));
    } else {
        result.Append(CClassicWideStringRef(text.data(), u32(at)));
        result.AppendNarrow(digits);
        result.Append(CClassicWideStringRef(text.data() + at + 2, u32(text.size() - at - 2)));
    }
    return LauncherUtf8(result);
}

void SaveCheck(const ui::Control& check, u32& member) {
    member = check.GetCheck() ? 1 : 0;
}

} // namespace

void RegisterDisplayTabResources() {
    ui::RegisterTemplate(kDisplayTabTemplate);
    RegisterDisplayCompatibilityDlgResources();
}

void AddComboEntry(ui::Control& combo, std::u16string_view text, bool available) {
    CClassicWideString entry(CClassicWideStringRef(text.data(), u32(text.size())));
    if (!available)
        entry.Append(u" (N/A)");
    combo.AddString(LauncherUtf8(entry));
}

i32 FilteringEntry(u32 maxFiltering, u32 anisoQuality) {
    switch (maxFiltering) {
        case kFilteringTrilinear:
            return 1;
        case kFilteringAnisotropic:
            // A damaged anisotropy selects nothing, rather than wrapping round to an entry.
            return anisoQuality < kAnisotropyCount ? kFirstAnisotropicEntry + i32(anisoQuality)
                                                   : -1;
        default:
            return 0;
    }
}

void SaveFilteringEntry(i32 entry, u32& maxFiltering, u32& anisoQuality) {
    if (entry < 0 || entry >= i32(kFilteringEntryCount))
        return;
    if (entry == 0) {
        maxFiltering = kFilteringBilinear;
    } else if (entry == 1) {
        maxFiltering = kFilteringTrilinear;
    } else {
        maxFiltering = kFilteringAnisotropic;
        anisoQuality = u32(entry - kFirstAnisotropicEntry);
    }
}

bool CDisplayTabDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    // The description is narrow text, one character per byte.
    CClassicWideString description;
    description.AppendNarrow(g_GpuInfo.Description);
    Item(kDisplayTabAdapterLabelId).SetText(LauncherUtf8(description));
    Item(kDisplayTabMemoryLabelId)
        .SetText(FormatTranslatedNumber(u"%d Mb", i32(g_GpuInfo.VideoMemoryMb)));

    FillTranslatedComboBox(DisplayEnumMemberInfo(kAntialiasingMemberId),
                           Item(kDisplayTabAntialiasingId),
                           ValuesUpTo(g_GpuInfo.MultisampleSteps()));
    FillTranslatedComboBox(DisplayEnumMemberInfo(kShaderQualityMemberId), Item(kDisplayTabShaderId),
                           ValuesUpTo(g_GpuInfo.PixelShaderClass));
    FillTranslatedComboBox(DisplayEnumMemberInfo(kTexturesQualityMemberId),
                           Item(kDisplayTabTexturesId), kAllAvailable);
    FillTranslatedComboBox(DisplayEnumMemberInfo(kShadowsMemberId), Item(kDisplayTabShadowsId),
                           kAllAvailable);
    FillTranslatedComboBox(DisplayEnumMemberInfo(kZClipMemberId), Item(kDisplayTabZClipId),
                           kAllAvailable);
    FillTranslatedComboBox(DisplayEnumMemberInfo(kZClipAutoMemberId), Item(kDisplayTabZClipAutoId),
                           kAllAvailable);

    ui::Control& filtering = Item(kDisplayTabFilteringId);
    filtering.ResetContent();
    const u32 anisotropySteps = g_GpuInfo.AnisotropySteps();
    for (u32 entry = 0; entry < kFilteringEntryCount; ++entry) {
        // Entries 2 to 5 need 1 to 4 anisotropy steps.
        const bool available = entry < u32(kFirstAnisotropicEntry) ||
                               anisotropySteps >= entry - u32(kFirstAnisotropicEntry) + 1;
        AddComboEntry(filtering, g_ClassicTranslator.Translate(kFilteringKeys[entry]), available);
    }
    ui::Control& presets = Item(kDisplayTabPresetId);
    presets.ResetContent();
    for (u32 level = 0; level < kDisplayPresetCount; ++level)
        AddComboEntry(presets, g_ClassicTranslator.Translate(kPresetKeys[level]),
                      g_GpuInfo.PixelShaderClass >= g_PresetMinPixelShaderClass[level]);

    const CSystemConfigDisplay* active =
        theApp.m_Config ? theApp.m_Config->GetActiveDisplay() : nullptr;
    const bool postFx = active && active->m_PostFxEnable != 0;
    Item(kDisplayTabFxColorsId).Enable(postFx);
    Item(kDisplayTabFxMotionBlurId).Enable(postFx);
    Item(kDisplayTabAntialiasingId).Enable(!InSafeMode());
    Item(kAdvancedPageResetId).Enable(!InSafeMode());
    return true;
}

void CDisplayTabDlg::OnCommand(u32 id, i32 code) {
    if (code == ui::BN_CLICKED) {
        switch (id) {
            case kAdvancedPageResetId:
                OnReset();
                return;
            case kDisplayTabCompatibilityId:
                OnCompatibility();
                return;
            case kDisplayTabPostFxId:
                UpdatePostFxControls();
                return;
            case kDisplayTabCustomizeId:
                OnPresetChanged();
                return;
            default:
                break;
        }
    }
    if (code == ui::CBN_SELCHANGE) {
        if (id == kDisplayTabZClipId) {
            OnZClipChanged();
            return;
        }
        if (id == kDisplayTabPresetId) {
            OnPresetChanged();
            return;
        }
    }
    ui::Dialog::OnCommand(id, code);
}

void CDisplayTabDlg::LoadFromConfig(CSystemConfig& config) {
    if (const CSystemConfigDisplay* active = config.GetActiveDisplay())
        LoadDisplayPart(*active);
}

bool CDisplayTabDlg::SaveToConfig(CSystemConfig& config) {
    if (config.m_IsSafeMode == 0 && config.m_Display)
        SaveDisplayPart(*config.m_Display);
    return true;
}

void CDisplayTabDlg::LoadDisplayPart(const CSystemConfigDisplay& display) {
    CClassicString blocks;
    blocks.Format("%u", display.m_ZClipNbBlock);
    Item(kDisplayTabZClipNbBlockId).SetText(blocks.GetText());
    Item(kDisplayTabFilteringId)
        .SetCurSel(FilteringEntry(display.m_MaxFiltering, display.m_AnisoQuality));
    SelectListValue(Item(kDisplayTabPresetId), display.m_Preset);
    SelectListValue(Item(kDisplayTabShaderId), display.m_ShaderQuality);
    SelectListValue(Item(kDisplayTabTexturesId), display.m_TexturesQuality);
    SelectListValue(Item(kDisplayTabAntialiasingId), display.m_Antialiasing);
    SelectListValue(Item(kDisplayTabShadowsId), display.m_Shadows);
    SelectListValue(Item(kDisplayTabZClipId), display.m_ZClip);
    SelectListValue(Item(kDisplayTabZClipAutoId), display.m_ZClipAuto);
    Item(kDisplayTabWaterGeomId).SetCheck(display.m_WaterGeom != 0);
    Item(kDisplayTabWaterComplexId).SetCheck(display.m_WaterComplex != 0);
    Item(kDisplayTabCustomizeId).SetCheck(display.m_Customize != 0);
    Item(kDisplayTabPostFxId).SetCheck(display.m_PostFxEnable != 0);
    Item(kDisplayTabFxColorsId).SetCheck(display.m_ForceFxColors != 0);
    Item(kDisplayTabFxMotionBlurId).SetCheck(display.m_ForceFxMotionBlur != 0);

    // The depth detail: the distance of an automatic limit, the block count of a fixed one.
    Item(kDisplayTabZClipId).Show(true);
    std::string detail;
    if (display.m_ZClip == kZClipAuto)
        detail = LauncherTranslate(u"Maximum depth");
    else if (display.m_ZClip == kZClipFixed)
        detail = LauncherTranslate(u"Blocks count");
    Item(kDisplayTabZClipDetailLabelId).SetText(detail);
    Item(kDisplayTabZClipAutoId).Show(display.m_ZClip == kZClipAuto);
    Item(kDisplayTabZClipNbBlockId).Show(display.m_ZClip == kZClipFixed);

    const bool safeMode = InSafeMode();
    const bool editable = !safeMode && display.m_Customize != 0 && display.m_Preset == 0;
    for (u32 id : {kDisplayTabShaderId, kDisplayTabTexturesId, kDisplayTabFilteringId,
                   kDisplayTabShadowsId, kDisplayTabZClipId, kDisplayTabZClipAutoId,
                   kDisplayTabPostFxId, kDisplayTabWaterComplexId})
        Item(id).Enable(editable);
    // The water geometry only without a depth limit.
    Item(kDisplayTabWaterGeomId).Enable(editable && display.m_ZClip == kZClipDisable);

    Item(kDisplayTabCustomizeId).Enable(!safeMode);
    const bool presetShown = !safeMode && display.m_Customize != 0;
    ui::Control& preset = Item(kDisplayTabPresetId);
    preset.Enable(presetShown);
    preset.Show(presetShown);
    Item(kDisplayTabPresetLabelId)
        .SetText(presetShown ? LauncherTranslate(u"Preset") : std::string());

    const char16_t* title = safeMode      ? u"Safe mode settings"
                            : presetShown ? u"Custom settings"
                                          : u"Settings adapted to your graphic card";
    Item(kDisplayTabGroupId).SetText(LauncherTranslate(title));

    UpdatePostFxControls();
}

void CDisplayTabDlg::SaveDisplayPart(CSystemConfigDisplay& display) {
    display.m_ZClipNbBlock = ReadLeadingDecimal(Item(kDisplayTabZClipNbBlockId).GetText());
    SaveFilteringEntry(Item(kDisplayTabFilteringId).GetCurSel(), display.m_MaxFiltering,
                       display.m_AnisoQuality);
    SaveListValue(Item(kDisplayTabPresetId), display.m_Preset);
    SaveListValue(Item(kDisplayTabShaderId), display.m_ShaderQuality);
    SaveListValue(Item(kDisplayTabTexturesId), display.m_TexturesQuality);
    SaveListValue(Item(kDisplayTabAntialiasingId), display.m_Antialiasing);
    SaveListValue(Item(kDisplayTabShadowsId), display.m_Shadows);
    SaveListValue(Item(kDisplayTabZClipId), display.m_ZClip);
    SaveListValue(Item(kDisplayTabZClipAutoId), display.m_ZClipAuto);
    SaveCheck(Item(kDisplayTabCustomizeId), display.m_Customize);
    SaveCheck(Item(kDisplayTabWaterGeomId), display.m_WaterGeom);
    SaveCheck(Item(kDisplayTabWaterComplexId), display.m_WaterComplex);
    SaveCheck(Item(kDisplayTabPostFxId), display.m_PostFxEnable);
    SaveCheck(Item(kDisplayTabFxColorsId), display.m_ForceFxColors);
    SaveCheck(Item(kDisplayTabFxMotionBlurId), display.m_ForceFxMotionBlur);
}

void CDisplayTabDlg::UpdateTexts() {
    const std::pair<u32, const char16_t*> texts[] = {
        {kDisplayTabCustomizeLabelId, u"Customize"},
        {kDisplayTabAntialiasingLabelId, u"Antialiasing"},
        {kDisplayTabShaderLabelId, u"Shader quality"},
        {kDisplayTabTexturesLabelId, u"Texture quality"},
        {kDisplayTabZClipLabelId, u"Limit depth"},
        {kDisplayTabFilteringLabelId, u"Max filtering"},
        {kDisplayTabShadowsLabelId, u"Shadows"},
        {kDisplayTabWaterGeomLabelId, u"Water geometry"},
        {kDisplayTabWaterComplexLabelId, u"Complex water"},
        {kDisplayTabPostFxLabelId, u"PostProcess FXs"},
        {kDisplayTabFxColorsLabelId, u"Force Dynamic Colors"},
        {kDisplayTabFxMotionBlurLabelId, u"Force Motion Blur"},
        {kDisplayTabCompatibilityId, u"|Display|Compatibility"},
        {kAdvancedPageResetId, u"Reset to defaults"},
    };
    for (const auto& [id, key] : texts)
        Item(id).SetText(LauncherTranslate(key));
    FillTranslatedComboBox(DisplayEnumMemberInfo(kShadowsMemberId), Item(kDisplayTabShadowsId),
                           kAllAvailable);
}

void CDisplayTabDlg::UpdatePostFxControls() {
    const bool postFx = Item(kDisplayTabPostFxId).GetCheck();
    Item(kDisplayTabFxColorsId).Enable(postFx);
    Item(kDisplayTabFxMotionBlurId).Enable(postFx);
}

void CDisplayTabDlg::OnZClipChanged() {
    const CSystemConfigDisplay* active =
        theApp.m_Config ? theApp.m_Config->GetActiveDisplay() : nullptr;
    if (!active)
        return;
    CMwNodRef held(new CSystemConfigDisplay(*active));
    auto& copy = static_cast<CSystemConfigDisplay&>(*held.Get());
    SaveDisplayPart(copy);
    if (copy.m_ZClip != kZClipDisable) {
        copy.m_WaterGeom = 0;
        copy.m_ShowBackground = 0;
    }
    LoadDisplayPart(copy);
}

void CDisplayTabDlg::OnPresetChanged() {
    CSystemConfig* config = theApp.m_Config;
    if (!config)
        return;
    CMwNod* duplicate = config;
    if (DuplicateNod(&duplicate, false) == 0 || !duplicate) {
        ClassicLogFormatLine("[Launcher] The display preview could not copy the configuration");
        return;
    }
    const CMwNodRef held(duplicate);
    auto& copy = static_cast<CSystemConfig&>(*duplicate);
    if (copy.m_IsSafeMode == 0 && copy.m_Display) {
        CSystemConfigDisplay& display = *copy.m_Display;
        SaveDisplayPart(display);
        display.SetCustomize(1);
        // No preset chosen: the part keeps its own level rather than an index of none.
        if (const i32 level = Item(kDisplayTabPresetId).GetCurSel(); level >= 0)
            display.ApplyPreset(u32(level));
        display.SetCustomize(Item(kDisplayTabCustomizeId).GetCheck() ? 1 : 0);
    }
    copy.ApplyQualityPresets();
    if (CAdvancedDlg* dialog = theApp.m_AdvancedDlg; dialog && dialog->IsOpen())
        dialog->LoadPages(copy);
    else if (const CSystemConfigDisplay* active = copy.GetActiveDisplay())
        LoadDisplayPart(*active);
}

void CDisplayTabDlg::OnCompatibility() {
    CDisplayCompatibilityDlg dialog;
    dialog.DoModal();
}

void CDisplayTabDlg::OnReset() {
    CSystemConfig* config = theApp.m_Config;
    if (!config)
        return;
    SaveToConfig(*config);
    theApp.ResetConfigToDefaults(kDisplayTabResetKind);
    LoadFromConfig(*config);
    ReloadConfigDlg(*config);
}
