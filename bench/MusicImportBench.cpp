// The music conversion of the custom-data import against a plain copy of the same 64 MB file:
// - Convert: ConvertMusicFile (1024-byte reads, the cipher's 256-byte pieces, the target written
//   through a temporary file that is flushed to disk and renamed over the previous result);
// - CopyAndSync: `sh -c 'cp in out && sync out'` as one process, so that the copy is on disk too.
// Each side is a benchmark of its own, timed by the wall clock: run them with
// --benchmark_repetitions and compare the medians.
#include "BenchFileFolder.h"
#include "launcher/import/MusicImport.h"

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>

extern char** environ;

namespace {

constexpr u32 kFileSize = 64u << 20;

// The 64 MB song "song.ogg", made once.
CBenchFileFolder& Folder() {
    static CBenchFileFolder s_Folder("music-bench", "song.ogg", kFileSize);
    return s_Folder;
}

void SetBytes(benchmark::State& state) {
    state.SetBytesProcessed(i64(state.iterations()) * kFileSize);
}

void Convert(benchmark::State& state) {
    CBenchFileFolder& folder = Folder();
    const CClassicWideString source = folder.Engine("song.ogg");
    const CClassicWideString target = folder.Engine("song.mux");
    for (auto _ : state) {
        if (!ConvertMusicFile(source, target))
            state.SkipWithError("conversion failed");
    }
    SetBytes(state);
}

void CopyAndSync(benchmark::State& state) {
    CBenchFileFolder& folder = Folder();
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
