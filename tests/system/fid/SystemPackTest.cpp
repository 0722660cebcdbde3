// Pack descriptors and the pack manager: lookups in the data folder, in single-file and zip
// packs, the resolution of substituted names with its pending requests and callbacks, the
// requesters' lifetimes, dates, and the locator files the Net engine writes.
#include "system/fid/SystemPack.h"

#include "LoaderTestSupport.h"
#include "system/file/FileSystem.h"

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

constexpr u32 kCacheClass = CSystemFidCache::s_ClassId;
constexpr u32 kFolderClass = CSystemFids::s_ClassId;

// Zip containers as the Plug library installs them: the entries' file ids in a folder named
// after the zip beside it.
class CFakeZips : public CPlugFileServices {
public:
    CFakeZips() { SetPlugFileServices(this); }
    ~CFakeZips() { SetPlugFileServices(nullptr); }
    CFakeZips(const CFakeZips&) = delete;
    CFakeZips& operator=(const CFakeZips&) = delete;

    CSystemFids* InstallZip(CMwNod* zip, CSystemFids* folder) override {
        ++m_Installs;
        CSystemFids* entries = folder->FindOrAddSubFolder(u"Zipped\\", nullptr, false);
        for (const char16_t* name : m_EntryNames)
            m_Entries.push_back(GetSystemEngine()->GetFileFid(entries, name, nullptr));
        m_Installed[zip] = entries;
        return entries;
    }
    CSystemFids* GetZipInstallFolder(CMwNod* zip) override {
        const auto found = m_Installed.find(zip);
        return found == m_Installed.end() ? nullptr : found->second;
    }
    void UninstallZip(CMwNod* zip) override {
        ++m_Uninstalls;
        for (CSystemFid* fid : m_Entries)
            CSystemEngine::DeleteFid(fid);
        m_Entries.clear();
        m_Installed.erase(zip);
    }

    std::vector<const char16_t*> m_EntryNames;
    std::vector<CSystemFid*> m_Entries;
    std::map<CMwNod*, CSystemFids*> m_Installed;
    u32 m_Installs = 0;
    u32 m_Uninstalls = 0;
};

// What the manager's callbacks heard, in order.
struct SHeard {
    static inline std::vector<std::string> s_Calls;
    static std::string Name(CSystemPackDesc* desc) { return desc ? Narrow(desc->m_Name) : "null"; }
    static void Released(CSystemPackDesc* desc) { s_Calls.push_back("released " + Name(desc)); }
    static void Removed(CSystemPackDesc* desc) { s_Calls.push_back("removed " + Name(desc)); }
    static void Needed(CSystemPackDesc* desc, CSystemFid* fid) {
        s_Calls.push_back("needed " + Name(desc) + (fid ? " with a file" : ""));
    }
    static void Requester(CMwNod* object, CSystemPackDesc* desc, CMwNod* requester) {
        s_Calls.push_back(std::string("requester ") + Name(desc) + (object ? " object" : "") +
                          (requester ? " requester" : ""));
    }
};

class SystemPack : public CDataFolderFixture {
protected:
    void SetUp() override {
        CDataFolderFixture::SetUp();
        m_Links.m_Classes = {{".Cache.Zun", kCacheClass}, {".zip", kPlugFileZipClassId}};
        m_Manager = g_SystemPackManager;
        ASSERT_NE(m_Manager, nullptr);
        SHeard::s_Calls.clear();
    }
    void TearDown() override {
        m_Held.clear();
        CDataFolderFixture::TearDown();
    }
    // A descriptor held by the test.
    CSystemPackDesc* NewDesc(const char16_t* name) {
        auto* desc = new CSystemPackDesc;
        desc->m_Name = CClassicWideString(name);
        m_Held.emplace_back(desc);
        return desc;
    }
    void InstallCallbacks() {
        m_Manager->m_DescReleaseCallback = &SHeard::Released;
        m_Manager->m_PendingRemovedCallback = &SHeard::Removed;
        m_Manager->m_PackNeededCallback = &SHeard::Needed;
        m_Manager->m_RequesterCallback = &SHeard::Requester;
        m_Manager->m_RequesterCallbackObject = &m_CallbackObject;
    }

