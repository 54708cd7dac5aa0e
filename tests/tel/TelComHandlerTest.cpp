// The modem link thread against a scripted modem on a pseudo-terminal, on a
// clock that keeps the exchanges at their real pace (a few hundred
// milliseconds per test) but lets the two-second back-off pass at once.

#include "tel/TelComHandler.h"

#include "FakeModem.h"
#include "core/ThreadPriority.h"
#include "support/Pty.h"
#include "support/TempDir.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using fakemodem::BadChecksumFrame;
using fakemodem::FakeModem;
using fakemodem::Frame;
using fakemodem::Reply;
using fakemodem::StationFrame;
using Bytes = std::vector<uint8_t>;
using Frames = std::vector<StationFrame>;

namespace {

const Bytes kPoll = {0x81, 0x01, 0x00, 0x7F};
const Bytes kAckPoll = {0x81, 0x01, 0x80, 0xFF};

// Time moves only when a thread sleeps, as on the fake clock, and a short
// sleep also takes its real time. So the link thread's 180 ms time-out lasts
// at least 180 ms of real time, and longer when the machine is loaded and the
// thread gets the processor less often: an answer of the scripted modem is
// never late merely because the test machine is busy. Sleeps of 50 ms and
// more (the back-off after an abandoned exchange) only move the clock, unless
// realBackOff is set.
class LinkTestClock : public CTickSource {
public:
    LinkTestClock() { SetTickSource(this); }
    ~LinkTestClock() override { SetTickSource(nullptr); }

    uint32_t GetTickCount() override { return now.load(); }
    void Sleep(uint32_t ms) override
    {
        if (ms < 50 || realBackOff)
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        else
            std::this_thread::yield();
        now += ms;
    }

    std::atomic<bool> realBackOff{false};

private:
    std::atomic<uint32_t> now{5000};
};

// What the link thread posted to its owner.
struct Posted {
    uint16_t type = 0;
    uint8_t command = 0;
    uint8_t status = 0;
    int16_t length = 0;
    int16_t value = 0;
    std::string text;
    Bytes payload;  // `length` payload bytes
};

class Owner : public CMsgReceiver {
public:
    void ReceiveMsg(std::unique_ptr<CMsg> msg) override
    {
        Posted p;
        p.type = msg->GetType();
        if (auto* com = dynamic_cast<CComMsg*>(msg.get())) {
            p.command = com->GetCommand();
            p.status = com->GetStatusByte();
            p.length = com->GetLength();
            p.value = com->value;
            p.text = com->text;
            for (int i = 0; i < std::clamp<int>(p.length, 0, CComMsg::kMaxPayload); ++i)
                p.payload.push_back(com->GetPayload(i));
        }
        {
            std::lock_guard<std::mutex> guard(lock);
            posted.push_back(std::move(p));
        }
        changed.notify_all();
    }

    std::vector<Posted> All() const
    {
        std::lock_guard<std::mutex> guard(lock);
        return posted;
    }
    std::vector<Posted> OfType(uint16_t type) const
    {
        std::vector<Posted> found;
        for (const Posted& p : All())
            if (p.type == type)
                found.push_back(p);
        return found;
    }
    bool WaitFor(uint16_t type, std::size_t count = 1, std::chrono::milliseconds limit = 10s)
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, limit, [&] {
            return static_cast<std::size_t>(std::count_if(posted.begin(), posted.end(),
                                                          [&](const Posted& p) { return p.type == type; })) >= count;
        });
    }

private:
    mutable std::mutex lock;
    std::condition_variable changed;
    std::vector<Posted> posted;
};

// A modem answer: command 0x81 with the given body (status byte first).
Reply Answer(const Bytes& body)
{
    return Reply{Frame(0x81, body), false};
}

// Answers polls with `status` and every other command with `status` plus TXACK.
fakemodem::Script Acknowledging(uint8_t status)
{
    return [status](const StationFrame& f, std::size_t) {
        return Answer({static_cast<uint8_t>(f.command == 0x81 ? status : status | STATUS_TXACK)});
    };
}

