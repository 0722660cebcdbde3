#pragma once
// The engine's file stream, CClassicBufferFile, and the value archive bound to one,
// CClassicArchiveFile. Every archive, configuration, catalogue, benchmark file, pack and download
// is read and written through them.
//
// A stream opened for writing through a temporary file never touches its target until Close:
// the bytes go to a temporary file in the target's folder, every write is checked (the first
// failure sticks), and Close flushes the file to disk, gives it the target's permissions,
// renames it over the target and flushes the folder. A failed write, flush or rename discards
// the temporary file, keeps the old target and makes Close answer 0; so does closing while an
// exception unwinds (the destructor of a stream on an unwinding stack discards).
//
// Reads and writes are buffered (64 KB unless set) with the position kept as the caller sees it;
// transfers of a whole buffer or more go straight to the file. Process-wide, each direction counts
// its bytes: when a read or write takes its counter past 256 KB, the counter starts again and that
// call runs inside the scheduling core (Enter / Leave), so that the timed buffer can run during
// long transfers.
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicString.h"
#include "platform/File.h"
#include "platform/Types.h"

// The size of a stream's buffer unless set.
inline constexpr u32 kClassicBufferFileBufferSize = 65536;

// The byte count after which a read or write enters the scheduling core.
inline constexpr u32 kClassicBufferFileEnterThreshold = 262144;

class CClassicBufferFile : public CClassicBuffer {
public:
    CClassicBufferFile() = default;
    // Closes an open stream (a temporary file replaces its target, unless an exception unwinds
    // or a write failed), then frees both names.
    ~CClassicBufferFile() override;

    // Opens the path for reading (shared for reading, the file must exist) or for writing:
    // created when missing, emptied with truncate, or through a temporary file. Writing
    // through a temporary file checks the target without creating it: a read-only target, one
    // this process may not write or a missing folder fails the open before any temporary file
    // exists, and a missing target stays missing until Close renames the whole file into place.
    // throughTemp is dropped without write; overlapped transfers do not exist here and the flag
    // changes nothing. 1 on success, 0 on failure (nothing is logged).
    u32 Open(CClassicWideStringRef path, bool write, bool throughTemp, bool truncate,
             bool overlapped);
    // Up to n bytes; fewer at the end of the file, 0 on a stream not open for reading.
    u32 Read(void* data, u32 n) override;
    // The bytes accepted; fewer (and 0 from then on) after a failure.
    u32 Write(const void* data, u32 n) override;
    // 1 when nothing was open or everything went well; 0 when a write failed or the temporary
    // file could not replace the target.
    bool Close() override;
    // Closes without putting anything in place: a temporary file goes and its target stays as
    // it was (a missing target stays missing). Any other stream is closed as Close does.
    void Discard();
    bool IsWritingTempFile() const override { return m_TempName != nullptr; }
    u32 GetPosition() const override { return u32(m_Position); }
    // The file's size, low 32 bits.
    u32 GetSize() const override;
    bool CanSeek() const override { return true; }
    // From the start of the file.
    void SetPosition(u32 position) override;
    const CClassicWideString* GetName() const override { return &m_Path; }

    // The permissions a file written through a temporary file gets when its target does not
    // exist yet (0666 less the umask unless set); set before Open, kept by later opens.
    void SetNewFileMode(u32 mode) { m_NewFileMode = i32(mode & 07777); }

    // The buffer's size (at least 512 bytes), set before the first transfer: readers that jump
    // about a large file read less around each position with a small one. Transfers of a whole
    // buffer or more go straight to the file.
    void SetBufferSize(u32 bytes) {
        if (!m_Buffer)
            m_BufferSize = bytes < 512 ? 512 : bytes;
    }

    // Nothing is ever pending: transfers are synchronous.
    void CancelIo() {}

    bool IsOpen() const { return m_File.IsOpen(); }
    // True once a read, write or seek failed.
    bool HasFailed() const { return m_File.Error() != 0; }
    // The name the temporary file takes when it is renamed over the target; null unless
    // writing through a temporary file.
    const CClassicWideString* GetTempName() const { return m_TempName; }

    // Process-wide: bytes counted towards the next Enter, per direction, and whether any read
    // or write happened since the System engine's frame last cleared the flags.
    static u32 s_ReadByteCount;
    static u32 s_WrittenByteCount;
    static u32 s_ReadThisFrame;
    static u32 s_WrittenThisFrame;

private:
    u32 m_BufferSize = kClassicBufferFileBufferSize;

    bool Flush();
    void DropBuffer();

    platform::File m_File;
    CClassicWideString* m_TempName = nullptr;
    CClassicWideString m_Path;
    bool m_Reading = false;
    bool m_Writing = false;
    i32 m_NewFileMode = -1;
    // Exceptions in flight when the stream was opened: more at Close means one is unwinding.
    int m_UncaughtAtOpen = 0;
    // The size of a file opened for reading, read once.
    u64 m_ReadSize = 0;
    // The position as the caller sees it.
    u64 m_Position = 0;
    // Reading: bytes m_BufferNext..m_BufferEnd are the next ones. Writing: m_BufferEnd bytes
    // wait to be written.
    u8* m_Buffer = nullptr;
    u32 m_BufferNext = 0;
    u32 m_BufferEnd = 0;
};

// The per-frame sleep of the System engine's frame callback: it would let completion routines of
// overlapped transfers run, and there are none.
void OnFrameSleep();

// A value archive over a file stream of its own, created with it and deleted with it.
class CClassicArchiveFile : public CClassicArchive {
public:
    CClassicArchiveFile();

    // Sets the direction and the encoding, clears the release flag and opens the stream (not
    // overlapped). The stream's result.
    u32 Open(CClassicWideStringRef path, bool write, bool text, bool throughTemp, bool truncate);
    // The stream's Close.
    bool Close();
    CClassicBufferFile& GetFile() { return *static_cast<CClassicBufferFile*>(GetBuffer()); }
};
