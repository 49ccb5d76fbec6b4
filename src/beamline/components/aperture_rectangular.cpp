// Rectangular apertures: an opening x1 < x < x2, y1 < y < y2 in a plate that
// reaches one metre beyond it on every side.
#include "beamline/components/aperture.hpp"
#include "model/cell_geometry.hpp"

namespace {
constexpr double kPlateWidth = 1;  // metres beyond the opening
}  // namespace

void rectangularInit(ApertureData& d, const Cell& cell) {
    d.p[0] = cellNumber(cell, "x1");
    d.p[1] = cellNumber(cell, "y1");
    d.p[2] = cellNumber(cell, "x2");
    d.p[3] = cellNumber(cell, "y2");
}

void rectangularBounds(const ApertureData& d, Cell& cell) {
    const double x[2] = {d.p[0] - kPlateWidth, d.p[2] + kPlateWidth};
    const double y[2] = {d.p[1] - kPlateWidth, d.p[3] + kPlateWidth};
    for (double cx : x) {
        for (double cy : y) {
            Vec3 corner{cx, cy, 0};
            frameToGlobal(d.frame, corner);
            cellBoxInclude(cell, corner);
        }
    }
}

bool rectangularPlateStops(const ApertureData& d, double x, double y) {
    const double x1 = d.p[0], y1 = d.p[1], x2 = d.p[2], y2 = d.p[3];
    bool onPlate = x1 - kPlateWidth <= x && x <= x2 + kPlateWidth && y1 - kPlateWidth <= y &&
                   y <= y2 + kPlateWidth;
    bool inOpening = x1 < x && x < x2 && y1 < y && y < y2;
    return onPlate && !inOpening;
}
