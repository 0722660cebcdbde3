// The texture compressor: small pictures through the entry's checks and the level loop, the
// pixel formats by a table and by Python's struct, the 24- and 32-bit copies read back by PIL,
// the DXT formats against the block encoder on the same working image and decoded by libsquish,
// the working image's borders, one-bit alpha and swap, cube maps, the header of a call without
// callback, and the refusals (options not available, unknown formats, memory, a second call).
#include "plug/bitmap/TextureCompressor.h"

#include "plug/bitmap/DxtEncoder.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/plug/PlugTestSupport.h"
#include "tests/plug/bitmap/CompressorPieces.h"
#include "tests/plug/bitmap/DdsTestFile.h"
#include "tests/plug/bitmap/PictureTestSupport.h"

#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <squish.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace compressortest;

// The options the DDS writer passes for one level.
TextureCompressorOptions LevelOptions(i16 format) {
    TextureCompressorOptions options;
    options.MipMode = kCompressorMipModeNone;
    options.MipFilter = 136;
    options.OneBitAlpha = format == ETextureCompressorFormat_Dxt1a;
    options.FadeToAlpha = 255;
    options.TextureKind = kCompressorTextureKind2d;
    options.FormatCode = format;
    return options;
}

// A picture of `channels` bytes per pixel (B, G, R[, A] from the BGRA word) and its pitch.
struct Picture {
    u32 Width = 0;
    u32 Height = 0;
    u32 Channels = 4;
    u32 Pitch = 0;
    std::vector<u8> Bytes;

    const u8* Pixel(u32 x, u32 y) const { return &Bytes[u64(y) * Pitch + u64(x) * Channels]; }
};

// pixel(x, y) gives B | G << 8 | R << 16 | A << 24; rows are `padding` bytes longer than the
// pixels, padded with 0xEE.
Picture MakePicture(u32 width, u32 height, u32 channels,
                    const std::function<u32(u32 x, u32 y)>& pixel, u32 padding = 0) {
    Picture picture{width, height, channels, width * channels + padding, {}};
    // A byte at least, so that an empty picture still has an address.
    picture.Bytes.assign(std::max<u64>(u64(picture.Pitch) * height, 1), 0xEE);
    for (u32 y = 0; y < height; ++y)
        for (u32 x = 0; x < width; ++x) {
            const u32 value = pixel(x, y);
            u8* to = &picture.Bytes[u64(y) * picture.Pitch + u64(x) * channels];
            for (u32 c = 0; c < channels; ++c)
                to[c] = u8(value >> (8 * c));
        }
    return picture;
}

struct Outcome {
    i32 Result = 0;
    std::vector<Piece> Pieces;
};

Outcome Compress(const Picture& picture, const TextureCompressorOptions& options,
                 CompressorWriteCallback callback = Record) {
    g_Pieces.clear();
    Outcome outcome;
    outcome.Result =
        TextureCompressor::CompressImage(picture.Bytes.data(), picture.Width, picture.Height,
                                         picture.Pitch, options, picture.Channels, callback);
    outcome.Pieces = std::move(g_Pieces);
    g_Pieces.clear();
    return outcome;
}

// A 64 x 64 picture of the DXT fixtures, as B, G, R, A pixels.
Picture FixturePicture(const char* name, u32 channels) {
    const std::vector<u8> rgba = DxtFixturePicture(name);
    return MakePicture(64, 64, channels, [&](u32 x, u32 y) {
        const u8* p = &rgba[(y * 64 + x) * 4];
        return u32(p[2]) | u32(p[1]) << 8 | u32(p[0]) << 16 | u32(p[3]) << 24;
    });
}

// The colour error weights the compressor is to use: the vector divided by its length, as
// floats.
std::array<double, 3> Weights(bool equal) {
    const double r = equal ? 1 : 0.309, g = equal ? 1 : 0.609, b = equal ? 1 : 0.082;
    const double length = std::sqrt(r * r + g * g + b * b);
    return {double(float(r / length)), double(float(g / length)), double(float(b / length))};
}

// libsquish's decode of a block (R, G, B, A per texel).
void SquishDecode(const u8* block, i16 format, u8 texels[16][4]) {
    const int flags = format == ETextureCompressorFormat_Dxt3   ? squish::kDxt3
                      : format == ETextureCompressorFormat_Dxt5 ? squish::kDxt5
                                                                : squish::kDxt1;
    squish::Decompress(&texels[0][0], block, flags);
}

