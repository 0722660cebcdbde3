#pragma once
// CSystemArchive: the reader and writer of ".Zun" archive files, a value archive whose nod and
// file-id references take the archive file's form.
//
// The file (little-endian; "u32" is the value archive's u32 in the file's encoding, "string" its
// wide string; the magic, the version and the four letters are raw bytes in both encodings):
//   header:  "ZUN", u16 version (6 written; 3 to 6 read), 'T' text or 'B' binary (every value
//            after it uses that encoding), a second letter ('C' kept from a file read with it,
//            else 'U'), 'C' LZO body or 'U' plain body, 'R' release or 'E' (from version 4),
//            u32 hex main class id, the header-chunk blob (from version 6: u32 size + bytes),
//            u32 node count.
//   references: u32 n; when n > 0: u32 ancestor level (folders from the file's own folder up to
//            the reference root), u32 root sub-folder count and the folder records {string name,
//            u32 sub-folder count, records} depth first, numbered in pre-order from 1 (0 is the
//            root); then n records {u32 reference flags, name (u32 resource index with flag 4,
//            else string file name), u32 node index, bool use-file (from version 5), u32 folder
//            index unless flag 4}.
//   body:    the main nod's chunk stream up to the end ('U'), or one LZO block of it ('C').
// Inside the chunk stream a nod reference is its u32 node index (0xFFFFFFFF for none); the first
// occurrence of a nod stored inline is followed by its u32 hex class id and its chunk stream. A
// file-id reference is the u32 node index of a use-file reference record. Node indices are
// handed out in the order of first appearance; index 0 is the main nod.
//
// Writing takes two passes: WriteBody writes the main nod's chunks into the body buffer (which
// fills the node table and the reference list), then WriteHeader, WriteRefs and WriteBodyOut
// write the file to the archive's stream. Reading: ReadHeader, ReadRefs, ReadBody; Load runs
// them for a main nod it creates. Reading throws CClassicBufferException from the value archive
// on damaged data, with a log line; the operation that started the read catches it (Load does).
#include "core/base/ClassicArchive.h"
#include "core/base/FastBuffer.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwNod.h"
#include "platform/Types.h"
#include "system/fid/SystemParamLoad.h"

#include <cstdint>

class CClassicBufferMemory;
class CMwNod;
class CSystemEngine;
class CSystemFid;
class CSystemFids;
class CSystemLoadGuard;
class CSystemParamSet;

// Save flags (SetSaveFlags).
inline constexpr u32 kSystemArchiveSaveText = 0x1;
inline constexpr u32 kSystemArchiveSaveCompressed = 0x2;
// Nods bound to a file of their own stay inline (file-backed and resource-local ones excepted).
inline constexpr u32 kSystemArchiveSaveKeepOwnFileInline = 0x4;
inline constexpr u32 kSystemArchiveSaveRelease = 0x8;

// Load modes.
inline constexpr u32 kSystemArchiveLoadFull = 7;       // header, references with their files, body
inline constexpr u32 kSystemArchiveLoadHeaderOnly = 2; // header only
inline constexpr u32 kSystemArchiveLoadRawBody = 3;    // header, references not loaded, raw body
inline constexpr u32 kSystemArchiveLoadBodyBits = 0x7; // any of them: the body is read
inline constexpr u32 kSystemArchiveLoadRefFiles = 0x4; // references load their files
inline constexpr u32 kSystemArchiveLoadReload = 0x8;

// The versions written and read.
inline constexpr u16 kSystemArchiveVersion = 6;
inline constexpr u16 kSystemArchiveOldestVersion = 3;

// The class id of file-backed nods, always external references.
inline constexpr u32 kSystemArchivePlugFileClassId = 0x09020000;

// The most node-table entries and references one archive may hold: more is damaged data.
inline constexpr u32 kSystemArchiveMaxNodes = 0x400000;
inline constexpr u32 kSystemArchiveMaxRefs = 0x100000;
// The most folder records one reference table may hold.
inline constexpr u32 kSystemArchiveMaxFolders = 4096;

