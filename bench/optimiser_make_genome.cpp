// Time to make one genome from a pool of 100 000 results of one lattice, per
// trial type and with the default mix. Every call reads the whole pool at
// least once (the duplicate check); LocalGrad reads it twice.
#include <benchmark/benchmark.h>

#include "common/random.hpp"
#include "results/optimiser.hpp"
#include "results_bench_support.hpp"

namespace {

constexpr int kPoolSize = 100000;

const ResultsList& pool() {
    static BenchFolder folder;  // no sample file there
    static const ResultsList results = [] {
        std::mt19937 rng(7);
        ResultsList list;
        listInit(list);
        for (int i = 0; i < kPoolSize; i++) listAppend(list, benchRecord(rng));
        return list;
    }();
    return results;
}

void BM_MakeGenome(benchmark::State& state) {
    const ResultsList& results = pool();
    OptimiserSettings settings;
    int mode = static_cast<int>(state.range(0));
    seedRandom(11);
    int64_t candidates = 0;
    for (auto _ : state) {
        MadeGenome made = makeTrial(results, "demo", mode, std::nullopt, settings);
        candidates += made.candidates;
        benchmark::DoNotOptimize(made.genome.levels.data());
    }
    state.SetLabel(mode == kModeByRatios ? "by ratios" : trialModeName(mode));
    state.counters["candidates"] =
        benchmark::Counter(static_cast<double>(candidates), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_MakeGenome)
    ->DenseRange(kModeByRatios, kTrialTypeCount - 1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
