// Fuzzes the catalogue reader: the input is a .mo file (real catalogues run to tens of
// kilobytes; run with -max_len=65536). A refused file must leave the translator empty and log
// nothing; a loaded one must answer every key it holds with the first message of that key.
#include "FuzzCheck.h"
#include "core/base/ClassicLog.h"
#include "core/base/ClassicTranslator.h"

#include <cstdlib>
#include <ostream>
#include <streambuf>

namespace {

u32 Length(const char16_t* text) {
    u32 n = 0;
    while (text[n]) {
        ++n;
    }
    return n;
}

bool SameText(const char16_t* a, const char16_t* b) {
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// The log's primary sink: counts the characters written, keeps none of them (the in-memory log
// would grow for the whole run).
class CCountingBuf : public std::streambuf {
public:
    u64 m_Written = 0;

protected:
    int_type overflow(int_type c) override {
        ++m_Written;
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char*, std::streamsize n) override {
        m_Written += u64(n);
        return n;
    }
};

CCountingBuf s_LogBuf;
std::ostream s_LogSink(&s_LogBuf);

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_ClassicLog.m_PrimarySink = &s_LogSink;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size > 1u << 20) {
        return 0;
    }
    CClassicBufferMemory stream;
    stream.Write(data, u32(size));
    stream.Rewind();
    CClassicString error;
    const u64 logged = s_LogBuf.m_Written;
    if (!g_ClassicTranslator.LoadMo("fr", &stream, error)) {
        // A refusal is reported through the result and the error text alone.
        FUZZ_CHECK(s_LogBuf.m_Written == logged);
        FUZZ_CHECK(error.GetLength() != 0);
        FUZZ_CHECK(g_ClassicTranslator.GetMessageCount() == 0);
        FUZZ_CHECK(g_ClassicTranslator.GetLanguageCode()[0] == 'x');
        FUZZ_CHECK(g_ClassicTranslator.FindMessage(u"|A|B") == -1);
        return 0;
    }
    FUZZ_CHECK(error.GetLength() == 0);
    const u32 count = g_ClassicTranslator.GetMessageCount();
    // Each message has two 8-byte table entries in the file.
    FUZZ_CHECK(count <= size / 8 && count <= kClassicTranslatorMaxMessages);
    for (u32 i = 0; i < count; ++i) {
        const char16_t* key = g_ClassicTranslator.GetKey(i);
        const i32 found = g_ClassicTranslator.FindMessage(key);
        // Duplicated keys answer with an earlier message holding the same key.
        FUZZ_CHECK(found >= 0 && u32(found) <= i);
        FUZZ_CHECK(SameText(g_ClassicTranslator.GetKey(u32(found)), key));
        FUZZ_CHECK(Length(g_ClassicTranslator.GetTranslation(i)) < size);
        g_ClassicTranslator.Translate(key);
    }
    g_ClassicTranslator.GetLanguageName();
    g_ClassicTranslator.Translate(u"|I18NInternal|Missing");
    g_ClassicTranslator.Unload();
    return 0;
}
