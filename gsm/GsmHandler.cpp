#include "gsm/GsmHandler.h"

#include "core/TickSource.h"
#include "core/Version.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <exception>
#include <unistd.h>

namespace {

constexpr const char* kThreadMain = "CGsmHandler::ThreadMain";
constexpr const char* kSendSmsSource = "CGsmHandler::SendSms";
constexpr const char* kLogName = "GsmHandler";

constexpr uint32_t kCycleMs = 1000;       // idle and pause between the network checks
constexpr uint32_t kErrorPauseMs = 5000;  // before the modem is initialised again
constexpr uint32_t kAnswerMs = 1000;      // most initialisation commands
constexpr uint32_t kAbortPauseMs = 500;   // after the ESC, for the OK it may bring
constexpr uint32_t kModelPauseMs = 500;
constexpr uint32_t kPinReadyPauseMs = 1000;
constexpr uint32_t kPinEnterPauseMs = 500;
constexpr uint32_t kPinEnterMs = 10000;
constexpr uint32_t kPinEnteredPauseMs = 1000;
constexpr uint32_t kNetSelectMs = 60000;  // the modem searches the networks again
constexpr uint32_t kNetworkMs = 2000;     // registration and signal queries
constexpr uint32_t kQuerySettleMs = 10;
constexpr int16_t kSignalTimeouts = 4;
constexpr uint32_t kSmsListMs = 5000;  // listing and deleting
constexpr uint32_t kPromptMs = 5000;
constexpr uint32_t kSmsResultMs = 60000;  // the network may take its time
constexpr uint32_t kCallListMs = 2000;
constexpr uint32_t kRingGapMs = 10000;  // a call has ended 10 s after its last ring

// Registration status: home network, roaming.
constexpr int16_t kRegHome = 1;
constexpr int16_t kRegRoaming = 5;

// The steps of InitModem.
enum : int16_t {
    kImAbort = 1,
    kImAt,
    kImEcho,
    kImModel,
    kImPinQuery,
    kImPinEnter,
    kImTextMode,
    kImCharset,
    kImStorage,
    kImStorageOk,
    kImHeader,
    kImNetSelect,
};

// The steps of CheckNetwork and ReadSms.
enum : int16_t { kNsReg = 1, kNsSignal };
enum : int16_t { kRsList = 1, kRsDelete };

// CheckCaller states.
enum : int16_t { kIcIdle = 0, kIcQuery, kIcWaitCaller, kIcWaitRing };

const char* RequestName(uint16_t type)
{
    return type == MSG_GUI_SEND_ALARM_SMS ? "MSG_GUI_SEND_ALARM_SMS" : "MSG_GUI_SEND_FREEFORMAT_SMS";
}

}  // namespace

CGsmHandler::CGsmHandler()
    : initSequence(Sequence(InitModemSteps())), networkSequence(Sequence(CheckNetworkSteps())),
      readSequence(Sequence(ReadSmsSteps())), sendSequence(Sequence(SendSmsSteps()))
{
}

CGsmHandler::~CGsmHandler()
{
    EndThread();
}

void CGsmHandler::Init(int16_t port, int32_t baudRate, const std::string& pin, bool callerCheckOn,
                       int16_t netSelectionIndex)
{
    portNumber = port;
    baud = baudRate;
    pinCode = pin;
    callerCheck = callerCheckOn;
    netSelection = netSelectionIndex;

    ResetMachines(GSMHND_ST_RESET);
    lastResponse = 0;
    modemType = 0;
    regStatus = 0;
    signal = 0;
    lastReportedSignal = 0;
    registered = false;
    pendingSms.reset();
    ringSeen = false;
    firstError = false;
    errorCycles = 0;
    refusedDeletions = 0;
    // The SMS being sent (with its attempts so far) and the queue stay: they
    // are sent after the start. So do the SMS handed on or refused: the
    // modem still has them.
}

