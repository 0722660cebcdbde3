// Saving and loading nods through files, memory images and streams, copies and comparisons.
#include "platform/HostPath.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/PlugFileServices.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFids.h"
#include "system/fid/SystemParamSet.h"
#include "system/file/PathHelpers.h"
#include "tests/system/archive/ArchiveTestSupport.h"
#include "tests/system/engine/EngineTestSupport.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

CArchiveTestNod* NewNod(u32 value) {
    auto* nod = new CArchiveTestNod;
    nod->m_Value = value;
    return nod;
}

// An engine whose current folder is a temporary folder holding "GameData".
class SystemArchiveOps : public ArchiveEngineFixture {
protected:
    // Writes the file of resource 4 (NoBitmap.Texture.zun): a test nod of the value.
    void SaveNoBitmapResource(u32 value) {
        fs::create_directories(m_Temp.File("Resource/Media/Texture"));
        CMwNodRef nod(NewNod(value));
        CSystemArchive saver;
        ASSERT_EQ(saver.SaveNodToFile(m_Temp.Engine("Resource/Media/Texture/NoBitmap.Texture.zun"),
                                      nod.Get(), nullptr, 0, 7, false, false),
                  1);
    }
};

CArchiveTestNod* TestNod(const CMwNodRef& ref) {
    return static_cast<CArchiveTestNod*>(ref.Get());
}

std::string FullName(CSystemFid* fid) {
    CClassicWideString name;
    if (fid && fid->IsKindOf(CSystemFidFile::s_ClassId))
        static_cast<CSystemFidFile*>(fid)->GetFullFileName(name);
    return Narrow(name);
}

struct SFileStamp {
    ino_t Inode;
    timespec Modified;
};

SFileStamp Stamp(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return {st.st_ino, st.st_mtim};
}

// A new file id writes text; the file's nod is the saved nod from then on; loading it gives that
// nod without reading, and once the nod is gone reads the file again.
TEST_F(SystemArchiveOps, SaveAndLoadAFile) {
    CMwNodRef nod(NewNod(7));
    TestNod(nod)->m_Name = u"seven";
    CSystemArchive saver;
    ASSERT_EQ(saver.SaveNodToFile(Name("Sub/Seven.Thing.Zun"), nod.Get(), nullptr, 0,
                                  kSystemArchiveLoadFull, false, true),
              1);
    const std::string bytes = ReadWholeFile(HostFile("Sub/Seven.Thing.Zun"));
    EXPECT_EQ(bytes.substr(0, 9), std::string("ZUN\x06\x00TUUE", 9));
    ASSERT_NE(nod->GetFid(), nullptr);
    EXPECT_EQ(FullName(nod->GetFid()), Narrow(Name("Sub/Seven.Thing.Zun")));
    EXPECT_EQ(nod->GetFid()->m_ContentClassId, CArchiveTestNod::s_ClassId);

    {
        CSystemArchive loader;
        CMwNod* out = nullptr;
        ASSERT_EQ(loader.LoadNodFromFile(Name("sub/seven.thing.zun"), &out, nullptr,
                                         kSystemArchiveLoadFull, true),
                  1);
        EXPECT_EQ(out, nod.Get());
    }
    CSystemFid* fid = nod->GetFid();
    nod.Set(nullptr);
    EXPECT_EQ(fid->m_Nod, nullptr);
    CSystemArchive loader;
    CMwNod* out = nullptr;
    ASSERT_EQ(loader.LoadNodFromFile(Name("Sub/Seven.Thing.Zun"), &out, nullptr,
                                     kSystemArchiveLoadFull, true),
              1);
    const CMwNodRef loaded(out);
    EXPECT_EQ(TestNod(loaded)->m_Value, 7u);
    EXPECT_EQ(Narrow(TestNod(loaded)->m_Name), "seven");
    EXPECT_EQ(loaded->GetFid(), fid);
    EXPECT_TRUE(fid->IsText());
}

// Saving again without a change leaves the file as it is (same inode, same time) and says so; a
// change replaces the file.
TEST_F(SystemArchiveOps, SaveIfChangedLeavesAnUnchangedFile) {
    CMwNodRef nod(NewNod(1));
    const CClassicWideString name = Name("Config.Thing.Zun");
    CSystemArchive first;
    ASSERT_EQ(first.SaveNodToFile(name, nod.Get(), nullptr, 0, 7, true, true), 1);
    const std::string path = HostFile("Config.Thing.Zun");
    const std::string before = ReadWholeFile(path);
    const SFileStamp stamp = Stamp(path);

    CLogWatch log;
    CSystemArchive second;
    ASSERT_EQ(second.SaveNodToFile(name, nod.Get(), nullptr, 0, 7, true, true), 1);
    EXPECT_NE(log.Since().find("no change detected to " + Narrow(name) + "\r\n"), std::string::npos)
        << log.Since();
    const SFileStamp again = Stamp(path);
    EXPECT_EQ(again.Inode, stamp.Inode);
    EXPECT_EQ(again.Modified.tv_sec, stamp.Modified.tv_sec);
    EXPECT_EQ(again.Modified.tv_nsec, stamp.Modified.tv_nsec);
    EXPECT_EQ(nod->GetFid() != nullptr, true);

    TestNod(nod)->m_Value = 2;
    CSystemArchive third;
    ASSERT_EQ(third.SaveNodToFile(name, nod.Get(), nullptr, 0, 7, true, true), 1);
    EXPECT_NE(ReadWholeFile(path), before);
    // A file read as binary stays binary when it is saved again through the check.
    CSystemFid* fid = nod->GetFid();
    fid->SetFormat(false, false);
    CSystemArchive fourth;
    ASSERT_EQ(fourth.SaveNodToFile(name, nod.Get(), nullptr, 0, 7, true, true), 1);
    EXPECT_EQ(ReadWholeFile(path).substr(0, 9), std::string("ZUN\x06\x00"
                                                            "BUUE",
                                                            9));
}

