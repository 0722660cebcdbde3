// Engine paths and host paths: the lexical conversion both ways, host names that are not UTF-8,
// names found ignoring case in trees built in mixed case, and sorted listings.
#include "platform/HostPath.h"

#include "platform/File.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class CTempTree {
public:
    CTempTree() {
        std::string pattern = (fs::temp_directory_path() / "hostpath-XXXXXX").string();
        EXPECT_NE(mkdtemp(pattern.data()), nullptr);
        m_Path = pattern;
    }
    ~CTempTree() {
        std::error_code ignored;
        fs::remove_all(m_Path, ignored);
    }
    std::string File(const std::string& name) const { return m_Path + "/" + name; }
    void Touch(const std::string& name, const std::string& bytes = "") const {
        std::ofstream(File(name), std::ios::binary) << bytes;
    }
    std::u16string Engine(const std::u16string& name) const {
        return platform::FromHostPath(m_Path) + u"\\" + name;
    }

private:
    std::string m_Path;
};

// Engine paths below the tree and the host paths they resolve to, relative to the tree.
struct SResolveCase {
    const char16_t* path;
    const char* resolved;
};

void ExpectResolved(const CTempTree& tree, std::initializer_list<SResolveCase> cases) {
    for (const SResolveCase& c : cases) {
        std::string host;
        ASSERT_TRUE(platform::ResolveHostPath(tree.Engine(c.path), host));
        EXPECT_EQ(host, tree.File(c.resolved)) << platform::WideToHostText(c.path);
    }
}

TEST(HostPath, EnginePathsConvertLexically) {
    struct Case {
        const char16_t* path;
        bool ok;
        const char* host;
    };
    const Case cases[] = {
        {u"Z:\\home\\me\\game\\Config.txt", true, "/home/me/game/Config.txt"},
        {u"z:/home//me\\\\x", true, "/home/me/x"},
        {u"Z:\\", true, "/"},
        {u"Z:", true, "."},
        {u"Z:Data\\x", true, "Data/x"},
        {u"\\etc\\passwd", true, "/etc/passwd"},
        {u"/etc/", true, "/etc/"},
        {u"GameData\\Skins\\", true, "GameData/Skins/"},
        {u"a\\.\\b\\..\\c", true, "a/c"},
        {u"Z:\\..\\..\\etc", true, "/etc"},
        {u"..\\..\\a", true, "../../a"},
        {u"a\\..\\..\\b", true, "../b"},
        {u"a\\..", true, "."},
        {u"na\u00EFve \u4E2D.txt", true, "na\xC3\xAFve \xE4\xB8\xAD.txt"},
        {u"C:\\Windows", false, ""},
        {u"\\\\server\\share", false, ""},
        {u"\\\\?\\Z:\\x", false, ""},
        {u"", false, ""},
    };
    for (const Case& c : cases) {
        std::string host = "stale";
        EXPECT_EQ(platform::ToHostPath(c.path, host), c.ok) << c.host;
        EXPECT_EQ(host, c.ok ? c.host : "") << c.host;
    }
    // The text ends at its first NUL.
    std::string host;
    ASSERT_TRUE(platform::ToHostPath(std::u16string_view(u"Z:\\a\0\\hidden", 12), host));
    EXPECT_EQ(host, "/a");

    EXPECT_EQ(platform::FromHostPath("/home/me/"), u"Z:\\home\\me\\");
    EXPECT_EQ(platform::FromHostPath("/"), u"Z:\\");
    EXPECT_EQ(platform::FromHostPath("rel//dir"), u"rel\\dir");
}

TEST(HostPath, HostNamesComeBackByteForByte) {
    const std::string names[] = {
        "plain",         "caf\xC3\xA9",   "latin1-caf\xE9",
        "\xFF\xFE",      "half-\xE4\xB8", "surrogate-\xED\xA0\x80",
        "over-\xC0\xAF", "back\\slash",   "emoji-\xF0\x9F\x98\x80",
    };
    CTempTree tree;
    for (const std::string& name : names) {
        const std::u16string wide = platform::FromHostPath(name);
        // Not one backslash: a host name stays one engine component.
        EXPECT_EQ(wide.find(u'\\'), std::u16string::npos) << name;
        std::string host;
        ASSERT_TRUE(platform::ToHostPath(wide, host));
        EXPECT_EQ(host, name);
        EXPECT_EQ(platform::WideToHostText(platform::HostTextToWide(name)), name);

        // The same through a real file: listed, converted, opened again.
        tree.Touch(name, name);
        std::string found;
        ASSERT_TRUE(platform::ResolveHostPath(tree.Engine(wide), found));
        platform::File file;
        ASSERT_EQ(file.OpenRead(found), 0) << name;
        EXPECT_EQ(file.Size(), name.size());
    }
    std::vector<platform::FolderEntry> entries;
    ASSERT_EQ(platform::ListFolder(tree.File(""), entries), 0);
    EXPECT_EQ(entries.size(), std::size(names));
    // Bytes that are not UTF-8 are the characters U+DC80..U+DCFF; a backslash is U+DC5C.
    EXPECT_EQ(platform::HostTextToWide("a\xFF"), u"a\xDCFF");
    EXPECT_EQ(platform::FromHostPath("back\\slash"), u"back\xDC5Cslash");
    // Other lone surrogates never turn into bytes that mean something to the host.
    std::string host;
    ASSERT_TRUE(platform::ToHostPath(u"\xDC2E\xDC2E\\\xDC2F", host));
    EXPECT_EQ(host, "\xED\xB0\xAE\xED\xB0\xAE/\xED\xB0\xAF");
}

