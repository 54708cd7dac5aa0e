#pragma once
// The SMTP side of the mail handler: formats the commands and the message,
// sends them, reads the server's replies and classifies each by its number.
// Every line sent and every reply received goes to the mail handler's log.
// Used only on the mail handler's thread.

#include "core/LogFile.h"
#include "core/StrList.h"
#include "mail/MailReplyReader.h"
#include "mail/TcpIpProt.h"
#include "messages/MailHandlerMsg.h"

#include <cstdint>
#include <ctime>
#include <string>

// Commands of Send.
constexpr int16_t MAILINFO_CMD_HELO = 0;
constexpr int16_t MAILINFO_CMD_MAIL_FROM = 1;
constexpr int16_t MAILINFO_CMD_RCPT_TO = 2;
constexpr int16_t MAILINFO_CMD_DATA = 3;
constexpr int16_t MAILINFO_CMD_MESSAGE = 4;
constexpr int16_t MAILINFO_CMD_QUIT = 5;

// Reply classes of Receive.
constexpr int16_t MAILINFO_RESP_POSITIVE = 1;      // 2xx
constexpr int16_t MAILINFO_RESP_INTERMEDIATE = 2;  // 3xx
constexpr int16_t MAILINFO_RESP_TRANSIENT = 3;     // 4xx
constexpr int16_t MAILINFO_RESP_PERMANENT = 4;     // 5xx
constexpr int16_t MAILINFO_RESP_OTHER = 5;         // anything else

class CMailInfo {
public:
    static constexpr int16_t kReceiveMax = 256;

    // Remembers the log (not owned; nullptr logs nothing) and initialises the
    // socket library. Non-zero on success.
    int InitSockets(CLogFile* logFile);
    // Non-zero when the connection is made or under way; a failure logs the
    // error number.
    int Connect(const std::string& server, uint16_t port);
    // Formats the command, logs the line and sends it. CR and LF are removed
    // from the text of HELO, MAIL FROM and RCPT TO, so that no data can add a
    // command of its own. The message is sent dot-stuffed with CR LF line ends
    // and closed by the end-of-data mark on a line of its own.
    void Send(int16_t command, const std::string& text);
    // Builds the message of the request for the recipients and sends it.
    void SendMail(const CMailHandlerMsg& request, const CStrList& recipients);
    // Moves pending output, reads once and returns the class of the next
    // complete reply, or 0 when no reply is complete.
    int16_t Receive();
    void Disconnect();

    // True when the server closed the connection (or it broke) and no reply
    // read before that is left: no further reply can come.
    bool IsConnectionLost() const;
    // The connection's socket and the events to wait for on it (-1: none).
    int WatchedFd(short& events) const { return tcp.WatchedFd(events); }

    // The message text: From, one To per recipient, Subject, Date,
    // Message-ID, the MIME fields, an empty line and the quoted-printable body.
    static std::string FormatMessage(const CMailHandlerMsg& request, const CStrList& recipients, std::time_t now,
                                     const std::string& messageId);
    // "Tue, 10 Dec 2024 03:04:05 +0100" in local time, with English names
    // whatever the process locale.
    static std::string FormatDate(std::time_t when);
    // A message identity unique to this process and moment, without the
    // angle brackets: "<unique>@<domain>", the domain taken from the sender's
    // address, else from the HELO name, else "localhost".
    static std::string MakeMessageId(const std::string& sender, const std::string& heloName);

private:
    void Log(const char* source, const std::string& text);

    CTcpIpProt tcp;
    char buffer[kReceiveMax + 1] = {};
    CLogFile* log = nullptr;
    CMailReplyReader reader;
    bool lossLogged = false;
};
