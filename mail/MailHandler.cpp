#include "mail/MailHandler.h"

#include "core/TickSource.h"
#include "core/Version.h"

#include <cerrno>
#include <exception>
#include <unistd.h>

namespace {

constexpr const char* kLogName = "MailHandler";
constexpr int16_t kLogLines = 1000;
constexpr const char* kSource = "MailHandler::ThreadMain";

// The error step of a dialogue that broke off in the state.
uint16_t StepOfState(int16_t state)
{
    if (state <= MAILHND_ST_CONNECT_WAITRESP)
        return MAILHND_ERR_CONNECT;
    if (state <= MAILHND_ST_HELO_WAITRESP)
        return MAILHND_ERR_HELO;
    if (state <= MAILHND_ST_MAIL_FROM_WAITRESP)
        return MAILHND_ERR_MAIL_FROM;
    if (state <= MAILHND_ST_RCPT_TO_WAITRESP)
        return MAILHND_ERR_RCPT_TO;
    if (state <= MAILHND_ST_DATA_WAITRESP)
        return MAILHND_ERR_DATA;
    if (state <= MAILHND_ST_MESSAGE_WAITRESP)
        return MAILHND_ERR_MESSAGE;
    return MAILHND_ERR_QUIT;
}

}  // namespace

CMailHandler::~CMailHandler()
{
    // The thread uses every member below; it must end before they go.
    EndThread();
}

void CMailHandler::ResetState()
{
    mailInfo.Disconnect();
    current.reset();
    recipients.RemoveAll();
    state = MAILHND_ST_IDLE;
    lastReply = 0;
    waiting = 0;
    errorStep = MAILHND_ERR_NONE;
    failClass = MHM_FAIL_NONE;
    endingReply = 0;
    pauseAfterRetry = false;
    recipientCount = 0;
    recipientIndex = 0;
}

void CMailHandler::FillRecipientList(const std::string& text, CStrList& list)
{
    list.RemoveAll();
    std::string address;
    for (const char c : text) {
        if (c == ' ' || c == '\t')
            continue;
        if (c == ',' || c == ';') {
            list.Add(address);
            address.clear();
        } else {
            address.push_back(c);
        }
    }
    if (!address.empty())
        list.Add(address);
}

// ---------------------------------------------------------------------------
// Thread

bool CMailHandler::OpenLog()
{
    log = std::make_unique<CLogFile>(kLogName, kLogLines);
    if (mailInfo.InitSockets(log.get()) == 0) {
        mailInfo.InitSockets(nullptr);
        log.reset();
        return false;
    }
    return true;
}

void CMailHandler::CloseLog()
{
    mailInfo.InitSockets(nullptr);  // the client must not keep the log past its end
    log.reset();
}

void CMailHandler::ThreadMain()
{
    if (!OpenLog()) {
        SetRun(0);
        SetStatus(HNDRET_START_FAILED);
        return;
    }
    SetStatus(HNDRET_STARTED);
    Log(std::string("Startup - Ver. ") + kProductVersion);

    while (IsRunning() == 1) {
        short events = 0;
        const int socket = mailInfo.WatchedFd(events);
        WaitForWork(socket, events);
        RunPass();
    }

    Log("Shutdown");
    // A mail in progress is abandoned without QUIT and without a result; the
    // connection closes and the next start begins afresh.
    ResetState();
    CloseLog();
    SetStatus(HNDRET_STOPPED);
}

void CMailHandler::RunPass()
{
    // One mail that breaks the dialogue must not end the thread: every alarm
    // mail after it would wait in the queue unseen.
    try {
        StepState();
        const int16_t reply = mailInfo.Receive();
        // Class 5 (no reply number) is no answer to anything; it leaves the
        // last reply as it was.
        if (reply >= MAILINFO_RESP_POSITIVE && reply <= MAILINFO_RESP_PERMANENT)
            lastReply = reply;
    } catch (const std::exception& e) {
        FailAfterFault(e.what());
    } catch (...) {
        FailAfterFault("unknown");
    }
}

void CMailHandler::FailAfterFault(const std::string& reason)
{
    try {
        Log("Exception: " + reason);
        if (!current) {
            ResetState();
            return;
        }
        // The same mail would break the same way again: it is not retried.
        // The connection is in an unknown state and goes without QUIT.
        const uint16_t step = StepOfState(state);
        Fail(step, MHM_FAIL_PERMANENT);
        FinishMail();
    } catch (...) {
        // Not even the report could be made; start over clean.
        ResetState();
    }
}

