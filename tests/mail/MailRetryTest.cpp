// Alarm mails that fail for a reason that may pass: kept in the outbox, tried
// again after 1, 2, 5, 10 and 30 minutes, never ahead of a new alarm's mail,
// and sent after a restart. The manager runs as on the user-interface thread
// (the test hands it the handler's messages as the document does); the
// handler's loop is stepped by the test, and the clock moves only when the
// test moves it.

#include "mail/MailMgr.h"

#include "LoopbackPeer.h"
#include "ScriptedSmtpServer.h"
#include "SmtpSink.h"
#include "SteppedMailHandler.h"
#include "core/TextLookup.h"
#include "core/ThreadQueue.h"
#include "support/FakeTickSource.h"
#include "support/RecordingScreen.h"
#include "support/TempDir.h"
#include "support/TestDictionary.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

using namespace std::chrono_literals;

// The fake clock, except that sleeping passes in real time and leaves the
// clock alone: the start and stop handshakes wait for the handler's thread
// while only the test moves the clock.
class TestClock : public FakeTickSource {
public:
    using FakeTickSource::FakeTickSource;
    void Sleep(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

// A port on 127.0.0.1 where nobody listens: a connection is refused at once.
// The socket stays bound, so that nothing else takes the port meanwhile.
class DeadPort {
public:
    DeadPort()
    {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
    }
    ~DeadPort()
    {
        if (fd >= 0)
            close(fd);
    }
    DeadPort(const DeadPort&) = delete;
    DeadPort& operator=(const DeadPort&) = delete;
    uint16_t Port() const { return port; }

private:
    int fd = -1;
    uint16_t port = 0;
};

// The relay's side: keeps what the handler posts until the test hands it on.
struct Relay : CMsgReceiver {
    void ReceiveMsg(std::unique_ptr<CMsg> msg) override { queue.Add(std::move(msg)); }
    CThreadQueue queue;
};

struct Result {
    std::string recipients;
    int16_t code;
};

const std::string kDown = "ERROR: E-mail sending failure, Error connecting to Mailserver..., MailTo ";

class MailRetry : public EnglishDictionaryTest {
protected:
    void SetUp() override
    {
        dir.WorkIn();  // the handler's log file
        fs::create_directory(dir.Path() / "db");
        host.settings.DatabasePath = (dir.Path() / "db").string();
        host.settings.MailEnabled = 1;
        host.settings.SendMailServer = "127.0.0.1";
        host.settings.MailPortNumber = server.Port();
        host.settings.MailAccountName = "station.test";
        host.settings.MailSenderAddress = "orva@example.test";
        ASSERT_NE(server.Port(), 0);
        ASSERT_NE(dead.Port(), 0);
        ASSERT_NO_FATAL_FAILURE(NewManager());
    }
    void TearDown() override { EndManager(); }

    // A manager as the station's start makes it, on the same outbox folder.
    void NewManager()
    {
        EndManager();
        host.outboxFolder = SpoolFolder().string();
        host.ReopenOutbox();
        auto stepped = std::make_unique<SteppedMailHandler>();
        handler = stepped.get();
        mgr = std::make_unique<CMailMgr>(std::move(stepped));
        mgr->SetDocument(&host);
        ASSERT_TRUE(handler->OpenLog());
        ASSERT_EQ(mgr->Start(&relay), 1);
    }
    void EndManager()
    {
        if (!mgr)
            return;
        EXPECT_EQ(mgr->Stop(), HNDRET_STOPPED);
        Deliver();
        handler->CloseLog();
        mgr.reset();
        handler = nullptr;
    }

    void SendAlarm(const std::string& recipients, uint8_t type = ALARMTYPE_EMERGENCY_CALL)
    {
        CAlarmInfoMsg alarm;
        alarm.AlarmType = type;
        alarm.IdInfo = "Lift for " + recipients;
        alarm.IdCode = "123456";
        alarm.Text.AddLine("Alarm button pressed");
        mgr->SendAlarmMail(&alarm, recipients);
    }

    // Hands the handler's messages to the manager, as the document does.
    void Deliver()
    {
        while (std::unique_ptr<CMsg> msg = relay.queue.Get()) {
            const auto& status = dynamic_cast<const CMailHandlerMsg&>(*msg);
            if (status.code >= MHM_STATUS_SEND_OK)
                results.push_back({status.Recipients, status.code});
            mgr->OnHandlerStatus(status);
        }
    }
    void Pass()
    {
        handler->RunPass();
        Deliver();
    }
    // Runs passes (really waiting a little between them) until the condition
    // holds; the clock stands still.
    template <typename Cond>
    bool RunUntil(Cond cond, std::chrono::milliseconds limit = 10s)
    {
        return Poll(
            [&] {
                if (cond())
                    return true;
                Pass();
                return false;
            },
            limit);
    }
    bool RunUntilResults(std::size_t count)
    {
        return RunUntil([&] { return results.size() >= count; });
    }
    // Like RunUntilResults, but as the station runs: the manager is asked
    // for waiting mails all the time and a pause runs out at once. With a
    // silent server, a reply wait runs out too once nothing has moved for
    // `silence` in real time.
    bool RunOutUntilResults(std::size_t count, std::chrono::milliseconds limit = 20s,
                            std::chrono::milliseconds silence = 0ms)
    {
        int16_t state = -1;
        auto still = std::chrono::steady_clock::now();
        return Poll(
            [&] {
                if (results.size() >= count)
                    return true;
                mgr->CheckRetries();
                Pass();
                const int16_t now = handler->GetState();
                if (now != state) {
                    state = now;
                    still = std::chrono::steady_clock::now();
                } else if (now == MAILHND_ST_PAUSE) {
                    clock.Advance(CMailHandler::kPauseMs);
                } else if (silence > 0ms && now != MAILHND_ST_IDLE &&
                           std::chrono::steady_clock::now() - still > silence) {
                    clock.Advance(CMailHandler::kReplyTimeoutMs);
                    still = std::chrono::steady_clock::now();
                }
                return false;
            },
            limit);
    }
    // Lets a dialogue in progress end in real time.
    bool RunUntilHandlerFree()
    {
        return RunUntil([&] {
            const int16_t state = handler->GetState();
            return handler->InputQueue().GetCount() == 0 && (state == MAILHND_ST_IDLE || state == MAILHND_ST_PAUSE);
        });
    }
    void RunFor(std::chrono::milliseconds span)
    {
        RunUntil([] { return false; }, span);
    }

    fs::path SpoolFolder() const { return dir.Path() / "db" / COutbox::kFolderName; }
    std::vector<COutbox::Job> Spooled() const
    {
        std::vector<COutbox::Job> mails;
        if (!fs::exists(SpoolFolder()))
            return mails;
        for (const auto& entry : fs::directory_iterator(SpoolFolder())) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::stringstream text;
            text << in.rdbuf();
            COutbox::Job mail;
            EXPECT_TRUE(COutbox::Decode(text.str(), mail)) << entry.path();
            mails.push_back(mail);
        }
        return mails;
    }
    std::string Pane() { return host.screen.panes[STATUS_PANE_MAIL]; }

    TestClock clock{100000};
    TempDir dir;
    ScriptedSmtpServer server;
    DeadPort dead;
    RecordingHost host;
    Relay relay;
    std::unique_ptr<CMailMgr> mgr;
    SteppedMailHandler* handler = nullptr;
    std::vector<Result> results;
};

TEST_F(MailRetry, AMailTheServerCouldNotTakeIsTriedAfter1_2_5_10And30MinutesThenGivenUp)
{
    host.settings.MailPortNumber = dead.Port();
    SendAlarm("a@x.test");
    ASSERT_EQ(Spooled().size(), 1u);  // kept from the start
    ASSERT_TRUE(RunUntilResults(1));

    // The operator hears of the failure at once, and that it is not the end.
    EXPECT_EQ(host.screen.infoLines,
              (std::vector<std::pair<std::string, bool>>{{kDown + "a@x.test - next attempt in 1 min", true}}));
    EXPECT_EQ(Pane(), "Mail: Idle (1 waiting)");
    EXPECT_EQ(mgr->GetWaitingCount(), 1u);

    for (std::size_t retry = 0; retry < CMailMgr::kRetryDelaysMs.size(); ++retry) {
        SCOPED_TRACE("retry " + std::to_string(retry + 1));
        ASSERT_EQ(Spooled().size(), 1u);
        EXPECT_EQ(Spooled()[0].attempts, retry + 1);
        // Not a moment early.
        clock.Advance(CMailMgr::kRetryDelaysMs[retry] - 1);
        mgr->CheckRetries();
        RunFor(30ms);
        EXPECT_EQ(results.size(), retry + 1);
        EXPECT_EQ(handler->GetState(), MAILHND_ST_IDLE);
        clock.Advance(1);
        mgr->CheckRetries();
        ASSERT_TRUE(RunUntilResults(retry + 2));
        EXPECT_EQ(results.back().code, MHM_STATUS_SEND_ERROR);
    }

    // Six attempts in all; then the usual failure report, and nothing waits.
    EXPECT_EQ(host.screen.infoLines,
              (std::vector<std::pair<std::string, bool>>{{kDown + "a@x.test - next attempt in 1 min", true},
                                                         {kDown + "a@x.test", true}}));
    EXPECT_EQ(mgr->GetWaitingCount(), 0u);
    EXPECT_EQ(Pane(), "Mail: Idle");
    EXPECT_TRUE(Spooled().empty());
    clock.Advance(24 * 3600 * 1000u);
    mgr->CheckRetries();
    RunFor(30ms);
    EXPECT_EQ(results.size(), 6u);
}

struct ReplyCase {
    const char* name;
    const char* key;  // the command whose reply fails, in the first connection only
    const char* reply;
    bool retried;
    uint16_t step;
};

void PrintTo(const ReplyCase& c, std::ostream* os)
{
    *os << c.name;
}

class MailRetryByReply : public MailRetry, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(MailRetryByReply, OnlyATransientReplyIsTriedAgain)
{
    const ReplyCase& c = GetParam();
    server.Set(std::string(c.key) + "@1", ScriptedSmtpServer::Says(c.reply));
    SendAlarm("a@x.test");
    ASSERT_TRUE(RunUntilResults(1));
    ASSERT_EQ(results[0].code, MHM_STATUS_SEND_ERROR);
    const std::string failure = "ERROR: E-mail sending failure, Communication Error[" + std::to_string(c.step) +
                                "] with Mailserver..., MailTo a@x.test";

