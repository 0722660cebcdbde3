#pragma once
// The value archive: typed values and arrays of values read from or written to a stream, in one
// of two encodings. One call serves both directions: the Serialize operations write when the
// archive writes and read otherwise, so that a class describes its data once.
//
// Binary (little-endian, no padding, no type tags; the reader knows the sequence):
//   byte 1, u16 2, u32/i32 4, f32 4 (IEEE single), bool 4 (a u32, kept as stored),
//   narrow string: u32 length then the bytes (no NUL),
//   wide string: the narrow string of its UTF-8 form, with EF BB BF first only when some
//   character is 128 or above, raw block: the bytes as they are.
// Text (one value per line, every line ends with CR LF):
//   byte and u16 "%hu" (hex "%hx"), u32 "%u" (hex "%x"), i32 "%d" (hex "%x"), f32 "%f",
//   bool "True"/"False" (read back as true when the line begins with 'T'),
//   narrow string: its bytes with '|' written "||" and an embedded CR LF written '|' CR LF,
//   wide string: its narrow UTF-8 form as a narrow string, raw block: the bytes as they are.
//
// Text numbers are read from the start of their line, reading stopping at the first character
// that does not fit. Integer lines: blanks skipped, an optional sign, then digits (hex digits
// after an optional "0x" for the hex forms). The digits make an unsigned 32-bit value that
// saturates at 0xFFFFFFFF ("99999999999" reads 4294967295); a '-' negates it modulo 2^32 ("-1"
// reads 0xFFFFFFFF). An i32 takes that value's 32 bits ("4294967291" and "99999999999" read -5
// and -1), a byte or u16 its low bits ("300" reads 44 as a byte). Real lines read as the C
// conversion of a text to a real: blanks skipped, an optional sign, digits with an optional
// point, an optional exponent (e, E, d or D); "1 5" reads 1. A line that holds no number reads
// as 0, with a log line.
//
// Reading failures (the end of the stream, a stored size past the bytes left or above the
// limits below, nod bodies nested too deep) throw CClassicBufferException out of the archive
// call, with a log line; the operation that started the read catches it. So does a write that
// the stream refuses or takes only in part: what was written is then incomplete, and the
// operation that started the write fails.
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicString.h"
#include "platform/Types.h"

class CMwNod;
class CSystemFid;

// The longest narrow string (binary length or text lines joined) a reading archive accepts.
inline constexpr u32 kClassicArchiveMaxStringLength = 0x04000000;
// The largest raw block a reading archive accepts (the largest archive body).
inline constexpr u32 kClassicArchiveMaxRawSize = kClassicLzoBlockMaxSize;

// The most nod bodies a reading archive holds open one inside another (an inline nod read inside
// another nod's body opens the next one). Deeper data is refused before the stack runs out.
inline constexpr u32 kClassicArchiveMaxBodyDepth = 256;

// State that code archiving through an archive keeps for the archive's lifetime (the name ids
// met so far). The archive owns it and deletes it when destroyed or detached with the flag.
class CClassicArchiveIdState {
public:
    CClassicArchiveIdState() = default;
    CClassicArchiveIdState(const CClassicArchiveIdState&) = delete;
    CClassicArchiveIdState& operator=(const CClassicArchiveIdState&) = delete;
    virtual ~CClassicArchiveIdState() = default;
};

class CClassicArchive {
public:
    // The number families; the binary size of a value is 1, 2 or 4 bytes.
    enum class ENumber : u8 { Byte, Short, UInt, Int, Float, Bool };

    // No stream, no id state, reading, binary.
    CClassicArchive() = default;
    CClassicArchive(const CClassicArchive&) = delete;
    CClassicArchive& operator=(const CClassicArchive&) = delete;
    // Frees the id state, then deletes the stream.
    virtual ~CClassicArchive();

    // A nod reference; nothing here (the archive file gives it its form).
    virtual void ArchiveNodRef(CMwNod*& nod);
    // A nod reference whose holder takes a reference on the nod it reads. Here the same as
    // ArchiveNodRef; the archive file, reading, refuses a nod whose body is still being read,
    // which would hold itself through the holder and never go.
    virtual void ArchiveHeldNodRef(CMwNod*& nod);
    // A file-id reference; nothing here.
    virtual void ArchiveFidRef(CSystemFid*& fid);
    // The current file's name; false here, `out` unchanged.
    virtual bool GetFileName(CClassicWideString& out);

