// Interpreting generated lattices of n named elements, one drift per line with
// a code stretch each, and a beamline that names them all: the time must grow
// linearly with n (figures for 4 000, 16 000 and 32 000 elements).
#include <benchmark/benchmark.h>

#include <string>

#include "common/report.hpp"
#include "lattice/parser.hpp"

namespace {

std::string driftLattice(int n) {
    std::string text = "{Drift(D) Length(m)}\n";
    for (int i = 1; i <= n; i++) {
        std::string k = std::to_string(i);
        text += "D" + k + " #" + k + "*0.001#\n";
    }
    text += "LINE:";
    for (int i = 1; i <= n; i++) text += "D" + std::to_string(i) + (i < n ? "," : ";\n");
    text += "LINE\n";
    return text;
}

void BM_InterpretDriftLattice(benchmark::State& state) {
    displayMode = DisplayBackground;  // no console output while timing
    std::string text = driftLattice(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        Genome genome;
        CellPtr root = interpretlattice(text, genome, "bench", false, nullptr);
        if (!root || root->childCount() != state.range(0)) state.SkipWithError("wrong beamline");
        benchmark::DoNotOptimize(root);
    }
    state.counters["elements/s"] = benchmark::Counter(
        static_cast<double>(state.range(0)), benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

BENCHMARK(BM_InterpretDriftLattice)
    ->Arg(4000)
    ->Arg(16000)
    ->Arg(32000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
