#pragma once
// Minimal DDS files around compressed blocks or uncompressed rows, for the tools that decode DDS
// (Python's PIL), and the numbers a tool prints.
#include "platform/Types.h"

#include <sstream>
#include <string>
#include <vector>

namespace ddstest {

inline void PutU32(std::string& out, u32 value) {
    for (u32 i = 0; i < 4; ++i)
        out += char((value >> (8 * i)) & 0xFF);
}

// "DDS " and the 124-byte header of a 2d picture without chain: the pitch or linear size, the
// pixel format's flags, four-character code, bit count and masks.
inline std::string DdsHeader(u32 width, u32 height, u32 flags, u32 pitchOrSize, u32 formatFlags,
                             const char* fourCc, u32 bitCount, const u32 masks[4]) {
    std::string file = "DDS ";
    PutU32(file, 124);
    PutU32(file, flags);
    PutU32(file, height);
    PutU32(file, width);
    PutU32(file, pitchOrSize);
    PutU32(file, 0); // depth
    PutU32(file, 0); // mip levels
    for (u32 i = 0; i < 11; ++i)
        PutU32(file, 0);
    PutU32(file, 32);
    PutU32(file, formatFlags);
    file.append(fourCc, 4);
    PutU32(file, bitCount);
    for (u32 i = 0; i < 4; ++i)
        PutU32(file, masks[i]);
    PutU32(file, 0x1000);
    for (u32 i = 0; i < 4; ++i)
        PutU32(file, 0);
    return file;
}

// A compressed picture: the header (caps, height, width, format, linear size), then the blocks.
inline std::string DdsFile(u32 width, u32 height, const char* fourCc,
                           const std::vector<u8>& blocks) {
    const u32 noMasks[4] = {0, 0, 0, 0};
    std::string file = DdsHeader(width, height, 0x1 | 0x2 | 0x4 | 0x1000 | 0x80000,
                                 u32(blocks.size()), 0x4, fourCc, 0, noMasks);
    file.append(reinterpret_cast<const char*>(blocks.data()), blocks.size());
    return file;
}

// An uncompressed picture of 24 (B, G, R) or 32 (B, G, R, A) bits with the standard masks: the
// header (caps, height, width, pitch, format), then the rows.
inline std::string DdsFileRgb(u32 width, u32 height, u32 bitCount, const std::vector<u8>& rows) {
    const u32 masks[4] = {0xFF0000, 0xFF00, 0xFF, bitCount == 32 ? 0xFF000000u : 0u};
    const u32 rgb = 0x40, alphaPixels = 0x1;
    std::string file =
        DdsHeader(width, height, 0x1 | 0x2 | 0x4 | 0x8 | 0x1000, width * bitCount / 8,
                  bitCount == 32 ? rgb | alphaPixels : rgb, "\0\0\0\0", bitCount, masks);
    file.append(reinterpret_cast<const char*>(rows.data()), rows.size());
    return file;
}

inline std::vector<u32> Numbers(const std::string& text) {
    std::vector<u32> numbers;
    std::istringstream in(text);
    u32 value;
    while (in >> value)
        numbers.push_back(value);
    return numbers;
}

} // namespace ddstest
