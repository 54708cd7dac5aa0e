#pragma once
// Common interface of the alarm protocols. Every operation is a non-blocking
// step: the incoming-call manager calls it again and again until it returns a
// final (non-zero) result.

#include "core/IntervalTimer.h"
#include "core/LogFile.h"
#include "messages/TelHandlerMsg.h"
#include "protocols/TelLine.h"

#include <cstdint>
#include <memory>
#include <string>

// ReceiveMsg
constexpr int16_t PROTCOM_RMRET_BUSY = 0;
constexpr int16_t PROTCOM_RMRET_ALARM = 1;        // alarm handed over, exchange finished
constexpr int16_t PROTCOM_RMRET_VOICE_ALARM = 2;  // voice alarm handed over, line stays open
constexpr int16_t PROTCOM_RMRET_DATA = 3;         // message handed over, more may follow
constexpr int16_t PROTCOM_RMRET_RECEIVE_ERROR = 4;
constexpr int16_t PROTCOM_RMRET_RECEIVE_TIMEOUT = 5;  // try the next protocol
constexpr int16_t PROTCOM_RMRET_COM_ERROR = 6;
// SendDisconnect, SendRedirect
constexpr int16_t PROTCOM_SDRET_BUSY = 0;
constexpr int16_t PROTCOM_SDRET_DONE = 1;
constexpr int16_t PROTCOM_SDRET_RECEIVE_ERROR = 2;
constexpr int16_t PROTCOM_SDRET_RECEIVE_TIMEOUT = 3;
constexpr int16_t PROTCOM_SDRET_COM_ERROR = 4;
// SendTimeUpdate
constexpr int16_t PROTCOM_STRET_BUSY = 0;
constexpr int16_t PROTCOM_STRET_DONE = 1;
constexpr int16_t PROTCOM_STRET_RECEIVE_ERROR = 2;
constexpr int16_t PROTCOM_STRET_RECEIVE_TIMEOUT = 3;
constexpr int16_t PROTCOM_STRET_COM_ERROR = 4;

class CProtCom {
public:
    virtual ~CProtCom() = default;

    // Called at every start of the telephone handler. The protocols override
    // it to start every dialogue anew as well.
    virtual void Init(CTelLine* telHandler, bool voiceCalls, CLogFile* logFile)
    {
        line = telHandler;
        voiceCallFlag = voiceCalls;
        log = logFile;
        timer = CIntervalTimer{};
    }
    // On PROTCOM_RMRET_ALARM, _VOICE_ALARM and _DATA, out holds the message
    // and the caller owns it.
    virtual int16_t ReceiveMsg(std::unique_ptr<CTelHandlerMsg>& out) = 0;
    virtual int16_t SendDisconnect() = 0;
    virtual int16_t SendTimeUpdate() { return PROTCOM_STRET_DONE; }
    virtual bool IsTimeUpdateDue(int16_t /*remaining*/) { return false; }
    virtual int16_t SendRedirect(int32_t /*mode*/) { return PROTCOM_SDRET_DONE; }
    virtual bool SupportsRedirect() const { return false; }

protected:
    // Writes "<source>: <text>" to the telephone log, when there is one.
    void Log(const char* source, const std::string& text)
    {
        if (log)
            log->Log(source, text);
    }

    CTelLine* line = nullptr;
    CLogFile* log = nullptr;
    bool voiceCallFlag = false;
    CIntervalTimer timer;
    int32_t logLevel = 1;
};
