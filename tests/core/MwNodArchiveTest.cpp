// The chunked body of nods and the archive form of member paths.
#include "CoreTestSupport.h"
#include "core/base/ClassicArchive.h"
#include "core/nod/MwMemberPath.h"
#include "core/nod/MwNod.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

// A class with one plain chunk (flags 3), one skippable chunk (flags 0x13), one chunk that
// release archives leave out (flags 7) and an older form of its plain chunk that is still read
// but no longer written (flags 1); it counts its loads.
class CChunkNod : public CMwNod {
    MW_DECLARE_CLASS(CChunkNod, CMwNod, 0x01F10000)
public:
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override {
        m_Read.push_back(chunkId);
        switch (chunkId) {
            case 0x01F10000:
                archive.SerializeUInts(&m_Plain, 1);
                break;
            case 0x01F10001:
                archive.SerializeStrings(&m_Skippable, 1);
                break;
            case 0x01F10002:
                archive.SerializeUInts(&m_Debug, 1);
                break;
            case 0x01F10003: {
                // The older form kept the value in tenths.
                u32 tenths = 0;
                archive.SerializeUInts(&tenths, 1);
                m_Plain = tenths / 10;
                break;
            }
            default:
                Super::ArchiveChunk(archive, chunkId);
        }
    }
    void OnAfterLoad() override { ++m_Loads; }

    u32 m_Plain = 0;
    CClassicString m_Skippable;
    u32 m_Debug = 0;
    u32 m_Loads = 0;
    std::vector<u32> m_Read;
};

#define CCHUNKNOD_CHUNKS(X) X(0x01F10000, 3) X(0x01F10001, 0x13) X(0x01F10002, 7) X(0x01F10003, 1)
MW_DEFINE_CLASS(CChunkNod, MwFactory<CChunkNod>, MW_NO_MEMBERS, CCHUNKNOD_CHUNKS);

std::string Written(CMwNod& nod, bool text, bool release) {
    CClassicArchive archive;
    CClassicBufferMemory* memory = new CClassicBufferMemory;
    archive.SetBuffer(memory);
    archive.m_Writing = 1;
    archive.m_Text = text;
    archive.m_Release = release;
    EXPECT_EQ(nod.Archive(archive), 0u);
    return std::string(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize());
}

u32 Read(CMwNod& nod, const std::string& bytes, bool text) {
    CClassicArchive archive;
    CClassicBufferMemory* memory = new CClassicBufferMemory;
    memory->Write(bytes.data(), u32(bytes.size()));
    memory->Rewind();
    archive.SetBuffer(memory);
    archive.m_Text = text;
    return nod.Archive(archive);
}

std::string Le(std::initializer_list<u32> words) {
    std::string bytes;
    for (u32 w : words)
        for (int i = 0; i < 4; ++i)
            bytes += char((w >> (8 * i)) & 0xFF);
    return bytes;
}

TEST(MwNodArchive, WritesTheChunksTheClassChainWants) {
    CMwNod root;
    EXPECT_EQ(Written(root, false, false), Le({0xFACADE01}));
    EXPECT_EQ(Written(root, true, false), "facade01\r\n");

    CChunkNod nod;
    nod.m_Plain = 5;
    nod.m_Skippable.Assign("ab");
    nod.m_Debug = 9;
    // The skippable chunk's size counts the encoded data: a length word and two bytes.
    const std::string chunks = Le({0x01F10000, 5, 0x01F10001, 0x534B4950, 6, 2}) + "ab";
    EXPECT_EQ(Written(nod, false, false), chunks + Le({0x01F10002, 9, 0xFACADE01}));
    EXPECT_EQ(Written(nod, false, true), chunks + Le({0xFACADE01}));
    EXPECT_EQ(Written(nod, true, false),
              "1f10000\r\n5\r\n1f10001\r\n1397442896\r\n4\r\nab\r\n1f10002\r\n9\r\nfacade01\r\n");
}

