#pragma once
// The worker thread that delivers mails. The mail manager queues the requests;
// the handler runs the whole SMTP dialogue for one at a time as a polled state
// machine, one step per pass of its loop, reports its progress, and hands the
// request back as the result, a failure with its class (worth another attempt
// or not). One mail at a time and a pause of 5 seconds after each; the handler
// itself never tries a mail twice, the manager decides about that. A mail the
// manager hands again (Retry) gives way to a new mail waiting in the queue:
// before its data has gone out it is put aside, and the pause after it ends.

#include "core/Handler.h"
#include "core/IntervalTimer.h"
#include "core/LogFile.h"
#include "core/StrList.h"
#include "mail/MailInfo.h"
#include "mail/SmtpStep.h"
#include "messages/MailHandlerMsg.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Handler states.
constexpr int16_t MAILHND_ST_IDLE = 0;
constexpr int16_t MAILHND_ST_CONNECT = 1;
constexpr int16_t MAILHND_ST_CONNECT_WAITRESP = 2;
constexpr int16_t MAILHND_ST_HELO = 3;
constexpr int16_t MAILHND_ST_HELO_WAITRESP = 4;
constexpr int16_t MAILHND_ST_MAIL_FROM = 5;
constexpr int16_t MAILHND_ST_MAIL_FROM_WAITRESP = 6;
constexpr int16_t MAILHND_ST_RCPT_TO = 7;
constexpr int16_t MAILHND_ST_RCPT_TO_WAITRESP = 8;
constexpr int16_t MAILHND_ST_DATA = 9;
constexpr int16_t MAILHND_ST_DATA_WAITRESP = 10;
constexpr int16_t MAILHND_ST_MESSAGE = 11;
constexpr int16_t MAILHND_ST_MESSAGE_WAITRESP = 12;
constexpr int16_t MAILHND_ST_QUIT = 13;
constexpr int16_t MAILHND_ST_QUIT_WAITRESP = 14;
constexpr int16_t MAILHND_ST_DISCONNECT = 15;
constexpr int16_t MAILHND_ST_PAUSE = 16;

// Error steps reported in ErrorStep.
constexpr uint16_t MAILHND_ERR_NONE = 0;
constexpr uint16_t MAILHND_ERR_HELO = 1;       // no positive reply to HELO
constexpr uint16_t MAILHND_ERR_MAIL_FROM = 2;  // no positive reply to MAIL FROM
constexpr uint16_t MAILHND_ERR_RCPT_TO = 3;    // no positive reply to a RCPT TO, or no recipient
constexpr uint16_t MAILHND_ERR_DATA = 4;       // no 3xx reply to DATA
constexpr uint16_t MAILHND_ERR_MESSAGE = 5;    // no positive reply after the message
constexpr uint16_t MAILHND_ERR_QUIT = 6;       // no positive reply to QUIT
constexpr uint16_t MAILHND_ERR_CONNECT = 7;    // no connection or no positive greeting

// Results of WaitResponse.
constexpr int16_t MAILHND_WRRET_PENDING = 0;
constexpr int16_t MAILHND_WRRET_EXPECTED = 1;  // the expected reply came
constexpr int16_t MAILHND_WRRET_OTHER = 2;     // another reply came, or the connection is gone
constexpr int16_t MAILHND_WRRET_TIMEOUT = 3;

class CMailHandler : public CHandler {
public:
    static constexpr uint32_t kReplyTimeoutMs = 30000;
    static constexpr uint32_t kPauseMs = 5000;

    CMailHandler() = default;
    ~CMailHandler() override;

    // State 0, no request, no pending reply, no error. The manager calls it
    // before Start; the thread also ends with it.
    void ResetState();

    int16_t GetState() const { return state; }
    uint16_t GetErrorStep() const { return errorStep; }
    const CStrList& GetRecipientList() const { return recipients; }

    // Fills the list from a recipients text: blanks (space, tab) are skipped
    // everywhere, "," and ";" end an address, which is added as it is (also
    // when empty); the last address is added when it is not empty.
    static void FillRecipientList(const std::string& text, CStrList& list);

protected:
    void ThreadMain() override;
    const char* ThreadName() const override { return "MailHandler"; }

    // The pieces of ThreadMain, so that a test can run the loop on its own
    // thread: create the log and initialise the SMTP client (false when the
    // socket library fails), run passes, close the log.
    bool OpenLog();
    void CloseLog();
    // One pass of the loop: one state step, then one read of the server's
    // replies. A fault in the pass fails the mail in progress (reported like
    // any failed mail) instead of ending the thread.
    void RunPass();

    // Waits for a reply of the expected class: 0 pending, 1 it came, 2 another
    // reply came (or the connection is gone), 3 time-out.
    int16_t WaitResponse(int16_t expected, uint32_t timeoutMs);

    // Runs before every step of a mail in progress, with the state about to
    // be stepped. Nothing here; a test makes it fail the way a fault in the
    // dialogue would.
    virtual void BeforeMailStep(int16_t stepState, const CMailHandlerMsg& request);

private:
    void StepState();
    // A new mail waits while a retry is in progress: true when the step was
    // given up for it.
    bool GiveWayToNewMail();
    void SetAside();
    void FailAfterFault(const std::string& reason);
    void TakeRequest();
    // One pass of a row of the dialogue: its send in its send state, one look
    // for its reply in its wait state.
    void RunStep(const SmtpStep& step);
    // Records the failed step; the first failure of a mail decides its class.
    void Fail(uint16_t step, uint8_t failureClass);

    // What the rows send.
    int16_t Connect(const SmtpStep& step);
    int16_t SendHelo(const SmtpStep& step);
    int16_t SendMailFrom(const SmtpStep& step);
    int16_t SendRecipient(const SmtpStep& step);
    int16_t SendData(const SmtpStep& step);
    int16_t SendMessage(const SmtpStep& step);
    int16_t SendQuit(const SmtpStep& step);
    // What the rows do on the expected reply, besides going on.
    int16_t FirstRecipient(const SmtpStep& step);
    int16_t NextRecipient(const SmtpStep& step);
    int16_t Delivered(const SmtpStep& step);

    // The dialogue of one mail, from the connection to QUIT, in the order
    // the commands go out.
    static const SmtpStep kDialogue[];

    // The server has taken the mail: its outbox file goes now, not when the
    // result has reached the manager, so that a station killed meanwhile
    // does not send it again after its restart.
    void RemoveJobFile();
    void FinishMail();
    void PostStatus(int16_t status);
    void Log(const std::string& text);

    CMailInfo mailInfo;
    CIntervalTimer timer;
    CStrList recipients;
    int16_t state = MAILHND_ST_IDLE;
    std::unique_ptr<CMailHandlerMsg> current;
    int16_t lastReply = 0;
    int16_t waiting = 0;
    uint16_t errorStep = MAILHND_ERR_NONE;
    uint8_t failClass = MHM_FAIL_NONE;
    // The reply class that ended the last wait with "another reply"; 0 when
    // the connection was gone.
    int16_t endingReply = 0;
    // The pause runs after a retry; a new mail need not sit it out.
    bool pauseAfterRetry = false;
    // Wider than the 16-bit counts the dialogue needs: a recipients text with
    // tens of thousands of separators must not wrap the count and silently
    // drop recipients.
    std::size_t recipientCount = 0;
    std::size_t recipientIndex = 0;
    std::unique_ptr<CLogFile> log;
};
