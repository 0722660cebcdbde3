#pragma once
// The folder tree of file ids. Every file the engine knows is a file id (CSystemFid) hanging as a
// leaf in a tree of folders: CSystemFids is a folder without a name (the base, and the root of
// the memory file ids), CSystemFidsFolder a named folder on disk, CSystemFidsDrive the root of a
// disk tree, named by its drive ("Z:").
//
// Paths given to the lookups are relative to the folder asked, components separated by
// backslashes. A folder component is the text up to and including its backslash; backslashes
// right after it are passed over, and a leading pair of backslashes belongs to the first
// component. Names are compared ignoring ASCII case: a component names a sub-folder when it is
// the sub-folder's name and one backslash. Case twins are the exception: names that differ only
// in case and both exist on disk are two entries (NamesOneEntry), as they are to every open. The
// lookups that may add to the tree read '/' as '\' and refuse the folder names "", "." and "..",
// so that a path never makes a second file id or folder for what it names.
//
// The tree holds plain pointers: a folder owns its leaves and sub-folders only in that Clear
// deletes them. Destroying a folder only unhooks it (from its parent, its sub-folders, its leaves
// and the fid number map). Everything runs on the engine's one thread.
#include "core/base/FastBuffer.h"
#include "core/nod/MwCmd.h"
#include "core/nod/MwNod.h"
#include "platform/Types.h"

#include <string_view>
#include <vector>

class CClassicArchive;
class CSystemFid;
class CSystemFidFile;

// The unit of the members ByteSizeEd: an index into {1, 1024, 1048576, 1073741824,
// 1099511627776}; 5 and above divide by 1. Kilobytes.
extern u32 g_SystemFidsSizeUnit;
// Whether folders keep their size and flag totals up to date when their sizes are updated: the
// registered System engine's setting (CSystemEngine::m_KeepFolderTotals), kept without one.
bool SystemFidsKeepTotals();
// The divisor of the size unit in force.
u64 SystemFidsSizeUnitDivisor();

// The deepest chain of folders an archive's folder tree may hold, and the most folders of the
// whole tree: deeper or larger trees are damaged data.
inline constexpr u32 kSystemFidsMaxArchivedDepth = 256;
inline constexpr u32 kSystemFidsMaxArchivedFolders = 0x10000;

// The file leaves of a folder by their names ignoring case: open addressing (linear probing) over
// {key, leaf}, the key a hash of the folded name, so that a look-up by name costs the same in a
// folder of ten files and of a million. Several leaves may share a key (case twins, or names
// whose hashes meet): a look-up visits each and the caller compares names.
class CSystemFidsNameIndex {
public:
    // The key of a name: its ASCII-folded code units hashed.
    static u32 KeyOf(std::u16string_view name);

    void Insert(CSystemFid* fid, u32 key);
    // Takes the leaf out (found from the key it was entered with, or by a search of the whole
    // table when that key is stale); nothing when it is absent.
    void Erase(CSystemFid* fid, u32 key);
    void Clear();
    // Calls f(leaf) for every leaf entered under the key.
    template <class F>
    void ForEach(u32 key, F f) const {
        if (m_Slots.empty())
            return;
        const u32 mask = u32(m_Slots.size() - 1);
        for (u32 i = key & mask; m_Slots[i].Fid; i = (i + 1) & mask)
            if (m_Slots[i].Key == key)
                f(m_Slots[i].Fid);
    }

private:
    struct SSlot {
        CSystemFid* Fid = nullptr;
        u32 Key = 0;
    };
    void Grow();
    void EraseAt(u32 slot);

    std::vector<SSlot> m_Slots;
    u32 m_Count = 0;
};

class CSystemFids : public CMwNod {
    MW_DECLARE_CLASS(CSystemFids, CMwNod, 0x0B009000)
public:
    static constexpr u32 s_TreesMemberId = 0x0B009000;
    static constexpr u32 s_LeavesMemberId = 0x0B009001;

