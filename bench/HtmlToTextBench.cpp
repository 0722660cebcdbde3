// The tag stripper over a page of HTML and over its worst cases ('<' repeated, "<head"
// repeated), against one std::remove_copy_if pass over the same bytes; and how its time grows
// from 64 KB to 8 MB (Google Benchmark's complexity fit, expected O(N)).
#include "BenchPair.h"
#include "net/http/HtmlToText.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstring>
#include <string>

namespace {

enum Kind { Page, Angles, Heads };

std::string MakeInput(Kind kind, size_t size) {
    std::string text;
    text.reserve(size + 128);
    switch (kind) {
        case Page:
            text = "<html><head><title>Servers</title></head><body>\n";
            for (int i = 0; text.size() < size; ++i)
                text += "<tr><td class=\"name\">Server " + std::to_string(i) +
                        "</td>  <td>\t12 / 16</td></tr>\n";
            break;
        case Angles:
            text.assign(size, '<');
            break;
        case Heads:
            while (text.size() < size)
                text += "<head";
            break;
    }
    text.resize(size);
    return text;
}

void Pair(benchmark::State& state, Kind kind) {
    const std::string input = MakeInput(kind, 1 << 20);
    CClassicString text;
    std::string out(input.size(), '\0');
    bench::InterleaveWithSetup(
        state, [&] { text.Assign(CClassicStringRef(input.data(), u32(input.size()))); },
        [&] {
            HtmlToText(text, true);
            benchmark::DoNotOptimize(text.GetText());
        },
        bench::NoSetup{},
        [&] {
            // The peer: one pass that drops what is not wanted.
            const auto end = std::remove_copy_if(input.begin(), input.end(), out.begin(),
                                                 [](char c) { return c == '<' || c == '\t'; });
            benchmark::DoNotOptimize(&*end);
        });
    state.SetBytesProcessed(i64(state.iterations()) * i64(input.size()));
}

void Scaling(benchmark::State& state, Kind kind) {
    const std::string input = MakeInput(kind, size_t(state.range(0)));
    CClassicString text;
    for (auto _ : state) {
        state.PauseTiming();
        text.Assign(CClassicStringRef(input.data(), u32(input.size())));
        state.ResumeTiming();
        HtmlToText(text, true);
        benchmark::DoNotOptimize(text.GetText());
    }
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(i64(state.iterations()) * state.range(0));
}

BENCHMARK_CAPTURE(Pair, Page, Page);
BENCHMARK_CAPTURE(Pair, Angles, Angles);
BENCHMARK_CAPTURE(Pair, Heads, Heads);
BENCHMARK_CAPTURE(Scaling, Page, Page)
    ->RangeMultiplier(2)
    ->Range(64 << 10, 8 << 20)
    ->Complexity(benchmark::oN);
BENCHMARK_CAPTURE(Scaling, Angles, Angles)
    ->RangeMultiplier(2)
    ->Range(64 << 10, 8 << 20)
    ->Complexity(benchmark::oN);
BENCHMARK_CAPTURE(Scaling, Heads, Heads)
    ->RangeMultiplier(2)
    ->Range(64 << 10, 8 << 20)
    ->Complexity(benchmark::oN);

} // namespace
