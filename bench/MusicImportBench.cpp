// The music conversion of the custom-data import against a plain copy of the same 64 MB file:
// - Convert: ConvertMusicFile (1024-byte reads, the cipher's 256-byte pieces, the target written
//   through a temporary file that is flushed to disk and renamed over the previous result);
// - CopyAndSync: `sh -c 'cp in out && sync out'` as one process, so that the copy is on disk too.
// Each side is a benchmark of its own, timed by the wall clock: run them with
// --benchmark_repetitions and compare the medians.
#include "launcher/import/MusicImport.h"
#include "platform/HostPath.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr u32 kFileSize = 64u << 20;

// A folder under the system's temporary folder with a 64 MB song, removed at exit.
struct CBenchFolder {
    CBenchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "music-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        m_Host = pattern;
        std::vector<u8> data(kFileSize);
        u32 state = 1;
        for (u8& byte : data) {
            state = state * 1664525 + 1013904223;
            byte = u8(state >> 24);
        }
        const int fd = open(Host("song.ogg").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || write(fd, data.data(), data.size()) != ssize_t(data.size()))
            std::abort();
        close(fd);
    }
    ~CBenchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_Host, ignored);
    }
    std::string Host(const std::string& name) const { return m_Host + "/" + name; }
    CClassicWideString Engine(const std::string& name) const {
        return CClassicWideString(platform::FromHostPath(Host(name)).c_str());
    }

    std::string m_Host;
};

CBenchFolder& Folder() {
    static CBenchFolder s_Folder;
    return s_Folder;
}

void SetBytes(benchmark::State& state) {
    state.SetBytesProcessed(i64(state.iterations()) * kFileSize);
}

void Convert(benchmark::State& state) {
    CBenchFolder& folder = Folder();
    const CClassicWideString source = folder.Engine("song.ogg");
    const CClassicWideString target = folder.Engine("song.mux");
    for (auto _ : state) {
        if (!ConvertMusicFile(source, target))
            state.SkipWithError("conversion failed");
    }
    SetBytes(state);
}

void CopyAndSync(benchmark::State& state) {
    CBenchFolder& folder = Folder();
    const std::string command = "cp '" + folder.Host("song.ogg") + "' '" + folder.Host("copy.ogg") +
                                "' && sync '" + folder.Host("copy.ogg") + "'";
    char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"),
                    const_cast<char*>(command.c_str()), nullptr};
    for (auto _ : state) {
        pid_t child = 0;
        int status = 0;
        if (posix_spawnp(&child, "sh", nullptr, nullptr, argv, environ) != 0 ||
            waitpid(child, &status, 0) != child || status != 0)
            state.SkipWithError("cp failed");
    }
    SetBytes(state);
}

BENCHMARK(Convert)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(CopyAndSync)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
