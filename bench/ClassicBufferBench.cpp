// LZO blocks through the engine's streams against the raw library calls on the same data: the
// difference is the cost of the framing, the stream copies and the pool.
#include "core/base/ClassicBuffer.h"

#include <benchmark/benchmark.h>
#include <fstream>
#include <iterator>
#include <lzo/lzo1x.h>
#include <vector>

namespace {

// Real binary data: this program's own file, repeated up to the size.
const std::vector<u8>& Data(u32 size) {
    static std::vector<u8> s_File = [] {
        std::ifstream file("/proc/self/exe", std::ios::binary);
        return std::vector<u8>(std::istreambuf_iterator<char>(file), {});
    }();
    static std::vector<u8> s_Data;
    s_Data.clear();
    while (s_Data.size() < size) {
        s_Data.insert(s_Data.end(), s_File.begin(), s_File.end());
    }
    s_Data.resize(size);
    return s_Data;
}

void Sizes(benchmark::internal::Benchmark* bench) {
    for (u32 size : {64u << 10, 1u << 20, 8u << 20}) {
        bench->Arg(size);
    }
}

void EngineWrite(benchmark::State& state) {
    const std::vector<u8>& data = Data(u32(state.range(0)));
    CClassicBufferMemory source, block;
    source.Write(data.data(), u32(data.size()));
    for (auto _ : state) {
        block.Clear();
        if (!block.WriteLzoBlock(source)) {
            state.SkipWithError("WriteLzoBlock failed");
        }
        benchmark::DoNotOptimize(block.GetData());
    }
    state.SetBytesProcessed(i64(state.iterations()) * state.range(0));
}

void RawCompress(benchmark::State& state) {
    const std::vector<u8>& data = Data(u32(state.range(0)));
    std::vector<u8> out(data.size() + data.size() / 16 + 67);
    std::vector<lzo_align_t> work(LZO1X_1_MEM_COMPRESS / sizeof(lzo_align_t) + 1);
    lzo_init();
    for (auto _ : state) {
        lzo_uint packed = 0;
        lzo1x_1_compress(data.data(), data.size(), out.data(), &packed, work.data());
        benchmark::DoNotOptimize(packed);
    }
    state.SetBytesProcessed(i64(state.iterations()) * state.range(0));
}

void EngineRead(benchmark::State& state) {
    const std::vector<u8>& data = Data(u32(state.range(0)));
    CClassicBufferMemory source, block;
    source.Write(data.data(), u32(data.size()));
    block.WriteLzoBlock(source);
    for (auto _ : state) {
        block.Rewind();
        CClassicPooledBuffer result(block.ReadLzoBlock());
        if (!result.Get()) {
            state.SkipWithError("ReadLzoBlock failed");
        }
        benchmark::DoNotOptimize(result->GetData());
    }
    state.SetBytesProcessed(i64(state.iterations()) * state.range(0));
}

void RawDecompress(benchmark::State& state) {
    const std::vector<u8>& data = Data(u32(state.range(0)));
    std::vector<u8> packed(data.size() + data.size() / 16 + 67), out(data.size());
    std::vector<lzo_align_t> work(LZO1X_1_MEM_COMPRESS / sizeof(lzo_align_t) + 1);
    lzo_init();
    lzo_uint packedSize = 0;
    lzo1x_1_compress(data.data(), data.size(), packed.data(), &packedSize, work.data());
    for (auto _ : state) {
        lzo_uint length = out.size();
        if (lzo1x_decompress_safe(packed.data(), packedSize, out.data(), &length, nullptr) !=
            LZO_E_OK) {
            state.SkipWithError("decompression failed");
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(i64(state.iterations()) * state.range(0));
}

} // namespace

BENCHMARK(EngineWrite)->Apply(Sizes);
BENCHMARK(RawCompress)->Apply(Sizes);
BENCHMARK(EngineRead)->Apply(Sizes);
BENCHMARK(RawDecompress)->Apply(Sizes);
