#pragma once
// A search or deletion of SMS recipients (Key: the number).

#include "db/KeyReqMsg.h"

class CSmsNumInfoReqMsg : public CKeyReqMsg {
public:
    CSmsNumInfoReqMsg() = default;
    explicit CSmsNumInfoReqMsg(uint16_t msgType) : CKeyReqMsg(msgType) {}
};
