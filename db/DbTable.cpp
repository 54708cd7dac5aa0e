#include "db/DbTable.h"

#include "db/DatabaseHandler.h"

void CDbTable::ReportError(const std::string& prefix, const CDbException& e) const
{
    if (handler != nullptr)
        handler->ShowDbError(prefix + e.description);
}
