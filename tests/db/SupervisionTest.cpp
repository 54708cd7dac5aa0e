// The test-alarm supervision picks the overdue objects with the engine: the
// same objects, the same stored rows, the same failure alarms and the same
// error boxes as judging every object of the register one by one.

#include "DbTestSupport.h"

#include "db/DbAlarmInfo.h"
#include "db/DbObjectInfo.h"
#include "db/ObjectInfoMsg.h"
#include "db/ObjectInfoReqMsg.h"

#include <QSqlQuery>

#include <filesystem>
#include <string>
#include <vector>

namespace {

const COleDateTime kNow(2024, 6, 10, 12, 0, 0);

std::string Iso(const COleDateTime& t)
{
    return "'" + t.ToIso() + "'";
}

// A row of the register as another tool may have left it: each value is an
// SQL literal.
struct Row {
    const char* name;
    std::string idCode;
    std::string days;
    std::string lastTestAlarm;
    std::string phone = "''";
    std::string more = {};  // further "column = literal" changes
};

std::vector<Row> Rows()
{
    const double hour = OleSpan(0, 1);
    const double second = OleSpan(0, 0, 0, 1);
    return {
        {"exactly at the limit", "'A01'", "1", Iso(kNow - 1.0 - 2 * hour)},
        {"one second past the limit", "'A02'", "1", Iso(kNow - 1.0 - 2 * hour - second)},
        {"one second before the limit", "'A03'", "1", Iso(kNow - 1.0 - 2 * hour + second)},
        {"a week and a second", "'A04'", "7", Iso(kNow - 7.0 - 2 * hour - second)},
        {"Days 0 long silent", "'A05'", "0", Iso(kNow - 100.0)},
        {"empty last test alarm", "'A06'", "1", "''"},
        {"no last test alarm", "'A07'", "1", "NULL"},
        {"T separator", "'A08'", "1", "'2024-06-01T10:00:00'"},
        {"one-digit fields", "'A09'", "1", "'2024-6-1 1:00:00'"},
        {"date alone", "'A10'", "1", "'2024-06-01'"},
        {"day count as a number", "'A11'", "1", "45400.5"},
        {"whole day count", "'A12'", "1", "45400"},
        {"impossible date", "'A13'", "1", "'2024-02-30 10:00:00'"},
        {"year before 100", "'A14'", "1", "'0050-01-01 00:00:00'"},
        {"garbage", "'A15'", "1", "'yesterday'"},
        {"negative Days", "'A16'", "-1", Iso(kNow - hour)},
        {"Days beyond a short", "'A17'", "65536", Iso(kNow - 100.0)},
        {"Days beyond a short, not zero", "'A18'", "65537", Iso(kNow - 100.0)},
        {"Days as text", "'A19'", "'2'", Iso(kNow - 10.0)},
        {"Days as a fraction", "'A20'", "1.5", Iso(kNow - 10.0)},
        {"Days NULL", "'A21'", "NULL", Iso(kNow - 10.0)},
        {"in the future", "'A22'", "1", Iso(kNow + 10.0)},
        {"test alarms only", "'A23'", "1", Iso(kNow - 3.0), "''", "TestAlarmOnly = 1"},
        {"telephone number of its own", "'A24'", "1", Iso(kNow - 3.0), "'+4611111'"},
        {"first of a shared telephone number", "'A25'", "1", Iso(kNow - 0.5), "'+4622222'"},
        {"second of a shared telephone number", "'A26'", "1", Iso(kNow - 3.0), "'+4622222'"},
        {"first of a doubled identity code", "'A27'", "1", Iso(kNow - 0.5)},
        {"second of a doubled identity code", "'A27'", "1", Iso(kNow - 3.0)},
        {"split text that joins differently", "'A28'", "1", Iso(kNow - 3.0), "''",
         "MailAddrTech1 = 'a@x', MailAddrTech2 = 'b@x'"},
        {"identity code longer than its column", "'" + std::string(40, '9') + "'", "1", Iso(kNow - 3.0)},
        {"identity code as a number", "123", "1", Iso(kNow - 3.0)},
        {"text of broken UTF-8", "'A29'", "1", Iso(kNow - 3.0), "''", "Notes1 = CAST(x'41ff42' AS TEXT)"},
        {"number in a text column", "'A30'", "1", Iso(kNow - 3.0), "''", "Address = 12.5"},
        {"blob date", "'A31'", "1", "CAST('2024-06-01 10:00:00' AS BLOB)"},
        // A date function given 'now' fails inside an index: the deadline
        // index must never hand it such a row.
        {"the word now", "'A32'", "1", "'now'"},
        {"the word now, Days 0", "'A33'", "0", "'now'"},
    };
}

// The round as it was first written: every object of the register loaded
// and judged here, each overdue one saved with EditObjectInfo.
void ReferenceRound(CDatabaseHandler& handler, CDatabase& database, bool started)
{
    CDbObjectInfo objects;
    CDbAlarmInfo alarms;
    objects.Attach(&handler, &database);
    alarms.Attach(&handler, &database);
    const COleDateTime now = COleDateTime::GetCurrentTime();
    CObjectInfoReqMsg request;
    request.Kind = OBJECT_KIND_ALL;
    std::unique_ptr<CObjectInfoMsg> all = objects.FindObjectInfo(request);
    if (all->Result != DBRES_OBJECT_FOUND_ALL)
        return;
    database.BeginTrans();
    for (CMsg* each = all.get(); each != nullptr; each = each->Next.get()) {
        auto& object = static_cast<CObjectInfoMsg&>(*each);
        if (object.Days == 0)
            continue;
        const COleDateTime deadline = object.LastTestAlarm + (object.Days + OleSpan(0, 2));
        if (!(deadline.IsValid() && now.IsValid() && deadline < now))
            continue;
        object.LastTestAlarm = now;
        objects.EditObjectInfo(object);
        if (started) {
            CAlarmInfoMsg alarm(DBMSG_ALARM_INFO);
            alarm.AlarmType = ALARMTYPE_TEST_FAIL;
            alarm.AlarmSource = ALARMSOURCE_INTERNAL;
            alarm.AlarmStatus = ALARMSTATUS_NEW;
            alarm.IdCode = object.IdCode;
            alarm.AlarmTime = now;
            alarm.IdInfo = object.IdInfo;
            alarms.AddAlarmInfo(alarm);
        }
    }
    database.CommitTrans();
}

// Every row of the table, each value with its stored type, byte for byte.
std::vector<std::string> Dump(CDatabase& database, const char* table)
{
    QStringList columns;
    {
        QSqlQuery info(database.Connection());
        info.exec(QStringLiteral("SELECT name FROM pragma_table_info('%1')").arg(QLatin1String(table)));
        while (info.next())
            columns << QStringLiteral("typeof(\"%1\") || ':' || quote(\"%1\")").arg(info.value(0).toString());
    }
    std::vector<std::string> rows;
    QSqlQuery query(database.Connection());
    query.exec(QStringLiteral("SELECT rowid || ' ' || %1 FROM \"%2\" ORDER BY rowid")
                   .arg(columns.join(QStringLiteral(" || ' ' || ")), QLatin1String(table)));
    while (query.next())
        rows.push_back(query.value(0).toString().toStdString());
    return rows;
}

class SupervisionTest : public HandlerFixture {
protected:
    void SetUp() override
    {
        HandlerFixture::SetUp();
        std::filesystem::create_directories(folder + "ref/");
        CreateStationDatabase(folder + "ref/");
        reference.Open(folder + "ref/" + DbSchema::kDatabaseFileName);
        referenceHandler.SetErrorReporter(&referenceErrors);
        referenceHandler.SetOwner(&referenceOwner);
        referenceHandler.Configure(&reference, 360, 0, 0);
        for (CDatabase* db : {&database, &reference})
            for (const Row& row : Rows())
                db->Execute(QString::fromStdString(
                    "INSERT INTO ObjectInfo (IdCode, IdInfo, Address, Days, LastTestAlarm, TestAlarmOnly, "
                    "AlarmPopUpEnabled, MailAddrTech1, MailAddrTech2, SmsNumTech, MailAddrEmg1, MailAddrEmg2, "
                    "SmsNumEmg, ElevatorType, Customer, Notes1, Notes2, PhoneNumber) VALUES (" +
                    row.idCode + ", 'Lift', 'Street 1', " + row.days + ", " + row.lastTestAlarm +
                    ", 0, 1, 'tech@x', '', '+461', 'emg@x', '', '+462', 'Traction', 'Customer', 'Key', '', " +
                    row.phone + ")"));
        for (CDatabase* db : {&database, &reference})
            for (const Row& row : Rows())
                if (!row.more.empty())
                    db->Execute(
                        QString::fromStdString("UPDATE ObjectInfo SET " + row.more + " WHERE rowid = (" +
                                               "SELECT max(rowid) FROM ObjectInfo WHERE IdCode = " + row.idCode + ")"));
    }

