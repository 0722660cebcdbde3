// The bench dialog's flows on the headless backend in real time, with the stand-in game as a real
// child process in a temporary install folder: the System engine up, the configuration file
// saved through the ".Zun" archive operations, no catalogue unless a test loads one; and the
// route to it from the configuration dialog in a launcher run.
#include "launcher/BenchDlg.h"

#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicTranslator.h"
#include "launcher/ConfigDlg.h"
#include "launcher/LauncherApp.h"
#include "launcher/MainDlg.h"
#include "platform/Clock.h"
#include "platform/HostPath.h"
#include "system/config/GpuInfo.h"
#include "system/config/SystemConfig.h"
#include "system/config/SystemConfigFile.h"
#include "tests/launcher/LauncherTestSupport.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using ui::Exactly;

constexpr u32 kDlg = kBenchDlgTemplateId;

// Children of this process that ended and were never reaped (state Z in procfs).
std::vector<int> ZombieChildren() {
    std::vector<int> zombies;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream in(entry.path() / "stat");
        std::string stat;
        std::getline(in, stat);
        const size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        int parent = 0;
        std::istringstream rest(stat.substr(close + 1));
        rest >> state >> parent;
        if (state == 'Z' && parent == getpid())
            zombies.push_back(std::stoi(name));
    }
    return zombies;
}

