#include "core/ThreadQueue.h"

CThreadQueue::~CThreadQueue()
{
    std::lock_guard<std::mutex> guard(lock);
    while (queue.Get()) {
    }
}

void CThreadQueue::Add(std::unique_ptr<CMsg> msg)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        queue.Add(std::move(msg));
    }
    wakeup.Signal();
}

std::unique_ptr<CMsg> CThreadQueue::Get()
{
    std::lock_guard<std::mutex> guard(lock);
    return queue.Get();
}

std::size_t CThreadQueue::GetCount() const
{
    std::lock_guard<std::mutex> guard(lock);
    return queue.GetCount();
}
