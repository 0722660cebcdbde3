#include "tests/platform/fltk/FltkTestSupport.h"

#include <FL/x.H>
#include <array>
#include <cstdlib>
#include <filesystem>

namespace fltktest {

void SendDeleteWindow(Fl_Window& window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = fl_xid(&window);
    event.xclient.message_type = XInternAtom(fl_display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(fl_display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(fl_display, event.xclient.window, False, NoEventMask, &event);
    XFlush(fl_display);
}

Fl_Window* ForeignModal(const ui::fltk::FltkBackend& backend) {
    Fl_Window* modal = Fl::modal();
    if (!modal || modal == backend.BoxWindow())
        return nullptr;
    for (ui::Frame* frame : ui::Frames()) {
        if (frame->Kind == ui::FrameKind::Dialog && backend.WindowOf(*frame->Modal) == modal)
            return nullptr;
    }
    return modal;
}

PictureFacts Identify(const std::string& path) {
    PictureFacts facts;
    const std::string command = "identify -format '%w %h %k' '" + path + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return facts;
    std::array<char, 256> line{};
    const bool got = std::fgets(line.data(), int(line.size()), pipe) != nullptr;
    const int status = pclose(pipe);
    if (got && status == 0)
        facts.Read =
            std::sscanf(line.data(), "%d %d %ld", &facts.Width, &facts.Height, &facts.Colours) == 3;
    return facts;
}

TempFolder::TempFolder() {
    char path[] = "/tmp/brisalde-fltk-XXXXXX";
    if (mkdtemp(path))
        m_Path = path;
    EXPECT_FALSE(m_Path.empty());
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    if (!m_Path.empty())
        std::filesystem::remove_all(m_Path, ignored);
}

Watchdog::Watchdog(double seconds) {
    Fl::add_timeout(seconds, &Watchdog::Fire, this);
}

Watchdog::~Watchdog() {
    Fl::remove_timeout(&Watchdog::Fire, this);
}

void Watchdog::Fire(void*) {
    ADD_FAILURE() << "the flow did not finish in time";
    // A chooser of FLTK's own ends when its window goes.
    if (Fl_Window* modal = Fl::modal())
        modal->hide();
    for (ui::Frame* frame : ui::Frames())
        ui::input::Abandon(*frame);
}

} // namespace fltktest
