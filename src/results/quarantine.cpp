#include "results/quarantine.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/report.hpp"
#include "common/text.hpp"
#include "common/version.hpp"
#include "results/text_results.hpp"
#include "store/latticedir.hpp"

namespace {

constexpr double kNoBest = -9e99;

// The first record of the queue as it stands, before any acceptance test.
std::optional<ResultRecord> firstQueueRecord(const std::string& path) {
    RecordReader reader;
    if (!recordReaderOpen(reader, path)) return std::nullopt;
    ResultRecord record;
    if (!readRecordPair(reader, record.genomeLine, record.scoreLine)) return std::nullopt;
    record.score = std::strtod(record.scoreLine.c_str(), nullptr);
    return record;
}

// Why a queue record of a present lattice cannot be rechecked, or nullptr.
// Test records are run as they are.
const char* unusableReason(const ResultRecord& record, const ChecksumFunction& checksum) {
    if (isTestScoreLine(record.scoreLine)) return nullptr;
    if (kMinVersion > readVersion(record.scoreLine)) return "its version is too old";
    if (checksum &&
        checksum(record.genomeLine, record.scoreLine) != readChecksum(record.scoreLine)) {
        return "bad checksum: its lattice or data files changed since it was queued";
    }
    return nullptr;
}

// Moves the queue's first record to the removed-results store. False when
// the queue could not be rewritten (the record is then left for next time).
bool retireQueueHead(const ResultRecord& record, const std::string& lattice, const char* reason,
                     const QuarantineState& state) {
    bool kept = !state.removedStore.empty() && appendResult(record, state.removedStore);
    if (kept) {
        reportf("Queued result for lattice '%s' cannot be rechecked (%s); moved to '%s'",
                lattice.c_str(), reason, state.removedStore.c_str());
    } else {
        reportf("Queued result for lattice '%s' cannot be rechecked (%s); removed from the queue",
                lattice.c_str(), reason);
    }
    return dropFirstResultIfPresent(*state.queuePath);
}

// The best score among the fully rechecked results of the lattice, scanning
// from the newest; stops early once one beats `score`.
double bestRechecked(const ResultsList& results, const std::optional<std::string>& latticeName,
                     int32_t requiredRuns, double score, bool& beaten) {
    double best = kNoBest;
    beaten = false;
    if (!latticeName) return best;
    for (uint32_t i = results.count(); i-- > 0;) {
        const ResultRecord& record = results[i];
        std::optional<std::string> lattice = readLattice(record.scoreLine);
        if (!lattice || !equalNoCase(*lattice, *latticeName)) continue;
        if (genomeGet(genomeFromText(record.genomeLine, true), "#runs") < requiredRuns) continue;
        best = std::max(best, record.score);
        if (score < best) {
            beaten = true;
            break;
        }
    }
    return best;
}

// Decides whether a new result (or a test record's) enters quarantine.
void considerNewResult(Genome& genome, double score, const std::optional<std::string>& latticeName,
                       const ResultsList& results, QuarantineState& state) {
    bool beaten = false;
    double best = bestRechecked(results, latticeName, state.requiredRuns, score, beaten);
    if (beaten) return;
    const char* name = latticeName ? latticeName->c_str() : "(none)";
    reportf("Initiating quarantine of score %lg", score);
    if (best == kNoBest) {
        reportf("  (no rechecked scores for %s found)", name);
    } else {
        reportf("  (best rechecked score for %s is %lg)", name, best);
    }
    if (state.requiredRuns < 2) {
        report("Quarantine finished rather quickly (only 1 result needed)");
    } else {
        state.scores.assign(1, score);
        state.pending = true;
    }
    genomeSet(genome, "#runs", 1);
}

// A recheck run of the genome in quarantine: one more score, the work of all
// runs, and the trimmed mean once enough runs are done.
void addRecheck(Genome& genome, double& score, double& extra, const ResultFormat& format,
                QuarantineState& state) {
    int32_t runs = std::max(0, genomeGet(genome, "#runs")) + 1;
    genomeSet(genome, "#runs", runs);
    state.scores.push_back(score);
    reportf("Quarantined result has now been run %d of %d times", runs, state.requiredRuns);
    extra = roundTo(extra + state.extraTotal, 1);
    if (runs < state.requiredRuns) {
        state.pending = true;
        return;
    }
    score = trimmedMean(state.scores, format);
    reportf("Result passed quarantine with score %lg, will be added to results file", score);
    state.pending = false;
}

// False when the record could not be written to the results database.
bool storeDirectly(Genome& genome, double score, double extra, const ScoreLineFields& fields,
                   const ChecksumFunction& checksum, ResultsList& results,
                   const ResultFormat& format, const ResultPaths& paths) {
    genomeRemove(genome, "#queued");
    ResultRecord record = formatScoreLine(genome, score, extra, fields, checksum, format);
    bool kept = paths.database.empty() || appendResult(record, paths.database);
    if (!paths.upload.empty()) appendResult(record, paths.upload);
    listAppend(results, std::move(record));
    return kept;
}

}  // namespace

