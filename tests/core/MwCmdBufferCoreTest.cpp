// The scheduling core, its clocks and the timer period, on a fake counter and a fake timer.
#include "core/nod/MwCmdBufferCore.h"

#include "CoreTestSupport.h"
#include "core/nod/MwCmd.h"
#include "core/nod/MwEngine.h"
#include "core/nod/MwMemberPath.h"
#include "platform/Clock.h"

#include <cstring>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr i64 kMs = 1000000; // counter ticks (ns) per millisecond

// The counter the tests set, and how often it was read.
struct CFakeCounter {
    static inline i64 s_Now = 0;
    static inline u32 s_Reads = 0;
    static i64 Read() {
        ++s_Reads;
        return s_Now;
    }
};

// A timer with the minimum period the test sets; it records the period requests.
struct CFakeTimer {
    static inline bool s_CapsOk = true;
    static inline u32 s_MinPeriod = 1;
    static inline std::vector<int> s_Requests; // +period begun, -period ended
    static bool GetCaps(platform::TimerCaps* caps) {
        caps->MinPeriod = s_MinPeriod;
        caps->MaxPeriod = 1000000;
        return s_CapsOk;
    }
    static bool Begin(u32 period) {
        s_Requests.push_back(int(period));
        return true;
    }
    static bool End(u32 period) {
        s_Requests.push_back(-int(period));
        return true;
    }
};
constexpr platform::TimerService kFakeTimer = {&CFakeTimer::GetCaps, &CFakeTimer::Begin,
                                               &CFakeTimer::End};

// Reads a member by its name through the engine's member access.
template <typename T>
T ReadMember(CMwNod& nod, const char* name) {
    CMwMemberPath path;
    EXPECT_EQ(path.ParseFromText(CMwNod::s_NoClassId, &nod, CClassicString(name)), 0u) << name;
    CMwParamValue value;
    EXPECT_EQ(nod.GetParam(&path, &value), 0u) << name;
    T word{};
    if (value.Value)
        std::memcpy(&word, value.Value, sizeof word);
    return word;
}

class MwCmdBufferCore : public CMwCoreFixture {
protected:
    void SetUp() override {
        CMwCoreFixture::SetUp();
        CFakeCounter::s_Now = 1000 * kMs;
        CFakeCounter::s_Reads = 0;
        CFakeTimer::s_CapsOk = true;
        CFakeTimer::s_MinPeriod = 1;
        CFakeTimer::s_Requests.clear();
        platform::SetCounterSource(&CFakeCounter::Read);
        platform::SetTimerService(&kFakeTimer);
    }
    void TearDown() override {
        CMwCmdBufferCore::DeleteSingleton();
        platform::SetCounterSource(nullptr);
        platform::SetTimerService(nullptr);
        CMwCoreFixture::TearDown();
    }

    // The singleton with its buffers, and a fast call counting the timed buffer's runs.
    CMwCmdBufferCore* MakeCore() {
        CMwCmdBufferCore* core = CMwCmdBufferCore::CreateSingleton();
        core->CreateBuffers();
        m_TimedCall = MwMakeFastCall<&MwCmdBufferCore::OnTimed>(this);
        EXPECT_TRUE(m_TimedCall->AttachBuffer(core->GetTimedBuffer()));
        m_TimedCall->Install();
        return core;
    }
    void OnTimed() { ++m_TimedRuns; }

    CMwCmdFastCall* m_TimedCall = nullptr;
    u32 m_TimedRuns = 0;
};

TEST_F(MwCmdBufferCore, ADisabledCoreNeverRunsTheTimedBuffer) {
    CMwCmdBufferCore* core = MakeCore();
    EXPECT_EQ(core->m_IsEnabled, 0u);
    CFakeCounter::s_Reads = 0;
    for (int i = 0; i < 5; ++i) {
        core->Enter(1);
        CFakeCounter::s_Now += 100 * kMs;
        core->Tick(1);
        CMwCmdBufferCore::Poll(1);
    }
    EXPECT_EQ(core->m_EnteredCount, 5);
    EXPECT_EQ(m_TimedRuns, 0u);
    EXPECT_EQ(CFakeCounter::s_Reads, 0u); // nothing even looks at the time
    for (int i = 0; i < 5; ++i)
        core->Leave();
    EXPECT_EQ(core->m_EnteredCount, 0);
}