void CGsmHandler::ThreadMain()
{
    log = std::make_unique<CLogFile>(kLogName, kLogLines);
    gsmInfo.SetLog(log.get());
    if (gsmInfo.Open(portNumber, baud) != 1) {
        SetRun(0);
        gsmInfo.SetLog(nullptr);
        log.reset();
        SetStatus(HNDRET_START_FAILED);
        return;
    }
    ResetMachines(GSMHND_ST_RESET);
    // A pass that found the line quiet sleeps until a request, a byte from
    // the modem or the nearest time-out.
    gsmInfo.SetIdleWait([this] { WaitForWork(gsmInfo.PortFd()); });
    SetStatus(HNDRET_STARTED);
    Log(kThreadMain, std::string("Startup - Ver. ") + kProductVersion);

    while (IsRunning() == 1) {
        // An unexpected failure in one pass must not end the thread: the
        // modem is set up again from scratch instead.
        try {
            RunPass();
        } catch (const std::exception& e) {
            Log(kThreadMain, std::string("Exception: ") + e.what());
            ResetMachines(GSMHND_ST_ERROR);
            SleepMs(1);
        } catch (...) {
            Log(kThreadMain, "Exception");
            ResetMachines(GSMHND_ST_ERROR);
            SleepMs(1);
        }
    }

    gsmInfo.Close();
    gsmInfo.SetIdleWait(nullptr);
    Log(kThreadMain, "Shutdown");
    gsmInfo.SetLog(nullptr);
    log.reset();
    SetStatus(HNDRET_STOPPED);
}

void CGsmHandler::ResetMachines(int16_t mainState)
{
    state = mainState;
    initSequence.Reset();
    readSequence.Reset();
    sendSequence.Reset();
    networkSequence.Reset();
    callerState = kIcIdle;
    signalTimeouts = 0;
}

void CGsmHandler::RunPass()
{
    if (std::unique_ptr<CMsg> msg = GetMsg())
        HandleInput(std::move(msg));
    StepState();
    FileResponse(gsmInfo.Receive());
}

void CGsmHandler::HandleInput(std::unique_ptr<CMsg> msg)
{
    const uint16_t type = msg->GetType();
    if (type != MSG_GUI_SEND_ALARM_SMS && type != MSG_GUI_SEND_FREEFORMAT_SMS)
        return;
    if (const auto* request = dynamic_cast<const CGsmHandlerMsg*>(msg.get())) {
        Log(kThreadMain, RequestName(type));
        QueueSms(*request);
    }
}

std::vector<std::string> CGsmHandler::SplitNumbers(const std::string& recipients)
{
    // "," and ";" end a number, and so does a line break (a number per line
    // would otherwise run into the next one); blanks inside a number are
    // dropped.
    std::vector<std::string> numbers;
    std::string number;
    const auto flush = [&] {
        if (!number.empty())
            numbers.push_back(std::move(number));
        number.clear();
    };
    for (char c : recipients) {
        if (c == ',' || c == ';' || c == '\n' || c == '\r')
            flush();
        else if (std::isspace(static_cast<unsigned char>(c)) == 0)
            number += c;
    }
    flush();
    return numbers;
}

void CGsmHandler::QueueSms(const CGsmHandlerMsg& request)
{
    // Every number gets an SMS of its own, in the request's place in line.
    for (std::string& number : SplitNumbers(request.recipients)) {
        auto sms = std::make_unique<CGsmHandlerMsg>(request.GetType());
        sms->recipients = std::move(number);
        sms->smsText = request.smsText;
        sms->requestId = request.requestId;
        sms->jobName = request.jobName;
        sms->jobFile = request.jobFile;
        sms->attempts = request.attempts;
        sms->SetPrecedence(request.GetPrecedence());
        outgoing.Add(std::move(sms));
    }
}

void CGsmHandler::FileResponse(std::unique_ptr<CGsmMsg> response)
{
    if (!response)
        return;
    const uint16_t type = response->GetType();
    switch (type) {
    case GSMRSP_MODEL:
        modemType = response->modemType;
        break;
    case GSMRSP_REG:
        regStatus = response->regStatus;
        break;
    case GSMRSP_SIGNAL:
        signal = response->smsLength;
        break;
    case GSMRSP_CALLER:
        callerNumber = response->smsNumber;
        break;
    case GSMRSP_RING:
        ringSeen = true;
        return;  // a ring is no answer to anything
    case GSMRSP_SMS: {
        // One SMS at a time; the modem keeps the others for a later listing.
        // One whose deletion was refused does not hold up those behind it.
        StoredSms listed{response->smsIndex, SmsIdentity(*response)};
        const bool refused = IsRefused(listed.index, listed.identity);
        listedSms.push_back(std::move(listed));
        if (!pendingSms && !refused)
            pendingSms = std::move(response);
        return;
    }
    default:
        break;
    }
    lastResponse = type;
}

