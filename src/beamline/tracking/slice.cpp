// One thread's share of a time step. Particles go in chunks: those whose
// first sub-step lies outside matter are found first, pushed in
// batches of one nearby list at a time, and then every particle of the chunk
// is finished in beam order (interceptions, further sub-steps, list refresh,
// decays) exactly as if it had been stepped alone. A batch lane gives the
// bits of the one-particle push, so batching changes the speed only.
#include "beamline/tracking/slice.hpp"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "beamline/build/nearby.hpp"
#include "beamline/cell_types.hpp"
#include "beamline/simulation.hpp"
#include "beamline/tracking/decay.hpp"
#include "beamline/tracking/engine.hpp"
#include "beamline/tracking/push_batch.hpp"
#include "beamline/tracking/step_parts.hpp"
#include "model/cell.hpp"
#include "platform/clock.hpp"

namespace {

// Sub-steps one particle may take in one time step. Components that keep
// intercepting without letting time pass would otherwise hold the step for
// ever; a particle that needs this many is stopped where it is.
constexpr int kMaxSubSteps = 100000;
// Particles looked at together: enough to fill batches from the few lists
// around a bunch, few enough that the chunk stays in cache.
constexpr size_t kChunk = 512;

void stopStuckParticle(Particle& p) {
    p.state = StateStopped;
    Cell* line = particleLine(p);
    if (line && p.elementIndex >= 0 && p.elementIndex < line->childCount()) {
        lostparticlein(p, *line->children[static_cast<size_t>(p.elementIndex)]);
    }
}

struct SliceRun {
    const StepPlan& plan;
    ThreadSlot& slot;
    StepContext context;
    const PreparedLine* line;
    // The slice's first particle to stop or decay is noted here; none for
    // particles outside the beam's active range.
    size_t* firstInactive;
    // One of several steps tracked on the same slices, where the particles
    // that stopped in an earlier one stay where they are until the merge:
    // they are passed over, not counted.
    bool together = false;
    size_t ended = 0;  // particles that stopped or decayed this step
    PlaceMemo places{};
};

void noteEnded(SliceRun& run, size_t i) {
    run.ended++;
    if (run.firstInactive) *run.firstInactive = std::min(*run.firstInactive, i);
}

// The particle's remaining sub-steps from t, then its list refresh and decays.
void finishParticle(SliceRun& run, Particle& p, double t, int subSteps) {
    const StepPlan& plan = run.plan;
    while (p.state == StateActive && t < plan.tEnd) {
        t = stepParticle(p, t, plan.tEnd, run.line, run.context);
        if (++subSteps == kMaxSubSteps && p.state == StateActive && t < plan.tEnd) {
            stopStuckParticle(p);
        }
    }
    if (p.state == StateActive) {
        if (plan.refresh) {
            const PlaceMemo& at = run.places.of(p);
            if (!nearbyRefreshFrom(p, at.line, at.list, run.slot.scratch)) {
                run.slot.missingLine = true;
            }
        }
        if (plan.decays) decayStep(p, run.slot.products, *plan.simulation);
    }
}

// Whether a list lets its particles be pushed in a batch: no matter (which
// needs its own sub-steps and draws). Without a field the push is the
// straight line pushParticle draws.
bool batchableList(const std::vector<Cell*>& cells) {
    for (const Cell* cell : cells) {
        if (cell->scatterData && cell->materialFn) return false;
    }
    return true;
}

// Marks the lanes of a pushed batch whose step some component of the list
// may intercept; the others take the push as it is, which is what the
// interception search would hand back for them. False when some
// intercepting component cannot tell for a batch at once, or while the RF
// cavities are being synchronised (only they intercept then); the marks
// then mean nothing.
bool markInterceptedLanes(const PushLanes& batch, const std::vector<Cell*>& cells,
                          const StepContext& context, double t0, double t1,
                          uint8_t (&may)[kPushLanes]) {
    if (context.rfSync) return false;
    // The batch functions take whole vectors: the push filled its lanes up
    // to the next whole vector (copies of the first).
    const size_t padded = (batch.count + kFieldLaneAlign - 1) / kFieldLaneAlign * kFieldLaneAlign;
    StepLanes steps;
    steps.count = padded;
    steps.x0 = batch.x0;
    steps.y0 = batch.y0;
    steps.z0 = batch.z0;
    steps.x1 = batch.x;
    steps.y1 = batch.y;
    steps.z1 = batch.z;
    for (size_t n = 0; n < padded; n++) may[n] = 0;
    for (const Cell* cell : cells) {
        if (!cell->interceptFn) continue;
        const InterceptsBatchFn marks = interceptsBatchFnOf(*cell);
        if (!marks) return false;
        marks(cell->runData, steps, t0, t1, may);
    }
    return true;
}

// Finds the chunk's particles whose whole first sub-step may be a batched
// push and does their element search (which may stop one at the bore).
void gatherLanes(SliceRun& run, std::vector<Particle>& particles, size_t first, size_t last) {
    std::vector<BatchLane>& lanes = run.slot.lanes;
    lanes.clear();
    const StepPlan& plan = run.plan;
    if (!(plan.time < plan.tEnd)) return;
    const std::vector<Cell*>* checked = nullptr;
    bool allowed = false;
    for (size_t i = first; i < last; i++) {
        Particle& p = particles[i];
        if (!(p.t <= plan.time) || p.state != StateActive) continue;
        const PlaceMemo& at = run.places.of(p);
        const std::vector<Cell*>* list = at.list;
        const double qm = chargeOverMassOf(p.species);
        if (!list || qm == 0) continue;
        if (list != checked) {
            checked = list;
            allowed = batchableList(*checked);
        }
        if (!allowed) continue;
        StepPlace place;
        const bool stopped = !stepLocateMemo(p, run.line, place, at);
        lanes.push_back(BatchLane{i, checked, place, qm, 0, stopped, false});
    }
}

// Pushes the gathered lanes, one list at a time, through the whole step.
void pushLanes(SliceRun& run, std::vector<Particle>& particles) {
    ThreadSlot& slot = run.slot;
    if (!slot.push) slot.push = std::make_unique<PushLanes>();
    PushLanes& batch = *slot.push;
    // Grouped by list, beam order within a list: a chunk meets only the few
    // lists around its particles, so each lane's group is found by a short
    // search and the lanes are counted into place.
    std::vector<const std::vector<Cell*>*>& lists = slot.lists;
    std::vector<size_t>& order = slot.order;
    lists.clear();
    order.clear();
    std::vector<size_t>& starts = slot.groupStarts;
    starts.clear();
    for (BatchLane& lane : slot.lanes) {
        if (lane.stopped) continue;
        size_t g = 0;
        while (g < lists.size() && lists[g] != lane.list) g++;
        if (g == lists.size()) {
            lists.push_back(lane.list);
            starts.push_back(0);
        }
        lane.group = g;
        starts[g]++;
    }
    size_t at = 0;
    for (size_t& start : starts) {
        size_t n = start;
        start = at;
        at += n;
    }
    order.resize(at);
    for (size_t j = 0; j < slot.lanes.size(); j++) {
        const BatchLane& lane = slot.lanes[j];
        if (!lane.stopped) order[starts[lane.group]++] = j;
    }
    const double h = run.plan.tEnd - run.plan.time;
    if (slot.ends.size() < slot.lanes.size()) slot.ends.resize(slot.lanes.size());
    for (size_t from = 0; from < order.size();) {
        const std::vector<Cell*>* list = slot.lanes[order[from]].list;
        size_t to = from;
        while (to < order.size() && to - from < kPushLanes && slot.lanes[order[to]].list == list) {
            to++;
        }
        batch.count = to - from;
        for (size_t n = 0; n < batch.count; n++) {
            const BatchLane& lane = slot.lanes[order[from + n]];
            const Particle& p = particles[lane.index];
            batch.x[n] = p.position.x;
            batch.y[n] = p.position.y;
            batch.z[n] = p.position.z;
            batch.ux[n] = p.u.x;
            batch.uy[n] = p.u.y;
            batch.uz[n] = p.u.z;
            batch.qm[n] = lane.qm;
        }
        if (anyField(list)) {
            pushBatch(batch, *list, run.plan.time, h);
        } else {
            driftBatch(batch, h);
        }
        uint8_t may[kPushLanes];
        const bool test =
            markInterceptedLanes(batch, *list, run.context, run.plan.time, run.plan.tEnd, may);
        for (size_t n = 0; n < batch.count; n++) {
            const size_t j = order[from + n];
            BatchLane& lane = slot.lanes[j];
            lane.quiet = test && !may[n];
            if (lane.quiet) {
                // What the interception search hands back when nothing
                // intercepts: the push as it is, in the element found.
                Particle& p = particles[lane.index];
                p.position = {batch.x[n], batch.y[n], batch.z[n]};
                p.u = {batch.ux[n], batch.uy[n], batch.uz[n]};
                p.properTime += batch.properTime[n];
                p.elementIndex = lane.place.index;
            } else {
                slot.ends[j] = LaneEnd{{batch.x[n], batch.y[n], batch.z[n]},
                                       {batch.ux[n], batch.uy[n], batch.uz[n]},
                                       batch.properTime[n]};
            }
        }
        from = to;
    }
}

// One copy for the single step and for steps taken together: with a copy
// each, the compiler stopped inlining the lane search, the push and the
// particle's finish into them, which cost a single thread 3 %.
[[gnu::noinline]] void trackChunk(SliceRun& run, std::vector<Particle>& particles, size_t first,
                                  size_t last, long long& handled) {
    const StepPlan& plan = run.plan;
    if (plan.batched) {
        gatherLanes(run, particles, first, last);
        pushLanes(run, particles);
    } else {
        run.slot.lanes.clear();
    }
    size_t next = 0;
    const std::vector<BatchLane>& lanes = run.slot.lanes;
    // A quiet lane's particle holds its whole step already; without a list
    // refresh or decays in the step nothing is left to do with it.
    const bool finishQuiet = plan.refresh || plan.decays;
    for (size_t i = first; i < last; i++) {
        if (!finishQuiet && next < lanes.size() && lanes[next].index == i && lanes[next].quiet) {
            next++;
            handled++;
            continue;
        }
        Particle& p = particles[i];
        // A lane's particle was active when the lanes were gathered (the
        // bore may have stopped it since); any other inactive particle
        // ended in an earlier step.
        const bool laned = next < lanes.size() && lanes[next].index == i;
        if (run.together && p.state != StateActive && !laned) continue;
        if (!(p.t <= plan.tEnd)) {
            if (p.state != StateActive) noteEnded(run, i);
            continue;
        }
        double t = std::max(p.t, plan.time);
        int subSteps = 0;
        if (laned) {
            const size_t j = next++;
            const BatchLane& lane = lanes[j];
            if (lane.quiet) {
                t = plan.tEnd;
            } else if (!lane.stopped) {
                const LaneEnd& end = run.slot.ends[j];
                Particle after = p;
                after.position = end.position;
                after.u = end.u;
                after.properTime += end.properTime;
                t = stepIntercept(p, after, t, plan.tEnd, lane.place, nullptr, nullptr,
                                  run.context);
            }
            subSteps = 1;
        }
        finishParticle(run, p, t, subSteps);
        if (p.state != StateActive) noteEnded(run, i);
        handled++;
    }
}

}  // namespace

