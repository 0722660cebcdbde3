// Work run on a stack of its own: deeper than the caller's stack could hold, finished before the
// call returns.
#include "platform/Stack.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

// Descends `levels` times with a kilobyte-sized frame each time; the sum proves every frame ran.
unsigned Descend(unsigned levels) {
    volatile unsigned char frame[1024];
    frame[levels % sizeof frame] = static_cast<unsigned char>(levels);
    if (levels == 0)
        return 0;
    return Descend(levels - 1) + frame[levels % sizeof frame];
}

struct SDeep {
    unsigned Levels;
    unsigned Sum = 0;
};

TEST(Stack, RunsDeepWorkOnAStackOfItsOwnAndWaitsForIt) {
    // Four times the caller's stack limit, in 1 KB frames (and more room than that).
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_STACK, &limit), 0);
    const size_t callerStack = limit.rlim_cur == RLIM_INFINITY ? size_t(8) << 20 : limit.rlim_cur;
    SDeep deep{unsigned(callerStack * 4 / 1024)};
    ASSERT_TRUE(platform::RunWithStack(
        callerStack * 8,
        [](void* argument) {
            auto& work = *static_cast<SDeep*>(argument);
            work.Sum = Descend(work.Levels);
        },
        &deep));
    unsigned expected = 0;
    for (unsigned i = 1; i <= deep.Levels; ++i)
        expected += i & 0xFF;
    EXPECT_EQ(deep.Sum, expected);

    // A stack no thread can have: nothing runs.
    bool ran = false;
    EXPECT_FALSE(platform::RunWithStack(
        ~size_t(0) / 2, [](void* argument) { *static_cast<bool*>(argument) = true; }, &ran));
    EXPECT_FALSE(ran);
}

} // namespace