std::string Bytes(const std::vector<u8>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// ---------------------------------------------------------------------------------------------

// Small pictures through the entry: the checks in their order, and the pieces of the level loop.
TEST(TextureCompressor, SmallPictures) {
    const auto opaque = [](u32 x, u32 y) { return 0xFF000000 | (x * 40) << 16 | (y * 50) << 8; };
    const struct {
        const char* Name;
        u32 Width, Height, Channels;
        i16 Format;
        std::function<void(TextureCompressorOptions&)> Change;
        bool NullPixels;
        i32 Result;
        std::vector<u32> Sizes; // one per piece, each at level 0
    } cases[] = {
        {"4 x 4 DXT1", 4, 4, 3, 10, nullptr, false, 0, {8}},
        {"2 x 2 DXT3, raised to 4 x 4", 2, 2, 4, 12, nullptr, false, 0, {16}},
        {"6 x 8 DXT1", 6, 8, 4, 10, nullptr, false, -3, {}},
        {"6 x 8 R5G6B5", 6, 8, 4, 16, nullptr, false, 0, {96}},
        {"4 x 0 DXT5", 4, 0, 4, 13, nullptr, false, -3, {}},
        {"8 x 4 DXT5", 8, 4, 4, 13, nullptr, false, 0, {32}},
        {"1 x 1 24-bit", 1, 1, 3, 18, nullptr, false, 0, {3}},
        {"0 x 3 32-bit", 0, 3, 4, 17, nullptr, false, 0, {0}},
        {"null pixels, 2 channels", 4, 4, 2, 10, nullptr, true, -1, {}},
        {"2 channels", 4, 4, 2, 10, nullptr, false, -2, {}},
        {"5 channels", 4, 4, 5, 10, nullptr, false, -2, {}},
        {"2 channels, 6 x 8 DXT1", 6, 8, 2, 10, nullptr, false, -2, {}},
        {"6 x 8 DXT1 and a chain", 6, 8, 4, 10, [](auto& o) { o.MipMode = 0; }, false, -3, {}},
        // A rule other than 0 to 3 leaves the sides as they are, and the blocks are encoded.
        {"6 x 8 DXT1, rule 4", 6, 8, 4, 10, [](auto& o) { o.RescaleRule = 4; }, false, 0, {32}},
        {"MipMode 31 without levels", 4, 4, 4, 10, [](auto& o) { o.MipMode = 31; }, false, 0, {8}},
        {"rule 1, sides already powers of two",
         4,
         8,
         4,
         16,
         [](auto& o) { o.RescaleRule = 1; },
         false,
         0,
         {64}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Picture picture = MakePicture(c.Width, c.Height, c.Channels == 3 ? 3 : 4, opaque);
        picture.Channels = c.Channels;
        TextureCompressorOptions options = LevelOptions(c.Format);
        if (c.Change)
            c.Change(options);
        g_Pieces.clear();
        CLogWatch log;
        const i32 result =
            TextureCompressor::CompressImage(c.NullPixels ? nullptr : picture.Bytes.data(), c.Width,
                                             c.Height, picture.Pitch, options, c.Channels, Record);
        EXPECT_EQ(result, c.Result);
        ASSERT_EQ(g_Pieces.size(), c.Sizes.size());
        for (size_t i = 0; i < c.Sizes.size(); ++i) {
            EXPECT_EQ(g_Pieces[i].Bytes.size(), c.Sizes[i]);
            EXPECT_EQ(g_Pieces[i].Level, 0);
        }
        if (c.Result < 0) {
            EXPECT_NE(log.Since().find("TextureCompressor : "), std::string::npos);
        }
    }
}

// The texels the block formats add to a picture below 4 x 4 are transparent black.
TEST(TextureCompressor, RaisedSidesAreTransparentBlack) {
    const Picture picture = MakePicture(2, 2, 4, [](u32, u32) { return 0xFFFFFFFF; });
    for (i16 format : {10, 11, 12, 13}) {
        SCOPED_TRACE(format);
        const Outcome out = Compress(picture, LevelOptions(format));
        ASSERT_EQ(out.Result, 0);
        ASSERT_EQ(out.Pieces.size(), 1u);
        u8 texels[16][4];
        SquishDecode(out.Pieces[0].Bytes.data(), format, texels);
        for (u32 t = 0; t < 16; ++t) {
            const bool inside = t % 4 < 2 && t / 4 < 2;
            EXPECT_EQ(texels[t][0], inside ? 255 : 0) << t;
            // DXT1 has no alpha: every texel of an opaque block is opaque.
            EXPECT_EQ(texels[t][3], inside || format == 10 ? 255 : 0) << t;
        }
    }
}

// Two pixels through every format but the blocks, from four and from three channels.
TEST(TextureCompressor, PixelFormats) {
    // B, G, R, A = 12 34 56 78 and FF 80 01 80.
    const u32 first = 0x78563412, second = 0x800180FF;
    const struct {
        i16 Format;
        const char* FourChannels; // the two pixels' bytes, hex
        const char* ThreeChannels;
    } cases[] = {
        {14,
         "3175"
         "8F80",
         "31F5"
         "8FF0"},
        {15,
         "C228"
         "1F82",
         "C2A8"
         "1F82"},
        {16,
         "A251"
         "1F04",
         "A251"
         "1F04"},
        {17,
         "12345678"
         "FF800180",
         "123456FF"
         "FF8001FF"},
        {18,
         "123456"
         "FF8001",
         "123456"
         "FF8001"},
        {19,
         "C228"
         "1F02",
         "C228"
         "1F02"},
        {21,
         "12345678"
         "FF800180",
         "123456FF"
         "FF8001FF"},
        {22,
         "12345678"
         "FF800180",
         "123456FF"
         "FF8001FF"},
    };
    for (const auto& c : cases) {
        for (u32 channels : {4u, 3u}) {
            SCOPED_TRACE(std::to_string(c.Format) + " from " + std::to_string(channels));
            const Picture picture =
                MakePicture(2, 1, channels, [&](u32 x, u32) { return x ? second : first; });
            const Outcome out = Compress(picture, LevelOptions(c.Format));
            ASSERT_EQ(out.Result, 0);
            ASSERT_EQ(out.Pieces.size(), 1u);
            std::string hex;
            char digits[3];
            for (u8 b : out.Pieces[0].Bytes) {
                std::snprintf(digits, sizeof digits, "%02X", b);
                hex += digits;
            }
            EXPECT_EQ(hex, channels == 4 ? c.FourChannels : c.ThreeChannels);
        }
    }
}

// Python's struct unpacks the 16-bit formats by the format table; every field holds the top
// bits of its source byte.
TEST(TextureCompressor, PythonReadsSixteenBitFormats) {
    const Picture picture = FixturePicture("rose", 4);
    CTempFolder folder;
    WriteWholeFile(folder.File("source.bgra"), Bytes(picture.Bytes));
    std::string names;
    for (i16 format : {14, 15, 16, 19}) {
        const Outcome out = Compress(picture, LevelOptions(format));
        ASSERT_EQ(out.Result, 0);
        ASSERT_EQ(out.Pieces.size(), 1u);
        const std::string name = std::to_string(format);
        WriteWholeFile(folder.File(name + ".bin"), Bytes(out.Pieces[0].Bytes));
        names += " " + name;
    }
    const std::string answer =
        RunPython(folder,
                  "import os, struct, sys\n"
                  "folder = os.path.dirname(sys.argv[0])\n"
                  "source = open(os.path.join(folder, 'source.bgra'), 'rb').read()\n"
                  "# (shift, bits) of alpha, red, green, blue; bits 0: absent\n"
                  "layouts = {14: ((12, 4), (8, 4), (4, 4), (0, 4)),\n"
                  "           15: ((15, 1), (10, 5), (5, 5), (0, 5)),\n"
                  "           16: ((0, 0), (11, 5), (5, 6), (0, 5)),\n"
                  "           19: ((15, 1), (10, 5), (5, 5), (0, 5))}\n"
                  "for name in sys.argv[1:]:\n"
                  "    data = open(os.path.join(folder, name + '.bin'), 'rb').read()\n"
                  "    values = struct.unpack('<%dH' % (len(data) // 2), data)\n"
                  "    bad = 0 if len(values) * 4 == len(source) else 1\n"
                  "    for i, value in enumerate(values):\n"
                  "        b, g, r, a = source[4 * i:4 * i + 4]\n"
                  "        for (shift, bits), byte in zip(layouts[int(name)], (a, r, g, b)):\n"
                  "            field = (value >> shift) & ((1 << bits) - 1)\n"
                  "            expected = byte >> (8 - bits) if bits else 0\n"
                  "            if name == '19' and shift == 15:\n"
                  "                expected = 0\n"
                  "            bad += field != expected\n"
                  "    print(name, bad)\n",
                  names);
    EXPECT_EQ(answer, "14 0\n15 0\n16 0\n19 0\n");
}

// PIL reads the 24- and 32-bit outputs in a DDS file with the standard masks: the source's
// pixels exactly.
TEST(TextureCompressor, PilReadsCopies) {
    CTempFolder folder;
    const Picture picture = FixturePicture("alpharamp", 4);
    std::string paths;
    for (i16 format : {17, 18, 21, 22}) {
        const Outcome out = Compress(picture, LevelOptions(format));
        ASSERT_EQ(out.Result, 0);
        ASSERT_EQ(out.Pieces.size(), 1u);
        const std::string path = folder.File(std::to_string(format) + ".dds");
        WriteWholeFile(path,
                       ddstest::DdsFileRgb(64, 64, format == 18 ? 24 : 32, out.Pieces[0].Bytes));
        paths += " " + path;
    }
    const std::vector<u32> pil = ddstest::Numbers(
        RunPython(folder,
                  "import sys\n"
                  "from PIL import Image\n"
                  "for path in sys.argv[1:]:\n"
                  "    image = Image.open(path)\n"
                  "    image.load()\n"
                  "    print(' '.join(str(b) for b in image.convert('RGBA').tobytes()))\n",
                  paths));
    ASSERT_EQ(pil.size(), 4u * 64 * 64 * 4);
    for (u32 f = 0; f < 4; ++f) {
        SCOPED_TRACE(f);
        u32 differences = 0;
        for (u32 i = 0; i < 64 * 64; ++i) {
            const u8* source = &picture.Bytes[i * 4];
            const u32* read = &pil[(f * 64 * 64 + i) * 4];
            const u32 alpha = f == 1 ? 255 : source[3];
            differences += read[0] != source[2] || read[1] != source[1] || read[2] != source[0] ||
                           read[3] != alpha;
        }
        EXPECT_EQ(differences, 0u);
    }
}

// The DXT formats give the block encoder's bytes for the working image the compressor is to
// build (one-bit alpha for DXT1a, alpha 255 from three channels), with the normalised weights and
// the format's four-colour rule; libsquish decodes them near the source.
TEST(TextureCompressor, DxtFormatsAreTheEncodersBlocks) {
    const std::array<double, 3> equal = Weights(true), perceptual = Weights(false);
    EXPECT_NEAR(perceptual[0], 0.4493, 1e-4);
    EXPECT_NEAR(perceptual[1], 0.8854, 1e-4);
    EXPECT_NEAR(perceptual[2], 0.1192, 1e-4);
    EXPECT_NEAR(equal[0], 0.5774, 1e-4);

    const struct {
        i16 Format;
        u32 Mode;
        bool Equal, ForceOption, Force;
        u32 Channels;
        const char* Picture;
        double MaxRmse;
    } cases[] = {
        {10, EDxtEncodeMode_Opaque, false, false, false, 3, "logo", 8},
        {10, EDxtEncodeMode_Opaque, true, false, false, 4, "rose", 5},
        {10, EDxtEncodeMode_Opaque, false, true, true, 4, "edges", 4},
        {11, EDxtEncodeMode_AlphaCompare, false, false, false, 4, "alpharamp", 0},
        {11, EDxtEncodeMode_AlphaCompare, true, true, false, 4, "alpharamp", 0},
        {12, EDxtEncodeMode_ExplicitAlpha, false, false, true, 4, "alpharamp", 3},
        {13, EDxtEncodeMode_InterpolatedAlpha, true, false, true, 4, "logo", 8},
        {13, EDxtEncodeMode_InterpolatedAlpha, false, false, true, 3, "gradient", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Format) + " " + c.Picture);
        const Picture picture = FixturePicture(c.Picture, c.Channels);
        TextureCompressorOptions options = LevelOptions(c.Format);
        options.EqualChannelWeights = c.Equal;
        options.Dxt1ForceFourColours = c.ForceOption;
        const Outcome out = Compress(picture, options);
        ASSERT_EQ(out.Result, 0);
        ASSERT_EQ(out.Pieces.size(), 1u);

        std::vector<u8> working(64 * 64 * 4);
        for (u32 i = 0; i < 64 * 64; ++i) {
            std::memcpy(&working[i * 4], &picture.Bytes[i * c.Channels], 3);
            const u8 alpha = c.Channels == 4 ? picture.Bytes[i * 4 + 3] : 255;
            working[i * 4 + 3] = options.OneBitAlpha ? (alpha >= 127 ? 255 : 0) : alpha;
        }
        std::vector<u8> expected(DxtSurfaceSize(64, 64, c.Mode));
        ASSERT_TRUE(EncodeDxtSurface(MakeDxtSurfaceDesc(working.data(), 64, 64), c.Mode,
                                     (c.Equal ? equal : perceptual).data(), expected, c.Force));
        EXPECT_TRUE(out.Pieces[0].Bytes == expected);

        // libsquish's decode against the working image (colour of the opaque texels for
        // DXT1a, whose transparent ones must decode transparent).
        const u32 blockBytes = c.Format >= 12 ? 16 : 8;
        double error = 0;
        u32 count = 0, wrongAlpha = 0;
        for (u32 b = 0; b < 256; ++b) {
            u8 texels[16][4];
            SquishDecode(&out.Pieces[0].Bytes[b * blockBytes], c.Format, texels);
            for (u32 t = 0; t < 16; ++t) {
                const u8* w = &working[((b / 16 * 4 + t / 4) * 64 + b % 16 * 4 + t % 4) * 4];
                if (c.Format == 11) {
                    wrongAlpha += texels[t][3] != w[3];
                    continue;
                }
                for (u32 ch = 0; ch < 3; ++ch) {
                    const double d = double(texels[t][ch]) - w[2 - ch];
                    error += d * d;
                    ++count;
                }
            }
        }
        EXPECT_EQ(wrongAlpha, 0u);
        if (count) {
            EXPECT_LE(std::sqrt(error / count), c.MaxRmse) << "RMSE";
        }
    }
    // The weights reach the encoder: the two settings give other blocks.
    const Picture rose = FixturePicture("rose", 4);
    TextureCompressorOptions options = LevelOptions(10);
    const Outcome perceptualOut = Compress(rose, options);
    options.EqualChannelWeights = 1;
    const Outcome equalOut = Compress(rose, options);
    ASSERT_EQ(perceptualOut.Pieces.size(), 1u);
    ASSERT_EQ(equalOut.Pieces.size(), 1u);
    EXPECT_NE(perceptualOut.Pieces[0].Bytes, equalOut.Pieces[0].Bytes);
}

// Rows longer than their pixels and three-channel pixels give the bytes of the same picture in
// four channels with alpha 255, packed.
TEST(TextureCompressor, PitchAndChannels) {
    const auto pixel = [](u32 x, u32 y) { return 0xFF000000 | (x * 29 + y * 7) * 0x10305u; };
    const Picture packed = MakePicture(8, 8, 4, pixel);
    const Picture padded = MakePicture(8, 8, 3, pixel, 5);
    for (i16 format : {10, 13, 15, 18}) {
        SCOPED_TRACE(format);
        const Outcome a = Compress(packed, LevelOptions(format));
        const Outcome b = Compress(padded, LevelOptions(format));
        ASSERT_EQ(a.Result, 0);
        ASSERT_EQ(b.Result, 0);
        ASSERT_EQ(a.Pieces.size(), 1u);
        ASSERT_EQ(b.Pieces.size(), 1u);
        EXPECT_EQ(a.Pieces[0].Bytes, b.Pieces[0].Bytes);
    }
}

// An image wider than the block encoder takes at once (32768) comes out block row by block
// row, left to right.
TEST(TextureCompressor, WideImageKeepsItsBlockOrder) {
    const u32 width = 65536;
    // Block column k is grey level k % 256 with red the block row (0 or 1): no two neighbours
    // equal, and the halves told apart.
    const Picture picture = MakePicture(width, 8, 4, [](u32 x, u32 y) {
        const u32 grey = (x / 4) % 256;
        return 0xFF000000 | (y / 4 ? 0xFF0000 : grey << 16) | grey << 8 | grey;
    });
    const Outcome out = Compress(picture, LevelOptions(10));
    ASSERT_EQ(out.Result, 0);
    ASSERT_EQ(out.Pieces.size(), 1u);
    ASSERT_EQ(out.Pieces[0].Bytes.size(), u64(width / 4) * 2 * 8);
    u32 wrong = 0;
    for (u32 b = 0; b < width / 4 * 2; ++b) {
        u8 texels[16][4];
        SquishDecode(&out.Pieces[0].Bytes[u64(b) * 8], 10, texels);
        const i32 grey = i32(b % (width / 4) % 256);
        const i32 red = b >= width / 4 ? 255 : grey;
        wrong += std::abs(texels[5][0] - red) > 4 || std::abs(texels[5][2] - grey) > 4;
    }
    EXPECT_EQ(wrong, 0u);
}

// The working image's ring (borders), one-bit alpha and the red-blue exchange, read back through
// the 32-bit copy.
TEST(TextureCompressor, BordersOneBitAlphaAndSwap) {
    // B = 10 + x, G = 20 + y, R = 200, A = 40 x (x + y): alphas from 0 to 320 clamped.
    const auto pixel = [](u32 x, u32 y) {
        return (10 + x) | (20 + y) << 8 | 200u << 16 | std::min(40 * (x + y), 255u) << 24;
    };
    const Picture picture = MakePicture(5, 5, 4, pixel);
    const struct {
        const char* Name;
        std::function<void(TextureCompressorOptions&)> Change;
        // The expected B, G, R, A of (x, y), given the source's.
        std::function<std::array<u32, 4>(u32 x, u32 y, std::array<u32, 4>)> Expect;
    } cases[] = {
        {"alpha border", [](auto& o) { o.AlphaBorder = 1; },
         [](u32 x, u32 y, std::array<u32, 4> p) {
             if (x == 0 || y == 0 || x == 4 || y == 4)
                 p[3] = 0;
             return p;
         }},
        {"colour border",
         [](auto& o) {
             o.ColourBorder = 1;
             o.BorderColour[0] = 1;
             o.BorderColour[1] = 2;
             o.BorderColour[2] = 3;
         },
         [](u32 x, u32 y, std::array<u32, 4> p) {
             if (x == 0 || y == 0 || x == 4 || y == 4)
                 return std::array<u32, 4>{1, 2, 3, p[3]};
             return p;
         }},
        // The border comes first, so its colour is swapped too, and one-bit alpha sees its 0.
        {"both borders, one-bit alpha and swap",
         [](auto& o) {
             o.AlphaBorder = o.ColourBorder = o.OneBitAlpha = o.SwapRedBlue = 1;
             o.BorderColour[0] = 1;
         },
         [](u32 x, u32 y, std::array<u32, 4> p) {
             if (x == 0 || y == 0 || x == 4 || y == 4)
                 return std::array<u32, 4>{0, 0, 1, 0};
             return std::array<u32, 4>{p[2], p[1], p[0], p[3] >= 127 ? 255u : 0u};
         }},
        {"swap", [](auto& o) { o.SwapRedBlue = 1; },
         [](u32, u32, std::array<u32, 4> p) {
             return std::array<u32, 4>{p[2], p[1], p[0], p[3]};
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TextureCompressorOptions options = LevelOptions(17);
        c.Change(options);
        const Outcome out = Compress(picture, options);
        ASSERT_EQ(out.Result, 0);
        ASSERT_EQ(out.Pieces.size(), 1u);
        ASSERT_EQ(out.Pieces[0].Bytes.size(), 100u);
        for (u32 y = 0; y < 5; ++y)
            for (u32 x = 0; x < 5; ++x) {
                const u32 source = pixel(x, y);
                const std::array<u32, 4> expected = c.Expect(
                    x, y, {source & 0xFF, source >> 8 & 0xFF, source >> 16 & 0xFF, source >> 24});
                const u8* got = &out.Pieces[0].Bytes[(y * 5 + x) * 4];
                EXPECT_EQ((std::array<u32, 4>{got[0], got[1], got[2], got[3]}), expected)
                    << x << ", " << y;
            }
    }

    // One-bit alpha: 127 is the first value that becomes 255.
    const u32 alphas[] = {0, 1, 126, 127, 128, 254, 255};
    const Picture ramp =
        MakePicture(7, 1, 4, [&](u32 x, u32) { return 0x00808080 | alphas[x] << 24; });
    TextureCompressorOptions options = LevelOptions(17);
    options.OneBitAlpha = 1;
    const Outcome out = Compress(ramp, options);
    ASSERT_EQ(out.Pieces.size(), 1u);
    for (u32 x = 0; x < 7; ++x)
        EXPECT_EQ(out.Pieces[0].Bytes[x * 4 + 3], alphas[x] >= 127 ? 255 : 0) << alphas[x];

    // The ring is that of the working image: a 2 x 2 picture raised to 4 x 4 for DXT5 keeps
    // the alpha of its pixel (1, 1), which lies inside the 4 x 4 ring.
    const Picture small = MakePicture(2, 2, 4, [](u32, u32) { return 0xFFFFFFFF; });
    TextureCompressorOptions border = LevelOptions(13);
    border.AlphaBorder = 1;
    const Outcome dxt = Compress(small, border);
    ASSERT_EQ(dxt.Pieces.size(), 1u);
    u8 texels[16][4];
    SquishDecode(dxt.Pieces[0].Bytes.data(), 13, texels);
    for (u32 t = 0; t < 16; ++t)
        EXPECT_EQ(texels[t][3], t == 5 ? 255 : 0) << t;
}

// A cube map is six faces side by side: one piece per face, left to right; the block formats
// test the face's width.
TEST(TextureCompressor, CubeFaces) {
    // Face f is filled with colour 0x102030 x (f + 1), alpha 255.
    const Picture cube =
        MakePicture(96, 16, 4, [](u32 x, u32) { return 0xFF000000 | 0x102030u * (x / 16 + 1); });
    for (i16 format : {17, 10}) {
        SCOPED_TRACE(format);
        TextureCompressorOptions options = LevelOptions(format);
        options.TextureKind = kCompressorTextureKindCube;
        const Outcome out = Compress(cube, options);
        ASSERT_EQ(out.Result, 0);
        ASSERT_EQ(out.Pieces.size(), 6u);
        for (u32 face = 0; face < 6; ++face) {
            const Picture alone = MakePicture(
                16, 16, 4, [&](u32, u32) { return 0xFF000000 | 0x102030u * (face + 1); });
            const Outcome expected = Compress(alone, LevelOptions(format));
            ASSERT_EQ(expected.Pieces.size(), 1u);
            EXPECT_EQ(out.Pieces[face].Bytes, expected.Pieces[0].Bytes) << face;
            EXPECT_EQ(out.Pieces[face].Level, 0);
        }
    }
    // Face width 10 is not a power of two, though the strip's height is.
    const Picture odd = MakePicture(60, 16, 4, [](u32, u32) { return 0xFFFFFFFF; });
    TextureCompressorOptions options = LevelOptions(10);
    options.TextureKind = kCompressorTextureKindCube;
    const Outcome out = Compress(odd, options);
    EXPECT_EQ(out.Result, -3);
    EXPECT_TRUE(out.Pieces.empty());
}

// Without callback, a DDS header and the data go to an internal sink; its observer sees them.
u32 Word(const std::vector<u8>& header, u32 offset) {
    return u32(header[offset]) | u32(header[offset + 1]) << 8 | u32(header[offset + 2]) << 16 |
           u32(header[offset + 3]) << 24;
}

TEST(TextureCompressor, NullCallbackHeader) {
    const struct {
        const char* Name;
        u32 Width, Height;
        i16 Format, MipMode, Kind;
        u32 Flags, Caps, Caps2, LinearSize;
        const char* FourCc; // null: no pixel format
        u32 Pieces;
    } cases[] = {
        {"DXT1 8 x 4", 8, 4, 10, 33, 80, 0x81007, 0x1000, 0, 16, "DXT1", 1},
        {"DXT1a 2 x 2", 2, 2, 11, 33, 80, 0x81007, 0x1000, 0, 8, "DXT1", 1},
        {"DXT3 4 x 4, MipMode 31", 4, 4, 12, 31, 80, 0xA1007, 0x401008, 0, 16, "DXT3", 1},
        {"DXT5 cube", 24, 4, 13, 33, 81, 0x81007, 0x1000, 0xFE00, 16, "DXT5", 6},
        {"R5G6B5 6 x 8", 6, 8, 16, 33, 80, 0x81007, 0x1000, 0, 0, nullptr, 1},
        {"32-bit cube, MipMode 31", 12, 2, 17, 31, 81, 0xA1007, 0x401008, 0xFE00, 0, nullptr, 6},
    };
    TextureCompressor::SetDiscardSinkObserver(Observe);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const Picture picture =
            MakePicture(c.Width, c.Height, 4, [](u32 x, u32 y) { return 0x80FF8000 + x * y; });
        TextureCompressorOptions options = LevelOptions(c.Format);
        options.MipMode = c.MipMode;
        options.TextureKind = c.Kind;
        g_Sunk.clear();
        const Outcome withCallback = Compress(picture, options);
        const Outcome without = Compress(picture, options, nullptr);
        EXPECT_EQ(without.Result, 0);
        EXPECT_TRUE(without.Pieces.empty());
        ASSERT_EQ(g_Sunk.size(), 1 + c.Pieces);
        const std::vector<u8>& header = g_Sunk[0].Bytes;
        ASSERT_EQ(header.size(), 128u);
        const u32 faceWidth = c.Kind == 81 ? c.Width / 6 : c.Width;
        std::vector<u32> expected(32, 0);
        expected[0] = 0x20534444; // "DDS "
        expected[1] = 124;
        expected[2] = c.Flags;
        expected[3] = c.Height;
        expected[4] = faceWidth;
        expected[5] = c.LinearSize;
        expected[8] = 0x58534444; // "DDSX"
        expected[9] = expected[10] = 0xFFFFFFFF;
        if (c.FourCc) {
            expected[19] = 32;
            expected[20] = 4;
            std::memcpy(&expected[21], c.FourCc, 4);
        }
        expected[27] = c.Caps;
        expected[28] = c.Caps2;
        for (u32 w = 0; w < 32; ++w)
            EXPECT_EQ(Word(header, w * 4), expected[w]) << "word " << w;
        // The data are those a callback gets.
        ASSERT_EQ(withCallback.Pieces.size(), c.Pieces);
        for (u32 i = 0; i < c.Pieces; ++i)
            EXPECT_EQ(g_Sunk[1 + i].Bytes, withCallback.Pieces[i].Bytes);
    }
    TextureCompressor::SetDiscardSinkObserver(nullptr);
}

// Format codes the compressor never has are refused before anything is called, with a log
// line.
TEST(TextureCompressor, RefusedOptions) {
    const Picture square = MakePicture(8, 8, 4, [](u32, u32) { return 0xFFFFFFFF; });
    const struct {
        const char* Name;
        const Picture* Source;
        std::function<void(TextureCompressorOptions&)> Change;
        i32 Result;
        const char* Log;
    } cases[] = {
        {"code 9", &square, [](auto& o) { o.FormatCode = 9; }, -6, "format code 9 "},
        {"code 23", &square, [](auto& o) { o.FormatCode = 23; }, -6, "format code 23 "},
        {"code -1", &square, [](auto& o) { o.FormatCode = -1; }, -6, "format code -1 "},
        {"code 23 and a chain", &square, [](auto& o) { o.FormatCode = 23, o.MipMode = 0; }, -6,
         "format code 23 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TextureCompressorOptions options = LevelOptions(16);
        c.Change(options);
        CLogWatch log;
        const Outcome out = Compress(*c.Source, options);
        EXPECT_EQ(out.Result, c.Result);
        EXPECT_TRUE(out.Pieces.empty());
        EXPECT_NE(log.Since().find(c.Log), std::string::npos) << log.Since();
    }
}

// Working buffers beyond the image limit are not allocated: "Not enough memory" in the log, -4,
// nothing given to the callback or the sink, and the process goes on.
TEST(TextureCompressor, NotEnoughMemory) {
    const Picture picture = MakePicture(16, 16, 4, [](u32, u32) { return 0xFFFFFFFF; });
    {
        CImageLimit limit(16 * 16 * 4 - 1);
        for (i16 format : {10, 16, 17}) {
            SCOPED_TRACE(format);
            CLogWatch log;
            const Outcome out = Compress(picture, LevelOptions(format));
            EXPECT_EQ(out.Result, -4);
            EXPECT_TRUE(out.Pieces.empty());
            EXPECT_NE(log.Since().find("Not enough memory"), std::string::npos);
        }
        g_Sunk.clear();
        TextureCompressor::SetDiscardSinkObserver(Observe);
        EXPECT_EQ(Compress(picture, LevelOptions(17), nullptr).Result, -4);
        TextureCompressor::SetDiscardSinkObserver(nullptr);
        EXPECT_TRUE(g_Sunk.empty());
        // At the limit it fits.
        CImageLimit exact(16 * 16 * 4);
        EXPECT_EQ(Compress(picture, LevelOptions(17)).Result, 0);
    }
    // Sides whose working image would be hundreds of gigabytes, with the default limit and with
    // a limit above the 32-bit byte count: refused before any pixel is read.
    const u8 onePixel[4] = {};
    TextureCompressorOptions options = LevelOptions(17);
    EXPECT_EQ(TextureCompressor::CompressImage(onePixel, 1u << 18, 1u << 18, 0, options, 4, Record),
              -4);
    CImageLimit huge(u64(1) << 40);
    options.TextureKind = kCompressorTextureKindCube;
    EXPECT_EQ(TextureCompressor::CompressImage(onePixel, 6u << 16, 1u << 16, 0, options, 4, Record),
              -4);
    EXPECT_TRUE(g_Pieces.empty());
}

// A call from inside a callback, while the first runs, is refused and leaves the first call's
// output as it would have been.
i32 g_InnerResult = 1;
const Picture* g_InnerPicture = nullptr;
i32 RecordAndCallAgain(const u8* data, i32 level, u32 byteCount) {
    const TextureCompressorOptions options = LevelOptions(17);
    g_InnerResult = TextureCompressor::CompressImage(g_InnerPicture->Bytes.data(), 4, 4, 16,
                                                     options, 4, Record);
    return Record(data, level, byteCount);
}

i32 Throw(const u8*, i32, u32) {
    throw std::runtime_error("callback failed");
}

TEST(TextureCompressor, SecondCallWhileOneRuns) {
    const Picture picture = FixturePicture("logo", 4);
    g_InnerPicture = &picture;
    TextureCompressorOptions options = LevelOptions(13);
    options.TextureKind = kCompressorTextureKindCube;
    const Picture strip = MakePicture(48, 8, 4, [](u32 x, u32 y) { return 0x7F102030 + x * y; });
    const Outcome alone = Compress(strip, options);
    CLogWatch log;
    const Outcome nested = Compress(strip, options, RecordAndCallAgain);
    EXPECT_EQ(nested.Result, 0);
    EXPECT_EQ(g_InnerResult, -7);
    EXPECT_NE(log.Since().find("while another runs"), std::string::npos);
    ASSERT_EQ(nested.Pieces.size(), 6u);
    ASSERT_EQ(alone.Pieces.size(), 6u);
    for (u32 i = 0; i < 6; ++i)
        EXPECT_EQ(nested.Pieces[i].Bytes, alone.Pieces[i].Bytes) << i;
    // Once it has ended, calls run again; also after a callback that threw.
    EXPECT_EQ(Compress(strip, options).Result, 0);
    EXPECT_THROW(Compress(strip, options, Throw), std::runtime_error);
    EXPECT_EQ(Compress(strip, options).Result, 0);
}

} // namespace

namespace {

// R5G6B5 blue fields of an 8 x 8 picture whose blue bytes are all 0x0C (half-way between the
// 5-bit levels 0x08 and 0x10): dithered, the pixels where the half-way pattern (1010, 0101 by
// rows) has a 1 go up to 2; undithered all stay 1.
u32 DitheredBlueField(u32 x, u32 y) {
    return (x + y) % 2 == 0 ? 2 : 1;
}

} // namespace

// DitherOnLoad dithers every pixel as it is loaded to the format's precision; formats of full
// precision take the pixels as they are.
TEST(TextureCompressor, DitherOnLoad) {
    const Picture picture = MakePicture(8, 8, 4, [](u32, u32) { return 0x8103050Cu; });
    TextureCompressorOptions options = LevelOptions(16);
    options.DitherOnLoad = 1;
    const Outcome dithered = Compress(picture, options);
    ASSERT_EQ(dithered.Result, 0);
    ASSERT_EQ(dithered.Pieces.size(), 1u);
    for (u32 y = 0; y < 8; ++y)
        for (u32 x = 0; x < 8; ++x) {
            const u8* p = &dithered.Pieces[0].Bytes[(y * 8 + x) * 2];
            EXPECT_EQ((p[0] | p[1] << 8) & 0x1F, DitheredBlueField(x, y)) << x << ", " << y;
        }
    for (i16 format : {17, 21}) {
        options.FormatCode = format;
        const Outcome copy = Compress(picture, options);
        ASSERT_EQ(copy.Result, 0);
        EXPECT_EQ(copy.Pieces[0].Bytes, std::vector<u8>(picture.Bytes.begin(), picture.Bytes.end()))
            << format;
    }
}

// DitherEachLevel dithers each level of the compressor's chain before it is encoded, in the
// level's own coordinates; without it every level of the constant picture stays 1.
TEST(TextureCompressor, DitherEachLevel) {
    const Picture picture = MakePicture(8, 8, 3, [](u32, u32) { return 0x0000000Cu; });
    TextureCompressorOptions options = LevelOptions(16);
    options.MipMode = 0; // the whole chain, 2 x 2 box
    options.MipFilter = 0;
    for (bool dither : {false, true}) {
        SCOPED_TRACE(dither);
        options.DitherEachLevel = dither;
        const Outcome out = Compress(picture, options);
        ASSERT_EQ(out.Result, 0);
        ASSERT_EQ(out.Pieces.size(), 4u);
        for (u32 k = 0, side = 8; k < 4; ++k, side /= 2) {
            EXPECT_EQ(out.Pieces[k].Level, i32(k));
            ASSERT_EQ(out.Pieces[k].Bytes.size(), side * side * 2);
            for (u32 y = 0; y < side; ++y)
                for (u32 x = 0; x < side; ++x) {
                    const u8* p = &out.Pieces[k].Bytes[(y * side + x) * 2];
                    EXPECT_EQ((p[0] | p[1] << 8) & 0x1F, dither ? DitheredBlueField(x, y) : 1u)
                        << "level " << k << " at " << x << ", " << y;
                }
        }
    }
}

// The palette format: the 1024-byte palette at level 0, once per call, made from the first
// level; then every level's (or face's) index bytes, each index naming an entry. A picture of few
// colours keeps them exactly; three-channel entries are red, green, blue, 255, four-channel ones
// blue, green, red, alpha; the error diffusion (either dither option) leaves colours of 4 bits.
TEST(TextureCompressor, PaletteFormat) {
    const auto colour = [](u32 x, u32 y) {
        return 0x80000000u | ((x / 2) * 0x30 + (y / 4) * 0x4000);
    };
    const struct {
        const char* Name;
        u32 Width;
        u32 Channels;
        i16 MipMode;
        i16 TextureKind;
        u8 Dither;
        std::vector<std::pair<i32, u32>> Pieces; // level, bytes
    } cases[] = {
        {"one level, 3 channels", 8, 3, 33, 80, 0, {{0, 1024}, {0, 64}}},
        {"one level, 4 channels", 8, 4, 33, 80, 0, {{0, 1024}, {0, 64}}},
        {"chain", 8, 3, 0, 80, 0, {{0, 1024}, {0, 64}, {1, 16}, {2, 4}, {3, 1}}},
        {"chain, diffused", 8, 4, 0, 80, 1, {{0, 1024}, {0, 64}, {1, 16}, {2, 4}, {3, 1}}},
        {"cube",
         48,
         3,
         33,
         81,
         0,
         {{0, 1024}, {0, 64}, {0, 64}, {0, 64}, {0, 64}, {0, 64}, {0, 64}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const Picture picture = MakePicture(c.Width, 8, c.Channels, colour);
        TextureCompressorOptions options = LevelOptions(20);
        options.MipMode = c.MipMode;
        options.MipFilter = 0;
        options.TextureKind = c.TextureKind;
        options.DitherOnLoad = c.Dither;
        const Outcome out = Compress(picture, options);
        ASSERT_EQ(out.Result, 0);
        ASSERT_EQ(out.Pieces.size(), c.Pieces.size());
        for (size_t i = 0; i < c.Pieces.size(); ++i) {
            EXPECT_EQ(out.Pieces[i].Level, c.Pieces[i].first) << i;
            EXPECT_EQ(out.Pieces[i].Bytes.size(), c.Pieces[i].second) << i;
        }
        const std::vector<u8>& palette = out.Pieces[0].Bytes;
        u32 used = 0;
        while (used < 256 && (palette[used * 4] | palette[used * 4 + 1] | palette[used * 4 + 2] |
                              palette[used * 4 + 3]))
            ++used;
        ASSERT_GT(used, 0u);
        for (u32 i = used * 4; i < 1024; ++i)
            ASSERT_EQ(palette[i], 0) << "byte " << i;
        for (size_t piece = 1; piece < out.Pieces.size(); ++piece)
            for (u8 index : out.Pieces[piece].Bytes)
                ASSERT_LT(index, used) << "piece " << piece;
        // The top level (the first face) entry by entry: the pixel's own colour.
        const std::vector<u8>& top = out.Pieces[1].Bytes;
        for (u32 y = 0; y < 8; ++y)
            for (u32 x = 0; x < 8; ++x) {
                const u8* entry = &palette[top[y * 8 + x] * 4];
                const u8* pixel = picture.Pixel(x, y);
                if (c.Dither) {
                    for (u32 b = 0; b < 3; ++b)
                        EXPECT_EQ(entry[b] & 0x0F, 0) << x << ", " << y;
                    continue;
                }
                if (c.Channels == 3)
                    EXPECT_TRUE(entry[0] == pixel[2] && entry[1] == pixel[1] &&
                                entry[2] == pixel[0] && entry[3] == 255)
                        << x << ", " << y;
                else
                    EXPECT_EQ(std::memcmp(entry, pixel, 4), 0) << x << ", " << y;
            }
    }
}

// The palette format's work areas count against the image limit with the working image: over it,
// "Not enough memory" and -4 before anything is handed over.
TEST(TextureCompressor, PaletteOverTheLimit) {
    const Picture picture = MakePicture(16, 16, 4, [](u32 x, u32 y) { return x * 0x10 + y; });
    CImageLimit limit(PaletteWorkingBytes(16, 16) - 1);
    CLogWatch log;
    const Outcome out = Compress(picture, LevelOptions(20));
    EXPECT_EQ(out.Result, -4);
    EXPECT_TRUE(out.Pieces.empty());
    EXPECT_NE(log.Since().find("Not enough memory"), std::string::npos);
    CImageLimit enough(PaletteWorkingBytes(16, 16));
    EXPECT_EQ(Compress(picture, LevelOptions(20)).Result, 0);
}
