#include "tel/TelHandler.h"

#include "core/SignalLevel.h"
#include "core/TextFormat.h"
#include "core/TextLookup.h"
#include "core/TickSource.h"
#include "core/Version.h"
#include "tel/TelComHandler.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <string_view>
#include <utility>

namespace {

constexpr const char* kThreadMain = "TelHandler::ThreadMain";
constexpr const char* kCheckSwHwInfo = "TelHandler::CheckSwHwInfo";
constexpr const char* kLogName = "TelHandler";
constexpr int16_t kLogLines = 1000;

// The dictionary text of the key formatted with integer arguments; a
// translation that does not fit them is shown as it stands (FormatKey).
template <typename... Args>
std::string KeyText(const std::string& key, Args... args)
{
    return FormatKey(key, {FormatArg(static_cast<long long>(args))...});
}

std::unique_ptr<CHandler> MakeComHandler(int16_t port, int32_t baud)
{
    auto link = std::make_unique<CTelComHandler>();
    link->SetPort(port, baud);
    return link;
}

}  // namespace

CTelHandler::CTelHandler() : linkFactory(MakeComHandler)
{
}

CTelHandler::~CTelHandler()
{
    // The thread uses every member below; it must end before they go.
    EndThread();
}

void CTelHandler::SetConfig(int16_t port, int32_t baud, int16_t rings, bool p100, bool cpc, bool voiceCalls,
                            int32_t redirectMode, int16_t selection)
{
    portNumber = port;
    baudRate = baud;
    ringCount = rings;
    p100Enabled = p100;
    cpcEnabled = cpc;
    voiceCallsEnabled = voiceCalls;
    redirect = redirectMode;
    netSelection = selection;
}

void CTelHandler::SetLinkFactory(LinkFactory factory)
{
    linkFactory = factory ? std::move(factory) : LinkFactory(MakeComHandler);
}

// ---------------------------------------------------------------------------
// Thread

void CTelHandler::ThreadMain()
{
    CreateLogAndLink();
    log->SetBackgroundWriting(true);  // the alarm road never waits for the disk
    if (!link || link->Start() != HNDRET_STARTED) {
        // Destroying the link also ends a link thread that reported too late,
        // so it does not keep the serial port when another one is chosen.
        link.reset();
        SetRun(0);
        log.reset();
        SetStatus(HNDRET_START_FAILED);
        return;
    }
    SetStatus(HNDRET_STARTED);
    Log(kThreadMain, std::string("Startup - Ver. ") + kProductVersion);
    InitParts();

    bool failed = false;
    try {
        while (IsRunning() == 1) {
            WaitForWork();
            RunPass();
        }
    } catch (const std::exception& e) {
        // Stop the link all the same: it must not run on without its owner.
        Log(kThreadMain, std::string("Exception: ") + e.what());
        failed = true;
    }

    // A link that could not be started again after a halt is already gone.
    const int16_t linkResult = link ? link->Stop() : HNDRET_STOPPED;
    Log(kThreadMain, "Shutdown");
    // The helpers borrowed the log; they must not keep it past its end.
    converter.Init(link.get(), nullptr);
    incomingCallMgr.Init(nullptr, voiceCallsEnabled, nullptr, p100Enabled, cpcEnabled, ringCount, redirect);
    log.reset();
    if (failed)
        SetRun(0);
    SetStatus(!failed && linkResult == HNDRET_STOPPED ? HNDRET_STOPPED : HNDRET_STOP_FAILED);
}

void CTelHandler::CreateLogAndLink()
{
    log = std::make_unique<CLogFile>(kLogName, kLogLines);
    // The link of an earlier run ends before a new one opens the port.
    link.reset();
    // What is left in the queue belongs to the earlier run: its link's
    // reports and requests that were never carried out. The manager sends
    // the current relay and unattended states after the start.
    while (GetMsg()) {
    }
    relayStates.clear();
    linkRestarted = false;
    linkRestartDelay = kLinkRestartFirstMs;
    link = linkFactory(portNumber, baudRate);
    if (link)
        link->SetOwner(this);
}

