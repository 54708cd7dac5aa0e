#pragma once
// A mail request to the mail handler, and the handler's status and result
// messages back to its owner. The request itself travels back as the result,
// with its status in `code` and the failed step in `ErrorStep`.

#include "core/HandlerMsg.h"

#include <cstdint>
#include <string>

// Message types of CMailHandlerMsg.
constexpr uint16_t MAIL_REQUEST = 1;  // a mail to deliver, to the handler
constexpr uint16_t MAIL_STATUS = 38;  // a status or the result, from the handler

// Status values carried in `code`.
constexpr int16_t MHM_STATUS_IDLE = 0;         // never sent by the handler
constexpr int16_t MHM_STATUS_CONNECTING = 1;   // a request was taken, the connection is started
constexpr int16_t MHM_STATUS_AUTHORIZING = 2;  // the greeting was accepted, HELO is sent
constexpr int16_t MHM_STATUS_SENDING = 3;      // DATA was accepted, the message is sent
constexpr int16_t MHM_STATUS_SEND_OK = 4;      // result: delivered and disconnected
constexpr int16_t MHM_STATUS_SEND_ERROR = 5;   // result: a step failed, see ErrorStep
// Result: a mail handed again after a failure was put aside, before its data
// went out, because a new mail was waiting; it has not been tried to the end.
constexpr int16_t MHM_STATUS_SET_ASIDE = 6;

// What a failed mail can expect from another attempt (FailClass).
constexpr uint8_t MHM_FAIL_NONE = 0;
constexpr uint8_t MHM_FAIL_TRANSIENT = 1;  // no connection, no reply in time, a 4xx reply
constexpr uint8_t MHM_FAIL_PERMANENT = 2;  // a 5xx or out-of-place reply, no recipient, a fault

class CMailHandlerMsg : public CHandlerMsg {
public:
    CMailHandlerMsg() = default;
    explicit CMailHandlerMsg(uint16_t msgType) : CHandlerMsg(msgType) {}

    std::string Server;      // host name or address of the SMTP server
    uint16_t Port = 0;       // its TCP port
    std::string HeloName;    // the name sent with HELO
    std::string Sender;      // MAIL FROM and the From header
    std::string Recipients;  // addresses separated by "," or ";"
    std::string Subject;
    std::string Body;
    uint16_t ErrorStep = 0;  // in a result: the step that failed, 0 when none

    // Kept in memory only, never on the wire:
    uint8_t FailClass = MHM_FAIL_NONE;  // in a failed result: transient or permanent
    bool Retry = false;                 // a waiting mail handed again; a new mail may put it aside
    uint32_t MailId = 0;                // the sender's number for the mail, 0 when it keeps none
    // The outbox file that keeps the mail until a server has it; the handler
    // removes it the moment the server takes the mail. Empty when none.
    std::string JobFile;
};
