#pragma once
// What the GSM manager needs of the send-SMS window. The window itself is a
// screen and lives with the other windows; the manager only hands it the
// document, shows it, and passes it the results of the free-form SMS it sent
// and the SMS-number answers of its recipient dialog. The window sends
// through the manager's SendFreeformSms with request id 1.

#include "core/DocumentHost.h"
#include "core/Msg.h"
#include "messages/GsmHandlerMsg.h"

#include <memory>

// Request id of the free-form SMS sent from the send-SMS window; only results
// carrying it reach the window.
constexpr int16_t SENDSMS_REQUEST_ID = 1;

class CSendSmsWindow {
public:
    virtual ~CSendSmsWindow() = default;

    virtual void SetDocument(CDocumentHost* doc) = 0;
    // Shows the window and brings it to the front.
    virtual void ShowWindow() = 0;
    // A GHM_STATUS_SMS_SENT or GHM_STATUS_SMS_FAILED report of one number;
    // the window reads it, the caller keeps it.
    virtual void OnSendResult(const CGsmHandlerMsg& result) = 0;
    // An SMS-number answer (document message type 35) for the window's open
    // recipient dialog; the window takes it.
    virtual void OnSmsNumberReply(std::unique_ptr<CMsg> reply) = 0;
};
