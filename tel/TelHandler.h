#pragma once
// The worker thread that runs the telephone line. It starts the modem link as
// its child thread, checks that the right modem with recent enough software is
// attached, watches the modem's status, answers incoming calls through the
// incoming-call manager, recovers from communication failures (a link that
// halted is started again on its own, with a back-off) and reports everything
// to its owner (the database handler). Its request operations are how the
// incoming-call manager and the alarm protocols drive the modem.

#include "core/Handler.h"
#include "core/IntervalTimer.h"
#include "core/LogFile.h"
#include "messages/ComMsg.h"
#include "messages/TelHandlerMsg.h"
#include "protocols/TelLine.h"
#include "tel/IncomingCallMgr.h"
#include "tel/OutgoingCallMgr.h"
#include "tel/TelInfo.h"
#include "tel/TelMsg.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

// Handler states.
constexpr int16_t TELHND_ST_START = 0;
constexpr int16_t TELHND_ST_READ_INFO = 1;
constexpr int16_t TELHND_ST_IDLE = 2;
constexpr int16_t TELHND_ST_INCOMING = 3;
constexpr int16_t TELHND_ST_OUTGOING = 4;
constexpr int16_t TELHND_ST_RESET = 5;
constexpr int16_t TELHND_ST_COM_TIMEOUT = 7;
constexpr int16_t TELHND_ST_COM_TIMEOUT_WAIT = 8;
constexpr int16_t TELHND_ST_COM_ERROR = 9;
constexpr int16_t TELHND_ST_COM_ERROR_WAIT = 10;
constexpr int16_t TELHND_ST_RESTART_DELAY = 11;
constexpr int16_t TELHND_ST_LINK_RESTART = 12;  // the link halted: start it again after a back-off

class CTelHandler : public CHandler, public CTelLine {
public:
    // The modem the station works with, and the oldest software it accepts.
    static constexpr uint8_t kModelId = 12;
    static constexpr uint16_t kMinSwVersion = 0x0142;
    // Software above this version takes the wireless network selection.
    static constexpr uint16_t kNetSelectSwVersion = 0x014F;

    static constexpr uint32_t kLineControlMs = 1700;  // also the wait for the modem to turn busy
    static constexpr uint32_t kAnswerMs = 6200;       // SendReceive and SendData
    static constexpr uint32_t kInfoMs = 4200;         // ReadSwHwInfo and ResetModem
    static constexpr uint32_t kRestartDelayMs = 20000;
    static constexpr uint32_t kComTimeoutMs = 60000;
    // A halted link is started again after 30 s; while that fails the wait
    // doubles up to 10 minutes.
    static constexpr uint32_t kLinkRestartFirstMs = 30000;
    static constexpr uint32_t kLinkRestartMaxMs = 600000;

    // Makes the link thread for a port and baud rate; the handler becomes its
    // owner and starts it.
    using LinkFactory = std::function<std::unique_ptr<CHandler>(int16_t port, int32_t baud)>;

    CTelHandler();
    ~CTelHandler() override;

    // Before Start.
    void SetConfig(int16_t port, int32_t baud, int16_t ringCount, bool p100, bool cpc, bool voiceCalls,
                   int32_t redirectMode, int16_t netSelection);
    // Before Start; the default makes a CTelComHandler on the configured port.
    void SetLinkFactory(LinkFactory factory);

    // Request operations: called once per pass until non-zero; one at a time.
    int16_t LineControl(bool on) override;
    int16_t SendReceive(int16_t kind, int16_t value, std::unique_ptr<CTelHandlerMsg>& out) override;
    int16_t SendData(const CBufferMsg& data) override;
    int16_t ReadSwHwInfo(std::unique_ptr<CSwHwInfo>& out);
    int16_t ResetModem();
    // What WaitAnswer waits for after a request went out.
    enum class WaitMode : int16_t {
        BusyThenIdle = 1,    // the modem turns busy, then idle again (SendData)
        BusyThenAnswer = 2,  // it turns busy, then an answer frame arrives (SendReceive)
        Answer = 3,          // an answer frame arrives (ReadSwHwInfo)
    };
    enum class WaitResult : int16_t {
        Pending = 0,
        Done = 1,        // the modem turned idle again, or the answer is handed out
        Timeout = 2,     // the modem did not turn busy, or idle, or answer in time
        ComTimeout = 3,  // the link lost the modem meanwhile
    };
    WaitResult WaitAnswer(WaitMode mode, uint32_t timeoutMs, std::unique_ptr<CTelMsg>& answer);

