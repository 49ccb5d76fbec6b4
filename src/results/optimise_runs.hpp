// A lattice author's optimisation: run after run, the optimiser proposes a
// genome from the results so far, the run is scored, and the result joins
// the results file as the client would store it (no quarantine).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "results/optimiser.hpp"
#include "results/record.hpp"

struct RunScore {
    double score = 0;
    double work = 0;  // millions of particle timesteps
};

// Builds and tracks one run of the lattice with `genome`, which the lattice
// completes with the parameters it lacks. None when no run could be built.
using ScoreRun = std::function<std::optional<RunScore>(Genome& genome, int run)>;

struct OptimiseRequest {
    std::string lattice;
    int runs = 0;
    OptimiserSettings settings;
    std::string resultsPath = "results.dat";  // empty: kept in the list only
    std::string version;                      // the score lines' version field
    ChecksumFunction checksum;                // none: stored without a valid checksum
};

struct OptimiseStep {
    int run = 0;  // from 1
    int mode = 0;
    double score = 0;
    double best = 0;  // best of the lattice's results, this one included
};

// Runs `request.runs` evaluations, appending each to `results` and to the
// results file. Returns the number of runs stored; it stops early when a run
// cannot be built or stored.
int optimiseRuns(const OptimiseRequest& request, ResultsList& results, const ScoreRun& scoreRun,
                 const std::function<void(const OptimiseStep&)>& done);
