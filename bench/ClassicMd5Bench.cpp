// MD5 throughput of the engine's own implementation against OpenSSL's, on the same data.
#include "core/base/ClassicMd5.h"

#include <benchmark/benchmark.h>
#include <vector>

#define OPENSSL_SUPPRESS_DEPRECATED // the one-call MD5 is what the engine's function compares to
#include <openssl/md5.h>

namespace {

const std::vector<u8>& Data(u32 size) {
    static std::vector<u8> s_Data;
    s_Data.resize(size);
    u32 x = 12345;
    for (u8& b : s_Data) {
        x = x * 1103515245 + 12345;
        b = u8(x >> 24);
    }
    return s_Data;
}

void Sizes(benchmark::internal::Benchmark* bench) {
    for (u32 size : {64u, 1024u, 1u << 20}) {
        bench->Arg(size);
    }
}

void EngineMd5(benchmark::State& state) {
    const std::vector<u8>& data = Data(u32(state.range(0)));
    u8 digest[16];
    for (auto _ : state) {
        ClassicMd5(data.data(), u32(data.size()), digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(i64(state.iterations()) * state.range(0));
}

void OpensslMd5(benchmark::State& state) {
    const std::vector<u8>& data = Data(u32(state.range(0)));
    u8 digest[16];
    for (auto _ : state) {
        MD5(data.data(), data.size(), digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(i64(state.iterations()) * state.range(0));
}

} // namespace

BENCHMARK(EngineMd5)->Apply(Sizes);
BENCHMARK(OpensslMd5)->Apply(Sizes);
