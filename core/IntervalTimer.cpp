#include "core/IntervalTimer.h"

#include "core/TickSource.h"

void CIntervalTimer::Start(uint32_t intervalMs)
{
    startTick = GetTickCount();
    interval = intervalMs;
}

uint32_t CIntervalTimer::Elapsed() const
{
    return static_cast<uint32_t>(GetTickCount() - startTick);
}

bool CIntervalTimer::Expired() const
{
    return Elapsed() >= interval;
}
