// The render nods of a bitmap: defaults and member tables, the setters' clamps and their effect on
// the owner bitmap, the clear colour sampled from a clear bitmap (on a picture ImageMagick made),
// the chunks with the old flag words, and the links between renders and bitmaps.
#include "plug/bitmap/PlugBitmapRender.h"

#include "plug/bitmap/PlugBitmap.h"
#include "plug/bitmap/PlugFileTga.h"
#include "plug/shader/PlugBitmapRenderCamera.h"
#include "system/archive/SystemArchive.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/plug/PlugMemberTestSupport.h"
#include "tests/plug/PlugTestSupport.h"
#include "tests/plug/bitmap/PictureTestSupport.h"
#include "tests/plug/visual/VertexStreamSamples.h"

#include <cmath>
#include <vector>

// A render of the kind a bitmap never takes through its Render member.
class CPlugTestRenderKind5 : public CPlugBitmapRender {
    MW_DECLARE_CLASS(CPlugTestRenderKind5, CPlugBitmapRender, 0x090FE000)
public:
    u32 GetRenderKind() override { return 5; }
    bool IsWithoutCamera() override { return true; }
};
MW_DEFINE_CLASS(CPlugTestRenderKind5, nullptr, MW_NO_MEMBERS, MW_NO_CHUNKS);

