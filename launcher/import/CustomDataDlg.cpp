#include "launcher/import/CustomDataDlg.h"

#include "core/base/ClassicLog.h"
#include "core/base/ClassicTranslator.h"
#include "core/base/FastBuffer.h"
#include "launcher/LauncherApp.h"
#include "launcher/import/MusicImport.h"
#include "platform/File.h"
#include "platform/HostPath.h"
#include "platform/ShellOpen.h"
#include "platform/ui/FileDialog.h"
#include "platform/ui/MessageBox.h"
#include "system/file/FileSystem.h"
#include "system/file/PathHelpers.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace {

using ui::ControlKind;
using ui::FlagFlat;

constexpr std::array<ui::ControlTemplate, 12> kCustomDataDlgControls = {{
    {ui::IDOK, ControlKind::DefButton, 10, 100, 100, 14, "OK", FlagFlat},
    {kCustomDataDlgImportGroupId, ControlKind::GroupBox, 5, 5, 110, 92, "Data importer"},
    {kCustomDataDlgAvatarId, ControlKind::Button, 10, 20, 100, 15, "Avatar", FlagFlat},
    {kCustomDataDlgBlockSkinId, ControlKind::Button, 10, 40, 100, 15, "Block skin", FlagFlat},
    {kCustomDataDlgGeometryId, ControlKind::Button, 10, 60, 100, 15, "Car geometry", FlagFlat},
    {kCustomDataDlgMusicId, ControlKind::Button, 11, 79, 100, 15, "Convert music", FlagFlat},
    {kCustomDataDlgBrowseGroupId, ControlKind::GroupBox, 125, 5, 110, 115, "Go to directory"},
    {kCustomDataDlgChallengesId, ControlKind::Button, 130, 20, 100, 15, "Challenges", FlagFlat},
    {kCustomDataDlgReplaysId, ControlKind::Button, 130, 40, 100, 15, "Replays", FlagFlat},
    {kCustomDataDlgCampaignsId, ControlKind::Button, 130, 60, 100, 15, "Campaigns", FlagFlat},
    {kCustomDataDlgAvatarsId, ControlKind::Button, 130, 81, 100, 15, "Avatars", FlagFlat},
    {kCustomDataDlgCarSkinsId, ControlKind::Button, 130, 100, 100, 15, "Car Skins", FlagFlat},
}};

constexpr ui::DialogTemplate kCustomDataDlgTemplate = {kCustomDataDlgTemplateId,
                                                       242,
                                                       126,
                                                       ui::StylePopup | ui::StyleCaption |
                                                           ui::StyleSystemMenu,
                                                       "Custom Data",
                                                       kCustomDataDlgControls};

// The folder each browse button opens, under the data folder.
struct SBrowseButton {
    u32 Id;
    const char16_t* SubFolder;
};
constexpr std::array<SBrowseButton, 5> kBrowseButtons = {{
    {kCustomDataDlgChallengesId, u"Tracks\\Challenges\\"},
    {kCustomDataDlgReplaysId, u"Tracks\\Replays\\"},
    {kCustomDataDlgCampaignsId, u"Tracks\\Campaigns\\"},
    {kCustomDataDlgAvatarsId, u"Skins\\Avatars\\"},
    {kCustomDataDlgCarSkinsId, u"Skins\\Vehicles\\"},
}};

// One row per import kind. Titles, captions and failure texts are translated when shown; the
// filter and the extensions are not. The geometry import writes beside its source: it has no
// target folder and makes no target checks.
struct SImportKind {
    const char16_t* Title;
    const char* FilterDescription;
    const char* Patterns;
    const char* DefaultExtension;
    const char16_t* Caption;
    const char16_t* TargetFolder; // under the data folder
    const char16_t* TargetExtension;
    const char16_t* Failure;
};
constexpr std::array<SImportKind, kImportKindNone> kImportKinds = {{
    {u"Import car geometry", "geometry files (*.3ds)", "*.3ds", "3ds", u"Geometry import", nullptr,
     nullptr, nullptr},
    {u"Import image as avatar", "images files (*.tga,*.jpg)", "*.tga;*.jpg", "jpg",
     u"Avatar import", u"Skins\\Avatars\\", u".dds", u"Failed to import image"},
    {u"Import image as block skin", "images files (*.tga,*.jpg)", "*.tga;*.jpg", "jpg",
     u"Block skin import", u"Skins\\Any\\Advertisement\\", u".zip", u"Failed to import image"},
    {u"Convert ogg file", "music files (*.ogg)", "*.ogg", "ogg", u"Music conversion",
     u"Skins\\ChallengeMusics\\", u".mux", u"Failed to convert music"},
}};

std::u16string_view View(CClassicWideStringRef text) {
    return std::u16string_view(text.m_Text, text.m_Length);
}

void LogPathLine(const char* what, CClassicWideStringRef path) {
    g_ClassicLogLine.Assign(what);
    ClassicLogAppendWideText(g_ClassicLogLine, path);
    g_ClassicLogLine.Append("\r\n");
    ClassicLogWriteLine();
}

