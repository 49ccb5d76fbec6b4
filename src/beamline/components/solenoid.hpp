// Solenoid: a current sheet whose coil stops the particles that meet it.
#pragma once

#include "model/cell.hpp"

// Trims the boxes of neighbouring solenoids of the beamline so that they do
// not overlap.
void solenoidTrimBoxes(Cell& root);
