// The record sets read each row straight from the engine. Whatever another
// tool left in a column (numbers in text columns, texts in number columns,
// broken UTF-8, blobs, NULL), the members get the values that reading the
// row through Qt's driver gives; and the statements kept prepared go with
// the connection they belong to.

#include "DbTestSupport.h"

#include "db/AlarmInfoSet.h"
#include "db/DbAlarmInfo.h"
#include "db/ObjectInfoMsg.h"
#include "db/ObjectInfoSet.h"
#include "messages/AlarmInfoMsg.h"

#include <QSqlQuery>

#include <filesystem>
#include <string>
#include <vector>

namespace {

// The reading of one value through Qt as the record sets did it first.
std::string QtText(const QVariant& v)
{
    return v.isNull() ? std::string() : v.toString().toStdString();
}

COleDateTime QtDate(const QVariant& v)
{
    COleDateTime value;
    if (v.isNull()) {
        value.SetStatus(COleDateTime::null);
    } else if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int) {
        value = COleDateTime(v.toDouble());
    } else {
        value = COleDateTime::FromIso(v.toString().toStdString());
    }
    return value;
}

class RecordSetTest : public HandlerFixture {};

}  // namespace

TEST_F(RecordSetTest, MembersGetWhatReadingThroughQtGives)
{
    // Each case fills the text columns with one literal, the number columns
    // with another and the date columns with a third.
    struct Case {
        const char* text;
        const char* number;
        const char* date;
    };
    const Case cases[] = {
        {"'plain'", "3", "'2024-06-10 12:00:00'"},
        {"'åäö €'", "255", "'2024-06-10T12:00:00'"},
        {"''", "0", "''"},
        {"NULL", "NULL", "NULL"},
        {"12", "'7'", "45400.25"},
        {"12.5", "' 7 '", "45400"},
        {"1e20", "2.6", "'2024-6-1 1:2:3'"},
        {"-0.000001", "-2.5", "'garbage'"},
        {"CAST(x'41ff42' AS TEXT)", "'x'", "CAST(x'c3' AS TEXT)"},
        {"CAST(x'eda080' AS TEXT)", "300", "CAST('2024-06-10 12:00:00' AS BLOB)"},
        {"x'00410042'", "x'31'", "x'32303234'"},
        {"CAST(x'410042' AS TEXT)", "70000", "'2024-06-10 12:00:00 '"},
        {"CAST(x'f0908080' AS TEXT)", "-1", "' 2024-06-10 12:00:00'"},
        {"CAST(x'c0af' AS TEXT)", "9223372036854775807", "1e300"},
    };
    for (const Case& c : cases) {
        database.Execute(QStringLiteral("DELETE FROM AlarmInfo"));
        database.Execute(QStringLiteral("INSERT INTO AlarmInfo (IdCode, IdInfo, Text, AckOperator, AlarmStatus, "
                                        "ExecOperator, AlarmSource, AlarmType, OpFailType, AckTime, AlarmTime, "
                                        "ExecTime, CallerIdInfo) VALUES (%1, %1, %1, %1, %2, %1, %2, %2, %2, %3, %3, "
                                        "%3, %1)")
                             .arg(QLatin1String(c.text), QLatin1String(c.number), QLatin1String(c.date)));
        QSqlQuery qt(database.Connection());
        ASSERT_TRUE(qt.exec(QStringLiteral("SELECT IdCode, IdInfo, Text, AckOperator, AlarmStatus, ExecOperator, "
                                           "AlarmSource, AlarmType, OpFailType, AckTime, AlarmTime, ExecTime, "
                                           "CallerIdInfo, PrimaryKey FROM AlarmInfo")));
        ASSERT_TRUE(qt.next());
        CAlarmInfoSet set(&database);
        set.Open();
        ASSERT_FALSE(set.IsEOF());
        const std::string name = std::string(c.text) + " / " + c.number + " / " + c.date;
        EXPECT_EQ(set.m_IdCode, QtText(qt.value(0))) << name;
        EXPECT_EQ(set.m_Text, QtText(qt.value(2))) << name;
        EXPECT_EQ(set.m_CallerIdInfo, QtText(qt.value(12))) << name;
        EXPECT_EQ(set.m_AlarmStatus, static_cast<uint8_t>(qt.value(4).toLongLong())) << name;
        EXPECT_EQ(set.m_OpFailType, static_cast<uint8_t>(qt.value(8).toLongLong())) << name;
        const COleDateTime date = QtDate(qt.value(10));
        EXPECT_EQ(set.m_AlarmTime.GetStatus(), date.GetStatus()) << name;
        EXPECT_EQ(set.m_AlarmTime.m_dt, date.m_dt) << name;
        EXPECT_EQ(set.m_PrimaryKey, static_cast<int32_t>(qt.value(13).toLongLong())) << name;
    }
}

