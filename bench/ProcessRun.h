#pragma once
// Another program run to its end as a whole process, for benchmarks whose peer is a command:
// its wall time from the start to the exit, and its peak resident memory and CPU time as the
// kernel measured them (wait4), read through process_peak (a process started from the benchmark
// itself would carry the benchmark's own peak). The target defines PROCESS_PEAK, the path of
// process_peak.
#include <chrono>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace bench {

inline double NowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct SProcessRun {
    bool Ok = false;
    double WallMs = 0;
    double MaxRssMb = 0;
    double CpuMs = 0;
};

// Runs args[0] with the rest of args; process_peak writes its figures to the report file. Ok
// when the program exited 0.
inline SProcessRun RunProcess(const std::vector<std::string>& args, const std::string& report) {
    std::vector<char*> argv = {const_cast<char*>(PROCESS_PEAK), const_cast<char*>(report.c_str())};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    SProcessRun run;
    const double start = NowMs();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return run;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return run;
    run.WallMs = NowMs() - start;
    double rssKb = 0;
    std::ifstream(report) >> rssKb >> run.CpuMs;
    run.MaxRssMb = rssKb / 1024.0;
    run.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && rssKb > 0;
    return run;
}

} // namespace bench
