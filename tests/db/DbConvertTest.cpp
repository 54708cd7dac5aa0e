// Creation of a new database and the import of an older installation's
// IdInfo.dat and EventSave.dat, with fixtures written from their formats.

#include "DbTestSupport.h"

#include "db/DbConvertVer01.h"
#include "db/DbObjectInfo.h"
#include "db/DbProgressList.h"
#include "db/ObjectInfoMsg.h"
#include "db/ObjectInfoReqMsg.h"

#include <fstream>

#include <sys/stat.h>

namespace {

class RecordingProgress : public CDbProgressList {
public:
    void AddProgressLine(const std::string& text) override { lines.push_back(text); }
    std::vector<std::string> lines;
};

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::vector<std::string> Columns(CDatabase& database, const char* table)
{
    std::vector<std::string> names;
    QSqlQuery query(database.Connection());
    query.exec(QStringLiteral("SELECT name FROM pragma_table_info('%1')").arg(QLatin1String(table)));
    while (query.next())
        names.push_back(query.value(0).toString().toStdString());
    return names;
}

const char US = '\x1f';

}  // namespace

class DbConvertTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(InstallEnglishDictionary());
        folder = dir.Path().string() + "/";
    }

    template <typename T>
    void Prepare(T& convert)
    {
        convert.SetPath(folder);
        convert.SetOperator("Olle");
        convert.SetProgressList(&progress);
        convert.SetErrorReporter(&errors);
    }

    ScopedTimeZone zone;
    TempDir dir;
    std::string folder;
    RecordingProgress progress;
    RecordingErrors errors;
};

TEST_F(DbConvertTest, CreatesTheFiveEmptyTables)
{
    CDbConvert convert;
    Prepare(convert);
    EXPECT_EQ(convert.CopyData(), 0);
    ASSERT_EQ(convert.CreateDatabase(), 1);
    EXPECT_EQ(progress.lines,
              (std::vector<std::string>{"Creating Database 'ORVA_10.mdb'...", "Creating ObjectInfo table...",
                                        "Creating CustomerInfo table...", "Creating MailInfo table...",
                                        "Creating SmsNumberInfo table...", "Creating AlarmInfo table..."}));
    EXPECT_TRUE(errors.shown.empty());

    CDatabase database;
    database.Open(folder + "ORVA_10.mdb");
    for (const char* table : {"ObjectInfo", "CustomerInfo", "MailInfo", "SmsNumberInfo", "AlarmInfo"})
        EXPECT_EQ(QueryValue(database, QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(table))).toInt(), 0);
    EXPECT_EQ(Columns(database, "ObjectInfo"),
              (std::vector<std::string>{"IdCode", "IdInfo", "Address", "Days", "LastTestAlarm", "TestAlarmOnly",
                                        "AlarmPopUpEnabled", "MailAddrTech1", "MailAddrTech2", "SmsNumTech",
                                        "MailAddrEmg1", "MailAddrEmg2", "SmsNumEmg", "ElevatorType", "Customer",
                                        "Notes1", "Notes2", "PhoneNumber"}));
    // CallerIdInfo arrives with the upgrade at the first start.
    EXPECT_EQ(
        Columns(database, "AlarmInfo"),
        (std::vector<std::string>{"PrimaryKey", "IdCode", "AlarmSource", "AlarmType", "IdInfo", "OpFailType", "Text",
                                  "AlarmStatus", "AlarmTime", "AckTime", "ExecTime", "AckOperator", "ExecOperator"}));
    EXPECT_EQ(Columns(database, "CustomerInfo"), (std::vector<std::string>{"Name", "Info"}));
    EXPECT_EQ(Columns(database, "MailInfo"), (std::vector<std::string>{"Name", "Address"}));
    EXPECT_EQ(Columns(database, "SmsNumberInfo"), (std::vector<std::string>{"Name", "Number"}));
}

TEST_F(DbConvertTest, NeverOverwritesAnExistingFile)
{
    CreateStationDatabase(folder);
    {
        CDatabase database;
        database.Open(folder + "ORVA_10.mdb");
        database.Execute(QStringLiteral("INSERT INTO MailInfo (Name, Address) VALUES ('keep', 'me@example.com')"));
    }
    CDbConvert convert;
    Prepare(convert);
    EXPECT_EQ(convert.CreateDatabase(), 0);
    EXPECT_EQ(progress.lines.back(), "Error Creating Database...");
    EXPECT_EQ(errors.shown.size(), 1u);
    CDatabase database;
    database.Open(folder + "ORVA_10.mdb");
    EXPECT_EQ(QueryValue(database, QStringLiteral("SELECT count(*) FROM MailInfo")).toInt(), 1);

    CDbConvert nowhere;
    Prepare(nowhere);
    nowhere.SetPath(folder + "missing/");
    EXPECT_EQ(nowhere.CreateDatabase(), 0);
    EXPECT_EQ(progress.lines.back(), "Error Creating Database...");
}