void CGsmHandler::StepState()
{
    switch (state) {
    case GSMHND_ST_RESET:
        // After a re-initialisation neither the signal shown nor the
        // registration is known any more.
        lastReportedSignal = 0;
        registered = false;
        Report(GHM_STATUS_INITIALIZING);
        GoTo(GSMHND_ST_INIT);
        break;
    case GSMHND_ST_INIT:
        StepInit();
        break;
    case GSMHND_ST_IDLE:
        StepIdle();
        break;
    case GSMHND_ST_NETWORK:
        StepNetwork();
        break;
    case GSMHND_ST_NETWORK_PAUSE:
        if (timer.Expired())
            GoTo(GSMHND_ST_READ_SMS);
        break;
    case GSMHND_ST_READ_SMS:
        StepReadSms();
        break;
    case GSMHND_ST_SEND_SMS:
        StepSendSms();
        break;
    case GSMHND_ST_CALLER:
        StepCaller();
        break;
    case GSMHND_ST_ERROR:
        StepError();
        break;
    case GSMHND_ST_ERROR_PAUSE:
        StepErrorPause();
        break;
    case GSMHND_ST_HALTED:
        break;  // a missing or wrong PIN: only a restart leaves this state
    default:
        GoTo(GSMHND_ST_RESET);
        break;
    }
}

void CGsmHandler::StepInit()
{
    switch (InitModem()) {
    case GSMHND_IMRET_INIT_OK:
        Report(GHM_STATUS_COM_OK, 0);
        Log(kThreadMain, "GSMHND_IMRET_INIT_OK");
        firstError = false;
        errorCycles = 0;
        timer.Start(kCycleMs);
        GoTo(GSMHND_ST_IDLE);
        break;
    case GSMHND_IMRET_COM_ERROR:
        Log(kThreadMain, "GSMHND_IMRET_COM_ERROR");
        GoTo(GSMHND_ST_ERROR);
        break;
    case GSMHND_IMRET_PIN_REQUIRED:
        Log(kThreadMain, "GSMHND_IMRET_PIN_REQUIRED");
        Report(GHM_STATUS_PIN_REQUIRED);
        GoTo(GSMHND_ST_HALTED);
        break;
    case GSMHND_IMRET_PIN_ERROR:
        Log(kThreadMain, "GSMHND_IMRET_PIN_ERROR");
        Report(GHM_STATUS_PIN_ERROR);
        GoTo(GSMHND_ST_HALTED);
        break;
    default:
        break;
    }
}

void CGsmHandler::StepIdle()
{
    if (timer.Expired()) {
        GoTo(GSMHND_ST_NETWORK);
        return;
    }
    if (callerCheck && ringSeen) {
        GoTo(GSMHND_ST_CALLER);
        return;
    }
    if (!registered)
        return;  // queued SMS wait for the network
    if (!currentSms) {
        std::unique_ptr<CMsg> next = outgoing.Get();
        if (std::unique_ptr<CGsmHandlerMsg> sms = MsgCast<CGsmHandlerMsg>(next))
            currentSms = std::move(sms);  // anything else ends here
        return;
    }
    Report(GHM_STATUS_SENDING_SMS);
    Log(kThreadMain, "GHM_STATUS_SENDING_SMS");
    GoTo(GSMHND_ST_SEND_SMS);
}

void CGsmHandler::StepNetwork()
{
    switch (CheckNetwork()) {
    case GSMHND_NSRET_REGISTERED:
        if (signal != lastReportedSignal) {
            Report(GHM_STATUS_COM_OK, signal);
            lastReportedSignal = signal;
        }
        registered = true;
        timer.Start(kCycleMs);
        GoTo(GSMHND_ST_NETWORK_PAUSE);
        break;
    case GSMHND_NSRET_NOT_REGISTERED:
        if (registered) {
            Report(GHM_STATUS_COM_OK, 0);
            // "No network" is what the operator sees now; the signal is
            // shown again as soon as the modem is registered again.
            lastReportedSignal = 0;
        }
        registered = false;
        timer.Start(kCycleMs);
        GoTo(GSMHND_ST_NETWORK_PAUSE);
        break;
    case GSMHND_NSRET_COM_ERROR:
        Log(kThreadMain, "GSMHND_NSRET_COM_ERROR");
        GoTo(GSMHND_ST_ERROR);
        break;
    default:
        break;
    }
}

