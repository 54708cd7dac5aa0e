#include "station/OrvaDoc.h"

#include "core/TextFormat.h"
#include "core/TextLookup.h"
#include "core/TickSource.h"
#include "core/Version.h"
#include "db/DatabaseHandler.h"
#include "db/DbSchema.h"
#include "messages/AlarmInfoMsg.h"
#include "messages/DatabaseMsg.h"
#include "messages/GsmHandlerMsg.h"
#include "messages/MailHandlerMsg.h"
#include "messages/TelHandlerMsg.h"
#include "station/InboxNotifier.h"

#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <exception>

namespace {

// The settings sheet of the screen, as the settings store runs it.
class CScreenSettingsSheet : public CSettingsSheet {
public:
    explicit CScreenSettingsSheet(CDocumentScreen& documentScreen) : screen(documentScreen) {}
    bool Run(SettingsValues& values) override { return screen.RunSettingsSheet(values); }

private:
    CDocumentScreen& screen;
};

}  // namespace

COrvaDoc::COrvaDoc(CDocumentScreen& documentScreen)
    : notifier(std::make_unique<CInboxNotifier>([this] { DispatchOne(); })), screen(documentScreen), alarmList(*this)
{
    settings.SetDocument(this);
    settings.Load();
    databaseMgr.SetDocument(this);
    databaseHandler = databaseMgr.GetHandler();
    telMgr.SetDocument(this);
    mailMgr.SetDocument(this);
    gsmMgr.SetDocument(this);
}

COrvaDoc::~COrvaDoc()
{
    if (startAttempted)
        CloseDocument();
}

QObject* COrvaDoc::GetNotifier() const
{
    return notifier.get();
}

// ---------------------------------------------------------------------------
// Inbox

void COrvaDoc::PostToDocument(std::unique_ptr<CMsg> msg)
{
    if (!msg)
        return;
    inbox.Add(std::move(msg));
    notifier->Notify();
}

bool COrvaDoc::DispatchOne()
{
    if (dispatchDepth > 0 || inboxHeld) {
        // A window waits for the operator in the middle of a dispatch, or the
        // database is closed for a restart; this message is taken as soon as
        // that has ended, never inside it.
        ++deferredNotifications;
        return false;
    }
    std::unique_ptr<CMsg> msg = inbox.Get();
    if (!msg)
        return false;
    const uint16_t type = msg->GetType();
    ++dispatchDepth;
    // One message that cannot be handled must not end the station: the next
    // one may be an alarm.
    try {
        Route(std::move(msg));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "COrvaDoc::DispatchOne: message %u not handled: %s\n", static_cast<unsigned>(type),
                     e.what());
    }
    --dispatchDepth;
    if (!inboxHeld) {
        for (; deferredNotifications > 0; --deferredNotifications)
            notifier->Notify();
    }
    ShowHeldDbErrors();
    return true;
}

void COrvaDoc::HoldInbox()
{
    inboxHeld = true;
}

void COrvaDoc::ReleaseInbox()
{
    inboxHeld = false;
    for (; deferredNotifications > 0; --deferredNotifications)
        notifier->Notify();
}

void COrvaDoc::DrainInbox()
{
    // With the database closed what waits stays in the journal, open and
    // not marked forwarded: the next start matches, stores and forwards it.
    if (inboxHeld)
        return;
    if (databaseHandler != nullptr)
        databaseHandler->WaitRelayIdle();
    while (DispatchOne()) {
    }
}

void COrvaDoc::Route(std::unique_ptr<CMsg> msg)
{
    switch (msg->GetType()) {
    case DBMSG_OBJECT_INFO:
    case DBMSG_CUSTOMER_INFO:
    case DBMSG_MAIL_INFO:
    case DBMSG_SMS_NUM_INFO:
        screen.OnObjectInfoReply(std::move(msg));
        break;
    case DBMSG_EXPORT_INFO:
        screen.OnExportReply(std::move(msg));
        break;
    case DBMSG_ALARM_INFO: {
        auto* reply = MsgCast<CDatabaseMsg>(*msg);
        if (reply == nullptr)
            break;
        if (reply->Result == DBRES_ALARM_PRINT_KEYS || reply->Result == DBRES_ALARM_PRINT_LIST) {
            if (printWindowCreated)
                screen.OnPrintReply(std::move(msg));
        } else {
            ProcessNewAlarm(std::move(msg));
        }
        break;
    }
    case GSMMGR_MSG_SMS_NUM_REPLY:
    case GSMMGR_MSG_NO_EFFECT:
        gsmMgr.ForwardToSendSmsWindow(std::move(msg));
        break;
    case DBMSG_HOURLY_TICK:
        RetryUnstoredAlarms();
        databaseHandler->CheckTestAlarms();
        databaseHandler->PurgeAlarms();
        break;
    case MAIL_STATUS:
        if (auto* status = MsgCast<CMailHandlerMsg>(*msg))
            mailMgr.OnHandlerStatus(*status);
        break;
    case GSM_STATUS:
        if (auto* status = MsgCast<CGsmHandlerMsg>(*msg))
            gsmMgr.OnHandlerStatus(*status);
        break;
    case TEL_NOTIFY:
        if (auto* notify = MsgCast<CTelHandlerMsg>(*msg))
            telMgr.OnHandlerMsg(*notify);
        break;
    case TEL_VOICE_CALL:
        if (auto* progress = MsgCast<CTelHandlerMsg>(*msg))
            alarmList.OnVoiceCall(*progress);
        break;
    default:
        // Nothing else is meant for the document.
        break;
    }
}