// A nod saved under another name moves to the new file's id, with a line naming both.
TEST_F(SystemArchiveOps, SavingUnderAnotherNameMovesTheFileId) {
    CMwNodRef nod(NewNod(1));
    CSystemArchive first;
    ASSERT_EQ(first.SaveNodToFile(Name("A.Thing.Zun"), nod.Get(), nullptr, 0, 7, false, true), 1);
    CLogWatch log;
    CSystemArchive second;
    ASSERT_EQ(second.SaveNodToFile(Name("B.Thing.Zun"), nod.Get(), nullptr, 0, 7, false, true), 1);
    EXPECT_NE(log.Since().find("Saving " + Narrow(Name("A.Thing.Zun")) + " to " +
                               Narrow(Name("B.Thing.Zun")) + "\r\n"),
              std::string::npos)
        << log.Since();
    EXPECT_EQ(FullName(nod->GetFid()), Narrow(Name("B.Thing.Zun")));
    EXPECT_TRUE(fs::exists(HostFile("A.Thing.Zun")));
    EXPECT_TRUE(fs::exists(HostFile("B.Thing.Zun")));

    // A save for a file id of its own (a copy elsewhere) keeps the nod's file id.
    for (bool check : {false, true}) {
        CSystemArchive copy;
        ASSERT_EQ(copy.SaveNodToFile(Name(check ? "D.Thing.Zun" : "C.Thing.Zun"), nod.Get(),
                                     nullptr, 0, 7, check, false),
                  1);
        EXPECT_EQ(FullName(nod->GetFid()), Narrow(Name("B.Thing.Zun")));
    }
    EXPECT_EQ(ReadWholeFile(HostFile("C.Thing.Zun")), ReadWholeFile(HostFile("B.Thing.Zun")));
    EXPECT_EQ(ReadWholeFile(HostFile("D.Thing.Zun")), ReadWholeFile(HostFile("B.Thing.Zun")));
}

// A name without ".Zun" is for file-backed nods only; a read-only file is not replaced.
TEST_F(SystemArchiveOps, SavesThatFail) {
    CMwNodRef nod(NewNod(1));
    CLogWatch log;
    CSystemArchive text;
    EXPECT_EQ(text.SaveNodToFile(Name("Notes.txt"), nod.Get(), nullptr, 0, 7, false, true), 0);
    EXPECT_NE(log.Since().find("Error, zun without good ext : " + Narrow(Name("Notes.txt"))),
              std::string::npos);
    EXPECT_FALSE(fs::exists(HostFile("Notes.txt")));

    // A reference the table refuses leaves the file as it was.
    CSystemFid* loose = Engine().GetFileFid(Engine().m_ResourceFolder, u"Loose.Thing.Zun", nullptr);
    ASSERT_NE(loose, nullptr);
    CMwNodRef looseNod(NewNod(3));
    CSystemEngine::AttachNodToFid(looseNod.Get(), loose);
    CMwNodRef holder(NewNod(4));
    TestNod(holder)->Link(looseNod.Get());
    WriteWholeFile(HostFile("Holder.Thing.Zun"), "old holder");
    for (bool check : {false, true}) {
        SCOPED_TRACE(check);
        CSystemArchive refused;
        EXPECT_EQ(refused.SaveNodToFile(Name("Holder.Thing.Zun"), holder.Get(), nullptr, 0, 7,
                                        check, true),
                  0);
        EXPECT_EQ(ReadWholeFile(HostFile("Holder.Thing.Zun")), "old holder");
        EXPECT_EQ(holder->GetFid(), nullptr);
    }
    CSystemEngine::DetachNodFromFid(looseNod.Get());
    fs::remove(HostFile("Holder.Thing.Zun"));

    const std::string path = HostFile("Locked.Thing.Zun");
    WriteWholeFile(path, "old bytes");
    chmod(path.c_str(), 0444);
    for (bool check : {false, true}) {
        SCOPED_TRACE(check);
        CSystemArchive locked;
        EXPECT_EQ(
            locked.SaveNodToFile(Name("Locked.Thing.Zun"), nod.Get(), nullptr, 0, 7, check, false),
            0);
        EXPECT_EQ(ReadWholeFile(path), "old bytes");
    }
    // No temporary file is left behind.
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(m_Temp.File("GameData")))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 1u);
}

// A write that the memory image refuses (here past a lowered limit of memory streams) fails the
// save, also when smaller writes after it are taken: the file keeps its bytes.
TEST_F(SystemArchiveOps, ARefusedWriteFailsTheSaveAndKeepsTheFile) {
    CMwNodRef nod(NewNod(1));
    const CClassicWideString name = Name("Kept.Thing.Zun");
    const std::string path = HostFile("Kept.Thing.Zun");
    const auto save = [&](bool check) {
        CSystemArchive archive;
        return archive.SaveNodToFile(name, nod.Get(), nullptr, 0, 7, check, false);
    };
    ASSERT_EQ(save(false), 1);
    const std::string kept = ReadWholeFile(path);
    // The name is larger than the limit; the values after it fit.
    TestNod(nod)->m_Name = CClassicWideString(std::u16string(100000, u'n').c_str());
    TestNod(nod)->m_Value = 2;
    struct SLowerLimit {
        u32 m_Old = SetClassicBufferMemoryLimit(65536);
        SLowerLimit() { g_ClassicBufferPool.Clear(); } // pooled streams keep room beyond it
        ~SLowerLimit() { SetClassicBufferMemoryLimit(m_Old); }
    };
    for (bool check : {false, true}) {
        SCOPED_TRACE(check);
        const SLowerLimit lower;
        CLogWatch log;
        EXPECT_EQ(save(check), 0);
        EXPECT_EQ(ReadWholeFile(path), kept);
        EXPECT_NE(log.Since().find("[Archive] Stream took 0 of 100002 bytes"), std::string::npos)
            << log.Since();
    }
    EXPECT_EQ(save(true), 1);
    CMwNod* out = nullptr;
    CSystemArchive reader;
    ASSERT_EQ(reader.LoadNodFromFile(name, &out, nullptr, kSystemArchiveLoadFull, false), 1);
    const CMwNodRef loaded(out);
    EXPECT_EQ(TestNod(loaded)->m_Name.GetLength(), 100000u);
}

