// The folder tree in memory: the walks that find and add file ids and folders, placement of a file
// id by its path, clearing and unhooking, the operations of the archive's reference table over
// the fid number map, the folder records of an archive, the members and the incremental scan.
#include "FidTestSupport.h"
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicBuffer.h"
#include "core/nod/MwCmdBufferCore.h"
#include "platform/Endian.h"
#include "system/fid/SystemFidNumberMap.h"

#include <random>
#include <string>
#include <vector>

namespace {

class SystemFids : public CSystemFixture {
protected:
    void TearDown() override {
        // Every folder and file id left the map when it went.
        EXPECT_EQ(GetFidNumberMap(), nullptr);
        CSystemFixture::TearDown();
    }
};

u32 CountFids(CSystemFids& folder) {
    CFastBuffer<CSystemFid*> fids;
    folder.CollectFids(fids, false);
    const u32 count = fids.m_Count;
    fids.FreeItems();
    return count;
}

std::string FailureLine(const std::string& dir, const std::string& path) {
    return "CSystemFids::FindOrAddFid fails with :\r\n\tthis=" + dir + "\r\n\t_FileName=" + path +
           "\r\n";
}

TEST_F(SystemFids, FindOrAddFidMakesEachFolderAndFileOnce) {
    CTestDrive drive(u"C:");
    u32 created = 99;
    CSystemFid* fid = drive.FindOrAddFid(u"Media\\Texture\\a.Texture.Zun", &created, false);
    ASSERT_NE(fid, nullptr);
    EXPECT_EQ(created, 3u);
    EXPECT_EQ(FullName(fid), "C:\\Media\\Texture\\a.Texture.Zun");
    EXPECT_TRUE(fid->IsKindOf(CSystemFidFile::s_ClassId));
    EXPECT_EQ(fid->m_RefFlags, kSystemFidRefFile);

    // The same file however it is written: other letter case, forward slashes, doubled
    // separators; nothing is made and the spelling stays.
    for (const char16_t* path :
         {u"MEDIA\\texture\\A.TEXTURE.zun", u"Media/Texture/a.Texture.Zun",
          u"Media\\\\Texture\\a.Texture.Zun", u"media//TEXTURE\\\\a.texture.ZUN"}) {
        created = 99;
        EXPECT_EQ(drive.FindOrAddFid(path, &created, false), fid)
            << Narrow(CClassicWideString(path));
        EXPECT_EQ(created, 0u);
    }
    EXPECT_EQ(FullName(fid), "C:\\Media\\Texture\\a.Texture.Zun");
    EXPECT_EQ(CountFids(drive), 1u);
    EXPECT_EQ(FolderNames(drive), std::vector<std::string>{"Media"});

    // Spelling adoption renames the folders and the file found.
    EXPECT_EQ(drive.FindOrAddFid(u"MEDIA\\texture\\A.TEXTURE.zun", &created, true), fid);
    EXPECT_EQ(FullName(fid), "C:\\MEDIA\\texture\\A.TEXTURE.zun");

    // A name the file name normaliser changes finds its file id again.
    CSystemFid* odd = drive.FindOrAddFid(u"b*c|d.txt", nullptr, false);
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(FullName(odd), "C:\\b_c_d.txt");
    EXPECT_EQ(drive.FindOrAddFid(u"B*C|D.TXT", nullptr, false), odd);
    EXPECT_EQ(drive.FindOrAddFid(u"b_c_d.txt", nullptr, false), odd);
    EXPECT_EQ(CountFids(drive), 2u);
}

TEST_F(SystemFids, FindOrAddFidRefusesPathsWithoutAFileOrWithFoldersNamedByDots) {
    CTestDrive drive(u"C:");
    const char* paths[] = {"",          "Media\\", "..\\x.txt", ".\\x.txt", "a\\..\\b.txt",
                           "Media\\..", ".",       "..",        "\\x.txt",  "\\\\srv\\x.txt"};
    for (const char* path : paths) {
        CFileSinkWatch files;
        EXPECT_EQ(drive.FindOrAddFid(Wide(path), nullptr, false), nullptr) << path;
        EXPECT_EQ(files.Text(), FailureLine("C:\\", path)) << path;
    }
    // Folders made before the refused part stay; no file id was made, and no folder is named
    // by dots.
    EXPECT_EQ(CountFids(drive), 0u);
    EXPECT_EQ(FolderNames(drive), (std::vector<std::string>{"Media", "a"}));
    EXPECT_TRUE(drive.m_Trees.m_Items[0]->m_Trees.m_Count == 0);
    EXPECT_EQ(drive.m_Trees.m_Items[1]->m_Trees.m_Count, 0u);

    // The log names the folder asked.
    CSystemFids* media = drive.FindFolder(u"Media", false);
    ASSERT_NE(media, nullptr);
    CFileSinkWatch files;
    EXPECT_EQ(media->FindOrAddFid(u"Sub\\", nullptr, false), nullptr);
    EXPECT_EQ(files.Text(), FailureLine("C:\\Media\\", "Sub\\"));
}

TEST_F(SystemFids, FolderWalks) {
    CTestDrive drive(u"C:");
    u32 created = 99;
    EXPECT_EQ(drive.FindOrAddFolderPath(u"", &created), &drive);
    EXPECT_EQ(created, 99u); // untouched for an empty path
    CSystemFids* c = drive.FindOrAddFolderPath(u"a/b\\\\c\\", &created);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(created, 3u);
    EXPECT_EQ(FullName(*c), "C:\\a\\b\\c\\");
    EXPECT_EQ(drive.FindOrAddFolderPath(u"A\\B\\C", &created), c);
    EXPECT_EQ(created, 0u);

    struct Case {
        const char* Path;
        CSystemFids* Expected;
    };
    CSystemFids* b = c->m_Parent;
    const Case cases[] = {
        {"", &drive},       {"a\\b\\c", c},    {"A/B/C/", c},     {"\\a\\B", b},
        {"a\\x\\..\\b", b}, {"a\\.\\b\\c", c}, {"a\\x", nullptr}, {"a\\b\\c\\d", nullptr},
        {"..\\a\\b\\c", c}, // a ".." above the start is dropped
    };
    for (const Case& k : cases)
        EXPECT_EQ(drive.FindFolder(Wide(k.Path), false), k.Expected) << k.Path;
    EXPECT_EQ(drive.FindSubFolder(u"A\\", false), b->m_Parent);
    EXPECT_EQ(drive.FindSubFolder(u"..\\", false), nullptr);
    EXPECT_EQ(drive.FindSubFolder(u"x\\", false), nullptr);

    // FindFid walks the same way but adds nothing without the disk.
    CSystemFid* fid = drive.FindOrAddFid(u"a\\b\\file.txt", nullptr, false);
    EXPECT_EQ(drive.FindFid(u"A/B\\FILE.TXT", false), fid);
    EXPECT_EQ(drive.FindFid(u"a\\b\\other.txt", false), nullptr);
    EXPECT_EQ(drive.FindFid(u"a\\x\\file.txt", false), nullptr);
    EXPECT_EQ(drive.FindFid(u"a\\b\\", false), nullptr);
    EXPECT_EQ(CountFids(drive), 1u);

    // The base has no path on disk: nothing is added from disk below it.
    CSystemFids memory;
    EXPECT_EQ(memory.FindSubFolder(u"tmp\\", true), nullptr);
    EXPECT_EQ(memory.FindFid(u"x.txt", true), nullptr);
    EXPECT_EQ(memory.m_Trees.m_Count + memory.m_Leaves.m_Count, 0u);
}

TEST_F(SystemFids, FindFidByBaseNameWantsTheClass) {
    CFakeFidLinks links;
    CTestDrive drive;
    CSystemFid* solid = drive.FindOrAddFid(u"Sub\\Car.Solid.Zun", nullptr, false);
    CSystemFid* texture = drive.FindOrAddFid(u"Sub\\Car.Texture.Zun", nullptr, false);
    drive.FindOrAddFid(u"Sub\\Cargo.Texture.Zun", nullptr, false);
    drive.FindOrAddFid(u"Sub\\Car", nullptr, false); // class unknown
    links.m_HeaderClasses[u"Car.Solid.Zun"] = CSystemFidsFolder::s_ClassId;
    links.m_HeaderClasses[u"Car.Texture.Zun"] = CSystemFidFile::s_ClassId;
    links.m_HeaderClasses[u"Cargo.Texture.Zun"] = CSystemFidFile::s_ClassId;

    EXPECT_EQ(drive.FindFidByBaseName(u"Sub\\car", CSystemFid::s_ClassId), texture);
    EXPECT_EQ(drive.FindFidByBaseName(u"SUB\\CAR", CSystemFids::s_ClassId), solid);
    EXPECT_EQ(drive.FindFidByBaseName(u"Sub\\car", CSystemFidMemory::s_ClassId), nullptr);
    EXPECT_EQ(drive.FindFidByBaseName(u"Sub\\ca", CSystemFid::s_ClassId), nullptr);
    EXPECT_EQ(drive.FindFidByBaseName(u"Other\\car", CSystemFid::s_ClassId), nullptr);
    // A class once read is kept; an unknown one is asked again.
    const u32 reads = links.m_HeaderReads;
    EXPECT_EQ(drive.FindFidByBaseName(u"Sub\\car", CSystemFid::s_ClassId), texture);
    EXPECT_EQ(links.m_HeaderReads, reads);
    EXPECT_EQ(drive.FindFidByBaseName(u"Sub\\car", CSystemFidMemory::s_ClassId), nullptr);
    EXPECT_EQ(links.m_HeaderReads, reads + 1); // "Car", whose class stays unknown
}

TEST_F(SystemFids, CollectAndFindLeaves) {
    CTestDrive drive;
    CSystemFid* top = drive.FindOrAddFid(u"x.txt", nullptr, false);
    CSystemFid* deep = drive.FindOrAddFid(u"Sub\\x.txt", nullptr, false);
    CSystemFid* other = drive.FindOrAddFid(u"Sub\\y.txt", nullptr, false);
    auto* memory = new CSystemFidMemory;
    drive.AddLeaf(memory);

    CFastBuffer<CSystemFid*> all, files;
    drive.CollectFids(all, false);
    drive.CollectFids(files, true);
    EXPECT_EQ(std::vector<CSystemFid*>(all.m_Items, all.m_Items + all.m_Count),
              (std::vector<CSystemFid*>{top, memory, deep, other}));
    EXPECT_EQ(std::vector<CSystemFid*>(files.m_Items, files.m_Items + files.m_Count),
              (std::vector<CSystemFid*>{top, deep, other}));
    all.FreeItems();
    files.FreeItems();

    // A probe finds the leaf equal to it: same name in the same folder.
    CNamedFile probe(u"X.TXT", deep->m_Folder, false);
    EXPECT_EQ(drive.FindLeafDeep(&probe), deep);
    probe.m_Folder = &drive;
    EXPECT_EQ(drive.FindLeafDeep(&probe), top);
    probe.m_FileName = CClassicWideString(u"z.txt");
    EXPECT_EQ(drive.FindLeafDeep(&probe), nullptr);
}

// Leaves know their place and files are found through the folder's name index: over a long run
// of additions, removals (the last leaf moving into the gap) and renames, every look-up answers
// what a walk of the list in order answers, case twins and memory file ids among the leaves.
TEST_F(SystemFids, LookUpsByNameAgreeWithAWalkOfTheList) {
    const std::vector<std::u16string> names = {u"a.txt",
                                               u"A.TXT",
                                               u"b.dat",
                                               u"B.dat",
                                               u"c",
                                               u"long name.Texture.zun",
                                               u"LONG NAME.texture.ZUN",
                                               u"d.txt",
                                               u"e.txt",
                                               u"f.txt"};
    CSystemFids folder; // no path on disk: names equal ignoring case are one entry
    std::vector<CSystemFid*> gone;
    std::mt19937 random(43);
    const auto View = [](const CClassicWideString& text) {
        return std::u16string_view(text.GetText(), text.GetLength());
    };
    const auto pick = [&](size_t n) { return size_t(random() % n); };
    const auto walk = [&](CSystemFid* probe) -> CSystemFid* {
        for (u32 i = 0; i < folder.m_Leaves.m_Count; ++i)
            if (probe->IsEqual(folder.m_Leaves.m_Items[i]))
                return folder.m_Leaves.m_Items[i];
        return nullptr;
    };
    for (int step = 0; step < 4000; ++step) {
        const u32 count = folder.m_Leaves.m_Count;
        switch (pick(8)) {
            case 0:
            case 1:
            case 2:
                new CNamedFile(names[pick(names.size())].c_str(), &folder);
                break;
            case 3:
                folder.AddLeaf(new CSystemFidMemory);
                break;
            case 4:
            case 5:
                if (count)
                    delete folder.m_Leaves.m_Items[pick(count)];
                break;
            case 6:
                if (count)
                    if (CSystemFid* leaf = folder.m_Leaves.m_Items[pick(count)];
                        leaf->IsKindOf(CSystemFidFile::s_ClassId))
                        static_cast<CSystemFidFile*>(leaf)->SetFileName(
                            CClassicWideString(names[pick(names.size())].c_str()));
                break;
            default:
                if (count) { // taken out and hung again at the end
                    CSystemFid* leaf = folder.m_Leaves.m_Items[pick(count)];
                    folder.RemoveLeaf(leaf);
                    EXPECT_FALSE(folder.HasLeaf(leaf));
                    folder.AddLeafIfAbsent(leaf);
                }
                break;
        }
        for (u32 i = 0; i < folder.m_Leaves.m_Count; ++i) {
            ASSERT_EQ(folder.m_Leaves.m_Items[i]->m_LeafSlot, i + 1) << "step " << step;
            ASSERT_TRUE(folder.HasLeaf(folder.m_Leaves.m_Items[i]));
        }
        CNamedFile probe(names[pick(names.size())].c_str(), &folder, false);
        ASSERT_FALSE(folder.HasLeaf(&probe));
        ASSERT_EQ(folder.FindEqualLeaf(&probe), walk(&probe)) << "step " << step;
        // The spelling itself first, then a twin.
        CSystemFid* expected = nullptr;
        for (u32 pass = 0; pass < 2 && !expected; ++pass)
            for (u32 i = 0; i < folder.m_Leaves.m_Count && !expected; ++i) {
                CSystemFid* leaf = folder.m_Leaves.m_Items[i];
                auto* file = leaf->IsKindOf(CSystemFidFile::s_ClassId)
                                 ? static_cast<CSystemFidFile*>(leaf)
                                 : nullptr;
                if (file && (pass ? file->m_FileName.CompareNoCase(probe.m_FileName) == 0
                                  : View(file->m_FileName) == View(probe.m_FileName)))
                    expected = file;
            }
        ASSERT_EQ(folder.FindFid(probe.m_FileName, false), expected) << "step " << step;
    }
    folder.Clear();
    EXPECT_EQ(folder.m_Leaves.m_Count, 0u);
    CNamedFile probe(u"a.txt", &folder, false);
    EXPECT_EQ(folder.FindEqualLeaf(&probe), nullptr);
}

TEST_F(SystemFids, PlacementMakesTheMissingFolders) {
    CTestDrive drive(u"Z:");
    auto place = [&](const char16_t* name, CSystemFids* from, bool fromRoot, u32 addLeaf) {
        auto* fid = new CSystemFidFile;
        fid->m_FileName = CClassicWideString(name);
        fid->m_Folder = from;
        if (fromRoot)
            fid->PlaceFromRoot(addLeaf);
        else
            fid->PlaceFromFolder(addLeaf);
        return fid;
    };
    CSystemFidFile* x = place(u"Z:\\Game\\Data\\x.txt", &drive, true, 1);
    EXPECT_EQ(Narrow(x->m_FileName), "x.txt");
    EXPECT_EQ(FullName(x), "Z:\\Game\\Data\\x.txt");
    CSystemFids* data = x->m_Folder;
    EXPECT_TRUE(data->HasLeaf(x));

    // Existing folders are found ignoring case.
    CSystemFidFile* y = place(u"z:\\GAME\\data\\New\\y.txt", &drive, true, 1);
    EXPECT_EQ(FullName(y), "Z:\\Game\\Data\\New\\y.txt");
    EXPECT_EQ(FolderNames(drive), std::vector<std::string>{"Game"});
    EXPECT_EQ(FolderNames(*data), std::vector<std::string>{"New"});

    // Without addLeaf the file id learns its folder and is no leaf.
    CSystemFidFile* probe = place(u"Z:\\Game\\Other\\Dummy", &drive, true, 0);
    EXPECT_EQ(FullName(*probe->m_Folder), "Z:\\Game\\Other\\");
    EXPECT_EQ(probe->m_Folder->m_Leaves.m_Count, 0u);
    delete probe;

    // From a folder the name is relative to it.
    CSystemFids* game = data->m_Parent;
    CSystemFidFile* z = place(u"data\\z.txt", game, false, 1);
    EXPECT_EQ(z->m_Folder, data);
    // Components that name no folder of their own are dropped: a doubled separator, ".", "..".
    CSystemFidFile* w = place(u"Data\\\\.\\..\\..\\w.txt", game, false, 1);
    EXPECT_EQ(FullName(w), "Z:\\Game\\Data\\w.txt");
    EXPECT_EQ(FolderNames(*game), (std::vector<std::string>{"Data", "Other"}));
    // A name with no folder part stays where it is.
    CSystemFidFile* v = place(u"v.txt", data, false, 1);
    EXPECT_EQ(v->m_Folder, data);
    EXPECT_EQ(LeafNames(*data), (std::vector<std::string>{"x.txt", "z.txt", "w.txt", "v.txt"}));

    // A drive without root strips nothing but a leading backslash.
    CTestDrive bare(u"");
    CSystemFidFile* u = place(u"abc\\u.txt", &bare, true, 1);
    EXPECT_EQ(FolderNames(bare), std::vector<std::string>{"abc"});
    EXPECT_EQ(Narrow(u->m_FileName), "u.txt");
    // A drive root followed by a name: the name is kept whole.
    CSystemFidFile* t = place(u"Z:t.txt", &drive, true, 1);
    EXPECT_EQ(t->m_Folder, &drive);
    EXPECT_EQ(Narrow(t->m_FileName), "t.txt");
    // Another drive's path is not adopted.
    CSystemFidFile* s = place(u"D:\\s.txt", &drive, true, 1);
    EXPECT_EQ(s->m_Folder, &drive);
    EXPECT_EQ(Narrow(s->m_FileName), "D:\\s.txt");
    EXPECT_FALSE(drive.HasLeaf(s));
    delete s;

    // The base places a file id of its own by its own step.
    CSystemFids memory;
    CSystemFidFile* m = place(u"Sub\\m.txt", &memory, false, 1);
    EXPECT_EQ(FolderNames(memory), std::vector<std::string>{"Sub"});
    EXPECT_EQ(m->m_Folder->m_Parent, &memory);
    memory.Clear();
}

// Deletion order through a shared record.
class CRecordedFile : public CSystemFidFile {
public:
    CRecordedFile(std::vector<std::string>* deleted, const char* name)
        : m_Deleted(deleted), m_Name(name) {}
    ~CRecordedFile() override { m_Deleted->push_back(m_Name); }

private:
    std::vector<std::string>* m_Deleted;
    std::string m_Name;
};

class CRecordedFolder : public CSystemFidsFolder {
public:
    CRecordedFolder(std::vector<std::string>* deleted, const char* name) : m_Deleted(deleted) {
        m_DirName = Wide(name);
    }
    ~CRecordedFolder() override { m_Deleted->push_back(Narrow(m_DirName)); }

private:
    std::vector<std::string>* m_Deleted;
};

TEST_F(SystemFids, ClearDeletesAliasesFirstThenTheRestFromTheLast) {
    std::vector<std::string> deleted;
    CSystemFids root;
    auto* master = new CRecordedFile(&deleted, "master");
    auto* alias1 = new CRecordedFile(&deleted, "alias1");
    auto* plain = new CRecordedFile(&deleted, "plain");
    auto* alias2 = new CRecordedFile(&deleted, "alias2");
    for (CSystemFid* fid : {static_cast<CSystemFid*>(master), static_cast<CSystemFid*>(alias1),
                            static_cast<CSystemFid*>(plain), static_cast<CSystemFid*>(alias2)})
        root.AddLeaf(fid);
    master->AddAlias(alias1);
    master->AddAlias(alias2);
    auto* first = new CRecordedFolder(&deleted, "first");
    auto* second = new CRecordedFolder(&deleted, "second");
    root.AddTree(first);
    root.AddTree(second);
    first->AddLeaf(new CRecordedFile(&deleted, "inner"));
    first->AddTree(new CRecordedFolder(&deleted, "nested"));
    // A nod bound to a file id is unbound, not deleted.
    CMwNod nod;
    plain->SetNod(&nod);

    root.Clear();
    EXPECT_EQ(deleted, (std::vector<std::string>{"alias1", "alias2", "plain", "master", "inner",
                                                 "nested", "second", "first"}));
    EXPECT_EQ(root.m_Leaves.m_Count + root.m_Trees.m_Count, 0u);
    EXPECT_EQ(nod.GetFid(), nullptr);
    EXPECT_EQ(nod.GetDependantCount(), 0u);
}

TEST_F(SystemFids, DestroyedFoldersOnlyUnhook) {
    auto* drive = new CSystemFidsDrive;
    auto* folder = new CNamedFolder(u"A", drive);
    CNamedFolder sub(u"B", folder), subsub(u"C", &sub);
    CNamedFile leaf(u"x.txt", folder);
    EXPECT_EQ(subsub.m_Drive, drive);
    FidNumberMapSet(folder, 4);

    delete folder;
    EXPECT_EQ(drive->m_Trees.m_Count, 0u);
    EXPECT_EQ(sub.m_Parent, nullptr);
    EXPECT_EQ(leaf.m_Folder, nullptr);
    EXPECT_EQ(GetFidNumberMap(), nullptr);
    // The sub-folder still names the drive; when the drive goes, no folder below names it.
    drive->AddTree(&sub);
    delete drive;
    EXPECT_EQ(sub.m_Drive, nullptr);
    EXPECT_EQ(subsub.m_Drive, nullptr);
}

TEST_F(SystemFids, AddTreeKeepsOneParentAndNoLoop) {
    CTestDrive drive;
    CNamedFolder a(u"A"), b(u"B");
    drive.AddTree(&a);
    drive.AddTree(&a);
    EXPECT_EQ(drive.m_Trees.m_Count, 1u);
    EXPECT_EQ(a.m_Drive, &drive);
    // Moving a folder takes it from its parent.
    a.AddTree(&b);
    drive.AddTree(&b);
    EXPECT_EQ(a.m_Trees.m_Count, 0u);
    EXPECT_EQ(b.m_Parent, &drive);
    // A folder cannot hang below itself.
    b.AddTree(&drive);
    b.AddTree(&b);
    EXPECT_EQ(b.m_Trees.m_Count, 0u);
    EXPECT_EQ(drive.m_Parent, nullptr);
    EXPECT_TRUE(drive.IsAncestorOf(&b));
    EXPECT_FALSE(b.IsAncestorOf(&drive));
    EXPECT_EQ(b.GetRoot(), &drive);
    drive.RemoveTree(&a);
    drive.RemoveTree(&a); // not there: nothing
    drive.RemoveTree(&b);
    EXPECT_EQ(a.m_Parent, nullptr);

    CNamedFile file(u"f");
    a.AddLeafIfAbsent(&file);
    a.AddLeafIfAbsent(&file);
    EXPECT_EQ(a.m_Leaves.m_Count, 1u);
    b.RemoveLeaf(&file); // not there: nothing
    EXPECT_EQ(file.m_Folder, &a);
    a.RemoveLeaf(&file);
    EXPECT_EQ(file.m_Folder, nullptr);
}

TEST_F(SystemFids, IdentityAndNames) {
    CSystemFids base;
    CNamedFolder folder(u"Dir");
    CTestDrive drive(u"C:");
    struct Case {
        CSystemFids* Folder;
        u32 IsFolder;
        u32 SameKind;
        const char* FullName;
        bool HasName;
    };
    const Case cases[] = {
        {&base, 0, CSystemFids::s_ClassId, "", false},
        {&folder, 1, CSystemFidsFolder::s_ClassId, "Dir\\", true},
        {&drive, 0, CSystemFids::s_ClassId, "C:\\", true}, // a drive's copy is a plain root
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.Folder->IsFolder(), c.IsFolder);
        CSystemFids* copy = c.Folder->NewSameKind();
        EXPECT_EQ(copy->GetClassId(), c.SameKind);
        delete copy;
        EXPECT_EQ(FullName(*c.Folder), c.FullName);
        CClassicWideString name(u"old");
        EXPECT_EQ(c.Folder->GetDirName(name), c.HasName);
        EXPECT_EQ(c.Folder->GetDirNameRef() != nullptr, c.HasName);
        EXPECT_TRUE(c.Folder->IsKindOf(CSystemFids::s_ClassId));
        EXPECT_TRUE(c.Folder->IsKindOf(CMwNod::s_ClassId));
    }
    EXPECT_FALSE(folder.IsKindOf(CSystemFidsDrive::s_ClassId));
    EXPECT_FALSE(drive.IsKindOf(CSystemFidsFolder::s_ClassId));
    EXPECT_FALSE(base.IsKindOf(CSystemFid::s_ClassId));

