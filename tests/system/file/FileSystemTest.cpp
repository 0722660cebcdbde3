// The file and folder functions on real folders: existence, the read-only attribute (the owner's
// write bit, checked even though the tests may run as root), folder creation, deletion, copies,
// moves, listings, names found ignoring case, and the program's path and current folder.
#include "system/file/FileSystem.h"

#include "platform/Process.h"
#include "system/file/ClassicBufferFile.h"
#include "system/file/PathHelpers.h"
#include "tests/system/SystemTestSupport.h"

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Names(CFastBuffer<CClassicWideString>& buffer) {
    std::vector<std::string> names;
    for (u32 i = 0; i < buffer.m_Count; ++i)
        names.push_back(Narrow(buffer[i]));
    buffer.FreeItems();
    return names;
}

void MakeReadOnly(const std::string& path) {
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
}

i64 ModifiedNs(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    return i64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

TEST(FileSystem, ExistenceAndTheReadOnlyAttribute) {
    CTempFolder folder;
    WriteWholeFile(folder.File("File.txt"), "x");
    fs::create_directory(folder.File("Sub"));

    EXPECT_TRUE(FileExists(folder.Engine("File.txt")));
    EXPECT_TRUE(FileExists(folder.Engine("FILE.TXT"))); // found ignoring case
    EXPECT_FALSE(FileExists(folder.Engine("Sub")));
    EXPECT_FALSE(FileExists(folder.Engine("missing")));
    EXPECT_TRUE(FolderExists(folder.Engine("Sub")));
    EXPECT_TRUE(FolderExists(folder.Engine("sub\\")));
    EXPECT_FALSE(FolderExists(folder.Engine("File.txt")));
    EXPECT_FALSE(FolderExists(folder.Engine("missing\\")));
    EXPECT_TRUE(FolderExists(u"Z:\\"));
    EXPECT_FALSE(FolderExists(u"C:\\")); // no host counterpart

    u32 isAFile = 7;
    EXPECT_EQ(IsFileReadOnly(folder.Engine("File.txt"), &isAFile), 0u);
    EXPECT_EQ(isAFile, 1u);
    EXPECT_EQ(IsFileReadOnly(folder.Engine("Sub"), &isAFile), 0u);
    EXPECT_EQ(isAFile, 0u);
    // A path that cannot be read answers read-only.
    EXPECT_EQ(IsFileReadOnly(folder.Engine("missing"), &isAFile), 1u);
    EXPECT_EQ(isAFile, 0u);
    MakeReadOnly(folder.File("File.txt"));
    EXPECT_EQ(IsFileReadOnly(folder.Engine("File.txt"), nullptr), 1u);
    EXPECT_TRUE(ClearReadOnlyAttribute(folder.Engine("file.TXT")));
    EXPECT_EQ(ModeOf(folder.File("File.txt")), 0644u);
    EXPECT_FALSE(ClearReadOnlyAttribute(folder.Engine("missing")));
}

TEST(FileSystem, CreateFolderPathCreatesEveryFolderButTheLastName) {
    CTempFolder folder;
    fs::create_directory(folder.File("A"));
    // A exists, B does not: created.
    EXPECT_EQ(CreateFolderPath(folder.Engine("A\\B\\")), kCreateFolderCreated);
    EXPECT_TRUE(fs::is_directory(folder.File("A/B")));
    EXPECT_EQ(CreateFolderPath(folder.Engine("A\\B\\")), kCreateFolderAlreadyThere);
    // Another spelling finds the same folders.
    EXPECT_EQ(CreateFolderPath(folder.Engine("a\\b\\")), kCreateFolderAlreadyThere);
    // The part after the last backslash is a file name.
    EXPECT_EQ(CreateFolderPath(folder.Engine("A\\B\\C")), kCreateFolderAlreadyThere);
    EXPECT_FALSE(fs::exists(folder.File("A/B/C")));
    // Runs of backslashes count as one; new names keep their spelling.
    EXPECT_EQ(CreateFolderPath(folder.Engine("a\\\\New\\\\Deep\\x.txt")), kCreateFolderCreated);
    EXPECT_TRUE(fs::is_directory(folder.File("A/New/Deep")));
    // A file in the way: already there (as the system answers), then the next one fails.
    WriteWholeFile(folder.File("A/F"), "");
    EXPECT_EQ(CreateFolderPath(folder.Engine("A\\F\\")), kCreateFolderAlreadyThere);
    EXPECT_EQ(CreateFolderPath(folder.Engine("A\\F\\G\\")), kCreateFolderFailed);
    // Nothing to create.
    EXPECT_EQ(CreateFolderPath(u"name"), kCreateFolderCreated);
    EXPECT_EQ(CreateFolderPath(u"C:\\name"), kCreateFolderCreated);
    // A drive the host does not have.
    EXPECT_EQ(CreateFolderPath(u"C:\\x\\"), kCreateFolderFailed);
}

TEST(FileSystem, RemoveFileRefusesReadOnlyFilesUnlessAttributesAreCleared) {
    CTempFolder folder;
    WriteWholeFile(folder.File("a.txt"), "a");
    MakeReadOnly(folder.File("a.txt"));
    EXPECT_FALSE(RemoveFile(folder.Engine("a.txt"), false));
    EXPECT_TRUE(fs::exists(folder.File("a.txt")));
    EXPECT_TRUE(RemoveFile(folder.Engine("A.TXT"), true));
    EXPECT_FALSE(fs::exists(folder.File("a.txt")));
    EXPECT_FALSE(RemoveFile(folder.Engine("a.txt"), true));
    fs::create_directory(folder.File("Sub"));
    EXPECT_FALSE(RemoveFile(folder.Engine("Sub"), true));
}

// A pipe would block its open (no writer, no reader) and a device may never end: neither is read,
// written, copied or replaced, and no call waits for one. The calls run in a child that an alarm
// ends, so that a call that waits fails the test instead of hanging it.
TEST(FileSystem, PipesAndDevicesAreRefusedWithoutWaiting) {
    CTempFolder folder;
    ASSERT_EQ(mkfifo(folder.File("pipe").c_str(), 0644), 0);
    WriteWholeFile(folder.File("plain.txt"), "plain");
    const CClassicWideString pipe = folder.Engine("pipe"), plain = folder.Engine("plain.txt");
    const CClassicWideString zero = u"Z:\\dev\\zero";
    struct Case {
        const char* What;
        std::function<bool()> Refused;
    };
    const Case cases[] = {
        {"size of a pipe", [&] { return GetPathFileSize(pipe) == 0; }},
        {"reading a pipe",
         [&] { return CClassicBufferFile().Open(pipe, false, false, false, false) == 0; }},
        {"writing a pipe",
         [&] { return CClassicBufferFile().Open(pipe, true, false, true, false) == 0; }},
        {"replacing a pipe",
         [&] { return CClassicBufferFile().Open(pipe, true, true, true, false) == 0; }},
        {"reading a device",
         [&] { return CClassicBufferFile().Open(zero, false, false, false, false) == 0; }},
        {"copying a pipe", [&] { return !CopyFileTo(pipe, folder.Engine("copy"), false); }},
        {"copying over a pipe", [&] { return !CopyFileTo(plain, pipe, false); }},
        {"moving over a pipe", [&] { return !MoveFileReplacing(plain, pipe, false); }},
    };
    for (const Case& c : cases) {
        const pid_t child = fork();
        if (child == 0) {
            alarm(10);
            _exit(c.Refused() ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << c.What << (WIFSIGNALED(status) ? ": ended by a signal" : ": not refused");
    }
    // Everything stays as it was.
    struct stat st {};
    ASSERT_EQ(stat(folder.File("pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(ReadWholeFile(folder.File("plain.txt")), "plain");
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"pipe", "plain.txt"}));
}

TEST(FileSystem, MakeTempFileNameCreatesAnEmptyFileWithThePrefix) {
    CTempFolder folder;
    CClassicWideString first, second;
    ASSERT_TRUE(MakeTempFileName(first, folder.Engine(), "ZunZipper"));
    ASSERT_TRUE(MakeTempFileName(second, folder.Engine(), "ZunZipper"));
    EXPECT_NE(Narrow(first), Narrow(second));
    for (const CClassicWideString* path : {&first, &second}) {
        CClassicWideString name;
        GetFileNameOfPath(*path, name);
        const std::string text = Narrow(name);
        EXPECT_EQ(text.substr(0, 3), "Zun") << text;
        EXPECT_EQ(text.substr(text.size() - 4), ".tmp") << text;
        EXPECT_LE(text.size(), 11u) << text;
        EXPECT_EQ(text.find_first_not_of("0123456789ABCDEF", 3), text.size() - 4) << text;
        EXPECT_TRUE(FileExists(*path));
        EXPECT_EQ(GetPathFileSize(*path), 0u);
    }
    CClassicWideString out(u"old");
    EXPECT_FALSE(MakeTempFileName(out, folder.Engine("missing"), "Fbx"));
    EXPECT_TRUE(out.IsEmpty());
}

TEST(FileSystem, CopyFileToKeepsBytesPermissionsAndTimeAndRefusesReadOnlyTargets) {
    CTempFolder folder;
    std::string content(300000, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = char(i * 7 + i / 251);
    WriteWholeFile(folder.File("src.bin"), content);
    chmod(folder.File("src.bin").c_str(), 0640);
    const timespec times[2] = {{1000000000, 0}, {1234567890, 123456789}};
    ASSERT_EQ(utimensat(AT_FDCWD, folder.File("src.bin").c_str(), times, 0), 0);

    ASSERT_TRUE(CopyFileTo(folder.Engine("SRC.bin"), folder.Engine("copy.bin"), true));
    EXPECT_EQ(ReadWholeFile(folder.File("copy.bin")), content);
    EXPECT_EQ(ModeOf(folder.File("copy.bin")), 0640u);
    EXPECT_EQ(ModifiedNs(folder.File("copy.bin")), 1234567890123456789);

    // Fail-if-exists keeps the existing file; otherwise it is replaced.
    WriteWholeFile(folder.File("old.bin"), "old");
    EXPECT_FALSE(CopyFileTo(folder.Engine("src.bin"), folder.Engine("old.bin"), true));
    EXPECT_EQ(ReadWholeFile(folder.File("old.bin")), "old");
    EXPECT_TRUE(CopyFileTo(folder.Engine("src.bin"), folder.Engine("OLD.bin"), false));
    EXPECT_EQ(ReadWholeFile(folder.File("old.bin")), content);

    // A read-only target stays as it is; a read-only source gives a read-only copy.
    WriteWholeFile(folder.File("locked.bin"), "locked");
    MakeReadOnly(folder.File("locked.bin"));
    EXPECT_FALSE(CopyFileTo(folder.Engine("src.bin"), folder.Engine("locked.bin"), false));
    EXPECT_EQ(ReadWholeFile(folder.File("locked.bin")), "locked");
    ASSERT_TRUE(CopyFileTo(folder.Engine("locked.bin"), folder.Engine("copy2.bin"), false));
    EXPECT_EQ(IsFileReadOnly(folder.Engine("copy2.bin"), nullptr), 1u);

    EXPECT_FALSE(CopyFileTo(folder.Engine("missing"), folder.Engine("x"), false));
    EXPECT_FALSE(fs::exists(folder.File("x")));
    // Nothing but the files themselves is left in the folder.
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"copy.bin", "copy2.bin", "locked.bin",
                                                        "old.bin", "src.bin"}));
}

TEST(FileSystem, MoveFileReplacingPlainAndReplacing) {
    CTempFolder folder;
    WriteWholeFile(folder.File("a"), "A");
    WriteWholeFile(folder.File("b"), "B");
    // Plain: the target must not exist.
    EXPECT_FALSE(MoveFileReplacing(folder.Engine("a"), folder.Engine("b"), true));
    EXPECT_EQ(ReadWholeFile(folder.File("b")), "B");
    EXPECT_TRUE(MoveFileReplacing(folder.Engine("a"), folder.Engine("c"), true));
    EXPECT_FALSE(fs::exists(folder.File("a")));
    // Replacing.
    EXPECT_TRUE(MoveFileReplacing(folder.Engine("C"), folder.Engine("B"), false));
    EXPECT_EQ(ReadWholeFile(folder.File("b")), "A");
    EXPECT_FALSE(fs::exists(folder.File("c")));
    // Never over a read-only target.
    WriteWholeFile(folder.File("d"), "D");
    MakeReadOnly(folder.File("b"));
    EXPECT_FALSE(MoveFileReplacing(folder.Engine("d"), folder.Engine("b"), false));
    EXPECT_EQ(ReadWholeFile(folder.File("b")), "A");
    EXPECT_EQ(ReadWholeFile(folder.File("d")), "D");
    EXPECT_FALSE(MoveFileReplacing(folder.Engine("missing"), folder.Engine("e"), false));
}

TEST(FileSystem, ListingsAreSortedFilteredAndMatchPatterns) {
    CTempFolder folder;
    for (const char* name : {"b.txt", "A.TXT", "a.txt", "c", "LogCrash_1.txt", "logcrash_2.TXT",
                             "base", "base.dds", "base.x.y", "based.dds"})
        WriteWholeFile(folder.File(name), name);
    fs::create_directory(folder.File("Zeta"));
    fs::create_directory(folder.File("alpha"));
    fs::create_directory(folder.File("alpha.d"));
    symlink("alpha", folder.File("link-to-alpha").c_str());
    symlink("b.txt", folder.File("link-to-b").c_str());
    symlink("missing", folder.File("broken").c_str());
    mkfifo(folder.File("pipe").c_str(), 0644);

    CFastBuffer<CClassicWideString> out;
    const CClassicWideString base = folder.Engine();
    ListFileNames(base, out, u"*.*");
    EXPECT_EQ(Names(out), (std::vector<std::string>{"A.TXT", "a.txt", "b.txt", "base", "base.dds",
                                                    "base.x.y", "based.dds", "c", "link-to-b",
                                                    "LogCrash_1.txt", "logcrash_2.TXT"}));
    ListSubFolderNames(base, out, u"*.*");
    EXPECT_EQ(Names(out), (std::vector<std::string>{"alpha", "alpha.d", "link-to-alpha", "Zeta"}));
    ListFileNames(base, out, u"logcrash_*.txt");
    EXPECT_EQ(Names(out), (std::vector<std::string>{"LogCrash_1.txt", "logcrash_2.TXT"}));
    ListFileNames(base, out, u"base.*");
    EXPECT_EQ(Names(out), (std::vector<std::string>{"base", "base.dds", "base.x.y"}));
    ListFileNames(base, out, u"?.txt");
    EXPECT_EQ(Names(out), (std::vector<std::string>{"A.TXT", "a.txt", "b.txt"}));
    // The pattern may carry a folder of its own, spelled in any case.
    ListSubFolderNames(folder.Engine("ZETA\\.."), out, u"\\a*");
    EXPECT_EQ(Names(out), (std::vector<std::string>{"alpha", "alpha.d"}));
    // Files and sub-folders in one search.
    CFastBuffer<CClassicWideString> folders;
    ListFolderNames(base, out, folders, u"a*");
    EXPECT_EQ(Names(out), (std::vector<std::string>{"A.TXT", "a.txt"}));
    EXPECT_EQ(Names(folders), (std::vector<std::string>{"alpha", "alpha.d"}));
    // A search that cannot start leaves the outputs empty.
    out.Add(CClassicWideString(u"stale"));
    folders.Add(CClassicWideString(u"stale"));
    ListFileNames(folder.Engine("missing\\"), out, u"*.*");
    EXPECT_EQ(out.m_Count, 0u);
    out.Add(CClassicWideString(u"stale"));
    ListFolderNames(folder.Engine("missing\\"), out, folders, u"*.*");
    EXPECT_EQ(out.m_Count + folders.m_Count, 0u);
    out.FreeItems();
    folders.FreeItems();
}

TEST(FileSystem, MatchesFilePatternTable) {
    struct Case {
        const char16_t* name;
        const char16_t* pattern;
        bool matches;
    };
    const Case cases[] = {
        {u"abc", u"*", true},
        {u"abc", u"*.*", true},
        {u"", u"*", true},
        {u"a.b", u"*.B", true},
        {u"a.b", u"*.c", false},
        {u"abc", u"a?c", true},
        {u"ac", u"a?c", false},
        {u"aXbXc", u"a*b*c", true},
        {u"aXbX", u"a*b*c", false},
        {u"base", u"base.*", true},
        {u"base.dds", u"BASE.*", true},
        {u"based", u"base.*", false},
        {u"mississippi", u"m*iss*ppi", true},
        {u"x.txt", u"x.txt", true},
        {u"\u00E9", u"\u00C9", false},
        {u"\u00E9.a", u"?.A", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchesFilePattern(c.name, c.pattern), c.matches)
            << Narrow(CClassicWideString(c.name)) << " " << Narrow(CClassicWideString(c.pattern));
}

TEST(FileSystem, ListFilesRecursiveGivesRelativePathsAndSurvivesLinkLoops) {
    CTempFolder folder;
    fs::create_directories(folder.File("Data/Skins/Old"));
    fs::create_directories(folder.File("Data/music"));
    WriteWholeFile(folder.File("Data/top.dds"), "");
    WriteWholeFile(folder.File("Data/Skins/a.dds"), "");
    WriteWholeFile(folder.File("Data/Skins/b.tga"), "");
    WriteWholeFile(folder.File("Data/Skins/Old/c.DDS"), "");
    WriteWholeFile(folder.File("Data/music/d.dds"), "");
    // A link back up the tree would make the walk endless.
    symlink("..", folder.File("Data/Skins/Old/up").c_str());

    CFastBuffer<CClassicWideString> out;
    out.Add(CClassicWideString(u"kept"));
    ListFilesRecursive(folder.Engine("data\\"), out, u"*.dds");
    EXPECT_EQ(Names(out), (std::vector<std::string>{"kept", "top.dds", "music\\d.dds",
                                                    "Skins\\a.dds", "Skins\\Old\\c.DDS"}));
}

TEST(FileSystem, NamesAreFoundIgnoringCaseExactSpellingFirst) {
    CTempFolder folder;
    fs::create_directories(folder.File("GameData/Skins"));
    WriteWholeFile(folder.File("GameData/Skins/Car.dds"), "car");
    WriteWholeFile(folder.File("GameData/Skins/CAR.dds"), "CAR");
    WriteWholeFile(folder.File("GameData/Skins/car.DDS"), "car-lower");

    EXPECT_EQ(GetPathFileSize(folder.Engine("GameData\\Skins\\CAR.dds")), 3u);
    EXPECT_EQ(GetPathFileSize(folder.Engine("gamedata\\skins\\car.DDS")), 9u);
    // No exact spelling: the first match in byte order ("CAR.dds" < "Car.dds" < "car.DDS").
    CClassicWideString path = folder.Engine("GAMEDATA\\SKINS\\cAr.dDs");
    ASSERT_EQ(GetPathFileSize(path), 3u);
    EXPECT_TRUE(RemoveFile(path, false));
    EXPECT_FALSE(fs::exists(folder.File("GameData/Skins/CAR.dds")));
    EXPECT_EQ(GetPathFileSize(path), 3u); // now "Car.dds"
    // Creating keeps the new name's spelling inside the existing folders.
    EXPECT_EQ(CreateFolderPath(folder.Engine("gamedata\\NewFolder\\")), kCreateFolderCreated);
    EXPECT_TRUE(fs::is_directory(folder.File("GameData/NewFolder")));
}

TEST(FileSystem, CommandLineTokenizer) {
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"Z:\\Game\\Launcher.exe /bench", u"Z:\\Game\\Launcher.exe"},
        {u"\"Z:\\Program Files\\Game\\Launcher.exe\" /bench",
         u"Z:\\Program Files\\Game\\Launcher.exe"},
        {u"  \t\"Z:\\a b\\x\"rest", u"Z:\\a b\\x"},
        {u"\"unterminated path", u"unterminated path"},
        {u"plain\ttab still", u"plain\ttab"},
        {u"", u""},
        {u"   ", u""},
        {u"\"\" next", u""},
    };
    for (const auto& [line, token] : cases) {
        CClassicWideString out(u"old");
        GetFirstCommandLineToken(line, out);
        EXPECT_EQ(Narrow(out), Narrow(CClassicWideString(token)))
            << Narrow(CClassicWideString(line));
    }
}

