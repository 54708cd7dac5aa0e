#pragma once
// The message queue shared between threads: every worker's input queue and
// the user-interface inbox. Each operation holds the queue's own lock for one
// list operation only and never calls out while holding it. Every message
// added signals the queue's wake-up, so the thread that owns the queue can
// sleep until there is work.

#include "core/MsgQueue.h"
#include "core/Wakeup.h"

#include <cstddef>
#include <memory>
#include <mutex>

class CThreadQueue {
public:
    CThreadQueue() = default;
    ~CThreadQueue();
    CThreadQueue(const CThreadQueue&) = delete;
    CThreadQueue& operator=(const CThreadQueue&) = delete;

    void Add(std::unique_ptr<CMsg> msg);
    std::unique_ptr<CMsg> Get();
    std::size_t GetCount() const;

    CWakeup& Wakeup() { return wakeup; }

private:
    mutable std::mutex lock;
    CMsgQueue queue;
    CWakeup wakeup;
};
