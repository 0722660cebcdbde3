// The reference table: folders copied and merged, records, the drive rules, and which nods become
// references.
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFidNumberMap.h"
#include "system/fid/SystemFids.h"
#include "tests/system/archive/ArchiveTestSupport.h"
#include "tests/system/engine/EngineTestSupport.h"

namespace {

using SystemArchiveRefs = ArchiveFixture;

CArchiveTestNod* NewNod(u32 value) {
    auto* nod = new CArchiveTestNod;
    nod->m_Value = value;
    return nod;
}

CArchiveTestNod* TestNod(const CMwNodRef& ref) {
    return static_cast<CArchiveTestNod*>(ref.Get());
}

CSystemFid* FileFid(CSystemEngine& engine, const char16_t* path) {
    CSystemFid* fid = engine.GetFileFid(nullptr, path, nullptr);
    EXPECT_NE(fid, nullptr);
    return fid;
}

// A nod bound to the file id, held by the returned reference.
CMwNodRef BoundNod(CSystemFid* fid, u32 value, CArchiveTestNod* nod = nullptr) {
    CMwNodRef held(nod ? nod : NewNod(value));
    CSystemEngine::AttachNodToFid(held.Get(), fid);
    return held;
}

// The size of the header of a binary archive without blob.
const size_t kHeaderSize = 9 + 4 + 4 + 4;

// Two files in the sibling folders A\X and A\Y of the data folder, referred to from A\_Z: the
// reference root is A, one level up, and its sub-folders are numbered by name, compared with
// the letters folded to upper case (so "_" comes after every letter).
TEST_F(SystemArchiveRefs, SiblingFoldersGiveTheirCommonParentAsRoot) {
    CEngineHost host;
    CSystemEngine& engine = host.Engine();
    ASSERT_NE(engine.GetDataFolder(), nullptr);
    // Made in the order _Z, Y, x: the table orders them by name.
    CSystemFid* own = FileFid(engine, u"C:\\Game\\GameData\\A\\_Z\\Main.Thing.Zun");
    CSystemFid* y = FileFid(engine, u"C:\\Game\\GameData\\A\\Y\\y.Thing.Zun");
    CSystemFid* x = FileFid(engine, u"C:\\Game\\GameData\\A\\x\\x.Thing.Zun");
    CMwNodRef nx = BoundNod(x, 10), ny = BoundNod(y, 20);
    CMwNodRef main(NewNod(1));
    TestNod(main)->Link(ny.Get())->Link(nx.Get())->Link(ny.Get());
    TestNod(main)->m_File = x;

    const std::string bytes = SaveArchive(main.Get(), kSystemArchiveSaveRelease, own);
    // The file id of x is a second reference: a use-file record of its own.
    ASSERT_GT(bytes.size(), kHeaderSize);
    CArchiveBytes header;
    header.Header(0x0B0F0000, 4);
    EXPECT_EQ(bytes.substr(0, kHeaderSize), header.Bytes());
    CArchiveBytes full;
    full.U32(3).U32(1).U32(3);
    full.Text("x").U32(0).Text("Y").U32(0).Text("_Z").U32(0);
    full.U32(1).Text("y.Thing.Zun").U32(1).U32(0).U32(2);
    full.U32(1).Text("x.Thing.Zun").U32(2).U32(0).U32(1);
    full.U32(1).Text("x.Thing.Zun").U32(3).U32(1).U32(1);
    EXPECT_EQ(bytes.substr(kHeaderSize, full.Bytes().size()), full.Bytes());
    // The fid number map is left empty.
    EXPECT_EQ(GetFidNumberMap(), nullptr);

    // Read back from the same file id: the references find the bound nods, no folder is added.
    CSystemFids* a = engine.GetDataFolder()->FindFolder(u"A", false);
    ASSERT_NE(a, nullptr);
    TestNod(main)->m_Links.clear();
    const CMwNodRef loaded = LoadArchive(bytes, own);
    ASSERT_TRUE(loaded);
    const auto& links = TestNod(loaded)->m_Links;
    ASSERT_EQ(links.size(), 3u);
    EXPECT_EQ(links[0].Get(), ny.Get());
    EXPECT_EQ(links[1].Get(), nx.Get());
    EXPECT_EQ(links[2].Get(), ny.Get());
    EXPECT_EQ(TestNod(loaded)->m_File, x);
    EXPECT_EQ(loaded->GetFid(), own);
    EXPECT_EQ(a->m_Trees.m_Count, 3u);
    EXPECT_EQ(GetFidNumberMap(), nullptr);
}

// Folders read from a table are merged into the tree ignoring case; new ones are added, and a
// reference nobody can resolve keeps the file id made for it (load mode 3 loads no file).
TEST_F(SystemArchiveRefs, ReadFoldersMergeIntoTheTree) {
    CEngineHost host;
    CSystemEngine& engine = host.Engine();
    CSystemFids* data = engine.GetDataFolder();
    ASSERT_NE(data, nullptr);
    CSystemFid* own = FileFid(engine, u"C:\\Game\\GameData\\Main.Thing.Zun");
    CSystemFid* known = FileFid(engine, u"C:\\Game\\GameData\\Cars\\Known.Thing.Zun");
    CSystemFids* cars = known->m_Folder;

    CArchiveBytes bytes;
    bytes.Header(0x0B0F0000, 3).U32(2).U32(0).U32(2);
    bytes.Text("CARS").U32(1).Text("Red").U32(0); // 1 = Cars, 2 = Cars\Red
    bytes.Text("New").U32(1).Text("Deep").U32(0); // 3 = New, 4 = New\Deep
    bytes.U32(1).Text("a.Thing.Zun").U32(1).U32(0).U32(2);
    bytes.U32(1).Text("b.Thing.Zun").U32(2).U32(1).U32(4);
    bytes.ValueChunk(1, "", 0).End();

    CClassicBufferMemory in;
    in.Write(bytes.Bytes().data(), u32(bytes.Bytes().size()));
    in.Rewind();
    CSystemArchive archive;
    archive.SetCurrentFid(own);
    archive.SetLoadMode(kSystemArchiveLoadRawBody);
    CMwNod* nod = nullptr;
    ASSERT_TRUE(archive.Load(&in, &nod));
    EXPECT_EQ(archive.GetIndexedFolder(0), data);
    EXPECT_EQ(archive.GetIndexedFolder(1), cars);
    CSystemFids* red = cars->FindFolder(u"Red", false);
    CSystemFids* deep = data->FindFolder(u"New\\Deep", false);
    ASSERT_NE(red, nullptr);
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(archive.GetIndexedFolder(2), red);
    EXPECT_EQ(archive.GetIndexedFolder(3), deep->m_Parent);
    EXPECT_EQ(archive.GetIndexedFolder(4), deep);
    EXPECT_EQ(archive.GetIndexedFolder(5), nullptr);
    EXPECT_EQ(data->FindFolder(u"Cars", false), cars);
    ASSERT_EQ(archive.GetRefs().m_Count, 2u);
    EXPECT_EQ(archive.GetRefs().m_Items[1].m_Fid->m_Folder, deep);
    EXPECT_EQ(archive.GetRefs().m_Items[1].m_UseFile, 1u);
    EXPECT_EQ(GetFidNumberMap(), nullptr);
}

// A local file outside the data folder reads its references against the data folder; a file
// that is not an archive logs its full name.
TEST_F(SystemArchiveRefs, FilesOutsideTheDataFolderReferToIt) {
    CEngineHost host;
    CSystemEngine& engine = host.Engine();
    CSystemFids* data = engine.GetDataFolder();
    ASSERT_NE(data, nullptr);
    CSystemFid* outside = FileFid(engine, u"C:\\Other\\Place\\Main.Thing.Zun");
    CSystemFid* inside = FileFid(engine, u"C:\\Game\\GameData\\Part.Thing.Zun");
    CMwNodRef part = BoundNod(inside, 2);
    CArchiveBytes bytes;
    bytes.Header(0x0B0F0000, 2).U32(1).U32(0).U32(0);
    bytes.U32(1).Text("Part.Thing.Zun").U32(1).U32(0).U32(0);
    bytes.ValueChunk(1, "", 0).LinksChunk(1, CArchiveBytes().U32(1).Bytes()).End();
    const CMwNodRef loaded = LoadArchive(bytes.Bytes(), outside);
    ASSERT_TRUE(loaded);
    ASSERT_EQ(TestNod(loaded)->m_Links.size(), 1u);
    EXPECT_EQ(TestNod(loaded)->m_Links[0].Get(), part.Get());

    CLogWatch log;
    EXPECT_FALSE(LoadArchive("ZIP", inside));
    EXPECT_NE(log.Since().find("Wrong .Zun format : C:\\Game\\GameData\\Part.Thing.Zun\r\n"),
              std::string::npos)
        << log.Since();
    CSystemEngine::DetachNodFromFid(part.Get());
}

// A resource-local reference is stored by its index and finds the resource table's entry again.
TEST_F(SystemArchiveRefs, ResourceLocalReferenceByIndex) {
    CEngineHost host;
    CSystemEngine& engine = host.Engine();
    ASSERT_NE(engine.GetDataFolder(), nullptr);
    CSystemFid* own = FileFid(engine, u"C:\\Game\\GameData\\Main.Thing.Zun");
    CSystemFid* resource = engine.GetResourceFid(kSystemResourceIdBase | 4);
    ASSERT_NE(resource, nullptr);
    // A bitmap: held by the archive while the body is read, given back after.
    CMwNodRef bitmap = BoundNod(resource, 4, new CArchiveTestBitmap);
    CMwNodRef main(NewNod(1));
    TestNod(main)->Link(bitmap.Get());

    const std::string bytes = SaveArchive(main.Get(), kSystemArchiveSaveRelease, own);
    CArchiveBytes table;
    table.U32(1).U32(0).U32(0).U32(5).U32(4).U32(1).U32(0);
    EXPECT_EQ(bytes.substr(kHeaderSize, table.Bytes().size()), table.Bytes());

    const CMwNodRef loaded = LoadArchive(bytes, own);
    ASSERT_TRUE(loaded);
    ASSERT_EQ(TestNod(loaded)->m_Links.size(), 1u);
    EXPECT_EQ(TestNod(loaded)->m_Links[0].Get(), bitmap.Get());
    EXPECT_EQ(bitmap->GetRefCount(), 3); // ours, the saved main's and the loaded main's
}

// A resource file refers to resource files only, a local file to resource files only by index.
TEST_F(SystemArchiveRefs, ReferencesAcrossTheResourceDriveFail) {
    CEngineHost host;
    CSystemEngine& engine = host.Engine();
    ASSERT_NE(engine.GetDataFolder(), nullptr);
    CSystemFid* local = FileFid(engine, u"C:\\Game\\GameData\\Main.Thing.Zun");
    CSystemFid* localOther = FileFid(engine, u"C:\\Game\\GameData\\Other.Thing.Zun");
    CSystemFid* resource = engine.GetResourceFid(kSystemResourceIdBase | 4);
    CSystemFid* resourceFile =
        engine.GetFileFid(engine.m_ResourceFolder, u"Loose.Thing.Zun", nullptr);
    ASSERT_NE(resourceFile, nullptr);
    struct Case {
        const char* Name;
        CSystemFid* Own;
        CSystemFid* Target;
        std::string Line;
    };
    const Case cases[] = {
        {"local from a resource file", resource, localOther,
         "Cannot save a reference to local < C:\\Game\\GameData\\Other.Thing.Zun >, within a "
         "resource file"},
        {"resource file by name from a local file", local, resourceFile,
         "Cannot save a reference to resource-local < C:\\Game\\Resource\\Loose.Thing.Zun >, "
         "within a local file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        CMwNodRef target = BoundNod(c.Target, 2);
        CMwNodRef main(NewNod(1));
        TestNod(main)->Link(target.Get());
        CLogWatch log;
        SaveArchive(main.Get(), kSystemArchiveSaveRelease, c.Own, false);
        EXPECT_NE(log.Since().find(c.Line), std::string::npos) << log.Since();
        EXPECT_EQ(GetFidNumberMap(), nullptr);
        CSystemEngine::DetachNodFromFid(target.Get());
    }
}

// Which nods bound to a file become references of the table and which stay inline.
TEST_F(SystemArchiveRefs, NodsWithAFileOfTheirOwn) {
    CEngineHost host;
    CSystemEngine& engine = host.Engine();
    ASSERT_NE(engine.GetDataFolder(), nullptr);
    CSystemFid* own = FileFid(engine, u"C:\\Game\\GameData\\Main.Thing.Zun");
    struct Case {
        const char* Name;
        CArchiveTestNod* Nod;
        bool Resource;
        u32 Flags;
        bool Reference;
    };
    const Case cases[] = {
        {"plain nod", new CArchiveTestNod, false, kSystemArchiveSaveRelease, true},
        {"plain nod kept inline", new CArchiveTestNod, false,
         kSystemArchiveSaveRelease | kSystemArchiveSaveKeepOwnFileInline, false},
        {"file-backed nod", new CArchiveTestPlugFile, false,
         kSystemArchiveSaveRelease | kSystemArchiveSaveKeepOwnFileInline, true},
        {"resource-local nod", new CArchiveTestNod, true,
         kSystemArchiveSaveRelease | kSystemArchiveSaveKeepOwnFileInline, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        CSystemFid* fid = c.Resource ? engine.GetResourceFid(kSystemResourceIdBase | 5)
                                     : FileFid(engine, u"C:\\Game\\GameData\\Part.Thing.Zun");
        CMwNodRef part = BoundNod(fid, 2, c.Nod);
        CMwNodRef main(NewNod(1));
        TestNod(main)->Link(part.Get());
        const std::string bytes = SaveArchive(main.Get(), c.Flags, own);
        const bool hasRefs = bytes.substr(kHeaderSize, 4) != CArchiveBytes().U32(0).Bytes();
        EXPECT_EQ(hasRefs, c.Reference);
        const CMwNodRef loaded = LoadArchive(bytes, own);
        ASSERT_TRUE(loaded);
        ASSERT_EQ(TestNod(loaded)->m_Links.size(), 1u);
        EXPECT_EQ(TestNod(loaded)->m_Links[0].Get() == part.Get(), c.Reference);
        CSystemEngine::DetachNodFromFid(part.Get());
    }
}

// Names, indices and counts of a damaged table fail the load with a log line.
TEST_F(SystemArchiveRefs, DamagedTablesFail) {
    auto table = [](const std::string& folders, u32 folderCount, const std::string& record) {
        CArchiveBytes bytes;
        bytes.Header(0x0B0F0000, 2).U32(1).U32(0).U32(folderCount).Raw(folders).Raw(record);
        bytes.ValueChunk(1, "", 0).End();
        return bytes.Bytes();
    };
    auto file = [](const std::string& name, u32 node = 1, u32 folder = 0) {
        return CArchiveBytes().U32(1).Text(name).U32(node).U32(1).U32(folder).Bytes();
    };
    auto resource = [](u32 index) {
        return CArchiveBytes().U32(5).U32(index).U32(1).U32(1).Bytes();
    };
    const std::string folderA = CArchiveBytes().Text("A").U32(0).Bytes();
    std::string manyFolders;
    for (u32 i = 0; i < 4097; ++i)
        manyFolders += CArchiveBytes().Text("F" + std::to_string(i)).U32(0).Bytes();
    // Two folders of 40 000 sub-folders each: refused as soon as the count passes what a tree may
    // hold, before the folders are made.
    std::string hugeTree;
    for (u32 top = 0; top < 2; ++top) {
        hugeTree += CArchiveBytes().Text("T" + std::to_string(top)).U32(40000).Bytes();
        for (u32 i = 0; i < 40000; ++i)
            hugeTree += CArchiveBytes().Text("F").U32(0).Bytes();
    }
    struct Case {
        const char* Name;
        std::string Bytes;
        const char* Line;
    };
    const Case cases[] = {
        {"empty file name", table("", 0, file("")), "not a plain name"},
        {"dot dot", table("", 0, file("..")), "not a plain name"},
        {"dot", table("", 0, file(".")), "not a plain name"},
        {"backslash", table("", 0, file("a\\b")), "not a plain name"},
        {"slash", table("", 0, file("a/b")), "not a plain name"},
        {"colon", table("", 0, file("c:b")), "not a plain name"},
        {"resource 0", table("", 0, resource(0)), "names no file"},
        {"resource 1", table("", 0, resource(1)), "names no file"},
        {"resource 44", table("", 0, resource(44)), "names no file"},
        {"resource 45", table("", 0, resource(45)), "names no file"},
        {"node index 0", table("", 0, file("a", 0)), "node index outside"},
        {"node index past", table("", 0, file("a", 2)), "node index outside"},
        {"two records of one index",
         CArchiveBytes()
             .Header(0x0B0F0000, 2)
             .U32(2)
             .U32(0)
             .U32(0)
             .Raw(file("a"))
             .Raw(file("b"))
             .ValueChunk(1, "", 0)
             .End()
             .Bytes(),
         "two references with one node index"},
        {"folder index past", table(folderA, 1, file("a", 1, 2)), "folder index outside"},
        {"folder dot dot", table(CArchiveBytes().Text("..").U32(0).Bytes(), 1, file("a")),
         "names no folder"},
        {"folder with colon", table(CArchiveBytes().Text("C:").U32(0).Bytes(), 1, file("a")),
         "names no folder"},
        {"folder count past the bytes", table("", 0x7FFF, file("a")), "past the end"},
        {"too many folders", table(manyFolders, 4097, file("a")), "a folder table above the limit"},
        {"a tree past what a tree may hold", table(hugeTree, 2, file("a")),
         "more folders than a tree may hold (80002)"},
        {"ancestor level past the top",
         CArchiveBytes()
             .Header(0x0B0F0000, 2)
             .U32(1)
             .U32(5)
             .U32(0)
             .Raw(file("a"))
             .ValueChunk(1, "", 0)
             .End()
             .Bytes(),
         "ancestor level"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const u32 before = CMwNod::GetLiveNodCount();
        CLogWatch log;
        EXPECT_FALSE(LoadArchive(c.Bytes));
        EXPECT_NE(log.Since().find(c.Line), std::string::npos) << log.Since();
        EXPECT_EQ(CMwNod::GetLiveNodCount(), before);
        EXPECT_EQ(GetFidNumberMap(), nullptr);
    }
}

} // namespace
