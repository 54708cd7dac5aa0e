// The mail handler's dialogue against scripted SMTP servers. The loop is
// stepped on the test's thread with the fake clock standing still, so the
// 30-second reply waits and the 5-second pause run only when the test moves
// the clock; the server answers in real time on its own thread. The thread
// itself is started for real for the start/stop handshake.

#include "mail/MailHandler.h"

#include "LoopbackPeer.h"
#include "ScriptedSmtpServer.h"
#include "SteppedMailHandler.h"
#include "core/ThreadQueue.h"
#include "support/FakeTickSource.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

// The owner's side: keeps what the handler posts.
struct Inbox : CMsgReceiver {
    void ReceiveMsg(std::unique_ptr<CMsg> msg) override
    {
        std::lock_guard<std::mutex> guard(lock);
        auto* mail = dynamic_cast<CMailHandlerMsg*>(msg.get());
        ASSERT_NE(mail, nullptr);
        msg.release();
        msgs.emplace_back(mail);
    }
    // The statuses (code) of everything posted, in order.
    std::vector<int16_t> Codes()
    {
        std::lock_guard<std::mutex> guard(lock);
        std::vector<int16_t> codes;
        for (const auto& m : msgs)
            codes.push_back(m->code);
        return codes;
    }
    // The results (statuses 4 to 6), in order.
    std::vector<const CMailHandlerMsg*> Results()
    {
        std::lock_guard<std::mutex> guard(lock);
        std::vector<const CMailHandlerMsg*> results;
        for (const auto& m : msgs)
            if (m->code >= MHM_STATUS_SEND_OK && m->code <= MHM_STATUS_SET_ASIDE)
                results.push_back(m.get());
        return results;
    }
    std::mutex lock;
    std::vector<std::unique_ptr<CMailHandlerMsg>> msgs;
};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class MailHandlerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.WorkIn();
        handler.SetOwner(&inbox);
        handler.ResetState();
        ASSERT_TRUE(handler.OpenLog());
        ASSERT_NE(server.Port(), 0);
    }
    void TearDown() override
    {
        handler.ResetState();
        handler.CloseLog();
    }

    std::unique_ptr<CMailHandlerMsg> Request(const std::string& recipients = "alice@example.test",
                                             const std::string& subject = "Alarm")
    {
        auto request = std::make_unique<CMailHandlerMsg>(MAIL_REQUEST);
        request->Server = "127.0.0.1";
        request->Port = server.Port();
        request->HeloName = "station.test";
        request->Sender = "orva@example.test";
        request->Recipients = recipients;
        request->Subject = subject;
        request->Body = "\r\nAlarm Type: P100\r\n";
        return request;
    }
    void Queue(std::unique_ptr<CMailHandlerMsg> request) { handler.ReceiveMsg(std::move(request)); }

    // Runs passes (really waiting a little between them) until the condition holds.
    template <typename Cond>
    bool RunUntil(Cond cond, std::chrono::milliseconds limit = 10s)
    {
        return Poll(
            [&] {
                if (cond())
                    return true;
                handler.RunPass();
                return false;
            },
            limit);
    }
    bool RunUntilState(int16_t state)
    {
        return RunUntil([&] { return handler.GetState() == state; });
    }
    bool RunUntilResults(std::size_t count)
    {
        return RunUntil([&] { return inbox.Results().size() >= count; });
    }
    // Runs passes for a while of real time without moving the clock.
    void RunFor(std::chrono::milliseconds span)
    {
        RunUntil([] { return false; }, span);
    }
    std::string Log() const { return ReadFile("MailHandler.log"); }

    TempDir dir;
    FakeTickSource clock{5000};
    ScriptedSmtpServer server;
    Inbox inbox;
    SteppedMailHandler handler;
};

TEST_F(MailHandlerTest, DeliversAMailAndHandsTheRequestBackAsTheResult)
{
    auto request = Request("alice@example.test");
    const CMailHandlerMsg* sent = request.get();
    Queue(std::move(request));
    ASSERT_TRUE(RunUntilResults(1));

    EXPECT_EQ(inbox.Codes(), (std::vector<int16_t>{MHM_STATUS_CONNECTING, MHM_STATUS_AUTHORIZING, MHM_STATUS_SENDING,
                                                   MHM_STATUS_SEND_OK}));
    const CMailHandlerMsg* result = inbox.Results().front();
    EXPECT_EQ(result, sent);  // the request itself comes back
    EXPECT_EQ(result->GetType(), MAIL_STATUS);
    EXPECT_EQ(result->ErrorStep, 0);
    EXPECT_EQ(result->Subject, "Alarm");
    for (const auto& m : inbox.msgs)
        EXPECT_EQ(m->GetType(), MAIL_STATUS);

    EXPECT_EQ(server.Lines(), (std::vector<std::string>{"HELO station.test", "MAIL FROM: <orva@example.test>",
                                                        "RCPT TO: <alice@example.test>", "DATA", "QUIT"}));
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_NE(server.Messages()[0].find("\r\n\r\n\r\nAlarm Type: P100\r\n"), std::string::npos) << server.Messages()[0];
    EXPECT_EQ(handler.GetState(), MAILHND_ST_PAUSE);
    EXPECT_EQ(Log().find("MHM_STATUS_SEND_ERROR"), std::string::npos);
}