void CGsmHandler::StepReadSms()
{
    switch (ReadSms()) {
    case GSMHND_RSRET_SMS_READ:
        // Handed on before its deletion (ReadSms); it is gone from the modem now.
        std::erase(postedSms, deleting.identity);
        std::erase_if(refusedSms, [&](const StoredSms& s) { return s.index == deleting.index; });
        if (refusedDeletions > kRefusedDeletions)
            Log(kThreadMain, "GSMHND_RSRET_SMS_READ: deletions accepted again");
        refusedDeletions = 0;
        pendingSms.reset();
        timer.Start(kCycleMs);
        GoTo(GSMHND_ST_IDLE);
        break;
    case GSMHND_RSRET_DELETE_REFUSED:
        // Handed on all the same. It goes to the end of the refused SMS,
        // which are deleted again, in turn, when nothing else waits.
        std::erase_if(refusedSms, [&](const StoredSms& s) { return s.index == deleting.index; });
        refusedSms.push_back(deleting);
        CountRefusedDeletion();
        pendingSms.reset();
        timer.Start(kCycleMs);
        GoTo(GSMHND_ST_IDLE);
        break;
    case GSMHND_RSRET_NO_SMS:
        timer.Start(kCycleMs);
        GoTo(GSMHND_ST_IDLE);
        break;
    case GSMHND_RSRET_COM_ERROR:
        Log(kThreadMain, "GSMHND_RSRET_COM_ERROR");
        pendingSms.reset();  // still on the modem: it is listed again
        GoTo(GSMHND_ST_ERROR);
        break;
    default:
        break;
    }
}

void CGsmHandler::StepSendSms()
{
    switch (SendSms()) {
    case GSMHND_SSRET_SEND_DONE:
        Log(kThreadMain, "GSMHND_SSRET_SEND_DONE");
        // The modem has the SMS: from here on a crash must not send it again.
        RemoveJobFile();
        PostSmsResult(GHM_STATUS_SMS_SENT);
        currentSms.reset();
        lastReportedSignal = 0;
        // The result wait shares the timer with the idle state's pause: end it,
        // or received SMS would wait up to a minute after every SMS sent.
        timer.Start(0);
        GoTo(GSMHND_ST_IDLE);
        break;
    case GSMHND_SSRET_SEND_ERROR:
        Log(kThreadMain, "GSMHND_SSRET_SEND_ERROR");
        if (CountFailedAttempt())
            Log(kThreadMain, "GSMHND_SSRET_SEND_ERROR, GSMHND_MAX_TX_SMS_RETRIES");
        else
            RequeueRefusedSms();
        lastReportedSignal = 0;
        timer.Start(0);
        GoTo(GSMHND_ST_IDLE);  // the next SMS in line, the refused one in its turn
        break;
    case GSMHND_SSRET_COM_ERROR:
        // The modem stopped answering in the middle of the SMS. It stays
        // first in line and is sent again after the re-initialisation; only
        // its attempts are limited.
        Log(kThreadMain, "GSMHND_SSRET_COM_ERROR");
        if (CountFailedAttempt())
            Log(kThreadMain, "GSMHND_SSRET_COM_ERROR, GSMHND_MAX_TX_SMS_RETRIES");
        else
            Log(kThreadMain, "GSMHND_SSRET_COM_ERROR, SMS kept for the next attempt");
        GoTo(GSMHND_ST_ERROR);
        break;
    default:
        break;
    }
}

void CGsmHandler::StepCaller()
{
    switch (CheckCaller()) {
    case GSMHND_ICRET_NEW_CALLER: {
        auto caller = std::make_unique<CGsmHandlerMsg>(GSM_CALLER_ID);
        caller->smsNumber = lastReportedCaller;
        Log(kThreadMain, "GSM_CALLER_ID: " + caller->smsNumber);
        PostMsg(GetOwner(), std::move(caller));
        break;
    }
    case GSMHND_ICRET_CALL_ENDED:
        timer.Start(kCycleMs);
        GoTo(GSMHND_ST_IDLE);
        break;
    case GSMHND_ICRET_COM_ERROR:
        Log(kThreadMain, "GSMHND_ICRET_COM_ERROR");
        GoTo(GSMHND_ST_ERROR);
        break;
    default:
        break;
    }
}

void CGsmHandler::StepError()
{
    // The operator is warned at the first failure after a good
    // initialisation; the failures after it only show as time-outs.
    if (!firstError) {
        firstError = true;
        Report(GHM_STATUS_COM_WARNING);
    } else {
        Report(GHM_STATUS_COM_TIMEOUT);
    }
    timer.Start(kErrorPauseMs);
    GoTo(GSMHND_ST_ERROR_PAUSE);
}