std::vector<uint8_t> Commands(const Frames& frames)
{
    std::vector<uint8_t> commands;
    for (const StationFrame& f : frames)
        commands.push_back(f.command);
    return commands;
}

std::size_t CountCommand(const Frames& frames, uint8_t command)
{
    return static_cast<std::size_t>(
        std::count_if(frames.begin(), frames.end(), [&](const StationFrame& f) { return f.command == command; }));
}

// One link thread on COM1 with its modem and owner; the thread ends first.
struct LinkRig {
    explicit LinkRig(const fs::path& comDir) : entry(comDir / "COM1")
    {
        fs::create_symlink(pty.SlavePath(), entry);
        handler.SetOwner(&owner);
        handler.SetPort(1, 9600);
    }
    ~LinkRig()
    {
        handler.Stop();
        std::error_code ignored;
        fs::remove(entry, ignored);
    }

    void Start(fakemodem::Script script)
    {
        modem = std::make_unique<FakeModem>(pty, std::move(script));
        ASSERT_EQ(handler.Start(), HNDRET_STARTED);
    }

    // `length` overrides the payload length the message announces.
    void Send(uint8_t command, const Bytes& payload, std::optional<int16_t> length = std::nullopt)
    {
        auto msg = std::make_unique<CComMsg>(LNK_SEND);
        msg->SetCommand(command);
        for (std::size_t i = 0; i < payload.size(); ++i)
            msg->SetPayload(static_cast<int>(i), payload[i]);
        msg->SetLength(length.value_or(static_cast<int16_t>(payload.size())));
        handler.ReceiveMsg(std::move(msg));
    }

    // Waits for `count` more frames than have been seen so far.
    bool WaitMoreFrames(std::size_t count) { return modem->WaitForFrames(modem->Frames().size() + count); }

    fs::path entry;
    Pty pty;
    Owner owner;
    std::unique_ptr<FakeModem> modem;
    CTelComHandler handler;
};

class TelComHandlerTest : public ::testing::Test {
protected:
    TelComHandlerTest() { scratch.WorkIn(); }

    // The log's lines, newest first, without their time stamps.
    std::vector<std::string> LogLines() const
    {
        std::vector<std::string> lines;
        std::ifstream in(scratch / "TelComHandler.log");
        std::string line;
        while (std::getline(in, line))
            lines.push_back(line.size() > CLogFile::TimeStamp().size() ? line.substr(CLogFile::TimeStamp().size())
                                                                       : line);
        return lines;
    }
    std::size_t LogCount(const std::string& line) const
    {
        const auto lines = LogLines();
        return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
    }
    bool LogHas(const std::string& line) const { return LogCount(line) > 0; }
    void ForgetLog() const { fs::remove(scratch / "TelComHandler.log"); }

    TempDir scratch;
    ScopedEnv env{"ORVA_COM_DIR", scratch.Path().string()};
    LinkTestClock clock;
};

const std::string kSrc = "CTelComHandler::ThreadMain: ";

}  // namespace

// --- Starting and stopping -------------------------------------------------

TEST_F(TelComHandlerTest, StartFailsWhenThePortDoesNotOpenAndCanBeRetried)
{
    CTelComHandler handler;
    handler.SetPort(2, 9600);  // no COM2
    EXPECT_EQ(handler.Start(), HNDRET_START_FAILED);
    EXPECT_EQ(handler.IsRunning(), 0);
    EXPECT_FALSE(fs::exists(scratch / "TelComHandler.log"));

    LinkRig rig(scratch.Path());
    rig.handler.SetPort(1, 12345);  // a rate the line cannot take
    rig.modem = std::make_unique<FakeModem>(rig.pty, Acknowledging(STATUS_LINE));
    EXPECT_EQ(rig.handler.Start(), HNDRET_START_FAILED);
    rig.handler.SetPort(1, 9600);
    EXPECT_EQ(rig.handler.Start(), HNDRET_STARTED);
    EXPECT_TRUE(rig.modem->WaitForFrames(1));
}

