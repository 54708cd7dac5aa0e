#pragma once
// The user-interface side of the GSM modem: starts and stops the GSM handler
// with the current settings, lets the operator pick another serial port when
// the configured one does not open, composes the SMS of an alarm and queues
// it for the handler, queues the free-form SMS of the send-SMS window, and
// turns the handler's status reports into the GSM pane and lines of the
// system information panel. User-interface thread only.

#include "core/DocumentHost.h"
#include "db/AlarmInfoMsg.h"
#include "gsm/GsmHandler.h"
#include "gsm/GsmHandlerMsg.h"
#include "gsm/SendSmsWindow.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Document messages for the send-SMS window (reply types of its recipient dialog).
constexpr uint16_t GSMMGR_MSG_SMS_NUM_REPLY = 35;  // handed to the window, which takes it
constexpr uint16_t GSMMGR_MSG_NO_EFFECT = 36;      // dropped

class CGsmMgr {
public:
    // An alarm SMS is cut to one SMS; it is never split into several.
    static constexpr std::size_t kMaxAlarmSmsChars = 160;

    CGsmMgr();

    // Remembers the document and gives it to the send-SMS window.
    void SetDocument(CDocumentHost* doc);
    // The send-SMS window (not owned; nullptr: none). It gets the document
    // when one is known.
    void SetSendSmsWindow(CSendSmsWindow* window);

    // Starts the handler with the relay as its owner; always 1, so the start
    // chain goes on whatever happened to the GSM modem.
    int Start(CMsgReceiver* relay);
    int16_t Stop();

    // Composes the SMS of the alarm and queues it for the recipients (numbers
    // separated by "," or ";"). Keeps nothing of its arguments.
    void SendAlarmSms(const CAlarmInfoMsg* alarm, const std::string& recipients);
    // Queues the text as it is, with the request id echoed in the results.
    void SendFreeformSms(const std::string& text, const std::string& recipients, int16_t requestId);

    // Shows one GSM_STATUS report; the caller keeps the message.
    void OnHandlerStatus(const CGsmHandlerMsg& msg);
    void ShowSendSmsWindow();
    // Document messages of types 35 and 36; ownership passes.
    void ForwardToSendSmsWindow(std::unique_ptr<CMsg> msg);

    CGsmHandler& Handler() { return handler; }

private:
    bool GsmEnabled() const;
    void Status(const std::string& text);
    void Info(const std::string& text, bool popUp);

    CGsmHandler handler;
    CSendSmsWindow* sendSmsWindow = nullptr;
    CDocumentHost* document = nullptr;
};
