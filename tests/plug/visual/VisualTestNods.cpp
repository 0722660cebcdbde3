#include "tests/plug/visual/VisualTestNods.h"

MW_DEFINE_CLASS(CPlugVisualTest, MwFactory<CPlugVisualTest>, MW_NO_MEMBERS, MW_NO_CHUNKS);

namespace {
constinit CMwClassInfo* const s_Classes[] = {&CPlugVisualTest::s_ClassInfo};
} // namespace
constinit const CMwClassList g_PlugVisualTestClassList = {s_Classes, 1};

void FillSampleVisual(CPlugVisualTest& visual, u32 n, u32 sets, u32 format, u32 k, u32 bones) {
    visual.ClearTexCoordSets();
    visual.SetSkinIndexCount(k);
    visual.SetVertexCount(0);
    visual.SetVertexCount(n);
    for (u32 i = 0; i < sets; ++i) {
        TexCoordSet set;
        set.m_Format = format > 2 ? i % 3 : format;
        set.Allocate(n);
        auto* floats = reinterpret_cast<f32*>(set.m_Data.get());
        for (u32 j = 0; j < n * set.ElementBytes() / 4; ++j)
            floats[j] = f32(i) + f32(j) / 64.0f;
        visual.AddTexCoordSet(set);
    }
    if (!visual.m_Skin)
        return;
    for (u32 j = 0; j < n * visual.m_Skin->m_EntryBytes; ++j)
        visual.m_Skin->m_Data[j] = u8(j / visual.m_Skin->m_EntryBytes + j);
    visual.m_Skin->m_Bones.resize(bones);
    for (u32 b = 0; b < bones; ++b) {
        visual.m_Skin->m_Bones[b].SetIdentity();
        visual.m_Skin->m_Bones[b].t = {f32(b), 1.0f, 2.0f};
    }
}
