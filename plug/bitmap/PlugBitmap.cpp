#include "plug/bitmap/PlugBitmap.h"

#include "core/base/ClassicLog.h"
#include "core/nod/MwBitFieldMember.h"
#include "core/nod/MwParam.h"
#include "core/nod/MwVirtualMember.h"
#include "plug/bitmap/PlugBitmapMembers.h"
#include "plug/bitmap/PlugBitmapRender.h"
#include "plug/bitmap/PlugBitmapShader.h"
#include "plug/bitmap/PlugByteColor.h"
#include "plug/bitmap/PlugFileImg.h"
#include "plug/bitmap/PlugFileVideo.h"
#include "plug/shader/PlugShader.h"
#include "system/archive/SystemArchive.h"
#include "system/fid/SystemFidFile.h"

#include <cinttypes>
#include <cmath>
#include <cstring>
#include <limits>

CPlugBitmapListener* g_PlugBitmapListener = nullptr;

using namespace plugbitmap;

namespace {

// What a write of a flag-word member does after storing the bits.
enum EFlagRule : u32 {
    kRuleStored,       // nothing more
    kRuleDirty,        // the dirty flag
    kRuleDirtyAndDrop, // the dirty flag, then DropPreparedPixels
    kRuleUsage,        // goes through SetUsage instead of storing
    kRuleLowerAlpha,   // IsMipMapLowerAlphaEnable's own rule
};

constexpr auto kFlagMembers = MwBitFieldTable<CPlugBitmap::s_ClassId, 3>({
    // member id, word, first bit, width, largest value, change rule
    {mUsage, 0, 0, 8, CPlugBitmap::UsageCount - 1, kRuleUsage},
    {mNormalAreSigned, 1, 30, 1, 1, kRuleDirtyAndDrop},
    {mNormalCanBeSigned, 1, 29, 1, 1, kRuleDirtyAndDrop},
    {mWantedColorDepth, 0, 16, 2, 3, kRuleDirty},
    {mIsOneBitAlpha, 0, 21, 1, 1, kRuleDirtyAndDrop},
    {mIgnoreImageAlpha01, 1, 1, 1, 1, kRuleDirtyAndDrop},
    {mShadowCasterIgnoreAlpha, 1, 2, 1, 1, kRuleDirtyAndDrop},
    {mIsNonPow2Conditional, 0, 31, 1, 1, kRuleStored},
    {mIsCubeMap, 0, 19, 1, 1, kRuleStored},
    {mCubeMapAuto2dFace, 1, 14, 3, 6, kRuleDirty},
    {mTexFilter, 1, 21, 2, 3, kRuleStored},
    {mTexAddressU, 0, 25, 2, 3, kRuleDirty},
    {mTexAddressV, 0, 27, 2, 3, kRuleDirty},
    {mTexAddressW, 2, 8, 2, 3, kRuleDirty},
    {mForce1stPixelAlpha0, 1, 3, 1, 1, kRuleDirtyAndDrop},
    {mForceBorderRGB, 1, 19, 1, 1, kRuleDirtyAndDrop},
    {mForceBorderAlpha, 1, 20, 1, 1, kRuleDirtyAndDrop},
    {mWantMipMapping, 0, 20, 1, 1, kRuleDirtyAndDrop},
    {mIsMipMapLowerAlphaEnable, 0, 29, 1, 1, kRuleLowerAlpha},
    {mCanBeDeletedFromSystemMemory, 0, 22, 1, 1, kRuleDirtyAndDrop},
    {mRenderTexelsMustPersist, 1, 31, 1, 1, kRuleDirtyAndDrop},
    {mCanBeCompressedInVideoMemory, 0, 23, 1, 1, kRuleDirtyAndDrop},
    {mCompressInterpolatedAlpha, 0, 24, 1, 1, kRuleDirtyAndDrop},
    {mCompressSkipDXT1, 1, 24, 1, 1, kRuleDirtyAndDrop},
    {mBumpCompressMode, 1, 12, 2, 2, kRuleDirty},
    {mNormalRotate, 2, 0, 4, 15, kRuleDirty},
    {mMipLevelSkipFromQuality, 1, 0, 1, 1, kRuleDirtyAndDrop},
    {mMipLevelSkipCountMax, 1, 25, 4, 15, kRuleDirty},
    {mRenderRequireBlending, 1, 18, 1, 1, kRuleDirtyAndDrop},
    {mMultiSampleCount, 2, 4, 4, 15, kRuleDirty},
});

constexpr const char* kUsageNames[] = {"Color",           "Light",
                                       "Height2DuDv",     "Render",
                                       "Height2DuDvLumi", "Height2NxNyNz",
                                       "Height2NxNy",     "Depth",
                                       "DispH01",         "Height2NormPal8b",
                                       "NxNyNz",          "NxNy",
                                       "NormPal8b",       "NormPal16b",
                                       "ColorFloat",      "RenderFloat",
                                       "Height2DuDv1",    "Alpha",
                                       "LightAlpha",      "Height2RxG0BzAy",
                                       "NormRxG0BzAy",    "TexCoord",
                                       "Render16b",       "Vertex",
                                       "Height2BumpTxTy", "BumpTxTy",
                                       "Height2R0GyBzAx", "NormR0GyBzAx"};
static_assert(sizeof kUsageNames / sizeof kUsageNames[0] == CPlugBitmap::UsageCount);
constexpr const char* kColorDepthNames[] = {"DefaultColorDepth", "Color16b", "Color32b"};
constexpr const char* kCubeFaceNames[] = {"None", "XPos", "XNeg", "YPos", "YNeg", "ZPos", "ZNeg"};
constexpr const char* kTexFilterNames[] = {"Point", "Bilinear", "Trilinear", "Anisotropic"};
constexpr const char* kTexAddressNames[] = {"Wrap", "Mirror", "Clamp", "MirrorOnce"};
constexpr const char* kCompressModeNames[] = {"None(32b)", "Pal8b", "DXT1(4b)", "Pal16b"};
constexpr const char* kNormalRotateNames[] = {"None", "+x +z -y"};
constexpr const char* kRenderModeNames[] = {"None", "Render", "Shader", "DynaSpecular", "Clear"};
constexpr const char* kXyNames[] = {"x", "y"};

} // namespace

