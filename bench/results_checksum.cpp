// Checking the checksums of 100 000 records with the digest caches on, as the
// results upload does before sending.
#include <benchmark/benchmark.h>

#include "platform/files.hpp"
#include "results/checksum.hpp"
#include "results_bench_support.hpp"
#include "store/filecache.hpp"

namespace {

void BM_Checksum100k(benchmark::State& state) {
    BenchFolder folder;
    // A lattice file of realistic size and two data files; the lattice names
    // them through the data-file hook.
    std::string lattice;
    while (lattice.size() < 20000) lattice += "solenoid len=0.3m field=param(\"b\",0,5)T;\r\n";
    writeFileAtomic("lattices/demo.txt", lattice);
    writeFileAtomic("datafiles/map1.dat", std::string(2000000, '7'));
    writeFileAtomic("datafiles/map2.dat", std::string(500000, '3'));
    setLatticeDataFilesProvider([](const std::string&) {
        return std::optional<std::vector<std::string>>(std::vector<std::string>{"map1", "map2"});
    });
    std::mt19937 rng(7);
    std::vector<ResultRecord> records;
    for (int i = 0; i < 100000; i++) records.push_back(benchRecord(rng));
    for (auto _ : state) {
        digestCaching = true;
        size_t matches = 0;
        for (const ResultRecord& r : records) {
            Digest d = recordChecksum(r.genomeLine, r.scoreLine);
            matches += d.size();
        }
        digestCaching = false;
        benchmark::DoNotOptimize(matches);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(records.size()));
    resetLatticeDataFilesProvider();
}
BENCHMARK(BM_Checksum100k)->Unit(benchmark::kMillisecond);

}  // namespace
