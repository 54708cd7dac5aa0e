#pragma once
// Decoded telephone alarm, telephone notification, voice-call progress and the
// requests that reach the telephone handler from the windows.

#include "core/HandlerMsg.h"

#include <array>
#include <cstdint>
#include <string>

// Message types of CTelHandlerMsg.
constexpr uint16_t TEL_ABORT_VOICE_CALL = 6;  // stop offering the current voice call
constexpr uint16_t TEL_SET_RELAY = 7;         // set relay relayIndex to onOff
constexpr uint16_t TEL_SET_UNATTENDED = 8;    // unattended mode on (onOff 1) or off
constexpr uint16_t TEL_ALARM = 42;            // decoded alarm or protocol answer
constexpr uint16_t TEL_NOTIFY = 43;           // notification with code and text
constexpr uint16_t TEL_VOICE_CALL = 44;       // voice-call progress
constexpr uint16_t TEL_CALL_DONE = 46;        // the incoming call is finished
constexpr uint16_t TEL_OUTGOING_DONE = 47;    // reserved; never produced

// Notification codes (code of TEL_NOTIFY).
constexpr int16_t TELHND_NOTIFY_NO_LINE = 0;
constexpr int16_t TELHND_NOTIFY_LINE_OK = 1;
constexpr int16_t TELHND_NOTIFY_RING = 2;
constexpr int16_t TELHND_NOTIFY_INCOMING_CALL = 3;
constexpr int16_t TELHND_NOTIFY_COM_WARNING = 4;
constexpr int16_t TELHND_NOTIFY_COM_ERROR = 5;
constexpr int16_t TELHND_NOTIFY_SERIAL_ERROR = 6;
constexpr int16_t TELHND_NOTIFY_SW_ERROR = 7;
constexpr int16_t TELHND_NOTIFY_HW_ERROR = 8;
constexpr int16_t TELHND_NOTIFY_INFO = 9;
constexpr int16_t TELHND_NOTIFY_LINK_RESTART = 10;  // a halted link is being started again

// Voice-call progress (value of TEL_VOICE_CALL).
constexpr int16_t VC_NOTIFY_TICK = 1;
constexpr int16_t VC_PICK_UP = 2;
constexpr int16_t VC_TALK_TICK = 3;
constexpr int16_t VC_ON_HOOK = 4;
constexpr int16_t VC_ABORTED = 5;
constexpr int16_t VC_TIMEOUT = 6;

// Decoded message types (msgType).
constexpr uint8_t TELMSG_P100_ALARM = 1;
constexpr uint8_t TELMSG_VOICE = 2;
constexpr uint8_t TELMSG_OP_FAIL = 3;
constexpr uint8_t TELMSG_TEST = 4;
constexpr uint8_t TELMSG_USER_ID = 5;
constexpr uint8_t TELMSG_USER_DATA = 6;
constexpr uint8_t TELMSG_CPC_ACK = 7;
constexpr uint8_t TELMSG_CPC_ID = 8;
constexpr uint8_t TELMSG_VOICE_REDIRECTED = 9;

// Protocol that read the message.
constexpr int16_t TELPROT_P100 = 1;
constexpr int16_t TELPROT_CPC = 2;

class CTelHandlerMsg : public CHandlerMsg {
public:
    CTelHandlerMsg() = default;
    explicit CTelHandlerMsg(uint16_t messageType) : CHandlerMsg(messageType) {}

    // code, text and value are inherited from CHandlerMsg.
    uint8_t msgType = 0;
    int16_t interfaceType = 0;
    int16_t signalLevel = 0;
    std::string callerInfo;
    std::string idCode;
    int16_t idType = 0;
    int16_t modelCode = 0;
    int16_t ofType = 0;
    uint8_t extraCode = 0;
    std::array<uint8_t, 256> userData{};
    int16_t userDataLen = 0;
    int16_t remaining = 0;
    int16_t protocol = 0;
    int32_t onOff = 0;
    int16_t relayIndex = 0;
};
