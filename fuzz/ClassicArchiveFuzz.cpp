// Fuzzes the value archive's readers and the archive form of name ids.
//
// The bytes are read, in the binary and then in the text encoding, as a fixed script of rounds
// (u32, hex u32, i32, u16, bytes, bool, floats, string, wide string, a raw block sized by the
// first word, three name ids) until the stream fails. The rounds read whole are written by a
// second archive and read back by a third, which must succeed and give the same values.
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwId.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr u32 kRounds = 32;
constexpr u32 kMaxRaw = 64;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

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

    void CheckSame(const CRound& other, bool binary) const {
        Check(m_Word == other.m_Word && m_Hex == other.m_Hex && m_Int == other.m_Int);
        Check(std::memcmp(m_Shorts, other.m_Shorts, sizeof(m_Shorts)) == 0);
        Check(std::memcmp(m_Bytes, other.m_Bytes, sizeof(m_Bytes)) == 0);
        Check(m_Bool == other.m_Bool);
        // Text keeps six decimals and reads non-finite values as +-1.
        Check(!binary || std::memcmp(m_Floats, other.m_Floats, sizeof(m_Floats)) == 0);
        Check(m_String.GetLength() == other.m_String.GetLength() &&
              std::memcmp(m_String.GetText(), other.m_String.GetText(), m_String.GetLength()) == 0);
        Check(std::memcmp(m_Raw, other.m_Raw, m_Word % kMaxRaw) == 0);
        for (u32 i = 0; i < 3; ++i) {
            // A name word whose place is empty (made from a number by the oldest form) has no
            // text to write.
            if (!m_Ids[i].IsName() || m_Ids[i].GetChars())
                Check(m_Ids[i] == other.m_Ids[i]);
        }
    }
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

void RunScript(const u8* data, u32 size, i32 text) {
    CArchiveOver reader(data, size, text, 0);
    std::vector<CRound> rounds(kRounds);
    u32 whole = 0;
    try {
        for (; whole < kRounds; ++whole)
            rounds[whole].Serialize(reader.archive);
    } catch (const CClassicBufferException&) {
    }
    Check(reader.Stream().GetPosition() <= size);

    CArchiveOver writer(nullptr, 0, text, 1);
    for (u32 i = 0; i < whole; ++i)
        rounds[i].Serialize(writer.archive);
    CArchiveOver replay(writer.Stream().GetData(), writer.Stream().GetSize(), text, 0);
    for (u32 i = 0; i < whole; ++i) {
        CRound again;
        again.Serialize(replay.archive);
        rounds[i].CheckSame(again, text == 0);
    }
    Check(replay.Stream().GetPosition() == replay.Stream().GetSize());
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
