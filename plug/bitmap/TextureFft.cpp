#include "plug/bitmap/TextureFft.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

namespace {

[[noreturn]] void FailNullPointer(const char* name) {
    std::fprintf(stderr, "Error in fft_float():  %s == NULL\n", name);
    std::exit(1);
}

u32 ReverseBits(u32 index, u32 bitCount) {
    u32 reversed = 0;
    for (u32 b = 0; b < bitCount; ++b, index >>= 1)
        reversed = reversed << 1 | (index & 1);
    return reversed;
}

} // namespace

void Fft(u32 sampleCount, bool inverse, const f32* realIn, const f32* imagIn, f32* realOut,
         f32* imagOut) {
    if (sampleCount == 0 || (sampleCount & (sampleCount - 1)) != 0) {
        std::fprintf(stderr, "Error in fft():  NumSamples=%u is not power of two\n", sampleCount);
        std::exit(1);
    }
    if (!realIn)
        FailNullPointer("RealIn");
    if (!realOut)
        FailNullPointer("RealOut");
    if (!imagOut)
        FailNullPointer("ImagOut");

    u32 bitCount = 0;
    while ((1u << bitCount) < sampleCount)
        ++bitCount;
    for (u32 i = 0; i < sampleCount; ++i) {
        const u32 to = ReverseBits(i, bitCount);
        realOut[to] = realIn[i];
        imagOut[to] = imagIn ? imagIn[i] : 0.0f;
    }

    // Each block's twiddles e^(i angle j) come from the recurrence
    // w(j) = 2 cos(angle) w(j - 1) - w(j - 2), started at the angles -2 angle and -angle; the
    // forward transform turns by -2 pi over a block, the inverse by 2 pi.
    const f64 fullTurn = inverse ? 2 * std::numbers::pi : -2 * std::numbers::pi;
    for (u32 blockSize = 2, halfSize = 1; blockSize <= sampleCount;
         halfSize = blockSize, blockSize <<= 1) {
        const f64 angle = fullTurn / blockSize;
        const f64 sin2 = std::sin(-2 * angle), sin1 = std::sin(-angle);
        const f64 cos2 = std::cos(-2 * angle), cos1 = std::cos(-angle);
        const f64 w = 2 * cos1;
        for (u32 start = 0; start < sampleCount; start += blockSize) {
            f64 re[3] = {0, cos1, cos2}, im[3] = {0, sin1, sin2};
            for (u32 j = start; j < start + halfSize; ++j) {
                re[0] = w * re[1] - re[2];
                re[2] = re[1];
                re[1] = re[0];
                im[0] = w * im[1] - im[2];
                im[2] = im[1];
                im[1] = im[0];
                const u32 k = j + halfSize;
                const f64 tr = re[0] * realOut[k] - im[0] * imagOut[k];
                const f64 ti = re[0] * imagOut[k] + im[0] * realOut[k];
                realOut[k] = f32(realOut[j] - tr);
                imagOut[k] = f32(imagOut[j] - ti);
                realOut[j] = f32(realOut[j] + tr);
                imagOut[j] = f32(imagOut[j] + ti);
            }
        }
    }
    if (inverse) {
        const f64 count = sampleCount;
        for (u32 i = 0; i < sampleCount; ++i) {
            realOut[i] = f32(realOut[i] / count);
            imagOut[i] = f32(imagOut[i] / count);
        }
    }
}
