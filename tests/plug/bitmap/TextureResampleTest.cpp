// The compressor's rescaling: the power-of-two choice by a table of sides, the cubic spline
// against Python solving the same tridiagonal system by plain Gaussian elimination, quadratics
// reproduced exactly, and the sides that are kept or copied.
#include "plug/bitmap/TextureResample.h"

#include "tests/core/ExternalToolSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

TEST(TextureResample, PowerOfTwoChoice) {
    const struct {
        u64 Side;
        i64 Nearest, Next, Previous;
    } cases[] = {
        {0, -1, -1, -1},
        {1, 1, 1, 1},
        {2, 2, 2, 2},
        {3, 4, 4, 2}, // a tie goes up
        {5, 4, 8, 4},
        {6, 8, 8, 4}, // a tie goes up
        {7, 8, 8, 4},
        {11, 8, 16, 8},
        {12, 16, 16, 8},
        {4097, 4096, 8192, 4096},
        {8191, 8192, 8192, 4096},
        {8192, 8192, 8192, 8192},
        {8193, -1, -1, -1},
        {9000, -1, -1, -1},
        {16384, 16384, 16384, 16384}, // powers of two above the table stay
        {u64(1) << 40, i64(1) << 40, i64(1) << 40, i64(1) << 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Side);
        EXPECT_EQ(NearestPowerOfTwo(c.Side), c.Nearest);
        EXPECT_EQ(NextPowerOfTwo(c.Side), c.Next);
        EXPECT_EQ(PreviousPowerOfTwo(c.Side), c.Previous);
    }
}

// A quadratic through the samples comes back exactly at every position, from the shortest line
// whose system has end rows (3 samples) up; two samples give their straight line.
TEST(TextureResample, CubicReproducesQuadratics) {
    const struct {
        u32 N, M;
        f64 A, B, C; // s(x) = A + B x + C x^2
    } cases[] = {
        {3, 4, 10, -3, 2}, {3, 9, 0, 50, -12}, {4, 7, 1, 2, 3},       {5, 3, 7, 0, -1},
        {9, 17, 3, 0, 3},  {16, 31, -5, 4, 1}, {40, 13, 2, -1, 0.25}, {2, 5, 30, 60, 0},
    };
    CCubicResampler resampler;
    ASSERT_TRUE(resampler.Reserve(64));
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.N) + " to " + std::to_string(c.M));
        std::vector<f32> in(c.N), out(c.M);
        for (u32 i = 0; i < c.N; ++i)
            in[i] = f32(c.A + c.B * i + c.C * i * i);
        resampler.Resample(in.data(), c.N, 1, out.data(), c.M, 1);
        // Positions advance by the single-precision step.
        const f32 step = f32(c.N - 1) / f32(c.M - 1);
        f32 p = 0;
        for (u32 j = 0; j < c.M; ++j, p += step) {
            const f64 expected = c.A + c.B * p + c.C * f64(p) * p;
            EXPECT_NEAR(out[j], expected, 1e-3 * (1 + std::fabs(expected))) << j;
        }
    }
    // Strided input and output: a column of a plane.
    const f32 column[] = {0, 99, 1, 99, 4, 99, 9, 99};
    f32 outColumn[10] = {};
    resampler.Resample(column, 4, 2, outColumn, 5, 2);
    const f32 expected[] = {0, 0.5625f, 2.25f, 5.0625f, 9};
    for (u32 j = 0; j < 5; ++j) {
        EXPECT_NEAR(outColumn[2 * j], expected[j], 1e-4) << j;
        EXPECT_EQ(outColumn[2 * j + 1], 0.0f);
    }
}

std::string Join(const std::vector<u8>& bytes) {
    std::string text;
    for (u8 b : bytes)
        text += (text.empty() ? "" : ",") + std::to_string(b);
    return text;
}

// Python's oracle: every row of the channel to the new width (in single precision), then every
// column to the new height; the derivatives from the dense system with the same end rows,
// solved by Gaussian elimination with partial pivoting (the parabola for three samples).
const char* const kResampleOracle = R"(import struct, sys
def f32(v):
    return struct.unpack('<f', struct.pack('<f', v))[0]
def derivatives(s):
    n = len(s)
    if n == 2:
        return [s[1] - s[0]] * 2
    if n == 3:
        return [(4 * s[1] - 3 * s[0] - s[2]) / 2, (s[2] - s[0]) / 2, (3 * s[2] - 4 * s[1] + s[0]) / 2]
    a = [[0.0] * (n + 1) for _ in range(n)]
    a[0][0], a[0][1], a[0][n] = 2, 4, 4 * s[1] - 5 * s[0] + s[2]
    for i in range(1, n - 1):
        a[i][i - 1], a[i][i], a[i][i + 1], a[i][n] = 1, 4, 1, 3 * (s[i + 1] - s[i - 1])
    a[n - 1][n - 2], a[n - 1][n - 1], a[n - 1][n] = 4, 2, 5 * s[n - 1] - 4 * s[n - 2] - s[n - 3]
    for col in range(n):
        pivot = max(range(col, n), key=lambda r: abs(a[r][col]))
        a[col], a[pivot] = a[pivot], a[col]
        for r in range(n):
            if r != col and a[r][col] != 0:
                factor = a[r][col] / a[col][col]
                a[r] = [x - factor * y for x, y in zip(a[r], a[col])]
    return [a[i][n] / a[i][i] for i in range(n)]
