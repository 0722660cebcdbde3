#pragma once
// The launcher's main window: its picture and the buttons Play, Configure, Help, Update and Exit.
// It ends with IDOK for Play (the start-up road then starts the game) and IDCANCEL otherwise.
// When it opens it reminds the player of an update the last check found.
#include "platform/ui/Dialog.h"

// Template and control ids.
inline constexpr u32 kMainDlgTemplateId = 102;
inline constexpr u32 kMainDlgConfigureId = 1027;
inline constexpr u32 kMainDlgUpdateId = 1028;
inline constexpr u32 kMainDlgHelpId = 1029;
inline constexpr u32 kMainDlgPictureId = 1024;
// The picture's resource id.
inline constexpr u32 kMainDlgPictureResource = 147;

// Registers the main dialog's template and picture with the dialog layer.
void RegisterMainDlgResources();

class CMainDlg : public ui::Dialog {
public:
    CMainDlg() : ui::Dialog(kMainDlgTemplateId) {}

    // The translated texts of the five buttons; the configuration dialog calls it again after
    // the player changed the language.
    void UpdateTexts();
    // The configuration dialog, with theApp pointing at it while it runs.
    void OnConfigure();
    // The help dialog.
    void OnHelp();
    // The update road: the check, the offer, the download, storing the file and handing it to the
    // desktop, which ends the dialog (MainDlgUpdate.cpp). Nothing without an update server.
    void OnUpdate();

protected:
    bool OnInitDialog() override;
    void OnCommand(u32 id, i32 code) override;
};
