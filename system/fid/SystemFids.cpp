#include "system/fid/SystemFids.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwVirtualMember.h"
#include "platform/File.h"
#include "platform/HostPath.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/PlugFileServices.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFidNumberMap.h"
#include "system/file/FileSystem.h"
#include "system/file/PathHelpers.h"

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#define CSYSTEMFIDS_MEMBERS(X)                                                                     \
    X(Buffer, 0x0B009000, "Trees", MW_FIELD(m_Trees), "Folders", 0x01, 0x3F82, MwType_Class, 0x1,  \
      "Folder", &CSystemFids::s_ClassInfo)                                                         \
    X(Buffer, 0x0B009001, "Leaves", MW_FIELD(m_Leaves), "Files", 0x01, 0x3F82, MwType_Class, 0x1,  \
      "File", &CSystemFid::s_ClassInfo)

#define CSYSTEMFIDSFOLDER_MEMBERS(X)                                                               \
    X(Natural, 0x0B00B000, "ByteSize", MW_VIRTUAL(""), "Size (Kb)", 0x11, 0x1380)                  \
    X(Natural, 0x0B00B001, "ByteSizeEd", MW_VIRTUAL(""), "Size (variable unit)", 0x11, 0x3F80)     \
    X(StringInt, 0x0B00B002, "DirName", MW_FIELD(m_DirName), "Dir name", 0x01, 0x1380)             \
    X(StringInt, 0x0B00B003, "FullDirName", MW_VIRTUAL(""), "Full dir name", 0x11, 0x1380)

MW_DEFINE_CLASS(CSystemFids, MwFactory<CSystemFids>, CSYSTEMFIDS_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CSystemFidsFolder, MwFactory<CSystemFidsFolder>, CSYSTEMFIDSFOLDER_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CSystemFidsDrive, MwFactory<CSystemFidsDrive>, MW_NO_MEMBERS, MW_NO_CHUNKS);

u32 g_SystemFidsSizeUnit = 1;

bool SystemFidsKeepTotals() {
    const CSystemEngine* engine = GetSystemEngine();
    return !engine || engine->m_KeepFolderTotals;
}

u64 SystemFidsSizeUnitDivisor() {
    static constexpr u64 kUnits[] = {1, 1024, 1048576, 1073741824, 1099511627776};
    return g_SystemFidsSizeUnit < 5 ? kUnits[g_SystemFidsSizeUnit] : 1;
}

namespace {

using View = std::u16string_view;

// FNV-1a over the ASCII-folded code units.
u64 FoldedHash(View name) {
    u64 hash = 14695981039346656037ull;
    for (char16_t c : name)
        hash = (hash ^ ClassicToLower(c)) * 1099511628211ull;
    return hash;
}

View ToView(CClassicWideStringRef text) {
    return View(text.m_Text, text.m_Length);
}

bool EqualsNoCase(View a, View b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ClassicToLower(a[i]) != ClassicToLower(b[i]))
            return false;
    return true;
}

