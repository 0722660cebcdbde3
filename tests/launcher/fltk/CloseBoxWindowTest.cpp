// The window manager's close box on the launcher's dialogs in real windows: WM_DELETE_WINDOW sent
// through the X server ends each one as its Cancel does (the help dialog, which has none, as its
// OK would close it, with IDCANCEL).
#include "launcher/BenchDlg.h"
#include "launcher/ConfigDlg.h"
#include "launcher/DisplayCompatibilityDlg.h"
#include "launcher/DownloadDlg.h"
#include "launcher/HelpDlg.h"
#include "launcher/LauncherApp.h"
#include "platform/ui/fltk/FltkBackend.h"
#include "system/config/SystemConfig.h"
#include "tests/platform/fltk/FltkTestSupport.h"

#include <FL/x.H>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace {

// The download dialog, telling when its Cancel runs.
class CDownloadCancelSeen : public CDownloadDlg {
public:
    explicit CDownloadCancelSeen(bool& cancelled)
        : CDownloadDlg(42, nullptr), m_Cancelled(cancelled) {}

protected:
    void OnCancel() override {
        m_Cancelled = true;
        CDownloadDlg::OnCancel();
    }

private:
    bool& m_Cancelled;
};

TEST(DialogCloseBox, EndsEveryDialogAsCancel) {
    theApp.m_LanguageCodes.Add(CClassicString("en"));
    theApp.m_Config = new CSystemConfig;
    theApp.m_Config->AddRef();
    RegisterConfigDlgResources();
    RegisterBenchDlgResources();
    RegisterHelpDlgResources();
    RegisterDisplayCompatibilityDlgResources();

    bool downloadCancelled = false;
    const std::pair<const char*, std::function<std::unique_ptr<ui::Dialog>()>> dialogs[] = {
        {"configuration", [] { return std::make_unique<CConfigDlg>(); }},
        {"display compatibility", [] { return std::make_unique<CDisplayCompatibilityDlg>(); }},
        {"bench", [] { return std::make_unique<CBenchDlg>(); }},
        {"help", [] { return std::make_unique<CHelpDlg>(); }},
        {"download",
         [&downloadCancelled] { return std::make_unique<CDownloadCancelSeen>(downloadCancelled); }},
    };
    for (const auto& [name, make] : dialogs) {
        SCOPED_TRACE(name);
        fltktest::Watchdog watchdog(15);
        ui::fltk::FltkBackend backend;
        const std::unique_ptr<ui::Dialog> dialog = make();
        fltktest::Driver driver;
        driver
            .Until([&] {
                Fl_Window* window = backend.WindowOf(*dialog);
                return window && window->shown() && fl_xid(window);
            })
            .Then([&] { fltktest::SendDeleteWindow(*backend.WindowOf(*dialog)); });
        driver.Start();
        EXPECT_EQ(dialog->DoModal(), ui::IDCANCEL);
        EXPECT_TRUE(driver.Done());
    }
    EXPECT_TRUE(downloadCancelled);

    theApp.m_Config->Release();
    theApp.m_Config = nullptr;
    theApp.m_LanguageCodes.FreeItems();
}

} // namespace
