// Light descriptions: the class tree, defaults and setters, the members with their clamps and
// derived values, every older chunk version with its conversion, the saved chunk lists, round
// trips through archive images in both encodings, and checks by Python's colorsys and a reader of
// our own.
#include "plug/visual/GxLight.h"

#include "core/nod/MwMemberPath.h"
#include "system/archive/SystemArchive.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/plug/PlugTestSupport.h"
#include "tests/plug/visual/LightChunkLists.h"
#include "tests/plug/visual/VertexStreamSamples.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

class GxLightTest : public CPlugFixture {};
class GxLightFiles : public CPlugNodCountFixture {};

constexpr const char* kIntensityWarning =
    "GxLight Warning : Intensity >1.f can generate artifacts\r\n";
constexpr const char* kBlendWarning =
    "GxLightFrustrum Warning : unknown blending mode => converting to default apply mode\r\n";

template <class T>
CMwNodRef Make() {
    return CMwNodRef(new T);
}
template <class T>
T& As(const CMwNodRef& held) {
    return *static_cast<T*>(held.Get());
}

struct CPath {
    CPath(CMwNod* nod, const char* text) {
        Result = Path.ParseFromText(CMwNod::s_NoClassId, nod, CClassicString(text));
    }
    CMwMemberPath Path;
    u32 Result;
};

template <class T>
u32 Set(CMwNod& nod, const char* text, T value) {
    CPath path(&nod, text);
    EXPECT_EQ(path.Result, 0u) << text;
    return nod.SetParam(&path.Path, &value);
}

template <class T>
u32 Add(CMwNod& nod, const char* text, T value) {
    CPath path(&nod, text);
    EXPECT_EQ(path.Result, 0u) << text;
    return nod.AddParam(&path.Path, &value);
}

template <class T>
T Get(CMwNod& nod, const char* text) {
    CPath path(&nod, text);
    EXPECT_EQ(path.Result, 0u) << text;
    CMwParamValue out;
    EXPECT_EQ(nod.GetParam(&path.Path, &out), 0u) << text;
    T value{};
    if (out.Value)
        std::memcpy(&value, out.Value, sizeof value);
    return value;
}

u32 Bool(CMwNod& nod, const char* text) {
    return Get<u32>(nod, text);
}
f32 Real(CMwNod& nod, const char* text) {
    return Get<f32>(nod, text);
}

