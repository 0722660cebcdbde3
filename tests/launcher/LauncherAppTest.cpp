#include "core/base/ClassicLog.h"
#include "core/nod/MwCmdBufferCore.h"
#include "core/nod/MwEngine.h"
#include "launcher/MainDlg.h"
#include "platform/Clock.h"
#include "platform/SingleInstance.h"
#include "tests/launcher/LauncherTestSupport.h"

#include <functional>
#include <sys/stat.h>

namespace {

using ui::Contains;
using ui::Exactly;

class LauncherRun : public CLauncherFixture {};

std::vector<std::string> Codes() {
    std::vector<std::string> codes;
    for (u32 i = 0; i < theApp.m_LanguageCodes.m_Count; ++i)
        codes.push_back(theApp.m_LanguageCodes[i].GetText());
    return codes;
}

TEST_F(LauncherRun, FreshInstallShowsTheMainDialogAndExitStartsNothing) {
    WriteGpuTable(true);
    WriteRegistry("\"Version\"=\"0.0.1.0\"\n");
    std::vector<u32> engineOrder;
    Run(ui::Script()
            .Expect(
                [&](const ui::View&) {
                    for (u32 i = 0; i < g_MwEngineManager->m_Order.m_Count; ++i)
                        engineOrder.push_back(g_MwEngineManager->m_Order[i]->m_EngineId);
                    return Codes() == std::vector<std::string>{"en"};
                },
                "the catalogue list")
            .Expect(
                [](const ui::View& view) {
                    std::vector<std::string> texts;
                    for (u32 id : {1u, 1027u, 1029u, 1028u, 2u})
                        texts.push_back(view.Item(kMainDlgTemplateId, id)->GetText());
                    return texts ==
                           std::vector<std::string>{"Play", "Configure", "Help", "Update", "Exit"};
                },
                "the buttons' texts")
            .In(kMainDlgTemplateId)
            .Click(ui::IDCANCEL));
    EXPECT_EQ(engineOrder, (std::vector<u32>{0x01000000, 0x0B000000, 0x12000000}));
    const std::vector<std::string> expected = {
        "open 102",
        "caption 102 \"Brisalde 1.0 en\"",
        "picture 102/1024 147 492x203",
        "move 102/1024 1,0 492x203",
    };
    for (const std::string& line : expected)
        EXPECT_TRUE(HasLine(line)) << line << "\n" << m_Ui.TranscriptText();
    EXPECT_TRUE(HasLine("close 102 -> IDCANCEL"));
    // No box at all: the defaults warn of nothing and were saved.
    for (const std::string& line : Lines())
        EXPECT_NE(line.rfind("box", 0), 0u) << line;
    EXPECT_EQ(ReadWholeFile(ConfigFile()), CFakeConfigFile::Text(CSystemConfig()));
    EXPECT_TRUE(m_Install.LogLines().empty());
    // Everything let go: the engines, the core, the configuration.
    EXPECT_EQ(g_MwEngineManager, nullptr);
    EXPECT_EQ(CMwCmdBufferCore::GetSingleton(), nullptr);
    EXPECT_EQ(theApp.m_Config, nullptr);
    EXPECT_EQ(theApp.m_Direct3D, nullptr);
}

// The box lines of the transcript, in order.
std::vector<std::string> BoxLines(const std::vector<std::string>& lines) {
    std::vector<std::string> boxes;
    for (const std::string& line : lines)
        if (line.rfind("box \"", 0) == 0 || line.rfind("box owner", 0) == 0)
            boxes.push_back(line);
    return boxes;
}

TEST_F(LauncherRun, WithoutAdapterTheStartEndsBeforeAnyEngine) {
    WriteGpuTable(true);
    const std::string registry =
        ReadWholeFile(m_Install.File("registry/Software/Vorel/Brisalde.reg"));
    CFakeAdapter none(std::nullopt);
    Run(ui::Script().Answer(ui::IDOK));
    EXPECT_EQ(Lines(),
              (std::vector<std::string>{"box \"Brisalde\" \"Could not find DirectX9\" MB_OK OK",
                                        "> answer IDOK", "box -> IDOK"}));
    EXPECT_FALSE(std::filesystem::exists(ConfigFile()));
    EXPECT_EQ(ReadWholeFile(m_Install.File("registry/Software/Vorel/Brisalde.reg")), registry);
    EXPECT_EQ(m_ConfigFile.m_Loads + m_ConfigFile.m_Saves, 0u);
    EXPECT_EQ(g_MwEngineManager, nullptr);
}

TEST_F(LauncherRun, WithoutCatalogueTheCodesAreEnglishOnly) {
    WriteGpuTable(true);
    WriteRegistry("\"Version\"=\"0.\"\n");
    std::filesystem::remove_all(m_Install.File("GameData/Translations"));
    Run(ui::Script()
            .Answer(ui::IDOK, Exactly("Brisalde "),
                    Exactly("Can't find language translation datas !"))
            .Expect([](const ui::View&) { return Codes() == std::vector<std::string>{"en"}; },
                    "the codes are en alone")
            .In(kMainDlgTemplateId)
            .Key(ui::Key::Escape));
    EXPECT_TRUE(HasLine("caption 102 \"Brisalde  en\"")) << m_Ui.TranscriptText();
    EXPECT_TRUE(HasLine("close 102 -> IDCANCEL"));
    EXPECT_TRUE(m_Install.LogLines().empty());
}

TEST_F(LauncherRun, FirstStartRunsTheBenchWhenTheAdapterHasNoRow) {
    const std::string first =
        "box \"Brisalde\" \"Your video card performance has not been found.\\r\\nA quick bench "
        "will be run.\" MB_OK OK";
    const std::string second =
        "box \"Brisalde\" \"Could not retrieve your graphic device performance.\\r\\nAutomatic "
        "graphic quality may be inadequate.\" MB_OK OK";
    struct Case {
        const char* Name;
        bool TableBefore;   // the table exists, without the row, before the start
        bool Game;          // the game program is there
        bool GameWritesRow; // its bench writes the row
        bool SecondBox;
    };
    const Case cases[] = {
        {"the game makes the table", false, true, true, false},
        {"the game adds the row", true, true, true, false},
        {"the game writes nothing", true, true, false, true},
        {"no game", true, false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        CGameInstall& install = m_Install;
        std::filesystem::remove_all(install.File("GameData/GfxDevicePerfs.txt"));
        std::filesystem::remove(install.File("GameStandin.log"));
        std::filesystem::remove(ConfigFile());
        if (c.TableBefore)
            WriteGpuTable(false);
        install.SetBehaviour(
            std::string("gpu_vendor = 0x5A5A\ngpu_device = 0x0101\nwrite_gpuperf = ") +
            (c.GameWritesRow ? "1" : "0") + "\n");
        if (!c.Game)
            std::filesystem::remove(install.Game());
        ui::Script script;
        script.Answer(ui::IDOK, Exactly("Brisalde"), Contains("Your video card"));
        if (c.SecondBox)
            script.Answer(ui::IDOK, Exactly("Brisalde"), Contains("Could not retrieve"));
        script.In(kMainDlgTemplateId).Click(ui::IDCANCEL);
        CFileSinkWatch log;
        std::vector<std::string> boxes = BoxLines(RunAndTake(std::move(script)));
        std::vector<std::string> expected = {first};
        if (c.SecondBox)
            expected.push_back(second);
        EXPECT_EQ(boxes, expected);
        EXPECT_NE(log.Text().find("[Launcher] GpuPerf not found => run the bench\r\n"),
                  std::string::npos);
        if (c.Game) {
            const std::string start = "start \"" + install.Path().string() + "\" \"/bench\"";
            EXPECT_EQ(install.LogLines(), (std::vector<std::string>{start, "end 0"}));
        } else {
            std::filesystem::copy_file(ENGINE_GAME_STANDIN, install.Game());
            std::filesystem::permissions(install.Game(), std::filesystem::perms(0755));
        }
    }
}

// The targets of the open descriptors of the process running in the folder (the game), from
// procfs; empty when none runs there.
std::vector<std::string> DescriptorsOfProcessIn(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
        const std::string pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos ||
            pid == std::to_string(getpid()))
            continue;
        std::error_code ignored;
        if (fs::read_symlink(entry.path() / "cwd", ignored) != folder)
            continue;
        std::vector<std::string> targets;
        for (const fs::directory_entry& fd : fs::directory_iterator(entry.path() / "fd", ignored))
            targets.push_back(fs::read_symlink(fd.path(), ignored).string());
        return targets;
    }
    return {};
}