// ---------------------------------------------------------------------------
// New alarms

bool COrvaDoc::ShouldForward(const CAlarmInfoMsg& alarm, bool callOver) const
{
    const SettingsValues& values = settings.Values();
    switch (alarm.AlarmType) {
    case ALARMTYPE_VOICE:
        // With voice calls on, the operator's handset rings first; the alarm
        // is forwarded only if nobody answers (the alarm list does that).
        // Unattended, nobody is there to answer: it goes out at once, as it
        // does when the call ended before the alarm got here (taken in
        // before a restart).
        return callOver || !alarmList.WaitsForVoiceCall(alarm);
    case ALARMTYPE_TEST:
        return values.SendMailAtTestAlarm != 0;
    case ALARMTYPE_MAINTENANCE:
        return false;
    default:
        return true;
    }
}

void COrvaDoc::ProcessNewAlarm(std::unique_ptr<CMsg> msg)
{
    auto* reply = MsgCast<CDatabaseMsg>(*msg);
    if (reply->Result != DBRES_ALARM_NEW) {
        // Answers to the list's own requests (list, one alarm, nothing found).
        alarmList.OnAlarmReply(std::move(msg));
        return;
    }
    auto* alarm = MsgCast<CAlarmInfoMsg>(*msg);
    if (alarm == nullptr)
        return;

    // A test failure was stored by the supervision that raised it.
    const bool toStore = alarm->AlarmType != ALARMTYPE_TEST_FAIL;
    int32_t storeFlag = 1;
    if (toStore && databaseHandler->MatchAlarm(*alarm, storeFlag) == 1) {
        // The object only sends test alarms: the waiting voice call of
        // this alarm is not offered to the operator.
        PostToTel(std::make_unique<CTelHandlerMsg>(TEL_ABORT_VOICE_CALL));
    }
    if (storeFlag != 1)
        return;  // an object marked with "?" or a filtered test alarm: dropped

    bool replayed = false;
    bool forwardedBefore = false;
    bool lookForTwin = alarm->AlarmSource == ALARMSOURCE_SMS && !alarm->Text.GetText().empty();
    if (const auto found = replayedIds.find(alarm->JournalId); found != replayedIds.end()) {
        replayed = true;
        forwardedBefore = found->second;
        replayedIds.erase(found);
        lookForTwin = true;
    }
    if (lookForTwin && databaseHandler->HasStoredTwin(*alarm) == 1) {
        // Stored before: the station stopped before the journal heard of the
        // commit, or the modem offers an SMS again whose deletion failed.
        // The alarm was handled then, and its mail and SMS wait in the
        // outbox if they had not gone yet; one that stopped between its
        // commit and its forwarding is forwarded now.
        if (replayed && !forwardedBefore)
            ForwardOnce(*alarm, replayed);
        databaseHandler->JournalDone(alarm->JournalId);
        return;
    }

    // The row first, when the database takes it at once: the operator's
    // list does not wait for the outbox's disk flushes. A database that
    // would make the alarm wait (locked by another program) or fails is
    // tried again fully after the forwarding, so mail and SMS never wait
    // for it. The journal record is closed only when the alarm is both
    // stored and forwarded; a stop between the two replays it, and the
    // replay forwards what was stored but not forwarded.
    const bool storedAtOnce = toStore && databaseHandler->StoreAlarmAtOnce(*alarm);
    if (!forwardedBefore)
        ForwardOnce(*alarm, replayed);
    if (storedAtOnce) {
        databaseHandler->JournalDone(alarm->JournalId);
        RetryUnstoredAlarms();
    } else if (toStore) {
        if (databaseHandler->StoreAlarm(*alarm))
            RetryUnstoredAlarms();
        else
            NoteUnstoredAlarms();
    }

    if (alarm->AlarmType == ALARMTYPE_END_OF_ALARM) {
        databaseHandler->FinishEmergencyAlarm(*alarm);
        alarmList.RequestRefresh();
    }

    alarmList.OnNewAlarm(MsgCast<CAlarmInfoMsg>(msg), replayed);
}

