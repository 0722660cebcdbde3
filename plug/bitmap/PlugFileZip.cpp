#include "plug/bitmap/PlugFileZip.h"

#include "core/base/ClassicLog.h"
#include "core/nod/MwMemberInfo.h"
#include "platform/Clock.h"
#include "platform/File.h"
#include "platform/HostPath.h"
#include "system/archive/SystemArchive.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFids.h"
#include "system/file/ClassicBufferFile.h"
#include "system/file/FileSystem.h"
#include "system/file/PathHelpers.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unzip.h>
#include <vector>
#include <zip.h>

#define CPLUGFILEZIP_MEMBERS(X)                                                                    \
    X(Buffer, 0x09084000, "FileNames", MW_FIELD(m_FileNames), "FileNames", 0x01, 0x382,            \
      MwType_String, 0x1, "FileName")                                                              \
    X(Natural, 0x09084001, "NbFile", MW_FIELD(m_NbFile), "File count", 0x03, 0x380)                \
    X(Buffer, 0x09084002, "FileInfos", MW_FIELD(m_FileInfos), "File Infos", 0x01, 0x382,           \
      MwType_Class, 0x1, "FileInfo", &CPlugFileZipInfo::s_ClassInfo)                               \
    X(Action, 0x09084003, "UiInstallFidsInSubFolder", MW_VIRTUAL(""), "Install In SubFolder",      \
      0x02, 0x380, MwThunk<&CPlugFileZip::UiInstallFidsInSubFolder>::Call)                         \
    X(Action, 0x09084004, "UiInstallFids", MW_VIRTUAL(""), "Install", 0x02, 0x380,                 \
      MwThunk<&CPlugFileZip::UiInstallFids>::Call)

#define CPLUGFILEZIPINFO_MEMBERS(X)                                                                \
    X(String, 0x09085000, "FileName", MW_FIELD(m_FileName), "Filename", 0x01, 0x380)               \
    X(Natural, 0x09085001, "SizeUncomp", MW_FIELD(m_SizeUncomp), "Uncompressed Size", 0x01, 0x380) \
    X(Natural, 0x09085002, "SizeComp", MW_FIELD(m_SizeComp), "Compressed Size", 0x01, 0x380)       \
    X(Natural, 0x09085003, "Ratio", MW_FIELD(m_Ratio), "Ratio", 0x01, 0x380)

MW_DEFINE_CLASS(CPlugFileZip, MwFactory<CPlugFileZip>, CPLUGFILEZIP_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CPlugFileZipInfo, MwFactory<CPlugFileZipInfo>, CPLUGFILEZIPINFO_MEMBERS,
                MW_NO_CHUNKS);

namespace {

// The stream's positions are 32-bit: an archive reaches at most this size.
constexpr u64 kMaxArchiveSize = 0xFFFFFFFFull;
// The file stream's buffer while an entry is open.
constexpr u32 kEntryBufferSize = 4096;
// Compressed bytes are copied in pieces of this size.
constexpr u32 kCopyPiece = 65536;
// General-purpose flag bits: encrypted, UTF-8 names.
constexpr uLong kZipFlagEncrypted = 0x1;
constexpr uLong kZipFlagUtf8 = 0x800;
// Names are compared ignoring ASCII case (0 would be case-sensitive here).
constexpr int kZipNoCase = 2;

// "<text>'<name>' in '<path>'.\r\n" to the log.
void LogZip(const char* text, CClassicStringRef name, CClassicWideStringRef path) {
    g_ClassicLogLine.Assign(text);
    if (name.m_Length != 0) {
        g_ClassicLogLine.Append("'");
        ClassicLogAppendText(g_ClassicLogLine, name);
        g_ClassicLogLine.Append("' in ");
    }
    g_ClassicLogLine.Append("'");
    ClassicLogAppendWideText(g_ClassicLogLine, path);
    g_ClassicLogLine.Append("'.\r\n");
    ClassicLogWriteLine();
}

// ---------------------------------------------------------------------------------------------
// minizip's file functions over the engine's file stream. The opaque value is the caller's
// SZipFile, the file name the engine path (a CClassicWideString). A stream opened for writing goes
// through a temporary file, and its close callback leaves it open: the caller puts it in place
// (Close) or throws it away (Discard) once it knows how the archive ended.
//
// Opening an archive, minizip looks for its end records backwards over the last 64 KB in steps
// of 1 KB: a reader keeps the file's tail in memory, so that an archive opened for every entry
// read costs one read of its tail, not a seek and a read per step.

// The bytes of the tail kept (the 64 KB searched, with the records' own sizes).
constexpr u32 kTailSize = 0x10000 + 0x800;

struct SZipFile {
    CClassicBufferFile File;
    std::unique_ptr<u8[]> Tail;
    u32 TailStart = 0;
    u32 TailSize = 0;
    // The reader's position (the file stream's own may lag behind after tail reads).
    u32 Position = 0;
    bool Reading = false;

