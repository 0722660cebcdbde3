#pragma once
// Message boxes: a caption, a text, one of three sets of buttons and, when asked, an error sign.
// A box is modal to the whole application; its owner only places it. "\r\n", "\r" and "\n" break
// lines. The first button answers Enter; Escape and the close box answer IDOK for MB_OK and
// IDCANCEL for MB_OKCANCEL, and do nothing for MB_YESNO.
//
// Callable from any layer and before any dialog exists. With no backend installed the caption
// and the text go to standard error as one line and the answer is IDOK, IDCANCEL or IDNO.
#include "platform/Types.h"

#include <string_view>

namespace ui {

class Dialog;

inline constexpr u32 MB_OK = 0;
inline constexpr u32 MB_OKCANCEL = 1;
inline constexpr u32 MB_YESNO = 4;
// The buttons are the type's low four bits; the error sign is a flag OR-ed with them.
inline constexpr u32 MB_TYPEMASK = 0xF;
inline constexpr u32 MB_ICONERROR = 0x10;

// Answers IDOK, IDCANCEL, IDYES or IDNO (Dialog.h).
int MessageBox(const Dialog* owner, std::string_view text, std::string_view caption, u32 type);

} // namespace ui
