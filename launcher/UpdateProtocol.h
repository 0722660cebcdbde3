#pragma once
// The update protocol: the request paths of "patch/patch.php" and the update server's answers.
// Every request is a GET; values go into the query as they are (the HTTP layer encodes only the
// bytes a request target cannot carry). Answers are read with bounds and refused whole when a
// rule is broken. Pure functions over texts, so that hostile answers can be fuzzed.
//
// Actions: 0 check for an update, 1 ask where to download it, 2 progress report, 3 download
// finished, 4 download cancelled or failed.
#include "core/base/ClassicString.h"
#include "platform/Types.h"

inline constexpr u32 kUpdateActionCheck = 0;
inline constexpr u32 kUpdateActionLocate = 1;
inline constexpr u32 kUpdateActionProgress = 2;
inline constexpr u32 kUpdateActionFinished = 3;
inline constexpr u32 kUpdateActionAbandoned = 4;

// The update server's port (a secure request) and the largest answer read from it.
inline constexpr i32 kUpdateServerPort = 443;
inline constexpr u32 kUpdateAnswerLimit = 65536;
// The longest file name a download may be stored under, in bytes.
inline constexpr u32 kUpdateFileNameLimit = 255;

// "patch/patch.php?action=<action>&game=Brisalde&lang=<lang>&version=<version>&os=<os>
// &protocol=2" (actions 0 and 1). The values are copied byte for byte: a '%' in one is no
// directive.
CClassicString UpdateCheckPath(u32 action, CClassicStringRef lang, CClassicStringRef version,
                               CClassicStringRef os);
// "patch/patch.php?action=2&id_download=<id>&protocol=2&progress=": a report appends the
// percentage.
CClassicString UpdateProgressPrefix(i32 downloadId);
// "patch/patch.php?action=<3 or 4>&id_download=<id>&protocol=2&time=<seconds>".
CClassicString UpdateResultPath(u32 action, i32 downloadId, i32 seconds);
// The os value: "Win9x" when the platform is not of the NT family (the top bit of the
// platform's version word), else "WinNt2kXp".
const char* UpdateOsName(u32 platformId);

// The answer of action 0: "status;size;text", runs of ';' counting as one separator.
struct SUpdateCheckAnswer {
    // The update's size in bytes, 0 for none.
    i32 Size = 0;
    // The size token as received (stored for the reminder of the next start).
    CClassicString SizeToken;
    // The rest of the body after the size and its separators: UTF-8 when it begins with
    // EF BB BF, else one character per byte.
    CClassicWideString Text;
};

// The answer of action 1: "status;id;host;path", further tokens ignored.
struct SUpdateLocation {
    i32 DownloadId = 0;
    CClassicString Host;
    CClassicString Path;
    // The text after the last '/' of the path, the whole path without one.
    CClassicString FileName;
};

// False, with the rule broken in problem, when the status is missing, not a number or not 0, or
// the size is missing, not a number, negative or beyond 32 bits (the parser saturates there).
bool ParseUpdateCheckAnswer(CClassicStringRef body, SUpdateCheckAnswer& out, const char*& problem);
// False, with the rule broken in problem, when the status is not 0, the identifier is not a
// number, is 0 or beyond 32 bits, the host is not a plain host name, the path is missing, or the
// file name is not one IsSafeDownloadFileName takes.
bool ParseUpdateLocation(CClassicStringRef body, SUpdateLocation& out, const char*& problem);

// A line of the launcher's log ("[Launcher] " and the formatted text) to the log's files. What it
// carries comes from files and servers: control characters are escaped (ClassicLogAppendText).
void LauncherLogLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A name a download may be stored under in the download folder: not empty, ".", "..", nor
// longer than 255 bytes, and without '\', '/', ':', '*', '?', '"', '<', '>', '|' or control
// characters (which would lead out of the folder, or name a stream, a device or a pattern).
bool IsSafeDownloadFileName(CClassicStringRef name);
