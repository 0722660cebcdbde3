#include "platform/Clock.h"
#include "platform/Process.h"
#include "platform/ui/Backend.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/fltk/FltkBackend.h"
#include "tests/platform/fltk/FltkTestSupport.h"
#include "tests/platform/ui/UiBmp.h"
#include "tests/platform/ui/UiZoo.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Progress.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Slider.H>
#include <FL/Fl_Tabs.H>
#include <FL/Fl_Text_Display.H>
#include <FL/Fl_Window.H>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace {

using fltktest::Driver;
using testing::ElementsAre;

constexpr u32 PictureId = 4711;

// A 40 x 30 picture in four coloured quarters.
std::vector<u8> QuarterPicture() {
    std::vector<u32> pixels;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            pixels.push_back(y < 15 ? (x < 20 ? 0xC00000 : 0x00A000)
                                    : (x < 20 ? 0x0000C0 : 0xE0C000));
    return uitest::MakeBmpPixels(40, 30, 24, pixels);
}

class FltkWindows : public testing::Test {
protected:
    void SetUp() override {
        zoo::RegisterAll();
        ui::RegisterPicture(PictureId, QuarterPicture());
    }

    // The zoo dialog with something in every control.
    static void FillZoo(zoo::Recorder& d) {
        d.Item(1003).SetText("&Label @home");
        d.Item(1004).SetText("Group");
        EXPECT_TRUE(d.Item(1005).SetPicture(PictureId));
        d.Item(1006).AddString("Low");
        d.Item(1006).AddString("2 Frames & Half");
        d.Item(1006).AddString("a/b_c");
        d.Item(1007).SetRange(0, 10);
        d.Item(1007).SetTicFreq(2);
        d.Item(1007).SetPos(4);
        d.Item(1008).SetRange(0, 100);
        d.Item(1008).SetPos(40);
        d.Item(1009).SetText("42");
        d.Item(1013).SetText("text");
        d.Item(1010).SetText("line one\r\nline two\r\nline three");
        d.Item(1011).SetAddress(0xC0A80001);
        d.Item(1012).InsertItem(0, "First");
        d.Item(1012).InsertItem(1, "Second & more");
        d.Item(1012).InsertItem(2, "Third");
    }

    fltktest::Watchdog m_Watchdog;
    ui::fltk::FltkBackend m_Ui;
};

template <typename T>
T* As(Fl_Widget* widget) {
    return dynamic_cast<T*>(widget);
}

