#pragma once
// BMP headers of a given size, for picture tests (no pixel rows: only the size is read).
#include "platform/Types.h"
#include "platform/ui/Template.h"

#include <vector>

namespace uitest {

// A BMP file header and an info header of headerSize bytes (12: the core header with 16-bit
// sizes; 40 and up: the Windows headers with 32-bit sizes, a negative height for top-down rows).
inline std::vector<u8> MakeBmp(i32 width, i32 height, u32 headerSize = 40) {
    std::vector<u8> bytes(14 + headerSize, 0);
    auto put32 = [&](size_t at, u32 value) {
        for (int i = 0; i < 4; ++i)
            bytes[at + size_t(i)] = u8(value >> (8 * i));
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, u32(bytes.size()));
    put32(10, u32(bytes.size()));
    put32(14, headerSize);
    if (headerSize == 12) {
        bytes[18] = u8(width);
        bytes[19] = u8(u32(width) >> 8);
        bytes[20] = u8(height);
        bytes[21] = u8(u32(height) >> 8);
    } else {
        put32(18, u32(width));
        put32(22, u32(height));
        bytes[26] = 1;
        bytes[28] = 8;
    }
    return bytes;
}

// The launcher's picture: resource 147, 492 x 203 pixels.
inline void RegisterPicture147() {
    ui::RegisterPicture(147, MakeBmp(492, 203));
}

} // namespace uitest
