// Writes the seed corpus of PlugStreamArchiveFuzz: vertex streams (interleaved, with a source
// stored inline, and one of 5 000 vertices, binary only) and index buffers (empty and filled),
// each saved by the archive writer in binary and in text.
//
//   MakeStreamCorpus <corpus folder of the target>
#include "ArchiveSeeds.h"
#include "CorpusFolder.h"
#include "core/base/ClassicBuffer.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "plug/PlugClasses.h"
#include "system/SystemClasses.h"
#include "system/archive/SystemArchive.h"
#include "tests/plug/visual/VertexStreamSamples.h"

#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    const std::filesystem::path folder = CorpusFolderArgument(argc, argv);
    CMwIdTable::Create();
    CMwClassRegistry::AddClassList(g_MwCoreClassList);
    CMwClassRegistry::AddClassList(g_SystemClassList);
    CMwClassRegistry::AddClassList(g_PlugClassList);
    CMwClassRegistry::Init();
    bool written = true;
    {
        CMwNodRef source(new CPlugVertexStream), sharer(new CPlugVertexStream),
            large(new CPlugVertexStream), empty(new CPlugIndexBuffer),
            indices(new CPlugIndexBuffer);
        MakeInterleavedStream(static_cast<CPlugVertexStream&>(*source.Get()), 3);
        static_cast<CPlugVertexStream*>(sharer.Get())
            ->SetSource(static_cast<CPlugVertexStream*>(source.Get()));
        MakeInterleavedStream(static_cast<CPlugVertexStream&>(*large.Get()), 5000);
        MakeIndexBuffer(static_cast<CPlugIndexBuffer&>(*indices.Get()), 7);
        written &= WriteArchiveSeeds(folder, "stream", source.Get());
        written &= WriteArchiveSeeds(folder, "stream-source", sharer.Get());
        written &= WriteArchiveSeeds(folder, "stream-5000", large.Get(), true);
        written &= WriteArchiveSeeds(folder, "indices-empty", empty.Get());
        written &= WriteArchiveSeeds(folder, "indices-7", indices.Get());
    }
    CMwClassRegistry::Shutdown();
    CMwIdTable::Destroy();
    if (!written) {
        std::fprintf(stderr, "a seed could not be written\n");
        return 1;
    }
    return 0;
}
