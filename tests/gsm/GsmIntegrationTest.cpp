// The GSM handler against the GSM-modem simulator of tools/, over a
// pseudo-terminal, in real time.

#include "gsm/GsmHandler.h"

#include "core/ThreadQueue.h"
#include "messages/GsmHandlerMsg.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

struct Owner : CMsgReceiver {
    void ReceiveMsg(std::unique_ptr<CMsg> msg) override { inbox.Add(std::move(msg)); }

    // The next message that satisfies the condition; the others are kept.
    template <typename Cond>
    std::unique_ptr<CGsmHandlerMsg> WaitFor(Cond cond, std::chrono::milliseconds limit)
    {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            if (std::unique_ptr<CMsg> msg = inbox.Get()) {
                auto* gsm = dynamic_cast<CGsmHandlerMsg*>(msg.get());
                if (!gsm)
                    continue;
                msg.release();
                std::unique_ptr<CGsmHandlerMsg> owned(gsm);
                if (cond(*owned))
                    return owned;
                seen.push_back(std::move(owned));
                continue;
            }
            std::this_thread::sleep_for(5ms);
        }
        return nullptr;
    }
    std::unique_ptr<CGsmHandlerMsg> WaitStatus(int16_t code, std::chrono::milliseconds limit)
    {
        return WaitFor([code](const CGsmHandlerMsg& m) { return m.GetType() == GSM_STATUS && m.code == code; }, limit);
    }

    CThreadQueue inbox;
    std::vector<std::unique_ptr<CGsmHandlerMsg>> seen;
};

class GsmIntegration : public ::testing::Test {
protected:
    void SetUp() override { dir.WorkIn(); }
    void TearDown() override
    {
        if (handler.IsRunning()) {
            EXPECT_EQ(handler.Stop(), HNDRET_STOPPED);
        }
    }

    void Start(const std::vector<std::string>& simOptions, const std::string& pin = "", bool callerCheck = false)
    {
        std::vector<std::string> args = {std::string(ORVA_SOURCE_DIR) + "/tools/gsmsim/gsmsim.py", "--link",
                                         dir / "COM2", "--stdin"};
        args.insert(args.end(), simOptions.begin(), simOptions.end());
        sim = std::make_unique<ChildProcess>(ChildProcess::Simulator(args));
        ASSERT_FALSE(sim->NextLineStarting("READY", 10s).empty()) << "simulator did not start";
        handler.SetOwner(&owner);
        handler.Init(2, 9600, pin, callerCheck, 0);
        ASSERT_EQ(handler.Start(), HNDRET_STARTED);
    }

    void Ready()
    {
        auto ok = owner.WaitStatus(GHM_STATUS_COM_OK, 30s);
        ASSERT_NE(ok, nullptr) << "modem not initialised";
    }

    void QueueSms(uint16_t type, const std::string& recipients, const std::string& text, int16_t requestId = 0)
    {
        auto request = std::make_unique<CGsmHandlerMsg>(type);
        request->recipients = recipients;
        request->smsText = text;
        request->requestId = requestId;
        CHandler::PostMsg(&handler, std::move(request));
    }

    TempDir dir;
    ScopedEnv comDir{"ORVA_COM_DIR", dir.Path().string()};
    Owner owner;
    CGsmHandler handler;
    std::unique_ptr<ChildProcess> sim;
};

TEST_F(GsmIntegration, InitialisesWithoutAPin)
{
    Start({});
    Ready();
}

TEST_F(GsmIntegration, InitialisesWithTheRightPin)
{
    Start({"--pin-state", "required", "--pin", "4321"}, "4321");
    Ready();
    EXPECT_TRUE(sim->SawLineStarting("PIN-ACCEPTED 4321") || !sim->NextLineStarting("PIN-ACCEPTED", 1s).empty());
}