namespace {

using namespace plug_test;
using R = CPlugBitmapRender;

class PlugBitmapRender : public CPlugNodCountFixture {
protected:
    // A bitmap over a BGRA image whose texel (x, y) holds bytes x, y, 7, 200 (B, G, R, A).
    static CMwNodRef ClearBitmap(u32 width, u32 height, u32 nbComp = 4) {
        CMwNodRef image(new CPlugFileTga);
        auto* img = static_cast<CPlugFileImg*>(image.Get());
        img->Create(width, height, nbComp, CPlugFileImg::EFormat_BGRA, nullptr, 0, false, false,
                    CPlugFileImg::EDimension_2d, 1);
        for (u32 y = 0; y < height; ++y)
            for (u32 x = 0; x < width; ++x) {
                u8* texel = img->GetTexelAddress(x, y, 0, 0);
                const u8 bytes[4] = {u8(x), u8(y), 7, 200};
                std::memcpy(texel, bytes, nbComp);
            }
        CMwNodRef bitmap(new CPlugBitmap);
        static_cast<CPlugBitmap*>(bitmap.Get())->SetImage(img);
        return bitmap;
    }
    static CPlugBitmap* Bmp(const CMwNodRef& held) { return static_cast<CPlugBitmap*>(held.Get()); }
};

std::string Le32(u32 v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
std::string Le16(u16 v) {
    return std::string{char(v), char(v >> 8)};
}
std::string F32(f32 v) {
    u32 bits;
    std::memcpy(&bits, &v, 4);
    return Le32(bits);
}

// A new water render reads back its defaults through the members; the cube map and the camera
// target theirs; the three answer their kind and the camera query.
TEST_F(PlugBitmapRender, Defaults) {
    CMwNodRef held(new CPlugBitmapRenderWater);
    auto* water = static_cast<CPlugBitmapRenderWater*>(held.Get());
    EXPECT_EQ(water->m_RenderFlags, 0x2E8007E2u);
    const struct {
        const char* Member;
        u32 Value;
    } naturals[] = {{"WaterType", 1},           {"TriggerRender", R::TriggerEachFrame},
                    {"TriggerClearRGBA", 2},    {"WriteRed", 1},
                    {"WriteGreen", 1},          {"WriteBlue", 1},
                    {"WriteAlpha", 1},          {"RenderShadows", 1},
                    {"RenderLensFlares", 0},    {"OnePixBorder", 1},
                    {"ClearWithFog", 1},        {"CustomFog", 0},
                    {"LightOnly", 0},           {"BlurTexelCount", 0},
                    {"RenderPath", R::Normal},  {"RenderPathFails", R::Hide},
                    {"IVIdMaskViewDepBump", 1}, {"IVIdMaskHideAlways", 1},
                    {"IVIdMaskReflected", 0},   {"SVIdMaskViewDepWindIntens", 1},
                    {"IVIdRefHideAlways", 0},   {"UseClipPlane", 0}};
    for (const auto& n : naturals)
        EXPECT_EQ(Get<u32>(water, n.Member), n.Value) << n.Member;
    EXPECT_EQ(Get<f32>(water, "FMargin"), 0.05f);
    EXPECT_EQ(Get<f32>(water, "MirrorScaleY"), 1.0f);
    EXPECT_EQ(Get<f32>(water, "FogMaxDepth"), 1.0f);
    EXPECT_EQ(Get<f32>(water, "FogCustomFarZ"), 50.0f);
    EXPECT_EQ(water->m_WaterFlags, 3u);
    EXPECT_EQ(water->m_Frustum.ortho, 0u);
    EXPECT_FLOAT_EQ(water->m_Frustum.maxX, 0.57735027f);
    EXPECT_EQ(water->m_Frustum.minY, -water->m_Frustum.maxY);
    EXPECT_EQ(water->m_Frustum.zNear, 0.5f);
    EXPECT_EQ(water->m_Frustum.zFar, 1000.0f);
    EXPECT_EQ(water->m_Location.R.m11, 1.0f);
    EXPECT_EQ(water->GetRenderKind(), 2u);
    EXPECT_TRUE(water->IsWithoutCamera());

    CMwNodRef cubeHeld(new CPlugBitmapRenderCubeMap);
    auto* cube = static_cast<CPlugBitmapRenderCubeMap*>(cubeHeld.Get());
    EXPECT_EQ(Get<u32>(cube, "CubeFaceCount"), 6u);
    EXPECT_EQ(Get<f32>(cube, "NearZ"), 0.5f);
    EXPECT_EQ(Get<f32>(cube, "FarZ"), 1000.0f);
    EXPECT_EQ(Get<f32>(cube, "CenterPos.y"), 0.0f);
    EXPECT_EQ(cube->GetRenderKind(), 1u);
    EXPECT_TRUE(cube->IsWithoutCamera());
    // The action does nothing here.
    EXPECT_EQ(Set<u32>(cube, "SaveInTga", 0), 0u);
}

// Member and chunk counts, names and labels, the 44 filter members from the one table.
TEST_F(PlugBitmapRender, MemberAndChunkTables) {
    CMwNodRef water(new CPlugBitmapRenderWater), cube(new CPlugBitmapRenderCubeMap),
        camera(new CPlugBitmapRenderCamera);
    EXPECT_EQ(water->MemberCount(), 85u);
    EXPECT_EQ(cube->MemberCount(), 76u);
    EXPECT_EQ(camera->MemberCount(), 74u);
    EXPECT_EQ(water->ChunkCount(), 20u);
    EXPECT_EQ(cube->ChunkCount(), 14u);
    EXPECT_EQ(camera->ChunkCount(), 14u);
    const struct {
        u32 Id;
        const char* Name;
        const char* Label;
    } rows[] = {{0x09086000, "TriggerRender", "Trigg.Render"},
                {0x09086001, "LightOnly", "Lights only"},
                {0x09086004, "IVIdMaskReflected", "ItemChkReflected"},
                {0x0908600E, "IVIdMaskBackground", "ItemChkBackground"},
                {0x0908600F, "IVIdRefReflected", "ItemRefReflected"},
                {0x09086021, "SVIdMaskHideWhenOverground", "ShadChkHideWhenOverground"},
                {0x09086023, "SVIdMaskViewDepWindIntens", "ShadChkViewDepWindIntens"},
                {0x0908602D, "SVIdRefHideAlways", "ShadRefHideAlways"},
                {0x0908602F, "SVIdRefBackground", "ShadRefBackground"},
                {0x09086031, "FogCustomFarZ", "CustomFogFarZ"},
                {0x09086038, "OnePixBorder", "1TexelBorder"},
                {0x09086042, "BitmapClear", "Clear Bitmap"},
                {0x09086043, "BitmapClearMode", "Clear UV"},
                {0x09086044, "BitmapClearUV", "Clear UV"},
                {0x09086045, "BlurTexelCount", "BlurTexelCount"},
                {0x09087003, "MirrorScaleY", "MirrorScaleY"},
                {0x09087008, "RndLDirSpecInA", "SpecularInAlpha"},
                {0x0908700D, "DisableGeomOptim", "DisableGeomOptim"},
                {0x09088000, "SaveInTga", "SaveInFile"},
                {0x09088002, "CenterPos", "Center"},
                {0x09089001, "ForceAlphaToOne", "Force Alpha=1"},
                {0x09089002, "Camera", "Camera"}};
    for (const auto& row : rows) {
        const CMwMemberInfo* info = CMwClassRegistry::GetMemberInfo(row.Id);
        ASSERT_NE(info, nullptr) << std::hex << row.Id;
        EXPECT_STREQ(info->Name, row.Name);
        EXPECT_STREQ(info->Label, row.Label);
    }
    // Enumeration order: the base's members, then the class's own.
    EXPECT_EQ(camera->MemberIdByIndex(71), 0x09089000u);
    EXPECT_EQ(water->MemberIdByIndex(70), 0x09086045u);
}

// Setters clamp as the flag word allows and change only their own bits; filter members are the
// bits of their category in their word.
TEST_F(PlugBitmapRender, SettersClampAndKeepOtherBits) {
    const struct {
        const char* Member;
        u32 Written;
        u32 Read;
        u32 Mask; // the bits the member owns
    } cases[] = {{"TriggerRender", 7, 3, 0x3},
                 {"TriggerClearRGBA", 9, 3, 0xC00000},
                 {"BitmapClearMode", 9, 1, 0x3800},  // low 3 bits of 9
                 {"BitmapClearMode", 20, 7, 0x3800}, // low 3 bits of min(20, 15)
                 {"BitmapClearMode", 5, 5, 0x3800},
                 {"BlurTexelCount", 300, 255, 0x3FC000},
                 {"BlurTexelCount", 17, 17, 0x3FC000},
                 {"LightOnly", 5, 1, 0x4},
                 {"RenderLensFlares", 1, 1, 0x10000000},
                 {"CustomFog", 1, 1, 0x80000000},
                 {"WriteGreen", 0, 0, 0x100}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Member);
        CMwNodRef held(new CPlugBitmapRenderWater);
        auto* render = static_cast<CPlugBitmapRenderWater*>(held.Get());
        EXPECT_EQ(Set<u32>(render, c.Member, c.Written), 0u);
        EXPECT_EQ(Get<u32>(render, c.Member), c.Read);
        EXPECT_EQ(render->m_RenderFlags & ~c.Mask, R::s_DefaultFlags & ~c.Mask);
    }
    CMwNodRef held(new CPlugBitmapRenderWater);
    auto* render = static_cast<CPlugBitmapRenderWater*>(held.Get());
    EXPECT_EQ(Set<u32>(render, "IVIdMaskReflected", 1), 0u);
    EXPECT_EQ(Set<u32>(render, "IVIdRefBackground", 1), 0u);
    EXPECT_EQ(Set<u32>(render, "SVIdMaskHideAlways", 0), 0u);
    EXPECT_EQ(Set<u32>(render, "SVIdRefRefracted", 1), 0u);
    EXPECT_EQ(render->m_ItemFilter.Mask, 0x339u);
    EXPECT_EQ(render->m_ItemFilter.Ref, 0x400u);
    EXPECT_EQ(render->m_ShadowFilter.Mask, 0x238u);
    EXPECT_EQ(render->m_ShadowFilter.Ref, 0x4u);
    EXPECT_EQ(render->m_RenderFlags, R::s_DefaultFlags);
    // The water's own bits; bit 0 stays.
    EXPECT_EQ(Set<u32>(render, "WaterType", 0), 0u);
    EXPECT_EQ(Set<u32>(render, "UseCameraZClip", 3), 0u);
    EXPECT_EQ(render->m_WaterFlags, 0x81u);
}

// ClearRGB and ClearAlpha store x 255 truncated and raise the owner's dirty flag; they and the
// clear bitmap members clear the owner's done bit. Other setters leave the owner alone.
TEST_F(PlugBitmapRender, ClearSettingsTellTheOwner) {
    CMwNodRef bitmapHeld(new CPlugBitmap);
    auto* bitmap = Bmp(bitmapHeld);
    ASSERT_EQ(bitmap->SetPixelUpdate(CPlugBitmap::PixelUpdateRender), 4u);
    CPlugBitmapRender* render = bitmap->GetRender();
    ASSERT_NE(render, nullptr);
    EXPECT_EQ(render->GetOwnerBitmap(), bitmap);
    const CMwNodRef clear = ClearBitmap(16, 16);
    const auto reset = [&] {
        bitmap->SetDirty(false);
        bitmap->m_Flags[1] |= CPlugBitmap::s_PixelUpdateDoneBit;
    };
    const auto done = [&] { return (bitmap->m_Flags[1] & CPlugBitmap::s_PixelUpdateDoneBit) != 0; };

    reset();
    EXPECT_EQ(Set<u32>(render, "TriggerRender", 1), 0u);
    EXPECT_EQ(Set<f32>(render, "FogCustomFarZ", 3.0f), 0u);
    EXPECT_TRUE(done());
    EXPECT_FALSE(bitmap->IsDirty());

    EXPECT_EQ(Set<GmColorRgb>(render, "ClearRGB", GmColorRgb{1.0f, 0.5f, 0.999f}), 0u);
    EXPECT_TRUE(bitmap->IsDirty());
    EXPECT_FALSE(done());
    EXPECT_EQ(render->m_ClearColor[0], 254); // B: 254.7 truncated
    EXPECT_EQ(render->m_ClearColor[1], 127);
    EXPECT_EQ(render->m_ClearColor[2], 255);
    reset();
    EXPECT_EQ(Set<f32>(render, "ClearAlpha", 0.2f), 0u);
    EXPECT_EQ(render->m_ClearColor[3], 51);
    EXPECT_TRUE(bitmap->IsDirty());
    EXPECT_FALSE(done());
    EXPECT_EQ(Get<f32>(render, "ClearRGB.g"), 127.0f / 255.0f);

    reset();
    EXPECT_EQ(SetNod(render, "BitmapClear", clear.Get()), 0u);
    EXPECT_EQ(render->GetBitmapClear(), clear.Get());
    EXPECT_EQ(GetNod(render, "BitmapClear"), clear.Get());
    EXPECT_TRUE(bitmap->IsDirty());
    EXPECT_FALSE(done());
    reset();
    EXPECT_EQ(Set<f32>(render, "BitmapClearUV.x", 0.5f), 0u);
    EXPECT_EQ(render->m_BitmapClearUV.x, 0.5f);
    EXPECT_EQ(render->m_ClearColor[0], 8); // texel (8, 0)
    EXPECT_FALSE(done());
    // A nod that is no bitmap is refused.
    EXPECT_EQ(SetNod(render, "BitmapClear", render), 2u);
    EXPECT_EQ(render->GetBitmapClear(), clear.Get());
    // None releases the clear bitmap.
    const i32 refs = clear->GetRefCount();
    EXPECT_EQ(SetNod(render, "BitmapClear", nullptr), 0u);
    EXPECT_EQ(clear->GetRefCount(), refs - 1);
    EXPECT_EQ(render->GetBitmapClear(), nullptr);
}

// The texel is round(side x t - 0.5), halves away from zero, clamped to the image; the UV is
// clamped to [0, 1] and stored. A clear bitmap that is not 4-byte BGRA is dropped and the colour
// stays.
TEST_F(PlugBitmapRender, SampleClearColour) {
    CMwNodRef held(new CPlugBitmapRenderCubeMap);
    auto* render = static_cast<CPlugBitmapRender*>(held.Get());
    const CMwNodRef square = ClearBitmap(16, 16), small = ClearBitmap(4, 4);
    const struct {
        CPlugBitmap* Bitmap;
        Vec2 Uv;
        u32 X, Y;
        Vec2 Stored;
    } cases[] = {
        {Bmp(square), {1.5f, -0.2f}, 15, 0, {1.0f, 0.0f}},
        {Bmp(square), {NAN, 0.5f}, 0, 8, {0.0f, 0.5f}},       // 16 x 0.5 - 0.5 = 7.5 rounds to 8
        {Bmp(small), {0.25f, 0.125f}, 1, 0, {0.25f, 0.125f}}, // 0.5 rounds up, 0 stays
        {Bmp(small), {0.75f, 0.375f}, 3, 1, {0.75f, 0.375f}}, // 2.5 rounds up to 3
        {Bmp(small), {0.0f, 1.0f}, 0, 3, {0.0f, 1.0f}},       // -0.5 rounds to -1, clamped
        {Bmp(small), {0.6f, 0.624f}, 2, 2, {0.6f, 0.624f}},   // 1.9 and 1.996
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.X << "," << c.Y);
        render->SetBitmapClear(c.Bitmap, c.Uv);
        EXPECT_EQ(render->GetBitmapClear(), c.Bitmap);
        EXPECT_EQ(render->m_ClearColor[0], c.X);
        EXPECT_EQ(render->m_ClearColor[1], c.Y);
        EXPECT_EQ(render->m_ClearColor[2], 7);
        EXPECT_EQ(render->m_ClearColor[3], 200);
        EXPECT_EQ(render->m_BitmapClearUV.x, c.Stored.x);
        EXPECT_EQ(render->m_BitmapClearUV.y, c.Stored.y);
    }
    // Three bytes per texel, no image, no pixels: dropped, colour and UV kept.
    CMwNodRef noImage(new CPlugBitmap);
    CMwNodRef unloaded(new CPlugBitmap);
    CMwNodRef empty(new CPlugFileTga);
    auto* emptyImage = static_cast<CPlugFileImg*>(empty.Get());
    emptyImage->Create(4, 4, 4, CPlugFileImg::EFormat_BGRA, nullptr, 0, false, false,
                       CPlugFileImg::EDimension_2d, 1);
    emptyImage->FreePixels();
    Bmp(unloaded)->SetImage(emptyImage);
    const CMwNodRef rgb = ClearBitmap(16, 16, 3);
    for (CPlugBitmap* refused : {Bmp(rgb), Bmp(noImage), Bmp(unloaded)}) {
        render->SetBitmapClear(Bmp(small), {0.5f, 0.5f});
        const u8 before[4] = {render->m_ClearColor[0], render->m_ClearColor[1],
                              render->m_ClearColor[2], render->m_ClearColor[3]};
        const i32 refs = refused->GetRefCount();
        render->SetBitmapClear(refused, {0.9f, 0.9f});
        EXPECT_EQ(render->GetBitmapClear(), nullptr);
        EXPECT_EQ(refused->GetRefCount(), refs);
        EXPECT_EQ(std::memcmp(render->m_ClearColor, before, 4), 0);
        EXPECT_EQ(render->m_BitmapClearUV.x, 0.5f);
    }
    EXPECT_FALSE(render->SampleClearColour({0.5f, 0.5f}));
}

