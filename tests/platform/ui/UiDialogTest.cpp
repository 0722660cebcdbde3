#include "platform/ui/Backend.h"
#include "platform/ui/Dialog.h"
#include "tests/platform/ui/UiBmp.h"
#include "tests/platform/ui/UiZoo.h"
#include "tests/support/HeadlessUi.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using testing::ElementsAre;
using ui::Key;
using ui::Script;

class UiDialog : public HeadlessUiTest {
protected:
    void SetUp() override { zoo::RegisterAll(); }
};

TEST_F(UiDialog, LifeCycleFromTableToResult) {
    zoo::Recorder dialog(zoo::ZooId);
    std::string text = "loaded";
    dialog.Exchange = [&](ui::DataExchange& dx) { dx.Text(1013, text); };
    dialog.Init = [](zoo::Recorder& d) {
        // The base loaded the members; the dialog is built but not shown.
        EXPECT_EQ(d.Item(1013).GetText(), "loaded");
        EXPECT_EQ(d.GetWindowText(), "Zoo");
        EXPECT_FALSE(d.IsVisible());
        EXPECT_EQ(d.ClientRect(), (ui::Rect{0, 0, 450, 325}));
        EXPECT_EQ(d.Item(1003).WindowRect(), ui::DuToPixels(5, 20, 80, 10));
        EXPECT_EQ(d.Item(1002).GetText(), "Own text");
        EXPECT_EQ(d.Item(1002).Flags(), ui::FlagOwnText);
    };
    m_Ui.Play(Script()
                  .Expect([](const ui::View& view) { return view.Find(zoo::ZooId)->IsVisible(); },
                          "shown")
                  .In(zoo::ZooId)
                  .SetText(1013, "typed")
                  .Key(Key::Enter));
    EXPECT_EQ(dialog.DoModal(), ui::IDOK);
    // The base OnOK saved the members; the controls are gone.
    EXPECT_EQ(text, "typed");
    EXPECT_FALSE(dialog.IsOpen());
    EXPECT_EQ(dialog.FindItem(1013), nullptr);
    EXPECT_THAT(dialog.Events, ElementsAre("init", "notify 1007 -12", "command 1 0", "destroy"));
    EXPECT_THAT(m_Ui.Transcript(),
                ElementsAre("open 9001", "text 9001/1013 \"loaded\"", "> type 9001/1013 \"typed\"",
                            "> key 9001 Enter", "close 9001 -> IDOK"));
}

TEST_F(UiDialog, EndInsideInitAndUnknownTemplates) {
    zoo::Recorder early(zoo::ZooId);
    early.Init = [](zoo::Recorder& d) { d.EndDialog(5); };
    EXPECT_EQ(early.DoModal(), 5);
    // Ended before it was shown: no loop pass, no first drawing of the slider.
    EXPECT_THAT(early.Events, ElementsAre("init", "destroy"));

    zoo::Recorder unknown(4242);
    EXPECT_EQ(unknown.DoModal(), -1);
    EXPECT_TRUE(unknown.Events.empty());

    zoo::Recorder host(zoo::TabbedId);
    zoo::Recorder page;
    host.Init = [&](zoo::Recorder& d) {
        EXPECT_FALSE(d.CreateChild(page, 4343, 1011));
        EXPECT_FALSE(page.IsOpen());
        d.EndDialog(ui::IDCANCEL);
    };
    EXPECT_EQ(host.DoModal(), ui::IDCANCEL);
    EXPECT_THAT(m_Ui.Transcript(),
                ElementsAre("open 9001", "close 9001 -> 5", "dialog 4242 cannot open", "open 9020",
                            "page 4343 cannot open", "close 9020 -> IDCANCEL"));
}

TEST(UiDialogWithoutBackend, DoesNotOpen) {
    zoo::RegisterAll();
    ASSERT_EQ(ui::GetBackend(), nullptr);
    zoo::Recorder dialog(zoo::ZooId);
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_TRUE(dialog.Events.empty());
}

