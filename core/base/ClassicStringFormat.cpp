// Values to text and back for the engine strings: printf into strings, the numbered-placeholder
// formatter, integer and real text, the number parsers, the 8-bit, UTF-8 and URL conversions and
// base 63. Nothing here depends on the process locale.
#include "core/base/ClassicString.h"
#include "platform/Crt.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

constinit CClassicString g_ClassicStringScratch;
constinit CClassicWideString g_ClassicWideStringScratch;

namespace {

// A length the strings cannot hold (2^31 characters or more) goes on to the string layer as is,
// which stops the process as it does for any failed allocation; it must never wrap to a small
// u32 instead.
u32 ToLength(u64 n) {
    return n > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<u32>(n);
}

// Makes s exactly n characters long for a caller that overwrites all of them: the old text is
// not kept.
template <class Ch>
Ch* PrepareText(TClassicString<Ch>& s, u32 n) {
    s.Reserve(n, false);
    s.SetLength(n);
    return s.GetText();
}

// True when p points into the storage block of s.
template <class Ch>
u32 TextLength(TClassicStringRef<Ch> text) {
    return ClassicTextLength(text.m_Text, text.m_Length);
}

char16_t WideOf(char c) {
    return static_cast<u8>(c);
}
char16_t WideOf(char16_t c) {
    return c;
}

// 8-bit form of a character: 0 to 254 keep their value, everything above becomes '_'.
char NarrowOf(char16_t c) {
    return c > 254 ? '_' : static_cast<char>(c);
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsAlphaNumeric(u8 c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

constexpr char kLowerHex[] = "0123456789abcdef";

// ---------------------------------------------------------------------------------------------
// Placeholder formatter

// Output may outgrow the first estimate (an argument used twice, "<XXX>"); it grows up to this
// many characters, or the estimate when larger, so that a hostile format cannot multiply a long
// argument without bound.
constexpr u32 kPlaceholderLimit = 1u << 20;
constexpr char16_t kMissingArgument[] = u"<XXX>";

// Walks the format (formatLength characters) and hands every piece of output to
// emit(chars, count), until emit answers false. argLengths[k] is argument k's length up to its
// first NUL.
template <class FormatCh, class Emit>
void WalkPlaceholders(TClassicStringRef<FormatCh> format, u32 formatLength,
                      const CClassicWideStringRef* args, const u32* argLengths, u32 argCount,
                      Emit&& emit) {
    for (u32 i = 0; i < formatLength; ++i) {
        const char16_t c = WideOf(format.m_Text[i]);
        if (c != u'%') {
            if (!emit(&c, 1))
                return;
            continue;
        }
        if (++i >= formatLength)
            return; // a trailing '%' ends the text
        const char16_t next = WideOf(format.m_Text[i]);
        bool more = true;
        if (next == u'%') {
            more = emit(&next, 1);
        } else if (next >= u'1' && next <= u'9') {
            const u32 k = next - u'1';
            more = k < argCount ? emit(args[k].m_Text, argLengths[k]) : emit(kMissingArgument, 5);
        }
        // '%' followed by anything else: both are dropped.
        if (!more)
            return;
    }
}

// An input that reads from the destination's storage is pointed at the same place in a copy of
// the destination's old text.
void Redirect(CClassicWideStringRef& ref, const CClassicWideString& out,
              const CClassicWideString& copy) {
    if (!out.HoldsInStorage(ref.m_Text))
        return;
    const u32 offset = std::min<u32>(u32(ref.m_Text - out.GetText()), copy.GetLength());
    ref.m_Text = copy.GetText() + offset;
    ref.m_Length = std::min(ref.m_Length, copy.GetLength() - offset);
}

template <class FormatCh>
bool FormatPlaceholders(CClassicWideString& out, TClassicStringRef<FormatCh> format,
                        CClassicWideStringRef* args, u32 argCount) {
    constexpr bool kWideFormat = std::same_as<FormatCh, char16_t>;
    const auto anyInput = [&](const TClassicString<char16_t>& s) {
        if constexpr (kWideFormat)
            if (s.HoldsInStorage(format.m_Text))
                return true;
        for (u32 k = 0; k < argCount; ++k)
            if (s.HoldsInStorage(args[k].m_Text))
                return true;
        return false;
    };
    // Inputs that are (part of) the destination read its old text from a copy: the shared wide
    // scratch string, unless the destination is that string or another input reads from it.
    CClassicWideString local;
    if (anyInput(out)) {
        const bool scratchBusy =
            &out == &g_ClassicWideStringScratch || anyInput(g_ClassicWideStringScratch);
        CClassicWideString& copy = scratchBusy ? local : g_ClassicWideStringScratch;
        copy.Assign(out);
        if constexpr (kWideFormat)
            Redirect(format, out, copy);
        for (u32 k = 0; k < argCount; ++k)
            Redirect(args[k], out, copy);
    }

    u64 estimate = format.m_Length;
    u32 argLengths[9];
    for (u32 k = 0; k < argCount; ++k) {
        if (args[k].m_Length > 2)
            estimate += args[k].m_Length - 2;
        argLengths[k] = TextLength(args[k]);
    }
    const u64 limit = std::min<u64>(std::max<u64>(estimate, kPlaceholderLimit), 0x7FFFFFFF);
    const u32 formatLength = TextLength(format);

    // The length of the output, counted until it passes the limit; then the output itself,
    // written until it reaches that length.
    u64 needed = 0;
    WalkPlaceholders(format, formatLength, args, argLengths, argCount, [&](const char16_t*, u32 n) {
        needed += n;
        return needed <= limit;
    });
    const u32 length = static_cast<u32>(std::min(needed, limit));
    char16_t* text = PrepareText(out, length);
    u32 written = 0;
    if (length > 0)
        WalkPlaceholders(format, formatLength, args, argLengths, argCount,
                         [&](const char16_t* chars, u32 n) {
                             n = std::min(n, length - written);
                             std::copy_n(chars, n, text + written);
                             written += n;
                             return written < length;
                         });
    return needed <= limit;
}

// ---------------------------------------------------------------------------------------------
// Integers and reals to text

// The printed form of an integer: an optional sign or "0x" prefix, then the digits, grouped
// from the right by single blanks when asked.
struct IntegerText {
    char m_Chars[24];
    u32 m_Length;
    u32 m_Lead; // characters of sign or prefix in front of the digits
};

IntegerText MakeIntegerText(i32 value, bool group, bool hex, bool prefix) {
    IntegerText t{};
    u32 magnitude;
    if (hex) {
        magnitude = static_cast<u32>(value);
        if (prefix) {
            t.m_Chars[t.m_Length++] = '0';
            t.m_Chars[t.m_Length++] = 'x';
        }
    } else {
        magnitude = value < 0 ? 0u - static_cast<u32>(value) : static_cast<u32>(value);
        if (value < 0)
            t.m_Chars[t.m_Length++] = '-';
    }
    t.m_Lead = t.m_Length;
    char digits[12];
    const u32 count =
        u32(std::to_chars(digits, digits + sizeof digits, magnitude, hex ? 16 : 10).ptr - digits);
    const u32 groupSize = hex ? 4 : 3;
    for (u32 i = 0; i < count; ++i) {
        if (group && i > 0 && (count - i) % groupSize == 0)
            t.m_Chars[t.m_Length++] = ' ';
        t.m_Chars[t.m_Length++] = ClassicToUpper(digits[i]);
    }
    return t;
}

// Every float is exact within 112 significant digits, so any larger precision prints the same
// text; capping it keeps the C library from building a huge work buffer.
constexpr u32 kMaxFloatDigits = 120;

// ---------------------------------------------------------------------------------------------
// Text to numbers

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The text up to its first NUL with every blank, tab, CR and LF removed.
std::string CompactNumberText(const char* text, u32 length) {
    std::string copy;
    for (u32 i = 0; i < length && text[i]; ++i)
        if (!IsBlank(text[i]))
            copy.push_back(text[i]);
    return copy;
}

bool ParseIntegerText(const std::string& t, bool hex, i32& value) {
    value = 0;
    if (t.empty())
        return false;
    size_t i = 0;
    bool negative = false;
    if (t[0] == '+' || t[0] == '-') {
        negative = t[0] == '-';
        i = 1;
    }
    if (hex && i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X'))
        i += 2;
    const u32 base = hex ? 16 : 10;
    // Accumulates up to just past the 32-bit range, where the result saturates.
    const u64 ceiling = hex ? 0x100000000ull : 0x80000001ull;
    u64 magnitude = 0;
    for (; i < t.size(); ++i) {
        const i32 d = ClassicDigitValue(t[i], base);
        if (d < 0)
            break;
        magnitude = std::min(magnitude * base + u64(d), ceiling);
    }
    if (hex) {
        u32 bits = 0xFFFFFFFFu;
        if (magnitude <= 0xFFFFFFFFu)
            bits = negative ? 0u - u32(magnitude) : u32(magnitude);
        value = static_cast<i32>(bits);
    } else if (negative) {
        value = magnitude >= 0x80000000ull ? std::numeric_limits<i32>::min() : -i32(magnitude);
    } else {
        value = magnitude > 0x7FFFFFFFull ? std::numeric_limits<i32>::max() : i32(magnitude);
    }
    if (value != 0)
        return true;
    // Zero stands only for a text of zeros; a hex text may also carry the "0x" prefix, so that
    // "0x00000000" (AppendHex of 0) reads back.
    size_t from = 0;
    if (hex && t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))
        from = 2;
    return t.find_first_not_of('0', from) == std::string::npos;
}

bool IsExponentMark(char c) {
    return c == 'e' || c == 'E' || c == 'd' || c == 'D';
}

// from_chars leaves out-of-range values to its caller; as strtod, an overflow gives an infinity
// and an underflow zero. The decimal exponent of the first significant digit tells them apart.
// `number` is the accepted text: sign, mantissa with at least one non-zero digit, exponent.
f64 OutOfRange(std::string_view number) {
    size_t i = 0;
    const bool negative = number[0] == '-';
    if (number[0] == '-' || number[0] == '+')
        i = 1;
    bool seenPoint = false, seenSignificant = false;
    i64 integerDigits = 0, leadingFractionZeros = 0;
    for (; i < number.size() && (IsDigit(number[i]) || number[i] == '.'); ++i) {
        if (number[i] == '.') {
            seenPoint = true;
        } else if (!seenSignificant && number[i] == '0') {
            if (seenPoint)
                ++leadingFractionZeros;
        } else {
            seenSignificant = true;
            if (!seenPoint)
                ++integerDigits;
        }
    }
    // Exponent of the first significant digit, before the explicit exponent.
    const i64 position = integerDigits > 0 ? integerDigits - 1 : -leadingFractionZeros - 1;
    i64 exponent = 0;
    if (i < number.size() && number[i] == 'e') {
        ++i;
        const bool negativeExponent = i < number.size() && number[i] == '-';
        if (i < number.size() && (number[i] == '-' || number[i] == '+'))
            ++i;
        for (; i < number.size() && IsDigit(number[i]); ++i)
            exponent = std::min<i64>(exponent * 10 + (number[i] - '0'), 1000000000);
        if (negativeExponent)
            exponent = -exponent;
    }
    const f64 magnitude = position + exponent > 0 ? std::numeric_limits<f64>::infinity() : 0.0;
    return negative ? -magnitude : magnitude;
}

// Reads the real that t begins with: an optional sign, digits with an optional point, an
// optional exponent (e, E, d or D, an optional sign, digits), stopping at the first character
// that does not fit. Returns false, value 0, when no digit begins the number.
bool ReadRealPrefix(std::string_view t, f32& value) {
    value = 0;
    size_t i = 0;
    if (i < t.size() && (t[0] == '+' || t[0] == '-'))
        i = 1;
    size_t mantissaDigits = 0;
    for (; i < t.size() && IsDigit(t[i]); ++i)
        ++mantissaDigits;
    if (i < t.size() && t[i] == '.')
        for (++i; i < t.size() && IsDigit(t[i]); ++i)
            ++mantissaDigits;
    if (mantissaDigits == 0)
        return false;
    size_t end = i;
    if (i < t.size() && IsExponentMark(t[i])) {
        size_t j = i + 1;
        if (j < t.size() && (t[j] == '+' || t[j] == '-'))
            ++j;
        if (j < t.size() && IsDigit(t[j])) {
            while (j < t.size() && IsDigit(t[j]))
                ++j;
            end = j;
        }
    }
    // from_chars reads no '+' in front and no d/D exponent.
    const size_t from = t[0] == '+' ? 1 : 0;
    std::string number(t.substr(from, end - from));
    for (char& c : number)
        if (c == 'd' || c == 'D')
            c = 'e';
    f64 result = 0;
    const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), result,
                                           std::chars_format::general);
    if (ec == std::errc::result_out_of_range)
        result = OutOfRange(number);
    value = static_cast<f32>(result);
    return true;
}

bool ParseFloatText(const std::string& t, f32& value) {
    value = 0;
    if (t.empty())
        return false;
    ReadRealPrefix(t, value);
    if (value != 0)
        return true;
    // Zero stands for a text that, cut at its exponent mark and without one leading sign, holds
    // only zeros and at most a lone point.
    size_t cut = t.find('d');
    for (char mark : {'D', 'e', 'E'})
        if (cut == std::string::npos)
            cut = t.find(mark);
    std::string_view head(t.data(), std::min(cut, t.size()));
    if (!head.empty() && (head[0] == '+' || head[0] == '-'))
        head.remove_prefix(1);
    u32 others = 0;
    bool onlyPoint = true;
    for (char c : head) {
        if (c == '0')
            continue;
        ++others;
        onlyPoint = onlyPoint && c == '.';
    }
    return others == 0 || (others == 1 && onlyPoint);
}

// ---------------------------------------------------------------------------------------------
// UTF-8

u32 Utf8Length(char16_t c) {
    return c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
}

// Encodes one 16-bit unit on its own; a surrogate gives a 3-byte sequence like any other unit.
char* PutUtf8(char* p, char16_t c) {
    if (c < 0x80) {
        *p++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *p++ = static_cast<char>(0xC0 | (c >> 6));
        *p++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *p++ = static_cast<char>(0xE0 | (c >> 12));
        *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *p++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return p;
}

constexpr char16_t kByteOrderMark = 0xFEFF;
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

bool BeginsWithBom(CClassicStringRef text) {
    return text.m_Length >= 3 && std::memcmp(text.m_Text, kUtf8Bom, 3) == 0;
}

// The UTF-8 form of the first n units (U+FEFF left out), EF BB BF first when asked.
void EncodeUtf8(const char16_t* text, u32 n, bool bom, CClassicString& out) {
    u64 bytes = bom ? 3 : 0;
    for (u32 i = 0; i < n; ++i)
        if (text[i] != kByteOrderMark)
            bytes += Utf8Length(text[i]);
    char* p = PrepareText(out, ToLength(bytes));
    if (bom)
        p = std::copy_n(kUtf8Bom, 3, p);
    for (u32 i = 0; i < n; ++i)
        if (text[i] != kByteOrderMark)
            p = PutUtf8(p, text[i]);
}

// Decodes up to the first NUL or the end of the ref. Every step consumes at least one byte and
// yields at most one unit per byte consumed, so the result never outgrows the input.
void DecodeUtf8(CClassicStringRef text, CClassicWideString& out) {
    const u8* bytes = reinterpret_cast<const u8*>(text.m_Text);
    const u32 n = TextLength(text);
    char16_t* to = PrepareText(out, n);
    u32 written = 0;
    u32 i = 0;
    while (i < n) {
        const u8 lead = bytes[i];
        if (lead < 0x80) {
            to[written++] = lead;
            ++i;
            continue;
        }
        u32 extra = 0;
        u32 value = 0;
        u8 minFirst = 0x80; // lowest first continuation byte: refuses overlong forms
        if (lead < 0xC2 || lead > 0xFD) {
            ++i; // stray continuation, overlong 2-byte lead, 0xFE, 0xFF
            continue;
        } else if (lead <= 0xDF) {
            extra = 1;
            value = lead & 0x1F;
        } else if (lead <= 0xEF) {
            extra = 2;
            value = lead & 0x0F;
            minFirst = lead == 0xE0 ? 0xA0 : 0x80;
        } else if (lead <= 0xF7) {
            extra = 3;
            value = lead & 0x07;
            minFirst = lead == 0xF0 ? 0x90 : 0x80;
        } else if (lead <= 0xFB) {
            extra = 4;
            value = lead & 0x03;
            minFirst = lead == 0xF8 ? 0x88 : 0x80;
        } else {
            extra = 5;
            value = lead & 0x01;
            minFirst = lead == 0xFC ? 0x84 : 0x80;
        }
        bool valid = n - i > extra;
        for (u32 k = 1; valid && k <= extra; ++k) {
            const u8 c = bytes[i + k];
            valid = c >= (k == 1 ? minFirst : 0x80) && c <= 0xBF;
            value = (value << 6) | (c & 0x3F);
        }
        if (!valid) {
            ++i; // the lead byte alone is skipped
            continue;
        }
        i += 1 + extra;
        if (value == kByteOrderMark)
            continue;
        if (value <= 0xFFFF) {
            to[written++] = static_cast<char16_t>(value);
        } else if (value <= 0x10FFFF) {
            value -= 0x10000;
            to[written++] = static_cast<char16_t>(0xD800 | (value >> 10));
            to[written++] = static_cast<char16_t>(0xDC00 | (value & 0x3FF));
        } else {
            to[written++] = 0xFFFD; // beyond Unicode: no UTF-16 form
        }
    }
    out.Truncate(written);
}

// ---------------------------------------------------------------------------------------------
// URL encodings

enum class UrlForm {
    Form,  // A-Z a-z 0-9 - . _ pass, a blank becomes '+'
    Plain, // A-Z a-z 0-9 # % & + , - . / : = ? @ _ pass
};

bool UrlPasses(u8 c, UrlForm form) {
    if (IsAlphaNumeric(c))
        return true;
    const char* safe = form == UrlForm::Form ? "-._" : "#%&+,-./:=?@_";
    return c != 0 && std::strchr(safe, c) != nullptr;
}

u32 UrlLength(u8 c, UrlForm form) {
    return UrlPasses(c, form) || (form == UrlForm::Form && c == ' ') ? 1 : 3;
}

char* PutUrl(char* p, u8 c, UrlForm form) {
    if (UrlPasses(c, form)) {
        *p++ = static_cast<char>(c);
    } else if (form == UrlForm::Form && c == ' ') {
        *p++ = '+';
    } else {
        *p++ = '%';
        *p++ = kLowerHex[c >> 4];
        *p++ = kLowerHex[c & 15];
    }
    return p;
}

void UrlEncodeInPlace(CClassicString& s, bool stopAtNul, UrlForm form) {
    const u32 start = BeginsWithBom(s) ? 3 : 0;
    const u32 end = stopAtNul
                        ? start + ClassicTextLength(s.GetText() + start, s.GetLength() - start)
                        : s.GetLength();
    // The text is read from a copy while the string is rewritten.
    CClassicString local;
    CClassicString& copy = &s == &g_ClassicStringScratch ? local : g_ClassicStringScratch;
    copy.Assign(CClassicStringRef(s.GetText() + start, end - start));
    const u8* bytes = reinterpret_cast<const u8*>(copy.GetText());
    u64 length = 0;
    for (u32 i = 0; i < copy.GetLength(); ++i)
        length += UrlLength(bytes[i], form);
    char* p = PrepareText(s, ToLength(length));
    for (u32 i = 0; i < copy.GetLength(); ++i)
        p = PutUrl(p, bytes[i], form);
}

// ---------------------------------------------------------------------------------------------
// Base 63

constexpr char kBase63Alphabet[] =
    "_0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
static_assert(sizeof kBase63Alphabet == 64);

constexpr std::array<i8, 256> kBase63Digits = [] {
    std::array<i8, 256> digits{};
    digits.fill(-1);
    for (i8 d = 0; d < 63; ++d)
        digits[static_cast<u8>(kBase63Alphabet[d])] = d;
    return digits;
}();

} // namespace

// ---------------------------------------------------------------------------------------------
// printf into strings

void CClassicString::FormatV(const char* format, va_list args) {
    const platform::FormattedText text = platform::FormatV(format, args);
    Assign(CClassicStringRef(text.text, text.length));
}

CClassicString& CClassicString::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
    return *this;
}

