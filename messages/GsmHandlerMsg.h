#pragma once
// The GSM handler's messages: SMS requests from the GSM manager, and received
// SMS, caller numbers and status reports to the handler's owner.

#include "core/HandlerMsg.h"

#include <cstdint>
#include <string>

// Message types (CMsg type).
constexpr uint16_t MSG_GUI_SEND_ALARM_SMS = 2;       // manager -> handler: recipients (list), smsText
constexpr uint16_t MSG_GUI_SEND_FREEFORMAT_SMS = 3;  // manager -> handler: also requestId
constexpr uint16_t GSM_SMS_RECEIVED = 39;            // handler -> owner: smsNumber, smsDate, smsTime, smsText
constexpr uint16_t GSM_CALLER_ID = 40;               // handler -> owner: smsNumber
constexpr uint16_t GSM_STATUS = 41;                  // handler -> owner: code, signal; requestId, recipients

// Status codes (code of GSM_STATUS).
constexpr int16_t GHM_STATUS_INITIALIZING = 0;
constexpr int16_t GHM_STATUS_PIN_ERROR = 1;
constexpr int16_t GHM_STATUS_PIN_REQUIRED = 2;
constexpr int16_t GHM_STATUS_COM_OK = 3;  // signal in percent; 0: no network
constexpr int16_t GHM_STATUS_COM_TIMEOUT = 4;
constexpr int16_t GHM_STATUS_COM_WARNING = 5;
constexpr int16_t GHM_STATUS_COM_FAILURE = 6;
constexpr int16_t GHM_STATUS_SENDING_SMS = 7;
constexpr int16_t GHM_STATUS_SMS_SENT = 8;    // requestId or jobName, and the number
constexpr int16_t GHM_STATUS_SMS_FAILED = 9;  // requestId or jobName, and the number

class CGsmHandlerMsg : public CHandlerMsg {
public:
    CGsmHandlerMsg() = default;
    explicit CGsmHandlerMsg(uint16_t msgType) : CHandlerMsg(msgType) {}
    ~CGsmHandlerMsg() override;

    // code and text are inherited from CHandlerMsg.
    std::string smsNumber;   // sender of a received SMS; caller number of a caller-ID report
    std::string recipients;  // numbers of a send request (one after splitting); the number of a result
    std::string smsDate;     // date of a received SMS
    std::string smsTime;     // time of a received SMS
    std::string smsText;     // text of a received or outgoing SMS (UTF-8)
    int16_t signal = 0;      // signal in percent of GHM_STATUS_COM_OK
    int16_t requestId = 0;   // identifier of a free-form request, echoed in its result
    // Kept in memory only, never on the wire:
    std::string jobName;    // the outbox job of an alarm SMS, echoed in its result
    std::string jobFile;    // its file, removed by the handler the moment the modem answers "+CMGS:"
    uint16_t attempts = 0;  // attempts the modem refused so far
};