// True when no child of this process is left at all, reaped or not.
bool NoChildLeft() {
    errno = 0;
    return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

ui::HeadlessOptions RealTimeOptions() {
    ui::HeadlessOptions options = GTestHeadlessOptions();
    options.Time = ui::TimeMode::Real;
    options.FailOnDroppedTimer = true;
    return options;
}

// What a flow saw while the dialog was open.
struct Seen {
    std::string Output;
    std::string OkText;
    bool OkEnabled = false;
    bool CancelEnabled = false;
    bool ListEnabled = false;
};

class BenchFlow : public CSystemFixture {
protected:
    void SetUp() override {
        CSystemFixture::SetUp();
        std::filesystem::create_directories(m_Install.File("GameData/Tracks/Replays"));
        WriteWholeFile(Replay(), "a replay the stand-in never reads");
        CClassicWideString folder(platform::FromHostPath(m_Install.Path().string()).c_str());
        m_Host = std::make_unique<CEngineHost>(FakeEngineHost(folder));
        folder.Append(u"\\");
        theApp.m_InstallFolder = folder;
        g_GpuInfo.PixelShaderClass = 3;
        RegisterBenchDlgResources();
    }
    void TearDown() override {
        m_Ui.Finish();
        platform::SetSleeper(nullptr);
        theApp.m_InstallFolder = CClassicWideString();
        m_Host.reset();
        g_ClassicTranslator.Unload();
        CSystemFixture::TearDown();
    }

    std::string Replay() const {
        return m_Install.File("GameData/Tracks/Replays/Bench.Replay.Zun");
    }
    std::string BenchConfig() const { return m_Install.File("Bench.SystemConfig.Zun"); }

    // The series run from Run until it ends (its message box open, or OK enabled again).
    static void RunSeries(ui::Script& script, bool all) {
        script.In(kDlg);
        if (all)
            script.Select(kBenchDlgConfigListId, 1);
        script.Click(ui::IDOK).RunTimersUntil(
            [](const ui::View& view) {
                return view.Box() != nullptr || view.Item(kDlg, ui::IDOK)->IsEnabled();
            },
            60000, "the series ends");
    }

    // Records what the dialog shows.
    static void Look(ui::Script& script, Seen& seen) {
        script.Expect(
            [&seen](const ui::View& view) {
                seen.Output = view.Item(kDlg, kBenchDlgOutputId)->GetText();
                seen.OkText = view.Item(kDlg, ui::IDOK)->GetText();
                seen.OkEnabled = view.Item(kDlg, ui::IDOK)->IsEnabled();
                seen.CancelEnabled = view.Item(kDlg, ui::IDCANCEL)->IsEnabled();
                seen.ListEnabled = view.Item(kDlg, kBenchDlgConfigListId)->IsEnabled();
                return true;
            },
            "what the dialog shows");
    }

    // The lines of the message boxes shown, from a line of the transcript on.
    std::vector<std::string> Boxes(size_t from = 0) const {
        std::vector<std::string> boxes;
        for (size_t i = from; i < m_Ui.Transcript().size(); ++i)
            if (m_Ui.Transcript()[i].rfind("box owner ", 0) == 0)
                boxes.push_back(m_Ui.Transcript()[i]);
        return boxes;
    }

    std::vector<std::string> Starts() const {
        std::vector<std::string> starts;
        for (const std::string& line : m_Install.LogLines())
            if (line.rfind("start ", 0) == 0)
                starts.push_back(line);
        return starts;
    }

    std::string StartLine(const std::vector<std::string>& arguments) const {
        std::string line = "start \"" + m_Install.Path().string() + "\"";
        for (const std::string& argument : arguments)
            line += " \"" + argument + "\"";
        return line;
    }

    std::string Intro(const std::string& path) const {
        return "Bench will be done with\r\n" + path + "\r\n";
    }

    CGameInstall m_Install;
    std::unique_ptr<CEngineHost> m_Host;
    ui::HeadlessBackend m_Ui{RealTimeOptions()};
};

// "Current": one run of the player's own configuration, its outcome in the output and, with a
// rate, in the final message; OK then reads "Ok" and ends the dialog.
TEST_F(BenchFlow, CurrentConfiguration) {
    // A comment line that puts "61" of the rate "61.27" just before byte 4096.
    WriteWholeFile(m_Install.File("cut.txt"),
                   "// " + std::string(4096 - 2 - 16 - 5, 'x') + "\r\n// Average Fps\r\n61.27\r\n");
    const std::string done = "done 61.3 fps (Bench_Current.txt)\r\n";
    const auto box = [](const std::string& rate) {
        return "box owner 150 \"Bench result\" \"Your graphic card supports \\\"Current\\\" "
               "settings at " +
               rate + " fps.\" MB_OK OK";
    };
    struct Case {
        const char* Name;
        std::string Behaviour;
        bool ListMode; // BenchList.txt lies beside the launcher
        bool Game;     // the game program is there
        std::string Outcome;
        const char* BoxRate;  // null: no message
        f32 Rate;             // the entry's result
        bool Earlier = false; // a result file of an earlier run lies in the Bench folder
    };
    const Case cases[] = {
        {"a rate", "fps = 61.27\n", false, true, done, "61.3", 61.27f},
        {"list mode", "fps = 61.27\n", true, true, "done \r\n", nullptr, 0},
        {"no result file", "write_result = 0\n", false, true, "done  (Bench_Current.txt)\r\n",
         nullptr, 0},
        {"only an earlier run's result file", "write_result = 0\n", false, true,
         "done  (Bench_Current.txt)\r\n", nullptr, 0, true},
        {"a result written after the end", "fps = 61.27\nresult_delay_ms = 200\n", false, true,
         done, "61.3", 61.27f},
        {"both warnings",
         "fps = 60\nwarning = // WARNING : filtering forced by the driver\n"
         "warning = // Warning: driver forces antialiasing\n",
         false, true,
         "done 60 fps (Bench_Current.txt)\r\nWARNING : Texture filtering has been forced by "
         "driver !!\r\nWARNING : Antialiasing has been forced by driver !!\r\n",
         "60", 60},
        {"the rate cut at 4096 bytes", "raw_result = cut.txt\n", false, true,
         "done 61 fps (Bench_Current.txt)\r\n", "61", 61},
        {"an infinite rate", "fps = 1e39\n", false, true, "done  (Bench_Current.txt)\r\n", nullptr,
         0},
        {"a failed exit", "fps = 61.27\nexit_code = 3\n", false, true, "fails\r\n", nullptr, 0},
        {"no game", "", false, false, "fails\r\n", nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove_all(m_Install.File("GameData/Bench"));
        std::filesystem::remove(m_Install.File("GameStandin.log"));
        std::filesystem::remove(m_Install.File("BenchList.txt"));
        if (c.ListMode)
            WriteWholeFile(m_Install.File("BenchList.txt"), "Bench.Replay.Zun\n");
        if (c.Earlier) {
            std::filesystem::create_directories(m_Install.File("GameData/Bench"));
            WriteWholeFile(m_Install.File("GameData/Bench/Bench_Current.txt"),
                           "// Average Fps\r\n55\r\n");
        }
        if (!c.Game)
            std::filesystem::remove(m_Install.Game());
        m_Install.SetBehaviour(c.Behaviour);
        const size_t first = m_Ui.Transcript().size();

        CBenchDlg dialog;
        Seen before, after;
        ui::Script script;
        Look(script, before);
        RunSeries(script, false);
        if (c.BoxRate)
            script.Answer(ui::IDOK, Exactly("Bench result"));
        Look(script, after);
        script.In(kDlg).Click(ui::IDOK);
        m_Ui.Play(std::move(script));
        EXPECT_EQ(dialog.DoModal(), ui::IDOK);

        const std::string intro = Intro(c.ListMode ? m_Install.File("BenchList.txt") : Replay());
        EXPECT_EQ(before.Output, intro);
        EXPECT_EQ(before.OkText, "Run");
        EXPECT_TRUE(before.OkEnabled && before.CancelEnabled && before.ListEnabled);
        EXPECT_EQ(after.Output, intro + "Benching with Current config...\r\n" + c.Outcome);
        EXPECT_EQ(after.OkText, "Ok");
        EXPECT_TRUE(after.OkEnabled);
        EXPECT_FALSE(after.CancelEnabled);
        EXPECT_FALSE(after.ListEnabled);
        std::vector<std::string> boxes;
        if (c.BoxRate)
            boxes.push_back(box(c.BoxRate));
        EXPECT_EQ(Boxes(first), boxes);
        if (c.Game) {
            EXPECT_EQ(Starts(),
                      (std::vector<std::string>{StartLine(
                          {c.ListMode ? "/list_benchs=BenchList.txt" : "/bench=Bench.Replay.Zun",
                           "/out=Bench_Current.txt"})}));
        } else {
            EXPECT_TRUE(Starts().empty());
            std::filesystem::copy_file(ENGINE_GAME_STANDIN, m_Install.Game());
            std::filesystem::permissions(m_Install.Game(), std::filesystem::perms(0755));
        }
        // The player's own configuration is benched: no bench configuration is written.
        EXPECT_FALSE(std::filesystem::exists(BenchConfig()));
        EXPECT_EQ(dialog.Result(0), c.Rate);
        EXPECT_TRUE(ZombieChildren().empty());
        EXPECT_TRUE(NoChildLeft());
    }
    // The timer was killed when the dialog went: never dropped.
    for (const std::string& line : m_Ui.Transcript())
        EXPECT_EQ(line.find("dropped"), std::string::npos) << line;
}

// "All" on an adapter of shader class 1: Medium and VeryHigh are skipped without a word, each
// other entry is prepared, saved and benched, and the message names the Low preset.
TEST_F(BenchFlow, AllOnAClassOneAdapter) {
    g_GpuInfo.PixelShaderClass = 1;
    m_Install.SetBehaviour("copy_config = 1\nfps.1 = 40\nfps.2 = 50\nfps.3 = 61.27\nfps.4 = 90\n");
    CBenchDlg dialog;
    Seen after;
    ui::Script script;
    RunSeries(script, true);
    script.Answer(ui::IDOK, Exactly("Bench result"),
                  Exactly("Your graphic card supports \"Low Quality\" settings at 61.3 fps."));
    Look(script, after);
    script.In(kDlg).Click(ui::IDOK);
    m_Ui.Play(std::move(script));
    EXPECT_EQ(dialog.DoModal(), ui::IDOK);

    EXPECT_EQ(after.Output, Intro(Replay()) + "Benching with Current config...\r\n"
                                              "done 40 fps (Bench_Current.txt)\r\n"
                                              "Benching with Minimum Quality config...\r\n"
                                              "done 50 fps (Bench_Minimum Quality.txt)\r\n"
                                              "Benching with Low Quality config...\r\n"
                                              "done 61.3 fps (Bench_Low Quality.txt)\r\n"
                                              "Benching with Automatic config...\r\n"
                                              "done 90 fps (Bench_Automatic.txt)\r\n");
    const std::string replay = "/bench=Bench.Replay.Zun";
    const std::string config = "/config=Bench.SystemConfig.Zun";
    EXPECT_EQ(Starts(), (std::vector<std::string>{
                            StartLine({replay, "/out=Bench_Current.txt"}),
                            StartLine({replay, config, "/out=Bench_Minimum Quality.txt"}),
                            StartLine({replay, config, "/out=Bench_Low Quality.txt"}),
                            StartLine({replay, config, "/out=Bench_Automatic.txt"}),
                        }));
    EXPECT_EQ(Boxes().size(), 1u);

    // Each start found the file saved for it: the same bytes as a configuration taken through
    // the same steps here (one configuration serves the whole series).
    CSystemConfig* expected = new CSystemConfig;
    expected->AddRef();
    expected->m_Display->m_Size = {800, 600};
    expected->m_Display->m_FullScreen = 1;
    struct Step {
        u32 Start;
        u32 Preset; // 6: automatic
    };
    for (const Step step : {Step{2, 1}, Step{3, 2}, Step{4, 6}}) {
        SCOPED_TRACE(step.Start);
        if (step.Preset < 6) {
            expected->m_Display->SetCustomize(1);
            expected->m_Display->ApplyPreset(step.Preset);
        } else {
            expected->m_Display->SetCustomize(0);
        }
        const std::string name = "Expected-" + std::to_string(step.Start) + ".SystemConfig.Zun";
        CClassicWideString path = theApp.m_InstallFolder;
        path.AppendNarrow(name.c_str());
        ASSERT_TRUE(SaveSystemConfig(expected, path, nullptr));
        const std::string copy =
            m_Install.File("GameStandin-config-" + std::to_string(step.Start) + ".Zun");
        RunCommand("cmp '" + copy + "' '" + m_Install.File(name) + "'");

        // And it loads as the preset asked for.
        CClassicWideString copyPath = theApp.m_InstallFolder;
        copyPath.AppendNarrow(
            ("GameStandin-config-" + std::to_string(step.Start) + ".Zun").c_str());
        bool loaded = false;
        CSystemConfig* stored = LoadSystemConfig(copyPath, nullptr, &loaded);
        EXPECT_TRUE(loaded);
        EXPECT_EQ(stored->m_Display->m_Customize, step.Preset < 6 ? 1u : 0u);
        if (step.Preset < 6) {
            EXPECT_EQ(stored->m_Display->m_Preset, step.Preset);
        }
        EXPECT_EQ(stored->m_Display->m_Size.Width, 800u);
        EXPECT_EQ(stored->m_Display->m_FullScreen, 1u);
        stored->Release();
    }
    expected->Release();
    // The log recorded the file as there before each of those starts; it stays afterwards.
    const std::vector<std::string> lines = m_Install.LogLines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                                return line.rfind("config \"Bench.SystemConfig.Zun\" ", 0) == 0 &&
                                       line.find("missing") == std::string::npos;
                            }),
              3);
    EXPECT_TRUE(std::filesystem::exists(BenchConfig()));
    EXPECT_EQ(dialog.Result(2), 61.27f);
    EXPECT_EQ(dialog.Result(3), 0.0f);
    EXPECT_TRUE(NoChildLeft());
}

