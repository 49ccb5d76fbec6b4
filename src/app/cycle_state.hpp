// What the main cycle keeps between its steps: the results database for the
// life of the process, and the lattice, genome and simulation of one run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/autosave.hpp"
#include "app/switches.hpp"
#include "beamline/simulation.hpp"
#include "model/genome.hpp"
#include "results/quarantine.hpp"
#include "results/record.hpp"
#include "run/run.hpp"

enum StopState { StopNone, StopFinished, StopQuit };

struct CycleState {
    CommandLine line;  // as read at start-up
    Simulation simState;
    // The field maps and scattering tables, read once and shared by every run.
    std::shared_ptr<LoadedDataFiles> dataFiles = std::make_shared<LoadedDataFiles>();
    ResultsList resultsDb;
    std::optional<Genome> genome;  // none: still to be made
    std::optional<std::string> latticeName;
    QuarantineState quarantine;
    RunSettings runSettings;  // from the configuration, for the next run
    AutoSave autoSave;
    bool firstCycle = true;
    bool restored = false;
    bool checksumValid = true;  // this run's result may carry a valid checksum
    StopState stop = StopNone;
    bool running = true;  // false while paused or only viewing
    double trackingSeconds = 0;
    int64_t configTime = -1, userTime = -1;
};

// The checksum operation for this run's result; none stores it without one.
ChecksumFunction cycleChecksum(const CycleState& s);

// Reads "config.txt" again when it was written since the last look, and
// applies the switches over it; the runs the command line asked for keep
// counting down.
void watchConfiguration(CycleState& s);

// Choosing a lattice and a genome and building the run (or continuing an
// auto-saved one). Returns an exit status when the program is to end instead.
std::optional<int> prepareRun(CycleState& s);

// The run loop: time steps, progress, the window, auto-saves, battery and
// throttle, until the run finishes or the user asks to quit.
void trackRun(CycleState& s);
// With throttle p %, the sleep after `elapsed` seconds of work that makes the
// work p % of the wall-clock time, in whole milliseconds; none after a gap of
// 5 s or more (a battery sleep must not be made up for).
uint32_t throttleSleepMs(int throttle, double elapsed);

// The lattice to try when nothing else names one: one of the preferred
// lattices at random, or none when the folder holds no lattice.
std::optional<std::string> randomLattice();
