#include "launcher/BenchDlg.h"

#include "core/base/ClassicLog.h"
#include "core/base/ClassicTranslator.h"
#include "core/nod/MwMemberInfo.h"
#include "launcher/LauncherApp.h"
#include "platform/Clock.h"
#include "platform/ui/MessageBox.h"
#include "system/config/GpuInfo.h"
#include "system/config/SystemConfig.h"
#include "system/config/SystemConfigFile.h"
#include "system/file/ClassicBufferFile.h"
#include "system/file/FileSystem.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string_view>

constinit SBenchConfig g_BenchConfigs[kBenchConfigCount] = {
    {kBenchNoPreset, "|Config|Current"},
    {1, "|Config|Minimum"},
    {2, "|Config|Low"},
    {3, "|Config|Medium"},
    {5, "|Config|VeryHigh"},
    {kBenchNoPreset, "|Config|Automatic"},
};

namespace {

using ui::ControlKind;

constexpr std::array<ui::ControlTemplate, 5> kBenchDlgControls = {{
    {kBenchDlgOutputId, ControlKind::EditMultiRO, 5, 5, 260, 100, "", ui::FlagVScroll},
    {kBenchDlgConfigListId, ControlKind::ComboList, 115, 110, 100, 35},
    {kBenchDlgConfigLabelId, ControlKind::Label, 10, 110, 95, 13, "Configurations to bench"},
    {ui::IDOK, ControlKind::DefButton, 30, 130, 75, 14, "Run"},
    {ui::IDCANCEL, ControlKind::Button, 145, 130, 75, 14, "Cancel"},
}};

// Popup with a caption, set when it opens, and a system menu: the window manager's close box is
// Cancel while Cancel is enabled.
constexpr ui::DialogTemplate kBenchDlgTemplate = {
    kBenchDlgTemplateId, 272, 151, ui::StylePopup | ui::StyleCaption | ui::StyleSystemMenu, "Bench",
    kBenchDlgControls};

// The files the game is given: names beside the launcher, found by the game in its working
// folder, the install folder.
constexpr const char* kBenchConfigName = "Bench.SystemConfig.Zun";
constexpr const char* kReplayName = "Bench.Replay.Zun";
constexpr const char* kListName = "BenchList.txt";

// The entries of the configuration list.
constexpr i32 kListAll = 1;

// The Preset member of the display part, whose value names name the presets.
constexpr u32 kDisplayPresetMemberId = 0x0b013006;

const CMwMemberInfoEnum* PresetMemberInfo() {
    const CMwClassInfo& info = CSystemConfigDisplay::s_ClassInfo;
    for (u32 i = 0; i < info.m_MemberCount; ++i) {
        const CMwMemberInfo* member = info.m_MemberInfos[i];
        if (member && member->MemberId == kDisplayPresetMemberId)
            return static_cast<const CMwMemberInfoEnum*>(member);
    }
    return nullptr;
}

CClassicWideStringRef Translate(const char16_t* key) {
    return g_ClassicTranslator.Translate(key);
}

// The translation of a narrow key.
CClassicWideString TranslateNarrow(const char* key) {
    CClassicWideString wide;
    wide.AppendNarrow(key);
    return CClassicWideString(g_ClassicTranslator.Translate(wide.GetText()));
}

CClassicWideString Widen(CClassicStringRef text) {
    CClassicWideString wide;
    wide.AppendNarrow(text);
    return wide;
}

// A frame rate as the final message shows it; the output adds " fps".
CClassicString FpsText(f32 fps) {
    CClassicString text;
    text.Format("%.3g", double(fps));
    return text;
}

char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool StartsNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (FoldAscii(text[i]) != FoldAscii(prefix[i]))
            return false;
    }
    return true;
}

// The word is lower case.
bool ContainsNoCase(std::string_view text, std::string_view word) {
    for (size_t at = 0; at + word.size() <= text.size(); ++at) {
        if (FoldAscii(text[at]) == word[0] && StartsNoCase(text.substr(at), word))
            return true;
    }
    return false;
}

} // namespace

void RegisterBenchDlgResources() {
    ui::RegisterTemplate(kBenchDlgTemplate);
}