// A failed exit stops the series: no message, and the dialog can be closed with OK.
TEST_F(BenchFlow, FailingExitStopsTheSeries) {
    m_Install.SetBehaviour("exit_code.2 = 1\nfps = 70\n");
    CBenchDlg dialog;
    Seen after;
    ui::Script script;
    RunSeries(script, true);
    Look(script, after);
    script.In(kDlg).Click(ui::IDOK);
    m_Ui.Play(std::move(script));
    EXPECT_EQ(dialog.DoModal(), ui::IDOK);
    EXPECT_TRUE(after.Output.ends_with("done 70 fps (Bench_Current.txt)\r\n"
                                       "Benching with Minimum Quality config...\r\nfails\r\n"))
        << after.Output;
    EXPECT_EQ(Starts().size(), 2u);
    EXPECT_TRUE(after.OkEnabled);
    EXPECT_FALSE(after.CancelEnabled);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(NoChildLeft());
}

// A bench configuration that cannot be saved: the entry fails without a game, the log names the
// file, the stale file stays as it was, and the series goes on to its end.
TEST_F(BenchFlow, SaveThatFailsRunsNoGameOnAStaleFile) {
    WriteWholeFile(BenchConfig(), "the file of another series");
    ASSERT_EQ(chmod(BenchConfig().c_str(), 0444), 0);
    m_Install.SetBehaviour("fps = 70\ncopy_config = 1\n");
    CBenchDlg dialog;
    Seen after;
    ui::Script script;
    RunSeries(script, true);
    Look(script, after);
    script.In(kDlg).Click(ui::IDOK);
    m_Ui.Play(std::move(script));
    CFileSinkWatch log;
    EXPECT_EQ(dialog.DoModal(), ui::IDOK);

    std::string expected = Intro(Replay()) + "Benching with Current config...\r\n" +
                           "done 70 fps (Bench_Current.txt)\r\n";
    for (const char* name :
         {"Minimum Quality", "Low Quality", "Medium Quality", "VeryHigh Quality", "Automatic"})
        expected += std::string("Benching with ") + name + " config...\r\nfails\r\n";
    EXPECT_EQ(after.Output, expected);
    EXPECT_EQ(Starts().size(), 1u);
    EXPECT_EQ(ReadWholeFile(BenchConfig()), "the file of another series");
    EXPECT_NE(log.Text().find("[Launcher] The bench configuration could not be saved to " +
                              Narrow(theApp.m_InstallFolder) + "Bench.SystemConfig.Zun"),
              std::string::npos)
        << log.Text();
    // The series ended with its last entry's failed start: OK closes, Cancel is off, and no
    // message tells a rate that was never measured.
    EXPECT_TRUE(after.OkEnabled);
    EXPECT_FALSE(after.CancelEnabled);
    EXPECT_TRUE(Boxes().empty());
}