bool StartsWithNoCase(View text, View prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// Ignoring case first, then by code units, so that the order never depends on the input's.
bool LessNoCase(View a, View b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const char16_t x = ClassicToLower(a[i]), y = ClassicToLower(b[i]);
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

// The names of a listing found again ignoring case: open addressing over their indices. Of names
// equal ignoring case (case twins) the first is entered, the others chained behind it; each name
// can be marked taken. In a listing sorted as the host sorts, the first twin is the one an open
// of a spelling that is not on disk reaches.
class CFoldedIndex {
public:
    static constexpr u32 s_None = 0xFFFFFFFF;

    explicit CFoldedIndex(const CFastBuffer<CClassicWideString>& names)
        : m_Names(names), m_Next(names.m_Count, s_None), m_Taken(names.m_Count, 0) {
        u32 capacity = 16;
        while (capacity < 2 * u64(names.m_Count))
            capacity *= 2;
        m_Slots.assign(capacity, s_None);
        for (u32 i = 0; i < names.m_Count; ++i) {
            u32* slot = Slot(ToView(names.m_Items[i]));
            if (*slot == s_None) {
                *slot = i;
                continue;
            }
            m_Next[i] = m_Next[*slot];
            m_Next[*slot] = i;
        }
    }

    // The index of the first name equal to the name ignoring case, or s_None.
    u32 Find(View name) const { return *const_cast<CFoldedIndex*>(this)->Slot(name); }
    // The index of the name spelled exactly so, or s_None.
    u32 FindExact(View name) const {
        for (u32 i = Find(name); i != s_None; i = m_Next[i])
            if (ToView(m_Names.m_Items[i]) == name)
                return i;
        return s_None;
    }
    bool IsTaken(u32 index) const { return m_Taken[index]; }
    // The listed names the entries of the list are spelled as are taken: they are theirs before
    // any other entry stands for them.
    template <class T>
    void TakeSpelled(const CFastBuffer<T*>& list, View (*nameOf)(T*)) {
        for (u32 i = 0; i < list.m_Count; ++i)
            if (const u32 found = FindExact(nameOf(list.m_Items[i])); found != s_None)
                m_Taken[found] = 1;
    }
    // The listed name an entry of that name stands for, taken: the name spelled so, else the
    // first of its case twins, which an open of the name reaches. s_None when none.
    u32 TakeFor(View name) {
        u32 found = FindExact(name);
        if (found == s_None)
            found = Find(name);
        if (found != s_None)
            m_Taken[found] = 1;
        return found;
    }

private:
    // The slot holding the name, or the empty slot where it would go.
    u32* Slot(View name) {
        const u32 mask = u32(m_Slots.size() - 1);
        for (u32 i = u32(FoldedHash(name)) & mask;; i = (i + 1) & mask) {
            const u32 held = m_Slots[i];
            if (held == s_None || EqualsNoCase(ToView(m_Names.m_Items[held]), name))
                return &m_Slots[i];
        }
    }

    const CFastBuffer<CClassicWideString>& m_Names;
    std::vector<u32> m_Slots;
    // The next twin of each name.
    std::vector<u32> m_Next;
    std::vector<u8> m_Taken;
};

// The name of a file id of the file kind, null for the other kinds.
CClassicWideString* FileNameOf(CSystemFid* fid) {
    return fid && fid->IsKindOf(CSystemFidFile::s_ClassId)
               ? &static_cast<CSystemFidFile*>(fid)->m_FileName
               : nullptr;
}

CSystemFidFile* AsFile(CSystemFid* fid) {
    return fid && fid->IsKindOf(CSystemFidFile::s_ClassId) ? static_cast<CSystemFidFile*>(fid)
                                                           : nullptr;
}

// A file id whose file may be missing: a loader reads it (a container's entry), or it is an entry
// of the resource table (the only resource-local file ids in a tree), which names files that need
// not exist and must outlive every refresh.
bool StandsForAbsentFile(CSystemFid* fid) {
    return fid->GetLoader() || (fid->m_RefFlags & kSystemFidRefResourceLocal);
}

View LeafName(CSystemFid* fid) {
    const CClassicWideString* name = FileNameOf(fid);
    return name ? ToView(*name) : View();
}

View FolderName(CSystemFids* folder) {
    const CClassicWideString* name = folder->GetDirNameRef();
    return name ? ToView(*name) : View();
}

// A name a folder can have: not empty, not "." or "..", without a backslash or a NUL. Such
// components would make a folder whose path names another one (or none).
bool IsFolderName(View name) {
    return !name.empty() && name != u"." && name != u".." &&
           name.find_first_of(View(u"\\\0", 2)) == View::npos;
}

bool IsFileName(View name) {
    return !name.empty() && name != u"." && name != u"..";
}

// The component without its trailing separators.
CClassicWideString ComponentName(CClassicWideStringRef component) {
    CClassicWideString name(component);
    StripTrailingSlashes(name);
    return name;
}

// The path with '/' read as '\'.
CClassicWideString Slashed(CClassicWideStringRef path) {
    CClassicWideString walk(path);
    char16_t* text = walk.GetText();
    for (u32 i = 0; i < walk.GetLength(); ++i)
        if (text[i] == u'/')
            text[i] = u'\\';
    return walk;
}

// The name a file id made from the component gets (SetFileName normalises it): lookups compare
// with it, so that a name the normaliser changes still finds its file id.
CClassicWideString StoredFileName(CClassicWideStringRef component) {
    CClassicWideString name(component);
    NormalizePathFlags(name, kPathFlagsFile);
    return name;
}

// A name listed on disk that a file id or folder would spell differently (the normaliser would
// change it) would name another file. Names without the characters the normaliser looks at are
// kept as they are.
bool IsSpellable(const CClassicWideString& name) {
    const View text = ToView(name);
    if (text.find_first_of(u"\"*<>|:/\\?") == View::npos)
        return true;
    return text.find(u'\\') == View::npos && ToView(StoredFileName(name)) == text;
}

// Leaves out the names the engine cannot spell, with a log line for each.
void KeepSpellable(CClassicWideStringRef folder, CFastBuffer<CClassicWideString>& names) {
    u32 kept = 0;
    for (u32 i = 0; i < names.m_Count; ++i) {
        if (!IsSpellable(names.m_Items[i])) {
            g_ClassicLogLine.Assign("[Sys] Left out of the folder tree, its name cannot be "
                                    "spelled: ");
            ClassicLogAppendWideText(g_ClassicLogLine, folder);
            ClassicLogAppendWideText(g_ClassicLogLine, names.m_Items[i]);
            g_ClassicLogLine.Append("\r\n");
            ClassicLogWriteLine();
            continue;
        }
        if (kept != i)
            names.m_Items[kept] = std::move(names.m_Items[i]);
        ++kept;
    }
    names.m_Count = kept;
}

// Sorts the list by the names ignoring case (then by code units), each name taken once.
template <class T>
void SortByName(CFastBuffer<T*>& list, View (*nameOf)(T*)) {
    std::vector<std::pair<View, T*>> named;
    named.reserve(list.m_Count);
    for (u32 i = 0; i < list.m_Count; ++i)
        named.emplace_back(nameOf(list.m_Items[i]), list.m_Items[i]);
    const auto less = [](const auto& a, const auto& b) { return LessNoCase(a.first, b.first); };
    // A refresh that changed nothing finds the list in order.
    if (std::is_sorted(named.begin(), named.end(), less))
        return;
    std::sort(named.begin(), named.end(), less);
    for (u32 i = 0; i < list.m_Count; ++i)
        list.m_Items[i] = named[i].second;
}

// The file the name stands for: the file id of that very spelling, else one of a case twin that
// is the same file (NamesOneEntry).
CSystemFidFile* FindFileLeafByName(CSystemFids* folder, View name) {
    if (CSystemFidFile* exact = folder->FindFileLeaf(
            name,
            [](CSystemFidFile* file, const void* wanted) {
                return ToView(file->m_FileName) == *static_cast<const View*>(wanted);
            },
            &name))
        return exact;
    struct SWanted {
        CSystemFids* Folder;
        CClassicWideStringRef Name;
    } wanted{folder, CClassicWideStringRef(name.data(), u32(name.size()))};
    return folder->FindFileLeaf(
        name,
        [](CSystemFidFile* file, const void* context) {
            const auto* w = static_cast<const SWanted*>(context);
            return NamesOneEntry(w->Folder, file->m_FileName, w->Name);
        },
        &wanted);
}

// The sub-folder the name stands for: the one of that very spelling, else one of a case twin that
// is the same folder (NamesOneEntry).
CSystemFids* FindNamedSubFolder(CSystemFids* folder, View name) {
    for (u32 i = 0; i < folder->m_Trees.m_Count; ++i) {
        const CClassicWideString* subName = folder->m_Trees.m_Items[i]->GetDirNameRef();
        if (subName && ToView(*subName) == name)
            return folder->m_Trees.m_Items[i];
    }
    const CClassicWideStringRef ref(name.data(), u32(name.size()));
    for (u32 i = 0; i < folder->m_Trees.m_Count; ++i) {
        const CClassicWideString* subName = folder->m_Trees.m_Items[i]->GetDirNameRef();
        if (subName && NamesOneEntry(folder, *subName, ref))
            return folder->m_Trees.m_Items[i];
    }
    return nullptr;
}

void SetDriveBelow(CSystemFids* folder, CSystemFids* drive) {
    folder->m_Drive = drive;
    for (u32 i = 0; i < folder->m_Trees.m_Count; ++i)
        SetDriveBelow(folder->m_Trees.m_Items[i], drive);
}

void ClearDrivePointers(CSystemFids* folder, const CSystemFids* drive) {
    for (u32 i = 0; i < folder->m_Trees.m_Count; ++i) {
        CSystemFids* sub = folder->m_Trees.m_Items[i];
        if (sub->m_Drive == drive)
            sub->m_Drive = nullptr;
        ClearDrivePointers(sub, drive);
    }
}

template <class T>
bool RemoveFrom(CFastBuffer<T*>& list, T* item) {
    for (u32 i = 0; i < list.m_Count; ++i) {
        if (list.m_Items[i] == item) {
            list.FastRemove(i, 1);
            return true;
        }
    }
    return false;
}

// Damaged folder records: a log line, then the read fails.
[[noreturn]] void FailTreeRead(const char* why, u32 value) {
    ClassicLogFormatLine("[Sys] Folder tree of the archive refused: %s (%u)", why, value);
    throw CClassicBufferException(kClassicBufferErrorBadData);
}

// How deep the folder records being read lie; the count goes down again when a record ends, also
// when the read fails.
constinit u32 s_TreeReadDepth = 0;
// The folders made by the tree read under way.
constinit u32 s_TreeReadFolders = 0;

class CTreeReadLevel {
public:
    CTreeReadLevel() {
        if (s_TreeReadDepth >= kSystemFidsMaxArchivedDepth)
            FailTreeRead("folders nested too deep", s_TreeReadDepth + 1);
        if (s_TreeReadDepth == 0)
            s_TreeReadFolders = 0;
        ++s_TreeReadDepth;
    }
    ~CTreeReadLevel() { --s_TreeReadDepth; }
    CTreeReadLevel(const CTreeReadLevel&) = delete;
    CTreeReadLevel& operator=(const CTreeReadLevel&) = delete;
};

} // namespace

// The folders met by a recursive refresh, by their identity on disk.
struct CSystemFids::SRefresh {
    std::set<std::pair<u64, u64>> m_Visited;
};

bool FileExistsInFolder(CClassicWideStringRef name, CSystemFids* folder) {
    CClassicWideString path;
    folder->GetFullDirName(path);
    path.Append(name);
    return FileExists(path);
}

bool FolderExistsInFolder(CClassicWideStringRef name, CSystemFids* folder) {
    CClassicWideString path;
    folder->GetFullDirName(path);
    path.Append(name);
    return FolderExists(path);
}

bool NamesOneEntry(CSystemFids* folder, CClassicWideStringRef a, CClassicWideStringRef b) {
    const View first = ToView(a), second = ToView(b);
    if (first == second)
        return true;
    if (!EqualsNoCase(first, second))
        return false;
    // Case twins: only the disk tells them apart.
    CClassicWideString pathA, pathB;
    if (folder) {
        folder->GetFullDirName(pathA);
        if (pathA.IsEmpty())
            return true;
    }
    pathB = pathA;
    pathA.Append(a);
    pathB.Append(b);
    return PathsNameOneEntry(pathA, pathB);
}

// ---------------------------------------------------------------------------------------------
// CSystemFids: identity and the unhooking destructor

CSystemFids::~CSystemFids() {
    if (m_Parent)
        m_Parent->RemoveTree(this);
    // Folders below a drive that goes would name it still.
    if (m_Drive == this)
        ClearDrivePointers(this, this);
    for (u32 i = 0; i < m_Trees.m_Count; ++i)
        m_Trees.m_Items[i]->m_Parent = nullptr;
    for (u32 i = 0; i < m_Leaves.m_Count; ++i)
        m_Leaves.m_Items[i]->m_Folder = nullptr;
    ForgetLeaves();
    FidNumberMapSet(this, 0);
    m_Trees.FreeItems();
}

CSystemFids* CSystemFids::NewSameKind() {
    return new CSystemFids;
}

void CSystemFids::GetFullDirName(CClassicWideString& out) {
    out.Assign(CClassicWideStringRef());
}

CSystemFids* CSystemFids::GetRoot() {
    CSystemFids* root = this;
    while (root->m_Parent)
        root = root->m_Parent;
    return root;
}

void CSystemFids::OnChanged() {
    if (m_Parent)
        m_Parent->OnChanged();
}

// ---------------------------------------------------------------------------------------------
// Leaves and sub-folders

void CSystemFids::AddLeaf(CSystemFid* fid) {
    fid->m_Folder = this;
    m_Leaves.Add(fid);
    fid->m_LeafSlot = m_Leaves.m_Count;
    if (const CClassicWideString* name = FileNameOf(fid)) {
        fid->m_NameKey = CSystemFidsNameIndex::KeyOf(ToView(*name));
        fid->m_InNameIndex = 1;
        m_NameIndex.Insert(fid, fid->m_NameKey);
    }
    OnLeafAdded(fid);
}

void CSystemFids::AddLeafIfAbsent(CSystemFid* fid) {
    if (!HasLeaf(fid))
        AddLeaf(fid);
}

void CSystemFids::RemoveLeaf(CSystemFid* fid) {
    const u32 index = LeafIndexOf(fid);
    if (index == m_Leaves.m_Count)
        return;
    // A file id on its way out is no longer of its kind: what it was entered as decides.
    if (fid->m_InNameIndex)
        m_NameIndex.Erase(fid, fid->m_NameKey);
    if (fid->m_LeafSlot == index + 1) {
        fid->m_LeafSlot = 0;
        fid->m_InNameIndex = 0;
    }
    // The last leaf takes its place.
    m_Leaves.FastRemove(index, 1);
    if (index < m_Leaves.m_Count)
        m_Leaves.m_Items[index]->m_LeafSlot = index + 1;
    fid->m_Folder = nullptr;
}

bool CSystemFids::HasLeaf(const CSystemFid* fid) const {
    return LeafIndexOf(fid) != m_Leaves.m_Count;
}

u32 CSystemFids::LeafIndexOf(const CSystemFid* fid) const {
    // A file id that is no leaf anywhere has no place; one that is a leaf here is where its
    // place says. A file id hung in two folders' lists knows its place in the later one only:
    // the other list is searched.
    if (!fid || fid->m_LeafSlot == 0)
        return m_Leaves.m_Count;
    const u32 slot = fid->m_LeafSlot;
    if (slot <= m_Leaves.m_Count && m_Leaves.m_Items[slot - 1] == fid)
        return slot - 1;
    for (u32 i = 0; i < m_Leaves.m_Count; ++i)
        if (m_Leaves.m_Items[i] == fid)
            return i;
    return m_Leaves.m_Count;
}

void CSystemFids::RenumberLeaves() {
    for (u32 i = 0; i < m_Leaves.m_Count; ++i)
        m_Leaves.m_Items[i]->m_LeafSlot = i + 1;
}

void CSystemFids::ForgetLeaves() {
    for (u32 i = 0; i < m_Leaves.m_Count; ++i) {
        CSystemFid* leaf = m_Leaves.m_Items[i];
        if (leaf->m_LeafSlot == i + 1) {
            leaf->m_LeafSlot = 0;
            leaf->m_InNameIndex = 0;
        }
    }
    m_NameIndex.Clear();
    m_Leaves.FreeItems();
}

CSystemFid* CSystemFids::FindEqualLeaf(CSystemFid* probe) {
    if (!probe)
        return nullptr;
    if (const CClassicWideString* name = FileNameOf(probe))
        return FindFileLeaf(
            ToView(*name),
            [](CSystemFidFile* leaf, const void* p) {
                return static_cast<CSystemFid*>(const_cast<void*>(p))->IsEqual(leaf);
            },
            probe);
    for (u32 i = 0; i < m_Leaves.m_Count; ++i)
        if (probe->IsEqual(m_Leaves.m_Items[i]))
            return m_Leaves.m_Items[i];
    return nullptr;
}

CSystemFidFile* CSystemFids::FindFileLeaf(View name, bool (*accept)(CSystemFidFile*, const void*),
                                          const void* context) const {
    CSystemFid* best = nullptr;
    m_NameIndex.ForEach(CSystemFidsNameIndex::KeyOf(name), [&](CSystemFid* leaf) {
        if ((!best || leaf->m_LeafSlot < best->m_LeafSlot) &&
            accept(static_cast<CSystemFidFile*>(leaf), context))
            best = leaf;
    });
    return static_cast<CSystemFidFile*>(best);
}

void CSystemFids::OnLeafRenamed(CSystemFid* fid) {
    const CClassicWideString* name = FileNameOf(fid);
    if (!name || !fid->m_InNameIndex || LeafIndexOf(fid) == m_Leaves.m_Count)
        return;
    m_NameIndex.Erase(fid, fid->m_NameKey);
    fid->m_NameKey = CSystemFidsNameIndex::KeyOf(ToView(*name));
    m_NameIndex.Insert(fid, fid->m_NameKey);
}

// ---------------------------------------------------------------------------------------------
// The name index

u32 CSystemFidsNameIndex::KeyOf(View name) {
    const u64 hash = FoldedHash(name);
    return u32(hash ^ (hash >> 32));
}

void CSystemFidsNameIndex::Insert(CSystemFid* fid, u32 key) {
    // At most half full.
    if (2 * (u64(m_Count) + 1) > m_Slots.size())
        Grow();
    const u32 mask = u32(m_Slots.size() - 1);
    u32 i = key & mask;
    while (m_Slots[i].Fid)
        i = (i + 1) & mask;
    m_Slots[i] = {fid, key};
    ++m_Count;
}

void CSystemFidsNameIndex::Erase(CSystemFid* fid, u32 key) {
    if (m_Slots.empty())
        return;
    const u32 mask = u32(m_Slots.size() - 1);
    for (u32 i = key & mask; m_Slots[i].Fid; i = (i + 1) & mask)
        if (m_Slots[i].Fid == fid)
            return EraseAt(i);
    // Entered under another key (its name changed unannounced): never left behind to dangle.
    for (u32 i = 0; i < m_Slots.size(); ++i)
        if (m_Slots[i].Fid == fid)
            return EraseAt(i);
}

void CSystemFidsNameIndex::EraseAt(u32 slot) {
    // Backward shift: each later entry of the run whose home is not between the hole and itself
    // moves into the hole, so that no probe stops short of it.
    const u32 mask = u32(m_Slots.size() - 1);
    for (u32 j = (slot + 1) & mask; m_Slots[j].Fid; j = (j + 1) & mask) {
        const u32 home = m_Slots[j].Key & mask;
        const bool stays = slot <= j ? slot < home && home <= j : slot < home || home <= j;
        if (stays)
            continue;
        m_Slots[slot] = m_Slots[j];
        slot = j;
    }
    m_Slots[slot] = {};
    --m_Count;
}

void CSystemFidsNameIndex::Grow() {
    std::vector<SSlot> old;
    old.swap(m_Slots);
    m_Slots.assign(old.empty() ? 16 : old.size() * 2, SSlot{});
    m_Count = 0;
    for (const SSlot& entry : old)
        if (entry.Fid)
            Insert(entry.Fid, entry.Key);
}

void CSystemFidsNameIndex::Clear() {
    std::vector<SSlot>().swap(m_Slots);
    m_Count = 0;
}

void CSystemFids::AddTree(CSystemFids* folder) {
    // Hanging in two lists, a folder would be deleted twice; above itself, it would make a loop.
    if (!folder || folder->IsAncestorOf(this))
        return;
    if (folder->m_Parent == this)
        return;
    if (folder->m_Parent)
        folder->m_Parent->RemoveTree(folder);
    folder->m_Parent = this;
    // A folder comes with its sub-folders (a tree read from an archive): all of them are on this
    // drive from now on.
    SetDriveBelow(folder, m_Drive);
    m_Trees.Add(folder);
    OnTreeAdded(folder);
}

void CSystemFids::RemoveTree(CSystemFids* folder) {
    if (RemoveFrom(m_Trees, folder))
        folder->m_Parent = nullptr;
}

bool CSystemFids::IsAncestorOf(const CSystemFids* folder) const {
    for (; folder; folder = folder->m_Parent)
        if (folder == this)
            return true;
    return false;
}

void CSystemFids::Pin() {
    for (CSystemFids* folder = this; folder; folder = folder->m_Parent)
        folder->m_Pinned = 1;
}

// ---------------------------------------------------------------------------------------------
// Walks

CSystemFids* CSystemFids::FindOrAddSubFolder(CClassicWideStringRef component, u32* created,
                                             bool adoptSpelling) {
    const CClassicWideString name = ComponentName(component);
    if (!IsFolderName(ToView(name)))
        return nullptr;
    if (CSystemFids* sub = FindNamedSubFolder(this, ToView(name))) {
        if (adoptSpelling && sub->IsKindOf(CSystemFidsFolder::s_ClassId))
            static_cast<CSystemFidsFolder*>(sub)->m_DirName = name;
        return sub;
    }
    auto* folder = new CSystemFidsFolder;
    folder->m_DirName = name;
    AddTree(folder);
    if (created)
        ++*created;
    return folder;
}

CSystemFids* CSystemFids::FindSubFolder(CClassicWideStringRef component, bool addIfOnDisk) {
    const CClassicWideString name = ComponentName(component);
    if (!IsFolderName(ToView(name)))
        return nullptr;
    if (CSystemFids* sub = FindNamedSubFolder(this, ToView(name)))
        return sub;
    if (!addIfOnDisk)
        return nullptr;
    // A folder without a path on disk (the base) has nothing on disk below it.
    CClassicWideString path;
    GetFullDirName(path);
    if (path.IsEmpty())
        return nullptr;
    path.Append(name);
    if (!FolderExists(path))
        return nullptr;
    auto* folder = new CSystemFidsFolder;
    folder->m_DirName = name;
    AddTree(folder);
    return folder;
}

CSystemFid* CSystemFids::FindOrAddFid(CClassicWideStringRef path, u32* created,
                                      bool adoptSpelling) {
    if (created)
        *created = 0;
    const CClassicWideString walk = Slashed(path);
    CSystemFids* folder = this;
    CClassicWideString component;
    u32 position = 0;
    while (folder && NextPathComponent(walk, component, &position))
        folder = folder->FindOrAddSubFolder(component, created, adoptSpelling);

    if (folder && IsFileName(ToView(component))) {
        const CClassicWideString name = StoredFileName(component);
        if (CSystemFidFile* file = FindFileLeafByName(folder, ToView(name))) {
            if (adoptSpelling)
                file->SetFileName(component);
            return file;
        }
        auto* file = new CSystemFidFile;
        file->SetFileName(component);
        folder->AddLeaf(file);
        if (created)
            ++*created;
        return file;
    }

    CClassicWideString dir;
    GetFullDirName(dir);
    g_ClassicLogLine.Assign("CSystemFids::FindOrAddFid fails with :\r\n\tthis=");
    ClassicLogAppendWideText(g_ClassicLogLine, dir);
    g_ClassicLogLine.Append("\r\n\t_FileName=");
    ClassicLogAppendWideText(g_ClassicLogLine, path);
    g_ClassicLogLine.Append("\r\n");
    ClassicLogWriteLineToFiles();
    return nullptr;
}

CSystemFid* CSystemFids::FindFid(CClassicWideStringRef path, bool addIfOnDisk) {
    const CClassicWideString walk = Slashed(path);
    CSystemFids* folder = this;
    CClassicWideString component;
    u32 position = 0;
    while (NextPathComponent(walk, component, &position)) {
        folder = folder->FindSubFolder(component, addIfOnDisk);
        if (!folder)
            return nullptr;
    }
    if (!IsFileName(ToView(component)))
        return nullptr;
    const CClassicWideString name = StoredFileName(component);
    if (CSystemFidFile* file = FindFileLeafByName(folder, ToView(name)))
        return file;
    if (!addIfOnDisk)
        return nullptr;
    CClassicWideString full;
    folder->GetFullDirName(full);
    if (full.IsEmpty())
        return nullptr;
    full.Append(name);
    if (!FileExists(full))
        return nullptr;
    auto* file = new CSystemFidFile;
    file->SetFileName(name);
    folder->AddLeaf(file);
    file->m_Flags |= kSystemFidRefreshBits;
    file->Refresh(&full);
    return file;
}

CSystemFids* CSystemFids::FindFolder(CClassicWideStringRef path, bool addIfOnDisk) {
    CClassicWideString walk(path);
    NormalizePathFlags(walk, kPathFlagsFolderWalk);
    CSystemFids* folder = this;
    CClassicWideString component;
    u32 position = 0;
    while (folder && NextPathComponent(walk, component, &position))
        folder = folder->FindSubFolder(component, addIfOnDisk);
    return folder;
}

CSystemFids* CSystemFids::FindOrAddFolderPath(CClassicWideStringRef path, u32* created) {
    if (path.m_Length == 0)
        return this;
    if (created)
        *created = 0;
    CClassicWideString walk(path);
    NormalizePathFlags(walk, kPathFlagsFolderWalk);
    CSystemFids* folder = this;
    CClassicWideString component;
    u32 position = 0;
    while (folder && NextPathComponent(walk, component, &position))
        folder = folder->FindOrAddSubFolder(component, created, false);
    return folder;
}

CSystemFidFile* CSystemFids::FindFidByBaseName(CClassicWideStringRef path, u32 classId) {
    CSystemFids* folder = this;
    CClassicWideString component;
    u32 position = 0;
    while (NextPathComponent(path, component, &position)) {
        folder = folder->FindSubFolder(component, false);
        if (!folder)
            return nullptr;
    }
    CClassicWideString baseName;
    for (u32 i = 0; i < folder->m_Leaves.m_Count; ++i) {
        CSystemFidFile* file = AsFile(folder->m_Leaves.m_Items[i]);
        if (!file || !StartsWithNoCase(ToView(file->m_FileName), ToView(component)))
            continue;
        GetBaseNameOfPath(file->m_FileName, baseName);
        if (!EqualsNoCase(ToView(baseName), ToView(component)))
            continue;
        const u32 content = file->GetContentClassId();
        if (content != CSystemFid::s_UnknownClassId &&
            CMwClassRegistry::IsClassKindOf(content, classId))
            return file;
    }
    return nullptr;
}

CSystemFid* CSystemFids::FindLeafDeep(CSystemFid* probe) {
    for (u32 i = 0; i < m_Trees.m_Count; ++i)
        if (CSystemFid* found = m_Trees.m_Items[i]->FindLeafDeep(probe))
            return found;
    for (u32 i = 0; i < m_Leaves.m_Count; ++i)
        if (m_Leaves.m_Items[i]->IsEqual(probe))
            return m_Leaves.m_Items[i];
    return nullptr;
}

void CSystemFids::CollectFids(CFastBuffer<CSystemFid*>& list, bool filesOnly) {
    for (u32 i = 0; i < m_Leaves.m_Count; ++i) {
        CSystemFid* fid = m_Leaves.m_Items[i];
        if (!filesOnly || AsFile(fid))
            list.Add(fid);
    }
    for (u32 i = 0; i < m_Trees.m_Count; ++i)
        m_Trees.m_Items[i]->CollectFids(list, filesOnly);
}

void CSystemFids::ListFidsByClass(CFastBuffer<CSystemFid*>& list, u32 classA, u32 classB,
                                  bool rereadHeaders, bool withLocators) {
    const auto isWanted = [&](u32 classId) {
        return CMwClassRegistry::IsClassKindOf(classId, classA) ||
               (classB != CSystemFid::s_UnknownClassId &&
                CMwClassRegistry::IsClassKindOf(classId, classB));
    };
    CClassicWideString target;
    for (u32 i = 0; i < m_Leaves.m_Count; ++i) {
        CSystemFidFile* file = AsFile(m_Leaves.m_Items[i]);
        if (!file)
            continue;
        if (file->m_ContentClassId == CSystemFid::s_UnknownClassId || rereadHeaders)
            file->ReadHeader(nullptr);
        const u32 content = file->m_ContentClassId;
        if (content != CSystemFid::s_UnknownClassId && isWanted(content)) {
            list.Add(file);
            continue;
        }
        if (!withLocators || !PathEndsWith(file->m_FileName, ".loc"))
            continue;
        // X.loc stands for X while X is not on disk.
        file->GetFullFileName(target);
        RemoveLastExtension(target, target);
        if (FileExists(target))
            continue;
        const u32 located = PlugFileServices().ClassIdFromFileName(target);
        if (located != CSystemFid::s_UnknownClassId && isWanted(located))
            list.Add(file);
    }
    for (u32 i = 0; i < m_Trees.m_Count; ++i)
        m_Trees.m_Items[i]->ListFidsByClass(list, classA, classB, rereadHeaders, false);
}

// ---------------------------------------------------------------------------------------------
// Refresh from disk, sizes

void CSystemFids::RefreshFromDisk(CClassicWideStringRef fullPath, u32 recursive) {
    SRefresh refresh;
    RefreshFromDisk(fullPath, recursive, refresh);
}

void CSystemFids::RefreshFromDisk(CClassicWideStringRef fullPath, u32 recursive,
                                  SRefresh& refresh) {
    // A folder without a path has no disk folder: an empty path would list the current folder.
    if (fullPath.m_Length == 0)
        return;
    if (recursive) {
        std::string host;
        u64 device = 0, inode = 0;
        if (platform::ResolveHostPath(ToView(fullPath), host) &&
            platform::GetFolderIdentity(host, device, inode) == 0 &&
            !refresh.m_Visited.insert({device, inode}).second)
            return;
    }

    CFastBuffer<CClassicWideString> files, folders;
    ListFolderNames(fullPath, files, folders, u"*.*");
    KeepSpellable(fullPath, files);
    KeepSpellable(fullPath, folders);
    CClassicWideString path;

    // The files: one look-up per name instead of a comparison with every leaf. Every listed
    // name is a file of its own, case twins too; a leaf spelled otherwise stands for the one an
    // open of it reaches. Leaves whose file went are deleted, unless their file may be missing.
    {
        CFoldedIndex listed(files);
        listed.TakeSpelled(m_Leaves, LeafName);
        for (u32 i = 0; i < m_Leaves.m_Count;) {
            CSystemFid* leaf = m_Leaves.m_Items[i];
            const CClassicWideString* name = FileNameOf(leaf);
            bool present = !name || listed.TakeFor(ToView(*name)) != CFoldedIndex::s_None ||
                           StandsForAbsentFile(leaf);
            if (!present) {
                path.Assign(fullPath);
                path.Append(*name);
                present = FileExists(path);
            }
            if (present) {
                ++i;
                continue;
            }
            // The last leaf takes its place.
            RemoveLeaf(leaf);
            delete leaf;
        }
        // New files get file ids.
        for (u32 i = 0; i < files.m_Count; ++i) {
            if (listed.IsTaken(i))
                continue;
            auto* file = new CSystemFidFile;
            file->SetFileName(files.m_Items[i]);
            AddLeaf(file);
        }
        SortByName(m_Leaves, LeafName);
        RenumberLeaves();
    }

    // The sub-folders, matched in the same way: unpinned ones that went are cleared and deleted.
    {
        CFoldedIndex listed(folders);
        listed.TakeSpelled(m_Trees, FolderName);
        for (u32 i = 0; i < m_Trees.m_Count;) {
            CSystemFids* sub = m_Trees.m_Items[i];
            const CClassicWideString* name = sub->GetDirNameRef();
            bool present =
                !name || listed.TakeFor(ToView(*name)) != CFoldedIndex::s_None || sub->m_Pinned;
            if (!present) {
                path.Assign(fullPath);
                path.Append(*name);
                present = FolderExists(path);
            }
            if (present) {
                ++i;
                continue;
            }
            sub->Clear();
            delete sub; // leaves the list: the last sub-folder takes its place
        }
        for (u32 i = 0; i < folders.m_Count; ++i) {
            if (listed.IsTaken(i))
                continue;
            auto* folder = new CSystemFidsFolder;
            folder->m_DirName = ComponentName(folders.m_Items[i]);
            AddTree(folder);
        }
        SortByName(m_Trees, FolderName);
    }
    files.FreeItems();
    folders.FreeItems();

    if (!recursive)
        return;
    for (u32 i = 0; i < m_Trees.m_Count; ++i) {
        CSystemFids* sub = m_Trees.m_Items[i];
        const CClassicWideString* name = sub->GetDirNameRef();
        if (!name)
            continue;
        path.Assign(fullPath);
        AppendFolderToPath(path, *name);
        sub->RefreshFromDisk(path, recursive, refresh);
    }
}

void CSystemFids::Refresh(u32 recursive) {
    CClassicWideString path;
    GetFullDirName(path);
    RefreshFromDisk(path, recursive);
    UpdateSizes(0, recursive);
}

void CSystemFids::RefreshAndMeasure(u32 recursive) {
    Refresh(recursive);
    UpdateSizes(0, recursive);
}

void CSystemFids::UpdateSizes(u32 leavesFresh, u32 recursive) {
    if (!recursive)
        return;
    if (!leavesFresh)
        for (u32 i = 0; i < m_Leaves.m_Count; ++i)
            m_Leaves.m_Items[i]->Refresh(nullptr);
    for (u32 i = 0; i < m_Trees.m_Count; ++i)
        m_Trees.m_Items[i]->UpdateSizes(leavesFresh, recursive);
}

// ---------------------------------------------------------------------------------------------
// Clearing

void CSystemFids::Clear() {
    // The leaves leave the list first: deleting one touches no list of this folder.
    CFastBuffer<CSystemFid*> leaves;
    leaves.Reserve(m_Leaves.m_Count);
    for (u32 i = 0; i < m_Leaves.m_Count; ++i)
        leaves.Add(m_Leaves.m_Items[i]);
    ForgetLeaves();
    for (u32 i = 0; i < leaves.m_Count; ++i)
        leaves.m_Items[i]->m_Folder = nullptr;
    // Aliases before their masters.
    for (u32 i = 0; i < leaves.m_Count; ++i) {
        CSystemFid* fid = leaves.m_Items[i];
        if (fid->GetMasterFid() != fid) {
            delete fid;
            leaves.m_Items[i] = nullptr;
        }
    }
    for (u32 i = leaves.m_Count; i-- > 0;)
        delete leaves.m_Items[i];
    leaves.FreeItems();

    for (u32 i = 0; i < m_Trees.m_Count; ++i)
        m_Trees.m_Items[i]->Clear();
    // Each deletion takes the folder out of m_Trees: work on a copy.
    CFastBuffer<CSystemFids*> trees;
    trees.Reserve(m_Trees.m_Count);
    for (u32 i = 0; i < m_Trees.m_Count; ++i)
        trees.Add(m_Trees.m_Items[i]);
    for (u32 i = trees.m_Count; i-- > 0;)
        delete trees.m_Items[i];
    trees.FreeItems();
}

// ---------------------------------------------------------------------------------------------
// Placement

bool CSystemFids::TryPlace(CSystemFids* folder, CSystemFid* fid, u32 addLeaf) {
    if (!folder->AdoptFid(fid))
        return false;
    for (u32 i = 0; i < folder->m_Trees.m_Count; ++i)
        if (TryPlace(folder->m_Trees.m_Items[i], fid, addLeaf))
            return true;
    return folder->PlaceFid(fid, addLeaf);
}

bool CSystemFids::AdoptFid(CSystemFid* fid) {
    fid->m_Folder = this;
    return true;
}

bool CSystemFids::PlaceFid(CSystemFid* fid, u32 addLeaf) {
    // The file id's own folder takes over; when that is this one, its step runs here.
    if (fid->m_Folder && fid->m_Folder != this)
        return fid->m_Folder->PlaceFid(fid, addLeaf);
    return PlaceInNewFolders(fid, addLeaf);
}

bool CSystemFids::PlaceInNewFolders(CSystemFid* fid, u32 addLeaf) {
    CSystemFids* folder = fid->m_Folder ? fid->m_Folder : this;
    fid->m_Folder = folder;
    if (CClassicWideString* name = FileNameOf(fid)) {
        CClassicWideString component;
        for (;;) {
            TakeFirstComponent(*name, component);
            if (component.IsEmpty())
                break;
            // An empty, "." or ".." component names no folder of its own: it is dropped, so
            // that a name never reaches above the folder it was placed from.
            const CClassicWideString folderName = ComponentName(component);
            if (!IsFolderName(ToView(folderName)))
                continue;
            folder = folder->FindOrAddSubFolder(folderName, nullptr, false);
            fid->m_Folder = folder;
        }
    }
    if (addLeaf)
        folder->AddLeafIfAbsent(fid);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Archive records

void CSystemFids::ArchiveTree(CClassicArchive& archive) {
    ArchiveSubFolders(archive);
}

void CSystemFids::ArchiveSubFolders(CClassicArchive& archive) {
    if (archive.m_Writing) {
        u32 count = m_Trees.m_Count;
        archive.WriteUInts(&count, 1);
        for (u32 i = 0; i < m_Trees.m_Count; ++i)
            m_Trees.m_Items[i]->ArchiveTree(archive);
        return;
    }
    const CTreeReadLevel level;
    u32 count = 0;
    archive.ReadUInts(&count, 1);
    // Every record takes a few bytes at least.
    archive.CheckReadSize(count, kSystemFidsMaxArchivedFolders);
    // The whole tree is bounded too: each record costs the file a few bytes, the tree far more.
    if (count > kSystemFidsMaxArchivedFolders - s_TreeReadFolders)
        FailTreeRead("more folders than a tree may hold", s_TreeReadFolders + count);
    s_TreeReadFolders += count;
    for (u32 i = 0; i < count; ++i) {
        // Hung here before it is read: a failed read leaves nothing outside the tree.
        auto* folder = new CSystemFidsFolder;
        AddTree(folder);
        folder->ArchiveTree(archive);
    }
}

void CSystemFidsFolder::ArchiveTree(CClassicArchive& archive) {
    archive.SerializeWideStrings(&m_DirName, 1);
    if (!archive.m_Writing) {
        const View name = ToView(m_DirName);
        if (!IsFolderName(name) || name.find_first_of(u"/:") != View::npos)
            FailTreeRead("a folder name that names no folder of its own", m_DirName.GetLength());
    }
    ArchiveSubFolders(archive);
}

// ---------------------------------------------------------------------------------------------
// CSystemFidsFolder

CSystemFidsFolder::~CSystemFidsFolder() {
    StopScan();
}

CSystemFids* CSystemFidsFolder::NewSameKind() {
    return new CSystemFidsFolder;
}

bool CSystemFidsFolder::IsSameFolder(CSystemFids* other) {
    const CClassicWideString* name = other ? other->GetDirNameRef() : nullptr;
    return name && (m_Parent ? NamesOneEntry(m_Parent, m_DirName, *name)
                             : EqualsNoCase(ToView(m_DirName), ToView(*name)));
}

bool CSystemFidsFolder::PlaceFid(CSystemFid* fid, u32 addLeaf) {
    return PlaceInNewFolders(fid, addLeaf);
}

bool CSystemFidsFolder::AdoptFid(CSystemFid* fid) {
    CClassicWideString* name = FileNameOf(fid);
    if (!name)
        return false;
    CClassicWideString rest(*name), component;
    TakeFirstComponent(rest, component);
    if (component.GetLength() != m_DirName.GetLength() + 1 ||
        !StartsWithNoCase(ToView(component), ToView(m_DirName)) ||
        (m_Parent &&
         !NamesOneEntry(m_Parent, m_DirName,
                        CClassicWideStringRef(component.GetText(), m_DirName.GetLength()))))
        return false;
    *name = std::move(rest);
    fid->m_Folder = this;
    return true;
}

void CSystemFidsFolder::CopyNameFrom(CSystemFids* other) {
    if (const CClassicWideString* name = other ? other->GetDirNameRef() : nullptr)
        m_DirName = *name;
}

bool CSystemFidsFolder::GetDirName(CClassicWideString& out) {
    out = m_DirName;
    return true;
}

void CSystemFidsFolder::GetFullDirName(CClassicWideString& out) {
    if (m_Parent)
        m_Parent->GetFullDirName(out);
    else
        out.Assign(CClassicWideStringRef());
    AppendFolderToPath(out, m_DirName);
}

bool CSystemFidsFolder::GetPathRelativeTo(CClassicWideString& out, CSystemFids* ancestor) {
    if (ancestor == this)
        return true;
    if (!m_Parent || !m_Parent->GetPathRelativeTo(out, ancestor))
        return false;
    AppendFolderToPath(out, m_DirName);
    return true;
}

void CSystemFidsFolder::OnChanged() {
    Super::OnChanged();
    OnFolderChanged();
}

void CSystemFidsFolder::UpdateSizes(u32 leavesFresh, u32 recursive) {
    if (!recursive)
        return;
    Super::UpdateSizes(leavesFresh, recursive);
    if (!SystemFidsKeepTotals())
        return;
    u64 size = 0;
    u32 anyLoaded = 0, allReadOnly = 1;
    for (u32 i = 0; i < m_Leaves.m_Count; ++i) {
        CSystemFid* leaf = m_Leaves.m_Items[i];
        if (leaf->HasNodOrAliasNod())
            anyLoaded = 1;
        if (const CSystemFidFile* file = AsFile(leaf)) {
            size += file->m_ByteSize;
            if (!file->IsReadOnly())
                allReadOnly = 0;
        }
    }
    for (u32 i = 0; i < m_Trees.m_Count; ++i) {
        CSystemFids* sub = m_Trees.m_Items[i];
        if (!sub->IsKindOf(s_ClassId))
            continue;
        const auto* folder = static_cast<const CSystemFidsFolder*>(sub);
        size += folder->m_ByteSize;
        anyLoaded |= folder->m_AnyLoaded ? 1 : 0;
        allReadOnly &= folder->m_AllReadOnly ? 1 : 0;
    }
    m_ByteSize = size;
    m_AnyLoaded = anyLoaded;
    m_AllReadOnly = allReadOnly;
}

u32 CSystemFidsFolder::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        switch (member.MemberId) {
            case s_ByteSizeMemberId:
                return MwAnswerValue(out, u32(m_ByteSize >> 10));
            case s_ByteSizeEdMemberId:
                return MwAnswerValue(out, u32(m_ByteSize / SystemFidsSizeUnitDivisor()));
            case s_FullDirNameMemberId: {
                // One string shared by every folder, replaced by the next read.
                static CClassicWideString s_FullDirName;
                GetFullDirName(s_FullDirName);
                out->Value = &s_FullDirName;
                return MwParam_Ok;
            }
            default:
                return MwNotOwnMember;
        }
    });
}

