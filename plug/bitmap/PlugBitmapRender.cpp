#include "plug/bitmap/PlugBitmapRender.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicLog.h"
#include "core/math/GmConst.h"
#include "core/nod/MwBitFieldMember.h"
#include "plug/bitmap/PlugBitmap.h"
#include "plug/bitmap/PlugByteColor.h"
#include "plug/bitmap/PlugFileImg.h"

#include <cmath>
#include <cstring>

namespace {

using namespace plug_bytes;

// The members of CPlugBitmapRender that are no filter bit, by id.
enum ERenderMember : u32 {
    mTriggerRender = 0x09086000,
    mLightOnly,
    mRenderPath,
    mRenderPathFails,
    mCustomFog = 0x09086030,
    mFogCustomFarZ,
    mTreeMipForceLowQ,
    mRenderShadows,
    mRenderProjectors,
    mRenderZoneFogG,
    mRenderLensFlares,
    mInvertY,
    mOnePixBorder,
    mUseZBuffer,
    mTriggerClearRGBA,
    mClearRGB,
    mClearAlpha,
    mClearWithFog,
    mWriteRed,
    mWriteGreen,
    mWriteBlue,
    mWriteAlpha,
    mBitmapClear,
    mBitmapClearMode,
    mBitmapClearUV,
    mBlurTexelCount,
    mRenderEnd
};
static_assert(mRenderEnd - mTriggerRender == 70);
static_assert(mCustomFog ==
              CPlugBitmapRender::s_FirstFilterMemberId + 4 * CPlugBitmapRender::s_CategoryCount);

// What a flag-word write does after storing its bits.
enum ERenderRule : u32 {
    kRuleStored,
    kRuleClearMode, // keeps the low 3 bits of min(value, 15) rather than min(value, 7)
};

constexpr auto kRenderFlags = MwBitFieldTable<CPlugBitmapRender::s_ClassId, 1>({
    // member id, word, first bit, width, largest value, change rule
    {mTriggerRender, 0, 0, 2, 3, kRuleStored},     {mLightOnly, 0, 2, 1, 1, kRuleStored},
    {mInvertY, 0, 3, 1, 1, kRuleStored},           {mUseZBuffer, 0, 4, 1, 1, kRuleStored},
    {mOnePixBorder, 0, 6, 1, 1, kRuleStored},      {mWriteRed, 0, 7, 1, 1, kRuleStored},
    {mWriteGreen, 0, 8, 1, 1, kRuleStored},        {mWriteBlue, 0, 9, 1, 1, kRuleStored},
    {mWriteAlpha, 0, 10, 1, 1, kRuleStored},       {mBitmapClearMode, 0, 11, 3, 7, kRuleClearMode},
    {mBlurTexelCount, 0, 14, 8, 255, kRuleStored}, {mTriggerClearRGBA, 0, 22, 2, 3, kRuleStored},
    {mTreeMipForceLowQ, 0, 24, 1, 1, kRuleStored}, {mRenderShadows, 0, 25, 1, 1, kRuleStored},
    {mRenderProjectors, 0, 26, 1, 1, kRuleStored}, {mRenderZoneFogG, 0, 27, 1, 1, kRuleStored},
    {mRenderLensFlares, 0, 28, 1, 1, kRuleStored}, {mClearWithFog, 0, 29, 1, 1, kRuleStored},
    {mCustomFog, 0, 31, 1, 1, kRuleStored},
});

// The water members, by id.
enum EWaterMember : u32 {
    mWaterType = 0x09087000,
    mFogMaxDepth,
    mMirrorGeom,
    mMirrorScaleY,
    mUseClipPlane,
    mClipPlaneHeight,
    mUseFMargin,
    mFMargin,
    mRndLDirSpecInA,
    mMaskWaterRegion,
    mUseCameraZClip,
    mAddWaterFog,
    mNoSubWaterOptim,
    mDisableGeomOptim,
    mWaterEnd
};
static_assert(mWaterEnd - mWaterType == 14);

constexpr auto kWaterFlags = MwBitFieldTable<CPlugBitmapRenderWater::s_ClassId, 1>({
    {mWaterType, 0, 1, 1, 1, 0},
    {mUseClipPlane, 0, 2, 1, 1, 0},
    {mUseFMargin, 0, 3, 1, 1, 0},
    {mMirrorGeom, 0, 4, 1, 1, 0},
    {mRndLDirSpecInA, 0, 5, 1, 1, 0},
    {mMaskWaterRegion, 0, 6, 1, 1, 0},
    {mUseCameraZClip, 0, 7, 1, 1, 0},
    {mAddWaterFog, 0, 8, 1, 1, 0},
    {mNoSubWaterOptim, 0, 9, 1, 1, 0},
    {mDisableGeomOptim, 0, 10, 1, 1, 0},
});

constexpr const char* kTriggerNames[] = {"None", "Once", "EachFrame"};
constexpr const char* kRenderPathNames[] = {"Normal", "DepthAsAlpha", "GlowInput"};
constexpr const char* kRenderPathFailsNames[] = {"Ignore", "Hide"};
constexpr const char* kClearModeNames[] = {"Fixed", "DayTimeRemapInU"};
constexpr const char* kWaterTypeNames[] = {"Refraction", "Reflection"};
constexpr const char* kXyNames[] = {"x", "y"};
constexpr const char* kXyzNames[] = {"x", "y", "z"};

u32 ReadU32(const void* value) {
    u32 v = 0;
    std::memcpy(&v, value, sizeof v);
    return v;
}

// Answers a bit-field member of the table from the words; nothing for another member.
template <class Table>
MwOwnAnswer GetBits(const Table& table, const u32* words, u32 memberId, CMwParamValue* out) {
    if (const MwBitField* field = table.Find(memberId))
        return MwAnswerValue(out, MwGetBitField(words, *field));
    return MwNotOwnMember;
}

// A nod member's answer: the path goes on in the nod (2 without one), or the value is the nod.
u32 GetNodMember(CMwNod* nod, CMwMemberPath* path, CMwParamValue* out) {
    if (path->HasCurrent())
        return nod ? nod->GetParam(path, out) : u32(MwParam_NotFound);
    out->Value = nod;
    return MwParam_Ok;
}

} // namespace

