// Fuzzes the numbered-placeholder formatter with arbitrary formats, as catalogue translations
// give them.
//
// Input: a mode byte, then the format and up to three arguments separated by 0xFE bytes (up to
// 64 KB; run with -max_len=65536). The result is checked against a plain model of the rules,
// including the growth limit and an argument that is the destination itself. The model stops
// one character past the limit, as the formatter does, so a short format that repeats a long
// argument costs no more than the limit. The large buffers are kept from run to run, so that
// the growth-limit runs stay fast.
#include "FuzzCheck.h"
#include "core/base/ClassicString.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr size_t kLimit = 1u << 20;

// Appends up to the first NUL of s, keeping out at most `cap` characters long.
void AppendCapped(std::u16string& out, std::u16string_view s, size_t cap) {
    s = s.substr(0, std::min(s.size(), s.find(u'\0')));
    out.append(s.substr(0, std::min(s.size(), cap - out.size())));
}

// The expected output, cut at `cap` characters.
void Model(const std::u16string& format, const std::u16string* args, u32 argCount, size_t cap,
           std::u16string& out) {
    out.clear();
    const size_t length = std::min(format.size(), format.find(u'\0'));
    for (size_t i = 0; i < length && out.size() < cap; ++i) {
        const char16_t c = format[i];
        if (c != u'%') {
            out += c;
        } else if (++i < length) {
            const char16_t next = format[i];
            if (next == u'%')
                out += u'%';
            else if (next >= u'1' && next <= u'9' && u32(next - u'1') < argCount)
                AppendCapped(out, args[next - u'1'], cap);
            else if (next >= u'1' && next <= u'9')
                AppendCapped(out, u"<XXX>", cap);
        }
    }
}

CClassicWideStringRef Ref(const std::u16string& s) {
    return CClassicWideStringRef(s.data(), u32(s.size()));
}

std::u16string s_Format;
std::u16string s_Args[3];
std::u16string s_Expected;
std::string s_NarrowFormat;
CClassicWideString s_Out;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size == 0 || size > 65536)
        return 0;
    const u8 mode = data[0];
    const bool narrowFormat = mode & 4;
    const bool selfArgument = mode & 8;
    // Wide formats come with one or two arguments, narrow ones with one to three.
    const u32 argCount = narrowFormat ? 1 + mode % 3 : 1 + mode % 2;

    // The pieces, widened byte by byte.
    std::u16string* piece = &s_Format;
    s_Format.clear();
    for (std::u16string& a : s_Args)
        a.clear();
    for (size_t i = 1; i < size; ++i) {
        if (data[i] == 0xFE && piece != &s_Args[2])
            piece = piece == &s_Format ? &s_Args[0] : piece + 1;
        else
            *piece += char16_t(data[i]);
    }
    // Now and then a long argument, to reach the growth limit.
    if ((mode & 0xF0) == 0xF0)
        while (s_Args[0].size() < 220000) {
            s_Args[0] += u'x';
            s_Args[0].append(s_Args[0]);
        }

    s_Out.Assign(u"old destination text");
    if (selfArgument)
        s_Out.Assign(Ref(s_Args[0]));
    size_t estimate = s_Format.size();
    for (u32 k = 0; k < argCount; ++k)
        estimate += s_Args[k].size() > 2 ? s_Args[k].size() - 2 : 0;
    const size_t limit = std::max(estimate, kLimit);
    // One character past the limit tells a cut output from a complete one.
    Model(s_Format, s_Args, argCount, limit + 1, s_Expected);
    const bool complete = s_Expected.size() <= limit;
    s_Expected.resize(std::min(s_Expected.size(), limit));

    const CClassicWideStringRef first =
        selfArgument ? CClassicWideStringRef(s_Out) : Ref(s_Args[0]);
    bool ok;
    if (narrowFormat) {
        s_NarrowFormat.assign(s_Format.begin(), s_Format.end());
        const CClassicStringRef f(s_NarrowFormat.data(), u32(s_NarrowFormat.size()));
        ok = argCount == 1   ? s_Out.FormatNarrow1(f, first)
             : argCount == 2 ? s_Out.FormatNarrow2(f, first, Ref(s_Args[1]))
                             : s_Out.FormatNarrow3(f, first, Ref(s_Args[1]), Ref(s_Args[2]));
    } else {
        ok = argCount == 1 ? s_Out.Format1(Ref(s_Format), first)
                           : s_Out.Format2(Ref(s_Format), first, Ref(s_Args[1]));
    }
    FUZZ_CHECK(ok == complete);
    FUZZ_CHECK(s_Out.GetLength() == s_Expected.size());
    FUZZ_CHECK(std::memcmp(s_Out.GetText(), s_Expected.data(), s_Expected.size() * 2) == 0);
    FUZZ_CHECK(s_Out.GetText()[s_Out.GetLength()] == 0);
    return 0;
}