    // Only a folder compares names; the others stand for any folder.
    CNamedFolder same(u"DIR"), other(u"Dirt");
    EXPECT_TRUE(folder.IsSameFolder(&same));
    EXPECT_FALSE(folder.IsSameFolder(&other));
    EXPECT_FALSE(folder.IsSameFolder(&base));
    EXPECT_TRUE(base.IsSameFolder(&other));
    EXPECT_TRUE(drive.IsSameFolder(&other));

    // Copies of names, and paths below an ancestor.
    CNamedFolder copy(u"x");
    copy.CopyNameFrom(&other);
    EXPECT_EQ(Narrow(copy.m_DirName), "Dirt");
    CTestDrive drive2(u"");
    drive2.CopyNameFrom(&drive);
    EXPECT_EQ(Narrow(drive2.m_Root), "C:");
    CNamedFolder a(u"a", &drive), b(u"b", &a);
    CClassicWideString path(u"<");
    EXPECT_TRUE(b.GetPathRelativeTo(path, &drive));
    EXPECT_EQ(Narrow(path), "<a\\b\\");
    path = CClassicWideString(u"<");
    EXPECT_TRUE(b.GetPathRelativeTo(path, &b));
    EXPECT_EQ(Narrow(path), "<");
    EXPECT_FALSE(b.GetPathRelativeTo(path, &folder));
    EXPECT_TRUE(drive.GetPathRelativeTo(path, &drive));
    EXPECT_FALSE(drive.GetPathRelativeTo(path, &a));
    EXPECT_FALSE(base.GetPathRelativeTo(path, &base));
    drive.RemoveTree(&a);
    a.RemoveTree(&b);
}

