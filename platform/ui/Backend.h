#pragma once
// The interface between the dialog layer and a backend that shows it.
//
// The layer keeps the model of every open dialog and control, the modal stack, the timers and
// every rule of the dialog manager (Enter, Escape, the close box, notifications, data exchange,
// the open-file rules). A backend shows the model and feeds the user's actions back through
// the ui::input functions:
//
// - The layer tells it what changed: dialogs built, changed and destroyed, controls changed by
//   code, frames (modal dialogs, message boxes, file dialogs) opened and closed, timers set,
//   killed and fired, refusals. Changes made by the user through ui::input are not reported:
//   the backend made them.
// - Every modal frame runs one nested loop in the layer: each pass calls the idle hook, then
//   LoopPass with the top frame. LoopPass waits for one event at most until the next timer is
//   due, handles it (a user action through ui::input, or a due timer through FireDueTimer)
//   and returns; the loop ends when the frame has ended.
#include "platform/Types.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/FileDialog.h"

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

enum class Change : u8 {
    Text,      // window text (a dialog's caption)
    State,     // enabled or shown
    Check,     // check state
    Items,     // entries of a drop-down list or items of a tab control
    Selection, // selected entry, tab, or edit text
    Range,     // slider or progress range, tick frequency
    Position,  // slider or progress position
    Address,   // IP address fields
    Picture,   // picture set or cleared
    Place,     // moved or resized
    Focus,
};

enum class FrameKind : u8 { Dialog, Box, File };

// One entry of the modal stack.
struct Frame {
    FrameKind Kind = FrameKind::Dialog;
    Dialog* Modal = nullptr;       // Dialog frames
    const Dialog* Owner = nullptr; // Box and File frames: placement only
    std::string Caption;           // Box frames
    std::string Text;
    u32 BoxType = 0;
    const OpenFileSpec* File = nullptr; // File frames
    bool Ended = false;
    int Result = 0;                  // the dialog's code, the box's answer
    std::optional<std::string> Path; // the file dialog's answer
};

// Dropped: a timer still set when its dialog (or page) was destroyed; the layer lets it go.
enum class TimerChange : u8 { Set, Kill, Fire, Dropped };

enum class Key : u8 { Enter, Escape };

class Backend {
public:
    virtual ~Backend() = default;

    // A dialog or page was built, hidden, with its controls; the layer runs OnInitDialog next.
    virtual void DialogCreated(Dialog& dialog) = 0;
    // Its caption (Text), visibility (State) or place (Place) changed.
    virtual void DialogChanged(Dialog& dialog, Change what) = 0;
    // After OnDestroy, before its controls are dropped; code is the modal result (0 for pages).
    virtual void DialogDestroyed(Dialog& dialog, int code) = 0;
    virtual void ControlChanged(Control& control, Change what) = 0;
    // A frame is shown (a modal dialog after OnInitDialog) or goes away.
    virtual void FrameOpened(Frame& frame) = 0;
    virtual void FrameClosed(Frame& frame) = 0;
    // One pass of the nested loop of the top frame (see above).
    virtual void LoopPass(Frame& top) = 0;
    // The rectangle of a tab control's item, in the control's client coordinates.
    virtual Rect TabItemRect(const Control& tab, i32 index) = 0;
    // A programming error of the layer's caller (a missing id, a kind without the operation).
    virtual void Misuse(std::string_view what) = 0;

    virtual void TimerEvent(Dialog& /*dialog*/, TimerChange /*what*/, u32 /*id*/,
                            u32 /*periodMs*/) {}
    // A saved value was refused by data exchange (the message box follows).
    virtual void ExchangeRefused(Control& /*control*/, std::string_view /*text*/) {}
    // A page was asked to end.
    virtual void PageEndIgnored(Dialog& /*page*/, int /*code*/) {}
    // A line from another fake (process starts, shell opens), for the transcript.
    virtual void Trace(std::string_view /*line*/) {}
};

// Installs a backend (null: none); answers the one replaced.
Backend* SetBackend(Backend* backend);
Backend* GetBackend();

