#include "launcher/MainDlg.h"

#include "core/base/ClassicTranslator.h"
#include "launcher/ConfigDlg.h"
#include "launcher/HelpDlg.h"
#include "launcher/LauncherApp.h"
#include "launcher/LauncherText.h"
#include "platform/ui/MessageBox.h"
#include "system/config/SystemConfig.h"
#include "system/engine/SystemEngine.h"
#include "system/file/Registry.h"

#include <array>

// The picture's BMP bytes, linked in from resources/LauncherPicture.bmp.
extern "C" const u8 g_LauncherPictureBmp[];
extern "C" const u8 g_LauncherPictureBmpEnd[];
__asm__(".section .rodata\n"
        ".global g_LauncherPictureBmp\n"
        ".global g_LauncherPictureBmpEnd\n"
        "g_LauncherPictureBmp:\n"
        ".incbin \"" LAUNCHER_PICTURE_PATH "\"\n"
        "g_LauncherPictureBmpEnd:\n"
        ".previous\n");

namespace {

using ui::ControlKind;

constexpr std::array<ui::ControlTemplate, 6> kMainDlgControls = {{
    {ui::IDOK, ControlKind::DefButton, 5, 133, 60, 14, "Play"},
    {kMainDlgConfigureId, ControlKind::Button, 70, 133, 60, 14, "Config"},
    {kMainDlgHelpId, ControlKind::Button, 135, 133, 60, 14, "Help"},
    {kMainDlgUpdateId, ControlKind::Button, 200, 133, 65, 14, "Update"},
    {ui::IDCANCEL, ControlKind::Button, 270, 133, 50, 14, "Exit"},
    {kMainDlgPictureId, ControlKind::Picture, 1, 0, 328, 125},
}};

// Popup with a caption and a modal frame; the caption is the title, set when it opens. It has a
// close box, which ends it as Exit does: window managers give every window one.
constexpr ui::DialogTemplate kMainDlgTemplate = {
    kMainDlgTemplateId, 330, 154, ui::StylePopup | ui::StyleCaption | ui::StyleSystemMenu, "",
    kMainDlgControls};

} // namespace

void RegisterMainDlgResources() {
    ui::RegisterTemplate(kMainDlgTemplate);
    ui::RegisterPicture(kMainDlgPictureResource,
                        std::span<const u8>(g_LauncherPictureBmp, size_t(g_LauncherPictureBmpEnd -
                                                                         g_LauncherPictureBmp)));
}

bool CMainDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    ui::Control& picture = Item(kMainDlgPictureId);
    const bool loaded = picture.SetPicture(kMainDlgPictureResource);
    SetWindowText(LauncherUtf8(theApp.m_Title));
    if (loaded) {
        // Centred across the dialog's client area, at the top.
        const i32 dialogRight = ClientRect().Right;
        const i32 pictureRight = picture.ClientRect().Right;
        const i32 x = dialogRight > pictureRight ? (dialogRight - pictureRight) / 2 : 0;
        picture.SetWindowPos(x, 0, 0, 0, ui::SWP_NOSIZE | ui::SWP_NOOWNERZORDER);
    }
    if (CSystemEngine* engine = GetSystemEngine(); engine && theApp.m_Config)
        engine->LoadTranslation(theApp.m_Config->m_LanguageCode.GetText());
    UpdateTexts();

    CClassicString patch;
    ReadRegistryString("PatchAvailable", patch, "0");
    CClassicString kilobytes;
    if (PatchReminderKilobytes(patch, kilobytes)) {
        CClassicWideString number;
        number.AppendNarrow(kilobytes);
        CClassicWideString text;
        text.Format1(g_ClassicTranslator.Translate(
                         u"Last time you connected to game server, an update (%1 kBytes) was "
                         u"available.\nDo you want to check for this update now ?"),
                     number);
        if (ui::MessageBox(this, LauncherUtf8(text), "Brisalde", ui::MB_YESNO) == ui::IDYES)
            OnUpdate();
    }
    return true;
}

void CMainDlg::UpdateTexts() {
    Item(ui::IDOK).SetText(LauncherTranslate(u"Play"));
    Item(kMainDlgConfigureId).SetText(LauncherTranslate(u"Configure"));
    Item(kMainDlgHelpId).SetText(LauncherTranslate(u"Help"));
    Item(kMainDlgUpdateId).SetText(LauncherTranslate(u"Update"));
    Item(ui::IDCANCEL).SetText(LauncherTranslate(u"Exit"));
    UpdateData(false);
}

void CMainDlg::OnConfigure() {
    CConfigDlg dialog;
    // Cleared on every way out: the other dialogs reach the configuration dialog through it.
    struct OpenDialog {
        explicit OpenDialog(CConfigDlg* dialog) { theApp.m_ConfigDlg = dialog; }
        ~OpenDialog() { theApp.m_ConfigDlg = nullptr; }
        OpenDialog(const OpenDialog&) = delete;
        OpenDialog& operator=(const OpenDialog&) = delete;
    } open(&dialog);
    dialog.DoModal();
}

void CMainDlg::OnHelp() {
    CHelpDlg dialog;
    dialog.DoModal();
}

void CMainDlg::OnCommand(u32 id, i32 code) {
    if (id == kMainDlgConfigureId && code == ui::BN_CLICKED) {
        OnConfigure();
        return;
    }
    if (id == kMainDlgHelpId && code == ui::BN_CLICKED) {
        OnHelp();
        return;
    }
    if (id == kMainDlgUpdateId && code == ui::BN_CLICKED) {
        OnUpdate();
        return;
    }
    ui::Dialog::OnCommand(id, code);
}