int16_t CMailHandler::WaitResponse(int16_t expected, uint32_t timeoutMs)
{
    if (waiting == 0) {
        timer.Start(timeoutMs);
        waiting = 1;
        return MAILHND_WRRET_PENDING;
    }
    const int16_t reply = lastReply;
    lastReply = 0;
    if (reply == expected) {
        waiting = 0;
        return MAILHND_WRRET_EXPECTED;
    }
    if (timer.Expired()) {
        waiting = 0;
        return MAILHND_WRRET_TIMEOUT;
    }
    // A closed connection will never bring the reply: fail the step now
    // rather than hold every mail queued behind this one for 30 seconds.
    if (reply != 0 || mailInfo.IsConnectionLost()) {
        waiting = 0;
        endingReply = reply;
        return MAILHND_WRRET_OTHER;
    }
    return MAILHND_WRRET_PENDING;
}

// ---------------------------------------------------------------------------
// State machine

void CMailHandler::BeforeMailStep(int16_t, const CMailHandlerMsg&)
{
}

bool CMailHandler::GiveWayToNewMail()
{
    if (InputQueue().GetCount() == 0)
        return false;
    if (state == MAILHND_ST_PAUSE && pauseAfterRetry) {
        state = MAILHND_ST_IDLE;
        pauseAfterRetry = false;
        return false;
    }
    if (!current || !current->Retry)
        return false;
    if (state >= MAILHND_ST_CONNECT && state <= MAILHND_ST_DATA_WAITRESP) {
        // Nothing of the message has gone out: the server forgets the
        // transaction with the connection, and the retry comes again later.
        SetAside();
        return true;
    }
    if (state == MAILHND_ST_QUIT || state == MAILHND_ST_QUIT_WAITRESP) {
        // The outcome is known; the QUIT reply is not worth a wait.
        waiting = 0;
        state = MAILHND_ST_DISCONNECT;
    }
    // With the message sent, its reply decides: the retry runs to its end.
    return false;
}

void CMailHandler::SetAside()
{
    Log("Retry set aside for a new mail");
    mailInfo.Disconnect();
    current->code = MHM_STATUS_SET_ASIDE;
    current->ErrorStep = MAILHND_ERR_NONE;
    current->FailClass = MHM_FAIL_NONE;
    current->SetType(MAIL_STATUS);
    PostMsg(GetOwner(), std::move(current));
    current.reset();
    recipients.RemoveAll();
    waiting = 0;
    lastReply = 0;
    // Nothing was delivered, so no pause: the new mail goes now.
    state = MAILHND_ST_IDLE;
}

