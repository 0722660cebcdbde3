// Reference resolution at load: records found in the tree, on disk, in the resource table or
// nowhere; nested loads through the shared loader and their depth; substitutes given by the pack
// manager (a stand-in here) with the road back to the default file; the loading stack left as
// it was found.
#include "system/archive/SystemRefResolve.h"

#include "core/base/ClassicBuffer.h"
#include "system/archive/SystemArchive.h"
#include "system/fid/SystemPack.h"
#include "system/fid/SystemParamLoad.h"
#include "system/fid/SystemParamSet.h"
#include "system/file/ClassicBufferFile.h"
#include "system/file/FileSystem.h"
#include "tests/system/archive/ArchiveTestSupport.h"
#include "tests/system/fid/LoaderTestSupport.h"

#include <map>

namespace {

constexpr u32 kSolidClass = CSystemFidCache::s_ClassId;
const CMwId kNight(7);

// The pack manager's resolution as a table of names.
class CFakePackManager : public CSystemPackManager {
public:
    CFakePackManager() : m_Old(g_SystemPackManager) { g_SystemPackManager = this; }
    ~CFakePackManager() override { g_SystemPackManager = m_Old; }

    CSystemFid* ResolveFid(CSystemPackDesc* desc, CClassicStringRef name, u32, CSystemFid* fallback,
                           CMwNod* requester) override {
        m_Asked.push_back(std::string(name.m_Text, name.m_Length));
        m_Packs.push_back(desc);
        m_Requesters.push_back(requester);
        const auto found = m_Fids.find(m_Asked.back());
        return found == m_Fids.end() ? fallback : found->second;
    }

    std::map<std::string, CSystemFid*> m_Fids;
    std::vector<std::string> m_Asked;
    std::vector<CSystemPackDesc*> m_Packs;
    std::vector<CMwNod*> m_Requesters;

private:
    CSystemPackManager* m_Old;
};

class SystemRefResolve : public CDataFolderFixture {
protected:
    void SetUp() override {
        CDataFolderFixture::SetUp();
        m_Links.m_Classes = {{".Solid.Zun", kSolidClass}};
        m_Links.m_Loader.m_Load = [this](CMwNod** nod, CSystemFid* fid) {
            return LoadFromDisk(nod, fid);
        };
        m_Table.m_Engine = &Engine();
        m_Cars = m_Data->FindOrAddFolderPath(u"Cars\\", nullptr);
    }
    void TearDown() override {
        EXPECT_EQ(GetParamSetDepth(), 0u);
        EXPECT_EQ(SystemRefLoadDepth(), 0u);
        ClearParamSetStack();
        m_Loaded.clear();
        CDataFolderFixture::TearDown();
    }

    // The loader's work: a file on disk (an alias's master's) gives a nod bound to the file id
    // under the file id's own set; the set in force is noted.
    i32 LoadFromDisk(CMwNod** nod, CSystemFid* fid) {
        CClassicWideString path;
        if (fid->GetMasterFid()->IsKindOf(CSystemFidFile::s_ClassId))
            static_cast<CSystemFidFile*>(fid->GetMasterFid())->GetFullFileName(path);
        m_LoadedNames.push_back(Narrow(path));
        m_SetsInForce.push_back(CurrentParamSet()->GetCount());
        if (!FileExists(path))
            return 0;
        *nod = NewNod();
        CSystemEngine::AttachNodToFidWithParamSet(*nod, fid, fid->m_ParamSet);
        return 1;
    }
    // A nod held by the test.
    CMwNod* NewNod() {
        auto* nod = new CMwNod;
        m_Loaded.emplace_back(nod);
        return nod;
    }
    // The file id the archive reader makes for a record: named in its folder, not a leaf.
    static CSystemFidFile* Record(CSystemFids* folder, const char16_t* name) {
        auto* fid = new CSystemFidFile;
        fid->m_FileName = CClassicWideString(name);
        fid->m_Folder = folder;
        return fid;
    }
    static CSystemFidFile* ResourceRecord(u32 index) {
        auto* fid = new CSystemFidFile;
        fid->m_RefFlags = kSystemFidRefFile | kSystemFidRefResourceLocal;
        fid->m_ResourceIndex = index;
        return fid;
    }
    bool Resolve(CSystemFid* record, u32 useFile = 0) {
        return SystemResolveRef(m_Table, record, useFile, m_Out);
    }
    std::string Path(const std::string& relative) { return Narrow(DataPath(relative)); }