// Little-endian byte images of stored values.
std::string W(u32 value) {
    const char bytes[4] = {char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
    return std::string(bytes, 4);
}
std::string F(f32 value) {
    u32 bits;
    std::memcpy(&bits, &value, 4);
    return W(bits);
}
std::string Fs(std::initializer_list<f32> values) {
    std::string out;
    for (f32 v : values)
        out += F(v);
    return out;
}

void ExpectColor(const GmColorRgb& c, f32 r, f32 g, f32 b) {
    EXPECT_FLOAT_EQ(c.r, r);
    EXPECT_FLOAT_EQ(c.g, g);
    EXPECT_FLOAT_EQ(c.b, b);
}

// ---------------------------------------------------------------------------------------------

TEST_F(GxLightTest, ClassTreeAndKinds) {
    const struct {
        u32 Id;
        u32 Parent;
        u32 Kind;
    } classes[] = {{0x04001000, 0x01001000, 0}, {0x04006000, 0x04001000, 0},
                   {0x04003000, 0x04006000, 2}, {0x04002000, 0x04003000, 3},
                   {0x0400A000, 0x04002000, 4}, {0x0400B000, 0x04002000, 5}};
    for (const auto& c : classes) {
        SCOPED_TRACE(testing::Message() << std::hex << c.Id);
        CMwClassInfo* info = CMwClassRegistry::GetClassInfoById(c.Id);
        ASSERT_NE(info, nullptr);
        ASSERT_NE(info->m_Parent, nullptr);
        EXPECT_EQ(info->m_Parent->m_ClassId, c.Parent);
        ASSERT_NE(info->m_Factory, nullptr);
        const CMwNodRef held(info->m_Factory());
        auto& light = static_cast<GxLight&>(*held.Get());
        EXPECT_EQ(light.GetClassId(), c.Id);
        EXPECT_EQ(light.GetLightKind(), c.Kind);
        EXPECT_TRUE(light.IsKindOf(c.Parent));
        EXPECT_TRUE(light.IsKindOf(GxLight::s_ClassId));
    }
    // The projector is no spot and the spot no projector.
    EXPECT_FALSE(Make<GxLightSpot>()->IsKindOf(GxLightFrustrum::s_ClassId));
    EXPECT_FALSE(Make<GxLightFrustrum>()->IsKindOf(GxLightSpot::s_ClassId));
    // The written chunk answers 3, the older ones 1, an ancestor's goes to the ancestor.
    const CMwNodRef spot = Make<GxLightSpot>();
    EXPECT_EQ(spot->GetChunkInfo(0x0400B000), 1u);
    EXPECT_EQ(spot->GetChunkInfo(0x0400B001), 3u);
    EXPECT_EQ(spot->GetChunkInfo(0x0400B002), 3u);
    EXPECT_EQ(spot->GetChunkInfo(0x04001003), 1u);
    EXPECT_EQ(spot->GetChunkInfo(0x04001008), 3u);
    EXPECT_EQ(spot->GetChunkInfo(0x0400A006), CMwNod::s_UnknownChunk);
}

TEST_F(GxLightTest, NewLightDefaults) {
    const CMwNodRef held = Make<GxLightPoint>();
    auto& light = As<GxLightPoint>(held);
    EXPECT_EQ(light.m_Flags, 77u);
    ExpectColor(light.m_Color, 1, 1, 1);
    ExpectColor(light.m_LitColor, 1, 1, 1);
    ExpectColor(light.m_ShadowRGB, 1, 1, 1);
    EXPECT_EQ(light.m_Intensity, 1.0f);
    EXPECT_EQ(light.m_FlareIntensity, 1.0f);
    EXPECT_EQ(light.m_SpecularPower, 1.0f);
    EXPECT_EQ(light.m_SpecularIntensity, 1.0f);
    EXPECT_EQ(light.m_ShadowIntensity, 1.0f);
    // White is a grey: the core's conversion answers hue 0.5, lightness 1.
    EXPECT_EQ(light.m_ShadowHue, 0.5f);
    EXPECT_EQ(light.m_ShadowLightness, 1.0f);
    EXPECT_EQ(light.m_FlareSize, 5.0f);
    EXPECT_EQ(light.m_FlareBiasZ, 0.0f);
    // The flag members.
    const struct {
        const char* Name;
        u32 Value;
    } flags[] = {{"DoLighting", 1},   {"LightMapOnly", 0}, {"IsShadowGen", 1},
                 {"DoSpecular", 1},   {"HasLensFlare", 0}, {"HasSprite", 0},
                 {"EnableGroup0", 1}, {"EnableGroup1", 0}, {"IsInversed", 0}};
    for (const auto& f : flags)
        EXPECT_EQ(Bool(light, f.Name), f.Value) << f.Name;
}

TEST_F(GxLightTest, IntensityWarningAndLitColour) {
    const CMwNodRef held = Make<GxLight>();
    auto& light = As<GxLight>(held);
    light.SetColor({0.5f, 0.25f, 0.125f});
    {
        CLogWatch log;
        light.SetIntensity(2.0f);
        EXPECT_EQ(log.Since(), kIntensityWarning);
        ExpectColor(light.m_LitColor, 1.0f, 0.5f, 0.25f);
        EXPECT_EQ(light.m_Intensity, 2.0f);
    }
    {
        CLogWatch log;
        light.SetIntensity(1.0f);
        EXPECT_EQ(log.Since(), "");
        ExpectColor(light.m_LitColor, 0.5f, 0.25f, 0.125f);
    }
    // The member goes through the setter, a component of the colour too.
    {
        CLogWatch log;
        EXPECT_EQ(Set(light, "Intensity", 3.0f), 0u);
        EXPECT_EQ(log.Since(), kIntensityWarning);
    }
    EXPECT_EQ(Set(light, "Color.g", 1.0f), 0u);
    ExpectColor(light.m_Color, 0.5f, 1.0f, 0.125f);
    ExpectColor(light.m_LitColor, 1.5f, 3.0f, 0.375f);
    EXPECT_FLOAT_EQ(Real(light, "Color.r"), 0.5f);
    // A shadow colour write derives its hue and lightness.
    EXPECT_EQ(Set(light, "ShadowRGB", GmColorRgb{1.0f, 0.0f, 0.0f}), 0u);
    EXPECT_FLOAT_EQ(light.m_ShadowHue, 0.0f);
    EXPECT_FLOAT_EQ(light.m_ShadowLightness, 0.5f);
}

TEST_F(GxLightTest, InversionGroupsAndReset) {
    const CMwNodRef held = Make<GxLight>();
    auto& light = As<GxLight>(held);
    light.SetColor({0.5f, 0.2f, 0.1f});
    light.SetIntensity(0.3f);
    EXPECT_EQ(Set(light, "IsInversed", u32(1)), 0u);
    EXPECT_EQ(light.m_Intensity, -1.0f);
    ExpectColor(light.m_LitColor, -0.5f, -0.2f, -0.1f);
    EXPECT_EQ(Bool(light, "IsInversed"), 1u);
    EXPECT_EQ(Set(light, "IsInversed", u32(0)), 0u);
    EXPECT_EQ(light.m_Intensity, 1.0f);

    // Clearing the only group leaves group 0.
    EXPECT_EQ(Set(light, "EnableGroup0", u32(0)), 0u);
    EXPECT_EQ(light.m_Flags & GxLight::s_GroupBits, 1u << 6);
    // Groups 1 to 3 read in place; any non-zero value sets a bit.
    for (const char* name : {"EnableGroup1", "EnableGroup2", "EnableGroup3"})
        EXPECT_EQ(Set(light, name, u32(7)), 0u);
    EXPECT_EQ(light.m_Flags & GxLight::s_GroupBits, 0xFu << 6);
    EXPECT_EQ(Bool(light, "EnableGroup0"), 1u);
    EXPECT_EQ(Bool(light, "EnableGroup1"), 2u);
    EXPECT_EQ(Bool(light, "EnableGroup2"), 4u);
    EXPECT_EQ(Bool(light, "EnableGroup3"), 8u);
    // Clearing group 0 with others left keeps it clear; clearing them all brings group 0 back.
    EXPECT_EQ(Set(light, "EnableGroup0", u32(0)), 0u);
    EXPECT_EQ(Set(light, "EnableGroup1", u32(0)), 0u);
    EXPECT_EQ(Set(light, "EnableGroup2", u32(0)), 0u);
    EXPECT_EQ(light.m_Flags & GxLight::s_GroupBits, 1u << 9);
    EXPECT_EQ(Set(light, "EnableGroup3", u32(0)), 0u);
    EXPECT_EQ(light.m_Flags & GxLight::s_GroupBits, 1u << 6);

    // A plain flag takes value != 0.
    EXPECT_EQ(Set(light, "HasSprite", u32(5)), 0u);
    EXPECT_EQ(Bool(light, "HasSprite"), 1u);

    // The reset: intensity 1, white, no shadow generation; the rest kept.
    light.m_FlareIntensity = 0.25f;
    light.ResetDefaults();
    EXPECT_EQ(light.m_Intensity, 1.0f);
    ExpectColor(light.m_Color, 1, 1, 1);
    ExpectColor(light.m_LitColor, 1, 1, 1);
    EXPECT_EQ(Bool(light, "IsShadowGen"), 0u);
    EXPECT_EQ(Bool(light, "HasSprite"), 1u);
    EXPECT_EQ(light.m_FlareIntensity, 0.25f);
}

// ---------------------------------------------------------------------------------------------
// Older chunks, one small body each, read into a new nod of the class.

struct CChunkCase {
    const char* Name;
    u32 ClassId;
    u32 ChunkId;
    std::string Body;
    std::function<void(CMwNod&)> Check;
    const char* Log = "";
};

TEST_F(GxLightTest, OlderChunksAreConverted) {
    const std::vector<CChunkCase> cases = {
        {"lit colour and two bools", GxLight::s_ClassId, 0x04001001,
         Fs({-0.5f, 0.2f, 0.1f, 9.0f}) + W(1) + W(0),
         [](CMwNod& nod) {
             auto& l = static_cast<GxLight&>(nod);
             EXPECT_EQ(l.m_Intensity, -1.0f);
             ExpectColor(l.m_Color, 0.5f, 0.2f, 0.1f);
             ExpectColor(l.m_LitColor, -0.5f, -0.2f, -0.1f);
             // DoLighting, DoSpecular, group 0; no shadows, no light-map-only.
             EXPECT_EQ(l.m_Flags, 0x1u | 0x8u | 0x40u);
         }},
        {"lit colour and flags", GxLight::s_ClassId, 0x04001002,
         Fs({0.5f, -0.25f, 1.0f}) + W(0x3FF & ~0x4u),
         [](CMwNod& nod) {
             auto& l = static_cast<GxLight&>(nod);
             // Bit 1 meant inversed; the old-flags fix clears it and the groups 1-3.
             EXPECT_EQ(l.m_Intensity, -1.0f);
             ExpectColor(l.m_Color, 0.5f, 0.25f, 1.0f);
             EXPECT_EQ(l.m_Flags, (0x3Bu & ~0x2u) | 0x40u);
         }},
        {"colour, intensity, old flags", GxLight::s_ClassId, 0x04001003,
         Fs({0.5f, 0.5f, 0.5f, 0.5f}) + W(0x3C3),
         [](CMwNod& nod) {
             auto& l = static_cast<GxLight&>(nod);
             ExpectColor(l.m_LitColor, 0.25f, 0.25f, 0.25f);
             EXPECT_EQ(l.m_Flags, 0x41u);
         }},
        {"colour, intensity above 1, flags kept", GxLight::s_ClassId, 0x04001004,
         Fs({0.5f, 0.5f, 0.5f, 2.0f}) + W(0x3C3),
         [](CMwNod& nod) {
             auto& l = static_cast<GxLight&>(nod);
             ExpectColor(l.m_LitColor, 1.0f, 1.0f, 1.0f);
             EXPECT_EQ(l.m_Flags, 0x3C3u);
         },
         kIntensityWarning},
        {"with shadow intensity", GxLight::s_ClassId, 0x04001005,
         Fs({0.5f, 0.5f, 0.5f, 0.5f}) + W(0x41) + F(0.75f),
         [](CMwNod& nod) {
             auto& l = static_cast<GxLight&>(nod);
             EXPECT_EQ(l.m_ShadowIntensity, 0.75f);
             ExpectColor(l.m_LitColor, 0.25f, 0.25f, 0.25f);
         }},
        {"with flare intensity", GxLight::s_ClassId, 0x04001006,
         Fs({0.5f, 0.5f, 0.5f, 0.5f}) + W(0x41) + Fs({0.75f, 0.125f}),
         [](CMwNod& nod) { EXPECT_EQ(static_cast<GxLight&>(nod).m_FlareIntensity, 0.125f); }},
        {"with shadow colour, groups reset", GxLight::s_ClassId, 0x04001007,
         Fs({0.5f, 0.5f, 0.5f, 1.5f}) + W(0x3C5) + Fs({0.75f, 0.125f, 1.0f, 0.0f, 0.0f}),
         [](CMwNod& nod) {
             auto& l = static_cast<GxLight&>(nod);
             EXPECT_EQ(l.m_Flags, 0x45u);
             ExpectColor(l.m_ShadowRGB, 1.0f, 0.0f, 0.0f);
             EXPECT_FLOAT_EQ(l.m_ShadowHue, 0.0f);
             EXPECT_FLOAT_EQ(l.m_ShadowLightness, 0.5f);
         },
         kIntensityWarning},
        {"current, intensity 1.5", GxLight::s_ClassId, 0x04001008,
         Fs({0.5f, 0.5f, 0.5f, 1.5f}) + W(0x3C5) + Fs({0.75f, 0.125f, 0.0f, 0.0f, 1.0f}),
         [](CMwNod& nod) {
             auto& l = static_cast<GxLight&>(nod);
             // The current chunk keeps the groups as stored.
             EXPECT_EQ(l.m_Flags, 0x3C5u);
             ExpectColor(l.m_LitColor, 0.75f, 0.75f, 0.75f);
             EXPECT_FLOAT_EQ(l.m_ShadowHue, 2.0f / 3.0f);
         },
         kIntensityWarning},
        {"point: three dropped floats", GxLightPoint::s_ClassId, 0x04003000, Fs({7, 8, 9}),
         [](CMwNod& nod) { EXPECT_EQ(static_cast<GxLightPoint&>(nod).m_FlareSize, 5.0f); }},
        {"point: flare size", GxLightPoint::s_ClassId, 0x04003001, F(3.0f),
         [](CMwNod& nod) { EXPECT_EQ(static_cast<GxLightPoint&>(nod).m_FlareSize, 3.0f); }},
        {"point: lens flare bool", GxLightPoint::s_ClassId, 0x04003002, W(1) + Fs({3.0f, 0.5f}),
         [](CMwNod& nod) {
             auto& l = static_cast<GxLightPoint&>(nod);
             EXPECT_EQ(l.m_Flags, 77u | 0x10u);
             EXPECT_EQ(l.m_FlareSize, 3.0f);
             EXPECT_EQ(l.m_FlareIntensity, 0.5f);
         }},
        {"point: flare size again", GxLightPoint::s_ClassId, 0x04003003, F(4.0f),
         [](CMwNod& nod) { EXPECT_EQ(static_cast<GxLightPoint&>(nod).m_FlareSize, 4.0f); }},
        {"ball: radius and attenuation", GxLightBall::s_ClassId, 0x04002000, Fs({3, 1, 2}),
         [](CMwNod& nod) {
             auto& b = static_cast<GxLightBall&>(nod);
             EXPECT_EQ(b.m_Radius, 3.0f);
             EXPECT_EQ(b.m_Attenuation1, 1.0f);
             EXPECT_EQ(b.m_Attenuation2, 2.0f);
         }},
        {"ball: emitting radius", GxLightBall::s_ClassId, 0x04002001, Fs({3, 1, 2, 0.5f}),
         [](CMwNod& nod) { EXPECT_EQ(static_cast<GxLightBall&>(nod).m_EmittingRadius, 0.5f); }},
        {"ball: ambient, specular follows", GxLightBall::s_ClassId, 0x04002002,
         Fs({3, 1, 2, 0.5f, 0.1f, 0.2f, 0.3f}),
         [](CMwNod& nod) {
             auto& b = static_cast<GxLightBall&>(nod);
             EXPECT_EQ(b.m_RadiusSpecular, 3.0f);
             ExpectColor(b.m_AmbientRGB, 0.1f, 0.2f, 0.3f);
         }},
        {"ball: radii apart", GxLightBall::s_ClassId, 0x04002003,
         Fs({3, 3.00002f, 0.5f, 1, 2, 0, 0, 0}),
         [](CMwNod& nod) {
             auto& b = static_cast<GxLightBall&>(nod);
             EXPECT_EQ(b.m_CustomFlags, 1u);
             EXPECT_EQ(b.m_RadiusSpecular, 3.00002f);
         }},
        {"ball: radii within tolerance", GxLightBall::s_ClassId, 0x04002003,
         Fs({3, 3.000001f, 0.5f, 1, 2, 0, 0, 0}),
         [](CMwNod& nod) { EXPECT_EQ(static_cast<GxLightBall&>(nod).m_CustomFlags, 0u); }},
        {"ball: custom word, bits 2-5 cleared", GxLightBall::s_ClassId, 0x04002004,
         W(0xFF) + Fs({3, 4, 5, 0.5f, 1, 2, 0, 0, 0}),
         [](CMwNod& nod) {
             auto& b = static_cast<GxLightBall&>(nod);
             EXPECT_EQ(b.m_CustomFlags, 0xC3u);
             EXPECT_EQ(b.m_RadiusShadow, 5.0f);
         }},
        {"ball: custom word, bits 3-5 cleared", GxLightBall::s_ClassId, 0x04002005,
         W(0xFF) + Fs({3, 4, 5, 6, 0.5f, 1, 2, 0, 0, 0}),
         [](CMwNod& nod) {
             auto& b = static_cast<GxLightBall&>(nod);
             EXPECT_EQ(b.m_CustomFlags, 0xC7u);
             EXPECT_EQ(b.m_RadiusFlare, 6.0f);
         }},
        {"projector: box and two bools", GxLightFrustrum::s_ClassId, 0x0400A000,
         W(0) + Fs({-1, -2, 0.5f, 1, 2, 20}) + W(1) + W(1),
         [](CMwNod& nod) {
             auto& p = static_cast<GxLightFrustrum&>(nod);
             EXPECT_FALSE(p.IsOrtho());
             EXPECT_EQ(p.m_Frustum.minX, -1.0f);
             EXPECT_EQ(p.m_Frustum.minY, -2.0f);
             EXPECT_EQ(p.m_Frustum.zNear, 0.5f);
             EXPECT_EQ(p.m_Frustum.maxX, 1.0f);
             EXPECT_EQ(p.m_Frustum.maxY, 2.0f);
             EXPECT_EQ(p.m_Frustum.zFar, 20.0f);
             EXPECT_EQ(p.m_ProjectorFlags, 0x10u | 0x40u | 0x20u);
         }},
        {"projector: box and flags", GxLightFrustrum::s_ClassId, 0x0400A001,
         W(0) + Fs({-1, -1, 1, 1, 1, 5}) + W(0x3F80),
         [](CMwNod& nod) {
             auto& p = static_cast<GxLightFrustrum&>(nod);
             EXPECT_EQ(p.m_ProjectorFlags, 0x3F80u);
             EXPECT_EQ(p.m_Frustum.zFar, 5.0f);
         }},
        {"projector: raw perspective, technique cleared", GxLightFrustrum::s_ClassId, 0x0400A002,
         W(0) + Fs({-1, -1, 1, 1, 1, 5}) + W(0x3F80),
         [](CMwNod& nod) {
             EXPECT_EQ(static_cast<GxLightFrustrum&>(nod).m_ProjectorFlags, 0x0780u);
         }},
        {"projector: known blend pair", GxLightFrustrum::s_ClassId, 0x0400A003,
         W(1) + Fs({0, 0, 5, 1, 1, 5}) + W(0x3FF80) + W(6) + W(2),
         [](CMwNod& nod) {
             auto& p = static_cast<GxLightFrustrum&>(nod);
             EXPECT_TRUE(p.IsOrtho());
             EXPECT_EQ(p.m_ProjectorFlags, 3u << 7);
         }},
        {"projector: unknown blend pair", GxLightFrustrum::s_ClassId, 0x0400A003,
         W(0) + Fs({-1, -1, 1, 1, 1, 5}) + W(0x780) + W(2) + W(2),
         [](CMwNod& nod) {
             EXPECT_EQ(static_cast<GxLightFrustrum&>(nod).m_ProjectorFlags, 0u);
             EXPECT_EQ(Get<u32>(nod, "Apply"), 0u);
         },
         kBlendWarning},
        {"projector: as stored", GxLightFrustrum::s_ClassId, 0x0400A004,
         W(0) + Fs({-1, -1, 1, 1, 1, 5}) + W(0x3FF80),
         [](CMwNod& nod) {
             EXPECT_EQ(static_cast<GxLightFrustrum&>(nod).m_ProjectorFlags, 0x3FF80u);
         }},
        {"projector: shadow group cleared", GxLightFrustrum::s_ClassId, 0x0400A005,
         W(0) + Fs({-1, -1, 1, 1, 1, 5}) + W(0x7FFFF),
         [](CMwNod& nod) {
             EXPECT_EQ(static_cast<GxLightFrustrum&>(nod).m_ProjectorFlags, 0x43FFFu);
         }},
        {"spot: flare from the outer angle", GxLightSpot::s_ClassId, 0x0400B000, Fs({20, 40, 2}),
         [](CMwNod& nod) {
             auto& s = static_cast<GxLightSpot&>(nod);
             EXPECT_EQ(s.m_AngleFlare, 80.0f);
             EXPECT_EQ(s.m_FalloffExp, 2.0f);
         }},
        {"spot: flare apart", GxLightSpot::s_ClassId, 0x0400B001, Fs({20, 40, 50, 2}),
         [](CMwNod& nod) { EXPECT_EQ(static_cast<GxLightSpot&>(nod).m_SpotFlags, 1u); }},
        {"spot: flare equal", GxLightSpot::s_ClassId, 0x0400B001, Fs({20, 40, 40, 2}),
         [](CMwNod& nod) { EXPECT_EQ(static_cast<GxLightSpot&>(nod).m_SpotFlags, 0u); }},
    };
    for (const CChunkCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const CMwNodRef held(CMwClassRegistry::GetClassInfoById(c.ClassId)->m_Factory());
        CLogWatch log;
        ReadChunkBody(*held.Get(), c.ChunkId, c.Body);
        EXPECT_EQ(log.Since(), c.Log);
        c.Check(*held.Get());
    }
}

// The current chunk logs an intensity above 1.0 when read, never when written.
TEST_F(GxLightTest, IntensityWarningOnReadNotOnWrite) {
    const CMwNodRef held = Make<GxLight>();
    auto& light = As<GxLight>(held);
    light.m_Intensity = 1.5f;
    for (bool text : {false, true}) {
        SCOPED_TRACE(text);
        CLogWatch log;
        const std::string body = WriteChunkBody(light, 0x04001008, text);
        EXPECT_EQ(log.Since(), "");
        const CMwNodRef back = Make<GxLight>();
        ReadChunkBody(*back.Get(), 0x04001008, body, text);
        EXPECT_EQ(log.Since(), kIntensityWarning);
        EXPECT_FLOAT_EQ(As<GxLight>(back).m_LitColor.r, 1.5f);
    }
}

// ---------------------------------------------------------------------------------------------

TEST_F(GxLightTest, BallRadiiAndAttenuation) {
    const CMwNodRef held = Make<GxLightBall>();
    auto& ball = As<GxLightBall>(held);
    EXPECT_EQ(ball.m_Radius, 10.0f);
    EXPECT_EQ(ball.m_RadiusSpecular, 10.0f);
    EXPECT_EQ(ball.m_RadiusShadow, 10.0f);
    EXPECT_EQ(ball.m_RadiusFlare, 40.0f);
    EXPECT_EQ(ball.m_Attenuation1, 0.0f);
    EXPECT_NEAR(ball.m_Attenuation2, (4.0 / 0.33 - 4.0) / 100.0, 1e-6);
    EXPECT_EQ(ball.m_CustomFlags, 0u);
    // At half the radius the attenuation is the fraction.
    EXPECT_NEAR(1.0 / (1.0 + ball.m_Attenuation2 * 25.0), 0.33, 1e-6);

    ball.ResetDefaults();
    EXPECT_EQ(ball.m_Radius, 2.0f);
    EXPECT_EQ(ball.m_RadiusSpecular, 2.0f);
    EXPECT_EQ(ball.m_RadiusShadow, 10.0f);
    EXPECT_EQ(ball.m_RadiusFlare, 40.0f);
    EXPECT_EQ(ball.m_Attenuation1, 10.0f);
    EXPECT_EQ(ball.m_Attenuation2, 0.0f);
    ball.UpdateRadii();
    EXPECT_EQ(ball.m_RadiusShadow, 2.0f);
    EXPECT_EQ(ball.m_RadiusFlare, 8.0f);

    // Radius with a custom shadow radius: the specular radius follows even when custom.
    EXPECT_EQ(Set(ball, "CustomRadiusShadow", u32(1)), 0u);
    EXPECT_EQ(Set(ball, "CustomRadiusSpecular", u32(1)), 0u);
    EXPECT_EQ(Set(ball, "Radius", 5.0f), 0u);
    EXPECT_EQ(ball.m_RadiusShadow, 2.0f);
    EXPECT_EQ(ball.m_RadiusSpecular, 5.0f);
    EXPECT_EQ(ball.m_RadiusFlare, 20.0f);
    // The radii store only.
    EXPECT_EQ(Set(ball, "RadiusFlare", 7.0f), 0u);
    EXPECT_EQ(ball.m_RadiusFlare, 7.0f);
    EXPECT_EQ(Bool(ball, "CustomRadiusFlare"), 0u);
    // Clearing a custom bit updates.
    EXPECT_EQ(Set(ball, "CustomRadiusShadow", u32(0)), 0u);
    EXPECT_EQ(ball.m_RadiusShadow, 5.0f);
    EXPECT_EQ(ball.m_RadiusFlare, 20.0f);

    EXPECT_EQ(Set(ball, "AttenuationType", u32(9)), 0u);
    EXPECT_EQ(Get<u32>(ball, "AttenuationType"), 7u);
    EXPECT_EQ(ball.m_CustomFlags, 0x38u | 0x1u);
    EXPECT_EQ(Set(ball, "AttenuationType", u32(1)), 0u);
    EXPECT_EQ(ball.m_CustomFlags, 0x08u | 0x1u);

    EXPECT_EQ(Add(ball, "Attenuation1", 0.5f), 0u);
    EXPECT_EQ(ball.m_Attenuation1, 10.5f);

    // A radius or fraction of 0 gives no infinite coefficient.
    const struct {
        f32 Radius, Fraction, Expected;
    } cases[] = {{0.0f, 0.33f, 0.0f}, {10.0f, 0.0f, 0.0f}, {10.0f, 2.0f, 0.0f}, {2.0f, 0.5f, 1.0f}};
    for (const auto& c : cases) {
        ball.SetRadiusAttenuation(c.Radius, c.Fraction, 0.5f);
        EXPECT_EQ(ball.m_Attenuation2, c.Expected) << c.Radius << " " << c.Fraction;
        EXPECT_EQ(ball.m_RadiusSpecular, c.Radius * 0.5f);
    }
}

TEST_F(GxLightTest, ProjectorVolumeMembers) {
    const CMwNodRef held = Make<GxLightFrustrum>();
    auto& p = As<GxLightFrustrum>(held);
    const f32 slope = std::tan(15.0f * GmPi / 180.0f);
    EXPECT_FALSE(p.IsOrtho());
    EXPECT_FLOAT_EQ(p.m_Frustum.maxY, slope);
    EXPECT_FLOAT_EQ(p.m_Frustum.minX, -slope);
    EXPECT_EQ(p.m_Frustum.zNear, 0.5f);
    EXPECT_EQ(p.m_Frustum.zFar, 10.0f);
    EXPECT_EQ(p.m_Attenuation1, 0.0f);
    EXPECT_EQ(p.m_Attenuation2, 0.0f);
    EXPECT_EQ(p.m_RatioFadeZ, 0.5f);
    EXPECT_EQ(p.m_ProjectorFlags, 16u);
    EXPECT_EQ(Bool(p, "UseFacePosZ"), 1u);
    EXPECT_FLOAT_EQ(p.m_SidePlanesX.minX, -1.0f / slope);
    EXPECT_FLOAT_EQ(p.m_SidePlanesY.maxY, 1.0f / slope);
    EXPECT_NEAR(Real(p, "FovY"), 2.0 * std::atan(slope) * 180.0 / M_PI, 1e-4);
    EXPECT_FLOAT_EQ(Real(p, "RatioXY"), 1.0f);
    EXPECT_FLOAT_EQ(Real(p, "SizeX"), 2.0f * slope);

    EXPECT_EQ(Set(p, "NearZ", 20.0f), 0u);
    EXPECT_FLOAT_EQ(Real(p, "NearZ"), 9.99f);
    EXPECT_EQ(Set(p, "FarZ", 1.0f), 0u);
    EXPECT_FLOAT_EQ(Real(p, "FarZ"), 10.0f);
    EXPECT_EQ(Set(p, "FovY", 0.0f), 0u);
    EXPECT_NEAR(Real(p, "FovY"), 0.01f, 1e-5);
    EXPECT_EQ(Set(p, "FovY", 400.0f), 0u);
    EXPECT_FLOAT_EQ(p.m_Frustum.maxY, std::tan(GmPi / 2.0f));
    EXPECT_EQ(Set(p, "FovY", 60.0f), 0u);
    EXPECT_EQ(Set(p, "RatioXY", 2.0f), 0u);
    EXPECT_FLOAT_EQ(Real(p, "RatioXY"), 2.0f);
    EXPECT_FLOAT_EQ(p.m_SidePlanesX.minX, -1.0f / p.m_Frustum.maxX);

    // SizeX on a perspective volume makes it orthographic, the planes untouched.
    const GmFrustum planes = p.m_SidePlanesX;
    EXPECT_EQ(Set(p, "SizeX", 4.0f), 0u);
    EXPECT_TRUE(p.IsOrtho());
    EXPECT_EQ(p.m_Frustum.maxX, 2.0f);
    EXPECT_EQ(Real(p, "SizeX"), 4.0f);
    EXPECT_EQ(std::memcmp(&planes, &p.m_SidePlanesX, sizeof planes), 0);
    EXPECT_EQ(Bool(p, "IsOrtho"), 1u);

    // Orthographic depths are the box's z range; the box is rebuilt from its corners.
    EXPECT_EQ(Set(p, "IsOrtho", u32(0)), 0u);
    EXPECT_EQ(Set(p, "IsOrtho", u32(1)), 0u);
    EXPECT_EQ(p.m_Frustum.zNear, 5.0f);
    EXPECT_EQ(p.m_Frustum.zFar, 5.0f);
    EXPECT_EQ(Real(p, "NearZ"), 0.0f);
    EXPECT_EQ(Real(p, "FarZ"), 10.0f);
    EXPECT_EQ(Set(p, "NearZ", 4.0f), 0u);
    EXPECT_EQ(Real(p, "NearZ"), 4.0f);
    EXPECT_EQ(Real(p, "FarZ"), 10.0f);
    EXPECT_EQ(p.m_Frustum.maxX, 1.0f);
    EXPECT_EQ(Set(p, "FarZ", 2.0f), 0u);
    EXPECT_FLOAT_EQ(Real(p, "FarZ"), 4.01f);
    // FovY makes it perspective with the box's depth range and ratio.
    EXPECT_EQ(Set(p, "FovY", 90.0f), 0u);
    EXPECT_FALSE(p.IsOrtho());
    EXPECT_FLOAT_EQ(p.m_Frustum.zNear, 4.0f);
    EXPECT_FLOAT_EQ(p.m_Frustum.zFar, 4.01f);
    EXPECT_FLOAT_EQ(p.m_Frustum.maxY, 1.0f);
    EXPECT_FLOAT_EQ(p.m_Frustum.maxX, 1.0f);
    // Switching to perspective gives the 30-degree volume.
    EXPECT_EQ(Set(p, "IsOrtho", u32(1)), 0u);
    EXPECT_EQ(Set(p, "IsOrtho", u32(0)), 0u);
    EXPECT_FLOAT_EQ(p.m_Frustum.maxY, slope);

    // A NaN takes the limit of its clamp.
    EXPECT_EQ(Set(p, "NearZ", NAN), 0u);
    EXPECT_FLOAT_EQ(Real(p, "NearZ"), 9.99f);
    EXPECT_EQ(Set(p, "FarZ", NAN), 0u);
    EXPECT_FLOAT_EQ(Real(p, "FarZ"), 10.0f);
    EXPECT_EQ(Set(p, "FovY", NAN), 0u);
    EXPECT_NEAR(Real(p, "FovY"), 0.01f, 1e-5);
    EXPECT_EQ(Set(p, "IsOrtho", u32(1)), 0u);
    EXPECT_EQ(Set(p, "IsOrtho", u32(0)), 0u);

    // A zero y extent reads a ratio of 0.
    p.m_Frustum.minY = p.m_Frustum.maxY = 0.0f;
    EXPECT_EQ(Real(p, "RatioXY"), 0.0f);

    // Bit fields with their clamps.
    const struct {
        const char* Name;
        u32 Value, Read, Shift, Mask;
    } bits[] = {{"Apply", 20, 15, 7, 0xF},         {"Technique", 9, 7, 11, 0x7},
                {"iShadowGroup", 16, 15, 14, 0xF}, {"DoFadeZ", 3, 1, 18, 1},
                {"DoAttenuation", 1, 1, 6, 1},     {"UseFaceNegX", 1, 1, 1, 1}};
    for (const auto& b : bits) {
        SCOPED_TRACE(b.Name);
        EXPECT_EQ(Set(p, b.Name, b.Value), 0u);
        EXPECT_EQ(Get<u32>(p, b.Name), b.Read);
        EXPECT_EQ((p.m_ProjectorFlags >> b.Shift) & b.Mask, b.Read);
    }
}

TEST_F(GxLightTest, SpotAngles) {
    const CMwNodRef held = Make<GxLightSpot>();
    auto& s = As<GxLightSpot>(held);
    EXPECT_EQ(Bool(s, "LightMapOnly"), 1u);
    EXPECT_EQ(s.m_AngleInner, 30.0f);
    EXPECT_EQ(s.m_AngleOuter, 45.0f);
    EXPECT_EQ(s.m_AngleFlare, 45.0f);
    EXPECT_EQ(s.m_AngleInnerShadow, 30.0f);
    EXPECT_EQ(s.m_AngleOuterShadow, 45.0f);
    EXPECT_EQ(s.m_FalloffExp, 1.0f);
    EXPECT_FLOAT_EQ(s.m_Cosines[0], std::cos(15.0f * GmPi / 180.0f));
    EXPECT_FLOAT_EQ(s.m_Cosines[1], std::cos(22.5f * GmPi / 180.0f));
    EXPECT_EQ(s.m_Radius, 10.0f);

    EXPECT_EQ(Set(s, "AngleInner", 60.0f), 0u);
    EXPECT_EQ(s.m_AngleInner, 45.0f);
    EXPECT_EQ(s.m_AngleInnerShadow, 45.0f);
    EXPECT_FLOAT_EQ(s.m_Cosines[0], std::cos(22.5f * GmPi / 180.0f));
    EXPECT_EQ(Set(s, "AngleOuter", 10.0f), 0u);
    EXPECT_EQ(s.m_AngleOuter, 45.0f);
    EXPECT_EQ(Set(s, "AngleOuter", 90.0f), 0u);
    EXPECT_EQ(s.m_AngleFlare, 90.0f);
    // A flare angle holds only while custom; it stays at least the inner angle.
    EXPECT_EQ(Set(s, "CustomAngleFlare", u32(1)), 0u);
    EXPECT_EQ(Set(s, "AngleFlare", 10.0f), 0u);
    EXPECT_EQ(s.m_AngleFlare, 45.0f);
    EXPECT_EQ(Set(s, "AngleFlare", 120.0f), 0u);
    EXPECT_EQ(s.m_AngleFlare, 120.0f);
    EXPECT_FLOAT_EQ(s.m_Cosines[2], 0.5f);
    // Shadow angles follow the cone until custom; then inner <= outer.
    EXPECT_EQ(Set(s, "CustomAngleShadow", u32(1)), 0u);
    EXPECT_EQ(Set(s, "AngleOuterShadow", 20.0f), 0u);
    EXPECT_EQ(s.m_AngleOuterShadow, 45.0f);
    EXPECT_EQ(Set(s, "AngleInnerShadow", 60.0f), 0u);
    EXPECT_EQ(s.m_AngleInnerShadow, 45.0f);
    EXPECT_EQ(Set(s, "AngleInnerShadow", 5.0f), 0u);
    EXPECT_EQ(s.m_AngleInnerShadow, 5.0f);
    EXPECT_EQ(Set(s, "CustomAngleShadow", u32(0)), 0u);
    EXPECT_EQ(s.m_AngleInnerShadow, 45.0f);
    EXPECT_EQ(s.m_AngleOuterShadow, 90.0f);

    // A NaN angle takes the limit of its clamp.
    EXPECT_EQ(Set(s, "AngleInner", NAN), 0u);
    EXPECT_EQ(s.m_AngleInner, 90.0f);
    EXPECT_EQ(Set(s, "AngleInner", 30.0f), 0u);
    EXPECT_EQ(Set(s, "AngleOuter", NAN), 0u);
    EXPECT_EQ(s.m_AngleOuter, 30.0f);

    EXPECT_EQ(Set(s, "FalloffExponent", -3.0f), 0u);
    EXPECT_EQ(s.m_FalloffExp, 0.00001f);
    EXPECT_EQ(Set(s, "FalloffExponent", NAN), 0u);
    EXPECT_EQ(s.m_FalloffExp, 0.00001f);
}

// ---------------------------------------------------------------------------------------------
// Saved bodies: the chunks in order with their sizes, and round trips through archive images.

// The binary body of the nod, as chunk ids with the sizes of their contents, walked with the
// sizes expected.
LightChunkList ChunkList(CMwNod& nod, const LightChunkList& expected) {
    CNodIndexArchive archive;
    auto* memory = new CClassicBufferMemory;
    archive.SetBuffer(memory);
    archive.m_Writing = 1;
    EXPECT_EQ(nod.Archive(archive), 0u);
    const std::string body(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize());
    LightChunkList list;
    size_t at = 0;
    for (const auto& chunk : expected) {
        const u32 size = chunk.second;
        if (at + 4 > body.size())
            break;
        u32 id;
        std::memcpy(&id, body.data() + at, 4);
        list.emplace_back(id, size);
        at += 4 + size;
    }
    EXPECT_EQ(body.size(), at + 4);
    if (body.size() == at + 4) {
        EXPECT_EQ(body.substr(at), W(CMwNod::s_UnknownChunk));
    }
    return list;
}

// The saved lists written out, so that a change of the shared table cannot hide here.
TEST_F(GxLightTest, SavedChunkListsAndSizes) {
    using List = LightChunkList;
    const List point = {{0x04001008, 40}, {0x04003004, 8}};
    const List ball = {{0x04001008, 40}, {0x04003004, 8}, {0x04002006, 44}};
    const List projector = {{0x04001008, 40}, {0x04003004, 8}, {0x04002006, 44}, {0x0400A006, 32}};
    const List spot = {
        {0x04001008, 40}, {0x04003004, 8}, {0x04002006, 44}, {0x0400B001, 16}, {0x0400B002, 28}};
    const struct {
        u32 ClassId;
        const List& Expected;
    } classes[] = {{0x04001000, {{0x04001008, 40}}},
                   {0x04006000, {{0x04001008, 40}}},
                   {0x04003000, point},
                   {0x04002000, ball},
                   {0x0400A000, projector},
                   {0x0400B000, spot}};
    for (const auto& c : classes) {
        SCOPED_TRACE(testing::Message() << std::hex << c.ClassId);
        EXPECT_EQ(SavedLightChunks(c.ClassId), c.Expected);
        const CMwNodRef held(CMwClassRegistry::GetClassInfoById(c.ClassId)->m_Factory());
        EXPECT_EQ(ChunkList(*held.Get(), c.Expected), c.Expected);
    }
    const CMwNodRef ortho = Make<GxLightFrustrum>();
    EXPECT_EQ(Set(*ortho.Get(), "IsOrtho", u32(1)), 0u);
    EXPECT_EQ(ChunkList(*ortho.Get(), projector), projector);
}

// In a text archive the orthographic box is six lines of numbers, the perspective volume 24 raw
// bytes: both read back.
TEST_F(GxLightTest, ProjectorVolumeInTextArchives) {
    const CMwNodRef held = Make<GxLightFrustrum>();
    auto& p = As<GxLightFrustrum>(held);
    p.m_ProjectorFlags = 0x12345;
    const std::string perspective = WriteChunkBody(p, 0x0400A006, true);
    const GmFrustum volume = p.m_Frustum;
    std::string raw(24, '\0');
    std::memcpy(raw.data(), &volume.minX, 24);
    EXPECT_NE(perspective.find(raw), std::string::npos);
    EXPECT_EQ(perspective.substr(perspective.size() - 4), W(0x12345));

    EXPECT_EQ(Set(p, "SizeY", 3.0f), 0u);
    const std::string ortho = WriteChunkBody(p, 0x0400A006, true);
    EXPECT_EQ(ortho.find(raw.substr(0, 8)), std::string::npos);
    EXPECT_NE(ortho.find("1.500000\r\n"), std::string::npos) << ortho;

    for (const std::string* body : {&perspective, &ortho}) {
        const CMwNodRef back = Make<GxLightFrustrum>();
        auto& read = As<GxLightFrustrum>(back);
        read.m_Frustum = {};
        ReadChunkBody(read, 0x0400A006, *body, true);
        EXPECT_EQ(read.m_ProjectorFlags, 0x12345u);
        EXPECT_EQ(WriteChunkBody(read, 0x0400A006, true), *body);
    }
}

// Every class, changed from its defaults, saved in both encodings and loaded again: the loaded
// nod holds the same values and writes the same bytes; derived values are refreshed on loading.
TEST_F(GxLightFiles, RoundTripThroughArchiveImages) {
    const auto change = [](GxLight& l) {
        l.SetColor({0.25f, 0.5f, 0.75f});
        l.SetIntensity(0.5f);
        l.m_Flags = 0x2BF;
        l.m_SpecularPower = 8.0f;
        l.m_ShadowIntensity = 0.25f;
        l.SetShadowColor({0.1f, 0.6f, 0.3f});
    };
    std::vector<CMwNodRef> lights = {Make<GxLight>(),         Make<GxLightNotAmbient>(),
                                     Make<GxLightPoint>(),    Make<GxLightBall>(),
                                     Make<GxLightFrustrum>(), Make<GxLightFrustrum>(),
                                     Make<GxLightSpot>()};
    for (CMwNodRef& held : lights)
        change(As<GxLight>(held));
    As<GxLightPoint>(lights[2]).m_FlareBiasZ = 0.5f;
    auto& ball = As<GxLightBall>(lights[3]);
    ball.m_CustomFlags = 0x0E;
    ball.m_RadiusShadow = 3.0f;
    ball.m_RadiusFlare = 6.0f;
    ball.m_Radius = 2.0f;
    ball.UpdateRadii();
    EXPECT_EQ(Set(*lights[4].Get(), "FovY", 50.0f), 0u);
    EXPECT_EQ(Set(*lights[4].Get(), "Technique", u32(2)), 0u);
    EXPECT_EQ(Set(*lights[5].Get(), "SizeX", 6.0f), 0u);
    EXPECT_EQ(Set(*lights[6].Get(), "CustomAngleShadow", u32(1)), 0u);
    EXPECT_EQ(Set(*lights[6].Get(), "AngleInnerShadow", 12.0f), 0u);

    for (const CMwNodRef& held : lights) {
        for (u32 flags :
             {kSystemArchiveSaveRelease, kSystemArchiveSaveRelease | kSystemArchiveSaveText}) {
            auto& light = As<GxLight>(held);
            SCOPED_TRACE(testing::Message() << light.GetClassInfo()->m_Name << " " << flags);
            CClassicBufferMemory image;
            CSystemArchive saver;
            ASSERT_EQ(saver.SaveToMemory(&image, &light, flags), 1);
            Engine().ReleaseMemoryFid(&image);
            const std::string first(reinterpret_cast<const char*>(image.GetData()),
                                    image.GetSize());
            CMwNod* out = nullptr;
            ASSERT_EQ(LoadNodFromMemoryBuffer(&image, &out), 1);
            const CMwNodRef loaded(out);
            ASSERT_EQ(out->GetClassId(), light.GetClassId());
            auto& back = static_cast<GxLight&>(*out);
            ExpectColor(back.m_Color, 0.25f, 0.5f, 0.75f);
            ExpectColor(back.m_LitColor, 0.125f, 0.25f, 0.375f);
            EXPECT_EQ(back.m_Flags, 0x2BFu);
            EXPECT_EQ(back.m_ShadowHue, light.m_ShadowHue);
            EXPECT_EQ(back.m_ShadowLightness, light.m_ShadowLightness);
            if (light.IsKindOf(GxLightBall::s_ClassId)) {
                auto& b = static_cast<GxLightBall&>(back);
                auto& a = static_cast<GxLightBall&>(light);
                EXPECT_EQ(b.m_CustomFlags, a.m_CustomFlags);
                EXPECT_EQ(b.m_RadiusShadow, a.m_RadiusShadow);
                EXPECT_EQ(b.m_RadiusFlare, a.m_RadiusFlare);
            }
            if (light.IsKindOf(GxLightFrustrum::s_ClassId)) {
                auto& b = static_cast<GxLightFrustrum&>(back);
                auto& a = static_cast<GxLightFrustrum&>(light);
                // A text archive writes a float with six decimals: the raw box loses the rest.
                EXPECT_EQ(b.m_Frustum.ortho, a.m_Frustum.ortho);
                const f32* x = &a.m_Frustum.minX;
                const f32* y = &b.m_Frustum.minX;
                for (u32 i = 0; i < 6; ++i)
                    EXPECT_NEAR(y[i], x[i], 1e-6) << i;
                EXPECT_EQ(b.m_ProjectorFlags, a.m_ProjectorFlags);
                if (!a.IsOrtho()) {
                    EXPECT_EQ(std::memcmp(&b.m_SidePlanesX, &a.m_SidePlanesX, 28), 0);
                }
            }
            if (light.IsKindOf(GxLightSpot::s_ClassId)) {
                auto& b = static_cast<GxLightSpot&>(back);
                auto& a = static_cast<GxLightSpot&>(light);
                EXPECT_EQ(b.m_AngleInnerShadow, 12.0f);
                EXPECT_EQ(std::memcmp(b.m_Cosines, a.m_Cosines, sizeof a.m_Cosines), 0);
            }
            CClassicBufferMemory again;
            CSystemArchive resaver;
            ASSERT_EQ(resaver.SaveToMemory(&again, out, flags), 1);
            Engine().ReleaseMemoryFid(&again);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(again.GetData()), again.GetSize()),
                      first);
        }
    }
}

