#include "core/IntervalTimer.h"

#include "support/FakeTickSource.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(IntervalTimer, FreshTimerIsAlreadyExpired)
{
    FakeTickSource clock(123456);
    CIntervalTimer timer;
    EXPECT_TRUE(timer.Expired());
}

struct TimerCase {
    const char* name;
    uint32_t startTick;
    uint32_t interval;
    uint32_t advance;
    bool expired;
};

class IntervalTimerCases : public ::testing::TestWithParam<TimerCase> {};

TEST_P(IntervalTimerCases, ExpiresAfterTheFullInterval)
{
    const TimerCase& c = GetParam();
    FakeTickSource clock(c.startTick);
    CIntervalTimer timer;
    timer.Start(c.interval);
    clock.Advance(c.advance);
    EXPECT_EQ(timer.Expired(), c.expired) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Ticks, IntervalTimerCases,
    ::testing::Values(TimerCase{"zero interval", 5000, 0, 0, true}, TimerCase{"one short", 5000, 20000, 19999, false},
                      TimerCase{"exactly the interval", 5000, 20000, 20000, true},
                      TimerCase{"well past", 5000, 20000, 60000, true},
                      // started 100 ms before the 32-bit counter wraps
                      TimerCase{"just across the wrap", UINT32_MAX - 99, 300000, 101, false},
                      TimerCase{"one short across the wrap", UINT32_MAX - 99, 300000, 299999, false},
                      TimerCase{"full interval across the wrap", UINT32_MAX - 99, 300000, 300000, true},
                      TimerCase{"started at the last tick", UINT32_MAX, 1000, 1000, true}),
    [](const ::testing::TestParamInfo<TimerCase>& info) {
        std::string name = info.param.name;
        for (char& ch : name)
            if (ch == ' ')
                ch = '_';
        return name;
    });

TEST(IntervalTimer, RestartMeasuresFromTheNewStart)
{
    FakeTickSource clock(1000);
    CIntervalTimer timer;
    timer.Start(500);
    clock.Advance(400);
    timer.Start(500);
    clock.Advance(400);
    EXPECT_FALSE(timer.Expired());
    EXPECT_EQ(timer.Elapsed(), 400u);
    clock.Advance(100);
    EXPECT_TRUE(timer.Expired());
}

}  // namespace
