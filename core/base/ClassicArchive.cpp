#include "core/base/ClassicArchive.h"

#include "core/base/ClassicLog.h"
#include "platform/Crt.h"
#include "platform/Endian.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <typeinfo>

// Binary arrays go to and from the stream in one call, as they lie in memory: that is the
// little-endian form only on a little-endian host.
static_assert(std::endian::native == std::endian::little);

namespace {

// Strings read from a stream that cannot tell its size grow by at most this much per read.
constexpr u32 kStringReadChunk = 0x10000;
constexpr u32 kMinLineCapacity = 128;
// Bytes passed over on a stream that cannot seek are read this many at a time.
constexpr u32 kSkipPiece = 0x1000;

// Logs "[Archive] <text>" and throws the stream exception with the same text.
[[noreturn]] __attribute__((format(printf, 2, 3))) void Fail(i32 code, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const platform::FormattedText text = platform::FormatV(format, args);
    va_end(args);
    CClassicWideString wide;
    wide.AppendNarrow(CClassicStringRef(text.text, text.length));
    g_ClassicLogLine.Assign("[Archive] ");
    g_ClassicLogLine.Append(CClassicStringRef(text.text, text.length)).Append("\r\n");
    ClassicLogWriteLine();
    throw CClassicBufferException(code, wide);
}

__attribute__((format(printf, 1, 2))) void LogLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const platform::FormattedText text = platform::FormatV(format, args);
    va_end(args);
    g_ClassicLogLine.Assign("[Archive] ");
    g_ClassicLogLine.Append(CClassicStringRef(text.text, text.length)).Append("\r\n");
    ClassicLogWriteLine();
}

// Makes room for n characters, at least doubling the capacity, so that strings built a piece
// at a time are not copied once per piece. The length is unchanged.
void EnsureCapacity(CClassicString& string, u32 n) {
    const u32 capacity = string.GetCapacity();
    if (n <= capacity)
        return;
    const u64 doubled = std::max<u64>(u64(capacity) * 2, kMinLineCapacity);
    string.Reserve(u32(std::min<u64>(std::max<u64>(doubled, n), 0xFFFFFFFEu)), true);
}

void AppendGrowing(CClassicString& string, CClassicStringRef text) {
    EnsureCapacity(string, string.GetLength() + text.m_Length);
    string.Append(text);
}

u32 ByteCount(u32 count, u32 size) {
    const u64 bytes = u64(count) * size;
    if (bytes > 0xFFFFFFFFu)
        Fail(kClassicBufferErrorTooLarge, "Array of %u values of %u bytes is too large", count,
             size);
    return u32(bytes);
}

// The bytes of a text line, one at a time. A plain memory stream is scanned in place; other
// streams are read one byte per call, since nothing may be read past the line.
class CLineSource {
public:
    explicit CLineSource(CClassicBuffer& stream) : m_Stream(stream) {
        if (typeid(stream) == typeid(CClassicBufferMemory)) {
            m_Memory = static_cast<CClassicBufferMemory*>(&stream);
            m_Data = m_Memory->GetData();
            m_Position = m_Memory->GetPosition();
            m_Size = m_Memory->GetSize();
        }
    }
    ~CLineSource() {
        if (m_Memory)
            m_Memory->SetPosition(m_Position);
    }
    CLineSource(const CLineSource&) = delete;
    CLineSource& operator=(const CLineSource&) = delete;

