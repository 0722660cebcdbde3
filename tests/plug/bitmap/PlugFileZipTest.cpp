// Zip archives as folders: the listing, installed file ids, entries read and loaded, the safe
// save, the header of an archive entry read through the zip, and packs. Archives are made by
// Python's zipfile (zip_fixtures.py) and saved archives checked by it and by unzip.
#include "plug/bitmap/PlugFileZip.h"

#include "core/nod/MwMemberPath.h"
#include "platform/Clock.h"
#include "plug/PlugStart.h"
#include "system/archive/SystemArchive.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFids.h"
#include "system/fid/SystemPack.h"
#include "tests/plug/PlugTestSupport.h"
#include "tests/plug/bitmap/PictureTestSupport.h"

#include <chrono>
#include <fstream>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

const std::string kFixtures =
    std::string(ENGINE_TEST_SOURCE_DIR) + "/tests/plug/bitmap/zip_fixtures.py";

std::string Fixtures(const std::string& arguments) {
    return RunCommand(std::string(ENGINE_TEST_PYTHON) + " " + kFixtures + " " + arguments);
}

CPlugTestWav* Wav(CMwNod* nod) {
    return static_cast<CPlugTestWav*>(nod);
}

// A fixed wall clock: 2021-03-04 05:06:08 UTC.
i64 FixedClock() {
    return i64(1614834368) * 1000000000;
}

struct SInode {
    ino_t Inode;
    std::string Bytes;
    bool operator==(const SInode&) const = default;
};

SInode Snapshot(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return {st.st_ino, ReadWholeFile(path)};
}

class PlugFileZip : public CPlugEngineFixture {
protected:
    void SetUp() override {
        CPlugEngineFixture::SetUp();
        PlugStart();
        m_OldClock = platform::SetWallClockSource(&FixedClock);
        setenv("TZ", "UTC", 1);
    }
    void TearDown() override {
        platform::SetWallClockSource(m_OldClock);
        PlugStop();
        CPlugEngineFixture::TearDown();
    }

    // Makes the archive of the kind as GameData/<name>.
    void Make(const std::string& kind, const std::string& name) {
        fs::create_directories(fs::path(HostFile(name)).parent_path());
        Fixtures("make " + kind + " " + HostFile(name));
    }
    // A zip nod bound to the file id of GameData/<name>, listed (held by the test).
    CPlugFileZip* Load(const std::string& name, i32 expected = 1) {
        auto* zip = new CPlugFileZip;
        m_Held.emplace_back(zip);
        CSystemFid* fid = Engine().GetFileFid(nullptr, Name(name), nullptr);
        EXPECT_NE(fid, nullptr);
        CSystemEngine::AttachNodToFid(zip, fid);
        EXPECT_EQ(zip->LoadFromPath(Name(name)), expected) << name;
        return zip;
    }
    static std::vector<std::string> Listed(CPlugFileZip* zip) {
        std::vector<std::string> names;
        for (u32 i = 0; i < zip->GetFileCount(); ++i)
            names.push_back(zip->GetFileInfo(i)->m_FileName.GetText());
        return names;
    }
    static std::string Read(CPlugFileZip* zip, CSystemFid* fid) {
        ZipEntryStream* stream = zip->OpenEntry(fid);
        if (!stream)
            return "<none>";
        std::string bytes(stream->GetSize(), '\0');
        bytes.resize(stream->Read(bytes.data(), u32(bytes.size())));
        EXPECT_TRUE(zip->CloseEntry(stream));
        return bytes;
    }
    CSystemFid* EntryFid(const std::string& path) {
        return Engine().FindFidByFullPath(Name(path), false);
    }

    std::vector<CMwNodRef> m_Held;
    platform::WallClockSource m_OldClock = nullptr;
};