TEST_F(LauncherRun, PlaySavesAndStartsTheGameThatOutlivesTheLauncher) {
    WriteGpuTable(true);
    m_Install.SetBehaviour("gpu_vendor = 0x5A5A\ngpu_device = 0x0101\ndelay_ms = 1500\n");
    Run(ui::Script().In(kMainDlgTemplateId).Click(ui::IDOK));
    EXPECT_TRUE(HasLine("close 102 -> IDOK"));
    // Saved on the way (once while making the defaults, once for Play).
    EXPECT_EQ(m_ConfigFile.m_Saves, 2u);
    const std::string start = "start \"" + m_Install.Path().string() + "\"";
    ASSERT_TRUE(WaitUntil([&] { return !m_Install.LogLines().empty(); }));
    EXPECT_EQ(m_Install.LogLines().front(), start);
    // The launcher has ended while the game runs: its lock is free, the game holds none of it.
    ASSERT_EQ(m_Install.LogLines().size(), 1u);
    const std::vector<std::string> descriptors = DescriptorsOfProcessIn(m_Install.Path());
    EXPECT_FALSE(descriptors.empty());
    for (const std::string& target : descriptors)
        EXPECT_EQ(target.find("VorelMutexUnique"), std::string::npos) << target;
    platform::SingleInstance second;
    EXPECT_EQ(second.Acquire(kLauncherMutexName), platform::SingleInstance::State::Acquired);
    EXPECT_EQ(second.GetPath(), m_Install.File("run/VorelMutexUnique.lock"));
    second.Release();
    ASSERT_TRUE(WaitUntil([&] { return m_Install.LogLines().size() == 2; }));
    EXPECT_EQ(m_Install.LogLines()[1], "end 0");
}