    // Makes the stream the archive's own (deleted with the archive); nothing else changes, not
    // even the stream's position. A stream held before is forgotten, not deleted: swap streams
    // with DetachBuffer first.
    void SetBuffer(CClassicBuffer* stream);
    // Returns the stream and forgets it without deleting it. With freeIdState the id state is
    // freed first; without it the state goes on with the next stream (ids archived after the
    // swap still refer to the names met before it).
    CClassicBuffer* DetachBuffer(bool freeIdState);
    CClassicBuffer* GetBuffer() const { return m_Buffer; }

    // Each family takes the first value and a count; arrays are values one after another. The
    // hex flag chooses "%hx"/"%x" in text form and changes nothing in binary form. In binary
    // form, values that fit the stream's window are copied in place by inlined code; the rest
    // goes through the out-of-line road.
    void WriteBytes(const u8* values, u32 count, bool hex = false) {
        WriteValues(values, count, ENumber::Byte, hex);
    }
    void ReadBytes(u8* values, u32 count, bool hex = false) {
        ReadValues(values, count, ENumber::Byte, hex);
    }
    void SerializeBytes(u8* values, u32 count, bool hex = false) {
        SerializeValues(values, count, ENumber::Byte, hex);
    }
    void WriteShorts(const u16* values, u32 count, bool hex = false) {
        WriteValues(values, count, ENumber::Short, hex);
    }
    void ReadShorts(u16* values, u32 count, bool hex = false) {
        ReadValues(values, count, ENumber::Short, hex);
    }
    void SerializeShorts(u16* values, u32 count, bool hex = false) {
        SerializeValues(values, count, ENumber::Short, hex);
    }
    void WriteUInts(const u32* values, u32 count, bool hex = false) {
        WriteValues(values, count, ENumber::UInt, hex);
    }
    void ReadUInts(u32* values, u32 count, bool hex = false) {
        ReadValues(values, count, ENumber::UInt, hex);
    }
    void SerializeUInts(u32* values, u32 count, bool hex = false) {
        SerializeValues(values, count, ENumber::UInt, hex);
    }
    void WriteUIntsHex(const u32* values, u32 count) { WriteUInts(values, count, true); }
    void ReadUIntsHex(u32* values, u32 count) { ReadUInts(values, count, true); }
    void SerializeUIntsHex(u32* values, u32 count) { SerializeUInts(values, count, true); }
    void WriteInts(const i32* values, u32 count, bool hex = false) {
        WriteValues(values, count, ENumber::Int, hex);
    }
    void ReadInts(i32* values, u32 count, bool hex = false) {
        ReadValues(values, count, ENumber::Int, hex);
    }
    void SerializeInts(i32* values, u32 count, bool hex = false) {
        SerializeValues(values, count, ENumber::Int, hex);
    }
    // Text: "%f" of the value widened to double. Infinities and NaNs are written in the
    // spellings the game always read: "1.#INF00", "-1.#INF00" and "-1.#IND00" (any NaN).
    // Read: the real the line begins with ("1.#INF00" reads as 1, "1 5" as 1).
    void WriteFloats(const f32* values, u32 count) {
        WriteValues(values, count, ENumber::Float, false);
    }
    void ReadFloats(f32* values, u32 count) { ReadValues(values, count, ENumber::Float, false); }
    void SerializeFloats(f32* values, u32 count) {
        SerializeValues(values, count, ENumber::Float, false);
    }
    // 32-bit bools: binary keeps the word; text writes "True" for any non-zero word.
    void WriteBools(const u32* values, u32 count) {
        WriteValues(values, count, ENumber::Bool, false);
    }
    void ReadBools(u32* values, u32 count) { ReadValues(values, count, ENumber::Bool, false); }
    void SerializeBools(u32* values, u32 count) {
        SerializeValues(values, count, ENumber::Bool, false);
    }
    // Text reading keeps a string's text up to its first NUL.
    void WriteStrings(const CClassicString* values, u32 count);
    void ReadStrings(CClassicString* values, u32 count);
    void SerializeStrings(CClassicString* values, u32 count);
    void WriteWideStrings(const CClassicWideString* values, u32 count);
    void ReadWideStrings(CClassicWideString* values, u32 count);
    void SerializeWideStrings(CClassicWideString* values, u32 count);
    void WriteRaw(const void* data, u32 size);
    void ReadRaw(void* data, u32 size);
    void SerializeRaw(void* data, u32 size);
    // Passes over size raw bytes, checked as ReadRaw checks them: a seekable stream moves its
    // position, another is read through a small heap buffer.
    void SkipRaw(u32 size);

