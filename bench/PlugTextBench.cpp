// Text files and the define scan of GPU programs. The enciphered read and write against the raw
// LZO calls plus one XOR loop over the same bytes, and the define scan against a
// std::string_view::find loop that collects the same tokens into a std::unordered_set, in
// alternating rounds (see BenchPair.h); the scaling series time the scan alone with a complexity
// fit, on generated program text and on "DZun" repeated and closed by one ";".
#include "BenchPair.h"
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "plug/PlugClasses.h"
#include "plug/gpu/PlugFileText.h"
#include "system/SystemClasses.h"
#include "tests/plug/gpu/TestGpuPrograms.h"

#include <array>
#include <cstring>
#include <lzo/lzo1x.h>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

// The registry, for the nods' class records; the log stays quiet (the adversarial scan logs
// every token).
struct CRegistry {
    CRegistry() {
        g_ClassicLog.m_SuspendCount = 1;
        CMwIdTable::Create();
        CMwClassRegistry::AddClassList(g_MwCoreClassList);
        CMwClassRegistry::AddClassList(g_SystemClassList);
        CMwClassRegistry::AddClassList(g_PlugClassList);
        CMwClassRegistry::AddClassList(g_TestGpuProgramClassList);
        CMwClassRegistry::Init();
    }
};
const CRegistry s_Registry;

const std::vector<std::string> kDefines = {
    "DZunLightDir", "DZunFog",   "DZunShadow",  "DZunSpecular", "DZunTexCoord2", "DZunBones",
    "DZunSkin",     "DZunAlpha", "DZunCube",    "DZunDetail",   "DZunNormalMap", "DZunLight4",
    "DZunProject",  "DZunWater", "DZunGlobalA", "DZunGlobalB"};

// Program-like text of `size` bytes naming `tokens` defines spread evenly (a few unknown).
std::string ProgramText(size_t size, size_t tokens) {
    const std::string line =
        "    float4 colour = tex2D(MapDiffuse, uv) * ZunLightDirRgb0 + 0.5;\r\n";
    std::string text;
    text.reserve(size + 64);
    const size_t every = tokens ? std::max<size_t>(size / tokens, 1) : size + 1;
    size_t next = 0, named = 0;
    while (text.size() < size) {
        if (named < tokens && text.size() >= next) {
            text += named % 10 == 9 ? "#if DZunUnknown" + std::to_string(named % 7)
                                    : "#if " + kDefines[named % kDefines.size()];
            text += "\r\n";
            ++named;
            next += every;
        } else {
            text += line;
        }
    }
    text.resize(size);
    return text + ";";
}

std::string Adversarial(size_t size) {
    std::string text;
    text.reserve(size + 1);
    while (text.size() + 4 <= size)
        text += "DZun";
    return text + ";";
}

// Eight bytes at a time, then the tail.
void Xor(u8* data, size_t n) {
    u8 key[8];
    CPlugFileText::MakeTextKey(u32(n), key);
    u64 word;
    std::memcpy(&word, key, 8);
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        u64 block;
        std::memcpy(&block, data + i, 8);
        block ^= word;
        std::memcpy(data + i, &block, 8);
    }
    for (; i < n; ++i)
        data[i] ^= key[i % 8];
}

struct Lzo {
    explicit Lzo(size_t size)
        : m_Out(size + size / 16 + 67), m_Work(LZO1X_1_MEM_COMPRESS / sizeof(lzo_align_t) + 1) {
        lzo_init();
    }
    lzo_uint Compress(const u8* data, size_t size) {
        lzo_uint packed = 0;
        lzo1x_1_compress(data, size, m_Out.data(), &packed, m_Work.data());
        return packed;
    }
    std::vector<u8> m_Out;
    std::vector<lzo_align_t> m_Work;
};

CMwNodRef TextNod(const std::string& text) {
    CMwNodRef nod(new CPlugFileText);
    static_cast<CPlugFileText*>(nod.Get())->m_Text.Assign(
        CClassicStringRef(text.data(), u32(text.size())));
    return nod;
}

void CryRead(benchmark::State& state) {
    const std::string text = ProgramText(size_t(state.range(0)) - 1, 100);
    CMwNodRef nod = TextNod(text);
    auto& file = *static_cast<CPlugFileText*>(nod.Get());
    CClassicBufferMemory block;
    file.WriteCry(block);
    std::vector<u8> plain(text.begin(), text.end());
    Xor(plain.data(), plain.size());
    Lzo lzo(plain.size());
    const lzo_uint packed = lzo.Compress(plain.data(), plain.size());
    std::vector<u8> out(plain.size());
    bool failed = false;
    bench::Interleave(
        state,
        [&] {
            block.Rewind();
            failed |= file.ReadCry(block) != i32(text.size());
            benchmark::DoNotOptimize(file.m_Text.GetText());
        },
        [&] {
            lzo_uint length = out.size();
            failed |= lzo1x_decompress_safe(lzo.m_Out.data(), packed, out.data(), &length,
                                            nullptr) != LZO_E_OK;
            Xor(out.data(), length);
            benchmark::DoNotOptimize(out.data());
        });
    if (failed || file.m_Text.Compare(CClassicStringRef(text.data(), u32(text.size()))) != 0 ||
        std::memcmp(out.data(), text.data(), text.size()) != 0)
        state.SkipWithError("a text did not read back");
}
BENCHMARK(CryRead)->Arg(64 << 10)->Arg(1 << 20);

