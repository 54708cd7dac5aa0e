#pragma once
// The database file, opened through Qt Sql on SQLite. Each object has a
// connection of its own; it is used on the thread that opened it only (the
// user-interface thread). Failures are raised as CDbException with an error
// number that tells the open errors apart the way the database manager needs.

#include "db/DbException.h"

#include <QSqlDatabase>
#include <QString>

#include <string>

class QSqlError;

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
    // Table definition: does the table have the column?
    bool HasColumn(const std::string& table, const std::string& column);
    bool HasTable(const std::string& table);

    // A transaction around many writes (one disk flush instead of one per row).
    void BeginTrans();
    void CommitTrans();
    void Rollback();  // never raises

    // The exception for a failed query or connection.
    [[noreturn]] static void Raise(const QSqlError& error);
    [[noreturn]] void RaiseLastError() const;

private:
    void OpenConnection(const std::string& path);
    void CheckFileHeader(const std::string& filePath) const;
    // Raises DBERR_UNRECOGNIZED when the engine's check finds the file damaged.
    void CheckSound();
    void CheckUsable();

    QString connectionName;
    std::string path;
    bool open = false;
};
