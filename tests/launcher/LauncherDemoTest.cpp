// The demo install that run.sh lays out (apps/launcher/demo/make-demo.sh): its catalogues pass
// msgfmt's checks and hold the same keys, the launcher started in it finds its catalogues, its
// adapter and the adapter's GPU table row and has no reason for a box, in English and in French,
// and a second layout keeps what the demo's runs made.
#include "launcher/MainDlg.h"
#include "tests/launcher/LauncherTestSupport.h"

namespace {

using ui::Contains;

const std::string kDemoSource = std::string(ENGINE_TEST_SOURCE_DIR) + "/apps/launcher/demo";

class LauncherDemo : public HeadlessUiTest {
protected:
    LauncherDemo()
        : m_Demo(m_Folder.File("demo")),
          m_Registry("ENGINE_REGISTRY_DIR", (m_Demo + "/registry").c_str()),
          m_Runtime("XDG_RUNTIME_DIR", m_Folder.Path().c_str()),
          m_AdapterFile("BRISALDE_ADAPTER_FILE", (m_Demo + "/GfxAdapter.txt").c_str()),
          m_Locale("LC_ALL", "C"), m_Checksum(0x12345678) {
        m_OldFolder = std::filesystem::current_path();
        m_Options.SystemHost.HostFacts = &FakeHostFacts;
    }
    ~LauncherDemo() override {
        g_ClassicTranslator.Unload();
        std::filesystem::current_path(m_OldFolder);
        platform::SetCommandLine(std::u16string());
    }

    void Layout() const {
        RunCommand(kDemoSource + "/make-demo.sh " + ENGINE_LAUNCHER_PROGRAM + " " +
                   ENGINE_GAME_STANDIN + " " + m_Demo);
    }

    // The launcher started in the demo folder (headless) until its main dialog ends on Exit;
    // the transcript lines of the run.
    std::vector<std::string> Start() {
        std::filesystem::current_path(m_Demo);
        platform::SetCommandLine(u"\"" + platform::FromHostPath(m_Demo + "/BrisaldeLauncher") +
                                 u"\"");
        const size_t before = m_Ui.Transcript().size();
        m_Ui.Play(ui::Script()
                      .Expect(
                          [](const ui::View&) {
                              const auto& codes = theApp.m_LanguageCodes;
                              return codes.m_Count == 2 &&
                                     codes[0].GetText() == std::string("en") &&
                                     codes[1].GetText() == std::string("fr");
                          },
                          "both catalogues found")
                      .In(kMainDlgTemplateId)
                      .Click(ui::IDCANCEL));
        EXPECT_EQ(RunLauncher(m_Options), 0);
        std::filesystem::current_path(m_OldFolder);
        return std::vector<std::string>(m_Ui.Transcript().begin() + std::ptrdiff_t(before),
                                        m_Ui.Transcript().end());
    }

    std::string Demo(const std::string& name) const { return m_Demo + "/" + name; }

