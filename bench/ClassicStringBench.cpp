// CClassicString against std::string on the same data: appending, comparing and searching;
// the placeholder formatter on a format that repeats a long argument.
#include "core/base/ClassicString.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

const std::string& Haystack() {
    static const std::string text = [] {
        std::string s;
        for (int i = 0; i < 4000; ++i)
            s += "GameData\\Skins\\Avatars\\item" + std::to_string(i) + ".dds;";
        s += "needle-in-the-haystack";
        return s;
    }();
    return text;
}

void AppendClassic(benchmark::State& state) {
    for (auto _ : state) {
        CClassicString s;
        for (int i = 0; i < state.range(0); ++i)
            s.Append("[Sys] line part ");
        benchmark::DoNotOptimize(s.GetText());
    }
}
void AppendStd(benchmark::State& state) {
    for (auto _ : state) {
        std::string s;
        for (int i = 0; i < state.range(0); ++i)
            s.append("[Sys] line part ");
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(AppendClassic)->Arg(16)->Arg(256);
BENCHMARK(AppendStd)->Arg(16)->Arg(256);

void CompareClassic(benchmark::State& state) {
    const CClassicString a(Haystack().c_str()), b(Haystack().c_str());
    for (auto _ : state)
        benchmark::DoNotOptimize(a.Compare(b));
}
void CompareStd(benchmark::State& state) {
    const std::string a(Haystack()), b(Haystack());
    for (auto _ : state)
        benchmark::DoNotOptimize(a.compare(b));
}
BENCHMARK(CompareClassic);
BENCHMARK(CompareStd);

void FindSubstringClassic(benchmark::State& state) {
    const CClassicString s(Haystack().c_str());
    for (auto _ : state)
        benchmark::DoNotOptimize(s.FindSubstring("needle-in"));
}
void FindSubstringStd(benchmark::State& state) {
    const std::string s(Haystack());
    for (auto _ : state)
        benchmark::DoNotOptimize(s.find("needle-in"));
}
BENCHMARK(FindSubstringClassic);
BENCHMARK(FindSubstringStd);

// state.range(0) placeholders "%1" over an argument of 4 Mi characters: the output stops at its
// limit (about one copy of the argument), so the time follows the limit, not the placeholders.
void PlaceholderRepeatedArgument(benchmark::State& state) {
    std::u16string format;
    for (int i = 0; i < state.range(0); ++i)
        format += u"%1";
    const std::u16string arg(4u << 20, u'x');
    CClassicWideString out;
    for (auto _ : state) {
        out.Format1(CClassicWideStringRef(format.data(), u32(format.size())),
                    CClassicWideStringRef(arg.data(), u32(arg.size())));
        benchmark::DoNotOptimize(out.GetText());
    }
}
BENCHMARK(PlaceholderRepeatedArgument)->Arg(2)->Arg(4000)->Unit(benchmark::kMillisecond);

} // namespace
