// The system library's class list: every record filed once under its engine, and the round trip
// of every class through its member records and its body.
#include "SystemTestSupport.h"
#include "tests/support/MwClassListCheck.h"

#include <set>

namespace {

class SystemClassList : public CSystemClassesFixture {};

TEST_F(SystemClassList, Census) {
    std::set<u32> ids;
    u32 perEngine[256] = {};
    u32 withoutFactory = 0;
    for (u32 i = 0; i < g_SystemClassList.m_Count; ++i) {
        const CMwClassInfo* info = g_SystemClassList.m_Classes[i];
        EXPECT_TRUE(ids.insert(info->m_ClassId).second) << info->m_Name;
        EXPECT_EQ(CMwClassRegistry::GetClassInfoById(info->m_ClassId), info) << info->m_Name;
        ++perEngine[info->m_ClassId >> 24];
        withoutFactory += info->m_Factory == nullptr;
        for (u32 m = 0; m < info->m_MemberCount; ++m)
            EXPECT_EQ(info->m_MemberInfos[m]->MemberId, info->m_ClassId | m) << info->m_Name;
        ASSERT_NE(info->m_Parent, nullptr) << info->m_Name;
        EXPECT_NE(CMwClassRegistry::GetClassInfoById(info->m_Parent->m_ClassId), nullptr)
            << info->m_Name;
    }
    EXPECT_EQ(g_SystemClassList.m_Count, 1u);
    EXPECT_EQ(perEngine[0x0B], 1u); // the System engine's classes
    EXPECT_EQ(withoutFactory, 0u);
}

TEST_F(SystemClassList, RoundTrip) {
    const CMwClassListCheckCounts counts = MwCheckClassList(g_SystemClassList);
    EXPECT_EQ(counts.Created, 1u);
}

} // namespace
