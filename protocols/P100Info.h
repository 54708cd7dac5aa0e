#pragma once
// P100 decoder: turns a 0x86 link frame (one P100 character 0-15 per payload
// byte) into a decoded message. Position N of the P100 message is payload
// byte N: 0 the message code, 1 the character count of the body, 2... the body.

#include "core/LogFile.h"
#include "messages/ComMsg.h"
#include "messages/TelHandlerMsg.h"

#include <memory>
#include <string>

class CP100Info {
public:
    explicit CP100Info(CLogFile* logFile = nullptr) : log(logFile) {}

    void SetLog(CLogFile* logFile) { log = logFile; }

    // A TEL_ALARM message (protocol P100) for a valid frame, none otherwise.
    std::unique_ptr<CTelHandlerMsg> Decode(const CComMsg& frame) const;
    // Checks that the body count (position 1) is required and reads the eight
    // identity digits (positions 2-9) into msg. False when the count is wrong,
    // the frame does not carry the body, or a digit is not decimal.
    bool ReadP100Id(const CComMsg& frame, CTelHandlerMsg& msg, int required) const;

private:
    void Log(const std::string& source, const std::string& text) const
    {
        if (log)
            log->Log(source, text);
    }

    // True when the frame holds the message code, the count and count body
    // characters. The count is the sender's claim; the frame length is what
    // actually arrived.
    bool CarriesBody(const CComMsg& frame, int count, const char* source) const;
    bool ReadUserData(const CComMsg& frame, CTelHandlerMsg& msg) const;

    CLogFile* log = nullptr;
};
