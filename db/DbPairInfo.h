#pragma once
// The four operations shared by the three two-column registers (customers,
// e-mail recipients, SMS recipients). They differ only in table, key column,
// the other column, the record class and the reply type, which the derived
// table objects supply.

#include "db/DbTable.h"

#include <cstdint>
#include <memory>
#include <string>

class CDatabaseMsg;
class CKeyReqMsg;
class CPairInfoSet;

class CDbPairInfo : public CDbTable {
public:
    virtual ~CDbPairInfo() = default;

protected:
    // Operation prefixes of the error box, in this order: add, find, edit, delete.
    struct Prefixes {
        const char* add;
        const char* find;
        const char* edit;
        const char* remove;
    };

    // 1 added, 2 exists, 3 error.
    std::unique_ptr<CDatabaseMsg> Add(const std::string& key, const std::string& other, uint16_t replyType);
    // Kind 1 by key (4), 2 all (5); 6 none, 7 error. Always at least one record.
    std::unique_ptr<CDatabaseMsg> Find(const CKeyReqMsg& request, uint16_t replyType);
    // 8 saved, 9 not found, 10 error. The key column is never changed.
    std::unique_ptr<CDatabaseMsg> Edit(const std::string& key, const std::string& other, uint16_t replyType);
    // 11 deleted, 12 not found, 13 error.
    std::unique_ptr<CDatabaseMsg> Delete(const std::string& key, uint16_t replyType);

    virtual std::unique_ptr<CPairInfoSet> NewSet() const = 0;
    virtual std::unique_ptr<CDatabaseMsg> NewRecord(uint16_t type, const std::string& key,
                                                    const std::string& other) const = 0;
    virtual Prefixes GetPrefixes() const = 0;
};
