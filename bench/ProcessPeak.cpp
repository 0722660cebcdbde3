// Runs a program and writes what the kernel measured of it (wait4) to a file:
//   process_peak <report> <program> [arguments...]
// The report holds one line: "<peak resident KB> <user + system CPU ms>". The exit status is the
// program's (127 when it cannot be started).
//
// A benchmark that starts programs cannot read their peak memory itself: a process started from
// it keeps, across its exec, the peak of the memory it started from (the benchmark's). This small
// program starts from a fresh image, so the peak it reports is the program's own.
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: process_peak <report> <program> [arguments...]\n");
        return 2;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[2], argv + 2);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return 127;
    if (std::FILE* report = std::fopen(argv[1], "w")) {
        const long cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 +
                           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
        std::fprintf(report, "%ld %ld\n", usage.ru_maxrss, cpuMs);
        std::fclose(report);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}
