#include "protocols/P100ProtCom.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string>

using enum P100ReceiveState;
using enum P100DisconnectState;
using enum P100RedirectState;

namespace {

constexpr const char* kReceiveSource = "CP100ProtCom::ReceiveMsg";
constexpr const char* kDisconnectSource = "CP100ProtCom::SendDisconnect";
constexpr const char* kRedirectSource = "CP100ProtCom::SendRedirect";

// The commands the telephone understands.
constexpr uint8_t kByteDisconnect = 0x0F;
constexpr uint8_t kByteRedirect = 0x03;
constexpr uint8_t kByteRedirectMode0 = 0x10;

std::unique_ptr<CBufferMsg> MakeData(std::initializer_list<uint8_t> bytes)
{
    auto data = std::make_unique<CBufferMsg>();
    std::copy(bytes.begin(), bytes.end(), data->data.begin());
    data->length = static_cast<int16_t>(bytes.size());
    return data;
}

std::string Hex2(unsigned value)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X ", value);
    return buf;
}

std::string IdentityText(const CTelHandlerMsg& msg)
{
    return "ID: " + msg.idCode + ", IdType: " + std::to_string(msg.idType) +
           ", ModelCode: " + std::to_string(msg.modelCode);
}

}  // namespace

void CP100ProtCom::Init(CTelLine* telHandler, bool voiceCalls, CLogFile* logFile)
{
    receiveState = P100PROTCOM_RMST_IDLE;
    triesLeft = 0;
    startAttempt = 0;
    storedId.clear();
    storedIdType = 0;
    storedModelCode = 0;
    disconnectState = P100PROTCOM_SDST_IDLE;
    redirectState = P100PROTCOM_SRST_IDLE;
    outgoingData.reset();
    CProtCom::Init(telHandler, voiceCalls, logFile);
}

int16_t CP100ProtCom::ReceiveMsg(std::unique_ptr<CTelHandlerMsg>& out)
{
    switch (receiveState) {
    case P100PROTCOM_RMST_IDLE:
        triesLeft = kStartTries;
        startAttempt = 1;
        // A user id belongs to one call only.
        storedId.clear();
        storedIdType = 0;
        storedModelCode = 0;
        receiveState = P100PROTCOM_RMST_RECEIVE;
        return PROTCOM_RMRET_BUSY;
    case P100PROTCOM_RMST_RECEIVE:
        return StepReceive(out);
    }
    // Not a state of the machine: start over.
    return EndReceive(PROTCOM_RMRET_BUSY);
}

int16_t CP100ProtCom::EndReceive(int16_t result)
{
    receiveState = P100PROTCOM_RMST_IDLE;
    return result;
}

int16_t CP100ProtCom::StepReceive(std::unique_ptr<CTelHandlerMsg>& out)
{
    if (!line)
        return EndReceive(PROTCOM_RMRET_COM_ERROR);  // not bound to a telephone handler yet

    std::unique_ptr<CTelHandlerMsg> msg;
    switch (line->SendReceive(TELHND_SR_P100_START, startAttempt, msg)) {
    case TELHND_SRRET_PENDING:
        return PROTCOM_RMRET_BUSY;
    case TELHND_SRRET_RECEIVE_OK:
        Log(kReceiveSource, "P100PROTCOM_RMST_RECEIVE: P100 Message received OK");
        return HandleMessage(std::move(msg), out);
    case TELHND_SRRET_START_TIMEOUT:
        --triesLeft;
        if (triesLeft > 0) {
            Log(kReceiveSource, "P100PROTCOM_RMST_RECEIVE: Start Timeout, retrying");
            ++startAttempt;
            return PROTCOM_RMRET_BUSY;
        }
        Log(kReceiveSource, "P100PROTCOM_RMST_RECEIVE: Start Timeout, max exceeded");
        return EndReceive(PROTCOM_RMRET_RECEIVE_TIMEOUT);
    case TELHND_SRRET_RETRIES_EXCEEDED:
        Log(kReceiveSource, "P100PROTCOM_RMST_RECEIVE: No of retries exceeded");
        return EndReceive(PROTCOM_RMRET_RECEIVE_TIMEOUT);
    // The modem retries by itself after these; the wait goes on.
    case TELHND_SRRET_MSG_TIMEOUT:
        Log(kReceiveSource, "P100PROTCOM_RMST_RECEIVE: Message timeout, retrying");
        return PROTCOM_RMRET_BUSY;
    case TELHND_SRRET_CHECKSUM_ERROR:
        Log(kReceiveSource, "P100PROTCOM_RMST_RECEIVE: Checksum error, retrying");
        return PROTCOM_RMRET_BUSY;
    case TELHND_SRRET_TIMING_ERROR:
        Log(kReceiveSource, "P100PROTCOM_RMST_RECEIVE: Timing error, retrying");
        return PROTCOM_RMRET_BUSY;
    default:
        // TELHND_SRRET_COM_ERROR. A result the handler never gives is taken
        // as one too, so the loop ends instead of waiting for ever.
        Log(kReceiveSource, "P100PROTCOM_RMST_RECEIVE: Serial communication error");
        return EndReceive(PROTCOM_RMRET_COM_ERROR);
    }
}

