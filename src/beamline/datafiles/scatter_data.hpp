// Scattering tables of the matter components, loaded once per file pattern
// and kept for the whole process: many runs name the same few tables.
#pragma once

#include <string>

#include "beamline/datafiles/scatter_format.hpp"

struct ScatterData {
    std::string pattern;  // the attribute text the table was loaded for
    ScatterTable table;
};

// The table that a `ScatterData` text names ("datafiles/" + text, a pattern
// with one "%d"); none, after a warning, when the name is unsafe or the files
// cannot be read. `verbose` adds the record counts per process.
const ScatterData* scatterDataFor(const std::string& text, bool verbose);
