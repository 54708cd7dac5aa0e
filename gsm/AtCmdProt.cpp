#include "gsm/AtCmdProt.h"

#include "core/TickSource.h"

#include <algorithm>

namespace {

constexpr uint8_t kCr = '\r';
constexpr uint8_t kLf = '\n';

// SerialPort::ReadByte results.
constexpr int kReadNothing = 0;
constexpr int kReadByte = 1;

// Open throws away what waits in the line, but a modem that never stops
// talking must not keep Open from returning.
constexpr std::size_t kMaxFlushBytes = 65536;

}  // namespace

std::atomic<const CAtCmdProt::LineTap*> CAtCmdProt::lineTap{nullptr};

CAtCmdProt::~CAtCmdProt()
{
    Close();
}

void CAtCmdProt::SetLineTap(const LineTap* tap)
{
    lineTap.store(tap);
}

void CAtCmdProt::Tap(bool sent, std::size_t count)
{
    if (const LineTap* tap = lineTap.load(); tap != nullptr && *tap)
        (*tap)(sent, count);
}

int16_t CAtCmdProt::Open(int16_t port, int32_t baudRate)
{
    serialPort.SetPortNumber(port);
    serialPort.SetBaudRate(baudRate);
    ResetLine();
    if (serialPort.Open() != COMRET_OK)
        return 0;

    // Whatever the modem said before (a start-up banner, answers to an
    // earlier run) belongs to no command of ours.
    uint8_t b = 0;
    for (std::size_t n = 0; n < kMaxFlushBytes && serialPort.ReadByte(b) == kReadByte; ++n)
        Tap(false, 1);
    return 1;
}

void CAtCmdProt::Close()
{
    serialPort.Close();
    ResetLine();
}

void CAtCmdProt::SetVerbatimCount(int16_t count)
{
    // A listed SMS cannot be longer than a line; a larger count could only
    // swallow the line ends of the responses behind it.
    verbatimCount = std::clamp<int16_t>(count, 0, static_cast<int16_t>(kMaxLineBytes));
}

void CAtCmdProt::ResetLine()
{
    lineText.clear();
    byteCount = 0;
    crSeen = false;
    verbatimCount = 0;
}

int16_t CAtCmdProt::ReceiveLine(std::unique_ptr<CGpBuffer>& line)
{
    uint8_t b = 0;
    // The tap counts what came off the line: a read from the driver takes
    // whatever has arrived, the bytes after the first wait in the buffer.
    const bool fromBuffer = serialPort.HasBufferedInput();
    const int read = serialPort.ReadByte(b);
    if (read == kReadByte) {
        if (!fromBuffer)
            Tap(false, 1 + serialPort.BufferedInput());
        if (TakeByte(b, line))
            return ATCMDPROT_RECEIVE_LINE;
    } else if (read == kReadNothing) {
        if (idleWait)
            idleWait();
        else
            SleepMs(1);
    } else {
        SleepMs(1);
        return ATCMDPROT_RECEIVE_ERROR;
    }

    // A line without an end (the SMS prompt) is complete once the modem has
    // been quiet for 100 ms.
    if (byteCount > 0 && idleTimer.Expired()) {
        const bool hasText = !lineText.empty();
        if (hasText)
            line = std::make_unique<CGpBuffer>(std::move(lineText));
        ResetLine();
        if (hasText)
            return ATCMDPROT_RECEIVE_LINE;
    }
    return ATCMDPROT_RECEIVE_NONE;
}

bool CAtCmdProt::TakeByte(uint8_t b, std::unique_ptr<CGpBuffer>& line)
{
    idleTimer.Start(kIdleFlushMs);
    if (byteCount == 0)
        lineText.clear();
    if (byteCount >= kMaxLineBytes) {
        // No response is this long: the line is noise. Drop it with this byte.
        ResetLine();
        return false;
    }
    ++byteCount;

    if (b == kCr) {
        if (verbatimCount <= 0) {
            crSeen = true;
        } else {
            // A carriage return inside a listed SMS's text is part of it.
            lineText += static_cast<char>(b);
            --verbatimCount;
        }
        return false;
    }

    if (b == kLf && crSeen) {
        crSeen = false;
        if (lineText.empty()) {
            // An empty line separates responses; nothing of it is kept, so
            // it can neither be handed out nor count towards the next line.
            ResetLine();
            return false;
        }
        line = std::make_unique<CGpBuffer>(std::move(lineText));
        ResetLine();
        return true;
    }

    lineText += static_cast<char>(b);
    crSeen = false;
    if (verbatimCount > 0)
        --verbatimCount;
    return false;
}

int16_t CAtCmdProt::SendLine(const std::string& text)
{
    for (char c : text) {
        if (serialPort.WriteByte(static_cast<uint8_t>(c)) != 0)
            return ATCMDPROT_SEND_ERROR;
        Tap(true, 1);
    }
    return ATCMDPROT_SEND_OK;
}