    // The server would take it now; two hours pass.
    for (int minute = 0; minute < 120; ++minute) {
        clock.Advance(60000);
        mgr->CheckRetries();
        ASSERT_TRUE(RunUntilHandlerFree());
    }
    if (c.retried) {
        ASSERT_EQ(results.size(), 2u);
        EXPECT_EQ(results[1].code, MHM_STATUS_SEND_OK);
        EXPECT_EQ(server.Connections(), 2);
        EXPECT_EQ(host.screen.infoLines,
                  (std::vector<std::pair<std::string, bool>>{{failure + " - next attempt in 1 min", true},
                                                             {"E-mail sent at attempt 2, MailTo a@x.test", false}}));
    } else {
        EXPECT_EQ(results.size(), 1u);
        EXPECT_EQ(server.Connections(), 1);
        EXPECT_EQ(host.screen.infoLines, (std::vector<std::pair<std::string, bool>>{{failure, true}}));
    }
    EXPECT_EQ(mgr->GetWaitingCount(), 0u);
    EXPECT_TRUE(Spooled().empty());
    EXPECT_EQ(Pane(), "Mail: Idle");
}

INSTANTIATE_TEST_SUITE_P(
    Replies, MailRetryByReply,
    ::testing::Values(ReplyCase{"BusyHelo", "HELO", "421 busy\r\n", true, MAILHND_ERR_HELO},
                      ReplyCase{"MailboxBusy", "RCPT", "450 mailbox busy\r\n", true, MAILHND_ERR_RCPT_TO},
                      ReplyCase{"LocalErrorAfterTheData", "MESSAGE", "451 local error\r\n", true, MAILHND_ERR_MESSAGE},
                      ReplyCase{"NoSuchUser", "RCPT", "550 no such user\r\n", false, MAILHND_ERR_RCPT_TO},
                      ReplyCase{"SenderRefused", "MAIL", "553 not allowed\r\n", false, MAILHND_ERR_MAIL_FROM},
                      ReplyCase{"MessageRejected", "MESSAGE", "554 rejected\r\n", false, MAILHND_ERR_MESSAGE},
                      ReplyCase{"DataAnsweredWrongly", "DATA", "250 ok\r\n", false, MAILHND_ERR_DATA}),
    [](const ::testing::TestParamInfo<ReplyCase>& info) { return std::string(info.param.name); });

TEST_F(MailRetry, ServerStoppedWhileSendingAndBackTwoMinutesLaterGetsTheMailOnce)
{
    auto sink = std::make_unique<SmtpSink>();
    const uint16_t port = sink->Port();
    ASSERT_NE(port, 0) << "the SMTP server (python3-aiosmtpd) did not start";
    host.settings.MailPortNumber = port;
    SendAlarm("alice@example.test");
    ASSERT_TRUE(RunUntil([&] { return handler->GetState() == MAILHND_ST_HELO_WAITRESP; }));
    sink.reset();  // the server goes down in the middle of the dialogue
    ASSERT_TRUE(RunOutUntilResults(1));
    EXPECT_EQ(results[0].code, MHM_STATUS_SEND_ERROR);
    EXPECT_EQ(mgr->GetWaitingCount(), 1u);

    clock.Advance(2 * 60000);
    sink = std::make_unique<SmtpSink>(port);
    ASSERT_EQ(sink->Port(), port);
    mgr->CheckRetries();
    ASSERT_TRUE(RunUntilResults(2));
    EXPECT_EQ(results[1].code, MHM_STATUS_SEND_OK);
    ASSERT_TRUE(sink->WaitForMail(1));
    EXPECT_EQ(sink->Part(1, "rcpt"), "alice@example.test");
    EXPECT_NE(sink->Part(1, "body").find("ID Info: Lift for alice@example.test\r\n"), std::string::npos);

    // Once: nothing is left to send again.
    for (int minute = 0; minute < 60; ++minute) {
        clock.Advance(60000);
        mgr->CheckRetries();
        ASSERT_TRUE(RunUntilHandlerFree());
    }
    EXPECT_FALSE(sink->HasMail(2));
    EXPECT_EQ(results.size(), 2u);
    EXPECT_TRUE(Spooled().empty());
    EXPECT_EQ(mgr->GetWaitingCount(), 0u);
}

TEST_F(MailRetry, AServerThatNeverAnswersDoesNotHoldBackANewAlarmsMail)
{
    // Three alarms while the server accepts connections and says nothing.
    for (int connection = 1; connection <= 4; ++connection)
        server.Set("GREETING@" + std::to_string(connection), ScriptedSmtpServer::Silent());
    SendAlarm("old1@x.test");
    SendAlarm("old2@x.test");
    SendAlarm("old3@x.test");
    ASSERT_TRUE(RunOutUntilResults(3, 20s, 1s));
    EXPECT_EQ(mgr->GetWaitingCount(), 3u);
    EXPECT_EQ(Pane(), "Mail: Idle (3 waiting)");

    // The first of them is tried again, and the server is still silent...
    clock.Advance(CMailMgr::kRetryDelaysMs[0]);
    mgr->CheckRetries();
    ASSERT_TRUE(
        RunUntil([&] { return server.Connections() == 4 && handler->GetState() == MAILHND_ST_CONNECT_WAITRESP; }));
    Pass();

    // ...when a new alarm comes: its mail goes at once, the clock standing still.
    const std::size_t before = results.size();
    SendAlarm("new@x.test");
    ASSERT_TRUE(RunUntil([&] {
        for (std::size_t i = before; i < results.size(); ++i)
            if (results[i].recipients == "new@x.test")
                return true;
        return false;
    }));
    EXPECT_EQ(results.back().code, MHM_STATUS_SEND_OK);
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_NE(server.Messages()[0].find("To: <new@x.test>"), std::string::npos);

    // Then the waiting ones, oldest first, each once.
    ASSERT_TRUE(RunOutUntilResults(before + 5));
    EXPECT_FALSE(RunOutUntilResults(before + 6, 1s));
    const auto messages = server.Messages();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_NE(messages[1].find("To: <old1@x.test>"), std::string::npos);
    EXPECT_NE(messages[2].find("To: <old2@x.test>"), std::string::npos);
    EXPECT_NE(messages[3].find("To: <old3@x.test>"), std::string::npos);
    EXPECT_EQ(mgr->GetWaitingCount(), 0u);
    EXPECT_EQ(Pane(), "Mail: Idle");
    EXPECT_TRUE(Spooled().empty());
    // The retry put aside for the new mail did not count as an attempt.
    EXPECT_EQ(host.screen.infoLines.back(),
              (std::pair<std::string, bool>{"E-mail sent at attempt 2, MailTo old3@x.test", false}));
}

TEST_F(MailRetry, TheSpoolSurvivesARestartAndTheNewManagerSendsEachMailOnce)
{
    auto sink = std::make_unique<SmtpSink>();
    ASSERT_NE(sink->Port(), 0) << "the SMTP server (python3-aiosmtpd) did not start";
    // One mail failed before the stop, one never got its turn.
    host.settings.MailPortNumber = dead.Port();
    SendAlarm("failed@x.test");
    ASSERT_TRUE(RunUntilResults(1));
    SendAlarm("queued@x.test");
    ASSERT_EQ(Spooled().size(), 2u);
    EndManager();
    ASSERT_EQ(Spooled().size(), 2u);

    host.settings.MailPortNumber = sink->Port();
    results.clear();
    ASSERT_NO_FATAL_FAILURE(NewManager());
    EXPECT_EQ(mgr->GetWaitingCount(), 2u);
    EXPECT_EQ(Pane(), "Mail: Idle (2 waiting)");
    ASSERT_TRUE(RunUntilResults(1));
    // The handler's pause after a mail holds for waiting mails too.
    for (int i = 0; i < 20; ++i) {
        mgr->CheckRetries();
        Pass();
    }
    EXPECT_EQ(handler->InputQueue().GetCount(), 0u);
    EXPECT_EQ(handler->GetState(), MAILHND_ST_PAUSE);
    clock.Advance(CMailHandler::kPauseMs);
    ASSERT_TRUE(RunOutUntilResults(2));
    ASSERT_TRUE(sink->WaitForMail(2));
    EXPECT_EQ(sink->Part(1, "rcpt"), "failed@x.test");
    EXPECT_EQ(sink->Part(2, "rcpt"), "queued@x.test");
    EXPECT_TRUE(Spooled().empty());
    EXPECT_EQ(Pane(), "Mail: Idle");

    // A further start finds nothing to send.
    ASSERT_NO_FATAL_FAILURE(NewManager());
    EXPECT_FALSE(RunOutUntilResults(3, 1s));
    EXPECT_FALSE(sink->HasMail(3));
    EXPECT_EQ(mgr->GetWaitingCount(), 0u);
}

TEST_F(MailRetry, TheJobFileGoesTheMomentTheServerHasTakenTheMail)
{
    // A station killed between the server's acceptance and the result
    // reaching the manager must not send the mail again after its restart.
    SendAlarm("a@x.test");
    ASSERT_EQ(Spooled().size(), 1u);
    ASSERT_TRUE(Poll([&] {
        handler->RunPass();  // the handler's thread alone: nothing reaches the manager
        return handler->GetState() == MAILHND_ST_QUIT_WAITRESP;
    }));
    EXPECT_EQ(server.Messages().size(), 1u);
    EXPECT_TRUE(Spooled().empty());
    EXPECT_TRUE(results.empty());
    ASSERT_TRUE(RunUntilResults(1));
    EXPECT_EQ(results[0].code, MHM_STATUS_SEND_OK);
    EXPECT_TRUE(host.screen.infoLines.empty());
}

TEST_F(MailRetry, AMailTheServerRefusedAfterItsDataKeepsItsJobFile)
{
    server.Set("MESSAGE@1", ScriptedSmtpServer::Says("451 local error\r\n"));
    SendAlarm("a@x.test");
    ASSERT_TRUE(RunUntilResults(1));
    ASSERT_EQ(Spooled().size(), 1u);
    EXPECT_EQ(Spooled()[0].attempts, 1);
}

TEST_F(MailRetry, AWaitingMailGoesToTheServerOfTheSettingsAndOnlyWithMailOn)
{
    host.settings.MailPortNumber = dead.Port();
    SendAlarm("a@x.test");
    ASSERT_TRUE(RunUntilResults(1));

    // The operator switches mail off, corrects the server, and on again.
    host.settings.MailEnabled = 0;
    host.settings.MailPortNumber = server.Port();
    mgr->ShowStatusText("Mail: Disabled");  // as the settings sheet's end shows it
    EXPECT_EQ(Pane(), "Mail: Disabled (1 waiting)");
    clock.Advance(CMailMgr::kRetryDelaysMs[0]);
    mgr->CheckRetries();
    RunFor(30ms);
    EXPECT_EQ(results.size(), 1u);
    EXPECT_EQ(mgr->GetWaitingCount(), 1u);

    host.settings.MailEnabled = 1;
    mgr->CheckRetries();
    ASSERT_TRUE(RunUntilResults(2));
    EXPECT_EQ(results[1].code, MHM_STATUS_SEND_OK);
    EXPECT_EQ(server.Connections(), 1);
}

TEST_F(MailRetry, ATestMailIsTriedOnce)
{
    mgr->SendTestMail("127.0.0.1", dead.Port(), "station.test", "orva@example.test", "me@x.test");
    ASSERT_TRUE(RunUntilResults(1));
    EXPECT_EQ(host.screen.infoLines, (std::vector<std::pair<std::string, bool>>{{kDown + "me@x.test", true}}));
    EXPECT_EQ(mgr->GetWaitingCount(), 0u);
    EXPECT_TRUE(Spooled().empty());
}

TEST_F(MailRetry, AStopKeepsTheQueueAndTheMailInProgressGoesAgainAfterTheStart)
{
    server.Set("HELO@1", ScriptedSmtpServer::Silent());
    SendAlarm("a@x.test");
    SendAlarm("b@x.test");
    ASSERT_TRUE(RunUntil([&] { return handler->GetState() == MAILHND_ST_HELO_WAITRESP; }));
    ASSERT_EQ(mgr->Stop(), HNDRET_STOPPED);
    Deliver();
    EXPECT_TRUE(results.empty());  // a mail abandoned by the stop brings no result
    EXPECT_EQ(handler->InputQueue().GetCount(), 1u);
    EXPECT_EQ(mgr->GetWaitingCount(), 1u);
    EXPECT_EQ(Spooled().size(), 2u);

    ASSERT_EQ(mgr->Start(&relay), 1);
    ASSERT_TRUE(RunOutUntilResults(2));
    EXPECT_FALSE(RunOutUntilResults(3, 1s));
    EXPECT_EQ(results[0].recipients, "b@x.test");  // the queued new mail first
    EXPECT_EQ(results[1].recipients, "a@x.test");
    EXPECT_EQ(results[1].code, MHM_STATUS_SEND_OK);
    ASSERT_EQ(server.Messages().size(), 2u);
    EXPECT_TRUE(Spooled().empty());
    EXPECT_EQ(mgr->GetWaitingCount(), 0u);
}

TEST_F(MailRetry, AMailTheServerTookBeforeAStopIsNotSentAgain)
{
    server.Set("QUIT@1", ScriptedSmtpServer::Silent());
    SendAlarm("a@x.test");
    ASSERT_TRUE(RunUntil([&] { return handler->GetState() == MAILHND_ST_QUIT_WAITRESP; }));
    ASSERT_EQ(mgr->Stop(), HNDRET_STOPPED);
    EXPECT_EQ(mgr->GetWaitingCount(), 0u);
    ASSERT_EQ(mgr->Start(&relay), 1);
    EXPECT_FALSE(RunOutUntilResults(1, 1s));
    EXPECT_EQ(server.Messages().size(), 1u);
    EXPECT_TRUE(Spooled().empty());
}

TEST_F(MailRetry, OutboxTroubleIsReportedOnceAndTheMailStillGoes)
{
    // The outbox folder's place is taken by a file.
    EndManager();
    fs::remove_all(SpoolFolder());
    std::ofstream(SpoolFolder()) << "not a folder";
    host.settings.MailPortNumber = dead.Port();
    ASSERT_NO_FATAL_FAILURE(NewManager());

    SendAlarm("a@x.test");
    ASSERT_FALSE(host.screen.infoLines.empty());
    const std::string outboxLine = "ERROR: Alarm e-mails and SMS cannot be kept on disk (" + SpoolFolder().string();
    EXPECT_EQ(host.screen.infoLines[0].first.rfind(outboxLine, 0), 0u) << host.screen.infoLines[0].first;
    EXPECT_TRUE(host.screen.infoLines[0].second);
    SendAlarm("b@x.test");
    ASSERT_TRUE(RunOutUntilResults(2));
    EXPECT_EQ(host.screen.infoLines.size(), 3u);  // the two failures, no second outbox line
    // Kept in memory, they are still tried again.
    host.settings.MailPortNumber = server.Port();
    clock.Advance(CMailMgr::kRetryDelaysMs[0]);
    mgr->CheckRetries();
    ASSERT_TRUE(RunOutUntilResults(4));
    EXPECT_EQ(server.Messages().size(), 2u);
}

TEST_F(MailRetry, AnUnreadableJobFileIsSetAsideAndReported)
{
    EndManager();
    std::ofstream(SpoolFolder() / "20240101T000000Z-000001.mail") << "ORVA-MAIL 1\nAttempts 1\nRecipi";
    ASSERT_NO_FATAL_FAILURE(NewManager());
    const std::string aside = (SpoolFolder() / "20240101T000000Z-000001.mail.bad").string();
    EXPECT_EQ(host.screen.infoLines,
              (std::vector<std::pair<std::string, bool>>{
                  {"ERROR: A waiting alarm e-mail or SMS could not be read and was set aside: " + aside, true}}));
    EXPECT_TRUE(fs::exists(aside));
    EXPECT_EQ(mgr->GetWaitingCount(), 0u);
}

}  // namespace

