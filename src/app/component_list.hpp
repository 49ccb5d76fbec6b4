// Component lists for lattice authors, written to "listcomponents.txt": "-l"
// lists the beamline of the last result (or of the lattice named on the
// command line) in lattice-file form, "-L" adds where each element starts
// and ends, and "-l42" lists the fixed solenoid channel of the oldest
// results, which had no lattice file.
#pragma once

#include <string>

#include "app/switches.hpp"
#include "model/genome.hpp"
#include "results/record.hpp"

inline constexpr const char* kComponentListFile = "listcomponents.txt";

// Writes the list the command line asks for; returns the exit status.
int writeComponentList(const CommandLine& line, const ResultsList& results);
// The fixed channel's listing for a genome; levels the genome lacks are
// added to it.
std::string legacyChannelListing(Genome& genome);
