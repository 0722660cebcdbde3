#pragma once
// Engine paths and host paths. The engine names files with 16-bit Windows-form paths
// ("Z:\home\me\game\Config.txt"); the host's root is the drive Z:. This is the only place where
// the two forms meet.
//
// Text crosses as UTF-8. Host bytes that are not UTF-8 become the characters U+DC80..U+DCFF
// (U+DC00 + the byte), and a backslash inside a host name becomes U+DC5C, so that a host name
// comes back byte for byte when it is converted back.
#include "platform/Types.h"

#include <string>
#include <string_view>

namespace platform {

// Host text (UTF-8, not necessarily valid) to 16-bit text, and back.
std::u16string HostTextToWide(std::string_view text);
std::string WideToHostText(std::u16string_view text);

// Converts an engine path, up to its first NUL, to a host path, lexically:
// - "Z:\" (either case) and a single leading separator are the host root "/";
// - a path without drive, and "Z:" followed by a name, stay relative to the current folder;
// - '\\' and '/' both separate, runs of separators count as one, a final one is kept;
// - "." components are dropped and ".." removes the component before it, never climbing above
//   the root (a relative path keeps the ".." it starts with).
// False, with an empty result, for paths the host has no counterpart of: an empty path, another
// drive, a network or device path ("\\server\share", "\\?\...").
bool ToHostPath(std::u16string_view path, std::string& host);

// The engine path of a host path: "/x/y" gives "Z:\x\y", "/" gives "Z:\", a relative path stays
// relative with backslashes.
std::u16string FromHostPath(std::string_view host);

// ToHostPath, then every component that does not exist as written is replaced by the first name
// of its folder that equals it ignoring ASCII case (in byte order when several do). A component
// followed by more of the path must name a folder: there a folder that equals it ignoring case
// wins over a file, also over a file spelled exactly. From the first component that matches
// nothing on, the rest is kept as written, so the result also names a file or folder to create.
// False as ToHostPath.
bool ResolveHostPath(std::u16string_view path, std::string& host);

// The same resolution on a host path, in place.
void ResolveHostNames(std::string& host);

// Equality and order of host names ignoring ASCII case; bytes of 128 and above compare as they
// are. Folder listings are sorted by NameLess: ignoring case first, then by bytes.
bool NameEqualsNoCase(std::string_view a, std::string_view b);
bool NameLess(std::string_view a, std::string_view b);

} // namespace platform
