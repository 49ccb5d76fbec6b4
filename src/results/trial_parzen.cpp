// Parzen: a model of where good results lie. The pool is split at its best
// fifth; over each parameter's levels a sum of kernels is fitted to the good
// results and another to the rest, candidates are drawn from the good model,
// and the one the good model likes most against the rest is kept.
#include <algorithm>
#include <cmath>
#include <vector>

#include "common/random.hpp"
#include "results/pool_scores.hpp"
#include "results/record_levels.hpp"
#include "results/trial_types.hpp"

namespace {

constexpr double kGoodShare = 0.2;
// Caps that keep a call within milliseconds on a pool of 100 000 results;
// beyond them more points hardly change the models.
constexpr size_t kGoodMost = 25;
constexpr size_t kRestMost = 200;
constexpr int kCandidates = 32;

// One parameter's kernel sum over some points, plus a flat prior over the
// whole range weighing as one point, so no level has zero density.
struct Kernels {
    std::vector<double> centres;
    double width = 1;
    double levels = 1000;

    double logDensity(double x) const {
        double sum = 1 / levels;
        for (double c : centres) {
            double u = (x - c) / width;
            sum += std::exp(-0.5 * u * u) / (width * 2.5066282746310002);
        }
        return std::log(sum / static_cast<double>(centres.size() + 1));
    }
};

// Scott's rule, kept between one level and half the range.
double bandwidth(const std::vector<double>& xs, double levels) {
    double n = static_cast<double>(xs.size());
    double mean = 0, var = 0;
    for (double x : xs) mean += x / n;
    for (double x : xs) var += (x - mean) * (x - mean) / n;
    return std::clamp(1.06 * std::sqrt(var) * std::pow(n, -0.2), 1.0, levels / 2);
}

}  // namespace

size_t parzenGoodCount(size_t poolSize) {
    return std::clamp<size_t>(
        static_cast<size_t>(std::ceil(kGoodShare * static_cast<double>(poolSize))), 1, kGoodMost);
}

Genome trialParzen(const TrialContext& context) {
    const OptimiserPool& pool = context.pool;
    size_t n = pool.size();
    std::vector<size_t> good = poolBest(pool, parzenGoodCount(n));
    if (good.empty()) return Genome{};
    Genome names = genomeFromText(pool[good[0]].genomeLine, false);
    size_t d = static_cast<size_t>(names.count());
    if (d == 0) return Genome{};
    const PoolScores& scores = poolScores(pool);
    std::vector<bool> isGood(n);
    double threshold = scores.smoothed[good.back()];
    for (size_t i : good) isGood[i] = true;
    std::vector<size_t> rest;
    size_t stride = std::max<size_t>(1, n / kRestMost);
    for (size_t i = static_cast<size_t>(randomBelow(static_cast<int64_t>(stride))); i < n;
         i += stride) {
        if (!isGood[i] && scores.smoothed[i] <= threshold) rest.push_back(i);
    }

    double levels = static_cast<double>(context.levels);
    RecordLevels reader(names, static_cast<int32_t>(context.levels / 2));
    std::vector<Kernels> goodModel(d), restModel(d);
    auto fill = [&](const std::vector<size_t>& records, std::vector<Kernels>& model) {
        for (size_t i : records) {
            const std::vector<int32_t>& r = reader.read(pool[i].genomeLine);
            for (size_t j = 0; j < d; j++) model[j].centres.push_back(r[j]);
        }
        for (Kernels& k : model) {
            k.levels = levels;
            if (!k.centres.empty()) k.width = bandwidth(k.centres, levels);
        }
    };
    fill(good, goodModel);
    fill(rest, restModel);

    std::vector<double> candidate(d), kept(d);
    double keptRatio = -INFINITY;
    for (int c = 0; c < kCandidates; c++) {
        // Each parameter from one good point's kernel, or now and then from
        // the flat prior, as the good model's mixture draws.
        size_t from = static_cast<size_t>(randomBelow(static_cast<int64_t>(good.size())));
        bool flat = uniform(static_cast<double>(good.size() + 1)) < 1;
        double ratio = 0;
        for (size_t j = 0; j < d; j++) {
            double x = flat ? uniform(levels)
                            : goodModel[j].centres[from] + goodModel[j].width * gaussianDraw();
            x = std::clamp(std::floor(x + 0.5), 0.0, levels - 1);
            candidate[j] = x;
            ratio += goodModel[j].logDensity(x) - restModel[j].logDensity(x);
        }
        if (ratio > keptRatio) {
            keptRatio = ratio;
            kept = candidate;
        }
    }
    Genome g;
    for (size_t j = 0; j < d; j++) genomeSet(g, names.names[j], truncLevel(kept[j]));
    return g;
}
