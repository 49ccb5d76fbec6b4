// Blockage: solid shapes that absorb particles.
#include "beamline/cell_types.hpp"

// No type functions yet: they arrive with the component itself.
const CellTypeFunctions blockageFunctions{};
