// Fuzzes text files and the define scan of GPU programs: the input is read as an enciphered
// ".cry" file and as a plain file (memory streams), each loaded text is scanned for "DZun"
// defines by a scripted pixel program, and each non-empty text is enciphered and read back.
//
// A read ends loaded or failed (a failure leaves the text as it was), never in a fault, a hang
// or an allocation past the text limit; the round trip gives the same text; every nod made for
// an input is gone after it.
#include "FuzzCheck.h"
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "plug/PlugClasses.h"
#include "plug/gpu/PlugFileText.h"
#include "system/SystemClasses.h"
#include "tests/plug/gpu/TestGpuPrograms.h"

#include <cstring>

namespace {

// Texts above this are refused: LZO blocks of a few hundred KB can decode to far more.
constexpr u32 kFuzzTextLimit = 4u << 20;

bool SameText(const CClassicString& a, const CClassicString& b) {
    return a.GetLength() == b.GetLength() &&
           std::memcmp(a.GetText(), b.GetText(), a.GetLength()) == 0;
}

// Scans the text for defines, then enciphers it and reads it back.
void ScanAndRoundTrip(const CClassicString& text) {
    CMwNodRef program(new CTestGpuProgramP);
    auto& pixel = *static_cast<CTestGpuProgramP*>(program.Get());
    pixel.m_Script.Know({"DZunA", "DZunLightDir", "DZunFog"});
    pixel.m_Text = text;
    pixel.CollectDefines();
    FUZZ_CHECK(pixel.m_Defines.size() <= 3);
    if (text.IsEmpty())
        return;
    CClassicBufferMemory cry;
    FUZZ_CHECK(pixel.WriteCry(cry));
    cry.Rewind();
    CMwNodRef back(new CPlugFileText);
    auto& reread = *static_cast<CPlugFileText*>(back.Get());
    FUZZ_CHECK(reread.ReadCry(cry) == i32(text.GetLength()));
    FUZZ_CHECK(SameText(reread.m_Text, text));
}

// Reads the bytes through `read`; a failed read leaves the text as it was.
template <class Read>
void ReadAndFUZZ_CHECK(const u8* data, size_t size, Read read) {
    CMwNodRef nod(new CPlugFileText);
    auto& text = *static_cast<CPlugFileText*>(nod.Get());
    text.m_Text.Assign("before");
    CClassicBufferMemory stream;
    stream.Write(data, u32(size));
    stream.Rewind();
    if (read(text, stream) == 0) {
        FUZZ_CHECK(text.m_Text.Compare("before") == 0);
        return;
    }
    FUZZ_CHECK(text.m_Text.GetLength() <= kFuzzTextLimit);
    ScanAndRoundTrip(text.m_Text);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The log would keep every line of every run.
    g_ClassicLog.m_SuspendCount = 1;
    CMwIdTable::Create();
    CMwClassRegistry::AddClassList(g_MwCoreClassList);
    CMwClassRegistry::AddClassList(g_SystemClassList);
    CMwClassRegistry::AddClassList(g_PlugClassList);
    CMwClassRegistry::AddClassList(g_TestGpuProgramClassList);
    CMwClassRegistry::Init();
    CPlugFileText::SetTextLimit(kFuzzTextLimit);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size > (1u << 22))
        return 0;
    const u32 before = CMwNod::GetLiveNodCount();
    ReadAndFUZZ_CHECK(data, size, [](CPlugFileText& text, CClassicBuffer& stream) {
        return text.ReadCry(stream);
    });
    ReadAndFUZZ_CHECK(data, size, [](CPlugFileText& text, CClassicBuffer& stream) {
        return text.ReadFromStream(stream);
    });
    FUZZ_CHECK(CMwNod::GetLiveNodCount() == before);
    return 0;
}
