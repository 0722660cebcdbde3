// The value archive: both encodings, the text line reader, bounds on what a stream may claim,
// the stream swap and golden bytes from Python's struct module.
#include "core/base/ClassicArchive.h"

#include "CoreTestSupport.h"
#include "core/nod/MwId.h"
#include "platform/Crt.h"
#include "platform/Endian.h"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

std::string Content(const CClassicBufferMemory& stream) {
    return std::string(reinterpret_cast<const char*>(stream.GetData()), stream.GetSize());
}

std::string Str(const CClassicString& s) {
    return std::string(s.GetText(), s.GetLength());
}

CClassicString Classic(const std::string& s) {
    return CClassicString(CClassicStringRef(s.data(), u32(s.size())));
}

// A stream that cannot seek and answers a read past its end with fewer bytes (0 at the end)
// instead of throwing, as a file stream outside strict mode does; it takes at most m_Room more
// bytes, as a full disk would. It counts its calls.
class CPlainStream : public CClassicBuffer {
public:
    explicit CPlainStream(std::string data = {}, bool* destroyed = nullptr)
        : m_Data(std::move(data)), m_Destroyed(destroyed) {}
    ~CPlainStream() override {
        if (m_Destroyed)
            *m_Destroyed = true;
    }
    u32 Read(void* data, u32 n) override {
        ++m_Reads;
        n = std::min<u32>(n, u32(m_Data.size()) - m_Position);
        std::memcpy(data, m_Data.data() + m_Position, n);
        m_Position += n;
        return n;
    }
    u32 Write(const void* data, u32 n) override {
        ++m_Writes;
        n = std::min(n, m_Room);
        m_Room -= n;
        m_Data.append(static_cast<const char*>(data), n);
        return n;
    }
    bool Close() override { return true; }
    u32 GetPosition() const override { return m_Position; }
    u32 GetSize() const override { return u32(m_Data.size()); }

    std::string m_Data;
    u32 m_Room = 0xFFFFFFFF;
    u32 m_Position = 0;
    u32 m_Reads = 0;
    u32 m_Writes = 0;

private:
    bool* m_Destroyed;
};

// A stream that shows its bytes through a window of at most `chunk` bytes, moved on by every
// Read as a buffered file stream would: text lines cross the window's end anywhere.
class CChunkStream : public CClassicBuffer {
public:
    CChunkStream(std::string data, u32 chunk) : m_Data(std::move(data)), m_Chunk(chunk) { Show(0); }
    u32 Read(void* data, u32 n) override {
        const u32 position = GetPosition();
        n = std::min<u32>(n, u32(m_Data.size()) - position);
        std::memcpy(data, m_Data.data() + position, n);
        Show(position + n);
        return n;
    }
    u32 Write(const void*, u32) override { return 0; }
    bool Close() override { return true; }
    u32 GetPosition() const override { return m_Start + m_WindowPosition; }
    u32 GetSize() const override { return u32(m_Data.size()); }

private:
    void Show(u32 start) {
        m_Start = start;
        m_WindowData = reinterpret_cast<u8*>(m_Data.data()) + start;
        m_WindowPosition = 0;
        m_WindowSize = std::min<u32>(m_Chunk, u32(m_Data.size()) - start);
    }

    std::string m_Data;
    u32 m_Chunk;
    u32 m_Start = 0;
};

enum class EStream { Memory, Plain };
enum EEncoding : i32 { Binary = 0, Text = 1 };

// An archive over a stream of either kind holding `data`.
struct CArchiveOver {
    CArchiveOver(EStream kind, i32 text, i32 writing, const std::string& data = {}) {
        if (kind == EStream::Memory) {
            auto* memory = new CClassicBufferMemory;
            memory->Write(data.data(), u32(data.size()));
            memory->Rewind();
            archive.SetBuffer(memory);
        } else {
            archive.SetBuffer(new CPlainStream(data));
        }
        archive.m_Text = text;
        archive.m_Writing = writing;
    }
    std::string Written() {
        if (auto* memory = dynamic_cast<CClassicBufferMemory*>(archive.GetBuffer()))
            return Content(*memory);
        return static_cast<CPlainStream*>(archive.GetBuffer())->m_Data;
    }
    CClassicArchive archive;
};

const EStream kStreams[] = {EStream::Memory, EStream::Plain};

std::string StreamName(EStream kind) {
    return kind == EStream::Memory ? "memory stream" : "plain stream";
}

// Every family once, with the same values in the Python golden script below.
void WriteSample(CClassicArchive& a) {
    const u8 bytes[] = {7, 255};
    const u16 shorts[] = {0xBEEF};
    const u32 uints[] = {0xDEADBEEF};
    const i32 ints[] = {-5};
    const f32 floats[] = {1.5f, -0.1f};
    const u32 bools[] = {1, 0};
    const CClassicString strings[] = {"plain", ""};
    const CClassicWideString wides[] = {u"\u00e9t\u00e9", u"ascii"};
    a.WriteBytes(bytes, 2);
    a.WriteShorts(shorts, 1, true);
    a.WriteUInts(uints, 1);
    a.WriteInts(ints, 1);
    a.WriteFloats(floats, 2);
    a.WriteBools(bools, 2);
    a.WriteStrings(strings, 2);
    a.WriteWideStrings(wides, 2);
    a.WriteRaw("RAW", 3);
}