int16_t CP100ProtCom::HandleMessage(std::unique_ptr<CTelHandlerMsg> msg, std::unique_ptr<CTelHandlerMsg>& out)
{
    switch (msg ? msg->msgType : 0) {
    case TELMSG_P100_ALARM:
    case TELMSG_OP_FAIL:
    case TELMSG_TEST:
        Log(kReceiveSource, "MsgType: " + std::to_string(msg->msgType) + ", " + IdentityText(*msg) +
                                ", OfType: " + std::to_string(msg->ofType));
        out = std::move(msg);
        return EndReceive(PROTCOM_RMRET_ALARM);
    case TELMSG_VOICE:
        Log(kReceiveSource, "MsgType: Voice, " + IdentityText(*msg));
        out = std::move(msg);
        return EndReceive(PROTCOM_RMRET_VOICE_ALARM);
    case TELMSG_USER_ID:
        // The user data messages that follow carry no identity of their own.
        Log(kReceiveSource, "MsgType: UserId, " + IdentityText(*msg));
        storedId = msg->idCode;
        storedIdType = msg->idType;
        storedModelCode = msg->modelCode;
        triesLeft = kStartTries;
        return PROTCOM_RMRET_BUSY;
    case TELMSG_USER_DATA: {
        if (storedId.empty()) {
            Log(kReceiveSource, "UserData without ID");
            return EndReceive(PROTCOM_RMRET_RECEIVE_ERROR);
        }
        std::string text = "MsgType: UserData, Data: ";
        const int bytes = std::clamp<int>(msg->userDataLen, 0, static_cast<int>(msg->userData.size()));
        for (int i = 0; i < bytes; ++i)
            text += Hex2(msg->userData[static_cast<size_t>(i)]);
        Log(kReceiveSource, text);
        msg->idCode = storedId;
        msg->idType = storedIdType;
        msg->modelCode = storedModelCode;
        out = std::move(msg);
        // More data may follow; the telephone may pause longer between them.
        triesLeft = kUserDataTries;
        return PROTCOM_RMRET_DATA;
    }
    default:
        Log(kReceiveSource, "Unknown message type");
        return EndReceive(PROTCOM_RMRET_RECEIVE_ERROR);
    }
}

int16_t CP100ProtCom::SendDisconnect()
{
    switch (disconnectState) {
    case P100PROTCOM_SDST_IDLE:
        Log(kDisconnectSource, "P100PROTCOM_SDST_IDLE");
        timer.Start(kCommandWaitMs);
        disconnectState = P100PROTCOM_SDST_WAIT;
        return PROTCOM_SDRET_BUSY;
    case P100PROTCOM_SDST_WAIT:
        if (timer.Expired()) {
            outgoingData = MakeData({kByteDisconnect});
            disconnectState = P100PROTCOM_SDST_SEND;
        }
        return PROTCOM_SDRET_BUSY;
    case P100PROTCOM_SDST_SEND:
        return StepSendCommand(disconnectState, P100PROTCOM_SDST_DELAY, P100PROTCOM_SDST_IDLE, kDisconnectSource,
                               "P100PROTCOM_SDST_SEND: Disconnect OK",
                               "P100PROTCOM_SDST_SEND: Serial communication error", kDisconnectDelayMs);
    case P100PROTCOM_SDST_DELAY:
        if (!timer.Expired())
            return PROTCOM_SDRET_BUSY;
        disconnectState = P100PROTCOM_SDST_IDLE;
        return PROTCOM_SDRET_DONE;
    }
    // Not a state of the machine: start over.
    disconnectState = P100PROTCOM_SDST_IDLE;
    return PROTCOM_SDRET_BUSY;
}

int16_t CP100ProtCom::SendRedirect(int32_t mode)
{
    switch (redirectState) {
    case P100PROTCOM_SRST_IDLE:
        Log(kRedirectSource, "P100PROTCOM_SRST_IDLE");
        timer.Start(kCommandWaitMs);
        redirectState = P100PROTCOM_SRST_WAIT;
        return PROTCOM_SDRET_BUSY;
    case P100PROTCOM_SRST_WAIT:
        if (timer.Expired()) {
            outgoingData =
                mode != 0 ? MakeData({kByteRedirect}) : MakeData({kByteRedirect, kByteRedirectMode0, kByteDisconnect});
            redirectState = P100PROTCOM_SRST_SEND;
        }
        return PROTCOM_SDRET_BUSY;
    case P100PROTCOM_SRST_SEND:
        return StepSendCommand(redirectState, P100PROTCOM_SRST_DELAY, P100PROTCOM_SRST_IDLE, kRedirectSource,
                               "P100PROTCOM_SRST_SEND: Redirect Call Sent",
                               "P100PROTCOM_SRST_SEND: Serial communication error", kRedirectDelayMs);
    case P100PROTCOM_SRST_DELAY:
        if (!timer.Expired())
            return PROTCOM_SDRET_BUSY;
        redirectState = P100PROTCOM_SRST_IDLE;
        return PROTCOM_SDRET_DONE;
    }
    // Not a state of the machine: start over.
    redirectState = P100PROTCOM_SRST_IDLE;
    return PROTCOM_SDRET_BUSY;
}

template <typename State>
int16_t CP100ProtCom::StepSendCommand(State& state, State delayState, State idle, const char* source,
                                      const char* sentText, const char* errorText, uint32_t delayMs)
{
    const int16_t result = (line && outgoingData) ? line->SendData(*outgoingData) : TELHND_SDRET_COM_ERROR;
    if (result == TELHND_SDRET_PENDING)
        return PROTCOM_SDRET_BUSY;
    outgoingData.reset();
    if (result == TELHND_SDRET_DONE) {
        Log(source, sentText);
        timer.Start(delayMs);
        state = delayState;
        return PROTCOM_SDRET_BUSY;
    }
    // TELHND_SDRET_COM_ERROR, or a result the handler never gives.
    Log(source, errorText);
    state = idle;
    return PROTCOM_SDRET_COM_ERROR;
}
