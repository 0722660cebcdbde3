#include "core/base/ClassicHash.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>
#include <zlib.h>

namespace {

constexpr u32 kLargestPrimeU32 = 4294967291u;

// One step of the PJW hash: shift in the character, fold the top four bits back in.
constexpr u32 HashPjwStep(u32 h, u32 c) {
    h = (h << 4) + c;
    u32 g = h & 0xF0000000u;
    if (g != 0) {
        h = (h ^ (g >> 24)) & ~g;
    }
    return h;
}

} // namespace

u32 ClassicHashTableSize(u32 n) {
    if (n < 9) {
        return 11;
    }
    // 64 bits: 4n does not fit 32 bits from 2^30 entries on.
    u64 size = (u64(n) * 4 / 3) | 1;
    while (size <= 0xFFFFFFFFu && !ClassicIsPrime(u32(size))) {
        size += 2;
    }
    return size <= 0xFFFFFFFFu ? u32(size) : kLargestPrimeU32;
}

bool ClassicIsPrime(u32 a) {
    if (a <= 10 || a % 2 == 0) {
        return false;
    }
    // Divisors up to and including the first odd b with b * b >= a (in 64 bits: b reaches 65537).
    for (u64 b = 3;; b += 2) {
        if (a % b == 0) {
            return false;
        }
        if (b * b >= a) {
            return true;
        }
    }
}

u32 ClassicHashPjw(const char* text, u32* length) {
    u32 h = 0;
    u32 n = 0;
    for (; text[n] != 0; ++n) {
        // A byte of 0x80 or above counts as its value minus 256.
        h = HashPjwStep(h, u32(i32(static_cast<signed char>(text[n]))));
    }
    if (length) {
        *length = n;
    }
    return h;
}

u32 ClassicHashPjwWide(const char16_t* text, u32* length) {
    u32 h = 0;
    u32 n = 0;
    for (; text[n] != 0; ++n) {
        h = HashPjwStep(h, u32(u16(text[n])));
    }
    if (length) {
        *length = n;
    }
    return h;
}

u32 ClassicCrc32(const void* data, u32 size) {
    return u32(crc32(0, static_cast<const Bytef*>(data), size));
}

void ClassicSortByFloatKey(void* records, u32 count, u32 recordSize, u32 keyOffset,
                           u32* orderTable) {
    assert(u64(keyOffset) + sizeof(f32) <= recordSize);
    if (count == 0) {
        return;
    }
    u8* base = static_cast<u8*>(records);
    struct KeyIndex {
        f32 key;
        u32 index;
    };
    std::vector<KeyIndex> sorted(count);
    for (u32 i = 0; i < count; ++i) {
        std::memcpy(&sorted[i].key, base + size_t(i) * recordSize + keyOffset, sizeof(f32));
        sorted[i].index = i;
    }
    // A strict total order: NaN after every number, equal keys by their index. (A comparison
    // that never answers "equal", or NaN compared with <, breaks the sort's assumptions and can
    // make it read outside the array.)
    std::sort(sorted.begin(), sorted.end(), [](const KeyIndex& a, const KeyIndex& b) {
        bool aNan = std::isnan(a.key);
        bool bNan = std::isnan(b.key);
        if (aNan != bNan) {
            return bNan;
        }
        if (!aNan && a.key != b.key) {
            return a.key < b.key;
        }
        return a.index < b.index;
    });
    for (u32 j = 0; j < count; ++j) {
        orderTable[2 * size_t(j)] = sorted[j].index;
        orderTable[2 * size_t(sorted[j].index) + 1] = j;
    }

    // Moves the records cycle by cycle: position j receives the record from sorted[j].index.
    std::unique_ptr<u8[]> held(new u8[recordSize]);
    std::vector<bool> placed(count, false);
    for (u32 start = 0; start < count; ++start) {
        if (placed[start] || sorted[start].index == start) {
            continue;
        }
        std::memcpy(held.get(), base + size_t(start) * recordSize, recordSize);
        u32 j = start;
        for (;;) {
            placed[j] = true;
            u32 from = sorted[j].index;
            u8* to = base + size_t(j) * recordSize;
            if (from == start) {
                std::memcpy(to, held.get(), recordSize);
                break;
            }
            std::memcpy(to, base + size_t(from) * recordSize, recordSize);
            j = from;
        }
    }
}
