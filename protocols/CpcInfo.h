#pragma once
// CPC codec: turns a CPC request number into the digits of a 0x8F link frame
// and a 0x8E answer frame from the lift telephone back into a decoded message.
// A CPC digit is one byte with a value 0-15; the frame's data count is the
// digit count.

#include "core/LogFile.h"
#include "messages/ComMsg.h"
#include "messages/TelHandlerMsg.h"

#include <cstdint>
#include <memory>

// CPC requests (the value the protocol passes to SendReceive).
constexpr int16_t CPC_REQ_ID = 0;           // identify: 0 2 1
constexpr int16_t CPC_REQ_ALARMCODE = 1;    // send alarm code: 0 3
constexpr int16_t CPC_REQ_ACK_VOICE = 2;    // acknowledge a voice alarm: 0 5 1
constexpr int16_t CPC_REQ_ACK_OTHER = 3;    // acknowledge a battery or test alarm: 0 5 2
constexpr int16_t CPC_REQ_DISCONNECT = 4;   // hang up: 0 6 0 1
constexpr int16_t CPC_REQ_TIME_UPDATE = 5;  // keep the voice call open: 0 6 0 7

class CCpcInfo {
public:
    explicit CCpcInfo(CLogFile* logFile = nullptr) : log(logFile) {}

    void SetLog(CLogFile* logFile) { log = logFile; }

    // Command 0x8F, the request's digits from payload index 0, length = digit
    // count. An unknown request number gives a frame without digits.
    void Encode(CComMsg& frame, int16_t request) const;
    // A TEL_ALARM message (protocol CPC) for a valid answer frame, none for an
    // invalid one.
    std::unique_ptr<CTelHandlerMsg> Decode(const CComMsg& frame) const;

private:
    CLogFile* log = nullptr;
};
