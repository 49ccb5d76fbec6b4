#include "run/run_outcome.hpp"

#include "common/text.hpp"

std::string storedText(const StoreOutcome& stored) {
    switch (stored.where) {
        case StoredWhere::Quarantine:
            return format("quarantine %d of %d", stored.quarantineRun, stored.requiredRuns);
        case StoredWhere::Dropped:
            return "dropped (the results file could not be written)";
        case StoredWhere::Stored:
            break;
    }
    if (stored.passedQuarantine) {
        return format("passed quarantine, stored with the trimmed mean %.6g of %d runs",
                      stored.score, stored.requiredRuns);
    }
    return "stored";
}

std::string runOutcomeLine(const RunSummary& run) {
    std::string best = run.bestRechecked ? format("%.6g", *run.bestRechecked) : "none yet";
    std::string rate = run.seconds > 0 ? format(", %.3g Mpts/s", run.work / run.seconds) : "";
    // Significant digits rather than decimals: a test run takes milliseconds
    // and a fraction of a Mpts, a production run minutes and thousands.
    return format(
        "Run finished: lattice %s, score %.6g (best rechecked: %s), %s; %.3g s, %.4g "
        "Mpts%s",
        run.lattice.c_str(), run.score, best.c_str(), storedText(run.stored).c_str(), run.seconds,
        run.work, rate.c_str());
}
