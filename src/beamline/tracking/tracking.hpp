// The tracking engine: what components and the run call to move particles.
// Every function here is safe to call from tracking threads on the caller's
// own particle; none of them reports messages.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "beamline/particle.hpp"

struct Cell;
struct PreparedLine;
struct RfSyncState;
struct ScatterData;
struct Simulation;

// What a particle step needs to know about the step it is part of. Tracking
// threads each get their own; it reaches every interceptFn, matterStep and
// findCrossing of the step.
struct StepContext {
    int threadIndex = 0;        // 0: the thread that runs the step
    int configuredThreads = 1;  // above 1, output apertures write one file per thread
    // Matter only slows particles down by the table's mean total loss: no
    // scattering and no discrete events (RF synchronisation, scattering_off).
    bool noScattering = false;
    // RF-only steps: only RF cavities intercept, through the synchronisation's
    // hit test; none in normal steps.
    RfSyncState* rfSync = nullptr;
    // An aperture asking whether another component stops the particle before
    // its plane: apertures asked in turn answer without recording anything.
    bool probing = false;
};

// Tracking modes of advanceStep.
inline constexpr int kTrackNormal = 1;  // every component acts
inline constexpr int kTrackRfSync = 2;  // only RF cavities intercept, no scattering

// The summed fields of the components in `nearby` (last to first) at a point:
// Ex, Ey, Ez in V/m, Bx, By, Bz in T; zero when none has a field or there is
// no list.
void fieldAt(const std::vector<Cell*>* nearby, double x, double y, double z, double t,
             double fields[6]);

// One fourth-order Runge-Kutta step of length h (seconds) from time t in the
// fields of the particle's nearby components. The particle's `t` field is
// not changed; properTime advances.
void pushParticle(Particle& particle, double t, double h);

// A step of length h through matter described by `table` (scattering, energy
// loss, events, unless the context says no scattering); with no table it is
// pushParticle. May end the particle (states 5 and 6, momentum outside the
// table).
void matterStep(Particle& particle, double t, double h, const ScatterData* table,
                const StepContext& context);

// A signed distance whose change of sign marks a crossing (a plane, a surface).
using CrossingDistanceFn = double (*)(const Particle& particle, double t, const void* context);

struct Crossing {
    Particle particle;  // the particle at the crossing; `after` without convergence;
                        // not set when found is 0
    double time = 0;    // the crossing time (t1 when none, t0 when at t0)
    int found = 0;      // 1 crossing found after t0, 0 none (or at t0), -1 no convergence
};

// Where between (before, t0) and (after, t1) the distance changes sign; the
// particle at any trial time is `before` tracked from t0 with matterStep in
// `table`.
Crossing findCrossing(const Particle& before, double t0, const Particle& after, double t1,
                      CrossingDistanceFn distance, const void* context, const ScatterData* table,
                      const StepContext& step);

// Records a lost particle in the loss sums of `cell` (safe under threads) and
// drops its nearby list (the particle keeps its line).
void lostparticlein(Particle& particle, Cell& cell);

// Advances the particle from t towards tEnd by one sub-step (element search,
// bore, matter, interception); returns the time reached. `line`: the
// prepared geometry of the particle's line, or none to read it from the
// cells. With context.rfSync only RF cavities may intercept.
double stepParticle(Particle& particle, double t, double tEnd, const PreparedLine* line,
                    const StepContext& context);

// Thread settings of the engine, from the configuration.
struct TrackingConfig {
    int32_t maxThreads = 1;                // 1 = no worker pool
    int32_t particlesPerThread = 100;      // active particles per extra thread
    bool loadBalanceLog = false;           // write the load-balancing log
    std::FILE* loadBalanceFile = nullptr;  // where the log goes; none: standard output
};
// Sets the thread settings of the simulation's engine (main thread, between
// steps).
void trackingConfigure(Simulation& simulation, const TrackingConfig& config);

// One global time step dt of every active particle. kTrackRfSync steps
// report cavity hits to the engine's rfSync.
void advanceStep(Simulation& simulation, bool decays, int mode, bool threadsAllowed);
// Up to `steps` normal steps with decays and threads (as advanceStep with
// kTrackNormal), fewer when the run reaches its end time or has no active
// particle left; returns the steps taken. Threads may take their slices
// through several steps before they meet, with the same particles as
// single steps give.
int advanceSteps(Simulation& simulation, int steps);
// The load weights of the simulation's threads (empty until a step used two
// or more).
std::vector<double> trackingLoadWeights(const Simulation& simulation);

// The design's score: the share of the beam weight that finished as muons
// (in percent), or a negative score that still ranks near misses.
double scoreOf(const Simulation& simulation);
