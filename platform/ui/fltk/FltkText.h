#pragma once
// Texts as FLTK shows them. FLTK reads marks inside labels and menu entries: '@' starts a symbol,
// '&' underlines the next letter (in widgets that show shortcuts), a menu path splits at '/',
// and the file chooser's filter has its own syntax. These functions turn the dialog layer's
// UTF-8 texts into the strings handed to FLTK so that the user sees the texts as the platform
// shows them.
#include <string>
#include <string_view>

namespace ui::fltk {

// Every label, button, check box, tab item, group title and message text: '@' doubled, "\r\n"
// and "\r" made "\n". '&' is kept: labels, buttons and check boxes underline the letter after
// it and show "&&" as one '&' (the platform's rule for all three); a message text is shown in a
// widget that takes '&' as it stands.
std::string Label(std::string_view text);

// A drop-down entry, set as a plain item label: the platform's lists show '&' as it stands, so
// it is doubled for FLTK's menus, and '@' as in Label. No other character is special there.
std::string MenuItem(std::string_view text);

// ";"-joined patterns as one pattern of FLTK's fl_filename_match that matches ASCII letters
// without regard to case: "*.tga;*.jpg" gives "{*.[tT][gG][aA],*.[jJ][pP][gG]}". "*.*" matches
// every name, an empty list too ("*"). A character that FLTK's pattern or filter syntax reserves
// becomes '?': the list may then show a few names more, and the layer's own check of the chosen
// name still refuses them.
std::string Patterns(std::string_view patterns);

// The filter handed to Fl_Native_File_Chooser: the description, a tab, the patterns. FLTK's own
// chooser takes an entry's pattern from its first '(' on, so the description's parentheses are
// shown as brackets; '&' and '@' are doubled for its menu, '|' (which would split the entry)
// becomes a broken bar, a leading '_' (a divider) gets a blank before it and a backslash shows
// as '/', which FLTK's chooser would make of it anyway.
std::string Filter(std::string_view description, std::string_view patterns);

} // namespace ui::fltk
