#include "mail/MailInfo.h"

#include "mail/MailEncoding.h"

#include <atomic>
#include <cstdio>
#include <random>
#include <unistd.h>

namespace {

constexpr const char* kConnect = "MailInfo::Connect";
constexpr const char* kSend = "MailInfo::Send";
constexpr const char* kReceive = "MailInfo::Receive";

// The SMTP data of a message: closed by "." on a line of its own. A text that
// already ends with a line break gets no second one, which would add an empty
// line to every mail.
std::string TerminateData(const std::string& text)
{
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
        return text + ".\r\n";
    return text + "\r\n.\r\n";
}

// A domain usable in a message identity: letters, digits, "-" and dots
// between non-empty labels.
bool IsPlainDomain(const std::string& text)
{
    if (text.empty() || text.front() == '.' || text.back() == '.' || text.find("..") != std::string::npos)
        return false;
    for (const char c : text) {
        const bool ok =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (!ok)
            return false;
    }
    return true;
}

}  // namespace

int CMailInfo::InitSockets(CLogFile* logFile)
{
    log = logFile;
    return CTcpIpProt::InitSockets();
}

void CMailInfo::Log(const char* source, const std::string& text)
{
    if (log)
        log->Log(source, text);
}

int CMailInfo::Connect(const std::string& server, uint16_t port)
{
    reader.Clear();
    lossLogged = false;
    if (tcp.Connect(server, port) != 0)
        return 1;
    char text[32];
    std::snprintf(text, sizeof text, "ErrCode: %d", tcp.GetLastError());
    Log(kConnect, text);
    return 0;
}

void CMailInfo::Send(int16_t command, const std::string& text)
{
    std::string line;
    switch (command) {
    case MAILINFO_CMD_HELO:
        line = "HELO " + MailEncoding::RemoveLineBreaks(text) + "\r\n";
        break;
    case MAILINFO_CMD_MAIL_FROM:
        line = "MAIL FROM: <" + MailEncoding::RemoveLineBreaks(text) + ">\r\n";
        break;
    case MAILINFO_CMD_RCPT_TO:
        line = "RCPT TO: <" + MailEncoding::RemoveLineBreaks(text) + ">\r\n";
        break;
    case MAILINFO_CMD_DATA:
        line = "DATA\r\n";
        break;
    case MAILINFO_CMD_MESSAGE:
        line = TerminateData(MailEncoding::DotStuff(MailEncoding::NormalizeLineEnds(text)));
        break;
    case MAILINFO_CMD_QUIT:
        line = "QUIT\r\n";
        break;
    default:
        return;
    }
    // The log shows the line as sent, its line ends visible, on one log line.
    Log(kSend, MailEncoding::EscapeForLog(line));
    // A failed send shows up as a missing reply.
    tcp.Send(line.data(), line.size());
}

void CMailInfo::SendMail(const CMailHandlerMsg& request, const CStrList& recipients)
{
    const std::string id = MakeMessageId(request.Sender, request.HeloName);
    Send(MAILINFO_CMD_MESSAGE, FormatMessage(request, recipients, std::time(nullptr), id));
}

int16_t CMailInfo::Receive()
{
    tcp.Flush();
    int16_t length = 0;
    if (tcp.Receive(buffer, length, kReceiveMax) == TCPIP_RCRET_DATA) {
        buffer[length] = '\0';
        Log(kReceive, MailEncoding::EscapeForLog(std::string_view(buffer, static_cast<std::size_t>(length))));
        reader.Feed(buffer, static_cast<std::size_t>(length));
    } else if (tcp.IsLost() && !lossLogged) {
        lossLogged = true;
        char text[48];
        std::snprintf(text, sizeof text, "Connection closed, ErrCode: %d", tcp.GetLastError());
        Log(kReceive, text);
    }
    return reader.Next();
}

void CMailInfo::Disconnect()
{
    tcp.Close();
    reader.Clear();
    lossLogged = false;
}

bool CMailInfo::IsConnectionLost() const
{
    return tcp.IsLost() && !reader.HasReply();
}

std::string CMailInfo::FormatMessage(const CMailHandlerMsg& request, const CStrList& recipients, std::time_t now,
                                     const std::string& messageId)
{
    using MailEncoding::RemoveLineBreaks;
    std::string text = "From: <" + RemoveLineBreaks(request.Sender) + ">\r\n";
    for (const std::string& address : recipients.Items())
        text += "To: <" + RemoveLineBreaks(address) + ">\r\n";
    text += MailEncoding::FormatHeaderField("Subject", RemoveLineBreaks(request.Subject));
    text += "Date: " + FormatDate(now) + "\r\n";
    text += "Message-ID: <" + RemoveLineBreaks(messageId) + ">\r\n";
    text += "MIME-Version: 1.0\r\n";
    text += "Content-Type: text/plain; charset=UTF-8\r\n";
    // Quoted-printable passes every relay (7-bit, short lines) and leaves
    // Latin texts readable in the raw mail.
    text += "Content-Transfer-Encoding: quoted-printable\r\n";
    text += "\r\n";
    text += MailEncoding::EncodeQuotedPrintable(MailEncoding::NormalizeLineEnds(request.Body));
    return text;
}

std::string CMailInfo::FormatDate(std::time_t when)
{
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    tm local{};
    localtime_r(&when, &local);
    const long offset = local.tm_gmtoff / 60;
    const long absOffset = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[local.tm_wday % 7],
                  local.tm_mday, kMonths[local.tm_mon % 12], local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec, offset < 0 ? '-' : '+', absOffset / 60, absOffset % 60);
    return text;
}

std::string CMailInfo::MakeMessageId(const std::string& sender, const std::string& heloName)
{
    static std::atomic<unsigned> counter{0};
    // Keeps two station processes started in the same second apart.
    static const unsigned salt = [] {
        try {
            return static_cast<unsigned>(std::random_device{}());
        } catch (...) {
            return static_cast<unsigned>(std::time(nullptr) ^ (static_cast<unsigned>(getpid()) << 16));
        }
    }();

    std::string domain;
    const std::size_t at = sender.rfind('@');
    if (at != std::string::npos && IsPlainDomain(sender.substr(at + 1)))
        domain = sender.substr(at + 1);
    else if (IsPlainDomain(heloName))
        domain = heloName;
    else
        domain = "localhost";

    char unique[80];
    std::snprintf(unique, sizeof unique, "%llx.%x.%x.%x", static_cast<unsigned long long>(std::time(nullptr)),
                  static_cast<unsigned>(getpid()), counter.fetch_add(1) + 1, salt);
    return std::string(unique) + "@" + domain;
}
