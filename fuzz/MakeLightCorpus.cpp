// Writes the seed corpus of GxLightArchiveFuzz: each of the six light classes saved by the
// archive writer in binary and in text (the projector in both of its modes), and, for every older
// chunk version, a binary image whose class's current chunks are replaced by that older one.
//
//   MakeLightCorpus <corpus folder of the target>
#include "ArchiveSeeds.h"
#include "CorpusFolder.h"
#include "core/base/ClassicArchive.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "plug/PlugClasses.h"
#include "plug/visual/GxLight.h"
#include "system/SystemClasses.h"
#include "tests/plug/visual/LightChunkLists.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The chunk's id and contents as the nod writes them (an older chunk in its own layout).
std::string Chunk(CMwNod& nod, u32 chunkId) {
    CClassicArchive archive;
    auto* memory = new CClassicBufferMemory;
    archive.SetBuffer(memory);
    archive.m_Writing = 1;
    std::string bytes(4, '\0');
    std::memcpy(bytes.data(), &chunkId, 4);
    nod.ArchiveChunk(archive, chunkId);
    return bytes + std::string(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize());
}

// The nod's binary image with the chunks of the older chunk's class replaced by the older one.
// The body ends the image: its chunks, then the end mark.
std::string WithOlderChunk(CMwNod& nod, const LightChunkList& chunks, u32 older) {
    const std::string image = SaveArchiveImage(&nod, kSystemArchiveSaveRelease);
    size_t body = 4;
    for (const auto& chunk : chunks)
        body += 4 + chunk.second;
    if (image.size() < body)
        return {};
    std::string out = image.substr(0, image.size() - body);
    bool replaced = false;
    for (const auto& chunk : chunks) {
        if ((chunk.first & 0xFFFFF000u) != (older & 0xFFFFF000u)) {
            out += Chunk(nod, chunk.first);
        } else if (!replaced) {
            out += Chunk(nod, older);
            replaced = true;
        }
    }
    return out + image.substr(image.size() - 4);
}

} // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder = CorpusFolderArgument(argc, argv);
    CMwIdTable::Create();
    CMwClassRegistry::AddClassList(g_MwCoreClassList);
    CMwClassRegistry::AddClassList(g_SystemClassList);
    CMwClassRegistry::AddClassList(g_PlugClassList);
    CMwClassRegistry::Init();
    bool written = true;
    {
        const struct {
            const char* Name;
            CMwNod* Nod;
        } lights[] = {{"light", new GxLight},
                      {"not-ambient", new GxLightNotAmbient},
                      {"point", new GxLightPoint},
                      {"ball", new GxLightBall},
                      {"projector", new GxLightFrustrum},
                      {"projector-ortho", new GxLightFrustrum},
                      {"spot", new GxLightSpot}};
        std::vector<CMwNodRef> held;
        for (const auto& light : lights)
            held.emplace_back(light.Nod);
        static_cast<GxLightFrustrum*>(lights[5].Nod)
            ->m_Frustum.SetOrtho(Aabb{{0.0f, 0.0f, 5.0f}, {2.0f, 1.0f, 5.0f}});
        for (const auto& light : lights) {
            static_cast<GxLight*>(light.Nod)->SetIntensity(0.75f);
            written &= WriteArchiveSeeds(folder, light.Name, light.Nod);
            // The older chunks of the light's own class.
            const u32 classId = light.Nod->GetClassId();
            const LightChunkList chunks = SavedLightChunks(classId);
            for (u32 older = classId; older < classId + 0x10; ++older) {
                if (light.Nod->GetChunkInfo(older) != 1)
                    continue;
                char file[64];
                std::snprintf(file, sizeof file, "%s-chunk-%08x.Zun", light.Name, older);
                written &= WriteSeedFile(folder / file, WithOlderChunk(*light.Nod, chunks, older));
            }
        }
    }
    CMwClassRegistry::Shutdown();
    CMwIdTable::Destroy();
    if (!written) {
        std::fprintf(stderr, "a seed could not be written\n");
        return 1;
    }
    return 0;
}
