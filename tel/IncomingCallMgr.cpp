#include "tel/IncomingCallMgr.h"

#include "protocols/CpcProtCom.h"
#include "protocols/P100ProtCom.h"

#include <string>

namespace {

constexpr const char* kRingDetect = "CIncomingCallMgr::RingDetect";
constexpr const char* kIncomingCall = "CIncomingCallMgr::IncomingCall";

std::string SendResultName(int16_t result)
{
    switch (result) {
    case PROTCOM_SDRET_DONE:
        return "PROTCOM_SDRET_DONE";
    case PROTCOM_SDRET_RECEIVE_ERROR:
        return "PROTCOM_SDRET_RECEIVE_ERROR";
    case PROTCOM_SDRET_RECEIVE_TIMEOUT:
        return "PROTCOM_SDRET_RECEIVE_TIMEOUT";
    case PROTCOM_SDRET_COM_ERROR:
        return "PROTCOM_SDRET_COM_ERROR";
    default:
        return std::to_string(result);
    }
}

std::unique_ptr<CTelHandlerMsg> VoiceCallMsg(int16_t value)
{
    auto msg = std::make_unique<CTelHandlerMsg>(TEL_VOICE_CALL);
    msg->value = value;
    return msg;
}

}  // namespace

CIncomingCallMgr::CIncomingCallMgr()
    : CIncomingCallMgr(std::make_unique<CCpcProtCom>(), std::make_unique<CP100ProtCom>())
{
}

CIncomingCallMgr::CIncomingCallMgr(std::unique_ptr<CProtCom> cpc, std::unique_ptr<CProtCom> p100)
    : cpcProtocol(std::move(cpc)), p100Protocol(std::move(p100))
{
}

CIncomingCallMgr::~CIncomingCallMgr() = default;

void CIncomingCallMgr::Init(CTelLine* handler, bool voiceCalls, CLogFile* logFile, bool p100, bool cpc, int16_t rings,
                            int32_t redirect)
{
    line = handler;
    log = logFile;
    state = ICMGR_ICST_IDLE;
    savedState = ICMGR_ICST_IDLE;
    p100Enabled = p100;
    cpcEnabled = cpc;
    voiceCallsEnabled = voiceCalls;
    abortFlag = false;
    redirectMode = redirect;
    remaining = 0;
    ringState = ICMGR_RDST_IDLE;
    ringCounter = 0;
    ringsRequired = rings;

    if (cpcProtocol)
        cpcProtocol->Init(handler, voiceCalls, logFile);
    if (p100Protocol)
        p100Protocol->Init(handler, voiceCalls, logFile);

    // CPC first: a CPC telephone waits to be asked, while a P100 telephone
    // sends its message by itself and repeats it until the modem takes it.
    protocols = {};
    protocolCount = 0;
    protocolIndex = 0;
    if (cpcEnabled && cpcProtocol)
        protocols[static_cast<size_t>(protocolCount++)] = cpcProtocol.get();
    if (p100Enabled && p100Protocol)
        protocols[static_cast<size_t>(protocolCount++)] = p100Protocol.get();
}

bool CIncomingCallMgr::RingDetect()
{
    if (!line)
        return false;
    if (ringState != ICMGR_RDST_IDLE && ringTimer.Expired()) {
        // A ring that lasts too long or a pause that is too long belongs to no
        // call we count: start again, and forget whose number it was.
        LogRing("Timeout between ring signals");
        ClearCallerId();
        ringState = ICMGR_RDST_IDLE;
    }

    switch (ringState) {
    case ICMGR_RDST_IDLE:
        if (ringsRequired != 0 && line->IsRing()) {
            LogRing("ICMGR_RDST_IDLE: Ring signal detected");
            ringCounter = 0;
            ringTimer.Start(kRingDurationMs);
            ringState = ICMGR_RDST_RING_DURATION;
        }
        return false;
    case ICMGR_RDST_RING_DURATION:
        if (line->IsRing())
            return false;
        ++ringCounter;
        if (ringCounter == ringsRequired) {
            LogRing("ICMGR_RDST_RING_DURATION: No of ring signals accepted");
            ringState = ICMGR_RDST_IDLE;
            return true;
        }
        LogRing("ICMGR_RDST_RING_DURATION: Ring signal pause");
        ringTimer.Start(kRingPauseMs);
        ringState = ICMGR_RDST_RING_PAUSE;
        return false;
    case ICMGR_RDST_RING_PAUSE:
        if (line->IsRing()) {
            LogRing("ICMGR_RDST_RING_PAUSE: Ring signal detected");
            ringTimer.Start(kRingDurationMs);
            ringState = ICMGR_RDST_RING_DURATION;
        }
        return false;
    default:
        ringState = ICMGR_RDST_IDLE;
        return false;
    }
}

