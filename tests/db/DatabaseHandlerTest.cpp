// The database handler's own steps (new alarms, test-alarm supervision,
// end of alarm, purge) and its relay thread.

#include "DbTestSupport.h"

#include "core/TickSource.h"
#include "db/DbAlarmInfo.h"
#include "db/DbObjectInfo.h"
#include "db/ObjectInfoMsg.h"
#include "db/ObjectInfoReqMsg.h"
#include "messages/AlarmInfoReqMsg.h"
#include "messages/GsmHandlerMsg.h"
#include "messages/MailHandlerMsg.h"
#include "messages/TelHandlerMsg.h"

#include <chrono>
#include <functional>
#include <thread>

namespace {

const COleDateTime kNow(2024, 6, 10, 12, 0, 0);

}  // namespace

class DatabaseHandlerTest : public HandlerFixture {
protected:
    void SetUp() override
    {
        HandlerFixture::SetUp();
        objects.Attach(&handler, &database);
        alarms.Attach(&handler, &database);
    }

    void AddObject(const std::string& idCode, const std::function<void(CObjectInfoMsg&)>& change = {})
    {
        CObjectInfoMsg object(DBMSG_ADD_OBJECT_INFO);
        object.IdCode = idCode;
        object.IdInfo = "Lift " + idCode;
        object.Address = "Storgatan 1";
        object.AlarmPopUpEnabled = 1;
        object.MailAddrTech = "tech@example.com";
        object.SmsNumTech = "+46700000001";
        object.MailAddrEmg = "emg@example.com";
        object.SmsNumEmg = "+46700000002";
        object.Notes = "Notes of " + idCode;
        object.LastTestAlarm = kNow - 1.0;
        if (change)
            change(object);
        ASSERT_EQ(objects.AddObjectInfo(object)->Result, DBRES_OBJECT_ADDED);
    }

    std::unique_ptr<CObjectInfoMsg> Object(const std::string& idCode)
    {
        CObjectInfoReqMsg request;
        request.Kind = OBJECT_KIND_BY_ID;
        request.Key = idCode;
        return objects.FindObjectInfo(request);
    }

    std::unique_ptr<CAlarmInfoMsg> NewAlarm(const std::string& idCode, uint8_t type, COleDateTime time = kNow)
    {
        auto alarm = std::make_unique<CAlarmInfoMsg>();
        alarm->Result = DBRES_ALARM_NEW;
        alarm->IdCode = idCode;
        alarm->AlarmType = type;
        alarm->AlarmSource = ALARMSOURCE_TEL;
        alarm->AlarmStatus = type == ALARMTYPE_TEST ? ALARMSTATUS_INFO : ALARMSTATUS_NEW;
        alarm->AlarmTime = time;
        return alarm;
    }

    int StoredAlarms() { return QueryValue(database, QStringLiteral("SELECT count(*) FROM AlarmInfo")).toInt(); }

    CDbObjectInfo objects;
    CDbAlarmInfo alarms;
};

TEST_F(DatabaseHandlerTest, UnknownObjectIsStoredWithoutRecipients)
{
    auto alarm = NewAlarm("99999999", ALARMTYPE_P100);
    int32_t store = 1;
    EXPECT_EQ(handler.ProcessAlarm(*alarm, store), 0);
    EXPECT_EQ(store, 1);
    EXPECT_EQ(alarm->ObjectKnown, 0);
    EXPECT_TRUE(alarm->MailRecipients.empty());
    EXPECT_TRUE(alarm->SmsRecipients.empty());
    EXPECT_NE(alarm->PrimaryKey, 0u);
    auto reply = owner.TakeAs<CDatabaseMsg>();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->GetType(), DBMSG_ALARM_INFO);
    EXPECT_EQ(reply->Result, DBRES_ALARM_ADDED);
    EXPECT_EQ(StoredAlarms(), 1);
}

TEST_F(DatabaseHandlerTest, ObjectMarkedWithQuestionMarkDropsItsAlarms)
{
    AddObject("12345678", [](CObjectInfoMsg& o) { o.IdInfo = "?out of service"; });
    auto alarm = NewAlarm("12345678", ALARMTYPE_EMERGENCY_CALL);
    int32_t store = 1;
    EXPECT_EQ(handler.ProcessAlarm(*alarm, store), 0);
    EXPECT_EQ(store, 0);
    EXPECT_EQ(alarm->ObjectKnown, 0);
    EXPECT_TRUE(alarm->MailRecipients.empty());
    EXPECT_EQ(owner.Count(), 0u);
    EXPECT_EQ(StoredAlarms(), 0);
}