CClassicString& CClassicString::AppendFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const platform::FormattedText text = platform::FormatV(format, args);
    va_end(args);
    return Append(CClassicStringRef(text.text, text.length));
}

CClassicWideString& CClassicWideString::AppendFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const platform::FormattedText text = platform::FormatV(format, args);
    va_end(args);
    AppendNarrow(CClassicStringRef(text.text, text.length));
    return *this;
}

// ---------------------------------------------------------------------------------------------
// Placeholder formatter

bool CClassicWideString::Format1(CClassicWideStringRef format, CClassicWideStringRef arg1) {
    CClassicWideStringRef args[] = {arg1};
    return FormatPlaceholders(*this, format, args, 1);
}

bool CClassicWideString::Format2(CClassicWideStringRef format, CClassicWideStringRef arg1,
                                 CClassicWideStringRef arg2) {
    CClassicWideStringRef args[] = {arg1, arg2};
    return FormatPlaceholders(*this, format, args, 2);
}

bool CClassicWideString::FormatNarrow1(CClassicStringRef format, CClassicWideStringRef arg1) {
    CClassicWideStringRef args[] = {arg1};
    return FormatPlaceholders(*this, format, args, 1);
}

bool CClassicWideString::FormatNarrow2(CClassicStringRef format, CClassicWideStringRef arg1,
                                       CClassicWideStringRef arg2) {
    CClassicWideStringRef args[] = {arg1, arg2};
    return FormatPlaceholders(*this, format, args, 2);
}