void CTelHandler::InitParts()
{
    state = TELHND_ST_START;
    status = 0;
    comTimeout = false;
    answerExpected = false;
    answerSlot.reset();
    interfaceType = 0;
    signalLevel = 0;
    lineControlState = OpState::Idle;
    sendReceiveState = OpState::Idle;
    sendDataState = OpState::Idle;
    readInfoState = OpState::Idle;
    resetState = OpState::Idle;
    waitAnswerState = WaitState::Idle;
    linkHalted = false;

    converter.Init(link.get(), log.get());
    incomingCallMgr.Init(this, voiceCallsEnabled, log.get(), p100Enabled, cpcEnabled, ringCount, redirect);
    outgoingCallMgr.Init(this);
}

void CTelHandler::RunPass()
{
    HandleNextMsg();
    StepState();
}

void CTelHandler::HandleNextMsg()
{
    if (std::unique_ptr<CMsg> msg = GetMsg())
        HandleMsg(std::move(msg));
}

// ---------------------------------------------------------------------------
// Messages

void CTelHandler::HandleMsg(std::unique_ptr<CMsg> msg)
{
    if (const auto* com = dynamic_cast<const CComMsg*>(msg.get()))
        HandleComMsg(*com);
    else if (const auto* tel = dynamic_cast<const CTelHandlerMsg*>(msg.get()))
        HandleTelMsg(*tel);
    // Every message ends here.
}

void CTelHandler::HandleComMsg(const CComMsg& msg)
{
    switch (msg.GetType()) {
    case LNK_STATUS:
        OnStatus(msg.GetStatusByte());
        break;
    case LNK_VALUE:
        signalLevel = SignalLevelPercent(msg.value);
        if (state != TELHND_ST_INCOMING)
            Notify(TELHND_NOTIFY_LINE_OK, "");
        break;
    case LNK_CALLER_ID:
        incomingCallMgr.SetCallerId(msg.text);
        break;
    case LNK_FRAME:
        comTimeout = false;
        // 0x97 frames answer nothing; taking them keeps them out of the slot's
        // way (their conversion is empty).
        if (answerExpected || msg.GetCommand() == CMD_DISCARD)
            answerSlot = converter.ConvertAnswer(msg);
        break;
    case LNK_TIMEOUT:
        comTimeout = true;
        break;
    case LNK_ERROR:
        Log(kThreadMain, "Serial Reception Failure");
        Notify(TELHND_NOTIFY_SERIAL_ERROR, LookupText("IDS_TELHANDLER_MSG_2"));
        OnLinkHalted();
        break;
    case LNK_SEND_ERROR:
        Log(kThreadMain, "Serial Transmission Failure");
        Notify(TELHND_NOTIFY_SERIAL_ERROR, LookupText("IDS_TELHANDLER_MSG_1"));
        OnLinkHalted();
        break;
    case TEL_SIMULATE_P100:
        PostMsg(GetOwner(), converter.DecodeP100(msg));
        break;
    default:
        break;
    }
}

void CTelHandler::HandleTelMsg(const CTelHandlerMsg& msg)
{
    switch (msg.GetType()) {
    case TEL_ABORT_VOICE_CALL:
        incomingCallMgr.AbortVoiceCall();
        break;
    case TEL_SET_RELAY:
        relayStates[msg.relayIndex] = msg.onOff;
        SetRelay(msg.relayIndex, msg.onOff);
        break;
    case TEL_SET_UNATTENDED:
        Log(kThreadMain, msg.onOff != 0 ? "TEL_SET_UNATTENDED: On" : "TEL_SET_UNATTENDED: Off");
        incomingCallMgr.SetUnattended(msg.onOff != 0);
        break;
    default:
        break;
    }
}

