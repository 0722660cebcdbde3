#pragma once
// The custom-data dialog, opened from the help dialog: buttons that open the game's data folders
// in the file manager, and the importers of the player's own data (car geometry, avatars, block
// skins, music). Of the importers, the music conversion works; the other three buttons do nothing
// yet.
//
// An import picks its source in the open-file dialog of its kind, then (all but the geometry)
// checks its target against the game files already there: every file of the kind's folder whose
// name is the source's base name, with any extensions, is either refused (the source itself, a
// read-only file) or offered for replacement. Nothing is removed before the conversion has put
// its new file in place.
#include "core/base/ClassicString.h"
#include "platform/ui/Dialog.h"

#include <vector>

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

// The import under way.
inline constexpr u32 kImportKindGeometry = 0;
inline constexpr u32 kImportKindAvatar = 1;
inline constexpr u32 kImportKindBlockSkin = 2;
inline constexpr u32 kImportKindMusic = 3;
inline constexpr u32 kImportKindNone = 4;

void RegisterCustomDataDlgResources();

// Opens a sub-folder of the data folder ("Skins\\Avatars\\") in the file manager: the install
// folder, "GameData\\" and the sub-folder, each ending with a backslash. Missing folders are made
// first; a failure of either step is only logged.
void OpenDataFolder(CClassicWideStringRef subFolder);

// Whether a file name is a game file of an import's base name: the base itself, or the base
// followed by a dot and anything, ASCII letters compared without regard to case. The base is
// taken literally: '*', '?' and '[' in it match only themselves.
bool IsImportBaseMatch(CClassicWideStringRef name, CClassicWideStringRef base);

// Where an import writes, and the game files the player agreed to replace. The handler removes
// those only once its new file is in place (one of them may be the target itself, which the new
// file replaced).
struct SImportTarget {
    CClassicWideString Path;
    std::vector<CClassicWideString> Replaced;
};

class CCustomDataDlg : public ui::Dialog {
public:
    CCustomDataDlg() : ui::Dialog(kCustomDataDlgTemplateId) {}

    // The open-file dialog of the current kind, owned by this dialog, in the install folder.
    // True with the chosen file's engine path in source; false (source untouched) when the
    // player cancelled or the dialog failed.
    bool ChooseImportFiles(CClassicWideString& source);
    // The target of the current kind (avatar, block skin, music) for a source, after the checks
    // against the game files of its folder (made first when missing), each refusal or question a
    // box owned by this dialog. False when the import must stop: a source without base name (the
    // kind's failure box), a match that is the source or read-only, or a No.
    bool PrepareImportTarget(SImportTarget& target, CClassicWideStringRef source);

    u32 m_ImportKind = kImportKindNone;

protected:
    bool OnInitDialog() override;
    void OnCommand(u32 id, i32 code) override;

    // Converts an OGG file of the player's into the game's music folder.
    void OnConvertMusic();

    // After a conversion that put its file in place: the replaced files go (attributes cleared
    // first), all but the target itself.
    void RemoveReplacedFiles(const SImportTarget& target) const;
    // The current kind's failure box: error sign, no owner.
    void ShowImportFailure() const;
};
