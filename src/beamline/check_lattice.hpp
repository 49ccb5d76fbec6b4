// pelto-tool lattice check: the strict reading of a lattice file, with what
// only a built line shows (data files that are not there, genome entries the
// lattice never reads).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "lattice/lattice_check.hpp"
#include "model/genome.hpp"

// Every finding about the lattice text, in line order, each once. `path`
// names the file in the findings; data files are looked for in datafiles/
// of the working folder, as a run does. The genome chooses the parameters'
// values (code may build different lines for different genomes); parameters
// it lacks take the middle of their range.
std::vector<LatticeFinding> checkLatticeText(std::string_view text, const std::string& path,
                                             const std::string& name, const Genome& genome);
