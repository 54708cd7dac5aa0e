#pragma once
// The application document, the hub of the station. It owns the settings and
// the four managers (database, mail, telephone, GSM), starts them in a fixed
// order and stops them in another, and is the only place where work from the
// worker threads reaches the user-interface thread: every handler's chain of
// messages ends in its inbox, and it routes each message to the manager,
// window or list that deals with it. It also decides, for every new alarm,
// whether it is forwarded by mail and SMS.
//
// Everything except PostToDocument (and ReceiveMsg) runs on the
// user-interface thread, the thread that constructs the document.

#include "core/AlarmJournal.h"
#include "core/DocumentHost.h"
#include "core/MsgReceiver.h"
#include "core/Outbox.h"
#include "core/ThreadQueue.h"
#include "db/DatabaseMgr.h"
#include "db/DatabaseMgrHost.h"
#include "gsm/GsmMgr.h"
#include "mail/MailMgr.h"
#include "settings/Settings.h"
#include "station/AlarmList.h"
#include "station/AlarmListHost.h"
#include "station/DocumentScreen.h"
#include "tel/TelMgr.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class CAlarmInfoMsg;
class CInboxNotifier;
class QObject;
class QTimer;

// The step of the start chain that ended the start-up.
enum class StartStep { None, Operator, Database, Mail, Tel, Gsm, PrintWindow };

class COrvaDoc : public CDocumentHost, public CDatabaseMgrHost, public CAlarmListHost, public CMsgReceiver {
public:
    // Pause between stopping two managers, so that the last messages of one
    // handler pass the relay before the next one stops.
    static constexpr uint32_t kStopPauseMs = 100;
    // How often the mail manager is asked whether a waiting mail is due.
    static constexpr int kMailRetryCheckMs = 1000;

    // Loads the settings and wires the managers; starts nothing.
    explicit COrvaDoc(CDocumentScreen& screen);
    // Stops the managers first if CloseDocument has not run.
    ~COrvaDoc() override;
    COrvaDoc(const COrvaDoc&) = delete;
    COrvaDoc& operator=(const COrvaDoc&) = delete;

    // --- Inbox -------------------------------------------------------------
    // Any thread: queues the message and posts one notification for it.
    void PostToDocument(std::unique_ptr<CMsg> msg);
    void ReceiveMsg(std::unique_ptr<CMsg> msg) override { PostToDocument(std::move(msg)); }
    // Takes exactly one message from the inbox and routes it by its type;
    // false when the inbox was empty. A dispatch never runs inside another
    // (a window that waits for the operator in the middle of one): such a
    // notification is posted again once the running dispatch ends.
    bool DispatchOne();
    std::size_t GetInboxCount() const { return inbox.GetCount(); }
    // The object the notifications are posted to (lives on this thread).
    QObject* GetNotifier() const;

    // --- Start and stop -----------------------------------------------------
    // The operator at start-up without the selection (command line, or a
    // station without anyone at it). With remember the name becomes
    // LastOperator, as a chosen one would.
    void SetStartupOperator(std::string name, bool remember);
    // Operator, database, mail, telephone, GSM, print window; each step only
    // after the previous one succeeded. 1 when the chain completed.
    int RunStartChain();
    StartStep GetFailedStep() const { return failedStep; }
    // Telephone, mail, GSM and database stopped in this order with a pause
    // between them. Runs once.
    void CloseDocument();
    // How CloseDocument waits out a pause: by default it sleeps on the tick
    // source; a test passes a wait of its own and spends no real time.
    void SetStopPause(std::function<void(uint32_t ms)> pause) { stopPause = std::move(pause); }

    // The steps of the chain, each 1 on success.
    virtual int SelectOperator(int mode);
    virtual int StartDatabase();
    virtual int StartMail();
    virtual int StartTel();
    virtual int StartGsm();
    virtual int CreatePrintWindow();

    // --- Commands of the windows -------------------------------------------
    // The settings sheet, then the restarts its changes need.
    void OnOptionsSettings();
    void OnChangeOperator() { SelectOperator(0); }
    // Only while GSM is enabled.
    void OnSendSms();

    // --- For managers, windows and the alarm list ----------------------------
    void SetStatusText(const std::string& text, int pane);
    void AddSystemInfo(const std::string& text, bool popUp);
    void PostToTel(std::unique_ptr<CMsg> msg) override;
    void DatabaseRequest(std::unique_ptr<CMsg> request) override;
    void ForwardAlarm(const CAlarmInfoMsg& alarm) override;
    // The operator took the voice call: the mail and SMS kept for the case
    // that nobody would are not sent.
    void DropHeldForwarding(const CAlarmInfoMsg& alarm) override;
    std::string GetOperatorName() override { return operatorName; }
    void UpdateTitle();