// A 32-bit TGA that ImageMagick writes (rows stored bottom-up): its corners and edges come back at
// the texels the UV names, v = 0 being the bottom row of the picture.
TEST_F(PlugBitmapRender, SampleClearColourOnImageMagickPicture) {
    CTempFolder temp;
    const std::string path = temp.File("clear.tga");
    // 5 x 4 texels R, G, B, A, top row first: grey with coloured corners and edge texels.
    // ImageMagick turns them into a 32-bit TGA with its own header and row order.
    const auto at = [](u32 x, u32 y) { return (y * 5 + x) * 4; };
    std::string rgba;
    for (u32 i = 0; i < 20; ++i)
        rgba += std::string{10, 20, 30, char(255)};
    const struct {
        u32 X, Y;
        u8 Rgba[4];
    } texels[] = {{0, 0, {255, 0, 0, 255}},   {4, 0, {0, 255, 0, 255}},
                  {0, 3, {0, 0, 255, 255}},   {4, 3, {255, 255, 0, 128}},
                  {2, 0, {0, 255, 255, 255}}, {4, 1, {255, 0, 255, 255}}};
    for (const auto& t : texels)
        for (u32 i = 0; i < 4; ++i)
            rgba[at(t.X, t.Y) + i] = char(t.Rgba[i]);
    WriteWholeFile(temp.File("clear.rgba"), rgba);
    RunCommand("convert -size 5x4 -depth 8 rgba:" + temp.File("clear.rgba") +
               " -orient TopLeft -type TrueColorAlpha " + path);
    CMwNodRef image(new CPlugFileTga);
    ASSERT_EQ(ReadTgaBytes(*static_cast<CPlugFileTga*>(image.Get()), ReadWholeFile(path)), 1);
    ASSERT_EQ(static_cast<CPlugFileImg*>(image.Get())->GetNbComp(), 4u);
    CMwNodRef clear(new CPlugBitmap);
    Bmp(clear)->SetImage(static_cast<CPlugFileImg*>(image.Get()));
    CMwNodRef held(new CPlugBitmapRenderWater);
    auto* render = static_cast<CPlugBitmapRender*>(held.Get());
    const struct {
        Vec2 Uv;
        u8 Bgra[4];
    } cases[] = {
        {{0.0f, 1.0f}, {0, 0, 255, 255}},    // top left
        {{1.0f, 1.0f}, {0, 255, 0, 255}},    // top right
        {{-3.0f, 0.0f}, {255, 0, 0, 255}},   // bottom left
        {{1.0f, 0.0f}, {0, 255, 255, 128}},  // bottom right, half alpha
        {{0.5f, 0.9f}, {255, 255, 0, 255}},  // top edge, middle: x = round(2) = 2
        {{0.95f, 0.7f}, {255, 0, 255, 255}}, // right edge, second row from the top
        {{0.5f, 0.5f}, {30, 20, 10, 255}},   // y = round(1.5) = 2: plain grey
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Uv.x << "," << c.Uv.y);
        render->SetBitmapClear(Bmp(clear), c.Uv);
        ASSERT_EQ(render->GetBitmapClear(), clear.Get());
        for (u32 i = 0; i < 4; ++i)
            EXPECT_EQ(render->m_ClearColor[i], c.Bgra[i]) << i;
    }
}

