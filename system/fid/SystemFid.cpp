#include "system/fid/SystemFid.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwVirtualMember.h"
#include "platform/Endian.h"
#include "system/fid/SystemFidLinks.h"
#include "system/fid/SystemFidNumberMap.h"
#include "system/fid/SystemFids.h"

#include <cstring>
#include <vector>

#define CSYSTEMFID_MEMBERS(X)                                                                      \
    X(Class, 0x0B008000, "m_Nod", MW_FIELD(m_Nod), "Nod", 0x01, 0x3FA0, &CMwNod::s_ClassInfo, 0)   \
    X(Bool, 0x0B008001, "Text", MW_VIRTUAL(""), "Is text", 0x33, 0x380)                            \
    X(Bool, 0x0B008002, "Compressed", MW_VIRTUAL(""), "Is compressed", 0x33, 0x380)

MW_DEFINE_CLASS(CSystemFid, MwFactory<CSystemFid>, CSYSTEMFID_MEMBERS, MW_NO_CHUNKS);

namespace {

// Removes the first entry equal to the file id; the last entry takes its place.
void RemoveFid(CFastBuffer<CSystemFid*>& list, CSystemFid* fid) {
    for (u32 i = 0; i < list.m_Count; ++i) {
        if (list.m_Items[i] == fid) {
            list.FastRemove(i, 1);
            return;
        }
    }
}

bool Contains(const CFastBuffer<CSystemFid*>& list, const CSystemFid* fid) {
    for (u32 i = 0; i < list.m_Count; ++i)
        if (list.m_Items[i] == fid)
            return true;
    return false;
}

// True when the blob's size is exactly what its pairs say: 4 + 8 x count + the chunk sizes, for
// at least one pair (a blob without pairs is stored as size 0).
bool IsWellFormedBlob(const u8* blob, u32 size) {
    if (size < 4)
        return false;
    const u32 count = platform::LoadU32Le(blob);
    if (count == 0 || count > (size - 4) / 8)
        return false;
    u64 expected = 4 + u64(8) * count;
    for (u32 i = 0; i < count; ++i)
        expected += platform::LoadU32Le(blob + 4 + 8 * i + 4);
    return expected == size;
}

// Lends a stream to an archive for the length of a scope; the archive never deletes it.
class CLentStream {
public:
    CLentStream(CClassicArchive& archive, CClassicBuffer* stream) : m_Archive(archive) {
        m_Archive.SetBuffer(stream);
    }
    ~CLentStream() { m_Archive.DetachBuffer(false); }
    CLentStream(const CLentStream&) = delete;
    CLentStream& operator=(const CLentStream&) = delete;

private:
    CClassicArchive& m_Archive;
};

} // namespace

CSystemFid::CSystemFid() : m_ParamSet(CSystemParamSet::s_Default) {}

CSystemFid::~CSystemFid() {
    if (m_Master)
        RemoveFid(m_Master->m_Aliases, this);
    // Aliases left behind stand for themselves from now on, instead of naming a freed master.
    for (u32 i = 0; i < m_Aliases.m_Count; ++i)
        if (m_Aliases.m_Items[i]->m_Master == this)
            m_Aliases.m_Items[i]->m_Master = nullptr;
    if (CMwNod* nod = m_Nod) {
        nod->RemoveDependantIfPresent(this);
        ClearNod(nod);
    }
    if (m_Folder)
        m_Folder->RemoveLeaf(this);
    FidNumberMapSet(this, 0);
    m_Aliases.FreeItems();
}

// ---------------------------------------------------------------------------------------------
// The binding

void CSystemFid::SetNod(CMwNod* nod) {
    if (nod == m_Nod) {
        if (nod)
            nod->m_Fid = this;
        return;
    }
    // The nod bound before would otherwise keep this file id as a dependant after it is gone.
    if (CMwNod* old = m_Nod) {
        old->RemoveDependantIfPresent(this);
        ClearNod(old);
    }
    m_Nod = nod;
    if (nod) {
        nod->AddDependant(this);
        nod->m_Fid = this;
    }
}

CMwNod* CSystemFid::ClearNod(CMwNod* nod) {
    if (!nod)
        return nullptr;
    // Each side lets go only of a link to the other: a nod bound to another file id since then
    // keeps that binding.
    if (m_Nod == nod)
        m_Nod = nullptr;
    if (nod->m_Fid == this)
        nod->m_Fid = nullptr;
    return nod;
}

void CSystemFid::OnDependencyDestroyed(CMwNod* nod) {
    if (nod == m_Nod)
        ClearNod(nod);
    else
        Super::OnDependencyDestroyed(nod);
}

void CSystemFid::OnDependencyReleased(CMwNod* nod) {
    if (nod != m_Nod)
        return Super::OnDependencyReleased(nod);
    ClearNod(nod);
    nod->RemoveDependantAndRelease(this);
}

// ---------------------------------------------------------------------------------------------
// Members

