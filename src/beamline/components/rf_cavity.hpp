// RF cavity: a thin accelerating gap in the plane through its position with
// normal n. The RF phase synchronisation shares its crossing and its kick.
#pragma once

#include "beamline/cell_types.hpp"
#include "beamline/particle.hpp"

struct RfCavityData {
    Vec3 position;       // centre of the gap (placed frame origin)
    Vec3 n;              // unit normal of the gap (placed frame local z)
    double voltage = 0;  // volts
    double omega = 0;    // radians per second
    double phase = 0;    // radians at t = 0; synchronisation re-references it
    double extent = 0;   // transverse reach, metres (sizes the box only)
};
static_assert(sizeof(RfCavityData) <= kRfCavityRunDataBytes);

// Where the particle crosses the gap plane during the step: 1 with the
// particle and time there, -1 when the search did not converge (the particle
// and time it gave), 0 when it does not cross.
int rfCavityCrossing(const RfCavityData& cavity, const Particle& before, double t0,
                     const Particle& after, double t1, const ScatterData* table,
                     const StepContext& context, Particle& at, double& time);

// The gap's kick to a particle at the gap plane at time t. A particle that the
// kick turns back (or brings to a halt along n) is Stopped.
void rfCavityKick(const RfCavityData& cavity, Particle& particle, double t);
