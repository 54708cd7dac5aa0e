// Whole mails from the running mail handler to a real SMTP server, which
// decodes them with its own mail library: every header and the body must
// arrive exactly as the station meant them.

#include "mail/MailHandler.h"

#include "LoopbackPeer.h"
#include "SmtpSink.h"
#include "core/ThreadQueue.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;

struct Inbox : CMsgReceiver {
    void ReceiveMsg(std::unique_ptr<CMsg> msg) override { queue.Add(std::move(msg)); }
    CThreadQueue queue;
};

class MailDelivery : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.WorkIn();
        ASSERT_NE(sink.Port(), 0) << "the SMTP server (python3-aiosmtpd) did not start";
        handler.SetOwner(&inbox);
        handler.ResetState();
        ASSERT_EQ(handler.Start(), HNDRET_STARTED);
    }
    void TearDown() override { EXPECT_EQ(handler.Stop(), HNDRET_STOPPED); }

    std::unique_ptr<CMailHandlerMsg> Request()
    {
        auto request = std::make_unique<CMailHandlerMsg>(MAIL_REQUEST);
        request->Server = "127.0.0.1";
        request->Port = sink.Port();
        request->HeloName = "station.example.test";
        request->Sender = "orva@example.test";
        request->Recipients = "alice@example.test";
        request->Subject = "Tervin CallCenter Alarm Message";
        request->Body = "Alarm\r\n";
        return request;
    }

    // Sends the request and returns the status of its result.
    int16_t Deliver(std::unique_ptr<CMailHandlerMsg> request)
    {
        handler.ReceiveMsg(std::move(request));
        int16_t code = -1;
        Poll(
            [&] {
                while (std::unique_ptr<CMsg> msg = inbox.queue.Get()) {
                    const auto& status = dynamic_cast<const CMailHandlerMsg&>(*msg);
                    if (status.code == MHM_STATUS_SEND_OK || status.code == MHM_STATUS_SEND_ERROR)
                        code = status.code;
                }
                return code != -1;
            },
            30s);
        return code;
    }

    TempDir dir;
    SmtpSink sink;
    Inbox inbox;
    CMailHandler handler;
};

TEST_F(MailDelivery, EveryHeaderAndTheBodyArriveExactly)
{
    // Lines of an alarm mail as the station composes them; the alarm text
    // brings bare line feeds, the mail must carry CR LF.
    const std::vector<std::pair<std::string, std::string>> lines = {
        {"", "\r\n"},
        {"*******************************************", "\r\n"},
        {"ALARM FROM ORVA ALARM-RECEIVER", "\r\n"},
        {"Alarm Type: P100", "\r\n"},
        {"Fahrstuhl hängt zwischen den Etagen. Grüße aus Köln, Straße 5", "\n"},
        {"Ascenseur bloqué à l'étage, cœur de l'immeuble, garçon", "\n"},
        {"Hissen har stannat mellan våningarna: åäö ÅÄÖ", "\r\n"},
        {".a line that starts with a dot", "\r\n"},
        {".", "\r\n"},
        {"..", "\r\n"},
        {"trailing blanks   ", "\r\n"},
        {"tab\there, = sign, 100% and =?UTF-8?Q?x?= as text", "\r\n"},
        {"long " + std::string(300, 'L') + " end", "\r\n"},
        {"From the lift (a line that starts with From)", "\r\n"},
        {"last line without a line break", ""},
    };
    std::string body;
    std::string expected;
    for (const auto& [text, end] : lines) {
        body += text + end;
        expected += text + (end.empty() ? "" : "\r\n");
    }
    const std::string subject = "Larm – Hiss 3 / Aufzug gestört / Ascenseur bloqué / Lift stuck";

    auto request = Request();
    request->Recipients = "alice@example.test; bob@example.test,carol@example.test";
    request->Subject = subject;
    request->Body = body;
    const std::time_t before = std::time(nullptr);
    ASSERT_EQ(Deliver(std::move(request)), MHM_STATUS_SEND_OK);
    ASSERT_TRUE(sink.WaitForMail(1));

    EXPECT_EQ(sink.Part(1, "defects"), "");
    EXPECT_EQ(sink.Part(1, "helo"), "station.example.test");
    EXPECT_EQ(sink.Part(1, "mailfrom"), "orva@example.test");
    const std::vector<std::string> recipients = {"alice@example.test", "bob@example.test", "carol@example.test"};
    EXPECT_EQ(sink.Lines(1, "rcpt"), recipients);
    EXPECT_EQ(sink.Lines(1, "to"),
              (std::vector<std::string>{"<alice@example.test>", "<bob@example.test>", "<carol@example.test>"}));
    EXPECT_EQ(sink.Part(1, "subject"), subject);
    EXPECT_TRUE(sink.Part(1, "body") == expected) << sink.Part(1, "body");

    std::vector<std::string> names;
    for (const std::string& field : sink.Lines(1, "headers"))
        names.push_back(field.substr(0, field.find(':')));
    EXPECT_EQ(names, (std::vector<std::string>{"From", "To", "To", "To", "Subject", "Date", "Message-ID",
                                               "MIME-Version", "Content-Type", "Content-Transfer-Encoding"}));
    const std::vector<std::string> fields = sink.Lines(1, "headers");
    EXPECT_EQ(fields[0], "From: <orva@example.test>");
    EXPECT_TRUE(std::regex_match(fields[6], std::regex(R"(Message-ID: <[0-9a-f.]+@example\.test>)"))) << fields[6];
    EXPECT_EQ(fields[7], "MIME-Version: 1.0");
    EXPECT_EQ(fields[8], "Content-Type: text/plain; charset=UTF-8");
    EXPECT_EQ(fields[9], "Content-Transfer-Encoding: quoted-printable");
    const long date = std::stol(sink.Part(1, "date"));
    EXPECT_GE(date, before - 2);
    EXPECT_LE(date, std::time(nullptr) + 2);

    // Every raw line is short, 7-bit and ends with CR LF.
    const std::string raw = sink.Part(1, "raw");
    std::size_t start = 0;
    for (std::size_t eol; (eol = raw.find('\n', start)) != std::string::npos; start = eol + 1) {
        ASSERT_GT(eol, start);
        ASSERT_EQ(raw[eol - 1], '\r');
        ASSERT_LE(eol - 1 - start, 76u) << raw.substr(start, eol - start);
        for (std::size_t i = start; i < eol; ++i)
            ASSERT_LT(static_cast<unsigned char>(raw[i]), 128u);
    }
    EXPECT_EQ(start, raw.size());
}

