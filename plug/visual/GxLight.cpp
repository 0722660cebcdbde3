#include "plug/visual/GxLight.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "core/math/GmConst.h"
#include "core/nod/MwBitFieldMember.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwParam.h"
#include "core/nod/MwVirtualMember.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace {

// What a write of a flag-word member does after storing the bits, and how a group reads.
enum EFlagRule : u32 {
    kRuleStored,       // nothing more
    kRuleGroup,        // at least one light group stays enabled
    kRuleGroupInPlace, // the same, and a read gives the bit in place within the group bits
    kRuleUpdateRadii,  // GxLightBall::UpdateRadii
    kRuleUpdateAngles, // GxLightSpot::UpdateAngles
};

constexpr auto kLightFlags = MwBitFieldTable<GxLight::s_ClassId, 1>({
    // member id, word, first bit, width, largest value, change rule
    {0x04001006, 0, 0, 1, 1, kRuleStored},       // DoLighting
    {0x04001007, 0, 1, 1, 1, kRuleStored},       // LightMapOnly
    {0x04001009, 0, 2, 1, 1, kRuleStored},       // IsShadowGen
    {0x0400100A, 0, 3, 1, 1, kRuleStored},       // DoSpecular
    {0x0400100B, 0, 4, 1, 1, kRuleStored},       // HasLensFlare
    {0x0400100D, 0, 5, 1, 1, kRuleStored},       // HasSprite
    {0x0400100E, 0, 6, 1, 1, kRuleGroup},        // EnableGroup0
    {0x0400100F, 0, 7, 1, 1, kRuleGroupInPlace}, // EnableGroup1
    {0x04001010, 0, 8, 1, 1, kRuleGroupInPlace}, // EnableGroup2
    {0x04001011, 0, 9, 1, 1, kRuleGroupInPlace}, // EnableGroup3
});

constexpr auto kBallFlags = MwBitFieldTable<GxLightBall::s_ClassId, 1>({
    {0x04002002, 0, 0, 1, 1, kRuleUpdateRadii}, // CustomRadiusSpecular
    {0x04002004, 0, 1, 1, 1, kRuleUpdateRadii}, // CustomRadiusShadow
    {0x04002006, 0, 2, 1, 1, kRuleUpdateRadii}, // CustomRadiusFlare
    {0x04002009, 0, 3, 3, 7, kRuleStored},      // AttenuationType
});

constexpr auto kProjectorFlags = MwBitFieldTable<GxLightFrustrum::s_ClassId, 1>({
    {0x0400A007, 0, 6, 1, 1, kRuleStored},   // DoAttenuation
    {0x0400A008, 0, 7, 4, 15, kRuleStored},  // Apply
    {0x0400A009, 0, 11, 3, 7, kRuleStored},  // Technique
    {0x0400A00A, 0, 14, 4, 15, kRuleStored}, // iShadowGroup
    {0x0400A00B, 0, 18, 1, 1, kRuleStored},  // DoFadeZ
    {0x0400A00D, 0, 0, 1, 1, kRuleStored},   // UseFacePosX
    {0x0400A00E, 0, 1, 1, 1, kRuleStored},   // UseFaceNegX
    {0x0400A00F, 0, 2, 1, 1, kRuleStored},   // UseFacePosY
    {0x0400A010, 0, 3, 1, 1, kRuleStored},   // UseFaceNegY
    {0x0400A011, 0, 4, 1, 1, kRuleStored},   // UseFacePosZ
    {0x0400A012, 0, 5, 1, 1, kRuleStored},   // UseFaceNegZ
});

constexpr auto kSpotFlags = MwBitFieldTable<GxLightSpot::s_ClassId, 1>({
    {0x0400B002, 0, 0, 1, 1, kRuleUpdateAngles}, // CustomAngleFlare
    {0x0400B004, 0, 1, 1, 1, kRuleUpdateAngles}, // CustomAngleShadow
});

constexpr const char* kAttenuationNames[] = {"Hyperbolic", "1-(D/R)^2"};
constexpr const char* kApplyNames[] = {"ModulateAdd", "Modulate", "Add", "ModulateX2"};
constexpr const char* kTechniqueNames[] = {"RenderCube", "2dMaskNoClipZ", "2dBallLight",
                                           "GenShadowMask"};

// Member ids answered by the classes' own code.
enum : u32 {
    mColor = 0x04001000,
    mIntensity = 0x04001001,
    mShadowRGB = 0x04001005,
    mIsInversed = 0x04001008,
    mRadius = 0x04002001,
    mIsOrtho = 0x0400A000,
    mNearZ = 0x0400A001,
    mFarZ = 0x0400A002,
    mFovY = 0x0400A003,
    mRatioXY = 0x0400A004,
    mSizeX = 0x0400A005,
    mSizeY = 0x0400A006,
    mAngleInner = 0x0400B000,
    mAngleOuter = 0x0400B001,
    mAngleFlare = 0x0400B003,
    mAngleInnerShadow = 0x0400B005,
    mAngleOuterShadow = 0x0400B006,
    mFalloffExponent = 0x0400B007,
};

// Two floats differing by at least this much are told apart by the chunk conversions.
constexpr f32 kDifferent = 0.00001f;

} // namespace

