// The MARS source: particles of any tracked species read from a particle list
// with MARS identifiers, placed in the source cell's frame.
#pragma once

#include <string>

#include "beamline/components/source_common.hpp"
#include "model/vec3.hpp"

// Adds the particles of the MARS file at `path` to the simulation's beam, in
// the coordinates of `frame`. Lines of species the simulation does not allow,
// or with identifiers of no species, give no particle. False when the file
// cannot be read or asks for more particles than can be made.
bool loadMarsSource(const Frame3& frame, const std::string& path, double timespread, double sigma,
                    double axial, Simulation& simulation, SourceDraws& draws);
