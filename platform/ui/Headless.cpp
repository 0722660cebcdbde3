#include "platform/ui/Headless.h"

#include "platform/Crt.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace ui {

namespace {

// printf-style formatting in the "C" locale into a string of its own (Format's buffer is
// shared by every call, so two of them cannot meet in one expression).
std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = platform::FormatV(format, args).text;
    va_end(args);
    return text;
}

constinit i64 s_VirtualCounter = 0;

i64 VirtualCounter() {
    return s_VirtualCounter;
}

// Where the backend's own virtual counter starts: far from 0, which callers use as "never".
constexpr i64 VirtualStartSeconds = 1000;

// Loop passes allowed past the limit while a failed flow unwinds, before the process stops.
constexpr u64 UnwindPasses = 100000;

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (u8(c) < 0x20)
                    out += Printf("\\x%02X", unsigned(u8(c)));
                else
                    out += c;
        }
    }
    return out + "\"";
}

std::string Name(const Dialog& dialog) {
    return Printf("%u", dialog.TemplateId());
}

std::string Name(const Control& control) {
    return Printf("%u/%u", control.GetDialog()->TemplateId(), control.Id());
}

std::string PlaceText(const Rect& rect) {
    return Printf("%d,%d %dx%d", rect.Left, rect.Top, rect.Width(), rect.Height());
}

std::string Describe(const Frame& frame) {
    switch (frame.Kind) {
        case FrameKind::Dialog:
            return "dialog " + Name(*frame.Modal);
        case FrameKind::Box:
            return "the message box " + Quote(frame.Caption);
        case FrameKind::File:
            return "the file dialog " + Quote(frame.File->Title);
    }
    return {};
}

const char* KeyName(Key key) {
    return key == Key::Enter ? "Enter" : "Escape";
}

Dialog* FindIn(Dialog& dialog, u32 templateId) {
    if (dialog.TemplateId() == templateId)
        return &dialog;
    for (Dialog* page : dialog.Pages()) {
        if (Dialog* found = FindIn(*page, templateId))
            return found;
    }
    return nullptr;
}

