// Text files: the key, the plain and enciphered forms by path and stream, the save beside the
// source with its file id, and the body inside archives.
#include "plug/gpu/PlugFileText.h"

#include "core/base/ClassicBuffer.h"
#include "system/archive/SystemArchive.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFids.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/plug/PlugTestSupport.h"

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

std::string Bytes(std::initializer_list<u8> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// The enciphered files of "abc" and of a 72-byte text, as an independent writer made them.
const std::string kText3 = "abc";
const std::string kCry3 = Bytes(
    {0x03, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x14, 0xcd, 0x82, 0x30, 0x11, 0x00, 0x00});
const std::string kText72 =
    "Line 00 of a program text.\r\nLine 01 of a program text.\r\nLine 02 of "
    "a pro";
const std::string kCry72 =
    Bytes({0x48, 0x00, 0x00, 0x00, 0x4c, 0x00, 0x00, 0x00, 0x59, 0xd2, 0x7c, 0x12, 0x2f, 0x5f,
           0x89, 0x49, 0x17, 0xf1, 0x73, 0x5c, 0x2b, 0x5f, 0xc9, 0x0b, 0x58, 0xf9, 0x67, 0x1d,
           0x27, 0x5f, 0xcd, 0x1c, 0x4f, 0xea, 0x3b, 0x71, 0x40, 0x33, 0xd0, 0x17, 0x52, 0xbe,
           0x25, 0x4d, 0x6a, 0x10, 0xdf, 0x59, 0x56, 0xbe, 0x65, 0x0e, 0x25, 0x18, 0xcb, 0x18,
           0x5a, 0xbe, 0x61, 0x19, 0x32, 0x0b, 0x97, 0x74, 0x3d, 0xd2, 0x7c, 0x12, 0x2f, 0x5f,
           0x89, 0x4b, 0x17, 0xf1, 0x73, 0x5c, 0x2b, 0x5f, 0xc9, 0x0b, 0x58, 0x11, 0x00, 0x00});

std::string TextOf(const CPlugFileText& text) {
    return std::string(text.m_Text.GetText(), text.m_Text.GetLength());
}

CPlugFileText* Text(const CMwNodRef& ref) {
    return static_cast<CPlugFileText*>(ref.Get());
}

// The enciphered form the nod writes to memory.
std::string Enciphered(const std::string& plain) {
    CMwNodRef nod(new CPlugFileText);
    Text(nod)->m_Text.Assign(CClassicStringRef(plain.data(), u32(plain.size())));
    CClassicBufferMemory out;
    EXPECT_TRUE(Text(nod)->WriteCry(out));
    return std::string(reinterpret_cast<const char*>(out.GetData()), out.GetSize());
}

// Sets the text limit while it lives.
struct CTextLimit {
    explicit CTextLimit(u32 bytes) : m_Old(CPlugFileText::SetTextLimit(bytes)) {}
    ~CTextLimit() { CPlugFileText::SetTextLimit(m_Old); }
    CTextLimit(const CTextLimit&) = delete;
    CTextLimit& operator=(const CTextLimit&) = delete;
    u32 m_Old;
};

// A stream that says it holds more bytes than it gives.
class CShortStream final : public CClassicBuffer {
public:
    u32 Read(void* data, u32 n) override {
        const u32 given = std::min<u32>(n, 4);
        std::memset(data, 'x', given);
        return given;
    }
    u32 Write(const void*, u32) override { return 0; }
    bool Close() override { return true; }
    u32 GetPosition() const override { return 0; }
    u32 GetSize() const override { return 10; }
};

class PlugFileText : public CPlugEngineFixture {
protected:
    // Folder entries of GameData, sorted.
    std::vector<std::string> DataNames() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(HostFile("")))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // A text nod bound to the file id of the name in GameData.
    CMwNodRef BoundText(const std::string& name, CSystemFidFile** fid) {
        CMwNodRef nod(new CPlugFileText);
        CSystemFid* found = Engine().GetFileFid(nullptr, Name(name), nullptr);
        EXPECT_TRUE(found && found->IsKindOf(CSystemFidFile::s_ClassId));
        CSystemEngine::AttachNodToFid(nod.Get(), found);
        *fid = static_cast<CSystemFidFile*>(found);
        return nod;
    }
};

