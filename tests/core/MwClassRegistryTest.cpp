// Class records, the declaration macros and the class registry.
#include "CoreTestSupport.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwNod.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <set>

namespace {

// A small class tree declared the way every engine class is.
class CTestBase : public CMwNod {
    MW_DECLARE_CLASS(CTestBase, CMwNod, 0x01F00000)
public:
    u32 m_Value = 0;
    CClassicString m_Text;
};

class CTestDerived : public CTestBase {
    MW_DECLARE_CLASS(CTestDerived, CTestBase, 0x01F01000)
};

// Filed under CTestBase in the class tree although its C++ base is CTestDerived.
class CTestReparented : public CTestDerived {
    MW_DECLARE_CLASS(CTestReparented, CTestDerived, 0x01F02000)
};

// No record of its own: it answers with CTestDerived's identity.
class CTestNoRecord : public CTestDerived {};

// A class id with non-zero low bits, filed under engine 0.
class CTestOddId : public CMwNod {
    MW_DECLARE_CLASS(CTestOddId, CMwNod, 0x00FFF100)
};

#define TEST_BASE_MEMBERS(X)                                                                       \
    X(Natural, 0x01F00000, "Value", MW_FIELD(m_Value), "Value", 0x03, 0x380)                       \
    X(String, 0x01F00001, "Text", MW_FIELD(m_Text), "Some Text", 0x03, 0x3F80)
#define TEST_BASE_CHUNKS(X) X(0x01F00000, 3) X(0x01F00001, 0x13) X(0x01F00002, 0xFACADE01)
#define TEST_DERIVED_CHUNKS(X) X(0x01F01000, 7)

MW_DEFINE_CLASS(CTestBase, MwFactory<CTestBase>, TEST_BASE_MEMBERS, TEST_BASE_CHUNKS);
MW_DEFINE_CLASS(CTestDerived, MwFactory<CTestDerived>, MW_NO_MEMBERS, TEST_DERIVED_CHUNKS);
MW_DEFINE_CLASS_WITH_PARENT(CTestReparented, CTestBase, nullptr, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CTestOddId, MwFactory<CTestOddId>, MW_NO_MEMBERS, MW_NO_CHUNKS);

constinit CMwClassInfo* const s_TestClasses[] = {
    &CTestBase::s_ClassInfo,
    &CTestDerived::s_ClassInfo,
    &CTestReparented::s_ClassInfo,
    &CTestOddId::s_ClassInfo,
};
constinit const CMwClassList s_TestClassList = {s_TestClasses, 4};

class MwClassRegistry : public CMwCoreFixture {
protected:
    MwClassRegistry() : CMwCoreFixture(&s_TestClassList) {}
};

TEST_F(MwClassRegistry, LookupsAndTheNotAvailableLine) {
    CMwClassInfo* root = CMwClassRegistry::GetClassInfoById(0x01001000);
    ASSERT_EQ(root, &CMwNod::s_ClassInfo);
    EXPECT_EQ(root->m_Parent, nullptr);
    EXPECT_EQ(root->m_MemberCount, 1u);
    CMwClassInfo* derived = FindClassInfo(0x01F01000);
    ASSERT_NE(derived, nullptr);
    EXPECT_STREQ(derived->m_Name, "CTestDerived");
    EXPECT_EQ(derived->m_Parent->m_ClassId, 0x01F00000u);
    EXPECT_EQ(CMwClassRegistry::GetClassInfoById(0x00FFF100), &CTestOddId::s_ClassInfo);

    struct Miss {
        u32 id;
        const char* line;
    };
    const Miss misses[] = {
        {0x07008000, "Trying to use a class (0x07007000) from engine \"?\", which is not "
                     "available in this exe.\r\n"},
        {0x63000000, "Trying to use a class (0x63000000) from engine \"?\", which is not "
                     "available in this exe.\r\n"},
        {0x01FFF000, "Trying to use a class (0x01fff000) from engine \"MwFoundations\", which "
                     "is not available in this exe.\r\n"},
    };
    for (const Miss& miss : misses) {
        CLogWatch log;
        EXPECT_EQ(CMwClassRegistry::GetClassInfoById(miss.id), nullptr);
        EXPECT_EQ(log.Since(), miss.line);
    }
}

TEST_F(MwClassRegistry, KindTestsFollowTheClassTree) {
    struct Case {
        u32 a, b;
        bool kind;
    };
    const Case cases[] = {
        {0x12345000, 0x12345000, true}, // any id against itself, registered or not
        {0xFFFFFFFF, 0xFFFFFFFF, false}, {0x01F01000, 0x01001000, true},
        {0x01001000, 0x01F01000, false}, {0x01F02000, 0x01F00000, true},
        {0x01F02000, 0x01F01000, false}, // the tree parent, not the C++ base, counts
        {0x01F00000, 0x7E000000, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CMwClassRegistry::IsClassKindOf(c.a, c.b), c.kind)
            << std::hex << c.a << " " << c.b;
    // The nod's own kind test follows its C++ bases.
    CTestReparented reparented;
    EXPECT_TRUE(reparented.IsKindOf(0x01F01000));
    EXPECT_TRUE(reparented.IsKindOf(0x01001000));
    const u32 ids[] = {0x01001000, 0x01F00000, 0x01F01000};
    EXPECT_EQ(reparented.FindKindIndex(3, ids), 1);
    CTestNoRecord noRecord;
    EXPECT_EQ(noRecord.GetClassId(), 0x01F01000u);
    EXPECT_EQ(noRecord.FindKindIndex(3, ids), 2);
    EXPECT_EQ(noRecord.FindKindIndex(0, ids), -1);
}

TEST_F(MwClassRegistry, CreationMembersAndChildren) {
    CMwNod* nod = CMwClassRegistry::CreateNodById(0x01F00000);
    ASSERT_NE(nod, nullptr);
    EXPECT_EQ(nod->GetClassId(), 0x01F00000u);
    EXPECT_EQ(nod->GetRefCount(), 0);
    delete nod;
    EXPECT_EQ(CMwClassRegistry::CreateNodById(0x01F02000), nullptr); // no factory

    CMwMemberInfo* text = CMwClassRegistry::GetMemberInfo(0x01F00001);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text->Name, "Text");
    EXPECT_STREQ(text->FieldName, "m_Text");
    EXPECT_STREQ(text->Label, "Some Text");
    EXPECT_EQ(text->TypeCode, u32(MwType_String));
    EXPECT_EQ(text->FieldOffset, i32(offsetof(CTestBase, m_Text)));
    EXPECT_EQ(text->Mask, 0x3F80u);
    EXPECT_EQ(CMwClassRegistry::GetMemberInfo(0x01F00002), nullptr);
    EXPECT_EQ(CMwClassRegistry::GetMemberInfo(0x01001001), nullptr);
    CMwMemberInfo* idName = CMwClassRegistry::GetMemberInfo(0x01001000);
    ASSERT_NE(idName, nullptr);
    EXPECT_STREQ(idName->Name, "IdName");
    EXPECT_EQ(idName->FieldOffset, -1);
    EXPECT_EQ(idName->Flags, 0x33u);

    auto children = [](const CMwClassInfo& info) {
        std::set<u32> ids;
        for (u32 i = 0; i < info.m_ChildCount; ++i)
            ids.insert(info.m_Children[i]->m_ClassId);
        return ids;
    };
    EXPECT_TRUE(children(CMwNod::s_ClassInfo).count(0x01F00000));
    EXPECT_EQ(children(CTestBase::s_ClassInfo), (std::set<u32>{0x01F01000, 0x01F02000}));
    EXPECT_TRUE(children(CTestDerived::s_ClassInfo).empty());
}

// Member and chunk enumerations list the ancestors first, root first, along the C++ bases.
TEST_F(MwClassRegistry, EnumerationsListAncestorsFirst) {
    CTestReparented nod;
    EXPECT_EQ(nod.MemberCount(), 3u);
    EXPECT_EQ(nod.MemberIdByIndex(0), 0x01001000u);
    EXPECT_EQ(nod.MemberIdByIndex(1), 0x01F00000u);
    EXPECT_EQ(nod.MemberIdByIndex(2), 0x01F00001u);
    // The same with the chain's count taken by the registry and along the chain (a record the
    // registry has not started with); an index past the chain's chunks gives the root's id with
    // the index past the end.
    const u32 chunks[] = {0x01001000, 0x01F00000, 0x01F00001, 0x01F00002, 0x01F01000};
    CMwClassInfo& record = CTestReparented::s_ClassInfo;
    const u32 chainCount = record.m_ChainChunkCount;
    EXPECT_EQ(chainCount, 5u);
    for (bool counted : {true, false}) {
        SCOPED_TRACE(counted ? "counted by the registry" : "counted along the chain");
        record.m_ChainChunkCount = counted ? chainCount : 0;
        ASSERT_EQ(nod.ChunkCount(), 5u);
        for (u32 i = 0; i < 5; ++i)
            EXPECT_EQ(nod.ChunkIdByIndex(i), chunks[i]);
        EXPECT_EQ(nod.ChunkIdByIndex(5), 0x01001000u);
        EXPECT_EQ(nod.ChunkIdByIndex(7), 0x01001002u);
        record.m_ChainChunkCount = chainCount;
    }
    EXPECT_EQ(nod.GetChunkInfo(0x01F00001), 0x13u);
    EXPECT_EQ(nod.GetChunkInfo(0x01F00002), 0xFACADE01u); // listed, but not a chunk it knows
    EXPECT_EQ(nod.GetChunkInfo(0x01F01000), 7u);
    EXPECT_EQ(nod.GetChunkInfo(0x01001000), 1u);
    EXPECT_EQ(nod.GetChunkInfo(0x01F02000), 0xFACADE01u);
}

// Every record of the core library is filed once, with member ids that fit its class.
TEST_F(MwClassRegistry, CoreCensus) {
    std::set<u32> ids;
    u32 perEngine[256] = {};
    u32 withoutFactory = 0;
    for (u32 i = 0; i < g_MwCoreClassList.m_Count; ++i) {
        const CMwClassInfo* info = g_MwCoreClassList.m_Classes[i];
        EXPECT_TRUE(ids.insert(info->m_ClassId).second) << info->m_Name;
        EXPECT_EQ(CMwClassRegistry::GetClassInfoById(info->m_ClassId), info) << info->m_Name;
        ++perEngine[info->m_ClassId >> 24];
        withoutFactory += info->m_Factory == nullptr;
        for (u32 m = 0; m < info->m_MemberCount; ++m)
            EXPECT_EQ(info->m_MemberInfos[m]->MemberId, info->m_ClassId | m) << info->m_Name;
        if (info->m_Parent) {
            EXPECT_TRUE(ids.count(info->m_Parent->m_ClassId) ||
                        CMwClassRegistry::GetClassInfoById(info->m_Parent->m_ClassId))
                << info->m_Name;
        }
    }
    EXPECT_EQ(g_MwCoreClassList.m_Count, 33u);
    EXPECT_EQ(perEngine[1], 33u);
    EXPECT_EQ(withoutFactory, 4u); // the commands, the fast calls and the statistics
}

// Two records with one id: filing runs from the last registered record to the first, so the
// first registered one wins, and Init says so. Run in a child
// process so that the extra record stays out of the other tests' registry.
class CTestDuplicate : public CMwNod {
    MW_DECLARE_CLASS(CTestDuplicate, CMwNod, 0x01F00000)
};
MW_DEFINE_CLASS(CTestDuplicate, nullptr, MW_NO_MEMBERS, MW_NO_CHUNKS);

// Registers a record with CTestBase's id after CTestBase, runs Init and prints the log.
[[noreturn]] void InitWithDuplicate() {
    static constinit CMwClassInfo* const classes[] = {&CTestBase::s_ClassInfo,
                                                      &CTestDuplicate::s_ClassInfo};
    CMwIdTable::Create();
    CMwClassRegistry::AddClassList(g_MwCoreClassList);
    CMwClassRegistry::AddClassList(CMwClassList{classes, 2});
    CMwClassRegistry::Init();
    std::fputs(LogText().c_str(), stderr);
    const bool replaced = CMwClassRegistry::GetClassInfoById(0x01F00000) == &CTestBase::s_ClassInfo;
    std::exit(replaced ? 0 : 1);
}

TEST(MwClassRegistryDeathTest, InitReportsDuplicateIds) {
    EXPECT_EXIT(InitWithDuplicate(), ::testing::ExitedWithCode(0),
                "\\[MwClass\\] Class CTestBase \\(0x01f00000\\) replaces CTestDuplicate");
}

} // namespace