// The visibility categories in bit order, each with the ids of its four filter members (item
// mask, item ref, shadow mask, shadow ref); the 44 filter rows are made from this one table.
#define PLUG_RENDER_CATEGORIES(C, X)                                                               \
    C(X, Reflected, 0x09086004, 0x0908600F, 0x0908601A, 0x09086025)                                \
    C(X, ReflectMirror, 0x09086005, 0x09086010, 0x0908601B, 0x09086026)                            \
    C(X, Refracted, 0x09086006, 0x09086011, 0x0908601C, 0x09086027)                                \
    C(X, ViewDepBump, 0x09086007, 0x09086012, 0x0908601D, 0x09086028)                              \
    C(X, ViewDepFoam, 0x09086008, 0x09086013, 0x0908601E, 0x09086029)                              \
    C(X, OnlyRefracted, 0x09086009, 0x09086014, 0x0908601F, 0x0908602A)                            \
    C(X, HideWhenUnderground, 0x0908600A, 0x09086015, 0x09086020, 0x0908602B)                      \
    C(X, HideWhenOverground, 0x0908600B, 0x09086016, 0x09086021, 0x0908602C)                       \
    C(X, HideAlways, 0x0908600C, 0x09086017, 0x09086022, 0x0908602D)                               \
    C(X, ViewDepWindIntens, 0x0908600D, 0x09086018, 0x09086023, 0x0908602E)                        \
    C(X, Background, 0x0908600E, 0x09086019, 0x09086024, 0x0908602F)
