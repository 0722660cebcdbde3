#include "launcher/ConfigDlg.h"

#include "core/base/ClassicLog.h"
#include "core/base/ClassicTranslator.h"
#include "core/nod/MwMemberInfo.h"
#include "launcher/AdvancedDlg.h"
#include "launcher/BenchDlg.h"
#include "launcher/LauncherApp.h"
#include "launcher/MainDlg.h"
#include "platform/DisplayModes.h"
#include "system/config/GpuInfo.h"
#include "system/config/SystemConfig.h"
#include "system/engine/SystemEngine.h"

#include <array>
#include <cmath>

namespace {

using ui::ControlKind;

constexpr std::array<ui::ControlTemplate, 27> kConfigDlgControls = {{
    {kConfigDlgLanguageId, ControlKind::ComboList, 87, 5, 95, 50},
    {kConfigDlgFullScreenId, ControlKind::Check, 90, 30, 9, 10, "FullScreen"},
    {kConfigDlgWindowedListId, ControlKind::ComboList, 90, 40, 95, 50},
    {kConfigDlgFullScreenListId, ControlKind::ComboList, 90, 40, 95, 88},
    {kConfigDlgRatioId, ControlKind::ComboList, 90, 55, 95, 50},
    {kConfigDlgAutoScaleId, ControlKind::ComboList, 90, 70, 95, 50},
    {kConfigDlgAudioId, ControlKind::Check, 90, 98, 16, 10},
    {kConfigDlgSoundId, ControlKind::Slider, 85, 110, 98, 10},
    {kConfigDlgMusicId, ControlKind::Slider, 85, 120, 98, 10},
    {kConfigDlgConnectionId, ControlKind::ComboList, 90, 140, 92, 58},
    {kConfigDlgFastLoadId, ControlKind::Check, 90, 165, 9, 10},
    {kConfigDlgSafeModeId, ControlKind::Check, 90, 175, 9, 10},
    {kConfigDlgAdvancedId, ControlKind::Button, 35, 191, 120, 14, "Advanced"},
    {kConfigDlgSaveId, ControlKind::DefButton, 5, 210, 56, 14, "Save"},
    {kConfigDlgBenchId, ControlKind::Button, 65, 210, 55, 14, "Bench"},
    {ui::IDCANCEL, ControlKind::Button, 125, 210, 55, 14, "Cancel"},
    {kConfigDlgLanguageLabelId, ControlKind::Label, 5, 5, 80, 15, "Language"},
    {kConfigDlgFullScreenLabelId, ControlKind::Label, 5, 30, 80, 8, "Fullscreen"},
    {kConfigDlgResolutionLabelId, ControlKind::Label, 5, 40, 80, 13, "Resolution"},
    {kConfigDlgRatioLabelId, ControlKind::Label, 5, 55, 80, 14, "Display Ratio"},
    {kConfigDlgQualityLabelId, ControlKind::Label, 5, 70, 80, 14, "Performance / Quality"},
    {kConfigDlgAudioLabelId, ControlKind::Label, 5, 95, 80, 16, "Audio Enabled"},
    {kConfigDlgSoundLabelId, ControlKind::Label, 5, 110, 80, 10, "Sound Volume"},
    {kConfigDlgMusicLabelId, ControlKind::Label, 5, 120, 80, 8, "Music Volume"},
    {kConfigDlgConnectionLabelId, ControlKind::Label, 5, 140, 80, 15, "Connection "},
    {kConfigDlgFastLoadLabelId, ControlKind::Label, 5, 165, 80, 10, "Fast Loading"},
    {kConfigDlgSafeModeLabelId, ControlKind::Label, 5, 175, 80, 10, "Safe Mode"},
}};

// With a system menu: the window manager's close box is Cancel.
constexpr ui::DialogTemplate kConfigDlgTemplate = {kConfigDlgTemplateId,
                                                   190,
                                                   231,
                                                   ui::StylePopup | ui::StyleCaption |
                                                       ui::StyleSystemMenu,
                                                   "Configuration",
                                                   kConfigDlgControls};

// Every value of a list available.
constexpr u32 kAllAvailable = 0xFFFFFFFF;

// The safe-mode size when the desktop's is not known: the safe part's size at construction.
constexpr SystemDisplaySize kUnknownDesktopSafeSize = {640, 480};
// The full-screen size stored when the adapter offers no size at all.
constexpr SystemDisplaySize kNoModeSize = {640, 480};

bool SameSize(const SystemDisplaySize& a, const SystemDisplaySize& b) {
    return a.Width == b.Width && a.Height == b.Height;
}

// Inserts a size after every entry of its width or less, unless the entry just before that place
// is the same size.
void InsertByWidth(CFastBuffer<SystemDisplaySize>& row, const SystemDisplaySize& size) {
    u32 place = 0;
    while (place < row.m_Count && row.m_Items[place].Width <= size.Width)
        ++place;
    if (place > 0 && SameSize(row.m_Items[place - 1], size))
        return;
    row.Add(size);
    for (u32 i = row.m_Count - 1; i > place; --i)
        row.m_Items[i] = row.m_Items[i - 1];
    row.m_Items[place] = size;
}

std::string SizeText(const SystemDisplaySize& size) {
    CClassicString text;
    text.Format("%dx%d", i32(size.Width), i32(size.Height));
    return std::string(text.GetText(), text.GetLength());
}

const CMwMemberInfoEnum& EnumMember(const CMwClassInfo& info, u32 memberId) {
    const CMwMemberInfo* member = info.m_MemberInfos[memberId & 0xFFF];
    return *static_cast<const CMwMemberInfoEnum*>(member);
}

// The ratio rows' names, through the current catalogue; the selection is kept.
void FillRatioNames(ui::Control& ratio) {
    const i32 selection = ratio.GetCurSel();
    ratio.ResetContent();
    for (const char16_t* key : {u"< 4:3", u"4:3", u"> 4:3 (wider)"})
        ratio.AddString(LauncherTranslate(key));
    ratio.SetCurSel(selection);
}

// A list's selection as an index below count; false for none or past the end.
bool SelectionBelow(const ui::Control& list, u32 count, u32& index) {
    const i32 selection = list.GetCurSel();
    if (selection < 0 || u32(selection) >= count)
        return false;
    index = u32(selection);
    return true;
}

} // namespace

