#pragma once
// One AT request to the GSM modem or one parsed response from it. The CMsg
// type names the command (GSMCMD_...) or the response (GSMRSP_...); the two
// families share numbers and never share a queue.

#include "core/Msg.h"

#include <cstdint>
#include <string>

// Requests (CGsmInfo::Send).
constexpr uint16_t GSMCMD_AT = 0;
constexpr uint16_t GSMCMD_ECHO_OFF = 1;
constexpr uint16_t GSMCMD_MODEL = 2;
constexpr uint16_t GSMCMD_PIN_QUERY = 3;
constexpr uint16_t GSMCMD_PIN_ENTER = 4;
constexpr uint16_t GSMCMD_TEXT_MODE = 5;
constexpr uint16_t GSMCMD_CHARSET = 6;
constexpr uint16_t GSMCMD_STORAGE = 7;
constexpr uint16_t GSMCMD_SHOW_HEADER = 8;
constexpr uint16_t GSMCMD_LIST_SMS = 9;
constexpr uint16_t GSMCMD_DELETE_SMS = 10;
constexpr uint16_t GSMCMD_SEND_SMS = 11;
constexpr uint16_t GSMCMD_SMS_TEXT = 12;
constexpr uint16_t GSMCMD_REG_QUERY = 13;
constexpr uint16_t GSMCMD_SIGNAL_QUERY = 14;
constexpr uint16_t GSMCMD_CALL_LIST = 15;
constexpr uint16_t GSMCMD_NET_SELECT = 16;
// ESC alone: ends a text input the modem may still be in, without sending.
constexpr uint16_t GSMCMD_ABORT_TEXT = 17;

// Responses (CGsmInfo::Receive).
constexpr uint16_t GSMRSP_OK = 1;
constexpr uint16_t GSMRSP_ERROR = 2;
constexpr uint16_t GSMRSP_MODEL = 3;
constexpr uint16_t GSMRSP_PIN_READY = 4;
constexpr uint16_t GSMRSP_PIN_REQUIRED = 5;
constexpr uint16_t GSMRSP_STORAGE = 6;
constexpr uint16_t GSMRSP_SMS = 7;
constexpr uint16_t GSMRSP_REG = 8;
constexpr uint16_t GSMRSP_SIGNAL = 9;
constexpr uint16_t GSMRSP_PROMPT = 10;
constexpr uint16_t GSMRSP_SMS_SENT = 11;
constexpr uint16_t GSMRSP_RING = 12;
constexpr uint16_t GSMRSP_CALLER = 13;

// Modem types told apart by the model response.
constexpr int16_t GSM_MODEM_OTHER = 0;
constexpr int16_t GSM_MODEM_TC35 = 1;
constexpr int16_t GSM_MODEM_GM29 = 2;
constexpr int16_t GSM_MODEM_TC65 = 3;
constexpr int16_t GSM_MODEM_LE910 = 4;
constexpr int16_t GSM_MODEM_GL865 = 5;

class CGsmMsg : public CMsg {
public:
    CGsmMsg() = default;
    explicit CGsmMsg(uint16_t msgType) : CMsg(msgType) {}
    ~CGsmMsg() override;

    std::string pinCode;       // PIN for GSMCMD_PIN_ENTER
    uint16_t smsIndex = 0;     // storage index of a listed SMS; index for GSMCMD_DELETE_SMS
    std::string smsNumber;     // sender of a listed SMS; caller number of GSMRSP_CALLER
    std::string destNumber;    // destination for GSMCMD_SEND_SMS
    std::string smsDate;       // date part of a listed SMS's time stamp
    std::string smsTime;       // time part (with its zone suffix)
    std::string smsText;       // SMS text, UTF-8 (received or to send)
    int16_t smsLength = 0;     // signal quality in percent for GSMRSP_SIGNAL
    int16_t regStatus = 0;     // registration status for GSMRSP_REG
    int16_t modemType = 0;     // modem type for GSMRSP_MODEL
    int16_t netSelection = 0;  // wireless network selection index for GSMCMD_NET_SELECT
};
