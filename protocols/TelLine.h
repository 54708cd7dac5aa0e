#pragma once
// What the incoming-call manager and the alarm protocols need of the
// telephone handler: the request operations (non-blocking steps, called again
// and again until they return non-zero) and the modem's status.

#include "core/BufferMsg.h"
#include "messages/TelHandlerMsg.h"

#include <cstdint>
#include <memory>

// LineControl
constexpr int16_t TELHND_LCRET_PENDING = 0;
constexpr int16_t TELHND_LCRET_OK = 1;
constexpr int16_t TELHND_LCRET_COM_ERROR = 2;
// SendReceive
constexpr int16_t TELHND_SRRET_PENDING = 0;
constexpr int16_t TELHND_SRRET_RECEIVE_OK = 1;
constexpr int16_t TELHND_SRRET_START_TIMEOUT = 2;
constexpr int16_t TELHND_SRRET_RETRIES_EXCEEDED = 3;
constexpr int16_t TELHND_SRRET_MSG_TIMEOUT = 4;
constexpr int16_t TELHND_SRRET_CHECKSUM_ERROR = 5;
constexpr int16_t TELHND_SRRET_TIMING_ERROR = 6;
constexpr int16_t TELHND_SRRET_COM_ERROR = 7;
// SendData
constexpr int16_t TELHND_SDRET_PENDING = 0;
constexpr int16_t TELHND_SDRET_DONE = 1;
constexpr int16_t TELHND_SDRET_COM_ERROR = 2;
// ReadSwHwInfo
constexpr int16_t TELHND_RSRET_PENDING = 0;
constexpr int16_t TELHND_RSRET_OK = 1;
constexpr int16_t TELHND_RSRET_COM_ERROR = 2;
// ResetModem
constexpr int16_t TELHND_TRRET_PENDING = 0;
constexpr int16_t TELHND_TRRET_OK = 1;
constexpr int16_t TELHND_TRRET_LINE_ERROR = 2;
constexpr int16_t TELHND_TRRET_COM_ERROR = 3;

// SendReceive kinds.
constexpr int16_t TELHND_SR_P100_START = 0;  // 0x87 with the start attempt
constexpr int16_t TELHND_SR_CPC = 1;         // 0x8F CPC request

class CTelLine {
public:
    virtual ~CTelLine() = default;

    virtual int16_t LineControl(bool on) = 0;
    // On TELHND_SRRET_RECEIVE_OK, out holds the decoded message (the caller owns it).
    virtual int16_t SendReceive(int16_t kind, int16_t value, std::unique_ptr<CTelHandlerMsg>& out) = 0;
    // Sends data.length bytes of data.data to the calling telephone.
    virtual int16_t SendData(const CBufferMsg& data) = 0;
    virtual void VoiceCallNotify(bool on) = 0;

    virtual bool IsRing() const = 0;
    virtual bool IsHandsetOffHook() const = 0;
    virtual bool IsConnected() const = 0;
    virtual bool IsBusy() const = 0;
    virtual bool IsComTimeout() const = 0;
};
