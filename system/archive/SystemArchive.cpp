#include "system/archive/SystemArchive.h"

#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCmdBufferCore.h"
#include "core/nod/MwEngine.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFidFactory.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFidNumberMap.h"
#include "system/fid/SystemFids.h"
#include "system/fid/SystemParamSet.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <vector>

namespace {

constexpr u32 kNoIndex = 0xFFFFFFFF;

// Lends a stream to the archive for a scope and puts the one it had back, also when an exception
// passes through; the lent stream is never deleted by the archive.
class CStreamSwap {
public:
    CStreamSwap(CClassicArchive& archive, CClassicBuffer* stream)
        : m_Archive(archive), m_Old(archive.DetachBuffer(false)) {
        m_Archive.SetBuffer(stream);
    }
    ~CStreamSwap() {
        m_Archive.DetachBuffer(false);
        m_Archive.SetBuffer(m_Old);
    }
    CStreamSwap(const CStreamSwap&) = delete;
    CStreamSwap& operator=(const CStreamSwap&) = delete;

private:
    CClassicArchive& m_Archive;
    CClassicBuffer* m_Old;
};

// Makes a nod of a class an archive names. Engines are the program's own objects, one per engine
// number: an archive never makes one (a second System engine would take over the process-wide
// loading state when it goes).
CMwClassInfo::Factory ArchiveNodFactory(u32 classId) {
    const CMwClassInfo* info = CMwClassRegistry::GetClassInfoById(classId);
    const u32 engine = CMwEngine::s_ClassId;
    if (!info || info->FindKindIndex(1, &engine) >= 0)
        return nullptr;
    return info->m_Factory;
}

CMwNod* CreateArchiveNod(u32 classId) {
    const CMwClassInfo::Factory factory = ArchiveNodFactory(classId);
    return factory ? factory() : nullptr;
}

// Damaged data: a log line, then the stream exception that the operation catches.
[[noreturn]] void FailRead(const char* what, u32 value) {
    ClassicLogFormatLine("[Sys] Archive not read: %s (%u)", what, value);
    throw CClassicBufferException(kClassicBufferErrorBadData, u"Damaged archive");
}

// A file name read from a reference record names one file of its folder: not empty, not "." or
// "..", and without separators, drive colons or NULs.
bool IsPlainFileName(const CClassicWideString& name) {
    const u32 length = name.GetLength();
    const char16_t* text = name.GetText();
    if (length == 0 || (length == 1 && text[0] == u'.') ||
        (length == 2 && text[0] == u'.' && text[1] == u'.'))
        return false;
    for (u32 i = 0; i < length; ++i)
        if (text[i] == u'\\' || text[i] == u'/' || text[i] == u':' || text[i] == 0)
            return false;
    return true;
}

bool IsResourceFileIndex(u32 index) {
    return index < kSystemResourceCount && g_SystemResourcePaths[index] != nullptr;
}

CClassicString FullNameOf(CSystemFid* fid) {
    CClassicWideString name;
    if (fid && fid->IsKindOf(CSystemFidFile::s_ClassId))
        static_cast<CSystemFidFile*>(fid)->GetFullFileName(name);
    return name.GetNarrow();
}

CSystemFids* CopyOf(CSystemFids* source) {
    return reinterpret_cast<CSystemFids*>(FidNumberMapGet(source));
}

// Sorts the sub-folders of every named folder of the copied tree by name, ignoring case; the
// copy of the drive keeps its order.
void SortCopiedFolders(CSystemFids* folder) {
    if (folder->IsFolder()) {
        std::stable_sort(folder->m_Trees.m_Items, folder->m_Trees.m_Items + folder->m_Trees.m_Count,
                         [](CSystemFids* a, CSystemFids* b) {
                             return a->GetDirNameRef()->CompareNoCase(*b->GetDirNameRef()) < 0;
                         });
    }
    for (u32 i = 0; i < folder->m_Trees.m_Count; ++i)
        SortCopiedFolders(folder->m_Trees.m_Items[i]);
}

void ForgetNumbers(CSystemFids* folder) {
    FidNumberMapSet(folder, 0);
    for (u32 i = 0; i < folder->m_Trees.m_Count; ++i)
        ForgetNumbers(folder->m_Trees.m_Items[i]);
}

// A folder tree made for one table (the copy written, or the folders read before they are
// merged), cleared and deleted with the scope.
struct SScratchTree {
    CSystemFids* m_Root = nullptr;
    ~SScratchTree() {
        if (!m_Root)
            return;
        m_Root->Clear();
        delete m_Root;
    }
};

// The nods whose bodies are being read, innermost first: the main nod of every load in progress
// (from its creation to the end of its load, since its reference table may load files that refer
// back to it) and every inline nod while its chunks are read.
struct SBeingRead {
    CMwNod* m_Nod;
    const SBeingRead* m_Outer;
};
constinit const SBeingRead* s_BeingRead = nullptr;

// Lists a nod as being read for the scope, or from Start to End.
class CBeingRead {
public:
    CBeingRead() = default;
    explicit CBeingRead(CMwNod* nod) { Start(nod); }
    ~CBeingRead() { End(); }
    CBeingRead(const CBeingRead&) = delete;
    CBeingRead& operator=(const CBeingRead&) = delete;