    SSystemRefTableState m_Table;
    SSystemRefResolved m_Out;
    CSystemFids* m_Cars = nullptr;
    std::vector<CMwNodRef> m_Loaded;
    std::vector<std::string> m_LoadedNames;
    std::vector<u32> m_SetsInForce;
};

// A file whose nod is loaded is not loaded again; one on disk but not in the tree is added and
// loaded; two references to one file give one file id and one nod; the record's own file id goes.
TEST_F(SystemRefResolve, FoundInTheTreeOrOnDisk) {
    CSystemFid* red = AddFile("Cars/Red.Solid.Zun");
    CMwNod* redNod = NewNod();
    CSystemEngine::AttachNodToFid(redNod, red);
    WriteWholeFile(m_Temp.File("GameData/Cars/Blue.Solid.Zun"), "blue");
    const u32 live = CMwNod::GetLiveNodCount();

    ASSERT_TRUE(Resolve(Record(m_Cars, u"RED.solid.zun")));
    EXPECT_EQ(m_Out.m_Fid, red);
    EXPECT_EQ(m_Out.m_Nod, redNod);
    EXPECT_FALSE(m_Out.m_Unresolved);
    EXPECT_TRUE(m_LoadedNames.empty());
    EXPECT_EQ(CMwNod::GetLiveNodCount(), live);

    EXPECT_EQ(m_Data->FindFid(u"Cars\\Blue.Solid.Zun", false), nullptr);
    ASSERT_TRUE(Resolve(Record(m_Cars, u"Blue.Solid.Zun")));
    CSystemFid* blue = m_Data->FindFid(u"Cars\\Blue.Solid.Zun", false);
    ASSERT_NE(blue, nullptr);
    EXPECT_EQ(m_Out.m_Fid, blue);
    ASSERT_NE(m_Out.m_Nod, nullptr);
    EXPECT_EQ(m_Out.m_Nod->GetFid(), blue);
    EXPECT_EQ(m_LoadedNames, std::vector<std::string>{Path("Cars\\Blue.Solid.Zun")});

    CMwNod* blueNod = m_Out.m_Nod;
    ASSERT_TRUE(Resolve(Record(m_Cars, u"blue.Solid.Zun")));
    EXPECT_EQ(m_Out.m_Fid, blue);
    EXPECT_EQ(m_Out.m_Nod, blueNod);
    EXPECT_EQ(m_LoadedNames.size(), 1u);
    EXPECT_EQ(CMwNod::GetLiveNodCount(), live + 1 + 1); // the blue file id and its nod
}

// A missing file fails the table with its full name; nothing of the record stays.
TEST_F(SystemRefResolve, MissingFileFails) {
    const u32 live = CMwNod::GetLiveNodCount();
    CLogWatch log;
    EXPECT_FALSE(Resolve(Record(m_Cars, u"Gone.Solid.Zun")));
    EXPECT_EQ(log.Since(), "Could not find '" + Path("Cars\\Gone.Solid.Zun") + "'\r\n");
    EXPECT_EQ(CMwNod::GetLiveNodCount(), live);
    EXPECT_EQ(m_Cars->m_Leaves.m_Count, 0u);
    // A record that is not a file fails without a line.
    auto* memory = new CSystemFidMemory;
    EXPECT_FALSE(Resolve(memory));
    EXPECT_EQ(log.Since(), "Could not find '" + Path("Cars\\Gone.Solid.Zun") + "'\r\n");
    EXPECT_EQ(CMwNod::GetLiveNodCount(), live);
}

// Without the load mode's bit 4 nothing is loaded: a record found nowhere keeps its own file id,
// unresolved; a file found keeps its nod unloaded. Nothing is logged.
TEST_F(SystemRefResolve, ModeThreeLoadsNothing) {
    m_Table.m_LoadMode = 3;
    CSystemFid* red = AddFile("Cars/Red.Solid.Zun");
    CLogWatch log;
    CSystemFidFile* gone = Record(m_Cars, u"Gone.Solid.Zun");
    ASSERT_TRUE(Resolve(gone));
    EXPECT_EQ(m_Out.m_Fid, gone);
    EXPECT_TRUE(m_Out.m_Unresolved);
    EXPECT_EQ(m_Out.m_Nod, nullptr);
    delete gone; // the archive's unresolved list would

    ASSERT_TRUE(Resolve(Record(m_Cars, u"Red.Solid.Zun")));
    EXPECT_EQ(m_Out.m_Fid, red);
    EXPECT_EQ(m_Out.m_Nod, nullptr);
    EXPECT_FALSE(m_Out.m_Unresolved);
    EXPECT_TRUE(m_LoadedNames.empty());
    EXPECT_EQ(log.Since(), "");
}

// A use-file record is never loaded: an existing file is its file id (its class joins the
// use-file classes under a load set); a missing one fails like a nod record.
TEST_F(SystemRefResolve, UseFileRecords) {
    CSystemFid* main = AddFile("Main.Solid.Zun");
    CSystemParamLoad load;
    CMwNod* mainNod = NewNod();
    load.Prepare(main, mainNod);
    ASSERT_NE(load.GetLoadParamSet(), nullptr);
    m_Table.m_ParamLoad = &load;
    CSystemFid* red = AddFile("Cars/Red.Solid.Zun");

    ASSERT_TRUE(Resolve(Record(m_Cars, u"Red.Solid.Zun"), 1));
    EXPECT_EQ(m_Out.m_Fid, red);
    EXPECT_EQ(m_Out.m_Nod, nullptr);
    EXPECT_TRUE(m_LoadedNames.empty());
    ASSERT_EQ(load.GetUseFileClasses().m_Count, 1u);
    EXPECT_EQ(load.GetUseFileClasses().m_Items[0], kSolidClass);

    CLogWatch log;
    EXPECT_FALSE(Resolve(Record(m_Cars, u"Gone.Solid.Zun"), 1));
    EXPECT_EQ(log.Since(), "Could not find '" + Path("Cars\\Gone.Solid.Zun") + "'\r\n");
    EXPECT_TRUE(m_LoadedNames.empty());
}

// Resource-local records name the resource table's entries; indices that name no file, from a
// damaged archive, fail cleanly.
TEST_F(SystemRefResolve, ResourceRecords) {
    std::filesystem::create_directories(m_Temp.File("Resource/Media/Texture"));
    WriteWholeFile(m_Temp.File("Resource/Media/Texture/NoBitmap.Texture.zun"), "zun");
    ASSERT_TRUE(Resolve(ResourceRecord(4)));
    EXPECT_EQ(m_Out.m_Fid, Engine().GetResourceFid(0x40000004));
    ASSERT_NE(m_Out.m_Nod, nullptr);
    EXPECT_EQ(m_Out.m_Nod->GetFid(), m_Out.m_Fid);

    const u32 live = CMwNod::GetLiveNodCount();
    for (u32 index : {0u, 1u, 44u, 45u, 0x40000004u, 0xFFFFFFFFu}) {
        CLogWatch log;
        EXPECT_FALSE(Resolve(ResourceRecord(index))) << index;
        EXPECT_EQ(log.Since(), "Could not find ''\r\n") << index;
    }
    EXPECT_EQ(CMwNod::GetLiveNodCount(), live);
}

// A record found nowhere is loaded itself; loaded under an alias of it, the record's file id
// stays in the tree as the alias's master.
TEST_F(SystemRefResolve, RecordLoadedItself) {
    m_Links.m_Loader.m_Load = [&](CMwNod** nod, CSystemFid* fid) -> i32 {
        *nod = NewNod();
        CSystemEngine::AttachNodToFidWithParamSet(*nod, fid, fid->m_ParamSet);
        return 1;
    };
    CSystemFidFile* plain = Record(m_Cars, u"Plain.Solid.Zun");
    ASSERT_TRUE(Resolve(plain));
    EXPECT_EQ(m_Out.m_Fid, plain);
    EXPECT_FALSE(m_Out.m_Unresolved);
    EXPECT_EQ(plain->m_Nod, m_Out.m_Nod);
    EXPECT_TRUE(m_Cars->HasLeaf(plain));

    m_Links.m_Loader.m_Load = [&](CMwNod** nod, CSystemFid* fid) -> i32 {
        CSystemFid* alias = Engine().GetFileFid(fid->m_Folder, u"Aliased.Solid.Zun?0", nullptr);
        fid->AddAlias(alias);
        *nod = NewNod();
        CSystemEngine::AttachNodToFid(*nod, alias);
        return 1;
    };
    CSystemFidFile* aliased = Record(m_Cars, u"Aliased.Solid.Zun");
    ASSERT_TRUE(Resolve(aliased));
    ASSERT_NE(m_Out.m_Fid, aliased);
    EXPECT_EQ(m_Out.m_Fid->m_Master, aliased);
    EXPECT_TRUE(m_Cars->HasLeaf(aliased));
}

// Substitutes named by the set in force and resolved by the pack manager: taken when they load;
// otherwise the road back to the default file, or failure when that cannot load either.
TEST_F(SystemRefResolve, Substitutes) {
    CSystemFid* main = AddFile("Main.Solid.Zun");
    CSystemFid* red = AddFile("Cars/Red.Solid.Zun");
    CSystemFid* sub = AddFile("Cars/Sub.Solid.Zun");
    CSystemFid* absent = Engine().GetFileFid(m_Cars, u"Absent.Solid.Zun", nullptr);
    CSystemFid* memory = new CSystemFidMemory;
    Engine().m_MemoryFids->AddLeaf(memory);
    CSystemFid* gone = Engine().GetFileFid(m_Cars, u"Gone.Solid.Zun", nullptr);
    CMwNod* mainNod = NewNod();
    CSystemPackDesc pack;

    struct Case {
        const char* What;
        const char16_t* Record;
        CSystemFid* Substitute;
        CSystemPackDesc* Pack;
        bool Succeeds;
        CSystemFid* Result;
        const char* Log; // %S: the substitute's full name, %D: the default's
    };
    const Case cases[] = {
        {"loads", u"Red.Solid.Zun", sub, nullptr, true, sub, ""},
        {"missing substitute", u"Red.Solid.Zun", absent, nullptr, true, red,
         "Could not load %S\r\nReverting to default file %D\r\n"},
        {"memory substitute", u"Red.Solid.Zun", memory, nullptr, true, red,
         "Could not load <?}\r\nReverting to default file %D\r\n"},
        {"through a pack", u"Red.Solid.Zun", sub, &pack, true, sub, ""},
        {"default missing too", u"Gone.Solid.Zun", absent, nullptr, false, nullptr,
         "Could not load %S\r\nReverting to default file %D\r\nCould not find '%D'\r\n"},
    };
    for (const Case& c : cases) {
        CFakePackManager packs;
        packs.m_Fids["Sub"] = c.Substitute;
        CSystemParamLoad load;
        load.Prepare(main, mainNod);
        m_Table.m_ParamLoad = &load;
        m_Table.m_CurrentFid = main;
        CSystemFid* target = c.Record == std::u16string(u"Red.Solid.Zun") ? red : gone;
        CSystemParamSet set;
        CSystemParamFid record(target);
        record.m_Name = CClassicString("Sub");
        record.m_Pack = c.Pack;
        set.SetParam(record);
        PushParamSet(&set, false);

        CLogWatch log;
        EXPECT_EQ(Resolve(Record(m_Cars, c.Record)), c.Succeeds) << c.What;
        PopParamSet();
        EXPECT_EQ(packs.m_Asked, std::vector<std::string>{"Sub"}) << c.What;
        EXPECT_EQ(packs.m_Packs, std::vector<CSystemPackDesc*>{c.Pack}) << c.What;
        EXPECT_EQ(packs.m_Requesters, std::vector<CMwNod*>{mainNod}) << c.What;
        if (c.Succeeds) {
            EXPECT_EQ(m_Out.m_Fid, c.Result) << c.What;
            ASSERT_NE(m_Out.m_Nod, nullptr) << c.What;
            EXPECT_EQ(m_Out.m_Nod->GetFid(), c.Result) << c.What;
        }
        std::string expected = c.Log;
        for (auto [mark, fid] : {std::pair{"%S", c.Substitute}, std::pair{"%D", target}})
            for (size_t at; (at = expected.find(mark)) != std::string::npos;)
                expected.replace(at, 2, FullName(fid));
        EXPECT_EQ(log.Since(), expected) << c.What;
        // The next case loads again.
        for (CSystemFid* fid : {red, sub})
            if (fid->m_Nod)
                CSystemEngine::DetachNodAndFid(fid->m_Nod, fid);
        m_Table.m_ParamLoad = nullptr;
    }

    // Without a load set nothing is substituted.
    CFakePackManager packs;
    CSystemParamSet set;
    CSystemParamFid record(red);
    record.m_Name = CClassicString("Sub");
    set.SetParam(record);
    PushParamSet(&set, false);
    EXPECT_TRUE(Resolve(Record(m_Cars, u"Red.Solid.Zun")));
    PopParamSet();
    EXPECT_TRUE(packs.m_Asked.empty());
    EXPECT_EQ(m_Out.m_Fid, red);
}

// Records that substitute each other in a ring end after a bounded number of questions, with
// the road back to the record's own file.
TEST_F(SystemRefResolve, SubstitutionRingIsBounded) {
    CSystemFid* main = AddFile("Main.Solid.Zun");
    CSystemFid* a = AddFile("Cars/A.Solid.Zun");
    CSystemFid* b = AddFile("Cars/B.Solid.Zun");
    CSystemFid* c = AddFile("Cars/C.Solid.Zun");
    CMwNod* mainNod = NewNod();
    CSystemParamLoad load;
    load.Prepare(main, mainNod);
    m_Table.m_ParamLoad = &load;
    CFakePackManager packs;
    packs.m_Fids = {{"A", a}, {"B", b}, {"C", c}};
    CSystemParamSet set;
    for (auto [from, to] : {std::pair{a, "B"}, std::pair{b, "C"}, std::pair{c, "A"}}) {
        CSystemParamFid record(from);
        record.m_Name = CClassicString(to);
        set.SetParam(record);
    }
    PushParamSet(&set, false);
    CLogWatch log;
    ASSERT_TRUE(Resolve(Record(m_Cars, u"A.Solid.Zun")));
    PopParamSet();
    EXPECT_EQ(packs.m_Asked.size(), kSystemRefMaxSubstitutions);
    EXPECT_EQ(m_Out.m_Fid, a);
    // 16 questions around a ring of three end on B.
    EXPECT_EQ(log.Since(), "[Sys] The substitutes of " + FullName(a) + " do not settle\r\n" +
                               "Could not load " + FullName(b) + "\r\n" +
                               "Reverting to default file " + FullName(a) + "\r\n");
    EXPECT_EQ(m_LoadedNames, std::vector<std::string>{FullName(a)});
}

// Loads nest one inside another up to the limit; deeper, the load fails with a line and every
// level fails in turn. Files that refer to each other load once each.
TEST_F(SystemRefResolve, NestedLoads) {
    // Each file refers to the next one, none of which exists: the records themselves are loaded.
    u32 level = 0;
    m_Links.m_Loader.m_Load = [&](CMwNod** nod, CSystemFid* fid) -> i32 {
        *nod = NewNod();
        CSystemEngine::AttachNodToFidWithParamSet(*nod, fid, fid->m_ParamSet);
        const CClassicWideString next(CClassicString(("Level" + std::to_string(++level)).c_str()));
        SSystemRefResolved out;
        return SystemResolveRef(m_Table, Record(m_Cars, next.GetText()), 0, out) ? 1 : 0;
    };
    CLogWatch log;
    EXPECT_FALSE(Resolve(Record(m_Cars, u"Level0")));
    EXPECT_EQ(m_Links.m_Loader.m_Loads, kSystemRefMaxLoadDepth);
    const std::string text = log.Since();
    EXPECT_NE(text.find("[Sys] References nest more than 32 files deep, not loading "),
              std::string::npos);
    size_t lines = 0;
    for (size_t at = 0; (at = text.find("Could not find '", at)) != std::string::npos; ++at)
        ++lines;
    EXPECT_EQ(lines, kSystemRefMaxLoadDepth + 1);

    // A refers to B, B to A: A's nod is bound before its references are read.
    AddFile("Cars/A.Solid.Zun");
    AddFile("Cars/B.Solid.Zun");
    m_Links.m_Loader.m_Loads = 0;
    m_Links.m_Loader.m_Load = [&](CMwNod** nod, CSystemFid* fid) -> i32 {
        *nod = NewNod();
        CSystemEngine::AttachNodToFidWithParamSet(*nod, fid, fid->m_ParamSet);
        const bool isA = FullName(fid).ends_with("A.Solid.Zun");
        SSystemRefResolved out;
        return SystemResolveRef(m_Table, Record(m_Cars, isA ? u"B.Solid.Zun" : u"A.Solid.Zun"), 0,
                                out)
                   ? 1
                   : 0;
    };
    ASSERT_TRUE(Resolve(Record(m_Cars, u"A.Solid.Zun")));
    EXPECT_EQ(m_Links.m_Loader.m_Loads, 2u);
}

// The alias whose set suits the set in force is the file id taken; its set is in force while
// its nod loads, and its records join the load set.
TEST_F(SystemRefResolve, AliasSetInForceAndMerged) {
    CSystemFid* main = AddFile("Main.Solid.Zun");
    CSystemFid* red = AddFile("Cars/Red.Solid.Zun");
    red->m_ParamSet.SetParam(CSystemParamId(kNight, 1));
    CMwNod* redNod = NewNod();
    CSystemEngine::AttachNodToFid(redNod, red);
    CSystemFid* alias = Engine().GetFileFid(m_Cars, u"Red.Solid.Zun?0", nullptr);
    alias->m_ParamSet.SetParam(CSystemParamId(kNight, 3));
    red->AddAlias(alias);
    CMwNod* mainNod = NewNod();
    CSystemParamLoad load;
    load.Prepare(main, mainNod);
    m_Table.m_ParamLoad = &load;
    m_Table.m_MainClassId = kSolidClass;
    CSystemParamSet request;
    request.SetParam(CSystemParamId(kNight, 3));
    PushParamSet(&request, false);

    ASSERT_TRUE(Resolve(Record(m_Cars, u"Red.Solid.Zun")));
    EXPECT_EQ(m_Out.m_Fid, alias);
    ASSERT_NE(m_Out.m_Nod, nullptr);
    EXPECT_NE(m_Out.m_Nod, redNod);
    EXPECT_EQ(alias->m_Nod, m_Out.m_Nod);
    // The request and the alias's set, merged, then reduced to the content class.
    EXPECT_EQ(m_SetsInForce, std::vector<u32>{1});
    EXPECT_EQ(GetParamSetDepth(), 1u);
    PopParamSet();
    CSystemParamId night(kNight);
    ASSERT_EQ(load.GetLoadParamSet()->GetParam(night), 1u);
    EXPECT_EQ(night.m_Value, 3u);
}

// Archives that refer to other archives, read from disk with the registered engine: each
// referenced file is loaded through the archive's own shared loader.
class SystemRefResolveArchives : public CDataFolderFixture {
protected:
    SystemRefResolveArchives() : CDataFolderFixture(&g_ArchiveTestClassList) {}

