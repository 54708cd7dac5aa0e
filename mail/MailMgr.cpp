#include "mail/MailMgr.h"

#include "core/TextFormat.h"
#include "core/TextLookup.h"
#include "texts/AlarmTypeText.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr const char* kProductName = "ORVA";
constexpr const char* kCompanyName = "Tervin AB";
constexpr const char* kSubjectName = "Tervin CallCenter";
constexpr const char* kStarLine = "*******************************************\r\n";
constexpr const char* kLineEnd = "\r\n";

// The type texts of an alarm mail.
const AlarmTypeTextKeys kMailTypeKeys = {
    "IDS_MAILMGR_MSG_4",  "IDS_MAILMGR_MSG_5",  "IDS_MAILMGR_MSG_6",  "IDS_MAILMGR_MSG_7",  "IDS_MAILMGR_MSG_8",
    "IDS_MAILMGR_MSG_9",  "IDS_MAILMGR_MSG_10", "IDS_MAILMGR_MSG_11", "IDS_MAILMGR_MSG_12", "IDS_MAILMGR_MSG_13",
    "IDS_MAILMGR_MSG_14", "IDS_MAILMGR_MSG_15", "IDS_MAILMGR_MSG_16", "IDS_MAILMGR_MSG_17"};

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

uint32_t NextId(uint32_t& last)
{
    if (++last == 0)  // 0 stands for "not kept"
        ++last;
    return last;
}

// A request for a kept mail with the server and sender of the settings as
// they are now.
std::unique_ptr<CMailHandlerMsg> RequestOf(const COutbox::Job& mail, const SettingsValues& settings)
{
    auto request = std::make_unique<CMailHandlerMsg>(MAIL_REQUEST);
    request->Server = settings.SendMailServer;
    // The settings store keeps the port within 1 to 65535.
    request->Port = static_cast<uint16_t>(settings.MailPortNumber);
    request->HeloName = settings.MailAccountName;
    request->Sender = settings.MailSenderAddress;
    request->Recipients = mail.recipients;
    request->Subject = mail.subject;
    request->Body = mail.body;
    return request;
}

}  // namespace

CMailMgr::CMailMgr() : CMailMgr(nullptr)
{
}

CMailMgr::CMailMgr(std::unique_ptr<CMailHandler> mailHandler)
    : handler(mailHandler ? std::move(mailHandler) : std::make_unique<CMailHandler>())
{
}

void CMailMgr::ShowStatusText(const std::string& text)
{
    statusText = text;
    ShowStatus();
}

void CMailMgr::ShowStatus()
{
    shownWaiting = GetWaitingCount();
    if (!document)
        return;
    document->Screen().SetStatusText(COutbox::StatusWithWaiting(statusText, shownWaiting), STATUS_PANE_MAIL);
}

std::size_t CMailMgr::GetWaitingCount() const
{
    return static_cast<std::size_t>(
        std::count_if(pending.begin(), pending.end(), [](const Pending& p) { return p.waiting; }));
}

int CMailMgr::Start(CMsgReceiver* relay)
{
    if (!outboxLoaded)
        LoadOutbox();
    if (document)
        ShowStatusText(LookupText(document->Settings().MailEnabled != 0 ? "IDS_MAILMGR_MSG_1" : "IDS_MAILMGR_MSG_2"));
    // A handler that still runs (a stop that failed) must not be reset under
    // its thread; its Start answers "already running".
    if (handler->IsRunning() == 0) {
        handler->SetOwner(relay);
        handler->ResetState();
    }
    if (handler->Start() == HNDRET_STARTED) {
        CheckRetries();
        return 1;
    }
    if (document)
        document->Screen().ShowMessage(LookupText("IDS_MAILMGR_MSG_3"), MessageIcon::Stop);
    return 0;
}

int16_t CMailMgr::Stop()
{
    const int16_t result = handler->Stop();
    if (result == HNDRET_STOPPED)
        AfterHandlerStopped();
    return result;
}

