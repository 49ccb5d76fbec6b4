// Building a run: from a lattice, a genome and the command line to a
// Simulation that is ready to track.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "beamline/simulation.hpp"
#include "model/genome.hpp"
#include "model/vec3.hpp"

struct SetupRequest {
    std::string latticeName;
    // The lattice text when the caller has read it already (a file named on
    // pelto-tool's command line); otherwise "lattices/<name>.txt" is read.
    std::optional<std::string> latticeText;
    std::string commandLine;  // its "-param:" words override the lattice
    // A recheck of a quarantined result: run number k offsets the seed by
    // k x seedpitch.
    bool recheck = false;
    uint32_t recheckRun = 0;
    // The base seed; the tick count when none. A "seed" parameter of the
    // lattice wins over both.
    std::optional<uint32_t> seed;
    bool graphics = false;  // bind drawing functions and show loader detail
    // The field maps and scattering tables the run reads: a caller that
    // builds run after run passes the same set, so files are read once;
    // none: the run loads its own.
    std::shared_ptr<LoadedDataFiles> dataFiles;
    std::string rfSyncLogFile;  // the RF synchronisation log; empty: none
    bool verbose = true;        // report the interpretation of the lattice
    // Values the command line set before the first run (-/N, -bounds_loop).
    double dt = 1e-11;
    int32_t particleDivisor = 1;
    int32_t nearbyInterval = 10;
};

struct SetupOutcome {
    // "-param:" words found; a result made with any is stored without a
    // valid checksum.
    int32_t overrides = 0;
};

// The built run; its root is none when the lattice could not be interpreted.
Simulation setupSimulation(const SetupRequest& request, Genome& genome,
                           SetupOutcome* outcome = nullptr);

// The build proper: places the tree, initialises the components (sources
// create the beam), computes boxes and the proximity grid, synchronises RF
// phases and drops the placeholder cells.
void BLfromcell(Simulation& simulation, const Frame3& initialFrame, bool graphics);

// The steps of setupSimulation, for the main cycle's own uses and for tests.
// Applies the "-param:" words of a command line; returns how many there were.
int32_t applyParamOverrides(const std::string& commandLine, Cell& root, Cell* parameters);
// Reads the simulation parameters from the lattice's parameter cell.
void readSimulationParameters(const Cell& parameters, Simulation& simulation);
// The fixed adjustments for a few named legacy lattices.
void applyLegacyLattice(const std::string& latticeName, Simulation& simulation);
// A run restored from an auto-save has its components' run data but not the
// data files they read: loads those into the run's set and points the
// components at them again.
void reattachDataFiles(Simulation& simulation);
// Moments apertures every twiss_interval of arclength.
void insertAutoTwiss(Cell& root, double interval);
