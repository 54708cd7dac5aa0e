#include "db/FieldExchange.h"

#include "db/DbSchema.h"
#include "db/Utf8Text.h"

#include "core/Utf8.h"

#include <QByteArray>

#include <sqlite3.h>

#include <string_view>

CFieldExchange::CFieldExchange(Operation operation, const char* tableName) : op(operation), table(tableName)
{
}

CFieldExchange::CFieldExchange(const char* tableName, sqlite3_stmt* current, int first)
    : op(Load), table(tableName), row(current), index(first)
{
}

int CFieldExchange::NextType()
{
    return sqlite3_column_type(row, index++);
}

QVariant CFieldExchange::QtValue(int column) const
{
    switch (sqlite3_column_type(row, column)) {
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char*>(sqlite3_column_blob(row, column)),
                          sqlite3_column_bytes(row, column));
    case SQLITE_INTEGER:
        return QVariant(static_cast<qlonglong>(sqlite3_column_int64(row, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(row, column));
    case SQLITE_NULL:
        return QVariant(QMetaType::fromType<QString>());
    default:
        return QString(static_cast<const QChar*>(sqlite3_column_text16(row, column)),
                       sqlite3_column_bytes16(row, column) / static_cast<int>(sizeof(QChar)));
    }
}

qlonglong CFieldExchange::Integer()
{
    if (NextType() == SQLITE_INTEGER)
        return sqlite3_column_int64(row, Column());
    return QtValue(Column()).toLongLong();
}

namespace {

std::string_view StoredBytes(sqlite3_stmt* row, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row, column));
    return text == nullptr ? std::string_view()
                           : std::string_view(text, static_cast<size_t>(sqlite3_column_bytes(row, column)));
}

}  // namespace

void CFieldExchange::Add(const char* column, QVariant value, bool canWrite)
{
    names.push_back(QString::fromLatin1(column));
    if (op == Store)
        values.push_back(std::move(value));
    writable.push_back(canWrite);
}

void CFieldExchange::Text(const char* column, std::string& value)
{
    if (op == Load) {
        const int type = NextType();
        if (type == SQLITE_NULL) {
            value.clear();
        } else if (type == SQLITE_TEXT) {
            const std::string_view stored = StoredBytes(row, Column());
            // Bytes that are no UTF-8 come out as Qt repairs them.
            if (Utf8::IsValid(stored))
                value.assign(stored);
            else
                value = QtValue(Column()).toString().toStdString();
        } else {
            value = QtValue(Column()).toString().toStdString();
        }
        return;
    }
    QVariant stored;
    if (op == Store) {
        // The column keeps at most its size in characters; what does not fit
        // is cut rather than failing the whole row (an alarm must be stored
        // even when, say, a caller number arrives longer than expected).
        const int size = DbSchema::ColumnSize(table, column);
        stored = QString::fromStdString(size > 0 ? Utf8Text::Left(value, static_cast<size_t>(size)) : value);
    }
    Add(column, stored, true);
}

void CFieldExchange::Byte(const char* column, uint8_t& value)
{
    if (op == Load) {
        value = static_cast<uint8_t>(Integer());
        return;
    }
    Add(column, QVariant(static_cast<int>(value)), true);
}

void CFieldExchange::Short(const char* column, int16_t& value)
{
    if (op == Load) {
        value = static_cast<int16_t>(Integer());
        return;
    }
    Add(column, QVariant(static_cast<int>(value)), true);
}

void CFieldExchange::Long(const char* column, int32_t& value)
{
    if (op == Load) {
        value = static_cast<int32_t>(Integer());
        return;
    }
    Add(column, QVariant(static_cast<qlonglong>(value)), true);
}

void CFieldExchange::AutoLong(const char* column, int32_t& value)
{
    if (op == Load) {
        value = static_cast<int32_t>(Integer());
        return;
    }
    Add(column, QVariant(static_cast<qlonglong>(value)), false);
}

void CFieldExchange::Bool(const char* column, int32_t& value)
{
    if (op == Load) {
        value = Integer() != 0 ? 1 : 0;
        return;
    }
    Add(column, QVariant(value != 0 ? 1 : 0), true);
}

void CFieldExchange::Date(const char* column, COleDateTime& value)
{
    if (op == Load) {
        const int type = NextType();
        if (type == SQLITE_NULL) {
            value = COleDateTime();
            value.SetStatus(COleDateTime::null);
        } else if (type == SQLITE_FLOAT || type == SQLITE_INTEGER) {
            // A number written by another tool: the day count itself.
            value = COleDateTime(sqlite3_column_double(row, Column()));
        } else {
            // Only plain ASCII can be a date, so the stored bytes read the
            // same as their text after any repair of broken UTF-8.
            value = COleDateTime::FromIso(StoredBytes(row, Column()));
        }
        return;
    }
    QVariant stored;
    if (op == Store)
        stored = StoredDate(value);
    Add(column, stored, true);
}

QVariant CFieldExchange::StoredDate(const COleDateTime& value)
{
    return value.IsValid() ? QVariant(QString::fromStdString(value.ToIso())) : QVariant(QMetaType::fromType<QString>());
}
