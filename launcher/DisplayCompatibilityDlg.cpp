#include "launcher/DisplayCompatibilityDlg.h"

#include "launcher/AdvancedTabDlg.h"
#include "launcher/ConfigDlg.h"
#include "launcher/LauncherApp.h"
#include "launcher/LauncherText.h"
#include "system/config/SystemConfig.h"

#include <algorithm>
#include <array>

namespace {

using ui::ControlKind;

// The labels stand left of their controls, up to them.
constexpr std::array<ui::ControlTemplate, 29> kCompatibilityControls = {{
    {kCompatibilityColorDepthId, ControlKind::ComboList, 90, 5, 66, 40},
    {kCompatibilityRefreshRateId, ControlKind::Edit, 90, 20, 24, 12},
    {kCompatibilityVSyncId, ControlKind::Check, 90, 35, 10, 10},
    {kCompatibilityGpuSyncId, ControlKind::ComboList, 265, 5, 91, 83},
    {kCompatibilityVertexProcessId, ControlKind::ComboList, 265, 20, 91, 83},
    {kCompatibilityAgpId, ControlKind::Slider, 260, 40, 70, 10},
    {kCompatibilityPercentId, ControlKind::Label, 330, 40, 25, 10, ""},
    {kCompatibilityCursorId, ControlKind::Check, 125, 65, 10, 10},
    {kCompatibilityFullscreenGdiId, ControlKind::Check, 125, 75, 10, 10},
    {kCompatibilityDynaGeomId, ControlKind::Check, 125, 85, 8, 10, "", ui::FlagOwnText},
    {kCompatibilityShadowBufferId, ControlKind::Check, 295, 65, 10, 10, "", ui::FlagOwnText},
    {kCompatibilityColorWriteMaskId, ControlKind::Check, 295, 75, 10, 10},
    {kCompatibilityZBufferRangeId, ControlKind::Check, 295, 85, 10, 10},
    {kCompatibilityDriverCrashesId, ControlKind::Check, 295, 95, 10, 10},
    {ui::IDOK, ControlKind::DefButton, 65, 110, 50, 14, "Ok"},
    {ui::IDCANCEL, ControlKind::Button, 210, 110, 50, 14, "Cancel"},
    {kCompatibilityColorDepthLabelId, ControlKind::Label, 5, 7, 83, 10, "Color depth"},
    {kCompatibilityRefreshRateLabelId, ControlKind::Label, 5, 22, 83, 10, "Refresh rate"},
    {kCompatibilityVSyncLabelId, ControlKind::Label, 5, 36, 83, 10, "Display VSync"},
    {kCompatibilityGpuSyncLabelId, ControlKind::Label, 165, 7, 98, 10, "Cpu/Gpu synchro"},
    {kCompatibilityVertexProcessLabelId, ControlKind::Label, 170, 22, 93, 10, "Vertex processing"},
    {kCompatibilityAgpLabelId, ControlKind::Label, 158, 40, 100, 10, "AGP Usage"},
    {kCompatibilityCursorLabelId, ControlKind::Label, 10, 65, 113, 10, "Emulate cursor"},
    {kCompatibilityFullscreenGdiLabelId, ControlKind::Label, 10, 75, 113, 10,
     "Enable Fullscreen GDI"},
    {kCompatibilityDynaGeomLabelId, ControlKind::Label, 10, 86, 113, 10,
     "Optimize dynamic geometry"},
    {kCompatibilityShadowBufferLabelId, ControlKind::Label, 150, 65, 143, 10,
     "Disable ShadowBuffers"},
    {kCompatibilityColorWriteMaskLabelId, ControlKind::Label, 146, 75, 147, 10,
     "Disable ColorWriteMask"},
    {kCompatibilityZBufferRangeLabelId, ControlKind::Label, 146, 85, 147, 10,
     "Disable ZBufferRange"},
    {kCompatibilityDriverCrashesLabelId, ControlKind::Label, 143, 95, 150, 10,
     "Ignore driver crashes"},
}};

// With a system menu: the window manager's close box is Cancel.
constexpr ui::DialogTemplate kCompatibilityTemplate = {kDisplayCompatibilityDlgTemplateId,
                                                       362,
                                                       131,
                                                       ui::StylePopup | ui::StyleCaption |
                                                           ui::StyleSystemMenu,
                                                       "",
                                                       kCompatibilityControls};

// The members' ids, for their value names.
constexpr u32 kColorDepthMemberId = 0x0b013007;
constexpr u32 kGpuSyncMemberId = 0x0b013017;
constexpr u32 kVertexProcessMemberId = 0x0b013019;

constexpr u32 kAllAvailable = 0xFFFFFFFF;
constexpr i32 kAgpSliderMax = 100;

// The checks and their members.
struct SCheckMember {
    u32 Id;
    u32 CSystemConfigDisplay::*Member;
};
constexpr std::array<SCheckMember, 8> kChecks = {{
    {kCompatibilityVSyncId, &CSystemConfigDisplay::m_VSync},
    {kCompatibilityCursorId, &CSystemConfigDisplay::m_EmulateCursorGDI},
    {kCompatibilityFullscreenGdiId, &CSystemConfigDisplay::m_EnableFullscreenGDI},
    {kCompatibilityDynaGeomId, &CSystemConfigDisplay::m_OptimizePartialDynaGeom},
    {kCompatibilityShadowBufferId, &CSystemConfigDisplay::m_DisableShadowBuffer},
    {kCompatibilityColorWriteMaskId, &CSystemConfigDisplay::m_DisableColorWriteMask},
    {kCompatibilityZBufferRangeId, &CSystemConfigDisplay::m_DisableZBufferRange},
    {kCompatibilityDriverCrashesId, &CSystemConfigDisplay::m_IgnoreDriverCrashes},
}};

// The controls safe mode disables: every one of the table but the slider and the buttons.
constexpr std::array<u32, 13> kEditedInNormalMode = {
    kCompatibilityColorDepthId,   kCompatibilityRefreshRateId,    kCompatibilityVSyncId,
    kCompatibilityGpuSyncId,      kCompatibilityVertexProcessId,  kCompatibilityPercentId,
    kCompatibilityCursorId,       kCompatibilityFullscreenGdiId,  kCompatibilityDynaGeomId,
    kCompatibilityShadowBufferId, kCompatibilityColorWriteMaskId, kCompatibilityZBufferRangeId,
    kCompatibilityDriverCrashesId};

} // namespace