    bool OpenForReading(const CClassicWideString& path) {
        if (!File.Open(path, false, false, false, false))
            return false;
        Reading = true;
        Position = 0;
        const u32 size = File.GetSize();
        TailSize = std::min(size, kTailSize);
        TailStart = size - TailSize;
        Tail.reset(new u8[TailSize]);
        File.SetPosition(TailStart);
        return File.Read(Tail.get(), TailSize) == TailSize;
    }
    u32 Read(void* data, u32 n) {
        const u32 size = File.GetSize();
        // minizip reads damaged records a byte at a time and goes on past the end: there,
        // answer without asking the file again.
        if (Position >= size)
            return 0;
        n = std::min(n, size - Position);
        if (Position >= TailStart && u64(Position) + n <= u64(TailStart) + TailSize) {
            std::memcpy(data, Tail.get() + (Position - TailStart), n);
            Position += n;
            return n;
        }
        if (File.GetPosition() != Position)
            File.SetPosition(Position);
        const u32 got = File.Read(data, n);
        Position += got;
        return got;
    }
    u32 Tell() const { return Reading ? Position : File.GetPosition(); }
    void Seek(u32 position) {
        if (Reading)
            Position = position;
        else
            File.SetPosition(position);
    }
};

voidpf ZCALLBACK OpenFile(voidpf opaque, const void* name, int mode) {
    auto* file = static_cast<SZipFile*>(opaque);
    const auto& path = *static_cast<const CClassicWideString*>(name);
    if (mode & ZLIB_FILEFUNC_MODE_CREATE)
        return file->File.Open(path, true, true, false, false) ? file : nullptr;
    if (GetPathFileSize(path) > kMaxArchiveSize) {
        LogZip("Zip file of 4 GB or more refused: ", {}, path);
        return nullptr;
    }
    return file->OpenForReading(path) ? file : nullptr;
}

uLong ZCALLBACK ReadFile(voidpf, voidpf stream, void* data, uLong size) {
    auto* file = static_cast<SZipFile*>(stream);
    if (size > 0xFFFFFFFFul || !file->Reading)
        return 0;
    return file->Read(data, u32(size));
}

uLong ZCALLBACK WriteFile(voidpf, voidpf stream, const void* data, uLong size) {
    auto* file = static_cast<SZipFile*>(stream);
    // Past 4 GB the positions would wrap.
    if (file->Reading || u64(file->File.GetPosition()) + size > kMaxArchiveSize)
        return 0;
    return file->File.Write(data, u32(size));
}

ZPOS64_T ZCALLBACK TellFile(voidpf, voidpf stream) {
    return static_cast<SZipFile*>(stream)->Tell();
}

long ZCALLBACK SeekFile(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* file = static_cast<SZipFile*>(stream);
    u64 base = 0;
    if (origin == ZLIB_FILEFUNC_SEEK_CUR)
        base = file->Tell();
    else if (origin == ZLIB_FILEFUNC_SEEK_END)
        base = file->File.GetSize();
    else if (origin != ZLIB_FILEFUNC_SEEK_SET)
        return -1;
    if (offset > kMaxArchiveSize || base + offset > kMaxArchiveSize)
        return -1;
    file->Seek(u32(base + offset));
    return file->File.HasFailed() ? -1 : 0;
}

int ZCALLBACK CloseFile(voidpf, voidpf stream) {
    auto* file = static_cast<SZipFile*>(stream);
    if (file->File.IsWritingTempFile())
        return 0;
    return file->File.Close() ? 0 : -1;
}

int ZCALLBACK TestFileError(voidpf, voidpf stream) {
    return static_cast<SZipFile*>(stream)->File.HasFailed() ? -1 : 0;
}

zlib_filefunc64_def FileFunctions(SZipFile* file) {
    zlib_filefunc64_def functions{};
    functions.zopen64_file = OpenFile;
    functions.zread_file = ReadFile;
    functions.zwrite_file = WriteFile;
    functions.ztell64_file = TellFile;
    functions.zseek64_file = SeekFile;
    functions.zclose_file = CloseFile;
    functions.zerror_file = TestFileError;
    functions.opaque = file;
    return functions;
}

} // namespace