// The modal stack, bottom first.
std::span<Frame* const> Frames();
// The top dialog frame's dialog, or null.
Dialog* TopDialog();
// Whether a dialog takes user input: the top frame is its dialog, or the dialog is a page of it.
bool TakesInput(const Dialog& dialog);

// The counter time (platform::CounterNow) at which the next timer is due, or -1 when none is
// set.
i64 NextTimerDue();
// Fires the timer due first (by due time, then id); false when none is due. A fired timer is
// due again one period after now, so a timer that fell behind fires once.
bool FireDueTimer();

// Hands a line to the backend's transcript.
void Trace(std::string_view line);

// A message box's buttons, first the default; its answer to Escape and the close box (0 for
// none).
std::span<const int> BoxButtons(u32 type);
int BoxEscapeAnswer(u32 type);
// "OK", "Cancel", "Yes", "No" through the translation hook.
std::string ButtonText(int result);
// A box type's name: "MB_OK", "MB_OKCANCEL", "MB_YESNO", followed by "|MB_ICONERROR" for a box
// with the error sign.
std::string BoxTypeName(u32 type);
// A result's name: "IDOK", "IDCANCEL", "IDYES", "IDNO", or the number.
std::string ResultName(int result);
// The lines of a message text ("\r\n", "\r" and "\n" break them).
std::vector<std::string_view> SplitLines(std::string_view text);

// What became of a user action.
enum class InputResult : u8 {
    Done,
    Ignored,    // the platform does nothing for it (Escape on a Yes/No box, Enter on a disabled
                // default button, the close box while Cancel is disabled)
    NotOnTop,   // the dialog does not take input now
    Disabled,   // the control (or its page) is disabled
    Hidden,     // the control is not on screen
    WrongKind,  // the control does not take this action
    BadValue,   // a value the control cannot take (an index outside the list, a field above 255)
    ReadOnly,   // an edit the user cannot change
    NoCloseBox, // the dialog has no system menu
    Refused,    // the file dialog refused the name and stays open
};
const char* InputResultName(InputResult result);

// The user's actions, as a backend feeds them to the layer. Each checks that the control's
// dialog takes input and that the control is enabled and on screen, changes the model and
// sends the notification the platform sends.
namespace input {

// Push buttons: the command; check boxes: toggle, then the command.
InputResult Click(Control& control);
// A check box clicked when its state differs.
InputResult Check(Control& control, bool checked);
// A pick in a drop-down list: CBN_SELCHANGE then CBN_SELENDOK.
InputResult Select(Control& control, i32 index);
// Text typed or pasted into an edit (a number-only edit takes pasted text as the platform's).
InputResult Type(Control& control, std::string_view text);
// A slider dragged: the position, clamped, and NM_CUSTOMDRAW.
InputResult Slide(Control& control, i32 position);
// The four fields of an IP address control; -1 leaves a field blank, a number above 255 becomes
// 255.
InputResult SetAddress(Control& control, const std::array<i32, 4>& fields);
// A tab picked: TCN_SELCHANGE through OnNotify.
InputResult SelectTab(Control& control, i32 index);
// The focus moved to a control without any other action (Tab, a click that changes nothing):
// no notification, but Enter now finds it.
InputResult Focus(Control& control);
// Enter or Escape in a dialog (the top dialog or one of its pages; a page gets its own keys).
// Enter: the focused push button; else the default button when it is enabled (nothing when it
// is disabled); else command 1. Escape: command 2.
InputResult PressKey(Dialog& dialog, Key key);
// The close box of the top dialog: command 2, unless a control 2 exists and is disabled.
InputResult Close(Dialog& dialog);

InputResult AnswerBox(Frame& box, int result);
InputResult BoxKey(Frame& box, Key key);
InputResult CloseBox(Frame& box);

// A path typed or picked in the file dialog; relative paths are taken from the initial folder.
// Refused: the reason is in problem and the dialog stays open.
InputResult ChooseFile(Frame& file, std::string_view path, std::string& problem);
void CancelFile(Frame& file);

// Ends a frame without its handlers: a dialog with IDCANCEL, a box with its negative answer
// (IDOK, IDCANCEL, IDNO), a file dialog with nothing. Used to unwind after a failure.
void Abandon(Frame& frame);

} // namespace input

} // namespace ui