TEST_F(UiDialog, ControlsAnswerAsThePlatformsDo) {
    uitest::RegisterPicture147();
    zoo::Recorder dialog(zoo::ZooId);
    dialog.Init = [](zoo::Recorder& d) {
        // Drop-down list: one line high, its open height from the template; a bad index
        // leaves no selection, never the old one.
        ui::Control& combo = d.Item(1006);
        EXPECT_EQ(combo.WindowRect().Height(), ui::ComboLineHeight);
        EXPECT_EQ(combo.DropHeight(), ui::DuToPixels(5, 35, 90, 50).Height());
        EXPECT_EQ(combo.AddString("a"), 0);
        EXPECT_EQ(combo.AddString("b"), 1);
        EXPECT_EQ(combo.GetCurSel(), -1);
        EXPECT_TRUE(combo.SetCurSel(1));
        EXPECT_EQ(combo.GetText(), "b");
        EXPECT_FALSE(combo.SetCurSel(2));
        EXPECT_EQ(combo.GetCurSel(), -1);
        EXPECT_EQ(combo.GetText(), "");
        EXPECT_TRUE(combo.SetCurSel(0));
        EXPECT_FALSE(combo.SetCurSel(-1));
        EXPECT_EQ(combo.GetCurSel(), -1);
        combo.SetCurSel(1);
        combo.ResetContent();
        EXPECT_EQ(combo.GetCount(), 0);
        EXPECT_EQ(combo.GetCurSel(), -1);

        // Slider and progress bar: 0 to 100 until set, positions clamped to the range.
        ui::Control& slider = d.Item(1007);
        EXPECT_EQ(slider.GetRangeMin(), 0);
        EXPECT_EQ(slider.GetRangeMax(), 100);
        slider.SetPos(299);
        EXPECT_EQ(slider.GetPos(), 100);
        slider.SetRange(10, 20);
        EXPECT_EQ(slider.GetPos(), 20);
        slider.SetPos(5);
        EXPECT_EQ(slider.GetPos(), 10);
        slider.SetTicFreq(10);
        EXPECT_EQ(slider.GetTicFreq(), 10);
        ui::Control& progress = d.Item(1008);
        progress.SetPos(150);
        EXPECT_EQ(progress.GetPos(), 100);
        progress.SetPos(-3);
        EXPECT_EQ(progress.GetPos(), 0);

        // IP address: first field in the highest byte; blank fields read as 0.
        ui::Control& address = d.Item(1011);
        u32 value = 1;
        EXPECT_EQ(address.GetAddress(value), 0);
        EXPECT_EQ(value, 0u);
        address.SetAddress(0x0A000102);
        EXPECT_EQ(address.GetAddress(value), 4);
        EXPECT_EQ(value, 0x0A000102u);
        EXPECT_EQ(address.AddressFields(), (std::array<i16, 4>{10, 0, 1, 2}));

        // Tab control: the first item becomes the selection, which follows insertions before
        // it and stays on a bad index; items lie in one row.
        ui::Control& tab = d.Item(1012);
        EXPECT_EQ(tab.InsertItem(0, "Display"), 0);
        EXPECT_EQ(tab.GetCurSel(), 0);
        EXPECT_EQ(tab.InsertItem(0, "First"), 0);
        EXPECT_EQ(tab.GetCurSel(), 1);
        EXPECT_EQ(tab.InsertItem(9, "Last"), 2);
        EXPECT_EQ(tab.InsertItem(-1, "Bad"), -1);
        EXPECT_FALSE(tab.SetCurSel(7));
        EXPECT_EQ(tab.GetCurSel(), 1);
        EXPECT_EQ(tab.GetItemText(2), "Last");
        EXPECT_EQ(tab.GetItemRect(0), (ui::Rect{2, 2, 44, 22}));
        EXPECT_EQ(tab.GetItemRect(1), (ui::Rect{44, 2, 98, 22}));
        EXPECT_EQ(tab.GetItemRect(3), ui::Rect{});

        // Picture: takes the picture's size; a missing one leaves the control empty.
        ui::Control& picture = d.Item(1005);
        const ui::Rect place = picture.WindowRect();
        EXPECT_TRUE(picture.SetPicture(147));
        EXPECT_EQ(picture.WindowRect(),
                  (ui::Rect{place.Left, place.Top, place.Left + 492, place.Top + 203}));
        picture.SetWindowPos(0, 0, 0, 0, ui::SWP_NOSIZE | ui::SWP_NOOWNERZORDER);
        EXPECT_EQ(picture.WindowRect(), (ui::Rect{0, 0, 492, 203}));
        EXPECT_FALSE(picture.SetPicture(148));
        EXPECT_FALSE(picture.HasPicture());

        // Edits: setting a text by code puts the caret at its start; a selection is clamped.
        ui::Control& edit = d.Item(1013);
        edit.SetText("hello");
        edit.SetSel(1, -1);
        EXPECT_EQ(edit.GetSel(), (std::pair<i32, i32>{1, 5}));
        edit.SetSel(9, 2);
        EXPECT_EQ(edit.GetSel(), (std::pair<i32, i32>{2, 5}));
        d.EndDialog(ui::IDOK);
    };
    EXPECT_EQ(dialog.DoModal(), ui::IDOK);
    EXPECT_THAT(m_Ui.Transcript(),
                ElementsAre("open 9001", "picture 9001/1005 147 492x203",
                            "move 9001/1005 0,0 492x203", "picture 9001/1005 148 none",
                            "text 9001/1013 \"hello\"", "close 9001 -> IDOK"));
}

