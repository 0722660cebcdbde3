#pragma once
// Inputs the benchmarks share.
#include "platform/Types.h"

#include <vector>

namespace bench {

// Bytes that no compressor shrinks, the same on every run: a linear congruential sequence.
inline std::vector<u8> RandomBytes(u32 size) {
    std::vector<u8> bytes(size);
    u32 x = 12345;
    for (u8& b : bytes) {
        x = x * 1103515245 + 12345;
        b = u8(x >> 24);
    }
    return bytes;
}

} // namespace bench
