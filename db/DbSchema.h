#pragma once
// The five tables of the database file and their columns in the order they
// are created. The creation of a new database, the schema upgrade, the record
// sets (column limits) and the indexes all read this one description.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class DbColumnType { Text, Memo, Byte, Integer, Long, Boolean, Date };

struct DbColumn {
    const char* name;
    DbColumnType type;
    int size;            // characters of a Text column; 0 otherwise
    bool autoIncrement;  // the engine assigns the value when a row is added
};

struct DbTable {
    const char* name;
    std::vector<DbColumn> columns;  // in creation order, without the upgrade columns
};

struct DbIndex {
    const char* name;
    const char* table;
    std::vector<const char*> columns;
    // An index on an expression instead of columns (then columns is empty).
    const char* expression = nullptr;
};

namespace DbSchema {

extern const char* const kDatabaseFileName;  // "ORVA_10.mdb"
extern const char* const kLegacyObjectFile;  // "IdInfo.dat"
extern const char* const kLegacyAlarmFile;   // "EventSave.dat"

// The folder of the database as the setting DatabasePath names it, ending in
// exactly one "/": "station", "station/" and "station//" all give "station/",
// an empty setting gives "./". The setting is a folder whatever it ends with;
// a name is never glued to its last component.
std::string DatabaseFolder(const std::string& databasePath);
// A file in that folder: the database, the files of an older installation, or
// anything else that belongs beside the database.
std::string FileInDatabaseFolder(const std::string& databasePath, const std::string& name);
// The database file ("ORVA_10.mdb") of the setting DatabasePath.
std::string DatabaseFile(const std::string& databasePath);

// ObjectInfo, CustomerInfo, MailInfo, SmsNumberInfo, AlarmInfo, in creation order.
// ObjectInfo already has PhoneNumber; AlarmInfo lacks CallerIdInfo, which the
// upgrade adds at the first start.
const std::vector<DbTable>& Tables();
const DbTable& Table(const std::string& name);

// The columns that the schema upgrade adds when they are missing, in order:
// ObjectInfo.PhoneNumber, AlarmInfo.CallerIdInfo.
struct UpgradeColumn {
    const char* table;
    DbColumn column;
};
const std::vector<UpgradeColumn>& UpgradeColumns();

// The character limit of a column (0: no limit), also for upgrade columns.
int ColumnSize(const std::string& table, const std::string& column);

// Whether the text fits the column, counted in characters as it is stored.
bool Fits(const std::string& table, const std::string& column, std::string_view value);

// Column definition text for CREATE TABLE and ALTER TABLE ... ADD COLUMN.
std::string ColumnDefinition(const DbColumn& column);
std::string CreateTableStatement(const DbTable& table);

// The indexes behind the handler's searches. They change no result; they keep
// the alarm list, the object lookup of every alarm and the purge fast on
// databases with years of alarms and tens of thousands of objects.
const std::vector<DbIndex>& Indexes();
std::string CreateIndexStatement(const DbIndex& index);

// The test-alarm deadline of an object row as the engine can tell it, in
// Julian days: the last test alarm plus Days when the date has exactly the
// stored form and Days is a short whole number other than 0; NULL when Days
// is 0 (never supervised); -1e9 for every other row (the station judges
// those itself). An index holds it, so the supervision reads only the rows
// that may be overdue. A query must use this very text to use the index.
extern const char* const kTestDeadlineExpression;

}  // namespace DbSchema
