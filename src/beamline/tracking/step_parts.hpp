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

// The line of the last particle's place: neighbours in the beam mostly
// share it, and on the prepared line the search then runs over the
// prepared geometry without looking up the line or an element again.
struct LocateMemo {
    PlaceId place = 0;
    bool known = false;          // place's line below is looked up
    const Cell* line = nullptr;  // the prepared line when place is on it, else none
};
// stepLocate, with the same result, through the memo.
bool stepLocateMemo(Particle& particle, const PreparedLine* prepared, StepPlace& place,
                    LocateMemo& memo);

// The end of a sub-step from t whose move took the particle to `after` at
// `reached` (in matter `matter` with `table`, or none): the nearby components'
// interceptions, the element index and the loss of a particle that ended.
// The particle becomes the result; returns the time reached.
double stepIntercept(Particle& particle, Particle& after, double t, double reached,
                     const StepPlace& place, Cell* matter, const ScatterData* table,
                     const StepContext& context);
