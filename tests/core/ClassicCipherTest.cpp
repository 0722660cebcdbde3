#include "CoreTestSupport.h"
#include "ExternalToolSupport.h"
#include "core/base/ClassicBufferCipher.h"
#include "core/base/ClassicMd5.h"
#include "platform/Crt.h"

#include <bit>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<u8>;

Bytes Content(const CClassicBufferMemory& stream) {
    return Bytes(stream.GetData(), stream.GetData() + stream.GetSize());
}

Bytes RandomData(u32 n, u32 seed) {
    std::mt19937 random(seed);
    Bytes data(n);
    for (u8& b : data) {
        b = u8(random());
    }
    return data;
}

Bytes ExpectedKey(u32 salt, const std::string& password) {
    std::string input(4, '\0');
    for (u32 i = 0; i < 4; ++i) {
        input[i] = char(salt >> (8 * i));
    }
    input += password;
    Bytes key(16);
    ClassicMd5(input.data(), u32(input.size()), key.data());
    return key;
}

// A stream over a memory stream that records the size of every write and takes at most
// `budget` bytes in all.
class CRecordingStream : public CClassicBuffer {
public:
    u32 Read(void* data, u32 n) override { return m_Memory.Read(data, n); }
    u32 Write(const void* data, u32 n) override {
        m_Writes.push_back(n);
        const u32 take = n < m_Budget ? n : m_Budget;
        m_Budget -= take;
        return m_Memory.Write(data, take);
    }
    bool Close() override { return m_Memory.Close(); }
    u32 GetPosition() const override { return m_Memory.GetPosition(); }
    u32 GetSize() const override { return m_Memory.GetSize(); }
    bool CanSeek() const override { return true; }
    void SetPosition(u32 position) override { m_Memory.SetPosition(position); }

    CClassicBufferMemory m_Memory;
    std::vector<u32> m_Writes;
    u32 m_Budget = 0xFFFFFFFF;
};

// The generator behind the salt is the project's 15-bit one: from state 1 it draws
// 41, 18467, 6334, 26500, then 19169, 15724, 11478, 29358, each scaled to a byte.
TEST(ClassicCipher, RandomU32DrawsFourBytesMostSignificantFirst) {
    platform::RandomSetState(1);
    EXPECT_EQ(ClassicRandomU32(), 0x009031CFu);
    EXPECT_EQ(ClassicRandomU32(), 0x957A59E5u);
}

TEST(ClassicCipher, HeaderCarriesMagicVersionAndSalt) {
    platform::RandomSetState(1);
    CClassicBufferMemory inner;
    CClassicBufferCipher cipher;
    ASSERT_TRUE(cipher.Open(&inner, true, 0, nullptr));

    const Bytes header = {'V', 'o', 'r', 'e', 'l', 'F', 'i', 'l', 'e', 1, 0xCF, 0x31, 0x90, 0x00};
    EXPECT_EQ(Content(inner), header);
    EXPECT_EQ(cipher.GetPosition(), 0u);
    EXPECT_EQ(cipher.GetSize(), 0u);
    EXPECT_EQ(Bytes(cipher.m_Key, cipher.m_Key + 16), ExpectedKey(0x009031CF, "Quiet,lamp42!"));
}

TEST(ClassicCipher, MissingPasswordsStandForTheDefault) {
    const u32 salt = 0xA1B2C3D4;
    const Bytes standard = ExpectedKey(salt, "Quiet,lamp42!");
    const struct {
        const char* password;
        Bytes key;
    } cases[] = {
        {nullptr, standard},
        {"", standard},
        {"Quiet,lamp42!", standard},
        {"Quiet,lamp42", ExpectedKey(salt, "Quiet,lamp42")},
        {"secret", ExpectedKey(salt, "secret")},
    };
    for (const auto& c : cases) {
        u8 key[16];
        ClassicDeriveCipherKey(salt, c.password, key);
        EXPECT_EQ(Bytes(key, key + 16), c.key) << (c.password ? c.password : "(null)");
    }
    EXPECT_NE(ExpectedKey(salt, "secret"), standard);
}