void RegisterConfigDlgResources() {
    ui::RegisterTemplate(kConfigDlgTemplate);
}

u32 DisplayRatioRow(u32 width, u32 height) {
    if (height == 0)
        return 1;
    const long double ratio = static_cast<long double>(width) / static_cast<long double>(height);
    const long double fourThirds = static_cast<long double>(4.0f / 3.0f);
    const long double tolerance = static_cast<long double>(1e-5f);
    if (ratio < fourThirds - tolerance)
        return 0;
    if (ratio > fourThirds + tolerance)
        return 2;
    return 1;
}

u32 DesktopRatioRow(u32 width, u32 height) {
    return DisplayRatioRow(width, height) == 2 ? 2 : 1;
}

void CollapseDisplayModes(std::span<const SystemDisplaySize> modes, DisplayRatioRows& rows) {
    for (CFastBuffer<SystemDisplaySize>& row : rows)
        row.FreeItems();
    CFastBuffer<SystemDisplaySize> sorted;
    for (const SystemDisplaySize& mode : modes) {
        if (mode.Width >= 640 && mode.Height >= 480)
            InsertByWidth(sorted, mode);
    }
    for (u32 i = 0; i < sorted.m_Count; ++i) {
        const SystemDisplaySize& size = sorted.m_Items[i];
        InsertByWidth(rows[DisplayRatioRow(size.Width, size.Height)], size);
    }
    sorted.FreeItems();
}

i32 VolumeToPosition(f32 volume) {
    const f32 product = volume * 100.0f;
    if (!(product > 0.0f))
        return 0;
    if (product >= 100.0f)
        return 100;
    return i32(product + 0.001f);
}

f32 PositionToVolume(i32 position) {
    return f32(position) * 0.01f;
}

const CMwMemberInfoEnum& AutoScaleMemberInfo() {
    return DisplayEnumMemberInfo(0x0b013003);
}

const CMwMemberInfoEnum& NetworkConnectionMemberInfo() {
    return ConfigEnumMemberInfo(0x0b00500a);
}

const CMwMemberInfoEnum& ConfigEnumMemberInfo(u32 memberId) {
    return EnumMember(CSystemConfig::s_ClassInfo, memberId);
}

const CMwMemberInfoEnum& DisplayEnumMemberInfo(u32 memberId) {
    return EnumMember(CSystemConfigDisplay::s_ClassInfo, memberId);
}

