// Shows the download dialog (template 140) in a real FLTK window with the texts of an update in
// progress and its bar part-way, for a look at its layout: run under a virtual display with
// BRISALDE_UI_SNAPSHOT set, it saves the window as 140.png and closes it.
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "launcher/DownloadDlg.h"
#include "net/engine/NetClasses.h"
#include "platform/ui/fltk/FltkBackend.h"

namespace {

// The dialog as it looks a while into a download.
class CDownloadInProgress : public CDownloadDlg {
public:
    CDownloadInProgress() : CDownloadDlg(42, nullptr) {}

protected:
    bool OnInitDialog() override {
        CDownloadDlg::OnInitDialog();
        Item(kDownloadDlgProgressId).SetPos(40);
        return true;
    }
};

} // namespace

int main() {
    if (!ui::fltk::OpenDisplay())
        return ui::fltk::NoDisplayStatus;
    CMwIdTable::Create();
    CMwClassRegistry::AddClassList(g_MwCoreClassList);
    CMwClassRegistry::AddClassList(g_NetClassList);
    CMwClassRegistry::Init();
    int result = 0;
    {
        ui::fltk::FltkBackend backend({ui::fltk::SnapshotFolderFromEnvironment()});
        CDownloadInProgress dialog;
        dialog.m_SizeText = CClassicWideString(u"File size is 1 954 kBytes.");
        dialog.m_Description = CClassicWideString(
            u"Version 1.2 of the game: new cars for every championship, the night tracks of "
            u"the desert and a faster start. The installer keeps your settings and your "
            u"records.\nRead the notes on the web site for the whole list of changes.");
        result = dialog.DoModal();
    }
    CMwClassRegistry::Shutdown();
    CMwIdTable::Destroy();
    return result == ui::IDCANCEL ? 0 : 1;
}
