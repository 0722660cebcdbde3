#include "core/nod/MwCmdBufferCore.h"

#include "core/base/ClassicLog.h"
#include "core/nod/MwVirtualMember.h"
#include "platform/Clock.h"

#include <cstring>

#define CMWCMDBUFFERCORE_MEMBERS(X)                                                                \
    X(Bool, 0x01020000, "IsEnabled", MW_FIELD(m_IsEnabled), "IsEnabled", 0x01, 0x380)              \
    X(Natural, 0x01020001, "ComputerTime", MW_VIRTUAL("m_ComputerTime"), "ComputerTime", 0x11,     \
      0x380)                                                                                       \
    X(Natural, 0x01020002, "HumanTime", MW_VIRTUAL("m_HumanTime"), "HumanTime", 0x11, 0x380)       \
    X(Natural, 0x01020003, "GameTime", MW_VIRTUAL("m_GameTime"), "GameTime", 0x11, 0x380)          \
    X(Natural, 0x01020004, "SimulationTime", MW_VIRTUAL("m_SimulationTime"), "SimulationTime",     \
      0x11, 0x380)                                                                                 \
    X(Real, 0x01020005, "PeriodEstimated", MW_FIELD(m_PeriodEstimated), "PeriodEstimated", 0x03,   \
      0x380)                                                                                       \
    X(Real, 0x01020006, "DeltaSmoothed", MW_FIELD(m_DeltaSmoothed), "DeltaSmoothed", 0x03, 0x380)  \
    X(RealRange, 0x01020007, "PeriodSmoothing", MW_FIELD(m_PeriodSmoothing), "PeriodSmoothing",    \
      0x03, 0x380, 0.0f, 1.0f)                                                                     \
    X(RealRange, 0x01020008, "DeltaSmoothing", MW_FIELD(m_DeltaSmoothing), "DeltaSmoothing", 0x03, \
      0x380, 0.0f, 1.0f)

MW_DEFINE_CLASS(CMwCmdBufferCore, MwFactory<CMwCmdBufferCore>, CMWCMDBUFFERCORE_MEMBERS,
                MW_NO_CHUNKS);

