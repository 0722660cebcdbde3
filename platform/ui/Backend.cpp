#include "platform/ui/Backend.h"

#include "platform/Clock.h"
#include "platform/Crt.h"
#include "platform/ui/Layer.h"
#include "platform/ui/MessageBox.h"

#include <algorithm>

namespace ui {

using detail::Printf;

using detail::Access;
using detail::GetState;
using detail::Window;

Backend* SetBackend(Backend* backend) {
    return std::exchange(GetState().Installed, backend);
}

Backend* GetBackend() {
    return GetState().Installed;
}

std::span<Frame* const> Frames() {
    return GetState().Frames;
}

Dialog* TopDialog() {
    const auto& frames = GetState().Frames;
    for (auto at = frames.rbegin(); at != frames.rend(); ++at) {
        if ((*at)->Kind == FrameKind::Dialog)
            return (*at)->Modal;
    }
    return nullptr;
}

bool TakesInput(const Dialog& dialog) {
    const auto& frames = GetState().Frames;
    if (frames.empty() || frames.back()->Kind != FrameKind::Dialog || !dialog.IsOpen())
        return false;
    return &detail::TopLevel(const_cast<Dialog&>(dialog)) == frames.back()->Modal;
}

i64 NextTimerDue() {
    i64 due = -1;
    for (const detail::Timer& timer : GetState().Timers) {
        if (due < 0 || timer.Due < due)
            due = timer.Due;
    }
    return due;
}

bool FireDueTimer() {
    detail::State& state = GetState();
    const i64 now = platform::CounterNow();
    detail::Timer* first = nullptr;
    for (detail::Timer& timer : state.Timers) {
        if (timer.Due > now)
            continue;
        if (!first || timer.Due < first->Due ||
            (timer.Due == first->Due &&
             (timer.Id < first->Id || (timer.Id == first->Id && timer.Order < first->Order))))
            first = &timer;
    }
    if (!first)
        return false;
    // Due again one period from now: a timer that fell behind fires once.
    first->Due = now + first->Period;
    Dialog& owner = *first->Owner;
    const u32 id = first->Id;
    const u32 periodMs = u32(first->Period * 1000 / platform::CounterFrequency());
    if (state.Installed)
        state.Installed->TimerEvent(owner, TimerChange::Fire, id, periodMs);
    Access::Timer(owner, id);
    return true;
}

void Trace(std::string_view line) {
    if (Backend* backend = GetState().Installed)
        backend->Trace(line);
}

std::span<const int> BoxButtons(u32 type) {
    static constexpr int ok[] = {IDOK};
    static constexpr int okCancel[] = {IDOK, IDCANCEL};
    static constexpr int yesNo[] = {IDYES, IDNO};
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return okCancel;
        case MB_YESNO:
            return yesNo;
        default:
            return ok;
    }
}

int BoxEscapeAnswer(u32 type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return IDCANCEL;
        case MB_YESNO:
            return 0;
        default:
            return IDOK;
    }
}

std::string ButtonText(int result) {
    switch (result) {
        case IDOK:
            return Translate("OK");
        case IDCANCEL:
            return Translate("Cancel");
        case IDYES:
            return Translate("Yes");
        case IDNO:
            return Translate("No");
        default:
            return {};
    }
}

std::string BoxTypeName(u32 type) {
    std::string name;
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            name = "MB_OKCANCEL";
            break;
        case MB_YESNO:
            name = "MB_YESNO";
            break;
        default:
            name = "MB_OK";
            break;
    }
    if (type & MB_ICONERROR)
        name += "|MB_ICONERROR";
    return name;
}

std::string ResultName(int result) {
    switch (result) {
        case IDOK:
            return "IDOK";
        case IDCANCEL:
            return "IDCANCEL";
        case IDYES:
            return "IDYES";
        case IDNO:
            return "IDNO";
        default:
            return Printf("%d", result);
    }
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    lines.push_back(text.substr(start));
    return lines;
}

