#pragma once
// One send-and-wait pair of the SMTP dialogue. The mail handler keeps the
// whole dialogue as a table of these rows, in the order the commands go out,
// and runs it one step per pass: in a row's send state it sends what the row
// says and goes to the row's wait state; there it waits for the reply class
// the row expects, then goes on, or logs the row's line, records its error
// step and failure class and goes to its failure state.
//
// A new command goes in as one more row (with its two states) between the
// rows it belongs between; the row before it then names it as its next state.

#include "mail/MailInfo.h"
#include "messages/MailHandlerMsg.h"

#include <cstdint>
#include <span>

class CMailHandler;

struct SmtpStep {
    // Sends the row's command (or starts the connection) and returns the
    // state to go to: the row's wait state, or another state when the step
    // is over at once (no connection, no recipient left, connection gone).
    using Send = int16_t (CMailHandler::*)(const SmtpStep& step);
    // Runs on the expected reply and returns the state that follows.
    using OnReply = int16_t (CMailHandler::*)(const SmtpStep& step);

    int16_t sendState;
    int16_t waitState;
    int16_t statusOnSend = MHM_STATUS_IDLE;  // status posted before sending; idle: none
    Send send = nullptr;
    int16_t expected = MAILINFO_RESP_POSITIVE;  // the reply class that lets the dialogue go on
    uint32_t timeoutMs = 0;
    int16_t statusOnReply = MHM_STATUS_IDLE;  // status posted on the expected reply; idle: none
    OnReply onReply = nullptr;                // nullptr: straight on to `next`
    int16_t next = 0;                         // the state after the expected reply
    const char* failText = "";                // logged when another reply comes, or none in time
    uint16_t errorStep = 0;
    // The class of a failure of this step; MHM_FAIL_NONE lets the reply decide.
    uint8_t failClass = MHM_FAIL_NONE;
    int16_t failState = 0;

    // The class of a failed wait: no reply in time or the connection gone is
    // worth another attempt; a 5xx or an out-of-place reply is not. The row's
    // own class, when it has one, stands above the reply.
    uint8_t FailureClass(int16_t waitResult, int16_t reply) const;

    // The row whose send or wait state `state` is; nullptr when none is.
    static const SmtpStep* Find(std::span<const SmtpStep> table, int16_t state);
};
