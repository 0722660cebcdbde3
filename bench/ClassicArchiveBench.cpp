// The value archive against plain C++ doing the same work on the same data, in alternating
// rounds (see BenchPair.h). Every value goes through its own archive call, as a chunk reading
// one field after another does:
//   text u32: one line per value, against std::to_chars / std::from_chars with a line split,
//   text short strings: one line per string, against a plain line split into std::string,
//   binary u32: four bytes per value, against appending to and loading from a std::vector.
#include "BenchPair.h"
#include "core/base/ClassicArchive.h"

#include <charconv>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr u32 kValues = 1000000;
constexpr u32 kStrings = 100000;

// Values of every length from 1 to 10 digits, the same in every run.
const std::vector<u32>& Values() {
    static const std::vector<u32> values = [] {
        std::vector<u32> list(kValues);
        u32 state = 12345;
        for (u32& value : list) {
            state = state * 1664525u + 1013904223u;
            const u32 word = state;
            state = state * 1664525u + 1013904223u;
            value = word >> (state >> 27);
        }
        return list;
    }();
    return values;
}

// An archive over its own memory stream.
struct CArchiveOver {
    CArchiveOver(i32 text, i32 writing) : m_Stream(new CClassicBufferMemory) {
        m_Archive.SetBuffer(m_Stream);
        m_Archive.m_Text = text;
        m_Archive.m_Writing = writing;
    }
    CArchiveOver(i32 text, const std::string& data) : CArchiveOver(text, 0) {
        m_Stream->Write(data.data(), u32(data.size()));
        m_Stream->Rewind();
    }
    std::string Content() const {
        return std::string(reinterpret_cast<const char*>(m_Stream->GetData()), m_Stream->GetSize());
    }
    CClassicArchive m_Archive;
    CClassicBufferMemory* m_Stream;
};

// The peer's text of the values: one line each, ending with CR LF.
std::string TextLines(const std::vector<u32>& values) {
    std::string text;
    for (u32 value : values) {
        char digits[16];
        char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        text.append(digits, end).append("\r\n");
    }
    return text;
}

// The line that begins at `at`, without its CR LF; `at` moves past the line.
std::string_view NextLine(const std::string& text, size_t& at) {
    const char* begin = text.data() + at;
    const char* lf = static_cast<const char*>(std::memchr(begin, '\n', text.size() - at));
    if (!lf)
        throw std::runtime_error("line without its end");
    at = size_t(lf - text.data()) + 1;
    return std::string_view(begin, size_t(lf - begin) - (lf > begin && lf[-1] == '\r'));
}

void TextWriteU32(benchmark::State& state) {
    const std::vector<u32>& values = Values();
    CArchiveOver writer(1, 1);
    std::string out;
    bench::Interleave(
        state,
        [&] {
            writer.m_Stream->Clear();
            for (const u32& value : values)
                writer.m_Archive.WriteUInts(&value, 1);
            benchmark::DoNotOptimize(writer.m_Stream->GetData());
        },
        [&] {
            out.clear();
            for (u32 value : values) {
                char line[16];
                char* end = std::to_chars(line, line + 14, value).ptr;
                *end++ = '\r';
                *end++ = '\n';
                out.append(line, end);
            }
            benchmark::DoNotOptimize(out.data());
        });
    if (writer.Content() != out)
        state.SkipWithError("the archive wrote other bytes than the peer");
}
BENCHMARK(TextWriteU32)->Unit(benchmark::kMillisecond);

void TextReadU32(benchmark::State& state) {
    const std::vector<u32>& values = Values();
    const std::string text = TextLines(values);
    CArchiveOver reader(1, text);
    u64 projectSum = 0, peerSum = 0;
    bench::Interleave(
        state,
        [&] {
            reader.m_Stream->Rewind();
            u64 sum = 0;
            for (u32 i = 0; i < kValues; ++i) {
                u32 value;
                reader.m_Archive.ReadUInts(&value, 1);
                sum += value;
            }
            projectSum = sum;
        },
        [&] {
            size_t at = 0;
            u64 sum = 0;
            for (u32 i = 0; i < kValues; ++i) {
                const std::string_view line = NextLine(text, at);
                u32 value = 0;
                std::from_chars(line.data(), line.data() + line.size(), value);
                sum += value;
            }
            peerSum = sum;
        });
    u64 expected = 0;
    for (u32 value : values)
        expected += value;
    if (projectSum != expected || peerSum != expected)
        state.SkipWithError("a side read other values");
}
BENCHMARK(TextReadU32)->Unit(benchmark::kMillisecond);

