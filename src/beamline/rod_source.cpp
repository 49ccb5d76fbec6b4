// Rod target source: pions and muons from a particle list, placed on a rod.
#include "beamline/cell_types.hpp"

// No type functions yet: they arrive with the component itself.
const CellTypeFunctions rodSourceFunctions{};
