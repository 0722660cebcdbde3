#include "platform/SingleInstance.h"

#include "tests/core/ExternalToolSupport.h"
#include "tests/support/GameStandin.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using platform::SingleInstance;
using State = platform::SingleInstance::State;

// Points XDG_RUNTIME_DIR at a folder of the test's own, or unsets it.
class RuntimeFolder {
public:
    explicit RuntimeFolder(const char* value) {
        if (const char* old = std::getenv("XDG_RUNTIME_DIR"))
            m_Old = old;
        m_HadOld = std::getenv("XDG_RUNTIME_DIR") != nullptr;
        if (value)
            setenv("XDG_RUNTIME_DIR", value, 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
    }
    ~RuntimeFolder() {
        if (m_HadOld)
            setenv("XDG_RUNTIME_DIR", m_Old.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
    }

private:
    std::string m_Old;
    bool m_HadOld = false;
};

TEST(SingleInstance, LockFileNamedAfterTheName) {
    const std::string uid = std::to_string(getuid());
    struct Case {
        const char* Runtime;
        const char* Name;
        std::string Path;
    };
    const Case cases[] = {
        {"/run/user/1000", "VorelMutexUnique", "/run/user/1000/VorelMutexUnique.lock"},
        {"/run/user/1000/", "VorelMutexUnique", "/run/user/1000/VorelMutexUnique.lock"},
        {"/r", "a/b/../c", "/r/a_b_.._c.lock"},
        {nullptr, "VorelMutexUnique", "/tmp/VorelMutexUnique-" + uid + ".lock"},
        // A relative runtime folder is no runtime folder.
        {"run/user", "VorelMutexUnique", "/tmp/VorelMutexUnique-" + uid + ".lock"},
        {"", "VorelMutexUnique", "/tmp/VorelMutexUnique-" + uid + ".lock"},
    };
    for (const Case& c : cases) {
        RuntimeFolder runtime(c.Runtime);
        EXPECT_EQ(platform::SingleInstanceLockPath(c.Name), c.Path)
            << (c.Runtime ? c.Runtime : "(unset)");
    }
}

TEST(SingleInstance, OneHolderAtATimeAndTheFileStays) {
    CTempFolder folder;
    RuntimeFolder runtime(folder.Path().c_str());
    const std::string path = folder.File("VorelMutexUnique.lock");
    {
        SingleInstance first;
        ASSERT_EQ(first.Acquire("VorelMutexUnique"), State::Acquired);
        EXPECT_EQ(first.GetPath(), path);
        struct stat info;
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0600u);

        // flock locks belong to the open file: a second open in this process is refused too.
        SingleInstance second;
        EXPECT_EQ(second.Acquire("VorelMutexUnique"), State::HeldElsewhere);
        EXPECT_FALSE(second.IsHeld());
        SingleInstance other;
        EXPECT_EQ(other.Acquire("OtherName"), State::Acquired);
    }
    EXPECT_TRUE(std::filesystem::exists(path));
    SingleInstance again;
    EXPECT_EQ(again.Acquire("VorelMutexUnique"), State::Acquired);
    again.Release();
    EXPECT_TRUE(std::filesystem::exists(path));
}

TEST(SingleInstance, UnusableLockFileLetsTheStartGoOn) {
    CTempFolder folder;
    {
        RuntimeFolder runtime(folder.File("missing").c_str());
        SingleInstance instance;
        EXPECT_EQ(instance.Acquire("VorelMutexUnique"), State::Unavailable);
        EXPECT_FALSE(instance.IsHeld());
    }
    // A symbolic link in the lock file's place is not followed.
    RuntimeFolder runtime(folder.Path().c_str());
    WriteWholeFile(folder.File("target"), "keep\n");
    std::filesystem::create_symlink(folder.File("target"), folder.File("VorelMutexUnique.lock"));
    SingleInstance instance;
    EXPECT_EQ(instance.Acquire("VorelMutexUnique"), State::Unavailable);
    EXPECT_EQ(ReadWholeFile(folder.File("target")), "keep\n");
}

std::string Probe(const std::string& arguments) {
    return RunCommand(std::string(ENGINE_SINGLE_INSTANCE_PROBE) + " " + arguments);
}

// A second instance, started while util-linux flock(1) holds the lock, ends at once with status
// 0 (RunCommand checks the status).
TEST(SingleInstance, SecondInstanceWhileFlockHoldsTheLock) {
    CTempFolder folder;
    RuntimeFolder runtime(folder.Path().c_str());
    EXPECT_EQ(Probe("VorelMutexUnique"), "acquired\n");
    const std::string lock = folder.File("VorelMutexUnique.lock");
    EXPECT_EQ(
        RunCommand("flock -n " + lock + " " + ENGINE_SINGLE_INSTANCE_PROBE + " VorelMutexUnique"),
        "held\n");
    // The probe left the lock when it ended.
    EXPECT_EQ(RunCommand("flock -n " + lock + " echo free"), "free\n");
}

// A program started by the holder does not inherit the lock: once the holder ended, the next
// instance gets it while that program still runs.
TEST(SingleInstance, StartedProgramDoesNotHoldTheLock) {
    CTempFolder folder;
    RuntimeFolder runtime(folder.Path().c_str());
    CGameInstall install;
    install.SetBehaviour("hang = 1\n");
    // The game inherits the probe's standard output: a file, so that nobody waits for its end.
    const std::string out = folder.File("probe.out");
    RunCommand(std::string(ENGINE_SINGLE_INSTANCE_PROBE) + " VorelMutexUnique " + install.Game() +
               " " + install.Path().string() + " > " + out);
    const std::string output = ReadWholeFile(out);
    ASSERT_EQ(output.rfind("acquired\n", 0), 0u) << output;
    const pid_t game = pid_t(std::stoi(output.substr(9)));
    // The game is no child of this process: it is ended however the test ends.
    const std::unique_ptr<const pid_t, void (*)(const pid_t*)> ender(
        &game, [](const pid_t* pid) { kill(*pid, SIGKILL); });
    ASSERT_TRUE(WaitUntil([&] { return !install.LogLines().empty(); }));
    const std::string fds = "/proc/" + std::to_string(game) + "/fd";
    for (const auto& entry : std::filesystem::directory_iterator(fds)) {
        std::error_code error;
        EXPECT_NE(std::filesystem::read_symlink(entry.path(), error).string(),
                  folder.File("VorelMutexUnique.lock"));
    }
    EXPECT_EQ(Probe("VorelMutexUnique"), "acquired\n");
}

} // namespace
