#include "core/PassPacer.h"

#include "core/Handler.h"
#include "core/IntervalTimer.h"
#include "core/TickSource.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A clock that stands still unless told, and remembers the last wait asked of
// it (returning at once, as if the time had come).
class RecordingClock : public CTickSource {
public:
    RecordingClock() { SetTickSource(this); }
    ~RecordingClock() override { SetTickSource(nullptr); }
    RecordingClock(const RecordingClock&) = delete;
    RecordingClock& operator=(const RecordingClock&) = delete;

    uint32_t GetTickCount() override { return now.load(); }
    void Sleep(uint32_t) override { std::this_thread::yield(); }
    void WaitReady(pollfd* fds, unsigned count, uint32_t ms) override
    {
        ::poll(fds, count, 0);
        lastWait = ms;
        std::this_thread::yield();
    }

    std::atomic<uint32_t> now{5000};
    std::atomic<uint32_t> lastWait{UINT32_MAX};
};

// What one pass noted, and the wait the pacer asks for after it.
TEST(PassPacer, TheWaitIsTheNearestTimeOutOrAMillisecondAfterActivity)
{
    struct Case {
        const char* name;
        bool activity;
        uint32_t sinceActivityMs;
        std::vector<uint32_t> deadlines;
        uint32_t wait;
    };
    const Case cases[] = {
        {"nothing noted: the idle bound", false, 0, {}, CPassPacer::kIdleWaitMs},
        {"the nearest of the time-outs", false, 0, {70, 20, 90}, 20},
        {"a time-out beyond the idle bound", false, 0, {20000}, CPassPacer::kIdleWaitMs},
        {"a time-out due now", false, 0, {0}, 0},
        {"just after activity", true, 0, {}, 1},
        {"still inside the busy window", true, CPassPacer::kBusyWindowMs - 1, {50}, 1},
        {"the busy window is over", true, CPassPacer::kBusyWindowMs, {50}, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingClock clock;
        CPassPacer pacer;
        if (c.activity)
            pacer.NoteActivity();
        clock.now += c.sinceActivityMs;
        for (uint32_t d : c.deadlines)
            pacer.NoteDeadline(d);
        EXPECT_EQ(pacer.TakeWaitMs(), c.wait);
        // Each pass collects afresh.
        clock.now += CPassPacer::kBusyWindowMs;
        EXPECT_EQ(pacer.TakeWaitMs(), CPassPacer::kIdleWaitMs);
    }
}

TEST(PassPacer, TimersTellTheirThreadWhenTheyFallDue)
{
    RecordingClock clock;
    // A thread of its own: its pacer has seen nothing yet.
    std::thread worker([&] {
        CPassPacer& pacer = ThisThreadPacer();
        EXPECT_EQ(pacer.TakeWaitMs(), CPassPacer::kIdleWaitMs);
        CIntervalTimer timer;
        timer.Start(300);  // starting a timer is activity
        EXPECT_EQ(pacer.TakeWaitMs(), 1u);
        clock.now += CPassPacer::kBusyWindowMs;
        EXPECT_FALSE(timer.Expired());  // still beyond the idle bound
        EXPECT_EQ(pacer.TakeWaitMs(), CPassPacer::kIdleWaitMs);
        clock.now += 300 - 30 - CPassPacer::kBusyWindowMs;
        EXPECT_FALSE(timer.Expired());
        EXPECT_EQ(pacer.TakeWaitMs(), 30u);
        clock.now += 30;
        EXPECT_TRUE(timer.Expired());  // running out is activity, once
        EXPECT_EQ(pacer.TakeWaitMs(), 1u);
        clock.now += CPassPacer::kBusyWindowMs;
        EXPECT_TRUE(timer.Expired());
        EXPECT_EQ(pacer.TakeWaitMs(), CPassPacer::kIdleWaitMs);
    });
    worker.join();
}

// A worker that waits between passes and keeps a 250 ms timer running.
class PacedHandler : public CHandler {
public:
    ~PacedHandler() override { EndThread(); }
    std::atomic<int> taken{0};

protected:
    void ThreadMain() override
    {
        SetStatus(HNDRET_STARTED);
        CIntervalTimer timer;
        while (IsRunning() == 1) {
            WaitForWork();
            if (GetMsg())
                ++taken;
            if (timer.Expired())
                timer.Start(250);
        }
        SetStatus(HNDRET_STOPPED);
    }
};

TEST(PassPacer, AWorkerSleepsUntilItsTimeOutAndLooksAtOnceWhenAMessageIsQueued)
{
    RecordingClock clock;
    PacedHandler handler;
    ASSERT_EQ(handler.Start(), HNDRET_STARTED);
    // Right after the start of its timer the worker passes every millisecond.
    ASSERT_TRUE(WaitFor([&] { return clock.lastWait.load() == 1; }));
    // Once the busy window is over it asks to sleep for the idle bound: the
    // timer is further away than that.
    clock.now += CPassPacer::kBusyWindowMs;
    ASSERT_TRUE(WaitFor([&] { return clock.lastWait.load() == CPassPacer::kIdleWaitMs; }));
    clock.now += 250 - 50 - CPassPacer::kBusyWindowMs;  // 50 ms left on the timer
    ASSERT_TRUE(WaitFor([&] { return clock.lastWait.load() == 50; }));

    handler.ReceiveMsg(std::make_unique<CMsg>(1));
    ASSERT_TRUE(WaitFor([&] { return handler.taken.load() == 1; }));
    EXPECT_EQ(handler.Stop(), HNDRET_STOPPED);
}

// On the real clock: a worker asleep for its idle bound takes a message and
// ends at once; the message is taken whatever the bound.
TEST(PassPacer, ASleepingWorkerIsWokenByAMessageAndByItsStop)
{
    PacedHandler handler;
    ASSERT_EQ(handler.Start(), HNDRET_STARTED);
    std::this_thread::sleep_for(20ms);
    for (int i = 0; i < 3; ++i)
        handler.ReceiveMsg(std::make_unique<CMsg>(1));
    ASSERT_TRUE(WaitFor([&] { return handler.taken.load() == 3; }));
    EXPECT_EQ(handler.Stop(), HNDRET_STOPPED);
}

}  // namespace
