// Vertex streams: kinds and descriptors, the interleaved query, the chunk body in both
// encodings, the refusals of damaged bodies, sharing with a source, and the members.
#include "plug/visual/PlugVertexStream.h"

#include "core/nod/MwMemberPath.h"
#include "system/archive/SystemArchive.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/plug/PlugTestSupport.h"
#include "tests/plug/visual/VertexStreamSamples.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

class PlugVertexStream : public CPlugFixture {};
class PlugVertexStreamFiles : public CPlugEngineFixture {};

std::string Word(u32 value) {
    const char bytes[4] = {char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
    return std::string(bytes, 4);
}
std::string Pair(u16 owner, u16 offset) {
    const char bytes[4] = {char(owner), char(owner >> 8), char(offset), char(offset >> 8)};
    return std::string(bytes, 4);
}

// Reads a body that must be refused: the damaged-stream exception, one log line naming the
// class, the chunk and the reason.
void ExpectRefused(CPlugVertexStream& stream, const std::string& body, const char* reason,
                   CMwNod* reference = nullptr) {
    CLogWatch log;
    try {
        ReadChunkBody(stream, CPlugVertexStream::s_ChunkId, body, false, reference);
        ADD_FAILURE() << "read without failing";
    } catch (const CClassicBufferException& e) {
        EXPECT_EQ(e.m_Code, kClassicBufferErrorBadData);
    }
    const std::string text = log.Since();
    EXPECT_NE(text.find("CPlugVertexStream: chunk 0x09056000 not read: "), std::string::npos)
        << text;
    EXPECT_NE(text.find(reason), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
}

TEST(PlugVertexKinds, NamesMasksAndDescriptorFields) {
    const struct {
        u32 Kind;
        const char* Name;
        u32 Mask;
    } kinds[] = {{0, "Position", 0x1},
                 {3, "BlendWeight", 0x8},
                 {4, "BlendIndices", 0x20},
                 {5, "Normal", 0x40},
                 {8, "Color0", 0x200},
                 {10, "TexCoord0", 0x800},
                 {11, "TexCoord1", 0x2000},
                 {17, "TexCoord7", 0x2000000},
                 {18, "TangentU", 0x8000000},
                 {21, "TangentV1", 0x40000000},
                 {22, nullptr, 0},
                 {0x1FF, nullptr, 0}};
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.Kind);
        EXPECT_EQ(PlugVertexKindMask(k.Kind), k.Mask);
        if (k.Name)
            EXPECT_STREQ(PlugVertexKindName(k.Kind), k.Name);
        else
            EXPECT_EQ(PlugVertexKindName(k.Kind), nullptr);
    }
    // Kind, stride and ownership; the other bits are left to the caller.
    EXPECT_EQ(PlugElementKind(0xBFFFFFFF), 0x1FFu);
    EXPECT_EQ(PlugElementStride(kInterleavedPosition), 40u);
    EXPECT_TRUE(PlugElementOwns(kInterleavedPosition));
    EXPECT_FALSE(PlugElementOwns(kInterleavedNormal));
    EXPECT_EQ(PlugElementDescriptor(5, 40, false), kInterleavedNormal);
}

