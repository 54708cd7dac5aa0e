#pragma once
// Turns the alarm-bearing messages of the telephone and GSM handlers (a
// decoded telephone alarm, a received SMS, a test call) into alarm journal
// records and back, so that an alarm not yet stored can be rebuilt after a
// restart exactly as it arrived.

#include "core/AlarmJournal.h"

#include <cstdint>
#include <memory>

class CMsg;

class CAlarmJournalCodec {
public:
    // Whether messages of this type carry an alarm that must be journaled.
    static bool IsAlarmBearing(uint16_t msgType);
    // The record of such a message (id and time are left to the journal).
    static CAlarmJournal::Record ToRecord(const CMsg& msg);
    // The message of a record, with its journal id and time; nullptr for a
    // record of an unknown type.
    static std::unique_ptr<CMsg> FromRecord(const CAlarmJournal::Record& record);
};
