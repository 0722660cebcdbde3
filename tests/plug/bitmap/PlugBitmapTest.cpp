// The bitmap asset: defaults and flag words, the usage rules on real pictures, the dirty flag and
// its listener, the member table (clamps, byte reals, dirty groups, list bounds), the pixel-update
// payloads, image and swap-partner links, and the image's call to its owner after a load.
#include "plug/bitmap/PlugBitmap.h"

#include "core/nod/MwMemberPath.h"
#include "core/nod/MwParam.h"
#include "plug/PlugStart.h"
#include "plug/bitmap/PlugFileTga.h"
#include "system/fid/SystemFid.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/plug/PlugMemberTestSupport.h"
#include "tests/plug/PlugTestSupport.h"
#include "tests/plug/bitmap/PictureTestSupport.h"

#include <cmath>
#include <cstring>
#include <limits>

// A generated image as the usage rules see it: only its class id matters to them.
class CPlugTestGenImage : public CPlugFileImg {
    MW_DECLARE_CLASS(CPlugTestGenImage, CPlugFileImg, 0x0902F000)
};
MW_DEFINE_CLASS(CPlugTestGenImage, nullptr, MW_NO_MEMBERS, MW_NO_CHUNKS);

namespace {

using B = CPlugBitmap;
using namespace plug_test;

// Counts the rises of the dirty flag while it is installed.
struct CListener : CPlugBitmapListener {
    CListener() { g_PlugBitmapListener = this; }
    ~CListener() { g_PlugBitmapListener = nullptr; }
    CListener(const CListener&) = delete;
    CListener& operator=(const CListener&) = delete;
    void OnBitmapDirty(CPlugBitmap* bitmap) override {
        ++Calls;
        Last = bitmap;
    }
    u32 Calls = 0;
    CPlugBitmap* Last = nullptr;
};

class PlugBitmap : public CPlugNodCountFixture {
protected:
    // An image of the class with its pixels.
    template <class T = CPlugFileTga>
    static CMwNodRef Image(u32 width, u32 height, u32 nbComp,
                           u32 dimension = CPlugFileImg::EDimension_2d, bool mips = false) {
        CMwNodRef held(new T);
        static_cast<CPlugFileImg*>(held.Get())
            ->Create(width, height, nbComp, CPlugFileImg::EFormat_BGRA, nullptr, 0, mips, false,
                     dimension, 1);
        return held;
    }
    static CPlugFileImg* Img(const CMwNodRef& held) {
        return static_cast<CPlugFileImg*>(held.Get());
    }
    static CMwNodRef Picture(const std::string& name) {
        CMwNodRef held(new CPlugFileTga);
        EXPECT_EQ(ReadTgaBytes(*static_cast<CPlugFileTga*>(held.Get()), Fixture(name)), 1);
        return held;
    }
};

// A new bitmap reads back the defaults of every member, and its words are the stored defaults.
TEST_F(PlugBitmap, NewBitmapDefaults) {
    CMwNodRef held(new CPlugBitmap);
    auto* bitmap = static_cast<CPlugBitmap*>(held.Get());
    EXPECT_EQ(bitmap->m_Flags[0], 0x15D00000u);
    EXPECT_EQ(bitmap->m_Flags[1], 0x1E440003u);
    EXPECT_EQ(bitmap->m_Flags[2], 0x200u);
    EXPECT_EQ(bitmap->m_Unused, 0u);
    EXPECT_EQ(bitmap->GetImage(), nullptr);
    EXPECT_EQ(bitmap->GetSwapPartner(), nullptr);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(bitmap->m_Payload));
    struct SCase {
        const char* Member;
        u32 Value;
    };
    // Usage Color, ColorDepth default, clamp addressing, trilinear filter, mip mapping on,
    // 15 skipped mips at most, as the defaults of the three words say.
    const SCase naturals[] = {
        {"Usage", 0},
        {"NormalAreSigned", 0},
        {"NormalCanBeSigned", 0},
        {"WantedColorDepth", 0},
        {"IsOneBitAlpha", 0},
        {"IgnoreImageAlpha01", 1},
        {"ShadowCasterIgnoreAlpha", 0},
        {"IsNonPow2Conditional", 0},
        {"IsCubeMap", 0},
        {"CubeMapAuto2dFace", 0},
        {"TexFilter", 2},
        {"TexAddressU", 2},
        {"TexAddressV", 2},
        {"TexAddressW", 2},
        {"Force1stPixelAlpha0", 0},
        {"ForceBorderRGB", 0},
        {"ForceBorderAlpha", 0},
        {"WantMipMapping", 1},
        {"IsMipMapLowerAlphaEnable", 0},
        {"CanBeDeletedFromSystemMemory", 1},
        {"RenderTexelsMustPersist", 0},
        {"CanBeCompressedInVideoMemory", 1},
        {"CompressInterpolatedAlpha", 1},
        {"CompressSkipDXT1", 0},
        {"BumpCompressMode", 0},
        {"NormalRotate", 0},
        {"MipLevelSkipFromQuality", 1},
        {"MipLevelSkipCountMax", 15},
        {"RenderRequireBlending", 1},
        {"MultiSampleCount", 0},
        {"PixelUpdate", 0},
    };
    for (const SCase& c : naturals) {
        u32 result = 9;
        EXPECT_EQ(Get<u32>(bitmap, c.Member, &result), c.Value) << c.Member;
        EXPECT_EQ(result, 0u) << c.Member;
    }
    const struct {
        const char* Member;
        f32 Value;
    } reals[] = {{"MipMapLodBiasDefault", 0.0f},
                 {"DefaultTexCoordRotate", 0.0f},
                 {"BorderAlpha", 0.0f},
                 {"MipMapLowerAlpha", 0.0f},
                 {"BumpScaleFactor", 1.0f},
                 {"BumpScaleMipLevel", 0.5f},
                 {"SpecularExp", 0.0f},
                 {"ClearAlpha", 0.0f},
                 {"DefaultTexCoordScale.x", 1.0f},
                 {"DefaultTexCoordScale.y", 1.0f},
                 {"DefaultTexCoordTrans.x", 0.0f},
                 {"BorderRGB.r", 0.0f}};
    for (const auto& c : reals)
        EXPECT_EQ(Get<f32>(bitmap, c.Member), c.Value) << c.Member;
    EXPECT_EQ(GetNod(bitmap, "Image"), nullptr);
    EXPECT_EQ(GetNod(bitmap, "Render"), nullptr);
    EXPECT_FALSE(bitmap->IsDirty());
}

