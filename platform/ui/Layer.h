#pragma once
// The dialog layer's own state, shared by its sources; not for its users.
#include "platform/Crt.h"
#include "platform/ui/Backend.h"

#include <cstdarg>
#include <string>
#include <vector>

namespace ui::detail {

// printf-style formatting in the "C" locale into a string of its own (Format's buffer is
// shared by every call, so two of them cannot meet in one expression).
inline std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline std::string Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = platform::FormatV(format, args).text;
    va_end(args);
    return text;
}

struct Window {
    const DialogTemplate* Template = nullptr;
    std::vector<Control> Controls; // built once; never grows, so controls keep their address
    std::string Caption;
    Rect Place;
    bool Visible = false;
    Frame* ModalFrame = nullptr; // modal dialogs
    Dialog* Owner = nullptr;     // modal dialogs
    Dialog* Parent = nullptr;    // pages
    Control* Host = nullptr;     // pages
    std::vector<Dialog*> Pages;
    Control* Focus = nullptr; // modal dialogs: in the dialog or one of its pages
};

struct Timer {
    Dialog* Owner = nullptr;
    u32 Id = 0;
    i64 Period = 0; // counter ticks
    i64 Due = 0;
    u64 Order = 0; // setting order, for timers of several dialogs with one id and due time
};

struct State {
    Backend* Installed = nullptr;
    IdleHook Idle = nullptr;
    TranslationHook Translate = nullptr;
    std::string Title;
    std::vector<Frame*> Frames;
    std::vector<Timer> Timers;
    u64 TimerOrder = 0;
};

State& GetState();

// Reports a programming error to the backend, or to standard error without one.
void Misuse(const std::string& what);

// Runs the nested loop of a frame pushed on the modal stack until it ends.
void RunModalLoop(Frame& frame);

// Keeps a box or file frame on the modal stack while it lives.
struct FrameScope {
    explicit FrameScope(Frame& frame) : m_Frame(frame) { GetState().Frames.push_back(&frame); }
    ~FrameScope() { std::erase(GetState().Frames, &m_Frame); }
    FrameScope(const FrameScope&) = delete;
    FrameScope& operator=(const FrameScope&) = delete;
    Frame& m_Frame;
};

// Whether a dialog is shown: visible, and for a page also its host and its dialog.
bool DialogOnScreen(const Dialog& dialog);

// Sends NM_CUSTOMDRAW to the sliders of a dialog (and its pages) that came on screen.
void DrawNewSliders(Dialog& dialog);

// The handlers and the window of a dialog, for the layer's sources.
struct Access {
    static Window* Of(const Dialog& dialog) { return dialog.m_Window.get(); }
    static void Command(Dialog& dialog, u32 id, i32 code) { dialog.OnCommand(id, code); }
    static void Notify(Dialog& dialog, u32 id, i32 code) { dialog.OnNotify(id, code); }
    static void Timer(Dialog& dialog, u32 id) { dialog.OnTimer(id); }
    static void SetText(Control& control, std::string_view text) { control.m_Text = text; }
    static void SetChecked(Control& control, bool checked) { control.m_Checked = checked; }
    static void SetSelection(Control& control, i32 index) { control.m_Selection = index; }
    static void SetPosition(Control& control, i32 position) { control.SetPosition(position); }
    static void SetFields(Control& control, const std::array<i16, 4>& fields) {
        control.m_Fields = fields;
    }
    static bool DrawnOnce(const Control& control) { return control.m_DrawnOnce; }
    static void SetDrawnOnce(Control& control) { control.m_DrawnOnce = true; }
    static Control& Null();
};

// The modal dialog whose window holds the focus of a dialog or page.
Dialog& TopLevel(Dialog& dialog);

} // namespace ui::detail