    CTempFolder m_Folder;
    std::string m_Demo;
    CScopedEnvVar m_Registry;
    CScopedEnvVar m_Runtime;
    CScopedEnvVar m_AdapterFile;
    CScopedEnvVar m_Locale;
    CConfigRecords m_Records;
    CKnownExeChecksum m_Checksum;
    SLauncherOptions m_Options;
    std::filesystem::path m_OldFolder;
};

TEST_F(LauncherDemo, CataloguesPassMsgfmtsChecksAndHoldTheSameKeys) {
    for (const char* code : {"en", "fr"}) {
        const std::string po = kDemoSource + "/" + code + ".po";
        RunCommand("msgfmt --check --statistics -o /dev/null " + po);
        EXPECT_NE(ReadWholeFile(po).find("msgid \"|I18NInternal|English\""), std::string::npos)
            << po;
    }
    // msgcmp: every key of the second file is in the first.
    RunCommand("msgcmp " + kDemoSource + "/en.po " + kDemoSource + "/fr.po");
    RunCommand("msgcmp " + kDemoSource + "/fr.po " + kDemoSource + "/en.po");
}

bool HasBox(const std::vector<std::string>& lines) {
    return std::any_of(lines.begin(), lines.end(),
                       [](const std::string& line) { return line.rfind("box", 0) == 0; });
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST_F(LauncherDemo, StartsWithoutABoxInEnglishAndInFrench) {
    Layout();
    std::vector<std::string> lines = Start();
    EXPECT_FALSE(HasBox(lines)) << m_Ui.TranscriptText();
    EXPECT_TRUE(Has(lines, "caption 102 \"Brisalde 1.0 en\"")) << m_Ui.TranscriptText();
    EXPECT_TRUE(Has(lines, "text 102/1027 \"Configure\"")) << m_Ui.TranscriptText();
    EXPECT_TRUE(Has(lines, "picture 102/1024 147 492x203")) << m_Ui.TranscriptText();
    // The adapter's row was found: no bench ran.
    EXPECT_FALSE(std::filesystem::exists(Demo("GameStandin.log")));
    EXPECT_TRUE(std::filesystem::is_regular_file(Demo("Default.SystemConfig.Zun")));

    // A player whose language is French: a new configuration takes it from the registry.
    std::filesystem::remove(Demo("Default.SystemConfig.Zun"));
    WriteWholeFile(Demo("registry/Software/Vorel/Brisalde.reg"),
                   "[HKEY_CURRENT_USER\\Software\\Vorel\\Brisalde]\n\"Version\"=\"0.0.1.0\"\n"
                   "\"Language\"=\"fr\"\n");
    lines = Start();
    EXPECT_FALSE(HasBox(lines)) << m_Ui.TranscriptText();
    EXPECT_TRUE(Has(lines, "caption 102 \"Brisalde 1.0 fr\"")) << m_Ui.TranscriptText();
    for (const char* line :
         {"text 102/1 \"Jouer\"", "text 102/1027 \"Configurer\"", "text 102/1029 \"Aide\"",
          "text 102/1028 \"Mise \xC3\xA0 jour\"", "text 102/2 \"Quitter\""})
        EXPECT_TRUE(Has(lines, line)) << line << "\n" << m_Ui.TranscriptText();
    EXPECT_FALSE(std::filesystem::exists(Demo("GameStandin.log")));
}

TEST_F(LauncherDemo, TheStandInsBenchWritesTheRowTheLayoutWrote) {
    Layout();
    const std::string table = ReadWholeFile(Demo("GameData/GfxDevicePerfs.txt"));
    std::filesystem::remove(Demo("GameData/GfxDevicePerfs.txt"));
    // The first start finds no row and runs the bench, whose row is the layout's.
    m_Ui.Play(ui::Script()
                  .Answer(ui::IDOK, Contains("Brisalde"), Contains("Your video card"))
                  .In(kMainDlgTemplateId)
                  .Click(ui::IDCANCEL));
    std::filesystem::current_path(m_Demo);
    platform::SetCommandLine(u"\"" + platform::FromHostPath(Demo("BrisaldeLauncher")) + u"\"");
    EXPECT_EQ(RunLauncher(m_Options), 0);
    std::filesystem::current_path(m_OldFolder);
    EXPECT_EQ(ReadWholeFile(Demo("GameData/GfxDevicePerfs.txt")), table);
}

TEST_F(LauncherDemo, SecondLayoutRefreshesTheProgramsAndKeepsWhatTheRunsMade) {
    Layout();
    const std::vector<std::string> kept = {"Default.SystemConfig.Zun", "GameStandin.txt",
                                           "GameStandin.log",
                                           "registry/Software/Vorel/Brisalde.reg"};
    for (const std::string& name : kept)
        WriteWholeFile(Demo(name), "the player's " + name + "\n");
    WriteWholeFile(Demo("BrisaldeLauncher"), "an older launcher");
    WriteWholeFile(Demo("Brisalde"), "an older game");
    Layout();
    for (const std::string& name : kept)
        EXPECT_EQ(ReadWholeFile(Demo(name)), "the player's " + name + "\n");
    EXPECT_EQ(ReadWholeFile(Demo("BrisaldeLauncher")), ReadWholeFile(ENGINE_LAUNCHER_PROGRAM));
    EXPECT_EQ(ReadWholeFile(Demo("Brisalde")), ReadWholeFile(ENGINE_GAME_STANDIN));
    EXPECT_EQ(ModeOf(Demo("Brisalde")) & 0111, 0111u);
    for (const char* name : {"GameData/Translations/en.mo", "GameData/Translations/fr.mo",
                             "GameData/Tracks/Replays/Bench.Replay.Zun", "TechnicalFaq_en.html",
                             "TechnicalFaq_fr.html", "GfxAdapter.txt"})
        EXPECT_TRUE(std::filesystem::is_regular_file(Demo(name))) << name;
}

} // namespace