TEST_F(TelComHandlerTest, PollsWhileIdleReportsTheFirstStatusAlwaysAndLogsStartAndStop)
{
    // Whether this process may raise a thread's priority decides one log line.
    bool mayRaise = false;
    std::thread([&] { mayRaise = RaiseThreadPriority(); }).join();

    LinkRig rig(scratch.Path());
    // The status byte carries only the modem's internal-error bit, which is
    // logged and cleared: the status reported is 0, and still reported.
    rig.Start([](const StationFrame&, std::size_t) { return Answer({STATUS_ICT_ERROR}); });
    ASSERT_TRUE(rig.modem->WaitForFrames(5));
    ASSERT_EQ(rig.handler.Stop(), HNDRET_STOPPED);

    for (const StationFrame& f : rig.modem->Frames())
        EXPECT_EQ(f.raw, kPoll);
    const auto statuses = rig.owner.OfType(LNK_STATUS);
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_EQ(statuses[0].status, 0x00);
    EXPECT_EQ(rig.owner.All().size(), 1u);

    const auto lines = LogLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), kSrc + "Startup - Ver. 2.72");
    EXPECT_EQ(lines.front().rfind(kSrc + "Shutdown - Max Reply Time: ", 0), 0u) << lines.front();
    EXPECT_NE(lines.front().find(" ms, Average Reply Time: "), std::string::npos);
    // Every answer before the last frame was handled before that frame went out.
    EXPECT_GE(LogCount(kSrc + "RX: - Modem ICT Error!"), rig.modem->Frames().size() - 1);
    const bool notRaisedLogged = std::any_of(
        lines.begin(), lines.end(), [](const std::string& l) { return l.find("priority") != std::string::npos; });
    EXPECT_EQ(notRaisedLogged, !mayRaise);
}

TEST(RaiseThreadPriorityTest, RaisesOnlyTheCallingThreadOrReportsThatItMayNot)
{
    const auto tidNice = [] { return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))); };
    const int mainBefore = tidNice();
    int before = 0;
    int after = 0;
    bool raised = false;
    int error = 0;
    std::thread([&] {
        before = tidNice();
        raised = RaiseThreadPriority();
        error = errno;
        after = tidNice();
    }).join();

    if (raised) {
        EXPECT_EQ(after, std::max(before - 1, -20));
    } else {
        EXPECT_TRUE(error == EACCES || error == EPERM) << error;
        EXPECT_EQ(after, before);
    }
    EXPECT_EQ(tidNice(), mainBefore);
}

// A halted link, or a back-off, must not keep Stop from getting its answer.
TEST_F(TelComHandlerTest, StopIsAnsweredDuringTheBackOff)
{
    clock.realBackOff = true;
    LinkRig rig(scratch.Path());
    rig.Start([](const StationFrame&, std::size_t) { return Reply{}; });  // a dead modem
    ASSERT_TRUE(rig.owner.WaitFor(LNK_TIMEOUT));
    EXPECT_EQ(rig.handler.Stop(), HNDRET_STOPPED);
    EXPECT_EQ(rig.modem->Frames().size(), 5u);
}

TEST_F(TelComHandlerTest, UnknownMessagesAreLoggedAndDropped)
{
    LinkRig rig(scratch.Path());
    rig.Start(Acknowledging(STATUS_LINE));
    rig.handler.ReceiveMsg(std::make_unique<CMsg>(99));
    rig.handler.ReceiveMsg(std::make_unique<CComMsg>(LNK_STATUS));
    ASSERT_TRUE(rig.WaitMoreFrames(4));
    ASSERT_EQ(rig.handler.Stop(), HNDRET_STOPPED);
    EXPECT_EQ(LogCount(kSrc + "Unknown Message"), 2u);
    for (const StationFrame& f : rig.modem->Frames())
        EXPECT_EQ(f.raw, kPoll);
}

