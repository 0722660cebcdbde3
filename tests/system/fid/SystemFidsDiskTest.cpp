// The folder tree against real folders: file ids and folders added when they are on disk, folders
// refreshed from disk (and compared with what find(1) lists), listings by class with locator
// files, and the size and flag totals.
#include "FidTestSupport.h"
#include "system/fid/SystemFidNumberMap.h"
#include "tests/system/engine/EngineTestSupport.h"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

class SystemFidsDisk : public CSystemFixture {
protected:
    void TearDown() override {
        m_Tree.m_Drive.Clear();
        EXPECT_EQ(GetFidNumberMap(), nullptr);
        CSystemFixture::TearDown();
    }

    void RefreshTop(u32 recursive) {
        CClassicWideString path;
        m_Tree.m_Folder->GetFullDirName(path);
        m_Tree.m_Folder->RefreshFromDisk(path, recursive);
    }

    CTempFolder m_Temp;
    CDiskTree m_Tree{m_Temp};
};

// The lines of a command's output, sorted.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

TEST_F(SystemFidsDisk, FindFidAddsWhatIsOnDisk) {
    WriteWholeFile(m_Temp.File("Present.txt"), std::string(5000, 'p'));
    WriteWholeFile(m_Temp.File("Locked.dat"), "abc");
    chmod(m_Temp.File("Locked.dat").c_str(), 0444);
    fs::create_directories(m_Temp.File("Sub/Deeper"));
    WriteWholeFile(m_Temp.File("Sub/Deeper/Inner.dat"), "12345678");
    CSystemFids& folder = *m_Tree.m_Folder;

    EXPECT_EQ(folder.FindFid(u"present.TXT", false), nullptr);
    CSystemFid* present = folder.FindFid(u"present.TXT", true);
    ASSERT_NE(present, nullptr);
    auto* file = static_cast<CSystemFidFile*>(present);
    // Named as asked; size and read-only state read from disk.
    EXPECT_EQ(Narrow(file->m_FileName), "present.TXT");
    EXPECT_EQ(file->m_ByteSize, 5000u);
    EXPECT_FALSE(file->IsReadOnly());
    EXPECT_EQ(file->m_Flags & 0x6, 0u);
    EXPECT_EQ(folder.FindFid(u"PRESENT.txt", true), present);

    CSystemFid* locked = folder.FindFid(u"Locked.dat", true);
    ASSERT_NE(locked, nullptr);
    EXPECT_TRUE(static_cast<CSystemFidFile*>(locked)->IsReadOnly());
    EXPECT_EQ(static_cast<CSystemFidFile*>(locked)->m_ByteSize, 3u);

    // Folders on disk are added on the way, in the spelling asked; forward slashes separate.
    CSystemFid* inner = folder.FindFid(u"SUB/deeper\\inner.DAT", true);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(static_cast<CSystemFidFile*>(inner)->m_ByteSize, 8u);
    EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"SUB"});
    EXPECT_EQ(folder.FindFid(u"Sub\\Deeper\\Inner.dat", true), inner);

    // Nothing for what is not on disk, for folders named by dots, and for a path without a name.
    const u32 leaves = folder.m_Leaves.m_Count;
    for (const char16_t* path : {u"Missing.txt", u"Sub", u"Nowhere\\x.txt", u".\\Present.txt",
                                 u"Sub\\..\\Present.txt", u"..\\Present.txt", u"Sub\\", u""})
        EXPECT_EQ(folder.FindFid(path, true), nullptr) << Narrow(CClassicWideString(path));
    EXPECT_EQ(folder.m_Leaves.m_Count, leaves);
    EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"SUB"});

    // Folders alone.
    fs::create_directories(m_Temp.File("Other/Dir"));
    EXPECT_EQ(folder.FindFolder(u"other\\dir", false), nullptr);
    CSystemFids* dir = folder.FindFolder(u"other/DIR", true);
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(FullName(*dir), Narrow(m_Temp.Engine("other\\DIR\\")));
    EXPECT_EQ(folder.FindFolder(u"Other\\Nope", true), nullptr);
}

