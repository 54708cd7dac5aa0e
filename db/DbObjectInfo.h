#pragma once
// The operations on the ObjectInfo table. All replies are of type 29 except
// the found records, whose first message takes the request's ReplyType.

#include "db/DbTable.h"

#include "core/OleDateTime.h"

#include <cstdint>
#include <memory>
#include <vector>

class CDatabaseMsg;
class CObjectInfoMsg;
class CObjectInfoReqMsg;
class CObjectInfoSet;

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

    // An object whose test-alarm deadline may have passed, as the register
    // holds it.
    struct TestCandidate {
        std::unique_ptr<CObjectInfoMsg> object;
        int64_t rowId = 0;
        // Saving the object with EditObjectInfo would change only its last
        // test alarm, in this very row: one small update does the same.
        bool plainEdit = false;
    };
    // The objects that may be overdue at `now` with a deadline of Days plus
    // `graceDays` after the last test alarm, in the order of the register:
    // every object that is overdue and at most a few seconds' worth of
    // others (the caller decides), and every object whose row the engine
    // cannot judge by itself (numbers or other forms in the date, Days that
    // is no small whole number). False (and the error box) when the table
    // cannot be read.
    bool FindTestCandidates(const COleDateTime& now, double graceDays, std::vector<TestCandidate>& found);
    // Saves the candidate's last test alarm with the outcome of
    // EditObjectInfo: 10 saved, or the reply of EditObjectInfo itself.
    std::unique_ptr<CDatabaseMsg> SetLastTestAlarm(TestCandidate& candidate, const COleDateTime& time);

private:
    // Both the identity code and the telephone number are searched whole, so
    // neither may be cut to its column: an over-long one is refused.
    static void CheckKeys(const CObjectInfoMsg& object);
    static bool IsPlainEdit(CObjectInfoSet& set, const CObjectInfoMsg& object);
};
