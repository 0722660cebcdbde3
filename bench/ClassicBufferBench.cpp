// LZO blocks through the engine's streams against the raw library calls on the same data, in
// alternating rounds (see BenchPair.h): the ratio is the cost of the framing, the stream copies
// and the pool.
#include "BenchPair.h"
#include "core/base/ClassicBuffer.h"

#include <fstream>
#include <iterator>
#include <lzo/lzo1x.h>
#include <vector>

namespace {

// Real binary data: this program's own file, repeated up to the size.
std::vector<u8> Data(u32 size) {
    static const std::vector<u8> s_File = [] {
        std::ifstream file("/proc/self/exe", std::ios::binary);
        return std::vector<u8>(std::istreambuf_iterator<char>(file), {});
    }();
    std::vector<u8> data;
    while (data.size() < size)
        data.insert(data.end(), s_File.begin(), s_File.end());
    data.resize(size);
    return data;
}

void Sizes(benchmark::internal::Benchmark* bench) {
    for (u32 size : {64u << 10, 1u << 20, 8u << 20})
        bench->Arg(size);
}

// The compressor's output bound and work memory.
struct Lzo {
    explicit Lzo(size_t size)
        : m_Out(size + size / 16 + 67), m_Work(LZO1X_1_MEM_COMPRESS / sizeof(lzo_align_t) + 1) {
        lzo_init();
    }
    lzo_uint Compress(const std::vector<u8>& data) {
        lzo_uint packed = 0;
        lzo1x_1_compress(data.data(), data.size(), m_Out.data(), &packed, m_Work.data());
        return packed;
    }
    std::vector<u8> m_Out;
    std::vector<lzo_align_t> m_Work;
};

void LzoWrite(benchmark::State& state) {
    const std::vector<u8> data = Data(u32(state.range(0)));
    CClassicBufferMemory source, block;
    source.Write(data.data(), u32(data.size()));
    Lzo lzo(data.size());
    bool failed = false;
    bench::Interleave(
        state,
        [&] {
            block.Clear();
            failed |= !block.WriteLzoBlock(source);
            benchmark::DoNotOptimize(block.GetData());
        },
        [&] { benchmark::DoNotOptimize(lzo.Compress(data)); });
    if (failed)
        state.SkipWithError("WriteLzoBlock failed");
}
BENCHMARK(LzoWrite)->Apply(Sizes);

void LzoRead(benchmark::State& state) {
    const std::vector<u8> data = Data(u32(state.range(0)));
    CClassicBufferMemory source, block;
    source.Write(data.data(), u32(data.size()));
    block.WriteLzoBlock(source);
    Lzo lzo(data.size());
    const lzo_uint packedSize = lzo.Compress(data);
    std::vector<u8> out(data.size());
    bool failed = false;
    bench::Interleave(
        state,
        [&] {
            block.Rewind();
            CClassicPooledBuffer result(block.ReadLzoBlock());
            failed |= !result.Get();
            benchmark::DoNotOptimize(result.Get());
        },
        [&] {
            lzo_uint length = out.size();
            failed |= lzo1x_decompress_safe(lzo.m_Out.data(), packedSize, out.data(), &length,
                                            nullptr) != LZO_E_OK;
            benchmark::DoNotOptimize(out.data());
        });
    if (failed)
        state.SkipWithError("an LZO block did not read back");
}
BENCHMARK(LzoRead)->Apply(Sizes);

} // namespace
