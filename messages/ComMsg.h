#pragma once
// One frame of the modem link, with the fields the link thread reports.
// data[0] is the command, data[1] the status byte, data[2..] the payload;
// length is the payload length (command and status byte excluded).

#include "core/BufferMsg.h"

#include <cstdint>
#include <string>

// Message types of CComMsg (link thread <-> telephone handler).
constexpr uint16_t TEL_SIMULATE_P100 = 5;  // P100 test frame from the message generator
constexpr uint16_t LNK_SEND = 45;          // owner -> link: a frame to send
constexpr uint16_t LNK_STATUS = 48;        // the modem's status byte changed
constexpr uint16_t LNK_VALUE = 49;         // the one-byte value of poll answers changed
constexpr uint16_t LNK_CALLER_ID = 50;     // caller identification received
constexpr uint16_t LNK_FRAME = 51;         // a frame other than 0x81 from the modem
constexpr uint16_t LNK_TIMEOUT = 52;       // an exchange was abandoned after five attempts
constexpr uint16_t LNK_ERROR = 53;         // link stopped: invalid commands or a read error
constexpr uint16_t LNK_SEND_ERROR = 55;    // link stopped: writing a frame failed

// Status byte of the modem.
constexpr uint8_t STATUS_TXACK = 0x80;      // acknowledges the station's last non-poll command
constexpr uint8_t STATUS_BUSY = 0x40;       // executing a command
constexpr uint8_t STATUS_RING = 0x20;       // ring signal present
constexpr uint8_t STATUS_LINE = 0x10;       // telephone line present
constexpr uint8_t STATUS_HANDSET = 0x08;    // operator's handset off hook
constexpr uint8_t STATUS_CONNECTED = 0x04;  // line seized
constexpr uint8_t STATUS_ICT_ERROR = 0x02;  // modem internal error

// Status byte sent by the station to acknowledge the modem's last message.
constexpr uint8_t STATUS_ACK_MESSAGE = 0x80;

// Command codes.
constexpr uint8_t CMD_POLL = 0x81;
constexpr uint8_t CMD_LINE_CONTROL = 0x82;
constexpr uint8_t CMD_SEND_DATA = 0x84;
constexpr uint8_t CMD_P100_DATA = 0x86;
constexpr uint8_t CMD_P100_START = 0x87;
constexpr uint8_t CMD_IDENTIFY = 0x8A;
constexpr uint8_t CMD_RESET_LINE = 0x8B;
constexpr uint8_t CMD_PRIORITY = 0x8C;  // sent ahead of every queued frame
constexpr uint8_t CMD_VOICE_NOTIFY = 0x8D;
constexpr uint8_t CMD_CPC_DATA = 0x8E;
constexpr uint8_t CMD_CPC_REQUEST = 0x8F;
constexpr uint8_t CMD_RELAY = 0x90;
constexpr uint8_t CMD_WIRELESS_NET = 0x91;
constexpr uint8_t CMD_DISCARD = 0x97;
constexpr uint8_t CMD_FIRST_VALID = 0x81;  // commands accepted from the modem: 0x81..0x97
constexpr uint8_t CMD_LAST_VALID = 0x97;

class CComMsg : public CBufferMsg {
public:
    static constexpr int kMaxPayload = kDataSize - 2;

    CComMsg() = default;
    explicit CComMsg(uint16_t msgType) : CBufferMsg(msgType) {}

    uint8_t GetCommand() const { return data[0]; }
    void SetCommand(uint8_t command) { data[0] = command; }
    uint8_t GetStatusByte() const { return data[1]; }
    void SetStatusByte(uint8_t status) { data[1] = status; }
    // Payload byte i (0-based); reads beyond the buffer give 0, writes are ignored.
    uint8_t GetPayload(int i) const { return (i >= 0 && i < kMaxPayload) ? data[2 + static_cast<std::size_t>(i)] : 0; }
    void SetPayload(int i, uint8_t b)
    {
        if (i >= 0 && i < kMaxPayload)
            data[2 + static_cast<std::size_t>(i)] = b;
    }
    int16_t GetLength() const { return length; }
    void SetLength(int16_t len) { length = len; }

    int16_t value = 0;  // LNK_VALUE
    std::string text;   // LNK_CALLER_ID
};
