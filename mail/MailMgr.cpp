#include "mail/MailMgr.h"

#include "core/TextFormat.h"
#include "core/TextLookup.h"
#include "db/AlarmTypeText.h"

#include <memory>

namespace {

constexpr const char* kProductName = "ORVA";
constexpr const char* kCompanyName = "Tervin AB";
constexpr const char* kSubjectName = "Tervin CallCenter";
constexpr const char* kStarLine = "*******************************************\r\n";
constexpr const char* kLineEnd = "\r\n";

// The type texts of an alarm mail.
const AlarmTypeTextKeys kMailTypeKeys = {"IDS_MAILMGR_MSG_4", "IDS_MAILMGR_MSG_5", "IDS_MAILMGR_MSG_6", "IDS_MAILMGR_MSG_7", "IDS_MAILMGR_MSG_8", "IDS_MAILMGR_MSG_9", "IDS_MAILMGR_MSG_10", "IDS_MAILMGR_MSG_11", "IDS_MAILMGR_MSG_12", "IDS_MAILMGR_MSG_13", "IDS_MAILMGR_MSG_14", "IDS_MAILMGR_MSG_15", "IDS_MAILMGR_MSG_16", "IDS_MAILMGR_MSG_17"};

// The opening of every mail: an empty line, then the title and the two
// header lines of the settings between two lines of asterisks.
std::string BodyHead(const std::string& titleKey, const SettingsValues& settings)
{
    std::string body = kLineEnd;
    body += kStarLine;
    body += FormatKey(titleKey, {std::string(kProductName)});
    body += settings.MailHeader1 + kLineEnd;
    body += settings.MailHeader2 + kLineEnd;
    body += kStarLine;
    return body;
}

std::string BodyTail(const std::string& noticeKey)
{
    std::string tail = kStarLine;
    tail += kLineEnd;
    tail += FormatKey(noticeKey, {std::string(kCompanyName)});
    tail += FormatText("%s\r\n", {std::string(CMailMgr::kCompanyWebAddress)});
    return tail;
}

}  // namespace

CMailMgr::CMailMgr() = default;

void CMailMgr::Status(const std::string& text)
{
    if (document)
        document->Screen().SetStatusText(text, STATUS_PANE_MAIL);
}

int CMailMgr::Start(CMsgReceiver* relay)
{
    if (document)
        Status(LookupText(document->Settings().MailEnabled != 0 ? "IDS_MAILMGR_MSG_1" : "IDS_MAILMGR_MSG_2"));
    // A handler that still runs (a stop that failed) must not be reset under
    // its thread; its Start answers "already running".
    if (handler.IsRunning() == 0) {
        handler.SetOwner(relay);
        handler.ResetState();
    }
    if (handler.Start() == HNDRET_STARTED)
        return 1;
    if (document)
        document->Screen().ShowMessage(LookupText("IDS_MAILMGR_MSG_3"), MessageIcon::Stop);
    return 0;
}

int16_t CMailMgr::Stop()
{
    return handler.Stop();
}

void CMailMgr::SendAlarmMail(const CAlarmInfoMsg* alarm, const std::string& recipients)
{
    if (!alarm || !document || recipients.empty())
        return;
    const SettingsValues& settings = document->Settings();
    if (settings.MailEnabled == 0)
        return;

    std::string body = BodyHead("IDS_MAILMGR_MSG_18", settings);
    body += FormatKey("IDS_MAILMGR_MSG_19", {AlarmTypeText(*alarm, kMailTypeKeys)});
    body += FormatKey("IDS_MAILMGR_MSG_20", {alarm->IdInfo});
    body += FormatKey("IDS_MAILMGR_MSG_21", {alarm->IdCode});
    CMsgText text = alarm->Text;  // reading moves the read position; the record stays as it was
    text.Rewind();
    const std::size_t lineCount = text.GetLineCount();
    for (std::size_t i = 0; i < lineCount; ++i)
        body += text.GetNextLine(CMsgText::kMaxChars) + kLineEnd;
    body += BodyTail("IDS_MAILMGR_MSG_22");

    auto request = std::make_unique<CMailHandlerMsg>(MAIL_REQUEST);
    request->Server = settings.SendMailServer;
    // The settings store keeps the port within 1 to 65535.
    request->Port = static_cast<uint16_t>(settings.MailPortNumber);
    request->HeloName = settings.MailAccountName;
    request->Sender = settings.MailSenderAddress;
    request->Recipients = recipients;
    request->Subject = FormatKey("IDS_MAILMGR_MSG_23", {std::string(kSubjectName)});
    request->Body = std::move(body);
    CHandler::PostMsg(&handler, std::move(request));
}

void CMailMgr::SendTestMail(const std::string& server, uint16_t port, const std::string& heloName,
                            const std::string& sender, const std::string& recipient)
{
    if (!document)
        return;
    std::string body = BodyHead("IDS_MAILMGR_MSG_24", document->Settings());
    body += FormatKey("IDS_MAILMGR_MSG_25", {LookupText("IDS_MAILMGR_MSG_26")});
    body += BodyTail("IDS_MAILMGR_MSG_27");

    auto request = std::make_unique<CMailHandlerMsg>(MAIL_REQUEST);
    request->Server = server;
    request->Port = port;
    request->HeloName = heloName;
    request->Sender = sender;
    request->Recipients = recipient;
    request->Subject = FormatKey("IDS_MAILMGR_MSG_28", {std::string(kSubjectName)});
    request->Body = std::move(body);
    CHandler::PostMsg(&handler, std::move(request));
}

void CMailMgr::OnHandlerStatus(const CMailHandlerMsg& msg)
{
    switch (msg.code) {
    case MHM_STATUS_IDLE:
        Status(LookupText("IDS_MAILMGR_MSG_29"));
        break;
    case MHM_STATUS_CONNECTING:
        Status(LookupText("IDS_MAILMGR_MSG_30"));
        break;
    case MHM_STATUS_AUTHORIZING:
        Status(LookupText("IDS_MAILMGR_MSG_31"));
        break;
    case MHM_STATUS_SENDING:
        Status(LookupText("IDS_MAILMGR_MSG_32"));
        break;
    case MHM_STATUS_SEND_OK:
        Status(LookupText("IDS_MAILMGR_MSG_33"));
        break;
    case MHM_STATUS_SEND_ERROR: {
        Status(LookupText("IDS_MAILMGR_MSG_34"));
        const std::string reason = msg.ErrorStep == MAILHND_ERR_CONNECT
                                       ? LookupText("IDS_MAILMGR_MSG_35")
                                       : FormatKey("IDS_MAILMGR_MSG_36", {static_cast<long long>(msg.ErrorStep)});
        if (document)
            document->Screen().AddSystemInfo(
                FormatKey("IDS_MAILMGR_MSG_37", {LookupText("IDS_MAILMGR_MSG_38"), reason, msg.Recipients}), true);
        break;
    }
    default:
        break;
    }
}
