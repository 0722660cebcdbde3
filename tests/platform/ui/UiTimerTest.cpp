#include "platform/Clock.h"
#include "platform/ui/Backend.h"
#include "platform/ui/MessageBox.h"
#include "tests/platform/ui/UiZoo.h"
#include "tests/support/HeadlessUi.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using testing::ElementsAre;
using ui::Script;

class UiTimer : public HeadlessUiTest {
protected:
    void SetUp() override { zoo::RegisterAll(); }
};

// Dialog, dialog, dialog, message box: the bottom dialog's timer fires inside every nested
// loop, from a counter that engine clocks read as well.
TEST_F(UiTimer, BottomTimerFiresInsideEveryNestedLoop) {
    zoo::Recorder first(zoo::LevelIds[0]);
    zoo::Recorder second(zoo::LevelIds[1]);
    zoo::Recorder third(zoo::LevelIds[2]);
    std::vector<size_t> depths;
    std::vector<i64> times;
    const i64 start = platform::CounterNow();
    first.Init = [](zoo::Recorder& d) { EXPECT_EQ(d.SetTimer(0, 100), 0u); };
    first.Timer = [&](zoo::Recorder&, u32) {
        depths.push_back(ui::Frames().size());
        times.push_back((platform::CounterNow() - start) / 1000000);
    };
    auto opens = [](zoo::Recorder& next) {
        return [&next](zoo::Recorder& d, u32 id, i32) {
            if (id == 1001)
                EXPECT_EQ(next.DoModal(), ui::IDCANCEL);
            else
                d.EndDialog(ui::IDCANCEL);
        };
    };
    first.Command = opens(second);
    second.Command = opens(third);
    third.Command = [](zoo::Recorder& d, u32 id, i32) {
        if (id == 1001)
            EXPECT_EQ(ui::MessageBox(&d, "Deep", "Level 4", ui::MB_OKCANCEL), ui::IDCANCEL);
        else
            d.EndDialog(ui::IDCANCEL);
    };
    m_Ui.Play(Script()
                  .In(9010)
                  .Click(1001)
                  .RunTimers(1)
                  .In(9011)
                  .Click(1001)
                  .RunTimers(1)
                  .In(9012)
                  .Click(1001)
                  .RunTimers(2)
                  .Answer(ui::IDCANCEL, ui::Exactly("Level 4"), ui::Exactly("Deep"))
                  .In(9012)
                  .Click(2)
                  .In(9011)
                  .Click(2)
                  .RunTimers(1)
                  .In(9010)
                  .Click(2));
    EXPECT_EQ(first.DoModal(), ui::IDCANCEL);
    EXPECT_THAT(depths, ElementsAre(2u, 3u, 4u, 4u, 1u));
    EXPECT_THAT(times, ElementsAre(100, 200, 300, 400, 500));
    // Timers die with their dialog.
    EXPECT_EQ(ui::NextTimerDue(), -1);
    EXPECT_THAT(
        m_Ui.Transcript(),
        ElementsAre("open 9010", "timer 9010 set 0 100ms", "> click 9010/1001",
                    "open 9011 owner 9010", "timer 9010 fire 0 at 100ms", "> click 9011/1001",
                    "open 9012 owner 9011", "timer 9010 fire 0 at 200ms", "> click 9012/1001",
                    "box owner 9012 \"Level 4\" \"Deep\" MB_OKCANCEL OK|Cancel",
                    "timer 9010 fire 0 at 300ms", "timer 9010 fire 0 at 400ms", "> answer IDCANCEL",
                    "box -> IDCANCEL", "> click 9012/2", "close 9012 -> IDCANCEL", "> click 9011/2",
                    "close 9011 -> IDCANCEL", "timer 9010 fire 0 at 500ms", "> click 9010/2",
                    "timer 9010 dropped 0", "close 9010 -> IDCANCEL"));
}

