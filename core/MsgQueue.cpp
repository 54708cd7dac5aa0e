#include "core/MsgQueue.h"

#include <algorithm>

void CMsgQueue::Add(std::unique_ptr<CMsg> msg)
{
    if (!msg)
        return;
    const uint8_t precedence = msg->GetPrecedence();
    if (precedence == 0 || items.empty() || items.back()->GetPrecedence() >= precedence) {
        items.push_back(std::move(msg));
        return;
    }
    const auto lower = std::find_if(items.begin(), items.end(), [precedence](const std::unique_ptr<CMsg>& queued) {
        return queued->GetPrecedence() < precedence;
    });
    items.insert(lower, std::move(msg));
}

std::unique_ptr<CMsg> CMsgQueue::Get()
{
    if (items.empty())
        return nullptr;
    std::unique_ptr<CMsg> head = std::move(items.front());
    items.pop_front();
    return head;
}
