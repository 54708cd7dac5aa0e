#include "core/Handler.h"

#include "core/HandlerMsg.h"
#include "core/TickSource.h"
#include "support/FakeTickSource.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

using namespace std::chrono_literals;

// The owner's side: collects what the worker posts.
struct Inbox : CMsgReceiver {
    void ReceiveMsg(std::unique_ptr<CMsg> msg) override { queue.Add(std::move(msg)); }
    CThreadQueue queue;
};

// A worker that follows the thread pattern: initialise, report, loop over its
// queue (echoing messages to its owner), clean up, report. Its behaviour is
// steered by the test through the atomics.
class TestHandler : public CHandler {
public:
    ~TestHandler() override { EndThread(); }

    std::atomic<int> runs{0};
    std::atomic<bool> failInit{false};
    std::atomic<bool> holdBeforeReport{false};  // initialisation takes "forever"
    std::atomic<bool> holdInLoop{false};        // a long device wait in the loop
    std::atomic<bool> throwInLoop{false};
    std::atomic<bool> reported{false};
    std::atomic<bool> holding{false};
    std::atomic<int> finished{0};  // threads that reported their stop

protected:
    void ThreadMain() override
    {
        ++runs;
        while (holdBeforeReport.load())
            std::this_thread::sleep_for(1ms);
        if (failInit.load()) {
            SetRun(0);
            SetStatus(HNDRET_START_FAILED);
            return;
        }
        SetStatus(HNDRET_STARTED);
        reported = true;
        while (IsRunning() == 1) {
            if (throwInLoop.load())
                throw std::runtime_error("device vanished");
            while (holdInLoop.load()) {
                holding = true;
                std::this_thread::sleep_for(1ms);
            }
            if (std::unique_ptr<CMsg> msg = GetMsg())
                PostMsg(GetOwner(), std::move(msg));
            std::this_thread::sleep_for(1ms);
        }
        SetStatus(HNDRET_STOPPED);
        ++finished;
    }
};

TEST(Handler, StartsStopsAndStartsAgain)
{
    TestHandler handler;
    EXPECT_EQ(handler.IsRunning(), 0);
    EXPECT_EQ(handler.Start(), HNDRET_STARTED);
    EXPECT_EQ(handler.IsRunning(), 1);
    EXPECT_EQ(handler.Stop(), HNDRET_STOPPED);
    EXPECT_EQ(handler.IsRunning(), 0);

    EXPECT_EQ(handler.Start(), HNDRET_STARTED);
    EXPECT_EQ(handler.Stop(), HNDRET_STOPPED);
    EXPECT_EQ(handler.runs.load(), 2);
}

TEST(Handler, StartOnARunningHandlerCreatesNoSecondThread)
{
    TestHandler handler;
    ASSERT_EQ(handler.Start(), HNDRET_STARTED);
    EXPECT_EQ(handler.Start(), HNDRET_ALREADY_RUNNING);
    EXPECT_EQ(handler.runs.load(), 1);
    EXPECT_EQ(handler.Stop(), HNDRET_STOPPED);
}

TEST(Handler, StopOnAHandlerThatIsNotRunningChangesNothing)
{
    TestHandler handler;
    EXPECT_EQ(handler.Stop(), HNDRET_NOT_RUNNING);
    EXPECT_EQ(handler.IsRunning(), 0);
    EXPECT_EQ(handler.TakeStatus(), HNDRET_OK);
    EXPECT_EQ(handler.runs.load(), 0);
}

TEST(Handler, FailedInitialisationReportsAndLeavesTheHandlerStartable)
{
    TestHandler handler;
    handler.failInit = true;
    EXPECT_EQ(handler.Start(), HNDRET_START_FAILED);
    EXPECT_EQ(handler.IsRunning(), 0);

    handler.failInit = false;
    EXPECT_EQ(handler.Start(), HNDRET_STARTED);
    EXPECT_EQ(handler.Stop(), HNDRET_STOPPED);
}

TEST(Handler, LateStartReportTimesOutAndIsKeptForTheNextWait)
{
    TestHandler handler;
    handler.holdBeforeReport = true;
    {
        FakeTickSource clock;
        EXPECT_EQ(handler.Start(), HNDRET_TIMEOUT);
        EXPECT_GE(clock.GetTickCount(), CHandler::kHandshakeTimeoutMs);
    }
    EXPECT_EQ(handler.Start(), HNDRET_ALREADY_RUNNING);

    handler.holdBeforeReport = false;
    ASSERT_TRUE(WaitFor([&] { return handler.reported.load(); }));
    EXPECT_EQ(handler.WaitStatus(), HNDRET_STARTED);
    EXPECT_EQ(handler.Stop(), HNDRET_STOPPED);
}

