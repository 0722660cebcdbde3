#pragma once
// Byte streams: the abstract CClassicBuffer, the growable memory stream CClassicBufferMemory, the
// exception a strict read throws, the pool of reusable memory streams, and the LZO block framing
// used inside archive files, network messages and enciphered texts.
//
// LZO block (little-endian): u32 uncompressed size U, u32 compressed size P, P bytes of LZO1X-1.
#include "core/base/ClassicString.h"
#include "core/base/FastBuffer.h"
#include "platform/Types.h"

#include <cstring>

class CClassicBufferMemory;

// The largest memory stream: no archive body, message or decompressed block comes near it, so
// a larger request is a damaged size and is refused instead of allocated.
inline constexpr u32 kClassicBufferMemoryMaxSize = 0x40000000;

// Sets the size limit of memory streams (kClassicBufferMemoryMaxSize unless set) and returns the
// one it replaces. Tests lower it to reach the refusal without a gigabyte of data; streams that
// already hold more room than a lowered limit keep it.
u32 SetClassicBufferMemoryLimit(u32 limit);

// The default limit of ReadLzoBlock's uncompressed size; callers reading peer messages pass a
// smaller one.
inline constexpr u32 kClassicLzoBlockMaxSize = 0x10000000;

// Codes of CClassicBufferException thrown by the memory stream and the readers over streams.
inline constexpr i32 kClassicBufferErrorPastEnd = 0;  // a read past the size
inline constexpr i32 kClassicBufferErrorTooLarge = 1; // a reservation above the size limit
// Stored data that cannot be read on: an unknown chunk without its size inside a nested body.
inline constexpr i32 kClassicBufferErrorBadData = 2;
// Nod bodies nested deeper than a reading archive accepts.
inline constexpr i32 kClassicBufferErrorTooDeep = 3;
// A write that the stream refused or took only in part.
inline constexpr i32 kClassicBufferErrorWriteRefused = 4;

// Thrown by value when a stream cannot deliver the bytes asked for.
class CClassicBufferException {
public:
    explicit CClassicBufferException(i32 code) : m_Code(code) {}
    CClassicBufferException(i32 code, CClassicWideStringRef text) : m_Code(code), m_Text(text) {}

    i32 m_Code;
    CClassicWideString m_Text;
};

class CClassicBuffer {
public:
    CClassicBuffer() = default;
    CClassicBuffer(const CClassicBuffer&) = delete;
    CClassicBuffer& operator=(const CClassicBuffer&) = delete;
    virtual ~CClassicBuffer() = default;

    // Reads up to n bytes; returns the count read.
    virtual u32 Read(void* data, u32 n) = 0;
    // Writes n bytes; returns the count written.
    virtual u32 Write(const void* data, u32 n) = 0;
    virtual bool Close() = 0;
    // True while a file stream writes through a temporary file.
    virtual bool IsWritingTempFile() const { return false; }
    virtual u32 GetPosition() const = 0;
    virtual u32 GetSize() const = 0;
    virtual bool CanSeek() const { return false; }
    virtual void SetPosition(u32) {}
    // The stream's path, or null for streams without a name.
    virtual const CClassicWideString* GetName() const { return nullptr; }

    // True when this stream's size equals the memory buffer's and the rest of this stream holds
    // the buffer's bytes; compared in 16 KB pieces, stopping at the first difference or at a
    // short or failed read. The memory buffer is rewound and read through.
    bool EqualsMemory(CClassicBufferMemory& memory);

    // Writes the buffer's size bytes as one LZO block. False when the compressor fails or this
    // stream takes fewer bytes than given.
    bool WriteLzoBlock(const CClassicBufferMemory& buffer);
    // Reads one LZO block into a pooled memory buffer (position 0) that the caller gives back to
    // the pool. U is the most the block may decode to: the result's size is the decoded length.
    // Null, with a log line, for a block whose U is above maxSize, whose P is impossible, whose
    // data is shorter than P, does not decompress or decompresses to more than U bytes. A
    // strict stream's read of the header past its end throws CClassicBufferException.
    CClassicBufferMemory* ReadLzoBlock(u32 maxSize = kClassicLzoBlockMaxSize);

    // Read and Write for callers that move a few bytes per call: bytes that lie in the stream's
    // window (below) are copied in place, others go through the virtual call. The results are
    // those of Read and Write.
    u32 ReadInline(void* data, u32 n) { return ReadInWindow(data, n) ? n : Read(data, n); }
    u32 WriteInline(const void* data, u32 n) { return WriteInWindow(data, n) ? n : Write(data, n); }
    // Copies n bytes out of the window and moves the position over them when the window holds
    // them all; false, reading nothing, otherwise (also for n = 0).
    bool ReadInWindow(void* data, u64 n) {
        if (n == 0 || m_WindowPosition + n > m_WindowSize)
            return false;
        std::memcpy(data, m_WindowData + m_WindowPosition, size_t(n));
        m_WindowPosition += u32(n);
        return true;
    }
    // Copies n bytes into the window at the position, which moves over them, when the window
    // has the room; false, writing nothing, otherwise (also for n = 0).
    bool WriteInWindow(const void* data, u64 n) {
        if (n == 0 || m_WindowPosition > m_WindowSize || m_WindowPosition + n > m_WindowCapacity)
            return false;
        std::memcpy(m_WindowData + m_WindowPosition, data, size_t(n));
        m_WindowPosition += u32(n);
        if (m_WindowPosition > m_WindowSize)
            m_WindowSize = m_WindowPosition;
        return true;
    }
    // The bytes from the position to the end of the window (none without a window), readable in
    // place; SkipInWindow moves the position over n of them (n at most GetWindowLeft()).
    u32 GetWindowLeft() const {
        return m_WindowPosition < m_WindowSize ? m_WindowSize - m_WindowPosition : 0;
    }
    const u8* GetWindowCursor() const { return m_WindowData + m_WindowPosition; }
    void SkipInWindow(u32 n) { m_WindowPosition += n; }

protected:
    // The window: a block of the stream's bytes that small reads and writes reach in place,
    // without a virtual call. Bytes [m_WindowPosition, m_WindowSize) of m_WindowData can be read,
    // and while m_WindowPosition <= m_WindowSize, bytes [m_WindowPosition, m_WindowCapacity) can
    // be written (the size then follows the position). A stream keeps them in step with its
    // state, and a read or write in place must leave the stream as Read or Write of the same
    // bytes would. A stream without a window leaves them null and 0: every call goes to Read
    // and Write. The memory stream's window is its whole data.
    u8* m_WindowData = nullptr;
    u32 m_WindowPosition = 0;
    u32 m_WindowSize = 0;
    u32 m_WindowCapacity = 0;
};

