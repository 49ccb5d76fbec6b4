// The tracking engine of one run: its threads, their per-step slots, the
// load weights, the thread settings and the line geometry prepared for the
// element search. A Simulation owns its engine (made when first needed), so
// two runs in one process never share tracking state.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "beamline/particle.hpp"
#include "beamline/tracking/line.hpp"
#include "beamline/tracking/pool.hpp"
#include "beamline/tracking/push_batch.hpp"
#include "beamline/tracking/slice.hpp"
#include "beamline/tracking/tracking.hpp"

// Aligned to a cache line, so that two threads never write to one line while
// they track their slices. What the calling thread reads of a finished
// single step's slice comes first, in one line.
struct alignas(64) ThreadSlot {
    long long counter = 0;                         // particles handled, weighted
    double start = 0, end = 0;                     // monotonic seconds
    size_t firstInactive = 0;                      // the slice's first particle to stop or decay
    bool missingLine = false;                      // a particle had no line to refresh from
    std::vector<Particle> products;                // decay products of this step, or of
                                                   // the steps tracked together
    std::vector<Particle> held;                    // those of the earlier steps, meanwhile
    std::vector<size_t> activeAfter;               // active particles after each of them
    std::vector<uint8_t> missingAt;                // and whether a line was missing
    size_t first = 0, last = 0;                    // the slice of the active range
    std::vector<Cell*> scratch;                    // nearby-list refreshes
    std::vector<BatchLane> lanes;                  // the batched particles of the current chunk
    std::vector<LaneEnd> ends;                     // their pushes' ends, by lane
    std::vector<size_t> order;                     // those lanes grouped by nearby list
    std::vector<const std::vector<Cell*>*> lists;  // the chunk's lists, in order of first use
    std::vector<size_t> groupStarts;               // where each list's lanes begin in order
    std::unique_ptr<PushLanes> push;               // the batch being pushed
};

struct TrackingEngine {
    TrackingConfig config;
    std::vector<double> weights;  // load weights, one per thread
    std::vector<ThreadSlot> slots;
    std::vector<Particle> newlyInactive;
    double previousEnd = 0;  // latest thread end of the previous logged step
    PreparedLine prepared;   // the run's root line
    // The synchronisation that RF-only steps report their cavity hits to;
    // none outside the RF synchronisation.
    RfSyncState* rfSync = nullptr;
    // Last member: its threads are joined before the slots they use go.
    TrackingPool pool;
};

// The simulation's engine, made with the default settings when it has none.
TrackingEngine& trackingEngineOf(Simulation& simulation);
