#pragma once
// The DXT block encoder: turns a surface of 32-bit pixels into DXT1, DXT1a, DXT3 or DXT5 blocks.
//
// Colour endpoints are fitted in double precision: a uniform-colour table for blocks of one
// colour, otherwise a principal-axis start, two sort-and-split passes over the distinct colours,
// a refit inside the representable box, and an exhaustive choice among the 64 roundings of the
// endpoints to 5:6:5. DXT5 alpha endpoints come from a one-dimensional fit over five candidate
// layouts. The output is deterministic: the same bytes from every compiler and build type (the
// code uses no fused multiply-add, no fast-math and baseline instructions only).
//
// Every work area lives on the caller's stack; the one shared object, the uniform-colour table,
// is built once under the guard of a function-local static. Calls may run on several threads.
#include "platform/Types.h"

#include <span>

// A surface of 32-bit pixels read through four channel masks; a channel's value is
// ((pixel & mask) >> shift) / (mask >> shift), shift being the mask's lowest set bit. Pixels are
// little-endian words at Pixels + y x Pitch + x x 4. Sides below 4 read as 4, the texels beyond
// the given sides as zero pixels.
struct DxtSurfaceDesc {
    u32 Width = 0;
    u32 Height = 0;
    u32 Pitch = 0;
    const u8* Pixels = nullptr;
    u32 RedMask = 0xFF0000;
    u32 GreenMask = 0xFF00;
    u32 BlueMask = 0xFF;
    u32 AlphaMask = 0xFF000000;
};

// A surface of width x height pixels with the usual masks and a pitch of width x 4.
DxtSurfaceDesc MakeDxtSurfaceDesc(const u8* pixels, u32 width, u32 height);

// The low byte selects colour handling, the second byte alpha handling.
enum DxtEncodeMode : u32 {
    EDxtEncodeMode_Opaque = 0,                // DXT1: every texel opaque
    EDxtEncodeMode_AlphaCompare = 2,          // DXT1a: alpha 128 or less is transparent
    EDxtEncodeMode_ExplicitAlpha = 0x100,     // DXT3: 4-bit alpha block before the colour block
    EDxtEncodeMode_InterpolatedAlpha = 0x200, // DXT5: interpolated alpha block first
};

// The widest side a surface may have: keeps every size and index of the walk far inside 32 bits.
inline constexpr u32 kDxtMaxSide = 1u << 15;

// 8 (colour only) or 16 (alpha modes) bytes x ceil(width / 4) x ceil(height / 4).
u64 DxtSurfaceSize(u32 width, u32 height, u32 mode);

// Encodes every block of the surface into `output` (at least DxtSurfaceSize bytes; the caller
// zero-fills it), blocks row by row, left to right. `weights` are the red, green and blue error
// weights (negative count as 0). Four colours are forced in the alpha modes whatever is passed,
// and in DXT1a only on blocks without a transparent texel (its index 3 must stay transparent).
// A null or short buffer, no weights, an unknown mode, an empty mask, a side of 0 or above
// kDxtMaxSide, a pitch below width x 4 or a weight that is not finite or above 1000 writes
// nothing, logs the reason and answers false.
bool EncodeDxtSurface(const DxtSurfaceDesc& surface, u32 mode, const double weights[3],
                      std::span<u8> output, bool forceFourColours);

// One block's colours and the fit's answer.
struct DxtColourBlock {
    // Inputs: the included texels' colours (red, green, blue in [0, 1]), in texel order.
    u32 Count = 0;
    double Colours[16][3] = {};
    double Weights[3] = {};
    u32 AllowedMode = 4; // 4 when every texel of the block is included, else 3
    bool ForceFourColours = false;
    // Per texel position 0-15 in row order: its colour's number in Colours, or -1 when excluded.
    i32 TexelColour[16] = {};
    // Outputs: the mode (3 or 4), the endpoints as (red 5 bits, green 6 bits, blue 5 bits) and a
    // palette index per included colour.
    u32 ChosenMode = 4;
    u8 Endpoints[2][3] = {};
    u8 Indices[16] = {};
};

// Fills the block's chosen mode, endpoints and indices. Count must be 1 to 16.
void FitColourEndpoints(DxtColourBlock& block);

// The DXT5 alpha fit of `values` (each in [0, 1]; at most 16): two 8-bit endpoints, the level
// count (8 or 6) and an index 0-7 per value, in the order the fit produced them (no exchange).
struct DxtAlphaFit {
    i32 A0 = 0;
    i32 A1 = 0;
    u32 Levels = 8;
    u8 Indices[16] = {};
};
DxtAlphaFit FitAlphaEndpoints(std::span<const float> values);