struct StepCase {
    const char* key;  // the command whose reply the server changes
    ScriptedSmtpServer::Reply reply;
    uint16_t step;      // the error step reported
    uint8_t failClass;  // worth another attempt or not
    const char* logText;
    bool quit;  // QUIT still sent
};

void PrintTo(const StepCase& c, std::ostream* os)
{
    *os << c.key << " -> step " << c.step;
}

class MailHandlerWrongReply : public MailHandlerTest, public ::testing::WithParamInterface<StepCase> {};

TEST_P(MailHandlerWrongReply, FailsTheMailWithItsStep)
{
    const StepCase& c = GetParam();
    server.Set(c.key, c.reply);
    Queue(Request("alice@example.test, bob@example.test"));
    ASSERT_TRUE(RunUntilResults(1));

    const CMailHandlerMsg* result = inbox.Results().front();
    EXPECT_EQ(result->code, MHM_STATUS_SEND_ERROR);
    EXPECT_EQ(result->ErrorStep, c.step);
    EXPECT_EQ(result->FailClass, c.failClass);
    EXPECT_EQ(server.Received("QUIT"), c.quit);
    EXPECT_NE(Log().find(c.logText), std::string::npos) << Log();
    EXPECT_NE(Log().find("MailHandler::ThreadMain: MHM_STATUS_SEND_ERROR"), std::string::npos);
    if (c.step <= MAILHND_ERR_RCPT_TO || c.step == MAILHND_ERR_CONNECT) {
        EXPECT_FALSE(server.Received("DATA"));  // no step after the failed one
    }
    if (std::string(c.key) == "RCPT") {  // no further recipient is tried
        EXPECT_FALSE(server.Received("RCPT TO: <bob@example.test>"));
    }
}

using S = ScriptedSmtpServer;
constexpr uint8_t kNone = MHM_FAIL_NONE;
constexpr uint8_t kTransient = MHM_FAIL_TRANSIENT;
constexpr uint8_t kPermanent = MHM_FAIL_PERMANENT;

INSTANTIATE_TEST_SUITE_P(Steps, MailHandlerWrongReply,
                         ::testing::Values(StepCase{"GREETING", S::Says("554 no service\r\n"), 7, kPermanent,
                                                    "MAILHND_ST_CONNECT_WAITRESP: Error/Timeout", false},
                                           StepCase{"GREETING", S::Says("421 busy\r\n"), 7, kTransient,
                                                    "MAILHND_ST_CONNECT_WAITRESP: Error/Timeout", false},
                                           StepCase{"HELO", S::Says("501 bad name\r\n"), 1, kPermanent,
                                                    "MAILHND_ST_HELO_WAITRESP: Error/Timeout", true},
                                           StepCase{"MAIL", S::Says("451 try later\r\n"), 2, kTransient,
                                                    "MAILHND_ST_MAIL_FROM_WAITRESP: Error/Timeout", true},
                                           StepCase{"RCPT", S::Says("550 no such user\r\n"), 3, kPermanent,
                                                    "MAILHND_ST_RCPT_TO_WAITRESP: Error/Timeout", true},
                                           StepCase{"RCPT#2", S::Says("550 no such user\r\n"), 3, kPermanent,
                                                    "MAILHND_ST_RCPT_TO_WAITRESP: Error/Timeout", true},
                                           StepCase{"DATA", S::Says("250 ok\r\n"), 4, kPermanent,
                                                    "MAILHND_ST_DATA_WAITRESP: Error/Timeout", true},
                                           StepCase{"MESSAGE", S::Says("554 rejected\r\n"), 5, kPermanent,
                                                    "MAILHND_ST_MESSAGE_WAITRESP: Error/Timeout", true},
                                           StepCase{"MESSAGE", S::Says("451 local error\r\n"), 5, kTransient,
                                                    "MAILHND_ST_MESSAGE_WAITRESP: Error/Timeout", true},
                                           StepCase{"MESSAGE", S::Says("354 more?\r\n"), 5, kPermanent,
                                                    "MAILHND_ST_MESSAGE_WAITRESP: Error/Timeout", true},
                                           StepCase{"QUIT", S::Says("500 what\r\n"), 6, kPermanent,
                                                    "MAILHND_ST_QUIT_WAITRESP: Error/Timeout", true}));

