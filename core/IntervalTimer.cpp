#include "core/IntervalTimer.h"

#include "core/PassPacer.h"
#include "core/TickSource.h"

void CIntervalTimer::Start(uint32_t intervalMs)
{
    startTick = GetTickCount();
    interval = intervalMs;
    ThisThreadPacer().NoteActivity();
}

uint32_t CIntervalTimer::Elapsed() const
{
    return static_cast<uint32_t>(GetTickCount() - startTick);
}

bool CIntervalTimer::Expired() const
{
    const uint32_t elapsed = Elapsed();
    if (elapsed >= interval)
        return true;
    // The thread that waits on this timer must not sleep past it.
    ThisThreadPacer().NoteDeadline(interval - elapsed);
    return false;
}
