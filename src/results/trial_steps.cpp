// Trial types that move the levels of one parent by random steps.
#include <algorithm>
#include <cmath>
#include <vector>

#include "common/random.hpp"
#include "results/trial_types.hpp"

namespace {

constexpr double kMutationExponentHigh = 1.3;

// Changes one entry of a copy of the parent in place (so the copy keeps its
// order), clamped as genomeSet would.
void setLevelAt(Genome& genome, size_t i, double value) {
    int64_t top = genomeLevelCount(genome.digits) - 1;
    genome.levels[i] = static_cast<int32_t>(std::clamp<int64_t>(truncLevel(value), 0, top));
}

// A signed step: its length log-uniform between 1 and L, then a uniform
// fraction of that either way.
double signedStep(int64_t levels) {
    double radius = std::pow(static_cast<double>(levels), uniform(1));
    return radius * (uniform(2) - 1);
}

}  // namespace

Genome trialRandom(const TrialContext&) {
    return Genome{};
}

Genome trialMutate(const TrialContext& context) {
    Parent parent = tournament(context.pool);
    const Genome& p = parent.genome;
    double x = uniform(kMutationExponentHigh);
    double power = std::pow(static_cast<double>(p.count()), x);
    // d = uniform(a)^power lies in [0, L/2) and, for a large power, is mostly
    // near 0: small moves dominate, large ones still happen.
    double a = std::pow(0.5 * static_cast<double>(context.levels), 1 / power);
    Genome g;
    for (int i = 0; i < p.count(); i++) {
        double sign = static_cast<double>(2 * randomBelow(2) - 1);
        double d = std::pow(uniform(a), power);
        genomeSet(g, p.names[static_cast<size_t>(i)],
                  truncLevel(p.levels[static_cast<size_t>(i)] + sign * d));
    }
    return g;
}

Genome trialMuSpherical(const TrialContext& context) {
    Parent parent = tournament(context.pool);
    const Genome& p = parent.genome;
    // Length log-uniform between 1 and L; direction from the cube, scaled.
    double radius = std::pow(static_cast<double>(context.levels), uniform(1));
    std::vector<double> w(static_cast<size_t>(p.count()));
    double sum = 0;
    for (double& wi : w) {
        wi = uniform(2) - 1;
        sum += wi * wi;
    }
    double scale = sum == 0 ? 1 : radius / std::sqrt(sum);
    Genome g;
    for (size_t i = 0; i < w.size(); i++) {
        genomeSet(g, p.names[i], truncLevel(p.levels[i] + scale * w[i]));
    }
    return g;
}

Genome trialMuOne(const TrialContext& context) {
    Genome g = tournament(context.pool).genome;
    if (g.count() == 0) return g;
    double d = signedStep(context.levels);
    size_t i = static_cast<size_t>(randomBelow(g.count()));
    setLevelAt(g, i, g.levels[i] + d);
    return g;
}

Genome trialExtreme(const TrialContext& context) {
    Genome g = tournament(context.pool).genome;
    int m = g.count();
    if (m == 0) return g;
    int toChoose = static_cast<int>(std::floor(std::pow(static_cast<double>(m), uniform(1))));
    // Selection sampling: exactly toChoose entries, each equally likely.
    std::vector<bool> chosen(static_cast<size_t>(m));
    for (int i = m - 1; i >= 0; i--) {
        if (randomBelow(i + 1) < toChoose) {
            chosen[static_cast<size_t>(i)] = true;
            toChoose--;
        }
    }
    // f > 1 pushes a level away from the middle, f < 1 pulls it in.
    double w = uniform(1.5) - 0.5;
    double f = w > 1e-6 ? 1 / w : -2 * w;
    int64_t levels = context.levels;
    double half = static_cast<double>(levels / 2);
    for (size_t i = 0; i < chosen.size(); i++) {
        if (!chosen[i]) continue;
        int32_t v = g.levels[i];
        double y = (v - half) * f;
        double level;
        if (f < 1 && v == 0) {
            level = uniform(half + y);  // a level at an edge may leave it
        } else if (f < 1 && v == levels - 1) {
            level = static_cast<double>(levels) - uniform(half - y);
        } else {
            level = half + y;
        }
        setLevelAt(g, i, level);
    }
    return g;
}

// The diagonal of the box, which random directions in many dimensions almost
// never follow: designs whose parameters must all rise or fall together
// (every window, every field) cannot be reached one parameter at a time
// when each single move makes the score worse.
Genome trialShift(const TrialContext& context) {
    Genome g = tournament(context.pool).genome;
    double d = signedStep(context.levels);
    for (size_t i = 0; i < g.levels.size(); i++) setLevelAt(g, i, g.levels[i] + d);
    return g;
}
