#pragma once
// Common face of the three two-column registers (customers, e-mail and SMS
// recipients): a key column and one other column.

#include "db/RecordSet.h"

#include <string>

class CPairInfoSet : public CRecordSet {
public:
    explicit CPairInfoSet(CDatabase* db) : CRecordSet(db) {}

    virtual const char* GetKeyColumn() const = 0;
    virtual std::string& Key() = 0;
    virtual std::string& Other() = 0;
};
