#pragma once
// The CPC dialogue with a calling lift telephone: identify, read the alarm
// code, acknowledge, hang up; and, during a voice call, the time updates that
// keep the telephone's line open. Every request is one SendReceive of the
// telephone handler; the answers come back already decoded by CCpcInfo.

#include "protocols/ProtCom.h"

#include <cstdint>
#include <memory>
#include <string>

// The states of the three dialogues; each machine is idle at 0.
enum class CpcReceiveState : int16_t {
    CPCPROTCOM_RMST_IDLE = 0,
    CPCPROTCOM_RMST_REQ_ID = 1,
    CPCPROTCOM_RMST_REQ_ALARMCODE = 2,
    CPCPROTCOM_RMST_SEND_ALARM_ACK = 3,
    CPCPROTCOM_RMST_SEND_DISCONNECT = 4,
};
enum class CpcDisconnectState : int16_t {
    CPCPROTCOM_SDST_IDLE = 0,
    CPCPROTCOM_SDST_SEND = 1,
};
enum class CpcTimeUpdateState : int16_t {
    CPCPROTCOM_STST_IDLE = 0,
    CPCPROTCOM_STST_SEND = 1,
};

class CCpcProtCom : public CProtCom {
public:
    CCpcProtCom() { logLevel = 1; }

    // Also forgets every dialogue in progress: a call cut off by a stop of
    // the telephone side must not go on with the next caller.
    void Init(CTelLine* telHandler, bool voiceCalls, CLogFile* logFile) override;
    int16_t ReceiveMsg(std::unique_ptr<CTelHandlerMsg>& out) override;
    int16_t SendDisconnect() override;
    int16_t SendTimeUpdate() override;
    bool IsTimeUpdateDue(int16_t remaining) override;

    // Each request is sent at most this often when the modem reports an error
    // or a time-out.
    static constexpr int16_t kTries = 2;
    // Calls of IsTimeUpdateDue (one a second) between two time updates.
    static constexpr int16_t kTimeUpdateInterval = 170;

private:
    // How a SendReceive result moves a state machine on.
    enum class Outcome { Pending, Answer, ErrorOrTimeout, ComError };

    Outcome Request(int16_t request, std::unique_ptr<CTelHandlerMsg>& answer);
    // Counts one Error/Timeout; true when the tries are used up.
    bool TriesUsedUp();
    // Ends the exchange with result; a pending alarm is discarded.
    int16_t FailReceive(int16_t result);
    // The receive states' handling of every outcome but an answer.
    int16_t NoAnswer(Outcome outcome, const std::string& prefix);

    int16_t StepRequestId();
    int16_t StepRequestAlarmCode();
    int16_t StepSendAlarmAck(std::unique_ptr<CTelHandlerMsg>& out);
    int16_t StepSendDisconnect(std::unique_ptr<CTelHandlerMsg>& out);

    // The results of one acknowledged command (hang-up or time update).
    struct CommandResults {
        int16_t done;
        int16_t nack;
        int16_t timeout;
        int16_t comError;
    };
    // One step of the command's send state; sets state back to idle on a
    // final result.
    template <typename State>
    int16_t StepCommand(State& state, State idle, int16_t request, const char* source, const std::string& prefix,
                        const CommandResults& results);

    CpcReceiveState receiveState = CpcReceiveState::CPCPROTCOM_RMST_IDLE;
    CpcDisconnectState disconnectState = CpcDisconnectState::CPCPROTCOM_SDST_IDLE;
    CpcTimeUpdateState timeUpdateState = CpcTimeUpdateState::CPCPROTCOM_STST_IDLE;
    int16_t triesLeft = 0;  // shared: only one of the machines runs at a time
    std::unique_ptr<CTelHandlerMsg> pendingAlarm;
    int16_t ackRequest = 0;
    int16_t modelCode = 0;
    int16_t timeUpdateCountdown = 0;
};
