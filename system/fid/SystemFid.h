#pragma once
// CSystemFid, the file id: the engine's handle on one stored object (a file on disk, an entry of
// a zip container or of the resource table, a memory image). A nod loaded from a file or saved
// to one is bound to exactly one file id: the file id names the nod (m_Nod, without a reference:
// it is a dependant of the nod) and the nod names the file id (CMwNod::m_Fid), so that a second
// request for the same file gives the same nod, and the binding goes when the nod's last
// reference goes.
//
// A file id also keeps the format its file was read in (text or binary, compressed or not), the
// class of the nod stored in it (read from the file's header on demand), the header-chunk blob,
// the parameter set its nod was loaded under, and, when the one file was loaded under several
// parameter sets, the alias file ids that hold the other loads (each alias names its master).
//
// This is the base of the file ids; the kinds of files and memory images (SystemFidFile.h) and
// the loaders build on it, and the folder tree (SystemFids.h) holds it. What it asks of the
// archive reader goes through SystemFidLinks().
#include "core/base/FastBuffer.h"
#include "core/nod/MwNod.h"
#include "system/fid/SystemParamSet.h"

class CClassicArchive;
class CClassicBuffer;
class CSystemFids;

// Bits of CSystemFid::m_Flags.
inline constexpr u32 kSystemFidRefreshBits = 0x1F; // set after a save; the file kind clears them
inline constexpr u32 kSystemFidText = 0x200;       // stored in the text encoding
inline constexpr u32 kSystemFidCompressed = 0x400; // stored with a compressed body
inline constexpr u32 kSystemFidReadOnly = 0x800;   // the file is read-only (file kind)

// CSystemFid::m_RefFlags: what the file id stands for, as archive references store it.
inline constexpr u32 kSystemFidRefFile = 0x1;
inline constexpr u32 kSystemFidRefResourceLocal = 0x4; // stored by its resource index
inline constexpr u32 kSystemFidRefMemory = 0x8;

// The state of the header-chunk blob.
inline constexpr u32 kSystemFidBlobUnread = 0;
inline constexpr u32 kSystemFidBlobAbsent = 1;
inline constexpr u32 kSystemFidBlobPresent = 2;
// The largest blob read from a file. The blob carries the header chunks of a nod, a few small
// values; a larger stored size is a damaged header.
inline constexpr u32 kSystemFidMaxHeaderBlobSize = 0x100000;

class CSystemFid : public CMwNod {
    MW_DECLARE_CLASS(CSystemFid, CMwNod, 0x0B008000)
public:
    static constexpr u32 s_NodMemberId = 0x0B008000;
    static constexpr u32 s_TextMemberId = 0x0B008001;
    static constexpr u32 s_CompressedMemberId = 0x0B008002;
    static constexpr u32 s_UnknownClassId = 0xFFFFFFFF;

    // Text set, nothing else: no folder, no nod, no loader, class unknown, header unread, the
    // parameter set a copy of the default set.
    CSystemFid();
    // Leaves the master's aliases (and lets its own aliases go), unbinds its nod, leaves its
    // folder, and gives the loader's reference back.
    ~CSystemFid() override;

    // The bound nod: destroyed, the binding is cleared; released to 0, the binding is cleared and
    // the nod goes unless something else still holds it.
    void OnDependencyDestroyed(CMwNod* nod) override;
    void OnDependencyReleased(CMwNod* nod) override;
    // Text and Compressed read and write bits 9 and 10 of the flags.
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;

    // Equality with another file id: here the same folder; the kinds compare names or buffers.
    virtual bool IsEqual(CSystemFid* other);
    // Takes over the other file id's nod (bound to this one from now on) and aliases, and copies
    // its parameter set and folder.
    virtual void CopyFidFrom(CSystemFid* other);
    // Writes or reads the name of a reference record; nothing here.
    virtual void ArchiveName(CClassicArchive& archive);
    virtual bool IsWritable() { return false; }
    // Tells the folder (and its ancestors) that this file id has been placed or renamed.
    virtual void OnChanged();
    // Reads size and read-only state again from the path, or from the file id's own path when
    // none is given; nothing here.
    virtual void Refresh(const CClassicWideString* path);

    // The binding. SetNod binds the nod (a nod bound before is let go first); ClearNod forgets
    // the nod on both sides and returns it.
    void SetNod(CMwNod* nod);
    CMwNod* ClearNod(CMwNod* nod);