TEST_F(SystemFidsDisk, RefreshMatchesTheDisk) {
    for (const char* name : {"b.txt", "A.txt", "C.dat"})
        WriteWholeFile(m_Temp.File(name), name);
    fs::create_directories(m_Temp.File("Zeta"));
    fs::create_directories(m_Temp.File("alpha"));
    WriteWholeFile(m_Temp.File("alpha/x.dat"), "x");
    CSystemFids& folder = *m_Tree.m_Folder;

    RefreshTop(0);
    EXPECT_EQ(LeafNames(folder), (std::vector<std::string>{"A.txt", "b.txt", "C.dat"}));
    EXPECT_EQ(FolderNames(folder), (std::vector<std::string>{"alpha", "Zeta"}));
    CSystemFids* alpha = folder.m_Trees.m_Items[0];
    EXPECT_EQ(alpha->m_Leaves.m_Count, 0u); // not recursive
    CSystemFid* a = folder.m_Leaves.m_Items[0];
    CSystemFid* b = folder.m_Leaves.m_Items[1];
    CSystemFid* c = folder.m_Leaves.m_Items[2];

    // A file that goes is dropped unless something loads it (a zip entry); a file that comes is
    // added; a name that differs from a leaf's only in case is that leaf; a leaf spelled in
    // another case than the disk's stays.
    fs::remove(m_Temp.File("b.txt"));
    fs::remove(m_Temp.File("C.dat"));
    WriteWholeFile(m_Temp.File("d.txt"), "d");
    auto* loader = new CMwNod;
    c->SetLoader(loader);
    CSystemFid* asked = folder.FindOrAddFid(u"D.TXT", nullptr, false);
    RefreshTop(0);
    EXPECT_EQ(LeafNames(folder), (std::vector<std::string>{"A.txt", "C.dat", "D.TXT"}));
    EXPECT_EQ(folder.m_Leaves.m_Items[0], a);
    EXPECT_EQ(folder.m_Leaves.m_Items[1], c);
    EXPECT_EQ(folder.m_Leaves.m_Items[2], asked);
    // b was deleted: only its address is left to look for.
    EXPECT_EQ(
        std::count(folder.m_Leaves.m_Items, folder.m_Leaves.m_Items + folder.m_Leaves.m_Count, b),
        0);
    c->SetLoader(nullptr); // the last reference: the loader goes

    // A folder that goes is dropped unless it is pinned; a folder that comes is added.
    fs::remove_all(m_Temp.File("Zeta"));
    fs::remove_all(m_Temp.File("alpha"));
    fs::create_directories(m_Temp.File("Beta"));
    alpha->Pin();
    RefreshTop(1);
    EXPECT_EQ(FolderNames(folder), (std::vector<std::string>{"alpha", "Beta"}));
    EXPECT_EQ(folder.m_Trees.m_Items[0], alpha);

    // Recursive: the pinned folder's own files follow its disk folder (gone).
    fs::create_directories(m_Temp.File("Beta/Gamma"));
    WriteWholeFile(m_Temp.File("Beta/Gamma/g.txt"), "g");
    RefreshTop(1);
    EXPECT_NE(folder.FindFid(u"beta\\gamma\\G.TXT", false), nullptr);
}

