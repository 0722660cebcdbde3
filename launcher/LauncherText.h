#pragma once
// Texts the launcher composes at start-up from stored values (its window title and the size of
// the update the last check found), and the reading of numbers typed into edits.
#include "core/base/ClassicString.h"

#include <string_view>

// The installed version as the title shows it: every leading "0." dropped ("0.0.1.0" gives
// "1.0", "0." gives "").
CClassicString StripLauncherVersion(CClassicStringRef version);

// The title before the language is known: "Brisalde", then, when the version read from the
// registry is not empty, " " and the stripped version (which may be empty: "0." gives
// "Brisalde "). The version's characters are taken one byte each, as the registry read left
// them.
CClassicWideString LauncherTitle(CClassicStringRef version);
// The whole title: the above, then " " and the configuration's language code ("Brisalde 1.0 en").
CClassicWideString LauncherTitle(CClassicStringRef version, CClassicStringRef language);

// The reminder's number for the stored "PatchAvailable" value, the size in bytes of the update
// found last: the kilobytes rounded up, in digit groups of three ("2000000" gives "1 954").
// False, and no reminder, for a value that does not parse (ParseInteger) or is not a positive
// size. The sum is made in 64 bits, so the largest size gives "2 097 152".
bool PatchReminderKilobytes(CClassicStringRef value, CClassicString& kilobytes);

// An edit's text read as a decimal integer, as the dialogs read a refresh rate or a block count:
// blanks in front skipped, then the digits up to the first other character. No digits ("", "-5",
// "Hz") gives 0; a number past 4294967295 gives 4294967295.
u32 ReadLeadingDecimal(std::string_view text);
