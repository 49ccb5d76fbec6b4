// The tantalum rod source: pions (or another species) read from a particle
// list of the target rod, placed on a rod of radius 1 cm and length 20 cm
// centred on the beam axis at `z` and tilted by `rodangle` in the x-z plane.
// The rod is also a solid: its inside is matter for a scattering table, and
// a particle that comes back into it from outside is lost there.
#pragma once

#include <cstdint>
#include <string>

#include "beamline/cell_types.hpp"
#include "beamline/components/source_common.hpp"

struct RodSourceData {
    double radius;  // metres
    double length;  // metres
    double z;       // rod centre on the global z axis, metres
    double cosAngle;
    double sinAngle;
};
static_assert(sizeof(RodSourceData) <= kRodSourceRunDataBytes);

// Adds the particles of the rod source file at `path` to the simulation's
// beam; `fileName` is the lattice's name for it, used in messages. False when
// the file cannot be read or asks for more particles than can be made.
bool loadRodSource(const RodSourceData& rod, const std::string& path, const std::string& fileName,
                   double timespread, double axial, int32_t species, Simulation& simulation,
                   SourceDraws& draws);

// "datafiles/NAME.csv" for the `file` attribute NAME.EXT; none (empty) when
// the name is not a plain file name.
std::string rodSourcePath(const std::string& fileName);
