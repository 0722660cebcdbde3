// The class-list check of the core library, and what the check itself catches.
#include "CoreTestSupport.h"
#include "core/base/ClassicArchive.h"
#include "core/math/Iso.h"
#include "core/nod/MwRefBuffer.h"
#include "tests/support/MwClassListCheck.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// A class whose one chunk holds a member of each value kind, filled through its records.
class CSampleNod : public CMwNod {
    MW_DECLARE_CLASS(CSampleNod, CMwNod, 0x01F40000)
public:
    ~CSampleNod() override { m_Values.FreeItems(); }
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override {
        if (chunkId != 0x01F40000)
            return Super::ArchiveChunk(archive, chunkId);
        archive.SerializeBools(&m_On, 1);
        archive.SerializeInts(&m_Offset, 1);
        archive.SerializeUInts(&m_Count, 1);
        archive.SerializeFloats(&m_Scale, 1);
        archive.SerializeUInts(&m_Mode, 1);
        archive.SerializeStrings(&m_Label, 1);
        archive.SerializeWideStrings(&m_Caption, 1);
        Mat3& r = m_Location.R;
        f32* const floats[] = {&m_Position.x,   &m_Position.y,   &m_Position.z,  &r.m00,
                               &r.m01,          &r.m02,          &r.m10,         &r.m11,
                               &r.m12,          &r.m20,          &r.m21,         &r.m22,
                               &m_Location.t.x, &m_Location.t.y, &m_Location.t.z};
        for (f32* value : floats)
            archive.SerializeFloats(value, 1);
        archive.SerializeFloats(&m_Gain, 1);
        u32 count = m_Values.m_Count;
        archive.SerializeUInts(&count, 1);
        if (!archive.m_Writing) {
            archive.CheckReadSize(count, 0x1000);
            m_Values.Reserve(count);
            m_Values.m_Count = count;
        }
        archive.SerializeFloats(m_Values.m_Items, count);
    }

    u32 m_On = 0;
    i32 m_Offset = 0;
    u32 m_Count = 0;
    f32 m_Scale = 0;
    u32 m_Mode = 0;
    CClassicString m_Label;
    CClassicWideString m_Caption;
    Vec3 m_Position;
    Iso4 m_Location;
    f32 m_Gain = 0;
    CFastBuffer<f32> m_Values;
};

constexpr const char* kModes[] = {"Off", "Low", "High"};
constexpr const char* kXyz[] = {"x", "y", "z"};

#define CSAMPLENOD_MEMBERS(X)                                                                      \
    X(Bool, 0x01F40000, "On", MW_FIELD(m_On), "On", 0x03, 0x380)                                   \
    X(Integer, 0x01F40001, "Offset", MW_FIELD(m_Offset), "Offset", 0x03, 0x380)                    \
    X(Natural, 0x01F40002, "Count", MW_FIELD(m_Count), "Count", 0x03, 0x380)                       \
    X(Real, 0x01F40003, "Scale", MW_FIELD(m_Scale), "Scale", 0x03, 0x380)                          \
    X(Enum, 0x01F40004, "Mode", MW_FIELD(m_Mode), "Mode", 0x03, 0x380, "", kModes)                 \
    X(String, 0x01F40005, "Label", MW_FIELD(m_Label), "Label", 0x03, 0x380)                        \
    X(StringInt, 0x01F40006, "Caption", MW_FIELD(m_Caption), "Caption", 0x03, 0x380)               \
    X(Vec3, 0x01F40007, "Position", MW_FIELD(m_Position), "Position", 0x03, 0x380, kXyz)           \
    X(Iso4, 0x01F40008, "Location", MW_FIELD(m_Location), "Location", 0x03, 0x380)                 \
    X(RealRange, 0x01F40009, "Gain", MW_FIELD(m_Gain), "Gain", 0x03, 0x380, 0.0f, 1.0f)            \
    X(Buffer, 0x01F4000A, "Values", MW_FIELD(m_Values), "Values", 0x0F, 0x380, MwType_Real, 0xF,   \
      "Value")                                                                                     \
    X(Natural, 0x01F4000B, "ReadOnly", MW_FIELD(m_Count), "ReadOnly", 0x01, 0x380)
