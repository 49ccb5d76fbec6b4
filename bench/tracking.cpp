// Tracking speed in millions of particle-steps per second ("Mpts/s"), on 1
// and 2 threads:
// - DecayChannel: the demo decay channel (rod-source pions through the
//   solenoid channel, decays on), built from demo/ as the client builds it
//   and tracked for its first 1000 steps (10 ns). In a build without the rod
//   source, 4000 pions of a similar spread start at the target instead (the
//   label says which);
// - UniformField: 4000 pions in a uniform 2 T field along a line of four
//   elements, decays on: the engine's own cost around a cheap field.
// - ThreeSolenoids: 4096 muons through three solenoids whose boxes cover the
//   whole line (every particle sees all three), decays off: the engine on the
//   field of the reference push;
// - ReferenceScalar, ReferenceVector: the reference push (reference_push.hpp)
//   through the same three coils with the same particles, one lane at a time
//   and with the widest vectors the CPU has. ThreeSolenoids over
//   ReferenceVector is the engine's distance from the hardware.
// Mpts/s counts the particles actually stepped (the client's work counter
// adds an eighth on top).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "beamline/build/nearby.hpp"
#include "beamline/build/setup.hpp"
#include "beamline/cell_types.hpp"
#include "beamline/tracking/simd.hpp"
#include "beamline/tracking/tracking.hpp"
#include "common/report.hpp"
#include "model/cell_geometry.hpp"
#include "model/cell_submap.hpp"
#include "model/genome.hpp"
#include "model/randhash.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "reference_push.hpp"