def resample(s, m):
    n = len(s)
    if n == 1 or m == 1:
        return [s[0]] * m
    d = derivatives(s)
    step, p, out = f32(f32(n - 1) / f32(m - 1)), 0.0, []
    for j in range(m):
        i = min(int(p), n - 2)
        t, c = p - i, s[i]
        e = s[i + 1] - c
        out.append(c + t * (d[i] + t * ((3 * e - 2 * d[i] - d[i + 1]) + t * (d[i] + d[i + 1] - 2 * e))))
        p = f32(p + step)
    return out
w, h, ch, nw, nh = map(int, sys.argv[1:6])
src = list(map(int, sys.argv[6].split(',')))
out = [0] * (nw * nh * ch)
for c in range(ch):
    rows = [[f32(v) for v in resample([float(src[(y * w + x) * ch + c]) for x in range(w)], nw)] for y in range(h)]
    for x in range(nw):
        col = resample([rows[y][x] for y in range(h)], nh)
        for y in range(nh):
            out[(y * nw + x) * ch + c] = int(min(max(col[y], 0.0), 255.0) + 0.5)
print(','.join(map(str, out)))
)";

TEST(TextureResample, ImageAgainstPython) {
    const struct {
        u32 Width, Height, Channels, NewWidth, NewHeight;
    } cases[] = {
        {3, 1, 1, 4, 1},   // positions 0, 2/3, 4/3, 2
        {23, 1, 3, 32, 1}, // a random row up
        {37, 1, 4, 16, 1}, // and down
        {6, 5, 4, 8, 4},   // both sides, four channels
        {5, 7, 3, 4, 8},   // narrower and taller
        {1, 3, 3, 4, 4},   // a side of 1: copied
        {2, 2, 4, 8, 2},   // two samples: a straight line; a side kept: identity
    };
    CTempFolder folder;
    u32 state = 12345;
    for (const auto& c : cases) {
        const std::string name = std::to_string(c.Width) + "x" + std::to_string(c.Height) + " to " +
                                 std::to_string(c.NewWidth) + "x" + std::to_string(c.NewHeight);
        SCOPED_TRACE(name);
        // Random bytes with rows padded by 3 bytes, so that the pitch is read.
        const u32 pitch = c.Width * c.Channels + 3;
        std::vector<u8> pixels(pitch * c.Height, 0xEE), packed;
        for (u32 y = 0; y < c.Height; ++y)
            for (u32 i = 0; i < c.Width * c.Channels; ++i) {
                state = state * 214013 + 2531011;
                pixels[y * pitch + i] = u8(state >> 16);
                packed.push_back(pixels[y * pitch + i]);
            }
        if (c.Width == 3 && c.Height == 1)
            pixels = packed = {10, 200, 40};
        const std::unique_ptr<u8[]> ours = ResampleImage(
            pixels.data(), c.Width, c.Height, c.Channels, pitch, c.NewWidth, c.NewHeight);
        ASSERT_NE(ours, nullptr);
        const std::vector<u8> got(ours.get(), ours.get() + c.NewWidth * c.NewHeight * c.Channels);
        std::ostringstream arguments;
        arguments << c.Width << ' ' << c.Height << ' ' << c.Channels << ' ' << c.NewWidth << ' '
                  << c.NewHeight << ' ' << Join(packed);
        EXPECT_EQ(Join(got) + "\n", RunPython(folder, kResampleOracle, arguments.str()));
        if (c.Width == 3 && c.Height == 1) {
            // The ends are the end samples.
            EXPECT_EQ(got.front(), 10);
            EXPECT_EQ(got.back(), 40);
        }
        if (c.Width == 1) {
            for (u32 y = 0; y < c.NewHeight; ++y)
                for (u32 x = 1; x < c.NewWidth; ++x)
                    for (u32 ch = 0; ch < c.Channels; ++ch)
                        EXPECT_EQ(got[(y * c.NewWidth + x) * c.Channels + ch],
                                  got[y * c.NewWidth * c.Channels + ch]);
        }
        if (c.Height == c.NewHeight && c.Width == 2) {
            // Every column of the straight line between two bytes, rows as they were.
            for (u32 y = 0; y < 2; ++y)
                for (u32 ch = 0; ch < c.Channels; ++ch) {
                    const f64 a = packed[y * 2 * c.Channels + ch];
                    const f64 b = packed[(y * 2 + 1) * c.Channels + ch];
                    for (u32 x = 0; x < 8; ++x)
                        EXPECT_NEAR(got[(y * 8 + x) * c.Channels + ch], a + (b - a) * x / 7, 1);
                }
        }
    }
}

} // namespace
