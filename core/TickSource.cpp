#include "core/TickSource.h"

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <ctime>
#include <thread>

namespace {

CSystemTickSource systemSource;
std::atomic<CTickSource*> currentSource{&systemSource};

}  // namespace

uint32_t CSystemTickSource::GetTickCount()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

void CSystemTickSource::Sleep(uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void CSystemTickSource::WaitReady(pollfd* fds, unsigned count, uint32_t ms)
{
    // An interrupted wait is a short one: the caller's next pass looks again.
    ::poll(fds, count, static_cast<int>(std::min<uint32_t>(ms, INT32_MAX)));
}

void CTickSource::WaitReady(pollfd* fds, unsigned count, uint32_t /*ms*/)
{
    if (count > 0 && ::poll(fds, count, 0) > 0)
        return;
    Sleep(1);
}

CTickSource& TickSource()
{
    return *currentSource.load(std::memory_order_acquire);
}

void SetTickSource(CTickSource* source)
{
    currentSource.store(source ? source : &systemSource, std::memory_order_release);
}
