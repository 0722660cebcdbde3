// Fuzzes the 8-bit, UTF-8 and URL conversions of the engine strings.
//
// The input is read three ways: as narrow bytes (UTF-8 decoding, per-byte widening, in-place
// URL encodings, KeepSafeChars) and as little-endian 16-bit units (UTF-8 encoding and the
// UTF-8 URL form). Each result is checked against what the conversion promises.
#include "FuzzCheck.h"
#include "core/base/ClassicString.h"
#include "platform/Endian.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool Same(const CClassicWideString& a, const CClassicWideString& b) {
    return a.GetLength() == b.GetLength() &&
           std::memcmp(a.GetText(), b.GetText(), a.GetLength() * sizeof(char16_t)) == 0;
}

bool IsAlphaNumeric(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1; // upper-case hex is never written
}

// Undoes FormUrlEncode; aborts on anything the encoder never writes.
std::string FormUrlDecode(const CClassicString& s) {
    std::string out;
    for (u32 i = 0; i < s.GetLength(); ++i) {
        const char c = s[i];
        if (c == '%') {
            FUZZ_CHECK(i + 2 < s.GetLength());
            const int hi = HexValue(s[i + 1]), lo = HexValue(s[i + 2]);
            FUZZ_CHECK(hi >= 0 && lo >= 0);
            const char decoded = char(hi * 16 + lo);
            FUZZ_CHECK(decoded == 0 || (!IsAlphaNumeric(decoded) && !std::strchr("-._ ", decoded)));
            out += decoded;
            i += 2;
        } else if (c == '+') {
            out += ' ';
        } else {
            FUZZ_CHECK(IsAlphaNumeric(c) || (c != 0 && std::strchr("-._", c)));
            out += c;
        }
    }
    return out;
}

void CheckNarrowForms(const char* data, u32 size) {
    const CClassicStringRef bytes(data, size);
    const bool bom = size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0;
    u32 untilNul = 0;
    while (untilNul < size && data[untilNul])
        ++untilNul;

    // Decoding yields no NUL and no U+FEFF, never more units than bytes, and is stable through
    // the storage form.
    CClassicWideString wide;
    wide.AssignUtf8(bytes);
    FUZZ_CHECK(wide.GetLength() <= untilNul);
    for (u32 i = 0; i < wide.GetLength(); ++i)
        FUZZ_CHECK(wide[i] != 0 && wide[i] != 0xFEFF);
    CClassicString stored;
    wide.ToNarrowUtf8(stored);
    CClassicWideString back;
    back.AssignFromNarrow(stored);
    FUZZ_CHECK(Same(back, wide));
    wide.ToUtf8(stored, false);
    back.AssignUtf8(stored);
    FUZZ_CHECK(Same(back, wide));

    // Without a BOM every byte is one character, and the 8-bit copy gives the bytes back.
    back.AssignFromNarrow(bytes);
    if (!bom) {
        FUZZ_CHECK(back.GetLength() == size);
        for (u32 i = 0; i < size; ++i)
            FUZZ_CHECK(back[i] == u8(data[i]));
        back.ToNarrow(stored);
        FUZZ_CHECK(stored.GetLength() == untilNul);
        for (u32 i = 0; i < untilNul; ++i)
            FUZZ_CHECK(stored[i] == (u8(data[i]) == 0xFF ? '_' : data[i]));
    }

    // The form encoding decodes back to the text after the BOM up to its first NUL.
    const u32 start = bom ? 3 : 0;
    const std::string body(data + start, untilNul > start ? untilNul - start : 0);
    CClassicString form(bytes);
    form.FormUrlEncode(true);
    FUZZ_CHECK(FormUrlDecode(form) == body);
    CClassicString plain(bytes);
    plain.UrlEncode(true);
    FUZZ_CHECK(plain.GetLength() >= body.size());
    for (u32 i = 0; i < plain.GetLength(); ++i)
        FUZZ_CHECK(IsAlphaNumeric(plain[i]) || std::strchr("#%&+,-./:=?@_", plain[i]));
    plain.Assign(bytes);
    plain.UrlEncode(false);
    form.Assign(bytes);
    form.FormUrlEncode(false);
    FormUrlDecode(form);

    CClassicString safe(bytes);
    const bool unchanged = safe.KeepSafeChars(true, 0);
    FUZZ_CHECK(safe.GetLength() <= untilNul);
    FUZZ_CHECK(unchanged == (safe.GetLength() == untilNul));
    for (u32 i = 0; i < safe.GetLength(); ++i)
        FUZZ_CHECK(IsAlphaNumeric(safe[i]) || std::strchr("%+-.@_", safe[i]));
}

void CheckWideForms(const u8* data, u32 size) {
    std::u16string units;
    for (u32 i = 0; i + 1 < size; i += 2)
        units += char16_t(platform::LoadU16Le(data + i));
    const CClassicWideString wide(CClassicWideStringRef(units.data(), u32(units.size())));
    // The expected decoded text: up to the first NUL, U+FEFF left out. (Built whole: the engine
    // string grows to the exact length asked, so appending one character at a time would take
    // time in the square of the length.)
    std::u16string kept;
    for (char16_t c : units) {
        if (c == 0)
            break;
        if (c != 0xFEFF)
            kept += c;
    }
    const CClassicWideString expected(CClassicWideStringRef(kept.data(), u32(kept.size())));
    CClassicString utf8;
    wide.ToUtf8(utf8, true);
    CClassicWideString back;
    back.AssignFromNarrow(utf8);
    FUZZ_CHECK(Same(back, expected));
    wide.ToNarrowUtf8(utf8);
    back.AssignFromNarrow(utf8);
    FUZZ_CHECK(Same(back, expected));

    // The UTF-8 URL form is the form encoding of the UTF-8 text.
    CClassicString encoded;
    wide.UrlEncodeUtf8(encoded);
    wide.ToUtf8(utf8, false);
    utf8.FormUrlEncode(true);
    FUZZ_CHECK(encoded.GetLength() == utf8.GetLength() &&
               std::memcmp(encoded.GetText(), utf8.GetText(), utf8.GetLength()) == 0);

    CClassicString ascii;
    const bool replaced = wide.GetAscii(ascii);
    bool any = false;
    for (u32 i = 0; i < ascii.GetLength(); ++i)
        any = any || (ascii[i] == '_' && units[i] != u'_');
    FUZZ_CHECK(replaced == any);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size > (1u << 16))
        return 0;
    CheckNarrowForms(reinterpret_cast<const char*>(data), u32(size));
    CheckWideForms(data, u32(size));
    return 0;
}