// The sub-folder of the data folder (the install folder, "GameData\\", the sub-folder, each
// ending with a backslash), its missing folders made; a failure to make them is only logged.
CClassicWideString MakeDataFolder(CClassicWideStringRef subFolder) {
    // Without an install folder (never in a launcher run) the path stays relative, to the
    // current folder, rather than starting at the root.
    CClassicWideString path;
    if (!theApp.m_InstallFolder.IsEmpty())
        AppendFolderToPath(path, theApp.m_InstallFolder);
    AppendFolderToPath(path, u"GameData\\");
    AppendFolderToPath(path, subFolder);
    if (CreateFolderPath(path) == kCreateFolderFailed)
        LogPathLine("[Launcher] The folder could not be made: ", path);
    return path;
}

char16_t FoldAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
}

// Whether two engine paths name one file of the host: the same device and inode, links followed
// (another spelling, a link to the file or to a folder above it).
bool NameOneFile(CClassicWideStringRef a, CClassicWideStringRef b) {
    std::string hostA;
    std::string hostB;
    platform::FileInfo infoA;
    platform::FileInfo infoB;
    return platform::ResolveHostPath(View(a), hostA) && platform::ResolveHostPath(View(b), hostB) &&
           platform::GetFileInfo(hostA, infoA) == 0 && platform::GetFileInfo(hostB, infoB) == 0 &&
           infoA.Device == infoB.Device && infoA.Inode == infoB.Inode;
}

// The paths, relative to the folder, of the files under it (sub-folders included, in the
// listing's order) whose name matches the base.
std::vector<CClassicWideString> FindImportMatches(CClassicWideStringRef folder,
                                                  CClassicWideStringRef base) {
    CFastBuffer<CClassicWideString> listing;
    ListFilesRecursive(folder, listing, u"*");
    std::vector<CClassicWideString> matches;
    CClassicWideString name;
    for (u32 i = 0; i < listing.m_Count; ++i) {
        GetFileNameOfPath(listing[i], name);
        if (IsImportBaseMatch(name, base))
            matches.push_back(listing[i]);
    }
    listing.FreeItems();
    return matches;
}

int Box(const ui::Dialog* owner, CClassicWideStringRef text, const char16_t* caption, u32 type) {
    return ui::MessageBox(owner, LauncherUtf8(text), LauncherTranslate(caption), type);
}

} // namespace

void RegisterCustomDataDlgResources() {
    ui::RegisterTemplate(kCustomDataDlgTemplate);
}

void OpenDataFolder(CClassicWideStringRef subFolder) {
    const CClassicWideString path = MakeDataFolder(subFolder);
    const int answer =
        platform::ShellOpen(u"explore", std::u16string_view(path.GetText(), path.GetLength()));
    if (answer <= 32) {
        g_ClassicLogLine.Format("[Launcher] The desktop did not open the folder (%d): ", answer);
        ClassicLogAppendWideText(g_ClassicLogLine, path);
        g_ClassicLogLine.Append("\r\n");
        ClassicLogWriteLine();
    }
}

bool CCustomDataDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    SetWindowText(LauncherTranslate(u"Custom data"));
    Item(ui::IDOK).SetText(LauncherTranslate(u"Ok"));
    Item(kCustomDataDlgImportGroupId).SetText(LauncherTranslate(u"Data importer"));
    Item(kCustomDataDlgBrowseGroupId).SetText(LauncherTranslate(u"Go to directory"));
    Item(kCustomDataDlgAvatarId).SetText(LauncherTranslate(u"|Import|Avatar"));
    Item(kCustomDataDlgBlockSkinId).SetText(LauncherTranslate(u"|Import|Block skin"));
    Item(kCustomDataDlgGeometryId).SetText(LauncherTranslate(u"|Import|Car geometry"));
    Item(kCustomDataDlgMusicId).SetText(LauncherTranslate(u"|Import|Convert music"));
    Item(kCustomDataDlgChallengesId).SetText(LauncherTranslate(u"|Browse|Challenges"));
    Item(kCustomDataDlgReplaysId).SetText(LauncherTranslate(u"|Browse|Replays"));
    Item(kCustomDataDlgCampaignsId).SetText(LauncherTranslate(u"|Browse|Campaigns"));
    Item(kCustomDataDlgAvatarsId).SetText(LauncherTranslate(u"|Browse|Avatars"));
    Item(kCustomDataDlgCarSkinsId).SetText(LauncherTranslate(u"|Browse|Car skins"));
    return true;
}

void CCustomDataDlg::OnCommand(u32 id, i32 code) {
    if (code == ui::BN_CLICKED) {
        if (id == kCustomDataDlgMusicId) {
            OnConvertMusic();
            return;
        }
        for (const SBrowseButton& button : kBrowseButtons) {
            if (button.Id == id) {
                OpenDataFolder(button.SubFolder);
                return;
            }
        }
    }
    ui::Dialog::OnCommand(id, code);
}

