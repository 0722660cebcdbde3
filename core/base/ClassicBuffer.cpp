#include "core/base/ClassicBuffer.h"

#include "core/base/ClassicLog.h"
#include "platform/Endian.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <lzo/lzo1x.h>
#include <memory>
#include <utility>

constinit CClassicBufferPool g_ClassicBufferPool;

namespace {

constinit u32 s_MemoryLimit = kClassicBufferMemoryMaxSize;

constexpr u32 kLzoHeaderSize = 8;
constexpr u32 kLzoMinPacked = 3;

// Composes one log line and writes it.
__attribute__((format(printf, 1, 2))) void LogLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    g_ClassicLogLine.FormatV(format, args);
    va_end(args);
    ClassicLogWriteLine();
}

// The library checks once that its build matches the header it was compiled against.
bool LzoReady() {
    static const bool s_Ready = lzo_init() == LZO_E_OK;
    return s_Ready;
}

// The largest LZO1X output for n input bytes, as the library documents it.
u64 LzoWorstCase(u64 n) {
    return n + n / 16 + 64 + 3;
}

} // namespace

u32 SetClassicBufferMemoryLimit(u32 limit) {
    return std::exchange(s_MemoryLimit, limit);
}

// ---- Memory stream ----

CClassicBufferMemory::~CClassicBufferMemory() {
    delete[] m_WindowData;
}

u32 CClassicBufferMemory::Read(void* data, u32 n) {
    if (u64(m_WindowPosition) + n > m_WindowSize) {
        throw CClassicBufferException(kClassicBufferErrorPastEnd);
    }
    if (n != 0) {
        std::memcpy(data, m_WindowData + m_WindowPosition, n);
    }
    m_WindowPosition += n;
    return n;
}

bool CClassicBufferMemory::PrepareWrite(u32 n) {
    const u64 end = u64(m_WindowPosition) + n;
    if (end > s_MemoryLimit) {
        return false;
    }
    if (end > m_WindowCapacity) {
        // The smallest multiple of the step above the end; the step then becomes the new
        // capacity, so successive growths at least double it.
        const u64 capacity = u64(m_Step) * (end / m_Step + 1);
        Reserve(u32(std::min<u64>(capacity, s_MemoryLimit)));
    }
    if (m_WindowPosition > m_WindowSize) {
        std::memset(m_WindowData + m_WindowSize, 0, m_WindowPosition - m_WindowSize);
    }
    return true;
}

u32 CClassicBufferMemory::Write(const void* data, u32 n) {
    if (!PrepareWrite(n)) {
        LogLine("[Buffer] Memory stream write refused: %u bytes at position %u pass the limit of "
                "%u bytes\r\n",
                n, m_WindowPosition, s_MemoryLimit);
        return 0;
    }
    if (n != 0) {
        std::memcpy(m_WindowData + m_WindowPosition, data, n);
    }
    m_WindowPosition += n;
    m_WindowSize = std::max(m_WindowSize, m_WindowPosition);
    return n;
}

void CClassicBufferMemory::Grow(u32 n) {
    if (!PrepareWrite(n)) {
        throw CClassicBufferException(kClassicBufferErrorTooLarge,
                                      u"Memory stream above its size limit");
    }
    // PrepareWrite zeroed the gap below the position; the room above it is zeroed here.
    const u32 end = m_WindowPosition + n;
    if (end > m_WindowSize) {
        const u32 from = std::max(m_WindowSize, m_WindowPosition);
        std::memset(m_WindowData + from, 0, end - from);
        m_WindowSize = end;
    }
    m_WindowPosition = end;
}

bool CClassicBufferMemory::Close() {
    m_WindowPosition = 0;
    return true;
}

void CClassicBufferMemory::Skip(u32 n) {
    m_WindowPosition = u32(std::min<u64>(u64(m_WindowPosition) + n, 0xFFFFFFFF));
}

void CClassicBufferMemory::Reserve(u32 n) {
    if (n > s_MemoryLimit) {
        throw CClassicBufferException(kClassicBufferErrorTooLarge,
                                      u"Memory stream above its size limit");
    }
    if (m_WindowCapacity < n) {
        u8* data = new u8[n];
        // Every valid byte is kept, whatever the position.
        if (m_WindowSize != 0) {
            std::memcpy(data, m_WindowData, m_WindowSize);
        }
        delete[] m_WindowData;
        m_WindowData = data;
        m_WindowCapacity = n;
    }
    m_Step = std::max<u32>(m_WindowCapacity, 1);
}

bool CClassicBufferMemory::IsSameData(const CClassicBufferMemory& other) const {
    return m_WindowSize == other.m_WindowSize &&
           (m_WindowSize == 0 || std::memcmp(m_WindowData, other.m_WindowData, m_WindowSize) == 0);
}

// ---- Pool ----

CClassicBufferMemory* CClassicBufferPool::Take() {
    if (m_Buffers.m_Count == 0) {
        return new CClassicBufferMemory;
    }
    CClassicBufferMemory* buffer = m_Buffers.m_Items[--m_Buffers.m_Count];
    buffer->Clear();
    return buffer;
}

void CClassicBufferPool::GiveBack(CClassicPooledBuffer& holder) {
    if (holder.m_Buffer) {
        m_Buffers.Add(holder.m_Buffer);
        holder.m_Buffer = nullptr;
    }
}

void CClassicBufferPool::Clear() {
    while (m_Buffers.m_Count != 0) {
        delete m_Buffers.m_Items[--m_Buffers.m_Count];
    }
    m_Buffers.FreeItems();
}

// ---- Comparison ----

