#include "db/RecordSet.h"

#include <QSqlError>
#include <QStringList>

CRecordSet::CRecordSet(CDatabase* db) : database(db)
{
}

CRecordSet::~CRecordSet()
{
    Close();
}

QSqlQuery CRecordSet::NewQuery() const
{
    if (database == nullptr)
        throw CDbException(DBERR_NOT_OPEN, "The database is not open.");
    return QSqlQuery(database->Connection());
}

void CRecordSet::Open(const QString& where, const QVariantList& params, const QString& orderBy, int64_t limit)
{
    Close();
    CFieldExchange fx(CFieldExchange::Names, GetDefaultSource());
    DoFieldExchange(fx);
    QStringList columns;
    for (const QString& name : fx.GetNames())
        columns << QStringLiteral("\"%1\"").arg(name);
    QString sql = QStringLiteral("SELECT rowid, %1 FROM \"%2\"")
                      .arg(columns.join(QStringLiteral(", ")), QString::fromLatin1(GetDefaultSource()));
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    if (!orderBy.isEmpty())
        sql += QStringLiteral(" ORDER BY ") + orderBy;
    if (limit >= 0)
        sql += QStringLiteral(" LIMIT ?");

    query = std::make_unique<QSqlQuery>(NewQuery());
    query->setForwardOnly(true);
    if (!query->prepare(sql))
        CDatabase::Raise(query->lastError());
    for (const QVariant& param : params)
        query->addBindValue(param);
    if (limit >= 0)
        query->addBindValue(static_cast<qlonglong>(limit));
    if (!query->exec())
        CDatabase::Raise(query->lastError());
    opened = true;
    eof = !query->next();
    if (eof && query->lastError().isValid())
        CDatabase::Raise(query->lastError());
    bof = eof;
    if (!eof)
        LoadCurrent();
}

void CRecordSet::LoadCurrent()
{
    currentRowId = query->value(0).toLongLong();
    CFieldExchange fx(GetDefaultSource(), *query, 1);
    DoFieldExchange(fx);
}

void CRecordSet::MoveNext()
{
    if (!opened || eof)
        throw CDbException(3021, "No current record.");
    mode = EditMode::None;
    eof = !query->next();
    if (eof) {
        if (query->lastError().isValid())
            CDatabase::Raise(query->lastError());
        return;
    }
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

    QSqlQuery write = NewQuery();
    QStringList columns;
    QVariantList bound;
    if (mode == EditMode::Adding) {
        QStringList marks;
        for (int i = 0; i < names.size(); ++i) {
            if (!writable[i])
                continue;
            columns << QStringLiteral("\"%1\"").arg(names[i]);
            marks << QStringLiteral("?");
            bound << values[i];
        }
        if (!write.prepare(QStringLiteral("INSERT INTO \"%1\" (%2) VALUES (%3)")
                               .arg(QString::fromLatin1(GetDefaultSource()), columns.join(QStringLiteral(", ")),
                                    marks.join(QStringLiteral(", ")))))
            CDatabase::Raise(write.lastError());
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
        if (!write.prepare(QStringLiteral("UPDATE \"%1\" SET %2 WHERE rowid = ?")
                               .arg(QString::fromLatin1(GetDefaultSource()), columns.join(QStringLiteral(", ")))))
            CDatabase::Raise(write.lastError());
        bound << currentRowId;
    }
    for (const QVariant& value : bound)
        write.addBindValue(value);
    if (!write.exec())
        CDatabase::Raise(write.lastError());
    if (mode == EditMode::Adding)
        lastAddedKey = write.lastInsertId().toLongLong();
    else
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
    QSqlQuery remove = NewQuery();
    if (!remove.prepare(
            QStringLiteral("DELETE FROM \"%1\" WHERE rowid = ?").arg(QString::fromLatin1(GetDefaultSource()))))
        CDatabase::Raise(remove.lastError());
    remove.addBindValue(currentRowId);
    if (!remove.exec())
        CDatabase::Raise(remove.lastError());
    mode = EditMode::None;
}

int64_t CRecordSet::DeleteWhere(const QString& where, const QVariantList& params)
{
    QSqlQuery remove = NewQuery();
    if (!remove.prepare(
            QStringLiteral("DELETE FROM \"%1\" WHERE %2").arg(QString::fromLatin1(GetDefaultSource()), where)))
        CDatabase::Raise(remove.lastError());
    for (const QVariant& param : params)
        remove.addBindValue(param);
    if (!remove.exec())
        CDatabase::Raise(remove.lastError());
    return remove.numRowsAffected();
}

void CRecordSet::Close()
{
    if (query) {
        query->finish();
        query.reset();
    }
    opened = false;
    bof = eof = true;
    mode = EditMode::None;
    loaded.clear();
}
