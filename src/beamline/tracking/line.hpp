// The geometry of a line's top-level elements, read from their attributes
// once per step so that the element search of every particle step reads
// plain numbers instead of looking attributes up by name.
#pragma once

#include <cstdint>

#include "model/vec3.hpp"

struct Cell;

struct ElementGeometry {
    Frame3 entryFrame;
    double length = 0;  // along the beamline
    double angle = 0;   // bend angle; 0 for a straight element
    double bore = 0;    // radius beyond which particles are stopped; 0 none
};

// Gathers the geometry of `line`'s elements for the step about to run (main
// thread, before the workers start). stepParticle uses it for particles of
// that line until trackingReleaseLine.
void trackingPrepareLine(const Cell* line);
void trackingReleaseLine();

// The geometry of element `index` of `line`: the prepared copy when the line
// is prepared, else read from the cell into `scratch`.
const ElementGeometry& elementGeometry(const Cell& line, int32_t index, ElementGeometry& scratch);