TEST_F(MailHandlerTest, AFailedQuitAfterAFailedStepReportsStepSixWithTheFirstFailuresClass)
{
    const struct {
        const char* helo;
        uint8_t failClass;
    } cases[] = {{"501 bad name\r\n", kPermanent}, {"421 busy\r\n", kTransient}};
    for (const auto& c : cases) {
        ScriptedSmtpServer refusing;
        refusing.Set("HELO", S::Says(c.helo));
        refusing.Set("QUIT", S::Says("500 what\r\n"));
        auto request = Request();
        request->Port = refusing.Port();
        Queue(std::move(request));
        const std::size_t before = inbox.Results().size();
        ASSERT_TRUE(RunUntilResults(before + 1));
        EXPECT_EQ(inbox.Results().back()->ErrorStep, MAILHND_ERR_QUIT) << c.helo;
        EXPECT_EQ(inbox.Results().back()->FailClass, c.failClass) << c.helo;
        clock.Advance(CMailHandler::kPauseMs);
    }
}

struct SilenceCase {
    const char* key;
    int16_t waitState;
    uint16_t step;
    uint8_t failClass;
};

void PrintTo(const SilenceCase& c, std::ostream* os)
{
    *os << c.key << " silent";
}

class MailHandlerSilence : public MailHandlerTest, public ::testing::WithParamInterface<SilenceCase> {};

TEST_P(MailHandlerSilence, ThirtySecondsWithoutAReplyFailTheStep)
{
    const SilenceCase& c = GetParam();
    server.Set(c.key, S::Silent());
    Queue(Request());
    ASSERT_TRUE(RunUntilState(c.waitState));
    handler.RunPass();  // the wait begins

    clock.Advance(CMailHandler::kReplyTimeoutMs - 1);
    RunFor(100ms);
    EXPECT_EQ(handler.GetState(), c.waitState);
    EXPECT_TRUE(inbox.Results().empty());

    clock.Advance(1);
    handler.RunPass();
    EXPECT_NE(handler.GetState(), c.waitState);
    ASSERT_TRUE(RunUntilResults(1));
    EXPECT_EQ(inbox.Results().front()->ErrorStep, c.step);
    EXPECT_EQ(inbox.Results().front()->FailClass, c.failClass);
    EXPECT_EQ(server.Received("QUIT"), c.step != MAILHND_ERR_CONNECT);
}

INSTANTIATE_TEST_SUITE_P(Steps, MailHandlerSilence,
                         ::testing::Values(SilenceCase{"GREETING", MAILHND_ST_CONNECT_WAITRESP, 7, kTransient},
                                           SilenceCase{"HELO", MAILHND_ST_HELO_WAITRESP, 1, kTransient},
                                           SilenceCase{"MAIL", MAILHND_ST_MAIL_FROM_WAITRESP, 2, kTransient},
                                           SilenceCase{"RCPT", MAILHND_ST_RCPT_TO_WAITRESP, 3, kTransient},
                                           SilenceCase{"DATA", MAILHND_ST_DATA_WAITRESP, 4, kTransient},
                                           SilenceCase{"MESSAGE", MAILHND_ST_MESSAGE_WAITRESP, 5, kTransient},
                                           SilenceCase{"QUIT", MAILHND_ST_QUIT_WAITRESP, 6, kPermanent}));

struct ShapeCase {
    const char* name;
    const char* key;
    ScriptedSmtpServer::Reply reply;
    uint16_t step;      // 0: the mail is delivered
    bool needsTimeout;  // nothing usable arrives: the 30 s wait decides
    uint8_t failClass;
};

void PrintTo(const ShapeCase& c, std::ostream* os)
{
    *os << c.name;
}

class MailHandlerReplyShape : public MailHandlerTest, public ::testing::WithParamInterface<ShapeCase> {};

TEST_P(MailHandlerReplyShape, NeverCrashesAndEndsWithTheRightStep)
{
    const ShapeCase& c = GetParam();
    server.Set(c.key, c.reply);
    Queue(Request());
    if (c.needsTimeout) {
        // Let whatever the server sends arrive, then let the wait run out.
        ASSERT_TRUE(RunUntil([&] { return handler.GetState() >= MAILHND_ST_CONNECT_WAITRESP; }));
        RunFor(300ms);
        EXPECT_TRUE(inbox.Results().empty());
        clock.Advance(CMailHandler::kReplyTimeoutMs);
    }
    ASSERT_TRUE(RunUntilResults(1));
    const CMailHandlerMsg* result = inbox.Results().front();
    EXPECT_EQ(result->code, c.step == 0 ? MHM_STATUS_SEND_OK : MHM_STATUS_SEND_ERROR);
    EXPECT_EQ(result->ErrorStep, c.step);
    EXPECT_EQ(result->FailClass, c.failClass);
}