#define GXLIGHT_MEMBERS(X)                                                                         \
    X(Color, 0x04001000, "Color", MW_FIELD(m_Color), "Color", 0x21, 0x380)                         \
    X(RealRange, 0x04001001, "Intensity", MW_FIELD(m_Intensity), "Intensity", 0x21, 0x380, 0.0f,   \
      1.0f)                                                                                        \
    X(Real, 0x04001002, "SpecularPower", MW_FIELD(m_SpecularPower), "SpecPower", 0x03, 0x380)      \
    X(Real, 0x04001003, "SpecularIntens",                                                          \
      MW_FIELD_NAMED(m_SpecularIntensity, "m_SpecularIntensity"), "SpecIntens", 0x03, 0x380)       \
    X(RealRange, 0x04001004, "ShadowIntensity", MW_FIELD(m_ShadowIntensity), "ShadowIntensity",    \
      0x03, 0x380, 0.0f, 1.0f)                                                                     \
    X(Color, 0x04001005, "ShadowRGB", MW_FIELD(m_ShadowRGB), "ShadowColor", 0x21, 0x380)           \
    X(Bool, 0x04001006, "DoLighting", MW_VIRTUAL(""), "DoLighting", 0x33, 0x380)                   \
    X(Bool, 0x04001007, "LightMapOnly", MW_VIRTUAL(""), "LightMapOnly", 0x33, 0x380)               \
    X(Bool, 0x04001008, "IsInversed", MW_VIRTUAL(""), "Inverse", 0x33, 0x380)                      \
    X(Bool, 0x04001009, "IsShadowGen", MW_VIRTUAL(""), "GenShadows", 0x33, 0x380)                  \
    X(Bool, 0x0400100A, "DoSpecular", MW_VIRTUAL(""), "DoSpecular", 0x33, 0x380)                   \
    X(Bool, 0x0400100B, "HasLensFlare", MW_VIRTUAL(""), "LensFlare", 0x33, 0x380)                  \
    X(RealRange, 0x0400100C, "FlareIntensity", MW_FIELD(m_FlareIntensity), "FlareIntensity", 0x03, \
      0x380, 0.0f, 1.0f)                                                                           \
    X(Bool, 0x0400100D, "HasSprite", MW_VIRTUAL(""), "Sprite", 0x33, 0x380)                        \
    X(Bool, 0x0400100E, "EnableGroup0", MW_VIRTUAL(""), "EnableGrp0", 0x33, 0x380)                 \
    X(Bool, 0x0400100F, "EnableGroup1", MW_VIRTUAL(""), "EnableGrp1", 0x33, 0x380)                 \
    X(Bool, 0x04001010, "EnableGroup2", MW_VIRTUAL(""), "EnableGrp2", 0x33, 0x380)                 \
    X(Bool, 0x04001011, "EnableGroup3", MW_VIRTUAL(""), "EnableGrp3", 0x33, 0x380)
#define GXLIGHT_CHUNKS(X)                                                                          \
    X(0x04001000, 1)                                                                               \
    X(0x04001001, 1)                                                                               \
    X(0x04001002, 1)                                                                               \
    X(0x04001003, 1)                                                                               \
    X(0x04001004, 1)                                                                               \
    X(0x04001005, 1)                                                                               \
    X(0x04001006, 1)                                                                               \
    X(0x04001007, 1)                                                                               \
    X(0x04001008, 3)

#define GXLIGHTPOINT_MEMBERS(X)                                                                    \
    X(Real, 0x04003000, "FlareSize", MW_FIELD(m_FlareSize), "FlareSize", 0x03, 0x380)              \
    X(Real, 0x04003001, "FlareBiasZ", MW_FIELD(m_FlareBiasZ), "FlareBiasZ", 0x03, 0x380)
#define GXLIGHTPOINT_CHUNKS(X)                                                                     \
    X(0x04003000, 1) X(0x04003001, 1) X(0x04003002, 1) X(0x04003003, 1) X(0x04003004, 3)

#define GXLIGHTBALL_MEMBERS(X)                                                                     \
    X(Color, 0x04002000, "AmbientRGB", MW_FIELD(m_AmbientRGB), "Ambient", 0x03, 0x380)             \
    X(RealRange, 0x04002001, "Radius", MW_FIELD(m_Radius), "Radius", 0x21, 0x380, 0.01f, 50.0f)    \
    X(Bool, 0x04002002, "CustomRadiusSpecular", MW_VIRTUAL(""), "SpecularRadius", 0x33, 0x380)     \
    X(RealRange, 0x04002003, "RadiusSpecular", MW_FIELD(m_RadiusSpecular), "SpecularRadius", 0x03, \
      0x380, 0.01f, 50.0f)                                                                         \
    X(Bool, 0x04002004, "CustomRadiusShadow", MW_VIRTUAL(""), "ShadowRadius", 0x33, 0x380)         \
    X(RealRange, 0x04002005, "RadiusShadow", MW_FIELD(m_RadiusShadow), "ShadowRadius", 0x03,       \
      0x380, 0.01f, 50.0f)                                                                         \
    X(Bool, 0x04002006, "CustomRadiusFlare", MW_VIRTUAL(""), "FlareRadius", 0x33, 0x380)           \
    X(RealRange, 0x04002007, "RadiusFlare", MW_FIELD(m_RadiusFlare), "FlareRadius", 0x03, 0x380,   \
      0.01f, 50.0f)                                                                                \
    X(RealRange, 0x04002008, "EmittingRadius", MW_FIELD(m_EmittingRadius), "EmittingRadius", 0x03, \
      0x380, 0.0f, 5.0f)                                                                           \
    X(Enum, 0x04002009, "AttenuationType", MW_VIRTUAL(""), "Attenuation", 0x33, 0x380, "",         \
      kAttenuationNames)                                                                           \
    X(RealRange, 0x0400200A, "Attenuation1", MW_FIELD(m_Attenuation1), "Attenuation1", 0x0F,       \
      0x380, 0.0f, 10.0f)                                                                          \
    X(RealRange, 0x0400200B, "Attenuation2", MW_FIELD(m_Attenuation2), "Attenuation2", 0x0F,       \
      0x380, 0.0f, 10.0f)
#define GXLIGHTBALL_CHUNKS(X)                                                                      \
    X(0x04002000, 1)                                                                               \
    X(0x04002001, 1)                                                                               \
    X(0x04002002, 1)                                                                               \
    X(0x04002003, 1)                                                                               \
    X(0x04002004, 1)                                                                               \
    X(0x04002005, 1)                                                                               \
    X(0x04002006, 3)

