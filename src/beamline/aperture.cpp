// Apertures: planes that stop, count or record the particles crossing them.
#include "beamline/build_hooks.hpp"
#include "beamline/cell_types.hpp"

// No type functions yet: they arrive with the component itself.
const CellTypeFunctions apertureFunctions{};
void (*const mergeThreadOutputs)() = nullptr;
