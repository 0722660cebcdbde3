#include "plug/bitmap/TextureDither.h"

constinit const u8 kTextureDitherPatterns[2][7][4] = {
    {
        {0b1000, 0b0000, 0b0010, 0b0000},
        {0b1010, 0b0000, 0b1010, 0b0000},
        {0b1010, 0b0100, 0b1010, 0b0001},
        {0b1010, 0b0101, 0b1010, 0b0101},
        {0b1110, 0b0101, 0b1011, 0b0101},
        {0b1111, 0b0101, 0b1111, 0b0101},
        {0b1111, 0b1101, 0b1111, 0b0111},
    },
    {
        {0b0010, 0b0000, 0b1000, 0b0000},
        {0b0000, 0b0101, 0b0000, 0b0101},
        {0b1010, 0b0001, 0b1010, 0b0100},
        {0b1010, 0b0101, 0b1010, 0b0101},
        {0b1011, 0b0101, 0b1110, 0b0101},
        {0b1010, 0b1111, 0b1010, 0b1111},
        {0b1111, 0b0111, 0b1111, 0b1101},
    },
};

constinit const u8 kTextureDitherSetOfBlock[16] = {1, 0, 0, 1, 1, 1, 0, 1, 1, 1, 0, 0, 0, 0, 0, 0};

u8 DitherChannel(u8 value, u32 bits, u32 set, u32 x, u32 y) {
    const u32 quantum = 1u << (8 - bits);
    const u32 kept = value & ~(quantum - 1) & 0xFF;
    // The remainder in eighths of a quantum.
    const u32 eighths = bits == 5 ? value & 7 : bits == 6 ? 2 * (value & 3) : (value >> 1) & 7;
    const u32 top = 0x100 - quantum;
    if (eighths == 0 || kept == top)
        return u8(kept);
    const u8 row = kTextureDitherPatterns[set & 1][eighths - 1][y & 3];
    return u8(row >> (3 - (x & 3)) & 1 ? kept + quantum : kept);
}

void DitherPixel(u8* pixel, u32 x, u32 y, i16 format) {
    if (format < 10 || format > 20 || format == 17 || format == 18 || format == 20)
        return;
    const u32 t = kTextureDitherSetOfBlock[((y >> 2) & 3) * 4 + ((x >> 2) & 3)];
    u8& blue = pixel[0];
    u8& green = pixel[1];
    u8& red = pixel[2];
    u8& alpha = pixel[3];
    switch (format) {
        case 14:
            blue = DitherChannel(blue, 4, 1 - t, x, y);
            green = DitherChannel(green, 4, 1 - t, x, y);
            red = DitherChannel(red, 4, 1 - t, x, y);
            break;
        case 15:
        case 19:
            blue = DitherChannel(blue, 5, t, x, y);
            green = DitherChannel(green, 5, format == 15 ? t : 1 - t, x, y);
            red = DitherChannel(red, 5, t, x, y);
            alpha &= 0x80;
            break;
        default:
            blue = DitherChannel(blue, 5, t, x, y);
            green = DitherChannel(green, 6, 1 - t, x, y);
            red = DitherChannel(red, 5, t, x, y);
            alpha = DitherChannel(alpha, 5, t, x, y);
            break;
    }
}
