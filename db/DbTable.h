#pragma once
// Common part of the five table objects: the handler they report errors
// through and the open database they work on. Each operation creates its own
// record set, works, closes it and destroys it before returning.

#include "db/DbException.h"

#include <string>

class CDatabase;
class CDatabaseHandler;

class CDbTable {
public:
    void Attach(CDatabaseHandler* owningHandler, CDatabase* openDatabase)
    {
        handler = owningHandler;
        database = openDatabase;
    }

protected:
    // The message box of a failed operation: prefix and the engine's description.
    void ReportError(const std::string& prefix, const CDbException& e) const;

    CDatabaseHandler* handler = nullptr;
    CDatabase* database = nullptr;
};
