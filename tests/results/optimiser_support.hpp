// Pools of results for the optimiser's tests, and draws fixed in advance.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "common/random.hpp"
#include "results/optimiser_pool.hpp"
#include "support/test_support.hpp"

// uniform(x) returns the next fraction times x. Past the end of the script it
// counts the overrun and goes on with an evenly spread sequence, so that a
// loop that redraws until it likes a value still ends.
class ScriptedDraws {
  public:
    explicit ScriptedDraws(std::vector<double> fractions) : fractions_(std::move(fractions)) {
        setUniformSource([this]() {
            if (next_ < fractions_.size()) return fractions_[next_++];
            overrun_++;
            double spread = overrun_ * 0.6180339887498949;
            return spread - static_cast<double>(static_cast<int64_t>(spread));
        });
    }
    ~ScriptedDraws() { setUniformSource(nullptr); }
    ScriptedDraws(const ScriptedDraws&) = delete;
    ScriptedDraws& operator=(const ScriptedDraws&) = delete;

    size_t used() const { return next_; }
    bool allUsed() const { return next_ == fractions_.size() && overrun_ == 0; }

  private:
    std::vector<double> fractions_;
    size_t next_ = 0;
    int overrun_ = 0;
};

// The fraction that makes randomBelow(n) give k.
inline double below(int64_t k, int64_t n) {
    return (static_cast<double>(k) + 0.5) / static_cast<double>(n);
}

// Draws that make a tournament pick exactly record `k` of a pool of n: the
// smallest tournament (exponent 0 gives one visit), starting at k, step 1.
inline std::vector<double> pick(int64_t k, int64_t n) {
    std::vector<double> draws{0.0, below(k, n)};
    if (n >= 2) draws.push_back(below(0, n - 1));
    return draws;
}

inline std::vector<double> concat(std::vector<std::vector<double>> parts) {
    std::vector<double> all;
    for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Records of lattice "lat" (or the one named) with the given genome lines and
// scores, as a results file would hold them.
inline ResultsList resultsOf(const std::vector<std::pair<std::string, double>>& entries,
                             const std::string& lattice = "lat") {
    ResultsList list;
    listInit(list);
    for (const auto& [genome, score] : entries) {
        char line[128];
        std::snprintf(line, sizeof line, "%.6f (1.0 Mpts) [v4.44d] <%s> ", score, lattice.c_str());
        listAppend(list, ResultRecord{genome, line, score});
    }
    return list;
}

inline OptimiserPool localPool(const ResultsList& results, const std::string& lattice = "lat") {
    OptimiserPool pool;
    listInit(pool.samples);
    poolAddLocal(pool, results, lattice);
    return pool;
}