TEST(FileSystem, CommandLineFromArgumentsQuotesAndGivesTheProgramPathBack) {
    const std::pair<const char16_t*, const char16_t*> quoting[] = {
        {u"plain", u"plain"},
        {u"", u"\"\""},
        {u"with blank", u"\"with blank\""},
        {u"say \"hi\"", u"\"say \\\"hi\\\"\""},
        {u"C:\\dir with blank\\", u"\"C:\\dir with blank\\\\\""},
        {u"a\\\\\"b", u"\"a\\\\\\\\\\\"b\""},
        {u"no\\quote", u"no\\quote"},
    };
    for (const auto& [argument, quoted] : quoting)
        EXPECT_EQ(Narrow(CClassicWideString(platform::QuoteArgument(argument).c_str())),
                  Narrow(CClassicWideString(quoted)));

    const char* argv[] = {"ignored", "/bench", "two words"};
    const std::u16string line = platform::CommandLineFromArguments(3, argv);
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    const std::u16string program = platform::FromHostPath(self);
    EXPECT_EQ(line, platform::QuoteArgument(program) + u" /bench \"two words\"");

    const std::u16string saved = platform::GetCommandLine();
    platform::SetCommandLine(u"\"Z:\\Game Folder\\Launcher\" /x");
    CClassicWideString path;
    GetProgramPath(path);
    EXPECT_EQ(Narrow(path), "Z:\\Game Folder\\Launcher");
    // The process's own line names this test program.
    platform::SetCommandLine(line);
    GetProgramPath(path);
    EXPECT_EQ(Narrow(path), Narrow(CClassicWideString(program.c_str())));
    platform::SetCommandLine(saved);
}

TEST(FileSystem, CurrentFolderAndTheUnicodeCheck) {
    CTempFolder folder;
    const fs::path saved = fs::current_path();
    fs::current_path(folder.Path());
    CClassicWideString current;
    GetCurrentFolder(current);
    EXPECT_EQ(Narrow(current) + "\\",
              Narrow(CClassicWideString(
                  platform::FromHostPath(fs::current_path().string() + "/").c_str())));
    // Relative paths start at the current folder.
    WriteWholeFile(folder.File("here.txt"), "1234");
    EXPECT_EQ(GetPathFileSize(u"HERE.txt"), 4u);
    fs::current_path("/");
    GetCurrentFolder(current);
    EXPECT_EQ(Narrow(current), "Z:\\");
    fs::current_path(saved);

    EXPECT_NE(CheckUnicodeLayer(), 0);
}

} // namespace
