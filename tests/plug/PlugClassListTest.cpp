// The census and the class-list check of the plug library, and its start-up.
#include "plug/PlugClasses.h"
#include "plug/PlugStart.h"
#include "plug/bitmap/PlugFile.h"
#include "tests/plug/PlugTestSupport.h"
#include "tests/support/MwClassListCheck.h"

#include <set>

namespace {

class PlugClassList : public CPlugFixture {};

// Every record of the library is filed once, under engine 9, with member ids that fit its class
// and a registered parent.
TEST_F(PlugClassList, Census) {
    std::set<u32> ids;
    u32 perEngine[256] = {};
    for (u32 i = 0; i < g_PlugClassList.m_Count; ++i) {
        const CMwClassInfo* info = g_PlugClassList.m_Classes[i];
        EXPECT_TRUE(ids.insert(info->m_ClassId).second) << info->m_Name;
        EXPECT_EQ(CMwClassRegistry::GetClassInfoById(info->m_ClassId), info) << info->m_Name;
        ++perEngine[info->m_ClassId >> 24];
        for (u32 m = 0; m < info->m_MemberCount; ++m)
            EXPECT_EQ(info->m_MemberInfos[m]->MemberId, info->m_ClassId | m) << info->m_Name;
        ASSERT_NE(info->m_Parent, nullptr) << info->m_Name;
        EXPECT_NE(CMwClassRegistry::GetClassInfoById(info->m_Parent->m_ClassId), nullptr)
            << info->m_Name;
    }
    EXPECT_EQ(g_PlugClassList.m_Count, 3u);
    EXPECT_EQ(perEngine[0x09], 3u);
}

// Only CPlug has a factory: it is made, written and read back.
TEST_F(PlugClassList, ClassesRoundTrip) {
    const CMwClassListCheckCounts counts = MwCheckClassList(g_PlugClassList);
    EXPECT_EQ(counts.Created, 1u);
    EXPECT_EQ(counts.ChunksWritten, 0u);
}

// Start-up installs the library's answers to the System engine; stopping puts the defaults back.
TEST_F(PlugClassList, StartAndStopInstallTheFileClasses) {
    ASSERT_NE(&PlugFileServices(), &PlugFileClasses());
    EXPECT_EQ(PlugFileServices().ClassIdFromFileName(u"a.tga"), 0xFFFFFFFFu);
    PlugStart();
    EXPECT_EQ(&PlugFileServices(), &PlugFileClasses());
    EXPECT_EQ(PlugFileServices().ClassIdFromFileName(u"a.tga"), 0x09023000u);
    EXPECT_EQ(PlugFileServices().ClassIdFromFileName(u"fr.mo"), 0x09055000u);
    PlugStop();
    EXPECT_NE(&PlugFileServices(), &PlugFileClasses());
    EXPECT_EQ(PlugFileServices().ClassIdFromFileName(u"a.tga"), 0xFFFFFFFFu);
}

} // namespace
