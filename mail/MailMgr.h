#pragma once
// The user-interface side of the mail handler: starts and stops it, composes
// the mail of an alarm and the test mail of the e-mail settings, fills in the
// server and sender, queues the request for the handler, and shows the
// handler's progress in the mail pane and its failures in the system
// information panel. User-interface thread only.
//
// An alarm mail that fails for a reason that may pass (no connection, no
// reply in time, a 4xx reply) waits and is tried again 1, 2, 5, 10 and 30
// minutes after its first to fifth failure; the sixth gives it up. Every
// alarm mail is a job of the outbox beside the database from the moment it
// is composed until the server has taken it or it is given up, so a restart
// sends what waits. A waiting mail goes to the handler only while nothing new
// is on its way there, one at a time (an emergency alarm's first), and the
// handler puts it aside for a new mail; a new emergency alarm's mail goes
// ahead of new technical ones.

#include "core/DocumentHost.h"
#include "core/IntervalTimer.h"
#include "core/Outbox.h"
#include "mail/MailHandler.h"
#include "messages/AlarmInfoMsg.h"
#include "messages/MailHandlerMsg.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <list>
#include <memory>
#include <string>

class CMailMgr {
public:
    // The last line of every mail: where the reader finds the supplier.
    static constexpr const char* kCompanyWebAddress = "www.tervin.example";
    // The wait before the next attempt after the first, second, ... failed
    // attempt; after as many retries as there are waits the mail is given up.
    static constexpr std::array<uint32_t, 5> kRetryDelaysMs = {60000, 120000, 300000, 600000, 1800000};

    CMailMgr();
    // With a handler of the caller's making (a test steps its loop itself).
    explicit CMailMgr(std::unique_ptr<CMailHandler> mailHandler);

    void SetDocument(CDocumentHost* doc) { document = doc; }
    // At the first start, takes in the mails that wait in the outbox (those
    // older than a day are reported instead), then starts the handler with
    // the relay as its owner, also with mail disabled (test mails still go
    // out). 0 when the handler did not start, after the
    // operator was told; that ends the start-up.
    int Start(CMsgReceiver* relay);
    // Stops the handler. Requests in its queue stay there; an alarm mail it
    // was sending waits (in the outbox too) and goes again after the start.
    int16_t Stop();

    // Composes the mail of the alarm, keeps it in the outbox and queues it
    // for the recipients (addresses separated by "," or ";"). A held mail is
    // only kept, until the same alarm is sent again without holding (or the
    // document drops it). Keeps nothing of its arguments.
    void SendAlarmMail(const CAlarmInfoMsg* alarm, const std::string& recipients, bool held = false);
    // A test mail with the values of the e-mail settings page, saved or not.
    // It is tried once.
    void SendTestMail(const std::string& server, uint16_t port, const std::string& heloName, const std::string& sender,
                      const std::string& recipient);

    // Shows one MAIL_STATUS report and settles the mail of a result; the
    // caller keeps the message.
    void OnHandlerStatus(const CMailHandlerMsg& msg);

    // Hands the oldest waiting mail that is due to the handler, when no new
    // mail and no other waiting mail is on its way there, the handler's pause
    // after its last result is over and mail is enabled. The document calls
    // it once a second; the start calls it too.
    void CheckRetries();

    // Alarm mails that failed (or were not finished before a stop) and wait
    // for another attempt, the one with the handler included.
    std::size_t GetWaitingCount() const;
    // Writes the mail pane with the text, followed by the number of waiting
    // mails when there are any.
    void ShowStatusText(const std::string& text);

    CMailHandler& Handler() { return *handler; }
    // The wall clock that dates the jobs at a start (tests set their own).
    void SetWallClock(std::time_t (*clock)()) { wallClock = clock; }

private:
    struct Pending {
        uint32_t id = 0;
        COutbox::Job mail;
        bool waiting = false;      // failed at least once, or left over from a stop
        bool withHandler = false;  // a request of it is on its way
        CIntervalTimer due;        // a waiting mail is handed on once this has run out
    };

    void ShowStatus();
    void AfterHandlerStopped();
    COutbox* Outbox() const;
    void LoadOutbox();
    void ReportOutboxTrouble();
    void ReportJob(const std::string& state, const COutbox::Job& job);
    void OnResult(const CMailHandlerMsg& msg);
    void OnFailedAttempt(Pending& pending, const CMailHandlerMsg& msg);
    void Forget(uint32_t id);
    Pending* Find(uint32_t id);
    // The operator's line for a mail that could not be sent.
    std::string FailureLine(const CMailHandlerMsg& msg) const;
    void Post(std::unique_ptr<CMailHandlerMsg> request);

    std::unique_ptr<CMailHandler> handler;
    CDocumentHost* document = nullptr;
    bool outboxLoaded = false;
    bool outboxTroubleShown = false;
    std::time_t (*wallClock)() = nullptr;
    std::list<Pending> pending;  // in the order the mails were composed
    uint32_t nextId = 0;
    // New mails (alarm and test) handed to the handler whose result has not
    // come back yet; waiting mails go only when there are none.
    std::size_t newOnTheirWay = 0;
    // The waiting mail with the handler, 0 when none.
    uint32_t retryWithHandler = 0;
    // The handler's pause after the last result: a waiting mail handed on
    // meanwhile would sit in its queue, where a new mail would have to
    // queue up behind it.
    CIntervalTimer handlerPause;
    std::string statusText;
    std::size_t shownWaiting = 0;
};
