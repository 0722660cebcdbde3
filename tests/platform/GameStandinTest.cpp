// The stand-in game program, run as the launcher runs it: through platform::Process.
#include "tests/support/GameStandin.h"

#include "platform/Process.h"
#include "tests/core/ExternalToolSupport.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace {

using platform::Process;

constexpr const char* kHeader =
    "1\r\nVendor Device Geom Aniso1 Aniso2 Aniso4 Aniso8 Aniso16 PArith11 PTexD11 PArith20\r\n";
constexpr const char* kScores = " 100 400 380 340 280 220 300 420 260\r\n";

int RunGame(const CGameInstall& install, const std::vector<std::string>& arguments) {
    Process game;
    const int error = game.Start(install.Game(), arguments, install.Path().string());
    EXPECT_EQ(error, 0);
    return error == 0 ? game.Wait() : -1;
}

TEST(GameStandin, BehaviourFileDecidesTheEnding) {
    struct Case {
        const char* Behaviour;
        int Status;
    };
    const Case cases[] = {
        {nullptr, 0},
        {"exit_code = 5\n", 5},
        {"# a comment\n\nexit_code=0x2A\r\ndelay_ms = 20\n", 42},
        {"exit_code = 300\n", 255},
        // Lines it cannot read are skipped.
        {"exit_code = five\nnonsense\nexit_code = 1\n", 1},
    };
    for (const Case& c : cases) {
        CGameInstall install;
        if (c.Behaviour)
            install.SetBehaviour(c.Behaviour);
        EXPECT_EQ(RunGame(install, {"a b", "x\"y\\z\t"}), c.Status)
            << (c.Behaviour ? c.Behaviour : "(no file)");
        EXPECT_EQ(install.LogLines(),
                  (std::vector<std::string>{"start \"" + install.Path().string() +
                                                "\" \"a b\" \"x\\\"y\\\\z\\t\"",
                                            "end " + std::to_string(c.Status)}))
            << (c.Behaviour ? c.Behaviour : "(no file)");
    }
}

TEST(GameStandin, HangsUntilKilled) {
    CGameInstall install;
    install.SetBehaviour("hang = 1\nexit_code = 3\n");
    Process game;
    ASSERT_EQ(game.Start(install.Game(), {}, install.Path().string()), 0);
    ASSERT_TRUE(WaitUntil([&] { return !install.LogLines().empty(); }));
    EXPECT_EQ(game.Poll(), std::nullopt);
    EXPECT_EQ(game.Terminate(), 128 + SIGKILL);
    EXPECT_EQ(install.LogLines(),
              (std::vector<std::string>{"start \"" + install.Path().string() + "\""}));
}

TEST(GameStandin, BenchWritesTheGpuTableRow) {
    CGameInstall install;
    install.SetBehaviour("gpu_vendor = 0x1234\ngpu_device = 0xAB\n");
    EXPECT_EQ(RunGame(install, {"/bench"}), 0);
    EXPECT_EQ(ReadWholeFile(install.File("GameData/GfxDevicePerfs.txt")),
              std::string(kHeader) + "1234 00AB" + kScores);
    // Scores of its own; a line without nine numbers is ignored.
    for (const char* scores : {"1 2.5 3 4 5 6 7 8 9e2", "1 2 3 4 5 6 7 8", "1 2 3 4 5 6 7 8 9 10",
                               "1 2 3 4 5 6 7 8 x"}) {
        const bool valid = std::string(scores) == "1 2.5 3 4 5 6 7 8 9e2";
        install.SetBehaviour(std::string("gpu_vendor = 0x1234\ngpu_device = 0xAB\nscores = ") +
                             scores + "\n");
        EXPECT_EQ(RunGame(install, {"/bench"}), 0);
        EXPECT_EQ(ReadWholeFile(install.File("GameData/GfxDevicePerfs.txt")),
                  std::string(kHeader) + "1234 00AB" +
                      (valid ? " 1 2.5 3 4 5 6 7 8 900\r\n" : kScores))
            << scores;
    }
    // Only the argument "/bench" itself runs the bench.
    std::filesystem::remove_all(install.Path() / "GameData");
    EXPECT_EQ(RunGame(install, {"/bench=Bench.Replay.Zun"}), 0);
    EXPECT_FALSE(std::filesystem::exists(install.Path() / "GameData"));
}