void CryWrite(benchmark::State& state) {
    const std::string text = ProgramText(size_t(state.range(0)) - 1, 100);
    CMwNodRef nod = TextNod(text);
    auto& file = *static_cast<CPlugFileText*>(nod.Get());
    CClassicBufferMemory block;
    std::vector<u8> copy(text.size());
    Lzo lzo(text.size());
    bool failed = false;
    bench::Interleave(
        state,
        [&] {
            block.Clear();
            failed |= !file.WriteCry(block);
            benchmark::DoNotOptimize(block.GetData());
        },
        [&] {
            std::memcpy(copy.data(), text.data(), text.size());
            Xor(copy.data(), copy.size());
            benchmark::DoNotOptimize(lzo.Compress(copy.data(), copy.size()));
        });
    if (failed)
        state.SkipWithError("WriteCry failed");
}
BENCHMARK(CryWrite)->Arg(64 << 10)->Arg(1 << 20);

constexpr std::array<bool, 256> kSeparators = [] {
    std::array<bool, 256> table{};
    for (const char c : std::string_view(" \t\r\n(){}[],;:!?.!=<>+-*/"))
        table[u8(c)] = true;
    return table;
}();

// The peer: the same tokens (no separator after: the scan ends; longer than 255 bytes: not a
// define), each separator found once, the known ones kept in a set.
size_t PeerCollect(std::string_view text, const std::unordered_set<std::string_view>& known,
                   std::unordered_set<std::string_view>& found) {
    found.clear();
    size_t separator = 0;
    bool have = false;
    for (size_t a = text.find("DZun"); a != std::string_view::npos; a = text.find("DZun", a + 1)) {
        if (!have || separator < a + 4) {
            size_t i = a + 4;
            while (i < text.size() && !kSeparators[u8(text[i])])
                ++i;
            if (i == text.size())
                break;
            separator = i;
            have = true;
        }
        const std::string_view token = text.substr(a, separator - a);
        if (token.size() <= 255 && known.count(token))
            found.insert(token);
    }
    return found.size();
}

CMwNodRef ScanningProgram(const std::string& text) {
    CMwNodRef nod(new CTestGpuProgramP);
    auto& program = *static_cast<CTestGpuProgramP*>(nod.Get());
    program.m_Script.Know(kDefines);
    program.m_Text.Assign(CClassicStringRef(text.data(), u32(text.size())));
    return nod;
}

void DefinesPair(benchmark::State& state, bool adversarial) {
    const std::string text = adversarial ? Adversarial(1 << 20) : ProgramText(1 << 20, 20000);
    CMwNodRef nod = ScanningProgram(text);
    auto& program = *static_cast<CTestGpuProgramP*>(nod.Get());
    const std::unordered_set<std::string_view> known(kDefines.begin(), kDefines.end());
    std::unordered_set<std::string_view> found;
    bench::Interleave(
        state,
        [&] {
            program.CollectDefines();
            benchmark::DoNotOptimize(program.m_Defines.data());
        },
        [&] { benchmark::DoNotOptimize(PeerCollect(text, known, found)); });
    if (program.m_Defines.size() != found.size())
        state.SkipWithError("the scans found different defines");
}
BENCHMARK_CAPTURE(DefinesPair, Program, false);
BENCHMARK_CAPTURE(DefinesPair, Adversarial, true);

void DefinesScaling(benchmark::State& state, bool adversarial) {
    const size_t size = size_t(state.range(0));
    // 20 000 tokens per MiB of program text.
    const std::string text =
        adversarial ? Adversarial(size) : ProgramText(size, size * 20000 / (1 << 20));
    CMwNodRef nod = ScanningProgram(text);
    auto& program = *static_cast<CTestGpuProgramP*>(nod.Get());
    for (auto _ : state) {
        program.CollectDefines();
        benchmark::DoNotOptimize(program.m_Defines.data());
    }
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(i64(state.iterations()) * state.range(0));
}
BENCHMARK_CAPTURE(DefinesScaling, Program, false)
    ->RangeMultiplier(2)
    ->Range(64 << 10, 8 << 20)
    ->Complexity(benchmark::oN);
BENCHMARK_CAPTURE(DefinesScaling, Adversarial, true)
    ->RangeMultiplier(2)
    ->Range(64 << 10, 8 << 20)
    ->Complexity(benchmark::oN);

} // namespace
