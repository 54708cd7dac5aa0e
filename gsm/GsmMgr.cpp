#include "gsm/GsmMgr.h"

#include "core/TextFormat.h"
#include "core/PortRecovery.h"
#include "core/TextLookup.h"
#include "db/AlarmTypeText.h"
#include "gsm/LiftMonitoringText.h"
#include "texts/TextEncoding.h"

namespace {

// The product name in the first line of every alarm SMS.
constexpr const char* kProductName = "ORVA";

// The type texts of an alarm SMS.
const AlarmTypeTextKeys kSmsTypeKeys = {"IDS_GSMMGR_MSG_7", "IDS_GSMMGR_MSG_8", "IDS_GSMMGR_MSG_9", "IDS_GSMMGR_MSG_10", "IDS_GSMMGR_MSG_11", "IDS_GSMMGR_MSG_12", "IDS_GSMMGR_MSG_13", "IDS_GSMMGR_MSG_14", "IDS_GSMMGR_MSG_15", "IDS_GSMMGR_MSG_16", "IDS_GSMMGR_MSG_17", "IDS_GSMMGR_MSG_18", "IDS_GSMMGR_MSG_19", "IDS_GSMMGR_MSG_20"};

// The alarm text, each line ended by a line feed. A lift-monitoring alarm
// leaves out the controller's detail lines after its first line (floor,
// position, zone, status), however many the message has: they would crowd
// the technician's instructions out of a 160-character SMS. The mail keeps
// them.
std::string SmsBody(const CAlarmInfoMsg& alarm)
{
    CMsgText text = alarm.Text;  // reading moves the read position; the record stays as it was
    text.Rewind();
    const std::size_t lineCount = text.GetLineCount();
    const std::size_t details =
        alarm.AlarmType == ALARMTYPE_LIFT_MONITORING ? CLiftMonitoringText::DetailLineCount(text.GetText()) : 0;
    std::string body;
    for (std::size_t i = 0; i < lineCount; ++i) {
        const std::string line = text.GetNextLine(CMsgText::kMaxChars);
        if (i >= 1 && i <= details)
            continue;
        body += line;
        body += '\n';
    }
    return body;
}

}  // namespace

CGsmMgr::CGsmMgr() = default;

void CGsmMgr::SetDocument(CDocumentHost* doc)
{
    document = doc;
    if (sendSmsWindow)
        sendSmsWindow->SetDocument(doc);
}

void CGsmMgr::SetSendSmsWindow(CSendSmsWindow* window)
{
    sendSmsWindow = window;
    if (sendSmsWindow && document)
        sendSmsWindow->SetDocument(document);
}

bool CGsmMgr::GsmEnabled() const
{
    return document && document->Settings().GsmEnabled == 1;
}

void CGsmMgr::Status(const std::string& text)
{
    if (document)
        document->Screen().SetStatusText(text, STATUS_PANE_GSM);
}

void CGsmMgr::Info(const std::string& text, bool popUp)
{
    if (document)
        document->Screen().AddSystemInfo(text, popUp);
}

int CGsmMgr::Start(CMsgReceiver* relay)
{
    if (!document)
        return 1;
    SettingsValues& settings = document->Settings();
    Status(LookupText("IDS_GSMMGR_MSG_1"));
    if (settings.GsmEnabled == 0) {
        Status(LookupText("IDS_GSMMGR_MSG_5"));
        return 1;
    }
    const auto start = [this, relay, &settings] {
        // A handler that still runs (a stop that failed) must not have its
        // settings changed under its thread; its Start answers "already running".
        if (handler.IsRunning() == 0) {
            handler.SetOwner(relay);
            handler.Init(settings.GsmComPort, settings.GsmBaudrate, settings.GsmPinCode,
                         settings.AcceptCallerIdTestAlarms != 0, settings.GsmWirelessNetSel);
        }
        return handler.Start();
    };
    StartWithPortRecovery(*document, settings.GsmComPort, settings.GsmEnabled, start,
                          [this](const std::string& text) { Status(text); },
                          {"IDS_GSMMGR_MSG_2", "IDS_GSMMGR_MSG_3", "IDS_GSMMGR_MSG_4", MessageIcon::Stop});
    return 1;
}