bool CClassicWideString::FormatNarrow3(CClassicStringRef format, CClassicWideStringRef arg1,
                                       CClassicWideStringRef arg2, CClassicWideStringRef arg3) {
    CClassicWideStringRef args[] = {arg1, arg2, arg3};
    return FormatPlaceholders(*this, format, args, 3);
}

// ---------------------------------------------------------------------------------------------
// Integers and reals to text

void CClassicString::SetInt(i32 value, bool group, u32 minWidth) {
    SetIntEx(value, group, minWidth, false, false, false);
}

void CClassicString::SetIntEx(i32 value, bool group, u32 minWidth, bool zeroFill, bool hex,
                              bool prefix) {
    const IntegerText t = MakeIntegerText(value, group, hex, prefix);
    const u32 pad = minWidth > t.m_Length ? minWidth - t.m_Length : 0;
    char* p = PrepareText(*this, t.m_Length + pad);
    if (zeroFill) {
        p = std::copy_n(t.m_Chars, t.m_Lead, p);
        p = std::fill_n(p, pad, '0');
        std::copy_n(t.m_Chars + t.m_Lead, t.m_Length - t.m_Lead, p);
    } else {
        p = std::fill_n(p, pad, ' ');
        std::copy_n(t.m_Chars, t.m_Length, p);
    }
}

