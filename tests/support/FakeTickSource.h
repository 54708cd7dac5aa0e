#pragma once
// A tick counter that moves only when told to, or when someone sleeps on it.
// Installed for the lifetime of the object.

#include "core/TickSource.h"

#include <atomic>
#include <cstdint>
#include <thread>

class FakeTickSource : public CTickSource {
public:
    explicit FakeTickSource(uint32_t start = 0) : now(start) { SetTickSource(this); }
    ~FakeTickSource() override { SetTickSource(nullptr); }
    FakeTickSource(const FakeTickSource&) = delete;
    FakeTickSource& operator=(const FakeTickSource&) = delete;

    uint32_t GetTickCount() override { return now.load(); }
    // Sleeping advances the clock at once and lets other threads run.
    void Sleep(uint32_t ms) override
    {
        now.fetch_add(ms);
        std::this_thread::yield();
    }

    void Set(uint32_t tick) { now.store(tick); }
    void Advance(uint32_t ms) { now.fetch_add(ms); }

private:
    std::atomic<uint32_t> now;
};
