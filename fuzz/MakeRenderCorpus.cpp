// Writes the seed corpus of PlugRenderArchiveFuzz: the render targets and a shader payload saved
// by the archive writer in binary and in text, and images of the older chunk forms, whose bodies
// are built here byte by byte (the writer never produces them).
//
//   MakeRenderCorpus <corpus folder of the target>
#include "ArchiveSeeds.h"
#include "CorpusFolder.h"
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicBuffer.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "plug/PlugClasses.h"
#include "plug/bitmap/PlugBitmapRender.h"
#include "plug/bitmap/PlugBitmapShader.h"
#include "plug/shader/PlugBitmapRenderCamera.h"
#include "plug/shader/PlugShader.h"
#include "system/SystemClasses.h"
#include "system/archive/SystemArchive.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

// One old chunk: its id and its body, written with the archive's value writers.
struct SOldChunk {
    u32 Id;
    std::function<void(CClassicArchive&)> Write;
};

// A nod that answers its class's identity but writes the old chunks given instead of its own.
template <class Base>
class COldForms : public Base {
public:
    explicit COldForms(std::vector<SOldChunk> chunks) : m_Chunks(std::move(chunks)) {}
    u32 ChunkCount() override { return 1 + u32(m_Chunks.size()); }
    u32 ChunkIdByIndex(u32 index) override {
        return index == 0 ? CMwNod::s_RootChunkId : m_Chunks[index - 1].Id;
    }
    u32 GetChunkInfo(u32 chunkId) override {
        for (const SOldChunk& chunk : m_Chunks)
            if (chunk.Id == chunkId)
                return 3;
        return Base::GetChunkInfo(chunkId);
    }
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override {
        for (const SOldChunk& chunk : m_Chunks)
            if (chunk.Id == chunkId && archive.m_Writing)
                return chunk.Write(archive);
        Base::ArchiveChunk(archive, chunkId);
    }

private:
    std::vector<SOldChunk> m_Chunks;
};

void U32(CClassicArchive& archive, u32 value) {
    archive.WriteUInts(&value, 1);
}
void F32(CClassicArchive& archive, f32 value) {
    archive.WriteFloats(&value, 1);
}
void NoNod(CClassicArchive& archive) {
    CMwNod* none = nullptr;
    archive.ArchiveNodRef(none);
}
// Clear colour and an old flag word, optionally a clear bitmap (none) and its UV.
void ClearSettings(CClassicArchive& archive, u32 oldWord, bool withBitmap) {
    U32(archive, 0x80402010);
    U32(archive, oldWord);
    if (!withBitmap)
        return;
    NoNod(archive);
    F32(archive, 0.25f);
    F32(archive, 0.75f);
}
void Volume(CClassicArchive& archive) {
    U32(archive, 0);
    for (f32 v : {-0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 900.0f})
        F32(archive, v);
    for (u32 i = 0; i < 12; ++i)
        F32(archive, i % 4 == 0 ? 1.0f : 0.0f);
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
        CMwNodRef water(new CPlugBitmapRenderWater), cube(new CPlugBitmapRenderCubeMap),
            camera(new CPlugBitmapRenderCamera), payload(new CPlugBitmapShader),
            shader(new CPlugShaderApply), ortho(new CPlugBitmapRenderWater);
        static_cast<CPlugBitmapRenderWater*>(ortho.Get())->m_Frustum.ortho = 1;
        static_cast<CPlugBitmapRender*>(cube.Get())->m_ItemFilter = {0x7FF, 0x00F};
        static_cast<CPlugBitmapShader*>(payload.Get())
            ->SetShader(static_cast<CPlugShader*>(shader.Get()));
        written &= WriteArchiveSeeds(folder, "water", water.Get());
        written &= WriteArchiveSeeds(folder, "water-ortho", ortho.Get());
        written &= WriteArchiveSeeds(folder, "cubemap", cube.Get());
        written &= WriteArchiveSeeds(folder, "camera", camera.Get());
        written &= WriteArchiveSeeds(folder, "shader", payload.Get());

        // The older forms.
        const std::vector<SOldChunk> renderForms = {
            {0x09086000, [](CClassicArchive& a) { ClearSettings(a, 0x12345678, false); }},
            {0x09086001, [](CClassicArchive& a) { ClearSettings(a, 0xFFFFFFFF, true); }},
            {0x09086002, [](CClassicArchive& a) { U32(a, 0x01010F0F); }},
            {0x09086004, [](CClassicArchive& a) { ClearSettings(a, 0xA5C3F0F1, true); }},
            {0x09086005, [](CClassicArchive& a) { ClearSettings(a, 0x5A3C0F0E, true); }},
            {0x09086006, [](CClassicArchive& a) { ClearSettings(a, 0xA5C3F0F1, true); }},
            {0x09086007, [](CClassicArchive& a) { ClearSettings(a, 0x5A3C0F0E, true); }},
            {0x09086009, [](CClassicArchive& a) { ClearSettings(a, 0xA5C3F0F1, true); }},
        };
        CMwNodRef oldCube(new COldForms<CPlugBitmapRenderCubeMap>(renderForms));
        written &= WriteArchiveSeeds(folder, "cubemap-old", oldCube.Get(), true);
        // Water forms 0 to 4: each the one before plus its fields.
        const std::function<void(CClassicArchive&)> tails[] = {
            [](CClassicArchive& a) {
                U32(a, 1);
                F32(a, 7.0f);
                U32(a, 1);
                F32(a, 0.25f);
            },
            [](CClassicArchive& a) { U32(a, 1); }, [](CClassicArchive& a) { F32(a, 0.5f); },
            [](CClassicArchive& a) { U32(a, 1); }};
        for (u32 form = 0; form <= 4; ++form) {
            const auto body = [&tails, form](CClassicArchive& a) {
                Volume(a);
                U32(a, 0);
                for (u32 i = 0; i < form; ++i)
                    tails[i](a);
            };
            CMwNodRef oldWater(new COldForms<CPlugBitmapRenderWater>({{0x09087000 + form, body}}));
            written &= WriteArchiveSeeds(folder, "water-old-" + std::to_string(form),
                                         oldWater.Get(), true);
        }
        CMwNodRef oldCamera(new COldForms<CPlugBitmapRenderCamera>(
            {{0x09089000, [](CClassicArchive& a) { U32(a, 2); }}}));
        written &= WriteArchiveSeeds(folder, "camera-old", oldCamera.Get(), true);
        CMwNodRef oldShader(new COldForms<CPlugBitmapShader>({{0x09080000, [](CClassicArchive& a) {
                                                                   NoNod(a);
                                                                   U32(a, 2);
                                                                   NoNod(a);
                                                                   NoNod(a);
                                                               }}}));
        written &= WriteArchiveSeeds(folder, "shader-old", oldShader.Get(), true);
    }
    CMwClassRegistry::Shutdown();
    CMwIdTable::Destroy();
    if (!written) {
        std::fprintf(stderr, "a seed could not be written\n");
        return 1;
    }
    return 0;
}