    CSystemFids() = default;
    CSystemFids(const CSystemFids&) = delete;
    CSystemFids& operator=(const CSystemFids&) = delete;
    // Unhooks: leaves the parent's sub-folders, lets its sub-folders and leaves go (their parent
    // and folder pointers cleared, and the drive pointer of folders below a drive that goes), and
    // leaves the fid number map. Neither leaves nor sub-folders are deleted.
    ~CSystemFids() override;

    // 1 for a named disk folder.
    virtual u32 IsFolder() { return 0; }
    // A new empty folder of the kind a copy of this one has: a drive's copy is a plain root.
    virtual CSystemFids* NewSameKind();
    // Whether a folder read from an archive stands for this one: a folder compares names
    // (NamesOneEntry in its parent).
    virtual bool IsSameFolder(CSystemFids*) { return true; }
    // Writes or reads the folder's record of an archive's folder tree: the sub-folder count and
    // each sub-folder's record (a named folder writes its name first). Reading makes the
    // sub-folders; damaged data (a count past the bytes left or the limits above, a name that
    // is empty, "." or "..", or holds '\', '/', ':' or a NUL, which could not be written back)
    // fails the read with a log line and CClassicBufferException.
    virtual void ArchiveTree(CClassicArchive& archive);
    // The last placement step (see TryPlace); here: the step of the file id's own folder.
    virtual bool PlaceFid(CSystemFid* fid, u32 addLeaf);
    // Takes the file id in as its folder when the front of its name names this folder (and
    // removes that front): here always, without removing anything.
    virtual bool AdoptFid(CSystemFid* fid);
    virtual void CopyNameFrom(CSystemFids*) {}
    // The name (of a folder) or root (of a drive); false for the base.
    virtual bool GetDirName(CClassicWideString&) { return false; }
    virtual const CClassicWideString* GetDirNameRef() { return nullptr; }
    // out := the full path of the folder, ending with a backslash; empty for the base.
    virtual void GetFullDirName(CClassicWideString& out);
    // When the ancestor is this folder or above it: appends the path from the ancestor down to
    // this folder (each name and a backslash) and returns true. The base answers false.
    virtual bool GetPathRelativeTo(CClassicWideString&, CSystemFids*) { return false; }
    virtual void OnTreeAdded(CSystemFids*) {}
    virtual void OnLeafAdded(CSystemFid*) {}
    // RefreshFromDisk of the folder's own path, then UpdateSizes(0, recursive).
    virtual void Refresh(u32 recursive);
    // Refresh, then UpdateSizes(0, recursive) once more.
    virtual void RefreshAndMeasure(u32 recursive);
    // Tells the ancestors that something below changed.
    virtual void OnChanged();
    // With recursive: the leaves refresh (unless leavesFresh), then the sub-folders update; a
    // named folder then recomputes its totals when SystemFidsKeepTotals() says so. Nothing
    // without recursive.
    virtual void UpdateSizes(u32 leavesFresh, u32 recursive);
    // The topmost ancestor.
    virtual CSystemFids* GetRoot();