// The database holds telephone numbers, addresses and alarm texts: the file and
// the companions the engine makes beside it are the station user's alone,
// also under the usual umask 022.
TEST_F(DbConvertTest, NewDatabaseAndItsCompanionFilesArePrivate)
{
    const mode_t previousMask = ::umask(022);
    CDbConvert convert;
    Prepare(convert);
    ASSERT_EQ(convert.CreateDatabase(), 1);
    {
        CDatabase database;
        database.Open(folder + "ORVA_10.mdb");
        database.Execute(QStringLiteral("INSERT INTO MailInfo (Name, Address) VALUES ('a', 'b')"));
        for (const char* name : {"ORVA_10.mdb", "ORVA_10.mdb-wal", "ORVA_10.mdb-shm"}) {
            struct stat info {};
            ASSERT_EQ(::stat((folder + name).c_str(), &info), 0) << name;
            EXPECT_EQ(info.st_mode & 07777, 0600u) << name;
        }
    }
    ::umask(previousMask);
}

TEST_F(DbConvertTest, ImportsObjectsFromIdInfo)
{
    const std::string longMail(300, 'm');
    std::string file;
    file += "12345678:Plain description\r\n";  // no separators: other fields empty
    file += "1234:abc\n";                      // shorter than 9 characters
    file += "no colon in this line at all\n";  // no ":"
    file += std::string("87654321:K\xF6pmangatan \x80") + US + "7" + US + longMail + US + "1622541600" + US +
            "+4670111" + US + "1" + US + "emg@example.com" + US + "+4670222\r\n";
    file += std::string("11112222:Bad numbers") + US + "x7" + US + US + "soon" + US + US + "12abc\n";
    file += std::string("33334444:Huge") + US + "99999999999999999999\n";
    file += "55556666:" + std::string(100000, 'L') + "\n";  // a very long line
    file += std::string("\x01\x02\xff:\xfe\x00\x1f\x1f\x1f garbage", 17) + "\n";
    WriteFile(folder + "IdInfo.dat", file);

    CDbConvertVer01 convert;
    Prepare(convert);
    ASSERT_EQ(convert.CreateDatabase(), 1);
    ASSERT_EQ(convert.CopyData(), 1);
    EXPECT_TRUE(errors.shown.empty()) << errors.shown.front();
    EXPECT_EQ(progress.lines.back(), "Copying AlarmInfo Data...");

    CDatabase database;
    database.Open(folder + "ORVA_10.mdb");
    CDatabaseHandler handler;
    handler.Configure(&database, 360, 0, 0);
    CDbObjectInfo objects;
    objects.Attach(&handler, &database);
    auto find = [&](const std::string& id) {
        CObjectInfoReqMsg request;
        request.Kind = OBJECT_KIND_BY_ID;
        request.Key = id;
        return objects.FindObjectInfo(request);
    };
    EXPECT_EQ(QueryValue(database, QStringLiteral("SELECT count(*) FROM ObjectInfo")).toInt(), 6);

    auto plain = find("12345678");
    ASSERT_EQ(plain->Result, DBRES_OBJECT_FOUND_ID);
    EXPECT_EQ(plain->IdInfo, "Plain description");
    EXPECT_EQ(plain->Days, 0);
    EXPECT_EQ(plain->TestAlarmOnly, 0);
    EXPECT_EQ(plain->AlarmPopUpEnabled, 1);
    EXPECT_EQ(plain->MailAddrTech, "");
    EXPECT_EQ(plain->LastTestAlarm.ToIso(), "1970-01-01 01:00:00");

    auto full = find("87654321");
    EXPECT_EQ(full->IdInfo, "K\xC3\xB6pmangatan \xE2\x82\xAC");  // Windows-1252 read as such
    EXPECT_EQ(full->Days, 7);
    EXPECT_EQ(full->MailAddrTech, longMail);
    EXPECT_EQ(full->LastTestAlarm.ToIso(), "2021-06-01 12:00:00");
    EXPECT_EQ(full->SmsNumTech, "+4670111");
    EXPECT_EQ(full->TestAlarmOnly, 1);
    EXPECT_EQ(full->MailAddrEmg, "emg@example.com");
    EXPECT_EQ(full->SmsNumEmg, "+4670222");
    EXPECT_EQ(full->PhoneNumber, "");

    auto bad = find("11112222");
    EXPECT_EQ(bad->Days, 0);
    EXPECT_EQ(bad->TestAlarmOnly, 1);  // "12abc" is 12: true
    EXPECT_EQ(find("33334444")->Days, 32767);
    EXPECT_EQ(find("55556666")->IdInfo, std::string(255, 'L'));
}

