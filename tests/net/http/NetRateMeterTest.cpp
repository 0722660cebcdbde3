// The rate meter: its ring grows in age order, drops samples by unsigned time, and its total
// follows the samples present; samples carry the Net engine's clock.
#include "net/http/NetRateMeter.h"

#include "tests/support/http/FakeHttpTransport.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

std::vector<u32> Bytes(const NetRateMeter& meter) {
    std::vector<u32> bytes;
    for (u32 k = 0; k < meter.GetCount(); ++k)
        bytes.push_back(meter.GetSample(k).m_Bytes);
    return bytes;
}

TEST(NetRateMeter, GrowsInAgeOrder) {
    FakeClock clock(1000);
    NetRateMeter empty(0);
    EXPECT_EQ(empty.AddSample(7), 7u);
    EXPECT_EQ(empty.GetCapacity(), 2u);

    // A full ring of 50 whose oldest sample is not at the start doubles with the oldest first.
    NetRateMeter meter(50);
    for (u32 i = 0; i < 30; ++i)
        meter.AddSample(i);
    meter.DropOlderThan(1000); // all were taken at 1000: none is older
    EXPECT_EQ(meter.GetCount(), 30u);
    clock.Advance(5);
    meter.DropOlderThan(1001); // every sample goes; the oldest position is now 30
    EXPECT_EQ(meter.GetCount(), 0u);
    EXPECT_EQ(meter.GetTotal(), 0u);
    for (u32 i = 0; i < 50; ++i)
        meter.AddSample(100 + i);
    EXPECT_EQ(meter.GetCapacity(), 50u);
    meter.AddSample(150);
    EXPECT_EQ(meter.GetCapacity(), 100u);
    std::vector<u32> expected;
    for (u32 i = 0; i <= 50; ++i)
        expected.push_back(100 + i);
    EXPECT_EQ(Bytes(meter), expected);
    EXPECT_EQ(meter.GetTotal(), 51u * 100 + 50 * 51 / 2);
    EXPECT_EQ(meter.GetSample(0).m_TimeMs, 1005u);
}

TEST(NetRateMeter, DropsBelowTheLimit) {
    FakeClock clock(0);
    NetRateMeter meter(4);
    for (u32 t : {10u, 20u, 30u, 40u, 50u}) { // the fifth sample grows the ring
        clock.SetMs(t);
        meter.AddSample(t);
    }
    struct Case {
        u32 Limit;
        std::vector<u32> Left;
    };
    const Case cases[] = {
        {0, {10, 20, 30, 40, 50}},  // below every sample
        {10, {10, 20, 30, 40, 50}}, // not below the oldest
        {31, {40, 50}},             // in between
        {31, {40, 50}},             // again: nothing more
        {1000, {}},                 // above all
    };
    for (const Case& c : cases) {
        meter.DropOlderThan(c.Limit);
        EXPECT_EQ(Bytes(meter), c.Left) << c.Limit;
        u32 total = 0;
        for (u32 b : c.Left)
            total += b;
        EXPECT_EQ(meter.GetTotal(), total) << c.Limit;
    }
    // The ring goes on after being emptied, its positions wherever they were.
    clock.SetMs(60);
    meter.AddSample(5);
    EXPECT_EQ(Bytes(meter), std::vector<u32>{5});
}

} // namespace
