#include "beamline/tracking/step_share.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "beamline/beam.hpp"
#include "beamline/species.hpp"
#include "beamline/tracking/engine.hpp"

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

}  // namespace

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

void mergeBeam(TrackingEngine& engine, Beam& beam, int ran, int threads) {
    // The slots' particles: a single step's products are all active; after
    // several steps on one set of slices some of them have stopped or
    // decayed since.
    size_t k = 0, held = 0;
    for (int i = 0; i < threads; i++) {
        for (const Particle& p : engine.slots[static_cast<size_t>(i)].products) {
            if (p.state == StateActive) k++;
        }
        held += engine.slots[static_cast<size_t>(i)].products.size();
    }
    std::vector<Particle>& all = beam.particles;
    const size_t activeEnd = beam.activeEnd;
    // Everything before the first particle that stopped stays where it is:
    // most steps stop none and make nothing, and the scan would only pull
    // the other threads' particles into this core's cache.
    size_t unchanged = activeEnd;
    for (int i = 0; i < ran; i++) {
        unchanged = std::min(unchanged, engine.slots[static_cast<size_t>(i)].firstInactive);
    }
    if (unchanged == activeEnd && held == 0) return;

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
    for (int i = 0; i < threads; i++) {
        for (Particle& p : engine.slots[static_cast<size_t>(i)].products) {
            if (p.state != StateActive && p.state != StateDecayed) stopped.push_back(std::move(p));
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
        for (Particle& p : products) {
            if (p.state == StateActive) all[at++] = std::move(p);
        }
        products.clear();
    }
    beam.activeEnd = at;
    for (Particle& p : stopped) all[at++] = std::move(p);
    stopped.clear();
}
