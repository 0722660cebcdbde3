#include "platform/Process.h"

#include "platform/File.h"
#include "platform/HostPath.h"
#include "tests/core/ExternalToolSupport.h"
#include "tests/support/GameStandin.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace {

using platform::Process;

TEST(ProcessParameters, SplitBeforeEveryBlankSlash) {
    struct Case {
        std::u16string Text;
        std::vector<std::u16string> Arguments;
    };
    const Case cases[] = {
        {u"", {}},
        {u"/bench", {u"/bench"}},
        {u"/bench=Bench.Replay.Zun /config=Bench.SystemConfig.Zun /out=Bench_Medium Quality.txt",
         {u"/bench=Bench.Replay.Zun", u"/config=Bench.SystemConfig.Zun",
          u"/out=Bench_Medium Quality.txt"}},
        // Only a blank followed by a slash cuts; other blanks stay inside the argument.
        {u"a b c", {u"a b c"}},
        {u"a/b /c", {u"a/b", u"/c"}},
        // Runs of blanks: the one before the slash separates, the others stay.
        {u"/a  /b", {u"/a ", u"/b"}},
        // Empty pieces are dropped.
        {u" /a", {u"/a"}},
        {u" ", {u" "}},
        {u"/a /", {u"/a", u"/"}},
        {u"/a / /b", {u"/a", u"/", u"/b"}},
        {u"x\u00e9 /y\u00ff", {u"x\u00e9", u"/y\u00ff"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::SplitParameters(c.Text), c.Arguments)
            << platform::WideToHostText(c.Text);
    }
}

TEST(Process, ExitStatusOfEveryEnding) {
    struct Case {
        const char* Script;
        int Status;
    };
    const Case cases[] = {
        {"exit 0", 0},
        {"exit 3", 3},
        {"exit 255", 255},
        {"kill -TERM $$", 128 + SIGTERM},
        {"kill -KILL $$", 128 + SIGKILL},
    };
    for (const Case& c : cases) {
        Process process;
        ASSERT_EQ(process.Start("/bin/sh", {"-c", c.Script}, ""), 0) << c.Script;
        EXPECT_TRUE(process.IsOpen());
        EXPECT_EQ(process.Wait(), c.Status) << c.Script;
        EXPECT_FALSE(process.IsOpen());
        // The status stays readable after the child was reaped.
        EXPECT_EQ(process.Poll(), c.Status) << c.Script;
    }
}

TEST(Process, FailuresToStartComeBackFromTheStart) {
    CTempFolder folder;
    WriteWholeFile(folder.File("plain.txt"), "not a program\n");
    std::filesystem::permissions(folder.File("plain.txt"), std::filesystem::perms(0644));
    struct Case {
        std::string Program;
        std::string Folder;
        int Error;
    };
    const Case cases[] = {
        {folder.File("missing"), "", ENOENT},
        {folder.File("plain.txt"), "", EACCES},
        {"/bin/true", folder.File("no-such-folder"), ENOENT},
        {"/bin/true", folder.File("plain.txt"), ENOTDIR},
    };
    for (const Case& c : cases) {
        Process process;
        EXPECT_EQ(process.Start(c.Program, {}, c.Folder), c.Error)
            << c.Program << " in " << c.Folder;
        EXPECT_FALSE(process.IsOpen());
        EXPECT_EQ(process.Wait(), -1);
    }

    Process process;
    ASSERT_EQ(process.Start("/bin/true", {}, ""), 0);
    EXPECT_EQ(process.Start("/bin/true", {}, ""), EBUSY);
    EXPECT_EQ(process.Wait(), 0);
}

TEST(Process, EnginePathsFoundIgnoringCaseAndParametersAsUtf8) {
    CGameInstall install;
    std::filesystem::create_directory(install.Path() / "Sub Folder");
    const std::u16string folder = platform::FromHostPath(install.Path().string());
    Process process;
    // Parameters widened one character per byte: the byte 0xE9 is U+00E9, passed as UTF-8.
    ASSERT_EQ(process.Start(folder + u"\\BRISALDE", u"/name=\u00e9t\u00e9 /out=A b.txt",
                            folder + u"\\sub folder\\"),
              0);
    EXPECT_EQ(process.Wait(), 0);
    const std::string subFolder = (install.Path() / "Sub Folder").string();
    EXPECT_EQ(ReadWholeFile(subFolder + "/GameStandin.log"),
              "start \"" + subFolder + "\" \"/name=\xC3\xA9t\xC3\xA9\" \"/out=A b.txt\"\nend 0\n");

    // A relative program is this process's, not the new folder's.
    std::string current;
    ASSERT_EQ(platform::GetCurrentFolder(current), 0);
    ASSERT_EQ(chdir(install.Path().c_str()), 0);
    const int relative = process.Start("./Brisalde", {"/x"}, subFolder);
    ASSERT_EQ(chdir(current.c_str()), 0);
    ASSERT_EQ(relative, 0);
    EXPECT_EQ(process.Wait(), 0);

    EXPECT_EQ(process.Start(u"\\\\server\\share\\Brisalde", u"", folder), EINVAL);
    EXPECT_EQ(process.Start(folder + u"\\Brisalde", u"", u"C:\\Games"), EINVAL);
}

std::vector<std::string> DescriptorsOf(pid_t pid) {
    std::vector<std::string> names;
    for (const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The value of a "Name:" line of /proc/<pid>/status.
std::string StatusLine(pid_t pid, const std::string& name) {
    const std::string text = ReadWholeFile("/proc/" + std::to_string(pid) + "/status");
    const size_t at = text.find("\n" + name + ":");
    if (at == std::string::npos)
        return "";
    const size_t start = text.find_first_not_of(" \t", at + name.size() + 2);
    return text.substr(start, text.find('\n', start) - start);
}

TEST(Process, ChildGetsNoDescriptorAndDefaultSignals) {
    CGameInstall install;
    install.SetBehaviour("hang = 1\n");
    // What a careless library leaves behind: descriptors without close-on-exec, an ignored
    // SIGPIPE and a blocked signal.
    const int loose = open("/dev/null", O_RDONLY);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous = {};
    ASSERT_EQ(sigaction(SIGPIPE, &ignore, &previous), 0);
    sigset_t blocked, previousMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR1);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &blocked, &previousMask), 0);

    Process game;
    const int started = game.Start(install.Game(), {}, install.Path().string());

    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    sigaction(SIGPIPE, &previous, nullptr);
    close(loose);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    ASSERT_EQ(started, 0);

    // Once the start is logged and the log closed (the line can be read before the program
    // closes its file), the program holds the three standard descriptors and nothing inherited.
    ASSERT_TRUE(WaitUntil([&] { return !install.LogLines().empty(); }));
    const std::vector<std::string> standard{"0", "1", "2"};
    EXPECT_TRUE(WaitUntil([&] { return DescriptorsOf(game.GetId()) == standard; }))
        << testing::PrintToString(DescriptorsOf(game.GetId()));
    // glibc's spawn leaves its own two reserved signals (32 and 33, below SIGRTMIN) ignored in
    // every child; no program uses them by number.
    const u64 reserved = u64(1) << (32 - 1) | u64(1) << (33 - 1);
    EXPECT_EQ(std::stoull(StatusLine(game.GetId(), "SigIgn"), nullptr, 16) & ~reserved, 0u);
    EXPECT_EQ(StatusLine(game.GetId(), "SigBlk"), "0000000000000000");
    EXPECT_EQ(game.Poll(), std::nullopt);
    EXPECT_EQ(game.Terminate(), 128 + SIGKILL);
    EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(game.GetId())));
}