// Frames queued in one run belong to the telephone handler of that run.
TEST_F(TelComHandlerTest, FramesQueuedWhenStoppedAreNotSentAfterARestart)
{
    LinkRig rig(scratch.Path());
    std::atomic<bool> busy{true};
    rig.Start([&](const StationFrame& f, std::size_t) {
        uint8_t status = STATUS_LINE | (busy ? STATUS_BUSY : 0);
        return Answer({static_cast<uint8_t>(f.command == 0x81 ? status : status | STATUS_TXACK)});
    });
    ASSERT_TRUE(rig.owner.WaitFor(LNK_STATUS));
    rig.Send(0x82, {0x00, 0x01});
    ASSERT_TRUE(rig.WaitMoreFrames(2));
    ASSERT_EQ(rig.handler.Stop(), HNDRET_STOPPED);

    busy = false;
    ASSERT_EQ(rig.handler.Start(), HNDRET_STARTED);
    ASSERT_TRUE(rig.WaitMoreFrames(4));
    EXPECT_EQ(CountCommand(rig.modem->Frames(), 0x82), 0u);
}

// --- Sending ------------------------------------------------------------------

TEST_F(TelComHandlerTest, SendsQueuedFramesInOrderAndRefusesPayloadsThatDoNotFit)
{
    LinkRig rig(scratch.Path());
    rig.Start(Acknowledging(STATUS_LINE));
    Bytes longest(254);
    for (std::size_t i = 0; i < longest.size(); ++i)
        longest[i] = static_cast<uint8_t>(i);

    rig.Send(0x84, Bytes(255, 0x55));  // one byte too many for the length byte
    rig.Send(0x84, {}, -1000);         // nonsense length
    rig.Send(0x82, {0x01});
    rig.Send(0x84, longest);
    rig.Send(0x90, {0x01, 0x01});
    ASSERT_TRUE(rig.modem->WaitFor([](const Frames& f) { return CountCommand(f, 0x90) > 0; }));
    ASSERT_TRUE(rig.WaitMoreFrames(1));
    ASSERT_EQ(rig.handler.Stop(), HNDRET_STOPPED);

    Frames sent;
    for (const StationFrame& f : rig.modem->Frames())
        if (f.command != 0x81)
            sent.push_back(f);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].raw, (Bytes{0x82, 0x02, 0x00, 0x01, 0x7E}));
    Bytes longBody{0x00};
    longBody.insert(longBody.end(), longest.begin(), longest.end());
    EXPECT_EQ(sent[1].raw, Frame(0x84, longBody));
    EXPECT_EQ(sent[2].raw, (Bytes{0x90, 0x03, 0x00, 0x01, 0x01, 0x6C}));
    EXPECT_TRUE(LogHas(kSrc + "Invalid TX frame length: 255, discarded"));
    EXPECT_TRUE(LogHas(kSrc + "Invalid TX frame length: -1000, discarded"));
}

TEST_F(TelComHandlerTest, BusyModemHoldsQueuedFramesButNotThePriorityFrame)
{
    LinkRig rig(scratch.Path());
    std::atomic<bool> busy{true};
    rig.Start([&](const StationFrame& f, std::size_t) {
        uint8_t status = STATUS_LINE | (busy ? STATUS_BUSY : 0);
        return Answer({static_cast<uint8_t>(f.command == 0x81 ? status : status | STATUS_TXACK)});
    });
    ASSERT_TRUE(rig.owner.WaitFor(LNK_STATUS));
    rig.Send(0x82, {0x00, 0x01});
    ASSERT_TRUE(rig.WaitMoreFrames(3));
    EXPECT_EQ(CountCommand(rig.modem->Frames(), 0x82), 0u);

    rig.Send(0x8C, {});
    ASSERT_TRUE(rig.modem->WaitFor([](const Frames& f) { return CountCommand(f, 0x8C) > 0; }));
    ASSERT_TRUE(rig.WaitMoreFrames(2));
    EXPECT_EQ(CountCommand(rig.modem->Frames(), 0x82), 0u);

    busy = false;
    ASSERT_TRUE(rig.modem->WaitFor([](const Frames& f) { return CountCommand(f, 0x82) > 0; }));
    Bytes nonPolls;
    for (const StationFrame& f : rig.modem->Frames()) {
        if (f.command == 0x8C) {
            EXPECT_EQ(f.raw, (Bytes{0x8C, 0x01, 0x00, 0x72}));
        }
        if (f.command != 0x81)
            nonPolls.push_back(f.command);
    }
    EXPECT_EQ(nonPolls, (Bytes{0x8C, 0x82}));
}

