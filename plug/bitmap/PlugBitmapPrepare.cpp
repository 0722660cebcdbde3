// The bitmap's road to texture data: preparation (load, forced border, mip chain, first texel's
// alpha), the two chain filters (a 4 x 4 gaussian for power-of-two sides, a polyphase box for
// the others), the height-to-normal conversion and the DDS writer over the texture compressor.
#include "core/base/ClassicLog.h"
#include "core/nod/MwCmdBufferCore.h"
#include "plug/bitmap/PlugBitmap.h"
#include "plug/bitmap/PlugBitmapMembers.h"
#include "plug/bitmap/PlugFileImg.h"
#include "plug/bitmap/PlugFileVideo.h"
#include "plug/bitmap/TextureCompressor.h"
#include "system/archive/SystemArchive.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFidFile.h"
#include "system/file/ClassicBufferFile.h"
#include "system/file/FileSystem.h"
#include "system/file/PathHelpers.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

using namespace plugbitmap;

DdsOutputBuffer g_DdsOutputBuffer;

DdsOutputBuffer::~DdsOutputBuffer() {
    std::free(Data);
}

i32 AppendCompressedBytes(const u8* data, i32, u32 byteCount) {
    DdsOutputBuffer& out = g_DdsOutputBuffer;
    if (out.Failed)
        return 0;
    const u64 needed = u64(out.Length) + byteCount;
    if (needed > out.Capacity) {
        const u64 capacity =
            needed - out.Capacity > out.Capacity / 2 ? needed : out.Capacity + out.Capacity / 2;
        u8* grown =
            capacity <= UINT32_MAX ? static_cast<u8*>(std::realloc(out.Data, capacity)) : nullptr;
        if (!grown) {
            out.Failed = true;
            ClassicLogFormatLine("[PlugBitmap] no room for %" PRIu64 " bytes of DDS data", needed);
            return 0;
        }
        out.Data = grown;
        out.Capacity = u32(capacity);
    }
    if (byteCount)
        std::memcpy(out.Data + out.Length, data, byteCount);
    out.Length = u32(needed);
    return 0;
}

const f32* MipGaussianKernel() {
    static const auto kernel = [] {
        std::array<f32, 16> weights{};
        double values[16];
        double sum = 0;
        for (u32 r = 0; r < 4; ++r)
            for (u32 c = 0; c < 4; ++c) {
                const double dc = c - 1.5, dr = r - 1.5;
                values[r * 4 + c] = std::exp(-1.501 * (dc * dc + dr * dr));
                sum += values[r * 4 + c];
            }
        for (u32 i = 0; i < 16; ++i)
            weights[i] = f32(values[i] / sum);
        return weights;
    }();
    return kernel.data();
}

u32 MipTapIndex(i64 k, u32 side, u32 addressMode) {
    const i64 s = side, m = s - 1;
    enum { kWrap, kMirror, kClamp, kMirrorOnce };
    if (k < 0) {
        if (addressMode == kClamp)
            return 0;
        return u32(addressMode == kWrap ? (k + 8 * s) & m : (-k) & m);
    }
    if (k >= s) {
        if (addressMode == kClamp)
            return u32(m);
        return u32(addressMode == kWrap ? k & m : (8 * s - k - 1) & m);
    }
    return u32(k);
}