i32 CharacterCount(std::string_view text) {
    i32 count = 0;
    for (const char c : text)
        count += (u8(c) & 0xC0) != 0x80;
    return count;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// View

const Dialog* View::Find(u32 templateId) const {
    const std::span<Frame* const> frames = Frames();
    for (auto at = frames.rbegin(); at != frames.rend(); ++at) {
        if ((*at)->Kind != FrameKind::Dialog)
            continue;
        if (const Dialog* found = FindIn(*(*at)->Modal, templateId))
            return found;
    }
    return nullptr;
}

const Control* View::Item(u32 templateId, u32 id) const {
    const Dialog* dialog = Find(templateId);
    return dialog ? dialog->FindItem(id) : nullptr;
}

const Frame* View::Box() const {
    const std::span<Frame* const> frames = Frames();
    return !frames.empty() && frames.back()->Kind == FrameKind::Box ? frames.back() : nullptr;
}

const std::vector<std::string>& View::Transcript() const {
    return m_Backend.Transcript();
}

i64 View::ElapsedMs() const {
    return m_Backend.ElapsedMs();
}

TextMatch Exactly(std::string text) {
    return [text = std::move(text)](std::string_view value) { return value == text; };
}

TextMatch Contains(std::string part) {
    return [part = std::move(part)](std::string_view value) {
        return value.find(part) != std::string_view::npos;
    };
}

// ---------------------------------------------------------------------------------------------
// Script

Script& Script::Add(Step step) {
    step.Target = m_Target;
    m_Steps.push_back(std::move(step));
    return *this;
}

Script& Script::In(u32 templateId) {
    m_Target = templateId;
    return *this;
}

Script& Script::Click(u32 id) {
    return Add({.What = Action::Click, .Id = id});
}

Script& Script::Check(u32 id, bool checked) {
    return Add({.What = Action::Check, .Id = id, .Value = checked});
}

Script& Script::Select(u32 id, i32 index) {
    return Add({.What = Action::Select, .Id = id, .Value = index});
}

Script& Script::SetText(u32 id, std::string text) {
    return Add({.What = Action::SetText, .Id = id, .Text = std::move(text)});
}

Script& Script::SetSlider(u32 id, i32 position) {
    return Add({.What = Action::SetSlider, .Id = id, .Value = position});
}

Script& Script::SetAddress(u32 id, i32 a, i32 b, i32 c, i32 d) {
    return Add({.What = Action::SetAddress, .Id = id, .Fields = {a, b, c, d}});
}

Script& Script::SelectTab(u32 id, i32 index) {
    return Add({.What = Action::SelectTab, .Id = id, .Value = index});
}

Script& Script::Key(ui::Key key) {
    return Add({.What = Action::Key, .KeyValue = key});
}

Script& Script::Close() {
    return Add({.What = Action::Close});
}

Script& Script::Answer(int result, TextMatch caption, TextMatch text) {
    return Add({.What = Action::Answer,
                .Value = result,
                .Caption = std::move(caption),
                .Body = std::move(text)});
}

Script& Script::BoxKey(ui::Key key) {
    return Add({.What = Action::BoxKey, .KeyValue = key});
}

Script& Script::BoxClose() {
    return Add({.What = Action::BoxClose});
}

Script& Script::ChooseFile(std::string path) {
    return Add({.What = Action::ChooseFile, .Text = std::move(path)});
}

Script& Script::CancelFile() {
    return Add({.What = Action::CancelFile});
}

Script& Script::RunTimers(u32 count) {
    return Add({.What = Action::RunTimers, .Count = count});
}

Script& Script::RunTimersUntil(Predicate condition, u32 maxMs, std::string what) {
    return Add({.What = Action::RunTimersUntil,
                .Text = std::move(what),
                .Condition = std::move(condition),
                .Count = maxMs});
}

Script& Script::Expect(Predicate condition, std::string what) {
    return Add(
        {.What = Action::Expect, .Text = std::move(what), .Condition = std::move(condition)});
}

// ---------------------------------------------------------------------------------------------
// HeadlessBackend

std::string HeadlessBackend::StepText(const Step& step) {
    const std::string control = Printf("%u/%u", step.Target, step.Id);
    switch (step.What) {
        case Action::Click:
            return "click " + control;
        case Action::Check:
            return "check " + control + (step.Value ? " on" : " off");
        case Action::Select:
            return "select " + control + Printf(" %d", step.Value);
        case Action::SetText:
            return "type " + control + " " + Quote(step.Text);
        case Action::SetSlider:
            return "slide " + control + Printf(" %d", step.Value);
        case Action::SetAddress: {
            std::string text = "address " + control + " ";
            for (size_t i = 0; i < 4; ++i) {
                if (i)
                    text += '.';
                text += step.Fields[i] < 0 ? std::string("-")
                                           : std::string(Printf("%d", step.Fields[i]));
            }
            return text;
        }
        case Action::SelectTab:
            return "tab " + control + Printf(" %d", step.Value);
        case Action::Key:
            return Printf("key %u %s", step.Target, KeyName(step.KeyValue));
        case Action::Close:
            return Printf("close %u", step.Target);
        case Action::Answer:
            return "answer " + ResultName(step.Value);
        case Action::BoxKey:
            return std::string("box key ") + KeyName(step.KeyValue);
        case Action::BoxClose:
            return "box close";
        case Action::ChooseFile:
            return "choose " + Quote(step.Text);
        case Action::CancelFile:
            return "cancel file";
        case Action::RunTimers:
            return Printf("run %u timers", step.Count);
        case Action::RunTimersUntil:
            return "run timers until " + step.Text;
        case Action::Expect:
            return "expect " + step.Text;
    }
    return {};
}

HeadlessBackend::HeadlessBackend(HeadlessOptions options) : m_Options(std::move(options)) {
    if (m_Options.Time == TimeMode::Virtual && !m_Options.MoveCounterTo) {
        s_VirtualCounter = VirtualStartSeconds * platform::CounterFrequency();
        m_PreviousCounter = platform::SetCounterSource(&VirtualCounter);
        m_OwnCounter = true;
    }
    m_Start = platform::CounterNow();
    m_Previous = SetBackend(this);
}

HeadlessBackend::~HeadlessBackend() {
    SetBackend(m_Previous);
    if (m_OwnCounter)
        platform::SetCounterSource(m_PreviousCounter);
}

void HeadlessBackend::Play(Script script) {
    for (Step& step : script.m_Steps)
        m_Steps.push_back(std::move(step));
}

bool HeadlessBackend::Finish() {
    if (!m_Failed && !m_Steps.empty()) {
        Fail(Printf("%zu steps were not taken; the first is \"", m_Steps.size()) +
             StepText(m_Steps.front()) + "\"");
    }
    return !m_Failed;
}

std::string HeadlessBackend::TranscriptText() const {
    std::string text;
    for (const std::string& line : m_Transcript)
        text += line + "\n";
    return text;
}

i64 HeadlessBackend::ElapsedMs() const {
    return (platform::CounterNow() - m_Start) * 1000 / platform::CounterFrequency();
}

void HeadlessBackend::Line(std::string line) {
    m_Transcript.push_back(std::move(line));
}

void HeadlessBackend::Fail(const std::string& message) {
    m_Failed = true;
    m_Steps.clear();
    Line("FAILED: " + message);
    if (m_Options.OnFailure)
        m_Options.OnFailure(message, TranscriptText());
    else
        std::fprintf(stderr, "[ui] flow failed: %s\n%s", message.c_str(), TranscriptText().c_str());
}

void HeadlessBackend::CountPass() {
    ++m_Passes;
    if (m_Passes == u64(m_Options.MaxLoopPasses) + 1)
        Fail(Printf("more than %u loop passes", m_Options.MaxLoopPasses));
    if (m_Passes > u64(m_Options.MaxLoopPasses) + UnwindPasses) {
        // The caller keeps opening dialogs after the failure: nothing else ends the flow.
        std::fprintf(stderr, "[ui] the flow does not unwind\n%s", TranscriptText().c_str());
        std::abort();
    }
}

void HeadlessBackend::MoveTimeTo(i64 counter) {
    const i64 now = platform::CounterNow();
    if (counter <= now)
        return;
    if (m_Options.Time == TimeMode::Virtual) {
        if (m_Options.MoveCounterTo)
            m_Options.MoveCounterTo(counter);
        else
            s_VirtualCounter = counter;
        return;
    }
    const i64 frequency = platform::CounterFrequency();
    const i64 delta = counter - now;
    const i64 nanoseconds =
        delta / frequency * 1000000000 + delta % frequency * 1000000000 / frequency;
    timespec wait{};
    wait.tv_sec = time_t(nanoseconds / 1000000000);
    wait.tv_nsec = decltype(wait.tv_nsec)(nanoseconds % 1000000000);
    nanosleep(&wait, nullptr);
}

void HeadlessBackend::DialogCreated(Dialog& dialog) {
    CountPass();
    if (const Control* host = dialog.Host()) {
        Line("page " + Name(dialog) + " in " + Name(*host));
        return;
    }
    std::string line = "open " + Name(dialog);
    if (const Dialog* owner = dialog.Owner())
        line += " owner " + Name(*owner);
    Line(line);
}

void HeadlessBackend::DialogChanged(Dialog& dialog, Change what) {
    switch (what) {
        case Change::Text:
            Line("caption " + Name(dialog) + " " + Quote(dialog.GetWindowText()));
            break;
        case Change::State:
            Line((dialog.IsVisible() ? "show " : "hide ") + Name(dialog));
            break;
        case Change::Place:
            Line("place " + Name(dialog) + " " + PlaceText(dialog.WindowRect()));
            break;
        default:
            break;
    }
}

void HeadlessBackend::DialogDestroyed(Dialog& dialog, int code) {
    if (dialog.IsPage())
        Line("close page " + Name(dialog));
    else
        Line("close " + Name(dialog) + " -> " + ResultName(code));
}

void HeadlessBackend::ControlChanged(Control& control, Change what) {
    switch (what) {
        case Change::Text:
            Line("text " + Name(control) + " " + Quote(control.GetText()));
            break;
        case Change::Picture: {
            std::string line = "picture " + Name(control) + Printf(" %u ", control.PictureId());
            const Rect rect = control.WindowRect();
            line += control.HasPicture() ? Printf("%dx%d", rect.Width(), rect.Height()) : "none";
            Line(line);
            break;
        }
        case Change::Place:
            Line("move " + Name(control) + " " + PlaceText(control.WindowRect()));
            break;
        default:
            break;
    }
}

void HeadlessBackend::FrameOpened(Frame& frame) {
    CountPass();
    const std::string owner = frame.Owner ? "owner " + Name(*frame.Owner) + " " : "";
    if (frame.Kind == FrameKind::Box) {
        std::string buttons;
        for (const int button : BoxButtons(frame.BoxType))
            buttons += (buttons.empty() ? "" : "|") + ButtonText(button);
        Line("box " + owner + Quote(frame.Caption) + " " + Quote(frame.Text) + " " +
             BoxTypeName(frame.BoxType) + " " + buttons);
    } else if (frame.Kind == FrameKind::File) {
        const OpenFileSpec& spec = *frame.File;
        Line("file " + owner + "title " + Quote(spec.Title) + " filter " +
             Quote(spec.FilterDescription) + " " + Quote(spec.Patterns) + " ext " +
             Quote(spec.DefaultExtension) + " folder " + Quote(spec.InitialFolder) +
             Printf(" flags 0x%X", spec.Flags));
    }
}

void HeadlessBackend::FrameClosed(Frame& frame) {
    if (frame.Kind == FrameKind::Box)
        Line("box -> " + ResultName(frame.Result));
    else if (frame.Kind == FrameKind::File)
        Line("file -> " + (frame.Path ? Quote(*frame.Path) : std::string("none")));
}

void HeadlessBackend::LoopPass(Frame& top) {
    CountPass();
    if (!m_Failed && !FireDueTimer()) {
        if (m_Steps.empty())
            Fail("the script ran out while " + Describe(top) + " is open");
        else
            RunStep(top, m_Steps.front());
    }
    if (m_Failed && !top.Ended)
        input::Abandon(top);
}

void HeadlessBackend::RunStep(Frame& top, Step& step) {
    switch (step.What) {
        case Action::Expect: {
            const Step taken = std::move(step);
            m_Steps.pop_front();
            if (!taken.Condition(View(*this)))
                Fail("expectation failed: " + StepText(taken));
            return;
        }
        case Action::RunTimers: {
            if (step.Count == 0) {
                m_Steps.pop_front();
                return;
            }
            const i64 due = NextTimerDue();
            if (due < 0) {
                Fail("RunTimers: no timer is set while " + Describe(top) + " is open");
                return;
            }
            // The next pass fires it.
            MoveTimeTo(due);
            return;
        }
        case Action::RunTimersUntil: {
            const i64 now = platform::CounterNow();
            if (step.Deadline < 0)
                step.Deadline = now + i64(step.Count) * platform::CounterFrequency() / 1000;
            if (step.Condition(View(*this))) {
                m_Steps.pop_front();
                return;
            }
            if (now >= step.Deadline) {
                Fail(StepText(step) + Printf(": still false after %u ms", step.Count));
                return;
            }
            const i64 due = NextTimerDue();
            MoveTimeTo(due >= 0 && due < step.Deadline ? due : step.Deadline);
            return;
        }
        default:
            break;
    }
    const Step taken = std::move(step);
    m_Steps.pop_front();
    switch (top.Kind) {
        case FrameKind::Dialog:
            RunDialogStep(top, taken);
            break;
        case FrameKind::Box:
            RunBoxStep(top, taken);
            break;
        case FrameKind::File:
            RunFileStep(top, taken);
            break;
    }
}

void HeadlessBackend::RunDialogStep(Frame& top, const Step& step) {
    Dialog* target = step.What <= Action::Close ? FindIn(*top.Modal, step.Target) : nullptr;
    if (!target) {
        Fail("the step \"" + StepText(step) + "\" does not address " + Describe(top));
        return;
    }
    Line("> " + StepText(step));
    InputResult result = InputResult::Done;
    if (step.What == Action::Key) {
        result = input::PressKey(*target, step.KeyValue);
    } else if (step.What == Action::Close) {
        result = input::Close(*target);
    } else {
        Control* control = nullptr;
        for (Control& candidate : target->Controls()) {
            if (candidate.Id() == step.Id)
                control = &candidate;
        }
        if (!control) {
            Fail(Printf("dialog %u has no control %u", step.Target, step.Id));
            return;
        }
        switch (step.What) {
            case Action::Click:
                result = input::Click(*control);
                break;
            case Action::Check:
                result = input::Check(*control, step.Value != 0);
                break;
            case Action::Select:
                result = input::Select(*control, step.Value);
                break;
            case Action::SetText:
                result = input::Type(*control, step.Text);
                break;
            case Action::SetSlider:
                result = input::Slide(*control, step.Value);
                break;
            case Action::SetAddress:
                result = input::SetAddress(*control, step.Fields);
                break;
            case Action::SelectTab:
                result = input::SelectTab(*control, step.Value);
                break;
            default:
                break;
        }
    }
    if (result == InputResult::Ignored)
        Line("ignored");
    else if (result != InputResult::Done)
        Fail("\"" + StepText(step) + "\": " + InputResultName(result));
}

void HeadlessBackend::RunBoxStep(Frame& top, const Step& step) {
    if (step.What != Action::Answer && step.What != Action::BoxKey &&
        step.What != Action::BoxClose) {
        Fail("the step \"" + StepText(step) + "\" does not address " + Describe(top));
        return;
    }
    Line("> " + StepText(step));
    InputResult result = InputResult::Done;
    if (step.What == Action::Answer) {
        if ((step.Caption && !step.Caption(top.Caption)) || (step.Body && !step.Body(top.Text))) {
            Fail(Describe(top) + " with the text " + Quote(top.Text) +
                 " is not the box the answer expects");
            return;
        }
        result = input::AnswerBox(top, step.Value);
    } else if (step.What == Action::BoxKey) {
        result = input::BoxKey(top, step.KeyValue);
    } else {
        result = input::CloseBox(top);
    }
    if (result == InputResult::Ignored)
        Line("ignored");
    else if (result != InputResult::Done)
        Fail(ResultName(step.Value) + " is not a button of " + Describe(top));
}

void HeadlessBackend::RunFileStep(Frame& top, const Step& step) {
    if (step.What != Action::ChooseFile && step.What != Action::CancelFile) {
        Fail("the step \"" + StepText(step) + "\" does not address " + Describe(top));
        return;
    }
    Line("> " + StepText(step));
    if (step.What == Action::CancelFile) {
        input::CancelFile(top);
        return;
    }
    std::string problem;
    if (input::ChooseFile(top, step.Text, problem) == InputResult::Refused)
        Line("file refused " + Quote(step.Text) + ": " + problem);
    else if (!problem.empty())
        Line("file failed: " + problem);
}

Rect HeadlessBackend::TabItemRect(const Control& tab, i32 index) {
    i32 left = 2;
    for (i32 i = 0; i < index; ++i)
        left += 12 + 6 * CharacterCount(tab.GetItemText(i));
    return {left, 2, left + 12 + 6 * CharacterCount(tab.GetItemText(index)), 22};
}

void HeadlessBackend::Misuse(std::string_view what) {
    Fail("programming error: " + std::string(what));
}

void HeadlessBackend::TimerEvent(Dialog& dialog, TimerChange what, u32 id, u32 periodMs) {
    switch (what) {
        case TimerChange::Set:
            Line("timer " + Name(dialog) + Printf(" set %u %ums", id, periodMs));
            break;
        case TimerChange::Kill:
            Line("timer " + Name(dialog) + Printf(" kill %u", id));
            break;
        case TimerChange::Fire: {
            CountPass();
            std::string line = "timer " + Name(dialog) + Printf(" fire %u", id);
            if (m_Options.Time == TimeMode::Virtual)
                line += Printf(" at %" PRId64 "ms", ElapsedMs());
            Line(line);
            if (!m_Steps.empty() && m_Steps.front().What == Action::RunTimers &&
                --m_Steps.front().Count == 0)
                m_Steps.pop_front();
            break;
        }
        case TimerChange::Dropped:
            Line("timer " + Name(dialog) + Printf(" dropped %u", id));
            if (m_Options.FailOnDroppedTimer && !m_Failed)
                Fail(Printf("dialog %u was destroyed with its timer %u still set",
                            dialog.TemplateId(), id));
            break;
    }
}

void HeadlessBackend::ExchangeRefused(Control& control, std::string_view text) {
    Line("refuse " + Name(control) + " " + Quote(text));
}

void HeadlessBackend::PageEndIgnored(Dialog& page, int code) {
    Line("page " + Name(page) + " end " + ResultName(code) + " ignored");
}

void HeadlessBackend::Trace(std::string_view line) {
    Line(std::string(line));
}

} // namespace ui
