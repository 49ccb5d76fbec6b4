// Bending magnet: the field from a field map.
#include "beamline/build_hooks.hpp"
#include "beamline/cell_types.hpp"

// No type functions yet: they arrive with the component itself.
const CellTypeFunctions bendMagnetFunctions{};
void (*const bendMagnetLoadFieldMap)(Cell& magnet) = nullptr;