TEST_F(RecordSetTest, KeptStatementsGoWithTheirConnection)
{
    CAlarmInfoMsg alarm;
    alarm.IdCode = "12345678";
    alarm.AlarmTime = COleDateTime(2024, 6, 10, 12, 0, 0);
    CDbAlarmInfo alarms;
    alarms.Attach(&handler, &database);
    ASSERT_EQ(alarms.AddAlarmInfo(alarm)->Result, DBRES_ALARM_ADDED);
    {
        CAlarmInfoSet set(&database);
        set.Open(QStringLiteral("\"IdCode\" = ?"), {QStringLiteral("12345678")});
        EXPECT_FALSE(set.IsEOF());
        // The same statement while the first is still reading: a second one.
        CAlarmInfoSet nested(&database);
        nested.Open(QStringLiteral("\"IdCode\" = ?"), {QStringLiteral("12345678")});
        EXPECT_FALSE(nested.IsEOF());
        EXPECT_EQ(nested.m_PrimaryKey, set.m_PrimaryKey);
    }
    // Another file at the same object (the database moved): the statements
    // and the writes prepared for the first file are gone with it.
    const std::string other = folder + "moved/";
    std::filesystem::create_directories(other);
    CreateStationDatabase(other);
    database.Close();
    database.Open(other + DbSchema::kDatabaseFileName);
    CAlarmInfoSet set(&database);
    set.Open(QStringLiteral("\"IdCode\" = ?"), {QStringLiteral("12345678")});
    EXPECT_TRUE(set.IsEOF());
    set.Close();
    ASSERT_EQ(alarms.AddAlarmInfo(alarm)->Result, DBRES_ALARM_ADDED);
    EXPECT_EQ(QueryValue(database, QStringLiteral("SELECT count(*) FROM AlarmInfo")).toInt(), 1);
    EXPECT_TRUE(errors.shown.empty());
}

