#pragma once
// Rescaling of the texture compressor: the choice of a power-of-two side for a side that is not
// one, and a separable cubic-spline resampler over 8-bit pictures and float planes.
#include "platform/Types.h"

#include <memory>

// The power of two a side becomes, each rule choosing among the sides 1, 2, 4, ..., 8192: 1 and
// exact powers of two (also above 8192) stay as they are; otherwise, with lo < x < hi the
// neighbouring sides, the nearest rule answers lo when x - lo < hi - x, else hi (a tie goes up),
// the next rule hi, the previous rule lo. 0 and sides above 8192 that are not powers of two have
// no answer: -1.
i64 NearestPowerOfTwo(u64 x);
i64 NextPowerOfTwo(u64 x);
i64 PreviousPowerOfTwo(u64 x);

// The cubic spline through n samples, evaluated at m evenly spaced positions from the first
// sample to the last. The derivatives at the samples come from a tridiagonal system whose end
// rows are one-sided (a quadratic is reproduced exactly); two samples give a straight line and
// one sample, or one position, the first sample. Work areas are allocated once for the longest
// line.
class CCubicResampler {
public:
    // False when the work areas for lines of `maxSamples` cannot be had.
    bool Reserve(u32 maxSamples);

    // Reads n samples at in[0], in[inStride], ... and writes m samples at out[0],
    // out[outStride], ...; n is at most the reserved count.
    void Resample(const f32* in, u32 n, u64 inStride, f32* out, u32 m, u64 outStride);

private:
    std::unique_ptr<f64[]> m_Work; // samples, derivatives, eliminated upper diagonal
    u32 m_Reserved = 0;
};

// Resamples an 8-bit picture (width x height pixels of `channels` bytes, row r at
// pixels + r x pitch) to newWidth x newHeight, each channel separately: every row to the new
// width, then every column of that to the new height, each byte trunc(v + 0.5) of the value
// clamped to 0..255. The result's rows are packed (pitch newWidth x channels). Null when memory
// cannot be had.
std::unique_ptr<u8[]> ResampleImage(const u8* pixels, u32 width, u32 height, u32 channels,
                                    u32 pitch, u32 newWidth, u32 newHeight);

// The largest single buffer ResampleImage allocates, in bytes, for those sides and channels.
u64 ResampleLargestBuffer(u32 width, u32 height, u32 channels, u32 newWidth, u32 newHeight);
