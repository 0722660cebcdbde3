// Fuzzes the tag stripper in both modes against a plain model of its rules: tags dropped, '<'
// one blank, "head" and "body" in the four characters after '<' switching the keeping of text,
// blanks and tabs collapsed when asked. The input may end anywhere, a '<' included.
//
// Nothing in the launcher or the engine calls the tag stripper today (the FAQ pages are handed
// to the desktop's browser); it is fuzzed because it is part of the HTTP library's interface.
#include "FuzzCheck.h"
#include "net/http/HtmlToText.h"

#include <cstdlib>
#include <string>

namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool WordAt(const std::string& s, size_t at, const char* word) {
    if (s.size() < at + 4)
        return false;
    for (size_t i = 0; i < 4; ++i)
        if (Lower(s[at + i]) != word[i])
            return false;
    return true;
}

std::string Model(const std::string& html, bool collapse) {
    std::string out;
    bool tag = false;
    bool keep = true;
    for (size_t i = 0; i < html.size(); ++i) {
        char c = html[i];
        if (tag) {
            tag = c != '>';
            continue;
        }
        if (c == '<') {
            tag = true;
            if (WordAt(html, i + 1, "head"))
                keep = false;
            else if (WordAt(html, i + 1, "body"))
                keep = true;
            c = ' ';
        }
        if (!keep)
            continue;
        const bool blank = c == ' ' || c == '\t';
        if (collapse && blank && (out.empty() || out.back() == ' ' || out.back() == '\t'))
            continue;
        out += c;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    const std::string html(reinterpret_cast<const char*>(data), size);
    for (bool collapse : {false, true}) {
        CClassicString text(CClassicStringRef(html.data(), u32(html.size())));
        HtmlToText(text, collapse);
        FUZZ_CHECK(text.GetLength() <= html.size());
        FUZZ_CHECK(text.GetText()[text.GetLength()] == 0);
        FUZZ_CHECK(std::string(text.GetText(), text.GetLength()) == Model(html, collapse));
    }
    return 0;
}