    // The file id of the path, made with its folders when missing (created counts what was
    // made). With adoptSpelling the folders and the file id found take the path's spelling. The
    // disk is consulted only to tell case twins apart. Null, with a log line, for a path without
    // file name or with a component that cannot be a name.
    CSystemFid* FindOrAddFid(CClassicWideStringRef path, u32* created, bool adoptSpelling);
    // The file id of the path, or null when a folder or the file is missing. With addIfOnDisk
    // what is missing in the tree is added when it exists on disk (a new file id reads its size
    // and read-only state).
    CSystemFid* FindFid(CClassicWideStringRef path, bool addIfOnDisk);
    // The sub-folder the component names; with addIfOnDisk one is added when the folder exists
    // on disk. Null otherwise, and for the names "", "." and "..".
    CSystemFids* FindSubFolder(CClassicWideStringRef component, bool addIfOnDisk);
    // The sub-folder the component names, made when missing (created counts it).
    CSystemFids* FindOrAddSubFolder(CClassicWideStringRef component, u32* created,
                                    bool adoptSpelling);
    // The folder of the path ('/' read as '\', separators normalised), this one for an empty
    // path; null when a folder is missing (on disk too with addIfOnDisk).
    CSystemFids* FindFolder(CClassicWideStringRef path, bool addIfOnDisk);
    // The folder of the path, made with the folders that are missing (created counts them and is
    // left alone for an empty path, which gives this folder).
    CSystemFids* FindOrAddFolderPath(CClassicWideStringRef path, u32* created);
    // A file named by the path without its extensions: the first file whose name begins with
    // the last component, whose base name is that component and whose content is a kind of
    // classId.
    CSystemFidFile* FindFidByBaseName(CClassicWideStringRef path, u32 classId);

    // Leaves and sub-folders. AddLeaf appends the file id and makes this folder its folder;
    // AddLeafIfAbsent does so unless it is a leaf already; RemoveLeaf takes a leaf out (the last
    // one takes its place) and clears its folder. A leaf knows its place (CSystemFid::m_LeafSlot)
    // and file leaves are found by name through an index, so that none of these, nor a look-up
    // by name, walks the list. AddTree hangs a folder here (taking it from
    // the folder it hung in; a folder already here, this folder itself or one above it is left
    // as it is); RemoveTree takes it out.
    void AddLeaf(CSystemFid* fid);
    void AddLeafIfAbsent(CSystemFid* fid);
    void RemoveLeaf(CSystemFid* fid);
    void AddTree(CSystemFids* folder);
    void RemoveTree(CSystemFids* folder);
    bool HasLeaf(const CSystemFid* fid) const;
    // The first leaf (in list order) the probe's equality test accepts: a file probe is compared
    // only with the file leaves of its name ignoring case.
    CSystemFid* FindEqualLeaf(CSystemFid* probe);
    // The first file leaf (in list order) of the name ignoring case that accept(leaf, context)
    // takes.
    CSystemFidFile* FindFileLeaf(std::u16string_view name,
                                 bool (*accept)(CSystemFidFile* leaf, const void* context),
                                 const void* context) const;
    // A file leaf's name changed: its entry in the name index follows.
    void OnLeafRenamed(CSystemFid* fid);
    // True when the folder is this one or lies below it.
    bool IsAncestorOf(const CSystemFids* folder) const;
    // Marks this folder and its ancestors pinned: a refresh from disk never drops them.
    void Pin();

    // Depth first, sub-folders before a folder's own leaves: the first leaf equal to the probe.
    CSystemFid* FindLeafDeep(CSystemFid* probe);
    // Appends the leaves (files only with filesOnly), then those of every sub-folder.
    void CollectFids(CFastBuffer<CSystemFid*>& list, bool filesOnly);
    // Appends the files whose content is a kind of classA or of classB (0xFFFFFFFF for none),
    // reading headers that are not read yet (all with rereadHeaders), then those of every
    // sub-folder. withLocators, in this folder only: a locator "X.loc" whose X is missing on disk
    // counts when X's extension names such a class.
    void ListFidsByClass(CFastBuffer<CSystemFid*>& list, u32 classA, u32 classB, bool rereadHeaders,
                         bool withLocators);
    // Makes the folder match the disk folder at fullPath (which ends with a backslash): leaves
    // whose file went are deleted unless they have a loader or are entries of the resource
    // table, new files get file ids, unpinned sub-folders that went are cleared and deleted, new
    // folders are added, and both lists are sorted by name ignoring case. Every file and folder
    // on disk has its own file id or folder, case twins too; an entry spelled as none on disk
    // stands for the twin an open of it reaches (the first in byte order). With recursive, the
    // same for every sub-folder (a folder reached again through a link is not descended twice).
    // Names the engine cannot spell (holding '\' or a character the normaliser replaces) are left
    // out. An empty path changes nothing.
    void RefreshFromDisk(CClassicWideStringRef fullPath, u32 recursive);
    // Deletes the whole content: aliases first, then the other leaves from the last, then the
    // sub-folders (each cleared first), from the last. File ids go whatever their counts.
    void Clear();

