// Rerun: one of the best genomes evaluated again, the one with the fewest
// runs behind its score, so that a score that was only lucky is found out
// once its repeats are averaged (poolScore).
#include <vector>

#include "results/pool_scores.hpp"
#include "results/trial_types.hpp"

namespace {

constexpr size_t kCandidates = 5;

}  // namespace

Genome trialRerun(const TrialContext& context) {
    const OptimiserPool& pool = context.pool;
    std::vector<size_t> best = poolBest(pool, kCandidates);
    if (best.empty()) return Genome{};
    const PoolScores& scores = poolScores(pool);
    std::vector<size_t> runs(best.size());
    for (size_t i = 0; i < pool.size(); i++) {
        for (size_t b = 0; b < best.size(); b++) {
            if (scores.group[i] == scores.group[best[b]]) runs[b]++;
        }
    }
    size_t chosen = 0;  // the better of equally tested genomes
    for (size_t b = 1; b < best.size(); b++) {
        if (runs[b] < runs[chosen]) chosen = b;
    }
    return genomeFromText(pool[best[chosen]].genomeLine, false);
}
