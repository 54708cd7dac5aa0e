// The SMTP client: command lines, the message text, reply classes and the log.

#include "mail/MailInfo.h"

#include "LoopbackPeer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> SplitCrLf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t eol; (eol = text.find("\r\n", start)) != std::string::npos; start = eol + 2)
        lines.push_back(text.substr(start, eol - start));
    lines.push_back(text.substr(start));
    return lines;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Sets the time zone for the lifetime of the object.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) : env("TZ", zone) { tzset(); }
    ~ScopedTimeZone() { tzset(); }

private:
    ScopedEnv env;
};

void Fill(CMailHandlerMsg& request)
{
    request.Sender = "orva@example.test";
    request.HeloName = "station.test";
    request.Subject = "Tervin CallCenter Alarm Message";
    request.Body = "\r\nAlarm Type: P100\r\n";
}

CStrList Recipients(std::initializer_list<const char*> addresses)
{
    CStrList list;
    for (const char* a : addresses)
        list.Add(a);
    return list;
}

TEST(MailInfoMessage, HeaderFieldsInOrderThenTheEncodedBody)
{
    ScopedTimeZone utc("UTC");
    CMailHandlerMsg request(MAIL_REQUEST);
    Fill(request);
    request.Body = "Line 1\nGr\xC3\xBC\xC3\x9F"
                   "e\r\n";
    const std::string text =
        CMailInfo::FormatMessage(request, Recipients({"a@x.test", "b@y.test", "c@z.test"}), 0, "1.2@example.test");
    const std::vector<std::string> expected = {
        "From: <orva@example.test>",
        "To: <a@x.test>",
        "To: <b@y.test>",
        "To: <c@z.test>",
        "Subject: Tervin CallCenter Alarm Message",
        "Date: Thu, 1 Jan 1970 00:00:00 +0000",
        "Message-ID: <1.2@example.test>",
        "MIME-Version: 1.0",
        "Content-Type: text/plain; charset=UTF-8",
        "Content-Transfer-Encoding: quoted-printable",
        "",
        "Line 1",
        "Gr=C3=BC=C3=9Fe",
        "",
    };
    EXPECT_EQ(SplitCrLf(text), expected);
}

TEST(MailInfoMessage, NoLineBreakInAnAddressOrTheSubjectReachesTheHeader)
{
    CMailHandlerMsg request(MAIL_REQUEST);
    Fill(request);
    request.Sender = "orva@example.test>\r\nBcc: <evil@x.test";
    request.Subject = "Alarm\r\nBcc: evil@x.test";
    const std::string text = CMailInfo::FormatMessage(request, Recipients({"a@x.test\nBcc: evil@x.test"}), 0, "1@x");
    const std::string header = text.substr(0, text.find("\r\n\r\n"));
    for (const std::string& line : SplitCrLf(header))
        EXPECT_EQ(line.rfind("Bcc", 0), std::string::npos) << line;
    EXPECT_NE(header.find("Subject: AlarmBcc: evil@x.test\r\n"), std::string::npos);
}

TEST(MailInfoMessage, DateInLocalTimeWithItsOffsetAndEnglishNames)
{
    const struct {
        const char* zone;
        std::time_t when;
        const char* expected;
    } cases[] = {
        {"UTC", 0, "Thu, 1 Jan 1970 00:00:00 +0000"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1700000000, "Tue, 14 Nov 2023 23:13:20 +0100"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1720000000, "Wed, 3 Jul 2024 11:46:40 +0200"},
        {"EST5", 1700000000, "Tue, 14 Nov 2023 17:13:20 -0500"},
        {"IST-5:30", 1700000000, "Wed, 15 Nov 2023 03:43:20 +0530"},
    };
    for (const auto& c : cases) {
        ScopedTimeZone zone(c.zone);
        EXPECT_EQ(CMailInfo::FormatDate(c.when), c.expected) << c.zone;
    }
}

TEST(MailInfoMessage, MessageIdIsUniqueAndNamesAPlainDomain)
{
    const std::regex form(R"([0-9a-f]+\.[0-9a-f]+\.[0-9a-f]+\.[0-9a-f]+@[A-Za-z0-9.-]+)");
    const std::string first = CMailInfo::MakeMessageId("orva@example.test", "station");
    const std::string second = CMailInfo::MakeMessageId("orva@example.test", "station");
    EXPECT_TRUE(std::regex_match(first, form)) << first;
    EXPECT_NE(first, second);

    const auto domain = [](const std::string& id) { return id.substr(id.find('@') + 1); };
    EXPECT_EQ(domain(first), "example.test");
    EXPECT_EQ(domain(CMailInfo::MakeMessageId("no-domain", "station.test")), "station.test");
    EXPECT_EQ(domain(CMailInfo::MakeMessageId("a@bad>domain", "bad name")), "localhost");
}

