// A results database of a volunteer who never sends: a file of 100 MB or
// more (PELTO_BENCH_MB, default 100), pruned when it passes its limit, and
// checked record by record. Both must stay near the file's size in memory
// and run at the pace of reading and checksumming, not slower as the file
// grows. Run each benchmark in a process of its own to read its peak memory:
//   bench_results_big_files --benchmark_filter=Prune
//   bench_results_big_files --benchmark_filter=Check
// The peak resident size of the process is reported as "peak_MB".
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>

#include "platform/files.hpp"
#include "results/prune.hpp"
#include "results/record_check.hpp"
#include "results/text_results.hpp"
#include "results_bench_support.hpp"

namespace {

int64_t benchBytes() {
    const char* mb = std::getenv("PELTO_BENCH_MB");
    int64_t n = mb ? std::atoll(mb) : 100;
    return (n > 0 ? n : 100) << 20;
}

// Writes a results file of about `bytes`, records of four lattices, in pieces.
void writeBigFile(const std::string& path, int64_t bytes) {
    std::mt19937 rng(11);
    AtomicFileWriter writer(path);
    const char* lattices[] = {"<front_end>", "<decay_channel>", "<dogleg>", "<muon_bend_rf>"};
    int64_t written = 0;
    while (written < bytes) {
        ResultRecord r = benchRecord(rng);
        r.scoreLine.replace(r.scoreLine.find("<demo>"), 6, lattices[rng() % 4]);
        std::string text = recordText(r);
        writer.append(text);
        written += static_cast<int64_t>(text.size());
    }
    writer.commit();
}

double peakMegabytes() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

void BM_PruneBigFile(benchmark::State& state) {
    BenchFolder folder;
    int64_t bytes = benchBytes();
    for (auto _ : state) {
        state.PauseTiming();
        writeBigFile("results.dat", bytes);
        removeFile("results_removed.dat");
        state.ResumeTiming();
        PruneSettings settings;
        settings.maxBytes = 1 << 20;
        settings.keepProportion = 0.5f;
        settings.keepMode = 'B';
        settings.removedStore = "results_removed.dat";
        pruneResults("results.dat", settings);
    }
    state.counters["file_MB"] = static_cast<double>(bytes >> 20);
    state.counters["peak_MB"] = peakMegabytes();
}
BENCHMARK(BM_PruneBigFile)->Unit(benchmark::kSecond)->Iterations(1);

void BM_CheckBigFile(benchmark::State& state) {
    BenchFolder folder;
    // The demo lattices and their data files are present, so every checksum
    // is computed from them and compared.
    for (const char* part : {"lattices", "datafiles"}) {
        std::filesystem::copy(std::string(PELTO_SOURCE_DIR) + "/demo/" + part, part,
                              std::filesystem::copy_options::overwrite_existing |
                                  std::filesystem::copy_options::recursive);
    }
    int64_t bytes = benchBytes();
    writeBigFile("results.dat", bytes);
    int64_t records = 0;
    for (auto _ : state) {
        records = 0;
        checkResultsFile("results.dat", [&](int64_t, const RecordCheck&) { records++; });
    }
    state.SetItemsProcessed(state.iterations() * records);
    state.counters["file_MB"] = static_cast<double>(bytes >> 20);
    state.counters["peak_MB"] = peakMegabytes();
}
BENCHMARK(BM_CheckBigFile)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