// 54 members with IdName first; names, labels and enumeration names as stored.
TEST_F(PlugBitmap, MemberTable) {
    CMwNodRef held(new CPlugBitmap);
    ASSERT_EQ(held->MemberCount(), 54u);
    EXPECT_EQ(held->MemberIdByIndex(0), 0x01001000u);
    for (u32 i = 1; i < 54; ++i)
        EXPECT_EQ(held->MemberIdByIndex(i), 0x09011000u + i - 1);
    const auto member = [](u32 n) { return CMwClassRegistry::GetMemberInfo(0x09011000 + n); };
    const struct {
        u32 N;
        const char* Name;
        const char* Label;
    } labels[] = {{3, "WantedColorDepth", "ColorDepth"},
                  {7, "IsNonPow2Conditional", "IsNonPow2Cond"},
                  {9, "CubeMapAuto2dFace", "CubeMap Auto2dFace"},
                  {23, "Force1stPixelAlpha0", "Pixel(0,0).a=0"},
                  {32, "CanBeDeletedFromSystemMemory", "DeleteSytemMem"},
                  {44, "RenderRequireBlending", "RT BlendOps"},
                  {51, "Render", "Render->Bitmap"},
                  {52, "Shader", "Shader->Bitmap"}};
    for (const auto& c : labels) {
        ASSERT_NE(member(c.N), nullptr) << c.Name;
        EXPECT_STREQ(member(c.N)->Name, c.Name);
        EXPECT_STREQ(member(c.N)->Label, c.Label);
    }
    const auto names = [&](u32 n) {
        const auto* info = static_cast<const CMwMemberInfoEnum*>(member(n));
        std::vector<std::string> out(info->EnumNames, info->EnumNames + info->EnumCount);
        return out;
    };
    const std::vector<std::string> usages = names(0);
    ASSERT_EQ(usages.size(), 28u);
    EXPECT_EQ(usages[3], "Render");
    EXPECT_EQ(usages[18], "LightAlpha");
    EXPECT_EQ(usages[22], "Render16b");
    EXPECT_EQ(usages[27], "NormR0GyBzAx");
    EXPECT_EQ(names(37), (std::vector<std::string>{"None(32b)", "Pal8b", "DXT1(4b)", "Pal16b"}));
    EXPECT_EQ(names(46),
              (std::vector<std::string>{"None", "Render", "Shader", "DynaSpecular", "Clear"}));
    EXPECT_EQ(names(9).size(), 7u);
    EXPECT_EQ(names(10),
              (std::vector<std::string>{"Point", "Bilinear", "Trilinear", "Anisotropic"}));
    EXPECT_EQ(names(11), (std::vector<std::string>{"Wrap", "Mirror", "Clamp", "MirrorOnce"}));
    EXPECT_EQ(names(3), (std::vector<std::string>{"DefaultColorDepth", "Color16b", "Color32b"}));
}

// Every usage against every component count 0-4, from a table written here, and Render on a
// generated image.
TEST_F(PlugBitmap, UsageCompatibility) {
    // Bit n set: compatible with n components.
    constexpr u32 kAny = 0x1F, kOne = 1 << 1, kTwo = 1 << 2, kNone = 0;
    const u32 expected[28] = {
        /*Color*/ (1 << 3) | (1 << 4),
        /*Light*/ (1 << 1) | (1 << 3),
        /*Height2DuDv*/ kOne,
        /*Render*/ kNone,
        /*Height2DuDvLumi*/ kTwo,
        /*Height2NxNyNz*/ kOne,
        /*Height2NxNy*/ kOne,
        /*Depth*/ kOne,
        /*DispH01*/ kOne,
        /*Height2NormPal8b*/ kOne,
        /*NxNyNz*/ (1 << 3) | (1 << 4),
        /*NxNy*/ (1 << 2) | (1 << 3),
        /*NormPal8b*/ kNone,
        /*NormPal16b*/ kNone,
        /*ColorFloat*/ (1 << 1) | (1 << 2) | (1 << 4),
        /*RenderFloat*/ (1 << 1) | (1 << 2) | (1 << 4),
        /*Height2DuDv1*/ kOne,
        /*Alpha*/ kOne,
        /*LightAlpha*/ kTwo,
        /*Height2RxG0BzAy*/ kOne,
        /*NormRxG0BzAy*/ 1 << 4,
        /*TexCoord*/ kTwo,
        /*Render16b*/ kNone,
        /*Vertex*/ kAny,
        /*Height2BumpTxTy*/ kOne,
        /*BumpTxTy*/ kNone,
        /*Height2R0GyBzAx*/ kOne,
        /*NormR0GyBzAx*/ 1 << 4,
    };
    for (u32 n = 0; n <= 4; ++n) {
        CMwNodRef bitmap(new CPlugBitmap);
        const CMwNodRef image = Image(4, 4, n);
        static_cast<B*>(bitmap.Get())->m_Image = Img(image);
        for (u32 usage = 0; usage < 30; ++usage) {
            const bool want = usage < 28 && ((expected[usage] >> n) & 1) != 0;
            EXPECT_EQ(static_cast<B*>(bitmap.Get())->IsUsageCompatible(usage), want)
                << "usage " << usage << ", " << n << " components";
        }
        static_cast<B*>(bitmap.Get())->m_Image = nullptr;

        // A generated image serves Render and Render16b with any component but none.
        CMwNodRef genBitmap(new CPlugBitmap);
        const CMwNodRef gen = Image<CPlugTestGenImage>(4, 4, n);
        auto* g = static_cast<B*>(genBitmap.Get());
        g->m_Image = Img(gen);
        EXPECT_EQ(g->IsUsageCompatible(B::Render), n != 0) << n;
        EXPECT_EQ(g->IsUsageCompatible(B::Render16b), n != 0) << n;
        g->m_Image = nullptr;
    }
}

// SetUsage: refused usages change nothing; side effects on the bump compression and mip mapping.
TEST_F(PlugBitmap, SetUsage) {
    CMwNodRef held(new CPlugBitmap);
    auto* bitmap = static_cast<B*>(held.Get());
    bitmap->SetImage(Img(Image(8, 8, 1)));
    EXPECT_EQ(bitmap->GetUsage(), u32(B::Light));
    bitmap->SetDirty(false);
    EXPECT_FALSE(bitmap->SetUsage(B::NormPal8b));
    EXPECT_FALSE(bitmap->SetUsage(B::Color));
    EXPECT_FALSE(bitmap->SetUsage(40));
    EXPECT_EQ(bitmap->GetUsage(), u32(B::Light));
    EXPECT_FALSE(bitmap->IsDirty());
    EXPECT_TRUE(bitmap->SetUsage(B::Light)); // unchanged: true, nothing done
    EXPECT_FALSE(bitmap->IsDirty());
    EXPECT_TRUE(bitmap->SetUsage(B::Height2NormPal8b));
    EXPECT_EQ(bitmap->GetFlagMember(0x09011025), u32(B::CompressPal8b));
    EXPECT_TRUE(bitmap->IsDirty());
    EXPECT_TRUE(bitmap->SetUsage(B::Height2DuDv));
    EXPECT_EQ(bitmap->GetFlagMember(0x09011025), u32(B::CompressNone));
    EXPECT_TRUE(bitmap->SetUsage(B::Vertex));
    EXPECT_EQ(Get<u32>(bitmap, "Usage"), u32(B::Vertex));
    // Through the member: a refused usage answers 2.
    EXPECT_EQ(Set<u32>(bitmap, "Usage", B::NormPal16b), 2u);
    EXPECT_EQ(Set<u32>(bitmap, "Usage", B::Alpha), 0u);
    EXPECT_EQ(bitmap->GetUsage(), u32(B::Alpha));

    // Render usages switch mip mapping off.
    CMwNodRef genHeld(new CPlugBitmap);
    auto* gen = static_cast<B*>(genHeld.Get());
    const CMwNodRef image = Image<CPlugTestGenImage>(16, 16, 4);
    gen->SetImage(Img(image));
    ASSERT_TRUE(gen->GetFlagMember(0x0901101C));
    EXPECT_TRUE(gen->SetUsage(B::Render));
    EXPECT_FALSE(gen->GetFlagMember(0x0901101C));
}

