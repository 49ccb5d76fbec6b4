// Nearby-component lists: which components a particle must look at.
#pragma once

#include <cstddef>
#include <vector>

#include "beamline/particle.hpp"

// Refreshes the particle's list from its line's proximity grid. A particle
// without a line is reported and keeps its old list.
void Particle_nearbythings(Particle& particle);
// The same with the caller's scratch list and no message, for tracking
// threads; false, with the old list kept, when the particle has no line.
bool nearbyRefresh(Particle& particle, std::vector<Cell*>& scratch);
// nearbyRefresh for a caller that already holds what the particle's place
// gives: its line and its list (particleLine and nearbyList).
bool nearbyRefreshFrom(Particle& particle, Cell* line, const std::vector<Cell*>* held,
                       std::vector<Cell*>& scratch);
// The same for particles [first, last) of an array.
void Particle_seg_nearbythings(Particle* first, Particle* last);