// One reference of the reference list. A nod reference names the nod and its file id; a
// use-file reference (a file-id reference of the body) only the file id.
struct SSystemArchiveRef {
    CSystemFid* m_Fid = nullptr;
    CMwNod* m_Nod = nullptr;
    u32 m_NodeIndex = 0;
    u32 m_FolderIndex = 0;
    u32 m_UseFile = 0;
};

// One entry of the node table: the nod (for a use-file reference, the file id itself), where its
// inline data begins in the body (written only), whether the load keeps it alive while the body
// is read (every nod of a reference: the body letting it go never frees an entry), and whether
// it stands for a reference of the table (read only: 1 for a nod reference, 2 for a use-file
// reference; such an entry never reads inline data, and a nod reference gives null when it found
// no nod) or for a nod destroyed during the load (3: the index may not be used again).
struct SSystemArchiveNode {
    CMwNod* m_Object = nullptr;
    u32 m_BodyOffset = 0;
    u32 m_Hold = 0;
    u32 m_Reference = 0;
};

// The node index of every nod and file id written, found by address: open addressing over a
// table of node indices whose size is a power of two. An address's 64 KB region starts at a
// point of the table that a multiplication scatters, and within the region the addresses keep
// their order, 16 bytes to a slot: nods made one after another, which a body mostly writes in
// turn, take neighbouring slots, so that a table larger than the caches is walked through rather
// than hit at random. A nod is larger than two slots' worth of bytes, so a region fills at most
// half of the slots it spans.
class CSystemArchiveNodeMap {
public:
    CSystemArchiveNodeMap() = default;
    CSystemArchiveNodeMap(const CSystemArchiveNodeMap&) = delete;
    CSystemArchiveNodeMap& operator=(const CSystemArchiveNodeMap&) = delete;
    ~CSystemArchiveNodeMap() { delete[] m_Slots; }

    // Empties the map, keeping its table; the node table holds the objects the map knows.
    void Clear(const CFastBuffer<SSystemArchiveNode>& nodes);
    // Exchanges the tables of the two maps.
    void Swap(CSystemArchiveNodeMap& other);
    u32 GetSlotCount() const { return m_Slots ? m_Mask + 1 : 0; }
    // The index of the entry of the node table that holds the object, or, when none does, the
    // table's count, kept for the object from now on (the caller appends it); isNew tells.
    u32 FindOrAdd(const CMwNod* object, const CFastBuffer<SSystemArchiveNode>& nodes, bool* isNew);

private:
    static constexpr u32 kRegionShift = 16;
    static constexpr u32 kSlotShift = 4;
    static_assert(sizeof(CMwNod) >= (2u << kSlotShift), "a region fills at most half its slots");
    static u32 Hash(const CMwNod* object) {
        const u64 address = u64(reinterpret_cast<uintptr_t>(object));
        return u32(((address >> kRegionShift) * 0x9E3779B97F4A7C15ull) >> 32) +
               u32(address >> kSlotShift);
    }
    void Grow(const CFastBuffer<SSystemArchiveNode>& nodes);

    // Node index + 1; 0 is an empty slot.
    u32* m_Slots = nullptr;
    u32 m_Mask = 0;
    u32 m_Count = 0;
};

class CSystemArchive : public CClassicArchive {
public:
    // Release set, plain body, version 6, load mode 7, no current file id; the System engine
    // taken from the engine manager.
    CSystemArchive();
    // Gives the body buffer back to the pool and deletes every file id of the unresolved list.
    ~CSystemArchive() override;

