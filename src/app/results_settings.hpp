// The settings of the configuration and the command line that the results
// layer and the auto-save work with, gathered where the main cycle needs them.
#pragma once

#include "app/autosave.hpp"
#include "results/prune.hpp"
#include "results/quarantine.hpp"

// The queue file of the display mode and the required number of rechecks.
// Keeps the scores of a state already in use.
void quarantineFromSettings(QuarantineState& state);
PruneSettings pruneFromSettings();
// The auto-save file of the display mode and its interval; keeps the timer.
void autoSaveFromSettings(AutoSave& save);
