// Covariance: a step of the kind an evolution strategy takes, worked out from
// the pool alone. The best results give a weighted mean and a covariance, so
// parameters that only work together (a field and a length) move together;
// the step size follows the elite's spread, widened while recent covariance
// trials keep reaching the elite and narrowed while they do not.
#include <algorithm>
#include <cmath>
#include <vector>

#include "common/random.hpp"
#include "results/pool_scores.hpp"
#include "results/record_levels.hpp"
#include "results/trial_types.hpp"

namespace {

// How many recent covariance trials steer the step size, and how: a success
// widens by kGrow, a failure narrows by kShrink, which balance when one
// trial in five succeeds.
constexpr size_t kStepHistory = 20;
constexpr double kGrow = 1.5;
constexpr double kShrink = 0.9036;  // 1.5^(-1/4)
constexpr double kStepLow = 0.2;
constexpr double kStepHigh = 3.0;
constexpr size_t kRecentWindow = 300;

// Lower-triangular L with L L^T = c (d x d, row-major); the diagonal is
// lifted until it factors, so a degenerate elite still gives a step.
std::vector<double> cholesky(std::vector<double> c, size_t d) {
    std::vector<double> l(d * d);
    for (double lift = 0;; lift = lift == 0 ? 1e-9 : lift * 10) {
        bool ok = true;
        std::fill(l.begin(), l.end(), 0.0);
        for (size_t i = 0; i < d && ok; i++) {
            for (size_t j = 0; j <= i; j++) {
                double sum = c[i * d + j] + (i == j ? lift : 0);
                for (size_t k = 0; k < j; k++) sum -= l[i * d + k] * l[j * d + k];
                if (i == j) {
                    if (!(sum > 0)) {
                        ok = false;
                        break;
                    }
                    l[i * d + i] = std::sqrt(sum);
                } else {
                    l[i * d + j] = sum / l[j * d + j];
                }
            }
        }
        if (ok || lift > 1e12) return l;
    }
}

}  // namespace

size_t covarianceEliteSize(size_t poolSize, size_t parameters) {
    return std::clamp<size_t>(poolSize / 4, 2, 4 + parameters);
}

double covarianceStepScale(const OptimiserPool& pool, size_t elite) {
    std::vector<RecentTrial> recent = poolRecentTrials(pool, kRecentWindow, elite);
    std::vector<bool> outcomes;
    for (const RecentTrial& trial : recent) {
        if (trial.trialType == TrialCovariance) outcomes.push_back(trial.reachedTop);
    }
    size_t from = outcomes.size() > kStepHistory ? outcomes.size() - kStepHistory : 0;
    double scale = 1;
    for (size_t i = from; i < outcomes.size(); i++) {
        scale = std::clamp(scale * (outcomes[i] ? kGrow : kShrink), kStepLow, kStepHigh);
    }
    return scale;
}

Genome trialCovariance(const TrialContext& context) {
    const OptimiserPool& pool = context.pool;
    std::vector<size_t> best = poolBest(pool, 1);
    if (best.empty()) return Genome{};
    Genome names = genomeFromText(pool[best[0]].genomeLine, false);
    size_t d = static_cast<size_t>(names.count());
    if (d == 0) return Genome{};
    size_t mu = covarianceEliteSize(pool.size(), d);
    std::vector<size_t> elite = poolBest(pool, mu);
    mu = elite.size();
    if (mu < 2) return Genome{};

    // Weights falling with rank, as an evolution strategy gives its parents.
    std::vector<double> w(mu);
    double wsum = 0, w2 = 0;
    for (size_t i = 0; i < mu; i++) {
        w[i] = std::log(static_cast<double>(mu) + 0.5) - std::log(static_cast<double>(i) + 1);
        wsum += w[i];
    }
    for (double& x : w) {
        x /= wsum;
        w2 += x * x;
    }
    double muEffective = 1 / w2;

    RecordLevels reader(names, static_cast<int32_t>(context.levels / 2));
    std::vector<double> points(mu * d), mean(d);
    for (size_t i = 0; i < mu; i++) {
        const std::vector<int32_t>& r = reader.read(pool[elite[i]].genomeLine);
        for (size_t j = 0; j < d; j++) {
            points[i * d + j] = r[j];
            mean[j] += w[i] * r[j];
        }
    }
    std::vector<double> c(d * d);
    for (size_t i = 0; i < mu; i++) {
        for (size_t j = 0; j < d; j++) {
            double dj = points[i * d + j] - mean[j];
            for (size_t k = 0; k <= j; k++)
                c[j * d + k] += w[i] * dj * (points[i * d + k] - mean[k]);
        }
    }
    double trace = 0;
    for (size_t j = 0; j < d; j++) trace += c[j * d + j];
    // A few elite points cannot fix d*(d+1)/2 numbers: shrink towards a round
    // ball of the same size, the more the fewer points there are.
    double shrink = static_cast<double>(d) / (static_cast<double>(d) + 2 * muEffective);
    double ball = std::max(trace / static_cast<double>(d), 1.0);
    for (size_t j = 0; j < d; j++) {
        for (size_t k = 0; k < j; k++) {
            c[j * d + k] *= 1 - shrink;
            c[k * d + j] = c[j * d + k];
        }
        c[j * d + j] = (1 - shrink) * c[j * d + j] + shrink * ball;
    }
    std::vector<double> l = cholesky(c, d);
    double scale = covarianceStepScale(pool, mu);

    std::vector<double> z(d);
    for (double& x : z) x = gaussianDraw();
    Genome g;
    for (size_t j = 0; j < d; j++) {
        double step = 0;
        for (size_t k = 0; k <= j; k++) step += l[j * d + k] * z[k];
        genomeSet(g, names.names[j], truncLevel(std::floor(mean[j] + scale * step + 0.5)));
    }
    return g;
}