#define CSAMPLENOD_CHUNKS(X) X(0x01F40000, 3)

MW_DEFINE_CLASS(CSampleNod, MwFactory<CSampleNod>, CSAMPLENOD_MEMBERS, CSAMPLENOD_CHUNKS);

// Faults the check must catch, one class each.

// A chunk written without a byte.
class CEmptyChunkNod : public CMwNod {
    MW_DECLARE_CLASS(CEmptyChunkNod, CMwNod, 0x01F41000)
};
#define CEMPTYCHUNKNOD_CHUNKS(X) X(0x01F41000, 3)
MW_DEFINE_CLASS(CEmptyChunkNod, MwFactory<CEmptyChunkNod>, MW_NO_MEMBERS, CEMPTYCHUNKNOD_CHUNKS);

// Reads its second value into nothing.
class CLossyNod : public CMwNod {
    MW_DECLARE_CLASS(CLossyNod, CMwNod, 0x01F46000)
public:
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override {
        if (chunkId != 0x01F46000)
            return Super::ArchiveChunk(archive, chunkId);
        archive.SerializeUInts(&m_First, 1);
        u32 second = m_Second;
        archive.SerializeUInts(&second, 1);
    }

    u32 m_First = 0;
    u32 m_Second = 0;
};
#define CLOSSYNOD_MEMBERS(X)                                                                       \
    X(Natural, 0x01F46000, "First", MW_FIELD(m_First), "First", 0x03, 0x380)                       \
    X(Natural, 0x01F46001, "Second", MW_FIELD(m_Second), "Second", 0x03, 0x380)
#define CLOSSYNOD_CHUNKS(X) X(0x01F46000, 3)
MW_DEFINE_CLASS(CLossyNod, MwFactory<CLossyNod>, CLOSSYNOD_MEMBERS, CLOSSYNOD_CHUNKS);

// A second base before the nod: the nod's fields are no longer at their offsets from the nod.
struct CExtraBase {
    virtual ~CExtraBase() = default;
    u32 m_Extra = 0;
};
class CTwoBasesNod : public CExtraBase, public CMwNod {
    MW_DECLARE_CLASS(CTwoBasesNod, CMwNod, 0x01F43000)
};
MW_DEFINE_CLASS(CTwoBasesNod, MwFactory<CTwoBasesNod>, MW_NO_MEMBERS, MW_NO_CHUNKS);

// A record whose factory makes a nod of a class that is not in the list.
class CUnlistedNod : public CMwNod {
    MW_DECLARE_CLASS(CUnlistedNod, CMwNod, 0x01F44000)
};
class CWrongFactoryNod : public CMwNod {
    MW_DECLARE_CLASS(CWrongFactoryNod, CMwNod, 0x01F45000)
};
MW_DEFINE_CLASS(CUnlistedNod, MwFactory<CUnlistedNod>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CWrongFactoryNod, MwFactory<CUnlistedNod>, MW_NO_MEMBERS, MW_NO_CHUNKS);

constinit CMwClassInfo* const s_TestClasses[] = {
    &CSampleNod::s_ClassInfo,   &CEmptyChunkNod::s_ClassInfo,   &CLossyNod::s_ClassInfo,
    &CTwoBasesNod::s_ClassInfo, &CWrongFactoryNod::s_ClassInfo, &CUnlistedNod::s_ClassInfo,
};
constinit const CMwClassList s_TestClassList = {s_TestClasses, 6};

// A list of one class of the test's list.
CMwClassList Only(CMwClassInfo* const& info) {
    return CMwClassList{&info, 1};
}

