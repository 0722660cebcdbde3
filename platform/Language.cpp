#include "platform/Language.h"

#include <cstdlib>

namespace platform {

namespace {

constexpr u16 kSubLanguageDefault = 1;
constexpr u16 kLangIdEnglish = 0x0409;

struct LanguagePrimary {
    const char* Code; // ISO 639-1
    u16 Primary;
};

// The primary language ids of the languages a locale may name.
constexpr LanguagePrimary kPrimaryLanguages[] = {
    {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06},
    {"de", 0x07}, {"el", 0x08}, {"en", 0x09}, {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C},
    {"he", 0x0D}, {"hu", 0x0E}, {"is", 0x0F}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12},
    {"nl", 0x13}, {"nb", 0x14}, {"nn", 0x14}, {"no", 0x14}, {"pl", 0x15}, {"pt", 0x16},
    {"ro", 0x18}, {"ru", 0x19}, {"hr", 0x1A}, {"sr", 0x1A}, {"sk", 0x1B}, {"sq", 0x1C},
    {"sv", 0x1D}, {"th", 0x1E}, {"tr", 0x1F}, {"ur", 0x20}, {"id", 0x21}, {"uk", 0x22},
    {"be", 0x23}, {"sl", 0x24}, {"et", 0x25}, {"lv", 0x26}, {"lt", 0x27}, {"fa", 0x29},
    {"vi", 0x2A}, {"hy", 0x2B}, {"az", 0x2C}, {"eu", 0x2D}, {"mk", 0x2F}, {"af", 0x36},
    {"ka", 0x37}, {"fo", 0x38}, {"hi", 0x39},
};

} // namespace

u16 LangIdFromLocaleName(std::string_view name) {
    if (name.empty() || name == "C" || name == "POSIX" || name.substr(0, 2) == "C.")
        return kLangIdEnglish;
    // The language part ends at the territory, the code set or the modifier.
    const size_t end = name.find_first_of("_.@");
    const std::string_view language = name.substr(0, end);
    if (language.size() != 2)
        return 0;
    char code[2];
    for (size_t i = 0; i < 2; ++i) {
        const char c = language[i];
        if (c >= 'A' && c <= 'Z')
            code[i] = char(c - 'A' + 'a');
        else if (c >= 'a' && c <= 'z')
            code[i] = c;
        else
            return 0;
    }
    for (const LanguagePrimary& entry : kPrimaryLanguages) {
        if (entry.Code[0] == code[0] && entry.Code[1] == code[1])
            return u16(kSubLanguageDefault << 10 | entry.Primary);
    }
    return 0;
}

u16 SystemDefaultLangId() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return LangIdFromLocaleName(value);
    }
    return kLangIdEnglish;
}

} // namespace platform
