// The beam: every particle of a run in one array, active ones first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "beamline/particle.hpp"

struct Simulation;

struct Beam {
    // Active particles are [0, activeEnd), inactive ones [activeEnd, size()).
    std::vector<Particle> particles;
    size_t activeEnd = 0;
    // Particles the array holds before it must grow; kept by the growth rules
    // below rather than by std::vector's doubling, so memory use with large
    // beams stays what it has always been.
    size_t capacity = 0;
};

inline size_t beamCount(const Beam& beam) {
    return beam.particles.size();
}
inline size_t beamActiveCount(const Beam& beam) {
    return beam.activeEnd;
}

// Empties the beam and releases its storage.
void beamClear(Beam& beam);
// Grows the capacity to a new value (never below the particles held).
void beamSetCapacity(Beam& beam, size_t capacity);
// Makes room for k more particles: when short, capacity grows to
// capacity + k + 5000.
void beamReserve(Beam& beam, size_t k);
// Makes room for k more particles at once, for a source that knows how many
// it adds: when short, capacity grows to exactly the particles held + k.
// Growing by the rules as the source adds them would copy the array every
// 30 %, and a copy holds the old and the new array at the same moment.
void beamReserveExact(Beam& beam, size_t k);
// Puts a particle at activeEnd, moving the first inactive particle to the end
// of the array; activeEnd and the count grow by one. The caller has made room.
Particle& beamInsertActive(Beam& beam, Particle particle);

// A new Active particle of the simulation's beam, placed at activeEnd: weight
// 1, at rest at the origin, its random key hashed from the simulation's
// effective seed and `id`, travelling through the simulation's root, with its
// decays scheduled (n_decays). When the array is full it first grows by
// max(10, 30 % of the particles held). The reference holds until the beam
// changes again.
Particle& addParticle(Simulation& simulation, int32_t species, int32_t id);
// The same, with its nearby list computed at once.
Particle& addParticleNearby(Simulation& simulation, int32_t species, int32_t id);
