// The registry functions over the text files of the registry folder, which every test points at
// a temporary folder of its own.
#include "system/file/Registry.h"

#include "platform/Registry.h"
#include "tests/system/SystemTestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Sets an environment variable for the test's lifetime.
class CScopedEnvironment {
public:
    CScopedEnvironment(const char* name, const char* value) : m_Name(name) {
        if (const char* old = std::getenv(name))
            m_Old = old;
        m_Had = std::getenv(name) != nullptr;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~CScopedEnvironment() {
        if (m_Had)
            setenv(m_Name.c_str(), m_Old.c_str(), 1);
        else
            unsetenv(m_Name.c_str());
    }

private:
    std::string m_Name;
    std::string m_Old;
    bool m_Had = false;
};

class Registry : public ::testing::Test {
protected:
    Registry() : m_Folder(), m_Environment("ENGINE_REGISTRY_DIR", m_Folder.Path().c_str()) {}
    void SetUp() override { SetRegistryRootKey("Software\\Vorel\\Brisalde"); }
    void TearDown() override { SetRegistryRootKey(nullptr); }

    std::string Read(const char* name, const char* defaultValue = "default") {
        CClassicString out("stale");
        ReadRegistryString(name, out, defaultValue);
        return out.GetText();
    }
    std::string KeyFile() const { return m_Folder.File("Software/Vorel/Brisalde.reg"); }

