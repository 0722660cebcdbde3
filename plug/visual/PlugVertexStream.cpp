#include "plug/visual/PlugVertexStream.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwVirtualMember.h"

#include <bit>
#include <cstdint>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "element blocks are copied as bytes");

namespace {

constexpr const char* kKindNames[EPlugVertexKind_Count] = {
    "Position",  "Position1", "PositionT", "BlendWeight", "BlendIndices", "Normal",
    "Normal1",   "PointSize", "Color0",    "Color1",      "TexCoord0",    "TexCoord1",
    "TexCoord2", "TexCoord3", "TexCoord4", "TexCoord5",   "TexCoord6",    "TexCoord7",
    "TangentU",  "TangentU1", "TangentV",  "TangentV1"};
constexpr u32 kKindMasks[EPlugVertexKind_Count] = {
    0x1,      0x2,       0x4,       0x8,        0x20,       0x40,      0x80,    0x100,
    0x200,    0x400,     0x800,     0x2000,     0x8000,     0x20000,   0x80000, 0x200000,
    0x800000, 0x2000000, 0x8000000, 0x10000000, 0x20000000, 0x40000000};

} // namespace

const char* PlugVertexKindName(u32 kind) {
    return kind < EPlugVertexKind_Count ? kKindNames[kind] : nullptr;
}

u32 PlugVertexKindMask(u32 kind) {
    return kind < EPlugVertexKind_Count ? kKindMasks[kind] : 0;
}

#define CPLUGVERTEXSTREAM_MEMBERS(X)                                                               \
    X(Bool, 0x09056000, "IsStatic", MW_VIRTUAL(""), "Static", 0x11, 0x380)                         \
    X(Bool, 0x09056001, "SkipVision", MW_VIRTUAL(""), "SkipVision", 0x11, 0x380)
#define CPLUGVERTEXSTREAM_CHUNKS(X) X(0x09056000, 3)

MW_DEFINE_CLASS(CPlugVertexStream, MwFactory<CPlugVertexStream>, CPLUGVERTEXSTREAM_MEMBERS,
                CPLUGVERTEXSTREAM_CHUNKS);

namespace {

// A refused body: one log line with the reason, then the failure of a damaged stream, which the
// operation that started the read catches.
[[noreturn]] void Refuse(const char* reason, u32 value) {
    ClassicLogFormatLine("CPlugVertexStream: chunk 0x%08X not read: %s (%u)",
                         CPlugVertexStream::s_ChunkId, reason, value);
    throw CClassicBufferException(kClassicBufferErrorBadData, u"Bad vertex stream");
}

[[noreturn]] void RefuseWrite(const char* reason, u32 element) {
    ClassicLogFormatLine("CPlugVertexStream: chunk 0x%08X not written: %s (element %u)",
                         CPlugVertexStream::s_ChunkId, reason, element);
    throw CClassicBufferException(kClassicBufferErrorBadData, u"Bad vertex stream");
}

// Bytes left in a stream that knows its size; the largest u64 for one that does not.
u64 BytesLeft(CClassicArchive& archive) {
    const CClassicBuffer* stream = archive.GetBuffer();
    if (!stream || !stream->CanSeek())
        return UINT64_MAX;
    const u32 position = stream->GetPosition(), size = stream->GetSize();
    return size > position ? size - position : 0;
}

void WriteWord(CClassicArchive& archive, u32 word) {
    const u8 bytes[4] = {u8(word), u8(word >> 8), u8(word >> 16), u8(word >> 24)};
    archive.WriteRaw(bytes, 4);
}

u32 ReadWord(CClassicArchive& archive) {
    u8 bytes[4];
    archive.ReadRaw(bytes, 4);
    return u32(bytes[0]) | u32(bytes[1]) << 8 | u32(bytes[2]) << 16 | u32(bytes[3]) << 24;
}

} // namespace

CPlugVertexStream::~CPlugVertexStream() {
    // The blocks go with their last holder; the records are never the stream's to free.
    if (m_Source)
        m_Source->Release();
}

u32 CPlugVertexStream::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        switch (member.MemberId) {
            case s_IsStaticMemberId:
                return MwAnswerValue(out, u32(IsStatic()));
            case s_SkipVisionMemberId:
                return MwAnswerValue(out, u32(SkipVision()));
            default:
                return MwNotOwnMember;
        }
    });
}

