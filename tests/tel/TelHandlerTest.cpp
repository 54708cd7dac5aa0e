// The telephone handler with a fake modem link: its loop is stepped on the
// test's thread with the fake clock (the state machine, the request operations
// and the messages), and its thread is started for real for the start and
// stop handshake.

#include "tel/TelHandler.h"

#include "core/TextLookup.h"
#include "core/ThreadQueue.h"
#include "support/FakeTickSource.h"
#include "support/TempDir.h"
#include "support/TestDictionary.h"
#include "support/WaitFor.h"
#include "tel/FakeLink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr uint8_t kLine = STATUS_LINE;
constexpr uint8_t kSeized = STATUS_LINE | STATUS_CONNECTED;
constexpr uint8_t kBusy = STATUS_LINE | STATUS_CONNECTED | STATUS_BUSY;

// The owner's side: keeps what the handler posts.
struct Inbox : CMsgReceiver {
    void ReceiveMsg(std::unique_ptr<CMsg> msg) override { queue.Add(std::move(msg)); }
    std::vector<std::unique_ptr<CTelHandlerMsg>> Take()
    {
        std::vector<std::unique_ptr<CTelHandlerMsg>> msgs;
        while (std::unique_ptr<CMsg> msg = queue.Get()) {
            if (auto* tel = dynamic_cast<CTelHandlerMsg*>(msg.get())) {
                msg.release();
                msgs.emplace_back(tel);
            }
        }
        return msgs;
    }
    CThreadQueue queue;
};

// Opens the handler's loop to the test.
class SteppedTelHandler : public CTelHandler {
public:
    void Prepare()
    {
        CreateLogAndLink();
        InitParts();
    }
    using CTelHandler::HandleNextMsg;
    using CTelHandler::IncomingCallMgr;
    using CTelHandler::RunPass;
};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class TelHandlerTest : public EnglishDictionaryTest {
protected:
    void SetUp() override
    {
        dir.WorkIn();
        handler.SetOwner(&owner);
        handler.SetLinkFactory([this](int16_t, int32_t) {
            ++linksMade;
            int16_t report = HNDRET_STARTED;
            if (!linkStartReports.empty()) {
                report = linkStartReports.front();
                linkStartReports.pop_front();
            }
            auto fake = std::make_unique<FakeLink>(nullptr, report);
            // A link that will not start is destroyed by the handler at once.
            link = report == HNDRET_STARTED ? fake.get() : nullptr;
            return fake;
        });
        // Port 3, one ring, P100 only, voice calls on, redirect 1, network 4.
        handler.SetConfig(3, 9600, 1, true, false, true, 1, 4);
        handler.Prepare();
    }

    // One pass of the loop, 10 ms later.
    void Pass()
    {
        clock.Advance(10);
        handler.RunPass();
    }
    void Deliver(std::unique_ptr<CMsg> msg)
    {
        CHandler::PostMsg(&handler, std::move(msg));
        Pass();
    }
    void Wait(uint32_t ms)
    {
        for (uint32_t t = 0; t < ms; t += 10)
            Pass();
    }
    // Passes until the condition holds, at most limitMs.
    bool PassUntil(const std::function<bool()>& cond, uint32_t limitMs = 30000)
    {
        for (uint32_t t = 0; t < limitMs; t += 10) {
            if (cond())
                return true;
            Pass();
        }
        return cond();
    }

    // Every frame the handler sent so far, oldest first.
    const std::vector<std::unique_ptr<CComMsg>>& Sent()
    {
        if (link)
            for (auto& frame : link->TakeFrames())
                sent.push_back(std::move(frame));
        return sent;
    }
    size_t CountSent(uint8_t command)
    {
        size_t n = 0;
        for (const auto& frame : Sent())
            n += frame->GetCommand() == command ? 1 : 0;
        return n;
    }
    const CComMsg* LastSent(uint8_t command)
    {
        const CComMsg* found = nullptr;
        for (const auto& frame : Sent())
            if (frame->GetCommand() == command)
                found = frame.get();
        return found;
    }

    // Notifications since the last call, as (code, text).
    std::vector<std::pair<int16_t, std::string>> Notes()
    {
        std::vector<std::pair<int16_t, std::string>> notes;
        for (auto& msg : owner.Take()) {
            if (msg->GetType() == TEL_NOTIFY)
                notes.emplace_back(msg->code, msg->text);
            else
                posted.push_back(std::move(msg));
        }
        return notes;
    }
    static bool Has(const std::vector<std::pair<int16_t, std::string>>& notes, int16_t code)
    {
        for (const auto& note : notes)
            if (note.first == code)
                return true;
        return false;
    }

    // Answers the next identification request.
    void Identify(uint16_t swVersion, uint8_t modelId = 12, uint8_t interfaceType = 1)
    {
        const size_t before = CountSent(CMD_IDENTIFY);
        ASSERT_TRUE(PassUntil([&] { return CountSent(CMD_IDENTIFY) > before; }));
        Pass();  // the handler now waits for the answer
        Deliver(LinkFrame(0x8D, {static_cast<uint8_t>(swVersion >> 8), static_cast<uint8_t>(swVersion & 0xFF), 0x0A,
                                 modelId, 3, interfaceType}));
    }
    void StartIdle()
    {
        Identify(0x0142);
        ASSERT_EQ(handler.GetState(), TELHND_ST_IDLE);
        Notes();
    }

    // Plays the CPC telephone behind the modem: the next CPC request is taken
    // (BUSY) and answered with these digits.
    void AnswerCpc(const std::vector<uint8_t>& digits)
    {
        ASSERT_TRUE(PassUntil([&] { return CountSent(CMD_CPC_REQUEST) > cpcAnswered; }, 10000));
        ++cpcAnswered;
        Deliver(LinkStatus(kBusy));
        Wait(300);
        auto frame = LinkFrame(CMD_CPC_DATA, {});
        for (size_t i = 0; i < digits.size(); ++i)
            frame->SetPayload(static_cast<int>(i), digits[i]);
        frame->SetLength(static_cast<int16_t>(digits.size()));
        Deliver(std::move(frame));
        Deliver(LinkStatus(kSeized));
    }

    TempDir dir;
    FakeTickSource clock{1000};
    Inbox owner;
    SteppedTelHandler handler;
    FakeLink* link = nullptr;
    std::vector<std::unique_ptr<CComMsg>> sent;
    std::vector<std::unique_ptr<CTelHandlerMsg>> posted;  // other than notifications
    size_t cpcAnswered = 0;                               // CPC requests answered by AnswerCpc
    int linksMade = 0;                                    // by the handler's link factory
    std::deque<int16_t> linkStartReports;                 // of the next links; then HNDRET_STARTED
};