// The listing: files in directory order, with their sizes and ratios; folders and empty files
// not listed but counted; names that could leave the install folder, are too long or empty
// skipped with a log line; archives that cannot be opened or announce nothing give 0 and the
// line of each case.
TEST_F(PlugFileZip, Listing) {
    Make("mixed", "Mixed.zip");
    CPlugFileZip* zip = Load("Mixed.zip");
    EXPECT_EQ(zip->m_NbFile, 7u);
    std::vector<std::string> expected;
    std::istringstream names(Fixtures("names " + HostFile("Mixed.zip")));
    for (std::string line; std::getline(names, line);)
        expected.push_back(line);
    // Python prints the UTF-8 names as the archive stores them.
    EXPECT_EQ(Listed(zip), expected);
    EXPECT_EQ(Listed(zip),
              (std::vector<std::string>{"Readme.txt", "Sounds/Engine.wav", "Skins/Blue/Car.tga",
                                        "Caf\xc3\xa9/Menu.wav", "Mixed/CaSe.Wav"}));
    ASSERT_EQ(zip->m_FileNames.m_Count, 5u);
    EXPECT_STREQ(zip->m_FileNames[3].GetText(), "Caf\xc3\xa9/Menu.wav");
    const CPlugFileZipInfo* readme = zip->GetFileInfo(0);
    EXPECT_EQ(readme->m_SizeUncomp, 1000u);
    EXPECT_LT(readme->m_SizeComp, 100u);
    EXPECT_EQ(readme->m_Ratio, readme->m_SizeComp * 100 / 1000);
    EXPECT_EQ(zip->GetFileInfo(1)->m_Ratio, 100u); // stored
    EXPECT_FALSE(zip->HasLoadFailed());

    // unzip agrees, less its folders and empty files.
    std::string unzip = RunCommand("unzip -Z1 " + HostFile("Mixed.zip"));
    for (const char* left : {"Sounds/\n", "Sounds/Empty.wav\n"})
        unzip.erase(unzip.find(left), std::strlen(left));
    std::string ours;
    for (const std::string& name : Listed(zip))
        ours += name + "\n";
    EXPECT_EQ(ours, unzip);

    Make("folders", "Folders.zip");
    zip = Load("Folders.zip");
    EXPECT_EQ(zip->GetFileCount(), 0u);
    EXPECT_EQ(zip->m_NbFile, 3u);

    {
        Make("unsafe", "Unsafe.zip");
        CLogWatch log;
        zip = Load("Unsafe.zip");
        EXPECT_EQ(Listed(zip), std::vector<std::string>{"Good.wav"});
        EXPECT_EQ(zip->m_NbFile, 9u);
        const std::string text = log.Since();
        for (const char* line : {"Zip entry not listed (name with a \".\" or \"..\" component): "
                                 "'../Evil.wav' in '",
                                 "Zip entry not listed (absolute name): '/Abs.wav'",
                                 "Zip entry not listed (name with a drive): 'C:Drive.wav'",
                                 "(name with a \".\" or \"..\" component): 'a/./b.wav'",
                                 "(name with a \".\" or \"..\" component): 'a/../b.wav'",
                                 "(empty folder name): 'a//b.wav'",
                                 "(name with a \".\" or \"..\" component): 'Dots/..'",
                                 "Zip entry not listed (name longer than 1024 bytes): 'xxx"})
            EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }

    // The failures: the path is kept, nothing listed, the nod's load failed.
    WriteWholeFile(HostFile("Damaged.zip"), "PK\x03\x04 not really a zip");
    Make("empty", "Empty.zip");
    const struct {
        const char* Name;
        const char* Line;
    } failures[] = {
        {"Damaged.zip", "Failed to load zip file: '"},
        {"Missing.zip", "Failed to load zip file: '"},
        {"Empty.zip", "Failed to load zip file (2): '"},
    };
    for (const auto& failure : failures) {
        CLogWatch log;
        zip = Load(failure.Name, 0);
        EXPECT_EQ(log.Since(), failure.Line + Narrow(Name(failure.Name)) + "'.\r\n");
        EXPECT_EQ(zip->GetFileCount(), 0u);
        EXPECT_EQ(zip->m_NbFile, 0u);
        EXPECT_TRUE(zip->HasLoadFailed());
        EXPECT_EQ(Narrow(zip->GetPath()), Narrow(Name(failure.Name)));
    }
}

