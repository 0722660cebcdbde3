// The archive form of name ids: the exact words and lines, the older forms read back, bad
// back-references, the per-archive list of names and its lifetime.
#include "CoreTestSupport.h"
#include "core/base/ClassicArchive.h"
#include "core/nod/MwId.h"
#include "platform/Endian.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

class MwIdArchive : public ::testing::Test {
protected:
    void SetUp() override { CMwIdTable::Create(); }
    void TearDown() override { CMwIdTable::Destroy(); }
};

// An archive over its own memory stream.
struct CMemoryArchive {
    explicit CMemoryArchive(i32 text, i32 writing, const std::string& data = {}) {
        stream = new CClassicBufferMemory;
        stream->Write(data.data(), u32(data.size()));
        stream->Rewind();
        archive.SetBuffer(stream);
        archive.m_Text = text;
        archive.m_Writing = writing;
    }
    std::string Written() const {
        return std::string(reinterpret_cast<const char*>(stream->GetData()), stream->GetSize());
    }
    CClassicArchive archive;
    CClassicBufferMemory* stream;
};

// Binary data built word by word.
struct CWords {
    CWords& U32(u32 value) {
        char bytes[4];
        platform::StoreU32Le(bytes, value);
        data.append(bytes, 4);
        return *this;
    }
    CWords& Str(const std::string& text) {
        U32(u32(text.size()));
        data += text;
        return *this;
    }
    std::string data;
};

std::string Write(i32 text, std::vector<CMwId> ids) {
    CMemoryArchive writer(text, 1);
    for (CMwId& id : ids)
        id.Archive(writer.archive);
    return writer.Written();
}

std::vector<CMwId> Read(i32 text, const std::string& data, u32 count) {
    CMemoryArchive reader(text, 0, data);
    std::vector<CMwId> ids(count);
    for (CMwId& id : ids)
        id.Archive(reader.archive);
    EXPECT_EQ(reader.stream->GetPosition(), data.size());
    return ids;
}

CMwId SecondKind(const char* name) {
    return CMwId::FromValue(CMwIdTable::InternName(name) | CMwId::KindName2);
}

TEST_F(MwIdArchive, NamesAreSentOnceThenReferencedByPosition) {
    const CMwId x = CMwId::FromName("X"), y = CMwId::FromName("Y");
    const std::string binary =
        CWords().U32(3).U32(0x40000000).Str("X").U32(0x40000000).Str("Y").U32(0x40000001).data;
    EXPECT_EQ(Write(0, {x, y, x}), binary);
    EXPECT_EQ(Read(0, binary, 3), (std::vector<CMwId>{x, y, x}));

    const std::string text = "3\r\n40000000\r\nX\r\n40000000\r\nY\r\n40000001\r\n";
    EXPECT_EQ(Write(1, {x, y, x}), text);
    EXPECT_EQ(Read(1, text, 3), (std::vector<CMwId>{x, y, x}));
}

TEST_F(MwIdArchive, EveryKindRoundTrips) {
    const CMwId a = CMwId::FromName("Alpha"), b = SecondKind("Beta");
    const CMwId number = CMwId::FromValue(5), odd = CMwId::FromValue(0xC0000001);
    const std::vector<CMwId> ids = {number, CMwId(), a, b, odd, b, a, number};
    const std::string binary = CWords()
                                   .U32(3)
                                   .U32(5)
                                   .U32(0xFFFFFFFF)
                                   .U32(0x40000000)
                                   .Str("Alpha")
                                   .U32(0x80000000)
                                   .Str("Beta")
                                   .U32(0xC0000001)
                                   .U32(0x80000002)
                                   .U32(0x40000001)
                                   .U32(5)
                                   .data;
    EXPECT_EQ(Write(0, ids), binary);
    EXPECT_EQ(Read(0, binary, 8), ids);
    const std::string text = "3\r\n5\r\nffffffff\r\n40000000\r\nAlpha\r\n80000000\r\nBeta\r\n"
                             "c0000001\r\n80000002\r\n40000001\r\n5\r\n";
    EXPECT_EQ(Write(1, ids), text);
    EXPECT_EQ(Read(1, text, 8), ids);
}

