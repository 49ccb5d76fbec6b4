#include "results/trial_ratios.hpp"

#include <algorithm>
#include <cmath>

#include "results/pool_scores.hpp"

namespace {

constexpr size_t kLearnWindow = 300;
constexpr double kPriorUses = 5;
constexpr double kScaleLow = 0.1;
constexpr double kScaleHigh = 10;
constexpr size_t kLeastToLearn = 10;

// "The top of the pool": its best tenth, at least three and at most fifty.
size_t topCount(size_t poolSize) {
    return std::clamp<size_t>(poolSize / 10, 3, 50);
}

}  // namespace

double randomShare(size_t poolSize, bool transmits) {
    // Measured on the benchmark lattices (scripts/optimise-benchmark.sh):
    // shares that fall faster than n^-0.4 leave searches stuck on the flat
    // stretches where no design passes anything, which fresh random genomes
    // leave most surely; once a design passes, they only slow the climb.
    double n = static_cast<double>(std::max<size_t>(poolSize, 1));
    return transmits ? 1 / n : std::pow(n, -0.4);
}

TrialRatios learntRatios(const OptimiserPool& pool, const TrialRatios& configured) {
    TrialRatios ratios = configured;
    const PoolScores& scores = poolScores(pool);
    if (scores.repeatsAgree && !scores.repeatsDiffer) ratios[TrialRerun] = 0;

    std::array<double, kTrialTypeCount> uses{}, hits{};
    double allUses = 0, allHits = 0;
    for (const RecentTrial& trial : poolRecentTrials(pool, kLearnWindow, topCount(pool.size()))) {
        int t = trial.trialType;
        if (t <= TrialRandom || t >= kTrialTypeCount || t == TrialRerun) continue;
        if (configured[static_cast<size_t>(t)] <= 0) continue;
        uses[static_cast<size_t>(t)]++;
        allUses++;
        if (trial.reachedTop) {
            hits[static_cast<size_t>(t)]++;
            allHits++;
        }
    }
    if (allUses < kLeastToLearn || allHits == 0) return ratios;
    double overall = allHits / allUses;
    for (size_t t = 1; t < ratios.size(); t++) {
        if (t == TrialRerun || configured[t] <= 0) continue;
        double rate = (hits[t] + kPriorUses * overall) / (uses[t] + kPriorUses);
        ratios[t] = configured[t] * std::clamp(rate / overall, kScaleLow, kScaleHigh);
    }
    return ratios;
}