// Installing: one file id per entry, in the sub-folder named after the archive; the zip is their
// loader and finds each entry again through it; a reload binds the same folder again; the
// uninstall deletes them. Entries named alike but for case share one file id.
TEST_F(PlugFileZip, InstallOpenAndUninstall) {
    Make("skins", "Cars/Skins.zip");
    CPlugFileZip* zip = Load("Cars/Skins.zip");
    CSystemFids* cars = Engine().GetDataFolder()->FindFolder(u"Cars", false);
    ASSERT_NE(cars, nullptr);
    zip->InstallFids(cars, true);
    CSystemFid* tga = EntryFid("Cars/Skins/a/b.tga");
    CSystemFid* top = EntryFid("Cars/Skins/Top.wav");
    ASSERT_NE(tga, nullptr);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(zip->GetInstallFolder(), cars->FindFolder(u"Skins", false));
    EXPECT_EQ(zip->GetFileInfo(0)->m_InstalledFid, tga);
    EXPECT_EQ(tga->GetLoader(), zip);
    std::string tgaBytes;
    for (int i = 0; i < 100; ++i)
        tgaBytes += "TGA";
    EXPECT_EQ(Read(zip, tga), tgaBytes);
    EXPECT_EQ(Read(zip, top), "wav 3");
    // A file id outside the install folder is no entry.
    EXPECT_EQ(zip->OpenEntry(Engine().GetFileFid(nullptr, Name("Top.wav"), nullptr)), nullptr);

    // Reloading rebinds the new entry objects to the same file ids.
    ASSERT_EQ(zip->LoadFromPath(Name("Cars/Skins.zip")), 1);
    EXPECT_EQ(zip->GetFileInfo(0)->m_InstalledFid, tga);
    EXPECT_EQ(zip->GetFileInfo(1)->m_InstalledFid, top);

    // A file id destroyed elsewhere is forgotten by its entry.
    CSystemEngine::DeleteFid(top);
    EXPECT_EQ(zip->GetFileInfo(1)->m_InstalledFid, nullptr);

    zip->UninstallFids();
    EXPECT_EQ(EntryFid("Cars/Skins/a/b.tga"), nullptr);
    EXPECT_EQ(zip->GetFileInfo(0)->m_InstalledFid, nullptr);
    EXPECT_EQ(zip->GetInstallFolder(), nullptr);
    EXPECT_EQ(zip->GetRefCount(), 1);

    // The actions: "Install" into the data folder itself, "Install In SubFolder" beside the zip.
    CMwMemberPath member;
    ASSERT_EQ(member.ParseFromText(CMwNod::s_NoClassId, zip, CClassicString("UiInstallFids")), 0u);
    EXPECT_EQ(zip->SetParam(&member, nullptr), 0u);
    EXPECT_NE(EntryFid("Top.wav"), nullptr);
    EXPECT_EQ(EntryFid("Top.wav")->GetLoader(), zip);
    ASSERT_EQ(
        member.ParseFromText(CMwNod::s_NoClassId, zip, CClassicString("UiInstallFidsInSubFolder")),
        0u);
    EXPECT_EQ(zip->SetParam(&member, nullptr), 0u);
    EXPECT_NE(EntryFid("Cars/Skins/a/b.tga"), nullptr);

    // Twins: the search ignores case, each entry is found where it was listed.
    Make("twins", "Twins.zip");
    CPlugFileZip* twins = Load("Twins.zip");
    EXPECT_EQ(Listed(twins), (std::vector<std::string>{"Case.wav", "CASE.WAV"}));
    twins->InstallFids(nullptr, true);
    CSystemFid* twin = EntryFid("Twins/case.wav");
    ASSERT_NE(twin, nullptr);
    EXPECT_EQ(Read(twins, twin), "wav 1");
    twins->UninstallFids();
    EXPECT_EQ(EntryFid("Twins/case.wav"), nullptr);
}