// The usage rules on real pictures, and on images made for the cases the pictures do not show.
TEST_F(PlugBitmap, UpdateFromImage) {
    struct SCase {
        const char* What;
        CMwNodRef Image;
        u32 StartUsage;
        u32 Usage;
        bool NonPow2, MipMapping, CubeMap;
    };
    CMwNodRef cube = Image(16, 16, 4, CPlugFileImg::EDimension_Cube, true);
    CMwNodRef cubeNoMips = Image(16, 16, 4, CPlugFileImg::EDimension_Cube, false);
    CMwNodRef dxt(new CPlugFileTga);
    Img(dxt)->Create(16, 16, 4, CPlugFileImg::EFormat_DXT1, new u8[128](), 128, false, false,
                     CPlugFileImg::EDimension_2d, 1);
    CMwNodRef empty(new CPlugFileTga);
    Img(empty)->m_Width = 16;
    Img(empty)->m_Height = 16;
    Img(empty)->m_ImageWord = 1 | (1 << 2); // "2d", one component, no pixels
    CMwNodRef twoComp = Image(32, 32, 2);
    CMwNodRef rgb = Image(32, 16, 3);
    CMwNodRef grey1 = Image(64, 64, 1);
    const SCase cases[] = {
        {"grey TGA (24 x 16)", Picture("grey8.tga"), B::Color, B::Light, true, false, false},
        {"24-bit TGA", Picture("rgb24.tga"), B::Color, B::Color, true, false, false},
        {"32-bit TGA", Picture("rgba32.tga"), B::Color, B::Color, true, false, false},
        {"two components", twoComp, B::Color, B::LightAlpha, false, true, false},
        {"power of two", rgb, B::Color, B::Color, false, true, false},
        {"cube with mips", cube, B::Color, B::Color, false, true, true},
        {"cube without mips", cubeNoMips, B::Color, B::Color, false, false, true},
        {"DXT1 without mips", dxt, B::Color, B::Color, false, false, false},
        {"pair Height2NxNyNz -> NxNyNz", rgb, B::Height2NxNyNz, B::NxNyNz, false, true, false},
        {"pair NormRxG0BzAy -> Height2RxG0BzAy", grey1, B::NormRxG0BzAy, B::Height2RxG0BzAy, false,
         true, false},
        {"no pixels: Render refused, Depth", empty, B::Color, B::Depth, false, false, false},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.What);
        CMwNodRef held(new CPlugBitmap);
        auto* bitmap = static_cast<B*>(held.Get());
        if (c.StartUsage != B::Color) {
            // Start from a usage the new image cannot serve.
            bitmap->m_Flags[0] = (bitmap->m_Flags[0] & ~0xFFu) | c.StartUsage;
        }
        bitmap->SetImage(Img(c.Image));
        EXPECT_EQ(bitmap->GetUsage(), c.Usage);
        EXPECT_EQ(Get<u32>(bitmap, "IsNonPow2Conditional"), u32(c.NonPow2));
        EXPECT_EQ(Get<u32>(bitmap, "WantMipMapping"), u32(c.MipMapping));
        EXPECT_EQ(Get<u32>(bitmap, "IsCubeMap"), u32(c.CubeMap));
        EXPECT_TRUE(bitmap->IsDirty());
        EXPECT_EQ(Img(c.Image)->m_Owner, bitmap);
    }
}

// One-bit alpha: taken from the image only when IgnoreImageAlpha01 and IsMipMapLowerAlphaEnable
// are clear; switching IsMipMapLowerAlphaEnable off takes it too.
TEST_F(PlugBitmap, OneBitAlpha) {
    const CMwNodRef picture = Picture("rgba32.tga");
    ASSERT_TRUE(Img(picture)->IsOneBitAlpha());
    {
        CMwNodRef held(new CPlugBitmap);
        auto* bitmap = static_cast<B*>(held.Get());
        bitmap->SetImage(Img(picture));
        EXPECT_EQ(Get<u32>(bitmap, "IsOneBitAlpha"), 0u); // IgnoreImageAlpha01 is on by default
    }
    {
        CMwNodRef held(new CPlugBitmap);
        auto* bitmap = static_cast<B*>(held.Get());
        EXPECT_EQ(Set<u32>(bitmap, "IgnoreImageAlpha01", 0), 0u);
        bitmap->SetImage(Img(picture));
        EXPECT_EQ(Get<u32>(bitmap, "IsOneBitAlpha"), 1u);
    }
    {
        CMwNodRef held(new CPlugBitmap);
        auto* bitmap = static_cast<B*>(held.Get());
        EXPECT_EQ(Set<u32>(bitmap, "IgnoreImageAlpha01", 0), 0u);
        EXPECT_EQ(Set<u32>(bitmap, "IsMipMapLowerAlphaEnable", 1), 0u);
        bitmap->SetImage(Img(picture));
        EXPECT_EQ(Get<u32>(bitmap, "IsOneBitAlpha"), 0u);
        bitmap->SetDirty(false);
        EXPECT_EQ(Set<u32>(bitmap, "IsMipMapLowerAlphaEnable", 0), 0u);
        EXPECT_EQ(Get<u32>(bitmap, "IsOneBitAlpha"), 1u);
        EXPECT_TRUE(bitmap->IsDirty());
        // The rule drops no pixels.
        EXPECT_TRUE(Img(picture)->IsLoaded());
    }
    // An image whose alpha is not 0 and 255 only never sets it.
    const CMwNodRef soft = Picture("rgba32-alpha128.tga");
    CMwNodRef held(new CPlugBitmap);
    auto* bitmap = static_cast<B*>(held.Get());
    EXPECT_EQ(Set<u32>(bitmap, "IgnoreImageAlpha01", 0), 0u);
    bitmap->SetImage(Img(soft));
    EXPECT_EQ(Get<u32>(bitmap, "IsOneBitAlpha"), 0u);
}