TEST_F(MwCmdBufferCore, AnEnabledCoreRunsTheTimedBufferAtMostEvery10Ms) {
    CMwCmdBufferCore* core = MakeCore();
    core->Enable();
    EXPECT_EQ(core->m_IsEnabled, 1u);
    EXPECT_EQ(core->m_EnteredCount, 1); // the core's own entry
    struct Step {
        i64 now;
        bool runs;
    };
    const Step steps[] = {
        {1000 * kMs, true},      // the first tick after the buffers were made
        {1005 * kMs, false},     // 5 ms later
        {1010 * kMs, false},     // exactly 10 ms is not enough
        {1010 * kMs + 1, true},  // one tick more is
        {1010 * kMs + 2, false}, //
        {5000 * kMs, true},      //
        {4000 * kMs, false},     // a counter going back runs nothing
    };
    u32 runs = 0;
    for (const Step& s : steps) {
        CFakeCounter::s_Now = s.now;
        core->Tick(1);
        runs += s.runs;
        EXPECT_EQ(m_TimedRuns, runs) << s.now;
    }

    // No entry, no run: an enabled core whose own entry was given back.
    core->Leave();
    CFakeCounter::s_Now = 6000 * kMs;
    core->Tick(1);
    EXPECT_EQ(m_TimedRuns, runs);
    core->Enter(1); // entering ticks
    EXPECT_EQ(m_TimedRuns, runs + 1);
    core->Leave();

    // Disable gives the core's entry back, once.
    core->Enter(1);
    core->Disable();
    core->Disable();
    EXPECT_EQ(core->m_IsEnabled, 0u);
    EXPECT_EQ(core->m_EnteredCount, 0);
}

TEST_F(MwCmdBufferCore, TheDividerLetsEveryNthTickReachTheClock) {
    CMwCmdBufferCore* core = MakeCore();
    core->Enable();
    const u32 start = CFakeCounter::s_Reads;
    // Three calls per reading of the counter; the call counter restarts even when the time test
    // then fails (all within 10 ms after the first run).
    for (int i = 0; i < 9; ++i)
        core->Tick(3);
    EXPECT_EQ(CFakeCounter::s_Reads - start, 3u);
    EXPECT_EQ(m_TimedRuns, 1u);
    EXPECT_EQ(core->m_TickCount, 0u);
    core->Tick(3);
    EXPECT_EQ(core->m_TickCount, 1u);
}

// Long work inside a timed command does not run the timed buffer again.
TEST_F(MwCmdBufferCore, TheTimedBufferNeverRunsInsideItself) {
    CMwCmdBufferCore* core = MakeCore();
    core->Enable();
    struct CLongWork {
        CMwCmdBufferCore* m_Core;
        u32 m_Runs = 0;
        void Run() {
            ++m_Runs;
            CFakeCounter::s_Now += 50 * kMs;
            CMwCmdBufferCoreEntry entry;
            m_Core->Tick(1);
            CMwCmdBufferCore::Poll(1);
        }
    } work{core};
    CMwCmdFastCall* call = MwMakeFastCall<&CLongWork::Run>(&work);
    call->AttachBuffer(core->GetTimedBuffer());
    call->Install();
    core->Tick(1);
    EXPECT_EQ(work.m_Runs, 1u);
    EXPECT_EQ(m_TimedRuns, 1u);
    EXPECT_EQ(core->m_IsRunning, 0u);
    EXPECT_EQ(core->m_EnteredCount, 1);

    // An exception out of a timed command leaves neither the running flag nor an entry behind.
    struct CThrowing {
        void Run() {
            CMwCmdBufferCoreEntry entry;
            throw std::runtime_error("stream ended");
        }
    } thrower;
    CMwCmdFastCall* throwing = MwMakeFastCall<&CThrowing::Run>(&thrower);
    throwing->AttachBuffer(core->GetTimedBuffer());
    throwing->Install();
    CFakeCounter::s_Now += 100 * kMs;
    EXPECT_THROW(core->Tick(1), std::runtime_error);
    EXPECT_EQ(core->m_IsRunning, 0u);
    EXPECT_EQ(core->m_EnteredCount, 1);
    throwing->Uninstall();
    CFakeCounter::s_Now += 100 * kMs;
    core->Tick(1);
    EXPECT_EQ(work.m_Runs, 3u);
    call->Uninstall(); // before `work` goes
}