u32 CSystemFid::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        switch (member.MemberId) {
            case s_TextMemberId:
                return MwAnswerValue(out, u32(IsText()));
            case s_CompressedMemberId:
                return MwAnswerValue(out, u32(IsCompressed()));
            default:
                return MwNotOwnMember;
        }
    });
}

u32 CSystemFid::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        const u32 bit = member.MemberId == s_TextMemberId         ? kSystemFidText
                        : member.MemberId == s_CompressedMemberId ? kSystemFidCompressed
                                                                  : 0;
        if (!bit)
            return MwNotOwnMember;
        if (!value)
            return MwParam_NotFound;
        u32 on = 0;
        std::memcpy(&on, value, sizeof on);
        m_Flags = on ? m_Flags | bit : m_Flags & ~bit;
        return MwParam_Ok;
    });
}

void CSystemFid::SetFormat(bool text, bool compressed) {
    m_Flags &= ~(kSystemFidText | kSystemFidCompressed);
    m_Flags |= (text ? kSystemFidText : 0) | (compressed ? kSystemFidCompressed : 0);
}

// ---------------------------------------------------------------------------------------------
// Own virtual operations

bool CSystemFid::IsEqual(CSystemFid* other) {
    return other && other->m_Folder == m_Folder;
}

void CSystemFid::CopyFidFrom(CSystemFid* other) {
    if (!other || other == this)
        return;
    if (CMwNod* nod = other->m_Nod) {
        nod->RemoveDependantIfPresent(other);
        other->ClearNod(nod);
        SetNod(nod);
    }
    m_ParamSet.Assign(other->m_ParamSet);
    // An alias has one master: the aliases move here instead of being listed twice.
    for (u32 i = 0; i < other->m_Aliases.m_Count; ++i) {
        CSystemFid* alias = other->m_Aliases.m_Items[i];
        if (alias == this) {
            m_Master = nullptr;
            continue;
        }
        alias->m_Master = this;
        if (!Contains(m_Aliases, alias))
            m_Aliases.Add(alias);
    }
    other->m_Aliases.m_Count = 0;
    m_Folder = other->m_Folder;
}

void CSystemFid::ArchiveName(CClassicArchive&) {}

void CSystemFid::OnChanged() {
    if (m_Folder)
        m_Folder->OnChanged();
}

void CSystemFid::Refresh(const CClassicWideString*) {}

// ---------------------------------------------------------------------------------------------
// Aliases

void CSystemFid::AddAlias(CSystemFid* alias) {
    CSystemFid* master = GetMasterFid();
    if (!alias || alias->m_Master == master)
        return;
    // The alias may not be the master or stand above it: the chain of masters stays a tree.
    for (CSystemFid* up = master; up; up = up->m_Master)
        if (up == alias)
            return;
    if (alias->m_Master)
        RemoveFid(alias->m_Master->m_Aliases, alias);
    master->m_Aliases.Add(alias);
    alias->m_Master = master;
}

CSystemFid* CSystemFid::FindForParamSet(const CSystemParamSet& set) {
    CSystemFid* master = GetMasterFid();
    const u32 classId = set.GetNonEmptyCount() ? master->GetContentClassId() : s_UnknownClassId;
    if (set.IsCompatible(master->m_ParamSet, classId))
        return master;
    for (u32 i = 0; i < master->m_Aliases.m_Count; ++i) {
        CSystemFid* alias = master->m_Aliases.m_Items[i];
        if (set.IsCompatible(alias->m_ParamSet, classId))
            return alias;
    }
    return nullptr;
}

CMwNod* CSystemFid::GetNodFor(const CSystemParamSet& set) {
    CSystemFid* fid = FindForParamSet(set);
    return fid ? fid->m_Nod : nullptr;
}

