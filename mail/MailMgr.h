#pragma once
// The user-interface side of the mail handler: starts and stops it, composes
// the mail of an alarm and the test mail of the e-mail settings, fills in the
// server and sender, queues the request for the handler, and shows the
// handler's progress in the mail pane and its failures in the system
// information panel. User-interface thread only.

#include "core/DocumentHost.h"
#include "db/AlarmInfoMsg.h"
#include "mail/MailHandler.h"
#include "mail/MailHandlerMsg.h"

#include <cstdint>
#include <string>

class CMailMgr {
public:
    // The last line of every mail: where the reader finds the supplier.
    static constexpr const char* kCompanyWebAddress = "www.tervin.example";

    CMailMgr();

    void SetDocument(CDocumentHost* doc) { document = doc; }
    // Starts the handler with the relay as its owner, also with mail
    // disabled (test mails still go out). 0 when the handler did not start,
    // after the operator was told; that ends the start-up.
    int Start(CMsgReceiver* relay);
    int16_t Stop();

    // Composes the mail of the alarm and queues it for the recipients
    // (addresses separated by "," or ";"). Keeps nothing of its arguments.
    void SendAlarmMail(const CAlarmInfoMsg* alarm, const std::string& recipients);
    // A test mail with the values of the e-mail settings page, saved or not.
    void SendTestMail(const std::string& server, uint16_t port, const std::string& heloName,
                      const std::string& sender, const std::string& recipient);

    // Shows one MAIL_STATUS report; the caller keeps the message.
    void OnHandlerStatus(const CMailHandlerMsg& msg);

    CMailHandler& Handler() { return handler; }

private:
    void Status(const std::string& text);

    CMailHandler handler;
    CDocumentHost* document = nullptr;
};
