// MARS source: particles read from a MARS particle file.
#include "beamline/cell_types.hpp"

// No type functions yet: they arrive with the component itself.
const CellTypeFunctions marsSourceFunctions{};