    // A station run without anyone at it keeps setting changes made by the
    // managers (a serial port switched off) in memory only.
    void SetSettingsPersistent(bool persistent) { settingsPersistent = persistent; }

    SettingsValues& Settings() override { return settings.Values(); }
    bool SaveSettings() override;
    CStationScreen& Screen() override { return screen; }
    CDocumentScreen& DocScreen() override { return screen; }
    COutbox& Outbox() override { return outbox; }
    CSettings& GetSettings() override { return settings; }

    // The database manager's questions go to the screen.
    int RunDatabaseMgrDlg(int reason, const std::string& folder, CDbConvert* converter) override;
    bool BrowseDatabasePath(std::string& folder) override;
    void ShowDbError(const std::string& text) override;

    CDatabaseMgr& GetDatabaseMgr() { return databaseMgr; }
    CTelMgr& GetTelMgr() { return telMgr; }
    CMailMgr& GetMailMgr() { return mailMgr; }
    CGsmMgr& GetGsmMgr() { return gsmMgr; }
    CAlarmList& GetAlarmList() { return alarmList; }
    CAlarmJournal& GetJournal() { return journal; }
    // The alarms that could not be stored yet (shown in the list meanwhile).
    std::vector<const CAlarmInfoMsg*> GetUnstoredAlarms() const override;
    // Stores what waits to be stored; refreshes the list when some was.
    void RetryUnstoredAlarms();
    CDatabaseHandler* GetDatabaseHandler() const { return databaseHandler; }
    bool HasPrintWindow() const { return printWindowCreated; }

protected:
    virtual int16_t StopTel();
    virtual int16_t StopMail();
    virtual int16_t StopGsm();
    virtual int StopDatabase();

private:
    void PauseBetweenStops();
    void Route(std::unique_ptr<CMsg> msg);
    void ProcessNewAlarm(std::unique_ptr<CMsg> msg);
    bool ShouldForward(const CAlarmInfoMsg& alarm, bool callOver) const;
    // Forwards the alarm now, or holds its forwarding for its voice call,
    // as ShouldForward decides, and marks it forwarded in the journal.
    void ForwardOnce(const CAlarmInfoMsg& alarm, bool replayed);
    // Writes the alarm's mail and SMS to the outbox without sending them.
    void HoldForwarding(const CAlarmInfoMsg& alarm);
    // After the handlers that bring alarms have stopped: whatever the relay
    // and the inbox still hold is dispatched, so every alarm is stored.
    void DrainInbox();
    // The database stops for a restart after the settings sheet; false when
    // it does not run again. Up to then the inbox is held.
    bool RestartDatabase(const std::string& folderBefore);
    // While the database is closed nothing is taken from the inbox: an alarm
    // would match no lift and could not be stored. The messages wait, in
    // their order, and are dispatched once the database runs again.
    void HoldInbox();
    void ReleaseInbox();
    // The database error boxes held back during a dispatch, one at a time.
    void ShowHeldDbErrors();
    void OpenJournal();
    void OpenOutbox();
    void NoteUnstoredAlarms();

    // Construction order: the inbox and its notifier first, so that they
    // outlive every handler that could still post.
    CThreadQueue inbox;
    std::unique_ptr<CInboxNotifier> notifier;
    // Outlive the handlers that write to them.
    CAlarmJournal journal;
    COutbox outbox;
    CDocumentScreen& screen;
    CSettings settings;
    CDatabaseMgr databaseMgr;
    CTelMgr telMgr;
    CMailMgr mailMgr;
    CGsmMgr gsmMgr;
    std::string operatorName;
    CAlarmList alarmList;
    CDatabaseHandler* databaseHandler = nullptr;
    bool printWindowCreated = false;

    std::optional<std::string> startupOperator;
    bool rememberStartupOperator = false;
    bool settingsPersistent = true;
    bool startAttempted = false;
    bool closed = false;
    std::function<void(uint32_t ms)> stopPause;
    StartStep failedStep = StartStep::None;

    int dispatchDepth = 0;
    int deferredNotifications = 0;
    bool inboxHeld = false;
    // The database manager's questions are answered with Cancel (going back
    // to the folder that worked, nobody is asked again).
    bool quietDatabaseStart = false;
    std::vector<std::string> heldDbErrors;
    bool showingDbError = false;
    bool journalReplayed = false;
    // Journal records sent through the road again after a restart: each is
    // looked up in the table before it is stored.
    // With whether each had been forwarded before.
    std::map<std::string, bool> replayedIds;
    bool unstoredNoticeGiven = false;
    // Asks the mail manager once a second whether a waiting mail is due.
    std::unique_ptr<QTimer> mailRetryTimer;
};
