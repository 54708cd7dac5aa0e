#include "db/DbTable.h"

#include "db/DatabaseHandler.h"
#include "db/DbSchema.h"

void CDbTable::ReportError(const std::string& prefix, const CDbException& e) const
{
    if (handler != nullptr)
        handler->ShowDbError(prefix + e.description);
}

void CDbTable::CheckKeyLength(const char* table, const char* column, const std::string& key)
{
    if (!DbSchema::Fits(table, column, key))
        throw CDbException(DBERR_FIELD_TOO_SMALL, std::string("The text is longer than the ") +
                                                      std::to_string(DbSchema::ColumnSize(table, column)) +
                                                      " characters that the field " + column + " holds.");
}
