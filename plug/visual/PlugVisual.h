#pragma once
// CPlugVisual, the abstract base of every geometry nod: the flag word with its hints, vertex
// switches and pending-change bits, the bounding box, the texture-coordinate sets, the skin
// record, the vertex streams, sub-visuals, splits, the face-cull record and the function that
// animates the visual. Subclasses keep the vertices and fill in the geometry operations.
//
// There is no renderer here: a visual records what changed in its pending bits (vertex layout,
// indices, geometry) and tells g_PlugVisualListener when one of them goes up.
#include "core/base/FastBuffer.h"
#include "core/math/Iso.h"
#include "core/math/Vec.h"
#include "core/nod/MwId.h"
#include "plug/bitmap/PlugFile.h"
#include "plug/visual/PlugVertex.h"

#include <memory>
#include <vector>

class CPlugVisual;
class CPlugVertexStream;
struct SPlugVertexBuffer;
struct SPlugRayHit;

// Told when a pending bit of a visual goes from 0 to 1 (the renderer's side; nothing here
// registers one).
class CPlugVisualListener {
public:
    virtual void OnVisualChanged(CPlugVisual* visual) = 0;

protected:
    ~CPlugVisualListener() = default;
};
extern CPlugVisualListener* g_PlugVisualListener;

// Bytes of one element of a texture-coordinate set by format (2, 3 or 4 floats).
inline constexpr u32 kPlugTexCoordElementBytes[3] = {8, 12, 16};
inline constexpr u32 kPlugVisualMaxTexCoordSets = 8;
// Bytes of one vertex's skin entry by bone-index count 0 to 5; 6 and 7 have no entry.
inline constexpr u32 kPlugSkinEntryBytes[6] = {0, 1, 8, 12, 16, 4};
inline constexpr u32 kPlugSkinMaxIndexCount = 5;

// One texture-coordinate array: its format, element count and data (count elements of the
// format's size). Elements past what a writer had are zero.
struct TexCoordSet {
    u32 m_Format = 0;
    u32 m_Count = 0;
    std::unique_ptr<u8[]> m_Data;

    u32 ElementBytes() const { return m_Format < 3 ? kPlugTexCoordElementBytes[m_Format] : 0; }
    // A zeroed block of n elements of the format.
    void Allocate(u32 n);
};

struct PlugBoneBox {
    Vec3 m_Center;
    Vec3 m_HalfDiag;
};
static_assert(sizeof(PlugBoneBox) == 24);
static_assert(sizeof(Iso4) == 48);

// The skin: a flag, one entry of m_EntryBytes per vertex (the first bytes are bone indices), the
// bone matrices and the bone boxes.
struct PlugVisualSkin {
    u32 m_Flag = 0;
    u32 m_EntryBytes = 0;
    u32 m_Count = 0;
    std::unique_ptr<u8[]> m_Data;
    std::vector<Iso4> m_Bones;
    std::vector<PlugBoneBox> m_BoneBoxes;

    // A zeroed block of n entries of entryBytes.
    void Allocate(u32 n, u32 entryBytes);
};

struct PlugVisualSplit {
    f32 m_Box[6] = {}; // centre x, y, z, half-size x, y, z
    u32 m_First = 0;
    u32 m_Count = 0;
    u32 m_RuntimeA = 0;
    u32 m_RuntimeB = 0;
};

struct PlugSubVisual {
    u32 m_FirstVertex = 0;
    u32 m_FirstIndex = 0;
    u32 m_IndexCount = 0;
};
static_assert(sizeof(PlugSubVisual) == 12);

// Two cones, back first.
struct PlugFaceCull {
    Vec3 m_BackTop;
    Vec3 m_BackDir;
    f32 m_BackCos = 0.0f;
    Vec3 m_FrontTop;
    Vec3 m_FrontDir;
    f32 m_FrontCos = 0.0f;
};

// The function that animates the visual and a source visual, one reference each.
struct PlugFuncVisualHolder {
    CMwNod* m_Func = nullptr;
    CPlugVisual* m_Source = nullptr;
    u32 m_Zero = 0;
};

// A record of ReorderVertices: the old vertex that becomes new vertex i, and the new index of old
// vertex i (its low 16 bits).
struct PlugVertexReorder {
    u32 m_Source = 0;
    u32 m_NewIndex = 0;
};

