// Edge apertures: a plane with no plate and no box. With an empty box no
// particle ever has one among its nearby components, so an edge aperture
// never acts; lattices keep them for their geometry.
#include "beamline/components/aperture.hpp"

void edgeInit(ApertureData& d, const Cell& cell) {
    d.p[0] = cellNumber(cell, "distance");
    d.p[1] = cellNumber(cell, "normalx");
    d.p[2] = cellNumber(cell, "normaly");
}
