#pragma once
// Zip archives used as folders. Loading a CPlugFileZip lists the archive's entries (one
// CPlugFileZipInfo each; folders and empty files are not listed); installing it gives every
// entry a file id in a folder of the file-id tree and makes the zip those file ids' loader, so
// that the rest of the engine loads and saves entries as it does plain files. Entries are read
// as streams (ZipEntryStream); saving an entry rebuilds the archive beside it and puts the new
// archive in place only once it is complete.
//
// The zip format is minizip's (over zlib); every byte it reads or writes goes through the
// engine's file stream, so engine paths resolve as every other file's do. The stream's positions
// are 32-bit: archives of 4 GB or more are refused.
//
// Archives are untrusted: an entry whose name could leave its folder (empty, absolute, with a
// drive, a "." or ".." component, a NUL) or is longer than 1024 bytes, and an entry of 4 GB or
// more, is not listed (a log line says why); encrypted entries are listed but never opened.
#include "core/base/ClassicBuffer.h"
#include "core/base/FastBuffer.h"
#include "plug/bitmap/PlugFile.h"

#include <memory>
#include <unordered_map>

class CSystemFid;
class CSystemFids;
class CZipArchiveReader;

// One entry of a listed archive.
class CPlugFileZipInfo : public CPlug {
    MW_DECLARE_CLASS(CPlugFileZipInfo, CPlug, 0x09085000)
public:
    // The name inside the archive, '/' between folders.
    CClassicString m_FileName;
    u32 m_Ratio = 0;
    u32 m_SizeComp = 0;
    u32 m_SizeUncomp = 0;
    // The file id installed for the entry (no reference; null when not installed).
    CSystemFid* m_InstalledFid = nullptr;
    // Where the entry's directory record lies, as the listing found it.
    u64 m_DirectoryOffset = 0;
    u64 m_FileIndex = 0;
};

// A stream over one open entry of a zip handle: reads the current entry of a reading handle or
// writes the current entry of a writing handle. It cannot seek; its size is the entry's
// uncompressed size and its position the count of bytes read or written.
class ZipEntryStream : public CClassicBuffer {
public:
    ZipEntryStream(void* handle, bool writing, u32 size)
        : m_Handle(handle), m_Writing(writing), m_Size(size) {}

    // The bytes read; 0 at the end of the entry and for damaged data (Failed() then tells).
    u32 Read(void* data, u32 n) override;
    // n when the library took the bytes, else 0 (and Failed()).
    u32 Write(const void* data, u32 n) override;
    // The handle is closed by CPlugFileZip::CloseEntry, never by the stream's reader.
    bool Close() override { return false; }
    u32 GetPosition() const override { return m_Position; }
    u32 GetSize() const override { return m_Size; }

    void* GetHandle() const { return m_Handle; }
    bool Failed() const { return m_Failed; }

private:
    void* m_Handle;
    bool m_Writing;
    bool m_Failed = false;
    u32 m_Size;
    u32 m_Position = 0;
};

class CPlugFileZip : public CPlugFile {
    MW_DECLARE_CLASS(CPlugFileZip, CPlugFile, 0x09084000)
public:
    // The longest entry name listed, in bytes.
    static constexpr u32 s_MaxNameLength = 1024;

    CPlugFileZip() = default;
    CPlugFileZip(const CPlugFileZip&) = delete;
    CPlugFileZip& operator=(const CPlugFileZip&) = delete;
    // Uninstalls the entries' file ids and deletes the entry objects.
    ~CPlugFileZip() override;