TEST_F(GsmIntegration, MissingAndRejectedPinsHaltWithTheirReports)
{
    struct Case {
        const char* simState;
        const char* pin;
        int16_t report;
    };
    for (const Case& c :
         {Case{"required", "", GHM_STATUS_PIN_REQUIRED}, Case{"rejected", "1111", GHM_STATUS_PIN_ERROR}}) {
        Owner fresh;
        CGsmHandler gsm;
        ChildProcess modem(ChildProcess::Simulator({std::string(ORVA_SOURCE_DIR) + "/tools/gsmsim/gsmsim.py", "--link",
                                                    dir / "COM2", "--stdin", "--pin-state", c.simState}));
        ASSERT_FALSE(modem.NextLineStarting("READY", 10s).empty());
        gsm.SetOwner(&fresh);
        gsm.Init(2, 9600, c.pin, false, 0);
        ASSERT_EQ(gsm.Start(), HNDRET_STARTED);
        EXPECT_NE(fresh.WaitStatus(c.report, 30s), nullptr) << c.simState;
        // Halted: no further initialisation is tried.
        EXPECT_EQ(fresh.WaitStatus(GHM_STATUS_COM_OK, 3s), nullptr) << c.simState;
        EXPECT_EQ(gsm.Stop(), HNDRET_STOPPED);
    }
}

TEST_F(GsmIntegration, ReceivedSmsArePostedAfterTheirDeletionOnePerCycle)
{
    Start({});
    Ready();
    sim->Send(R"(sms +4917012345678 "#TEST Lift 4711")");
    sim->Send(R"(sms +4917099999999 "second \u00e4\u00f6 text")");

    std::set<std::string> texts;
    for (int i = 0; i < 2; ++i) {
        auto sms = owner.WaitFor([](const CGsmHandlerMsg& m) { return m.GetType() == GSM_SMS_RECEIVED; }, 30s);
        ASSERT_NE(sms, nullptr) << "SMS " << i;
        texts.insert(sms->smsText);
        // The modem no longer holds it when it reaches the station: its
        // deletion was printed before the station could post it.
        while (!sim->NextLine(200ms).empty()) {
        }
        const std::vector<std::string> seen = sim->Seen();
        const auto deletions = std::count_if(seen.begin(), seen.end(),
                                             [](const std::string& l) { return l.rfind("SMS-DELETED", 0) == 0; });
        EXPECT_GE(deletions, i + 1);
    }
    EXPECT_EQ(texts, (std::set<std::string>{"#TEST Lift 4711", "second äö text"}));
}

TEST_F(GsmIntegration, RecipientListGivesOneSmsPerNumberWithoutBlanks)
{
    Start({});
    Ready();
    QueueSms(MSG_GUI_SEND_ALARM_SMS, "070 111 22 33, ;0704 44 55 66", "ORVA ALARM\nType: Test\n");
    std::set<std::string> numbers;
    for (int i = 0; i < 2; ++i) {
        const std::string line = sim->NextLineStarting("SMS-SENT", 30s);
        ASSERT_FALSE(line.empty()) << "SMS " << i;
        numbers.insert(line.substr(9, line.find(' ', 9) - 9));
    }
    EXPECT_EQ(numbers, (std::set<std::string>{"0701112233", "0704445566"}));
    EXPECT_TRUE(sim->NextLineStarting("SMS-SENT", 3s).empty()) << "a third SMS was sent";
}

TEST_F(GsmIntegration, ThreeErrorsThenTheFourthAttemptSends)
{
    Start({});
    Ready();
    sim->Send("fail 3");
    QueueSms(MSG_GUI_SEND_FREEFORMAT_SMS, "+46701234567", "hello", 1);
    auto result = owner.WaitFor(
        [](const CGsmHandlerMsg& m) {
            return m.GetType() == GSM_STATUS && (m.code == GHM_STATUS_SMS_SENT || m.code == GHM_STATUS_SMS_FAILED);
        },
        60s);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->code, GHM_STATUS_SMS_SENT);
    EXPECT_EQ(result->requestId, 1);
    ASSERT_FALSE(sim->NextLineStarting("SMS-SENT", 10s).empty());
    int failures = 0;
    for (const std::string& line : sim->Seen())
        failures += line.rfind("SMS-FAILED", 0) == 0;
    EXPECT_EQ(failures, 3);
}

TEST_F(GsmIntegration, FourErrorsDropTheSmsWithAFailureResult)
{
    Start({});
    Ready();
    sim->Send("fail 4");
    QueueSms(MSG_GUI_SEND_FREEFORMAT_SMS, "+46701234567", "hello", 1);
    auto result = owner.WaitFor(
        [](const CGsmHandlerMsg& m) {
            return m.GetType() == GSM_STATUS && (m.code == GHM_STATUS_SMS_SENT || m.code == GHM_STATUS_SMS_FAILED);
        },
        60s);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->code, GHM_STATUS_SMS_FAILED);
    EXPECT_TRUE(sim->NextLineStarting("SMS-SENT", 5s).empty()) << "the dropped SMS was sent after all";
}

