#include "db/FieldExchange.h"

#include "db/DbSchema.h"
#include "db/Utf8Text.h"

#include <QSqlQuery>

CFieldExchange::CFieldExchange(Operation operation, const char* tableName) : op(operation), table(tableName)
{
}

CFieldExchange::CFieldExchange(const char* tableName, const QSqlQuery& source, int first)
    : op(Load), table(tableName), query(&source), index(first)
{
}

QVariant CFieldExchange::Next()
{
    return query->value(index++);
}

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
        const QVariant v = Next();
        value = v.isNull() ? std::string() : v.toString().toStdString();
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
        value = static_cast<uint8_t>(Next().toLongLong());
        return;
    }
    Add(column, QVariant(static_cast<int>(value)), true);
}

void CFieldExchange::Short(const char* column, int16_t& value)
{
    if (op == Load) {
        value = static_cast<int16_t>(Next().toLongLong());
        return;
    }
    Add(column, QVariant(static_cast<int>(value)), true);
}

void CFieldExchange::Long(const char* column, int32_t& value)
{
    if (op == Load) {
        value = static_cast<int32_t>(Next().toLongLong());
        return;
    }
    Add(column, QVariant(static_cast<qlonglong>(value)), true);
}

void CFieldExchange::AutoLong(const char* column, int32_t& value)
{
    if (op == Load) {
        value = static_cast<int32_t>(Next().toLongLong());
        return;
    }
    Add(column, QVariant(static_cast<qlonglong>(value)), false);
}

void CFieldExchange::Bool(const char* column, int32_t& value)
{
    if (op == Load) {
        value = Next().toLongLong() != 0 ? 1 : 0;
        return;
    }
    Add(column, QVariant(value != 0 ? 1 : 0), true);
}

void CFieldExchange::Date(const char* column, COleDateTime& value)
{
    if (op == Load) {
        const QVariant v = Next();
        if (v.isNull()) {
            value = COleDateTime();
            value.SetStatus(COleDateTime::null);
        } else if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::LongLong ||
                   v.typeId() == QMetaType::Int) {
            // A number written by another tool: the day count itself.
            value = COleDateTime(v.toDouble());
        } else {
            value = COleDateTime::FromIso(v.toString().toStdString());
        }
        return;
    }
    QVariant stored;
    if (op == Store)
        stored = value.IsValid() ? QVariant(QString::fromStdString(value.ToIso()))
                                 : QVariant(QMetaType::fromType<QString>());
    Add(column, stored, true);
}
