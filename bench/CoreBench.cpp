// Run: build/bench/bench_core (configure with -DORVA_BUILD_BENCH=ON).

#include "core/HandlerMsg.h"
#include "core/LogFile.h"
#include "core/ThreadQueue.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

// One message handed from producer to consumer through a locked queue.
void BM_ThreadQueueAddGet(benchmark::State& state)
{
    CThreadQueue queue;
    for (auto _ : state) {
        queue.Add(std::make_unique<CHandlerMsg>(43));
        benchmark::DoNotOptimize(queue.Get());
    }
}
BENCHMARK(BM_ThreadQueueAddGet);

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

}  // namespace
