// One tracking thread's share of a global time step.
#pragma once

#include <cstddef>
#include <vector>

#include "beamline/tracking/step_parts.hpp"
#include "beamline/tracking/tracking.hpp"

struct TrackingEngine;

// A particle of a chunk whose first sub-step is pushed in a batch.
struct BatchLane {
    size_t index = 0;                          // in the beam
    const std::vector<Cell*>* list = nullptr;  // its nearby list
    StepPlace place;                           // where the element search found it
    bool stopped = false;                      // the bore stopped it: no push
    size_t group = 0;                          // its list's place among the chunk's lists
    Vec3 position, u;                          // after the push
    double properTime = 0;                     // gained in the push
    bool quiet = false;                        // no component can intercept its push
};

struct StepPlan {
    Simulation* simulation;
    TrackingEngine* engine;
    double time, tEnd;
    bool decays, refresh;
    bool batched;         // push the particles that allow it in batches
    StepContext context;  // the thread index is each slice's own
};

// Tracks the particles of slot k's slice to the end of the step, then
// refreshes their nearby lists and lets them decay as the plan says.
void trackSlice(const StepPlan& plan, int k);