int s_Alarms = 0;
void CountAlarm(int) {
    ++s_Alarms;
}

TEST(Process, WaitResumesAfterSignals) {
    struct sigaction count = {};
    count.sa_handler = &CountAlarm; // without SA_RESTART: waitpid is interrupted
    struct sigaction previous = {};
    ASSERT_EQ(sigaction(SIGALRM, &count, &previous), 0);
    s_Alarms = 0;
    Process process;
    ASSERT_EQ(process.Start("/bin/sh", {"-c", "sleep 0.2; exit 7"}, ""), 0);
    itimerval every = {{0, 10000}, {0, 10000}};
    setitimer(ITIMER_REAL, &every, nullptr);
    const int status = process.Wait();
    itimerval off = {};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
    EXPECT_EQ(status, 7);
    EXPECT_GT(s_Alarms, 0);
}

char StateOf(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    const size_t close = text.rfind(") ");
    return close == std::string::npos ? '?' : text[close + 2];
}

TEST(Process, CloseReapsOrHandsTheChildToTheReaper) {
    // Ended before Close: reaped at once, nothing left for the reaper.
    Process ended;
    ASSERT_EQ(ended.Start("/bin/true", {}, ""), 0);
    const pid_t endedPid = ended.GetId();
    ASSERT_TRUE(WaitUntil([&] { return StateOf(endedPid) == 'Z'; }));
    ended.Close();
    EXPECT_FALSE(ended.IsOpen());
    EXPECT_EQ(ended.Poll(), 0);
    EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(endedPid)));
    EXPECT_EQ(platform::ReapDetachedProcesses(), 0u);

    // Still running at Close: the reaper keeps it until it ends, then it leaves no zombie.
    pid_t runningPid;
    {
        Process running;
        ASSERT_EQ(running.Start("/bin/sleep", {"30"}, ""), 0);
        runningPid = running.GetId();
    }
    EXPECT_EQ(platform::ReapDetachedProcesses(), 1u);
    EXPECT_NE(StateOf(runningPid), 'Z');
    kill(runningPid, SIGTERM);
    EXPECT_TRUE(WaitUntil([] { return platform::ReapDetachedProcesses() == 0; }));
    EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(runningPid)));
}

} // namespace
