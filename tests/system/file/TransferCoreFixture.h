#pragma once
// The scheduling core that long file transfers enter, with a timed buffer of the test's own, on
// a counter that moves 20 ms at every reading, so that every entry runs the buffer once: a test
// counts the runs, or acts once in the middle of a transfer (m_OnTimed runs at the next entry).
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCmd.h"
#include "core/nod/MwCmdBufferCore.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "platform/Clock.h"

#include <functional>
#include <gtest/gtest.h>
#include <utility>

class CTransferCoreTest : public ::testing::Test {
protected:
    static inline i64 s_Now = 0;
    static i64 ReadCounter() { return s_Now += 20000000; }

    void SetUp() override {
        CMwIdTable::Create();
        CMwClassRegistry::AddClassList(g_MwCoreClassList);
        CMwClassRegistry::Init();
        platform::SetCounterSource(&ReadCounter);
        CMwCmdBufferCore* core = CMwCmdBufferCore::CreateSingleton();
        core->CreateBuffers();
        m_TimedCall = MwMakeFastCall<&CTransferCoreTest::OnTimed>(this);
        ASSERT_TRUE(m_TimedCall->AttachBuffer(core->GetTimedBuffer()));
        m_TimedCall->Install();
        core->Enable();
    }
    void TearDown() override {
        CMwCmdBufferCore::DeleteSingleton();
        platform::SetCounterSource(nullptr);
        CMwClassRegistry::Shutdown();
        CMwIdTable::Destroy();
    }
    void OnTimed() {
        ++m_TimedRuns;
        if (m_OnTimed)
            std::exchange(m_OnTimed, nullptr)();
    }

    CMwCmdFastCall* m_TimedCall = nullptr;
    u32 m_TimedRuns = 0;
    std::function<void()> m_OnTimed;
};