TEST_F(RecordSetTest, WritesStoreWhatBindingThroughQtStored)
{
    // Each case fills the text members with one value, the number members
    // with another and the date members with a third.
    struct Case {
        const char* name;
        std::string text;
        uint8_t number;
        COleDateTime date;
    };
    COleDateTime invalid;
    invalid.SetStatus(COleDateTime::invalid);
    COleDateTime null;
    null.SetStatus(COleDateTime::null);
    const Case cases[] = {
        {"plain", "plain", 3, COleDateTime(2024, 6, 10, 12, 0, 0)},
        {"letters beyond ASCII", "åäö €", 255, COleDateTime(1999, 12, 31, 23, 59, 59)},
        {"empty", "", 0, null},
        {"lines and tabs", "line 1\r\nline 2\tend", 1, invalid},
        {"a zero byte inside", std::string("a\0b", 3), 7, COleDateTime(2024, 2, 29, 0, 0, 0)},
        {"broken UTF-8",
         "A\xff"
         "B",
         2, COleDateTime(2024, 6, 10, 12, 0, 0)},
    };
    const auto fill = [](CAlarmInfoSet& set, const Case& c) {
        set.m_IdCode = c.text;
        set.m_IdInfo = c.text;
        set.m_Text = c.text;
        set.m_AckOperator = c.text;
        set.m_ExecOperator = c.text;
        set.m_CallerIdInfo = c.text;
        set.m_AlarmStatus = c.number;
        set.m_AlarmSource = c.number;
        set.m_AlarmType = c.number;
        set.m_OpFailType = c.number;
        set.m_AckTime = c.date;
        set.m_AlarmTime = c.date;
        set.m_ExecTime = c.date;
    };
    // The same values bound through Qt's driver, as the record sets wrote them first.
    const auto qtInsert = [&](const Case& c) {
        CAlarmInfoSet probe(nullptr);
        fill(probe, c);
        const QVector<QVariant> values = probe.StoreValues();
        const QVector<QString> names = probe.ColumnNames();
        QStringList columns;
        QStringList marks;
        for (const QString& name : names)
            if (name != QLatin1String("PrimaryKey")) {
                columns << QStringLiteral("\"%1\"").arg(name);
                marks << QStringLiteral("?");
            }
        QSqlQuery insert(database.Connection());
        ASSERT_TRUE(insert.prepare(QStringLiteral("INSERT INTO AlarmInfo (%1) VALUES (%2)")
                                       .arg(columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")))));
        for (int i = 0; i < names.size(); ++i)
            if (names[i] != QLatin1String("PrimaryKey"))
                insert.addBindValue(values[i]);
        ASSERT_TRUE(insert.exec());
    };
    const QString row = QStringLiteral(
        "SELECT quote(IdCode) || quote(IdInfo) || quote(Text) || quote(AckOperator) || quote(ExecOperator) || "
        "quote(CallerIdInfo) || quote(AlarmStatus) || quote(AlarmSource) || quote(AlarmType) || quote(OpFailType) "
        "|| quote(AckTime) || quote(AlarmTime) || quote(ExecTime) FROM AlarmInfo WHERE PrimaryKey = %1");
    for (const Case& c : cases) {
        CAlarmInfoSet set(&database);
        set.AddNew();
        fill(set, c);
        set.Update();
        const int64_t written = set.GetLastAddedKey();
        qtInsert(c);
        const int64_t reference =
            QueryValue(database, QStringLiteral("SELECT max(PrimaryKey) FROM AlarmInfo")).toLongLong();
        EXPECT_EQ(reference, written + 1) << c.name;
        EXPECT_EQ(QueryValue(database, row.arg(written)).toString().toStdString(),
                  QueryValue(database, row.arg(reference)).toString().toStdString())
            << c.name;
    }
    // An edit writes the changed members alone, and the delete of a
    // condition counts the rows it removed.
    CAlarmInfoSet set(&database);
    set.Open(QStringLiteral("PrimaryKey = ?"), {QVariant(1)});
    ASSERT_FALSE(set.IsEOF());
    set.Edit();
    set.m_Text = "edited åäö";
    set.Update();
    set.Close();
    EXPECT_EQ(QueryValue(database, QStringLiteral("SELECT Text FROM AlarmInfo WHERE PrimaryKey = 1")).toString(),
              QStringLiteral("edited åäö"));
    EXPECT_EQ(set.DeleteWhere(QStringLiteral("PrimaryKey > ?"), {QVariant(2)}),
              static_cast<int64_t>(2 * std::size(cases) - 2));
}

TEST_F(RecordSetTest, AnObjectHoldingItsRecordWouldStoreItsRowUnchanged)
{
    // The supervision saves an object by its last test alarm alone when the
    // round trip through the record leaves every other stored value as it
    // is. HoldsRecord answers that from the members; where it says yes, the
    // values Update would compare must agree, and where the split texts
    // come back split differently it must say no.
    struct Case {
        const char* name;
        std::string columns;  // "column = literal" changes of the row
        bool holds;
    };
    const std::string long255 = "'" + std::string(255, 'a') + "'";
    const std::string long300 = "'" + std::string(300, 'b') + "'";
    const Case cases[] = {
        {"as the station writes it", "MailAddrTech1 = 'tech@x', MailAddrTech2 = ''", true},
        {"empty split texts", "MailAddrTech1 = '', MailAddrEmg1 = '', Notes1 = ''", true},
        {"NULL split texts", "MailAddrTech1 = NULL, MailAddrTech2 = NULL, Notes2 = NULL", true},
        {"first column full, second used", "Notes1 = " + long255 + ", Notes2 = 'more'", true},
        {"second used, first short", "MailAddrTech1 = 'a@x', MailAddrTech2 = 'b@x'", false},
        {"second used, first empty", "MailAddrEmg1 = '', MailAddrEmg2 = 'b@x'", false},
        {"first column beyond its size", "Notes1 = " + long300, false},
        {"broken UTF-8 in a split text", "Notes1 = CAST(x'41ff42' AS TEXT)", true},
        {"plain text beyond its size", "Address = " + long300, true},
        {"number in a text column", "Address = 12.5, Customer = 7", true},
        {"Days beyond a short", "Days = 65537", true},
        {"flags other than 0 and 1", "TestAlarmOnly = 5, AlarmPopUpEnabled = -1", true},
    };
    for (const Case& c : cases) {
        database.Execute(QStringLiteral("DELETE FROM ObjectInfo"));
        database.Execute(QStringLiteral(
            "INSERT INTO ObjectInfo (IdCode, IdInfo, Address, Days, LastTestAlarm, TestAlarmOnly, "
            "AlarmPopUpEnabled, MailAddrTech1, MailAddrTech2, SmsNumTech, MailAddrEmg1, MailAddrEmg2, SmsNumEmg, "
            "ElevatorType, Customer, Notes1, Notes2, PhoneNumber) VALUES ('A1', 'Lift', 'Street 1', 1, "
            "'2024-06-01 10:00:00', 0, 1, 'tech@x', '', '+461', 'emg@x', '', '+462', 'Traction', 'Customer', "
            "'Key', '', '+4611')"));
        database.Execute(QString::fromStdString("UPDATE ObjectInfo SET " + c.columns));
        CObjectInfoSet set(&database);
        set.Open();
        ASSERT_FALSE(set.IsEOF()) << c.name;
        CObjectInfoMsg record(DBMSG_OBJECT_INFO);
        set.CopyToRecord(record);
        record.LastTestAlarm = COleDateTime(2024, 6, 10, 12, 0, 0);
        EXPECT_EQ(set.HoldsRecord(record), c.holds) << c.name;
        // What the full comparison of the stored values says.
        const QVector<QVariant> loaded = set.StoreValues();
        CObjectInfoSet probe(nullptr);
        probe.SetFromRecord(record);
        const QVector<QVariant> values = probe.StoreValues();
        const QVector<QString> names = probe.ColumnNames();
        bool same = true;
        for (int i = 0; i < names.size(); ++i)
            if (names[i] != QLatin1String("LastTestAlarm") &&
                !(loaded[i] == values[i] && loaded[i].isNull() == values[i].isNull()))
                same = false;
        if (c.holds) {
            EXPECT_TRUE(same) << c.name;
        }
        set.Close();
    }
}
