#pragma once
// Unlocked first-in-first-out queue of owned messages (with precedence), for use inside one
// thread (for example the modem link's frames waiting to be sent).

#include "core/Msg.h"

#include <cstddef>
#include <deque>
#include <memory>

class CMsgQueue {
public:
    CMsgQueue() = default;
    ~CMsgQueue() = default;  // deletes every message still queued, each once
    CMsgQueue(const CMsgQueue&) = delete;
    CMsgQueue& operator=(const CMsgQueue&) = delete;

    // Appends at the tail, or ahead of the messages of lower precedence; the
    // queue owns the message from now on.
    void Add(std::unique_ptr<CMsg> msg);
    // Removes the head and hands it to the caller; empty pointer when empty.
    std::unique_ptr<CMsg> Get();

    bool IsEmpty() const { return items.empty(); }
    std::size_t GetCount() const { return items.size(); }

private:
    std::deque<std::unique_ptr<CMsg>> items;
};
