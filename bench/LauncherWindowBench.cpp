// The launcher as the user starts it, timed as a whole process: from the exec to the first frame
// of its main dialog on an X server, next to xdpyinfo on the same server.
//
// The runner lays out a demo install folder (apps/launcher/demo/make-demo.sh) in a temporary
// folder and starts its own Xvfb (-noreset, so that the server stays as it is between clients).
// It watches the screen through the DAMAGE extension: the first drawing on the screen after the
// launcher's exec is the main dialog's first frame (its window is double-buffered, so the frame
// reaches the screen in one piece). The launcher runs in snapshot mode, which closes the dialog
// once drawn; ImageMagick's import is replaced by true, so that no picture is taken. Launcher
// and xdpyinfo runs alternate, a warm-up run of each first; the CPU times are the kernel's
// accounting of each process (wait4).
//
//   launcher_window_bench [--runs N] [--server-cpu C] [--launcher PROGRAM] [--against PROGRAM]
//                         [--keep]
//
// --runs: rounds (default 10); --server-cpu: the processor Xvfb is pinned to (the runner and the
// programs it starts keep the runner's own affinity, so start it under taskset); --launcher:
// another build of the launcher to time; --against: a second build, laid out in a demo folder of
// its own and timed in the same rounds, to compare two builds; --keep: keep the temporary folder.
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "launcher_window_bench: %s\n", what.c_str());
    std::exit(1);
}

double NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double CpuMs(const rusage& usage) {
    const auto ms = [](const timeval& t) {
        return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Starts a program with the given arguments and environment; stdout to /dev/null when asked.
pid_t Spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
            bool quiet, const posix_spawn_file_actions_t* extraActions = nullptr) {
    std::vector<char*> argv, envp;
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& e : environment)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    if (extraActions)
        actions = *extraActions;
    else
        posix_spawn_file_actions_init(&actions);
    if (quiet)
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    if (!extraActions)
        posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        Fail("cannot start " + arguments[0] + ": " + std::strerror(error));
    return pid;
}

// The environment with some variables replaced.
std::vector<std::string> Environment(const std::vector<std::string>& replaced) {
    std::vector<std::string> out;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        if (std::none_of(replaced.begin(), replaced.end(), [&](const std::string& r) {
                return r.compare(0, name.size() + 1, name + "=") == 0;
            }))
            out.push_back(entry);
    }
    out.insert(out.end(), replaced.begin(), replaced.end());
    return out;
}

struct Figures {
    std::vector<double> Values;
    void Add(double value) { Values.push_back(value); }
    double Median() const {
        std::vector<double> v = Values;
        std::sort(v.begin(), v.end());
        const size_t n = v.size();
        return n == 0 ? 0 : (n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
    }
    double Min() const { return *std::min_element(Values.begin(), Values.end()); }
    double Max() const { return *std::max_element(Values.begin(), Values.end()); }
};

void Print(const char* name, const Figures& f) {
    std::printf("%-34s %8.1f ms   [%.1f to %.1f]\n", name, f.Median(), f.Min(), f.Max());
}

class CServer {
public:
    CServer(int serverCpu) {
        int fds[2];
        if (pipe(fds) != 0)
            Fail("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::vector<std::string> arguments = {"Xvfb",     "-displayfd", std::to_string(fds[1]),
                                              "-noreset", "-nolisten",  "tcp",
                                              "-screen",  "0",          "1280x1024x24"};
        if (serverCpu >= 0)
            arguments.insert(arguments.begin(), {"taskset", "-c", std::to_string(serverCpu)});
        m_Pid = Spawn(arguments, Environment({}), false, &actions);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (number.empty())
            Fail("Xvfb gave no display number");
        m_Name = ":" + number;
        m_Display = XOpenDisplay(m_Name.c_str());
        if (!m_Display)
            Fail("cannot open the display " + m_Name);
        int errorBase = 0;
        if (!XDamageQueryExtension(m_Display, &m_DamageEvent, &errorBase))
            Fail("the server has no DAMAGE extension");
        m_Damage = XDamageCreate(m_Display, DefaultRootWindow(m_Display), XDamageReportNonEmpty);
        // The damage object reports the whole screen once; that report is not a frame.
        const double until = NowMs() + 200;
        while (NowMs() < until)
            FirstDamage(10);
    }
    ~CServer() {
        XCloseDisplay(m_Display);
        kill(m_Pid, SIGTERM);
        int status = 0;
        waitpid(m_Pid, &status, 0);
    }

    const std::string& Name() const { return m_Name; }

    // Forgets what was drawn so far: the next damage event is the next drawing.
    void Clear() {
        while (FirstDamage(0)) {
        }
        XDamageSubtract(m_Display, m_Damage, None, None);
        XSync(m_Display, False);
        while (FirstDamage(0)) {
        }
    }

    // True when a damage event came within the wait (in ms; 0: only what has arrived).
    bool FirstDamage(int waitMs) {
        if (!XPending(m_Display)) {
            pollfd poller{ConnectionNumber(m_Display), POLLIN, 0};
            if (poll(&poller, 1, waitMs) <= 0)
                return false;
        }
        bool damaged = false;
        while (XPending(m_Display)) {
            XEvent event;
            XNextEvent(m_Display, &event);
            if (event.type == m_DamageEvent + XDamageNotify) {
                damaged = true;
                XDamageSubtract(m_Display, m_Damage, None, None);
            }
        }
        return damaged;
    }

private:
    pid_t m_Pid = 0;
    std::string m_Name;
    Display* m_Display = nullptr;
    int m_DamageEvent = 0;
    Damage m_Damage = 0;
};

// Waits for the process to end; its CPU time in ms. Fails when it did not end with status 0.
double Reap(pid_t pid, const char* what) {
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0)
        if (errno != EINTR)
            Fail(std::string("wait4 of ") + what);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        Fail(std::string(what) + " did not end with status 0");
    return CpuMs(usage);
}

