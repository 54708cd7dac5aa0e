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
    // Raises DBERR_FIELD_TOO_SMALL when the key is longer than its column.
    // Other texts are cut to their column when stored; a key cannot be, since
    // every search compares it whole: a cut key could never be found, edited
    // or deleted again, and a second add would store it twice.
    static void CheckKeyLength(const char* table, const char* column, const std::string& key);

    CDatabaseHandler* handler = nullptr;
    CDatabase* database = nullptr;
};
