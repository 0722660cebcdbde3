#pragma once
// The FLTK backend of the dialog layer: real windows on an X display, with the rules of the
// headless backend.
//
// - Every dialog is a modal window sized to its client area in pixels and centred over its
//   owner's window (the first over the screen); pages are groups inside it, placed by the
//   layer's rules. Controls are FLTK widgets at the rectangles the template gives (DuToPixels),
//   with 11-pixel text; texts go through the escaping of FltkText.h.
// - DoModal's loop waits on Fl::wait until the next timer is due and fires due timers itself; a
//   wake-up timeout aimed at the next due time fires them from FLTK's own loops as well (a menu
//   held open, the file chooser). While children let go by platform::Process still run, it waits
//   at most 100 ms, so that the idle hook reaps each soon after it ends. Only the top frame's
//   window takes input.
// - Message boxes are windows of their own; the open-file dialog is FLTK's own chooser (GTK is
//   never loaded), whose choice is checked by the layer and refused with a message box.
// - Snapshot mode (a folder, normally from BRISALDE_UI_SNAPSHOT) saves every dialog once shown
//   and drawn as "<template id>.png", every message box as "box-<n>.png" and every file chooser
//   as "file-<n>.png" (ImageMagick's import), prints each path on standard output, and then
//   closes the dialog as by Escape, gives the box its negative answer and cancels the chooser.
//
// FLTK's headers stay out of this header; the widget accessors are for tests.
#include "platform/ui/Backend.h"

#include <memory>
#include <string>
#include <string_view>

class Fl_Widget;
class Fl_Window;

namespace ui::fltk {

// Written to standard error when no X display can be opened; the launcher then ends with
// NoDisplayStatus.
inline constexpr std::string_view NoDisplayMessage =
    "No X display: set DISPLAY, or start the launcher with ./run.sh, which uses a virtual display";
inline constexpr int NoDisplayStatus = 3;

// Opens the X display for FLTK and sets FLTK's options (its own file chooser, never GTK's).
// Called once before any engine starts; later calls answer whether it is open. Without a
// display it writes NoDisplayMessage as one line on standard error and answers false: FLTK's
// own fatal exit never runs. The process locale is left alone.
bool OpenDisplay();

// The snapshot folder named by BRISALDE_UI_SNAPSHOT, or empty.
std::string SnapshotFolderFromEnvironment();

struct Options {
    std::string SnapshotFolder; // empty: the windows wait for the user
};

// Installs itself as the backend while it lives (one at a time). Opens the display when it is
// not open yet, and ends the process with NoDisplayStatus when there is none.
class FltkBackend final : public ui::Backend {
public:
    explicit FltkBackend(Options options = {});
    ~FltkBackend() override;
    FltkBackend(const FltkBackend&) = delete;
    FltkBackend& operator=(const FltkBackend&) = delete;

    // Saves the window of an open dialog (a page: its dialog's window) as a PNG file once it is
    // drawn, and prints the path on standard output. False with a line on standard error when
    // the window is not shown or import fails.
    bool SaveSnapshot(const Dialog& dialog, const std::string& path);

    // The widgets, for tests: a dialog's window (a page: its dialog's), a control's widget (an
    // IP address control: the group of its four fields), the open message box's window.
    Fl_Window* WindowOf(const Dialog& dialog) const;
    Fl_Widget* WidgetOf(const Control& control) const;
    Fl_Window* BoxWindow() const;

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

    struct Impl;

private:
    std::unique_ptr<Impl> m_Impl;
};

} // namespace ui::fltk