// Flag-word members are rows without field answered from kFlagMembers; MipMapLowerAlpha and the
// bump reals are read from their fields and written through the class (they raise the dirty
// flag).
#define CPLUGBITMAP_MEMBERS(X)                                                                     \
    X(Enum, 0x09011000, "Usage", MW_VIRTUAL(""), "Usage", 0x33, 0x380, "", kUsageNames)            \
    X(Bool, 0x09011001, "NormalAreSigned", MW_VIRTUAL(""), "NormalAreSigned", 0x33, 0x380)         \
    X(Bool, 0x09011002, "NormalCanBeSigned", MW_VIRTUAL(""), "NormalCanBeSigned", 0x33, 0x380)     \
    X(Enum, 0x09011003, "WantedColorDepth", MW_VIRTUAL(""), "ColorDepth", 0x33, 0x380, "",         \
      kColorDepthNames)                                                                            \
    X(Bool, 0x09011004, "IsOneBitAlpha", MW_VIRTUAL(""), "OneBitAlpha", 0x33, 0x380)               \
    X(Bool, 0x09011005, "IgnoreImageAlpha01", MW_VIRTUAL(""), "IgnoreImageAlpha01", 0x33, 0x380)   \
    X(Bool, 0x09011006, "ShadowCasterIgnoreAlpha", MW_VIRTUAL(""), "ShadowCasterIgnoreAlpha",      \
      0x33, 0x380)                                                                                 \
    X(Bool, 0x09011007, "IsNonPow2Conditional", MW_VIRTUAL(""), "IsNonPow2Cond", 0x11, 0x380)      \
    X(Bool, 0x09011008, "IsCubeMap", MW_VIRTUAL(""), "CubeMap", 0x11, 0x380)                       \
    X(Enum, 0x09011009, "CubeMapAuto2dFace", MW_VIRTUAL(""), "CubeMap Auto2dFace", 0x33, 0x380,    \
      "", kCubeFaceNames)                                                                          \
    X(Enum, 0x0901100A, "TexFilter", MW_VIRTUAL(""), "Filtering", 0x33, 0x380, "",                 \
      kTexFilterNames)                                                                             \
    X(Enum, 0x0901100B, "TexAddressU", MW_VIRTUAL(""), "AddressU", 0x33, 0x380, "",                \
      kTexAddressNames)                                                                            \
    X(Enum, 0x0901100C, "TexAddressV", MW_VIRTUAL(""), "AddressV", 0x33, 0x380, "",                \
      kTexAddressNames)                                                                            \
    X(Enum, 0x0901100D, "TexAddressW", MW_VIRTUAL(""), "AddressW", 0x33, 0x380, "",                \
      kTexAddressNames)                                                                            \
    X(Real, 0x0901100E, "MipMapLodBiasDefault", MW_FIELD(m_DefaultMipMapLodBias), "MipMapLodBias", \
      0x03, 0x380)                                                                                 \
    X(Vec2, 0x0901100F, "DefaultTexCoordScale", MW_FIELD(m_DefaultTexCoordScale), "TexCoordScale", \
      0x03, 0x380, kXyNames)                                                                       \
    X(Vec2, 0x09011010, "DefaultTexCoordTrans", MW_FIELD(m_DefaultTexCoordTrans), "TexCoordTrans", \
      0x03, 0x380, kXyNames)                                                                       \
    X(RealRange, 0x09011011, "DefaultTexCoordRotate", MW_FIELD(m_DefaultTexCoordRotate),           \
      "TexCoordRotate", 0x03, 0x380, 0.0f, 360.0f)                                                 \
    X(Array, 0x09011012, "AtlasCountUs", MW_VIRTUAL(""), "Atlas CountUs", 0x33, 0x380,             \
      MwType_Natural, 0x3, "CountU")                                                               \
    X(Array, 0x09011013, "AtlasCountVs", MW_VIRTUAL(""), "Atlas CountVs", 0x33, 0x380,             \
      MwType_Natural, 0x3, "CountV")                                                               \
    X(Array, 0x09011014, "AtlasSubCountIs", MW_VIRTUAL(""), "AtlasSubCountIs", 0x11, 0x380,        \
      MwType_String, 0x1, "SubCount")                                                              \
    X(Array, 0x09011015, "AtlasSubIndexUs", MW_VIRTUAL(""), "AtlasSubIndexUs", 0x11, 0x380,        \
      MwType_Natural, 0x1, "SubIndexU")                                                            \
    X(Array, 0x09011016, "AtlasSubIndexVs", MW_VIRTUAL(""), "AtlasSubIndexVs", 0x11, 0x380,        \
      MwType_Natural, 0x1, "SubIndexV")                                                            \
    X(Bool, 0x09011017, "Force1stPixelAlpha0", MW_VIRTUAL(""), "Pixel(0,0).a=0", 0x33, 0x380)      \
    X(Bool, 0x09011018, "ForceBorderRGB", MW_VIRTUAL(""), "Border RGB", 0x33, 0x380)               \
    X(Color, 0x09011019, "BorderRGB", MW_VIRTUAL(""), "Border RGB", 0x33, 0x380)                   \
    X(Bool, 0x0901101A, "ForceBorderAlpha", MW_VIRTUAL(""), "Border Alpha", 0x33, 0x380)           \
    X(RealRange, 0x0901101B, "BorderAlpha", MW_VIRTUAL(""), "Border Alpha", 0x33, 0x380, 0.0f,     \
      1.0f)                                                                                        \
    X(Bool, 0x0901101C, "WantMipMapping", MW_VIRTUAL(""), "MipMapping", 0x33, 0x380)               \
    X(Bool, 0x0901101D, "IsMipMapLowerAlphaEnable", MW_VIRTUAL(""), "MipLowerAlpha", 0x33, 0x380)  \
    X(RealRange, 0x0901101E, "MipMapLowerAlpha", MW_FIELD(m_MipMapLowerAlpha), "MipLowerAlpha",    \
      0x21, 0x380, 0.0f, 1.0f)                                                                     \
    X(Array, 0x0901101F, "MipMapFadeAlphas", MW_FIELD(m_MipMapFadeAlphas), "MipFadeAlphas", 0x0F,  \
      0x380, MwType_Real, 0x3, "FadeAlpha")                                                        \
    X(Bool, 0x09011020, "CanBeDeletedFromSystemMemory", MW_VIRTUAL(""), "DeleteSytemMem", 0x33,    \
      0x380)                                                                                       \
    X(Bool, 0x09011021, "RenderTexelsMustPersist", MW_VIRTUAL(""), "RndTexelsPersist", 0x33,       \
      0x380)                                                                                       \
    X(Bool, 0x09011022, "CanBeCompressedInVideoMemory", MW_VIRTUAL(""), "CompressInVideo", 0x33,   \
      0x380)                                                                                       \
    X(Bool, 0x09011023, "CompressInterpolatedAlpha", MW_VIRTUAL(""), "CompInterAlpha", 0x33,       \
      0x380)                                                                                       \
    X(Bool, 0x09011024, "CompressSkipDXT1", MW_VIRTUAL(""), "CompSkipDXT1", 0x33, 0x380)           \
    X(Enum, 0x09011025, "BumpCompressMode", MW_VIRTUAL(""), "BumpCompress", 0x33, 0x380, "",       \
      kCompressModeNames)                                                                          \
    X(Real, 0x09011026, "BumpScaleFactor", MW_FIELD(m_BumpScaleFactor), "BumpScaleFactor", 0x21,   \
      0x380)                                                                                       \
    X(Real, 0x09011027, "BumpScaleMipLevel", MW_FIELD(m_BumpScaleMipLevel), "BumpScaleMipLvl",     \
      0x21, 0x380)                                                                                 \
    X(Enum, 0x09011028, "NormalRotate", MW_VIRTUAL(""), "NormalRotate", 0x33, 0x380, "",           \
      kNormalRotateNames)                                                                          \
    X(Class, 0x09011029, "Image", MW_VIRTUAL("m_Image"), "Image", 0xF3, 0x3FA0,                    \
      &CPlugFileImg::s_ClassInfo, 1)                                                               \
    X(Bool, 0x0901102A, "MipLevelSkipFromQuality", MW_VIRTUAL(""), "SkipMipWhenLoading", 0x33,     \
      0x380)                                                                                       \
    X(Natural, 0x0901102B, "MipLevelSkipCountMax", MW_VIRTUAL(""), "MaxMipSkipCnt", 0x33, 0x380)   \
    X(Bool, 0x0901102C, "RenderRequireBlending", MW_VIRTUAL(""), "RT BlendOps", 0x33, 0x380)       \
    X(Natural, 0x0901102D, "MultiSampleCount", MW_VIRTUAL(""), "RT MultiSample", 0x33, 0x380)      \
    X(Enum, 0x0901102E, "PixelUpdate", MW_VIRTUAL(""), "Pixel Update", 0x33, 0x380, "",            \
      kRenderModeNames)                                                                            \
    X(Color, 0x0901102F, "SpecularRGB", MW_VIRTUAL(""), "SpecularRGB", 0x33, 0x380)                \
    X(RealRange, 0x09011030, "SpecularExp", MW_VIRTUAL(""), "SpecularExp", 0x33, 0x380, 1.0f,      \
      50.0f)                                                                                       \
    X(Color, 0x09011031, "ClearRGB", MW_VIRTUAL(""), "Clear RGB", 0x33, 0x380)                     \
    X(RealRange, 0x09011032, "ClearAlpha", MW_VIRTUAL(""), "Clear Alpha", 0x33, 0x380, 0.0f, 1.0f) \
    X(Class, 0x09011033, "Render", MW_VIRTUAL(""), "Render->Bitmap", 0xF3, 0x3FA0,                 \
      &CPlug::s_ClassInfo, 1)                                                                      \
    X(Class, 0x09011034, "Shader", MW_VIRTUAL(""), "Shader->Bitmap", 0xF3, 0x3FA0,                 \
      &CPlug::s_ClassInfo, 1)

