#pragma once
// One customer (CustomerInfo row); Name is the key.

#include "messages/DatabaseMsg.h"

#include <string>

class CCustomerInfoMsg : public CDatabaseMsg {
public:
    CCustomerInfoMsg() = default;
    explicit CCustomerInfoMsg(uint16_t msgType) : CDatabaseMsg(msgType) {}

    CCustomerInfoMsg* NextCustomer() const { return static_cast<CCustomerInfoMsg*>(Next.get()); }

    std::string Name;
    std::string Info;
};
