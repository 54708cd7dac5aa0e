// Run: build-bench/bench/bench_core (configure with -DORVA_BUILD_BENCH=ON).
//
// - BM_ThreadQueueThroughput: a producer thread adds a batch of messages to a
//   CThreadQueue while a consumer thread takes them, as a worker takes its
//   input; messages per second from the first Add to the last Get.
// - BM_ThreadQueueHandOver: one message at a time, the producer waiting until
//   the consumer has it; the hand-over latency (Add to the consumer's Get),
//   median and 99th percentile in microseconds.
//   The consumer sleeps on the queue's wake-up between empty looks, as a
//   worker between passes does, so the figures include the wake-up.
// - BM_LogFileFullRewrite: one line written to a full log, on disk when the
//   call returns (the log kept in memory, the file rewritten).
// - BM_LogFileBackgroundLine: the caller's cost of one line into a full log
//   that writes in the background (the alarm road's logs); the writer thread
//   rewrites the file meanwhile, once for all lines waiting.
// - BM_LogFileBackgroundBurst: three lines, as a received P100 alarm writes,
//   then a Flush: the cost until the three are on disk.

#include "core/HandlerMsg.h"
#include "core/LogFile.h"
#include "core/ThreadQueue.h"

#include <benchmark/benchmark.h>

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A message that carries the moment it was added.
struct StampedMsg : CMsg {
    StampedMsg() : CMsg(43), sent(Clock::now()) {}
    Clock::time_point sent;
};

// Takes messages off the queue on a thread of its own until told to stop,
// noting when each arrived.
class Consumer {
public:
    explicit Consumer(CThreadQueue& q, bool keepLatencies) : queue(q), keep(keepLatencies)
    {
        thread = std::thread([this] { Run(); });
    }
    ~Consumer()
    {
        stop.store(true);
        queue.Wakeup().Signal();
        thread.join();
    }
    Consumer(const Consumer&) = delete;
    Consumer& operator=(const Consumer&) = delete;

    int64_t Received() const { return received.load(std::memory_order_acquire); }
    // Only after the thread has stopped, or while the producer waits for it.
    std::vector<double>& LatenciesUs() { return latencies; }

private:
    void Run()
    {
        while (!stop.load(std::memory_order_relaxed)) {
            std::unique_ptr<CMsg> msg = queue.Get();
            if (!msg) {
                pollfd wake{queue.Wakeup().Fd(), POLLIN, 0};
                ::poll(&wake, 1, 100);
                queue.Wakeup().Clear();
                continue;
            }
            if (keep) {
                const auto* stamped = MsgCast<StampedMsg>(*msg);
                if (stamped != nullptr)
                    latencies.push_back(
                        std::chrono::duration<double, std::micro>(Clock::now() - stamped->sent).count());
            }
            received.fetch_add(1, std::memory_order_release);
        }
    }

    CThreadQueue& queue;
    const bool keep;
    std::atomic<bool> stop{false};
    std::atomic<int64_t> received{0};
    std::vector<double> latencies;
    std::thread thread;
};

void BM_ThreadQueueThroughput(benchmark::State& state)
{
    const auto batch = static_cast<int64_t>(state.range(0));
    CThreadQueue queue;
    Consumer consumer(queue, false);
    int64_t sent = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int64_t i = 0; i < batch; ++i)
            queue.Add(std::make_unique<CHandlerMsg>(43));
        sent += batch;
        while (consumer.Received() < sent)
            std::this_thread::yield();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    state.SetItemsProcessed(sent);
}
BENCHMARK(BM_ThreadQueueThroughput)->Arg(1000)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_ThreadQueueHandOver(benchmark::State& state)
{
    CThreadQueue queue;
    std::vector<double> latencies;
    {
        Consumer consumer(queue, true);
        int64_t sent = 0;
        for (auto _ : state) {
            queue.Add(std::make_unique<StampedMsg>());
            ++sent;
            while (consumer.Received() < sent)
                std::this_thread::yield();
        }
        // The consumer has counted every message, so it no longer touches
        // its list.
        latencies.swap(consumer.LatenciesUs());
    }
    if (latencies.empty())
        return;
    std::sort(latencies.begin(), latencies.end());
    const size_t n = latencies.size();
    state.counters["handover_median_us"] = latencies[n / 2];
    state.counters["handover_p99_us"] = latencies[std::min(n - 1, (99 * n) / 100)];
    state.SetItemsProcessed(static_cast<int64_t>(n));
}
BENCHMARK(BM_ThreadQueueHandOver)->Unit(benchmark::kMicrosecond);

// One line written to a log already holding maxLines lines: every line
// rewrites the whole file, so this is the cost a worker pays per log line.
void BM_LogFileFullRewrite(benchmark::State& state)
{
    const auto lines = static_cast<int16_t>(state.range(0));
    CLogFile log("bench_core_log", lines);
    for (int i = 0; i < lines; ++i)
        log.WriteLine("CTelComHandler::ThreadMain: filler line " + std::to_string(i));
    for (auto _ : state)
        log.WriteLine("CTelComHandler::ThreadMain: MaxReplyTime updated, time: 181");
    std::remove(log.LogPath().c_str());
}
BENCHMARK(BM_LogFileFullRewrite)->Arg(1000)->Arg(2000)->Unit(benchmark::kMicrosecond);

void FillLog(CLogFile& log, int16_t lines)
{
    for (int i = 0; i < lines; ++i)
        log.WriteLine("CTelComHandler::ThreadMain: filler line " + std::to_string(i));
    log.Flush();
}

void BM_LogFileBackgroundLine(benchmark::State& state)
{
    const auto lines = static_cast<int16_t>(state.range(0));
    {
        CLogFile log("bench_core_log", lines);
        FillLog(log, lines);
        log.SetBackgroundWriting(true);
        for (auto _ : state)
            log.WriteLine("TelHandler::TELHND_ST_IDLE: P100 Message received OK");
    }  // what still waits is written after the timed loop
    std::remove("bench_core_log.log");
}
BENCHMARK(BM_LogFileBackgroundLine)->Arg(1000)->Arg(2000)->Unit(benchmark::kMicrosecond);

void BM_LogFileBackgroundBurst(benchmark::State& state)
{
    const auto lines = static_cast<int16_t>(state.range(0));
    CLogFile log("bench_core_log", lines);
    FillLog(log, lines);
    log.SetBackgroundWriting(true);
    for (auto _ : state) {
        log.WriteLine("CP100Info::Decode: 01 02 03 04 05 06 07 08");
        log.WriteLine("TelHandler::TELHND_ST_IDLE: P100 Message received OK");
        log.WriteLine("TelHandler::TELHND_ST_IDLE: MsgType: 1");
        log.Flush();
    }
    std::remove(log.LogPath().c_str());
}
BENCHMARK(BM_LogFileBackgroundBurst)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
