#pragma once
// CPlugIndexBuffer: a list of 16-bit vertex indices with two hints, IsStatic and IndexType.
// Indices are stored and read as 16-bit values whatever IndexType says.
#include "core/base/FastBuffer.h"
#include "plug/bitmap/PlugFile.h"

class CPlugIndexBuffer : public CPlug {
    MW_DECLARE_CLASS(CPlugIndexBuffer, CPlug, 0x09057000)
public:
    static constexpr u32 s_ChunkId = 0x09057000;
    static constexpr u32 s_IsStaticMemberId = 0x09057000;
    static constexpr u32 s_IndexTypeMemberId = 0x09057001;
    static constexpr u32 s_IndexCountMemberId = 0x09057002;

    CPlugIndexBuffer() = default;
    ~CPlugIndexBuffer() override { m_Indices.FreeItems(); }

    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    // Replaces the indices by a copy of `count` values.
    void SetIndices(const u16* indices, u32 count);

    bool IsStatic() const { return (m_Flags & 0x1) != 0; }
    u32 GetIndexType() const { return (m_Flags >> 2) & 0x3; }
    u32 GetIndexCount() const { return m_Indices.m_Count; }
    const u16* GetIndices() const { return m_Indices.m_Items; }

    u32 m_Reserved = 0;
    u32 m_Flags = 2;
    CFastBuffer<u16> m_Indices;
};
