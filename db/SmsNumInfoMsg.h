#pragma once
// One SMS recipient of the pick list (SmsNumberInfo row); Number is the key.

#include "messages/DatabaseMsg.h"

#include <string>

class CSmsNumInfoMsg : public CDatabaseMsg {
public:
    CSmsNumInfoMsg() = default;
    explicit CSmsNumInfoMsg(uint16_t msgType) : CDatabaseMsg(msgType) {}

    CSmsNumInfoMsg* NextSmsNum() const { return static_cast<CSmsNumInfoMsg*>(Next.get()); }

    std::string Number;
    std::string Name;
};
