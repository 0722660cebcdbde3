#pragma once
// The two-letter code of the user's language, the configuration's default language.
#include "platform/Types.h"

// The class of translation catalogues (".mo" files); the Plug library's extension table names it.
inline constexpr u32 kTranslationCatalogueClassId = 0x09055000;

// Whether a language code may name catalogue files: not empty, only ASCII letters, digits, '_',
// '-' and '@'. Codes from the registry or a configuration file are checked before they become
// path components.
bool IsSafeLanguageCode(const char* code);

// The code of a language id's primary language (its low 10 bits): "zh", "cz", "de", "es",
// "fr", "hu", "it", "jp", "ko", "pl", "ru", "th" or "hi"; "en" for every other language.
const char* LanguageCodeOfLangId(u32 langId);

// The code of the system's default language (the platform's language id).
const char* SystemLanguageCode();