namespace {

constinit CMwCmdBufferCore* s_Singleton = nullptr;
// Counter ticks per second, and milliseconds per tick; 0 until first needed.
constinit i64 s_CounterFrequency = 0;
constinit f64 s_MsFactor = 0;
// Counter ticks in 10 ms; 0 until the first tick that needs it.
constinit i64 s_TickThreshold = 0;
// Set while the timer period obtained by MwTimer is held.
constinit u32 s_TimerPeriodSet = 0;

constexpr CMwCmdBufferCore::SPeriodPair kDefaultPeriodPairs[CMwCmdBufferCore::s_PeriodPairCount] = {
    {10, 1}, {100, 1}, {50, 1}, {100, 2}, {1000, 10}, {50, 1}, {10, 1}};

// The period pair whose bucket count sizes each second buffer.
constexpr u32 kSecondBufferPairs[CMwCmdBufferCore::s_SecondBufferCount] = {
    0, 6, 0, 1, 0, 0, 0, 3, 4, 0, 0, 5, 0, 5, 0, 2, 1, 0};

constexpr u32 kComputerTimeId = 0x01020001;
constexpr u32 kHumanTimeId = 0x01020002;
constexpr u32 kGameTimeId = 0x01020003;
constexpr u32 kSimulationTimeId = 0x01020004;

f64 MsFactor() {
    if (s_MsFactor == 0)
        s_MsFactor = 1000.0 / MwQueryPerformanceFrequency();
    return s_MsFactor;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Counter and timer

void MwQueryPerformanceCounter(i64* out) {
    *out = platform::CounterNow();
}

f64 MwQueryPerformanceFrequency() {
    if (s_CounterFrequency == 0)
        s_CounterFrequency = platform::CounterFrequency();
    return f64(s_CounterFrequency);
}

i64 MwCounterToMs(i64 ticks) {
    return i64(f64(ticks) * MsFactor());
}

bool MwTimer() {
    platform::TimerCaps caps{};
    if (!platform::TimerGetCaps(&caps))
        return false;
    if (caps.MinPeriod > 5)
        ClassicLogFormatLine("[MwTimer] Bad multimedia timer performance. MinPeriod = %u",
                             caps.MinPeriod);
    const bool begun = platform::TimerBeginPeriod(caps.MinPeriod);
    if (begun)
        s_TimerPeriodSet = 1;
    return begun;
}

void MwTimerEnd() {
    if (!s_TimerPeriodSet)
        return;
    platform::TimerCaps caps{};
    if (platform::TimerGetCaps(&caps))
        platform::TimerEndPeriod(caps.MinPeriod);
    s_TimerPeriodSet = 0;
}

// ---------------------------------------------------------------------------------------------
// Clocks

void MwClock::Start() {
    MwQueryPerformanceCounter(&m_StartCounter);
    m_CurrentMs = 0;
}

u32 MwClock::GetElapsedMs() const {
    i64 now = 0;
    MwQueryPerformanceCounter(&now);
    return u32(MwCounterToMs(now - m_StartCounter));
}

void MwScaledClock::Start(MwClock* base, f32 speed) {
    m_Base = base;
    m_Speed = speed;
    m_BaseMs = base ? base->GetElapsedMs() : 0;
    m_Offset = 0;
    m_CurrentValue = 0;
}

u32 MwScaledClock::GetValue() const {
    const f64 elapsed = m_Base ? f64(m_Base->GetElapsedMs()) : 0.0;
    const f64 x = (elapsed - f64(m_BaseMs)) * f64(m_Speed) + f64(m_Offset);
    if (!(x > 0)) // NaN too
        return 0;
    if (x >= 4294967295.0)
        return 0xFFFFFFFF;
    return u32(x);
}

void MwScaledClock::SetSpeed(f32 speed) {
    if (speed == m_Speed)
        return;
    m_Offset = GetValue();
    m_BaseMs = m_Base ? m_Base->GetElapsedMs() : 0;
    m_Speed = speed;
}

// ---------------------------------------------------------------------------------------------
// CMwPerfCounterNod

CMwPerfCounterNod::CMwPerfCounterNod() {
    MsFactor();
}

// ---------------------------------------------------------------------------------------------
// CMwCmdBufferCore

// A run of the timed buffer: sets the running flag and clears it however the run ends (an
// exception out of a command included), unless a timed command deleted the core.
struct CMwCmdBufferCore::STimedRun {
    explicit STimedRun(CMwCmdBufferCore* core) : m_Core(core) {
        core->m_IsRunning = 1;
        core->m_TimedRun = this;
    }
    ~STimedRun() {
        if (m_CoreGone)
            return;
        m_Core->m_IsRunning = 0;
        m_Core->m_TimedRun = nullptr;
    }
    STimedRun(const STimedRun&) = delete;
    STimedRun& operator=(const STimedRun&) = delete;

    CMwCmdBufferCore* m_Core;
    bool m_CoreGone = false;
};

CMwCmdBufferCore::CMwCmdBufferCore() {
    MwTimer();
    m_ComputerClock.Start();
    m_SimulationClock.Start(&m_ComputerClock, 1.0f);
    SetPeriodPairs(nullptr);
}

CMwCmdBufferCore::~CMwCmdBufferCore() {
    if (m_TimedRun)
        m_TimedRun->m_CoreGone = true;
    Disable();
    for (CFastArray<CMwCmdBuffer*>* buffers : {&m_Buffers, &m_SecondBuffers}) {
        for (u32 i = 0; i < buffers->m_Count; ++i)
            delete buffers->m_Items[i];
        buffers->SetCount(0);
    }
    if (m_TimedBuffer) {
        if (!m_IsRunning)
            m_TimedBuffer->RunBucket(0);
        delete m_TimedBuffer;
        m_TimedBuffer = nullptr;
    }
    MwTimerEnd();
    if (s_Singleton == this)
        s_Singleton = nullptr;
}

CMwCmdBufferCore* CMwCmdBufferCore::CreateSingleton() {
    if (s_Singleton) {
        ClassicLogFormatLine("[MwCmdBufferCore] The scheduling core exists already");
        return s_Singleton;
    }
    s_Singleton = new CMwCmdBufferCore;
    return s_Singleton;
}

void CMwCmdBufferCore::DeleteSingleton() {
    delete s_Singleton;
    s_Singleton = nullptr;
}

CMwCmdBufferCore* CMwCmdBufferCore::GetSingleton() {
    return s_Singleton;
}

void CMwCmdBufferCore::CreateBuffers() {
    if (m_TimedBuffer) {
        ClassicLogFormatLine("[MwCmdBufferCore] The command buffers exist already");
        return;
    }
    m_Buffers.SetCount(s_FirstBufferCount);
    for (u32 i = 0; i < s_FirstBufferCount; ++i)
        m_Buffers.m_Items[i] = new CMwCmdBuffer;
    m_SecondBuffers.SetCount(s_SecondBufferCount);
    for (u32 i = 0; i < s_SecondBufferCount; ++i) {
        m_SecondBuffers.m_Items[i] = new CMwCmdBuffer;
        m_SecondBuffers.m_Items[i]->SetBucketCount(
            m_PeriodPairs[kSecondBufferPairs[i]].m_BucketCount);
    }
    m_TimedBuffer = new CMwCmdBuffer;
    m_LastTimedRun = 0;
    m_SimulationClock.SetSpeed(0.0f);
}

CMwCmdBuffer* CMwCmdBufferCore::GetBuffer(u32 index) const {
    if (index < m_Buffers.m_Count)
        return m_Buffers.m_Items[index];
    if (index >= s_SecondBufferBase && index - s_SecondBufferBase < m_SecondBuffers.m_Count)
        return m_SecondBuffers.m_Items[index - s_SecondBufferBase];
    return nullptr;
}

void CMwCmdBufferCore::Enter(u32 n) {
    ++m_EnteredCount;
    Tick(n);
}

void CMwCmdBufferCore::Leave() {
    --m_EnteredCount;
}

void CMwCmdBufferCore::Poll(u32 n) {
    CMwCmdBufferCore* core = s_Singleton;
    if (!core)
        return;
    core->Enter(n);
    // A timed command may have deleted the core.
    if (s_Singleton == core)
        core->Leave();
}

void CMwCmdBufferCore::Tick(u32 n) {
    if (m_EnteredCount <= 0 || !m_IsEnabled || m_IsRunning)
        return;
    if (++m_TickCount < n)
        return;
    m_TickCount = 0;
    if (s_TickThreshold == 0)
        s_TickThreshold = i64(MwQueryPerformanceFrequency() * 0.01);
    i64 now = 0;
    MwQueryPerformanceCounter(&now);
    if (!(i64(u64(now) - u64(m_LastTimedRun)) > s_TickThreshold) || !m_TimedBuffer)
        return;
    m_LastTimedRun = now;
    STimedRun run(this);
    m_TimedBuffer->RunBucket(0);
}

void CMwCmdBufferCore::Enable() {
    if (m_IsEnabled)
        return;
    m_IsEnabled = 1;
    ++m_EnteredCount;
}

void CMwCmdBufferCore::Disable() {
    if (!m_IsEnabled)
        return;
    m_IsEnabled = 0;
    Leave();
}

void CMwCmdBufferCore::SetPeriodPairs(const SPeriodPair* pairs) {
    std::memcpy(m_PeriodPairs, pairs ? pairs : kDefaultPeriodPairs, sizeof m_PeriodPairs);
}

u32 CMwCmdBufferCore::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        switch (member.MemberId) {
            case kComputerTimeId:
            case kHumanTimeId:
                return MwAnswerValue(out, m_ComputerClock.m_CurrentMs);
            case kGameTimeId:
                return MwAnswerValue(out, GetGameClock()->m_CurrentValue);
            case kSimulationTimeId:
                return MwAnswerValue(out, m_SimulationClock.m_CurrentValue);
            default:
                return MwNotOwnMember;
        }
    });
}