#define GXLIGHTFRUSTRUM_MEMBERS(X)                                                                 \
    X(Bool, 0x0400A000, "IsOrtho", MW_VIRTUAL(""), "Orthographic", 0x33, 0x380)                    \
    X(Real, 0x0400A001, "NearZ", MW_VIRTUAL(""), "NearZ", 0x33, 0x380)                             \
    X(Real, 0x0400A002, "FarZ", MW_VIRTUAL(""), "FarZ", 0x33, 0x380)                               \
    X(Real, 0x0400A003, "FovY", MW_VIRTUAL(""), "FovY", 0x33, 0x380)                               \
    X(Real, 0x0400A004, "RatioXY", MW_VIRTUAL(""), "Width/Height", 0x33, 0x380)                    \
    X(Real, 0x0400A005, "SizeX", MW_VIRTUAL(""), "SizeX", 0x33, 0x380)                             \
    X(Real, 0x0400A006, "SizeY", MW_VIRTUAL(""), "SizeY", 0x33, 0x380)                             \
    X(Bool, 0x0400A007, "DoAttenuation", MW_VIRTUAL(""), "Attenuation", 0x33, 0x380)               \
    X(Enum, 0x0400A008, "Apply", MW_VIRTUAL(""), "ApplyMode", 0x33, 0x380, "", kApplyNames)        \
    X(Enum, 0x0400A009, "Technique", MW_VIRTUAL(""), "Technique", 0x33, 0x380, "",                 \
      kTechniqueNames)                                                                             \
    X(Natural, 0x0400A00A, "iShadowGroup", MW_VIRTUAL(""), "ShadowGroup", 0x33, 0x380)             \
    X(Bool, 0x0400A00B, "DoFadeZ", MW_VIRTUAL(""), "FadeZ", 0x33, 0x380)                           \
    X(RealRange, 0x0400A00C, "RatioFadeZ", MW_FIELD(m_RatioFadeZ), "FadeZ", 0x03, 0x380, 0.0f,     \
      1.0f)                                                                                        \
    X(Bool, 0x0400A00D, "UseFacePosX", MW_VIRTUAL(""), "FacePosX", 0x33, 0x380)                    \
    X(Bool, 0x0400A00E, "UseFaceNegX", MW_VIRTUAL(""), "FaceNegX", 0x33, 0x380)                    \
    X(Bool, 0x0400A00F, "UseFacePosY", MW_VIRTUAL(""), "FacePosY", 0x33, 0x380)                    \
    X(Bool, 0x0400A010, "UseFaceNegY", MW_VIRTUAL(""), "FaceNegY", 0x33, 0x380)                    \
    X(Bool, 0x0400A011, "UseFacePosZ", MW_VIRTUAL(""), "FacePosZ", 0x33, 0x380)                    \
    X(Bool, 0x0400A012, "UseFaceNegZ", MW_VIRTUAL(""), "FaceNegZ", 0x33, 0x380)
#define GXLIGHTFRUSTRUM_CHUNKS(X)                                                                  \
    X(0x0400A000, 1)                                                                               \
    X(0x0400A001, 1)                                                                               \
    X(0x0400A002, 1)                                                                               \
    X(0x0400A003, 1)                                                                               \
    X(0x0400A004, 1)                                                                               \
    X(0x0400A005, 1)                                                                               \
    X(0x0400A006, 3)

#define GXLIGHTSPOT_MEMBERS(X)                                                                     \
    X(RealRange, 0x0400B000, "AngleInner", MW_FIELD(m_AngleInner), "Inner Angle", 0x21, 0x380,     \
      0.0f, 179.0f)                                                                                \
    X(RealRange, 0x0400B001, "AngleOuter", MW_FIELD(m_AngleOuter), "Outer Angle", 0x21, 0x380,     \
      0.0f, 179.0f)                                                                                \
    X(Bool, 0x0400B002, "CustomAngleFlare", MW_VIRTUAL(""), "FlareAngle", 0x33, 0x380)             \
    X(RealRange, 0x0400B003, "AngleFlare", MW_FIELD(m_AngleFlare), "FlareAngle", 0x21, 0x380,      \
      0.0f, 179.0f)                                                                                \
    X(Bool, 0x0400B004, "CustomAngleShadow", MW_VIRTUAL(""), "ShadowAngles", 0x33, 0x380)          \
    X(RealRange, 0x0400B005, "AngleInnerShadow", MW_FIELD(m_AngleInnerShadow),                     \
      "ShadowInner Angle", 0x21, 0x380, 0.0f, 179.0f)                                              \
    X(RealRange, 0x0400B006, "AngleOuterShadow", MW_FIELD(m_AngleOuterShadow),                     \
      "ShadowOuter Angle", 0x21, 0x380, 0.0f, 179.0f)                                              \
    X(Real, 0x0400B007, "FalloffExponent", MW_FIELD_NAMED(m_FalloffExp, "m_FalloffExp"),           \
      "Falloff exp", 0x21, 0x380)
#define GXLIGHTSPOT_CHUNKS(X) X(0x0400B000, 1) X(0x0400B001, 3) X(0x0400B002, 3)

