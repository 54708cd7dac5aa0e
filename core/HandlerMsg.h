#pragma once
// Notification from a worker thread to its manager: a code, a text and a value.

#include "core/Msg.h"

#include <cstdint>
#include <string>

class CHandlerMsg : public CMsg {
public:
    CHandlerMsg() = default;
    explicit CHandlerMsg(uint16_t msgType) : CMsg(msgType) {}

    int16_t code = 0;
    std::string text;
    int16_t value = 0;
};
