// The advanced settings dialog in a real window, in French over a configuration: each tab is
// picked with a click on its label and the window saved as a picture (ImageMagick's import)
// with the page of that tab shown; each picture has the template's size in pixels. Copies go to
// the folder named by BRISALDE_TEST_PICTURES, for a person to look at.
#include "core/base/ClassicTranslator.h"
#include "launcher/AdvancedDlg.h"
#include "launcher/LauncherApp.h"
#include "platform/ui/fltk/FltkBackend.h"
#include "system/config/SystemConfig.h"
#include "tests/launcher/fltk/LauncherWindowSupport.h"
#include "tests/platform/fltk/FltkTestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

TEST(AdvancedDlgWindow, EachTabAtTheTemplateSize) {
    fltktest::TempFolder folder;
    ASSERT_TRUE(launchertest::LoadFrench(folder.Path()));
    theApp.m_Config = new CSystemConfig;
    theApp.m_Config->AddRef();
    // A customised display, so that every control of the Game page is enabled, and a limit of
    // the opponents, so that its number shows.
    theApp.m_Config->m_Display->m_Customize = 1;
    theApp.m_Config->m_Display->m_Preset = 0;
    theApp.m_Config->m_QrMaxOpponents = 8;
    RegisterAdvancedDlgResources();

    std::vector<std::string> pictures;
    std::vector<bool> shown;
    {
        ui::fltk::FltkBackend backend;
        CAdvancedDlg dialog;
        fltktest::Watchdog watchdog;
        fltktest::Driver driver;
        for (i32 tab = 0; tab < kAdvancedTabCount; ++tab) {
            driver
                .Then([&, tab] {
                    // A click on the tab's label, as the player picks it.
                    Fl_Widget& tabs = *backend.WidgetOf(dialog.Item(kAdvancedDlgTabId));
                    const ui::Rect item = dialog.Item(kAdvancedDlgTabId).GetItemRect(tab);
                    fltktest::ClickAt(*backend.WindowOf(dialog),
                                      tabs.x() + (item.Left + item.Right) / 2, tabs.y() + 10);
                })
                .Then([&, tab] {
                    shown.push_back(dialog.Item(kAdvancedDlgTabId).GetCurSel() == tab &&
                                    dialog.Page(tab) && dialog.Page(tab)->IsVisible());
                    const std::string picture =
                        folder.Path() + "/135-tab" + std::to_string(tab) + ".png";
                    EXPECT_TRUE(backend.SaveSnapshot(dialog, picture));
                    pictures.push_back(picture);
                });
        }
        driver.Then([&] { fltktest::Click(*backend.WidgetOf(dialog.Item(ui::IDCANCEL))); });
        driver.Start();
        EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
        EXPECT_TRUE(driver.Done());
    }
    EXPECT_EQ(shown, std::vector<bool>(kAdvancedTabCount, true));
    ASSERT_EQ(pictures.size(), size_t(kAdvancedTabCount));
    for (const std::string& picture : pictures) {
        const fltktest::PictureFacts facts = fltktest::Identify(picture);
        EXPECT_TRUE(facts.Read) << picture;
        EXPECT_EQ(facts.Width, 537) << picture;
        EXPECT_EQ(facts.Height, 378) << picture;
        EXPECT_GT(facts.Colours, 2) << picture;
        launchertest::KeepPicture(picture);
    }

    theApp.m_Config->Release();
    theApp.m_Config = nullptr;
    g_ClassicTranslator.Unload();
}

} // namespace