void CMailMgr::AfterHandlerStopped()
{
    // The requests still queued stay there for the next start, in their
    // order; the mail in progress was abandoned without a result. An alarm
    // mail of that kind waits (in the outbox too) and goes again after the
    // start, without counting as a failed attempt.
    std::vector<std::unique_ptr<CMsg>> queued;
    while (std::unique_ptr<CMsg> msg = handler->GetMsg())
        queued.push_back(std::move(msg));
    newOnTheirWay = 0;
    retryWithHandler = 0;
    std::vector<uint32_t> inQueue;
    for (std::unique_ptr<CMsg>& msg : queued) {
        const auto* request = dynamic_cast<const CMailHandlerMsg*>(msg.get());
        if (request != nullptr && request->GetType() == MAIL_REQUEST) {
            if (request->Retry)
                retryWithHandler = request->MailId;
            else
                ++newOnTheirWay;
            inQueue.push_back(request->MailId);
        }
        handler->ReceiveMsg(std::move(msg));
    }
    std::vector<uint32_t> taken;
    for (Pending& p : pending) {
        if (!p.withHandler || std::find(inQueue.begin(), inQueue.end(), p.id) != inQueue.end())
            continue;
        p.withHandler = false;
        if (Outbox() != nullptr && !Outbox()->IsKept(p.mail)) {
            taken.push_back(p.id);  // the server had it before the stop
            continue;
        }
        p.waiting = true;
        p.due.Start(0);
    }
    for (const uint32_t id : taken)
        Forget(id);
}

// ---------------------------------------------------------------------------
// The outbox

COutbox* CMailMgr::Outbox() const
{
    return document != nullptr ? &document->Outbox() : nullptr;
}

void CMailMgr::ReportJob(const std::string& state, const COutbox::Job& job)
{
    if (document)
        document->Screen().ReportJob(COutbox::JobLine(state, job));
}

void CMailMgr::LoadOutbox()
{
    COutbox* outbox = Outbox();
    if (outbox == nullptr || !outbox->IsOpen())
        return;  // tried again at the next start
    outboxLoaded = true;
    COutbox::Loaded loaded = outbox->Load(COutbox::Kind::Mail, wallClock ? wallClock() : std::time(nullptr));
    for (const COutbox::Job& job : loaded.expired) {
        document->Screen().AddSystemInfo(FormatKey("IDS_OUTBOX_MSG_MAIL_EXPIRED", {job.alarm, job.recipients}), true);
        ReportJob("expired", job);
    }
    for (COutbox::Job& job : loaded.jobs) {
        Pending p;
        p.id = NextId(nextId);
        p.mail = std::move(job);
        if (p.mail.held) {
            // It waited for a call that ended with the station: nobody took it.
            p.mail.held = false;
            if (!outbox->Update(p.mail))
                ReportOutboxTrouble();
        }
        p.waiting = true;
        p.due.Start(0);
        ReportJob("waiting", p.mail);
        pending.push_back(std::move(p));
    }
    for (const std::string& path : loaded.unreadable)
        document->Screen().AddSystemInfo(FormatKey("IDS_OUTBOX_MSG_UNREADABLE", {path}), true);
}

void CMailMgr::ReportOutboxTrouble()
{
    // Once until the outbox works again: with a full disk every alarm would
    // otherwise bring the same line.
    if (outboxTroubleShown || !document)
        return;
    outboxTroubleShown = true;
    document->Screen().AddSystemInfo(FormatKey("IDS_OUTBOX_MSG_FAILED", {document->Outbox().GetLastError()}), true);
}

// ---------------------------------------------------------------------------
// Composing