MW_DEFINE_CLASS(GxLight, MwFactory<GxLight>, GXLIGHT_MEMBERS, GXLIGHT_CHUNKS);
MW_DEFINE_CLASS(GxLightNotAmbient, MwFactory<GxLightNotAmbient>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(GxLightPoint, MwFactory<GxLightPoint>, GXLIGHTPOINT_MEMBERS, GXLIGHTPOINT_CHUNKS);
MW_DEFINE_CLASS(GxLightBall, MwFactory<GxLightBall>, GXLIGHTBALL_MEMBERS, GXLIGHTBALL_CHUNKS);
MW_DEFINE_CLASS(GxLightFrustrum, MwFactory<GxLightFrustrum>, GXLIGHTFRUSTRUM_MEMBERS,
                GXLIGHTFRUSTRUM_CHUNKS);
MW_DEFINE_CLASS(GxLightSpot, MwFactory<GxLightSpot>, GXLIGHTSPOT_MEMBERS, GXLIGHTSPOT_CHUNKS);

namespace {

u32 ReadU32(const void* value) {
    u32 v = 0;
    std::memcpy(&v, value, sizeof v);
    return v;
}

f32 ReadF32(const void* value) {
    f32 v = 0.0f;
    std::memcpy(&v, value, sizeof v);
    return v;
}

// A flag word is stored as its four little-endian bytes, in text archives too.
void ArchiveRawWord(CClassicArchive& archive, u32& word) {
    u8 bytes[4] = {u8(word), u8(word >> 8), u8(word >> 16), u8(word >> 24)};
    archive.SerializeRaw(bytes, 4);
    word = u32(bytes[0]) | u32(bytes[1]) << 8 | u32(bytes[2]) << 16 | u32(bytes[3]) << 24;
}

void ArchiveColor(CClassicArchive& archive, GmColorRgb& color) {
    archive.SerializeFloats(&color.r, 3);
}

// A stored bool, taken as set when not 0.
bool ArchiveBool(CClassicArchive& archive, bool value) {
    u32 stored = value ? 1 : 0;
    archive.SerializeBools(&stored, 1);
    return stored != 0;
}

// Clamps of member writes; a NaN takes the limit.
f32 AtMost(f32 value, f32 limit) {
    return value <= limit ? value : limit;
}
f32 AtLeast(f32 value, f32 limit) {
    return value >= limit ? value : limit;
}

void SetBit(u32& word, u32 bit, bool on) {
    word = on ? word | bit : word & ~bit;
}

// A write of a whole value or of one component through the member's descriptor, on a copy that
// the class's setter then takes.
template <class T, class Apply>
u32 SetThrough(CMwMemberInfo& member, CMwMemberPath* path, const void* value, T copy, Apply apply) {
    const u32 result = member.Param->Set(&copy, path, value);
    if (result == MwParam_Ok)
        apply(copy);
    return result;
}

void LogLine(const char* text) {
    g_ClassicLogLine.Assign("");
    g_ClassicLogLine.Append(text);
    g_ClassicLogLine.Append("\r\n");
    ClassicLogWriteLine();
}

void LogIntensityWarning() {
    LogLine("GxLight Warning : Intensity >1.f can generate artifacts");
}

} // namespace

// ---------------------------------------------------------------------------------------------
// GxLight

GxLight::GxLight() {
    SetShadowColor({1.0f, 1.0f, 1.0f});
}

void GxLight::UpdateLitColor() {
    m_LitColor = {m_Color.r * m_Intensity, m_Color.g * m_Intensity, m_Color.b * m_Intensity};
}

void GxLight::AfterColorRead() {
    UpdateLitColor();
    if (m_Intensity > 1.0f)
        LogIntensityWarning();
}

void GxLight::SetColor(const GmColorRgb& color) {
    m_Color = color;
    UpdateLitColor();
}

void GxLight::SetIntensity(f32 intensity) {
    m_Intensity = intensity;
    UpdateLitColor();
    if (intensity > 1.0f)
        LogIntensityWarning();
}

void GxLight::SetShadowColor(const GmColorRgb& color) {
    m_ShadowRGB = color;
    GmHsl hsl;
    GmRgbToHsl(GmColor{color.r, color.g, color.b, 1.0f}, hsl);
    m_ShadowHue = hsl.h;
    m_ShadowLightness = hsl.l;
}

void GxLight::ResetDefaults() {
    m_Intensity = 1.0f;
    SetColor({1.0f, 1.0f, 1.0f});
    m_Flags &= ~s_IsShadowGenBit;
}

u32 GxLight::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (const MwBitField* field = kLightFlags.Find(member.MemberId)) {
            const u32 bit = MwGetBitField(&m_Flags, *field);
            return MwAnswerValue(
                out, field->Rule == kRuleGroupInPlace ? bit << (field->Shift - s_GroupShift) : bit);
        }
        if (member.MemberId == mIsInversed)
            return MwAnswerValue(out, u32(IsInversed() ? 1 : 0));
        return MwNotOwnMember;
    });
}

u32 GxLight::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        const MwBitField* field = kLightFlags.Find(member.MemberId);
        if (!field && member.MemberId != mColor && member.MemberId != mIntensity &&
            member.MemberId != mShadowRGB && member.MemberId != mIsInversed)
            return MwNotOwnMember;
        if (!value)
            return MwParam_NotFound;
        if (field) {
            MwSetBitField(&m_Flags, *field, ReadU32(value) != 0 ? 1 : 0);
            if (field->Rule != kRuleStored && (m_Flags & s_GroupBits) == 0)
                m_Flags |= 1u << s_GroupShift;
            return MwParam_Ok;
        }
        switch (member.MemberId) {
            case mColor:
                return SetThrough(member, path, value, m_Color,
                                  [&](const GmColorRgb& c) { SetColor(c); });
            case mIntensity:
                return SetThrough(member, path, value, m_Intensity,
                                  [&](f32 v) { SetIntensity(v); });
            case mShadowRGB:
                return SetThrough(member, path, value, m_ShadowRGB,
                                  [&](const GmColorRgb& c) { SetShadowColor(c); });
            case mIsInversed:
                // The former magnitude is not kept.
                m_Intensity = ReadU32(value) != 0 ? -1.0f : 1.0f;
                UpdateLitColor();
                return MwParam_Ok;
            default:
                return MwNotOwnMember;
        }
    });
}