void CSystemFidsFolder::GetDisplayCode(u32* code, u32* same) {
    const u32 value = 0x14 + (m_AnyLoaded ? 1 : 0) + (m_Pinned ? 0x100 : 0);
    *code = value;
    *same = value;
}

void CSystemFidsFolder::StartScan() {
    if (m_ScanCmd)
        return;
    m_ScanCmd = MwMakeFastCall<&CSystemFidsFolder::ScanStep>(this);
    m_ScanCmd->AddRef();
    m_ScanCmd->SetBuffer(13);
    m_ScanCmd->Install();
    m_ScanLeafIndex = 0;
    m_ScanFolderIndex = 0;
}

void CSystemFidsFolder::ScanStep() {
    while (m_ScanLeafIndex < m_Leaves.m_Count) {
        if (CSystemFidFile* file = AsFile(m_Leaves.m_Items[m_ScanLeafIndex]))
            file->OnScanStep();
        ++m_ScanLeafIndex;
    }
    // The sub-folders one after the other: each scan waits for the one before to end.
    if (m_ScanFolderIndex > 0 && m_ScanFolderIndex <= m_Trees.m_Count) {
        CSystemFids* previous = m_Trees.m_Items[m_ScanFolderIndex - 1];
        if (previous->IsKindOf(s_ClassId) && static_cast<CSystemFidsFolder*>(previous)->m_ScanCmd)
            return;
    }
    if (m_ScanFolderIndex >= m_Trees.m_Count) {
        StopScan();
        return;
    }
    CSystemFids* next = m_Trees.m_Items[m_ScanFolderIndex++];
    if (next->IsKindOf(s_ClassId))
        static_cast<CSystemFidsFolder*>(next)->StartScan();
}