// The Plug library's file classes as a fake: ".tga" names the test's file-backed class, whose
// nods read and write their value as the file's text.
class CFakeTexFiles final : public CPlugFileServices {
public:
    CFakeTexFiles() { SetPlugFileServices(this); }
    ~CFakeTexFiles() { SetPlugFileServices(nullptr); }
    CFakeTexFiles(const CFakeTexFiles&) = delete;
    CFakeTexFiles& operator=(const CFakeTexFiles&) = delete;

    u32 ClassIdFromFileName(CClassicWideStringRef name) override {
        return PathEndsWith(name, ".tga") ? CArchiveTestPlugFile::s_ClassId : 0xFFFFFFFF;
    }
    bool LoadFromPath(CMwNod* file, CClassicWideStringRef path) override {
        ++m_Loads;
        const std::string text = ReadWholeFile(HostPathOf(path));
        if (text.rfind("tex ", 0) != 0)
            return false;
        static_cast<CArchiveTestNod*>(file)->m_Value = u32(std::stoul(text.substr(4)));
        return true;
    }
    u32 SaveToPath(CMwNod* file, CClassicWideStringRef path) override {
        ++m_Saves;
        WriteWholeFile(HostPathOf(path),
                       "tex " + std::to_string(static_cast<CArchiveTestNod*>(file)->m_Value));
        return 1;
    }

    u32 m_Loads = 0;
    u32 m_Saves = 0;

private:
    static std::string HostPathOf(CClassicWideStringRef path) {
        std::string host;
        EXPECT_TRUE(platform::ToHostPath(std::u16string_view(path.m_Text, path.m_Length), host));
        return host;
    }
};

// Files that are not archives are read and written by their file-backed nods: saved and bound,
// not replaced when read-only, loaded by class from the extension (a file that does not read
// leaves nothing bound), reloaded in place by the shared loader, and their class told without
// reading them. Other nods cannot be saved under such a name.
TEST_F(SystemArchiveOps, FilesOfOtherFormats) {
    CFakeTexFiles plug;
    CMwNodRef tex(new CArchiveTestPlugFile);
    TestNod(tex)->m_Value = 12;
    CSystemArchive saver;
    ASSERT_EQ(saver.SaveNodToFile(Name("Sky.tga"), tex.Get(), nullptr, 0, 7, false, true), 1);
    EXPECT_EQ(ReadWholeFile(HostFile("Sky.tga")), "tex 12");
    CSystemFid* fid = tex->GetFid();
    ASSERT_NE(fid, nullptr);
    EXPECT_EQ(FullName(fid), Narrow(Name("Sky.tga")));

    // Unchanged or not, a read-only file is not handed to the nod.
    chmod(HostFile("Sky.tga").c_str(), 0444);
    TestNod(tex)->m_Value = 13;
    CSystemArchive locked;
    EXPECT_EQ(locked.SaveNodToFile(Name("Sky.tga"), tex.Get(), nullptr, 0, 7, true, true), 0);
    EXPECT_EQ(plug.m_Saves, 1u);
    EXPECT_EQ(ReadWholeFile(HostFile("Sky.tga")), "tex 12");
    chmod(HostFile("Sky.tga").c_str(), 0644);

    // The shared loader reloads a nod bound to the file id in place.
    CMwNod* same = tex.Get();
    ASSERT_EQ(CSystemDummyFidLoader::Get()->LoadFid(&same, fid), 1);
    EXPECT_EQ(same, tex.Get());
    EXPECT_EQ(TestNod(tex)->m_Value, 12u);
    EXPECT_EQ(plug.m_Loads, 1u);
    // A file-backed nod bound to another file id is not reloaded: the file id's nod is made anew
    // (and the bound one given as it is).
    CSystemEngine::DetachNodFromFid(tex.Get());
    WriteWholeFile(HostFile("Moon.tga"), "tex 5");
    CSystemFid* moon = Engine().GetFileFid(nullptr, Name("Moon.tga"), nullptr);
    ASSERT_NE(moon, nullptr);
    CSystemEngine::AttachNodToFid(tex.Get(), moon);
    CMwNod* other = tex.Get();
    ASSERT_EQ(CSystemDummyFidLoader::Get()->LoadFid(&other, fid), 1);
    const CMwNodRef otherHeld(other);
    EXPECT_NE(other, tex.Get());
    EXPECT_EQ(TestNod(otherHeld)->m_Value, 12u);
    EXPECT_EQ(other->GetFid(), fid);
    EXPECT_EQ(tex->GetFid(), moon);
    CSystemEngine::DetachNodFromFid(tex.Get());
    delete CSystemDummyFidLoader::Get();

    // Loading by name gives the bound nod; once it is gone, a new nod reads the file.
    CSystemArchive loader;
    CMwNod* out = nullptr;
    ASSERT_EQ(loader.LoadNodFromFile(Name("Moon.tga"), &out, nullptr, 7, true), 1);
    const CMwNodRef loaded(out);
    EXPECT_EQ(loaded->GetClassId(), CArchiveTestPlugFile::s_ClassId);
    EXPECT_EQ(TestNod(loaded)->m_Value, 5u);
    EXPECT_EQ(loaded->GetFid(), moon);
    // A file the nod cannot read: nothing is bound, no nod stays.
    WriteWholeFile(HostFile("Bad.tga"), "not a tex");
    CSystemFid* badFid = Engine().GetFileFid(nullptr, Name("Bad.tga"), nullptr);
    const u32 before = CMwNod::GetLiveNodCount();
    CSystemArchive bad;
    out = reinterpret_cast<CMwNod*>(1);
    EXPECT_EQ(bad.LoadNodFromFile(Name("Bad.tga"), &out, nullptr, 7, true), 0);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(CMwNod::GetLiveNodCount(), before);
    EXPECT_EQ(badFid->m_Nod, nullptr);
    // The class of such a file comes from its name.
    CSystemArchive header;
    header.SetCurrentFid(badFid);
    EXPECT_TRUE(header.ReadFileHeader(kSystemArchiveLoadHeaderOnly, nullptr));
    EXPECT_EQ(badFid->m_ContentClassId, CArchiveTestPlugFile::s_ClassId);
}

