#pragma once
// CPlugFileVideo, the image of a playing video: a bitmap shows it like any picture, and the video
// refreshes the bitmap's pixels frame by frame through the bitmap's video payload (pixel-update
// kind 3). Only the interface lives here: reading and decoding videos, and the clocks of the
// three time modes, are a concrete player's.
#include "plug/bitmap/PlugFileImg.h"

class CPlugFileVideo : public CPlugFileImg {
    MW_DECLARE_CLASS(CPlugFileVideo, CPlugFileImg, 0x09060000)
public:
    enum ETimeMode : u32 { GameTimer, HumanTimer, External };
    // The time mode BindBitmap starts with.
    static constexpr u32 s_DefaultTimeMode = GameTimer;

    CPlugFileVideo() = default;
    CPlugFileVideo(const CPlugFileVideo&) = delete;
    CPlugFileVideo& operator=(const CPlugFileVideo&) = delete;
    // Leaves the bound bitmap's video payload without this video.
    ~CPlugFileVideo() override;

    // Copies the current frame into the bitmap (zero, components, has-alpha flag, pixel block,
    // row pitch in bytes).
    virtual i32 UpdateFrame(CPlugBitmap* bitmap, u32 zero, u32 nbComp, u32 hasAlpha, u8* pixels,
                            u32 pitch) = 0;
    // Two operations of the concrete players that nothing here calls.
    virtual void PlayerOperation2() {}
    virtual void PlayerOperation3() {}
    virtual void Start(u32 timeMode, u32 looping, u32 third) = 0;
    virtual void Stop(u32 flag) = 0;
    virtual void Rewind() = 0;

    // Makes the bitmap show this video: its video payload calls UpdateFrame, it is started and
    // its first frame is copied. Answers UpdateFrame's result (0 without a bitmap).
    i32 BindBitmap(CPlugBitmap* bitmap);
    CPlugBitmap* GetBoundBitmap() const { return m_Bitmap; }
    // The bitmap lets go of this video.
    void UnbindBitmap(CPlugBitmap* bitmap) {
        if (m_Bitmap == bitmap)
            m_Bitmap = nullptr;
    }

    // The member actions.
    void UiPlay() { Start(m_TimeMode, m_IsLooping, m_StartThird); }
    void UiStop() { Stop(0); }
    void UiRewind() { Rewind(); }

    // The third value Start receives (its meaning is the player's).
    u32 m_StartThird = 0;
    u32 m_IsLooping = 0;
    u32 m_TimeMode = GameTimer;

private:
    // The frame callbacks' function: UpdateFrame of the video.
    static i32 ForwardFrame(CPlugFileVideo* video, CPlugBitmap* bitmap, u32 zero, u32 nbComp,
                            u32 hasAlpha, u8* pixels, u32 pitch);

    // The bitmap that shows this video (a plain pointer, cleared by either side as it goes).
    CPlugBitmap* m_Bitmap = nullptr;
};
