#include "gsm/GsmMgr.h"

#include "core/PortRecovery.h"
#include "core/TextEncoding.h"
#include "core/TextFormat.h"
#include "core/TextLookup.h"
#include "gsm/LiftMonitoringText.h"
#include "texts/AlarmTypeText.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// The product name in the first line of every alarm SMS.
constexpr const char* kProductName = "ORVA";

// The type texts of an alarm SMS.
const AlarmTypeTextKeys kSmsTypeKeys = {
    "IDS_GSMMGR_MSG_7",  "IDS_GSMMGR_MSG_8",  "IDS_GSMMGR_MSG_9",  "IDS_GSMMGR_MSG_10", "IDS_GSMMGR_MSG_11",
    "IDS_GSMMGR_MSG_12", "IDS_GSMMGR_MSG_13", "IDS_GSMMGR_MSG_14", "IDS_GSMMGR_MSG_15", "IDS_GSMMGR_MSG_16",
    "IDS_GSMMGR_MSG_17", "IDS_GSMMGR_MSG_18", "IDS_GSMMGR_MSG_19", "IDS_GSMMGR_MSG_20"};

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
    statusText = text;
    ShowStatus();
}

void CGsmMgr::ShowStatus()
{
    shownWaiting = GetWaitingCount();
    if (!document)
        return;
    document->Screen().SetStatusText(COutbox::StatusWithWaiting(statusText, shownWaiting), STATUS_PANE_GSM);
}

void CGsmMgr::ShowStatusIfCountChanged()
{
    if (GetWaitingCount() != shownWaiting)
        ShowStatus();
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
        // The SMS in the outbox wait on the disk for a start with GSM.
        Status(LookupText("IDS_GSMMGR_MSG_5"));
        return 1;
    }
    if (!outboxLoaded)
        LoadOutbox();
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

// ---------------------------------------------------------------------------
// The outbox

void CGsmMgr::ReportJob(const std::string& state, const COutbox::Job& job)
{
    if (document)
        document->Screen().ReportJob(COutbox::JobLine(state, job));
}

void CGsmMgr::ReportOutboxTrouble()
{
    // Once until the outbox works again: with a full disk every alarm would
    // otherwise bring the same line.
    if (outboxTroubleShown || !document)
        return;
    outboxTroubleShown = true;
    Info(FormatKey("IDS_OUTBOX_MSG_FAILED", {document->Outbox().GetLastError()}), true);
}

void CGsmMgr::LoadOutbox()
{
    if (!document)
        return;
    COutbox& outbox = document->Outbox();
    if (!outbox.IsOpen())
        return;  // tried again at the next start
    outboxLoaded = true;
    COutbox::Loaded loaded = outbox.Load(COutbox::Kind::Sms, wallClock ? wallClock() : std::time(nullptr));
    for (const COutbox::Job& job : loaded.expired) {
        Info(FormatKey("IDS_OUTBOX_MSG_SMS_EXPIRED", {job.alarm, job.recipients}), true);
        ReportJob("expired", job);
    }
    for (COutbox::Job& job : loaded.jobs) {
        // An alarm sent again before this start (the journal's replay) is
        // with the handler already.
        if (std::any_of(pending.begin(), pending.end(),
                        [&](const COutbox::Job& known) { return known.name == job.name; }))
            continue;
        if (job.held) {
            // It waited for a call that ended with the station: nobody took it.
            job.held = false;
            if (outbox.Update(job))
                outboxTroubleShown = false;
            else
                ReportOutboxTrouble();
        }
        ReportJob("waiting", job);
        PostJob(job, true);
    }
    for (const std::string& path : loaded.unreadable)
        Info(FormatKey("IDS_OUTBOX_MSG_UNREADABLE", {path}), true);
}

void CGsmMgr::PostJob(const COutbox::Job& job, bool leftOver)
{
    auto request = std::make_unique<CGsmHandlerMsg>(MSG_GUI_SEND_ALARM_SMS);
    request->recipients = job.recipients;
    request->smsText = job.body;
    request->jobName = job.name;
    request->jobFile = document->Outbox().FileOf(job);
    request->attempts = job.attempts;
    request->SetPrecedence(COutbox::PrecedenceOf(job.emergency, leftOver));
    pending.push_back(job);
    CHandler::PostMsg(&handler, std::move(request));
    ShowStatusIfCountChanged();
}

// ---------------------------------------------------------------------------
// Composing

void CGsmMgr::SendAlarmSms(const CAlarmInfoMsg* alarm, const std::string& recipients, bool held)
{
    if (!alarm || !GsmEnabled() || recipients.empty())
        return;
    // Only a job named after its alarm can be found again to be released.
    if (held && alarm->JournalId.empty())
        return;
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

    // One job per number, split as the handler splits: each is sent, kept
    // and settled on its own.
    const std::vector<std::string> numbers = CGsmHandler::SplitNumbers(recipients);
    COutbox& outbox = document->Outbox();
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        COutbox::Job job;
        job.kind = COutbox::Kind::Sms;
        job.alarmId = alarm->JournalId;
        job.slot = "sms" + std::to_string(i + 1);
        job.alarm = alarm->IdCode;
        job.emergency = IsEmergencyAlarmType(alarm->AlarmType);
        job.held = held;
        job.recipients = numbers[i];
        job.body = text;
        // On the disk before it goes anywhere: a stop or a crash from here
        // on leaves the SMS to the next start.
        switch (outbox.Add(job)) {
        case COutbox::AddResult::Existing:
            continue;  // this alarm's SMS to the number is known already
        case COutbox::AddResult::Added:
            outboxTroubleShown = false;
            break;
        case COutbox::AddResult::NotWritten:
            // It goes out from memory all the same; a held one is composed
            // again when it is released.
            ReportOutboxTrouble();
            if (held)
                continue;
            break;
        }
        if (job.held) {
            ReportJob("held", job);
            continue;
        }
        ReportJob("queued", job);
        PostJob(job, false);
    }
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
        // The window's own requests are reported back to it; an alarm SMS
        // settles its job.
        if (msg.requestId == SENDSMS_REQUEST_ID && msg.jobName.empty()) {
            if (sendSmsWindow)
                sendSmsWindow->OnSendResult(msg);
        } else {
            OnSmsResult(msg);
        }
        break;
    default:
        break;
    }
}

void CGsmMgr::OnSmsResult(const CGsmHandlerMsg& msg)
{
    // A job that could not be written has no name: its result is the first
    // of its number among those.
    const auto found = std::find_if(pending.begin(), pending.end(), [&](const COutbox::Job& job) {
        return msg.jobName.empty() ? msg.requestId == 0 && job.name.empty() && job.recipients == msg.recipients
                                   : job.name == msg.jobName;
    });
    if (found == pending.end() && msg.jobName.empty())
        return;  // no alarm SMS of this manager
    COutbox::Job job;
    if (found != pending.end()) {
        job = std::move(*found);
        pending.erase(found);
    } else {
        job.kind = COutbox::Kind::Sms;
        job.name = msg.jobName;
        job.recipients = msg.recipients;
    }
    job.attempts = msg.attempts;
    // The handler removed the file of a sent SMS already; this settles a
    // failed one, and a sent one whose removal failed there.
    if (document && !job.name.empty() && !document->Outbox().Remove(job.name))
        ReportOutboxTrouble();
    if (msg.code == GHM_STATUS_SMS_SENT) {
        ReportJob("sent", job);
    } else {
        Info(FormatKey("IDS_GSMMGR_MSG_SMS_FAILED", {job.alarm, job.recipients}), true);
        ReportJob("failed", job);
    }
    ShowStatusIfCountChanged();
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