void RegisterDisplayCompatibilityDlgResources() {
    ui::RegisterTemplate(kCompatibilityTemplate);
}

i32 AgpUseFactorToPosition(f32 factor) {
    return VolumeToPosition(factor);
}

f32 PositionToAgpUseFactor(i32 position) {
    return std::clamp(PositionToVolume(position), 0.0f, 1.0f);
}

bool CDisplayCompatibilityDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    SetWindowText(LauncherTranslate(u"|DialogTitle|Display compatibility"));
    FillTranslatedComboBox(DisplayEnumMemberInfo(kGpuSyncMemberId), Item(kCompatibilityGpuSyncId),
                           kAllAvailable);
    FillTranslatedComboBox(DisplayEnumMemberInfo(kVertexProcessMemberId),
                           Item(kCompatibilityVertexProcessId), kAllAvailable);
    FillTranslatedComboBox(DisplayEnumMemberInfo(kColorDepthMemberId),
                           Item(kCompatibilityColorDepthId), kAllAvailable);
    Item(kCompatibilityAgpId).SetRange(0, kAgpSliderMax);
    CSystemConfig* config = theApp.m_Config;
    const bool safeMode = config && config->m_IsSafeMode != 0;
    for (u32 id : kEditedInNormalMode)
        Item(id).Enable(!safeMode);
    if (config)
        LoadFromConfig(*config);
    UpdateTexts();
    return true;
}

