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

// Sixteen bytes handled as one value (the compilers turn this into vector instructions).
using Bytes16 = u8 __attribute__((vector_size(16)));

// The first LF or '|' in [p, end), or end: the bytes that end a text line or begin an escape.
// Sixteen bytes at a time while sixteen remain, each lane compared with both; a lane that
// matches is all ones, so the lowest set bit of the two halves gives the first match.
const char* FindLineByte(const char* p, const char* end) {
    while (end - p >= 16) {
        Bytes16 bytes;
        std::memcpy(&bytes, p, 16);
        const auto hits = (bytes == u8('\n')) | (bytes == u8('|'));
        u64 lanes[2];
        std::memcpy(lanes, &hits, sizeof lanes);
        if (lanes[0] != 0)
            return p + std::countr_zero(lanes[0]) / 8;
        if (lanes[1] != 0)
            return p + 8 + std::countr_zero(lanes[1]) / 8;
        p += 16;
    }
    while (p < end && *p != '\n' && *p != '|')
        ++p;
    return p;
}

// Reads the next byte of a line from a stream that shows no window, one byte per call, since
// nothing may be read past the line.
u8 ReadLineByte(CClassicBuffer& stream) {
    u8 byte = 0;
    u32 got = 0;
    try {
        got = stream.Read(&byte, 1);
    } catch (const CClassicBufferException&) {
        LogLine("Stream ended inside a text line at %u", stream.GetPosition());
        throw;
    }
    if (got != 1)
        Fail(kClassicBufferErrorPastEnd, "Stream ended inside a text line at %u",
             stream.GetPosition());
    return byte;
}

// Appends n characters to the line being read. A line holds at most
// kClassicArchiveMaxStringLength characters, its closing CR counted.
void AppendToLine(CClassicString& line, const char* text, u32 n) {
    const u32 length = line.GetLength();
    if (u64(length) + n > kClassicArchiveMaxStringLength)
        Fail(kClassicBufferErrorTooLarge, "Text line longer than %u characters",
             kClassicArchiveMaxStringLength);
    EnsureCapacity(line, length + n);
    line.SetLength(length + n);
    std::memcpy(line.GetText() + length, text, n);
}

// Text numbers are formatted backwards into a buffer that ends with the line's CR LF: each
// writer puts its characters just before `end` and returns where they begin.
constexpr u32 kNumberLineRoom = 64;

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233"
    "34353637383940414243444546474849505152535455565758596061626364656667"
    "6869707172737475767778798081828384858687888990919293949596979899";

// "%u" (and "%llu") of the value.
template <class T>
char* PutDecimal(T value, char* end) {
    while (value >= 100) {
        end -= 2;
        std::memcpy(end, kDigitPairs + 2 * u32(value % 100), 2);
        value /= 100;
    }
    if (value >= 10) {
        end -= 2;
        std::memcpy(end, kDigitPairs + 2 * u32(value), 2);
    } else {
        *--end = char('0' + value);
    }
    return end;
}

// "%x" of the value.
char* PutHex(u32 value, char* end) {
    do {
        *--end = "0123456789abcdef"[value & 15];
        value >>= 4;
    } while (value != 0);
    return end;
}

// "%f" of a finite float widened to double, for values below 2^64: the exact value rounded to
// six decimals, ties to even, as the C library's printf rounds in the default rounding mode.
// The float is m x 2^e; below 1 x 2^0 the millionths are m x 10^6 (under 2^44) shifted right by
// -e, and that shift's remainder decides the rounding exactly. Null for larger values.
char* PutFixed6(f32 value, char* end) {
    const u32 bits = std::bit_cast<u32>(value);
    const u32 biased = (bits >> 23) & 0xFF;
    const u64 mantissa = biased == 0 ? bits & 0x7FFFFF : (bits & 0x7FFFFF) | 0x800000;
    const i32 exponent = biased == 0 ? -149 : i32(biased) - 150;
    u64 whole = 0;
    u32 millionths = 0;
    if (exponent >= 0) {
        if (exponent > 40)
            return nullptr;
        whole = mantissa << exponent;
    } else {
        const u32 shift = u32(-exponent);
        u64 scaled = 0;
        if (shift < 64) {
            const u64 exact = mantissa * 1000000;
            const u64 remainder = exact & ((u64(1) << shift) - 1);
            const u64 half = u64(1) << (shift - 1);
            scaled = exact >> shift;
            if (remainder > half || (remainder == half && (scaled & 1) != 0))
                ++scaled;
        }
        whole = scaled / 1000000;
        millionths = u32(scaled % 1000000);
    }
    for (u32 i = 0; i < 6; ++i) {
        *--end = char('0' + millionths % 10);
        millionths /= 10;
    }
    *--end = '.';
    end = PutDecimal(whole, end);
    if (bits >> 31)
        *--end = '-';
    return end;
}

