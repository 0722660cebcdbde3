#include "platform/Clock.h"

#include <cerrno>
#include <ctime>

namespace platform {

namespace {

constinit CounterSource s_CounterSource = nullptr;
constinit WallClockSource s_WallClockSource = nullptr;
constinit const TimerService* s_TimerService = nullptr;
constinit Sleeper s_Sleeper = nullptr;

} // namespace

i64 CounterNow() {
    if (s_CounterSource)
        return s_CounterSource();
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return i64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

i64 CounterFrequency() {
    return 1000000000;
}

CounterSource SetCounterSource(CounterSource source) {
    const CounterSource old = s_CounterSource;
    s_CounterSource = source;
    return old;
}

void SleepMs(u32 ms) {
    if (s_Sleeper) {
        s_Sleeper(ms);
        return;
    }
    timespec left{};
    left.tv_sec = time_t(ms / 1000);
    left.tv_nsec = long(ms % 1000) * 1000000;
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

Sleeper SetSleeper(Sleeper sleeper) {
    const Sleeper old = s_Sleeper;
    s_Sleeper = sleeper;
    return old;
}

i64 WallClockNow() {
    if (s_WallClockSource)
        return s_WallClockSource();
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return i64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

WallClockSource SetWallClockSource(WallClockSource source) {
    const WallClockSource old = s_WallClockSource;
    s_WallClockSource = source;
    return old;
}

bool ToCivilTime(i64 wallClockNs, bool local, CivilTime& out) {
    // Floor division, so that times before 1970 keep a millisecond part in 0..999.
    i64 seconds = wallClockNs / 1000000000;
    i64 nanoseconds = wallClockNs % 1000000000;
    if (nanoseconds < 0) {
        nanoseconds += 1000000000;
        --seconds;
    }
    const time_t t = time_t(seconds);
    tm fields{};
    if (!(local ? localtime_r(&t, &fields) : gmtime_r(&t, &fields)))
        return false;
    out.Year = fields.tm_year + 1900;
    out.Month = u32(fields.tm_mon + 1);
    out.DayOfWeek = u32(fields.tm_wday);
    out.Day = u32(fields.tm_mday);
    out.Hour = u32(fields.tm_hour);
    out.Minute = u32(fields.tm_min);
    out.Second = u32(fields.tm_sec);
    out.Millisecond = u32(nanoseconds / 1000000);
    return true;
}

bool TimerGetCaps(TimerCaps* caps) {
    if (s_TimerService)
        return s_TimerService->GetCaps(caps);
    caps->MinPeriod = 1;
    caps->MaxPeriod = 1000000;
    return true;
}

bool TimerBeginPeriod(u32 period) {
    return s_TimerService ? s_TimerService->BeginPeriod(period) : true;
}

bool TimerEndPeriod(u32 period) {
    return s_TimerService ? s_TimerService->EndPeriod(period) : true;
}

const TimerService* SetTimerService(const TimerService* service) {
    const TimerService* old = s_TimerService;
    s_TimerService = service;
    return old;
}

} // namespace platform
