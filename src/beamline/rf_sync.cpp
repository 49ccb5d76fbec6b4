// RF phase synchronisation: the synchronous particle sets the cavities' phases.
#include "beamline/build_hooks.hpp"
#include "beamline/tracking.hpp"

// Not in this build yet: cavities keep the phases their lattice gives them.
void (*const rfSynchronisePhases)(Simulation& simulation) = nullptr;
const RfSyncHitFn rfSyncHitTest = nullptr;