class CPlugVisual : public CPlug {
    MW_DECLARE_CLASS(CPlugVisual, CPlug, 0x09006000)
public:
    // Flag word bits.
    static constexpr u32 s_SkinIndexMask = 0x7;
    static constexpr u32 s_GeometryStaticBit = 1u << 3;
    static constexpr u32 s_PendingLayoutBit = 1u << 4;
    static constexpr u32 s_IndexationStaticBit = 1u << 5;
    static constexpr u32 s_PendingIndicesBit = 1u << 6;
    static constexpr u32 s_VertexNormalBit = 1u << 7;
    static constexpr u32 s_VertexColorBit = 1u << 8;
    static constexpr u32 s_PendingGeometryBit = 1u << 10;
    static constexpr u32 s_OptimizeInVisionBit = 1u << 17;
    static constexpr u32 s_DynaPartBit = 1u << 18;
    static constexpr u32 s_FaceCullPendingBit = 1u << 19;
    static constexpr u32 s_DefaultFlags = 0x000804F0;
    // The chunks.
    static constexpr u32 s_GeometryChunk = 0x0900600A;
    static constexpr u32 s_OldGeometryChunk = 0x09006003;
    static constexpr u32 s_OlderGeometryChunk = 0x09006008;
    static constexpr u32 s_FuncVisualChunk = 0x09006004;
    static constexpr u32 s_SubVisualChunk = 0x09006005;
    static constexpr u32 s_SplitChunk = 0x0900600B;

    CPlugVisual() = default;
    // A subclass's copy: the source's flag word with the skin count and the two hints cleared and
    // every pending bit set; nothing else of the source.
    CPlugVisual(const CPlugVisual& source);
    CPlugVisual& operator=(const CPlugVisual&) = delete;
    ~CPlugVisual() override;

    CMwId* GetIdPtr() override { return &m_Id; }
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
    u32 AddParamVirtual(CMwMemberPath* path, const void* value) override;
    u32 SubParamVirtual(CMwMemberPath* path, const void* value) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    // The visual family's operations, in their order.
    virtual u32 GetVisualKind() { return 11; }
    virtual void UseShader() {}
    virtual CPlugVisual* Clone() = 0;
    virtual CPlugVisual* Duplicate(u32 maxStreams);
    // Filled in with the indexed visuals; the base makes nothing.
    virtual CPlugVisual* Stripify(bool makeStrips, u32 cacheSize);
    virtual u32 GetVertexFormat3D() = 0;
    virtual void GetVertices3D(i32* format, u32* count, const SPlugVertex3D** data) = 0;
    virtual SPlugVertexBuffer* GetInterleavedVertices(bool position, bool normal, bool colour);
    virtual i32 GetVertexFormat2D() = 0;
    virtual void GetVertices2D(i32* format, u32* count, const void** data) = 0;
    virtual u32 GetVertexCount() = 0;
    virtual u32 GetTexCoordVertexCount() = 0;
    virtual u32 CopyVertices(SPlugVertex3D* destination) = 0;
    virtual void GetIndexArray(u32* count, const u16** data) {
        *count = 0;
        *data = nullptr;
    }
    virtual u32 GetIndexCount(const u16** data) = 0;
    virtual void CopyIndices(u16* destination) = 0;
    virtual u32 GetEdgeIndexCount() { return 0; }
    virtual void CopyEdgeIndices(u16*) {}
    // The texture-space queries (a box, a hit, a vertex of the triangle holding a texture point).
    virtual u32 FindTexSpaceTriangle(const f32*, u32, u32*, u16*) { return 0; }
    virtual u32 FindTexSpaceHit(const Vec2&, u32, u32*, SPlugRayHit*) { return 0; }
    virtual u32 FindTexSpaceVertex(const Vec2&, SPlugVertex3D*, u32, u32*) { return 0; }
    virtual void FlipFaces() = 0;
    virtual u32 WeldVertices(f32, f32, f32) { return 0; }
    virtual void CopyVertexAttributesFrom(CPlugVisual* source, const u16* remap);
    virtual void ReorderVertices(u32 n, const PlugVertexReorder* table);
    virtual void TransformRigid(const Iso4& iso) = 0;
    virtual void TransformAffine(const Iso4& m);
    virtual bool HasGeometry();
    virtual bool RayTest(const Vec3& origin, const Vec3& direction, bool oneSided, f32 minDistance,
                         f32* best, Vec3* normal, SPlugRayHit* hit) = 0;
    virtual void SetVertexCount(u32 n);
    virtual void ComputeBBox() {}
    virtual u32 ComputeFaceCull() { return 0; }
    virtual void ComputeNormals() {}
    virtual void DetachGeometry() {}
    virtual void MakeDefaultTexCoords(TexCoordSet& set, u32 ignored);

