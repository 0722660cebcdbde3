#include "platform/ui/FileDialog.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/fltk/FltkBackend.h"
#include "tests/platform/fltk/FltkTestSupport.h"
#include "tests/platform/ui/UiZoo.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_File_Browser.H>
#include <FL/Fl_File_Input.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>
#include <algorithm>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace {

using fltktest::Driver;
using testing::ElementsAre;
using testing::HasSubstr;

bool GtkLoaded() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find("libgtk") != std::string::npos || line.find("libgdk") != std::string::npos)
            return true;
    }
    return false;
}

class FltkChooser : public testing::Test {
protected:
    void SetUp() override {
        zoo::RegisterAll();
        for (const char* name : {"a.TGA", "b.jpg", "c.Jpg", "d.dds"})
            std::ofstream(m_Folder.Path() + "/" + name) << "x";
        m_Spec.Title = "Pick a picture";
        m_Spec.FilterDescription = "images files (*.tga,*.jpg)";
        m_Spec.Patterns = "*.tga;*.jpg";
        m_Spec.DefaultExtension = "jpg";
        m_Spec.InitialFolder = m_Folder.Path();
        m_Spec.Flags = ui::OFN_FILEMUSTEXIST | ui::OFN_PATHMUSTEXIST | ui::OFN_HIDEREADONLY;
    }

    // The chooser's name field and OK button: the user types a name and presses OK.
    static void TypeAndAccept(Fl_Window& chooser, const std::string& name) {
        Fl_File_Input& input = *fltktest::FindAll<Fl_File_Input>(chooser).front();
        input.take_focus();
        input.position(input.size(), 0);
        fltktest::Type(chooser, name);
        fltktest::Click(*fltktest::FindAll<Fl_Return_Button>(chooser).front());
    }

    // The filter menu is wide enough for its entry (FLTK's chooser gives it a fixed width that
    // cuts a description followed by its case-blind pattern), and the buttons of its row stand
    // beside it, inside the window.
    static void ExpectTheFilterMenuHoldsItsEntry(Fl_Window& chooser) {
        const Fl_Choice& menu = *fltktest::FindAll<Fl_Choice>(chooser).front();
        fl_font(menu.textfont(), menu.textsize());
        const int arrow = std::min(20, menu.h() - Fl::box_dh(menu.box()));
        EXPECT_GE(menu.w() - arrow - Fl::box_dw(menu.box()), int(fl_width(menu.text(0))))
            << menu.text(0);
        const Fl_Group& row = *menu.parent();
        int right = menu.x() + menu.w();
        for (int i = 0; i < row.children(); ++i) {
            const Fl_Widget& child = *row.child(i);
            if (&child == &menu)
                continue;
            EXPECT_GE(child.x(), right);
            right = child.x() + child.w();
        }
        EXPECT_LE(right, chooser.w());
    }

    // FLTK's own chooser (never GTK's) opens in the initial folder with the filter converted:
    // the list shows the names the layer accepts, in any case. A missing file is refused with a
    // message box and the chooser comes again; a name without extension takes the default one.
    // The names are typed over the whole name field, so they hold no folder: the chooser's own
    // folder is theirs.
    void PickAnExistingFileOfTheFilter() {
        zoo::Recorder dialog(zoo::LevelIds[0]);
        std::optional<std::string> picked;
        dialog.Command = [&](zoo::Recorder& d, u32 id, i32) {
            if (id == 1001)
                picked = ui::OpenFileDialog(&d, m_Spec);
            d.EndDialog(int(id));
        };
        std::vector<std::string> listed;
        std::string filter;
        std::string refusal;
        Driver driver;
        driver.Then([&] { fltktest::Click(*m_Ui.WidgetOf(dialog.Item(1001))); })
            .Until([&] { return fltktest::ForeignModal(m_Ui) != nullptr; })
            .Then([&] {
                Fl_Window& chooser = *fltktest::ForeignModal(m_Ui);
                EXPECT_STREQ(chooser.label(), "Pick a picture");
                Fl_File_Browser& list = *fltktest::FindAll<Fl_File_Browser>(chooser).front();
                for (int i = 1; i <= list.size(); ++i)
                    listed.emplace_back(list.text(i));
                filter = fltktest::FindAll<Fl_Choice>(chooser).front()->text(0);
                ExpectTheFilterMenuHoldsItsEntry(chooser);
                TypeAndAccept(chooser, "zz");
            })
            .Until([&] { return m_Ui.BoxWindow() != nullptr; })
            .Then([&] {
                Fl_Window& box = *m_Ui.BoxWindow();
                refusal = box.child(0)->label();
                EXPECT_STREQ(box.label(), "Pick a picture");
                fltktest::PressKey(box, FL_Enter);
            })
            .Until([&] { return fltktest::ForeignModal(m_Ui) != nullptr; })
            .Then([&] { TypeAndAccept(*fltktest::ForeignModal(m_Ui), "b"); });
        driver.Start();
        EXPECT_EQ(dialog.DoModal(), 1001);
        EXPECT_TRUE(driver.Done());
        EXPECT_EQ(picked, m_Folder.Path() + "/b.jpg");
        EXPECT_THAT(listed, ElementsAre("../", "a.TGA", "b.jpg", "c.Jpg"));
        EXPECT_EQ(filter, "images files [*.tga,*.jpg]({*.[tT][gG][aA],*.[jJ][pP][gG]})");
        EXPECT_EQ(refusal, m_Folder.Path() + "/zz.jpg\nThe file does not exist.");
        EXPECT_FALSE(GtkLoaded());
    }