// Play with a game program that cannot be run, then with none: the configuration is saved and
// the launcher ends as after a start, but the player is told first.
TEST_F(LauncherRun, PlayWithAGameThatCannotStartIsTold) {
    WriteGpuTable(true);
    const std::string text = "The game could not be started:\n" + m_Install.Game();
    const std::pair<const char*, std::function<void()>> breaks[] = {
        {"not executable",
         [&] { std::filesystem::permissions(m_Install.Game(), std::filesystem::perms(0644)); }},
        {"missing", [&] { std::filesystem::remove(m_Install.Game()); }},
    };
    for (const auto& [name, spoil] : breaks) {
        SCOPED_TRACE(name);
        spoil();
        const u32 saves = m_ConfigFile.m_Saves;
        const std::vector<std::string> lines =
            RunAndTake(ui::Script()
                           .In(kMainDlgTemplateId)
                           .Click(ui::IDOK)
                           .Answer(ui::IDOK, Exactly("Brisalde en"), Exactly(text)));
        const auto closed = std::find(lines.begin(), lines.end(), "close 102 -> IDOK");
        ASSERT_NE(closed, lines.end()) << m_Ui.TranscriptText();
        EXPECT_NE(std::find(closed, lines.end(),
                            "box \"Brisalde en\" \"The game could not be started:\\n" +
                                m_Install.Game() + "\" MB_OK OK"),
                  lines.end())
            << m_Ui.TranscriptText();
        EXPECT_GT(m_ConfigFile.m_Saves, saves);
    }
    EXPECT_TRUE(m_Install.LogLines().empty());
}

TEST_F(LauncherRun, ExitEscapeAndTheCloseBoxStartNothing) {
    WriteGpuTable(true);
    const std::pair<const char*, ui::Script> endings[] = {
        {"Exit", ui::Script().In(kMainDlgTemplateId).Click(ui::IDCANCEL)},
        {"Escape", ui::Script().In(kMainDlgTemplateId).Key(ui::Key::Escape)},
        {"close box", ui::Script().In(kMainDlgTemplateId).Close()},
    };
    for (const auto& [name, script] : endings) {
        SCOPED_TRACE(name);
        const u32 saves = m_ConfigFile.m_Saves;
        const std::vector<std::string> lines = RunAndTake(script);
        EXPECT_NE(std::find(lines.begin(), lines.end(), "close 102 -> IDCANCEL"), lines.end())
            << m_Ui.TranscriptText();
        // Only the first run saves: the defaults it made.
        EXPECT_EQ(m_ConfigFile.m_Saves, saves + (saves == 0 ? 1u : 0u));
    }
    EXPECT_TRUE(m_Install.LogLines().empty());
}