void GxLight::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    const bool reading = !archive.m_Writing;
    // The fix of flag words older than the light groups: no light-map-only, group 0 alone.
    const auto fixOldFlags = [&] {
        m_Flags &= ~(s_LightMapOnlyBit | (0x7u << (s_GroupShift + 1)));
        m_Flags |= 1u << s_GroupShift;
    };
    switch (chunkId) {
        case 0x04001000:
            break;
        case 0x04001001: {
            // Only the lit colour was stored; its sign tells an inversed light.
            f32 ignored = 0.0f;
            ArchiveColor(archive, m_LitColor);
            archive.SerializeFloats(&ignored, 1);
            const bool lighting = ArchiveBool(archive, m_Flags & s_DoLightingBit);
            const bool shadows = ArchiveBool(archive, m_Flags & s_IsShadowGenBit);
            if (reading) {
                m_Intensity = m_LitColor.r < 0.0f ? -1.0f : 1.0f;
                SetColor(
                    {std::fabs(m_LitColor.r), std::fabs(m_LitColor.g), std::fabs(m_LitColor.b)});
                SetBit(m_Flags, s_DoLightingBit, lighting);
                SetBit(m_Flags, s_IsShadowGenBit, shadows);
                m_Flags |= s_DoSpecularBit;
                fixOldFlags();
            }
            break;
        }
        case 0x04001002:
            ArchiveColor(archive, m_LitColor);
            ArchiveRawWord(archive, m_Flags);
            if (reading) {
                m_Intensity = (m_Flags & s_LightMapOnlyBit) ? -1.0f : 1.0f;
                SetColor(
                    {std::fabs(m_LitColor.r), std::fabs(m_LitColor.g), std::fabs(m_LitColor.b)});
                fixOldFlags();
            }
            break;
        case 0x04001003:
        case 0x04001004:
        case 0x04001005:
        case 0x04001006:
        case 0x04001007:
            ArchiveColor(archive, m_Color);
            archive.SerializeFloats(&m_Intensity, 1);
            ArchiveRawWord(archive, m_Flags);
            if (chunkId >= 0x04001005)
                archive.SerializeFloats(&m_ShadowIntensity, 1);
            if (chunkId >= 0x04001006)
                archive.SerializeFloats(&m_FlareIntensity, 1);
            if (chunkId == 0x04001007)
                ArchiveColor(archive, m_ShadowRGB);
            if (reading) {
                AfterColorRead();
                if (chunkId == 0x04001003)
                    fixOldFlags();
                if (chunkId == 0x04001007) {
                    m_Flags = (m_Flags & ~s_GroupBits) | (1u << s_GroupShift);
                    SetShadowColor(m_ShadowRGB);
                }
            }
            break;
        case 0x04001008:
            ArchiveColor(archive, m_Color);
            archive.SerializeFloats(&m_Intensity, 1);
            ArchiveRawWord(archive, m_Flags);
            archive.SerializeFloats(&m_ShadowIntensity, 1);
            archive.SerializeFloats(&m_FlareIntensity, 1);
            ArchiveColor(archive, m_ShadowRGB);
            if (reading) {
                SetShadowColor(m_ShadowRGB);
                AfterColorRead();
            }
            break;
        default:
            Super::ArchiveChunk(archive, chunkId);
    }
}

// ---------------------------------------------------------------------------------------------
// GxLightPoint

void GxLightPoint::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    switch (chunkId) {
        case 0x04003000: {
            f32 dropped[3] = {};
            archive.SerializeFloats(dropped, 3);
            break;
        }
        case 0x04003001:
        case 0x04003003:
            archive.SerializeFloats(&m_FlareSize, 1);
            break;
        case 0x04003002: {
            const bool flare = ArchiveBool(archive, m_Flags & s_HasLensFlareBit);
            archive.SerializeFloats(&m_FlareSize, 1);
            archive.SerializeFloats(&m_FlareIntensity, 1);
            if (!archive.m_Writing)
                SetBit(m_Flags, s_HasLensFlareBit, flare);
            break;
        }
        case 0x04003004:
            archive.SerializeFloats(&m_FlareSize, 1);
            archive.SerializeFloats(&m_FlareBiasZ, 1);
            break;
        default:
            Super::ArchiveChunk(archive, chunkId);
    }
}

// ---------------------------------------------------------------------------------------------
// GxLightBall

GxLightBall::GxLightBall() {
    SetRadiusAttenuation(10.0f, 0.33f, 1.0f);
    m_RadiusSpecular = m_Radius;
    m_EmittingRadius = 0.0f;
    m_AmbientRGB = {};
    m_CustomFlags = 0;
    UpdateRadii();
}

void GxLightBall::ResetDefaults() {
    Super::ResetDefaults();
    m_Radius = 2.0f;
    m_RadiusSpecular = 2.0f;
    m_Attenuation1 = 10.0f;
    m_Attenuation2 = 0.0f;
}

void GxLightBall::SetRadiusAttenuation(f32 radius, f32 fraction, f32 specularFactor) {
    m_Radius = radius;
    m_RadiusSpecular = radius * specularFactor;
    m_Attenuation1 = 0.0f;
    const f32 coefficient = (4.0f / fraction - 4.0f) / (radius * radius);
    // A radius or fraction of 0 would give an infinite coefficient.
    m_Attenuation2 = coefficient > 0.0f && std::isfinite(coefficient) ? coefficient : 0.0f;
}

void GxLightBall::UpdateRadii() {
    if (!(m_CustomFlags & s_CustomRadiusSpecularBit))
        m_RadiusSpecular = m_Radius;
    if (!(m_CustomFlags & s_CustomRadiusShadowBit))
        m_RadiusShadow = m_Radius;
    if (!(m_CustomFlags & s_CustomRadiusFlareBit))
        m_RadiusFlare = 4.0f * m_Radius;
}

void GxLightBall::OnAfterLoad() {
    UpdateRadii();
}

u32 GxLightBall::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (const MwBitField* field = kBallFlags.Find(member.MemberId))
            return MwAnswerValue(out, MwGetBitField(&m_CustomFlags, *field));
        return MwNotOwnMember;
    });
}

