// Fuzzes the tests' DDS reader, which reads files other tools write too: arbitrary bytes go
// through its header checks and level spans, and every level of a file it accepts is decoded
// texel by texel through CPlugFileImg::GetPixel. The image's block must never outgrow the
// input, and no access may leave it (the sanitizers watch every byte).
#include "plug/bitmap/PlugFileImg.h"
#include "tests/plug/support/DdsReader.h"

#include <cstdlib>

namespace {

volatile u32 g_Sink;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    CPlugFileImg::SetImageLimit(u64(64) << 20);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    CPlugFileImg image;
    ddsread::DdsInfo info;
    std::string error;
    if (!ddsread::ReadDds(data, size, image, info, &error)) {
        if (image.m_Pixels || error.empty())
            std::abort();
        return 0;
    }
    if (u64(image.m_ByteSize) > size || info.DataBytes > size - 128)
        std::abort();
    u32 sum = 0;
    for (u32 level = 0; level < info.Levels; ++level) {
        u32 w = 0, h = 0;
        if (!image.GetLevel(0, level, nullptr, &w, &h))
            break;
        for (u32 y = 0; y < h; ++y)
            for (u32 x = 0; x < w; ++x) {
                u32 texel = 0;
                image.GetPixel(&texel, x, y, level, 0);
                sum += texel;
            }
    }
    g_Sink = g_Sink + sum;
    return 0;
}
