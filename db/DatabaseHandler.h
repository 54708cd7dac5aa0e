#pragma once
// The database handler. Its worker thread is only a relay: the telephone,
// GSM and mail handlers post to it, it turns alarm-bearing messages into
// alarm records and passes everything else on to the document, and it posts
// the hourly tick. The database operations themselves run on the caller's
// thread (the user-interface thread), one at a time; every reply is posted to
// the owner, never returned to the caller.

#include "core/Handler.h"
#include "core/IntervalTimer.h"
#include "core/OleDateTime.h"
#include "db/DbAlarmInfo.h"
#include "db/DbCustomerInfo.h"
#include "db/DbErrorReporter.h"
#include "db/DbMailInfo.h"
#include "db/DbObjectInfo.h"
#include "db/DbSmsNumInfo.h"
#include "texts/MessageMgr.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CAlarmInfoMsg;
class CAlarmJournal;
class CCustomerInfoMsg;
class CDatabase;
class CObjectInfoMsg;

class CDatabaseHandler : public CHandler {
public:
    // Least span between two stored test alarms of one object when the test
    // alarm filter is on.
    static constexpr int kTestAlarmFilterMinutes = 40;
    // Grace period after a test alarm is due before it counts as missing.
    static constexpr int kTestAlarmGraceHours = 2;

    CDatabaseHandler();
    ~CDatabaseHandler() override;

    // Called before the thread starts. The table objects get the handler and
    // the database here, so the database operations work with or without the
    // relay thread. Starts the test-alarm supervision and the tick afresh.
    void Configure(CDatabase* database, int16_t purgeDays, int32_t useCidPhoneNumber, int32_t testAlarmFilter);
    // Where the error boxes go (nullptr: standard error).
    void SetErrorReporter(CDbErrorReporter* reporter) { errorReporter = reporter; }
    // The journal every alarm is written to before it is relayed (nullptr:
    // none). Set before the handlers that post alarms start.
    void SetJournal(CAlarmJournal* alarmJournal) { journal = alarmJournal; }
    CAlarmJournal* GetJournal() const { return journal; }

    // On the sender's thread: an alarm-bearing message is journaled before it
    // is queued, so its sender may let go of the alarm once this returns.
    void ReceiveMsg(std::unique_ptr<CMsg> msg) override;
    // Waits (at most kRelayIdleTimeoutMs) until every message received so
    // far has been relayed; relays the rest on the caller's thread when the
    // relay thread does not run.
    void WaitRelayIdle();
    static constexpr uint32_t kRelayIdleTimeoutMs = 2000;

    // Runs the request its message type selects and posts the reply to the
    // owner; the request is destroyed. Unknown types get no reply.
    void ExecuteRequest(std::unique_ptr<CMsg> request);

    // Matches a new alarm to its object, applies the object's settings and,
    // when the store flag is (still) 1, stores it and posts the add reply.
    // Returns 1 when the object's TestAlarmOnly made it a test alarm.
    int ProcessAlarm(CAlarmInfoMsg& alarm, int32_t& storeFlag);
    // The two halves of ProcessAlarm, so that an alarm can be forwarded
    // between them: matching (store flag 0 drops the alarm and closes its
    // journal record) and storing.
    int MatchAlarm(CAlarmInfoMsg& alarm, int32_t& storeFlag);
    // Stores the alarm and posts the add reply. An alarm that cannot be
    // stored is kept (and stays open in the journal) until a retry stores
    // it. True when stored.
    bool StoreAlarm(CAlarmInfoMsg& alarm);
    // The first try of the alarm road: stores the alarm unless that means
    // waiting for a lock or fails, and posts the add reply when stored. It
    // shows no error and keeps nothing; the journal record stays open for
    // the caller to close (JournalDone) once the alarm is forwarded too.
    // True when stored; after false, StoreAlarm is the full attempt.
    bool StoreAlarmAtOnce(CAlarmInfoMsg& alarm);
    // Stores the kept alarms that can be stored now, without error boxes;
    // the number stored.
    std::size_t RetryUnstored();
    // The alarms that wait to be stored, oldest first.
    const std::vector<std::unique_ptr<CAlarmInfoMsg>>& Unstored() const { return unstored; }
    // After a restart: the journal's open records go into the relay again
    // as the messages they were. Returns the ids of the records replayed,
    // each with whether it had been forwarded already.
    std::vector<std::pair<std::string, bool>> ReplayJournal();
    // Whether the alarm already has a row (after a crash between the commit
    // and the journal's mark, or an SMS the modem offers again because its
    // deletion failed): 1 yes, 0 no, -1 the table cannot be read.
    int HasStoredTwin(const CAlarmInfoMsg& alarm);
    // The journal record is finished with (stored or dropped on purpose).
    void JournalDone(const std::string& journalId);
    // Test-alarm supervision, on each hourly tick.
    void CheckTestAlarms();
    // Deletes the alarms older than the keep period, on each hourly tick.
    void PurgeAlarms();
    // For an End of Alarm: finishes the object's newest emergency alarm.
    void FinishEmergencyAlarm(const CAlarmInfoMsg& alarm);

