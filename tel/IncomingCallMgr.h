#pragma once
// Decides when the station answers a call and conducts the call from seizing
// the line to releasing it: counts the ring signals, seizes the line, has the
// alarm protocols read the alarm (CPC first when enabled, then P100), offers a
// voice alarm to the operator's handset or redirects or ends it, and always
// finishes by releasing the line. Runs on the telephone handler's thread, one
// non-blocking step per pass of the handler's loop.

#include "core/IntervalTimer.h"
#include "core/LogFile.h"
#include "messages/TelHandlerMsg.h"
#include "protocols/ProtCom.h"
#include "protocols/TelLine.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

// Ring detection states.
constexpr int16_t ICMGR_RDST_IDLE = 0;
constexpr int16_t ICMGR_RDST_RING_DURATION = 1;
constexpr int16_t ICMGR_RDST_RING_PAUSE = 3;

// Call states.
constexpr int16_t ICMGR_ICST_IDLE = 0;
constexpr int16_t ICMGR_ICST_LINE_CONNECT = 1;
constexpr int16_t ICMGR_ICST_PRE_DELAY = 2;
constexpr int16_t ICMGR_ICST_RECEIVE_MSG = 3;
constexpr int16_t ICMGR_ICST_NEXT_PROTOCOL = 4;
constexpr int16_t ICMGR_ICST_VOICECALL_NOTIFY = 5;
constexpr int16_t ICMGR_ICST_VOICECALL_COMM = 6;
constexpr int16_t ICMGR_ICST_SEND_TIME_UPDATE = 7;
constexpr int16_t ICMGR_ICST_SEND_DISCONNECT = 8;
constexpr int16_t ICMGR_ICST_SEND_REDIRECT = 9;
constexpr int16_t ICMGR_ICST_POST_DELAY = 10;
constexpr int16_t ICMGR_ICST_LINE_DISCONNECT = 11;

class CIncomingCallMgr {
public:
    // The longest ring signal and the longest pause between two rings of one call.
    static constexpr uint32_t kRingDurationMs = 3000;
    static constexpr uint32_t kRingPauseMs = 10000;
    // Settling time of the line after seizing it, and the time the telephone
    // gets after an alarm before the line is released.
    static constexpr uint32_t kPreDelayMs = 1000;
    static constexpr uint32_t kPostDelayMs = 2000;
    // The operator's handset rings for at most this many seconds; lifting it
    // adds kTalkExtraSeconds to the seconds left.
    static constexpr int16_t kNotifySeconds = 300;
    static constexpr int16_t kTalkExtraSeconds = 180;
    static constexpr uint32_t kTickMs = 1000;
    // The handset must stay down this long to end the talk.
    static constexpr uint32_t kHandsetSettlingMs = 2000;

    // With the station's CPC and P100 protocols.
    CIncomingCallMgr();
    // With the given protocols instead (tests); either may be empty.
    CIncomingCallMgr(std::unique_ptr<CProtCom> cpc, std::unique_ptr<CProtCom> p100);
    virtual ~CIncomingCallMgr();
    CIncomingCallMgr(const CIncomingCallMgr&) = delete;
    CIncomingCallMgr& operator=(const CIncomingCallMgr&) = delete;

    // Called at every start of the telephone handler. Keeps the unattended
    // flag and the caller identification.
    void Init(CTelLine* handler, bool voiceCalls, CLogFile* log, bool p100, bool cpc, int16_t ringsRequired,
              int32_t redirectMode);

    // One step of the ring count while the handler is idle; true exactly once
    // per accepted call, at the end of the last required ring.
    bool RingDetect();
    // One step of the call; returns an alarm, a voice-call progress message or,
    // at the end, TEL_CALL_DONE; mostly nothing.
    std::unique_ptr<CTelHandlerMsg> IncomingCall(bool comTimeout);

    void SetCallerId(const std::string& text) { callerId = text; }
    void ClearCallerId() { callerId.clear(); }
    void AbortVoiceCall() { abortFlag = true; }
    void SetUnattended(bool on) { unattended = on; }

    const std::string& GetCallerId() const { return callerId; }
    bool IsUnattended() const { return unattended; }
    int16_t GetState() const { return state; }
    int16_t GetRingState() const { return ringState; }

private:
    std::unique_ptr<CTelHandlerMsg> StepReceiveMsg();
    std::unique_ptr<CTelHandlerMsg> StepVoiceCallNotify(bool comTimeout);
    std::unique_ptr<CTelHandlerMsg> StepVoiceCallComm(bool comTimeout);
    std::unique_ptr<CTelHandlerMsg> StepSendTimeUpdate();
    void StepSendDisconnect();
    void StepSendRedirect();
    std::unique_ptr<CTelHandlerMsg> StepLineDisconnect();

    // The progress tick of both voice-call states: a message with the seconds
    // left, the next tick in one second, a time update when the protocol wants one.
    std::unique_ptr<CTelHandlerMsg> VoiceCallTick(int16_t value);
    // Stops ringing the handset and makes the progress message.
    std::unique_ptr<CTelHandlerMsg> EndVoiceCall(int16_t value);
    // Where a voice call that was not talked through goes: redirected when the
    // protocol can, else hung up.
    int16_t RedirectOrDisconnect() const;

    CProtCom* Protocol() const;
    void LogRing(const std::string& text);
    void LogCall(const std::string& text);

    CTelLine* line = nullptr;
    CLogFile* log = nullptr;

    int16_t state = ICMGR_ICST_IDLE;
    int16_t savedState = ICMGR_ICST_IDLE;

    std::unique_ptr<CProtCom> cpcProtocol;
    std::unique_ptr<CProtCom> p100Protocol;
    bool p100Enabled = false;
    bool cpcEnabled = false;
    int16_t protocolCount = 0;
    int16_t protocolIndex = 0;
    std::array<CProtCom*, 2> protocols{};

    int16_t remaining = 0;
    bool voiceCallsEnabled = false;
    bool abortFlag = false;
    bool unattended = false;
    int32_t redirectMode = 0;
    CIntervalTimer callTimer;

    int16_t ringState = ICMGR_RDST_IDLE;
    int16_t ringCounter = 0;
    int16_t ringsRequired = 0;
    CIntervalTimer ringTimer;

    std::string callerId;
    CIntervalTimer handsetTimer;
};