// --- Answers from the modem -------------------------------------------------

TEST_F(TelComHandlerTest, ModemMessagesAreForwardedAndAcknowledgedOnTheNextFrame)
{
    const Bytes identification = {0x10, 0x02, 0x48, 0x01, 0x07, 0x03, 0x01};
    const std::vector<Bytes> messages = {
        Frame(0x8D, identification),
        Frame(0x86, {0x10}),  // status only: no payload
        Frame(0x86, {}),      // not even a status byte
        Frame(0x97, {0x10, 0xAA, 0xBB, 0xCC}),
    };
    LinkRig rig(scratch.Path());
    rig.Start([&](const StationFrame&, std::size_t index) {
        return index < messages.size() ? Reply{messages[index], false} : Answer({STATUS_LINE});
    });
    ASSERT_TRUE(rig.modem->WaitForFrames(messages.size() + 2));
    ASSERT_EQ(rig.handler.Stop(), HNDRET_STOPPED);

    const Frames frames = rig.modem->Frames();
    EXPECT_EQ(frames[0].raw, kPoll);
    for (std::size_t i = 1; i <= messages.size(); ++i)
        EXPECT_EQ(frames[i].raw, kAckPoll) << "frame " << i;
    EXPECT_EQ(frames[messages.size() + 1].raw, kPoll);

    const auto forwarded = rig.owner.OfType(LNK_FRAME);
    ASSERT_EQ(forwarded.size(), 4u);
    EXPECT_EQ(forwarded[0].command, 0x8D);
    EXPECT_EQ(forwarded[0].status, 0x10);
    EXPECT_EQ(forwarded[0].length, 6);
    EXPECT_EQ(forwarded[0].payload, Bytes(identification.begin() + 1, identification.end()));
    EXPECT_EQ(forwarded[1].command, 0x86);
    EXPECT_EQ(forwarded[1].length, 0);
    EXPECT_EQ(forwarded[2].command, 0x86);
    EXPECT_EQ(forwarded[2].length, 0);
    EXPECT_EQ(forwarded[3].command, 0x97);
    EXPECT_EQ(forwarded[3].length, 3);
    EXPECT_EQ(forwarded[3].payload, (Bytes{0xAA, 0xBB, 0xCC}));

    // The frame comes before the status change it carried.
    const auto all = rig.owner.All();
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[0].type, LNK_FRAME);
    EXPECT_EQ(all[1].type, LNK_STATUS);
    EXPECT_EQ(all[1].status, 0x10);
}

TEST_F(TelComHandlerTest, PollAnswersReportValueChangesAndCallerIds)
{
    const std::vector<Bytes> bodies = {
        {0x10, 0},                                // value 0: the value starts at 0, nothing to report
        {0x10, 5},                                // -> 5
        {0x10, 5},                                // unchanged
        {0x10, 0, '"', '0', '4', '0', '1', '"'},  // caller id
        {0x10, 1, 'x'},                           // neither a value nor a caller id
        {0x10, 7},                                // -> 7
        {0x10, 0, 'A', '"', 'B'},                 // caller id
        {0x10, 7},                                // unchanged
    };
    LinkRig rig(scratch.Path());
    rig.Start([&](const StationFrame&, std::size_t index) {
        return Answer(index < bodies.size() ? bodies[index] : Bytes{0x10});
    });
    ASSERT_TRUE(rig.modem->WaitForFrames(bodies.size() + 2));
    ASSERT_EQ(rig.handler.Stop(), HNDRET_STOPPED);

    std::vector<int16_t> values;
    for (const Posted& p : rig.owner.OfType(LNK_VALUE))
        values.push_back(p.value);
    EXPECT_EQ(values, (std::vector<int16_t>{5, 7}));
    std::vector<std::string> callers;
    for (const Posted& p : rig.owner.OfType(LNK_CALLER_ID))
        callers.push_back(p.text);
    EXPECT_EQ(callers, (std::vector<std::string>{"0401", "AB"}));
    EXPECT_EQ(rig.owner.OfType(LNK_STATUS).size(), 1u);
    EXPECT_TRUE(rig.owner.OfType(LNK_FRAME).empty());
    for (const StationFrame& f : rig.modem->Frames())
        EXPECT_EQ(f.raw, kPoll) << "a poll answer is no message to acknowledge";
}