void CheckSample(CClassicArchive& a) {
    u8 bytes[2] = {};
    u16 shorts[1] = {};
    u32 uints[1] = {};
    i32 ints[1] = {};
    f32 floats[2] = {};
    u32 bools[2] = {};
    CClassicString strings[2];
    CClassicWideString wides[2];
    char raw[3] = {};
    a.ReadBytes(bytes, 2);
    a.ReadShorts(shorts, 1, true);
    a.ReadUInts(uints, 1);
    a.ReadInts(ints, 1);
    a.ReadFloats(floats, 2);
    a.ReadBools(bools, 2);
    a.ReadStrings(strings, 2);
    a.ReadWideStrings(wides, 2);
    a.ReadRaw(raw, 3);
    EXPECT_EQ(bytes[0], 7);
    EXPECT_EQ(bytes[1], 255);
    EXPECT_EQ(shorts[0], 0xBEEF);
    EXPECT_EQ(uints[0], 0xDEADBEEFu);
    EXPECT_EQ(ints[0], -5);
    EXPECT_EQ(floats[0], 1.5f);
    // Text keeps six decimals: -0.1f comes back as the float nearest -0.100000.
    EXPECT_EQ(floats[1], -0.1f);
    EXPECT_EQ(bools[0], 1u);
    EXPECT_EQ(bools[1], 0u);
    EXPECT_EQ(Str(strings[0]), "plain");
    EXPECT_EQ(Str(strings[1]), "");
    EXPECT_EQ(wides[0].Compare(u"\u00e9t\u00e9"), 0);
    EXPECT_EQ(wides[1].Compare(u"ascii"), 0);
    EXPECT_EQ(std::string(raw, 3), "RAW");
}

// The id example: the names X, Y and X again.
void ArchiveIds(CClassicArchive& a, CMwId* ids) {
    for (u32 i = 0; i < 3; ++i)
        ids[i].Archive(a);
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

std::string Unhex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

const char kPythonGolden[] = R"(
import struct

def string(b):
    return struct.pack("<I", len(b)) + b

def f32(x):
    return struct.unpack("<f", struct.pack("<f", x))[0]

wide = "\u00e9t\u00e9".encode("utf-8-sig")
binary = b"".join([
    struct.pack("<BB", 7, 255), struct.pack("<H", 0xBEEF), struct.pack("<I", 0xDEADBEEF),
    struct.pack("<i", -5), struct.pack("<ff", 1.5, -0.1), struct.pack("<II", 1, 0),
    string(b"plain"), string(b""), string(wide), string(b"ascii"), b"RAW",
    struct.pack("<II", 3, 0x40000000), string(b"X"), struct.pack("<I", 0x40000000),
    string(b"Y"), struct.pack("<I", 0x40000001),
])
lines = ["%u" % 7, "%u" % 255, "%x" % 0xBEEF, "%u" % 0xDEADBEEF, "%d" % -5,
         "%f" % f32(1.5), "%f" % f32(-0.1), "True", "False", "plain", ""]
text = ("\r\n".join(lines) + "\r\n").encode() + wide + b"\r\nascii\r\nRAW"
text += "".join(s + "\r\n" for s in ["3", "40000000", "X", "40000000", "Y", "40000001"]).encode()
print(binary.hex())
print(text.hex())
)";

// Runs the script with Debian's python3 and returns its output lines.
std::vector<std::string> RunPython(const char* script) {
    const std::string path = testing::TempDir() + "archive_golden.py";
    std::ofstream(path) << script;
    FILE* pipe = popen((std::string(ENGINE_TEST_PYTHON) + " " + path + " 2>&1").c_str(), "r");
    std::string output;
    char chunk[256];
    while (size_t n = fread(chunk, 1, sizeof(chunk), pipe))
        output.append(chunk, n);
    EXPECT_EQ(pclose(pipe), 0) << output;
    std::filesystem::remove(path);
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = output.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(output.substr(at, end - at));
    return lines;
}

TEST(ClassicArchive, BothEncodingsMatchPythonStructGoldenBytes) {
    const std::vector<std::string> golden = RunPython(kPythonGolden);
    ASSERT_EQ(golden.size(), 2u);
    CMwIdTable::Create();
    for (i32 text : {Binary, Text}) {
        SCOPED_TRACE(text ? "text" : "binary");
        CArchiveOver writer(EStream::Memory, text, 1);
        WriteSample(writer.archive);
        CMwId ids[3] = {CMwId::FromName("X"), CMwId::FromName("Y"), CMwId::FromName("X")};
        ArchiveIds(writer.archive, ids);
        EXPECT_EQ(Hex(writer.Written()), golden[text]);

        CArchiveOver reader(EStream::Memory, text, 0, Unhex(golden[text]));
        CheckSample(reader.archive);
        CMwId read[3];
        ArchiveIds(reader.archive, read);
        EXPECT_EQ(read[0], ids[0]);
        EXPECT_EQ(read[1], ids[1]);
        EXPECT_EQ(read[2], ids[0]);
        EXPECT_EQ(reader.archive.GetBuffer()->GetPosition(), golden[text].size() / 2);
    }
    CMwIdTable::Destroy();
}