    CSystemPackManager* m_Manager = nullptr;
    CMwNod m_CallbackObject;
    std::vector<CMwNodRef> m_Held;
};

// A requester that counts its references as the test takes them.
struct CRequester {
    CRequester() : m_Nod(new CWatchedNod(&m_Destroyed)) { m_Nod->AddRef(); }
    ~CRequester() {
        if (!m_Destroyed)
            m_Nod->Release();
    }
    bool m_Destroyed = false;
    CMwNod* m_Nod;
};

// The launcher's case: no descriptor, no callback. A file of the data folder is found by its
// base name and class, anywhere the name's folders lead; otherwise the fallback stands.
TEST_F(SystemPack, WithoutDescriptorTheDataFolderAnswers) {
    CSystemFid* red = AddFile("Cars/Red.Cache.Zun");
    AddFile("Cars/Blue.Texture.dds");
    CSystemFid* fallback = AddFile("Default.Cache.Zun");
    ASSERT_NE(red, nullptr);
    CRequester requester;

    struct Case {
        const char* Name;
        u32 ClassId;
        CSystemFid* Expected;
        u32 Missing;
    };
    const Case cases[] = {
        {"Cars\\Red", kCacheClass, red, 0},
        {"cars\\RED", CMwNod::s_ClassId, red, 0}, // case ignored, any kind of the class
        {"Cars\\Red", kFolderClass, nullptr, 1},  // another class
        {"Cars\\Blue", kCacheClass, nullptr, 1},  // a file without a known class
        {"Red", kCacheClass, nullptr, 1},         // not in the data folder itself
        {"Trucks\\Red", kCacheClass, nullptr, 1}, // no such folder
    };
    for (const Case& c : cases) {
        u32 missing = 7;
        EXPECT_EQ(m_Manager->LookUp(nullptr, c.Name, c.ClassId, &missing, 1), c.Expected) << c.Name;
        EXPECT_EQ(missing, c.Missing) << c.Name;
        CSystemFid* resolved =
            m_Manager->ResolveFid(nullptr, c.Name, c.ClassId, fallback, requester.m_Nod);
        EXPECT_EQ(resolved, c.Expected ? c.Expected : fallback) << c.Name;
    }
    // A missing file counts as missing: no request waits for it, and the requester is free.
    EXPECT_EQ(m_Manager->GetPending().m_Count, 0u);
    EXPECT_EQ(requester.m_Nod->GetDependantCount(), 0u);
    EXPECT_EQ(m_Manager->ResolveFid(nullptr, "Gone", kCacheClass, nullptr, nullptr), nullptr);
    EXPECT_EQ(m_Manager->m_Changed, 0u);
}

// A pack that is awaited: inside it nothing is found and nothing is missing. The resolution tells
// the pack-needed callback (or, while the pack is transferred, the requester callback), and gives
// the fallback with a request that waits for the pack.
TEST_F(SystemPack, AwaitedPackGivesTheFallbackAndWaits) {
    InstallCallbacks();
    CSystemFid* fallback = AddFile("Default.Cache.Zun");
    AddFile("Red.Cache.Zun"); // in the data folder, not in the pack: not looked at
    CSystemPackDesc* pack = NewDesc(u"Pack");
    CRequester requester;

    u32 missing = 7;
    EXPECT_EQ(m_Manager->LookUp(pack, "Red", kCacheClass, &missing, 1), nullptr);
    EXPECT_EQ(missing, 0u);
    // Without waiting, a pack with neither folder nor file is missing unless it can be fetched.
    EXPECT_EQ(m_Manager->LookUp(pack, "Red", kCacheClass, &missing, 0), nullptr);
    EXPECT_EQ(missing, 1u);
    pack->m_Downloadable = 1;
    EXPECT_EQ(m_Manager->LookUp(pack, "Red", kCacheClass, &missing, 0), nullptr);
    EXPECT_EQ(missing, 0u);

    EXPECT_EQ(m_Manager->ResolveFid(pack, "Red", kCacheClass, fallback, requester.m_Nod), fallback);
    ASSERT_EQ(m_Manager->GetPending().m_Count, 1u);
    const SSystemPackPending& record = m_Manager->GetPending().m_Items[0];
    EXPECT_EQ(record.m_Desc, pack);
    EXPECT_EQ(std::string(record.m_Name.GetText()), "Red");
    EXPECT_EQ(record.m_ClassId, kCacheClass);
    EXPECT_EQ(record.m_Fid, fallback);
    EXPECT_EQ(record.m_Requester, requester.m_Nod);
    EXPECT_EQ(record.m_Kind, 0u);
    EXPECT_EQ(requester.m_Nod->GetDependantCount(), 1u);
    EXPECT_TRUE(m_Manager->IsPackDescPending(pack));
    // Without file the pack is in use while a request waits for it.
    EXPECT_TRUE(pack->IsInUse());

    pack->m_State = CSystemPackDesc::s_StateTransferring;
    EXPECT_EQ(m_Manager->ResolveFid(pack, "Red", kCacheClass, fallback, nullptr), fallback);
    EXPECT_EQ(m_Manager->GetPending().m_Count, 1u); // no requester: nothing waits
    EXPECT_EQ(SHeard::s_Calls, (std::vector<std::string>{"needed Pack", "requester Pack object"}));

    EXPECT_TRUE(m_Manager->RemovePendingOf(requester.m_Nod));
    EXPECT_FALSE(m_Manager->RemovePendingOf(requester.m_Nod));
    EXPECT_FALSE(m_Manager->IsPackDescPending(pack));
    EXPECT_EQ(SHeard::s_Calls.back(), "removed Pack");
    requester.m_Nod->RemoveDependant(m_Manager);
}

