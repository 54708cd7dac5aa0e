#pragma once
// Framing layer of the link to the telephone modem. A frame is a command
// byte, a length byte (only when bit 7 of the command is set), the body
// (status byte first, then the payload) and a checksum: 0xFF XOR every byte
// before it. Commands with bit 7 clear carry no length byte and a body of
// fixedLength bytes.
//
// The receiver works one byte per Poll, so a frame may arrive over several
// calls; a silence of 50 ms inside a frame discards what was collected. The
// buffer given to Poll and ReceiveFrame must hold 256 bytes: the command at
// byte 0, the body from byte 1 (length byte and checksum are not stored).
//
// One ModemLink is used by one thread (the link thread) at a time.

#include "tel/SerialPort.h"

#include <cstdint>

constexpr int16_t LNKRET_OPEN_OK = 0;
constexpr int16_t LNKRET_OPEN_FAILED = 1;
constexpr int16_t LNKRET_SENT = 2;
constexpr int16_t LNKRET_SEND_ERROR = 3;
constexpr int16_t LNKRET_PENDING = 4;
constexpr int16_t LNKRET_RECEIVED = 5;
constexpr int16_t LNKRET_TIMEOUT = 6;
constexpr int16_t LNKRET_CHECKSUM_ERROR = 7;
constexpr int16_t LNKRET_READ_ERROR = 8;

class ModemLink {
public:
    // Size of the buffer Poll and ReceiveFrame fill: command plus up to 255 body bytes.
    static constexpr int kFrameBufferSize = 256;
    // A pause this long inside a frame ends it: the modem never stops mid-frame.
    static constexpr uint32_t kInterByteGapMs = 50;
    // Body length of a command with bit 7 clear, once the port is open.
    static constexpr int16_t kFixedLength = 2;

    ModemLink() = default;
    ModemLink(const ModemLink&) = delete;
    ModemLink& operator=(const ModemLink&) = delete;

    int16_t Open(int16_t port, int32_t baud);
    void Close();

    // buffer[0] is the command, buffer[1..length] the body; length is the body
    // length announced in the length byte (payload length + 1). A length the
    // length byte cannot carry (below 0 or above 255) is refused with
    // LNKRET_SEND_ERROR before anything is written.
    int16_t SendFrame(const uint8_t* buffer, int16_t length);

    // One step of the receiver, consuming at most one byte (apart from the
    // discard after a gap). LNKRET_PENDING while a frame is incomplete or
    // nothing is waiting (then it waits up to 1 ms for a byte); LNKRET_RECEIVED with
    // outLength = body length; LNKRET_CHECKSUM_ERROR with outLength 0;
    // LNKRET_READ_ERROR when the port reports a read error.
    int16_t Poll(uint8_t* buffer, int16_t& outLength);

    // Polls until a final result or until timeoutMs have passed
    // (LNKRET_TIMEOUT), sleeping on the line while it is quiet. An
    // unfinished frame is kept for the next call.
    int16_t ReceiveFrame(uint8_t* buffer, int16_t& outLength, uint32_t timeoutMs);

    // Discards up to 256 waiting bytes and any unfinished frame: what follows
    // belongs to the next exchange.
    void Flush();

    int16_t GetFixedLength() const { return fixedLength; }

private:
    enum : int16_t { RX_COMMAND = 0, RX_LENGTH = 1, RX_BODY = 2, RX_CHECKSUM = 3 };

    void DiscardWaiting();
    // One step of the receiver without waiting; idle when nothing was read.
    int16_t Step(uint8_t* buffer, int16_t& outLength, bool& idle);
    // How long a quiet line may be waited on with leftMs of the time-out left.
    uint32_t QuietWaitMs(uint32_t leftMs) const;

    SerialPort port;
    int16_t fixedLength = 0;
    int16_t rxState = RX_COMMAND;
    int16_t storedCount = 0;
    int16_t expectedLength = 0;
    int16_t bodyCount = 0;
    uint8_t checksum = 0;
    uint32_t lastByteTime = 0;
};