u32 GxLightBall::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        const MwBitField* field = kBallFlags.Find(member.MemberId);
        if (!field && member.MemberId != mRadius)
            return MwNotOwnMember;
        if (!value)
            return MwParam_NotFound;
        if (field) {
            MwSetBitField(&m_CustomFlags, *field, ReadU32(value));
            if (field->Rule == kRuleUpdateRadii)
                UpdateRadii();
            return MwParam_Ok;
        }
        // Radius: the specular radius follows even when it is custom.
        m_Radius = ReadF32(value);
        m_RadiusSpecular = m_Radius;
        UpdateRadii();
        return MwParam_Ok;
    });
}

void GxLightBall::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    const bool reading = !archive.m_Writing;
    switch (chunkId) {
        case 0x04002000:
        case 0x04002001:
        case 0x04002002:
            archive.SerializeFloats(&m_Radius, 1);
            archive.SerializeFloats(&m_Attenuation1, 1);
            archive.SerializeFloats(&m_Attenuation2, 1);
            if (chunkId >= 0x04002001)
                archive.SerializeFloats(&m_EmittingRadius, 1);
            if (chunkId == 0x04002002) {
                ArchiveColor(archive, m_AmbientRGB);
                if (reading)
                    m_RadiusSpecular = m_Radius;
            }
            break;
        case 0x04002003:
            archive.SerializeFloats(&m_Radius, 1);
            archive.SerializeFloats(&m_RadiusSpecular, 1);
            archive.SerializeFloats(&m_EmittingRadius, 1);
            archive.SerializeFloats(&m_Attenuation1, 1);
            archive.SerializeFloats(&m_Attenuation2, 1);
            ArchiveColor(archive, m_AmbientRGB);
            if (reading && std::fabs(m_Radius - m_RadiusSpecular) >= kDifferent)
                m_CustomFlags |= s_CustomRadiusSpecularBit;
            break;
        case 0x04002004:
        case 0x04002005:
        case 0x04002006:
            ArchiveRawWord(archive, m_CustomFlags);
            archive.SerializeFloats(&m_Radius, 1);
            archive.SerializeFloats(&m_RadiusSpecular, 1);
            archive.SerializeFloats(&m_RadiusShadow, 1);
            if (chunkId >= 0x04002005)
                archive.SerializeFloats(&m_RadiusFlare, 1);
            archive.SerializeFloats(&m_EmittingRadius, 1);
            archive.SerializeFloats(&m_Attenuation1, 1);
            archive.SerializeFloats(&m_Attenuation2, 1);
            ArchiveColor(archive, m_AmbientRGB);
            if (reading && chunkId == 0x04002004)
                m_CustomFlags &= ~0x3Cu;
            if (reading && chunkId == 0x04002005)
                m_CustomFlags &= ~0x38u;
            break;
        default:
            Super::ArchiveChunk(archive, chunkId);
    }
}

// ---------------------------------------------------------------------------------------------
// GxLightFrustrum

namespace {

constexpr u32 kTechniqueMask = 0x7u << 11;
constexpr u32 kShadowGroupMask = 0xFu << 14;
constexpr u32 kApplyShift = 7;
constexpr u32 kApplyMask = 0xFu << kApplyShift;

// The box of an orthographic volume rebuilt from its corners.
Aabb BoxFromCorners(const Vec3& min, const Vec3& max) {
    return Aabb{{(min.x + max.x) * 0.5f, (min.y + max.y) * 0.5f, (min.z + max.z) * 0.5f},
                {(max.x - min.x) * 0.5f, (max.y - min.y) * 0.5f, (max.z - min.z) * 0.5f}};
}

// The apply mode of an old blend pair; false for a pair that has none.
bool ApplyFromBlend(u32 source, u32 destination, u32& apply) {
    static constexpr u32 kPairs[][2] = {{6, 1}, {6, 0}, {1, 1}, {6, 2}};
    for (u32 i = 0; i < 4; ++i)
        if (kPairs[i][0] == source && kPairs[i][1] == destination) {
            apply = i;
            return true;
        }
    return false;
}

} // namespace

GxLightFrustrum::GxLightFrustrum() {
    m_Frustum.SetPerspective(30.0f, 1.0f, 0.5f, 10.0f);
    m_Attenuation1 = 0.0f;
    m_Attenuation2 = 0.0f;
    m_RatioFadeZ = 0.5f;
    m_ProjectorFlags = 1u << 4;
    UpdateSidePlanes();
}

void GxLightFrustrum::UpdateSidePlanes() {
    if (IsOrtho())
        return;
    m_Frustum.GetSidePlanesX(m_SidePlanesX);
    m_Frustum.GetSidePlanesY(m_SidePlanesY);
}

f32 GxLightFrustrum::GetNearZ() const {
    return IsOrtho() ? m_Frustum.zNear - m_Frustum.zFar : m_Frustum.zNear;
}

f32 GxLightFrustrum::GetFarZ() const {
    return IsOrtho() ? m_Frustum.zNear + m_Frustum.zFar : m_Frustum.zFar;
}

f32 GxLightFrustrum::GetFovY() const {
    return 2.0f * std::atan((m_Frustum.maxY - m_Frustum.minY) / 2.0f) * (180.0f / GmPi);
}

f32 GxLightFrustrum::GetRatioXY() const {
    // Taken as a box, the six floats are a centre and a half-size.
    const Aabb box = m_Frustum.GetBox();
    const f32 width = 2.0f * box.halfSize.x;
    const f32 height = 2.0f * box.halfSize.y;
    return height == 0.0f ? 0.0f : width / height;
}

void GxLightFrustrum::OnAfterLoad() {
    Super::OnAfterLoad();
    UpdateSidePlanes();
}

u32 GxLightFrustrum::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (const MwBitField* field = kProjectorFlags.Find(member.MemberId))
            return MwAnswerValue(out, MwGetBitField(&m_ProjectorFlags, *field));
        switch (member.MemberId) {
            case mIsOrtho:
                return MwAnswerValue(out, u32(IsOrtho() ? 1 : 0));
            case mNearZ:
                return MwAnswerValue(out, GetNearZ());
            case mFarZ:
                return MwAnswerValue(out, GetFarZ());
            case mFovY:
                return MwAnswerValue(out, GetFovY());
            case mRatioXY:
                return MwAnswerValue(out, GetRatioXY());
            case mSizeX:
                return MwAnswerValue(out, 2.0f * m_Frustum.maxX);
            case mSizeY:
                return MwAnswerValue(out, 2.0f * m_Frustum.maxY);
            default:
                return MwNotOwnMember;
        }
    });
}

