// The CPU throttle of the client's run loop. With "CPU throttle (%)" at p the
// loop sleeps so that tracking takes about p % of the wall-clock time. The
// loop itself (trackRun) runs a synthetic beam for about two seconds of
// tracking at 100 % and at 50 %; the counters give the tracking seconds, the
// wall-clock seconds and their ratio (expected: about 1 and about 0.5).
#include <benchmark/benchmark.h>

#include <string>

#include "app/cycle_state.hpp"
#include "app/settings.hpp"
#include "beamline/build/nearby.hpp"
#include "beamline/tracking/tracking.hpp"
#include "common/report.hpp"
#include "model/cell_geometry.hpp"
#include "model/cell_submap.hpp"
#include "platform/clock.hpp"

namespace {

constexpr int kParticles = 2000;
constexpr double kTrackingSeconds = 2.0;

// Muons flying down a 1 km empty line: every one stays active for the run.
Simulation muonLine() {
    speciesInit();
    Simulation s;
    s.root = cellCreate(Composite, "line");
    CellPtr e = cellCreate(Machine, "empty");
    cellSetNumber(*e, "length", 1000);
    cellBoxSet(*e, -1, -1, -0.1, 1, 1, 1000.1);
    insertChild(*s.root, e, -1);
    cellBoxSet(*s.root, -1, -1, -0.1, 1, 1, 1000.1);
    subMapBuild(*s.root, 50);
    s.effectiveSeed = 5;
    for (int i = 0; i < kParticles; i++) {
        Particle& p = addParticle(s, MuPlus, i);
        p.u = {1e6 * (i % 7 - 3), 1e6 * (i % 5 - 2), 2e8};
        p.weight = 1.0 / kParticles;
        Particle_nearbythings(p);
    }
    return s;
}

void throttledRun(benchmark::State& state) {
    MessageSink sink;
    sink.write = [](std::string_view) {};
    sink.writeInPlace = [](std::string_view) {};
    setMessageSink(sink);
    displayMode = DisplayBackground;
    settings.sleepOnBattery = false;
    // Steps that take about kTrackingSeconds on this machine.
    Simulation probe = muonLine();
    double start = monotonicSeconds();
    for (int i = 0; i < 50; i++) advanceStep(probe, true, kTrackNormal, true);
    double perStep = (monotonicSeconds() - start) / 50;
    double steps = kTrackingSeconds / perStep;

    double tracking = 0, wall = 0;
    for (auto _ : state) {
        CycleState s;
        s.simState = muonLine();
        s.simState.t_max = s.simState.time + steps * s.simState.dt;
        s.genome = Genome{};
        s.autoSave.off = true;
        settings.cpuThrottle = static_cast<int>(state.range(0));
        double begin = monotonicSeconds();
        trackRun(s);
        wall += monotonicSeconds() - begin;
        tracking += s.trackingSeconds;
    }
    state.counters["tracking_s"] = tracking;
    state.counters["wall_s"] = wall;
    state.counters["tracking_share"] = tracking / wall;
}

}  // namespace

BENCHMARK(throttledRun)->Arg(100)->Arg(50)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
