#pragma once
// The radix-2 fast Fourier transform of the texture compressor's low-pass mip filter.
#include "platform/Types.h"

// Transforms `sampleCount` complex samples (realIn, and imagIn or zeros when it is null) into
// realOut and imagOut, which must not overlap the input: forward X(k) = sum of x(m)
// e^(-2 pi i k m / N), the inverse with the opposite sign divided by the count. Iterative
// decimation in time over single-precision data with double-precision twiddles.
//
// A count that is not a power of two, or a null realIn, realOut or imagOut, is a programming
// error: the function writes why to the standard error stream and ends the process with exit
// code 1. Callers check their sizes first.
void Fft(u32 sampleCount, bool inverse, const f32* realIn, const f32* imagIn, f32* realOut,
         f32* imagOut);