CMwNod* CSystemFid::FindNodOrAliasNod() {
    if (m_Nod)
        return m_Nod;
    for (u32 i = 0; i < m_Aliases.m_Count; ++i)
        if (CMwNod* nod = m_Aliases.m_Items[i]->FindNodOrAliasNod())
            return nod;
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Content class and header-chunk blob

u32 CSystemFid::GetContentClassId() {
    if (m_ContentClassId != s_UnknownClassId)
        return m_ContentClassId;
    if (m_Master)
        m_ContentClassId = m_Master->GetContentClassId();
    else
        ReadHeader(nullptr);
    return m_ContentClassId;
}

bool CSystemFid::ReadHeader(CClassicBuffer* stream) {
    FreeBlob(kSystemFidBlobUnread);
    const bool read = SystemFidLinks().ReadFileHeader(this, stream);
    if (m_BlobState == kSystemFidBlobUnread)
        m_BlobState = kSystemFidBlobAbsent;
    return read;
}

void CSystemFid::FreeBlob(u32 state) {
    m_Blob.SetCount(0);
    m_BlobState = state;
}

void CSystemFid::SetNoBlob() {
    FreeBlob(kSystemFidBlobAbsent);
}

void CSystemFid::ClearHeader() {
    FreeBlob(kSystemFidBlobUnread);
    m_ContentClassId = s_UnknownClassId;
}

void CSystemFid::BuildHeaderChunks() {
    FreeBlob(kSystemFidBlobUnread);
    CMwNod* nod = FindNodOrAliasNod();
    if (!nod)
        return;

    // Each header chunk is written after the ones before; a chunk that writes nothing is left
    // out.
    struct SPair {
        u32 Id;
        u32 Size;
    };
    std::vector<SPair> pairs;
    CClassicPooledBuffer scratch;
    {
        CClassicArchive archive;
        CLentStream lent(archive, scratch.Get());
        archive.m_Writing = 1;
        const u32 count = nod->HeaderChunkCount();
        for (u32 i = 0; i < count; ++i) {
            u32 id = nod->HeaderChunkIdByIndex(i);
            const u32 before = scratch->GetPosition();
            nod->ArchiveHeaderChunk(archive, &id);
            const u32 after = scratch->GetPosition();
            if (after > before)
                pairs.push_back({id, after - before});
        }
    }
    if (pairs.empty()) {
        m_BlobState = kSystemFidBlobAbsent;
        return;
    }
    const u32 dataSize = scratch->GetPosition();
    const u32 count = u32(pairs.size());
    m_Blob.SetCount(4 + 8 * count + dataSize);
    u8* out = m_Blob.m_Items;
    platform::StoreU32Le(out, count);
    for (u32 i = 0; i < count; ++i) {
        platform::StoreU32Le(out + 4 + 8 * i, pairs[i].Id);
        platform::StoreU32Le(out + 8 + 8 * i, pairs[i].Size);
    }
    std::memcpy(out + 4 + 8 * count, scratch->GetData(), dataSize);
    m_BlobState = kSystemFidBlobPresent;
}

void CSystemFid::ArchiveHeaderBlob(CClassicArchive& archive) {
    if (archive.m_Writing) {
        u32 size = m_BlobState == kSystemFidBlobPresent ? m_Blob.m_Count : 0;
        archive.WriteUInts(&size, 1);
        if (size)
            archive.WriteRaw(m_Blob.m_Items, size);
        return;
    }

    u32 size = 0;
    archive.ReadUInts(&size, 1);
    if (size == 0) {
        FreeBlob(kSystemFidBlobAbsent);
        return;
    }
    FreeBlob(kSystemFidBlobUnread);
    if (size > kSystemFidMaxHeaderBlobSize) {
        // Passed over (a size past the end of the stream fails there), then dropped.
        archive.SkipRaw(size);
        ClassicLogFormatLine("[Sys] Header-chunk blob of %u bytes dropped: above the limit of %u",
                             size, kSystemFidMaxHeaderBlobSize);
        return;
    }
    // Nothing is allocated for bytes the stream does not hold.
    archive.CheckReadSize(size, kSystemFidMaxHeaderBlobSize);
    m_Blob.SetCount(size);
    archive.ReadRaw(m_Blob.m_Items, size);
    if (IsWellFormedBlob(m_Blob.m_Items, size))
        m_BlobState = kSystemFidBlobPresent;
    else
        FreeBlob(kSystemFidBlobUnread);
}

u32 CSystemFid::GetHeaderChunkCount() const {
    return m_BlobState == kSystemFidBlobPresent ? platform::LoadU32Le(m_Blob.m_Items) : 0;
}

u32 CSystemFid::GetHeaderChunkId(u32 index) const {
    return index < GetHeaderChunkCount() ? platform::LoadU32Le(m_Blob.m_Items + 4 + 8 * index) : 0;
}

u32 CSystemFid::GetHeaderChunkSize(u32 index) const {
    return index < GetHeaderChunkCount() ? platform::LoadU32Le(m_Blob.m_Items + 8 + 8 * index) : 0;
}

const u8* CSystemFid::GetHeaderChunkData(u32 index) const {
    const u32 count = GetHeaderChunkCount();
    if (index >= count)
        return nullptr;
    u32 offset = 4 + 8 * count;
    for (u32 i = 0; i < index; ++i)
        offset += GetHeaderChunkSize(i);
    return m_Blob.m_Items + offset;
}

// ---------------------------------------------------------------------------------------------
// Loader and folder

void CSystemFid::SetLoader(CMwNod* loader) {
    m_Loader.Set(loader);
    if (loader && m_Folder)
        m_Folder->Pin();
}

void CSystemFid::PlaceFromRoot(u32 addLeaf) {
    if (m_Folder)
        CSystemFids::TryPlace(m_Folder, this, addLeaf);
    OnChanged();
}

void CSystemFid::PlaceFromFolder(u32 addLeaf) {
    if (CSystemFids* start = m_Folder) {
        bool placed = false;
        for (u32 i = 0; i < start->m_Trees.m_Count && !placed; ++i)
            placed = CSystemFids::TryPlace(start->m_Trees.m_Items[i], this, addLeaf);
        if (!placed && m_Folder == start)
            start->PlaceFid(this, addLeaf);
    }
    OnChanged();
}

void CSystemFid::Unlink() {
    if (m_Folder)
        m_Folder->RemoveLeaf(this);
}
