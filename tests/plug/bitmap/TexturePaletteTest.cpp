// The palette format's quantiser: exact palettes for pictures of few colours, the error
// diffusion on a ramp worked out by hand, the pairwise merging (its weights, its costs on large
// counts, the round with a single pair), the nearest-entry search against a full scan, and the
// palette's 1024 bytes.
#include "plug/bitmap/TexturePalette.h"

#include "plug/bitmap/TextureCompressor.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/plug/bitmap/CompressorPieces.h"
#include "tests/plug/bitmap/PictureTestSupport.h"

#include <gtest/gtest.h>
#include <set>
#include <vector>

namespace {

using Vector = PaletteVector;

// Pixels (blue, green, red, alpha) from a function of their position.
template <typename Pixel>
std::vector<u8> MakePixels(u32 width, u32 height, Pixel pixel) {
    std::vector<u8> bytes(u64(width) * height * 4);
    for (u32 y = 0; y < height; ++y)
        for (u32 x = 0; x < width; ++x) {
            const Vector p = pixel(x, y);
            std::copy(p.begin(), p.end(), bytes.begin() + (u64(y) * width + x) * 4);
        }
    return bytes;
}

u64 Distance(const Vector& a, const Vector& b, u32 components) {
    u64 sum = 0;
    for (u32 c = 0; c < components; ++c)
        sum += u64((a[c] - b[c]) * (a[c] - b[c]));
    return sum;
}

// A picture of at most 256 colours keeps them all: one entry per colour, each pixel's entry its
// own colour, for three channels (red, green, blue) and four (blue, green, red, alpha).
TEST(TexturePalette, ExactForFewColours) {
    for (u32 colours : {1u, 9u, 200u, 256u})
        for (bool three : {true, false}) {
            SCOPED_TRACE(testing::Message() << colours << " colours, three " << three);
            const auto colourOf = [&](u32 x, u32 y) {
                const u32 i = (x * 7 + y * 13) % colours;
                return Vector{u8(i * 37), u8(i * 11 + 3), u8(255 - i), u8(three ? 0 : i ^ 0x5A)};
            };
            const u32 width = 40, height = 20;
            const std::vector<u8> pixels = MakePixels(width, height, colourOf);
            TexturePalette palette;
            std::vector<u8> indices(width * height, 0xEE);
            ASSERT_TRUE(QuantiseToPalette(pixels.data(), width, height, palette, false, three,
                                          indices.data()));
            EXPECT_EQ(palette.Components, three ? 3u : 4u);
            EXPECT_EQ(palette.Entries.size(), colours);
            for (u32 y = 0; y < height; ++y)
                for (u32 x = 0; x < width; ++x) {
                    const Vector p = colourOf(x, y);
                    const Vector want = three ? Vector{p[2], p[1], p[0], 0} : p;
                    const u32 index = indices[y * width + x];
                    ASSERT_LT(index, palette.Entries.size());
                    const Vector got = palette.Entries[index];
                    ASSERT_EQ(Distance(got, want, palette.Components), 0u) << x << ", " << y;
                }
            // Its bytes: the entries, alpha 255 for three channels, zeros after the last.
            std::vector<u8> bytes(kPaletteBytes, 0xEE);
            WritePaletteBytes(palette, bytes.data());
            for (u32 i = 0; i < kPaletteMaxEntries; ++i) {
                const u8* entry = &bytes[i * 4];
                if (i >= colours) {
                    ASSERT_EQ(entry[0] | entry[1] | entry[2] | entry[3], 0) << i;
                    continue;
                }
                const Vector& e = palette.Entries[i];
                EXPECT_EQ(entry[0], e[0]);
                EXPECT_EQ(entry[1], e[1]);
                EXPECT_EQ(entry[2], e[2]);
                EXPECT_EQ(entry[3], three ? 255 : e[3]);
            }
        }
}

// A 5 x 4 grey ramp, diffused to 4 bits by hand in 12-bit fixed point (bytes x 16, colour
// quantum 256): the right neighbour gets e / 2, below e / 4, below-left e / 8, three to the left
// below e / 8 (the fourth column's error reaches the first column), the last column and row are
// only rounded. Row 0: 384 -> 512 (e -128), 1024 - 64 -> 1024 (e -64), 1664 - 32 -> 1536
// (e 96), 2304 + 48 -> 2304 (e 48), 2944 + 24 -> 3072. Alpha keeps 8 bits: nothing moves.
TEST(TexturePalette, ErrorDiffusionOnARamp) {
    const u8 ramp[4][5] = {
        {24, 64, 104, 144, 184},
        {32, 72, 112, 152, 192},
        {40, 80, 120, 160, 200},
        {48, 88, 128, 168, 208},
    };
    const u8 diffused[4][5] = {
        {32, 64, 96, 144, 192},
        {32, 64, 112, 160, 192},
        {32, 80, 128, 160, 192},
        {48, 96, 128, 160, 208},
    };
    const auto alphaOf = [](u32 x, u32 y) { return u8(7 + 50 * x - 3 * y); };
    const std::vector<u8> pixels = MakePixels(5, 4, [&](u32 x, u32 y) {
        const u8 v = ramp[y][x];
        return Vector{v, v, v, alphaOf(x, y)};
    });
    for (bool three : {false, true}) {
        SCOPED_TRACE(three);
        TexturePalette palette;
        u8 indices[20] = {};
        ASSERT_TRUE(QuantiseToPalette(pixels.data(), 5, 4, palette, true, three, indices));
        for (u32 y = 0; y < 4; ++y)
            for (u32 x = 0; x < 5; ++x) {
                const Vector& got = palette.Entries[indices[y * 5 + x]];
                const u8 v = diffused[y][x];
                EXPECT_EQ(got, (Vector{v, v, v, u8(three ? 0 : alphaOf(x, y))})) << x << ", " << y;
            }
    }
}

// Counted colours merged down to a limit: a merge is the count-weighted mean (rounded down), the
// cheapest pair goes first with costs in more than 32 bits, and a round with one pair merges it.
TEST(TexturePalette, Reduction) {
    const struct {
        const char* Name;
        std::vector<PaletteColour> Colours;
        u32 Limit;
        std::vector<Vector> Entries;
    } cases[] = {
        {"weighted mean", {{{0, 0, 0}, 3}, {{10, 7, 1}, 1}}, 1, {{2, 1, 0}}},
        {"equal colours add up", {{{0, 0, 0}, 1}, {{9, 0, 0}, 1}, {{0, 0, 0}, 2}}, 1, {{2, 0, 0}}},
        // One leaf of five: one pair a round, which half the pair count (0) would never merge.
        {"single pair",
         {{{0, 0, 0}, 1}, {{10, 0, 0}, 1}, {{200, 0, 0}, 1}, {{0, 200, 0}, 1}, {{0, 0, 200}, 1}},
         4,
         {{5, 0, 0}, {200, 0, 0}, {0, 200, 0}, {0, 0, 200}}},
        // The big pair costs 10^10 x 1 / 200000 = 50000 and the small one 20000 / 2 = 10000; in
        // 32 bits the big pair's product wraps to 1410065408 and it would look cheaper (7050).
        {"costs past 32 bits",
         {{{200, 200, 200}, 100000}, {{200, 200, 201}, 100000}, {{0, 0, 0}, 1}, {{100, 100, 0}, 1}},
         3,
         {{200, 200, 200}, {200, 200, 201}, {50, 50, 0}}},
        {"at the limit already", {{{1, 2, 3}, 1}, {{4, 5, 6}, 1}}, 2, {{1, 2, 3}, {4, 5, 6}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(ReduceColours(c.Colours, 3, c.Limit), c.Entries);
    }
}

// Many colours end at exactly the limit, every entry inside the colours' box, in trees of many
// leaves (folded when small) and in the single leaf of a few colours.
TEST(TexturePalette, ReductionReachesTheLimit) {
    const struct {
        u32 Colours;
        u32 Limit;
    } cases[] = {{9, 8}, {12, 2}, {300, 256}, {4000, 256}, {4000, 17}, {20000, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Colours << " to " << c.Limit);
        std::vector<PaletteColour> colours;
        u32 state = 12345;
        std::set<Vector> distinct;
        while (colours.size() < c.Colours) {
            state = state * 214013 + 2531011;
            const Vector v{u8(state >> 8), u8(state >> 16), u8(state >> 24), u8(state >> 4)};
            if (distinct.insert(v).second)
                colours.push_back({v, 1 + (state >> 20) % 50});
        }
        const std::vector<Vector> entries = ReduceColours(colours, 4, c.Limit);
        EXPECT_EQ(entries.size(), c.Limit);
        for (u32 comp = 0; comp < 4; ++comp) {
            u32 low = 255, high = 0;
            for (const Vector& v : distinct)
                low = std::min<u32>(low, v[comp]), high = std::max<u32>(high, v[comp]);
            for (const Vector& e : entries) {
                EXPECT_GE(e[comp], low);
                EXPECT_LE(e[comp], high);
            }
        }
    }
}

// With a palette already made (as for the later levels of a chain) every pixel gets an entry at
// the smallest distance, found through the palette's tree; the palette stays as it was.
TEST(TexturePalette, NearestEntries) {
    for (u32 size : {1u, 8u, 9u, 40u, 256u}) {
        SCOPED_TRACE(size);
        TexturePalette palette;
        palette.Components = 4;
        u32 state = size;
        const auto next = [&] {
            state = state * 214013 + 2531011;
            return u8(state >> 16);
        };
        for (u32 i = 0; i < size; ++i)
            palette.Entries.push_back({next(), next(), u8(next() & 0xF0), u8(i % 3 * 100)});
        // Equal entries too: the search must still end.
        if (size > 8)
            palette.Entries[5] = palette.Entries[6] = palette.Entries[7];
        const TexturePalette before = palette;
        const std::vector<u8> pixels = MakePixels(32, 32, [&](u32, u32) {
            return Vector{next(), next(), next(), next()};
        });
        std::vector<u8> indices(32 * 32);
        ASSERT_TRUE(
            QuantiseToPalette(pixels.data(), 32, 32, palette, false, false, indices.data()));
        EXPECT_EQ(palette.Entries, before.Entries);
        for (u32 i = 0; i < 32 * 32; ++i) {
            const Vector p{pixels[i * 4], pixels[i * 4 + 1], pixels[i * 4 + 2], pixels[i * 4 + 3]};
            u64 best = UINT64_MAX;
            for (const Vector& e : palette.Entries)
                best = std::min(best, Distance(e, p, 4));
            ASSERT_LT(indices[i], palette.Entries.size());
            ASSERT_EQ(Distance(palette.Entries[indices[i]], p, 4), best) << i;
        }
    }
}

// A palette of three components for a picture of four is refused with a log line; a picture of
// no pixels leaves the palette empty.
TEST(TexturePalette, Refusals) {
    const std::vector<u8> pixels = MakePixels(2, 2, [](u32 x, u32) { return Vector{u8(x)}; });
    TexturePalette palette;
    palette.Components = 3;
    palette.Entries = {{1, 2, 3}};
    u8 indices[4] = {};
    CLogWatch log;
    EXPECT_FALSE(QuantiseToPalette(pixels.data(), 2, 2, palette, false, false, indices));
    EXPECT_NE(log.Since().find("a palette of 3 components for a picture of 4"), std::string::npos);
    TexturePalette empty;
    EXPECT_TRUE(QuantiseToPalette(pixels.data(), 0, 2, empty, true, true, indices));
    EXPECT_TRUE(empty.IsEmpty());
}

// A 256 x 256 picture of 5733 colours through the compressor: the palette and indices, rebuilt
// into a picture by Python, are compared with the fixture read by PIL; the error is at most 1.25
// times that of ImageMagick's 256-colour quantiser without dither on the same picture (its figure
// is committed beside the fixture by make_palette_fixture.py).
TEST(TexturePalette, QualityAgainstImageMagick) {
    CTempFolder folder;
    const std::string source = FixturePath("palette-logo.tga"), raw = folder.File("source.bgr");
    RunPython(folder,
              "import sys\n"
              "from PIL import Image\n"
              "im = Image.open(sys.argv[1]).convert('RGB')\n"
              "r, g, b = im.split()\n"
              "open(sys.argv[2], 'wb').write(Image.merge('RGB', (b, g, r)).tobytes())\n",
              source + " " + raw);
    const std::string bgr = ReadWholeFile(raw);
    ASSERT_EQ(bgr.size(), 256u * 256 * 3);
    TextureCompressorOptions options;
    options.MipMode = kCompressorMipModeNone;
    options.TextureKind = kCompressorTextureKind2d;
    options.FormatCode = ETextureCompressorFormat_Palette8;
    compressortest::g_Pieces.clear();
    ASSERT_EQ(TextureCompressor::CompressImage(reinterpret_cast<const u8*>(bgr.data()), 256, 256,
                                               256 * 3, options, 3, compressortest::Record),
              0);
    const std::vector<compressortest::Piece> pieces = std::move(compressortest::g_Pieces);
    ASSERT_EQ(pieces.size(), 2u);
    ASSERT_EQ(pieces[0].Bytes.size(), kPaletteBytes);
    ASSERT_EQ(pieces[1].Bytes.size(), 256u * 256);
    WriteWholeFile(folder.File("palette"),
                   std::string(pieces[0].Bytes.begin(), pieces[0].Bytes.end()));
    WriteWholeFile(folder.File("indices"),
                   std::string(pieces[1].Bytes.begin(), pieces[1].Bytes.end()));
    const std::string figures =
        RunPython(folder,
                  "import math, sys\n"
                  "from PIL import Image\n"
                  "source = Image.open(sys.argv[1]).convert('RGB')\n"
                  "palette = open(sys.argv[2], 'rb').read()\n"
                  "indices = open(sys.argv[3], 'rb').read()\n"
                  "assert all(palette[i * 4 + 3] in (0, 255) for i in range(256))\n"
                  "total = 0\n"
                  "for i, p in enumerate(source.getdata()):\n"
                  "    e = palette[indices[i] * 4:indices[i] * 4 + 3]\n"
                  "    total += sum((x - y) ** 2 for x, y in zip(p, e))\n"
                  "print('%.4f' % math.sqrt(total / (256 * 256 * 3)))\n",
                  source + " " + folder.File("palette") + " " + folder.File("indices"));
    const double ours = std::stod(figures);
    const double reference = std::stod(Fixture("palette-logo-reference.txt"));
    std::printf("palette RMSE %.4f, ImageMagick %.4f\n", ours, reference);
    EXPECT_LE(ours, 1.25 * reference);
}

} // namespace