std::vector<const CAlarmInfoMsg*> COrvaDoc::GetUnstoredAlarms() const
{
    std::vector<const CAlarmInfoMsg*> alarms;
    if (databaseHandler != nullptr)
        for (const auto& alarm : databaseHandler->Unstored())
            alarms.push_back(alarm.get());
    return alarms;
}

void COrvaDoc::RetryUnstoredAlarms()
{
    if (databaseHandler == nullptr || databaseHandler->Unstored().empty())
        return;
    if (databaseHandler->RetryUnstored() == 0)
        return;
    alarmList.RequestRefresh();
    if (databaseHandler->Unstored().empty()) {
        unstoredNoticeGiven = false;
        AddSystemInfo(LookupText("IDS_ORVADOC_MSG_ALARMS_STORED"), false);
    }
}

void COrvaDoc::NoteUnstoredAlarms()
{
    // Once, until they are stored: the database's own error box has told
    // the reason.
    if (unstoredNoticeGiven)
        return;
    unstoredNoticeGiven = true;
    AddSystemInfo(LookupText("IDS_ORVADOC_MSG_ALARMS_WAIT"), true);
}

void COrvaDoc::ForwardOnce(const CAlarmInfoMsg& alarm, bool replayed)
{
    // The journal's mark follows the jobs on the disk.
    if (ShouldForward(alarm, replayed)) {
        ForwardAlarm(alarm);
        journal.MarkForwarded(alarm.JournalId);
    } else if (alarm.AlarmType == ALARMTYPE_VOICE) {
        HoldForwarding(alarm);
        journal.MarkForwarded(alarm.JournalId);
    }
}

void COrvaDoc::ForwardAlarm(const CAlarmInfoMsg& alarm)
{
    // Also while the station stops: the jobs wait in the outbox for the
    // next start when mail and SMS have stopped already.
    mailMgr.SendAlarmMail(&alarm, alarm.MailRecipients);
    gsmMgr.SendAlarmSms(&alarm, alarm.SmsRecipients);
}

void COrvaDoc::HoldForwarding(const CAlarmInfoMsg& alarm)
{
    mailMgr.SendAlarmMail(&alarm, alarm.MailRecipients, true);
    gsmMgr.SendAlarmSms(&alarm, alarm.SmsRecipients, true);
}

void COrvaDoc::DropHeldForwarding(const CAlarmInfoMsg& alarm)
{
    for (const COutbox::Job& job : outbox.RemoveHeld(alarm.JournalId))
        screen.ReportJob(COutbox::JobLine("dropped", job));
}

// ---------------------------------------------------------------------------
// Requests

void COrvaDoc::PostToTel(std::unique_ptr<CMsg> msg)
{
    telMgr.PostToHandler(std::move(msg));
}

void COrvaDoc::DatabaseRequest(std::unique_ptr<CMsg> request)
{
    // Before the database has started (or after it stopped) a window's
    // request has nobody to answer it: the operator hears that.
    if (databaseHandler == nullptr) {
        screen.Beep(BeepKind::Exclamation);
        return;
    }
    databaseHandler->ExecuteRequest(std::move(request));
}

void COrvaDoc::SetStatusText(const std::string& text, int pane)
{
    screen.SetStatusText(text, pane);
}

void COrvaDoc::AddSystemInfo(const std::string& text, bool popUp)
{
    screen.AddSystemInfo(text, popUp);
}

void COrvaDoc::UpdateTitle()
{
    screen.SetTitle(
        FormatText("%s Ver. %s - %s", {std::string(kProductName), std::string(kProductVersion), operatorName}));
}

// ---------------------------------------------------------------------------
// Start and stop

void COrvaDoc::SetStartupOperator(std::string name, bool remember)
{
    startupOperator = std::move(name);
    rememberStartupOperator = remember;
}