TEST_F(LauncherRun, HeldLockEndsTheStartSilently) {
    WriteGpuTable(true);
    const std::string registry =
        ReadWholeFile(m_Install.File("registry/Software/Vorel/Brisalde.reg"));
    platform::SingleInstance first;
    ASSERT_EQ(first.Acquire(kLauncherMutexName), platform::SingleInstance::State::Acquired);
    Run(ui::Script());
    EXPECT_TRUE(Lines().empty());
    EXPECT_FALSE(std::filesystem::exists(ConfigFile()));
    EXPECT_EQ(ReadWholeFile(m_Install.File("registry/Software/Vorel/Brisalde.reg")), registry);
    EXPECT_EQ(m_ConfigFile.m_Loads + m_ConfigFile.m_Saves, 0u);
}

TEST_F(LauncherRun, ConfigurationThatCannotBeWrittenIsToldAndTheRunGoesOn) {
    WriteGpuTable(true);
    std::filesystem::create_directories(ConfigFile());
    Run(ui::Script()
            .Answer(ui::IDOK, Exactly("Error : Can't write config. file"))
            .In(kMainDlgTemplateId)
            .Click(ui::IDOK)
            .Answer(ui::IDOK, Exactly("Error : Can't write config. file")));
    const std::string box =
        "box \"Error : Can't write config. file\" \"Can't write config settings "
        "to \\n" +
        ConfigFile() +
        "\\nPlease check that you're running the game where files can be "
        "write.\" MB_OK OK";
    EXPECT_EQ(BoxLines(Lines()), (std::vector<std::string>{box, box}));
    ASSERT_TRUE(WaitUntil([&] { return m_Install.LogLines().size() == 2; }));
}

TEST_F(LauncherRun, StoredConfigurationIsKeptAndMadeWritable) {
    WriteGpuTable(true);
    // A second start that changes nothing does not write the file again.
    Run(ui::Script().In(kMainDlgTemplateId).Click(ui::IDCANCEL));
    const std::string saved = ReadWholeFile(ConfigFile());
    EXPECT_EQ(saved, CFakeConfigFile::Text(CSystemConfig()));
    const auto written = std::filesystem::last_write_time(ConfigFile());
    chmod(ConfigFile().c_str(), 0444);
    Run(ui::Script().In(kMainDlgTemplateId).Click(ui::IDOK));
    EXPECT_EQ(ReadWholeFile(ConfigFile()), saved);
    EXPECT_EQ(std::filesystem::last_write_time(ConfigFile()), written);
    EXPECT_EQ(ModeOf(ConfigFile()) & 0200, 0200u);
    EXPECT_EQ(m_ConfigFile.m_Loads, 1u);
    ASSERT_TRUE(WaitUntil([&] { return m_Install.LogLines().size() == 2; }));
}

TEST_F(LauncherRun, DamagedConfigurationGivesTheDefaultsAndTheirWarnings) {
    WriteGpuTable(true);
    WriteWholeFile(ConfigFile(), "config=1\nlanguage=en\nsafe=0\nvertex=1\ngdi=1\naa=2\n");
    // A stored configuration shows no warning.
    Run(ui::Script().In(kMainDlgTemplateId).Click(ui::IDCANCEL));
    EXPECT_TRUE(BoxLines(Lines()).empty());
    WriteWholeFile(ConfigFile(), "\x01\x02 damaged");
    Run(ui::Script().In(kMainDlgTemplateId).Click(ui::IDCANCEL));
    EXPECT_EQ(ReadWholeFile(ConfigFile()), CFakeConfigFile::Text(CSystemConfig()));
    EXPECT_EQ(ReadWholeFile(ConfigFile() + ".bad"), "\x01\x02 damaged");
    EXPECT_TRUE(BoxLines(Lines()).empty());
}

