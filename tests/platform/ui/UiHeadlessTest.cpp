#include "platform/ui/FileDialog.h"
#include "platform/ui/Headless.h"
#include "platform/ui/MessageBox.h"
#include "tests/platform/ui/UiZoo.h"
#include "tests/support/HeadlessUi.h"

#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace {

using testing::HasSubstr;
using ui::Key;
using ui::Script;

// Every kind of flow failure, seen through a recording failure handler: one failure with the
// transcript, and a flow that unwinds (the dialog ends with IDCANCEL, a box with its negative
// answer, a file dialog with nothing) and drops the rest of its script.
TEST(UiHeadless, EveryFailureKindUnwinds) {
    zoo::RegisterAll();
    struct Case {
        const char* name;
        u32 templateId;
        std::function<void(zoo::Recorder&)> setUp;
        std::function<Script()> script;
        const char* failure;
        const char* outcome = nullptr; // what button 1001's action came to, when it has one
        u32 maxPasses = 100000;
        bool runsOut = false; // the script ends at the failure
    };
    // What the dialog's button 1001 does in a case, and what came of it.
    std::string outcome;
    auto onPush = [](std::function<void(zoo::Recorder&)> action) {
        return [action](zoo::Recorder& d) {
            d.Command = [action](zoo::Recorder& self, u32 id, i32 code) {
                if (id == 1001)
                    action(self);
                else
                    self.BaseCommand(id, code);
            };
        };
    };
    const Case cases[] = {
        {"a dialog the step does not address", 9010, nullptr,
         [] { return Script().In(9011).Click(1001); },
         "the step \"click 9011/1001\" does not address dialog 9010"},
        {"a box the step does not address", 9010, onPush([&](zoo::Recorder& d) {
             outcome =
                 ui::ResultName(ui::MessageBox(&d, "Replace it ?", "Avatar import", ui::MB_YESNO));
         }),
         [] { return Script().In(9010).Click(1001).Click(2); },
         "the step \"click 9010/2\" does not address the message box \"Avatar import\"", "IDNO"},
        {"a file dialog the step does not address", 9010, onPush([&](zoo::Recorder& d) {
             const ui::OpenFileSpec spec{
                 "Convert ogg file", "music files (*.ogg)", "*.ogg", "ogg", "/tmp", 0};
             outcome = ui::OpenFileDialog(&d, spec).value_or("nothing");
         }),
         [] { return Script().In(9010).Click(1001).Answer(ui::IDOK); },
         "the step \"answer IDOK\" does not address the file dialog \"Convert ogg file\"",
         "nothing"},
        {"a disabled control", 9010,
         [](zoo::Recorder& d) {
             d.Init = [](zoo::Recorder& self) { self.Item(1001).Enable(false); };
         },
         [] { return Script().In(9010).Click(1001); },
         "\"click 9010/1001\": the control is disabled"},
        {"a hidden control", 9010,
         [](zoo::Recorder& d) {
             d.Init = [](zoo::Recorder& self) { self.Item(1001).Show(false); };
         },
         [] { return Script().In(9010).Click(1001); },
         "\"click 9010/1001\": the control is not shown"},
        {"a control the template lacks", 9010, nullptr,
         [] { return Script().In(9010).Click(1234); }, "dialog 9010 has no control 1234"},
        {"a value the control cannot take", zoo::ZooId, nullptr,
         [] { return Script().In(zoo::ZooId).Select(1006, 0); },
         "\"select 9001/1006 0\": the control cannot take this value"},
        {"an address text that is not one", zoo::ZooId, nullptr,
         [] { return Script().In(zoo::ZooId).SetAddress(1011, "10.0.x"); },
         "\"address 9001/1011 10.0.?.?\": the control cannot take this value"},
        {"a read-only edit", zoo::ZooId, nullptr,
         [] { return Script().In(zoo::ZooId).SetText(1014, "x"); },
         "\"type 9001/1014 \"x\"\": the edit is read-only"},
        {"a close box the dialog lacks", 9010, nullptr, [] { return Script().In(9010).Close(); },
         "\"close 9010\": the dialog has no close box"},
        {"a box that does not match", 9010, onPush([&](zoo::Recorder& d) {
             outcome = ui::ResultName(ui::MessageBox(&d, "Saved.", "Information", ui::MB_OK));
         }),
         [] { return Script().In(9010).Click(1001).Answer(ui::IDOK, ui::Exactly("Warning")); },
         "the message box \"Information\" with the text \"Saved.\" is not the box the answer "
         "expects",
         "IDOK"},
        {"a script that runs out", 9010, nullptr, [] { return Script(); },
         "the script ran out while dialog 9010 is open", nullptr, 100000, true},
        {"a false expectation", 9010, nullptr,
         [] { return Script().Expect([](const ui::View&) { return false; }, "never"); },
         "expectation failed: expect never"},
        {"a condition that stays false", 9010,
         [](zoo::Recorder& d) { d.Init = [](zoo::Recorder& self) { self.SetTimer(1, 100); }; },
         [] { return Script().RunTimersUntil([](const ui::View&) { return false; }, 450, "done"); },
         "run timers until done: still false after 450 ms"},
        {"timers to run and none set", 9010, nullptr, [] { return Script().RunTimers(1); },
         "RunTimers: no timer is set while dialog 9010 is open"},
        {"too many loop passes", 9010,
         [](zoo::Recorder& d) { d.Init = [](zoo::Recorder& self) { self.SetTimer(1, 10); }; },
         [] { return Script().RunTimers(1000); }, "more than 40 loop passes", nullptr, 40},
        {"a control id the template lacks, from code", 9010,
         onPush([](zoo::Recorder& d) { d.Item(4242).SetText("x"); }),
         [] { return Script().In(9010).Click(1001); },
         "programming error: dialog 9010 has no control 4242"},
        {"an operation the kind lacks, from code", 9010,
         onPush([](zoo::Recorder& d) { d.Item(1001).SetCheck(true); }),
         [] { return Script().In(9010).Click(1001); },
         "programming error: SetCheck on control 1001 of dialog 9010, a Button"},
        {"a box of an unknown type, shown as MB_OK", 9010, onPush([&](zoo::Recorder& d) {
             outcome = ui::ResultName(ui::MessageBox(&d, "Text", "Caption", 3));
         }),
         [] { return Script().In(9010).Click(1001).Answer(ui::IDOK); },
         "programming error: message box of type 3", "IDOK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        outcome.clear();
        std::vector<std::string> failures;
        std::string transcript;
        ui::HeadlessOptions options;
        options.MaxLoopPasses = c.maxPasses;
        options.OnFailure = [&](const std::string& message, const std::string& lines) {
            failures.push_back(message);
            transcript = lines;
        };
        ui::HeadlessBackend backend(options);
        zoo::Recorder dialog(c.templateId);
        if (c.setUp)
            c.setUp(dialog);
        // A step after the failure, which must be dropped.
        bool reached = false;
        Script script = c.script();
        if (!c.runsOut)
            script.Expect([&](const ui::View&) { return reached = true; });
        backend.Play(std::move(script));
        EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
        EXPECT_FALSE(reached);
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_EQ(failures[0], c.failure);
        EXPECT_THAT(transcript, HasSubstr("FAILED: " + failures[0] + "\n"));
        EXPECT_FALSE(backend.Finish());
        EXPECT_EQ(failures.size(), 1u);
        if (c.outcome) {
            EXPECT_EQ(outcome, c.outcome);
        }
    }
}

TEST(UiHeadless, NestedDialogsUnwindTogether) {
    zoo::RegisterAll();
    std::vector<std::string> failures;
    ui::HeadlessOptions options;
    options.OnFailure = [&](const std::string& message, const std::string&) {
        failures.push_back(message);
    };
    ui::HeadlessBackend backend(options);
    zoo::Recorder lower(9010);
    zoo::Recorder upper(9011);
    int upperResult = 0;
    lower.Init = [](zoo::Recorder& d) { d.SetTimer(3, 100); };
    lower.Command = [&](zoo::Recorder& d, u32 id, i32 code) {
        if (id == 1001)
            upperResult = upper.DoModal();
        else
            d.BaseCommand(id, code);
    };
    // Only the top dialog takes input: a step for the dialog below fails the flow.
    backend.Play(Script().In(9010).Click(1001).In(9010).Click(2).RunTimers(1));
    EXPECT_EQ(lower.DoModal(), ui::IDCANCEL);
    EXPECT_EQ(upperResult, ui::IDCANCEL);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0], "the step \"click 9010/2\" does not address dialog 9011");
    // No timer fired while unwinding.
    EXPECT_THAT(lower.Events, testing::ElementsAre("init", "command 1001 0", "destroy"));
    EXPECT_EQ(backend.Transcript().back(), "close 9010 -> IDCANCEL");
}

