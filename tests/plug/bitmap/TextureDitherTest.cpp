// The ordered dither: its pattern tables against the patterns as designed, the levels a channel
// keeps, the share of pixels that gets one quantum more, and the channels, bit counts and
// pattern sets of each format.
#include "plug/bitmap/TextureDither.h"

#include <array>
#include <gtest/gtest.h>
#include <string>

namespace {

// Each row as columns 0 to 3.
const char* const kPatternRows[2][7][4] = {
    {
        {"1000", "0000", "0010", "0000"},
        {"1010", "0000", "1010", "0000"},
        {"1010", "0100", "1010", "0001"},
        {"1010", "0101", "1010", "0101"},
        {"1110", "0101", "1011", "0101"},
        {"1111", "0101", "1111", "0101"},
        {"1111", "1101", "1111", "0111"},
    },
    {
        {"0010", "0000", "1000", "0000"},
        {"0000", "0101", "0000", "0101"},
        {"1010", "0001", "1010", "0100"},
        {"1010", "0101", "1010", "0101"},
        {"1011", "0101", "1110", "0101"},
        {"1010", "1111", "1010", "1111"},
        {"1111", "0111", "1111", "1101"},
    },
};

TEST(TextureDither, Tables) {
    for (u32 set = 0; set < 2; ++set)
        for (u32 r = 0; r < 7; ++r)
            for (u32 y = 0; y < 4; ++y)
                for (u32 x = 0; x < 4; ++x)
                    EXPECT_EQ(kTextureDitherPatterns[set][r][y] >> (3 - x) & 1,
                              kPatternRows[set][r][y][x] - '0')
                        << "set " << set << ", r " << r + 1 << ", row " << y << ", column " << x;
    const u8 sets[16] = {1, 0, 0, 1, 1, 1, 0, 1, 1, 1, 0, 0, 0, 0, 0, 0};
    for (u32 i = 0; i < 16; ++i)
        EXPECT_EQ(kTextureDitherSetOfBlock[i], sets[i]) << i;
}

// A byte already on a level of the precision stays there; the bytes above the top level go down
// to it; everywhere in a 16 x 16 tile, in both sets.
TEST(TextureDither, LevelsKept) {
    for (u32 bits : {4u, 5u, 6u}) {
        const u32 quantum = 1u << (8 - bits), top = 256 - quantum;
        for (u32 set = 0; set < 2; ++set)
            for (u32 y = 0; y < 16; ++y)
                for (u32 x = 0; x < 16; ++x) {
                    for (u32 level = 0; level < 256; level += quantum)
                        ASSERT_EQ(DitherChannel(u8(level), bits, set, x, y), level)
                            << bits << " bits, " << x << ", " << y;
                    for (u32 value = top; value < 256; ++value)
                        ASSERT_EQ(DitherChannel(u8(value), bits, set, x, y), top)
                            << bits << " bits, " << value << " at " << x << ", " << y;
                }
    }
}

// Over a 4 x 4 block a byte between two levels keeps its mean: r eighths of a quantum add up to
// 2r pixels of one quantum; every output is one of the two levels around the byte.
TEST(TextureDither, BlockKeepsTheMean) {
    const struct {
        u32 Bits;
        u8 Value;
        u32 RaisedPixels;
    } cases[] = {
        {5, 0x09, 2}, {5, 0x0C, 8},  {5, 0x0F, 14}, {5, 0x83, 6},  {6, 0x05, 4},
        {6, 0x06, 8}, {6, 0x07, 12}, {4, 0x12, 2},  {4, 0x1F, 14}, {4, 0x19, 8},
    };
    for (const auto& c : cases)
        for (u32 set = 0; set < 2; ++set) {
            const u32 quantum = 1u << (8 - c.Bits), low = c.Value & ~(quantum - 1);
            u32 raised = 0;
            for (u32 y = 0; y < 4; ++y)
                for (u32 x = 0; x < 4; ++x) {
                    const u32 out = DitherChannel(c.Value, c.Bits, set, x, y);
                    ASSERT_TRUE(out == low || out == low + quantum) << out;
                    raised += out != low;
                }
            EXPECT_EQ(raised, c.RaisedPixels)
                << c.Bits << " bits, value " << u32(c.Value) << ", set " << set;
        }
}

// Each format's channels: 0x09 is one eighth above a 5-bit level, 0x05 two eighths above a 6-bit
// level, 0x12 one eighth above a 4-bit level. At (0, 0) the super-block uses set 1, at (4, 0)
// set 0; in the first row set 0's one-eighth pattern has its 1 in column 0, set 1's in column 2.
TEST(TextureDither, Formats) {
    using Bytes = std::array<u8, 4>; // blue, green, red, alpha
    const struct {
        i16 Format;
        u32 X, Y;
        Bytes In, Out;
    } cases[] = {
        {16, 4, 0, {0x0C, 0, 0, 0}, {0x10, 0, 0, 0}},
        {16, 5, 0, {0x0C, 0, 0, 0}, {0x08, 0, 0, 0}},
        // Blue, red and alpha with the block's set, green (6 bits) with the other.
        {10, 0, 0, {0x09, 0x05, 0x09, 0x09}, {0x08, 0x08, 0x08, 0x08}},
        {10, 4, 0, {0x09, 0x05, 0x09, 0x09}, {0x10, 0x04, 0x10, 0x10}},
        {13, 4, 0, {0x09, 0x05, 0x09, 0x09}, {0x10, 0x04, 0x10, 0x10}},
        {11, 0, 4, {0x09, 0x05, 0x09, 0x09}, {0x08, 0x08, 0x08, 0x08}},
        {10, 0, 0, {0xFF, 0xFE, 0xFA, 0xF9}, {0xF8, 0xFC, 0xF8, 0xF8}},
        // 4 bits a colour with the other set; alpha kept.
        {14, 0, 0, {0x12, 0x12, 0x12, 0x37}, {0x20, 0x20, 0x20, 0x37}},
        {14, 4, 0, {0x12, 0x12, 0x12, 0x37}, {0x10, 0x10, 0x10, 0x37}},
        // 5 bits each, all with the block's set, and one alpha bit.
        {15, 0, 0, {0x09, 0x09, 0x09, 0xC5}, {0x08, 0x08, 0x08, 0x80}},
        {15, 4, 0, {0x09, 0x09, 0x09, 0x7F}, {0x10, 0x10, 0x10, 0x00}},
        // As 15, with green on the other set.
        {19, 0, 0, {0x09, 0x09, 0x09, 0x45}, {0x08, 0x10, 0x08, 0x00}},
        {19, 4, 0, {0x09, 0x09, 0x09, 0xC5}, {0x10, 0x08, 0x10, 0x80}},
        // Unchanged.
        {17, 4, 0, {0x09, 0x05, 0x09, 0x09}, {0x09, 0x05, 0x09, 0x09}},
        {18, 4, 0, {0x09, 0x05, 0x09, 0x09}, {0x09, 0x05, 0x09, 0x09}},
        {20, 4, 0, {0x09, 0x05, 0x09, 0x09}, {0x09, 0x05, 0x09, 0x09}},
        {21, 4, 0, {0x09, 0x05, 0x09, 0x09}, {0x09, 0x05, 0x09, 0x09}},
        {9, 4, 0, {0x09, 0x05, 0x09, 0x09}, {0x09, 0x05, 0x09, 0x09}},
        {-1, 4, 0, {0x09, 0x05, 0x09, 0x09}, {0x09, 0x05, 0x09, 0x09}},
    };
    for (const auto& c : cases) {
        Bytes pixel = c.In;
        DitherPixel(pixel.data(), c.X, c.Y, c.Format);
        EXPECT_EQ(pixel, c.Out) << "format " << c.Format << " at " << c.X << ", " << c.Y;
    }
}

} // namespace