TEST_F(SystemFids, Members) {
    CTestDrive drive(u"C:");
    CNamedFolder folder(u"Data", &drive);
    struct Row {
        u32 Id;
        const char* Name;
        const char* Label;
        u32 Flags;
        u32 Mask;
    };
    const Row rows[] = {
        {0x01001000, "IdName", "Id Name", 0x33, 0x380},
        {0x0B009000, "Trees", "Folders", 0x01, 0x3F82},
        {0x0B009001, "Leaves", "Files", 0x01, 0x3F82},
        {0x0B00B000, "ByteSize", "Size (Kb)", 0x11, 0x1380},
        {0x0B00B001, "ByteSizeEd", "Size (variable unit)", 0x11, 0x3F80},
        {0x0B00B002, "DirName", "Dir name", 0x01, 0x1380},
        {0x0B00B003, "FullDirName", "Full dir name", 0x11, 0x1380},
    };
    ASSERT_EQ(folder.MemberCount(), 7u);
    for (u32 i = 0; i < 7; ++i) {
        const CMwMemberInfo* member = CMwClassRegistry::GetMemberInfo(folder.MemberIdByIndex(i));
        ASSERT_NE(member, nullptr) << i;
        EXPECT_EQ(member->MemberId, rows[i].Id);
        EXPECT_STREQ(member->Name, rows[i].Name);
        EXPECT_STREQ(member->Label, rows[i].Label);
        EXPECT_EQ(member->Flags, rows[i].Flags) << rows[i].Name;
        EXPECT_EQ(member->Mask, rows[i].Mask) << rows[i].Name;
    }
    EXPECT_EQ(drive.MemberCount(), 3u);
    EXPECT_EQ(CSystemFidsDrive::s_ClassInfo.m_MemberCount, 0u);

    folder.m_ByteSize = 3 * 1048576 + 5000;
    u32 value = 0;
    EXPECT_EQ(ReadWord(folder, "ByteSize", &value), 0u);
    EXPECT_EQ(value, 3u * 1024 + 4);
    struct Unit {
        u32 Index;
        u32 Value;
    };
    const u32 unit = g_SystemFidsSizeUnit;
    for (const Unit u : {Unit{0, 3 * 1048576 + 5000}, Unit{1, 3 * 1024 + 4}, Unit{2, 3}, Unit{4, 0},
                         Unit{5, 3 * 1048576 + 5000}}) {
        g_SystemFidsSizeUnit = u.Index;
        EXPECT_EQ(ReadWord(folder, "ByteSizeEd", &value), 0u);
        EXPECT_EQ(value, u.Value) << u.Index;
    }
    g_SystemFidsSizeUnit = unit;
    EXPECT_EQ(ReadWide(folder, "DirName"), "Data");
    EXPECT_EQ(ReadWide(folder, "FullDirName"), "C:\\Data\\");
    EXPECT_EQ(WriteMember(folder, "DirName", CClassicWideString(u"Other")), u32(MwParam_NotFound));
    EXPECT_EQ(Narrow(folder.m_DirName), "Data");
    drive.RemoveTree(&folder);
}