    u8 Next() {
        if (m_Memory) {
            if (m_Position >= m_Size)
                Fail(kClassicBufferErrorPastEnd, "Stream ended inside a text line at %u",
                     m_Position);
            return m_Data[m_Position++];
        }
        u8 byte = 0;
        u32 got = 0;
        try {
            got = m_Stream.Read(&byte, 1);
        } catch (const CClassicBufferException&) {
            LogLine("Stream ended inside a text line at %u", m_Stream.GetPosition());
            throw;
        }
        if (got != 1)
            Fail(kClassicBufferErrorPastEnd, "Stream ended inside a text line at %u",
                 m_Stream.GetPosition());
        return byte;
    }

private:
    CClassicBuffer& m_Stream;
    CClassicBufferMemory* m_Memory = nullptr;
    const u8* m_Data = nullptr;
    u32 m_Position = 0;
    u32 m_Size = 0;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// A '|', and a CR followed by LF, are preceded by '|' in a text string.
bool NeedsEscape(CClassicStringRef text, u32 i) {
    const char c = text.m_Text[i];
    return c == '|' || (c == '\r' && i + 1 < text.m_Length && text.m_Text[i + 1] == '\n');
}

} // namespace

CClassicArchive::~CClassicArchive() {
    FreeIdState();
    delete m_Buffer;
}

void CClassicArchive::ArchiveNodRef(CMwNod*&) {}

void CClassicArchive::ArchiveFidRef(CSystemFid*&) {}

bool CClassicArchive::GetFileName(CClassicWideString&) {
    return false;
}

void CClassicArchive::SetBuffer(CClassicBuffer* stream) {
    m_Buffer = stream;
}

CClassicBuffer* CClassicArchive::DetachBuffer(bool freeIdState) {
    if (freeIdState)
        FreeIdState();
    CClassicBuffer* stream = m_Buffer;
    m_Buffer = nullptr;
    return stream;
}

void CClassicArchive::SetIdState(CClassicArchiveIdState* state) {
    if (state == m_IdState)
        return;
    FreeIdState();
    m_IdState = state;
}

void CClassicArchive::FreeIdState() {
    CClassicArchiveIdState* state = m_IdState;
    m_IdState = nullptr;
    delete state;
}

CClassicArchiveBody::CClassicArchiveBody(CClassicArchive& archive)
    : m_Archive(archive), m_Depth(archive.m_BodyDepth + 1) {
    if (m_Depth > kClassicArchiveMaxBodyDepth)
        Fail(kClassicBufferErrorTooDeep, "Nod bodies nested deeper than %u levels",
             kClassicArchiveMaxBodyDepth);
    m_Archive.m_BodyDepth = m_Depth;
}

// ---------------------------------------------------------------------------------------------
// Stream access

CClassicBuffer& CClassicArchive::Stream() {
    if (!m_Buffer)
        Fail(kClassicBufferErrorPastEnd, "The archive has no stream");
    return *m_Buffer;
}

void CClassicArchive::Write(const void* data, u32 size) {
    if (size != 0)
        Stream().Write(data, size);
}

void CClassicArchive::ReadExact(void* data, u32 size) {
    if (size == 0)
        return;
    CClassicBuffer& stream = Stream();
    const u32 position = stream.GetPosition();
    u32 got = 0;
    try {
        got = stream.Read(data, size);
    } catch (const CClassicBufferException&) {
        LogLine("Stream ended: %u bytes asked at %u", size, position);
        throw;
    }
    if (got != size)
        Fail(kClassicBufferErrorPastEnd, "Stream ended: %u of %u bytes read at %u", got, size,
             position);
}

void CClassicArchive::CheckReadSize(u32 size, u32 limit) {
    if (size > limit)
        Fail(kClassicBufferErrorTooLarge, "Stored size %u is above the limit of %u", size, limit);
    CClassicBuffer& stream = Stream();
    if (!stream.CanSeek())
        return;
    const u32 position = stream.GetPosition(), end = stream.GetSize();
    const u32 left = position < end ? end - position : 0;
    if (size > left)
        Fail(kClassicBufferErrorPastEnd, "Stored size %u is past the end of the stream (%u left)",
             size, left);
}

// ---------------------------------------------------------------------------------------------
// Text lines

void CClassicArchive::WriteLine() {
    const u32 length = m_Line.GetLength();
    EnsureCapacity(m_Line, length + 2);
    m_Line.Append("\r\n");
    Write(m_Line.GetText(), m_Line.GetLength());
    m_Line.Truncate(length);
}

