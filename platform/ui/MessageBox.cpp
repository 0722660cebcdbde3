#include "platform/ui/MessageBox.h"

#include "platform/Crt.h"
#include "platform/ui/Layer.h"

#include <cstdio>
#include <string>

namespace ui {

using detail::Printf;

int MessageBox(const Dialog* owner, std::string_view text, std::string_view caption, u32 type) {
    const u32 buttons = type & MB_TYPEMASK;
    if ((type & ~(MB_TYPEMASK | MB_ICONERROR)) != 0 ||
        (buttons != MB_OK && buttons != MB_OKCANCEL && buttons != MB_YESNO)) {
        detail::Misuse(Printf("message box of type %u", type));
        type = MB_OK;
    }
    const int negative = BoxEscapeAnswer(type) ? BoxEscapeAnswer(type) : IDNO;
    detail::State& state = detail::GetState();
    if (!state.Installed) {
        std::string line(caption);
        line += ": ";
        bool first = true;
        for (std::string_view part : SplitLines(text)) {
            if (!first)
                line += ' ';
            line += part;
            first = false;
        }
        std::fprintf(stderr, "%s\n", line.c_str());
        return negative;
    }

    Frame frame;
    frame.Kind = FrameKind::Box;
    frame.Owner = owner && owner->IsOpen() ? owner : nullptr;
    frame.Caption = caption;
    frame.Text = text;
    frame.BoxType = type;
    const detail::FrameScope scope(frame);
    state.Installed->FrameOpened(frame);
    detail::RunModalLoop(frame);
    if (state.Installed)
        state.Installed->FrameClosed(frame);
    return frame.Result;
}

} // namespace ui