    // Writing: the node index, and on a nod's first inline occurrence its class id and chunks;
    // nods bound to a file of their own become references of the table. Reading: the nod the
    // index stands for, created and read on its first inline occurrence.
    void ArchiveNodRef(CMwNod*& nod) override;
    // The same; reading, a nod whose body is still being read (the main nod of a load in
    // progress, here or in a load this one is nested in, or an inline nod whose chunks are being
    // read) fails the read: its holder would hold it for ever.
    void ArchiveHeldNodRef(CMwNod*& nod) override;
    // The node index of a use-file reference to the file id (its master when the file is saved to
    // a file or a reference folder is set); reading, that file id.
    void ArchiveFidRef(CSystemFid*& fid) override;
    // The current file id's full file name; false when it is not a file.
    bool GetFileName(CClassicWideString& out) override;

    // Bits 0 text, 1 compressed body, 2 own-file nods inline, 3 release; the word is kept.
    void SetSaveFlags(u32 flags);
    u32 GetSaveFlags() const { return m_SaveFlags; }

    // ---- Writing (m_Writing set by WriteBody) ----
    // The main nod's chunk stream into the body buffer; the node table starts with the main nod
    // and the reference list empty. Returns Archive's result.
    u32 WriteBody(CMwNod* mainNod);
    // The header, the reference table and the body, to the archive's stream. WriteRefs fails,
    // with a log line and nothing written, for a reference across the local and resource drives.
    void WriteHeader();
    bool WriteRefs();
    // The body buffer, as one LZO block when compressed; false when the stream takes less.
    bool WriteBodyOut();
    // The four steps: the main nod's image written to the stream (which the archive lends and
    // gives back). False when the reference table fails or the stream takes less than given.
    bool Save(CMwNod* mainNod, CClassicBuffer* stream);

    // ---- Reading (from the archive's stream) ----
    // False, with the line "Wrong .Zun format : " + the file's full name, for another magic;
    // false without a line for a version outside 3 to 6.
    bool ReadHeader();
    // Reads the reference table and resolves each record (SystemArchiveRefResolver). False when
    // a record fails to resolve.
    bool ReadRefs();
    // Reads the body into the main nod (in load mode 3 keeps its raw bytes in the body buffer).
    // False when a compressed body does not decode.
    bool ReadBody(CMwNod* mainNod);
    // The core of every load from the stream (which the archive lends and gives back): header;
    // unless the load mode is 3 the main nod is created from the main class id and bound through
    // the parameter-set preparation; references; the body when the mode asks for it; the
    // parameter-set completion.
    // The load keeps alive every nod it creates (the main nod and the inline nods), every nod of
    // its node table while the body is read, and every referenced file's nod that a load nested
    // in it loaded, until it ends, so that no node index hands out a freed nod; it does so
    // without counting references (a nod made by the load has count 0 until something takes
    // it). Then the inline nods that nobody took go, and the main nod and the referenced files'
    // nods stay as loaded (bound to their file ids, count 0; inside another load, kept by that
    // one until it ends). On any failure (a stream exception or damaged data among them) every
    // nod it created or loaded goes unless something outside the load holds it, *out is null
    // and the result false.
    bool Load(CClassicBuffer* stream, CMwNod** out);

    // ---- Operations (SystemArchiveOps.cpp): each prepares the archive, runs the steps above
    // and binds the nod to its file id. Results: 1 success, 0 failure. ----

