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

class QSqlQuery;

class CFieldExchange {
public:
    enum Operation { Names, Load, Store };

    // Names: collects the column names. Store: collects the values to write.
    CFieldExchange(Operation op, const char* table);
    // Load: reads the values of the current row of query, from column index first on.
    CFieldExchange(const char* table, const QSqlQuery& query, int first);

    void Text(const char* column, std::string& value);
    void Byte(const char* column, uint8_t& value);
    void Short(const char* column, int16_t& value);
    void Long(const char* column, int32_t& value);
    void Bool(const char* column, int32_t& value);
    void Date(const char* column, COleDateTime& value);
    // The engine's own counter: read, never written.
    void AutoLong(const char* column, int32_t& value);

    const QVector<QString>& GetNames() const { return names; }
    const QVector<QVariant>& GetValues() const { return values; }
    // Per column: false for the engine's counter.
    const QVector<bool>& GetWritable() const { return writable; }

private:
    QVariant Next();
    void Add(const char* column, QVariant value, bool canWrite);

    Operation op;
    const char* table;
    const QSqlQuery* query = nullptr;
    int index = 0;
    QVector<QString> names;
    QVector<QVariant> values;
    QVector<bool> writable;
};
