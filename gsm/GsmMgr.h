#pragma once
// The user-interface side of the GSM modem: starts and stops the GSM handler
// with the current settings, lets the operator pick another serial port when
// the configured one does not open, composes the SMS of an alarm and queues
// it for the handler, queues the free-form SMS of the send-SMS window, and
// turns the handler's status reports into the GSM pane and lines of the
// system information panel. User-interface thread only.
//
// Every alarm SMS is a job of the outbox beside the database, one per
// number, from the moment it is composed until the modem has taken it or it
// has failed for good, so a crash or a stop never loses it: the jobs still
// there at the first start of the next run (with GSM enabled) are sent then,
// after the new alarms' SMS; those older than a day are reported instead.
// The GSM pane counts the alarm SMS that the modem has not taken yet.

#include "core/DocumentHost.h"
#include "core/Outbox.h"
#include "gsm/GsmHandler.h"
#include "gsm/SendSmsWindow.h"
#include "messages/AlarmInfoMsg.h"
#include "messages/GsmHandlerMsg.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <list>
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
    // chain goes on whatever happened to the GSM modem. The first start with
    // GSM enabled first hands the SMS that wait in the outbox to the handler.
    int Start(CMsgReceiver* relay);
    int16_t Stop();

    // Composes the SMS of the alarm, keeps one job per number in the outbox
    // and queues them for the handler (numbers separated by "," or ";"). A
    // held SMS is only kept, until the same alarm is sent again without
    // holding (or the document drops it). Keeps nothing of its arguments.
    void SendAlarmSms(const CAlarmInfoMsg* alarm, const std::string& recipients, bool held = false);
    // Queues the text as it is, with the request id echoed in the results.
    void SendFreeformSms(const std::string& text, const std::string& recipients, int16_t requestId);

    // Shows one GSM_STATUS report; the caller keeps the message.
    void OnHandlerStatus(const CGsmHandlerMsg& msg);
    void ShowSendSmsWindow();
    // Document messages of types 35 and 36; ownership passes.
    void ForwardToSendSmsWindow(std::unique_ptr<CMsg> msg);

    CGsmHandler& Handler() { return handler; }

    // Alarm SMS handed to the handler whose result has not come back yet.
    std::size_t GetWaitingCount() const { return pending.size(); }
    // The wall clock that dates the jobs at a start (tests set their own).
    void SetWallClock(std::function<std::time_t()> clock) { wallClock = std::move(clock); }

private:
    bool GsmEnabled() const;
    // Writes the GSM pane with the text, followed by the number of alarm SMS
    // that wait when there are any.
    void Status(const std::string& text);
    void ShowStatus();
    void ShowStatusIfCountChanged();
    void Info(const std::string& text, bool popUp);

    void LoadOutbox();
    void ReportOutboxTrouble();
    void ReportJob(const std::string& state, const COutbox::Job& job);
    // Hands one job to the handler; a left-over goes after the new SMS.
    void PostJob(const COutbox::Job& job, bool leftOver);
    void OnSmsResult(const CGsmHandlerMsg& msg);

    CGsmHandler handler;
    CSendSmsWindow* sendSmsWindow = nullptr;
    CDocumentHost* document = nullptr;

    // The jobs with the handler, in the order they were handed on. One that
    // could not be written has no name; its result is known by its number.
    std::list<COutbox::Job> pending;
    bool outboxLoaded = false;
    bool outboxTroubleShown = false;
    std::function<std::time_t()> wallClock;
    std::string statusText;
    std::size_t shownWaiting = 0;
};