TEST_F(SystemFids, DisplayCode) {
    CNamedFolder folder(u"Data");
    u32 code = 0, same = 0;
    folder.GetDisplayCode(&code, &same);
    EXPECT_EQ(code, 0x14u);
    EXPECT_EQ(same, 0x14u);
    folder.m_AnyLoaded = 1;
    folder.Pin();
    folder.GetDisplayCode(&code, &same);
    EXPECT_EQ(code, 0x115u);
    EXPECT_EQ(same, 0x115u);
}

// A small tree for the reference-table operations: root > x > y > {z1, z2}, root > w.
struct CNumberTree {
    CNumberTree() {
        root.m_Root = CClassicWideString(u"Z:");
        root.AddTree(&x);
        x.AddTree(&y);
        y.AddTree(&z1);
        y.AddTree(&z2);
        root.AddTree(&w);
    }
    std::vector<uintptr_t> Values() {
        return {FidNumberMapGet(&root), FidNumberMapGet(&x),  FidNumberMapGet(&y),
                FidNumberMapGet(&z1),   FidNumberMapGet(&z2), FidNumberMapGet(&w)};
    }
    CSystemFidsDrive root;
    CNamedFolder x{u"x"}, y{u"y"}, z1{u"z1"}, z2{u"z2"}, w{u"w"};
};

