// Bending magnet: the field of a field map (fieldmap_format.hpp), placed and
// turned with the magnet and scaled by its `field`.
#pragma once

#include "beamline/datafiles/fieldmap_format.hpp"
#include "model/cell.hpp"

// The map a built magnet's field comes from; none when its files could not
// be loaded.
const FieldMap* bendMagnetFieldMap(const Cell& magnet);

// Loads the field map the magnet names, unless it is loaded already.
void bendMagnetLoadFieldMap(Cell& magnet);
