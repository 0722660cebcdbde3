#include "system/config/SystemLanguage.h"

#include "platform/Language.h"

namespace {

struct LanguageCode {
    u32 Primary;
    const char* Code;
};

// The catalogue codes: Czech is "cz" and Japanese "jp", as the catalogues are named.
constexpr LanguageCode kLanguageCodes[] = {
    {4, "zh"},  {5, "cz"},  {7, "de"},  {10, "es"}, {12, "fr"}, {14, "hu"}, {16, "it"},
    {17, "jp"}, {18, "ko"}, {21, "pl"}, {25, "ru"}, {30, "th"}, {57, "hi"},
};

} // namespace

const char* LanguageCodeOfLangId(u32 langId) {
    const u32 primary = langId & 0x3FF;
    for (const LanguageCode& entry : kLanguageCodes) {
        if (entry.Primary == primary)
            return entry.Code;
    }
    return "en";
}

const char* SystemLanguageCode() {
    return LanguageCodeOfLangId(platform::SystemDefaultLangId());
}

bool IsSafeLanguageCode(const char* code) {
    if (!code || !*code)
        return false;
    for (const char* c = code; *c; ++c) {
        const bool letter = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z');
        const bool digit = *c >= '0' && *c <= '9';
        if (!letter && !digit && *c != '_' && *c != '-' && *c != '@')
            return false;
    }
    return true;
}