    // The customer of that name, or nullptr.
    std::unique_ptr<CCustomerInfoMsg> FindCustomer(const std::string& name);

    // The error box of a failed operation.
    void ShowDbError(const std::string& text);

    int32_t IsSupervisionStarted() const { return supervisionStarted; }

protected:
    void ThreadMain() override;
    const char* ThreadName() const override { return "DbRelay"; }

private:
    // Opens a transaction; false when the engine refuses one (then each
    // change is written on its own).
    bool TryBeginTrans();
    // Shows, in their order, the errors held while a transaction was open.
    void ShowHeldErrors();
    void Relay(std::unique_ptr<CMsg> msg);
    void PostToOwner(std::unique_ptr<CMsg> msg);
    // The object of the alarm: by telephone number for a caller-identity test
    // alarm when the setting says so, else by identity code.
    std::unique_ptr<CObjectInfoMsg> LookupObject(const CAlarmInfoMsg& alarm);
    void AddObjectNotes(const CAlarmInfoReqMsg& request, CAlarmInfoMsg& reply);
    static void FillFromObject(const CObjectInfoMsg& object, CAlarmInfoMsg& alarm);
    static bool IsWithinTestAlarmFilter(const COleDateTime& lastTestAlarm, const COleDateTime& alarmTime);
    // The supervision's rule: Days (not 0) and two hours after the last test
    // alarm lie before now.
    static bool IsTestAlarmOverdue(const COleDateTime& lastTestAlarm, int16_t days, const COleDateTime& now);
    // MatchAlarm that also hands back the object as written when it changed
    // the object's last test alarm.
    int MatchAlarm(CAlarmInfoMsg& alarm, int32_t& storeFlag, std::unique_ptr<CObjectInfoMsg>* edited);
    // Posts the add reply of a stored or failed alarm: a stored one is done
    // in the journal, a failed one is kept for a retry. True when stored.
    bool FinishStore(CAlarmInfoMsg& alarm, std::unique_ptr<CDatabaseMsg> reply);

    CMessageMgr messageMgr;
    CDbAlarmInfo alarmTable;
    CDbObjectInfo objectTable;
    CDbCustomerInfo customerTable;
    CDbMailInfo mailTable;
    CDbSmsNumInfo smsTable;
    CIntervalTimer tickTimer;
    int16_t lastHour = -1;
    CDatabase* database = nullptr;
    int16_t purgeDays = 0;
    int32_t supervisionStarted = 0;
    int32_t useCidPhoneNumber = 0;
    int32_t testAlarmFilter = 0;
    CDbErrorReporter* errorReporter = nullptr;
    CAlarmJournal* journal = nullptr;
    std::vector<std::unique_ptr<CAlarmInfoMsg>> unstored;
    std::atomic<uint64_t> received{0};
    std::atomic<uint64_t> relayed{0};
    // Error boxes held back while a transaction is open (they are shown
    // after it ends) or suppressed while retrying (the operator was told).
    bool holdErrors = false;
    bool quietErrors = false;
    bool silentErrors = false;  // a try whose failure is handled by a full attempt
    std::vector<std::string> heldErrors;
};
