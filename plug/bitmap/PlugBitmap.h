#pragma once
// CPlugBitmap, the texture asset over one image (CPlugFileImg or a subclass): how the image is
// to be used (usage, colour depth, filtering and addressing, mip mapping, compression, bump
// scaling, atlas subdivision, default texture-coordinate transform) in three flag words whose bit
// layout is a file format, and an optional pixel-update payload that regenerates the pixels.
//
// There is no renderer here: the bitmap keeps its data and flags, sets its dirty flag on every
// change that matters to a renderer and tells g_PlugBitmapListener when the flag goes up.
#include "core/base/FastBuffer.h"
#include "core/math/GmColor.h"
#include "core/math/Vec.h"
#include "core/nod/MwNod.h"
#include "plug/bitmap/PlugFile.h"

#include <memory>
#include <variant>

class CPlugBitmap;
class CPlugBitmapRender;
class CPlugBitmapShader;
class CPlugFileImg;
class CPlugFileVideo;

// Told when a bitmap's dirty flag goes from 0 to 1 (the renderer's side; nothing here
// registers one).
class CPlugBitmapListener {
public:
    virtual void OnBitmapDirty(CPlugBitmap* bitmap) = 0;

protected:
    ~CPlugBitmapListener() = default;
};
extern CPlugBitmapListener* g_PlugBitmapListener;

// Pixel-update kind 1: copies of regions of source bitmaps.
struct BitmapCopySource {
    CPlugBitmap* Source = nullptr;
    u32 Count = 0;
    u32 Zero = 0;
    i32 Last = -1;
};
struct BitmapRect {
    i32 X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
};
struct BitmapCopyRegions {
    BitmapCopyRegions() = default;
    BitmapCopyRegions(const BitmapCopyRegions&) = delete;
    BitmapCopyRegions& operator=(const BitmapCopyRegions&) = delete;
    ~BitmapCopyRegions() {
        Sources.FreeItems();
        Rects.FreeItems();
        Third.FreeItems();
    }

    CFastBuffer<BitmapCopySource> Sources;
    CFastBuffer<BitmapRect> Rects;
    // Nothing in this system fills the third list.
    CFastBuffer<u32> Third;
};

// Pixel-update kind 2: a blend of two regions of a source bitmap.
struct BitmapBlendRegions {
    CPlugBitmap* Source = nullptr;
    BitmapRect A, B;
    f32 Factor = -1.0f;
    i32 Last = -1;
};

// One frame callback of a video payload: an object and the function that calls it, both null
// when the video is gone. Call answers 0 without them.
struct BitmapFrameCallback {
    using Function = i32 (*)(CPlugFileVideo* video, CPlugBitmap* bitmap, u32 zero, u32 nbComp,
                             u32 hasAlpha, u8* pixels, u32 pitch);
    CPlugFileVideo* Object = nullptr;
    Function Call = nullptr;

    i32 operator()(CPlugBitmap* bitmap, u32 zero, u32 nbComp, u32 hasAlpha, u8* pixels,
                   u32 pitch) const {
        return Object && Call ? Call(Object, bitmap, zero, nbComp, hasAlpha, pixels, pitch) : 0;
    }
};

// Pixel-update kind 3: the video that refreshes the bitmap and its two frame callbacks.
struct BitmapVideoFrames {
    CPlugFileVideo* Video = nullptr;
    u32 Counter = 0;
    BitmapFrameCallback Callbacks[2];
};

// Pixel-update kind 7: regions with a dynamic specular highlight.
struct DynaSpecularRegion {
    u32 First = 0;
    u32 Zero = 0;
    i32 X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
    // Texture-coordinate transform: su, 0, 0, sv, tu, tv.
    f32 Transform[6] = {};
    GmColorRgb Color;
    f32 Exponent = 0.0f;
    f32 Last = 0.0f;
};

class DynaSpecularRegionList {
public:
    DynaSpecularRegionList() = default;
    DynaSpecularRegionList(const DynaSpecularRegionList&) = delete;
    DynaSpecularRegionList& operator=(const DynaSpecularRegionList&) = delete;
    ~DynaSpecularRegionList() { m_Items.FreeItems(); }

    // Where a reader of the list stands: the region read last (none), its index, the first
    // region.
    struct Cursor {
        const DynaSpecularRegion* Current = nullptr;
        i32 Index = -1;
        const DynaSpecularRegion* First = nullptr;
    };