MW_DEFINE_CLASS(CPlugBitmap, MwFactory<CPlugBitmap>, CPLUGBITMAP_MEMBERS, MW_NO_CHUNKS);

namespace {

using namespace plug_bytes;

u32 ReadU32(const void* value) {
    u32 v = 0;
    std::memcpy(&v, value, sizeof v);
    return v;
}

// a / side, 0 for a zero side.
f32 Ratio(f32 a, u32 side) {
    return side ? a / f32(side) : 0.0f;
}

bool IsPowerOfTwo(u32 value) {
    return value != 0 && (value & (value - 1)) == 0;
}

bool IsOwnMember(u32 memberId) {
    return memberId >= mUsage && memberId < mEnd;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Dynamic specular regions

DynaSpecularRegion& DynaSpecularRegionList::Add() {
    DynaSpecularRegion region;
    region.First = m_DefaultFirst;
    const DynaSpecularRegion* block = m_Items.m_Items;
    m_Items.Add(region);
    // A cursor into a block that moved would point at freed memory.
    if (m_Items.m_Items != block)
        ResetCursor();
    return m_Items.m_Items[m_Items.m_Count - 1];
}

void DynaSpecularRegionList::Shrink(u32 n) {
    if (n >= m_Items.m_Count)
        return;
    m_Items.m_Count = n;
    ResetCursor();
}

void DynaSpecularRegionList::ResetCursor() {
    m_Cursor = {nullptr, -1, m_Items.m_Count ? m_Items.m_Items : nullptr};
}

// ---------------------------------------------------------------------------------------------
// Life

CPlugBitmap::CPlugBitmap() = default;

CPlugBitmap::~CPlugBitmap() {
    if (m_Image) {
        if (m_Image->m_Owner == this)
            m_Image->m_Owner = nullptr;
        if (m_Image->IsKindOf(CPlugFileVideo::s_ClassId))
            static_cast<CPlugFileVideo*>(m_Image)->UnbindBitmap(this);
    }
    // Kind 0 without the dirty flag: no listener hears of a bitmap that is going.
    FreePayload();
    m_Flags[0] &= ~(s_KindMask << s_KindShift);
    SetSwapPartner(nullptr, false);
    m_MipMapFadeAlphas.SetCount(0);
    if (CPlugFileImg* image = m_Image) {
        m_Image = nullptr;
        image->Release();
    }
    m_AtlasSubEntries.FreeItems();
    m_AtlasEntries.FreeItems();
}

void CPlugBitmap::OnDependencyDestroyed(CMwNod* nod) {
    if (nod && nod == m_SwapPartner) {
        m_SwapPartner = nullptr;
        m_Flags[1] &= ~s_SwapPartnerBit;
        return;
    }
    Super::OnDependencyDestroyed(nod);
}

void CPlugBitmap::OnDependencyReleased(CMwNod* nod) {
    if (nod && nod == m_SwapPartner) {
        m_SwapPartner = nullptr;
        m_Flags[1] &= ~s_SwapPartnerBit;
        nod->RemoveDependantAndRelease(this);
        return;
    }
    Super::OnDependencyReleased(nod);
}

void CPlugBitmap::OnFileReloaded(u32, CMwNod* fid) {
    if (!fid || !fid->IsKindOf(CSystemFidFile::s_ClassId))
        return;
    CClassicWideString name;
    static_cast<CSystemFidFile*>(fid)->GetFullFileName(name);
    CSystemArchive archive;
    CMwNod* nod = nullptr;
    archive.LoadNodFromFile(name, &nod, nullptr, 7, true);
    if (!nod || !nod->IsKindOf(CPlugFileImg::s_ClassId))
        return;
    auto* image = static_cast<CPlugFileImg*>(nod);
    if (image != m_Image) {
        SetImage(image);
        return;
    }
    // The image is prepared again from its reloaded pixels.
    if (image->IsLoaded())
        image->FreePixels();
    PrepareImage();
}

// ---------------------------------------------------------------------------------------------
// Flags

u32 CPlugBitmap::GetFlagMember(u32 memberId) const {
    const MwBitField* field = kFlagMembers.Find(memberId);
    return field ? MwGetBitField(m_Flags, *field) : 0;
}

void CPlugBitmap::SetFlagMember(u32 memberId, u32 value) {
    if (const MwBitField* field = kFlagMembers.Find(memberId))
        MwSetBitField(m_Flags, *field, value);
}

void CPlugBitmap::SetDirty(bool dirty) {
    if (IsDirty() == dirty)
        return;
    if (!dirty) {
        m_Flags[0] &= ~s_DirtyBit;
        return;
    }
    m_Flags[0] |= s_DirtyBit;
    if (g_PlugBitmapListener)
        g_PlugBitmapListener->OnBitmapDirty(this);
}

void CPlugBitmap::DropPreparedPixels() {
    if (m_Image && m_Image->IsLoaded() && GetFlag(mCanBeDeletedFromSystemMemory))
        m_Image->FreePixels();
}

void CPlugBitmap::SetWantMipMapping(bool on) {
    if (GetFlag(mWantMipMapping) == on)
        return;
    SetFlagMember(mWantMipMapping, on);
    SetDirty(true);
}

void CPlugBitmap::SetTexAddress(u32 u, u32 v, u32 w) {
    if (GetFlagMember(mTexAddressU) == u && GetFlagMember(mTexAddressV) == v &&
        GetFlagMember(mTexAddressW) == w)
        return;
    SetFlagMember(mTexAddressU, u);
    SetFlagMember(mTexAddressV, v);
    SetFlagMember(mTexAddressW, w);
    // The address modes matter only to the mip filter.
    if (GetFlag(mWantMipMapping))
        SetDirty(true);
}

void CPlugBitmap::SetWantedColorDepth(u32 depth) {
    if (GetFlagMember(mWantedColorDepth) == depth)
        return;
    SetFlagMember(mWantedColorDepth, depth);
    SetDirty(true);
}

void CPlugBitmap::SetMipLevelSkipCountMax(u32 n) {
    SetFlagMember(mMipLevelSkipCountMax, n & 15);
    SetDirty(true);
}

// ---------------------------------------------------------------------------------------------
// Image and usage

void CPlugBitmap::SetImage(CPlugFileImg* image) {
    if (!image) {
        ClassicLogFormatLine("CPlugBitmap::SetImage : no image given, the bitmap keeps its own");
        return;
    }
    if (image == m_Image)
        return;
    CPlugFileImg* old = m_Image;
    if (old) {
        if (old->IsKindOf(CPlugFileVideo::s_ClassId))
            SetPixelUpdate(PixelUpdateNone);
        if (old->m_Owner == this)
            old->m_Owner = nullptr;
    }
    image->AddRef();
    m_Image = image;
    if (old)
        old->Release();
    image->m_Owner = this;
    SetDirty(true);
    UpdateFromImage();
    if (image->IsKindOf(CPlugFileVideo::s_ClassId))
        static_cast<CPlugFileVideo*>(image)->BindBitmap(this);
}

bool CPlugBitmap::IsUsageCompatible(u32 usage) {
    const u32 n = m_Image ? m_Image->GetNbComp() : 0;
    switch (usage) {
        case Color:
            return n >= 3;
        case Light:
            return n == 1 || n == 3;
        case Height2DuDv:
        case Height2NxNyNz:
        case Height2NxNy:
        case Depth:
        case DispH01:
        case Height2NormPal8b:
        case Height2DuDv1:
        case Alpha:
        case Height2RxG0BzAy:
        case Height2BumpTxTy:
        case Height2R0GyBzAx:
            return n == 1;
        case Render:
        case Render16b:
            // Told by class id, so that the rule holds for every generated image.
            return m_Image && m_Image->IsKindOf(s_GeneratedImageClassId) && n != 0;
        case Height2DuDvLumi:
        case LightAlpha:
        case TexCoord:
            return n == 2;
        case NxNyNz:
            return n == 3 || n == 4;
        case NxNy:
            return n == 2 || n == 3;
        case ColorFloat:
        case RenderFloat:
            return n == 1 || n == 2 || n == 4;
        case NormRxG0BzAy:
        case NormR0GyBzAx:
            return n == 4;
        case Vertex:
            return true;
        default:
            // NormPal8b, NormPal16b, BumpTxTy and values past the enumeration.
            return false;
    }
}

bool CPlugBitmap::HasRenderUsage() const {
    const u32 usage = GetUsage();
    return usage == Render || usage == RenderFloat || usage == Render16b;
}

bool CPlugBitmap::SetUsage(u32 usage) {
    if (usage == GetUsage())
        return true;
    if (!IsUsageCompatible(usage))
        return false;
    switch (usage) {
        case Height2NormPal8b:
            SetFlagMember(mBumpCompressMode, CompressPal8b);
            break;
        case Height2DuDv:
        case Height2NxNyNz:
        case Height2NxNy:
        case DispH01:
        case Height2DuDv1:
        case Height2RxG0BzAy:
        case Height2BumpTxTy:
        case Height2R0GyBzAx:
            SetFlagMember(mBumpCompressMode, CompressNone);
            break;
        case Render:
        case RenderFloat:
        case Render16b:
            SetWantMipMapping(false);
            break;
        default:
            break;
    }
    SetFlagMember(mUsage, usage);
    if (usage != Render && GetPixelUpdateKind() == PixelUpdateRender)
        SetPixelUpdate(PixelUpdateNone);
    SetDirty(true);
    return true;
}

void CPlugBitmap::UpdateFromImage() {
    CPlugFileImg* image = m_Image;
    if (!image)
        return;
    if (image->IsOneBitAlpha() && !GetFlag(mIsMipMapLowerAlphaEnable) &&
        !GetFlag(mIgnoreImageAlpha01))
        SetFlagMember(mIsOneBitAlpha, 1);
    SetFlagMember(mIsCubeMap, image->GetDimension() == CPlugFileImg::EDimension_Cube);
    if (!GetFlag(mIsCubeMap) || HasRenderUsage()) {
        if (image->IsCompressed() && !image->AreMipMapInSystem())
            SetWantMipMapping(false);
    } else {
        SetWantMipMapping(image->AreMipMapInSystem());
    }
    if (!IsUsageCompatible(GetUsage())) {
        static constexpr u32 kPairs[][2] = {{Height2NxNyNz, NxNyNz},
                                            {Height2NxNy, NxNy},
                                            {Height2RxG0BzAy, NormRxG0BzAy},
                                            {Height2R0GyBzAx, NormR0GyBzAx}};
        bool changed = false;
        for (const auto& pair : kPairs) {
            for (u32 side = 0; side < 2 && !changed; ++side)
                if (GetUsage() == pair[side])
                    changed = SetUsage(pair[1 - side]);
        }
        if (!changed) {
            if (image->IsLoaded()) {
                const u32 n = image->GetNbComp();
                SetUsage(n == 1 ? Light : n == 2 ? LightAlpha : Color);
            } else if (!SetUsage(Render)) {
                SetUsage(Depth);
            }
        }
    }
    SetFlagMember(mIsNonPow2Conditional,
                  !IsPowerOfTwo(image->m_Width) || !IsPowerOfTwo(image->m_Height));
    if (GetUsage() == Depth || GetFlag(mIsNonPow2Conditional))
        SetWantMipMapping(false);
    SetDirty(true);
}

// ---------------------------------------------------------------------------------------------
// Pixel updates

BitmapCopyRegions* CPlugBitmap::GetCopyRegions() {
    auto* held = std::get_if<std::unique_ptr<BitmapCopyRegions>>(&m_Payload);
    return held ? held->get() : nullptr;
}

BitmapBlendRegions* CPlugBitmap::GetBlendRegions() {
    auto* held = std::get_if<std::unique_ptr<BitmapBlendRegions>>(&m_Payload);
    return held ? held->get() : nullptr;
}

BitmapVideoFrames* CPlugBitmap::GetVideoFrames() {
    auto* held = std::get_if<std::unique_ptr<BitmapVideoFrames>>(&m_Payload);
    return held ? held->get() : nullptr;
}

DynaSpecularRegionList* CPlugBitmap::GetDynaSpecularRegions() {
    auto* held = std::get_if<std::unique_ptr<DynaSpecularRegionList>>(&m_Payload);
    return held ? held->get() : nullptr;
}

CPlugBitmapRender* CPlugBitmap::GetRender() {
    auto* held = std::get_if<CPlugBitmapRender*>(&m_Payload);
    return held ? *held : nullptr;
}

CPlugBitmapShader* CPlugBitmap::GetShaderPayload() {
    auto* held = std::get_if<CPlugBitmapShader*>(&m_Payload);
    return held ? *held : nullptr;
}

u32* CPlugBitmap::GetClearColor() {
    return std::get_if<u32>(&m_Payload);
}

void CPlugBitmap::ForgetVideo(CPlugFileVideo* video) {
    BitmapVideoFrames* frames = GetVideoFrames();
    if (!frames || !video || frames->Video != video)
        return;
    frames->Video = nullptr;
    for (BitmapFrameCallback& callback : frames->Callbacks)
        callback = {};
}

void CPlugBitmap::FreePayload() {
    if (BitmapVideoFrames* frames = GetVideoFrames())
        if (frames->Video)
            frames->Video->UnbindBitmap(this);
    // A render or shader payload may be held elsewhere too: it forgets this bitmap before its
    // reference goes, so that it never calls into a bitmap that is gone.
    CMwNod* released = nullptr;
    if (CPlugBitmapRender* render = GetRender()) {
        if (render->GetOwnerBitmap() == this)
            render->SetOwnerBitmap(nullptr);
        released = render;
    } else if (CPlugBitmapShader* shader = GetShaderPayload()) {
        if (shader->GetContainer() == this)
            shader->SetContainer(nullptr);
        released = shader;
    }
    m_Payload = std::monostate();
    if (released)
        released->Release();
}

void CPlugBitmap::MakeDynaSpecular() {
    SetFlagMember(mCanBeDeletedFromSystemMemory, 0);
    auto list = std::make_unique<DynaSpecularRegionList>();
    DynaSpecularRegion& region = list->Add();
    const u32 width = m_Image ? m_Image->m_Width : 0;
    const u32 height = m_Image ? m_Image->m_Height : 0;
    region.X1 = i32(std::min<u32>(width, INT32_MAX));
    region.Y1 = i32(std::min<u32>(height, INT32_MAX));
    region.Transform[0] = Ratio(f32(i64(region.X1) - region.X0 - 1), width);
    region.Transform[3] = Ratio(f32(i64(region.Y1) - region.Y0 - 1), height);
    region.Transform[4] = Ratio(f32(region.X0) + 0.5f, width);
    region.Transform[5] = Ratio(f32(region.Y0) + 0.5f, height);
    region.Color = {1.0f, 1.0f, 1.0f};
    region.Exponent = 25.0f;
    region.Last = std::numeric_limits<f32>::lowest();
    m_Payload = std::move(list);
}

u32 CPlugBitmap::SetPixelUpdate(u32 kind, CMwNod* payload) {
    const u32 current = GetPixelUpdateKind();
    // A render kept, or asked again without a new one, stays with its settings.
    if (kind == current && (kind != PixelUpdateRender || !payload || payload == GetRender()))
        return current;
    if (kind > PixelUpdateClear) {
        ClassicLogFormatLine("CPlugBitmap::SetPixelUpdate : kind %u is not available, the "
                             "bitmap keeps kind %u",
                             kind, current);
        return current;
    }
    if (kind == PixelUpdateRender && payload && !payload->IsKindOf(CPlugBitmapRender::s_ClassId)) {
        ClassicLogFormatLine("CPlugBitmap::SetPixelUpdate : a nod of class 0x%08X is no render, "
                             "the bitmap keeps kind %u",
                             payload->GetClassId(), current);
        return current;
    }
    // The new render is held before the old payload goes: it may be held only through it.
    const CMwNodRef newRender(kind == PixelUpdateRender ? payload : nullptr);
    FreePayload();
    switch (kind) {
        case PixelUpdateCopy:
            m_Payload = std::make_unique<BitmapCopyRegions>();
            break;
        case PixelUpdateBlend:
            m_Payload = std::make_unique<BitmapBlendRegions>();
            break;
        case PixelUpdateVideo:
            m_Payload = std::make_unique<BitmapVideoFrames>();
            break;
        case PixelUpdateRender: {
            auto* render = static_cast<CPlugBitmapRender*>(newRender.Get());
            if (!render) {
                if (GetFlag(mIsCubeMap))
                    render = new CPlugBitmapRenderCubeMap;
                else
                    render = new CPlugBitmapRenderWater;
            }
            render->SetOwnerBitmap(this);
            render->AddRef();
            m_Payload = render;
            break;
        }
        case PixelUpdateShader: {
            auto* shader = new CPlugBitmapShader;
            shader->AddRef();
            shader->SetContainer(this);
            const CMwNodRef apply(new CPlugShaderApply);
            shader->SetShader(static_cast<CPlugShader*>(apply.Get()));
            m_Payload = shader;
            break;
        }
        case PixelUpdateDynaSpecular:
            MakeDynaSpecular();
            break;
        case PixelUpdateClear:
            m_Payload = u32(0);
            break;
        default:
            break;
    }
    m_Flags[0] = (m_Flags[0] & ~(s_KindMask << s_KindShift)) | (kind << s_KindShift);
    if (kind != PixelUpdateNone)
        m_Flags[1] &= ~s_PixelUpdateDoneBit;
    SetDirty(true);
    return kind;
}

bool CPlugBitmap::SetUpdateShader(CMwNod* shader) {
    SetPixelUpdate(PixelUpdateShader);
    if (!shader)
        return false;
    if (!shader->IsKindOf(CPlugShader::s_ClassId)) {
        ClassicLogFormatLine("CPlugBitmap::SetUpdateShader : a nod of class 0x%08X is no shader",
                             shader->GetClassId());
        return false;
    }
    GetShaderPayload()->SetShader(static_cast<CPlugShader*>(shader));
    return true;
}

void CPlugBitmap::SetSwapPartner(CPlugBitmap* partner, bool flag) {
    if (partner == m_SwapPartner && flag == ((m_Flags[1] & s_SwapPartnerBit) != 0))
        return;
    if (m_SwapPartner)
        m_SwapPartner->RemoveDependant(this);
    if (partner)
        partner->AddDependant(this);
    m_SwapPartner = partner;
    m_Flags[1] = flag ? m_Flags[1] | s_SwapPartnerBit : m_Flags[1] & ~s_SwapPartnerBit;
}

// ---------------------------------------------------------------------------------------------
// Members

DynaSpecularRegion* CPlugBitmap::SingleSpecularRegion() {
    DynaSpecularRegionList* list = GetDynaSpecularRegions();
    return list && list->GetCount() == 1 ? &(*list)[0] : nullptr;
}

u32 CPlugBitmap::GetOwnMember(CMwMemberInfo& member, CMwMemberPath* path, CMwParamValue* out) {
    if (const MwBitField* field = kFlagMembers.Find(member.MemberId))
        return MwAnswerValue(out, MwGetBitField(m_Flags, *field));
    switch (member.MemberId) {
        case mAtlasCountUs:
        case mAtlasCountVs:
            m_ListView.SetCount(m_AtlasEntries.m_Count);
            for (u32 i = 0; i < m_AtlasEntries.m_Count; ++i)
                m_ListView[i] = member.MemberId == mAtlasCountUs ? m_AtlasEntries[i].CountU
                                                                 : m_AtlasEntries[i].CountV;
            return member.Param->Get(&m_ListView, path, out);
        case mAtlasSubIndexUs:
        case mAtlasSubIndexVs:
            m_ListView.SetCount(m_AtlasSubEntries.m_Count);
            for (u32 i = 0; i < m_AtlasSubEntries.m_Count; ++i)
                m_ListView[i] = member.MemberId == mAtlasSubIndexUs
                                    ? m_AtlasSubEntries[i].SubIndexU
                                    : m_AtlasSubEntries[i].SubIndexV;
            return member.Param->Get(&m_ListView, path, out);
        case mAtlasSubCountIs:
            m_TextView.SetCount(m_AtlasSubEntries.m_Count);
            for (u32 i = 0; i < m_AtlasSubEntries.m_Count; ++i) {
                const u32 atlas = m_AtlasSubEntries[i].Atlas;
                if (atlas < m_AtlasEntries.m_Count)
                    m_TextView[i].Format("%dx%d", m_AtlasEntries[atlas].CountU,
                                         m_AtlasEntries[atlas].CountV);
                else
                    m_TextView[i].Assign("??");
            }
            return member.Param->Get(&m_TextView, path, out);
        case mBorderRGB:
            return AnswerStruct(member, path, out, ByteColor(m_BorderColor));
        case mBorderAlpha:
            return MwAnswerValue(out, FromByte(m_BorderColor[3]));
        case mImage:
            if (path->HasCurrent())
                return m_Image ? m_Image->GetParam(path, out) : u32(MwParam_NotFound);
            // A nod member's value is the nod itself.
            out->Value = static_cast<CMwNod*>(m_Image);
            return MwParam_Ok;
        case mPixelUpdate: {
            static constexpr u32 kModes[] = {
                0, 0, 0, 0, RenderRender, RenderShader, 0, RenderDynaSpecular, RenderClear};
            const u32 kind = GetPixelUpdateKind();
            return MwAnswerValue(out, kind < 9 ? kModes[kind] : 0u);
        }
        case mSpecularRGB: {
            const DynaSpecularRegion* region = SingleSpecularRegion();
            const GmColorRgb color = region ? region->Color : GmColorRgb();
            // The length item gives the length of the colour.
            MwPathValue item = 0;
            if (path->GetCurrentKind() == MwPathItem_Index && path->GetCurrent(&item) &&
                u32(item) == 0xFFFFFFFFu) {
                path->Consume();
                return MwAnswerValue(
                    out, std::sqrt(color.r * color.r + color.g * color.g + color.b * color.b));
            }
            return AnswerStruct(member, path, out, color);
        }
        case mSpecularExp: {
            const DynaSpecularRegion* region = SingleSpecularRegion();
            return MwAnswerValue(out, region ? region->Exponent : 0.0f);
        }
        case mClearRGB:
        case mClearAlpha: {
            u8 bytes[4] = {};
            if (const u32* packed = GetClearColor())
                Unpack(*packed, bytes);
            if (member.MemberId == mClearAlpha)
                return MwAnswerValue(out, FromByte(bytes[3]));
            return AnswerStruct(member, path, out, ByteColor(bytes));
        }
        case mRender:
        case mShader: {
            CMwNod* nod = PayloadNod(member.MemberId);
            if (path->HasCurrent())
                return nod ? nod->GetParam(path, out) : u32(MwParam_NotFound);
            out->Value = nod;
            return MwParam_Ok;
        }
        default:
            return MwParam_NotFound;
    }
}

CMwNod* CPlugBitmap::PayloadNod(u32 memberId) {
    if (memberId == mRender)
        return GetRender();
    return memberId == mShader ? GetShaderPayload() : nullptr;
}

u32 CPlugBitmap::SetPayloadMember(u32 memberId, CMwMemberPath* path, const void* value) {
    CMwNod* current = PayloadNod(memberId);
    if (!current)
        return MwParam_NotFound;
    if (path->HasCurrent())
        return current->SetParam(path, value);
    auto* nod = static_cast<CMwNod*>(const_cast<void*>(value));
    if (nod == current)
        return MwParam_Ok;
    const u32 classId =
        memberId == mRender ? CPlugBitmapRender::s_ClassId : CPlugBitmapShader::s_ClassId;
    if (!nod || !nod->IsKindOf(classId))
        return MwParam_NotFound;
    if (memberId == mRender) {
        // Only a render of another kind takes the place, with the current settings.
        auto* render = static_cast<CPlugBitmapRender*>(nod);
        const u32 kind = render->GetRenderKind();
        if (kind == 5 || kind == GetRender()->GetRenderKind())
            return MwParam_NotFound;
        render->CopyRenderSettings(*GetRender());
        SetPixelUpdate(PixelUpdateRender, render);
        return MwParam_Ok;
    }
    // The new payload takes its reference before the old one gives its back.
    CPlugBitmapShader* old = GetShaderPayload();
    auto* shader = static_cast<CPlugBitmapShader*>(nod);
    shader->AddRef();
    if (old->GetContainer() == this)
        old->SetContainer(nullptr);
    m_Payload = shader;
    shader->SetContainer(this);
    old->Release();
    SetDirty(true);
    return MwParam_Ok;
}

u32 CPlugBitmap::SetPixelUpdateMember(u32 mode) {
    const u32 kind = GetPixelUpdateKind();
    const bool cube = GetFlag(mIsCubeMap);
    switch (mode) {
        case RenderNone:
            if (kind == PixelUpdateRender || kind == PixelUpdateShader ||
                kind == PixelUpdateDynaSpecular || kind == PixelUpdateClear)
                SetPixelUpdate(PixelUpdateNone);
            break;
        case RenderRender:
            if (HasRenderUsage())
                SetPixelUpdate(PixelUpdateRender);
            break;
        case RenderShader:
            if (HasRenderUsage() && !cube)
                SetPixelUpdate(PixelUpdateShader);
            break;
        case RenderDynaSpecular:
            if (GetUsage() == Color && !cube)
                SetPixelUpdate(PixelUpdateDynaSpecular);
            break;
        case RenderClear:
            if (HasRenderUsage())
                SetPixelUpdate(PixelUpdateClear);
            break;
        default:
            // Values past the enumeration are ignored.
            break;
    }
    return MwParam_Ok;
}

u32 CPlugBitmap::SetImageMember(CMwMemberPath* path, const void* value) {
    if (path->HasCurrent()) {
        if (!m_Image)
            return MwParam_NotFound;
        // The image's ReGenerate reloads it: the usage rules then run again.
        bool regenerate = false;
        if (path->m_Current == 0 && path->GetCurrentKind() == MwPathItem_Member) {
            const auto* next = reinterpret_cast<const CMwMemberInfo*>(path->m_Values[0]);
            regenerate = next && next->MemberId == CPlugFile::s_ReGenerateMemberId;
        }
        const CMwNodRef held(m_Image);
        const u32 result = m_Image->SetParam(path, value);
        if (regenerate && result == MwParam_Ok && held.Get() == m_Image)
            UpdateFromImage();
        return result;
    }
    auto* nod = static_cast<CMwNod*>(const_cast<void*>(value));
    if (nod && !nod->IsKindOf(CPlugFileImg::s_ClassId))
        return MwParam_NotFound;
    SetImage(static_cast<CPlugFileImg*>(nod));
    return nod ? MwParam_Ok : MwParam_NotFound;
}

u32 CPlugBitmap::SetOwnMember(CMwMemberInfo& member, CMwMemberPath* path, const void* value) {
    if (!value && member.MemberId != mImage && member.MemberId != mRender &&
        member.MemberId != mShader)
        return MwParam_NotFound;
    if (const MwBitField* field = kFlagMembers.Find(member.MemberId)) {
        const u32 v = ReadU32(value);
        switch (field->Rule) {
            case kRuleUsage:
                return SetUsage(v) ? MwParam_Ok : MwParam_NotFound;
            case kRuleLowerAlpha:
                MwSetBitField(m_Flags, *field, v);
                if (v == 0 && m_Image && m_Image->IsOneBitAlpha() && !GetFlag(mIgnoreImageAlpha01))
                    SetFlagMember(mIsOneBitAlpha, 1);
                SetDirty(true);
                return MwParam_Ok;
            default:
                MwSetBitField(m_Flags, *field, v);
                if (field->Rule != kRuleStored)
                    SetDirty(true);
                if (field->Rule == kRuleDirtyAndDrop)
                    DropPreparedPixels();
                return MwParam_Ok;
        }
    }
    u32 result = MwParam_NotFound;
    switch (member.MemberId) {
        case mAtlasCountUs:
        case mAtlasCountVs: {
            u32 index = 0;
            if (!path->TakeIndex(&index) || index >= m_AtlasEntries.m_Count)
                return MwParam_NotFound;
            u16& count = member.MemberId == mAtlasCountUs ? m_AtlasEntries[index].CountU
                                                          : m_AtlasEntries[index].CountV;
            count = u16(ReadU32(value));
            return MwParam_Ok;
        }
        case mBorderRGB:
            result = SetByteColor(member, path, value, m_BorderColor);
            break;
        case mBorderAlpha:
            result = SetByteReal(member, path, value, &m_BorderColor[3]);
            break;
        case mMipMapLowerAlpha:
            result = member.Param->Set(&m_MipMapLowerAlpha, path, value);
            break;
        case mBumpScaleFactor:
            result = member.Param->Set(&m_BumpScaleFactor, path, value);
            break;
        case mBumpScaleMipLevel:
            result = member.Param->Set(&m_BumpScaleMipLevel, path, value);
            break;
        case mImage:
            return SetImageMember(path, value);
        case mPixelUpdate:
            return SetPixelUpdateMember(ReadU32(value));
        case mSpecularRGB:
        case mSpecularExp: {
            DynaSpecularRegion* region = SingleSpecularRegion();
            if (!region)
                return MwParam_NotFound;
            if (member.MemberId == mSpecularRGB)
                return member.Param->Set(&region->Color, path, value);
            return member.Param->Set(&region->Exponent, path, value);
        }
        case mClearRGB:
        case mClearAlpha: {
            u32* packed = GetClearColor();
            if (!packed)
                return MwParam_NotFound;
            u8 bytes[4];
            Unpack(*packed, bytes);
            result = member.MemberId == mClearRGB ? SetByteColor(member, path, value, bytes)
                                                  : SetByteReal(member, path, value, &bytes[3]);
            *packed = Pack(bytes);
            break;
        }
        case mRender:
        case mShader:
            return SetPayloadMember(member.MemberId, path, value);
        default:
            return MwParam_NotFound;
    }
    if (result == MwParam_Ok)
        SetDirty(true);
    return result;
}

u32 CPlugBitmap::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (!IsOwnMember(member.MemberId))
            return MwNotOwnMember;
        return GetOwnMember(member, path, out);
    });
}

u32 CPlugBitmap::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (!IsOwnMember(member.MemberId))
            return MwNotOwnMember;
        return SetOwnMember(member, path, value);
    });
}

u32 CPlugBitmap::AddParamVirtual(CMwMemberPath* path, const void* value) {
    return MwAddParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId != mImage && member.MemberId != mRender && member.MemberId != mShader)
            return MwNotOwnMember;
        CMwNod* nod = member.MemberId == mImage ? m_Image : PayloadNod(member.MemberId);
        if (!nod || !path->HasCurrent())
            return MwParam_NotFound;
        return nod->AddParam(path, value);
    });
}

u32 CPlugBitmap::SubParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSubParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId != mImage && member.MemberId != mRender && member.MemberId != mShader)
            return MwNotOwnMember;
        CMwNod* nod = member.MemberId == mImage ? m_Image : PayloadNod(member.MemberId);
        if (!nod || !path->HasCurrent())
            return MwParam_NotFound;
        return nod->SubParam(path, value);
    });
}
