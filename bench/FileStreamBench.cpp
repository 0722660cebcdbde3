// The file stream and the file copy against the system's own calls on the same 64 MB, in the
// same folder, in one run:
// - reading in 64 KB pieces through CClassicBufferFile against read();
// - writing in 64 KB pieces in place against write();
// - writing through a temporary file (flushed to disk, renamed over the target, folder flushed)
//   against the same steps done with write(), fsync() and rename();
// - CopyFileTo against the cp command, to a new file and over an existing one; cp's time is that
//   of the copy less that of a copy of an empty file, so that its process start is not counted.
#include "BenchFileFolder.h"
#include "platform/HostPath.h"
#include "system/file/ClassicBufferFile.h"
#include "system/file/FileSystem.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr u32 kFileSize = 64u << 20;
constexpr u32 kPiece = 64u << 10;

// The 64 MB file "source.bin" and the empty "empty.bin", made once.
CBenchFileFolder& Folder() {
    static CBenchFileFolder s_Folder("filestream-bench", "source.bin", kFileSize);
    static const bool s_Empty =
        close(open(s_Folder.Host("empty.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)) == 0;
    (void)s_Empty;
    return s_Folder;
}

void SetBytes(benchmark::State& state) {
    state.SetBytesProcessed(i64(state.iterations()) * kFileSize);
}

void StreamRead(benchmark::State& state) {
    CBenchFileFolder& folder = Folder();
    std::vector<u8> piece(kPiece);
    const CClassicWideString path = folder.Engine("source.bin");
    for (auto _ : state) {
        CClassicBufferFile file;
        if (!file.Open(path, false, false, false, false))
            state.SkipWithError("open failed");
        u64 total = 0;
        while (const u32 got = file.Read(piece.data(), kPiece))
            total += got;
        if (total != kFileSize)
            state.SkipWithError("short read");
        file.Close();
    }
    SetBytes(state);
}

void RawRead(benchmark::State& state) {
    CBenchFileFolder& folder = Folder();
    std::vector<u8> piece(kPiece);
    const std::string path = folder.Host("source.bin");
    for (auto _ : state) {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        u64 total = 0;
        ssize_t got;
        while ((got = read(fd, piece.data(), kPiece)) > 0)
            total += u64(got);
        if (total != kFileSize)
            state.SkipWithError("short read");
        close(fd);
    }
    SetBytes(state);
}

void StreamWrite(benchmark::State& state, bool throughTemp) {
    CBenchFileFolder& folder = Folder();
    const CClassicWideString path = folder.Engine(throughTemp ? "saved.bin" : "plain.bin");
    for (auto _ : state) {
        CClassicBufferFile file;
        if (!file.Open(path, true, throughTemp, true, false))
            state.SkipWithError("open failed");
        for (u32 done = 0; done < kFileSize; done += kPiece)
            file.Write(folder.m_Data.data() + done, kPiece);
        if (!file.Close())
            state.SkipWithError("close failed");
    }
    SetBytes(state);
}

void RawWrite(benchmark::State& state, bool throughTemp) {
    CBenchFileFolder& folder = Folder();
    const std::string target = folder.Host(throughTemp ? "raw-saved.bin" : "raw-plain.bin");
    const std::string temporary = folder.Host("raw-saved.tmp");
    for (auto _ : state) {
        if (throughTemp) {
            // The same steps: the target opened and closed, a new file beside it.
            close(open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        }
        const std::string& path = throughTemp ? temporary : target;
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        for (u32 done = 0; done < kFileSize; done += kPiece)
            if (write(fd, folder.m_Data.data() + done, kPiece) != ssize_t(kPiece))
                state.SkipWithError("short write");
        if (throughTemp) {
            fsync(fd);
            fchmod(fd, 0644);
            rename(temporary.c_str(), target.c_str());
            const int dir = open(folder.m_Host.c_str(), O_RDONLY | O_DIRECTORY);
            fsync(dir);
            close(dir);
        }
        close(fd);
    }
    SetBytes(state);
}

// Runs cp; its wall time in seconds, or a negative value when it failed.
double RunCp(const std::string& from, const std::string& to) {
    char* argv[] = {const_cast<char*>("cp"), const_cast<char*>(from.c_str()),
                    const_cast<char*>(to.c_str()), nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    int status = 0;
    if (posix_spawnp(&child, "cp", nullptr, nullptr, argv, environ) != 0 ||
        waitpid(child, &status, 0) != child || status != 0)
        return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Copy(benchmark::State& state, bool command) {
    CBenchFileFolder& folder = Folder();
    const std::string target = folder.Host("copy.bin");
    const CClassicWideString source = folder.Engine("source.bin"), copy = folder.Engine("copy.bin");
    const bool replace = state.range(0) != 0;
    unlink(target.c_str());
    if (replace && !CopyFileTo(source, copy, false))
        state.SkipWithError("copy failed");
    for (auto _ : state) {
        if (!replace) {
            state.PauseTiming();
            unlink(target.c_str());
            state.ResumeTiming();
        }
        const auto start = std::chrono::steady_clock::now();
        if (command) {
            // cp's own start is not part of the copy: a copy of an empty file times it.
            const double whole = RunCp(folder.Host("source.bin"), target);
            const double empty = RunCp(folder.Host("empty.bin"), folder.Host("empty-copy.bin"));
            if (whole < 0 || empty < 0)
                state.SkipWithError("cp failed");
            state.SetIterationTime(std::max(whole - empty, 1e-6));
        } else {
            if (!CopyFileTo(source, copy, false))
                state.SkipWithError("copy failed");
            state.SetIterationTime(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
    }
    SetBytes(state);
}

BENCHMARK(StreamRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(RawRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(StreamWrite, Plain, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RawWrite, Plain, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(StreamWrite, ThroughTemporary, true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(RawWrite, ThroughTemporary, true)->Unit(benchmark::kMillisecond)->UseRealTime();
// Argument 0: to a new file; 1: over the previous copy.
BENCHMARK_CAPTURE(Copy, CopyFileTo, false)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK_CAPTURE(Copy, CpCommand, true)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

} // namespace
