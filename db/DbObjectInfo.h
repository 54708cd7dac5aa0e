#pragma once
// The operations on the ObjectInfo table. All replies are of type 29 except
// the found records, whose first message takes the request's ReplyType.

#include "db/DbTable.h"

#include <memory>

class CDatabaseMsg;
class CObjectInfoMsg;
class CObjectInfoReqMsg;

class CDbObjectInfo : public CDbTable {
public:
    // 1 added, 2 identity code exists, 3 telephone number exists, 4 error.
    std::unique_ptr<CDatabaseMsg> AddObjectInfo(const CObjectInfoMsg& object);
    // Kind 1 by identity code, 2 by telephone number, 3 all. 5, 6, 7 found,
    // 8 none, 9 error. A single-object search attaches the object's customer.
    std::unique_ptr<CObjectInfoMsg> FindObjectInfo(const CObjectInfoReqMsg& request);
    // 10 saved, 11 telephone number used by another object, 12 not found, 13 error.
    std::unique_ptr<CDatabaseMsg> EditObjectInfo(const CObjectInfoMsg& object);
    // 14 deleted, 15 not found, 16 error.
    std::unique_ptr<CDatabaseMsg> DeleteObjectInfo(const CObjectInfoReqMsg& request);

private:
    // Both the identity code and the telephone number are searched whole, so
    // neither may be cut to its column: an over-long one is refused.
    static void CheckKeys(const CObjectInfoMsg& object);
};