std::unique_ptr<CTelHandlerMsg> CIncomingCallMgr::IncomingCall(bool comTimeout)
{
    if (!line)
        return nullptr;
    // The voice-call and hang-up states talk through the protocol that read
    // the alarm; without one the only safe step is to release the line.
    if (state >= ICMGR_ICST_VOICECALL_NOTIFY && state <= ICMGR_ICST_SEND_REDIRECT && !Protocol())
        state = ICMGR_ICST_LINE_DISCONNECT;

    switch (state) {
    case ICMGR_ICST_IDLE:
        LogCall("ICMGR_ICST_IDLE");
        abortFlag = false;
        protocolIndex = 0;
        state = ICMGR_ICST_LINE_CONNECT;
        return nullptr;

    case ICMGR_ICST_LINE_CONNECT: {
        const int16_t result = line->LineControl(true);
        if (result == TELHND_LCRET_OK) {
            LogCall("ICMGR_ICST_LINE_CONNECT: Line connect OK");
            callTimer.Start(kPreDelayMs);
            state = ICMGR_ICST_PRE_DELAY;
        } else if (result == TELHND_LCRET_COM_ERROR) {
            LogCall("ICMGR_ICST_LINE_CONNECT: Serial communication error");
            state = ICMGR_ICST_LINE_DISCONNECT;
        }
        return nullptr;
    }

    case ICMGR_ICST_PRE_DELAY:
        if (callTimer.Expired()) {
            LogCall("ICMGR_ICST_PRE_DELAY: Delay done");
            state = ICMGR_ICST_RECEIVE_MSG;
        }
        return nullptr;

    case ICMGR_ICST_RECEIVE_MSG:
        return StepReceiveMsg();

    case ICMGR_ICST_NEXT_PROTOCOL:
        ++protocolIndex;
        state = protocolIndex < protocolCount ? ICMGR_ICST_RECEIVE_MSG : ICMGR_ICST_LINE_DISCONNECT;
        return nullptr;

    case ICMGR_ICST_VOICECALL_NOTIFY:
        return StepVoiceCallNotify(comTimeout);

    case ICMGR_ICST_VOICECALL_COMM:
        return StepVoiceCallComm(comTimeout);

    case ICMGR_ICST_SEND_TIME_UPDATE:
        return StepSendTimeUpdate();

    case ICMGR_ICST_SEND_DISCONNECT:
        StepSendDisconnect();
        return nullptr;

    case ICMGR_ICST_SEND_REDIRECT:
        StepSendRedirect();
        return nullptr;

    case ICMGR_ICST_POST_DELAY:
        if (callTimer.Expired()) {
            LogCall("ICMGR_ICST_POST_DELAY: Delay done");
            state = ICMGR_ICST_LINE_DISCONNECT;
        }
        return nullptr;

    case ICMGR_ICST_LINE_DISCONNECT:
        return StepLineDisconnect();

    default:
        // Never reached; release the line rather than keep it seized.
        state = ICMGR_ICST_LINE_DISCONNECT;
        return nullptr;
    }
}