void trackSlice(const StepPlan& plan, int k) {
    ThreadSlot& slot = plan.engine->slots[static_cast<size_t>(k)];
    SliceRun run{plan, slot, plan.context, &plan.engine->prepared, &slot.firstInactive};
    run.context.threadIndex = k;
    slot.start = monotonicSeconds();
    slot.firstInactive = SIZE_MAX;
    std::vector<Particle>& particles = plan.simulation->beam.particles;
    long long handled = 0;
    for (size_t first = slot.first; first < slot.last; first += kChunk) {
        trackChunk(run, particles, first, std::min(slot.last, first + kChunk), handled);
    }
    slot.counter = handled + (handled + 7) / 8;
    slot.end = monotonicSeconds();
}

void trackSliceSteps(const StepPlan& plan, int k, int steps) {
    ThreadSlot& slot = plan.engine->slots[static_cast<size_t>(k)];
    Simulation& simulation = *plan.simulation;
    StepPlan step = plan;
    SliceRun run{step, slot, plan.context, &plan.engine->prepared, nullptr, true};
    run.context.threadIndex = k;
    slot.start = monotonicSeconds();
    slot.firstInactive = SIZE_MAX;
    slot.counter = 0;
    slot.products.clear();
    slot.held.clear();
    slot.activeAfter.assign(static_cast<size_t>(steps), 0);
    slot.missingAt.assign(static_cast<size_t>(steps), 0);
    std::vector<Particle>& particles = simulation.beam.particles;
    size_t active = 0;
    for (size_t i = slot.first; i < slot.last; i++) active += particles[i].state == StateActive;
    const int interval = std::max(1, simulation.nearbyInterval);
    for (int j = 0; j < steps; j++) {
        // The times and the list refreshes of the single steps these stand for.
        if (j > 0) step.time = step.tEnd;
        step.tEnd = step.time + simulation.dt;
        step.refresh = (simulation.stepCount + j) % interval == 0;
        run.ended = 0;
        long long handled = 0;
        run.firstInactive = &slot.firstInactive;
        for (size_t first = slot.first; first < slot.last; first += kChunk) {
            trackChunk(run, particles, first, std::min(slot.last, first + kChunk), handled);
        }
        // This slice's products of the earlier steps, in the order they were
        // made; this step's join them after it, as they would join the beam.
        run.firstInactive = nullptr;
        const size_t held = slot.held.size();
        for (size_t first = 0; first < held; first += kChunk) {
            trackChunk(run, slot.held, first, std::min(held, first + kChunk), handled);
        }
        active = active - run.ended + slot.products.size();
        for (Particle& p : slot.products) slot.held.push_back(std::move(p));
        slot.products.clear();
        slot.counter += handled + (handled + 7) / 8;
        slot.activeAfter[static_cast<size_t>(j)] = active;
        slot.missingAt[static_cast<size_t>(j)] = slot.missingLine;
        slot.missingLine = false;
    }
    // The merge takes them from where a single step leaves its products.
    std::swap(slot.products, slot.held);
    slot.end = monotonicSeconds();
}
