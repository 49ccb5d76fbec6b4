// Particle cells: single particles, and the synchronous particle of the RF phases.
#include "beamline/cell_types.hpp"

// No type functions yet: they arrive with the component itself.
const CellTypeFunctions particleCellFunctions{};