// A reading handle on the archive at the path, with the file stream under it; closed with it.
// An entry's reader remembers what the archive file was when it opened it, so that a handle
// kept between entries is only used again on that same file.
class CZipArchiveReader {
public:
    // bufferSize: the file stream's buffer (its default when 0).
    bool Open(const CClassicWideString& path, u32 bufferSize = 0) {
        if (bufferSize != 0)
            m_File.File.SetBufferSize(bufferSize);
        zlib_filefunc64_def functions = FileFunctions(&m_File);
        m_Handle = unzOpen2_64(&path, &functions);
        return m_Handle != nullptr;
    }
    ~CZipArchiveReader() { Close(); }
    void Close() {
        if (m_Handle)
            unzClose(m_Handle);
        m_Handle = nullptr;
    }
    unzFile Get() const { return m_Handle; }
    bool HasFailed() const { return m_File.File.HasFailed(); }

    // The archive file's identity when the handle was opened (none when it could not be read).
    platform::FileInfo Identity;
    bool HasIdentity = false;
    // The zip's reader generation when the handle was opened.
    u32 Generation = 0;

private:
    SZipFile m_File;
    unzFile m_Handle = nullptr;
};

namespace {

// The archive file as it is now: a file put in its place or written since differs in device,
// inode, size or modification time.
bool GetArchiveIdentity(const CClassicWideString& path, platform::FileInfo& out) {
    std::string host;
    return platform::ResolveHostPath(std::u16string_view(path.GetText(), path.GetLength()), host) &&
           platform::GetFileInfo(host, out) == 0 && out.IsFile;
}

bool SameArchiveFile(const platform::FileInfo& a, const platform::FileInfo& b) {
    return a.Device == b.Device && a.Inode == b.Inode && a.Size == b.Size &&
           a.ModifiedNs == b.ModifiedNs;
}

// The stream OpenEntry gives: it owns the reader whose current entry it reads.
class CZipEntryReadStream final : public ZipEntryStream {
public:
    CZipEntryReadStream(std::unique_ptr<CZipArchiveReader> reader, u32 size)
        : ZipEntryStream(reader->Get(), false, size), m_Reader(std::move(reader)) {}
    std::unique_ptr<CZipArchiveReader> m_Reader;
};

// True for an empty archive: the end record alone (minizip does not open it).
bool IsEmptyArchive(const CClassicWideString& path) {
    CClassicBufferFile file;
    u8 record[22];
    if (!file.Open(path, false, false, false, false) || file.GetSize() != sizeof record ||
        file.Read(record, sizeof record) != sizeof record)
        return false;
    static constexpr u8 kEmpty[22] = {'P', 'K', 5, 6};
    return std::equal(record, record + 20, kEmpty);
}

// Why a name cannot stand for a file below the install folder; null when it can.
const char* UnsafeNameReason(const char* name, uLong length) {
    if (length == 0)
        return "empty name";
    if (name[0] == '/' || name[0] == '\\')
        return "absolute name";
    if (length >= 2 && name[1] == ':')
        return "name with a drive";
    uLong start = 0;
    for (uLong i = 0; i <= length; ++i) {
        if (i < length && name[i] == '\0')
            return "name with a NUL";
        if (i < length && name[i] != '/' && name[i] != '\\')
            continue;
        const uLong n = i - start;
        if (n == 0 && i < length)
            return "empty folder name";
        if ((n == 1 && name[start] == '.') ||
            (n == 2 && name[start] == '.' && name[start + 1] == '.'))
            return "name with a \".\" or \"..\" component";
        start = i + 1;
    }
    return nullptr;
}

CPlugFileZipInfo* NewInfo(const char* name, const unz_file_info64& info,
                          const unz64_file_pos& pos) {
    auto* entry = new CPlugFileZipInfo;
    entry->AddRef();
    entry->m_FileName.Assign(name);
    entry->m_SizeUncomp = u32(info.uncompressed_size);
    entry->m_SizeComp = u32(info.compressed_size);
    entry->m_Ratio =
        u32(std::min<u64>(u64(info.compressed_size) * 100 / info.uncompressed_size, 0xFFFFFFFF));
    entry->m_DirectoryOffset = pos.pos_in_zip_directory;
    entry->m_FileIndex = pos.num_of_file;
    return entry;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// ZipEntryStream

u32 ZipEntryStream::Read(void* data, u32 n) {
    if (m_Writing || m_Failed)
        return 0;
    u8* to = static_cast<u8*>(data);
    u32 done = 0;
    while (done < n) {
        const unsigned piece = unsigned(std::min<u32>(n - done, 0x40000000));
        const int got = unzReadCurrentFile(m_Handle, to + done, piece);
        if (got < 0)
            m_Failed = true;
        if (got <= 0)
            break;
        done += u32(got);
    }
    m_Position += done;
    return done;
}

u32 ZipEntryStream::Write(const void* data, u32 n) {
    if (!m_Writing || m_Failed || n == 0)
        return 0;
    if (zipWriteInFileInZip(m_Handle, data, n) != ZIP_OK) {
        m_Failed = true;
        return 0;
    }
    m_Position += n;
    return n;
}

// ---------------------------------------------------------------------------------------------
// Listing

CPlugFileZip::~CPlugFileZip() {
    ForgetFids(false);
    ClearEntries();
    m_FileInfos.FreeItems();
    m_FileNames.FreeItems();
}

void CPlugFileZip::ClearEntries() {
    for (u32 i = m_FileInfos.m_Count; i-- > 0;)
        m_FileInfos.m_Items[i]->Release();
    m_FileInfos.m_Count = 0;
    m_FileNames.FreeItems();
    m_EntryOfFid.clear();
}

i32 CPlugFileZip::LoadFromPath(CClassicWideStringRef path) {
    // The file ids stay in their folder; their nods go, and they are bound again below.
    for (u32 i = 0; i < m_FileInfos.m_Count; ++i) {
        CPlugFileZipInfo* entry = m_FileInfos.m_Items[i];
        if (CSystemFid* fid = entry->m_InstalledFid) {
            entry->m_InstalledFid = nullptr;
            fid->RemoveDependant(this);
            if (CMwNod* nod = fid->m_Nod)
                CSystemEngine::DetachNodAndFid(nod, fid);
        }
    }
    ClearEntries();
    DropKeptReader();
    m_Path.Assign(path);
    m_NbFile = 0;
    SetLoadFailed(true);

    CZipArchiveReader reader;
    if (!reader.Open(m_Path)) {
        LogZip(IsEmptyArchive(m_Path) ? "Failed to load zip file (2): "
                                      : "Failed to load zip file: ",
               {}, m_Path);
        return 0;
    }
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(reader.Get(), &global) != UNZ_OK || global.number_entry == 0) {
        LogZip("Failed to load zip file (2): ", {}, m_Path);
        return 0;
    }
    m_NbFile = u32(std::min<u64>(global.number_entry, 0xFFFFFFFF));

    char name[s_MaxNameLength + 1];
    int step = unzGoToFirstFile(reader.Get());
    for (; step == UNZ_OK; step = unzGoToNextFile(reader.Get())) {
        unz_file_info64 info{};
        unz64_file_pos pos{};
        if (unzGetCurrentFileInfo64(reader.Get(), &info, name, sizeof name, nullptr, 0, nullptr,
                                    0) != UNZ_OK ||
            unzGetFilePos64(reader.Get(), &pos) != UNZ_OK) {
            step = UNZ_BADZIPFILE;
            break;
        }
        if (info.uncompressed_size == 0)
            continue;
        name[std::min<uLong>(info.size_filename, s_MaxNameLength)] = '\0';
        const CClassicStringRef shown(name);
        if (info.size_filename > s_MaxNameLength) {
            LogZip("Zip entry not listed (name longer than 1024 bytes): ", shown, m_Path);
        } else if (const char* reason = UnsafeNameReason(name, info.size_filename)) {
            const CClassicString text("Zip entry not listed (", reason, "): ");
            LogZip(text.GetText(), shown, m_Path);
        } else if (info.uncompressed_size >= 0xFFFFFFFF || info.compressed_size >= 0xFFFFFFFF) {
            LogZip("Zip entry of 4 GB or more not listed: ", shown, m_Path);
        } else {
            m_FileInfos.Add(NewInfo(name, info, pos));
            m_FileNames.Add(CClassicString(name));
        }
    }
    if (step != UNZ_END_OF_LIST_OF_FILE)
        LogZip("Zip directory unreadable, listing ends: ", {}, m_Path);
    reader.Close();

    if (CSystemFids* folder = m_InstallFolder)
        InstallFids(folder, false);
    SetLoadFailed(false);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// File ids

void CPlugFileZip::SetInstallFolder(CSystemFids* folder) {
    if (folder == m_InstallFolder)
        return;
    if (m_InstallFolder)
        m_InstallFolder->RemoveDependant(this);
    m_InstallFolder = folder;
    if (folder)
        folder->AddDependant(this);
}

void CPlugFileZip::InstallFids(CSystemFids* folder, bool sub) {
    CSystemEngine* engine = GetSystemEngine();
    if (!folder && engine)
        folder = engine->GetDataFolder();
    if (!folder || !engine)
        return;
    if (sub) {
        CClassicWideString base;
        GetBaseNameOfPath(m_Path, base);
        base.Append(u"\\");
        folder = folder->FindOrAddFolderPath(base, nullptr);
        if (!folder)
            return;
    }
    SetInstallFolder(folder);
    for (u32 i = 0; i < m_FileInfos.m_Count; ++i) {
        CPlugFileZipInfo* entry = m_FileInfos.m_Items[i];
        CClassicWideString name;
        name.AppendNarrow(entry->m_FileName);
        CSystemFid* fid = engine->GetFileFid(folder, name, nullptr);
        if (fid == entry->m_InstalledFid)
            continue;
        if (fid)
            fid->AddDependant(this);
        if (CSystemFid* old = entry->m_InstalledFid)
            old->RemoveDependant(this);
        entry->m_InstalledFid = fid;
        if (fid)
            fid->SetLoader(this);
    }
    IndexFids();
}

void CPlugFileZip::IndexFids() {
    m_EntryOfFid.clear();
    m_SharedFids = false;
    for (u32 i = 0; i < m_FileInfos.m_Count; ++i) {
        CPlugFileZipInfo* entry = m_FileInfos.m_Items[i];
        if (entry->m_InstalledFid && !m_EntryOfFid.emplace(entry->m_InstalledFid, entry).second)
            m_SharedFids = true;
    }
}

void CPlugFileZip::ForgetFids(bool deleteFids) {
    DropKeptReader();
    // Entries named alike but for case share one file id: every link goes first, then each
    // file id once, in the order of its first entry.
    std::vector<CSystemFid*> fids;
    for (u32 i = 0; i < m_FileInfos.m_Count; ++i) {
        CPlugFileZipInfo* entry = m_FileInfos.m_Items[i];
        CSystemFid* fid = entry->m_InstalledFid;
        if (!fid)
            continue;
        entry->m_InstalledFid = nullptr;
        fid->RemoveDependant(this);
        const auto first = m_EntryOfFid.find(fid);
        if (first != m_EntryOfFid.end() && first->second == entry)
            fids.push_back(fid);
    }
    m_EntryOfFid.clear();
    // A file id on its way out (it has let its loader go) is only forgotten.
    if (deleteFids)
        for (CSystemFid* fid : fids)
            if (fid->GetLoader() == this)
                CSystemEngine::DeleteFid(fid);
    SetInstallFolder(nullptr);
}

void CPlugFileZip::UninstallFids() {
    // The file ids hold the zip as their loader: it must outlive their deletion.
    const CMwNodRef keep(this);
    ForgetFids(true);
}

void CPlugFileZip::UiInstallFidsInSubFolder() {
    CSystemFid* own = GetFid();
    InstallFids(own ? own->m_Folder : nullptr, true);
}

void CPlugFileZip::OnDependencyDestroyed(CMwNod* nod) {
    if (nod == m_InstallFolder) {
        m_InstallFolder = nullptr;
        return;
    }
    // Told once per entry that held the file id: the first time forgets it everywhere.
    const auto found = m_EntryOfFid.find(nod);
    if (found == m_EntryOfFid.end()) {
        CPlugFile::OnDependencyDestroyed(nod);
        return;
    }
    found->second->m_InstalledFid = nullptr;
    m_EntryOfFid.erase(found);
    if (m_SharedFids)
        for (u32 i = 0; i < m_FileInfos.m_Count; ++i)
            if (m_FileInfos.m_Items[i]->m_InstalledFid == nod)
                m_FileInfos.m_Items[i]->m_InstalledFid = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Entries

bool CPlugFileZip::EntryNameOf(CSystemFid* fid, CClassicString& out) const {
    if (!fid || !m_InstallFolder || !fid->IsKindOf(CSystemFidFile::s_ClassId))
        return false;
    CClassicWideString relative;
    if (!static_cast<CSystemFidFile*>(fid)->GetFileNameRelativeTo(relative, m_InstallFolder))
        return false;
    relative.ToNarrow(out);
    out.ReplaceChar('\\', '/', 0, 0xFFFFFFFF);
    return !out.IsEmpty();
}

ZipEntryStream* CPlugFileZip::OpenEntry(CSystemFid* fid) {
    CClassicString name;
    if (!EntryNameOf(fid, name))
        return nullptr;
    std::unique_ptr<CZipArchiveReader> reader = TakeReader();
    if (!reader)
        return nullptr;
    const unzFile handle = reader->Get();

    // The entry where the listing saw it, when it still has this name there; else a search.
    const auto indexed = m_EntryOfFid.find(fid);
    const CPlugFileZipInfo* listed = indexed != m_EntryOfFid.end() ? indexed->second : nullptr;
    unz_file_info64 info{};
    char found[s_MaxNameLength + 1];
    bool located = false;
    if (listed) {
        unz64_file_pos pos{listed->m_DirectoryOffset, listed->m_FileIndex};
        located = unzGoToFilePos64(handle, &pos) == UNZ_OK &&
                  unzGetCurrentFileInfo64(handle, &info, found, sizeof found, nullptr, 0, nullptr,
                                          0) == UNZ_OK &&
                  info.size_filename == name.GetLength() &&
                  name.CompareNoCase(CClassicStringRef(found, info.size_filename)) == 0;
    }
    // The search refuses to start from a position that was not an entry (an archive replaced
    // since the listing): it starts from the first one. An entry not found or refused leaves the
    // handle as it was: it stays for the next one.
    if (!located &&
        (unzGoToFirstFile(handle) != UNZ_OK ||
         unzLocateFile(handle, name.GetText(), kZipNoCase) != UNZ_OK ||
         unzGetCurrentFileInfo64(handle, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)) {
        KeepReader(std::move(reader));
        return nullptr;
    }
    const char* refusal = (info.flag & kZipFlagEncrypted) ? "Encrypted zip entry refused: "
                          : info.uncompressed_size >= 0xFFFFFFFF
                              ? "Zip entry of 4 GB or more refused: "
                              : nullptr;
    if (refusal) {
        LogZip(refusal, name, m_Path);
        KeepReader(std::move(reader));
        return nullptr;
    }
    if (unzOpenCurrentFile(handle) != UNZ_OK) {
        LogZip("Zip entry cannot be opened: ", name, m_Path);
        return nullptr;
    }
    return new CZipEntryReadStream(std::move(reader), u32(info.uncompressed_size));
}

std::unique_ptr<CZipArchiveReader> CPlugFileZip::TakeReader() {
    std::unique_ptr<CZipArchiveReader> kept(m_KeptReader);
    m_KeptReader = nullptr;
    platform::FileInfo now;
    const bool known = GetArchiveIdentity(m_Path, now);
    if (kept && known && SameArchiveFile(kept->Identity, now))
        return kept;
    kept.reset();
    // Opening an entry reads a few records here and there, then the entry's bytes in pieces of
    // 16 KB that go straight to the file: a small buffer reads little around each record.
    auto reader = std::make_unique<CZipArchiveReader>();
    if (!reader->Open(m_Path, kEntryBufferSize))
        return nullptr;
    reader->Identity = now;
    reader->HasIdentity = known;
    reader->Generation = m_ReaderGeneration;
    return reader;
}

void CPlugFileZip::KeepReader(std::unique_ptr<CZipArchiveReader> reader) {
    // Not when the archive was listed again or uninstalled since the handle was opened, when
    // another handle is kept already, or when its file failed.
    if (!m_KeptReader && reader->HasIdentity && reader->Generation == m_ReaderGeneration &&
        !reader->HasFailed())
        m_KeptReader = reader.release();
}

void CPlugFileZip::DropKeptReader() {
    ++m_ReaderGeneration;
    delete m_KeptReader;
    m_KeptReader = nullptr;
}

bool CPlugFileZip::CloseEntry(ZipEntryStream* stream) {
    if (!stream)
        return true;
    std::unique_ptr<CZipArchiveReader> reader =
        std::move(static_cast<CZipEntryReadStream*>(stream)->m_Reader);
    const int closed = unzCloseCurrentFile(reader->Get());
    delete stream;
    if (closed == UNZ_OK || closed == UNZ_CRCERROR)
        KeepReader(std::move(reader));
    if (closed == UNZ_CRCERROR) {
        LogZip("Zip entry CRC mismatch: ", {}, m_Path);
        return false;
    }
    return true;
}

i32 CPlugFileZip::LoadFid(CMwNod** nod, CSystemFid* fid) {
    ZipEntryStream* stream = OpenEntry(fid);
    if (!stream)
        return 0;
    const auto* file = static_cast<CSystemFidFile*>(fid);
    i32 result = 0;
    if (HasZunExtension(file->m_FileName)) {
        CSystemArchive archive;
        archive.SetCurrentFid(fid);
        archive.SetLoadMode(7);
        result = archive.LoadFromStream(stream, nod);
    } else {
        if (!*nod) {
            if (CMwNod* made = CreateNodFromFid(fid)) {
                CSystemEngine::AttachNodToFid(made, fid);
                *nod = made;
            }
        }
        if (*nod && (*nod)->IsKindOf(CPlugFile::s_ClassId)) {
            CClassicWideString path;
            static_cast<CSystemFidFile*>(fid)->GetFullFileName(path);
            result = static_cast<CPlugFile*>(*nod)->ReadStreamOrDefault(*stream, path);
        }
    }
    if (!CloseEntry(stream))
        result = 0;
    return result;
}

// ---------------------------------------------------------------------------------------------
// Saving

i32 CPlugFileZip::SaveFid(CMwNod* nod, CSystemFid* fid) {
    CClassicString name;
    if (!nod || !nod->IsKindOf(CPlugFile::s_ClassId) || !EntryNameOf(fid, name) ||
        HasZunExtension(static_cast<CSystemFidFile*>(fid)->m_FileName))
        return 0;
    CSystemFid* own = GetFid();
    if (!own || !own->IsWritable() || (FileExists(m_Path) && IsFileReadOnly(m_Path, nullptr))) {
        LogZip("Zip file not writable, entry not saved: ", name, m_Path);
        return 0;
    }
    if (!RebuildWith(name, static_cast<CPlugFile*>(nod))) {
        LogZip("Failed to save zip entry: ", name, m_Path);
        return 0;
    }
    LoadFromPath(CClassicWideString(m_Path));
    return 1;
}

bool CPlugFileZip::RebuildWith(const CClassicString& name, CPlugFile* nod) {
    CZipArchiveReader reader;
    const bool existed = FileExists(m_Path);
    if (existed && !reader.Open(m_Path))
        return false;

    SZipFile out;
    zlib_filefunc64_def functions = FileFunctions(&out);
    zipFile writer = zipOpen2_64(&m_Path, APPEND_STATUS_CREATE, nullptr, &functions);
    if (!writer)
        return false;
    bool good = true;
    uLong newFlags = 0;
    if (existed) {
        std::unique_ptr<u8[]> piece(new u8[kCopyPiece]);
        CClassicString entryName;
        int step = unzGoToFirstFile(reader.Get());
        for (; good && step == UNZ_OK; step = unzGoToNextFile(reader.Get())) {
            unz_file_info64 info{};
            good = unzGetCurrentFileInfo64(reader.Get(), &info, nullptr, 0, nullptr, 0, nullptr,
                                           0) == UNZ_OK;
            if (!good)
                break;
            // Names are at most 65535 bytes (their size field is 16 bits).
            std::unique_ptr<char[]> stored(new char[info.size_filename + 1]);
            good =
                unzGetCurrentFileInfo64(reader.Get(), &info, stored.get(), info.size_filename + 1,
                                        nullptr, 0, nullptr, 0) == UNZ_OK;
            if (!good)
                break;
            if (name.CompareNoCase(CClassicStringRef(stored.get(), info.size_filename)) == 0 &&
                std::strlen(stored.get()) == info.size_filename) {
                newFlags = info.flag & kZipFlagUtf8;
                continue;
            }
            int method = 0, level = 0;
            good = unzOpenCurrentFile2(reader.Get(), &method, &level, 1) == UNZ_OK;
            if (!good)
                break;
            zip_fileinfo fileInfo{};
            fileInfo.tmz_date.tm_sec = info.tmu_date.tm_sec;
            fileInfo.tmz_date.tm_min = info.tmu_date.tm_min;
            fileInfo.tmz_date.tm_hour = info.tmu_date.tm_hour;
            fileInfo.tmz_date.tm_mday = info.tmu_date.tm_mday;
            fileInfo.tmz_date.tm_mon = info.tmu_date.tm_mon;
            fileInfo.tmz_date.tm_year = info.tmu_date.tm_year;
            fileInfo.dosDate = 0;
            fileInfo.internal_fa = info.internal_fa;
            fileInfo.external_fa = info.external_fa;
            good = zipOpenNewFileInZip4_64(
                       writer, stored.get(), &fileInfo, nullptr, 0, nullptr, 0, nullptr, method,
                       level, 1, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0,
                       info.version, info.flag & (kZipFlagUtf8 | kZipFlagEncrypted), 0) == ZIP_OK;
            u64 copied = 0;
            while (good) {
                const int got = unzReadCurrentFile(reader.Get(), piece.get(), kCopyPiece);
                if (got <= 0) {
                    good = got == 0;
                    break;
                }
                copied += u32(got);
                good = zipWriteInFileInZip(writer, piece.get(), unsigned(got)) == ZIP_OK;
            }
            // An entry whose stored bytes fall short of its own sizes is damaged.
            good = good && copied == info.compressed_size;
            good =
                zipCloseFileInZipRaw64(writer, info.uncompressed_size, info.crc) == ZIP_OK && good;
            good = unzCloseCurrentFile(reader.Get()) == UNZ_OK && good;
        }
        good = good && step == UNZ_END_OF_LIST_OF_FILE;
        reader.Close();
    }

    if (good) {
        // The new entry: deflated at the default level, dated now in local time.
        platform::CivilTime now{};
        platform::ToCivilTime(platform::WallClockNow(), true, now);
        zip_fileinfo fileInfo{};
        fileInfo.tmz_date.tm_sec = now.Second;
        fileInfo.tmz_date.tm_min = now.Minute;
        fileInfo.tmz_date.tm_hour = now.Hour;
        fileInfo.tmz_date.tm_mday = now.Day;
        fileInfo.tmz_date.tm_mon = now.Month - 1;
        fileInfo.tmz_date.tm_year = uInt(now.Year);
        good = zipOpenNewFileInZip4_64(writer, name.GetText(), &fileInfo, nullptr, 0, nullptr, 0,
                                       nullptr, Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS,
                                       DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, 0, newFlags,
                                       0) == ZIP_OK;
        if (good) {
            ZipEntryStream stream(writer, true, 0);
            try {
                good = nod->WriteToStream(stream) != 0 && !stream.Failed();
            } catch (...) {
                good = false;
            }
            good = zipCloseFileInZip(writer) == ZIP_OK && good;
        }
    }
    good = zipClose(writer, nullptr) == ZIP_OK && good;
    if (!good) {
        out.File.Discard();
        return false;
    }
    return out.File.Close();
}