TEST(MwNodArchive, ReadsBackInBothEncodings) {
    for (bool text : {false, true}) {
        CChunkNod written;
        written.m_Plain = 77;
        written.m_Skippable.Assign("line|with\r\nbreak");
        written.m_Debug = 3;
        CChunkNod read;
        EXPECT_EQ(Read(read, Written(written, text, false), text), 0u);
        EXPECT_EQ(read.m_Plain, 77u);
        EXPECT_STREQ(read.m_Skippable.GetText(), "line|with\r\nbreak");
        EXPECT_EQ(read.m_Debug, 3u);
        EXPECT_EQ(read.m_Loads, 1u);
    }
}

// Files written by an older version hold the older chunk; they still read, in both encodings.
TEST(MwNodArchive, OlderLayoutsStillRead) {
    CChunkNod binary;
    EXPECT_EQ(Read(binary, Le({0x01F10003, 120, 0xFACADE01}), false), 0u);
    EXPECT_EQ(binary.m_Plain, 12u);
    CChunkNod text;
    EXPECT_EQ(Read(text, "1f10003\r\n70\r\nfacade01\r\n", true), 0u);
    EXPECT_EQ(text.m_Plain, 7u);
    // Written again, the nod keeps only the current form.
    EXPECT_EQ(Written(text, true, true), "1f10000\r\n7\r\n1f10001\r\n1397442896\r\n2\r\n\r\n"
                                         "facade01\r\n");
}

TEST(MwNodArchive, ReadingFollowsTheStoredChunks) {
    struct Case {
        const char* name;
        std::string body;
        std::vector<u32> read;
        u32 plain;
        const char* log;
    };
    const Case cases[] = {
        {"unknown skippable chunk passed over",
         Le({0x01F1F000, 0x534B4950, 5}) + "xxxxx" + Le({0x01F10000, 8, 0xFACADE01}),
         {0x01F10000},
         8,
         ""},
        {"empty unknown skippable chunk passed over",
         Le({0x01F1F000, 0x534B4950, 0, 0x01F10000, 8, 0xFACADE01}),
         {0x01F10000},
         8,
         ""},
        {"chunk stored twice is read twice",
         Le({0x01F10000, 1, 0x01F10000, 2, 0xFACADE01}),
         {0x01F10000, 0x01F10000},
         2,
         ""},
        {"root chunk read and dropped",
         Le({0x01001000, 3}) + "dev" + Le({0x01F10000, 4, 0xFACADE01}),
         {0x01001000, 0x01F10000},
         4,
         ""},
        {"known skippable chunk: tag and size not compared",
         Le({0x01F10001, 0, 99, 1}) + "z" + Le({0xFACADE01}),
         {0x01F10001},
         0,
         ""},
        // The rest of a top-level body is left unread: the load still completes.
        {"unknown chunk without the skip tag stops",
         Le({0x01F10000, 6, 0x01F1F000, 1234, 0x01F10000, 7}),
         {0x01F10000},
         6,
         "[MwNod] Body of CChunkNod not read further: unknown chunk 0x01F1F000\r\n"},
    };
    for (const Case& c : cases) {
        CLogWatch log;
        CChunkNod nod;
        EXPECT_EQ(Read(nod, c.body, false), 0u) << c.name;
        EXPECT_EQ(nod.m_Read, c.read) << c.name;
        EXPECT_EQ(nod.m_Plain, c.plain) << c.name;
        EXPECT_EQ(nod.m_Loads, 1u) << c.name;
        EXPECT_NE(log.Since().find(c.log), std::string::npos) << c.name << ": " << log.Since();
    }
}