TEST_F(UiDialog, NotificationsComeFromTheUser) {
    zoo::Recorder dialog(zoo::ZooId);
    dialog.Init = [](zoo::Recorder& d) {
        // Changes by code send nothing, except the slider's drawing.
        d.Item(1002).SetCheck(true);
        ui::Control& combo = d.Item(1006);
        for (const char* entry : {"zero", "one", "two"})
            combo.AddString(entry);
        combo.SetCurSel(1);
        d.Item(1012).InsertItem(0, "A");
        d.Item(1012).InsertItem(1, "B");
        d.Item(1012).SetCurSel(1);
        d.Item(1007).SetPos(40);
        d.Events.push_back("shown next");
    };
    auto checked = [](const ui::View& view) { return view.Item(zoo::ZooId, 1002)->GetCheck(); };
    m_Ui.Play(Script()
                  .In(zoo::ZooId)
                  .Click(1002)
                  .Expect([&](const ui::View& view) { return !checked(view); }, "toggled off")
                  .Check(1002, false)
                  .Check(1002, true)
                  .Select(1006, 2)
                  .SelectTab(1012, 0)
                  .SetSlider(1007, 150)
                  .Expect([](const ui::View& view) {
                      return view.Item(zoo::ZooId, 1007)->GetPos() == 100 &&
                             view.Item(zoo::ZooId, 1006)->GetText() == "two" &&
                             view.Item(zoo::ZooId, 1012)->GetCurSel() == 0;
                  })
                  .SetAddress(1011, 10, -1, 0, 1)
                  .Expect([](const ui::View& view) {
                      u32 address = 0;
                      return view.Item(zoo::ZooId, 1011)->GetAddress(address) == 3 &&
                             address == 0x0A000001;
                  })
                  // a number above 255 typed into a field becomes 255
                  .SetAddress(1011, 300, 255, 256, 7)
                  .Expect([](const ui::View& view) {
                      u32 address = 0;
                      return view.Item(zoo::ZooId, 1011)->GetAddress(address) == 4 &&
                             address == 0xFFFFFF07;
                  })
                  // the same as text, blank fields written empty or "-"
                  .SetAddress(1011, "10.-.0.1")
                  .Expect([](const ui::View& view) {
                      return view.Item(zoo::ZooId, 1011)->AddressFields() ==
                             std::array<i16, 4>{10, -1, 0, 1};
                  })
                  .SetAddress(1011, "300..0256.07")
                  .Expect([](const ui::View& view) {
                      return view.Item(zoo::ZooId, 1011)->AddressFields() ==
                             std::array<i16, 4>{255, -1, 255, 7};
                  })
                  .SetText(1009, "5")
                  .Key(Key::Escape));
    EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
    EXPECT_THAT(dialog.Events, ElementsAre("init", "notify 1007 -12", "shown next",
                                           // first shown
                                           "notify 1007 -12",
                                           // a click toggles, then sends the command; Check(on)
                                           // clicks only when the state differs
                                           "command 1002 0", "command 1002 0",
                                           // a pick: selection changed, then selection ended
                                           "command 1006 1", "command 1006 9",
                                           // a tab pick
                                           "notify 1012 -551",
                                           // a dragged slider
                                           "notify 1007 -12", "command 2 0", "destroy"));
}

