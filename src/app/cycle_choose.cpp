// Steps of the cycle before tracking: continue an auto-saved run, or choose
// a lattice and a genome and build the run, replacing lattices that cannot
// be built.
#include "app/cmdline.hpp"
#include "app/cycle_state.hpp"
#include "app/run_options.hpp"
#include "app/run_request.hpp"
#include "app/settings.hpp"
#include "common/random.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "platform/clock.hpp"
#include "results/checksum.hpp"
#include "results/optimiser.hpp"
#include "results/score_line.hpp"
#include "results/text_results.hpp"
#include "store/latticedir.hpp"

namespace {

// Consecutive build failures after which no lattice is taken to be usable
// by this version.
constexpr int kMaxBuildFailures = 1000;

bool tryRestore(CycleState& s) {
    if (s.latticeName || !s.firstCycle || runOptions.queueOnly || runOptions.recheckLast) {
        return false;
    }
    s.simState.dataFiles = s.dataFiles;
    if (!autoSaveRestore(s.autoSave, s.simState, s.genome.emplace(), s.quarantine,
                         monotonicSeconds())) {
        s.genome.reset();
        return false;
    }
    runConfigure(s.simState, s.runSettings);
    // The save does not record which overrides built the run; a command
    // line with any keeps the result from counting.
    s.checksumValid = runOptions.resultChecksum && !s.line.paramOverrides;
    return true;
}

// Builds the run of the chosen lattice and genome; false when it cannot be.
bool build(CycleState& s) {
    SetupRequest request = clientRunRequest(*s.latticeName, s.line.text);
    RecheckRun recheck = recheckRunOf(*s.genome);
    request.recheck = recheck.recheck;
    request.recheckRun = recheck.run;
    request.graphics = displayMode == DisplayGraphics;
    request.dataFiles = s.dataFiles;
    SetupOutcome outcome;
    s.simState = runBuild(request, *s.genome, s.runSettings, &outcome);
    s.checksumValid = runOptions.resultChecksum && outcome.overrides == 0;
    return static_cast<bool>(s.simState.root);
}

}  // namespace

ChecksumFunction cycleChecksum(const CycleState& s) {
    return s.checksumValid ? ChecksumFunction(recordChecksum) : ChecksumFunction();
}

std::optional<std::string> randomLattice() {
    std::vector<std::string> lattices = preferredlattices(settings.preferredLattices);
    if (lattices.empty()) return std::nullopt;
    return lattices[static_cast<size_t>(randomBelow(static_cast<int64_t>(lattices.size())))];
}

std::optional<int> prepareRun(CycleState& s) {
    report("New simulation");
    s.latticeName.reset();
    if (s.line.latticeWord) s.latticeName = latticeSpelling(*s.line.latticeWord);
    s.quarantine.queuePath = runOptions.queueFileName;
    s.quarantine.requiredRuns = settings.requiredRuns;
    s.quarantine.removedStore = settings.removedStore;
    s.restored = tryRestore(s);
    if (s.restored) return std::nullopt;

    for (int failures = 0;;) {
        ChecksumFunction checksum =
            runOptions.resultChecksum ? ChecksumFunction(recordChecksum) : ChecksumFunction();
        std::optional<Genome> queued = takeFromQueue(s.latticeName, checksum, &s.quarantine);
        bool fromQueue = queued.has_value();
        s.genome = std::move(queued);
        if (!s.latticeName) {
            if (runOptions.queueOnly) {
                report("No more results from queue to check.");
                return 0;
            }
            if (runOptions.recheckLast && s.resultsDb.count() > 0) {
                s.latticeName = readLattice(s.resultsDb[s.resultsDb.count() - 1].scoreLine);
            }
            if (!s.latticeName) s.latticeName = randomLattice();
            if (!s.latticeName) {
                report("[FATAL] No lattice files, or lattice directory doesn't exist.");
                return kExitFatal;
            }
        }
        if (!s.genome) {
            int mode = runOptions.recheckLast ? kModeSetFromFile : kModeByRatios;
            s.genome =
                makeGenome(s.resultsDb, *s.latticeName, mode, std::nullopt, optimiserSettings());
        }
        s.autoSave.runStartTime = monotonicSeconds();
        if (build(s)) return std::nullopt;

        if (++failures >= kMaxBuildFailures) {
            report(
                "[FATAL] No lattices found compatible with current Pelto version - please "
                "upgrade.");
            return kExitFatal;
        }
        if (fromQueue && s.quarantine.queuePath) {
            // A queued result whose lattice no longer builds would be taken
            // again at every attempt and at every start: it is given up.
            reportf("Queued result for lattice '%s' cannot be built; removed from the queue",
                    s.latticeName->c_str());
            dropFirstResultIfPresent(*s.quarantine.queuePath);
        }
        s.genome.reset();
        s.latticeName.reset();
    }
}