// The interleaved query over wishes; a wanted element of another stride, or two bases, is null.
TEST_F(PlugVertexStream, InterleavedBufferQuery) {
    CMwNodRef held(new CPlugVertexStream);
    auto& stream = static_cast<CPlugVertexStream&>(*held.Get());
    MakeInterleavedStream(stream, 4);
    EXPECT_EQ(stream.m_ComponentMask, 0x1u | 0x40u | 0x200u);
    const struct {
        bool P, N, C, Found;
    } wishes[] = {{true, true, true, true},
                  {true, false, false, true},
                  {false, true, false, true},
                  {false, false, true, true},
                  {false, false, false, false}};
    for (const auto& w : wishes) {
        SCOPED_TRACE(testing::Message() << w.P << w.N << w.C);
        EXPECT_EQ(stream.GetInterleavedBuffer(w.P, w.N, w.C),
                  w.Found ? &stream.m_VertexBuffer : nullptr);
    }

    // A Normal of stride 32 answers null when normals are wanted.
    CMwNodRef other(new CPlugVertexStream);
    auto& narrow = static_cast<CPlugVertexStream&>(*other.Get());
    narrow.Clear(4);
    narrow.AddOwningElement(kInterleavedPosition);
    narrow.AddOwningElement(PlugElementDescriptor(5, 32, true));
    narrow.UseBlockAsRecords(0);
    EXPECT_EQ(narrow.GetInterleavedBuffer(true, true, false), nullptr);
    EXPECT_EQ(narrow.GetInterleavedBuffer(true, false, false), &narrow.m_VertexBuffer);

    // Two Position elements at different bases.
    narrow.Clear(4);
    narrow.AddOwningElement(kInterleavedPosition);
    narrow.AddOwningElement(kInterleavedPosition);
    narrow.UseBlockAsRecords(0);
    EXPECT_EQ(narrow.GetInterleavedBuffer(true, false, false), nullptr);
}

// The exact binary body, read back in both encodings.
TEST_F(PlugVertexStream, BodyBytesAndReadBack) {
    CMwNodRef held(new CPlugVertexStream);
    auto& stream = static_cast<CPlugVertexStream&>(*held.Get());
    MakeInterleavedStream(stream, 2);
    const std::string body = WriteChunkBody(stream, CPlugVertexStream::s_ChunkId);
    std::string block(80, '\0');
    std::memcpy(block.data(), stream.m_VertexBuffer.m_Data, 80);
    const std::string expected = Word(2) + Word(2) + Word(0xFFFFFFFF) + Word(3) +
                                 std::string("\x00\x00\xA0\x40", 4) + block +
                                 std::string("\x05\x00\xA0\x00\x00\x00\x0C\x00", 8) +
                                 std::string("\x08\x00\xA0\x00\x00\x00\x18\x00", 8);
    ASSERT_EQ(body.size(), 116u);
    EXPECT_EQ(body, expected);

    for (bool text : {false, true}) {
        SCOPED_TRACE(text);
        const std::string written = WriteChunkBody(stream, CPlugVertexStream::s_ChunkId, text);
        if (text) {
            EXPECT_EQ(written.substr(0, 3), "2\r\n");
        }
        CMwNodRef back(new CPlugVertexStream);
        auto& read = static_cast<CPlugVertexStream&>(*back.Get());
        ReadChunkBody(read, CPlugVertexStream::s_ChunkId, written, text);
        EXPECT_EQ(read.m_VertexBuffer.m_Count, 2u);
        EXPECT_EQ(read.m_VertexBuffer.m_Capacity, 2u);
        EXPECT_EQ(read.m_VertexBuffer.m_Data, nullptr);
        EXPECT_EQ(read.m_Flags, 2u);
        EXPECT_EQ(read.m_ComponentMask, 0x241u);
        ASSERT_EQ(read.m_Elements.size(), 3u);
        EXPECT_EQ(read.m_Elements[1].m_Data, read.m_Elements[0].m_Data + 12);
        EXPECT_EQ(read.m_Elements[2].m_Data, read.m_Elements[0].m_Data + 24);
        EXPECT_EQ(std::memcmp(read.m_Elements[0].m_Data, block.data(), 80), 0);
        // No records after a read: the query answers null.
        EXPECT_EQ(read.GetInterleavedBuffer(true, true, true), nullptr);
        EXPECT_EQ(WriteChunkBody(read, CPlugVertexStream::s_ChunkId, text), written);
    }
}

