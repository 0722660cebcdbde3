#pragma once
// The user's language, in the form of a Windows language id: the primary language in the low
// 10 bits, the sub-language above. It follows the POSIX locale variables as the C library does
// for messages: the first of LC_ALL, LC_MESSAGES and LANG that is set and not empty.
#include "platform/Types.h"

#include <string_view>

namespace platform {

// The language id of the locale variables; English (0x0409) for "C", "POSIX" or none.
u16 SystemDefaultLangId();

// The language id of a locale name ("cs_CZ.UTF-8", "de_DE@euro", "C"): the primary language of
// its language part with the default sub-language, 0 (neutral) for a language without an id.
u16 LangIdFromLocaleName(std::string_view name);

} // namespace platform
