// The main cycle, one run per pass: watch the configuration and the user
// name, load the results once, keep the downloads fresh, prepare and track a
// run, then store its result, send and prune. A stop request ends the
// program after the run in progress has been saved.
#include "app/cycle.hpp"

#include <algorithm>

#include "app/component_list.hpp"
#include "app/config.hpp"
#include "app/cycle_state.hpp"
#include "app/graphics.hpp"
#include "app/net_config.hpp"
#include "app/run_options.hpp"
#include "app/settings.hpp"
#include "app/switches.hpp"
#include "app/username.hpp"
#include "beamline/cell_print.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "net/download.hpp"
#include "net/upload.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "platform/signals.hpp"
#include "results/prune.hpp"
#include "results/score_line.hpp"
#include "results/text_results.hpp"
#include "run/client_state.hpp"
#include "run/run.hpp"
#include "run/run_outcome.hpp"
#include "store/latticedir.hpp"

namespace {

constexpr const char* kResultsDatabase = "results.dat";
// "results.txt" is sent once it holds this many bytes or records.
constexpr int64_t kAutoSendBytes = 100000;
constexpr int32_t kAutoSendRecords = 50;

void refreshAutoSave(AutoSave& save) {
    save.path = runOptions.autoSaveFileName;
    save.interval = settings.autoSaveInterval;
    save.off = settings.autoSaveOff;
}

RunSettings configureThreads() {
    if (settings.threadCount <= 0) {
        int n = logicalProcessorCount();
        reportf("Detected %d logical processors", n);
        settings.threadCount = std::max(1, n);
    }
    RunSettings run;
    run.maxThreads = settings.threadCount;
    run.particlesPerThread = std::max(1, settings.particlesPerExtraThread);
    run.loadBalanceLog = runOptions.loadBalancingLog;
    run.loadBalanceFile = runOptions.loadBalancingFile;
    return run;
}

// Without a window, viewing a lattice means listing the beamline it builds.
void showBeamline(const Simulation& sim) {
    if (displayMode == DisplayBackground) return;
    consoleWrite("\n");
    consoleWrite(Cell_print(*sim.root, true, ' '));
}

void autoSend() {
    if (!settings.autoSend) return;
    if (fileSize(kResultsToSend) >= kAutoSendBytes ||
        countResults(kResultsToSend, std::nullopt) >= kAutoSendRecords) {
        clientStateSent(sendOutcomeText(sendResults(kResultsToSend, currentNetSettings())));
    }
}

void prune() {
    if (settings.resultsMaxBytes == 0) return;
    PruneSettings prune;
    prune.maxBytes = settings.resultsMaxBytes;
    prune.keepProportion = settings.keepProportion;
    prune.keepMode = settings.keepMode;
    prune.removedStore = settings.removedStore;
    pruneResults(kResultsDatabase, prune);
}

void releaseRun(CycleState& s) {
    s.simState = Simulation{};
    s.genome.reset();
}

// The steps after the run loop. Returns the exit status when the program is
// to end.
std::optional<int> finishRun(CycleState& s, double trackedBefore) {
    forgetlatticelist();
    if (s.stop == StopQuit) storeDisplaySettings();
    if (runOptions.viewOnly) return 0;
    runMergeOutputs();
    if (s.stop == StopQuit) {
        autoSaveTick(s.autoSave, s.simState, *s.genome, s.quarantine, true, monotonicSeconds());
        return 0;
    }
    autoSaveDiscard(s.autoSave);
    double score = runScore(s.simState);
    std::optional<std::string> lattice = s.simState.root->name;
    RunSummary summary;
    summary.lattice = *lattice;
    summary.score = roundTo(score, kProgramFormat.scoreDecimals);
    summary.seconds = s.trackingSeconds - trackedBefore;
    summary.work = s.simState.work;
    summary.stored =
        storeResult(std::move(*s.genome), score, s.simState.work, lattice, cycleChecksum(s),
                    std::nullopt, s.resultsDb, kProgramFormat, &s.quarantine, ResultPaths{});
    summary.bestRechecked = bestRecheckedScore(s.resultsDb, lattice, s.quarantine.requiredRuns);
    std::string outcome = runOutcomeLine(summary);
    report(outcome);
    clientStateRunFinished(outcome);
    releaseRun(s);
    autoSend();
    prune();
    if (runOptions.runsLeft > 0 && --runOptions.runsLeft == 0) return 0;
    return std::nullopt;
}

// One cycle; returns the exit status when the program is to end.
std::optional<int> cycleOnce(CycleState& s) {
    if (stopRequested()) return 0;  // between runs there is nothing to save
    watchConfiguration(s);
    watchUserName(s.userTime);
    if (s.firstCycle) {
        s.resultsDb = loadResults(kResultsDatabase, std::nullopt);
        if (s.line.componentListAsked()) {
            return writeComponentList(s.line, s.resultsDb);
        }
    }
    runDownloadChecks(currentNetSettings(),
                      [] { return preferredlattices(settings.preferredLattices); });
    s.runSettings = configureThreads();
    refreshAutoSave(s.autoSave);

    if (std::optional<int> end = prepareRun(s)) return end;
    s.latticeName.reset();
    if (runOptions.haltAfterInit) return 0;
    s.firstCycle = false;
    s.stop = StopNone;
    report("- Starting -");
    if (runOptions.viewOnly && displayMode != DisplayGraphics) {
        showBeamline(s.simState);
        return 0;
    }
    // A stop signal at a prompt during the run saves it as a stop between
    // time steps would.
    setStopSaveHook([&s] {
        storeDisplaySettings();
        autoSaveTick(s.autoSave, s.simState, *s.genome, s.quarantine, true, monotonicSeconds());
    });
    if (!runOptions.viewOnly) clientStateRunStarted(s.simState.root->name);
    double trackedBefore = s.trackingSeconds;
    trackRun(s);
    setStopSaveHook(nullptr);
    return finishRun(s, trackedBefore);
}

}  // namespace

void watchConfiguration(CycleState& s) {
    int64_t stamp = fileModTimeNs(kConfigFile);
    if (stamp == s.configTime) return;
    // The command line has not changed: the runs it asked for keep counting
    // down instead of starting again.
    int32_t runsLeft = runOptions.runsLeft;
    ConfigReadOutcome outcome = configRead(kConfigFile);
    applySwitches(s.line);
    runOptions.runsLeft = runsLeft;
    reportConfigProblem(outcome, kConfigFile);
    s.configTime = fileModTimeNs(kConfigFile);
}

int mainCycle(const CommandLine& line) {
    CycleState s;
    s.line = line;
    s.configTime = fileModTimeNs(kConfigFile);
    s.userTime = fileModTime(kUserFile);
    listInit(s.resultsDb);
    for (;;) {
        if (std::optional<int> status = cycleOnce(s)) return *status;
    }
}
