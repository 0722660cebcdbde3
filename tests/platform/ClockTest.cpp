#include "platform/Clock.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

i64 FakeCounter() {
    return 42;
}

TEST(Clock, MonotonicCounterAndItsReplacement) {
    EXPECT_EQ(platform::CounterFrequency(), 1000000000);
    i64 last = platform::CounterNow();
    EXPECT_GT(last, 0);
    for (int i = 0; i < 1000; ++i) {
        const i64 now = platform::CounterNow();
        ASSERT_GE(now, last);
        last = now;
    }

    EXPECT_EQ(platform::SetCounterSource(&FakeCounter), nullptr);
    EXPECT_EQ(platform::CounterNow(), 42);
    EXPECT_EQ(platform::SetCounterSource(nullptr), &FakeCounter);
    EXPECT_GE(platform::CounterNow(), last);
}

std::vector<u32> s_Sleeps;
void FakeSleep(u32 ms) {
    s_Sleeps.push_back(ms);
}

// The real sleep waits at least as long as asked; the fake takes the wait instead.
TEST(Clock, SleepAndItsReplacement) {
    const i64 before = platform::CounterNow();
    platform::SleepMs(20);
    EXPECT_GE(platform::CounterNow() - before, 20 * i64(1000000));

    EXPECT_EQ(platform::SetSleeper(&FakeSleep), nullptr);
    platform::SleepMs(5000);
    platform::SleepMs(0);
    EXPECT_EQ(s_Sleeps, (std::vector<u32>{5000, 0}));
    EXPECT_EQ(platform::SetSleeper(nullptr), &FakeSleep);
    const i64 after = platform::CounterNow();
    platform::SleepMs(1);
    EXPECT_EQ(s_Sleeps.size(), 2u);
    EXPECT_GE(platform::CounterNow() - after, i64(1000000));
}

// Records the period requests and answers the capabilities it was given.
struct CFakeTimer {
    static inline std::vector<int> s_Calls; // +period for a begin, -period for an end

    static bool GetCaps(platform::TimerCaps* caps) {
        caps->MinPeriod = 6;
        caps->MaxPeriod = 99;
        return true;
    }
    static bool Begin(u32 period) {
        s_Calls.push_back(int(period));
        return false;
    }
    static bool End(u32 period) {
        s_Calls.push_back(-int(period));
        return true;
    }
};

TEST(Clock, TimerServiceAndItsReplacement) {
    platform::TimerCaps caps{};
    ASSERT_TRUE(platform::TimerGetCaps(&caps));
    EXPECT_EQ(caps.MinPeriod, 1u);
    EXPECT_EQ(caps.MaxPeriod, 1000000u);
    EXPECT_TRUE(platform::TimerBeginPeriod(1));
    EXPECT_TRUE(platform::TimerEndPeriod(1));

    static const platform::TimerService fake = {&CFakeTimer::GetCaps, &CFakeTimer::Begin,
                                                &CFakeTimer::End};
    EXPECT_EQ(platform::SetTimerService(&fake), nullptr);
    EXPECT_TRUE(platform::TimerGetCaps(&caps));
    EXPECT_EQ(caps.MinPeriod, 6u);
    EXPECT_FALSE(platform::TimerBeginPeriod(6));
    EXPECT_TRUE(platform::TimerEndPeriod(6));
    EXPECT_EQ(CFakeTimer::s_Calls, (std::vector<int>{6, -6}));
    EXPECT_EQ(platform::SetTimerService(nullptr), &fake);
    EXPECT_TRUE(platform::TimerBeginPeriod(3));
    EXPECT_EQ(CFakeTimer::s_Calls.size(), 2u);
}

} // namespace
