#include "plug/bitmap/PlugFileImg.h"

#include "core/base/ClassicLog.h"
#include "core/nod/MwVirtualMember.h"
#include "plug/bitmap/GxImage.h"
#include "plug/bitmap/PlugBitmap.h"

#include <algorithm>
#include <cassert>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <new>

namespace {

constexpr const char* kDimensionNames[] = {"1d", "2d", "Cube", "Volume"};
constexpr const char* kFormatNames[] = {"BGRA", "DXT1",   "DXT2",    "DXT3",   "DXT4",
                                        "DXT5", "RGBA16", "RGBA16F", "RGBA32F"};
constexpr u32 kScaleArgTypes[] = {MwType_Bool, MwType_Natural};
constexpr const char* kScaleArgNames[] = {"Shrink", "TexFilter"};
constexpr u32 kScaleArgValues[] = {0, 0};

} // namespace

#define CPLUGFILEIMG_MEMBERS(X)                                                                    \
    X(Enum, 0x09025000, "Dimension", MW_VIRTUAL(""), "Dimension", 0x11, 0x380, "",                 \
      kDimensionNames)                                                                             \
    X(Natural, 0x09025001, "Width", MW_VIRTUAL(""), "Width", 0x11, 0x380)                          \
    X(Natural, 0x09025002, "Height", MW_VIRTUAL(""), "Height", 0x11, 0x380)                        \
    X(Natural, 0x09025003, "Depth", MW_VIRTUAL(""), "Depth", 0x11, 0x380)                          \
    X(Natural, 0x09025004, "NbComp", MW_VIRTUAL(""), "NbComp", 0x11, 0x380)                        \
    X(Enum, 0x09025005, "Format", MW_VIRTUAL(""), "Format", 0x11, 0x380, "", kFormatNames)         \
    X(Bool, 0x09025006, "AreMipMapInSystem", MW_VIRTUAL(""), "MipMap", 0x11, 0x380)                \
    X(Natural, 0x09025007, "cMipLevelSkipAtLoad", MW_VIRTUAL(""), "cMipSkipAtLoad", 0x11, 0x380)   \
    X(Proc, 0x09025008, "ScaleToPowerOfTwo", MW_VIRTUAL(""), "Scale2N", 0x02, 0x380,               \
      MwThunk<&CPlugFileImg::ScaleToPowerOfTwoMember>::Call, kScaleArgTypes, kScaleArgNames,       \
      kScaleArgValues)

MW_DEFINE_CLASS(CPlugFileImg, nullptr, CPLUGFILEIMG_MEMBERS, MW_NO_CHUNKS);

