#include "core/nod/MwNod.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwDiag.h"
#include "core/nod/MwId.h"
#include "core/nod/MwMemberPath.h"
#include "platform/Crt.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>

namespace {

// The registry of live nods: an open-addressing set of addresses, filled by the root constructor
// and emptied by its destructor. It answers IsValidNod without probing memory, and its storage is
// freed whenever the last nod goes, so nothing is left at exit.
class CLiveNods {
public:
    void Insert(const CMwNod* nod) {
        if ((m_Count + 1) * 4 > m_Capacity * 3)
            Grow();
        u32 slot = Home(nod);
        while (m_Slots[slot])
            slot = (slot + 1) & (m_Capacity - 1);
        m_Slots[slot] = nod;
        ++m_Count;
    }

    void Erase(const CMwNod* nod) {
        if (!m_Slots)
            return;
        u32 slot = Home(nod);
        while (m_Slots[slot] != nod) {
            if (!m_Slots[slot])
                return;
            slot = (slot + 1) & (m_Capacity - 1);
        }
        // Backward-shift deletion keeps every probe chain unbroken without tombstones.
        u32 hole = slot;
        for (u32 next = (hole + 1) & (m_Capacity - 1); m_Slots[next];
             next = (next + 1) & (m_Capacity - 1)) {
            const u32 home = Home(m_Slots[next]);
            if (((next - home) & (m_Capacity - 1)) >= ((next - hole) & (m_Capacity - 1))) {
                m_Slots[hole] = m_Slots[next];
                hole = next;
            }
        }
        m_Slots[hole] = nullptr;
        if (--m_Count == 0) {
            std::free(m_Slots);
            m_Slots = nullptr;
            m_Capacity = 0;
        }
    }

    bool Contains(const CMwNod* nod) const {
        if (!m_Slots)
            return false;
        for (u32 slot = Home(nod); m_Slots[slot]; slot = (slot + 1) & (m_Capacity - 1))
            if (m_Slots[slot] == nod)
                return true;
        return false;
    }

private:
    u32 Home(const CMwNod* nod) const {
        const u64 h = (reinterpret_cast<uintptr_t>(nod) >> 4) * 0x9E3779B97F4A7C15ull;
        return static_cast<u32>(h >> 32) & (m_Capacity - 1);
    }

    void Grow() {
        const CMwNod** old = m_Slots;
        const u32 oldCapacity = m_Capacity;
        m_Capacity = oldCapacity ? oldCapacity * 2 : 64;
        m_Slots = static_cast<const CMwNod**>(std::calloc(m_Capacity, sizeof(CMwNod*)));
        if (!m_Slots)
            std::abort();
        m_Count = 0;
        for (u32 i = 0; i < oldCapacity; ++i)
            if (old[i])
                Insert(old[i]);
        std::free(old);
    }

    const CMwNod** m_Slots = nullptr;
    u32 m_Capacity = 0;
    u32 m_Count = 0;
};

constinit CLiveNods s_LiveNods;

void RemoveFirst(CFastBuffer<CMwNod*>* list, CMwNod* nod) {
    if (!list)
        return;
    for (u32 i = 0; i < list->m_Count; ++i) {
        if (list->m_Items[i] == nod) {
            list->FastRemove(i, 1);
            return;
        }
    }
}

void Append(CFastBuffer<CMwNod*>*& list, CMwNod* nod) {
    if (!list) {
        list = new CFastBuffer<CMwNod*>;
        list->Reserve(4);
    }
    list->Add(nod);
}

} // namespace

CMwNod::CMwNod() {
    s_LiveNods.Insert(this);
}

CMwNod::~CMwNod() {
    m_Destroying = 1;
    if (m_Dependants) {
        // Dependants added while a pass runs are told by the next pass.
        for (bool told = true; told;) {
            told = false;
            for (u32 i = 0; i < m_Dependants->m_Count; ++i) {
                CMwNod* dependant = m_Dependants->m_Items[i];
                if (!dependant)
                    continue;
                m_Dependants->m_Items[i] = nullptr;
                dependant->OnDependencyDestroyed(this);
                told = true;
            }
        }
        m_Dependants->FreeItems();
        delete m_Dependants;
    }
    if (m_Observers) {
        m_Observers->FreeItems();
        delete m_Observers;
    }
    s_LiveNods.Erase(this);
}