    CTempFolder m_Folder;
    CScopedEnvironment m_Environment;
};

TEST_F(Registry, ValuesReadBackAndAbsentOnesGiveTheDefault) {
    EXPECT_EQ(Read("Version"), "default");
    WriteRegistryString("Version", "1.0.0.0");
    WriteRegistryString("PatchAvailable", "0");
    EXPECT_EQ(Read("Version"), "1.0.0.0");
    EXPECT_EQ(Read("PatchAvailable"), "0");
    EXPECT_EQ(Read("Language"), "default");
    EXPECT_EQ(Read("Language", nullptr), "");
    // A readable file, one value a line.
    EXPECT_EQ(ReadWholeFile(KeyFile()), "[HKEY_CURRENT_USER\\Software\\Vorel\\Brisalde]\n"
                                        "\"Version\"=\"1.0.0.0\"\n"
                                        "\"PatchAvailable\"=\"0\"\n");
    EXPECT_EQ(ModeOf(KeyFile()), 0600u);
    // Names ignore case and keep their first spelling.
    WriteRegistryString("VERSION", "2.0");
    EXPECT_EQ(Read("version"), "2.0");
    EXPECT_NE(ReadWholeFile(KeyFile()).find("\"Version\"=\"2.0\"\n"), std::string::npos);
    // An empty value reads as absent.
    WriteRegistryString("PatchAvailable", "");
    EXPECT_EQ(Read("PatchAvailable"), "default");
    // Keys ignore case too: an existing folder is used whatever its spelling.
    SetRegistryRootKey("SOFTWARE\\vorel\\BRISALDE");
    EXPECT_EQ(Read("Version"), "2.0");
    WriteRegistryString("Language", "fr");
    EXPECT_EQ(fs::directory_iterator(m_Folder.File("Software/Vorel"))->path().filename(),
              "Brisalde.reg");
}

TEST_F(Registry, TheLengthRuleAndCharactersBeyondAscii) {
    const std::string exactly256(256, 'x'), over256(257, 'y'), long300(300, 'z');
    WriteRegistryString("A", exactly256.c_str());
    WriteRegistryString("B", over256.c_str());
    WriteRegistryString("C", long300.c_str());
    EXPECT_EQ(Read("A"), exactly256);
    EXPECT_EQ(Read("B"), "default");
    EXPECT_EQ(Read("C"), "default");

    // Narrow bytes widen one to one, or as UTF-8 after EF BB BF; reading gives '_' for every
    // character of 128 or above.
    WriteRegistryString("Latin", "caf\xE9");
    WriteRegistryString("Utf8", "\xEF\xBB\xBF"
                                "caf\xC3\xA9 \xE4\xB8\xAD");
    EXPECT_EQ(Read("Latin"), "caf_");
    EXPECT_EQ(Read("Utf8"), "caf_ _");
    const std::string text = ReadWholeFile(KeyFile());
    EXPECT_NE(text.find("\"Latin\"=\"caf\xC3\xA9\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Utf8\"=\"caf\xC3\xA9 \xE4\xB8\xAD\"\n"), std::string::npos) << text;

    // Quotes, backslashes and line ends are escaped and come back unchanged.
    WriteRegistryString("Odd \"name\"", "a\\b \"c\"\r\nd\x01");
    EXPECT_EQ(Read("odd \"NAME\""), "a\\b \"c\"\r\nd\x01");
    EXPECT_NE(ReadWholeFile(KeyFile()).find(
                  "\"Odd \\\"name\\\"\"=\"a\\\\b \\\"c\\\"\\x0D\\x0Ad\\x01\"\n"),
              std::string::npos);
}

TEST_F(Registry, LinesThatAreNotValuesSurviveAndDamagedFilesAreNotLost) {
    fs::create_directories(m_Folder.File("Software/Vorel"));
    WriteWholeFile(KeyFile(), "[HKEY_CURRENT_USER\\Software\\Vorel\\Brisalde]\r\n"
                              "; edited by hand\r\n"
                              "\"Count\"=dword:00000001\r\n"
                              "\"Version\"=\"1.2\"\r\n"
                              "\"Broken\"=\"no end\r\n"
                              "\"Bad\"=\"\\q\"\r\n");
    EXPECT_EQ(Read("Version"), "1.2");
    EXPECT_EQ(Read("Count"), "default");
    EXPECT_EQ(Read("Broken"), "default");
    EXPECT_EQ(Read("Bad"), "default");
    WriteRegistryString("Version", "1.3");
    EXPECT_EQ(ReadWholeFile(KeyFile()), "[HKEY_CURRENT_USER\\Software\\Vorel\\Brisalde]\r\n"
                                        "; edited by hand\r\n"
                                        "\"Count\"=dword:00000001\r\n"
                                        "\"Version\"=\"1.3\"\r\n"
                                        "\"Broken\"=\"no end\r\n"
                                        "\"Bad\"=\"\\q\"\r\n");

    // A line that is not a value stays one, byte for byte: with two CRs before its LF, the
    // second is text after the closing quote. The value written goes to a line of its own and
    // reads back, once and for all later writes.
    const std::string dead = "\"PatchAvailable\"=\"old\"\r\r\n";
    ASSERT_EQ(dead.size(), 25u);
    WriteWholeFile(KeyFile(), dead);
    EXPECT_EQ(Read("PatchAvailable"), "default");
    for (const char* value : {"new", "newer"}) {
        WriteRegistryString("PatchAvailable", value);
        EXPECT_EQ(Read("PatchAvailable"), value);
        EXPECT_EQ(ReadWholeFile(KeyFile()), "[HKEY_CURRENT_USER\\Software\\Vorel\\Brisalde]\n" +
                                                dead + "\"PatchAvailable\"=\"" + value + "\"\n");
    }

    // A file that is not a key file at all is never rewritten.
    const std::string huge(3 << 20, 'x');
    WriteWholeFile(KeyFile(), huge);
    CLogWatch log;
    WriteRegistryString("Version", "1.4");
    EXPECT_EQ(ReadWholeFile(KeyFile()), huge);
    EXPECT_NE(log.Since().find("[Sys] Registry value \"Version\""), std::string::npos)
        << log.Since();
    EXPECT_EQ(Read("Version"), "default");
}

TEST_F(Registry, ReadOnlyKeyFilesAndUnusableKeysFailWithALogLine) {
    WriteRegistryString("Version", "1");
    chmod(KeyFile().c_str(), 0400);
    CLogWatch log;
    WriteRegistryString("Version", "2");
    EXPECT_EQ(Read("Version"), "1");
    EXPECT_NE(log.Since().find("not written"), std::string::npos);

    for (const char* key : {"Software\\..\\..\\Escape", "Software\\.\\x", "Soft/ware", ""}) {
        EXPECT_EQ(platform::RegistryWrite(CClassicWideString(CClassicStringRef(key)).GetText(),
                                          u"Name", u"value"),
                  EINVAL)
            << key;
    }
    SetRegistryRootKey("Software\\..\\..\\Escape");
    WriteRegistryString("Version", "x");
    EXPECT_EQ(Read("Version"), "default");
    EXPECT_FALSE(fs::exists(m_Folder.Path().parent_path() / "Escape.reg"));
}

TEST_F(Registry, WithoutARootKeyTheDefaultKeyIsUsed) {
    SetRegistryRootKey(nullptr);
    EXPECT_TRUE(GetRegistryRootKey().IsEmpty());
    WriteRegistryString("Language", "de");
    EXPECT_EQ(ReadWholeFile(m_Folder.File("Software/Vorel.reg")),
              "[HKEY_CURRENT_USER\\Software\\Vorel]\n\"Language\"=\"de\"\n");
}

TEST_F(Registry, WritersInSeveralProcessesKeepEachOthersValues) {
    std::vector<pid_t> children;
    for (int k = 0; k < 8; ++k) {
        const pid_t child = fork();
        if (child == 0) {
            for (int round = 0; round < 5; ++round) {
                const std::string name = "Writer" + std::to_string(k);
                WriteRegistryString(name.c_str(), std::to_string(round).c_str());
            }
            _exit(0);
        }
        children.push_back(child);
    }
    for (pid_t child : children)
        waitpid(child, nullptr, 0);
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(Read(("Writer" + std::to_string(k)).c_str()), "4") << k;
    EXPECT_EQ(m_Folder.Names(), std::vector<std::string>{"Software"});
    EXPECT_EQ(fs::directory_iterator(m_Folder.File("Software/Vorel"))->path().filename(),
              "Brisalde.reg");
}

TEST(RegistryLocation, FollowsTheEnvironment) {
    CTempFolder folder;
    {
        CScopedEnvironment redirect("ENGINE_REGISTRY_DIR", folder.File("redirected").c_str());
        CScopedEnvironment config("XDG_CONFIG_HOME", folder.File("config").c_str());
        EXPECT_EQ(platform::GetRegistryFolder(), folder.File("redirected"));
        EXPECT_EQ(platform::RegistryWrite(u"Software\\Test", u"Value", u"1"), 0);
        EXPECT_TRUE(fs::exists(folder.File("redirected/Software/Test.reg")));
    }
    {
        CScopedEnvironment redirect("ENGINE_REGISTRY_DIR", nullptr);
        CScopedEnvironment config("XDG_CONFIG_HOME", folder.File("config").c_str());
        EXPECT_EQ(platform::GetRegistryFolder(), folder.File("config"));
        EXPECT_EQ(platform::RegistryWrite(u"Software\\Test", u"Value", u"2"), 0);
        std::u16string value;
        EXPECT_TRUE(platform::RegistryRead(u"software\\TEST", u"value", value));
        EXPECT_EQ(value, u"2");
    }
    {
        CScopedEnvironment redirect("ENGINE_REGISTRY_DIR", nullptr);
        CScopedEnvironment relative("XDG_CONFIG_HOME", "relative/ignored");
        CScopedEnvironment home("HOME", folder.File("home").c_str());
        EXPECT_EQ(platform::GetRegistryFolder(), folder.File("home") + "/.config");
        EXPECT_EQ(platform::RegistryWrite(u"Software\\Test", u"Value", u"3"), 0);
        EXPECT_TRUE(fs::exists(folder.File("home/.config/Software/Test.reg")));
    }
}

} // namespace