    // Saves the nod to the named file (placed below the folder, or from the local drive's root
    // without one). With registerFid the file id of the name is the nod's from now on (the line
    // "Saving %s to %s" when it moves from another file); without, a file id kept for the save
    // only. With checkChanges the file is written only when its bytes change ("no change
    // detected to %s"). Every file is written through a temporary file that replaces it whole.
    i32 SaveNodToFile(CClassicWideStringRef name, CMwNod* nod, CSystemFids* folder, u32 saveFlags,
                      u32 mode, bool checkChanges, bool registerFid);
    // Loads the named file's nod; with findInTree a file already loaded gives its nod as it is.
    // The mode's bit of value 8 reloads the file into a new nod. *out is null on failure.
    i32 LoadNodFromFile(CClassicWideStringRef name, CMwNod** out, CSystemFids* folder, u32 mode,
                        bool findInTree);
    // The current file id's nod: bound already, loaded by its loader, or loaded from its file.
    i32 LoadFid(CMwNod** out);
    // The current file id's nod from an open stream (closed after): the nod already bound for it
    // when there is one. The file id stays its owner's, whatever the result.
    i32 LoadFromStream(CClassicBuffer* stream, CMwNod** out);
    // Memory images through a memory file id of the engine's memory folder. In load mode 3 a
    // load that read its raw body answers 1 with no nod.
    i32 SaveToMemory(CClassicBufferMemory* buffer, CMwNod* nod, u32 saveFlags);
    i32 LoadFromMemory(CClassicBufferMemory* buffer, CMwNod** out);
    // The nod of resource kSystemResourceIdBase | index, loaded once.
    i32 LoadResource(u32 resourceId, CMwNod** out);
    // Reads the current file id's header (and, unless the mode is 2, its reference table) from
    // the stream, or from the file id's own source without one.
    bool ReadFileHeader(u32 mode, CClassicBuffer* stream);
    // True when the file at the path holds exactly the image's bytes.
    static bool FileEquals(CClassicWideStringRef path, CClassicBufferMemory& image);

    // ---- State ----
    void SetCurrentFid(CSystemFid* fid) { m_CurrentFid = fid; }
    CSystemFid* GetCurrentFid() const { return m_CurrentFid; }
    // The folder references are made relative to when the current file id is a memory image.
    void SetRefFolder(CSystemFids* folder) { m_RefFolder = folder; }
    CSystemFids* GetRefFolder() const { return m_RefFolder; }
    // The memory image to load was made by this engine (a copy): its references may lie above
    // the data folder. Any other memory image's reference table stays inside the data folder.
    void SetEngineImage(bool engineImage) { m_EngineImage = engineImage; }
    void SetLoadMode(u32 mode) { m_LoadMode = mode; }
    u32 GetLoadMode() const { return m_LoadMode; }
    // The permissions a file saved to a name that has no file yet gets (0666 less the umask
    // unless set); an existing file keeps its own. Files that hold secrets are made 0600.
    void SetNewFileMode(u32 mode) { m_NewFileMode = i32(mode & 07777); }
    CSystemEngine* GetEngine() const { return m_Engine; }
    // The parameter-set steps of the load (its load set and use-file classes).
    CSystemParamLoad& GetParamLoad() { return m_ParamLoad; }
    CSystemParamSet* GetLoadParamSet() const { return m_ParamLoad.GetLoadParamSet(); }
    // Takes a file id made for a reference that could not be resolved; deleted with the archive.
    void AddUnresolvedFid(CSystemFid* fid) { m_UnresolvedFids.Add(fid); }
    // The folder of a folder index of the table read (null for an index past it).
    CSystemFids* GetIndexedFolder(u32 index) const;

    const CFastBuffer<SSystemArchiveRef>& GetRefs() const { return m_Refs; }
    const CFastBuffer<SSystemArchiveNode>& GetNodes() const { return m_Nodes; }
    CClassicBufferMemory* GetBodyBuffer() const { return m_Body; }
    u32 GetMainClassId() const { return m_MainClassId; }
    u16 GetVersion() const { return m_Version; }

    // Body compressed ('C'), and the second letter read as 'C'.
    bool m_Compressed = false;
    bool m_SecondLetterC = false;
    // Own-file nods stay inline (save flag bit 2).
    bool m_KeepOwnFileInline = false;
    // Set for memory copies: the header-chunk blob is not built.
    bool m_MemoryCopy = false;

private:
    // The shared loader loads through the file, whatever loader the file id names.
    friend class CSystemDummyFidLoader;

