#pragma once
// CPlugFileImg, the engine's in-memory picture: a size, a pixel format (the image word) and one
// block of pixel bytes that holds every face, and in each face the mip levels from level 0 down
// (all of them when AreMipMapInSystem is set, else level 0 only); in each level its depth slices,
// and in each slice the rows bottom-up (row 0 is the bottom row), without padding. Uncompressed
// rows are width x NbComp x (bytes per component) bytes; compressed levels are
// ((height + 3) / 4) rows of ((width + 3) / 4) blocks.
//
// Sizes are counted in 64 bits. A block larger than 4 GB or than the image limit (1 GiB unless
// set) is never allocated: the image stays without pixels and the log says why. Every accessor
// but GetPixelPtr checks that the bytes it reads or writes lie inside the recorded block
// (m_ByteSize bytes at m_Pixels): outside, it answers null or writes nothing.
#include "plug/bitmap/PlugFile.h"

class CPlugBitmap;
class GxImage;

class CPlugFileImg : public CPlugFile {
    MW_DECLARE_CLASS(CPlugFileImg, CPlugFile, 0x09025000)
public:
    enum EDimension : u32 {
        EDimension_1d = 0,
        EDimension_2d = 1,
        EDimension_Cube = 2,
        EDimension_Volume = 3,
    };
    enum EFormat : u32 {
        EFormat_BGRA = 0,
        EFormat_DXT1 = 1,
        EFormat_DXT2 = 2,
        EFormat_DXT3 = 3,
        EFormat_DXT4 = 4,
        EFormat_DXT5 = 5,
        EFormat_RGBA16 = 6,
        EFormat_RGBA16F = 7,
        EFormat_RGBA32F = 8,
    };
    // The image word's fields.
    static constexpr u32 s_DimensionShift = 0, s_DimensionMask = 0x3;
    static constexpr u32 s_NbCompShift = 2, s_NbCompMask = 0x7;
    static constexpr u32 s_FormatShift = 5, s_FormatMask = 0xF;
    static constexpr u32 s_MipMapBit = 1u << 9;
    static constexpr u32 s_OneBitAlphaBit = 1u << 10;
    static constexpr u32 s_MipSkipShift = 11, s_MipSkipMask = 0xF;
    // "2d", NbComp 3, "BGRA", no mip chain.
    static constexpr u32 s_NewImageWord = 13;
    // Address modes of Sample, Resample and ScaleToPowerOfTwo: 2 clamps, every other value wraps.
    static constexpr u32 s_AddressClamp = 2;

    // The largest pixel block an image allocates, in bytes; tests and fuzz targets lower it.
    static u64 GetImageLimit();
    static void SetImageLimit(u64 bytes);

    CPlugFileImg() = default;
    CPlugFileImg(const CPlugFileImg&) = delete;
    CPlugFileImg& operator=(const CPlugFileImg&) = delete;
    ~CPlugFileImg() override;

    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    // The CPlugFile load from the bound file id; 1 when the image then holds pixels.
    i32 EnsureLoaded() override;

    u32 GetDimension() const { return (m_ImageWord >> s_DimensionShift) & s_DimensionMask; }
    u32 GetNbComp() const { return (m_ImageWord >> s_NbCompShift) & s_NbCompMask; }
    u32 GetFormat() const { return (m_ImageWord >> s_FormatShift) & s_FormatMask; }
    bool AreMipMapInSystem() const { return (m_ImageWord & s_MipMapBit) != 0; }
    bool IsOneBitAlpha() const { return (m_ImageWord & s_OneBitAlphaBit) != 0; }
    u32 GetMipLevelSkipAtLoad() const { return (m_ImageWord >> s_MipSkipShift) & s_MipSkipMask; }
    // DXT1 to DXT5.
    bool IsCompressed() const;

    bool IsLoaded() const { return m_Pixels != nullptr; }
    // (Re)defines the image and takes the block given (freeing the old one): "BGRA" and
    // "RGBA16" allocate a zeroed block of ByteSize(true) bytes when none is given; "DXT1" to
    // "DXT5" keep the given block (maybe null) and byte size as they are; "RGBA16F" and
    // "RGBA32F" keep no block (one given is freed). cMipLevelSkipAtLoad does not change.
    void Create(u32 width, u32 height, u32 nbComp, u32 format, u8* pixels, u32 byteSize,
                bool mipMaps, bool oneBitAlpha, u32 dimension, u32 depth);
    // The pixel block, allocated at ByteSize(true) bytes (zeroed) when there is none, and its
    // size recorded; null for a Format above 8 or a block that may not be allocated.
    u8* EnsurePixelBuffer();
    void FreePixels();
    // The size of the block: the whole chain when countMips and AreMipMapInSystem, else level 0;
    // six faces for "Cube", Depth slices for "Volume".
    u64 ByteSize(bool countMips) const;

