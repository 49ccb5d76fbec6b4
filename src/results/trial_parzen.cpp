// Parzen: a model of where good results lie. The pool is split at its best
// fifth; over each parameter's levels a sum of kernels is fitted to the good
// results and another to the rest; for each parameter, candidates are drawn
// from the good model and the one it likes most against the rest is kept.
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

// One parameter's density over its levels: a kernel on each point, and a
// prior kernel over the whole range weighing as one point, so no level has
// zero density. Each point's width is the larger gap to its neighbours (the
// range's ends count as neighbours), kept above range / min(100, points + 1):
// a lone point, or a few far apart, give wide kernels that still explore,
// and a tight cluster gives narrow ones. A single width for all points
// collapses to a level or two around the first good result and never leaves.
class Kernels {
  public:
    Kernels(std::vector<double> points, double levels) : levels_(levels) {
        std::sort(points.begin(), points.end());
        double lo = -0.5, hi = levels - 0.5, range = hi - lo;
        double least = range / std::min(100.0, static_cast<double>(points.size()) + 1);
        for (size_t i = 0; i < points.size(); i++) {
            double left = points[i] - (i == 0 ? lo : points[i - 1]);
            double right = (i + 1 == points.size() ? hi : points[i + 1]) - points[i];
            add(points[i], std::clamp(std::max(left, right), least, range));
        }
        add((lo + hi) / 2, range);
    }

    double logDensity(double x) const {
        double sum = 0;
        for (size_t i = 0; i < centres_.size(); i++) {
            double u = (x - centres_[i]) / widths_[i];
            sum += std::exp(-0.5 * u * u) / norms_[i];
        }
        return std::log(sum / static_cast<double>(centres_.size()) + 1e-300);
    }

    // A level drawn from the mixture: a kernel chosen evenly, then a normal
    // draw from it, redrawn while it falls outside the range.
    double draw() const {
        size_t k = static_cast<size_t>(randomBelow(static_cast<int64_t>(centres_.size())));
        double x = centres_[k];
        for (int tries = 0; tries < 20; tries++) {
            x = centres_[k] + widths_[k] * gaussianDraw();
            if (x > -0.5 && x < levels_ - 0.5) break;
        }
        return std::clamp(std::floor(x + 0.5), 0.0, levels_ - 1);
    }

  private:
    void add(double centre, double width) {
        centres_.push_back(centre);
        widths_.push_back(width);
        // The normal's mass inside the range, so that kernels near an edge
        // are not worth less than those in the middle.
        double lo = (-0.5 - centre) / width, hi = (levels_ - 0.5 - centre) / width;
        double mass = 0.5 * (std::erf(hi / std::sqrt(2.0)) - std::erf(lo / std::sqrt(2.0)));
        norms_.push_back(width * 2.5066282746310002 * std::max(mass, 1e-12));
    }

    double levels_;
    std::vector<double> centres_, widths_, norms_;
};

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
    auto model = [&](const std::vector<size_t>& records) {
        std::vector<std::vector<double>> points(d);
        for (size_t i : records) {
            const std::vector<int32_t>& r = reader.read(pool[i].genomeLine);
            for (size_t j = 0; j < d; j++) points[j].push_back(r[j]);
        }
        std::vector<Kernels> kernels;
        for (size_t j = 0; j < d; j++) kernels.emplace_back(std::move(points[j]), levels);
        return kernels;
    };
    std::vector<Kernels> goodModel = model(good), restModel = model(rest);

    // Each parameter on its own: a good level of one parameter is kept
    // whatever the others hold, so good values from different results
    // combine, which is what a search over a box of parameters gains most by.
    std::vector<double> kept(d);
    for (size_t j = 0; j < d; j++) {
        double keptRatio = -INFINITY;
        for (int c = 0; c < kCandidates; c++) {
            double x = goodModel[j].draw();
            double ratio = goodModel[j].logDensity(x) - restModel[j].logDensity(x);
            if (ratio > keptRatio) {
                keptRatio = ratio;
                kept[j] = x;
            }
        }
    }
    Genome g;
    for (size_t j = 0; j < d; j++) genomeSet(g, names.names[j], truncLevel(kept[j]));
    return g;
}
