// The optimiser's pool: every known result of one lattice (the local results
// of that lattice, then the downloaded sample file from its last record to its
// first), and the tournament that picks parents from it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/genome.hpp"
#include "results/record.hpp"
#include "store/latticedir.hpp"

// What the pool says about its own scores (results/pool_scores.hpp), worked
// out once per pool when a trial first asks.
struct PoolScores {
    std::vector<double> smoothed;  // per record: the mean over its genome's repeats
    std::vector<uint32_t> group;   // per record: its genome's index among the distinct ones
    bool repeatsDiffer = false;    // some genome was scored twice with different scores
    bool repeatsAgree = false;     // some genome was scored twice with the same score
    bool transmits = false;        // some result scored above zero: not only penalties
};

struct OptimiserPool {
    std::vector<const ResultRecord*> records;  // into the caller's list or `samples`
    ResultsList samples;                       // the sample file's records, owned here
    size_t localCount = 0;                     // records[0 .. localCount) are local, oldest first
    mutable std::optional<PoolScores> scores;  // see poolScores

    size_t size() const { return records.size(); }
    const ResultRecord& operator[](size_t i) const { return *records[i]; }
};

// Local results whose lattice field names `lattice`, in list order. The pool
// refers to the records: `results` must outlive it.
void poolAddLocal(OptimiserPool& pool, const ResultsList& results, const std::string& lattice);
// "samplefiles/LATTICE.txt", read as a binary results file when it holds one
// and as text otherwise ("samplefiles/LATTICE.bin" when there is no ".txt").
// Call once per pool.
void poolAddSampleFile(OptimiserPool& pool, const std::string& lattice);
OptimiserPool buildPool(const ResultsList& results, const std::string& lattice);

// A parent: a pool record's genome without metadata, and its score.
struct Parent {
    Genome genome;
    double score = 0;
    bool found = false;  // false only for an empty pool
};

// The best (by smoothed score, see poolScore) of a random number of distinct
// records, visited by a walk with a random start and a step prime to the pool
// size: n^x draws for an exponent x drawn in [0, 2), so that small
// tournaments (exploration) are common and half of them visit most of the
// pool (and so mostly pick the best). Measured on the benchmark problems over
// a hundred seeds, a top of 1.25 (a fifth reaching the best) was slower on
// all five and left the twelve-parameter search stuck on more seeds.
Parent tournament(const OptimiserPool& pool);
// Two tournament winners, the second redrawn (at most 10 times) while it
// equals the first.
std::pair<Genome, Genome> twoParents(const OptimiserPool& pool);
