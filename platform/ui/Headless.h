#pragma once
// The headless backend: runs every dialog flow without a display, driven by a script, and
// writes a transcript of all it would have shown.
//
// The script is a queue of steps taken in strict order whenever the top of the modal stack
// waits for input. Dialog steps are addressed to a template id (the top dialog or one of its
// pages: In(id) names it for the steps that follow); Answer, BoxKey and BoxClose to the open
// message box; ChooseFile and CancelFile to the open file dialog. RunTimers, RunTimersUntil and
// Expect work whatever is open. A Key goes to the dialog or page it addresses: the focus moves
// into it first, keeping the focused control when that lies in it. A control takes the focus
// when the user acts on it; nothing has it when a dialog opens.
//
// A flow fails, with the whole transcript, on: a dialog, box or file dialog that the next step
// does not address; a user action the control or dialog does not take (disabled, hidden, not
// on top, wrong kind, bad value); an answer that is not one of the box's buttons or a box that
// does not match; a script that runs out while something is open; an Expect that is false; a
// RunTimersUntil whose condition stays false for its time; a programming error reported by the
// layer; more loop passes than the limit. After a failure the rest of the script is dropped and
// the flow unwinds: dialogs end with IDCANCEL, boxes with their negative answer, file dialogs
// with nothing, and no timer fires.
//
// Time: in virtual mode a due timer fires only when a RunTimers step moves the counter to its
// due time, without sleeping; the counter is the backend's own source installed through
// platform::SetCounterSource (starting at 1000 s), or the test's, moved through
// MoveCounterTo, so engine clocks and the layer read one time. Timers due at the time a step
// moved to fire as well, in order of due time, then id. In real mode the backend sleeps until
// each due time.
//
// Geometry: tab items lie in one row 20 pixels high from (2, 2); an item is 12 pixels plus 6 per
// character of its text wide.
//
// Transcript lines (ids as template/control; texts quoted with \r, \n, \t, \" and \\ escaped):
//   open 137 owner 102            close 137 -> IDOK          caption 137 "Configuration"
//   page 132 in 135/1011          close page 132             page 132 end IDOK ignored
//   show 132 / hide 132           place 132 2,23 510x327     text 137/1033 "Language"
//   picture 102/1024 147 492x203 (or: none)                  move 102/1024 1,0 492x203
//   timer 140 set 0 500ms         timer 140 kill 0           timer 140 fire 0 at 1500ms
//                                         (the time since the backend was made, virtual only)
//   timer 140 dropped 0           (still set when the dialog was destroyed)
//   refuse 133/1030 "70000"
//   box owner 102 "Caption" "Text" MB_OKCANCEL OK|Cancel     box -> IDCANCEL
//   file owner 151 title "..." filter "..." "*.tga;*.jpg" ext "jpg" folder "/x" flags 0x1804
//   file refused "*.png": the name is a pattern                            file -> "/x/a.jpg"
//   file failed: the path is too long                                      file -> none
//   > click 137/1028   > check 137/1002 on   > select 137/1006 1   > type 133/1030 "70000"
//   > slide 149/1099 75   > address 133/1032 10.0.0.-   > tab 135/1011 2   > key 137 Enter
//   > close 137   > answer IDYES   > box key Escape   > box close   > choose "a.jpg"
//   > cancel file   ignored (after an action the platform ignores)
//   FAILED: the script ran out while dialog 9010 is open
// and the lines other fakes hand to ui::Trace.
#include "platform/Clock.h"
#include "platform/Types.h"
#include "platform/ui/Backend.h"

#include <array>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

class HeadlessBackend;

// Read access to the model, for Expect and RunTimersUntil.
class View {
public:
    explicit View(const HeadlessBackend& backend) : m_Backend(backend) {}

    // The top-most open dialog or page of a template, or null.
    const Dialog* Find(u32 templateId) const;
    // A control of it, or null.
    const Control* Item(u32 templateId, u32 id) const;
    // The top frame when it is a message box, or null.
    const Frame* Box() const;
    const std::vector<std::string>& Transcript() const;
    // Milliseconds of counter time since the backend was made.
    i64 ElapsedMs() const;

private:
    const HeadlessBackend& m_Backend;
};

using Predicate = std::function<bool(const View&)>;
using TextMatch = std::function<bool(std::string_view)>;
TextMatch Exactly(std::string text);
TextMatch Contains(std::string part);

class Script {
public:
    // The dialog (template id) the following dialog steps address.
    Script& In(u32 templateId);
    Script& Click(u32 id);
    Script& Check(u32 id, bool checked);
    Script& Select(u32 id, i32 index);
    Script& SetText(u32 id, std::string text);
    Script& SetSlider(u32 id, i32 position);
    // -1 leaves a field blank; a number above 255 becomes 255, as the control makes it.
    Script& SetAddress(u32 id, i32 a, i32 b, i32 c, i32 d);
    Script& SelectTab(u32 id, i32 index);
    Script& Key(ui::Key key);
    Script& Close();