void FillTranslatedComboBox(const CMwMemberInfoEnum& member, ui::Control& combo, u32 mask) {
    const i32 selection = combo.GetCurSel();
    combo.ResetContent();
    for (u32 i = 0; i < member.EnumCount; ++i) {
        CClassicWideString key;
        key.AppendNarrow(CClassicStringRef(member.EnumNames[i]));
        CClassicWideString text(g_ClassicTranslator.Translate(key.GetText()));
        if ((mask & (1u << (i % 32))) == 0)
            text.Append(u" (N/A)");
        combo.AddString(LauncherUtf8(text));
    }
    if (selection >= 0 && u32(selection) < member.EnumCount)
        combo.SetCurSel(selection);
}

CConfigDlg::~CConfigDlg() {
    for (CFastBuffer<SystemDisplaySize>& row : m_RatioRows)
        row.FreeItems();
}

void CConfigDlg::DoDataExchange(ui::DataExchange& dx) {
    dx.SliderPos(kConfigDlgMusicId, m_MusicPosition);
    dx.SliderPos(kConfigDlgSoundId, m_SoundPosition);
    dx.Check(kConfigDlgAudioId, m_AudioEnabled);
    dx.Text(kConfigDlgLanguageLabelId, m_LanguageLabel);
    dx.Text(kConfigDlgRatioLabelId, m_RatioLabel);
    dx.Text(kConfigDlgFullScreenLabelId, m_FullScreenLabel);
    dx.Text(kConfigDlgAudioLabelId, m_AudioLabel);
    dx.Text(kConfigDlgMusicLabelId, m_MusicLabel);
    dx.Text(kConfigDlgSoundLabelId, m_SoundLabel);
    dx.Text(kConfigDlgSafeModeLabelId, m_SafeModeLabel);
    dx.Text(kConfigDlgConnectionLabelId, m_ConnectionLabel);
    dx.Text(kConfigDlgResolutionLabelId, m_ResolutionLabel);
    dx.Text(kConfigDlgQualityLabelId, m_QualityLabel);
    dx.Text(kConfigDlgFastLoadLabelId, m_FastLoadLabel);
}

bool CConfigDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    CSystemEngine* engine = GetSystemEngine();

    // Each catalogue's own name. Its loads would write their lines (and a refused file its
    // error) to the log: nothing is logged meanwhile, whatever way the loop ends.
    ui::Control& languages = Item(kConfigDlgLanguageId);
    languages.ResetContent();
    {
        struct LogSuspension {
            LogSuspension() { ++g_ClassicLog.m_SuspendCount; }
            ~LogSuspension() { --g_ClassicLog.m_SuspendCount; }
            LogSuspension(const LogSuspension&) = delete;
            LogSuspension& operator=(const LogSuspension&) = delete;
        } suspension;
        for (u32 i = 0; i < theApp.m_LanguageCodes.m_Count; ++i) {
            const bool loaded =
                engine && engine->LoadTranslation(theApp.m_LanguageCodes[i].GetText());
            languages.AddString(
                loaded ? LauncherUtf8(CClassicWideStringRef(g_ClassicTranslator.GetLanguageName()))
                       : std::string("<error>"));
        }
    }
    languages.SetCurSel(0);

    // Named again once the configuration's catalogue is current (OnLanguageChanged): the loop
    // above left the last catalogue loaded.
    FillRatioNames(Item(kConfigDlgRatioId));

    ui::Control& windowed = Item(kConfigDlgWindowedListId);
    windowed.ResetContent();
    for (const SystemDisplaySize& size : g_WindowedSizes)
        windowed.AddString(SizeText(size));

    CFastBuffer<SystemDisplaySize> modes;
    if (const platform::DisplayModes* adapter = theApp.m_Direct3D) {
        platform::DisplayMode mode;
        const u32 count = adapter->Count(platform::D3dFormat::X8R8G8B8);
        for (u32 i = 0; i < count; ++i) {
            if (adapter->Enum(platform::D3dFormat::X8R8G8B8, i, mode))
                modes.Add({mode.Width, mode.Height});
        }
    }
    CollapseDisplayModes(std::span<const SystemDisplaySize>(modes.m_Items, modes.m_Count),
                         m_RatioRows);
    modes.FreeItems();

    FillTranslatedComboBox(AutoScaleMemberInfo(), Item(kConfigDlgAutoScaleId), kAllAvailable);
    FillTranslatedComboBox(NetworkConnectionMemberInfo(), Item(kConfigDlgConnectionId),
                           kAllAvailable);
    FillResolutionList(DesktopRatioRow(g_GpuInfo.DesktopWidth, g_GpuInfo.DesktopHeight));

    if (theApp.m_Config)
        LoadFromConfig(*theApp.m_Config);
    Item(kConfigDlgBenchId).Enable(true);
    return true;
}

