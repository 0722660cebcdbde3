#include "plug/bitmap/PlugFileJpg.h"

#include "plug/bitmap/GxImage.h"

MW_DEFINE_CLASS(CPlugFileJpg, MwFactory<CPlugFileJpg>, MW_NO_MEMBERS, MW_NO_CHUNKS);

i32 CPlugFileJpg::LoadFromPath(CClassicWideStringRef path) {
    GxImage codec;
    if (!codec.LoadJpg(path)) {
        SetLoadFailed(true);
        return 0;
    }
    FromCodecImage(codec);
    SetLoadFailed(!IsLoaded());
    return IsLoaded() ? 1 : 0;
}