TEST_F(SystemFids, ReferenceTableOperations) {
    {
        CNumberTree t;
        t.z1.FlagWithAncestors();
        EXPECT_EQ(t.Values(), (std::vector<uintptr_t>{1, 1, 1, 1, 0, 0}));
        // Stops at the first folder already marked: a value set there stays.
        FidNumberMapSet(&t.root, 9);
        t.z2.FlagWithAncestors();
        EXPECT_EQ(t.Values(), (std::vector<uintptr_t>{9, 1, 1, 1, 1, 0}));
    }
    {
        CNumberTree t;
        t.z1.CountUse();
        t.z2.CountUse();
        EXPECT_EQ(t.Values(), (std::vector<uintptr_t>{2, 2, 2, 1, 1, 0}));
        // root has two sub-folders: no descent.
        EXPECT_EQ(t.root.FindCommonTop(2), &t.root);
        EXPECT_EQ(t.x.FindCommonTop(2), &t.y);
        EXPECT_EQ(t.x.FindCommonTop(3), &t.x);
        t.root.RemoveTree(&t.w);
        EXPECT_EQ(t.root.FindCommonTop(2), &t.y);
        t.root.AddTree(&t.w);
    }
    {
        CNumberTree t;
        u32 next = 1;
        t.root.NumberPreOrder(&next);
        EXPECT_EQ(next, 7u);
        EXPECT_EQ(t.Values(), (std::vector<uintptr_t>{1, 2, 3, 4, 5, 6}));
        CFastArray<CSystemFids*> table;
        table.SetCount(5);
        for (u32 i = 0; i < table.m_Count; ++i)
            table.m_Items[i] = nullptr;
        t.root.FillIndex(table); // numbers past the table are passed over
        EXPECT_EQ(std::vector<CSystemFids*>(table.m_Items, table.m_Items + 5),
                  (std::vector<CSystemFids*>{nullptr, &t.root, &t.x, &t.y, &t.z1}));
        // Numbering from 0 leaves the first folder out of the map.
        next = 0;
        t.x.NumberPreOrder(&next);
        EXPECT_EQ(FidNumberMapGet(&t.x), 0u);
        EXPECT_EQ(FidNumberMapGet(&t.z2), 3u);

        EXPECT_EQ(t.z1.DepthBelow(&t.root), 3u);
        EXPECT_EQ(t.z1.DepthBelow(&t.z1), 0u);
        EXPECT_EQ(t.x.DepthBelow(&t.z1), 0xFFFFFFFFu);
        EXPECT_EQ(t.z1.NthAncestor(0), &t.z1);
        EXPECT_EQ(t.z1.NthAncestor(2), &t.x);
        EXPECT_EQ(t.z1.NthAncestor(3), &t.root);
        EXPECT_EQ(t.z1.NthAncestor(4), nullptr);
    }
}

