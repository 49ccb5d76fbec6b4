#include "model/cell_submap.hpp"

#include <algorithm>
#include <cmath>

#include "common/report.hpp"
#include "common/text.hpp"
#include "model/cell_geometry.hpp"

namespace {

double axisOf(Vec3 v, int axis) {
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

int32_t gridCountOf(const CellSubMap& grid, int axis) {
    return axis == 0 ? grid.nx : axis == 1 ? grid.ny : grid.nz;
}

// Grid coordinate of v on one axis, before rounding. A flat axis (extent 0)
// has its single grid cell exactly on the plane: 0 there, outside elsewhere.
double gridCoordinate(const CellSubMap& grid, int axis, double v) {
    double lo = axisOf(grid.gridMin, axis), extent = axisOf(grid.extent, axis);
    if (extent > 0) return (v - lo) * gridCountOf(grid, axis) / extent;
    if (v == lo) return 0;
    return v < lo ? -1 : gridCountOf(grid, axis);
}

size_t gridIndex(const CellSubMap& grid, int32_t ix, int32_t iy, int32_t iz) {
    return (static_cast<size_t>(ix) * static_cast<size_t>(grid.ny) + static_cast<size_t>(iy)) *
               static_cast<size_t>(grid.nz) +
           static_cast<size_t>(iz);
}

// The block of grid cells a child's box reaches into, or false when it
// reaches into none (an empty or unusable box).
bool childBlock(const CellSubMap& grid, const Cell& child, int32_t lo[3], int32_t hi[3]) {
    if (cellBoxEmpty(child)) return false;
    for (int axis = 0; axis < 3; axis++) {
        double top = gridCountOf(grid, axis) - 1;
        double a = std::floor(gridCoordinate(grid, axis, axisOf(child.boxMin, axis)));
        double b = std::ceil(gridCoordinate(grid, axis, axisOf(child.boxMax, axis)));
        if (std::isnan(a) || std::isnan(b)) return false;
        lo[axis] = static_cast<int32_t>(std::clamp(a, 0.0, top));
        hi[axis] = static_cast<int32_t>(std::clamp(b, 0.0, top));
        if (lo[axis] > hi[axis]) return false;
    }
    return true;
}

template <class Visit>
void forBlock(const CellSubMap& grid, const int32_t lo[3], const int32_t hi[3], Visit visit) {
    for (int32_t ix = lo[0]; ix <= hi[0]; ix++) {
        for (int32_t iy = lo[1]; iy <= hi[1]; iy++) {
            for (int32_t iz = lo[2]; iz <= hi[2]; iz++) visit(gridIndex(grid, ix, iy, iz));
        }
    }
}

// An empty grid of the given resolution over the composite's box. A box that
// is empty or not finite gets one grid cell that lists nothing.
std::unique_ptr<CellSubMap> gridLayout(const Cell& composite, int32_t resolution, bool& usable) {
    auto grid = std::make_unique<CellSubMap>();
    grid->gridMin = composite.boxMin;
    grid->extent = composite.boxMax - composite.boxMin;
    Vec3 e = grid->extent;
    usable = std::isfinite(e.x) && std::isfinite(e.y) && std::isfinite(e.z) && e.x >= 0 &&
             e.y >= 0 && e.z >= 0 && std::isfinite(grid->gridMin.x) &&
             std::isfinite(grid->gridMin.y) && std::isfinite(grid->gridMin.z);
    double largest = std::fmax(e.x, std::fmax(e.y, e.z));
    if (usable && largest > 0) {
        // Roughly cubic grid cells: the longest axis gets `resolution` of them.
        double n = resolution;
        double step = largest / n;
        auto count = [&](double extent) {
            return static_cast<int32_t>(std::clamp(std::floor(extent / step + 0.5), 1.0, n));
        };
        grid->nx = count(e.x);
        grid->ny = count(e.y);
        grid->nz = count(e.z);
    }
    return grid;
}

double entryTotal(const CellSubMap& grid, const Cell& composite) {
    double total = 0;
    for (const CellPtr& child : composite.children) {
        int32_t lo[3], hi[3];
        if (child && childBlock(grid, *child, lo, hi)) {
            total += double(hi[0] - lo[0] + 1) * (hi[1] - lo[1] + 1) * (hi[2] - lo[2] + 1);
        }
    }
    return total;
}

}  // namespace

void subMapBuild(Cell& composite, int32_t resolution) {
    if (composite.kind != Composite) return;
    reportProgress("Building proximity grid...");

    int32_t n = std::clamp(resolution, 1, kMaxGridResolution);
    bool usable = false;
    std::unique_ptr<CellSubMap> grid = gridLayout(composite, n, usable);
    // Many large children on a fine grid would list each of them thousands of
    // times; a coarser grid finds the same cells.
    while (usable && n > 1 && entryTotal(*grid, composite) > kMaxGridEntries) {
        n /= 2;
        grid = gridLayout(composite, n, usable);
    }
    reportProgress(format("Building proximity grid %dx%dx%d (%d cells)...", grid->nx, grid->ny,
                          grid->nz, grid->cellCount()));

    // Two passes: count the entries of every grid cell, then fill them.
    size_t cells = static_cast<size_t>(grid->cellCount());
    std::vector<uint32_t> counts(cells, 0);
    if (usable) {
        for (const CellPtr& child : composite.children) {
            int32_t lo[3], hi[3];
            if (child && childBlock(*grid, *child, lo, hi)) {
                forBlock(*grid, lo, hi, [&](size_t k) { counts[k]++; });
            }
        }
    }
    grid->first.assign(cells + 1, 0);
    for (size_t k = 0; k < cells; k++) grid->first[k + 1] = grid->first[k] + counts[k];
    grid->entries.resize(grid->first[cells]);
    if (usable) {
        std::vector<uint32_t> fill(grid->first.begin(), grid->first.end() - 1);
        for (int32_t i = 0; i < composite.childCount(); i++) {
            const Cell* child = composite.children[static_cast<size_t>(i)].get();
            int32_t lo[3], hi[3];
            if (child && childBlock(*grid, *child, lo, hi)) {
                forBlock(*grid, lo, hi, [&](size_t k) { grid->entries[fill[k]++] = i; });
            }
        }
    }
    reportProgress(format("Building proximity grid %dx%dx%d (%d cells)... Done", grid->nx, grid->ny,
                          grid->nz, grid->cellCount()));
    composite.subMap = std::move(grid);
}

void subMapQuery(const Cell& composite, Vec3 p, std::vector<Cell*>& out) {
    out.clear();
    const CellSubMap* grid = composite.subMap.get();
    if (!grid || grid->entries.empty()) return;
    int32_t index[3];
    for (int axis = 0; axis < 3; axis++) {
        double i = std::floor(gridCoordinate(*grid, axis, axisOf(p, axis)));
        // Also rejects NaN.
        if (!(i >= 0 && i < gridCountOf(*grid, axis))) return;
        index[axis] = static_cast<int32_t>(i);
    }
    size_t k = gridIndex(*grid, index[0], index[1], index[2]);
    for (uint32_t e = grid->first[k]; e < grid->first[k + 1]; e++) {
        size_t i = static_cast<size_t>(grid->entries[e]);
        if (i >= composite.children.size()) continue;
        Cell* child = composite.children[i].get();
        if (child && cellBoxContains(*child, p)) out.push_back(child);
    }
}
