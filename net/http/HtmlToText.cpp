#include "net/http/HtmlToText.h"

namespace {

// Whether the text at p (n characters left) starts with the lower-case word, any case; only the
// characters that are there are compared.
bool StartsWithNoCase(const char* p, u32 n, const char (&word)[5]) {
    if (n < 4)
        return false;
    for (u32 i = 0; i < 4; ++i)
        if (ClassicToLower(p[i]) != word[i])
            return false;
    return true;
}

} // namespace

void HtmlToText(CClassicString& text, bool collapseBlanks) {
    const u32 length = text.GetLength();
    if (length == 0)
        return;
    char* t = text.GetText();
    bool inTag = false;
    bool keep = true;
    bool lastWasBlank = true;
    u32 written = 0;
    for (u32 i = 0; i < length; ++i) {
        char c = t[i];
        if (inTag) {
            inTag = c != '>';
            continue;
        }
        if (c == '<') {
            inTag = true;
            if (StartsWithNoCase(t + i + 1, length - i - 1, "head"))
                keep = false;
            else if (StartsWithNoCase(t + i + 1, length - i - 1, "body"))
                keep = true;
            c = ' ';
        }
        if (!keep)
            continue;
        if (collapseBlanks) {
            const bool blank = c == ' ' || c == '\t';
            if (blank && lastWasBlank)
                continue;
            lastWasBlank = blank;
        }
        t[written++] = c;
    }
    text.Truncate(written);
}
