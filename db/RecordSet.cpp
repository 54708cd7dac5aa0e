#include "db/RecordSet.h"

#include <QSqlError>
#include <QStringList>

#include <string>
#include <unordered_map>

#include <sqlite3.h>

CRecordSet::CRecordSet(CDatabase* db) : database(db)
{
}

CRecordSet::~CRecordSet()
{
    Close();
}

CDatabase& CRecordSet::Database() const
{
    if (database == nullptr)
        throw CDbException(DBERR_NOT_OPEN, "The database is not open.");
    return *database;
}

int64_t CRecordSet::RunWrite(const std::string& sql, const QVariantList& bound, int64_t* addedKey)
{
    CDbStatement write = Database().Statement(sql);
    write.Bind(bound);
    write.Step();
    sqlite3* connection = sqlite3_db_handle(write.Handle());
    if (addedKey != nullptr)
        *addedKey = sqlite3_last_insert_rowid(connection);
    return sqlite3_changes64(connection);
}

void CRecordSet::Open(const QString& where, const QVariantList& params, const QString& orderBy, int64_t limit)
{
    Close();
    CFieldExchange fx(CFieldExchange::Names, GetDefaultSource());
    DoFieldExchange(fx);
    QStringList columns;
    for (const QString& name : fx.GetNames())
        columns << QStringLiteral("\"%1\"").arg(name);
    firstExtra = 1 + static_cast<int>(columns.size());
    if (!extraColumns.isEmpty())
        columns << extraColumns;
    QString sql = QStringLiteral("SELECT rowid, %1 FROM \"%2\"")
                      .arg(columns.join(QStringLiteral(", ")), QString::fromLatin1(GetDefaultSource()));
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    if (!orderBy.isEmpty())
        sql += QStringLiteral(" ORDER BY ") + orderBy;
    if (limit >= 0)
        sql += QStringLiteral(" LIMIT ?");

    query = Database().Statement(sql.toStdString());
    query.Bind(params);
    if (limit >= 0)
        query.Bind(static_cast<int>(params.size()) + 1, QVariant(static_cast<qlonglong>(limit)));
    opened = true;
    eof = !query.Step();
    bof = eof;
    if (!eof)
        LoadCurrent();
}

void CRecordSet::LoadCurrent()
{
    currentRowId = sqlite3_column_int64(query.Handle(), 0);
    CFieldExchange fx(GetDefaultSource(), query.Handle(), 1);
    DoFieldExchange(fx);
}

std::string CRecordSet::ExtraText(int extra) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(query.Handle(), firstExtra + extra));
    return text == nullptr
               ? std::string()
               : std::string(text, static_cast<size_t>(sqlite3_column_bytes(query.Handle(), firstExtra + extra)));
}

int64_t CRecordSet::ExtraInteger(int extra) const
{
    return sqlite3_column_int64(query.Handle(), firstExtra + extra);
}

QVector<QVariant> CRecordSet::StoreValues()
{
    CFieldExchange fx(CFieldExchange::Store, GetDefaultSource());
    DoFieldExchange(fx);
    return fx.GetValues();
}

QVector<QString> CRecordSet::ColumnNames()
{
    CFieldExchange fx(CFieldExchange::Names, GetDefaultSource());
    DoFieldExchange(fx);
    return fx.GetNames();
}

void CRecordSet::MoveNext()
{
    if (!opened || eof)
        throw CDbException(3021, "No current record.");
    mode = EditMode::None;
    eof = !query.Step();
    if (!eof)
        LoadCurrent();
}

void CRecordSet::AddNew()
{
    ResetFields();
    mode = EditMode::Adding;
}

void CRecordSet::Edit()
{
    if (!opened || eof)
        throw CDbException(3021, "No current record.");
    // The members still hold the row as loaded: remember it, so that Update
    // writes only the columns the caller changes.
    CFieldExchange snapshot(CFieldExchange::Store, GetDefaultSource());
    DoFieldExchange(snapshot);
    loaded = snapshot.GetValues();
    mode = EditMode::Editing;
}

void CRecordSet::Update()
{
    if (mode == EditMode::None)
        throw CDbException(3020, "Update without AddNew or Edit.");
    CFieldExchange fx(CFieldExchange::Store, GetDefaultSource());
    DoFieldExchange(fx);
    const auto& names = fx.GetNames();
    const auto& values = fx.GetValues();
    const auto& writable = fx.GetWritable();

    if (mode == EditMode::Adding) {
        AddRow(names, values, writable);
        mode = EditMode::None;
        return;
    }
    QStringList columns;
    QVariantList bound;
    for (int i = 0; i < names.size(); ++i) {
        if (!writable[i] || (i < loaded.size() && loaded[i] == values[i] && loaded[i].isNull() == values[i].isNull()))
            continue;
        columns << QStringLiteral("\"%1\" = ?").arg(names[i]);
        bound << values[i];
    }
    if (columns.isEmpty()) {
        mode = EditMode::None;
        return;
    }
    const QString sql = QStringLiteral("UPDATE \"%1\" SET %2 WHERE rowid = ?")
                            .arg(QString::fromLatin1(GetDefaultSource()), columns.join(QStringLiteral(", ")));
    bound << currentRowId;
    RunWrite(sql.toStdString(), bound);
    loaded = values;
    mode = EditMode::None;
}

void CRecordSet::AddRow(const QVector<QString>& names, const QVector<QVariant>& values, const QVector<bool>& writable)
{
    // The columns of a table never change, so neither does the statement
    // that adds a row to it: it is composed once per table and thread.
    thread_local std::unordered_map<std::string, std::string> statements;
    std::string& sql = statements[GetDefaultSource()];
    if (sql.empty()) {
        QStringList columns;
        QStringList marks;
        for (int i = 0; i < names.size(); ++i) {
            if (!writable[i])
                continue;
            columns << QStringLiteral("\"%1\"").arg(names[i]);
            marks << QStringLiteral("?");
        }
        sql = QStringLiteral("INSERT INTO \"%1\" (%2) VALUES (%3)")
                  .arg(QString::fromLatin1(GetDefaultSource()), columns.join(QStringLiteral(", ")),
                       marks.join(QStringLiteral(", ")))
                  .toStdString();
    }
    QVariantList bound;
    for (int i = 0; i < values.size(); ++i)
        if (writable[i])
            bound << values[i];
    RunWrite(sql, bound, &lastAddedKey);
}

void CRecordSet::CancelUpdate()
{
    mode = EditMode::None;
}

void CRecordSet::Delete()
{
    if (!opened || eof)
        throw CDbException(3021, "No current record.");
    RunWrite(
        QStringLiteral("DELETE FROM \"%1\" WHERE rowid = ?").arg(QString::fromLatin1(GetDefaultSource())).toStdString(),
        {currentRowId});
    mode = EditMode::None;
}

int64_t CRecordSet::DeleteWhere(const QString& where, const QVariantList& params)
{
    return RunWrite(
        QStringLiteral("DELETE FROM \"%1\" WHERE %2").arg(QString::fromLatin1(GetDefaultSource()), where).toStdString(),
        params);
}

void CRecordSet::Close()
{
    query = CDbStatement();
    opened = false;
    bof = eof = true;
    mode = EditMode::None;
    loaded.clear();
}
