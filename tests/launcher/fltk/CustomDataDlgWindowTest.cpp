// The custom-data dialog's Convert music in a real window: FLTK's own chooser opens with the
// music kind's title and filter, is saved as a picture (ImageMagick's import, with the whole
// screen beside it) and cancelled; nothing is made in the data folder. Copies of the pictures go
// to the folder named by BRISALDE_TEST_PICTURES, for a person to look at.
#include "launcher/LauncherApp.h"
#include "launcher/import/CustomDataDlg.h"
#include "platform/HostPath.h"
#include "platform/ui/fltk/FltkBackend.h"
#include "tests/launcher/fltk/LauncherWindowSupport.h"
#include "tests/platform/fltk/FltkTestSupport.h"

#include <FL/Fl.H>
#include <FL/Fl_Choice.H>
#include <FL/x.H>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace {

// ImageMagick's import of an X window ("root" for the whole screen) into a file.
bool Import(const std::string& window, const std::string& path) {
    const std::string command = "import -window " + window + " " + path;
    return std::system(command.c_str()) == 0;
}

TEST(CustomDataDlgWindow, ConvertMusicOpensTheChooserOfTheMusicKind) {
    fltktest::Watchdog watchdog(30);
    fltktest::TempFolder install;
    std::filesystem::create_directories(install.Path() + "/GameData");
    const CClassicWideString oldInstall = theApp.m_InstallFolder;
    theApp.m_InstallFolder =
        CClassicWideString(platform::FromHostPath(install.Path() + "/").c_str());
    RegisterCustomDataDlgResources();

    const std::string chooserPicture = install.Path() + "/convert-music-chooser.png";
    const std::string screenPicture = install.Path() + "/convert-music-screen.png";
    std::string title;
    std::string filter;
    int width = 0;
    int height = 0;
    {
        ui::fltk::FltkBackend backend;
        CCustomDataDlg dialog;
        fltktest::Driver driver;
        driver
            .Until([&] {
                Fl_Window* window = backend.WindowOf(dialog);
                return window && window->shown() && fl_xid(window);
            })
            .Then([&] { fltktest::Click(*backend.WidgetOf(dialog.Item(kCustomDataDlgMusicId))); })
            .Until([&] {
                Fl_Window* chooser = fltktest::ForeignModal(backend);
                return chooser && chooser->shown() && fl_xid(chooser) && !chooser->damage();
            })
            .Then([&] {
                Fl_Window& chooser = *fltktest::ForeignModal(backend);
                Fl::flush();
                title = chooser.label() ? chooser.label() : "";
                filter = fltktest::FindAll<Fl_Choice>(chooser).front()->text(0);
                width = chooser.w();
                height = chooser.h();
                char id[32];
                std::snprintf(id, sizeof id, "0x%lx", static_cast<unsigned long>(fl_xid(&chooser)));
                EXPECT_TRUE(Import(id, chooserPicture));
                EXPECT_TRUE(Import("root", screenPicture));
                fltktest::PressKey(chooser, FL_Escape);
            })
            .Until([&] { return fltktest::ForeignModal(backend) == nullptr; })
            .Then([&] { fltktest::Click(*backend.WidgetOf(dialog.Item(ui::IDOK))); });
        driver.Start();
        EXPECT_EQ(dialog.DoModal(), ui::IDOK);
        EXPECT_TRUE(driver.Done());
        EXPECT_EQ(dialog.m_ImportKind, kImportKindMusic);
    }
    EXPECT_EQ(title, "Convert ogg file");
    EXPECT_EQ(filter, "music files [*.ogg](*.[oO][gG][gG])");
    const fltktest::PictureFacts facts = fltktest::Identify(chooserPicture);
    EXPECT_TRUE(facts.Read);
    EXPECT_EQ(facts.Width, width);
    EXPECT_EQ(facts.Height, height);
    EXPECT_GT(facts.Colours, 1);
    EXPECT_TRUE(fltktest::Identify(screenPicture).Read);
    launchertest::KeepPicture(chooserPicture);
    launchertest::KeepPicture(screenPicture);
    // Cancelled: no folder made.
    EXPECT_FALSE(std::filesystem::exists(install.Path() + "/GameData/Skins"));
    theApp.m_InstallFolder = oldInstall;
}

} // namespace