// The key is the constant rotated by the length mod 64, little-endian: lengths 8 and 72 share
// one. The whole files of two texts are pinned.
TEST_F(PlugFileText, KeyAndKnownFiles) {
    const struct {
        u32 Length;
        u64 Rotated;
    } keys[] = {
        {0, 0x9E3779B97F4A7C15ull},  {64, 0x9E3779B97F4A7C15ull}, {8, 0x3779B97F4A7C159Eull},
        {72, 0x3779B97F4A7C159Eull}, {1, 0x3C6EF372FE94F82Bull},  {65, 0x3C6EF372FE94F82Bull},
    };
    for (const auto& k : keys) {
        u8 key[8];
        CPlugFileText::MakeTextKey(k.Length, key);
        for (u32 i = 0; i < 8; ++i)
            EXPECT_EQ(key[i], u8(k.Rotated >> (8 * i))) << k.Length << " byte " << i;
    }
    EXPECT_EQ(u32(TextKeyConstant), 0x7F4A7C15u);
    EXPECT_EQ(u32(TextKeyConstant >> 32), 0x9E3779B9u);

    EXPECT_EQ(Enciphered(kText3), kCry3);
    EXPECT_EQ(Enciphered(kText72), kCry72);
    EXPECT_EQ(Enciphered(""), "");
    // Reading the pinned files gives the texts back, and the result is the length.
    for (const auto& [plain, cry] : {std::pair{kText3, kCry3}, std::pair{kText72, kCry72}}) {
        CMwNodRef nod(new CPlugFileText);
        CClassicBufferMemory in;
        in.Write(cry.data(), u32(cry.size()));
        in.Rewind();
        EXPECT_EQ(Text(nod)->ReadCry(in), i32(plain.size()));
        EXPECT_EQ(TextOf(*Text(nod)), plain);
    }
}

// Loading by path: missing and empty files keep the text, ".cry" in any case is the enciphered
// form, and damaged or oversized files answer 0 with the text as it was.
TEST_F(PlugFileText, LoadByPath) {
    std::string truncated = kCry72.substr(0, kCry72.size() - 5);
    // A block of 0 bytes: U = 0 and the three bytes of an empty LZO stream.
    const std::string emptyBlock = Bytes({0, 0, 0, 0, 3, 0, 0, 0, 0x11, 0, 0});
    // A header whose decoded size is above the limit.
    const std::string large = Bytes({0x01, 0x01, 0, 0, 3, 0, 0, 0, 0x11, 0, 0});
    const struct {
        const char* Name;
        const char* Content; // null: no file
        std::string Bytes;
        i32 Result;
        std::string Text;
        bool Logged;
    } cases[] = {
        {"missing.txt", nullptr, "", 0, "old", false},
        {"empty.txt", "", "", 1, "old", false},
        {"empty.cry", "", "", 1, "old", false},
        {"plain.txt", "x", std::string("plain text\r\n\0inside", 20), 1,
         std::string("plain text\r\n\0inside", 20), false},
        {"plain.vhlsl.txt", "x", kCry3, 1, kCry3, false},
        {"lower.cry", "x", kCry3, 3, "abc", false},
        {"UPPER.CRY", "x", kCry72, 72, kText72, false},
        {"Mixed.vhlsl.Cry", "x", kCry3, 3, "abc", false},
        {"truncated.cry", "x", truncated, 0, "old", true},
        {"emptyblock.cry", "x", emptyBlock, 0, "old", false},
        {"short.cry", "x", "abc", 0, "old", true},
        {"large.cry", "x", large, 0, "old", true},
        {"large.txt", "x", std::string(257, 'a'), 0, "old", true},
        {"limit.txt", "x", std::string(256, 'a'), 1, std::string(256, 'a'), false},
    };
    const CTextLimit limit(256);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        if (c.Content)
            WriteWholeFile(HostFile(c.Name), c.Bytes);
        CMwNodRef nod(new CPlugFileText);
        Text(nod)->m_Text.Assign("old");
        CLogWatch log;
        EXPECT_EQ(Text(nod)->LoadFromPath(Name(c.Name)), c.Result);
        EXPECT_EQ(TextOf(*Text(nod)), c.Text);
        EXPECT_EQ(Text(nod)->HasLoadFailed(), c.Result == 0);
        EXPECT_EQ(!log.Since().empty(), c.Logged) << log.Since();
    }
}

