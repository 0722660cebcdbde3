// The backend's modes: snapshots, the process locale, and the road without a display.
#include "platform/Crt.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/FileDialog.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/fltk/FltkBackend.h"
#include "tests/platform/fltk/FltkTestSupport.h"
#include "tests/platform/ui/UiZoo.h"

#include <FL/Fl.H>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <locale.h>
#include <optional>
#include <string>

namespace {

using testing::HasSubstr;

// Snapshot mode: each dialog, box and chooser is saved once drawn, its path printed, and then
// closed as by Escape, given its negative answer or cancelled.
TEST(FltkSnapshots, EveryWindowSavedThenClosed) {
    zoo::RegisterAll();
    fltktest::TempFolder folder;
    const std::string shots = folder.Path() + "/shots";
    fltktest::Watchdog watchdog;
    ui::fltk::FltkBackend backend({shots});
    zoo::Recorder dialog(zoo::ZooId);
    dialog.Init = [](zoo::Recorder& d) {
        d.Item(1006).AddString("Entry");
        d.Item(1006).SetCurSel(0);
        d.Item(1012).InsertItem(0, "Tab");
    };
    // A dialog that does not end on Escape is closed all the same.
    zoo::Recorder stubborn(zoo::NoCloseBoxId);
    stubborn.Cancel = [](zoo::Recorder&) {};
    ui::OpenFileSpec spec;
    spec.Title = "Open";
    spec.FilterDescription = "images files (*.tga,*.jpg)";
    spec.Patterns = "*.tga;*.jpg";
    spec.InitialFolder = folder.Path();

    testing::internal::CaptureStdout();
    EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
    EXPECT_EQ(ui::MessageBox(nullptr, "Really?", "Question", ui::MB_YESNO), ui::IDNO);
    EXPECT_EQ(ui::MessageBox(nullptr, "Stop or go on?", "Choice", ui::MB_OKCANCEL), ui::IDCANCEL);
    EXPECT_EQ(ui::MessageBox(nullptr, "Done.", "Note", ui::MB_OK), ui::IDOK);
    EXPECT_EQ(ui::OpenFileDialog(nullptr, spec), std::nullopt);
    EXPECT_EQ(stubborn.DoModal(), ui::IDCANCEL);
    const std::string printed = testing::internal::GetCapturedStdout();

    const char* names[] = {"9001.png",  "box-1.png",  "box-2.png",
                           "box-3.png", "file-1.png", "9004.png"};
    std::string expected;
    for (const char* name : names)
        expected += shots + "/" + name + "\n";
    EXPECT_EQ(printed, expected);
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const fltktest::PictureFacts facts = fltktest::Identify(shots + "/" + name);
        ASSERT_TRUE(facts.Read);
        EXPECT_GT(facts.Colours, 1); // drawn: not one colour
        if (std::string(name) == "9001.png") {
            EXPECT_EQ(facts.Width, 450);
            EXPECT_EQ(facts.Height, 325);
        }
        if (std::string(name) == "9004.png") {
            EXPECT_EQ(facts.Width, 180);
            EXPECT_EQ(facts.Height, 48);
        }
    }
}

// Whatever FLTK does with the locale for X input, numbers stay in the "C" locale: a display, a
// dialog and the chooser under a comma locale leave LC_NUMERIC "C", and "%f" writes a point.
// Run in a process of its own with LC_ALL set before anything starts.
void LocaleChild() {
    auto require = [](bool condition, const char* what) {
        if (!condition) {
            std::fprintf(stderr, "locale check failed: %s\n", what);
            std::exit(1);
        }
    };
    setenv("LC_ALL", "fr_FR.UTF-8", 1);
    // The comma locale exists, so a call to setlocale(LC_ALL, "") would show.
    const locale_t french = newlocale(LC_ALL_MASK, "fr_FR.UTF-8", nullptr);
    require(french != nullptr, "fr_FR.UTF-8 is installed (locales-all)");
    const locale_t previous = uselocale(french);
    char comma[32];
    std::snprintf(comma, sizeof comma, "%f", 0.1);
    uselocale(previous);
    freelocale(french);
    require(std::string(comma) == "0,100000", "the comma locale writes a comma");

    require(ui::fltk::OpenDisplay(), "the display opens");
    {
        zoo::RegisterAll();
        ui::fltk::FltkBackend backend;
        zoo::Recorder dialog(zoo::ZooId);
        fltktest::Driver driver;
        driver.Then([&] { fltktest::PressKey(*backend.WindowOf(dialog), FL_Escape); });
        driver.Start();
        require(dialog.DoModal() == ui::IDCANCEL, "the dialog ends on Escape");
        fltktest::Driver chooser;
        chooser.Until([&] { return fltktest::ForeignModal(backend) != nullptr; }).Then([&] {
            fltktest::PressKey(*fltktest::ForeignModal(backend), FL_Escape);
        });
        chooser.Start();
        ui::OpenFileSpec spec;
        spec.Patterns = "*.txt";
        require(!ui::OpenFileDialog(nullptr, spec), "the chooser is cancelled");
    }
    require(std::string(setlocale(LC_NUMERIC, nullptr)) == "C", "LC_NUMERIC is still C");
    char point[32];
    std::snprintf(point, sizeof point, "%f", 0.1);
    require(std::string(point) == "0.100000", "the C library writes a point");
    require(std::string(platform::Format("%f", 0.1).text) == "0.100000",
            "the engine writes a point");
    std::fprintf(stderr, "locale checks passed\n");
    std::exit(0);
}

TEST(FltkLocale, NumbersStayInTheCLocale) {
    EXPECT_EXIT(LocaleChild(), testing::ExitedWithCode(0), "locale checks passed");
}

// Without a display: one line on standard error and status 3, whether the launcher asks first
// or the backend opens the display itself; FLTK's own message and exit never come, and nothing
// is written (FLTK keeps its preferences under HOME).
void NoDisplayChild(const char* display, bool backendFirst) {
    setenv("HOME", std::getenv("BRISALDE_TEST_NO_DISPLAY_HOME"), 1);
    if (display)
        setenv("DISPLAY", display, 1);
    else
        unsetenv("DISPLAY");
    if (backendFirst) {
        ui::fltk::FltkBackend backend;
        std::exit(0);
    }
    std::exit(ui::fltk::OpenDisplay() ? 0 : ui::fltk::NoDisplayStatus);
}

TEST(FltkNoDisplay, OneLineAndStatus3) {
    // One folder for the parent and the children, which run this test's body again.
    static fltktest::TempFolder home;
    setenv("BRISALDE_TEST_NO_DISPLAY_HOME", home.Path().c_str(), 0);
    const char* line = "^No X display: set DISPLAY, or start the launcher with \\./run\\.sh, "
                       "which uses a virtual display\n$";
    for (const char* display : {static_cast<const char*>(nullptr), ":4711"}) {
        for (const bool backendFirst : {false, true}) {
            SCOPED_TRACE(testing::Message() << (display ? display : "unset") << " "
                                            << (backendFirst ? "backend" : "OpenDisplay"));
            EXPECT_EXIT(NoDisplayChild(display, backendFirst),
                        testing::ExitedWithCode(ui::fltk::NoDisplayStatus), line);
        }
    }
    EXPECT_TRUE(std::filesystem::is_empty(std::getenv("BRISALDE_TEST_NO_DISPLAY_HOME")));
}

} // namespace