TEST(Handler, LateStopReportTimesOutAndIsKeptForTheNextWait)
{
    TestHandler handler;
    ASSERT_EQ(handler.Start(), HNDRET_STARTED);
    handler.holdInLoop = true;
    ASSERT_TRUE(WaitFor([&] { return handler.holding.load(); }));
    {
        FakeTickSource clock;
        EXPECT_EQ(handler.Stop(), HNDRET_TIMEOUT);
    }
    handler.holdInLoop = false;
    EXPECT_EQ(handler.WaitStatus(), HNDRET_STOPPED);
}

// A thread that reported only after its Start or Stop had timed out leaves
// that report in the status word. The next Start must answer for its own
// thread, not hand out the stale report while the new thread runs.
struct LateReportCase {
    const char* name;
    bool lateStart;  // the start report came late (else the stop report)
};

TEST(Handler, StartAfterATimedOutHandshakeReportsTheNewThread)
{
    for (const LateReportCase c :
         {LateReportCase{"late stop report", false}, LateReportCase{"late start report", true}}) {
        TestHandler handler;
        if (c.lateStart) {
            handler.holdBeforeReport = true;
            FakeTickSource clock;
            ASSERT_EQ(handler.Start(), HNDRET_TIMEOUT) << c.name;
            ASSERT_EQ(handler.Stop(), HNDRET_TIMEOUT) << c.name;  // still initialising
            handler.holdBeforeReport = false;
        } else {
            ASSERT_EQ(handler.Start(), HNDRET_STARTED) << c.name;
            handler.holdInLoop = true;
            ASSERT_TRUE(WaitFor([&] { return handler.holding.load(); })) << c.name;
            {
                FakeTickSource clock;
                ASSERT_EQ(handler.Stop(), HNDRET_TIMEOUT) << c.name;
            }
            handler.holdInLoop = false;
        }
        // The old thread ends and reports into the status word; nobody takes it.
        ASSERT_TRUE(WaitFor([&] { return handler.finished.load() == 1; })) << c.name;

        handler.holding = false;
        handler.holdInLoop = true;  // the new thread stays in its loop
        EXPECT_EQ(handler.Start(), HNDRET_STARTED) << c.name;
        EXPECT_EQ(handler.runs.load(), 2) << c.name;
        EXPECT_EQ(handler.IsRunning(), 1) << c.name;
        ASSERT_TRUE(WaitFor([&] { return handler.holding.load(); })) << c.name;
        handler.holdInLoop = false;
        EXPECT_EQ(handler.Stop(), HNDRET_STOPPED) << c.name;
    }
}

TEST(Handler, StatusWordHoldsOneReportAndTakingEmptiesIt)
{
    TestHandler handler;
    handler.SetStatus(HNDRET_STARTED);
    handler.SetStatus(HNDRET_STOPPED);  // overwrites the first
    EXPECT_EQ(handler.TakeStatus(), HNDRET_STOPPED);
    EXPECT_EQ(handler.TakeStatus(), HNDRET_OK);
}

TEST(Handler, MessagesPassThroughInOrderAndLeftoversAreDeleted)
{
    Inbox owner;
    TestHandler handler;
    handler.SetOwner(&owner);
    ASSERT_EQ(handler.Start(), HNDRET_STARTED);
    for (uint16_t i = 1; i <= 50; ++i) {
        auto msg = std::make_unique<CHandlerMsg>(43);
        msg->code = static_cast<int16_t>(i);
        CHandler::PostMsg(&handler, std::move(msg));
    }
    ASSERT_TRUE(WaitFor([&] { return owner.queue.GetCount() == 50; }));
    for (int16_t i = 1; i <= 50; ++i) {
        auto msg = owner.queue.Get();
        ASSERT_NE(msg, nullptr);
        EXPECT_EQ(static_cast<CHandlerMsg*>(msg.get())->code, i);
    }
    EXPECT_EQ(handler.Stop(), HNDRET_STOPPED);

    // Messages that arrive after the stop stay queued and go with the handler.
    CHandler::PostMsg(&handler, std::make_unique<CMsg>(1));
    CHandler::PostMsg(nullptr, std::make_unique<CMsg>(1));  // no receiver: deleted
}

TEST(Handler, AnExceptionInTheWorkerStopsOnlyThatWorker)
{
    TestHandler handler;
    ASSERT_EQ(handler.Start(), HNDRET_STARTED);
    handler.throwInLoop = true;
    EXPECT_EQ(handler.WaitStatus(), HNDRET_STOP_FAILED);
    EXPECT_EQ(handler.IsRunning(), 0);

    handler.throwInLoop = false;
    EXPECT_EQ(handler.Start(), HNDRET_STARTED);
    EXPECT_EQ(handler.Stop(), HNDRET_STOPPED);
}

TEST(Handler, DestroyingARunningHandlerEndsItsThread)
{
    auto handler = std::make_unique<TestHandler>();
    ASSERT_EQ(handler->Start(), HNDRET_STARTED);
    handler.reset();  // must not leave a thread running on freed memory
    SUCCEED();
}

}  // namespace
