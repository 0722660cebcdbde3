#include "net/http/HtmlToText.h"

#include <cstring>

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

// The first c at or after i, or null. Tags and the gaps between them are mostly short: a plain
// loop finds their end before a call to memchr would have started; long runs go to memchr.
const char* FindFrom(const char* t, u32 i, u32 length, char c) {
    const u32 near = length - i < 16 ? length : i + 16;
    for (; i < near; ++i)
        if (t[i] == c)
            return t + i;
    return i < length ? static_cast<const char*>(std::memchr(t + i, c, length - i)) : nullptr;
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
        if (inTag || !keep) {
            // Only the end of the tag, or the next tag, matters here: skip to it at once.
            const char* next = FindFrom(t, i, length, inTag ? '>' : '<');
            if (!next)
                break;
            i = u32(next - t);
            if (inTag) {
                inTag = false;
                continue;
            }
        }
        char c = t[i];
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
