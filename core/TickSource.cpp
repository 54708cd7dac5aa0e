#include "core/TickSource.h"

#include <atomic>
#include <chrono>
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

CTickSource& TickSource()
{
    return *currentSource.load(std::memory_order_acquire);
}

void SetTickSource(CTickSource* source)
{
    currentSource.store(source ? source : &systemSource, std::memory_order_release);
}
