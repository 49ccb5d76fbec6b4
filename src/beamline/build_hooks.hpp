// Steps of building and running a simulation that belong to particular
// components or to the tracking engine. Each pointer is defined in the file
// named beside it; none means that part is not in this build, and the
// builder or the run passes over it (the run says so).
#pragma once

#include <cstdint>

struct Cell;
struct Simulation;

// Loads the field map of the beamline's last bending magnet.
extern void (*const bendMagnetLoadFieldMap)(Cell& magnet);  // bend_magnet.cpp
// Trims the boxes of neighbouring solenoids so that they do not overlap.
extern void (*const solenoidTrimBoxes)(Cell& root);  // solenoid.cpp
// Sets the phases of the RF cavities from the synchronous particle.
extern void (*const rfSynchronisePhases)(Simulation& simulation);  // rf_sync.cpp

struct TrackingLimits {
    int32_t threads = 1;               // at most this many tracking threads
    int32_t particlesPerThread = 100;  // active particles per extra thread
};
// The tracking engine: advances the simulation, with decays, until t_max or
// until no particle is active.
struct TrackingEngine {
    void (*runToEnd)(Simulation& simulation, const TrackingLimits& limits) = nullptr;
    double (*scoreOf)(const Simulation& simulation) = nullptr;
};
extern const TrackingEngine trackingEngine;  // tracking_run.cpp

// Merges the per-thread output files of the apertures after a run.
extern void (*const mergeThreadOutputs)();  // aperture_output.cpp