// The open files of the process.
size_t OpenFileCount() {
    return size_t(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// Entries read one after another share the archive's handle, yet always read the archive file
// as it is now: one put in its place or rewritten in place (same size) since the last entry is
// read afresh. Entries open at the same time each read their own; no handle outlives the
// install, even one whose entry was still open when the zip was uninstalled.
TEST_F(PlugFileZip, EntriesFollowTheArchiveFile) {
    const size_t filesBefore = OpenFileCount();
    Make("skins", "Skins.zip");
    CPlugFileZip* zip = Load("Skins.zip");
    zip->InstallFids(nullptr, true);
    CSystemFid* top = EntryFid("Skins/Top.wav");
    CSystemFid* tga = EntryFid("Skins/a/b.tga");
    ASSERT_NE(top, nullptr);
    ASSERT_NE(tga, nullptr);
    // An old date, so that a rewrite now changes it whatever the file system's clock grain.
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24);
    fs::last_write_time(HostFile("Skins.zip"), old);
    EXPECT_EQ(Read(zip, top), "wav 3");

    // The same entries with Top.wav of another value, stored: the archive keeps its size.
    const auto archiveWith = [&](const char* value) {
        fs::create_directories(HostFile("Make/a"));
        WriteWholeFile(HostFile("Make/Top.wav"), value);
        WriteWholeFile(HostFile("Make/a/b.tga"), "TGA");
        RunCommand("cd " + HostFile("Make") + " && rm -f New.zip && zip -q -X -0 New.zip " +
                   "a/b.tga Top.wav");
        return ReadWholeFile(HostFile("Make/New.zip"));
    };
    const std::string seven = archiveWith("wav 7");
    WriteWholeFile(HostFile("Replaced.zip"), seven);
    fs::rename(HostFile("Replaced.zip"), HostFile("Skins.zip"));
    EXPECT_EQ(Read(zip, top), "wav 7") << "put in place";
    EXPECT_EQ(Read(zip, tga), "TGA");

    const std::string eight = archiveWith("wav 8");
    ASSERT_EQ(eight.size(), seven.size());
    fs::last_write_time(HostFile("Skins.zip"), old);
    EXPECT_EQ(Read(zip, top), "wav 7");
    const auto inode = Snapshot(HostFile("Skins.zip")).Inode;
    {
        std::ofstream rewrite(HostFile("Skins.zip"), std::ios::binary | std::ios::in);
        rewrite.write(eight.data(), std::streamsize(eight.size()));
    }
    EXPECT_EQ(Snapshot(HostFile("Skins.zip")).Inode, inode);
    EXPECT_EQ(Read(zip, top), "wav 8") << "rewritten in place";

    // Two entries open at once, closed in the order they were opened; then read again.
    ZipEntryStream* first = zip->OpenEntry(tga);
    ZipEntryStream* second = zip->OpenEntry(top);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    char bytes[16] = {};
    EXPECT_EQ(std::string(bytes, second->Read(bytes, sizeof bytes)), "wav 8");
    EXPECT_EQ(std::string(bytes, first->Read(bytes, sizeof bytes)), "TGA");
    EXPECT_TRUE(zip->CloseEntry(first));
    EXPECT_TRUE(zip->CloseEntry(second));
    EXPECT_EQ(Read(zip, tga), "TGA");
    EXPECT_EQ(Read(zip, top), "wav 8");

    // An entry still open when the zip is uninstalled gives its handle up when it closes.
    ZipEntryStream* open = zip->OpenEntry(top);
    ASSERT_NE(open, nullptr);
    zip->UninstallFids();
    EXPECT_TRUE(zip->CloseEntry(open));
    EXPECT_EQ(OpenFileCount(), filesBefore);

    // A zip that goes while its handle is kept (its file ids, which hold it, cleared away with
    // their folder) closes it.
    {
        CMwNodRef other(new CPlugFileZip);
        auto* otherZip = static_cast<CPlugFileZip*>(other.Get());
        ASSERT_EQ(otherZip->LoadFromPath(Name("Skins.zip")), 1);
        otherZip->InstallFids(nullptr, true);
        EXPECT_EQ(Read(otherZip, EntryFid("Skins/Top.wav")), "wav 8");
        EXPECT_GT(OpenFileCount(), filesBefore);
        Engine().GetDataFolder()->Clear();
        EXPECT_EQ(otherZip->GetRefCount(), 1);
    }
    EXPECT_EQ(OpenFileCount(), filesBefore);
}

// Loading entries: a file of another format through the extension table and the guarded read
// (damaged: the default content), a ".Zun" entry as an archive, whose header is also read
// through the zip; a CRC mismatch and an encrypted entry fail with a log line.
TEST_F(PlugFileZip, LoadEntries) {
    {
        CMwNodRef wav(new CPlugTestWav);
        Wav(wav.Get())->m_Value = 31;
        CMwNodRef holder(new CPlugTestHolder);
        static_cast<CPlugTestHolder*>(holder.Get())->m_Links.emplace_back(wav.Get());
        CSystemArchive saver;
        ASSERT_EQ(
            saver.SaveNodToFile(Name("Scene.Holder.Zun"), holder.Get(), nullptr, 0, 7, false, true),
            1);
    }
    WriteWholeFile(HostFile("Bad.wav"), "damaged");
    RunCommand("cd " + HostFile("") +
               " && zip -q -X Pack.zip Scene.Holder.Zun Bad.wav && "
               "echo 'wav 41' > Good.wav && zip -q -X Pack.zip Good.wav && rm Scene.Holder.Zun "
               "Bad.wav Good.wav");
    Engine().GetDataFolder()->Clear();
    CPlugFileZip* zip = Load("Pack.zip");
    zip->InstallFids(nullptr, true);

    CSystemFid* scene = EntryFid("Pack/Scene.Holder.Zun");
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(scene->GetContentClassId(), CPlugTestHolder::s_ClassId);
    CMwNod* loaded = nullptr;
    ASSERT_EQ(zip->LoadFid(&loaded, scene), 1);
    ASSERT_NE(loaded, nullptr);
    CMwNodRef held(loaded);
    EXPECT_EQ(loaded->GetFid(), scene);
    // Its reference names a file the test did not put in the zip.
    ASSERT_EQ(static_cast<CPlugTestHolder*>(loaded)->m_Links.size(), 1u);

    CMwNod* good = nullptr;
    // "echo" adds a line end: the test reader takes digits only.
    CSystemFid* goodFid = EntryFid("Pack/Good.wav");
    ASSERT_NE(goodFid, nullptr);
    EXPECT_EQ(zip->LoadFid(&good, goodFid), 1);
    ASSERT_NE(good, nullptr);
    const CMwNodRef heldGood(good);
    EXPECT_EQ(good->GetFid(), goodFid);
    EXPECT_EQ(Wav(good)->m_Value, CPlugTestWav::s_DefaultValue);

    CMwNod* bad = nullptr;
    {
        CLogWatch log;
        EXPECT_EQ(zip->LoadFid(&bad, EntryFid("Pack/Bad.wav")), 1);
        ASSERT_NE(bad, nullptr);
        const CMwNodRef heldBad(bad);
        EXPECT_EQ(Wav(bad)->m_Value, CPlugTestWav::s_DefaultValue);
        EXPECT_TRUE(Wav(bad)->HasLoadFailed());
        EXPECT_NE(log.Since().find("Failed to load " + Narrow(Name("Pack/Bad.wav"))),
                  std::string::npos);
    }
    // Loading into a given nod reads into it (the reload road of CPlugFile).
    CMwNodRef again(new CPlugTestWav);
    CMwNod* into = again.Get();
    WriteWholeFile(HostFile("Sound.wav"), "wav 8");
    RunCommand("cd " + HostFile("") + " && zip -q -X Sounds.zip Sound.wav && rm Sound.wav");
    CPlugFileZip* sounds = Load("Sounds.zip");
    sounds->InstallFids(nullptr, false);
    EXPECT_EQ(sounds->LoadFid(&into, EntryFid("Sound.wav")), 1);
    EXPECT_EQ(into, again.Get());
    EXPECT_EQ(Wav(into)->m_Value, 8u);

    // Damage the CRC (local and central records) of the one entry; then mark it encrypted.
    std::string bytes = ReadWholeFile(HostFile("Sounds.zip"));
    for (size_t at : {size_t(14), bytes.find("PK\x01\x02") + 16})
        bytes[at] ^= 0x55;
    WriteWholeFile(HostFile("Sounds.zip"), bytes);
    ASSERT_EQ(sounds->LoadFromPath(Name("Sounds.zip")), 1);
    {
        CLogWatch log;
        CMwNod* nod = nullptr;
        EXPECT_EQ(sounds->LoadFid(&nod, EntryFid("Sound.wav")), 0);
        // The nod made for the entry stays bound to it; the test lets it go.
        const CMwNodRef made(nod);
        EXPECT_NE(log.Since().find("Zip entry CRC mismatch: '" + Narrow(Name("Sounds.zip"))),
                  std::string::npos)
            << log.Since();
    }
    for (size_t at : {size_t(14), bytes.find("PK\x01\x02") + 16})
        bytes[at] ^= 0x55;
    for (size_t at : {size_t(6), bytes.find("PK\x01\x02") + 8})
        bytes[at] |= 1;
    WriteWholeFile(HostFile("Sounds.zip"), bytes);
    ASSERT_EQ(sounds->LoadFromPath(Name("Sounds.zip")), 1);
    {
        CLogWatch log;
        EXPECT_EQ(sounds->OpenEntry(EntryFid("Sound.wav")), nullptr);
        EXPECT_NE(log.Since().find("Encrypted zip entry refused: 'Sound.wav'"), std::string::npos)
            << log.Since();
    }
}

// Pictures in a zip: TGA entries (deflated, stored) load through the zip into the same image as
// the file by path, and load again into their nod through its file id; a JPEG entry cannot be
// read from a stream (JPEG reads by path only) and loads as empty, logged, while the same bytes
// load by path.
TEST_F(PlugFileZip, PictureEntries) {
    Make("pictures", "Pictures.zip");
    CPlugFileZip* zip = Load("Pictures.zip");
    zip->InstallFids(nullptr, true);
    for (const auto& [entry, fixture] : {std::pair{"Pictures/Skins/Car.tga", "rgb24.tga"},
                                         std::pair{"Pictures/Skins/Cross.tga", "rle-cross.tga"}}) {
        SCOPED_TRACE(entry);
        CMwNodRef byPath(new CPlugFileTga);
        ASSERT_EQ(static_cast<CPlugFileTga*>(byPath.Get())->LoadFromPath(FixtureName(fixture)), 1);
        const std::vector<u8> expected = ImageBytes(*static_cast<CPlugFileTga*>(byPath.Get()));
        ASSERT_FALSE(expected.empty());

        CSystemFid* fid = EntryFid(entry);
        ASSERT_NE(fid, nullptr);
        CMwNod* nod = nullptr;
        EXPECT_EQ(zip->LoadFid(&nod, fid), 1);
        ASSERT_NE(nod, nullptr);
        const CMwNodRef held(nod);
        ASSERT_TRUE(nod->IsKindOf(CPlugFileTga::s_ClassId));
        auto* tga = static_cast<CPlugFileTga*>(nod);
        EXPECT_EQ(nod->GetFid(), fid);
        EXPECT_FALSE(tga->HasLoadFailed());
        EXPECT_EQ(ImageBytes(*tga), expected);
        tga->FreePixels();
        EXPECT_EQ(tga->EnsureLoaded(), 1);
        EXPECT_EQ(ImageBytes(*tga), expected);
    }

    CSystemFid* sky = EntryFid("Pictures/Photos/Sky.jpg");
    ASSERT_NE(sky, nullptr);
    CMwNod* nod = nullptr;
    CLogWatch log;
    EXPECT_EQ(zip->LoadFid(&nod, sky), 0);
    ASSERT_NE(nod, nullptr);
    const CMwNodRef held(nod);
    ASSERT_TRUE(nod->IsKindOf(CPlugFileJpg::s_ClassId));
    EXPECT_EQ(nod->GetFid(), sky);
    auto* jpg = static_cast<CPlugFileJpg*>(nod);
    EXPECT_TRUE(jpg->HasLoadFailed());
    EXPECT_EQ(jpg->m_Pixels, nullptr);
    EXPECT_EQ(log.Since(), "Failed to load " + Narrow(Name("Pictures/Photos/Sky.jpg")) + "\r\n");
    CMwNodRef byPath(new CPlugFileJpg);
    EXPECT_EQ(static_cast<CPlugFileJpg*>(byPath.Get())->LoadFromPath(FixtureName("colour420.jpg")),
              1);
}

// Saving an entry: the entry named alike but for case is replaced, deflated, last and dated by
// the clock; every other entry keeps its record and bytes; the archive is listed again.
TEST_F(PlugFileZip, SaveReplacesTheEntry) {
    Make("mixed", "Mixed.zip");
    fs::copy_file(HostFile("Mixed.zip"), HostFile("Before.zip"));
    CPlugFileZip* zip = Load("Mixed.zip");
    zip->InstallFids(nullptr, true);
    // The file id of an entry, spelled in another case.
    CSystemFid* fid = zip->GetInstallFolder()->FindOrAddFid(u"Skins\\Blue\\car.TGA", nullptr, true);
    ASSERT_NE(fid, nullptr);
    EXPECT_EQ(fid, zip->GetFileInfo(2)->m_InstalledFid);
    CMwNodRef wav(new CPlugTestWav);
    Wav(wav.Get())->m_Value = 1234;
    EXPECT_EQ(zip->SaveFid(wav.Get(), fid), 1);
    EXPECT_EQ(Fixtures("check " + HostFile("Before.zip") + " " + HostFile("Mixed.zip") +
                       " Skins/Blue/car.TGA 2021,3,4,5,6,8 " + "7761762031323334"),
              "ok\n");
    RunCommand("unzip -tq " + HostFile("Mixed.zip"));
    RunCommand("zipinfo " + HostFile("Mixed.zip"));
    EXPECT_EQ(RunCommand("unzip -p " + HostFile("Mixed.zip") + " Skins/Blue/car.TGA"), "wav 1234");
    // Listed again, in the same folder.
    EXPECT_EQ(zip->GetFileInfo(4)->m_FileName.GetText(), std::string("Skins/Blue/car.TGA"));
    EXPECT_EQ(zip->GetFileInfo(4)->m_InstalledFid, fid);
    EXPECT_EQ(Read(zip, fid), "wav 1234");

    // A missing archive starts anew with the entry alone.
    CPlugFileZip* fresh = Load("Fresh.zip", 0);
    fresh->InstallFids(nullptr, false);
    CSystemFid* made = Engine().GetFileFid(Engine().GetDataFolder(), u"Made.wav", nullptr);
    EXPECT_EQ(fresh->SaveFid(wav.Get(), made), 1);
    EXPECT_EQ(RunCommand("unzip -Z1 " + HostFile("Fresh.zip")), "Made.wav\n");
    RunCommand("unzip -tq " + HostFile("Fresh.zip"));
}

// Every failed save leaves the archive as it was (same bytes, same file) and no temporary file:
// a ".Zun" name, a read-only archive, a damaged one, one whose entry lies about its size, a nod
// that fails to write or throws, a zip without a file id of its own; a missing archive stays
// missing.
TEST_F(PlugFileZip, FailedSavesLeaveTheArchive) {
    Make("mixed", "Mixed.zip");
    CPlugFileZip* zip = Load("Mixed.zip");
    zip->InstallFids(nullptr, true);
    CSystemFids* folder = zip->GetInstallFolder();
    CSystemFid* wavFid = Engine().GetFileFid(folder, u"Saved.wav", nullptr);
    CSystemFid* zunFid = Engine().GetFileFid(folder, u"Saved.Holder.Zun", nullptr);
    CMwNodRef wav(new CPlugTestWav);

    const auto expectUntouched = [&](const char* what, CSystemFid* fid, const std::string& bytes,
                                     u32 mode) {
        SCOPED_TRACE(what);
        WriteWholeFile(HostFile("Mixed.zip"), bytes);
        chmod(HostFile("Mixed.zip").c_str(), mode);
        const SInode before = Snapshot(HostFile("Mixed.zip"));
        const auto names = m_Temp.Names();
        EXPECT_EQ(zip->SaveFid(wav.Get(), fid), 0);
        EXPECT_EQ(Snapshot(HostFile("Mixed.zip")), before);
        EXPECT_EQ(m_Temp.Names(), names);
        std::vector<std::string> files;
        for (const auto& entry : fs::directory_iterator(HostFile("")))
            files.push_back(entry.path().filename().string());
        std::sort(files.begin(), files.end());
        EXPECT_EQ(files, (std::vector<std::string>{"Mixed.zip"})) << what;
        chmod(HostFile("Mixed.zip").c_str(), 0644);
    };
    const std::string good = ReadWholeFile(HostFile("Mixed.zip"));
    expectUntouched("zun name", zunFid, good, 0644);
    expectUntouched("read-only", wavFid, good, 0444);
    expectUntouched("damaged", wavFid, "PK\x03\x04 damaged", 0644);
    // The stored entry "Sounds/Engine.wav" claims 5 000 compressed bytes in its directory record.
    std::string lying = good;
    const size_t central = lying.find("PK\x01\x02", lying.find("Sounds/Engine.wav"));
    const size_t record = lying.find("Sounds/Engine.wav", central) - 46;
    lying[record + 20] = char(0x88);
    lying[record + 21] = char(0x13);
    expectUntouched("lying sizes", wavFid, lying, 0644);
    Wav(wav.Get())->m_WriteMode = CPlugTestWav::WriteFails;
    expectUntouched("write fails", wavFid, good, 0644);
    Wav(wav.Get())->m_WriteMode = CPlugTestWav::WriteThrows;
    expectUntouched("write throws", wavFid, good, 0644);

    // Without a file id of its own the zip writes nothing.
    CSystemEngine::DetachNodFromFid(zip);
    Wav(wav.Get())->m_WriteMode = CPlugTestWav::WriteText;
    expectUntouched("no file id", wavFid, good, 0644);

    // A missing archive stays missing when the nod fails to write.
    CPlugFileZip* fresh = Load("Fresh.zip", 0);
    fresh->InstallFids(nullptr, false);
    Wav(wav.Get())->m_WriteMode = CPlugTestWav::WriteFails;
    EXPECT_EQ(fresh->SaveFid(wav.Get(), Engine().GetFileFid(nullptr, Name("New.wav"), nullptr)), 0);
    EXPECT_FALSE(fs::exists(HostFile("Fresh.zip")));
    // The whole archive is never written by path.
    EXPECT_EQ(zip->SaveToPath(Name("Other.zip")), 0);
    EXPECT_FALSE(fs::exists(HostFile("Other.zip")));
}

// Packs use real zips as folders: a plain file is its own answer, a zip is loaded once and
// installed beside the pack file (its ".Zun" entries found by class through their headers), a
// zip that cannot be loaded gives nothing, and the release takes the entries away.
TEST_F(PlugFileZip, PacksUseZipsAsFolders) {
    {
        CMwNodRef holder(new CPlugTestHolder);
        CSystemArchive saver;
        ASSERT_EQ(
            saver.SaveNodToFile(Name("Red.Holder.Zun"), holder.Get(), nullptr, 0, 7, false, true),
            1);
    }
    fs::create_directories(HostFile("Packs"));
    RunCommand("cd " + HostFile("") + " && zip -q -X Packs/Cars.zip Red.Holder.Zun && rm " +
               "Red.Holder.Zun");
    WriteWholeFile(HostFile("Packs/Broken.zip"), "not a zip");
    WriteWholeFile(HostFile("Packs/Plain.wav"), "wav 2");
    Engine().GetDataFolder()->Clear();
    CSystemFids* packs = Engine().GetDataFolder()->FindOrAddFolderPath(u"Packs\\", nullptr);
    ASSERT_NE(packs, nullptr);

    const auto pack = [&](const char16_t* file) {
        auto* desc = new CSystemPackDesc;
        m_Held.emplace_back(desc);
        desc->SetFid(Engine().GetFileFid(packs, file, nullptr), 0);
        return desc;
    };
    CSystemFids* folder = nullptr;
    CSystemFid* file = nullptr;

    CSystemPackDesc* plain = pack(u"Plain.wav");
    plain->GetZipFolder(&folder, &file);
    EXPECT_EQ(folder, nullptr);
    EXPECT_EQ(file, plain->m_Fid);

    CSystemPackDesc* broken = pack(u"Broken.zip");
    broken->GetZipFolder(&folder, &file);
    EXPECT_EQ(folder, nullptr);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(broken->m_ZipFolderNod, nullptr);

    CSystemPackDesc* cars = pack(u"Cars.zip");
    cars->m_Present = 1;
    cars->GetZipFolder(&folder, &file);
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(folder, packs->FindFolder(u"Cars", false));
    ASSERT_NE(cars->m_ZipFolderNod, nullptr);
    EXPECT_EQ(cars->m_ZipFolderNod->GetClassId(), CPlugFileZip::s_ClassId);
    CSystemFids* again = nullptr;
    cars->GetZipFolder(&again, &file);
    EXPECT_EQ(again, folder);

    // The entry is found by its base name and class: its header was read through the zip.
    EXPECT_NE(folder->FindFidByBaseName(u"Red", CPlugTestHolder::s_ClassId), nullptr);
    u32 missing = 7;
    CSystemFid* red =
        g_SystemPackManager->LookUp(cars, "Red", CPlugTestHolder::s_ClassId, &missing, 1);
    EXPECT_NE(red, nullptr);
    EXPECT_EQ(missing, 0u);

    cars->ReleaseZip();
    EXPECT_EQ(cars->m_ZipFolderNod, nullptr);
    EXPECT_EQ(folder->FindFid(u"Red.Holder.Zun", false), nullptr);
}

// Identity and members.
TEST_F(PlugFileZip, KindsAndMembers) {
    CMwNodRef zip(CMwClassRegistry::CreateNodById(0x09084000));
    ASSERT_TRUE(zip);
    for (u32 id : {0x09084000u, 0x09020000u, 0x0902B000u, 0x01001000u})
        EXPECT_TRUE(zip->IsKindOf(id)) << std::hex << id;
    ASSERT_EQ(zip->MemberCount(), 7u);
    const u32 ids[] = {0x01001000, 0x09020000, 0x09084000, 0x09084001,
                       0x09084002, 0x09084003, 0x09084004};
    for (u32 i = 0; i < 7; ++i)
        EXPECT_EQ(zip->MemberIdByIndex(i), ids[i]);
    const struct {
        u32 Id;
        const char* Name;
        const char* Label;
        u32 Type;
    } members[] = {
        {0x09084000, "FileNames", "FileNames", MwType_String + MwTypeBuffer},
        {0x09084001, "NbFile", "File count", MwType_Natural},
        {0x09084002, "FileInfos", "File Infos", MwType_Class + MwTypeBuffer},
        {0x09084003, "UiInstallFidsInSubFolder", "Install In SubFolder", MwType_Action},
        {0x09084004, "UiInstallFids", "Install", MwType_Action},
        {0x09085000, "FileName", "Filename", MwType_String},
        {0x09085001, "SizeUncomp", "Uncompressed Size", MwType_Natural},
        {0x09085002, "SizeComp", "Compressed Size", MwType_Natural},
        {0x09085003, "Ratio", "Ratio", MwType_Natural},
    };
    for (const auto& m : members) {
        const CMwMemberInfo* info = CMwClassRegistry::GetMemberInfo(m.Id);
        ASSERT_NE(info, nullptr) << std::hex << m.Id;
        EXPECT_STREQ(info->Name, m.Name);
        EXPECT_STREQ(info->Label, m.Label);
        EXPECT_EQ(info->TypeCode, m.Type) << m.Name;
    }
    CMwNodRef info(CMwClassRegistry::CreateNodById(0x09085000));
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->IsKindOf(0x0902B000));
    EXPECT_FALSE(info->IsKindOf(0x09020000));
    EXPECT_EQ(info->MemberCount(), 5u);
}

} // namespace
