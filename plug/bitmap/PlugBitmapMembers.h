#pragma once
// The member ids of CPlugBitmap (0x09011000 + n), for the files that implement it.
#include "platform/Types.h"

namespace plugbitmap {

// The members, by id (0x09011000 + n).
enum EMember : u32 {
    mUsage = 0x09011000,
    mNormalAreSigned,
    mNormalCanBeSigned,
    mWantedColorDepth,
    mIsOneBitAlpha,
    mIgnoreImageAlpha01,
    mShadowCasterIgnoreAlpha,
    mIsNonPow2Conditional,
    mIsCubeMap,
    mCubeMapAuto2dFace,
    mTexFilter,
    mTexAddressU,
    mTexAddressV,
    mTexAddressW,
    mMipMapLodBiasDefault,
    mDefaultTexCoordScale,
    mDefaultTexCoordTrans,
    mDefaultTexCoordRotate,
    mAtlasCountUs,
    mAtlasCountVs,
    mAtlasSubCountIs,
    mAtlasSubIndexUs,
    mAtlasSubIndexVs,
    mForce1stPixelAlpha0,
    mForceBorderRGB,
    mBorderRGB,
    mForceBorderAlpha,
    mBorderAlpha,
    mWantMipMapping,
    mIsMipMapLowerAlphaEnable,
    mMipMapLowerAlpha,
    mMipMapFadeAlphas,
    mCanBeDeletedFromSystemMemory,
    mRenderTexelsMustPersist,
    mCanBeCompressedInVideoMemory,
    mCompressInterpolatedAlpha,
    mCompressSkipDXT1,
    mBumpCompressMode,
    mBumpScaleFactor,
    mBumpScaleMipLevel,
    mNormalRotate,
    mImage,
    mMipLevelSkipFromQuality,
    mMipLevelSkipCountMax,
    mRenderRequireBlending,
    mMultiSampleCount,
    mPixelUpdate,
    mSpecularRGB,
    mSpecularExp,
    mClearRGB,
    mClearAlpha,
    mRender,
    mShader,
    mEnd
};
static_assert(mEnd - mUsage == 53);

} // namespace plugbitmap