void CPlugVertexStream::DropContent() {
    CPlugVertexStream* old = m_Source;
    m_Source = nullptr;
    m_Elements.clear();
    m_Blocks.clear();
    m_VertexBuffer = {};
    m_ComponentMask = 0;
    if (old)
        old->Release();
}

bool CPlugVertexStream::SetSource(CPlugVertexStream* source) {
    if (source == m_Source)
        return true;
    for (CPlugVertexStream* s = source; s; s = s->m_Source)
        if (s == this) {
            ClassicLogFormatLine("CPlugVertexStream: a source that leads back to the stream");
            return false;
        }
    if (!source) {
        DropContent();
        return true;
    }
    source->AddRef();
    CPlugVertexStream* old = m_Source;
    m_Source = source;
    m_VertexBuffer = {source->m_VertexBuffer.m_Count, source->m_VertexBuffer.m_Data,
                      source->m_VertexBuffer.m_Count};
    m_Flags = source->m_Flags;
    m_ComponentMask = source->m_ComponentMask;
    m_Elements = source->m_Elements;
    // Taking the source's blocks lets the old ones go when nobody else holds them.
    m_Blocks = source->m_Blocks;
    if (old)
        old->Release();
    return true;
}

SPlugVertexBuffer* CPlugVertexStream::GetInterleavedBuffer(bool position, bool normal,
                                                           bool colour) {
    bool found = false;
    uintptr_t base = 0;
    for (const SPlugVertexElement& element : m_Elements) {
        const u32 kind = PlugElementKind(element.m_Descriptor);
        uintptr_t offset;
        if (kind == EPlugVertexKind_Position && position)
            offset = 0;
        else if (kind == EPlugVertexKind_Normal && normal)
            offset = 12;
        else if (kind == EPlugVertexKind_Color0 && colour)
            offset = 24;
        else
            continue;
        if (PlugElementStride(element.m_Descriptor) != sizeof(SPlugVertex3D))
            return nullptr;
        const uintptr_t at = reinterpret_cast<uintptr_t>(element.m_Data) - offset;
        if (found && at != base)
            return nullptr;
        found = true;
        base = at;
    }
    if (!found || !m_VertexBuffer.m_Data ||
        base != reinterpret_cast<uintptr_t>(m_VertexBuffer.m_Data))
        return nullptr;
    return &m_VertexBuffer;
}

void CPlugVertexStream::Clear(u32 vertexCount) {
    DropContent();
    m_VertexBuffer.m_Count = vertexCount;
    m_VertexBuffer.m_Capacity = vertexCount;
}

u8* CPlugVertexStream::AddOwningElement(u32 descriptor) {
    descriptor |= kPlugElementOwnsBlock;
    const size_t size = size_t(PlugElementStride(descriptor)) * m_VertexBuffer.m_Count;
    std::shared_ptr<u8[]> block(new u8[size ? size : 1]());
    m_Blocks.push_back(block);
    m_Elements.push_back({block.get(), descriptor});
    RecomputeMask();
    return block.get();
}

void CPlugVertexStream::AddSharingElement(u32 descriptor, u32 owner, u32 offset) {
    AddElementAt(descriptor & ~kPlugElementOwnsBlock, m_Elements.at(owner).m_Data + offset);
}

void CPlugVertexStream::AddElementAt(u32 descriptor, u8* data) {
    m_Elements.push_back({data, descriptor});
    RecomputeMask();
}

void CPlugVertexStream::UseBlockAsRecords(u32 owner) {
    m_VertexBuffer.m_Data = reinterpret_cast<SPlugVertex3D*>(m_Elements.at(owner).m_Data);
}

void CPlugVertexStream::RecomputeMask() {
    m_ComponentMask = 0;
    for (const SPlugVertexElement& element : m_Elements)
        m_ComponentMask |= PlugVertexKindMask(PlugElementKind(element.m_Descriptor));
}

void CPlugVertexStream::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    switch (chunkId) {
        case s_ChunkId:
            if (archive.m_Writing)
                WriteBody(archive);
            else
                ReadBody(archive);
            break;
        default:
            Super::ArchiveChunk(archive, chunkId);
    }
}