    u32 GetCount() const { return m_Items.m_Count; }
    DynaSpecularRegion& operator[](u32 index) { return m_Items.m_Items[index]; }
    // A new region at the end: the list's default first word, 0, the rest zero.
    DynaSpecularRegion& Add();
    // Keeps the first n regions (n at most the count); the cursor is reset when the list
    // shrinks.
    void Shrink(u32 n);
    const Cursor& GetCursor() const { return m_Cursor; }
    void SetCursor(const Cursor& cursor) { m_Cursor = cursor; }

    u32 m_DefaultFirst = 0;

private:
    void ResetCursor();

    CFastBuffer<DynaSpecularRegion> m_Items;
    Cursor m_Cursor;
};

// The atlas subdivision: entries {CountU, CountV}, sub-entries {entry index, U, V}.
struct PlugBitmapAtlas {
    u16 CountU = 0;
    u16 CountV = 0;
};
struct PlugBitmapAtlasSub {
    u16 Atlas = 0;
    u8 SubIndexU = 0;
    u8 SubIndexV = 0;
};

class CPlugBitmap : public CPlug {
    MW_DECLARE_CLASS(CPlugBitmap, CPlug, 0x09011000)
public:
    enum EUsage : u32 {
        Color,
        Light,
        Height2DuDv,
        Render,
        Height2DuDvLumi,
        Height2NxNyNz,
        Height2NxNy,
        Depth,
        DispH01,
        Height2NormPal8b,
        NxNyNz,
        NxNy,
        NormPal8b,
        NormPal16b,
        ColorFloat,
        RenderFloat,
        Height2DuDv1,
        Alpha,
        LightAlpha,
        Height2RxG0BzAy,
        NormRxG0BzAy,
        TexCoord,
        Render16b,
        Vertex,
        Height2BumpTxTy,
        BumpTxTy,
        Height2R0GyBzAx,
        NormR0GyBzAx,
        UsageCount
    };
    enum ECompressMode : u32 { CompressNone, CompressPal8b, CompressDXT1, CompressPal16b };
    enum ERenderMode : u32 {
        RenderNone,
        RenderRender,
        RenderShader,
        RenderDynaSpecular,
        RenderClear
    };
    // Pixel-update kinds (bits 8-15 of the first word).
    enum PixelUpdateKind : u32 {
        PixelUpdateNone = 0,
        PixelUpdateCopy = 1,
        PixelUpdateBlend = 2,
        PixelUpdateVideo = 3,
        PixelUpdateRender = 4,
        PixelUpdateShader = 5,
        PixelUpdateLegacy = 6,
        PixelUpdateDynaSpecular = 7,
        PixelUpdateClear = 8,
    };
    // Class id of the generated image, which Render and Render16b need.
    static constexpr u32 s_GeneratedImageClassId = 0x0902F000;
    // Flag words at construction.
    static constexpr u32 s_DefaultFlags[3] = {0x15D00000, 0x1E440003, 0x200};
    // Bits that are no member of their own.
    static constexpr u32 s_KindShift = 8, s_KindMask = 0xFF; // first word
    static constexpr u32 s_DirtyBit = 1u << 18;              // first word
    static constexpr u32 s_SwapPartnerBit = 1u << 17;        // second word
    static constexpr u32 s_PixelUpdateDoneBit = 1u << 23;    // second word

    CPlugBitmap();
    CPlugBitmap(const CPlugBitmap&) = delete;
    CPlugBitmap& operator=(const CPlugBitmap&) = delete;
    ~CPlugBitmap() override;

    void OnDependencyDestroyed(CMwNod* nod) override;
    void OnDependencyReleased(CMwNod* nod) override;
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
    u32 AddParamVirtual(CMwMemberPath* path, const void* value) override;
    u32 SubParamVirtual(CMwMemberPath* path, const void* value) override;
    // Loads the file id's nod again (load mode 7): a picture that is the current image drops its
    // pixels and is prepared again from the file; another picture becomes the image.
    void OnFileReloaded(u32, CMwNod* fid) override;

