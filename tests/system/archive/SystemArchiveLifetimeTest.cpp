// What a load owns: the nods it creates and loads live while it runs and are owned or gone when it
// ends; a nod never holds itself through a body; failed saves are not taken for images; the
// folders a table names stay inside the file's own area and on its drive.
#include "core/nod/MwRefBuffer.h"
#include "system/config/SystemConfig.h"
#include "system/config/SystemConfigFile.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFids.h"
#include "tests/system/archive/ArchiveTestSupport.h"

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using SystemArchiveLifetime = ArchiveEngineFixture;

// Class ids as the text encoding writes them ("%x") and reads accepted classes ("%u").
constexpr const char* kRefBufferHex = "1026000";
constexpr const char* kAnyNod = "16781312";       // CMwNod
constexpr const char* kFileIdsOnly = "184582144"; // CSystemFid

// A text archive of version 6, release, without blob, whose main nod is of the class given: the
// header, then one line per value (the reference table first).
std::string TextArchive(const std::string& mainClassHex, u32 nodeCount,
                        const std::vector<std::string>& lines) {
    std::string text("ZUN\x06\x00TUUR", 9);
    for (const std::string& line : {mainClassHex, std::string("0"), std::to_string(nodeCount)})
        text += line + "\r\n";
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

// The lines of a reference buffer's chunk before its nod references.
std::vector<std::string> BufferChunk(const char* accepted, bool holds, u32 count) {
    return {kRefBufferHex, accepted, holds ? "True" : "False", "10", std::to_string(count)};
}

const std::vector<std::string> kNoReferences = {"0"};

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> lines;
    for (const auto& part : parts)
        lines.insert(lines.end(), part.begin(), part.end());
    return lines;
}

CMwRefBuffer* Buffer(CMwNod* nod) {
    return nod && nod->IsKindOf(CMwRefBuffer::s_ClassId) ? static_cast<CMwRefBuffer*>(nod)
                                                         : nullptr;
}

// Loads the named file of the data folder through the folder tree (null on failure).
CMwNodRef LoadFile(const CClassicWideString& name) {
    CSystemArchive archive;
    CMwNod* out = nullptr;
    const i32 result = archive.LoadNodFromFile(name, &out, nullptr, kSystemArchiveLoadFull, true);
    EXPECT_EQ(result == 1, out != nullptr);
    return CMwNodRef(out);
}

// The live nods, once the loader of referenced files (made on first use, then kept) is there.
u32 LiveNodsOnceLoading() {
    CSystemDummyFidLoader::Get();
    return CMwNod::GetLiveNodCount();
}

// Damaged configurations made of reference buffers, as they reach the launcher: whatever a body
// does with the nods it lists, no node index hands out a freed nod, no nod holds itself, and
// every nod the load made is owned or gone when it ends.
TEST_F(SystemArchiveLifetime, BodiesOfReferenceBuffers) {
    struct Case {
        const char* Name;
        std::string Text;
        // Loaded (a buffer holding this many nods), or failed with the line.
        bool Loads;
        u32 Count;
        const char* Line;
    };
    const std::string refused = "holding reference to a nod whose body is still being read (0)";
    const Case cases[] = {
        // An inline buffer listed, let go by the same chunk read again, then listed by its index.
        {"a nod let go and listed again",
         TextArchive(kRefBufferHex, 2,
                     Join({kNoReferences,
                           BufferChunk(kAnyNod, true, 1),
                           {"1", kRefBufferHex, "facade01"},
                           BufferChunk(kAnyNod, true, 0),
                           BufferChunk(kAnyNod, true, 1),
                           {"1", "facade01"}})),
         true, 1, nullptr},
        // The main buffer holds itself, then lets itself go while its body is read.
        {"the main nod listing itself, then nothing",
         TextArchive(kRefBufferHex, 1,
                     Join({kNoReferences,
                           BufferChunk(kAnyNod, true, 1),
                           {"0"},
                           BufferChunk(kAnyNod, true, 0),
                           {"facade01"}})),
         false, 0, refused.c_str()},
        {"the main nod listing itself",
         TextArchive(kRefBufferHex, 1,
                     Join({kNoReferences, BufferChunk(kAnyNod, true, 1), {"0", "facade01"}})),
         false, 0, refused.c_str()},
        // An inline nod of a class the buffer does not accept is dropped: nobody holds it.
        {"an inline nod dropped",
         TextArchive(kRefBufferHex, 2,
                     Join({kNoReferences,
                           BufferChunk(kFileIdsOnly, true, 1),
                           {"1", kRefBufferHex, "facade01", "facade01"}})),
         true, 0, "stored nods are not of the accepted class"},
        // Without a hold, the main nod may be listed.
        {"the main nod listed without a hold",
         TextArchive(kRefBufferHex, 1,
                     Join({kNoReferences, BufferChunk(kAnyNod, false, 1), {"0", "facade01"}})),
         true, 1, nullptr},
    };
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string file = "Damaged" + std::to_string(++number) + ".SystemConfig.Zun";
        WriteWholeFile(HostFile(file), c.Text);
        // The file id stays in the tree whatever the load gives.
        ASSERT_NE(Engine().GetFileFid(nullptr, Name(file), nullptr), nullptr);
        const u32 before = CMwNod::GetLiveNodCount();
        {
            CLogWatch log;
            const CMwNodRef loaded = LoadFile(Name(file));
            ASSERT_EQ(loaded.Get() != nullptr, c.Loads) << log.Since();
            if (c.Loads) {
                ASSERT_NE(Buffer(loaded.Get()), nullptr);
                EXPECT_EQ(Buffer(loaded.Get())->GetCount(), c.Count);
            } else {
                EXPECT_NE(log.Since().find("not loaded: damaged"), std::string::npos)
                    << log.Since();
            }
            if (c.Line) {
                EXPECT_NE(log.Since().find(c.Line), std::string::npos) << log.Since();
            }
        }
        EXPECT_EQ(CMwNod::GetLiveNodCount(), before);

        // The configuration's road: the defaults, with a line that says why.
        CLogWatch log;
        bool loaded = true;
        CSystemConfig* config = LoadSystemConfig(Name(file), nullptr, &loaded);
        EXPECT_FALSE(loaded);
        ASSERT_NE(config, nullptr);
        config->Release();
        EXPECT_NE(log.Since().find(c.Loads ? "[Sys] Not a configuration file: " : "not loaded"),
                  std::string::npos)
            << log.Since();
        EXPECT_EQ(CMwNod::GetLiveNodCount(), before);
    }
}