// On loading, radii that follow Radius are brought in line with the stored Radius.
TEST_F(GxLightTest, LoadingUpdatesDerivedValues) {
    const CMwNodRef held = Make<GxLightSpot>();
    auto& spot = As<GxLightSpot>(held);
    spot.m_Radius = 3.0f;
    spot.m_AngleOuter = 60.0f;
    CNodIndexArchive writer;
    writer.SetBuffer(new CClassicBufferMemory);
    writer.m_Writing = 1;
    ASSERT_EQ(spot.Archive(writer), 0u);
    auto* memory = static_cast<CClassicBufferMemory*>(writer.GetBuffer());
    const std::string body(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize());

    const CMwNodRef back = Make<GxLightSpot>();
    CNodIndexArchive reader;
    auto* in = new CClassicBufferMemory;
    reader.SetBuffer(in);
    in->Write(body.data(), u32(body.size()));
    in->Rewind();
    ASSERT_EQ(back->Archive(reader), 0u);
    auto& read = As<GxLightSpot>(back);
    EXPECT_EQ(read.m_RadiusShadow, 3.0f);
    EXPECT_EQ(read.m_RadiusFlare, 12.0f);
    EXPECT_EQ(read.m_AngleFlare, 60.0f);
    EXPECT_EQ(read.m_AngleOuterShadow, 60.0f);
    EXPECT_FLOAT_EQ(read.m_Cosines[1], 0.8660254f);
}