    // Attaches a non-null image (null is refused with a log line): owner links, one reference,
    // the usage rules run again, a video image is bound (kind 3).
    void SetImage(CPlugFileImg* image);
    CPlugFileImg* GetImage() const { return m_Image; }
    void SetWantMipMapping(bool on);
    void SetTexAddress(u32 u, u32 v, u32 w);
    void SetWantedColorDepth(u32 depth);
    void SetMipLevelSkipCountMax(u32 n);
    // False (nothing changed) for a usage the image cannot serve.
    bool SetUsage(u32 usage);
    bool IsUsageCompatible(u32 usage);
    // Derives the cube, mip, one-bit-alpha and power-of-two flags and a usage the image can
    // serve; called again whenever the image (re)loads its pixels.
    void UpdateFromImage();
    void SetDirty(bool dirty);
    // Switches the pixel-update kind and its payload; answers the kind in force. Kind 4 installs
    // the render given (a CPlugBitmapRender), or a new water render (cube-map render for a cube
    // map) when none is given and the bitmap has no render yet; kind 5 a new shader payload with
    // a new CPlugShaderApply. A payload given up is first told it no longer serves this bitmap.
    u32 SetPixelUpdate(u32 kind, CMwNod* payload = nullptr);
    // Kind 5, then the shader given to the payload: true; false for none (or a nod that is no
    // shader).
    bool SetUpdateShader(CMwNod* shader);
    // The partner is held without reference, through the dependant links.
    void SetSwapPartner(CPlugBitmap* partner, bool flag);
    CPlugBitmap* GetSwapPartner() const { return m_SwapPartner; }
    // Frees the image's pixels, when it holds some and CanBeDeletedFromSystemMemory is set, so
    // that the next preparation reloads them.
    void DropPreparedPixels();

    // Makes the image ready for use: loads its pixels, writes the forced border into level 0
    // and the first texel's alpha (both only while the bitmap is dirty, whose flag is read and
    // never cleared) and builds the mip chain WantMipMapping asks for. False without an image,
    // when its pixels cannot be had, or when the chain cannot be built.
    bool PrepareImage();
    // Builds the image's whole mip chain (every face of a cube) into one block: the 4 x 4
    // gaussian for power-of-two sides, the polyphase box otherwise. False for compressed and
    // volume images and when the block cannot be had; true at once with a chain in memory and
    // no forced border.
    bool BuildMipChain();
    // Writes the prepared image as a DDS file (DXT1, DXT1 with one-bit alpha, DXT3 or DXT5 by
    // the usage and the flags, every level largest first) at targetPath, or beside the image's
    // file with the extension ".dds" when targetPath is empty. The file is written through a
    // temporary file: on any failure the result is false and an old target stays as it was.
    // With reload the written file is loaded and becomes the image. The image's pixels read as
    // before on return.
    bool CompressToDds(bool reload, CClassicWideStringRef targetPath, bool log);
    // The two height usages: target becomes the normal map of the prepared height image (and
    // of each level of its chain), NormRxG0BzAy or NormR0GyBzAx by the layout given.
    void ConvertHeightToNormals(CPlugFileImg* target, u32 layout);

    u32 GetUsage() const { return m_Flags[0] & 0xFF; }
    u32 GetWantedColorDepth() const { return (m_Flags[0] >> 16) & 3; }
    u32 GetPixelUpdateKind() const { return (m_Flags[0] >> s_KindShift) & s_KindMask; }
    bool IsDirty() const { return (m_Flags[0] & s_DirtyBit) != 0; }
    // A flag-word member's value (member id 0x09011000 + n).
    u32 GetFlagMember(u32 memberId) const;

    // The payload of the kind in force; null for another kind.
    BitmapCopyRegions* GetCopyRegions();
    BitmapBlendRegions* GetBlendRegions();
    BitmapVideoFrames* GetVideoFrames();
    DynaSpecularRegionList* GetDynaSpecularRegions();
    // The render (kind 4) and the shader payload (kind 5); null for another kind.
    CPlugBitmapRender* GetRender();
    CPlugBitmapShader* GetShaderPayload();
    // The packed clear colour B | G << 8 | R << 16 | A << 24 (kind 8); null for another kind.
    u32* GetClearColor();
    // Forgets the video when it is the one in the video payload (the video is going, or binds
    // another bitmap).
    void ForgetVideo(CPlugFileVideo* video);