// --- Failed exchanges ------------------------------------------------------

TEST_F(TelComHandlerTest, ResendsTheSameFrameAfterAFailedExchange)
{
    const struct {
        const char* what;
        Reply firstAnswer;
        const char* logLine;  // besides the retry line
    } cases[] = {
        {"bad checksum", Reply{BadChecksumFrame(0x81, {0x90}), false}, nullptr},
        {"no answer", Reply{}, nullptr},
        {"answer without TXACK", Answer({0x10}), "RX: - TxAck Error!"},
        {"length 0 answer (status reads 0)", Reply{Frame(0x81, {}), false}, "RX: - TxAck Error!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ForgetLog();
        LinkRig rig(scratch.Path());
        int seizes = 0;
        rig.Start([&](const StationFrame& f, std::size_t) {
            if (f.command == 0x82 && seizes++ == 0)
                return c.firstAnswer;
            return Answer({static_cast<uint8_t>(f.command == 0x81 ? 0x10 : 0x90)});
        });
        ASSERT_TRUE(rig.owner.WaitFor(LNK_STATUS));
        rig.Send(0x82, {0x01});
        ASSERT_TRUE(
            rig.modem->WaitFor([](const Frames& f) { return CountCommand(f, 0x82) == 2 && f.back().command == 0x81; }));
        ASSERT_TRUE(rig.WaitMoreFrames(1));
        ASSERT_EQ(rig.handler.Stop(), HNDRET_STOPPED);

        const Frames frames = rig.modem->Frames();
        EXPECT_EQ(CountCommand(frames, 0x82), 2u);
        for (const StationFrame& f : frames)
            if (f.command == 0x82) {
                EXPECT_EQ(f.raw, (Bytes{0x82, 0x02, 0x00, 0x01, 0x7E}));
            }
        const Bytes commands = Commands(frames);
        const auto first = std::find(commands.begin(), commands.end(), 0x82);
        EXPECT_EQ(*(first + 1), 0x82) << "the frame was not resent at once";
        EXPECT_TRUE(rig.owner.OfType(LNK_TIMEOUT).empty());
        EXPECT_TRUE(LogHas(kSrc + "Reply Timeout, retrying: 1"));
        EXPECT_FALSE(LogHas(kSrc + "Reply Timeout, retrying: 2"));
        if (c.logLine) {
            EXPECT_TRUE(LogHas(kSrc + c.logLine));
        }
    }
}

TEST_F(TelComHandlerTest, AbandonsTheFrameAfterFiveFailuresAndPausesTwoSeconds)
{
    LinkRig rig(scratch.Path());
    rig.Start([](const StationFrame& f, std::size_t) { return f.command == 0x82 ? Reply{} : Answer({STATUS_LINE}); });
    ASSERT_TRUE(rig.owner.WaitFor(LNK_STATUS));
    rig.Send(0x82, {0x01});
    ASSERT_TRUE(rig.owner.WaitFor(LNK_TIMEOUT));
    ASSERT_TRUE(rig.owner.WaitFor(LNK_STATUS, 2));
    ASSERT_TRUE(rig.WaitMoreFrames(1));
    ASSERT_EQ(rig.handler.Stop(), HNDRET_STOPPED);

    const Frames frames = rig.modem->Frames();
    EXPECT_EQ(CountCommand(frames, 0x82), 5u);
    std::size_t last = 0;
    for (std::size_t i = 0; i < frames.size(); ++i)
        if (frames[i].command == 0x82)
            last = i;
    ASSERT_LT(last + 1, frames.size());
    EXPECT_EQ(frames[last + 1].raw, kPoll);
    EXPECT_GE(frames[last + 1].tick - frames[last].tick, 180u + 2000u) << "no pause after the abandoned exchange";

    // The next answer is reported again although the status did not change.
    std::vector<uint16_t> types;
    for (const Posted& p : rig.owner.All())
        types.push_back(p.type);
    EXPECT_EQ(types, (std::vector<uint16_t>{LNK_STATUS, LNK_TIMEOUT, LNK_STATUS}));

    for (int attempt = 1; attempt <= 4; ++attempt)
        EXPECT_TRUE(LogHas(kSrc + "Reply Timeout, retrying: " + std::to_string(attempt)));
    EXPECT_FALSE(LogHas(kSrc + "Reply Timeout, retrying: 5"));
    EXPECT_EQ(LogCount(kSrc + "Reply Timeout, Aborting"), 1u);
    EXPECT_EQ(LogCount(kSrc + "Communication restored after timeout"), 1u);
}

TEST_F(TelComHandlerTest, ThreeInvalidCommandsInARowHaltTheLink)
{
    const struct {
        const char* what;
        Bytes answer;
        unsigned command;
    } cases[] = {
        {"above the range", Frame(0x98, {0x10}), 0x98},
        {"below the range", Frame(0x80, {0x10}), 0x80},
        {"bit 7 clear", Frame(0x20, {0x10, 0x00}), 0x20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ForgetLog();
        LinkRig rig(scratch.Path());
        rig.Start([&](const StationFrame&, std::size_t) { return Reply{c.answer, false}; });
        ASSERT_TRUE(rig.owner.WaitFor(LNK_ERROR));
        std::this_thread::sleep_for(200ms);
        EXPECT_EQ(rig.modem->Frames().size(), 3u) << "the halted link went on sending";
        EXPECT_EQ(rig.handler.IsRunning(), 1);
        ASSERT_EQ(rig.handler.Stop(), HNDRET_STOPPED);

        for (const StationFrame& f : rig.modem->Frames())
            EXPECT_EQ(f.raw, kPoll);
        EXPECT_EQ(rig.owner.All().size(), 1u);
        const std::string prefix = kSrc + "Invalid RX command: " + std::to_string(c.command);
        EXPECT_TRUE(LogHas(prefix + ", retrying: 1"));
        EXPECT_TRUE(LogHas(prefix + ", retrying: 2"));
        EXPECT_TRUE(LogHas(prefix + ", Aborting"));
    }
}

TEST_F(TelComHandlerTest, AValidAnswerResetsTheInvalidCount)
{
    LinkRig rig(scratch.Path());
    rig.Start([](const StationFrame&, std::size_t index) {
        return index % 3 == 2 ? Answer({STATUS_LINE}) : Reply{Frame(0x98, {0x10}), false};
    });
    ASSERT_TRUE(rig.modem->WaitForFrames(9));
    ASSERT_EQ(rig.handler.Stop(), HNDRET_STOPPED);
    EXPECT_TRUE(rig.owner.OfType(LNK_ERROR).empty());
}

TEST_F(TelComHandlerTest, ReadErrorHaltsTheLinkUntilStopped)
{
    LinkRig rig(scratch.Path());
    rig.Start([](const StationFrame&, std::size_t index) {
        return index == 1 ? Reply{{}, true} : Answer({STATUS_LINE});
    });
    ASSERT_TRUE(rig.owner.WaitFor(LNK_ERROR));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(rig.handler.IsRunning(), 1);
    // What is asked of a halted link is dropped, not piled up until it ends.
    const std::size_t framesAtHalt = rig.modem->Frames().size();
    for (int i = 0; i < 50; ++i)
        rig.Send(0x90, {0x01, 0x01});
    EXPECT_TRUE(WaitFor([&] { return rig.handler.InputQueue().GetCount() == 0; }))
        << rig.handler.InputQueue().GetCount() << " requests wait in the halted link";
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(rig.modem->Frames().size(), framesAtHalt);
    ASSERT_EQ(rig.handler.Stop(), HNDRET_STOPPED);

    std::vector<uint16_t> types;
    for (const Posted& p : rig.owner.All())
        types.push_back(p.type);
    EXPECT_EQ(types, (std::vector<uint16_t>{LNK_STATUS, LNK_ERROR}));
    EXPECT_TRUE(LogHas(kSrc + "Serial Rx Error"));
}
