#pragma once
// Moves the bound members of a record set to and from one row. A record set
// lists its columns once, in DoFieldExchange, and the same list serves for
// the column names of its queries, for loading a row and for writing one.

#include "core/OleDateTime.h"

#include <QString>
#include <QVariant>
#include <QVector>

#include <cstdint>
#include <string>

struct sqlite3_stmt;

class CFieldExchange {
public:
    enum Operation { Names, Load, Store };

    // Names: collects the column names. Store: collects the values to write.
    CFieldExchange(Operation op, const char* table);
    // Load: reads the values of the current row of the engine's statement,
    // from column index first on, as Qt's driver would give them: texts are
    // taken as the engine stores them (UTF-8) without a detour through
    // UTF-16, dates are read from the stored text directly.
    CFieldExchange(const char* table, sqlite3_stmt* row, int first);

    void Text(const char* column, std::string& value);
    void Byte(const char* column, uint8_t& value);
    void Short(const char* column, int16_t& value);
    void Long(const char* column, int32_t& value);
    void Bool(const char* column, int32_t& value);
    void Date(const char* column, COleDateTime& value);
    // The value Date stores for a date: its text in the stored form, or a
    // null text for a date that is not valid.
    static QVariant StoredDate(const COleDateTime& value);
    // The engine's own counter: read, never written.
    void AutoLong(const char* column, int32_t& value);

    const QVector<QString>& GetNames() const { return names; }
    const QVector<QVariant>& GetValues() const { return values; }
    // Per column: false for the engine's counter.
    const QVector<bool>& GetWritable() const { return writable; }

private:
    // The column's value as Qt's driver gives it, for the stored types that
    // the direct reads leave to Qt's conversions.
    QVariant QtValue(int column) const;
    // The stored type of the next column; moves on to it.
    int NextType();
    int Column() const { return index - 1; }
    // The next column as a whole number, as Qt would convert its value.
    qlonglong Integer();
    void Add(const char* column, QVariant value, bool canWrite);

    Operation op;
    const char* table;
    sqlite3_stmt* row = nullptr;
    int index = 0;
    QVector<QString> names;
    QVector<QVariant> values;
    QVector<bool> writable;
};