TEST(ClassicArchive, TextNumberForms) {
    struct Case {
        const char* name;
        void (*write)(CClassicArchive&);
        const char* text;
    };
    const Case cases[] = {
        {"byte",
         [](CClassicArchive& a) {
             const u8 v = 200;
             a.WriteBytes(&v, 1);
         },
         "200"},
        {"byte hex",
         [](CClassicArchive& a) {
             const u8 v = 0xAB;
             a.WriteBytes(&v, 1, true);
         },
         "ab"},
        {"u16",
         [](CClassicArchive& a) {
             const u16 v = 65535;
             a.WriteShorts(&v, 1);
         },
         "65535"},
        {"u32",
         [](CClassicArchive& a) {
             const u32 v = 4294967295u;
             a.WriteUInts(&v, 1);
         },
         "4294967295"},
        {"u32 hex",
         [](CClassicArchive& a) {
             const u32 v = 0x0B005000;
             a.WriteUIntsHex(&v, 1);
         },
         "b005000"},
        {"i32",
         [](CClassicArchive& a) {
             const i32 v = -2147483647 - 1;
             a.WriteInts(&v, 1);
         },
         "-2147483648"},
        {"i32 hex",
         [](CClassicArchive& a) {
             const i32 v = -5;
             a.WriteInts(&v, 1, true);
         },
         "fffffffb"},
        {"bool",
         [](CClassicArchive& a) {
             const u32 v = 7;
             a.WriteBools(&v, 1);
         },
         "True"},
    };
    for (const Case& c : cases) {
        CArchiveOver writer(EStream::Memory, Text, 1);
        c.write(writer.archive);
        EXPECT_EQ(writer.Written(), std::string(c.text) + "\r\n") << c.name;
    }
}

TEST(ClassicArchive, TextFloatsKeepSixDecimalsAndOldNonFiniteSpellings) {
    struct Case {
        f32 value;
        const char* text;
        f32 readBack;
    };
    const f32 inf = std::numeric_limits<f32>::infinity();
    const Case cases[] = {
        {1.5f, "1.500000", 1.5f},
        {0.1f, "0.100000", 0.1f},
        {1e-7f, "0.000000", 0.0f},
        {-3e-6f, "-0.000003", -3e-6f},
        {123456.789f, "123456.789062", 123456.789f},
        {FLT_MAX, "340282346638528859811704183484516925440.000000", FLT_MAX},
        {inf, "1.#INF00", 1.0f},
        {-inf, "-1.#INF00", -1.0f},
        {std::numeric_limits<f32>::quiet_NaN(), "-1.#IND00", -1.0f},
    };
    for (const Case& c : cases) {
        CArchiveOver writer(EStream::Memory, Text, 1);
        writer.archive.WriteFloats(&c.value, 1);
        EXPECT_EQ(writer.Written(), std::string(c.text) + "\r\n");
        CArchiveOver reader(EStream::Memory, Text, 0, writer.Written());
        f32 value = 99;
        reader.archive.ReadFloats(&value, 1);
        EXPECT_EQ(value, c.readBack) << c.text;
    }
}

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char text[128];
    const u32 length = platform::FormatToV(text, sizeof text, format, args);
    va_end(args);
    return std::string(text, length);
}

// Text numbers are formatted without the C formatting, but must give its bytes exactly.
TEST(ClassicArchive, TextNumbersAreExactlyThePrintfForms) {
    const u32 words[] = {0,          1,          9,          10,         99,
                         100,        255,        256,        999,        1000,
                         32767,      32768,      65535,      65536,      99999,
                         100000,     999999999,  1000000000, 2147483647, 2147483648u,
                         4294967295, 0xDEADBEEF, 0x0B005000, 1234567890, 4000000000u};
    CArchiveOver writer(EStream::Memory, Text, 1);
    std::string expected;
    for (u32 word : words) {
        for (bool hex : {false, true}) {
            const u8 byte = u8(word);
            const u16 half = u16(word);
            const i32 signedWord = i32(word);
            writer.archive.WriteBytes(&byte, 1, hex);
            writer.archive.WriteShorts(&half, 1, hex);
            writer.archive.WriteUInts(&word, 1, hex);
            writer.archive.WriteInts(&signedWord, 1, hex);
            expected += Printf(hex ? "%hx\r\n" : "%hu\r\n", u16(byte));
            expected += Printf(hex ? "%hx\r\n" : "%hu\r\n", half);
            expected += Printf(hex ? "%x\r\n" : "%u\r\n", word);
            expected += hex ? Printf("%x\r\n", word) : Printf("%d\r\n", signedWord);
        }
    }
    EXPECT_EQ(writer.Written(), expected);

    // Reals: extremes, both zeros, subnormals, values whose shortest form is not their "%f"
    // (0.1f is 0.100000001490116...), ties at the seventh decimal (k/128 for odd k: printf
    // rounds them to even), roundings that carry into the whole part, and the edge of 2^64
    // where the integer road hands over to the C formatting.
    std::vector<f32> reals = {0.0f,
                              -0.0f,
                              1.0f,
                              -1.0f,
                              0.5f,
                              0.1f,
                              -0.1f,
                              1e-7f,
                              -1e-7f,
                              5e-7f,
                              1e-6f,
                              1.5e-6f,
                              1.0f / 128,
                              3.0f / 128,
                              5.0f / 128,
                              -3.0f / 128,
                              1.0f + 1.0f / 128,
                              0.9999995f,
                              9.9999995f,
                              -999999.9999f,
                              2.0f / 3,
                              3.14159265f,
                              123456.789f,
                              16777216.0f,
                              1e10f,
                              std::bit_cast<f32>(0x5F7FFFFFu), // the largest float below 2^64
                              std::bit_cast<f32>(0x5F800000u), // 2^64
                              std::bit_cast<f32>(0xDF800001u),
                              FLT_MAX,
                              -FLT_MAX,
                              FLT_MIN,
                              -FLT_MIN,
                              std::numeric_limits<f32>::denorm_min(),
                              std::bit_cast<f32>(0x007FFFFFu),
                              std::nextafter(1.0f, 2.0f),
                              std::nextafter(0.5f, 0.0f)};
    // And every exponent with many mantissas: the bit patterns stepped by an odd stride.
    for (u64 bits = 0; bits < 0x100000000u; bits += 0x10001u * 7) {
        const f32 value = std::bit_cast<f32>(u32(bits));
        if (std::isfinite(value))
            reals.push_back(value);
    }
    CArchiveOver realWriter(EStream::Memory, Text, 1);
    realWriter.archive.WriteFloats(reals.data(), u32(reals.size()));
    const std::string written = realWriter.Written();
    size_t at = 0;
    for (f32 value : reals) {
        const std::string line = Printf("%f\r\n", f64(value));
        ASSERT_EQ(written.compare(at, line.size(), line), 0)
            << std::hex << std::bit_cast<u32>(value) << ": " << written.substr(at, 60);
        at += line.size();
    }
    EXPECT_EQ(at, written.size());
}