void CClassicString::SetFloat(f32 value, u32 digits) {
    const platform::FormattedText text =
        platform::Format("%.*g", int(std::min(digits, kMaxFloatDigits)), f64(value));
    Assign(CClassicStringRef(text.text, text.length));
}

CClassicString& CClassicString::AppendInt(i32 value) {
    const IntegerText t = MakeIntegerText(value, true, false, false);
    return Append(CClassicStringRef(t.m_Chars, t.m_Length));
}

CClassicString& CClassicString::AppendSignedInt(i32 value) {
    return AppendInt(value);
}

CClassicString& CClassicString::AppendFloat(f32 value) {
    const platform::FormattedText text = platform::Format("%.3g", f64(value));
    return Append(CClassicStringRef(text.text, text.length));
}

CClassicString& CClassicString::AppendHex(u32 value) {
    char text[16];
    const u32 length = platform::FormatTo(text, sizeof text, "0x%08X", value);
    return Append(CClassicStringRef(text, length));
}

// ---------------------------------------------------------------------------------------------
// Text to numbers

bool CClassicString::ParseDecimal(i32& value) const {
    return ParseIntegerText(CompactNumberText(m_Text, m_Length), false, value);
}

bool CClassicString::ParseInteger(i32& value, bool hex) const {
    return ParseIntegerText(CompactNumberText(m_Text, m_Length), hex, value);
}

