#pragma once
// A search or deletion of objects (Key: identity code or telephone number).

#include "db/KeyReqMsg.h"

class CObjectInfoReqMsg : public CKeyReqMsg {
public:
    CObjectInfoReqMsg() = default;
    explicit CObjectInfoReqMsg(uint16_t msgType) : CKeyReqMsg(msgType) {}
};