    // An installed file id destroyed elsewhere: the entry that held it forgets it; the install
    // folder destroyed: forgotten.
    void OnDependencyDestroyed(CMwNod* nod) override;
    // Loads the entry of the file id: a ".Zun" entry as an archive (load mode 7), another into
    // *nod (made from the extension table and bound to the file id when null) through the
    // guarded read. 0 when the entry cannot be opened or its CRC does not match.
    i32 LoadFid(CMwNod** nod, CSystemFid* fid) override;
    // Writes the file-backed nod as the entry of the file id: the archive is rebuilt with every
    // other entry copied as stored and the nod's bytes deflated as the last entry, written
    // through a temporary file that replaces the archive only when complete, then listed again.
    // 0, with the archive as it was, when the zip has no writable file id of its own, the name
    // is a ".Zun" one, the archive exists but cannot be read whole, the nod fails to write or
    // anything else fails.
    i32 SaveFid(CMwNod* nod, CSystemFid* fid) override;
    // The listing: 1 when the archive was opened and its directory announces entries; 0, with a
    // log line and no entry, otherwise.
    i32 LoadFromPath(CClassicWideStringRef path) override;
    // The archive is never written whole by path.
    i32 SaveToPath(CClassicWideStringRef) override { return 0; }

    // Gives each listed entry the file id of its name in the folder (the data folder when null;
    // with sub, in the sub-folder named after the archive's base name) and becomes its loader.
    void InstallFids(CSystemFids* folder, bool sub);
    // Deletes the entries' file ids.
    void UninstallFids();
    CSystemFids* GetInstallFolder() const { return m_InstallFolder; }

    // A stream over the entry the file id stands for, or null (logged when the entry exists but
    // cannot be opened). The archive's reading handle is kept from one entry to the next while
    // the archive file stays the same one (device, inode, size and modification time) and is
    // neither listed again nor uninstalled; otherwise the archive is opened anew.
    ZipEntryStream* OpenEntry(CSystemFid* fid);
    // Closes the entry (keeping its archive's handle for the next entry when none is kept yet)
    // and deletes the stream (nothing for null). False when the entry was read to its end and
    // its CRC does not match (logged).
    bool CloseEntry(ZipEntryStream* stream);

    // The member actions.
    void UiInstallFidsInSubFolder();
    void UiInstallFids() { InstallFids(nullptr, false); }

    u32 GetFileCount() const { return m_FileInfos.m_Count; }
    CPlugFileZipInfo* GetFileInfo(u32 index) const { return m_FileInfos.m_Items[index]; }
    const CClassicWideString& GetPath() const { return m_Path; }

    CFastBuffer<CClassicString> m_FileNames;
    CFastBuffer<CPlugFileZipInfo*> m_FileInfos;
    u32 m_NbFile = 0;

private:
    // Forgets every entry's file id (deleting the ones it still is the loader of, when
    // deleteFids) and the install folder.
    void ForgetFids(bool deleteFids);
    void SetInstallFolder(CSystemFids* folder);
    // Finds the first entry of every installed file id again (after an install).
    void IndexFids();
    void ClearEntries();
    // The entry name of an installed file id ('\' turned into '/'); false for a file id that
    // does not lie below the install folder.
    bool EntryNameOf(CSystemFid* fid, CClassicString& out) const;
    // Writes the archive with every entry but `name` (compared ignoring case) copied, then the
    // nod as `name`; the new archive replaces the old one only when everything went well.
    bool RebuildWith(const CClassicString& name, CPlugFile* nod);
    // The kept reading handle when the archive file is still the one it reads, else a new one
    // (null when the archive cannot be opened).
    std::unique_ptr<CZipArchiveReader> TakeReader();
    // Keeps the handle (no entry open) for the next entry when it may serve one, else closes it.
    void KeepReader(std::unique_ptr<CZipArchiveReader> reader);
    // Closes the kept handle; handles of entries open now are closed with their entries.
    void DropKeptReader();

    CSystemFids* m_InstallFolder = nullptr;
    CClassicWideString m_Path;
    // The first entry (in listing order) of each installed file id; entries named alike but for
    // case share one file id, and then m_SharedFids is set. Keyed as nods: a file id being
    // destroyed is one no longer.
    std::unordered_map<const CMwNod*, CPlugFileZipInfo*> m_EntryOfFid;
    bool m_SharedFids = false;
    CZipArchiveReader* m_KeptReader = nullptr;
    // Counts the listings and uninstalls: a handle opened before the last one is not kept.
    u32 m_ReaderGeneration = 0;
};