bool CClassicString::ParseFloat(f32& value) const {
    return ParseFloatText(CompactNumberText(m_Text, m_Length), value);
}

bool CClassicString::ParseLeadingFloat(f32& value) const {
    std::string_view text(m_Text, strnlen(m_Text, m_Length));
    while (!text.empty() && (IsBlank(text[0]) || text[0] == '\v' || text[0] == '\f'))
        text.remove_prefix(1);
    return ReadRealPrefix(text, value);
}

// ---------------------------------------------------------------------------------------------
// 8-bit conversions

void CClassicString::AppendWide(CClassicWideStringRef text) {
    const u32 n = TextLength(text);
    const u32 old = m_Length;
    const u32 length = ToLength(u64(old) + n);
    ReserveToAppend(length);
    SetLength(length);
    for (u32 i = 0; i < n; ++i)
        m_Text[old + i] = NarrowOf(text.m_Text[i]);
}

void CClassicString::AssignWide(CClassicWideStringRef text) {
    const u32 n = TextLength(text);
    char* p = PrepareText(*this, n);
    for (u32 i = 0; i < n; ++i)
        p[i] = NarrowOf(text.m_Text[i]);
}

void CClassicWideString::AppendNarrow(CClassicStringRef text) {
    const u32 old = m_Length;
    const u32 length = ToLength(u64(old) + text.m_Length);
    ReserveToAppend(length);
    SetLength(length);
    for (u32 i = 0; i < text.m_Length; ++i)
        m_Text[old + i] = WideOf(text.m_Text[i]);
}

