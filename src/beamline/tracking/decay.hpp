// Decays: when a particle decays, into what, and with which weights.
//
// A decaying particle of weight w is treated as n identical sub-particles of
// weight w/n whose decays are independent; the time to the next decay among
// k remaining ones is exponential with mean lifetime/k. Each event creates
// the products of one sub-particle and leaves the parent the rest.
#pragma once

#include <cstdint>
#include <vector>

#include "beamline/particle.hpp"
#include "model/vec3.hpp"

struct Simulation;

// Prepares n decay events (stable species: none).
void scheduleDecays(Particle& particle, int32_t n);
// Consumes one decay event; after the last the particle is Decayed.
void nextDecayTime(Particle& particle);
// Performs the decay event that is due, if any: appends the products the
// simulation allows to `products` (the calling thread's own list) and
// reduces the parent's weight so that the total weight is kept.
void decayStep(Particle& particle, std::vector<Particle>& products, const Simulation& simulation);

// Momenta (kg m/s) of n products of the given masses (kg) in the rest frame
// of a parent of mass M (kg), drawn from the particle's random stream. The
// products share the phase space by the accept-reject rule; a two-body decay
// draws only the direction. False, with no momenta, when the products
// outweigh the parent.
bool restFrameMomenta(int32_t n, double M, const double* masses, Particle& particle, Vec3* momenta);