    i32 LoadFromFile(CMwNod** out, bool reload);
    i32 LoadFromMemoryFid(CMwNod** out);
    i32 SaveToFile(CMwNod* nod);
    i32 SaveToFileIfChanged(CMwNod* nod);
    // Replaces the file by the image through a temporary file; on success the current file id
    // reads its size and state again.
    bool WriteFileImage(CClassicWideStringRef name, const CClassicBufferMemory& image);
    // The save flags from the current file id's format when the word is 0.
    void TakeFormatFromFid();
    // The index of a nod or file id in the node table, appended when new (isNew tells).
    u32 FindOrAddNode(CMwNod* object, bool* isNew);
    // The file id references are made to: its master when the current file id is a file or a
    // reference folder is set.
    CSystemFid* RefFidOf(CSystemFid* fid) const;
    bool MakesExternalRef(CMwNod* nod, CSystemFid*& fid) const;
    void ReadNodRef(CMwNod*& nod, bool held);
    void ReadFidRef(CSystemFid*& fid);
    void ReadFolderTree(CSystemFids* root);
    void ReadRefRecord(SSystemArchiveRef& record);
    void PrepareNodeTable();
    void ReleaseHeldNodes();
    // The end of a load (see Load): kept or failed.
    void EndLoad(CMwNod* mainNod, bool kept);
    // A nod loaded outside an archive body (a file-backed nod) for the load in progress, if any:
    // kept by that load like the nods of the archives nested in it.
    static void KeepForLoadInProgress(CMwNod* nod);
    // A nod the load keeps alive was destroyed all the same: it leaves every list and entry (of
    // this load, or of every load in progress).
    void ForgetDestroyedNod(CMwNod* nod);
    static void ForgetDestroyedNodEverywhere(CMwNod* nod);
    friend class CSystemLoadGuard;

    u16 m_Version = kSystemArchiveVersion;
    CSystemEngine* m_Engine = nullptr;
    // Index 0 is the reference root of the table read.
    CFastArray<CSystemFids*> m_FolderIndex;
    CFastBuffer<SSystemArchiveRef> m_Refs;
    CFastBuffer<SSystemArchiveNode> m_Nodes;
    // The node count the header announced (the table is made when the body is read).
    u32 m_NodeCount = 0;
    // Writing: the node index of a nod or file id, beside the node table.
    CSystemArchiveNodeMap m_NodeIndexOf;
    u32 m_MainClassId = 0;
    CSystemFid* m_CurrentFid = nullptr;
    CSystemFids* m_RefFolder = nullptr;
    CSystemParamLoad m_ParamLoad;
    u32 m_LoadMode = kSystemArchiveLoadFull;
    u32 m_SaveFlags = 0;
    // Taken from the buffer pool when first needed and given back with the archive, so that
    // saves one after another reuse its storage.
    CClassicBufferMemory* m_Body = nullptr;
    CFastBuffer<CSystemFid*> m_UnresolvedFids;
    // The drive references are read against when the engine has none (with the folders read
    // into it), deleted with the archive.
    CSystemFids* m_EmptyDrive = nullptr;
    // While a load runs: what keeps its nods alive, its main nod, the inline nods created while
    // reading its body and the referenced files' nods that loads nested in it loaded.
    CSystemLoadGuard* m_Guard = nullptr;
    CMwNod* m_LoadMain = nullptr;
    CFastBuffer<CMwNod*> m_CreatedNods;
    CFastBuffer<CMwNod*> m_LoadedNods;
    // The load this one is nested in (while it runs), and the innermost load in progress.
    CSystemArchive* m_OuterLoad = nullptr;
    static CSystemArchive* s_InnermostLoad;
    // A memory image made by this engine: its reference root is not kept in the data folder.
    bool m_EngineImage = false;
    // The class of the last inline nod read and its factory (null: none yet).
    u32 m_InlineClassId = 0;
    CMwClassInfo::Factory m_InlineFactory = nullptr;
    // A header read passed its version (it counts as read, whatever follows).
    bool m_HeaderVersionRead = false;
    // Memory images take this format when the save flags word is 0 (a file saved through a
    // memory image keeps its own format).
    CSystemFid* m_FormatFid = nullptr;
    // SetNewFileMode's permissions; -1 when not set.
    i32 m_NewFileMode = -1;
};

