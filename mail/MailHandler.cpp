#include "mail/MailHandler.h"

#include "core/TickSource.h"
#include "core/Version.h"

#include <exception>

namespace {

constexpr const char* kLogName = "MailHandler";
constexpr int16_t kLogLines = 1000;
constexpr const char* kSource = "MailHandler::ThreadMain";

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

    bool failed = false;
    try {
        while (IsRunning() == 1) {
            SleepMs(1);
            RunPass();
        }
    } catch (const std::exception& e) {
        Log(std::string("Exception: ") + e.what());
        failed = true;
    }

    Log("Shutdown");
    // A mail in progress is abandoned without QUIT and without a result; the
    // connection closes and the next start begins afresh.
    ResetState();
    CloseLog();
    if (failed)
        SetRun(0);
    SetStatus(failed ? HNDRET_STOP_FAILED : HNDRET_STOPPED);
}

void CMailHandler::RunPass()
{
    StepState();
    const int16_t reply = mailInfo.Receive();
    // Class 5 (no reply number) is no answer to anything; it leaves the last
    // reply as it was.
    if (reply >= MAILINFO_RESP_POSITIVE && reply <= MAILINFO_RESP_PERMANENT)
        lastReply = reply;
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
        return MAILHND_WRRET_OTHER;
    }
    return MAILHND_WRRET_PENDING;
}

// ---------------------------------------------------------------------------
// State machine

void CMailHandler::StepState()
{
    switch (state) {
    case MAILHND_ST_IDLE:
        TakeRequest();
        break;
    case MAILHND_ST_CONNECT:
        if (mailInfo.Connect(current->Server, current->Port) != 0) {
            state = MAILHND_ST_CONNECT_WAITRESP;
        } else {
            Log("MAILHND_ST_CONNECT: Connect Error");
            errorStep = MAILHND_ERR_CONNECT;
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
    errorStep = failStep;
    state = failState;
}

void CMailHandler::SendNextRecipient()
{
    const std::string* address = recipients.GetNext();
    if (address == nullptr) {
        // A recipients text of blanks only leaves no address to send; the
        // mail fails as if the server had refused the recipient.
        Log("MAILHND_ST_RCPT_TO: No Recipient");
        errorStep = MAILHND_ERR_RCPT_TO;
        state = MAILHND_ST_QUIT;
        return;
    }
    mailInfo.Send(MAILINFO_CMD_RCPT_TO, *address);
    state = MAILHND_ST_RCPT_TO_WAITRESP;
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
        } else {
            current->code = MHM_STATUS_SEND_OK;
            current->ErrorStep = MAILHND_ERR_NONE;
        }
        current->SetType(MAIL_STATUS);
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
