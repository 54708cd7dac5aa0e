#include "core/MsgQueue.h"

void CMsgQueue::Add(std::unique_ptr<CMsg> msg)
{
    if (msg)
        items.push_back(std::move(msg));
}

std::unique_ptr<CMsg> CMsgQueue::Get()
{
    if (items.empty())
        return nullptr;
    std::unique_ptr<CMsg> head = std::move(items.front());
    items.pop_front();
    return head;
}
