// LocalGrad: fits the slope of the score over the parent's nearest results
// and steps along it.
#include <algorithm>
#include <cmath>
#include <vector>

#include "common/random.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "results/pool_scores.hpp"
#include "results/record_levels.hpp"
#include "results/trial_types.hpp"

namespace {

struct Neighbour {
    double distance2;
    size_t arrival;  // ties keep the order the records were visited in
    size_t record;
};

}  // namespace

Genome trialLocalGrad(const TrialContext& context) {
    const OptimiserPool& pool = context.pool;
    Parent parent = tournament(pool);
    const Genome& p = parent.genome;
    if (p.count() == 0) return Genome{};
    size_t n = pool.size();
    size_t k = static_cast<size_t>(std::floor(std::pow(static_cast<double>(n), uniform(1))));
    k = std::clamp<size_t>(k, 1, n);

    RecordLevels reader(p, static_cast<int32_t>(context.levels / 2));
    size_t m = static_cast<size_t>(p.count());
    std::vector<Neighbour> all;
    all.reserve(n);
    for (size_t i = n; i-- > 0;) {
        if (i % 100 == 0) {
            reportProgress(format("TrialType=%s, locating nearby genomes... %d", context.name,
                                  static_cast<int>(i)));
        }
        const std::vector<int32_t>& r = reader.read(pool[i].genomeLine);
        double d2 = 0;
        for (size_t j = 0; j < m; j++) {
            double d = static_cast<double>(r[j]) - p.levels[j];
            d2 += d * d;
        }
        all.push_back({d2, all.size(), i});
    }
    // The k nearest, nearest first, equal distances in visiting order: the
    // same list as keeping k sorted slots and inserting each record after
    // those not farther than it.
    auto nearer = [](const Neighbour& a, const Neighbour& b) {
        return a.distance2 < b.distance2 || (a.distance2 == b.distance2 && a.arrival < b.arrival);
    };
    std::partial_sort(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(k), all.end(), nearer);
    all.resize(k);
    double farthest = all.back().distance2;

    // Least-squares slope per parameter through the parent's point.
    std::vector<double> moved(m), squares(m);
    for (const Neighbour& near : all) {
        const std::vector<int32_t>& r = reader.read(pool[near.record].genomeLine);
        double scoreDiff = poolScore(pool, near.record) - parent.score;
        for (size_t j = 0; j < m; j++) {
            double diff = static_cast<double>(r[j]) - p.levels[j];
            moved[j] += scoreDiff * diff;
            squares[j] += diff * diff;
        }
    }
    std::vector<double> slope(m);
    double norm2 = 1e-99;
    for (size_t j = 0; j < m; j++) {
        slope[j] = moved[j] / (1e-20 + squares[j]);
        norm2 += slope[j] * slope[j];
    }
    // Up to the neighbourhood's radius, and now and then much further.
    double w = uniform(2);
    double radius = std::sqrt(farthest);
    double step = w <= 1 ? w * radius : radius / (2.000001 - w);
    Genome g;
    for (size_t j = 0; j < m; j++) {
        genomeSet(g, p.names[j], truncLevel(p.levels[j] + step / std::sqrt(norm2) * slope[j]));
    }
    return g;
}
