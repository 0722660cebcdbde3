// Index buffers: the chunk body, its refusal when the indices are not there, and the members.
#include "plug/visual/PlugIndexBuffer.h"

#include "core/nod/MwMemberPath.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/plug/PlugTestSupport.h"
#include "tests/plug/visual/VertexStreamSamples.h"

#include <cstring>

namespace {

class PlugIndexBuffer : public CPlugFixture {};

CPlugIndexBuffer& Buffer(CMwNodRef& held) {
    return static_cast<CPlugIndexBuffer&>(*held.Get());
}

// Flag word raw, count, then the indices as raw 16-bit values, in both encodings.
TEST_F(PlugIndexBuffer, BodyBytesAndReadBack) {
    CMwNodRef empty(new CPlugIndexBuffer);
    EXPECT_EQ(WriteChunkBody(*empty.Get(), CPlugIndexBuffer::s_ChunkId),
              std::string("\x02\x00\x00\x00\x00\x00\x00\x00", 8));

    CMwNodRef held(new CPlugIndexBuffer);
    const u16 indices[] = {0, 1, 2, 0x0201, 0xFFFF};
    Buffer(held).SetIndices(indices, 5);
    Buffer(held).m_Flags = 0x7;
    EXPECT_EQ(WriteChunkBody(*held.Get(), CPlugIndexBuffer::s_ChunkId),
              std::string("\x07\x00\x00\x00\x05\x00\x00\x00"
                          "\x00\x00\x01\x00\x02\x00\x01\x02\xFF\xFF",
                          18));
    EXPECT_EQ(WriteChunkBody(*held.Get(), CPlugIndexBuffer::s_ChunkId, true),
              std::string("\x07\x00\x00\x00"
                          "5\r\n"
                          "\x00\x00\x01\x00\x02\x00\x01\x02\xFF\xFF",
                          17));
    for (bool text : {false, true}) {
        SCOPED_TRACE(text);
        const std::string body = WriteChunkBody(*held.Get(), CPlugIndexBuffer::s_ChunkId, text);
        CMwNodRef back(new CPlugIndexBuffer);
        // A buffer read again holds what was stored, even when nothing was.
        Buffer(back).SetIndices(indices, 3);
        ReadChunkBody(*back.Get(), CPlugIndexBuffer::s_ChunkId, body, text);
        ASSERT_EQ(Buffer(back).GetIndexCount(), 5u);
        EXPECT_EQ(Buffer(back).m_Indices.m_Capacity, 5u);
        EXPECT_EQ(std::memcmp(Buffer(back).GetIndices(), indices, sizeof indices), 0);
        EXPECT_EQ(Buffer(back).m_Flags, 0x7u);
        ReadChunkBody(*back.Get(), CPlugIndexBuffer::s_ChunkId,
                      WriteChunkBody(*empty.Get(), CPlugIndexBuffer::s_ChunkId, text), text);
        EXPECT_EQ(Buffer(back).GetIndexCount(), 0u);
    }
}

// A count whose indices are not there fails before the array is made.
TEST_F(PlugIndexBuffer, MissingIndicesAreRefused) {
    for (const std::string& body :
         {std::string("\x02\x00\x00\x00\x03\x00\x00\x00\x01\x00\x02\x00", 12),
          std::string("\x02\x00\x00\x00\xFF\xFF\xFF\xFF", 8)}) {
        CMwNodRef held(new CPlugIndexBuffer);
        const u16 kept[] = {4, 5};
        Buffer(held).SetIndices(kept, 2);
        CLogWatch log;
        try {
            ReadChunkBody(*held.Get(), CPlugIndexBuffer::s_ChunkId, body);
            ADD_FAILURE() << "read without failing";
        } catch (const CClassicBufferException& e) {
            EXPECT_EQ(e.m_Code, kClassicBufferErrorBadData);
        }
        EXPECT_NE(log.Since().find("CPlugIndexBuffer: chunk 0x09057000 not read: "),
                  std::string::npos)
            << log.Since();
        EXPECT_EQ(Buffer(held).GetIndexCount(), 2u);
    }
}

TEST_F(PlugIndexBuffer, MembersAreReadOnly) {
    CMwNodRef held(new CPlugIndexBuffer);
    const struct {
        const char* Name;
        const char* Label;
        u32 Fresh, Filled;
    } members[] = {{"IsStatic", "Static", 0, 1},
                   {"IndexType", "IndexType", 0, 1},
                   {"IndexCount", "IndexCount", 0, 7}};
    for (bool filled : {false, true}) {
        if (filled) {
            MakeIndexBuffer(Buffer(held), 7);
            Buffer(held).m_Flags = 0x5;
        }
        for (const auto& m : members) {
            SCOPED_TRACE(m.Name);
            CMwMemberPath path;
            ASSERT_EQ(path.ParseFromText(CMwNod::s_NoClassId, held.Get(), CClassicString(m.Name)),
                      0u);
            CMwParamValue value;
            ASSERT_EQ(held->GetParam(&path, &value), 0u);
            EXPECT_EQ(*static_cast<u32*>(value.Value), filled ? m.Filled : m.Fresh);
            path.Reset();
            EXPECT_STREQ(reinterpret_cast<CMwMemberInfo*>(path.m_Values[0])->Label, m.Label);
            u32 two = 2;
            path.Reset();
            EXPECT_NE(held->SetParam(&path, &two), 0u);
        }
    }
    const auto* type =
        static_cast<const CMwMemberInfoEnum*>(CMwClassRegistry::GetMemberInfo(0x09057001));
    ASSERT_EQ(type->EnumCount, 2u);
    EXPECT_STREQ(type->EnumNames[0], "16b");
    EXPECT_STREQ(type->EnumNames[1], "32b");
}

} // namespace