namespace {

constexpr int kSteps = 1000;

void quiet() {
    MessageSink sink;
    sink.write = [](std::string_view) {};
    sink.writeInPlace = [](std::string_view) {};
    setMessageSink(sink);
}

bool syntheticBeam = false;

// Pions leaving a target at the origin: 100 to 400 MeV/c, up to 0.3 rad
// from the axis, spread over the first 0.3 ns.
void addTargetPions(Simulation& s) {
    syntheticBeam = true;
    const int count = 4000;
    for (int i = 0; i < count; i++) {
        Particle& p = addParticle(s, PiPlus, i);
        double pMeV = 100 + 300 * randuniform(7, 4 * i);
        double angle = 0.3 * std::sqrt(randuniform(7, 4 * i + 1));
        double phi = 6.283185307179586 * randuniform(7, 4 * i + 2);
        double u = pMeV * 5.344285418948064e-22 / mass(PiPlus);
        p.u = {u * std::sin(angle) * std::cos(phi), u * std::sin(angle) * std::sin(phi),
               u * std::cos(angle)};
        p.t = 3e-10 * randuniform(7, 4 * i + 3);
        p.weight = 1.0 / count;
        Particle_nearbythings(p);
    }
    double start = 1e20;
    for (const Particle& p : s.beam.particles) start = std::min(start, p.t);
    s.time = s.startTime = start;
}

Simulation demoChannel() {
    std::string previous = currentFolder();
    setCurrentFolder(std::string(PELTO_SOURCE_DIR) + "/demo");
    SetupRequest request;
    request.latticeName = "decay_channel";
    request.seed = 17;
    request.verbose = false;
    // Mid-range values for the parameters the optimiser would choose.
    setMissingLevelRule([](std::string_view, const Genome&) { return 500; });
    Genome genome;
    Simulation simulation = setupSimulation(request, genome);
    resetMissingLevelRule();
    setCurrentFolder(previous);
    if (simulation.root && beamCount(simulation.beam) == 0) addTargetPions(simulation);
    return simulation;
}

struct UniformFieldData {
    double b;
};
void uniformField(const unsigned char* runData, double, double, double, double, double f[6]) {
    f[5] += runDataAs<UniformFieldData>(runData).b;
}

Simulation uniformFieldBeam() {
    speciesInit();
    Simulation s;
    s.root = cellCreate(Composite, "line");
    for (int i = 0; i < 4; i++) {
        CellPtr e = cellCreate(Machine, "field");
        cellSetNumber(*e, "length", 1);
        e->entryFrame.origin = {0, 0, double(i)};
        e->arcStart = i;
        runDataInit<UniformFieldData>(*e).b = 2;
        e->fieldFn = uniformField;
        cellBoxSet(*e, -1, -1, i - 0.1, 1, 1, i + 1.1);
        insertChild(*s.root, e, -1);
    }
    cellBoxSet(*s.root, -1, -1, -0.1, 1, 1, 4.1);
    subMapBuild(*s.root, 50);
    s.effectiveSeed = 17;
    for (int i = 0; i < 4000; i++) {
        Particle& p = addParticle(s, PiPlus, i);
        double pz = 1e8 + 1e5 * (i % 1000), px = 3e6 * (i % 13 - 6), py = 3e6 * (i % 7 - 3);
        p.u = {px, py, pz};
        p.position = {0.001 * (i % 11 - 5), 0.001 * (i % 9 - 4), 0};
        Particle_nearbythings(p);
    }
    for (Particle& p : s.beam.particles) p.weight = 1.0 / 4000;
    return s;
}

// The three coils of ThreeSolenoids and the reference push: 0.3 m radius,
// 0.4 m long, 0.2 m apart, 2, -2 and 2 T.
constexpr double kCoilRadius = 0.3, kCoilLength = 0.4, kCoilPitch = 0.6;
constexpr double kCoilField[3] = {2, -2, 2};
constexpr int kCoilParticles = 4096;
constexpr int kCoilSteps = 200;
constexpr double kCoilDt = 1e-11;

// Muon i of the coil beam: 150 to 250 MeV/c at up to 0.1 rad, within 5 cm of
// the axis, spread over the first coil.
void coilParticle(int i, Vec3& position, Vec3& u) {
    double pMeV = 150 + 100 * randuniform(9, 6 * i);
    double angle = 0.1 * std::sqrt(randuniform(9, 6 * i + 1));
    double phi = 6.283185307179586 * randuniform(9, 6 * i + 2);
    double speed = pMeV * 5.344285418948064e-22 / mass(MuPlus);
    u = {speed * std::sin(angle) * std::cos(phi), speed * std::sin(angle) * std::sin(phi),
         speed * std::cos(angle)};
    position = {0.1 * (randuniform(9, 6 * i + 3) - 0.5), 0.1 * (randuniform(9, 6 * i + 4) - 0.5),
                kCoilLength * randuniform(9, 6 * i + 5)};
}

Simulation threeSolenoids() {
    speciesInit();
    Simulation s;
    s.dt = kCoilDt;
    s.root = cellCreate(Composite, "line");
    const double end = 2 * kCoilPitch + kCoilLength;
    for (int i = 0; i < 3; i++) {
        CellPtr coil = cellCreate(Machine, "coil");
        coil->typeName = "Solenoid";
        cellSetNumber(*coil, "radius", kCoilRadius);
        cellSetNumber(*coil, "length", kCoilLength);
        cellSetNumber(*coil, "field", kCoilField[i]);
        coil->entryFrame.origin = {0, 0, i * kCoilPitch};
        coil->arcStart = i * kCoilPitch;
        coil->placedFrame = applyTransforms(*coil, coil->entryFrame);
        bindCellTypeFunctions(*coil);
        solenoidFunctions.initFn(*coil, s);
        cellBoxSet(*coil, -1, -1, -1, 1, 1, end + 1);
        insertChild(*s.root, coil, -1);
    }
    cellBoxSet(*s.root, -1, -1, -1, 1, 1, end + 1);
    subMapBuild(*s.root, 50);
    s.effectiveSeed = 17;
    for (int i = 0; i < kCoilParticles; i++) {
        Particle& p = addParticle(s, MuPlus, i);
        coilParticle(i, p.position, p.u);
        p.weight = 1.0 / kCoilParticles;
        Particle_nearbythings(p);
    }
    return s;
}

void BM_ThreeSolenoids(benchmark::State& state) {
    quiet();
    double stepped = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Simulation s = threeSolenoids();
        state.ResumeTiming();
        for (int i = 0; i < kCoilSteps; i++) {
            stepped += static_cast<double>(beamActiveCount(s.beam));
            advanceStep(s, false, kTrackNormal, false);
        }
        state.PauseTiming();
        s = Simulation{};
        state.ResumeTiming();
    }
    state.counters["Mpts/s"] = benchmark::Counter(stepped * 1e-6, benchmark::Counter::kIsRate);
    state.SetLabel(simdBatched() ? "batched" : "scalar");
}