// The map keys and holds whole addresses; it is made with room for 50 entries and goes with its
// last entry.
TEST_F(SystemFids, NumberMapHoldsAddresses) {
    static_assert(sizeof(CSystemFidNumberMap::SSlot::m_Key) == sizeof(void*));
    static_assert(sizeof(CSystemFidNumberMap::SSlot::m_Value) == sizeof(void*));
    EXPECT_EQ(GetFidNumberMap(), nullptr);
    FidNumberMapSet(nullptr, 0); // removing from no map
    std::vector<CNamedFolder*> folders;
    for (u32 i = 0; i < 200; ++i)
        folders.push_back(new CNamedFolder(u"f"));
    FidNumberMapSet(folders[0], reinterpret_cast<uintptr_t>(folders[1]));
    ASSERT_NE(GetFidNumberMap(), nullptr);
    EXPECT_EQ(GetFidNumberMap()->GetCapacity(), 67u);
    for (u32 i = 1; i < 200; ++i)
        FidNumberMapSet(folders[i], 0x100000000ull * i + i);
    EXPECT_EQ(GetFidNumberMap()->GetCount(), 200u);
    EXPECT_EQ(FidNumberMapGet(folders[0]), reinterpret_cast<uintptr_t>(folders[1]));
    for (u32 i = 1; i < 200; ++i)
        EXPECT_EQ(FidNumberMapGet(folders[i]), 0x100000000ull * i + i);
    for (u32 i = 0; i < 199; ++i)
        delete folders[i];
    EXPECT_EQ(GetFidNumberMap()->GetCount(), 1u);
    FidNumberMapSet(folders[199], 0);
    EXPECT_EQ(GetFidNumberMap(), nullptr);
    delete folders[199];
}

