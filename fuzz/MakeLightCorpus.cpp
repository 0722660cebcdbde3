// Writes the seed corpus of GxLightArchiveFuzz: each of the six light classes saved by the
// archive writer in binary and in text (the projector in both of its modes), and, for every older
// chunk version, a binary image whose class's current chunk is replaced by that older one.
//
//   MakeLightCorpus <corpus folder of the target>
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicBuffer.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "plug/PlugClasses.h"
#include "plug/visual/GxLight.h"
#include "system/SystemClasses.h"
#include "system/archive/SystemArchive.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string Save(CMwNod* nod, u32 flags) {
    CSystemArchive archive;
    archive.SetSaveFlags(flags);
    CClassicBufferMemory out;
    if (!archive.Save(nod, &out))
        return {};
    return std::string(reinterpret_cast<const char*>(out.GetData()), out.GetSize());
}

bool WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), std::streamsize(bytes.size()));
    return !bytes.empty() && file.good();
}

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

// The nod's binary image with the chunks of one class (`current`, each with the size of its
// contents) replaced by the older chunk: its contents as the nod would hold them.
std::string WithOlderChunk(CMwNod& nod, const std::vector<std::pair<u32, u32>>& chunks, u32 older) {
    const std::string image = Save(&nod, kSystemArchiveSaveRelease);
    size_t body = 4;
    for (const auto& chunk : chunks)
        body += 4 + chunk.second;
    if (image.size() < body)
        return {};
    std::string out = image.substr(0, image.size() - body);
    bool replaced = false;
    for (const auto& [id, size] : chunks) {
        if ((id & 0xFFFFF000u) != (older & 0xFFFFF000u))
            out += Chunk(nod, id);
        else if (!replaced) {
            out += Chunk(nod, older);
            replaced = true;
        }
    }
    return out + image.substr(image.size() - 4);
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
        using List = std::vector<std::pair<u32, u32>>;
        const List base = {{0x04001008, 40}};
        const List point = {{0x04001008, 40}, {0x04003004, 8}};
        List ball = point;
        ball.push_back({0x04002006, 44});
        List projector = ball;
        projector.push_back({0x0400A006, 32});
        List spot = ball;
        spot.push_back({0x0400B001, 16});
        spot.push_back({0x0400B002, 28});
        const struct {
            const char* Name;
            CMwNod* Nod;
            List Chunks;
        } lights[] = {{"light", new GxLight, base},
                      {"not-ambient", new GxLightNotAmbient, base},
                      {"point", new GxLightPoint, point},
                      {"ball", new GxLightBall, ball},
                      {"projector", new GxLightFrustrum, projector},
                      {"projector-ortho", new GxLightFrustrum, projector},
                      {"spot", new GxLightSpot, spot}};
        std::vector<CMwNodRef> held;
        for (const auto& light : lights)
            held.emplace_back(light.Nod);
        auto* ortho = static_cast<GxLightFrustrum*>(lights[5].Nod);
        Aabb box{{0.0f, 0.0f, 5.0f}, {2.0f, 1.0f, 5.0f}};
        ortho->m_Frustum.SetOrtho(box);
        for (const auto& light : lights) {
            static_cast<GxLight*>(light.Nod)->SetIntensity(0.75f);
            const std::string name = light.Name;
            written &= WriteFile(folder / (name + "-binary.Zun"),
                                 Save(light.Nod, kSystemArchiveSaveRelease));
            written &=
                WriteFile(folder / (name + "-text.Zun"), Save(light.Nod, kSystemArchiveSaveText));
            // The older chunks of the light's own class.
            const u32 classId = light.Nod->GetClassId();
            for (u32 older = classId; older < classId + 0x10; ++older) {
                if (light.Nod->GetChunkInfo(older) != 1)
                    continue;
                char file[64];
                std::snprintf(file, sizeof file, "%s-chunk-%08x.Zun", light.Name, older);
                written &=
                    WriteFile(folder / file, WithOlderChunk(*light.Nod, light.Chunks, older));
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