// Short names, 4 to 15 characters, one per line.
void TextReadStrings(benchmark::State& state) {
    std::string text;
    std::vector<std::string> names(kStrings);
    for (u32 i = 0; i < kStrings; ++i) {
        names[i] = std::string("Skin_Name_", 3 + i % 8) + std::to_string(i * 7919u % 100000u);
        text += names[i] + "\r\n";
    }
    CArchiveOver reader(1, text);
    std::vector<CClassicString> project(kStrings);
    std::vector<std::string> peer(kStrings);
    bench::Interleave(
        state,
        [&] {
            reader.m_Stream->Rewind();
            for (CClassicString& value : project)
                reader.m_Archive.ReadStrings(&value, 1);
            benchmark::DoNotOptimize(project.data());
        },
        [&] {
            size_t at = 0;
            for (std::string& value : peer)
                value.assign(NextLine(text, at));
            benchmark::DoNotOptimize(peer.data());
        });
    for (u32 i = 0; i < kStrings; ++i) {
        if (std::string_view(project[i].GetText(), project[i].GetLength()) != names[i] ||
            peer[i] != names[i]) {
            state.SkipWithError("a side read other strings");
            break;
        }
    }
}
BENCHMARK(TextReadStrings)->Unit(benchmark::kMillisecond);

void BinaryWriteU32(benchmark::State& state) {
    const std::vector<u32>& values = Values();
    CArchiveOver writer(0, 1);
    std::vector<u8> out;
    bench::Interleave(
        state,
        [&] {
            writer.m_Stream->Clear();
            for (const u32& value : values)
                writer.m_Archive.WriteUInts(&value, 1);
            benchmark::DoNotOptimize(writer.m_Stream->GetData());
        },
        [&] {
            out.clear();
            for (const u32& value : values) {
                const u8* bytes = reinterpret_cast<const u8*>(&value);
                out.insert(out.end(), bytes, bytes + 4);
            }
            benchmark::DoNotOptimize(out.data());
        });
    if (writer.Content() != std::string(out.begin(), out.end()))
        state.SkipWithError("the archive wrote other bytes than the peer");
}
BENCHMARK(BinaryWriteU32)->Unit(benchmark::kMillisecond);

// The peer checks every load against the bytes left, as the stream does.
u32 LoadU32(const std::vector<u8>& bytes, size_t& at) {
    if (bytes.size() - at < 4)
        throw std::out_of_range("past the end");
    u32 value;
    std::memcpy(&value, bytes.data() + at, 4);
    at += 4;
    return value;
}

void BinaryReadU32(benchmark::State& state) {
    const std::vector<u32>& values = Values();
    std::vector<u8> bytes(values.size() * 4);
    std::memcpy(bytes.data(), values.data(), bytes.size());
    CArchiveOver reader(0, std::string(bytes.begin(), bytes.end()));
    u64 projectSum = 0, peerSum = 0;
    bench::Interleave(
        state,
        [&] {
            reader.m_Stream->Rewind();
            u64 sum = 0;
            for (u32 i = 0; i < kValues; ++i) {
                u32 value;
                reader.m_Archive.ReadUInts(&value, 1);
                sum += value;
            }
            projectSum = sum;
        },
        [&] {
            size_t at = 0;
            u64 sum = 0;
            for (u32 i = 0; i < kValues; ++i)
                sum += LoadU32(bytes, at);
            peerSum = sum;
        });
    u64 expected = 0;
    for (u32 value : values)
        expected += value;
    if (projectSum != expected || peerSum != expected)
        state.SkipWithError("a side read other values");
}
BENCHMARK(BinaryReadU32)->Unit(benchmark::kMillisecond);

} // namespace