// Enter, Escape and the close box, as the dialog manager routes them.
TEST_F(UiDialog, EnterEscapeAndCloseBox) {
    enum class Input { Enter, Escape, CloseBox };
    struct Case {
        const char* name;
        u32 templateId;
        u32 focus;                 // focused by code before the key, 0 for none
        std::vector<u32> disabled; // controls disabled by code
        std::vector<u32> hidden;
        Input input;
        u32 command; // the command sent, 0 when the platform ignores the input
    };
    const Case cases[] = {
        {"no default, no control 1: Enter sends 1", zoo::NoDefaultId, 0, {}, {}, Input::Enter, 1},
        {"focused push button", zoo::NoDefaultId, 1001, {}, {}, Input::Enter, 1001},
        {"focused check box", zoo::NoDefaultId, 1002, {}, {}, Input::Enter, 1},
        {"Escape", zoo::NoDefaultId, 0, {}, {}, Input::Escape, 2},
        {"Escape with Cancel disabled", zoo::NoDefaultId, 0, {2}, {}, Input::Escape, 2},
        {"close box", zoo::NoDefaultId, 0, {}, {}, Input::CloseBox, 2},
        {"close box with Cancel disabled", zoo::NoDefaultId, 0, {2}, {}, Input::CloseBox, 0},
        {"default button", zoo::SaveDefaultId, 0, {}, {}, Input::Enter, 4},
        {"disabled default button", zoo::SaveDefaultId, 0, {4}, {}, Input::Enter, 0},
        {"focused push button first", zoo::SaveDefaultId, 1001, {}, {}, Input::Enter, 1001},
        {"focused but disabled", zoo::SaveDefaultId, 1001, {1001}, {}, Input::Enter, 4},
        {"focused but hidden", zoo::SaveDefaultId, 1001, {}, {1001}, Input::Enter, 4},
        {"focus on a check box", zoo::SaveDefaultId, 1002, {}, {}, Input::Enter, 4},
        {"default button 1", zoo::NoCloseBoxId, 1001, {1001}, {}, Input::Enter, 1},
        {"Escape without control 2", zoo::NoCloseBoxId, 0, {}, {}, Input::Escape, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        zoo::Recorder dialog(c.templateId);
        dialog.Init = [&](zoo::Recorder& d) {
            for (u32 id : c.disabled)
                d.Item(id).Enable(false);
            for (u32 id : c.hidden)
                d.Item(id).Show(false);
            if (c.focus)
                d.Item(c.focus).SetFocus();
        };
        // Every command ends the dialog with its id.
        dialog.Command = [](zoo::Recorder& d, u32 id, i32) { d.EndDialog(int(id)); };
        Script script;
        script.In(c.templateId);
        switch (c.input) {
            case Input::Enter:
                script.Key(Key::Enter);
                break;
            case Input::Escape:
                script.Key(Key::Escape);
                break;
            case Input::CloseBox:
                script.Close();
                break;
        }
        if (!c.command)
            script.Key(Key::Escape);
        m_Ui.Play(std::move(script));
        const size_t before = m_Ui.Transcript().size();
        const int result = dialog.DoModal();
        if (c.command) {
            EXPECT_EQ(result, int(c.command));
        } else {
            EXPECT_EQ(result, ui::IDCANCEL);
            EXPECT_EQ(m_Ui.Transcript()[before + 2], "ignored");
        }
    }
}

// A backend reports focus moved by the user alone (Tab, a click that changes nothing): Enter then
// presses the focused push button. Focus cannot go where the user could not put it.
TEST_F(UiDialog, FocusMovedByTheUserDecidesEnter) {
    zoo::Recorder dialog(zoo::SaveDefaultId);
    dialog.Init = [](zoo::Recorder& d) { d.Item(2).Enable(false); };
    dialog.Command = [](zoo::Recorder& d, u32 id, i32) { d.EndDialog(int(id)); };
    std::vector<ui::InputResult> results;
    m_Ui.Play(Script()
                  .Expect([&](const ui::View&) {
                      results.push_back(ui::input::Focus(dialog.Item(2)));
                      results.push_back(ui::input::Focus(dialog.Item(1001)));
                      return dialog.Item(1001).HasFocus();
                  })
                  .In(zoo::SaveDefaultId)
                  .Key(Key::Enter));
    EXPECT_EQ(dialog.DoModal(), 1001);
    EXPECT_THAT(results, ElementsAre(ui::InputResult::Disabled, ui::InputResult::Done));
    // Nothing was sent for the focus itself.
    EXPECT_THAT(dialog.Events, ElementsAre("init", "command 1001 0", "destroy"));
}

TEST_F(UiDialog, DataExchangeRefusalsAndRanges) {
    struct Case {
        const char* typed;
        bool ranged;
        i32 min, max;
        i32 stored;          // the member after OK, when accepted
        const char* refusal; // the message, or null when accepted
    };
    const char* notInteger = "Please enter an integer.";
    const Case cases[] = {
        {"42", false, 0, 0, 42, nullptr},
        {"  -17 ", false, 0, 0, -17, nullptr},
        {"\t+8\t", false, 0, 0, 8, nullptr},
        {"007", false, 0, 0, 7, nullptr},
        {"2147483647", false, 0, 0, 2147483647, nullptr},
        {"-2147483648", false, 0, 0, INT32_MIN, nullptr},
        {"2147483648", false, 0, 0, 0, notInteger},
        {"99999999999999999999", false, 0, 0, 0, notInteger},
        {"", false, 0, 0, 0, notInteger},
        {"   ", false, 0, 0, 0, notInteger},
        {"12a", false, 0, 0, 0, notInteger},
        {"1 2", false, 0, 0, 0, notInteger},
        {"- 5", false, 0, 0, 0, notInteger},
        {"+-5", false, 0, 0, 0, notInteger},
        {"0x10", false, 0, 0, 0, notInteger},
        {"1.5", false, 0, 0, 0, notInteger},
        {"65535", true, 0, 65535, 65535, nullptr},
        {"0", true, 0, 65535, 0, nullptr},
        {"65536", true, 0, 65535, 0, "Please enter an integer between 0 and 65535."},
        {"-1", true, 0, 65535, 0, "Please enter an integer between 0 and 65535."},
        {"9", true, 10, 4095, 0, "Please enter an integer between 10 and 4095."},
        {"-6", true, -5, 5, 0, "Please enter an integer between -5 and 5."},
        {"x", true, 10, 4095, 0, notInteger},
    };
    ui::SetApplicationTitle("Zoo title");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "\"" << c.typed << "\"");
        zoo::Recorder dialog(zoo::ZooId);
        i32 number = 1234;
        std::string after = "before";
        dialog.Exchange = [&](ui::DataExchange& dx) {
            if (!dx.IsSaving())
                return; // keep the typed text for the save
            if (c.ranged)
                dx.Int(1009, number, c.min, c.max);
            else
                dx.Int(1009, number);
            dx.Text(1013, after);
        };
        Script script;
        script.In(zoo::ZooId).SetText(1009, c.typed).SetText(1013, "after").Click(1);
        if (c.refusal) {
            const std::string typed = c.typed;
            script.Answer(ui::IDOK, ui::Exactly("Zoo title"), ui::Exactly(c.refusal))
                .Expect(
                    [typed](const ui::View& view) {
                        // Focus on the refused edit, its text selected.
                        const ui::Control& edit = *view.Item(zoo::ZooId, 1009);
                        return edit.HasFocus() &&
                               edit.GetSel() == std::pair<i32, i32>{0, i32(typed.size())};
                    },
                    "refused edit focused and selected")
                .Key(Key::Escape);
        }
        m_Ui.Play(std::move(script));
        const int result = dialog.DoModal();
        if (c.refusal) {
            // OK kept the dialog open; nothing after the failing field was exchanged.
            EXPECT_EQ(result, ui::IDCANCEL);
            EXPECT_EQ(number, 1234);
            EXPECT_EQ(after, "before");
        } else {
            EXPECT_EQ(result, ui::IDOK);
            EXPECT_EQ(number, c.stored);
            EXPECT_EQ(after, "after");
        }
    }
    ui::SetApplicationTitle("");
}

