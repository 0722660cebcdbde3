// CClassicString against the standard library on the same data, in alternating rounds (see
// BenchPair.h): appending, comparing, searching with and without case, replacing every
// occurrence of a text; and the placeholder formatter on a format that repeats a long argument.
#include "BenchPair.h"
#include "core/base/ClassicString.h"

#include <cstring>
#include <malloc.h>
#include <string>
#include <string_view>

namespace {

// Freed memory stays in the process (no trimming of the heap, no mapping per large block), so
// that both sides reuse the same pages round after round: on a virtual machine a page fault
// costs microseconds, and the C library's default gives the pages of a freed 64 KB string back
// to the kernel only to fault them in again in the next round, which would time the kernel
// instead of the appending. The engine's own blocks of 2 MB and more are mappings whatever this
// says; the platform keeps the last one given back, as the heap does.
const bool s_KeepFreedMemory = [] {
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    return true;
}();

constexpr const char* kNeedle = "needle-in-the-haystack";
constexpr const char* kMarker = "%Player%";

// Paths the way the engine lists them, about `size` bytes, every `markEvery`-th one holding
// kMarker (none for 0), and kNeedle at the end.
std::string Paths(size_t size, int markEvery) {
    std::string s;
    for (int i = 0; s.size() < size; ++i) {
        const bool marked = markEvery && i % markEvery == 0;
        s += marked ? "GameData\\Skins\\" + std::string(kMarker) + "\\item"
                    : "GameData\\Skins\\Avatars\\item";
        s += std::to_string(i) + ".dds;";
    }
    return s + kNeedle;
}

CClassicString Classic(const std::string& s) {
    return CClassicString(CClassicStringRef(s.data(), u32(s.size())));
}

// n pieces of 16 characters appended to a new string, narrow and wide; the counter
// `project_ns_per_piece` stays flat from 16 to 65 536 pieces when appending is linear.
template <class String, class Peer, class Ch>
void AppendPieces(benchmark::State& state, const Ch* piece) {
    const int pieces = int(state.range(0));
    bench::Interleave(
        state,
        [&] {
            String s;
            for (int i = 0; i < pieces; ++i)
                s.Append(piece);
            benchmark::DoNotOptimize(s.GetText());
        },
        [&] {
            Peer s;
            for (int i = 0; i < pieces; ++i)
                s.append(piece);
            benchmark::DoNotOptimize(s.data());
        });
    state.counters["project_ns_per_piece"] = state.counters["project_ns"] / pieces;
}

void Append(benchmark::State& state) {
    AppendPieces<CClassicString, std::string>(state, "[Sys] line part ");
}
BENCHMARK(Append)->RangeMultiplier(4)->Range(16, 65536);

void AppendWide(benchmark::State& state) {
    AppendPieces<CClassicWideString, std::u16string>(state, u"[Sys] line part ");
}
BENCHMARK(AppendWide)->RangeMultiplier(4)->Range(16, 65536);

// A text built one character at a time.
void AppendChar(benchmark::State& state) {
    const int count = int(state.range(0));
    bench::Interleave(
        state,
        [&] {
            CClassicString s;
            for (int i = 0; i < count; ++i)
                s.AppendChar(char('a' + i % 26));
            benchmark::DoNotOptimize(s.GetText());
        },
        [&] {
            std::string s;
            for (int i = 0; i < count; ++i)
                s.push_back(char('a' + i % 26));
            benchmark::DoNotOptimize(s.data());
        });
}
BENCHMARK(AppendChar)->RangeMultiplier(4)->Range(16, 65536);

// The peers of the comparing and searching rows read the engine strings' own bytes (through
// std::string_view, whose compare and find are std::string's), so that both sides read the same
// addresses: how two texts lie against each other's cache lines alone moves the time of a
// comparison by 40%.

// Two equal texts of 170 KB: the whole length is compared.
void Compare(benchmark::State& state) {
    const std::string text = Paths(170 << 10, 0);
    const CClassicString a = Classic(text), b = Classic(text);
    const std::string_view sa(a.GetText(), a.GetLength()), sb(b.GetText(), b.GetLength());
    bench::Interleave(
        state, [&] { benchmark::DoNotOptimize(a.Compare(b)); },
        [&] { benchmark::DoNotOptimize(sa.compare(sb)); });
}
BENCHMARK(Compare);

// The needle at the end of 1 MB of paths.
void FindSubstring(benchmark::State& state) {
    const CClassicString s = Classic(Paths(1 << 20, 0));
    const std::string_view text(s.GetText(), s.GetLength());
    if (s.FindSubstring(kNeedle) != i32(text.find(kNeedle)))
        state.SkipWithError("the two sides disagree");
    bench::Interleave(
        state, [&] { benchmark::DoNotOptimize(s.FindSubstring(kNeedle)); },
        [&] { benchmark::DoNotOptimize(text.find(kNeedle)); });
}
BENCHMARK(FindSubstring);

// The same search ignoring case, against the C library's strcasestr (which folds ASCII only in
// the "C" locale this program runs in).
void FindSubstringNoCase(benchmark::State& state) {
    constexpr const char* kMixed = "NEEDLE-in-The-HayStack";
    const CClassicString s = Classic(Paths(1 << 20, 0));
    const char* text = s.GetText();
    if (s.FindSubstring(kMixed, 0, false) != strcasestr(text, kMixed) - text)
        state.SkipWithError("the two sides disagree");
    bench::Interleave(
        state, [&] { benchmark::DoNotOptimize(s.FindSubstring(kMixed, 0, false)); },
        [&] { benchmark::DoNotOptimize(strcasestr(text, kMixed)); });
}
BENCHMARK(FindSubstringNoCase);

// The peer: one pass that builds the new text.
std::string ReplaceAll(const std::string& text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    size_t start = 0;
    for (size_t at; (at = text.find(from, start)) != std::string::npos; start = at + from.size())
        out.append(text, start, at - start).append(to);
    out.append(text, start);
    return out;
}

// Every occurrence of a marker (one in every 24 paths: about 1 200 in 1 MB) replaced by a longer
// text, in 1 MB and in 4 MB: a steady ratio shows the time growing with the length alone. Each
// round starts from a fresh copy of the text (made untimed); both sides allocate the new text
// and free the old one.
void Replace(benchmark::State& state) {
    constexpr const char* kName = "PlayerNumberOne";
    const std::string text = Paths(size_t(state.range(0)), 24);
    const std::string expected = ReplaceAll(text, kMarker, kName);
    CClassicString s;
    s = Classic(text);
    s.Replace(kMarker, kName, 0, 0xFFFFFFFF);
    if (std::string_view(s.GetText(), s.GetLength()) != expected)
        state.SkipWithError("the two sides disagree");
    size_t hits = 0;
    for (size_t at = text.find(kMarker); at != std::string::npos; at = text.find(kMarker, at + 1))
        ++hits;
    bench::InterleaveWithSetup(
        state, [&] { s = Classic(text); },
        [&] { benchmark::DoNotOptimize(s.Replace(kMarker, kName, 0, 0xFFFFFFFF)); },
        bench::NoSetup{},
        [&] { benchmark::DoNotOptimize(ReplaceAll(text, kMarker, kName).data()); });
    state.counters["hits"] = double(hits);
}
BENCHMARK(Replace)->Arg(1 << 20)->Arg(4 << 20);

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