void CGsmHandler::StepErrorPause()
{
    if (!timer.Expired())
        return;
    // Ten failed cycles after the warning alarm the operator, once.
    if (errorCycles == kFailureCycles) {
        Report(GHM_STATUS_COM_FAILURE);
        ++errorCycles;
    } else if (errorCycles < kFailureCycles) {
        ++errorCycles;
    }
    ReopenLineIfLost();
    GoTo(GSMHND_ST_RESET);
}

void CGsmHandler::ReopenLineIfLost()
{
    // A serial adapter that was unplugged stays dead on its old handle even
    // when it is back; only opening the port again reaches the modem.
    if (!gsmInfo.LineFailed() && gsmInfo.IsOpen())
        return;
    gsmInfo.Close();
    if (gsmInfo.Open(portNumber, baud) == 1)
        Log(kThreadMain, "Serial port opened again");
    else
        Log(kThreadMain, "Serial port cannot be opened");
}

CAtSequence CGsmHandler::Sequence(std::vector<CAtSequence::Row> rows)
{
    return CAtSequence(
        std::move(rows), timer, [this](CGsmMsg& request) { SendRequest(request); },
        [this](uint16_t responseType) { return Take(responseType); });
}

std::vector<CAtSequence::Row> CGsmHandler::InitModemSteps()
{
    using S = CAtSequence;
    const S::Then comError = S::End(GSMHND_IMRET_COM_ERROR);
    const auto pin = [this](CGsmMsg& request) { request.pinCode = pinCode; };
    const auto network = [this](CGsmMsg& request) { request.netSelection = netSelection; };
    const auto modelRead = [this] {
        TakeModemType();
        return S::Next(kModelPauseMs);
    };
    const auto pinRequired = [this] {
        return pinCode.empty() ? S::End(GSMHND_IMRET_PIN_REQUIRED) : S::Next(kPinEnterPauseMs);
    };
    // Only that modem is told which networks to use.
    const auto headerSet = [this] { return modemType == GSM_MODEM_LE910 ? S::Next() : S::End(GSMHND_IMRET_INIT_OK); };
    // First the ESC: a modem still waiting for the text of an SMS would take
    // every command for text; ESC ends that without sending, and a modem in
    // command mode passes over it. An OK it may bring falls into its pause.
    // The storage line is followed by the command's OK, awaited on the same
    // timer: sent on at once, the next command would take that OK for its own
    // answer, and its own OK would then cut short the network selection.
    return {
        // step        command             request  time-out       answers, in this order                 no answer
        {kImAbort, GSMCMD_ABORT_TEXT, nullptr, kAbortPauseMs, {}, S::Next()},
        {kImAt, GSMCMD_AT, nullptr, kAnswerMs, {{GSMRSP_OK, S::Next()}}, comError},
        {kImEcho, GSMCMD_ECHO_OFF, nullptr, kAnswerMs, {{GSMRSP_OK, S::Next()}}, comError},
        {kImModel, GSMCMD_MODEL, nullptr, kAnswerMs, {{GSMRSP_MODEL, modelRead}}, comError},
        {kImPinQuery,
         GSMCMD_PIN_QUERY,
         nullptr,
         kAnswerMs,
         {{GSMRSP_PIN_READY, S::GoTo(kImTextMode, kPinReadyPauseMs)}, {GSMRSP_PIN_REQUIRED, pinRequired}},
         comError},
        {kImPinEnter,
         GSMCMD_PIN_ENTER,
         pin,
         kPinEnterMs,
         {{GSMRSP_ERROR, S::End(GSMHND_IMRET_PIN_ERROR)}, {GSMRSP_OK, S::Next(kPinEnteredPauseMs)}},
         comError},
        {kImTextMode, GSMCMD_TEXT_MODE, nullptr, kAnswerMs, {{GSMRSP_OK, S::Next()}}, comError},
        {kImCharset, GSMCMD_CHARSET, nullptr, kAnswerMs, {{GSMRSP_OK, S::Next()}}, comError},
        {kImStorage, GSMCMD_STORAGE, nullptr, kAnswerMs, {{GSMRSP_STORAGE, S::Next()}}, comError},
        {kImStorageOk, S::kNoCommand, nullptr, 0, {{GSMRSP_OK, S::Next()}}, comError},
        {kImHeader, GSMCMD_SHOW_HEADER, nullptr, kAnswerMs, {{GSMRSP_OK, headerSet}}, comError},
        {kImNetSelect, GSMCMD_NET_SELECT, network, kNetSelectMs, {{GSMRSP_OK, S::End(GSMHND_IMRET_INIT_OK)}}, comError},
    };
}

