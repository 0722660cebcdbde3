// The DXT block encoder: fixed blocks, the rules every block keeps over a generated corpus (judged
// by our decoder and by libsquish's), frozen output of a picture corpus, a quality floor against
// libsquish's cluster fit, and PIL reading our blocks.
#include "plug/bitmap/DxtEncoder.h"

#include "core/base/ClassicMd5.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/plug/bitmap/DdsTestFile.h"
#include "tests/plug/bitmap/DxtBlockCheck.h"
#include "tests/plug/bitmap/PictureTestSupport.h"
#include "tests/system/SystemTestSupport.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <limits>
#include <map>
#include <random>
#include <squish.h>
#include <thread>

namespace {

using dxtcheck::BlockTexels;
using dxtcheck::CheckBlock;
using dxtcheck::DecodeBlock;

// The two weight settings of the texture compressor: equal channels, and the perceptual
// (0.309, 0.609, 0.082); each divided by its length and stored as floats.
struct Weights {
    const char* Name;
    double W[3];
};
Weights MakeWeights(const char* name, double r, double g, double b) {
    const double length = std::sqrt(r * r + g * g + b * b);
    return {name,
            {double(float(r / length)), double(float(g / length)), double(float(b / length))}};
}
const Weights kEqual = MakeWeights("equal", 1, 1, 1);
const Weights kPerceptual = MakeWeights("perceptual", 0.309, 0.609, 0.082);

constexpr u32 kModes[] = {EDxtEncodeMode_Opaque, EDxtEncodeMode_AlphaCompare,
                          EDxtEncodeMode_ExplicitAlpha, EDxtEncodeMode_InterpolatedAlpha};

u32 BlockBytes(u32 mode) {
    return mode & 0xFF00 ? 16 : 8;
}

// A surface of A, R, G, B words as the little-endian bytes the encoder reads.
std::vector<u8> SurfaceBytes(const std::vector<u32>& argb) {
    std::vector<u8> bytes(argb.size() * 4);
    for (size_t i = 0; i < argb.size(); ++i)
        for (u32 k = 0; k < 4; ++k)
            bytes[i * 4 + k] = u8(argb[i] >> (8 * k));
    return bytes;
}

std::vector<u8> Encode(const std::vector<u32>& argb, u32 width, u32 height, u32 mode,
                       const double* weights, bool force) {
    const std::vector<u8> bytes = SurfaceBytes(argb);
    std::vector<u8> out(DxtSurfaceSize(width, height, mode));
    EXPECT_TRUE(EncodeDxtSurface(MakeDxtSurfaceDesc(bytes.data(), width, height), mode, weights,
                                 out, force));
    return out;
}

std::string Hex(const u8* bytes, size_t count) {
    std::string text;
    char digits[3];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
        text += digits;
    }
    return text;
}

// The texels of the first block of a width x height surface, zero pixels beyond it.
BlockTexels FirstBlock(const std::vector<u32>& argb, u32 width, u32 height) {
    BlockTexels texels;
    for (u32 p = 0; p < 16; ++p) {
        const u32 x = p % 4, y = p / 4;
        texels.Inside[p] = x < std::max(width, 4u) && y < std::max(height, 4u);
        texels.Pixels[p] = x < width && y < height ? argb[y * width + x] : 0;
    }
    return texels;
}

std::vector<u32> Filled(u32 count, u32 argb) {
    return std::vector<u32>(count, argb);
}

// ---------------------------------------------------------------------------------------------

