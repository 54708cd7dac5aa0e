#pragma once
// The AT commands of the GSM modem: turns request messages into command lines
// and response lines into response messages. Runs on the GSM handler's thread
// only and logs into the handler's log.

#include "core/IntervalTimer.h"
#include "core/LogFile.h"
#include "gsm/AtCmdProt.h"
#include "gsm/GsmMsg.h"

#include <cstdint>
#include <memory>
#include <string>

class CGsmInfo : public CAtCmdProt {
public:
    // Receive modes: what the next line is.
    static constexpr int16_t kModeNormal = 0;
    static constexpr int16_t kModeSmsText = 1;
    static constexpr int16_t kModeModel = 2;
    // How long a listed SMS waits for its text line, and the model request
    // for the model line.
    static constexpr uint32_t kModeTimeoutMs = 500;

    CGsmInfo() = default;

    // The log is borrowed; nullptr stops logging.
    void SetLog(CLogFile* logFile) { log = logFile; }
    void SetModemType(int16_t type) { modemType = type; }
    int16_t GetModemType() const { return modemType; }

    // Writes the command of the request: the result of SendLine, or
    // ATCMDPROT_SEND_ERROR for a request type that has no command.
    int16_t Send(const CGsmMsg& request);
    // The bytes Send writes for the request; empty for unknown types.
    std::string BuildCommand(const CGsmMsg& request) const;

    // Reads at most one line (one byte) and returns at most one response.
    std::unique_ptr<CGsmMsg> Receive();
    // What Receive does with one complete line.
    std::unique_ptr<CGsmMsg> HandleLine(const std::string& line);

    int16_t GetReceiveMode() const { return receiveMode; }
    // True once the port reported a read error after it was last opened (an
    // unplugged adapter, a hung-up line): the port needs opening again.
    bool LineFailed() const { return lineFailed; }
    int16_t Open(int16_t port, int32_t baudRate);

    // Signal quality in percent from the modem's rssi.
    static int16_t SignalPercent(int rssi);
    // Modem type of a model line.
    static int16_t ModelType(const std::string& line);
    // AT+WS46 value of a network selection index (0 to 6; others: every network).
    static int Ws46Value(int16_t netSelection);

private:
    std::unique_ptr<CGsmMsg> Classify(const std::string& line);
    std::unique_ptr<CGsmMsg> ParseListing(const std::string& line);
    std::unique_ptr<CGsmMsg> ParseCaller(const std::string& line) const;
    std::unique_ptr<CGsmMsg> TakeSmsText(const std::string& line);
    std::unique_ptr<CGsmMsg> TakeModel(const std::string& line);
    void EnterMode(int16_t mode);
    void LeaveMode();
    void Log(const char* source, const std::string& text);

    int16_t modemType = 0;
    int16_t receiveMode = kModeNormal;
    CIntervalTimer modeTimer;
    std::unique_ptr<CGsmMsg> pendingSms;
    CLogFile* log = nullptr;
    bool lineFailed = false;
};
