// Auto-save and restore of the running simulation: saved at an interval and
// when the user quits, restored at the first cycle after start-up, deleted
// when the run finishes.
#pragma once

#include <string>

#include "beamline/simulation.hpp"
#include "model/genome.hpp"
#include "results/quarantine.hpp"

struct AutoSave {
    std::string path;         // per display mode: "auto.sav", "autocli.sav", "autogfx.sav"
    double interval = 240;    // seconds between saves
    bool off = false;         // no saves; an existing file is deleted
    double runStartTime = 0;  // reference of the interval timer, seconds
};

// Once per pass of the run loop (force false) and when the user quits (force
// true). Returns whether a save was written.
bool autoSaveTick(AutoSave& save, const Simulation& simulation, const Genome& genome,
                  const QuarantineState& quarantine, bool force, double now);
// Continues a saved run; false (and a new run) when there is none to use.
bool autoSaveRestore(AutoSave& save, Simulation& simulation, Genome& genome,
                     QuarantineState& quarantine, double now);
// The run finished: its save must not be restored.
void autoSaveDiscard(const AutoSave& save);