// The listener hears each rise of the dirty flag once; operations raise it as they say.
TEST_F(PlugBitmap, DirtyFlagAndListener) {
    CListener listener;
    CMwNodRef held(new CPlugBitmap);
    auto* bitmap = static_cast<B*>(held.Get());
    bitmap->SetDirty(true);
    bitmap->SetDirty(true);
    EXPECT_EQ(listener.Calls, 1u);
    EXPECT_EQ(listener.Last, bitmap);
    EXPECT_EQ(bitmap->m_Flags[0] & B::s_DirtyBit, B::s_DirtyBit);
    bitmap->SetDirty(false);
    EXPECT_EQ(listener.Calls, 1u);
    bitmap->SetDirty(true);
    EXPECT_EQ(listener.Calls, 2u);

    struct SCase {
        const char* What;
        void (*Change)(B&);
        bool Dirty;
    };
    const SCase cases[] = {
        {"SetWantMipMapping unchanged", [](B& b) { b.SetWantMipMapping(true); }, false},
        {"SetWantMipMapping off", [](B& b) { b.SetWantMipMapping(false); }, true},
        {"SetTexAddress unchanged", [](B& b) { b.SetTexAddress(2, 2, 2); }, false},
        {"SetTexAddress with mip mapping", [](B& b) { b.SetTexAddress(2, 2, 0); }, true},
        {"SetTexAddress without mip mapping",
         [](B& b) {
             b.SetWantMipMapping(false);
             b.SetDirty(false);
             b.SetTexAddress(0, 1, 0);
         },
         false},
        {"SetWantedColorDepth unchanged", [](B& b) { b.SetWantedColorDepth(0); }, false},
        {"SetWantedColorDepth", [](B& b) { b.SetWantedColorDepth(2); }, true},
        {"SetMipLevelSkipCountMax unchanged", [](B& b) { b.SetMipLevelSkipCountMax(15); }, true},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.What);
        CMwNodRef one(new CPlugBitmap);
        c.Change(*static_cast<B*>(one.Get()));
        EXPECT_EQ(static_cast<B*>(one.Get())->IsDirty(), c.Dirty);
    }
    CMwNodRef one(new CPlugBitmap);
    auto* b = static_cast<B*>(one.Get());
    b->SetWantMipMapping(false);
    b->SetTexAddress(0, 1, 3);
    EXPECT_EQ(Get<u32>(b, "TexAddressU"), 0u);
    EXPECT_EQ(Get<u32>(b, "TexAddressV"), 1u);
    EXPECT_EQ(Get<u32>(b, "TexAddressW"), 3u);
    b->SetMipLevelSkipCountMax(0x13);
    EXPECT_EQ(Get<u32>(b, "MipLevelSkipCountMax"), 3u);
}

// Flag-word members land in their bits, clamped to their largest value.
TEST_F(PlugBitmap, FlagMembersAndClamps) {
    struct SCase {
        const char* Member;
        u32 Written, Stored, Word, Shift, Width;
    };
    const SCase cases[] = {
        {"CubeMapAuto2dFace", 9, 6, 1, 14, 3},
        {"BumpCompressMode", 3, 2, 1, 12, 2},
        {"MipLevelSkipCountMax", 99, 15, 1, 25, 4},
        {"MultiSampleCount", 16, 15, 2, 4, 4},
        {"TexFilter", 7, 3, 1, 21, 2},
        {"NormalRotate", 20, 15, 2, 0, 4},
        {"WantedColorDepth", 5, 3, 0, 16, 2},
        {"TexAddressW", 1, 1, 2, 8, 2},
        {"TexAddressU", 0, 0, 0, 25, 2},
        {"TexAddressV", 3, 3, 0, 27, 2},
        {"NormalAreSigned", 7, 1, 1, 30, 1},
        {"RenderTexelsMustPersist", 1, 1, 1, 31, 1},
        {"CompressSkipDXT1", 1, 1, 1, 24, 1},
        {"Force1stPixelAlpha0", 1, 1, 1, 3, 1},
        {"IsMipMapLowerAlphaEnable", 1, 1, 0, 29, 1},
        {"ShadowCasterIgnoreAlpha", 1, 1, 1, 2, 1},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.Member);
        CMwNodRef held(new CPlugBitmap);
        auto* bitmap = static_cast<B*>(held.Get());
        const u32 before = bitmap->m_Flags[c.Word];
        EXPECT_EQ(Set<u32>(bitmap, c.Member, c.Written), 0u);
        EXPECT_EQ(Get<u32>(bitmap, c.Member), c.Stored);
        // The value lies in the member's bits, and no other bit but the dirty bit moved.
        const u32 mask = ((1u << c.Width) - 1) << c.Shift;
        const u32 dirty = c.Word == 0 ? B::s_DirtyBit : 0;
        EXPECT_EQ(bitmap->m_Flags[c.Word] & mask, c.Stored << c.Shift);
        EXPECT_EQ((bitmap->m_Flags[c.Word] ^ before) & ~(mask | dirty), 0u);
    }
    // Read-only members refuse writes.
    CMwNodRef held(new CPlugBitmap);
    EXPECT_EQ(Set<u32>(held.Get(), "IsCubeMap", 1), 2u);
    EXPECT_EQ(Set<u32>(held.Get(), "IsNonPow2Conditional", 1), 2u);
    EXPECT_EQ(static_cast<B*>(held.Get())->m_Flags[0], 0x15D00000u);
}

// Reals stored as bytes: x 255 truncated, read as byte / 255; values outside [0, 1] stay in the
// byte; a component write keeps the other components' bytes.
TEST_F(PlugBitmap, ByteReals) {
    CMwNodRef held(new CPlugBitmap);
    auto* bitmap = static_cast<B*>(held.Get());
    EXPECT_EQ(Set<f32>(bitmap, "BorderAlpha", 0.5f), 0u);
    EXPECT_EQ(bitmap->m_BorderColor[3], 127);
    EXPECT_EQ(Get<f32>(bitmap, "BorderAlpha"), 127.0f / 255.0f);
    EXPECT_EQ(Set<GmColorRgb>(bitmap, "BorderRGB", GmColorRgb{1.0f, 0.2f, 0.0f}), 0u);
    EXPECT_EQ(bitmap->m_BorderColor[2], 255); // R
    EXPECT_EQ(bitmap->m_BorderColor[1], 51);  // G
    EXPECT_EQ(bitmap->m_BorderColor[0], 0);   // B
    const u8 kept[3] = {bitmap->m_BorderColor[0], bitmap->m_BorderColor[1],
                        bitmap->m_BorderColor[2]};
    bitmap->m_BorderColor[1] = 127;
    EXPECT_EQ(Set<f32>(bitmap, "BorderRGB.b", 0.4f), 0u);
    EXPECT_EQ(bitmap->m_BorderColor[0], 102);
    EXPECT_EQ(bitmap->m_BorderColor[1], 127); // untouched, not 126 after a round trip
    EXPECT_EQ(bitmap->m_BorderColor[2], kept[2]);
    EXPECT_EQ(Get<f32>(bitmap, "BorderRGB.g"), 127.0f / 255.0f);
    for (f32 odd : {2.0f, -1.0f, std::numeric_limits<f32>::quiet_NaN(),
                    std::numeric_limits<f32>::infinity()}) {
        Set<f32>(bitmap, "BorderAlpha", odd);
        EXPECT_TRUE(bitmap->m_BorderColor[3] == 0 || bitmap->m_BorderColor[3] == 255) << odd;
    }
}

