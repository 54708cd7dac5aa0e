// A new alarm is matched to its object and stored in one transaction: one
// commit (one disk flush) for the object's last test alarm and the row, and
// a failed row reported and kept as when each change was written alone.

#include "DbTestSupport.h"

#include "db/DbObjectInfo.h"
#include "db/ObjectInfoMsg.h"
#include "db/ObjectInfoReqMsg.h"

#include <QSqlDriver>

#include <sqlite3.h>

namespace {

const COleDateTime kNow(2024, 6, 10, 12, 0, 0);

int CountCommit(void* count)
{
    ++*static_cast<int*>(count);
    return 0;
}

class ProcessAlarmTest : public HandlerFixture {
protected:
    void SetUp() override
    {
        HandlerFixture::SetUp();
        objects.Attach(&handler, &database);
        CObjectInfoMsg object(DBMSG_ADD_OBJECT_INFO);
        object.IdCode = "10000001";
        object.IdInfo = "Lift";
        object.LastTestAlarm = kNow - 1.0;
        ASSERT_EQ(objects.AddObjectInfo(object)->Result, DBRES_OBJECT_ADDED);
        const QVariant native = database.Connection().driver()->handle();
        sqlite3_commit_hook(*static_cast<sqlite3* const*>(native.constData()), CountCommit, &commits);
    }

    std::unique_ptr<CAlarmInfoMsg> TestAlarm()
    {
        auto alarm = std::make_unique<CAlarmInfoMsg>();
        alarm->Result = DBRES_ALARM_NEW;
        alarm->IdCode = "10000001";
        alarm->AlarmType = ALARMTYPE_TEST;
        alarm->AlarmSource = ALARMSOURCE_TEL;
        alarm->AlarmStatus = ALARMSTATUS_INFO;
        alarm->AlarmTime = kNow;
        return alarm;
    }

    COleDateTime LastTestAlarm()
    {
        CObjectInfoReqMsg request;
        request.Kind = OBJECT_KIND_BY_ID;
        request.Key = "10000001";
        return objects.FindObjectInfo(request)->LastTestAlarm;
    }

    CDbObjectInfo objects;
    int commits = 0;
};

}  // namespace

TEST_F(ProcessAlarmTest, ObjectChangeAndRowAreOneCommit)
{
    auto alarm = TestAlarm();
    int32_t store = 1;
    handler.ProcessAlarm(*alarm, store);
    EXPECT_EQ(commits, 1);
    EXPECT_NE(alarm->PrimaryKey, 0u);
    EXPECT_EQ(LastTestAlarm(), kNow);
    auto reply = owner.TakeAs<CDatabaseMsg>();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Result, DBRES_ALARM_ADDED);
    EXPECT_TRUE(handler.Unstored().empty());
    EXPECT_TRUE(errors.shown.empty());
}

TEST_F(ProcessAlarmTest, FailedRowIsReportedAndKeptAndTheObjectChangeStays)
{
    database.Execute(
        QStringLiteral("CREATE TRIGGER NoRoom BEFORE INSERT ON AlarmInfo BEGIN SELECT RAISE(ABORT, 'no room'); END"));
    auto alarm = TestAlarm();
    int32_t store = 1;
    handler.ProcessAlarm(*alarm, store);
    EXPECT_EQ(alarm->PrimaryKey, 0u);
    auto reply = owner.TakeAs<CDatabaseMsg>();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Result, DBRES_ALARM_ADD_ERROR);
    EXPECT_EQ(errors.shown, std::vector<std::string>{"CDatabaseHandler::AddAlarmInfo: no room"});
    EXPECT_EQ(handler.Unstored().size(), 1u);
    // As when the object's change was written on its own before the row.
    EXPECT_EQ(LastTestAlarm(), kNow);
    EXPECT_FALSE(database.InTransaction());
    EXPECT_EQ(QueryValue(database, QStringLiteral("SELECT count(*) FROM AlarmInfo")).toInt(), 0);
}
