#include "plug/bitmap/PlugFileVideo.h"

#include "plug/bitmap/PlugBitmap.h"

namespace {

constexpr const char* kTimeModeNames[] = {"GameTimer", "HumanTimer", "External"};

} // namespace

#define CPLUGFILEVIDEO_MEMBERS(X)                                                                  \
    X(Enum, 0x09060000, "TimeMode", MW_FIELD(m_TimeMode), "TimeMode", 0x03, 0x380, "",             \
      kTimeModeNames)                                                                              \
    X(Bool, 0x09060001, "IsLooping", MW_FIELD(m_IsLooping), "IsLooping", 0x03, 0x380)              \
    X(Action, 0x09060002, "Play", MW_VIRTUAL("UiPlay"), "Play", 0x02, 0x380,                       \
      MwThunk<&CPlugFileVideo::UiPlay>::Call)                                                      \
    X(Action, 0x09060003, "Stop", MW_VIRTUAL("UiStop"), "Stop", 0x02, 0x380,                       \
      MwThunk<&CPlugFileVideo::UiStop>::Call)                                                      \
    X(Action, 0x09060004, "Rewind", MW_VIRTUAL(""), "Rewind", 0x02, 0x380,                         \
      MwThunk<&CPlugFileVideo::UiRewind>::Call)

MW_DEFINE_CLASS(CPlugFileVideo, nullptr, CPLUGFILEVIDEO_MEMBERS, MW_NO_CHUNKS);

CPlugFileVideo::~CPlugFileVideo() {
    if (m_Bitmap)
        m_Bitmap->ForgetVideo(this);
}

i32 CPlugFileVideo::ForwardFrame(CPlugFileVideo* video, CPlugBitmap* bitmap, u32 zero, u32 nbComp,
                                 u32 hasAlpha, u8* pixels, u32 pitch) {
    return video->UpdateFrame(bitmap, zero, nbComp, hasAlpha, pixels, pitch);
}

i32 CPlugFileVideo::BindBitmap(CPlugBitmap* bitmap) {
    if (!bitmap)
        return 0;
    // A video shows in one bitmap: the last one it was given.
    if (m_Bitmap && m_Bitmap != bitmap)
        m_Bitmap->ForgetVideo(this);
    bitmap->SetPixelUpdate(CPlugBitmap::PixelUpdateVideo);
    BitmapVideoFrames* frames = bitmap->GetVideoFrames();
    if (!frames)
        return 0;
    // The payload may still name another video that thinks it shows in this bitmap.
    if (frames->Video && frames->Video != this)
        frames->Video->UnbindBitmap(bitmap);
    frames->Video = this;
    frames->Counter = 0;
    for (BitmapFrameCallback& callback : frames->Callbacks)
        callback = {this, &CPlugFileVideo::ForwardFrame};
    bitmap->SetWantedColorDepth(1);
    m_Bitmap = bitmap;
    Start(s_DefaultTimeMode, 1, u32(-1));
    if (!IsLoaded())
        EnsureLoaded();
    const u32 nbComp = GetNbComp();
    return UpdateFrame(bitmap, 0, nbComp, nbComp == 4, m_Pixels, m_Width * nbComp);
}