TEST_F(DatabaseHandlerTest, EmergencyTypesGoToTheEmergencyRecipients)
{
    AddObject("12345678");
    for (uint8_t type = 1; type <= 11; ++type) {
        if (type == ALARMTYPE_TEST || type == ALARMTYPE_TEST_FAIL)
            continue;
        auto alarm = NewAlarm("12345678", type);
        int32_t store = 1;
        handler.ProcessAlarm(*alarm, store);
        const bool emergency = type == 3 || type == 8 || type == 11;
        EXPECT_EQ(alarm->MailRecipients, emergency ? "emg@example.com" : "tech@example.com") << int(type);
        EXPECT_EQ(alarm->SmsRecipients, emergency ? "+46700000002" : "+46700000001") << int(type);
        EXPECT_EQ(alarm->ObjectKnown, 1);
        EXPECT_EQ(alarm->IdInfo, "Lift 12345678");
        EXPECT_EQ(alarm->ObjectAddress, "Storgatan 1");
        EXPECT_EQ(alarm->ObjectNotes, "Notes of 12345678");
        EXPECT_EQ(alarm->AlarmPopUpEnabled, 1);
    }
}

TEST_F(DatabaseHandlerTest, TestOnlyObjectTurnsEveryAlarmIntoATest)
{
    AddObject("12345678", [](CObjectInfoMsg& o) { o.TestAlarmOnly = 1; });
    auto alarm = NewAlarm("12345678", ALARMTYPE_VOICE);
    int32_t store = 1;
    EXPECT_EQ(handler.ProcessAlarm(*alarm, store), 1);
    EXPECT_EQ(alarm->AlarmType, ALARMTYPE_TEST);
    EXPECT_EQ(alarm->AlarmStatus, ALARMSTATUS_INFO);
    EXPECT_EQ(alarm->MailRecipients, "tech@example.com");
    EXPECT_EQ(Object("12345678")->LastTestAlarm, kNow);
}

TEST_F(DatabaseHandlerTest, TestAlarmFilterAtThirtyNineAndFortyMinutes)
{
    struct Case {
        int32_t filter;
        int minutes;
        bool stored;
    };
    for (const Case& c : {Case{1, 39, false}, Case{1, 40, true}, Case{0, 39, true}, Case{1, 0, false}}) {
        SCOPED_TRACE(testing::Message() << "filter " << c.filter << ", minutes " << c.minutes);
        const std::string id = "1000" + std::to_string(c.filter) + std::to_string(c.minutes);
        const COleDateTime previous(2024, 6, 10, 11, 0, 0);
        AddObject(id, [&](CObjectInfoMsg& o) { o.LastTestAlarm = previous; });
        handler.Configure(&database, 360, 0, c.filter);
        const int before = StoredAlarms();
        auto alarm = NewAlarm(id, ALARMTYPE_TEST, previous + OleSpan(0, 0, c.minutes));
        int32_t store = 1;
        handler.ProcessAlarm(*alarm, store);
        EXPECT_EQ(store, c.stored ? 1 : 0);
        EXPECT_EQ(StoredAlarms(), before + (c.stored ? 1 : 0));
        EXPECT_EQ(Object(id)->LastTestAlarm, c.stored ? alarm->AlarmTime : previous);
        owner.Clear();
    }
}

TEST_F(DatabaseHandlerTest, CallerIdTestAlarmFindsTheObjectByTelephoneNumber)
{
    AddObject("12345678", [](CObjectInfoMsg& o) { o.PhoneNumber = "+46812345"; });
    for (int32_t useCid : {0, 1}) {
        handler.Configure(&database, 360, useCid, 0);
        auto alarm = NewAlarm("+46812345", ALARMTYPE_TEST);
        alarm->AlarmSource = ALARMSOURCE_CALLER_ID;
        int32_t store = 1;
        handler.ProcessAlarm(*alarm, store);
        EXPECT_EQ(alarm->ObjectKnown, useCid) << useCid;
    }
}

TEST_F(DatabaseHandlerTest, AlarmThatCannotBeStoredIsStillReturned)
{
    database.Execute(QStringLiteral("DROP TABLE AlarmInfo"));
    auto alarm = NewAlarm("99999999", ALARMTYPE_P100);
    int32_t store = 1;
    handler.ProcessAlarm(*alarm, store);
    EXPECT_EQ(store, 1);
    EXPECT_EQ(alarm->PrimaryKey, 0u);
    auto reply = owner.TakeAs<CDatabaseMsg>();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Result, DBRES_ALARM_ADD_ERROR);
    ASSERT_EQ(errors.shown.size(), 1u);
    EXPECT_EQ(errors.shown[0].rfind("CDatabaseHandler::AddAlarmInfo: ", 0), 0u);
}