int COrvaDoc::SelectOperator(int mode)
{
    std::optional<std::string> chosen;
    bool remember = true;
    if (mode == 1 && startupOperator) {
        chosen = startupOperator;
        remember = rememberStartupOperator;
    } else {
        chosen = screen.SelectOperator(mode, settings);
    }
    if (!chosen)
        return 0;
    if (remember)
        settings.SaveLastOperator(*chosen);
    operatorName = *chosen;
    UpdateTitle();
    return 1;
}

int COrvaDoc::RunStartChain()
{
    startAttempted = true;
    failedStep = StartStep::None;
    struct Step {
        StartStep step;
        int (COrvaDoc::*run)();
    };
    // Managers only start once the operator is known; every one after the
    // database gets its handler as the relay of its own handler's messages.
    const Step chain[] = {
        {StartStep::Operator, nullptr},          {StartStep::Database, &COrvaDoc::StartDatabase},
        {StartStep::Mail, &COrvaDoc::StartMail}, {StartStep::Tel, &COrvaDoc::StartTel},
        {StartStep::Gsm, &COrvaDoc::StartGsm},   {StartStep::PrintWindow, &COrvaDoc::CreatePrintWindow},
    };
    for (const Step& step : chain) {
        const int result = step.run ? (this->*step.run)() : SelectOperator(1);
        if (result == 0) {
            failedStep = step.step;
            return 0;
        }
    }
    return 1;
}

int COrvaDoc::StartDatabase()
{
    startAttempted = true;
    const int started = databaseMgr.Start(this);
    if (started == 1) {
        OpenJournal();
        OpenOutbox();
        if (!journalReplayed) {
            // Alarms taken in before the last stop but never stored go
            // through the road again.
            journalReplayed = true;
            for (auto& [id, forwarded] : databaseHandler->ReplayJournal())
                replayedIds[id] = forwarded;
        }
        RetryUnstoredAlarms();
    }
    return started;
}

void COrvaDoc::OpenJournal()
{
    // The journal lives beside the database (and moves with it).
    if (!journal.Open(DbSchema::DatabaseFolder(settings.Values().DatabasePath)))
        AddSystemInfo(FormatKey("IDS_ORVADOC_MSG_JOURNAL_FAILED", {journal.GetPath()}), true);
    databaseHandler->SetJournal(&journal);
}

void COrvaDoc::OpenOutbox()
{
    // Beside the database too; the jobs move with it.
    if (!outbox.Open(DbSchema::FileInDatabaseFolder(settings.Values().DatabasePath, COutbox::kFolderName)))
        AddSystemInfo(FormatKey("IDS_OUTBOX_MSG_FAILED", {outbox.GetLastError()}), true);
}

int COrvaDoc::StartMail()
{
    const int started = mailMgr.Start(databaseHandler);
    if (started == 1) {
        if (!mailRetryTimer) {
            mailRetryTimer = std::make_unique<QTimer>();
            QObject::connect(mailRetryTimer.get(), &QTimer::timeout, [this] { mailMgr.CheckRetries(); });
        }
        mailRetryTimer->start(kMailRetryCheckMs);
    }
    return started;
}

int COrvaDoc::StartTel()
{
    return telMgr.Start(databaseHandler);
}

int COrvaDoc::StartGsm()
{
    return gsmMgr.Start(databaseHandler);
}

int COrvaDoc::CreatePrintWindow()
{
    screen.CreatePrintWindow();
    printWindowCreated = true;
    alarmList.RestartRefreshTimer();
    return 1;
}

int16_t COrvaDoc::StopTel()
{
    return telMgr.Stop();
}

int16_t COrvaDoc::StopMail()
{
    return mailMgr.Stop();
}

int16_t COrvaDoc::StopGsm()
{
    return gsmMgr.Stop();
}

int COrvaDoc::StopDatabase()
{
    return databaseMgr.Stop();
}

void COrvaDoc::PauseBetweenStops()
{
    if (stopPause)
        stopPause(kStopPauseMs);
    else
        SleepMs(kStopPauseMs);
}

void COrvaDoc::CloseDocument()
{
    if (closed)
        return;
    closed = true;
    alarmList.StopRefreshTimer();
    // The database handler relays the others' messages, so it stops last.
    // Alarms that came in while a handler stopped are still on their way:
    // each one is stored (and forwarded while mail and SMS still run)
    // before the database closes.
    StopTel();
    DrainInbox();
    // A voice call still waiting can no longer report its end.
    alarmList.TelephoneStopped();
    PauseBetweenStops();
    if (mailRetryTimer)
        mailRetryTimer->stop();
    StopMail();
    PauseBetweenStops();
    StopGsm();
    PauseBetweenStops();
    DrainInbox();
    alarmList.TelephoneStopped();
    HoldInbox();
    StopDatabase();
}

