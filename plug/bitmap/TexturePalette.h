#pragma once
// The compressor's 8-bit palette format: a picture reduced to at most 256 colours, each pixel an
// index byte. The distinct colours are counted in a k-d tree, merged pairwise (the pair whose
// merge moves the picture least first) until 256 remain, and every pixel is mapped to its
// colour's nearest entry; an error-diffusion dither may go first.
//
// Work areas are bounded by the picture's pixel count (PaletteWorkingBytes); one that cannot be
// had ends the call with a failure and a log line.
#include "platform/Types.h"

#include <array>
#include <vector>

// A colour as the palette holds it: red, green, blue for a source of three channels, else blue,
// green, red, alpha (the fourth byte unused with three).
using PaletteVector = std::array<u8, 4>;

// A distinct colour and the number of pixels that have it.
struct PaletteColour {
    PaletteVector Vector{};
    u64 Count = 0;
};

// The palette of one compressor call: empty until its first level fills it; the later levels of
// the call map to the same entries.
struct TexturePalette {
    std::vector<PaletteVector> Entries;
    u32 Components = 0; // 3 or 4
    bool IsEmpty() const { return Entries.empty(); }
};

inline constexpr u32 kPaletteMaxEntries = 256;
// The palette as the compressor sends it: 256 entries of 4 bytes.
inline constexpr u32 kPaletteBytes = kPaletteMaxEntries * 4;

// The most memory QuantiseToPalette takes for a picture of width x height pixels.
u64 PaletteWorkingBytes(u32 width, u32 height);

// Counts `colours` (in this order) into the colour tree and merges them down to at most `limit`
// vectors (at least 1) of `components` components; the entries in the tree's leaf order. Equal
// vectors add their counts.
std::vector<PaletteVector> ReduceColours(const std::vector<PaletteColour>& colours, u32 components,
                                         u32 limit);

// Maps the width x height working pixels (blue, green, red, alpha) to one index byte each, row by
// row, into `indices`. With `threeChannels` the colours are red, green and blue, else blue,
// green, red and alpha; with `errorDiffusion` the colours are first diffused to 4 bits (alpha
// to 8). An empty `palette` is filled from this picture; a filled one is used as it is. False,
// with a log line, when a work area cannot be had or the palette has another component count.
bool QuantiseToPalette(const u8* pixels, u32 width, u32 height, TexturePalette& palette,
                       bool errorDiffusion, bool threeChannels, u8* indices);

// The palette as 256 entries of 4 bytes into `out` (kPaletteBytes): red, green, blue, 255 for three
// components, else blue, green, red, alpha; entries past the palette's are zero.
void WritePaletteBytes(const TexturePalette& palette, u8* out);
