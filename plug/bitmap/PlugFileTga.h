#pragma once
// CPlugFileTga, the image read from and written to a TGA file ("*.tga"). A file that cannot be
// read gives the default picture: 8 x 8 texels of red and green stripes.
#include "plug/bitmap/PlugFileImg.h"

class CPlugFileTga : public CPlugFileImg {
    MW_DECLARE_CLASS(CPlugFileTga, CPlugFileImg, 0x09023000)
public:
    // 8 x 8, "2d", NbComp 3, "BGRA": texel (x, y) has blue 0, red 255 when x + y is odd and
    // green 255 when (x + y) mod 6 is 1. Answers 1.
    i32 CreateDefault() override;
    // 1 when the stream held a TGA picture, which the image now is; 0 otherwise (the image is
    // then as it was).
    i32 ReadFromStream(CClassicBuffer& stream) override;
    // An uncompressed 24- or 32-bit TGA of level 0: 1 when written whole; 0, writing nothing,
    // for a Format other than "BGRA", NbComp other than 3 or 4, no pixels or a side of 0 or
    // above 65535; 0 when the stream took fewer bytes.
    i32 WriteToStream(CClassicBuffer& stream) override;
};