TEST(HostPath, MissingComponentsResolveIgnoringCaseInByteOrder) {
    CTempTree tree;
    fs::create_directories(tree.File("GameData/Skins"));
    fs::create_directories(tree.File("gamedata/skins"));
    fs::create_directories(tree.File("GAMEDATA/Other"));
    tree.Touch("GameData/Skins/Car.dds", "1");
    tree.Touch("GameData/Skins/car.dds", "2");
    tree.Touch("gamedata/skins/Bike.dds", "3");
    tree.Touch("GAMEDATA/Other/x", "4");
    ExpectResolved(
        tree, {
                  // Written exactly: as written.
                  {u"GameData\\Skins\\car.dds", "GameData/Skins/car.dds"},
                  {u"gamedata\\skins\\Bike.dds", "gamedata/skins/Bike.dds"},
                  // Otherwise the first match in byte order: "GAMEDATA" < "GameData" < "gamedata".
                  {u"gameDATA\\Other\\X", "GAMEDATA/Other/x"},
                  {u"gameDATA\\skins\\CAR.DDS", "GAMEDATA/skins/CAR.DDS"},
                  {u"GameData\\SKINS\\CAR.DDS", "GameData/Skins/Car.dds"},
                  // A name that matches nothing keeps its spelling, and so does the rest.
                  {u"GameData\\New Folder\\File.TXT", "GameData/New Folder/File.TXT"},
                  {u"GAMEDATA\\Other\\", "GAMEDATA/Other/"},
                  {u"gamedata\\SKINS\\", "gamedata/skins/"},
              });
    const std::string root = tree.File("");
    // Relative paths resolve from the current folder.
    const fs::path saved = fs::current_path();
    fs::current_path(root);
    std::string host;
    ASSERT_TRUE(platform::ResolveHostPath(u"GAMEdata\\OTHER\\x", host));
    EXPECT_EQ(host, "GAMEDATA/Other/x");
    fs::current_path(saved);
}

// A component with more path after it names a folder: a file of the same folded name, first in
// byte order or spelled exactly, does not hide the folder. The last component takes any kind.
TEST(HostPath, FoldersWinOverFilesInsideAPath) {
    CTempTree tree;
    fs::create_directories(tree.File("Data"));
    fs::create_directories(tree.File("Only"));
    tree.Touch("DATA", "file");
    tree.Touch("data", "file");
    tree.Touch("Data/x.Zun", "1");
    tree.Touch("ONLY", "file");
    tree.Touch("file", "file");
    ExpectResolved(tree, {
                             {u"DATA\\x.Zun", "Data/x.Zun"},
                             {u"data\\x.Zun", "Data/x.Zun"},
                             {u"dAtA\\x.Zun", "Data/x.Zun"},
                             {u"DATA\\", "Data/"},
                             // "ONLY" the file is exact, "Only" the folder wins inside a path.
                             {u"ONLY\\y", "Only/y"},
                             // As the last component the exact name, or the first in byte order.
                             {u"DATA", "DATA"},
                             {u"dAtA", "DATA"},
                             {u"data", "data"},
                             // Without a folder of that name, the file as before.
                             {u"FILE\\y", "file/y"},
                             {u"file\\y", "file/y"},
                         });
}

TEST(HostPath, ListingsAreSortedIgnoringCaseThenByBytes) {
    CTempTree tree;
    for (const char* name : {"b", "B", "a", "A_", "a_", "\xC3\xA9", "Z", "y", "_"})
        tree.Touch(name);
    std::vector<platform::FolderEntry> entries;
    ASSERT_EQ(platform::ListFolder(tree.File(""), entries), 0);
    std::vector<std::string> names;
    for (const platform::FolderEntry& entry : entries)
        names.push_back(entry.Name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"_", "a", "A_", "a_", "B", "b", "y", "Z", "\xC3\xA9"}));
    EXPECT_TRUE(platform::NameLess("A", "a"));
    EXPECT_FALSE(platform::NameLess("a", "A"));
    EXPECT_TRUE(platform::NameEqualsNoCase("ReadMe.TXT", "readme.txt"));
    EXPECT_FALSE(platform::NameEqualsNoCase("\xC3\xA9", "\xC3\x89"));
}

} // namespace
