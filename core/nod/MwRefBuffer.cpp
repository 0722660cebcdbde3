#include "core/nod/MwRefBuffer.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwVirtualMember.h"

#include <cstring>
#include <utility>

#define CMWREFBUFFER_MEMBERS(X)                                                                    \
    X(Buffer, 0x01026000, "Nods", MW_FIELD(m_FastBuffer), "Nods", 0xCD, 0x3F82, MwType_Class, 0xF, \
      "Nod", &CMwNod::s_ClassInfo)
#define CMWREFBUFFER_CHUNKS(X) X(0x01026000, 3)

MW_DEFINE_CLASS(CMwRefBuffer, MwFactory<CMwRefBuffer>, CMWREFBUFFER_MEMBERS, CMWREFBUFFER_CHUNKS);

namespace {

// The word written between the flag and the count; read and ignored.
constexpr u32 kStoredWord = 10;

// A block of nod pointers freed when it goes out of scope (CFastBuffer frees only on request).
struct CNodBlock {
    CNodBlock() = default;
    CNodBlock(const CNodBlock&) = delete;
    CNodBlock& operator=(const CNodBlock&) = delete;
    ~CNodBlock() { m_Nods.FreeItems(); }

    CFastBuffer<CMwNod*> m_Nods;
};

} // namespace

CMwRefBuffer::~CMwRefBuffer() {
    ReleaseAll();
}

CMwNod* CMwRefBuffer::GetNod(u32 position) const {
    return position < m_FastBuffer.m_Count ? m_FastBuffer.m_Items[position] : nullptr;
}

bool CMwRefBuffer::Accepts(CMwNod* nod) const {
    return nod && (m_AcceptedClassId == 0 || nod->IsKindOf(m_AcceptedClassId));
}

bool CMwRefBuffer::Add(CMwNod* nod) {
    return Insert(nod, m_FastBuffer.m_Count);
}

bool CMwRefBuffer::Insert(CMwNod* nod, u32 position) {
    if (!Accepts(nod) || position > m_FastBuffer.m_Count)
        return false;
    // Room first: once the reference is taken nothing may fail.
    m_FastBuffer.Reserve(m_FastBuffer.m_Count + 1);
    if (m_HoldsReferences)
        nod->AddRef();
    CMwNod** items = m_FastBuffer.m_Items;
    for (u32 i = m_FastBuffer.m_Count; i > position; --i)
        items[i] = items[i - 1];
    items[position] = nod;
    ++m_FastBuffer.m_Count;
    return true;
}

bool CMwRefBuffer::RemoveAt(u32 position) {
    if (position >= m_FastBuffer.m_Count)
        return false;
    CMwNod** items = m_FastBuffer.m_Items;
    CMwNod* nod = items[position];
    for (u32 i = position + 1; i < m_FastBuffer.m_Count; ++i)
        items[i - 1] = items[i];
    --m_FastBuffer.m_Count;
    // Released once it has left the list: its destruction may look at the list.
    if (m_HoldsReferences && nod)
        nod->Release();
    return true;
}

bool CMwRefBuffer::SetAt(u32 position, CMwNod* nod) {
    if (position >= m_FastBuffer.m_Count || !Accepts(nod))
        return false;
    // The new reference first, so that storing the nod already there never lets it go.
    if (m_HoldsReferences)
        nod->AddRef();
    CMwNod* old = std::exchange(m_FastBuffer.m_Items[position], nod);
    if (m_HoldsReferences && old)
        old->Release();
    return true;
}

void CMwRefBuffer::ReleaseAll() {
    // The list is emptied before the first release, so that no entry is ever left without its
    // reference, whatever the released nods do.
    CNodBlock old;
    std::swap(old.m_Nods, m_FastBuffer);
    if (!m_HoldsReferences)
        return;
    for (u32 i = 0; i < old.m_Nods.m_Count; ++i)
        if (CMwNod* nod = old.m_Nods.m_Items[i])
            nod->Release();
}

void CMwRefBuffer::RemoveNod(CMwNod* nod) {
    for (u32 i = 0; i < m_FastBuffer.m_Count; ++i) {
        if (m_FastBuffer.m_Items[i] == nod) {
            RemoveAt(i);
            return;
        }
    }
}

bool CMwRefBuffer::SetHoldsReferences(bool holds) {
    if (m_FastBuffer.m_Count != 0)
        return false;
    m_HoldsReferences = holds ? 1 : 0;
    return true;
}

