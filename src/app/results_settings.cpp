#include "app/results_settings.hpp"

#include <algorithm>

#include "app/run_options.hpp"
#include "app/settings.hpp"

void quarantineFromSettings(QuarantineState& state) {
    state.queuePath = runOptions.queueFileName;
    state.requiredRuns = std::max(kMinRequiredRuns, settings.requiredRuns);
}

PruneSettings pruneFromSettings() {
    return PruneSettings{settings.resultsMaxBytes, settings.keepProportion, settings.keepMode,
                         settings.removedStore};
}

void autoSaveFromSettings(AutoSave& save) {
    save.path = runOptions.autoSaveFileName;
    save.interval = settings.autoSaveInterval;
    save.off = settings.autoSaveOff;
}
