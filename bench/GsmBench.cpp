// The GSM handler against the GSM-modem simulator (tools/gsmsim).
// Run: build-bench/bench/bench_gsm  (needs /usr/bin/python3)
//
// - BM_SmsPerMinute: SMS sent per minute through the handler (queued at once,
//   counted when the simulator reports them sent).
// - BM_IdleHandlerCpu: CPU time the idle handler uses (it polls the modem by
//   design), as a share of one core over 10 s.

#include "core/ThreadQueue.h"
#include "gsm/GsmHandler.h"
#include "messages/GsmHandlerMsg.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <sys/resource.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string Simulator()
{
    return std::string(ORVA_SOURCE_DIR) + "/tools/gsmsim/gsmsim.py";
}

struct Discard : CMsgReceiver {
    void ReceiveMsg(std::unique_ptr<CMsg> msg) override
    {
        if (msg->GetType() == GSM_STATUS && static_cast<CGsmHandlerMsg&>(*msg).code == GHM_STATUS_COM_OK)
            ready = true;
    }
    std::atomic<bool> ready{false};
};

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool StartReady(CGsmHandler& handler, Discard& owner)
{
    handler.SetOwner(&owner);
    handler.Init(2, 9600, "", false, 0);
    if (handler.Start() != HNDRET_STARTED)
        return false;
    const auto until = Clock::now() + 30s;
    while (!owner.ready && Clock::now() < until)
        std::this_thread::sleep_for(10ms);
    return owner.ready;
}

void BM_SmsPerMinute(benchmark::State& state)
{
    constexpr int kSms = 20;
    TempDir dir;
    dir.WorkIn();
    ScopedEnv comDir("ORVA_COM_DIR", dir.Path().string());
    for (auto _ : state) {
        ChildProcess sim(ChildProcess::Simulator({Simulator(), "--link", dir / "COM2"}));
        if (sim.NextLineStarting("READY", 10s).empty()) {
            state.SkipWithError("simulator did not start");
            return;
        }
        Discard owner;
        CGsmHandler handler;
        if (!StartReady(handler, owner)) {
            state.SkipWithError("modem not ready");
            return;
        }
        const auto start = Clock::now();
        for (int i = 0; i < kSms; ++i) {
            auto request = std::make_unique<CGsmHandlerMsg>(MSG_GUI_SEND_ALARM_SMS);
            request->recipients = "+4670" + std::to_string(1000000 + i);
            request->smsText = "ORVA ALARM\nType: Test Successful\nID Info: Lift " + std::to_string(i) + "\n";
            CHandler::PostMsg(&handler, std::move(request));
        }
        int sent = 0;
        while (sent < kSms && !sim.NextLineStarting("SMS-SENT", 60s).empty())
            ++sent;
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        handler.Stop();
        state.counters["sms"] = sent;
        state.counters["sms_per_minute"] = sent * 60.0 / seconds;
    }
}
BENCHMARK(BM_SmsPerMinute)->Iterations(1)->Unit(benchmark::kSecond);

void BM_IdleHandlerCpu(benchmark::State& state)
{
    TempDir dir;
    dir.WorkIn();
    ScopedEnv comDir("ORVA_COM_DIR", dir.Path().string());
    for (auto _ : state) {
        ChildProcess sim(ChildProcess::Simulator({Simulator(), "--link", dir / "COM2"}));
        if (sim.NextLineStarting("READY", 10s).empty()) {
            state.SkipWithError("simulator did not start");
            return;
        }
        Discard owner;
        CGsmHandler handler;
        if (!StartReady(handler, owner)) {
            state.SkipWithError("modem not ready");
            return;
        }
        const double cpuStart = CpuSeconds();
        const auto start = Clock::now();
        std::this_thread::sleep_for(10s);
        const double cpu = CpuSeconds() - cpuStart;
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        handler.Stop();
        state.counters["cpu_percent_of_one_core"] = 100.0 * cpu / wall;
    }
}
BENCHMARK(BM_IdleHandlerCpu)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
