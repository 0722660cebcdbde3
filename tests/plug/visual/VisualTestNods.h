#pragma once
// A concrete visual for the tests, the fuzz target and the benchmark: its vertex count is a plain
// field, and every geometry operation that needs vertices of its own does nothing.
#include "plug/visual/PlugVisual.h"

class CPlugVisualTest : public CPlugVisual {
    MW_DECLARE_CLASS(CPlugVisualTest, CPlugVisual, 0x09FF6000)
public:
    CPlugVisualTest() = default;
    CPlugVisualTest(const CPlugVisualTest& source) : CPlugVisual(source) {}

    CPlugVisual* Clone() override { return new CPlugVisualTest(*this); }
    u32 GetVertexFormat3D() override { return 0; }
    void GetVertices3D(i32* format, u32* count, const SPlugVertex3D** data) override {
        *format = -1;
        *count = 0;
        *data = nullptr;
    }
    i32 GetVertexFormat2D() override { return -1; }
    void GetVertices2D(i32*, u32*, const void**) override {}
    u32 GetVertexCount() override { return m_Count; }
    u32 GetTexCoordVertexCount() override { return m_Count; }
    u32 CopyVertices(SPlugVertex3D*) override { return 0; }
    u32 GetIndexCount(const u16** data) override {
        *data = nullptr;
        return 0;
    }
    void CopyIndices(u16*) override {}
    void FlipFaces() override {}
    void TransformRigid(const Iso4&) override {}
    bool RayTest(const Vec3&, const Vec3&, bool, f32, f32*, Vec3*, SPlugRayHit*) override {
        return false;
    }
    // The base resizes the per-vertex data from the old count, then the count changes.
    void SetVertexCount(u32 n) override {
        CPlugVisual::SetVertexCount(n);
        m_Count = n;
    }

    u32 m_Count = 0;
};

extern const CMwClassList g_PlugVisualTestClassList;

// Gives the visual n vertices, `sets` texture-coordinate sets (format `format`, or i % 3 for set
// i when it is above 2) whose floats count up, a skin of k indices per vertex with entry bytes
// (vertex + byte) & 0xFF and `bones` bone matrices.
void FillSampleVisual(CPlugVisualTest& visual, u32 n, u32 sets, u32 format, u32 k, u32 bones);
