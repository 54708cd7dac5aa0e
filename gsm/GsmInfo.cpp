#include "gsm/GsmInfo.h"

#include "core/GpBuffer.h"
#include "core/SignalLevel.h"
#include "gsm/GsmAlphabet.h"

#include <array>
#include <cctype>
#include <charconv>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kSendSource = "CGsmInfo::Send";
constexpr const char* kReceiveSource = "CGsmInfo::Receive";
constexpr const char* kModemInfoSource = "CGsmInfo::Receive - Modem Info";

constexpr char kCtrlZ = 26;
constexpr char kEsc = 27;

bool StartsWith(const std::string& line, std::string_view prefix)
{
    return line.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const std::string& line, std::string_view suffix)
{
    return line.size() >= suffix.size() && line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string Trim(const std::string& text)
{
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// A field that must be a plain non-negative number (blanks around it are
// allowed); false for anything else, and for values beyond `limit`.
bool ParseNumber(const std::string& field, int limit, int& value)
{
    const std::string digits = Trim(field);
    if (digits.empty())
        return false;
    for (char c : digits)
        if (c < '0' || c > '9')
            return false;
    int parsed = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), parsed);
    if (ec != std::errc() || end != digits.data() + digits.size() || parsed > limit)
        return false;
    value = parsed;
    return true;
}

// The comma-separated fields behind a response prefix ("+CMGL:" and the
// blanks after it). Quotes are removed by the tokenizer.
std::vector<std::string> Fields(const std::string& line, std::size_t prefixLength)
{
    std::size_t start = prefixLength;
    while (start < line.size() && line[start] == ' ')
        ++start;
    CGpBuffer buffer(line);
    buffer.SetPosition(static_cast<int16_t>(std::min<std::size_t>(start, INT16_MAX)));
    std::vector<std::string> fields;
    while (static_cast<std::size_t>(buffer.GetPosition()) < line.size())
        fields.push_back(buffer.NextToken());
    return fields;
}

// Text that goes into a command between quotes: nothing that could end the
// quoted value or the command line.
std::string QuotedValue(const std::string& text)
{
    std::string value;
    for (char c : text)
        if (c > ' ' && c < 127 && c != '"')
            value += c;
    return value;
}

// A line as it can stand in the log: line breaks shown, other control
// characters replaced.
std::string Printable(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (static_cast<unsigned char>(c) < ' ' || c == 127)
            out += '?';
        else
            out += c;
    }
    return out;
}

}  // namespace

int16_t CGsmInfo::Open(int16_t port, int32_t baudRate)
{
    LeaveMode();
    lineFailed = false;
    return CAtCmdProt::Open(port, baudRate);
}

int16_t CGsmInfo::SignalPercent(int rssi)
{
    return ::SignalPercent(rssi);
}

int16_t CGsmInfo::ModelType(const std::string& line)
{
    const std::string model = Trim(line);
    if (EndsWith(model, "TC35"))
        return GSM_MODEM_TC35;
    if (EndsWith(model, "GM29"))
        return GSM_MODEM_GM29;
    if (EndsWith(model, "TC65"))
        return GSM_MODEM_TC65;
    if (StartsWith(model, "LE910"))
        return GSM_MODEM_LE910;
    if (StartsWith(model, "GL865"))
        return GSM_MODEM_GL865;
    return GSM_MODEM_OTHER;
}

int CGsmInfo::Ws46Value(int16_t netSelection)
{
    // 2G+3G+4G, 2G+3G, 2G+4G, 3G+4G, 2G, 3G, 4G.
    static constexpr std::array<int, 7> values = {25, 29, 30, 31, 12, 22, 28};
    if (netSelection < 0 || netSelection >= static_cast<int16_t>(values.size()))
        return values[0];
    return values[static_cast<std::size_t>(netSelection)];
}

