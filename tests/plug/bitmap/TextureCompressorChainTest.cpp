// The texture compressor's own chains and rescaling: the pieces of every MipMode, the levels
// taken from the filters and then from the byte box, borders, fades and normals on each level,
// the chain held in the picture, the rescale rules and their refusals, and the header of a call
// without callback.
#include "plug/bitmap/TextureCompressor.h"
#include "plug/bitmap/TextureMipFilters.h"
#include "plug/bitmap/TextureResample.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/plug/PlugTestSupport.h"
#include "tests/plug/bitmap/CompressorPieces.h"

#include <array>
#include <functional>
#include <gtest/gtest.h>
#include <squish.h>
#include <string>
#include <vector>

namespace {

using namespace compressortest;

// A 32-bit copy with the full chain and the 2 x 2 box.
TextureCompressorOptions ChainOptions(i16 format = ETextureCompressorFormat_B8G8R8A8) {
    TextureCompressorOptions options;
    options.MipFilter = 0;
    options.FadeToAlpha = 255;
    options.TextureKind = kCompressorTextureKind2d;
    options.FormatCode = format;
    return options;
}

// width x height pixels of 4 bytes (or 3), B, G, R, A from pixel(x, y), packed rows.
std::vector<u8> MakePixels(u32 width, u32 height, const std::function<u32(u32, u32)>& pixel,
                           u32 channels = 4) {
    std::vector<u8> bytes(std::max<u64>(u64(width) * height * channels, 1));
    for (u32 y = 0; y < height; ++y)
        for (u32 x = 0; x < width; ++x)
            for (u32 c = 0; c < channels; ++c)
                bytes[(u64(y) * width + x) * channels + c] = u8(pixel(x, y) >> (8 * c));
    return bytes;
}

i32 Compress(const std::vector<u8>& pixels, u32 width, u32 height,
             const TextureCompressorOptions& options, u32 channels = 4,
             CompressorWriteCallback callback = Record) {
    g_Pieces.clear();
    return TextureCompressor::CompressImage(pixels.data(), width, height, width * channels, options,
                                            channels, callback);
}

u32 Random(u32& state) {
    state = state * 214013 + 2531011;
    return (state >> 16 & 0xFF) | (state & 0xFF00) | (state * 7 & 0xFF0000) | (state << 24);
}

// The pieces of every MipMode: one per level and face, level indices from 0, sizes by the
// format over each level's sides (halved rounding up; block levels below 4 x 4 as one block).
TEST(TextureCompressorChain, PiecesOfEveryMode) {
    const struct {
        const char* Name;
        u32 Width, Height;
        i16 Format, MipMode, MipCount, Kind, Filter;
        std::vector<u32> Sizes; // of one face, levels 0, 1, ...
        u32 Faces;
    } cases[] = {
        {"full chain", 16, 8, 17, 0, 0, 80, 0, {512, 128, 32, 8, 4}, 1},
        {"MipMode 34 is the full chain", 16, 8, 17, 34, 0, 80, 136, {512, 128, 32, 8, 4}, 1},
        {"three levels", 16, 8, 17, 31, 3, 80, 134, {512, 128, 32}, 1},
        {"more levels than the chain has", 4, 4, 17, 31, 9, 80, 135, {64, 16, 4}, 1},
        {"a negative count: the top level", 16, 8, 17, 31, -2, 80, 0, {512}, 1},
        {"no chain", 16, 8, 17, 33, 5, 80, 0, {512}, 1},
        {"DXT1", 16, 8, 10, 0, 0, 80, 137, {64, 16, 8, 8, 8}, 1},
        {"DXT5 of 2 x 2: raised to 4 x 4", 2, 2, 13, 0, 0, 80, 135, {16, 16, 16}, 1},
        {"cube", 48, 8, 17, 0, 0, 81, 136, {256, 64, 16, 4}, 6},
        {"chain in the picture", 16, 8, 17, 32, 0, 80, 135, {256, 64, 16, 4}, 1},
        {"cube with its chains in the picture", 96, 8, 16, 32, 0, 81, 0, {128, 32, 8, 2}, 6},
        {"sides not powers of two", 6, 5, 16, 0, 0, 80, 134, {60, 18, 8, 2}, 1},
        {"24-bit", 6, 5, 18, 0, 0, 80, 137, {90, 27, 12, 3}, 1},
        {"code 21", 4, 2, 21, 0, 0, 80, 0, {32, 8, 4}, 1},
        {"code 22", 4, 2, 22, 0, 0, 80, 0, {32, 8, 4}, 1},
        // A side of 0 halves to 0: the chain ends when both sides are at most 1.
        {"no pixels across", 0, 3, 17, 0, 0, 80, 136, {0, 0, 0}, 1},
        // The box over an odd side pairs its last row with itself.
        {"odd sides through the box", 2, 7, 17, 0, 0, 80, 0, {56, 16, 8, 4}, 1},
    };
    u32 state = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::vector<u8> pixels =
            MakePixels(c.Width, c.Height, [&](u32, u32) { return Random(state); });
        TextureCompressorOptions options = ChainOptions(c.Format);
        options.MipMode = c.MipMode;
        options.MipCount = c.MipCount;
        options.TextureKind = c.Kind;
        options.MipFilter = c.Filter;
        ASSERT_EQ(Compress(pixels, c.Width, c.Height, options), 0);
        ASSERT_EQ(g_Pieces.size(), c.Sizes.size() * c.Faces);
        for (u32 i = 0; i < g_Pieces.size(); ++i) {
            EXPECT_EQ(g_Pieces[i].Level, i32(i % c.Sizes.size())) << i;
            EXPECT_EQ(g_Pieces[i].Bytes.size(), c.Sizes[i % c.Sizes.size()]) << i;
        }
    }
}

