#pragma once
// A search or deletion of e-mail recipients (Key: the address).

#include "db/KeyReqMsg.h"

class CMailInfoReqMsg : public CKeyReqMsg {
public:
    CMailInfoReqMsg() = default;
    explicit CMailInfoReqMsg(uint16_t msgType) : CKeyReqMsg(msgType) {}
};