// The three groups of member writes: stored only, dirty only, dirty then the pixels dropped
// (when CanBeDeletedFromSystemMemory is set).
TEST_F(PlugBitmap, DirtyGroupsAndPixelDrop) {
    struct SCase {
        const char* Member;
        bool Real;
        bool Dirty, Drop;
    };
    const SCase cases[] = {
        {"TexFilter", false, false, false},
        {"MipMapLodBiasDefault", true, false, false},
        {"DefaultTexCoordRotate", true, false, false},
        {"TexAddressU", false, true, false},
        {"WantedColorDepth", false, true, false},
        {"CubeMapAuto2dFace", false, true, false},
        {"MipLevelSkipCountMax", false, true, false},
        {"MipMapLowerAlpha", true, true, false},
        {"BumpScaleFactor", true, true, false},
        {"BorderAlpha", true, true, false},
        {"NormalAreSigned", false, true, true},
        {"ShadowCasterIgnoreAlpha", false, true, true},
        {"ForceBorderRGB", false, true, true},
        {"WantMipMapping", false, true, true},
        {"RenderRequireBlending", false, true, true},
    };
    for (bool canDelete : {true, false}) {
        for (const SCase& c : cases) {
            SCOPED_TRACE(std::string(c.Member) + (canDelete ? "" : " (kept in memory)"));
            CMwNodRef held(new CPlugBitmap);
            auto* bitmap = static_cast<B*>(held.Get());
            const CMwNodRef image = Image(8, 8, 3);
            bitmap->SetImage(Img(image));
            if (!canDelete) {
                EXPECT_EQ(Set<u32>(bitmap, "CanBeDeletedFromSystemMemory", 0), 0u);
            }
            Img(image)->EnsurePixelBuffer();
            bitmap->SetDirty(false);
            const u32 result =
                c.Real ? Set<f32>(bitmap, c.Member, 0.25f) : Set<u32>(bitmap, c.Member, 1);
            EXPECT_EQ(result, 0u);
            EXPECT_EQ(bitmap->IsDirty(), c.Dirty);
            EXPECT_EQ(Img(image)->IsLoaded(), !(c.Drop && canDelete));
        }
    }
    CMwNodRef held(new CPlugBitmap);
    EXPECT_EQ(Set<f32>(held.Get(), "MipMapLowerAlpha", 0.75f), 0u);
    EXPECT_EQ(static_cast<B*>(held.Get())->m_MipMapLowerAlpha, 0.75f);
    EXPECT_EQ(Get<f32>(held.Get(), "BumpScaleFactor"), 1.0f);
}

// The atlas lists: indices past the count answer 2 and change nothing; counts are 16-bit; the
// sub-entries' text names their atlas entry.
TEST_F(PlugBitmap, AtlasMembers) {
    CMwNodRef held(new CPlugBitmap);
    auto* bitmap = static_cast<B*>(held.Get());
    bitmap->m_AtlasEntries.Add({3, 4});
    bitmap->m_AtlasEntries.Add({8, 1});
    bitmap->m_AtlasSubEntries.Add({1, 5, 6});
    bitmap->m_AtlasSubEntries.Add({7, 2, 3});
    EXPECT_EQ(Get<u32>(bitmap, "AtlasCountUs.1"), 8u);
    EXPECT_EQ(Get<u32>(bitmap, "AtlasCountVs.0"), 4u);
    EXPECT_EQ(Set<u32>(bitmap, "AtlasCountVs.1", 0x12345), 0u);
    EXPECT_EQ(bitmap->m_AtlasEntries[1].CountV, 0x2345u);
    EXPECT_EQ(bitmap->m_AtlasEntries[1].CountU, 8u);
    EXPECT_EQ(Get<u32>(bitmap, "AtlasSubIndexUs.0"), 5u);
    EXPECT_EQ(Get<u32>(bitmap, "AtlasSubIndexVs.1"), 3u);
    EXPECT_EQ(GetText(bitmap, "AtlasSubCountIs.0"), "8x9029");
    EXPECT_EQ(GetText(bitmap, "AtlasSubCountIs.1"), "??");

    // Built in code, past the count: 2, nothing written.
    for (u32 id : {0x09011012u, 0x09011013u, 0x09011014u, 0x09011015u, 0x09011016u}) {
        CMwMemberPath get;
        MemberIndexPath(get, id, 2);
        CMwParamValue out;
        EXPECT_EQ(bitmap->GetParam(&get, &out), 2u) << std::hex << id;
    }
    CMwMemberPath set;
    MemberIndexPath(set, 0x09011012, 2);
    const u32 value = 5;
    EXPECT_EQ(bitmap->SetParam(&set, &value), 2u);
    EXPECT_EQ(bitmap->m_AtlasEntries.m_Count, 2u);
    // Checked paths see the counts.
    CPath past(bitmap, "AtlasCountUs.2");
    EXPECT_EQ(bitmap->CheckParam(&past.Path), 2u);
    CPath inside(bitmap, "AtlasSubIndexUs.1");
    EXPECT_EQ(bitmap->CheckParam(&inside.Path), 0u);
    // The sub-entries are read only.
    EXPECT_EQ(Set<u32>(bitmap, "AtlasSubIndexUs.0", 1), 2u);
}

