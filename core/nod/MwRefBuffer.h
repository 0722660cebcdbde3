#pragma once
// CMwRefBuffer: an ordered list of nods that accepts only nods of one class (0 accepts any nod)
// and, unless told otherwise while empty, holds one counted reference on each entry. Whatever
// changes the list (Add, Insert, RemoveAt, RemoveNod, SetAt, ReleaseAll, a load, destruction,
// member paths) keeps exactly one reference per non-null entry while it holds references, and
// touches no count when it does not.
//
// Reflected as the member Nods (a ClassBuffer): read through the container descriptor, added to
// and removed from through this class's AddParamVirtual and SubParamVirtual, never set. Archived
// as chunk 0x01026000: the accepted class, the holds-references flag, the word 10, the count,
// then each nod as a nod reference of the archive.
#include "core/nod/MwNod.h"

class CMwRefBuffer : public CMwNod {
    MW_DECLARE_CLASS(CMwRefBuffer, CMwNod, 0x01026000)
public:
    static constexpr u32 s_NodsMemberId = 0x01026000;
    static constexpr u32 s_ChunkId = 0x01026000;
    // The most nods a stored buffer may hold; a larger stored count is a damaged file.
    static constexpr u32 s_MaxArchivedCount = 0x00100000;

    // Empty, holding references, accepting every CMwNod.
    CMwRefBuffer() = default;
    CMwRefBuffer(const CMwRefBuffer&) = delete;
    CMwRefBuffer& operator=(const CMwRefBuffer&) = delete;
    // Gives back every reference it holds.
    ~CMwRefBuffer() override;

    u32 GetCount() const { return m_FastBuffer.m_Count; }
    // The nod at a position; null past the count.
    CMwNod* GetNod(u32 position) const;
    // A nod the buffer takes: not null, and of the accepted class unless that is 0.
    bool Accepts(CMwNod* nod) const;

    // Appends the nod; a nod the buffer does not accept is dropped (false).
    bool Add(CMwNod* nod);
    // Inserts the nod before the entry at `position` (0 to the count; the count appends). False,
    // nothing done, for a nod it does not accept or a position past the count.
    bool Insert(CMwNod* nod, u32 position);
    // Takes out the entry at the position (later ones move down), then releases it. False,
    // nothing done, for a position at or past the count.
    bool RemoveAt(u32 position);
    // Replaces the entry at the position: the new nod's reference is taken before the old one's
    // is given back. False, nothing done, for a position at or past the count or a nod it does
    // not accept.
    bool SetAt(u32 position, CMwNod* nod);
    // Empties the list, releasing the entries in order.
    void ReleaseAll();
    // Removes the first entry equal to the nod; nothing when it is not listed.
    virtual void RemoveNod(CMwNod* nod);

    bool HoldsReferences() const { return m_HoldsReferences != 0; }
    u32 GetAcceptedClassId() const { return m_AcceptedClassId; }
    // Both are chosen while the list is empty (and by a load); false, nothing changed, otherwise.
    bool SetHoldsReferences(bool holds);
    bool SetAcceptedClassId(u32 classId);

    // Nods: with the path used up, Add appends the input nod and Sub removes the entry at the
    // u32 position the input points at. An element item (an index below the count, or a name)
    // hands the rest of the path to that nod's AddParam or SubParam. Always 0; an item that
    // chooses no element does nothing.
    u32 AddParamVirtual(CMwMemberPath* path, const void* value) override;
    u32 SubParamVirtual(CMwMemberPath* path, const void* value) override;
    // Reading replaces the whole list only once the chunk has been read completely; the stored
    // count is bounded by the bytes left, and stored nods of another class than the accepted one
    // are dropped with a log line.
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    CFastBuffer<CMwNod*> m_FastBuffer;

private:
    // Consumes the element item after the member: the nod it chooses, or null.
    CMwNod* TakeElement(CMwMemberPath* path);
    void ReadChunk(CClassicArchive& archive);
    void WriteChunk(CClassicArchive& archive);

    u32 m_HoldsReferences = 1;
    u32 m_AcceptedClassId = CMwNod::s_ClassId;
};
