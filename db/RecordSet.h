#pragma once
// Base of the five record sets: a forward-only walk over the rows of one
// table selected by a condition, with the current row loaded into the bound
// members of the derived class, and adding, editing and deleting rows.
//
// Every value reaches the engine as a bound parameter, never as text pasted
// into the statement, so a key with a quote in it is a key like any other.
// Each statement is prepared once per connection and then reused.
// Failures raise CDbException.

#include "db/Database.h"
#include "db/DbStatement.h"
#include "db/FieldExchange.h"

#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <cstdint>
#include <memory>

class CRecordSet {
public:
    explicit CRecordSet(CDatabase* database);
    virtual ~CRecordSet();
    CRecordSet(const CRecordSet&) = delete;
    CRecordSet& operator=(const CRecordSet&) = delete;

    // Opens the rows that match the condition (the whole table when it is
    // empty) in the given order, at most limit rows when limit >= 0, and
    // positions on the first row. `where` holds ? placeholders for params.
    void Open(const QString& where = {}, const QVariantList& params = {}, const QString& orderBy = {},
              int64_t limit = -1);
    bool IsOpen() const { return opened; }
    // Both true for an empty result.
    bool IsBOF() const { return bof; }
    bool IsEOF() const { return eof; }
    void MoveNext();

    // Starts a new row with the initial values of the members.
    void AddNew();
    // Starts changing the current row; change the members after this call.
    void Edit();
    // Writes the new row, or the changed columns of the edited row.
    void Update();
    void CancelUpdate();
    // Deletes the current row; MoveNext goes on to the next one.
    void Delete();
    // Deletes every row that matches the condition at once; returns how many.
    int64_t DeleteWhere(const QString& where, const QVariantList& params);
    void Close();

    // Further expressions selected after the columns of the table (set
    // before Open); read them with ExtraText and ExtraInteger.
    void SetExtraColumns(const QString& expressions) { extraColumns = expressions; }
    std::string ExtraText(int extra) const;
    int64_t ExtraInteger(int extra) const;
    // The row number of the current row.
    int64_t GetRowId() const { return currentRowId; }
    // The values that Update would write for the bound members now, in the
    // order of the columns, and the names of those columns.
    QVector<QVariant> StoreValues();
    QVector<QString> ColumnNames();

    // The row number the engine gave the row added last.
    int64_t GetLastAddedKey() const { return lastAddedKey; }

    virtual const char* GetDefaultSource() const = 0;  // the table

protected:
    virtual void DoFieldExchange(CFieldExchange& fx) = 0;
    // Puts every bound member back to its initial value.
    virtual void ResetFields() = 0;

private:
    enum class EditMode { None, Adding, Editing };

    void LoadCurrent();
    CDatabase& Database() const;
    // Runs a write with the connection's prepared statement for its text;
    // the number of rows it changed, and the key of the row it added when
    // asked. Raises CDbException.
    int64_t RunWrite(const std::string& sql, const QVariantList& bound, int64_t* addedKey = nullptr);
    // The INSERT of Update for a new row, with the writable values.
    void AddRow(const QVector<QString>& names, const QVector<QVariant>& values, const QVector<bool>& writable);

    CDatabase* database;
    CDbStatement query;
    bool opened = false;
    bool bof = true;
    bool eof = true;
    qlonglong currentRowId = 0;
    EditMode mode = EditMode::None;
    QVector<QVariant> loaded;  // the edited row as loaded, to write only what changed
    int64_t lastAddedKey = 0;
    QString extraColumns;
    int firstExtra = 0;
};