TEST_F(UiTimer, SetKillAndFiringOrder) {
    zoo::Recorder dialog(zoo::LevelIds[0]);
    dialog.Init = [](zoo::Recorder& d) {
        EXPECT_EQ(d.SetTimer(7, 30), 7u);
        EXPECT_EQ(d.SetTimer(7, 500), 7u); // the new period replaces the old
        EXPECT_FALSE(d.KillTimer(99));
        EXPECT_EQ(d.SetTimer(3, 100), 3u);
        EXPECT_EQ(d.SetTimer(1, 100), 1u);
        EXPECT_EQ(d.SetTimer(9, 60), 9u);
        EXPECT_EQ(d.SetTimer(5, 0), 5u); // runs at 10 ms
        EXPECT_TRUE(d.KillTimer(5));
        EXPECT_FALSE(d.KillTimer(5));
    };
    dialog.Destroy = [](zoo::Recorder& d) { EXPECT_TRUE(d.KillTimer(1)); };
    m_Ui.Play(Script().RunTimers(5).In(9010).Click(2));
    EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
    // Due time first, then id.
    EXPECT_THAT(dialog.Events, ElementsAre("init", "timer 9", "timer 1", "timer 3", "timer 9",
                                           "timer 9", "command 2 0", "destroy"));
    const auto& lines = m_Ui.Transcript();
    EXPECT_THAT(std::vector<std::string>(lines.begin(), lines.begin() + 8),
                ElementsAre("open 9010", "timer 9010 set 7 30ms", "timer 9010 set 7 500ms",
                            "timer 9010 set 3 100ms", "timer 9010 set 1 100ms",
                            "timer 9010 set 9 60ms", "timer 9010 set 5 10ms", "timer 9010 kill 5"));
    EXPECT_EQ(lines[8], "timer 9010 fire 9 at 60ms");
    EXPECT_EQ(lines[12], "timer 9010 fire 9 at 180ms");
    EXPECT_EQ(lines[14], "timer 9010 kill 1");
}

// The bench dialog's pattern: its timer handler shows a box, and the timer keeps firing into
// the same handler from the box's loop.
TEST_F(UiTimer, HandlerReenteredFromTheBoxItOpened) {
    zoo::Recorder dialog(zoo::LevelIds[0]);
    int depth = 0;
    int deepest = 0;
    int calls = 0;
    dialog.Init = [](zoo::Recorder& d) { d.SetTimer(1, 50); };
    dialog.Timer = [&](zoo::Recorder& d, u32) {
        ++calls;
        ++depth;
        deepest = std::max(deepest, depth);
        if (calls == 1)
            ui::MessageBox(&d, "Your graphic card supports it.", "Bench result", ui::MB_OK);
        --depth;
    };
    m_Ui.Play(Script().RunTimers(3).Answer(ui::IDOK).In(9010).Click(2));
    EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(deepest, 2);
}

TEST_F(UiTimer, IdleHookRunsFirstInEveryPass) {
    ui::SetIdleHook([] { ui::Trace("idle"); });
    zoo::Recorder dialog(zoo::LevelIds[0]);
    dialog.Init = [](zoo::Recorder& d) { d.SetTimer(1, 50); };
    m_Ui.Play(Script().In(9010).Click(1001).RunTimers(1).Click(2));
    EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
    ui::SetIdleHook(nullptr);
    EXPECT_THAT(m_Ui.Transcript(),
                ElementsAre("open 9010", "timer 9010 set 1 50ms", "idle", "> click 9010/1001",
                            "idle", "idle", "timer 9010 fire 1 at 50ms", "idle", "> click 9010/2",
                            "timer 9010 dropped 1", "close 9010 -> IDCANCEL"));
}

