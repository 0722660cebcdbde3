// Fuzzes the loading of archive images whose nods are vertex streams and index buffers: element
// descriptors, owned blocks, elements sharing another's block, sources stored inline, and index
// arrays, with the core, system and plug classes registered.
//
// A load ends loaded or failed, never in a fault, a hang or an allocation past the bytes given,
// and a failed load leaves no nod behind. After a load every value byte a stream's elements
// address is read, the interleaved query is asked with every wish, and the nod saves, loads and
// saves again to the same bytes.
#include "FuzzArchive.h"
#include "FuzzCheck.h"
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "plug/PlugClasses.h"
#include "plug/visual/PlugIndexBuffer.h"
#include "plug/visual/PlugVertexStream.h"
#include "system/SystemClasses.h"
#include "system/archive/SystemArchive.h"
#include "system/fid/SystemFidFile.h"

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

volatile u8 s_Sink;

// Reads the bytes every element addresses: an owning element its whole block, a sharing one
// [pointer + i x stride, pointer + i x stride + stride - offset) for every vertex i, where the
// offset is its distance from the start of the owning block of its stride that holds it.
void TouchValues(const CPlugVertexStream& stream) {
    const u32 count = stream.GetVertexCount();
    u8 sum = 0;
    for (const SPlugVertexElement& element : stream.m_Elements) {
        const u32 stride = PlugElementStride(element.m_Descriptor);
        uintptr_t offset = 0;
        if (!PlugElementOwns(element.m_Descriptor)) {
            bool found = false;
            const uintptr_t at = reinterpret_cast<uintptr_t>(element.m_Data);
            for (const SPlugVertexElement& owner : stream.m_Elements) {
                const uintptr_t start = reinterpret_cast<uintptr_t>(owner.m_Data);
                if (!found && PlugElementOwns(owner.m_Descriptor) &&
                    PlugElementStride(owner.m_Descriptor) == stride && at >= start &&
                    at - start < stride) {
                    offset = at - start;
                    found = true;
                }
            }
            FUZZ_CHECK(found);
        }
        for (u32 i = 0; i < count; ++i)
            for (uintptr_t b = 0; b < stride - offset; ++b)
                sum = u8(sum + element.m_Data[uintptr_t(i) * stride + b]);
    }
    s_Sink = sum;
    for (u32 wish = 0; wish < 8; ++wish) {
        auto& query = const_cast<CPlugVertexStream&>(stream);
        if (SPlugVertexBuffer* buffer = query.GetInterleavedBuffer(wish & 1, wish & 2, wish & 4))
            FUZZ_CHECK(buffer == &query.m_VertexBuffer && buffer->m_Data);
    }
}

bool IsGeometry(CMwNod* nod) {
    return nod->IsKindOf(CPlugVertexStream::s_ClassId) ||
           nod->IsKindOf(CPlugIndexBuffer::s_ClassId);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The log would keep every line of every run.
    g_ClassicLog.m_SuspendCount = 1;
    CMwIdTable::Create();
    CMwClassRegistry::AddClassList(g_MwCoreClassList);
    CMwClassRegistry::AddClassList(g_SystemClassList);
    CMwClassRegistry::AddClassList(g_PlugClassList);
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
        if (nod && IsGeometry(nod.Get())) {
            if (nod->IsKindOf(CPlugVertexStream::s_ClassId))
                for (auto* s = static_cast<CPlugVertexStream*>(nod.Get()); s; s = s->m_Source)
                    TouchValues(*s);
            FuzzCheckSaveReloads(nod.Get());
        }
    }
    FUZZ_CHECK(CMwNod::GetLiveNodCount() == before);
    return 0;
}
