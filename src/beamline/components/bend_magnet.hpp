// Bending magnet: the field of a field map (fieldmap_format.hpp), placed and
// turned with the magnet and scaled by its `field`.
#pragma once

#include "beamline/datafiles/fieldmap_format.hpp"
#include "beamline/datafiles/loaded_files.hpp"
#include "model/cell.hpp"

// The map a built magnet's field comes from; none when its files could not
// be loaded.
const FieldMap* bendMagnetFieldMap(const Cell& magnet);

// Loads the field map the magnet names into `loaded`, unless it is there
// already.
void bendMagnetLoadFieldMap(LoadedDataFiles& loaded, const Cell& magnet);

// Points a magnet restored from an auto-save at its map among `loaded`; a
// magnet whose map is not there has no field. False when it has none.
bool bendMagnetAttachMap(Cell& magnet, const LoadedDataFiles& loaded);