// A demo install folder holding one build of the launcher, and what a run of it needs.
struct CDemo {
    CDemo(const fs::path& folder, const std::string& program, const std::string& display) {
        const fs::path demo = folder / "demo";
        fs::create_directories(folder / "bin");
        fs::create_directories(folder / "run");
        fs::create_symlink("/bin/true", folder / "bin" / "import");
        const pid_t make =
            Spawn({DEMO_SCRIPT, program, GAME_PROGRAM, demo.string()}, Environment({}), true);
        Reap(make, "make-demo.sh");
        const char* path = std::getenv("PATH");
        m_Environment = Environment({
            "DISPLAY=" + display,
            "PATH=" + (folder / "bin").string() + ":" + (path ? path : "/usr/bin:/bin"),
            "ENGINE_REGISTRY_DIR=" + (demo / "registry").string(),
            "XDG_RUNTIME_DIR=" + (folder / "run").string(),
            "BRISALDE_ADAPTER_FILE=" + (demo / "GfxAdapter.txt").string(),
            "BRISALDE_UI_SNAPSHOT=" + (folder / "shots").string(),
            "LC_ALL=C",
        });
        m_Program = (demo / "BrisaldeLauncher").string();
    }

    // One run: the time from the exec to the first frame, added to the figures when counted.
    double Run(CServer& server, bool counted) {
        server.Clear();
        const double start = NowMs();
        const pid_t pid = Spawn({m_Program}, m_Environment, true);
        double drawn = -1;
        while (drawn < 0) {
            if (server.FirstDamage(1))
                drawn = NowMs();
            int status = 0;
            if (drawn < 0 && waitpid(pid, &status, WNOHANG) == pid)
                Fail("the launcher ended before it drew a frame");
        }
        const double cpu = Reap(pid, "the launcher");
        if (counted) {
            m_Frame.Add(drawn - start);
            m_Cpu.Add(cpu);
        }
        return drawn - start;
    }

    std::vector<std::string> m_Environment;
    std::string m_Program;
    Figures m_Frame, m_Cpu;
};

} // namespace

int main(int argc, char** argv) {
    int runs = 10;
    int serverCpu = -1;
    std::string program = LAUNCHER_PROGRAM;
    std::string against;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--server-cpu" && i + 1 < argc)
            serverCpu = std::atoi(argv[++i]);
        else if (arg == "--launcher" && i + 1 < argc)
            program = argv[++i];
        else if (arg == "--against" && i + 1 < argc)
            against = argv[++i];
        else if (arg == "--keep")
            keep = true;
        else
            Fail("usage: launcher_window_bench [--runs N] [--server-cpu C] [--launcher PROGRAM] "
                 "[--against PROGRAM] [--keep]");
    }

    char folderTemplate[] = "/tmp/launcher-window-XXXXXX";
    if (!mkdtemp(folderTemplate))
        Fail("cannot make a temporary folder");
    const fs::path folder = folderTemplate;
    CServer server(serverCpu);
    CDemo ours(folder / "first", program, server.Name());
    std::unique_ptr<CDemo> other;
    if (!against.empty())
        other = std::make_unique<CDemo>(folder / "second", against, server.Name());
    const std::vector<std::string> peerEnvironment = Environment({"DISPLAY=" + server.Name()});

    Figures peerWall, peerCpu, ratio, otherRatio;
    const auto runPeer = [&](bool counted) {
        const double start = NowMs();
        const pid_t pid = Spawn({"xdpyinfo"}, peerEnvironment, true);
        const double cpu = Reap(pid, "xdpyinfo");
        const double wall = NowMs() - start;
        if (counted) {
            peerWall.Add(wall);
            peerCpu.Add(cpu);
        }
        return wall;
    };

    ours.Run(server, false);
    if (other)
        other->Run(server, false);
    runPeer(false);
    // Each round runs every program once, the order turning from round to round.
    for (int i = 0; i < runs; ++i) {
        double first = 0, second = 0, peer = 0;
        const int members = other ? 3 : 2;
        for (int k = 0; k < members; ++k) {
            switch ((i + k) % members) {
                case 0:
                    first = ours.Run(server, true);
                    break;
                case 1:
                    peer = runPeer(true);
                    break;
                default:
                    second = other->Run(server, true);
                    break;
            }
        }
        ratio.Add(first / peer);
        if (other)
            otherRatio.Add(second / first);
    }

    std::printf("%d runs of each, alternating; medians [range]\n", runs);
    Print("launcher: exec to first frame", ours.m_Frame);
    Print("launcher: CPU, whole run", ours.m_Cpu);
    Print("xdpyinfo: exec to exit", peerWall);
    Print("xdpyinfo: CPU", peerCpu);
    std::printf("%-34s %8.2f     [%.2f to %.2f]\n", "first frame / xdpyinfo", ratio.Median(),
                ratio.Min(), ratio.Max());
    if (other) {
        Print("other launcher: first frame", other->m_Frame);
        Print("other launcher: CPU, whole run", other->m_Cpu);
        std::printf("%-34s %8.2f     [%.2f to %.2f]\n", "other / launcher, first frame",
                    otherRatio.Median(), otherRatio.Min(), otherRatio.Max());
    }
    if (keep)
        std::printf("kept %s\n", folder.c_str());
    else
        fs::remove_all(folder);
    return 0;
}