// Every control kind stands at its template's rectangle as the FLTK widget of its kind, showing
// the layer's state; the window has the client size, centred on the screen.
TEST_F(FltkWindows, EveryControlKindAtItsTemplatePlace) {
    zoo::Recorder dialog(zoo::ZooId);
    dialog.Init = FillZoo;
    fltktest::TempFolder folder;
    Driver driver;
    driver.Then([&] {
        Fl_Window* window = m_Ui.WindowOf(dialog);
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->shown());
        EXPECT_EQ(window->w(), 450);
        EXPECT_EQ(window->h(), 325);
        int sx = 0, sy = 0, sw = 0, sh = 0;
        Fl::screen_work_area(sx, sy, sw, sh, 0);
        EXPECT_EQ(window->x(), sx + (sw - 450) / 2);
        EXPECT_EQ(window->y(), sy + (sh - 325) / 2);
        EXPECT_STREQ(window->label(), "Zoo");
        for (const ui::Control& control : dialog.Controls()) {
            SCOPED_TRACE(control.Id());
            Fl_Widget* widget = m_Ui.WidgetOf(control);
            ASSERT_NE(widget, nullptr);
            const ui::Rect rect = control.WindowRect();
            EXPECT_EQ(widget->x(), rect.Left);
            EXPECT_EQ(widget->y(), rect.Top);
            EXPECT_EQ(widget->w(), rect.Width());
            EXPECT_EQ(widget->h(), rect.Height());
            EXPECT_EQ(widget->labelsize(), 11);
        }
        auto widget = [&](u32 id) { return m_Ui.WidgetOf(dialog.Item(id)); };
        EXPECT_NE(As<Fl_Return_Button>(widget(1)), nullptr);
        EXPECT_EQ(widget(1001)->box(), FL_BORDER_BOX); // flat
        EXPECT_STREQ(widget(1002)->label(), "Own text");
        // Kept inside its rectangle, and whole on hover.
        EXPECT_NE(widget(1002)->align() & FL_ALIGN_CLIP, 0u);
        EXPECT_STREQ(widget(1002)->tooltip(), "Own text");
        EXPECT_STREQ(widget(1003)->label(), "&Label @@home");
        // Group boxes lie behind every other control.
        EXPECT_EQ(window->find(widget(1004)), 0);
        EXPECT_EQ(widget(1005)->w(), 40);
        EXPECT_EQ(widget(1005)->h(), 30);
        EXPECT_NE(widget(1005)->image(), nullptr);
        auto* choice = As<Fl_Choice>(widget(1006));
        ASSERT_NE(choice, nullptr);
        EXPECT_EQ(choice->h(), 21);
        ASSERT_EQ(choice->size(), 4); // three entries and the end
        EXPECT_STREQ(choice->text(1), "2 Frames && Half");
        EXPECT_STREQ(choice->text(2), "a/b_c");
        EXPECT_EQ(choice->value(), -1);
        auto* slider = As<Fl_Slider>(widget(1007));
        ASSERT_NE(slider, nullptr);
        EXPECT_EQ(slider->type(), FL_HOR_NICE_SLIDER);
        EXPECT_EQ(slider->maximum(), 10);
        EXPECT_EQ(slider->value(), 4);
        auto* progress = As<Fl_Progress>(widget(1008));
        ASSERT_NE(progress, nullptr);
        EXPECT_EQ(progress->value(), 40);
        EXPECT_STREQ(As<Fl_Input>(widget(1009))->value(), "42");
        EXPECT_TRUE(As<Fl_Input>(widget(1014))->readonly());
        auto* text = As<Fl_Text_Display>(widget(1010));
        ASSERT_NE(text, nullptr);
        char* shown = text->buffer()->text();
        EXPECT_STREQ(shown, "line one\nline two\nline three");
        free(shown);
        auto* address = As<Fl_Group>(widget(1011));
        ASSERT_NE(address, nullptr);
        std::vector<std::string> fields;
        for (int i = 0; i < address->children(); ++i) {
            if (auto* field = As<Fl_Input>(address->child(i)))
                fields.emplace_back(field->value());
        }
        EXPECT_THAT(fields, ElementsAre("192", "168", "0", "1"));
        auto* tabs = As<Fl_Tabs>(widget(1012));
        ASSERT_NE(tabs, nullptr);
        ASSERT_EQ(tabs->children(), 3);
        EXPECT_STREQ(tabs->child(1)->label(), "Second & more");
        EXPECT_EQ(tabs->value(), tabs->child(0));
        // The item rectangles lie side by side in the row, as FLTK finds its tabs.
        const ui::Rect first = dialog.Item(1012).GetItemRect(0);
        const ui::Rect second = dialog.Item(1012).GetItemRect(1);
        EXPECT_GT(first.Width(), 20);
        EXPECT_EQ(second.Left, first.Right);
        EXPECT_EQ(tabs->which(tabs->x() + second.Left + 2, tabs->y() + 10), tabs->child(1));
        const ui::Rect last = dialog.Item(1012).GetItemRect(2);
        EXPECT_EQ(last.Left, second.Right);
        EXPECT_LT(last.Width(), 60); // "Third": the row ends after the last tab
        EXPECT_EQ(first.Left, Fl::box_dx(tabs->box()));
        EXPECT_EQ(first.Bottom, 20);

        EXPECT_TRUE(m_Ui.SaveSnapshot(dialog, folder.Path() + "/zoo.png"));
        const fltktest::PictureFacts facts = fltktest::Identify(folder.Path() + "/zoo.png");
        EXPECT_TRUE(facts.Read);
        EXPECT_EQ(facts.Width, 450);
        EXPECT_EQ(facts.Height, 325);
        EXPECT_GT(facts.Colours, 1);
        fltktest::PressKey(*window, FL_Escape);
    });
    driver.Start();
    EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
    EXPECT_TRUE(driver.Done());
}

// The user's actions through FLTK's event path reach the layer as the platform's notifications;
// a disabled control takes none.
TEST_F(FltkWindows, UserActionsReachTheLayer) {
    zoo::Recorder dialog(zoo::ZooId);
    dialog.Init = [](zoo::Recorder& d) {
        FillZoo(d);
        d.Item(1).Enable(false);
        d.Events.clear();
    };
    Fl_Window* window = nullptr;
    auto widget = [&](u32 id) { return m_Ui.WidgetOf(dialog.Item(id)); };
    Driver driver;
    driver
        .Then([&] {
            window = m_Ui.WindowOf(dialog);
            fltktest::Click(*widget(1)); // disabled: nothing
            fltktest::Click(*widget(1002));
            // Digits only in a number edit; any text in a plain one.
            fltktest::Click(*widget(1009));
            fltktest::PressKey(*window, FL_End);
            fltktest::Type(*window, "7x8");
            fltktest::Click(*widget(1013));
            fltktest::PressKey(*window, FL_End);
            fltktest::Type(*window, " & more");
        })
        .Then([&] {
            auto* choice = As<Fl_Choice>(widget(1006));
            choice->picked(&choice->menu()[1]);
            // A click at the right end of the track takes the knob to the last position.
            Fl_Widget& slider = *widget(1007);
            fltktest::ClickAt(*window, slider.x() + slider.w() - 2, slider.y() + 4);
        })
        .Then([&] {
            // The first field: 300 is 255 once the focus leaves it.
            auto* address = As<Fl_Group>(widget(1011));
            fltktest::Click(*address->child(0));
            fltktest::PressKey(*window, FL_End);
            for (int i = 0; i < 3; ++i)
                fltktest::PressKey(*window, FL_BackSpace);
            fltktest::Type(*window, "300");
            fltktest::PressKey(*window, FL_Tab);
            EXPECT_STREQ(As<Fl_Input>(address->child(0))->value(), "255");
            const ui::Rect item = dialog.Item(1012).GetItemRect(2);
            Fl_Widget& tabs = *widget(1012);
            fltktest::ClickAt(*window, tabs.x() + (item.Left + item.Right) / 2,
                              tabs.y() + (item.Top + item.Bottom) / 2);
            fltktest::Click(*widget(1001));
        })
        .Then([&] {
            EXPECT_TRUE(dialog.Item(1002).GetCheck());
            EXPECT_EQ(dialog.Item(1009).GetText(), "4278");
            EXPECT_EQ(dialog.Item(1013).GetText(), "text & more");
            EXPECT_EQ(dialog.Item(1006).GetCurSel(), 1);
            EXPECT_EQ(dialog.Item(1007).GetPos(), 10);
            u32 address = 0;
            EXPECT_EQ(dialog.Item(1011).GetAddress(address), 4);
            EXPECT_EQ(address, 0xFFA80001u);
            EXPECT_EQ(dialog.Item(1012).GetCurSel(), 2);
            EXPECT_TRUE(dialog.Item(1001).HasFocus());
            fltktest::PressKey(*window, FL_Escape);
        });
    driver.Start();
    EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
    EXPECT_TRUE(driver.Done());
    EXPECT_THAT(dialog.Events,
                ElementsAre("notify 1007 -12", // drawn when first shown
                            "command 1002 0", "command 1006 1", "command 1006 9", "notify 1007 -12",
                            "notify 1012 -551", "command 1001 0", "command 2 0", "destroy"));
}