TEST(UiHeadless, StepsLeftOverFailTheFlow) {
    zoo::RegisterAll();
    std::vector<std::string> failures;
    ui::HeadlessOptions options;
    options.OnFailure = [&](const std::string& message, const std::string&) {
        failures.push_back(message);
    };
    ui::HeadlessBackend backend(options);
    zoo::Recorder dialog(9010);
    backend.Play(Script().In(9010).Click(2).Click(1001).Key(Key::Enter));
    EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
    EXPECT_FALSE(backend.Finish());
    EXPECT_THAT(failures,
                testing::ElementsAre("2 steps were not taken; the first is \"click 9010/1001\""));
}

TEST(UiHeadless, LinesFromOtherFakesAndTheGTestHandler) {
    zoo::RegisterAll();
    ui::HeadlessBackend backend(GTestHeadlessOptions());
    ui::Trace("shell open \"Z:\\game\\GameData\\Skins\\Avatars\\\" explore");
    EXPECT_THAT(
        backend.Transcript(),
        testing::ElementsAre("shell open \"Z:\\game\\GameData\\Skins\\Avatars\\\" explore"));
    // The test support's handler turns a failed flow into a test failure with the transcript.
    EXPECT_NONFATAL_FAILURE(
        {
            zoo::Recorder dialog(9010);
            dialog.DoModal();
        },
        "the script ran out while dialog 9010 is open\n--- transcript ---\nshell open");
    EXPECT_FALSE(backend.Finish());
}

} // namespace