// The player's configuration is never overwritten because it did not load: a damaged file goes
// to its name + ".bad" (replacing an older one) before the defaults are saved in a new file.
// When it cannot go aside, nothing is written over it and the player is told.
TEST_F(LauncherRun, DamagedConfigurationIsMovedAsideBeforeTheDefaultsAreSaved) {
    WriteGpuTable(true);
    m_Options.ConfigFileOps = nullptr; // ".Zun" archives
    const std::string garbage = "\x07garbage!";
    ASSERT_EQ(garbage.size(), 9u);
    WriteWholeFile(ConfigFile(), garbage);
    WriteWholeFile(ConfigFile() + ".bad", "an older damaged file");
    CFileSinkWatch log;
    Run(ui::Script().In(kMainDlgTemplateId).Click(ui::IDCANCEL));
    EXPECT_TRUE(BoxLines(Lines()).empty()) << m_Ui.TranscriptText();
    EXPECT_EQ(ReadWholeFile(ConfigFile() + ".bad"), garbage);
    const std::string saved = ReadWholeFile(ConfigFile());
    EXPECT_EQ(saved.substr(0, 3), "ZUN");
    EXPECT_EQ(ModeOf(ConfigFile()), 0600u);
    const std::string text = log.Text();
    const size_t line =
        text.find("[Launcher] The configuration that could not be loaded is kept as ");
    EXPECT_NE(line, std::string::npos) << text;
    EXPECT_EQ(text.find("\\Default.SystemConfig.Zun.bad\r\n", line),
              text.find("\r\n", line) - std::strlen("\\Default.SystemConfig.Zun.bad"))
        << text;
    // The defaults saved load at the next start, which moves nothing.
    Run(ui::Script().In(kMainDlgTemplateId).Click(ui::IDOK));
    EXPECT_EQ(ReadWholeFile(ConfigFile()), saved);
    EXPECT_EQ(ReadWholeFile(ConfigFile() + ".bad"), garbage);

    // A folder in the way of the move: the damaged file stays as it is, and no save happens.
    WriteWholeFile(ConfigFile(), garbage);
    std::filesystem::remove(ConfigFile() + ".bad");
    std::filesystem::create_directories(ConfigFile() + ".bad/inside");
    Run(ui::Script()
            .Answer(ui::IDOK, Exactly("Error : Can't write config. file"))
            .In(kMainDlgTemplateId)
            .Click(ui::IDOK)
            .Answer(ui::IDOK, Exactly("Error : Can't write config. file")));
    EXPECT_EQ(ReadWholeFile(ConfigFile()), garbage);
    EXPECT_NE(log.Text().find("cannot be moved to "), std::string::npos) << log.Text();
}

TEST_F(LauncherRun, ConfigurationArchiveRoundTrip) {
    WriteGpuTable(true);
    m_Options.ConfigFileOps = nullptr; // ".Zun" archives
    Run(ui::Script().In(kMainDlgTemplateId).Click(ui::IDCANCEL));
    ASSERT_TRUE(std::filesystem::is_regular_file(ConfigFile()));
    const std::string saved = ReadWholeFile(ConfigFile());
    const auto written = std::filesystem::last_write_time(ConfigFile());
    // Loaded back: no warning, no box, and Play leaves the unchanged file alone.
    Run(ui::Script().In(kMainDlgTemplateId).Click(ui::IDOK));
    EXPECT_TRUE(BoxLines(Lines()).empty()) << m_Ui.TranscriptText();
    EXPECT_EQ(ReadWholeFile(ConfigFile()), saved);
    EXPECT_EQ(std::filesystem::last_write_time(ConfigFile()), written);
    ASSERT_TRUE(WaitUntil([&] { return m_Install.LogLines().size() == 2; }));

    // A truncated file gives the defaults, saved again whole.
    WriteWholeFile(ConfigFile(), saved.substr(0, saved.size() / 2));
    CFileSinkWatch log;
    Run(ui::Script().In(kMainDlgTemplateId).Click(ui::IDCANCEL));
    EXPECT_EQ(ReadWholeFile(ConfigFile()), saved);
    EXPECT_NE(log.Text().find("Default.SystemConfig.Zun"), std::string::npos) << log.Text();

    // A folder in the file's place: the save fails and says so.
    std::filesystem::remove(ConfigFile());
    std::filesystem::create_directories(ConfigFile());
    Run(ui::Script()
            .Answer(ui::IDOK, Exactly("Error : Can't write config. file"))
            .In(kMainDlgTemplateId)
            .Click(ui::IDCANCEL));
    EXPECT_TRUE(std::filesystem::is_directory(ConfigFile()));
}

TEST_F(LauncherRun, UpdateReminder) {
    WriteGpuTable(true);
    for (const int answer : {ui::IDYES, ui::IDNO}) {
        WriteRegistry("\"PatchAvailable\"=\"2000000\"\n");
        EXPECT_EQ(BoxLines(RunAndTake(ui::Script()
                                          .Answer(answer, Exactly("Brisalde"))
                                          .In(kMainDlgTemplateId)
                                          .Click(ui::IDCANCEL))),
                  (std::vector<std::string>{
                      "box owner 102 \"Brisalde\" \"Last time you connected to game server, an "
                      "update (1 954 kBytes) was available.\\nDo you want to check for this update "
                      "now ?\" MB_YESNO Yes|No"}));
        EXPECT_EQ(RegistryValue("PatchAvailable"), "2000000");
    }
    for (const char* value : {"0", "abc", "-5", ""}) {
        WriteRegistry(std::string("\"PatchAvailable\"=\"") + value + "\"\n");
        EXPECT_TRUE(
            BoxLines(RunAndTake(ui::Script().In(kMainDlgTemplateId).Click(ui::IDCANCEL))).empty())
            << value;
    }
}

