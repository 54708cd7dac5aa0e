#include "db/DbSchema.h"

#include "core/TextEncoding.h"

#include <stdexcept>

namespace DbSchema {

const char* const kDatabaseFileName = "ORVA_10.mdb";
const char* const kLegacyObjectFile = "IdInfo.dat";
const char* const kLegacyAlarmFile = "EventSave.dat";

std::string DatabaseFolder(const std::string& databasePath)
{
    if (databasePath.empty())
        return "./";
    const size_t last = databasePath.find_last_not_of('/');
    if (last == std::string::npos)
        return "/";
    return databasePath.substr(0, last + 1) + "/";
}

std::string FileInDatabaseFolder(const std::string& databasePath, const std::string& name)
{
    return DatabaseFolder(databasePath) + name;
}

std::string DatabaseFile(const std::string& databasePath)
{
    return FileInDatabaseFolder(databasePath, kDatabaseFileName);
}

namespace {

DbColumn Text(const char* name, int size)
{
    return {name, DbColumnType::Text, size, false};
}
DbColumn Of(const char* name, DbColumnType type)
{
    return {name, type, 0, false};
}

}  // namespace

const std::vector<DbTable>& Tables()
{
    static const std::vector<DbTable> tables = {
        {"ObjectInfo",
         {Text("IdCode", 20), Text("IdInfo", 255), Text("Address", 255), Of("Days", DbColumnType::Integer),
          Of("LastTestAlarm", DbColumnType::Date), Of("TestAlarmOnly", DbColumnType::Boolean),
          Of("AlarmPopUpEnabled", DbColumnType::Boolean), Text("MailAddrTech1", 255), Text("MailAddrTech2", 255),
          Text("SmsNumTech", 255), Text("MailAddrEmg1", 255), Text("MailAddrEmg2", 255), Text("SmsNumEmg", 255),
          Text("ElevatorType", 255), Text("Customer", 40), Text("Notes1", 255), Text("Notes2", 255),
          Text("PhoneNumber", 30)}},
        {"CustomerInfo", {Text("Name", 40), Of("Info", DbColumnType::Memo)}},
        {"MailInfo", {Text("Name", 80), Text("Address", 80)}},
        {"SmsNumberInfo", {Text("Name", 80), Text("Number", 20)}},
        {"AlarmInfo",
         {{"PrimaryKey", DbColumnType::Long, 0, true},
          Text("IdCode", 20),
          Of("AlarmSource", DbColumnType::Byte),
          Of("AlarmType", DbColumnType::Byte),
          Text("IdInfo", 255),
          Of("OpFailType", DbColumnType::Byte),
          Text("Text", 255),
          Of("AlarmStatus", DbColumnType::Byte),
          Of("AlarmTime", DbColumnType::Date),
          Of("AckTime", DbColumnType::Date),
          Of("ExecTime", DbColumnType::Date),
          Text("AckOperator", 30),
          Text("ExecOperator", 30)}},
    };
    return tables;
}

const DbTable& Table(const std::string& name)
{
    for (const DbTable& table : Tables())
        if (name == table.name)
            return table;
    throw std::logic_error("unknown table " + name);
}

const std::vector<UpgradeColumn>& UpgradeColumns()
{
    static const std::vector<UpgradeColumn> columns = {
        {"ObjectInfo", Text("PhoneNumber", 30)},
        {"AlarmInfo", Text("CallerIdInfo", 30)},
    };
    return columns;
}

int ColumnSize(const std::string& table, const std::string& column)
{
    for (const DbColumn& c : Table(table).columns)
        if (column == c.name)
            return c.size;
    for (const UpgradeColumn& u : UpgradeColumns())
        if (table == u.table && column == u.column.name)
            return u.column.size;
    return 0;
}

bool Fits(const std::string& table, const std::string& column, std::string_view value)
{
    const int size = ColumnSize(table, column);
    return size <= 0 || TextEncoding::CountChars(TextEncoding::SanitizeUtf8(value)) <= static_cast<size_t>(size);
}

std::string ColumnDefinition(const DbColumn& column)
{
    // SQLite keeps the declared types for the reader of the file; the limits
    // themselves are applied by the record sets. Dates are ISO 8601 text.
    std::string definition = std::string("\"") + column.name + "\" ";
    switch (column.type) {
    case DbColumnType::Text:
        return definition + "VARCHAR(" + std::to_string(column.size) + ")";
    case DbColumnType::Memo:
        return definition + "TEXT";
    case DbColumnType::Byte:
        return definition + "TINYINT";
    case DbColumnType::Integer:
        return definition + "SMALLINT";
    case DbColumnType::Long:
        // The auto-increment counter never hands out a number twice, even
        // after the newest alarms were deleted.
        return definition + (column.autoIncrement ? "INTEGER PRIMARY KEY AUTOINCREMENT" : "INTEGER");
    case DbColumnType::Boolean:
        return definition + "BOOLEAN";
    case DbColumnType::Date:
        return definition + "DATETIME";
    }
    return definition;
}

std::string CreateTableStatement(const DbTable& table)
{
    std::string sql = std::string("CREATE TABLE \"") + table.name + "\" (";
    for (size_t i = 0; i < table.columns.size(); ++i) {
        if (i > 0)
            sql += ", ";
        sql += ColumnDefinition(table.columns[i]);
    }
    return sql + ")";
}

const std::vector<DbIndex>& Indexes()
{
    static const std::vector<DbIndex> indexes = {
        {"IX_ObjectInfo_IdCode", "ObjectInfo", {"IdCode"}},
        {"IX_ObjectInfo_PhoneNumber", "ObjectInfo", {"PhoneNumber"}},
        {"IX_CustomerInfo_Name", "CustomerInfo", {"Name"}},
        {"IX_MailInfo_Address", "MailInfo", {"Address"}},
        {"IX_SmsNumberInfo_Number", "SmsNumberInfo", {"Number"}},
        // The alarm list (all statuses, newest first) and the purge.
        {"IX_AlarmInfo_AlarmTime", "AlarmInfo", {"AlarmTime"}},
        // The alarm list filtered to one status (new alarms are rare among many).
        {"IX_AlarmInfo_Status_Time", "AlarmInfo", {"AlarmStatus", "AlarmTime"}},
        // The newest emergency alarm of an object.
        {"IX_AlarmInfo_IdCode_Type_Time", "AlarmInfo", {"IdCode", "AlarmType", "AlarmTime"}},
        // The hourly test-alarm supervision: the objects whose deadline has
        // passed, without reading the whole register.
        {"IX_ObjectInfo_TestDeadline", "ObjectInfo", {}, kTestDeadlineExpression},
    };
    return indexes;
}

// The date function only ever sees text of the exact stored form, so no
// row (not even one holding 'now') can make the index fail a write.
const char* const kTestDeadlineExpression =
    "CASE WHEN typeof(\"Days\") = 'integer' AND \"Days\" = 0 THEN NULL "
    "WHEN typeof(\"Days\") = 'integer' AND \"Days\" BETWEEN -32768 AND 32767 AND typeof(\"LastTestAlarm\") = "
    "'text' AND \"LastTestAlarm\" GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]' "
    "THEN julianday(\"LastTestAlarm\") + \"Days\" ELSE -1e9 END";

std::string CreateIndexStatement(const DbIndex& index)
{
    std::string sql = std::string("CREATE INDEX IF NOT EXISTS \"") + index.name + "\" ON \"" + index.table + "\" (";
    if (index.expression != nullptr)
        return sql + "(" + index.expression + "))";
    for (size_t i = 0; i < index.columns.size(); ++i) {
        if (i > 0)
            sql += ", ";
        sql += std::string("\"") + index.columns[i] + "\"";
    }
    return sql + ")";
}

}  // namespace DbSchema
