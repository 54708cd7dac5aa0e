#include "core/IntervalTimer.h"

#include "core/PassPacer.h"
#include "core/TickSource.h"

void CIntervalTimer::Start(uint32_t intervalMs)
{
    startTick = GetTickCount();
    interval = intervalMs;
    expiryNoted = false;
    ThisThreadPacer().NoteActivity();
}

uint32_t CIntervalTimer::Elapsed() const
{
    return static_cast<uint32_t>(GetTickCount() - startTick);
}

bool CIntervalTimer::Expired() const
{
    const uint32_t elapsed = Elapsed();
    if (elapsed >= interval) {
        // Running out is an event like a message: the steps it starts follow
        // at once. Noted once, so a state that keeps looking at a timer long
        // run out does not keep its thread busy.
        if (!expiryNoted) {
            expiryNoted = true;
            ThisThreadPacer().NoteActivity();
        }
        return true;
    }
    // The thread that waits on this timer must not sleep past it.
    ThisThreadPacer().NoteDeadline(interval - elapsed);
    return false;
}