TEST_F(MwCmdBufferCore, BuffersByIndexAndTheirBuckets) {
    CMwCmdBufferCore* core = MakeCore();
    EXPECT_EQ(core->m_Buffers.m_Count, 33u);
    EXPECT_EQ(core->m_SecondBuffers.m_Count, 18u);
    EXPECT_EQ(core->GetTimedBuffer()->GetBucketCount(), 1u);
    for (u32 index = 0; index < 146; ++index) {
        CMwCmdBuffer* buffer = core->GetBuffer(index);
        const bool exists = index <= 32 || index >= 128;
        ASSERT_EQ(buffer != nullptr, exists) << index;
        if (buffer) {
            EXPECT_EQ(buffer->GetBucketCount(), index == 135   ? 2u
                                                : index == 136 ? 10u
                                                               : 1u)
                << index;
        }
    }
    EXPECT_EQ(core->GetBuffer(146), nullptr);
    EXPECT_EQ(core->GetBuffer(0xFFFFFFFF), nullptr);

    // Commands choose their buffer by index; indices that designate none are refused.
    struct Choice {
        u32 index;
        bool accepted;
    };
    const Choice choices[] = {{0, true},           {1, true},          {32, true},  {33, false},
                              {127, false},        {128, true},        {145, true}, {146, false},
                              {0x80000080, false}, {0xFFFFFFFF, false}};
    for (const Choice& c : choices) {
        CMwCmd cmd;
        ASSERT_TRUE(cmd.SetBuffer(14));
        CLogWatch log;
        EXPECT_EQ(cmd.SetBuffer(c.index), c.accepted) << c.index;
        EXPECT_EQ(cmd.m_Buffer, c.accepted ? core->GetBuffer(c.index) : core->GetBuffer(14));
        if (!c.accepted) {
            EXPECT_EQ(log.Since(), "[MwCmd] No command buffer " + std::to_string(c.index) + "\r\n");
        }
    }

    // Buffer 136 spreads its commands over its ten buckets; the frame loop that would run them
    // is a host program's, so the test runs them bucket by bucket.
    std::string runs;
    struct CNamed {
        std::string* m_Runs;
        char m_Name;
        void Run() { *m_Runs += m_Name; }
    };
    std::vector<CNamed> targets;
    for (char c = 'a'; c <= 'l'; ++c)
        targets.push_back({&runs, c});
    for (CNamed& target : targets) {
        CMwCmdFastCall* call = MwMakeFastCall<&CNamed::Run>(&target);
        ASSERT_TRUE(call->SetBuffer(136));
        call->Install();
    }
    CMwCmdBuffer* buffer = core->GetBuffer(136);
    std::string passes;
    for (u32 b = 0; b < 10; ++b) {
        runs.clear();
        buffer->RunBucket(b);
        passes += runs + "|";
    }
    EXPECT_EQ(passes, "ak|bl|c|d|e|f|g|h|i|j|");
    core->Enable();
    CFakeCounter::s_Now += 100 * kMs;
    core->Tick(1);
    EXPECT_EQ(runs, "j"); // the core runs only the timed buffer
    EXPECT_EQ(m_TimedRuns, 1u);
}