// The levels come from the filter's chain while both sides of the level before are at least 3,
// then from the 2 x 2 box over the level before; codes 21 and 22 give the 32-bit copy too.
TEST(TextureCompressorChain, FilterLevelsThenTheBox) {
    u32 state = 99;
    const std::vector<u8> pixels = MakePixels(8, 8, [&](u32, u32) { return Random(state); });
    for (i16 filter : {134, 135, 136, 137, 0}) {
        SCOPED_TRACE(filter);
        const auto chain = BuildMipChain(pixels.data(), 8, 8, filter, nullptr);
        ASSERT_NE(chain, nullptr);
        std::vector<std::vector<u8>> expected;
        for (u32 L = 0; L < 3; ++L) {
            const MipLevel& level = chain->Levels[L];
            expected.emplace_back(level.Pixels, level.Pixels + level.Width * level.Height * 4);
        }
        // 2 x 2 to 1 x 1: the four bytes of each channel summed and shifted.
        std::vector<u8> last(4);
        for (u32 c = 0; c < 4; ++c)
            last[c] = u8(
                (expected[2][c] + expected[2][4 + c] + expected[2][8 + c] + expected[2][12 + c]) >>
                2);
        expected.push_back(last);
        for (i16 format : {17, 21, 22}) {
            TextureCompressorOptions options = ChainOptions(format);
            options.MipFilter = filter;
            ASSERT_EQ(Compress(pixels, 8, 8, options), 0);
            ASSERT_EQ(g_Pieces.size(), 4u);
            for (u32 L = 0; L < 4; ++L)
                EXPECT_EQ(g_Pieces[L].Bytes, expected[L]) << format << " level " << L;
        }
    }
}

// The box of a side of 1 takes its single row twice, and one-bit alpha is applied again to the
// boxed level.
TEST(TextureCompressorChain, BoxRoad) {
    // Alphas 255, 0, 255, 0: the box gives 127, which one-bit alpha makes 255.
    const std::vector<u8> pixels =
        MakePixels(4, 1, [](u32 x, u32) { return (x % 2 ? 0u : 0xFF000000u) | (x * 60 + 1); });
    for (bool oneBit : {false, true}) {
        SCOPED_TRACE(oneBit);
        TextureCompressorOptions options = ChainOptions();
        options.OneBitAlpha = oneBit;
        ASSERT_EQ(Compress(pixels, 4, 1, options), 0);
        ASSERT_EQ(g_Pieces.size(), 3u);
        const u8 alpha = oneBit ? 255 : 127;
        EXPECT_EQ(g_Pieces[1].Bytes, (std::vector<u8>{31, 0, 0, alpha, 151, 0, 0, alpha}));
        // 31 and 151 over a row used twice: (2 x 31 + 2 x 151) >> 2.
        EXPECT_EQ(g_Pieces[2].Bytes, (std::vector<u8>{91, 0, 0, alpha}));
    }
}

