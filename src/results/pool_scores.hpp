// Scores as the search should read them. A noisy lattice gives one genome
// different scores on different runs: a lucky one must not decide which
// parents breed, so every record counts with the mean over the repeats of its
// genome (a quarantined record that holds the mean of "#runs" runs weighs as
// that many). And a record's own history: which trial type made it and
// whether it reached the top of the pool at the time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "results/optimiser_pool.hpp"

const PoolScores& poolScores(const OptimiserPool& pool);
inline double poolScore(const OptimiserPool& pool, size_t i) {
    return poolScores(pool).smoothed[i];
}

// Records of distinct genomes, best smoothed score first, at most `count`.
std::vector<size_t> poolBest(const OptimiserPool& pool, size_t count);

// The last `window` local records, oldest first: the trial type that made
// each ("#gen", -1 when absent) and whether its smoothed score was among the
// `top` best of the pool as it stood when the record joined (sample records
// count as known from the start).
struct RecentTrial {
    size_t record = 0;
    int trialType = -1;
    bool reachedTop = false;
};
std::vector<RecentTrial> poolRecentTrials(const OptimiserPool& pool, size_t window, size_t top);