const std::string kLong(1000, 'x');

INSTANTIATE_TEST_SUITE_P(
    Shapes, MailHandlerReplyShape,
    ::testing::Values(
        ShapeCase{"GreetingWithoutDigits", "GREETING", S::Says("Welcome to the server\r\n"), 7, true, kTransient},
        ShapeCase{"MultiLineGreetingInPieces", "GREETING",
                  S::InPieces({"220-scripted", ".test says\r\n22", "0-hello\r\n", "220 ready\r\n"}), 0, false, kNone},
        ShapeCase{"NumberSplitAcrossReads", "HELO", S::InPieces({"2", "50 hello\r\n"}), 0, false, kNone},
        ShapeCase{"MultiLineRefusalInPieces", "RCPT",
                  S::InPieces({"550-mailbox\r\n", "550-unavailable\r\n550 ", "no such user\r\n"}), 3, false,
                  kPermanent},
        ShapeCase{"LongerThanTheBufferAccepted", "MAIL", S::Says("250-" + kLong + "\r\n250 ok\r\n"), 0, false, kNone},
        ShapeCase{"LongerThanTheBufferRefused", "MAIL", S::Says("550 " + kLong + "\r\n"), 2, false, kPermanent},
        ShapeCase{"BinaryBytes", "DATA", S::Says(std::string("\0\xFF\x01\x7F\r\n", 6)), 4, true, kTransient},
        ShapeCase{"BinaryBytesBeforeTheReply", "DATA", S::Says(std::string("\0\xFF\r\n354 go\r\n", 12)), 0, false,
                  kNone},
        ShapeCase{"ClosedAtTheGreeting", "GREETING", S::Closes(), 7, false, kTransient},
        ShapeCase{"ClosedAfterMailFrom", "MAIL", S::Closes(), 2, false, kTransient},
        ShapeCase{"ClosedAfterTheMessage", "MESSAGE", S::Closes(), 5, false, kTransient},
        ShapeCase{"ClosedInsteadOfTheQuitReply", "QUIT", S::Closes(), 6, false, kPermanent}),
    [](const ::testing::TestParamInfo<ShapeCase>& info) { return std::string(info.param.name); });

TEST_F(MailHandlerTest, AClosedConnectionFailsAtOnceAndSkipsQuit)
{
    server.Set("RCPT", S::Closes());
    Queue(Request());
    ASSERT_TRUE(RunUntilResults(1));  // without moving the clock
    EXPECT_EQ(inbox.Results().front()->ErrorStep, MAILHND_ERR_RCPT_TO);
    EXPECT_FALSE(server.Received("QUIT"));
    EXPECT_NE(Log().find("MAILHND_ST_QUIT: Connection closed"), std::string::npos);
}

TEST_F(MailHandlerTest, ANameThatDoesNotResolveFailsAtOnce)
{
    auto request = Request();
    request->Server = "no-such-host.invalid";
    Queue(std::move(request));
    for (int i = 0; i < 4; ++i)
        handler.RunPass();
    ASSERT_EQ(inbox.Results().size(), 1u);
    EXPECT_EQ(inbox.Results().front()->ErrorStep, MAILHND_ERR_CONNECT);
    // A name server that is down for the moment looks the same.
    EXPECT_EQ(inbox.Results().front()->FailClass, MHM_FAIL_TRANSIENT);
    EXPECT_NE(Log().find("MailInfo::Connect: ErrCode: "), std::string::npos);
    EXPECT_NE(Log().find("MAILHND_ST_CONNECT: Connect Error"), std::string::npos);
    EXPECT_EQ(server.Connections(), 0);
}

TEST_F(MailHandlerTest, ARefusedConnectionFailsWithoutWaiting)
{
    uint16_t port = 0;
    {
        LoopbackPeer closed;
        port = closed.Port();
    }
    auto request = Request();
    request->Port = port;
    Queue(std::move(request));
    ASSERT_TRUE(RunUntilResults(1));
    EXPECT_EQ(inbox.Results().front()->ErrorStep, MAILHND_ERR_CONNECT);
    EXPECT_EQ(inbox.Results().front()->FailClass, MHM_FAIL_TRANSIENT);
}