namespace {

u32 Log2(u32 value) {
    u32 n = 0;
    while (value >>= 1)
        ++n;
    return n;
}

bool IsPowerOfTwo(u32 value) {
    return value != 0 && (value & (value - 1)) == 0;
}

u32 Half(u32 side) {
    return side > 1 ? side / 2 : 1;
}

// Bytes per component of the formats whose chain is built here; 0 for the others.
u32 FilteredComponentBytes(u32 format) {
    return format == CPlugFileImg::EFormat_BGRA     ? 1
           : format == CPlugFileImg::EFormat_RGBA16 ? 2
                                                    : 0;
}

// The box filter's taps of one destination index along one axis: `count` source indices from
// `first` with weights num[i] / den.
struct BoxTaps {
    u32 First = 0;
    u32 Count = 0;
    u32 Num[3] = {};
    u32 Den = 1;
};

BoxTaps BoxTapsOf(u32 x, u32 n, u32 d) {
    if (n == 1)
        return {0, 1, {1, 0, 0}, 1};
    if (n % 2 == 0)
        return {2 * x, 2, {1, 1, 0}, 2};
    return {2 * x, 3, {d - x, d, x + 1}, 2 * d + 1};
}

// The normal maps' byte triples (x, y, z in the layout's places) by usage; null for the others.
const u32* NormalBytes(u32 usage) {
    static constexpr u32 kNxNyNz[3] = {0, 1, 2}, kRxG0BzAy[3] = {0, 2, 3}, kR0GyBzAx[3] = {0, 1, 3};
    switch (usage) {
        case CPlugBitmap::NxNyNz:
            return kNxNyNz;
        case CPlugBitmap::NormRxG0BzAy:
            return kRxG0BzAy;
        case CPlugBitmap::NormR0GyBzAx:
            return kR0GyBzAx;
        default:
            return nullptr;
    }
}

// One level of the 4 x 4 filter: for each destination texel and component, the sixteen taps
// (rows and columns given as source indices) weighted in order into a float, truncated toward
// zero. T is the component's type.
template <class T>
void FilterLevel(const u8* source, u32 sw, const u32* columns, const u32* rows, u32 dw, u32 dh,
                 const f32* kernel, u32 nbComp, u8* dest) {
    constexpr f32 kLargest = f32(T(~T(0)));
    const u64 texelBytes = u64(nbComp) * sizeof(T);
    f32 sums[8];
    const u32 components = std::min(nbComp, 8u);
    u8* out = dest;
    for (u32 y = 0; y < dh; ++y)
        for (u32 x = 0; x < dw; ++x, out += texelBytes) {
            std::fill(sums, sums + components, 0.0f);
            for (u32 r = 0; r < 4; ++r) {
                const u8* row = source + u64(rows[y * 4 + r]) * sw * texelBytes;
                for (u32 c = 0; c < 4; ++c) {
                    const u8* tap = row + columns[x * 4 + c] * texelBytes;
                    const f32 weight = kernel[r * 4 + c];
                    for (u32 k = 0; k < components; ++k) {
                        T value;
                        std::memcpy(&value, tap + sizeof(T) * k, sizeof(T));
                        sums[k] += f32(value) * weight;
                    }
                }
            }
            for (u32 k = 0; k < components; ++k) {
                const T value = T(std::min(sums[k], kLargest));
                std::memcpy(out + sizeof(T) * k, &value, sizeof(T));
            }
        }
}

// The same for bytes of N components, the components known to the compiler: the same sums in
// the same order.
template <u32 N>
void FilterLevelOf(const u8* source, u32 sw, const u32* columns, const u32* rows, u32 dw, u32 dh,
                   const f32* kernel, u8* dest) {
    u8* out = dest;
    for (u32 y = 0; y < dh; ++y) {
        const u8* row[4];
        for (u32 r = 0; r < 4; ++r)
            row[r] = source + u64(rows[y * 4 + r]) * sw * N;
        for (u32 x = 0; x < dw; ++x, out += N) {
            const u32* column = columns + x * 4;
            f32 sums[N] = {};
            for (u32 r = 0; r < 4; ++r)
                for (u32 c = 0; c < 4; ++c) {
                    const u8* tap = row[r] + column[c] * N;
                    const f32 weight = kernel[r * 4 + c];
                    for (u32 k = 0; k < N; ++k)
                        sums[k] += f32(tap[k]) * weight;
                }
            for (u32 k = 0; k < N; ++k)
                out[k] = u8(std::min(sums[k], 255.0f));
        }
    }
}

u8 ToFadedAlpha(f32 value) {
    // NaN and values outside the byte's range (fade factors outside [0, 1]) are clamped.
    if (!(value > 0))
        return 0;
    return value >= 255 ? 255 : u8(value);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Preparation

bool CPlugBitmap::PrepareImage() {
    CPlugFileImg* image = m_Image;
    if (!image)
        return false;
    if (!image->IsLoaded()) {
        image->EnsureLoaded();
        if (!image->IsLoaded())
            return false;
    }
    bool borderApplied = false;
    if ((GetFlag(mForceBorderRGB) || GetFlag(mForceBorderAlpha)) && IsDirty()) {
        if (image->GetFormat() == CPlugFileImg::EFormat_BGRA)
            image->ApplyBorder(m_BorderColor, GetFlag(mForceBorderRGB), GetFlag(mForceBorderAlpha));
        borderApplied = true;
    }
    if (GetFlag(mWantMipMapping) && (!image->AreMipMapInSystem() || borderApplied) &&
        !BuildMipChain())
        return false;
    if (GetFlag(mForce1stPixelAlpha0) && IsDirty())
        image->MakeFirstTexelTransparent();
    return true;
}

bool CPlugBitmap::BuildMipChain() {
    CPlugFileImg* image = m_Image;
    if (!image || image->IsCompressed() || image->GetDimension() == CPlugFileImg::EDimension_Volume)
        return false;
    if (!image->IsLoaded()) {
        image->EnsureLoaded();
        if (!image->IsLoaded())
            return false;
    }
    const bool border = GetFlag(mForceBorderRGB) || GetFlag(mForceBorderAlpha);
    if ((image->AreMipMapInSystem() && !border) || (image->m_Width == 1 && image->m_Height == 1))
        return true;
    return BuildMipChainFrame(IsPowerOfTwo(image->m_Width) && IsPowerOfTwo(image->m_Height));
}

bool CPlugBitmap::BuildMipChainFrame(bool pow2) {
    CPlugFileImg* image = m_Image;
    const u32 width = image->m_Width, height = image->m_Height;
    const u32 nbComp = image->GetNbComp(), format = image->GetFormat();
    const u32 componentBytes = FilteredComponentBytes(format);
    if (!componentBytes || !nbComp || !width || !height) {
        ClassicLogFormatLine("[PlugBitmap] no mip chain for a %u x %u image of format %u", width,
                             height, format);
        return false;
    }
    const bool cube = image->GetDimension() == CPlugFileImg::EDimension_Cube;
    const u32 faces = cube ? 6 : 1;
    const u32 levels = Log2(std::max(width, height)) + 1;
    const u64 texelBytes = u64(nbComp) * componentBytes;
    const u64 faceBytes = CountTexels(width, height, 0, 0, 1) * texelBytes;
    const u64 total = faceBytes * faces;
    u8* block = nullptr;
    if (total <= UINT32_MAX && total <= CPlugFileImg::GetImageLimit())
        block = new (std::nothrow) u8[total];
    if (!block) {
        ClassicLogFormatLine("[PlugBitmap] no block of %" PRIu64 " bytes for the mip chain of a "
                             "%u x %u image",
                             total, width, height);
        return false;
    }
    CMwCmdBufferCoreEntry entry(1);
    CMwCmdBufferCore* core = CMwCmdBufferCore::GetSingleton();
    for (u32 face = 0; face < faces; ++face) {
        // Level 0 of the face, wherever the image keeps it (with or without a chain).
        const u8* first = image->GetLevel(face, 0, nullptr, nullptr, nullptr);
        if (!first) {
            delete[] block;
            ClassicLogFormatLine("[PlugBitmap] the image holds no level 0 of face %u", face);
            return false;
        }
        u8* source = block + face * faceBytes;
        std::memcpy(source, first, u64(width) * height * texelBytes);
        u32 sw = width, sh = height;
        for (u32 level = 1; level < levels; ++level) {
            u8* dest = source + u64(sw) * sh * texelBytes;
            if (pow2)
                BuildMipLevel(source, sw, sh, dest, level, levels, nbComp, componentBytes);
            else
                BuildMipLevelNonPow2(source, sw, sh, dest, u32(texelBytes));
            source = dest;
            sw = Half(sw);
            sh = Half(sh);
            if (core)
                core->Tick(1);
        }
    }
    image->Create(width, height, nbComp, format, block, u32(total), true, image->IsOneBitAlpha(),
                  image->GetDimension(), 1);
    return true;
}

u32 CPlugBitmap::BuildMipLevel(const u8* source, u32 sw, u32 sh, u8* dest, u32 level,
                               u32 levelCount, u32 nbComp, u32 componentBytes) {
    const u32 dw = Half(sw), dh = Half(sh);
    const f32* kernel = MipGaussianKernel();
    // The taps of every destination column and row, mapped by the axis's address mode once.
    std::vector<u32> columns(u64(dw) * 4), rows(u64(dh) * 4);
    const u32 addressU = GetFlagMember(mTexAddressU), addressV = GetFlagMember(mTexAddressV);
    for (u32 x = 0; x < dw; ++x)
        for (u32 c = 0; c < 4; ++c)
            columns[x * 4 + c] = MipTapIndex(2 * i64(x) - 1 + c, sw, addressU);
    for (u32 y = 0; y < dh; ++y)
        for (u32 r = 0; r < 4; ++r)
            rows[y * 4 + r] = MipTapIndex(2 * i64(y) - 1 + r, sh, addressV);

    const u64 texelBytes = u64(nbComp) * componentBytes;
    const bool forceRgb = GetFlag(mForceBorderRGB), forceAlpha = GetFlag(mForceBorderAlpha);
    const u32 borderFirst = forceRgb ? 0 : 3, borderEnd = std::min(forceAlpha ? 4u : 3u, nbComp);
    const bool fade = nbComp == 4 && GetFlag(mIsMipMapLowerAlphaEnable);
    f32 fadeFactor = 0;
    if (fade) {
        const u32 n = m_MipMapFadeAlphas.m_Count;
        fadeFactor = n > 0 ? m_MipMapFadeAlphas.m_Items[std::min(n - 1, level)]
                           : f32(levelCount - level - 1) / f32(levelCount - 1);
    }
    const f32 lowerAlpha = (1 - fadeFactor) * m_MipMapLowerAlpha * 255;
    const u32* normal = NormalBytes(GetUsage());
    if (normal && std::max({normal[0], normal[1], normal[2]}) >= nbComp)
        normal = nullptr;

    if (componentBytes == 2)
        FilterLevel<u16>(source, sw, columns.data(), rows.data(), dw, dh, kernel, nbComp, dest);
    else if (nbComp == 3)
        FilterLevelOf<3>(source, sw, columns.data(), rows.data(), dw, dh, kernel, dest);
    else if (nbComp == 4)
        FilterLevelOf<4>(source, sw, columns.data(), rows.data(), dw, dh, kernel, dest);
    else
        FilterLevel<u8>(source, sw, columns.data(), rows.data(), dw, dh, kernel, nbComp, dest);
    if (componentBytes == 2)
        return u32(u64(dw) * dh * texelBytes);

    // Border ring, alpha fade and renormalisation act on each filtered texel.
    const bool ring = borderFirst < borderEnd;
    if (!ring && !fade && !normal)
        return u32(u64(dw) * dh * texelBytes);
    u8* out = dest;
    for (u32 y = 0; y < dh; ++y) {
        for (u32 x = 0; x < dw; ++x, out += texelBytes) {
            if (ring && (x == 0 || y == 0 || x == dw - 1 || y == dh - 1))
                for (u32 k = borderFirst; k < borderEnd; ++k)
                    out[k] = m_BorderColor[k];
            if (fade)
                out[3] = ToFadedAlpha(f32(out[3]) * fadeFactor + lowerAlpha);
            if (normal) {
                f32 v[3];
                for (u32 i = 0; i < 3; ++i)
                    v[i] = f32(out[normal[i]]) / 127 - 1;
                const f32 squared = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
                if (squared > 1e-10f) {
                    const f32 length = std::sqrt(squared);
                    for (f32& component : v)
                        component /= length;
                }
                for (u32 i = 0; i < 3; ++i) {
                    const f32 stored = (v[i] + 1) * 127;
                    out[normal[i]] = stored < 1 ? 0 : stored > 253 ? 254 : u8(stored);
                }
            }
        }
    }
    return u32(u64(dw) * dh * texelBytes);
}

u32 CPlugBitmap::BuildMipLevelNonPow2(const u8* source, u32 sw, u32 sh, u8* dest, u32 texelBytes) {
    const u32 dw = Half(sw), dh = Half(sh);
    std::vector<BoxTaps> columns(dw);
    for (u32 x = 0; x < dw; ++x)
        columns[x] = BoxTapsOf(x, sw, dw);
    u8* out = dest;
    for (u32 y = 0; y < dh; ++y) {
        const BoxTaps rows = BoxTapsOf(y, sh, dh);
        for (u32 x = 0; x < dw; ++x) {
            const BoxTaps& cols = columns[x];
            // The weights' numerators over their common denominator: exact, so a uniform
            // picture stays uniform.
            const u64 den = u64(rows.Den) * cols.Den;
            for (u32 b = 0; b < texelBytes; ++b, ++out) {
                u64 sum = 0;
                for (u32 j = 0; j < rows.Count; ++j) {
                    const u8* row = source + u64(rows.First + j) * sw * texelBytes;
                    for (u32 i = 0; i < cols.Count; ++i)
                        sum += u64(rows.Num[j]) * cols.Num[i] *
                               row[u64(cols.First + i) * texelBytes + b];
                }
                *out = u8(sum / den);
            }
        }
    }
    return u32(u64(dw) * dh * texelBytes);
}

// ---------------------------------------------------------------------------------------------
// Height maps into normal maps

void CPlugBitmap::ConvertHeightToNormals(CPlugFileImg* target, u32 layout) {
    if (!target || !PrepareImage())
        return;
    CPlugFileImg* source = m_Image;
    const u32 nbComp = source->GetNbComp();
    if (source->GetFormat() != CPlugFileImg::EFormat_BGRA || !nbComp) {
        ClassicLogFormatLine("[PlugBitmap] no normal map from an image of format %u",
                             source->GetFormat());
        return;
    }
    const u32 width = source->m_Width, height = source->m_Height;
    const bool mips = GetFlag(mWantMipMapping);
    target->Create(width, height, 4, CPlugFileImg::EFormat_BGRA, nullptr, 0, mips, false,
                   CPlugFileImg::EDimension_2d, 1);
    if (!target->IsLoaded())
        return;
    const u32 levels = mips ? Log2(std::max(width, height)) + 1 : 1;
    const bool rotate = GetFlagMember(mNormalRotate) == 1;
    const bool redX = layout == NormRxG0BzAy;
    f32 scale = m_BumpScaleFactor;
    for (u32 k = 0; k < levels; ++k, scale *= m_BumpScaleMipLevel) {
        u32 w = 0, h = 0, tw = 0, th = 0;
        const u8* heights = source->GetLevel(0, k, nullptr, &w, &h);
        u8* out = target->GetLevel(0, k, nullptr, &tw, &th);
        if (!heights || !out || w != tw || h != th)
            return;
        const auto at = [&](u32 x, u32 y) { return f32(heights[(u64(y) * w + x) * nbComp]); };
        for (u32 y = 0; y < h; ++y) {
            const u32 below = y ? y - 1 : h - 1, above = y + 1 < h ? y + 1 : 0;
            for (u32 x = 0; x < w; ++x, out += 4) {
                const u32 left = x ? x - 1 : w - 1, right = x + 1 < w ? x + 1 : 0;
                const f32 dx = (at(right, y) - at(left, y)) / 255;
                const f32 dy = (at(x, above) - at(x, below)) / 255;
                f32 n[3] = {-2 * scale * dx, -2 * scale * dy, 4};
                if (rotate) {
                    n[1] = 4;
                    n[2] = 2 * scale * dy;
                }
                const f32 length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
                if (length > 0.00001f) {
                    for (f32& c : n)
                        c /= length;
                } else {
                    n[0] = n[1] = 0;
                    n[2] = 1;
                }
                const auto byte = [](f32 c) { return u8((c + 1) * 127.5f); };
                out[0] = byte(n[2]);
                if (redX) {
                    out[1] = 0;
                    out[2] = byte(n[0]);
                    out[3] = byte(n[1]);
                } else {
                    out[1] = byte(n[1]);
                    out[2] = 0;
                    out[3] = byte(n[0]);
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// DDS output

namespace {

struct DdsOutputKind {
    char FourCc[4];
    u32 BlockBytes;
    i16 FormatCode;
};
constexpr DdsOutputKind kDdsOutputKinds[4] = {
    {{'D', 'X', 'T', '1'}, 8, ETextureCompressorFormat_Dxt1},
    {{'D', 'X', 'T', '1'}, 8, ETextureCompressorFormat_Dxt1a},
    {{'D', 'X', 'T', '3'}, 16, ETextureCompressorFormat_Dxt3},
    {{'D', 'X', 'T', '5'}, 16, ETextureCompressorFormat_Dxt5},
};
constexpr u32 kDdsHeaderBytes = 124;

void PutU32(u8* out, u32 value) {
    for (u32 i = 0; i < 4; ++i)
        out[i] = u8(value >> (8 * i));
}

void BuildDdsHeader(u8* header, u32 width, u32 height, u32 levels, const DdsOutputKind& kind) {
    std::memset(header, 0, kDdsHeaderBytes);
    PutU32(header + 0, kDdsHeaderBytes);
    PutU32(header + 4, 0xA1007);
    PutU32(header + 8, height);
    PutU32(header + 12, width);
    PutU32(header + 16, kind.BlockBytes * ((height + 3) / 4) * ((width + 3) / 4));
    PutU32(header + 24, levels);
    PutU32(header + 72, 32);
    PutU32(header + 76, 4);
    std::memcpy(header + 80, kind.FourCc, 4);
    PutU32(header + 104, levels > 1 ? 0x401008 : 0x1008);
}

// Reverses the row order of each level of a chain in place, while it lives.
class CFlippedChainRows {
public:
    CFlippedChainRows(u8* pixels, u32 width, u32 height, u32 levels, u32 texelBytes)
        : m_Pixels(pixels), m_Width(width), m_Height(height), m_Levels(levels),
          m_TexelBytes(texelBytes) {
        Flip();
    }
    CFlippedChainRows(const CFlippedChainRows&) = delete;
    CFlippedChainRows& operator=(const CFlippedChainRows&) = delete;
    ~CFlippedChainRows() {
        if (m_Pixels)
            Flip();
    }
    // The rows stay as they are (the pixels are no longer the bitmap's).
    void Keep() { m_Pixels = nullptr; }

private:
    void Flip() {
        u8* level = m_Pixels;
        u32 w = m_Width, h = m_Height;
        for (u32 i = 0; i < m_Levels; ++i) {
            const u64 rowBytes = u64(w) * m_TexelBytes;
            for (u32 y = 0; y < h / 2; ++y)
                std::swap_ranges(level + y * rowBytes, level + (y + 1) * rowBytes,
                                 level + (h - 1 - y) * rowBytes);
            level += rowBytes * h;
            w = Half(w);
            h = Half(h);
        }
    }

    u8* m_Pixels;
    u32 m_Width, m_Height, m_Levels, m_TexelBytes;
};

bool RefuseDds(const char* why) {
    ClassicLogFormatLine("[PlugBitmap] no DDS file: %s", why);
    return false;
}

} // namespace

bool CPlugBitmap::CompressToDds(bool reload, CClassicWideStringRef targetPath, bool log) {
    CPlugFileImg* image = m_Image;
    if (GetFlag(mIsCubeMap))
        return RefuseDds("a cube map");
    if (!image)
        return RefuseDds("no image");
    if (image->GetFormat() != CPlugFileImg::EFormat_BGRA)
        return RefuseDds("the image is not in 8-bit BGRA");
    if (image->IsKindOf(CPlugFileVideo::s_ClassId))
        return RefuseDds("the image is a video");
    const u32 width = image->m_Width, height = image->m_Height;
    if (width < 4 || height < 4 || !IsPowerOfTwo(width) || !IsPowerOfTwo(height))
        return RefuseDds("a side below 4 or not a power of two");
    if (!GetFlag(mCanBeCompressedInVideoMemory))
        return RefuseDds("CanBeCompressedInVideoMemory is clear");
    if ((targetPath.m_Length == 0) && !image->GetFid())
        return RefuseDds("no target path and no file");

    const u32 levels = GetFlag(mWantMipMapping) ? Log2(std::max(width, height)) + 1 : 1;
    const u32 e = image->GetNbComp();
    u32 kind = 0;
    u32 convertTo = UsageCount;
    switch (GetUsage()) {
        case Render:
            if (reload)
                return RefuseDds("a render target on the reload road");
            [[fallthrough]];
        case Color:
        case Light:
            if (e < 3 || e > 4)
                return RefuseDds("a colour image of fewer than three or more than four bytes");
            if (e == 3)
                kind = 0;
            else if (GetFlag(mIsOneBitAlpha))
                kind = GetFlag(mCompressSkipDXT1) ? 2 : 1;
            else
                kind = GetFlag(mCompressInterpolatedAlpha) ? 3 : 2;
            break;
        case NxNyNz:
        case NxNy:
            if (GetFlagMember(mBumpCompressMode) == CompressNone)
                return RefuseDds("a normal map without bump compression");
            // Three bytes a texel are compressed; a two-byte normal map has no defined DXT1 form.
            if (e != 3 && e != 4)
                return RefuseDds("a normal map of fewer than three bytes");
            kind = 0;
            break;
        case Height2RxG0BzAy:
            convertTo = NormRxG0BzAy;
            kind = 3;
            break;
        case Height2R0GyBzAx:
            convertTo = NormR0GyBzAx;
            kind = 3;
            break;
        case NormRxG0BzAy:
        case NormR0GyBzAx:
            kind = 3;
            break;
        default:
            return RefuseDds("a usage without DDS form");
    }
    if (!PrepareImage())
        return RefuseDds("the image could not be prepared");

    // The source: the converted normal map, or the bitmap's image as prepared.
    CMwNodRef converted;
    CPlugFileImg* source = image;
    if (convertTo != UsageCount) {
        converted = CMwNodRef(new CPlugFileImg);
        source = static_cast<CPlugFileImg*>(converted.Get());
        ConvertHeightToNormals(source, convertTo);
    }
    // The preparation may have widened the image (a forced border alpha): its texels are read
    // at their own size.
    const u32 channels = source->GetNbComp();
    u8* first = source->GetLevel(0, 0, nullptr, nullptr, nullptr);
    if (!first || (channels != 3 && channels != 4))
        return RefuseDds("no prepared pixels of three or four bytes");
    const u64 chainBytes = CountTexels(width, height, 0, levels, 1) * channels;
    if (u64(first - source->m_Pixels) + chainBytes > source->m_ByteSize)
        return RefuseDds("the prepared image holds fewer levels than asked");

    CClassicWideString target;
    if (!(targetPath.m_Length == 0)) {
        target.Append(targetPath);
    } else {
        CClassicWideString path;
        image->GetFilePath(path);
        if (path.IsEmpty())
            return RefuseDds("the image's file is not on disk");
        RemovePathExtensions(path, target);
        target.Append(u".dds");
    }

    CSystemEngine* engine = GetSystemEngine();
    if (!(engine && engine->FindFidByFullPath(target, false)) && FileExists(target))
        ClearReadOnlyAttribute(target);
    if (CreateFolderPath(target) == kCreateFolderFailed)
        return RefuseDds("its folder cannot be created");
    if (FileExists(target) && IsFileReadOnly(target, nullptr))
        return RefuseDds("the target is read-only");

    const DdsOutputKind& output = kDdsOutputKinds[kind];
    u8 header[kDdsHeaderBytes];
    BuildDdsHeader(header, width, height, levels, output);

    // DDS rows run top-down, the image's bottom-up.
    std::unique_ptr<CFlippedChainRows> flipped;
    if (height > 1)
        flipped = std::make_unique<CFlippedChainRows>(first, width, height, levels, channels);

    if (log) {
        CClassicWideString line;
        line.AppendFormat("[PlugBitmap] TGA->DDS Compression (%dx%d) ", i32(width), i32(height));
        CSystemFid* fid = image->GetFid();
        if (fid && fid->IsKindOf(CSystemFidFile::s_ClassId))
            line.Append(static_cast<CSystemFidFile*>(fid)->m_FileName);
        g_ClassicLogLine.Assign("");
        ClassicLogAppendWideText(g_ClassicLogLine, line);
        g_ClassicLogLine.Append("\r\n");
        ClassicLogWriteLine();
        g_ClassicLog.Tick(false);
    }

    g_DdsOutputBuffer.Length = 0;
    g_DdsOutputBuffer.Failed = false;
    TextureCompressorOptions options;
    options.MipMode = kCompressorMipModeNone;
    options.MipFilter = 136;
    options.OneBitAlpha = kind == 1;
    options.FadeToAlpha = 255;
    options.TextureKind = kCompressorTextureKind2d;
    options.FormatCode = output.FormatCode;
    std::unique_ptr<u8[]> padding;
    const u8* level = first;
    u32 w = width, h = height;
    for (u32 i = 0; i < levels; ++i) {
        i32 result;
        if (w >= 4 && h >= 4) {
            result = TextureCompressor::CompressImage(level, w, h, w * channels, options, channels,
                                                      AppendCompressedBytes);
        } else {
            const u32 pw = std::max(4u, w), ph = std::max(4u, h);
            if (!padding)
                padding = std::make_unique<u8[]>(u64(pw) * ph * channels);
            std::memset(padding.get(), 0, u64(pw) * ph * channels);
            for (u32 y = 0; y < h; ++y)
                std::memcpy(padding.get() + u64(y) * pw * channels, level + u64(y) * w * channels,
                            u64(w) * channels);
            result = TextureCompressor::CompressImage(padding.get(), pw, ph, pw * channels, options,
                                                      channels, AppendCompressedBytes);
        }
        if (result < 0) {
            ClassicLogFormatLine("[PlugBitmap] no DDS file: the compressor failed on level %u "
                                 "(%d)",
                                 i, result);
            return false;
        }
        level += u64(w) * h * channels;
        w = Half(w);
        h = Half(h);
    }
    if (g_DdsOutputBuffer.Failed)
        return RefuseDds("the compressed data could not be kept");

    CClassicBufferFile file;
    if (!file.Open(target, true, true, false, false))
        return RefuseDds("the target cannot be opened for writing");
    const bool written =
        file.Write("DDS ", 4) == 4 && file.Write(header, kDdsHeaderBytes) == kDdsHeaderBytes &&
        file.Write(g_DdsOutputBuffer.Data, g_DdsOutputBuffer.Length) == g_DdsOutputBuffer.Length;
    if (!written) {
        file.Discard();
        return RefuseDds("a write failed");
    }
    if (!file.Close())
        return RefuseDds("the file could not be completed");
    if (!reload)
        return true;

    CSystemArchive archive;
    CMwNod* nod = nullptr;
    archive.LoadNodFromFile(target, &nod, nullptr, 7, true);
    if (!nod || !nod->IsKindOf(CPlugFileImg::s_ClassId)) {
        ClassicLogFormatLine("[PlugBitmap] the DDS file written does not load as an image: the "
                             "bitmap keeps its own");
        return false;
    }
    if (flipped)
        flipped->Keep();
    SetImage(static_cast<CPlugFileImg*>(nod));
    return true;
}