TEST_F(UiDialog, LoadingExchangesEveryKind) {
    zoo::Recorder dialog(zoo::ZooId);
    std::string label = "Set at run time";
    i32 number = -12;
    i32 check = 1;
    i32 combo = 1;
    i32 slider = 250;
    dialog.Exchange = [&](ui::DataExchange& dx) {
        dx.Text(1003, label);
        dx.Int(1009, number, 0, 10); // loading never fails
        dx.Check(1002, check);
        dx.ComboIndex(1006, combo);
        dx.SliderPos(1007, slider);
    };
    dialog.Init = [&](zoo::Recorder& d) {
        EXPECT_EQ(d.Item(1003).GetText(), "Set at run time");
        EXPECT_EQ(d.Item(1009).GetText(), "-12");
        EXPECT_TRUE(d.Item(1002).GetCheck());
        // The list was empty when the selection was loaded.
        EXPECT_EQ(d.Item(1006).GetCurSel(), -1);
        EXPECT_EQ(d.Item(1007).GetPos(), 100);
        d.Item(1006).AddString("x");
        d.Item(1006).AddString("y");
        EXPECT_TRUE(d.UpdateData(false));
        EXPECT_EQ(d.Item(1006).GetCurSel(), 1);
        d.Item(1002).SetCheck(false);
        d.Item(1009).SetText("7");
        EXPECT_TRUE(d.UpdateData(true));
        d.EndDialog(ui::IDOK);
    };
    EXPECT_EQ(dialog.DoModal(), ui::IDOK);
    EXPECT_EQ(check, 0);
    EXPECT_EQ(number, 7);
    EXPECT_EQ(combo, 1);
    EXPECT_EQ(slider, 100);
}