    void Start(CMwNod* nod) {
        m_Entry = {nod, s_BeingRead};
        s_BeingRead = &m_Entry;
    }
    void End() {
        if (m_Entry.m_Nod && s_BeingRead == &m_Entry)
            s_BeingRead = m_Entry.m_Outer;
        m_Entry.m_Nod = nullptr;
    }

private:
    SBeingRead m_Entry{nullptr, nullptr};
};

bool IsBeingRead(const CMwNod* nod) {
    for (const SBeingRead* entry = s_BeingRead; entry; entry = entry->m_Outer)
        if (entry->m_Nod == nod)
            return true;
    return false;
}

constexpr u32 kDestroyedEntry = 3;

// The node table, the address map and the list of created nods of the largest archive destroyed
// so far, kept for the next archive, as the body buffer is. An archive of a million nods needs
// some 40 MB of them, and memory fresh from the system costs a page fault every 4 KB, which made
// such a save or load take twice as long.
struct SSpareTables {
    CFastBuffer<SSystemArchiveNode> m_Nodes;
    CFastBuffer<CMwNod*> m_Created;
    CSystemArchiveNodeMap m_Map;
    ~SSpareTables() {
        m_Nodes.FreeItems();
        m_Created.FreeItems();
    }
};
constinit SSpareTables s_Spare;

// An archive without a table of its own takes the spare one.
template <typename T>
void TakeSpare(CFastBuffer<T>& table, CFastBuffer<T>& spare) {
    if (table.m_Capacity == 0)
        std::swap(table, spare);
}

// The larger of the two tables stays the spare, the other is freed.
template <typename T>
void GiveBackSpare(CFastBuffer<T>& table, CFastBuffer<T>& spare) {
    table.m_Count = 0;
    if (table.m_Capacity > spare.m_Capacity)
        std::swap(table, spare);
    table.FreeItems();
}

} // namespace

// Keeps the nods of one load alive without counting references on them: it holds each nod
// (CMwNod::AddHold), so the nod stays when its count reaches 0. Letting go of a nod afterwards
// frees it when nothing keeps it any more (count 0, no dependant, as a file id is for the nod
// bound to it, no other load's hold), or leaves it as it is. A held nod destroyed all the same
// (a direct delete) leaves the lists of every load in progress.
class CSystemLoadGuard final {
public:
    CSystemLoadGuard() {
        CMwNod::SetHeldNodDestroyedHook(&CSystemArchive::ForgetDestroyedNodEverywhere);
    }

    void Keep(CMwNod* nod) { nod->AddHold(); }
    void Free(CMwNod* nod) { nod->RemoveHoldAndRelease(); }
    void Leave(CMwNod* nod) { nod->RemoveHold(); }
    // Lets go of each nod of the list that is left, newest first (Free), and empties it.
    void FreeEach(CFastBuffer<CMwNod*>& nods) {
        for (u32 i = nods.m_Count; i-- > 0;)
            if (CMwNod* nod = nods.m_Items[i])
                Free(nod);
        nods.m_Count = 0;
    }
};

namespace {

class CDefaultResolver final : public CSystemArchiveRefResolver {};
constinit CDefaultResolver s_DefaultResolver;
constinit CSystemArchiveRefResolver* s_Resolver = &s_DefaultResolver;

} // namespace

CSystemArchiveRefResolver& SystemArchiveRefResolver() {
    return *s_Resolver;
}

void SetSystemArchiveRefResolver(CSystemArchiveRefResolver* resolver) {
    s_Resolver = resolver ? resolver : &s_DefaultResolver;
}