// The step of reading a reference table that turns one record into the file id it stands for
// and, for a nod reference, the nod the body's node table will hold. The record comes with the
// file id made from it (kind from its flags, its name or resource index, its folder from the
// folder index table, not a leaf of it) in m_Fid and no nod; on success m_Fid is the file id the
// record stands for and m_Nod its nod (null for a use-file record). The resolver owns the file id
// it was given: it deletes it or keeps it (AddUnresolvedFid). False fails the whole table.
class CSystemArchiveRefResolver {
public:
    constexpr CSystemArchiveRefResolver() = default;
    CSystemArchiveRefResolver(const CSystemArchiveRefResolver&) = delete;
    CSystemArchiveRefResolver& operator=(const CSystemArchiveRefResolver&) = delete;

    // Here: the file id already known for the record (the resource table's entry, or the equal
    // file id of its folder) and the nod bound to it for the current parameter set; a record
    // found nowhere keeps its file id in the unresolved list. Nothing is loaded: a nod record
    // left without a nod fails when the load mode asks for referenced files, with the line
    // "Could not find '" + full name + "'".
    virtual bool Resolve(CSystemArchive& archive, SSystemArchiveRef& record);

protected:
    // Resolvers are never deleted through this class; the default one is never destroyed.
    ~CSystemArchiveRefResolver() = default;
};

// The resolver in force.
CSystemArchiveRefResolver& SystemArchiveRefResolver();
// Installs a resolver (the caller keeps it alive while installed); null puts the default back.
void SetSystemArchiveRefResolver(CSystemArchiveRefResolver* resolver);

// Memory images with an archive of their own, keeping the nod's file-id binding as it was: the
// nod saved into the buffer (without header chunks), or loaded from it in place of *nod (which
// takes over the file id *nod had; on failure *nod is null and the file id stays with the nod it
// had). A loaded image's references reach files inside the data folder only.
i32 SaveNodToMemoryBuffer(CClassicBufferMemory* buffer, CMwNod* nod, u32 saveFlags);
i32 LoadNodFromMemoryBuffer(CClassicBufferMemory* buffer, CMwNod** nod);
// A copy of the nod through memory (binary, plain, release, own-file nods as references). With
// keepFid the copy replaces *nod and takes over its file id; without, *nod becomes the copy. 1
// when copied; 0, *nod null, when the nod could not be saved or the copy could not be loaded
// (the original keeps its file id).
i32 DuplicateNod(CMwNod** nod, bool keepFid);
// *equal: whether the two nods both save, to the same bytes. Always 0.
i32 CompareNods(CMwNod* a, CMwNod* b, u32* equal);

// The loader shared by file ids whose nod loads through an archive (aliases made for other
// parameter sets): its LoadFid reloads a file-backed nod in place or runs a full archive load.
class CSystemDummyFidLoader : public CMwNod {
    MW_DECLARE_CLASS(CSystemDummyFidLoader, CMwNod, 0x0B012000)
public:
    // Forgets the shared instance when it is that one.
    ~CSystemDummyFidLoader() override;
    // The shared instance, made on first use (held by the file ids that name it as loader).
    static CSystemDummyFidLoader* Get();
    // A file-backed nod bound to this very file id (of a file) reloads itself or through its
    // master's loader; any other is loaded by an archive with load mode 7.
    i32 LoadFid(CMwNod** nod, CSystemFid* fid) override;
};

// The archive's answers to what file ids ask (reading a file's header, the shared loader), which
// the System engine installs (SetSystemFidLinks) while it lives.
class CSystemFidLinks;
CSystemFidLinks& SystemArchiveFidLinks();