// A single-file pack answers with its own file when its class fits; a file it would hold is
// missing otherwise. A file found in a pack touches the pack's date.
TEST_F(SystemPack, SingleFilePack) {
    CFixedWallClock clock(1267783200001000000); // 2010-03-05 10:00:00.001 UTC
    CSystemFid* file = AddFile("Packs/Red.Cache.Zun", "0123456789");
    CSystemPackDesc* pack = NewDesc(u"Red");
    pack->m_Present = 1;
    pack->SetFid(file, 0);
    EXPECT_EQ(pack->m_ByteSize, 10u);
    EXPECT_EQ(pack->m_Folder, file->m_Folder);
    EXPECT_EQ(file->GetDependantCount(), 1u);

    u32 missing = 7;
    EXPECT_EQ(m_Manager->LookUp(pack, "Whatever", kFolderClass, &missing, 1), nullptr);
    EXPECT_EQ(missing, 1u);
    EXPECT_EQ(PackDateKey(pack->m_Date), 0u);
    EXPECT_EQ(m_Manager->LookUp(pack, "Whatever", kCacheClass, &missing, 1), file);
    EXPECT_EQ(missing, 0u);
    EXPECT_EQ(PackDateKey(pack->m_Date), 20100305100000001u);
    EXPECT_EQ(m_Manager->m_Changed, 1u);

    // In use only while its file holds a nod.
    EXPECT_FALSE(pack->IsInUse());
    CMwNod nod;
    nod.AddRef();
    CSystemEngine::AttachNodToFid(&nod, file);
    EXPECT_TRUE(pack->IsInUse());
    CSystemEngine::DetachNodAndFid(&nod, file);
}

// Found inside the pack, found only when not waiting for it (kind 1, given to a requester), or
// not found (kind 0 when the pack is not reported missing): the table of the resolution's roads.
TEST_F(SystemPack, ResolutionRoads) {
    CSystemFid* fallback = AddFile("Default.Cache.Zun");
    CSystemFid* file = AddFile("Packs/Red.Cache.Zun");
    struct Case {
        const char* What;
        u32 Present;
        u32 ClassId;
        u32 Bypass;
        bool WithRequester;
        bool GivesFile;
        i32 PendingKind; // -1: none
    };
    const Case cases[] = {
        {"present", 1, kCacheClass, 0, true, true, -1},
        {"present, bypassed", 1, kCacheClass, 1, true, false, 0},
        {"awaited, file there", 0, kCacheClass, 0, true, true, 1},
        {"awaited, file there, no requester", 0, kCacheClass, 0, false, false, -1},
        {"awaited, bypassed", 0, kCacheClass, 1, true, false, 0},
        {"awaited, another class", 0, kFolderClass, 0, true, false, 0},
        {"present, another class", 1, kFolderClass, 0, true, false, -1},
    };
    for (const Case& c : cases) {
        CSystemPackDesc* pack = NewDesc(u"Red");
        pack->SetFid(file, 0);
        pack->m_Present = c.Present;
        pack->m_Bypass = c.Bypass;
        m_Manager->m_Bypass = 1;
        CRequester requester;
        CMwNod* asker = c.WithRequester ? requester.m_Nod : nullptr;
        EXPECT_EQ(m_Manager->ResolveFid(pack, "Red", c.ClassId, fallback, asker),
                  c.GivesFile ? file : fallback)
            << c.What;
        const CFastBuffer<SSystemPackPending>& pending = m_Manager->GetPending();
        ASSERT_EQ(pending.m_Count, c.PendingKind < 0 ? 0u : 1u) << c.What;
        if (c.PendingKind >= 0) {
            EXPECT_EQ(pending.m_Items[0].m_Kind, u32(c.PendingKind)) << c.What;
            EXPECT_EQ(pending.m_Items[0].m_Fid, c.PendingKind == 1 ? file : fallback) << c.What;
        }
        m_Manager->ClearPending();
        EXPECT_EQ(requester.m_Nod->GetDependantCount(), 0u) << c.What;
        pack->SetFid(nullptr, 0);
    }
}

