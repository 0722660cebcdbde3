// The per-vertex data of a visual (8 texture-coordinate sets of 4 floats and a skin of 4 indices
// per vertex: 144 bytes a vertex in nine blocks) resized, reordered and copied with a remap,
// against std::vector doing the same to the same bytes, in alternating rounds (see BenchPair.h);
// the scaling series time the engine side alone with a complexity fit.
#include "BenchPair.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "plug/PlugClasses.h"
#include "system/SystemClasses.h"
#include "tests/plug/visual/VisualTestNods.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

struct CRegistry {
    CRegistry() {
        CMwIdTable::Create();
        CMwClassRegistry::AddClassList(g_MwCoreClassList);
        CMwClassRegistry::AddClassList(g_SystemClassList);
        CMwClassRegistry::AddClassList(g_PlugClassList);
        CMwClassRegistry::AddClassList(g_PlugVisualTestClassList);
        CMwClassRegistry::Init();
    }
};
const CRegistry s_Registry;

constexpr u32 kSets = 8;
constexpr u32 kSetBytes = 16;
constexpr u32 kSkinBytes = 16;

CMwNodRef MakeVisual(u32 n) {
    CMwNodRef held(new CPlugVisualTest);
    FillSampleVisual(static_cast<CPlugVisualTest&>(*held.Get()), n, kSets, 2, 4, 2);
    return held;
}

CPlugVisualTest& Visual(const CMwNodRef& held) {
    return static_cast<CPlugVisualTest&>(*held.Get());
}

// The peer's data: the same nine blocks as vectors.
struct Blocks {
    explicit Blocks(const CPlugVisualTest& visual) {
        for (const TexCoordSet& set : visual.m_TexCoordSets)
            Add(set.m_Data.get(), set.m_Count, set.ElementBytes());
        Add(visual.m_Skin->m_Data.get(), visual.m_Skin->m_Count, visual.m_Skin->m_EntryBytes);
    }
    void Add(const u8* data, u32 count, u32 bytes) {
        Data.emplace_back(data, data + size_t(count) * bytes);
        Bytes.push_back(bytes);
    }
    std::vector<std::vector<u8>> Data;
    std::vector<u32> Bytes;
};

// Each block into a new vector of n elements: the kept elements copied, the rest zero.
void VectorResize(Blocks& blocks, u32 n) {
    for (size_t b = 0; b < blocks.Data.size(); ++b) {
        std::vector<u8>& data = blocks.Data[b];
        const size_t size = size_t(n) * blocks.Bytes[b];
        std::vector<u8> next;
        next.reserve(size);
        next.assign(data.begin(), data.begin() + std::min(size, data.size()));
        next.resize(size);
        data.swap(next);
    }
}

std::vector<PlugVertexReorder> RandomTable(u32 n) {
    std::vector<u32> order(n);
    for (u32 i = 0; i < n; ++i)
        order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(n));
    std::vector<PlugVertexReorder> table(n);
    for (u32 i = 0; i < n; ++i)
        table[i] = {order[i], i};
    return table;
}

// Each block gathered into a new vector by the table.
void VectorGather(Blocks& blocks, const std::vector<PlugVertexReorder>& table) {
    for (size_t b = 0; b < blocks.Data.size(); ++b) {
        const u32 bytes = blocks.Bytes[b];
        const std::vector<u8>& data = blocks.Data[b];
        std::vector<u8> next(table.size() * bytes);
        for (size_t i = 0; i < table.size(); ++i)
            std::memcpy(next.data() + i * bytes, data.data() + size_t(table[i].m_Source) * bytes,
                        bytes);
        blocks.Data[b].swap(next);
    }
}

// Each block scattered into a new zeroed vector by the remap.
void VectorScatter(const Blocks& from, Blocks& into, const std::vector<u16>& remap) {
    for (size_t b = 0; b < from.Data.size(); ++b) {
        const u32 bytes = from.Bytes[b];
        std::vector<u8> next(remap.size() * bytes);
        for (size_t j = 0; j < remap.size(); ++j)
            if (remap[j] != 0xFFFF)
                std::memcpy(next.data() + size_t(remap[j]) * bytes, from.Data[b].data() + j * bytes,
                            bytes);
        into.Data[b].swap(next);
    }
}

std::vector<u16> Remap(u32 n) {
    std::vector<u16> remap(n);
    for (u32 j = 0; j < n; ++j)
        remap[j] = u16(n - 1 - j);
    // Every 16th vertex is dropped.
    for (u32 j = 0; j < n; j += 16)
        remap[j] = 0xFFFF;
    return remap;
}

