#include "launcher/import/CustomDataDlg.h"

#include "core/base/ClassicLog.h"
#include "launcher/LauncherApp.h"
#include "platform/ShellOpen.h"
#include "system/file/FileSystem.h"
#include "system/file/PathHelpers.h"

#include <array>
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

} // namespace

void RegisterCustomDataDlgResources() {
    ui::RegisterTemplate(kCustomDataDlgTemplate);
}

void OpenDataFolder(CClassicWideStringRef subFolder) {
    // Without an install folder (never in a launcher run) the path stays relative, to the
    // current folder, rather than starting at the root.
    CClassicWideString path;
    if (!theApp.m_InstallFolder.IsEmpty())
        AppendFolderToPath(path, theApp.m_InstallFolder);
    AppendFolderToPath(path, u"GameData\\");
    AppendFolderToPath(path, subFolder);
    if (CreateFolderPath(path) == kCreateFolderFailed) {
        g_ClassicLogLine.Assign("[Launcher] The folder could not be made: ");
        ClassicLogAppendWideText(g_ClassicLogLine, path);
        g_ClassicLogLine.Append("\r\n");
        ClassicLogWriteLine();
    }
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
        for (const SBrowseButton& button : kBrowseButtons) {
            if (button.Id == id) {
                OpenDataFolder(button.SubFolder);
                return;
            }
        }
    }
    ui::Dialog::OnCommand(id, code);
}