    // Placement of a file id by the folder part of its name. When the folder adopts the file id,
    // each sub-folder tries in turn, and the first that places it ends the search; when none
    // does, the folder's PlaceFid makes the missing folders. False when the folder does not
    // adopt it.
    static bool TryPlace(CSystemFids* folder, CSystemFid* fid, u32 addLeaf);

    // The archive's reference table, over the fid number map: marks this folder and its
    // ancestors with 1 (up to the first one marked); adds 1 to the number of this folder and of
    // each ancestor; descends from here while a folder has the count and exactly one sub-folder
    // which has it too; numbers this folder and those below in pre-order from *next; enters
    // every folder numbered below into table[number] (numbers outside the table are passed
    // over); how many levels this folder lies below top (0xFFFFFFFF when top is not above it);
    // the n-th ancestor.
    void FlagWithAncestors();
    void CountUse();
    CSystemFids* FindCommonTop(u32 count);
    void NumberPreOrder(u32* next);
    void FillIndex(CFastArray<CSystemFids*>& table);
    u32 DepthBelow(const CSystemFids* top) const;
    CSystemFids* NthAncestor(u32 n);
    // Copies the marked part of source's tree here: the name, each copy mapped to its source and
    // each source to its copy, then a copy of each marked sub-folder.
    void CloneFlagged(CSystemFids* source);
    // Merges folders read from an archive: one that stands for a sub-folder of this folder has
    // its sub-folders merged into it and is mapped to it; another leaves the map with everything
    // below it and hangs here.
    void MergeLoaded(const CFastBuffer<CSystemFids*>& list);
    // Takes out of the map this folder, every folder below it and every file id in them.
    void ForgetSubtree();

    // Not a reference.
    CSystemFids* m_Parent = nullptr;
    // The root of the disk tree: a drive names itself, a sub-folder takes its parent's.
    CSystemFids* m_Drive = nullptr;
    CFastBuffer<CSystemFid*> m_Leaves;
    CFastBuffer<CSystemFids*> m_Trees;
    // A file id below has a loader or is an entry of the resource table: a refresh from disk
    // keeps the folder.
    u32 m_Pinned = 0;

protected:
    // The placement step of a named folder or a drive: the first component of the file id's name
    // becomes a new sub-folder of its folder, and so on; once no folder part is left, the file
    // id is added to its folder with addLeaf.
    bool PlaceInNewFolders(CSystemFid* fid, u32 addLeaf);
    // Reads or writes the sub-folder count and records.
    void ArchiveSubFolders(CClassicArchive& archive);

private:
    // The place of the leaf in m_Leaves, or m_Leaves.m_Count when it is not one.
    u32 LeafIndexOf(const CSystemFid* fid) const;
    // Gives every leaf its place again (after the list was reordered).
    void RenumberLeaves();
    // Every leaf leaves the list, the index and its place (their folder pointers are kept).
    void ForgetLeaves();

    CSystemFidsNameIndex m_NameIndex;

    struct SRefresh;
    void RefreshFromDisk(CClassicWideStringRef fullPath, u32 recursive, SRefresh& refresh);
};

// A named folder on disk, with the totals of the files below it and an incremental scan.
class CSystemFidsFolder : public CSystemFids {
    MW_DECLARE_CLASS(CSystemFidsFolder, CSystemFids, 0x0B00B000)
public:
    static constexpr u32 s_ByteSizeMemberId = 0x0B00B000;
    static constexpr u32 s_ByteSizeEdMemberId = 0x0B00B001;
    static constexpr u32 s_FullDirNameMemberId = 0x0B00B003;

