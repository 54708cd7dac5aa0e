#pragma once
// How long a worker thread may wait between two passes of its state machine.
//
// The state machines are written as passes: each pass looks at the queue,
// the line and its timers and takes the steps that are due. Between passes
// the thread sleeps until something can have changed: a message, a byte on
// its line, or the nearest time-out. Timers note when they fall due while a
// pass checks them (CIntervalTimer does it), so the wait never passes a
// time-out. Starting a timer or taking a message is activity: a step may take
// several passes, so for a short while after activity passes follow one
// another every millisecond, as they always did. When nothing happens the
// wait is bounded all the same, so a change that neither a message nor a
// timer announces is still seen within a tenth of a second.
//
// One pacer per thread; a thread that never waits only keeps a minimum.

#include <cstdint>

class CPassPacer {
public:
    // After activity, passes follow every millisecond for this long (a
    // thread whose every step is one pass may shorten it, to nothing).
    static constexpr uint32_t kBusyWindowMs = 20;
    // The longest wait between two passes of an idle thread.
    static constexpr uint32_t kIdleWaitMs = 100;

    // A timer checked in this pass falls due in this many milliseconds.
    void NoteDeadline(uint32_t dueInMs);
    // Something happened: a message taken, a timer started, a byte read.
    void NoteActivity();
    // The wait before the next pass; starts the next pass's collection.
    uint32_t TakeWaitMs();

    void SetBusyWindowMs(uint32_t ms) { busyWindowMs = ms; }

private:
    uint32_t busyWindowMs = kBusyWindowMs;
    uint32_t nearestDueMs = UINT32_MAX;
    uint32_t lastActivity = 0;
    bool active = false;
};

// The calling thread's pacer.
CPassPacer& ThisThreadPacer();