// Case twins on disk are files and folders of their own; a file id or folder spelled as none of
// them stands for the first in byte order, which an open of it reaches.
TEST_F(SystemFidsDisk, CaseTwinsOnDiskAreEntriesOfTheirOwn) {
    for (const char* name : {"Same.txt", "same.txt", "SAME.txt", "other.txt"})
        WriteWholeFile(m_Temp.File(name), name);
    fs::create_directories(m_Temp.File("Dir"));
    fs::create_directories(m_Temp.File("DIR"));
    WriteWholeFile(m_Temp.File("Dir/x.txt"), "x");
    WriteWholeFile(m_Temp.File("DIR/y.txt"), "y");
    CSystemFids& folder = *m_Tree.m_Folder;
    CSystemFid* lower = folder.FindOrAddFid(u"same.txt", nullptr, false);
    CSystemFid* asked = folder.FindOrAddFid(u"sAmE.txt", nullptr, false);
    ASSERT_NE(asked, lower);
    RefreshTop(1);
    EXPECT_EQ(LeafNames(folder),
              (std::vector<std::string>{"other.txt", "Same.txt", "sAmE.txt", "same.txt"}));
    EXPECT_EQ(FolderNames(folder), (std::vector<std::string>{"DIR", "Dir"}));
    EXPECT_EQ(Lines(RunCommand("find " + Quoted(m_Temp.Path().string()) + " -type f")).size(), 6u);
    EXPECT_TRUE(folder.HasLeaf(lower));
    EXPECT_TRUE(folder.HasLeaf(asked));
    // Each spelling on disk finds its own file id, the others the one that stands for SAME.txt.
    for (const char16_t* name : {u"Same.txt", u"same.txt", u"other.txt"}) {
        CSystemFid* fid = folder.FindFid(name, false);
        ASSERT_NE(fid, nullptr);
        EXPECT_EQ(Narrow(static_cast<CSystemFidFile*>(fid)->m_FileName), Narrow(name));
    }
    EXPECT_EQ(folder.FindFid(u"same.txt", true), lower);
    EXPECT_EQ(folder.FindFid(u"SAME.txt", true), asked);
    EXPECT_EQ(folder.FindFid(u"SAME.TXT", false), asked);
    EXPECT_EQ(folder.FindOrAddFid(u"saME.txt", nullptr, false), asked);
    // Each folder holds its own files; "dir" reaches DIR, first in byte order.
    struct Case {
        const char16_t* Path;
        bool Found;
    };
    for (const Case& c :
         {Case{u"Dir\\x.txt", true}, Case{u"DIR\\y.txt", true}, Case{u"DIR\\x.txt", false},
          Case{u"Dir\\y.txt", false}, Case{u"dir\\y.txt", true}, Case{u"dir\\x.txt", false}}) {
        CSystemFid* fid = folder.FindFid(c.Path, true);
        EXPECT_EQ(fid != nullptr, c.Found) << Narrow(c.Path);
        if (fid) {
            EXPECT_TRUE(fid->IsKindOf(CSystemFidFile::s_ClassId));
        }
    }
    CSystemFid* placed = folder.FindOrAddFid(u"dIr\\New.txt", nullptr, false);
    ASSERT_NE(placed, nullptr);
    EXPECT_EQ(Narrow(placed->m_Folder->GetDirNameRef() ? *placed->m_Folder->GetDirNameRef()
                                                       : CClassicWideString()),
              "DIR");
    // A second refresh neither adds nor drops anything.
    RefreshTop(1);
    EXPECT_EQ(folder.m_Leaves.m_Count, 4u);
    EXPECT_EQ(folder.m_Trees.m_Count, 2u);
}

TEST_F(SystemFidsDisk, NamesTheEngineCannotSpellAreLeftOut) {
    for (const char* name : {"ok.txt", "a*b.txt", "q\"x.txt", "pipe|d", "less<er"})
        WriteWholeFile(m_Temp.File(name), name);
    fs::create_directories(m_Temp.File("fine"));
    fs::create_directories(m_Temp.File("star*dir"));
    CLogWatch log;
    RefreshTop(1);
    CSystemFids& folder = *m_Tree.m_Folder;
    EXPECT_EQ(LeafNames(folder), std::vector<std::string>{"ok.txt"});
    EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"fine"});
    EXPECT_NE(log.Since().find("[Sys] Left out of the folder tree, its name cannot be spelled: " +
                               Narrow(m_Temp.Engine("a*b.txt"))),
              std::string::npos)
        << log.Since();
    EXPECT_NE(log.Since().find("star*dir"), std::string::npos);
    // A second refresh neither adds nor drops anything.
    CSystemFid* ok = folder.m_Leaves.m_Items[0];
    RefreshTop(1);
    EXPECT_EQ(folder.m_Leaves.m_Count, 1u);
    EXPECT_EQ(folder.m_Leaves.m_Items[0], ok);
}

