// Fuzzes the chained road a stored body takes: an enciphered stream, an LZO block read from
// it, and the chunked body of a nod (CFuzzNod, whose inline children nest bodies) read from
// the block.
//
// The first byte chooses the encoding of the body (bit 0: text), the password (bit 1: "fuzz",
// else none, which stands for the default one) and the release flag of the writes (bit 2); the
// rest is the enciphered file. Reading must end in a refusal, a result or a stream exception,
// never in a fault. What was read is then sent down the road the other way (body, LZO block,
// enciphered stream) and read back up: the block must give back the body's bytes, and the nod
// read from it must write the same bytes again.
#include "FuzzNod.h"
#include "core/base/ClassicBufferCipher.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "platform/Crt.h"

#include <memory>

namespace {

// Reads one LZO block from an enciphered file held in `file`; null when any step refuses it.
CClassicBufferMemory* ReadBlock(CClassicBufferMemory& file, const char* password) {
    CClassicBufferCipher cipher;
    if (!cipher.OpenForReading(&file, password))
        return nullptr;
    try {
        return cipher.ReadLzoBlock();
    } catch (const CClassicBufferException&) {
        return nullptr;
    }
}

// Reads the nod's body from the block (which stays the caller's); false when the read failed.
// The nod then keeps what was read before the failure.
bool ReadBody(CFuzzNod& nod, CClassicBufferMemory* block, bool text) {
    CClassicArchive archive;
    archive.SetBuffer(block);
    archive.m_Text = text;
    bool read = true;
    try {
        if (nod.Archive(archive) != 0)
            __builtin_trap();
    } catch (const CClassicBufferException&) {
        read = false;
    }
    if (archive.GetBodyDepth() != 0)
        __builtin_trap();
    archive.DetachBuffer(true);
    return read;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The log would keep every line of every run.
    g_ClassicLog.m_SuspendCount = 1;
    CMwIdTable::Create();
    CMwClassRegistry::AddClassList(g_MwCoreClassList);
    CMwClassRegistry::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size < 1 || size > (1u << 20))
        return 0;
    const u8 mode = data[0];
    const bool text = mode & 1;
    const bool release = mode & 4;
    const char* password = mode & 2 ? "fuzz" : nullptr;

    CClassicBufferMemory file;
    file.Write(data + 1, u32(size - 1));
    file.Rewind();
    CClassicPooledBuffer block(ReadBlock(file, password));
    if (!block.Get())
        return 0;
    CFuzzNod nod;
    ReadBody(nod, block.Get(), text);
    if (text)
        ClearNonFiniteReals(nod);
    std::unique_ptr<CClassicBufferMemory> body(CheckFuzzRoundTrip(nod, text, release));

    // Down the road and back up.
    platform::RandomSetState(u32(size));
    CClassicBufferMemory stored;
    CClassicBufferCipher cipher;
    if (!cipher.Open(&stored, true, 0, password) || !cipher.WriteLzoBlock(*body))
        __builtin_trap();
    stored.Rewind();
    CClassicPooledBuffer again(ReadBlock(stored, password));
    if (!again.Get() || !again->IsSameData(*body))
        __builtin_trap();
    CFuzzNod copy;
    if (!ReadBody(copy, again.Get(), text))
        __builtin_trap();
    std::unique_ptr<CClassicBufferMemory> rewritten(WriteFuzzBody(copy, text, release));
    if (!rewritten->IsSameData(*body))
        __builtin_trap();
    return 0;
}