// The written chunks' bodies, byte for byte, and a whole save and load: every load forces
// HideAlways into both masks and out of both refs, and clears bit 30.
TEST_F(PlugBitmapRender, WrittenChunksAndLoad) {
    CMwNodRef held(new CPlugBitmapRenderWater);
    auto* water = static_cast<CPlugBitmapRenderWater*>(held.Get());
    water->m_ItemFilter = {0x0001, 0x0102};
    water->m_ShadowFilter = {0x0203, 0x0304};
    water->m_RenderPath = R::GlowInput;
    water->m_RenderFlags |= R::s_LoadClearedBit;
    water->m_ClearColor[0] = 0x11;
    water->m_ClearColor[3] = 0x44;
    EXPECT_EQ(WriteChunkBody(*water, 0x09086003),
              Le16(1) + Le16(0x102) + Le16(0x203) + Le16(0x304));
    EXPECT_EQ(WriteChunkBody(*water, 0x09086008), Le32(2) + Le32(1));
    EXPECT_EQ(WriteChunkBody(*water, 0x0908600A), F32(50.0f));
    EXPECT_EQ(WriteChunkBody(*water, 0x0908600B),
              Le32(0x44000011) + Le32(0x6E8007E2) + Le32(0xFFFFFFFF) + F32(0) + F32(0));
    EXPECT_EQ(WriteChunkBody(*water, 0x09087006), F32(1.0f));
    const f32 slope = water->m_Frustum.maxX;
    EXPECT_EQ(WriteChunkBody(*water, 0x09087005),
              Le32(0) + F32(-slope) + F32(-slope) + F32(0.5f) + F32(slope) + F32(slope) +
                  F32(1000.0f) + F32(1) + F32(0) + F32(0) + F32(0) + F32(1) + F32(0) + F32(0) +
                  F32(0) + F32(1) + F32(0) + F32(0) + F32(0) + Le32(3) + F32(0) + F32(0.05f) +
                  F32(1.0f));

    for (u32 flags : {u32(kSystemArchiveSaveRelease), kSystemArchiveSaveText}) {
        SCOPED_TRACE(flags);
        CClassicBufferMemory image;
        CSystemArchive saver;
        ASSERT_EQ(saver.SaveToMemory(&image, water, flags), 1);
        Engine().ReleaseMemoryFid(&image);
        CMwNod* out = nullptr;
        ASSERT_EQ(LoadNodFromMemoryBuffer(&image, &out), 1);
        const CMwNodRef loaded(out);
        ASSERT_TRUE(out->IsKindOf(CPlugBitmapRenderWater::s_ClassId));
        auto* back = static_cast<CPlugBitmapRenderWater*>(out);
        EXPECT_EQ(Get<u32>(back, "IVIdMaskHideAlways"), 1u);
        EXPECT_EQ(Get<u32>(back, "IVIdRefHideAlways"), 0u);
        EXPECT_EQ(back->m_ItemFilter.Mask, 0x0101u);
        EXPECT_EQ(back->m_ItemFilter.Ref, 0x0002u);
        EXPECT_EQ(back->m_ShadowFilter.Mask, 0x0303u);
        EXPECT_EQ(back->m_ShadowFilter.Ref, 0x0204u);
        EXPECT_EQ(back->m_RenderFlags, R::s_DefaultFlags);
        EXPECT_EQ(back->m_RenderPath, R::GlowInput);
        EXPECT_EQ(back->m_ClearColor[3], 0x44);
        EXPECT_EQ(back->m_FrustrumMargin, 0.05f);
    }
}

