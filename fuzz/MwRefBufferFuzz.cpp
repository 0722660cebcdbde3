// Fuzzes the reading of a reference buffer's chunked body.
//
// The first byte chooses the encoding (bit 0: text) and the buffer read into (bit 1: one that
// already holds nods; bit 2: one that holds no references). Nod references are u32 indices into a
// small table of nods of several classes (anything else reads as no nod). Reading must end in a
// result or a stream exception, never in a fault or a huge allocation; afterwards every table nod
// must hold exactly one reference per entry of a buffer that holds references, and the buffer read
// must write and read back to the same list.
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwClassInfoViewer.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "core/nod/MwRefBuffer.h"

#include <cstdlib>

namespace {

constexpr u32 kTableSize = 4;
// The table's nods; each keeps one reference of the table's own, so no buffer destroys them.
CMwNod* s_Table[kTableSize];

class CTableArchive : public CClassicArchive {
public:
    void ArchiveNodRef(CMwNod*& nod) override {
        u32 index = 0xFFFFFFFF;
        if (m_Writing) {
            for (u32 i = 0; i < kTableSize; ++i)
                if (s_Table[i] == nod)
                    index = i;
            WriteUInts(&index, 1);
            return;
        }
        ReadUInts(&index, 1);
        nod = index < kTableSize ? s_Table[index] : nullptr;
    }
};

u32 Occurrences(const CMwRefBuffer& buffer, const CMwNod* nod) {
    u32 count = 0;
    for (u32 i = 0; i < buffer.GetCount(); ++i)
        count += buffer.GetNod(i) == nod;
    return count;
}

// Every table nod holds the table's reference and one per entry of the buffers that hold them.
void CheckReferences(const CMwRefBuffer& a, const CMwRefBuffer& b) {
    for (CMwNod* nod : s_Table) {
        u32 expected = 1;
        if (a.HoldsReferences())
            expected += Occurrences(a, nod);
        if (b.HoldsReferences())
            expected += Occurrences(b, nod);
        if (nod->GetRefCount() != i32(expected))
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The log would keep every line of every run.
    g_ClassicLog.m_SuspendCount = 1;
    CMwIdTable::Create();
    CMwClassRegistry::AddClassList(g_MwCoreClassList);
    CMwClassRegistry::Init();
    s_Table[0] = new CMwNod;
    s_Table[1] = new CMwRefBuffer;
    s_Table[2] = new CMwClassInfoViewer;
    s_Table[3] = new CMwNod;
    for (CMwNod* nod : s_Table)
        nod->AddRef();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size < 1 || size > (1u << 20))
        return 0;
    const u8 mode = data[0];
    CTableArchive archive;
    auto* stream = new CClassicBufferMemory;
    stream->Write(data + 1, u32(size - 1));
    stream->Rewind();
    archive.SetBuffer(stream);
    archive.m_Text = mode & 1;

    CMwRefBuffer buffer;
    buffer.SetHoldsReferences((mode & 4) == 0);
    if (mode & 2) {
        buffer.Add(s_Table[0]);
        buffer.Add(s_Table[2]);
        buffer.Add(s_Table[0]);
    }
    try {
        buffer.Archive(archive);
    } catch (const CClassicBufferException&) {
        // A failed read leaves the buffer as it was, which must still write and read back.
    }
    CMwRefBuffer copy;
    CheckReferences(buffer, copy);

    // What was read writes and reads back the same.
    auto* written = new CClassicBufferMemory;
    archive.DetachBuffer(true);
    delete stream;
    archive.SetBuffer(written);
    archive.m_Writing = 1;
    buffer.Archive(archive);
    written->Rewind();
    archive.m_Writing = 0;
    if (copy.Archive(archive) != 0 || copy.GetCount() != buffer.GetCount() ||
        copy.HoldsReferences() != buffer.HoldsReferences() ||
        copy.GetAcceptedClassId() != buffer.GetAcceptedClassId())
        std::abort();
    for (u32 i = 0; i < copy.GetCount(); ++i)
        if (copy.GetNod(i) != buffer.GetNod(i))
            std::abort();
    CheckReferences(buffer, copy);
    return 0;
}
