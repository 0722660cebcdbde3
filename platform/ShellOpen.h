#pragma once
// Hands a file or folder to the desktop, as the player's file manager would open it: a document
// to its program, a folder to the file manager. The opener is xdg-open, started in a session of
// its own (so that it outlives this process) and waited for at most kShellOpenerWaitMs: a status
// other than 0 is a failure; one still running then is taken as opened and left to the reaper
// (Process.h). Tests replace the opener.
#include "platform/Types.h"

#include <string>
#include <string_view>

namespace platform {

// Answers: above 32 for success, as the shell's own answers are.
inline constexpr int kShellOpened = 42;
inline constexpr int kShellFileNotFound = 2;
inline constexpr int kShellPathNotFound = 3;
inline constexpr int kShellNoOpener = 31; // no program could be started for it, or none opened it

// How long xdg-open is waited for.
inline constexpr u32 kShellOpenerWaitMs = 2000;

// Opens the engine path with the verb ("open", "explore" or empty for "open", ignoring ASCII
// case; other verbs have no opener). One pair of double quotes enclosing the path is removed and
// its names are found ignoring case. A path whose folder exists but not the file gives
// kShellFileNotFound; a path whose folder is missing, or which the host cannot name, gives
// kShellPathNotFound; an empty path gives kShellFileNotFound.
int ShellOpen(std::u16string_view verb, std::u16string_view path);

// Opens an existing file or folder (absolute host path) for the verb in lower case; answers
// kShellOpened or kShellNoOpener.
using ShellOpener = int (*)(std::string_view verb, const std::string& hostPath);
// Replaces the opener; null puts xdg-open back. Returns the opener replaced (null for xdg-open).
ShellOpener SetShellOpener(ShellOpener opener);

// An opener that only writes "shell <verb> <host path>" to the dialog layer's transcript
// (ui::Trace) and answers kShellOpened.
int RecordShellOpen(std::string_view verb, const std::string& hostPath);

} // namespace platform
