// One particle of the beam: a plain record, copied by value through a step.
#pragma once

#include <cstdint>
#include <vector>

#include "model/particle_place.hpp"
#include "model/randhash.hpp"
#include "model/vec3.hpp"

struct Cell;

// A beam may hold millions of particles, so every byte here counts: the line
// and the nearby list share four bytes (particle_place.hpp), and the envelope
// count shares a word with the species.
struct Particle {
    Vec3 position;              // metres, global
    Vec3 u;                     // proper velocity gamma*v, m/s
    double weight = 1;          // statistical weight
    double properTime = 0;      // proper time lived, seconds
    double nextDecay = 1e20;    // proper time of the next decay
    double t = 0;               // not tracked before this laboratory time
    int32_t decaysLeft = 0;     // decay samples left; 0 = does not decay
    int32_t id = 0;             // number given by the source
    uint32_t seed = 0;          // first key of the particle's random stream
    int32_t drawCount = 0;      // second key: every draw uses it, then adds one
    int32_t state = 0;          // ParticleState
    int32_t elementIndex = -1;  // top-level element where the element search starts
    // The root composite the particle travels through and the components
    // whose (margin-grown) boxes held it when its list was last refreshed;
    // no list until the first refresh. A list never changes once made, so
    // the copies of a particle (decay products, the trial states of a step)
    // share it and copying a particle never allocates.
    PlaceId place = kNoPlace;
    // Species index, -1 when not set (kSpeciesCount is far below 128).
    int32_t species : 8 = -1;
    // Sample planes of an envelope recording this particle (or the parent it
    // was copied from at its decay) has been counted at; at most
    // kMaxEnvelopePlanes.
    int32_t planesCounted : 24 = 0;
};

inline Cell* particleLine(const Particle& p) {
    return placeLine(p.place);
}
// The particle's nearby components; none before the first refresh and
// after a loss.
inline const std::vector<Cell*>* nearbyList(const Particle& p) {
    return placeList(p.place);
}
inline int32_t nearbyCount(const Particle& p) {
    const std::vector<Cell*>* list = nearbyList(p);
    return list ? static_cast<int32_t>(list->size()) : 0;
}
// Puts the particle on a line, without a list.
inline void setParticleLine(Particle& p, Cell* line) {
    p.place = placeOf(line);
}
// Gives the particle these nearby components on its line.
inline void setNearbyList(Particle& p, const std::vector<Cell*>& cells) {
    p.place = placeOf(particleLine(p), cells);
}
// Drops the list and keeps the line.
inline void dropNearbyList(Particle& p) {
    p.place = placeOf(particleLine(p));
}

// The particle's next keyed draws.
inline double particleUniform(Particle& p) {
    return randuniform(p.seed, static_cast<uint32_t>(p.drawCount++));
}
inline double particleExponential(Particle& p) {
    return randexp(p.seed, static_cast<uint32_t>(p.drawCount++));
}