namespace {

// Found at a start: a held mail (its voice call ended with the station) is
// sent; one composed more than a day ago is reported and not sent.
TEST_F(MailRetry, AtAStartAHeldMailIsSentAndOneOlderThanADayIsReportedInstead)
{
    EndManager();
    COutbox outbox;
    ASSERT_TRUE(outbox.Open(SpoolFolder().string()));
    COutbox::Job held;
    held.kind = COutbox::Kind::Mail;
    held.alarmId = "run-1";
    held.slot = "mail";
    held.alarm = "L1";
    held.held = true;
    held.recipients = "a@x.test";
    held.subject = "Alarm";
    held.body = "held\r\n";
    ASSERT_EQ(outbox.Add(held), COutbox::AddResult::Added);
    COutbox::Job old = held;
    old.alarmId = "run-0";
    old.held = false;
    old.recipients = "old@x.test";
    old.created = std::time(nullptr) - COutbox::kMaxAgeSeconds - 60;
    ASSERT_EQ(outbox.Add(old), COutbox::AddResult::Added);

    ASSERT_NO_FATAL_FAILURE(NewManager());
    EXPECT_EQ(host.screen.infoLines,
              (std::vector<std::pair<std::string, bool>>{
                  {"NOT SENT: The alarm e-mail of L1 to old@x.test waited more than a day; it was not sent after the "
                   "restart",
                   true}}));
    EXPECT_EQ(host.screen.jobLines,
              (std::vector<std::string>{"expired mail alarm=\"L1\" to=\"old@x.test\" job=run-0-mail.job",
                                        "waiting mail alarm=\"L1\" to=\"a@x.test\" job=run-1-mail.job"}));
    ASSERT_TRUE(RunOutUntilResults(1));
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_NE(server.Messages()[0].find("To: <a@x.test>"), std::string::npos);
    EXPECT_TRUE(Spooled().empty());
}

// Mails composed together: the emergency alarm's goes first.
TEST_F(MailRetry, ANewEmergencyMailGoesAheadOfTechnicalOnesQueuedBeforeIt)
{
    SendAlarm("tech1@x.test", ALARMTYPE_P100);
    SendAlarm("tech2@x.test", ALARMTYPE_LIFT_MONITORING);
    SendAlarm("help@x.test", ALARMTYPE_VOICE);
    ASSERT_TRUE(RunOutUntilResults(3));
    const std::vector<std::string> messages = server.Messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_NE(messages[0].find("To: <help@x.test>"), std::string::npos);
    EXPECT_NE(messages[1].find("To: <tech1@x.test>"), std::string::npos);
    EXPECT_NE(messages[2].find("To: <tech2@x.test>"), std::string::npos);
}

}  // namespace