std::optional<Genome> takeFromQueue(std::optional<std::string>& latticeName,
                                    const ChecksumFunction& checksum, QuarantineState* state) {
    if (!state) return std::nullopt;
    state->pending = false;
    if (!state->queuePath) return std::nullopt;
    state->scores.clear();
    state->extraTotal = 0;

    std::optional<ResultRecord> record;
    std::optional<std::string> lattice;
    for (;;) {
        record = firstQueueRecord(*state->queuePath);
        if (!record) return std::nullopt;
        lattice = readLattice(record->scoreLine);
        if (!lattice) return std::nullopt;
        if (!latticepresent(lattice)) {
            dropFirstResultIfPresent(*state->queuePath);
            return std::nullopt;
        }
        const char* reason = unusableReason(*record, checksum);
        if (!reason) break;
        if (!retireQueueHead(*record, *lattice, reason, *state)) return std::nullopt;
    }
    if (latticeName && !equalNoCase(*latticeName, *lattice)) return std::nullopt;

    int32_t kind = 0;
    if (isTestScoreLine(record->scoreLine)) {
        report("Testing result from queue file");
        kind = kQueuedTest;
    }
    if (containsNoCase(record->genomeLine, "#queued")) {
        report("Rechecking quarantined result");
        state->pending = true;
        state->scores = readScoreList(record->scoreLine);
        state->extraTotal = readExtra(record->scoreLine);
        kind = kQueuedRecheck;
    }
    if (kind == 0) return std::nullopt;

    if (!latticeName) latticeName = lattice;
    Genome genome = genomeFromText(record->genomeLine, kind == kQueuedRecheck);
    genomeSet(genome, "#queued", kind);
    return genome;
}

StoreOutcome storeResult(Genome genome, double score, double extra,
                         const std::optional<std::string>& latticeName,
                         const ChecksumFunction& checksum,
                         const std::optional<std::string>& trailing, ResultsList& results,
                         const ResultFormat& format, QuarantineState* state,
                         const ResultPaths& paths) {
    StoreOutcome outcome;
    score = roundTo(score, format.scoreDecimals);
    extra = roundTo(extra, format.extraDecimals);
    ScoreLineFields fields{std::string(kVersionText), latticeName, trailing};
    bool queue = state && state->queuePath;
    // Without a checksum the result can never count: rechecking it would
    // only leave a record in the queue that fails its test at every start.
    bool quarantine = queue && static_cast<bool>(checksum);
    bool headConsumed = queue && genomeGet(genome, "#queued") == kQueuedTest;
    if (queue && !quarantine) state->pending = false;
    if (quarantine) {
        if (genomeGet(genome, "#queued") == kQueuedRecheck) {
            addRecheck(genome, score, extra, format, *state);
        } else {
            considerNewResult(genome, score, latticeName, results, *state);
        }
        headConsumed =
            genomeGet(genome, "#queued") == kQueuedTest || genomeGet(genome, "#runs") >= 2;
        outcome.quarantineRun = std::max(0, genomeGet(genome, "#runs"));
        outcome.requiredRuns = state->requiredRuns;
        outcome.passedQuarantine =
            genomeGet(genome, "#queued") == kQueuedRecheck && !state->pending;
    }
    outcome.score = score;

    if (quarantine && state->pending) {
        // The new head replaces the consumed one in a single rewrite: no
        // moment exists at which the queue holds neither.
        genomeSet(genome, "#queued", kQueuedRecheck);
        ResultRecord record =
            formatScoreLineList(genome, state->scores, extra, fields, checksum, format);
        bool queued = headConsumed ? replaceFirstResult(record, *state->queuePath)
                                   : prependResult(record, *state->queuePath);
        outcome.where = queued ? StoredWhere::Quarantine : StoredWhere::Dropped;
        return outcome;
    }
    if (!storeDirectly(genome, score, extra, fields, checksum, results, format, paths)) {
        outcome.where = StoredWhere::Dropped;
    }
    // Only once the result is safely in the results files is the queue record
    // that produced it removed. A queue that has vanished or cannot be read
    // loses nothing: the result is stored already.
    if (headConsumed && !dropFirstResultIfPresent(*state->queuePath)) {
        reportf("[WARNING] Could not remove the rechecked result from '%s'",
                state->queuePath->c_str());
    }
    return outcome;
}

RecheckRun recheckRunOf(const Genome& genome) {
    RecheckRun run;
    run.recheck = genomeGet(genome, "#queued") == kQueuedRecheck;
    if (run.recheck) run.run = static_cast<uint32_t>(std::max(0, genomeGet(genome, "#runs")));
    return run;
}

std::optional<double> bestRecheckedScore(const ResultsList& results,
                                         const std::optional<std::string>& latticeName,
                                         int32_t requiredRuns) {
    bool beaten = false;
    double best = bestRechecked(results, latticeName, requiredRuns, HUGE_VAL, beaten);
    if (best == kNoBest) return std::nullopt;
    return best;
}