#define PLUG_RENDER_ROW(X, id, name, label, category)                                              \
    X(Bool, id, name #category, MW_VIRTUAL(""), label #category, 0x33, 0x380)
#define PLUG_RENDER_ITEM_MASK(X, category, mask, ref, shadowMask, shadowRef)                       \
    PLUG_RENDER_ROW(X, mask, "IVIdMask", "ItemChk", category)
#define PLUG_RENDER_ITEM_REF(X, category, mask, ref, shadowMask, shadowRef)                        \
    PLUG_RENDER_ROW(X, ref, "IVIdRef", "ItemRef", category)
#define PLUG_RENDER_SHADOW_MASK(X, category, mask, ref, shadowMask, shadowRef)                     \
    PLUG_RENDER_ROW(X, shadowMask, "SVIdMask", "ShadChk", category)
#define PLUG_RENDER_SHADOW_REF(X, category, mask, ref, shadowMask, shadowRef)                      \
    PLUG_RENDER_ROW(X, shadowRef, "SVIdRef", "ShadRef", category)

#define CPLUGBITMAPRENDER_MEMBERS(X)                                                               \
    X(Enum, 0x09086000, "TriggerRender", MW_VIRTUAL(""), "Trigg.Render", 0x33, 0x380, "",          \
      kTriggerNames)                                                                               \
    X(Bool, 0x09086001, "LightOnly", MW_VIRTUAL(""), "Lights only", 0x33, 0x380)                   \
    X(Enum, 0x09086002, "RenderPath", MW_FIELD(m_RenderPath), "RenderPath", 0x03, 0x380, "",       \
      kRenderPathNames)                                                                            \
    X(Enum, 0x09086003, "RenderPathFails", MW_FIELD(m_RenderPathFails), "RenderPathFails", 0x03,   \
      0x380, "", kRenderPathFailsNames)                                                            \
    PLUG_RENDER_CATEGORIES(PLUG_RENDER_ITEM_MASK, X)                                               \
    PLUG_RENDER_CATEGORIES(PLUG_RENDER_ITEM_REF, X)                                                \
    PLUG_RENDER_CATEGORIES(PLUG_RENDER_SHADOW_MASK, X)                                             \
    PLUG_RENDER_CATEGORIES(PLUG_RENDER_SHADOW_REF, X)                                              \
    X(Bool, 0x09086030, "CustomFog", MW_VIRTUAL(""), "CustomFog", 0x33, 0x380)                     \
    X(Real, 0x09086031, "FogCustomFarZ", MW_FIELD(m_FogCustomFarZ), "CustomFogFarZ", 0x03, 0x380)  \
    X(Bool, 0x09086032, "TreeMipForceLowQ", MW_VIRTUAL(""), "TreeMip LowQ", 0x33, 0x380)           \
    X(Bool, 0x09086033, "RenderShadows", MW_VIRTUAL(""), "Shadows", 0x33, 0x380)                   \
    X(Bool, 0x09086034, "RenderProjectors", MW_VIRTUAL(""), "Projectors", 0x33, 0x380)             \
    X(Bool, 0x09086035, "RenderZoneFogG", MW_VIRTUAL(""), "ZoneFog", 0x33, 0x380)                  \
    X(Bool, 0x09086036, "RenderLensFlares", MW_VIRTUAL(""), "LensFlares", 0x33, 0x380)             \
    X(Bool, 0x09086037, "InvertY", MW_VIRTUAL(""), "InvertY", 0x33, 0x380)                         \
    X(Bool, 0x09086038, "OnePixBorder", MW_VIRTUAL(""), "1TexelBorder", 0x33, 0x380)               \
    X(Bool, 0x09086039, "UseZBuffer", MW_VIRTUAL(""), "ZBuffer", 0x33, 0x380)                      \
    X(Enum, 0x0908603A, "TriggerClearRGBA", MW_VIRTUAL(""), "Clear RGBA", 0x33, 0x380, "",         \
      kTriggerNames)                                                                               \
    X(Color, 0x0908603B, "ClearRGB", MW_VIRTUAL(""), "Clear RGB", 0x33, 0x380)                     \
    X(RealRange, 0x0908603C, "ClearAlpha", MW_VIRTUAL(""), "Clear Alpha", 0x33, 0x380, 0.0f, 1.0f) \
    X(Bool, 0x0908603D, "ClearWithFog", MW_VIRTUAL(""), "ClearWithFog", 0x33, 0x380)               \
    X(Bool, 0x0908603E, "WriteRed", MW_VIRTUAL(""), "Write Red", 0x33, 0x380)                      \
    X(Bool, 0x0908603F, "WriteGreen", MW_VIRTUAL(""), "WriteGreen", 0x33, 0x380)                   \
    X(Bool, 0x09086040, "WriteBlue", MW_VIRTUAL(""), "WriteBlue", 0x33, 0x380)                     \
    X(Bool, 0x09086041, "WriteAlpha", MW_VIRTUAL(""), "WriteAlpha", 0x33, 0x380)                   \
    X(Class, 0x09086042, "BitmapClear", MW_VIRTUAL("m_BitmapClear"), "Clear Bitmap", 0xF3, 0x3FA0, \
      &CPlugBitmap::s_ClassInfo, 1)                                                                \
    X(Enum, 0x09086043, "BitmapClearMode", MW_VIRTUAL(""), "Clear UV", 0x33, 0x380, "",            \
      kClearModeNames)                                                                             \
    X(Vec2, 0x09086044, "BitmapClearUV", MW_FIELD(m_BitmapClearUV), "Clear UV", 0x21, 0x380,       \
      kXyNames)                                                                                    \
    X(Natural, 0x09086045, "BlurTexelCount", MW_VIRTUAL(""), "BlurTexelCount", 0x33, 0x380)

// Written: the filters, the render path, the fog depth and the clear settings; the rest are the
// older forms, read only.
#define CPLUGBITMAPRENDER_CHUNKS(X)                                                                \
    X(0x09086000, 1)                                                                               \
    X(0x09086001, 1)                                                                               \
    X(0x09086002, 1)                                                                               \
    X(0x09086003, 3)                                                                               \
    X(0x09086004, 1)                                                                               \
    X(0x09086005, 1)                                                                               \
    X(0x09086006, 1)                                                                               \
    X(0x09086007, 1)                                                                               \
    X(0x09086008, 0x13)                                                                            \
    X(0x09086009, 1)                                                                               \
    X(0x0908600A, 3)                                                                               \
    X(0x0908600B, 3)

MW_DEFINE_CLASS(CPlugBitmapRender, nullptr, CPLUGBITMAPRENDER_MEMBERS, CPLUGBITMAPRENDER_CHUNKS);

#define CPLUGBITMAPRENDERWATER_MEMBERS(X)                                                          \
    X(Enum, 0x09087000, "WaterType", MW_VIRTUAL(""), "WaterType", 0x33, 0x380, "",                 \
      kWaterTypeNames)                                                                             \
    X(Real, 0x09087001, "FogMaxDepth", MW_FIELD(m_FogMaxDepth), "FogMaxDepth", 0x03, 0x380)        \
    X(Bool, 0x09087002, "MirrorGeom", MW_VIRTUAL(""), "Mirror", 0x33, 0x380)                       \
    X(RealRange, 0x09087003, "MirrorScaleY", MW_FIELD(m_MirrorScaleY), "MirrorScaleY", 0x03,       \
      0x380, 0.0f, 1.0f)                                                                           \
    X(Bool, 0x09087004, "UseClipPlane", MW_VIRTUAL(""), "ClipPlane", 0x33, 0x380)                  \
    X(Real, 0x09087005, "ClipPlaneHeight", MW_FIELD(m_ClipPlaneHeight), "ClipPlaneHeight", 0x03,   \
      0x380)                                                                                       \
    X(Bool, 0x09087006, "UseFMargin", MW_VIRTUAL(""), "FrustrumMargin", 0x33, 0x380)               \
    X(Real, 0x09087007, "FMargin", MW_FIELD(m_FrustrumMargin), "FMargin", 0x03, 0x380)             \
    X(Bool, 0x09087008, "RndLDirSpecInA", MW_VIRTUAL(""), "SpecularInAlpha", 0x33, 0x380)          \
    X(Bool, 0x09087009, "MaskWaterRegion", MW_VIRTUAL(""), "MaskWaterRegion", 0x33, 0x380)         \
    X(Bool, 0x0908700A, "UseCameraZClip", MW_VIRTUAL(""), "CameraZClip", 0x33, 0x380)              \
    X(Bool, 0x0908700B, "AddWaterFog", MW_VIRTUAL(""), "AddWaterFog", 0x33, 0x380)                 \
    X(Bool, 0x0908700C, "NoSubWaterOptim", MW_VIRTUAL(""), "NoSubWaterOptim", 0x33, 0x380)         \
    X(Bool, 0x0908700D, "DisableGeomOptim", MW_VIRTUAL(""), "DisableGeomOptim", 0x33, 0x380)
#define CPLUGBITMAPRENDERWATER_CHUNKS(X)                                                           \
    X(0x09087000, 1)                                                                               \
    X(0x09087001, 1)                                                                               \
    X(0x09087002, 1)                                                                               \
    X(0x09087003, 1)                                                                               \
    X(0x09087004, 1)                                                                               \
    X(0x09087005, 0x13)                                                                            \
    X(0x09087006, 0x13)

MW_DEFINE_CLASS(CPlugBitmapRenderWater, MwFactory<CPlugBitmapRenderWater>,
                CPLUGBITMAPRENDERWATER_MEMBERS, CPLUGBITMAPRENDERWATER_CHUNKS);

#define CPLUGBITMAPRENDERCUBEMAP_MEMBERS(X)                                                        \
    X(Action, 0x09088000, "SaveInTga", MW_VIRTUAL(""), "SaveInFile", 0x02, 0x380,                  \
      MwThunk<&CPlugBitmapRenderCubeMap::SaveInTga>::Call)                                         \
    X(Natural, 0x09088001, "CubeFaceCount", MW_FIELD(m_DirtyFaceCount), "FaceCount", 0x03, 0x380)  \
    X(Vec3, 0x09088002, "CenterPos", MW_FIELD(m_CenterPosInVisual), "Center", 0x03, 0x380,         \
      kXyzNames)                                                                                   \
    X(Real, 0x09088003, "NearZ", MW_FIELD(m_NearZ), "NearZ", 0x03, 0x380)                          \
    X(Real, 0x09088004, "FarZ", MW_FIELD(m_FarZ), "FarZ", 0x03, 0x380)
#define CPLUGBITMAPRENDERCUBEMAP_CHUNKS(X) X(0x09088000, 3)

MW_DEFINE_CLASS(CPlugBitmapRenderCubeMap, MwFactory<CPlugBitmapRenderCubeMap>,
                CPLUGBITMAPRENDERCUBEMAP_MEMBERS, CPLUGBITMAPRENDERCUBEMAP_CHUNKS);

// ---------------------------------------------------------------------------------------------
// The render base

CPlugBitmapRender::~CPlugBitmapRender() {
    if (CPlugBitmap* clear = m_BitmapClear) {
        m_BitmapClear = nullptr;
        clear->Release();
    }
}

void CPlugBitmapRender::SetOwnerBitmap(CPlugBitmap* bitmap) {
    m_OwnerBitmap = bitmap;
}

void CPlugBitmapRender::ClearOwnerDone() {
    if (m_OwnerBitmap)
        m_OwnerBitmap->m_Flags[1] &= ~CPlugBitmap::s_PixelUpdateDoneBit;
}

u32 CPlugBitmapRender::GetFlagMember(u32 memberId) const {
    const MwBitField* field = kRenderFlags.Find(memberId);
    return field ? MwGetBitField(&m_RenderFlags, *field) : 0;
}

void CPlugBitmapRender::SetBitmapClear(CPlugBitmap* bitmap, Vec2 uv) {
    if (bitmap)
        bitmap->AddRef();
    CPlugBitmap* old = m_BitmapClear;
    m_BitmapClear = bitmap;
    if (old)
        old->Release();
    if (SampleClearColour(uv) && m_OwnerBitmap)
        m_OwnerBitmap->SetDirty(true);
}

bool CPlugBitmapRender::SampleClearColour(Vec2 uv) {
    if (!m_BitmapClear)
        return false;
    CPlugFileImg* image = m_BitmapClear->GetImage();
    const u8* texel = nullptr;
    if (image && image->GetFormat() == CPlugFileImg::EFormat_BGRA && image->GetNbComp() == 4 &&
        (image->IsLoaded() || image->EnsureLoaded() == 1)) {
        // Into [0, 1]; NaN counts as 0.
        const auto unit = [](f32 v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; };
        // round(side x t - 0.5), half away from zero, kept inside [0, side - 1].
        const auto texelIndex = [](u32 side, f32 t) {
            const f32 at = std::round(f32(side) * t - 0.5f);
            return at > 0.0f ? u32(std::min(at, f32(side) - 1.0f)) : 0u;
        };
        const Vec2 clamped{unit(uv.x), unit(uv.y)};
        if (image->m_Width != 0 && image->m_Height != 0)
            texel = image->GetTexelAddress(texelIndex(image->m_Width, clamped.x),
                                           texelIndex(image->m_Height, clamped.y), 0, 0);
        if (texel) {
            m_BitmapClearUV = clamped;
            std::memcpy(m_ClearColor, texel, 4);
            return true;
        }
    }
    CPlugBitmap* dropped = m_BitmapClear;
    m_BitmapClear = nullptr;
    dropped->Release();
    return false;
}

void CPlugBitmapRender::CopyRenderSettings(const CPlugBitmapRender& other) {
    m_RenderFlags = other.m_RenderFlags;
    std::memcpy(m_ClearColor, other.m_ClearColor, sizeof m_ClearColor);
}

void CPlugBitmapRender::OnAfterLoad() {
    for (VisibilityFilter* filter : {&m_ItemFilter, &m_ShadowFilter}) {
        filter->Mask |= s_HideAlwaysBit;
        filter->Ref &= u16(~s_HideAlwaysBit);
    }
    m_RenderFlags &= ~s_LoadClearedBit;
    Super::OnAfterLoad();
}

u16* CPlugBitmapRender::FilterWord(u32 memberId, u32* bit) {
    if (memberId < s_FirstFilterMemberId || memberId >= mCustomFog)
        return nullptr;
    const u32 n = memberId - s_FirstFilterMemberId;
    *bit = n % s_CategoryCount;
    switch (n / s_CategoryCount) {
        case 0:
            return &m_ItemFilter.Mask;
        case 1:
            return &m_ItemFilter.Ref;
        case 2:
            return &m_ShadowFilter.Mask;
        default:
            return &m_ShadowFilter.Ref;
    }
}

u32 CPlugBitmapRender::GetOwnMember(CMwMemberInfo& member, CMwMemberPath* path,
                                    CMwParamValue* out) {
    u32 bit = 0;
    if (const u16* word = FilterWord(member.MemberId, &bit))
        return MwAnswerValue(out, u32((*word >> bit) & 1));
    if (const MwOwnAnswer bits = GetBits(kRenderFlags, &m_RenderFlags, member.MemberId, out))
        return *bits;
    switch (member.MemberId) {
        case mClearRGB:
            return AnswerStruct(member, path, out, ByteColor(m_ClearColor));
        case mClearAlpha:
            return MwAnswerValue(out, FromByte(m_ClearColor[3]));
        case mBitmapClear:
            return GetNodMember(m_BitmapClear, path, out);
        default:
            return MwParam_NotFound;
    }
}

u32 CPlugBitmapRender::SetOwnMember(CMwMemberInfo& member, CMwMemberPath* path, const void* value) {
    if (member.MemberId == mBitmapClear) {
        if (path->HasCurrent())
            return m_BitmapClear ? m_BitmapClear->SetParam(path, value) : u32(MwParam_NotFound);
        auto* nod = static_cast<CMwNod*>(const_cast<void*>(value));
        if (nod && !nod->IsKindOf(CPlugBitmap::s_ClassId))
            return MwParam_NotFound;
        SetBitmapClear(static_cast<CPlugBitmap*>(nod), m_BitmapClearUV);
        ClearOwnerDone();
        return MwParam_Ok;
    }
    if (!value)
        return MwParam_NotFound;
    u32 bit = 0;
    if (u16* word = FilterWord(member.MemberId, &bit)) {
        *word = ReadU32(value) != 0 ? u16(*word | (1u << bit)) : u16(*word & ~(1u << bit));
        return MwParam_Ok;
    }
    if (const MwBitField* field = kRenderFlags.Find(member.MemberId)) {
        u32 v = ReadU32(value);
        if (field->Rule == kRuleClearMode)
            v = std::min(v, 15u) & 7;
        MwSetBitField(&m_RenderFlags, *field, v);
        return MwParam_Ok;
    }
    u32 result = MwParam_NotFound;
    switch (member.MemberId) {
        case mClearRGB:
        case mClearAlpha:
            result = member.MemberId == mClearRGB
                         ? SetByteColor(member, path, value, m_ClearColor)
                         : SetByteReal(member, path, value, &m_ClearColor[3]);
            if (result == MwParam_Ok && m_OwnerBitmap)
                m_OwnerBitmap->SetDirty(true);
            break;
        case mBitmapClearUV: {
            Vec2 uv = m_BitmapClearUV;
            result = member.Param->Set(&uv, path, value);
            if (result == MwParam_Ok)
                SetBitmapClear(m_BitmapClear, uv);
            break;
        }
        default:
            return MwParam_NotFound;
    }
    if (result == MwParam_Ok)
        ClearOwnerDone();
    return result;
}

u32 CPlugBitmapRender::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId < mTriggerRender || member.MemberId >= mRenderEnd)
            return MwNotOwnMember;
        return GetOwnMember(member, path, out);
    });
}

