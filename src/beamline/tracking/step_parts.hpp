// The two ends of a particle's sub-step, for the batched step that moves many
// particles between them at once: stepParticle is locate, move, intercept.
#pragma once

#include <cstdint>

#include "beamline/tracking/line.hpp"
#include "beamline/tracking/tracking.hpp"

struct StepPlace {
    int32_t index = -1;       // the top-level element that holds the particle
    Cell* element = nullptr;  // that element; none when the line has none
};

// The element search and the bore check that begin a sub-step; false when the
// bore stopped the particle (its loss recorded).
bool stepLocate(Particle& particle, const PreparedLine* prepared, StepPlace& place);

// What the last place looked at gives (its line and its nearby list):
// neighbours in the beam mostly share a place, so a pass over the beam looks
// each one up once.
struct PlaceMemo {
    bool known = false;
    PlaceId place = 0;
    Cell* line = nullptr;
    const std::vector<Cell*>* list = nullptr;

    const PlaceMemo& of(const Particle& particle) {
        if (!known || particle.place != place) {
            known = true;
            place = particle.place;
            line = particleLine(particle);
            list = nearbyList(particle);
        }
        return *this;
    }
};
// stepLocate, with the same result, for a particle whose place's line the
// memo holds: on the prepared line the search runs over the prepared
// geometry without looking up the line or an element again.
bool stepLocateMemo(Particle& particle, const PreparedLine* prepared, StepPlace& place,
                    const PlaceMemo& memo);

// The end of a sub-step from t whose move took the particle to `after` at
// `reached` (in matter `matter` with `table`, or none): the nearby components'
// interceptions, the element index and the loss of a particle that ended.
// The particle becomes the result; returns the time reached.
double stepIntercept(Particle& particle, Particle& after, double t, double reached,
                     const StepPlace& place, Cell* matter, const ScatterData* table,
                     const StepContext& context);