    // Answers the open message box with one of its buttons; empty matchers take any text.
    Script& Answer(int result, TextMatch caption = {}, TextMatch text = {});
    Script& BoxKey(ui::Key key);
    Script& BoxClose();

    Script& ChooseFile(std::string path);
    Script& CancelFile();

    // Lets count timers fire, moving time to each due time.
    Script& RunTimers(u32 count);
    // Lets timers fire until the condition holds; fails when it does not within maxMs.
    Script& RunTimersUntil(Predicate condition, u32 maxMs, std::string what = {});
    Script& Expect(Predicate condition, std::string what = {});

private:
    friend class HeadlessBackend;

    enum class Action : u8 {
        Click,
        Check,
        Select,
        SetText,
        SetSlider,
        SetAddress,
        SelectTab,
        Key,
        Close,
        Answer,
        BoxKey,
        BoxClose,
        ChooseFile,
        CancelFile,
        RunTimers,
        RunTimersUntil,
        Expect,
    };

    struct Step {
        Action What = Action::Click;
        u32 Target = 0; // template id of dialog steps
        u32 Id = 0;
        i32 Value = 0;
        std::array<i32, 4> Fields = {};
        std::string Text = {};
        ui::Key KeyValue = ui::Key::Enter;
        TextMatch Caption = {};
        TextMatch Body = {};
        Predicate Condition = {};
        u32 Count = 0;
        i64 Deadline = -1; // RunTimersUntil, once started
    };

    Script& Add(Step step);

    std::deque<Step> m_Steps;
    u32 m_Target = 0;
};

enum class TimeMode : u8 { Virtual, Real };

using FailureHandler =
    std::function<void(const std::string& message, const std::string& transcript)>;

struct HeadlessOptions {
    TimeMode Time = TimeMode::Virtual;
    // Virtual time on the test's own counter source: moves it to a counter value.
    std::function<void(i64 counter)> MoveCounterTo;
    // Without a handler failures go to standard error.
    FailureHandler OnFailure;
    // A timer still set when its dialog is destroyed fails the flow (a dialog that forgets to
    // kill its timer); otherwise it is only written down.
    bool FailOnDroppedTimer = false;
    // Loop passes allowed in one backend's life; dialogs opened, frames shown and timers fired
    // count as passes too.
    u32 MaxLoopPasses = 100000;
};

// Installs itself as the backend (and, in virtual time without MoveCounterTo, its counter
// source) while it lives. One at a time.
class HeadlessBackend final : public Backend {
public:
    explicit HeadlessBackend(HeadlessOptions options = {});
    ~HeadlessBackend() override;
    HeadlessBackend(const HeadlessBackend&) = delete;
    HeadlessBackend& operator=(const HeadlessBackend&) = delete;

    // Queues a script's steps after those still queued.
    void Play(Script script);
    // Ends a flow: steps left over are a failure. Answers whether the flow ran without one.
    bool Finish();
    bool Failed() const { return m_Failed; }
    const std::vector<std::string>& Transcript() const { return m_Transcript; }
    std::string TranscriptText() const;
    i64 ElapsedMs() const;

    void DialogCreated(Dialog& dialog) override;
    void DialogChanged(Dialog& dialog, Change what) override;
    void DialogDestroyed(Dialog& dialog, int code) override;
    void ControlChanged(Control& control, Change what) override;
    void FrameOpened(Frame& frame) override;
    void FrameClosed(Frame& frame) override;
    void LoopPass(Frame& top) override;
    Rect TabItemRect(const Control& tab, i32 index) override;
    void Misuse(std::string_view what) override;
    void TimerEvent(Dialog& dialog, TimerChange what, u32 id, u32 periodMs) override;
    void ExchangeRefused(Control& control, std::string_view text) override;
    void PageEndIgnored(Dialog& page, int code) override;
    void Trace(std::string_view line) override;

private:
    using Step = Script::Step;
    using Action = Script::Action;

    // A step as the transcript and the failure messages write it.
    static std::string StepText(const Step& step);
    void Line(std::string line);
    void Fail(const std::string& message);
    void CountPass();
    void MoveTimeTo(i64 counter);
    void RunStep(Frame& top, Step& step);
    void RunDialogStep(Frame& top, const Step& step);
    void RunBoxStep(Frame& top, const Step& step);
    void RunFileStep(Frame& top, const Step& step);

    HeadlessOptions m_Options;
    Backend* m_Previous = nullptr;
    bool m_OwnCounter = false;
    platform::CounterSource m_PreviousCounter = nullptr;
    i64 m_Start = 0;
    std::deque<Step> m_Steps;
    std::vector<std::string> m_Transcript;
    bool m_Failed = false;
    u64 m_Passes = 0;
};

} // namespace ui
