#include "protocols/CpcProtCom.h"

#include "protocols/CpcInfo.h"

#include <string>

using enum CpcReceiveState;
using enum CpcDisconnectState;
using enum CpcTimeUpdateState;

namespace {

constexpr const char* kReceiveSource = "CCpcProtCom::ReceiveMsg";

bool IsAck(const CTelHandlerMsg* answer)
{
    return answer && answer->msgType == TELMSG_CPC_ACK && answer->value == 1;
}

}  // namespace

void CCpcProtCom::Init(CTelLine* telHandler, bool voiceCalls, CLogFile* logFile)
{
    receiveState = CPCPROTCOM_RMST_IDLE;
    disconnectState = CPCPROTCOM_SDST_IDLE;
    timeUpdateState = CPCPROTCOM_STST_IDLE;
    triesLeft = 0;
    pendingAlarm.reset();
    ackRequest = 0;
    modelCode = 0;
    timeUpdateCountdown = 0;
    CProtCom::Init(telHandler, voiceCalls, logFile);
}

CCpcProtCom::Outcome CCpcProtCom::Request(int16_t request, std::unique_ptr<CTelHandlerMsg>& answer)
{
    if (!line)
        return Outcome::ComError;  // not bound to a telephone handler yet
    switch (line->SendReceive(TELHND_SR_CPC, request, answer)) {
    case TELHND_SRRET_RECEIVE_OK:
        return Outcome::Answer;
    case TELHND_SRRET_START_TIMEOUT:
    case TELHND_SRRET_RETRIES_EXCEEDED:
        return Outcome::ErrorOrTimeout;
    case TELHND_SRRET_PENDING:
    case TELHND_SRRET_MSG_TIMEOUT:
    case TELHND_SRRET_CHECKSUM_ERROR:
    case TELHND_SRRET_TIMING_ERROR:
        // The handler is still waiting (the modem retries by itself).
        return Outcome::Pending;
    default:
        // TELHND_SRRET_COM_ERROR. A result the handler never gives is taken
        // as one too, so the exchange ends instead of waiting for ever.
        return Outcome::ComError;
    }
}

bool CCpcProtCom::TriesUsedUp()
{
    --triesLeft;
    return triesLeft <= 0;
}

int16_t CCpcProtCom::FailReceive(int16_t result)
{
    // An alarm that is not handed over is discarded on every failure path.
    pendingAlarm.reset();
    receiveState = CPCPROTCOM_RMST_IDLE;
    return result;
}

int16_t CCpcProtCom::NoAnswer(Outcome outcome, const std::string& prefix)
{
    switch (outcome) {
    case Outcome::ErrorOrTimeout:
        Log(kReceiveSource, prefix + "Error/Timeout");
        // Otherwise the next call repeats the request.
        return TriesUsedUp() ? FailReceive(PROTCOM_RMRET_RECEIVE_TIMEOUT) : PROTCOM_RMRET_BUSY;
    case Outcome::ComError:
        Log(kReceiveSource, prefix + "TELHND_SRRET_COM_ERROR");
        return FailReceive(PROTCOM_RMRET_COM_ERROR);
    case Outcome::Pending:
    case Outcome::Answer:
        break;
    }
    return PROTCOM_RMRET_BUSY;
}

int16_t CCpcProtCom::ReceiveMsg(std::unique_ptr<CTelHandlerMsg>& out)
{
    switch (receiveState) {
    case CPCPROTCOM_RMST_IDLE:
        pendingAlarm.reset();
        triesLeft = kTries;
        receiveState = CPCPROTCOM_RMST_REQ_ID;
        return PROTCOM_RMRET_BUSY;
    case CPCPROTCOM_RMST_REQ_ID:
        return StepRequestId();
    case CPCPROTCOM_RMST_REQ_ALARMCODE:
        return StepRequestAlarmCode();
    case CPCPROTCOM_RMST_SEND_ALARM_ACK:
        return StepSendAlarmAck(out);
    case CPCPROTCOM_RMST_SEND_DISCONNECT:
        return StepSendDisconnect(out);
    }
    // Not a state of the machine: start over.
    return FailReceive(PROTCOM_RMRET_BUSY);
}