// A real line reads as the real it begins with: blanks in front skipped, reading stopping at
// the first character that does not fit, never gathering digits from further on.
TEST(ClassicArchive, TextRealLinesReadTheNumberTheyBeginWith) {
    struct Case {
        std::string line;
        f32 value;
        bool logged;
    };
    const f32 inf = std::numeric_limits<f32>::infinity();
    const Case cases[] = {
        {"1 5", 1.0f, false},
        {"  \t2.5", 2.5f, false},
        {"-1.5e2x", -150.0f, false},
        {"1.5d1", 15.0f, false},
        {"1.5D+1", 15.0f, false},
        {"3e", 3.0f, false},
        {"3e+", 3.0f, false},
        {"+.5", 0.5f, false},
        {"5.", 5.0f, false},
        {"1,5", 1.0f, false},
        {"-0 12", -0.0f, false},
        {"0.000000", 0.0f, false},
        {"1e999", inf, false},
        {"1e-999", 0.0f, false},
        {"1.#INF00", 1.0f, false},
        // A line is read up to its first NUL.
        {std::string("12\0"
                     "34",
                     5),
         12.0f, false},
        {std::string("\0"
                     "7",
                     2),
         0.0f, true},
        {"- 5", 0.0f, true},
        {". 5", 0.0f, true},
        {"abc", 0.0f, true},
        {"", 0.0f, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Hex(c.line));
        CArchiveOver reader(EStream::Memory, Text, 0, c.line + "\r\n7.25\r\n");
        CLogWatch log;
        f32 values[2] = {99, 99};
        reader.archive.ReadFloats(values, 2);
        EXPECT_EQ(values[0], c.value);
        EXPECT_EQ(std::signbit(values[0]), std::signbit(c.value));
        EXPECT_EQ(values[1], 7.25f);
        EXPECT_EQ(log.Since().find("[Archive] Text line of") != std::string::npos, c.logged);
    }
}