// Every damaged body is refused before anything is allocated by it or addressed through it.
TEST_F(PlugVertexStream, DamagedBodiesAreRefused) {
    const std::string head = Word(2) + Word(2) + Word(0xFFFFFFFF);
    const std::string position = Word(kInterleavedPosition) + std::string(80, '\1');
    const struct {
        const char* Name;
        std::string Body;
        const char* Reason;
    } cases[] = {
        {"owner after the element",
         head + Word(2) + Word(kInterleavedNormal) + Pair(1, 12) + position,
         "whose owner does not come before it"},
        {"owner is itself", head + Word(1) + Word(kInterleavedNormal) + Pair(0, 12),
         "whose owner does not come before it"},
        {"owner without a block",
         head + Word(3) + position + Word(kInterleavedNormal) + Pair(0, 12) +
             Word(kInterleavedColor) + Pair(1, 12),
         "whose owner has no block"},
        {"stride mismatch", head + Word(2) + position + Word(0x00800005) + Pair(0, 12),
         "another stride"},
        {"offset at the stride", head + Word(2) + position + Word(kInterleavedNormal) + Pair(0, 40),
         "past the stride"},
        {"block past the end", Word(3) + Word(2) + Word(0xFFFFFFFF) + Word(1) + position,
         "block past the end"},
        {"huge block",
         Word(0xFFFFFFFF) + Word(2) + Word(0xFFFFFFFF) + Word(1) + Word(0x47FC0000) +
             std::string(16, '\0'),
         "block past the end"},
        {"vertices without a block", head + Word(1) + Word(0x40000000), "no element block holds"},
        {"vertices and no element", head + Word(0), "no element block holds"},
        {"too many elements", head + Word(65) + std::string(65 * 4, '\0'),
         "more elements than a stream can have"},
        {"elements past the end", head + Word(30) + position, "more elements than the bytes left"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const u32 live = CMwNod::GetLiveNodCount();
        {
            CMwNodRef held(new CPlugVertexStream);
            ExpectRefused(static_cast<CPlugVertexStream&>(*held.Get()), c.Body, c.Reason);
        }
        EXPECT_EQ(CMwNod::GetLiveNodCount(), live);
    }
    // A stream without vertices needs no block.
    CMwNodRef held(new CPlugVertexStream);
    ReadChunkBody(*held.Get(), CPlugVertexStream::s_ChunkId,
                  Word(0) + Word(2) + Word(0xFFFFFFFF) + Word(0));
}

// The source read from a body must be another vertex stream, and not close a chain of sources.
TEST_F(PlugVertexStream, SourceReferencesAreKindTestedAndAcyclic) {
    const std::string body = Word(0) + Word(2) + Word(0);
    CMwNodRef a(new CPlugVertexStream), b(new CPlugVertexStream), plug(new CPlug);
    auto& streamA = static_cast<CPlugVertexStream&>(*a.Get());
    auto& streamB = static_cast<CPlugVertexStream&>(*b.Get());
    ExpectRefused(streamA, body, "a source that is not a vertex stream", plug.Get());
    ExpectRefused(streamA, body, "a source that leads back to the stream", &streamA);
    ASSERT_TRUE(streamB.SetSource(&streamA));
    ExpectRefused(streamA, body, "a source that leads back to the stream", &streamB);
    // In memory the same cycle is refused, and nothing changes.
    EXPECT_FALSE(streamA.SetSource(&streamB));
    EXPECT_EQ(streamA.m_Source, nullptr);
    EXPECT_EQ(a->GetRefCount(), 2);
}

// A sharer keeps the blocks it points into: a source read again, a middle stream of a chain
// given another source, and every order of destruction (run under AddressSanitizer).
TEST_F(PlugVertexStream, SharingOutlivesTheSource) {
    // A source read again while shared.
    {
        CMwNodRef a(new CPlugVertexStream), b(new CPlugVertexStream);
        auto& source = static_cast<CPlugVertexStream&>(*a.Get());
        auto& sharer = static_cast<CPlugVertexStream&>(*b.Get());
        MakeInterleavedStream(source, 3);
        ASSERT_TRUE(sharer.SetSource(&source));
        EXPECT_EQ(sharer.GetInterleavedBuffer(true, true, true), &sharer.m_VertexBuffer);
        EXPECT_EQ(sharer.m_VertexBuffer.m_Data, source.m_VertexBuffer.m_Data);
        const std::string body = WriteChunkBody(source, CPlugVertexStream::s_ChunkId);
        ReadChunkBody(source, CPlugVertexStream::s_ChunkId, body);
        EXPECT_NE(source.m_Elements[0].m_Data, sharer.m_Elements[0].m_Data);
        EXPECT_EQ(sharer.m_VertexBuffer.m_Data[2].m_Position.z, 6.0f);
        EXPECT_EQ(reinterpret_cast<const f32*>(sharer.m_Elements[2].m_Data + 40 * 2)[3], 2.0f);
    }
    // A <- B <- C, then B takes D: C still reads A's bytes.
    {
        CMwNodRef a(new CPlugVertexStream), b(new CPlugVertexStream), c(new CPlugVertexStream),
            d(new CPlugVertexStream);
        auto* sa = static_cast<CPlugVertexStream*>(a.Get());
        auto* sb = static_cast<CPlugVertexStream*>(b.Get());
        auto* sc = static_cast<CPlugVertexStream*>(c.Get());
        auto* sd = static_cast<CPlugVertexStream*>(d.Get());
        MakeInterleavedStream(*sa, 5);
        MakeInterleavedStream(*sd, 1);
        ASSERT_TRUE(sb->SetSource(sa));
        ASSERT_TRUE(sc->SetSource(sb));
        ASSERT_TRUE(sb->SetSource(sd));
        a.Set(nullptr);
        EXPECT_EQ(sb->GetVertexCount(), 1u);
        EXPECT_EQ(sc->GetVertexCount(), 5u);
        EXPECT_EQ(sc->m_VertexBuffer.m_Data[4].m_Position.y, 8.0f);
        // Dropping the source leaves nothing.
        ASSERT_TRUE(sc->SetSource(nullptr));
        EXPECT_EQ(sc->m_Source, nullptr);
        EXPECT_TRUE(sc->m_Elements.empty());
        EXPECT_EQ(sc->m_VertexBuffer.m_Data, nullptr);
        EXPECT_EQ(sc->GetVertexCount(), 0u);
        EXPECT_EQ(sc->m_ComponentMask, 0u);
    }
    // A <- B <- C given up in every order.
    u32 order[3] = {0, 1, 2};
    do {
        SCOPED_TRACE(testing::Message() << order[0] << order[1] << order[2]);
        const u32 live = CMwNod::GetLiveNodCount();
        CMwNodRef held[3];
        for (CMwNodRef& h : held)
            h.Set(new CPlugVertexStream);
        auto stream = [&](u32 i) { return static_cast<CPlugVertexStream*>(held[i].Get()); };
        MakeInterleavedStream(*stream(0), 2);
        stream(1)->SetSource(stream(0));
        stream(2)->SetSource(stream(1));
        for (u32 i : order) {
            held[i].Set(nullptr);
            for (u32 j = 0; j < 3; ++j)
                if (held[j].Get()) {
                    EXPECT_EQ(stream(j)->m_VertexBuffer.m_Data[1].m_Position.x, 1.0f);
                }
        }
        EXPECT_EQ(CMwNod::GetLiveNodCount(), live);
    } while (std::next_permutation(order, order + 3));
}

// The writer never stores an element whose values would read back elsewhere.
TEST_F(PlugVertexStream, UnwritableElementsFailTheSave) {
    CMwNodRef held(new CPlugVertexStream);
    auto& stream = static_cast<CPlugVertexStream&>(*held.Get());
    std::vector<u8> outside(400);
    const struct {
        const char* Name;
        int Build; // 0: no owner, 1: before the block's start, 2: owner after the element
        const char* Reason;
    } cases[] = {{"no owner", 0, "no element owns the block"},
                 {"before the start", 1, "would not read back"},
                 {"owner after it", 2, "would not read back"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        stream.Clear(4);
        if (c.Build == 2)
            stream.AddElementAt(kInterleavedNormal, outside.data());
        u8* block = stream.AddOwningElement(kInterleavedPosition);
        if (c.Build == 0)
            stream.AddElementAt(kInterleavedNormal, outside.data());
        if (c.Build == 1)
            stream.AddElementAt(kInterleavedNormal, block - 4);
        if (c.Build == 2)
            stream.m_Elements[0].m_Data = block + 12;
        CLogWatch log;
        EXPECT_THROW(WriteChunkBody(stream, CPlugVertexStream::s_ChunkId), CClassicBufferException);
        EXPECT_NE(log.Since().find(c.Reason), std::string::npos) << log.Since();
        CClassicBufferMemory image;
        CSystemArchive archive;
        EXPECT_FALSE(archive.Save(&stream, &image));
    }
}

// A stream with a source writes no element; read back it shares the source's elements.
TEST_F(PlugVertexStreamFiles, SourceStoredInline) {
    CMwNodRef a(new CPlugVertexStream), b(new CPlugVertexStream);
    auto& source = static_cast<CPlugVertexStream&>(*a.Get());
    auto& sharer = static_cast<CPlugVertexStream&>(*b.Get());
    MakeInterleavedStream(source, 3);
    source.m_Flags = 0x9;
    ASSERT_TRUE(sharer.SetSource(&source));
    EXPECT_EQ(sharer.m_Flags, 0x9u);
    EXPECT_TRUE(sharer.IsStatic());
    EXPECT_TRUE(sharer.SkipVision());

    for (u32 flags :
         {kSystemArchiveSaveRelease, kSystemArchiveSaveRelease | kSystemArchiveSaveText}) {
        SCOPED_TRACE(flags);
        CClassicBufferMemory image;
        CSystemArchive saver;
        ASSERT_EQ(saver.SaveToMemory(&image, &sharer, flags), 1);
        Engine().ReleaseMemoryFid(&image);
        CMwNod* out = nullptr;
        ASSERT_EQ(LoadNodFromMemoryBuffer(&image, &out), 1);
        const CMwNodRef loaded(out);
        auto& back = static_cast<CPlugVertexStream&>(*out);
        ASSERT_NE(back.m_Source, nullptr);
        const CPlugVertexStream& backSource = *back.m_Source;
        EXPECT_EQ(back.GetVertexCount(), 3u);
        ASSERT_EQ(back.m_Elements.size(), 3u);
        for (u32 i = 0; i < 3; ++i)
            EXPECT_EQ(back.m_Elements[i].m_Data, backSource.m_Elements[i].m_Data);
        EXPECT_EQ(back.m_ComponentMask, 0x241u);
        EXPECT_EQ(back.m_Flags, 0x9u);
        EXPECT_EQ(std::memcmp(back.m_Elements[0].m_Data, source.m_VertexBuffer.m_Data, 120), 0);
    }
    // The sharer's own body holds no element: the count, the flags, the reference.
    CNodIndexArchive archive;
    archive.SetBuffer(new CClassicBufferMemory);
    archive.m_Writing = 1;
    sharer.ArchiveChunk(archive, CPlugVertexStream::s_ChunkId);
    EXPECT_EQ(archive.GetBuffer()->GetSize(), 12u);
}

// A reader of our own, sharing none of our code, finds in the bodies what the nods hold.
TEST_F(PlugVertexStream, BodiesDecodedByAnIndependentReader) {
    CTempFolder temp;
    const std::string reader = std::string(ENGINE_TEST_PYTHON) + " " + ENGINE_TEST_SOURCE_DIR +
                               "/tests/plug/visual/stream_reader.py ";
    CMwNodRef held(new CPlugVertexStream), other(new CPlugVertexStream);
    auto& stream = static_cast<CPlugVertexStream&>(*held.Get());
    MakeInterleavedStream(stream, 5);
    stream.AddOwningElement(PlugElementDescriptor(EPlugVertexKind_TexCoord0, 8, true) | 0x80000000);
    stream.AddSharingElement(PlugElementDescriptor(EPlugVertexKind_TexCoord1, 8, false), 3, 4);
    stream.m_Flags = 0xB;
    WriteWholeFile(temp.File("stream.dat"), WriteChunkBody(stream, CPlugVertexStream::s_ChunkId));
    std::string expected = "vertices 5 flags 0000000b source none\nelements " +
                           std::to_string(stream.m_Elements.size()) + "\n";
    const u32 offsets[] = {0, 12, 24, 0, 4};
    for (u32 i = 0; i < stream.m_Elements.size(); ++i) {
        const u32 d = stream.m_Elements[i].m_Descriptor;
        expected += "element " + std::to_string(i) + " kind " + std::to_string(PlugElementKind(d)) +
                    " stride " + std::to_string(PlugElementStride(d));
        expected += PlugElementOwns(d) ? " block " + std::to_string(PlugElementStride(d) * 5) + "\n"
                                       : " owner " + std::to_string(i == 4 ? 3 : 0) + " offset " +
                                             std::to_string(offsets[i]) + "\n";
    }
    EXPECT_EQ(RunCommand(reader + "stream " + temp.File("stream.dat")), expected);

    static_cast<CPlugVertexStream*>(other.Get())->SetSource(&stream);
    WriteWholeFile(temp.File("sharer.dat"),
                   WriteChunkBody(*other.Get(), CPlugVertexStream::s_ChunkId));
    EXPECT_EQ(RunCommand(reader + "stream " + temp.File("sharer.dat")),
              "vertices 5 flags 0000000b source 0\n");

    CMwNodRef indices(new CPlugIndexBuffer);
    auto& buffer = static_cast<CPlugIndexBuffer&>(*indices.Get());
    MakeIndexBuffer(buffer, 7);
    WriteWholeFile(temp.File("indices.dat"), WriteChunkBody(buffer, CPlugIndexBuffer::s_ChunkId));
    std::string values;
    for (u32 i = 0; i < buffer.GetIndexCount(); ++i)
        values += " " + std::to_string(buffer.GetIndices()[i]);
    EXPECT_EQ(RunCommand(reader + "indices " + temp.File("indices.dat")),
              "flags 00000002 count 7\nindices" + values + "\n");
}

TEST_F(PlugVertexStream, MembersAreReadOnly) {
    CMwNodRef held(new CPlugVertexStream);
    auto& stream = static_cast<CPlugVertexStream&>(*held.Get());
    stream.m_Flags = 0x9;
    const struct {
        const char* Name;
        const char* Label;
        u32 Value;
    } members[] = {{"IsStatic", "Static", 1}, {"SkipVision", "SkipVision", 1}};
    for (const auto& m : members) {
        SCOPED_TRACE(m.Name);
        CMwMemberPath path;
        ASSERT_EQ(path.ParseFromText(CMwNod::s_NoClassId, &stream, CClassicString(m.Name)), 0u);
        CMwParamValue value;
        ASSERT_EQ(stream.GetParam(&path, &value), 0u);
        EXPECT_EQ(*static_cast<u32*>(value.Value), m.Value);
        path.Reset();
        EXPECT_STREQ(reinterpret_cast<CMwMemberInfo*>(path.m_Values[0])->Label, m.Label);
        u32 zero = 0;
        path.Reset();
        EXPECT_NE(stream.SetParam(&path, &zero), 0u);
        EXPECT_EQ(stream.m_Flags, 0x9u);
    }
    CMwNodRef fresh(new CPlugVertexStream);
    EXPECT_EQ(static_cast<CPlugVertexStream*>(fresh.Get())->m_Flags, 2u);
}

} // namespace
