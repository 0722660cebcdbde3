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

// A whole BMP file with an info header: pixels given top-down as 0xRRGGBB (16, 24 and 32 bits)
// or as palette indices (1, 4 and 8 bits, with the palette's 0xRRGGBB entries). Rows are stored
// bottom-up unless topDown.
inline std::vector<u8> MakeBmpPixels(i32 width, i32 height, u32 bitCount,
                                     const std::vector<u32>& pixels,
                                     const std::vector<u32>& palette = {}, bool topDown = false) {
    const size_t stride = (size_t(width) * bitCount + 31) / 32 * 4;
    const size_t offset = 14 + 40 + palette.size() * 4;
    std::vector<u8> bytes(offset + stride * size_t(height), 0);
    auto put16 = [&](size_t at, u32 value) {
        bytes[at] = u8(value);
        bytes[at + 1] = u8(value >> 8);
    };
    auto put32 = [&](size_t at, u32 value) {
        put16(at, value);
        put16(at + 2, value >> 16);
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, u32(bytes.size()));
    put32(10, u32(offset));
    put32(14, 40);
    put32(18, u32(width));
    put32(22, u32(topDown ? -height : height));
    put16(26, 1);
    put16(28, bitCount);
    put32(46, u32(palette.size()));
    for (size_t i = 0; i < palette.size(); ++i) {
        bytes[54 + i * 4] = u8(palette[i]);
        bytes[54 + i * 4 + 1] = u8(palette[i] >> 8);
        bytes[54 + i * 4 + 2] = u8(palette[i] >> 16);
    }
    for (i32 y = 0; y < height; ++y) {
        const size_t row = offset + stride * size_t(topDown ? y : height - 1 - y);
        for (i32 x = 0; x < width; ++x) {
            const u32 value = pixels[size_t(y) * size_t(width) + size_t(x)];
            const size_t ux = size_t(x);
            switch (bitCount) {
                case 1:
                case 4:
                case 8: {
                    const size_t bit = ux * bitCount;
                    bytes[row + bit / 8] |= u8(value << (8 - bitCount - bit % 8));
                    break;
                }
                case 16:
                    put16(row + ux * 2, (value >> 19 & 0x1F) << 10 | (value >> 11 & 0x1F) << 5 |
                                            (value >> 3 & 0x1F));
                    break;
                default: {
                    const size_t at = row + ux * (bitCount / 8);
                    bytes[at] = u8(value);
                    bytes[at + 1] = u8(value >> 8);
                    bytes[at + 2] = u8(value >> 16);
                }
            }
        }
    }
    return bytes;
}

// The launcher's picture: resource 147, 492 x 203 pixels.
inline void RegisterPicture147() {
    ui::RegisterPicture(147, MakeBmp(492, 203));
}

} // namespace uitest
