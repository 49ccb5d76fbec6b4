// One tracking thread's share of a global time step.
#pragma once

#include <cstddef>
#include <vector>

#include "beamline/tracking/step_parts.hpp"
#include "beamline/tracking/tracking.hpp"

struct TrackingEngine;

// A particle of a chunk whose first sub-step is pushed in a batch. Made
// anew for every particle of every step, so it holds only what the search
// for a batch gives; the push's results go to a LaneEnd.
struct BatchLane {
    size_t index;                    // in the beam
    const std::vector<Cell*>* list;  // its nearby list
    StepPlace place;                 // where the element search found it
    double qm;                       // charge over mass
    size_t group;                    // its list's place among the chunk's lists
    bool stopped;                    // the bore stopped it: no push
    bool quiet;                      // no component can intercept its push: the
                                     // particle already holds the push's end
};

// Where the push took a lane that some component may intercept.
struct LaneEnd {
    Vec3 position, u;
    double properTime;  // gained in the push
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

// Tracks slot k's slice through `steps` time steps from the plan's, giving
// each particle what that many single steps would: the steps' times and
// list refreshes follow from the simulation's time step and step count, and
// the decay products made in one step are tracked from the next on. The
// slice's particles that stop stay where they are; the slot's products hold
// the products and what became of them, and activeAfter the slice's
// particles still active after each step.
void trackSliceSteps(const StepPlan& plan, int k, int steps);