TEST_F(MailDelivery, ABodyFarBeyondSixteenBitsArrivesWhole)
{
    std::string body;
    for (int i = 0; body.size() < 200'000; ++i)
        body += "Zeile " + std::to_string(i) + ": Störung im Aufzug, hissen står still, ascenseur arrêté.\r\n";
    ASSERT_GT(body.size(), 65535u);
    auto request = Request();
    request->Body = body;
    ASSERT_EQ(Deliver(std::move(request)), MHM_STATUS_SEND_OK);
    ASSERT_TRUE(sink.WaitForMail(1));
    EXPECT_EQ(sink.Part(1, "defects"), "");
    const std::string received = sink.Part(1, "body");
    EXPECT_EQ(received.size(), body.size());
    EXPECT_TRUE(received == body);
}

TEST_F(MailDelivery, TheRecipientListRuleOnTheWire)
{
    auto request = Request();
    request->Recipients = "a@x.test;;b@y.test;";
    ASSERT_EQ(Deliver(std::move(request)), MHM_STATUS_SEND_OK);
    ASSERT_TRUE(sink.WaitForMail(1));
    // Three RCPT TO, the middle one with the empty path (which the server
    // records as "<>"); the trailing separator adds nothing.
    EXPECT_EQ(sink.Part(1, "rcpt"), "a@x.test\n<>\nb@y.test");
}

TEST_F(MailDelivery, AnInjectedHeaderStaysInsideTheSubject)
{
    auto request = Request();
    request->Subject = "Alarm\r\nBcc: evil@x.test";
    request->Sender = "orva@example.test\r\n";
    ASSERT_EQ(Deliver(std::move(request)), MHM_STATUS_SEND_OK);
    ASSERT_TRUE(sink.WaitForMail(1));
    EXPECT_EQ(sink.Part(1, "subject"), "AlarmBcc: evil@x.test");
    EXPECT_EQ(sink.Part(1, "mailfrom"), "orva@example.test");
    for (const std::string& field : sink.Lines(1, "headers"))
        EXPECT_EQ(field.rfind("Bcc", 0), std::string::npos) << field;
}

TEST_F(MailDelivery, AnEmptyBodyAndAnEmptySubject)
{
    auto request = Request();
    request->Subject = "";
    request->Body = "";
    ASSERT_EQ(Deliver(std::move(request)), MHM_STATUS_SEND_OK);
    ASSERT_TRUE(sink.WaitForMail(1));
    EXPECT_EQ(sink.Part(1, "subject"), "");
    EXPECT_EQ(sink.Part(1, "body"), "");
}

}  // namespace