// A body the stream cannot deliver whole fails the read: the stream's exception reaches the
// caller (the operation that started the read), with a log line, and the nod is not told it
// was loaded. A truncated file never reads as a success.
TEST(MwNodArchive, ATruncatedBodyFailsTheRead) {
    struct Case {
        const char* name;
        std::string body;
        bool text;
        std::vector<u32> read;
        i32 code;
        const char* log;
    };
    const Case cases[] = {
        {"skipped size past the end",
         Le({0x01F1F000, 0x534B4950, 1000}) + "short",
         false,
         {},
         kClassicBufferErrorPastEnd,
         "Stored size 1000 is past the end of the stream"},
        {"huge skipped size",
         Le({0x01F1F000, 0x534B4950, 0xFFFFFFF0}),
         false,
         {},
         kClassicBufferErrorTooLarge,
         "above the limit"},
        {"missing end tag",
         Le({0x01F10000, 6}),
         false,
         {0x01F10000},
         kClassicBufferErrorPastEnd,
         "Stream ended"},
        {"cut inside a chunk",
         Le({0x01F10000}) + "\x06\x00",
         false,
         {0x01F10000},
         kClassicBufferErrorPastEnd,
         "Stream ended"},
        {"empty body", "", false, {}, kClassicBufferErrorPastEnd, "Stream ended"},
        {"text cut inside a line",
         "1f10000\r\n6\r\nfaca",
         true,
         {0x01F10000},
         kClassicBufferErrorPastEnd,
         "Stream ended inside a text line"},
    };
    for (const Case& c : cases) {
        CLogWatch log;
        CChunkNod nod;
        try {
            Read(nod, c.body, c.text);
            ADD_FAILURE() << c.name << ": read as a success";
        } catch (const CClassicBufferException& e) {
            EXPECT_EQ(e.m_Code, c.code) << c.name;
        }
        EXPECT_EQ(nod.m_Read, c.read) << c.name;
        EXPECT_EQ(nod.m_Loads, 0u) << c.name;
        EXPECT_NE(log.Since().find(c.log), std::string::npos) << c.name << ": " << log.Since();
    }
}