void CMailMgr::SendAlarmMail(const CAlarmInfoMsg* alarm, const std::string& recipients, bool held)
{
    if (!alarm || !document || recipients.empty())
        return;
    const SettingsValues& settings = document->Settings();
    if (settings.MailEnabled == 0)
        return;
    // Only a job named after its alarm can be found again to be released.
    if (held && alarm->JournalId.empty())
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

    Pending mail;
    mail.mail.kind = COutbox::Kind::Mail;
    mail.mail.alarmId = alarm->JournalId;
    mail.mail.slot = "mail";
    mail.mail.alarm = alarm->IdCode;
    mail.mail.emergency = IsEmergencyAlarmType(alarm->AlarmType);
    mail.mail.held = held;
    mail.mail.recipients = recipients;
    mail.mail.subject = FormatKey("IDS_MAILMGR_MSG_23", {std::string(kSubjectName)});
    mail.mail.body = std::move(body);
    // On the disk before it goes anywhere: a stop or a crash from here on
    // leaves the mail to the next start.
    COutbox& outbox = document->Outbox();
    switch (outbox.Add(mail.mail)) {
    case COutbox::AddResult::Existing:
        return;  // this alarm's mail is known already (taken in at the start)
    case COutbox::AddResult::Added:
        outboxTroubleShown = false;
        break;
    case COutbox::AddResult::NotWritten:
        // It goes out from memory all the same; a held one is composed
        // again when it is released.
        ReportOutboxTrouble();
        if (held)
            return;
        break;
    }
    if (mail.mail.held) {
        ReportJob("held", mail.mail);
        return;
    }
    ReportJob("queued", mail.mail);
    mail.id = NextId(nextId);
    auto request = RequestOf(mail.mail, settings);
    request->MailId = mail.id;
    request->JobFile = outbox.FileOf(mail.mail);
    request->SetPrecedence(COutbox::PrecedenceOf(mail.mail.emergency, false));
    mail.withHandler = true;
    pending.push_back(std::move(mail));
    ++newOnTheirWay;
    Post(std::move(request));
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
    ++newOnTheirWay;
    Post(std::move(request));
}

void CMailMgr::Post(std::unique_ptr<CMailHandlerMsg> request)
{
    CHandler::PostMsg(handler.get(), std::move(request));
}

// ---------------------------------------------------------------------------
// Results and retries

void CMailMgr::OnHandlerStatus(const CMailHandlerMsg& msg)
{
    const char* key = nullptr;
    switch (msg.code) {
    case MHM_STATUS_IDLE:
        key = "IDS_MAILMGR_MSG_29";
        break;
    case MHM_STATUS_CONNECTING:
        key = "IDS_MAILMGR_MSG_30";
        break;
    case MHM_STATUS_AUTHORIZING:
        key = "IDS_MAILMGR_MSG_31";
        break;
    case MHM_STATUS_SENDING:
        key = "IDS_MAILMGR_MSG_32";
        break;
    case MHM_STATUS_SEND_OK:
        key = "IDS_MAILMGR_MSG_33";
        break;
    case MHM_STATUS_SEND_ERROR:
        key = "IDS_MAILMGR_MSG_34";
        break;
    default:
        break;
    }
    if (key)
        statusText = LookupText(key);
    const bool result = msg.code >= MHM_STATUS_SEND_OK && msg.code <= MHM_STATUS_SET_ASIDE;
    if (result)
        OnResult(msg);
    if (key || GetWaitingCount() != shownWaiting)
        ShowStatus();
    if (result)
        CheckRetries();
}

void CMailMgr::OnResult(const CMailHandlerMsg& msg)
{
    if (msg.Retry) {
        if (retryWithHandler == msg.MailId)
            retryWithHandler = 0;
    } else if (newOnTheirWay > 0) {
        --newOnTheirWay;
    }
    if (msg.code != MHM_STATUS_SET_ASIDE)
        handlerPause.Start(CMailHandler::kPauseMs);
    Pending* p = msg.MailId != 0 ? Find(msg.MailId) : nullptr;
    if (p)
        p->withHandler = false;

    switch (msg.code) {
    case MHM_STATUS_SEND_OK:
        if (p) {
            if (p->mail.attempts > 0)
                document->Screen().AddSystemInfo(
                    FormatKey("IDS_MAILMGR_MSG_SENT_LATE",
                              {static_cast<long long>(p->mail.attempts) + 1, p->mail.recipients}),
                    false);
            ReportJob("sent", p->mail);
            Forget(p->id);
        }
        break;
    case MHM_STATUS_SEND_ERROR:
        if (p && msg.FailClass == MHM_FAIL_TRANSIENT) {
            OnFailedAttempt(*p, msg);
        } else {
            if (document)
                document->Screen().AddSystemInfo(FailureLine(msg), true);
            if (p) {
                ReportJob("failed", p->mail);
                Forget(p->id);
            }
        }
        break;
    case MHM_STATUS_SET_ASIDE:
        // Not tried to the end: it goes again as soon as the handler is free,
        // without counting as an attempt.
        if (p)
            p->waiting = true;
        break;
    default:
        break;
    }
}

