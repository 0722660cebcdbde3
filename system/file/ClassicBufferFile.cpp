#include "system/file/ClassicBufferFile.h"

#include "core/nod/MwCmdBufferCore.h"
#include "platform/HostPath.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>
#include <string>

constinit u32 CClassicBufferFile::s_ReadByteCount = 0;
constinit u32 CClassicBufferFile::s_WrittenByteCount = 0;
constinit u32 CClassicBufferFile::s_ReadThisFrame = 0;
constinit u32 CClassicBufferFile::s_WrittenThisFrame = 0;

namespace {

// Counts a transfer of n bytes; true when it takes the counter past the threshold, which
// starts it again.
bool CountTransfer(u32& counter, u32& flag, u32 n) {
    flag = 1;
    const u64 total = u64(counter) + n;
    if (total > kClassicBufferFileEnterThreshold) {
        counter = 0;
        return true;
    }
    counter = u32(total);
    return false;
}

} // namespace

CClassicBufferFile::~CClassicBufferFile() {
    if (IsOpen()) {
        if (m_TempName && std::uncaught_exceptions() > m_UncaughtAtOpen)
            m_File.Discard();
        else
            Close();
    }
    delete m_TempName;
    delete[] m_Buffer;
}

u32 CClassicBufferFile::Open(CClassicWideStringRef path, bool write, bool throughTemp,
                             bool truncate, bool) {
    if (IsOpen())
        Close();
    if (!write)
        throughTemp = false;
    m_Path.Assign(path);
    m_Reading = m_Writing = false;
    m_Position = 0;
    m_ReadSize = 0;
    DropBuffer();

    std::string host;
    if (!platform::ResolveHostPath(std::u16string_view(path.m_Text, path.m_Length), host))
        return 0;
    if (throughTemp) {
        // The target is checked, never created: a missing target stays missing until Close puts
        // the whole new file in its place, so a writer that dies leaves no empty file behind.
        if (m_File.OpenReplacing(host) != 0)
            return 0;
        if (m_NewFileMode >= 0)
            m_File.SetNewFileMode(u32(m_NewFileMode));
        m_TempName =
            new CClassicWideString(platform::FromHostPath(m_File.GetTemporaryName()).c_str());
        m_UncaughtAtOpen = std::uncaught_exceptions();
    } else if (write ? m_File.OpenWrite(host, truncate) : m_File.OpenRead(host)) {
        return 0;
    }
    m_Reading = !write;
    m_Writing = write;
    if (m_Reading)
        m_ReadSize = m_File.Size();
    return 1;
}

void CClassicBufferFile::DropBuffer() {
    m_BufferNext = m_BufferEnd = 0;
}

bool CClassicBufferFile::Flush() {
    if (!m_Writing || m_BufferEnd == 0)
        return m_File.Error() == 0;
    const u32 pending = m_BufferEnd;
    m_BufferEnd = 0;
    return m_File.Write(m_Buffer, pending) == pending;
}

u32 CClassicBufferFile::Read(void* data, u32 n) {
    std::optional<CMwCmdBufferCoreEntry> entry;
    if (CountTransfer(s_ReadByteCount, s_ReadThisFrame, n))
        entry.emplace(1);
    if (!m_Reading || n == 0)
        return 0;
    u8* to = static_cast<u8*>(data);
    u32 done = std::min(n, m_BufferEnd - m_BufferNext);
    if (done != 0) {
        std::memcpy(to, m_Buffer + m_BufferNext, done);
        m_BufferNext += done;
    }
    if (done < n) {
        const u32 left = n - done;
        if (left >= m_BufferSize) {
            done += u32(m_File.Read(to + done, left));
            // The buffer no longer ends where the file's own position is.
            DropBuffer();
        } else {
            if (!m_Buffer)
                m_Buffer = new u8[m_BufferSize];
            m_BufferNext = 0;
            m_BufferEnd = u32(m_File.Read(m_Buffer, m_BufferSize));
            const u32 more = std::min(left, m_BufferEnd);
            std::memcpy(to + done, m_Buffer, more);
            m_BufferNext = more;
            done += more;
        }
    }
    m_Position += done;
    return done;
}

u32 CClassicBufferFile::Write(const void* data, u32 n) {
    std::optional<CMwCmdBufferCoreEntry> entry;
    if (CountTransfer(s_WrittenByteCount, s_WrittenThisFrame, n))
        entry.emplace(1);
    if (!m_Writing || n == 0 || m_File.Error() != 0)
        return 0;
    u32 done;
    if (m_BufferEnd + u64(n) > m_BufferSize && !Flush()) {
        done = 0;
    } else if (n >= m_BufferSize) {
        done = u32(m_File.Write(data, n));
    } else {
        if (!m_Buffer)
            m_Buffer = new u8[m_BufferSize];
        std::memcpy(m_Buffer + m_BufferEnd, data, n);
        m_BufferEnd += n;
        done = n;
    }
    m_Position += done;
    return done;
}

bool CClassicBufferFile::Close() {
    if (!IsOpen())
        return true;
    Flush();
    bool closed;
    if (m_TempName && std::uncaught_exceptions() > m_UncaughtAtOpen) {
        m_File.Discard();
        closed = false;
    } else {
        closed = m_File.Close() == 0;
    }
    delete m_TempName;
    m_TempName = nullptr;
    m_Reading = m_Writing = false;
    DropBuffer();
    return closed;
}

void CClassicBufferFile::Discard() {
    if (!m_TempName) {
        Close();
        return;
    }
    m_File.Discard();
    delete m_TempName;
    m_TempName = nullptr;
    m_Reading = m_Writing = false;
    DropBuffer();
}

u32 CClassicBufferFile::GetSize() const {
    if (m_Reading)
        return u32(m_ReadSize);
    if (!m_Writing)
        return 0;
    // Bytes still in the buffer may lie past the end of the file.
    return u32(std::max(m_File.Size(), m_Position));
}

void CClassicBufferFile::SetPosition(u32 position) {
    if (!IsOpen())
        return;
    if (m_Reading) {
        // A position inside the bytes buffered moves there without a read: readers that seek
        // to where they are, or a little back, before every piece (zip readers do) read each
        // byte of the file once.
        const u64 bufferStart = m_Position - m_BufferNext;
        if (position >= bufferStart && position <= bufferStart + m_BufferEnd) {
            m_BufferNext = u32(position - bufferStart);
            m_Position = position;
            return;
        }
    }
    Flush();
    DropBuffer();
    m_File.Seek(position);
    m_Position = position;
}

void OnFrameSleep() {}

CClassicArchiveFile::CClassicArchiveFile() {
    SetBuffer(new CClassicBufferFile);
}

u32 CClassicArchiveFile::Open(CClassicWideStringRef path, bool write, bool text, bool throughTemp,
                              bool truncate) {
    m_Writing = write ? 1 : 0;
    m_Text = text ? 1 : 0;
    m_Release = 0;
    return GetFile().Open(path, write, throughTemp, truncate, false);
}

bool CClassicArchiveFile::Close() {
    return GetFile().Close();
}
