// Writes the seed corpus of PlugStreamArchiveFuzz: vertex streams (interleaved, with a source
// stored inline, and one of 5 000 vertices, binary only) and index buffers (empty and filled),
// each saved by the archive writer in binary and in text.
//
//   MakeStreamCorpus <corpus folder of the target>
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
#include <fstream>
#include <string>

namespace {

bool Write(const std::filesystem::path& folder, const std::string& name, CMwNod* nod,
           bool binaryOnly = false) {
    const struct {
        const char* Suffix;
        u32 Flags;
    } forms[] = {{"-binary", kSystemArchiveSaveRelease}, {"-text", kSystemArchiveSaveText}};
    for (const auto& form : forms) {
        if (binaryOnly && (form.Flags & kSystemArchiveSaveText))
            continue;
        CSystemArchive archive;
        archive.SetSaveFlags(form.Flags);
        CClassicBufferMemory out;
        if (!archive.Save(nod, &out))
            return false;
        std::ofstream file(folder / (name + form.Suffix + ".Zun"), std::ios::binary);
        file.write(reinterpret_cast<const char*>(out.GetData()), out.GetSize());
        if (!file.good())
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
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
        written &= Write(folder, "stream", source.Get());
        written &= Write(folder, "stream-source", sharer.Get());
        written &= Write(folder, "stream-5000", large.Get(), true);
        written &= Write(folder, "indices-empty", empty.Get());
        written &= Write(folder, "indices-7", indices.Get());
    }
    CMwClassRegistry::Shutdown();
    CMwIdTable::Destroy();
    if (!written) {
        std::fprintf(stderr, "a seed could not be written\n");
        return 1;
    }
    return 0;
}
