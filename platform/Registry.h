#pragma once
// The current user's registry: string values in keys, kept as small text files that people can
// read and compare. The registry folder is $ENGINE_REGISTRY_DIR when set (tests point it at a
// folder of their own), else $XDG_CONFIG_HOME, else $HOME/.config. A key's backslashes become
// folders, and its last component names the file: the key "Software\Vorel\Brisalde" lives in
// <folder>/Software/Vorel/Brisalde.reg:
//
//     [HKEY_CURRENT_USER\Software\Vorel\Brisalde]
//     "Version"="1.0.0.0"
//     "PatchAvailable"="0"
//
// Names and values are UTF-8 in double quotes, with \\ for a backslash, \" for a double quote,
// \xNN for a control character and \uXXXX for a lone surrogate. Key components and value names
// compare ignoring ASCII case and keep the spelling they were first written with. A value line
// ends with LF or CR LF; lines that are not values are kept byte for byte when the file is
// rewritten.
#include "platform/Types.h"

#include <string>
#include <string_view>

namespace platform {

// The registry folder as the environment names it now; empty when it names none.
std::string GetRegistryFolder();

// The value of `name` in `key`; false when either is missing, the key is unusable (empty,
// a component "." or "..", a '/' or a NUL) or its file cannot be read.
bool RegistryRead(std::u16string_view key, std::u16string_view name, std::u16string& value);

// Stores the value, creating the key. The file is rewritten through a temporary file, under a
// lock on its folder so that writers of several processes keep each other's values. Returns 0 or
// the errno of the failure (EINVAL for an unusable key, EACCES for a read-only key file).
int RegistryWrite(std::u16string_view key, std::u16string_view name, std::u16string_view value);

// Key file texts as RegistryRead and RegistryWrite read and rewrite them, without any file.
// The value of the first value line of that name; false when there is none.
bool FindKeyFileValue(std::string_view text, std::u16string_view name, std::u16string& value);
// The text with the value set: the first value line of that name rewritten (keeping its line
// end), or a value line appended. Every other line is kept byte for byte; a text that does not
// begin with a "[...]" line gets the header line (its text without the LF) first.
std::string SetKeyFileValue(std::string_view text, std::string_view header,
                            std::u16string_view name, std::u16string_view value);

} // namespace platform