u32 GxLightFrustrum::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        const MwBitField* field = kProjectorFlags.Find(member.MemberId);
        if (!field && (member.MemberId < mIsOrtho || member.MemberId > mSizeY))
            return MwNotOwnMember;
        if (!value)
            return MwParam_NotFound;
        // The bit members never touch the side planes.
        if (field) {
            MwSetBitField(&m_ProjectorFlags, *field, ReadU32(value));
            return MwParam_Ok;
        }
        const f32 v = ReadF32(value);
        switch (member.MemberId) {
            case mIsOrtho: {
                const bool ortho = ReadU32(value) != 0;
                if (ortho == IsOrtho())
                    return MwParam_Ok;
                if (ortho)
                    m_Frustum.SetOrtho(BoxFromCorners({-1.0f, -1.0f, 0.0f}, {1.0f, 1.0f, 10.0f}));
                else
                    m_Frustum.SetPerspective(30.0f, 1.0f, 0.5f, 10.0f);
                return MwParam_Ok;
            }
            case mNearZ: {
                const f32 nearZ = AtMost(v, GetFarZ() - 0.01f);
                if (IsOrtho()) {
                    const Aabb box = m_Frustum.GetBox();
                    const Vec3 max = {box.centre.x + box.halfSize.x, box.centre.y + box.halfSize.y,
                                      box.centre.z + box.halfSize.z};
                    m_Frustum.SetOrtho(BoxFromCorners(
                        {box.centre.x - box.halfSize.x, box.centre.y - box.halfSize.y, nearZ},
                        max));
                } else {
                    m_Frustum.zNear = nearZ;
                }
                break;
            }
            case mFarZ: {
                const f32 farZ = AtLeast(v, GetNearZ() + 0.01f);
                if (IsOrtho()) {
                    const Aabb box = m_Frustum.GetBox();
                    const Vec3 min = {box.centre.x - box.halfSize.x, box.centre.y - box.halfSize.y,
                                      box.centre.z - box.halfSize.z};
                    m_Frustum.SetOrtho(BoxFromCorners(
                        min, {box.centre.x + box.halfSize.x, box.centre.y + box.halfSize.y, farZ}));
                } else {
                    m_Frustum.zFar = farZ;
                }
                break;
            }
            case mFovY: {
                // Values at or below 0.01 (and NaN) give 0.01.
                const f32 fov = v > 0.01f ? AtMost(v, 180.0f) : 0.01f;
                m_Frustum.SetPerspective(fov, GetRatioXY(), GetNearZ(), GetFarZ());
                break;
            }
            case mRatioXY:
                m_Frustum.SetRatio(v);
                break;
            case mSizeX:
            case mSizeY: {
                Aabb box = m_Frustum.GetBox();
                (member.MemberId == mSizeX ? box.halfSize.x : box.halfSize.y) = v / 2.0f;
                m_Frustum.SetOrtho(box);
                return MwParam_Ok;
            }
        }
        UpdateSidePlanes();
        return MwParam_Ok;
    });
}

// Six floats as corners: min x, y, z then max x, y, z, into the perspective words.
void GxLightFrustrum::ArchiveCornerBox(CClassicArchive& archive) {
    Aabb box = BoxFromCorners({m_Frustum.minX, m_Frustum.minY, m_Frustum.zNear},
                              {m_Frustum.maxX, m_Frustum.maxY, m_Frustum.zFar});
    box.Archive(archive);
    if (archive.m_Writing)
        return;
    m_Frustum.ortho = GmFrustum::kPerspective;
    m_Frustum.minX = box.centre.x - box.halfSize.x;
    m_Frustum.minY = box.centre.y - box.halfSize.y;
    m_Frustum.zNear = box.centre.z - box.halfSize.z;
    m_Frustum.maxX = box.centre.x + box.halfSize.x;
    m_Frustum.maxY = box.centre.y + box.halfSize.y;
    m_Frustum.zFar = box.centre.z + box.halfSize.z;
}

// The mode as a bool, then a raw box when orthographic, else the six floats as 24 raw bytes.
void GxLightFrustrum::ArchiveVolume(CClassicArchive& archive) {
    const bool ortho = ArchiveBool(archive, IsOrtho());
    m_Frustum.ortho = ortho ? GmFrustum::kOrtho : GmFrustum::kPerspective;
    if (ortho) {
        Aabb box = m_Frustum.GetBox();
        box.ArchiveRaw(archive);
        m_Frustum.SetOrtho(box);
        return;
    }
    f32* values[6] = {&m_Frustum.minX, &m_Frustum.minY, &m_Frustum.zNear,
                      &m_Frustum.maxX, &m_Frustum.maxY, &m_Frustum.zFar};
    u8 bytes[24];
    for (u32 i = 0; i < 6; ++i) {
        const u32 bits = std::bit_cast<u32>(*values[i]);
        for (u32 b = 0; b < 4; ++b)
            bytes[4 * i + b] = u8(bits >> (8 * b));
    }
    archive.SerializeRaw(bytes, 24);
    for (u32 i = 0; i < 6; ++i)
        *values[i] = std::bit_cast<f32>(u32(bytes[4 * i]) | u32(bytes[4 * i + 1]) << 8 |
                                        u32(bytes[4 * i + 2]) << 16 | u32(bytes[4 * i + 3]) << 24);
}