// Every command of the dialogue, with the reply it waits for. A failure
// before the connection is up closes it without QUIT; a later one still
// sends QUIT, whose own failure then becomes the step reported.
const SmtpStep CMailHandler::kDialogue[] = {
    {.sendState = MAILHND_ST_CONNECT,
     .waitState = MAILHND_ST_CONNECT_WAITRESP,
     .send = &CMailHandler::Connect,
     .timeoutMs = kReplyTimeoutMs,
     .next = MAILHND_ST_HELO,
     .failText = "MAILHND_ST_CONNECT_WAITRESP: Error/Timeout",
     .errorStep = MAILHND_ERR_CONNECT,
     .failState = MAILHND_ST_DISCONNECT},
    {.sendState = MAILHND_ST_HELO,
     .waitState = MAILHND_ST_HELO_WAITRESP,
     .statusOnSend = MHM_STATUS_AUTHORIZING,
     .send = &CMailHandler::SendHelo,
     .timeoutMs = kReplyTimeoutMs,
     .next = MAILHND_ST_MAIL_FROM,
     .failText = "MAILHND_ST_HELO_WAITRESP: Error/Timeout",
     .errorStep = MAILHND_ERR_HELO,
     .failState = MAILHND_ST_QUIT},
    {.sendState = MAILHND_ST_MAIL_FROM,
     .waitState = MAILHND_ST_MAIL_FROM_WAITRESP,
     .send = &CMailHandler::SendMailFrom,
     .timeoutMs = kReplyTimeoutMs,
     .onReply = &CMailHandler::FirstRecipient,
     .next = MAILHND_ST_RCPT_TO,
     .failText = "MAILHND_ST_MAIL_FROM_WAITRESP: Error/Timeout",
     .errorStep = MAILHND_ERR_MAIL_FROM,
     .failState = MAILHND_ST_QUIT},
    // One RCPT TO per address: the row comes round again until the last
    // address has been taken.
    {.sendState = MAILHND_ST_RCPT_TO,
     .waitState = MAILHND_ST_RCPT_TO_WAITRESP,
     .send = &CMailHandler::SendRecipient,
     .timeoutMs = kReplyTimeoutMs,
     .onReply = &CMailHandler::NextRecipient,
     .next = MAILHND_ST_DATA,
     .failText = "MAILHND_ST_RCPT_TO_WAITRESP: Error/Timeout",
     .errorStep = MAILHND_ERR_RCPT_TO,
     .failState = MAILHND_ST_QUIT},
    {.sendState = MAILHND_ST_DATA,
     .waitState = MAILHND_ST_DATA_WAITRESP,
     .send = &CMailHandler::SendData,
     .expected = MAILINFO_RESP_INTERMEDIATE,
     .timeoutMs = kReplyTimeoutMs,
     .statusOnReply = MHM_STATUS_SENDING,
     .next = MAILHND_ST_MESSAGE,
     .failText = "MAILHND_ST_DATA_WAITRESP: Error/Timeout",
     .errorStep = MAILHND_ERR_DATA,
     .failState = MAILHND_ST_QUIT},
    {.sendState = MAILHND_ST_MESSAGE,
     .waitState = MAILHND_ST_MESSAGE_WAITRESP,
     .send = &CMailHandler::SendMessage,
     .timeoutMs = kReplyTimeoutMs,
     .onReply = &CMailHandler::Delivered,
     .next = MAILHND_ST_QUIT,
     .failText = "MAILHND_ST_MESSAGE_WAITRESP: Error/Timeout",
     .errorStep = MAILHND_ERR_MESSAGE,
     .failState = MAILHND_ST_QUIT},
    // Once the server has taken the message, a failed QUIT must never have
    // the mail sent twice.
    {.sendState = MAILHND_ST_QUIT,
     .waitState = MAILHND_ST_QUIT_WAITRESP,
     .send = &CMailHandler::SendQuit,
     .timeoutMs = kReplyTimeoutMs,
     .next = MAILHND_ST_DISCONNECT,
     .failText = "MAILHND_ST_QUIT_WAITRESP: Error/Timeout",
     .errorStep = MAILHND_ERR_QUIT,
     .failClass = MHM_FAIL_PERMANENT,
     .failState = MAILHND_ST_DISCONNECT},
};

void CMailHandler::StepState()
{
    if (GiveWayToNewMail())
        return;
    if (current)
        BeforeMailStep(state, *current);
    if (const SmtpStep* step = SmtpStep::Find(kDialogue, state)) {
        RunStep(*step);
        return;
    }
    switch (state) {
    case MAILHND_ST_IDLE:
        TakeRequest();
        break;
    case MAILHND_ST_DISCONNECT:
        FinishMail();
        break;
    case MAILHND_ST_PAUSE:
        if (timer.Expired())
            state = MAILHND_ST_IDLE;
        break;
    default:
        // Unknown state: drop whatever is in progress and start over.
        ResetState();
        break;
    }
}

void CMailHandler::TakeRequest()
{
    std::unique_ptr<CMsg> msg = GetMsg();
    if (!msg || msg->GetType() != MAIL_REQUEST)
        return;  // anything else is not for this handler and ends here
    std::unique_ptr<CMailHandlerMsg> request = MsgCast<CMailHandlerMsg>(msg);
    if (!request)
        return;
    current = std::move(request);

    PostStatus(MHM_STATUS_CONNECTING);
    errorStep = MAILHND_ERR_NONE;
    failClass = MHM_FAIL_NONE;
    pauseAfterRetry = false;
    lastReply = 0;  // nothing of an earlier connection answers this mail
    waiting = 0;
    FillRecipientList(current->Recipients, recipients);
    state = MAILHND_ST_CONNECT;
}

void CMailHandler::RunStep(const SmtpStep& step)
{
    if (state == step.sendState) {
        if (step.statusOnSend != MHM_STATUS_IDLE)
            PostStatus(step.statusOnSend);
        state = (this->*step.send)(step);
        return;
    }
    const int16_t result = WaitResponse(step.expected, step.timeoutMs);
    if (result == MAILHND_WRRET_PENDING)
        return;
    if (result == MAILHND_WRRET_EXPECTED) {
        state = step.onReply != nullptr ? (this->*step.onReply)(step) : step.next;
        if (step.statusOnReply != MHM_STATUS_IDLE)
            PostStatus(step.statusOnReply);
        return;
    }
    Log(step.failText);
    Fail(step.errorStep, step.FailureClass(result, endingReply));
    state = step.failState;
}