void CGsmHandler::TakeModemType()
{
    if (modemType == GSM_MODEM_OTHER)
        modemType = GSM_MODEM_TC35;
    gsmInfo.SetModemType(modemType);
}

std::vector<CAtSequence::Row> CGsmHandler::CheckNetworkSteps()
{
    using S = CAtSequence;
    const auto registration = [this] { return TakeRegistration(); };
    const auto signalRead = [] {
        SleepMs(kQuerySettleMs);
        return S::End(GSMHND_NSRET_REGISTERED);
    };
    const auto signalTimedOut = [this] { return SignalTimedOut(); };
    return {
        // step     command              request  time-out    answers                         no answer
        {kNsReg, GSMCMD_REG_QUERY, nullptr, kNetworkMs, {{GSMRSP_REG, registration}}, S::End(GSMHND_NSRET_COM_ERROR)},
        {kNsSignal, GSMCMD_SIGNAL_QUERY, nullptr, kNetworkMs, {{GSMRSP_SIGNAL, signalRead}}, signalTimedOut},
    };
}

CAtSequence::Then CGsmHandler::TakeRegistration()
{
    SleepMs(kQuerySettleMs);
    if (regStatus != kRegHome && regStatus != kRegRoaming)
        return CAtSequence::End(GSMHND_NSRET_NOT_REGISTERED);
    signalTimeouts = 0;
    return CAtSequence::Next();
}

CAtSequence::Then CGsmHandler::SignalTimedOut()
{
    // The signal query is asked again; the fourth silence in a row is a
    // communication failure.
    if (++signalTimeouts >= kSignalTimeouts)
        return CAtSequence::End(GSMHND_NSRET_COM_ERROR);
    return CAtSequence::GoTo(kNsSignal);
}

bool CGsmHandler::ChooseDeletion()
{
    if (pendingSms) {
        deleting = {pendingSms->smsIndex, SmsIdentity(*pendingSms)};
        return true;
    }
    if (refusedSms.empty())
        return false;
    deleting = refusedSms.front();
    return true;
}

void CGsmHandler::ForgetGoneRefusals()
{
    std::erase_if(refusedSms, [&](const StoredSms& refused) {
        return std::none_of(listedSms.begin(), listedSms.end(), [&](const StoredSms& listed) {
            return listed.index == refused.index && listed.identity == refused.identity;
        });
    });
}

bool CGsmHandler::IsRefused(uint16_t index, const std::string& identity) const
{
    return std::any_of(refusedSms.begin(), refusedSms.end(), [&](const StoredSms& refused) {
        return refused.index == index && refused.identity == identity;
    });
}

void CGsmHandler::CountRefusedDeletion()
{
    // Once the operator has been alarmed the deletions are tried quietly,
    // until one is accepted.
    if (refusedDeletions > kRefusedDeletions)
        return;
    ++refusedDeletions;
    Log(kThreadMain, "GSMHND_RSRET_DELETE_REFUSED: " + std::to_string(deleting.index));
    if (refusedDeletions < kRefusedDeletions)
        return;
    Log(kThreadMain, "GSMHND_RSRET_DELETE_REFUSED, GHM_STATUS_COM_FAILURE");
    Report(GHM_STATUS_COM_FAILURE);
    ++refusedDeletions;
    // The failure took the signal's place on screen: the next check shows it again.
    lastReportedSignal = 0;
}

std::string CGsmHandler::SmsIdentity(const CGsmMsg& sms)
{
    return sms.smsNumber + '\x1f' + sms.smsDate + '\x1f' + sms.smsTime + '\x1f' + sms.smsText;
}

void CGsmHandler::PostReceivedSms(const CGsmMsg& sms)
{
    const std::string identity = SmsIdentity(sms);
    if (std::find(postedSms.begin(), postedSms.end(), identity) != postedSms.end()) {
        Log(kThreadMain, "GSM_SMS_RECEIVED already handed on: " + sms.smsNumber);
        return;
    }
    postedSms.push_back(identity);
    if (postedSms.size() > kPostedSmsKept)
        postedSms.pop_front();
    auto received = std::make_unique<CGsmHandlerMsg>(GSM_SMS_RECEIVED);
    received->smsNumber = sms.smsNumber;
    received->smsDate = sms.smsDate;
    received->smsTime = sms.smsTime;
    received->smsText = sms.smsText;
    Log(kThreadMain, "GSM_SMS_RECEIVED: " + received->smsNumber);
    PostMsg(GetOwner(), std::move(received));
}