// Cancel while the game runs kills and reaps it; the timer dies with the dialog.
TEST_F(BenchFlow, CancelEndsTheRunningGame) {
    m_Install.SetBehaviour("hang = 1\n");
    CBenchDlg dialog;
    int pid = 0;
    ui::Script script;
    script.In(kDlg).Click(ui::IDOK).RunTimersUntil(
        [this](const ui::View&) { return !m_Install.LogLines().empty(); }, 60000,
        "the game started");
    script.Expect(
        [&pid, this](const ui::View&) {
            std::error_code error;
            for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
                const std::string name = entry.path().filename().string();
                std::error_code ignored;
                if (name.find_first_not_of("0123456789") == std::string::npos &&
                    std::filesystem::read_symlink(entry.path() / "cwd", ignored) ==
                        m_Install.Path())
                    pid = std::stoi(name);
            }
            return pid > 0;
        },
        "the game's process");
    script.In(kDlg).Click(ui::IDCANCEL);
    m_Ui.Play(std::move(script));
    EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);

    ASSERT_GT(pid, 0);
    // A game left running would hold the test's output open: it is ended here in any case.
    const bool running = kill(pid, 0) == 0;
    if (running)
        kill(pid, SIGKILL);
    EXPECT_FALSE(running);
    errno = 0;
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    EXPECT_TRUE(ZombieChildren().empty());
    EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(pid)));
    EXPECT_EQ(m_Install.LogLines().size(), 1u);
    // The timer was killed before the dialog closed, and nothing fired after.
    const std::vector<std::string>& lines = m_Ui.Transcript();
    const auto close = std::find(lines.begin(), lines.end(), "close 150 -> IDCANCEL");
    ASSERT_NE(close, lines.end());
    EXPECT_NE(std::find(lines.begin(), close, "timer 150 kill 1"), close);
    for (auto at = close; at != lines.end(); ++at)
        EXPECT_EQ(at->find("timer"), std::string::npos) << *at;
}

