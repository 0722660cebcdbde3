#pragma once
// The custom-data dialog, opened from the help dialog: buttons that open the game's data folders
// in the file manager, and the importers of the player's own data (car geometry, avatars, block
// skins, music). The importers' buttons are present but do nothing yet.
#include "core/base/ClassicString.h"
#include "platform/ui/Dialog.h"

// Template and control ids.
inline constexpr u32 kCustomDataDlgTemplateId = 151;
inline constexpr u32 kCustomDataDlgChallengesId = 3;
inline constexpr u32 kCustomDataDlgCarSkinsId = 4;
inline constexpr u32 kCustomDataDlgCampaignsId = 5;
inline constexpr u32 kCustomDataDlgReplaysId = 6;
inline constexpr u32 kCustomDataDlgAvatarsId = 7;
inline constexpr u32 kCustomDataDlgGeometryId = 1106;
inline constexpr u32 kCustomDataDlgBrowseGroupId = 1107;
inline constexpr u32 kCustomDataDlgImportGroupId = 1108;
inline constexpr u32 kCustomDataDlgAvatarId = 1109;
inline constexpr u32 kCustomDataDlgBlockSkinId = 1110;
inline constexpr u32 kCustomDataDlgMusicId = 1111;

// The import under way: 0 car geometry, 1 avatar, 2 block skin, 3 music, 4 none.
inline constexpr u32 kImportKindNone = 4;

void RegisterCustomDataDlgResources();

// Opens a sub-folder of the data folder ("Skins\\Avatars\\") in the file manager: the install
// folder, "GameData\\" and the sub-folder, each ending with a backslash. Missing folders are made
// first; a failure of either step is only logged.
void OpenDataFolder(CClassicWideStringRef subFolder);

class CCustomDataDlg : public ui::Dialog {
public:
    CCustomDataDlg() : ui::Dialog(kCustomDataDlgTemplateId) {}

    u32 m_ImportKind = kImportKindNone;

protected:
    bool OnInitDialog() override;
    void OnCommand(u32 id, i32 code) override;
};
