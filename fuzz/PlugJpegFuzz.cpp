// Fuzzes the JPEG decoder as a load runs it once the file is in memory (GxImage::DecodeJpg),
// then the bridge into the image. The image limit is 64 MB, which also bounds the decoder's
// own memory; no crash, leak, hang or allocation past those limits.
#include "FuzzReader.h"
#include "core/base/ClassicLog.h"
#include "plug/bitmap/GxImage.h"
#include "plug/bitmap/PlugFileJpg.h"

#include <cstdlib>

namespace {

volatile u32 g_Sink;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_ClassicLog.m_SuspendCount = 1;
    CPlugFileImg::SetImageLimit(u64(64) << 20);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    GxImage codec;
    if (!codec.DecodeJpg(data, size))
        return 0;
    FUZZ_CHECK(codec.m_Bits == 8 || codec.m_Bits == 24);
    CPlugFileJpg image;
    image.FromCodecImage(codec);
    FUZZ_CHECK(image.m_Pixels &&
               image.m_ByteSize == u64(image.m_Width) * image.m_Height * (codec.m_Bits / 8));
    // The sanitizers see every byte of the recorded block read.
    u32 sum = 0;
    for (u32 i = 0; i < image.m_ByteSize; ++i)
        sum += image.m_Pixels[i];
    g_Sink = sum;
    return 0;
}