TEST(MailHandlerRecipients, ListRule)
{
    const struct {
        const char* text;
        std::vector<std::string> expected;
    } cases[] = {
        {"a@x.test", {"a@x.test"}},
        {"a@x.test; b@y.test", {"a@x.test", "b@y.test"}},
        {"a@x.test;;b@y.test", {"a@x.test", "", "b@y.test"}},
        {"a@x.test;", {"a@x.test"}},
        {"a@x.test, b@y.test;c@z.test", {"a@x.test", "b@y.test", "c@z.test"}},
        {" a @ x . test ", {"a@x.test"}},
        {"\ta@x.test\t", {"a@x.test"}},
        {"", {}},
        {"   ", {}},
        {";", {""}},
    };
    for (const auto& c : cases) {
        CStrList list;
        list.Add("left over");
        CMailHandler::FillRecipientList(c.text, list);
        EXPECT_EQ(list.Items(), c.expected) << c.text;
    }
}

TEST_F(MailHandlerTest, EachRecipientGetsItsOwnRcptInListOrder)
{
    Queue(Request("a@x.test;;b@y.test, c@z.test"));
    ASSERT_TRUE(RunUntilResults(1));
    EXPECT_EQ(inbox.Results().front()->code, MHM_STATUS_SEND_OK);
    const std::vector<std::string> lines = server.Lines();
    EXPECT_EQ(
        std::vector<std::string>(lines.begin() + 2, lines.begin() + 6),
        (std::vector<std::string>{"RCPT TO: <a@x.test>", "RCPT TO: <>", "RCPT TO: <b@y.test>", "RCPT TO: <c@z.test>"}));
    // The header names them in the same order.
    const std::string message = server.Messages().at(0);
    const std::size_t a = message.find("To: <a@x.test>\r\n");
    const std::size_t empty = message.find("To: <>\r\n");
    const std::size_t c = message.find("To: <c@z.test>\r\n");
    EXPECT_TRUE(a < empty && empty < c && c < message.find("Subject: ")) << message;
}

TEST_F(MailHandlerTest, ARecipientTextWithoutAnAddressEndsWithStepThree)
{
    Queue(Request("  "));
    ASSERT_TRUE(RunUntilResults(1));
    EXPECT_EQ(inbox.Results().front()->ErrorStep, MAILHND_ERR_RCPT_TO);
    EXPECT_EQ(inbox.Results().front()->FailClass, MHM_FAIL_PERMANENT);
    for (const std::string& line : server.Lines())
        EXPECT_EQ(line.rfind("RCPT", 0), std::string::npos);
    EXPECT_TRUE(server.Received("QUIT"));
    EXPECT_NE(Log().find("MAILHND_ST_RCPT_TO: No Recipient"), std::string::npos);
}

TEST_F(MailHandlerTest, InjectionAttemptsStayInsideTheirLine)
{
    auto request = Request("alice@example.test\r\nRCPT TO: <evil@x.test>");
    request->HeloName = "station.test\r\nMAIL FROM: <evil@x.test>";
    request->Sender = "orva@example.test>\r\nRCPT TO: <evil@x.test";
    request->Subject = "Alarm\r\nBcc: evil@x.test";
    Queue(std::move(request));
    ASSERT_TRUE(RunUntilResults(1));

    EXPECT_EQ(server.Lines(),
              (std::vector<std::string>{"HELO station.testMAIL FROM: <evil@x.test>",
                                        "MAIL FROM: <orva@example.test>RCPT TO: <evil@x.test>",
                                        "RCPT TO: <alice@example.testRCPTTO:<evil@x.test>>", "DATA", "QUIT"}));
    const std::string message = server.Messages().at(0);
    const std::string header = message.substr(0, message.find("\r\n\r\n") + 2);
    EXPECT_EQ(header.find("\r\nBcc"), std::string::npos) << header;
    EXPECT_NE(header.find("\r\nSubject: AlarmBcc: evil@x.test\r\n"), std::string::npos) << header;
}