// SetPixelUpdate: one payload per kind with its defaults, the done bit cleared, the old payload
// freed on every switch; unknown kinds are refused with a log line.
TEST_F(PlugBitmap, PixelUpdatePayloads) {
    CMwNodRef held(new CPlugBitmap);
    auto* bitmap = static_cast<B*>(held.Get());
    const CMwNodRef image = Image(64, 32, 3);
    bitmap->SetImage(Img(image));
    const auto done = [&] { return (bitmap->m_Flags[1] & B::s_PixelUpdateDoneBit) != 0; };

    bitmap->m_Flags[1] |= B::s_PixelUpdateDoneBit;
    EXPECT_EQ(bitmap->SetPixelUpdate(1), 1u);
    ASSERT_NE(bitmap->GetCopyRegions(), nullptr);
    EXPECT_EQ(bitmap->GetCopyRegions()->Sources.m_Count, 0u);
    EXPECT_FALSE(done());
    bitmap->GetCopyRegions()->Sources.Add({bitmap, 1, 0, -1});
    bitmap->GetCopyRegions()->Rects.Add({0, 0, 4, 4});

    EXPECT_EQ(bitmap->SetPixelUpdate(2), 2u);
    EXPECT_EQ(bitmap->GetCopyRegions(), nullptr);
    ASSERT_NE(bitmap->GetBlendRegions(), nullptr);
    EXPECT_EQ(bitmap->GetBlendRegions()->Factor, -1.0f);
    EXPECT_EQ(bitmap->GetBlendRegions()->Last, -1);
    EXPECT_EQ(bitmap->GetBlendRegions()->Source, nullptr);
    EXPECT_EQ(bitmap->GetBlendRegions()->A.X1, 0);

    EXPECT_EQ(bitmap->SetPixelUpdate(3), 3u);
    ASSERT_NE(bitmap->GetVideoFrames(), nullptr);
    EXPECT_EQ(bitmap->GetVideoFrames()->Video, nullptr);
    EXPECT_EQ(bitmap->GetVideoFrames()->Callbacks[0](bitmap, 0, 0, 0, nullptr, 0), 0);

    EXPECT_EQ(bitmap->SetPixelUpdate(6), 6u);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(bitmap->m_Payload));

    EXPECT_EQ(bitmap->SetPixelUpdate(8), 8u);
    ASSERT_NE(bitmap->GetClearColor(), nullptr);
    EXPECT_EQ(*bitmap->GetClearColor(), 0u);

    bitmap->m_Flags[1] |= B::s_PixelUpdateDoneBit;
    bitmap->SetDirty(false);
    EXPECT_EQ(bitmap->SetPixelUpdate(8), 8u); // same kind: nothing
    EXPECT_TRUE(done());
    EXPECT_FALSE(bitmap->IsDirty());

    for (u32 refused : {9u, 255u, 0x100u}) {
        CLogWatch log;
        EXPECT_EQ(bitmap->SetPixelUpdate(refused), 8u) << refused;
        EXPECT_NE(log.Since().find("not available"), std::string::npos) << refused;
    }

    EXPECT_EQ(bitmap->SetPixelUpdate(0), 0u);
    EXPECT_TRUE(done()); // kind 0 leaves the done bit
    EXPECT_TRUE(std::holds_alternative<std::monostate>(bitmap->m_Payload));
    EXPECT_EQ(bitmap->m_Flags[0] & 0xFF00, 0u);
}

// Kind 7: one region over the whole image with the fixed defaults; an image with a zero side
// gives a zero transform.
TEST_F(PlugBitmap, DynaSpecular) {
    struct SCase {
        u32 Width, Height;
        f32 Transform[6];
    };
    const SCase cases[] = {
        {64, 32, {63.0f / 64, 0, 0, 31.0f / 32, 0.5f / 64, 0.5f / 32}},
        {0, 16, {0, 0, 0, 15.0f / 16, 0, 0.5f / 16}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.Width);
        CMwNodRef held(new CPlugBitmap);
        auto* bitmap = static_cast<B*>(held.Get());
        const CMwNodRef image = Image(c.Width, c.Height, 3);
        bitmap->SetImage(Img(image));
        bitmap->SetUsage(B::Color);
        ASSERT_EQ(bitmap->GetUsage(), u32(B::Color));
        EXPECT_EQ(Set<u32>(bitmap, "PixelUpdate", B::RenderDynaSpecular), 0u);
        ASSERT_EQ(bitmap->GetPixelUpdateKind(), 7u);
        EXPECT_EQ(Get<u32>(bitmap, "PixelUpdate"), 3u);
        EXPECT_EQ(Get<u32>(bitmap, "CanBeDeletedFromSystemMemory"), 0u);
        DynaSpecularRegionList* list = bitmap->GetDynaSpecularRegions();
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->GetCount(), 1u);
        const DynaSpecularRegion& region = (*list)[0];
        EXPECT_EQ(region.X0, 0);
        EXPECT_EQ(region.Y0, 0);
        EXPECT_EQ(region.X1, i32(c.Width));
        EXPECT_EQ(region.Y1, i32(c.Height));
        for (u32 i = 0; i < 6; ++i)
            EXPECT_EQ(region.Transform[i], c.Transform[i]) << i;
        EXPECT_EQ(region.Exponent, 25.0f);
        EXPECT_EQ(region.Last, -3.4028235e38f);
        EXPECT_EQ(Get<f32>(bitmap, "SpecularRGB.r"), 1.0f);
        CMwMemberPath length;
        MemberIndexPath(length, 0x0901102F, 0xFFFFFFFF);
        CMwParamValue out;
        ASSERT_EQ(bitmap->GetParam(&length, &out), 0u);
        EXPECT_FLOAT_EQ(*static_cast<const f32*>(out.Value), std::sqrt(3.0f));
        EXPECT_EQ(Get<f32>(bitmap, "SpecularExp"), 25.0f);
        EXPECT_EQ(Set<f32>(bitmap, "SpecularExp", 10.0f), 0u);
        EXPECT_EQ(Set<GmColorRgb>(bitmap, "SpecularRGB", GmColorRgb{0.5f, 0.25f, 0.0f}), 0u);
        EXPECT_EQ(region.Exponent, 10.0f);
        EXPECT_EQ(region.Color.g, 0.25f);
    }
    // With two regions, or another kind, the specular members read 0 and refuse writes.
    CMwNodRef held(new CPlugBitmap);
    auto* bitmap = static_cast<B*>(held.Get());
    const CMwNodRef image = Image(8, 8, 3);
    bitmap->SetImage(Img(image));
    EXPECT_EQ(Set<f32>(bitmap, "SpecularExp", 10.0f), 2u);
    bitmap->SetPixelUpdate(7);
    bitmap->GetDynaSpecularRegions()->Add();
    EXPECT_EQ(Get<f32>(bitmap, "SpecularExp"), 0.0f);
    EXPECT_EQ(Get<f32>(bitmap, "SpecularRGB.r"), 0.0f);
    EXPECT_EQ(Set<f32>(bitmap, "SpecularExp", 10.0f), 2u);
}

// The region list's read cursor starts over whenever the list shrinks or its block moves.
TEST_F(PlugBitmap, DynaSpecularCursor) {
    DynaSpecularRegionList list;
    list.m_DefaultFirst = 0x55;
    for (u32 i = 0; i < 5; ++i)
        EXPECT_EQ(list.Add().First, 0x55u);
    EXPECT_EQ(list[4].Zero, 0u);
    list.SetCursor({&list[3], 3, &list[0]});
    list.Shrink(5); // not smaller: kept
    EXPECT_EQ(list.GetCursor().Index, 3);
    list.Shrink(2);
    EXPECT_EQ(list.GetCount(), 2u);
    EXPECT_EQ(list.GetCursor().Current, nullptr);
    EXPECT_EQ(list.GetCursor().Index, -1);
    EXPECT_EQ(list.GetCursor().First, &list[0]);
}

