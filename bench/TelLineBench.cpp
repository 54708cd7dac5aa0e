// The telephone line against the telephone-modem simulator (tools/modemsim).
// Run: build-bench/bench/bench_telline  (from any folder; it needs /usr/bin/python3)
//
// - BM_IdleLinkExchanges: link exchanges per second on an idle line (the 35 ms
//   pause after each answer and the reply time set the rate), counted over a
//   5 s window after the link has settled.
// - BM_P100AlarmDelay: time from the simulator writing a P100 message frame to
//   the decoded alarm reaching the telephone handler's owner, over several calls
//   (median and maximum). The start is taken when the simulator's event line is
//   read, a few tens of microseconds after the frame was written.

#include "core/ThreadQueue.h"
#include "messages/TelHandlerMsg.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "tel/TelComHandler.h"
#include "tel/TelHandler.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string Simulator()
{
    return std::string(ORVA_SOURCE_DIR) + "/tools/modemsim/modemsim.py";
}

struct Discard : CMsgReceiver {
    void ReceiveMsg(std::unique_ptr<CMsg>) override {}
};

void BM_IdleLinkExchanges(benchmark::State& state)
{
    TempDir dir;
    dir.WorkIn();
    ScopedEnv comDir("ORVA_COM_DIR", dir.Path().string());
    for (auto _ : state) {
        ChildProcess sim(ChildProcess::Simulator({Simulator(), "--link", dir / "COM1", "--verbose"}));
        if (sim.NextLineStarting("READY", 10s).empty()) {
            state.SkipWithError("simulator did not start");
            return;
        }
        Discard owner;
        CTelComHandler link;
        link.SetOwner(&owner);
        link.SetPort(1, 9600);
        if (link.Start() != HNDRET_STARTED) {
            state.SkipWithError("link did not start");
            return;
        }
        std::this_thread::sleep_for(500ms);  // settle
        // Only the lines read inside the window count: those printed while
        // the link settled are already in the list and are passed over (the
        // simulator's output is read as it comes, so a line's read time is
        // its print time to within the pipe's delay).
        const size_t first = sim.LineCount();
        const auto start = Clock::now();
        std::this_thread::sleep_for(5s);
        const size_t last = sim.LineCount();
        const double window = std::chrono::duration<double>(Clock::now() - start).count();
        link.Stop();
        int exchanges = 0;
        for (size_t i = first; i < last; ++i)
            if (sim.Line(i).rfind("RX ", 0) == 0)
                ++exchanges;
        state.counters["exchanges_per_s"] = exchanges / window;
    }
}
BENCHMARK(BM_IdleLinkExchanges)->Iterations(1)->Unit(benchmark::kSecond);

struct AlarmClock : CMsgReceiver {
    void ReceiveMsg(std::unique_ptr<CMsg> msg) override
    {
        if (msg->GetType() == TEL_ALARM) {
            std::lock_guard<std::mutex> guard(lock);
            arrivals.push_back(Clock::now());
        }
    }
    std::mutex lock;
    std::vector<Clock::time_point> arrivals;
};

void BM_P100AlarmDelay(benchmark::State& state)
{
    constexpr int kCalls = 8;
    TempDir dir;
    dir.WorkIn();
    ScopedEnv comDir("ORVA_COM_DIR", dir.Path().string());
    std::string calls;
    for (int i = 0; i < kCalls; ++i) {
        calls += std::string(i ? "," : "") + R"({"delay_ms": 300, "ring": {"on_ms": 300, "off_ms": 300, "count": 6},)"
                                             R"( "telephone": {"type": "p100", "code": 0, "identity": "12345678"}})";
    }
    for (auto _ : state) {
        ChildProcess sim(ChildProcess::Simulator(
            {Simulator(), "--link", dir / "COM1", "--scenario", "{\"calls\": [" + calls + "]}"}));
        if (sim.NextLineStarting("READY", 10s).empty()) {
            state.SkipWithError("simulator did not start");
            return;
        }
        AlarmClock owner;
        CTelHandler handler;
        handler.SetOwner(&owner);
        handler.SetConfig(1, 9600, 1, true, false, false, 0, 0);
        if (handler.Start() != HNDRET_STARTED) {
            state.SkipWithError("handler did not start");
            return;
        }
        std::vector<Clock::time_point> sent;
        while (static_cast<int>(sent.size()) < kCalls) {
            if (sim.NextLineStarting("P100-MSG", 60s).empty())
                break;
            sent.push_back(Clock::now());
        }
        sim.NextLineStarting("DONE", 60s);
        handler.Stop();

        std::vector<double> delays;
        {
            std::lock_guard<std::mutex> guard(owner.lock);
            for (std::size_t i = 0; i < sent.size() && i < owner.arrivals.size(); ++i)
                delays.push_back(std::chrono::duration<double, std::milli>(owner.arrivals[i] - sent[i]).count());
        }
        if (delays.empty()) {
            state.SkipWithError("no alarm arrived");
            return;
        }
        std::sort(delays.begin(), delays.end());
        state.counters["calls"] = static_cast<double>(delays.size());
        state.counters["median_ms"] = delays[delays.size() / 2];
        state.counters["max_ms"] = delays.back();
    }
}
BENCHMARK(BM_P100AlarmDelay)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
