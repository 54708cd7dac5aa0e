#pragma once
// Requests of the telephone handler to the modem and the answers converted
// back from the modem's frames.

#include "core/BufferMsg.h"
#include "messages/TelHandlerMsg.h"

#include <cstdint>
#include <memory>

// The modem's identification.
class CSwHwInfo {
public:
    virtual ~CSwHwInfo() = default;
    uint16_t swVersion = 0;  // high byte major, low byte minor
    uint8_t swInfo = 0;
    uint8_t modelId = 0;
    uint8_t hwVersion = 0;
    uint8_t interfaceType = 0;
};

// Request types (CTelMsg type -> frame command).
constexpr uint16_t TELREQ_LINE_CONTROL = 0;  // 0x82 value
constexpr uint16_t TELREQ_0x83 = 1;
constexpr uint16_t TELREQ_SEND_DATA = 2;  // 0x84 data
constexpr uint16_t TELREQ_0x85 = 3;
constexpr uint16_t TELREQ_P100_START = 5;  // 0x87 param
constexpr uint16_t TELREQ_0x89 = 7;
constexpr uint16_t TELREQ_IDENTIFY = 8;  // 0x8A
constexpr uint16_t TELREQ_RESET = 9;     // 0x8B
constexpr uint16_t TELREQ_0x8C = 10;
constexpr uint16_t TELREQ_VOICE_NOTIFY = 11;  // 0x8D value
constexpr uint16_t TELREQ_0x8E = 12;
constexpr uint16_t TELREQ_CPC = 13;           // 0x8F built by the CPC encoder from param
constexpr uint16_t TELREQ_RELAY = 14;         // 0x90 param, value
constexpr uint16_t TELREQ_WIRELESS_NET = 15;  // 0x91 param, params[0]

// Answer types.
constexpr uint16_t TELANS_ALARM = 7;  // alarm set
constexpr uint16_t TELANS_START_TIMEOUT = 8;
constexpr uint16_t TELANS_RETRIES_EXCEEDED = 9;
constexpr uint16_t TELANS_MSG_TIMEOUT = 10;
constexpr uint16_t TELANS_CHECKSUM_ERROR = 11;
constexpr uint16_t TELANS_TIMING_ERROR = 12;
constexpr uint16_t TELANS_SWHW_INFO = 14;  // info set

class CTelMsg : public CBufferMsg {
public:
    CTelMsg() = default;
    explicit CTelMsg(uint16_t msgType) : CBufferMsg(msgType) {}

    std::unique_ptr<CTelHandlerMsg> alarm;  // answer 7
    std::unique_ptr<CSwHwInfo> info;        // answer 14
    int32_t value = 0;                      // on/off (0, 11); relay state (14)
    int16_t param = 0;                      // 0x87 value (5); CPC request (13); relay index (14); net selection (15)
};
