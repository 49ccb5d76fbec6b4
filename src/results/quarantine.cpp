#include "results/quarantine.hpp"

#include <algorithm>

#include "common/report.hpp"
#include "common/text.hpp"
#include "common/version.hpp"
#include "results/text_results.hpp"
#include "store/latticedir.hpp"

namespace {

constexpr double kNoBest = -9e99;

std::optional<ResultRecord> firstQueueRecord(const std::string& path,
                                             const ChecksumFunction& checksum) {
    RecordReader reader;
    if (!recordReaderOpen(reader, path)) return std::nullopt;
    return readRecord(reader, std::nullopt, checksum, true);
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

void storeDirectly(Genome& genome, double score, double extra, const ScoreLineFields& fields,
                   const ChecksumFunction& checksum, ResultsList& results,
                   const ResultFormat& format, const ResultPaths& paths) {
    genomeRemove(genome, "#queued");
    ResultRecord record = formatScoreLine(genome, score, extra, fields, checksum, format);
    if (!paths.database.empty()) appendResult(record, paths.database);
    if (!paths.upload.empty()) appendResult(record, paths.upload);
    listAppend(results, std::move(record));
}

}  // namespace

std::optional<Genome> takeFromQueue(std::optional<std::string>& latticeName,
                                    const ChecksumFunction& checksum, QuarantineState* state) {
    if (!state) return std::nullopt;
    state->pending = false;
    if (!state->queuePath) return std::nullopt;
    state->scores.clear();
    state->extraTotal = 0;

    std::optional<ResultRecord> record = firstQueueRecord(*state->queuePath, checksum);
    if (!record) return std::nullopt;
    std::optional<std::string> lattice = readLattice(record->scoreLine);
    if (!lattice) return std::nullopt;
    if (!latticepresent(lattice)) {
        dropFirstResultIfPresent(*state->queuePath);
        return std::nullopt;
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

void storeResult(Genome genome, double score, double extra,
                 const std::optional<std::string>& latticeName, const ChecksumFunction& checksum,
                 const std::optional<std::string>& trailing, ResultsList& results,
                 const ResultFormat& format, QuarantineState* state, const ResultPaths& paths) {
    score = roundTo(score, format.scoreDecimals);
    extra = roundTo(extra, format.extraDecimals);
    ScoreLineFields fields{std::string(kVersionText), latticeName, trailing};
    bool quarantine = state && state->queuePath;
    bool headConsumed = false;
    if (quarantine) {
        if (genomeGet(genome, "#queued") == kQueuedRecheck) {
            addRecheck(genome, score, extra, format, *state);
        } else {
            considerNewResult(genome, score, latticeName, results, *state);
        }
        headConsumed =
            genomeGet(genome, "#queued") == kQueuedTest || genomeGet(genome, "#runs") >= 2;
    }

    if (quarantine && state->pending) {
        // The new head replaces the consumed one in a single rewrite: no
        // moment exists at which the queue holds neither.
        genomeSet(genome, "#queued", kQueuedRecheck);
        ResultRecord record =
            formatScoreLineList(genome, state->scores, extra, fields, checksum, format);
        if (headConsumed) {
            replaceFirstResult(record, *state->queuePath);
        } else {
            prependResult(record, *state->queuePath);
        }
        return;
    }
    storeDirectly(genome, score, extra, fields, checksum, results, format, paths);
    // Only once the result is safely in the results files is the queue record
    // that produced it removed. A queue that has vanished or cannot be read
    // loses nothing: the result is stored already.
    if (headConsumed && !dropFirstResultIfPresent(*state->queuePath)) {
        reportf("[WARNING] Could not remove the rechecked result from '%s'",
                state->queuePath->c_str());
    }
}

RecheckRun recheckRunOf(const Genome& genome) {
    RecheckRun run;
    run.recheck = genomeGet(genome, "#queued") == kQueuedRecheck;
    if (run.recheck) run.run = static_cast<uint32_t>(std::max(0, genomeGet(genome, "#runs")));
    return run;
}
