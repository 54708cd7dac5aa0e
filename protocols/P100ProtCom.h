#pragma once
// The P100 side of a call: the lift telephone sends its P100 messages by
// itself and the modem checks and retries them, so the station runs a receive
// loop of start requests and sends back two short commands, hang up and
// redirect a voice call.

#include "core/BufferMsg.h"
#include "protocols/ProtCom.h"

#include <cstdint>
#include <memory>
#include <string>

// The states of the three machines; each is idle at 0.
enum class P100ReceiveState : int16_t {
    P100PROTCOM_RMST_IDLE = 0,
    P100PROTCOM_RMST_RECEIVE = 1,
};
enum class P100DisconnectState : int16_t {
    P100PROTCOM_SDST_IDLE = 0,
    P100PROTCOM_SDST_WAIT = 1,
    P100PROTCOM_SDST_SEND = 2,
    P100PROTCOM_SDST_DELAY = 3,
};
enum class P100RedirectState : int16_t {
    P100PROTCOM_SRST_IDLE = 0,
    P100PROTCOM_SRST_WAIT = 1,
    P100PROTCOM_SRST_SEND = 2,
    P100PROTCOM_SRST_DELAY = 3,
};

class CP100ProtCom : public CProtCom {
public:
    CP100ProtCom() { logLevel = 1; }

    // Also forgets the reception and the command in progress: a call cut off
    // by a stop of the telephone side leaves nothing to the next caller (its
    // identity, its start attempts, a half-sent command).
    void Init(CTelLine* telHandler, bool voiceCalls, CLogFile* logFile) override;
    int16_t ReceiveMsg(std::unique_ptr<CTelHandlerMsg>& out) override;
    int16_t SendDisconnect() override;
    int16_t SendRedirect(int32_t mode) override;
    bool SupportsRedirect() const override { return true; }

    // Start time-outs tolerated at the start of a call and after a user id.
    static constexpr int16_t kStartTries = 3;
    // Start time-outs tolerated after a user-data message.
    static constexpr int16_t kUserDataTries = 15;
    // The telephone needs a pause before it listens and after it got a command.
    static constexpr uint32_t kCommandWaitMs = 1000;
    static constexpr uint32_t kDisconnectDelayMs = 2000;
    static constexpr uint32_t kRedirectDelayMs = 1000;

private:
    int16_t StepReceive(std::unique_ptr<CTelHandlerMsg>& out);
    int16_t HandleMessage(std::unique_ptr<CTelHandlerMsg> msg, std::unique_ptr<CTelHandlerMsg>& out);
    int16_t EndReceive(int16_t result);
    // One step of the send state of a command: SendData of the outgoing data;
    // once sent, the state moves on to the delay; on a failure it is set back
    // to idle.
    template <typename State>
    int16_t StepSendCommand(State& state, State delayState, State idle, const char* source, const char* sentText,
                            const char* errorText, uint32_t delayMs);

    P100ReceiveState receiveState = P100ReceiveState::P100PROTCOM_RMST_IDLE;
    int16_t triesLeft = 0;
    int16_t startAttempt = 0;
    std::string storedId;
    int16_t storedIdType = 0;
    int16_t storedModelCode = 0;
    P100DisconnectState disconnectState = P100DisconnectState::P100PROTCOM_SDST_IDLE;
    P100RedirectState redirectState = P100RedirectState::P100PROTCOM_SRST_IDLE;
    std::unique_ptr<CBufferMsg> outgoingData;
};