std::vector<CAtSequence::Row> CGsmHandler::ReadSmsSteps()
{
    using S = CAtSequence;
    const S::Then comError = S::End(GSMHND_RSRET_COM_ERROR);
    const auto list = [this](CGsmMsg&) { listedSms.clear(); };
    const auto listed = [this] { return ListingDone(); };
    // The owner journals the alarm before PostMsg returns, so the SMS may be
    // deleted from the modem once it is handed on. A refused SMS deleted
    // again (nothing pending) was handed on when it was read.
    const auto handOnAndDelete = [this](CGsmMsg& request) {
        if (pendingSms)
            PostReceivedSms(*pendingSms);
        request.smsIndex = deleting.index;
    };
    // An ERROR to the deletion is an answer, not a silent modem: no reason
    // to set the modem up again.
    return {
        // step     command            request          time-out    answers, in this order                 no answer
        {kRsList, GSMCMD_LIST_SMS, list, kSmsListMs, {{GSMRSP_OK, listed}}, comError},
        {kRsDelete,
         GSMCMD_DELETE_SMS,
         handOnAndDelete,
         kSmsListMs,
         {{GSMRSP_OK, S::End(GSMHND_RSRET_SMS_READ)}, {GSMRSP_ERROR, S::End(GSMHND_RSRET_DELETE_REFUSED)}},
         comError},
    };
}

CAtSequence::Then CGsmHandler::ListingDone()
{
    // The listing is complete: the first SMS not refused before is pending
    // by now.
    ForgetGoneRefusals();
    return ChooseDeletion() ? CAtSequence::Next() : CAtSequence::End(GSMHND_RSRET_NO_SMS);
}

std::vector<CAtSequence::Row> CGsmHandler::SendSmsSteps()
{
    using S = CAtSequence;
    const auto number = [this](CGsmMsg& request) {
        Log(kSendSmsSource, "GSMHND_SSST_DEST_SEND");
        request.destNumber = currentSms->recipients;
    };
    const auto text = [this](CGsmMsg& request) { request.smsText = currentSms->smsText; };
    // The way on, with its log line.
    const auto logged = [this](const char* line, S::Then then) {
        return [this, line, then] {
            Log(kSendSmsSource, line);
            return then;
        };
    };
    // The text goes out the moment the prompt is there. An ERROR instead of
    // the prompt is the modem refusing the number: an answer, not a
    // communication failure, and it costs one attempt only.
    return {
        {GSMHND_SSST_DEST_SEND,
         GSMCMD_SEND_SMS,
         number,
         kPromptMs,
         {{GSMRSP_PROMPT, logged("GSMHND_SSST_PROMPT_WAIT: Prompt received...", S::SendNow(GSMHND_SSST_RESULT_WAIT))},
          {GSMRSP_ERROR, logged("GSMHND_SSST_PROMPT_WAIT: SMS Message send ERROR..", S::End(GSMHND_SSRET_SEND_ERROR))}},
         logged("GSMHND_SSST_PROMPT_WAIT: Prompt timeout...", S::End(GSMHND_SSRET_COM_ERROR))},
        {GSMHND_SSST_RESULT_WAIT,
         GSMCMD_SMS_TEXT,
         text,
         kSmsResultMs,
         {{GSMRSP_SMS_SENT, logged("GSMHND_SSST_RESULT_WAIT: SMS Message sent OK..", S::End(GSMHND_SSRET_SEND_DONE))},
          {GSMRSP_ERROR, logged("GSMHND_SSST_RESULT_WAIT: SMS Message send ERROR..", S::End(GSMHND_SSRET_SEND_ERROR))}},
         logged("GSMHND_SSST_RESULT_WAIT: SMS Message result timeout..", S::End(GSMHND_SSRET_COM_ERROR))},
    };
}

int16_t CGsmHandler::SendSms()
{
    if (!currentSms) {
        sendSequence.Reset();
        return GSMHND_SSRET_SEND_DONE;
    }
    return sendSequence.Step();
}