int16_t CCpcProtCom::StepRequestId()
{
    const std::string prefix = "CPCPROTCOM_RMST_REQ_ID: ";
    std::unique_ptr<CTelHandlerMsg> answer;
    const Outcome outcome = Request(CPC_REQ_ID, answer);
    if (outcome != Outcome::Answer)
        return NoAnswer(outcome, prefix);

    Log(kReceiveSource, prefix + "TELHND_SRRET_RECEIVE_OK");
    if (!answer || answer->msgType != TELMSG_CPC_ID)
        return FailReceive(PROTCOM_RMRET_RECEIVE_ERROR);
    modelCode = answer->value;
    Log(kReceiveSource, "Model Code: " + std::to_string(modelCode));
    triesLeft = kTries;
    receiveState = CPCPROTCOM_RMST_REQ_ALARMCODE;
    return PROTCOM_RMRET_BUSY;
}

int16_t CCpcProtCom::StepRequestAlarmCode()
{
    const std::string prefix = "CPCPROTCOM_RMST_REQ_ALARMCODE: ";
    std::unique_ptr<CTelHandlerMsg> answer;
    const Outcome outcome = Request(CPC_REQ_ALARMCODE, answer);
    if (outcome != Outcome::Answer)
        return NoAnswer(outcome, prefix);

    Log(kReceiveSource, prefix + "TELHND_SRRET_RECEIVE_OK");
    const uint8_t type = answer ? answer->msgType : 0;
    if (type == TELMSG_VOICE) {
        Log(kReceiveSource, "MsgType: Voice, ID: " + answer->idCode);
        ackRequest = CPC_REQ_ACK_VOICE;
    } else if (type == TELMSG_OP_FAIL || type == TELMSG_TEST) {
        Log(kReceiveSource, "MsgType: " + std::to_string(type) + ", ID: " + answer->idCode +
                                ", OfType: " + std::to_string(answer->ofType));
        ackRequest = CPC_REQ_ACK_OTHER;
    } else {
        Log(kReceiveSource, "Unknown message type");
        return FailReceive(PROTCOM_RMRET_RECEIVE_ERROR);
    }
    answer->value = modelCode;
    pendingAlarm = std::move(answer);
    triesLeft = kTries;
    receiveState = CPCPROTCOM_RMST_SEND_ALARM_ACK;
    return PROTCOM_RMRET_BUSY;
}

int16_t CCpcProtCom::StepSendAlarmAck(std::unique_ptr<CTelHandlerMsg>& out)
{
    const std::string prefix = "CPCPROTCOM_RMST_SEND_ALARM_ACK: ";
    std::unique_ptr<CTelHandlerMsg> answer;
    const Outcome outcome = Request(ackRequest, answer);
    if (outcome != Outcome::Answer)
        return NoAnswer(outcome, prefix);

    Log(kReceiveSource, prefix + "TELHND_SRRET_RECEIVE_OK");
    if (!IsAck(answer.get()) || !pendingAlarm) {
        Log(kReceiveSource, "Invalid message type or Nack");
        return FailReceive(PROTCOM_RMRET_RECEIVE_ERROR);
    }
    if (pendingAlarm->msgType == TELMSG_VOICE) {
        // The line stays open for speech; the time updates start now.
        timeUpdateCountdown = kTimeUpdateInterval;
        Log(kReceiveSource, "Ack OK, MessageType: Voice");
        out = std::move(pendingAlarm);
        receiveState = CPCPROTCOM_RMST_IDLE;
        return PROTCOM_RMRET_VOICE_ALARM;
    }
    // A battery or test alarm is handed over once the hang-up has had its
    // answer (or its failure).
    Log(kReceiveSource, "Ack OK, MessageType: Battery/TestAlarm");
    triesLeft = kTries;
    receiveState = CPCPROTCOM_RMST_SEND_DISCONNECT;
    return PROTCOM_RMRET_BUSY;
}

