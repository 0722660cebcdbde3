// The radix-2 FFT against the discrete Fourier transform by its definition (Python's cmath),
// forward and inverse, and its misuse ending the process with the texts it writes.
#include "plug/bitmap/TextureFft.h"

#include "tests/core/ExternalToolSupport.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const kDftOracle = R"(import cmath, sys
values = [float(v) for v in sys.argv[2].split(',')]
n = len(values) // 2
x = [complex(values[2 * i], values[2 * i + 1]) for i in range(n)]
sign = -1 if sys.argv[1] == 'forward' else 1
out = [sum(x[m] * cmath.exp(sign * 2j * cmath.pi * k * m / n) for m in range(n)) for k in range(n)]
if sign == 1:
    out = [v / n for v in out]
print(' '.join('%.9g %.9g' % (v.real, v.imag) for v in out))
)";

std::vector<f64> Numbers(const std::string& text) {
    std::istringstream in(text);
    std::vector<f64> numbers;
    for (f64 v; in >> v;)
        numbers.push_back(v);
    return numbers;
}

TEST(TextureFft, MatchesTheDefinition) {
    CTempFolder folder;
    u32 state = 777;
    for (u32 n : {1u, 2u, 4u, 8u, 16u, 64u}) {
        for (bool inverse : {false, true}) {
            SCOPED_TRACE(std::to_string(n) + (inverse ? " inverse" : " forward"));
            std::vector<f32> re(n), im(n), outRe(n), outIm(n);
            std::string arguments;
            for (u32 i = 0; i < n; ++i) {
                state = state * 214013 + 2531011;
                re[i] = f32(i32(state >> 16 & 0x7FFF) - 16384) / 1000.0f;
                state = state * 214013 + 2531011;
                im[i] = f32(i32(state >> 16 & 0x7FFF) - 16384) / 1000.0f;
                char pair[64];
                std::snprintf(pair, sizeof pair, "%s%.9g,%.9g", i ? "," : "", re[i], im[i]);
                arguments += pair;
            }
            Fft(n, inverse, re.data(), im.data(), outRe.data(), outIm.data());
            const std::vector<f64> expected = Numbers(RunPython(
                folder, kDftOracle, std::string(inverse ? "inverse " : "forward ") + arguments));
            ASSERT_EQ(expected.size(), 2 * n);
            f64 largest = 0;
            for (f64 v : expected)
                largest = std::max(largest, std::fabs(v));
            for (u32 k = 0; k < n; ++k) {
                EXPECT_NEAR(outRe[k], expected[2 * k], 1e-4 * largest) << k;
                EXPECT_NEAR(outIm[k], expected[2 * k + 1], 1e-4 * largest) << k;
            }
            // Back again gives the input.
            std::vector<f32> backRe(n), backIm(n);
            Fft(n, !inverse, outRe.data(), outIm.data(), backRe.data(), backIm.data());
            for (u32 i = 0; i < n; ++i) {
                EXPECT_NEAR(backRe[i], re[i], 1e-3f) << i;
                EXPECT_NEAR(backIm[i], im[i], 1e-3f) << i;
            }
        }
    }
    // A null imaginary input is zeros.
    const f32 re[8] = {1, -2, 3, 0.5f, 7, 0, -1, 2}, zeros[8] = {};
    f32 a[8], b[8], c[8], d[8];
    Fft(8, false, re, nullptr, a, b);
    Fft(8, false, re, zeros, c, d);
    EXPECT_TRUE(std::equal(a, a + 8, c) && std::equal(b, b + 8, d));
}

TEST(TextureFftDeathTest, MisuseEndsTheProcess) {
    f32 in[8] = {}, re[8], im[8];
    EXPECT_EXIT(Fft(6, false, in, nullptr, re, im), testing::ExitedWithCode(1),
                "^Error in fft\\(\\):  NumSamples=6 is not power of two\n$");
    EXPECT_EXIT(Fft(0, true, in, nullptr, re, im), testing::ExitedWithCode(1),
                "^Error in fft\\(\\):  NumSamples=0 is not power of two\n$");
    EXPECT_EXIT(Fft(8, false, nullptr, nullptr, re, im), testing::ExitedWithCode(1),
                "^Error in fft_float\\(\\):  RealIn == NULL\n$");
    EXPECT_EXIT(Fft(8, false, in, nullptr, nullptr, im), testing::ExitedWithCode(1),
                "^Error in fft_float\\(\\):  RealOut == NULL\n$");
    EXPECT_EXIT(Fft(8, false, in, in, re, nullptr), testing::ExitedWithCode(1),
                "^Error in fft_float\\(\\):  ImagOut == NULL\n$");
}

} // namespace
