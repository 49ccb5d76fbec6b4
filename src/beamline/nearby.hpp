// Nearby-component lists: which components a particle must look at.
#pragma once

#include <cstddef>

#include "beamline/particle.hpp"

// Refreshes the particle's list from its line's proximity grid. A particle
// without a line is reported and keeps its old list.
void Particle_nearbythings(Particle& particle);
// The same for particles [first, last) of an array.
void Particle_seg_nearbythings(Particle* first, Particle* last);