TEST_F(MwCmdBufferCore, SingletonLifetimeAndCommandsThatOutliveIt) {
    EXPECT_EQ(CMwCmdBufferCore::GetSingleton(), nullptr);
    CMwCmd orphan;
    {
        CLogWatch log;
        EXPECT_FALSE(orphan.SetBuffer(1));
        EXPECT_EQ(log.Since(),
                  "[MwCmd] No command buffer 1 (the scheduling core does not exist)\r\n");
    }
    CMwCmdBufferCore::Poll(1); // nothing to poll
    CMwCmdBufferCoreEntry noCore;

    CMwCmdBufferCore* core = MakeCore();
    EXPECT_EQ(CMwCmdBufferCore::GetSingleton(), core);
    {
        CLogWatch log;
        EXPECT_EQ(CMwCmdBufferCore::CreateSingleton(), core);
        core->CreateBuffers();
        EXPECT_EQ(log.Since(), "[MwCmdBufferCore] The scheduling core exists already\r\n"
                               "[MwCmdBufferCore] The command buffers exist already\r\n");
    }
    {
        CMwCmdBufferCoreEntry entry;
        EXPECT_EQ(core->m_EnteredCount, 1);
    }
    EXPECT_EQ(core->m_EnteredCount, 0);

    // A client that keeps its own reference on its command (an HTTP client destroyed after
    // shutdown, say) finds no buffer after the core is gone.
    struct CClient {
        u32 m_Updates = 0;
        void Update() { ++m_Updates; }
    } client;
    CMwCmdFastCall* update = MwMakeFastCall<&CClient::Update>(&client);
    update->AddRef();
    ASSERT_TRUE(update->SetBuffer(14));
    update->Install();
    EXPECT_EQ(update->GetRefCount(), 2);
    m_TimedCall->AddRef();

    CMwCmdBufferCore::DeleteSingleton();
    EXPECT_EQ(CMwCmdBufferCore::GetSingleton(), nullptr);
    EXPECT_EQ(m_TimedRuns, 1u); // the timed buffer runs once as the core goes
    EXPECT_EQ(update->m_Buffer, nullptr);
    EXPECT_EQ(m_TimedCall->m_Buffer, nullptr);
    EXPECT_EQ(update->GetRefCount(), 1);
    CLogWatch log;
    update->Install();
    update->Uninstall();
    EXPECT_EQ(log.Since(), "[MwCmd] A command without a buffer cannot be installed\r\n");
    update->Release();
    m_TimedCall->Release();
    EXPECT_EQ(client.m_Updates, 0u);
}

// A timed command that deletes the core: the pass and Tick end without touching it again, and
// whoever entered the core does not leave it afterwards.
TEST_F(MwCmdBufferCore, ATimedCommandMayDeleteTheCore) {
    struct Road {
        const char* name;
        void (*tick)(CMwCmdBufferCore* core);
    };
    const Road roads[] = {
        {"entering", [](CMwCmdBufferCore*) { CMwCmdBufferCoreEntry entry; }},
        {"Tick inside an entry",
         [](CMwCmdBufferCore* core) {
             CMwCmdBufferCoreEntry entry(2); // the tick of entering does not reach the clock
             core->Tick(2);
         }},
        {"Poll", [](CMwCmdBufferCore*) { CMwCmdBufferCore::Poll(1); }},
    };
    struct CDeleter {
        u32 m_Runs = 0;
        void Run() {
            ++m_Runs;
            CMwCmdBufferCore::DeleteSingleton();
        }
    };
    for (const Road& road : roads) {
        SCOPED_TRACE(road.name);
        m_TimedRuns = 0;
        CMwCmdBufferCore* core = MakeCore();
        core->Enable();
        CDeleter deleter;
        CMwCmdFastCall* call = MwMakeFastCall<&CDeleter::Run>(&deleter);
        ASSERT_TRUE(call->AttachBuffer(core->GetTimedBuffer()));
        call->Install();
        CFakeCounter::s_Now += 100 * kMs;
        CLogWatch log;
        road.tick(core);
        EXPECT_EQ(CMwCmdBufferCore::GetSingleton(), nullptr);
        EXPECT_EQ(deleter.m_Runs, 1u);
        EXPECT_EQ(m_TimedRuns, 1u); // not run again as the core goes: it is running
        EXPECT_EQ(log.Since(), "");
    }
}

