#include "beamline/beam.hpp"

#include <algorithm>
#include <utility>

#include "beamline/build/nearby.hpp"
#include "beamline/simulation.hpp"
#include "beamline/tracking/decay.hpp"

// Every particle of a large beam pays for each byte of the record.
static_assert(sizeof(Particle) <= 112, "a particle record larger than 112 bytes");
static_assert(kSpeciesCount <= 127, "species indices must fit the particle's 8 bits");

void beamClear(Beam& beam) {
    beam.particles = {};
    beam.activeEnd = 0;
    beam.capacity = 0;
}

void beamSetCapacity(Beam& beam, size_t capacity) {
    beam.capacity = std::max(capacity, beam.particles.size());
    beam.particles.reserve(beam.capacity);
}

void beamReserve(Beam& beam, size_t k) {
    if (beam.capacity < beam.particles.size() + k) beamSetCapacity(beam, beam.capacity + k + 5000);
}

void beamReserveExact(Beam& beam, size_t k) {
    if (beam.capacity < beam.particles.size() + k) beamSetCapacity(beam, beam.particles.size() + k);
}

Particle& beamInsertActive(Beam& beam, Particle particle) {
    std::vector<Particle>& all = beam.particles;
    if (all.size() == beam.capacity) beamSetCapacity(beam, beam.capacity + 1);
    if (beam.activeEnd < all.size()) {
        all.push_back(std::move(all[beam.activeEnd]));
        all[beam.activeEnd] = std::move(particle);
    } else {
        all.push_back(std::move(particle));
    }
    return all[beam.activeEnd++];
}

Particle& addParticle(Simulation& simulation, int32_t species, int32_t id) {
    Beam& beam = simulation.beam;
    if (beam.capacity < beam.particles.size() + 1) {
        size_t grow = std::max<size_t>(10, beam.particles.size() * 3 / 10);
        beamSetCapacity(beam, beam.capacity + grow);
    }
    Particle p;
    p.id = id;
    p.seed = randhash_p(simulation.effectiveSeed, static_cast<uint32_t>(id));
    p.species = species;
    setParticleLine(p, simulation.root.get());
    Particle& placed = beamInsertActive(beam, std::move(p));
    scheduleDecays(placed, simulation.n_decays);
    return placed;
}

Particle& addParticleNearby(Simulation& simulation, int32_t species, int32_t id) {
    Particle& p = addParticle(simulation, species, id);
    Particle_nearbythings(p);
    return p;
}
