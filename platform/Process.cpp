#include "platform/Process.h"

#include "platform/File.h"
#include "platform/HostPath.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace platform {

namespace {

std::optional<std::u16string>& CommandLineSlot() {
    static std::optional<std::u16string> s_Line;
    return s_Line;
}

// The absolute host path of the running executable, or argv[0] when it cannot be read.
std::string ExecutablePath(const char* argv0) {
    std::string path = GetExecutablePath();
    return path.empty() && argv0 ? argv0 : path;
}

// Children let go while they ran, waiting to be reaped.
std::vector<pid_t>& DetachedChildren() {
    static std::vector<pid_t> s_Children;
    return s_Children;
}

// waitpid, resumed when a signal interrupts it.
pid_t WaitFor(pid_t pid, int& status, int flags) {
    pid_t got;
    do {
        got = waitpid(pid, &status, flags);
    } while (got < 0 && errno == EINTR);
    return got;
}

int ExitStatusOf(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

// The start's attributes and file actions, released with the object.
class SpawnSetup {
public:
    SpawnSetup() {
        m_AttrError = posix_spawnattr_init(&m_Attr);
        m_ActionsError = posix_spawn_file_actions_init(&m_Actions);
    }
    ~SpawnSetup() {
        if (m_AttrError == 0)
            posix_spawnattr_destroy(&m_Attr);
        if (m_ActionsError == 0)
            posix_spawn_file_actions_destroy(&m_Actions);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    int Prepare(const std::string& folder, const ProcessOptions& options) {
        if (m_AttrError != 0)
            return m_AttrError;
        if (m_ActionsError != 0)
            return m_ActionsError;
        // Every signal at its default disposition (this process may ignore SIGPIPE or catch
        // others) and none blocked.
        sigset_t defaults;
        sigfillset(&defaults);
        sigdelset(&defaults, SIGKILL);
        sigdelset(&defaults, SIGSTOP);
        sigset_t mask;
        sigemptyset(&mask);
        short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
        if (options.NewSession)
            flags |= POSIX_SPAWN_SETSID;
        if (int error = posix_spawnattr_setsigdefault(&m_Attr, &defaults))
            return error;
        if (int error = posix_spawnattr_setsigmask(&m_Attr, &mask))
            return error;
        if (int error = posix_spawnattr_setflags(&m_Attr, flags))
            return error;
        // Nothing but the standard streams is inherited, whatever this process (or a library in
        // it) left open without close-on-exec.
        if (int error = posix_spawn_file_actions_addclosefrom_np(&m_Actions, 3))
            return error;
        if (!folder.empty()) {
            if (int error = posix_spawn_file_actions_addchdir_np(&m_Actions, folder.c_str()))
                return error;
        }
        return 0;
    }

    const posix_spawnattr_t* Attr() const { return &m_Attr; }
    const posix_spawn_file_actions_t* Actions() const { return &m_Actions; }

private:
    posix_spawnattr_t m_Attr;
    posix_spawn_file_actions_t m_Actions;
    int m_AttrError = 0;
    int m_ActionsError = 0;
};

} // namespace

std::string GetExecutablePath() {
    std::string path(4096, '\0');
    const ssize_t got = readlink("/proc/self/exe", path.data(), path.size());
    if (got <= 0 || size_t(got) >= path.size())
        return std::string();
    path.resize(size_t(got));
    return path;
}

std::u16string QuoteArgument(std::u16string_view argument) {
    if (!argument.empty() && argument.find_first_of(u" \t\r\n\"") == std::u16string_view::npos)
        return std::u16string(argument);
    std::u16string out = u"\"";
    size_t backslashes = 0;
    for (char16_t c : argument) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == u'"' ? 2 * backslashes + 1 : backslashes, u'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, u'\\');
    out += u'"';
    return out;
}

std::u16string CommandLineFromArguments(int argc, const char* const* argv) {
    std::u16string line = QuoteArgument(FromHostPath(ExecutablePath(argc > 0 ? argv[0] : nullptr)));
    for (int i = 1; i < argc; ++i) {
        line += u' ';
        line += QuoteArgument(HostTextToWide(argv[i] ? argv[i] : ""));
    }
    return line;
}

const std::u16string& GetCommandLine() {
    std::optional<std::u16string>& slot = CommandLineSlot();
    if (!slot) {
        std::ifstream file("/proc/self/cmdline", std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
        std::vector<std::string> arguments;
        size_t start = 0;
        while (start < bytes.size()) {
            const size_t end = std::min(bytes.find('\0', start), bytes.size());
            arguments.push_back(bytes.substr(start, end - start));
            start = end + 1;
        }
        std::vector<const char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(argument.c_str());
        slot = CommandLineFromArguments(int(argv.size()), argv.data());
    }
    return *slot;
}

void SetCommandLine(std::u16string line) {
    CommandLineSlot() = std::move(line);
}

std::vector<std::u16string> SplitParameters(std::u16string_view parameters) {
    std::vector<std::u16string> pieces;
    size_t start = 0;
    while (start <= parameters.size()) {
        size_t cut = parameters.find(u" /", start);
        if (cut == std::u16string_view::npos)
            cut = parameters.size();
        if (cut > start)
            pieces.emplace_back(parameters.substr(start, cut - start));
        // The blank at the cut separates; the next piece starts with its '/'.
        start = cut + 1;
    }
    return pieces;
}

int Process::Start(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& folder, const ProcessOptions& options) {
    if (IsOpen())
        return EBUSY;
    // The child changes folder before it runs the program: a relative path is made absolute
    // here, so that it names the file this process sees.
    std::string path = program;
    if (!path.empty() && path[0] != '/') {
        std::string current;
        if (int error = GetCurrentFolder(current))
            return error;
        path = current + "/" + path;
    }
    SpawnSetup setup;
    if (int error = setup.Prepare(folder, options))
        return error;
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    // glibc's posix_spawn reports failures of the child's set-up and of exec as its result.
    pid_t pid = -1;
    if (int error =
            posix_spawn(&pid, path.c_str(), setup.Actions(), setup.Attr(), argv.data(), environ))
        return error;
    m_Pid = pid;
    m_ExitStatus = -1;
    return 0;
}

int Process::Start(std::u16string_view program, std::u16string_view parameters,
                   std::u16string_view folder, const ProcessOptions& options) {
    std::string hostProgram;
    if (!ResolveHostPath(program, hostProgram))
        return EINVAL;
    std::string hostFolder;
    if (!folder.empty() && !ResolveHostPath(folder, hostFolder))
        return EINVAL;
    std::vector<std::string> arguments;
    for (const std::u16string& piece : SplitParameters(parameters))
        arguments.push_back(WideToHostText(piece));
    return Start(hostProgram, arguments, hostFolder, options);
}

void Process::Reaped(int status) {
    m_ExitStatus = ExitStatusOf(status);
    m_Pid = -1;
}

int Process::Wait() {
    if (!IsOpen())
        return m_ExitStatus;
    int status = 0;
    if (WaitFor(m_Pid, status, 0) != m_Pid) {
        // Not our child any more (SIGCHLD ignored by someone): nothing left to reap.
        m_Pid = -1;
        m_ExitStatus = -1;
        return -1;
    }
    Reaped(status);
    return m_ExitStatus;
}

std::optional<int> Process::Poll() {
    if (!IsOpen())
        return m_ExitStatus;
    int status = 0;
    const pid_t got = WaitFor(m_Pid, status, WNOHANG);
    if (got == 0)
        return std::nullopt;
    if (got != m_Pid) {
        m_Pid = -1;
        m_ExitStatus = -1;
        return -1;
    }
    Reaped(status);
    return m_ExitStatus;
}

std::optional<int> Process::WaitAtMost(u32 milliseconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (true) {
        const std::optional<int> status = Poll();
        const auto now = std::chrono::steady_clock::now();
        if (status || now >= deadline)
            return status;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            deadline - now, std::chrono::milliseconds(10)));
    }
}

int Process::Terminate() {
    if (!IsOpen())
        return m_ExitStatus;
    kill(m_Pid, SIGKILL);
    return Wait();
}

void Process::Close() {
    if (!IsOpen())
        return;
    if (!Poll().has_value()) {
        DetachedChildren().push_back(m_Pid);
        m_Pid = -1;
    }
}

u32 ReapDetachedProcesses() {
    std::vector<pid_t>& children = DetachedChildren();
    std::erase_if(children, [](pid_t pid) {
        int status = 0;
        // Reaped, or no longer ours to reap.
        return WaitFor(pid, status, WNOHANG) != 0;
    });
    return u32(children.size());
}

u32 DetachedProcessCount() {
    return u32(DetachedChildren().size());
}

} // namespace platform
