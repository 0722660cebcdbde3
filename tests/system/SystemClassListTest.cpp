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

namespace {

class SystemClassList : public CSystemFixture {
protected:
    CConfigRecords m_Records;
};

// Every record of the library is filed once, under its engine (11 System, 20 Xml), with member
// ids that fit its class.
TEST_F(SystemClassList, Census) {
    const CMwClassCensus census = MwTakeClassCensus(g_SystemClassList);
    EXPECT_EQ(g_SystemClassList.m_Count, 31u);
    EXPECT_EQ(census.PerEngine[0x0B], 17u); // the System engine's classes
    EXPECT_EQ(census.PerEngine[0x14], 14u); // the Xml engine's classes
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