TEST_F(SystemFids, CloneFlaggedCopiesTheMarkedPart) {
    CNumberTree t;
    t.z2.FlagWithAncestors();
    CSystemFids* copy = t.root.NewSameKind();
    copy->CloneFlagged(&t.root);
    // x > y > z2 copied, w and z1 not; the drive's copy is a plain root.
    EXPECT_EQ(copy->GetClassId(), CSystemFids::s_ClassId);
    ASSERT_EQ(FolderNames(*copy), std::vector<std::string>{"x"});
    CSystemFids* cx = copy->m_Trees.m_Items[0];
    ASSERT_EQ(FolderNames(*cx), std::vector<std::string>{"y"});
    CSystemFids* cy = cx->m_Trees.m_Items[0];
    ASSERT_EQ(FolderNames(*cy), std::vector<std::string>{"z2"});
    CSystemFids* cz2 = cy->m_Trees.m_Items[0];
    EXPECT_EQ(cz2->GetClassId(), CSystemFidsFolder::s_ClassId);
    // Each copy maps to its source and each source to its copy.
    EXPECT_EQ(FidNumberMapGet(cz2), reinterpret_cast<uintptr_t>(&t.z2));
    EXPECT_EQ(FidNumberMapGet(&t.z2), reinterpret_cast<uintptr_t>(cz2));
    EXPECT_EQ(FidNumberMapGet(&t.root), reinterpret_cast<uintptr_t>(copy));
    EXPECT_EQ(FidNumberMapGet(&t.z1), 0u);
    copy->Clear();
    delete copy;
}

TEST_F(SystemFids, MergeLoadedReusesFoldersAndAdoptsNewOnes) {
    CTestDrive live;
    CSystemFids* media = live.FindOrAddFolderPath(u"Media\\Texture", nullptr)->m_Parent;
    CSystemFids* texture = media->m_Trees.m_Items[0];
    // What an archive read: MEDIA > {texture > Cars, Sound}, New > Deep with a file id in it.
    CSystemFids read;
    read.FindOrAddFolderPath(u"MEDIA\\texture\\Cars", nullptr);
    read.FindOrAddFolderPath(u"MEDIA\\Sound", nullptr);
    CSystemFids* deep = read.FindOrAddFolderPath(u"New\\Deep", nullptr);
    CSystemFid* fid = deep->FindOrAddFid(u"f.txt", nullptr, false);
    CNamedFile outside(u"g.txt", deep, false); // points at a read folder without being a leaf
    CSystemFids* readMedia = read.FindFolder(u"MEDIA", false);
    CSystemFids* readTexture = read.FindFolder(u"MEDIA\\texture", false);
    CSystemFids* newFolder = read.FindFolder(u"New", false);
    FidNumberMapSet(newFolder, 5);
    FidNumberMapSet(deep, 6);
    FidNumberMapSet(fid, 7);
    FidNumberMapSet(&outside, 8);
    FidNumberMapSet(readMedia, 9);

    live.MergeLoaded(read.m_Trees);
    EXPECT_EQ(FolderNames(live), (std::vector<std::string>{"Media", "New"}));
    EXPECT_EQ(FolderNames(*media), (std::vector<std::string>{"Texture", "Sound"}));
    EXPECT_EQ(FolderNames(*texture), std::vector<std::string>{"Cars"});
    EXPECT_EQ(newFolder->m_Parent, &live);
    // Read folders that stand for live ones map to them; what was adopted left the map.
    EXPECT_EQ(FidNumberMapGet(readMedia), reinterpret_cast<uintptr_t>(media));
    EXPECT_EQ(FidNumberMapGet(readTexture), reinterpret_cast<uintptr_t>(texture));
    for (const CMwNod* gone :
         {static_cast<const CMwNod*>(newFolder), static_cast<const CMwNod*>(deep),
          static_cast<const CMwNod*>(fid), static_cast<const CMwNod*>(&outside)})
        EXPECT_EQ(FidNumberMapGet(gone), 0u);
    // Only the duplicates are left to the read tree.
    EXPECT_EQ(FolderNames(read), std::vector<std::string>{"MEDIA"});
    EXPECT_EQ(FolderNames(*readMedia), std::vector<std::string>{"texture"});
    EXPECT_EQ(readTexture->m_Trees.m_Count, 0u);
    read.Clear();
    outside.m_Folder = nullptr;
}

// Folder records in both encodings: A > {B, C > D}, E.
std::string Record(CSystemFids& root, bool text) {
    CClassicArchive writer;
    auto* memory = new CClassicBufferMemory;
    writer.SetBuffer(memory);
    writer.m_Writing = 1;
    writer.m_Text = text;
    root.ArchiveTree(writer);
    return std::string(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize());
}

void ReadRecord(CSystemFids& root, const std::string& bytes, bool text) {
    CClassicArchive reader;
    auto* memory = new CClassicBufferMemory;
    reader.SetBuffer(memory);
    memory->Write(bytes.data(), u32(bytes.size()));
    memory->Rewind();
    reader.m_Text = text;
    root.ArchiveTree(reader);
}

std::string U32(u32 value) {
    std::string bytes(4, '\0');
    platform::StoreU32Le(&bytes[0], value);
    return bytes;
}

std::string Name(const std::string& name) {
    return U32(u32(name.size())) + name;
}

TEST_F(SystemFids, FolderRecordsTravelInBothEncodings) {
    CTestDrive drive;
    drive.FindOrAddFolderPath(u"A\\B", nullptr);
    drive.FindOrAddFolderPath(u"A\\C\\D", nullptr);
    drive.FindOrAddFolderPath(u"\u00c9t\u00e9", nullptr);
    const std::string binary = Record(drive, false);
    EXPECT_EQ(binary, U32(2) + Name("A") + U32(2) + Name("B") + U32(0) + Name("C") + U32(1) +
                          Name("D") + U32(0) + Name("\xEF\xBB\xBF\xC3\x89t\xC3\xA9") + U32(0));
    const std::string text = Record(drive, true);
    EXPECT_EQ(
        text,
        "2\r\nA\r\n2\r\nB\r\n0\r\nC\r\n1\r\nD\r\n0\r\n\xEF\xBB\xBF\xC3\x89t\xC3\xA9\r\n0\r\n");
    // A named folder writes its own name first.
    EXPECT_EQ(Record(*drive.m_Trees.m_Items[0], false),
              Name("A") + U32(2) + Name("B") + U32(0) + Name("C") + U32(1) + Name("D") + U32(0));

    for (const bool isText : {false, true}) {
        CSystemFids read;
        ReadRecord(read, isText ? text : binary, isText);
        EXPECT_EQ(Record(read, isText), isText ? text : binary);
        EXPECT_EQ(FullName(*read.FindFolder(u"a\\c\\d", false)), "A\\C\\D\\");
        read.Clear();
    }
}