// A dialog with two pages in its tab control, placed by the launcher's rule from the first
// tab's rectangle, whose OK saves both pages and ends only when both were accepted.
class TwoPages {
public:
    TwoPages() {
        m_Dialog.Init = [this](zoo::Recorder& d) {
            ui::Control& tab = d.Item(1011);
            EXPECT_TRUE(d.CreateChild(m_First, zoo::PageAId, 1011));
            tab.InsertItem(0, "Network");
            EXPECT_TRUE(d.CreateChild(m_Second, zoo::PageBId, 1011));
            tab.InsertItem(1, "Game");
            ShowPage(0);
        };
        m_Dialog.Notify = [this](zoo::Recorder& d, u32 id, i32 code) {
            if (id == 1011 && code == ui::TCN_SELCHANGE)
                ShowPage(d.Item(1011).GetCurSel());
        };
        m_Dialog.Ok = [this](zoo::Recorder& d) {
            if (m_First.UpdateData(true) && m_Second.UpdateData(true))
                d.EndDialog(ui::IDOK);
        };
        m_First.Exchange = [this](ui::DataExchange& dx) {
            dx.Int(1030, ServerPort, 0, 65535);
            dx.Int(1031, ClientPort, 0, 65535);
            dx.Int(1088, CacheMb, 10, 4095);
        };
        m_Second.Exchange = [this](ui::DataExchange& dx) { dx.Int(1112, MaxOpponents); };
        // Escape in a page closes nothing.
        m_First.Cancel = [](zoo::Recorder&) {};
        m_Second.Cancel = [](zoo::Recorder&) {};
    }