// A stream that gives fewer bytes than its size leaves the text as it was; so does a strict
// memory stream read past its end.
TEST_F(PlugFileText, ShortReadKeepsTheText) {
    CMwNodRef nod(new CPlugFileText);
    Text(nod)->m_Text.Assign("kept");
    CShortStream stream;
    EXPECT_EQ(Text(nod)->ReadFromStream(stream), 0);
    EXPECT_EQ(TextOf(*Text(nod)), "kept");

    CClassicBufferMemory memory;
    memory.Write("abcdef", 6);
    memory.SetPosition(2);
    EXPECT_EQ(Text(nod)->ReadFromStream(memory), 1);
    EXPECT_EQ(TextOf(*Text(nod)), "cdef");
    // A header cut short in a strict stream.
    CClassicBufferMemory header;
    header.Write("\x03\0\0", 3);
    header.Rewind();
    EXPECT_EQ(Text(nod)->ReadCry(header), 0);
    EXPECT_EQ(TextOf(*Text(nod)), "cdef");
}

// Saving a nod loaded from "x.vhlsl.txt" writes "x.vhlsl.cry" beside it, leaves the source
// untouched, renames the bound file id and reads back the same text; an independent reader
// agrees, and a file it enciphers loads to the same text.
TEST_F(PlugFileText, SaveBesideTheSource) {
    const std::string source = "float4 vsMain() : POSITION { return 0; }\r\n// DZunA;\r\n";
    WriteWholeFile(HostFile("x.vhlsl.txt"), source);
    CSystemFidFile* fid = nullptr;
    CMwNodRef nod = BoundText("x.vhlsl.txt", &fid);
    ASSERT_EQ(Text(nod)->LoadFromPath(Name("x.vhlsl.txt")), 1);
    ASSERT_EQ(Text(nod)->SaveToPath(Name("x.vhlsl.txt")), 1);

    EXPECT_EQ(ReadWholeFile(HostFile("x.vhlsl.txt")), source);
    EXPECT_EQ(DataNames(), (std::vector<std::string>{"x.vhlsl.cry", "x.vhlsl.txt"}));
    EXPECT_EQ(Narrow(fid->m_FileName), "x.vhlsl.cry");
    EXPECT_EQ(nod->GetFid(), fid);
    EXPECT_EQ(TextOf(*Text(nod)), source);

    CMwNodRef back(new CPlugFileText);
    EXPECT_EQ(Text(back)->LoadFromPath(Name("x.vhlsl.cry")), i32(source.size()));
    EXPECT_EQ(TextOf(*Text(back)), source);

    const std::string tool = std::string(ENGINE_TEST_PYTHON) + " " + ENGINE_TEST_SOURCE_DIR +
                             "/tests/plug/gpu/cry_file.py ";
    RunCommand(tool + "read " + HostFile("x.vhlsl.cry") + " " + m_Temp.File("read.txt"));
    EXPECT_EQ(ReadWholeFile(m_Temp.File("read.txt")), source);
    const std::string other(5000, 'q');
    WriteWholeFile(m_Temp.File("other.txt"), other + "tail");
    RunCommand(tool + "write " + m_Temp.File("other.txt") + " " + HostFile("other.cry"));
    EXPECT_EQ(Text(back)->LoadFromPath(Name("other.cry")), 5004);
    EXPECT_EQ(TextOf(*Text(back)), other + "tail");
}

// The last extension becomes ".cry"; an empty text is an empty file.
TEST_F(PlugFileText, SavedNames) {
    const struct {
        const char* Path;
        const char* Saved;
        const char* Text;
    } cases[] = {
        {"a", "a.cry", "one"},
        {"b.cry", "b.cry", "two"},
        {"c.psh.TXT", "c.psh.cry", "three"},
        {"d.txt", "d.cry", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Path);
        CMwNodRef nod(new CPlugFileText);
        Text(nod)->m_Text.Assign(c.Text);
        ASSERT_EQ(Text(nod)->SaveToPath(Name(c.Path)), 1);
        EXPECT_EQ(ReadWholeFile(HostFile(c.Saved)), Enciphered(c.Text));
    }
    EXPECT_EQ(DataNames(), (std::vector<std::string>{"a.cry", "b.cry", "c.psh.cry", "d.cry"}));
}

