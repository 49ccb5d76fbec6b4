// How the threads share a run's time steps: the load weights and the slices
// they give, the beam put back together after the threads are done, and the
// load-balancing log.
#pragma once

#include <cstddef>

struct Beam;
struct TrackingEngine;

// Keeps every weight at least 0.01/T and makes them sum to 1 (and writes
// them to the load-balancing log when it is on).
void normaliseWeights(TrackingEngine& engine, int threads);
// Cuts the active range [0, active) into the threads' slices by the weights;
// one thread's slice is the whole range.
void planSlices(TrackingEngine& engine, int threads, size_t active);
// The thread that finished last (the calling thread on a tie).
int slowestThread(const TrackingEngine& engine, int threads);
// The threads' start and end times of the latest step in the load-balancing
// log.
void logTimes(TrackingEngine& engine, int threads);

// Puts the beam back together after `ran` slices were tracked: the active
// particles of the active range keep their order at the front, the
// particles the first `threads` slots hold (decay products and what became
// of them) follow, still active ones first, and those that stopped, in the
// range or among the slots' particles, go behind the active range. Decayed
// particles leave the beam.
void mergeBeam(TrackingEngine& engine, Beam& beam, int ran, int threads);