    // Address of a level of a face, with that level's byte size, width and height; null (the
    // outputs untouched) for a face or level the image does not have or a level that does not
    // lie inside the block.
    u8* GetLevel(u32 face, u32 level, u32* levelByteSize, u32* levelWidth, u32* levelHeight);
    // The level's address + (x + y x level width) x NbComp; null when those NbComp bytes do not
    // lie inside the block.
    u8* GetTexelAddress(u32 x, u32 y, u32 level, u32 face);
    // pixels + (x + y x Width) x NbComp: the unchecked accessor of level 0, face 0, for callers
    // that pass coordinates inside it.
    u8* GetPixelPtr(u32 x, u32 y);
    // Level 0 of the face at (x, y) wrapped into the image (negative coordinates by remainder,
    // then masked by side - 1, which suits power-of-two sides); null for a zero side.
    u8* GetTexelWrapped(i32 x, i32 y, u32 face);
    // GetTexelWrapped (truncate (Width x u), truncate (Height x v), face).
    u8* GetTexelAtUV(f32 u, f32 v, u32 face);
    // One texel value of `count` components into out: without filter the texel at (u, v) of
    // level 0 (clamped to [0, 0.9999] in clamp mode); with filter the bilinear blend of the four
    // texels around (u, v) in the level. When count is larger than NbComp, the texel is given as
    // B, G, R, A with alpha 255 (a grey texel in B, G and R), at most four bytes. Nothing is
    // written when a texel lies outside the block or u, v are not finite.
    void Sample(u8* out, f32 u, f32 v, bool filter, u32 count, u32 level, u32 face,
                u32 addressMode);
    // One texel as B | G << 8 | R << 16 | A << 24: "BGRA" (grey in B, G and R; alpha 255 unless
    // there are four components), "DXT1" to "DXT5" decoded; other formats leave out unchanged.
    void GetPixel(u32* out, u32 x, u32 y, u32 level, u32 face);

    // "BGRA" 1d and 2d images only: level 0 resampled to the new size (the image keeps level 0
    // only).
    void Resample(u32 width, u32 height, bool filter, u32 addressMode);
    // "BGRA" only: each side that is not a power of two becomes the power of two below it
    // (shrink) or above it; nothing for a zero side.
    void ScaleToPowerOfTwo(bool shrink, bool filter, u32 addressMode);
    // "BGRA" only: level 0 as four components with the given alpha (a grey texel in B, G and
    // R), a "2d" image without chain.
    void ExpandToFourComponents(u8 alpha);
    // "BGRA" only: the outer frame of level 0 of face 0 takes the colour's components B, G, R
    // (colour flag) and A (alpha flag, which expands a smaller image to four components first).
    void ApplyBorder(const u8 colour[4], bool colourFlag, bool alphaFlag);
    // The first texel of each level made transparent (for "DXT1" its whole 4 x 4 block).
    void MakeFirstTexelTransparent();

    // The picture a codec read: its size, NbComp by bit depth (8: 3 with a palette, else 1; 15
    // and 16: 4 with an alpha mask, else 3; 24: 3; 32: 4), "BGRA" without chain, the pixels
    // converted to B, G, R, A bytes (one-bit alpha set exactly when every alpha byte is 0 or
    // 255). A codec block already in that layout is taken over instead of copied (the codec
    // image then holds none). Dimension and Depth do not change. Without codec pixels, or when
    // the block may not be allocated, the image keeps no pixels.
    void FromCodecImage(GxImage& codec);
    // The codec view of the pixels (loaded first when there are none): 8 x NbComp bits, B, G,
    // R, A masks, the image's own block shared. The caller detaches it (GxImage::DetachPixels)
    // before the codec image is destroyed.
    void ToCodecImage(GxImage& codec);

    // Member ScaleToPowerOfTwo (Shrink, TexFilter), with clamp addressing.
    u32 ScaleToPowerOfTwoMember(CMwMemberPath* path);

    // The bitmap that shows this image (a back pointer without a reference, set by the bitmap).
    CPlugBitmap* m_Owner = nullptr;
    u32 m_Width = 0;
    u32 m_Height = 1;
    u32 m_Depth = 1;
    u32 m_ImageWord = s_NewImageWord;
    u8* m_Pixels = nullptr;
    u32 m_ByteSize = 0;

private:
    // Allocates a zeroed block within the limits; null (and a log line) otherwise.
    static u8* AllocatePixels(u64 size, u32 width, u32 height, u32 depth);
    // The pixels, loading the image first when it has none.
    bool HasPixelsAfterLoad();
    // Level count of a face: the whole chain with AreMipMapInSystem, else 1.
    u32 LevelCount() const;
};

// Texels of the mip chain of a w x h x d image from level `skip` on, `levels` levels (0: down to
// 1 x 1 x 1).
u64 CountTexels(u32 width, u32 height, u32 skip, u32 levels, u32 depth);
// 4 x 4 blocks of the same chain.
u64 CountMipChainBlocks(u32 width, u32 height, u32 skip, u32 levels, u32 depth);
