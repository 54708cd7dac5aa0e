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
        SleepMs(1);
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

void CMailHandler::BeforeMailStep(int16_t, const CMailHandlerMsg&) {}

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

void CMailHandler::StepState()
{
    if (GiveWayToNewMail())
        return;
    if (current)
        BeforeMailStep(state, *current);
    switch (state) {
    case MAILHND_ST_IDLE:
        TakeRequest();
        break;
    case MAILHND_ST_CONNECT:
        if (mailInfo.Connect(current->Server, current->Port) != 0) {
            state = MAILHND_ST_CONNECT_WAITRESP;
        } else {
            // A name that does not resolve may be a name server that is down
            // for the moment as much as a wrong name.
            Log("MAILHND_ST_CONNECT: Connect Error");
            Fail(MAILHND_ERR_CONNECT, MHM_FAIL_TRANSIENT);
            state = MAILHND_ST_DISCONNECT;
        }
        break;
    case MAILHND_ST_CONNECT_WAITRESP:
        OnWait(WaitResponse(MAILINFO_RESP_POSITIVE, kReplyTimeoutMs), MAILHND_ST_HELO,
               "MAILHND_ST_CONNECT_WAITRESP: Error/Timeout", MAILHND_ERR_CONNECT, MAILHND_ST_DISCONNECT);
        break;
    case MAILHND_ST_HELO:
        PostStatus(MHM_STATUS_AUTHORIZING);
        mailInfo.Send(MAILINFO_CMD_HELO, current->HeloName);
        state = MAILHND_ST_HELO_WAITRESP;
        break;
    case MAILHND_ST_HELO_WAITRESP:
        OnWait(WaitResponse(MAILINFO_RESP_POSITIVE, kReplyTimeoutMs), MAILHND_ST_MAIL_FROM,
               "MAILHND_ST_HELO_WAITRESP: Error/Timeout", MAILHND_ERR_HELO, MAILHND_ST_QUIT);
        break;
    case MAILHND_ST_MAIL_FROM:
        mailInfo.Send(MAILINFO_CMD_MAIL_FROM, current->Sender);
        state = MAILHND_ST_MAIL_FROM_WAITRESP;
        break;
    case MAILHND_ST_MAIL_FROM_WAITRESP:
        OnWait(WaitResponse(MAILINFO_RESP_POSITIVE, kReplyTimeoutMs), MAILHND_ST_RCPT_TO,
               "MAILHND_ST_MAIL_FROM_WAITRESP: Error/Timeout", MAILHND_ERR_MAIL_FROM, MAILHND_ST_QUIT);
        if (state == MAILHND_ST_RCPT_TO) {
            recipientCount = recipients.GetCount();
            recipientIndex = 0;
            recipients.Rewind();
        }
        break;
    case MAILHND_ST_RCPT_TO:
        SendNextRecipient();
        break;
    case MAILHND_ST_RCPT_TO_WAITRESP:
        OnWait(WaitResponse(MAILINFO_RESP_POSITIVE, kReplyTimeoutMs), MAILHND_ST_RCPT_TO,
               "MAILHND_ST_RCPT_TO_WAITRESP: Error/Timeout", MAILHND_ERR_RCPT_TO, MAILHND_ST_QUIT);
        if (state == MAILHND_ST_RCPT_TO && ++recipientIndex >= recipientCount)
            state = MAILHND_ST_DATA;
        break;
    case MAILHND_ST_DATA:
        mailInfo.Send(MAILINFO_CMD_DATA, "");
        state = MAILHND_ST_DATA_WAITRESP;
        break;
    case MAILHND_ST_DATA_WAITRESP:
        OnWait(WaitResponse(MAILINFO_RESP_INTERMEDIATE, kReplyTimeoutMs), MAILHND_ST_MESSAGE,
               "MAILHND_ST_DATA_WAITRESP: Error/Timeout", MAILHND_ERR_DATA, MAILHND_ST_QUIT);
        if (state == MAILHND_ST_MESSAGE)
            PostStatus(MHM_STATUS_SENDING);
        break;
    case MAILHND_ST_MESSAGE:
        mailInfo.SendMail(*current, recipients);
        state = MAILHND_ST_MESSAGE_WAITRESP;
        break;
    case MAILHND_ST_MESSAGE_WAITRESP:
        OnWait(WaitResponse(MAILINFO_RESP_POSITIVE, kReplyTimeoutMs), MAILHND_ST_QUIT,
               "MAILHND_ST_MESSAGE_WAITRESP: Error/Timeout", MAILHND_ERR_MESSAGE, MAILHND_ST_QUIT);
        if (state == MAILHND_ST_QUIT && errorStep == MAILHND_ERR_NONE)
            RemoveJobFile();
        break;
    case MAILHND_ST_QUIT:
        Quit();
        break;
    case MAILHND_ST_QUIT_WAITRESP:
        OnWait(WaitResponse(MAILINFO_RESP_POSITIVE, kReplyTimeoutMs), MAILHND_ST_DISCONNECT,
               "MAILHND_ST_QUIT_WAITRESP: Error/Timeout", MAILHND_ERR_QUIT, MAILHND_ST_DISCONNECT);
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
    auto* request = dynamic_cast<CMailHandlerMsg*>(msg.get());
    if (request == nullptr)
        return;
    msg.release();
    current.reset(request);

    PostStatus(MHM_STATUS_CONNECTING);
    errorStep = MAILHND_ERR_NONE;
    failClass = MHM_FAIL_NONE;
    pauseAfterRetry = false;
    lastReply = 0;  // nothing of an earlier connection answers this mail
    waiting = 0;
    FillRecipientList(current->Recipients, recipients);
    state = MAILHND_ST_CONNECT;
}

void CMailHandler::OnWait(int16_t result, int16_t next, const char* failText, uint16_t failStep, int16_t failState)
{
    if (result == MAILHND_WRRET_PENDING)
        return;
    if (result == MAILHND_WRRET_EXPECTED) {
        state = next;
        return;
    }
    Log(failText);
    uint8_t failureClass = MHM_FAIL_TRANSIENT;  // no reply in time, or the connection is gone
    if (result == MAILHND_WRRET_OTHER) {
        if (endingReply == MAILINFO_RESP_PERMANENT)
            failureClass = MHM_FAIL_PERMANENT;
        else if (endingReply == MAILINFO_RESP_POSITIVE || endingReply == MAILINFO_RESP_INTERMEDIATE)
            failureClass = MHM_FAIL_PERMANENT;  // out of place: the server would answer the same again
    }
    if (failStep == MAILHND_ERR_QUIT && errorStep == MAILHND_ERR_NONE)
        failureClass = MHM_FAIL_PERMANENT;  // the server has taken the message: never send it twice
    Fail(failStep, failureClass);
    state = failState;
}

void CMailHandler::Fail(uint16_t step, uint8_t failureClass)
{
    if (errorStep == MAILHND_ERR_NONE)
        failClass = failureClass;
    errorStep = step;
}

void CMailHandler::SendNextRecipient()
{
    const std::string* address = recipients.GetNext();
    if (address == nullptr) {
        // A recipients text of blanks only leaves no address to send; the
        // mail fails as if the server had refused the recipient.
        Log("MAILHND_ST_RCPT_TO: No Recipient");
        Fail(MAILHND_ERR_RCPT_TO, MHM_FAIL_PERMANENT);
        state = MAILHND_ST_QUIT;
        return;
    }
    mailInfo.Send(MAILINFO_CMD_RCPT_TO, *address);
    state = MAILHND_ST_RCPT_TO_WAITRESP;
}

void CMailHandler::RemoveJobFile()
{
    if (current->JobFile.empty())
        return;
    if (::unlink(current->JobFile.c_str()) != 0 && errno != ENOENT)
        Log("MAILHND_ST_MESSAGE_WAITRESP: Outbox file not removed, ErrCode: " + std::to_string(errno));
    current->JobFile.clear();
}

void CMailHandler::Quit()
{
    // QUIT cannot travel over a connection the server has closed; waiting 30
    // seconds for its reply would only replace the step that really failed
    // by step 6.
    if (mailInfo.IsConnectionLost()) {
        Log("MAILHND_ST_QUIT: Connection closed");
        state = MAILHND_ST_DISCONNECT;
        return;
    }
    mailInfo.Send(MAILINFO_CMD_QUIT, "");
    state = MAILHND_ST_QUIT_WAITRESP;
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

void CMailHandler::PostStatus(int16_t status)
{
    auto msg = std::make_unique<CMailHandlerMsg>(MAIL_STATUS);
    msg->code = status;
    PostMsg(GetOwner(), std::move(msg));
}

void CMailHandler::Log(const std::string& text)
{
    if (log)
        log->Log(kSource, text);
}
