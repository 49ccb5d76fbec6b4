// The proximity grid of a composite, as data: a regular grid whose cells
// list child positions. It knows nothing of cells, so the cell tree can keep
// its grid right when children come and go; cell_submap.hpp builds and
// queries it over a composite.
#pragma once

#include <cstdint>
#include <vector>

#include "model/vec3.hpp"

// Grid resolutions above this would cost memory for no gain in speed; the
// resolution also arrives from saved files, which must not make us allocate
// without bound.
inline constexpr int32_t kMaxGridResolution = 200;
// Above this many grid entries in all, the build halves the resolution until
// the grid fits.
inline constexpr double kMaxGridEntries = 1 << 24;

struct CellSubMap {
    int32_t nx = 1, ny = 1, nz = 1;
    Vec3 gridMin;  // the composite's box when the grid was built
    Vec3 extent;
    // All grid-cell lists in one array: the list of grid cell k is
    // entries[first[k]] .. entries[first[k + 1] - 1], child positions in
    // ascending order. One allocation instead of one per grid cell; positions
    // rather than pointers, so that a copied composite's grid needs no
    // translation and a cell listed twice stays two cells.
    std::vector<uint32_t> first;
    std::vector<int32_t> entries;

    int32_t cellCount() const { return nx * ny * nz; }
};

// Keep the child positions of a grid right when a child is inserted at or
// removed from `index`.
void subMapChildInserted(CellSubMap& grid, int32_t index);
void subMapChildRemoved(CellSubMap& grid, int32_t index);
