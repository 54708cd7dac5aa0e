// The GSM handler thread against the scripted modem on a pseudo-terminal, on
// the simulated clock: time-outs of a minute pass in milliseconds, and the
// modem's answers arrive at the simulated moment the script says, however
// loaded the machine is.

#include "gsm/GsmHandler.h"

#include "FakeGsmModem.h"
#include "SimClock.h"
#include "support/Pty.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Outcome = FakeGsmModem::Outcome;

constexpr int16_t kPort = 5;

// One message the handler posted to its owner.
struct Posted {
    uint16_t type = 0;
    int16_t code = 0;
    int16_t signal = 0;
    int16_t requestId = 0;
    std::string recipients;
    std::string jobName;
    uint16_t attempts = 0;
    std::string smsNumber;
    std::string smsDate;
    std::string smsTime;
    std::string smsText;
    uint32_t tick = 0;
    std::string note;  // what the test's onPost noted at that moment
};

class Owner : public CMsgReceiver {
public:
    explicit Owner(SimClock& simClock) : clock(simClock) {}

    void ReceiveMsg(std::unique_ptr<CMsg> msg) override
    {
        Posted p;
        p.type = msg->GetType();
        p.tick = clock.GetTickCount();
        if (const auto* m = dynamic_cast<const CGsmHandlerMsg*>(msg.get())) {
            p.code = m->code;
            p.signal = m->signal;
            p.requestId = m->requestId;
            p.recipients = m->recipients;
            p.jobName = m->jobName;
            p.attempts = m->attempts;
            p.smsNumber = m->smsNumber;
            p.smsDate = m->smsDate;
            p.smsTime = m->smsTime;
            p.smsText = m->smsText;
        }
        if (onPost)
            p.note = onPost(p);
        std::lock_guard<std::mutex> guard(lock);
        posted.push_back(p);
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
    std::vector<Posted> Status(int16_t code) const
    {
        std::vector<Posted> found;
        for (const Posted& p : OfType(GSM_STATUS))
            if (p.code == code)
                found.push_back(p);
        return found;
    }
    // Codes of every GSM_STATUS, in order.
    std::vector<int16_t> Codes() const
    {
        std::vector<int16_t> codes;
        for (const Posted& p : OfType(GSM_STATUS))
            codes.push_back(p.code);
        return codes;
    }

    // Waits in real time; the simulated clock runs meanwhile.
    static bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }
    bool WaitForStatus(int16_t code, std::size_t count = 1)
    {
        return WaitFor([&] { return Status(code).size() >= count; });
    }
    bool WaitForType(uint16_t type, std::size_t count = 1)
    {
        return WaitFor([&] { return OfType(type).size() >= count; });
    }

    // Called on the handler's thread for every message, before it is kept;
    // set before the start.
    std::function<std::string(const Posted&)> onPost;

private:
    SimClock& clock;
    mutable std::mutex lock;
    std::vector<Posted> posted;
};

class GsmHandlerTest : public testing::Test {
protected:
    GsmHandlerTest()
    {
        dir.WorkIn();
        pty->LinkAs(dir.Path(), kPort);
        modem = std::make_unique<FakeGsmModem>(*pty, clock);
        handler.SetOwner(&owner);
    }
    ~GsmHandlerTest() override
    {
        handler.Stop();
        EXPECT_EQ(clock.Stalls(), 0) << "the modem left the line unsettled";
    }

    void Start(const std::string& pin = "", bool callerCheck = true, int16_t netSelection = 0)
    {
        handler.Init(kPort, 115200, pin, callerCheck, netSelection);
        ASSERT_EQ(handler.Start(), HNDRET_STARTED);
    }

    void StartAndWaitReady(const std::string& pin = "")
    {
        Start(pin);
        ASSERT_TRUE(owner.WaitForStatus(GHM_STATUS_COM_OK));
    }

    void Queue(uint16_t type, const std::string& recipients, const std::string& text, int16_t requestId = 0)
    {
        auto request = std::make_unique<CGsmHandlerMsg>(type);
        request->recipients = recipients;
        request->smsText = text;
        request->requestId = requestId;
        handler.ReceiveMsg(std::move(request));
    }

    // An alarm SMS of an outbox job, at the manager's precedence.
    void QueueJob(const std::string& recipients, const std::string& jobName, const std::string& jobFile,
                  uint8_t precedence, const std::string& text = "Alarm")
    {
        auto request = std::make_unique<CGsmHandlerMsg>(MSG_GUI_SEND_ALARM_SMS);
        request->recipients = recipients;
        request->smsText = text;
        request->jobName = jobName;
        request->jobFile = jobFile;
        request->SetPrecedence(precedence);
        handler.ReceiveMsg(std::move(request));
    }

    // The numbers of the SMS attempts, in order.
    std::vector<std::string> AttemptOrder() const
    {
        std::vector<std::string> numbers;
        for (const auto& c : modem->CommandsStartingWith("AT+CMGS=\""))
            numbers.push_back(c.text.substr(9, c.text.size() - 10));
        return numbers;
    }

    // Lets the handler run until the modem has seen `count` more network checks.
    void RunCycles(std::size_t count)
    {
        const std::size_t seen = modem->CommandsStartingWith("AT+CREG?").size();
        ASSERT_TRUE(modem->WaitForCommands("AT+CREG?", seen + count));
    }

    // Lets the simulated time run on by `ms`.
    void RunFor(uint32_t ms) { ASSERT_TRUE(clock.WaitUntil(clock.GetTickCount() + ms, 20s)); }

    static std::vector<std::string> Texts(const std::vector<FakeGsmModem::Command>& commands)
    {
        std::vector<std::string> texts;
        for (const auto& c : commands)
            texts.push_back(c.text);
        return texts;
    }

    TempDir dir;
    ScopedEnv comDir{"ORVA_COM_DIR", dir.Path().string()};
    SimClock clock;
    std::unique_ptr<Pty> pty = std::make_unique<Pty>(Pty::Watch::Slave);  // knows which bytes wait for the reader
    std::unique_ptr<FakeGsmModem> modem;
    Owner owner{clock};
    CGsmHandler handler;
};

// --- Start and initialisation ------------------------------------------------

