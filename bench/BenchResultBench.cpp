// The bench result parser over 64 KB, 256 KB and 1 MB of result-file lines (about one line in ten
// a driver warning, a rate marker now and then), against a plain memchr line split of the same
// bytes; and how its time grows (Google Benchmark's complexity fit, expected O(N)).
#include "BenchPair.h"
#include "launcher/BenchDlg.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <string>

namespace {

std::string MakeResult(size_t size) {
    std::string text = "// Bench results\r\n";
    text.reserve(size + 128);
    for (int i = 0; text.size() < size; ++i) {
        if (i % 10 == 3)
            text += i % 20 == 3 ? "// WARNING : Texture filtering has been forced by driver\r\n"
                                : "// WARNING : Antialiasing has been forced by driver\r\n";
        else if (i % 50 == 7)
            text += "// Average Fps\r\n" + std::to_string(30 + i % 70) + ".25\r\n";
        else
            text += "// Frame " + std::to_string(i) + " : " + std::to_string(10 + i % 23) +
                    ".5 ms, zone " + std::to_string(i % 8) + "\r\n";
    }
    text.resize(size);
    return text;
}

std::span<const u8> Bytes(const std::string& text) {
    return std::span<const u8>(reinterpret_cast<const u8*>(text.data()), text.size());
}

// The peer: the lines found with memchr, their lengths summed.
size_t SplitLines(const std::string& text) {
    const char* at = text.data();
    const char* const end = at + text.size();
    size_t total = 0;
    while (at < end) {
        const void* hit = std::memchr(at, '\n', size_t(end - at));
        const char* stop = hit ? static_cast<const char*>(hit) : end;
        total += size_t(stop - at);
        at = stop + 1;
    }
    return total;
}

void Pair(benchmark::State& state) {
    const std::string input = MakeResult(size_t(state.range(0)));
    bench::Interleave(
        state,
        [&] {
            const SBenchResult result = ParseBenchResult(Bytes(input));
            benchmark::DoNotOptimize(result);
        },
        [&] { benchmark::DoNotOptimize(SplitLines(input)); });
    state.SetBytesProcessed(i64(state.iterations()) * state.range(0));
    const SBenchResult result = ParseBenchResult(Bytes(input));
    if (!(result.Fps > 0) || !result.FilteringForced || !result.AntialiasingForced)
        state.SkipWithError("the input does not hold a rate and both warnings");
}

void Scaling(benchmark::State& state) {
    const std::string input = MakeResult(size_t(state.range(0)));
    for (auto _ : state) {
        const SBenchResult result = ParseBenchResult(Bytes(input));
        benchmark::DoNotOptimize(result);
    }
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(i64(state.iterations()) * state.range(0));
}

BENCHMARK(Pair)->RangeMultiplier(4)->Range(64 << 10, 1 << 20);
BENCHMARK(Scaling)->RangeMultiplier(4)->Range(64 << 10, 1 << 20)->Complexity(benchmark::oN);

} // namespace