std::unique_ptr<CTelHandlerMsg> CIncomingCallMgr::StepReceiveMsg()
{
    CProtCom* protocol = Protocol();
    if (!protocol) {
        // No protocol enabled: nothing can read the alarm.
        state = ICMGR_ICST_LINE_DISCONNECT;
        return nullptr;
    }

    std::unique_ptr<CTelHandlerMsg> msg;
    const int16_t result = protocol->ReceiveMsg(msg);
    switch (result) {
    case PROTCOM_RMRET_ALARM:
        if (msg)
            msg->callerInfo = callerId;
        // Give the telephone time to take the acknowledgement before the line goes.
        callTimer.Start(kPostDelayMs);
        state = ICMGR_ICST_POST_DELAY;
        return msg;
    case PROTCOM_RMRET_VOICE_ALARM:
        if (msg)
            msg->callerInfo = callerId;
        if (unattended) {
            // Nobody is there to answer: pass the call on where the telephone can.
            if (protocol->SupportsRedirect()) {
                if (msg)
                    msg->msgType = TELMSG_VOICE_REDIRECTED;
                state = ICMGR_ICST_SEND_REDIRECT;
            } else {
                state = ICMGR_ICST_SEND_DISCONNECT;
            }
        } else if (voiceCallsEnabled) {
            line->VoiceCallNotify(true);
            remaining = kNotifySeconds;
            state = ICMGR_ICST_VOICECALL_NOTIFY;
        } else {
            state = ICMGR_ICST_SEND_DISCONNECT;
        }
        return msg;
    case PROTCOM_RMRET_DATA:
        if (msg)
            msg->callerInfo = callerId;
        return msg;
    case PROTCOM_RMRET_RECEIVE_ERROR:
        LogCall("ICMGR_ICST_RECEIVE_MSG: Protocol receive error");
        state = ICMGR_ICST_SEND_DISCONNECT;
        return nullptr;
    case PROTCOM_RMRET_RECEIVE_TIMEOUT:
        LogCall("ICMGR_ICST_RECEIVE_MSG: Protocol receive timeout");
        state = ICMGR_ICST_NEXT_PROTOCOL;
        return nullptr;
    case PROTCOM_RMRET_COM_ERROR:
        LogCall("ICMGR_ICST_RECEIVE_MSG: Serial communication error");
        state = ICMGR_ICST_LINE_DISCONNECT;
        return nullptr;
    default:
        return nullptr;
    }
}

std::unique_ptr<CTelHandlerMsg> CIncomingCallMgr::StepVoiceCallNotify(bool comTimeout)
{
    if (callTimer.Expired()) {
        if (remaining < 1) {
            LogCall("ICMGR_ICST_VOICECALL_NOTIFY - Timeout");
            state = RedirectOrDisconnect();
            return EndVoiceCall(VC_TIMEOUT);
        }
        return VoiceCallTick(remaining % 5 == 0 ? VC_PICK_UP : VC_NOTIFY_TICK);
    }
    if (line->IsHandsetOffHook()) {
        LogCall("ICMGR_ICST_VOICECALL_NOTIFY: Off Hook Detected");
        remaining = static_cast<int16_t>(remaining + kTalkExtraSeconds);
        handsetTimer.Start(kHandsetSettlingMs);
        state = ICMGR_ICST_VOICECALL_COMM;
        return nullptr;
    }
    if (abortFlag) {
        LogCall("ICMGR_ICST_VOICECALL_NOTIFY: Aborted");
        state = RedirectOrDisconnect();
        return EndVoiceCall(VC_ABORTED);
    }
    if (comTimeout) {
        LogCall("ICMGR_ICST_VOICECALL_NOTIFY: ComTimeout");
        state = ICMGR_ICST_LINE_DISCONNECT;
        return EndVoiceCall(VC_ABORTED);
    }
    return nullptr;
}

std::unique_ptr<CTelHandlerMsg> CIncomingCallMgr::StepVoiceCallComm(bool comTimeout)
{
    if (callTimer.Expired()) {
        if (remaining < 1) {
            state = ICMGR_ICST_SEND_DISCONNECT;
            return EndVoiceCall(VC_TIMEOUT);
        }
        return VoiceCallTick(VC_TALK_TICK);
    }
    // The handset must stay down for the settling time: a bounce while it is
    // lifted does not end the talk.
    if (handsetTimer.Expired() && !line->IsHandsetOffHook()) {
        LogCall("ICMGR_ICST_VOICECALL_COMM: OnHook Detected");
        state = ICMGR_ICST_SEND_DISCONNECT;
        return EndVoiceCall(VC_ON_HOOK);
    }
    if (abortFlag) {
        LogCall("ICMGR_ICST_VOICECALL_COMM: Aborted");
        state = ICMGR_ICST_SEND_DISCONNECT;
        return EndVoiceCall(VC_ABORTED);
    }
    if (comTimeout) {
        LogCall("ICMGR_ICST_VOICECALL_COMM: ComTimeout");
        state = ICMGR_ICST_LINE_DISCONNECT;
        return EndVoiceCall(VC_ABORTED);
    }
    return nullptr;
}

