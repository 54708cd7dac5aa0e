#include "db/Database.h"

#include "db/DbSchema.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// SQLite's primary result codes that the open check tells apart.
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteReadOnly = 8;
constexpr int kSqliteNotADb = 26;

QString NextConnectionName()
{
    static std::atomic<unsigned> counter{0};
    return QStringLiteral("orva-db-%1").arg(counter.fetch_add(1));
}

std::string FolderOf(const std::string& filePath)
{
    const fs::path parent = fs::path(filePath).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

int ErrorNumberOf(int native)
{
    // Extended result codes carry the primary code in their low byte.
    switch (native & 0xFF) {
    case kSqliteNotADb:
    case kSqliteCorrupt:
        return DBERR_UNRECOGNIZED;
    case kSqliteReadOnly:
        return DBERR_READ_ONLY;
    default:
        return native;
    }
}

int ErrorNumber(const QSqlError& error)
{
    bool ok = false;
    const int native = error.nativeErrorCode().toInt(&ok);
    return ok ? ErrorNumberOf(native) : -1;
}

}  // namespace

CDatabase::CDatabase() : connectionName(NextConnectionName())
{
}

CDatabase::~CDatabase()
{
    Close();
}

bool CDatabase::IsOpen() const
{
    return open;
}

QSqlDatabase CDatabase::Connection() const
{
    if (!open)
        throw CDbException(DBERR_NOT_OPEN, "The database is not open.");
    return QSqlDatabase::database(connectionName, false);
}

void CDatabase::Raise(const QSqlError& error)
{
    std::string text = error.databaseText().toStdString();
    if (text.empty())
        text = error.text().toStdString();
    if (text.empty())
        text = "Unknown database error.";
    throw CDbException(ErrorNumber(error), text);
}

void CDatabase::RaiseLastError() const
{
    Raise(QSqlDatabase::database(connectionName, false).lastError());
}

void CDatabase::Open(const std::string& filePath)
{
    Close();
    std::error_code ec;
    const std::string folder = FolderOf(filePath);
    if (!fs::is_directory(folder, ec))
        throw CDbException(DBERR_INVALID_PATH, "'" + folder + "' is not a valid path.");
    if (!fs::exists(filePath, ec))
        throw CDbException(DBERR_FILE_NOT_FOUND, "Could not find file '" + filePath + "'.");
    if (!fs::is_regular_file(filePath, ec))
        throw CDbException(DBERR_UNRECOGNIZED, "Unrecognized database format '" + filePath + "'.");
    CheckFileHeader(filePath);
    OpenConnection(filePath);
    try {
        CheckUsable();
    } catch (...) {
        Close();
        throw;
    }
    checkpointer.Start(handle, fs::absolute(filePath).string());
}

void CDatabase::Create(const std::string& filePath)
{
    Close();
    std::error_code ec;
    const std::string folder = FolderOf(filePath);
    if (!fs::is_directory(folder, ec))
        throw CDbException(DBERR_INVALID_PATH, "'" + folder + "' is not a valid path.");
    // Claim the name first: an existing file, whatever it holds, is never
    // replaced or written into by a creation. The file holds telephone
    // numbers, addresses and alarm texts, so it is the station user's alone;
    // the engine gives its journal and shared-memory files beside it the
    // same mode.
    const int fd = ::open(filePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == EEXIST)
            throw CDbException(DBERR_ALREADY_EXISTS, "Database '" + filePath + "' already exists.");
        throw CDbException(DBERR_READ_ONLY, "Could not create file '" + filePath + "'.");
    }
    ::fchmod(fd, 0600);
    ::close(fd);
    OpenConnection(filePath);
    try {
        // The journal mode is kept in the file, so it is set once here.
        Execute(QStringLiteral("PRAGMA journal_mode=WAL"));
    } catch (...) {
        Close();
        throw;
    }
    checkpointer.Start(handle, fs::absolute(filePath).string());
}

