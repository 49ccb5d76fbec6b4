// The one line that tells the user how a run ended: the lattice, the score,
// the best fully rechecked score of the lattice, where the result went, and
// what the run took. The client prints it after every run and keeps it in
// its state for the status.
#pragma once

#include <optional>
#include <string>

#include "results/quarantine.hpp"

struct RunSummary {
    std::string lattice;
    double score = 0;                     // this run's score
    std::optional<double> bestRechecked;  // of the lattice, after this result was stored
    StoreOutcome stored;
    double seconds = 0;  // tracking time of this run
    double work = 0;     // millions of particle time steps
};

std::string runOutcomeLine(const RunSummary& run);
// Where a result went, in words: "stored", "quarantine 2 of 5", ...
std::string storedText(const StoreOutcome& stored);