CClassicWideString::CClassicWideString(CClassicStringRef text) {
    AssignFromNarrow(text);
}

void CClassicWideString::AssignFromNarrow(CClassicStringRef text) {
    if (BeginsWithBom(text)) {
        DecodeUtf8(text, *this);
        return;
    }
    char16_t* p = PrepareText(*this, text.m_Length);
    for (u32 i = 0; i < text.m_Length; ++i)
        p[i] = WideOf(text.m_Text[i]);
}

void CClassicWideString::ToNarrow(CClassicString& out) const {
    out.AssignWide(*this);
}

CClassicString CClassicWideString::GetNarrow() const {
    CClassicString narrow;
    ToNarrow(narrow);
    return narrow;
}

bool CClassicWideString::GetAscii(CClassicString& out) const {
    // One pass: room for the whole text, the copy ending at its first NUL.
    out.Reserve(m_Length, false);
    char* p = out.GetText();
    bool replaced = false;
    u32 n = 0;
    for (; n < m_Length && m_Text[n] != 0; ++n) {
        const bool ascii = m_Text[n] < 128;
        p[n] = ascii ? static_cast<char>(m_Text[n]) : '_';
        replaced = replaced || !ascii;
    }
    // Sets the NUL at n; where n is the old length, the NUL is there already.
    out.SetLength(n);
    return replaced;
}

