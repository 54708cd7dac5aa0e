#pragma once
// The millisecond tick counter and sleeping, behind one replaceable source so
// that the long time-outs of the state machines (20 s, 60 s, 300 s) and the
// wrap-around of the 32-bit counter are tested in milliseconds with a fake
// clock. The station itself always runs on the monotonic system clock.

#include <cstdint>

struct pollfd;

class CTickSource {
public:
    virtual ~CTickSource() = default;
    // Milliseconds of a monotonic clock, wrapping at 2^32.
    virtual uint32_t GetTickCount() = 0;
    virtual void Sleep(uint32_t ms) = 0;
    // Waits until one of the descriptors is ready or ms have passed, and
    // fills in their revents. A clock of its own (the tests') looks at the
    // descriptors without waiting and, when none is ready, sleeps on itself
    // for one millisecond: under it, time moves pass by pass as it always did.
    virtual void WaitReady(pollfd* fds, unsigned count, uint32_t ms);
};

// The monotonic system clock (CLOCK_MONOTONIC in milliseconds, truncated to 32 bits).
class CSystemTickSource : public CTickSource {
public:
    uint32_t GetTickCount() override;
    void Sleep(uint32_t ms) override;
    void WaitReady(pollfd* fds, unsigned count, uint32_t ms) override;
};

// The source every timer and handler uses. Tests install a fake one for the
// duration of a test; nullptr puts the system clock back.
CTickSource& TickSource();
void SetTickSource(CTickSource* source);

inline uint32_t GetTickCount()
{
    return TickSource().GetTickCount();
}
inline void SleepMs(uint32_t ms)
{
    TickSource().Sleep(ms);
}