void CPlugVertexStream::WriteBody(CClassicArchive& archive) {
    u32 count = m_VertexBuffer.m_Count;
    archive.WriteUInts(&count, 1);
    WriteWord(archive, m_Flags);
    CMwNod* source = m_Source;
    archive.ArchiveNodRef(source);
    if (m_Source)
        return;
    u32 elementCount = u32(m_Elements.size());
    archive.WriteUInts(&elementCount, 1);
    for (u32 i = 0; i < elementCount; ++i) {
        const SPlugVertexElement& element = m_Elements[i];
        const u32 stride = PlugElementStride(element.m_Descriptor);
        WriteWord(archive, element.m_Descriptor);
        if (PlugElementOwns(element.m_Descriptor)) {
            archive.WriteRaw(element.m_Data, stride * count);
            continue;
        }
        // The owner: the first other element that owns a block of the same stride that holds
        // the pointer (from one stride before its start to N strides after it).
        const uintptr_t at = reinterpret_cast<uintptr_t>(element.m_Data);
        u32 owner = elementCount;
        for (u32 j = 0; j < elementCount && owner == elementCount; ++j) {
            const SPlugVertexElement& other = m_Elements[j];
            const uintptr_t start = reinterpret_cast<uintptr_t>(other.m_Data);
            if (j != i && PlugElementOwns(other.m_Descriptor) &&
                PlugElementStride(other.m_Descriptor) == stride && at + stride >= start &&
                at <= start + uintptr_t(stride) * count)
                owner = j;
        }
        if (owner == elementCount)
            RefuseWrite("no element owns the block its values lie in", i);
        // Only an owner read before the element, and an offset inside one stride, read back to
        // the same address.
        const uintptr_t start = reinterpret_cast<uintptr_t>(m_Elements[owner].m_Data);
        if (owner > i || at < start || at - start >= stride)
            RefuseWrite("the values' place would not read back", i);
        u16 pair[2] = {u16(owner), u16(at - start)};
        archive.WriteShorts(pair, 2);
    }
}

void CPlugVertexStream::ReadBody(CClassicArchive& archive) {
    u32 count = 0;
    archive.ReadUInts(&count, 1);
    const u32 flags = ReadWord(archive);
    CMwNod* read = nullptr;
    archive.ArchiveNodRef(read);
    if (read) {
        if (!read->IsKindOf(s_ClassId))
            Refuse("a source that is not a vertex stream", read->GetClassId());
        for (auto* s = static_cast<CPlugVertexStream*>(read); s; s = s->m_Source)
            if (s == this)
                Refuse("a source that leads back to the stream", 0);
    }
    CMwNodRef source(read);
    DropContent();
    m_Flags = flags;
    if (!read) {
        u32 elementCount = 0;
        archive.ReadUInts(&elementCount, 1);
        m_VertexBuffer.m_Count = count;
        ReadElements(archive, elementCount);
    }
    m_VertexBuffer = {count, nullptr, count};
    SetSource(static_cast<CPlugVertexStream*>(read));
    RecomputeMask();
}

void CPlugVertexStream::ReadElements(CClassicArchive& archive, u32 elementCount) {
    const u32 count = m_VertexBuffer.m_Count;
    if (elementCount > kPlugVertexStreamMaxElements)
        Refuse("more elements than a stream can have", elementCount);
    if (u64(elementCount) * 4 > BytesLeft(archive))
        Refuse("more elements than the bytes left", elementCount);
    m_Elements.reserve(elementCount);
    bool paid = false;
    for (u32 i = 0; i < elementCount; ++i) {
        const u32 descriptor = ReadWord(archive);
        const u32 stride = PlugElementStride(descriptor);
        if (PlugElementOwns(descriptor)) {
            const u64 size = u64(stride) * count;
            if (size > kClassicArchiveMaxRawSize || size > BytesLeft(archive))
                Refuse("an element block past the end of the stream", i);
            std::shared_ptr<u8[]> block(new u8[size ? size : 1]);
            archive.ReadRaw(block.get(), u32(size));
            m_Blocks.push_back(block);
            m_Elements.push_back({block.get(), descriptor});
            paid = paid || stride != 0;
            continue;
        }
        u16 pair[2] = {};
        archive.ReadShorts(pair, 2);
        const u32 owner = pair[0], offset = pair[1];
        if (owner >= i)
            Refuse("an element whose owner does not come before it", i);
        const u32 ownerDescriptor = m_Elements[owner].m_Descriptor;
        if (!PlugElementOwns(ownerDescriptor))
            Refuse("an element whose owner has no block", i);
        if (PlugElementStride(ownerDescriptor) != stride)
            Refuse("an element whose owner has another stride", i);
        if (offset >= stride)
            Refuse("an element whose values start past the stride", i);
        m_Elements.push_back({m_Elements[owner].m_Data + offset, descriptor});
    }
    if (count > 0 && !paid)
        Refuse("vertices that no element block holds", count);
}
