#pragma once
// The render nods of a bitmap whose pixels are rendered from the scene (pixel-update kind 4):
// CPlugBitmapRender, the abstract base that says when to render, which items and shadows to
// include, which features to draw, how to clear the target and which channels to write;
// CPlugBitmapRenderWater, a reflection or refraction render for water; CPlugBitmapRenderCubeMap,
// a cube-map render around a point. There is no renderer here: the nods hold, archive and
// expose their settings, and keep their links to bitmaps sound.
#include "core/math/GmFrustum.h"
#include "core/math/Iso.h"
#include "core/math/Vec.h"
#include "plug/bitmap/PlugFile.h"

class CPlugBitmap;

// Which items (or shadows) a render keeps, by visibility category: bit i of mask and ref stands
// for category i (Reflected, ReflectMirror, Refracted, ViewDepBump, ViewDepFoam, OnlyRefracted,
// HideWhenUnderground, HideWhenOverground, HideAlways, ViewDepWindIntens, Background).
struct VisibilityFilter {
    u16 Mask = 0x338;
    u16 Ref = 0;
};

class CPlugBitmapRender : public CPlug {
    MW_DECLARE_CLASS(CPlugBitmapRender, CPlug, 0x09086000)
public:
    enum ETrigger : u32 { TriggerNone, TriggerOnce, TriggerEachFrame };
    enum ERenderPath : u32 { Normal, DepthAsAlpha, GlowInput };
    enum ERenderPathFails : u32 { Ignore, Hide };
    static constexpr u32 s_DefaultFlags = 0x2E8007E2;
    // The flag bit without member that every load clears.
    static constexpr u32 s_LoadClearedBit = 1u << 30;
    // The visibility category HideAlways, forced into the filters by every load.
    static constexpr u16 s_HideAlwaysBit = 1u << 8;
    // The members, by id (0x09086000 + n).
    static constexpr u32 s_TriggerRenderMemberId = 0x09086000;
    static constexpr u32 s_FirstFilterMemberId = 0x09086004;
    static constexpr u32 s_CategoryCount = 11;

    CPlugBitmapRender() = default;
    CPlugBitmapRender(const CPlugBitmapRender&) = delete;
    CPlugBitmapRender& operator=(const CPlugBitmapRender&) = delete;
    ~CPlugBitmapRender() override;

    // 2 water, 1 cube map, 0 camera.
    virtual u32 GetRenderKind() = 0;
    // True when the render draws the scene without a camera nod of its own.
    virtual bool IsWithoutCamera() = 0;
    // The bitmap whose pixels the render fills (held without reference; the bitmap clears it when
    // it gives the render up).
    virtual void SetOwnerBitmap(CPlugBitmap* bitmap);

    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;
    void OnAfterLoad() override;

    // Takes a reference on the new clear bitmap (none allowed), gives the old one back, then
    // samples the clear colour at uv; a successful sample sets the owner's dirty flag.
    void SetBitmapClear(CPlugBitmap* bitmap, Vec2 uv);
    // The clear colour from the clear bitmap's texel at uv (clamped into [0, 1], then stored):
    // only a 4-byte BGRA image that holds or can load its pixels serves; another clear bitmap
    // is given back and forgotten. False without a colour taken.
    bool SampleClearColour(Vec2 uv);
    // The flag word and the clear colour of the other render.
    void CopyRenderSettings(const CPlugBitmapRender& other);

    CPlugBitmap* GetOwnerBitmap() const { return m_OwnerBitmap; }
    CPlugBitmap* GetBitmapClear() const { return m_BitmapClear; }
    // A flag-word member's value (member id 0x09086000 + n); 0 for another member.
    u32 GetFlagMember(u32 memberId) const;

    u32 m_RenderFlags = s_DefaultFlags;
    // B, G, R, A.
    u8 m_ClearColor[4] = {};
    VisibilityFilter m_ItemFilter;
    VisibilityFilter m_ShadowFilter;
    // Nothing in this system reads it.
    u32 m_Unused = 0;
    u32 m_RenderPath = Normal;
    u32 m_RenderPathFails = Hide;
    f32 m_FogCustomFarZ = 50.0f;
    Vec2 m_BitmapClearUV;

protected:
    // The owner's bitmap-facing state changed: its pixel update is to be done again.
    void ClearOwnerDone();

private:
    // The old flag word of the first forms, and of the later ones.
    void ConvertOldFlagsFirst(u32 old);
    void ConvertOldFlagsLater(u32 old);
    // Clear colour and flag word, optionally followed by the clear bitmap and its UV.
    void ArchiveClearSettings(CClassicArchive& archive, u32 chunkId);
    u32 SetOwnMember(CMwMemberInfo& member, CMwMemberPath* path, const void* value);
    u32 GetOwnMember(CMwMemberInfo& member, CMwMemberPath* path, CMwParamValue* out);
    u16* FilterWord(u32 memberId, u32* bit);

    // No reference.
    CPlugBitmap* m_OwnerBitmap = nullptr;
    // One reference held.
    CPlugBitmap* m_BitmapClear = nullptr;
};

class CPlugBitmapRenderWater : public CPlugBitmapRender {
    MW_DECLARE_CLASS(CPlugBitmapRenderWater, CPlugBitmapRender, 0x09087000)
public:
    // Bit 0 (always set) and WaterType Reflection.
    static constexpr u32 s_DefaultWaterFlags = 3;

    CPlugBitmapRenderWater();

    u32 GetRenderKind() override { return 2; }
    bool IsWithoutCamera() override { return true; }
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    u32 GetFlagMember(u32 memberId) const;

    GmFrustum m_Frustum;
    Iso4 m_Location;
    f32 m_ClipPlaneHeight = 0.0f;
    f32 m_FrustrumMargin = 0.05f;
    f32 m_MirrorScaleY = 1.0f;
    f32 m_FogMaxDepth = 1.0f;
    u32 m_WaterFlags = s_DefaultWaterFlags;

private:
    void ArchiveVolume(CClassicArchive& archive);
    // The old forms: each adds its fields to the one before.
    void ReadOldForm(CClassicArchive& archive, u32 chunkId);
};

class CPlugBitmapRenderCubeMap : public CPlugBitmapRender {
    MW_DECLARE_CLASS(CPlugBitmapRenderCubeMap, CPlugBitmapRender, 0x09088000)
public:
    u32 GetRenderKind() override { return 1; }
    bool IsWithoutCamera() override { return true; }
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;
    // Writing the cube map to a file is the renderer's; nothing happens here.
    void SaveInTga() {}

    u32 m_DirtyFaceCount = 6;
    f32 m_NearZ = 0.5f;
    f32 m_FarZ = 1000.0f;
    Vec3 m_CenterPosInVisual;
};
