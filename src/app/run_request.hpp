// The request every run of this program is built from: the lattice, the
// command line with its "-param:" words and the simulation settings that
// start-up and the switches chose. The client's cycle, its component lists
// and pelto-tool all build runs through it.
#pragma once

#include <string>

#include "beamline/build/setup.hpp"

SetupRequest clientRunRequest(const std::string& latticeName, const std::string& commandLine);