// A damaged file fails its load and leaves no nod bound to the file: once mended, it loads.
TEST_F(SystemArchiveOps, FailedLoadLeavesNothingBound) {
    CMwNodRef nod(NewNod(5));
    CSystemArchive saver;
    ASSERT_EQ(saver.SaveNodToFile(Name("Five.Thing.Zun"), nod.Get(), nullptr,
                                  kSystemArchiveSaveRelease, 7, false, true),
              1);
    CSystemFid* fid = nod->GetFid();
    nod.Set(nullptr);
    const std::string path = HostFile("Five.Thing.Zun");
    const std::string good = ReadWholeFile(path);
    WriteWholeFile(path, good.substr(0, good.size() - 5));
    {
        CLogWatch log;
        CSystemArchive loader;
        CMwNod* out = reinterpret_cast<CMwNod*>(1);
        EXPECT_EQ(loader.LoadNodFromFile(Name("Five.Thing.Zun"), &out, nullptr, 7, true), 0);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(fid->m_Nod, nullptr);
        EXPECT_NE(log.Since().find("damaged or truncated"), std::string::npos);
    }
    WriteWholeFile(path, good);
    CSystemArchive loader;
    CMwNod* out = nullptr;
    EXPECT_EQ(loader.LoadNodFromFile(Name("Five.Thing.Zun"), &out, nullptr, 7, true), 1);
    const CMwNodRef loaded(out);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(TestNod(loaded)->m_Value, 5u);
}

// A and B refer to each other. Loading a damaged A loads B first, and B holds A's half-read nod:
// that nod outlives the failed load, but not as A's nod. The next load of A reads the file again
// and fails again; once mended, A loads.
TEST_F(SystemArchiveOps, FailedLoadOfAFileReferredBackLeavesNothingBound) {
    {
        CMwNodRef a(NewNod(1)), b(NewNod(2));
        TestNod(a)->Link(b.Get());
        TestNod(b)->Link(a.Get());
        // A, then B (A as a reference), then A again (B as a reference).
        for (bool isA : {true, false, true}) {
            CSystemArchive saver;
            ASSERT_EQ(saver.SaveNodToFile(Name(isA ? "A.Thing.Zun" : "B.Thing.Zun"),
                                          isA ? a.Get() : b.Get(), nullptr,
                                          kSystemArchiveSaveRelease, 7, false, true),
                      1);
        }
        TestNod(a)->m_Links.clear();
        TestNod(b)->m_Links.clear();
    }
    const std::string path = HostFile("A.Thing.Zun");
    const std::string good = ReadWholeFile(path);
    WriteWholeFile(path, good.substr(0, good.size() - 5));
    CSystemFid* fid = nullptr;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        CLogWatch log;
        CSystemArchive loader;
        CMwNod* out = reinterpret_cast<CMwNod*>(1);
        EXPECT_EQ(loader.LoadNodFromFile(Name("A.Thing.Zun"), &out, nullptr, 7, true), 0);
        EXPECT_EQ(out, nullptr);
        EXPECT_NE(log.Since().find("damaged or truncated"), std::string::npos) << log.Since();
        CSystemFidFile probe;
        probe.SetFileName(Name("A.Thing.Zun"));
        probe.m_Folder = Engine().m_LocalDrive;
        probe.PlaceFromRoot(0);
        fid = CSystemEngine::FindEqualLeaf(&probe);
        probe.m_Folder = nullptr;
        ASSERT_NE(fid, nullptr);
        EXPECT_EQ(fid->m_Nod, nullptr);
    }
    WriteWholeFile(path, good);
    CSystemArchive loader;
    CMwNod* out = nullptr;
    ASSERT_EQ(loader.LoadNodFromFile(Name("A.Thing.Zun"), &out, nullptr, 7, true), 1);
    const CMwNodRef loaded(out);
    EXPECT_EQ(TestNod(loaded)->m_Value, 1u);
    EXPECT_EQ(loaded->GetFid(), fid);
    // Its link is B, loaded before and holding the nod of the failed load.
    ASSERT_EQ(TestNod(loaded)->m_Links.size(), 1u);
    CArchiveTestNod* b = static_cast<CArchiveTestNod*>(TestNod(loaded)->m_Links[0].Get());
    EXPECT_EQ(b->m_Value, 2u);
    // The cycle of the two nods is broken so that they go.
    b->m_Links.clear();
}

// A file's header tells its class before anything loads it.
TEST_F(SystemArchiveOps, ContentClassFromTheHeader) {
    CMwNodRef nod(new CArchiveTestBitmap);
    CSystemArchive saver;
    ASSERT_EQ(saver.SaveNodToFile(Name("Pic.Thing.Zun"), nod.Get(), nullptr, 0, 7, false, false),
              1);
    nod.Set(nullptr);
    CSystemFid* fid = Engine().GetFileFid(nullptr, Name("Pic.Thing.Zun"), nullptr);
    ASSERT_NE(fid, nullptr);
    EXPECT_EQ(fid->GetContentClassId(), CArchiveTestBitmap::s_ClassId);
    EXPECT_EQ(fid->GetHeaderBlobState(), kSystemFidBlobAbsent);
}

// Zips whose entries the services open: one stream per open, each given back.
class CFakeZipEntries final : public CPlugFileServices {
public:
    CFakeZipEntries() { SetPlugFileServices(this); }
    ~CFakeZipEntries() { SetPlugFileServices(nullptr); }
    CFakeZipEntries(const CFakeZipEntries&) = delete;
    CFakeZipEntries& operator=(const CFakeZipEntries&) = delete;

    CClassicBuffer* OpenZipEntry(CMwNod* zip, CSystemFid*) override {
        if (zip != m_Zip)
            return nullptr;
        ++m_Opened;
        auto* stream = new CClassicBufferMemory;
        stream->Write(m_Image.data(), u32(m_Image.size()));
        stream->Rewind();
        return stream;
    }
    void CloseZipEntry(CMwNod* zip, CClassicBuffer* stream) override {
        EXPECT_EQ(zip, m_Zip);
        ++m_Closed;
        delete stream;
    }

    CMwNod* m_Zip = nullptr;
    std::string m_Image;
    u32 m_Opened = 0;
    u32 m_Closed = 0;
};

