// Fuzzes the reading of chunked nod bodies and of archived member paths.
//
// The first byte chooses the encoding (bit 0: text), what is read (bit 1: a member path, else
// the body of CFuzzNod, whose inline children nest bodies) and, for bodies, the release flag of
// the writes (bit 2). Reading must end in a result or a stream exception, never in a fault. What
// was read, whole or up to the failure, is then written, read back into a fresh nod and written
// again: both writes must be the same bytes.
#include "FuzzNod.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "core/nod/MwMemberPath.h"

#include <cstdlib>

namespace {

CClassicBufferMemory* StreamOf(const u8* data, size_t size) {
    CClassicBufferMemory* stream = new CClassicBufferMemory;
    stream->Write(data, static_cast<u32>(size));
    stream->Rewind();
    return stream;
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
    CClassicArchive archive;
    archive.SetBuffer(StreamOf(data + 1, size - 1));
    archive.m_Text = text;
    if (mode & 2) {
        CMwMemberPath path;
        try {
            path.Archive(archive);
        } catch (const CClassicBufferException&) {
            return 0;
        }
        if (path.m_Count > CMwMemberPath::s_MaxArchivedItems)
            std::abort();
        return 0;
    }
    CFuzzNod nod;
    try {
        if (nod.Archive(archive) != 0)
            __builtin_trap();
    } catch (const CClassicBufferException&) {
        // The failure reaches the caller; the nod keeps what was read before it.
    }
    if (archive.GetBodyDepth() != 0)
        __builtin_trap();
    if (text)
        ClearNonFiniteReals(nod);
    delete CheckFuzzRoundTrip(nod, text, mode & 4);
    return 0;
}