TEST_F(GsmHandlerTest, PortThatDoesNotOpenFailsTheStart)
{
    handler.Init(kPort + 1, 115200, "", true, 0);
    EXPECT_EQ(handler.Start(), HNDRET_START_FAILED);
    EXPECT_EQ(handler.IsRunning(), 0);
}

TEST_F(GsmHandlerTest, InitialisationCommandsAndReports)
{
    modem->SetRssi(13);
    StartAndWaitReady();
    ASSERT_TRUE(owner.WaitForStatus(GHM_STATUS_COM_OK, 2));
    ASSERT_TRUE(modem->WaitForCommands("AT+CMGL=", 1));
    const std::vector<std::string> expected = {
        "ESC",
        "AT",
        "ATE0",
        "AT+CGMM",
        "AT+CPIN?",
        "AT+CMGF=1",
        "AT+CSCS=\"GSM\"",
        "AT+CPMS=MT,MT,MT",
        "AT+CSDH=1",
        "AT+CREG?",
        "AT+CSQ",
        "AT+CMGL=\"ALL\"",
    };
    std::vector<std::string> seen = Texts(modem->Commands());
    seen.resize(std::min(seen.size(), expected.size()));
    EXPECT_EQ(seen, expected);

    const std::vector<Posted> reports = owner.OfType(GSM_STATUS);
    ASSERT_GE(reports.size(), 3u);
    EXPECT_EQ(reports[0].code, GHM_STATUS_INITIALIZING);
    EXPECT_EQ(reports[1].code, GHM_STATUS_COM_OK);
    EXPECT_EQ(reports[1].signal, 0);
    EXPECT_EQ(reports[2].code, GHM_STATUS_COM_OK);
    EXPECT_EQ(reports[2].signal, 50);

    // Pauses: 500 ms after the ESC that ends a text input the modem may have
    // been left in, 500 ms after the model, 1000 ms after a ready SIM; the
    // first network check a second after the initialisation.
    const auto at = [&](const std::string& text) { return modem->CommandsStartingWith(text).at(0).tick; };
    EXPECT_GE(at("AT") - at("ESC"), 500u);
    EXPECT_GE(at("AT+CPIN?") - at("AT+CGMM"), 500u);
    EXPECT_GE(at("AT+CMGF=1") - at("AT+CPIN?"), 1000u);
    EXPECT_GE(at("AT+CREG?") - at("AT+CSDH=1"), 1000u);
}

struct PinCase {
    const char* name;
    const char* simPin;   // empty: the SIM asks for none
    const char* setting;  // the PIN setting
    int16_t report;       // the report that ends the initialisation
    bool pinEntered;      // AT+CPIN="..." sent
};

void PrintTo(const PinCase& c, std::ostream* os)
{
    *os << c.name;
}

class GsmHandlerPinTest : public GsmHandlerTest, public testing::WithParamInterface<PinCase> {};