void CDatabase::Close()
{
    // Before the connection it watches closes (which copies the rest of the
    // log back itself).
    checkpointer.Stop();
    DropStatements();
    if (QSqlDatabase::contains(connectionName)) {
        {
            QSqlDatabase db = QSqlDatabase::database(connectionName, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(connectionName);
    }
    open = false;
    path.clear();
}

void CDatabase::OpenConnection(const std::string& filePath)
{
    const std::string absolute = fs::absolute(filePath).lexically_normal().string();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        if (!db.isValid()) {
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(connectionName);
            throw CDbException(-1, "The SQLite driver of Qt Sql is not available.");
        }
        // mode=rw: an open never creates a missing file behind our back.
        const QString uri = QUrl::fromLocalFile(QString::fromStdString(absolute)).toString(QUrl::FullyEncoded) +
                            QStringLiteral("?mode=rw");
        db.setDatabaseName(uri);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
        if (!db.open()) {
            const QSqlError error = db.lastError();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(connectionName);
            Raise(error);
        }
        // The engine's own connection, for the statements the station keeps
        // prepared and reads directly.
        const QVariant native = db.driver()->handle();
        if (native.isValid() && std::strcmp(native.typeName(), "sqlite3*") == 0)
            handle = *static_cast<sqlite3* const*>(native.constData());
        if (handle == nullptr) {
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(connectionName);
            throw CDbException(-1, "The SQLite driver of Qt Sql gives no connection handle.");
        }
    }
    open = true;
    ++generation;
    path = filePath;
}

void CDatabase::SetLockWait(bool wait)
{
    if (handle != nullptr)
        sqlite3_busy_timeout(handle, wait ? kBusyTimeoutMs : 0);
}

void CDatabase::RaiseNative(int code) const
{
    std::string text = handle != nullptr ? std::string(sqlite3_errmsg(handle)) : std::string();
    if (text.empty())
        text = "Unknown database error.";
    throw CDbException(ErrorNumberOf(code), text);
}

CDbStatement CDatabase::Statement(const std::string& sql)
{
    if (!open)
        throw CDbException(DBERR_NOT_OPEN, "The database is not open.");
    const auto idle = idleStatements.find(sql);
    if (idle != idleStatements.end()) {
        sqlite3_stmt* statement = idle->second;
        idleStatements.erase(idle);
        return CDbStatement(this, sql, statement, generation);
    }
    sqlite3_stmt* statement = nullptr;
    const int result = sqlite3_prepare_v3(handle, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                                          &statement, nullptr);
    if (result != SQLITE_OK) {
        sqlite3_finalize(statement);
        RaiseNative(result);
    }
    return CDbStatement(this, sql, statement, generation);
}

void CDatabase::GiveBack(std::string sql, sqlite3_stmt* statement, uint64_t owner)
{
    if (open && owner == generation)
        idleStatements.emplace(std::move(sql), statement);
    else
        sqlite3_finalize(statement);
}

QSqlQuery& CDatabase::PreparedQuery(const QString& sql)
{
    const auto found = writeQueries.find(sql);
    if (found != writeQueries.end())
        return *found->second;
    auto query = std::make_unique<QSqlQuery>(Connection());
    if (!query->prepare(sql))
        Raise(query->lastError());
    return *writeQueries.emplace(sql, std::move(query)).first->second;
}

void CDatabase::DropStatements()
{
    for (auto& [sql, statement] : idleStatements)
        sqlite3_finalize(statement);
    idleStatements.clear();
    writeQueries.clear();
    handle = nullptr;
}

bool CDatabase::InTransaction() const
{
    return open && handle != nullptr && sqlite3_get_autocommit(handle) == 0;
}

void CDatabase::ExecutePrepared(const QString& sql)
{
    QSqlQuery& query = PreparedQuery(sql);
    const bool done = query.exec();
    const QSqlError error = query.lastError();
    query.finish();
    if (!done)
        Raise(error);
}

void CDatabase::CheckFileHeader(const std::string& filePath) const
{
    // Only the magic text is read here, so that a file that is no database
    // at all is never opened by the engine. Whether a database is sound is
    // the engine's to judge (CheckSound): the page count in this header lags
    // behind while committed pages still wait in the write-ahead log, for
    // instance after a checkpoint that a power cut interrupted.
    const CDbException unrecognized(DBERR_UNRECOGNIZED, "Unrecognized database format '" + filePath + "'.");
    std::ifstream in(filePath, std::ios::binary);
    if (!in)
        throw CDbException(DBERR_READ_ONLY, "Could not read file '" + filePath + "'.");
    std::array<char, 16> magic{};
    if (!in.read(magic.data(), magic.size()))
        throw unrecognized;
    static const char expected[] = "SQLite format 3";
    if (std::string(magic.data(), magic.size()) != std::string(expected, sizeof expected))
        throw unrecognized;
}

void CDatabase::CheckSound()
{
    // The engine's own check of every page and b-tree, without the slow
    // index-content comparison: a file cut short (an interrupted copy, a
    // full disk) opens and would only fail at the first row beyond its end.
    QSqlQuery check(Connection());
    if (!check.exec(QStringLiteral("PRAGMA quick_check")))
        Raise(check.lastError());
    std::string problems;
    int count = 0;
    while (check.next()) {
        const std::string line = check.value(0).toString().toStdString();
        // The first few findings are reason enough for the message.
        if (line != "ok" && ++count <= 3)
            problems += (count > 1 ? " " : "") + line;
    }
    if (check.lastError().isValid())
        Raise(check.lastError());
    if (count > 0)
        throw CDbException(DBERR_UNRECOGNIZED, "The database file '" + path + "' is damaged: " + problems);
}

void CDatabase::CheckUsable()
{
    // The first read of the file is where SQLite notices a file that is not
    // a database or is damaged.
    CheckSound();
    for (const DbTable& table : DbSchema::Tables())
        if (!HasTable(table.name))
            throw CDbException(DBERR_UNRECOGNIZED,
                               "Unrecognized database format '" + path + "' (table " + table.name + " missing).");
    // A database the station cannot write to would lose the next alarm;
    // find out now: a read-only file, or one that another program keeps
    // locked for longer than the busy wait.
    // Taking the lock alone is not enough for a write-protected file in WAL
    // mode, so the probe writes the header's user version back unchanged
    // and rolls that back.
    QSqlQuery version(Connection());
    if (!version.exec(QStringLiteral("PRAGMA user_version")) || !version.next())
        Raise(version.lastError());
    const qlonglong userVersion = version.value(0).toLongLong();
    version.finish();
    Execute(QStringLiteral("BEGIN IMMEDIATE"));
    try {
        Execute(QStringLiteral("PRAGMA user_version = %1").arg(userVersion));
    } catch (...) {
        Rollback();
        throw;
    }
    Rollback();
    QSqlQuery mode(Connection());
    if (mode.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
        mode.finish();
    // Every commit reaches the disk before the operation reports success.
    Execute(QStringLiteral("PRAGMA synchronous=FULL"));
    // Years of alarms make a file of hundreds of megabytes; a page cache of
    // 32 MB keeps the indexes of the alarm list and the register in memory.
    Execute(QStringLiteral("PRAGMA cache_size=-32768"));
}

void CDatabase::Execute(const QString& sql)
{
    QSqlQuery query(Connection());
    if (!query.exec(sql))
        Raise(query.lastError());
}

bool CDatabase::HasTable(const std::string& table)
{
    QSqlQuery query(Connection());
    if (!query.prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE")))
        Raise(query.lastError());
    query.addBindValue(QString::fromStdString(table));
    if (!query.exec())
        Raise(query.lastError());
    return query.next();
}

bool CDatabase::HasColumn(const std::string& table, const std::string& column)
{
    QSqlQuery query(Connection());
    if (!query.prepare(QStringLiteral("SELECT 1 FROM pragma_table_info(?) WHERE name = ? COLLATE NOCASE")))
        Raise(query.lastError());
    query.addBindValue(QString::fromStdString(table));
    query.addBindValue(QString::fromStdString(column));
    if (!query.exec())
        Raise(query.lastError());
    return query.next();
}

void CDatabase::BeginTrans()
{
    ExecutePrepared(QStringLiteral("BEGIN"));
}

void CDatabase::CommitTrans()
{
    ExecutePrepared(QStringLiteral("COMMIT"));
}

void CDatabase::Rollback()
{
    if (!open)
        return;
    try {
        QSqlQuery& query = PreparedQuery(QStringLiteral("ROLLBACK"));
        query.exec();
        query.finish();
    } catch (const CDbException&) {
        // Nothing to roll back then.
    }
}
