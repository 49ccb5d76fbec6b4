// One particle of the beam: a plain record, copied by value through a step.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "model/randhash.hpp"
#include "model/vec3.hpp"

struct Cell;

// The components whose (margin-grown) boxes held a particle when its list was
// last refreshed. A refresh makes a new list and a list never changes once
// made, so the copies of a particle (decay products, the trial states of a
// step) can share it; copying a particle never allocates.
using NearbyList = std::shared_ptr<const std::vector<Cell*>>;

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
    int32_t species = -1;       // species index, -1 when not set
    int32_t state = 0;          // ParticleState
    Cell* line = nullptr;       // the root composite the particle travels through
    int32_t elementIndex = -1;  // top-level element where the element search starts
    // Sample planes of an envelope recording this particle (or the parent it
    // was copied from at its decay) has been counted at; it sits in what was
    // padding, so tracking without a recording pays nothing for it.
    int32_t planesCounted = 0;
    NearbyList nearby;  // none until the first refresh

    int32_t nearbyCount() const { return nearby ? static_cast<int32_t>(nearby->size()) : 0; }
};

// The particle's next keyed draws.
inline double particleUniform(Particle& p) {
    return randuniform(p.seed, static_cast<uint32_t>(p.drawCount++));
}
inline double particleExponential(Particle& p) {
    return randexp(p.seed, static_cast<uint32_t>(p.drawCount++));
}
