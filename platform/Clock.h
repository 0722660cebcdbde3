#pragma once
// Time services: a monotonic counter, the wall clock and the system timer's period. Each can be
// replaced by a fake, so that code built on them is tested without waiting on real time.
#include "platform/Types.h"

namespace platform {

// The monotonic counter in ticks (CLOCK_MONOTONIC, in nanoseconds), or the fake's answer.
i64 CounterNow();
// Counter ticks per second: always 1e9.
i64 CounterFrequency();

// Replaces the counter; null puts the monotonic clock back. Returns the counter replaced (null
// for the monotonic clock).
using CounterSource = i64 (*)();
CounterSource SetCounterSource(CounterSource source);

// Sleeps for ms milliseconds of real time (resumed when a signal interrupts it), or hands the
// wait to the fake.
void SleepMs(u32 ms);

// Replaces the sleep; null puts the real one back. Returns the one replaced (null for the real
// one). A fake may move a fake counter instead of waiting.
using Sleeper = void (*)(u32 ms);
Sleeper SetSleeper(Sleeper sleeper);

// Wall-clock time in nanoseconds since 1970-01-01 00:00 UTC (CLOCK_REALTIME), or the fake's
// answer.
i64 WallClockNow();

// Replaces the wall clock; null puts the system's back. Returns the source replaced (null for the
// system's).
using WallClockSource = i64 (*)();
WallClockSource SetWallClockSource(WallClockSource source);

// A time in calendar fields.
struct CivilTime {
    i32 Year;
    u32 Month;     // 1-12
    u32 DayOfWeek; // 0-6, 0 = Sunday
    u32 Day;       // 1-31
    u32 Hour;
    u32 Minute;
    u32 Second; // 60 for a leap second in time zones that count them
    u32 Millisecond;
};

// Breaks a wall-clock time down in UTC, or in the local time zone (the C library's rules: the TZ
// variable, else the system's zone). False when the year does not fit.
bool ToCivilTime(i64 wallClockNs, bool local, CivilTime& out);

// The periods, in milliseconds, the system timer can run at.
struct TimerCaps {
    u32 MinPeriod;
    u32 MaxPeriod;
};

// The system timer's capabilities and period requests. This system's timer always runs at the
// finest period, so its answers are {1, 1000000} and success.
struct TimerService {
    bool (*GetCaps)(TimerCaps* caps);
    bool (*BeginPeriod)(u32 period);
    bool (*EndPeriod)(u32 period);
};

bool TimerGetCaps(TimerCaps* caps);
bool TimerBeginPeriod(u32 period);
bool TimerEndPeriod(u32 period);

// Replaces the timer service; null puts the system's back. Returns the service replaced (null
// for the system's).
const TimerService* SetTimerService(const TimerService* service);

} // namespace platform