bool IsImportBaseMatch(CClassicWideStringRef name, CClassicWideStringRef base) {
    if (name.m_Length < base.m_Length)
        return false;
    for (u32 i = 0; i < base.m_Length; ++i) {
        if (FoldAscii(name.m_Text[i]) != FoldAscii(base.m_Text[i]))
            return false;
    }
    return name.m_Length == base.m_Length || name.m_Text[base.m_Length] == u'.';
}

bool CCustomDataDlg::ChooseImportFiles(CClassicWideString& source) {
    if (m_ImportKind >= kImportKindNone)
        return false;
    const SImportKind& kind = kImportKinds[m_ImportKind];
    ui::OpenFileSpec spec;
    spec.Title = LauncherTranslate(kind.Title);
    spec.FilterDescription = kind.FilterDescription;
    spec.Patterns = kind.Patterns;
    spec.DefaultExtension = kind.DefaultExtension;
    if (!platform::ResolveHostPath(View(theApp.m_InstallFolder), spec.InitialFolder))
        spec.InitialFolder.clear();
    spec.Flags = ui::OFN_HIDEREADONLY | ui::OFN_PATHMUSTEXIST | ui::OFN_FILEMUSTEXIST;
    const std::optional<std::string> chosen = ui::OpenFileDialog(this, spec);
    if (!chosen)
        return false;
    source = CClassicWideString(platform::FromHostPath(*chosen).c_str());
    return true;
}

bool CCustomDataDlg::PrepareImportTarget(SImportTarget& target, CClassicWideStringRef source) {
    if (m_ImportKind == kImportKindGeometry || m_ImportKind >= kImportKindNone)
        return false;
    const SImportKind& kind = kImportKinds[m_ImportKind];
    CClassicWideString base;
    GetBaseNameOfPath(source, base);
    // A name that begins with a dot has no base: every hidden file would be its game file.
    if (base.IsEmpty()) {
        LogPathLine("[Launcher] Import refused, the file name has no base name: ", source);
        ShowImportFailure();
        return false;
    }
    const CClassicWideString folder = MakeDataFolder(kind.TargetFolder);
    std::vector<CClassicWideString> matches = FindImportMatches(folder, base);
    target.Path = folder;
    target.Path.Append(base);
    target.Replaced.clear();
    // The first match is taken and the last moves into its place. Every question comes before
    // anything is removed, so a refusal or a No at any point leaves every file where it was.
    while (!matches.empty()) {
        CClassicWideString existing = folder;
        existing.Append(matches.front());
        CClassicWideString text;
        if (existing.CompareNoCase(source) == 0 || NameOneFile(existing, source)) {
            Box(this,
                g_ClassicTranslator.Translate(u"You can't import a file from the game directory."),
                kind.Caption, ui::MB_OK);
            return false;
        }
        if (IsFileReadOnly(existing, nullptr)) {
            text.Format1(g_ClassicTranslator.Translate(
                             u"This data already exists as a game file :\r\n%1\r\nThis game file "
                             u"is read-only, and can not be replaced."),
                         LauncherPathForPlayer(existing));
            Box(this, text, kind.Caption, ui::MB_OK);
            return false;
        }
        text.Format1(g_ClassicTranslator.Translate(u"This data already exists as a game file "
                                                   u":\r\n%1\r\nDo you want to replace it ?"),
                     LauncherPathForPlayer(existing));
        if (Box(this, text, kind.Caption, ui::MB_YESNO) != ui::IDYES)
            return false;
        // The new file takes the replaced file's folder and spelling.
        RemovePathExtensions(existing, target.Path);
        target.Replaced.push_back(std::move(existing));
        matches.front() = std::move(matches.back());
        matches.pop_back();
    }
    target.Path.Append(kind.TargetExtension);
    return true;
}

void CCustomDataDlg::RemoveReplacedFiles(const SImportTarget& target) const {
    for (const CClassicWideString& replaced : target.Replaced) {
        // The new file went in its place.
        if (PathsNameOneEntry(replaced, target.Path))
            continue;
        if (!RemoveFile(replaced, true))
            LogPathLine("[Launcher] The replaced game file could not be removed: ", replaced);
    }
}

void CCustomDataDlg::ShowImportFailure() const {
    if (m_ImportKind == kImportKindGeometry || m_ImportKind >= kImportKindNone)
        return;
    const SImportKind& kind = kImportKinds[m_ImportKind];
    Box(nullptr, g_ClassicTranslator.Translate(kind.Failure), kind.Caption,
        ui::MB_OK | ui::MB_ICONERROR);
}

void CCustomDataDlg::OnConvertMusic() {
    m_ImportKind = kImportKindMusic;
    CClassicWideString source;
    if (!ChooseImportFiles(source))
        return;
    SImportTarget target;
    if (!PrepareImportTarget(target, source))
        return;
    if (!ConvertMusicFile(source, target.Path)) {
        ShowImportFailure();
        return;
    }
    RemoveReplacedFiles(target);
    CClassicWideString text;
    text.Format1(
        g_ClassicTranslator.Translate(u"Your music has been successfully converted to :\r\n%1\r\n"),
        LauncherPathForPlayer(target.Path));
    Box(this, text, kImportKinds[kImportKindMusic].Caption, ui::MB_OK);
}