// The text line of one value, CR LF included, in the last characters of `line`; returns where
// it begins.
char* PutNumberLine(const void* values, u32 i, CClassicArchive::ENumber kind, bool hex,
                    char (&line)[kNumberLineRoom]) {
    using ENumber = CClassicArchive::ENumber;
    char* end = line + kNumberLineRoom - 2;
    end[0] = '\r';
    end[1] = '\n';
    u32 word = 0;
    switch (kind) {
        case ENumber::Byte:
            word = static_cast<const u8*>(values)[i];
            break;
        case ENumber::Short:
            word = static_cast<const u16*>(values)[i];
            break;
        case ENumber::UInt:
            word = static_cast<const u32*>(values)[i];
            break;
        case ENumber::Int: {
            const i32 value = static_cast<const i32*>(values)[i];
            if (hex || value >= 0)
                return hex ? PutHex(u32(value), end) : PutDecimal(u32(value), end);
            char* begin = PutDecimal(0u - u32(value), end);
            *--begin = '-';
            return begin;
        }
        case ENumber::Float: {
            const f32 value = static_cast<const f32*>(values)[i];
            const char* special = std::isnan(value)   ? "-1.#IND00"
                                  : std::isinf(value) ? (value > 0 ? "1.#INF00" : "-1.#INF00")
                                                      : nullptr;
            if (!special) {
                if (char* begin = PutFixed6(value, end))
                    return begin;
            }
            // Beyond 2^64 the integer part takes more than 64 bits: the C formatting does it.
            char text[kNumberLineRoom];
            const u32 length = special ? u32(std::strlen(special))
                                       : platform::FormatTo(text, sizeof text, "%f", f64(value));
            return static_cast<char*>(std::memcpy(end - length, special ? special : text, length));
        }
        case ENumber::Bool: {
            const char* text = static_cast<const u32*>(values)[i] ? "True" : "False";
            const u32 length = u32(std::strlen(text));
            return static_cast<char*>(std::memcpy(end - length, text, length));
        }
    }
    return hex ? PutHex(word, end) : PutDecimal(word, end);
}

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

void CClassicArchive::ArchiveHeldNodRef(CMwNod*& nod) {
    ArchiveNodRef(nod);
}

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
    if (size == 0)
        return;
    CClassicBuffer& stream = Stream();
    const u32 taken = stream.WriteInline(data, size);
    if (taken != size)
        Fail(kClassicBufferErrorWriteRefused, "Stream took %u of %u bytes written at %u", taken,
             size, stream.GetPosition() - taken);
}

