#pragma once
// A search or deletion of alarms. A search for several keys (printing) is a
// chain of requests, one key each, linked through Next.

#include "messages/DatabaseMsg.h"

#include <cstdint>
#include <string>

class CAlarmInfoReqMsg : public CDatabaseMsg {
public:
    CAlarmInfoReqMsg() = default;
    explicit CAlarmInfoReqMsg(uint16_t msgType) : CDatabaseMsg(msgType) {}

    CAlarmInfoReqMsg* NextRequest() const { return static_cast<CAlarmInfoReqMsg*>(Next.get()); }

    int32_t Kind = 0;         // ALARM_KIND_*
    uint32_t PrimaryKey = 0;  // the wanted alarm
    std::string IdCode;       // the wanted object
    uint32_t MaxCount = 0;    // most rows of a list search
    uint8_t StatusMask = 15;  // bit 0 new, 1 acknowledged, 2 finished, 3 information
    uint16_t AgeDays = 0;     // age limit of the purge
};