// Text pasted into an address field is held to the keys' rule: digits only, anything else
// refused whole, so that a field never shows what the control does not hold. (A number edit
// takes pasted text as it comes; its data exchange refuses what is not a number.)
TEST_F(FltkWindows, PastedTextInAddressFields) {
    zoo::Recorder dialog(zoo::ZooId);
    dialog.Init = [](zoo::Recorder& d) { FillZoo(d); };
    auto widget = [&](u32 id) { return m_Ui.WidgetOf(dialog.Item(id)); };
    auto paste = [](Fl_Widget& field, const char* text) {
        field.take_focus();
        Fl::e_text = const_cast<char*>(text);
        Fl::e_length = int(std::strlen(text));
        field.handle(FL_PASTE);
    };
    Driver driver;
    driver
        .Then([&] {
            auto* address = As<Fl_Group>(widget(1011));
            auto& second = *As<Fl_Input>(address->child(2));
            second.value("");
            second.do_callback();
            paste(second, "-1");
            paste(second, "ab");
            auto& third = *As<Fl_Input>(address->child(4));
            third.value("");
            third.do_callback();
            paste(third, "17");
        })
        .Then([&] {
            auto* address = As<Fl_Group>(widget(1011));
            EXPECT_STREQ(As<Fl_Input>(address->child(2))->value(), "");
            EXPECT_STREQ(As<Fl_Input>(address->child(4))->value(), "17");
            EXPECT_EQ(dialog.Item(1011).AddressFields(), (std::array<i16, 4>{192, -1, 17, 1}));
            fltktest::PressKey(*m_Ui.WindowOf(dialog), FL_Escape);
        });
    driver.Start();
    EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
    EXPECT_TRUE(driver.Done());
}