// Neither list nor replay: nothing to run.
TEST_F(BenchFlow, NothingToBench) {
    std::filesystem::remove(Replay());
    CBenchDlg dialog;
    Seen seen;
    ui::Script script;
    Look(script, seen);
    script.In(kDlg).Click(ui::IDCANCEL);
    m_Ui.Play(std::move(script));
    EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
    EXPECT_EQ(seen.Output, "Could find neither \r\n\"" + m_Install.File("BenchList.txt") +
                               "\"\r\n nor\r\n\"" + Replay() + "\"\r\n");
    EXPECT_FALSE(seen.OkEnabled);
    EXPECT_TRUE(seen.CancelEnabled);
    EXPECT_EQ(seen.OkText, "Run");
    for (const std::string& line : m_Ui.Transcript())
        EXPECT_EQ(line.find("timer"), std::string::npos) << line;
}

// The wait for a result file the game has not written yet goes through the platform's sleep:
// 100 checks 5 ms apart at most, and the file is read as soon as it is there.
std::vector<u32> s_Sleeps;
std::string s_LateFile;
u32 s_WriteAt = 0;
void RecordSleep(u32 ms) {
    s_Sleeps.push_back(ms);
    if (s_Sleeps.size() == s_WriteAt)
        WriteWholeFile(s_LateFile, "// Average Fps\r\n33\r\n");
}

