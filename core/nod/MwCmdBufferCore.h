#pragma once
// The scheduling core: the one object that owns the command buffers clients reach by index, a
// timed buffer that may run while long work is under way, the engine's clocks and the settings
// of frame-period smoothing.
//
// The frame loop that would run the indexed buffers, advance the clocks' current words and
// smooth the frame period belongs to a host program, not to this one: the core stays disabled,
// no buffer runs, and readers of GetMsPtr / GetValuePtr see the words as they were at start (0).
// What runs is the entry counting: long operations enter and leave the core, and entering ticks
// the timed buffer (which runs only in an enabled core).
//
//     CMwCmdBufferCore::CreateSingleton();   // at start-up, after the engine manager
//     CMwCmdBufferCore::GetSingleton()->CreateBuffers();
//     ...
//     CMwCmdBufferCore::DeleteSingleton();   // at shutdown, after the engines
#include "core/nod/MwCmd.h"

// The counter and the system timer. The counter is the platform's monotonic counter, so its
// frequency (1e9) never fails to be known.
void MwQueryPerformanceCounter(i64* out);
// Counter ticks per second, queried on first use and kept.
f64 MwQueryPerformanceFrequency();
// Ticks to milliseconds, truncated.
i64 MwCounterToMs(i64 ticks);
// Asks the system timer for its finest period; a minimum period above 5 ms is logged and still
// requested. False when the capabilities cannot be read or the request fails.
bool MwTimer();
// Gives back the period MwTimer obtained, if any.
void MwTimerEnd();

// Milliseconds since Start, from the counter.
struct MwClock {
    void Start();
    u32 GetElapsedMs() const;
    // The current-milliseconds word that a frame loop advances; readers take it as "now".
    u32* GetMsPtr() { return &m_CurrentMs; }

    i64 m_StartCounter = 0;
    u32 m_CurrentMs = 0;
};

// A clock that runs at a speed relative to a base clock.
struct MwScaledClock {
    void Start(MwClock* base, f32 speed);
    // (base elapsed - base milliseconds at the last start) * speed + offset; 0 when that is not
    // above 0, the largest u32 when it passes it.
    u32 GetValue() const;
    // Changes the rate; the value goes on from where it stood.
    void SetSpeed(f32 speed);
    // The current-value word that a frame loop advances.
    u32* GetValuePtr() { return &m_CurrentValue; }

    MwClock* m_Base = nullptr;
    f32 m_Speed = 0;
    u32 m_BaseMs = 0;
    u32 m_Offset = 0;
    u32 m_CurrentValue = 0;
};

// Makes sure the counter-to-milliseconds factor is known. It answers with CMwNod's identity.
class CMwPerfCounterNod : public CMwNod {
public:
    CMwPerfCounterNod();
};

class CMwCmdBufferCore : public CMwNod {
    MW_DECLARE_CLASS(CMwCmdBufferCore, CMwNod, 0x01020000)
public:
    static constexpr u32 s_FirstBufferCount = 33;
    // The second buffers are reached as indices 128 to 145.
    static constexpr u32 s_SecondBufferBase = 128;
    static constexpr u32 s_SecondBufferCount = 18;
    static constexpr u32 s_PeriodPairCount = 7;

    // A period for the frame loop and the bucket count of the buffers that use it.
    struct SPeriodPair {
        u32 m_FirstValue;
        u32 m_BucketCount;
    };

    // Starts the timer period and the clocks; the buffers come with CreateBuffers.
    CMwCmdBufferCore();
    CMwCmdBufferCore(const CMwCmdBufferCore&) = delete;
    CMwCmdBufferCore& operator=(const CMwCmdBufferCore&) = delete;
    // Deletes the buffers whatever their reference counts (their commands forget them), runs the
    // timed buffer once more, ends the timer period and clears the singleton. A timed command
    // may delete the core: Tick then ends with the pass (the timed buffer, running already, is
    // not run again).
    ~CMwCmdBufferCore() override;

    // Creates the singleton; an existing one is kept (and the log says so).
    static CMwCmdBufferCore* CreateSingleton();
    static void DeleteSingleton();
    static CMwCmdBufferCore* GetSingleton();

    // The 33 first buffers with one bucket each, the 18 second ones with the bucket count of their
    // period pair, and the timed buffer; then the simulation clock stands still (speed 0).
    // Buffers are created once: a second call is refused with a log line.
    void CreateBuffers();
    // The buffer of an index (0-32, 128-145); null for any other index or before CreateBuffers.
    CMwCmdBuffer* GetBuffer(u32 index) const;
    CMwCmdBuffer* GetTimedBuffer() const { return m_TimedBuffer; }

    // Long operations: Enter(1) at their start, Tick(1) inside their loops, Leave at their end.
    void Enter(u32 n);
    void Leave();
    // Enter(n) then Leave on the singleton, if any: one chance to run the timed buffer.
    static void Poll(u32 n);
    // Runs the timed buffer, at most once per 10 ms of counter time, on every n-th call inside
    // an entered stretch of an enabled core, never inside itself.
    void Tick(u32 n);
    // An enabled core holds one entry of its own. Nothing in the engine enables the core: a host
    // program's frame loop would.
    void Enable();
    void Disable();

    // Copies seven pairs; null gives the defaults.
    void SetPeriodPairs(const SPeriodPair* pairs);
    // The game clock when one is attached, else the simulation clock.
    MwScaledClock* GetGameClock() { return m_GameClock ? m_GameClock : &m_SimulationClock; }

    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;

    // Attached from outside by a host program; nothing in the engine sets it.
    MwScaledClock* m_GameClock = nullptr;
    CFastArray<CMwCmdBuffer*> m_Buffers;
    CFastArray<CMwCmdBuffer*> m_SecondBuffers;
    CMwCmdBuffer* m_TimedBuffer = nullptr;
    u32 m_IsEnabled = 0;
    f32 m_PeriodEstimated = 20.0f;
    f32 m_PeriodSmoothing = 0.6f;
    f32 m_DeltaSmoothed = 0.0f;
    f32 m_DeltaSmoothing = 0.25f;
    // Counter value of the timed buffer's last run.
    i64 m_LastTimedRun = 0;
    i32 m_EnteredCount = 0;
    u32 m_TickCount = 0;
    // Set while the timed buffer runs.
    u32 m_IsRunning = 0;
    MwClock m_ComputerClock;
    MwScaledClock m_SimulationClock;
    SPeriodPair m_PeriodPairs[s_PeriodPairCount] = {};

private:
    // The run of the timed buffer under way in Tick, if any; it lives on Tick's stack.
    struct STimedRun;
    STimedRun* m_TimedRun = nullptr;
};

// Enters the singleton core for the object's lifetime, so that a long operation leaves it even
// when an exception ends the operation. Nothing happens without a core.
class CMwCmdBufferCoreEntry {
public:
    explicit CMwCmdBufferCoreEntry(u32 n = 1) : m_Core(CMwCmdBufferCore::GetSingleton()) {
        if (m_Core)
            m_Core->Enter(n);
    }
    ~CMwCmdBufferCoreEntry() {
        if (m_Core && CMwCmdBufferCore::GetSingleton() == m_Core)
            m_Core->Leave();
    }
    CMwCmdBufferCoreEntry(const CMwCmdBufferCoreEntry&) = delete;
    CMwCmdBufferCoreEntry& operator=(const CMwCmdBufferCoreEntry&) = delete;

private:
    CMwCmdBufferCore* m_Core;
};