TEST_F(MwCmdBufferCore, TheTimerPeriod) {
    struct Case {
        bool capsOk;
        u32 minPeriod;
        bool begun;
        const char* line;
        std::vector<int> requests; // during the core's life, then at its end
    };
    const Case cases[] = {
        {true, 1, true, "", {1, -1}},
        {true, 5, true, "", {5, -5}},
        {true, 6, true, "[MwTimer] Bad multimedia timer performance. MinPeriod = 6\r\n", {6, -6}},
        {true,
         20,
         true,
         "[MwTimer] Bad multimedia timer performance. MinPeriod = 20\r\n",
         {20, -20}},
        {false, 6, false, "", {}}, // capabilities that cannot be read: no period
    };
    for (const Case& c : cases) {
        CFakeTimer::s_CapsOk = c.capsOk;
        CFakeTimer::s_MinPeriod = c.minPeriod;
        CFakeTimer::s_Requests.clear();
        CLogWatch log;
        EXPECT_EQ(MwTimer(), c.begun) << c.minPeriod;
        MwTimerEnd();
        MwTimerEnd(); // once only
        EXPECT_EQ(log.Since(), c.line);
        EXPECT_EQ(CFakeTimer::s_Requests, c.requests) << c.minPeriod;

        // The core holds the period for its life.
        CFakeTimer::s_Requests.clear();
        delete new CMwCmdBufferCore;
        EXPECT_EQ(CFakeTimer::s_Requests, c.requests) << c.minPeriod;
    }
}

TEST_F(MwCmdBufferCore, Clocks) {
    CFakeCounter::s_Now = 7 * kMs;
    MwClock clock;
    clock.Start();
    EXPECT_EQ(*clock.GetMsPtr(), 0u);
    CFakeCounter::s_Now += 1234 * kMs + kMs / 2;
    EXPECT_EQ(clock.GetElapsedMs(), 1234u);
    EXPECT_EQ(MwCounterToMs(10 * kMs), 10);
    EXPECT_EQ(MwCounterToMs(kMs - 1), 0);
    EXPECT_EQ(MwQueryPerformanceFrequency(), 1e9);

    // Each step: advance the base clock, change the speed, read the value.
    MwScaledClock scaled;
    scaled.Start(&clock, 1.0f);
    struct Step {
        i64 advanceMs;
        f32 speed;
        u32 value;
    };
    const Step steps[] = {
        {100, 1.0f, 100},  // 1.0 all along
        {100, 2.0f, 200},  // the value goes on from where it stood...
        {100, 2.0f, 400},  // ...at the new rate
        {0, 0.0f, 400},    // stands still
        {500, 0.0f, 400},  //
        {0, 0.5f, 400},    //
        {100, -1.0f, 450}, // runs backwards...
        {300, -1.0f, 150}, //
        {200, -1.0f, 0},   // ...and stops at 0
        {200, -1.0f, 0},   //
    };
    for (const Step& s : steps) {
        CFakeCounter::s_Now += s.advanceMs * kMs;
        const u32 before = scaled.GetValue();
        scaled.SetSpeed(s.speed);
        EXPECT_EQ(scaled.GetValue(), before); // continuous across the change
        EXPECT_EQ(before, s.value) << s.speed;
    }
    EXPECT_EQ(*scaled.GetValuePtr(), 0u);
    scaled.SetSpeed(4e9f);
    CFakeCounter::s_Now += 100 * kMs;
    EXPECT_EQ(scaled.GetValue(), 0xFFFFFFFFu); // saturates

    // The counter-to-milliseconds nod made by engine 1's factory answers as a plain nod.
    CMwFoundationsEngine engine;
    CMwNod* nod = engine.CreateByClassId(0x01021000, nullptr, 0);
    ASSERT_NE(nod, nullptr);
    EXPECT_EQ(nod->GetClassId(), 0x01001000u);
    delete nod;
}