void CConfigDlg::OnCommand(u32 id, i32 code) {
    if (code == ui::BN_CLICKED) {
        switch (id) {
            case kConfigDlgSaveId:
                OnSave();
                return;
            case kConfigDlgSafeModeId:
                OnSafeModeDefaults();
                return;
            case kConfigDlgFullScreenId:
                OnFullScreenClicked();
                return;
            case kConfigDlgAdvancedId:
                OnAdvanced();
                return;
            case kConfigDlgBenchId:
                OnBench();
                return;
            default:
                break;
        }
    } else if (code == ui::CBN_SELCHANGE) {
        if (id == kConfigDlgRatioId) {
            OnRatioChanged();
            return;
        }
        if (id == kConfigDlgLanguageId) {
            OnLanguageChanged();
            return;
        }
    } else if (code == ui::CBN_SELENDOK && id == kConfigDlgAutoScaleId) {
        OnAutoScaleChanged();
        return;
    }
    ui::Dialog::OnCommand(id, code);
}

void CConfigDlg::OnBench() {
    CBenchDlg bench;
    bench.DoModal();
}

void CConfigDlg::FillResolutionList(u32 row) {
    const CFastBuffer<SystemDisplaySize>& sizes = m_RatioRows[row];
    if (sizes.m_Count == 0) {
        // The list keeps the sizes it shows: the ratio goes back to their row, so that Save
        // stores the size shown and not the same entry of another row.
        Item(kConfigDlgRatioId).SetCurSel(m_ListRow);
        return;
    }
    m_ListRow = i32(row);
    Item(kConfigDlgRatioId).SetCurSel(i32(row));
    ui::Control& list = Item(kConfigDlgFullScreenListId);
    list.ResetContent();
    for (u32 i = 0; i < sizes.m_Count; ++i)
        list.AddString(SizeText(sizes.m_Items[i]));
    list.SetCurSel(0);
}

void CConfigDlg::LoadFromConfig(CSystemConfig& config) {
    const CSystemConfigDisplay& display = *config.GetActiveDisplay();

    // The language: an exact match wins; among partial ones the last.
    i32 match = -1;
    for (u32 i = 0; i < theApp.m_LanguageCodes.m_Count; ++i) {
        const i32 quality = ClassicMatchLanguage(theApp.m_LanguageCodes[i].GetText(),
                                                 config.m_LanguageCode.GetText());
        if (quality == 2) {
            match = i32(i);
            break;
        }
        if (quality == 1)
            match = i32(i);
    }
    Item(kConfigDlgLanguageId).SetCurSel(match >= 0 ? match : 0);
    OnLanguageChanged();

    // The full-screen size in its row; the row's first size when the adapter does not offer it.
    const u32 row = DisplayRatioRow(display.m_Size.Width, display.m_Size.Height);
    i32 index = 0;
    for (u32 i = 0; i < m_RatioRows[row].m_Count; ++i) {
        if (SameSize(m_RatioRows[row].m_Items[i], display.m_Size)) {
            index = i32(i);
            break;
        }
    }
    FillResolutionList(row);
    Item(kConfigDlgFullScreenListId).SetCurSel(index);

    Item(kConfigDlgWindowedListId).SetCurSel(i32(display.m_WindowedSizeIndex));
    Item(kConfigDlgFullScreenId).SetCheck(display.m_FullScreen != 0);
    Item(kConfigDlgSafeModeId).SetCheck(config.m_IsSafeMode != 0);
    Item(kConfigDlgFastLoadId).SetCheck(display.m_EnableFastLoad != 0);

    const bool editable = config.m_IsSafeMode == 0;
    for (u32 id : {kConfigDlgFullScreenId, kConfigDlgFullScreenListId, kConfigDlgWindowedListId,
                   kConfigDlgRatioId})
        Item(id).Enable(editable);

    m_AudioEnabled = config.m_AudioEnabled != 0 ? 1 : 0;
    m_SoundPosition = VolumeToPosition(config.m_AudioSoundVolume);
    m_MusicPosition = VolumeToPosition(config.m_AudioMusicVolume);

    Item(kConfigDlgAutoScaleId).SetCurSel(i32(display.m_AutoScale));
    Item(kConfigDlgConnectionId).SetCurSel(i32(config.m_NetworkConnection));
    UpdateData(false);
    OnFullScreenClicked();
    UpdateAutoScaleControls();
}