bool CClassicBuffer::EqualsMemory(CClassicBufferMemory& memory) {
    if (GetSize() != memory.GetSize())
        return false;
    memory.Rewind();
    u8 scratch[16384];
    u32 remaining = memory.GetSize();
    while (remaining > 0) {
        const u32 chunk = std::min<u32>(remaining, sizeof scratch);
        u32 got = 0;
        try {
            got = Read(scratch, chunk);
        } catch (const CClassicBufferException&) {
            return false;
        }
        if (got != chunk ||
            std::memcmp(scratch, memory.GetData() + memory.GetPosition(), chunk) != 0)
            return false;
        memory.Skip(chunk);
        remaining -= chunk;
    }
    return true;
}

// ---- LZO blocks ----

bool CClassicBufferMemory::WriteLzoRaw(const CClassicBufferMemory& source) {
    // One work area for the whole process: the engine compresses on one thread.
    alignas(lzo_align_t) static u8 s_WorkMemory[LZO1X_1_MEM_COMPRESS];
    static const u8 s_NoInput = 0;

    if (!LzoReady()) {
        LogLine("[Buffer] LZO library unusable: %u bytes not compressed\r\n", source.GetSize());
        return false;
    }
    const u32 size = source.GetSize();
    // The compressor writes in place: the room of its worst case is made as a write of that
    // many bytes would make it (the stream's limit, the growth rule, the gap below the position
    // zeroed), but the size only moves over the bytes it writes.
    const u64 room = LzoWorstCase(size);
    if (room > s_MemoryLimit || !PrepareWrite(u32(room))) {
        LogLine("[Buffer] LZO compression of %u bytes at position %u refused: the room passes the "
                "limit of %u bytes\r\n",
                size, m_WindowPosition, s_MemoryLimit);
        return false;
    }
    lzo_uint packed = 0;
    const int rc = lzo1x_1_compress(size != 0 ? source.GetData() : &s_NoInput, size,
                                    m_WindowData + m_WindowPosition, &packed, s_WorkMemory);
    if (rc != LZO_E_OK) {
        LogLine("[Buffer] LZO compression of %u bytes failed: error %d\r\n", size, rc);
        return false;
    }
    m_WindowPosition += u32(packed);
    m_WindowSize = std::max(m_WindowSize, m_WindowPosition);
    return true;
}

bool CClassicBuffer::WriteLzoBlock(const CClassicBufferMemory& buffer) {
    const u32 size = buffer.GetSize();
    if (size > kClassicLzoBlockMaxSize) {
        LogLine("[Buffer] LZO block of %u bytes not written: above the limit of %u\r\n", size,
                kClassicLzoBlockMaxSize);
        return false;
    }
    CClassicPooledBuffer output;
    output->Grow(kLzoHeaderSize);
    if (!output->WriteLzoRaw(buffer))
        return false;
    u8* block = output->GetData();
    const u32 total = output->GetSize();
    platform::StoreU32Le(block, size);
    platform::StoreU32Le(block + 4, total - kLzoHeaderSize);
    return Write(block, total) == total;
}

CClassicBufferMemory* CClassicBuffer::ReadLzoBlock(u32 maxSize) {
    u8 header[kLzoHeaderSize];
    const u32 got = Read(header, kLzoHeaderSize);
    if (got != kLzoHeaderSize) {
        LogLine("[Buffer] LZO block truncated: %u of %u header bytes\r\n", got, kLzoHeaderSize);
        return nullptr;
    }
    const u32 size = platform::LoadU32Le(header);
    const u32 packed = platform::LoadU32Le(header + 4);

    const u32 limit = std::min(maxSize, s_MemoryLimit);
    if (size > limit) {
        LogLine("[Buffer] LZO block refused: uncompressed size %u above the limit of %u\r\n", size,
                limit);
        return nullptr;
    }
    // A stream always ends with LZO1X's 3-byte end marker, and an LZO1X-1 writer never emits
    // more than the worst case of the largest block accepted.
    if (packed < kLzoMinPacked || packed > LzoWorstCase(limit)) {
        LogLine("[Buffer] LZO block refused: compressed size %u impossible for %u bytes\r\n",
                packed, size);
        return nullptr;
    }
    if (CanSeek()) {
        const u32 position = GetPosition();
        const u32 end = GetSize();
        if (position > end || packed > end - position) {
            LogLine("[Buffer] LZO block truncated: %u compressed bytes, %u left in the stream\r\n",
                    packed, position > end ? 0 : end - position);
            return nullptr;
        }
    }

    CClassicPooledBuffer compressed;
    compressed->Reserve(packed);
    const u32 read = Read(compressed->GetData(), packed);
    if (read != packed) {
        LogLine("[Buffer] LZO block truncated: %u of %u compressed bytes\r\n", read, packed);
        return nullptr;
    }

    // The decoded length may fall short of the stated size: the result is sized to it. LZO1X
    // expands at most about 255 to 1, so the output never needs room beyond that, however large
    // the stated size. A failed block is deleted rather than pooled.
    const u32 room = u32(std::min<u64>(size, u64(packed) * 256 + 64));
    std::unique_ptr<CClassicBufferMemory> result(g_ClassicBufferPool.Take());
    result->Reserve(std::max<u32>(room, 1));
    lzo_uint length = room;
    const int rc = LzoReady() ? lzo1x_decompress_safe(compressed->GetData(), packed,
                                                      result->GetData(), &length, nullptr)
                              : LZO_E_ERROR;
    if (rc != LZO_E_OK) {
        LogLine("[Buffer] LZO block damaged: error %d, %u of at most %u bytes\r\n", rc, u32(length),
                size);
        return nullptr;
    }
    result->m_WindowSize = u32(length);
    result->m_WindowPosition = 0;
    return result.release();
}