TEST_F(LauncherRun, OpenMainDialogIsTranslatedAgainAfterALanguageChange) {
    WriteGpuTable(true);
    WriteCatalogue("fr", {{"|I18NInternal|English", "Fran\xc3\xa7"
                                                    "ais"},
                          {"Play", "Jouer"},
                          {"Configure", "Configurer"},
                          {"Help", "Aide"},
                          {"Update", "Mise \xc3\xa0 jour"},
                          {"Exit", "Quitter"}});
    Run(ui::Script()
            .Expect(
                [](const ui::View& view) {
                    return view.Item(kMainDlgTemplateId, ui::IDOK)->GetText() == "Play";
                },
                "English first")
            .Expect(
                [](const ui::View&) {
                    GetSystemEngine()->LoadTranslation("fr");
                    static_cast<CMainDlg*>(theApp.m_pMainWnd)->UpdateTexts();
                    return true;
                },
                "the language changes")
            .Expect(
                [](const ui::View& view) {
                    std::vector<std::string> texts;
                    for (u32 id : {1u, 1027u, 1029u, 1028u, 2u})
                        texts.push_back(view.Item(kMainDlgTemplateId, id)->GetText());
                    return texts == std::vector<std::string>{"Jouer", "Configurer", "Aide",
                                                             "Mise \xc3\xa0 jour", "Quitter"};
                },
                "the buttons in French")
            .In(kMainDlgTemplateId)
            .Click(ui::IDCANCEL));
    EXPECT_TRUE(HasLine("text 102/1 \"Jouer\"")) << m_Ui.TranscriptText();
}

// The launcher's services on a configuration, without a run.
class LauncherConfig : public HeadlessUiTest {
protected:
    LauncherConfig() {
        theApp.m_Config = new CSystemConfig;
        theApp.m_Config->AddRef();
    }
    ~LauncherConfig() override {
        theApp.m_Config->Release();
        theApp.m_Config = nullptr;
    }
};

TEST_F(LauncherConfig, Warnings) {
    const std::string tnl = "You chose to force software TnL";
    const std::string gdi = "You chose to enable both antialiasing";
    struct Case {
        u32 SafeMode; // the safe part warns of nothing
        u32 VertexProcess;
        u32 FullscreenGdi;
        u32 Antialiasing;
        bool Startup;
        std::vector<int> Answers; // one per box shown, in order
        std::vector<std::string> Boxes;
        bool Result;
    };
    const Case cases[] = {
        {0, 0, 0, 0, true, {}, {}, true},
        {0, 1, 0, 0, true, {ui::IDOK}, {tnl}, true},
        {0, 2, 1, 2, true, {ui::IDOK, ui::IDOK}, {tnl, gdi}, true},
        {0, 0, 1, 0, false, {}, {}, true},
        {0, 0, 1, 4, false, {ui::IDOK}, {gdi}, true},
        {0, 0, 1, 4, false, {ui::IDCANCEL}, {gdi}, false},
        {0, 1, 1, 4, false, {ui::IDCANCEL}, {tnl}, false},
        {0, 1, 1, 4, false, {ui::IDOK, ui::IDCANCEL}, {tnl, gdi}, false},
        // Safe mode: the safe part decides, the normal part's values do not count.
        {1, 1, 1, 4, false, {}, {}, true},
    };
    for (const Case& c : cases) {
        CSystemConfig& config = *theApp.m_Config;
        config.m_IsSafeMode = c.SafeMode;
        config.m_DisplaySafe->m_VertexProcess = 0;
        config.m_DisplaySafe->m_EnableFullscreenGDI = 0;
        config.m_Display->m_VertexProcess = c.VertexProcess;
        config.m_Display->m_EnableFullscreenGDI = c.FullscreenGdi;
        config.m_Display->m_Antialiasing = c.Antialiasing;
        const size_t before = m_Ui.Transcript().size();
        ui::Script script;
        for (size_t i = 0; i < c.Answers.size(); ++i)
            script.Answer(c.Answers[i], Exactly("Warning"), Contains(c.Boxes[i]));
        m_Ui.Play(std::move(script));
        EXPECT_EQ(theApp.ConfirmConfigWarnings(nullptr, c.Startup), c.Result);
        std::vector<std::string> boxes;
        for (size_t i = before; i < m_Ui.Transcript().size(); ++i)
            if (m_Ui.Transcript()[i].rfind("box \"", 0) == 0) {
                const std::string& line = m_Ui.Transcript()[i];
                EXPECT_NE(line.find(c.Startup ? " MB_OK OK" : " MB_OKCANCEL OK|Cancel"),
                          std::string::npos)
                    << line;
                boxes.push_back(line);
            }
        EXPECT_EQ(boxes.size(), c.Boxes.size());
        EXPECT_EQ(config.m_Display->m_VertexProcess, c.VertexProcess);
    }
}

