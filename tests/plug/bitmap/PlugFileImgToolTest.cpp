// The image checked by other tools: Python's PIL decodes DXT blocks (wrapped in a minimal DDS
// file) as GetPixel does, and Python's math computes the filtered resampling from the formulas
// on its own.
#include "plug/bitmap/PlugFileImg.h"
#include "tests/plug/PlugTestSupport.h"
#include "tests/plug/bitmap/DdsTestFile.h"

#include <cmath>
#include <cstring>
#include <random>

namespace {

using ddstest::DdsFile;
using ddstest::Numbers;
using Img = CPlugFileImg;

class PlugFileImgTools : public CPlugFixture {
protected:
    CTempFolder m_Folder;
};

// Hand-made and random blocks of a 16 x 16 picture in each format: colours within 2 per
// channel and an RMSE of at most 1 (we expand 5 and 6 bits as c x 255 / 31 rounded down, PIL
// by replicating bits), DXT1 and DXT3 alpha equal, DXT5 alpha within 1 (PIL rounds the levels
// down, the encoder to nearest). PIL reads DXT1 blocks with equal colours as three colours,
// where the image reads four: such blocks stay out of this comparison.
TEST_F(PlugFileImgTools, DxtBlocksDecodeAsPilDecodesThem) {
    const struct {
        u32 Format;
        const char* FourCc;
        u32 BlockBytes;
    } formats[] = {{Img::EFormat_DXT1, "DXT1", 8},
                   {Img::EFormat_DXT3, "DXT3", 16},
                   {Img::EFormat_DXT5, "DXT5", 16}};
    std::mt19937 random(44);
    for (const auto& f : formats) {
        SCOPED_TRACE(f.FourCc);
        std::vector<u8> blocks(16 * f.BlockBytes);
        for (u8& byte : blocks)
            byte = u8(random());
        const u32 colour = f.BlockBytes - 8;
        for (u32 b = 0; b < 16; ++b) {
            u8* block = blocks.data() + b * f.BlockBytes;
            // Both orders of the endpoints, never equal; the first blocks hand-made.
            u16 c0 = u16(block[colour] | (block[colour + 1] << 8));
            u16 c1 = u16(block[colour + 2] | (block[colour + 3] << 8));
            if (b == 0)
                c0 = 0xF800, c1 = 0x001F; // red and blue, four colours
            if (b == 1)
                c0 = 0x001F, c1 = 0xFFFF; // three colours and transparent black
            if (c0 == c1)
                c1 ^= 1;
            if ((b % 2 == 0) != (c0 > c1))
                std::swap(c0, c1);
            block[colour] = u8(c0), block[colour + 1] = u8(c0 >> 8);
            block[colour + 2] = u8(c1), block[colour + 3] = u8(c1 >> 8);
            if (f.Format == Img::EFormat_DXT5 && b < 4) {
                // Both alpha modes with every code.
                block[0] = b % 2 ? 40 : 230;
                block[1] = b % 2 ? 230 : 40;
                const u64 codes = 0xFAC688ull | (0xFAC688ull << 24);
                for (u32 i = 0; i < 6; ++i)
                    block[2 + i] = u8(codes >> (8 * i));
            }
        }
        const std::string path = m_Folder.File(std::string(f.FourCc) + ".dds");
        WriteWholeFile(path, DdsFile(16, 16, f.FourCc, blocks));
        const std::vector<u32> pil = Numbers(RunPython(m_Folder,
                                                       "import sys\n"
                                                       "from PIL import Image\n"
                                                       "image = Image.open(sys.argv[1])\n"
                                                       "image.load()\n"
                                                       "print(' '.join(str(b) for b in "
                                                       "image.convert('RGBA').tobytes()))\n",
                                                       path));
        ASSERT_EQ(pil.size(), 16u * 16 * 4);

        CMwNodRef held(new Img);
        u8* block = new u8[blocks.size()];
        std::memcpy(block, blocks.data(), blocks.size());
        static_cast<Img*>(held.Get())
            ->Create(16, 16, 0, f.Format, block, u32(blocks.size()), false, false, 1, 1);
        f64 squares = 0;
        u32 worstColour = 0, worstAlpha = 0;
        for (u32 y = 0; y < 16; ++y) {
            for (u32 x = 0; x < 16; ++x) {
                u32 ours = 0;
                static_cast<Img*>(held.Get())->GetPixel(&ours, x, y, 0, 0);
                const u32* theirs = &pil[(y * 16 + x) * 4]; // R, G, B, A
                const u32 rgba[4] = {(ours >> 16) & 0xFF, (ours >> 8) & 0xFF, ours & 0xFF,
                                     ours >> 24};
                for (u32 k = 0; k < 3; ++k) {
                    const u32 difference = u32(std::abs(i32(rgba[k]) - i32(theirs[k])));
                    worstColour = std::max(worstColour, difference);
                    squares += f64(difference) * difference;
                }
                worstAlpha = std::max(worstAlpha, u32(std::abs(i32(rgba[3]) - i32(theirs[3]))));
            }
        }
        EXPECT_LE(worstColour, 2u);
        EXPECT_LE(std::sqrt(squares / (16 * 16 * 3)), 1.0);
        EXPECT_EQ(worstAlpha, f.Format == Img::EFormat_DXT5 ? 1u : 0u);
    }
}

// A 3 x 5 picture resampled to 4 x 4 with the filter, clamped at the edges: the bytes Python
// computes from the formulas (weights from the unclamped corner, four terms in order, divided
// by the sum of the weights, truncated).
TEST_F(PlugFileImgTools, FilteredResampleMatchesTheFormulas) {
    std::vector<u8> source(3 * 5 * 3);
    for (u32 i = 0; i < source.size(); ++i)
        source[i] = u8((i * 73 + 11) % 256);
    CMwNodRef held(new Img);
    Img* image = static_cast<Img*>(held.Get());
    u8* block = new u8[source.size()];
    std::memcpy(block, source.data(), source.size());
    image->Create(3, 5, 3, Img::EFormat_BGRA, block, u32(source.size()), false, false, 1, 1);
    image->Resample(4, 4, true, Img::s_AddressClamp);
    ASSERT_EQ(image->m_ByteSize, 48u);

    std::string arguments;
    for (u8 byte : source)
        arguments += std::to_string(byte) + " ";
    const std::vector<u32> expected = Numbers(RunPython(m_Folder,
                                                        R"(import math, struct, sys
src = [int(a) for a in sys.argv[1:]]
W, H, N, W2, H2 = 3, 5, 3, 4, 4
def f32(x):
    return struct.unpack('f', struct.pack('f', x))[0]
out = []
for j in range(H2):
    for i in range(W2):
        u, v = f32((i + 0.5) / W2), f32((j + 0.5) / H2)
        fx, fy = W * u, H * v
        x0, y0 = math.floor(fx - 0.5), math.floor(fy - 0.5)
        a, c = fx - (x0 + 0.5), fy - (y0 + 0.5)
        xs = [min(max(x0, 0), W - 1), min(max(x0 + 1, 0), W - 1)]
        ys = [min(max(y0, 0), H - 1), min(max(y0 + 1, 0), H - 1)]
        w = [(1 - a) * (1 - c), a * (1 - c), (1 - a) * c, a * c]
        t = [(xs[0], ys[0]), (xs[1], ys[0]), (xs[0], ys[1]), (xs[1], ys[1])]
        total = w[0] + w[1] + w[2] + w[3]
        for k in range(N):
            s = 0.0
            for n in range(4):
                s += src[(t[n][0] + t[n][1] * W) * N + k] * w[n]
            out.append(int(s / total))
print(' '.join(str(b) for b in out))
)",
                                                        arguments));
    ASSERT_EQ(expected.size(), 48u);
    EXPECT_EQ(std::vector<u32>(image->m_Pixels, image->m_Pixels + 48), expected);
}

} // namespace
