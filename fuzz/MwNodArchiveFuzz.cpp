// Fuzzes the reading of chunked nod bodies and of archived member paths.
//
// The first byte chooses the encoding (bit 0: text) and what is read (bit 1: a member path,
// else the body of a small class with a plain, a skippable and a release-only chunk). Reading
// must end in a result or a stream exception, never in a fault, and a body read back must write
// again.
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "core/nod/MwMemberPath.h"

#include <cstdlib>

namespace {

class CFuzzNod : public CMwNod {
    MW_DECLARE_CLASS(CFuzzNod, CMwNod, 0x01F20000)
public:
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override {
        switch (chunkId) {
            case 0x01F20000:
                archive.SerializeUInts(&m_Value, 1);
                break;
            case 0x01F20001:
                archive.SerializeStrings(&m_Text, 1);
                archive.SerializeFloats(&m_Real, 1);
                break;
            case 0x01F20002:
                archive.SerializeWideStrings(&m_Wide, 1);
                break;
            default:
                Super::ArchiveChunk(archive, chunkId);
        }
    }

    u32 m_Value = 0;
    CClassicString m_Text;
    f32 m_Real = 0;
    CClassicWideString m_Wide;
};

#define CFUZZNOD_CHUNKS(X) X(0x01F20000, 3) X(0x01F20001, 0x13) X(0x01F20002, 7)
MW_DEFINE_CLASS(CFuzzNod, MwFactory<CFuzzNod>, MW_NO_MEMBERS, CFUZZNOD_CHUNKS);

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
    CClassicArchive archive;
    archive.SetBuffer(StreamOf(data + 1, size - 1));
    archive.m_Text = mode & 1;
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
    nod.Archive(archive);
    CClassicArchive writer;
    writer.SetBuffer(new CClassicBufferMemory);
    writer.m_Writing = 1;
    writer.m_Text = mode & 1;
    if (nod.Archive(writer) != 0)
        std::abort();
    return 0;
}
