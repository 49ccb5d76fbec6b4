// The tracking engine: what components and the run call to move particles.
// Every function here is safe to call from tracking threads on the caller's
// own particle; none of them reports messages.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "beamline/particle.hpp"

struct Cell;
struct ScatterData;
struct Simulation;

// Tracking modes of advanceStep.
inline constexpr int kTrackNormal = 1;  // every component acts
inline constexpr int kTrackRfSync = 2;  // only RF cavities intercept, no scattering

// The summed fields of the components in `nearby` (last to first) at a point:
// Ex, Ey, Ez in V/m, Bx, By, Bz in T; zero when none has a field.
void fieldAt(const NearbyList& nearby, double x, double y, double z, double t, double fields[6]);

// One fourth-order Runge-Kutta step of length h (seconds) from time t in the
// fields of the particle's nearby components. The particle's `t` field is
// not changed; properTime advances.
void pushParticle(Particle& particle, double t, double h);

// A step of length h through matter described by `table` (scattering, energy
// loss, events); with no table it is pushParticle. May end the particle
// (states 5 and 6, momentum outside the table).
void matterStep(Particle& particle, double t, double h, const ScatterData* table);

// While raised, matter steps only slow particles down by the table's mean
// total loss: no scattering and no discrete events. advanceStep raises it
// for RF-synchronisation steps and runs with scattering_off; it changes only
// between steps.
void setNoScattering(bool on);
bool noScattering();

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
                      CrossingDistanceFn distance, const void* context, const ScatterData* table);

// Records a lost particle in the loss sums of `cell` (safe under threads) and
// drops its nearby list.
void lostparticlein(Particle& particle, Cell& cell);

// The RF synchronisation's hit test, used in place of an RF cavity's
// interceptFn in RF-only steps (it re-phases the cavity it hits and may
// write the synchronisation log, which only the main thread does); none:
// the cavity's own interceptFn.
using RfSyncHitFn = int (*)(Cell& cavity, const Particle& before, const Particle& after, double t0,
                            double t1, Particle& hit, double& hitTime);
extern const RfSyncHitFn rfSyncHitTest;  // rf_sync.cpp

// Advances the particle from t towards tEnd by one sub-step (element search,
// bore, matter, interception); returns the time reached. `rfOnly`: only RF
// cavities may intercept.
double stepParticle(Particle& particle, double t, double tEnd, const Simulation& simulation,
                    int threadIndex, bool rfOnly);

// Thread settings of the engine, from the configuration.
struct TrackingConfig {
    int32_t maxThreads = 1;                // 1 = no worker pool
    int32_t particlesPerThread = 100;      // active particles per extra thread
    bool loadBalanceLog = false;           // write the load-balancing log
    std::FILE* loadBalanceFile = nullptr;  // where the log goes; none: standard output
};
// Sets the engine's thread settings (main thread, between steps).
void trackingConfigure(const TrackingConfig& config);

// One global time step dt of every active particle.
void advanceStep(Simulation& simulation, bool decays, int mode, bool threadsAllowed);
// The load weights of the threads (empty until a step used two or more).
const std::vector<double>& trackingLoadWeights();

// The design's score: the share of the beam weight that finished as muons
// (in percent), or a negative score that still ranks near misses.
double scoreOf(const Simulation& simulation);