// ---------------------------------------------------------------------------
// Commands

void COrvaDoc::OnOptionsSettings()
{
    const std::string folderBefore = settings.Values().DatabasePath;
    CScreenSettingsSheet sheet(screen);
    int changed = settings.EditSettings(sheet);
    // The alarm journal and the outbox live beside the database and move
    // with it when it opens in another folder. Kept for the next start only,
    // a new folder would leave behind what waits in them (alarms not yet
    // stored, mail and SMS not yet sent) where that start never looks.
    if (settings.Values().DatabasePath != folderBefore)
        changed |= SETTINGS_CHANGED_LIST;
    bool restartFailed = false;
    if (changed & SETTINGS_CHANGED_TEL) {
        StopTel();
        alarmList.TelephoneStopped();
        restartFailed |= StartTel() != 1;
    }
    if (changed & SETTINGS_CHANGED_GSM) {
        StopGsm();
        restartFailed |= StartGsm() != 1;
    }
    if (changed & SETTINGS_CHANGED_MAIL) {
        // The mail manager reads its settings for every mail; no restart.
        mailMgr.ShowStatusText(
            LookupText(settings.Values().MailEnabled != 0 ? "IDS_ORVADOC_MSG_1" : "IDS_ORVADOC_MSG_2"));
    }
    if (changed & SETTINGS_CHANGED_LIST)
        restartFailed |= !RestartDatabase(folderBefore);
    if (restartFailed) {
        // The station cannot go on like this; the list is not read from a
        // database that may be closed.
        screen.RequestClose();
        return;
    }
    alarmList.RestartRefreshTimer();
}

bool COrvaDoc::RestartDatabase(const std::string& folderBefore)
{
    // Alarms go on arriving while the database restarts, and the database
    // manager may wait for the operator meanwhile: they are journaled as
    // they come, the relay keeps them in order, and the inbox is held until
    // the database runs again. No list refresh from a closed database.
    alarmList.StopRefreshTimer();
    HoldInbox();
    StopDatabase();
    if (StartDatabase() == 1) {
        ReleaseInbox();
        return true;
    }
    if (settings.Values().DatabasePath == folderBefore)
        return false;
    // The new folder did not open (the operator cancelled the database
    // manager): the station goes on with the database it had rather than
    // ending with nobody to take alarms, and keeps that folder, where its
    // journal and outbox are.
    settings.Values().DatabasePath = folderBefore;
    SaveSettings();
    quietDatabaseStart = true;
    const int started = StartDatabase();
    quietDatabaseStart = false;
    if (started != 1)
        return false;
    AddSystemInfo(FormatKey("IDS_ORVADOC_MSG_DATABASE_KEPT", {folderBefore}), true);
    ReleaseInbox();
    return true;
}

void COrvaDoc::OnSendSms()
{
    if (settings.Values().GsmEnabled != 0)
        gsmMgr.ShowSendSmsWindow();
}

// ---------------------------------------------------------------------------
// Settings and the database manager's questions

bool COrvaDoc::SaveSettings()
{
    if (!settingsPersistent)
        return true;
    return settings.Save();
}

int COrvaDoc::RunDatabaseMgrDlg(int reason, const std::string& folder, CDbConvert* converter)
{
    if (quietDatabaseStart)
        return DBMGRDLG_CANCEL;
    return screen.RunDatabaseMgrDlg(reason, folder, converter);
}

bool COrvaDoc::BrowseDatabasePath(std::string& folder)
{
    if (quietDatabaseStart)
        return false;
    return screen.BrowseDatabasePath(folder);
}

void COrvaDoc::ShowDbError(const std::string& text)
{
    // The same failure reported again while its box is still waiting adds
    // nothing.
    if (std::find(heldDbErrors.begin(), heldDbErrors.end(), text) == heldDbErrors.end())
        heldDbErrors.push_back(text);
    ShowHeldDbErrors();
}

void COrvaDoc::ShowHeldDbErrors()
{
    // Never inside a dispatch: the box waits for the operator, and the
    // alarm being dispatched must be forwarded and listed first. Boxes come
    // one at a time; alarms go on being dispatched while one is open.
    if (dispatchDepth > 0 || showingDbError)
        return;
    showingDbError = true;
    while (!heldDbErrors.empty()) {
        const std::string text = heldDbErrors.front();
        heldDbErrors.erase(heldDbErrors.begin());
        screen.ShowMessage(text, MessageIcon::Exclamation);
    }
    showingDbError = false;
}
