#pragma once
// A minimal DDS file around compressed blocks, for the tools that decode DDS (Python's PIL), and
// the numbers a tool prints.
#include "platform/Types.h"

#include <sstream>
#include <string>
#include <vector>

namespace ddstest {

inline void PutU32(std::string& out, u32 value) {
    for (u32 i = 0; i < 4; ++i)
        out += char((value >> (8 * i)) & 0xFF);
}

// "DDS ", the 124-byte header of a compressed 2d picture without chain, then the blocks.
inline std::string DdsFile(u32 width, u32 height, const char* fourCc,
                           const std::vector<u8>& blocks) {
    std::string file = "DDS ";
    PutU32(file, 124);
    PutU32(file, 0x1 | 0x2 | 0x4 | 0x1000 | 0x80000); // caps, height, width, format, size
    PutU32(file, height);
    PutU32(file, width);
    PutU32(file, u32(blocks.size()));
    PutU32(file, 0); // depth
    PutU32(file, 0); // mip levels
    for (u32 i = 0; i < 11; ++i)
        PutU32(file, 0);
    PutU32(file, 32);
    PutU32(file, 0x4); // four-character code
    file.append(fourCc, 4);
    for (u32 i = 0; i < 5; ++i)
        PutU32(file, 0); // bit count and masks
    PutU32(file, 0x1000);
    for (u32 i = 0; i < 4; ++i)
        PutU32(file, 0);
    file.append(reinterpret_cast<const char*>(blocks.data()), blocks.size());
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