// A timer left set when its dialog ends is written down and let go; a backend asked to fails
// the flow for it, while a timer killed in OnDestroy passes.
TEST(UiTimerDropped, LeftSetWhenTheDialogEnds) {
    zoo::RegisterAll();
    for (const bool strict : {false, true}) {
        for (const bool killed : {false, true}) {
            ui::HeadlessOptions options;
            options.FailOnDroppedTimer = strict;
            std::string failure;
            options.OnFailure = [&](const std::string& message, const std::string&) {
                failure = message;
            };
            ui::HeadlessBackend backend(options);
            zoo::Recorder dialog(zoo::LevelIds[0]);
            dialog.Init = [](zoo::Recorder& d) {
                d.SetTimer(1, 50);
                d.SetTimer(2, 70);
                d.KillTimer(2);
            };
            if (killed)
                dialog.Destroy = [](zoo::Recorder& d) { d.KillTimer(1); };
            backend.Play(Script().In(9010).Click(2));
            EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
            EXPECT_EQ(ui::NextTimerDue(), -1);
            const bool dropped = std::find(backend.Transcript().begin(), backend.Transcript().end(),
                                           "timer 9010 dropped 1") != backend.Transcript().end();
            EXPECT_EQ(dropped, !killed) << strict << killed;
            EXPECT_EQ(failure, strict && !killed
                                   ? "dialog 9010 was destroyed with its timer 1 still set"
                                   : "")
                << strict << killed;
            EXPECT_EQ(backend.Failed(), strict && !killed);
        }
    }
}

i64 s_TestCounter = 0;

// Virtual time on a counter the test owns: a handler that blocks moves it, and the timer that
// fell behind fires once, and never inside the handler.
TEST(UiTimerOnTheTestsCounter, FellBehindFiresOnce) {
    zoo::RegisterAll();
    s_TestCounter = 5000000000;
    const platform::CounterSource previous =
        platform::SetCounterSource([] { return s_TestCounter; });
    {
        ui::HeadlessOptions options = GTestHeadlessOptions();
        options.MoveCounterTo = [](i64 counter) { s_TestCounter = counter; };
        ui::HeadlessBackend backend(options);
        zoo::Recorder dialog(zoo::LevelIds[0]);
        dialog.Init = [](zoo::Recorder& d) { d.SetTimer(1, 50); };
        dialog.Command = [](zoo::Recorder& d, u32 id, i32) {
            if (id == 2) {
                d.EndDialog(ui::IDCANCEL);
                return;
            }
            // Blocking work: no timer fires meanwhile.
            const size_t before = d.Events.size();
            s_TestCounter += 520000000;
            EXPECT_EQ(d.Events.size(), before);
        };
        backend.Play(Script().In(9010).Click(1001).RunTimers(2).Click(2));
        EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
        EXPECT_THAT(dialog.Events, ElementsAre("init", "command 1001 0", "timer 1", "timer 1",
                                               "command 2 0", "destroy"));
        EXPECT_THAT(backend.Transcript(),
                    ElementsAre("open 9010", "timer 9010 set 1 50ms", "> click 9010/1001",
                                "timer 9010 fire 1 at 520ms", "timer 9010 fire 1 at 570ms",
                                "> click 9010/2", "timer 9010 dropped 1",
                                "close 9010 -> IDCANCEL"));
        EXPECT_TRUE(backend.Finish());
    }
    platform::SetCounterSource(previous);
}

TEST(UiTimerRealTime, SleepsUntilEachDueTime) {
    zoo::RegisterAll();
    ui::HeadlessOptions options = GTestHeadlessOptions();
    options.Time = ui::TimeMode::Real;
    ui::HeadlessBackend backend(options);
    zoo::Recorder dialog(zoo::LevelIds[0]);
    int fired = 0;
    dialog.Init = [](zoo::Recorder& d) { d.SetTimer(4, 10); };
    dialog.Timer = [&](zoo::Recorder&, u32) { ++fired; };
    const i64 start = platform::CounterNow();
    backend.Play(
        Script()
            .RunTimersUntil([&](const ui::View&) { return fired >= 3; }, 10000, "three ticks")
            .In(9010)
            .Click(2));
    EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
    EXPECT_GE(fired, 3);
    // The real counter moved by itself: three periods passed.
    EXPECT_GE(platform::CounterNow() - start, 30 * platform::CounterFrequency() / 1000);
    EXPECT_TRUE(backend.Finish());
}

} // namespace