    void ShowPage(i32 index) {
        zoo::Recorder* pages[] = {&m_First, &m_Second};
        for (zoo::Recorder* page : pages)
            page->Show(false);
        if (index < 0 || index > 1)
            return;
        ui::Control& tab = m_Dialog.Item(1011);
        const ui::Rect client = tab.ClientRect();
        const ui::Rect item = tab.GetItemRect(0);
        pages[index]->SetWindowPos(item.Left, item.Bottom + 1, client.Right - item.Left - 1,
                                   client.Bottom - item.Bottom - 2, ui::SWP_SHOWWINDOW);
    }

    i32 ServerPort = 2350;
    i32 ClientPort = 3450;
    i32 CacheMb = 100;
    i32 MaxOpponents = 8;
    zoo::Recorder m_Dialog{zoo::TabbedId};
    zoo::Recorder m_First;
    zoo::Recorder m_Second;
};

TEST_F(UiDialog, PagesArePlacedFromTheTabsItemRectangle) {
    TwoPages pages;
    // The tab control is 516 x 320 pixels; its first item spans 2..56 x 2..22.
    const ui::Rect expected{2, 23, 2 + 513, 23 + 296};
    m_Ui.Play(Script()
                  .Expect(
                      [&](const ui::View& view) {
                          const ui::Dialog* first = view.Find(zoo::PageAId);
                          const ui::Dialog* second = view.Find(zoo::PageBId);
                          return first->IsVisible() && !second->IsVisible() &&
                                 first->WindowRect() == expected &&
                                 first->ClientRect() == ui::Rect{0, 0, 513, 296};
                      },
                      "first page shown")
                  .In(zoo::TabbedId)
                  .SelectTab(1011, 1)
                  .Expect(
                      [&](const ui::View& view) {
                          return !view.Find(zoo::PageAId)->IsVisible() &&
                                 view.Find(zoo::PageBId)->WindowRect() == expected;
                      },
                      "second page shown")
                  // A control of a hidden page is not on screen.
                  .Expect([](const ui::View& view) {
                      return !view.Item(zoo::PageAId, 1030)->IsOnScreen() &&
                             view.Item(zoo::PageBId, 1112)->IsOnScreen();
                  })
                  .In(zoo::TabbedId)
                  .Key(Key::Escape));
    EXPECT_EQ(pages.m_Dialog.DoModal(), ui::IDCANCEL);
    EXPECT_FALSE(pages.m_First.IsOpen());
    EXPECT_FALSE(pages.m_Second.IsOpen());
    // Destroyed with their dialog: the dialog's OnDestroy, then the pages'.
    EXPECT_EQ(pages.m_Dialog.Events.back(), "destroy");
    EXPECT_EQ(pages.m_First.Events.back(), "destroy");
    EXPECT_EQ(pages.m_Second.Events.back(), "destroy");
    EXPECT_THAT(m_Ui.Transcript(),
                ElementsAre("open 9020", "page 9101 in 9020/1011", "text 9101/1030 \"2350\"",
                            "text 9101/1031 \"3450\"", "text 9101/1088 \"100\"",
                            "page 9102 in 9020/1011", "text 9102/1112 \"8\"",
                            "place 9101 2,23 513x296", "show 9101", "> tab 9020/1011 1",
                            "hide 9101", "place 9102 2,23 513x296", "show 9102",
                            "> key 9020 Escape", "close page 9101", "close page 9102",
                            "close 9020 -> IDCANCEL"));
}