// Sleeping on it really sleeps and leaves the fake time alone: a link that
// the handler starts on the test's thread gets the real time it needs to
// report, while the test moves the time itself.
class PatientClock : public CTickSource {
public:
    explicit PatientClock(FakeTickSource& time) : time(time) { SetTickSource(this); }
    ~PatientClock() override { SetTickSource(&time); }
    PatientClock(const PatientClock&) = delete;
    PatientClock& operator=(const PatientClock&) = delete;
    uint32_t GetTickCount() override { return time.GetTickCount(); }
    void Sleep(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

private:
    FakeTickSource& time;
};

// --- Identification ---------------------------------------------------------

struct IdentCase {
    const char* name;
    uint16_t swVersion;
    uint8_t modelId;
    int16_t state;
    int16_t errorCode;  // -1: none
    std::string errorText;
    bool netSelection;
};

TEST_F(TelHandlerTest, IdentificationCheck)
{
    const std::vector<IdentCase> cases = {
        {"01.41 is too old", 0x0141, 12, TELHND_ST_RESTART_DELAY, TELHND_NOTIFY_SW_ERROR,
         "Minimum ver. 01.42 required...", false},
        {"01.42 passes", 0x0142, 12, TELHND_ST_IDLE, -1, "", false},
        {"01.4F passes without network selection", 0x014F, 12, TELHND_ST_IDLE, -1, "", false},
        {"01.50 also gets the network selection", 0x0150, 12, TELHND_ST_IDLE, -1, "", true},
        {"another model", 0x0150, 13, TELHND_ST_RESTART_DELAY, TELHND_NOTIFY_HW_ERROR,
         "Modem type not supported, Tervin Kestrel required...", false},
    };
    for (const IdentCase& c : cases) {
        handler.Prepare();
        Notes();
        Identify(c.swVersion, c.modelId);
        EXPECT_EQ(handler.GetState(), c.state) << c.name;
        const auto notes = Notes();
        if (c.errorCode >= 0) {
            ASSERT_FALSE(notes.empty()) << c.name;
            EXPECT_EQ(notes.back(), std::make_pair(static_cast<int16_t>(c.errorCode), c.errorText)) << c.name;
        } else {
            EXPECT_FALSE(Has(notes, TELHND_NOTIFY_SW_ERROR) || Has(notes, TELHND_NOTIFY_HW_ERROR)) << c.name;
        }
        const CComMsg* net = LastSent(CMD_WIRELESS_NET);
        EXPECT_EQ(net != nullptr, c.netSelection) << c.name;
        if (net) {
            EXPECT_EQ(Payload(*net), (std::vector<uint8_t>{4, 0})) << c.name;
        }
        sent.clear();
    }
}

TEST_F(TelHandlerTest, AcceptedModemIsAnnouncedHeadingLast)
{
    Identify(0x0142, 12, 1);
    const auto notes = Notes();
    const std::vector<std::pair<int16_t, std::string>> expected = {
        {TELHND_NOTIFY_INFO, "Interface Type: Line"},
        {TELHND_NOTIFY_INFO, "HW Version: 3"},
        {TELHND_NOTIFY_INFO, "SW Info: 0A"},
        {TELHND_NOTIFY_INFO, "SW Version: 01.42"},
        {TELHND_NOTIFY_INFO, "Kestrel Modem startup information:"},
    };
    EXPECT_EQ(notes, expected);
    EXPECT_EQ(handler.GetInterfaceType(), 1);

    const std::string log = ReadFile("TelHandler.log");
    EXPECT_NE(log.find("TelHandler::CheckSwHwInfo: SwVersion: 01.42"), std::string::npos);
    EXPECT_NE(log.find("TelHandler::CheckSwHwInfo: ModelId: 12"), std::string::npos);
}

TEST_F(TelHandlerTest, OutdatedModemIsReadAgainEveryTwentySeconds)
{
    for (int round = 0; round < 3; ++round) {
        Identify(0x0141);
        ASSERT_TRUE(Has(Notes(), TELHND_NOTIFY_SW_ERROR)) << round;
        const size_t requests = CountSent(CMD_IDENTIFY);
        Wait(19990);
        EXPECT_EQ(CountSent(CMD_IDENTIFY), requests) << round;
        Wait(50);
        EXPECT_EQ(CountSent(CMD_IDENTIFY), requests + 1) << round;
    }
}

TEST_F(TelHandlerTest, UnsupportedModemNeverAnswersCalls)
{
    Identify(0x0150, 13);
    for (int round = 0; round < 3; ++round) {
        Deliver(LinkStatus(kLine | STATUS_RING));
        Wait(500);
        Deliver(LinkStatus(kLine));
        Wait(20000);
        Identify(0x0150, 13);
    }
    EXPECT_FALSE(Has(Notes(), TELHND_NOTIFY_INCOMING_CALL));
    EXPECT_EQ(CountSent(CMD_LINE_CONTROL), 0u);
}

TEST_F(TelHandlerTest, DictionaryFormatsThatDoNotFitAreShownAsTheyStand)
{
    const std::string bad = "Minimum ver. %s.%n required";
    SetTextLookup([&](const std::string& key) {
        if (key == "IDS_TELHANDLER_MSG_17")
            return bad;
        if (key == "IDS_TELHANDLER_MSG_15")
            return std::string("SW Version: %02X.%02X.%02X");  // one more than there is
        if (key == "IDS_TELHANDLER_MSG_13")
            return std::string("HW Version: %999999999d");
        if (key == "IDS_TELHANDLER_MSG_14")
            return std::string("SW Info: %02X, 100%%");
        return std::string(kMissingText);
    });
    Identify(0x0141);
    ASSERT_TRUE(InstallEnglishDictionary());

    const auto notes = Notes();
    const std::vector<std::pair<int16_t, std::string>> expected = {
        {TELHND_NOTIFY_INFO, "*NA*"},
        {TELHND_NOTIFY_INFO, "HW Version: %999999999d"},
        {TELHND_NOTIFY_INFO, "SW Info: 0A, 100%"},
        {TELHND_NOTIFY_INFO, "SW Version: %02X.%02X.%02X"},
        {TELHND_NOTIFY_INFO, "*NA*"},
        {TELHND_NOTIFY_SW_ERROR, bad},
    };
    EXPECT_EQ(notes, expected);
}

// --- Communication failures -------------------------------------------------

TEST_F(TelHandlerTest, LinkTimeoutWarnsThenAfterSixtySecondsFails)
{
    StartIdle();
    Deliver(LinkMsg(LNK_TIMEOUT));
    Pass();
    EXPECT_EQ(Notes(), (std::vector<std::pair<int16_t, std::string>>{{TELHND_NOTIFY_COM_WARNING, ""}}));
    Wait(59980);
    EXPECT_TRUE(Notes().empty());
    Wait(30);
    EXPECT_EQ(Notes(), (std::vector<std::pair<int16_t, std::string>>{{TELHND_NOTIFY_COM_ERROR, ""}}));
    EXPECT_EQ(handler.GetState(), TELHND_ST_COM_ERROR_WAIT);

    // The modem answers again: start over with the identification.
    const size_t requests = CountSent(CMD_IDENTIFY);
    Deliver(LinkStatus(kLine));
    Wait(50);
    EXPECT_EQ(CountSent(CMD_IDENTIFY), requests + 1);
    Identify(0x0142);
    EXPECT_EQ(handler.GetState(), TELHND_ST_IDLE);
}

TEST_F(TelHandlerTest, LinkRecoveringWithinSixtySecondsStartsOverWithoutError)
{
    StartIdle();
    Deliver(LinkMsg(LNK_TIMEOUT));
    Wait(30000);
    Deliver(LinkStatus(kLine));
    Wait(50);
    const auto notes = Notes();
    EXPECT_TRUE(Has(notes, TELHND_NOTIFY_COM_WARNING));
    EXPECT_FALSE(Has(notes, TELHND_NOTIFY_COM_ERROR));
    EXPECT_EQ(handler.GetState(), TELHND_ST_READ_INFO);
}

struct SeizedCase {
    const char* name;
    bool releasedByReset;
};

TEST_F(TelHandlerTest, LineSeizedWhileIdleResetsTheModem)
{
    for (const SeizedCase c : {SeizedCase{"released by the reset", true}, SeizedCase{"still seized", false}}) {
        handler.Prepare();
        StartIdle();
        Deliver(LinkStatus(kSeized));
        auto notes = Notes();
        ASSERT_FALSE(notes.empty()) << c.name;
        EXPECT_EQ(notes.back(), std::make_pair(TELHND_NOTIFY_COM_ERROR, std::string("Modem Line Connect Error...")))
            << c.name;
        ASSERT_TRUE(PassUntil([&] { return CountSent(CMD_RESET_LINE) == 1; }, 100)) << c.name;
        if (c.releasedByReset)
            Deliver(LinkStatus(kLine));
        Wait(4150);
        EXPECT_EQ(handler.GetState(), TELHND_ST_RESET) << c.name;
        Wait(50);
        notes = Notes();
        if (c.releasedByReset) {
            EXPECT_EQ(handler.GetState(), TELHND_ST_IDLE) << c.name;
            EXPECT_FALSE(Has(notes, TELHND_NOTIFY_COM_ERROR)) << c.name;
        } else {
            EXPECT_EQ(handler.GetState(), TELHND_ST_RESTART_DELAY) << c.name;
            EXPECT_EQ(notes, (std::vector<std::pair<int16_t, std::string>>{
                                 {TELHND_NOTIFY_COM_ERROR, "Modem TelComm Reset Error..."}}))
                << c.name;
            const size_t requests = CountSent(CMD_IDENTIFY);
            Wait(19900);
            EXPECT_EQ(CountSent(CMD_IDENTIFY), requests) << c.name;
            Wait(150);
            EXPECT_EQ(CountSent(CMD_IDENTIFY), requests + 1) << c.name;
        }
        sent.clear();
    }
}

TEST_F(TelHandlerTest, HaltedLinkIsReportedAsSerialError)
{
    const std::vector<std::pair<uint16_t, std::string>> cases = {
        {LNK_ERROR, "Serial Reception failure"},
        {LNK_SEND_ERROR, "Serial Transmission failure"},
    };
    for (const auto& [type, text] : cases) {
        Deliver(LinkMsg(type));
        EXPECT_EQ(Notes(), (std::vector<std::pair<int16_t, std::string>>{{TELHND_NOTIFY_SERIAL_ERROR, text}})) << text;
    }
    const std::string log = ReadFile("TelHandler.log");
    EXPECT_NE(log.find("TelHandler::ThreadMain: Serial Reception Failure"), std::string::npos);
    EXPECT_NE(log.find("TelHandler::ThreadMain: Serial Transmission Failure"), std::string::npos);
}

// A link that halted (a serial adapter unplugged, or a modem that answers
// only garbage) is started again by the handler: the port is opened anew 30 s
// later, and again after 60, 120, ... up to every 10 minutes while it stays
// away. Each try is told to the operator; once the modem answers, the line is
// read as at a start, the relays get their state again, and the next halt
// waits 30 s again.
TEST_F(TelHandlerTest, HaltedLinkIsStartedAgainWithABackOff)
{
    StartIdle();
    auto relay = std::make_unique<CTelHandlerMsg>(TEL_SET_RELAY);
    relay->relayIndex = 1;
    relay->onOff = 1;
    Deliver(std::move(relay));
    ASSERT_EQ(CountSent(CMD_RELAY), 1u);
    PatientClock patient(clock);

    // The port stays away for six tries, then the modem is back.
    linkStartReports.assign(6, HNDRET_START_FAILED);
    const int linksBefore = linksMade;
    Deliver(LinkMsg(LNK_ERROR));
    EXPECT_EQ(Notes(),
              (std::vector<std::pair<int16_t, std::string>>{{TELHND_NOTIFY_SERIAL_ERROR, "Serial Reception failure"}}));
    std::vector<uint32_t> gaps;  // seconds from the halt or the previous try
    uint32_t last = clock.GetTickCount();
    for (int i = 1; i <= 7; ++i) {
        ASSERT_TRUE(PassUntil([&] { return linksMade == linksBefore + i; }, 700000)) << i;
        gaps.push_back((clock.GetTickCount() - last + 500) / 1000);
        last = clock.GetTickCount();
        EXPECT_EQ(Notes(), (std::vector<std::pair<int16_t, std::string>>{{TELHND_NOTIFY_LINK_RESTART, ""}})) << i;
    }
    EXPECT_EQ(gaps, (std::vector<uint32_t>{30, 60, 120, 240, 480, 600, 600}));

    // The modem on the new link is read as at a start; the relay gets its state again.
    ASSERT_NE(link, nullptr);
    Identify(0x0142);
    EXPECT_EQ(handler.GetState(), TELHND_ST_IDLE);
    EXPECT_EQ(CountSent(CMD_RELAY), 2u);
    EXPECT_EQ(Payload(*LastSent(CMD_RELAY)), (std::vector<uint8_t>{1, 1}));
    Deliver(LinkStatus(kLine));
    EXPECT_TRUE(Has(Notes(), TELHND_NOTIFY_LINE_OK));

    // It answered: the next halt is tried again after 30 s.
    Deliver(LinkMsg(LNK_SEND_ERROR));
    EXPECT_EQ(Notes(), (std::vector<std::pair<int16_t, std::string>>{
                           {TELHND_NOTIFY_SERIAL_ERROR, "Serial Transmission failure"}}));
    last = clock.GetTickCount();
    ASSERT_TRUE(PassUntil([&] { return linksMade == linksBefore + 8; }, 700000));
    EXPECT_EQ((clock.GetTickCount() - last + 500) / 1000, 30u);
}

// A link that halts during a call ends the call as a lost modem does (the
// voice call is aborted, the line released without waiting for the modem),
// the pane is not told that the line is fine, and the restart follows.
TEST_F(TelHandlerTest, HaltedLinkDuringAVoiceCallEndsTheCallFirst)
{
    StartIdle();
    Deliver(LinkStatus(kLine | STATUS_RING));
    Wait(500);
    Deliver(LinkStatus(kLine));
    ASSERT_TRUE(PassUntil([&] { return CountSent(CMD_LINE_CONTROL) == 1; }, 200));
    Deliver(LinkStatus(kSeized));
    ASSERT_TRUE(PassUntil([&] { return CountSent(CMD_P100_START) == 1; }, 2000));
    Deliver(LinkStatus(kBusy));
    Wait(300);
    Deliver(LinkFrame(0x86, {1, 8, 1, 2, 3, 4, 5, 6, 7, 8}));  // a voice alarm
    Deliver(LinkStatus(kSeized));
    ASSERT_TRUE(PassUntil([&] { return CountSent(CMD_VOICE_NOTIFY) == 1; }, 200));
    Wait(3000);
    Notes();
    posted.clear();

    Deliver(LinkMsg(LNK_ERROR));
    Wait(100);
    EXPECT_EQ(Notes(),
              (std::vector<std::pair<int16_t, std::string>>{{TELHND_NOTIFY_SERIAL_ERROR, "Serial Reception failure"}}));
    ASSERT_FALSE(posted.empty());
    EXPECT_EQ(posted.back()->GetType(), TEL_VOICE_CALL);
    EXPECT_EQ(posted.back()->value, VC_ABORTED);
    EXPECT_EQ(Payload(*LastSent(CMD_VOICE_NOTIFY)), std::vector<uint8_t>{0});
    EXPECT_EQ(Payload(*LastSent(CMD_LINE_CONTROL)), std::vector<uint8_t>{0});
    EXPECT_EQ(handler.GetState(), TELHND_ST_LINK_RESTART);

    PatientClock patient(clock);
    const int linksBefore = linksMade;
    Wait(29800);
    EXPECT_EQ(linksMade, linksBefore);
    Wait(300);
    EXPECT_EQ(linksMade, linksBefore + 1);
    EXPECT_EQ(handler.GetState(), TELHND_ST_READ_INFO);
}

// --- Status, calls and other messages -----------------------------------------

TEST_F(TelHandlerTest, SignalLevelInPercent)
{
    const std::vector<std::pair<int, int16_t>> table = {
        {0, 0},   {4, 0},   {5, 0},   {6, 5},    {7, 10},   {8, 20},    {10, 30},
        {14, 60}, {17, 80}, {19, 90}, {20, 100}, {21, 100}, {255, 100}, {-3, 0},
    };
    for (const auto& [value, percent] : table)
        EXPECT_EQ(CTelHandler::SignalLevelPercent(value), percent) << value;

    StartIdle();
    Deliver(LinkValue(14));
    auto msgs = owner.Take();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0]->code, TELHND_NOTIFY_LINE_OK);
    EXPECT_EQ(msgs[0]->signalLevel, 60);
    EXPECT_EQ(msgs[0]->interfaceType, 1);
}