TEST(ClassicArchive, TextNumberLinesRead) {
    struct Case {
        const char* line;
        bool hex;
        u32 value;
        bool logged;
    };
    const Case cases[] = {
        {"  42", false, 42, false},        {"+42", false, 42, false},
        {"-1", false, 0xFFFFFFFF, false},  {"99999999999", false, 0xFFFFFFFF, false},
        {"12abc", false, 12, false},       {"DEADbeef", true, 0xDEADBEEF, false},
        {"0x1F", true, 0x1F, false},       {"0x", true, 0, false},
        {"abc", false, 0, true},           {"", false, 0, true},
        {"1.#INF00", false, 1, false},     {"1 234", false, 1, false},
        {"-99999999999", false, 1, false}, {"123456789ab", true, 0xFFFFFFFF, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        CArchiveOver reader(EStream::Memory, Text, 0, std::string(c.line) + "\r\n7\r\n");
        CLogWatch log;
        u32 values[2] = {};
        reader.archive.ReadUInts(values, 2, c.hex);
        EXPECT_EQ(values[0], c.value);
        EXPECT_EQ(values[1], 7u);
        EXPECT_EQ(log.Since().find("[Archive] Text line of") != std::string::npos, c.logged);
    }
    // Bytes and shorts keep the low bits; i32 takes the bits of the saturated 32-bit word, like
    // the words it is written from.
    CArchiveOver reader(EStream::Memory, Text, 0,
                        "300\r\n70000\r\n4294967291\r\n99999999999\r\nT\r\nTx\r\n"
                        "true\r\nFalse\r\n\r\n");
    u8 byte = 0;
    u16 word = 0;
    i32 integers[2] = {};
    u32 bools[5] = {9, 9, 9, 9, 9};
    reader.archive.ReadBytes(&byte, 1);
    reader.archive.ReadShorts(&word, 1);
    reader.archive.ReadInts(integers, 2);
    reader.archive.ReadBools(bools, 5);
    EXPECT_EQ(byte, 300 & 0xFF);
    EXPECT_EQ(word, 70000 & 0xFFFF);
    EXPECT_EQ(integers[0], -5);
    EXPECT_EQ(integers[1], -1);
    EXPECT_EQ(std::vector<u32>(bools, bools + 5), (std::vector<u32>{1, 1, 0, 0, 0}));
}

TEST(ClassicArchive, TextStringEscapes) {
    struct Case {
        std::string value;
        std::string text;
        std::string readBack;
    };
    const Case cases[] = {
        {"a|b", "a||b\r\n", "a|b"},
        {"a\r\nb", "a|\r\nb\r\n", "a\r\nb"},
        {"a\nb", "a\nb\r\n", "a\nb"},
        {"a\r", "a\r\r\n", "a\r"},
        {"|\r\n|", "|||\r\n||\r\n", "|\r\n|"},
        {"\r\n\r\n", "|\r\n|\r\n\r\n", "\r\n\r\n"},
        {"", "\r\n", ""},
        // A text line keeps its text up to the first NUL.
        {std::string("ab\0cd", 5), std::string("ab\0cd\r\n", 7), "ab"},
    };
    for (EStream kind : kStreams) {
        for (const Case& c : cases) {
            SCOPED_TRACE(StreamName(kind) + ": " + Hex(c.value));
            CArchiveOver writer(EStream::Memory, Text, 1);
            const CClassicString values[2] = {Classic(c.value), "next"};
            writer.archive.WriteStrings(values, 2);
            EXPECT_EQ(writer.Written(), c.text + "next\r\n");

            CArchiveOver reader(kind, Text, 0, writer.Written());
            CClassicString read[2];
            reader.archive.ReadStrings(read, 2);
            EXPECT_EQ(Str(read[0]), c.readBack);
            EXPECT_EQ(Str(read[1]), "next");
        }
    }
}

// Reads a fixed script of values (string, u32, bool, string, hex u32, real) over and over
// until the stream fails; returns what it read, one value per entry.
std::vector<std::string> ReadScript(CClassicArchive& archive) {
    std::vector<std::string> values;
    try {
        for (u32 step = 0;; ++step) {
            CClassicString text;
            u32 word = 0;
            f32 real = 0;
            switch (step % 6) {
                case 0:
                case 3:
                    archive.ReadStrings(&text, 1);
                    values.push_back(Str(text));
                    break;
                case 1:
                case 4:
                    archive.ReadUInts(&word, 1, step % 6 == 4);
                    values.push_back(std::to_string(word));
                    break;
                case 2:
                    archive.ReadBools(&word, 1);
                    values.push_back(word ? "T" : "F");
                    break;
                default:
                    archive.ReadFloats(&real, 1);
                    values.push_back(Printf("%a", f64(real)));
            }
        }
    } catch (const CClassicBufferException&) {
    }
    return values;
}

// A text line is taken whole from a stream's window when it can be, and a piece at a time
// otherwise (an escape, a lone LF, a window that ends inside the line, a stream without a
// window). Every road gives the same values and stops at the same place.
TEST(ClassicArchive, TextLinesReadTheSameOverEveryKindOfStream) {
    struct Case {
        std::string text;
        std::vector<std::string> values;
    };
    const Case cases[] = {
        {"a|b\r\n12\r\nTrue\r\n", {"ab", "12", "T"}},
        {"a||b\r\n1|2\r\nx\r\n", {"a|b", "12", "F"}},
        {"a|\r\nb\r\n|7\r\n\r\n", {"a\r\nb", "7", "F"}},
        // '|' then an LF after a stored CR ends the line.
        {"a\r|\n 5\r\nT\r\n", {"a", "5", "T"}},
        {"a\nb\r\n\n3\r\n|T\r\n", {"a\nb", "3", "T"}},
        {"a\r\r\n3\r\r\nT\r\n", {"a\r", "3", "T"}},
        // The byte after a continuation's CR is dropped whatever it is.
        {"|\rXy\r\n4\r\nF\r\n", {"\r\ny", "4", "F"}},
        {std::string("ab\0cd\r\n9\0\r\nT\0\r\n", 15), {"ab", "9", "T"}},
        // A continued line read as a number is read as it stands.
        {"||||\r\n|||\r\n1\r\n\r\n", {"||", "0", "F", ""}},
        {std::string(300, 'x') + "|\r\n" + std::string(20, 'y') + "\r\n42\r\nT\r\n",
         {std::string(300, 'x') + "\r\n" + std::string(20, 'y'), "42", "T"}},
        // Ends inside a line or an escape: the values before it only.
        {"abc\r\n6\r\nT\r\nlast|", {"abc", "6", "T"}},
        {"abc\r\n6\r\nT\r\nlast|\r", {"abc", "6", "T"}},
        {"abc\r\n6", {"abc"}},
        {"", {}},
    };
    // Random texts made of the bytes that matter, for the roads to agree on.
    std::vector<std::string> texts;
    for (const Case& c : cases)
        texts.push_back(c.text);
    std::mt19937 random(17);
    const char alphabet[] = {'a', '1', '|', '\r', '\n', '\0', 'T', '.', '5'};
    for (u32 i = 0; i < 400; ++i) {
        std::string text(random() % 64, ' ');
        for (char& c : text)
            c = alphabet[random() % sizeof alphabet];
        texts.push_back(text);
    }
    // Longer lines with few bytes that matter, so that a line's end or an escape falls at every
    // place of a sixteen-byte step of the search, in either half.
    for (u32 i = 0; i < 200; ++i) {
        std::string text(random() % 160, 'x');
        for (char& c : text)
            if (random() % 12 == 0)
                c = alphabet[random() % sizeof alphabet];
        texts.push_back(text);
    }
    for (size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(Hex(texts[i]));
        CArchiveOver memory(EStream::Memory, Text, 0, texts[i]);
        const std::vector<std::string> values = ReadScript(memory.archive);
        if (i < std::size(cases)) {
            EXPECT_EQ(values, cases[i].values);
        }
        const u32 stop = memory.archive.GetBuffer()->GetPosition();
        CArchiveOver plain(EStream::Plain, Text, 0, texts[i]);
        EXPECT_EQ(ReadScript(plain.archive), values);
        EXPECT_EQ(plain.archive.GetBuffer()->GetPosition(), stop);
        for (u32 chunk : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 33u}) {
            SCOPED_TRACE(chunk);
            CClassicArchive chunked;
            chunked.SetBuffer(new CChunkStream(texts[i], chunk));
            chunked.m_Text = Text;
            EXPECT_EQ(ReadScript(chunked), values);
            EXPECT_EQ(chunked.GetBuffer()->GetPosition(), stop);
        }
    }
}