// Borders, fades and normals on a constant 8 x 8 picture with the box: levels 8, 4, 2 and 1.
// Levels 1 and 2 come from the chain (the unfaded picture), level 3 from the box over level 2,
// so the fade of level 3 adds to that of level 2.
TEST(TextureCompressorChain, BordersFadesAndNormals) {
    const struct {
        const char* Name;
        u32 Pixel; // B | G << 8 | R << 16 | A << 24
        std::function<void(TextureCompressorOptions&)> Change;
        std::array<std::array<u8, 4>, 4> Levels; // B, G, R, A of the inner pixels of each level
    } cases[] = {
        {"colour toward black, 50 % a level",
         0xFF3264C8,
         [](auto& o) { o.FadeColour = 1, o.FadeAmount = 50; },
         {{{200, 100, 50, 255}, {100, 50, 25, 255}, {50, 25, 13, 255}, {6, 3, 2, 255}}}},
        {"from level 2",
         0xFF3264C8,
         [](auto& o) { o.FadeColour = 1, o.FadeAmount = 50, o.FadeStartLevel = 2; },
         {{{200, 100, 50, 255}, {200, 100, 50, 255}, {100, 50, 25, 255}, {25, 13, 6, 255}}}},
        {"toward a colour",
         0xFF3264C8,
         [](auto& o) {
             o.FadeColour = 1, o.FadeAmount = 50;
             o.FadeToColour[0] = 0, o.FadeToColour[1] = 200, o.FadeToColour[2] = 255;
         },
         {{{200, 100, 50, 255}, {100, 150, 153, 255}, {50, 175, 204, 255}, {6, 197, 249, 255}}}},
        {"alpha toward 55",
         0xFF3264C8,
         [](auto& o) { o.FadeAlpha = 1, o.FadeAmount = 50, o.FadeToAlpha = 55; },
         {{{200, 100, 50, 255}, {200, 100, 50, 155}, {200, 100, 50, 105}, {200, 100, 50, 61}}}},
        // A fade toward a value outside 0..255 stops at the end of the byte.
        {"alpha toward -1000",
         0xFF3264C8,
         [](auto& o) { o.FadeAlpha = 1, o.FadeAmount = 50, o.FadeToAlpha = -1000; },
         {{{200, 100, 50, 255}, {200, 100, 50, 0}, {200, 100, 50, 0}, {200, 100, 50, 0}}}},
        {"alpha toward 1000, fading by 300 %",
         0x803264C8,
         [](auto& o) { o.FadeAlpha = 1, o.FadeAmount = 300, o.FadeToAlpha = 1000; },
         {{{200, 100, 50, 128}, {200, 100, 50, 255}, {200, 100, 50, 0}, {200, 100, 50, 255}}}},
        {"scaled",
         0xFF3264C8,
         [](auto& o) { o.FadeColour = 1, o.ScaleFade = 1, o.FadeAmount = 50; },
         {{{200, 100, 50, 255}, {200, 50, 25, 255}, {200, 25, 13, 255}, {200, 3, 2, 255}}}},
        {"normals renormalised",
         0xFFFFFF80,
         [](auto& o) { o.NormalMap = 1; },
         {{{128, 255, 255, 255},
           {127, 217, 217, 255},
           {127, 217, 217, 255},
           {126, 217, 217, 255}}}},
        {"normals faded",
         0xFFFF80FF,
         [](auto& o) { o.NormalMap = 1, o.FadeColour = 1, o.FadeAmount = 25; },
         {{{255, 128, 255, 255},
           {167, 126, 248, 255},
           {205, 126, 228, 255},
           {220, 125, 215, 255}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::vector<u8> pixels = MakePixels(8, 8, [&](u32, u32) { return c.Pixel; });
        TextureCompressorOptions options = ChainOptions();
        c.Change(options);
        ASSERT_EQ(Compress(pixels, 8, 8, options), 0);
        ASSERT_EQ(g_Pieces.size(), 4u);
        for (u32 L = 0; L < 4; ++L) {
            const std::vector<u8>& level = g_Pieces[L].Bytes;
            u32 wrong = 0;
            for (u64 i = 0; i < level.size(); ++i)
                wrong += level[i] != c.Levels[L][i % 4];
            EXPECT_EQ(wrong, 0u) << "level " << L << ": " << u32(level[0]) << " " << u32(level[1])
                                 << " " << u32(level[2]) << " " << u32(level[3]);
        }
    }

    // The borders lie on the outer ring of every level.
    const std::vector<u8> pixels = MakePixels(8, 8, [](u32, u32) { return 0xFF102030; });
    TextureCompressorOptions options = ChainOptions();
    options.AlphaBorder = options.ColourBorder = 1;
    options.BorderColour[0] = 7;
    ASSERT_EQ(Compress(pixels, 8, 8, options), 0);
    ASSERT_EQ(g_Pieces.size(), 4u);
    for (u32 L = 0, side = 8; L < 4; ++L, side /= 2)
        for (u32 y = 0; y < side; ++y)
            for (u32 x = 0; x < side; ++x) {
                const bool ring = x == 0 || y == 0 || x + 1 == side || y + 1 == side;
                const u8* p = &g_Pieces[L].Bytes[(y * side + x) * 4];
                const std::array<u8, 4> expected =
                    ring ? std::array<u8, 4>{7, 0, 0, 0} : std::array<u8, 4>{0x30, 0x20, 0x10, 255};
                EXPECT_EQ((std::array<u8, 4>{p[0], p[1], p[2], p[3]}), expected)
                    << L << ": " << x << ", " << y;
            }
}

// MipMode 32: the picture holds the chain, the top level on the left half and each next level
// after the one before. Levels that would reach past the face's part of the picture read
// nothing there (transparent black).
TEST(TextureCompressorChain, ChainInThePicture) {
    // Columns 0-7 level 0, 8-11 level 1, 12-13 level 2, 14 level 3, 15 unused.
    const auto colour = [](u32 x, u32) {
        return x < 8    ? 0xFF0000AAu
               : x < 12 ? 0xFF00BB00u
               : x < 14 ? 0xFFCC0000u
               : x < 15 ? 0x80DDDDDDu
                        : 0x11111111u;
    };
    const std::vector<u8> pixels = MakePixels(16, 8, colour);
    TextureCompressorOptions options = ChainOptions();
    options.MipMode = kCompressorMipModeInPicture;
    ASSERT_EQ(Compress(pixels, 16, 8, options), 0);
    ASSERT_EQ(g_Pieces.size(), 4u);
    const u32 expected[] = {0xFF0000AA, 0xFF00BB00, 0xFFCC0000, 0x80DDDDDD};
    for (u32 L = 0; L < 4; ++L) {
        const std::vector<u8>& level = g_Pieces[L].Bytes;
        ASSERT_EQ(level.size(), (64u >> (2 * L)) * 4);
        u32 wrong = 0;
        for (u64 i = 0; i < level.size(); ++i)
            wrong += level[i] != u8(expected[L] >> (8 * (i % 4)));
        EXPECT_EQ(wrong, 0u) << L;
    }

    // Face width 5: levels 5, 3, 2 and 1 would take 11 columns of 10. The picture's buffer
    // ends with its last row.
    const std::vector<u8> odd = MakePixels(10, 5, [](u32, u32) { return 0xFFFFFFFF; });
    ASSERT_EQ(odd.size(), 10u * 5 * 4);
    ASSERT_EQ(Compress(odd, 10, 5, options), 0);
    ASSERT_EQ(g_Pieces.size(), 4u);
    EXPECT_EQ(g_Pieces[2].Bytes, std::vector<u8>(16, 255));
    EXPECT_EQ(g_Pieces[3].Bytes, std::vector<u8>(4, 0));
}

// Block levels below 4 x 4 lie in the block's corner; the other texels are transparent black.
TEST(TextureCompressorChain, SmallBlockLevels) {
    const std::vector<u8> pixels = MakePixels(8, 8, [](u32, u32) { return 0xFFFFFFFF; });
    ASSERT_EQ(Compress(pixels, 8, 8, ChainOptions(ETextureCompressorFormat_Dxt5)), 0);
    ASSERT_EQ(g_Pieces.size(), 4u);
    for (u32 L = 2; L < 4; ++L) {
        const u32 side = 8 >> L;
        ASSERT_EQ(g_Pieces[L].Bytes.size(), 16u);
        u8 texels[16][4];
        squish::Decompress(&texels[0][0], g_Pieces[L].Bytes.data(), squish::kDxt5);
        for (u32 t = 0; t < 16; ++t) {
            const bool inside = t % 4 < side && t / 4 < side;
            EXPECT_EQ(texels[t][0], inside ? 255 : 0) << L << " " << t;
            EXPECT_EQ(texels[t][3], inside ? 255 : 0) << L << " " << t;
        }
    }
}

// Rule 1, 2 or 3 resamples a picture whose sides are not powers of two (each side by its rule)
// before anything else; a side without a power of two is refused.
TEST(TextureCompressorChain, RescaleRules) {
    u32 state = 5;
    const std::vector<u8> pixels = MakePixels(
        6, 5, [&](u32, u32) { return Random(state); }, 3);
    const struct {
        i32 Rule;
        u32 Width, Height;
    } rules[] = {{1, 8, 4}, {2, 8, 8}, {3, 4, 4}};
    for (const auto& r : rules) {
        SCOPED_TRACE(r.Rule);
        TextureCompressorOptions options = ChainOptions();
        options.MipMode = kCompressorMipModeNone;
        options.RescaleRule = r.Rule;
        ASSERT_EQ(Compress(pixels, 6, 5, options, 3), 0);
        ASSERT_EQ(g_Pieces.size(), 1u);
        const std::unique_ptr<u8[]> resampled =
            ResampleImage(pixels.data(), 6, 5, 3, 18, r.Width, r.Height);
        std::vector<u8> expected;
        for (u32 i = 0; i < r.Width * r.Height; ++i) {
            expected.insert(expected.end(), &resampled[i * 3], &resampled[i * 3 + 3]);
            expected.push_back(255);
        }
        EXPECT_EQ(g_Pieces[0].Bytes, expected);
        // A block format takes the resampled sides; so does a chain.
        options.FormatCode = ETextureCompressorFormat_Dxt1;
        options.MipMode = 0;
        ASSERT_EQ(Compress(pixels, 6, 5, options, 3), 0);
        EXPECT_EQ(g_Pieces[0].Bytes.size(),
                  std::max(r.Width / 4, 1u) * std::max(r.Height / 4, 1u) * 8);
    }

    const u8 onePixel[4] = {};
    const struct {
        const char* Name;
        u32 Width, Height;
        i32 Rule;
        u64 Limit;
        i32 Result;
        const char* Log;
    } refusals[] = {
        {"width 0", 0, 4, 1, 0, -3, "has no power of two for 0 x 4"},
        {"9000 x 1", 9000, 1, 2, 0, -3, "has no power of two for 9000 x 1"},
        {"1 x 8193", 1, 8193, 3, 0, -3, "has no power of two"},
        {"copy above the image limit", 6, 5, 2, 150, -4, "Not enough memory"},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.Name);
        TextureCompressorOptions options = ChainOptions();
        options.RescaleRule = r.Rule;
        std::unique_ptr<CImageLimit> limit;
        if (r.Limit)
            limit = std::make_unique<CImageLimit>(r.Limit);
        CLogWatch log;
        g_Pieces.clear();
        const u8* source = r.Limit ? pixels.data() : onePixel;
        EXPECT_EQ(
            TextureCompressor::CompressImage(source, r.Width, r.Height, 0, options, 3, Record),
            r.Result);
        EXPECT_TRUE(g_Pieces.empty());
        EXPECT_NE(log.Since().find(r.Log), std::string::npos) << log.Since();
    }
}

// The low-pass filter needs sides that are powers of two: other sides are refused before
// anything is allocated, unless the chain is not filtered or the rescale rule makes them so.
TEST(TextureCompressorChain, LowPassNeedsPowersOfTwo) {
    const struct {
        const char* Name;
        u32 Width, Height;
        i16 Format, MipMode, Kind;
        i32 Rule;
        i32 Result;
    } cases[] = {
        {"6 x 8", 6, 8, 16, 0, 80, 0, -3},
        {"6 x 8 MipMode 31", 6, 8, 17, 31, 80, 0, -3},
        {"6 x 8 without chain", 6, 8, 16, 33, 80, 0, 0},
        {"6 x 8 rescaled", 6, 8, 16, 0, 80, 1, 0},
        {"chain in the picture", 12, 8, 16, 32, 80, 0, 0},
        {"cube face 16", 96, 16, 16, 0, 81, 0, 0},
        {"cube face 10", 60, 16, 16, 0, 81, 0, -3},
        {"DXT1 2 x 2, raised to 4 x 4", 2, 2, 10, 0, 80, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::vector<u8> pixels =
            MakePixels(c.Width, c.Height, [](u32, u32) { return 0xFF808080; });
        TextureCompressorOptions options = ChainOptions(c.Format);
        options.MipFilter = ETextureMipFilter_FftLowPass;
        options.MipMode = c.MipMode;
        options.MipCount = 2;
        options.TextureKind = c.Kind;
        options.RescaleRule = c.Rule;
        CLogWatch log;
        EXPECT_EQ(Compress(pixels, c.Width, c.Height, options), c.Result);
        if (c.Result < 0) {
            EXPECT_TRUE(g_Pieces.empty());
            EXPECT_NE(log.Since().find("needs sides that are powers of two"), std::string::npos);
        } else {
            EXPECT_FALSE(g_Pieces.empty());
        }
    }
}

// Without callback, the header of a chain gives the mip count: floor(log2(largest side)) + 1
// over the working image, at most MipCount with MipMode 31.
TEST(TextureCompressorChain, HeaderOfAChain) {
    const struct {
        u32 Width, Height;
        i16 Format, MipMode, MipCount;
        u32 Flags, Caps, MipCountWord, Pieces;
    } cases[] = {
        {8, 4, 10, 0, 0, 0xA1007, 0x401008, 4, 4},    {2, 2, 10, 0, 0, 0xA1007, 0x401008, 3, 3},
        {16, 16, 13, 31, 2, 0xA1007, 0x401008, 2, 2}, {16, 16, 13, 33, 2, 0x81007, 0x1000, 0, 1},
        {16, 8, 16, 0, 0, 0xA1007, 0x401008, 0, 5},
    };
    TextureCompressor::SetDiscardSinkObserver(Observe);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Width) + " " + std::to_string(c.Format));
        const std::vector<u8> pixels =
            MakePixels(c.Width, c.Height, [](u32 x, u32) { return 0xFF000000 | x; });
        TextureCompressorOptions options = ChainOptions(c.Format);
        options.MipMode = c.MipMode;
        options.MipCount = c.MipCount;
        ASSERT_EQ(Compress(pixels, c.Width, c.Height, options), 0);
        const std::vector<Piece> pieces = g_Pieces;
        g_Sunk.clear();
        ASSERT_EQ(Compress(pixels, c.Width, c.Height, options, 4, nullptr), 0);
        ASSERT_EQ(g_Sunk.size(), 1 + c.Pieces);
        const auto word = [&](u32 index) {
            const u8* p = &g_Sunk[0].Bytes[index * 4];
            return u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16 | u32(p[3]) << 24;
        };
        EXPECT_EQ(word(2), c.Flags);
        EXPECT_EQ(word(7), c.MipCountWord);
        EXPECT_EQ(word(27), c.Caps);
        ASSERT_EQ(pieces.size(), c.Pieces);
        for (u32 i = 0; i < c.Pieces; ++i) {
            EXPECT_EQ(g_Sunk[1 + i].Level, pieces[i].Level);
            EXPECT_EQ(g_Sunk[1 + i].Bytes, pieces[i].Bytes);
        }
    }
    TextureCompressor::SetDiscardSinkObserver(nullptr);
}

} // namespace
