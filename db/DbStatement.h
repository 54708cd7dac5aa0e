#pragma once
// A statement of the connection's cache, lent to one caller at a time. It is
// prepared the first time its text is asked for and kept by the database
// until the connection closes; when the lease ends the statement is reset,
// its parameters are cleared and it goes back to the cache. Rows are read
// straight from the engine: texts as the UTF-8 bytes it stores.

#include <QVariant>
#include <QVariantList>

#include <cstdint>
#include <string>

struct sqlite3_stmt;
class CDatabase;

class CDbStatement {
public:
    CDbStatement() = default;
    CDbStatement(CDatabase* owner, std::string sql, sqlite3_stmt* statement, uint64_t generation);
    ~CDbStatement();
    CDbStatement(CDbStatement&& other) noexcept;
    CDbStatement& operator=(CDbStatement&& other) noexcept;
    CDbStatement(const CDbStatement&) = delete;
    CDbStatement& operator=(const CDbStatement&) = delete;

    // Binds the parameters in order, from the first ? on. Raises CDbException.
    void Bind(const QVariantList& params, int first = 1);
    void Bind(int index, const QVariant& value);
    // The next row: true when there is one, false at the end. Raises
    // CDbException when the engine fails.
    bool Step();
    // Back to before the first row, parameters kept.
    void Reset();

    sqlite3_stmt* Handle() const { return statement; }
    bool IsValid() const { return statement != nullptr; }

private:
    void Release();

    CDatabase* owner = nullptr;
    std::string sql;
    sqlite3_stmt* statement = nullptr;
    uint64_t generation = 0;
};