    // Aliases: the same file loaded under other parameter sets.
    CSystemFid* GetMasterFid() { return m_Master ? m_Master : this; }
    // Appends the alias to the master's aliases (taking it from the aliases of a master it had
    // before) and makes the master its master.
    void AddAlias(CSystemFid* alias);
    // The master when its parameter set suits the set, else the first alias whose set suits it,
    // else null. For a set with records that have values, suiting is judged for the master's
    // content class.
    CSystemFid* FindForParamSet(const CSystemParamSet& set);
    // The nod bound to FindForParamSet(set), or null.
    CMwNod* GetNodFor(const CSystemParamSet& set);
    // True when this file id or one of its aliases, at any depth, has a bound nod.
    bool HasNodOrAliasNod() { return FindNodOrAliasNod() != nullptr; }

    // The class of the nod stored in the file, read once: an alias asks its master, a master
    // reads its file's header. 0xFFFFFFFF while the header cannot be read.
    u32 GetContentClassId();
    // Reads the header (header only) from the stream, or from the file id's own source; the blob
    // counts as absent when the header had none. False when no header could be read.
    bool ReadHeader(CClassicBuffer* stream);
    // The blob of the bound nod's header chunks (of an alias's nod when this file id has none):
    // unread without a nod, absent when no chunk writes a byte.
    void BuildHeaderChunks();
    // Writes the blob (u32 size: 0 without a blob, then its bytes) or reads it. A blob read back
    // is dropped (unread) when its size does not match its own pairs, and also, after its bytes
    // are passed over, when it is larger than kSystemFidMaxHeaderBlobSize. A size past the end of
    // the stream fails the read (CClassicBufferException).
    void ArchiveHeaderBlob(CClassicArchive& archive);
    // Frees the blob: absent / unread with the content class forgotten.
    void SetNoBlob();
    void ClearHeader();
    u32 GetHeaderBlobState() const { return m_BlobState; }
    // The pairs of a present blob: count, chunk id, size and data of pair i (i below the count).
    u32 GetHeaderChunkCount() const;
    u32 GetHeaderChunkId(u32 index) const;
    u32 GetHeaderChunkSize(u32 index) const;
    const u8* GetHeaderChunkData(u32 index) const;

    // Takes a reference on the new loader, gives the old one's back; a loader pins the folder.
    void SetLoader(CMwNod* loader);
    CMwNod* GetLoader() const { return m_Loader.Get(); }

    // Places the file id in the folder tree by the folder part of its name (missing folders are
    // made; with addLeaf it becomes a leaf of the folder it ends in), then tells the folder.
    // From the root: its folder (a drive) adopts the name first, stripping the root. From the
    // folder: the name is already relative to its folder.
    void PlaceFromRoot(u32 addLeaf);
    void PlaceFromFolder(u32 addLeaf);
    // Removes the file id from its folder.
    void Unlink();

    bool IsText() const { return m_Flags & kSystemFidText; }
    bool IsCompressed() const { return m_Flags & kSystemFidCompressed; }
    void SetFormat(bool text, bool compressed);

    u32 m_Flags = kSystemFidText;
    CSystemFids* m_Folder = nullptr;
    // While the file id is a leaf of a folder: 1 + its place in the folder's leaves (0 when it is
    // no leaf), whether the folder's name index holds it (a file) and under which key.
    // CSystemFids keeps them.
    u32 m_LeafSlot = 0;
    u32 m_InNameIndex = 0;
    u32 m_NameKey = 0;
    u32 m_RefFlags = 0;
    u32 m_ContentClassId = s_UnknownClassId;
    CMwNod* m_Nod = nullptr;
    CFastBuffer<CSystemFid*> m_Aliases;
    CSystemFid* m_Master = nullptr;
    // The parameters the bound nod was loaded under.
    CSystemParamSet m_ParamSet;

private:
    CMwNod* FindNodOrAliasNod();
    void FreeBlob(u32 state);

    CMwNodRef m_Loader;
    // {u32 count; count pairs {u32 chunk id, u32 size}; the data of the chunks}, little-endian,
    // while the state is kSystemFidBlobPresent.
    CFastArray<u8> m_Blob;
    u32 m_BlobState = kSystemFidBlobUnread;
};
