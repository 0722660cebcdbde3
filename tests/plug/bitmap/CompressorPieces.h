#pragma once
// What the texture compressor handed over, piece by piece: to the test's callback (Record) and
// to the observer of its internal sink (Observe).
#include "platform/Types.h"

#include <vector>

namespace compressortest {

struct Piece {
    i32 Level = 0;
    std::vector<u8> Bytes;
};

inline std::vector<Piece> g_Pieces;
inline std::vector<Piece> g_Sunk;

inline i32 Record(const u8* data, i32 level, u32 byteCount) {
    g_Pieces.push_back({level, std::vector<u8>(data, data + byteCount)});
    return 0;
}

inline i32 Observe(const u8* data, i32 level, u32 byteCount) {
    g_Sunk.push_back({level, std::vector<u8>(data, data + byteCount)});
    return 0;
}

} // namespace compressortest