void CMailHandler::Fail(uint16_t step, uint8_t failureClass)
{
    if (errorStep == MAILHND_ERR_NONE)
        failClass = failureClass;
    errorStep = step;
}

// ---------------------------------------------------------------------------
// The rows' sends

int16_t CMailHandler::Connect(const SmtpStep& step)
{
    if (mailInfo.Connect(current->Server, current->Port) != 0)
        return step.waitState;
    // A name that does not resolve may be a name server that is down for the
    // moment as much as a wrong name.
    Log("MAILHND_ST_CONNECT: Connect Error");
    Fail(step.errorStep, MHM_FAIL_TRANSIENT);
    return step.failState;
}

int16_t CMailHandler::SendHelo(const SmtpStep& step)
{
    mailInfo.Send(MAILINFO_CMD_HELO, current->HeloName);
    return step.waitState;
}

int16_t CMailHandler::SendMailFrom(const SmtpStep& step)
{
    mailInfo.Send(MAILINFO_CMD_MAIL_FROM, current->Sender);
    return step.waitState;
}

int16_t CMailHandler::SendRecipient(const SmtpStep& step)
{
    const std::string* address = recipients.GetNext();
    if (address == nullptr) {
        // A recipients text of blanks only leaves no address to send; the
        // mail fails as if the server had refused the recipient.
        Log("MAILHND_ST_RCPT_TO: No Recipient");
        Fail(step.errorStep, MHM_FAIL_PERMANENT);
        return step.failState;
    }
    mailInfo.Send(MAILINFO_CMD_RCPT_TO, *address);
    return step.waitState;
}

int16_t CMailHandler::SendData(const SmtpStep& step)
{
    mailInfo.Send(MAILINFO_CMD_DATA, "");
    return step.waitState;
}

int16_t CMailHandler::SendMessage(const SmtpStep& step)
{
    mailInfo.SendMail(*current, recipients);
    return step.waitState;
}

int16_t CMailHandler::SendQuit(const SmtpStep& step)
{
    // QUIT cannot travel over a connection the server has closed; waiting 30
    // seconds for its reply would only replace the step that really failed
    // by step 6.
    if (mailInfo.IsConnectionLost()) {
        Log("MAILHND_ST_QUIT: Connection closed");
        return step.next;
    }
    mailInfo.Send(MAILINFO_CMD_QUIT, "");
    return step.waitState;
}

// ---------------------------------------------------------------------------
// The rows' replies

int16_t CMailHandler::FirstRecipient(const SmtpStep& step)
{
    recipientCount = recipients.GetCount();
    recipientIndex = 0;
    recipients.Rewind();
    return step.next;
}

int16_t CMailHandler::NextRecipient(const SmtpStep& step)
{
    if (++recipientIndex < recipientCount)
        return step.sendState;
    return step.next;
}

int16_t CMailHandler::Delivered(const SmtpStep& step)
{
    if (errorStep == MAILHND_ERR_NONE)
        RemoveJobFile();
    return step.next;
}

void CMailHandler::RemoveJobFile()
{
    if (current->JobFile.empty())
        return;
    if (::unlink(current->JobFile.c_str()) != 0 && errno != ENOENT)
        Log("MAILHND_ST_MESSAGE_WAITRESP: Outbox file not removed, ErrCode: " + std::to_string(errno));
    current->JobFile.clear();
}

void CMailHandler::FinishMail()
{
    mailInfo.Disconnect();
    if (current) {
        if (errorStep != MAILHND_ERR_NONE) {
            Log("MHM_STATUS_SEND_ERROR");
            current->code = MHM_STATUS_SEND_ERROR;
            current->ErrorStep = errorStep;
            current->FailClass = failClass;
        } else {
            current->code = MHM_STATUS_SEND_OK;
            current->ErrorStep = MAILHND_ERR_NONE;
            current->FailClass = MHM_FAIL_NONE;
        }
        current->SetType(MAIL_STATUS);
        pauseAfterRetry = current->Retry;
        PostMsg(GetOwner(), std::move(current));
    }
    current.reset();
    recipients.RemoveAll();
    timer.Start(kPauseMs);
    state = MAILHND_ST_PAUSE;
}

void CMailHandler::PostStatus(int16_t statusCode)
{
    auto msg = std::make_unique<CMailHandlerMsg>(MAIL_STATUS);
    msg->code = statusCode;
    PostMsg(GetOwner(), std::move(msg));
}

void CMailHandler::Log(const std::string& text)
{
    if (log)
        log->Log(kSource, text);
}