u32 CPlugBitmapRender::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId < mTriggerRender || member.MemberId >= mRenderEnd)
            return MwNotOwnMember;
        return SetOwnMember(member, path, value);
    });
}

void CPlugBitmapRender::ConvertOldFlagsFirst(u32 old) {
    m_RenderFlags = (old & 0xEFC03FFF) | 0x28000780;
    m_ItemFilter.Mask = u16((old >> 7) & 0xFF);
    m_ItemFilter.Ref = u16((old >> 15) & 0xFF);
}

void CPlugBitmapRender::ConvertOldFlagsLater(u32 old) {
    const u32 trigger = (old & 1) ? 2 : (old >> 1) & 1;
    const u32 blur = (old >> 15) & 0xFF;
    m_RenderFlags = trigger | (old & 0x00003FFC) | (blur << 14) | (old & 0xFF800000);
}

void CPlugBitmapRender::ArchiveClearSettings(CClassicArchive& archive, u32 chunkId) {
    u32 colour = Pack(m_ClearColor);
    archive.SerializeUIntsHex(&colour, 1);
    u8 raw[4];
    for (u32 i = 0; i < 4; ++i)
        raw[i] = u8(m_RenderFlags >> (8 * i));
    archive.SerializeRaw(raw, 4);
    if (!archive.m_Writing) {
        Unpack(colour, m_ClearColor);
        const u32 word = u32(raw[0]) | u32(raw[1]) << 8 | u32(raw[2]) << 16 | u32(raw[3]) << 24;
        if (chunkId == 0x0908600B)
            m_RenderFlags = word;
        else if (chunkId <= 0x09086001)
            ConvertOldFlagsFirst(word);
        else
            ConvertOldFlagsLater(word);
    }
    if (chunkId == 0x09086000)
        return;
    CMwNod* clear = m_BitmapClear;
    if (archive.m_Writing)
        archive.ArchiveNodRef(clear);
    else
        archive.ArchiveHeldNodRef(clear);
    if (clear && !clear->IsKindOf(CPlugBitmap::s_ClassId)) {
        ClassicLogFormatLine("CPlugBitmapRender: chunk 0x%08X not read: its clear bitmap is a "
                             "nod of class 0x%08X",
                             chunkId, clear->GetClassId());
        throw CClassicBufferException(kClassicBufferErrorBadData, u"Bad render clear bitmap");
    }
    Vec2 uv = m_BitmapClearUV;
    archive.SerializeFloats(&uv.x, 1);
    archive.SerializeFloats(&uv.y, 1);
    if (!archive.m_Writing)
        SetBitmapClear(static_cast<CPlugBitmap*>(clear), uv);
}

