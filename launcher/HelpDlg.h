#pragma once
// The help dialog behind the main dialog's Help button: the technical FAQ page of the current
// language, opened in the player's browser, and the custom-data dialog.
#include "core/base/ClassicString.h"
#include "platform/ui/Dialog.h"

#include <string>

// Template and control ids.
inline constexpr u32 kHelpDlgTemplateId = 152;
inline constexpr u32 kHelpDlgCustomDataId = 5;
inline constexpr u32 kHelpDlgViewFaqId = 6;
inline constexpr u32 kHelpDlgFaqTextId = 1101;
inline constexpr u32 kHelpDlgCustomDataTextId = 1102;

void RegisterHelpDlgResources();

// The FAQ page to open, beside the data folder (in the folder holding it, or the install folder
// when there is no data folder): "TechnicalFaq_" + the current language code + ".html", or the
// English page when that one is missing and the English one is there.
CClassicWideString HelpFaqPath();

// Hands a file to the desktop (ShellOpen, "open"); true when it opened. Otherwise the player is
// told in a box owned by the owner, caption "Error": "File "%1" not found" or "Path "%1" not
// found" with the path, any other answer as "Unknow ShellExecute error (%d)" with the path on a
// line of its own, so that the player can open it by hand.
bool ShellOpenOrTell(const ui::Dialog* owner, CClassicWideStringRef path);

class CHelpDlg : public ui::Dialog {
public:
    CHelpDlg() : ui::Dialog(kHelpDlgTemplateId) {}

    // Hands the FAQ page to the desktop; a failure is told in a box with the shell's answer.
    void OnViewFaq();
    // The custom-data dialog, run over this one.
    void OnCustomData();

protected:
    bool OnInitDialog() override;
    void OnCommand(u32 id, i32 code) override;
    void DoDataExchange(ui::DataExchange& dx) override;

private:
    std::string m_CustomDataText;
    std::string m_FaqText;
};