CClassicString BenchResultFileName(const SBenchConfig& config) {
    std::string_view name = config.Name;
    if (name.starts_with('|')) {
        const size_t second = name.find('|', 1);
        if (second != std::string_view::npos)
            name.remove_prefix(second + 1);
    }
    CClassicString file("Bench_");
    file.Append(CClassicStringRef(name.data(), u32(name.size())));
    file.Append(".txt");
    return file;
}

CClassicString BenchCommandLine(u32 index, bool listMode) {
    CClassicString line(listMode ? "/list_benchs=" : "/bench=");
    line.Append(listMode ? kListName : kReplayName);
    if (index > 0) {
        line.Append(" /config=");
        line.Append(kBenchConfigName);
    }
    line.Append(" /out=");
    line.Append(BenchResultFileName(g_BenchConfigs[index]));
    return line;
}

SBenchResult ParseBenchResult(std::span<const u8> bytes) {
    SBenchResult result;
    const char* text = reinterpret_cast<const char*>(bytes.data());
    const size_t size = bytes.size();
    // The next CR and LF at or after a place, the end for none; each found once.
    const auto next = [&](char c, size_t from) {
        const void* hit = from < size ? std::memchr(text + from, c, size - from) : nullptr;
        return hit ? size_t(static_cast<const char*>(hit) - text) : size;
    };
    size_t cr = next('\r', 0);
    size_t lf = next('\n', 0);
    bool rateLine = false;
    for (size_t pos = 0; pos < size;) {
        const size_t stop = std::min(cr, lf);
        const std::string_view line(text + pos, stop - pos);
        pos = stop + 1;
        if (cr < pos)
            cr = next('\r', pos);
        if (lf < pos)
            lf = next('\n', pos);
        if (line.empty())
            continue;
        if (rateLine) {
            rateLine = false;
            f32 fps = 0;
            if (CClassicString(CClassicStringRef(line.data(), u32(line.size()))).ParseFloat(fps) &&
                std::isfinite(fps))
                result.Fps = fps;
            continue;
        }
        if (line.size() == 14 && StartsNoCase(line, "// Average Fps")) {
            rateLine = true;
            continue;
        }
        if (StartsNoCase(line, "// WARNING") && ContainsNoCase(line, "driver")) {
            result.FilteringForced = result.FilteringForced || ContainsNoCase(line, "filter");
            result.AntialiasingForced = result.AntialiasingForced || ContainsNoCase(line, "alias");
        }
    }
    return result;
}

CBenchDlg::CBenchDlg() : ui::Dialog(kBenchDlgTemplateId) {
    if (const CMwMemberInfoEnum* presets = PresetMemberInfo()) {
        for (SBenchConfig& config : g_BenchConfigs) {
            if (config.Preset < kBenchNoPreset && config.Preset < presets->EnumCount)
                config.Name = presets->EnumNames[config.Preset];
        }
    }
    const CClassicWideString& folder = theApp.m_InstallFolder;
    m_BenchConfigPath = folder;
    m_BenchConfigPath.AppendNarrow(kBenchConfigName);
    m_ReplayName = Widen(kReplayName);
    m_ReplayPath = folder;
    m_ReplayPath.Append(u"GameData\\Tracks\\Replays\\");
    m_ReplayPath.Append(m_ReplayName);
    m_ListName = Widen(kListName);
    m_ListPath = folder;
    m_ListPath.Append(m_ListName);

    m_BenchConfig = new CSystemConfig;
    m_BenchConfig->AddRef();
    m_BenchConfig->m_Display->m_Size = {800, 600};
    m_BenchConfig->m_Display->m_FullScreen = 1;
}

CBenchDlg::~CBenchDlg() {
    m_BenchConfig->Release();
}

bool CBenchDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    SetWindowText(LauncherTranslate(u"|DialogTitle|Bench"));
    Item(ui::IDOK).SetText(LauncherTranslate(u"Run"));
    Item(ui::IDCANCEL).SetText(LauncherTranslate(u"Cancel"));
    m_LabelText = CClassicWideString(Translate(u"Configurations to bench"));
    ui::Control& list = Item(kBenchDlgConfigListId);
    list.ResetContent();
    list.AddString(LauncherTranslate(u"|Config|Current"));
    list.AddString(LauncherTranslate(u"|Config|All"));
    list.SetCurSel(0);

    m_ListMode = FileExists(m_ListPath);
    if (!m_ListMode && !FileExists(m_ReplayPath)) {
        Item(ui::IDOK).Enable(false);
        m_Output.Format2(Translate(u"Could find neither \r\n\"%1\"\r\n nor\r\n\"%2\"\r\n"),
                         LauncherPathForPlayer(m_ListPath), LauncherPathForPlayer(m_ReplayPath));
    } else {
        m_Output.Format1(Translate(u"Bench will be done with\r\n%1\r\n"),
                         LauncherPathForPlayer(m_ListMode ? m_ListPath : m_ReplayPath));
        Item(ui::IDOK).Enable(true);
    }
    Item(ui::IDCANCEL).Enable(true);
    UpdateData(false);
    return true;
}

