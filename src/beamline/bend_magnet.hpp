// Bending magnet: the field of a field map (fieldmap_format.hpp), placed and
// turned with the magnet and scaled by its `field`.
#pragma once

#include "beamline/cell.hpp"
#include "beamline/fieldmap_format.hpp"

// The map a built magnet's field comes from; none when its files could not
// be loaded.
const FieldMap* bendMagnetFieldMap(const Cell& magnet);
