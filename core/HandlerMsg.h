#pragma once
// Notification from a worker thread to its manager: a code, a text and a value.

#include "core/Msg.h"

#include <cstdint>
#include <ctime>
#include <string>

class CHandlerMsg : public CMsg {
public:
    CHandlerMsg() = default;
    explicit CHandlerMsg(uint16_t msgType) : CMsg(msgType) {}

    int16_t code = 0;
    std::string text;
    int16_t value = 0;
    // Set for an alarm when it is written to the alarm journal: the record's
    // id and the moment the alarm was taken from its source.
    std::string journalId;
    std::time_t takenAt = 0;
};
