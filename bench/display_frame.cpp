// Drawing cost of one graphics frame: the demo beamline and a beam of N
// particles, drawn into the window's canvas (SDL's dummy video driver, so
// the figure is the drawing itself, not a display server).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "display/display.hpp"
#include "lattice/parser.hpp"
#include "model/cell_geometry.hpp"
#include "platform/process.hpp"

namespace {

CellPtr demoBeamline() {
    std::string saved = currentFolder();
    setCurrentFolder(PELTO_SOURCE_DIR "/demo");
    setMissingLevelRule([](std::string_view, const Genome&) { return 700; });
    Genome genome;
    CellPtr root = loadlattice("dogleg", genome, false, nullptr);
    resetMissingLevelRule();
    setCurrentFolder(saved);
    double arc = 0;
    if (root) cellPlaceTree(*root, Frame3{}, arc);
    return root;
}

void drawFrame(benchmark::State& state) {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    std::string why;
    if (!displayOpen({"bench", 1280, 960, false}, why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    CellPtr root = demoBeamline();
    std::vector<DisplayParticle> beam(static_cast<size_t>(state.range(0)));
    for (size_t i = 0; i < beam.size(); i++) {
        double a = 0.618034 * static_cast<double>(i);
        beam[i].position = {0.1 * std::sin(a), 0.1 * std::cos(3 * a), 2.0 + std::fmod(a, 1.0)};
        beam[i].u = {0, 0, 2e8};
        beam[i].kineticMeV = 50 + std::fmod(a * 37, 250);
        beam[i].species = static_cast<int32_t>(i % 2);
        beam[i].charge = 1;
    }
    DisplayFrame frame;
    frame.root = root.get();
    frame.particles = beam;
    frame.activeCount = frame.slotCount = static_cast<int32_t>(beam.size());
    viewSettings().phaseSpacePlots = state.range(1) != 0;
    displayPrepare(root.get(), false);
    RunControl run;
    for (auto _ : state) displayDrawFrame(frame, run);
    state.SetItemsProcessed(state.iterations() * state.range(0));
    displayClose();
    viewSettings() = ViewSettings{};
}

}  // namespace

// Particles, and whether the phase-space plots are on.
BENCHMARK(drawFrame)
    ->Args({1000, 0})
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Unit(benchmark::kMillisecond);