TEST_F(TelHandlerTest, StatusDuringACallPostsRingButNotLineOk)
{
    StartIdle();
    Deliver(LinkCallerId("0701234567"));
    Deliver(LinkStatus(kLine | STATUS_RING));
    Wait(500);
    Deliver(LinkStatus(kLine));
    EXPECT_EQ(handler.GetState(), TELHND_ST_INCOMING);
    EXPECT_EQ(Notes(), (std::vector<std::pair<int16_t, std::string>>{
                           {TELHND_NOTIFY_RING, ""}, {TELHND_NOTIFY_LINE_OK, ""}, {TELHND_NOTIFY_INCOMING_CALL, ""}}));

    Deliver(LinkStatus(kSeized));
    Deliver(LinkValue(17));
    EXPECT_TRUE(Notes().empty());
    Deliver(LinkStatus(kSeized | STATUS_RING));
    Deliver(LinkStatus(STATUS_CONNECTED));
    EXPECT_EQ(Notes(),
              (std::vector<std::pair<int16_t, std::string>>{{TELHND_NOTIFY_RING, ""}, {TELHND_NOTIFY_NO_LINE, ""}}));
}

// The whole road of a P100 alarm through the handler, the incoming-call
// manager and the P100 protocol, with the test playing the modem.
TEST_F(TelHandlerTest, P100AlarmCallFromRingToRelease)
{
    StartIdle();
    Deliver(LinkCallerId("0701234567"));
    Deliver(LinkStatus(kLine | STATUS_RING));
    Wait(800);
    Deliver(LinkStatus(kLine));
    ASSERT_EQ(handler.GetState(), TELHND_ST_INCOMING);

    ASSERT_TRUE(PassUntil([&] { return CountSent(CMD_LINE_CONTROL) == 1; }, 200));
    EXPECT_EQ(Payload(*LastSent(CMD_LINE_CONTROL)), std::vector<uint8_t>{1});
    Deliver(LinkStatus(kSeized));

    ASSERT_TRUE(PassUntil([&] { return CountSent(CMD_P100_START) == 1; }, 2000));
    EXPECT_EQ(Payload(*LastSent(CMD_P100_START)), std::vector<uint8_t>{1});
    Deliver(LinkStatus(kBusy));
    Wait(300);
    Deliver(LinkFrame(0x86, {0, 8, 1, 2, 3, 4, 5, 6, 7, 8}));
    Deliver(LinkStatus(kSeized));
    Notes();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0]->GetType(), TEL_ALARM);
    EXPECT_EQ(posted[0]->msgType, TELMSG_P100_ALARM);
    EXPECT_EQ(posted[0]->idCode, "12345678");
    EXPECT_EQ(posted[0]->protocol, TELPROT_P100);
    EXPECT_EQ(posted[0]->callerInfo, "0701234567");

    ASSERT_TRUE(PassUntil([&] { return CountSent(CMD_LINE_CONTROL) == 2; }, 3000));
    EXPECT_EQ(Payload(*LastSent(CMD_LINE_CONTROL)), std::vector<uint8_t>{0});
    Deliver(LinkStatus(kLine));
    Pass();
    EXPECT_EQ(handler.GetState(), TELHND_ST_IDLE);
    EXPECT_EQ(Notes(), (std::vector<std::pair<int16_t, std::string>>{{TELHND_NOTIFY_LINE_OK, ""}}));
    EXPECT_TRUE(handler.IncomingCallMgr().GetCallerId().empty());
}

