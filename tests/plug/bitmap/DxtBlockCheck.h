#pragma once
// A DXT block decoder of the tests' own and the invariants every encoded block keeps; shared by
// the encoder's tests and its fuzz target.
#include "plug/bitmap/DxtEncoder.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace dxtcheck {

inline u32 U16(const u8* p) {
    return u32(p[0]) | u32(p[1]) << 8;
}

// 5:6:5 to 8 bits per channel by bit replication.
inline void Unpack565(u32 c, i32 rgb[3]) {
    const u32 r = c >> 11, g = (c >> 5) & 63, b = c & 31;
    rgb[0] = i32((r << 3) | (r >> 2));
    rgb[1] = i32((g << 2) | (g >> 4));
    rgb[2] = i32((b << 3) | (b >> 2));
}

// The colour block's palette (alpha 0 on the transparent entry of three-colour blocks), and
// whether it is a four-colour block.
inline bool ColourPalette(const u8* block, i32 palette[4][4]) {
    const u32 c0 = U16(block), c1 = U16(block + 2);
    i32 a[3], b[3];
    Unpack565(c0, a);
    Unpack565(c1, b);
    const bool four = c0 > c1;
    for (u32 c = 0; c < 3; ++c) {
        palette[0][c] = a[c];
        palette[1][c] = b[c];
        palette[2][c] = four ? (2 * a[c] + b[c] + 1) / 3 : (a[c] + b[c]) / 2;
        palette[3][c] = four ? (a[c] + 2 * b[c] + 1) / 3 : 0;
    }
    for (u32 i = 0; i < 4; ++i)
        palette[i][3] = four || i < 3 ? 255 : 0;
    return four;
}

inline u32 ColourIndex(const u8* block, u32 texel) {
    const u32 bits = U16(block + 4) | U16(block + 6) << 16;
    return (bits >> (2 * texel)) & 3;
}

inline u32 AlphaIndex(const u8* alphaBlock, u32 texel) {
    u64 bits = 0;
    for (u32 i = 0; i < 6; ++i)
        bits |= u64(alphaBlock[2 + i]) << (8 * i);
    return u32(bits >> (3 * texel)) & 7;
}

// The DXT5 levels with the encoder's integer interpolation.
inline void AlphaLevels(const u8* alphaBlock, i32 levels[8]) {
    const i32 a0 = alphaBlock[0], a1 = alphaBlock[1];
    const bool eight = a0 > a1;
    const i32 count = eight ? 8 : 6, divisor = count - 1, rounding = (count - 2) / 2;
    levels[0] = a0;
    levels[1] = a1;
    for (i32 i = 2; i < count; ++i)
        levels[i] = ((count - i) * a0 + (i - 1) * a1 + rounding) / divisor;
    if (!eight) {
        levels[6] = 0;
        levels[7] = 255;
    }
}

// Decodes one block (8 or 16 bytes by the mode) into 16 texels of R, G, B, A.
inline void DecodeBlock(const u8* block, u32 mode, u8 out[16][4]) {
    const u8* colour = mode & 0xFF00 ? block + 8 : block;
    i32 palette[4][4];
    ColourPalette(colour, palette);
    i32 levels[8];
    if (mode == EDxtEncodeMode_InterpolatedAlpha)
        AlphaLevels(block, levels);
    for (u32 t = 0; t < 16; ++t) {
        const i32* entry = palette[ColourIndex(colour, t)];
        for (u32 c = 0; c < 4; ++c)
            out[t][c] = u8(entry[c]);
        if (mode == EDxtEncodeMode_ExplicitAlpha)
            out[t][3] = u8(((U16(block + 2 * (t / 4)) >> (4 * (t % 4))) & 0xF) * 17);
        else if (mode == EDxtEncodeMode_InterpolatedAlpha)
            out[t][3] = u8(levels[AlphaIndex(block, t)]);
        else if (mode == EDxtEncodeMode_Opaque)
            out[t][3] = 255;
    }
}

