#pragma once
// The compressor's ordered dither: takes the 8-bit channels of a working pixel to the precision
// of the target format (5:6:5 and 5-bit alpha for the DXT and most 16-bit formats, 4 bits for
// A4R4G4B4, 5 bits and one alpha bit for the 1:5:5:5 formats), spreading the dropped remainder
// over a 4 x 4 pattern so that areas keep their average colour.
#include "platform/Types.h"

// The patterns: two sets of seven, pattern r (1..7) of a set having 2r ones, so that it adds one
// quantum to r eighths of the pixels. Each row is indexed by y & 3; within a row, bit 3 is column
// x & 3 = 0 and bit 0 column 3.
extern const u8 kTextureDitherPatterns[2][7][4];

// Which set each 4 x 4 super-block of a 16 x 16 tile uses, indexed by
// ((y >> 2) & 3) x 4 + ((x >> 2) & 3).
extern const u8 kTextureDitherSetOfBlock[16];

// Dithers one channel byte to `bits` bits (4, 5 or 6) with pattern set `set` at column x, row y:
// the byte's top bits, plus one quantum where the pattern of its remainder has a 1, except at the
// top level.
u8 DitherChannel(u8 value, u32 bits, u32 set, u32 x, u32 y);

// Dithers the pixel (blue, green, red, alpha) at column x, row y of a working image in place, to
// the precision of the compressor's format `format`; formats 17, 18, 20 and codes outside 10-20
// leave it unchanged.
void DitherPixel(u8* pixel, u32 x, u32 y, i16 format);