// A growable memory stream. Reads are strict: a read past the size throws and reads nothing.
// Writes grow the capacity geometrically; bytes skipped over by a write past the size are zero.
// Its data, size, position and capacity are the base's window, so Read and Write are final: a
// derived stream could not change what reads and writes in place do.
class CClassicBufferMemory : public CClassicBuffer {
public:
    CClassicBufferMemory() = default;
    ~CClassicBufferMemory() override;

    // Throws CClassicBufferException (code 0, empty text) when fewer than n bytes remain; the
    // position is then unchanged.
    u32 Read(void* data, u32 n) final;
    // Returns 0 and writes nothing (with a log line) when the stream would pass its size limit.
    u32 Write(const void* data, u32 n) final;
    // Rewinds to position 0; the data stays.
    bool Close() override;
    u32 GetPosition() const override { return m_WindowPosition; }
    u32 GetSize() const override { return m_WindowSize; }
    bool CanSeek() const override { return true; }
    // No bound check: a read from beyond the size throws, a write there zero-fills the gap.
    void SetPosition(u32 position) override { m_WindowPosition = position; }

    // Advances the position by n; stops at the largest position rather than wrapping around.
    virtual void Skip(u32 n);
    virtual u32 GetCapacity() const { return m_WindowCapacity; }

    // Makes the capacity at least n (exactly n when it grows), keeping the data; the growth step
    // becomes the capacity. Throws CClassicBufferException (code 1) above the size limit.
    void Reserve(u32 n);
    // Advances the position by n as a write would, leaving zeroed room to be filled later.
    // Throws CClassicBufferException (code 1) above the size limit.
    void Grow(u32 n);
    void Rewind() { m_WindowPosition = 0; }
    // Writes the LZO1X-1 compression of the source's size bytes at the position, without any
    // size before it: the position and the size end right after the compressed bytes. False,
    // with a log line and nothing written, when the library is unusable or the room the
    // compressor may need would pass the size limit. One work memory serves the process.
    bool WriteLzoRaw(const CClassicBufferMemory& source);
    // Position and size 0; the capacity stays.
    void Clear() {
        m_WindowPosition = 0;
        m_WindowSize = 0;
    }
    // True when both hold the same size and the same bytes.
    bool IsSameData(const CClassicBufferMemory& other) const;

    u8* GetData() { return m_WindowData; }
    const u8* GetData() const { return m_WindowData; }

private:
    friend class CClassicBuffer;

    // Makes room for position + n bytes with the growth rule of Write and zero-fills any gap
    // between the size and the position. False above the size limit.
    bool PrepareWrite(u32 n);

    // Growth step: never 0, so that the growth rule never divides by zero.
    u32 m_Step = 1;
};

class CClassicPooledBuffer;

// A stack of reusable memory streams. It owns the buffers it holds.
class CClassicBufferPool {
public:
    constexpr CClassicBufferPool() = default;
    CClassicBufferPool(const CClassicBufferPool&) = delete;
    CClassicBufferPool& operator=(const CClassicBufferPool&) = delete;
    ~CClassicBufferPool() { Clear(); }

    // The most recently given-back buffer, cleared (its capacity kept), or a new buffer.
    CClassicBufferMemory* Take();
    // Pushes the holder's buffer, when it holds one, and empties the holder.
    void GiveBack(CClassicPooledBuffer& holder);
    // Deletes every pooled buffer, newest first.
    void Clear();
    u32 GetCount() const { return m_Buffers.m_Count; }

private:
    CFastBuffer<CClassicBufferMemory*> m_Buffers;
};

extern CClassicBufferPool g_ClassicBufferPool;

// Holds one pooled buffer and gives it back to g_ClassicBufferPool when destroyed.
class CClassicPooledBuffer {
public:
    // Takes a buffer from the pool.
    CClassicPooledBuffer() : m_Buffer(g_ClassicBufferPool.Take()) {}
    // Holds a buffer the caller already has (a result of ReadLzoBlock), or nothing.
    explicit CClassicPooledBuffer(CClassicBufferMemory* buffer) : m_Buffer(buffer) {}
    ~CClassicPooledBuffer() { g_ClassicBufferPool.GiveBack(*this); }
    CClassicPooledBuffer(const CClassicPooledBuffer&) = delete;
    CClassicPooledBuffer& operator=(const CClassicPooledBuffer&) = delete;

    CClassicBufferMemory* Get() const { return m_Buffer; }
    CClassicBufferMemory* operator->() const { return m_Buffer; }
    // Hands the buffer to the caller; the holder is empty afterwards.
    CClassicBufferMemory* Release() {
        CClassicBufferMemory* buffer = m_Buffer;
        m_Buffer = nullptr;
        return buffer;
    }

private:
    friend class CClassicBufferPool;
    CClassicBufferMemory* m_Buffer;
};
