#pragma once
// Outgoing calls: the station makes none yet. The telephone handler owns this
// manager and polls it in its outgoing state, which nothing leads to.

#include "messages/TelHandlerMsg.h"
#include "protocols/TelLine.h"

#include <memory>

class COutgoingCallMgr {
public:
    void Init(CTelLine* telHandler) { handler = telHandler; }
    // Always nothing: no outgoing call is ever made, so TEL_OUTGOING_DONE never comes.
    std::unique_ptr<CTelHandlerMsg> Poll() { return nullptr; }

private:
    CTelLine* handler = nullptr;
};