class MwClassListCheck : public CMwCoreFixture {
protected:
    MwClassListCheck() : CMwCoreFixture(&s_TestClassList) {}
};

TEST_F(MwClassListCheck, CoreClassesRoundTrip) {
    CMwClassListCheck check;
    check.Fill = [](CMwNod& nod) {
        MwFillMembers(nod);
        // The buffer's list is reached by adding nods, which the records leave to the class.
        if (nod.IsKindOf(CMwRefBuffer::s_ClassId)) {
            auto& buffer = static_cast<CMwRefBuffer&>(nod);
            buffer.Add(new CMwNod);
            buffer.Add(new CMwRefBuffer);
        }
    };
    const CMwClassListCheckCounts counts = MwCheckClassList(g_MwCoreClassList, check);
    EXPECT_EQ(counts.Created, 29u);      // every class but the four without factory
    EXPECT_EQ(counts.ChunksWritten, 1u); // the reference buffer's
}

// The fill reaches every settable value member (the root's IdName too) and the list of values,
// and the body carries what it set through the round trip.
TEST_F(MwClassListCheck, FilledMembersReachTheBody) {
    CSampleNod filled, plain;
    EXPECT_EQ(MwFillMembers(filled), 12u);
    EXPECT_EQ(filled.m_On, 1u);
    EXPECT_EQ(filled.m_Mode, 2u);
    EXPECT_EQ(filled.m_Gain, 0.5f);
    EXPECT_EQ(filled.m_Values.m_Count, 2u);
    EXPECT_STREQ(filled.m_Label.GetText(), "Sample 6");
    EXPECT_NE(filled.m_Location.t.x, 0.0f);

    const auto body = [](CMwNod& nod) {
        CClassicArchive archive;
        auto* memory = new CClassicBufferMemory;
        archive.SetBuffer(memory);
        archive.m_Writing = 1;
        nod.Archive(archive);
        return std::string(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize());
    };
    EXPECT_NE(body(filled), body(plain));

    const CMwClassListCheckCounts counts = MwCheckClassList(Only(s_TestClasses[0]));
    EXPECT_EQ(counts.Created, 1u);
    EXPECT_EQ(counts.ChunksWritten, 1u);
}

// The failures the check reports for a list.
std::vector<std::string> FailuresOf(const CMwClassList& list, const CMwClassListCheck& check = {}) {
    ::testing::TestPartResultArray results;
    {
        const ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
        MwCheckClassList(list, check);
    }
    std::vector<std::string> messages;
    for (int i = 0; i < results.size(); ++i)
        messages.push_back(results.GetTestPartResult(i).message());
    return messages;
}

TEST_F(MwClassListCheck, CatchesEachFault) {
    struct Case {
        CMwClassInfo* const& Info;
        std::vector<std::string> Failures;
    };
    const Case cases[] = {
        {s_TestClasses[1], {"CEmptyChunkNod writes chunk 0x1f41000 without a byte"}},
        {s_TestClasses[2],
         {"CLossyNod (binary): the body read back is written differently",
          "CLossyNod (text): the body read back is written differently"}},
        {s_TestClasses[3], {"CTwoBasesNod: the CMwNod part does not start the object"}},
        {s_TestClasses[4],
         {"CWrongFactoryNod: its nod answers the record of CUnlistedNod, which is not in the list",
          "CWrongFactoryNod: its nod is not of its class"}},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> failures = FailuresOf(Only(c.Info));
        ASSERT_EQ(failures.size(), c.Failures.size()) << c.Info->m_Name;
        for (size_t i = 0; i < failures.size(); ++i)
            EXPECT_NE(failures[i].find(c.Failures[i]), std::string::npos) << failures[i];
    }
    // An empty chunk the class declares as such passes.
    CMwClassListCheck check;
    check.EmptyChunks = {0x01F41000};
    EXPECT_TRUE(FailuresOf(Only(s_TestClasses[1]), check).empty());
}

} // namespace
