#include "results/optimise_runs.hpp"

#include <algorithm>
#include <cmath>

#include "results/text_results.hpp"

int optimiseRuns(const OptimiseRequest& request, ResultsList& results, const ScoreRun& scoreRun,
                 const std::function<void(const OptimiseStep&)>& done) {
    double best = -INFINITY;
    for (const ResultRecord& record : results) {
        if (latticeMatches(record.scoreLine, request.lattice)) best = std::max(best, record.score);
    }
    for (int run = 1; run <= request.runs; run++) {
        MadeGenome made =
            makeTrial(results, request.lattice, kModeByRatios, std::nullopt, request.settings);
        std::optional<RunScore> scored = scoreRun(made.genome, run);
        if (!scored) return run - 1;
        ResultRecord record = formatScoreLine(made.genome, scored->score, scored->work,
                                              {request.version, request.lattice, ""},
                                              request.checksum, kProgramFormat);
        if (!request.resultsPath.empty() && !appendResult(record, request.resultsPath)) {
            return run - 1;
        }
        // The stored score, rounded to its printed decimals, is what counts.
        best = std::max(best, record.score);
        listAppend(results, std::move(record));
        if (done) done({run, made.mode, results[results.count() - 1].score, best});
    }
    return request.runs;
}