    fltktest::Watchdog m_Watchdog;
    fltktest::TempFolder m_Folder;
    ui::OpenFileSpec m_Spec;
    ui::fltk::FltkBackend m_Ui;
};

TEST_F(FltkChooser, PicksAnExistingFileOfTheFilter) {
    PickAnExistingFileOfTheFilter();
}

// The same on a slow machine, where each pass of the loops takes 30 ms: the steps of the flow
// still reach the chooser one pass apart, after it took its name field over.
TEST_F(FltkChooser, PicksAnExistingFileOfTheFilterOnASlowMachine) {
    fltktest::SlowLoop slow(30);
    PickAnExistingFileOfTheFilter();
}

// A description with the characters FLTK's menus read shows as written, as one entry; Escape
// cancels the chooser: no path.
TEST_F(FltkChooser, DescriptionAsWrittenAndEscapeCancels) {
    m_Spec.FilterDescription = "_Maps/Tracks & more|@x (*.Zun)";
    m_Spec.Patterns = "*.Zun";
    std::vector<std::string> entries;
    Driver driver;
    driver.Until([&] { return fltktest::ForeignModal(m_Ui) != nullptr; }).Then([&] {
        Fl_Window& chooser = *fltktest::ForeignModal(m_Ui);
        const Fl_Choice& show = *fltktest::FindAll<Fl_Choice>(chooser).front();
        for (int i = 0; i + 1 < show.size(); ++i) {
            if (show.text(i))
                entries.emplace_back(show.text(i));
        }
        fltktest::PressKey(chooser, FL_Escape);
    });
    driver.Start();
    EXPECT_EQ(ui::OpenFileDialog(nullptr, m_Spec), std::nullopt);
    EXPECT_TRUE(driver.Done());
    // The menu keeps "&&" and "@@", which it draws as '&' and '@'; then FLTK's own entries.
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.front(), " _Maps/Tracks && more\xC2\xA6@@x [*.Zun](*.[zZ][uU][nN])");
    EXPECT_EQ(entries.size(), 3u) << entries.back(); // with "All Files (*)" and "Custom Filter"
    EXPECT_FALSE(GtkLoaded());
}

int s_IdleInChooser = 0;

// Timers keep firing and the idle hook keeps running while FLTK's chooser runs its own loop.
TEST_F(FltkChooser, TimersAndIdleRunWhileTheChooserIsOpen) {
    zoo::Recorder dialog(zoo::LevelIds[0]);
    s_IdleInChooser = 0;
    const ui::IdleHook previous = ui::SetIdleHook([] {
        if (!ui::Frames().empty() && ui::Frames().back()->Kind == ui::FrameKind::File)
            ++s_IdleInChooser;
    });
    int ticks = 0;
    dialog.Init = [](zoo::Recorder& d) { d.SetTimer(1, 20); };
    dialog.Timer = [&](zoo::Recorder&, u32) {
        if (ui::Frames().back()->Kind == ui::FrameKind::File && ++ticks == 4) {
            if (Fl_Window* chooser = fltktest::ForeignModal(m_Ui))
                fltktest::PressKey(*chooser, FL_Escape);
        }
    };
    dialog.Command = [&](zoo::Recorder& d, u32 id, i32) {
        if (id == 1001) {
            EXPECT_EQ(ui::OpenFileDialog(&d, m_Spec), std::nullopt);
        }
        d.EndDialog(int(id));
    };
    Driver driver;
    driver.Then([&] { fltktest::Click(*m_Ui.WidgetOf(dialog.Item(1001))); });
    driver.Start();
    EXPECT_EQ(dialog.DoModal(), 1001);
    EXPECT_EQ(ticks, 4);
    // The layer's pass before the chooser, then the chooser's own passes.
    EXPECT_GT(s_IdleInChooser, 4);
    ui::SetIdleHook(previous);
}

} // namespace
