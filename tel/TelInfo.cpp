#include "tel/TelInfo.h"

#include "core/Handler.h"

#include <algorithm>
#include <string>

namespace {

constexpr const char* kConvertRequest = "CTelInfo::ConvertRequest";

// Commands of the requests that carry no payload.
uint8_t PlainCommand(uint16_t type)
{
    switch (type) {
    case TELREQ_0x83:
        return 0x83;
    case TELREQ_0x85:
        return 0x85;
    case TELREQ_0x89:
        return 0x89;
    case TELREQ_IDENTIFY:
        return CMD_IDENTIFY;
    case TELREQ_RESET:
        return CMD_RESET_LINE;
    case TELREQ_0x8C:
        return CMD_PRIORITY;
    case TELREQ_0x8E:
        return CMD_CPC_DATA;
    default:
        return 0;
    }
}

// Answer type of the modem's result codes.
uint16_t ResultAnswer(uint8_t command)
{
    switch (command) {
    case 0x87:
        return TELANS_START_TIMEOUT;
    case 0x88:
        return TELANS_RETRIES_EXCEEDED;
    case 0x89:
        return TELANS_MSG_TIMEOUT;
    case 0x8A:
        return TELANS_CHECKSUM_ERROR;
    case 0x8B:
        return TELANS_TIMING_ERROR;
    case 0x8F:
        return TELANS_RETRIES_EXCEEDED;
    case 0x90:
        return TELANS_START_TIMEOUT;
    default:
        return 0;
    }
}

}  // namespace

void CTelInfo::Init(CMsgReceiver* linkThread, CLogFile* logFile)
{
    link = linkThread;
    log = logFile;
    cpcInfo.SetLog(logFile);
    p100Info.SetLog(logFile);
}

void CTelInfo::ConvertRequest(std::unique_ptr<CTelMsg> request)
{
    if (!request)
        return;
    auto frame = std::make_unique<CComMsg>(LNK_SEND);
    frame->SetStatusByte(0);
    int16_t length = 0;
    const uint16_t type = request->GetType();
    switch (type) {
    case TELREQ_LINE_CONTROL:
        frame->SetCommand(CMD_LINE_CONTROL);
        frame->SetPayload(length++, static_cast<uint8_t>(request->value));
        break;
    case TELREQ_SEND_DATA: {
        // A frame carries at most 254 payload bytes (its length byte counts the
        // status byte too); more would be cut off, so it is refused whole.
        if (request->length < 0 || request->length > CComMsg::kMaxPayload) {
            if (log)
                log->Log(kConvertRequest, "Invalid data length: " + std::to_string(request->length));
            return;
        }
        frame->SetCommand(CMD_SEND_DATA);
        for (; length < request->length; ++length)
            frame->SetPayload(length, request->data[static_cast<size_t>(length)]);
        break;
    }
    case TELREQ_P100_START:
        frame->SetCommand(CMD_P100_START);
        frame->SetPayload(length++, static_cast<uint8_t>(request->param));
        break;
    case TELREQ_VOICE_NOTIFY:
        frame->SetCommand(CMD_VOICE_NOTIFY);
        frame->SetPayload(length++, static_cast<uint8_t>(request->value));
        break;
    case TELREQ_CPC:
        cpcInfo.Encode(*frame, request->param);
        length = frame->GetLength();
        break;
    case TELREQ_RELAY:
        frame->SetCommand(CMD_RELAY);
        frame->SetPayload(length++, static_cast<uint8_t>(request->param));
        frame->SetPayload(length++, static_cast<uint8_t>(request->value));
        break;
    case TELREQ_WIRELESS_NET:
        frame->SetCommand(CMD_WIRELESS_NET);
        frame->SetPayload(length++, static_cast<uint8_t>(request->param));
        frame->SetPayload(length++, static_cast<uint8_t>(request->params[0]));
        break;
    default: {
        const uint8_t command = PlainCommand(type);
        if (command == 0) {
            if (log)
                log->Log(kConvertRequest, "Unknown request type: " + std::to_string(type));
            return;
        }
        frame->SetCommand(command);
        break;
    }
    }
    frame->SetType(LNK_SEND);
    frame->SetLength(length);
    CHandler::PostMsg(link, std::move(frame));
}

std::unique_ptr<CTelMsg> CTelInfo::ConvertAnswer(const CComMsg& frame)
{
    const uint8_t command = frame.GetCommand();
    switch (command) {
    case CMD_P100_DATA: {
        // A P100 message that does not decode counts as no message start: the
        // protocol asks the modem again.
        std::unique_ptr<CTelHandlerMsg> alarm = p100Info.Decode(frame);
        if (!alarm)
            return std::make_unique<CTelMsg>(TELANS_START_TIMEOUT);
        auto answer = std::make_unique<CTelMsg>(TELANS_ALARM);
        answer->alarm = std::move(alarm);
        return answer;
    }
    case CMD_CPC_DATA: {
        std::unique_ptr<CTelHandlerMsg> alarm = cpcInfo.Decode(frame);
        if (!alarm)
            return nullptr;
        auto answer = std::make_unique<CTelMsg>(TELANS_ALARM);
        answer->alarm = std::move(alarm);
        return answer;
    }
    case 0x8D: {  // the modem's identification
        // Bytes the modem did not send read as 0, so a short identification
        // fails the model check instead of passing with stale bytes.
        const auto byte = [&frame](int i) -> uint8_t { return i < frame.GetLength() ? frame.GetPayload(i) : 0; };
        auto info = std::make_unique<CSwHwInfo>();
        info->swVersion = static_cast<uint16_t>(byte(0) * 256 + byte(1));
        info->swInfo = byte(2);
        info->modelId = byte(3);
        info->hwVersion = byte(4);
        info->interfaceType = byte(5);
        auto answer = std::make_unique<CTelMsg>(TELANS_SWHW_INFO);
        answer->info = std::move(info);
        return answer;
    }
    default: {
        const uint16_t type = ResultAnswer(command);
        if (type == 0)
            return nullptr;
        return std::make_unique<CTelMsg>(type);
    }
    }
}

std::unique_ptr<CTelHandlerMsg> CTelInfo::DecodeP100(const CComMsg& frame)
{
    return p100Info.Decode(frame);
}