void CMailMgr::OnFailedAttempt(Pending& p, const CMailHandlerMsg& msg)
{
    if (p.mail.attempts < UINT16_MAX)
        ++p.mail.attempts;
    if (p.mail.attempts > kRetryDelaysMs.size()) {
        // Given up: the operator hears of it as of any mail that failed.
        if (document)
            document->Screen().AddSystemInfo(FailureLine(msg), true);
        ReportJob("failed", p.mail);
        Forget(p.id);
        return;
    }
    const uint32_t delay = kRetryDelaysMs[p.mail.attempts - 1];
    p.waiting = true;
    p.due.Start(delay);
    if (COutbox* outbox = Outbox()) {
        bool written = false;
        if (!p.mail.name.empty())
            written = outbox->Update(p.mail);
        else
            written = outbox->Add(p.mail) != COutbox::AddResult::NotWritten;
        if (written)
            outboxTroubleShown = false;
        else
            ReportOutboxTrouble();
    }
    ReportJob("retry", p.mail);
    // The operator learns at once that the alarm has not reached its
    // recipients yet; the attempts after it only show in the mail pane.
    if (p.mail.attempts == 1 && document)
        document->Screen().AddSystemInfo(
            FailureLine(msg) + " " + FormatKey("IDS_MAILMGR_MSG_RETRY", {static_cast<long long>(delay / 60000)}), true);
}

void CMailMgr::CheckRetries()
{
    if (retryWithHandler != 0 || newOnTheirWay > 0 || !handlerPause.Expired() || handler->IsRunning() != 1 || !document)
        return;
    const SettingsValues& settings = document->Settings();
    // With mail switched off nothing goes out; the mails wait for it.
    if (settings.MailEnabled == 0)
        return;
    // The oldest due mail of an emergency alarm first, else the oldest due.
    Pending* next = nullptr;
    for (Pending& p : pending) {
        if (!p.waiting || p.withHandler || !p.due.Expired())
            continue;
        if (next == nullptr || (p.mail.emergency && !next->mail.emergency))
            next = &p;
    }
    if (next == nullptr)
        return;
    auto request = RequestOf(next->mail, settings);
    request->Retry = true;
    request->MailId = next->id;
    request->JobFile = Outbox() != nullptr ? Outbox()->FileOf(next->mail) : std::string();
    request->SetPrecedence(COutbox::PrecedenceOf(next->mail.emergency, true));
    next->withHandler = true;
    retryWithHandler = next->id;
    Post(std::move(request));
}

CMailMgr::Pending* CMailMgr::Find(uint32_t id)
{
    for (Pending& p : pending)
        if (p.id == id)
            return &p;
    return nullptr;
}

void CMailMgr::Forget(uint32_t id)
{
    for (auto it = pending.begin(); it != pending.end(); ++it) {
        if (it->id != id)
            continue;
        if (Outbox() != nullptr && !Outbox()->Remove(it->mail.name))
            ReportOutboxTrouble();
        pending.erase(it);
        return;
    }
}

std::string CMailMgr::FailureLine(const CMailHandlerMsg& msg) const
{
    const std::string reason = msg.ErrorStep == MAILHND_ERR_CONNECT
                                   ? LookupText("IDS_MAILMGR_MSG_35")
                                   : FormatKey("IDS_MAILMGR_MSG_36", {static_cast<long long>(msg.ErrorStep)});
    return FormatKey("IDS_MAILMGR_MSG_37", {LookupText("IDS_MAILMGR_MSG_38"), reason, msg.Recipients});
}