// Trees built with mkdir and touch in mixed case: every file find(1) lists is a file id, and
// nothing else is.
TEST_F(SystemFidsDisk, RefreshedTreesHoldWhatFindLists) {
    struct Case {
        const char* What;
        const char* Script;
    };
    const Case cases[] = {
        {"mixed case",
         "mkdir -p Data/Textures/CARS Data/textures2 Music/Rock mixedCase/SubDir/deeper && "
         "touch Data/Textures/CARS/Red.DDS Data/Textures/CARS/blue.dds Data/textures2/Grass.Tga "
         "Music/Rock/Song.OGG mixedCase/SubDir/deeper/file.TXT mixedCase/README top.txt Top2.TXT"},
        {"links and empty folders",
         "mkdir -p Real/Inner Empty/Nested/Deeper && touch Real/a.txt Real/Inner/B.TXT && "
         "ln -s .. Real/Up && ln -s Real/Inner Shortcut && ln -s missing Broken && "
         "mkfifo Real/pipe"},
        {"many in one folder", "mkdir -p Many && cd Many && for i in $(seq 1 300); do "
                               "touch File$i.Dat; done && mkdir -p Sub && touch Sub/Last"},
    };
    for (const Case& c : cases) {
        CTempFolder temp;
        RunCommand("cd " + Quoted(temp.Path().string()) + " && " + c.Script);
        CDiskTree tree(temp);
        tree.m_Folder->Refresh(1);
        const std::vector<std::string> found =
            Lines(RunCommand("find " + Quoted(temp.Path().string()) + " -type f"));
        const std::vector<std::string> counted =
            Lines(RunCommand("find " + Quoted(temp.Path().string()) + " -type f | wc -l"));
        ASSERT_EQ(counted.size(), 1u);
        // A folder reached again through a link is not descended: "Real" is refreshed before
        // "Shortcut", so its files are listed under their own paths, as find lists them.
        const std::vector<std::string> files = tree.HostFiles();
        EXPECT_EQ(std::to_string(files.size()), counted[0]) << c.What;
        EXPECT_EQ(files, found) << c.What;
    }
}

