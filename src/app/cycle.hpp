// The main cycle: run after run, each one choosing a lattice and a genome,
// building and tracking the beamline, scoring it and storing the result,
// until a switch, a stop request or a fatal error ends the program.
#pragma once

#include "app/switches.hpp"

// Runs cycles until the program is to end; returns the exit status.
int mainCycle(const CommandLine& line);
