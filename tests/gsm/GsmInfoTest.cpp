// AT commands and the parsing of response lines. The tables go through
// HandleLine (what Receive does with each complete line); the exchanges that
// depend on the line reader go over a pseudo-terminal on the fake clock.

#include "gsm/GsmInfo.h"

#include "support/FakeTickSource.h"
#include "support/Pty.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kPort = 4;

const std::string kListing = "+CMGL: 3,\"REC UNREAD\",\"+358401234567\",,\"24/05/01,12:34:56+12\",145,12";

CGsmMsg Request(uint16_t type)
{
    return CGsmMsg(type);
}

// --- Commands ---------------------------------------------------------------

TEST(GsmInfoCommands, EveryRequestHasItsCommand)
{
    CGsmInfo info;
    const struct {
        uint16_t type;
        std::string command;
    } cases[] = {
        {GSMCMD_AT, "AT\r\n"},
        {GSMCMD_ECHO_OFF, "ATE0\r\n"},
        {GSMCMD_MODEL, "AT+CGMM\r\n"},
        {GSMCMD_PIN_QUERY, "AT+CPIN?\r\n"},
        {GSMCMD_TEXT_MODE, "AT+CMGF=1\r\n"},
        {GSMCMD_CHARSET, "AT+CSCS=\"GSM\"\r\n"},
        {GSMCMD_SHOW_HEADER, "AT+CSDH=1\r\n"},
        {GSMCMD_LIST_SMS, "AT+CMGL=\"ALL\"\r\n"},
        {GSMCMD_REG_QUERY, "AT+CREG?\r\n"},
        {GSMCMD_SIGNAL_QUERY, "AT+CSQ\r\n"},
        {GSMCMD_CALL_LIST, "AT+CLCC\r\n"},
        {GSMCMD_ABORT_TEXT, "\x1b"},
        {18, ""},
        {99, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(info.BuildCommand(Request(c.type)), c.command) << "type " << c.type;
}

TEST(GsmInfoCommands, CommandsWithValues)
{
    CGsmInfo info;
    CGsmMsg pin(GSMCMD_PIN_ENTER);
    pin.pinCode = "1234";
    EXPECT_EQ(info.BuildCommand(pin), "AT+CPIN=\"1234\"\r\n");
    // Nothing from the settings can end the quoted value or the command.
    pin.pinCode = "12\"3\r\nAT+CMGD=1";
    EXPECT_EQ(info.BuildCommand(pin), "AT+CPIN=\"123AT+CMGD=1\"\r\n");

    CGsmMsg del(GSMCMD_DELETE_SMS);
    del.smsIndex = 3;
    EXPECT_EQ(info.BuildCommand(del), "AT+CMGD=3\r\n");

    CGsmMsg dest(GSMCMD_SEND_SMS);
    dest.destNumber = "+358401234567";
    EXPECT_EQ(info.BuildCommand(dest), "AT+CMGS=\"+358401234567\"\r\n");

    CGsmMsg text(GSMCMD_SMS_TEXT);
    text.smsText = "Lift 7 @ Main St.\r\nCall $5";
    EXPECT_EQ(info.BuildCommand(text), "Lift 7 ? Main St.\nCall \x02"
                                       "5\x1a");
}

TEST(GsmInfoCommands, StorageDependsOnTheModem)
{
    CGsmInfo info;
    const CGsmMsg storage(GSMCMD_STORAGE);
    for (int16_t type : {GSM_MODEM_OTHER, GSM_MODEM_TC35, GSM_MODEM_GM29, GSM_MODEM_TC65, GSM_MODEM_GL865}) {
        info.SetModemType(type);
        EXPECT_EQ(info.BuildCommand(storage), "AT+CPMS=MT,MT,MT\r\n") << "type " << type;
    }
    info.SetModemType(GSM_MODEM_LE910);
    EXPECT_EQ(info.BuildCommand(storage), "AT+CPMS=\"ME\",\"ME\",\"ME\"\r\n");
}

TEST(GsmInfoCommands, NetworkSelectionValues)
{
    CGsmInfo info;
    const int expected[] = {25, 29, 30, 31, 12, 22, 28};
    CGsmMsg select(GSMCMD_NET_SELECT);
    for (int16_t i = 0; i < 7; ++i) {
        select.netSelection = i;
        EXPECT_EQ(info.BuildCommand(select), "AT+WS46=" + std::to_string(expected[i]) + "\r\n");
    }
    // A setting out of range selects every network rather than none.
    select.netSelection = 7;
    EXPECT_EQ(info.BuildCommand(select), "AT+WS46=25\r\n");
    select.netSelection = -1;
    EXPECT_EQ(info.BuildCommand(select), "AT+WS46=25\r\n");
}

// --- Response lines ---------------------------------------------------------

struct Expect {
    Expect(std::string l, uint16_t t, int16_t v = 0, std::string n = {})
        : line(std::move(l)), type(t), value(v), number(std::move(n))
    {
    }
    std::string line;
    uint16_t type;  // 0: no response
    int16_t value;
    std::string number;
};

void CheckClassification(const Expect& e)
{
    CGsmInfo info;
    std::unique_ptr<CGsmMsg> msg = info.HandleLine(e.line);
    if (e.type == 0) {
        EXPECT_EQ(msg, nullptr) << e.line;
        return;
    }
    ASSERT_TRUE(msg) << e.line;
    EXPECT_EQ(msg->GetType(), e.type) << e.line;
    if (e.type == GSMRSP_REG) {
        EXPECT_EQ(msg->regStatus, e.value) << e.line;
    }
    if (e.type == GSMRSP_SIGNAL) {
        EXPECT_EQ(msg->smsLength, e.value) << e.line;
    }
    if (e.type == GSMRSP_CALLER) {
        EXPECT_EQ(msg->smsNumber, e.number) << e.line;
    }
}

TEST(GsmInfoResponses, LinesAreClassifiedByTheirBeginning)
{
    const Expect cases[] = {
        {"OK", GSMRSP_OK},
        {"ERROR", GSMRSP_ERROR},
        {"+CME ERROR: 16", GSMRSP_ERROR},
        {"+CMS ERROR: 500", GSMRSP_ERROR},
        {"+CPMS: 1,30,1,30,1,30", GSMRSP_STORAGE},
        {">", GSMRSP_PROMPT},
        {"> ", GSMRSP_PROMPT},
        {"+CMGS: 12", GSMRSP_SMS_SENT},
        {"RING", GSMRSP_RING},
        {"+CREG: 0,1", GSMRSP_REG, 1},
        {"+CREG: 0,5", GSMRSP_REG, 5},
        {"+CREG: 2,0,\"00C3\",\"0001\"", GSMRSP_REG, 0},
        {"+CSQ: 13,99", GSMRSP_SIGNAL, 50},
        {"+CSQ: 99,99", GSMRSP_SIGNAL, 100},
        // Lines that answer nothing.
        {"", 0},
        {"AT+CSQ", 0},
        {"+CMTI: \"SM\",1", 0},
        {"NO CARRIER", 0},
        {" OK", 0},
        // Wrong field counts and non-numeric fields.
        {"+CREG: 1", 0},
        {"+CREG: 0,", 0},
        {"+CREG: 0,x", 0},
        {"+CREG: 0,-1", 0},
        {"+CREG: 0,99999999999", 0},
        {"+CSQ:", 0},
        {"+CSQ: ,99", 0},
        {"+CSQ: abc", 0},
    };
    for (const Expect& e : cases)
        CheckClassification(e);
}

TEST(GsmInfoResponses, PinStates)
{
    const Expect cases[] = {
        {"+CPIN: READY", GSMRSP_PIN_READY},
        {"+CPIN: SIM PIN", GSMRSP_PIN_REQUIRED},
        {"+CPIN: SIM PUK", 0},
        {"+CPIN: SIM PUK2", 0},
        {"+CPIN:", 0},
        {"+CPIN: garbage", 0},
    };
    for (const Expect& e : cases)
        CheckClassification(e);
}

TEST(GsmInfoResponses, CallerNumber)
{
    const Expect cases[] = {
        {"+CLCC: 1,1,4,0,0,\"0401234567\",129", GSMRSP_CALLER, 0, "+0401234567"},
        {"+CLCC: 1,1,4,0,0,\"+358401234567\",145", GSMRSP_CALLER, 0, "+358401234567"},
        {"+CLCC: 12,1,4,0,0,\"358401234567\",145", GSMRSP_CALLER, 0, "+358401234567"},
        {"+CLCC: 1,1,4,0,0,\"\",128", GSMRSP_CALLER, 0, ""},  // withheld
        {"+CLCC: 1,1,4", GSMRSP_CALLER, 0, ""},
        {"+CLCC: 1,1,4,0,0,0401", GSMRSP_CALLER, 0, "+0401"},
    };
    for (const Expect& e : cases)
        CheckClassification(e);
}

TEST(GsmInfoResponses, SignalPercent)
{
    const struct {
        int rssi;
        int16_t percent;
    } cases[] = {{0, 0}, {4, 0}, {5, 0}, {6, 5}, {7, 10}, {8, 20}, {13, 50}, {17, 80}, {20, 100}, {21, 100}, {99, 100}};
    for (const auto& c : cases)
        EXPECT_EQ(CGsmInfo::SignalPercent(c.rssi), c.percent) << "rssi " << c.rssi;
}

TEST(GsmInfoResponses, ModelLines)
{
    const struct {
        std::string line;
        int16_t type;
    } cases[] = {
        {"TC35", GSM_MODEM_TC35},
        {"SIEMENS TC35", GSM_MODEM_TC35},
        {"TC35 ", GSM_MODEM_TC35},
        {"GM29", GSM_MODEM_GM29},
        {"TC65", GSM_MODEM_TC65},
        {"LE910", GSM_MODEM_LE910},
        {"LE910-EU V2", GSM_MODEM_LE910},
        {"Telit LE910", GSM_MODEM_OTHER},
        {"GL865-DUAL V3", GSM_MODEM_GL865},
        {"TC35i XYZ", GSM_MODEM_OTHER},
        {"", GSM_MODEM_OTHER},
        {"OK", GSM_MODEM_OTHER},
    };
    for (const auto& c : cases) {
        CGsmInfo info;
        info.Send(CGsmMsg(GSMCMD_MODEL));  // no port: nothing is written, the mode is set
        EXPECT_EQ(info.GetReceiveMode(), CGsmInfo::kModeModel);
        std::unique_ptr<CGsmMsg> msg = info.HandleLine(c.line);
        ASSERT_TRUE(msg) << c.line;
        EXPECT_EQ(msg->GetType(), GSMRSP_MODEL);
        EXPECT_EQ(msg->modemType, c.type) << c.line;
        EXPECT_EQ(info.GetReceiveMode(), CGsmInfo::kModeNormal);
    }
}

// --- Listed SMS -------------------------------------------------------------

// A listing line and its text line through HandleLine.
std::unique_ptr<CGsmMsg> Listed(CGsmInfo& info, const std::string& header, const std::string& text)
{
    if (std::unique_ptr<CGsmMsg> early = info.HandleLine(header))
        return early;
    return info.HandleLine(text);
}

TEST(GsmInfoListing, AcceptedStatusesGiveAnSms)
{
    for (const char* status : {"REC UNREAD", "REC READ"}) {
        CGsmInfo info;
        const std::string header =
            std::string("+CMGL: 3,\"") + status + "\",\"+358401234567\",,\"24/05/01,12:34:56+12\",145,12";
        EXPECT_EQ(info.HandleLine(header), nullptr);
        EXPECT_EQ(info.GetReceiveMode(), CGsmInfo::kModeSmsText);
        EXPECT_EQ(info.GetVerbatimCount(), 12);
        std::unique_ptr<CGsmMsg> sms = info.HandleLine("Hello\rWorld!");
        ASSERT_TRUE(sms) << status;
        EXPECT_EQ(sms->GetType(), GSMRSP_SMS);
        EXPECT_EQ(sms->smsIndex, 3);
        EXPECT_EQ(sms->smsNumber, "+358401234567");
        EXPECT_EQ(sms->smsDate, "24/05/01");
        EXPECT_EQ(sms->smsTime, "12:34:56+12");
        EXPECT_EQ(sms->smsText, "Hello\rWorld!");
        EXPECT_EQ(info.GetReceiveMode(), CGsmInfo::kModeNormal);
    }
}

TEST(GsmInfoListing, OtherStatusesAndBrokenLinesGiveNothing)
{
    const std::string lines[] = {
        "+CMGL: 3,\"STO UNSENT\",\"+358401234567\",,,145,2",
        "+CMGL: 3,\"STO SENT\",\"+358401234567\",,,145,2",
        "+CMGL: 3,\"REC\",\"+358401234567\",,\"24/05/01,12:34:56+12\",145,2",
        "+CMGL: 3,\"\",\"+358401234567\",,\"24/05/01,12:34:56+12\",145,2",
        "+CMGL: x,\"REC READ\",\"+358401234567\",,\"24/05/01,12:34:56+12\",145,2",
        "+CMGL: ,\"REC READ\",\"+358401234567\",,\"24/05/01,12:34:56+12\",145,2",
        "+CMGL: 70000,\"REC READ\",\"+358401234567\",,\"24/05/01,12:34:56+12\",145,2",
        "+CMGL: 3,\"REC UNR",
        "+CMGL: 3",
        "+CMGL:",
    };
    for (const std::string& line : lines) {
        CGsmInfo info;
        // The text line after a refused entry is swallowed: it can be
        // neither an SMS nor a response.
        EXPECT_EQ(Listed(info, line, "OK"), nullptr) << line;
        EXPECT_EQ(info.GetReceiveMode(), CGsmInfo::kModeNormal) << line;
        std::unique_ptr<CGsmMsg> next = info.HandleLine("OK");
        ASSERT_TRUE(next) << line;
        EXPECT_EQ(next->GetType(), GSMRSP_OK);
    }
}

TEST(GsmInfoListing, FieldVariants)
{
    {
        SCOPED_TRACE("a comma inside the phone book name");
        CGsmInfo info;
        auto sms =
            Listed(info, "+CMGL: 4,\"REC READ\",\"+3584\",\"Doe, John\",\"24/05/01,12:34:56+12\",145,5", "Alarm");
        ASSERT_TRUE(sms);
        EXPECT_EQ(sms->smsDate, "24/05/01");
        EXPECT_EQ(sms->smsTime, "12:34:56+12");
        EXPECT_EQ(sms->smsText, "Alarm");
    }
    {
        SCOPED_TRACE("without header details");
        CGsmInfo info;
        EXPECT_EQ(info.HandleLine("+CMGL: 5,\"REC READ\",\"+3584\",,\"24/05/01,12:34:56+12\""), nullptr);
        EXPECT_EQ(info.GetVerbatimCount(), 0);
        auto sms = info.HandleLine("#TEST");
        ASSERT_TRUE(sms);
        EXPECT_EQ(sms->smsIndex, 5);
        EXPECT_EQ(sms->smsTime, "12:34:56+12");
        EXPECT_EQ(sms->smsText, "#TEST");
    }
    {
        SCOPED_TRACE("quotes missing");
        CGsmInfo info;
        auto sms = Listed(info, "+CMGL: 6,REC UNREAD,+3584,,24/05/01,12:34:56+12,145,2", "Hi");
        ASSERT_TRUE(sms);
        EXPECT_EQ(sms->smsNumber, "+3584");
        EXPECT_EQ(sms->smsText, "Hi");
    }
    {
        SCOPED_TRACE("an empty SMS is complete without a text line");
        CGsmInfo info;
        auto sms = info.HandleLine("+CMGL: 7,\"REC UNREAD\",\"+3584\",,\"24/05/01,12:34:56+12\",145,0");
        ASSERT_TRUE(sms);
        EXPECT_EQ(sms->smsText, "");
        EXPECT_EQ(info.GetReceiveMode(), CGsmInfo::kModeNormal);
        auto next = info.HandleLine("OK");
        ASSERT_TRUE(next);
        EXPECT_EQ(next->GetType(), GSMRSP_OK);
    }
    {
        SCOPED_TRACE("text in the GSM alphabet");
        CGsmInfo info;
        auto sms = Listed(info, kListing,
                          std::string("\x00\x1b"
                                      "e"
                                      "\x10",
                                      4));
        ASSERT_TRUE(sms);
        EXPECT_EQ(sms->smsText, "@€Δ");
    }
}

TEST(GsmInfoListing, RandomLinesNeverMakeAnSms)
{
    const std::string prefixes[] = {
        "+CMGL: ", "+CMGL:", "+CMGL: 1,\"REC", "+CLCC: ", "+CREG: ", "+CSQ: ", "+CPIN: ", "OK", ">", ""};
    std::mt19937 random(20240501);
    CGsmInfo info;
    for (int i = 0; i < 20000; ++i) {
        std::string line = prefixes[random() % std::size(prefixes)];
        const std::size_t length = random() % 80;
        for (std::size_t j = 0; j < length; ++j)
            line += static_cast<char>(random() % 4 == 0 ? ",\"\r\n "[random() % 5] : random() % 256);
        std::unique_ptr<CGsmMsg> msg = info.HandleLine(line);
        if (msg) {
            ASSERT_NE(msg->GetType(), GSMRSP_SMS) << line;
        }
        ASSERT_GE(info.GetVerbatimCount(), 0);
    }
}

// --- Over the line ----------------------------------------------------------

class GsmInfoLineTest : public testing::Test {
protected:
    void SetUp() override
    {
        dir.WorkIn();
        pty.LinkAs(dir.Path(), kPort);
        info.SetLog(&log);
        ASSERT_EQ(info.Open(kPort, 115200), 1);
    }
    void TearDown() override { info.SetLog(nullptr); }

    // Every response that comes out while the bytes are read and for `idleMs` after.
    std::vector<std::unique_ptr<CGsmMsg>> Exchange(const std::string& bytes, int idleMs = 150)
    {
        pty.SendAndSettle(bytes);
        std::vector<std::unique_ptr<CGsmMsg>> responses;
        for (std::size_t i = 0; i < bytes.size() + static_cast<std::size_t>(idleMs); ++i)
            if (std::unique_ptr<CGsmMsg> msg = info.Receive())
                responses.push_back(std::move(msg));
        return responses;
    }

    std::string LogText() const
    {
        std::ifstream in(dir / "GsmHandler.log");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    TempDir dir;
    ScopedEnv comDir{"ORVA_COM_DIR", dir.Path().string()};
    FakeTickSource clock{1000};
    Pty pty{Pty::Watch::Slave};
    CLogFile log{"GsmHandler", 2000};
    CGsmInfo info;
};

TEST_F(GsmInfoLineTest, ListingWithCarriageReturnInsideTheText)
{
    auto responses = Exchange("\r\n" + kListing + "\r\nHello\rWorld!\r\n" +
                              "+CMGL: 4,\"STO UNSENT\",\"+358401234567\",,,145,2\r\nOK\r\n\r\nOK\r\n");
    ASSERT_EQ(responses.size(), 2u);
    EXPECT_EQ(responses[0]->GetType(), GSMRSP_SMS);
    EXPECT_EQ(responses[0]->smsIndex, 3);
    EXPECT_EQ(responses[0]->smsText, "Hello\rWorld!");
    EXPECT_EQ(responses[0]->smsText.size(), 12u);
    EXPECT_EQ(responses[1]->GetType(), GSMRSP_OK);
}

TEST_F(GsmInfoLineTest, ListedSmsWithoutTextIsForgottenAfter500ms)
{
    auto responses = Exchange("\r\n" + kListing + "\r\n", 499);
    EXPECT_TRUE(responses.empty());
    EXPECT_EQ(info.GetReceiveMode(), CGsmInfo::kModeSmsText);
    responses = Exchange("", 5);
    EXPECT_EQ(info.GetReceiveMode(), CGsmInfo::kModeNormal);
    EXPECT_EQ(info.GetVerbatimCount(), 0);
    responses = Exchange("OK\r\n");
    ASSERT_EQ(responses.size(), 1u);
    EXPECT_EQ(responses[0]->GetType(), GSMRSP_OK);
}

TEST_F(GsmInfoLineTest, PromptAndModel)
{
    auto responses = Exchange("\r\n> ");
    ASSERT_EQ(responses.size(), 1u);
    EXPECT_EQ(responses[0]->GetType(), GSMRSP_PROMPT);

    ASSERT_EQ(info.Send(CGsmMsg(GSMCMD_MODEL)), ATCMDPROT_SEND_OK);
    EXPECT_EQ(pty.ReceiveText(9), "AT+CGMM\r\n");
    responses = Exchange("\r\nLE910-EU V2\r\n\r\nOK\r\n");
    ASSERT_EQ(responses.size(), 2u);
    EXPECT_EQ(responses[0]->GetType(), GSMRSP_MODEL);
    EXPECT_EQ(responses[0]->modemType, GSM_MODEM_LE910);
    EXPECT_EQ(responses[1]->GetType(), GSMRSP_OK);
    EXPECT_NE(LogText().find("CGsmInfo::Receive - Modem Info: LE910-EU V2"), std::string::npos);
}

TEST_F(GsmInfoLineTest, SmsTextIsConvertedLoggedAndEndedWithCtrlZ)
{
    CGsmMsg text(GSMCMD_SMS_TEXT);
    text.smsText = "Hiss 3 @ Ääkkönen\r\nOK";
    ASSERT_EQ(info.Send(text), ATCMDPROT_SEND_OK);
    const std::string expected = std::string("Hiss 3 ? ") + '\x5b' + '\x7b' + "kk" + '\x7c' + "nen\nOK\x1a";
    EXPECT_EQ(pty.ReceiveText(expected.size()), expected);
    EXPECT_NE(LogText().find("CGsmInfo::Send: Hiss 3 ? Ääkkönen\\nOK"), std::string::npos) << LogText();
}

TEST_F(GsmInfoLineTest, ReadErrorIsLoggedOnce)
{
    pty.CloseMaster();
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(info.Receive(), nullptr);
    EXPECT_TRUE(info.LineFailed());
    const std::string text = LogText();
    const std::string entry = "CGsmInfo::Receive: ATCMDPROT_RECEIVE_ERROR";
    const std::size_t first = text.find(entry);
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(text.find(entry, first + 1), std::string::npos);
}

TEST_F(GsmInfoLineTest, GarbageNeverMakesAnSms)
{
    std::mt19937 random(7);
    std::string noise;
    for (int i = 0; i < 6000; ++i) {
        const int kind = static_cast<int>(random() % 10);
        if (kind == 0)
            noise += "\r\n";
        else if (kind == 1)
            noise += "+CMGL: ";
        else
            noise += static_cast<char>(random() % 256);
    }
    for (std::size_t at = 0; at < noise.size(); at += 1000) {
        for (const auto& msg : Exchange(noise.substr(at, 1000), 120)) {
            EXPECT_NE(msg->GetType(), GSMRSP_SMS);
        }
    }
    auto responses = Exchange("\r\nOK\r\n");
    ASSERT_FALSE(responses.empty());
    EXPECT_EQ(responses.back()->GetType(), GSMRSP_OK);
}

}  // namespace