TEST(GameStandin, BenchUpdatesATableInPlaceOfItsRow) {
    const std::string before = std::string(kHeader) +
                               "1002 4150 95.2 310 290 240 190 150 210 330 0\r\n"
                               "10DE 0322 75.5 260 240 200 160 120 150 220 0\r\n"
                               "8086 2572 20 80 70 60 50 40 30 60 0\r\n";
    struct Case {
        const char* Behaviour;
        std::string After;
    };
    const Case cases[] = {
        // A new row goes where the order of vendor and device puts it.
        {"gpu_vendor = 0x10DE\ngpu_device = 0x0321\n",
         std::string(kHeader) + "1002 4150 95.2 310 290 240 190 150 210 330 0\r\n" + "10DE 0321" +
             kScores + "10DE 0322 75.5 260 240 200 160 120 150 220 0\r\n" +
             "8086 2572 20 80 70 60 50 40 30 60 0\r\n"},
        {"gpu_vendor = 0xFFFF\ngpu_device = 1\n", before + "FFFF 0001" + kScores},
        // The row of the same adapter is replaced.
        {"gpu_vendor = 0x10DE\ngpu_device = 0x322\n",
         std::string(kHeader) + "1002 4150 95.2 310 290 240 190 150 210 330 0\r\n" + "10DE 0322" +
             kScores + "8086 2572 20 80 70 60 50 40 30 60 0\r\n"},
        {"gpu_vendor = 0x10DE\ngpu_device = 0x0321\nwrite_gpuperf = 0\n", before},
    };
    for (const Case& c : cases) {
        CGameInstall install;
        // Names found ignoring case, as the launcher finds them.
        std::filesystem::create_directory(install.Path() / "gamedata");
        WriteWholeFile(install.File("gamedata/gfxdeviceperfs.txt"), before);
        install.SetBehaviour(c.Behaviour);
        EXPECT_EQ(RunGame(install, {"/bench"}), 0);
        EXPECT_EQ(ReadWholeFile(install.File("gamedata/gfxdeviceperfs.txt")), c.After)
            << (c.Behaviour ? c.Behaviour : "(no file)");
        EXPECT_FALSE(std::filesystem::exists(install.Path() / "GameData"));
    }

    // A file that is not the table is replaced by one.
    CGameInstall install;
    std::filesystem::create_directory(install.Path() / "GameData");
    WriteWholeFile(install.File("GameData/GfxDevicePerfs.txt"), "garbage\n10DE 0322 1 2 3\n");
    install.SetBehaviour("gpu_vendor = 0x10DE\ngpu_device = 0x0322\n");
    EXPECT_EQ(RunGame(install, {"/bench"}), 0);
    EXPECT_EQ(ReadWholeFile(install.File("GameData/GfxDevicePerfs.txt")),
              std::string(kHeader) + "10DE 0322" + kScores);
}

constexpr const char* kComment = "// Bench results of the game stand-in (made up)\r\n";
constexpr const char* kMedium = "GameData/Bench/Bench_Medium Quality.txt";