    void SetUp() override {
        CDataFolderFixture::SetUp();
        SetSystemFidLinks(&SystemArchiveFidLinks());
    }
    // Saves the nod as the file below "GameData" and gives the file id it was saved for.
    CSystemFid* SaveFile(CMwNod* nod, const std::string& relative) {
        CSystemFid* fid = AddFile(relative);
        WriteWholeFile(m_Temp.File("GameData/" + relative),
                       SaveArchive(nod, kSystemArchiveSaveRelease, fid));
        return fid;
    }
    // The main nod loaded from the file below "GameData" for its file id.
    CMwNodRef Load(const std::string& relative, u32 mode = kSystemArchiveLoadFull) {
        CSystemFid* fid = Engine().FindFidByFullPath(DataPath(relative), false);
        EXPECT_NE(fid, nullptr) << relative;
        return LoadArchive(ReadWholeFile(m_Temp.File("GameData/" + relative)), fid, mode);
    }
    std::string Path(const std::string& relative) { return Narrow(DataPath(relative)); }
};

TEST_F(SystemRefResolveArchives, ReferencedArchivesLoadFromDisk) {
    // Main refers to the wheel twice, the wheel to the rim; the rim's file id is its body's own.
    {
        CMwNodRef rim(new CArchiveTestNod), wheel(new CArchiveTestNod), main(new CArchiveTestNod);
        static_cast<CArchiveTestNod*>(rim.Get())->m_Value = 3;
        static_cast<CArchiveTestNod*>(wheel.Get())->m_Value = 7;
        static_cast<CArchiveTestNod*>(wheel.Get())->Link(rim.Get());
        static_cast<CArchiveTestNod*>(main.Get())->Link(wheel.Get())->Link(wheel.Get());
        CSystemEngine::AttachNodToFid(rim.Get(), SaveFile(rim.Get(), "Parts/Rim.Thing.Zun"));
        CSystemEngine::AttachNodToFid(wheel.Get(), SaveFile(wheel.Get(), "Cars/Wheel.Thing.Zun"));
        SaveFile(main.Get(), "Main.Thing.Zun");
    }
    // The referenced files are not in the tree any more: found on disk again.
    CSystemEngine::DeleteFid(m_Data->FindFid(u"Cars\\Wheel.Thing.Zun", false));
    CSystemEngine::DeleteFid(m_Data->FindFid(u"Parts\\Rim.Thing.Zun", false));

    CLogWatch log;
    CMwNodRef main = Load("Main.Thing.Zun");
    ASSERT_NE(main.Get(), nullptr);
    EXPECT_EQ(log.Since(), "");
    auto* loaded = static_cast<CArchiveTestNod*>(main.Get());
    ASSERT_EQ(loaded->m_Links.size(), 2u);
    auto* wheel = static_cast<CArchiveTestNod*>(loaded->m_Links[0].Get());
    EXPECT_EQ(loaded->m_Links[1].Get(), wheel);
    EXPECT_EQ(wheel->m_Value, 7u);
    EXPECT_EQ(wheel->GetFid(), m_Data->FindFid(u"Cars\\Wheel.Thing.Zun", false));
    ASSERT_EQ(wheel->m_Links.size(), 1u);
    EXPECT_EQ(static_cast<CArchiveTestNod*>(wheel->m_Links[0].Get())->m_Value, 3u);
    EXPECT_EQ(GetParamSetDepth(), 0u);

    // Loaded again: the referenced nods are the ones bound already.
    CSystemEngine::DetachNodFromFid(main.Get());
    CMwNodRef again = Load("Main.Thing.Zun");
    ASSERT_NE(again.Get(), nullptr);
    EXPECT_EQ(static_cast<CArchiveTestNod*>(again.Get())->m_Links[0].Get(), wheel);
    EXPECT_EQ(static_cast<CArchiveTestNod*>(wheel->m_Links[0].Get())->m_Value, 3u);
}

TEST_F(SystemRefResolveArchives, MissingReferencedArchiveFailsTheLoad) {
    {
        CMwNodRef wheel(new CArchiveTestNod), main(new CArchiveTestNod);
        static_cast<CArchiveTestNod*>(main.Get())->Link(wheel.Get());
        CSystemEngine::AttachNodToFid(wheel.Get(), SaveFile(wheel.Get(), "Cars/Wheel.Thing.Zun"));
        SaveFile(main.Get(), "Main.Thing.Zun");
    }
    std::filesystem::remove(m_Temp.File("GameData/Cars/Wheel.Thing.Zun"));

    // Without loading referenced files nothing is missed.
    CLogWatch log;
    Load("Main.Thing.Zun", kSystemArchiveLoadRawBody);
    EXPECT_EQ(log.Since(), "");
    CMwNodRef main = Load("Main.Thing.Zun");
    EXPECT_EQ(main.Get(), nullptr);
    EXPECT_EQ(log.Since(), "Could not find '" + Path("Cars/Wheel.Thing.Zun") + "'\r\n");
}

// A referenced archive that is damaged ends its nested load half-way through its body, while the
// caller's set, the referenced file's set and the set for its class are pushed: the load fails
// and every set pushed since the load began is gone, whatever depth the caller was at.
TEST_F(SystemRefResolveArchives, DamagedReferencedArchiveLeavesTheStackAsFound) {
    {
        CMwNodRef wheel(new CArchiveTestNod), main(new CArchiveTestNod);
        static_cast<CArchiveTestNod*>(wheel.Get())->m_Value = 7;
        static_cast<CArchiveTestNod*>(main.Get())->Link(wheel.Get());
        CSystemEngine::AttachNodToFid(wheel.Get(), SaveFile(wheel.Get(), "Cars/Wheel.Thing.Zun"));
        SaveFile(main.Get(), "Main.Thing.Zun");
    }
    CSystemFid* wheelFid = m_Data->FindFid(u"Cars\\Wheel.Thing.Zun", false);
    ASSERT_NE(wheelFid, nullptr);
    wheelFid->m_ParamSet.SetParam(CSystemParamId(kNight, 1));
    const std::string wheelFile = m_Temp.File("GameData/Cars/Wheel.Thing.Zun");
    const std::string whole = ReadWholeFile(wheelFile);
    CSystemEngine::DeleteFid(wheelFid);

    CSystemParamSet callers;
    callers.SetParam(CSystemParamId(kNight, 1));
    for (const u32 outerDepth : {0u, 2u}) {
        for (size_t cut : {whole.size() - 1, whole.size() / 2, size_t(12)}) {
            for (u32 k = 0; k < outerDepth; ++k)
                PushParamSet(&callers, false);
            WriteWholeFile(wheelFile, whole.substr(0, cut));
            CLogWatch log;
            CMwNodRef main = Load("Main.Thing.Zun");
            EXPECT_EQ(main.Get(), nullptr) << "cut at " << cut;
            EXPECT_NE(log.Since(), "") << "cut at " << cut;
            EXPECT_EQ(GetParamSetDepth(), outerDepth) << "cut at " << cut;
            EXPECT_EQ(SystemRefLoadDepth(), 0u) << "cut at " << cut;
            while (GetParamSetDepth() > 0)
                PopParamSet();
            CSystemEngine::DeleteFid(m_Data->FindFid(u"Cars\\Wheel.Thing.Zun", false));
        }
    }
    // Whole again, the same file loads under the caller's set.
    WriteWholeFile(wheelFile, whole);
    PushParamSet(&callers, false);
    CMwNodRef main = Load("Main.Thing.Zun");
    ASSERT_NE(main.Get(), nullptr);
    EXPECT_EQ(GetParamSetDepth(), 1u);
    PopParamSet();
}

} // namespace