// The outbox file of an alarm SMS is gone by the time its result arrives
// (the handler removes it on the modem's "+CMGS:"), and still there when the
// SMS failed for good (the manager settles that one).
TEST_F(GsmIntegration, AlarmSmsJobFileGoesWithTheModemsAnswerOnly)
{
    Start({});
    Ready();
    struct Case {
        const char* fail;
        const char* number;
        std::string jobName;
        int16_t result;
    };
    for (const Case& c : {Case{"fail 4", "+46701234567", "r1-2-sms1.job", GHM_STATUS_SMS_FAILED},
                          Case{"fail 1", "+46701234568", "r1-1-sms1.job", GHM_STATUS_SMS_SENT}}) {
        SCOPED_TRACE(c.fail);
        const std::string file = dir / c.jobName;
        std::ofstream(file) << "job";
        sim->Send(c.fail);
        auto request = std::make_unique<CGsmHandlerMsg>(MSG_GUI_SEND_ALARM_SMS);
        request->recipients = c.number;
        request->smsText = "ORVA ALARM\n";
        request->jobName = c.jobName;
        request->jobFile = file;
        CHandler::PostMsg(&handler, std::move(request));
        auto result = owner.WaitFor(
            [](const CGsmHandlerMsg& m) {
                return m.GetType() == GSM_STATUS && (m.code == GHM_STATUS_SMS_SENT || m.code == GHM_STATUS_SMS_FAILED);
            },
            60s);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->code, c.result);
        EXPECT_EQ(result->jobName, c.jobName);
        EXPECT_EQ(result->recipients, c.number);
        EXPECT_EQ(std::filesystem::exists(file), c.result == GHM_STATUS_SMS_FAILED);
    }
}

// The prompt is lost and the modem stays in its text input, where every
// command is text: the ESC that opens the next initialisation ends it, and
// the SMS goes out after all.
TEST_F(GsmIntegration, LostPromptIsOvercomeByTheNextInitialisation)
{
    Start({});
    Ready();
    sim->Send("prompt lost");
    ASSERT_FALSE(sim->NextLineStarting("OK prompt lost", 10s).empty());
    QueueSms(MSG_GUI_SEND_ALARM_SMS, "+46701234567", "Trapped in lift 4");
    ASSERT_FALSE(sim->NextLineStarting("PROMPT-LOST +46701234567", 20s).empty());
    ASSERT_FALSE(sim->NextLineStarting("SMS-CANCELLED +46701234567", 30s).empty()) << "the text input was never ended";
    EXPECT_EQ(sim->NextLineStarting("SMS-SENT", 30s), "SMS-SENT +46701234567 \"Trapped in lift 4\"");
}

// The modem refuses to delete the first of two SMS: both alarms come in, and
// the second SMS is deleted.
TEST_F(GsmIntegration, SmsBehindARefusedDeletionIsRead)
{
    Start({});
    Ready();
    sim->Send("refuse-delete at 1 cms");
    sim->Send(R"(sms +4917012345678 "#TEST first")");
    sim->Send(R"(sms +4917099999999 "#TEST second")");
    std::set<std::string> texts;
    for (int i = 0; i < 2; ++i) {
        auto sms = owner.WaitFor([](const CGsmHandlerMsg& m) { return m.GetType() == GSM_SMS_RECEIVED; }, 30s);
        ASSERT_NE(sms, nullptr) << "SMS " << i;
        texts.insert(sms->smsText);
    }
    EXPECT_EQ(texts, (std::set<std::string>{"#TEST first", "#TEST second"}));
    EXPECT_FALSE(sim->NextLineStarting("SMS-DELETED 2", 10s).empty());
    EXPECT_TRUE(sim->SawLineStarting("SMS-DELETE-REFUSED 1"));
}

TEST_F(GsmIntegration, RingingCallerIsReportedOnce)
{
    Start({}, "", true);
    Ready();
    sim->Send("ring +4930123456 10");
    auto caller = owner.WaitFor([](const CGsmHandlerMsg& m) { return m.GetType() == GSM_CALLER_ID; }, 20s);
    ASSERT_NE(caller, nullptr);
    EXPECT_EQ(caller->smsNumber, "+4930123456");
    EXPECT_FALSE(sim->NextLineStarting("CALL-END", 20s).empty());
    EXPECT_EQ(owner.WaitFor([](const CGsmHandlerMsg& m) { return m.GetType() == GSM_CALLER_ID; }, 2s), nullptr);
}

}  // namespace