// The whole voice call of a CPC telephone with voice calls on, on the fake
// clock: the alarm goes out at once, the operator's handset rings for the full
// 300 s with a time update that keeps the telephone on the line, and when
// nobody answers the call times out (the alarm list forwards the alarm then),
// the handset stops ringing, the telephone is told to hang up and the line is
// released. A variable of the environment that once shortened the ringing
// has no effect on the station.
TEST_F(TelHandlerTest, UnansweredCpcVoiceCallRingsThreeHundredSecondsThenTimesOut)
{
    ScopedEnv shortRing("ORVA_TEST_VOICE_NOTIFY_SECONDS", "6");
    // Port 3, one ring, CPC and P100, voice calls on, redirect 1, network 4.
    handler.SetConfig(3, 9600, 1, true, true, true, 1, 4);
    handler.Prepare();
    StartIdle();
    Deliver(LinkStatus(kLine | STATUS_RING));
    Wait(500);
    Deliver(LinkStatus(kLine));
    ASSERT_TRUE(PassUntil([&] { return CountSent(CMD_LINE_CONTROL) == 1; }, 200));
    Deliver(LinkStatus(kSeized));

    AnswerCpc({0, 2, 2});                       // identification, model 2
    AnswerCpc({0, 4, 1, 0, 1, 2, 3, 4, 5, 6});  // voice alarm of 123456
    AnswerCpc({0, 1, 1});                       // the acknowledgement is acknowledged
    ASSERT_TRUE(PassUntil([&] { return CountSent(CMD_VOICE_NOTIFY) == 1; }, 200));
    Notes();
    ASSERT_FALSE(posted.empty());
    EXPECT_EQ(posted[0]->GetType(), TEL_ALARM);
    EXPECT_EQ(posted[0]->msgType, TELMSG_VOICE);
    EXPECT_EQ(posted[0]->idCode, "123456");
    posted.erase(posted.begin());
    EXPECT_EQ(Payload(*LastSent(CMD_VOICE_NOTIFY)), std::vector<uint8_t>{1});

    // Every time update the telephone asks for is acknowledged, until the
    // call times out.
    std::vector<std::pair<int16_t, int16_t>> progress;
    std::vector<uint32_t> progressAt;
    size_t timeUpdates = 0;
    const bool timedOut = PassUntil(
        [&] {
            Notes();
            for (auto& msg : posted) {
                if (msg && msg->GetType() == TEL_VOICE_CALL) {
                    progress.emplace_back(msg->value, msg->remaining);
                    progressAt.push_back(clock.GetTickCount());
                }
            }
            posted.clear();
            if (CountSent(CMD_CPC_REQUEST) > cpcAnswered) {
                ++timeUpdates;
                AnswerCpc({0, 1, 1});
            }
            return !progress.empty() && progress.back().first == VC_TIMEOUT;
        },
        320000);
    ASSERT_TRUE(timedOut);

    std::vector<std::pair<int16_t, int16_t>> expected;
    for (int16_t r = 300; r >= 1; --r)
        expected.emplace_back(r % 5 == 0 ? VC_PICK_UP : VC_NOTIFY_TICK, r);
    expected.emplace_back(VC_TIMEOUT, 0);
    EXPECT_EQ(progress, expected);
    // One second a step (the exact spacing is the incoming-call manager's
    // test); the time updates cost the call no time.
    EXPECT_GE(progressAt.back() - progressAt.front(), 299000u);
    EXPECT_LE(progressAt.back() - progressAt.front(), 301000u);
    EXPECT_EQ(timeUpdates, 1u);  // after 170 s of the 300
    EXPECT_EQ(Payload(*LastSent(CMD_VOICE_NOTIFY)), std::vector<uint8_t>{0});

    // The telephone is asked to hang up, then the line is released.
    AnswerCpc({0, 1, 1});
    EXPECT_EQ(Payload(*LastSent(CMD_CPC_REQUEST)), (std::vector<uint8_t>{0, 6, 0, 1}));
    ASSERT_TRUE(PassUntil([&] { return CountSent(CMD_LINE_CONTROL) == 2; }, 3000));
    EXPECT_EQ(Payload(*LastSent(CMD_LINE_CONTROL)), std::vector<uint8_t>{0});
    Deliver(LinkStatus(kLine));
    Pass();
    EXPECT_EQ(handler.GetState(), TELHND_ST_IDLE);
}