// Zeros written through the stream show the key stream: key[p mod 16] rotated left by
// (p / 17) mod 8.
TEST(ClassicCipher, KeyByteRotatesWithThePosition) {
    CClassicBufferMemory inner;
    CClassicBufferCipher cipher;
    ASSERT_TRUE(cipher.Open(&inner, true, 0, "secret"));
    const Bytes zeros(300, 0);
    ASSERT_EQ(cipher.Write(zeros.data(), u32(zeros.size())), 300u);
    const u8* key = cipher.m_Key;
    const struct {
        u32 position;
        u8 expected;
    } cases[] = {
        {0, key[0]},
        {16, key[0]},
        {17, std::rotl(key[1], 1)},
        {135, std::rotl(key[7], 7)},
        {136, key[8]},
        {153, std::rotl(key[9], 1)},
        {299, std::rotl(key[11], 1)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(inner.GetData()[kClassicCipherHeaderSize + c.position], c.expected)
            << "position " << c.position;
    }
}

TEST(ClassicCipher, WritesReachTheInnerStreamInChunksOf256) {
    const Bytes data = RandomData(600, 1);
    const Bytes copy = data;
    CRecordingStream inner;
    CClassicBufferCipher cipher;
    ASSERT_TRUE(cipher.Open(&inner, true, 0, nullptr));
    EXPECT_EQ(cipher.Write(data.data(), 5), 5u);
    EXPECT_EQ(cipher.Write(data.data(), 600), 600u);
    EXPECT_EQ(inner.m_Writes, (std::vector<u32>{14, 5, 256, 256, 88}));
    EXPECT_EQ(data, copy) << "the caller's bytes were changed";
    EXPECT_EQ(cipher.GetPosition(), 605u);
    EXPECT_EQ(cipher.GetSize(), 605u);
}

TEST(ClassicCipher, WriteStopsAtTheFirstShortChunk) {
    const Bytes data = RandomData(600, 2);
    CRecordingStream inner;
    inner.m_Budget = 14 + 300;
    CClassicBufferCipher cipher;
    ASSERT_TRUE(cipher.Open(&inner, true, 0, nullptr));
    EXPECT_EQ(cipher.Write(data.data(), 600), 300u);
    EXPECT_EQ(inner.m_Writes, (std::vector<u32>{14, 256, 256}));
}

TEST(ClassicCipher, PassThroughWritesNoHeaderAndChangesNothing) {
    const Bytes data = RandomData(700, 3);
    CClassicBufferMemory inner;
    CClassicBufferCipher cipher;
    ASSERT_TRUE(cipher.Open(&inner, false, 0, "secret"));
    EXPECT_EQ(cipher.m_HeaderSize, 0);
    EXPECT_EQ(cipher.Write(data.data(), u32(data.size())), 700u);
    EXPECT_EQ(Content(inner), data);
    EXPECT_EQ(cipher.GetPosition(), 700u);
    cipher.SetPosition(100);
    Bytes back(50);
    EXPECT_EQ(cipher.Read(back.data(), 50), 50u);
    EXPECT_EQ(back, Bytes(data.begin() + 100, data.begin() + 150));
}

TEST(ClassicCipher, ReaderDeciphersFromAnyPosition) {
    const Bytes data = RandomData(1000, 4);
    CClassicBufferMemory inner;
    {
        CClassicBufferCipher writer;
        ASSERT_TRUE(writer.Open(&inner, true, 0, "secret"));
        ASSERT_EQ(writer.Write(data.data(), u32(data.size())), 1000u);
        EXPECT_NE(Bytes(inner.GetData() + 14, inner.GetData() + 1014), data);
        EXPECT_TRUE(writer.Close());
    }
    CClassicBufferCipher reader;
    ASSERT_TRUE(reader.OpenForReading(&inner, "secret"));
    EXPECT_EQ(reader.GetSize(), 1000u);
    EXPECT_TRUE(reader.CanSeek());
    const struct {
        u32 position;
        u32 count;
    } reads[] = {{0, 1000}, {500, 100}, {17, 1}, {999, 1}, {133, 300}};
    for (const auto& r : reads) {
        reader.SetPosition(r.position);
        Bytes back(r.count);
        ASSERT_EQ(reader.Read(back.data(), r.count), r.count);
        EXPECT_EQ(back, Bytes(data.begin() + r.position, data.begin() + r.position + r.count))
            << "at " << r.position;
        EXPECT_EQ(reader.GetPosition(), r.position + r.count);
    }

    // The wrong password reads other bytes.
    inner.Rewind();
    CClassicBufferCipher wrong;
    ASSERT_TRUE(wrong.OpenForReading(&inner, nullptr));
    Bytes back(1000);
    ASSERT_EQ(wrong.Read(back.data(), 1000), 1000u);
    EXPECT_NE(back, data);
}

TEST(ClassicCipher, ReaderRefusesWhatIsNotAnEncipheredFile) {
    const std::string good = std::string("VorelFile\x01", 10) + "\x11\x22\x33\x44" + "data";
    const struct {
        const char* name;
        std::string bytes;
        const char* log;
    } cases[] = {
        {"empty", "", "[Cipher] Not an enciphered file: the header is cut short\r\n"},
        {"13 bytes", good.substr(0, 13),
         "[Cipher] Not an enciphered file: the header is cut short\r\n"},
        {"other magic", "VorelFilf" + good.substr(9),
         "[Cipher] Not an enciphered file: no VorelFile magic\r\n"},
        {"version 2", "VorelFile\x02" + good.substr(10),
         "[Cipher] Not an enciphered file: version 2 is not supported\r\n"},
        {"version 0", std::string("VorelFile\0", 10) + good.substr(10),
         "[Cipher] Not an enciphered file: version 0 is not supported\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CClassicBufferMemory inner;
        inner.Write(c.bytes.data(), u32(c.bytes.size()));
        inner.Rewind();
        CClassicBufferCipher cipher;
        CLogWatch log;
        EXPECT_FALSE(cipher.OpenForReading(&inner, nullptr));
        EXPECT_EQ(log.Since(), c.log);
        u8 byte = 0;
        EXPECT_EQ(cipher.Read(&byte, 1), 0u);
        EXPECT_EQ(cipher.GetSize(), 0u);
    }

    CClassicBufferMemory inner;
    inner.Write(good.data(), u32(good.size()));
    inner.Rewind();
    CClassicBufferCipher cipher;
    EXPECT_TRUE(cipher.OpenForReading(&inner, nullptr));
    EXPECT_EQ(cipher.GetSize(), 4u);
}

// Every operation of a stream that was never opened, or whose opening failed, answers without
// touching an inner stream.
TEST(ClassicCipher, OperationsBeforeOpenFailCleanly) {
    CRecordingStream full;
    full.m_Budget = 10; // takes only part of the header
    CClassicBufferCipher neverOpened, noStream, headerRefused;
    CLogWatch log;
    EXPECT_FALSE(noStream.Open(nullptr, true, 0, nullptr));
    EXPECT_FALSE(headerRefused.Open(&full, true, 0, nullptr));
    EXPECT_EQ(log.Since(),
              "[Cipher] Open without a stream\r\n[Cipher] The stream did not take the header\r\n");
    for (CClassicBufferCipher* cipher : {&neverOpened, &noStream, &headerRefused}) {
        u8 bytes[4] = {1, 2, 3, 4};
        EXPECT_EQ(cipher->Read(bytes, 4), 0u);
        EXPECT_EQ(cipher->Write(bytes, 4), 0u);
        EXPECT_EQ(cipher->GetPosition(), 0u);
        EXPECT_EQ(cipher->GetSize(), 0u);
        EXPECT_FALSE(cipher->CanSeek());
        EXPECT_FALSE(cipher->Close());
        EXPECT_EQ(cipher->GetName(), nullptr);
        cipher->SetPosition(7);
        EXPECT_EQ(cipher->m_HeaderSize, -1);
    }
    EXPECT_EQ(full.m_Writes.size(), 1u);
}

// A few lines of Python, knowing only the file format, decipher what the stream wrote; and the
// stream reads back what Python enciphered.
TEST(ClassicCipher, PythonAgreesOnTheFormat) {
    CTempFolder folder;
    const Bytes source = RandomData(5000, 5);
    const std::string sourceText(source.begin(), source.end());
    WriteWholeFile(folder.File("source"), sourceText);
    const struct {
        const char* name;
        const char* password;
    } files[] = {{"default", nullptr}, {"secret", "secret"}};
    platform::RandomSetState(12345);
    for (const auto& f : files) {
        CClassicBufferMemory inner;
        CClassicBufferCipher cipher;
        ASSERT_TRUE(cipher.Open(&inner, true, 0, f.password));
        // Uneven writes: chunking must not show in the bytes.
        ASSERT_EQ(cipher.Write(source.data(), 1000), 1000u);
        ASSERT_EQ(cipher.Write(source.data() + 1000, 4000), 4000u);
        WriteWholeFile(folder.File(std::string(f.name) + ".cry"),
                       std::string(inner.GetData(), inner.GetData() + inner.GetSize()));
    }
    const std::string script = R"(
import hashlib, struct, sys
folder = sys.argv[1]
def rotl(b, n):
    return ((b << n) | (b >> (8 - n))) & 0xFF
def crypt(key, data):
    return bytes(b ^ rotl(key[p % 16], (p // 17) % 8) for p, b in enumerate(data))
for name, password in (("default", b"Quiet,lamp42!"), ("secret", b"secret")):
    blob = open(f"{folder}/{name}.cry", "rb").read()
    assert blob[:10] == b"VorelFile\x01", blob[:10]
    key = hashlib.md5(blob[10:14] + password).digest()
    open(f"{folder}/{name}.txt", "wb").write(crypt(key, blob[14:]))
source = open(f"{folder}/source", "rb").read()
salt = struct.pack("<I", 0x89ABCDEF)
key = hashlib.md5(salt + b"python").digest()
open(f"{folder}/python.cry", "wb").write(b"VorelFile\x01" + salt + crypt(key, source))
print("ok")
)";
    ASSERT_EQ(RunPython(folder, script, folder.Path().string()), "ok\n");
    for (const auto& f : files) {
        EXPECT_EQ(ReadWholeFile(folder.File(std::string(f.name) + ".txt")), sourceText) << f.name;
    }

    const std::string python = ReadWholeFile(folder.File("python.cry"));
    CClassicBufferMemory inner;
    inner.Write(python.data(), u32(python.size()));
    inner.Rewind();
    CClassicBufferCipher reader;
    ASSERT_TRUE(reader.OpenForReading(&inner, "python"));
    Bytes back(source.size());
    ASSERT_EQ(reader.Read(back.data(), u32(back.size())), back.size());
    EXPECT_EQ(back, source);
}

} // namespace
