#pragma once
// A search or deletion of customers (Key: the customer name).

#include "db/KeyReqMsg.h"

class CCustomerInfoReqMsg : public CKeyReqMsg {
public:
    CCustomerInfoReqMsg() = default;
    explicit CCustomerInfoReqMsg(uint16_t msgType) : CKeyReqMsg(msgType) {}
};