TEST_F(SystemFids, DamagedFolderRecordsFailTheRead) {
    std::string deep;
    for (u32 i = 0; i < kSystemFidsMaxArchivedDepth + 1; ++i)
        deep += U32(1) + Name("a");
    struct Case {
        const char* What;
        std::string Bytes;
        const char* Log;
    };
    const Case cases[] = {
        {"count past the end", U32(50) + Name("a") + U32(0), "past the end"},
        {"count above the limit", U32(kSystemFidsMaxArchivedFolders + 1), "above the limit"},
        {"dot-dot", U32(1) + Name("..") + U32(0), "refused"},
        {"dot", U32(1) + Name(".") + U32(0), "refused"},
        {"empty name", U32(1) + Name("") + U32(0), "refused"},
        {"backslash", U32(1) + Name("a\\b") + U32(0), "refused"},
        {"slash", U32(1) + Name("a/b") + U32(0), "refused"},
        {"drive", U32(1) + Name("c:") + U32(0), "refused"},
        {"NUL", U32(1) + Name(std::string("a\0b", 3)) + U32(0), "refused"},
        {"deeper than the limit", deep + U32(0), "nested too deep"},
        {"short", U32(1) + U32(3) + "ab", "past the end"},
    };
    for (const Case& c : cases) {
        CSystemFids read;
        CLogWatch log;
        EXPECT_THROW(ReadRecord(read, c.Bytes, false), CClassicBufferException) << c.What;
        EXPECT_NE(log.Since().find(c.Log), std::string::npos) << c.What << ": " << log.Since();
        // What was read hangs in the tree and goes with it.
        read.Clear();
    }
    // A valid tree just under the depth limit reads.
    std::string limit;
    for (u32 i = 0; i < kSystemFidsMaxArchivedDepth - 1; ++i)
        limit += U32(1) + Name("a");
    CSystemFids read;
    ReadRecord(read, limit + U32(0), false);
    EXPECT_NE(read.FindFolder(u"a\\a\\a", false), nullptr);
    read.Clear();
}

// A file that counts the scan's visits.
class CScannedFile : public CSystemFidFile {
public:
    void OnScanStep() override { ++m_Visits; }
    u32 m_Visits = 0;
};

TEST_F(SystemFids, ScanVisitsFilesThenSubFoldersOneAfterTheOther) {
    CNamedFolder top(u"top");
    CNamedFolder first(u"first", &top), second(u"second", &top);
    CScannedFile a, b, c;
    top.AddLeaf(&a);
    top.AddLeaf(&b);
    first.AddLeaf(&c);

    // Without the scheduling core the command is made but sits in no buffer.
    CLogWatch log;
    top.StartScan();
    EXPECT_NE(log.Since().find("No command buffer 13"), std::string::npos) << log.Since();
    ASSERT_NE(top.m_ScanCmd, nullptr);
    CMwCmdFastCall* cmd = top.m_ScanCmd;
    top.StartScan(); // one scan at a time
    EXPECT_EQ(top.m_ScanCmd, cmd);

    top.ScanStep();
    EXPECT_EQ(a.m_Visits + b.m_Visits, 2u);
    EXPECT_NE(first.m_ScanCmd, nullptr);
    top.ScanStep(); // waits for the first sub-folder
    EXPECT_EQ(second.m_ScanCmd, nullptr);
    first.ScanStep();
    EXPECT_EQ(c.m_Visits, 1u);
    EXPECT_EQ(first.m_ScanCmd, nullptr);
    top.ScanStep();
    EXPECT_NE(second.m_ScanCmd, nullptr);
    second.ScanStep();
    top.ScanStep();
    EXPECT_EQ(top.m_ScanCmd, nullptr);
    EXPECT_EQ(a.m_Visits + b.m_Visits + c.m_Visits, 3u);
}

// One pass over every bucket of the buffer.
void RunBuffer(CMwCmdBuffer* buffer) {
    for (u32 bucket = 0; bucket < buffer->GetBucketCount(); ++bucket)
        buffer->RunBucket(bucket);
}

TEST_F(SystemFids, ScanRunsInCommandBuffer13) {
    CMwCmdBufferCore* core = CMwCmdBufferCore::CreateSingleton();
    core->CreateBuffers();
    CMwCmdBuffer* buffer = core->GetBuffer(13);
    {
        CNamedFolder top(u"top");
        auto* sub = new CNamedFolder(u"sub", &top);
        CNamedFolder deeper(u"deeper", sub);
        CScannedFile a, b;
        top.AddLeaf(&a);
        sub->AddLeaf(&b);
        top.StartScan();
        EXPECT_TRUE(buffer->m_Cmds.Contains(top.m_ScanCmd));
        for (u32 i = 0; i < 10 && top.m_ScanCmd; ++i)
            RunBuffer(buffer);
        EXPECT_EQ(top.m_ScanCmd, nullptr);
        EXPECT_EQ(a.m_Visits + b.m_Visits, 2u);

        // A folder that goes while it scans takes its command out of the buffer.
        top.StartScan();
        RunBuffer(buffer);
        ASSERT_NE(sub->m_ScanCmd, nullptr);
        delete sub;
        for (u32 i = 0; i < 3; ++i)
            RunBuffer(buffer);
        EXPECT_EQ(top.m_ScanCmd, nullptr);
    }
    RunBuffer(buffer);
    CMwCmdBufferCore::DeleteSingleton();
}

} // namespace