bool CMwRefBuffer::SetAcceptedClassId(u32 classId) {
    if (m_FastBuffer.m_Count != 0)
        return false;
    m_AcceptedClassId = classId;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Adding and removing along member paths

CMwNod* CMwRefBuffer::TakeElement(CMwMemberPath* path) {
    u32 position = 0;
    switch (path->GetCurrentKind()) {
        case MwPathItem_Index:
            path->TakeIndex(&position);
            return GetNod(position);
        case MwPathItem_Name:
            if (path->FindNodByName(&position, m_FastBuffer.m_Items, m_FastBuffer.m_Count) !=
                MwParam_Ok)
                return nullptr;
            return GetNod(position);
        default:
            return nullptr;
    }
}

u32 CMwRefBuffer::AddParamVirtual(CMwMemberPath* path, const void* value) {
    return MwAddParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId != s_NodsMemberId)
            return MwNotOwnMember;
        if (!path->HasCurrent()) {
            Add(static_cast<CMwNod*>(const_cast<void*>(value)));
            return MwParam_Ok;
        }
        CMwNod* element = TakeElement(path);
        if (element && path->HasCurrent())
            element->AddParam(path, value);
        return MwParam_Ok;
    });
}

u32 CMwRefBuffer::SubParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSubParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId != s_NodsMemberId)
            return MwNotOwnMember;
        if (!path->HasCurrent()) {
            u32 position = 0;
            if (value) {
                std::memcpy(&position, value, sizeof position);
                RemoveAt(position);
            }
            return MwParam_Ok;
        }
        CMwNod* element = TakeElement(path);
        if (element && path->HasCurrent())
            element->SubParam(path, value);
        return MwParam_Ok;
    });
}

// ---------------------------------------------------------------------------------------------
// The chunk

void CMwRefBuffer::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId != s_ChunkId)
        return Super::ArchiveChunk(archive, chunkId);
    if (archive.m_Writing)
        WriteChunk(archive);
    else
        ReadChunk(archive);
}

void CMwRefBuffer::WriteChunk(CClassicArchive& archive) {
    const u32 header[4] = {m_AcceptedClassId, m_HoldsReferences, kStoredWord, m_FastBuffer.m_Count};
    archive.WriteUInts(&header[0], 1);
    archive.WriteBools(&header[1], 1);
    archive.WriteUInts(&header[2], 2);
    for (u32 i = 0; i < m_FastBuffer.m_Count; ++i) {
        CMwNod* nod = m_FastBuffer.m_Items[i];
        archive.ArchiveNodRef(nod);
    }
}

void CMwRefBuffer::ReadChunk(CClassicArchive& archive) {
    u32 accepted = 0, holds = 0, words[2] = {};
    archive.ReadUInts(&accepted, 1);
    archive.ReadBools(&holds, 1);
    archive.ReadUInts(words, 2);
    const u32 count = words[1];
    // Every stored reference takes at least one byte.
    archive.CheckReadSize(count, s_MaxArchivedCount);

    // The stored nods are gathered apart: a stream that ends inside them leaves the list as it
    // was.
    CNodBlock read;
    read.m_Nods.Reserve(count);
    u32 refused = 0;
    for (u32 i = 0; i < count; ++i) {
        CMwNod* nod = nullptr;
        if (holds)
            archive.ArchiveHeldNodRef(nod);
        else
            archive.ArchiveNodRef(nod);
        if (nod && accepted != 0 && !nod->IsKindOf(accepted)) {
            ++refused;
            continue;
        }
        read.m_Nods.m_Items[read.m_Nods.m_Count++] = nod;
    }
    if (refused != 0)
        ClassicLogFormatLine("[MwRefBuffer] %u stored nods are not of the accepted class 0x%08X: "
                             "dropped",
                             refused, accepted);

    // The new entries take their references before the old ones give theirs back, so that a nod
    // found in both never reaches 0 on the way.
    if (holds)
        for (u32 i = 0; i < read.m_Nods.m_Count; ++i)
            if (CMwNod* nod = read.m_Nods.m_Items[i])
                nod->AddRef();
    const u32 heldBefore = m_HoldsReferences;
    std::swap(read.m_Nods, m_FastBuffer);
    m_AcceptedClassId = accepted;
    m_HoldsReferences = holds ? 1 : 0;
    if (heldBefore)
        for (u32 i = 0; i < read.m_Nods.m_Count; ++i)
            if (CMwNod* nod = read.m_Nods.m_Items[i])
                nod->Release();
}