TEST_F(BenchFlow, ResultWaitGoesThroughTheSleep) {
    m_Install.SetBehaviour("write_result = 0\n");
    std::filesystem::create_directories(m_Install.File("GameData/Bench"));
    s_LateFile = m_Install.File("GameData/Bench/Bench_Current.txt");
    for (const u32 writeAt : {40u, 0u}) {
        SCOPED_TRACE(writeAt);
        std::filesystem::remove(s_LateFile);
        s_Sleeps.clear();
        s_WriteAt = writeAt;
        platform::SetSleeper(&RecordSleep);
        CBenchDlg dialog;
        Seen after;
        ui::Script script;
        RunSeries(script, false);
        if (writeAt)
            script.Answer(ui::IDOK, Exactly("Bench result"));
        Look(script, after);
        script.In(kDlg).Click(ui::IDOK);
        m_Ui.Play(std::move(script));
        EXPECT_EQ(dialog.DoModal(), ui::IDOK);
        platform::SetSleeper(nullptr);
        EXPECT_EQ(s_Sleeps, std::vector<u32>(writeAt ? writeAt : 99, 5));
        EXPECT_TRUE(after.Output.ends_with(writeAt ? "done 33 fps (Bench_Current.txt)\r\n"
                                                   : "done  (Bench_Current.txt)\r\n"))
            << after.Output;
    }
}