void CConfigDlg::SaveToConfig(CSystemConfig& config) {
    UpdateData(true);

    u32 language = 0;
    if (SelectionBelow(Item(kConfigDlgLanguageId), theApp.m_LanguageCodes.m_Count, language))
        config.m_LanguageCode = theApp.m_LanguageCodes[language];

    // The first row with sizes from the ratio chosen on; with no ratio chosen (no size of the
    // desktop's ratio), from the first.
    u32 row = 0;
    SelectionBelow(Item(kConfigDlgRatioId), kDisplayRatioRowCount, row);
    for (u32 step = 0; step < kDisplayRatioRowCount && m_RatioRows[row].m_Count == 0; ++step)
        row = (row + 1) % kDisplayRatioRowCount;

    if (config.m_IsSafeMode == 0 && config.m_Display) {
        CSystemConfigDisplay& display = *config.m_Display;
        const CFastBuffer<SystemDisplaySize>& sizes = m_RatioRows[row];
        if (sizes.m_Count == 0) {
            display.m_Size = kNoModeSize;
        } else {
            // The list shows this row's sizes, or nothing (no ratio shown yet): its selection
            // counts only when it lies in this row.
            u32 index = 0;
            SelectionBelow(Item(kConfigDlgFullScreenListId), sizes.m_Count, index);
            display.m_Size = sizes.m_Items[index];
        }
        u32 selected = 0;
        if (SelectionBelow(Item(kConfigDlgWindowedListId), kWindowedSizeCount, selected))
            display.m_WindowedSizeIndex = selected;
        display.m_FullScreen = Item(kConfigDlgFullScreenId).GetCheck() ? 1 : 0;
        if (SelectionBelow(Item(kConfigDlgAutoScaleId), AutoScaleMemberInfo().EnumCount, selected))
            display.m_AutoScale = selected;
        display.SetCustomize(display.m_Customize);
        display.m_EnableFastLoad = Item(kConfigDlgFastLoadId).GetCheck() ? 1 : 0;
    }

    config.m_IsSafeMode = Item(kConfigDlgSafeModeId).GetCheck() ? 1 : 0;
    config.m_AudioEnabled = m_AudioEnabled != 0 ? 1 : 0;
    config.m_AudioSoundVolume = PositionToVolume(m_SoundPosition);
    config.m_AudioMusicVolume = PositionToVolume(m_MusicPosition);
    u32 connection = 0;
    if (SelectionBelow(Item(kConfigDlgConnectionId), NetworkConnectionMemberInfo().EnumCount,
                       connection))
        config.m_NetworkConnection = connection;
}

void CConfigDlg::OnLanguageChanged() {
    const CFastBuffer<CClassicString>& codes = theApp.m_LanguageCodes;
    if (codes.m_Count == 0)
        return;
    u32 index = 0;
    SelectionBelow(Item(kConfigDlgLanguageId), codes.m_Count, index);
    if (CSystemEngine* engine = GetSystemEngine())
        engine->LoadTranslation(codes[index].GetText());
    // A dialog opened alone (in a test) has no main window behind it.
    if (auto* main = dynamic_cast<CMainDlg*>(theApp.m_pMainWnd); main && main->IsOpen())
        main->UpdateTexts();

    SetWindowText(LauncherTranslate(u"Configuration"));
    m_LanguageLabel = LauncherTranslate(u"Language");
    m_FullScreenLabel = LauncherTranslate(u"Fullscreen");
    m_AudioLabel = LauncherTranslate(u"Audio enable");
    m_SoundLabel = LauncherTranslate(u"Sound volume");
    m_MusicLabel = LauncherTranslate(u"Music volume");
    m_SafeModeLabel = LauncherTranslate(u"Safe Mode");
    m_ConnectionLabel = LauncherTranslate(u"Connection");
    m_FastLoadLabel = LauncherTranslate(u"Fast Load");
    Item(kConfigDlgSaveId).SetText(LauncherTranslate(u"Save"));
    Item(ui::IDCANCEL).SetText(LauncherTranslate(u"Cancel"));
    Item(kConfigDlgAdvancedId).SetText(LauncherTranslate(u"Advanced"));
    Item(kConfigDlgBenchId).SetText(LauncherTranslate(u"Bench"));
    Item(kConfigDlgSafeModeId).SetText(LauncherTranslate(u"Safe Mode"));

    FillTranslatedComboBox(AutoScaleMemberInfo(), Item(kConfigDlgAutoScaleId), kAllAvailable);
    FillTranslatedComboBox(NetworkConnectionMemberInfo(), Item(kConfigDlgConnectionId),
                           kAllAvailable);
    FillRatioNames(Item(kConfigDlgRatioId));
    UpdateData(false);
    OnFullScreenClicked();
    UpdateAutoScaleControls();
}

