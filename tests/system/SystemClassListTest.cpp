// The census and the class-list check of the system library.
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "system/SystemClasses.h"
#include "system/config/SystemConfig.h"
#include "system/config/SystemConfigDisplay.h"
#include "tests/support/MwClassListCheck.h"
#include "tests/system/config/ConfigTestSupport.h"
#include "tests/system/engine/EngineTestSupport.h"

#include <gtest/gtest.h>
#include <set>

namespace {

class SystemClassList : public CSystemFixture {
protected:
    CConfigRecords m_Records;
};

// Every record of the library is filed once, under its engine (11 System, 20 Xml), with member
// ids that fit its class.
TEST_F(SystemClassList, Census) {
    std::set<u32> ids;
    u32 perEngine[256] = {};
    for (u32 i = 0; i < g_SystemClassList.m_Count; ++i) {
        const CMwClassInfo* info = g_SystemClassList.m_Classes[i];
        EXPECT_TRUE(ids.insert(info->m_ClassId).second) << info->m_Name;
        EXPECT_EQ(CMwClassRegistry::GetClassInfoById(info->m_ClassId), info) << info->m_Name;
        ++perEngine[info->m_ClassId >> 24];
        for (u32 m = 0; m < info->m_MemberCount; ++m)
            EXPECT_EQ(info->m_MemberInfos[m]->MemberId, info->m_ClassId | m) << info->m_Name;
        ASSERT_NE(info->m_Parent, nullptr) << info->m_Name;
        EXPECT_NE(CMwClassRegistry::GetClassInfoById(info->m_Parent->m_ClassId), nullptr)
            << info->m_Name;
    }
    EXPECT_EQ(g_SystemClassList.m_Count, 29u);
    EXPECT_EQ(perEngine[0x0B], 15u); // the System engine's classes
    EXPECT_EQ(perEngine[0x14], 14u); // the Xml engine's classes
}

TEST_F(SystemClassList, ClassesRoundTrip) {
    // The engine, made by its factory, describes the fake host.
    CKnownExeChecksum checksum(0x12345678);
    platform::SetHostFactsSource(&FakeHostFacts);
    platform::SetAdapterDescriber(&FakeAdapter);
    CMwClassListCheck check;
    check.Fill = [](CMwNod& nod) {
        MwFillMembers(nod);
        // What the records do not reach, and stored quality members as the part's preset makes
        // them: loading recomputes them.
        if (nod.IsKindOf(CSystemConfigDisplay::s_ClassId)) {
            auto& display = static_cast<CSystemConfigDisplay&>(nod);
            display.m_Size = {1600, 1200};
            display.m_WindowedSizeIndex = 3;
            display.ApplyPreset(display.m_Preset);
        }
        // The game presets as loading recomputes them.
        if (nod.IsKindOf(CSystemConfig::s_ClassId))
            static_cast<CSystemConfig&>(nod).ApplyQualityPresets();
    };
    const CMwClassListCheckCounts counts = MwCheckClassList(g_SystemClassList, check);
    platform::SetHostFactsSource(nullptr);
    platform::SetAdapterDescriber(nullptr);
    EXPECT_EQ(counts.Created, 29u);
    // The display's and the configuration's current chunks; file ids and folders have none, and
    // the fid cache's chunk is known to no class.
    EXPECT_EQ(counts.ChunksWritten, 24u);
}

} // namespace