void CTelHandler::OnStatus(uint8_t newStatus)
{
    status = newStatus;
    comTimeout = false;
    if (linkRestarted) {
        // The modem answers on the restarted link: a later halt is tried
        // again after the first wait.
        linkRestarted = false;
        linkRestartDelay = kLinkRestartFirstMs;
    }
    if (IsRing())
        Notify(TELHND_NOTIFY_RING, "");
    else if ((status & STATUS_LINE) != 0) {
        // During a call the pane shows the call, not the line.
        if (state != TELHND_ST_INCOMING)
            Notify(TELHND_NOTIFY_LINE_OK, "");
    } else
        Notify(TELHND_NOTIFY_NO_LINE, "");
}

int16_t CTelHandler::SignalLevelPercent(int value)
{
    return SignalPercent(value);
}

void CTelHandler::Notify(int16_t code, const std::string& text)
{
    auto msg = std::make_unique<CTelHandlerMsg>(TEL_NOTIFY);
    msg->code = code;
    msg->text = text;
    msg->interfaceType = interfaceType;
    msg->signalLevel = signalLevel;
    PostMsg(GetOwner(), std::move(msg));
}

bool CTelHandler::CheckSwHwInfo(const CSwHwInfo& info)
{
    const int major = info.swVersion >> 8;
    const int minor = info.swVersion & 0xFF;
    Log(kCheckSwHwInfo, KeyText("IDS_TELHANDLER_MSG_5", info.modelId));
    Log(kCheckSwHwInfo, KeyText("IDS_TELHANDLER_MSG_6", major, minor));
    Log(kCheckSwHwInfo, KeyText("IDS_TELHANDLER_MSG_7", info.swInfo));
    Log(kCheckSwHwInfo, KeyText("IDS_TELHANDLER_MSG_8", info.hwVersion));
    Log(kCheckSwHwInfo, KeyText("IDS_TELHANDLER_MSG_9", info.interfaceType));

    if (info.modelId != kModelId) {
        Notify(TELHND_NOTIFY_HW_ERROR, LookupText("IDS_TELHANDLER_MSG_18"));
        Log(kCheckSwHwInfo, "Modem type not supported");
        return false;
    }

    interfaceType = info.interfaceType;
    // The information panel shows the newest line on top, so the heading goes last.
    const char* interfaceKey = info.interfaceType == 1   ? "IDS_TELHANDLER_MSG_10"
                               : info.interfaceType == 2 ? "IDS_TELHANDLER_MSG_11"
                                                         : "IDS_TELHANDLER_MSG_12";
    Notify(TELHND_NOTIFY_INFO, LookupText(interfaceKey));
    Notify(TELHND_NOTIFY_INFO, KeyText("IDS_TELHANDLER_MSG_13", info.hwVersion));
    Notify(TELHND_NOTIFY_INFO, KeyText("IDS_TELHANDLER_MSG_14", info.swInfo));
    Notify(TELHND_NOTIFY_INFO, KeyText("IDS_TELHANDLER_MSG_15", major, minor));
    Notify(TELHND_NOTIFY_INFO, LookupText("IDS_TELHANDLER_MSG_16"));

    if (info.swVersion < kMinSwVersion) {
        Notify(TELHND_NOTIFY_SW_ERROR, KeyText("IDS_TELHANDLER_MSG_17", kMinSwVersion >> 8, kMinSwVersion & 0xFF));
        Log(kCheckSwHwInfo, "Modem SW Version Error");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// State machine

void CTelHandler::StepState()
{
    // A call in progress ends first (the modem counts as lost, so it ends at
    // once); every other state gives way to the restart of the link.
    if (linkHalted && state != TELHND_ST_INCOMING && state != TELHND_ST_LINK_RESTART) {
        Log(kThreadMain, "TELHND_ST_LINK_RESTART: Link restart in " + std::to_string(linkRestartDelay / 1000) + " s");
        state = TELHND_ST_LINK_RESTART;
    }
    switch (state) {
    case TELHND_ST_START:
        state = TELHND_ST_READ_INFO;
        break;
    case TELHND_ST_READ_INFO:
        StepReadInfo();
        break;
    case TELHND_ST_IDLE:
        StepIdle();
        break;
    case TELHND_ST_INCOMING:
        StepIncoming();
        break;
    case TELHND_ST_OUTGOING:
        StepOutgoing();
        break;
    case TELHND_ST_RESET:
        StepReset();
        break;
    case TELHND_ST_COM_TIMEOUT:
        Notify(TELHND_NOTIFY_COM_WARNING, "");
        stateTimer.Start(kComTimeoutMs);
        state = TELHND_ST_COM_TIMEOUT_WAIT;
        break;
    case TELHND_ST_COM_TIMEOUT_WAIT:
        if (!comTimeout)
            state = TELHND_ST_START;
        else if (stateTimer.Expired())
            state = TELHND_ST_COM_ERROR;
        break;
    case TELHND_ST_COM_ERROR:
        Notify(TELHND_NOTIFY_COM_ERROR, "");
        state = TELHND_ST_COM_ERROR_WAIT;
        break;
    case TELHND_ST_COM_ERROR_WAIT:
        if (!comTimeout)
            state = TELHND_ST_START;
        break;
    case TELHND_ST_RESTART_DELAY:
        if (stateTimer.Expired())
            state = TELHND_ST_START;
        break;
    case TELHND_ST_LINK_RESTART:
        StepLinkRestart();
        break;
    default:
        state = TELHND_ST_START;
        break;
    }
}

void CTelHandler::StepReadInfo()
{
    std::unique_ptr<CSwHwInfo> info;
    const int16_t result = ReadSwHwInfo(info);
    if (result == TELHND_RSRET_OK) {
        if (info && CheckSwHwInfo(*info)) {
            if (info->swVersion > kNetSelectSwVersion)
                SetWirelessNet(netSelection);
            incomingCallMgr.ClearCallerId();
            state = TELHND_ST_IDLE;
        } else {
            // A wrong or outdated modem is read again every 20 s, so that
            // replacing it needs no restart of the station.
            stateTimer.Start(kRestartDelayMs);
            state = TELHND_ST_RESTART_DELAY;
        }
    } else if (result == TELHND_RSRET_COM_ERROR) {
        Log(kThreadMain, "TELHND_RSRET_COM_ERROR");
        state = TELHND_ST_COM_ERROR;
    }
}

void CTelHandler::StepIdle()
{
    if (comTimeout) {
        Log(kThreadMain, "TELHND_ST_IDLE: Com Timeout");
        state = TELHND_ST_COM_TIMEOUT;
    } else if (incomingCallMgr.RingDetect()) {
        Log(kThreadMain, "TELHND_ST_IDLE: No of ring signals accepted");
        Notify(TELHND_NOTIFY_INCOMING_CALL, "");
        state = TELHND_ST_INCOMING;
    } else if (IsConnected()) {
        // The line is seized although no call is handled: the modem's line
        // interface is stuck and would block every caller.
        Log(kThreadMain, "Modem Line Connect Error");
        Notify(TELHND_NOTIFY_COM_ERROR, LookupText("IDS_TELHANDLER_MSG_3"));
        state = TELHND_ST_RESET;
    }
}

void CTelHandler::StepIncoming()
{
    std::unique_ptr<CTelHandlerMsg> msg = incomingCallMgr.IncomingCall(comTimeout);
    if (!msg)
        return;
    if (msg->GetType() != TEL_CALL_DONE) {
        PostMsg(GetOwner(), std::move(msg));
        return;
    }
    Log(kThreadMain, "TELHND_ST_INCOMING: Incoming call done");
    if (IsHandsetOffHook())
        Log(kThreadMain, "TELHND_ST_INCOMING: Phone off hook after call ended");
    // After a halt of the link nothing is known of the line.
    if (!linkHalted)
        Notify(TELHND_NOTIFY_LINE_OK, "");
    state = TELHND_ST_IDLE;
}

void CTelHandler::StepOutgoing()
{
    std::unique_ptr<CTelHandlerMsg> msg = outgoingCallMgr.Poll();
    if (!msg)
        return;
    if (msg->GetType() == TEL_OUTGOING_DONE)
        state = TELHND_ST_IDLE;
    else
        PostMsg(GetOwner(), std::move(msg));
}

void CTelHandler::StepReset()
{
    switch (ResetModem()) {
    case TELHND_TRRET_OK:
        state = TELHND_ST_IDLE;
        break;
    case TELHND_TRRET_LINE_ERROR:
        Log(kThreadMain, "Modem TelComm Reset Error");
        Notify(TELHND_NOTIFY_COM_ERROR, LookupText("IDS_TELHANDLER_MSG_4"));
        stateTimer.Start(kRestartDelayMs);
        state = TELHND_ST_RESTART_DELAY;
        break;
    case TELHND_TRRET_COM_ERROR:
        Log(kThreadMain, "TELHND_TRRET_COM_ERROR");
        state = TELHND_ST_COM_ERROR;
        break;
    default:
        break;
    }
}

void CTelHandler::OnLinkHalted()
{
    if (linkHalted)
        return;
    linkHalted = true;
    // The modem cannot be reached: a call in progress ends as after a lost
    // modem, and no request waits for an answer that cannot come.
    comTimeout = true;
    if (linkRestarted) {
        // Started again, and halted before the modem ever answered.
        linkRestarted = false;
        linkRestartDelay = std::min(linkRestartDelay * 2, kLinkRestartMaxMs);
    }
    linkRestartTimer.Start(linkRestartDelay);
}

void CTelHandler::StepLinkRestart()
{
    if (!linkRestartTimer.Expired())
        return;
    Notify(TELHND_NOTIFY_LINK_RESTART, "");
    if (RestartLink()) {
        Log(kThreadMain, "TELHND_ST_LINK_RESTART: Link restarted");
        // The line is read as at a start: identification, then idle.
        InitParts();
        linkRestarted = true;
        for (const auto& [index, onOff] : relayStates)
            SetRelay(index, onOff);
        return;
    }
    linkRestartDelay = std::min(linkRestartDelay * 2, kLinkRestartMaxMs);
    Log(kThreadMain,
        "TELHND_ST_LINK_RESTART: Link restart failed, next try in " + std::to_string(linkRestartDelay / 1000) + " s");
    linkRestartTimer.Start(linkRestartDelay);
}

bool CTelHandler::RestartLink()
{
    // The halted link keeps its port open (an unplugged adapter stays dead
    // on its old handle); it must end before the port is opened anew.
    if (link)
        link->Stop();
    link.reset();
    converter.Init(nullptr, log.get());
    std::unique_ptr<CHandler> next = linkFactory(portNumber, baudRate);
    if (!next)
        return false;
    next->SetOwner(this);
    if (next->Start() != HNDRET_STARTED)
        return false;  // destroying it ends a link that reported too late
    link = std::move(next);
    return true;
}

// ---------------------------------------------------------------------------
// Request operations

void CTelHandler::SendRequest(std::unique_ptr<CTelMsg> request)
{
    converter.ConvertRequest(std::move(request));
}

CTelHandler::WaitResult CTelHandler::WaitAnswer(WaitMode mode, uint32_t timeoutMs, std::unique_ptr<CTelMsg>& answer)
{
    WaitResult result = WaitResult::Pending;
    bool answered = false;
    switch (waitAnswerState) {
    case WaitState::Idle:
        if (mode == WaitMode::Answer) {
            answerExpected = true;
            operationTimer.Start(timeoutMs);
            waitAnswerState = WaitState::WaitAnswer;
        } else {
            // First the modem must show that it took the request.
            operationTimer.Start(kLineControlMs);
            waitAnswerState = WaitState::WaitBusy;
        }
        break;
    case WaitState::WaitBusy:
        if (IsBusy()) {
            operationTimer.Start(timeoutMs);
            if (mode == WaitMode::BusyThenAnswer) {
                answerExpected = true;
                waitAnswerState = WaitState::WaitAnswer;
            } else {
                waitAnswerState = WaitState::WaitNotBusy;
            }
        } else if (operationTimer.Expired()) {
            result = WaitResult::Timeout;
            waitAnswerState = WaitState::Idle;
        }
        break;
    case WaitState::WaitNotBusy:
        if (!IsBusy())
            result = WaitResult::Done;
        else if (operationTimer.Expired())
            result = WaitResult::Timeout;
        if (result != WaitResult::Pending)
            waitAnswerState = WaitState::Idle;
        break;
    case WaitState::WaitAnswer:
        if (answerSlot) {
            answer = std::move(answerSlot);
            answered = true;
            result = WaitResult::Done;
        } else if (operationTimer.Expired()) {
            result = WaitResult::Timeout;
        }
        if (result != WaitResult::Pending) {
            answerExpected = false;
            waitAnswerState = WaitState::Idle;
        }
        break;
    }
    // An answer that arrived is delivered even if the link gave up on a later
    // exchange: it may be the alarm.
    if (comTimeout && !answered) {
        answerExpected = false;
        waitAnswerState = WaitState::Idle;
        result = WaitResult::ComTimeout;
    }
    return result;
}

int16_t CTelHandler::LineControl(bool on)
{
    if (lineControlState == OpState::Idle) {
        auto request = std::make_unique<CTelMsg>(TELREQ_LINE_CONTROL);
        request->value = on ? 1 : 0;
        SendRequest(std::move(request));
        operationTimer.Start(kLineControlMs);
        lineControlState = OpState::Send;
        return TELHND_LCRET_PENDING;
    }
    int16_t result = TELHND_LCRET_PENDING;
    if (IsConnected() == on)
        result = TELHND_LCRET_OK;
    else if (operationTimer.Expired() || comTimeout)
        result = TELHND_LCRET_COM_ERROR;
    if (result != TELHND_LCRET_PENDING)
        lineControlState = OpState::Idle;
    return result;
}

int16_t CTelHandler::SendReceive(int16_t kind, int16_t value, std::unique_ptr<CTelHandlerMsg>& out)
{
    switch (sendReceiveState) {
    case OpState::Idle:
        sendReceiveState = OpState::Send;
        return TELHND_SRRET_PENDING;
    case OpState::Send: {
        if (kind != TELHND_SR_P100_START && kind != TELHND_SR_CPC) {
            sendReceiveState = OpState::Idle;
            return TELHND_SRRET_COM_ERROR;
        }
        auto request = std::make_unique<CTelMsg>(kind == TELHND_SR_CPC ? TELREQ_CPC : TELREQ_P100_START);
        request->param = value;
        SendRequest(std::move(request));
        sendReceiveState = OpState::Wait;
        return TELHND_SRRET_PENDING;
    }
    case OpState::Wait:
        break;
    }

    std::unique_ptr<CTelMsg> answer;
    const WaitResult waited = WaitAnswer(WaitMode::BusyThenAnswer, kAnswerMs, answer);
    if (waited == WaitResult::Pending)
        return TELHND_SRRET_PENDING;
    if (waited != WaitResult::Done || !answer) {
        sendReceiveState = OpState::Idle;
        return TELHND_SRRET_COM_ERROR;
    }
    int16_t result = TELHND_SRRET_RETRIES_EXCEEDED;
    switch (answer->GetType()) {
    case TELANS_ALARM:
        if (answer->alarm) {
            out = std::move(answer->alarm);
            result = TELHND_SRRET_RECEIVE_OK;
        }
        break;
    case TELANS_START_TIMEOUT:
        result = TELHND_SRRET_START_TIMEOUT;
        break;
    case TELANS_RETRIES_EXCEEDED:
        result = TELHND_SRRET_RETRIES_EXCEEDED;
        break;
    case TELANS_MSG_TIMEOUT:
        result = TELHND_SRRET_MSG_TIMEOUT;
        break;
    case TELANS_CHECKSUM_ERROR:
        result = TELHND_SRRET_CHECKSUM_ERROR;
        break;
    case TELANS_TIMING_ERROR:
        result = TELHND_SRRET_TIMING_ERROR;
        break;
    default:
        break;
    }
    // The modem retries message, checksum and timing errors by itself: the
    // next call waits for its next report.
    if (result != TELHND_SRRET_MSG_TIMEOUT && result != TELHND_SRRET_CHECKSUM_ERROR &&
        result != TELHND_SRRET_TIMING_ERROR)
        sendReceiveState = OpState::Idle;
    return result;
}

int16_t CTelHandler::SendData(const CBufferMsg& data)
{
    switch (sendDataState) {
    case OpState::Idle:
        sendDataState = OpState::Send;
        return TELHND_SDRET_PENDING;
    case OpState::Send: {
        auto request = std::make_unique<CTelMsg>(TELREQ_SEND_DATA);
        request->data = data.data;
        request->length = data.length;
        SendRequest(std::move(request));
        sendDataState = OpState::Wait;
        return TELHND_SDRET_PENDING;
    }
    case OpState::Wait:
        break;
    }
    std::unique_ptr<CTelMsg> unused;
    const WaitResult waited = WaitAnswer(WaitMode::BusyThenIdle, kAnswerMs, unused);
    if (waited == WaitResult::Pending)
        return TELHND_SDRET_PENDING;
    sendDataState = OpState::Idle;
    return waited == WaitResult::Done ? TELHND_SDRET_DONE : TELHND_SDRET_COM_ERROR;
}

int16_t CTelHandler::ReadSwHwInfo(std::unique_ptr<CSwHwInfo>& out)
{
    switch (readInfoState) {
    case OpState::Idle:
        readInfoState = OpState::Send;
        return TELHND_RSRET_PENDING;
    case OpState::Send:
        SendRequest(std::make_unique<CTelMsg>(TELREQ_IDENTIFY));
        readInfoState = OpState::Wait;
        return TELHND_RSRET_PENDING;
    case OpState::Wait:
        break;
    }
    std::unique_ptr<CTelMsg> answer;
    const WaitResult waited = WaitAnswer(WaitMode::Answer, kInfoMs, answer);
    if (waited == WaitResult::Pending)
        return TELHND_RSRET_PENDING;
    readInfoState = OpState::Idle;
    if (waited == WaitResult::Done && answer && answer->GetType() == TELANS_SWHW_INFO && answer->info) {
        out = std::move(answer->info);
        return TELHND_RSRET_OK;
    }
    return TELHND_RSRET_COM_ERROR;
}

int16_t CTelHandler::ResetModem()
{
    switch (resetState) {
    case OpState::Idle:
        resetState = OpState::Send;
        return TELHND_TRRET_PENDING;
    case OpState::Send:
        SendRequest(std::make_unique<CTelMsg>(TELREQ_RESET));
        operationTimer.Start(kInfoMs);
        resetState = OpState::Wait;
        return TELHND_TRRET_PENDING;
    case OpState::Wait:
        break;
    }
    int16_t result = TELHND_TRRET_PENDING;
    if (comTimeout)
        result = TELHND_TRRET_COM_ERROR;
    else if (operationTimer.Expired())
        result = IsConnected() ? TELHND_TRRET_LINE_ERROR : TELHND_TRRET_OK;
    if (result != TELHND_TRRET_PENDING)
        resetState = OpState::Idle;
    return result;
}

void CTelHandler::VoiceCallNotify(bool on)
{
    auto request = std::make_unique<CTelMsg>(TELREQ_VOICE_NOTIFY);
    request->value = on ? 1 : 0;
    SendRequest(std::move(request));
}

void CTelHandler::SetRelay(int16_t relayIndex, int32_t on)
{
    auto request = std::make_unique<CTelMsg>(TELREQ_RELAY);
    request->param = relayIndex;
    request->value = on;
    SendRequest(std::move(request));
}

void CTelHandler::SetWirelessNet(int16_t selection)
{
    auto request = std::make_unique<CTelMsg>(TELREQ_WIRELESS_NET);
    request->param = selection;
    request->params[0] = 0;
    SendRequest(std::move(request));
}

void CTelHandler::Log(const std::string& source, const std::string& text)
{
    if (log)
        log->Log(source, text);
}
