#pragma once
// One e-mail recipient of the pick list (MailInfo row); Address is the key.

#include "messages/DatabaseMsg.h"

#include <string>

class CMailInfoMsg : public CDatabaseMsg {
public:
    CMailInfoMsg() = default;
    explicit CMailInfoMsg(uint16_t msgType) : CDatabaseMsg(msgType) {}

    CMailInfoMsg* NextMail() const { return static_cast<CMailInfoMsg*>(Next.get()); }

    std::string Address;
    std::string Name;
};