void referenceRun(benchmark::State& state,
                  void (*push)(ReferenceBeam&, const ReferenceCoil*, double, int)) {
    speciesInit();
    ReferenceCoil coils[3];
    for (int i = 0; i < 3; i++) {
        coils[i] = {0,
                    0,
                    i * kCoilPitch,
                    0,
                    0,
                    1,
                    1 / kCoilRadius,
                    kCoilLength,
                    1.44 * kCoilRadius * kCoilRadius,
                    kCoilField[i]};
    }
    struct alignas(64) Lane {
        double v[8];
    };
    std::vector<Lane> storage(6 * kCoilParticles / 8);
    double* base = storage[0].v;
    ReferenceBeam beam;
    beam.count = kCoilParticles;
    beam.qm = charge(MuPlus) / mass(MuPlus);
    double* arrays[6];
    for (int j = 0; j < 6; j++) arrays[j] = base + j * kCoilParticles;
    beam.x = arrays[0], beam.y = arrays[1], beam.z = arrays[2];
    beam.ux = arrays[3], beam.uy = arrays[4], beam.uz = arrays[5];
    double stepped = 0;
    for (auto _ : state) {
        for (int i = 0; i < kCoilParticles; i++) {
            Vec3 position, u;
            coilParticle(i, position, u);
            beam.x[i] = position.x, beam.y[i] = position.y, beam.z[i] = position.z;
            beam.ux[i] = u.x, beam.uy[i] = u.y, beam.uz[i] = u.z;
        }
        push(beam, coils, kCoilDt, kCoilSteps);
        stepped += double(kCoilParticles) * kCoilSteps;
    }
    benchmark::DoNotOptimize(beam.x[0]);
    state.counters["Mpts/s"] = benchmark::Counter(stepped * 1e-6, benchmark::Counter::kIsRate);
}
void BM_ReferenceScalar(benchmark::State& state) {
    referenceRun(state, referencePushScalar);
}
void BM_ReferenceVector(benchmark::State& state) {
    referenceRun(state, referencePushVector);
}

void track(benchmark::State& state, Simulation (*build)()) {
    quiet();
    TrackingConfig config;
    config.maxThreads = static_cast<int32_t>(state.range(0));
    double stepped = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Simulation s = build();
        trackingConfigure(s, config);
        if (beamActiveCount(s.beam) == 0) {
            state.SkipWithError("no beam");
            break;
        }
        state.ResumeTiming();
        for (int i = 0; i < kSteps; i++) {
            stepped += static_cast<double>(beamActiveCount(s.beam));
            advanceStep(s, true, kTrackNormal, true);
        }
        state.PauseTiming();
        s = Simulation{};
        state.ResumeTiming();
    }
    state.counters["Mpts/s"] = benchmark::Counter(stepped * 1e-6, benchmark::Counter::kIsRate);
}

void BM_DecayChannel(benchmark::State& state) {
    if (!solenoidFunctions.fieldFn) {
        state.SkipWithError("this build has no solenoid");
        return;
    }
    track(state, demoChannel);
    state.SetLabel(syntheticBeam ? "target pions" : "rod source");
}
void BM_UniformField(benchmark::State& state) {
    track(state, uniformFieldBeam);
}

// The common case of an interceptFn: no crossing during the step. The cost
// is the two distances and the copy of the particle handed back.
double planeDistance(const Particle& p, double, const void*) {
    return p.position.z - 1;
}
void BM_FindCrossingNone(benchmark::State& state) {
    Simulation s = uniformFieldBeam();
    const Particle& before = s.beam.particles[0];
    Particle after = before;
    pushParticle(after, 0, 1e-11);
    for (auto _ : state) {
        Crossing c =
            findCrossing(before, 0, after, 1e-11, planeDistance, nullptr, nullptr, StepContext{});
        benchmark::DoNotOptimize(c.found);
    }
}
BENCHMARK(BM_FindCrossingNone);

BENCHMARK(BM_ThreeSolenoids)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceScalar)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceVector)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecayChannel)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UniformField)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
