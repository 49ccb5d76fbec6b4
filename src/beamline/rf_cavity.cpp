// RF cavity: a thin accelerating gap.
#include "beamline/cell_types.hpp"

// No type functions yet: they arrive with the component itself.
const CellTypeFunctions rfCavityFunctions{};