// A file whose references loaded other files and whose body then fails takes those files' nods
// with it, also the ones only its own nods held.
TEST_F(SystemArchiveLifetime, FailedLoadFreesTheFilesItLoaded) {
    {
        CMwNodRef part(new CArchiveTestNod);
        CMwNodRef inner(new CArchiveTestNod);
        static_cast<CArchiveTestNod*>(inner.Get())->Link(part.Get());
        CMwNodRef main(new CArchiveTestNod);
        static_cast<CArchiveTestNod*>(main.Get())->Link(part.Get())->Link(inner.Get());
        for (auto [nod, file] : {std::pair{part.Get(), "Parts/Part.Thing.Zun"},
                                 std::pair{inner.Get(), "Parts/Inner.Thing.Zun"},
                                 std::pair{main.Get(), "Main.Thing.Zun"}}) {
            CSystemArchive saver;
            ASSERT_EQ(saver.SaveNodToFile(Name(file), nod, nullptr, 0, 7, false, true), 1);
        }
    }
    // The main file's body, cut after its first chunk id: the nods it would hold are not read.
    const std::string whole = ReadWholeFile(HostFile("Main.Thing.Zun"));
    const std::string chunk = "b0f0000\r\n";
    const size_t body = whole.find(chunk, whole.find(chunk) + 1);
    ASSERT_NE(body, std::string::npos) << whole;
    WriteWholeFile(HostFile("Main.Thing.Zun"), whole.substr(0, body + chunk.size()));
    CSystemFid* part = Engine().GetFileFid(nullptr, Name("Parts/Part.Thing.Zun"), nullptr);
    CSystemFid* inner = Engine().GetFileFid(nullptr, Name("Parts/Inner.Thing.Zun"), nullptr);
    ASSERT_EQ(part->m_Nod, nullptr);
    ASSERT_EQ(inner->m_Nod, nullptr);
    const u32 before = LiveNodsOnceLoading();
    CLogWatch log;
    EXPECT_FALSE(LoadFile(Name("Main.Thing.Zun")));
    EXPECT_NE(log.Since().find("not loaded: damaged"), std::string::npos) << log.Since();
    EXPECT_EQ(part->m_Nod, nullptr);
    EXPECT_EQ(inner->m_Nod, nullptr);
    EXPECT_EQ(CMwNod::GetLiveNodCount(), before);

    // Whole, it loads with both files, held by the nods that link them, and all go together.
    WriteWholeFile(HostFile("Main.Thing.Zun"), whole);
    {
        const CMwNodRef main = LoadFile(Name("Main.Thing.Zun"));
        ASSERT_TRUE(main);
        ASSERT_NE(part->m_Nod, nullptr);
        ASSERT_NE(inner->m_Nod, nullptr);
        EXPECT_EQ(part->m_Nod->GetRefCount(), 2);
        EXPECT_EQ(inner->m_Nod->GetRefCount(), 1);
    }
    EXPECT_EQ(part->m_Nod, nullptr);
    EXPECT_EQ(CMwNod::GetLiveNodCount(), before);
}

