// The data files a run's components read while tracking: bending-magnet field
// maps and scattering tables. They are loaded while a run is built, on the
// main thread, and only read while it tracks. A run holds its set; a caller
// that builds run after run (the client, the optimiser) hands each run the
// same set, so that every file is read once, while two callers with sets of
// their own never see each other's files.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "beamline/datafiles/fieldmap_format.hpp"
#include "beamline/datafiles/scatter_data.hpp"

struct LoadedFieldMap {
    std::string files;  // the four names, one per line
    uint32_t key = 0;   // hash of the names: finds the map again after a restore
    FieldMap map;
};

struct LoadedDataFiles {
    // One map per set of four file names, shared by every magnet naming them.
    std::vector<std::unique_ptr<LoadedFieldMap>> fieldMaps;
    // The map the last loading named: magnets without file names of their
    // own use it.
    int32_t lastFieldMap = -1;
    // Tables by the attribute text that named them; none for a text that
    // failed, so that a missing table is reported once, not once per run.
    std::map<std::string, std::unique_ptr<ScatterData>> scatterTables;
};