const char* InputResultName(InputResult result) {
    switch (result) {
        case InputResult::Done:
            return "done";
        case InputResult::Ignored:
            return "ignored";
        case InputResult::NotOnTop:
            return "the dialog does not take input";
        case InputResult::Disabled:
            return "the control is disabled";
        case InputResult::Hidden:
            return "the control is not shown";
        case InputResult::WrongKind:
            return "the control does not take this action";
        case InputResult::BadValue:
            return "the control cannot take this value";
        case InputResult::ReadOnly:
            return "the edit is read-only";
        case InputResult::NoCloseBox:
            return "the dialog has no close box";
        case InputResult::Refused:
            return "refused";
    }
    return "?";
}

namespace input {

namespace {

InputResult Reachable(const Control& control) {
    const Dialog* dialog = control.GetDialog();
    if (!dialog || !TakesInput(*dialog))
        return InputResult::NotOnTop;
    if (!control.IsOnScreen())
        return InputResult::Hidden;
    if (!control.IsEnabled())
        return InputResult::Disabled;
    return InputResult::Done;
}

// The user's focus moves without a report: the backend moved it.
void MoveFocus(Control& control) {
    Access::Of(detail::TopLevel(*control.GetDialog()))->Focus = &control;
}

void Command(Control& control, i32 code) {
    Access::Command(*control.GetDialog(), control.Id(), code);
}

bool IsPushButton(const Control& control) {
    return control.Kind() == ControlKind::Button || control.Kind() == ControlKind::DefButton;
}

void EndBox(Frame& box, int result) {
    box.Result = result;
    box.Ended = true;
}

} // namespace

InputResult Click(Control& control) {
    const InputResult reachable = Reachable(control);
    if (reachable != InputResult::Done)
        return reachable;
    if (control.Kind() == ControlKind::Check) {
        Access::SetChecked(control, !control.GetCheck());
    } else if (!IsPushButton(control)) {
        return InputResult::WrongKind;
    }
    MoveFocus(control);
    Command(control, BN_CLICKED);
    return InputResult::Done;
}

InputResult Check(Control& control, bool checked) {
    if (control.Kind() != ControlKind::Check)
        return InputResult::WrongKind;
    const InputResult reachable = Reachable(control);
    if (reachable != InputResult::Done || control.GetCheck() == checked)
        return reachable;
    return Click(control);
}

InputResult Select(Control& control, i32 index) {
    const InputResult reachable = Reachable(control);
    if (reachable != InputResult::Done)
        return reachable;
    if (control.Kind() != ControlKind::ComboList)
        return InputResult::WrongKind;
    if (index < 0 || index >= control.GetCount())
        return InputResult::BadValue;
    Access::SetSelection(control, index);
    MoveFocus(control);
    Command(control, CBN_SELCHANGE);
    Command(control, CBN_SELENDOK);
    return InputResult::Done;
}

InputResult Type(Control& control, std::string_view text) {
    const InputResult reachable = Reachable(control);
    if (reachable != InputResult::Done)
        return reachable;
    if (control.Kind() == ControlKind::EditMultiRO ||
        (control.Kind() == ControlKind::Edit && (control.Flags() & FlagReadOnly)))
        return InputResult::ReadOnly;
    if (control.Kind() != ControlKind::Edit)
        return InputResult::WrongKind;
    Access::SetText(control, text);
    MoveFocus(control);
    return InputResult::Done;
}

InputResult Slide(Control& control, i32 position) {
    const InputResult reachable = Reachable(control);
    if (reachable != InputResult::Done)
        return reachable;
    if (control.Kind() != ControlKind::Slider)
        return InputResult::WrongKind;
    MoveFocus(control);
    Access::SetPosition(control, position);
    return InputResult::Done;
}

InputResult SetAddress(Control& control, const std::array<i32, 4>& fields) {
    const InputResult reachable = Reachable(control);
    if (reachable != InputResult::Done)
        return reachable;
    if (control.Kind() != ControlKind::IpAddress)
        return InputResult::WrongKind;
    std::array<i16, 4> values{};
    for (size_t i = 0; i < 4; ++i) {
        if (fields[i] < -1)
            return InputResult::BadValue;
        // The control replaces a number above 255 typed into a field with 255.
        values[i] = i16(std::min(fields[i], 255));
    }
    Access::SetFields(control, values);
    MoveFocus(control);
    return InputResult::Done;
}

InputResult SelectTab(Control& control, i32 index) {
    const InputResult reachable = Reachable(control);
    if (reachable != InputResult::Done)
        return reachable;
    if (control.Kind() != ControlKind::Tab)
        return InputResult::WrongKind;
    if (index < 0 || index >= control.GetCount())
        return InputResult::BadValue;
    Access::SetSelection(control, index);
    MoveFocus(control);
    Access::Notify(*control.GetDialog(), control.Id(), TCN_SELCHANGE);
    return InputResult::Done;
}

InputResult Focus(Control& control) {
    const InputResult reachable = Reachable(control);
    if (reachable == InputResult::Done)
        MoveFocus(control);
    return reachable;
}

InputResult PressKey(Dialog& dialog, Key key) {
    if (!TakesInput(dialog))
        return InputResult::NotOnTop;
    // The key goes to the dialog the focus is in: the focus moves into the one addressed.
    Window& top = *Access::Of(detail::TopLevel(dialog));
    if (top.Focus && top.Focus->GetDialog() != &dialog)
        top.Focus = nullptr;
    if (key == Key::Escape) {
        Access::Command(dialog, u32(IDCANCEL), BN_CLICKED);
        return InputResult::Done;
    }
    const Control* focus = top.Focus;
    if (focus && IsPushButton(*focus) && focus->IsEnabled() && focus->IsOnScreen()) {
        Access::Command(dialog, focus->Id(), BN_CLICKED);
        return InputResult::Done;
    }
    for (const Control& control : dialog.Controls()) {
        if (control.Kind() != ControlKind::DefButton)
            continue;
        if (!control.IsEnabled())
            return InputResult::Ignored;
        Access::Command(dialog, control.Id(), BN_CLICKED);
        return InputResult::Done;
    }
    Access::Command(dialog, u32(IDOK), BN_CLICKED);
    return InputResult::Done;
}

InputResult Close(Dialog& dialog) {
    if (!TakesInput(dialog))
        return InputResult::NotOnTop;
    if (dialog.IsPage() || !(dialog.Template()->Style & StyleSystemMenu))
        return InputResult::NoCloseBox;
    const Control* cancel = dialog.FindItem(u32(IDCANCEL));
    if (cancel && !cancel->IsEnabled())
        return InputResult::Ignored;
    Access::Command(dialog, u32(IDCANCEL), BN_CLICKED);
    return InputResult::Done;
}

InputResult AnswerBox(Frame& box, int result) {
    const std::span<const int> buttons = BoxButtons(box.BoxType);
    if (std::find(buttons.begin(), buttons.end(), result) == buttons.end())
        return InputResult::BadValue;
    EndBox(box, result);
    return InputResult::Done;
}

InputResult BoxKey(Frame& box, Key key) {
    if (key == Key::Enter) {
        EndBox(box, BoxButtons(box.BoxType)[0]);
        return InputResult::Done;
    }
    return CloseBox(box);
}

InputResult CloseBox(Frame& box) {
    const int answer = BoxEscapeAnswer(box.BoxType);
    if (!answer)
        return InputResult::Ignored;
    EndBox(box, answer);
    return InputResult::Done;
}

void CancelFile(Frame& file) {
    file.Path.reset();
    file.Ended = true;
}

void Abandon(Frame& frame) {
    switch (frame.Kind) {
        case FrameKind::Dialog:
            frame.Result = IDCANCEL;
            break;
        case FrameKind::Box:
            frame.Result = BoxEscapeAnswer(frame.BoxType);
            if (!frame.Result)
                frame.Result = IDNO;
            break;
        case FrameKind::File:
            frame.Path.reset();
            break;
    }
    frame.Ended = true;
}

} // namespace input

} // namespace ui
