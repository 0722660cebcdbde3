#pragma once
// Support for the FLTK backend's tests: user actions as FLTK takes them from X (Fl::handle with
// the event's fields set), a driver that runs test steps from inside whatever loop runs, and
// ImageMagick's view of a saved picture.
#include "platform/ui/Backend.h"
#include "platform/ui/fltk/FltkBackend.h"

#include <FL/Fl.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Window.H>
#include <chrono>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace fltktest {

// A key pressed in a window, the way FLTK hands an X key press on: the focus widget first.
inline void PressKey(Fl_Window& window, int key, int state = 0) {
    static char text[2] = {};
    text[0] = key == FL_Enter    ? '\r'
              : key == FL_Escape ? '\x1b'
              : key == FL_Tab    ? '\t'
              : key < 0x7F       ? char(key)
                                 : '\0';
    Fl::e_keysym = key;
    Fl::e_state = state;
    Fl::e_text = text;
    Fl::e_length = text[0] ? 1 : 0;
    Fl::handle(FL_KEYBOARD, &window);
}

// Characters typed one key each.
inline void Type(Fl_Window& window, const std::string& text) {
    for (const char c : text)
        PressKey(window, u8(c));
}

// A click of the left button at a point of a window (its client coordinates).
inline void ClickAt(Fl_Window& window, int x, int y) {
    Fl::e_x = x;
    Fl::e_y = y;
    Fl::e_x_root = window.x() + x;
    Fl::e_y_root = window.y() + y;
    Fl::e_keysym = FL_Button + FL_LEFT_MOUSE;
    Fl::e_clicks = 0;
    Fl::e_is_click = 1;
    Fl::e_state = FL_BUTTON1;
    Fl::handle(FL_PUSH, &window);
    Fl::e_state = 0;
    Fl::handle(FL_RELEASE, &window);
}

// A click in the middle of a widget.
inline void Click(Fl_Widget& widget) {
    ClickAt(*widget.top_window(), widget.x() + widget.w() / 2, widget.y() + widget.h() / 2);
}

// The close box of a window, as the window manager's delete request reaches FLTK.
inline void CloseBox(Fl_Window& window) {
    Fl::handle(FL_CLOSE, &window);
}

// The window manager's close box: WM_DELETE_WINDOW sent to the window through the X server, as a
// window manager sends it. The window must be shown.
void SendDeleteWindow(Fl_Window& window);

// Runs test steps one after the other, 10 ms apart, from inside whatever loop runs: the next
// step is armed before one runs, so a step that opens a nested loop (a click that opens a
// dialog) lets the following steps run inside it. Once the steps are done it goes on ticking
// until it is destroyed: a step that ends a loop with an event of its own (not one from the X
// server) needs a later timeout to wake that loop's wait.
// Steps run at most one per pass of the loop, as a user's events do: FLTK runs a late timeout's
// successor in the same pass when the machine is slow, and the loop's own per-pass work (its
// checks) must see each step's result before the next step runs.
class Driver {
public:
    Driver() = default;
    ~Driver() {
        Fl::remove_timeout(&Driver::Run, this);
        Fl::remove_check(&Driver::Pass, this);
    }
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    Driver& Then(std::function<void()> step) {
        m_Steps.push_back(std::move(step));
        return *this;
    }
    // Waits (each 10 ms) until a condition holds; the watchdog ends a wait that never does.
    Driver& Until(std::function<bool()> condition) {
        m_Steps.push_back([this, condition = std::move(condition)] {
            if (!condition())
                --m_Next;
        });
        return *this;
    }
    void Start() {
        Fl::add_check(&Driver::Pass, this);
        Fl::add_timeout(0.01, &Driver::Run, this);
    }
    bool Done() const { return m_Next == m_Steps.size(); }

private:
    static void Run(void* data) {
        auto* driver = static_cast<Driver*>(data);
        Fl::add_timeout(0.01, &Driver::Run, data);
        // Nothing runs once the steps are done, nor in a wait inside a running step (a snapshot
        // waiting for a draw); a loop nested in a step (a dialog it opened) runs the next one.
        if (driver->m_Next >= driver->m_Steps.size() || driver->m_StepPass == driver->m_Passes ||
            (driver->m_Depth >= 0 && ui::Frames().size() <= size_t(driver->m_Depth)))
            return;
        driver->m_StepPass = driver->m_Passes;
        const size_t at = driver->m_Next++;
        const int outer = driver->m_Depth;
        driver->m_Depth = int(ui::Frames().size());
        driver->m_Steps[at]();
        driver->m_Depth = outer;
    }

    static void Pass(void* data) { ++static_cast<Driver*>(data)->m_Passes; }

    std::vector<std::function<void()>> m_Steps;
    size_t m_Next = 0;
    u64 m_Passes = 0;         // loop passes whose checks ran
    u64 m_StepPass = ~u64(0); // the pass count when the last step ran
    int m_Depth = -1;         // frames open when the running step began; -1 when none runs
};

// A slow, loaded machine while it lives: every pass of whatever loop runs takes the given time
// more, so timeouts come late and FLTK runs a late timeout's successor in the same pass.
class SlowLoop {
public:
    explicit SlowLoop(int milliseconds) : m_Milliseconds(milliseconds) {
        Fl::add_check(&SlowLoop::Pass, this);
    }
    ~SlowLoop() { Fl::remove_check(&SlowLoop::Pass, this); }
    SlowLoop(const SlowLoop&) = delete;
    SlowLoop& operator=(const SlowLoop&) = delete;

private:
    static void Pass(void* data) {
        std::this_thread::sleep_for(
            std::chrono::milliseconds(static_cast<SlowLoop*>(data)->m_Milliseconds));
    }

    int m_Milliseconds;
};

// Every widget of a kind inside a group, depth first.
template <typename T>
std::vector<T*> FindAll(Fl_Group& group) {
    std::vector<T*> found;
    for (int i = 0; i < group.children(); ++i) {
        Fl_Widget* child = group.child(i);
        if (T* match = dynamic_cast<T*>(child))
            found.push_back(match);
        if (Fl_Group* inner = child->as_group()) {
            const std::vector<T*> deeper = FindAll<T>(*inner);
            found.insert(found.end(), deeper.begin(), deeper.end());
        }
    }
    return found;
}

// The window FLTK holds modal that is not one of the backend's (the file chooser's).
Fl_Window* ForeignModal(const ui::fltk::FltkBackend& backend);

// Size and colour count of a picture, as ImageMagick's identify reads it.
struct PictureFacts {
    bool Read = false;
    int Width = 0;
    int Height = 0;
    long Colours = 0;
};
PictureFacts Identify(const std::string& path);

// A fresh folder under /tmp, removed with the object.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return m_Path; }

private:
    std::string m_Path;
};

// Fails the test and ends every open frame when a flow does not finish in time, so that a
// broken flow fails instead of hanging.
class Watchdog {
public:
    explicit Watchdog(double seconds = 30);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    static void Fire(void* data);
};

} // namespace fltktest