TEST_P(GsmHandlerPinTest, PinHandling)
{
    const PinCase& c = GetParam();
    modem->RequirePin(c.simPin);
    Start(c.setting);
    ASSERT_TRUE(owner.WaitForStatus(c.report));

    const std::string entry = std::string("AT+CPIN=\"") + c.setting + "\"";
    EXPECT_EQ(modem->CommandsStartingWith("AT+CPIN=").size(), c.pinEntered ? 1u : 0u);
    if (c.pinEntered) {
        EXPECT_EQ(modem->CommandsStartingWith("AT+CPIN=").at(0).text, entry);
    }

    if (c.report == GHM_STATUS_COM_OK) {
        EXPECT_TRUE(modem->WaitForCommands("AT+CMGF=1", 1));
        return;
    }
    // Halted: nothing more is said to the modem, no further report, and the
    // PIN is not tried again (the SIM would lock itself after three).
    const std::size_t commands = modem->Commands().size();
    const std::size_t reports = owner.All().size();
    RunFor(60000);
    EXPECT_EQ(modem->Commands().size(), commands);
    EXPECT_EQ(owner.All().size(), reports);
    EXPECT_EQ(owner.Status(GHM_STATUS_COM_OK).size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, GsmHandlerPinTest,
                         testing::Values(PinCase{"NoPinNeeded", "", "1234", GHM_STATUS_COM_OK, false},
                                         PinCase{"PinEntered", "1234", "1234", GHM_STATUS_COM_OK, true},
                                         PinCase{"PinMissing", "1234", "", GHM_STATUS_PIN_REQUIRED, false},
                                         PinCase{"PinRejected", "1234", "9999", GHM_STATUS_PIN_ERROR, true}),
                         [](const testing::TestParamInfo<PinCase>& info) { return info.param.name; });

TEST_F(GsmHandlerTest, Le910GetsItsStorageAndNetworkSelection)
{
    modem->SetModel("LE910-EU V2");
    modem->DelayOk("AT+WS46=", 59000);  // the modem searches the networks again
    Start("", true, 2);
    ASSERT_TRUE(owner.WaitForStatus(GHM_STATUS_COM_OK));
    EXPECT_EQ(modem->CommandsStartingWith("AT+CPMS=").at(0).text, "AT+CPMS=\"ME\",\"ME\",\"ME\"");
    const auto select = modem->CommandsStartingWith("AT+WS46=");
    ASSERT_EQ(select.size(), 1u);
    EXPECT_EQ(select[0].text, "AT+WS46=30");
    EXPECT_GE(owner.Status(GHM_STATUS_COM_OK).at(0).tick - select[0].tick, 59000u);
    EXPECT_TRUE(owner.Status(GHM_STATUS_COM_WARNING).empty());
}

TEST_F(GsmHandlerTest, NetworkSelectionWithoutAnswerIsAComError)
{
    modem->SetModel("LE910");
    modem->DelayOk("AT+WS46=", 61000);
    Start();
    ASSERT_TRUE(owner.WaitForStatus(GHM_STATUS_COM_WARNING));
    const uint32_t sent = modem->CommandsStartingWith("AT+WS46=").at(0).tick;
    const uint32_t warned = owner.Status(GHM_STATUS_COM_WARNING).at(0).tick;
    EXPECT_GE(warned - sent, 60000u);
    EXPECT_LT(warned - sent, 61000u);
}

// --- Received SMS ------------------------------------------------------------

// The owner journals a received SMS before the post returns, so the SMS is
// handed on while it is still on the modem and deleted right after.
TEST_F(GsmHandlerTest, ReceivedSmsIsPostedBeforeItsDeletion)
{
    modem->Store({3, "REC UNREAD", "+358401234567", "24/05/01", "12:34:56+12", "#TEST Hiss 7 \x7c"});
    owner.onPost = [this](const Posted& p) {
        return std::string(p.type == GSM_SMS_RECEIVED && modem->IsStored(3) ? "stored" : "");
    };
    StartAndWaitReady();
    ASSERT_TRUE(owner.WaitForType(GSM_SMS_RECEIVED));
    const Posted sms = owner.OfType(GSM_SMS_RECEIVED).at(0);
    EXPECT_EQ(sms.smsNumber, "+358401234567");
    EXPECT_EQ(sms.smsDate, "24/05/01");
    EXPECT_EQ(sms.smsTime, "12:34:56+12");
    EXPECT_EQ(sms.smsText, "#TEST Hiss 7 ö");
    EXPECT_EQ(sms.note, "stored") << "deleted from the modem before its owner had it";
    ASSERT_TRUE(modem->WaitForCommands("AT+CMGD=", 1));
    EXPECT_EQ(Texts(modem->CommandsStartingWith("AT+CMGD=")), std::vector<std::string>{"AT+CMGD=3"});

    RunCycles(3);
    EXPECT_EQ(owner.OfType(GSM_SMS_RECEIVED).size(), 1u);
}

TEST_F(GsmHandlerTest, TwoSmsOfOneListingComeInTwoCycles)
{
    modem->Store({1, "REC READ", "+3581", "24/05/01", "10:00:00+12", "first"});
    modem->Store({2, "REC UNREAD", "+3582", "24/05/01", "10:00:05+12", "second\rline"});
    owner.onPost = [this](const Posted& p) {
        const bool stored = p.type == GSM_SMS_RECEIVED && modem->IsStored(p.smsNumber == "+3581" ? 1 : 2);
        return std::string(stored ? "stored" : "");
    };
    StartAndWaitReady();
    ASSERT_TRUE(owner.WaitForType(GSM_SMS_RECEIVED, 2));
    const std::vector<Posted> received = owner.OfType(GSM_SMS_RECEIVED);
    EXPECT_EQ(received[0].smsText, "first");
    EXPECT_EQ(received[1].smsText, "second\rline");
    EXPECT_EQ(received[0].note, "stored");
    EXPECT_EQ(received[1].note, "stored");

    // Each was deleted after its own listing: a listing lies between them.
    ASSERT_TRUE(modem->WaitForCommands("AT+CMGD=", 2));
    const auto deletes = modem->CommandsStartingWith("AT+CMGD=");
    ASSERT_EQ(Texts(deletes), (std::vector<std::string>{"AT+CMGD=1", "AT+CMGD=2"}));
    const auto listings = modem->CommandsStartingWith("AT+CMGL=");
    const auto between = std::count_if(listings.begin(), listings.end(), [&](const auto& l) {
        return l.tick > deletes[0].tick && l.tick <= deletes[1].tick;
    });
    EXPECT_EQ(between, 1);
    EXPECT_GT(received[1].tick, received[0].tick);
}

// The answer to the delete is garbled: the modem may have deleted the SMS or
// kept it. Either way the alarm is handed on exactly once, and an SMS that
// is listed again is deleted without being handed on a second time.
struct LostDeleteCase {
    const char* name;
    bool modemDeletedIt;
};

class GsmLostDeleteTest : public GsmHandlerTest, public ::testing::WithParamInterface<LostDeleteCase> {};

TEST_P(GsmLostDeleteTest, SmsIsHandedOnOnce)
{
    const bool deleted = GetParam().modemDeletedIt;
    modem->Store({4, "REC UNREAD", "+3584", "24/05/01", "11:00:00+12", "#P100:2B"});
    // The modem calls its script on its own thread, also after this body.
    auto deleteAttempts = std::make_shared<std::atomic<int>>(0);
    modem->SetScript([deleted, deleteAttempts](const std::string& command) -> std::optional<std::string> {
        if (command.rfind("AT+CMGD=", 0) == 0 && ++*deleteAttempts == 1)
            return std::string("\r\n+CM#S ERR\x01\r\n");  // garbled: no OK comes
        if (deleted && *deleteAttempts > 0 && command.rfind("AT+CMGL", 0) == 0)
            return std::string("\r\nOK\r\n");  // it is gone
        return std::nullopt;
    });
    StartAndWaitReady();
    ASSERT_TRUE(owner.WaitForType(GSM_SMS_RECEIVED));
    if (!deleted)
        ASSERT_TRUE(modem->WaitForCommands("AT+CMGD=", 2)) << "the SMS listed again was not deleted";
    else
        ASSERT_TRUE(modem->WaitForCommands("AT+CMGL", 3));
    RunCycles(3);
    EXPECT_EQ(owner.OfType(GSM_SMS_RECEIVED).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Cases, GsmLostDeleteTest,
                         ::testing::Values(LostDeleteCase{"ModemDeletedIt", true},
                                           LostDeleteCase{"ModemKeptIt", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The modem refuses to delete an SMS (plain ERROR, or +CMS ERROR with
// extended error reports on). That is an answer, not a silent modem: the
// alarm has been handed on, and the SMS behind it is read all the same.
struct RefusedDeleteCase {
    const char* name;
    const char* answer;
};

void PrintTo(const RefusedDeleteCase& c, std::ostream* os)
{
    *os << c.name;
}

class GsmRefusedDeleteTest : public GsmHandlerTest, public ::testing::WithParamInterface<RefusedDeleteCase> {};

TEST_P(GsmRefusedDeleteTest, SmsBehindARefusedOneIsRead)
{
    modem->Store({1, "REC UNREAD", "+3581", "24/05/01", "10:00:00+12", "#TEST first"});
    modem->Store({2, "REC UNREAD", "+3582", "24/05/01", "10:00:05+12", "#TEST second"});
    const std::string answer = GetParam().answer;
    modem->SetScript([answer](const std::string& command) -> std::optional<std::string> {
        if (command == "AT+CMGD=1")
            return answer;  // and the SMS stays
        return std::nullopt;
    });
    StartAndWaitReady();
    ASSERT_TRUE(owner.WaitForType(GSM_SMS_RECEIVED, 2)) << "the SMS behind the refused one never came";
    ASSERT_TRUE(modem->WaitForCommands("AT+CMGD=2", 1));
    RunCycles(3);

    const std::vector<Posted> received = owner.OfType(GSM_SMS_RECEIVED);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].smsText, "#TEST first");
    EXPECT_EQ(received[1].smsText, "#TEST second");
    EXPECT_TRUE(modem->IsStored(1));
    EXPECT_FALSE(modem->IsStored(2));
    EXPECT_TRUE(owner.Status(GHM_STATUS_COM_WARNING).empty());
    EXPECT_EQ(modem->CommandsStartingWith("ATE0").size(), 1u) << "the modem was initialised again";
}

INSTANTIATE_TEST_SUITE_P(Cases, GsmRefusedDeleteTest,
                         ::testing::Values(RefusedDeleteCase{"Error", "\r\nERROR\r\n"},
                                           RefusedDeleteCase{"CmsError", "\r\n+CMS ERROR: 321\r\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A refused SMS is deleted again once nothing else waits. Deletions that keep
// failing fill the modem's store, where new alarms would find no room: the
// operator is alarmed once, and the signal shows again afterwards.
TEST_F(GsmHandlerTest, DeletionsThatKeepFailingAlarmTheOperatorOnce)
{
    modem->Store({1, "REC UNREAD", "+3581", "24/05/01", "10:00:00+12", "#TEST stuck"});
    auto refuse = std::make_shared<std::atomic<bool>>(true);
    modem->SetScript([refuse](const std::string& command) -> std::optional<std::string> {
        if (*refuse && command.rfind("AT+CMGD=", 0) == 0)
            return std::string("\r\nERROR\r\n");
        return std::nullopt;
    });
    StartAndWaitReady();
    ASSERT_TRUE(owner.WaitForStatus(GHM_STATUS_COM_FAILURE)) << "refused deletions never reached the operator";
    const uint32_t alarmed = owner.Status(GHM_STATUS_COM_FAILURE).at(0).tick;
    std::size_t refusedBefore = 0;
    for (const auto& command : modem->CommandsStartingWith("AT+CMGD="))
        refusedBefore += command.tick <= alarmed ? 1 : 0;
    EXPECT_EQ(refusedBefore, static_cast<std::size_t>(CGsmHandler::kRefusedDeletions));

    ASSERT_TRUE(modem->WaitForCommands("AT+CMGD=", refusedBefore + 5));
    EXPECT_EQ(owner.Status(GHM_STATUS_COM_FAILURE).size(), 1u);
    EXPECT_EQ(owner.OfType(GSM_SMS_RECEIVED).size(), 1u);
    EXPECT_TRUE(owner.Status(GHM_STATUS_COM_WARNING).empty());
    bool signalShownAgain = false;
    for (const Posted& p : owner.Status(GHM_STATUS_COM_OK))
        signalShownAgain = signalShownAgain || (p.tick > alarmed && p.signal == 100);
    EXPECT_TRUE(signalShownAgain);

    *refuse = false;
    ASSERT_TRUE(owner.WaitFor([&] { return !modem->IsStored(1); }));
    RunCycles(3);
    EXPECT_EQ(owner.OfType(GSM_SMS_RECEIVED).size(), 1u);
    EXPECT_EQ(owner.Status(GHM_STATUS_COM_FAILURE).size(), 1u);
}

// --- Sending -----------------------------------------------------------------

TEST_F(GsmHandlerTest, RecipientListGivesOneSmsPerNumber)
{
    StartAndWaitReady();
    Queue(MSG_GUI_SEND_ALARM_SMS, "+358 40 123 4567, ;040 765 4321", "Lift 3\r\nAlarm");
    ASSERT_TRUE(modem->WaitForCommands("TEXT:", 2));
    RunCycles(4);
    const auto sent = modem->Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].number, "+358401234567");
    EXPECT_EQ(sent[1].number, "0407654321");
    EXPECT_EQ(sent[0].text, "Lift 3\nAlarm");
    EXPECT_EQ(sent[1].text, "Lift 3\nAlarm");
    // Each number has its own result, without the send-SMS window's request id.
    const std::vector<Posted> results = owner.Status(GHM_STATUS_SMS_SENT);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].recipients, "+358401234567");
    EXPECT_EQ(results[1].recipients, "0407654321");
    EXPECT_EQ(results[0].requestId, 0);
    EXPECT_EQ(owner.Status(GHM_STATUS_SENDING_SMS).size(), 2u);
}

// The manager splits the numbers of an alarm with the same function: both
// must agree on what a number is.
TEST(GsmSplitNumbers, SeparatorsBlanksAndEmptyEntries)
{
    struct Case {
        std::string recipients;
        std::vector<std::string> numbers;
    };
    const std::vector<Case> cases = {
        {"+358 40 123 4567, ;040 765 4321", {"+358401234567", "0407654321"}},
        {"0701\n0702\r\n0703", {"0701", "0702", "0703"}},
        {" ,; \t", {}},
        {"", {}},
        {"+46700000001", {"+46700000001"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CGsmHandler::SplitNumbers(c.recipients), c.numbers) << c.recipients;
}

TEST_F(GsmHandlerTest, NothingIsSentWhileNotRegistered)
{
    modem->SetRegistration(2);
    StartAndWaitReady();
    Queue(MSG_GUI_SEND_ALARM_SMS, "+3581", "wait");
    RunCycles(5);
    EXPECT_TRUE(modem->CommandsStartingWith("AT+CMGS=").empty());
    modem->SetRegistration(5);  // roaming will do
    ASSERT_TRUE(modem->WaitForCommands("TEXT:", 1));
}

struct RetryCase {
    const char* name;
    std::vector<Outcome> outcomes;
    std::size_t attempts;
    int16_t result;        // for the free-form request
    std::size_t warnings;  // communication failures reported
};

void PrintTo(const RetryCase& c, std::ostream* os)
{
    *os << c.name;
}

class GsmHandlerRetryTest : public GsmHandlerTest, public testing::WithParamInterface<RetryCase> {};

TEST_P(GsmHandlerRetryTest, AttemptsAndResult)
{
    const RetryCase& c = GetParam();
    modem->SetOutcomesFor("+3581", c.outcomes);
    StartAndWaitReady();
    Queue(MSG_GUI_SEND_FREEFORMAT_SMS, "+3581", "Test message", 1);
    Queue(MSG_GUI_SEND_FREEFORMAT_SMS, "+3582", "Next in line", 1);

    // The next SMS in line is sent whatever becomes of the first (a refused
    // one waits behind it); both get their result.
    ASSERT_TRUE(owner.WaitFor([&] {
        std::size_t done = 0;
        for (const Posted& p : owner.OfType(GSM_STATUS))
            done += p.code == GHM_STATUS_SMS_SENT || p.code == GHM_STATUS_SMS_FAILED ? 1 : 0;
        return done >= 2;
    }));
    RunCycles(2);
    EXPECT_EQ(owner.Status(GHM_STATUS_SMS_SENT).size() + owner.Status(GHM_STATUS_SMS_FAILED).size(), 2u);

    std::size_t attempts = 0;
    for (const auto& command : modem->CommandsStartingWith("AT+CMGS="))
        attempts += command.text == "AT+CMGS=\"+3581\"" ? 1 : 0;
    EXPECT_EQ(attempts, c.attempts);

    std::vector<Posted> results;
    for (const Posted& p : owner.OfType(GSM_STATUS))
        if ((p.code == GHM_STATUS_SMS_SENT || p.code == GHM_STATUS_SMS_FAILED) && p.recipients == "+3581")
            results.push_back(p);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].code, c.result);
    EXPECT_EQ(results[0].requestId, 1);
    EXPECT_EQ(results[0].attempts, c.result == GHM_STATUS_SMS_SENT ? c.attempts - 1 : c.attempts);
    EXPECT_EQ(owner.Status(GHM_STATUS_COM_WARNING).size(), c.warnings);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GsmHandlerRetryTest,
    testing::Values(
        RetryCase{"SentAtOnce", {Outcome::Sent}, 1, GHM_STATUS_SMS_SENT, 0},
        RetryCase{"ThreeErrorsThenSent",
                  {Outcome::Error, Outcome::Error, Outcome::Error, Outcome::Sent},
                  4,
                  GHM_STATUS_SMS_SENT,
                  0},
        RetryCase{"FourErrorsDropIt",
                  {Outcome::Error, Outcome::Error, Outcome::Error, Outcome::Error},
                  4,
                  GHM_STATUS_SMS_FAILED,
                  0},
        RetryCase{"NumberRefusedCountsAsAnAttempt", {Outcome::PromptError, Outcome::Sent}, 2, GHM_STATUS_SMS_SENT, 0},
        // A modem that stops answering in the middle of the SMS: it is kept
        // and sent after the re-initialisation.
        RetryCase{"ResultLostThenSent", {Outcome::NoResult, Outcome::Sent}, 2, GHM_STATUS_SMS_SENT, 1},
        RetryCase{"PromptLostThenSent", {Outcome::NoPrompt, Outcome::Sent}, 2, GHM_STATUS_SMS_SENT, 1},
        RetryCase{"FourLostAttemptsDropIt",
                  {Outcome::NoPrompt, Outcome::NoResult, Outcome::Error, Outcome::NoResult},
                  4,
                  GHM_STATUS_SMS_FAILED,
                  3}),
    [](const testing::TestParamInfo<RetryCase>& info) { return info.param.name; });

// The outgoing queue: a new alarm's SMS goes ahead of those left from before
// (an emergency alarm's ahead of a technical one's), and an SMS the modem
// refused goes behind the new ones, at the precedence of a left-over. All
// requests are queued before the modem is ready, so the queue holds them all
// when the first is taken.
struct OrderCase {
    const char* name;
    struct Request {
        std::string number;
        uint8_t precedence;  // 3 new emergency, 2 new technical, 1 and 0 their left-overs
        std::vector<Outcome> outcomes;
    };
    std::vector<Request> requests;
    std::vector<std::string> attempts;  // the numbers, in the order they are tried
};

void PrintTo(const OrderCase& c, std::ostream* os)
{
    *os << c.name;
}

class GsmSendOrderTest : public GsmHandlerTest, public testing::WithParamInterface<OrderCase> {};

TEST_P(GsmSendOrderTest, AttemptOrder)
{
    const OrderCase& c = GetParam();
    for (const auto& r : c.requests) {
        modem->SetOutcomesFor(r.number, r.outcomes);
        QueueJob(r.number, "job-" + r.number, "", r.precedence);
    }
    StartAndWaitReady();
    ASSERT_TRUE(owner.WaitForStatus(GHM_STATUS_SMS_SENT, c.requests.size()));
    RunCycles(2);
    EXPECT_EQ(AttemptOrder(), c.attempts);
    EXPECT_TRUE(owner.Status(GHM_STATUS_SMS_FAILED).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GsmSendOrderTest,
    testing::Values(OrderCase{"RefusedOnceGoesBehindTheNewOne",
                              {{"+3581", 2, {Outcome::Error}}, {"+3582", 2, {}}},
                              {"+3581", "+3582", "+3581"}},
                    OrderCase{"NumberRefusedGoesBehindTheNewOne",
                              {{"+3581", 2, {Outcome::PromptError}}, {"+3582", 2, {}}},
                              {"+3581", "+3582", "+3581"}},
                    OrderCase{
                        "NewAheadOfLeftOversEmergencyFirst",
                        {{"+3581", 0, {}}, {"+3582", 2, {}}, {"+3583", 3, {}}, {"+3584", 1, {}}, {"+3585", 2, {}}},
                        {"+3583", "+3582", "+3585", "+3584", "+3581"}},
                    OrderCase{"RefusedEmergencyBehindNewTechnicalAheadOfLeftOvers",
                              {{"+3581", 3, {Outcome::Error}}, {"+3582", 2, {}}, {"+3583", 0, {}}},
                              {"+3581", "+3582", "+3581", "+3583"}},
                    OrderCase{"RefusedTwiceStaysALeftOver",
                              {{"+3581", 3, {Outcome::Error, Outcome::Error}}, {"+3582", 1, {}}, {"+3583", 0, {}}},
                              {"+3581", "+3582", "+3581", "+3581", "+3583"}},
                    // Free-form SMS keep plain first-in-first-out order.
                    OrderCase{"FreeFormRefusedGoesToTheEnd",
                              {{"+3581", 0, {Outcome::Error}}, {"+3582", 0, {}}, {"+3583", 0, {}}},
                              {"+3581", "+3582", "+3583", "+3581"}},
                    // A modem that stops answering is no refusal: the SMS stays first.
                    OrderCase{"ComErrorKeepsItFirst",
                              {{"+3581", 2, {Outcome::NoResult}}, {"+3582", 2, {}}},
                              {"+3581", "+3581", "+3582"}}),
    [](const testing::TestParamInfo<OrderCase>& info) { return info.param.name; });

// The outbox file of an alarm SMS goes the moment the modem answers "+CMGS:",
// before the result is posted; a refusal or a silent modem leaves it, and so
// does the final failure (the manager settles that one). Every message the
// handler posts notes whether the file was there at that moment.
struct JobFileCase {
    const char* name;
    std::vector<Outcome> outcomes;
    int16_t result;
};

void PrintTo(const JobFileCase& c, std::ostream* os)
{
    *os << c.name;
}

class GsmJobFileTest : public GsmHandlerTest, public testing::WithParamInterface<JobFileCase> {};

TEST_P(GsmJobFileTest, FileGoesOnlyWithTheModemsAnswer)
{
    const JobFileCase& c = GetParam();
    const std::string file = dir / "r1-7-sms1.job";
    std::ofstream(file) << "job";
    owner.onPost = [file](const Posted&) { return std::string(std::filesystem::exists(file) ? "kept" : "gone"); };
    modem->SetOutcomes(c.outcomes);
    QueueJob("+3581", "r1-7-sms1.job", file, 2);
    StartAndWaitReady();
    const int16_t other = c.result == GHM_STATUS_SMS_SENT ? GHM_STATUS_SMS_FAILED : GHM_STATUS_SMS_SENT;
    ASSERT_TRUE(owner.WaitForStatus(c.result));

    const std::vector<Posted> all = owner.All();
    const auto result = std::find_if(all.begin(), all.end(),
                                     [&](const Posted& p) { return p.type == GSM_STATUS && p.code == c.result; });
    ASSERT_NE(result, all.end());
    EXPECT_EQ(result->jobName, "r1-7-sms1.job");
    EXPECT_EQ(result->recipients, "+3581");
    EXPECT_EQ(result->requestId, 0);
    EXPECT_EQ(result->note, c.result == GHM_STATUS_SMS_SENT ? "gone" : "kept");
    for (auto p = all.begin(); p != result; ++p)
        EXPECT_EQ(p->note, "kept") << "code " << p->code << " at " << p->tick;
    EXPECT_EQ(std::filesystem::exists(file), c.result != GHM_STATUS_SMS_SENT);
    EXPECT_TRUE(owner.Status(other).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GsmJobFileTest,
    testing::Values(JobFileCase{"SentAtOnce", {Outcome::Sent}, GHM_STATUS_SMS_SENT},
                    JobFileCase{"RefusedThenSent", {Outcome::Error, Outcome::Sent}, GHM_STATUS_SMS_SENT},
                    JobFileCase{"NumberRefusedThenSent", {Outcome::PromptError, Outcome::Sent}, GHM_STATUS_SMS_SENT},
                    JobFileCase{"ResultLostThenSent", {Outcome::NoResult, Outcome::Sent}, GHM_STATUS_SMS_SENT},
                    JobFileCase{"PromptLostThenSent", {Outcome::NoPrompt, Outcome::Sent}, GHM_STATUS_SMS_SENT},
                    JobFileCase{"RefusedFourTimes",
                                {Outcome::Error, Outcome::Error, Outcome::Error, Outcome::Error},
                                GHM_STATUS_SMS_FAILED}),
    [](const testing::TestParamInfo<JobFileCase>& info) { return info.param.name; });

// A file that cannot be removed does not keep the SMS from being reported
// as sent (the manager removes it again and reports the trouble).
TEST_F(GsmHandlerTest, JobFileThatCannotBeRemovedStillGivesTheResult)
{
    const std::string folder = dir / "not-a-file.job";
    std::filesystem::create_directory(folder);  // unlink refuses a folder
    QueueJob("+3581", "not-a-file.job", folder, 2);
    StartAndWaitReady();
    ASSERT_TRUE(owner.WaitForStatus(GHM_STATUS_SMS_SENT));
    EXPECT_EQ(owner.Status(GHM_STATUS_SMS_SENT).at(0).jobName, "not-a-file.job");
    EXPECT_EQ(modem->Sent().size(), 1u);
}

TEST_F(GsmHandlerTest, SmsInterruptedByAComErrorIsSentAfterTheReinitialisation)
{
    modem->SetOutcomes({Outcome::NoResult});
    StartAndWaitReady();
    Queue(MSG_GUI_SEND_ALARM_SMS, "+3581", "Trapped in lift 4");
    ASSERT_TRUE(modem->WaitForCommands("TEXT:", 2));
    const auto texts = modem->CommandsStartingWith("TEXT:");
    const auto inits = modem->CommandsStartingWith("ATE0");
    ASSERT_GE(inits.size(), 2u);
    // The second attempt follows the second initialisation, 60 s of silence
    // and a 5 s pause after the first.
    EXPECT_GT(texts[1].tick, inits[1].tick);
    EXPECT_GE(texts[1].tick - texts[0].tick, 65000u);
    EXPECT_EQ(modem->Sent().at(1).number, "+3581");
    EXPECT_EQ(modem->Sent().at(1).text, "Trapped in lift 4");
    RunCycles(3);
    EXPECT_EQ(modem->Sent().size(), 2u);
}

TEST_F(GsmHandlerTest, SmsBeingSentSurvivesARestart)
{
    modem->SetOutcomes({Outcome::NoResult});
    StartAndWaitReady();
    Queue(MSG_GUI_SEND_FREEFORMAT_SMS, "+3581", "Alarm", 1);
    ASSERT_TRUE(modem->WaitForCommands("TEXT:", 1));
    ASSERT_EQ(handler.Stop(), HNDRET_STOPPED);

    Start();
    ASSERT_TRUE(owner.WaitForStatus(GHM_STATUS_SMS_SENT));
    EXPECT_EQ(modem->Sent().size(), 2u);
    EXPECT_EQ(owner.Status(GHM_STATUS_SMS_SENT).at(0).recipients, "+3581");
}

// A stop while the modem waits for the text of an SMS (here its prompt got
// lost): the modem still takes everything for text when the handler starts
// again, until the ESC that opens the initialisation ends the text input.
TEST_F(GsmHandlerTest, RestartWhileTheModemWaitsForTheText)
{
    modem->SetOutcomes({Outcome::NoPrompt});
    StartAndWaitReady();
    Queue(MSG_GUI_SEND_ALARM_SMS, "+3581", "Alarm");
    ASSERT_TRUE(modem->WaitForCommands("AT+CMGS=", 1));
    ASSERT_EQ(handler.Stop(), HNDRET_STOPPED);

    Start();
    ASSERT_TRUE(modem->WaitForCommands("TEXT:", 1));
    EXPECT_EQ(modem->Sent().at(0).text, "Alarm");
    EXPECT_EQ(modem->CommandsStartingWith("CANCELLED:").size(), 1u);
    EXPECT_TRUE(owner.Status(GHM_STATUS_COM_WARNING).empty());
}

// Sending shares the timer with the pause of the idle state. An SMS that
// arrives while one is sent is read right after the result, not after the
// minute that the wait for the result may take.
struct ReadAfterSendCase {
    const char* name;
    Outcome outcome;
};

void PrintTo(const ReadAfterSendCase& c, std::ostream* os)
{
    *os << c.name;
}

class GsmReadAfterSendTest : public GsmHandlerTest, public ::testing::WithParamInterface<ReadAfterSendCase> {};

TEST_P(GsmReadAfterSendTest, ReceivedSmsIsReadRightAfterTheResult)
{
    modem->SetOutcomes({GetParam().outcome});
    modem->StoreWhenSent({5, "REC UNREAD", "+3585", "24/05/01", "10:00:00+12", "#TEST arrived"});
    StartAndWaitReady();
    RunCycles(1);
    Queue(MSG_GUI_SEND_ALARM_SMS, "+3581", "Alarm");
    ASSERT_TRUE(owner.WaitForType(GSM_SMS_RECEIVED));
    const uint32_t sent = modem->CommandsStartingWith("TEXT:").at(0).tick;
    EXPECT_LE(owner.OfType(GSM_SMS_RECEIVED).at(0).tick - sent, 2000u);
}

INSTANTIATE_TEST_SUITE_P(Cases, GsmReadAfterSendTest,
                         ::testing::Values(ReadAfterSendCase{"Sent", Outcome::Sent},
                                           ReadAfterSendCase{"Refused", Outcome::Error}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Network and signal --------------------------------------------------------

TEST_F(GsmHandlerTest, SignalIsReportedWhenItChangesAndAfterEverySms)
{
    modem->SetRssi(13);
    StartAndWaitReady();
    const auto signalReports = [&](int16_t signal) {
        std::size_t n = 0;
        for (const Posted& p : owner.Status(GHM_STATUS_COM_OK))
            n += p.signal == signal ? 1 : 0;
        return n;
    };
    RunCycles(5);
    EXPECT_EQ(signalReports(50), 1u);

    Queue(MSG_GUI_SEND_ALARM_SMS, "+3581", "one");
    ASSERT_TRUE(modem->WaitForCommands("TEXT:", 1));
    RunCycles(4);
    EXPECT_EQ(signalReports(50), 2u);

    modem->SetRssi(20);
    RunCycles(4);
    EXPECT_EQ(signalReports(100), 1u);

    // Losing the network shows "no network" once; the signal is shown again
    // when the modem is back, even if it is the same as before.
    modem->SetRegistration(0);
    RunCycles(4);
    const std::size_t noNet = signalReports(0);
    modem->SetRegistration(1);
    RunCycles(4);
    EXPECT_EQ(signalReports(0), noNet);
    EXPECT_EQ(signalReports(100), 2u);
    EXPECT_EQ(noNet, 2u);  // one after the initialisation, one for the lost network
}

TEST_F(GsmHandlerTest, SilentSignalQueryIsAskedFourTimes)
{
    auto mute = std::make_shared<std::atomic<bool>>(false);
    modem->SetScript([mute](const std::string& command) -> std::optional<std::string> {
        if (*mute && command == "AT+CSQ")
            return std::string();
        return std::nullopt;
    });
    StartAndWaitReady();
    RunCycles(1);
    *mute = true;
    const std::size_t before = modem->CommandsStartingWith("AT+CSQ").size();
    ASSERT_TRUE(owner.WaitForStatus(GHM_STATUS_COM_WARNING));
    EXPECT_EQ(modem->CommandsStartingWith("AT+CSQ").size() - before, 4u);
}

// --- Callers -------------------------------------------------------------------

TEST_F(GsmHandlerTest, CallerRingingFor40sIsReportedOnce)
{
    StartAndWaitReady();
    RunCycles(1);
    const uint32_t start = clock.GetTickCount();
    modem->Ring("0401112222", 1000, 5000, 9);  // rings at 1 s ... 41 s
    const uint32_t lastRing = start + 1000 + 8 * 5000;
    ASSERT_TRUE(clock.WaitUntil(lastRing + 15000, 20s));
    RunCycles(1);

    const auto callers = owner.OfType(GSM_CALLER_ID);
    ASSERT_EQ(callers.size(), 1u);
    EXPECT_EQ(callers[0].smsNumber, "+0401112222");
    EXPECT_EQ(modem->CommandsStartingWith("AT+CLCC").size(), 9u);

    // Back to the network checks 10 s after the last ring, not before.
    const uint32_t firstList = modem->CommandsStartingWith("AT+CLCC").at(0).tick;
    uint32_t firstCheckAfter = 0;
    for (const auto& c : modem->CommandsStartingWith("AT+CREG?")) {
        if (c.tick > firstList) {
            firstCheckAfter = c.tick;
            break;
        }
    }
    EXPECT_GE(firstCheckAfter, lastRing + 10000);
    EXPECT_LE(firstCheckAfter, lastRing + 12500);
}

TEST_F(GsmHandlerTest, CallerHangingUpBeforeTheListIsNoComFailure)
{
    StartAndWaitReady();
    RunCycles(1);
    modem->Ring("", 500, 5000, 1);  // nobody listed
    ASSERT_TRUE(modem->WaitForCommands("AT+CLCC", 1));
    RunCycles(3);
    EXPECT_TRUE(owner.Status(GHM_STATUS_COM_WARNING).empty());
    EXPECT_TRUE(owner.OfType(GSM_CALLER_ID).empty());
}

TEST_F(GsmHandlerTest, CallerCheckOffIgnoresRings)
{
    Start("", false);
    ASSERT_TRUE(owner.WaitForStatus(GHM_STATUS_COM_OK));
    modem->Ring("0401112222", 500, 3000, 3);
    RunFor(12000);
    RunCycles(2);
    EXPECT_TRUE(modem->CommandsStartingWith("AT+CLCC").empty());
    EXPECT_TRUE(owner.OfType(GSM_CALLER_ID).empty());
}

// --- Failures ------------------------------------------------------------------

TEST_F(GsmHandlerTest, SilentModemGivesOneWarningAndOneFailureReport)
{
    modem->SetSilent(true);
    Start();
    // Thirteen failed cycles: one warning, then time-outs only, and the
    // failure report once, at the end of the eleventh.
    ASSERT_TRUE(owner.WaitFor([&] {
        return owner.Status(GHM_STATUS_COM_WARNING).size() + owner.Status(GHM_STATUS_COM_TIMEOUT).size() >= 13 &&
               owner.Status(GHM_STATUS_INITIALIZING).size() >= 14;
    }));
    std::vector<int16_t> codes = owner.Codes();
    EXPECT_EQ(owner.Status(GHM_STATUS_COM_WARNING).size(), 1u);
    EXPECT_EQ(owner.Status(GHM_STATUS_COM_FAILURE).size(), 1u);
    EXPECT_TRUE(owner.Status(GHM_STATUS_COM_OK).empty());
    std::size_t errorsBeforeFailure = 0;
    for (int16_t code : codes) {
        if (code == GHM_STATUS_COM_FAILURE)
            break;
        errorsBeforeFailure += (code == GHM_STATUS_COM_WARNING || code == GHM_STATUS_COM_TIMEOUT) ? 1 : 0;
    }
    EXPECT_EQ(errorsBeforeFailure, 11u);
    EXPECT_EQ(codes.at(0), GHM_STATUS_INITIALIZING);
    EXPECT_EQ(codes.at(1), GHM_STATUS_COM_WARNING);

    // Each cycle: 1 s for the unanswered AT, 5 s of pause, and the half
    // second after the ESC that opens every initialisation.
    const auto ats = modem->CommandsStartingWith("AT");
    ASSERT_GE(ats.size(), 2u);
    EXPECT_GE(ats[1].tick - ats[0].tick, 6500u);
    EXPECT_LE(ats[1].tick - ats[0].tick, 6600u);

    // The modem answers again: the next failure warns again.
    modem->SetSilent(false);
    ASSERT_TRUE(owner.WaitForStatus(GHM_STATUS_COM_OK));
    modem->SetSilent(true);
    ASSERT_TRUE(owner.WaitForStatus(GHM_STATUS_COM_WARNING, 2));
    EXPECT_EQ(owner.Status(GHM_STATUS_COM_FAILURE).size(), 1u);
}

TEST_F(GsmHandlerTest, ModemThatDisappearsIsFoundAgain)
{
    StartAndWaitReady();
    RunCycles(1);
    modem->HangUp();
    ASSERT_TRUE(owner.WaitForStatus(GHM_STATUS_COM_WARNING));
    ASSERT_TRUE(owner.WaitForStatus(GHM_STATUS_COM_TIMEOUT, 2));
    Queue(MSG_GUI_SEND_ALARM_SMS, "+3581", "Queued while away");

    // A new adapter on the same port name.
    modem.reset();
    pty = std::make_unique<Pty>(Pty::Watch::Slave);
    pty->LinkAs(dir.Path(), kPort);
    modem = std::make_unique<FakeGsmModem>(*pty, clock);
    const std::size_t okBefore = owner.Status(GHM_STATUS_COM_OK).size();
    ASSERT_TRUE(owner.WaitForStatus(GHM_STATUS_COM_OK, okBefore + 1));
    ASSERT_TRUE(modem->WaitForCommands("TEXT:", 1));
    EXPECT_EQ(modem->Sent().at(0).text, "Queued while away");
    EXPECT_EQ(handler.Stop(), HNDRET_STOPPED);
}

TEST_F(GsmHandlerTest, GarbageFromTheModemInventsNothing)
{
    // The modem calls its script on its own thread, also after this body.
    auto random = std::make_shared<std::mt19937>(11);
    modem->SetScript([random](const std::string&) -> std::optional<std::string> {
        std::mt19937& next = *random;
        std::string noise;
        const int pieces = static_cast<int>(next() % 6);
        for (int i = 0; i < pieces; ++i) {
            switch (next() % 6) {
            case 0:
                noise += "\r\n+CMGL: " + std::to_string(next() % 5) + ",\"REC\",\"+1\",,\"x\",145,3\r\nabc";
                break;
            case 1:
                noise += "\r\n+CLCC: 1,1";
                break;
            case 2:
                noise += "\r\n";
                break;
            default:
                for (int j = static_cast<int>(next() % 40); j > 0; --j)
                    noise += static_cast<char>(next() % 256);
            }
        }
        return noise;
    });
    Start();
    ASSERT_TRUE(owner.WaitFor([&] { return owner.Status(GHM_STATUS_INITIALIZING).size() >= 5; }));
    EXPECT_TRUE(owner.OfType(GSM_SMS_RECEIVED).empty());
    EXPECT_TRUE(owner.OfType(GSM_CALLER_ID).empty());
    EXPECT_EQ(owner.Status(GHM_STATUS_COM_WARNING).size(), 1u);
    EXPECT_EQ(handler.Stop(), HNDRET_STOPPED);
}

}  // namespace