TEST_F(MwCmdBufferCore, ReflectedMembers) {
    CMwCmdBufferCore* core = MakeCore();
    EXPECT_EQ(core->MemberCount(), 10u);
    EXPECT_EQ(core->MemberIdByIndex(0), 0x01001000u);
    for (u32 i = 1; i < 10; ++i)
        EXPECT_EQ(core->MemberIdByIndex(i), 0x01020000u + i - 1);
    EXPECT_EQ(core->m_PeriodEstimated, 20.0f);
    EXPECT_EQ(core->m_PeriodSmoothing, 0.6f);
    EXPECT_EQ(core->m_DeltaSmoothed, 0.0f);
    EXPECT_EQ(core->m_DeltaSmoothing, 0.25f);
    const auto* smoothing =
        static_cast<const CMwMemberInfoRealRange*>(CMwClassRegistry::GetMemberInfo(0x01020007));
    EXPECT_EQ(smoothing->FieldOffset, i32(offsetof(CMwCmdBufferCore, m_PeriodSmoothing)));
    EXPECT_EQ(smoothing->Max, 1.0f);
    EXPECT_EQ(CMwClassRegistry::GetMemberInfo(0x01020000)->FieldOffset,
              i32(offsetof(CMwCmdBufferCore, m_IsEnabled)));

    // The clocks' words as a frame loop would advance them.
    *core->m_ComputerClock.GetMsPtr() = 1111;
    *core->m_SimulationClock.GetValuePtr() = 2222;
    struct Read {
        const char* name;
        u32 value;
    };
    const Read reads[] = {
        {"ComputerTime", 1111}, {"HumanTime", 1111}, {"GameTime", 2222}, {"SimulationTime", 2222}};
    for (const Read& r : reads)
        EXPECT_EQ(ReadMember<u32>(*core, r.name), r.value) << r.name;
    MwScaledClock game;
    *game.GetValuePtr() = 3333;
    core->m_GameClock = &game;
    EXPECT_EQ(core->GetGameClock(), &game);
    EXPECT_EQ(ReadMember<u32>(*core, "GameTime"), 3333u);
    EXPECT_EQ(ReadMember<u32>(*core, "SimulationTime"), 2222u);

    // The smoothing settings are written by text; the enabled flag and the times are read only.
    struct Write {
        const char* name;
        const char16_t* text;
        u32 result;
    };
    const Write writes[] = {{"PeriodEstimated", u"12.5", 0},
                            {"DeltaSmoothing", u"0.5", 0},
                            {"IsEnabled", u"1", 2},
                            {"GameTime", u"5", 2}};
    for (const Write& w : writes) {
        CLogWatch log;
        EXPECT_EQ(core->SetParamFromText(CClassicString(w.name), CClassicWideString(w.text)),
                  w.result)
            << w.name;
        EXPECT_EQ(log.Since().empty(), w.result == 0) << w.name;
    }
    EXPECT_EQ(ReadMember<f32>(*core, "PeriodEstimated"), 12.5f);
    EXPECT_EQ(core->m_DeltaSmoothing, 0.5f);
    EXPECT_EQ(ReadMember<u32>(*core, "IsEnabled"), 0u);
    EXPECT_EQ(core->m_GameClock->m_CurrentValue, 3333u);
    // Other members go to the root.
    CMwMemberPath path(1);
    path.PushFront(
        reinterpret_cast<MwPathValue>(CMwClassRegistry::GetMemberInfo(CMwNod::s_IdNameMemberId)));
    path.Reset();
    CMwParamValue value;
    EXPECT_EQ(core->GetParamVirtual(&path, &value), 0u);
    EXPECT_EQ(value.Value, &g_ClassicStringEmpty);
}

} // namespace
