#pragma once
// The process's command line, in the form the engine reads it: one text in which the program's
// path comes first, then the arguments separated by blanks. An argument that is empty or holds a
// blank, a tab, a line end or a double quote is put in double quotes; inside them a double quote
// is written \" and the backslashes right before a double quote (or before the closing one) are
// doubled, so that the usual rules of such command lines give every argument back.
//
// Child processes: programs started with an argument vector in a working folder, waited for,
// polled, ended or handed to a reaper.
#include "platform/Types.h"

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace platform {

// The command line: the one set last, else the one built from this process's own arguments
// (the program's engine path first, from the executable the process runs).
const std::u16string& GetCommandLine();
void SetCommandLine(std::u16string line);

// A command line from a program's arguments: argv[0] is replaced by the engine path of the
// executable this process runs, the others are host text.
std::u16string CommandLineFromArguments(int argc, const char* const* argv);

// One argument as it stands in a command line.
std::u16string QuoteArgument(std::u16string_view argument);

// The host path of the program file this process runs (the link target of procfs self/exe);
// empty when it cannot be read.
std::string GetExecutablePath();

// The argument vector of a parameters text: an empty text gives no argument; otherwise the text
// is cut before every " /", each piece loses its leading blanks and empty pieces are dropped, so
// "/bench=a.Zun /out=b c.txt" gives "/bench=a.Zun" and "/out=b c.txt".
std::vector<std::u16string> SplitParameters(std::u16string_view parameters);

// How a child starts.
struct ProcessOptions {
    // The child leads a session and a process group of its own (setsid), so that it outlives
    // the starter's terminal and is not signalled with the starter's group.
    bool NewSession = false;
};

// One child process. The object is the child's only owner: Close (or the destructor) reaps a
// child that has ended and hands one that still runs to the reaper (ReapDetachedProcesses).
// Children start with every signal at its default disposition and an empty signal mask, and
// inherit only the standard input, output and error of this process.
class Process {
public:
    Process() = default;
    ~Process() { Close(); }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts the program (host path; a relative one from this process's current folder) with
    // argv[0] = program, then the arguments, in the folder (host path; empty: this process's
    // current folder). 0, or the errno of the failure: a
    // missing folder or program, a program that cannot be run (ENOENT, EACCES, ENOEXEC), EBUSY
    // when this object already holds a child.
    int Start(const std::string& program, const std::vector<std::string>& arguments,
              const std::string& folder, const ProcessOptions& options = {});
    // The same with engine paths, each name of which is found ignoring case (HostPath.h), and
    // the parameters split by SplitParameters and passed as UTF-8. EINVAL for an engine path
    // without a host counterpart.
    int Start(std::u16string_view program, std::u16string_view parameters,
              std::u16string_view folder, const ProcessOptions& options = {});

    // Waits until the child ends (interrupted waits are resumed) and answers its exit status
    // (0 to 255, 128 + the signal for a child ended by a signal); the child is reaped. Without a
    // child: the status of the one reaped last, -1 when none was or its status could not be had
    // (someone else reaped it).
    int Wait();
    // The exit status once the child has ended (reaping it), nothing while it runs; without a
    // child as Wait.
    std::optional<int> Poll();
    // Poll, repeated until the child ends or the time (wall clock, looked at every 10 ms at
    // most) has passed.
    std::optional<int> WaitAtMost(u32 milliseconds);
    // Ends the child at once (SIGKILL) and reaps it; answers its exit status as Wait.
    int Terminate();
    // Lets go of the child: reaped when it has ended, else handed to the reaper.
    void Close();

    // Whether a child was started and not yet reaped or let go.
    bool IsOpen() const { return m_Pid > 0; }
    pid_t GetId() const { return m_Pid; }

private:
    void Reaped(int status);

    pid_t m_Pid = -1;
    int m_ExitStatus = -1;
};

// Reaps, without waiting, the children let go while running; answers how many still run. The
// launcher calls it from its idle hook.
u32 ReapDetachedProcesses();
// How many children let go are waiting to be reaped, without reaping any; a dialog loop wakes
// now and then while there are some (the FLTK backend), so that its idle hook reaps them.
u32 DetachedProcessCount();

} // namespace platform
