#include "launcher/HelpDlg.h"

#include "core/base/ClassicLog.h"
#include "core/base/ClassicTranslator.h"
#include "launcher/LauncherApp.h"
#include "launcher/import/CustomDataDlg.h"
#include "platform/ShellOpen.h"
#include "platform/ui/MessageBox.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFids.h"
#include "system/file/FileSystem.h"
#include "system/file/PathHelpers.h"

#include <array>
#include <string_view>

namespace {

using ui::ControlKind;

constexpr std::array<ui::ControlTemplate, 5> kHelpDlgControls = {{
    {kHelpDlgViewFaqId, ControlKind::Button, 5, 10, 80, 14, "View FAQ"},
    {kHelpDlgFaqTextId, ControlKind::EditMultiRO, 95, 10, 140, 30},
    {kHelpDlgCustomDataId, ControlKind::Button, 5, 55, 80, 14, "Custom Data"},
    {kHelpDlgCustomDataTextId, ControlKind::EditMultiRO, 95, 55, 140, 30},
    {ui::IDOK, ControlKind::Button, 100, 95, 50, 14, "Ok"},
}};

// With a system menu: the window manager's close box closes it as OK does.
constexpr ui::DialogTemplate kHelpDlgTemplate = {
    kHelpDlgTemplateId, 242, 116, ui::StylePopup | ui::StyleCaption | ui::StyleSystemMenu, "Help",
    kHelpDlgControls};

// The shell's answers up to this one are failures.
constexpr int kShellLastError = 32;

// The folder the FAQ pages lie in, ending with a backslash.
CClassicWideString FaqFolder() {
    CClassicWideString folder;
    CSystemEngine* engine = GetSystemEngine();
    CSystemFids* data = engine ? engine->GetDataFolder() : nullptr;
    if (data && data->m_Parent) {
        data->m_Parent->GetFullDirName(folder);
    } else {
        // The data folder lies in the install folder whenever it exists.
        folder = theApp.m_InstallFolder;
        ClassicLogFormatLine("[Launcher] No data folder: the FAQ is looked for in the install "
                             "folder");
    }
    if (!folder.IsEmpty() && folder[folder.GetLength() - 1] != u'\\')
        folder.Append(u"\\");
    return folder;
}

} // namespace

void RegisterHelpDlgResources() {
    ui::RegisterTemplate(kHelpDlgTemplate);
}

CClassicWideString HelpFaqPath() {
    const CClassicWideString folder = FaqFolder();
    CSystemEngine* engine = GetSystemEngine();
    const CClassicWideString code(CClassicStringRef(engine ? engine->GetLanguageCode() : "xx"));
    CClassicWideString wanted;
    wanted.FormatNarrow2("%1TechnicalFaq_%2.html", folder, code);
    CClassicWideString fallback;
    fallback.FormatNarrow1("%1TechnicalFaq_en.html", folder);
    if (!FileExists(wanted) && FileExists(fallback))
        return fallback;
    return wanted;
}

bool CHelpDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    SetWindowText(LauncherTranslate(u"Help"));
    Item(kHelpDlgViewFaqId).SetText(LauncherTranslate(u"View FAQ"));
    Item(kHelpDlgCustomDataId).SetText(LauncherTranslate(u"Custom data"));
    m_FaqText = LauncherTranslate(u"Here are the answer to many compatibilty questions.");
    m_CustomDataText = LauncherTranslate(
        u"This game allow to customize many datas.\r\nHere you can find where they are located.");
    UpdateData(false);
    return true;
}

void CHelpDlg::DoDataExchange(ui::DataExchange& dx) {
    dx.Text(kHelpDlgCustomDataTextId, m_CustomDataText);
    dx.Text(kHelpDlgFaqTextId, m_FaqText);
}

void CHelpDlg::OnCommand(u32 id, i32 code) {
    if (code == ui::BN_CLICKED) {
        if (id == kHelpDlgViewFaqId) {
            OnViewFaq();
            return;
        }
        if (id == kHelpDlgCustomDataId) {
            OnCustomData();
            return;
        }
    }
    ui::Dialog::OnCommand(id, code);
}

bool ShellOpenOrTell(const ui::Dialog* owner, CClassicWideStringRef path) {
    const int answer =
        platform::ShellOpen(u"open", std::u16string_view(path.m_Text, path.m_Length));
    if (answer > kShellLastError)
        return true;
    const CClassicWideString shown = LauncherPathForPlayer(path);
    CClassicWideString text;
    if (answer == platform::kShellFileNotFound) {
        text.Format1(g_ClassicTranslator.Translate(u"File \"%1\" not found"), shown);
    } else if (answer == platform::kShellPathNotFound) {
        text.Format1(g_ClassicTranslator.Translate(u"Path \"%1\" not found"), shown);
    } else {
        CClassicString error;
        error.Format("Unknow ShellExecute error (%d)", answer);
        text.AppendNarrow(error);
        text.Append(u"\n");
        text.Append(shown);
    }
    g_ClassicLogLine.Format("[Launcher] The desktop did not open the file (%d): ", answer);
    g_ClassicLogLine.AppendWide(path);
    g_ClassicLogLine.Append("\r\n");
    ClassicLogWriteLine();
    ui::MessageBox(owner, LauncherUtf8(text), LauncherTranslate(u"Error"), ui::MB_OK);
    return false;
}

void CHelpDlg::OnViewFaq() {
    ShellOpenOrTell(this, HelpFaqPath());
}

void CHelpDlg::OnCustomData() {
    CCustomDataDlg dialog;
    dialog.DoModal();
}