std::string CGsmInfo::BuildCommand(const CGsmMsg& request) const
{
    switch (request.GetType()) {
    case GSMCMD_AT:
        return "AT\r\n";
    case GSMCMD_ECHO_OFF:
        return "ATE0\r\n";
    case GSMCMD_MODEL:
        return "AT+CGMM\r\n";
    case GSMCMD_PIN_QUERY:
        return "AT+CPIN?\r\n";
    case GSMCMD_PIN_ENTER:
        return "AT+CPIN=\"" + QuotedValue(request.pinCode) + "\"\r\n";
    case GSMCMD_TEXT_MODE:
        return "AT+CMGF=1\r\n";
    case GSMCMD_CHARSET:
        return "AT+CSCS=\"GSM\"\r\n";
    case GSMCMD_STORAGE:
        return modemType == GSM_MODEM_LE910 ? "AT+CPMS=\"ME\",\"ME\",\"ME\"\r\n" : "AT+CPMS=MT,MT,MT\r\n";
    case GSMCMD_SHOW_HEADER:
        return "AT+CSDH=1\r\n";
    case GSMCMD_LIST_SMS:
        return "AT+CMGL=\"ALL\"\r\n";
    case GSMCMD_DELETE_SMS:
        return "AT+CMGD=" + std::to_string(request.smsIndex) + "\r\n";
    case GSMCMD_SEND_SMS:
        return "AT+CMGS=\"" + QuotedValue(request.destNumber) + "\"\r\n";
    case GSMCMD_SMS_TEXT:
        return CGsmAlphabet::FromUtf8(request.smsText) + kCtrlZ;
    case GSMCMD_REG_QUERY:
        return "AT+CREG?\r\n";
    case GSMCMD_SIGNAL_QUERY:
        return "AT+CSQ\r\n";
    case GSMCMD_CALL_LIST:
        return "AT+CLCC\r\n";
    case GSMCMD_NET_SELECT:
        return "AT+WS46=" + std::to_string(Ws46Value(request.netSelection)) + "\r\n";
    case GSMCMD_ABORT_TEXT:
        return std::string(1, kEsc);
    default:
        return {};
    }
}

int16_t CGsmInfo::Send(const CGsmMsg& request)
{
    const std::string command = BuildCommand(request);
    if (command.empty())
        return ATCMDPROT_SEND_ERROR;
    if (request.GetType() == GSMCMD_MODEL)
        EnterMode(kModeModel);
    if (request.GetType() == GSMCMD_SMS_TEXT) {
        // The text as the modem gets it, read back, so that the log shows
        // which characters had to be replaced.
        Log(kSendSource, Printable(CGsmAlphabet::ToUtf8(command.substr(0, command.size() - 1))));
    }
    return SendLine(command);
}

std::unique_ptr<CGsmMsg> CGsmInfo::Receive()
{
    std::unique_ptr<CGpBuffer> line;
    const int16_t result = ReceiveLine(line);
    if (result == ATCMDPROT_RECEIVE_ERROR && !lineFailed) {
        // Logged once: a dead line fails at every read.
        lineFailed = true;
        Log(kReceiveSource, "ATCMDPROT_RECEIVE_ERROR");
    }
    if (receiveMode != kModeNormal && modeTimer.Expired())
        LeaveMode();
    if (result != ATCMDPROT_RECEIVE_LINE || !line)
        return nullptr;
    return HandleLine(line->GetText());
}

std::unique_ptr<CGsmMsg> CGsmInfo::HandleLine(const std::string& line)
{
    switch (receiveMode) {
    case kModeSmsText:
        return TakeSmsText(line);
    case kModeModel:
        return TakeModel(line);
    default:
        return Classify(line);
    }
}

std::unique_ptr<CGsmMsg> CGsmInfo::Classify(const std::string& line)
{
    if (StartsWith(line, "OK"))
        return std::make_unique<CGsmMsg>(GSMRSP_OK);
    // With extended error reports switched on in the modem's profile, a
    // refused command answers "+CME ERROR: n" or "+CMS ERROR: n". Taking them
    // for the time-out they would otherwise become would, for a wrong PIN,
    // re-enter it on every re-initialisation until the SIM locks itself.
    if (StartsWith(line, "ERROR") || StartsWith(line, "+CME ERROR") || StartsWith(line, "+CMS ERROR"))
        return std::make_unique<CGsmMsg>(GSMRSP_ERROR);
    if (StartsWith(line, "+CPIN:")) {
        if (line.find("READY") != std::string::npos)
            return std::make_unique<CGsmMsg>(GSMRSP_PIN_READY);
        if (line.find("SIM PIN") != std::string::npos)
            return std::make_unique<CGsmMsg>(GSMRSP_PIN_REQUIRED);
        return nullptr;
    }
    if (StartsWith(line, "+CREG:")) {
        // "+CREG: <n>,<stat>[,...]". A line without a numeric status (an
        // unsolicited "+CREG: <stat>", noise) says nothing.
        const std::vector<std::string> fields = Fields(line, 6);
        int status = 0;
        if (fields.size() < 2 || !ParseNumber(fields[1], INT16_MAX, status))
            return nullptr;
        auto msg = std::make_unique<CGsmMsg>(GSMRSP_REG);
        msg->regStatus = static_cast<int16_t>(status);
        return msg;
    }
    if (StartsWith(line, "+CSQ:")) {
        const std::vector<std::string> fields = Fields(line, 5);
        int rssi = 0;
        if (fields.empty() || !ParseNumber(fields[0], INT16_MAX, rssi))
            return nullptr;
        auto msg = std::make_unique<CGsmMsg>(GSMRSP_SIGNAL);
        msg->smsLength = SignalPercent(rssi);
        return msg;
    }
    if (StartsWith(line, "+CMGL:"))
        return ParseListing(line);
    if (StartsWith(line, ">"))
        return std::make_unique<CGsmMsg>(GSMRSP_PROMPT);
    if (StartsWith(line, "+CMGS:"))
        return std::make_unique<CGsmMsg>(GSMRSP_SMS_SENT);
    if (StartsWith(line, "+CPMS:"))
        return std::make_unique<CGsmMsg>(GSMRSP_STORAGE);
    if (StartsWith(line, "RING"))
        return std::make_unique<CGsmMsg>(GSMRSP_RING);
    if (StartsWith(line, "+CLCC:"))
        return ParseCaller(line);
    return nullptr;
}

