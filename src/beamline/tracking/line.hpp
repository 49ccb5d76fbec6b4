// The geometry of a line's top-level elements, read from their attributes
// once for the run so that the element search of every particle step reads
// plain numbers instead of looking attributes up by name.
#pragma once

#include <cstdint>
#include <vector>

#include "model/vec3.hpp"

struct Cell;

struct ElementGeometry {
    Frame3 entryFrame;
    double length = 0;  // along the beamline
    double angle = 0;   // bend angle; 0 for a straight element
    double bore = 0;    // radius beyond which particles are stopped; 0 none
};

struct PreparedLine {
    const Cell* line = nullptr;
    std::vector<ElementGeometry> elements;
};

// Gathers the geometry of `line`'s elements, unless `prepared` holds that
// line's already (main thread, between steps).
void prepareLine(PreparedLine& prepared, const Cell* line);

// The prepared geometry of `line`'s elements when `prepared` holds that
// line's; none otherwise.
const std::vector<ElementGeometry>* preparedElementsOf(const PreparedLine* prepared,
                                                       const Cell& line);

// The geometry of element `index` of `line`: the prepared copy when
// `prepared` is of that line, else read from the cell into `scratch`.
const ElementGeometry& elementGeometry(const PreparedLine* prepared, const Cell& line,
                                       int32_t index, ElementGeometry& scratch);