    // Requests that expect no answer.
    void VoiceCallNotify(bool on) override;
    void SetRelay(int16_t relayIndex, int32_t on);
    void SetWirelessNet(int16_t selection);

    bool IsRing() const override { return (status & STATUS_RING) != 0; }
    bool IsHandsetOffHook() const override { return (status & STATUS_HANDSET) != 0; }
    bool IsConnected() const override { return (status & STATUS_CONNECTED) != 0; }
    bool IsBusy() const override { return (status & STATUS_BUSY) != 0; }
    bool IsComTimeout() const override { return comTimeout; }

    // Posts a TEL_NOTIFY with the code, the text, the interface type and the
    // signal level to the owner.
    void Notify(int16_t code, const std::string& text);
    // True when the identification is of the supported modem with recent
    // enough software; notifies and logs the values either way.
    bool CheckSwHwInfo(const CSwHwInfo& info);

    // The modem's value of poll answers (signal strength) in percent.
    static int16_t SignalLevelPercent(int value);

    int16_t GetState() const { return state; }
    int16_t GetInterfaceType() const { return interfaceType; }
    int16_t GetSignalLevel() const { return signalLevel; }

protected:
    void ThreadMain() override;
    const char* ThreadName() const override { return "TelHandler"; }

    // The pieces of ThreadMain, so that a test can run the handler's loop on
    // its own thread: make the log and the link (not started), then set up the
    // converter and the call managers around the link, then run passes.
    void CreateLogAndLink();
    void InitParts();
    // One pass of the loop: at most one message, then one state step.
    void RunPass();
    void HandleNextMsg();
    void StepState();

    CHandler* Link() const { return link.get(); }
    CIncomingCallMgr& IncomingCallMgr() { return incomingCallMgr; }

private:
    void HandleMsg(std::unique_ptr<CMsg> msg);
    void HandleComMsg(const CComMsg& msg);
    void HandleTelMsg(const CTelHandlerMsg& msg);
    void OnStatus(uint8_t newStatus);

    void StepReadInfo();
    void StepIdle();
    void StepIncoming();
    void StepOutgoing();
    void StepReset();
    void StepLinkRestart();

    // The link gave up (LNK_ERROR, LNK_SEND_ERROR): nothing reaches the modem
    // until the link is started again.
    void OnLinkHalted();
    // Ends the halted link and starts a new one on the port; true when it runs.
    bool RestartLink();

    void SendRequest(std::unique_ptr<CTelMsg> request);
    void Log(const std::string& source, const std::string& text);

    // Configuration.
    int16_t portNumber = 1;
    int32_t baudRate = 9600;
    int16_t ringCount = 0;
    bool p100Enabled = true;
    bool cpcEnabled = false;
    bool voiceCallsEnabled = false;
    int32_t redirect = 0;
    int16_t netSelection = 0;
    LinkFactory linkFactory;

    std::unique_ptr<CHandler> link;
    std::unique_ptr<CLogFile> log;
    CTelInfo converter;
    CIncomingCallMgr incomingCallMgr;
    COutgoingCallMgr outgoingCallMgr;

    int16_t state = TELHND_ST_START;
    uint8_t status = 0;
    bool comTimeout = false;
    bool answerExpected = false;
    std::unique_ptr<CTelMsg> answerSlot;
    int16_t interfaceType = 0;
    int16_t signalLevel = 0;

    // The three-step request operations: idle, send, wait.
    enum class OpState : int16_t { Idle = 0, Send = 1, Wait = 2 };
    // The sub-states of WaitAnswer.
    enum class WaitState : int16_t { Idle = 0, WaitBusy = 1, WaitNotBusy = 2, WaitAnswer = 3 };

    OpState lineControlState = OpState::Idle;
    OpState sendReceiveState = OpState::Idle;
    OpState sendDataState = OpState::Idle;
    OpState readInfoState = OpState::Idle;
    OpState resetState = OpState::Idle;
    WaitState waitAnswerState = WaitState::Idle;
    CIntervalTimer operationTimer;
    CIntervalTimer stateTimer;

    bool linkHalted = false;
    bool linkRestarted = false;  // started again, and the modem has not answered yet
    uint32_t linkRestartDelay = kLinkRestartFirstMs;
    CIntervalTimer linkRestartTimer;
    std::map<int16_t, int32_t> relayStates;  // the last state asked for each relay
};
