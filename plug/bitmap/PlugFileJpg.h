#pragma once
// CPlugFileJpg, the image read from a JPEG file ("*.jpg", "*.jpeg"). JPEG is only read, and
// only by path: a file that cannot be read leaves the image as it was (there is no default
// picture) and the load answers 0.
#include "plug/bitmap/PlugFileImg.h"

class CPlugFileJpg : public CPlugFileImg {
    MW_DECLARE_CLASS(CPlugFileJpg, CPlugFileImg, 0x09022000)
public:
    // 1 when the file was decoded into the image; 0 (logged "File Error", HasLoadFailed())
    // otherwise.
    i32 LoadFromPath(CClassicWideStringRef path) override;
    // JPEG is never written: 0.
    i32 SaveToPath(CClassicWideStringRef) override { return 0; }
};