TEST_F(SystemFidsDisk, ListFidsByClassWithLocators) {
    CFakeFidLinks links;
    CFakePlugFiles plug(
        {{".tga", CSystemFidMemory::s_ClassId}, {".ogg", CSystemFidsFolder::s_ClassId}});
    for (const char* name : {"Here.Zun", "Other.Zun", "Far.Tga.loc", "Near.Tga", "Near.Tga.loc",
                             "Bad.Ogg.loc", "Plain.txt"})
        WriteWholeFile(m_Temp.File(name), name);
    fs::create_directories(m_Temp.File("Sub"));
    WriteWholeFile(m_Temp.File("Sub/Deep.Tga.loc"), "x");
    WriteWholeFile(m_Temp.File("Sub/Inner.Zun"), "x");
    links.m_HeaderClasses[u"Here.Zun"] = CSystemFidFile::s_ClassId;
    links.m_HeaderClasses[u"Other.Zun"] = CSystemFidsFolder::s_ClassId;
    links.m_HeaderClasses[u"Near.Tga"] = CSystemFidMemory::s_ClassId;
    links.m_HeaderClasses[u"Inner.Zun"] = CSystemFidFile::s_ClassId;
    RefreshTop(1);
    CSystemFids& folder = *m_Tree.m_Folder;

    const auto list = [&](u32 classA, u32 classB, bool reread, bool locators) {
        CFastBuffer<CSystemFid*> fids;
        folder.ListFidsByClass(fids, classA, classB, reread, locators);
        std::vector<std::string> names;
        for (u32 i = 0; i < fids.m_Count; ++i) {
            CClassicWideString relative;
            static_cast<CSystemFidFile*>(fids.m_Items[i])->GetFileNameRelativeTo(relative, &folder);
            names.push_back(Narrow(relative));
        }
        fids.FreeItems();
        return names;
    };
    using Names = std::vector<std::string>;
    // A locator counts while its file is missing, in the folder asked only.
    EXPECT_EQ(list(CSystemFid::s_ClassId, 0xFFFFFFFF, false, true),
              (Names{"Far.Tga.loc", "Here.Zun", "Near.Tga", "Sub\\Inner.Zun"}));
    EXPECT_EQ(list(CSystemFid::s_ClassId, 0xFFFFFFFF, false, false),
              (Names{"Here.Zun", "Near.Tga", "Sub\\Inner.Zun"}));
    EXPECT_EQ(list(CSystemFidMemory::s_ClassId, CSystemFids::s_ClassId, false, true),
              (Names{"Bad.Ogg.loc", "Far.Tga.loc", "Near.Tga", "Other.Zun"}));

    // Headers are read once while their class is known; unknown ones are asked again, and all
    // with rereadHeaders.
    const u32 files = 9, unknown = 5; // the four locators and Plain.txt
    links.m_HeaderReads = 0;
    list(CSystemFid::s_ClassId, 0xFFFFFFFF, false, true);
    EXPECT_EQ(links.m_HeaderReads, unknown);
    links.m_HeaderReads = 0;
    list(CSystemFid::s_ClassId, 0xFFFFFFFF, true, true);
    EXPECT_EQ(links.m_HeaderReads, files);

    // Once the file of a locator is there, only the file counts.
    WriteWholeFile(m_Temp.File("Far.Tga"), "now here");
    RefreshTop(0);
    links.m_HeaderClasses[u"Far.Tga"] = CSystemFidMemory::s_ClassId;
    EXPECT_EQ(list(CSystemFid::s_ClassId, 0xFFFFFFFF, false, true),
              (Names{"Far.Tga", "Here.Zun", "Near.Tga", "Sub\\Inner.Zun"}));
    // Without the Plug library no extension names a class: no locator counts.
    SetPlugFileServices(nullptr);
    fs::remove(m_Temp.File("Far.Tga"));
    RefreshTop(0);
    EXPECT_EQ(list(CSystemFid::s_ClassId, 0xFFFFFFFF, false, true),
              (Names{"Here.Zun", "Near.Tga", "Sub\\Inner.Zun"}));
    SetPlugFileServices(&plug);
}

// Restores the size unit.
struct CSizeSettings {
    ~CSizeSettings() { g_SystemFidsSizeUnit = m_Unit; }
    u32 m_Unit = g_SystemFidsSizeUnit;
};

