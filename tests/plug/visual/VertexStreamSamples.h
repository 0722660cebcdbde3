#pragma once
// Small streams and index buffers shared by the visual tests and the stream fuzz target's seed
// writer, and the chunk-body helpers of the tests.
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicBuffer.h"
#include "plug/visual/PlugIndexBuffer.h"
#include "plug/visual/PlugVertexStream.h"

#include <string>

inline constexpr u32 kInterleavedPosition = 0x40A00000; // Position, stride 40, owns its block
inline constexpr u32 kInterleavedNormal = 0x00A00005;   // Normal, stride 40
inline constexpr u32 kInterleavedColor = 0x00A00008;    // Color0, stride 40

// A stream of `count` vertices laid out as SPlugVertex3D records: an owning Position element and
// Normal and Color0 elements 12 and 24 bytes into its block, which is also the vertex buffer.
// Vertex i has position (i, 2i, 3i), normal (0, 1, 0) and colour (1, 0.5, 0.25, i).
inline void MakeInterleavedStream(CPlugVertexStream& stream, u32 count) {
    stream.Clear(count);
    auto* records = reinterpret_cast<SPlugVertex3D*>(stream.AddOwningElement(kInterleavedPosition));
    stream.AddSharingElement(kInterleavedNormal, 0, 12);
    stream.AddSharingElement(kInterleavedColor, 0, 24);
    stream.UseBlockAsRecords(0);
    for (u32 i = 0; i < count; ++i) {
        records[i].m_Position = {f32(i), f32(2 * i), f32(3 * i)};
        records[i].m_Normal = {0.0f, 1.0f, 0.0f};
        records[i].m_Color[0] = 1.0f;
        records[i].m_Color[1] = 0.5f;
        records[i].m_Color[2] = 0.25f;
        records[i].m_Color[3] = f32(i);
    }
}

inline void MakeIndexBuffer(CPlugIndexBuffer& buffer, u32 count) {
    std::basic_string<u16> indices;
    for (u32 i = 0; i < count; ++i)
        indices.push_back(u16(i * 3 % 7));
    buffer.SetIndices(indices.data(), count);
}

// A value archive that stores a nod reference as a node index, as the archive files do: 0xFFFFFFFF
// for null, 0 for any nod, which reads back as `m_Nod`.
class CNodIndexArchive : public CClassicArchive {
public:
    explicit CNodIndexArchive(CMwNod* nod = nullptr) : m_Nod(nod) {}
    void ArchiveNodRef(CMwNod*& nod) override {
        u32 index = nod ? 0 : 0xFFFFFFFF;
        SerializeUInts(&index, 1);
        if (!m_Writing)
            nod = index == 0xFFFFFFFF ? nullptr : m_Nod;
    }
    CMwNod* m_Nod;
};

// The body of one chunk of the nod, written alone.
inline std::string WriteChunkBody(CMwNod& nod, u32 chunkId, bool text = false) {
    CNodIndexArchive archive;
    auto* memory = new CClassicBufferMemory;
    archive.SetBuffer(memory);
    archive.m_Writing = 1;
    archive.m_Text = text;
    nod.ArchiveChunk(archive, chunkId);
    return std::string(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize());
}

// Reads one chunk's body into the nod; a stored reference reads as `reference`.
inline void ReadChunkBody(CMwNod& nod, u32 chunkId, const std::string& bytes, bool text = false,
                          CMwNod* reference = nullptr) {
    CNodIndexArchive archive(reference);
    auto* memory = new CClassicBufferMemory;
    archive.SetBuffer(memory);
    memory->Write(bytes.data(), u32(bytes.size()));
    memory->Rewind();
    archive.m_Text = text;
    nod.ArchiveChunk(archive, chunkId);
}