TEST_F(DatabaseHandlerTest, SupervisionDeadlineIsDaysPlusTwoHours)
{
    SettableNow now(kNow);
    AddObject("10000001", [](CObjectInfoMsg& o) {
        o.Days = 1;
        o.LastTestAlarm = kNow - OleSpan(1, 2, 1);  // 26 h 01 min back: overdue
    });
    AddObject("10000002", [](CObjectInfoMsg& o) {
        o.Days = 1;
        o.LastTestAlarm = kNow - OleSpan(1, 1, 59);  // 25 h 59 min back: not yet
    });
    AddObject("10000003", [](CObjectInfoMsg& o) {
        o.Days = 0;  // not supervised
        o.LastTestAlarm = kNow - 100.0;
    });

    // The first run after start-up only gives silent objects a fresh period.
    handler.CheckTestAlarms();
    EXPECT_EQ(handler.IsSupervisionStarted(), 1);
    EXPECT_EQ(owner.Count(), 0u);
    EXPECT_EQ(Object("10000001")->LastTestAlarm, kNow);
    EXPECT_EQ(Object("10000002")->LastTestAlarm, kNow - OleSpan(1, 1, 59));
    EXPECT_EQ(Object("10000003")->LastTestAlarm, kNow - 100.0);

    // Three minutes later the second object is overdue and raises its alarm.
    const COleDateTime later = kNow + OleSpan(0, 0, 3);
    now.Set(later);
    handler.CheckTestAlarms();
    auto reply = owner.TakeAs<CDatabaseMsg>();
    auto alarm = owner.TakeAs<CAlarmInfoMsg>();
    ASSERT_TRUE(reply);
    ASSERT_TRUE(alarm);
    EXPECT_EQ(owner.Count(), 0u);
    EXPECT_EQ(reply->Result, DBRES_ALARM_ADDED);
    EXPECT_EQ(alarm->Result, DBRES_ALARM_NEW);
    EXPECT_EQ(alarm->AlarmType, ALARMTYPE_TEST_FAIL);
    EXPECT_EQ(alarm->AlarmSource, ALARMSOURCE_INTERNAL);
    EXPECT_EQ(alarm->AlarmStatus, ALARMSTATUS_NEW);
    EXPECT_EQ(alarm->IdCode, "10000002");
    EXPECT_EQ(alarm->AlarmTime, later);
    EXPECT_EQ(alarm->MailRecipients, "tech@example.com");
    EXPECT_NE(alarm->PrimaryKey, 0u);
    EXPECT_EQ(Object("10000002")->LastTestAlarm, later);
    EXPECT_EQ(StoredAlarms(), 1);

    // Configure starts the supervision again with a silent run.
    handler.Configure(&database, 360, 0, 0);
    EXPECT_EQ(handler.IsSupervisionStarted(), 0);
}