void CPlugBitmapRender::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    switch (chunkId) {
        case 0x09086002:
        case 0x09086003: {
            u16 words[4] = {m_ItemFilter.Mask, m_ItemFilter.Ref, m_ShadowFilter.Mask,
                            m_ShadowFilter.Ref};
            u16* stored = chunkId == 0x09086003 ? words : words + 2;
            const u32 count = chunkId == 0x09086003 ? 4 : 2;
            archive.SerializeShorts(stored, count);
            if (!archive.m_Writing) {
                m_ItemFilter = {words[0], words[1]};
                m_ShadowFilter = {words[2], words[3]};
            }
            break;
        }
        case 0x09086008: {
            u32 paths[2] = {m_RenderPath, m_RenderPathFails};
            archive.SerializeUInts(paths, 2);
            m_RenderPath = paths[0];
            m_RenderPathFails = paths[1];
            break;
        }
        case 0x0908600A:
            archive.SerializeFloats(&m_FogCustomFarZ, 1);
            break;
        case 0x09086000:
        case 0x09086001:
        case 0x09086009:
        case 0x0908600B:
            ArchiveClearSettings(archive, chunkId);
            break;
        case 0x09086004:
        case 0x09086005:
        case 0x09086006:
        case 0x09086007: {
            ArchiveClearSettings(archive, chunkId);
            static constexpr u32 kOr[] = {0x28000780, 0x20000780, 0x20000000};
            if (chunkId == 0x09086007)
                m_RenderFlags |= 0x20000000;
            else
                m_RenderFlags = (m_RenderFlags & 0xEFC03FFF) | kOr[chunkId - 0x09086004];
            break;
        }
        default:
            Super::ArchiveChunk(archive, chunkId);
    }
}

