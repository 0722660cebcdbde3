// Index buffers and vertex streams through the binary value archive, against plain vectors
// filled from the same bytes, in alternating rounds (see BenchPair.h); the scaling series time
// the engine side alone with a complexity fit. SetSource and the interleaved query must not
// depend on the vertex count.
#include "BenchPair.h"
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicBuffer.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "plug/PlugClasses.h"
#include "plug/visual/PlugIndexBuffer.h"
#include "plug/visual/PlugVertexStream.h"
#include "system/SystemClasses.h"

#include <cstring>
#include <vector>

namespace {

// The registry, for the nods' class records.
struct CRegistry {
    CRegistry() {
        CMwIdTable::Create();
        CMwClassRegistry::AddClassList(g_MwCoreClassList);
        CMwClassRegistry::AddClassList(g_SystemClassList);
        CMwClassRegistry::AddClassList(g_PlugClassList);
        CMwClassRegistry::Init();
    }
};
const CRegistry s_Registry;

// Writes the nod's chunk through a binary archive over a new memory stream made for `size`
// bytes (the peer's vector is sized once too), then reads it back into `into` from the stream.
void WriteAndRead(CMwNod& from, CMwNod& into, u32 chunkId, u32 size) {
    CClassicArchive archive;
    auto* memory = new CClassicBufferMemory;
    memory->Reserve(size);
    archive.SetBuffer(memory);
    archive.m_Writing = 1;
    from.ArchiveChunk(archive, chunkId);
    memory->Rewind();
    archive.m_Writing = 0;
    into.ArchiveChunk(archive, chunkId);
}

u32 IndexCount(const benchmark::State& state) {
    return 3u << state.range(0);
}

CMwNodRef MakeIndices(u32 count) {
    CMwNodRef held(new CPlugIndexBuffer);
    std::vector<u16> indices(count);
    for (u32 i = 0; i < count; ++i)
        indices[i] = u16(i * 7);
    static_cast<CPlugIndexBuffer*>(held.Get())->SetIndices(indices.data(), count);
    return held;
}

// One owning 40-byte Position element, Normal and Color0 inside its block.
CMwNodRef MakeStream(u32 count) {
    CMwNodRef held(new CPlugVertexStream);
    auto* stream = static_cast<CPlugVertexStream*>(held.Get());
    stream->Clear(count);
    u8* block = stream->AddOwningElement(PlugElementDescriptor(EPlugVertexKind_Position, 40, true));
    stream->AddSharingElement(PlugElementDescriptor(EPlugVertexKind_Normal, 40, false), 0, 12);
    stream->AddSharingElement(PlugElementDescriptor(EPlugVertexKind_Color0, 40, false), 0, 24);
    for (u32 i = 0; i < count * 40; ++i)
        block[i] = u8(i * 13);
    return held;
}

// The peer's write and read: the bytes appended to a byte vector, then a vector of records
// filled from them.
template <class Record>
void VectorWriteAndRead(const u8* bytes, size_t size, u32 head) {
    std::vector<u8> out(head);
    out.insert(out.end(), bytes, bytes + size);
    const auto* first = reinterpret_cast<const Record*>(out.data() + head);
    const std::vector<Record> records(first, first + size / sizeof(Record));
    benchmark::DoNotOptimize(records.data());
}

void IndexBuffer(benchmark::State& state) {
    const u32 count = IndexCount(state);
    CMwNodRef from = MakeIndices(count), into(new CPlugIndexBuffer);
    const auto* source = static_cast<CPlugIndexBuffer*>(from.Get());
    bench::Interleave(
        state,
        [&] { WriteAndRead(*from.Get(), *into.Get(), CPlugIndexBuffer::s_ChunkId, 8 + count * 2); },
        [&] {
            VectorWriteAndRead<u16>(reinterpret_cast<const u8*>(source->GetIndices()),
                                    size_t(count) * 2, 8);
        });
    if (static_cast<CPlugIndexBuffer*>(into.Get())->GetIndexCount() != count ||
        std::memcmp(static_cast<CPlugIndexBuffer*>(into.Get())->GetIndices(), source->GetIndices(),
                    size_t(count) * 2) != 0)
        state.SkipWithError("the indices did not come back");
    state.SetBytesProcessed(i64(state.iterations()) * count * 2);
}

void Stream(benchmark::State& state) {
    const u32 count = u32(state.range(0));
    CMwNodRef from = MakeStream(count), into(new CPlugVertexStream);
    const u8* block = static_cast<CPlugVertexStream*>(from.Get())->m_Elements[0].m_Data;
    bench::Interleave(
        state,
        [&] {
            WriteAndRead(*from.Get(), *into.Get(), CPlugVertexStream::s_ChunkId, 32 + count * 40);
        },
        [&] { VectorWriteAndRead<SPlugVertex3D>(block, size_t(count) * 40, 32); });
    const auto* back = static_cast<CPlugVertexStream*>(into.Get());
    if (back->GetVertexCount() != count || back->m_Elements.size() != 3 ||
        std::memcmp(back->m_Elements[0].m_Data, block, size_t(count) * 40) != 0)
        state.SkipWithError("the stream did not come back");
    state.SetBytesProcessed(i64(state.iterations()) * count * 40);
}

// SetSource between two sources, and the interleaved query, against copying the three element
// records into a vector.
void SetSourceAndQuery(benchmark::State& state) {
    const u32 count = u32(state.range(0));
    CMwNodRef a = MakeStream(count), b = MakeStream(count), sharer(new CPlugVertexStream);
    auto* stream = static_cast<CPlugVertexStream*>(sharer.Get());
    auto* sa = static_cast<CPlugVertexStream*>(a.Get());
    auto* sb = static_cast<CPlugVertexStream*>(b.Get());
    sa->UseBlockAsRecords(0);
    sb->UseBlockAsRecords(0);
    bool flip = false;
    std::vector<SPlugVertexElement> copy;
    bench::Interleave(
        state,
        [&] {
            flip = !flip;
            stream->SetSource(flip ? sa : sb);
            benchmark::DoNotOptimize(stream->GetInterleavedBuffer(true, true, true));
        },
        [&] {
            flip = !flip;
            copy = (flip ? sa : sb)->m_Elements;
            benchmark::DoNotOptimize(copy.data());
        });
}

// The engine side alone, for the complexity fits.
void ScalingIndexBuffer(benchmark::State& state) {
    const u32 count = IndexCount(state);
    CMwNodRef from = MakeIndices(count), into(new CPlugIndexBuffer);
    for (auto _ : state)
        WriteAndRead(*from.Get(), *into.Get(), CPlugIndexBuffer::s_ChunkId, 8 + count * 2);
    state.SetComplexityN(count);
}

void ScalingStream(benchmark::State& state) {
    const u32 count = u32(state.range(0));
    CMwNodRef from = MakeStream(count), into(new CPlugVertexStream);
    for (auto _ : state)
        WriteAndRead(*from.Get(), *into.Get(), CPlugVertexStream::s_ChunkId, 32 + count * 40);
    state.SetComplexityN(count);
}

void ScalingSetSource(benchmark::State& state) {
    const u32 count = u32(state.range(0));
    CMwNodRef a = MakeStream(count), b = MakeStream(count), sharer(new CPlugVertexStream);
    auto* stream = static_cast<CPlugVertexStream*>(sharer.Get());
    auto* sa = static_cast<CPlugVertexStream*>(a.Get());
    auto* sb = static_cast<CPlugVertexStream*>(b.Get());
    sa->UseBlockAsRecords(0);
    sb->UseBlockAsRecords(0);
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        stream->SetSource(flip ? sa : sb);
        benchmark::DoNotOptimize(stream->GetInterleavedBuffer(true, true, true));
    }
    state.SetComplexityN(count);
}

BENCHMARK(IndexBuffer)->DenseRange(10, 20, 2);
BENCHMARK(Stream)->RangeMultiplier(4)->Range(1 << 10, 1 << 16);
BENCHMARK(SetSourceAndQuery)->RangeMultiplier(8)->Range(1 << 10, 1 << 16);
BENCHMARK(ScalingIndexBuffer)->DenseRange(10, 20, 1)->Complexity(benchmark::oN);
BENCHMARK(ScalingStream)->RangeMultiplier(2)->Range(1 << 10, 1 << 16)->Complexity(benchmark::oN);
BENCHMARK(ScalingSetSource)->RangeMultiplier(2)->Range(1 << 10, 1 << 16)->Complexity(benchmark::o1);

} // namespace
