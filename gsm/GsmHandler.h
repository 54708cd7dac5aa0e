#pragma once
// The worker thread that owns the GSM modem. It initialises the modem, checks
// registration and signal about once a second, fetches received SMS one at a
// time (each is handed to the owner, which journals it, and then deleted from
// the modem), reports the numbers of incoming calls (test calls of lift
// telephones; they are never answered) and sends the SMS that the GSM manager
// queues, retrying failed ones. Everything it learns goes to its owner as
// CGsmHandlerMsg messages.
//
// An SMS whose deletion the modem refuses has been handed on all the same; it
// is passed over while other SMS wait, so that it cannot hold them up, and
// deleted again when nothing else waits. Deletions that keep being refused
// alarm the operator: the modem's store fills up and new alarms find no room.
//
// Every initialisation begins with ESC: a modem left waiting for the text of
// an SMS (its prompt lost, or the handler stopped before the text) would take
// every command for text.
//
// An SMS being sent when the modem stops answering is not lost: it stays
// first in line and is sent again once the modem has been initialised again,
// within the same limit of four attempts. It also survives a stop and start
// of the handler, like the SMS still waiting in the queue.
//
// An SMS that the modem refuses ("ERROR") goes back into the queue behind
// the new SMS, at the precedence of a left-over, so that one number the
// network will not take cannot hold up the alarms behind it; it keeps its
// attempts. The queue sends a new alarm's SMS ahead of those tried again or
// left from before a restart, and an emergency alarm's ahead of a technical
// one's (the precedence the GSM manager gives each request).
//
// Every SMS gets its result (sent or failed), alarm SMS with the name of
// their outbox job. The job's file is removed the moment the modem answers
// "+CMGS:", before the result is posted: a crash after that point must not
// send the SMS again at the next start.

#include "core/Handler.h"
#include "core/IntervalTimer.h"
#include "core/LogFile.h"
#include "core/MsgQueue.h"
#include "gsm/AtSequence.h"
#include "gsm/GsmInfo.h"
#include "gsm/GsmMsg.h"
#include "messages/GsmHandlerMsg.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

// Main states.
constexpr int16_t GSMHND_ST_RESET = 0;
constexpr int16_t GSMHND_ST_INIT = 1;
constexpr int16_t GSMHND_ST_IDLE = 2;
constexpr int16_t GSMHND_ST_NETWORK = 3;
constexpr int16_t GSMHND_ST_NETWORK_PAUSE = 4;
constexpr int16_t GSMHND_ST_READ_SMS = 5;
constexpr int16_t GSMHND_ST_SEND_SMS = 6;
constexpr int16_t GSMHND_ST_CALLER = 7;
constexpr int16_t GSMHND_ST_ERROR = 8;
constexpr int16_t GSMHND_ST_ERROR_PAUSE = 9;
constexpr int16_t GSMHND_ST_HALTED = 10;

// InitModem results.
constexpr int16_t GSMHND_IMRET_BUSY = 0;
constexpr int16_t GSMHND_IMRET_INIT_OK = 1;
constexpr int16_t GSMHND_IMRET_COM_ERROR = 2;
constexpr int16_t GSMHND_IMRET_PIN_REQUIRED = 3;
constexpr int16_t GSMHND_IMRET_PIN_ERROR = 4;

// CheckNetwork results.
constexpr int16_t GSMHND_NSRET_BUSY = 0;
constexpr int16_t GSMHND_NSRET_REGISTERED = 1;
constexpr int16_t GSMHND_NSRET_NOT_REGISTERED = 2;
constexpr int16_t GSMHND_NSRET_COM_ERROR = 3;

// ReadSms results.
constexpr int16_t GSMHND_RSRET_BUSY = 0;
constexpr int16_t GSMHND_RSRET_SMS_READ = 1;
constexpr int16_t GSMHND_RSRET_NO_SMS = 2;
constexpr int16_t GSMHND_RSRET_COM_ERROR = 3;
constexpr int16_t GSMHND_RSRET_DELETE_REFUSED = 4;

// SendSms results and states.
constexpr int16_t GSMHND_SSRET_BUSY = 0;
constexpr int16_t GSMHND_SSRET_SEND_DONE = 1;
constexpr int16_t GSMHND_SSRET_SEND_ERROR = 2;
constexpr int16_t GSMHND_SSRET_COM_ERROR = 3;
// The steps of SendSms: the number goes out and the prompt is awaited, then
// the text goes out and the result is awaited.
constexpr int16_t GSMHND_SSST_IDLE = 0;
constexpr int16_t GSMHND_SSST_DEST_SEND = 1;
constexpr int16_t GSMHND_SSST_PROMPT_WAIT = 2;
constexpr int16_t GSMHND_SSST_RESULT_WAIT = 3;

// CheckCaller results.
constexpr int16_t GSMHND_ICRET_BUSY = 0;
constexpr int16_t GSMHND_ICRET_NEW_CALLER = 1;
constexpr int16_t GSMHND_ICRET_CALL_ENDED = 2;
constexpr int16_t GSMHND_ICRET_COM_ERROR = 3;

// Retries after the first attempt to send one SMS.
constexpr int16_t GSMHND_MAX_TX_SMS_RETRIES = 3;

class CGsmHandler : public CHandler {
public:
    static constexpr int16_t kLogLines = 2000;
    // Failed cycles after the warning before the operator is alarmed.
    static constexpr int16_t kFailureCycles = 10;
    // Deletions refused in a row before the operator is alarmed.
    static constexpr int16_t kRefusedDeletions = kFailureCycles;