void CDisplayCompatibilityDlg::LoadFromConfig(CSystemConfig& config) {
    const CSystemConfigDisplay* display = config.GetActiveDisplay();
    if (!display)
        return;
    CClassicString rate;
    rate.Format("%u", display->m_RefreshRate);
    Item(kCompatibilityRefreshRateId).SetText(rate.GetText());
    SelectListValue(Item(kCompatibilityColorDepthId), display->m_ColorDepth);
    SelectListValue(Item(kCompatibilityGpuSyncId), display->m_GpuSync);
    SelectListValue(Item(kCompatibilityVertexProcessId), display->m_VertexProcess);
    for (const SCheckMember& check : kChecks)
        Item(check.Id).SetCheck(display->*check.Member != 0);
    Item(kCompatibilityAgpId).SetPos(AgpUseFactorToPosition(display->m_AgpUseFactor));
    // The slider's redraw shows the percentage of the position just set.
    ShowPercent();
}

void CDisplayCompatibilityDlg::SaveToConfig(CSystemConfig& config) {
    if (config.m_IsSafeMode != 0 || !config.m_Display)
        return;
    CSystemConfigDisplay& display = *config.m_Display;
    display.m_RefreshRate = ReadLeadingDecimal(Item(kCompatibilityRefreshRateId).GetText());
    SaveListValue(Item(kCompatibilityColorDepthId), display.m_ColorDepth);
    SaveListValue(Item(kCompatibilityGpuSyncId), display.m_GpuSync);
    SaveListValue(Item(kCompatibilityVertexProcessId), display.m_VertexProcess);
    for (const SCheckMember& check : kChecks)
        display.*check.Member = Item(check.Id).GetCheck() ? 1 : 0;
    display.m_AgpUseFactor = PositionToAgpUseFactor(Item(kCompatibilityAgpId).GetPos());
}

void CDisplayCompatibilityDlg::UpdateTexts() {
    const std::pair<u32, const char16_t*> texts[] = {
        {kCompatibilityRefreshRateLabelId, u"Refresh rate"},
        {kCompatibilityVSyncLabelId, u"Display VSync"},
        {kCompatibilityColorDepthLabelId, u"Color depth"},
        {kCompatibilityAgpLabelId, u"AGP Usage"},
        {kCompatibilityColorWriteMaskLabelId, u"Disable ColorWriteMask"},
        {kCompatibilityZBufferRangeLabelId, u"Disable ZBufferRange"},
        {kCompatibilityShadowBufferLabelId, u"Disable ShadowBuffers"},
        {kCompatibilityFullscreenGdiLabelId, u"Enable Fullscreen GDI"},
        {kCompatibilityShadowBufferId, u"(to prevent graphic bugs)"},
        {kCompatibilityCursorLabelId, u"Emulate cursor"},
        {kCompatibilityDynaGeomLabelId, u"Optimize dynamic geometry"},
        {kCompatibilityDynaGeomId, u"(faster but prone to bugs)"},
        {kCompatibilityDriverCrashesLabelId, u"Ignore driver crashes"},
        {kCompatibilityGpuSyncLabelId, u"Cpu/Gpu synchro"},
        {kCompatibilityVertexProcessLabelId, u"Vertex processing"},
        {ui::IDOK, u"Ok"},
        {ui::IDCANCEL, u"Cancel"},
    };
    for (const auto& [id, key] : texts)
        Item(id).SetText(LauncherTranslate(key));
}

void CDisplayCompatibilityDlg::OnOK() {
    if (CSystemConfig* config = theApp.m_Config)
        SaveToConfig(*config);
    ui::Dialog::OnOK();
}

void CDisplayCompatibilityDlg::OnNotify(u32 id, i32 code) {
    if (id == kCompatibilityAgpId && code == ui::NM_CUSTOMDRAW)
        ShowPercent();
}

void CDisplayCompatibilityDlg::ShowPercent() {
    CClassicString percent;
    percent.Format("%d%%", Item(kCompatibilityAgpId).GetPos());
    Item(kCompatibilityPercentId).SetText(percent.GetText());
}