void CConfigDlg::OnFullScreenClicked() {
    const bool fullScreen = Item(kConfigDlgFullScreenId).GetCheck();
    m_ResolutionLabel =
        LauncherTranslate(fullScreen ? u"Fullscreen Resolution" : u"Windowed Resolution");
    m_RatioLabel = fullScreen ? LauncherTranslate(u"Display ratio") : std::string();
    Item(kConfigDlgRatioId).Show(fullScreen);
    Item(kConfigDlgFullScreenListId).Show(fullScreen);
    Item(kConfigDlgWindowedListId).Show(!fullScreen);
    UpdateData(false);
}

void CConfigDlg::UpdateAutoScaleControls() {
    bool automatic = false;
    if (theApp.m_Config)
        automatic = theApp.m_Config->GetActiveDisplay()->m_Customize == 0;
    Item(kConfigDlgAutoScaleId).Show(automatic);
    m_QualityLabel =
        automatic ? LauncherTranslate(u"|GfxAutoScale|Performance / Quality") : std::string();
    UpdateData(false);
}

void CConfigDlg::OnRatioChanged() {
    const i32 row = Item(kConfigDlgRatioId).GetCurSel();
    if (row >= 0 && u32(row) < kDisplayRatioRowCount)
        FillResolutionList(u32(row));
}

void CConfigDlg::OnSafeModeDefaults() {
    CSystemConfig* config = theApp.m_Config;
    if (!config)
        return;
    const bool colorDepth32 = g_GpuInfo.DesktopBytesPerPixel >= 4;
    SystemDisplaySize size = {g_GpuInfo.DesktopWidth, g_GpuInfo.DesktopHeight};
    if (size.Width > 800 && theApp.m_Direct3D) {
        const platform::D3dFormat format =
            colorDepth32 ? platform::D3dFormat::X8R8G8B8 : platform::D3dFormat::R5G6B5;
        platform::DisplayMode mode;
        const u32 count = theApp.m_Direct3D->Count(format);
        for (u32 i = 0; i < count; ++i) {
            if (theApp.m_Direct3D->Enum(format, i, mode) && mode.Width == 800 && mode.Height == 600)
                size = {800, 600};
        }
    }
    if (size.Width == 0 || size.Height == 0) {
        size = kUnknownDesktopSafeSize;
        ClassicLogFormatLine("[Launcher] The desktop size is not known: safe mode uses %ux%u",
                             size.Width, size.Height);
    }
    config->SetDisplaySafeDefaults(colorDepth32 ? 1 : 0, size);
    SaveToConfig(*config);
    LoadFromConfig(*config);
}

void CConfigDlg::OnAutoScaleChanged() {
    if (CSystemConfig* config = theApp.m_Config) {
        SaveToConfig(*config);
        config->ApplyQualityPresets();
    }
}

void CConfigDlg::OnSave() {
    if (!theApp.m_Config)
        return;
    SaveToConfig(*theApp.m_Config);
    theApp.SaveSystemConfig();
    if (theApp.ConfirmConfigWarnings(this, false))
        EndDialog(ui::IDOK);
}

void CConfigDlg::OnAdvanced() {
    CSystemConfig* config = theApp.m_Config;
    if (!config)
        return;
    SaveToConfig(*config);
    CAdvancedDlg dialog;
    {
        // Cleared on every way out: the pages reach the dialog through it.
        struct OpenDialog {
            explicit OpenDialog(CAdvancedDlg* dialog) { theApp.m_AdvancedDlg = dialog; }
            ~OpenDialog() { theApp.m_AdvancedDlg = nullptr; }
            OpenDialog(const OpenDialog&) = delete;
            OpenDialog& operator=(const OpenDialog&) = delete;
        } open(&dialog);
        dialog.DoModal();
    }
    UpdateAutoScaleControls();
}
