#pragma once
// Anything that accepts messages from other threads: a worker's input queue,
// or the application document's inbox. A handler's owner is one of these.

#include "core/Msg.h"

#include <memory>

class CMsgReceiver {
public:
    virtual ~CMsgReceiver() = default;
    // Takes ownership of the message; callable from any thread.
    virtual void ReceiveMsg(std::unique_ptr<CMsg> msg) = 0;
};
