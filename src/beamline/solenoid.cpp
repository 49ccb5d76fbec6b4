// Solenoid: the field of a finite coil, and the coil as matter.
#include "beamline/build_hooks.hpp"
#include "beamline/cell_types.hpp"

// No type functions yet: they arrive with the component itself.
const CellTypeFunctions solenoidFunctions{};
void (*const solenoidTrimBoxes)(Cell& root) = nullptr;