// The PixelUpdate member: requirements on usage and cube map, None clears only its own kinds.
TEST_F(PlugBitmap, PixelUpdateMember) {
    struct SCase {
        const char* What;
        bool Generated;
        u32 Usage;
        u32 StartKind;
        u32 Mode;
        u32 Kind;
    };
    const SCase cases[] = {
        {"DynaSpecular on Color", false, B::Color, 0, B::RenderDynaSpecular, 7},
        {"DynaSpecular on Render", true, B::Render, 0, B::RenderDynaSpecular, 0},
        {"Clear on Render", true, B::Render, 0, B::RenderClear, 8},
        {"Clear on Color", false, B::Color, 0, B::RenderClear, 0},
        {"Render on Render", true, B::Render, 0, B::RenderRender, 4},
        {"Render on Color", false, B::Color, 0, B::RenderRender, 0},
        {"Shader on Render", true, B::Render, 0, B::RenderShader, 5},
        {"Shader on Color", false, B::Color, 0, B::RenderShader, 0},
        {"None clears Render", true, B::Render, 4, B::RenderNone, 0},
        {"None clears Shader", true, B::Render, 5, B::RenderNone, 0},
        {"None clears DynaSpecular", false, B::Color, 7, B::RenderNone, 0},
        {"None keeps copies", false, B::Color, 1, B::RenderNone, 1},
        {"None keeps videos", false, B::Color, 3, B::RenderNone, 3},
        {"values past Clear are ignored", false, B::Color, 7, 5, 7},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.What);
        CMwNodRef held(new CPlugBitmap);
        auto* bitmap = static_cast<B*>(held.Get());
        const CMwNodRef image =
            c.Generated ? Image<CPlugTestGenImage>(16, 16, 4) : Image(16, 16, 4);
        bitmap->SetImage(Img(image));
        ASSERT_TRUE(bitmap->SetUsage(c.Usage));
        bitmap->SetPixelUpdate(c.StartKind);
        EXPECT_EQ(Set<u32>(bitmap, "PixelUpdate", c.Mode), 0u);
        EXPECT_EQ(bitmap->GetPixelUpdateKind(), c.Kind);
    }
    // A cube map takes no DynaSpecular.
    CMwNodRef held(new CPlugBitmap);
    auto* bitmap = static_cast<B*>(held.Get());
    const CMwNodRef cube = Image(16, 16, 4, CPlugFileImg::EDimension_Cube);
    bitmap->SetImage(Img(cube));
    EXPECT_EQ(Set<u32>(bitmap, "PixelUpdate", B::RenderDynaSpecular), 0u);
    EXPECT_EQ(bitmap->GetPixelUpdateKind(), 0u);
    // Nor a Shader payload, even with a render usage.
    CMwNodRef genCube(new CPlugBitmap);
    auto* renderCube = static_cast<B*>(genCube.Get());
    const CMwNodRef genImage = Image<CPlugTestGenImage>(16, 16, 4, CPlugFileImg::EDimension_Cube);
    renderCube->SetImage(Img(genImage));
    ASSERT_TRUE(renderCube->SetUsage(B::Render));
    EXPECT_EQ(Set<u32>(renderCube, "PixelUpdate", B::RenderShader), 0u);
    EXPECT_EQ(renderCube->GetPixelUpdateKind(), 0u);
    EXPECT_EQ(Set<u32>(renderCube, "PixelUpdate", B::RenderRender), 0u);
    EXPECT_EQ(renderCube->GetPixelUpdateKind(), 4u);
    // Without their kind, Render and Shader hold nothing and take nothing.
    EXPECT_EQ(GetNod(bitmap, "Render"), nullptr);
    EXPECT_EQ(SetNod(bitmap, "Render", bitmap), 2u);
    EXPECT_EQ(SetNod(bitmap, "Shader", bitmap), 2u);
}

// Kind 8: the clear colour is its own packed word; the members write it only under kind 8.
TEST_F(PlugBitmap, ClearColor) {
    CMwNodRef held(new CPlugBitmap);
    auto* bitmap = static_cast<B*>(held.Get());
    const CMwNodRef image = Image<CPlugTestGenImage>(16, 16, 4);
    bitmap->SetImage(Img(image));
    ASSERT_TRUE(bitmap->SetUsage(B::RenderFloat));
    EXPECT_EQ(Set<f32>(bitmap, "ClearAlpha", 1.0f), 2u);
    EXPECT_EQ(Get<f32>(bitmap, "ClearAlpha"), 0.0f);
    EXPECT_EQ(Set<u32>(bitmap, "PixelUpdate", B::RenderClear), 0u);
    ASSERT_EQ(bitmap->GetPixelUpdateKind(), 8u);
    EXPECT_EQ(Get<u32>(bitmap, "PixelUpdate"), 4u);
    bitmap->SetDirty(false);
    EXPECT_EQ(Set<GmColorRgb>(bitmap, "ClearRGB", GmColorRgb{1.0f, 0.5f, 0.0f}), 0u);
    EXPECT_EQ(Set<f32>(bitmap, "ClearAlpha", 0.5f), 0u);
    EXPECT_TRUE(bitmap->IsDirty());
    EXPECT_EQ(*bitmap->GetClearColor(), 0x7FFF7F00u);
    EXPECT_EQ(Get<f32>(bitmap, "ClearRGB.g"), 127.0f / 255.0f);
    EXPECT_EQ(Get<f32>(bitmap, "ClearAlpha"), 127.0f / 255.0f);
}

// SetImage: null refused with a log line, the same image changes nothing, owner links and
// references follow the image.
TEST_F(PlugBitmap, SetImageLinks) {
    CMwNodRef held(new CPlugBitmap);
    auto* bitmap = static_cast<B*>(held.Get());
    {
        CLogWatch log;
        bitmap->SetImage(nullptr);
        EXPECT_NE(log.Since().find("SetImage"), std::string::npos);
        EXPECT_EQ(SetNod(bitmap, "Image", nullptr), 2u);
        EXPECT_EQ(bitmap->GetImage(), nullptr);
        EXPECT_FALSE(bitmap->IsDirty());
    }
    const CMwNodRef first = Image(8, 8, 3);
    const CMwNodRef second = Image(8, 8, 1);
    bitmap->SetImage(Img(first));
    EXPECT_EQ(first->GetRefCount(), 2);
    EXPECT_EQ(Img(first)->m_Owner, bitmap);
    bitmap->SetDirty(false);
    bitmap->SetImage(Img(first));
    EXPECT_FALSE(bitmap->IsDirty());
    EXPECT_EQ(first->GetRefCount(), 2);
    // Through the member; a nod that is not an image is refused.
    EXPECT_EQ(SetNod(bitmap, "Image", bitmap), 2u);
    EXPECT_EQ(SetNod(bitmap, "Image", second.Get()), 0u);
    EXPECT_EQ(bitmap->GetImage(), Img(second));
    EXPECT_EQ(GetNod(bitmap, "Image"), second.Get());
    EXPECT_EQ(first->GetRefCount(), 1);
    EXPECT_EQ(Img(first)->m_Owner, nullptr);
    EXPECT_EQ(Img(second)->m_Owner, bitmap);
    EXPECT_EQ(bitmap->GetUsage(), u32(B::Light));
    // Another bitmap that takes the image becomes its owner; the first one's release leaves it.
    {
        CMwNodRef other(new CPlugBitmap);
        static_cast<B*>(other.Get())->SetImage(Img(second));
        EXPECT_EQ(Img(second)->m_Owner, other.Get());
        held = CMwNodRef();
        EXPECT_EQ(Img(second)->m_Owner, other.Get());
    }
    EXPECT_EQ(Img(second)->m_Owner, nullptr);
    EXPECT_EQ(second->GetRefCount(), 1);
}

