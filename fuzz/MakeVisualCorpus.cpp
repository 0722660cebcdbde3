// Writes the seed corpus of PlugVisualArchiveFuzz: test visuals (empty; 3 vertices with a set, a
// skin, a bone, two streams, splits and sub-visuals; 1 000 vertices with 8 sets, a skin of 4
// indices and 3 bones), each saved by the archive writer in binary and in text.
//
//   MakeVisualCorpus <corpus folder of the target>
#include "ArchiveSeeds.h"
#include "CorpusFolder.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "plug/PlugClasses.h"
#include "system/SystemClasses.h"
#include "tests/plug/visual/VertexStreamSamples.h"
#include "tests/plug/visual/VisualTestNods.h"

#include <cstdio>

int main(int argc, char** argv) {
    const std::filesystem::path folder = CorpusFolderArgument(argc, argv);
    CMwIdTable::Create();
    CMwClassRegistry::AddClassList(g_MwCoreClassList);
    CMwClassRegistry::AddClassList(g_SystemClassList);
    CMwClassRegistry::AddClassList(g_PlugClassList);
    CMwClassRegistry::AddClassList(g_PlugVisualTestClassList);
    CMwClassRegistry::Init();
    bool written = true;
    {
        CMwNodRef empty(new CPlugVisualTest), small(new CPlugVisualTest),
            large(new CPlugVisualTest), stream(new CPlugVertexStream),
            skipped(new CPlugVertexStream);
        auto& s = static_cast<CPlugVisualTest&>(*small.Get());
        FillSampleVisual(s, 3, 1, 0, 2, 1);
        MakeInterleavedStream(static_cast<CPlugVertexStream&>(*stream.Get()), 3);
        static_cast<CPlugVertexStream&>(*skipped.Get()).m_Flags |= 0x8;
        s.AddVertexStream(static_cast<CPlugVertexStream*>(skipped.Get()));
        s.AddVertexStream(static_cast<CPlugVertexStream*>(stream.Get()));
        s.m_Splits.resize(2);
        s.m_Splits[1].m_First = 3;
        s.m_Splits[1].m_Box[3] = 1.0f;
        s.m_SubVisuals = {{0, 0, 3}, {1, 3, 3}};
        s.m_Skin->m_Flag = 1;
        s.m_NPatchTessLevel = 2.0f;
        s.SetUseVertexColor(true);
        s.m_Id.SetFromName("Seed");
        FillSampleVisual(static_cast<CPlugVisualTest&>(*large.Get()), 1000, 8, 3, 4, 3);
        written &= WriteArchiveSeeds(folder, "visual-empty", empty.Get());
        written &= WriteArchiveSeeds(folder, "visual-3", small.Get());
        written &= WriteArchiveSeeds(folder, "visual-1000", large.Get());
    }
    CMwClassRegistry::Shutdown();
    CMwIdTable::Destroy();
    if (!written) {
        std::fprintf(stderr, "a seed could not be written\n");
        return 1;
    }
    return 0;
}
