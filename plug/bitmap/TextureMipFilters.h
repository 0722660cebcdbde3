#pragma once
// The texture compressor's own mip chain: the float image its filters work on, the list of
// levels from the top level down to 1 x 1, and the five filters chosen by MipFilter.
//
// Every filter writes a level's bytes as trunc(clamp(v, 0, 1) x 255 + 0.5) per plane. The
// compressor uses a level of the chain only while both sides of the level it derives from are
// at least 3; it makes the smaller ones itself.
#include "platform/Types.h"

#include <memory>
#include <vector>

// MipFilter values; any other value is the 2 x 2 box.
enum ETextureMipFilter : i16 {
    ETextureMipFilter_BoxOrCubic = 134, // the box below 5 pixels a side, else the cubic spline
    ETextureMipFilter_FftLowPass = 135, // needs sides that are powers of two
    ETextureMipFilter_Sinc = 136,       // Kaiser-windowed sinc from the top level
    ETextureMipFilter_SincSquared = 137 // the same over squared values
};

// Four planes of width x height floats in row order, plane k holding byte k of the 32-bit
// pixels (blue, green, red, alpha) times the single-precision value of 1/255.
struct FloatImage {
    u32 Width = 0;
    u32 Height = 0;
    std::vector<f32> Planes[4];

    f32* Plane(u32 k) { return Planes[k].data(); }
    const f32* Plane(u32 k) const { return Planes[k].data(); }
};

// n float taps.
struct FilterKernel {
    std::vector<f32> Taps;
};

// One level of a chain: its sides and its 8-bit pixels (blue, green, red, alpha).
struct MipLevel {
    u32 Width = 0;
    u32 Height = 0;
    u8* Pixels = nullptr;
};

// The levels of one face, from the top level (whose pixels are the caller's working image) down
// to 1 x 1, each side halved as (side + 1) / 2 until both are at most 1.
struct MipLevelList {
    std::vector<MipLevel> Levels;
    std::vector<std::vector<u8>> Storage; // the pixels of levels 1, 2, ...
};

// Called with each level's index once the level is made; its answer is not read.
using MipProgressCallback = i32 (*)(i32 level);

// The chain of the working image `pixels` (width x height pixels of 4 bytes) by `filter`.
// Null when memory cannot be had (nothing is logged here). The windowed sinc stops before the
// 1 x 1 level, which it leaves zero: no level made from a side below 3 is taken from the chain.
std::unique_ptr<MipLevelList> BuildMipChain(const u8* pixels, u32 width, u32 height, i16 filter,
                                            MipProgressCallback progress);

// Pieces of the filters, for their tests.

// The modified Bessel function of order 0 by its series, to a relative 1e-16.
f64 BesselI0(f64 z);

// Windowed-sinc kernel k (1 to 12): 10 x 2^(k - 1) taps of the sinc scaled by 0.5^k under a
// Kaiser window (alpha 4), normalised to sum 1 unless the sum is 0.
FilterKernel MakeSincKernel(u32 k);

// One pass of an n-tap kernel over a plane: along rows at every even column, then along the
// columns of that at every even row, from offset 1 - n / 2, indices outside the plane mirrored
// about its first and last samples (every index of a side of 1 is that sample). The result is
// (width + 1) / 2 x (height + 1) / 2.
void FilterAndHalve(const f32* plane, u32 width, u32 height, const FilterKernel& kernel,
                    f32* rowsWork, f32* out);
