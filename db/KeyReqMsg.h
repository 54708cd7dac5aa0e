#pragma once
// A search or deletion by key in one of the registers: objects, customers,
// e-mail recipients or SMS recipients.

#include "messages/DatabaseMsg.h"

#include <cstdint>
#include <string>

class CKeyReqMsg : public CDatabaseMsg {
public:
    CKeyReqMsg() = default;
    explicit CKeyReqMsg(uint16_t msgType) : CDatabaseMsg(msgType) {}

    int32_t Kind = 0;  // OBJECT_KIND_* for objects, INFO_KIND_* for the others
    std::string Key;   // identity code or telephone number, customer name, address or number
};