TEST_F(DbConvertTest, ImportsAlarmsFromEventSave)
{
    SettableNow now(COleDateTime(2024, 6, 10, 12, 0, 0));
    auto record = [](int source, int oldType, const std::string& id, int opFail, const std::string& time,
                     std::vector<std::string> text) {
        std::string r = std::to_string(source) + "\n" + std::to_string(oldType) + "\n" + id + "\nLift " + id + "\n" +
                        std::to_string(opFail) + "\n0\n" + time + "\n" + std::to_string(text.size()) + "\n";
        for (const auto& line : text)
            r += line + "\r\n";
        return r;
    };
    std::string file;
    file += record(1, 5, "10000001", 0, "1622541600", {"Test call"});
    file += record(1, 2, "10000002", 0, "1622541660", {"Voice", "second line"});
    file += record(1, 1, "10000003", 0, "1622541720", {});
    file += record(2, 1, "10000004", 0, "1622541780", {"sms"});
    file += record(1, 3, "10000005", 2, "garbage", {std::string(400, 'x')});
    file += record(1, 9, "10000006", 0, "1622541840", {});
    file += "1\n2\n10000007\nLift\n0\n0\n1622541900\n5\nonly\ntwo lines\n";  // incomplete
    WriteFile(folder + "EventSave.dat", file);

    CDbConvertVer01 convert;
    Prepare(convert);
    ASSERT_EQ(convert.CreateDatabase(), 1);
    ASSERT_EQ(convert.CopyData(), 1);
    EXPECT_TRUE(errors.shown.empty());

    CDatabase database;
    database.Open(folder + "ORVA_10.mdb");
    QSqlQuery query(database.Connection());
    ASSERT_TRUE(query.exec(QStringLiteral("SELECT IdCode, AlarmSource, AlarmType, OpFailType, AlarmStatus, AlarmTime, "
                                          "AckTime, ExecTime, AckOperator, ExecOperator, Text FROM AlarmInfo "
                                          "ORDER BY PrimaryKey")));
    struct Row {
        std::string id;
        int source, type, opFail, status;
        std::string time, ack, exec, ackOp, execOp, text;
    };
    std::vector<Row> rows;
    while (query.next()) {
        Row r;
        r.id = query.value(0).toString().toStdString();
        r.source = query.value(1).toInt();
        r.type = query.value(2).toInt();
        r.opFail = query.value(3).toInt();
        r.status = query.value(4).toInt();
        r.time = query.value(5).toString().toStdString();
        r.ack = query.value(6).toString().toStdString();
        r.exec = query.value(7).toString().toStdString();
        r.ackOp = query.value(8).toString().toStdString();
        r.execOp = query.value(9).toString().toStdString();
        r.text = query.value(10).toString().toStdString();
        rows.push_back(r);
    }
    ASSERT_EQ(rows.size(), 6u);  // the incomplete last record is not copied
    const std::string converted = "2024-06-10 12:00:00";
    // A test alarm: information, no acknowledgement data.
    EXPECT_EQ(rows[0].type, ALARMTYPE_TEST);
    EXPECT_EQ(rows[0].status, ALARMSTATUS_INFO);
    EXPECT_EQ(rows[0].ackOp, "");
    EXPECT_EQ(rows[0].ack, "1899-12-30 00:00:00");
    EXPECT_EQ(rows[0].time, "2021-06-01 12:00:00");
    // Everything else: finished by the operator on duty at the conversion.
    EXPECT_EQ(rows[1].type, ALARMTYPE_VOICE);
    EXPECT_EQ(rows[1].status, ALARMSTATUS_FINISHED);
    EXPECT_EQ(rows[1].ack, converted);
    EXPECT_EQ(rows[1].exec, converted);
    EXPECT_EQ(rows[1].ackOp, "Olle");
    EXPECT_EQ(rows[1].execOp, "Olle");
    EXPECT_EQ(rows[1].text, "Voice\nsecond line");
    EXPECT_EQ(rows[2].type, ALARMTYPE_P100);
    EXPECT_EQ(rows[3].type, ALARMTYPE_SMS);
    EXPECT_EQ(rows[4].type, ALARMTYPE_OPFAIL);
    EXPECT_EQ(rows[4].opFail, 2);
    EXPECT_EQ(rows[4].time, "1970-01-01 01:00:00");  // no digits read as 0
    EXPECT_EQ(rows[4].text.size(), 255u);
    EXPECT_EQ(rows[5].type, 9);  // unknown old types stay as they are
}

