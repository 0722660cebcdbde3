// The compressor's own mip filters: I0 and the windowed-sinc kernels against Python's series,
// the sides of every filter's levels and the progress calls, constant pictures kept constant,
// the byte box, mirroring on planes of one sample, and each filter's levels against
// ImageMagick's halving of the level before (a check of orientation and scale).
#include "plug/bitmap/TextureMipFilters.h"

#include "core/base/Folded.h"
#include "tests/core/ExternalToolSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr i16 kFilters[] = {134, 135, 136, 137, 0};

TEST(TextureMipFilters, BesselAndKernels) {
    EXPECT_NEAR(BesselI0(4), 11.301921952136330, 1e-12);
    EXPECT_EQ(BesselI0(0), 1.0);
    CTempFolder folder;
    const std::string python = RunPython(folder,
                                         "import sys\n"
                                         "for z in map(float, sys.argv[1:]):\n"
                                         "    term, total, k = 1.0, 1.0, 1\n"
                                         "    while True:\n"
                                         "        term = term * (z / 2) / k\n"
                                         "        total += term * term\n"
                                         "        k += 1\n"
                                         "        if term * term <= total * 1e-16:\n"
                                         "            break\n"
                                         "    print('%.17g' % total)\n",
                                         "0.5 3.9 4 12.25");
    std::istringstream in(python);
    for (f64 z : {0.5, 3.9, 4.0, 12.25}) {
        f64 expected = 0;
        in >> expected;
        EXPECT_NEAR(BesselI0(z), expected, expected * 1e-15) << z;
    }

    for (u32 k = 1; k <= 12; ++k) {
        SCOPED_TRACE(k);
        const FilterKernel kernel = MakeSincKernel(k);
        ASSERT_EQ(kernel.Taps.size(), 10u << (k - 1));
        const f64 sum = std::accumulate(kernel.Taps.begin(), kernel.Taps.end(), 0.0);
        EXPECT_NEAR(sum, 1.0, 1e-5);
        // Symmetric about the middle, largest there.
        const u32 n = u32(kernel.Taps.size());
        for (u32 i = 0; i < n / 2; ++i)
            EXPECT_EQ(kernel.Taps[i], kernel.Taps[n - 1 - i]) << i;
        EXPECT_EQ(*std::max_element(kernel.Taps.begin(), kernel.Taps.end()), kernel.Taps[n / 2]);
    }
    // Kernel 1: x = (i - 4.5) / 2, tap = I0(4 sqrt(1 - (x / 5)^2)) / I0(4) sinc(x), normalised.
    const FilterKernel first = MakeSincKernel(1);
    std::vector<f64> taps;
    for (u32 i = 0; i < 10; ++i) {
        const f64 x = (f64(i) - 5 + 0.5) * 0.5, r = x / 5;
        taps.push_back(BesselI0(4 * std::sqrt(1 - r * r)) / BesselI0(4) * std::sin(M_PI * x) /
                       (M_PI * x));
    }
    const f64 total = std::accumulate(taps.begin(), taps.end(), 0.0);
    for (u32 i = 0; i < 10; ++i)
        EXPECT_NEAR(first.Taps[i], taps[i] / total, 1e-6) << i;
}

std::vector<u8> ConstantPicture(u32 width, u32 height, const u8 (&pixel)[4]) {
    std::vector<u8> bytes(u64(width) * height * 4);
    for (u64 i = 0; i < bytes.size(); ++i)
        bytes[i] = pixel[i % 4];
    return bytes;
}

std::vector<i32> g_Progress;
i32 RecordProgress(i32 level) {
    g_Progress.push_back(level);
    return 0;
}

