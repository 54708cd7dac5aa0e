#pragma once
// Tick-count timer of the state machines. A fresh timer (start 0, interval 0)
// is already expired.

#include <cstdint>

class CIntervalTimer {
public:
    void Start(uint32_t intervalMs);
    // True once at least the interval has passed since Start. The difference
    // is taken in unsigned 32-bit arithmetic, so the wrap of the tick counter
    // (every 49.7 days) neither fires the timer early nor holds it back.
    // A timer still running tells its thread's pacer when it falls due;
    // starting one, and the first look after it ran out, count as activity
    // (core/PassPacer.h).
    bool Expired() const;

    uint32_t GetStartTick() const { return startTick; }
    uint32_t GetInterval() const { return interval; }
    // Milliseconds since Start (wrap-safe).
    uint32_t Elapsed() const;

private:
    uint32_t startTick = 0;
    uint32_t interval = 0;
    mutable bool expiryNoted = false;
};