// The old clear-settings chunks, built by hand: rule 1 (flag word and item filter from one
// word), rule 2 (trigger, blur moved down one bit) and the final change of each id.
TEST_F(PlugBitmapRender, OldFlagWords) {
    const struct {
        u32 Chunk;
        u32 Old;
        u32 Flags;
        u16 ItemMask, ItemRef; // rule 1 only
    } cases[] = {
        {0x09086000, 0x12345678, 0x2A0017F8, 0xAC, 0x68},
        {0x09086000, 0xFFFFFFFF, 0xEFC03FFF, 0xFF, 0xFF},
        {0x09086001, 0x12345678, 0x2A0017F8, 0xAC, 0x68},
        {0x09086009, 0xA5C3F0F1, 0xA5A1F0F2, 0x338, 0},
        {0x09086009, 0x5A3C0F0E, 0x5A1E0F0D, 0x338, 0},
        {0x09086004, 0xA5C3F0F1, 0xAD8037F2, 0x338, 0},
        {0x09086005, 0xA5C3F0F1, 0xA58037F2, 0x338, 0},
        {0x09086006, 0xA5C3F0F1, 0xA58030F2, 0x338, 0},
        {0x09086007, 0xA5C3F0F1, 0xA5A1F0F2, 0x338, 0},
        {0x09086007, 0x5A3C0F0E, 0x7A1E0F0D, 0x338, 0},
    };
    const CMwNodRef clear = ClearBitmap(2, 2);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.Chunk << " " << c.Old);
        CMwNodRef held(new CPlugBitmapRenderCubeMap);
        auto* render = static_cast<CPlugBitmapRender*>(held.Get());
        std::string body = Le32(0x80402010) + Le32(c.Old);
        if (c.Chunk != 0x09086000)
            body += Le32(0) + F32(1.0f) + F32(0.0f); // the clear bitmap, sampled at (1, 0)
        ReadChunkBody(*render, c.Chunk, body, false, clear.Get());
        EXPECT_EQ(render->m_RenderFlags, c.Flags);
        EXPECT_EQ(render->m_ItemFilter.Mask, c.ItemMask);
        EXPECT_EQ(render->m_ItemFilter.Ref, c.ItemRef);
        if (c.Chunk == 0x09086000) {
            EXPECT_EQ(render->m_ClearColor[0], 0x10);
            EXPECT_EQ(render->m_ClearColor[3], 0x80);
        } else {
            EXPECT_EQ(render->GetBitmapClear(), clear.Get());
            EXPECT_EQ(render->m_ClearColor[0], 1); // texel (1, 0)
        }
    }
    CMwNodRef held(new CPlugBitmapRenderWater);
    auto* render = static_cast<CPlugBitmapRender*>(held.Get());
    ReadChunkBody(*render, 0x09086002, Le16(0x0F0F) + Le16(0x0101));
    EXPECT_EQ(render->m_ShadowFilter.Mask, 0x0F0Fu);
    EXPECT_EQ(render->m_ShadowFilter.Ref, 0x0101u);
    EXPECT_EQ(render->m_ItemFilter.Mask, 0x338u);
    // A clear bitmap stored as another class fails the read.
    CLogWatch log;
    EXPECT_THROW(ReadChunkBody(*render, 0x0908600B, Le32(0) + Le32(0) + Le32(0) + F32(0) + F32(0),
                               false, render),
                 CClassicBufferException);
    EXPECT_NE(log.Since().find("clear bitmap"), std::string::npos);
}

