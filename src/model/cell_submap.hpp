// The proximity grid of a composite: a regular grid over the composite's
// bounding box whose cells list the children whose boxes reach into them, so
// that a particle only looks at the few components around it.
#pragma once

#include <cstdint>
#include <vector>

#include "model/cell.hpp"
#include "model/cell_grid.hpp"

// Builds (or rebuilds) the grid of a composite with `resolution` grid cells
// along the longest extent of its box. Does nothing for other kinds.
void subMapBuild(Cell& composite, int32_t resolution);

// The children whose boxes contain p (faces included), in ascending child
// order, into `out` (cleared first). Safe to call from several threads.
void subMapQuery(const Cell& composite, Vec3 p, std::vector<Cell*>& out);