TEST_F(MailHandlerTest, RequestsAreTakenStrictlyInOrderFiveSecondsApart)
{
    Queue(Request("a@x.test", "first"));
    Queue(Request("b@x.test", "second"));
    Queue(Request("c@x.test", "third"));

    for (std::size_t n = 1; n <= 3; ++n) {
        ASSERT_TRUE(RunUntilResults(n));
        EXPECT_EQ(handler.GetState(), MAILHND_ST_PAUSE);
        EXPECT_EQ(handler.InputQueue().GetCount(), 3 - n);
        if (n == 3)
            break;
        // The next request waits out the pause in the queue.
        clock.Advance(CMailHandler::kPauseMs - 1);
        RunFor(50ms);
        EXPECT_EQ(handler.GetState(), MAILHND_ST_PAUSE);
        EXPECT_EQ(handler.InputQueue().GetCount(), 3 - n);
        EXPECT_EQ(server.Connections(), static_cast<int>(n));
        clock.Advance(1);
        handler.RunPass();
        EXPECT_EQ(handler.GetState(), MAILHND_ST_IDLE);
        handler.RunPass();
        EXPECT_EQ(handler.GetState(), MAILHND_ST_CONNECT);
    }

    const auto results = inbox.Results();
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0]->Subject, "first");
    EXPECT_EQ(results[1]->Subject, "second");
    EXPECT_EQ(results[2]->Subject, "third");
    const auto messages = server.Messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_NE(messages[0].find("Subject: first\r\n"), std::string::npos);
    EXPECT_NE(messages[1].find("Subject: second\r\n"), std::string::npos);
    EXPECT_NE(messages[2].find("Subject: third\r\n"), std::string::npos);
}

TEST_F(MailHandlerTest, AFailedMailIsNotRetried)
{
    server.Set("RCPT", S::Says("550 no such user\r\n"));
    Queue(Request());
    ASSERT_TRUE(RunUntilResults(1));
    clock.Advance(CMailHandler::kPauseMs * 10);
    RunFor(100ms);
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(inbox.Results().size(), 1u);
    EXPECT_EQ(handler.GetState(), MAILHND_ST_IDLE);
}

struct FaultCase {
    const char* name;
    int16_t state;  // the step that throws
    uint16_t step;  // the error step reported
};

void PrintTo(const FaultCase& c, std::ostream* os)
{
    *os << c.name;
}

class MailHandlerFault : public MailHandlerTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(MailHandlerFault, AMailWhoseStepThrowsIsReportedFailedAndTheNextOneIsSent)
{
    const FaultCase& c = GetParam();
    handler.fault = [&](int16_t state, const CMailHandlerMsg& request) {
        if (state == c.state && request.Subject == "poison")
            throw std::runtime_error("injected fault");
    };
    Queue(Request("a@x.test", "poison"));
    Queue(Request("b@x.test", "next"));

    ASSERT_TRUE(RunUntilResults(1));
    const CMailHandlerMsg* failed = inbox.Results().front();
    EXPECT_EQ(failed->Subject, "poison");
    EXPECT_EQ(failed->GetType(), MAIL_STATUS);
    EXPECT_EQ(failed->code, MHM_STATUS_SEND_ERROR);
    EXPECT_EQ(failed->ErrorStep, c.step);
    EXPECT_EQ(failed->FailClass, MHM_FAIL_PERMANENT);  // the same mail would fail the same way again
    EXPECT_NE(Log().find("MailHandler::ThreadMain: Exception: injected fault"), std::string::npos) << Log();
    EXPECT_EQ(handler.GetState(), MAILHND_ST_PAUSE);

    clock.Advance(CMailHandler::kPauseMs);
    ASSERT_TRUE(RunUntilResults(2));
    const CMailHandlerMsg* next = inbox.Results()[1];
    EXPECT_EQ(next->Subject, "next");
    EXPECT_EQ(next->code, MHM_STATUS_SEND_OK);
    const auto messages = server.Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_NE(messages.back().find("Subject: next\r\n"), std::string::npos);
    // The poison mail's connection was dropped, not left open beside the next one.
    EXPECT_EQ(server.Connections(), c.state == MAILHND_ST_CONNECT ? 1 : 2);
}