TEST_F(TelHandlerTest, DiscardFramesAreNoAnswer)
{
    ASSERT_TRUE(PassUntil([&] { return CountSent(CMD_IDENTIFY) == 1; }));
    Pass();
    Deliver(LinkFrame(CMD_DISCARD, {1, 2}));
    Wait(1000);
    EXPECT_EQ(handler.GetState(), TELHND_ST_READ_INFO);  // still waiting for the identification
    Deliver(LinkFrame(0x8D, {1, 0x42, 0, 12, 1, 1}));
    EXPECT_EQ(handler.GetState(), TELHND_ST_IDLE);
    Deliver(LinkFrame(CMD_DISCARD, {}));  // nobody waits: taken and dropped
    EXPECT_EQ(handler.GetState(), TELHND_ST_IDLE);
}

TEST_F(TelHandlerTest, RequestsFromTheWindows)
{
    Deliver(LinkFrame(0x86, {3, 8, 8, 7, 6, 5, 4, 3, 2, 1}, TEL_SIMULATE_P100));
    Deliver(LinkFrame(0x86, {3, 7, 8, 7, 6, 5, 4, 3, 2}, TEL_SIMULATE_P100));  // wrong count
    Notes();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0]->GetType(), TEL_ALARM);
    EXPECT_EQ(posted[0]->msgType, TELMSG_TEST);
    EXPECT_EQ(posted[0]->idCode, "87654321");

    auto relay = std::make_unique<CTelHandlerMsg>(TEL_SET_RELAY);
    relay->relayIndex = 1;
    relay->onOff = 1;
    Deliver(std::move(relay));
    ASSERT_NE(LastSent(CMD_RELAY), nullptr);
    EXPECT_EQ(Payload(*LastSent(CMD_RELAY)), (std::vector<uint8_t>{1, 1}));

    auto unattended = std::make_unique<CTelHandlerMsg>(TEL_SET_UNATTENDED);
    unattended->onOff = 1;
    Deliver(std::move(unattended));
    EXPECT_TRUE(handler.IncomingCallMgr().IsUnattended());
    unattended = std::make_unique<CTelHandlerMsg>(TEL_SET_UNATTENDED);
    Deliver(std::move(unattended));
    EXPECT_FALSE(handler.IncomingCallMgr().IsUnattended());
}