    u32 m_Unused = 0;
    f32 m_DefaultMipMapLodBias = 0.0f;
    Vec2 m_DefaultTexCoordScale{1.0f, 1.0f};
    Vec2 m_DefaultTexCoordTrans;
    f32 m_DefaultTexCoordRotate = 0.0f;
    CFastBuffer<PlugBitmapAtlas> m_AtlasEntries;
    CFastBuffer<PlugBitmapAtlasSub> m_AtlasSubEntries;
    // One reference held; the image's owner is this bitmap.
    CPlugFileImg* m_Image = nullptr;
    u32 m_Flags[3] = {s_DefaultFlags[0], s_DefaultFlags[1], s_DefaultFlags[2]};
    f32 m_MipMapLowerAlpha = 0.0f;
    CFastArray<f32> m_MipMapFadeAlphas;
    f32 m_BumpScaleFactor = 1.0f;
    f32 m_BumpScaleMipLevel = 0.5f;
    // B, G, R, A.
    u8 m_BorderColor[4] = {};
    // No reference: this bitmap is one of the partner's dependants.
    CPlugBitmap* m_SwapPartner = nullptr;
    // The payload of the pixel-update kind in force (the kind is its tag): nothing (kinds 0, 6),
    // the record of kind 1, 2, 3 or 7, the packed clear colour of kind 8, or the nod of kind 4
    // or 5 (one reference held).
    using Payload =
        std::variant<std::monostate, std::unique_ptr<BitmapCopyRegions>,
                     std::unique_ptr<BitmapBlendRegions>, std::unique_ptr<BitmapVideoFrames>,
                     std::unique_ptr<DynaSpecularRegionList>, u32, CPlugBitmapRender*,
                     CPlugBitmapShader*>;
    Payload m_Payload;

private:
    // One level of the power-of-two chain of one face: source level - 1 (sw x sh, NbComp
    // components of `bytesPerComponent` bytes) into dest; the bytes written.
    u32 BuildMipLevel(const u8* source, u32 sw, u32 sh, u8* dest, u32 level, u32 levelCount,
                      u32 nbComp, u32 bytesPerComponent);
    // The box filter's level of any size: `texelBytes` bytes per texel filtered one by one.
    static u32 BuildMipLevelNonPow2(const u8* source, u32 sw, u32 sh, u8* dest, u32 texelBytes);
    // The chain frame both filters share.
    bool BuildMipChainFrame(bool pow2);
    void SetFlagMember(u32 memberId, u32 value);
    bool GetFlag(u32 memberId) const { return GetFlagMember(memberId) != 0; }
    void FreePayload();
    void MakeDynaSpecular();
    bool HasRenderUsage() const;
    // The member's own answers.
    u32 SetOwnMember(CMwMemberInfo& member, CMwMemberPath* path, const void* value);
    u32 GetOwnMember(CMwMemberInfo& member, CMwMemberPath* path, CMwParamValue* out);
    u32 SetPixelUpdateMember(u32 mode);
    // Render (kind 4) or Shader (kind 5): forwarded along the path, or the payload replaced.
    u32 SetPayloadMember(u32 memberId, CMwMemberPath* path, const void* value);
    // The nod of the Render or Shader member when it holds one of the kind in force.
    CMwNod* PayloadNod(u32 memberId);
    u32 SetImageMember(CMwMemberPath* path, const void* value);
    DynaSpecularRegion* SingleSpecularRegion();

    // What the list members answer when read whole, rebuilt on each read.
    CFastArray<u32> m_ListView;
    CFastArray<CClassicString> m_TextView;
};

// The DDS writer's output: every piece the compressor hands over during one compression, kept
// for the file. Its length starts at 0 with each compression; its memory stays between
// compressions and goes at exit. One compression at a time.
struct DdsOutputBuffer {
    DdsOutputBuffer() = default;
    DdsOutputBuffer(const DdsOutputBuffer&) = delete;
    DdsOutputBuffer& operator=(const DdsOutputBuffer&) = delete;
    ~DdsOutputBuffer();

    u8* Data = nullptr;
    u32 Length = 0;
    u32 Capacity = 0;
    // Set when a piece could not be kept (no memory, or past 4 GB); the file is then not written.
    bool Failed = false;
};
extern DdsOutputBuffer g_DdsOutputBuffer;

// The compressor's write callback for DDS output: appends the bytes to g_DdsOutputBuffer (the
// level is not read). A buffer too small grows to the length needed when that exceeds the
// capacity by more than half of it, else by half its capacity. Answers 0.
i32 AppendCompressedBytes(const u8* data, i32 level, u32 byteCount);

// The 4 x 4 weights of the power-of-two mip filter, row by row: exp (-1.501 x ((c - 1.5)^2 +
// (r - 1.5)^2)) over their sum, computed once.
const f32* MipGaussianKernel();
// Where the mip filter's tap k of an axis of `side` texels (a power of two) reads, by the axis's
// address mode (0 Wrap, 1 Mirror, 2 Clamp, 3 MirrorOnce).
u32 MipTapIndex(i64 k, u32 side, u32 addressMode);
