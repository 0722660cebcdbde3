// The stand-in game program, run as the launcher runs it: through platform::Process.
#include "tests/support/GameStandin.h"

#include "platform/Process.h"
#include "tests/core/ExternalToolSupport.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
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

} // namespace