void CSystemFidsFolder::StopScan() {
    CMwCmdFastCall* cmd = m_ScanCmd;
    if (!cmd)
        return;
    m_ScanCmd = nullptr;
    cmd->Uninstall();
    cmd->Release();
}

// ---------------------------------------------------------------------------------------------
// CSystemFidsDrive

CSystemFids* CSystemFidsDrive::NewSameKind() {
    return new CSystemFids;
}

bool CSystemFidsDrive::PlaceFid(CSystemFid* fid, u32 addLeaf) {
    return PlaceInNewFolders(fid, addLeaf);
}

bool CSystemFidsDrive::AdoptFid(CSystemFid* fid) {
    CClassicWideString* name = FileNameOf(fid);
    if (!name || !StartsWithNoCase(ToView(*name), ToView(m_Root)))
        return false;
    // The root, and the backslash after it when there is one (an empty root strips nothing).
    u32 strip = m_Root.GetLength();
    if (strip < name->GetLength() && (*name)[strip] == u'\\')
        ++strip;
    name->Assign(CClassicWideStringRef(name->GetText() + strip, name->GetLength() - strip));
    fid->m_Folder = this;
    return true;
}

void CSystemFidsDrive::CopyNameFrom(CSystemFids* other) {
    if (const CClassicWideString* root = other ? other->GetDirNameRef() : nullptr)
        m_Root = *root;
}

bool CSystemFidsDrive::GetDirName(CClassicWideString& out) {
    out = m_Root;
    return true;
}

void CSystemFidsDrive::GetFullDirName(CClassicWideString& out) {
    out = m_Root;
    out.AppendChar(u'\\');
}

bool CSystemFidsDrive::GetPathRelativeTo(CClassicWideString&, CSystemFids* ancestor) {
    return ancestor == this;
}