void CBenchDlg::DoDataExchange(ui::DataExchange& dx) {
    // Both controls only show the texts: the player cannot change them, so reading them back
    // would give the same texts.
    if (dx.IsSaving())
        return;
    std::string output = LauncherUtf8(m_Output);
    std::string label = LauncherUtf8(m_LabelText);
    dx.Text(kBenchDlgOutputId, output);
    dx.Text(kBenchDlgConfigLabelId, label);
}

void CBenchDlg::OnOK() {
    OnRun();
}

void CBenchDlg::OnRun() {
    UpdateData(true);
    if (m_Index != 0) {
        // The series is done: OK closes.
        EndDialog(ui::IDOK);
        return;
    }
    m_TimerId = SetTimer(kBenchDlgTimerId, kBenchDlgTimerPeriodMs);
    Item(ui::IDOK).SetText(LauncherTranslate(u"Ok"));
    Item(ui::IDOK).Enable(false);
    ui::Control& list = Item(kBenchDlgConfigListId);
    list.Enable(false);
    m_EndIndex = list.GetCurSel() == kListAll ? kBenchConfigCount : 1;
}

void CBenchDlg::OnCancel() {
    if (m_Game.IsOpen()) {
        // Killed and reaped.
        m_Game.Terminate();
        m_Game.Close();
    }
    ui::Dialog::OnCancel();
}

void CBenchDlg::OnDestroy() {
    if (m_TimerId != 0) {
        KillTimer(m_TimerId);
        m_TimerId = 0;
    }
    ui::Dialog::OnDestroy();
}

void CBenchDlg::OnTimer(u32) {
    if (m_Game.IsOpen()) {
        const std::optional<int> status = m_Game.Poll();
        if (!status)
            return;
        // Poll reaped it; a game ended by a signal has a non-zero status.
        m_Game.Close();
        const bool success = *status == 0;
        ReadBenchResult(success);
        m_Index = success ? m_Index + 1 : m_EndIndex;
        if (m_Index >= m_EndIndex) {
            EndSeries();
            return;
        }
    }
    // The series done, every later tick (those of the final message's loop too) does nothing.
    if (m_Index < m_EndIndex)
        StartNextRun();
}

void CBenchDlg::StartNextRun() {
    while (m_Index < m_EndIndex && !IsBenchConfigSupported())
        ++m_Index;
    if (m_Index >= m_EndIndex) {
        EndSeries();
        return;
    }
    CClassicWideString announce;
    announce.Format1(Translate(u"Benching with %1 config..."),
                     TranslateNarrow(g_BenchConfigs[m_Index].Name));
    Append(announce);
    Append(u"\r\n");
    UpdateData(false);

    // Entry 0 benches the player's own configuration file; the others the bench configuration,
    // saved before the game starts, and never a file left by an earlier save.
    const bool prepared = m_Index == 0 || PrepareBenchConfig();
    m_ResultFileName = BenchResultFileName(g_BenchConfigs[m_Index]);
    if (!prepared || (!m_ListMode && !RemoveEarlierResult()) ||
        !theApp.LaunchGame(BenchCommandLine(m_Index, m_ListMode), false, &m_Game)) {
        ReadBenchResult(false);
        ++m_Index;
        if (m_Index >= m_EndIndex) {
            EndSeries();
            return;
        }
    }
    UpdateData(false);
}