TEST_F(SystemFidsDisk, SizesAndFlagsAddUp) {
    CSizeSettings settings;
    WriteWholeFile(m_Temp.File("a.dat"), std::string(3000, 'a'));
    fs::create_directories(m_Temp.File("Sub/Empty"));
    WriteWholeFile(m_Temp.File("Sub/b.dat"), std::string(2000000, 'b'));
    WriteWholeFile(m_Temp.File("Sub/c.dat"), std::string(10, 'c'));
    chmod(m_Temp.File("Sub/c.dat").c_str(), 0444);
    auto& top = static_cast<CSystemFidsFolder&>(*m_Tree.m_Folder);
    top.Refresh(1);
    auto& sub = static_cast<CSystemFidsFolder&>(*top.FindFolder(u"Sub", false));
    auto& empty = static_cast<CSystemFidsFolder&>(*sub.FindFolder(u"Empty", false));

    EXPECT_EQ(top.m_ByteSize, 2003010u);
    EXPECT_EQ(sub.m_ByteSize, 2000010u);
    EXPECT_EQ(empty.m_ByteSize, 0u);
    EXPECT_EQ(empty.m_AllReadOnly, 1u); // nothing below is writable
    EXPECT_EQ(sub.m_AllReadOnly, 0u);
    EXPECT_EQ(top.m_AnyLoaded, 0u);
    u32 value = 0;
    EXPECT_EQ(ReadWord(top, "ByteSize", &value), 0u);
    EXPECT_EQ(value, 2003010u >> 10);
    g_SystemFidsSizeUnit = 2;
    EXPECT_EQ(ReadWord(top, "ByteSizeEd", &value), 0u);
    EXPECT_EQ(value, 1u);

    // After a save the refresh bits are set again: the next update reads the disk.
    auto* b = static_cast<CSystemFidFile*>(sub.FindFid(u"b.dat", false));
    chmod(m_Temp.File("Sub/b.dat").c_str(), 0444);
    WriteWholeFile(m_Temp.File("a.dat"), std::string(100, 'a')); // read-only state only
    top.UpdateSizes(0, 1);
    EXPECT_EQ(sub.m_AllReadOnly, 0u); // b's bits are clear: not read again
    b->m_Flags |= kSystemFidRefreshBits;
    top.UpdateSizes(0, 1);
    EXPECT_EQ(sub.m_AllReadOnly, 1u);
    EXPECT_EQ(top.m_AllReadOnly, 0u);
    EXPECT_EQ(top.m_ByteSize, 2003010u); // a.dat's size was not read again

    // A loaded nod below, in a file id or one of its aliases.
    CMwNod nod;
    CSystemFidFile alias;
    b->AddAlias(&alias);
    alias.SetNod(&nod);
    top.UpdateSizes(1, 1);
    EXPECT_EQ(sub.m_AnyLoaded, 1u);
    EXPECT_EQ(top.m_AnyLoaded, 1u);
    EXPECT_EQ(empty.m_AnyLoaded, 0u);
    u32 code = 0, same = 0;
    top.GetDisplayCode(&code, &same);
    EXPECT_EQ(code, 0x15u);

    // Nothing without recursive; no totals while they are switched off.
    alias.ClearNod(&nod);
    nod.RemoveDependant(&alias);
    top.UpdateSizes(1, 0);
    EXPECT_EQ(top.m_AnyLoaded, 1u);
    {
        // The System engine's setting.
        CEngineHost host;
        EXPECT_TRUE(SystemFidsKeepTotals());
        host.Engine().m_KeepFolderTotals = 0;
        EXPECT_FALSE(SystemFidsKeepTotals());
        top.UpdateSizes(1, 1);
        EXPECT_EQ(top.m_AnyLoaded, 1u);
        host.Engine().m_KeepFolderTotals = 1;
        top.RefreshAndMeasure(1);
        EXPECT_EQ(top.m_AnyLoaded, 0u);
    }
    // Without an engine they are kept.
    EXPECT_TRUE(SystemFidsKeepTotals());
}

// The root of the memory file ids has no folder on disk: refreshing it changes nothing (the
// process's current folder is not read as its disk folder).
TEST_F(SystemFidsDisk, TheMemoryRootHasNothingOnDisk) {
    WriteWholeFile(m_Temp.File("cwd.txt"), "x");
    const fs::path previous = fs::current_path();
    fs::current_path(m_Temp.Path());
    CSystemFids memory;
    auto* fid = new CSystemFidMemory;
    memory.AddLeaf(fid);
    memory.Refresh(1);
    memory.RefreshFromDisk(u"", 1);
    fs::current_path(previous);
    EXPECT_EQ(memory.m_Leaves.m_Count, 1u);
    EXPECT_EQ(memory.m_Leaves.m_Items[0], fid);
    EXPECT_EQ(memory.m_Trees.m_Count, 0u);
    memory.Clear();
}

} // namespace
