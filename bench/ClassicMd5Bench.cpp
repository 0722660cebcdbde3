// MD5 of the engine's own implementation against OpenSSL's on the same data, in alternating
// rounds (see BenchPair.h).
#include "BenchData.h"
#include "BenchPair.h"
#include "core/base/ClassicMd5.h"

#include <vector>

#define OPENSSL_SUPPRESS_DEPRECATED // the one-call MD5 is what the engine's function compares to
#include <openssl/md5.h>

namespace {

void Md5(benchmark::State& state) {
    const std::vector<u8> data = bench::RandomBytes(u32(state.range(0)));
    u8 digest[16];
    bench::Interleave(
        state,
        [&] {
            ClassicMd5(data.data(), u32(data.size()), digest);
            benchmark::DoNotOptimize(digest);
        },
        [&] {
            MD5(data.data(), data.size(), digest);
            benchmark::DoNotOptimize(digest);
        });
}
BENCHMARK(Md5)->Arg(64)->Arg(1024)->Arg(1 << 20);

} // namespace
