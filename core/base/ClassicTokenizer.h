#pragma once
// Tokenizer states for CClassicString::NextToken and CClassicWideString::NextToken: the text is
// cut at any character of a separator set, one token per call.
#include "core/base/ClassicString.h"

// Flag bits shared by both tokenizers.
constexpr u32 kClassicTokenizerAtEnd = 1;    // the last token was delivered; position at the end
constexpr u32 kClassicTokenizerCollapse = 2; // a run of separators counts as one

// Over narrow text. The separator set is a NUL-terminated text the tokenizer does not own.
class CClassicTokenizer {
public:
    explicit CClassicTokenizer(const char* separators, bool collapse = false)
        : m_Flags(collapse ? kClassicTokenizerCollapse : 0u), m_TokenStart(-1), m_TokenCount(0),
          m_Position(0), m_Separators(separators) {}

    u32 m_Flags;
    i32 m_TokenStart; // index of the current token in the text, -1 when none
    CClassicString m_Token;
    u32 m_TokenCount; // tokens delivered; 0 makes the next call start at the beginning
    u32 m_Position;   // where the next token begins
    const char* m_Separators;
};

// Over wide text. The tokenizer keeps its own copy of the separator set.
class CClassicWideTokenizer {
public:
    explicit CClassicWideTokenizer(CClassicWideStringRef separators, bool collapse = false)
        : m_Flags(collapse ? kClassicTokenizerCollapse : 0u), m_TokenStart(-1), m_TokenCount(0),
          m_Position(0), m_Separators(separators) {}

    u32 m_Flags;
    CClassicWideString m_Token;
    i32 m_TokenStart; // in characters, -1 when none
    u32 m_TokenCount;
    u32 m_Position;
    CClassicWideString m_Separators;
};