// ---------------------------------------------------------------------------------------------
// Reference counting and dependants

i32 CMwNod::Release() {
    if (--m_RefCount != 0 || m_Destroying)
        return m_RefCount;
    if (!m_Dependants || m_Dependants->m_Count == 0) {
        delete this;
        return 0;
    }
    // Ask each dependant to let go. A removal moves the last entry into the current position,
    // so the position advances only when the count did not change.
    ++m_ReleaseDepth;
    u32 count = m_Dependants->m_Count;
    for (u32 i = 0; i < count;) {
        m_Dependants->m_Items[i]->OnDependencyReleased(this);
        const u32 now = m_Dependants->m_Count;
        if (now == count)
            ++i;
        else
            count = now;
    }
    --m_ReleaseDepth;
    if (m_ReleaseDepth == 0 && m_DeletePending) {
        m_DeletePending = 0;
        if (m_RefCount == 0 && m_Dependants->m_Count == 0)
            delete this;
    }
    return 0;
}

void CMwNod::AddDependant(CMwNod* dependant) {
    Append(m_Dependants, dependant);
}

void CMwNod::RemoveDependant(CMwNod* dependant) {
    RemoveFirst(m_Dependants, dependant);
}

void CMwNod::RemoveDependantIfPresent(CMwNod* dependant) {
    RemoveFirst(m_Dependants, dependant);
}

void CMwNod::RemoveDependantAndRelease(CMwNod* dependant) {
    RemoveFirst(m_Dependants, dependant);
    if (m_RefCount != 0 || m_Destroying || GetDependantCount() != 0)
        return;
    if (m_ReleaseDepth > 0)
        m_DeletePending = 1;
    else
        delete this;
}

void CMwNod::OnDependencyDestroyed(CMwNod*) {}

void CMwNod::OnDependencyReleased(CMwNod* nod) {
    nod->RemoveDependantAndRelease(this);
}

// ---------------------------------------------------------------------------------------------
// Observers

void CMwNod::AddObserver(CMwNod* observer) {
    Append(m_Observers, observer);
}

void CMwNod::RemoveObserver(CMwNod* observer) {
    if (!m_Observers)
        return;
    RemoveFirst(m_Observers, observer);
    if (m_Observers->m_Count == 0) {
        m_Observers->FreeItems();
        delete m_Observers;
        m_Observers = nullptr;
    }
}

void CMwNod::NotifyObservers(u32 messageId, u32 parameter) {
    // The list is read afresh at every step: an observer may remove itself or others (even
    // free the list) while the messages go out.
    for (u32 i = 0; m_Observers && i < m_Observers->m_Count; ++i) {
        u32 id = messageId;
        m_Observers->m_Items[i]->OnMessage(&id, this, parameter);
    }
}

void CMwNod::OnMessage(u32*, CMwNod*, u32) {}

// ---------------------------------------------------------------------------------------------
// Identity and name

bool CMwNod::IsValidNod(const CMwNod* nod) {
    if (!nod || !s_LiveNods.Contains(nod))
        return false;
    CMwNod* live = const_cast<CMwNod*>(nod);
    return live->GetClassId() != s_NoClassId && live->IsKindOf(s_ClassId);
}

i32 CMwNod::FindKindIndex(u32 count, const u32* classIds) {
    CMwClassInfo* info = GetClassInfo();
    return info ? info->FindKindIndex(count, classIds) : -1;
}

void CMwNod::SetIdName(const char* text) {
    CMwId* id = GetIdPtr();
    if (id)
        id->SetFromName(text);
}

u32 CMwNod::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    const CMwMemberInfo* member = path->TakeMember();
    if (!member)
        return MwParam_NotFound;
    if (member->MemberId != s_IdNameMemberId)
        return MwParam_WrongClass;
    // One string shared by every nod, replaced by the next read.
    static CClassicString s_IdNameText;
    const CMwId* id = GetIdPtr();
    if (!id) {
        out->Value = const_cast<CClassicString*>(&g_ClassicStringEmpty);
        return MwParam_Ok;
    }
    id->GetText(s_IdNameText);
    out->Value = &s_IdNameText;
    return MwParam_Ok;
}

