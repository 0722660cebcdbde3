#pragma once
// The engine's two string values: CClassicString (8-bit text: identifiers, log lines, URLs,
// file contents) and CClassicWideString (16-bit text: what the user sees, file paths).
//
// A string is { u32 length; text }. The text is always NUL-terminated at the length. Every empty
// string that owns no storage points at one shared static empty text; a string that owns storage
// has exactly one heap block whose capacity is recorded in a small header just below the text,
// so that the block is found from the text pointer alone. Reserving, assigning and replacing give
// a block of exactly the text's size; appending past the capacity doubles it, so that a text
// built piece by piece costs linear time.
// Blocks of 2 MB and more are mappings of their own that fill with huge pages and grow without
// copying (platform::AllocLargeBlock).
#include "platform/Endian.h"
#include "platform/Types.h"

#include <concepts>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <string>

template <class Ch>
class TClassicString;
class CClassicString;
class CClassicWideString;
class CClassicTokenizer;
class CClassicWideTokenizer;

// Shared empty texts, one per width. Never written, never freed; the byte below each is a zero
// capacity header.
struct ClassicEmptyTexts {
    static constexpr char s_Narrow[2] = {0, 0};
    static constexpr char16_t s_Wide[2] = {0, 0};
};

template <class Ch>
constexpr const Ch* ClassicEmptyText() {
    if constexpr (std::same_as<Ch, char>)
        return ClassicEmptyTexts::s_Narrow + 1;
    else
        return ClassicEmptyTexts::s_Wide + 1;
}

// Length of a NUL-terminated text; a null pointer has length 0.
template <class Ch>
constexpr u32 ClassicTextLength(const Ch* text) {
    return text ? static_cast<u32>(std::char_traits<Ch>::length(text)) : 0;
}

// Length up to the first NUL, at most maxLength (texts of refs need not end in a NUL).
template <class Ch>
constexpr u32 ClassicTextLength(const Ch* text, u32 maxLength) {
    u32 n = 0;
    while (n < maxLength && text[n])
        ++n;
    return n;
}