    void CompareRounds();

    CDatabase reference;
    RecordingErrors referenceErrors;
    RecordingOwner referenceOwner;
    CDatabaseHandler referenceHandler;
};

// The station's file as the manager upgrades it: the supervision reads the
// deadline index instead of the whole register.
class SupervisionIndexedTest : public SupervisionTest {
protected:
    void SetUp() override
    {
        SupervisionTest::SetUp();
        for (const DbIndex& index : DbSchema::Indexes())
            database.Execute(QString::fromStdString(DbSchema::CreateIndexStatement(index)));
        ASSERT_EQ(QueryValue(database, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = "
                                                      "'IX_ObjectInfo_TestDeadline'"))
                      .toInt(),
                  1);
    }
};

}  // namespace

TEST_F(SupervisionTest, SameObjectsRowsAlarmsAndErrorsAsJudgingEveryObject)
{
    CompareRounds();
}

TEST_F(SupervisionIndexedTest, SameObjectsRowsAlarmsAndErrorsAsJudgingEveryObject)
{
    CompareRounds();
}

void SupervisionTest::CompareRounds()
{
    ASSERT_EQ(Dump(database, "ObjectInfo"), Dump(reference, "ObjectInfo"));
    struct Round {
        const char* name;
        COleDateTime now;
        bool started;
    };
    const Round rounds[] = {
        {"silent first run", kNow, false},
        {"a second later", kNow + OleSpan(0, 0, 0, 1), true},
        {"part of a second later", COleDateTime(kNow.m_dt + 1.6 / 86400.0), true},
        {"three days later", kNow + 3.0, true},
    };
    for (const Round& round : rounds) {
        SettableNow now(round.now);
        ReferenceRound(referenceHandler, reference, round.started);
        if (!round.started)
            handler.Configure(&database, 360, 0, 0);
        handler.CheckTestAlarms();
        EXPECT_EQ(Dump(database, "ObjectInfo"), Dump(reference, "ObjectInfo")) << round.name;
        EXPECT_EQ(Dump(database, "AlarmInfo"), Dump(reference, "AlarmInfo")) << round.name;
        EXPECT_EQ(errors.shown, referenceErrors.shown) << round.name;
    }
    // The failure alarms were raised, and posted each after its add reply.
    EXPECT_GT(Dump(database, "AlarmInfo").size(), 10u);
    std::vector<std::string> posted;
    while (std::unique_ptr<CMsg> msg = owner.Take()) {
        if (auto* alarm = dynamic_cast<CAlarmInfoMsg*>(msg.get()))
            posted.push_back(std::to_string(alarm->PrimaryKey) + " " + std::to_string(alarm->AlarmType));
    }
    QSqlQuery stored(database.Connection());
    stored.exec(QStringLiteral("SELECT PrimaryKey, AlarmType FROM AlarmInfo ORDER BY PrimaryKey"));
    size_t i = 0;
    while (stored.next()) {
        ASSERT_LT(i, posted.size());
        EXPECT_EQ(posted[i],
                  QStringLiteral("%1 %2").arg(stored.value(0).toString(), stored.value(1).toString()).toStdString());
        ++i;
    }
    EXPECT_EQ(i, posted.size());
}