// A zip pack: its folder is the zip's, loaded once through the shared loader; the zip is not
// loaded to learn that a pack whose file holds no nod is not in use.
TEST_F(SystemPack, ZipPack) {
    CFakeZips zips;
    zips.m_EntryNames = {u"Red.Cache.Zun", u"Notes.txt"};
    CSystemFid* zipFile = AddFile("Packs/Cars.zip");
    m_Links.m_Loader.m_Load = [&](CMwNod** nod, CSystemFid* fid) -> i32 {
        *nod = new CMwNod;
        CSystemEngine::AttachNodToFid(*nod, fid);
        return 1;
    };
    CSystemPackDesc* pack = NewDesc(u"Cars");
    pack->m_Present = 1;
    pack->SetFid(zipFile, 0);

    EXPECT_FALSE(pack->IsInUse());
    EXPECT_EQ(m_Links.m_Loader.m_Loads, 0u);

    u32 missing = 7;
    CSystemFid* red = m_Manager->LookUp(pack, "Red", kCacheClass, &missing, 1);
    ASSERT_NE(red, nullptr);
    EXPECT_EQ(FullName(red), Narrow(DataPath("Packs/Zipped/Red.Cache.Zun")));
    EXPECT_EQ(m_Manager->LookUp(pack, "Blue", kCacheClass, &missing, 1), nullptr);
    EXPECT_EQ(missing, 1u);
    EXPECT_EQ(m_Links.m_Loader.m_Loads, 1u);
    EXPECT_EQ(zips.m_Installs, 1u);
    ASSERT_NE(pack->m_ZipFolderNod, nullptr);
    EXPECT_EQ(pack->m_ZipFolderNod->GetRefCount(), 1);

    // The zip is loaded (its file holds it), but no entry is: not in use; then an entry is.
    EXPECT_FALSE(pack->IsInUse());
    CMwNod nod;
    nod.AddRef();
    CSystemEngine::AttachNodToFid(&nod, red);
    EXPECT_TRUE(pack->IsInUse());
    CSystemEngine::DetachNodAndFid(&nod, red);

    // Unbinding lets the zip go with its entries.
    pack->SetFid(nullptr, 0);
    EXPECT_EQ(zips.m_Uninstalls, 1u);
    EXPECT_EQ(pack->m_ZipFolderNod, nullptr);
    EXPECT_EQ(zipFile->m_Nod, nullptr);
    EXPECT_EQ(zipFile->GetDependantCount(), 0u);

    // A zip that cannot be loaded is a pack with neither folder nor file.
    m_Links.m_Loader.m_Load = nullptr;
    pack->SetFid(zipFile, 0);
    EXPECT_EQ(m_Manager->LookUp(pack, "Red", kCacheClass, &missing, 1), nullptr);
    EXPECT_EQ(missing, 1u);
}