// The water's old forms, each the one before plus its fields, set bit 0; an orthographic volume
// is written as its six floats.
TEST_F(PlugBitmapRender, OldWaterForms) {
    std::string volume = Le32(0);
    for (f32 v : {-1.0f, -2.0f, 3.0f, 4.0f, 5.0f, 600.0f})
        volume += F32(v);
    for (u32 i = 0; i < 12; ++i)
        volume += F32(f32(i));
    const std::string tail[] = {Le32(1) + F32(7.0f) + Le32(1) + F32(0.25f), Le32(1), F32(0.5f),
                                Le32(1)};
    for (u32 form = 0; form <= 4; ++form) {
        SCOPED_TRACE(form);
        CMwNodRef held(new CPlugBitmapRenderWater);
        auto* water = static_cast<CPlugBitmapRenderWater*>(held.Get());
        water->m_WaterFlags = 0;
        std::string body = volume + Le32(0); // WaterType Refraction
        for (u32 i = 0; i < form; ++i)
            body += tail[i];
        ReadChunkBody(*water, 0x09087000 + form, body);
        EXPECT_EQ(water->m_Frustum.zFar, 600.0f);
        EXPECT_EQ(water->m_Location.t.z, 11.0f);
        EXPECT_EQ(water->m_Location.R.m01, 1.0f);
        const u32 expected[] = {0x1, 0xD, 0x1D, 0x1D, 0x3D};
        EXPECT_EQ(water->m_WaterFlags, expected[form]);
        EXPECT_EQ(water->m_ClipPlaneHeight, form >= 1 ? 7.0f : 0.0f);
        EXPECT_EQ(water->m_FrustrumMargin, form >= 1 ? 0.25f : 0.05f);
        EXPECT_EQ(water->m_MirrorScaleY, form >= 3 ? 0.5f : 1.0f);
    }
    CMwNodRef held(new CPlugBitmapRenderWater);
    auto* water = static_cast<CPlugBitmapRenderWater*>(held.Get());
    water->m_Frustum.ortho = 1;
    const std::string binary = WriteChunkBody(*water, 0x09087005);
    const std::string text = WriteChunkBody(*water, 0x09087005, true);
    EXPECT_EQ(binary.substr(0, 8), Le32(1) + F32(water->m_Frustum.minX));
    // Six floats in text rather than 24 raw bytes.
    EXPECT_EQ(text.substr(0, 3), "1\r\n");
    EXPECT_NE(text.find("0.500000\r\n0.577350\r\n"), std::string::npos);
}