// The header of an archive inside a zip is read through the zip, which opens and closes the
// entry; a loader of another kind has no entries to read.
TEST_F(SystemArchiveOps, HeaderOfAZipEntry) {
    CMwNodRef nod(new CArchiveTestBitmap);
    CClassicBufferMemory image;
    CSystemArchive saver;
    ASSERT_EQ(saver.SaveToMemory(&image, nod.Get(), 0), 1);
    CFakeZipEntries zips;
    CMwNodRef zip(new CMwNod), other(new CMwNod);
    zips.m_Zip = zip.Get();
    zips.m_Image.assign(reinterpret_cast<const char*>(image.GetData()), image.GetSize());

    CSystemFid* entry = Engine().GetFileFid(nullptr, Name("Zipped/Pic.Thing.Zun"), nullptr);
    ASSERT_NE(entry, nullptr);
    entry->SetLoader(zip.Get());
    EXPECT_EQ(entry->GetContentClassId(), CArchiveTestBitmap::s_ClassId);
    EXPECT_EQ(zips.m_Opened, 1u);
    EXPECT_EQ(zips.m_Closed, 1u);

    // A damaged entry: no class, the entry given back all the same.
    zips.m_Image.resize(5);
    entry->ClearHeader();
    EXPECT_EQ(entry->GetContentClassId(), CSystemFid::s_UnknownClassId);
    EXPECT_EQ(zips.m_Closed, 2u);

    entry->ClearHeader();
    entry->SetLoader(other.Get());
    EXPECT_EQ(entry->GetContentClassId(), CSystemFid::s_UnknownClassId);
    EXPECT_EQ(zips.m_Opened, 2u);
    entry->SetLoader(nullptr);
}

// Memory images: a nod copied through memory keeps its file id; the copy is a new tree.
TEST_F(SystemArchiveOps, DuplicateAndCompare) {
    CMwNodRef nod(NewNod(1));
    CMwNodRef child(NewNod(2));
    TestNod(nod)->Link(child.Get())->Link(child.Get());
    CSystemArchive saver;
    ASSERT_EQ(saver.SaveNodToFile(Name("Dup.Thing.Zun"), nod.Get(), nullptr, 0, 7, false, true), 1);
    CSystemFid* fid = nod->GetFid();

    CMwNod* copy = nod.Get();
    ASSERT_EQ(DuplicateNod(&copy, false), 1);
    const CMwNodRef held(copy);
    ASSERT_NE(copy, nod.Get());
    EXPECT_EQ(copy->GetFid(), nullptr);
    EXPECT_EQ(nod->GetFid(), fid);
    ASSERT_EQ(TestNod(held)->m_Links.size(), 2u);
    EXPECT_NE(TestNod(held)->m_Links[0].Get(), child.Get());
    EXPECT_EQ(TestNod(held)->m_Links[0].Get(), TestNod(held)->m_Links[1].Get());
    u32 equal = 7;
    EXPECT_EQ(CompareNods(nod.Get(), copy, &equal), 0);
    EXPECT_EQ(equal, 1u);
    TestNod(held)->m_Value = 9;
    EXPECT_EQ(CompareNods(nod.Get(), copy, &equal), 0);
    EXPECT_EQ(equal, 0u);
    CMwNodRef other(new CArchiveTestBitmap);
    EXPECT_EQ(CompareNods(nod.Get(), other.Get(), &equal), 0);
    EXPECT_EQ(equal, 0u);

    // Kept file id: the copy takes it over.
    CMwNod* inPlace = nod.Get();
    ASSERT_EQ(DuplicateNod(&inPlace, true), 1);
    const CMwNodRef second(inPlace);
    EXPECT_EQ(inPlace->GetFid(), fid);
    EXPECT_EQ(nod->GetFid(), nullptr);
    // No memory file id is left behind.
    EXPECT_EQ(Engine().m_MemoryFids->m_Leaves.m_Count, 0u);
}

// A copy that cannot be loaded back (the test nods refuse a link to a nod whose body is being
// read, and this nod links itself) answers 0 and null, in place or not; the original keeps its
// file id and no memory file id is left behind.
TEST_F(SystemArchiveOps, DuplicateThatFailsAnswersZero) {
    CMwNodRef nod(NewNod(1));
    TestNod(nod)->Link(nod.Get());
    CSystemArchive saver;
    ASSERT_EQ(saver.SaveNodToFile(Name("Self.Thing.Zun"), nod.Get(), nullptr, 0, 7, false, true),
              1);
    CSystemFid* fid = nod->GetFid();
    ASSERT_NE(fid, nullptr);
    for (bool keepFid : {false, true}) {
        SCOPED_TRACE(keepFid);
        const u32 before = CMwNod::GetLiveNodCount();
        CLogWatch log;
        CMwNod* copy = nod.Get();
        EXPECT_EQ(DuplicateNod(&copy, keepFid), 0);
        EXPECT_EQ(copy, nullptr);
        EXPECT_NE(log.Since().find("A link back to a nod being read"), std::string::npos);
        EXPECT_EQ(nod->GetFid(), fid);
        EXPECT_EQ(fid->m_Nod, nod.Get());
        EXPECT_EQ(CMwNod::GetLiveNodCount(), before);
        EXPECT_EQ(Engine().m_MemoryFids->m_Leaves.m_Count, 0u);
    }
    TestNod(nod)->m_Links.clear();
}

// A memory image saved through a memory file id loads back; the engine keeps one file id per
// buffer.
TEST_F(SystemArchiveOps, MemoryImages) {
    CMwNodRef nod(NewNod(3));
    CClassicBufferMemory buffer;
    CSystemArchive saver;
    ASSERT_EQ(saver.SaveToMemory(&buffer, nod.Get(), kSystemArchiveSaveRelease), 1);
    EXPECT_EQ(BytesOf(buffer).substr(0, 9), std::string("ZUN\x06\x00"
                                                        "BUUR",
                                                        9));
    CSystemArchive again;
    EXPECT_EQ(again.SaveToMemory(&buffer, nod.Get(), 0), 0); // the buffer has its file id
    // Loading the buffer gives the nod bound to its file id.
    CSystemArchive loader;
    CMwNod* out = nullptr;
    ASSERT_EQ(loader.LoadFromMemory(&buffer, &out), 1);
    EXPECT_EQ(out, nod.Get());
    Engine().ReleaseMemoryFid(&buffer);
    EXPECT_EQ(nod->GetFid(), nullptr);

    CMwNod* copy = nullptr;
    ASSERT_EQ(LoadNodFromMemoryBuffer(&buffer, &copy), 1);
    const CMwNodRef held(copy);
    EXPECT_EQ(TestNod(held)->m_Value, 3u);
    EXPECT_EQ(copy->GetFid(), nullptr);
    EXPECT_EQ(Engine().m_MemoryFids->m_Leaves.m_Count, 0u);
}