// A nod that holds an inline child of its own class, read and written inside its chunk, as the
// archive file does with inline nods. Its frame is what a real class's chunk code takes.
class CNestNod : public CMwNod {
    MW_DECLARE_CLASS(CNestNod, CMwNod, 0x01F30000)
public:
    ~CNestNod() override { delete m_Child; }
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override {
        if (chunkId != 0x01F30000)
            return Super::ArchiveChunk(archive, chunkId);
        u32 hasChild = m_Child != nullptr;
        archive.SerializeBools(&hasChild, 1);
        if (!hasChild)
            return;
        s_Frames.push_back(reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
        if (archive.m_Writing) {
            m_Child->Archive(archive);
            return;
        }
        // The child is kept once its body was read whole.
        std::unique_ptr<CNestNod> child(new CNestNod);
        child->Archive(archive);
        delete m_Child;
        m_Child = child.release();
    }
    void OnAfterLoad() override { ++s_Loads; }

    // Makes a chain of `levels` nods, this one the first.
    void Chain(u32 levels) {
        CNestNod* nod = this;
        for (u32 i = 1; i < levels; ++i)
            nod = nod->m_Child = new CNestNod;
    }
    u32 Levels() const {
        u32 levels = 1;
        for (const CNestNod* nod = m_Child; nod; nod = nod->m_Child)
            ++levels;
        return levels;
    }

    CNestNod* m_Child = nullptr;
    static inline u32 s_Loads = 0;
    static inline std::vector<uintptr_t> s_Frames;
};

#define CNESTNOD_CHUNKS(X) X(0x01F30000, 3)
MW_DEFINE_CLASS(CNestNod, MwFactory<CNestNod>, MW_NO_MEMBERS, CNESTNOD_CHUNKS);

TEST(MwNodArchive, NestedBodiesReadUpToTheLimit) {
    for (bool text : {false, true}) {
        SCOPED_TRACE(text ? "text" : "binary");
        // 200 levels read back whole.
        CNestNod deep;
        deep.Chain(200);
        const std::string body200 = Written(deep, text, false);
        CNestNod::s_Loads = 0;
        CNestNod::s_Frames.clear();
        CNestNod read;
        EXPECT_EQ(Read(read, body200, text), 0u);
        EXPECT_EQ(read.Levels(), 200u);
        EXPECT_EQ(CNestNod::s_Loads, 200u);
        // Each level costs a few kilobytes of stack at most, even in a clang sanitizer build that
        // puts red zones around every local: the 256 levels allowed take at most 2 MB of the
        // main thread's 8 MB.
        ASSERT_EQ(CNestNod::s_Frames.size(), 199u);
        const uintptr_t used = CNestNod::s_Frames.front() - CNestNod::s_Frames.back();
        EXPECT_LT(used / 198, 8192u);

        // The limit itself reads; one level more fails the whole read, the archive's count of
        // open bodies going back to 0 on the way out.
        for (u32 levels : {kClassicArchiveMaxBodyDepth, kClassicArchiveMaxBodyDepth + 1}) {
            CNestNod written;
            written.Chain(levels);
            CClassicArchive archive;
            CClassicBufferMemory* memory = new CClassicBufferMemory;
            const std::string body = Written(written, text, false);
            memory->Write(body.data(), u32(body.size()));
            memory->Rewind();
            archive.SetBuffer(memory);
            archive.m_Text = text;
            CLogWatch log;
            CNestNod nod;
            if (levels <= kClassicArchiveMaxBodyDepth) {
                EXPECT_EQ(nod.Archive(archive), 0u);
                EXPECT_EQ(nod.Levels(), levels);
                continue;
            }
            CNestNod::s_Loads = 0;
            try {
                nod.Archive(archive);
                ADD_FAILURE() << "read as a success";
            } catch (const CClassicBufferException& e) {
                EXPECT_EQ(e.m_Code, kClassicBufferErrorTooDeep);
            }
            EXPECT_EQ(CNestNod::s_Loads, 0u);
            EXPECT_EQ(nod.m_Child, nullptr);
            EXPECT_EQ(archive.GetBodyDepth(), 0u);
            EXPECT_NE(log.Since().find("[Archive] Nod bodies nested deeper than 256 levels"),
                      std::string::npos)
                << log.Since();
        }
    }
}

// An unknown chunk stored without its size inside an inline nod: the enclosing body cannot go
// on, so the read fails instead of reading the child's remaining bytes as the parent's chunks.
TEST(MwNodArchive, AnUnknownChunkInsideANestedBodyFailsTheRead) {
    const std::string body = Le({0x01F30000, 1,             // the root holds a child
                                 0x01F30000, 1,             // which holds a grandchild
                                 0x01F3F000, 5, 0x01F30000, // with an unknown chunk
                                 0, 0xFACADE01, 0xFACADE01, 0xFACADE01});
    CLogWatch log;
    CNestNod::s_Loads = 0;
    CNestNod nod;
    try {
        Read(nod, body, false);
        ADD_FAILURE() << "read as a success";
    } catch (const CClassicBufferException& e) {
        EXPECT_EQ(e.m_Code, kClassicBufferErrorBadData);
    }
    EXPECT_EQ(CNestNod::s_Loads, 0u);
    EXPECT_EQ(nod.m_Child, nullptr);
    EXPECT_NE(log.Since().find("[MwNod] Body of CNestNod not read: unknown chunk 0x01F3F000 "
                               "inside a nested body fails the read"),
              std::string::npos)
        << log.Since();

    // The same chunk in the top-level body ends that body: the load completes.
    CNestNod top;
    EXPECT_EQ(Read(top, Le({0x01F3F000, 5, 0x01F30000, 0, 0xFACADE01}), false), 0u);
    EXPECT_EQ(top.m_Child, nullptr);
    EXPECT_EQ(CNestNod::s_Loads, 1u);
}

// A nod whose skippable chunk holds a flag and, when set, its child's whole body (with the
// child's own skippable chunk inside).
class CSkipNestNod : public CMwNod {
    MW_DECLARE_CLASS(CSkipNestNod, CMwNod, 0x01F50000)
public:
    ~CSkipNestNod() override { delete m_Child; }
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override {
        if (chunkId != 0x01F50000)
            return Super::ArchiveChunk(archive, chunkId);
        u32 hasChild = m_Child != nullptr;
        archive.SerializeUInts(&hasChild, 1);
        if (!hasChild)
            return;
        if (!m_Child)
            m_Child = new CSkipNestNod;
        m_Child->Archive(archive);
    }