// Binding a file: the same one changes nothing; a new one is refreshed and tells whether it lies
// in the pack folder; a file id that goes is forgotten.
TEST_F(SystemPack, SetFid) {
    CSystemFid* inPacks = AddFile("Packs/Red.Cache.Zun", "12345");
    CSystemFid* outside = AddFile("Blue.Cache.Zun", "123");
    m_Manager->SetPackFolder(inPacks->m_Folder);
    CSystemPackDesc* pack = NewDesc(u"Red");

    pack->SetFid(inPacks, 0);
    EXPECT_EQ(pack->m_InPackFolder, 1u);
    EXPECT_EQ(pack->m_ByteSize, 5u);

    // The file grew on disk, but binding the same file again refreshes nothing.
    WriteWholeFile(m_Temp.File("GameData/Packs/Red.Cache.Zun"), "1234567");
    pack->SetFid(inPacks, 0);
    EXPECT_EQ(pack->m_ByteSize, 5u);
    EXPECT_EQ(m_Manager->m_Changed, 0u);

    // Either way the old file id forgets the descriptor.
    for (u32 keep : {0u, 1u}) {
        pack->SetFid(outside, keep);
        EXPECT_EQ(pack->m_InPackFolder, 0u);
        EXPECT_EQ(pack->m_ByteSize, 3u);
        EXPECT_EQ(inPacks->GetDependantCount(), 0u);
        EXPECT_EQ(outside->GetDependantCount(), 1u);
        pack->SetFid(inPacks, keep);
        EXPECT_EQ(pack->m_ByteSize, 7u);
        EXPECT_EQ(outside->GetDependantCount(), 0u);
    }
    EXPECT_EQ(m_Manager->GetPackDescOfFid(inPacks), nullptr); // not listed

    // The file id deleted (the Net engine's cache cleaning): the descriptor forgets it.
    m_Manager->AddPackDesc(pack);
    EXPECT_EQ(m_Manager->GetPackDescOfFid(inPacks), pack);
    EXPECT_EQ(m_Manager->GetPackDescOfFid(nullptr), nullptr);
    CSystemEngine::DeleteFid(inPacks);
    EXPECT_EQ(pack->m_Fid, nullptr);
    EXPECT_EQ(pack->m_Folder, nullptr);
    EXPECT_EQ(pack->m_ByteSize, 0u);
    EXPECT_FALSE(pack->IsInUse());
}

// Dates order by their decimal key, to the millisecond; the day of the week and the flag bits
// take no part.
TEST_F(SystemPack, DatesOldestFirst) {
    auto date = [](i32 year, u32 month, u32 day, u32 hour, u32 minute, u32 second, u32 ms,
                   u32 dayOfWeek) {
        PackedDateTime packed;
        packed.SetFromCivilTime({year, month, dayOfWeek, day, hour, minute, second, ms});
        return packed;
    };
    CSystemPackDesc a, b;
    struct Case {
        PackedDateTime A, B;
        i32 Expected;
    };
    const Case cases[] = {
        {date(2010, 3, 5, 10, 0, 0, 0, 5), date(2010, 3, 5, 10, 0, 0, 1, 5), -1},
        {date(2010, 3, 5, 10, 0, 0, 1, 5), date(2010, 3, 5, 10, 0, 0, 0, 5), 1},
        {date(2010, 3, 5, 10, 0, 0, 0, 5), date(2010, 3, 5, 10, 0, 0, 0, 2), 0},
        {date(2009, 12, 31, 23, 59, 59, 999, 4), date(2010, 1, 1, 0, 0, 0, 0, 5), -1},
        {date(2010, 3, 5, 9, 59, 59, 999, 5), date(2010, 3, 5, 10, 0, 0, 0, 5), -1},
        {date(65535, 12, 31, 23, 59, 59, 999, 0), date(2010, 1, 1, 0, 0, 0, 0, 5), 1},
    };
    for (const Case& c : cases) {
        a.m_Date = c.A;
        b.m_Date = c.B;
        a.m_Date.m_Word0 |= PackedDateTime::kWord0FlagBits;
        b.m_Date.m_Word1 |= PackedDateTime::kWord1FlagBits;
        EXPECT_EQ(ComparePackDescDates(&a, &b), c.Expected);
    }
    EXPECT_EQ(PackDateKey(date(2010, 3, 5, 10, 7, 9, 123, 5)), 20100305100709123u);
    EXPECT_EQ(PackDateKey(date(65535, 12, 31, 23, 59, 59, 999, 0)), 655351231235959999u);
    EXPECT_TRUE(IsZeroId(0));
    EXPECT_FALSE(IsZeroId(0x80000000));
}