// What is still queued when the handler stops belongs to that run: the
// reports of its link and requests that were never carried out. The next run
// starts without them (the manager hands it the current relay state).
TEST_F(TelHandlerTest, LeftoversOfTheLastRunAreDroppedAtTheStart)
{
    StartIdle();
    CHandler::PostMsg(&handler, LinkMsg(LNK_ERROR));
    for (int i = 0; i < 3; ++i) {
        auto relay = std::make_unique<CTelHandlerMsg>(TEL_SET_RELAY);
        relay->relayIndex = 0;
        relay->onOff = i % 2;
        CHandler::PostMsg(&handler, std::move(relay));
    }
    sent.clear();
    handler.Prepare();  // the next start
    EXPECT_EQ(handler.InputQueue().GetCount(), 0u);
    Identify(0x0142);
    Wait(100);
    EXPECT_EQ(handler.GetState(), TELHND_ST_IDLE);
    EXPECT_EQ(CountSent(CMD_RELAY), 0u);
    EXPECT_FALSE(Has(Notes(), TELHND_NOTIFY_SERIAL_ERROR));
}

// --- Request operations -------------------------------------------------------
// Run on their own: messages are handled, the state machine is not stepped.

struct LinkEvent {
    enum Kind { Status, Frame, Timeout };
    uint32_t at;
    Kind kind;
    uint8_t value = 0;
    std::vector<uint8_t> payload = {};
};

class TelOperationTest : public TelHandlerTest {
protected:
    // Calls the operation every 10 ms until it answers; feeds the events at
    // their times. Returns the result and when it came.
    std::pair<int16_t, uint32_t> Run(const std::function<int16_t()>& operation, const std::vector<LinkEvent>& events,
                                     uint32_t limitMs = 20000)
    {
        CHandler::PostMsg(&handler, LinkStatus(kLine));  // a quiet modem to start with
        handler.HandleNextMsg();
        size_t next = 0;
        for (uint32_t t = 0; t <= limitMs; t += 10) {
            for (; next < events.size() && events[next].at <= t; ++next) {
                CHandler::PostMsg(&handler, Make(events[next]));
                handler.HandleNextMsg();
            }
            if (const int16_t result = operation())
                return {result, t};
            clock.Advance(10);
        }
        return {0, limitMs};
    }

    static std::unique_ptr<CMsg> Make(const LinkEvent& e)
    {
        switch (e.kind) {
        case LinkEvent::Status:
            return LinkStatus(e.value);
        case LinkEvent::Frame: {
            auto frame = LinkFrame(e.value, {});
            for (size_t i = 0; i < e.payload.size(); ++i)
                frame->SetPayload(static_cast<int>(i), e.payload[i]);
            frame->SetLength(static_cast<int16_t>(e.payload.size()));
            return frame;
        }
        case LinkEvent::Timeout:
            return LinkMsg(LNK_TIMEOUT);
        }
        return nullptr;
    }
};

struct OpCase {
    const char* name;
    std::vector<LinkEvent> events;
    int16_t result;
    uint32_t at;
};

TEST_F(TelOperationTest, LineControl)
{
    const std::vector<OpCase> on = {
        {"seized", {{300, LinkEvent::Status, kSeized}}, TELHND_LCRET_OK, 300},
        {"never seized", {}, TELHND_LCRET_COM_ERROR, 1700},
        {"link time-out", {{500, LinkEvent::Timeout}}, TELHND_LCRET_COM_ERROR, 500},
    };
    for (const OpCase& c : on) {
        EXPECT_EQ(Run([&] { return handler.LineControl(true); }, c.events), std::make_pair(c.result, c.at)) << c.name;
        EXPECT_EQ(Payload(*LastSent(CMD_LINE_CONTROL)), std::vector<uint8_t>{1}) << c.name;
    }
    EXPECT_EQ(Run([&] { return handler.LineControl(false); }, {}), std::make_pair(TELHND_LCRET_OK, uint32_t{10}));
    EXPECT_EQ(Payload(*LastSent(CMD_LINE_CONTROL)), std::vector<uint8_t>{0});
    EXPECT_EQ(CountSent(CMD_LINE_CONTROL), 4u);
}