void CClassicArchive::WriteTextLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const platform::FormattedText text = platform::FormatV(format, args);
    va_end(args);
    EnsureCapacity(m_Line, text.length + 2);
    m_Line.Assign(CClassicStringRef(text.text, text.length));
    WriteLine();
}

bool CClassicArchive::ReadLine() {
    m_Line.SetLength(0);
    CLineSource source(Stream());
    for (;;) {
        u8 c = source.Next();
        if (c == '|') {
            c = source.Next();
            if (c == '\r') {
                source.Next(); // the LF of the continuation
                return true;
            }
        }
        const u32 length = m_Line.GetLength();
        if (c == '\n' && length > 0 && m_Line[length - 1] == '\r') {
            m_Line.Truncate(length - 1);
            return false;
        }
        if (length == m_Line.GetCapacity()) {
            if (length >= kClassicArchiveMaxStringLength)
                Fail(kClassicBufferErrorTooLarge, "Text line longer than %u characters",
                     kClassicArchiveMaxStringLength);
            EnsureCapacity(m_Line, std::min(length + 1, kClassicArchiveMaxStringLength));
        }
        m_Line.SetLength(length + 1);
        m_Line.GetText()[length] = char(c);
    }
}

u32 CClassicArchive::ReadTextInteger(bool hex) {
    ReadLine();
    const char* p = m_Line.GetText();
    const char* end = p + m_Line.GetLength();
    while (p < end && IsBlank(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    const u32 base = hex ? 16 : 10;
    if (hex && end - p >= 3 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
        ClassicDigitValue(p[2], 16) >= 0)
        p += 2;
    u64 magnitude = 0;
    bool digits = false;
    for (; p < end; ++p) {
        const i32 d = ClassicDigitValue(*p, base);
        if (d < 0)
            break;
        magnitude = std::min<u64>(magnitude * base + u64(d), 0xFFFFFFFFu);
        digits = true;
    }
    if (!digits) {
        LogLine("Text line of %u characters is not a number; read as 0", m_Line.GetLength());
        return 0;
    }
    return negative ? 0u - u32(magnitude) : u32(magnitude);
}

// ---------------------------------------------------------------------------------------------
// Numbers

void CClassicArchive::WriteBytes(const u8* values, u32 count, bool hex) {
    if (!m_Text) {
        Write(values, count);
        return;
    }
    for (u32 i = 0; i < count; ++i)
        WriteTextLine(hex ? "%hx" : "%hu", u16(values[i]));
}

void CClassicArchive::ReadBytes(u8* values, u32 count, bool hex) {
    if (!m_Text) {
        ReadExact(values, count);
        return;
    }
    for (u32 i = 0; i < count; ++i)
        values[i] = u8(ReadTextInteger(hex));
}

void CClassicArchive::SerializeBytes(u8* values, u32 count, bool hex) {
    if (m_Writing)
        WriteBytes(values, count, hex);
    else
        ReadBytes(values, count, hex);
}

void CClassicArchive::WriteShorts(const u16* values, u32 count, bool hex) {
    if (!m_Text) {
        Write(values, ByteCount(count, 2));
        return;
    }
    for (u32 i = 0; i < count; ++i)
        WriteTextLine(hex ? "%hx" : "%hu", values[i]);
}

void CClassicArchive::ReadShorts(u16* values, u32 count, bool hex) {
    if (!m_Text) {
        ReadExact(values, ByteCount(count, 2));
        return;
    }
    for (u32 i = 0; i < count; ++i)
        values[i] = u16(ReadTextInteger(hex));
}

void CClassicArchive::SerializeShorts(u16* values, u32 count, bool hex) {
    if (m_Writing)
        WriteShorts(values, count, hex);
    else
        ReadShorts(values, count, hex);
}

void CClassicArchive::WriteUInts(const u32* values, u32 count, bool hex) {
    if (!m_Text) {
        Write(values, ByteCount(count, 4));
        return;
    }
    for (u32 i = 0; i < count; ++i)
        WriteTextLine(hex ? "%x" : "%u", values[i]);
}

void CClassicArchive::ReadUInts(u32* values, u32 count, bool hex) {
    if (!m_Text) {
        ReadExact(values, ByteCount(count, 4));
        return;
    }
    for (u32 i = 0; i < count; ++i)
        values[i] = ReadTextInteger(hex);
}

void CClassicArchive::SerializeUInts(u32* values, u32 count, bool hex) {
    if (m_Writing)
        WriteUInts(values, count, hex);
    else
        ReadUInts(values, count, hex);
}

void CClassicArchive::WriteInts(const i32* values, u32 count, bool hex) {
    if (!m_Text) {
        Write(values, ByteCount(count, 4));
        return;
    }
    for (u32 i = 0; i < count; ++i) {
        if (hex)
            WriteTextLine("%x", u32(values[i]));
        else
            WriteTextLine("%d", values[i]);
    }
}

void CClassicArchive::ReadInts(i32* values, u32 count, bool hex) {
    if (!m_Text) {
        ReadExact(values, ByteCount(count, 4));
        return;
    }
    for (u32 i = 0; i < count; ++i)
        values[i] = i32(ReadTextInteger(hex));
}

void CClassicArchive::SerializeInts(i32* values, u32 count, bool hex) {
    if (m_Writing)
        WriteInts(values, count, hex);
    else
        ReadInts(values, count, hex);
}

void CClassicArchive::WriteFloats(const f32* values, u32 count) {
    if (!m_Text) {
        Write(values, ByteCount(count, 4));
        return;
    }
    for (u32 i = 0; i < count; ++i) {
        const f32 value = values[i];
        if (std::isnan(value))
            WriteTextLine("-1.#IND00");
        else if (std::isinf(value))
            WriteTextLine(value > 0 ? "1.#INF00" : "-1.#INF00");
        else
            WriteTextLine("%f", f64(value));
    }
}

void CClassicArchive::ReadFloats(f32* values, u32 count) {
    if (!m_Text) {
        ReadExact(values, ByteCount(count, 4));
        return;
    }
    for (u32 i = 0; i < count; ++i) {
        ReadLine();
        f32 value = 0;
        if (!m_Line.ParseLeadingFloat(value))
            LogLine("Text line of %u characters is not a number; read as 0", m_Line.GetLength());
        values[i] = value;
    }
}

void CClassicArchive::SerializeFloats(f32* values, u32 count) {
    if (m_Writing)
        WriteFloats(values, count);
    else
        ReadFloats(values, count);
}

void CClassicArchive::WriteBools(const u32* values, u32 count) {
    if (!m_Text) {
        Write(values, ByteCount(count, 4));
        return;
    }
    for (u32 i = 0; i < count; ++i)
        WriteTextLine("%s", values[i] ? "True" : "False");
}

void CClassicArchive::ReadBools(u32* values, u32 count) {
    if (!m_Text) {
        ReadExact(values, ByteCount(count, 4));
        return;
    }
    for (u32 i = 0; i < count; ++i) {
        ReadLine();
        values[i] = m_Line.GetText()[0] == 'T' ? 1 : 0;
    }
}

void CClassicArchive::SerializeBools(u32* values, u32 count) {
    if (m_Writing)
        WriteBools(values, count);
    else
        ReadBools(values, count);
}

// ---------------------------------------------------------------------------------------------
// Strings

void CClassicArchive::WriteString(CClassicStringRef value) {
    if (!m_Text) {
        u8 length[4];
        platform::StoreU32Le(length, value.m_Length);
        Write(length, 4);
        Write(value.m_Text, value.m_Length);
        return;
    }
    u32 escapes = 0;
    for (u32 i = 0; i < value.m_Length; ++i)
        escapes += NeedsEscape(value, i);
    m_Line.SetLength(0);
    EnsureCapacity(m_Line, u32(std::min<u64>(u64(value.m_Length) + escapes + 2, 0xFFFFFFFEu)));
    m_Line.SetLength(value.m_Length + escapes);
    char* out = m_Line.GetText();
    for (u32 i = 0; i < value.m_Length; ++i) {
        if (NeedsEscape(value, i))
            *out++ = '|';
        *out++ = value.m_Text[i];
    }
    WriteLine();
}

void CClassicArchive::ReadString(CClassicString& value) {
    if (!m_Text) {
        u8 bytes[4];
        ReadExact(bytes, 4);
        const u32 length = platform::LoadU32Le(bytes);
        CheckReadSize(length, kClassicArchiveMaxStringLength);
        if (Stream().CanSeek()) {
            value.SetLength(length);
            ReadExact(value.GetText(), length);
            return;
        }
        // The length is not known to be there: the string grows only with the bytes read.
        value.SetLength(0);
        for (u32 done = 0; done < length;) {
            const u32 chunk = std::min(length - done, kStringReadChunk);
            EnsureCapacity(value, done + chunk);
            value.SetLength(done + chunk);
            ReadExact(value.GetText() + done, chunk);
            done += chunk;
        }
        return;
    }
    value.SetLength(0);
    for (;;) {
        const bool continued = ReadLine();
        const u32 length = u32(strnlen(m_Line.GetText(), m_Line.GetLength()));
        if (u64(value.GetLength()) + length + 2 > kClassicArchiveMaxStringLength)
            Fail(kClassicBufferErrorTooLarge, "Text string longer than %u characters",
                 kClassicArchiveMaxStringLength);
        AppendGrowing(value, CClassicStringRef(m_Line.GetText(), length));
        if (!continued)
            return;
        AppendGrowing(value, "\r\n");
    }
}

void CClassicArchive::WriteStrings(const CClassicString* values, u32 count) {
    for (u32 i = 0; i < count; ++i)
        WriteString(values[i]);
}

void CClassicArchive::ReadStrings(CClassicString* values, u32 count) {
    for (u32 i = 0; i < count; ++i)
        ReadString(values[i]);
}

void CClassicArchive::SerializeStrings(CClassicString* values, u32 count) {
    if (m_Writing)
        WriteStrings(values, count);
    else
        ReadStrings(values, count);
}

void CClassicArchive::WriteWideStrings(const CClassicWideString* values, u32 count) {
    CClassicString narrow;
    for (u32 i = 0; i < count; ++i) {
        values[i].ToNarrowUtf8(narrow);
        WriteString(narrow);
    }
}

void CClassicArchive::ReadWideStrings(CClassicWideString* values, u32 count) {
    CClassicString narrow;
    for (u32 i = 0; i < count; ++i) {
        ReadString(narrow);
        values[i].AssignFromNarrow(narrow);
    }
}

void CClassicArchive::SerializeWideStrings(CClassicWideString* values, u32 count) {
    if (m_Writing)
        WriteWideStrings(values, count);
    else
        ReadWideStrings(values, count);
}

// ---------------------------------------------------------------------------------------------
// Raw blocks

void CClassicArchive::WriteRaw(const void* data, u32 size) {
    Write(data, size);
}

void CClassicArchive::ReadRaw(void* data, u32 size) {
    CheckReadSize(size, kClassicArchiveMaxRawSize);
    ReadExact(data, size);
}

void CClassicArchive::SkipRaw(u32 size) {
    CheckReadSize(size, kClassicArchiveMaxRawSize);
    if (size == 0)
        return;
    CClassicBuffer& stream = Stream();
    if (stream.CanSeek()) {
        // CheckReadSize has made sure the bytes are there.
        stream.SetPosition(stream.GetPosition() + size);
        return;
    }
    const u32 piece = std::min(size, kSkipPiece);
    std::unique_ptr<u8[]> scratch(new u8[piece]);
    for (u32 left = size; left > 0;) {
        const u32 n = std::min(left, piece);
        ReadExact(scratch.get(), n);
        left -= n;
    }
}

void CClassicArchive::SerializeRaw(void* data, u32 size) {
    if (m_Writing)
        WriteRaw(data, size);
    else
        ReadRaw(data, size);
}