// A requester with two pending requests: each release notification drops one record and one
// dependant entry, so that the requester goes with its last reference.
TEST_F(SystemPack, RequesterReleaseDropsOneRecordPerNotification) {
    InstallCallbacks();
    CSystemFid* fallback = AddFile("Default.Cache.Zun");
    CSystemPackDesc* first = NewDesc(u"First");
    CSystemPackDesc* second = NewDesc(u"Second");
    CRequester other;
    bool destroyed = false;
    CMwNod* requester = new CWatchedNod(&destroyed);
    requester->AddRef();
    m_Manager->ResolveFid(first, "Red", kCacheClass, fallback, requester);
    m_Manager->ResolveFid(second, "Red", kCacheClass, fallback, requester);
    m_Manager->ResolveFid(first, "Red", kCacheClass, fallback, other.m_Nod);
    ASSERT_EQ(m_Manager->GetPending().m_Count, 3u);
    EXPECT_EQ(requester->GetDependantCount(), 2u);
    SHeard::s_Calls.clear();

    requester->Release();
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(SHeard::s_Calls, (std::vector<std::string>{"removed First", "removed Second"}));
    ASSERT_EQ(m_Manager->GetPending().m_Count, 1u);
    EXPECT_EQ(m_Manager->GetPending().m_Items[0].m_Requester, other.m_Nod);

    // A requester destroyed outright takes its requests with it.
    bool gone = false;
    auto* deleted = new CWatchedNod(&gone);
    m_Manager->ResolveFid(second, "Red", kCacheClass, fallback, deleted);
    delete deleted;
    EXPECT_EQ(m_Manager->GetPending().m_Count, 1u);
    EXPECT_FALSE(m_Manager->IsPackDescPending(second));

    // Clearing lets the other requester go free.
    m_Manager->ClearPending();
    EXPECT_EQ(other.m_Nod->GetDependantCount(), 0u);
    EXPECT_EQ(SHeard::s_Calls.back(), "removed First");
}

// The descriptor list holds one reference each; clearing it tells the release callback in order.
TEST_F(SystemPack, ClearPackDescs) {
    InstallCallbacks();
    auto* first = new CSystemPackDesc;
    first->m_Name = CClassicWideString(u"First");
    auto* second = new CSystemPackDesc;
    second->m_Name = CClassicWideString(u"Second");
    second->AddRef(); // the test's own
    m_Manager->AddPackDesc(first);
    m_Manager->AddPackDesc(second);
    m_Manager->AddPackDesc(first);
    EXPECT_EQ(m_Manager->GetPackDescs().m_Count, 2u);
    EXPECT_EQ(first->GetRefCount(), 1);
    EXPECT_EQ(second->GetRefCount(), 2);

    const u32 live = CMwNod::GetLiveNodCount();
    m_Manager->ClearPackDescs();
    EXPECT_EQ(SHeard::s_Calls, (std::vector<std::string>{"released First", "released Second"}));
    EXPECT_EQ(m_Manager->GetPackDescs().m_Count, 0u);
    EXPECT_EQ(CMwNod::GetLiveNodCount(), live - 1); // the first is gone
    EXPECT_EQ(second->GetRefCount(), 1);
    second->Release();
}

// The bytes go to the file through a temporary file; a file that cannot be written stays as it
// was and the answer says so.
TEST_F(SystemPack, WriteBufferToFile) {
    const std::string target = m_Temp.File("GameData/Pack.zip.loc");
    const CClassicWideString path = DataPath("Pack.zip.loc");
    EXPECT_TRUE(CSystemPackManager::WriteBufferToFile("http://a.test/x", path));
    EXPECT_EQ(ReadWholeFile(target), "http://a.test/x");
    EXPECT_TRUE(CSystemPackManager::WriteBufferToFile("http://b.test/y?z", path));
    EXPECT_EQ(ReadWholeFile(target), "http://b.test/y?z");
    EXPECT_TRUE(CSystemPackManager::WriteBufferToFile("", path));
    EXPECT_EQ(ReadWholeFile(target), "");

    WriteWholeFile(target, "kept");
    ASSERT_EQ(chmod(target.c_str(), 0444), 0);
    EXPECT_FALSE(CSystemPackManager::WriteBufferToFile("lost", path));
    EXPECT_EQ(ReadWholeFile(target), "kept");
    EXPECT_FALSE(
        CSystemPackManager::WriteBufferToFile("lost", DataPath("No/Such/Folder/Pack.zip.loc")));
    // No temporary file is left beside the target.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_Temp.File("GameData")))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"Pack.zip.loc"});
}