TEST_F(LauncherConfig, ResetKinds) {
    struct Case {
        i32 Kind;
        u32 VertexProcessAfter;
        u32 SafeVertexProcessAfter;
    };
    // Only the display group (and everything) resets the display; no kind touches the safe part.
    const Case cases[] = {{-2, 2, 2}, {-1, 0, 2}, {0, 0, 2}, {1, 2, 2},
                          {2, 2, 2},  {3, 2, 2},  {4, 2, 2}, {5, 2, 2}};
    for (const Case& c : cases) {
        theApp.m_Config->m_Display->m_VertexProcess = 2;
        theApp.m_Config->m_DisplaySafe->m_VertexProcess = 2;
        theApp.ResetConfigToDefaults(c.Kind);
        EXPECT_EQ(theApp.m_Config->m_Display->m_VertexProcess, c.VertexProcessAfter) << c.Kind;
        EXPECT_EQ(theApp.m_Config->m_DisplaySafe->m_VertexProcess, c.SafeVertexProcessAfter)
            << c.Kind;
    }
}

// Watches nods for their destruction, in order.
class CDestructionWatch : public CMwNod {
public:
    void Watch(CMwNod* nod, u32 name) {
        m_Names.emplace_back(nod, name);
        nod->AddDependant(this);
    }
    void OnDependencyDestroyed(CMwNod* nod) override {
        for (const auto& [watched, name] : m_Names)
            if (watched == nod)
                m_Order.push_back(name);
    }

    std::vector<std::pair<CMwNod*, u32>> m_Names;
    std::vector<u32> m_Order;
};

TEST_F(LauncherRun, EnginesGoDownInReverseOrder) {
    WriteGpuTable(true);
    CDestructionWatch watch;
    std::vector<u32> registered;
    Run(ui::Script()
            .Expect(
                [&](const ui::View&) {
                    const CMwEngineManager& manager = *g_MwEngineManager;
                    for (u32 i = 0; i < manager.m_Order.m_Count; ++i) {
                        registered.push_back(manager.m_Order[i]->m_EngineId);
                        watch.Watch(manager.m_Order[i], manager.m_Order[i]->m_EngineId >> 24);
                    }
                    return true;
                },
                "the engines")
            .In(kMainDlgTemplateId)
            .Click(ui::IDCANCEL));
    EXPECT_EQ(registered, (std::vector<u32>{0x01000000, 0x0B000000, 0x12000000}));
    EXPECT_EQ(watch.m_Order, (std::vector<u32>{18, 11, 1}));
    EXPECT_EQ(g_MwEngineManager, nullptr);
    EXPECT_EQ(CMwCmdBufferCore::GetSingleton(), nullptr);
}

i64 s_TestCounter = 0;
i64 TestCounter() {
    return s_TestCounter;
}

TEST_F(LauncherRun, TheComputerClockFollowsTheDialogsTime) {
    WriteGpuTable(true);
    platform::CounterSource previous = nullptr;
    u32 before = 0;
    Run(ui::Script()
            .Expect(
                [&](const ui::View&) {
                    s_TestCounter = platform::CounterNow();
                    previous = platform::SetCounterSource(&TestCounter);
                    before = *CMwCmdBufferCore::GetSingleton()->m_ComputerClock.GetMsPtr();
                    s_TestCounter += 250 * i64(1000000);
                    return true;
                },
                "time moves 250 ms")
            .Expect(
                [&](const ui::View&) {
                    return *CMwCmdBufferCore::GetSingleton()->m_ComputerClock.GetMsPtr() ==
                           before + 250;
                },
                "the clock word moved with it")
            .In(kMainDlgTemplateId)
            .Click(ui::IDCANCEL));
    platform::SetCounterSource(previous);
}