INSTANTIATE_TEST_SUITE_P(States, MailHandlerFault,
                         ::testing::Values(FaultCase{"Connect", MAILHND_ST_CONNECT, MAILHND_ERR_CONNECT},
                                           FaultCase{"Greeting", MAILHND_ST_CONNECT_WAITRESP, MAILHND_ERR_CONNECT},
                                           FaultCase{"Helo", MAILHND_ST_HELO, MAILHND_ERR_HELO},
                                           FaultCase{"MailFrom", MAILHND_ST_MAIL_FROM_WAITRESP, MAILHND_ERR_MAIL_FROM},
                                           FaultCase{"Recipient", MAILHND_ST_RCPT_TO, MAILHND_ERR_RCPT_TO},
                                           FaultCase{"Data", MAILHND_ST_DATA_WAITRESP, MAILHND_ERR_DATA},
                                           FaultCase{"Message", MAILHND_ST_MESSAGE, MAILHND_ERR_MESSAGE},
                                           FaultCase{"Quit", MAILHND_ST_QUIT, MAILHND_ERR_QUIT},
                                           FaultCase{"Result", MAILHND_ST_DISCONNECT, MAILHND_ERR_QUIT}),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

struct GiveWayCase {
    const char* name;
    const char* silentKey;  // the retry's dialogue stops here (in its own connection only)
    int16_t waitState;      // waiting in this state
    int16_t retryCode;      // what becomes of the retry
};

void PrintTo(const GiveWayCase& c, std::ostream* os)
{
    *os << c.name;
}

class MailHandlerGiveWay : public MailHandlerTest, public ::testing::WithParamInterface<GiveWayCase> {};

TEST_P(MailHandlerGiveWay, ANewMailDoesNotWaitForARetry)
{
    const GiveWayCase& c = GetParam();
    server.Set(std::string(c.silentKey) + "@1", S::Silent());
    auto retry = Request("r@x.test", "retry");
    retry->Retry = true;
    retry->MailId = 7;
    Queue(std::move(retry));
    ASSERT_TRUE(RunUntilState(c.waitState));
    handler.RunPass();  // the wait begins
    Queue(Request("n@x.test", "new"));
    if (c.retryCode == MHM_STATUS_SEND_ERROR) {
        // The message went out: only its reply (or the time-out) can say
        // whether the server has it, so the retry runs to its end.
        RunFor(50ms);
        EXPECT_TRUE(inbox.Results().empty());
        clock.Advance(CMailHandler::kReplyTimeoutMs);
    }
    // No pause and no reply wait of the retry holds the new mail back.
    ASSERT_TRUE(RunUntilResults(2));

    const auto results = inbox.Results();
    EXPECT_EQ(results[0]->Subject, "retry");
    EXPECT_EQ(results[0]->code, c.retryCode);
    EXPECT_EQ(results[0]->MailId, 7u);
    EXPECT_TRUE(results[0]->Retry);
    EXPECT_EQ(results[0]->GetType(), MAIL_STATUS);
    EXPECT_EQ(results[1]->Subject, "new");
    EXPECT_EQ(results[1]->code, MHM_STATUS_SEND_OK);
    EXPECT_EQ(server.Messages().size(), c.retryCode == MHM_STATUS_SET_ASIDE ? 1u : 2u);
    EXPECT_NE(server.Messages().back().find("Subject: new\r\n"), std::string::npos);
    EXPECT_EQ(Log().find("Retry set aside for a new mail") != std::string::npos, c.retryCode == MHM_STATUS_SET_ASIDE);
}

INSTANTIATE_TEST_SUITE_P(
    States, MailHandlerGiveWay,
    ::testing::Values(GiveWayCase{"Greeting", "GREETING", MAILHND_ST_CONNECT_WAITRESP, MHM_STATUS_SET_ASIDE},
                      GiveWayCase{"Helo", "HELO", MAILHND_ST_HELO_WAITRESP, MHM_STATUS_SET_ASIDE},
                      GiveWayCase{"MailFrom", "MAIL", MAILHND_ST_MAIL_FROM_WAITRESP, MHM_STATUS_SET_ASIDE},
                      GiveWayCase{"Recipient", "RCPT", MAILHND_ST_RCPT_TO_WAITRESP, MHM_STATUS_SET_ASIDE},
                      GiveWayCase{"Data", "DATA", MAILHND_ST_DATA_WAITRESP, MHM_STATUS_SET_ASIDE},
                      GiveWayCase{"Message", "MESSAGE", MAILHND_ST_MESSAGE_WAITRESP, MHM_STATUS_SEND_ERROR},
                      GiveWayCase{"Quit", "QUIT", MAILHND_ST_QUIT_WAITRESP, MHM_STATUS_SEND_OK}),
    [](const ::testing::TestParamInfo<GiveWayCase>& info) { return std::string(info.param.name); });

TEST_F(MailHandlerTest, OnlyTheRetryGivesWayAndOnlyItsPauseIsCut)
{
    // A new mail behind a new mail waits for the first one and its pause.
    server.Set("GREETING@1", S::Silent());
    Queue(Request("a@x.test", "first"));
    ASSERT_TRUE(RunUntilState(MAILHND_ST_CONNECT_WAITRESP));
    Queue(Request("b@x.test", "second"));
    RunFor(50ms);
    EXPECT_TRUE(inbox.Results().empty());
    clock.Advance(CMailHandler::kReplyTimeoutMs);
    ASSERT_TRUE(RunUntilResults(1));
    EXPECT_EQ(inbox.Results()[0]->code, MHM_STATUS_SEND_ERROR);
    RunFor(50ms);
    EXPECT_EQ(handler.GetState(), MAILHND_ST_PAUSE);
    EXPECT_EQ(handler.InputQueue().GetCount(), 1u);

    // After a delivered retry the pause gives way to a new mail at once.
    clock.Advance(CMailHandler::kPauseMs);
    ASSERT_TRUE(RunUntilResults(2));
    clock.Advance(CMailHandler::kPauseMs);
    auto retry = Request("r@x.test", "retry");
    retry->Retry = true;
    Queue(std::move(retry));
    ASSERT_TRUE(RunUntilResults(3));
    EXPECT_EQ(inbox.Results()[2]->code, MHM_STATUS_SEND_OK);
    EXPECT_EQ(handler.GetState(), MAILHND_ST_PAUSE);
    Queue(Request("c@x.test", "third"));
    ASSERT_TRUE(RunUntilResults(4));
    EXPECT_EQ(inbox.Results()[3]->Subject, "third");
}

TEST_F(MailHandlerTest, OtherMessagesInTheQueueAreDropped)
{
    handler.ReceiveMsg(std::make_unique<CMsg>(7));
    handler.ReceiveMsg(std::make_unique<CMsg>(MAIL_REQUEST));  // right type, wrong class
    Queue(Request());
    ASSERT_TRUE(RunUntilResults(1));
    EXPECT_EQ(inbox.Results().front()->code, MHM_STATUS_SEND_OK);
    EXPECT_EQ(server.Connections(), 1);
}

// The thread itself, on the real clock.
class MailHandlerThread : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.WorkIn();
        handler.SetOwner(&inbox);
        handler.ResetState();
    }
    TempDir dir;
    ScriptedSmtpServer server;
    Inbox inbox;
    CMailHandler handler;
};