// A bitmap T, a buffer B that lists T without holding it, and a buffer O that holds T then B,
// each saved by the engine: loading O loads T, then B (whose body sees T), then reads O's body,
// which meets T again: T stays alive for all of them.
TEST_F(SystemArchiveLifetime, ReferencedNodsOutliveTheLoadsThatHoldThem) {
    {
        CMwNodRef t(new CArchiveTestBitmap);
        CMwNodRef b(new CMwRefBuffer);
        CMwNodRef o(new CMwRefBuffer);
        ASSERT_TRUE(Buffer(b.Get())->SetHoldsReferences(false));
        Buffer(b.Get())->Add(t.Get());
        Buffer(o.Get())->Add(t.Get());
        Buffer(o.Get())->Add(b.Get());
        for (auto [nod, file] :
             {std::pair{t.Get(), "Parts/T.Thing.Zun"}, std::pair{b.Get(), "Parts/B.Thing.Zun"},
              std::pair{o.Get(), "O.Thing.Zun"}}) {
            CSystemArchive saver;
            ASSERT_EQ(saver.SaveNodToFile(Name(file), nod, nullptr, 0, 7, false, true), 1);
        }
    }
    const u32 before = LiveNodsOnceLoading();
    {
        const CMwNodRef o = LoadFile(Name("O.Thing.Zun"));
        ASSERT_NE(Buffer(o.Get()), nullptr);
        ASSERT_EQ(Buffer(o.Get())->GetCount(), 2u);
        CMwNod* t = Buffer(o.Get())->GetNod(0);
        EXPECT_TRUE(t->IsKindOf(CArchiveTestBitmap::s_ClassId));
        EXPECT_EQ(t->GetRefCount(), 1);
        CMwRefBuffer* b = Buffer(Buffer(o.Get())->GetNod(1));
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->GetNod(0), t);
    }
    EXPECT_EQ(CMwNod::GetLiveNodCount(), before);
}

// A copy or a comparison needs both images: a save that fails is never compared or read back.
using SystemArchiveCopies = ArchiveFixture;

TEST_F(SystemArchiveCopies, FailedSavesAreNeitherEqualNorCopied) {
    struct Case {
        const char* Name;
        bool Engine;
    };
    for (const Case& c :
         {Case{"no engine", false}, Case{"a reference that cannot be saved", true}}) {
        SCOPED_TRACE(c.Name);
        std::unique_ptr<CEngineHost> host;
        CMwNodRef target(new CArchiveTestNod);
        CMwNodRef nod(new CArchiveTestNod);
        if (c.Engine) {
            host = std::make_unique<CEngineHost>();
            CSystemEngine& engine = host->Engine();
            ASSERT_NE(engine.GetDataFolder(), nullptr);
            // A file of the resource drive named outside the resource table.
            CSystemEngine::AttachNodToFid(
                target.Get(),
                engine.GetFileFid(engine.m_ResourceFolder, u"Loose.Thing.Zun", nullptr));
            static_cast<CArchiveTestNod*>(nod.Get())->Link(target.Get());
        }
        CLogWatch log;
        u32 equal = 7;
        EXPECT_EQ(CompareNods(nod.Get(), nod.Get(), &equal), 0);
        EXPECT_EQ(equal, 0u);
        for (bool keepFid : {false, true}) {
            CMwNod* copy = nod.Get();
            EXPECT_EQ(DuplicateNod(&copy, keepFid), 0);
            EXPECT_EQ(copy, nullptr);
        }
        EXPECT_EQ(log.Since().find("not loaded"), std::string::npos) << log.Since();
        CSystemEngine::DetachNodFromFid(target.Get());
    }
}

