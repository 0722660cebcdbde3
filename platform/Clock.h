#pragma once
// Time services: a monotonic counter and the system timer's period. Both can be replaced by
// fakes, so that code built on them is tested without waiting on real time.
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
