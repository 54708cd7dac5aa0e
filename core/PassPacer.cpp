#include "core/PassPacer.h"

#include "core/TickSource.h"

#include <algorithm>

void CPassPacer::NoteDeadline(uint32_t dueInMs)
{
    nearestDueMs = std::min(nearestDueMs, dueInMs);
}

void CPassPacer::NoteActivity()
{
    lastActivity = GetTickCount();
    active = true;
}

uint32_t CPassPacer::TakeWaitMs()
{
    uint32_t wait = kIdleWaitMs;
    if (active) {
        // Wrap-safe: the difference of two ticks in unsigned arithmetic.
        if (static_cast<uint32_t>(GetTickCount() - lastActivity) < busyWindowMs)
            wait = 1;
        else
            active = false;
    }
    wait = std::min(wait, nearestDueMs);
    nearestDueMs = UINT32_MAX;
    return wait;
}

CPassPacer& ThisThreadPacer()
{
    thread_local CPassPacer pacer;
    return pacer;
}
