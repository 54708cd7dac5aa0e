#pragma once
// The GSM modem's serial line as a stream of response lines. The line reader
// takes one byte per call so that the GSM handler's loop never blocks:
// - a line ends with CR LF; a lone CR is dropped, an LF without CR is kept;
// - an empty line (CR LF alone) is swallowed;
// - a line that reaches 256 bytes without an end is dropped, and the bytes
//   after it start a new line;
// - a line without an end is handed out 100 ms after its last byte: this is
//   how the SMS prompt "> ", which never gets a line end, arrives;
// - while the verbatim count is positive, a CR is text, not a line end: the
//   text of a listed SMS may hold carriage returns, and its length is known.

#include "core/GpBuffer.h"
#include "core/IntervalTimer.h"
#include "tel/SerialPort.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

constexpr int16_t ATCMDPROT_RECEIVE_NONE = 0;
constexpr int16_t ATCMDPROT_RECEIVE_LINE = 1;
constexpr int16_t ATCMDPROT_RECEIVE_ERROR = 2;
constexpr int16_t ATCMDPROT_SEND_OK = 3;
constexpr int16_t ATCMDPROT_SEND_ERROR = 4;

class CAtCmdProt {
public:
    static constexpr uint16_t kMaxLineBytes = 256;
    static constexpr uint32_t kIdleFlushMs = 100;

    CAtCmdProt() = default;
    ~CAtCmdProt();  // closes the port
    CAtCmdProt(const CAtCmdProt&) = delete;
    CAtCmdProt& operator=(const CAtCmdProt&) = delete;

    // Opens the port and throws away whatever the modem sent before: 1 when
    // the port opened, 0 otherwise.
    int16_t Open(int16_t port, int32_t baudRate);
    void Close();
    bool IsOpen() const { return serialPort.IsOpen(); }
    // The line's descriptor, for the handler to wait on.
    int PortFd() const { return serialPort.Fd(); }
    // What a ReceiveLine that found no byte does before it returns. Without
    // one it sleeps a millisecond; the GSM handler sets one that sleeps until
    // a request, a byte or its next time-out.
    using IdleWait = std::function<void()>;
    void SetIdleWait(IdleWait wait) { idleWait = std::move(wait); }

    // Reads at most one byte. ATCMDPROT_RECEIVE_LINE hands out a completed
    // line (without its CR LF); ATCMDPROT_RECEIVE_NONE: nothing complete yet
    // (the call slept 1 ms when no byte was waiting); ATCMDPROT_RECEIVE_ERROR:
    // the port failed (it also sleeps 1 ms, so a dead line cannot make the
    // caller spin).
    int16_t ReceiveLine(std::unique_ptr<CGpBuffer>& line);

    // Writes the text byte by byte: ATCMDPROT_SEND_OK, or ATCMDPROT_SEND_ERROR
    // at the first byte the port refused.
    int16_t SendLine(const std::string& text);

    // Number of further text bytes in which a CR does not end the line.
    void SetVerbatimCount(int16_t count);
    int16_t GetVerbatimCount() const { return verbatimCount; }

    // Sees the number of bytes that cross any AT line (sent: towards the
    // modem). The station never sets one; the tests do, to keep their
    // simulated clock in step with their simulated modem. The caller keeps
    // the function alive until it removes it again with nullptr.
    using LineTap = std::function<void(bool sent, std::size_t count)>;
    static void SetLineTap(const LineTap* tap);

private:
    // Takes one received byte; true when it completed a line.
    bool TakeByte(uint8_t b, std::unique_ptr<CGpBuffer>& line);
    void ResetLine();
    static void Tap(bool sent, std::size_t count);

    SerialPort serialPort;
    IdleWait idleWait;
    CIntervalTimer idleTimer;
    std::string lineText;  // the line being collected
    uint16_t byteCount = 0;
    bool crSeen = false;
    int16_t verbatimCount = 0;

    static std::atomic<const LineTap*> lineTap;
};