TEST_F(DatabaseHandlerTest, EndOfAlarmFinishesTheNewestEmergencyAlarm)
{
    SettableNow now(kNow);
    auto store = [&](uint8_t type, uint8_t status, COleDateTime time) {
        auto alarm = NewAlarm("12345678", type, time);
        alarm->AlarmStatus = status;
        alarms.AddAlarmInfo(*alarm);
        return alarm->PrimaryKey;
    };
    const uint32_t older = store(ALARMTYPE_EMERGENCY_CALL, ALARMSTATUS_NEW, kNow - 1.0);
    const uint32_t newest = store(ALARMTYPE_EMERGENCY_CALL, ALARMSTATUS_NEW, kNow - 0.5);
    store(ALARMTYPE_VOICE, ALARMSTATUS_NEW, kNow - 0.1);

    handler.FinishEmergencyAlarm(*NewAlarm("12345678", ALARMTYPE_END_OF_ALARM));
    EXPECT_EQ(owner.Count(), 0u);
    auto find = [&](uint32_t key) {
        CAlarmInfoReqMsg request;
        request.Kind = ALARM_KIND_BY_KEY;
        request.PrimaryKey = key;
        return alarms.FindAlarmInfo(request);
    };
    auto finished = find(newest);
    EXPECT_EQ(finished->AlarmStatus, ALARMSTATUS_FINISHED);
    EXPECT_EQ(finished->AckOperator, "Maintenance person");
    EXPECT_EQ(finished->ExecOperator, "Maintenance person");
    EXPECT_EQ(finished->AckTime, kNow);
    EXPECT_EQ(finished->ExecTime, kNow);
    EXPECT_EQ(find(older)->AlarmStatus, ALARMSTATUS_NEW);

    // An acknowledged one keeps who acknowledged it.
    CAlarmInfoMsg ack(DBMSG_EDIT_ALARM_INFO);
    ack.PrimaryKey = older;
    ack.AlarmStatus = ALARMSTATUS_ACKNOWLEDGED;
    ack.AckOperator = "Anna";
    ack.AckTime = kNow - 0.9;
    alarms.EditAlarmInfo(ack);
    database.Execute(QStringLiteral("DELETE FROM AlarmInfo WHERE PrimaryKey = %1").arg(newest));
    handler.FinishEmergencyAlarm(*NewAlarm("12345678", ALARMTYPE_END_OF_ALARM));
    auto acknowledged = find(older);
    EXPECT_EQ(acknowledged->AlarmStatus, ALARMSTATUS_FINISHED);
    EXPECT_EQ(acknowledged->AckOperator, "Anna");
    EXPECT_EQ(acknowledged->ExecOperator, "Maintenance person");

    // One an operator has finished keeps the operator and the time (the
    // row is made acknowledged again first: a finished one is not finished
    // twice).
    database.Execute(QStringLiteral("UPDATE AlarmInfo SET AlarmStatus = %1 WHERE PrimaryKey = %2")
                         .arg(ALARMSTATUS_ACKNOWLEDGED)
                         .arg(older));
    CAlarmInfoMsg finish(DBMSG_EDIT_ALARM_INFO);
    finish.PrimaryKey = older;
    finish.AlarmStatus = ALARMSTATUS_FINISHED;
    finish.ExecOperator = "Bertil";
    finish.ExecTime = kNow - 0.8;
    alarms.EditAlarmInfo(finish);
    handler.FinishEmergencyAlarm(*NewAlarm("12345678", ALARMTYPE_END_OF_ALARM));
    auto byOperator = find(older);
    EXPECT_EQ(byOperator->ExecOperator, "Bertil");
    EXPECT_EQ(byOperator->ExecTime, kNow - 0.8);
    EXPECT_EQ(byOperator->AckOperator, "Anna");
}

// An error inside the supervision's transaction is shown only after the
// transaction has ended: a box waiting for the operator must not hold the
// database locked for every other writer.
TEST_F(DatabaseHandlerTest, SupervisionShowsItsErrorsAfterItsTransaction)
{
    struct LockProbe : CDbErrorReporter {
        CDatabase* db = nullptr;
        std::vector<bool> inTransaction;
        void ShowDbError(const std::string&) override
        {
            // BEGIN fails while a transaction is still open on this connection.
            try {
                db->BeginTrans();
                db->Rollback();
                inTransaction.push_back(false);
            } catch (const CDbException&) {
                inTransaction.push_back(true);
            }
        }
    } probe;
    probe.db = &database;
    handler.SetErrorReporter(&probe);
    AddObject("S1", [](CObjectInfoMsg& object) {
        object.Days = 1;
        object.LastTestAlarm = kNow - 3.0;
    });
    // Every write of the round fails (the object's deadline, the failure alarm).
    database.Execute(QStringLiteral("PRAGMA query_only=1"));
    handler.CheckTestAlarms();
    handler.CheckTestAlarms();
    database.Execute(QStringLiteral("PRAGMA query_only=0"));
    handler.SetErrorReporter(&errors);
    ASSERT_FALSE(probe.inTransaction.empty());
    for (bool open : probe.inTransaction)
        EXPECT_FALSE(open);
}

TEST_F(DatabaseHandlerTest, PurgeKeepsThePeriodConfigured)
{
    SettableNow now(kNow);
    for (double age : {400.0, 361.0, 359.0, 1.0}) {
        auto alarm = NewAlarm("12345678", ALARMTYPE_P100, kNow - age);
        alarms.AddAlarmInfo(*alarm);
    }
    handler.PurgeAlarms();  // 360 days
    EXPECT_EQ(StoredAlarms(), 2);
    EXPECT_EQ(owner.Count(), 0u);
}