// With a catalogue the player reads the translations; the game still gets the untranslated
// result file names.
TEST_F(BenchFlow, TranslatedTextsKeepTheFileNames) {
    const std::string po = m_Install.File("fr.po");
    WriteWholeFile(
        po, "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
            "msgid \"|I18NInternal|Encoding\"\nmsgstr \"utf8\"\n\n"
            "msgid \"|Config|Current\"\nmsgstr \"Actuelle\"\n\n"
            "msgid \"|Config|All\"\nmsgstr \"Toutes\"\n\n"
            "msgid \"|DisplayPreset|Minimum Quality\"\nmsgstr \"Qualit\xc3\xa9 minimale\"\n\n"
            "msgid \"Benching with %1 config...\"\nmsgstr \"Test de la config %1...\"\n\n"
            "msgid \"done\"\nmsgstr \"fini\"\n\n"
            "msgid \"Run\"\nmsgstr \"Lancer\"\n\n"
            "msgid \"|DialogTitle|Bench\"\nmsgstr \"Test\"\n\n"
            "msgid \"Bench result\"\nmsgstr \"R\xc3\xa9sultat\"\n\n"
            "msgid \"Your graphic card supports \\\"%1\\\" settings at %2 fps.\"\n"
            "msgstr \"Votre carte tient la config \\\"%1\\\" \xc3\xa0 %2 i/s.\"\n");
    const std::string mo = m_Install.File("fr.mo");
    RunCommand("msgfmt --check -o '" + mo + "' '" + po + "'");
    {
        const std::string bytes = ReadWholeFile(mo);
        CClassicBufferMemory stream;
        stream.Write(bytes.data(), u32(bytes.size()));
        stream.Rewind();
        CClassicString error;
        ASSERT_TRUE(g_ClassicTranslator.LoadMo("fr", &stream, error)) << error.GetText();
    }
    g_GpuInfo.PixelShaderClass = 0;
    m_Install.SetBehaviour("fps = 25\n");
    CBenchDlg dialog;
    Seen before, after;
    ui::Script script;
    Look(script, before);
    script.Expect(
        [](const ui::View& view) {
            const ui::Control* list = view.Item(kDlg, kBenchDlgConfigListId);
            return view.Find(kDlg)->GetWindowText() == "Test" &&
                   list->GetItemText(0) == "Actuelle" && list->GetItemText(1) == "Toutes" &&
                   list->GetCurSel() == 0;
        },
        "the translated caption and list");
    RunSeries(script, true);
    script.Answer(
        ui::IDOK, Exactly("R\xc3\xa9sultat"),
        Exactly("Votre carte tient la config \"Qualit\xc3\xa9 minimale\" \xc3\xa0 25 i/s."));
    Look(script, after);
    script.In(kDlg).Click(ui::IDOK);
    m_Ui.Play(std::move(script));
    EXPECT_EQ(dialog.DoModal(), ui::IDOK);
    EXPECT_EQ(before.OkText, "Lancer");
    EXPECT_EQ(after.Output,
              Intro(Replay()) +
                  "Test de la config Actuelle...\r\nfini 25 fps (Bench_Current.txt)\r\n"
                  "Test de la config Qualit\xc3\xa9 minimale...\r\n"
                  "fini 25 fps (Bench_Minimum Quality.txt)\r\n"
                  "Test de la config Automatic...\r\nfini 25 fps (Bench_Automatic.txt)\r\n");
    EXPECT_EQ(Starts().size(), 3u);
}

} // namespace

namespace {

// The configuration dialog's Bench button opens the dialog over it, in the launcher's install
// folder; Cancel before a run closes it and the configuration dialog takes input again.
class BenchFromConfig : public CLauncherFixture {};

TEST_F(BenchFromConfig, BenchButtonOpensTheDialog) {
    WriteGpuTable(true);
    std::filesystem::create_directories(m_Install.File("GameData/Tracks/Replays"));
    WriteWholeFile(m_Install.File("GameData/Tracks/Replays/Bench.Replay.Zun"), "replay");
    std::string output;
    Run(ui::Script()
            .In(kMainDlgTemplateId)
            .Click(kMainDlgConfigureId)
            .In(kConfigDlgTemplateId)
            .Click(kConfigDlgBenchId)
            .Expect(
                [&output](const ui::View& view) {
                    output = view.Item(kDlg, kBenchDlgOutputId)->GetText();
                    return view.Find(kDlg)->GetWindowText() == "Bench";
                },
                "the bench dialog")
            .In(kDlg)
            .Click(ui::IDCANCEL)
            .In(kConfigDlgTemplateId)
            .Click(ui::IDCANCEL)
            .In(kMainDlgTemplateId)
            .Click(ui::IDCANCEL));
    EXPECT_EQ(output, "Bench will be done with\r\n" +
                          m_Install.File("GameData/Tracks/Replays/Bench.Replay.Zun") + "\r\n");
    EXPECT_TRUE(HasLine("open 150 owner 137")) << m_Ui.TranscriptText();
    EXPECT_TRUE(HasLine("close 150 -> IDCANCEL"));
    EXPECT_TRUE(m_Install.LogLines().empty());
    EXPECT_FALSE(std::filesystem::exists(m_Install.File("Bench.SystemConfig.Zun")));
}

} // namespace