TEST_F(MailHandlerThread, StartsDeliversAndStops)
{
    ASSERT_EQ(handler.Start(), HNDRET_STARTED);
    auto request = std::make_unique<CMailHandlerMsg>(MAIL_REQUEST);
    request->Server = "127.0.0.1";
    request->Port = server.Port();
    request->HeloName = "station.test";
    request->Sender = "orva@example.test";
    request->Recipients = "alice@example.test";
    handler.ReceiveMsg(std::move(request));
    ASSERT_TRUE(Poll([&] { return !inbox.Results().empty(); }));
    EXPECT_EQ(inbox.Results().front()->code, MHM_STATUS_SEND_OK);
    EXPECT_EQ(handler.Stop(), HNDRET_STOPPED);

    const std::string log = ReadFile("MailHandler.log");
    EXPECT_NE(log.find("MailHandler::ThreadMain: Startup - Ver. 2.72"), std::string::npos);
    EXPECT_NE(log.find("MailHandler::ThreadMain: Shutdown"), std::string::npos);
}

TEST_F(MailHandlerThread, StoppingInTheMiddleOfAMailPostsNoResult)
{
    server.Set("HELO", S::Silent());
    ASSERT_EQ(handler.Start(), HNDRET_STARTED);
    auto request = std::make_unique<CMailHandlerMsg>(MAIL_REQUEST);
    request->Server = "127.0.0.1";
    request->Port = server.Port();
    request->HeloName = "station.test";
    request->Recipients = "alice@example.test";
    handler.ReceiveMsg(std::move(request));
    ASSERT_TRUE(Poll([&] { return server.Received("HELO station.test"); }));

    EXPECT_EQ(handler.Stop(), HNDRET_STOPPED);
    EXPECT_EQ(inbox.Codes(), (std::vector<int16_t>{MHM_STATUS_CONNECTING, MHM_STATUS_AUTHORIZING}));
    EXPECT_FALSE(server.Received("QUIT"));
    EXPECT_EQ(handler.GetState(), MAILHND_ST_IDLE);
}

TEST_F(MailHandlerThread, AFaultInOneMailLeavesTheThreadRunning)
{
    struct FaultyHandler : CMailHandler {
        ~FaultyHandler() override { EndThread(); }
        void BeforeMailStep(int16_t, const CMailHandlerMsg&) override { throw std::runtime_error("injected fault"); }
    } faulty;
    faulty.SetOwner(&inbox);
    faulty.ResetState();
    ASSERT_EQ(faulty.Start(), HNDRET_STARTED);
    auto request = std::make_unique<CMailHandlerMsg>(MAIL_REQUEST);
    request->Server = "127.0.0.1";
    request->Port = server.Port();
    request->Recipients = "alice@example.test";
    faulty.ReceiveMsg(std::move(request));
    ASSERT_TRUE(Poll([&] { return !inbox.Results().empty(); }));
    EXPECT_EQ(inbox.Results().front()->code, MHM_STATUS_SEND_ERROR);
    EXPECT_EQ(faulty.IsRunning(), 1);
    EXPECT_EQ(faulty.Stop(), HNDRET_STOPPED);
}

}  // namespace