bool CBenchDlg::PrepareBenchConfig() {
    CSystemConfigDisplay& display = *m_BenchConfig->m_Display;
    const u32 preset = g_BenchConfigs[m_Index].Preset;
    if (preset < kBenchNoPreset) {
        display.SetCustomize(1);
        display.ApplyPreset(preset);
    } else {
        display.SetCustomize(0);
    }
    if (SaveSystemConfig(m_BenchConfig, m_BenchConfigPath, nullptr))
        return true;
    g_ClassicLogLine.Assign("[Launcher] The bench configuration could not be saved to ");
    ClassicLogAppendWideText(g_ClassicLogLine, m_BenchConfigPath);
    g_ClassicLogLine.Append(": the bench of this configuration is not run\r\n");
    ClassicLogWriteLineToFiles();
    return false;
}

CClassicWideString CBenchDlg::ResultPath() const {
    CClassicWideString path = theApp.m_InstallFolder;
    path.Append(u"GameData\\Bench\\");
    path.AppendNarrow(m_ResultFileName);
    return path;
}

bool CBenchDlg::RemoveEarlierResult() const {
    const CClassicWideString path = ResultPath();
    if (!FileExists(path) || RemoveFile(path, true))
        return true;
    g_ClassicLogLine.Assign(
        "[Launcher] The result file of an earlier bench could not be removed: ");
    ClassicLogAppendWideText(g_ClassicLogLine, path);
    g_ClassicLogLine.Append(": the bench of this configuration is not run\r\n");
    ClassicLogWriteLineToFiles();
    return false;
}

bool CBenchDlg::IsBenchConfigSupported() const {
    const u32 preset = g_BenchConfigs[m_Index].Preset;
    return preset >= kDisplayPresetCount ||
           g_GpuInfo.PixelShaderClass >= g_PresetMinPixelShaderClass[preset];
}

bool CBenchDlg::ReadBenchResult(bool success) {
    if (!success) {
        Append(Translate(u"fails"));
        Append(u"\r\n");
    } else if (m_ListMode) {
        Append(Translate(u"done"));
        Append(u" \r\n");
    } else {
        const CClassicWideString path = ResultPath();
        // The game may still be writing it when it ends.
        for (u32 check = 1; !FileExists(path) && check < kBenchResultChecks; ++check)
            platform::SleepMs(kBenchResultCheckPeriodMs);
        SBenchResult result;
        const u64 size = std::min<u64>(GetPathFileSize(path), kBenchResultReadLimit);
        CClassicBufferFile file;
        if (FileExists(path) && file.Open(path, false, false, false, false)) {
            u8 bytes[kBenchResultReadLimit];
            if (file.Read(bytes, u32(size)) == size)
                result = ParseBenchResult(std::span<const u8>(bytes, size_t(size)));
            file.Close();
        }
        Append(Translate(u"done"));
        Append(u" ");
        if (result.Fps > 0) {
            CClassicString fps;
            fps.Format("%.3g fps", double(result.Fps));
            Append(Widen(fps));
            m_Results[m_Index] = result.Fps;
        }
        Append(u" (");
        Append(Widen(m_ResultFileName));
        Append(u")\r\n");
        if (result.FilteringForced) {
            Append(Translate(u"WARNING : Texture filtering has been forced by driver !!"));
            Append(u"\r\n");
        }
        if (result.AntialiasingForced) {
            Append(Translate(u"WARNING : Antialiasing has been forced by driver !!"));
            Append(u"\r\n");
        }
    }
    UpdateData(false);
    return success;
}

void CBenchDlg::EndSeries() {
    Item(ui::IDOK).Enable(true);
    Item(ui::IDCANCEL).Enable(false);
    UpdateData(false);
    if (m_ListMode)
        return;
    // The entry that matches the card when all were run, else the current configuration. A
    // series that failed before it leaves it without a rate, and nothing is told.
    const u32 entry = m_EndIndex == kBenchConfigCount ? u32(g_GpuInfo.PixelShaderClass) + 1 : 0;
    if (entry >= kBenchConfigCount || !(m_Results[entry] > 0))
        return;
    CClassicWideString text;
    text.Format2(Translate(u"Your graphic card supports \"%1\" settings at %2 fps."),
                 TranslateNarrow(g_BenchConfigs[entry].Name), Widen(FpsText(m_Results[entry])));
    ui::MessageBox(this, LauncherUtf8(text), LauncherTranslate(u"Bench result"), ui::MB_OK);
}

void CBenchDlg::Append(CClassicWideStringRef text) {
    m_Output.Append(text);
}