std::unique_ptr<CGsmMsg> CGsmInfo::ParseListing(const std::string& line)
{
    // "+CMGL: <index>,<stat>,<number>,[<alpha>],<date>,<time>[,<type>,<length>]"
    // (the comma inside the time stamp makes date and time two fields). The
    // alpha text comes from the SIM's phone book and may itself hold commas,
    // so the fields after it are counted from the end of the line.
    const std::vector<std::string> fields = Fields(line, 6);
    const std::size_t n = fields.size();

    // The text line follows whether the entry is taken or not; an entry that
    // is not taken has its text swallowed, so that no stored text can pass
    // for a response.
    EnterMode(kModeSmsText);
    int length = -1;
    if (n >= 8 && ParseNumber(fields[n - 1], INT16_MAX, length))
        SetVerbatimCount(static_cast<int16_t>(std::min(length, static_cast<int>(kMaxLineBytes))));

    int index = 0;
    const std::string status = n >= 2 ? Trim(fields[1]) : std::string();
    if (n < 2 || !ParseNumber(fields[0], UINT16_MAX, index) || (status != "REC READ" && status != "REC UNREAD"))
        return nullptr;

    auto sms = std::make_unique<CGsmMsg>(GSMRSP_SMS);
    sms->smsIndex = static_cast<uint16_t>(index);
    sms->smsNumber = n >= 3 ? Trim(fields[2]) : std::string();
    if (n >= 8) {
        sms->smsDate = Trim(fields[n - 4]);
        sms->smsTime = Trim(fields[n - 3]);
    } else if (n >= 6) {
        sms->smsDate = Trim(fields[4]);
        sms->smsTime = Trim(fields[5]);
    }

    if (length == 0) {
        // An empty SMS has an empty text line, which the line reader
        // swallows: waiting for it would take the next response for the text.
        LeaveMode();
        return sms;
    }
    pendingSms = std::move(sms);
    return nullptr;
}

std::unique_ptr<CGsmMsg> CGsmInfo::ParseCaller(const std::string& line) const
{
    // "+CLCC: <id>,<dir>,<stat>,<mode>,<mpty>,<number>,<type>": the number
    // is the sixth field, whatever the widths of the five before it.
    const std::vector<std::string> fields = Fields(line, 6);
    auto msg = std::make_unique<CGsmMsg>(GSMRSP_CALLER);
    if (fields.size() >= 6) {
        std::string number = Trim(fields[5]);
        // A withheld number stays empty: there is nobody to report.
        if (!number.empty() && number.front() != '+')
            number.insert(number.begin(), '+');
        msg->smsNumber = number;
    }
    return msg;
}

std::unique_ptr<CGsmMsg> CGsmInfo::TakeSmsText(const std::string& line)
{
    std::unique_ptr<CGsmMsg> sms = std::move(pendingSms);
    LeaveMode();
    if (sms)
        sms->smsText = CGsmAlphabet::ToUtf8(line);
    return sms;
}

std::unique_ptr<CGsmMsg> CGsmInfo::TakeModel(const std::string& line)
{
    LeaveMode();
    Log(kModemInfoSource, Printable(line));
    auto msg = std::make_unique<CGsmMsg>(GSMRSP_MODEL);
    msg->modemType = ModelType(line);
    return msg;
}

void CGsmInfo::EnterMode(int16_t mode)
{
    pendingSms.reset();
    receiveMode = mode;
    modeTimer.Start(kModeTimeoutMs);
}

void CGsmInfo::LeaveMode()
{
    if (receiveMode == kModeSmsText)
        SetVerbatimCount(0);
    pendingSms.reset();
    receiveMode = kModeNormal;
}

void CGsmInfo::Log(const char* source, const std::string& text)
{
    if (log != nullptr)
        log->Log(source, text);
}