// A save that cannot put its file in place answers 0, keeps the old file and the binding, and
// leaves no temporary file; writing through a stream fails.
TEST_F(PlugFileText, FailedSavesChangeNothing) {
    CSystemFidFile* fid = nullptr;
    CMwNodRef nod = BoundText("r.txt", &fid);
    Text(nod)->m_Text.Assign("new text");
    WriteWholeFile(HostFile("r.cry"), "old bytes");
    ASSERT_EQ(chmod(HostFile("r.cry").c_str(), 0444), 0);
    EXPECT_EQ(Text(nod)->SaveToPath(Name("r.txt")), 0);
    EXPECT_EQ(ReadWholeFile(HostFile("r.cry")), "old bytes");
    EXPECT_EQ(Narrow(fid->m_FileName), "r.txt");
    EXPECT_EQ(nod->GetFid(), fid);

    EXPECT_EQ(Text(nod)->SaveToPath(Name("missing/r.txt")), 0);
    EXPECT_EQ(Narrow(fid->m_FileName), "r.txt");
    EXPECT_EQ(DataNames(), std::vector<std::string>{"r.cry"});
    EXPECT_EQ(TextOf(*Text(nod)), "new text");

    CClassicBufferMemory stream;
    EXPECT_EQ(Text(nod)->WriteToStream(stream), 0);
    EXPECT_EQ(Text(nod)->SaveToPath(Name("r.txt")), 0);
}

// When the folder already knows the ".cry" name, the nod is bound to that file id; the source's
// file id keeps its name and lets the nod go.
TEST_F(PlugFileText, SaveBindsToTheKnownFileId) {
    CSystemFidFile* source = nullptr;
    CMwNodRef nod = BoundText("t.text.txt", &source);
    CSystemFid* known = Engine().GetFileFid(nullptr, Name("t.text.cry"), nullptr);
    ASSERT_NE(known, nullptr);
    Text(nod)->m_Text.Assign("bound");
    ASSERT_EQ(Text(nod)->SaveToPath(Name("t.text.txt")), 1);
    EXPECT_EQ(nod->GetFid(), known);
    EXPECT_EQ(known->m_Nod, nod.Get());
    EXPECT_EQ(source->m_Nod, nullptr);
    EXPECT_EQ(Narrow(source->m_FileName), "t.text.txt");
    EXPECT_EQ(Engine().GetDataFolder()->FindFid(u"t.text.cry", false), known);
}

// A text stored inside an archive, in both encodings, comes back byte for byte.
TEST_F(PlugFileText, ArchiveBodies) {
    const std::string original = "line one\r\n\tline two\r\nlast | line";
    WriteWholeFile(m_Temp.File("original.txt"), original);
    for (u32 flags : {kSystemArchiveSaveRelease, kSystemArchiveSaveRelease | kSystemArchiveSaveText,
                      kSystemArchiveSaveRelease | kSystemArchiveSaveCompressed}) {
        SCOPED_TRACE(flags);
        CMwNodRef nod(new CPlugFileText);
        ASSERT_EQ(Text(nod)->LoadFromPath(m_Temp.Engine("original.txt")), 1);
        CClassicBufferMemory image;
        CSystemArchive saver;
        ASSERT_EQ(saver.SaveToMemory(&image, nod.Get(), flags), 1);
        Engine().ReleaseMemoryFid(&image);
        CMwNod* out = nullptr;
        ASSERT_EQ(LoadNodFromMemoryBuffer(&image, &out), 1);
        const CMwNodRef loaded(out);
        ASSERT_TRUE(out->IsKindOf(CPlugFileText::s_ClassId));
        WriteWholeFile(m_Temp.File("back.txt"), TextOf(*Text(loaded)));
        RunCommand("cmp " + m_Temp.File("original.txt") + " " + m_Temp.File("back.txt"));
    }
}

} // namespace