    CGsmHandler();
    ~CGsmHandler() override;

    // Before Start. The outgoing queue and the SMS being sent are kept.
    void Init(int16_t port, int32_t baudRate, const std::string& pin, bool callerCheck, int16_t netSelection);

    // The single numbers of a recipients text: "," ";" and line breaks end a
    // number, blanks inside one are dropped, empty entries give none.
    static std::vector<std::string> SplitNumbers(const std::string& recipients);

protected:
    void ThreadMain() override;
    const char* ThreadName() const override { return "GsmHandler"; }

private:
    // The main state and every sub-machine back to their start.
    void ResetMachines(int16_t mainState);
    void RunPass();
    void HandleInput(std::unique_ptr<CMsg> msg);
    void QueueSms(const CGsmHandlerMsg& request);
    void FileResponse(std::unique_ptr<CGsmMsg> response);

    void StepState();
    void StepInit();
    void StepIdle();
    void StepNetwork();
    void StepReadSms();
    void StepSendSms();
    void StepCaller();
    void StepError();
    void StepErrorPause();

    // The command sequences, one table each, and their runs (one step per pass).
    std::vector<CAtSequence::Row> InitModemSteps();
    std::vector<CAtSequence::Row> CheckNetworkSteps();
    std::vector<CAtSequence::Row> ReadSmsSteps();
    std::vector<CAtSequence::Row> SendSmsSteps();
    CAtSequence Sequence(std::vector<CAtSequence::Row> rows);
    int16_t InitModem() { return initSequence.Step(); }
    int16_t CheckNetwork() { return networkSequence.Step(); }
    int16_t ReadSms() { return readSequence.Step(); }
    // The modem's answer to the model query: an unknown one is driven like
    // the first one the station knew.
    void TakeModemType();
    // After the registration status: on to the signal query when registered.
    CAtSequence::Then TakeRegistration();
    // A signal query without answer is asked again, up to a limit.
    CAtSequence::Then SignalTimedOut();
    // After a complete listing: the deletion to make, if any.
    CAtSequence::Then ListingDone();
    // What is deleted next after a listing: the first SMS not refused
    // before, else the first refused one that is still there. False: nothing.
    bool ChooseDeletion();
    // Forgets the refused SMS that the listing no longer shows.
    void ForgetGoneRefusals();
    bool IsRefused(uint16_t index, const std::string& identity) const;
    // Counts a refused deletion; the operator is alarmed once at the limit.
    void CountRefusedDeletion();
    // Hands a read SMS to the owner, once.
    void PostReceivedSms(const CGsmMsg& sms);
    static std::string SmsIdentity(const CGsmMsg& sms);
    int16_t SendSms();
    int16_t CheckCaller();

    // Sends the request after clearing the last response, which belongs to
    // the previous command.
    void SendRequest(CGsmMsg& request);
    // Sends a request of the type and starts the timer.
    void Command(uint16_t type, uint32_t timeoutMs);
    // True (and the response consumed) when it is the last response.
    bool Take(uint16_t responseType);

    // Counts a failed attempt of the current SMS; drops it (with its failure
    // result) once it has had all its attempts. True when it was dropped.
    bool CountFailedAttempt();
    // A refused SMS that has attempts left goes back into the queue behind
    // the new ones.
    void RequeueRefusedSms();
    // The modem has taken the current SMS: its outbox file goes.
    void RemoveJobFile();
    void PostSmsResult(int16_t code);
    void Report(int16_t code, int16_t signalPercent = 0);
    void ReopenLineIfLost();
    void GoTo(int16_t newState) { state = newState; }
    void Log(const char* source, const std::string& text);

    // Settings.
    int16_t portNumber = 0;
    int32_t baud = 9600;
    std::string pinCode;
    bool callerCheck = false;
    int16_t netSelection = 0;

    CGsmInfo gsmInfo;
    std::unique_ptr<CLogFile> log;

    int16_t state = GSMHND_ST_RESET;
    int16_t callerState = 0;
    int16_t signalTimeouts = 0;
    CIntervalTimer timer;
    uint16_t lastResponse = 0;

    int16_t modemType = 0;
    int16_t regStatus = 0;
    int16_t signal = 0;
    int16_t lastReportedSignal = 0;
    bool registered = false;

    // Single-number SMS by precedence; each counts its failed attempts.
    CMsgQueue outgoing;
    std::unique_ptr<CGsmHandlerMsg> currentSms;
    std::unique_ptr<CGsmMsg> pendingSms;
    // SMS handed on before their deletion was confirmed (number, time stamp
    // and text): one that is listed again because the delete's answer was
    // lost is deleted, not handed on twice.
    std::deque<std::string> postedSms;
    static constexpr std::size_t kPostedSmsKept = 32;
    // A stored SMS by its place and identity.
    struct StoredSms {
        uint16_t index = 0;
        std::string identity;
    };
    // Every SMS of the listing under way.
    std::vector<StoredSms> listedSms;
    // SMS handed on whose deletion the modem refused; each is forgotten once
    // a listing no longer shows it.
    std::vector<StoredSms> refusedSms;
    // The deletion under way.
    StoredSms deleting;
    int16_t refusedDeletions = 0;

    std::string callerNumber;
    std::string lastReportedCaller;
    bool ringSeen = false;

    bool firstError = false;
    int16_t errorCycles = 0;

    // After the timer: they share it.
    CAtSequence initSequence;
    CAtSequence networkSequence;
    CAtSequence readSequence;
    CAtSequence sendSequence;
};