// A file that refers to a loaded file finds its nod through the folder tree.
TEST_F(SystemArchiveOps, ReferencesBetweenFiles) {
    CMwNodRef part(NewNod(2));
    CSystemArchive partSaver;
    ASSERT_EQ(partSaver.SaveNodToFile(Name("Parts/Wheel.Thing.Zun"), part.Get(), nullptr, 0, 7,
                                      false, true),
              1);
    CMwNodRef main(NewNod(1));
    TestNod(main)->Link(part.Get());
    CSystemArchive mainSaver;
    ASSERT_EQ(
        mainSaver.SaveNodToFile(Name("Cars/Car.Thing.Zun"), main.Get(), nullptr, 0, 7, false, true),
        1);
    const std::string text = ReadWholeFile(HostFile("Cars/Car.Thing.Zun"));
    EXPECT_NE(text.find("1\r\n1\r\n2\r\nCars\r\n0\r\nParts\r\n0\r\n1\r\nWheel.Thing.Zun\r\n"),
              std::string::npos)
        << text;
    main.Set(nullptr);
    CSystemArchive loader;
    CMwNod* out = nullptr;
    ASSERT_EQ(loader.LoadNodFromFile(Name("Cars/Car.Thing.Zun"), &out, nullptr, 7, true), 1);
    const CMwNodRef loaded(out);
    ASSERT_EQ(TestNod(loaded)->m_Links.size(), 1u);
    EXPECT_EQ(TestNod(loaded)->m_Links[0].Get(), part.Get());
}

// A resource loads once; later requests give the nod its file id holds.
TEST_F(SystemArchiveOps, ResourcesLoadOnce) {
    SaveNoBitmapResource(44);
    CMwNod* first = nullptr;
    CSystemArchive loader;
    ASSERT_EQ(loader.LoadResource(kSystemResourceIdBase | 4, &first), 1);
    const CMwNodRef held(first);
    EXPECT_EQ(static_cast<CArchiveTestNod*>(first)->m_Value, 44u);
    EXPECT_EQ(first->GetFid(), Engine().GetResourceFid(kSystemResourceIdBase | 4));
    const std::string resourceBytes =
        ReadWholeFile(m_Temp.File("Resource/Media/Texture/NoBitmap.Texture.zun"));
    fs::remove(m_Temp.File("Resource/Media/Texture/NoBitmap.Texture.zun"));
    CMwNod* again = nullptr;
    CSystemArchive second;
    EXPECT_EQ(second.LoadResource(kSystemResourceIdBase | 4, &again), 1);
    EXPECT_EQ(again, first);
    for (u32 index : {0u, 1u, 44u, 45u}) {
        CMwNod* none = reinterpret_cast<CMwNod*>(1);
        CSystemArchive archive;
        EXPECT_EQ(archive.LoadResource(kSystemResourceIdBase | index, &none), 0);
        EXPECT_EQ(none, nullptr);
    }

    // Saved under a name of its own, the nod leaves the resource's file id, which the table
    // keeps: the entry is still there for the next load.
    CSystemFid* entry = Engine().GetResourceFid(kSystemResourceIdBase | 4);
    CSystemArchive mover;
    ASSERT_EQ(mover.SaveNodToFile(Name("Copy.Texture.Zun"), first, nullptr, 0, 7, false, true), 1);
    EXPECT_EQ(FullName(first->GetFid()), Narrow(Name("Copy.Texture.Zun")));
    ASSERT_EQ(Engine().GetResourceFid(kSystemResourceIdBase | 4), entry);
    EXPECT_EQ(entry->m_Nod, nullptr);
    EXPECT_TRUE(entry->m_Folder->HasLeaf(entry));
    WriteWholeFile(m_Temp.File("Resource/Media/Texture/NoBitmap.Texture.zun"), resourceBytes);
    CMwNod* reloaded = nullptr;
    CSystemArchive third;
    EXPECT_EQ(third.LoadResource(kSystemResourceIdBase | 4, &reloaded), 1);
    const CMwNodRef heldAgain(reloaded);
    EXPECT_NE(reloaded, first);
    EXPECT_EQ(static_cast<CArchiveTestNod*>(reloaded)->m_Value, 44u);
}

// A file loaded under a required record that its new file id does not suit goes to an alias. The
// file id stays in its folder with its aliases, so loading again under the same value answers the
// nod already loaded (the file is not read again), and each value keeps its own nod.
TEST_F(SystemArchiveOps, LoadsUnderAParameterSetFindTheirNod) {
    const auto save = [&](u32 value) {
        CMwNodRef nod(NewNod(value));
        CSystemArchive saver;
        ASSERT_EQ(
            saver.SaveNodToFile(Name("Set.Thing.Zun"), nod.Get(), nullptr, 0, 7, false, false), 1);
    };
    const auto loadUnder = [&](u32 value) {
        CSystemParamId record(CArchiveTestNod::s_ParamId, value);
        record.m_Required = 1;
        CSystemParamSet set;
        set.SetParam(record);
        CSystemParamStackScope scope;
        PushParamSet(&set, false);
        CSystemArchive loader;
        CMwNod* out = nullptr;
        EXPECT_EQ(loader.LoadNodFromFile(Name("Set.Thing.Zun"), &out, nullptr, 7, true), 1);
        return CMwNodRef(out);
    };
    save(1);
    const CMwNodRef first = loadUnder(1);
    ASSERT_TRUE(first);
    save(2); // read again, the file would give another value
    const CMwNodRef second = loadUnder(2);
    ASSERT_TRUE(second);
    EXPECT_NE(second.Get(), first.Get());
    EXPECT_EQ(TestNod(second)->m_Value, 2u);
    for (u32 value : {1u, 2u, 1u, 2u}) {
        const CMwNodRef again = loadUnder(value);
        EXPECT_EQ(again.Get(), (value == 1 ? first : second).Get()) << value;
    }
    EXPECT_EQ(TestNod(first)->m_Value, 1u);

    // The file's own file id is a leaf of its folder and the master of both aliases.
    CSystemFid* alias = first->GetFid();
    ASSERT_NE(alias, nullptr);
    CSystemFid* master = alias->m_Master;
    ASSERT_NE(master, nullptr);
    EXPECT_EQ(FullName(master), Narrow(Name("Set.Thing.Zun")));
    ASSERT_NE(master->m_Folder, nullptr);
    EXPECT_TRUE(master->m_Folder->HasLeaf(master));
    EXPECT_EQ(master->m_Aliases.m_Count, 2u);
    EXPECT_EQ(second->GetFid()->m_Master, master);
    EXPECT_EQ(GetParamSetDepth(), 0u);
}