// ---------------------------------------------------------------------------------------------
// Water

CPlugBitmapRenderWater::CPlugBitmapRenderWater() {
    // A perspective pyramid of 60 degrees each way.
    const f32 slope = std::tan(30.0f * GmPi / 180.0f);
    m_Frustum.ortho = GmFrustum::kPerspective;
    m_Frustum.minX = m_Frustum.minY = -slope;
    m_Frustum.maxX = m_Frustum.maxY = slope;
    m_Frustum.zNear = 0.5f;
    m_Frustum.zFar = 1000.0f;
}

u32 CPlugBitmapRenderWater::GetFlagMember(u32 memberId) const {
    const MwBitField* field = kWaterFlags.Find(memberId);
    return field ? MwGetBitField(&m_WaterFlags, *field) : 0;
}

u32 CPlugBitmapRenderWater::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        return GetBits(kWaterFlags, &m_WaterFlags, member.MemberId, out);
    });
}

u32 CPlugBitmapRenderWater::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        const MwBitField* field = kWaterFlags.Find(member.MemberId);
        if (!field)
            return MwNotOwnMember;
        if (!value)
            return MwParam_NotFound;
        MwSetBitField(&m_WaterFlags, *field, ReadU32(value));
        return MwParam_Ok;
    });
}

void CPlugBitmapRenderWater::ArchiveVolume(CClassicArchive& archive) {
    archive.SerializeUInts(&m_Frustum.ortho, 1);
    f32 values[6] = {m_Frustum.minX, m_Frustum.minY, m_Frustum.zNear,
                     m_Frustum.maxX, m_Frustum.maxY, m_Frustum.zFar};
    // A perspective volume goes as its raw bytes, a box as six floats.
    if (m_Frustum.ortho == GmFrustum::kPerspective)
        archive.SerializeRaw(values, sizeof values);
    else
        archive.SerializeFloats(values, 6);
    m_Frustum.minX = values[0];
    m_Frustum.minY = values[1];
    m_Frustum.zNear = values[2];
    m_Frustum.maxX = values[3];
    m_Frustum.maxY = values[4];
    m_Frustum.zFar = values[5];
    const Mat3& r = m_Location.R;
    f32 location[12] = {r.m00, r.m01, r.m02, r.m10,          r.m11,          r.m12,
                        r.m20, r.m21, r.m22, m_Location.t.x, m_Location.t.y, m_Location.t.z};
    archive.SerializeFloats(location, 12);
    m_Location.R = {location[0], location[1], location[2], location[3], location[4],
                    location[5], location[6], location[7], location[8]};
    m_Location.t = {location[9], location[10], location[11]};
}