TEST(GameStandin, BenchWritesItsResultFile) {
    const std::string raw("// Average Fps\r\n6\0"
                          "1\r\n// WARNING driver",
                          36);
    struct Case {
        const char* Name;
        std::string Behaviour;
        std::vector<std::string> Arguments;
        std::optional<std::string> Result; // nothing: no file
    };
    const std::vector<std::string> replay = {"/bench=Bench.Replay.Zun",
                                             "/out=Bench_Medium Quality.txt"};
    const Case cases[] = {
        {"defaults", "", replay, std::string(kComment) + "// Average Fps\r\n60\r\n"},
        {"list mode",
         "fps = 61.27\n",
         {"/list_benchs=BenchList.txt", "/out=Bench_Medium Quality.txt"},
         std::string(kComment) + "// Average Fps\r\n61.27\r\n"},
        {"warnings", "fps = 1e39\nwarning = // WARNING filter driver\nwarning = // WARNING alias\n",
         replay,
         std::string(kComment) +
             "// Average Fps\r\n1e39\r\n// WARNING filter driver\r\n// WARNING alias\r\n"},
        {"no rate", "fps = none\nwarning = w\n", replay, std::string(kComment) + "w\r\n"},
        {"no result", "write_result = 0\n", replay, std::nullopt},
        {"raw bytes", "raw_result = raw.bin\n", replay, raw},
        {"raw file missing", "raw_result = missing.bin\n", replay, std::nullopt},
        {"no /out=", "", {"/bench=Bench.Replay.Zun"}, std::nullopt},
        {"a path in /out=", "", {"/bench=Bench.Replay.Zun", "/out=../x.txt"}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        CGameInstall install;
        install.SetBehaviour(c.Behaviour);
        WriteWholeFile(install.File("raw.bin"), raw);
        EXPECT_EQ(RunGame(install, c.Arguments), 0);
        EXPECT_EQ(std::filesystem::exists(install.File(kMedium)), c.Result.has_value());
        if (c.Result) {
            EXPECT_EQ(ReadWholeFile(install.File(kMedium)), *c.Result);
            // The temporary file is gone.
            for (const auto& entry :
                 std::filesystem::directory_iterator(install.File("GameData/Bench"))) {
                EXPECT_EQ(entry.path().filename(), "Bench_Medium Quality.txt");
            }
        }
        EXPECT_FALSE(std::filesystem::exists(install.File("GameData/x.txt")));
    }

    // The data and bench folders are found ignoring case.
    CGameInstall install;
    std::filesystem::create_directories(install.File("gamedata/BENCH"));
    EXPECT_EQ(RunGame(install, replay), 0);
    EXPECT_EQ(ReadWholeFile(install.File("gamedata/BENCH/Bench_Medium Quality.txt")),
              std::string(kComment) + "// Average Fps\r\n60\r\n");
    EXPECT_FALSE(std::filesystem::exists(install.File("GameData")));
}

// One behaviour file scripts a series: keys of a start win over the plain ones, and every start
// with /config= records the file's size and, when asked, keeps a copy.
TEST(GameStandin, PerStartKeysAndConfigurationCopies) {
    CGameInstall install;
    install.SetBehaviour(
        "copy_config = 1\nexit_code.2 = 1\nfps = 50\nfps.3 = 70\n"
        "warning = W\nwarning.3 = X\nwarning.3 = Y\nfps.x = 1\nexit_code.0x2 = 9\n");
    const std::vector<std::string> arguments = {"/bench=Bench.Replay.Zun",
                                                "/config=Bench.SystemConfig.Zun",
                                                "/out=Bench_Medium Quality.txt"};
    const std::string config = install.File("Bench.SystemConfig.Zun");
    std::vector<int> statuses;
    std::vector<std::string> results;
    for (const char* content : {(const char*)nullptr, "abc", "defgh"}) {
        if (content)
            WriteWholeFile(config, content);
        statuses.push_back(RunGame(install, arguments));
        results.push_back(ReadWholeFile(install.File(kMedium)));
    }
    EXPECT_EQ(statuses, (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(results, (std::vector<std::string>{
                           std::string(kComment) + "// Average Fps\r\n50\r\nW\r\n",
                           std::string(kComment) + "// Average Fps\r\n50\r\nW\r\n",
                           std::string(kComment) + "// Average Fps\r\n70\r\nX\r\nY\r\n"}));
    const std::string start = "start \"" + install.Path().string() +
                              "\" \"/bench=Bench.Replay.Zun\" \"/config=Bench.SystemConfig.Zun\" "
                              "\"/out=Bench_Medium Quality.txt\"";
    EXPECT_EQ(install.LogLines(),
              (std::vector<std::string>{start, "config \"Bench.SystemConfig.Zun\" missing", "end 0",
                                        start, "config \"Bench.SystemConfig.Zun\" 3", "end 1",
                                        start, "config \"Bench.SystemConfig.Zun\" 5", "end 0"}));
    EXPECT_FALSE(std::filesystem::exists(install.File("GameStandin-config-1.Zun")));
    EXPECT_EQ(ReadWholeFile(install.File("GameStandin-config-2.Zun")), "abc");
    EXPECT_EQ(ReadWholeFile(install.File("GameStandin-config-3.Zun")), "defgh");
}

// A late result is written by a child left behind, after the program has ended.
TEST(GameStandin, LateResultComesAfterTheEnd) {
    CGameInstall install;
    install.SetBehaviour("result_delay_ms = 3000\nfps = 12.5\n");
    EXPECT_EQ(RunGame(install, {"/bench=Bench.Replay.Zun", "/out=Bench_Current.txt"}), 0);
    const std::string result = install.File("GameData/Bench/Bench_Current.txt");
    EXPECT_FALSE(std::filesystem::exists(result));
    EXPECT_EQ(install.LogLines().back(), "end 0");
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(result); }));
    EXPECT_EQ(ReadWholeFile(result), std::string(kComment) + "// Average Fps\r\n12.5\r\n");
}

} // namespace
