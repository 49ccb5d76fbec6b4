// Running a simulation to its end with the tracking engine.
#include "beamline/build_hooks.hpp"
#include "beamline/simulation.hpp"
#include "beamline/tracking/tracking.hpp"

namespace {

// Steps as the client's main cycle does: until t_max or until no particle is
// active.
void runToEnd(Simulation& simulation, const TrackingLimits& limits) {
    TrackingConfig config;
    config.maxThreads = limits.threads;
    config.particlesPerThread = limits.particlesPerThread;
    trackingConfigure(config);
    while (simulation.t_max > simulation.time && beamActiveCount(simulation.beam) > 0) {
        advanceStep(simulation, true, kTrackNormal, true);
    }
}

}  // namespace

const TrackingEngine trackingEngine{runToEnd, scoreOf};