// Case twins: A.Thing.Zun and a.Thing.Zun both on disk are two files, each with its own file id
// and nod, and a save of one never writes the other. A spelling on disk nowhere reaches the first
// twin in byte order, as an open does. Inside a path, a folder wins over a file of the same folded
// name.
TEST_F(SystemArchiveOps, CaseTwinsAreFilesOfTheirOwn) {
    const auto save = [&](CMwNod* nod, const std::string& name, bool registerFid) {
        CSystemArchive saver;
        return saver.SaveNodToFile(Name(name), nod, nullptr, 0, 7, false, registerFid);
    };
    const auto load = [&](const std::string& name) {
        CSystemArchive loader;
        CMwNod* out = nullptr;
        EXPECT_EQ(loader.LoadNodFromFile(Name(name), &out, nullptr, 7, true), 1) << name;
        return CMwNodRef(out);
    };
    {
        CMwNodRef one(NewNod(1)), two(NewNod(2));
        ASSERT_EQ(save(one.Get(), "Sub/A.Thing.Zun", false), 1);
        // Saved as "a.Thing.Zun", it would reach A.Thing.Zun, as every open of a spelling that is
        // not on disk does: the twin is made on the host.
        ASSERT_EQ(save(two.Get(), "Sub/Two.Thing.Zun", false), 1);
        fs::rename(HostFile("Sub/Two.Thing.Zun"), HostFile("Sub/a.Thing.Zun"));
    }
    const CMwNodRef upper = load("Sub/A.Thing.Zun");
    ASSERT_TRUE(upper);
    const std::string upperBytes = ReadWholeFile(HostFile("Sub/A.Thing.Zun"));
    // A new nod saved as the twin goes to the twin's own file.
    CMwNodRef three(NewNod(3));
    ASSERT_EQ(save(three.Get(), "Sub/a.Thing.Zun", true), 1);
    EXPECT_EQ(FullName(three->GetFid()), Narrow(Name("Sub/a.Thing.Zun")));
    EXPECT_NE(three->GetFid(), upper->GetFid());
    EXPECT_EQ(ReadWholeFile(HostFile("Sub/A.Thing.Zun")), upperBytes);
    EXPECT_EQ(load("Sub/a.Thing.Zun").Get(), three.Get());
    EXPECT_EQ(load("Sub/A.Thing.Zun").Get(), upper.Get());
    // "A.Thing.Zun" comes before "a.Thing.Zun" in byte order.
    EXPECT_EQ(load("sub/A.THING.ZUN").Get(), upper.Get());
    // Read again, each file gives its own nod.
    CSystemFid* lowerFid = three->GetFid();
    three.Set(nullptr);
    const CMwNodRef lower = load("Sub/a.Thing.Zun");
    ASSERT_TRUE(lower);
    EXPECT_NE(lower.Get(), upper.Get());
    EXPECT_EQ(TestNod(lower)->m_Value, 3u);
    EXPECT_EQ(TestNod(upper)->m_Value, 1u);
    EXPECT_EQ(lower->GetFid(), lowerFid);
    // Saving the nod of one twin under its own name writes that file only.
    TestNod(lower)->m_Value = 4;
    ASSERT_EQ(save(lower.Get(), "Sub/a.Thing.Zun", true), 1);
    EXPECT_EQ(lower->GetFid(), lowerFid);
    EXPECT_EQ(ReadWholeFile(HostFile("Sub/A.Thing.Zun")), upperBytes);
    // Saved under the other twin's name, a nod moves there and that file is written.
    {
        CLogWatch log;
        ASSERT_EQ(save(upper.Get(), "Sub/a.Thing.Zun", true), 1);
        EXPECT_NE(log.Since().find("Saving "), std::string::npos) << log.Since();
    }
    EXPECT_EQ(FullName(upper->GetFid()), Narrow(Name("Sub/a.Thing.Zun")));
    EXPECT_EQ(ReadWholeFile(HostFile("Sub/a.Thing.Zun")), upperBytes);
    EXPECT_EQ(ReadWholeFile(HostFile("Sub/A.Thing.Zun")), upperBytes);

    // The file PARTS does not hide the folder Parts.
    WriteWholeFile(HostFile("PARTS"), "not a folder");
    {
        CMwNodRef part(NewNod(5));
        ASSERT_EQ(save(part.Get(), "Parts/P.Thing.Zun", false), 1);
    }
    const CMwNodRef part = load("PARTS/P.Thing.Zun");
    ASSERT_TRUE(part);
    EXPECT_EQ(TestNod(part)->m_Value, 5u);
}

