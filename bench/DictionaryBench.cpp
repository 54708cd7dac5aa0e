// Run: build-test/bench/bench_dictionary (configure with -DORVA_BUILD_BENCH=ON;
// for figures that mean something, build without the sanitizers).

#include "dictionary/Dictionary.h"
#include "dictionary/DictionaryData.h"

#include <benchmark/benchmark.h>

namespace {

// Digest check and parse of the dictionary built into the program.
void BM_DictionaryLoad(benchmark::State& state)
{
    for (auto _ : state) {
        CDictionary dictionary;
        benchmark::DoNotOptimize(dictionary.Load());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kDictionaryDataSize));
}
BENCHMARK(BM_DictionaryLoad)->Unit(benchmark::kMillisecond);

// One lookup of a text, as worker threads and windows do all the time.
void BM_DictionaryTranslate(benchmark::State& state)
{
    CDictionary dictionary;
    dictionary.Load();
    dictionary.SetLanguage("de");
    for (auto _ : state)
        benchmark::DoNotOptimize(dictionary.Translate("IDS_MAINFRM_STATUSBAR_ID_ALARMLIST_SETSTATUS_ACKNOWLEDGED"));
}
BENCHMARK(BM_DictionaryTranslate);

// A key that does not exist.
void BM_DictionaryTranslateMissing(benchmark::State& state)
{
    CDictionary dictionary;
    dictionary.Load();
    dictionary.SetLanguage("en");
    for (auto _ : state)
        benchmark::DoNotOptimize(dictionary.Translate("IDS_NO_SUCH_KEY"));
}
BENCHMARK(BM_DictionaryTranslateMissing);

}  // namespace