// The main dialog alone, without a run (no engine, no configuration).
class MainDialog : public HeadlessUiTest {
protected:
    MainDialog() : m_Registry("ENGINE_REGISTRY_DIR", m_Folder.File("registry").c_str()) {
        RegisterMainDlgResources();
    }
    ~MainDialog() override { RegisterMainDlgResources(); }

    CTempFolder m_Folder;
    CScopedEnvVar m_Registry;
};

TEST_F(MainDialog, WithoutItsPictureThePictureStaysEmptyAndInPlace) {
    ui::RegisterPicture(kMainDlgPictureResource, {});
    CMainDlg dialog;
    m_Ui.Play(ui::Script().In(kMainDlgTemplateId).Click(ui::IDCANCEL));
    EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
    EXPECT_NE(
        std::find(m_Ui.Transcript().begin(), m_Ui.Transcript().end(), "picture 102/1024 147 none"),
        m_Ui.Transcript().end())
        << m_Ui.TranscriptText();
    for (const std::string& line : m_Ui.Transcript())
        EXPECT_NE(line.rfind("move ", 0), 0u) << line;
}

// The picture linked into the launcher, as ImageMagick reads it: a BMP of 492 x 203 pixels in 8
// bits.
TEST(MainDialogPicture, ShippedPictureIs492x203) {
    EXPECT_EQ(RunCommand("identify -format '%w %h %z %m' " + std::string(ENGINE_TEST_SOURCE_DIR) +
                         "/launcher/resources/LauncherPicture.bmp"),
              "492 203 8 BMP3");
}

// The launcher program itself, started by the shell under a virtual display.
class LauncherProgram : public testing::Test {
protected:
    LauncherProgram() {
        std::filesystem::create_directories(m_Install.File("GameData"));
        std::filesystem::create_directories(m_Install.File("run"));
        std::filesystem::create_directories(m_Install.File("registry"));
        std::filesystem::copy_file(ENGINE_LAUNCHER_PROGRAM, m_Install.File("BrisaldeLauncher"));
        std::filesystem::permissions(m_Install.File("BrisaldeLauncher"),
                                     std::filesystem::perms(0755));
    }

    // Runs the program from the root folder with the environment pointed into the install
    // folder; its exit status.
    int Start(const std::string& wrapper, std::string& output) {
        const std::string command = "cd / && XDG_RUNTIME_DIR=" + m_Install.File("run") +
                                    " ENGINE_REGISTRY_DIR=" + m_Install.File("registry") +
                                    " BRISALDE_UI_SNAPSHOT=" + m_Install.File("snap") +
                                    // LeakSanitizer: what the X, font and FLTK libraries keep.
                                    " LSAN_OPTIONS=suppressions=" + ENGINE_TEST_SOURCE_DIR +
                                    "/tests/platform/fltk/lsan.supp" +
                                    " timeout 60 xvfb-run -a -s '-screen 0 1280x1024x24' " +
                                    wrapper + " " + m_Install.File("BrisaldeLauncher") + " 2>&1";
        std::filesystem::create_directories(m_Install.File("snap"));
        output.clear();
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe)
            return -1;
        char chunk[4096];
        size_t got;
        while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0)
            output.append(chunk, got);
        const int status = pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    CGameInstall m_Install;
};

TEST_F(LauncherProgram, SecondInstanceEndsAtOnce) {
    // util-linux flock holds the lock while the program starts.
    std::string output;
    EXPECT_EQ(Start("flock " + m_Install.File("run/VorelMutexUnique.lock"), output), 0) << output;
    EXPECT_EQ(output, "");
    EXPECT_TRUE(std::filesystem::is_empty(m_Install.File("registry")));
    EXPECT_FALSE(std::filesystem::exists(m_Install.File("Default.SystemConfig.Zun")));
    EXPECT_TRUE(std::filesystem::is_empty(m_Install.File("snap")));
}

TEST_F(LauncherProgram, ShowsTheMainDialogFromItsOwnFolder) {
    std::string output;
    EXPECT_EQ(Start("", output), 0) << output;
    EXPECT_NE(output.find(m_Install.File("snap/102.png")), std::string::npos) << output;
    EXPECT_TRUE(std::filesystem::exists(m_Install.File("snap/102.png")));
    // The registry key the launcher works under is made in the redirected folder.
    EXPECT_TRUE(std::filesystem::exists(m_Install.File("GameData")));
}

} // namespace
