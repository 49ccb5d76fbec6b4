// Loading and saving a 50 MB results.dat, generated at start-up.
#include <benchmark/benchmark.h>

#include "platform/files.hpp"
#include "results/text_results.hpp"
#include "results_bench_support.hpp"

namespace {

constexpr int64_t kTargetBytes = 50 * 1048576;

BenchFolder& folder() {
    static BenchFolder f;
    return f;
}

const std::string& bigFile() {
    static const std::string path = [] {
        folder();
        std::mt19937 rng(42);
        std::string text;
        text.reserve(kTargetBytes + 1000);
        while (static_cast<int64_t>(text.size()) < kTargetBytes)
            text += recordText(benchRecord(rng));
        writeFileAtomic("results.dat", text);
        return std::string("results.dat");
    }();
    return path;
}

void BM_LoadResults(benchmark::State& state) {
    const std::string& path = bigFile();
    int64_t bytes = fileSize(path);
    uint32_t records = 0;
    for (auto _ : state) {
        ResultsList list = loadResults(path, std::nullopt);
        records = list.count();
        benchmark::DoNotOptimize(list.items.data());
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["records"] = records;
}
BENCHMARK(BM_LoadResults)->Unit(benchmark::kMillisecond);

void BM_SaveResults(benchmark::State& state) {
    const std::string& path = bigFile();
    ResultsList list = loadResults(path, std::nullopt);
    int64_t bytes = fileSize(path);
    for (auto _ : state) saveResults(list, list.count(), "saved.dat", false);
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["records"] = list.count();
}
BENCHMARK(BM_SaveResults)->Unit(benchmark::kMillisecond);

}  // namespace
