// The name pool against std::unordered_map<std::string, uint32_t> on the same 100k names, in
// alternating rounds (see BenchPair.h): interning them into an empty pool, then looking every one
// up again. Also the archive form of ids written with many repeated names (each name found
// through the archive's hash map), which has no peer.
#include "BenchPair.h"
#include "core/base/ClassicArchive.h"
#include "core/nod/MwId.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr u32 kNames = 100000;

// Names shaped like the engine's: class, member and file names with a running number.
const std::vector<std::string>& Names() {
    static const std::vector<std::string> names = [] {
        const char* stems[] = {"Material", "Skin_", "Display.Mode", "Tree\\Branch", "Id"};
        std::vector<std::string> list;
        list.reserve(kNames);
        for (u32 i = 0; i < kNames; ++i)
            list.push_back(stems[i % 5] + std::to_string(i));
        return list;
    }();
    return names;
}

// Interning every name into a new pool against inserting it into a new map. Each side's
// operation creates its container, fills it and destroys it, all timed.
void InternNew(benchmark::State& state) {
    const std::vector<std::string>& names = Names();
    u32 failed = 0;
    bench::Interleave(
        state,
        [&] {
            CMwIdTable::Create();
            for (const std::string& name : names)
                failed += CMwIdTable::InternName(name.c_str()) == CMwIdTable::InternFailed;
            CMwIdTable::Destroy();
        },
        [&] {
            std::unordered_map<std::string, uint32_t> map;
            for (u32 i = 0; i < kNames; ++i)
                map.emplace(names[i], i);
            benchmark::DoNotOptimize(map.size());
        });
    if (failed)
        state.SkipWithError("names not interned");
}

// Looking every name up again in a filled pool and a filled map (both made untimed, before).
void LookUp(benchmark::State& state) {
    const std::vector<std::string>& names = Names();
    CMwIdTable::Create();
    for (const std::string& name : names)
        CMwIdTable::InternName(name.c_str());
    std::unordered_map<std::string, uint32_t> map;
    for (u32 i = 0; i < kNames; ++i)
        map.emplace(names[i], i);
    bench::Interleave(
        state,
        [&] {
            u32 sum = 0;
            for (const std::string& name : names)
                sum += CMwIdTable::InternName(name.c_str());
            benchmark::DoNotOptimize(sum);
        },
        [&] {
            u32 sum = 0;
            for (const std::string& name : names)
                sum += map.find(name)->second;
            benchmark::DoNotOptimize(sum);
        });
    CMwIdTable::Destroy();
}

// 10k ids over 2.5k distinct names written into a binary archive.
void WriteIdsToArchive(benchmark::State& state) {
    CMwIdTable::Create();
    std::vector<CMwId> ids;
    for (u32 i = 0; i < 10000; ++i)
        ids.push_back(CMwId::FromName(Names()[(i * 7919) % 2500].c_str()));
    for (auto _ : state) {
        CClassicArchive archive;
        archive.m_Writing = 1;
        archive.SetBuffer(new CClassicBufferMemory);
        for (CMwId& id : ids)
            id.Archive(archive);
        benchmark::DoNotOptimize(archive.GetBuffer()->GetSize());
    }
    CMwIdTable::Destroy();
    state.SetItemsProcessed(state.iterations() * ids.size());
}

BENCHMARK(InternNew)->Unit(benchmark::kMillisecond);
BENCHMARK(LookUp)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteIdsToArchive)->Unit(benchmark::kMillisecond);

} // namespace
