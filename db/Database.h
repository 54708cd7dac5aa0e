#pragma once
// The database file, opened through Qt Sql on SQLite. Each object has a
// connection of its own; it is used on the thread that opened it only (the
// user-interface thread). Failures are raised as CDbException with an error
// number that tells the open errors apart the way the database manager needs.

#include "db/DbException.h"
#include "db/DbStatement.h"
#include "db/WalCheckpointer.h"

#include <QSqlDatabase>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>

class QSqlError;
class QSqlQuery;
struct sqlite3;
struct sqlite3_stmt;

class CDatabase {
public:
    // How long an operation waits for a lock that another program holds.
    static constexpr int kBusyTimeoutMs = 2000;

    CDatabase();
    ~CDatabase();
    CDatabase(const CDatabase&) = delete;
    CDatabase& operator=(const CDatabase&) = delete;

    // Opens an existing database file shared and read-write. Raises
    // DBERR_INVALID_PATH when its folder does not exist, DBERR_FILE_NOT_FOUND
    // when the file does not exist, DBERR_UNRECOGNIZED when it is not one of
    // our databases or is damaged (not SQLite, truncated, tables missing), and
    // the engine's own number for anything else (locked, read-only, ...).
    void Open(const std::string& path);
    // Creates a new empty database file. Never replaces an existing file.
    void Create(const std::string& path);
    void Close();
    bool IsOpen() const;
    const std::string& GetPath() const { return path; }

    // The connection, for the record sets. Raises DBERR_NOT_OPEN when closed.
    QSqlDatabase Connection() const;

    // Runs one statement without results.
    void Execute(const QString& sql);

    // Statements prepared once per connection: the cache is emptied when the
    // connection closes (also when the database is moved or opened again).
    // A read statement of the engine, lent until the returned object ends;
    // a statement asked for while its text is lent out is prepared anew.
    CDbStatement Statement(const std::string& sql);
    // A write statement through Qt (values bound as Qt binds them), prepared
    // on first use; bind with bindValue and exec, then finish it.
    QSqlQuery& PreparedQuery(const QString& sql);
    // True while a transaction is open on the connection (also false after
    // the engine rolled one back by itself).
    bool InTransaction() const;
    // Table definition: does the table have the column?
    bool HasColumn(const std::string& table, const std::string& column);
    bool HasTable(const std::string& table);
    // Whether the write-ahead log is copied back on a thread of its own
    // (see CWalCheckpointer), and how many times it was.
    bool CheckpointsInBackground() const { return checkpointer.IsRunning(); }
    int BackgroundCheckpoints() const { return checkpointer.Runs(); }

    // Whether an operation waits (kBusyTimeoutMs) for a lock another
    // program holds, or fails at once with the engine's "locked" error.
    void SetLockWait(bool wait);

    // A transaction around many writes (one disk flush instead of one per row).
    void BeginTrans();
    void CommitTrans();
    void Rollback();  // never raises

    // The exception for a failed query or connection.
    [[noreturn]] static void Raise(const QSqlError& error);
    [[noreturn]] void RaiseLastError() const;
    // The exception for a failed call of the engine's own interface.
    [[noreturn]] void RaiseNative(int code) const;

private:
    friend class CDbStatement;
    void GiveBack(std::string sql, sqlite3_stmt* statement, uint64_t owner);
    void DropStatements();
    void ExecutePrepared(const QString& sql);

    void OpenConnection(const std::string& path);
    void CheckFileHeader(const std::string& filePath) const;
    // Raises DBERR_UNRECOGNIZED when the engine's check finds the file damaged.
    void CheckSound();
    void CheckUsable();

    QString connectionName;
    std::string path;
    bool open = false;
    sqlite3* handle = nullptr;
    // Counts the connections this object opened: a statement lent out
    // before a close is not taken back into the cache of the next one.
    uint64_t generation = 0;
    std::unordered_multimap<std::string, sqlite3_stmt*> idleStatements;
    std::map<QString, std::unique_ptr<QSqlQuery>> writeQueries;
    CWalCheckpointer checkpointer;
};
