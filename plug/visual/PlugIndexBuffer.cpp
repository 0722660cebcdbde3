#include "plug/visual/PlugIndexBuffer.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwVirtualMember.h"

#include <bit>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "indices are copied as bytes");

namespace {

constexpr const char* kIndexTypeNames[] = {"16b", "32b"};

} // namespace

#define CPLUGINDEXBUFFER_MEMBERS(X)                                                                \
    X(Bool, 0x09057000, "IsStatic", MW_VIRTUAL(""), "Static", 0x11, 0x380)                         \
    X(Enum, 0x09057001, "IndexType", MW_VIRTUAL(""), "IndexType", 0x11, 0x380, "",                 \
      kIndexTypeNames)                                                                             \
    X(Natural, 0x09057002, "IndexCount", MW_VIRTUAL(""), "IndexCount", 0x11, 0x380)
#define CPLUGINDEXBUFFER_CHUNKS(X) X(0x09057000, 3)

MW_DEFINE_CLASS(CPlugIndexBuffer, MwFactory<CPlugIndexBuffer>, CPLUGINDEXBUFFER_MEMBERS,
                CPLUGINDEXBUFFER_CHUNKS);

u32 CPlugIndexBuffer::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        switch (member.MemberId) {
            case s_IsStaticMemberId:
                return MwAnswerValue(out, u32(IsStatic()));
            case s_IndexTypeMemberId:
                return MwAnswerValue(out, GetIndexType());
            case s_IndexCountMemberId:
                return MwAnswerValue(out, GetIndexCount());
            default:
                return MwNotOwnMember;
        }
    });
}

void CPlugIndexBuffer::SetIndices(const u16* indices, u32 count) {
    m_Indices.FreeItems();
    m_Indices.Reserve(count);
    if (count)
        std::memcpy(m_Indices.m_Items, indices, size_t(count) * 2);
    m_Indices.m_Count = count;
}

void CPlugIndexBuffer::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId != s_ChunkId) {
        Super::ArchiveChunk(archive, chunkId);
        return;
    }
    u8 flags[4] = {u8(m_Flags), u8(m_Flags >> 8), u8(m_Flags >> 16), u8(m_Flags >> 24)};
    archive.SerializeRaw(flags, 4);
    u32 count = m_Indices.m_Count;
    archive.SerializeUInts(&count, 1);
    if (archive.m_Writing) {
        archive.WriteRaw(m_Indices.m_Items, count * 2);
        return;
    }
    m_Flags = u32(flags[0]) | u32(flags[1]) << 8 | u32(flags[2]) << 16 | u32(flags[3]) << 24;
    // The size is checked against the bytes left before the array is made.
    const u64 size = u64(count) * 2;
    const CClassicBuffer* stream = archive.GetBuffer();
    const u64 left = stream && stream->CanSeek() && stream->GetSize() > stream->GetPosition()
                         ? stream->GetSize() - stream->GetPosition()
                         : 0;
    if (size > kClassicArchiveMaxRawSize || (stream && stream->CanSeek() && size > left)) {
        ClassicLogFormatLine("CPlugIndexBuffer: chunk 0x%08X not read: %u indices past the end "
                             "of the stream",
                             s_ChunkId, count);
        throw CClassicBufferException(kClassicBufferErrorBadData, u"Bad index buffer");
    }
    // A zero count empties the buffer too, so that a buffer read again holds what was stored.
    m_Indices.FreeItems();
    m_Indices.Reserve(count);
    archive.ReadRaw(m_Indices.m_Items, u32(size));
    m_Indices.m_Count = count;
}