    CSystemFidsFolder() = default;
    // Stops the scan in progress.
    ~CSystemFidsFolder() override;

    u32 IsFolder() override { return 1; }
    CSystemFids* NewSameKind() override;
    bool IsSameFolder(CSystemFids* other) override;
    void ArchiveTree(CClassicArchive& archive) override;
    bool PlaceFid(CSystemFid* fid, u32 addLeaf) override;
    bool AdoptFid(CSystemFid* fid) override;
    void CopyNameFrom(CSystemFids* other) override;
    bool GetDirName(CClassicWideString& out) override;
    const CClassicWideString* GetDirNameRef() override { return &m_DirName; }
    void GetFullDirName(CClassicWideString& out) override;
    bool GetPathRelativeTo(CClassicWideString& out, CSystemFids* ancestor) override;
    void OnChanged() override;
    void UpdateSizes(u32 leavesFresh, u32 recursive) override;
    // ByteSize, ByteSizeEd and FullDirName.
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;

    // 0x14, plus 1 when a nod below is loaded, plus 0x100 when pinned, in both outputs.
    virtual void GetDisplayCode(u32* code, u32* same);
    // Called after the ancestors were told of a change; nothing here.
    virtual void OnFolderChanged() {}
    // Starts the incremental scan of the folder's files and then, one after the other, of its
    // sub-folders, as a command of command buffer 13 (nothing runs that buffer here).
    virtual void StartScan();
    // One step of the scan.
    void ScanStep();

    CMwCmdFastCall* m_ScanCmd = nullptr;
    u32 m_ScanLeafIndex = 0;
    u32 m_ScanFolderIndex = 0;
    // The bytes of the files in and below the folder.
    u64 m_ByteSize = 0;
    // Nonzero when a file id in or below the folder holds a loaded nod.
    u32 m_AnyLoaded = 0;
    // 1 when every file in and below the folder is read-only.
    u32 m_AllReadOnly = 1;
    // The folder's own name, without separators.
    CClassicWideString m_DirName;

private:
    void StopScan();
};

// The root of a disk tree, named by the drive part of its paths ("Z:").
class CSystemFidsDrive : public CSystemFids {
    MW_DECLARE_CLASS(CSystemFidsDrive, CSystemFids, 0x0B00C000)
public:
    CSystemFidsDrive() { m_Drive = this; }

    CSystemFids* NewSameKind() override;
    bool PlaceFid(CSystemFid* fid, u32 addLeaf) override;
    // Adopts a name that begins with the root (ignoring case) and strips the root and the
    // backslash after it.
    bool AdoptFid(CSystemFid* fid) override;
    void CopyNameFrom(CSystemFids* other) override;
    bool GetDirName(CClassicWideString& out) override;
    const CClassicWideString* GetDirNameRef() override { return &m_Root; }
    void GetFullDirName(CClassicWideString& out) override;
    bool GetPathRelativeTo(CClassicWideString& out, CSystemFids* ancestor) override;

    CClassicWideString m_Root;
};

// Whether folder's full path followed by the name is a file / a folder on disk.
bool FileExistsInFolder(CClassicWideStringRef name, CSystemFids* folder);
bool FolderExistsInFolder(CClassicWideStringRef name, CSystemFids* folder);
// Whether two names of entries of the folder (files, or sub-folders) stand for one entry: the same
// name, or names equal ignoring case that the disk does not tell apart (PathsNameOneEntry on the
// full paths). A name that exists exactly on disk is an entry of its own beside its case twins;
// a spelling missing on disk is the twin an open of it reaches. Without a folder the names are
// full paths; in a folder without a path on disk, names equal ignoring case are one entry.
bool NamesOneEntry(CSystemFids* folder, CClassicWideStringRef a, CClassicWideStringRef b);
