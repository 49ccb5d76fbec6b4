// One global time step: the active particles spread over the tracking
// threads by adaptive load weights, their decay products merged into the
// beam afterwards, and the finished particles moved behind the active ones.
//
// A run gives the same particles whatever the thread count: every random
// draw is keyed by the particle, and the products join the beam in the
// order of their parents, whichever thread made them.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "beamline/simulation.hpp"
#include "beamline/tracking/engine.hpp"
#include "beamline/tracking/simd.hpp"
#include "beamline/tracking/slice.hpp"
#include "beamline/tracking/tracking.hpp"
#include "common/report.hpp"

namespace {

void logPrint(const TrackingEngine& engine, const char* text) {
    std::FILE* out = engine.config.loadBalanceFile ? engine.config.loadBalanceFile : stdout;
    std::fputs(text, out);
}

int clampedFloor(double x) {
    double f = std::floor(x);
    if (!(f > -2e9)) return -2000000000;
    if (f > 2e9) return 2000000000;
    return static_cast<int>(f);
}

void logTimes(TrackingEngine& engine, int threads) {
    double minStart = engine.slots[0].start, maxEnd = engine.slots[0].end, busy = 0;
    for (int k = 0; k < threads; k++) {
        const ThreadSlot& s = engine.slots[static_cast<size_t>(k)];
        minStart = std::min(minStart, s.start);
        maxEnd = std::max(maxEnd, s.end);
        busy += s.end - s.start;
    }
    double span = std::max(1e-20, maxEnd - minStart);
    int e = clampedFloor(std::log10(span)) - 2;
    double unit = std::pow(10.0, e);
    double util = busy / (span * threads);
    double period = maxEnd - engine.previousEnd;
    char line[256];
    std::snprintf(line, sizeof line, "\n\tgap=%de%d\tutil=%.1f%%=%.1f%%(wait)*%.1f%%(gap)\n\t\t",
                  clampedFloor((minStart - engine.previousEnd) / unit), e,
                  100 * util * span / period, 100 * util, 100 * span / period);
    logPrint(engine, line);
    for (int k = 0; k < threads; k++) {
        const ThreadSlot& s = engine.slots[static_cast<size_t>(k)];
        std::snprintf(line, sizeof line, "%d:%03d %03d %lld%s", k,
                      clampedFloor((s.start - minStart) / unit),
                      clampedFloor((s.end - minStart) / unit),
                      static_cast<long long>(s.last - s.first), k % 4 == 3 ? "\n\t\t" : "\t");
        logPrint(engine, line);
    }
    engine.previousEnd = maxEnd;
}

// Keeps every weight at least 0.01/T and makes them sum to 1.
void normaliseWeights(TrackingEngine& engine, int threads) {
    if (static_cast<int>(engine.weights.size()) != threads) engine.weights.assign(threads, 1.0);
    double floorWeight = 0.01 / threads, sum = 0;
    for (double& w : engine.weights) {
        w = std::max(w, floorWeight);
        sum += w;
    }
    for (double& w : engine.weights) w /= sum;
    if (engine.config.loadBalanceLog) {
        char text[64];
        for (double w : engine.weights) {
            std::snprintf(text, sizeof text, "\t%g", w);
            logPrint(engine, text);
        }
    }
}

void planSlices(TrackingEngine& engine, int threads, size_t active) {
    double cumulative = 0;
    size_t first = 0;
    for (int k = 0; k < threads; k++) {
        ThreadSlot& slot = engine.slots[static_cast<size_t>(k)];
        size_t last = active;
        if (k + 1 < threads) {
            cumulative += engine.weights[static_cast<size_t>(k)];
            last = std::min(active, static_cast<size_t>(std::floor(cumulative * active)));
        }
        slot.first = first;
        slot.last = std::max(first, last);
        first = slot.last;
    }
}

// The thread that finished last (the calling thread on a tie).
int slowestThread(const TrackingEngine& engine, int threads) {
    int slowest = 0;
    for (int k = 1; k < threads; k++) {
        if (engine.slots[static_cast<size_t>(k)].end >
            engine.slots[static_cast<size_t>(slowest)].end) {
            slowest = k;
        }
    }
    return slowest;
}

// Puts the products of this step after the surviving active particles,
// removes the Decayed ones and moves the others that stopped this step
// behind the active range. `ran` slices were tracked; the products of the
// first `threads` join the beam.
void mergeBeam(TrackingEngine& engine, Beam& beam, int ran, int threads) {
    size_t k = 0;
    for (int i = 0; i < threads; i++) k += engine.slots[static_cast<size_t>(i)].products.size();
    std::vector<Particle>& all = beam.particles;
    const size_t activeEnd = beam.activeEnd;
    // Everything before the first particle that stopped stays where it is:
    // most steps stop none and make nothing, and the scan would only pull
    // the other threads' particles into this core's cache.
    size_t unchanged = activeEnd;
    for (int i = 0; i < ran; i++) {
        unchanged = std::min(unchanged, engine.slots[static_cast<size_t>(i)].firstInactive);
    }
    if (unchanged == activeEnd && k == 0) return;

    // Survivors keep their order at the front; the others wait aside.
    std::vector<Particle>& stopped = engine.newlyInactive;
    stopped.clear();
    size_t w = unchanged;
    for (size_t i = unchanged; i < activeEnd; i++) {
        Particle& p = all[i];
        if (p.state == StateActive) {
            if (w != i) all[w] = std::move(p);
            w++;
        } else if (p.state != StateDecayed) {
            stopped.push_back(std::move(p));
        }
    }

    // Move the old inactive tail so that it starts right after the
    // products and the newly stopped particles.
    const size_t tailStart = activeEnd, tailLength = all.size() - activeEnd;
    const size_t wanted = w + k + stopped.size();
    if (wanted > tailStart) {
        size_t grow = wanted - tailStart;
        // Room only for what the beam gains: the decayed parents make way
        // for their products, so a beam whose products replace their parents
        // never copies its array (which would hold it twice for a moment).
        beamReserve(beam, grow);
        size_t moving = std::min(grow, tailLength);
        all.resize(all.size() + grow);
        for (size_t j = 0; j < moving; j++) {
            all[all.size() - moving + j] = std::move(all[tailStart + j]);
        }
    } else if (wanted < tailStart) {
        size_t hole = tailStart - wanted;
        size_t moving = std::min(hole, tailLength);
        for (size_t j = 0; j < moving; j++) {
            all[wanted + j] = std::move(all[all.size() - moving + j]);
        }
        all.resize(all.size() - hole);
    }

    size_t at = w;
    for (int i = 0; i < threads; i++) {
        std::vector<Particle>& products = engine.slots[static_cast<size_t>(i)].products;
        for (Particle& p : products) all[at++] = std::move(p);
        products.clear();
    }
    beam.activeEnd = at;
    for (Particle& p : stopped) all[at++] = std::move(p);
    stopped.clear();
}

}  // namespace