// Sides halve rounding up down to 1 x 1; every filter fills its levels and tells each one; a
// constant picture stays constant in every level the compressor takes from the chain (those
// made from a level whose sides are both at least 3).
TEST(TextureMipFilters, LevelsOfEveryFilter) {
    const u8 pixel[4] = {0, 77, 200, 255};
    const struct {
        u32 Width, Height;
        std::vector<std::pair<u32, u32>> Sides;
    } pictures[] = {
        {16, 16, {{16, 16}, {8, 8}, {4, 4}, {2, 2}, {1, 1}}},
        {32, 4, {{32, 4}, {16, 2}, {8, 1}, {4, 1}, {2, 1}, {1, 1}}},
        {1, 8, {{1, 8}, {1, 4}, {1, 2}, {1, 1}}},
        {4, 4, {{4, 4}, {2, 2}, {1, 1}}},
        {1, 1, {{1, 1}}},
    };
    static_assert(FoldedReturnZero<i32>(5) == 0 && FoldedReturnZero() == 0);
    for (const auto& p : pictures) {
        const std::vector<u8> top = ConstantPicture(p.Width, p.Height, pixel);
        for (i16 filter : kFilters) {
            SCOPED_TRACE(std::to_string(p.Width) + "x" + std::to_string(p.Height) + " filter " +
                         std::to_string(filter));
            g_Progress.clear();
            const auto chain = BuildMipChain(top.data(), p.Width, p.Height, filter, RecordProgress);
            ASSERT_NE(chain, nullptr);
            ASSERT_EQ(chain->Levels.size(), p.Sides.size());
            EXPECT_EQ(chain->Levels[0].Pixels, top.data());
            const bool sinc = filter == 136 || filter == 137;
            std::vector<i32> told(p.Sides.size() - (sinc && p.Sides.size() > 1 ? 2 : 1));
            std::iota(told.begin(), told.end(), 1);
            EXPECT_EQ(g_Progress, told);
            for (u32 L = 0; L < p.Sides.size(); ++L) {
                EXPECT_EQ(chain->Levels[L].Width, p.Sides[L].first) << L;
                EXPECT_EQ(chain->Levels[L].Height, p.Sides[L].second) << L;
                if (L > 0 && (p.Sides[L - 1].first < 3 || p.Sides[L - 1].second < 3))
                    continue;
                const MipLevel& level = chain->Levels[L];
                u32 wrong = 0;
                for (u64 i = 0; i < u64(level.Width) * level.Height * 4; ++i)
                    wrong += level.Pixels[i] != pixel[i % 4];
                EXPECT_EQ(wrong, 0u) << L;
            }
        }
    }
    // The compressor's progress callback answers 0 and is taken for any level.
    EXPECT_NE(BuildMipChain(ConstantPicture(8, 8, pixel).data(), 8, 8, 136, &FoldedReturnZero<i32>),
              nullptr);
}

// The box rounds each value to a byte, sums four and truncates: 1, 2, 2, 2 gives 1. The
// box-or-spline filter takes the box below 5 pixels a side.
TEST(TextureMipFilters, ByteBox) {
    const u8 top[16] = {1, 10, 255, 0, 2, 11, 255, 0, 2, 11, 254, 0, 2, 12, 254, 3};
    for (i16 filter : {0, 1, 134, 200}) {
        SCOPED_TRACE(filter);
        const auto chain = BuildMipChain(top, 2, 2, filter, nullptr);
        ASSERT_NE(chain, nullptr);
        ASSERT_EQ(chain->Levels.size(), 2u);
        const u8* level = chain->Levels[1].Pixels;
        EXPECT_EQ(std::vector<u8>(level, level + 4), (std::vector<u8>{1, 11, 254, 0}));
    }
    // 3 x 1: the third column pairs with itself (coordinates clamped).
    const u8 row[12] = {0, 0, 0, 0, 100, 100, 100, 100, 7, 50, 255, 1};
    const auto chain = BuildMipChain(row, 3, 1, 0, nullptr);
    ASSERT_NE(chain, nullptr);
    const u8* level = chain->Levels[1].Pixels;
    EXPECT_EQ(std::vector<u8>(level, level + 8), (std::vector<u8>{50, 50, 50, 50, 7, 50, 255, 1}));
}

