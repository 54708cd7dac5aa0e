#include "db/DatabaseHandler.h"

#include "core/AlarmJournal.h"
#include "core/PassPacer.h"
#include "core/TextLookup.h"
#include "core/TickSource.h"
#include "db/AlarmJournalCodec.h"
#include "db/CustomerInfoMsg.h"
#include "db/CustomerInfoReqMsg.h"
#include "db/Database.h"
#include "db/MailInfoMsg.h"
#include "db/MailInfoReqMsg.h"
#include "db/ObjectInfoMsg.h"
#include "db/ObjectInfoReqMsg.h"
#include "db/SmsNumInfoMsg.h"
#include "db/SmsNumInfoReqMsg.h"
#include "messages/AlarmInfoMsg.h"
#include "messages/AlarmInfoReqMsg.h"
#include "messages/GsmHandlerMsg.h"
#include "messages/MailHandlerMsg.h"
#include "messages/TelHandlerMsg.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kTickCheckMs = 1000;

}  // namespace

CDatabaseHandler::CDatabaseHandler() = default;

CDatabaseHandler::~CDatabaseHandler()
{
    EndThread();
}

void CDatabaseHandler::Configure(CDatabase* openDatabase, int16_t keepDays, int32_t useCid, int32_t filter)
{
    database = openDatabase;
    purgeDays = keepDays;
    useCidPhoneNumber = useCid;
    testAlarmFilter = filter;
    lastHour = -1;
    supervisionStarted = 0;
    tickTimer = CIntervalTimer();
    alarmTable.Attach(this, database);
    objectTable.Attach(this, database);
    customerTable.Attach(this, database);
    mailTable.Attach(this, database);
    smsTable.Attach(this, database);
}