TEST_F(UiDialog, BadNumberOnAPageKeepsTheDialogOpen) {
    TwoPages pages;
    ui::SetApplicationTitle("Brisalde");
    m_Ui.Play(
        Script()
            .In(zoo::PageAId)
            .SetText(1030, "2351")
            // Enter and Escape inside a page go to the page, which cannot end.
            .Key(Key::Escape)
            .Key(Key::Enter)
            .Expect([](const ui::View& view) { return view.Find(zoo::PageAId) != nullptr; },
                    "the page is still there")
            .SetText(1031, "70000")
            .SetText(1088, "200")
            .In(zoo::TabbedId)
            .SelectTab(1011, 1)
            .In(zoo::PageBId)
            .SetText(1112, "12")
            .In(zoo::TabbedId)
            .Click(1)
            .Answer(ui::IDOK, ui::Exactly("Brisalde"),
                    ui::Exactly("Please enter an integer between 0 and 65535."))
            .Expect(
                [&](const ui::View& view) {
                    // Open, the fields after the failing one unchanged, the second
                    // page not exchanged.
                    return view.Find(zoo::TabbedId) && pages.ServerPort == 2351 &&
                           pages.ClientPort == 3450 && pages.CacheMb == 100 &&
                           pages.MaxOpponents == 8;
                },
                "nothing saved after the refused field")
            // The refused edit took the focus, inside its hidden page.
            .Expect([](const ui::View& view) { return view.Item(zoo::PageAId, 1031)->HasFocus(); })
            .In(zoo::TabbedId)
            .SelectTab(1011, 0)
            .In(zoo::PageAId)
            .SetText(1031, "3451")
            .In(zoo::TabbedId)
            .Click(1));
    EXPECT_EQ(pages.m_Dialog.DoModal(), ui::IDOK);
    EXPECT_EQ(pages.ServerPort, 2351);
    EXPECT_EQ(pages.ClientPort, 3451);
    EXPECT_EQ(pages.CacheMb, 200);
    EXPECT_EQ(pages.MaxOpponents, 12);
    const auto& lines = m_Ui.Transcript();
    // The page's Enter reached the page's OnOK, whose EndDialog did nothing.
    EXPECT_NE(std::find(lines.begin(), lines.end(), "page 9101 end IDOK ignored"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "refuse 9101/1031 \"70000\""), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "box owner 9101 \"Brisalde\" \"Please enter an integer between 0 and "
                        "65535.\" MB_OK OK"),
              lines.end());
    ui::SetApplicationTitle("");
}

TEST_F(UiDialog, SlidersAreDrawnWhenFirstShownAndOnEveryChange) {
    TwoPages pages;
    m_Ui.Play(Script()
                  .In(zoo::TabbedId)
                  .SelectTab(1011, 1)
                  .SelectTab(1011, 0)
                  .In(zoo::PageAId)
                  .SetSlider(1104, 30)
                  .In(zoo::TabbedId)
                  .Key(Key::Escape));
    EXPECT_EQ(pages.m_Dialog.DoModal(), ui::IDCANCEL);
    // Shown with the dialog (the page was shown before the dialog itself), then dragged; the
    // second showing of the page is not a first one.
    EXPECT_THAT(pages.m_First.Events,
                ElementsAre("init", "notify 1104 -12", "notify 1104 -12", "destroy"));
}

} // namespace
