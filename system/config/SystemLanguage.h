#pragma once
// The two-letter code of the user's language, the configuration's default language.
#include "platform/Types.h"

// The code of a language id's primary language (its low 10 bits): "zh", "cz", "de", "es",
// "fr", "hu", "it", "jp", "ko", "pl", "ru", "th" or "hi"; "en" for every other language.
const char* LanguageCodeOfLangId(u32 langId);

// The code of the system's default language (the platform's language id).
const char* SystemLanguageCode();