// The cube map's chunk; CenterPos is not archived.
TEST_F(PlugBitmapRender, CubeMapChunk) {
    CMwNodRef held(new CPlugBitmapRenderCubeMap);
    auto* cube = static_cast<CPlugBitmapRenderCubeMap*>(held.Get());
    cube->m_CenterPosInVisual = {1, 2, 3};
    EXPECT_EQ(WriteChunkBody(*cube, 0x09088000), Le32(6) + F32(0.5f) + F32(1000.0f));
    ReadChunkBody(*cube, 0x09088000, Le32(2) + F32(1.5f) + F32(9.0f));
    EXPECT_EQ(cube->m_DirtyFaceCount, 2u);
    EXPECT_EQ(cube->m_NearZ, 1.5f);
    EXPECT_EQ(cube->m_FarZ, 9.0f);
}

// Kind 4: a new water render, or a cube-map render for a cube map, owned and held by the bitmap;
// asking for kind 4 again keeps the render and its settings; a render given replaces it; a nod
// that is no render is refused.
TEST_F(PlugBitmapRender, BitmapRenderKind) {
    for (bool cubeMap : {false, true}) {
        SCOPED_TRACE(cubeMap);
        CMwNodRef held(new CPlugBitmap);
        auto* bitmap = Bmp(held);
        CMwNodRef image(new CPlugFileTga);
        static_cast<CPlugFileImg*>(image.Get())
            ->Create(8, 8, 4, CPlugFileImg::EFormat_BGRA, nullptr, 0, false, false,
                     cubeMap ? CPlugFileImg::EDimension_Cube : CPlugFileImg::EDimension_2d, 1);
        bitmap->SetImage(static_cast<CPlugFileImg*>(image.Get()));
        bitmap->m_Flags[1] |= CPlugBitmap::s_PixelUpdateDoneBit;
        EXPECT_EQ(bitmap->SetPixelUpdate(CPlugBitmap::PixelUpdateRender), 4u);
        CPlugBitmapRender* render = bitmap->GetRender();
        ASSERT_NE(render, nullptr);
        EXPECT_EQ(render->GetRenderKind(), cubeMap ? 1u : 2u);
        EXPECT_EQ(render->GetOwnerBitmap(), bitmap);
        EXPECT_EQ(render->GetRefCount(), 1);
        EXPECT_EQ(bitmap->m_Flags[1] & CPlugBitmap::s_PixelUpdateDoneBit, 0u);
        EXPECT_EQ(GetNod(bitmap, "Render"), render);
        EXPECT_EQ(Get<u32>(bitmap, "PixelUpdate"), u32(CPlugBitmap::RenderRender));
        // Through the bitmap's member, on to the render's.
        EXPECT_EQ(Set<u32>(bitmap, "Render.BlurTexelCount", 9), 0u);
        EXPECT_EQ(Get<u32>(bitmap, "Render.BlurTexelCount"), 9u);
        EXPECT_EQ(bitmap->SetPixelUpdate(CPlugBitmap::PixelUpdateRender), 4u);
        EXPECT_EQ(bitmap->GetRender(), render);
        EXPECT_EQ(render->GetFlagMember(0x09086045), 9u);
    }
    CMwNodRef held(new CPlugBitmap);
    auto* bitmap = Bmp(held);
    bitmap->SetPixelUpdate(CPlugBitmap::PixelUpdateRender);
    CMwNodRef water(bitmap->GetRender());
    CMwNodRef camera(new CPlugBitmapRenderCamera);
    EXPECT_EQ(bitmap->SetPixelUpdate(CPlugBitmap::PixelUpdateRender, camera.Get()), 4u);
    EXPECT_EQ(bitmap->GetRender(), camera.Get());
    EXPECT_EQ(static_cast<CPlugBitmapRender*>(camera.Get())->GetOwnerBitmap(), bitmap);
    // The render given up forgets its owner.
    EXPECT_EQ(static_cast<CPlugBitmapRender*>(water.Get())->GetOwnerBitmap(), nullptr);
    EXPECT_EQ(water->GetRefCount(), 1);
    CLogWatch log;
    EXPECT_EQ(bitmap->SetPixelUpdate(CPlugBitmap::PixelUpdateRender, bitmap), 4u);
    EXPECT_EQ(bitmap->GetRender(), camera.Get());
    EXPECT_NE(log.Since().find("no render"), std::string::npos);
}

