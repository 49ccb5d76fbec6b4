// Circular apertures (also the plate of moments, output and finish
// apertures): an opening of `radius` about the local axis in a plate one
// metre wide. `centrex` and `centrey` are stored, but the opening stays on
// the axis: a lattice moves an aperture with its placement offsets (X, Y).
#include <cmath>

#include "beamline/components/aperture.hpp"
#include "beamline/components/component_shapes.hpp"

namespace {
constexpr double kPlateWidth = 1;  // metres beyond the opening
}  // namespace

void circularInit(ApertureData& d, const Cell& cell, double defaultRadius) {
    d.p[0] = cellNumber(cell, "centrex");
    d.p[1] = cellNumber(cell, "centrey");
    d.p[2] = cellHas(cell, "radius") ? cellNumber(cell, "radius") : defaultRadius;
}

void circularBounds(const ApertureData& d, Cell& cell) {
    const double* a = d.frame.axes;
    boxIncludeDisc(cell, d.frame.origin, Vec3{a[2], a[5], a[8]}, d.p[2] + kPlateWidth);
}

bool circularPlateStops(const ApertureData& d, double x, double y) {
    double beyond = std::sqrt(x * x + y * y) - d.p[2];
    return beyond >= 0 && beyond <= kPlateWidth;
}
