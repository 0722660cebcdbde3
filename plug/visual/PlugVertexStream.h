#pragma once
// CPlugVertexStream: per-vertex data described by element descriptors (which component, how far
// apart the values are, whether the element owns the bytes), or taken whole from another stream,
// its source. Streams are read from archives; nothing in the engine builds one yet, apart from
// the small builders below.
//
// Element blocks are shared and counted: a stream that takes a source holds the source's blocks,
// so they stay alive when the source is read again or given another source.
#include "plug/bitmap/PlugFile.h"
#include "plug/visual/PlugVertex.h"

#include <memory>
#include <vector>

// One element: the address of its first value and its descriptor.
struct SPlugVertexElement {
    u8* m_Data = nullptr;
    u32 m_Descriptor = 0;
};

// The vertex buffer: the stream's vertex count, and the interleaved records when the elements
// are laid out as such (never freed by the stream: they lie in an element block).
struct SPlugVertexBuffer {
    u32 m_Count = 0;
    SPlugVertex3D* m_Data = nullptr;
    u32 m_Capacity = 0;
};

// Elements a stored stream may list; a real stream has at most one per kind.
inline constexpr u32 kPlugVertexStreamMaxElements = 64;

class CPlugVertexStream : public CPlug {
    MW_DECLARE_CLASS(CPlugVertexStream, CPlug, 0x09056000)
public:
    static constexpr u32 s_ChunkId = 0x09056000;
    static constexpr u32 s_IsStaticMemberId = 0x09056000;
    static constexpr u32 s_SkipVisionMemberId = 0x09056001;

    CPlugVertexStream() = default;
    ~CPlugVertexStream() override;

    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    // Takes the source's vertex buffer (capacity = count), flag word, mask and elements, sharing
    // their bytes; null drops the source and leaves no element, no vertex and mask 0. Nothing
    // happens when the source is the current one. False, with a log line and nothing changed,
    // for this stream itself or a source whose chain of sources leads back to it.
    bool SetSource(CPlugVertexStream* source);
    CPlugVertexStream* GetSource() const { return m_Source; }

    // The vertex buffer when every wanted Position, Normal and Color0 element lies in it (stride
    // 40, at 0, 12 and 24 bytes into a record starting at the buffer's records); null otherwise.
    SPlugVertexBuffer* GetInterleavedBuffer(bool position, bool normal, bool colour);

    // Building in memory. Clear drops the source and the elements and sets the vertex count.
    void Clear(u32 vertexCount);
    // Adds an element with a zeroed block of stride x vertex count bytes of its own; returns the
    // block.
    u8* AddOwningElement(u32 descriptor);
    // Adds an element whose values lie in another element's block, `offset` bytes into it.
    void AddSharingElement(u32 descriptor, u32 owner, u32 offset);
    // Adds an element at any address (a writer test's malformed stream); the caller keeps the
    // bytes alive.
    void AddElementAt(u32 descriptor, u8* data);
    // The vertex buffer's records become the start of an owning element's block.
    void UseBlockAsRecords(u32 owner);

    u32 GetVertexCount() const { return m_VertexBuffer.m_Count; }
    bool IsStatic() const { return (m_Flags & 0x1) != 0; }
    bool SkipVision() const { return (m_Flags & 0x8) != 0; }

    u32 m_Reserved0 = 0;
    CPlugVertexStream* m_Source = nullptr;
    SPlugVertexBuffer m_VertexBuffer;
    u32 m_Flags = 2;
    u32 m_ComponentMask = 0;
    std::vector<SPlugVertexElement> m_Elements;
    u32 m_Reserved1 = 0;

private:
    void ReadBody(CClassicArchive& archive);
    void WriteBody(CClassicArchive& archive);
    void ReadElements(CClassicArchive& archive, u32 count);
    void RecomputeMask();
    void DropContent();

    // The blocks the elements point into: the stream's own, or its source's.
    std::vector<std::shared_ptr<u8[]>> m_Blocks;
};