// What the Net engine's file transfer does when a pack has arrived, through the operations it
// is given: the pack becomes present with its file, its locator file is written and known, its
// date is touched, and the descriptor's members tell its file, size and locator.
TEST_F(SystemPack, ArrivedPack) {
    CFixedWallClock clock(1267783200000000000); // 2010-03-05 10:00:00.000 UTC
    CSystemFid* file = AddFile("Packs/Red.Cache.Zun", "0123456789");
    auto* pack = new CSystemPackDesc;
    m_Manager->AddPackDesc(pack);
    m_Manager->SetPackFolder(file->m_Folder);
    pack->SetPendingTransfer(&m_CallbackObject);
    pack->m_State = CSystemPackDesc::s_StateTransferring;

    pack->m_Present = 1;
    pack->m_Url = CClassicString("http://packs.test/Red.Cache.Zun");
    pack->SetFid(file, 0);
    pack->SetPendingTransfer(nullptr);
    pack->m_State = 0;
    if (pack->m_Name.IsEmpty())
        pack->m_Name = CClassicWideString(u"Red");
    CClassicWideString locatorName;
    static_cast<CSystemFidFile*>(file)->GetFullFileName(locatorName);
    locatorName.Append(u".loc");
    EXPECT_TRUE(CSystemPackManager::WriteBufferToFile(pack->m_Url, locatorName));
    pack->SetLocatorFid(Engine().FindFidByFullPath(locatorName, true));
    pack->TouchDate();

    ASSERT_NE(pack->m_LocatorFid, nullptr);
    EXPECT_EQ(ReadWholeFile(m_Temp.File("GameData/Packs/Red.Cache.Zun.loc")),
              "http://packs.test/Red.Cache.Zun");
    EXPECT_EQ(pack->m_InPackFolder, 1u);
    EXPECT_EQ(pack->m_PendingTransfer, nullptr);
    EXPECT_EQ(PackDateKey(pack->m_Date), 20100305100000000u);
    EXPECT_EQ(m_Manager->GetPackDescOfFid(file), pack);

    EXPECT_EQ(ReadWide(*pack, "Name"), "Red");
    EXPECT_EQ(ReadWide(*pack, "FileName"), Narrow(DataPath("Packs/Red.Cache.Zun")));
    EXPECT_EQ(ReadWide(*pack, "LocatorFileName"), Narrow(DataPath("Packs/Red.Cache.Zun.loc")));
    CMwParamValue value;
    ASSERT_EQ(ReadMember(*pack, "Size", &value), MwParam_Ok);
    EXPECT_STREQ(static_cast<const CClassicString*>(value.Value)->GetText(), "10");

    // A lookup of the pack's file now finds it; the locator file id going is noticed.
    u32 missing = 7;
    EXPECT_EQ(m_Manager->LookUp(pack, "X", kCacheClass, &missing, 1), file);
    CSystemEngine::DeleteFid(pack->m_LocatorFid);
    EXPECT_EQ(pack->m_LocatorFid, nullptr);
    EXPECT_EQ(ReadWide(*pack, "LocatorFileName"), "");
}

// The pack manager lives from the engine's registration to its shutdown.
TEST_F(SystemPack, LivesWithTheRegisteredEngine) {
    EXPECT_EQ(m_Manager->GetClassId(), CSystemPackManager::s_ClassId);
    EXPECT_TRUE(m_Manager->IsKindOf(CMwNod::s_ClassId));
    EXPECT_EQ(Engine().CreateByClassId(CSystemPackManager::s_ClassId, nullptr, 0), nullptr);
    EXPECT_EQ(Engine().CreateByClassId(CSystemPackDesc::s_ClassId, nullptr, 0), nullptr);
    m_Host.reset();
    EXPECT_EQ(g_SystemPackManager, nullptr);
}

} // namespace
