#include "FuzzNod.h"

#include <cmath>
#include <cstring>
#include <memory>

#define CFUZZNOD_CHUNKS(X) X(0x01F20000, 3) X(0x01F20001, 0x13) X(0x01F20002, 7) X(0x01F20003, 3)
MW_DEFINE_CLASS(CFuzzNod, MwFactory<CFuzzNod>, MW_NO_MEMBERS, CFUZZNOD_CHUNKS);

CFuzzNod::~CFuzzNod() {
    delete m_Child;
}

void CFuzzNod::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    switch (chunkId) {
        case s_ValueChunk:
            archive.SerializeUInts(&m_Value, 1);
            break;
        case s_TextChunk:
            archive.SerializeStrings(&m_Text, 1);
            archive.SerializeFloats(&m_Real, 1);
            break;
        case s_WideChunk:
            archive.SerializeWideStrings(&m_Wide, 1);
            break;
        case s_ChildChunk: {
            u32 hasChild = m_Child != nullptr;
            archive.SerializeBools(&hasChild, 1);
            if (archive.m_Writing) {
                if (m_Child)
                    m_Child->Archive(archive);
                break;
            }
            // The child replaces the previous one only once its body was read whole.
            std::unique_ptr<CFuzzNod> child(hasChild ? new CFuzzNod : nullptr);
            if (child)
                child->Archive(archive);
            delete m_Child;
            m_Child = child.release();
            break;
        }
        default:
            Super::ArchiveChunk(archive, chunkId);
    }
}

CClassicBufferMemory* WriteFuzzBody(CFuzzNod& nod, bool text, bool release) {
    CClassicArchive writer;
    writer.SetBuffer(new CClassicBufferMemory);
    writer.m_Writing = 1;
    writer.m_Text = text;
    writer.m_Release = release;
    if (nod.Archive(writer) != 0)
        __builtin_trap();
    return static_cast<CClassicBufferMemory*>(writer.DetachBuffer(true));
}

void ClearNonFiniteReals(CFuzzNod& nod) {
    for (CFuzzNod* level = &nod; level; level = level->m_Child)
        if (!std::isfinite(level->m_Real))
            level->m_Real = 0;
}

CClassicBufferMemory* CheckFuzzRoundTrip(CFuzzNod& nod, bool text, bool release) {
    std::unique_ptr<CClassicBufferMemory> first(WriteFuzzBody(nod, text, release));
    CClassicArchive reader;
    auto* copy = new CClassicBufferMemory;
    copy->Write(first->GetData(), first->GetSize());
    copy->Rewind();
    reader.SetBuffer(copy);
    reader.m_Text = text;
    CFuzzNod fresh;
    try {
        if (fresh.Archive(reader) != 0)
            __builtin_trap();
    } catch (const CClassicBufferException&) {
        __builtin_trap();
    }
    // The whole body was read, to its end tag.
    if (copy->GetPosition() != copy->GetSize())
        __builtin_trap();
    std::unique_ptr<CClassicBufferMemory> second(WriteFuzzBody(fresh, text, release));
    if (!first->IsSameData(*second))
        __builtin_trap();
    return first.release();
}
