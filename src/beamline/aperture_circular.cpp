// Circular apertures (also the plate of moments, output and finish
// apertures): an opening of `radius` about the local axis in a plate one
// metre wide. `centrex` and `centrey` are stored, but the opening stays on
// the axis: a lattice moves an aperture with its placement offsets (X, Y).
#include <cmath>

#include "beamline/aperture.hpp"
#include "beamline/cell_geometry.hpp"

namespace {
constexpr double kPlateWidth = 1;  // metres beyond the opening
}  // namespace

void circularInit(ApertureData& d, const Cell& cell, double defaultRadius) {
    d.p[0] = cellNumber(cell, "centrex");
    d.p[1] = cellNumber(cell, "centrey");
    d.p[2] = cellHas(cell, "radius") ? cellNumber(cell, "radius") : defaultRadius;
}

void circularBounds(const ApertureData& d, Cell& cell) {
    // A disc of radius r with unit normal n reaches r sqrt(1 - n_i^2) from
    // its centre along each global axis i.
    const double r = d.p[2] + kPlateWidth;
    const double* a = d.frame.axes;
    const Vec3 n{a[2], a[5], a[8]};
    auto reach = [&](double ni) { return r * std::sqrt(std::fmax(0.0, 1 - ni * ni)); };
    const Vec3 half{reach(n.x), reach(n.y), reach(n.z)};
    cellBoxInclude(cell, d.frame.origin - half);
    cellBoxInclude(cell, d.frame.origin + half);
}

bool circularPlateStops(const ApertureData& d, double x, double y) {
    double beyond = std::sqrt(x * x + y * y) - d.p[2];
    return beyond >= 0 && beyond <= kPlateWidth;
}
