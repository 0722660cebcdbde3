#include "platform/Clock.h"

#include <ctime>

namespace platform {

namespace {

constinit CounterSource s_CounterSource = nullptr;
constinit const TimerService* s_TimerService = nullptr;

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