    // The pending bits. Raising sets the bit and tells the listener when it was clear.
    void RaisePending(u32 bit);
    void SetGeometryDirty(bool dirty);

    void SetUseVertexNormal(bool on);
    void SetUseVertexColor(bool on);
    void SetOptimizeInVision(bool on);
    // Bits 0-2 and a new empty skin record (none for 0). 6 and 7, which have no entry size,
    // change nothing.
    void SetSkinIndexCount(u32 count);
    u32 GetSkinIndexCount() const { return m_Flags & s_SkinIndexMask; }
    bool IsGeometryStatic() const { return (m_Flags & s_GeometryStaticBit) != 0; }
    bool IsIndexationStatic() const { return (m_Flags & s_IndexationStaticBit) != 0; }
    bool UseVertexColor() const { return (m_Flags & s_VertexColorBit) != 0; }
    bool UseVertexNormal() const { return (m_Flags & s_VertexNormalBit) != 0; }

    // -1 without data or with 8 sets already; the index of a set holding that very block (the
    // caller's record gives it up); else the new set's index (the caller's record is emptied).
    i32 AddTexCoordSet(TexCoordSet& set);
    i32 AddDefaultTexCoordSet(f32 scaleU, f32 scaleV, f32 ignored, f32 offsetU, f32 offsetV);
    void ClearTexCoordSets();
    u32 GetTexCoordSetCount() const { return u32(m_TexCoordSets.size()); }

    // Streams without SkipVision stay in front in insertion order; a null stream is ignored.
    void AddVertexStream(CPlugVertexStream* stream);
    void SetFuncVisual(CMwNod* func);
    u32 GetVertexStreamCount() const { return m_VertexStreams.m_Count; }
    CPlugVertexStream* GetVertexStream(u32 i) const;
    CMwNod* GetFuncVisual() const { return m_FuncVisual ? m_FuncVisual->m_Func : nullptr; }
    void Inverse() {}

    Vec3 m_BBoxCenter;
    Vec3 m_BBoxHalfDiag{-1.0f, -1.0f, -1.0f};
    u32 m_Reserved0 = 0;
    CMwId m_Id;
    u32 m_Flags = s_DefaultFlags;
    std::vector<PlugVisualSplit> m_Splits;
    std::unique_ptr<PlugFaceCull> m_FaceCull;
    std::unique_ptr<PlugVisualSkin> m_Skin;
    // One reference on each stream, all of them CPlugVertexStream (the list is kept as nods, the
    // form in which the member records reach it).
    CFastArray<CMwNod*> m_VertexStreams;
    std::vector<TexCoordSet> m_TexCoordSets;
    std::vector<PlugSubVisual> m_SubVisuals;
    std::unique_ptr<PlugFuncVisualHolder> m_FuncVisual;
    u32 m_Reserved1 = 0;
    i32 m_Reserved2 = -1;
    f32 m_NPatchTessLevel = 0.0f;

private:
    void ReleaseStreams();
    void ReadGeometry(CClassicArchive& archive, u32 chunkId);
    void WriteGeometry(CClassicArchive& archive);
    void ReadSplits(CClassicArchive& archive);
    void ReadSubVisuals(CClassicArchive& archive);
    // A skin record with a zeroed block of n entries of the current count's size, replacing the
    // block when it has another size; the record is made when there is none.
    PlugVisualSkin& EnsureSkinBlock(u32 n);

    // A skin flag read before the skin record exists (its chunk comes before the geometry): the
    // record made by the geometry chunk of the same load takes it.
    u32 m_LoadedSkinFlag = 0;
};