// The value of a digit in the given base (up to 16, either letter case); -1 for anything else.
constexpr i32 ClassicDigitValue(char c, u32 base) {
    i32 d = -1;
    if (c >= '0' && c <= '9')
        d = c - '0';
    else if (c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
    return d < i32(base) ? d : -1;
}

template <class Ch>
struct TClassicStringRef;
bool ClassicGetLine(const TClassicStringRef<char>& text, u32 index, CClassicString& out);

// A non-owning view { text, length } that assign, append, prepend, compare and search take. The
// text is not necessarily NUL-terminated at the length.
template <class Ch>
struct TClassicStringRef {
    const Ch* m_Text;
    u32 m_Length;

    constexpr TClassicStringRef() : m_Text(ClassicEmptyText<Ch>()), m_Length(0) {}
    constexpr TClassicStringRef(const Ch* text)
        : m_Text(text ? text : ClassicEmptyText<Ch>()), m_Length(ClassicTextLength(text)) {}
    constexpr TClassicStringRef(const Ch* text, u32 length)
        : m_Text(text ? text : ClassicEmptyText<Ch>()), m_Length(text ? length : 0) {}
    TClassicStringRef(const TClassicString<Ch>& string);

    // Copies line `index` (from 0) of the text into `out`, without its line end ("\r\n" or
    // "\n"). False and an empty result when there is no such line.
    bool GetLine(u32 index, CClassicString& out) const requires std::same_as<Ch, char> {
        return ClassicGetLine(*this, index, out);
    }
};

using CClassicStringRef = TClassicStringRef<char>;
using CClassicWideStringRef = TClassicStringRef<char16_t>;

// Storage and the operations common to both widths.
template <class Ch>
class TClassicString {
public:
    using Ref = TClassicStringRef<Ch>;

    // Takes the old block of a reallocation so that its text stays readable while the new text
    // is filled; frees it when destroyed.
    class CHandBack {
    public:
        CHandBack() = default;
        ~CHandBack();
        CHandBack(const CHandBack&) = delete;
        CHandBack& operator=(const CHandBack&) = delete;

        const Ch* m_Read = nullptr;
        Ch* m_Block = nullptr; // the text pointer of the handed-back block
    };

    constexpr TClassicString() noexcept
        : m_Length(0), m_Text(const_cast<Ch*>(ClassicEmptyText<Ch>())) {}
    TClassicString(const Ch* text);
    explicit TClassicString(Ref text);
    TClassicString(const TClassicString& other);
    TClassicString(TClassicString&& other) noexcept;
    TClassicString& operator=(const TClassicString& other);
    TClassicString& operator=(TClassicString&& other) noexcept;
    ~TClassicString() { FreeText(); }

    u32 GetLength() const { return m_Length; }
    const Ch* GetText() const { return m_Text; }
    Ch* GetText() { return m_Text; }
    bool IsEmpty() const { return m_Length == 0; }
    Ch operator[](u32 index) const { return m_Text[index]; }
    // Characters the current storage holds without reallocating (0 for the shared empty text,
    // whose header byte is 0).
    u32 GetCapacity() const {
        const u8* t = reinterpret_cast<const u8*>(m_Text);
        if (t[-1] & 0x80)
            return platform::LoadU32Le(t - 4) & 0x7FFFFFFF;
        return t[-1] & 0x7F;
    }
    // True when p points into this string's own storage (never for the shared empty text).
    bool HoldsInStorage(const void* p) const;

    // Frees the block; the string is the shared empty text again.
    void FreeText();
    // Makes room for n characters (exactly n when a new block is needed). With keep, the current
    // characters are copied into the new block. The length is left unchanged.
    void Reserve(u32 n, bool keep, CHandBack* handBack = nullptr) {
        // The length never passes the capacity.
        if (handBack || n > GetCapacity())
            ReserveBlock(n, keep, handBack);
    }
    // Reserve for sizes that come from outside (a network answer): false, with the string
    // unchanged, when n passes the largest capacity or the memory is not there.
    bool TryReserve(u32 n, bool keep);
    // Sets the length to n (the NUL written at n); with fill, new characters get fillChar.
    // Shrinking never reallocates.
    void SetLength(u32 n, bool fill = false, Ch fillChar = 0) {
        if (n == m_Length)
            return;
        Reserve(n, true);
        const u32 old = m_Length;
        m_Text[n] = 0;
        m_Length = n;
        if (fill)
            for (u32 i = old; i < n; ++i)
                m_Text[i] = fillChar;
    }
    void Assign(Ref text);
    // Past the capacity, appends grow the block to the larger of the new length and twice the
    // capacity (ReserveToAppend).
    void AppendChar(Ch c) {
        if (m_Length < GetCapacity()) {
            m_Text[m_Length] = c;
            m_Text[++m_Length] = 0;
        } else {
            AppendCharGrowing(c);
        }
    }
    void Prepend(Ref text);
    // Shortens to n characters; nothing when n is at or beyond the length.
    void Truncate(u32 n);

    // n = 0 compares the whole texts; n > 0 gives -1 when either length is below n, else compares
    // the first n characters. Comparison stops at a NUL; narrow characters compare unsigned.
    i32 Compare(Ref text, u32 n = 0) const;
    // The same with ASCII letters folded.
    i32 CompareNoCase(Ref text, u32 n = 0) const;
    // Index of the first c at or after pos, -1 when none.
    i32 Find(Ch c, u32 pos = 0) const;

protected:
    // Inline for the common case, a text from elsewhere that fits the block.
    void AppendRef(Ref text) {
        const u64 n = u64(m_Length) + text.m_Length;
        const uintptr_t from = reinterpret_cast<uintptr_t>(text.m_Text);
        const uintptr_t storage = reinterpret_cast<uintptr_t>(m_Text);
        const u32 capacity = GetCapacity();
        if (text.m_Length != 0 && n <= capacity &&
            (from + u64(text.m_Length) * sizeof(Ch) <= storage ||
             from >= storage + (u64(capacity) + 1) * sizeof(Ch))) {
            std::memcpy(m_Text + m_Length, text.m_Text, size_t(text.m_Length) * sizeof(Ch));
            m_Length = u32(n);
            m_Text[n] = 0;
        } else {
            AppendGrowing(text);
        }
    }
    void AppendGrowing(Ref text);
    void ReserveBlock(u32 n, bool keep, CHandBack* handBack);
    void AppendCharGrowing(Ch c);
    // Room for n characters for an append, the text kept: past the capacity the block grows to
    // the larger of n, twice the capacity and 64 characters.
    void ReserveToAppend(u32 n);

    u32 m_Length;
    Ch* m_Text;
};

// 8-bit string.
class CClassicString : public TClassicString<char> {
public:
    using TClassicString::TClassicString;
    // The three texts one after the other, allocated once.
    CClassicString(CClassicStringRef a, CClassicStringRef b, CClassicStringRef c);

    // Appends and returns the string itself, so that calls chain.
    CClassicString& Append(CClassicStringRef text) {
        AppendRef(text);
        return *this;
    }
    // Appends the ref and then the NUL-terminated text, with one reservation for both.
    CClassicString& Append2(CClassicStringRef text, const char* then);
    // Frees the own block, takes other's text and leaves other empty.
    void MoveFrom(CClassicString& other);

    // Keeps the last n characters; nothing when n is at or beyond the length.
    void KeepRight(u32 n);
    // Cuts at the first c, keeping c unless drop; false when there is no c.
    bool TruncateAtChar(char c, bool drop);
    // Keeps the part from the first c on, without c when drop; false when there is no c.
    bool KeepFromChar(char c, bool drop);
    // Removes the prefix when the text begins with it; optionally trims blanks, tabs, CR and LF
    // from the front before the test and after the removal.
    bool RemovePrefix(const char* prefix, bool trimBefore, bool trimAfter);
    void TrimLeft(const char* set);
    void TrimRight(const char* set);
    void RemoveChars(const char* set);

    // Replaces occurrences of `from` at or after pos: the first one for count 0 or 1, else up to
    // count. True when the first (count 0 or 1) or the count-th replacement was made.
    bool ReplaceChar(char from, char to, u32 pos, u32 count);
    // Replaces occurrences of a text at or after pos, once for count 0 or 1, else up to count
    // times. False only when the first search fails (or the searched text is empty).
    bool Replace(CClassicStringRef searched, CClassicStringRef replacement, u32 pos, u32 count);
    // Replaces the n characters at pos by the text; nothing when pos + n is beyond the length.
    void ReplaceRange(u32 pos, CClassicStringRef text, u32 n);

    void ToUpper(u32 pos = 0, u32 n = 0xFFFFFFFF);
    void ToLower(u32 pos = 0, u32 n = 0xFFFFFFFF);
    // Upper-cases the first character of every word; words are separated by runs of blanks,
    // tabs, CR and LF.
    void CapitalizeWords(u32 pos = 0);

    // Index of the last c at or before min(pos, length - 1), -1 when none.
    i32 ReverseFind(char c, u32 pos = 0xFFFFFFFF) const;
    // Index of the first character at or after pos that belongs to the set, -1 when none.
    i32 FindFirstOf(CClassicStringRef set, u32 pos = 0) const;
    // Index of the first occurrence of the text at or after pos, -1 when none.
    i32 FindSubstring(CClassicStringRef text, u32 pos = 0, bool caseSensitive = true) const;

    // printf-style formatting in the "C" locale (no allocation up to 1024 characters).
    void FormatV(const char* format, va_list args) __attribute__((format(printf, 2, 0)));
    CClassicString& Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    CClassicString& AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Decimal text, with the digits in blank-separated groups of 3 when group is set, right-aligned
    // in minWidth with blanks.
    void SetInt(i32 value, bool group = false, u32 minWidth = 0);
    // Decimal, "%X" (hex) or "0x%X" (hex and prefix) text; groups of 3 decimal or 4 hex digits.
    // The sign and the prefix are never separated from the digits; with zeroFill the padding
    // zeros stand between them and the digits ("-0042", "0x002A"), otherwise blanks pad on the
    // left.
    void SetIntEx(i32 value, bool group, u32 minWidth, bool zeroFill, bool hex, bool prefix);
    // The value in the general printf form ("%.<digits>g").
    void SetFloat(f32 value, u32 digits);
    // Append forms: grouped decimal (the engine log's integer form), "%.3g" and "0x%08X".
    CClassicString& AppendInt(i32 value);
    CClassicString& AppendSignedInt(i32 value);
    CClassicString& AppendFloat(f32 value);
    CClassicString& AppendHex(u32 value);

    // Number parsers. Blanks, tabs, CR and LF are ignored wherever they stand; reading stops at
    // the first character that does not fit. A non-zero result is valid; a zero result only when
    // the text stands for zero. Out-of-range integers saturate at the 32-bit limits (hex at
    // 0xFFFFFFFF whatever the sign); a real beyond the float range reads as an infinity, one too
    // small for it as 0. `value` is always written (0 on failure).
    bool ParseDecimal(i32& value) const;
    // Decimal, or with hex an optional sign, an optional "0x" and hex digits (32-bit unsigned
    // value stored as i32).
    bool ParseInteger(i32& value, bool hex = false) const;
    // Sign, digits with an optional point, optional exponent introduced by e, E, d or D.
    bool ParseFloat(f32& value) const;
    // The real the text (up to its first NUL) begins with, as the C conversion of a text to a
    // real reads it: blanks in front skipped, then the form of ParseFloat, reading stopping at
    // the first character that does not fit ("1 5" reads 1, "2.5x" 2.5). False, value 0, when
    // no number begins the text.
    bool ParseLeadingFloat(f32& value) const;

    // 8-bit copy of wide text up to its first NUL: characters above 254 become '_'.
    void AppendWide(CClassicWideStringRef text);
    void AssignWide(CClassicWideStringRef text);

    // In-place URL encodings with lower-case %xx. A leading EF BB BF is dropped; with stopAtNul
    // the text ends at its first NUL, otherwise NULs are encoded too.
    // FormUrlEncode: A-Z a-z 0-9 - . _ pass, a blank becomes '+'.
    void FormUrlEncode(bool stopAtNul = true);
    // UrlEncode: A-Z a-z 0-9 # % & + , - . / : = ? @ _ pass, everything else (blank too) is
    // encoded.
    void UrlEncode(bool stopAtNul = true);
    // Keeps A-Z a-z 0-9 % + - . @ _; every other character becomes the replacement, or is
    // dropped when the replacement is 0. True when nothing had to change.
    bool KeepSafeChars(bool stopAtNul, char replacement);

    // Base 63 ("_0-9a-zA-Z", digit = position): the bytes read as one little-endian number,
    // least significant digit first. All-zero bytes give an empty text.
    void SetBase63(const u8* bytes, u32 count);
    // The bytes back: `count` is the capacity of `bytes` on entry and the number of significant
    // bytes on return. False, with count 0, when a character is outside the alphabet or the
    // number does not fit the capacity; the capacity is cleared in every case.
    bool GetBase63(u8* bytes, u32& count) const;

    // The next token into tokenizer.m_Token; false (and the tokenizer reset) at the end.
    bool NextToken(CClassicTokenizer& tokenizer) const;
    // Token number `index` (runs of separators count as one; a leading separator gives an
    // empty token 0) into `token`, then increments index. False when there is no such token.
    bool GetNthToken(u32& index, CClassicString& token, const char* separators) const;

private:
    void Splice(u32 pos, u32 n, CClassicStringRef text);
    void SpliceAll(const u32* positions, u32 count, u32 n, CClassicStringRef text);
};

// 16-bit string.
class CClassicWideString : public TClassicString<char16_t> {
public:
    using TClassicString::TClassicString;
    constexpr CClassicWideString() noexcept = default;
    // AssignFromNarrow of the bytes.
    explicit CClassicWideString(CClassicStringRef text);

    CClassicWideString& Append(CClassicWideStringRef text) {
        AppendRef(text);
        return *this;
    }
    // Drops the characters up to and including pos.
    void KeepAfter(u32 pos);

    // CompareNoCase against narrow text widened by AssignFromNarrow.
    i32 CompareNoCaseNarrow(CClassicStringRef text, u32 n = 0) const;

    // Narrow printf-style output, widened byte by byte and appended.
    CClassicWideString& AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Numbered placeholders: "%1".."%9" insert the arguments ("<XXX>" for one the call lacks),
    // "%%" gives '%', '%' and any other character are dropped, a trailing '%' ends the text.
    // An argument (or the format) may be this string's own text: its old text is used. The
    // result grows past the first estimate (format length plus each argument's length minus 2)
    // as repeated arguments need, up to the larger of that estimate and 1 Mi characters; false
    // when the output had to be cut there.
    bool Format1(CClassicWideStringRef format, CClassicWideStringRef arg1);
    bool Format2(CClassicWideStringRef format, CClassicWideStringRef arg1,
                 CClassicWideStringRef arg2);
    bool FormatNarrow1(CClassicStringRef format, CClassicWideStringRef arg1);
    bool FormatNarrow2(CClassicStringRef format, CClassicWideStringRef arg1,
                       CClassicWideStringRef arg2);
    bool FormatNarrow3(CClassicStringRef format, CClassicWideStringRef arg1,
                       CClassicWideStringRef arg2, CClassicWideStringRef arg3);

    // Each byte becomes the character of the same value.
    void AppendNarrow(CClassicStringRef text);
    // UTF-8 when the bytes begin with EF BB BF, otherwise one character per byte.
    void AssignFromNarrow(CClassicStringRef text);
    // Decodes UTF-8 up to the first NUL (or the end of the ref). Invalid lead bytes are skipped
    // alone; U+FEFF is dropped; a 4-byte sequence up to U+10FFFF becomes a surrogate pair and
    // larger values become U+FFFD.
    void AssignUtf8(CClassicStringRef text);
    // UTF-8 form of the text up to its first NUL, each 16-bit unit encoded on its own (a
    // surrogate gives a 3-byte sequence); U+FEFF is never encoded. With bom, EF BB BF comes
    // first unless the text is empty.
    void ToUtf8(CClassicString& out, bool bom) const;
    // The storage form: UTF-8 preceded by EF BB BF only when some character is 128 or above.
    void ToNarrowUtf8(CClassicString& out) const;
    // 8-bit copy up to the first NUL: characters above 254 become '_'.
    void ToNarrow(CClassicString& out) const;
    CClassicString GetNarrow() const;
    // Copy up to the first NUL with characters of 128 or above replaced by '_'; true when any
    // was replaced.
    bool GetAscii(CClassicString& out) const;
    // Form-URL-encoding (as FormUrlEncode) of the UTF-8 form.
    void UrlEncodeUtf8(CClassicString& out) const;

    // The next token into tokenizer.m_Token; false (and the tokenizer reset) at the end.
    bool NextToken(CClassicWideTokenizer& tokenizer) const;
};

// Static strings: the empty objects passed where a string argument is optional.
extern const CClassicString g_ClassicStringEmpty;
extern const CClassicWideString g_ClassicWideStringEmpty;
// Shared work space of the conversions and formatters (not reentrant, one thread). Functions
// that use them fall back to a local copy when their own inputs live there.
extern CClassicString g_ClassicStringScratch;
extern CClassicWideString g_ClassicWideStringScratch;

// ASCII-only case folding, shared by every case-insensitive operation of the engine.
template <class Ch>
constexpr Ch ClassicToUpper(Ch c) {
    return (c >= 'a' && c <= 'z') ? static_cast<Ch>(c - ('a' - 'A')) : c;
}
template <class Ch>
constexpr Ch ClassicToLower(Ch c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<Ch>(c + ('a' - 'A')) : c;
}

template <class Ch>
inline TClassicStringRef<Ch>::TClassicStringRef(const TClassicString<Ch>& string)
    : m_Text(string.GetText()), m_Length(string.GetLength()) {}