// Enter, Escape and the close box follow the layer's rules, not FLTK's: the focused push
// button, else the enabled default button, else command 1; Escape is command 2; the close box
// is command 2 unless control 2 is disabled.
TEST_F(FltkWindows, KeysFollowTheLayersRules) {
    enum class Input { Enter, Escape, CloseBox, TabEnter };
    struct Case {
        const char* name;
        u32 templateId;
        u32 focus;      // focused by code before the key, 0 for none
        u32 clickFocus; // focused by the user (a click that ends nothing), 0 for none
        std::vector<u32> disabled;
        Input input;
        u32 command; // the command sent, 0 when nothing is
    };
    const Case cases[] = {
        {"no default, no control 1: Enter sends 1", zoo::NoDefaultId, 0, 0, {}, Input::Enter, 1},
        {"focused push button", zoo::NoDefaultId, 1001, 0, {}, Input::Enter, 1001},
        {"focused check box", zoo::NoDefaultId, 1002, 0, {}, Input::Enter, 1},
        {"check box focused by a click", zoo::NoDefaultId, 0, 1002, {}, Input::Enter, 1},
        {"Tab from the window to the first control",
         zoo::NoDefaultId,
         0,
         0,
         {},
         Input::TabEnter,
         2},
        {"Escape", zoo::NoDefaultId, 0, 0, {}, Input::Escape, 2},
        {"Escape with Cancel disabled", zoo::NoDefaultId, 0, 0, {2}, Input::Escape, 2},
        {"close box", zoo::NoDefaultId, 0, 0, {}, Input::CloseBox, 2},
        {"close box with Cancel disabled", zoo::NoDefaultId, 0, 0, {2}, Input::CloseBox, 0},
        {"default button", zoo::SaveDefaultId, 0, 0, {}, Input::Enter, 4},
        {"disabled default button", zoo::SaveDefaultId, 0, 0, {4}, Input::Enter, 0},
        {"focused push button first", zoo::SaveDefaultId, 1001, 0, {}, Input::Enter, 1001},
        {"focused but disabled", zoo::SaveDefaultId, 1001, 0, {1001}, Input::Enter, 4},
        {"focus on a check box", zoo::SaveDefaultId, 1002, 0, {}, Input::Enter, 4},
        {"default button 1", zoo::NoCloseBoxId, 1001, 0, {1001}, Input::Enter, 1},
        {"Escape without control 2", zoo::NoCloseBoxId, 0, 0, {}, Input::Escape, 2},
        {"no close box", zoo::NoCloseBoxId, 0, 0, {}, Input::CloseBox, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        zoo::Recorder dialog(c.templateId);
        dialog.Init = [&](zoo::Recorder& d) {
            for (u32 id : c.disabled)
                d.Item(id).Enable(false);
            if (c.focus)
                d.Item(c.focus).SetFocus();
        };
        dialog.Command = [](zoo::Recorder& d, u32 id, i32) {
            // The check box's own click is no answer.
            if (id != 1002)
                d.EndDialog(int(id));
        };
        Driver driver;
        driver.Then([&] {
            Fl_Window& window = *m_Ui.WindowOf(dialog);
            if (c.clickFocus) {
                fltktest::Click(*m_Ui.WidgetOf(dialog.Item(c.clickFocus)));
                fltktest::Click(*m_Ui.WidgetOf(dialog.Item(c.clickFocus)));
            }
            switch (c.input) {
                case Input::Enter:
                    fltktest::PressKey(window, FL_Enter);
                    break;
                case Input::Escape:
                    fltktest::PressKey(window, FL_Escape);
                    break;
                case Input::CloseBox:
                    fltktest::CloseBox(window);
                    break;
                case Input::TabEnter:
                    fltktest::PressKey(window, FL_Tab);
                    fltktest::PressKey(window, FL_KP_Enter);
                    break;
            }
        });
        if (!c.command) {
            driver.Then([&] {
                EXPECT_TRUE(dialog.IsOpen());
                dialog.EndDialog(99);
            });
        }
        driver.Start();
        EXPECT_EQ(dialog.DoModal(), c.command ? int(c.command) : 99);
        EXPECT_TRUE(driver.Done());
    }
}

// Modal dialogs nest from a button, from a timer and from another dialog's OnInitDialog; each
// is centred over its owner and only the top one takes input.
TEST_F(FltkWindows, NestedModalDialogs) {
    zoo::Recorder first(zoo::LevelIds[0]);
    zoo::Recorder second(zoo::LevelIds[1]);
    zoo::Recorder third(zoo::LevelIds[2]);
    zoo::Recorder fromInit(zoo::NoCloseBoxId);
    std::vector<std::string> log;
    // The first opens the second by a click; the second opens the third from a timer; the third
    // opens a fourth from its OnInitDialog, before it is itself shown.
    first.Command = [&](zoo::Recorder& d, u32 id, i32) {
        log.push_back("first " + std::to_string(id));
        if (id == 1001)
            log.push_back("second -> " + std::to_string(second.DoModal(&d)));
        else
            d.EndDialog(int(id));
    };
    second.Init = [](zoo::Recorder& d) { d.SetTimer(7, 30); };
    second.Timer = [&](zoo::Recorder& d, u32 id) {
        d.KillTimer(id);
        log.push_back("third -> " + std::to_string(third.DoModal()));
    };
    second.Command = [&](zoo::Recorder& d, u32 id, i32) {
        log.push_back("second " + std::to_string(id));
        d.EndDialog(int(id));
    };
    third.Init = [&](zoo::Recorder&) {
        log.push_back("fourth -> " + std::to_string(fromInit.DoModal()));
    };
    third.Command = [&](zoo::Recorder& d, u32 id, i32) {
        log.push_back("third " + std::to_string(id));
        d.EndDialog(int(id));
    };
    fromInit.Command = [&](zoo::Recorder& d, u32 id, i32) { d.EndDialog(int(id)); };

    auto centre = [](Fl_Window& window) {
        return std::pair(window.x() + window.w() / 2, window.y() + window.h() / 2);
    };
    Driver driver;
    driver
        .Then([&] { fltktest::Click(*m_Ui.WidgetOf(first.Item(1001))); })
        // The second's timer opens the third, whose init opens the fourth.
        .Until([] { return ui::Frames().size() == 4; })
        .Then([&] {
            ASSERT_EQ(ui::Frames().size(), 4u);
            Fl_Window& top = *m_Ui.WindowOf(fromInit);
            EXPECT_EQ(Fl::modal(), &top);
            // Each is centred over its owner: all four share one centre.
            EXPECT_EQ(centre(top), centre(*m_Ui.WindowOf(first)));
            EXPECT_EQ(centre(*m_Ui.WindowOf(third)), centre(*m_Ui.WindowOf(second)));
            // A click in a dialog below reaches nothing.
            fltktest::Click(*m_Ui.WidgetOf(first.Item(2)));
            fltktest::Click(*m_Ui.WidgetOf(second.Item(2)));
            fltktest::PressKey(top, FL_Escape);
        })
        .Then([&] {
            ASSERT_EQ(ui::Frames().size(), 3u);
            EXPECT_EQ(Fl::modal(), m_Ui.WindowOf(third));
            fltktest::Click(*m_Ui.WidgetOf(third.Item(2)));
        })
        .Then([&] { fltktest::Click(*m_Ui.WidgetOf(second.Item(2))); })
        .Then([&] { fltktest::Click(*m_Ui.WidgetOf(first.Item(2))); });
    driver.Start();
    EXPECT_EQ(first.DoModal(), 2);
    EXPECT_TRUE(driver.Done());
    EXPECT_THAT(log, ElementsAre("first 1001", "fourth -> 2", "third 2", "third -> 2", "second 2",
                                 "second -> 2", "first 2"));
    EXPECT_EQ(Fl::modal(), nullptr);
}

// A 50 ms timer keeps firing while a message box of its dialog is open; the box and then the
// dialog end; the timer dies with the dialog.
TEST_F(FltkWindows, TimerTicksWhileAMessageBoxIsOpen) {
    zoo::Recorder dialog(zoo::LevelIds[0]);
    int ticksInBox = 0;
    int boxAnswer = 0;
    dialog.Init = [](zoo::Recorder& d) { d.SetTimer(3, 50); };
    dialog.Command = [&](zoo::Recorder& d, u32 id, i32) {
        if (id != 1001)
            return;
        boxAnswer = ui::MessageBox(&d, "Counting", "Timer", ui::MB_OKCANCEL);
        d.EndDialog(77);
    };
    dialog.Timer = [&](zoo::Recorder&, u32) {
        if (ui::Frames().back()->Kind != ui::FrameKind::Box)
            return;
        // The box is on top of the stack while the tick runs.
        EXPECT_EQ(ui::Frames().size(), 2u);
        if (++ticksInBox == 5)
            fltktest::PressKey(*m_Ui.BoxWindow(), FL_Enter);
    };
    Driver driver;
    driver.Then([&] { fltktest::Click(*m_Ui.WidgetOf(dialog.Item(1001))); });
    driver.Start();
    EXPECT_EQ(dialog.DoModal(), 77);
    EXPECT_EQ(ticksInBox, 5);
    EXPECT_EQ(boxAnswer, ui::IDOK);
    EXPECT_EQ(ui::NextTimerDue(), -1);
}

// A late timer fires once, never in a burst: it is due again one period after it fired. A
// killed timer fires no more. The handler reads the clock a little after the loop did, so the
// gaps it sees may fall short of the period by that latency; a burst would be near zero.
TEST_F(FltkWindows, LateTimerFiresOnceAndKilledTimersStop) {
    zoo::Recorder dialog(zoo::LevelIds[0]);
    std::vector<i64> fired; // microseconds of the counter
    dialog.Init = [](zoo::Recorder& d) { d.SetTimer(1, 40); };
    dialog.Timer = [&](zoo::Recorder& d, u32) {
        fired.push_back(platform::CounterNow() / 1000);
        if (fired.size() == 2) {
            // Four periods late.
            const timespec pause{0, 160 * 1000 * 1000};
            nanosleep(&pause, nullptr);
        }
        if (fired.size() == 5) {
            EXPECT_TRUE(d.KillTimer(1));
            d.SetTimer(2, 200); // ends the dialog when it fires
        }
    };
    dialog.Timer = [&, count = dialog.Timer](zoo::Recorder& d, u32 id) {
        if (id == 2)
            d.EndDialog(5);
        else
            count(d, id);
    };
    EXPECT_EQ(dialog.DoModal(), 5);
    ASSERT_EQ(fired.size(), 5u);
    for (size_t i = 1; i < fired.size(); ++i)
        EXPECT_GE(fired[i] - fired[i - 1], 30000) << i;
    // The late one came after the pause, then the period again.
    EXPECT_GE(fired[2] - fired[1], 160000);
}

// Pages are groups of the dialog's window placed from the tab control's item rectangle (as the
// advanced dialog places them); selecting a tab shows its page; a page takes its own keys.
TEST_F(FltkWindows, PagesInATabControl) {
    zoo::Recorder dialog(zoo::TabbedId);
    zoo::Recorder pageA;
    zoo::Recorder pageB;
    auto showPage = [&](zoo::Recorder& d, i32 index) {
        pageA.Show(false);
        pageB.Show(false);
        zoo::Recorder& page = index == 0 ? pageA : pageB;
        const ui::Rect client = d.Item(1011).ClientRect();
        const ui::Rect tab = d.Item(1011).GetItemRect(0);
        page.SetWindowPos(tab.Left, tab.Bottom + 1, client.Right - tab.Left - 1,
                          client.Bottom - tab.Bottom - 2, ui::SWP_SHOWWINDOW);
    };
    dialog.Init = [&](zoo::Recorder& d) {
        d.Item(1011).InsertItem(0, "Display");
        d.Item(1011).InsertItem(1, "Audio");
        ASSERT_TRUE(d.CreateChild(pageA, zoo::PageAId, 1011));
        ASSERT_TRUE(d.CreateChild(pageB, zoo::PageBId, 1011));
        pageA.Item(1030).SetText("640");
        pageB.Item(1065).SetCheck(true);
        showPage(d, 0);
    };
    dialog.Notify = [&](zoo::Recorder& d, u32 id, i32 code) {
        if (id == 1011 && code == ui::TCN_SELCHANGE)
            showPage(d, d.Item(1011).GetCurSel());
    };
    pageA.Command = [](zoo::Recorder&, u32, i32) {};
    fltktest::TempFolder folder;
    Driver driver;
    driver
        .Then([&] {
            Fl_Window& window = *m_Ui.WindowOf(dialog);
            EXPECT_EQ(m_Ui.WindowOf(pageA), &window);
            Fl_Widget& tabs = *m_Ui.WidgetOf(dialog.Item(1011));
            const ui::Rect tab = dialog.Item(1011).GetItemRect(0);
            // Page A's edit stands at the page's place plus its own rectangle.
            Fl_Widget& edit = *m_Ui.WidgetOf(pageA.Item(1030));
            const ui::Rect editRect = pageA.Item(1030).WindowRect();
            EXPECT_EQ(edit.x(), tabs.x() + tab.Left + editRect.Left);
            EXPECT_EQ(edit.y(), tabs.y() + tab.Bottom + 1 + editRect.Top);
            EXPECT_TRUE(edit.visible_r());
            EXPECT_FALSE(m_Ui.WidgetOf(pageB.Item(1065))->visible_r());
            EXPECT_TRUE(m_Ui.SaveSnapshot(pageA, folder.Path() + "/display.png"));
            // Enter in the page's edit goes to the page.
            fltktest::Click(edit);
            fltktest::PressKey(window, FL_Enter);
            const ui::Rect item = dialog.Item(1011).GetItemRect(1);
            fltktest::ClickAt(window, tabs.x() + (item.Left + item.Right) / 2, tabs.y() + 10);
        })
        .Then([&] {
            EXPECT_FALSE(m_Ui.WidgetOf(pageA.Item(1030))->visible_r());
            Fl_Widget& check = *m_Ui.WidgetOf(pageB.Item(1065));
            EXPECT_TRUE(check.visible_r());
            EXPECT_EQ(As<Fl_Check_Button>(&check)->value(), 1);
            EXPECT_TRUE(m_Ui.SaveSnapshot(pageB, folder.Path() + "/audio.png"));
            fltktest::Click(*m_Ui.WidgetOf(dialog.Item(2)));
        });
    driver.Start();
    EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
    EXPECT_TRUE(driver.Done());
    EXPECT_THAT(pageA.Events, ElementsAre("init", "notify 1104 -12", "command 1 0", "destroy"));
    EXPECT_THAT(dialog.Events, ElementsAre("init", "notify 1011 -551", "command 2 0", "destroy"));
}

// Message boxes of our own: the buttons through the translation hook, the first the default;
// Enter presses the focused button; Escape and the close box by the layer's rules (a Yes/No box
// ignores both); the text as written, '&' as it stands.
TEST_F(FltkWindows, MessageBoxes) {
    const ui::TranslationHook previous =
        ui::SetTranslationHook([](std::string_view text) { return "<" + std::string(text) + ">"; });
    enum class Action { Enter, Escape, CloseBox, TabEnter, ClickLast };
    struct Case {
        const char* name;
        u32 type;
        Action action;
        int answer; // 0: ignored, then the last button is clicked
        std::vector<std::string> buttons;
    };
    const Case cases[] = {
        {"OK: Enter", ui::MB_OK, Action::Enter, ui::IDOK, {"<OK>"}},
        {"OK: Escape", ui::MB_OK, Action::Escape, ui::IDOK, {"<OK>"}},
        {"OK: close box", ui::MB_OK, Action::CloseBox, ui::IDOK, {"<OK>"}},
        {"OK Cancel: Enter", ui::MB_OKCANCEL, Action::Enter, ui::IDOK, {"<OK>", "<Cancel>"}},
        {"OK Cancel: Escape", ui::MB_OKCANCEL, Action::Escape, ui::IDCANCEL, {"<OK>", "<Cancel>"}},
        {"OK Cancel: close", ui::MB_OKCANCEL, Action::CloseBox, ui::IDCANCEL, {"<OK>", "<Cancel>"}},
        {"OK Cancel: Tab, Enter",
         ui::MB_OKCANCEL,
         Action::TabEnter,
         ui::IDCANCEL,
         {"<OK>", "<Cancel>"}},
        {"Yes No: Enter", ui::MB_YESNO, Action::Enter, ui::IDYES, {"<Yes>", "<No>"}},
        {"Yes No: click", ui::MB_YESNO, Action::ClickLast, ui::IDNO, {"<Yes>", "<No>"}},
        {"Yes No: Escape ignored", ui::MB_YESNO, Action::Escape, 0, {"<Yes>", "<No>"}},
        {"Yes No: close ignored", ui::MB_YESNO, Action::CloseBox, 0, {"<Yes>", "<No>"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Driver driver;
        driver.Then([&] {
            Fl_Window* box = m_Ui.BoxWindow();
            ASSERT_NE(box, nullptr);
            EXPECT_STREQ(box->label(), "Caption & @");
            std::vector<std::string> labels;
            std::vector<Fl_Widget*> buttons;
            for (int i = 0; i < box->children(); ++i) {
                if (As<Fl_Button>(box->child(i))) {
                    labels.emplace_back(box->child(i)->label());
                    buttons.push_back(box->child(i));
                } else {
                    EXPECT_STREQ(box->child(i)->label(), "Fish & Chips\nat 5 @@ the pier");
                }
            }
            EXPECT_EQ(labels, c.buttons);
            EXPECT_NE(As<Fl_Return_Button>(buttons.front()), nullptr);
            switch (c.action) {
                case Action::Enter:
                    fltktest::PressKey(*box, FL_Enter);
                    break;
                case Action::Escape:
                    fltktest::PressKey(*box, FL_Escape);
                    break;
                case Action::CloseBox:
                    fltktest::CloseBox(*box);
                    break;
                case Action::TabEnter:
                    fltktest::PressKey(*box, FL_Tab);
                    fltktest::PressKey(*box, FL_Enter);
                    break;
                case Action::ClickLast:
                    fltktest::Click(*buttons.back());
                    break;
            }
        });
        if (!c.answer) {
            driver.Then([&] {
                ASSERT_NE(m_Ui.BoxWindow(), nullptr);
                Fl_Window& box = *m_Ui.BoxWindow();
                fltktest::Click(*box.child(box.children() - 1));
            });
        }
        driver.Start();
        EXPECT_EQ(ui::MessageBox(nullptr, "Fish & Chips\r\nat 5 @ the pier", "Caption & @", c.type),
                  c.answer ? c.answer : ui::IDNO);
        EXPECT_TRUE(driver.Done());
        EXPECT_EQ(m_Ui.BoxWindow(), nullptr);
    }
    ui::SetTranslationHook(previous);
}

// A box with the error sign: the sign (the one child that is neither the text nor a button) at
// the top left, the text beside it, the buttons of the type's low bits below both; a box without
// it has no sign.
TEST_F(FltkWindows, MessageBoxWithTheErrorSign) {
    for (const u32 type : {ui::MB_YESNO | ui::MB_ICONERROR, ui::MB_YESNO}) {
        SCOPED_TRACE(type);
        Driver driver;
        driver.Then([&] {
            Fl_Window* box = m_Ui.BoxWindow();
            ASSERT_NE(box, nullptr);
            std::vector<Fl_Widget*> signs;
            std::vector<Fl_Button*> buttons;
            Fl_Widget* text = nullptr;
            for (int i = 0; i < box->children(); ++i) {
                Fl_Widget* child = box->child(i);
                if (As<Fl_Button>(child))
                    buttons.push_back(As<Fl_Button>(child));
                else if (As<Fl_Box>(child))
                    text = child;
                else
                    signs.push_back(child);
            }
            ASSERT_NE(text, nullptr);
            EXPECT_STREQ(text->label(), "Failed to convert music");
            ASSERT_EQ(buttons.size(), 2u);
            EXPECT_STREQ(buttons[0]->label(), "Yes");
            if (type & ui::MB_ICONERROR) {
                ASSERT_EQ(signs.size(), 1u);
                const Fl_Widget& sign = *signs[0];
                EXPECT_EQ(sign.w(), 32);
                EXPECT_EQ(sign.h(), 32);
                EXPECT_GE(text->x(), sign.x() + sign.w() + 6);
                EXPECT_GE(buttons[0]->y(), sign.y() + sign.h());
                EXPECT_LE(text->x() + text->w(), box->w());
            } else {
                EXPECT_TRUE(signs.empty());
            }
            fltktest::Click(*buttons[1]);
        });
        driver.Start();
        EXPECT_EQ(ui::MessageBox(nullptr, "Failed to convert music", "Music conversion", type),
                  ui::IDNO);
        EXPECT_TRUE(driver.Done());
    }
}

// A long text wraps at 480 pixels; the box is centred over its owner's window, and the focus
// comes back where it was when the box goes.
TEST_F(FltkWindows, MessageBoxWrapsAndCentresOverItsOwner) {
    zoo::Recorder dialog(zoo::ZooId);
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += "word" + std::to_string(i) + " ";
    dialog.Command = [&](zoo::Recorder& d, u32 id, i32) {
        if (id == 1001)
            EXPECT_EQ(ui::MessageBox(&d, text, "Long", ui::MB_OK), ui::IDOK);
        else
            d.EndDialog(int(id));
    };
    Driver driver;
    driver.Then([&] { fltktest::Click(*m_Ui.WidgetOf(dialog.Item(1001))); })
        .Then([&] {
            Fl_Window& box = *m_Ui.BoxWindow();
            Fl_Widget& body = *box.child(0);
            EXPECT_LE(body.w(), 482);
            EXPECT_GT(body.w(), 400);
            EXPECT_GE(body.h(), 3 * 11);
            Fl_Window& owner = *m_Ui.WindowOf(dialog);
            EXPECT_NEAR(box.x() + box.w() / 2, owner.x() + owner.w() / 2, 1);
            EXPECT_NEAR(box.y() + box.h() / 2, owner.y() + owner.h() / 2, 1);
            fltktest::PressKey(box, FL_Enter);
        })
        .Then([&] {
            // The focus is back on the button that opened the box.
            EXPECT_EQ(Fl::focus(), m_Ui.WidgetOf(dialog.Item(1001)));
            fltktest::PressKey(*m_Ui.WindowOf(dialog), FL_Escape);
        });
    driver.Start();
    EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
    EXPECT_TRUE(driver.Done());
}

// A read-only text without a scroll bar of its own shows every line: a text too tall at the
// normal size is drawn smaller and no scroll bar shows; one with a scroll bar keeps the size. A
// text that fits keeps the size too.
constexpr u32 TextsId = 9141;
constexpr ui::ControlTemplate TextsControls[] = {
    {1, ui::ControlKind::EditMultiRO, 5, 5, 140, 30},
    {2, ui::ControlKind::EditMultiRO, 5, 40, 140, 30, "", ui::FlagVScroll},
    {3, ui::ControlKind::EditMultiRO, 5, 75, 140, 30},
};
constexpr ui::DialogTemplate TextsTemplate = {
    TextsId, 150, 110, ui::StylePopup | ui::StyleCaption, "Texts", TextsControls};

TEST_F(FltkWindows, ReadOnlyTextWithoutScrollBarShowsEveryLine) {
    ui::RegisterTemplate(TextsTemplate);
    const std::string tall =
        "This game allow to customize many datas.\r\nHere you can find where they are located.";
    zoo::Recorder dialog(TextsId);
    dialog.Init = [&](zoo::Recorder& d) {
        d.Item(1).SetText(tall);
        d.Item(2).SetText(tall);
        d.Item(3).SetText("One line.");
    };
    Driver driver;
    driver.Then([&] {
        const auto size = [&](u32 id) {
            return As<Fl_Text_Display>(m_Ui.WidgetOf(dialog.Item(id)))->textsize();
        };
        EXPECT_LT(size(1), 11);
        EXPECT_GE(size(1), 8);
        EXPECT_EQ(size(2), 11);
        EXPECT_EQ(size(3), 11);
        // No scroll bar in the fitted text: nothing but the text's own frame inside it.
        auto* fitted = As<Fl_Text_Display>(m_Ui.WidgetOf(dialog.Item(1)));
        for (int i = 0; i < fitted->children(); ++i)
            EXPECT_FALSE(fitted->child(i)->visible()) << i;
        fltktest::PressKey(*m_Ui.WindowOf(dialog), FL_Escape);
    });
    driver.Start();
    EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
    EXPECT_TRUE(driver.Done());
}

// When the reaping test's idle hook (a plain function) found no child left.
std::optional<std::chrono::system_clock::time_point> s_Reaped;

// The reaping test's timeouts, the only wakes of the loop besides its own: one tells the child to
// end, one ends the dialog 2.5 s later (and wakes the loop's wait once more, as an event would).
struct SReapingSteps {
    zoo::Recorder* Dialog = nullptr;
    std::string Go;

    static void TellToEnd(void* data) {
        auto* steps = static_cast<SReapingSteps*>(data);
        std::ofstream(steps->Go).put('x');
        Fl::add_timeout(2.5, &SReapingSteps::End, data);
    }
    static void End(void* data) {
        static_cast<SReapingSteps*>(data)->Dialog->EndDialog(1);
        Fl::add_timeout(0.01, &SReapingSteps::Wake);
    }
    static void Wake(void*) {}
};

// A child let go while it runs ends without an event for the loop: the loop still wakes while
// such a child is left, and its idle hook (the launcher's reaps there) reaps it within a second
// of its end.
TEST_F(FltkWindows, ChildrenLetGoAreReapedSoonAfterTheyEnd) {
    fltktest::TempFolder folder;
    zoo::Recorder dialog(zoo::NoDefaultId);
    SReapingSteps steps{&dialog, folder.Path() + "/go"};
    const std::string ended = folder.Path() + "/ended";
    platform::Process child;
    ASSERT_EQ(child.Start("/bin/sh",
                          {"-c", "while [ ! -e '" + steps.Go +
                                     "' ]; do /bin/sleep 0.02; done; : > '" + ended + "'"},
                          ""),
              0);
    const std::string proc = "/proc/" + std::to_string(child.GetId());
    child.Close();
    ASSERT_EQ(platform::DetachedProcessCount(), 1u);

    s_Reaped.reset();
    const ui::IdleHook previous = ui::SetIdleHook([] {
        if (!s_Reaped && platform::ReapDetachedProcesses() == 0)
            s_Reaped = std::chrono::system_clock::now();
    });
    Fl::add_timeout(0.3, &SReapingSteps::TellToEnd, &steps);
    EXPECT_EQ(dialog.DoModal(), 1);
    for (Fl_Timeout_Handler step :
         {&SReapingSteps::TellToEnd, &SReapingSteps::End, &SReapingSteps::Wake})
        Fl::remove_timeout(step);
    ui::SetIdleHook(previous);

    ASSERT_TRUE(std::filesystem::exists(ended));
    ASSERT_TRUE(s_Reaped.has_value()) << "never reaped";
    const auto end = std::chrono::file_clock::to_sys(std::filesystem::last_write_time(ended));
    EXPECT_LT(*s_Reaped - end, std::chrono::seconds(1)) << "the loop slept past the child's end";
    EXPECT_FALSE(std::filesystem::exists(proc)) << "a zombie is left";
}

} // namespace
