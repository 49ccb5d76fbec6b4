// Converting a text results file of 100 000 records to the binary form and
// loading the binary file.
#include <benchmark/benchmark.h>

#include "platform/files.hpp"
#include "results/binary_results.hpp"
#include "results/convert.hpp"
#include "results/text_results.hpp"
#include "results_bench_support.hpp"

namespace {

BenchFolder& folder() {
    static BenchFolder f;
    static bool written = [] {
        std::mt19937 rng(3);
        std::string text;
        for (int i = 0; i < 100000; i++) text += recordText(benchRecord(rng));
        return writeFileAtomic("in.txt", text);
    }();
    (void)written;
    return f;
}

void BM_TextToBinary100k(benchmark::State& state) {
    folder();
    for (auto _ : state) convertResults("in.txt", false, "out.bin", true);
    state.SetItemsProcessed(state.iterations() * 100000);
    state.counters["text_MB"] = static_cast<double>(fileSize("in.txt")) / 1048576.0;
    state.counters["binary_MB"] = static_cast<double>(fileSize("out.bin")) / 1048576.0;
}
BENCHMARK(BM_TextToBinary100k)->Unit(benchmark::kMillisecond);

void BM_LoadBinary100k(benchmark::State& state) {
    folder();
    convertResults("in.txt", false, "out.bin", true);
    for (auto _ : state) {
        ResultsList list = loadBinaryResults("out.bin", kProgramFormat);
        benchmark::DoNotOptimize(list.items.data());
    }
    state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_LoadBinary100k)->Unit(benchmark::kMillisecond);

}  // namespace