    CSkipNestNod* m_Child = nullptr;
};

#define CSKIPNESTNOD_CHUNKS(X) X(0x01F50000, 0x13)
MW_DEFINE_CLASS(CSkipNestNod, MwFactory<CSkipNestNod>, MW_NO_MEMBERS, CSKIPNESTNOD_CHUNKS);

// A memory stream of another kind: the chunk loop cannot go back in it to fill in a size.
class CDerivedMemory : public CClassicBufferMemory {};

// A skippable chunk's size counts everything encoded inside it, a nested skippable chunk with its
// own size included, whatever the stream the body is written to.
TEST(MwNodArchive, SkippableChunkSizesOnEveryStream) {
    CSkipNestNod nod;
    nod.m_Child = new CSkipNestNod;
    const std::string child = Le({0x01F50000, 0x534B4950, 4, 0, 0xFACADE01});
    const std::string expected =
        Le({0x01F50000, 0x534B4950, 4 + u32(child.size()), 1}) + child + Le({0xFACADE01});
    EXPECT_EQ(Written(nod, false, true), expected);

    // Appended to what the stream holds already.
    for (bool derived : {false, true}) {
        SCOPED_TRACE(derived ? "derived memory stream" : "memory stream");
        CClassicBufferMemory* memory = derived ? new CDerivedMemory : new CClassicBufferMemory;
        CClassicArchive archive;
        archive.SetBuffer(memory);
        archive.m_Writing = 1;
        archive.m_Release = 1;
        memory->Write("head", 4);
        EXPECT_EQ(nod.Archive(archive), 0u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize()),
                  "head" + expected);
        EXPECT_EQ(memory->GetPosition(), memory->GetSize());
    }

    CSkipNestNod read;
    EXPECT_EQ(Read(read, expected, false), 0u);
    ASSERT_NE(read.m_Child, nullptr);
    EXPECT_EQ(read.m_Child->m_Child, nullptr);
}

class MwMemberPathArchive : public CMwCoreFixture {};

TEST_F(MwMemberPathArchive, ItemsRoundTrip) {
    CMwMemberInfo* idName = CMwClassRegistry::GetMemberInfo(0x01001000);
    CMwMemberPath path(4);
    path.PushFront(0x1234);
    path.m_Kinds[0] = MwPathItem_ArgumentInteger;
    path.PushFront(CMwId::FromName("Wheel").m_Value);
    path.m_Kinds[0] = MwPathItem_Name;
    path.PushFront(3);
    path.m_Kinds[0] = MwPathItem_Index;
    path.PushFront(reinterpret_cast<MwPathValue>(idName));

    for (bool text : {false, true}) {
        CClassicArchive writer;
        CClassicBufferMemory* memory = new CClassicBufferMemory;
        writer.SetBuffer(memory);
        writer.m_Writing = 1;
        writer.m_Text = text;
        path.Archive(writer);
        if (!text)
            EXPECT_EQ(
                std::string(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize()),
                Le({4, 0, 1, 2, 0x10000007, 0x01001000, 3, 1, 5}) + "Wheel");
        else
            EXPECT_EQ(
                std::string(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize()),
                "4\r\n0\r\n1\r\n2\r\n268435463\r\n16781312\r\n3\r\nTrue\r\nWheel\r\n");

        memory->Rewind();
        CClassicArchive reader;
        reader.SetBuffer(writer.DetachBuffer(true));
        reader.m_Text = text;
        CMwMemberPath read;
        read.Archive(reader);
        ASSERT_EQ(read.m_Count, 4u);
        EXPECT_EQ(read.m_Values[0], reinterpret_cast<MwPathValue>(idName));
        EXPECT_EQ(read.m_Values[1], 3u);
        EXPECT_EQ(read.m_Values[2], CMwId::FromName("Wheel").m_Value);
        EXPECT_EQ(read.m_Kinds[3], u32(MwPathItem_ArgumentInteger));
        EXPECT_EQ(read.m_Values[3], 0u); // argument values are not stored
        EXPECT_EQ(read.m_Current, 3);
    }
}

TEST_F(MwMemberPathArchive, AbsurdCountsAreRefused) {
    CClassicArchive reader;
    CClassicBufferMemory* memory = new CClassicBufferMemory;
    const std::string bytes = Le({0x7FFFFFFF, 0, 0});
    memory->Write(bytes.data(), u32(bytes.size()));
    memory->Rewind();
    reader.SetBuffer(memory);
    CMwMemberPath path;
    EXPECT_THROW(path.Archive(reader), CClassicBufferException);
    EXPECT_EQ(path.m_Count, 0u);
}

} // namespace
