// Scattering tables of the matter components, loaded once per file pattern
// into the data files a run holds (loaded_files.hpp): many runs name the
// same few tables.
#pragma once

#include <string>

#include "beamline/datafiles/scatter_format.hpp"

struct LoadedDataFiles;

struct ScatterData {
    std::string pattern;  // the attribute text the table was loaded for
    ScatterTable table;
};

// The table that a `ScatterData` text names ("datafiles/" + text, a pattern
// with one "%d"); none, after a warning, when the name is unsafe or the files
// cannot be read. `verbose` adds the record counts of a table when it is read.
const ScatterData* scatterDataFor(LoadedDataFiles& files, const std::string& text, bool verbose);
