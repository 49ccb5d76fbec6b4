// RF phase synchronisation: a synchronous particle is tracked through the
// machine before the beam, and each RF cavity's phase is re-referenced to the
// moment that particle crosses it, so that a lattice's `Phase` means the
// phase the reference particle sees.
#pragma once

#include <string>

#include "beamline/simulation.hpp"

// One synchronisation in progress.
struct RfSyncState {
    int32_t cavitiesLeft = 0;  // cavities the synchronous particle has not reached yet
    std::string logFile;       // the run's synchronisation log; empty: none
};

// Time steps the synchronous particle may take: a particle that never
// arrives (at rest, or circling in a field) must not hold the build for ever.
inline constexpr int64_t kRfSyncMaxSteps = 5000000;

// Appends text to the synchronisation log of the run (its rfSyncLogFile,
// "rfsync.log" with -rfsync) when it has one.
void rfSyncLog(const std::string& logFile, const std::string& text);
// "\n---------- Started <date and time> ----------\n", the log's run header.
void rfSyncLogStarted(const std::string& logFile);

// Tracks the synchronous particle and sets the phases of the cavities it
// crosses; falls back to syncrfphases_arclength when it is lost. At most
// maxSteps time steps are tracked (besides t_max).
void syncrfphases_track(Simulation& simulation, int64_t maxSteps = kRfSyncMaxSteps);
// Sets the phases from the arclength of the beamline at each cavity, the
// synchronous particle travelling along the axis and gaining each cavity's
// energy.
void syncrfphases_arclength(Simulation& simulation);

// The RF synchronisation hit test: in RF synchronisation steps tracking
// calls it for the RF cavities in place of their interceptFn. At a crossing
// it re-references the cavity's phase to the crossing time, counts the
// cavity as reached, logs it, and kicks the particle with the new phase.
int rfSyncHit(RfSyncState& sync, Cell& cavity, const Particle& before, const Particle& after,
              double t0, double t1, Particle& hit, double& hitTime);