    // Text line primitives over the line buffer (GetLine). ReadLine reads one line, of any
    // length up to the string limit, undoing the string escapes; true when it ended with the
    // continuation '|' CR LF. The end of the stream before the line ends is a failure. The
    // value readers and writers do not go through the line buffer when they can do without it:
    // after them it holds no particular text.
    bool ReadLine();
    // Writes the line buffer followed by CR LF.
    void WriteLine();
    CClassicString& GetLine() { return m_Line; }

    // Throws, with a log line, when a size read from the stream is above the limit or, for a
    // stream that knows its size (seekable), above the bytes left. For callers that allocate
    // by a stored size.
    void CheckReadSize(u32 size, u32 limit);

    // The id state (owned by the archive).
    CClassicArchiveIdState* GetIdState() const { return m_IdState; }
    // Takes ownership of a state; a previous one is freed.
    void SetIdState(CClassicArchiveIdState* state);
    void FreeIdState();

    // Nod bodies being read, one inside another (CClassicArchiveBody counts them).
    u32 GetBodyDepth() const { return m_BodyDepth; }

    // The owner sets the direction and the encoding before use.
    i32 m_Writing = 0;
    i32 m_Text = 0;
    // Read by the nod chunk loop to choose the chunks it passes over.
    i32 m_Release = 0;

private:
    friend class CClassicArchiveBody;

    static constexpr u32 SizeOf(ENumber kind) {
        return kind == ENumber::Byte ? 1 : kind == ENumber::Short ? 2 : 4;
    }
    // The binary road of a few values, inlined into the caller: a copy through the stream's
    // window. False when the archive is in text form, has no stream or the window cannot take
    // the bytes; the out-of-line road then does the whole call.
    void WriteValues(const void* values, u32 count, ENumber kind, bool hex) {
        if (m_Text || !m_Buffer || !m_Buffer->WriteInWindow(values, u64(count) * SizeOf(kind)))
            WriteNumbers(values, count, kind, hex);
    }
    void ReadValues(void* values, u32 count, ENumber kind, bool hex) {
        if (m_Text || !m_Buffer || !m_Buffer->ReadInWindow(values, u64(count) * SizeOf(kind)))
            ReadNumbers(values, count, kind, hex);
    }
    void SerializeValues(void* values, u32 count, ENumber kind, bool hex) {
        if (m_Writing)
            WriteValues(values, count, kind, hex);
        else
            ReadValues(values, count, kind, hex);
    }
    void WriteNumbers(const void* values, u32 count, ENumber kind, bool hex);
    void ReadNumbers(void* values, u32 count, ENumber kind, bool hex);

    // One text line as read: its characters (in the stream's window or in the line buffer, valid
    // until the next call on the stream or the line buffer) and whether it ended with the
    // continuation '|' CR LF.
    struct CLineText {
        const char* m_Text;
        u32 m_Length;
        bool m_Continued;
    };
    // A line that lies whole in the stream's window, without escapes, is taken where it lies;
    // any other goes through ReadLineInPieces into the line buffer.
    CLineText NextLine();
    bool ReadLineInPieces();

    CClassicBuffer& Stream();
    void Write(const void* data, u32 size);
    void ReadExact(void* data, u32 size);
    // Reads one line as a 32-bit integer ("%u"/"%d" or "%x" rules, wrapped to 32 bits).
    u32 ReadTextInteger(bool hex);
    void ReadString(CClassicString& value);
    void ReadContinuedString(CClassicString& value, CLineText first, u32 length);
    void ReadBinaryString(CClassicString& value);
    void WriteString(CClassicStringRef value);

    CClassicBuffer* m_Buffer = nullptr;
    CClassicArchiveIdState* m_IdState = nullptr;
    // The text line being read or written; its storage is kept between lines.
    CClassicString m_Line;
    u32 m_BodyDepth = 0;
};

// Counts one nod body being read on the archive for as long as it lives; the count goes down
// again when it ends, also when an exception passes through. Opening a body past
// kClassicArchiveMaxBodyDepth throws CClassicBufferException (kClassicBufferErrorTooDeep), with
// a log line, and counts nothing.
class CClassicArchiveBody {
public:
    explicit CClassicArchiveBody(CClassicArchive& archive);
    ~CClassicArchiveBody() { m_Archive.m_BodyDepth = m_Depth - 1; }
    CClassicArchiveBody(const CClassicArchiveBody&) = delete;
    CClassicArchiveBody& operator=(const CClassicArchiveBody&) = delete;

    // True for a body read inside another one.
    bool IsNested() const { return m_Depth > 1; }

private:
    CClassicArchive& m_Archive;
    u32 m_Depth;
};
