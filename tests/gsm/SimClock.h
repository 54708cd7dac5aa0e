#pragma once
// A simulated millisecond clock for the GSM handler against a scripted modem.
//
// The handler thread drives the clock: each of its sleeps moves the clock on
// at once, so a minute of time-outs passes in a blink. But the clock never
// moves while an exchange on the line is unfinished:
// - bytes the station wrote that the modem has not yet read and answered, and
// - bytes the modem wrote that the station has not yet read
// hold it (the line tap of the AT layer counts the station's bytes, the modem
// counts its own). The modem's own plans (a ring at a given time, an answer
// that comes late) are events: the clock stops at an event until the modem
// has carried it out. So the handler sees the modem answer "at once" or
// exactly when the script says, however slow the machine running the test.
//
// The test's own thread is passive: its sleeps (Start/Stop handshakes) pass
// in real time and do not move the clock.

#include "gsm/AtCmdProt.h"

#include "core/TickSource.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

class SimClock : public CTickSource {
public:
    explicit SimClock(uint32_t start = 100000) : now(start)
    {
        passiveThread = std::this_thread::get_id();
        SetTickSource(this);
        CAtCmdProt::SetLineTap(&tap);
    }
    ~SimClock() override
    {
        CAtCmdProt::SetLineTap(nullptr);
        SetTickSource(nullptr);
    }
    SimClock(const SimClock&) = delete;
    SimClock& operator=(const SimClock&) = delete;

    uint32_t GetTickCount() override
    {
        std::lock_guard<std::mutex> guard(lock);
        return now;
    }

    void Sleep(uint32_t ms) override
    {
        if (std::this_thread::get_id() == passiveThread) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            return;
        }
        std::unique_lock<std::mutex> guard(lock);
        const uint64_t target = static_cast<uint64_t>(now) + ms;
        for (;;) {
            // Nothing moves while the line is busy or an event is due. Bytes
            // reach the far side of a pty without telling anyone, so the
            // line is looked at again every 100 us.
            const auto limit = std::chrono::steady_clock::now() + kStallLimit;
            while (!Settled()) {
                if (std::chrono::steady_clock::now() > limit) {
                    ++stalls;
                    break;
                }
                changed.wait_for(guard, std::chrono::microseconds(100));
            }
            if (now >= target)
                break;
            uint64_t next = target;
            if (!events.empty() && *events.begin() < next)
                next = *events.begin();
            now = static_cast<uint32_t>(next);
            changed.notify_all();
        }
        guard.unlock();
        std::this_thread::yield();
    }

    // --- the modem's side ---

    // How many bytes wait on the station's side of the line, unread.
    void SetSlaveProbe(std::function<int()> probe)
    {
        std::lock_guard<std::mutex> guard(lock);
        slaveProbe = std::move(probe);
    }

    // The modem has read `read` bytes and written `written` in answer, and
    // plans its later events; all of it at one moment for the clock.
    void ModemStep(std::size_t read, std::size_t written, const std::multiset<uint32_t>& newEvents = {})
    {
        std::lock_guard<std::mutex> guard(lock);
        modemRead += read;
        modemWritten += written;
        events.insert(newEvents.begin(), newEvents.end());
        changed.notify_all();
    }
    // An event of `at` was carried out (with `written` bytes).
    void EventDone(uint32_t at, std::size_t written)
    {
        std::lock_guard<std::mutex> guard(lock);
        modemWritten += written;
        const auto it = events.find(at);
        if (it != events.end())
            events.erase(it);
        changed.notify_all();
    }
    void CancelEvents()
    {
        std::lock_guard<std::mutex> guard(lock);
        events.clear();
        changed.notify_all();
    }
    // The modem's line is gone (or back): the byte counts start afresh.
    void LineGone()
    {
        std::lock_guard<std::mutex> guard(lock);
        modemRead = stationWritten;
        modemWritten = stationRead;
        lineDown = true;
        changed.notify_all();
    }
    void LineBack()
    {
        std::lock_guard<std::mutex> guard(lock);
        modemRead = stationWritten;
        modemWritten = stationRead;
        lineDown = false;
        changed.notify_all();
    }

    // Real-time wait of the modem (or the test) until the clock reaches `at`.
    bool WaitUntil(uint32_t at, std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, limit, [&] { return now >= at; });
    }

    // Times the clock gave up waiting for the line to settle (a modem that
    // did not account for its bytes): a test must see none.
    int Stalls() const
    {
        std::lock_guard<std::mutex> guard(lock);
        return stalls;
    }

private:
    static constexpr std::chrono::seconds kStallLimit{5};

    // The modem has read and answered all the station wrote, and all the
    // modem wrote has reached the station's side (read or waiting there).
    bool Settled() const
    {
        const int waiting = slaveProbe ? std::max(slaveProbe(), 0) : 0;
        const bool lineQuiet =
            lineDown || (stationWritten == modemRead && stationRead + static_cast<uint64_t>(waiting) >= modemWritten);
        const bool eventDue = !events.empty() && *events.begin() <= now;
        return lineQuiet && !eventDue;
    }

    void Count(bool sent, std::size_t n)
    {
        std::lock_guard<std::mutex> guard(lock);
        (sent ? stationWritten : stationRead) += n;
        changed.notify_all();
    }

    mutable std::mutex lock;
    std::condition_variable changed;
    uint32_t now;
    std::thread::id passiveThread;
    uint64_t stationWritten = 0;
    uint64_t stationRead = 0;
    uint64_t modemRead = 0;
    uint64_t modemWritten = 0;
    bool lineDown = false;
    std::multiset<uint32_t> events;
    std::function<int()> slaveProbe;
    int stalls = 0;
    CAtCmdProt::LineTap tap = [this](bool sent, std::size_t n) { Count(sent, n); };
};
