#include "platform/MessageBox.h"

#include "platform/ui/MessageBox.h"

#include <string>

namespace platform {

namespace {

constinit MessageBoxHandler s_Handler = nullptr;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// UTF-16 to UTF-8; a surrogate without its partner becomes U+FFFD.
std::string ToUtf8(const char16_t* text) {
    std::string out;
    for (const char16_t* p = text ? text : u""; *p; ++p) {
        char32_t c = *p;
        if (c >= 0xD800 && c < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
            ++p;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

// The dialog layer's box, which writes to standard error while no backend is installed.
void ShowThroughDialogLayer(const char* text, const char* caption) {
    ui::MessageBox(nullptr, text, caption, ui::MB_OK);
}

} // namespace

void ShowMessageBox(const char16_t* text, const char16_t* caption) {
    const std::string textUtf8 = ToUtf8(text);
    const std::string captionUtf8 = ToUtf8(caption);
    (s_Handler ? s_Handler : &ShowThroughDialogLayer)(textUtf8.c_str(), captionUtf8.c_str());
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    const MessageBoxHandler old = s_Handler;
    s_Handler = handler;
    return old;
}

} // namespace platform