void CPlugBitmapRenderWater::ReadOldForm(CClassicArchive& archive, u32 chunkId) {
    ArchiveVolume(archive);
    const auto readBit = [&](u32 memberId) {
        u32 on = 0;
        archive.ReadBools(&on, 1);
        MwSetBitField(&m_WaterFlags, *kWaterFlags.Find(memberId), on != 0);
    };
    readBit(mWaterType);
    m_WaterFlags |= 1;
    if (chunkId >= 0x09087001) {
        readBit(mUseClipPlane);
        archive.ReadFloats(&m_ClipPlaneHeight, 1);
        readBit(mUseFMargin);
        archive.ReadFloats(&m_FrustrumMargin, 1);
    }
    if (chunkId >= 0x09087002)
        readBit(mMirrorGeom);
    if (chunkId >= 0x09087003)
        archive.ReadFloats(&m_MirrorScaleY, 1);
    if (chunkId >= 0x09087004)
        readBit(mRndLDirSpecInA);
}

void CPlugBitmapRenderWater::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    switch (chunkId) {
        case 0x09087005: {
            ArchiveVolume(archive);
            u8 raw[4];
            for (u32 i = 0; i < 4; ++i)
                raw[i] = u8(m_WaterFlags >> (8 * i));
            archive.SerializeRaw(raw, 4);
            m_WaterFlags = u32(raw[0]) | u32(raw[1]) << 8 | u32(raw[2]) << 16 | u32(raw[3]) << 24;
            archive.SerializeFloats(&m_ClipPlaneHeight, 1);
            archive.SerializeFloats(&m_FrustrumMargin, 1);
            archive.SerializeFloats(&m_MirrorScaleY, 1);
            break;
        }
        case 0x09087006:
            archive.SerializeFloats(&m_FogMaxDepth, 1);
            break;
        case 0x09087000:
        case 0x09087001:
        case 0x09087002:
        case 0x09087003:
        case 0x09087004:
            if (!archive.m_Writing)
                ReadOldForm(archive, chunkId);
            break;
        default:
            Super::ArchiveChunk(archive, chunkId);
    }
}

// ---------------------------------------------------------------------------------------------
// Cube map

void CPlugBitmapRenderCubeMap::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    switch (chunkId) {
        case 0x09088000:
            archive.SerializeUInts(&m_DirtyFaceCount, 1);
            archive.SerializeFloats(&m_NearZ, 1);
            archive.SerializeFloats(&m_FarZ, 1);
            break;
        default:
            Super::ArchiveChunk(archive, chunkId);
    }
}
