// Fuzzes the DXT block encoder: a surface of one to sixteen 4 x 4 blocks from the input, encoded
// in the four modes with both weight settings and both force flags; every block is decoded here
// and must keep the rules of an encoded block (tests/plug/bitmap/DxtBlockCheck.h), and nothing
// may be written past the output's size.
//
// Input: width and height (each byte mod 16, plus 1), then the pixels as B, G, R, A bytes, row
// by row (zero past the input's end).
#include "plug/bitmap/DxtEncoder.h"
#include "tests/plug/bitmap/DxtBlockCheck.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// The texture compressor's two weight settings, as the floats it stores.
constexpr double kEqual[3] = {0.5773502588272095, 0.5773502588272095, 0.5773502588272095};
constexpr double kPerceptual[3] = {0.44925037026405334, 0.8854157328605652, 0.11921854317188263};
constexpr u32 kModes[] = {EDxtEncodeMode_Opaque, EDxtEncodeMode_AlphaCompare,
                          EDxtEncodeMode_ExplicitAlpha, EDxtEncodeMode_InterpolatedAlpha};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size < 2)
        return 0;
    const u32 width = data[0] % 16 + 1, height = data[1] % 16 + 1;
    std::vector<u8> pixels(width * height * 4, 0);
    for (size_t i = 0; i < pixels.size() && i + 2 < size; ++i)
        pixels[i] = data[i + 2];
    const DxtSurfaceDesc surface = MakeDxtSurfaceDesc(pixels.data(), width, height);
    const u32 blocksWide = (width + 3) / 4, blocksHigh = (height + 3) / 4;
    for (u32 mode : kModes) {
        const u32 blockBytes = mode & 0xFF00 ? 16 : 8;
        const u64 bytes = DxtSurfaceSize(width, height, mode);
        if (bytes != u64(blockBytes) * blocksWide * blocksHigh)
            std::abort();
        for (const double* weights : {kEqual, kPerceptual}) {
            for (bool force : {false, true}) {
                std::vector<u8> out(bytes + 16, 0xCD);
                if (!EncodeDxtSurface(surface, mode, weights, std::span<u8>(out.data(), bytes),
                                      force))
                    std::abort();
                for (u64 i = bytes; i < out.size(); ++i)
                    if (out[i] != 0xCD)
                        std::abort();
                for (u32 b = 0; b < blocksWide * blocksHigh; ++b) {
                    dxtcheck::BlockTexels texels;
                    for (u32 p = 0; p < 16; ++p) {
                        const u32 x = b % blocksWide * 4 + p % 4, y = b / blocksWide * 4 + p / 4;
                        texels.Inside[p] = x < std::max(width, 4u) && y < std::max(height, 4u);
                        if (x < width && y < height) {
                            const u8* pixel = &pixels[(y * width + x) * 4];
                            texels.Pixels[p] = u32(pixel[0]) | u32(pixel[1]) << 8 |
                                               u32(pixel[2]) << 16 | u32(pixel[3]) << 24;
                        }
                    }
                    const std::string broken =
                        dxtcheck::CheckBlock(&out[b * blockBytes], mode, force, texels);
                    if (!broken.empty()) {
                        std::fprintf(stderr, "mode 0x%X force %d block %u: %s\n", mode, int(force),
                                     b, broken.c_str());
                        std::abort();
                    }
                }
            }
        }
    }
    return 0;
}