int16_t CGsmHandler::CheckCaller()
{
    switch (callerState) {
    case kIcIdle:
        ringSeen = false;
        lastReportedCaller.clear();
        callerState = kIcQuery;
        return GSMHND_ICRET_BUSY;
    case kIcQuery:
        Command(GSMCMD_CALL_LIST, kCallListMs);
        callerState = kIcWaitCaller;
        return GSMHND_ICRET_BUSY;
    case kIcWaitCaller:
        if (Take(GSMRSP_CALLER)) {
            timer.Start(kRingGapMs);
            callerState = kIcWaitRing;
            if (callerNumber == lastReportedCaller)
                return GSMHND_ICRET_BUSY;
            lastReportedCaller = callerNumber;
            return GSMHND_ICRET_NEW_CALLER;
        }
        if (Take(GSMRSP_OK)) {
            // A bare OK: the caller hung up before the list was asked for.
            // That is a short call, not a modem that stopped answering.
            timer.Start(kRingGapMs);
            callerState = kIcWaitRing;
            return GSMHND_ICRET_BUSY;
        }
        if (timer.Expired()) {
            callerState = kIcIdle;
            return GSMHND_ICRET_COM_ERROR;
        }
        return GSMHND_ICRET_BUSY;
    case kIcWaitRing:
        if (ringSeen) {
            ringSeen = false;
            callerState = kIcQuery;
            return GSMHND_ICRET_BUSY;
        }
        if (timer.Expired()) {
            callerState = kIcIdle;
            return GSMHND_ICRET_CALL_ENDED;
        }
        return GSMHND_ICRET_BUSY;
    default:
        callerState = kIcIdle;
        return GSMHND_ICRET_BUSY;
    }
}

void CGsmHandler::SendRequest(CGsmMsg& request)
{
    // What is still filed belongs to the previous command; a late answer to
    // it must not be taken for the answer to this one.
    lastResponse = 0;
    gsmInfo.Send(request);
}

void CGsmHandler::Command(uint16_t type, uint32_t timeoutMs)
{
    CGsmMsg request(type);
    SendRequest(request);
    timer.Start(timeoutMs);
}

bool CGsmHandler::Take(uint16_t responseType)
{
    if (lastResponse != responseType)
        return false;
    lastResponse = 0;
    return true;
}

bool CGsmHandler::CountFailedAttempt()
{
    if (!currentSms)
        return true;
    ++currentSms->attempts;
    if (currentSms->attempts <= GSMHND_MAX_TX_SMS_RETRIES)
        return false;
    PostSmsResult(GHM_STATUS_SMS_FAILED);
    currentSms.reset();
    return true;
}

void CGsmHandler::RequeueRefusedSms()
{
    if (!currentSms)
        return;
    // New SMS go ahead of it: it drops to the precedence of a left-over (a
    // new emergency alarm's 3 to 1, a new technical alarm's 2 to 0), once;
    // free-form SMS and left-overs are there already.
    const uint8_t precedence = currentSms->GetPrecedence();
    if (precedence >= 2)
        currentSms->SetPrecedence(static_cast<uint8_t>(precedence - 2));
    Log(kThreadMain, "GSMHND_SSRET_SEND_ERROR, SMS queued again: attempt " + std::to_string(currentSms->attempts));
    outgoing.Add(std::move(currentSms));
}

void CGsmHandler::RemoveJobFile()
{
    if (!currentSms || currentSms->jobFile.empty())
        return;
    if (::unlink(currentSms->jobFile.c_str()) != 0 && errno != ENOENT) {
        const int error = errno;
        Log(kSendSmsSource, "GSMHND_SSRET_SEND_DONE: Outbox file not removed, ErrCode: " + std::to_string(error) +
                                " (" + std::strerror(error) + ")");
    }
    currentSms->jobFile.clear();
}

void CGsmHandler::PostSmsResult(int16_t code)
{
    // Free-form requests are told apart by their request id, alarm SMS by
    // their outbox job.
    if (!currentSms)
        return;
    auto result = std::make_unique<CGsmHandlerMsg>(GSM_STATUS);
    result->code = code;
    result->requestId = currentSms->requestId;
    result->recipients = currentSms->recipients;
    result->jobName = currentSms->jobName;
    result->attempts = currentSms->attempts;
    PostMsg(GetOwner(), std::move(result));
}

void CGsmHandler::Report(int16_t code, int16_t signalPercent)
{
    auto report = std::make_unique<CGsmHandlerMsg>(GSM_STATUS);
    report->code = code;
    report->signal = signalPercent;
    PostMsg(GetOwner(), std::move(report));
}

void CGsmHandler::Log(const char* source, const std::string& text)
{
    if (log)
        log->Log(source, text);
}
