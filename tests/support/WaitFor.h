#pragma once
// Waits in real time (not on a fake clock) until a condition holds, polling
// every millisecond; false when the limit passed first.

#include <chrono>
#include <thread>

template <typename Cond>
bool WaitFor(Cond cond, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