// A connected client with the test at the server's end of the line.
class MailInfoLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.WorkIn();
        ASSERT_NE(info.InitSockets(&log), 0);
        ASSERT_NE(info.Connect("127.0.0.1", peer.Port()), 0);
        ASSERT_TRUE(peer.Accept());
    }
    void TearDown() override { info.Disconnect(); }

    // Sends and returns what the server receives.
    std::string Sent(int16_t command, const std::string& text)
    {
        info.Send(command, text);
        return peer.Read(1, 200);
    }

    int16_t ReceiveReply()
    {
        int16_t reply = 0;
        Poll([&] { return (reply = info.Receive()) != 0; });
        return reply;
    }

    TempDir dir;
    CLogFile log{"MailHandler", 1000};
    LoopbackPeer peer;
    CMailInfo info;
};

TEST_F(MailInfoLine, CommandLines)
{
    const struct {
        int16_t command;
        const char* text;
        const char* line;
    } cases[] = {
        {MAILINFO_CMD_HELO, "station.test", "HELO station.test\r\n"},
        {MAILINFO_CMD_MAIL_FROM, "orva@example.test", "MAIL FROM: <orva@example.test>\r\n"},
        {MAILINFO_CMD_RCPT_TO, "alice@example.test", "RCPT TO: <alice@example.test>\r\n"},
        {MAILINFO_CMD_RCPT_TO, "", "RCPT TO: <>\r\n"},
        {MAILINFO_CMD_DATA, "ignored", "DATA\r\n"},
        {MAILINFO_CMD_QUIT, "ignored", "QUIT\r\n"},
        // Data never adds a command line of its own.
        {MAILINFO_CMD_HELO, "station\r\nMAIL FROM: <evil@x.test>", "HELO stationMAIL FROM: <evil@x.test>\r\n"},
        {MAILINFO_CMD_MAIL_FROM, "a@x.test>\r\nRCPT TO: <evil@x.test",
         "MAIL FROM: <a@x.test>RCPT TO: <evil@x.test>\r\n"},
        {MAILINFO_CMD_RCPT_TO, "a@x.test>\nDATA", "RCPT TO: <a@x.test>DATA>\r\n"},
        // The message: dot-stuffed, CR LF everywhere, "." on a line of its own.
        {MAILINFO_CMD_MESSAGE, "body", "body\r\n.\r\n"},
        {MAILINFO_CMD_MESSAGE, "body\r\n", "body\r\n.\r\n"},
        {MAILINFO_CMD_MESSAGE, ".\n..x\n", "..\r\n...x\r\n.\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Sent(c.command, c.text), c.line) << c.text;

    // An unknown command sends nothing.
    EXPECT_EQ(Sent(6, "x"), "");
    EXPECT_EQ(Sent(-1, "x"), "");
}

TEST_F(MailInfoLine, RepliesAreClassifiedAndEveryLineIsLogged)
{
    info.Send(MAILINFO_CMD_HELO, "station.test");
    peer.Write("250-first\r\n");
    peer.Write(std::string("250 l\0st\r\n", 10));
    EXPECT_EQ(ReceiveReply(), MAILINFO_RESP_POSITIVE);
    peer.Write("354 go\r\n550 no\r\n");
    EXPECT_EQ(ReceiveReply(), MAILINFO_RESP_INTERMEDIATE);
    EXPECT_EQ(ReceiveReply(), MAILINFO_RESP_PERMANENT);
    EXPECT_EQ(info.Receive(), 0);
    EXPECT_FALSE(info.IsConnectionLost());

    const std::string logText = ReadFile("MailHandler.log");
    EXPECT_NE(logText.find("MailInfo::Send: HELO station.test\\r\\n\n"), std::string::npos) << logText;
    EXPECT_NE(logText.find("MailInfo::Receive: 250"), std::string::npos) << logText;
    EXPECT_NE(logText.find("l\\x00st\\r\\n"), std::string::npos) << logText;
    EXPECT_NE(logText.find("354 go\\r\\n550 no\\r\\n"), std::string::npos) << logText;
}

TEST_F(MailInfoLine, AClosedConnectionIsLostOnlyAfterItsLastReply)
{
    peer.Write("221 bye\r\n");
    peer.CloseConnection();
    EXPECT_EQ(ReceiveReply(), MAILINFO_RESP_POSITIVE);
    EXPECT_TRUE(Poll([&] {
        info.Receive();
        return info.IsConnectionLost();
    }));
    EXPECT_NE(ReadFile("MailHandler.log").find("MailInfo::Receive: Connection closed, ErrCode: "), std::string::npos);
}

TEST(MailInfoConnect, ANameThatDoesNotResolveLogsItsErrorNumber)
{
    TempDir dir;
    dir.WorkIn();
    CLogFile log("MailHandler", 1000);
    CMailInfo info;
    ASSERT_NE(info.InitSockets(&log), 0);
    EXPECT_EQ(info.Connect("no-such-host.invalid", 25), 0);
    const std::string logText = ReadFile("MailHandler.log");
    EXPECT_TRUE(std::regex_search(logText, std::regex("MailInfo::Connect: ErrCode: -?[1-9][0-9]*\n"))) << logText;
}

}  // namespace