// The Render member replaces the render only with a render of another kind (never 5), which takes
// over the flag word and the clear colour; the same render is accepted as it is.
TEST_F(PlugBitmapRender, RenderMemberReplacement) {
    CMwNodRef held(new CPlugBitmap);
    auto* bitmap = Bmp(held);
    bitmap->SetPixelUpdate(CPlugBitmap::PixelUpdateRender);
    CPlugBitmapRender* water = bitmap->GetRender();
    water->m_RenderFlags = 0x12345678;
    water->m_ClearColor[2] = 99;
    CMwNodRef otherWater(new CPlugBitmapRenderWater), kind5(new CPlugTestRenderKind5),
        cube(new CPlugBitmapRenderCubeMap), plain(new CPlugBitmap);
    EXPECT_EQ(SetNod(bitmap, "Render", water), 0u);
    EXPECT_EQ(SetNod(bitmap, "Render", otherWater.Get()), 2u);
    EXPECT_EQ(SetNod(bitmap, "Render", kind5.Get()), 2u);
    EXPECT_EQ(SetNod(bitmap, "Render", plain.Get()), 2u);
    EXPECT_EQ(SetNod(bitmap, "Render", nullptr), 2u);
    EXPECT_EQ(bitmap->GetRender(), water);
    EXPECT_EQ(SetNod(bitmap, "Render", cube.Get()), 0u);
    ASSERT_EQ(bitmap->GetRender(), cube.Get());
    auto* now = static_cast<CPlugBitmapRender*>(cube.Get());
    EXPECT_EQ(now->m_RenderFlags, 0x12345678u);
    EXPECT_EQ(now->m_ClearColor[2], 99);
    EXPECT_EQ(now->GetOwnerBitmap(), bitmap);
    EXPECT_EQ(cube->GetRefCount(), 2);
}

// A render held elsewhere outlives the bitmap (or the kind change) without calling into it.
TEST_F(PlugBitmapRender, RenderOutlivesItsBitmap) {
    for (bool destroy : {true, false}) {
        SCOPED_TRACE(destroy);
        auto* bitmap = new CPlugBitmap;
        bitmap->AddRef();
        bitmap->SetPixelUpdate(CPlugBitmap::PixelUpdateRender);
        CMwNodRef render(bitmap->GetRender());
        if (destroy) {
            bitmap->Release();
        } else {
            bitmap->SetPixelUpdate(CPlugBitmap::PixelUpdateNone);
            bitmap->SetDirty(false);
        }
        auto* kept = static_cast<CPlugBitmapRender*>(render.Get());
        EXPECT_EQ(kept->GetOwnerBitmap(), nullptr);
        EXPECT_EQ(Set<f32>(kept, "ClearAlpha", 1.0f), 0u);
        EXPECT_EQ(kept->m_ClearColor[3], 255);
        if (!destroy) {
            // The former owner hears nothing of it.
            EXPECT_FALSE(bitmap->IsDirty());
            bitmap->Release();
        }
    }
}

} // namespace