bool CSystemArchiveRefResolver::Resolve(CSystemArchive& archive, SSystemArchiveRef& record) {
    CSystemFid* made = record.m_Fid;
    CSystemEngine* engine = archive.GetEngine();
    CSystemFid* found = engine ? engine->FindFidLike(made) : CSystemEngine::FindEqualLeaf(made);
    if (found && found != made) {
        record.m_Fid = found;
        delete made;
        if (!record.m_UseFile)
            record.m_Nod = found->GetNodFor(*CurrentParamSet());
    } else {
        archive.AddUnresolvedFid(made);
    }
    if (record.m_Nod && record.m_Nod->GetFid())
        record.m_Fid = record.m_Nod->GetFid();
    if (!record.m_UseFile && !record.m_Nod &&
        (archive.GetLoadMode() & kSystemArchiveLoadRefFiles)) {
        ClassicLogFormatLine("Could not find '%s'", FullNameOf(record.m_Fid).GetText());
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// The node map

void CSystemArchiveNodeMap::Swap(CSystemArchiveNodeMap& other) {
    std::swap(m_Slots, other.m_Slots);
    std::swap(m_Mask, other.m_Mask);
    std::swap(m_Count, other.m_Count);
}

void CSystemArchiveNodeMap::Clear(const CFastBuffer<SSystemArchiveNode>& nodes) {
    if (m_Count == 0)
        return;
    if (m_Count != nodes.m_Count || u64(m_Count) * 8 > u64(m_Mask) + 1) {
        std::fill_n(m_Slots, size_t(m_Mask) + 1, 0u);
    } else {
        // A table kept from a larger archive is cleared where this one wrote: from each object's
        // home slot to the end of its run, which holds the object and only objects of the map
        // (a run emptied from an earlier home holds this object too).
        for (u32 index = 0; index < nodes.m_Count; ++index)
            for (u32 i = Hash(nodes.m_Items[index].m_Object) & m_Mask; m_Slots[i] != 0;
                 i = (i + 1) & m_Mask)
                m_Slots[i] = 0;
    }
    m_Count = 0;
}

u32 CSystemArchiveNodeMap::FindOrAdd(const CMwNod* object,
                                     const CFastBuffer<SSystemArchiveNode>& nodes, bool* isNew) {
    // At most half full, so a probe always ends at an empty slot.
    if (!m_Slots || 2 * (u64(m_Count) + 1) > u64(m_Mask) + 1)
        Grow(nodes);
    for (u32 i = Hash(object) & m_Mask;; i = (i + 1) & m_Mask) {
        const u32 held = m_Slots[i];
        if (held == 0) {
            m_Slots[i] = nodes.m_Count + 1;
            ++m_Count;
            *isNew = true;
            return nodes.m_Count;
        }
        if (nodes.m_Items[held - 1].m_Object == object) {
            *isNew = false;
            return held - 1;
        }
    }
}

void CSystemArchiveNodeMap::Grow(const CFastBuffer<SSystemArchiveNode>& nodes) {
    const u32 size = m_Slots ? 2 * (m_Mask + 1) : 1024;
    delete[] m_Slots;
    m_Slots = new u32[size]();
    m_Mask = size - 1;
    // Every entry of the table is in the map.
    for (u32 index = 0; index < m_Count; ++index) {
        u32 i = Hash(nodes.m_Items[index].m_Object) & m_Mask;
        while (m_Slots[i] != 0)
            i = (i + 1) & m_Mask;
        m_Slots[i] = index + 1;
    }
}

// ---------------------------------------------------------------------------------------------
// Construction

constinit CSystemArchive* CSystemArchive::s_InnermostLoad = nullptr;

CSystemArchive::CSystemArchive() : m_Engine(GetSystemEngine()) {
    m_Release = 1;
}

CSystemArchive::~CSystemArchive() {
    // The body's storage goes on serving the next archive.
    const CClassicPooledBuffer body(m_Body);
    for (u32 i = 0; i < m_UnresolvedFids.m_Count; ++i)
        delete m_UnresolvedFids.m_Items[i];
    m_UnresolvedFids.FreeItems();
    if (m_EmptyDrive) {
        m_EmptyDrive->Clear();
        delete m_EmptyDrive;
    }
    GiveBackSpare(m_CreatedNods, s_Spare.m_Created);
    m_LoadedNods.FreeItems();
    m_Refs.FreeItems();
    GiveBackSpare(m_Nodes, s_Spare.m_Nodes);
    if (m_NodeIndexOf.GetSlotCount() > s_Spare.m_Map.GetSlotCount())
        m_NodeIndexOf.Swap(s_Spare.m_Map);
}

void CSystemArchive::SetSaveFlags(u32 flags) {
    m_SaveFlags = flags;
    m_Text = (flags & kSystemArchiveSaveText) ? 1 : 0;
    m_Compressed = flags & kSystemArchiveSaveCompressed;
    m_KeepOwnFileInline = flags & kSystemArchiveSaveKeepOwnFileInline;
    m_Release = (flags & kSystemArchiveSaveRelease) ? 1 : 0;
}

bool CSystemArchive::GetFileName(CClassicWideString& out) {
    if (!m_CurrentFid || !m_CurrentFid->IsKindOf(CSystemFidFile::s_ClassId))
        return false;
    static_cast<CSystemFidFile*>(m_CurrentFid)->GetFullFileName(out);
    return true;
}

CSystemFids* CSystemArchive::GetIndexedFolder(u32 index) const {
    return index < m_FolderIndex.m_Count ? m_FolderIndex.m_Items[index] : nullptr;
}

// ---------------------------------------------------------------------------------------------
// References inside the body

void CSystemArchive::ArchiveNodRef(CMwNod*& nod) {
    if (!m_Writing) {
        ReadNodRef(nod, false);
        return;
    }
    u32 index = kNoIndex;
    if (!nod) {
        WriteUInts(&index, 1);
        return;
    }
    bool isNew = false;
    index = FindOrAddNode(nod, &isNew);
    WriteUInts(&index, 1);
    if (!isNew)
        return;
    CSystemFid* fid = nullptr;
    if (MakesExternalRef(nod, fid)) {
        m_Refs.Add({fid, nod, index, 0, 0});
        return;
    }
    m_Nodes.m_Items[index].m_BodyOffset = GetBuffer()->GetPosition();
    u32 classId = nod->GetClassId();
    WriteUIntsHex(&classId, 1);
    nod->Archive(*this);
}

void CSystemArchive::ArchiveHeldNodRef(CMwNod*& nod) {
    if (m_Writing)
        ArchiveNodRef(nod);
    else
        ReadNodRef(nod, true);
}

void CSystemArchive::ArchiveFidRef(CSystemFid*& fid) {
    if (!m_Writing) {
        ReadFidRef(fid);
        return;
    }
    u32 index = kNoIndex;
    if (fid) {
        CSystemFid* target = RefFidOf(fid);
        bool isNew = false;
        index = FindOrAddNode(target, &isNew);
        if (isNew)
            m_Refs.Add({target, nullptr, index, 0, 1});
    }
    WriteUInts(&index, 1);
}

u32 CSystemArchive::FindOrAddNode(CMwNod* object, bool* isNew) {
    const u32 index = m_NodeIndexOf.FindOrAdd(object, m_Nodes, isNew);
    if (*isNew)
        m_Nodes.Add({object, 0, 0, 0});
    return index;
}

CSystemFid* CSystemArchive::RefFidOf(CSystemFid* fid) const {
    const bool toFile = m_CurrentFid && (m_CurrentFid->m_RefFlags & kSystemFidRefFile);
    return (toFile || m_RefFolder) ? fid->GetMasterFid() : fid;
}

bool CSystemArchive::MakesExternalRef(CMwNod* nod, CSystemFid*& fid) const {
    if (!nod->GetFid())
        return false;
    fid = RefFidOf(nod->GetFid());
    return nod->IsKindOf(kSystemArchivePlugFileClassId) ||
           (fid->m_RefFlags & kSystemFidRefResourceLocal) || !m_KeepOwnFileInline;
}

void CSystemArchive::ReadNodRef(CMwNod*& nod, bool held) {
    u32 index = kNoIndex;
    ReadUInts(&index, 1);
    nod = nullptr;
    if (index == kNoIndex)
        return;
    if (index >= m_Nodes.m_Count)
        FailRead("a nod reference past the node table", index);
    const SSystemArchiveNode& entry = m_Nodes.m_Items[index];
    // A file id of the table is never handed out as a nod: its holder would count references
    // on an object the folder tree owns.
    if (entry.m_Reference == 2)
        FailRead("a nod reference to a use-file reference", index);
    if (entry.m_Reference == kDestroyedEntry)
        FailRead("a nod reference to a nod destroyed while the body was read", index);
    if (entry.m_Object || entry.m_Reference) {
        if (held && entry.m_Object && IsBeingRead(entry.m_Object))
            FailRead("a holding reference to a nod whose body is still being read", index);
        nod = entry.m_Object;
        return;
    }
    u32 classId = 0;
    ReadUIntsHex(&classId, 1);
    // Inline nods mostly come in runs of one class: the registry is asked when the class changes.
    if (classId != m_InlineClassId || !m_InlineFactory) {
        m_InlineFactory = ArchiveNodFactory(classId);
        m_InlineClassId = classId;
    }
    CMwNod* created = m_InlineFactory ? m_InlineFactory() : nullptr;
    if (!created)
        FailRead("an inline nod of a class that cannot be created", classId);
    // Kept by the load until it ends (the table has room for every entry: Add cannot fail).
    m_CreatedNods.Add(created);
    if (m_Guard)
        m_Guard->Keep(created);
    m_Nodes.m_Items[index].m_Object = created;
    {
        const CBeingRead reading(created);
        created->Archive(*this);
    }
    if (CSystemParamSet* load = GetLoadParamSet())
        created->ApplyParamSets(CurrentParamSet(), load);
    nod = created;
}

void CSystemArchive::ReadFidRef(CSystemFid*& fid) {
    u32 index = kNoIndex;
    ReadUInts(&index, 1);
    fid = nullptr;
    if (index == kNoIndex)
        return;
    if (index >= m_Nodes.m_Count)
        FailRead("a file-id reference past the node table", index);
    CMwNod* object = m_Nodes.m_Items[index].m_Object;
    if (!object)
        return;
    if (!object->IsKindOf(CSystemFid::s_ClassId))
        FailRead("a file-id reference to a nod", index);
    fid = static_cast<CSystemFid*>(object)->GetMasterFid();
}

// ---------------------------------------------------------------------------------------------
// Writing

u32 CSystemArchive::WriteBody(CMwNod* mainNod) {
    m_Writing = 1;
    m_MainClassId = mainNod->GetClassId();
    TakeSpare(m_Nodes, s_Spare.m_Nodes);
    if (m_NodeIndexOf.GetSlotCount() == 0)
        m_NodeIndexOf.Swap(s_Spare.m_Map);
    m_Nodes.m_Count = 0;
    m_Refs.m_Count = 0;
    // The map serves the body only: it is left empty, so that the next body (of this archive or
    // of one that takes its table) starts at once.
    struct SEmptyMap {
        CSystemArchiveNodeMap& m_Map;
        const CFastBuffer<SSystemArchiveNode>& m_Nodes;
        ~SEmptyMap() { m_Map.Clear(m_Nodes); }
    } emptyMap{m_NodeIndexOf, m_Nodes};
    bool isNew = false;
    FindOrAddNode(mainNod, &isNew);
    if (!m_Body)
        m_Body = g_ClassicBufferPool.Take();
    m_Body->Clear();
    m_Body->Reserve(10240);
    CStreamSwap swap(*this, m_Body);
    return mainNod->Archive(*this);
}

void CSystemArchive::WriteHeader() {
    if (m_CurrentFid)
        m_CurrentFid->ClearHeader();
    const u8 head[9] = {'Z',
                        'U',
                        'N',
                        u8(kSystemArchiveVersion & 0xFF),
                        u8(kSystemArchiveVersion >> 8),
                        u8(m_Text ? 'T' : 'B'),
                        u8(m_SecondLetterC ? 'C' : 'U'),
                        u8(m_Compressed ? 'C' : 'U'),
                        u8(m_Release ? 'R' : 'E')};
    WriteRaw(head, sizeof head);
    WriteUIntsHex(&m_MainClassId, 1);
    if (m_CurrentFid) {
        if (!m_MemoryCopy)
            m_CurrentFid->BuildHeaderChunks();
        m_CurrentFid->ArchiveHeaderBlob(*this);
    } else {
        u32 none = 0;
        WriteUInts(&none, 1);
    }
    u32 count = m_Nodes.m_Count;
    WriteUInts(&count, 1);
    if (m_CurrentFid)
        m_CurrentFid->m_ContentClassId = m_MainClassId;
}

bool CSystemArchive::WriteRefs() {
    u32 count = m_Refs.m_Count;
    if (count == 0) {
        WriteUInts(&count, 1);
        return true;
    }

    // The folder references are relative to: the file's own, or for a memory image (or a file
    // without folder) the reference folder, the data folder or the local drive.
    CSystemFids* base = m_CurrentFid ? m_CurrentFid->m_Folder : nullptr;
    std::unique_ptr<CSystemFidsDrive> emptyDrive;
    if (!base || (m_CurrentFid->m_RefFlags & kSystemFidRefMemory)) {
        base = m_RefFolder;
        if (!base && m_Engine)
            base = m_Engine->GetDataFolder();
        if (!base && m_Engine)
            base = m_Engine->m_LocalDrive;
        if (!base) {
            ClassicLogFormatLine("No Drive Local");
            emptyDrive = std::make_unique<CSystemFidsDrive>();
            base = emptyDrive.get();
        }
    }

    // A resource file refers only to resource files, and a local file to resource files only by
    // their index.
    CSystemFids* resourceDrive = m_Engine ? m_Engine->m_ResourceDrive : nullptr;
    const bool inResources = resourceDrive && base->m_Drive == resourceDrive;
    for (u32 i = 0; i < count; ++i) {
        CSystemFid* fid = m_Refs.m_Items[i].m_Fid;
        const bool onResources =
            resourceDrive && fid->m_Folder && fid->m_Folder->m_Drive == resourceDrive;
        if (inResources && !onResources) {
            ClassicLogFormatLine("Cannot save a reference to local < %s >, within a resource file",
                                 FullNameOf(fid).GetText());
            return false;
        }
        if (!inResources && onResources && !(fid->m_RefFlags & kSystemFidRefResourceLocal)) {
            ClassicLogFormatLine(
                "Cannot save a reference to resource-local < %s >, within a local file",
                FullNameOf(fid).GetText());
            return false;
        }
    }
    WriteUInts(&count, 1);

    // The folders of the references on the file's drive and the file's own folder, with their
    // ancestors, copied out of the tree.
    CSystemFids* drive = base->GetRoot();
    std::vector<CSystemFids*> folders{base};
    for (u32 i = 0; i < count; ++i) {
        CSystemFid* fid = m_Refs.m_Items[i].m_Fid;
        if (!(fid->m_RefFlags & kSystemFidRefResourceLocal) && fid->m_Folder &&
            fid->m_Folder->GetRoot() == drive)
            folders.push_back(fid->m_Folder);
    }
    for (CSystemFids* folder : folders)
        folder->FlagWithAncestors();
    // The copies leave the map as they are deleted; the originals leave it with this scope, also
    // when a refused write ends it.
    struct SForgetOriginals {
        const std::vector<CSystemFids*>& m_Folders;
        ~SForgetOriginals() {
            for (CSystemFids* folder : m_Folders)
                for (CSystemFids* up = folder; up; up = up->m_Parent)
                    FidNumberMapSet(up, 0);
        }
    } forget{folders};
    SScratchTree copy;
    copy.m_Root = drive->NewSameKind();
    copy.m_Root->CloneFlagged(drive);
    SortCopiedFolders(copy.m_Root);

    // The reference root: the deepest copied folder every path passes through.
    ForgetNumbers(copy.m_Root);
    for (CSystemFids* folder : folders)
        CopyOf(folder)->CountUse();
    CSystemFids* top = copy.m_Root->FindCommonTop(u32(folders.size()));
    u32 level = CopyOf(base)->DepthBelow(top);
    u32 rootCount = top->m_Trees.m_Count;
    WriteUInts(&level, 1);
    WriteUInts(&rootCount, 1);
    for (u32 i = 0; i < rootCount; ++i)
        top->m_Trees.m_Items[i]->ArchiveTree(*this);

    ForgetNumbers(copy.m_Root);
    u32 next = 0;
    top->NumberPreOrder(&next);
    for (u32 i = 0; i < count; ++i) {
        SSystemArchiveRef& ref = m_Refs.m_Items[i];
        CSystemFids* folder = ref.m_Fid->m_Folder;
        ref.m_FolderIndex = 0;
        if (!(ref.m_Fid->m_RefFlags & kSystemFidRefResourceLocal) && folder &&
            folder->GetRoot() == drive)
            ref.m_FolderIndex = u32(FidNumberMapGet(CopyOf(folder)));
    }
    for (u32 i = 0; i < count; ++i) {
        SSystemArchiveRef& ref = m_Refs.m_Items[i];
        u32 flags = ref.m_Fid->m_RefFlags;
        WriteUInts(&flags, 1);
        ref.m_Fid->ArchiveName(*this);
        WriteUInts(&ref.m_NodeIndex, 1);
        WriteBools(&ref.m_UseFile, 1);
        if (!(flags & kSystemFidRefResourceLocal))
            WriteUInts(&ref.m_FolderIndex, 1);
    }
    return true;
}

bool CSystemArchive::WriteBodyOut() {
    CClassicBuffer* stream = GetBuffer();
    if (m_Compressed)
        return stream->WriteLzoBlock(*m_Body);
    const u32 size = m_Body->GetSize();
    return size == 0 || stream->Write(m_Body->GetData(), size) == size;
}

bool CSystemArchive::Save(CMwNod* mainNod, CClassicBuffer* stream) {
    if (m_SaveFlags == 0 && m_CurrentFid)
        SetSaveFlags((m_CurrentFid->IsText() ? kSystemArchiveSaveText : 0) |
                     (m_CurrentFid->IsCompressed() ? kSystemArchiveSaveCompressed : 0));
    // A write that a stream refuses throws out of the archive call: the image is incomplete.
    try {
        WriteBody(mainNod);
        CStreamSwap swap(*this, stream);
        WriteHeader();
        return WriteRefs() && WriteBodyOut();
    } catch (const CClassicBufferException&) {
    } catch (const std::bad_alloc&) {
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Reading

bool CSystemArchive::ReadHeader() {
    m_Writing = 0;
    u8 magic[3];
    ReadRaw(magic, sizeof magic);
    if (std::memcmp(magic, "ZUN", 3) != 0) {
        CClassicWideString name;
        ClassicLogFormatLine("Wrong .Zun format : %s",
                             GetFileName(name) ? name.GetNarrow().GetText() : "<fid not fidfile>");
        return false;
    }
    u8 version[2];
    ReadRaw(version, sizeof version);
    m_Version = u16(version[0] | version[1] << 8);
    if (m_Version < kSystemArchiveOldestVersion || m_Version > kSystemArchiveVersion)
        return false;
    m_HeaderVersionRead = true;

    u8 letters[4] = {0, 0, 0, 'E'};
    ReadRaw(letters, m_Version >= 4 ? 4 : 3);
    m_Text = letters[0] == 'T' ? 1 : 0;
    m_SecondLetterC = letters[1] == 'C';
    m_Compressed = letters[2] == 'C';
    m_Release = letters[3] == 'R' ? 1 : 0;

    ReadUIntsHex(&m_MainClassId, 1);
    if (m_Version >= 6) {
        if (m_CurrentFid) {
            m_CurrentFid->ArchiveHeaderBlob(*this);
        } else {
            CSystemFid scratch;
            scratch.ArchiveHeaderBlob(*this);
        }
    } else if (m_CurrentFid) {
        m_CurrentFid->SetNoBlob();
    }
    ReadUInts(&m_NodeCount, 1);
    if (m_NodeCount > kSystemArchiveMaxNodes)
        FailRead("a node count above the limit", m_NodeCount);
    if (m_CurrentFid) {
        m_CurrentFid->m_ContentClassId = m_MainClassId;
        m_CurrentFid->SetFormat(m_Text, m_Compressed);
    }
    return true;
}

bool CSystemArchive::ReadRefs() {
    m_Refs.m_Count = 0;
    u32 count = 0;
    ReadUInts(&count, 1);
    if (count == 0)
        return true;
    CheckReadSize(count, kSystemArchiveMaxRefs);

    // The folder the file lies in: its own, or for a memory image (or a file without folder) the
    // data folder, else the local drive, else an empty drive made for the read.
    CSystemFids* own = m_CurrentFid ? m_CurrentFid->m_Folder : nullptr;
    CSystemFids* data = m_Engine ? m_Engine->GetDataFolder() : nullptr;
    if (!own || (m_CurrentFid->m_RefFlags & kSystemFidRefMemory)) {
        own = data ? data : m_Engine ? m_Engine->m_LocalDrive : nullptr;
        if (!own) {
            if (!m_EmptyDrive)
                m_EmptyDrive = new CSystemFidsDrive;
            own = m_EmptyDrive;
        }
    }
    u32 level = 0;
    ReadUInts(&level, 1);
    CSystemFids* root = own->NthAncestor(level);
    // The folder records name folders inside the file's own area: a resource file's inside the
    // resource folder, any other's (memory images from outside included) inside the data
    // folder. Only an image this engine made for a copy may lie above it.
    const u32 flags = m_CurrentFid ? m_CurrentFid->m_RefFlags : 0;
    CSystemFids* area = data;
    if ((flags & kSystemFidRefFile) && (flags & kSystemFidRefResourceLocal) && m_Engine &&
        m_Engine->m_ResourceFolder)
        area = m_Engine->m_ResourceFolder;
    const bool confined = !m_EngineImage || !(flags & kSystemFidRefMemory);
    if (area && (!root || (confined && !area->IsAncestorOf(root))))
        root = area;
    if (!root)
        FailRead("an ancestor level above the top folder", level);
    ReadFolderTree(root);

    m_Refs.Reserve(count);
    for (u32 i = 0; i < count; ++i) {
        SSystemArchiveRef record;
        ReadRefRecord(record);
        m_Refs.Add(record);
        if (!SystemArchiveRefResolver().Resolve(*this, m_Refs.m_Items[i]))
            return false;
    }
    return true;
}

void CSystemArchive::ReadFolderTree(CSystemFids* root) {
    // The records are read below a scratch root, numbered in pre-order (the scratch root is 0),
    // then merged into the tree under the reference root: a folder that is there already takes
    // the place of the one read, which goes.
    SScratchTree read;
    read.m_Root = new CSystemFids;
    read.m_Root->ArchiveTree(*this);
    u32 next = 0;
    read.m_Root->NumberPreOrder(&next);
    // Merging compares each folder read with its siblings: a table of more folders than any
    // file refers to is damaged data.
    if (next - 1 > kSystemArchiveMaxFolders) {
        ForgetNumbers(read.m_Root);
        FailRead("a folder table above the limit", next - 1);
    }
    m_FolderIndex.SetCount(next);
    std::fill_n(m_FolderIndex.m_Items, next, nullptr);
    read.m_Root->FillIndex(m_FolderIndex);
    m_FolderIndex.m_Items[0] = root;
    // From here the map holds only the folders merged into others.
    ForgetNumbers(read.m_Root);

    root->MergeLoaded(read.m_Root->m_Trees);
    std::vector<CSystemFids*> merged;
    for (u32 i = 1; i < next; ++i) {
        CSystemFids* folder = m_FolderIndex.m_Items[i];
        auto* same = reinterpret_cast<CSystemFids*>(FidNumberMapGet(folder));
        if (!same)
            continue;
        FidNumberMapSet(folder, 0);
        merged.push_back(folder);
        m_FolderIndex.m_Items[i] = same;
    }
    // Deepest first: each goes with nothing left below it.
    for (auto it = merged.rbegin(); it != merged.rend(); ++it)
        delete *it;
}

void CSystemArchive::ReadRefRecord(SSystemArchiveRef& record) {
    u32 flags = 0;
    ReadUInts(&flags, 1);
    CSystemFidFactory* factory = m_Engine ? m_Engine->m_FidFactory : nullptr;
    std::unique_ptr<CSystemFid> fid;
    if (factory)
        fid.reset(factory->NewFid(flags));
    else if (flags & kSystemFidRefFile)
        fid.reset(new CSystemFidFile);
    else
        fid.reset(new CSystemFidMemory);
    fid->m_RefFlags = flags;
    fid->ArchiveName(*this);
    if (fid->IsKindOf(CSystemFidFile::s_ClassId)) {
        auto* file = static_cast<CSystemFidFile*>(fid.get());
        if (flags & kSystemFidRefResourceLocal) {
            if (!IsResourceFileIndex(file->m_ResourceIndex))
                FailRead("a reference to a resource index that names no file",
                         file->m_ResourceIndex);
        } else if (!IsPlainFileName(file->m_FileName)) {
            FailRead("a reference whose file name is not a plain name",
                     file->m_FileName.GetLength());
        }
    }
    ReadUInts(&record.m_NodeIndex, 1);
    if (record.m_NodeIndex == 0 || record.m_NodeIndex >= m_NodeCount)
        FailRead("a reference with a node index outside the node table", record.m_NodeIndex);
    record.m_UseFile = 0;
    if (m_Version >= 5) {
        ReadBools(&record.m_UseFile, 1);
        record.m_UseFile = record.m_UseFile ? 1 : 0;
    }
    if (!(flags & kSystemFidRefResourceLocal)) {
        ReadUInts(&record.m_FolderIndex, 1);
        if (record.m_FolderIndex >= m_FolderIndex.m_Count)
            FailRead("a reference with a folder index outside the folder table",
                     record.m_FolderIndex);
        fid->m_Folder = m_FolderIndex.m_Items[record.m_FolderIndex];
    }
    record.m_Fid = fid.release();
    record.m_Nod = nullptr;
}

void CSystemArchive::PrepareNodeTable() {
    if (m_NodeCount == 0)
        FailRead("a body without a node table", 0);
    // Every entry but the main nod's appears in the body at least once, as an index of a line or
    // four bytes at least.
    CClassicBuffer* stream = GetBuffer();
    if (stream->CanSeek()) {
        const u32 size = stream->GetSize(), position = stream->GetPosition();
        const u32 left = size > position ? size - position : 0;
        if (m_NodeCount - 1 > left / 3)
            FailRead("a node count above what the body can hold", m_NodeCount);
    }
    TakeSpare(m_Nodes, s_Spare.m_Nodes);
    TakeSpare(m_CreatedNods, s_Spare.m_Created);
    m_Nodes.m_Count = 0;
    m_Nodes.Reserve(m_NodeCount);
    std::fill_n(m_Nodes.m_Items, m_NodeCount, SSystemArchiveNode{});
    m_Nodes.m_Count = m_NodeCount;
    // Every inline nod has an entry of its own.
    m_CreatedNods.Reserve(m_NodeCount);
    m_InlineFactory = nullptr;
    for (u32 i = 0; i < m_Refs.m_Count; ++i) {
        const SSystemArchiveRef& ref = m_Refs.m_Items[i];
        SSystemArchiveNode& entry = m_Nodes.m_Items[ref.m_NodeIndex];
        if (entry.m_Reference)
            FailRead("two references with one node index", ref.m_NodeIndex);
        entry.m_Reference = ref.m_UseFile ? 2 : 1;
        if (ref.m_UseFile) {
            entry.m_Object = ref.m_Fid;
            continue;
        }
        CMwNod* nod = ref.m_Nod;
        if (!nod && ref.m_Fid)
            nod = ref.m_Fid->GetNodFor(*CurrentParamSet());
        entry.m_Object = nod;
        if (nod && m_Guard) {
            m_Guard->Keep(nod);
            entry.m_Hold = 1;
        }
    }
}

void CSystemArchive::ReleaseHeldNodes() {
    // A referenced nod stays as it is (bound to its file id), unless the body let go of the last
    // reference to it, which unbound it: it then goes, as it would have gone then.
    for (u32 i = 0; i < m_Nodes.m_Count; ++i) {
        SSystemArchiveNode& entry = m_Nodes.m_Items[i];
        if (!entry.m_Hold)
            continue;
        entry.m_Hold = 0;
        m_Guard->Free(entry.m_Object);
    }
}

bool CSystemArchive::ReadBody(CMwNod* mainNod) {
    CClassicBuffer* stream = GetBuffer();
    if (m_LoadMode == kSystemArchiveLoadRawBody) {
        if (!m_Body)
            m_Body = g_ClassicBufferPool.Take();
        m_Body->Clear();
        if (stream->CanSeek()) {
            const u32 size = stream->GetSize(), position = stream->GetPosition();
            const u32 left = size > position ? size - position : 0;
            m_Body->Grow(left);
            if (left)
                ReadRaw(m_Body->GetData(), left);
        } else {
            u8 piece[4096];
            u32 got;
            while ((got = stream->Read(piece, sizeof piece)) > 0)
                m_Body->Write(piece, got);
        }
        m_Body->Rewind();
        return true;
    }
    if (!mainNod)
        return false;

    CClassicBufferMemory* block = nullptr;
    if (m_Compressed) {
        const CMwCmdBufferCoreEntry entry(1);
        block = stream->ReadLzoBlock();
        if (!block)
            return false;
    }
    const CClassicPooledBuffer held(block);
    std::optional<CStreamSwap> swap;
    if (block)
        swap.emplace(*this, block);
    // Referenced nods held for the body are given back however it ends.
    struct SRelease {
        CSystemArchive* m_Archive;
        ~SRelease() { m_Archive->ReleaseHeldNodes(); }
    } release{this};
    PrepareNodeTable();
    m_Nodes.m_Items[0].m_Object = mainNod;
    mainNod->Archive(*this);
    return true;
}

bool CSystemArchive::Load(CClassicBuffer* stream, CMwNod** out) {
    *out = nullptr;
    m_CreatedNods.m_Count = 0;
    m_LoadedNods.m_Count = 0;
    // The whole file is read into memory first: every read past its end then fails at once.
    CClassicPooledBuffer image;
    CClassicBuffer* source = stream;
    if (!dynamic_cast<CClassicBufferMemory*>(stream)) {
        u8 piece[16384];
        u32 got;
        while ((got = stream->Read(piece, sizeof piece)) > 0)
            if (image->Write(piece, got) != got)
                return false;
        image->Rewind();
        source = image.Get();
    }
    CStreamSwap swap(*this, source);
    const CSystemParamStackScope scope;
    // The loads of referenced files nested in this one hand their nods to it.
    struct SNesting {
        CSystemArchive* m_Archive;
        explicit SNesting(CSystemArchive* archive) : m_Archive(archive) {
            archive->m_OuterLoad = s_InnermostLoad;
            s_InnermostLoad = archive;
        }
        ~SNesting() {
            s_InnermostLoad = m_Archive->m_OuterLoad;
            m_Archive->m_OuterLoad = nullptr;
        }
        SNesting(const SNesting&) = delete;
        SNesting& operator=(const SNesting&) = delete;
    } nesting(this);
    CSystemLoadGuard guard;
    m_Guard = &guard;
    CBeingRead mainRead;
    CMwNod* mainNod = nullptr;
    bool done = false;
    try {
        if (ReadHeader()) {
            CSystemFid* taken = nullptr;
            if (m_LoadMode != kSystemArchiveLoadRawBody) {
                mainNod = CreateArchiveNod(m_MainClassId);
                if (!mainNod)
                    FailRead("a main nod of a class that cannot be created", m_MainClassId);
                m_LoadMain = mainNod;
                guard.Keep(mainNod);
                mainRead.Start(mainNod);
                if (m_CurrentFid)
                    taken = m_ParamLoad.Prepare(m_CurrentFid, mainNod);
            }
            done = ReadRefs() && (!(m_LoadMode & kSystemArchiveLoadBodyBits) || ReadBody(mainNod));
            if (done && mainNod && taken)
                m_ParamLoad.Complete(taken, mainNod);
        }
    } catch (const CClassicBufferException& e) {
        CClassicWideString name;
        ClassicLogFormatLine("[Sys] Archive %s not loaded: damaged or truncated data (%d)",
                             GetFileName(name) ? name.GetNarrow().GetText() : "<memory>", e.m_Code);
        done = false;
    } catch (const std::bad_alloc&) {
        CClassicWideString name;
        ClassicLogFormatLine("[Sys] Archive %s not loaded: out of memory",
                             GetFileName(name) ? name.GetNarrow().GetText() : "<memory>");
        done = false;
    }
    mainRead.End();
    // A main nod destroyed while the load ran is no result.
    if (mainNod && !m_LoadMain) {
        mainNod = nullptr;
        done = false;
    }
    EndLoad(mainNod, done);
    m_Guard = nullptr;
    m_LoadMain = nullptr;
    if (!done)
        return false;
    *out = mainNod;
    return true;
}

void CSystemArchive::EndLoad(CMwNod* mainNod, bool kept) {
    for (u32 i = 0; i < m_Nodes.m_Count; ++i)
        m_Nodes.m_Items[i] = {};
    CSystemLoadGuard& guard = *m_Guard;
    if (!kept) {
        // The main nod goes first (its members give back what they hold), then the inline nods
        // and the referenced files' nods, newest first: each goes unless something outside the
        // load holds it. A main nod held that way stays, but not as the file's nod: the next load
        // reads the file again.
        if (mainNod) {
            CSystemEngine::DetachNodFromFid(mainNod);
            guard.Free(mainNod);
        }
        guard.FreeEach(m_CreatedNods);
        for (u32 i = m_LoadedNods.m_Count; i-- > 0;)
            if (CMwNod* nod = m_LoadedNods.m_Items[i]; nod && nod->GetRefCount() == 0)
                CSystemEngine::DetachNodFromFid(nod);
        guard.FreeEach(m_LoadedNods);
        return;
    }
    // The inline nods that nobody took go.
    guard.FreeEach(m_CreatedNods);
    // The main nod and the referenced files' nods stay as loaded, or kept by the outer load. A
    // referenced nod that the body let go of (and so unbound) goes, as it would have gone then.
    if (m_OuterLoad) {
        if (mainNod)
            m_LoadedNods.Add(mainNod);
        for (u32 i = 0; i < m_LoadedNods.m_Count; ++i) {
            if (CMwNod* nod = m_LoadedNods.m_Items[i]) {
                m_OuterLoad->m_Guard->Keep(nod);
                m_OuterLoad->m_LoadedNods.Add(nod);
                guard.Leave(nod);
            }
        }
        m_LoadedNods.m_Count = 0;
        return;
    }
    if (mainNod)
        guard.Leave(mainNod);
    guard.FreeEach(m_LoadedNods);
}

void CSystemArchive::KeepForLoadInProgress(CMwNod* nod) {
    if (!s_InnermostLoad || !s_InnermostLoad->m_Guard || !nod)
        return;
    s_InnermostLoad->m_Guard->Keep(nod);
    s_InnermostLoad->m_LoadedNods.Add(nod);
}

void CSystemArchive::ForgetDestroyedNodEverywhere(CMwNod* nod) {
    for (CSystemArchive* load = s_InnermostLoad; load; load = load->m_OuterLoad)
        if (load->m_Guard)
            load->ForgetDestroyedNod(nod);
}

void CSystemArchive::ForgetDestroyedNod(CMwNod* nod) {
    if (m_LoadMain == nod)
        m_LoadMain = nullptr;
    for (CFastBuffer<CMwNod*>* list : {&m_CreatedNods, &m_LoadedNods})
        for (u32 i = 0; i < list->m_Count; ++i)
            if (list->m_Items[i] == nod)
                list->m_Items[i] = nullptr;
    for (u32 i = 0; i < m_Nodes.m_Count; ++i) {
        SSystemArchiveNode& entry = m_Nodes.m_Items[i];
        if (entry.m_Object == nod && entry.m_Reference != 2)
            entry = {nullptr, 0, 0, kDestroyedEntry};
    }
}