TEST(ClassicArchive, TextLinesOfAnyLengthReadWhole) {
    // Far past the 1999 characters of a fixed line buffer, with an escape across that limit.
    std::string longText(5000, 'x');
    longText[1998] = '|';
    longText += "\r\ntail";
    for (EStream kind : kStreams) {
        SCOPED_TRACE(StreamName(kind));
        CArchiveOver writer(EStream::Memory, Text, 1);
        const CClassicString value = Classic(longText);
        const u32 after = 7;
        writer.archive.WriteStrings(&value, 1);
        writer.archive.WriteUInts(&after, 1);

        CArchiveOver reader(kind, Text, 0, writer.Written());
        CClassicString read;
        u32 number = 0;
        reader.archive.ReadStrings(&read, 1);
        reader.archive.ReadUInts(&number, 1);
        EXPECT_EQ(Str(read), longText);
        EXPECT_EQ(number, 7u);
    }
}

TEST(ClassicArchive, EndOfStreamIsAFailure) {
    struct Case {
        i32 text;
        const char* data;
        u32 size;
    };
    const Case cases[] = {
        {Text, "12", 2},
        {Text, "", 0},
        {Text, "abc|", 4},
        {Text, "abc|\r", 5},
        {Text, "abc\r", 4},
        {Binary, "\x05\x00", 2},
        {Binary,
         "\x05\x00\x00\x00"
         "ab",
         6},
    };
    for (EStream kind : kStreams) {
        for (const Case& c : cases) {
            SCOPED_TRACE(StreamName(kind) + ": " + Hex(std::string(c.data, c.size)));
            CArchiveOver reader(kind, c.text, 0, std::string(c.data, c.size));
            CLogWatch log;
            CClassicString value = "kept";
            EXPECT_THROW(reader.archive.ReadStrings(&value, 1), CClassicBufferException);
            EXPECT_NE(log.Since().find("[Archive] "), std::string::npos);
        }
    }
}

// Skipped bytes are checked like a raw block; a stream that cannot seek is read through.
TEST(ClassicArchive, SkipRawPassesOverExactlyTheBytes) {
    const std::string skipped(10000, 's');
    for (EStream kind : kStreams) {
        SCOPED_TRACE(StreamName(kind));
        CArchiveOver reader(kind, Binary, 0, "ab" + skipped + "XYZ");
        char head[2], tail[3];
        reader.archive.ReadRaw(head, 2);
        reader.archive.SkipRaw(0);
        reader.archive.SkipRaw(u32(skipped.size()));
        reader.archive.ReadRaw(tail, 3);
        EXPECT_EQ(std::string(tail, 3), "XYZ");
        EXPECT_EQ(reader.archive.GetBuffer()->GetPosition(), 10005u);

        // Past the end, and above the limit.
        for (u32 size : {4u, kClassicArchiveMaxRawSize + 1}) {
            CArchiveOver shortOne(kind, Binary, 0, "abc");
            CLogWatch log;
            EXPECT_THROW(shortOne.archive.SkipRaw(size), CClassicBufferException) << size;
            EXPECT_NE(log.Since().find("[Archive] "), std::string::npos);
        }
    }
}

TEST(ClassicArchive, StoredStringLengthsAreBounded) {
    struct Case {
        u32 length;
        i32 code;
    };
    // Past the bytes left, and above the written limit.
    const Case cases[] = {{100, kClassicBufferErrorPastEnd},
                          {kClassicArchiveMaxStringLength + 1, kClassicBufferErrorTooLarge},
                          {0xFFFFFFFF, kClassicBufferErrorTooLarge}};
    for (const Case& c : cases) {
        std::string data(4, '\0');
        platform::StoreU32Le(data.data(), c.length);
        data += "abc";
        CArchiveOver reader(EStream::Memory, Binary, 0, data);
        CClassicString value;
        try {
            reader.archive.ReadStrings(&value, 1);
            ADD_FAILURE() << c.length;
        } catch (const CClassicBufferException& e) {
            EXPECT_EQ(e.m_Code, c.code) << c.length;
        }
        // Refused before the bytes were read.
        EXPECT_EQ(reader.archive.GetBuffer()->GetPosition(), 4u);
        EXPECT_EQ(value.GetCapacity(), 0u);
    }

    // A stream that cannot tell its size: the string grows only with the bytes there.
    std::string data(4, '\0');
    platform::StoreU32Le(data.data(), kClassicArchiveMaxStringLength);
    data += std::string(1000, 'z');
    CArchiveOver reader(EStream::Plain, Binary, 0, data);
    CClassicString value;
    EXPECT_THROW(reader.archive.ReadStrings(&value, 1), CClassicBufferException);
    EXPECT_LE(value.GetCapacity(), 0x10000u);

    // Raw blocks are checked the same way before anything is read.
    CArchiveOver raw(EStream::Memory, Binary, 0, "abc");
    char block[8];
    EXPECT_THROW(raw.archive.ReadRaw(block, 8), CClassicBufferException);
    EXPECT_EQ(raw.archive.GetBuffer()->GetPosition(), 0u);
    EXPECT_THROW(
        raw.archive.CheckReadSize(kClassicArchiveMaxRawSize + 1, kClassicArchiveMaxRawSize),
        CClassicBufferException);
}

