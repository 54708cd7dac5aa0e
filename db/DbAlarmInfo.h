#pragma once
// The operations on the AlarmInfo table. Replies are returned to the handler,
// which posts them.

#include "db/DbTable.h"

#include <cstdint>
#include <memory>
#include <vector>

class CAlarmInfoMsg;
class CAlarmInfoReqMsg;
class CAlarmInfoSet;
class CDatabaseMsg;

class CDbAlarmInfo : public CDbTable {
public:
    // Stores the alarm and writes the key it got back into the record.
    // Reply type 31: 2 added, 3 error.
    std::unique_ptr<CDatabaseMsg> AddAlarmInfo(CAlarmInfoMsg& alarm);
    // By Kind: 1 one key, 2 list by status mask, 3 a chain of keys, 4 list
    // for printing, 6 newest emergency alarm of an object. Always answers
    // with at least one CAlarmInfoMsg of type 31.
    std::unique_ptr<CAlarmInfoMsg> FindAlarmInfo(CAlarmInfoReqMsg& request);
    // Status and, when their operator is given, the acknowledge or finish
    // data. Reply type 31: 11 saved, 12 not found, 13 error.
    std::unique_ptr<CDatabaseMsg> EditAlarmInfo(const CAlarmInfoMsg& alarm);
    // Kind 1 one key, 5 older than AgeDays. Reply type 31: 14 deleted, 15 none, 16 error.
    std::unique_ptr<CDatabaseMsg> DeleteAlarmInfo(const CAlarmInfoReqMsg& request);

    // The key of a stored alarm that is this one (same object code, time to
    // the second, source, type and text): 0 when there is none, -1 when the
    // table could not be read. An alarm stored again from the journal after
    // a crash is looked up this way first, so it never gets a second row.
    // Without the time: an SMS read again from the modem (its text carries
    // the modem's own time stamp) is found whenever it was taken in.
    int64_t FindSameAlarm(const CAlarmInfoMsg& alarm, bool matchTime = true);

    // The statuses a list search selects for the mask; empty for all
    // statuses. The mask 0 selects nothing and is handled by the caller.
    static std::vector<uint8_t> StatusesOfMask(uint8_t mask);

private:
    std::unique_ptr<CAlarmInfoMsg> FindSingleKind(const CAlarmInfoReqMsg& request);
    static std::unique_ptr<CAlarmInfoMsg> RecordFromSet(const CAlarmInfoSet& set);
};