// A plane of one sample across mirrors every index to that sample: the pass ends and keeps a
// constant plane constant, for the short and the longest kernels.
TEST(TextureMipFilters, MirroringOnOneSample) {
    for (u32 k : {1u, 12u}) {
        SCOPED_TRACE(k);
        const FilterKernel kernel = MakeSincKernel(k);
        for (auto [w, h] : {std::pair{1u, 6u}, std::pair{6u, 1u}, std::pair{1u, 1u}}) {
            const std::vector<f32> plane(w * h, 0.25f);
            std::vector<f32> work(((w + 1) / 2) * h), out(((w + 1) / 2) * ((h + 1) / 2), -1);
            FilterAndHalve(plane.data(), w, h, kernel, work.data(), out.data());
            for (f32 v : out)
                EXPECT_NEAR(v, 0.25f, 1e-5);
        }
    }
    // Mirroring about the end samples: with the two-tap kernel (0, 1) a row of 5 samples gives
    // samples 1, 3 and, past the end, 3 again.
    const FilterKernel second{{0.0f, 1.0f}};
    const f32 row[5] = {10, 11, 12, 13, 14};
    f32 work[3], out[3];
    FilterAndHalve(row, 5, 1, second, work, out);
    EXPECT_EQ(std::vector<f32>(out, out + 3), (std::vector<f32>{11, 13, 13}));
    // Filtered a full pass: a 64 x 1 picture through both sinc filters.
    const u8 pixel[4] = {9, 99, 199, 255};
    const std::vector<u8> wide = ConstantPicture(64, 1, pixel);
    for (i16 filter : {136, 137}) {
        const auto chain = BuildMipChain(wide.data(), 64, 1, filter, nullptr);
        ASSERT_NE(chain, nullptr);
        EXPECT_EQ(std::vector<u8>(chain->Levels[1].Pixels, chain->Levels[1].Pixels + 4),
                  std::vector<u8>(pixel, pixel + 4));
    }
}

// Each filter's levels of ImageMagick's 64 x 64 logo are near ImageMagick's own halving of the
// level before: the same picture at the same scale and orientation. The bound is loose: the
// filters and ImageMagick's differ.
TEST(TextureMipFilters, LevelsNearImageMagick) {
    CTempFolder folder;
    const std::string logo = folder.File("logo.bgra");
    RunCommand("convert logo: -resize '64x64!' -depth 8 bgra:" + logo);
    const std::string bytes = ReadWholeFile(logo);
    ASSERT_EQ(bytes.size(), 64u * 64 * 4);
    const std::vector<u8> top(bytes.begin(), bytes.end());
    const struct {
        i16 Filter;
        f64 MaxRmse;
    } cases[] = {{134, 30}, {135, 21}, {136, 24}, {137, 24}, {0, 11}};
    for (const auto& c : cases) {
        const auto chain = BuildMipChain(top.data(), 64, 64, c.Filter, nullptr);
        ASSERT_NE(chain, nullptr);
        for (u32 L = 1; L <= 5; ++L) {
            SCOPED_TRACE("filter " + std::to_string(c.Filter) + " level " + std::to_string(L));
            const MipLevel& previous = chain->Levels[L - 1];
            const MipLevel& level = chain->Levels[L];
            const std::string in = folder.File("in.bgra"), out = folder.File("out.bgra");
            WriteWholeFile(in, std::string(previous.Pixels,
                                           previous.Pixels + previous.Width * previous.Height * 4));
            RunCommand("convert -size " + std::to_string(previous.Width) + "x" +
                       std::to_string(previous.Height) + " -depth 8 bgra:" + in +
                       " -resize 50% -depth 8 bgra:" + out);
            const std::string theirs = ReadWholeFile(out);
            ASSERT_EQ(theirs.size(), u64(level.Width) * level.Height * 4);
            // Against theirs, and against theirs turned half a turn: the level must be nearer the
            // first.
            f64 error = 0, turned = 0;
            const u64 count = u64(level.Width) * level.Height;
            for (u64 i = 0; i < theirs.size(); ++i) {
                const f64 d = f64(level.Pixels[i]) - u8(theirs[i]);
                const f64 t = f64(level.Pixels[i]) - u8(theirs[(count - 1 - i / 4) * 4 + i % 4]);
                error += d * d;
                turned += t * t;
            }
            EXPECT_LT(error, turned / 2);
            EXPECT_LT(std::sqrt(error / f64(theirs.size())), c.MaxRmse);
        }
    }
}

} // namespace