TEST(ClassicArchive, WideStringsStoreTheirNarrowUtf8Form) {
    struct Case {
        const char16_t* wide;
        std::string bytes;
    };
    const Case cases[] = {
        {u"abc", std::string("\x03\0\0\0abc", 7)},
        {u"\u00e9", std::string("\x05\0\0\0\xEF\xBB\xBF\xC3\xA9", 9)},
        {u"", std::string(4, '\0')},
    };
    for (const Case& c : cases) {
        CArchiveOver writer(EStream::Memory, Binary, 1);
        const CClassicWideString value = c.wide;
        writer.archive.WriteWideStrings(&value, 1);
        EXPECT_EQ(Hex(writer.Written()), Hex(c.bytes));
        CArchiveOver reader(EStream::Memory, Binary, 0, c.bytes);
        CClassicWideString read = u"old";
        reader.archive.ReadWideStrings(&read, 1);
        EXPECT_EQ(read.Compare(c.wide), 0);
    }
    // Narrow bytes without the BOM widen one character per byte.
    CArchiveOver reader(EStream::Memory, Text, 0, "caf\xE9\r\n");
    CClassicWideString read;
    reader.archive.ReadWideStrings(&read, 1);
    EXPECT_EQ(read.Compare(u"caf\u00e9"), 0);
}

// A record that describes its data once, for both directions.
struct CRecord {
    u8 m_Byte = 0;
    u16 m_Short = 0;
    u32 m_Words[3] = {};
    u32 m_Flags = 0;
    i32 m_Int = 0;
    f32 m_Floats[2] = {};
    u32 m_Bool = 0;
    CClassicString m_Name;
    CClassicWideString m_Title;
    u8 m_Raw[4] = {};

    void Serialize(CClassicArchive& a) {
        a.SerializeBytes(&m_Byte, 1, true);
        a.SerializeShorts(&m_Short, 1);
        a.SerializeUInts(m_Words, 3);
        a.SerializeUIntsHex(&m_Flags, 1);
        a.SerializeInts(&m_Int, 1);
        a.SerializeFloats(m_Floats, 2);
        a.SerializeBools(&m_Bool, 1);
        a.SerializeStrings(&m_Name, 1);
        a.SerializeWideStrings(&m_Title, 1);
        a.SerializeRaw(m_Raw, 4);
    }
};

TEST(ClassicArchive, SerializeWritesThenReadsTheSameRecord) {
    CRecord out;
    out.m_Byte = 0x9C;
    out.m_Short = 1234;
    out.m_Words[0] = 1;
    out.m_Words[1] = 0x80000000;
    out.m_Words[2] = 3;
    out.m_Flags = 0x0B005031;
    out.m_Int = -77;
    out.m_Floats[0] = 0.5f;
    out.m_Floats[1] = -1024.25f;
    out.m_Bool = 1;
    out.m_Name = "Display|Mode\r\nSecond";
    out.m_Title = u"R\u00e9solution";
    std::memcpy(out.m_Raw, "\r\n|\0", 4);
    for (i32 text : {Binary, Text}) {
        SCOPED_TRACE(text);
        CArchiveOver writer(EStream::Memory, text, 1);
        out.Serialize(writer.archive);
        CArchiveOver reader(EStream::Memory, text, 0, writer.Written());
        CRecord in;
        in.Serialize(reader.archive);
        EXPECT_EQ(in.m_Byte, out.m_Byte);
        EXPECT_EQ(in.m_Short, out.m_Short);
        EXPECT_EQ(std::vector<u32>(in.m_Words, in.m_Words + 3),
                  std::vector<u32>(out.m_Words, out.m_Words + 3));
        EXPECT_EQ(in.m_Flags, out.m_Flags);
        EXPECT_EQ(in.m_Int, out.m_Int);
        EXPECT_EQ(in.m_Floats[0], out.m_Floats[0]);
        EXPECT_EQ(in.m_Floats[1], out.m_Floats[1]);
        EXPECT_EQ(in.m_Bool, out.m_Bool);
        EXPECT_EQ(Str(in.m_Name), Str(out.m_Name));
        EXPECT_EQ(in.m_Title.Compare(out.m_Title), 0);
        EXPECT_EQ(std::memcmp(in.m_Raw, out.m_Raw, 4), 0);
        EXPECT_EQ(reader.archive.GetBuffer()->GetPosition(), writer.Written().size());
    }
}

TEST(ClassicArchive, BinaryArraysTakeOneStreamCall) {
    CArchiveOver archive(EStream::Plain, Binary, 1);
    auto* stream = static_cast<CPlainStream*>(archive.archive.GetBuffer());
    std::vector<u32> values(100);
    for (u32 i = 0; i < 100; ++i)
        values[i] = i * 0x01010101u;
    archive.archive.WriteUInts(values.data(), 100);
    EXPECT_EQ(stream->m_Writes, 1u);
    const CClassicString name = "name";
    archive.archive.WriteStrings(&name, 1);
    EXPECT_EQ(stream->m_Writes, 3u);

    std::vector<u32> read(100);
    archive.archive.m_Writing = 0;
    archive.archive.ReadUInts(read.data(), 100);
    EXPECT_EQ(stream->m_Reads, 1u);
    EXPECT_EQ(read, values);
}