void SetVertexCount(benchmark::State& state) {
    const u32 n = u32(state.range(0));
    CMwNodRef held = MakeVisual(n);
    CPlugVisualTest& visual = Visual(held);
    Blocks blocks(visual);
    bool grow = true, growPeer = true;
    bench::Interleave(
        state,
        [&] {
            visual.SetVertexCount(grow ? 2 * n : n);
            grow = !grow;
        },
        [&] {
            VectorResize(blocks, growPeer ? 2 * n : n);
            growPeer = !growPeer;
        });
    if (visual.m_TexCoordSets[7].m_Count != (grow ? n : 2 * n))
        state.SkipWithError("the sets were not resized");
    state.SetBytesProcessed(i64(state.iterations()) * n * (kSets * kSetBytes + kSkinBytes));
}

void ReorderVertices(benchmark::State& state) {
    const u32 n = u32(state.range(0));
    CMwNodRef held = MakeVisual(n);
    CPlugVisualTest& visual = Visual(held);
    Blocks blocks(visual);
    const std::vector<PlugVertexReorder> table = RandomTable(n);
    bench::Interleave(
        state, [&] { visual.ReorderVertices(n, table.data()); },
        [&] { VectorGather(blocks, table); });
    if (visual.m_Skin->m_Count != n)
        state.SkipWithError("the skin was not reordered");
    state.SetBytesProcessed(i64(state.iterations()) * n * (kSets * kSetBytes + kSkinBytes));
}

void CopyVertexAttributes(benchmark::State& state) {
    const u32 n = u32(state.range(0));
    CMwNodRef source = MakeVisual(n), target = MakeVisual(n);
    const Blocks from(Visual(source));
    Blocks into(Visual(target));
    const std::vector<u16> remap = Remap(n);
    bench::Interleave(
        state, [&] { Visual(target).CopyVertexAttributesFrom(&Visual(source), remap.data()); },
        [&] { VectorScatter(from, into, remap); });
    const TexCoordSet& last = Visual(target).m_TexCoordSets[7];
    if (last.m_Count != n ||
        std::memcmp(last.m_Data.get() + size_t(n - 2) * kSetBytes,
                    into.Data[7].data() + size_t(n - 2) * kSetBytes, kSetBytes) != 0)
        state.SkipWithError("the copies differ");
    state.SetBytesProcessed(i64(state.iterations()) * n * (kSets * kSetBytes + kSkinBytes));
}

// The engine side alone, for the complexity fits.
void ScalingSetVertexCount(benchmark::State& state) {
    const u32 n = u32(state.range(0));
    CMwNodRef held = MakeVisual(n);
    bool grow = true;
    for (auto _ : state) {
        Visual(held).SetVertexCount(grow ? 2 * n : n);
        grow = !grow;
    }
    state.SetComplexityN(n);
}

void ScalingReorderVertices(benchmark::State& state) {
    const u32 n = u32(state.range(0));
    CMwNodRef held = MakeVisual(n);
    const std::vector<PlugVertexReorder> table = RandomTable(n);
    for (auto _ : state)
        Visual(held).ReorderVertices(n, table.data());
    state.SetComplexityN(n);
}

void ScalingCopyVertexAttributes(benchmark::State& state) {
    const u32 n = u32(state.range(0));
    CMwNodRef source = MakeVisual(n), target = MakeVisual(n);
    const std::vector<u16> remap = Remap(n);
    for (auto _ : state)
        Visual(target).CopyVertexAttributesFrom(&Visual(source), remap.data());
    state.SetComplexityN(n);
}

BENCHMARK(SetVertexCount)->RangeMultiplier(4)->Range(1 << 10, 1 << 16);
BENCHMARK(ReorderVertices)->RangeMultiplier(4)->Range(1 << 10, 1 << 16);
BENCHMARK(CopyVertexAttributes)->RangeMultiplier(4)->Range(1 << 10, 1 << 16);
BENCHMARK(ScalingSetVertexCount)
    ->RangeMultiplier(2)
    ->Range(1 << 10, 1 << 16)
    ->Complexity(benchmark::oN);
BENCHMARK(ScalingReorderVertices)
    ->RangeMultiplier(2)
    ->Range(1 << 10, 1 << 16)
    ->Complexity(benchmark::oN);
BENCHMARK(ScalingCopyVertexAttributes)
    ->RangeMultiplier(2)
    ->Range(1 << 10, 1 << 16)
    ->Complexity(benchmark::oN);

} // namespace