u32 CMwNod::SetParamVirtual(CMwMemberPath* path, const void* value) {
    const CMwMemberInfo* member = path->TakeMember();
    if (member && member->MemberId == s_IdNameMemberId && value)
        SetIdName(static_cast<const CClassicString*>(value)->GetText());
    return MwParam_Ok;
}

u32 CMwNod::AddParamVirtual(CMwMemberPath*, const void*) {
    return MwParam_Ok;
}

u32 CMwNod::SubParamVirtual(CMwMemberPath*, const void*) {
    return MwParam_Ok;
}

void CMwNod::ReservedHook(u32, u32) {}

// ---------------------------------------------------------------------------------------------
// Enumerations, from the class records along the C++ base chain (root first)

namespace {

// The records from this nod's class up to the root; returns how many.
u32 RecordChain(CMwClassInfo* info, CMwClassInfo** chain, u32 room) {
    u32 depth = 0;
    for (; info && depth < room; info = info->m_Base)
        chain[depth++] = info;
    return depth;
}

constexpr u32 kMaxDepth = 32;

} // namespace

u32 CMwNod::MemberCount() {
    u32 count = 0;
    for (CMwClassInfo* info = GetClassInfo(); info; info = info->m_Base)
        count += info->m_MemberCount;
    return count;
}

u32 CMwNod::MemberIdByIndex(u32 index) {
    CMwClassInfo* chain[kMaxDepth];
    for (u32 level = RecordChain(GetClassInfo(), chain, kMaxDepth); level-- > 0;) {
        if (index < chain[level]->m_MemberCount)
            return chain[level]->m_ClassId | index;
        index -= chain[level]->m_MemberCount;
    }
    return s_ClassId | index;
}

u32 CMwNod::ChunkCount() {
    u32 count = 0;
    for (CMwClassInfo* info = GetClassInfo(); info; info = info->m_Base)
        count += info->m_ChunkCount;
    return count;
}

u32 CMwNod::ChunkIdByIndex(u32 index) {
    CMwClassInfo* chain[kMaxDepth];
    for (u32 level = RecordChain(GetClassInfo(), chain, kMaxDepth); level-- > 0;) {
        if (index < chain[level]->m_ChunkCount)
            return chain[level]->m_Chunks[index].Id;
        index -= chain[level]->m_ChunkCount;
    }
    return s_ClassId | index;
}

u32 CMwNod::GetChunkInfo(u32 chunkId) {
    for (CMwClassInfo* info = GetClassInfo(); info; info = info->m_Base)
        for (u32 i = 0; i < info->m_ChunkCount; ++i)
            if (info->m_Chunks[i].Id == chunkId)
                return info->m_Chunks[i].Flags;
    return s_UnknownChunk;
}

// ---------------------------------------------------------------------------------------------
// The chunked body

namespace {

// Swaps an archive's stream for a memory stream while one skippable chunk is encoded, and puts
// the archive's own stream back whatever happens.
class CStreamSwap {
public:
    CStreamSwap(CClassicArchive& archive, CClassicBufferMemory* memory)
        : m_Archive(archive), m_Own(archive.DetachBuffer(false)) {
        m_Archive.SetBuffer(memory);
    }
    ~CStreamSwap() {
        m_Archive.DetachBuffer(false);
        m_Archive.SetBuffer(m_Own);
    }
    CStreamSwap(const CStreamSwap&) = delete;
    CStreamSwap& operator=(const CStreamSwap&) = delete;

private:
    CClassicArchive& m_Archive;
    CClassicBuffer* m_Own;
};

void LogBodyFailure(CMwNod& nod, const char* what, u32 chunkId) {
    ClassicLogFormatLine("[MwNod] Body of %s not read further: %s 0x%08X",
                         nod.GetClassInfo() ? nod.GetClassInfo()->m_Name : "?", what, chunkId);
}

} // namespace