TEST_F(MwIdArchive, OlderFormsRead) {
    struct Case {
        const char* name;
        i32 text;
        std::string data;
        std::vector<CMwId> ids;
    };
    // Every id after the first repeats the version word.
    const Case cases[] = {
        {"version 1",
         0,
         CWords()
             .U32(1)
             .U32(3)
             .Str("12")
             .U32(1)
             .U32(0)
             .U32(1)
             .U32(2)
             .Str("N")
             .U32(1)
             .U32(1)
             .Str("M")
             .U32(1)
             .U32(9)
             .Str("Other")
             .data,
         {CMwId::FromValue(12), CMwId(), SecondKind("N"), CMwId::FromName("M"),
          CMwId::FromName("Other")}},
        {"version 1 in text", 1, "1\r\n3\r\n12\r\n1\r\n0\r\n", {CMwId::FromValue(12), CMwId()}},
        // Numbers past the number kind would be names nobody interned.
        {"version 1, numbers past the ids",
         0,
         CWords().U32(1).U32(3).Str("1073741824").U32(1).U32(3).Str("2147483647").data,
         {CMwId(), CMwId()}},
        {"version 2",
         0,
         CWords()
             .U32(2)
             .U32(0x40000000)
             .Str("A")
             .U32(2)
             .U32(0x80000000)
             .Str("B")
             .U32(2)
             .U32(7)
             .U32(2)
             .U32(0x40000000)
             .Str("Unassigned")
             .U32(2)
             .U32(0x40000000)
             .Str("A")
             .data,
         {CMwId::FromName("A"), SecondKind("B"), CMwId::FromValue(7), CMwId(),
          CMwId::FromName("A")}},
        {"version 2 in text", 1, "2\r\n1073741824\r\nA\r\n", {CMwId::FromName("A")}},
        // An unknown version: nothing more is read, the ids keep their value.
        {"version 9", 0, CWords().U32(9).data, {CMwId(), CMwId()}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Read(c.text, c.data, u32(c.ids.size())), c.ids) << c.name;
}

TEST_F(MwIdArchive, ReadNamesThatAreNotNames) {
    // An empty name and "Unassigned" give -1 in the first kind and are still counted; the
    // second kind interns whatever it is given.
    const std::string data = CWords()
                                 .U32(3)
                                 .U32(0x40000000)
                                 .Str("")
                                 .U32(0x40000000)
                                 .Str("Unassigned")
                                 .U32(0x80000000)
                                 .Str("Unassigned")
                                 .U32(0x40000001)
                                 .U32(0x80000003)
                                 .data;
    EXPECT_EQ(Read(0, data, 5), (std::vector<CMwId>{CMwId(), CMwId(), SecondKind("Unassigned"),
                                                    CMwId(), SecondKind("Unassigned")}));
}

TEST_F(MwIdArchive, BackReferencePastTheNamesMetIsUnassigned) {
    const CMwId x = CMwId::FromName("X");
    const std::string data = CWords()
                                 .U32(3)
                                 .U32(0x40000000)
                                 .Str("X")
                                 .U32(0x40000002)
                                 .U32(0x8FFFFFFF)
                                 .U32(0x70000001) // bits 28 and 29 are not part of the position
                                 .data;
    CLogWatch log;
    EXPECT_EQ(Read(0, data, 4), (std::vector<CMwId>{x, CMwId(), CMwId(), x}));
    EXPECT_NE(log.Since().find("[MwId] Archived id 0x40000002 refers to name 2 of the 1 met"),
              std::string::npos);
    EXPECT_NE(log.Since().find("[MwId] Archived id 0x8fffffff"), std::string::npos);
}

TEST_F(MwIdArchive, ManyNamesWriteTheSameBytesAsASearchOfTheList) {
    // Two thousand names, each archived several times in a shuffled order, of both kinds.
    std::vector<CMwId> ids;
    for (u32 i = 0; i < 2000; ++i) {
        const std::string name = "Name" + std::to_string(i);
        const CMwId id = i % 3 ? CMwId::FromName(name.c_str()) : SecondKind(name.c_str());
        for (u32 k = 0; k < 1 + i % 4; ++k)
            ids.push_back(id);
    }
    std::shuffle(ids.begin(), ids.end(), std::mt19937(5));

    // The form as a linear search of the names met would write it.
    CWords expected;
    expected.U32(3);
    std::vector<u32> met;
    for (const CMwId& id : ids) {
        const auto at = std::find(met.begin(), met.end(), id.m_Value);
        if (at != met.end()) {
            expected.U32(id.GetKind() | u32(at - met.begin() + 1));
        } else {
            expected.U32(id.GetKind()).Str(id.GetChars());
            met.push_back(id.m_Value);
        }
    }
    EXPECT_EQ(Write(0, ids), expected.data);
    EXPECT_EQ(Read(0, expected.data, u32(ids.size())), ids);
}

TEST_F(MwIdArchive, NameMissingFromThePoolIsWrittenEmpty) {
    // A name id made from a raw word: level 31 of the pool is not in use.
    const CMwId stray = CMwId::FromValue(0x401F0005);
    ASSERT_EQ(stray.GetChars(), nullptr);
    CLogWatch log;
    const std::string data = Write(0, {stray});
    EXPECT_EQ(data, CWords().U32(3).U32(0x40000000).Str("").data);
    EXPECT_NE(log.Since().find("is not in the name pool"), std::string::npos);
    EXPECT_EQ(Read(0, data, 1), std::vector<CMwId>{CMwId()});
}

TEST_F(MwIdArchive, ListLivesUntilDetachedWithTheFlagOrTheArchiveGoes) {
    const CMwId x = CMwId::FromName("X");
    CClassicArchive archive;
    archive.m_Writing = 1;
    auto* outer = new CClassicBufferMemory;
    archive.SetBuffer(outer);
    CMwId id = x;
    id.Archive(archive);
    ASSERT_NE(archive.GetIdState(), nullptr);

    // A chunk written aside into another stream still refers to the names met before.
    archive.DetachBuffer(false);
    CClassicBufferMemory aside;
    archive.SetBuffer(&aside);
    id.Archive(archive);
    archive.DetachBuffer(false);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(aside.GetData()), aside.GetSize()),
              CWords().U32(0x40000001).data);

    // Detached with the flag, the archive starts again with the version.
    archive.SetBuffer(outer);
    EXPECT_EQ(archive.DetachBuffer(true), outer);
    EXPECT_EQ(archive.GetIdState(), nullptr);
    archive.SetBuffer(outer);
    id.Archive(archive);
    const std::string written(reinterpret_cast<const char*>(outer->GetData()), outer->GetSize());
    const std::string once = CWords().U32(3).U32(0x40000000).Str("X").data;
    EXPECT_EQ(written, once + once);
}

TEST_F(MwIdArchive, PoolDestroyFreesTheListsOfLiveArchives) {
    CMemoryArchive first(0, 1), second(1, 1);
    CMwId id = CMwId::FromName("X");
    id.Archive(first.archive);
    id.Archive(second.archive);
    CMemoryArchive third(0, 1);
    CMwId::FromValue(5).Archive(third.archive);
    {
        CMemoryArchive gone(0, 1);
        id.Archive(gone.archive);
    }
    ASSERT_NE(first.archive.GetIdState(), nullptr);

    CMwIdTable::Destroy();
    EXPECT_EQ(first.archive.GetIdState(), nullptr);
    EXPECT_EQ(second.archive.GetIdState(), nullptr);
    EXPECT_EQ(third.archive.GetIdState(), nullptr);
    CMwIdTable::Create();

    // The new pool may place another name where X was: nothing refers to the old list.
    CMwId y = CMwId::FromName("Y");
    y.Archive(first.archive);
    const std::string once = CWords().U32(3).U32(0x40000000).Str("X").data;
    EXPECT_EQ(first.Written(), once + CWords().U32(3).U32(0x40000000).Str("Y").data);
}

} // namespace
