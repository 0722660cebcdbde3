#include "plug/bitmap/PlugFileTga.h"

#include "plug/bitmap/GxImage.h"

MW_DEFINE_CLASS(CPlugFileTga, MwFactory<CPlugFileTga>, MW_NO_MEMBERS, MW_NO_CHUNKS);

i32 CPlugFileTga::CreateDefault() {
    FreePixels();
    Create(8, 8, 3, EFormat_BGRA, nullptr, 0, false, false, EDimension_2d, 1);
    if (!EnsurePixelBuffer())
        return 1;
    for (u32 y = 0; y < 8; ++y) {
        for (u32 x = 0; x < 8; ++x) {
            u8* texel = GetPixelPtr(x, y);
            texel[0] = 0;
            texel[1] = (x + y) % 6 == 1 ? 255 : 0;
            texel[2] = (x + y) % 2 == 1 ? 255 : 0;
        }
    }
    return 1;
}

i32 CPlugFileTga::ReadFromStream(CClassicBuffer& stream) {
    GxImage codec;
    if (!codec.ReadTga(stream))
        return 0;
    FromCodecImage(codec);
    return IsLoaded() ? 1 : 0;
}

i32 CPlugFileTga::WriteToStream(CClassicBuffer& stream) {
    const u32 nbComp = GetNbComp();
    if (GetFormat() != EFormat_BGRA || nbComp < 3 || nbComp > 4)
        return 0;
    GxImage codec;
    ToCodecImage(codec);
    // The block must hold level 0 whole.
    const bool written = m_ByteSize >= u64(m_Width) * m_Height * nbComp && codec.WriteTga(stream);
    // The pixels stay the image's.
    codec.DetachPixels();
    return written ? 1 : 0;
}