TEST_F(DatabaseHandlerTest, LockedDatabaseGivesErrorResultsAndKeepsRows)
{
    auto alarm = NewAlarm("99999999", ALARMTYPE_P100);
    int32_t store = 1;
    handler.ProcessAlarm(*alarm, store);
    owner.Clear();
    {
        // Another program holds the write lock for longer than the busy wait.
        CDatabase other;
        other.Open(folder + DbSchema::kDatabaseFileName);
        other.Execute(QStringLiteral("BEGIN EXCLUSIVE"));
        auto second = NewAlarm("99999999", ALARMTYPE_P100);
        handler.ProcessAlarm(*second, store);
        auto reply = owner.TakeAs<CDatabaseMsg>();
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->Result, DBRES_ALARM_ADD_ERROR);
        ASSERT_EQ(errors.shown.size(), 1u);
        EXPECT_NE(errors.shown[0].find("locked"), std::string::npos) << errors.shown[0];
        other.Rollback();
    }
    // Once the lock is gone the station goes on; the first alarm is still there.
    auto third = NewAlarm("99999999", ALARMTYPE_P100);
    handler.ProcessAlarm(*third, store);
    EXPECT_EQ(owner.TakeAs<CDatabaseMsg>()->Result, DBRES_ALARM_ADDED);
    EXPECT_EQ(StoredAlarms(), 2);
}

// The relay thread, in real time: the hour is taken from the injectable
// "now", and a fake tick counter would race the one-second start handshake
// on a loaded machine.
class DatabaseRelayTest : public ::testing::Test {
protected:
    void SetUp() override { handler.SetOwner(&owner); }
    void TearDown() override { handler.Stop(); }

    // Waits until the owner holds n messages.
    bool WaitFor(size_t n)
    {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (owner.Count() < n && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        return owner.Count() >= n;
    }

    ScopedTimeZone zone;
    SettableNow now{COleDateTime(2024, 6, 10, 12, 30, 0)};
    RecordingOwner owner;
    CDatabaseHandler handler;
};

TEST_F(DatabaseRelayTest, PassesConvertsDropsAndTicks)
{
    ASSERT_EQ(handler.Start(), HNDRET_STARTED);
    // The first tick follows at once.
    ASSERT_TRUE(WaitFor(1));
    EXPECT_EQ(owner.Take()->GetType(), DBMSG_HOURLY_TICK);

    for (uint16_t type : {MAIL_STATUS, GSM_STATUS, TEL_NOTIFY, TEL_VOICE_CALL}) {
        handler.ReceiveMsg(std::make_unique<CHandlerMsg>(type));
        ASSERT_TRUE(WaitFor(1)) << type;
        auto msg = owner.Take();
        EXPECT_EQ(msg->GetType(), type);
        EXPECT_NE(dynamic_cast<CHandlerMsg*>(msg.get()), nullptr);
    }

    auto call = std::make_unique<CGsmHandlerMsg>(GSM_CALLER_ID);
    call->smsNumber = "+46812345";
    handler.ReceiveMsg(std::move(call));
    ASSERT_TRUE(WaitFor(1));
    auto alarm = owner.TakeAs<CAlarmInfoMsg>();
    ASSERT_TRUE(alarm);
    EXPECT_EQ(alarm->GetType(), DBMSG_ALARM_INFO);
    EXPECT_EQ(alarm->Result, DBRES_ALARM_NEW);
    EXPECT_EQ(alarm->AlarmType, ALARMTYPE_TEST);
    EXPECT_EQ(alarm->IdCode, "+46812345");

    // Unknown types, and alarm types the text manager cannot read, vanish.
    handler.ReceiveMsg(std::make_unique<CMsg>(99));
    handler.ReceiveMsg(std::make_unique<CMsg>(TEL_ALARM));
    handler.ReceiveMsg(std::make_unique<CHandlerMsg>(TEL_NOTIFY));
    ASSERT_TRUE(WaitFor(1));
    EXPECT_EQ(owner.Take()->GetType(), TEL_NOTIFY);

    // Within the hour: no tick. A new hour: one tick.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(owner.Count(), 0u);
    now.Set(COleDateTime(2024, 6, 10, 13, 0, 0));
    ASSERT_TRUE(WaitFor(1));
    EXPECT_EQ(owner.Take()->GetType(), DBMSG_HOURLY_TICK);
    // The clock put back an hour ticks as well.
    now.Set(COleDateTime(2024, 6, 10, 12, 0, 0));
    ASSERT_TRUE(WaitFor(1));
    EXPECT_EQ(owner.Take()->GetType(), DBMSG_HOURLY_TICK);

    EXPECT_EQ(handler.Stop(), HNDRET_STOPPED);
}