namespace {

constinit u64 s_ImageLimit = u64(1) << 30;

// Indexed by Format: bytes per component of the uncompressed formats, bytes per 4 x 4 block of
// the compressed ones.
constexpr u32 kBytesPerComponent[] = {1, 0, 0, 0, 0, 0, 2, 2, 4};
constexpr u32 kBytesPerBlock[] = {0, 8, 16, 16, 16, 16, 0, 0, 0};
constexpr u32 kFormatCount = 9;

u32 BytesPerComponent(u32 format) {
    return format < kFormatCount ? kBytesPerComponent[format] : 0;
}
u32 BytesPerBlock(u32 format) {
    return format < kFormatCount ? kBytesPerBlock[format] : 0;
}

// Products and sums that stop at the largest u64 instead of wrapping.
u64 Mul(u64 a, u64 b) {
    u64 product;
    return __builtin_mul_overflow(a, b, &product) ? UINT64_MAX : product;
}
u64 Add(u64 a, u64 b) {
    u64 sum;
    return __builtin_add_overflow(a, b, &sum) ? UINT64_MAX : sum;
}

bool IsPowerOfTwo(u64 value) {
    return value != 0 && (value & (value - 1)) == 0;
}

u32 Log2(u64 value) {
    return 63 - u32(__builtin_clzll(value));
}

// Halves a side of 2 or more.
u32 Halve(u32 side) {
    return side >= 2 ? side / 2 : side;
}

// The level's side: halved `level` times, not below 1.
u32 LevelSide(u32 side, u32 level) {
    return std::max(1u, level < 32 ? side >> level : 0);
}

void SkipLevels(u32& w, u32& h, u32& d, u32 skip) {
    for (u32 i = 0; i < skip && (w >= 2 || h >= 2 || d >= 2); ++i) {
        w = Halve(w);
        h = Halve(h);
        d = Halve(d);
    }
}

// Blocks of a compressed level.
u64 LevelBlocks(u32 w, u32 h, u32 d) {
    return Mul(Mul((u64(h) + 3) / 4, (u64(w) + 3) / 4), d);
}

// x mod n in [0, n).
i64 Wrap(i64 x, i64 n) {
    const i64 r = x % n;
    return r < 0 ? r + n : r;
}

// The Part's four 5:6:5 endpoint expansions: blue, green, red rounded down.
void ExpandColour(u16 c, u32 out[3]) {
    out[0] = (c & 31) * 255 / 31;
    out[1] = ((c >> 5) & 63) * 255 / 63;
    out[2] = (c >> 11) * 255 / 31;
}

u16 ReadU16(const u8* p) {
    return u16(p[0] | (p[1] << 8));
}

// The colour of texel `index` (0-15, row order) of a colour block; alpha 255, or 0 for the
// transparent code of a three-colour block. `fourColours` forces the four-colour reading.
u32 DecodeColourTexel(const u8* block, u32 index, bool fourColours) {
    const u16 c0 = ReadU16(block);
    const u16 c1 = ReadU16(block + 2);
    const u32 code = (block[4 + index / 4] >> (2 * (index % 4))) & 3;
    u32 e0[3], e1[3], bgr[3];
    ExpandColour(c0, e0);
    ExpandColour(c1, e1);
    u32 alpha = 255;
    for (u32 k = 0; k < 3; ++k) {
        switch (code) {
            case 0:
                bgr[k] = e0[k];
                break;
            case 1:
                bgr[k] = e1[k];
                break;
            case 2:
                bgr[k] = fourColours || c0 >= c1 ? (2 * e0[k] + e1[k]) / 3 : (e0[k] + e1[k]) / 2;
                break;
            default:
                if (fourColours || c0 >= c1) {
                    bgr[k] = (e0[k] + 2 * e1[k]) / 3;
                } else {
                    bgr[k] = 0;
                    alpha = 0;
                }
                break;
        }
    }
    return bgr[0] | (bgr[1] << 8) | (bgr[2] << 16) | (alpha << 24);
}

// Alpha of texel `index` of a DXT2/DXT3 block: the 4-bit value x 17.
u32 DecodeExplicitAlpha(const u8* block, u32 index) {
    return ((block[index / 2] >> (4 * (index % 2))) & 15) * 17;
}

// Alpha of texel `index` of a DXT4/DXT5 block, with the encoder's integer levels: eight levels
// when a0 > a1, else six and 0, 255.
u32 DecodeInterpolatedAlpha(const u8* block, u32 index) {
    const u32 a0 = block[0];
    const u32 a1 = block[1];
    u64 bits = 0;
    for (u32 i = 0; i < 6; ++i)
        bits |= u64(block[2 + i]) << (8 * i);
    const u32 code = u32(bits >> (3 * index)) & 7;
    if (code == 0)
        return a0;
    if (code == 1)
        return a1;
    if (a0 > a1)
        return ((8 - code) * a0 + (code - 1) * a1 + 3) / 7;
    if (code == 6)
        return 0;
    if (code == 7)
        return 255;
    return ((6 - code) * a0 + (code - 1) * a1 + 2) / 5;
}

// W x u truncated toward zero, for finite products inside the 32-bit range.
bool TruncateToTexel(u32 side, f32 u, i32* out) {
    const f64 x = f64(side) * f64(u);
    if (!(std::fabs(x) < 2147483648.0))
        return false;
    *out = i32(x);
    return true;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Counting

u64 CountTexels(u32 width, u32 height, u32 skip, u32 levels, u32 depth) {
    if (skip == 0 && levels == 0 && depth == 1 && IsPowerOfTwo(width) && IsPowerOfTwo(height)) {
        if (width == height && width <= 4096) {
            // (4^(k+1) - 1) / 3 for sides 2^k.
            static constexpr u32 kSquareChains[13] = {
                1, 5, 21, 85, 341, 1365, 5461, 21845, 87381, 349525, 1398101, 5592405, 22369621};
            return kSquareChains[Log2(width)];
        }
        if (width == 1)
            return 2 * u64(height) - 1;
        if (height == 1)
            return 2 * u64(width) - 1;
    }
    u32 w = width, h = height, d = depth;
    SkipLevels(w, h, d, skip);
    u64 count = Mul(Mul(w, h), d);
    for (u32 level = 1; levels == 0 || level < levels; ++level) {
        if (w > 1)
            w /= 2;
        else if (h < 2 && d < 2)
            break;
        h = Halve(h);
        d = Halve(d);
        count = Add(count, Mul(Mul(w, h), d));
    }
    return count;
}

u64 CountMipChainBlocks(u32 width, u32 height, u32 skip, u32 levels, u32 depth) {
    u32 w = width, h = height, d = depth;
    SkipLevels(w, h, d, skip);
    u64 count = 0;
    u32 counted = 0;
    while (w > 1 || h > 1 || d > 1) {
        count = Add(count, LevelBlocks(w, h, d));
        w = Halve(w);
        h = Halve(h);
        d = Halve(d);
        if (++counted == levels)
            return count;
    }
    return Add(count, 1);
}

// ---------------------------------------------------------------------------------------------
// The image

u64 CPlugFileImg::GetImageLimit() {
    return s_ImageLimit;
}

void CPlugFileImg::SetImageLimit(u64 bytes) {
    s_ImageLimit = bytes;
}

CPlugFileImg::~CPlugFileImg() {
    delete[] m_Pixels;
}

bool CPlugFileImg::IsCompressed() const {
    return BytesPerBlock(GetFormat()) != 0;
}

u8* CPlugFileImg::AllocatePixels(u64 size, u32 width, u32 height, u32 depth) {
    if (size == 0)
        return nullptr;
    u8* pixels = nullptr;
    if (size <= UINT32_MAX && size <= s_ImageLimit)
        pixels = new (std::nothrow) u8[size]();
    if (!pixels) {
        ClassicLogFormatLine("CPlugFileImg : no pixel block of %" PRIu64
                             " bytes for an image of %u x %u x %u",
                             size, width, height, depth);
    }
    return pixels;
}

void CPlugFileImg::Create(u32 width, u32 height, u32 nbComp, u32 format, u8* pixels, u32 byteSize,
                          bool mipMaps, bool oneBitAlpha, u32 dimension, u32 depth) {
    if (m_Pixels != pixels)
        delete[] m_Pixels;
    m_Pixels = nullptr;
    m_ByteSize = 0;
    m_Depth = depth;
    m_Width = width;
    m_Height = height;
    m_ImageWord = (m_ImageWord & (s_MipSkipMask << s_MipSkipShift)) |
                  ((dimension & s_DimensionMask) << s_DimensionShift) |
                  ((nbComp & s_NbCompMask) << s_NbCompShift) |
                  ((format & s_FormatMask) << s_FormatShift) | (mipMaps ? s_MipMapBit : 0) |
                  (oneBitAlpha ? s_OneBitAlphaBit : 0);
    switch (format) {
        case EFormat_BGRA:
        case EFormat_RGBA16:
            if (pixels) {
                m_Pixels = pixels;
                m_ByteSize = byteSize;
            } else {
                // Every face and slice that GetLevel addresses.
                const u64 size = ByteSize(true);
                m_Pixels = AllocatePixels(size, width, height, depth);
                m_ByteSize = m_Pixels ? u32(size) : 0;
            }
            break;
        case EFormat_DXT1:
        case EFormat_DXT2:
        case EFormat_DXT3:
        case EFormat_DXT4:
        case EFormat_DXT5:
            m_Pixels = pixels;
            m_ByteSize = byteSize;
            break;
        default:
            // No block is kept for the wide float formats.
            delete[] pixels;
            break;
    }
}

u8* CPlugFileImg::EnsurePixelBuffer() {
    const u32 format = GetFormat();
    if (format >= kFormatCount)
        return nullptr;
    if (m_Pixels)
        return m_Pixels;
    u64 size = ByteSize(true);
    if (format == EFormat_RGBA16 || format == EFormat_RGBA16F)
        size &= ~u64(1);
    else if (format == EFormat_RGBA32F)
        size &= ~u64(3);
    m_Pixels = AllocatePixels(size, m_Width, m_Height, m_Depth);
    if (m_Pixels)
        m_ByteSize = u32(size);
    return m_Pixels;
}

void CPlugFileImg::FreePixels() {
    delete[] m_Pixels;
    m_Pixels = nullptr;
    m_ByteSize = 0;
}

u64 CPlugFileImg::ByteSize(bool countMips) const {
    const u32 levels = countMips && AreMipMapInSystem() ? 0 : 1;
    const u32 faces = GetDimension() == EDimension_Cube ? 6 : 1;
    const u32 depth = GetDimension() == EDimension_Volume ? m_Depth : 1;
    const u32 format = GetFormat();
    if (const u32 blockBytes = BytesPerBlock(format))
        return Mul(Mul(blockBytes, CountMipChainBlocks(m_Width, m_Height, 0, levels, depth)),
                   faces);
    return Mul(Mul(Mul(CountTexels(m_Width, m_Height, 0, levels, depth), GetNbComp()),
                   BytesPerComponent(format)),
               faces);
}

u32 CPlugFileImg::LevelCount() const {
    if (!AreMipMapInSystem())
        return 1;
    return Log2(std::max({m_Width, m_Height, m_Depth, 1u})) + 1;
}

u8* CPlugFileImg::GetLevel(u32 face, u32 level, u32* levelByteSize, u32* levelWidth,
                           u32* levelHeight) {
    const u32 format = GetFormat();
    if (!m_Pixels || format >= kFormatCount ||
        face >= (GetDimension() == EDimension_Cube ? 6u : 1u) || level >= LevelCount())
        return nullptr;
    const u32 blockBytes = BytesPerBlock(format);
    const u64 texelBytes = Mul(GetNbComp(), BytesPerComponent(format));
    const auto levelSize = [&](u32 w, u32 h, u32 d) {
        return blockBytes ? Mul(LevelBlocks(w, h, d), blockBytes)
                          : Mul(Mul(Mul(w, h), d), texelBytes);
    };
    u64 faceSize;
    if (!AreMipMapInSystem())
        faceSize = levelSize(m_Width, m_Height, m_Depth);
    else if (blockBytes)
        faceSize = Mul(CountMipChainBlocks(m_Width, m_Height, 0, 0, m_Depth), blockBytes);
    else
        faceSize = Mul(CountTexels(m_Width, m_Height, 0, 0, m_Depth), texelBytes);

    u64 offset = Mul(face, faceSize);
    u32 w = m_Width, h = m_Height, d = m_Depth;
    for (u32 k = 0; k < level; ++k) {
        offset = Add(offset, levelSize(w, h, d));
        w = LevelSide(w, 1);
        h = LevelSide(h, 1);
        d = LevelSide(d, 1);
    }
    const u64 size = levelSize(w, h, d);
    if (Add(offset, size) > m_ByteSize)
        return nullptr;
    if (levelByteSize)
        *levelByteSize = u32(size);
    if (levelWidth)
        *levelWidth = w;
    if (levelHeight)
        *levelHeight = h;
    return m_Pixels + offset;
}

u8* CPlugFileImg::GetTexelAddress(u32 x, u32 y, u32 level, u32 face) {
    u32 levelWidth = 0;
    u8* base = GetLevel(face, level, nullptr, &levelWidth, nullptr);
    if (!base)
        return nullptr;
    const u64 offset = Mul(Add(x, Mul(y, levelWidth)), GetNbComp());
    const u64 start = u64(base - m_Pixels);
    if (Add(Add(start, offset), std::max(GetNbComp(), 1u)) > m_ByteSize)
        return nullptr;
    return base + offset;
}

u8* CPlugFileImg::GetPixelPtr(u32 x, u32 y) {
    assert(m_Pixels && x < m_Width && y < m_Height);
    return m_Pixels + (u64(x) + u64(y) * m_Width) * GetNbComp();
}

u8* CPlugFileImg::GetTexelWrapped(i32 x, i32 y, u32 face) {
    if (m_Width == 0 || m_Height == 0)
        return nullptr;
    // Adding the side until the coordinate is not negative is taking the remainder.
    const u32 wx = u32(x < 0 ? Wrap(x, m_Width) : x) & (m_Width - 1);
    const u32 wy = u32(y < 0 ? Wrap(y, m_Height) : y) & (m_Height - 1);
    return GetTexelAddress(wx, wy, 0, face);
}

u8* CPlugFileImg::GetTexelAtUV(f32 u, f32 v, u32 face) {
    i32 x, y;
    if (!TruncateToTexel(m_Width, u, &x) || !TruncateToTexel(m_Height, v, &y))
        return nullptr;
    return GetTexelWrapped(x, y, face);
}

void CPlugFileImg::Sample(u8* out, f32 u, f32 v, bool filter, u32 count, u32 level, u32 face,
                          u32 addressMode) {
    const u32 nbComp = GetNbComp();
    if (nbComp == 0)
        return;
    u8 texel[8] = {};
    if (!filter) {
        if (addressMode == s_AddressClamp) {
            u = std::clamp(u, 0.0f, 0.9999f);
            v = std::clamp(v, 0.0f, 0.9999f);
        }
        const u8* source = GetTexelAtUV(u, v, face);
        if (!source)
            return;
        std::memcpy(texel, source, nbComp);
    } else {
        const u32 w = LevelSide(m_Width, level);
        const u32 h = LevelSide(m_Height, level);
        const f64 fx = f64(w) * f64(u);
        const f64 fy = f64(h) * f64(v);
        // Coordinates far outside the image name no texel anyone means.
        if (!(std::fabs(fx) < 1073741824.0 && std::fabs(fy) < 1073741824.0))
            return;
        const i64 x0 = i64(std::floor(fx - 0.5));
        const i64 y0 = i64(std::floor(fy - 0.5));
        i64 xs[2], ys[2];
        if (addressMode == s_AddressClamp) {
            xs[0] = std::clamp<i64>(x0, 0, w - 1);
            xs[1] = std::clamp<i64>(x0 + 1, 0, w - 1);
            ys[0] = std::clamp<i64>(y0, 0, h - 1);
            ys[1] = std::clamp<i64>(y0 + 1, 0, h - 1);
        } else {
            xs[0] = Wrap(x0, w);
            xs[1] = Wrap(x0 + 1, w);
            ys[0] = Wrap(y0, h);
            ys[1] = Wrap(y0 + 1, h);
        }
        const f64 a = fx - (f64(x0) + 0.5);
        const f64 c = fy - (f64(y0) + 0.5);
        // (x0, y0), (x1, y0), (x0, y1), (x1, y1).
        const f64 weights[4] = {(1 - a) * (1 - c), a * (1 - c), (1 - a) * c, a * c};
        const u8* corners[4];
        for (u32 i = 0; i < 4; ++i) {
            corners[i] = GetTexelAddress(u32(xs[i & 1]), u32(ys[i >> 1]), level, face);
            if (!corners[i])
                return;
        }
        const f64 total = weights[0] + weights[1] + weights[2] + weights[3];
        for (u32 k = 0; k < nbComp; ++k) {
            const f64 sum = corners[0][k] * weights[0] + corners[1][k] * weights[1] +
                            corners[2][k] * weights[2] + corners[3][k] * weights[3];
            texel[k] = u8(std::clamp(sum / total, 0.0, 255.0));
        }
    }
    if (count <= nbComp) {
        std::memcpy(out, texel, count);
        return;
    }
    // B, G, R (grey in all three) and alpha 255; never more bytes than asked for.
    if (nbComp < 3)
        texel[1] = texel[2] = texel[0];
    texel[3] = 255;
    std::memcpy(out, texel, std::min(count, std::max(nbComp, 4u)));
}

void CPlugFileImg::GetPixel(u32* out, u32 x, u32 y, u32 level, u32 face) {
    const u32 format = GetFormat();
    if (format == EFormat_BGRA) {
        const u32 nbComp = GetNbComp();
        const u8* texel = nbComp ? GetTexelAddress(x, y, level, face) : nullptr;
        if (!texel)
            return;
        if (nbComp < 3)
            *out = texel[0] * 0x010101u | 0xFF000000u;
        else
            *out = texel[0] | (texel[1] << 8) | (texel[2] << 16) |
                   (u32(nbComp >= 4 ? texel[3] : 255) << 24);
        return;
    }
    const u32 blockBytes = BytesPerBlock(format);
    if (!blockBytes)
        return;
    u32 levelByteSize = 0, levelWidth = 0;
    u8* base = GetLevel(face, level, &levelByteSize, &levelWidth, nullptr);
    if (!base)
        return;
    const u64 offset = Mul(Add(Mul((u64(levelWidth) + 3) / 4, y / 4), x / 4), blockBytes);
    if (Add(offset, blockBytes) > levelByteSize)
        return;
    const u8* block = base + offset;
    const u32 index = (y % 4) * 4 + x % 4;
    if (format == EFormat_DXT1) {
        *out = DecodeColourTexel(block, index, false);
        return;
    }
    const u32 colour = DecodeColourTexel(block + 8, index, true) & 0x00FFFFFFu;
    const u32 alpha = format <= EFormat_DXT3 ? DecodeExplicitAlpha(block, index)
                                             : DecodeInterpolatedAlpha(block, index);
    *out = colour | (alpha << 24);
}

bool CPlugFileImg::HasPixelsAfterLoad() {
    if (!m_Pixels)
        EnsureLoaded();
    return m_Pixels != nullptr;
}

void CPlugFileImg::Resample(u32 width, u32 height, bool filter, u32 addressMode) {
    const u32 dimension = GetDimension();
    if (GetFormat() != EFormat_BGRA || dimension == EDimension_Cube ||
        dimension == EDimension_Volume || !HasPixelsAfterLoad())
        return;
    const u32 nbComp = GetNbComp();
    const u64 size = Mul(Mul(width, height), nbComp);
    u8* pixels = AllocatePixels(size, width, height, 1);
    if (!pixels)
        return;
    u8* texel = pixels;
    for (u32 j = 0; j < height; ++j) {
        const f32 v = f32((f64(j) + 0.5) / height);
        for (u32 i = 0; i < width; ++i, texel += nbComp)
            Sample(texel, f32((f64(i) + 0.5) / width), v, filter, nbComp, 0, 0, addressMode);
    }
    delete[] m_Pixels;
    m_Pixels = pixels;
    m_ByteSize = u32(size);
    m_Width = width;
    m_Height = height;
    // The new block holds level 0 only.
    m_ImageWord &= ~s_MipMapBit;
}

void CPlugFileImg::ScaleToPowerOfTwo(bool shrink, bool filter, u32 addressMode) {
    if (GetFormat() != EFormat_BGRA || !HasPixelsAfterLoad() || m_Width == 0 || m_Height == 0)
        return;
    const auto scaled = [shrink](u32 side) {
        return IsPowerOfTwo(side) ? u64(side) : u64(1) << (Log2(side) + (shrink ? 0 : 1));
    };
    const u64 width = scaled(m_Width);
    const u64 height = scaled(m_Height);
    if ((width == m_Width && height == m_Height) || width > UINT32_MAX || height > UINT32_MAX)
        return;
    Resample(u32(width), u32(height), filter, addressMode);
}

void CPlugFileImg::ExpandToFourComponents(u8 alpha) {
    if (GetFormat() != EFormat_BGRA || !HasPixelsAfterLoad())
        return;
    const u32 nbComp = GetNbComp();
    const u64 texels = Mul(m_Width, m_Height);
    if (Mul(texels, nbComp) > m_ByteSize)
        return;
    const u64 size = Mul(texels, 4);
    u8* pixels = AllocatePixels(size, m_Width, m_Height, 1);
    if (!pixels)
        return;
    const u8* from = m_Pixels;
    u8* to = pixels;
    for (u64 i = 0; i < texels; ++i, from += nbComp, to += 4) {
        if (nbComp >= 3) {
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
        } else if (nbComp > 0) {
            to[0] = to[1] = to[2] = from[0];
        }
        to[3] = alpha;
    }
    Create(m_Width, m_Height, 4, GetFormat(), pixels, u32(size), false, false, EDimension_2d, 1);
}

void CPlugFileImg::ApplyBorder(const u8 colour[4], bool colourFlag, bool alphaFlag) {
    if (GetFormat() != EFormat_BGRA || !HasPixelsAfterLoad())
        return;
    if (alphaFlag && GetNbComp() < 4)
        ExpandToFourComponents(255);
    const u32 nbComp = GetNbComp();
    const u32 first = colourFlag ? 0 : 3;
    const u32 end = std::min(nbComp, alphaFlag ? 4u : 3u);
    if (m_Width == 0 || m_Height == 0 || first >= end ||
        Mul(Mul(m_Width, m_Height), nbComp) > m_ByteSize)
        return;
    const auto paint = [&](u32 x, u32 y) {
        u8* texel = m_Pixels + (u64(x) + u64(y) * m_Width) * nbComp;
        for (u32 k = first; k < end; ++k)
            texel[k] = colour[k];
    };
    for (u32 x = 0; x < m_Width; ++x) {
        paint(x, 0);
        paint(x, m_Height - 1);
    }
    for (u32 y = 0; y < m_Height; ++y) {
        paint(0, y);
        paint(m_Width - 1, y);
    }
}

void CPlugFileImg::MakeFirstTexelTransparent() {
    if (!HasPixelsAfterLoad())
        return;
    const u32 format = GetFormat();
    if (format == EFormat_BGRA && GetNbComp() < 4)
        ExpandToFourComponents(255);
    // Counted once the expansion has kept level 0 only.
    const u32 levels = AreMipMapInSystem() ? Log2(std::max({m_Width, m_Height, 1u})) + 1 : 1;
    for (u32 level = 0; level < levels; ++level) {
        u32 size = 0;
        u8* first = GetLevel(0, level, &size, nullptr, nullptr);
        if (!first)
            continue;
        switch (format) {
            case EFormat_BGRA:
                if (GetNbComp() >= 4 && size >= 4)
                    first[3] = 0;
                break;
            case EFormat_DXT1:
                if (size >= 8) {
                    static constexpr u8 kTransparentBlack[8] = {0x00, 0x00, 0xFF, 0xFF,
                                                                0xFF, 0xFF, 0xFF, 0xFF};
                    std::memcpy(first, kTransparentBlack, 8);
                }
                break;
            case EFormat_DXT2:
            case EFormat_DXT3:
                if (size >= 16)
                    first[0] &= 0xF0;
                break;
            case EFormat_DXT4:
            case EFormat_DXT5:
                if (size >= 16) {
                    if (first[1] < first[0]) {
                        static constexpr u8 kAllTransparent[8] = {0x00, 0xFF, 0, 0, 0, 0, 0, 0};
                        std::memcpy(first, kAllTransparent, 8);
                    } else {
                        first[2] = u8((first[2] & ~7) | 6);
                    }
                }
                break;
            default:
                return;
        }
    }
}

i32 CPlugFileImg::EnsureLoaded() {
    CPlugFile::EnsureLoaded();
    if (!IsLoaded())
        return 0;
    // The bitmap that shows the image derives its flags and usage from the new pixels.
    if (m_Owner)
        m_Owner->UpdateFromImage();
    return 1;
}

void CPlugFileImg::FromCodecImage(GxImage& codec) {
    FreePixels();
    m_Width = codec.m_Width;
    m_Height = codec.m_Height;
    u32 nbComp;
    switch (codec.m_Bits) {
        case 8:
            nbComp = codec.m_PaletteSize != 0 ? 3 : 1;
            break;
        case 15:
        case 16:
            nbComp = codec.m_AlphaMask != 0 ? 4 : 3;
            break;
        case 24:
            nbComp = 3;
            break;
        default:
            nbComp = 4;
            break;
    }
    m_ImageWord =
        (m_ImageWord & ~((s_NbCompMask << s_NbCompShift) | (s_FormatMask << s_FormatShift) |
                         s_MipMapBit | s_OneBitAlphaBit)) |
        (nbComp << s_NbCompShift) | (EFormat_BGRA << s_FormatShift);
    if (!codec.m_Pixels || (codec.m_Bits != 8 && codec.m_Bits != 15 && codec.m_Bits != 16 &&
                            codec.m_Bits != 24 && codec.m_Bits != 32))
        return;
    const u64 texels = u64(m_Width) * m_Height;
    const u64 size = texels * nbComp;
    // The codec's block is already the image's when its texels are the image's bytes, rows
    // without padding.
    const bool sameLayout =
        codec.m_Bits == 8 * nbComp && codec.m_Pitch == u64(m_Width) * nbComp &&
        (nbComp == 1 ||
         (codec.m_ByteOffset[0] == 0 && codec.m_ByteOffset[1] == 1 && codec.m_ByteOffset[2] == 2 &&
          (nbComp == 3 || codec.m_ByteOffset[3] == 3)));
    u8* pixels;
    if (sameLayout && size <= UINT32_MAX) {
        pixels = codec.DetachPixels();
    } else {
        pixels = AllocatePixels(size, m_Width, m_Height, 1);
        if (!pixels)
            return;
        if (nbComp == 1)
            codec.CopyToGrey(pixels);
        else if (nbComp == 3)
            codec.CopyToBGR(pixels);
    }
    bool oneBitAlpha = false;
    if (nbComp == 4) {
        if (sameLayout)
            oneBitAlpha = GxImage::IsOneBitAlpha(pixels, texels);
        else
            codec.CopyToBGRA(pixels, &oneBitAlpha);
    }
    m_Pixels = pixels;
    m_ByteSize = u32(size);
    if (oneBitAlpha)
        m_ImageWord |= s_OneBitAlphaBit;
}

void CPlugFileImg::ToCodecImage(GxImage& codec) {
    if (!m_Pixels)
        EnsureLoaded();
    const u32 nbComp = GetNbComp();
    codec.m_Width = m_Width;
    codec.m_Height = m_Height;
    codec.m_Bits = 8 * nbComp;
    codec.m_Pitch = nbComp * m_Width;
    codec.m_Pixels = m_Pixels;
    codec.m_PaletteSize = 0;
    codec.m_RedMask = 0xFF0000;
    codec.m_GreenMask = 0xFF00;
    codec.m_BlueMask = 0xFF;
    codec.m_AlphaMask = 0xFF000000;
    codec.ComputeChannelShifts();
}

u32 CPlugFileImg::ScaleToPowerOfTwoMember(CMwMemberPath* path) {
    i32 start = -1;
    const MwPathValue* shrink = path->GetArgument(0, MwPathItem_ArgumentBool, &start);
    const MwPathValue* filter = path->GetArgument(1, MwPathItem_ArgumentNatural, &start);
    ScaleToPowerOfTwo(shrink && *shrink != 0, filter && *filter != 0, s_AddressClamp);
    return 0;
}

u32 CPlugFileImg::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        switch (member.MemberId) {
            case 0x09025000:
                return MwAnswerValue(out, GetDimension());
            case 0x09025001:
                return MwAnswerValue(out, m_Width);
            case 0x09025002:
                return MwAnswerValue(out, m_Height);
            case 0x09025003:
                return MwAnswerValue(out, m_Depth);
            case 0x09025004:
                return MwAnswerValue(out, GetNbComp());
            case 0x09025005:
                return MwAnswerValue(out, GetFormat());
            case 0x09025006:
                return MwAnswerValue(out, u32(AreMipMapInSystem()));
            case 0x09025007:
                return MwAnswerValue(out, GetMipLevelSkipAtLoad());
            default:
                return MwNotOwnMember;
        }
    });
}
