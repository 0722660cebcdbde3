// Fuzzes the value archive's readers and the archive form of name ids.
//
// The bytes are read, in the binary and then in the text encoding, as a fixed script of rounds
// (u32, hex u32, i32, u16, bytes, bool, floats, string, wide string, a raw block sized by the
// first word, three name ids) until the stream fails. They are read twice: from a memory stream
// (text lines scanned in place, stored sizes checked against the bytes left) and from a stream
// that cannot seek (text lines read a byte per call, binary strings read in pieces), which must
// read the same rounds whole with the same values. The rounds read whole are written by a
// second archive and read back by a third, which must succeed and give the same values.
#include "FuzzCheck.h"
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwId.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr u32 kRounds = 32;
constexpr u32 kMaxRaw = 64;

struct CRound {
    u32 m_Word = 0;
    u32 m_Hex = 0;
    i32 m_Int = 0;
    u16 m_Shorts[2] = {};
    u8 m_Bytes[3] = {};
    u32 m_Bool = 0;
    f32 m_Floats[2] = {};
    CClassicString m_String;
    CClassicWideString m_Wide;
    u8 m_Raw[kMaxRaw] = {};
    CMwId m_Ids[3];

    void Serialize(CClassicArchive& a) {
        a.SerializeUInts(&m_Word, 1);
        a.SerializeUIntsHex(&m_Hex, 1);
        a.SerializeInts(&m_Int, 1, m_Word % 2 != 0);
        a.SerializeShorts(m_Shorts, 2);
        a.SerializeBytes(m_Bytes, 3, m_Word % 3 == 0);
        a.SerializeBools(&m_Bool, 1);
        a.SerializeFloats(m_Floats, 2);
        a.SerializeStrings(&m_String, 1);
        a.SerializeWideStrings(&m_Wide, 1);
        a.SerializeRaw(m_Raw, m_Word % kMaxRaw);
        for (CMwId& id : m_Ids) {
            id.Archive(a);
            id.ToString();
        }
    }

    // Two reads of the same bytes give the same values exactly. A round trip through a write
    // keeps the floats' bits only in binary (text keeps six decimals and reads non-finite values
    // as +-1), and a wide string's text up to its first NUL (a wide string is stored as its
    // UTF-8 text, which ends there).
    void CheckSame(const CRound& other, bool sameBytes, bool binary) const {
        FUZZ_CHECK(m_Word == other.m_Word && m_Hex == other.m_Hex && m_Int == other.m_Int);
        FUZZ_CHECK(std::memcmp(m_Shorts, other.m_Shorts, sizeof(m_Shorts)) == 0);
        FUZZ_CHECK(std::memcmp(m_Bytes, other.m_Bytes, sizeof(m_Bytes)) == 0);
        FUZZ_CHECK(m_Bool == other.m_Bool);
        FUZZ_CHECK(!(sameBytes || binary) ||
                   std::memcmp(m_Floats, other.m_Floats, sizeof(m_Floats)) == 0);
        FUZZ_CHECK(
            m_String.GetLength() == other.m_String.GetLength() &&
            std::memcmp(m_String.GetText(), other.m_String.GetText(), m_String.GetLength()) == 0);
        const u32 wide = sameBytes ? m_Wide.GetLength()
                                   : ClassicTextLength(m_Wide.GetText(), m_Wide.GetLength());
        FUZZ_CHECK(wide == other.m_Wide.GetLength() &&
                   std::memcmp(m_Wide.GetText(), other.m_Wide.GetText(), wide * sizeof(char16_t)) ==
                       0);
        FUZZ_CHECK(std::memcmp(m_Raw, other.m_Raw, m_Word % kMaxRaw) == 0);
        for (u32 i = 0; i < 3; ++i) {
            // A name word whose place is empty (made from a number by the oldest form) has no
            // text to write.
            if (!m_Ids[i].IsName() || m_Ids[i].GetChars())
                FUZZ_CHECK(m_Ids[i] == other.m_Ids[i]);
        }
    }
};

// A stream over bytes that cannot seek, as a file or network stream: a read past the end gives
// fewer bytes, or with `strict` throws as a strict file stream does.
class CByteStream : public CClassicBuffer {
public:
    CByteStream(const u8* data, u32 size, bool strict)
        : m_Data(data), m_Size(size), m_Strict(strict) {}
    u32 Read(void* data, u32 n) override {
        const u32 left = m_Size - m_Position;
        if (n > left) {
            if (m_Strict)
                throw CClassicBufferException(kClassicBufferErrorPastEnd);
            n = left;
        }
        if (n != 0)
            std::memcpy(data, m_Data + m_Position, n);
        m_Position += n;
        return n;
    }
    u32 Write(const void*, u32) override { return 0; }
    bool Close() override { return true; }
    u32 GetPosition() const override { return m_Position; }
    u32 GetSize() const override { return m_Size; }

private:
    const u8* m_Data;
    u32 m_Size;
    u32 m_Position = 0;
    bool m_Strict;
};

// An archive over a memory stream holding the bytes.
struct CArchiveOver {
    CArchiveOver(const void* data, u32 size, i32 text, i32 writing) {
        auto* stream = new CClassicBufferMemory;
        stream->Write(data, size);
        stream->Rewind();
        archive.SetBuffer(stream);
        archive.m_Text = text;
        archive.m_Writing = writing;
    }
    CClassicBufferMemory& Stream() {
        return *static_cast<CClassicBufferMemory*>(archive.GetBuffer());
    }
    CClassicArchive archive;
};

// Reads rounds until the stream fails; returns the number read whole.
u32 ReadRounds(CClassicArchive& archive, std::vector<CRound>& rounds) {
    u32 whole = 0;
    try {
        for (; whole < kRounds; ++whole)
            rounds[whole].Serialize(archive);
    } catch (const CClassicBufferException&) {
    }
    return whole;
}

void RunScript(const u8* data, u32 size, i32 text) {
    CArchiveOver reader(data, size, text, 0);
    std::vector<CRound> rounds(kRounds);
    const u32 whole = ReadRounds(reader.archive, rounds);
    FUZZ_CHECK(reader.Stream().GetPosition() <= size);

    CClassicArchive streamReader;
    auto* stream = new CByteStream(data, size, size % 2 == 0);
    streamReader.SetBuffer(stream);
    streamReader.m_Text = text;
    std::vector<CRound> streamed(kRounds);
    FUZZ_CHECK(ReadRounds(streamReader, streamed) == whole);
    for (u32 i = 0; i < whole; ++i)
        rounds[i].CheckSame(streamed[i], true, text == 0);
    FUZZ_CHECK(stream->GetPosition() <= size);

    CArchiveOver writer(nullptr, 0, text, 1);
    for (u32 i = 0; i < whole; ++i)
        rounds[i].Serialize(writer.archive);
    CArchiveOver replay(writer.Stream().GetData(), writer.Stream().GetSize(), text, 0);
    for (u32 i = 0; i < whole; ++i) {
        CRound again;
        again.Serialize(replay.archive);
        rounds[i].CheckSame(again, false, text == 0);
    }
    FUZZ_CHECK(replay.Stream().GetPosition() == replay.Stream().GetSize());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Failure lines are still composed, but not kept: the in-memory log would grow for the
    // whole run.
    g_ClassicLog.m_PrimarySink = nullptr;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size > 1u << 16) {
        return 0;
    }
    // A pool per input, so that names of earlier inputs neither fill it nor change the places.
    CMwIdTable::Create();
    RunScript(data, u32(size), 0);
    RunScript(data, u32(size), 1);
    CMwIdTable::Destroy();
    return 0;
}