TEST_F(TelOperationTest, SendReceiveP100)
{
    const std::vector<uint8_t> message = {0, 8, 1, 2, 3, 4, 5, 6, 7, 8};
    const std::vector<OpCase> cases = {
        {"message",
         {{100, LinkEvent::Status, kBusy}, {300, LinkEvent::Frame, 0x86, message}},
         TELHND_SRRET_RECEIVE_OK,
         300},
        {"undecodable message",
         {{100, LinkEvent::Status, kBusy}, {300, LinkEvent::Frame, 0x86, {0, 7}}},
         TELHND_SRRET_START_TIMEOUT,
         300},
        {"start time-out",
         {{100, LinkEvent::Status, kBusy}, {300, LinkEvent::Frame, 0x87}},
         TELHND_SRRET_START_TIMEOUT,
         300},
        {"retries exceeded",
         {{100, LinkEvent::Status, kBusy}, {300, LinkEvent::Frame, 0x88}},
         TELHND_SRRET_RETRIES_EXCEEDED,
         300},
        {"message time-out",
         {{100, LinkEvent::Status, kBusy}, {300, LinkEvent::Frame, 0x89}},
         TELHND_SRRET_MSG_TIMEOUT,
         300},
        {"checksum error",
         {{100, LinkEvent::Status, kBusy}, {300, LinkEvent::Frame, 0x8A}},
         TELHND_SRRET_CHECKSUM_ERROR,
         300},
        {"timing error",
         {{100, LinkEvent::Status, kBusy}, {300, LinkEvent::Frame, 0x8B}},
         TELHND_SRRET_TIMING_ERROR,
         300},
        {"never busy", {}, TELHND_SRRET_COM_ERROR, 1720},
        {"no answer", {{100, LinkEvent::Status, kBusy}}, TELHND_SRRET_COM_ERROR, 6300},
        {"link time-out", {{100, LinkEvent::Status, kBusy}, {500, LinkEvent::Timeout}}, TELHND_SRRET_COM_ERROR, 500},
        {"other frames are no answer",
         {{100, LinkEvent::Status, kBusy}, {300, LinkEvent::Frame, 0x84}},
         TELHND_SRRET_COM_ERROR,
         6300},
    };
    for (const OpCase& c : cases) {
        std::unique_ptr<CTelHandlerMsg> out;
        const size_t before = CountSent(CMD_P100_START);
        EXPECT_EQ(Run([&] { return handler.SendReceive(TELHND_SR_P100_START, 2, out); }, c.events),
                  std::make_pair(c.result, c.at))
            << c.name;
        EXPECT_EQ(out != nullptr, c.result == TELHND_SRRET_RECEIVE_OK) << c.name;
        EXPECT_EQ(CountSent(CMD_P100_START), before + 1) << c.name;
        EXPECT_EQ(Payload(*LastSent(CMD_P100_START)), std::vector<uint8_t>{2}) << c.name;
        // An intermediate report leaves the request waiting: finish it.
        if (c.result >= TELHND_SRRET_MSG_TIMEOUT && c.result <= TELHND_SRRET_TIMING_ERROR) {
            EXPECT_EQ(Run([&] { return handler.SendReceive(TELHND_SR_P100_START, 2, out); },
                          {{0, LinkEvent::Status, kBusy}, {200, LinkEvent::Frame, 0x86, message}}),
                      std::make_pair(TELHND_SRRET_RECEIVE_OK, uint32_t{200}))
                << c.name;
            EXPECT_EQ(CountSent(CMD_P100_START), before + 1) << c.name << ": no new request";
            ASSERT_NE(out, nullptr);
            EXPECT_EQ(out->idCode, "12345678");
        }
    }
}

TEST_F(TelOperationTest, SendReceiveCpc)
{
    std::unique_ptr<CTelHandlerMsg> out;
    EXPECT_EQ(Run([&] { return handler.SendReceive(TELHND_SR_CPC, 0, out); },
                  {{100, LinkEvent::Status, kBusy}, {300, LinkEvent::Frame, 0x8E, {0, 2, 7}}}),
              std::make_pair(TELHND_SRRET_RECEIVE_OK, uint32_t{300}));
    EXPECT_EQ(Payload(*LastSent(CMD_CPC_REQUEST)), (std::vector<uint8_t>{0, 2, 1}));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->msgType, TELMSG_CPC_ID);
    EXPECT_EQ(out->value, 7);

    // An answer that does not decode is no answer: the wait runs out.
    out.reset();
    EXPECT_EQ(Run([&] { return handler.SendReceive(TELHND_SR_CPC, 1, out); },
                  {{100, LinkEvent::Status, kBusy}, {300, LinkEvent::Frame, 0x8E, {0, 9}}}),
              std::make_pair(TELHND_SRRET_COM_ERROR, uint32_t{6300}));
    EXPECT_EQ(out, nullptr);
}

TEST_F(TelOperationTest, SendData)
{
    const std::vector<OpCase> cases = {
        {"sent", {{100, LinkEvent::Status, kBusy}, {400, LinkEvent::Status, kSeized}}, TELHND_SDRET_DONE, 400},
        {"never busy", {}, TELHND_SDRET_COM_ERROR, 1720},
        {"busy for ever", {{100, LinkEvent::Status, kBusy}}, TELHND_SDRET_COM_ERROR, 6300},
        {"link time-out", {{100, LinkEvent::Status, kBusy}, {200, LinkEvent::Timeout}}, TELHND_SDRET_COM_ERROR, 200},
    };
    CBufferMsg data;
    data.data[0] = 0x03;
    data.data[1] = 0x10;
    data.data[2] = 0x0F;
    data.length = 3;
    for (const OpCase& c : cases) {
        EXPECT_EQ(Run([&] { return handler.SendData(data); }, c.events), std::make_pair(c.result, c.at)) << c.name;
        EXPECT_EQ(Payload(*LastSent(CMD_SEND_DATA)), (std::vector<uint8_t>{0x03, 0x10, 0x0F})) << c.name;
    }
}

TEST_F(TelOperationTest, ReadSwHwInfo)
{
    const std::vector<OpCase> cases = {
        {"identification", {{200, LinkEvent::Frame, 0x8D, {1, 0x50, 0x0A, 12, 3, 2}}}, TELHND_RSRET_OK, 200},
        {"another answer", {{200, LinkEvent::Frame, 0x87}}, TELHND_RSRET_COM_ERROR, 200},
        {"no answer", {}, TELHND_RSRET_COM_ERROR, 4220},
        // A frame that came while nothing waited is not kept for the next request.
        {"answer before the request",
         {{0, LinkEvent::Frame, 0x8D, {1, 0x50, 0x0A, 12, 3, 2}}},
         TELHND_RSRET_COM_ERROR,
         4220},
        {"link time-out", {{300, LinkEvent::Timeout}}, TELHND_RSRET_COM_ERROR, 300},
    };
    for (const OpCase& c : cases) {
        std::unique_ptr<CSwHwInfo> info;
        EXPECT_EQ(Run([&] { return handler.ReadSwHwInfo(info); }, c.events), std::make_pair(c.result, c.at)) << c.name;
        EXPECT_EQ(info != nullptr, c.result == TELHND_RSRET_OK) << c.name;
        if (info) {
            EXPECT_EQ(info->swVersion, 0x0150);
            EXPECT_EQ(info->interfaceType, 2);
        }
    }
    EXPECT_EQ(CountSent(CMD_IDENTIFY), cases.size());
}