// Paths through Image reach the image; its ReGenerate runs the usage rules again.
TEST_F(PlugBitmap, ImagePaths) {
    CMwNodRef held(new CPlugBitmap);
    auto* bitmap = static_cast<B*>(held.Get());
    EXPECT_EQ(Get<u32>(bitmap, "Image.Width"), 0u);
    u32 result = 0;
    Get<u32>(bitmap, "Image.Width", &result);
    EXPECT_EQ(result, 2u);
    const CMwNodRef image = Image(48, 64, 3);
    bitmap->SetImage(Img(image));
    EXPECT_EQ(Get<u32>(bitmap, "Image.Width"), 48u);
    EXPECT_EQ(Get<u32>(bitmap, "IsNonPow2Conditional"), 1u);
    EXPECT_EQ(Get<u32>(bitmap, "WantMipMapping"), 0u);
    // The image changes behind the bitmap's back; ReGenerate through the bitmap catches up.
    Img(image)->Create(64, 64, 3, CPlugFileImg::EFormat_BGRA, nullptr, 0, false, false,
                       CPlugFileImg::EDimension_2d, 1);
    bitmap->SetDirty(false);
    CPath regenerate(bitmap, "Image.ReGenerate");
    ASSERT_EQ(regenerate.Result, 0u);
    EXPECT_EQ(bitmap->SetParam(&regenerate.Path, nullptr), 0u);
    EXPECT_EQ(Get<u32>(bitmap, "IsNonPow2Conditional"), 0u);
    EXPECT_TRUE(bitmap->IsDirty());
}

// The image tells its owner when a load gave it pixels.
TEST_F(PlugBitmap, ImageLoadUpdatesOwner) {
    // File-backed nods are made through the library's services.
    PlugStart();
    struct CStop {
        ~CStop() { PlugStop(); }
    } stop;
    WriteWholeFile(HostFile("Grey.tga"), Fixture("grey8.tga"));
    WriteWholeFile(HostFile("Other.tga"), Fixture("rgb24.tga"));
    CSystemFid* fid = Engine().GetFileFid(nullptr, Name("Grey.tga"), nullptr);
    ASSERT_NE(fid, nullptr);
    const CMwNodRef made(CPlugFile::CreateNodFromFid(fid));
    ASSERT_TRUE(made && made->IsKindOf(CPlugFileTga::s_ClassId));
    CSystemEngine::AttachNodToFid(made.Get(), fid);

    CMwNodRef held(new CPlugBitmap);
    auto* bitmap = static_cast<B*>(held.Get());
    bitmap->SetImage(Img(made));
    // No pixels yet: the rules could not tell it is a grey picture.
    EXPECT_EQ(bitmap->GetUsage(), u32(B::Color));
    EXPECT_EQ(Img(made)->EnsureLoaded(), 1);
    EXPECT_EQ(bitmap->GetUsage(), u32(B::Light));
    EXPECT_EQ(Get<u32>(bitmap, "IsNonPow2Conditional"), 1u);

    // A reload of the file id of the current image prepares it again from the file.
    std::memset(Img(made)->m_Pixels, 0x5A, Img(made)->m_ByteSize);
    bitmap->OnFileReloaded(0, fid);
    EXPECT_EQ(bitmap->GetImage(), Img(made));
    ASSERT_TRUE(Img(made)->IsLoaded());
    EXPECT_EQ(TopFirstRgb(*Img(made)), TopFirstRgb(*Img(Picture("grey8.tga"))));
    // Another picture's file id makes it the image.
    CSystemFid* other = Engine().GetFileFid(nullptr, Name("Other.tga"), nullptr);
    ASSERT_NE(other, nullptr);
    // The file ids stay in the engine's tree.
    m_LiveAtStart += 2;
    bitmap->OnFileReloaded(0, other);
    ASSERT_NE(bitmap->GetImage(), Img(made));
    ASSERT_NE(bitmap->GetImage(), nullptr);
    EXPECT_TRUE(bitmap->GetImage()->IsKindOf(CPlugFileTga::s_ClassId));
    EXPECT_EQ(bitmap->GetImage()->m_Owner, bitmap);
    // Anything else changes nothing.
    CPlugFileImg* now = bitmap->GetImage();
    bitmap->OnFileReloaded(0, nullptr);
    bitmap->OnFileReloaded(0, bitmap);
    EXPECT_EQ(bitmap->GetImage(), now);
}

// Swap partners are dependency links: either side may go first, and a partner released to 0
// goes with the link.
TEST_F(PlugBitmap, SwapPartner) {
    for (bool partnerFirst : {true, false}) {
        SCOPED_TRACE(partnerFirst ? "partner destroyed first" : "bitmap destroyed first");
        auto* bitmap = new CPlugBitmap;
        auto* partner = new CPlugBitmap;
        bitmap->AddRef();
        partner->AddRef();
        bitmap->SetSwapPartner(partner, true);
        EXPECT_EQ(bitmap->GetSwapPartner(), partner);
        EXPECT_EQ(partner->GetDependantCount(), 1u);
        EXPECT_EQ(partner->GetRefCount(), 1);
        EXPECT_NE(bitmap->m_Flags[1] & B::s_SwapPartnerBit, 0u);
        if (partnerFirst) {
            delete partner; // destroyed outright: the bitmap forgets it
            EXPECT_EQ(bitmap->GetSwapPartner(), nullptr);
            EXPECT_EQ(bitmap->m_Flags[1] & B::s_SwapPartnerBit, 0u);
            bitmap->Release();
        } else {
            bitmap->Release();
            EXPECT_EQ(partner->GetDependantCount(), 0u);
            partner->Release();
        }
    }
    // Moved to another partner, then released: the partner goes with its last reference.
    CMwNodRef a(new CPlugBitmap);
    auto* bitmap = static_cast<B*>(a.Get());
    CMwNodRef first(new CPlugBitmap);
    auto* second = new CPlugBitmap;
    second->AddRef();
    bitmap->SetSwapPartner(static_cast<B*>(first.Get()), false);
    bitmap->SetSwapPartner(second, true);
    EXPECT_EQ(first->GetDependantCount(), 0u);
    EXPECT_EQ(second->GetDependantCount(), 1u);
    const u32 live = CMwNod::GetLiveNodCount();
    second->Release();
    EXPECT_EQ(CMwNod::GetLiveNodCount(), live - 1);
    EXPECT_EQ(bitmap->GetSwapPartner(), nullptr);
}

} // namespace
