#include "db/DbStatement.h"

#include "db/Database.h"

#include <QByteArray>
#include <QString>

#include <sqlite3.h>

#include <utility>

CDbStatement::CDbStatement(CDatabase* database, std::string text, sqlite3_stmt* prepared, uint64_t owned)
    : owner(database), sql(std::move(text)), statement(prepared), generation(owned)
{
}

CDbStatement::~CDbStatement()
{
    Release();
}

CDbStatement::CDbStatement(CDbStatement&& other) noexcept
    : owner(std::exchange(other.owner, nullptr)), sql(std::move(other.sql)),
      statement(std::exchange(other.statement, nullptr)), generation(other.generation)
{
}

CDbStatement& CDbStatement::operator=(CDbStatement&& other) noexcept
{
    if (this != &other) {
        Release();
        owner = std::exchange(other.owner, nullptr);
        sql = std::move(other.sql);
        statement = std::exchange(other.statement, nullptr);
        generation = other.generation;
    }
    return *this;
}

void CDbStatement::Release()
{
    if (statement == nullptr)
        return;
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    if (owner != nullptr)
        owner->GiveBack(std::move(sql), statement, generation);
    else
        sqlite3_finalize(statement);
    statement = nullptr;
    owner = nullptr;
}

void CDbStatement::Bind(const QVariantList& params, int first)
{
    int index = first;
    for (const QVariant& param : params)
        Bind(index++, param);
}

void CDbStatement::Bind(int index, const QVariant& value)
{
    int result = SQLITE_OK;
    // The same stored types as Qt's driver gives these values; like it, a
    // null text is bound as NULL (and so equals nothing).
    const bool nullText = (value.typeId() == QMetaType::QString && value.toString().isNull()) ||
                          (value.typeId() == QMetaType::QByteArray && value.toByteArray().isNull());
    if (value.isNull() || nullText) {
        result = sqlite3_bind_null(statement, index);
    } else {
        switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Char:
        case QMetaType::UChar:
        case QMetaType::Bool:
            result = sqlite3_bind_int64(statement, index, value.toLongLong());
            break;
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            result = sqlite3_bind_blob(statement, index, bytes.constData(), static_cast<int>(bytes.size()),
                                       SQLITE_TRANSIENT);
            break;
        }
        case QMetaType::Double:
            result = sqlite3_bind_double(statement, index, value.toDouble());
            break;
        default: {
            const QByteArray text = value.toString().toUtf8();
            result =
                sqlite3_bind_text(statement, index, text.constData(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
            break;
        }
        }
    }
    if (result != SQLITE_OK)
        owner->RaiseNative(result);
}

bool CDbStatement::Step()
{
    const int result = sqlite3_step(statement);
    if (result == SQLITE_ROW)
        return true;
    if (result == SQLITE_DONE)
        return false;
    // Reset gives the error of the failed step and its message.
    owner->RaiseNative(sqlite3_reset(statement));
}

void CDbStatement::Reset()
{
    sqlite3_reset(statement);
}