int16_t CGsmMgr::Stop()
{
    return handler.Stop();
}

void CGsmMgr::SendAlarmSms(const CAlarmInfoMsg* alarm, const std::string& recipients)
{
    if (!alarm || !GsmEnabled() || recipients.empty())
        return;
    auto request = std::make_unique<CGsmHandlerMsg>(MSG_GUI_SEND_ALARM_SMS);
    std::string text = FormatKey("IDS_GSMMGR_MSG_21", {std::string(kProductName)});
    text += FormatKey("IDS_GSMMGR_MSG_22", {AlarmTypeText(*alarm, kSmsTypeKeys)});
    text += FormatKey("IDS_GSMMGR_MSG_23", {alarm->IdInfo});
    text += FormatKey("IDS_GSMMGR_MSG_24", {alarm->ObjectAddress});
    text += SmsBody(*alarm);
    // The limit counts characters; the register's texts are not guaranteed
    // to be valid UTF-8, so they are made valid first and the cut never lands
    // inside a character.
    text = TextEncoding::SanitizeUtf8(text);
    text.resize(TextEncoding::PrefixBytes(text, kMaxAlarmSmsChars));
    request->recipients = recipients;
    request->smsText = std::move(text);
    CHandler::PostMsg(&handler, std::move(request));
}

void CGsmMgr::SendFreeformSms(const std::string& text, const std::string& recipients, int16_t requestId)
{
    if (!GsmEnabled() || recipients.empty())
        return;
    auto request = std::make_unique<CGsmHandlerMsg>(MSG_GUI_SEND_FREEFORMAT_SMS);
    request->requestId = requestId;
    request->recipients = recipients;
    request->smsText = text;
    CHandler::PostMsg(&handler, std::move(request));
}

void CGsmMgr::OnHandlerStatus(const CGsmHandlerMsg& msg)
{
    switch (msg.code) {
    case GHM_STATUS_INITIALIZING:
        Status(LookupText("IDS_GSMMGR_MSG_25"));
        break;
    case GHM_STATUS_PIN_ERROR:
        Status(LookupText("IDS_GSMMGR_MSG_28"));
        Info(LookupText("IDS_GSMMGR_MSG_29"), true);
        break;
    case GHM_STATUS_PIN_REQUIRED:
        Status(LookupText("IDS_GSMMGR_MSG_26"));
        Info(LookupText("IDS_GSMMGR_MSG_27"), true);
        break;
    case GHM_STATUS_COM_OK:
        Status(msg.signal != 0 ? FormatKey("IDS_GSMMGR_MSG_31", {static_cast<long long>(msg.signal)})
                               : LookupText("IDS_GSMMGR_MSG_30"));
        break;
    case GHM_STATUS_COM_TIMEOUT:
        Status(LookupText("IDS_GSMMGR_MSG_32"));
        break;
    case GHM_STATUS_COM_WARNING:
        Status(LookupText("IDS_GSMMGR_MSG_33"));
        Info(LookupText("IDS_GSMMGR_MSG_34"), false);
        break;
    case GHM_STATUS_COM_FAILURE:
        Status(LookupText("IDS_GSMMGR_MSG_35"));
        Info(LookupText("IDS_GSMMGR_MSG_36"), true);
        break;
    case GHM_STATUS_SENDING_SMS:
        Status(LookupText("IDS_GSMMGR_MSG_37"));
        break;
    case GHM_STATUS_SMS_SENT:
    case GHM_STATUS_SMS_FAILED:
        // Alarm SMS results concern nobody on screen; only the window's own
        // requests are reported back to it.
        if (msg.requestId == SENDSMS_REQUEST_ID && sendSmsWindow)
            sendSmsWindow->OnSendResult(msg);
        break;
    default:
        break;
    }
}

void CGsmMgr::ShowSendSmsWindow()
{
    if (sendSmsWindow)
        sendSmsWindow->ShowWindow();
}

void CGsmMgr::ForwardToSendSmsWindow(std::unique_ptr<CMsg> msg)
{
    if (msg && msg->GetType() == GSMMGR_MSG_SMS_NUM_REPLY && sendSmsWindow)
        sendSmsWindow->OnSmsNumberReply(std::move(msg));
    // Anything else ends here, deleted with msg.
}
