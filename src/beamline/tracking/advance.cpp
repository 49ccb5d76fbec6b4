// Global time steps: the active particles spread over the tracking threads
// by adaptive load weights, their decay products merged into the beam
// afterwards, and the finished particles moved behind the active ones.
//
// A run gives the same particles whatever the thread count: every random
// draw is keyed by the particle, and the products join the beam in the
// order of their parents, whichever thread made them. So a thread may also
// take its slice through several steps on its own: no particle's path
// depends on another's, and the dump and the score are read in the beam's
// canonical order, not in the order the array holds.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "beamline/simulation.hpp"
#include "beamline/tracking/engine.hpp"
#include "beamline/tracking/simd.hpp"
#include "beamline/tracking/slice.hpp"
#include "beamline/tracking/step_share.hpp"
#include "beamline/tracking/tracking.hpp"
#include "common/report.hpp"

namespace {

// Steps whose slices the threads track on their own before they meet. Most
// steps of a run last a few microseconds, and the threads' meeting at the
// end of each, where the host may have slowed either of them, cost a tenth
// of a 2-thread run; a few dozen microseconds of work apart, the threads
// still take up a change in the load or in the beam within a millisecond.
constexpr int kStepsTogether = 16;

int threadsFor(const TrackingEngine& engine, size_t active) {
    size_t wanted = active / static_cast<size_t>(engine.config.particlesPerThread) + 1;
    return static_cast<int>(
        std::min<size_t>(static_cast<size_t>(engine.config.maxThreads), wanted));
}

// The plan of the step that starts at the simulation's time: its decays
// (none when the run turned them off), its nearby-list refresh and what
// its particles' sub-steps are told.
StepPlan planStep(Simulation& simulation, TrackingEngine& engine, bool decays, int mode) {
    const bool rfOnly = mode == kTrackRfSync;
    StepContext context;
    context.configuredThreads = engine.config.maxThreads;
    context.noScattering = rfOnly || simulation.scattering_off;
    context.rfSync = rfOnly ? engine.rfSync : nullptr;
    const int interval = std::max(1, simulation.nearbyInterval);
    return StepPlan{&simulation,
                    &engine,
                    simulation.time,
                    simulation.time + simulation.dt,
                    decays && !simulation.decays_off,
                    simulation.stepCount % interval == 0,
                    simdBatched(),
                    context};
}

// How many of at most `most` steps lie before the run's end time, counted
// the way the steps add up the time.
int stepsBeforeEnd(const Simulation& simulation, int most) {
    double t = simulation.time;
    int n = 0;
    while (n < most && simulation.t_max > t) {
        t += simulation.dt;
        n++;
    }
    return n;
}

// `steps` steps (2 or more, all before the end time) of `threads` slices,
// each tracked through all of them by one thread; returns the steps the
// run took, fewer when no particle was left active before the last. One
// slice gains too: the beam is merged once, not after every step.
int advanceTogether(Simulation& simulation, TrackingEngine& engine, int threads, int steps) {
    Beam& beam = simulation.beam;
    if (engine.slots.size() < static_cast<size_t>(threads)) engine.slots.resize(threads);
    if (threads >= 2) normaliseWeights(engine, threads);
    planSlices(engine, threads, beam.activeEnd);
    prepareLine(engine.prepared, simulation.root.get());
    const StepPlan plan = planStep(simulation, engine, true, kTrackNormal);
    engine.pool.run(threads, [&plan, steps](int k) { trackSliceSteps(plan, k, steps); });

    int taken = steps;
    for (int j = 0; j < steps && taken == steps; j++) {
        size_t left = 0;
        for (int k = 0; k < threads; k++) {
            left += engine.slots[static_cast<size_t>(k)].activeAfter[static_cast<size_t>(j)];
        }
        if (left == 0) taken = j + 1;
    }
    long long counted = 0;
    for (int k = 0; k < threads; k++) counted += engine.slots[static_cast<size_t>(k)].counter;
    simulation.work += 1e-6 * static_cast<double>(counted);
    for (int j = 0; j < taken; j++) {
        bool missing = false;
        for (int k = 0; k < threads; k++) {
            missing =
                missing || engine.slots[static_cast<size_t>(k)].missingAt[static_cast<size_t>(j)];
        }
        if (missing) report("[WARNING] bl is NULL in Particle_seg_nearbythings");
    }
    if (threads >= 2 && !engine.pool.lastRunFolded()) {
        engine.weights[static_cast<size_t>(slowestThread(engine, threads))] *= 0.99;
    }
    if (engine.config.loadBalanceLog) logTimes(engine, threads);
    mergeBeam(engine, beam, threads, threads);
    for (int j = 0; j < taken; j++) {
        simulation.time += simulation.dt;
        simulation.stepCount++;
    }
    return taken;
}

}  // namespace