// ---------------------------------------------------------------------------------------------
// Real tools.

// Python's colorsys gives the same hue and lightness for shadow colours that are not greys.
TEST_F(GxLightTest, ShadowHueAndLightnessMatchColorsys) {
    const GmColorRgb colours[] = {{1.0f, 0.0f, 0.0f},  {0.2f, 0.7f, 0.4f},   {0.9f, 0.1f, 0.6f},
                                  {0.3f, 0.2f, 0.8f},  {0.05f, 0.5f, 0.95f}, {0.6f, 0.55f, 0.1f},
                                  {0.0f, 0.0f, 0.25f}, {0.8f, 0.8f, 0.3f}};
    std::string script = "import colorsys\nfor r, g, b in [";
    std::ostringstream values;
    values.precision(9);
    for (const GmColorRgb& c : colours)
        values << "(" << c.r << ", " << c.g << ", " << c.b << "), ";
    script += values.str() +
              "]:\n    h, l, s = colorsys.rgb_to_hls(r, g, b)\n    print('%.9f %.9f' % (h, l))\n";
    CTempFolder temp;
    const std::string output = RunPython(temp, script, "");
    std::istringstream lines(output);
    const CMwNodRef held = Make<GxLight>();
    auto& light = As<GxLight>(held);
    for (const GmColorRgb& c : colours) {
        double h = -1, l = -1;
        ASSERT_TRUE(lines >> h >> l) << output;
        light.SetShadowColor(c);
        EXPECT_NEAR(light.m_ShadowHue, h, 1e-6) << c.r << " " << c.g << " " << c.b;
        EXPECT_NEAR(light.m_ShadowLightness, l, 1e-6) << c.r << " " << c.g << " " << c.b;
    }
}