void advanceStep(Simulation& simulation, bool decays, int mode, bool threadsAllowed) {
    Beam& beam = simulation.beam;
    const size_t n = beam.activeEnd;
    if (n > 0) {
        TrackingEngine& engine = trackingEngineOf(simulation);
        int threads = 1;
        if (threadsAllowed) {
            size_t wanted = n / static_cast<size_t>(engine.config.particlesPerThread) + 1;
            threads = static_cast<int>(
                std::min<size_t>(static_cast<size_t>(engine.config.maxThreads), wanted));
        }
        if (simulation.decays_off) decays = false;
        if (engine.slots.size() < static_cast<size_t>(threads)) engine.slots.resize(threads);
        int interval = std::max(1, simulation.nearbyInterval);
        const bool rfOnly = mode == kTrackRfSync;
        StepContext context;
        context.configuredThreads = engine.config.maxThreads;
        context.noScattering = rfOnly || simulation.scattering_off;
        context.rfSync = rfOnly ? engine.rfSync : nullptr;
        StepPlan plan{&simulation,     &engine,
                      simulation.time, simulation.time + simulation.dt,
                      decays,          simulation.stepCount % interval == 0,
                      simdBatched(),   context};

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
        if (slices >= 2) {
            planSlices(engine, slices, n);
        } else {
            engine.slots[0].first = 0;
            engine.slots[0].last = n;
        }
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
        mergeBeam(engine, beam, slices, decays ? slices : 0);
    }
    simulation.time += simulation.dt;
    simulation.stepCount++;
}