void CDatabaseHandler::ShowDbError(const std::string& text)
{
    if (silentErrors)
        return;
    if (quietErrors) {
        std::fprintf(stderr, "%s\n", text.c_str());
        return;
    }
    if (holdErrors) {
        heldErrors.push_back(text);
        return;
    }
    if (errorReporter != nullptr)
        errorReporter->ShowDbError(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

void CDatabaseHandler::PostToOwner(std::unique_ptr<CMsg> msg)
{
    PostMsg(GetOwner(), std::move(msg));
}

// ---------------------------------------------------------------------------
// Relay thread

void CDatabaseHandler::ThreadMain()
{
    // Every message is relayed in the pass that takes it: no step waits for
    // a later pass, so the thread sleeps as soon as its queue is empty.
    ThisThreadPacer().SetBusyWindowMs(0);
    SetStatus(HNDRET_STARTED);
    while (IsRunning() == 1) {
        WaitForWork();
        if (std::unique_ptr<CMsg> msg = GetMsg()) {
            Relay(std::move(msg));
            ++relayed;
        }
        if (tickTimer.Expired()) {
            const int hour = COleDateTime::GetCurrentTime().GetHour();
            if (hour != lastHour) {
                PostToOwner(std::make_unique<CMsg>(DBMSG_HOURLY_TICK));
                lastHour = static_cast<int16_t>(hour);
            }
            tickTimer.Start(kTickCheckMs);
        }
    }
    SetStatus(HNDRET_STOPPED);
}

void CDatabaseHandler::ReceiveMsg(std::unique_ptr<CMsg> msg)
{
    if (msg && journal != nullptr && CAlarmJournalCodec::IsAlarmBearing(msg->GetType())) {
        auto* alarmMsg = dynamic_cast<CHandlerMsg*>(msg.get());
        if (alarmMsg != nullptr && alarmMsg->journalId.empty()) {
            CAlarmJournal::Record record = CAlarmJournalCodec::ToRecord(*msg);
            journal->Append(record);
            alarmMsg->journalId = record.id;
            alarmMsg->takenAt = record.time;
        }
    }
    if (!msg)
        return;
    ++received;
    CHandler::ReceiveMsg(std::move(msg));
}

void CDatabaseHandler::WaitRelayIdle()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRelayIdleTimeoutMs);
    while (relayed.load() < received.load() && IsRunning() == 1 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (IsRunning() == 1)
        return;
    while (std::unique_ptr<CMsg> msg = GetMsg()) {
        Relay(std::move(msg));
        ++relayed;
    }
}

void CDatabaseHandler::JournalDone(const std::string& journalId)
{
    if (journal != nullptr && !journalId.empty())
        journal->Done(journalId);
}

void CDatabaseHandler::Relay(std::unique_ptr<CMsg> msg)
{
    switch (msg->GetType()) {
    case GSM_SMS_RECEIVED:
    case GSM_CALLER_ID:
    case TEL_ALARM: {
        auto* source = dynamic_cast<CHandlerMsg*>(msg.get());
        const std::string journalId = source != nullptr ? source->journalId : std::string();
        // The relay must outlive any single bad message: it carries every
        // alarm of the station.
        try {
            if (std::unique_ptr<CAlarmInfoMsg> alarm = messageMgr.CreateAlarmInfo(*msg)) {
                alarm->JournalId = journalId;
                // The alarm's time is when it was taken from the line or the
                // modem, also when it is stored again after a restart.
                if (source != nullptr && source->takenAt != 0)
                    alarm->AlarmTime = COleDateTime::FromTimeT(source->takenAt);
                PostToOwner(std::move(alarm));
            } else {
                // A protocol answer that is no alarm: nothing to store.
                JournalDone(journalId);
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "CDatabaseHandler::ThreadMain: alarm message %u not converted: %s\n",
                         static_cast<unsigned>(msg->GetType()), e.what());
            // It would fail the same way after every restart.
            JournalDone(journalId);
        }
        break;
    }
    case MAIL_STATUS:
    case GSM_STATUS:
    case TEL_NOTIFY:
    case TEL_VOICE_CALL:
        PostToOwner(std::move(msg));
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------
// Requests from the windows

void CDatabaseHandler::ExecuteRequest(std::unique_ptr<CMsg> request)
{
    if (!request)
        return;
    std::unique_ptr<CMsg> reply;
    CMsg& msg = *request;
    switch (msg.GetType()) {
    case DBMSG_ADD_OBJECT_INFO:
        if (auto* r = MsgCast<CObjectInfoMsg>(msg))
            reply = objectTable.AddObjectInfo(*r);
        break;
    case DBMSG_FIND_OBJECT_INFO:
        if (auto* r = MsgCast<CObjectInfoReqMsg>(msg))
            reply = objectTable.FindObjectInfo(*r);
        break;
    case DBMSG_EDIT_OBJECT_INFO:
        if (auto* r = MsgCast<CObjectInfoMsg>(msg))
            reply = objectTable.EditObjectInfo(*r);
        break;
    case DBMSG_DELETE_OBJECT_INFO:
        if (auto* r = MsgCast<CObjectInfoReqMsg>(msg))
            reply = objectTable.DeleteObjectInfo(*r);
        break;
    case DBMSG_FIND_ALARM_INFO:
        if (auto* r = MsgCast<CAlarmInfoReqMsg>(msg)) {
            std::unique_ptr<CAlarmInfoMsg> found = alarmTable.FindAlarmInfo(*r);
            AddObjectNotes(*r, *found);
            reply = std::move(found);
        }
        break;
    case DBMSG_EDIT_ALARM_INFO:
        if (auto* r = MsgCast<CAlarmInfoMsg>(msg))
            reply = alarmTable.EditAlarmInfo(*r);
        break;
    case DBMSG_DELETE_ALARM_INFO:
        if (auto* r = MsgCast<CAlarmInfoReqMsg>(msg))
            reply = alarmTable.DeleteAlarmInfo(*r);
        break;
    case DBMSG_ADD_CUSTOMER_INFO:
        if (auto* r = MsgCast<CCustomerInfoMsg>(msg))
            reply = customerTable.AddCustomerInfo(*r, DBMSG_CUSTOMER_INFO);
        break;
    case DBMSG_FIND_CUSTOMER_INFO:
        if (auto* r = MsgCast<CCustomerInfoReqMsg>(msg))
            reply = customerTable.FindCustomerInfo(*r, DBMSG_CUSTOMER_INFO);
        break;
    case DBMSG_EDIT_CUSTOMER_INFO:
        if (auto* r = MsgCast<CCustomerInfoMsg>(msg))
            reply = customerTable.EditCustomerInfo(*r, DBMSG_CUSTOMER_INFO);
        break;
    case DBMSG_DELETE_CUSTOMER_INFO:
        if (auto* r = MsgCast<CCustomerInfoReqMsg>(msg))
            reply = customerTable.DeleteCustomerInfo(*r, DBMSG_CUSTOMER_INFO);
        break;
    case DBMSG_ADD_MAIL_INFO:
        if (auto* r = MsgCast<CMailInfoMsg>(msg))
            reply = mailTable.AddMailInfo(*r, DBMSG_MAIL_INFO);
        break;
    case DBMSG_FIND_MAIL_INFO:
        if (auto* r = MsgCast<CMailInfoReqMsg>(msg))
            reply = mailTable.FindMailInfo(*r, DBMSG_MAIL_INFO);
        break;
    case DBMSG_EDIT_MAIL_INFO:
        if (auto* r = MsgCast<CMailInfoMsg>(msg))
            reply = mailTable.EditMailInfo(*r, DBMSG_MAIL_INFO);
        break;
    case DBMSG_DELETE_MAIL_INFO:
        if (auto* r = MsgCast<CMailInfoReqMsg>(msg))
            reply = mailTable.DeleteMailInfo(*r, DBMSG_MAIL_INFO);
        break;
    case DBMSG_ADD_SMS_NUM_INFO:
        if (auto* r = MsgCast<CSmsNumInfoMsg>(msg))
            reply = smsTable.AddSmsNumInfo(*r, r->ReplyType);
        break;
    case DBMSG_FIND_SMS_NUM_INFO:
        if (auto* r = MsgCast<CSmsNumInfoReqMsg>(msg))
            reply = smsTable.FindSmsNumInfo(*r, r->ReplyType);
        break;
    case DBMSG_EDIT_SMS_NUM_INFO:
        if (auto* r = MsgCast<CSmsNumInfoMsg>(msg))
            reply = smsTable.EditSmsNumInfo(*r, r->ReplyType);
        break;
    case DBMSG_DELETE_SMS_NUM_INFO:
        if (auto* r = MsgCast<CSmsNumInfoReqMsg>(msg))
            reply = smsTable.DeleteSmsNumInfo(*r, r->ReplyType);
        break;
    default:
        break;
    }
    request.reset();
    if (reply)
        PostToOwner(std::move(reply));
}

void CDatabaseHandler::AddObjectNotes(const CAlarmInfoReqMsg& request, CAlarmInfoMsg& reply)
{
    if (request.Kind != ALARM_KIND_BY_KEY || reply.Result != DBRES_ALARM_FOUND_KEY)
        return;
    std::unique_ptr<CObjectInfoMsg> object = LookupObject(reply);
    if (object->Result == DBRES_OBJECT_FOUND_ID || object->Result == DBRES_OBJECT_FOUND_PHONE) {
        reply.ObjectKnown = 1;
        reply.ObjectNotes = object->Notes;
    }
}

std::unique_ptr<CCustomerInfoMsg> CDatabaseHandler::FindCustomer(const std::string& name)
{
    CCustomerInfoReqMsg request;
    request.Kind = INFO_KIND_BY_KEY;
    request.Key = name;
    std::unique_ptr<CDatabaseMsg> reply = customerTable.FindCustomerInfo(request, DBMSG_CUSTOMER_INFO);
    if (reply->Result != DBRES_INFO_FOUND_KEY)
        return nullptr;
    std::unique_ptr<CCustomerInfoMsg> customer = MsgCast<CCustomerInfoMsg>(reply);
    if (!customer)
        return nullptr;
    // Further customers of the same name (a register edited by other tools)
    // are not attached.
    customer->Next.reset();
    return customer;
}

// ---------------------------------------------------------------------------
// Alarm bookkeeping

std::unique_ptr<CObjectInfoMsg> CDatabaseHandler::LookupObject(const CAlarmInfoMsg& alarm)
{
    CObjectInfoReqMsg request;
    const bool byCallerNumber =
        alarm.AlarmType == ALARMTYPE_TEST && alarm.AlarmSource == ALARMSOURCE_CALLER_ID && useCidPhoneNumber == 1;
    request.Kind = byCallerNumber ? OBJECT_KIND_BY_PHONE : OBJECT_KIND_BY_ID;
    request.Key = alarm.IdCode;
    return objectTable.FindObjectInfo(request);
}

bool CDatabaseHandler::IsWithinTestAlarmFilter(const COleDateTime& lastTestAlarm, const COleDateTime& alarmTime)
{
    if (!lastTestAlarm.IsValid() || !alarmTime.IsValid())
        return false;
    // Whole minutes, truncated, of a span rounded to the second first: a
    // span of exactly 40 minutes must not come out as 39.9999 minutes.
    const long long seconds = std::llround((alarmTime - lastTestAlarm) * 86400.0);
    const long long minutes = seconds / 60;
    // A previous test alarm that lies in the future (the clock was put back)
    // does not make the new one a repetition.
    return seconds >= 0 && minutes < kTestAlarmFilterMinutes;
}

void CDatabaseHandler::FillFromObject(const CObjectInfoMsg& object, CAlarmInfoMsg& alarm)
{
    alarm.IdInfo = object.IdInfo;
    alarm.AlarmPopUpEnabled = object.AlarmPopUpEnabled;
    alarm.ObjectNotes = object.Notes;
    alarm.ObjectAddress = object.Address;
    if (IsEmergencyAlarmType(alarm.AlarmType)) {
        alarm.MailRecipients = object.MailAddrEmg;
        alarm.SmsRecipients = object.SmsNumEmg;
    } else {
        alarm.MailRecipients = object.MailAddrTech;
        alarm.SmsRecipients = object.SmsNumTech;
    }
    alarm.ObjectKnown = 1;
}

int CDatabaseHandler::ProcessAlarm(CAlarmInfoMsg& alarm, int32_t& storeFlag)
{
    // The object's last test alarm and the new row are one change with one
    // disk flush. The alarm counts as stored (its reply goes out, the
    // journal lets it go) only once the transaction is committed. No box may
    // wait for the operator while it is open: errors are shown after it.
    const bool inTransaction =
        database != nullptr && database->IsOpen() && !database->InTransaction() && TryBeginTrans();
    const bool heldBefore = holdErrors;
    holdErrors = holdErrors || inTransaction;
    std::unique_ptr<CObjectInfoMsg> edited;
    const int becameTest = MatchAlarm(alarm, storeFlag, &edited);
    std::unique_ptr<CDatabaseMsg> reply;
    if (storeFlag == 1)
        reply = alarmTable.AddAlarmInfo(alarm);
    // The engine may have ended the transaction itself after a failure;
    // what ran after that was written on its own, as without a transaction.
    if (inTransaction && database->InTransaction()) {
        if (reply && reply->Result != DBRES_ALARM_ADDED) {
            // The row failed: nothing of the alarm stays, but the object's
            // last test alarm is kept as when each change is written alone.
            database->Rollback();
            if (edited)
                objectTable.EditObjectInfo(*edited);
        } else {
            try {
                database->CommitTrans();
            } catch (const CDbException& e) {
                database->Rollback();
                if (reply) {
                    heldErrors.push_back("CDatabaseHandler::AddAlarmInfo: " + e.description);
                    reply->Result = DBRES_ALARM_ADD_ERROR;
                    if (edited)
                        objectTable.EditObjectInfo(*edited);
                } else {
                    heldErrors.push_back("CDbObjectInfo::EditObjectInfo: " + e.description);
                }
            }
        }
    }
    holdErrors = heldBefore;
    if (!holdErrors)
        ShowHeldErrors();
    if (reply)
        FinishStore(alarm, std::move(reply));
    return becameTest;
}

int CDatabaseHandler::MatchAlarm(CAlarmInfoMsg& alarm, int32_t& storeFlag)
{
    return MatchAlarm(alarm, storeFlag, nullptr);
}

int CDatabaseHandler::MatchAlarm(CAlarmInfoMsg& alarm, int32_t& storeFlag, std::unique_ptr<CObjectInfoMsg>* edited)
{
    int becameTest = 0;
    bool changed = false;
    std::unique_ptr<CObjectInfoMsg> object = LookupObject(alarm);
    if (object->Result == DBRES_OBJECT_FOUND_ID || object->Result == DBRES_OBJECT_FOUND_PHONE) {
        if (!object->IdInfo.empty() && object->IdInfo[0] == '?') {
            storeFlag = 0;
        } else {
            storeFlag = 1;
            if (object->TestAlarmOnly == 1) {
                alarm.AlarmType = ALARMTYPE_TEST;
                alarm.AlarmStatus = ALARMSTATUS_INFO;
                becameTest = 1;
            }
            if (alarm.AlarmType == ALARMTYPE_TEST) {
                if (testAlarmFilter != 0 && IsWithinTestAlarmFilter(object->LastTestAlarm, alarm.AlarmTime)) {
                    storeFlag = 0;
                } else {
                    object->LastTestAlarm = alarm.AlarmTime;
                    changed = objectTable.EditObjectInfo(*object)->Result == DBRES_OBJECT_EDITED;
                }
            }
            FillFromObject(*object, alarm);
            if (changed && edited != nullptr)
                *edited = std::move(object);
        }
    }
    if (storeFlag != 1)
        JournalDone(alarm.JournalId);  // dropped on purpose
    return becameTest;
}

bool CDatabaseHandler::StoreAlarm(CAlarmInfoMsg& alarm)
{
    return FinishStore(alarm, alarmTable.AddAlarmInfo(alarm));
}

bool CDatabaseHandler::StoreAlarmAtOnce(CAlarmInfoMsg& alarm)
{
    if (database == nullptr)
        return false;
    silentErrors = true;
    database->SetLockWait(false);
    std::unique_ptr<CDatabaseMsg> reply = alarmTable.AddAlarmInfo(alarm);
    database->SetLockWait(true);
    silentErrors = false;
    if (reply->Result != DBRES_ALARM_ADDED) {
        alarm.PrimaryKey = 0;
        return false;
    }
    PostToOwner(std::move(reply));
    return true;
}

bool CDatabaseHandler::FinishStore(CAlarmInfoMsg& alarm, std::unique_ptr<CDatabaseMsg> reply)
{
    const bool stored = reply->Result == DBRES_ALARM_ADDED;
    PostToOwner(std::move(reply));
    if (stored) {
        JournalDone(alarm.JournalId);
    } else {
        alarm.PrimaryKey = 0;
        unstored.push_back(alarm.CloneRecord());
    }
    return stored;
}

std::size_t CDatabaseHandler::RetryUnstored()
{
    std::size_t stored = 0;
    quietErrors = true;
    while (!unstored.empty()) {
        // No look for a twin here: another alarm of the same lift in the
        // same second may well have been stored meanwhile.
        CAlarmInfoMsg& alarm = *unstored.front();
        std::unique_ptr<CDatabaseMsg> reply = alarmTable.AddAlarmInfo(alarm);
        if (reply->Result != DBRES_ALARM_ADDED) {
            alarm.PrimaryKey = 0;
            break;  // still failing: the rest waits for the next retry
        }
        JournalDone(alarm.JournalId);
        unstored.erase(unstored.begin());
        ++stored;
    }
    quietErrors = false;
    return stored;
}

int CDatabaseHandler::HasStoredTwin(const CAlarmInfoMsg& alarm)
{
    // An SMS alarm's text ends with the modem's time stamp of the SMS, so
    // the same SMS is the same text whenever it was read.
    const int64_t key = alarmTable.FindSameAlarm(alarm, alarm.AlarmSource != ALARMSOURCE_SMS);
    return key < 0 ? -1 : (key > 0 ? 1 : 0);
}

std::vector<std::pair<std::string, bool>> CDatabaseHandler::ReplayJournal()
{
    std::vector<std::pair<std::string, bool>> replayed;
    if (journal == nullptr)
        return replayed;
    for (const CAlarmJournal::Record& record : journal->Pending()) {
        std::unique_ptr<CMsg> msg = CAlarmJournalCodec::FromRecord(record);
        if (!msg) {
            journal->Done(record.id);
            continue;
        }
        replayed.emplace_back(record.id, record.forwarded);
        // Carries its journal id, so it is not journaled a second time.
        ReceiveMsg(std::move(msg));
    }
    return replayed;
}

void CDatabaseHandler::CheckTestAlarms()
{
    const COleDateTime now = COleDateTime::GetCurrentTime();
    const double grace = OleSpan(0, kTestAlarmGraceHours);
    // The engine picks the objects that may be overdue; each is judged here.
    std::vector<CDbObjectInfo::TestCandidate> candidates;
    if (objectTable.FindTestCandidates(now, grace, candidates) && !candidates.empty()) {
        // One transaction for the whole round: a first run after a long
        // pause may move the deadline of every object in the register, and
        // one disk flush per object would hold the station for minutes.
        const bool inTransaction = database != nullptr && TryBeginTrans();
        // No box may wait for the operator while the transaction is open:
        // it would hold the database for every other writer.
        holdErrors = inTransaction;
        std::vector<std::unique_ptr<CMsg>> news;
        std::vector<std::pair<CDatabaseMsg*, CAlarmInfoMsg*>> added;
        for (CDbObjectInfo::TestCandidate& candidate : candidates) {
            CObjectInfoMsg& object = *candidate.object;
            if (object.Days == 0 || !IsTestAlarmOverdue(object.LastTestAlarm, object.Days, now))
                continue;
            objectTable.SetLastTestAlarm(candidate, now);
            if (supervisionStarted == 1) {
                auto alarm = std::make_unique<CAlarmInfoMsg>(DBMSG_ALARM_INFO);
                alarm->Result = DBRES_ALARM_NEW;
                alarm->AlarmType = ALARMTYPE_TEST_FAIL;
                alarm->AlarmSource = ALARMSOURCE_INTERNAL;
                alarm->AlarmStatus = ALARMSTATUS_NEW;
                alarm->IdCode = object.IdCode;
                alarm->AlarmTime = now;
                FillFromObject(object, *alarm);
                std::unique_ptr<CDatabaseMsg> reply = alarmTable.AddAlarmInfo(*alarm);
                added.emplace_back(reply.get(), alarm.get());
                news.push_back(std::move(reply));
                news.push_back(std::move(alarm));
            }
        }
        if (inTransaction) {
            try {
                database->CommitTrans();
            } catch (const CDbException& e) {
                database->Rollback();
                heldErrors.push_back("CDatabaseHandler::CheckTestAlarms: " + e.description);
                // The failure alarms are still shown; they are just not stored.
                for (auto& [reply, alarm] : added) {
                    reply->Result = DBRES_ALARM_ADD_ERROR;
                    alarm->PrimaryKey = 0;
                }
            }
        }
        holdErrors = false;
        ShowHeldErrors();
        for (auto& msg : news)
            PostToOwner(std::move(msg));
    }
    supervisionStarted = 1;
}

bool CDatabaseHandler::TryBeginTrans()
{
    try {
        database->BeginTrans();
        return true;
    } catch (const CDbException&) {
        // Without a transaction each change is simply written on its own.
        return false;
    }
}

void CDatabaseHandler::ShowHeldErrors()
{
    std::vector<std::string> errors = std::move(heldErrors);
    heldErrors.clear();
    for (const std::string& text : errors)
        ShowDbError(text);
}

bool CDatabaseHandler::IsTestAlarmOverdue(const COleDateTime& lastTestAlarm, int16_t days, const COleDateTime& now)
{
    const COleDateTime deadline = lastTestAlarm + (days + OleSpan(0, kTestAlarmGraceHours));
    return deadline.IsValid() && now.IsValid() && deadline < now;
}

void CDatabaseHandler::PurgeAlarms()
{
    CAlarmInfoReqMsg request;
    request.Kind = ALARM_KIND_OLDER_THAN;
    request.AgeDays = static_cast<uint16_t>(purgeDays);
    alarmTable.DeleteAlarmInfo(request);
}

void CDatabaseHandler::FinishEmergencyAlarm(const CAlarmInfoMsg& alarm)
{
    CAlarmInfoReqMsg request;
    request.Kind = ALARM_KIND_LAST_EMERGENCY;
    request.IdCode = alarm.IdCode;
    std::unique_ptr<CAlarmInfoMsg> found = alarmTable.FindAlarmInfo(request);
    // An alarm an operator has finished keeps its operator and time.
    if (found->Result != DBRES_ALARM_FOUND_EMERGENCY || found->AlarmStatus == ALARMSTATUS_FINISHED)
        return;
    const COleDateTime now = COleDateTime::GetCurrentTime();
    CAlarmInfoMsg finish(DBMSG_EDIT_ALARM_INFO);
    finish.PrimaryKey = found->PrimaryKey;
    finish.AlarmStatus = ALARMSTATUS_FINISHED;
    if (found->AlarmStatus == ALARMSTATUS_NEW) {
        finish.AckTime = now;
        finish.AckOperator = LookupText("IDS_DATABASEHANDLER_MSG_1");
    }
    finish.ExecTime = now;
    finish.ExecOperator = LookupText("IDS_DATABASEHANDLER_MSG_2");
    alarmTable.EditAlarmInfo(finish);
}