// A table of folders from an image or a resource file cannot reach files above the data folder
// or the resource folder; an image the engine made for a copy keeps the references it had.
TEST_F(SystemArchiveLifetime, TablesStayInsideTheirArea) {
    fs::create_directories(m_Temp.File("Outside"));
    fs::create_directories(m_Temp.File("Resource/Media/Texture"));
    {
        CMwNodRef secret(new CArchiveTestNod);
        CSystemArchive saver;
        ASSERT_EQ(saver.SaveNodToFile(m_Temp.Engine("Outside/Secret.Thing.Zun"), secret.Get(),
                                      nullptr, 0, 7, false, true),
                  1);
    }
    // A buffer holding the nod of Outside\Secret.Thing.Zun, found `level` folders up.
    auto climbing = [](u32 level) {
        return TextArchive(kRefBufferHex, 2,
                           Join({{"1", std::to_string(level), "1", "Outside", "0"},
                                 {"1", "Secret.Thing.Zun", "1", "False", "1"},
                                 BufferChunk(kAnyNod, true, 1),
                                 {"1", "facade01"}}));
    };
    CSystemFid* secretFid =
        Engine().GetFileFid(nullptr, m_Temp.Engine("Outside/Secret.Thing.Zun"), nullptr);

    // An image from outside, one level above the data folder.
    {
        CClassicBufferMemory image;
        const std::string bytes = climbing(1);
        image.Write(bytes.data(), u32(bytes.size()));
        CLogWatch log;
        CMwNod* loaded = nullptr;
        EXPECT_EQ(LoadNodFromMemoryBuffer(&image, &loaded), 0);
        EXPECT_EQ(loaded, nullptr);
        EXPECT_NE(log.Since().find("Could not find '" + Narrow(Name("Outside\\Secret.Thing.Zun"))),
                  std::string::npos)
            << log.Since();
        EXPECT_EQ(secretFid->m_Nod, nullptr);
    }
    // A resource file, three levels up from its folder.
    {
        WriteWholeFile(m_Temp.File("Resource/Media/Texture/NoBitmap.Texture.zun"), climbing(3));
        CLogWatch log;
        CSystemArchive archive;
        CMwNod* loaded = nullptr;
        EXPECT_EQ(archive.LoadResource(kSystemResourceIdBase | 4, &loaded), 0);
        EXPECT_EQ(loaded, nullptr);
        EXPECT_NE(log.Since().find("Could not find '" +
                                   Narrow(m_Temp.Engine("Resource/Outside/Secret.Thing.Zun"))),
                  std::string::npos)
            << log.Since();
        EXPECT_EQ(secretFid->m_Nod, nullptr);
    }
    // A copy of a buffer that holds that nod holds it too.
    const CMwNodRef secret = LoadFile(m_Temp.Engine("Outside/Secret.Thing.Zun"));
    ASSERT_TRUE(secret);
    CMwNodRef holder(new CMwRefBuffer);
    Buffer(holder.Get())->Add(secret.Get());
    CMwNod* copy = holder.Get();
    ASSERT_EQ(DuplicateNod(&copy, false), 1);
    const CMwNodRef held(copy);
    ASSERT_NE(copy, holder.Get());
    EXPECT_EQ(Buffer(copy)->GetNod(0), secret.Get());
}

// Folders a table adds below a folder it adds are on the drive of the folder they join.
TEST_F(SystemArchiveLifetime, AdoptedFoldersTakeTheirDrive) {
    fs::create_directories(HostFile("New/Deeper"));
    WriteWholeFile(HostFile("New/Deeper/Used.Thing.Zun"), "used");
    const std::string text = TextArchive(kRefBufferHex, 2,
                                         Join({{"1", "0", "1", "New", "1", "Deeper", "0"},
                                               {"1", "Used.Thing.Zun", "1", "True", "2"},
                                               {"facade01"}}));
    WriteWholeFile(HostFile("Table.Thing.Zun"), text);
    const CMwNodRef loaded = LoadFile(Name("Table.Thing.Zun"));
    ASSERT_TRUE(loaded);
    CSystemFids* added = Engine().GetDataFolder()->FindFolder(u"New\\Deeper", false);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->m_Drive, Engine().m_LocalDrive);
    EXPECT_EQ(added->m_Parent->m_Drive, Engine().m_LocalDrive);
}

// Load mode 3 reads a memory image's raw body and makes no nod: that is a success.
TEST_F(SystemArchiveLifetime, RawBodyOfAMemoryImage) {
    CMwNodRef nod(new CArchiveTestNod);
    static_cast<CArchiveTestNod*>(nod.Get())->m_Value = 3;
    CClassicBufferMemory image;
    ASSERT_EQ(SaveNodToMemoryBuffer(&image, nod.Get(), kSystemArchiveSaveRelease), 1);
    CSystemArchive archive;
    archive.SetLoadMode(kSystemArchiveLoadRawBody);
    CMwNod* out = reinterpret_cast<CMwNod*>(1);
    EXPECT_EQ(archive.LoadFromMemory(&image, &out), 1);
    EXPECT_EQ(out, nullptr);
    ASSERT_NE(archive.GetBodyBuffer(), nullptr);
    const std::string body = BytesOf(*archive.GetBodyBuffer());
    EXPECT_EQ(body, BytesOf(image).substr(BytesOf(image).size() - body.size()));
    EXPECT_EQ(body.substr(body.size() - 4), std::string("\x01\xDE\xCA\xFA", 4));
    EXPECT_EQ(Engine().m_MemoryFids->m_Leaves.m_Count, 0u);
}

} // namespace