// Blocks whose bytes are known: one colour in each mode, DXT3 nibbles, DXT5 one alpha.
TEST(DxtEncoder, KnownBlocks) {
    std::vector<u32> nibbles(16);
    for (u32 p = 0; p < 16; ++p)
        nibbles[p] = (17 * p) << 24; // alpha 17p is the 4-bit value p; black
    const struct {
        const char* Name;
        std::vector<u32> Pixels;
        u32 Mode;
        bool Force;
        const char* Bytes;
    } cases[] = {
        {"white", Filled(16, 0xFFFFFFFF), 0, false, "FFFF000000000000"},
        {"white forced", Filled(16, 0xFFFFFFFF), 0, true, "FFFF000000000000"},
        {"black", Filled(16, 0xFF000000), 0, false, "0100000055555555"},
        {"DXT1a black", Filled(16, 0xFF000000), 2, false, "0000010000000000"},
        {"DXT1a transparent", Filled(16, 0x80FFFFFF), 2, false, "00000100FFFFFFFF"},
        // Alpha 129 is above 128 << 24 only as an unsigned compare.
        {"DXT1a alpha 129", Filled(16, 0x81FFFFFF), 2, false, "0000FFFF55555555"},
        {"DXT3 nibbles", nibbles, 0x100, false, "1032547698BADCFE0100000055555555"},
        {"DXT3 136", Filled(16, 0x88000000), 0x100, false, "88888888888888880100000055555555"},
        {"DXT5 all 255", Filled(16, 0xFFFFFFFF), 0x200, false, "FFFF000000000000FFFF000000000000"},
        {"DXT5 all 0", Filled(16, 0x00000000), 0x200, false, "00010000000000000100000055555555"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::vector<u8> out = Encode(c.Pixels, 4, 4, c.Mode, kPerceptual.W, c.Force);
        EXPECT_EQ(Hex(out.data(), out.size()), c.Bytes);
    }
}

// Blocks judged by what they decode to.
TEST(DxtEncoder, BlockRules) {
    // Opaque colours along a ramp with transparent texels on the diagonal.
    std::vector<u32> holes(16);
    for (u32 p = 0; p < 16; ++p)
        holes[p] = p % 5 == 0 ? 0x40102030 : 0xFF000000 | (p * 16) << 16 | (255 - p * 12) << 8 | 90;
    // Alpha 0, 255 and values between.
    std::vector<u32> extremes(16);
    for (u32 p = 0; p < 16; ++p)
        extremes[p] = (p < 4 ? 0 : p < 8 ? 255 : 100 + 10 * (p - 8)) << 24 | 0x336699;
    const u32 white = 0xFFFFFFFF;
    std::vector<u32> blueOnly(16);
    for (u32 p = 0; p < 16; ++p)
        blueOnly[p] = p % 2 ? 0xFF804000 : 0xFF8040FF;
    const double noBlue[3] = {0.7071, 0.7071, 0};
    const struct {
        const char* Name;
        std::vector<u32> Pixels;
        u32 Width, Height, Mode;
        bool Force;
        const double* Weights;
        std::function<void(const u8* block, const u8 decoded[16][4])> Check;
    } cases[] = {
        {"DXT1a with holes", holes, 4, 4, 2, false, kEqual.W, nullptr},
        // Forcing four colours would give the holes a colour: the block stays three-colour.
        {"DXT1a with holes, forced", holes, 4, 4, 2, true, kEqual.W, nullptr},
        {"DXT5 extremes", extremes, 4, 4, 0x200, false, kEqual.W,
         [](const u8* block, const u8 decoded[16][4]) {
             EXPECT_LE(block[0], block[1]) << "six levels";
             for (u32 p = 0; p < 8; ++p) {
                 EXPECT_EQ(dxtcheck::AlphaIndex(block, p), p < 4 ? 6u : 7u) << p;
                 EXPECT_EQ(decoded[p][3], p < 4 ? 0 : 255) << p;
             }
             for (u32 p = 8; p < 16; ++p)
                 EXPECT_NEAR(decoded[p][3], 100 + 10 * (p - 8), 7) << p; // 70 in five steps
         }},
        // Sides below 4 read as 4, the texels beyond the picture as zero pixels.
        {"2 x 3 in DXT1", Filled(6, white), 2, 3, 0, false, kEqual.W,
         [](const u8*, const u8 decoded[16][4]) {
             for (u32 p = 0; p < 16; ++p)
                 EXPECT_EQ(decoded[p][0], p % 4 < 2 && p / 4 < 3 ? 255 : 0) << p;
         }},
        {"2 x 3 in DXT1a", Filled(6, white), 2, 3, 2, false, kEqual.W,
         [](const u8*, const u8 decoded[16][4]) {
             for (u32 p = 0; p < 16; ++p)
                 EXPECT_EQ(decoded[p][3], p % 4 < 2 && p / 4 < 3 ? 255 : 0) << p;
         }},
        // Two colours apart only in blue, which weighs nothing: one colour to the fit.
        {"apart only where the weight is 0", blueOnly, 4, 4, 0, false, noBlue,
         [](const u8*, const u8 decoded[16][4]) {
             for (u32 p = 0; p < 16; ++p) {
                 EXPECT_NEAR(decoded[p][0], 0x80, 4) << p;
                 EXPECT_NEAR(decoded[p][1], 0x40, 2) << p;
             }
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::vector<u8> out = Encode(c.Pixels, c.Width, c.Height, c.Mode, c.Weights, c.Force);
        ASSERT_EQ(out.size(), BlockBytes(c.Mode));
        EXPECT_EQ(CheckBlock(out.data(), c.Mode, c.Force, FirstBlock(c.Pixels, c.Width, c.Height)),
                  "");
        u8 decoded[16][4];
        DecodeBlock(out.data(), c.Mode, decoded);
        if (c.Check)
            c.Check(out.data(), decoded);
    }
}

// Arguments the encoder cannot use: nothing is written, the log says why.
TEST(DxtEncoder, RefusesBadArguments) {
    std::vector<u8> pixels(8 * 8 * 4, 0x7F);
    const struct {
        const char* Name;
        std::function<void(DxtSurfaceDesc&, u32& mode, const double*& weights, size_t& size)> Spoil;
    } cases[] = {
        {"mode", [](auto&, u32& mode, auto&, auto&) { mode = 0x300; }},
        {"mode bits", [](auto&, u32& mode, auto&, auto&) { mode = 0x102; }},
        {"zero width", [](DxtSurfaceDesc& s, auto&, auto&, auto&) { s.Width = 0; }},
        {"huge height", [](DxtSurfaceDesc& s, auto&, auto&, auto&) { s.Height = 1u << 20; }},
        {"null pixels", [](DxtSurfaceDesc& s, auto&, auto&, auto&) { s.Pixels = nullptr; }},
        {"short pitch", [](DxtSurfaceDesc& s, auto&, auto&, auto&) { s.Pitch = 31; }},
        {"empty mask", [](DxtSurfaceDesc& s, auto&, auto&, auto&) { s.GreenMask = 0; }},
        {"short output", [](auto&, auto&, auto&, size_t& size) { size = 31; }},
        {"no weights", [](auto&, auto&, const double*& w, auto&) { w = nullptr; }},
        {"weight not a number",
         [](auto&, auto&, const double*& w, auto&) {
             static const double weights[3] = {1, std::numeric_limits<double>::quiet_NaN(), 1};
             w = weights;
         }},
        {"weight too large",
         [](auto&, auto&, const double*& w, auto&) {
             static const double weights[3] = {1, 1e300, 1};
             w = weights;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        DxtSurfaceDesc surface = MakeDxtSurfaceDesc(pixels.data(), 8, 8);
        u32 mode = 0;
        const double* weights = kEqual.W;
        size_t size = 32;
        c.Spoil(surface, mode, weights, size);
        std::vector<u8> out(64, 0xAB);
        CLogWatch log;
        EXPECT_FALSE(
            EncodeDxtSurface(surface, mode, weights, std::span<u8>(out.data(), size), false));
        EXPECT_EQ(out, std::vector<u8>(64, 0xAB));
        EXPECT_NE(log.Since().find("DxtEncoder : "), std::string::npos) << log.Since();
    }
    // Negative weights count as 0: the same bytes as with the weight 0.
    const double negative[3] = {-1, 0.5, 0.5}, zero[3] = {0, 0.5, 0.5};
    std::vector<u8> a(32), b(32);
    const DxtSurfaceDesc noise = MakeDxtSurfaceDesc(pixels.data(), 8, 8);
    for (u32 i = 0; i < pixels.size(); ++i)
        pixels[i] = u8(i * 37 + i / 7);
    ASSERT_TRUE(EncodeDxtSurface(noise, 0, negative, a, false));
    ASSERT_TRUE(EncodeDxtSurface(noise, 0, zero, b, false));
    EXPECT_EQ(a, b);
}

// ---------------------------------------------------------------------------------------------
// A corpus of blocks from a fixed generator: random, gradients, two colours, grey, alpha ramps
// and one-bit alpha.

using Block = std::array<u32, 16>;

std::vector<Block> MakeCorpus(u32 count) {
    std::mt19937 random(2026);
    auto byte = [&] { return u32(random() & 0xFF); };
    auto colour = [&] { return byte() << 16 | byte() << 8 | byte(); };
    auto lerp = [](u32 a, u32 b, u32 step, u32 steps) {
        u32 out = 0;
        for (u32 shift = 0; shift < 24; shift += 8) {
            const u32 ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
            out |= ((ca * (steps - step) + cb * step) / steps) << shift;
        }
        return out;
    };
    std::vector<Block> corpus(count);
    for (u32 i = 0; i < count; ++i) {
        Block& block = corpus[i];
        const u32 a = colour(), b = colour();
        const u32 grey = byte();
        for (u32 p = 0; p < 16; ++p) {
            const u32 x = p % 4, y = p / 4;
            switch (i % 6) {
                case 0: // random, random alpha
                    block[p] = byte() << 24 | colour();
                    break;
                case 1: // gradient, opaque, with a little noise
                    block[p] = 0xFF000000 | (lerp(a, b, x + y, 6) ^ (random() & 0x030303));
                    break;
                case 2: // two colours
                    block[p] = 0xFF000000 | (random() & 1 ? a : b);
                    break;
                case 3: { // grey within 2 per channel
                    u32 g = 0;
                    for (u32 shift = 0; shift < 24; shift += 8)
                        g |= std::min(grey + u32(random() % 3), 255u) << shift;
                    block[p] = 0xFF000000 | g;
                    break;
                }
                case 4: // alpha ramp over a gradient
                    block[p] = (p * 17) << 24 | lerp(a, b, y, 3);
                    break;
                default: // one-bit alpha
                    block[p] = (random() & 1 ? 0xFF000000 : 0) | lerp(a, b, x, 3);
                    break;
            }
        }
    }
    return corpus;
}

struct Config {
    u32 Mode;
    bool Force;
    const Weights* W;
};

std::vector<Config> AllConfigs() {
    std::vector<Config> configs;
    for (u32 mode : kModes)
        for (bool force : {false, true})
            for (const Weights* w : {&kEqual, &kPerceptual})
                configs.push_back({mode, force, w});
    return configs;
}

int SquishFlags(u32 mode) {
    return mode == EDxtEncodeMode_ExplicitAlpha       ? squish::kDxt3
           : mode == EDxtEncodeMode_InterpolatedAlpha ? squish::kDxt5
                                                      : squish::kDxt1;
}

// The weighted squared colour error of the included texels of a decoded block.
double ColourError(const Block& block, const u8 decoded[16][4], u32 mode, const double* w) {
    double error = 0;
    for (u32 p = 0; p < 16; ++p) {
        if (mode == EDxtEncodeMode_AlphaCompare && (block[p] >> 24) <= 128)
            continue;
        for (u32 c = 0; c < 3; ++c) {
            const double d =
                w[c] * (double(decoded[p][c]) - double((block[p] >> (16 - 8 * c)) & 0xFF));
            error += d * d;
        }
    }
    return error;
}

// The plain encoder to beat: the smallest and largest value of each channel, rounded to 5:6:5,
// four colours (three when a texel is transparent), each texel on its nearest entry.
double MinMaxError(const Block& block, u32 mode, const double* w) {
    i32 low[3] = {255, 255, 255}, high[3] = {0, 0, 0};
    bool holes = false;
    for (u32 p = 0; p < 16; ++p) {
        if (mode == EDxtEncodeMode_AlphaCompare && (block[p] >> 24) <= 128) {
            holes = true;
            continue;
        }
        for (u32 c = 0; c < 3; ++c) {
            const i32 v = i32((block[p] >> (16 - 8 * c)) & 0xFF);
            low[c] = std::min(low[c], v);
            high[c] = std::max(high[c], v);
        }
    }
    i32 palette[4][3];
    for (u32 c = 0; c < 3; ++c) {
        const i32 top = c == 1 ? 63 : 31, bits = c == 1 ? 6 : 5;
        const i32 l0 = (high[c] * top + 127) / 255, l1 = (low[c] * top + 127) / 255;
        const i32 e0 = (l0 << (8 - bits)) | (l0 >> (2 * bits - 8));
        const i32 e1 = (l1 << (8 - bits)) | (l1 >> (2 * bits - 8));
        palette[0][c] = e0;
        palette[1][c] = e1;
        palette[2][c] = holes ? (e0 + e1) / 2 : (2 * e0 + e1 + 1) / 3;
        palette[3][c] = (e0 + 2 * e1 + 1) / 3;
    }
    double error = 0;
    for (u32 p = 0; p < 16; ++p) {
        if (mode == EDxtEncodeMode_AlphaCompare && (block[p] >> 24) <= 128)
            continue;
        double nearest = 1e300;
        for (u32 i = 0; i < (holes ? 3u : 4u); ++i) {
            double d2 = 0;
            for (u32 c = 0; c < 3; ++c) {
                const double d =
                    w[c] * (double(palette[i][c]) - double((block[p] >> (16 - 8 * c)) & 0xFF));
                d2 += d * d;
            }
            nearest = std::min(nearest, d2);
        }
        error += nearest;
    }
    return error;
}

// Every block of the corpus, each in one of the sixteen settings (mode, force, weights): the
// rules hold, libsquish decodes what our decoder decodes, and the summed error stays below
// the plain min/max encoder's.
TEST(DxtEncoder, CorpusKeepsTheRules) {
    const std::vector<Block> corpus = MakeCorpus(20000);
    const std::vector<Config> configs = AllConfigs();
    double ours = 0, plain = 0;
    u32 worse = 0, failures = 0;
    for (u32 i = 0; i < corpus.size() && failures < 10; ++i) {
        const Block& block = corpus[i];
        const Config& config = configs[(i / 6) % configs.size()];
        const std::vector<u8> out = Encode(std::vector<u32>(block.begin(), block.end()), 4, 4,
                                           config.Mode, config.W->W, config.Force);
        BlockTexels texels;
        for (u32 p = 0; p < 16; ++p) {
            texels.Pixels[p] = block[p];
            texels.Inside[p] = true;
        }
        const std::string broken = CheckBlock(out.data(), config.Mode, config.Force, texels);
        if (!broken.empty()) {
            ADD_FAILURE() << "block " << i << " mode " << config.Mode << ": " << broken << " "
                          << Hex(out.data(), out.size());
            ++failures;
        }
        // Our decoder reads the transparent entry as libsquish does here.
        u8 decoded[16][4], theirs[16][4];
        DecodeBlock(out.data(), config.Mode == 0 ? 2 : config.Mode, decoded);
        squish::Decompress(&theirs[0][0], out.data(), SquishFlags(config.Mode));
        for (u32 p = 0; p < 16; ++p)
            for (u32 c = 0; c < 4; ++c)
                if (std::abs(decoded[p][c] - theirs[p][c]) > 1 && failures++ < 10)
                    ADD_FAILURE() << "block " << i << " texel " << p << " channel " << c
                                  << ": ours " << int(decoded[p][c]) << ", libsquish "
                                  << int(theirs[p][c]);
        if (config.Mode <= EDxtEncodeMode_AlphaCompare && !config.Force) {
            const double a = ColourError(block, decoded, config.Mode, config.W->W);
            const double b = MinMaxError(block, config.Mode, config.W->W);
            ours += a;
            plain += b;
            worse += a > b;
        }
    }
    EXPECT_LT(ours, plain);
    RecordProperty("blocks_worse_than_min_max", int(worse));
    std::printf("DXT1 weighted error: %.0f against %.0f for min/max; %u blocks worse\n", ours,
                plain, worse);
}

// ---------------------------------------------------------------------------------------------
// The picture corpus: 64 x 64 crops of ImageMagick's logo and rose, a gradient, hard edges,
// noise and an alpha ramp, as R, G, B, A bytes (made by fixtures/dxt/make_images.sh).

constexpr const char* kPictures[] = {"logo", "rose", "gradient", "edges", "noise", "alpharamp"};

std::vector<u32> ArgbOf(const std::vector<u8>& rgba) {
    std::vector<u32> argb(rgba.size() / 4);
    for (size_t i = 0; i < argb.size(); ++i)
        argb[i] = u32(rgba[i * 4 + 3]) << 24 | u32(rgba[i * 4]) << 16 | u32(rgba[i * 4 + 1]) << 8 |
                  rgba[i * 4 + 2];
    return argb;
}

std::string Md5Hex(const std::vector<u8>& bytes) {
    u8 digest[16];
    ClassicMd5(bytes.data(), u32(bytes.size()), digest);
    std::string text = Hex(digest, 16);
    for (char& c : text)
        c = char(std::tolower(c));
    return text;
}

// The encoder's output is frozen: a changed byte is a change of behaviour to explain.
TEST(DxtEncoder, PictureCorpusKeepsItsBytes) {
    const std::map<std::string, std::string> goldens = {
#include "DxtEncoderGoldens.inc"
    };
    std::string actual;
    for (const char* name : kPictures) {
        const std::vector<u32> argb = ArgbOf(DxtFixturePicture(name));
        for (u32 mode : kModes)
            for (const Weights* w : {&kEqual, &kPerceptual}) {
                const std::string key =
                    std::string(name) + " " + std::to_string(mode) + " " + w->Name;
                const std::string digest = Md5Hex(Encode(argb, 64, 64, mode, w->W, false));
                actual += "    {\"" + key + "\", \"" + digest + "\"},\n";
                const auto found = goldens.find(key);
                EXPECT_TRUE(found != goldens.end() && found->second == digest)
                    << key << " " << digest;
            }
    }
    if (HasFailure())
        std::printf("Digests now:\n%s", actual.c_str());
}

// RGB error of our DXT1 and DXT5 blocks against libsquish's cluster fit, both decoded by
// libsquish, equal channel weights: on each picture, ours at most 1.10 times theirs.
TEST(DxtEncoder, QualityNearLibsquish) {
    float metric[3] = {1, 1, 1};
    for (u32 mode : {u32(EDxtEncodeMode_Opaque), u32(EDxtEncodeMode_InterpolatedAlpha)}) {
        for (const char* name : kPictures) {
            std::vector<u8> rgba = DxtFixturePicture(name);
            if (mode == EDxtEncodeMode_Opaque)
                for (size_t i = 3; i < rgba.size(); i += 4)
                    rgba[i] = 255;
            const std::vector<u8> out = Encode(ArgbOf(rgba), 64, 64, mode, kEqual.W, false);
            const u32 bytes = BlockBytes(mode);
            double ours = 0, theirs = 0;
            for (u32 b = 0; b < 256; ++b) {
                u8 source[16][4], ourTexels[16][4], theirTexels[16][4], theirBlock[16];
                for (u32 p = 0; p < 16; ++p)
                    std::memcpy(source[p],
                                &rgba[((b / 16 * 4 + p / 4) * 64 + b % 16 * 4 + p % 4) * 4], 4);
                squish::Decompress(&ourTexels[0][0], &out[b * bytes], SquishFlags(mode));
                squish::Compress(&source[0][0], theirBlock,
                                 SquishFlags(mode) | squish::kColourClusterFit, metric);
                squish::Decompress(&theirTexels[0][0], theirBlock, SquishFlags(mode));
                for (u32 p = 0; p < 16; ++p)
                    for (u32 c = 0; c < 3; ++c) {
                        const double d0 = double(ourTexels[p][c]) - source[p][c];
                        const double d1 = double(theirTexels[p][c]) - source[p][c];
                        ours += d0 * d0;
                        theirs += d1 * d1;
                    }
            }
            const double ourRmse = std::sqrt(ours / (64 * 64 * 3));
            const double theirRmse = std::sqrt(theirs / (64 * 64 * 3));
            std::printf("mode 0x%X %s: RGB RMSE %.3f, libsquish %.3f\n", mode, name, ourRmse,
                        theirRmse);
            EXPECT_LE(ourRmse, 1.10 * theirRmse) << "mode " << mode << " " << name;
        }
    }
}

// PIL reads a DDS file around our blocks as libsquish decodes them (within 2 per channel).
TEST(DxtEncoder, PilDecodesOurBlocks) {
    CTempFolder folder;
    std::string paths;
    std::vector<std::vector<u8>> outputs;
    for (u32 mode : kModes) {
        const std::vector<u8> out =
            Encode(ArgbOf(DxtFixturePicture("alpharamp")), 64, 64, mode, kPerceptual.W, false);
        const char* fourCc = mode == EDxtEncodeMode_ExplicitAlpha       ? "DXT3"
                             : mode == EDxtEncodeMode_InterpolatedAlpha ? "DXT5"
                                                                        : "DXT1";
        const std::string path = folder.File("mode" + std::to_string(mode) + ".dds");
        WriteWholeFile(path, ddstest::DdsFile(64, 64, fourCc, out));
        paths += path + " ";
        outputs.push_back(out);
    }
    const std::vector<u32> pil = ddstest::Numbers(RunPython(folder,
                                                            "import sys\n"
                                                            "from PIL import Image\n"
                                                            "for path in sys.argv[1:]:\n"
                                                            "    image = Image.open(path)\n"
                                                            "    image.load()\n"
                                                            "    print(' '.join(str(b) for b in "
                                                            "image.convert('RGBA').tobytes()))\n",
                                                            paths));
    ASSERT_EQ(pil.size(), std::size(kModes) * 64 * 64 * 4);
    for (u32 m = 0; m < std::size(kModes); ++m) {
        SCOPED_TRACE(kModes[m]);
        const u32 bytes = BlockBytes(kModes[m]);
        u32 worst = 0;
        for (u32 b = 0; b < 256; ++b) {
            u8 texels[16][4];
            squish::Decompress(&texels[0][0], &outputs[m][b * bytes], SquishFlags(kModes[m]));
            for (u32 p = 0; p < 16; ++p) {
                const u32 pixel = (b / 16 * 4 + p / 4) * 64 + b % 16 * 4 + p % 4;
                for (u32 c = 0; c < 4; ++c)
                    worst = std::max(worst, u32(std::abs(i32(pil[(m * 4096 + pixel) * 4 + c]) -
                                                         i32(texels[p][c]))));
            }
        }
        EXPECT_LE(worst, 2u);
    }
}

// Two threads encoding at once, the uniform-colour table built by whichever comes first, give
// the bytes of one thread alone.
TEST(DxtEncoder, ThreadsGiveTheSameBytes) {
    const std::vector<u32> argb = ArgbOf(DxtFixturePicture("edges"));
    std::vector<u8> first, second;
    std::thread a([&] { first = Encode(argb, 64, 64, 0x200, kPerceptual.W, false); });
    std::thread b([&] { second = Encode(argb, 64, 64, 0x200, kPerceptual.W, false); });
    a.join();
    b.join();
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, Encode(argb, 64, 64, 0x200, kPerceptual.W, false));
}

} // namespace
