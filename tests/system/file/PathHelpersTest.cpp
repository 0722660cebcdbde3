// The path helpers on tables of paths: splitting, extension and suffix tests, normalisation and
// component iteration.
#include "system/file/PathHelpers.h"

#include "tests/system/SystemTestSupport.h"

#include <gtest/gtest.h>
#include <string>

namespace {

struct SplitCase {
    const char* path;
    const char* drive;
    const char* folder;
    const char* name;
    const char* extensions;
    const char* classExtension;
};

TEST(PathHelpers, SplitPathCutsDriveFolderNameAndExtensions) {
    const SplitCase cases[] = {
        {"C:\\dir\\sub\\x.Texture.Zun", "C:", "\\dir\\sub\\", "x", ".Texture.Zun", "Texture"},
        {"C:/dir/x.Texture.Zun", "C:", "\\dir\\", "x", ".Texture.Zun", "Texture"},
        {"dir\\name", "", "dir\\", "name", "", ""},
        {"x.Zun", "", "", "x", ".Zun", ""},
        {"x.a.b.zUN", "", "", "x", ".a.b.zUN", "b"},
        {"x.Texture.Zun1", "", "", "x", ".Texture.Zun1", ""},
        {"a.b.c", "", "", "a", ".b.c", ""},
        {"C:name.txt", "C:", "", "name", ".txt", ""},
        // Without a backslash after the drive, a further colon ends the folder.
        {"C:a:b.txt", "C:", "a:", "b", ".txt", ""},
        // The first colon anywhere ends the drive.
        {"dir\\a:b", "dir\\a:", "", "b", "", ""},
        {"\\\\server\\share\\f.x", "", "\\\\server\\share\\", "f", ".x", ""},
        {"dir.v2\\name", "", "dir.v2\\", "name", "", ""},
        {"dir\\", "", "dir\\", "", "", ""},
        {"", "", "", "", "", ""},
    };
    for (const SplitCase& c : cases) {
        CClassicWideString drive(u"old"), folder(u"old"), name(u"old"), extensions(u"old"),
            classExtension(u"old");
        SplitPath(Wide(c.path), &drive, &folder, &name, &extensions, &classExtension);
        EXPECT_EQ(Narrow(drive), c.drive) << c.path;
        EXPECT_EQ(Narrow(folder), c.folder) << c.path;
        EXPECT_EQ(Narrow(name), c.name) << c.path;
        EXPECT_EQ(Narrow(extensions), c.extensions) << c.path;
        EXPECT_EQ(Narrow(classExtension), c.classExtension) << c.path;
    }
}

TEST(PathHelpers, WrappersAssignTheirPartsAndMayWriteOverTheirInput) {
    const CClassicWideString path(u"C:\\dir\\x.Texture.Zun");
    CClassicWideString out(u"previous");
    GetDriveOfPath(path, out);
    EXPECT_EQ(Narrow(out), "C:");
    GetFolderOfPath(path, out);
    EXPECT_EQ(Narrow(out), "C:\\dir\\");
    GetFileNameOfPath(path, out);
    EXPECT_EQ(Narrow(out), "x.Texture.Zun");
    GetBaseNameOfPath(path, out);
    EXPECT_EQ(Narrow(out), "x");
    RemovePathExtensions(path, out);
    EXPECT_EQ(Narrow(out), "C:\\dir\\x");

    // The output may be the input: each helper reads its input before it writes.
    CClassicWideString same(u"D:/a/b.c.d");
    GetFolderOfPath(same, same);
    EXPECT_EQ(Narrow(same), "D:\\a\\");
    same = CClassicWideString(u"D:\\a\\b.c.d");
    RemoveLastExtension(same, same);
    EXPECT_EQ(Narrow(same), "D:\\a\\b.c");
}

TEST(PathHelpers, ExtensionAndSuffixTestsAtTheirBoundaries) {
    struct Case {
        const char* path;
        bool zun;
        bool endsWithLoc;
    };
    const Case cases[] = {
        {"a.zun", true, false},
        {"A.ZUN", true, false},
        {".zun", false, false},
        {"a.zun1", false, false},
        {"a.loc", false, true},
        {".loc", false, false},
        {"x.LOC", false, true},
        {"dir\\b.Loc", false, true},
        {"x\xC3\xA9loc", false, false},
        {"x.l\xC3\xB3"
         "c",
         false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HasZunExtension(Wide(c.path)), c.zun) << c.path;
        EXPECT_EQ(PathEndsWith(Wide(c.path), ".loc"), c.endsWithLoc) << c.path;
    }
    // A character of 128 or above in the compared part never matches, even against itself.
    EXPECT_FALSE(PathEndsWith(Wide("a\xC3\xA9"), "\xE9"));
    EXPECT_TRUE(PathEndsWith(Wide("a.Solid.Zun"), ".solid.zun"));
    EXPECT_TRUE(PathEndsWith(Wide("anything"), ""));
    EXPECT_FALSE(PathEndsWith(Wide(""), ""));
}

TEST(PathHelpers, RemoveLastExtensionCutsOnlyAfterTheLastBackslash) {
    const std::pair<const char*, const char*> cases[] = {
        {"a.b.c", "a.b"},
        {"dir.v2\\name", "dir.v2\\name"},
        {"dir.v2\\name.txt", "dir.v2\\name"},
        {"noext", "noext"},
        {".hidden", ""},
    };
    for (const auto& [path, expected] : cases) {
        CClassicWideString out;
        RemoveLastExtension(Wide(path), out);
        EXPECT_EQ(Narrow(out), expected) << path;
    }
}

struct NormalizeCase {
    const char* path;
    u32 flags;
    const char* expected;
};

TEST(PathHelpers, NormalizePathFlagsFollowsEachFlag) {
    const NormalizeCase cases[] = {
        // Separators: '/' is '\', doubled ones collapse.
        {"a/b//c\\\\d", kPathFlagsFile, "a\\b\\c\\d"},
        {"C:/dir//x.txt", kPathFlagsFile, "C:\\dir\\x.txt"},
        // Folder walks: a leading backslash is dropped, a drive colon becomes '_'.
        {"\\a\\b", kPathFlagsFolderWalk, "a\\b\\"},
        {"C:\\a", kPathFlagsFolderWalk, "C_\\a\\"},
        {"\\\\srv\\share", kPathFlagsFolderWalk, "srv\\share\\"},
        // The whole leading run goes, so that a second pass finds nothing more to drop.
        {"\\\\\\a", kPathFlagsFolderWalk, "a\\"},
        {"\\\\\\a", kPathFlagsFile, "\\a"},
        // Folders with a trailing backslash.
        {"C:\\a\\b", kPathFlagsFolder, "C:\\a\\b\\"},
        {"C:\\a\\b\\", kPathFlagsFolder, "C:\\a\\b\\"},
        // Invalid characters.
        {"a\"b*c<d>e|f", kPathFlagsFile, "a_b_c_d_e_f"},
        {"a:b", kPathFlagsFile, "a:b"},
        {"ab:c", kPathFlagsFile, "ab_c"},
        {"a?b", kPathFlagsFile, "a?b"},
        {"a?b", kPathFlagsFile & ~kPathKeepQuestionMark, "a_b"},
        // Without kPathKeepSeparators every backslash but a final one becomes '_'.
        {"a\\b\\c", kPathKeepPrefix, "a_b_c"},
        {"a\\b\\", kPathKeepPrefix | kPathTrailingBackslash, "a_b\\"},
        {"a\\b", kPathKeepPrefix | kPathTrailingBackslash, "a_b\\"},
        // A UNC start: collapsed, or kept with kPathKeepDoubleStart.
        {"\\\\srv\\x", kPathFlagsFile, "\\srv\\x"},
        {"\\\\srv\\x", kPathFlagsFile | kPathKeepDoubleStart, "\\\\srv\\x"},
        // Dot components.
        {"a\\.\\b", kPathFlagsFile, "a\\b"},
        {"a\\b\\..\\c", kPathFlagsFile, "a\\c"},
        {"a\\b\\..", kPathFlagsFolder, "a\\"},
        {"a\\b\\..", kPathFlagsFile, "a\\b\\.."},
        {"a\\.", kPathFlagsFile, "a\\."},
        // With the trailing backslash a final "." is a component: resolved, not left as ".\".
        {"a\\.", kPathFlagsFolder, "a\\"},
        {".", kPathFlagsFolder, ""},
        {".\\a", kPathFlagsFile, "a"},
        {"a\\...\\b", kPathFlagsFile, "a\\...\\b"},
        {"a\\b.\\..\\c", kPathFlagsFile, "a\\c"},
        // A ".." above the start is dropped, and what follows resolves from the start again.
        {"..\\a\\..\\b", kPathFlagsFile, "b"},
        {"..\\..\\a", kPathFlagsFile, "a"},
        {"a\\..\\..\\b\\..\\c", kPathFlagsFile, "c"},
        // ... or kept, with kPathKeepDotDotAbove.
        {"..\\a\\..\\b", kPathFlagsFile | kPathKeepDotDotAbove, "..\\b"},
        {"a\\..\\..\\..\\b", kPathFlagsFile | kPathKeepDotDotAbove, "..\\..\\b"},
        // The drive or root stays.
        {"C:\\..\\a", kPathFlagsFile, "C:\\a"},
        {"C:\\x\\..\\..\\a", kPathFlagsFile | kPathKeepDotDotAbove, "C:\\a"},
        {"\\a\\..\\..\\b", kPathFlagsFile, "\\b"},
        // With the drive colon gone, "C_" is an ordinary folder.
        {"C:\\..\\a", kPathFlagsFolderWalk, "a\\"},
    };
    for (const NormalizeCase& c : cases) {
        CClassicWideString path = Wide(c.path);
        NormalizePathFlags(path, c.flags);
        EXPECT_EQ(Narrow(path), c.expected) << c.path << " flags " << c.flags;
    }
    CClassicWideString empty;
    NormalizePathFlags(empty, kPathFlagsFolder);
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(PathHelpers, NormalizeFilePathAndMakeRelativePath) {
    CClassicWideString path(u"Z:/Game//Data/./x");
    NormalizeFilePath(path, false);
    EXPECT_EQ(Narrow(path), "Z:\\Game\\Data\\x");
    NormalizeFilePath(path, true);
    EXPECT_EQ(Narrow(path), "Z:\\Game\\Data\\x\\");

    CClassicWideString out;
    EXPECT_TRUE(MakeRelativePath(u"z:/game/data/Skins/a.dds", u"Z:\\Game\\Data\\", out));
    EXPECT_EQ(Narrow(out), "Skins\\a.dds");
    EXPECT_FALSE(MakeRelativePath(u"Z:\\Other\\a.dds", u"Z:\\Game\\Data\\", out));
    EXPECT_EQ(Narrow(out), "Z:\\Other\\a.dds");
    EXPECT_FALSE(MakeRelativePath(u"Z:\\Ga", u"Z:\\Game\\Data\\", out));
    EXPECT_TRUE(MakeRelativePath(u"a\\b", u"", out));
    EXPECT_EQ(Narrow(out), "a\\b");
}

TEST(PathHelpers, NextPathComponentWalksComponents) {
    struct Case {
        const char* path;
        std::vector<std::string> components;
    };
    const Case cases[] = {
        {"C:\\a\\\\b\\name", {"C:\\", "a\\", "b\\", "name"}},
        {"\\\\srv\\share\\x", {"\\\\srv\\", "share\\", "x"}},
        {"\\a\\", {"\\", "a\\", ""}},
        {"name", {"name"}},
        {"", {""}},
    };
    for (const Case& c : cases) {
        const CClassicWideString path = Wide(c.path);
        std::vector<std::string> got;
        CClassicWideString component;
        u32 position = 0;
        bool more = true;
        while (more && got.size() < 10) {
            more = NextPathComponent(path, component, &position);
            got.push_back(Narrow(component));
        }
        EXPECT_EQ(got, c.components) << c.path;
    }
}

TEST(PathHelpers, TakeFirstComponentAndPopLastPathComponent) {
    struct TakeCase {
        const char* path;
        const char* out;
        const char* rest;
    };
    const TakeCase takes[] = {
        {"a\\b\\c", "a\\", "b\\c"},
        {"a\\\\\\b", "a\\\\\\", "\\\\b"},
        {"\\\\srv\\x", "\\\\srv\\", "x"},
        {"\\a\\b", "\\", "a\\b"},
        {"name", "", "name"},
    };
    for (const TakeCase& c : takes) {
        CClassicWideString path = Wide(c.path), out(u"old");
        TakeFirstComponent(path, out);
        EXPECT_EQ(Narrow(out), c.out) << c.path;
        EXPECT_EQ(Narrow(path), c.rest) << c.path;
    }

    const TakeCase pops[] = {
        {"a\\b\\c\\", "c\\", "a\\b\\"},
        {"a\\b\\c", "c\\", "a\\b\\"},
        {"a\\b\\\\\\", "b\\", "a\\"},
        {"\\c", "c\\", "\\"},
        {"a\\", "a\\", ""},
        {"name", "name", ""},
        {"", "", ""},
    };
    for (const TakeCase& c : pops) {
        CClassicWideString path = Wide(c.path), out(u"old");
        PopLastPathComponent(path, out);
        EXPECT_EQ(Narrow(out), c.out) << c.path;
        EXPECT_EQ(Narrow(path), c.rest) << c.path;
    }
}

TEST(PathHelpers, AppendStripHideAndRestore) {
    CClassicWideString path(u"a\\");
    AppendFolderToPath(path, u"b");
    AppendFolderToPath(path, u"c\\");
    EXPECT_EQ(Narrow(path), "a\\b\\c\\");
    path = CClassicWideString(u"a\\b/\\/");
    StripTrailingSlashes(path);
    EXPECT_EQ(Narrow(path), "a\\b");

    // A final backslash becomes the text's end while the length stays.
    CClassicWideString folder(u"Z:\\dir\\");
    u32 had = 7;
    HideTrailingBackslash(folder, &had);
    EXPECT_EQ(had, 1u);
    EXPECT_EQ(folder.GetLength(), 7u);
    EXPECT_EQ(ClassicTextLength(folder.GetText()), 6u);
    RestoreTrailingBackslash(folder, had);
    EXPECT_EQ(Narrow(folder), "Z:\\dir\\");

    // Otherwise a NUL is appended and removed again; a lone backslash is left as it is.
    for (const char16_t* text : {u"Z:\\dir", u"\\", u""}) {
        CClassicWideString other(text);
        HideTrailingBackslash(other, &had);
        EXPECT_EQ(had, 0u);
        EXPECT_EQ(other.GetLength(), ClassicTextLength(text) + 1);
        EXPECT_EQ(other[other.GetLength() - 1], 0);
        RestoreTrailingBackslash(other, had);
        EXPECT_EQ(other.Compare(text), 0);
    }
}

} // namespace