i32 CClassicWideString::CompareNoCaseNarrow(CClassicStringRef text, u32 n) const {
    if (this == &g_ClassicWideStringScratch)
        return CompareNoCase(CClassicWideString(text), n);
    g_ClassicWideStringScratch.AssignFromNarrow(text);
    return CompareNoCase(g_ClassicWideStringScratch, n);
}

// ---------------------------------------------------------------------------------------------
// UTF-8

void CClassicWideString::AssignUtf8(CClassicStringRef text) {
    DecodeUtf8(text, *this);
}

void CClassicWideString::ToUtf8(CClassicString& out, bool bom) const {
    const u32 n = ClassicTextLength(m_Text, m_Length);
    EncodeUtf8(m_Text, n, bom && n > 0, out);
}

void CClassicWideString::ToNarrowUtf8(CClassicString& out) const {
    const u32 n = ClassicTextLength(m_Text, m_Length);
    bool beyondAscii = false;
    for (u32 i = 0; i < n && !beyondAscii; ++i)
        beyondAscii = m_Text[i] >= 128 && m_Text[i] != kByteOrderMark;
    EncodeUtf8(m_Text, n, beyondAscii, out);
}

// ---------------------------------------------------------------------------------------------
// URL encodings

void CClassicString::FormUrlEncode(bool stopAtNul) {
    UrlEncodeInPlace(*this, stopAtNul, UrlForm::Form);
}