int16_t CCpcProtCom::StepSendDisconnect(std::unique_ptr<CTelHandlerMsg>& out)
{
    const std::string prefix = "CPCPROTCOM_RMST_SEND_DISCONNECT: ";
    std::unique_ptr<CTelHandlerMsg> answer;
    switch (Request(CPC_REQ_DISCONNECT, answer)) {
    case Outcome::Pending:
        return PROTCOM_RMRET_BUSY;
    case Outcome::Answer:
        Log(kReceiveSource, prefix + "TELHND_SRRET_RECEIVE_OK");
        Log(kReceiveSource, IsAck(answer.get()) ? "Ack OK" : "Invalid message type or Nack");
        break;
    case Outcome::ErrorOrTimeout:
        Log(kReceiveSource, prefix + "Error/Timeout");
        if (!TriesUsedUp())
            return PROTCOM_RMRET_BUSY;  // the next call repeats the hang-up
        break;
    case Outcome::ComError:
        Log(kReceiveSource, prefix + "TELHND_SRRET_COM_ERROR");
        break;
    }
    // The telephone acknowledged the alarm and takes it as delivered: it will
    // not send it again. Whatever became of the hang-up, the alarm goes on.
    if (!pendingAlarm)
        return FailReceive(PROTCOM_RMRET_RECEIVE_ERROR);
    out = std::move(pendingAlarm);
    receiveState = CPCPROTCOM_RMST_IDLE;
    return PROTCOM_RMRET_ALARM;
}

int16_t CCpcProtCom::SendDisconnect()
{
    switch (disconnectState) {
    case CPCPROTCOM_SDST_IDLE:
        triesLeft = kTries;
        disconnectState = CPCPROTCOM_SDST_SEND;
        return PROTCOM_SDRET_BUSY;
    case CPCPROTCOM_SDST_SEND:
        return StepCommand(
            disconnectState, CPCPROTCOM_SDST_IDLE, CPC_REQ_DISCONNECT, "CCpcProtCom::SendDisconnect",
            "CPCPROTCOM_SDST_SEND: ",
            {PROTCOM_SDRET_DONE, PROTCOM_SDRET_RECEIVE_ERROR, PROTCOM_SDRET_RECEIVE_TIMEOUT, PROTCOM_SDRET_COM_ERROR});
    }
    // Not a state of the machine: start over.
    disconnectState = CPCPROTCOM_SDST_IDLE;
    return PROTCOM_SDRET_BUSY;
}

int16_t CCpcProtCom::SendTimeUpdate()
{
    switch (timeUpdateState) {
    case CPCPROTCOM_STST_IDLE:
        triesLeft = kTries;
        timeUpdateState = CPCPROTCOM_STST_SEND;
        return PROTCOM_STRET_BUSY;
    case CPCPROTCOM_STST_SEND:
        return StepCommand(
            timeUpdateState, CPCPROTCOM_STST_IDLE, CPC_REQ_TIME_UPDATE, "CCpcProtCom::SendTimeUpdate",
            "CPCPROTCOM_STST_SEND: ",
            {PROTCOM_STRET_DONE, PROTCOM_STRET_RECEIVE_ERROR, PROTCOM_STRET_RECEIVE_TIMEOUT, PROTCOM_STRET_COM_ERROR});
    }
    // Not a state of the machine: start over.
    timeUpdateState = CPCPROTCOM_STST_IDLE;
    return PROTCOM_STRET_BUSY;
}

template <typename State>
int16_t CCpcProtCom::StepCommand(State& state, State idle, int16_t request, const char* source,
                                 const std::string& prefix, const CommandResults& results)
{
    std::unique_ptr<CTelHandlerMsg> answer;
    int16_t result = 0;
    switch (Request(request, answer)) {
    case Outcome::Pending:
        return 0;
    case Outcome::Answer:
        if (IsAck(answer.get())) {
            Log(source, prefix + "TELHND_SRRET_RECEIVE_OK - Ack OK");
            result = results.done;
        } else {
            Log(source, prefix + "TELHND_SRRET_RECEIVE_OK - Nack");
            result = results.nack;
        }
        break;
    case Outcome::ErrorOrTimeout:
        Log(source, prefix + "Error/Timeout");
        if (!TriesUsedUp())
            return 0;  // the next call repeats the request
        result = results.timeout;
        break;
    case Outcome::ComError:
        Log(source, prefix + "TELHND_SRRET_COM_ERROR");
        result = results.comError;
        break;
    }
    state = idle;
    return result;
}

bool CCpcProtCom::IsTimeUpdateDue(int16_t /*remaining*/)
{
    // The telephone's own countdown decides, not the seconds left of the call.
    bool due = false;
    if (timeUpdateCountdown == 0) {
        timeUpdateCountdown = kTimeUpdateInterval;
        due = true;
    }
    --timeUpdateCountdown;
    return due;
}