void advanceStep(Simulation& simulation, bool decays, int mode, bool threadsAllowed) {
    Beam& beam = simulation.beam;
    const size_t n = beam.activeEnd;
    if (n > 0) {
        TrackingEngine& engine = trackingEngineOf(simulation);
        const int threads = threadsAllowed ? threadsFor(engine, n) : 1;
        if (engine.slots.size() < static_cast<size_t>(threads)) engine.slots.resize(threads);
        const StepPlan plan = planStep(simulation, engine, decays, mode);

        // With no core to spare, the slices would run one after another on
        // this thread anyway: one slice over the whole range does the same
        // work in the same order, without cutting the batches at the
        // slices' borders.
        bool folded = false;
        if (threads >= 2) {
            normaliseWeights(engine, threads);
            folded = engine.pool.participantsFor(threads) <= 1;
        }
        const int slices = folded ? 1 : threads;
        planSlices(engine, slices, n);
        prepareLine(engine.prepared, simulation.root.get());
        if (folded) {
            trackSlice(plan, 0);
        } else {
            engine.pool.run(threads, [&plan](int k) { trackSlice(plan, k); });
        }

        long long counted = 0;
        bool missingLine = false;
        for (int k = 0; k < slices; k++) {
            ThreadSlot& slot = engine.slots[static_cast<size_t>(k)];
            counted += slot.counter;
            missingLine = missingLine || slot.missingLine;
            slot.missingLine = false;
        }
        simulation.work += 1e-6 * static_cast<double>(counted);
        // A folded step ran several slices on one thread, so which slice
        // ended last says nothing about the slices' shares.
        if (threads >= 2 && !folded && !engine.pool.lastRunFolded()) {
            engine.weights[static_cast<size_t>(slowestThread(engine, threads))] *= 0.99;
        }
        if (engine.config.loadBalanceLog && threadsAllowed) logTimes(engine, slices);
        if (missingLine) report("[WARNING] bl is NULL in Particle_seg_nearbythings");
        mergeBeam(engine, beam, slices, plan.decays ? slices : 0);
    }
    simulation.time += simulation.dt;
    simulation.stepCount++;
}

int advanceSteps(Simulation& simulation, int steps) {
    int done = 0;
    while (done < steps && simulation.beam.activeEnd > 0 && simulation.t_max > simulation.time) {
        TrackingEngine& engine = trackingEngineOf(simulation);
        const int together = stepsBeforeEnd(simulation, std::min(kStepsTogether, steps - done));
        if (together < 2) {
            advanceStep(simulation, true, kTrackNormal, true);
            done++;
            continue;
        }
        // With no core to spare for a second thread, one slice on this
        // thread, as a folded single step runs; the load weights stay as
        // they are.
        int threads = threadsFor(engine, simulation.beam.activeEnd);
        if (threads >= 2 && engine.pool.participantsFor(threads) <= 1) threads = 1;
        done += advanceTogether(simulation, engine, threads, together);
    }
    return done;
}