// A time stamp that is no date the station can hold (after the year 9999, or
// so far out that the year no longer fits the calendar arithmetic) marks a
// damaged line or record: it is skipped and the copy goes on with the next.
TEST_F(DbConvertTest, TimeStampsBeyondAnyDateSkipTheirLineOrRecord)
{
    const std::vector<std::string> badStamps = {
        "67768007771952000",  // the year overflows a 32-bit number
        "99999999999999",     // about the year 3,170,000
        "253402318800",       // early in the year 10000
    };
    std::string objects = std::string("10000001:Good before") + US + "1" + US + US + "1622541600\n";
    for (size_t i = 0; i < badStamps.size(); ++i)
        objects += "2000000" + std::to_string(i) + ":Damaged" + US + "1" + US + US + badStamps[i] + "\n";
    // The last hour of the year 9999 in local time is still a date.
    objects += std::string("10000002:Good after") + US + "1" + US + US + "253402293600\n";
    WriteFile(folder + "IdInfo.dat", objects);

    auto record = [](const std::string& id, const std::string& time) {
        return "1\n2\n" + id + "\nLift\n0\n0\n" + time + "\n2\nfirst\nsecond\n";
    };
    std::string alarms = record("10000001", "1622541600");
    for (size_t i = 0; i < badStamps.size(); ++i)
        alarms += record("2000000" + std::to_string(i), badStamps[i]);
    alarms += record("10000002", "1622541660");
    WriteFile(folder + "EventSave.dat", alarms);

    CDbConvertVer01 convert;
    Prepare(convert);
    ASSERT_EQ(convert.CreateDatabase(), 1);
    ASSERT_EQ(convert.CopyData(), 1);
    EXPECT_TRUE(errors.shown.empty());

    CDatabase database;
    database.Open(folder + "ORVA_10.mdb");
    auto idCodes = [&database](const char* table) {
        std::vector<std::string> ids;
        QSqlQuery query(database.Connection());
        query.exec(QStringLiteral("SELECT IdCode FROM %1 ORDER BY rowid").arg(QLatin1String(table)));
        while (query.next())
            ids.push_back(query.value(0).toString().toStdString());
        return ids;
    };
    EXPECT_EQ(idCodes("ObjectInfo"), (std::vector<std::string>{"10000001", "10000002"}));
    EXPECT_EQ(idCodes("AlarmInfo"), (std::vector<std::string>{"10000001", "10000002"}));
    EXPECT_EQ(QueryValue(database, QStringLiteral("SELECT LastTestAlarm FROM ObjectInfo WHERE IdCode = '10000002'"))
                  .toString(),
              QStringLiteral("9999-12-31 23:00:00"));
}

TEST_F(DbConvertTest, MissingOrGarbageFilesNeverStopTheCopy)
{
    {
        CDbConvertVer01 convert;
        Prepare(convert);
        EXPECT_EQ(convert.CopyData(), 0);  // no database yet
        EXPECT_EQ(errors.shown.size(), 1u);
        ASSERT_EQ(convert.CreateDatabase(), 1);
        EXPECT_EQ(convert.CopyData(), 1);  // neither file there: nothing to copy
    }
    std::string garbage;
    for (int i = 0; i < 200000; ++i)
        garbage += static_cast<char>((i * 7919) % 256);
    WriteFile(folder + "IdInfo.dat", garbage);
    WriteFile(folder + "EventSave.dat", garbage + "\n99999999999999\n");
    CDbConvertVer01 convert;
    Prepare(convert);
    EXPECT_EQ(convert.CopyData(), 1);
}

TEST(DbConvertParsing, NumbersAndLines)
{
    EXPECT_EQ(CDbConvertVer01::LeadingNumber("123abc"), 123);
    EXPECT_EQ(CDbConvertVer01::LeadingNumber(" 12"), 0);
    EXPECT_EQ(CDbConvertVer01::LeadingNumber("-5"), 0);
    EXPECT_EQ(CDbConvertVer01::LeadingNumber(""), 0);
    EXPECT_EQ(CDbConvertVer01::LeadingNumber("99999999999999999999999"), INT32_MAX);
    EXPECT_EQ(CDbConvertVer01::SplitLines("a\r\nb\n\nc"), (std::vector<std::string>{"a", "b", "", "c"}));
    EXPECT_EQ(CDbConvertVer01::SplitLines("a\n"), (std::vector<std::string>{"a"}));

    CObjectInfoMsg object;
    EXPECT_TRUE(CDbConvertVer01::ParseObjectLine("1234:6789", object));
    EXPECT_FALSE(CDbConvertVer01::ParseObjectLine("1234:678", object));
    EXPECT_EQ(CDbConvertVer01::TranslateAlarmType(6, 1), ALARMTYPE_TEST_FAIL);
    EXPECT_EQ(CDbConvertVer01::TranslateAlarmType(4, 1), ALARMTYPE_LIFT_MONITORING);
}
