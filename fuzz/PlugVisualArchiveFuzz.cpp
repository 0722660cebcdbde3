// Fuzzes the loading of archive images whose main nod is a visual: the geometry chunks (sets,
// skin, bones, streams), the older geometry chunks, sub-visuals, splits, the function reference
// and the switches, with the core, system and plug classes and a concrete test visual registered.
//
// A load ends loaded or failed, never in a fault, a hang or an allocation past the bytes given,
// and a failed load leaves no nod behind. After a load every set element, skin entry, bone,
// split and sub-visual is read, so are all 24 members, and the nod saves, loads and saves again
// to the same bytes.
#include "FuzzArchive.h"
#include "FuzzCheck.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "core/nod/MwMemberPath.h"
#include "plug/PlugClasses.h"
#include "plug/visual/PlugVisual.h"
#include "system/SystemClasses.h"
#include "system/fid/SystemFidFile.h"
#include "tests/plug/visual/VisualTestNods.h"

#include <cstring>
#include <memory>

namespace {

volatile u32 s_Sink;

u32 Sum(const void* data, size_t bytes) {
    u32 sum = 0;
    const auto* p = static_cast<const u8*>(data);
    for (size_t i = 0; i < bytes; ++i)
        sum += p[i];
    return sum;
}

void TouchVisual(CPlugVisual& visual) {
    const u32 n = visual.GetVertexCount();
    const u32 k = visual.GetSkinIndexCount();
    FUZZ_CHECK(visual.GetTexCoordSetCount() <= kPlugVisualMaxTexCoordSets);
    FUZZ_CHECK(k <= kPlugSkinMaxIndexCount);
    FUZZ_CHECK((visual.m_Skin != nullptr) == (k > 0));
    u32 sum = 0;
    for (const TexCoordSet& set : visual.m_TexCoordSets) {
        FUZZ_CHECK(set.m_Format <= 2 && set.m_Count == n && set.m_Data);
        sum += Sum(set.m_Data.get(), size_t(set.m_Count) * set.ElementBytes());
    }
    if (const PlugVisualSkin* skin = visual.m_Skin.get()) {
        FUZZ_CHECK(skin->m_Count == n && skin->m_EntryBytes == kPlugSkinEntryBytes[k]);
        sum += Sum(skin->m_Data.get(), size_t(skin->m_Count) * skin->m_EntryBytes);
        sum += Sum(skin->m_Bones.data(), skin->m_Bones.size() * sizeof(Iso4));
    }
    for (const PlugVisualSplit& split : visual.m_Splits)
        sum += split.m_First + split.m_Count + split.m_RuntimeA + split.m_RuntimeB +
               Sum(split.m_Box, sizeof split.m_Box);
    sum += Sum(visual.m_SubVisuals.data(), visual.m_SubVisuals.size() * sizeof(PlugSubVisual));
    for (u32 i = 0; i < visual.m_VertexStreams.m_Count; ++i)
        FUZZ_CHECK(visual.m_VertexStreams[i] != nullptr);
    // Every member, read whole.
    const u32 members = visual.MemberCount();
    FUZZ_CHECK(members == 24);
    for (u32 i = 0; i < members; ++i) {
        CMwMemberPath path;
        path.Reserve(1);
        path.PushFront(reinterpret_cast<MwPathValue>(
            CMwClassRegistry::GetMemberInfo(visual.MemberIdByIndex(i))));
        path.m_Kinds[0] = MwPathItem_Member;
        path.Reset();
        CMwParamValue value;
        if (visual.GetParam(&path, &value) == 0 && value.Value == value.Scratch)
            sum += Sum(value.Scratch, 4);
    }
    s_Sink = sum;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The log would keep every line of every run.
    g_ClassicLog.m_SuspendCount = 1;
    CMwIdTable::Create();
    CMwClassRegistry::AddClassList(g_MwCoreClassList);
    CMwClassRegistry::AddClassList(g_SystemClassList);
    CMwClassRegistry::AddClassList(g_PlugClassList);
    CMwClassRegistry::AddClassList(g_PlugVisualTestClassList);
    CMwClassRegistry::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size > (1u << 20))
        return 0;
    const u32 before = CMwNod::GetLiveNodCount();
    {
        std::unique_ptr<CSystemFidMemory> fid(new CSystemFidMemory);
        CSystemArchive archive;
        CMwNodRef nod(FuzzLoadBytes(archive, fid.get(), data, size));
        if (nod && nod->IsKindOf(CPlugVisual::s_ClassId)) {
            TouchVisual(static_cast<CPlugVisual&>(*nod.Get()));
            FuzzCheckSaveReloads(nod.Get());
        }
    }
    FUZZ_CHECK(CMwNod::GetLiveNodCount() == before);
    return 0;
}
