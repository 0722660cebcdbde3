#include "core/base/ClassicTokenizer.h"

namespace {

bool InSet(char c, const char* set) {
    if (!set || c == 0)
        return false;
    for (; *set; ++set)
        if (*set == c)
            return true;
    return false;
}

bool InSet(char16_t c, const CClassicWideString& set) {
    if (c == 0)
        return false;
    for (u32 i = 0; i < set.GetLength() && set[i]; ++i)
        if (set[i] == c)
            return true;
    return false;
}

// Shared by both widths: the tokenizers have the same members.
template <class Ch, class Tokenizer, class Separators>
bool NextTokenOf(const TClassicString<Ch>& text, Tokenizer& tokenizer,
                 const Separators& separators) {
    const Ch* chars = text.GetText();
    const u32 length = text.GetLength();
    if (tokenizer.m_TokenCount == 0)
        tokenizer.m_Position = 0;
    u32 at = tokenizer.m_Position;
    if (at >= length || chars[at] == 0) {
        tokenizer.m_Flags &= ~kClassicTokenizerAtEnd;
        tokenizer.m_TokenStart = -1;
        tokenizer.m_TokenCount = 0;
        tokenizer.m_Position = 0;
        tokenizer.m_Token.SetLength(0);
        return false;
    }
    const u32 start = at;
    while (at < length && chars[at] && !InSet(chars[at], separators))
        ++at;
    tokenizer.m_TokenStart = static_cast<i32>(start);
    tokenizer.m_Token.Assign(TClassicStringRef<Ch>(chars + start, at - start));
    ++tokenizer.m_TokenCount;
    if (tokenizer.m_Flags & kClassicTokenizerCollapse) {
        while (at < length && InSet(chars[at], separators))
            ++at;
    } else if (at < length && InSet(chars[at], separators)) {
        ++at;
    }
    tokenizer.m_Position = at;
    if (at >= length || chars[at] == 0)
        tokenizer.m_Flags |= kClassicTokenizerAtEnd;
    else
        tokenizer.m_Flags &= ~kClassicTokenizerAtEnd;
    return true;
}

} // namespace

bool CClassicString::NextToken(CClassicTokenizer& tokenizer) const {
    return NextTokenOf(*this, tokenizer, tokenizer.m_Separators);
}

bool CClassicWideString::NextToken(CClassicWideTokenizer& tokenizer) const {
    return NextTokenOf(*this, tokenizer, tokenizer.m_Separators);
}

bool CClassicString::GetNthToken(u32& index, CClassicString& token, const char* separators) const {
    const auto atEnd = [&](u32 at) { return at >= m_Length || m_Text[at] == 0; };
    u32 at = 0;
    for (u32 skipped = 0; skipped < index; ++skipped) {
        if (atEnd(at)) {
            token.SetLength(0);
            return false;
        }
        while (!atEnd(at) && !InSet(m_Text[at], separators))
            ++at;
        while (!atEnd(at) && InSet(m_Text[at], separators))
            ++at;
    }
    if (atEnd(at)) {
        token.SetLength(0);
        return false;
    }
    const u32 start = at;
    while (!atEnd(at) && !InSet(m_Text[at], separators))
        ++at;
    token.Assign(CClassicStringRef(m_Text + start, at - start));
    ++index;
    return true;
}