// The resource table's file ids stand for files that need not exist: refreshing the resource
// folder, and the folder above it, of an install without resource files keeps every entry in its
// folder, and an entry loads once its file is there.
TEST_F(SystemArchiveOps, RefreshKeepsTheResourceTable) {
    CSystemFids* resources = Engine().m_ResourceFolder;
    ASSERT_NE(resources, nullptr);
    ASSERT_FALSE(fs::exists(m_Temp.File("Resource")));
    resources->Refresh(1);
    ASSERT_NE(resources->m_Parent, nullptr);
    resources->m_Parent->Refresh(1);
    ASSERT_EQ(Engine().m_ResourceFolder, resources);
    ASSERT_TRUE(resources->m_Parent->IsAncestorOf(resources));
    for (u32 index = 2; index < kSystemResourceCount - 1; ++index) {
        CSystemFid* entry = Engine().GetResourceFid(kSystemResourceIdBase | index);
        ASSERT_NE(entry, nullptr) << index;
        ASSERT_NE(entry->m_Folder, nullptr) << index;
        EXPECT_TRUE(entry->m_Folder->HasLeaf(entry)) << index;
        EXPECT_TRUE(resources->IsAncestorOf(entry->m_Folder)) << index;
        EXPECT_EQ(Engine().GetResourceNod(kSystemResourceIdBase | index), nullptr);
    }
    CMwNod* none = reinterpret_cast<CMwNod*>(1);
    CSystemArchive missing;
    EXPECT_EQ(missing.LoadResource(kSystemResourceIdBase | 4, &none), 0);
    EXPECT_EQ(none, nullptr);

    SaveNoBitmapResource(4);
    resources->Refresh(1);
    CMwNod* out = nullptr;
    CSystemArchive loader;
    ASSERT_EQ(loader.LoadResource(kSystemResourceIdBase | 4, &out), 1);
    const CMwNodRef loaded(out);
    EXPECT_EQ(TestNod(loaded)->m_Value, 4u);
    EXPECT_EQ(out->GetFid(), Engine().GetResourceFid(kSystemResourceIdBase | 4));
}

// Reloading reads the file into a new nod bound to the file's id; the shared loader loads a file
// id's nod through an archive; a stream loads for a file id.
TEST_F(SystemArchiveOps, ReloadSharedLoaderAndStreams) {
    CMwNodRef nod(NewNod(1));
    CSystemArchive saver;
    ASSERT_EQ(saver.SaveNodToFile(Name("R.Thing.Zun"), nod.Get(), nullptr, 0, 7, false, true), 1);
    CSystemFid* fid = nod->GetFid();
    TestNod(nod)->m_Value = 2; // not saved

    CSystemArchive reloader;
    CMwNod* out = nullptr;
    ASSERT_EQ(reloader.LoadNodFromFile(Name("R.Thing.Zun"), &out, nullptr,
                                       kSystemArchiveLoadFull | kSystemArchiveLoadReload, true),
              1);
    const CMwNodRef reloaded(out);
    EXPECT_NE(out, nod.Get());
    EXPECT_EQ(TestNod(reloaded)->m_Value, 1u);
    EXPECT_EQ(out->GetFid(), fid);
    EXPECT_EQ(nod->GetFid(), nullptr);

    CMwNod* shared = nullptr;
    fid = reloaded->GetFid();
    CSystemEngine::DetachNodFromFid(out);
    ASSERT_EQ(CSystemDummyFidLoader::Get()->LoadFid(&shared, fid), 1);
    const CMwNodRef sharedHeld(shared);
    EXPECT_EQ(TestNod(sharedHeld)->m_Value, 1u);
    EXPECT_EQ(shared->GetFid(), fid);
    delete CSystemDummyFidLoader::Get();

    CSystemEngine::DetachNodFromFid(shared);
    CClassicBufferMemory stream;
    const std::string bytes = ReadWholeFile(HostFile("R.Thing.Zun"));
    stream.Write(bytes.data(), u32(bytes.size()));
    CSystemArchive streamer;
    streamer.SetCurrentFid(fid);
    CMwNod* fromStream = nullptr;
    ASSERT_EQ(streamer.LoadFromStream(&stream, &fromStream), 1);
    const CMwNodRef streamed(fromStream);
    EXPECT_EQ(fromStream->GetFid(), fid);
    // A file id holding a nod gives it without reading.
    CSystemArchive bound;
    bound.SetCurrentFid(fid);
    CMwNod* same = nullptr;
    EXPECT_EQ(bound.LoadFromStream(&stream, &same), 1);
    EXPECT_EQ(same, fromStream);
}

// A save killed at any point leaves the old file or the new one, and the file loads.
TEST_F(SystemArchiveOps, AKilledSaveLeavesTheOldOrTheNewFile) {
    CMwNodRef oldNod(NewNod(1)), newNod(NewNod(2));
    for (u32 i = 0; i < 40000; ++i)
        TestNod(newNod)->Link(NewNod(i));
    const CClassicWideString name = Name("Big.Thing.Zun");
    const std::string path = HostFile("Big.Thing.Zun");
    const auto save = [&](CMwNod* nod) {
        CSystemArchive archive;
        return archive.SaveNodToFile(name, nod, nullptr, kSystemArchiveSaveRelease, 7, false,
                                     false);
    };
    ASSERT_EQ(save(newNod.Get()), 1);
    const std::string newBytes = ReadWholeFile(path);
    ASSERT_EQ(save(oldNod.Get()), 1);
    const std::string oldBytes = ReadWholeFile(path);

    // How long a whole save takes in a child.
    auto start = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child == 0)
        _exit(save(newNod.Get()) == 1 ? 0 : 1);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const auto whole = std::chrono::steady_clock::now() - start;

    std::mt19937 random(23);
    u32 oldSeen = 0, newSeen = 0;
    for (int round = 0; round < 20; ++round) {
        WriteWholeFile(path, oldBytes);
        child = fork();
        if (child == 0)
            _exit(save(newNod.Get()) == 1 ? 0 : 1);
        std::this_thread::sleep_for(whole * (random() % 1100) / 1000);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        const std::string now = ReadWholeFile(path);
        ASSERT_TRUE(now == oldBytes || now == newBytes) << "round " << round << ": " << now.size();
        (now == oldBytes ? oldSeen : newSeen)++;
        CMwNod* out = nullptr;
        CClassicBufferMemory image;
        image.Write(now.data(), u32(now.size()));
        image.Rewind();
        CSystemArchive reader;
        ASSERT_TRUE(reader.Load(&image, &out)) << "round " << round;
        const CMwNodRef loaded(out);
        EXPECT_EQ(TestNod(loaded)->m_Value, now == oldBytes ? 1u : 2u);
    }
    EXPECT_GT(oldSeen, 0u);
}

} // namespace