void CClassicString::UrlEncode(bool stopAtNul) {
    UrlEncodeInPlace(*this, stopAtNul, UrlForm::Plain);
}

void CClassicWideString::UrlEncodeUtf8(CClassicString& out) const {
    const u32 n = ClassicTextLength(m_Text, m_Length);
    u64 length = 0;
    char utf8[3];
    for (u32 i = 0; i < n; ++i) {
        if (m_Text[i] == kByteOrderMark)
            continue;
        const char* end = PutUtf8(utf8, m_Text[i]);
        for (const char* b = utf8; b < end; ++b)
            length += UrlLength(static_cast<u8>(*b), UrlForm::Form);
    }
    char* p = PrepareText(out, ToLength(length));
    for (u32 i = 0; i < n; ++i) {
        if (m_Text[i] == kByteOrderMark)
            continue;
        const char* end = PutUtf8(utf8, m_Text[i]);
        for (const char* b = utf8; b < end; ++b)
            p = PutUrl(p, static_cast<u8>(*b), UrlForm::Form);
    }
}

bool CClassicString::KeepSafeChars(bool stopAtNul, char replacement) {
    const u32 end = stopAtNul ? ClassicTextLength(m_Text, m_Length) : m_Length;
    bool unchanged = true;
    u32 kept = 0;
    for (u32 i = 0; i < end; ++i) {
        const u8 c = static_cast<u8>(m_Text[i]);
        if (IsAlphaNumeric(c) || (c != 0 && std::strchr("%+-.@_", c))) {
            m_Text[kept++] = static_cast<char>(c);
        } else {
            unchanged = false;
            if (replacement)
                m_Text[kept++] = replacement;
        }
    }
    Truncate(kept);
    return unchanged;
}

// ---------------------------------------------------------------------------------------------
// Base 63

void CClassicString::SetBase63(const u8* bytes, u32 count) {
    std::vector<u8> number(bytes, bytes + count); // divided in place; the caller's bytes stay
    u32 top = count;
    while (top > 0 && number[top - 1] == 0)
        --top;
    // A number of n bytes has at most ceil(8n / log2(63)) = ceil(1.3384 n) digits; 67 / 50 is
    // just above that ratio.
    const u64 room = top == 0 ? 0 : u64(top) * 67 / 50 + 2;
    char* out = PrepareText(*this, ToLength(room));
    u32 written = 0;
    while (top > 0 && written < room) {
        u32 remainder = 0;
        for (u32 i = top; i-- > 0;) {
            const u32 v = (remainder << 8) | number[i];
            number[i] = static_cast<u8>(v / 63);
            remainder = v % 63;
        }
        out[written++] = kBase63Alphabet[remainder];
        while (top > 0 && number[top - 1] == 0)
            --top;
    }
    Truncate(written);
}

bool CClassicString::GetBase63(u8* bytes, u32& count) const {
    const u32 capacity = count;
    count = 0;
    if (capacity)
        std::memset(bytes, 0, capacity);
    const auto fail = [&] {
        if (capacity)
            std::memset(bytes, 0, capacity);
        return false;
    };
    u32 used = 0;
    for (u32 i = m_Length; i-- > 0;) {
        const i8 digit = kBase63Digits[static_cast<u8>(m_Text[i])];
        if (digit < 0)
            return fail();
        // number = number * 63 + digit, byte by byte from the least significant.
        u32 carry = u32(digit);
        for (u32 k = 0; k < used; ++k) {
            const u32 v = bytes[k] * 63u + carry;
            bytes[k] = static_cast<u8>(v);
            carry = v >> 8;
        }
        if (carry) {
            if (used == capacity)
                return fail();
            bytes[used++] = static_cast<u8>(carry);
        }
    }
    count = used;
    return true;
}
