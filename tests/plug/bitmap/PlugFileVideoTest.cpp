// The video image interface, through a test player: binding by SetImage, the member actions,
// and the links between the video and its bitmap when either goes first.
#include "plug/bitmap/PlugFileVideo.h"

#include "core/nod/MwMemberPath.h"
#include "plug/bitmap/PlugBitmap.h"
#include "tests/plug/PlugTestSupport.h"

namespace {

class PlugFileVideo : public CPlugNodCountFixture {
protected:
    // A video of 4 x 2 texels of nbComp bytes, pixels allocated.
    static CPlugTestVideo* NewVideo(u32 nbComp) {
        auto* video = new CPlugTestVideo;
        video->AddRef();
        video->Create(4, 2, nbComp, CPlugFileImg::EFormat_BGRA, nullptr, 0, false, false,
                      CPlugFileImg::EDimension_2d, 1);
        return video;
    }
    static CPlugBitmap* NewBitmap() {
        auto* bitmap = new CPlugBitmap;
        bitmap->AddRef();
        return bitmap;
    }
};

// SetImage binds a video: kind 3 with this video, colour depth 1, started looping in the default
// time mode, and its first frame copied into the image's pixels.
TEST_F(PlugFileVideo, SetImageBindsTheVideo) {
    for (u32 nbComp : {3u, 4u}) {
        SCOPED_TRACE(nbComp);
        CPlugTestVideo* video = NewVideo(nbComp);
        CPlugBitmap* bitmap = NewBitmap();
        bitmap->SetImage(video);
        EXPECT_EQ(video->GetBoundBitmap(), bitmap);
        EXPECT_EQ(bitmap->GetPixelUpdateKind(), 3u);
        BitmapVideoFrames* frames = bitmap->GetVideoFrames();
        ASSERT_NE(frames, nullptr);
        EXPECT_EQ(frames->Video, video);
        EXPECT_EQ(frames->Counter, 0u);
        EXPECT_EQ(bitmap->GetFlagMember(0x09011003), 1u);
        ASSERT_EQ(video->m_Starts.size(), 1u);
        EXPECT_EQ(video->m_Starts[0].TimeMode, 0u);
        EXPECT_EQ(video->m_Starts[0].Looping, 1u);
        EXPECT_EQ(video->m_Starts[0].Third, 0xFFFFFFFFu);
        EXPECT_EQ(video->m_Frames, 1u);
        EXPECT_EQ(video->m_FrameBitmap, bitmap);
        EXPECT_EQ(video->m_FrameArgs[0], 0u);
        EXPECT_EQ(video->m_FrameArgs[1], nbComp);
        EXPECT_EQ(video->m_FrameArgs[2], u32(nbComp == 4));
        EXPECT_EQ(video->m_FrameArgs[3], 4 * nbComp);
        EXPECT_EQ(video->m_Pixels[0], 1);
        EXPECT_EQ(video->m_Pixels[5], 6);
        // The callbacks reach the video's UpdateFrame.
        EXPECT_EQ(frames->Callbacks[1](bitmap, 0, nbComp, 0, video->m_Pixels, 4 * nbComp), 1);
        EXPECT_EQ(video->m_Frames, 2u);
        EXPECT_EQ(video->m_Pixels[0], 2);
        bitmap->Release();
        EXPECT_EQ(video->GetBoundBitmap(), nullptr);
        video->Release();
    }
}

// The member actions reach the player with the stored values.
TEST_F(PlugFileVideo, MemberActions) {
    CPlugTestVideo* video = NewVideo(4);
    const auto run = [&](const char* text, const void* value) {
        CMwMemberPath path;
        EXPECT_EQ(path.ParseFromText(CMwNod::s_NoClassId, video, CClassicString(text)), 0u) << text;
        return video->SetParam(&path, value);
    };
    const u32 human = CPlugFileVideo::HumanTimer;
    const u32 looping = 1;
    EXPECT_EQ(run("TimeMode", &human), 0u);
    EXPECT_EQ(run("IsLooping", &looping), 0u);
    video->m_StartThird = 77;
    EXPECT_EQ(run("Play", nullptr), 0u);
    EXPECT_EQ(run("Stop", nullptr), 0u);
    EXPECT_EQ(run("Rewind", nullptr), 0u);
    ASSERT_EQ(video->m_Starts.size(), 1u);
    EXPECT_EQ(video->m_Starts[0].TimeMode, 1u);
    EXPECT_EQ(video->m_Starts[0].Looping, 1u);
    EXPECT_EQ(video->m_Starts[0].Third, 77u);
    EXPECT_EQ(video->m_Stops, std::vector<u32>{0});
    EXPECT_EQ(video->m_Rewinds, 1u);
    const CMwMemberInfo* mode = CMwClassRegistry::GetMemberInfo(0x09060000);
    ASSERT_NE(mode, nullptr);
    const auto* names = static_cast<const CMwMemberInfoEnum*>(mode)->EnumNames;
    EXPECT_STREQ(names[0], "GameTimer");
    EXPECT_STREQ(names[2], "External");
    EXPECT_STREQ(CMwClassRegistry::GetMemberInfo(0x09060002)->FieldName, "UiPlay");
    EXPECT_STREQ(CMwClassRegistry::GetMemberInfo(0x09060003)->FieldName, "UiStop");
    EXPECT_TRUE(video->IsKindOf(CPlugFileImg::s_ClassId));
    EXPECT_EQ(CPlugFileVideo::s_ClassInfo.m_Factory, nullptr);
    video->Release();
}

// Another image clears kind 3 and the video's link; a video that binds another bitmap leaves the
// first one without it; destroying either side first leaves no call into a freed object.
TEST_F(PlugFileVideo, LinksWhenEitherSideGoes) {
    // Another image.
    {
        CPlugTestVideo* video = NewVideo(3);
        CPlugBitmap* bitmap = NewBitmap();
        bitmap->SetImage(video);
        auto* picture = new CPlugFileImg;
        picture->Create(4, 4, 3, CPlugFileImg::EFormat_BGRA, nullptr, 0, false, false,
                        CPlugFileImg::EDimension_2d, 1);
        bitmap->SetImage(picture);
        EXPECT_EQ(bitmap->GetPixelUpdateKind(), 0u);
        EXPECT_EQ(video->GetBoundBitmap(), nullptr);
        EXPECT_EQ(video->m_Owner, nullptr);
        bitmap->Release();
        video->Release();
    }
    // The video destroyed first (a player that goes outright): the payload forgets it.
    {
        CPlugTestVideo* video = NewVideo(3);
        CPlugBitmap* bitmap = NewBitmap();
        video->BindBitmap(bitmap);
        BitmapVideoFrames* frames = bitmap->GetVideoFrames();
        ASSERT_NE(frames, nullptr);
        delete video;
        EXPECT_EQ(frames->Video, nullptr);
        EXPECT_EQ(frames->Callbacks[0](bitmap, 0, 3, 0, nullptr, 0), 0);
        bitmap->Release();
    }
    // The bitmap destroyed first.
    {
        CPlugTestVideo* video = NewVideo(3);
        CPlugBitmap* bitmap = NewBitmap();
        video->BindBitmap(bitmap);
        bitmap->Release();
        EXPECT_EQ(video->GetBoundBitmap(), nullptr);
        video->Release();
    }
    // One video, two bitmaps: the last one shows it.
    {
        CPlugTestVideo* video = NewVideo(3);
        CPlugBitmap* first = NewBitmap();
        CPlugBitmap* second = NewBitmap();
        video->BindBitmap(first);
        video->BindBitmap(second);
        EXPECT_EQ(video->GetBoundBitmap(), second);
        EXPECT_EQ(first->GetVideoFrames()->Video, nullptr);
        EXPECT_EQ(second->GetVideoFrames()->Video, video);
        // The first bitmap's payload is taken over by another video: the old one is told.
        CPlugTestVideo* other = NewVideo(3);
        other->BindBitmap(second);
        EXPECT_EQ(video->GetBoundBitmap(), nullptr);
        delete video;
        EXPECT_EQ(second->GetVideoFrames()->Video, other);
        other->Release();
        EXPECT_EQ(second->GetVideoFrames()->Video, nullptr);
        first->Release();
        second->Release();
    }
    EXPECT_EQ(CPlugTestVideo().BindBitmap(nullptr), 0);
}

} // namespace
