// Fuzzes the tokenizers over server-answer-like text.
//
// The first byte picks the separator set and the collapse flag; the rest is the text. Both
// widths must agree, every token must be the text found at its start, and with runs collapsed
// the tokens must be those GetNthToken finds.
#include "FuzzCheck.h"
#include "core/base/ClassicTokenizer.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* kSeparatorSets[] = {";", "; \t\r\n", ",", "\xFF\x80 "};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    // Texts past 4 KB are not tried: GetNthToken walks from the start for every token, so the
    // check's time grows with the square of the length, and the tokenizers treat a character the
    // same wherever it stands.
    if (size == 0 || size > 4096)
        return 0;
    const char* separators = kSeparatorSets[data[0] % 4];
    const bool collapse = data[0] & 4;
    const char* chars = reinterpret_cast<const char*>(data + 1);
    const u32 length = u32(size - 1);
    const CClassicString text(CClassicStringRef(chars, length));
    std::u16string wideChars;
    for (u32 i = 0; i < length; ++i)
        wideChars += char16_t(u8(chars[i]));
    const CClassicWideString wide(CClassicWideStringRef(wideChars.data(), length));
    std::u16string wideSeparators;
    for (const char* s = separators; *s; ++s)
        wideSeparators += char16_t(u8(*s));

    CClassicTokenizer tokenizer(separators, collapse);
    CClassicWideTokenizer wideTokenizer(
        CClassicWideStringRef(wideSeparators.data(), u32(wideSeparators.size())), collapse);
    std::vector<std::string> tokens;
    for (u32 round = 0;; ++round) {
        FUZZ_CHECK(round <= length + 1); // every token but an empty first one advances the position
        const bool more = text.NextToken(tokenizer);
        FUZZ_CHECK(wide.NextToken(wideTokenizer) == more);
        if (!more) {
            FUZZ_CHECK(tokenizer.m_TokenCount == 0 && tokenizer.m_Position == 0 &&
                       tokenizer.m_TokenStart == -1 && tokenizer.m_Token.GetLength() == 0);
            break;
        }
        const CClassicString& token = tokenizer.m_Token;
        FUZZ_CHECK(tokenizer.m_TokenCount == round + 1);
        FUZZ_CHECK(u32(tokenizer.m_TokenStart) + token.GetLength() <= length);
        FUZZ_CHECK(
            std::memcmp(chars + tokenizer.m_TokenStart, token.GetText(), token.GetLength()) == 0);
        FUZZ_CHECK(wideTokenizer.m_TokenStart == tokenizer.m_TokenStart);
        FUZZ_CHECK(wideTokenizer.m_Token.GetLength() == token.GetLength());
        for (u32 i = 0; i < token.GetLength(); ++i) {
            FUZZ_CHECK(token[i] != 0 && !std::strchr(separators, token[i]));
            FUZZ_CHECK(wideTokenizer.m_Token[i] == u8(token[i]));
        }
        tokens.emplace_back(token.GetText(), token.GetLength());
    }

    if (collapse) {
        std::vector<std::string> nth;
        CClassicString token;
        for (u32 index = 0; text.GetNthToken(index, token, separators);)
            nth.emplace_back(token.GetText(), token.GetLength());
        FUZZ_CHECK(nth == tokens);
    }
    return 0;
}