// Counts its destructions.
struct CCountedState : CClassicArchiveIdState {
    explicit CCountedState(u32& count) : m_Count(count) {}
    ~CCountedState() override { ++m_Count; }
    u32& m_Count;
};

TEST(ClassicArchive, StreamSwapKeepsOwnershipAndState) {
    bool firstDestroyed = false, secondDestroyed = false;
    u32 statesFreed = 0;
    auto* first = new CPlainStream({}, &firstDestroyed);
    auto* second = new CPlainStream({}, &secondDestroyed);
    {
        CClassicArchive archive;
        archive.m_Writing = 1;
        archive.SetBuffer(first);
        archive.SetIdState(new CCountedState(statesFreed));
        const u32 values[] = {1, 2, 3};
        archive.WriteUInts(&values[0], 1);

        // A chunk written aside: the state goes on with the other stream.
        EXPECT_EQ(archive.DetachBuffer(false), first);
        archive.SetBuffer(second);
        archive.WriteUInts(&values[1], 1);
        EXPECT_EQ(archive.DetachBuffer(false), second);
        EXPECT_NE(archive.GetIdState(), nullptr);
        archive.SetBuffer(first);
        archive.WriteUInts(&values[2], 1);
        EXPECT_EQ(first->m_Data, std::string("\1\0\0\0\3\0\0\0", 8));
        EXPECT_EQ(second->m_Data, std::string("\2\0\0\0", 4));
        EXPECT_FALSE(firstDestroyed || secondDestroyed);
        EXPECT_EQ(statesFreed, 0u);

        // Detaching with the flag frees the state; the archive deletes the stream it holds.
        EXPECT_EQ(archive.DetachBuffer(true), first);
        EXPECT_EQ(statesFreed, 1u);
        EXPECT_EQ(archive.GetIdState(), nullptr);
        archive.SetBuffer(first);
        archive.SetIdState(new CCountedState(statesFreed));

        // The base archive's reference slots write nothing and change nothing.
        CMwNod* nod = reinterpret_cast<CMwNod*>(&archive);
        CSystemFid* fid = nullptr;
        CClassicWideString name = u"kept";
        archive.ArchiveNodRef(nod);
        archive.ArchiveFidRef(fid);
        EXPECT_FALSE(archive.GetFileName(name));
        EXPECT_EQ(nod, reinterpret_cast<CMwNod*>(&archive));
        EXPECT_EQ(first->m_Data.size(), 8u);
    }
    EXPECT_TRUE(firstDestroyed);
    EXPECT_EQ(statesFreed, 2u);
    EXPECT_FALSE(secondDestroyed);
    delete second;
}

// A write that the stream refuses or takes in part fails the archive call, with a log line,
// whatever the value: a writer never goes on past bytes that are missing.
TEST(ClassicArchive, AWriteTheStreamDoesNotTakeWholeIsAFailure) {
    const CClassicString text = "0123456789";
    const u32 numbers[3] = {1, 22, 333};
    const std::pair<const char*, void (*)(CClassicArchive&, const CClassicString&, const u32*)>
        writes[] = {
            {"numbers", [](CClassicArchive& a, const CClassicString&,
                           const u32* values) { a.WriteUInts(values, 3); }},
            {"string", [](CClassicArchive& a, const CClassicString& value,
                          const u32*) { a.WriteStrings(&value, 1); }},
            {"raw", [](CClassicArchive& a, const CClassicString& value,
                       const u32*) { a.WriteRaw(value.GetText(), value.GetLength()); }},
        };
    for (i32 encoding : {Binary, Text}) {
        for (const auto& [name, write] : writes) {
            for (u32 room : {0u, 2u}) {
                SCOPED_TRACE(std::string(name) + (encoding == Text ? " text" : " binary") +
                             ", room " + std::to_string(room));
                CArchiveOver writer(EStream::Plain, encoding, 1);
                static_cast<CPlainStream*>(writer.archive.GetBuffer())->m_Room = room;
                CLogWatch log;
                EXPECT_THROW(write(writer.archive, text, numbers), CClassicBufferException);
                EXPECT_NE(log.Since().find("[Archive] Stream took " + std::to_string(room) + " of"),
                          std::string::npos)
                    << log.Since();
            }
        }
    }
    // A memory stream refuses anything past its limit.
    const u32 limit = SetClassicBufferMemoryLimit(8);
    CArchiveOver writer(EStream::Memory, Binary, 1);
    CLogWatch log;
    EXPECT_THROW(writer.archive.WriteStrings(&text, 1), CClassicBufferException);
    SetClassicBufferMemoryLimit(limit);
    EXPECT_NE(log.Since().find("Memory stream write refused"), std::string::npos) << log.Since();
    EXPECT_NE(log.Since().find("[Archive] Stream took 0 of 10 bytes written at 4"),
              std::string::npos)
        << log.Since();
}

TEST(ClassicArchive, NoStreamIsAFailureNotACrash) {
    CClassicArchive archive;
    u32 value = 0;
    CLogWatch log;
    EXPECT_THROW(archive.ReadUInts(&value, 1), CClassicBufferException);
    archive.m_Text = 1;
    EXPECT_THROW(archive.ReadUInts(&value, 1), CClassicBufferException);
    EXPECT_NE(log.Since().find("[Archive] The archive has no stream"), std::string::npos);
}

} // namespace