std::unique_ptr<CTelHandlerMsg> CIncomingCallMgr::StepSendTimeUpdate()
{
    switch (Protocol()->SendTimeUpdate()) {
    case PROTCOM_STRET_DONE:
        LogCall("ICMGR_ICST_SEND_TIME_UPDATE: PROTCOM_STRET_DONE");
        state = savedState;
        return nullptr;
    case PROTCOM_STRET_RECEIVE_ERROR:
    case PROTCOM_STRET_RECEIVE_TIMEOUT:
        LogCall("ICMGR_ICST_SEND_TIME_UPDATE: Error/Timeout");
        state = ICMGR_ICST_LINE_DISCONNECT;
        return EndVoiceCall(VC_ABORTED);
    case PROTCOM_STRET_COM_ERROR:
        // The modem may no longer answer, but the notification off costs
        // nothing if it is lost; the alarm dialog and the list must learn
        // that the call has ended in any case.
        LogCall("ICMGR_ICST_SEND_TIME_UPDATE: PROTCOM_STRET_COM_ERROR");
        state = ICMGR_ICST_LINE_DISCONNECT;
        return EndVoiceCall(VC_ABORTED);
    default:
        return nullptr;
    }
}

void CIncomingCallMgr::StepSendDisconnect()
{
    const int16_t result = Protocol()->SendDisconnect();
    if (result == PROTCOM_SDRET_BUSY)
        return;
    LogCall("ICMGR_ICST_SEND_DISCONNECT: " + SendResultName(result));
    state = ICMGR_ICST_LINE_DISCONNECT;
}

void CIncomingCallMgr::StepSendRedirect()
{
    switch (Protocol()->SendRedirect(redirectMode)) {
    case PROTCOM_SDRET_DONE:
        LogCall("ICMGR_ICST_SEND_REDIRECT: PROTCOM_SDRET_DONE");
        state = ICMGR_ICST_LINE_DISCONNECT;
        break;
    case PROTCOM_SDRET_COM_ERROR:
        LogCall("ICMGR_ICST_SEND_REDIRECT: PROTCOM_SDRET_COM_ERROR");
        state = ICMGR_ICST_LINE_DISCONNECT;
        break;
    default:
        break;
    }
}

std::unique_ptr<CTelHandlerMsg> CIncomingCallMgr::StepLineDisconnect()
{
    const int16_t result = line->LineControl(false);
    if (result == TELHND_LCRET_OK)
        LogCall("ICMGR_ICST_LINE_DISCONNECT: TELHND_LCRET_OK");
    else if (result == TELHND_LCRET_COM_ERROR)
        LogCall("ICMGR_ICST_LINE_DISCONNECT: TELHND_LCRET_COM_ERROR");
    else
        return nullptr;
    // The call is over whatever the modem reported.
    ClearCallerId();
    state = ICMGR_ICST_IDLE;
    return std::make_unique<CTelHandlerMsg>(TEL_CALL_DONE);
}

std::unique_ptr<CTelHandlerMsg> CIncomingCallMgr::VoiceCallTick(int16_t value)
{
    auto msg = VoiceCallMsg(value);
    msg->remaining = remaining;
    callTimer.Start(kTickMs);
    if (Protocol()->IsTimeUpdateDue(remaining)) {
        savedState = state;
        state = ICMGR_ICST_SEND_TIME_UPDATE;
    }
    --remaining;
    return msg;
}

std::unique_ptr<CTelHandlerMsg> CIncomingCallMgr::EndVoiceCall(int16_t value)
{
    line->VoiceCallNotify(false);
    return VoiceCallMsg(value);
}

int16_t CIncomingCallMgr::RedirectOrDisconnect() const
{
    return Protocol()->SupportsRedirect() ? ICMGR_ICST_SEND_REDIRECT : ICMGR_ICST_SEND_DISCONNECT;
}

CProtCom* CIncomingCallMgr::Protocol() const
{
    if (protocolIndex < 0 || protocolIndex >= protocolCount)
        return nullptr;
    return protocols[static_cast<size_t>(protocolIndex)];
}

void CIncomingCallMgr::LogRing(const std::string& text)
{
    if (log)
        log->Log(kRingDetect, text);
}

void CIncomingCallMgr::LogCall(const std::string& text)
{
    if (log)
        log->Log(kIncomingCall, text);
}
