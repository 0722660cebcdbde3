#pragma once
// For the fuzz targets that read their input as a run of operations: a reader that answers zeros
// once the input is used up, and a check that aborts naming the promise broken.
#include "FuzzCheck.h"
#include "platform/Types.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

struct CFuzzReader {
    const u8* Data;
    size_t Size;
    size_t At = 0;

    bool More() const { return At < Size; }
    u8 Byte() { return At < Size ? Data[At++] : 0; }
    u32 Word() { return u32(Byte()) | u32(Byte()) << 8 | u32(Byte()) << 16 | u32(Byte()) << 24; }
    // Up to n bytes, fewer at the end of the input.
    std::string Bytes(size_t n) {
        n = std::min(n, Size - At);
        std::string s(reinterpret_cast<const char*>(Data + At), n);
        At += n;
        return s;
    }
};