// The texels of one block as the encoder saw them: A, R, G, B words (alpha in the top byte) and
// whether the position lies inside the surface.
struct BlockTexels {
    u32 Pixels[16] = {};
    bool Inside[16] = {};
};

// What every encoded block keeps, given how it was encoded; empty when it holds.
// - Blocks with four colours forced (the alpha modes, and DXT1 asked to) are four-colour; DXT1a
//   blocks are not held to it, their equal endpoints always give three colours.
// - A DXT1a block with a transparent texel is three-colour, index 3 exactly on those texels.
// - A three-colour block never puts index 3 on an opaque texel.
// - DXT3 alpha is the nearest 4-bit value.
// - DXT5 alpha: every texel takes a level at least as near as any interpolated level; in a
//   six-level block index 6 only for alpha 0 and 7 only for 255. The one exception is the block
//   whose fit met in one value: a0 and a1 one apart, every index 0.
inline std::string CheckBlock(const u8* block, u32 mode, bool force, const BlockTexels& texels) {
    const u8* colour = mode & 0xFF00 ? block + 8 : block;
    i32 palette[4][4];
    const bool four = ColourPalette(colour, palette);
    bool transparent = false;
    for (u32 t = 0; t < 16; ++t)
        transparent = transparent || (texels.Inside[t] && (texels.Pixels[t] >> 24) <= 128);
    const bool alphaCompare = mode == EDxtEncodeMode_AlphaCompare;
    if ((mode & 0xFF00 || (force && mode == EDxtEncodeMode_Opaque)) && !four)
        return "three-colour block where four colours are forced";
    if (alphaCompare && transparent && four)
        return "four-colour block with transparent texels";
    for (u32 t = 0; t < 16; ++t) {
        if (!texels.Inside[t])
            continue;
        const bool excluded = alphaCompare && (texels.Pixels[t] >> 24) <= 128;
        const u32 index = ColourIndex(colour, t);
        if (excluded && index != 3)
            return "transparent texel " + std::to_string(t) + " not on index 3";
        if (!excluded && !four && index == 3)
            return "opaque texel " + std::to_string(t) + " on the transparent index";
    }
    if (mode == EDxtEncodeMode_ExplicitAlpha) {
        for (u32 t = 0; t < 16; ++t) {
            const i32 a = i32(texels.Pixels[t] >> 24);
            const i32 a4 = i32((U16(block + 2 * (t / 4)) >> (4 * (t % 4))) & 0xF);
            if (texels.Inside[t] && std::abs(17 * a4 - a) > 8)
                return "alpha of texel " + std::to_string(t) + " not the nearest 4-bit value";
        }
    }
    if (mode == EDxtEncodeMode_InterpolatedAlpha) {
        i32 levels[8];
        AlphaLevels(block, levels);
        const bool eight = block[0] > block[1];
        const i32 interpolated = eight ? 8 : 6;
        bool allZero = true;
        for (u32 t = 0; t < 16; ++t)
            allZero = allZero && AlphaIndex(block, t) == 0;
        if (!eight && allZero && block[1] - block[0] <= 1)
            return {};
        for (u32 t = 0; t < 16; ++t) {
            if (!texels.Inside[t])
                continue;
            const i32 a = i32(texels.Pixels[t] >> 24);
            const u32 index = AlphaIndex(block, t);
            if (!eight && index == 6 && a != 0)
                return "index 6 on alpha " + std::to_string(a);
            if (!eight && index == 7 && a != 255)
                return "index 7 on alpha " + std::to_string(a);
            i32 nearest = 256;
            for (i32 i = 0; i < interpolated; ++i)
                nearest = std::min(nearest, std::abs(levels[i] - a));
            if (std::abs(levels[index] - a) > nearest)
                return "alpha of texel " + std::to_string(t) + " not on its nearest level";
        }
    }
    return {};
}

} // namespace dxtcheck
