// Values every run's simulation starts from; start-up and the command line
// set them before the first run is built.
#pragma once

#include <cstdint>

struct SimulationTemplate {
    double dt = 1e-11;              // time step, seconds
    int32_t particleDivisor = 1;    // sources keep one particle in this many
    int32_t nearbyInterval = 10;    // steps between re-scans of nearby components
    uint32_t speciesAllowMask = 0;  // species that sources may create
};

extern SimulationTemplate simulationTemplate;
