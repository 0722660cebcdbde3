// Fuzzes the catalogue reader: the input is a .mo file. A refused file must leave the translator
// empty; a loaded one must answer every key it holds with its own message.
#include "core/base/ClassicLog.h"
#include "core/base/ClassicTranslator.h"

#include <cstdlib>

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

u32 Length(const char16_t* text) {
    u32 n = 0;
    while (text[n]) {
        ++n;
    }
    return n;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Lines are still composed, but not kept: the in-memory log would grow for the whole run.
    g_ClassicLog.m_PrimarySink = nullptr;
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
    if (!g_ClassicTranslator.LoadMo("fr", &stream, error)) {
        Check(error.GetLength() != 0);
        Check(g_ClassicTranslator.GetMessageCount() == 0);
        Check(g_ClassicTranslator.GetLanguageCode()[0] == 'x');
        Check(g_ClassicTranslator.FindMessage(u"|A|B") == -1);
        return 0;
    }
    Check(error.GetLength() == 0);
    const u32 count = g_ClassicTranslator.GetMessageCount();
    // Each message has two 8-byte table entries in the file.
    Check(count <= size / 8);
    for (u32 i = 0; i < count; ++i) {
        const char16_t* key = g_ClassicTranslator.GetKey(i);
        const i32 found = g_ClassicTranslator.FindMessage(key);
        // Duplicated keys answer with an earlier message holding the same key.
        Check(found >= 0 && u32(found) <= i);
        const char16_t* other = g_ClassicTranslator.GetKey(u32(found));
        Check(Length(other) == Length(key));
        Check(Length(g_ClassicTranslator.GetTranslation(i)) < size);
        g_ClassicTranslator.Translate(key);
    }
    g_ClassicTranslator.GetLanguageName();
    g_ClassicTranslator.Translate(u"|I18NInternal|Missing");
    g_ClassicTranslator.Unload();
    return 0;
}
