#pragma once
// The two kinds of file ids and a small serialisable helper:
// - CSystemFidFile: a file on disk (or an entry of a zip folder or of the resource table), with
//   its name inside its folder, its size and read-only state, and its resource index;
// - CSystemFidMemory: a memory image that an archive is saved into or loaded from;
// - CSystemFidCache: two lists of numbered names, kept in one chunk that the chunk loop never
//   writes.
#include "core/base/FastBuffer.h"
#include "system/fid/SystemFid.h"

class CClassicBufferMemory;

class CSystemFidFile : public CSystemFid {
    MW_DECLARE_CLASS(CSystemFidFile, CSystemFid, 0x0B00A000)
public:
    static constexpr u32 s_ByteSizeMemberId = 0x0B00A000;
    static constexpr u32 s_ByteSizeEdMemberId = 0x0B00A001;
    static constexpr u32 s_IsReadOnlyMemberId = 0x0B00A002;
    static constexpr u32 s_FullFileNameMemberId = 0x0B00A004;
    static constexpr u32 s_ShortFileNameMemberId = 0x0B00A005;
    static constexpr u32 s_CopyToFileRelativeMemberId = 0x0B00A006;

    // A file: no name, size 0, read-only and in need of both refreshes until its first Refresh
    // (the low flag byte 0x1F, the read-only bit), Text kept.
    CSystemFidFile();

    // In the same folder, names that stand for one file (NamesOneEntry).
    bool IsEqual(CSystemFid* other) override;
    // The base copy, then the other file's name.
    void CopyFidFrom(CSystemFid* other) override;
    // The resource index (one u32) of a resource-local file, the name (a wide string) of others.
    void ArchiveName(CClassicArchive& archive) override;
    // True when the file is missing or not read-only.
    bool IsWritable() override;
    // The folder's notification, then the name hook.
    void OnChanged() override;
    // When refresh bit 2 or 4 is set: the read-only bit from the path (the given one, else the
    // full name; a missing file reads as read-only), the size from the file when it exists (0
    // when it cannot be opened, kept when it is missing); both bits cleared.
    void Refresh(const CClassicWideString* path) override;
    // ByteSize, ByteSizeEd, IsReadOnly, FullFileName and ShortFileName; writing IsReadOnly is
    // accepted and changes nothing.
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;

    // Called after every change of name; nothing here.
    virtual void OnNameChanged() {}
    // Called for the file by the incremental scan of its folder; nothing here.
    virtual void OnScanStep() {}

    // The name, normalised as a file path ('/' becomes '\', doubled separators collapse, '"',
    // '*', '<', '>', '|' and a ':' outside a drive become '_', '?' stays), then the name hook.
    void SetFileName(CClassicWideStringRef path);
    // out := the folder's full name followed by the name (the name alone without a folder).
    void GetFullFileName(CClassicWideString& out);
    // When the ancestor is the folder or lies above it: appends the path below it and the name
    // to out and returns true; false otherwise and without a folder.
    bool GetFileNameRelativeTo(CClassicWideString& out, CSystemFids* ancestor);
    bool IsReadOnly() const { return m_Flags & kSystemFidReadOnly; }

    // The name inside the folder; while the file id is placed, the rest of its path.
    CClassicWideString m_FileName;
    // Index in the resource table, for a resource-local file.
    u32 m_ResourceIndex = 0;
    u64 m_ByteSize = 0;
};

class CSystemFidMemory : public CSystemFid {
    MW_DECLARE_CLASS(CSystemFidMemory, CSystemFid, 0x0B00E000)
public:
    // A memory image: reference flags 8, no buffer.
    CSystemFidMemory();
    // Deletes the buffer when it owns it.
    ~CSystemFidMemory() override;

    // Same buffer in the same folder.
    bool IsEqual(CSystemFid* other) override;
    // The base copy, then the buffer (not its ownership).
    void CopyFidFrom(CSystemFid* other) override;

    CClassicBufferMemory* m_Buffer = nullptr;
    u32 m_OwnsBuffer = 0;
};

class CSystemFidCache : public CMwNod {
    MW_DECLARE_CLASS(CSystemFidCache, CMwNod, 0x0B016000)
public:
    static constexpr u32 s_ChunkId = 0x0B016000;
    // The most records of one list a chunk may hold: more is damaged data.
    static constexpr u32 s_MaxRecords = 0x10000;

    struct SRecord {
        u32 m_Number = 0;
        CClassicWideString m_Name;
    };

    CSystemFidCache() = default;
    CSystemFidCache(const CSystemFidCache&) = delete;
    CSystemFidCache& operator=(const CSystemFidCache&) = delete;
    ~CSystemFidCache() override;

    // The chunk of the two lists: for each, its count and then each record's number and name.
    // A list read back holds exactly the records read. The chunk is known to no class, so the
    // chunk loop never writes it and passes over a stored one.
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    CClassicWideString m_Name;
    CFastBuffer<SRecord> m_First;
    CFastBuffer<SRecord> m_Second;
};