u32 CMwNod::Archive(CClassicArchive& archive) {
    if (archive.m_Writing) {
        const u32 count = ChunkCount();
        for (u32 i = 0; i < count; ++i) {
            u32 id = ChunkIdByIndex(i);
            const u32 flags = GetChunkInfo(id);
            const u32 excluded = archive.m_Release ? 0x04 : 0x08;
            if (!(flags & 0x02) || (flags & excluded))
                continue;
            archive.WriteUIntsHex(&id, 1);
            if (!(flags & 0x10)) {
                ArchiveChunk(archive, id);
                continue;
            }
            // A skippable chunk is encoded into memory first, so that its size precedes it.
            CClassicPooledBuffer memory;
            {
                CStreamSwap swap(archive, memory.Get());
                ArchiveChunk(archive, id);
            }
            u32 header[2] = {s_SkipTag, memory->GetPosition()};
            archive.WriteUInts(header, 2);
            if (header[1])
                archive.WriteRaw(memory->GetData(), header[1]);
        }
        u32 end = s_UnknownChunk;
        archive.WriteUIntsHex(&end, 1);
        return 0;
    }

    u32 result = 0;
    u32 id = 0;
    try {
        for (;;) {
            archive.ReadUIntsHex(&id, 1);
            if (id == s_UnknownChunk)
                break;
            const u32 flags = GetChunkInfo(id);
            if (flags == s_UnknownChunk) {
                // Unknown chunks can be passed over only when they carry their size.
                u32 tag = 0;
                archive.ReadUInts(&tag, 1);
                if (tag != s_SkipTag) {
                    LogBodyFailure(*this, "unknown chunk", id);
                    result = 1;
                    break;
                }
                u32 size = 0;
                archive.ReadUInts(&size, 1);
                archive.CheckReadSize(size, kClassicArchiveMaxRawSize);
                u8 scratch[4096];
                for (u32 left = size; left > 0;) {
                    const u32 piece = left < sizeof scratch ? left : u32(sizeof scratch);
                    archive.ReadRaw(scratch, piece);
                    left -= piece;
                }
                continue;
            }
            if (flags & 0x10) {
                u32 header[2];
                archive.ReadUInts(header, 2);
            }
            ArchiveChunk(archive, id);
        }
    } catch (const CClassicBufferException&) {
        LogBodyFailure(*this, "the stream ended in or after chunk", id);
        result = 1;
    }
    OnAfterLoad();
    return result;
}

void CMwNod::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId != s_RootChunkId)
        return;
    // An old developer name: read and dropped; written only when a class asks for it.
    CClassicString name(archive.m_Writing ? "No DevName" : "");
    archive.SerializeStrings(&name, 1);
}

// ---------------------------------------------------------------------------------------------
// Hooks with nothing to do at the root

void CMwNod::ApplyParamSets(CSystemParamSet*, CSystemParamSet*) {}

i32 CMwNod::LoadFid(CMwNod**, CSystemFid*) {
    return 0;
}

i32 CMwNod::SaveFid(CMwNod*, CSystemFid*) {
    return 0;
}

void CMwNod::CopyFrom(CMwNod*) {}

i32 CMwNod::Describe(CClassicString& text) {
    CMwClassInfo* info = IsValidNod(this) ? GetClassInfo() : nullptr;
    if (!info)
        return 0;
    DiagWritePrefix(text);
    text.Append(info->m_Name);
    const platform::FormattedText address =
        platform::Format("(0x%08" PRIXPTR ")", reinterpret_cast<uintptr_t>(this));
    text.Append(CClassicStringRef(address.text, address.length));
    return 1;
}

// ---------------------------------------------------------------------------------------------
// The root's class record: one member, IdName, read and written through the virtual operations,
// and one chunk, an old developer name that is read and dropped.

namespace mw_class_CMwNod {
constinit auto s_IdName = mw_member_rows::String(CMwNod::s_IdNameMemberId, "IdName",
                                                 MW_VIRTUAL("m_IdName"), "Id Name", 0x33, 0x380);
constinit CMwMemberInfo* const s_Members[] = {&s_IdName};
constinit const CMwChunkInfo s_Chunks[] = {{CMwNod::s_RootChunkId, 1}};
} // namespace mw_class_CMwNod

constinit CMwClassInfo CMwNod::s_ClassInfo(CMwNod::s_ClassId, nullptr, nullptr, "CMwNod",
                                           MwFactory<CMwNod>, mw_class_CMwNod::s_Members, 1,
                                           mw_class_CMwNod::s_Chunks, 1);