void GxLightFrustrum::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    const bool reading = !archive.m_Writing;
    switch (chunkId) {
        case 0x0400A000: {
            ArchiveBool(archive, IsOrtho());
            ArchiveCornerBox(archive);
            const bool a = ArchiveBool(archive, m_ProjectorFlags & (1u << 6));
            const bool b = ArchiveBool(archive, m_ProjectorFlags & (1u << 5));
            if (reading) {
                SetBit(m_ProjectorFlags, 1u << 6, a);
                SetBit(m_ProjectorFlags, 1u << 5, b);
                m_ProjectorFlags &= ~kTechniqueMask;
            }
            break;
        }
        case 0x0400A001:
            ArchiveBool(archive, IsOrtho());
            ArchiveCornerBox(archive);
            ArchiveRawWord(archive, m_ProjectorFlags);
            break;
        case 0x0400A002:
        case 0x0400A004:
        case 0x0400A005:
        case 0x0400A006:
            ArchiveVolume(archive);
            ArchiveRawWord(archive, m_ProjectorFlags);
            if (reading && chunkId == 0x0400A002)
                m_ProjectorFlags &= ~kTechniqueMask;
            if (reading && chunkId == 0x0400A005)
                m_ProjectorFlags &= ~kShadowGroupMask;
            break;
        case 0x0400A003: {
            ArchiveVolume(archive);
            ArchiveRawWord(archive, m_ProjectorFlags);
            u32 blend[2] = {6, 1};
            archive.SerializeUInts(blend, 2);
            if (!reading)
                break;
            u32 apply = 0;
            if (!ApplyFromBlend(blend[0], blend[1], apply))
                LogLine("GxLightFrustrum Warning : unknown blending mode => converting to "
                        "default apply mode");
            m_ProjectorFlags &= ~(kApplyMask | kTechniqueMask | kShadowGroupMask);
            m_ProjectorFlags |= apply << kApplyShift;
            break;
        }
        default:
            Super::ArchiveChunk(archive, chunkId);
    }
}

// ---------------------------------------------------------------------------------------------
// GxLightSpot

GxLightSpot::GxLightSpot() {
    m_Flags |= s_LightMapOnlyBit;
    m_AngleInner = 30.0f;
    m_AngleOuter = 45.0f;
    m_AngleFlare = 60.0f;
    m_FalloffExp = 1.0f;
    m_SpotFlags = 0;
    UpdateAngles();
}

void GxLightSpot::UpdateAngles() {
    if (!(m_SpotFlags & s_CustomAngleFlareBit))
        m_AngleFlare = m_AngleOuter;
    if (!(m_SpotFlags & s_CustomAngleShadowBit)) {
        m_AngleInnerShadow = m_AngleInner;
        m_AngleOuterShadow = m_AngleOuter;
    }
    const f32 angles[5] = {m_AngleInner, m_AngleOuter, m_AngleFlare, m_AngleInnerShadow,
                           m_AngleOuterShadow};
    for (u32 i = 0; i < 5; ++i)
        m_Cosines[i] = std::cos(angles[i] * GmPi / 360.0f);
}

void GxLightSpot::OnAfterLoad() {
    Super::OnAfterLoad();
    UpdateAngles();
}

u32 GxLightSpot::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (const MwBitField* field = kSpotFlags.Find(member.MemberId))
            return MwAnswerValue(out, MwGetBitField(&m_SpotFlags, *field));
        return MwNotOwnMember;
    });
}

u32 GxLightSpot::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId >> 12 != s_ClassId >> 12)
            return MwNotOwnMember;
        if (!value)
            return MwParam_NotFound;
        const f32 v = ReadF32(value);
        switch (member.MemberId) {
            case mAngleInner:
                m_AngleInner = AtMost(v, m_AngleOuter);
                break;
            case mAngleOuter:
                m_AngleOuter = AtLeast(v, m_AngleInner);
                break;
            case mAngleFlare:
                m_AngleFlare = AtLeast(v, m_AngleInner);
                break;
            case mAngleInnerShadow:
                m_AngleInnerShadow = AtMost(v, m_AngleOuterShadow);
                break;
            case mAngleOuterShadow:
                m_AngleOuterShadow = AtLeast(v, m_AngleInnerShadow);
                break;
            case mFalloffExponent:
                // No angle changes.
                m_FalloffExp = AtLeast(v, 0.00001f);
                return MwParam_Ok;
            default:
                if (const MwBitField* field = kSpotFlags.Find(member.MemberId)) {
                    MwSetBitField(&m_SpotFlags, *field, ReadU32(value));
                    break;
                }
                return MwNotOwnMember;
        }
        UpdateAngles();
        return MwParam_Ok;
    });
}

void GxLightSpot::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    const bool reading = !archive.m_Writing;
    switch (chunkId) {
        case 0x0400B000:
            archive.SerializeFloats(&m_AngleInner, 1);
            archive.SerializeFloats(&m_AngleOuter, 1);
            archive.SerializeFloats(&m_FalloffExp, 1);
            if (reading)
                m_AngleFlare = 2.0f * m_AngleOuter;
            break;
        case 0x0400B001:
            archive.SerializeFloats(&m_AngleInner, 1);
            archive.SerializeFloats(&m_AngleOuter, 1);
            archive.SerializeFloats(&m_AngleFlare, 1);
            archive.SerializeFloats(&m_FalloffExp, 1);
            if (reading && std::fabs(m_AngleFlare - m_AngleOuter) >= kDifferent)
                m_SpotFlags |= s_CustomAngleFlareBit;
            break;
        case 0x0400B002:
            ArchiveRawWord(archive, m_SpotFlags);
            archive.SerializeFloats(&m_AngleInner, 1);
            archive.SerializeFloats(&m_AngleOuter, 1);
            archive.SerializeFloats(&m_AngleFlare, 1);
            archive.SerializeFloats(&m_AngleInnerShadow, 1);
            archive.SerializeFloats(&m_AngleOuterShadow, 1);
            archive.SerializeFloats(&m_FalloffExp, 1);
            break;
        default:
            Super::ArchiveChunk(archive, chunkId);
    }
}
