#include "db/RecordSet.h"

#include <QSqlError>
#include <QStringList>

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

int64_t CRecordSet::RunWrite(const QString& sql, const QVariantList& bound)
{
    CDbStatement write = Database().Statement(sql.toStdString());
    write.Bind(bound);
    write.Step();
    sqlite3* connection = sqlite3_db_handle(write.Handle());
    if (mode == EditMode::Adding)
        lastAddedKey = sqlite3_last_insert_rowid(connection);
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

    QStringList columns;
    QVariantList bound;
    QString sql;
    if (mode == EditMode::Adding) {
        QStringList marks;
        for (int i = 0; i < names.size(); ++i) {
            if (!writable[i])
                continue;
            columns << QStringLiteral("\"%1\"").arg(names[i]);
            marks << QStringLiteral("?");
            bound << values[i];
        }
        sql = QStringLiteral("INSERT INTO \"%1\" (%2) VALUES (%3)")
                  .arg(QString::fromLatin1(GetDefaultSource()), columns.join(QStringLiteral(", ")),
                       marks.join(QStringLiteral(", ")));
    } else {
        for (int i = 0; i < names.size(); ++i) {
            if (!writable[i] ||
                (i < loaded.size() && loaded[i] == values[i] && loaded[i].isNull() == values[i].isNull()))
                continue;
            columns << QStringLiteral("\"%1\" = ?").arg(names[i]);
            bound << values[i];
        }
        if (columns.isEmpty()) {
            mode = EditMode::None;
            return;
        }
        sql = QStringLiteral("UPDATE \"%1\" SET %2 WHERE rowid = ?")
                  .arg(QString::fromLatin1(GetDefaultSource()), columns.join(QStringLiteral(", ")));
        bound << currentRowId;
    }
    RunWrite(sql, bound);
    if (mode != EditMode::Adding)
        loaded = values;
    mode = EditMode::None;
}

void CRecordSet::CancelUpdate()
{
    mode = EditMode::None;
}

void CRecordSet::Delete()
{
    if (!opened || eof)
        throw CDbException(3021, "No current record.");
    RunWrite(QStringLiteral("DELETE FROM \"%1\" WHERE rowid = ?").arg(QString::fromLatin1(GetDefaultSource())),
             {currentRowId});
    mode = EditMode::None;
}

int64_t CRecordSet::DeleteWhere(const QString& where, const QVariantList& params)
{
    return RunWrite(QStringLiteral("DELETE FROM \"%1\" WHERE %2").arg(QString::fromLatin1(GetDefaultSource()), where),
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
