// Running a simulation to its end with the tracking engine.
#include "beamline/build_hooks.hpp"

// Not in this build yet: runs stop after the build.
const TrackingEngine trackingEngine{};