// A reader of our own, sharing none of our code, decodes a saved spot light and projectors.
TEST_F(GxLightTest, BodiesDecodedByAnIndependentReader) {
    CTempFolder temp;
    const std::string reader = std::string(ENGINE_TEST_PYTHON) + " " + ENGINE_TEST_SOURCE_DIR +
                               "/tests/plug/visual/light_reader.py ";
    const auto body = [](CMwNod& nod) {
        CNodIndexArchive archive;
        auto* memory = new CClassicBufferMemory;
        archive.SetBuffer(memory);
        archive.m_Writing = 1;
        EXPECT_EQ(nod.Archive(archive), 0u);
        return std::string(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize());
    };
    const auto hex = [](u32 v) {
        char text[16];
        std::snprintf(text, sizeof text, "%08x", v);
        return std::string(text);
    };
    const auto real = [](f32 v) {
        char text[32];
        std::snprintf(text, sizeof text, "%.6g", double(v));
        return std::string(text);
    };
    const auto common = [&](GxLightBall& l) {
        return "chunk 04001008 size 40 flags " + hex(l.m_Flags) +
               "\nchunk 04003004 size 8\nchunk 04002006 size 44 custom " + hex(l.m_CustomFlags) +
               "\n";
    };

    const CMwNodRef spotHeld = Make<GxLightSpot>();
    auto& spot = As<GxLightSpot>(spotHeld);
    spot.m_SpotFlags = 2;
    spot.m_CustomFlags = 0x0D;
    WriteWholeFile(temp.File("spot.dat"), body(spot));
    EXPECT_EQ(RunCommand(reader + temp.File("spot.dat")),
              common(spot) + "chunk 0400b001 size 16\nchunk 0400b002 size 28 spot " +
                  hex(spot.m_SpotFlags) + " angles " + real(spot.m_AngleInner) + " " +
                  real(spot.m_AngleOuter) + " " + real(spot.m_AngleFlare) + " " +
                  real(spot.m_AngleInnerShadow) + " " + real(spot.m_AngleOuterShadow) + "\n");

    const CMwNodRef projectorHeld = Make<GxLightFrustrum>();
    auto& projector = As<GxLightFrustrum>(projectorHeld);
    projector.m_ProjectorFlags = 0x5A5A5;
    for (bool ortho : {false, true}) {
        if (ortho) {
            EXPECT_EQ(Set(projector, "SizeX", 5.0f), 0u);
        }
        const GmFrustum& v = projector.m_Frustum;
        WriteWholeFile(temp.File("projector.dat"), body(projector));
        EXPECT_EQ(RunCommand(reader + temp.File("projector.dat")),
                  common(projector) + "chunk 0400a006 size 32 " +
                      (ortho ? "ortho" : "perspective") + " " + real(v.minX) + " " + real(v.minY) +
                      " " + real(v.zNear) + " " + real(v.maxX) + " " + real(v.maxY) + " " +
                      real(v.zFar) + " projector " + hex(projector.m_ProjectorFlags) + "\n");
    }
}

// The fuzz target's seeds stay loadable lights: the older chunk images among them are read
// through the archive loader as a file would be, with the old chunk's conversion.
TEST_F(GxLightFiles, FuzzSeedsLoadAsLights) {
    const std::filesystem::path folder =
        std::filesystem::path(ENGINE_TEST_SOURCE_DIR) / "fuzz/corpus/GxLightArchiveFuzz";
    u32 seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
        CClassicBufferMemory image;
        image.Write(bytes.data(), u32(bytes.size()));
        image.Rewind();
        CLogWatch log;
        CMwNod* out = nullptr;
        ASSERT_EQ(LoadNodFromMemoryBuffer(&image, &out), 1);
        const CMwNodRef loaded(out);
        EXPECT_TRUE(out->IsKindOf(GxLight::s_ClassId));
        // Nothing in a seed is unknown to the classes.
        EXPECT_EQ(log.Since().find("nknown"), std::string::npos) << log.Since();
        ++seeds;
    }
    EXPECT_EQ(seeds, 45u);
}

} // namespace