void CClassicArchive::ReadExact(void* data, u32 size) {
    if (size == 0)
        return;
    CClassicBuffer& stream = Stream();
    if (stream.ReadInWindow(data, size))
        return;
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
    // Bytes left in the stream's window are there.
    if (size <= stream.GetWindowLeft())
        return;
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

bool CClassicArchive::ReadLine() {
    const CLineText line = NextLine();
    if (line.m_Text != m_Line.GetText()) {
        m_Line.SetLength(0);
        AppendToLine(m_Line, line.m_Text, line.m_Length);
    }
    return line.m_Continued;
}

CClassicArchive::CLineText CClassicArchive::NextLine() {
    CClassicBuffer& stream = Stream();
    if (const u32 left = stream.GetWindowLeft()) {
        // One search for the line's end; a '|' before it, or an LF without its CR, takes the
        // road in pieces.
        const char* begin = reinterpret_cast<const char*>(stream.GetWindowCursor());
        const char* stop = FindLineByte(begin, begin + left);
        const u32 length = u32(stop - begin);
        if (length != left && *stop == '\n' && length != 0 && stop[-1] == '\r' &&
            length <= kClassicArchiveMaxStringLength) {
            stream.SkipInWindow(length + 1);
            return {begin, length - 1, false};
        }
    }
    const bool continued = ReadLineInPieces();
    return {m_Line.GetText(), m_Line.GetLength(), continued};
}

// The line is read a block at a time: the rest of the stream's window, or one byte read from a
// stream that shows none (or whose window has run out). Within a block, the bytes up to the next
// LF or '|' are stored at once; the state carries an escape across blocks.
bool CClassicArchive::ReadLineInPieces() {
    CClassicBuffer& stream = Stream();
    m_Line.SetLength(0);
    // After '|': the next byte is stored as it is, unless it is the CR of a continuation, whose
    // LF is then read and dropped.
    enum class EState { Text, AfterBar, AfterBarCr } state = EState::Text;
    for (;;) {
        u8 byte = 0;
        const u32 left = stream.GetWindowLeft();
        const char* p = reinterpret_cast<const char*>(stream.GetWindowCursor());
        if (left == 0) {
            byte = ReadLineByte(stream);
            p = reinterpret_cast<const char*>(&byte);
        }
        const char* const begin = p;
        const char* const end = p + (left == 0 ? 1 : left);
        bool ended = false, continued = false;
        while (p < end && !ended) {
            if (state == EState::AfterBarCr) {
                ++p;
                ended = continued = true;
                break;
            }
            char c;
            if (state == EState::AfterBar) {
                c = *p++;
                if (c == '\r') {
                    state = EState::AfterBarCr;
                    continue;
                }
                state = EState::Text;
            } else {
                const char* stop = FindLineByte(p, end);
                AppendToLine(m_Line, p, u32(stop - p));
                p = stop;
                if (p == end)
                    break;
                c = *p++;
                if (c == '|') {
                    state = EState::AfterBar;
                    continue;
                }
            }
            // An LF whose stored byte before it is CR ends the line; any other byte is text.
            const u32 length = m_Line.GetLength();
            if (c == '\n' && length != 0 && m_Line[length - 1] == '\r') {
                m_Line.Truncate(length - 1);
                ended = true;
            } else {
                AppendToLine(m_Line, &c, 1);
            }
        }
        if (left != 0)
            stream.SkipInWindow(u32(p - begin));
        if (ended)
            return continued;
    }
}

u32 CClassicArchive::ReadTextInteger(bool hex) {
    const CLineText line = NextLine();
    const char* p = line.m_Text;
    const char* end = p + line.m_Length;
    while (p < end && IsBlank(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    const char* digits = p;
    u64 magnitude = 0;
    if (hex) {
        if (end - p >= 3 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
            ClassicDigitValue(p[2], 16) >= 0)
            digits = p += 2;
        for (i32 d; p < end && (d = ClassicDigitValue(*p, 16)) >= 0; ++p)
            magnitude = std::min<u64>(magnitude * 16 + u64(d), 0xFFFFFFFFu);
    } else {
        // Saturated at every step, so that the product never leaves 64 bits.
        for (u32 d; p < end && (d = u32(u8(*p) - '0')) <= 9; ++p)
            magnitude = std::min<u64>(magnitude * 10 + d, 0xFFFFFFFFu);
    }
    if (p == digits) {
        LogLine("Text line of %u characters is not a number; read as 0", line.m_Length);
        return 0;
    }
    return negative ? 0u - u32(magnitude) : u32(magnitude);
}

// ---------------------------------------------------------------------------------------------
// Numbers

void CClassicArchive::WriteNumbers(const void* values, u32 count, ENumber kind, bool hex) {
    if (!m_Text) {
        Write(values, ByteCount(count, SizeOf(kind)));
        return;
    }
    char line[kNumberLineRoom];
    for (u32 i = 0; i < count; ++i) {
        const char* begin = PutNumberLine(values, i, kind, hex, line);
        Write(begin, u32(line + kNumberLineRoom - begin));
    }
}

void CClassicArchive::ReadNumbers(void* values, u32 count, ENumber kind, bool hex) {
    if (!m_Text) {
        ReadExact(values, ByteCount(count, SizeOf(kind)));
        return;
    }
    for (u32 i = 0; i < count; ++i) {
        switch (kind) {
            case ENumber::Byte:
                static_cast<u8*>(values)[i] = u8(ReadTextInteger(hex));
                break;
            case ENumber::Short:
                static_cast<u16*>(values)[i] = u16(ReadTextInteger(hex));
                break;
            case ENumber::UInt:
                static_cast<u32*>(values)[i] = ReadTextInteger(hex);
                break;
            case ENumber::Int:
                static_cast<i32*>(values)[i] = i32(ReadTextInteger(hex));
                break;
            case ENumber::Float: {
                ReadLine();
                f32 value = 0;
                if (!m_Line.ParseLeadingFloat(value))
                    LogLine("Text line of %u characters is not a number; read as 0",
                            m_Line.GetLength());
                static_cast<f32*>(values)[i] = value;
                break;
            }
            case ENumber::Bool: {
                const CLineText line = NextLine();
                static_cast<u32*>(values)[i] = line.m_Length != 0 && line.m_Text[0] == 'T' ? 1 : 0;
                break;
            }
        }
    }
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
        ReadBinaryString(value);
        return;
    }
    value.SetLength(0);
    const CLineText line = NextLine();
    const u32 length = u32(strnlen(line.m_Text, line.m_Length));
    // A string of one line gets room for exactly its text, as an assignment does.
    if (!line.m_Continued && length + 2 <= kClassicArchiveMaxStringLength) {
        value.SetLength(length);
        std::memcpy(value.GetText(), line.m_Text, length);
        return;
    }
    ReadContinuedString(value, line, length);
}

// The lines of a string written with embedded CR LFs are gathered into the emptied string, in
// storage that grows geometrically; `first` is its first line, of `length` characters up to its
// first NUL.
void CClassicArchive::ReadContinuedString(CClassicString& value, CLineText first, u32 length) {
    for (CLineText line = first;;) {
        if (u64(value.GetLength()) + length + 2 > kClassicArchiveMaxStringLength)
            Fail(kClassicBufferErrorTooLarge, "Text string longer than %u characters",
                 kClassicArchiveMaxStringLength);
        AppendGrowing(value, CClassicStringRef(line.m_Text, length));
        if (!line.m_Continued)
            return;
        AppendGrowing(value, "\r\n");
        line = NextLine();
        length = u32(strnlen(line.m_Text, line.m_Length));
    }
}

void CClassicArchive::ReadBinaryString(CClassicString& value) {
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