TEST_F(TelOperationTest, ResetModem)
{
    const std::vector<OpCase> cases = {
        {"line released", {}, TELHND_TRRET_OK, 4210},
        {"line still seized", {{100, LinkEvent::Status, kSeized}}, TELHND_TRRET_LINE_ERROR, 4210},
        {"link time-out", {{1000, LinkEvent::Timeout}}, TELHND_TRRET_COM_ERROR, 1000},
    };
    for (const OpCase& c : cases)
        EXPECT_EQ(Run([&] { return handler.ResetModem(); }, c.events), std::make_pair(c.result, c.at)) << c.name;
    EXPECT_EQ(CountSent(CMD_RESET_LINE), cases.size());
}

TEST_F(TelOperationTest, FireAndForgetRequests)
{
    handler.VoiceCallNotify(true);
    handler.VoiceCallNotify(false);
    handler.SetRelay(0, 1);
    handler.SetWirelessNet(6);
    std::vector<std::pair<uint8_t, std::vector<uint8_t>>> frames;
    for (const auto& frame : Sent())
        frames.emplace_back(frame->GetCommand(), Payload(*frame));
    const std::vector<std::pair<uint8_t, std::vector<uint8_t>>> expected = {
        {CMD_VOICE_NOTIFY, {1}}, {CMD_VOICE_NOTIFY, {0}}, {CMD_RELAY, {0, 1}}, {CMD_WIRELESS_NET, {6, 0}}};
    EXPECT_EQ(frames, expected);
}

// --- The thread ---------------------------------------------------------------

class TelHandlerThreadTest : public testing::Test {
protected:
    void SetUp() override
    {
        dir.WorkIn();
        handler.SetOwner(&owner);
        handler.SetConfig(7, 9600, 2, true, true, true, 0, 0);
    }
    void UseLink(int16_t startReport, int16_t stopReport)
    {
        handler.SetLinkFactory([this, startReport, stopReport](int16_t port, int32_t baud) {
            linkPort = port;
            linkBaud = baud;
            auto fake = std::make_unique<FakeLink>(&record, startReport, stopReport);
            link = fake.get();
            return fake;
        });
    }

    TempDir dir;
    Inbox owner;
    FakeLink::Record record;
    FakeLink* link = nullptr;
    int16_t linkPort = 0;
    int32_t linkBaud = 0;
    CTelHandler handler;
};

TEST_F(TelHandlerThreadTest, StartsTheLinkAsItsChildAndStopsIt)
{
    UseLink(HNDRET_STARTED, HNDRET_STOPPED);
    ASSERT_EQ(handler.Start(), HNDRET_STARTED);
    EXPECT_EQ(record.starts.load(), 1);
    EXPECT_EQ(linkPort, 7);
    EXPECT_EQ(linkBaud, 9600);
    EXPECT_EQ(link->GetOwner(), &handler);
    EXPECT_EQ(link->IsRunning(), 1);
    // The first thing the handler asks the modem is who it is.
    EXPECT_TRUE(WaitFor([&] { return link->InputQueue().GetCount() > 0; }));
    EXPECT_EQ(handler.Stop(), HNDRET_STOPPED);
    EXPECT_EQ(link->IsRunning(), 0);

    const std::string log = ReadFile("TelHandler.log");
    EXPECT_NE(log.find("TelHandler::ThreadMain: Startup - Ver. 2.72"), std::string::npos);
    EXPECT_LT(log.find("TelHandler::ThreadMain: Shutdown"), log.find("Startup"));  // newest first
}

TEST_F(TelHandlerThreadTest, LinkThatDoesNotStartFailsTheStartAndIsEnded)
{
    UseLink(HNDRET_START_FAILED, HNDRET_STOPPED);
    EXPECT_EQ(handler.Start(), HNDRET_START_FAILED);
    EXPECT_TRUE(WaitFor([&] { return record.destroyed.load(); }));
    EXPECT_EQ(handler.IsRunning(), 0);

    // Another port, another try.
    record.destroyed = false;
    UseLink(HNDRET_STARTED, HNDRET_STOPPED);
    ASSERT_EQ(handler.Start(), HNDRET_STARTED);
    EXPECT_EQ(handler.Stop(), HNDRET_STOPPED);
}

// Ten times faster than the wall clock, in real sleeps: the handler's loop
// gets through the 30 s before a link restart in 3 s, and a start handshake
// still has a tenth of a real second.
class ScaledClock : public CTickSource {
public:
    ScaledClock() { SetTickSource(this); }
    ~ScaledClock() override { SetTickSource(nullptr); }
    ScaledClock(const ScaledClock&) = delete;
    ScaledClock& operator=(const ScaledClock&) = delete;
    uint32_t GetTickCount() override { return now.load(); }
    void Sleep(uint32_t ms) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        now.fetch_add(ms * 10);
    }

private:
    std::atomic<uint32_t> now{0};
};

TEST_F(TelHandlerThreadTest, StopsCleanlyWhileAHaltedLinkCannotBeStartedAgain)
{
    ScaledClock clock;
    std::atomic<int> made{0};
    handler.SetLinkFactory([&](int16_t, int32_t) {
        const int n = ++made;
        return std::make_unique<FakeLink>(&record, n == 1 ? HNDRET_STARTED : HNDRET_START_FAILED);
    });
    ASSERT_EQ(handler.Start(), HNDRET_STARTED);
    CHandler::PostMsg(&handler, LinkMsg(LNK_ERROR));
    // No ASSERT before the Stop: the thread must not outlive this test's clock.
    EXPECT_TRUE(WaitFor([&] { return made.load() >= 2; }, 30s)) << "the link was never started again";
    EXPECT_EQ(handler.Stop(), HNDRET_STOPPED);
    EXPECT_EQ(handler.IsRunning(), 0);
}

TEST_F(TelHandlerThreadTest, LinkThatDoesNotStopCleanlyFailsTheStop)
{
    UseLink(HNDRET_STARTED, HNDRET_STOP_FAILED);
    ASSERT_EQ(handler.Start(), HNDRET_STARTED);
    EXPECT_EQ(handler.Stop(), HNDRET_STOP_FAILED);
    EXPECT_EQ(handler.IsRunning(), 0);
}

}  // namespace
