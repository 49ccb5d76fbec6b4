// The optimiser's trial types: how a new genome is made from the pool. One
// row per type says everything about it; the configuration keys its ratios
// by the names, and "#gen" in a result records the index.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

#include "common/random.hpp"
#include "model/genome.hpp"
#include "results/optimiser_pool.hpp"

inline constexpr int kTrialTypeCount = 17;

enum TrialTypeIndex {
    TrialRandom,
    TrialMutate,
    TrialCrossover,
    TrialInterpolate,
    TrialExtrapolate,
    TrialMuSpherical,
    TrialMuOne,
    TrialExtreme,
    TrialLocalGrad,
    TrialTopoSmooth,
    TrialCellDouble,
    TrialCellDelete,
    TrialCellCommute,
    TrialParzen,
    TrialCovariance,
    TrialRerun,
    TrialShift,
};

// What a trial type reads besides the pool size.
struct TrialContext {
    const OptimiserPool& pool;
    int64_t levels;    // levels per parameter (1000 for three digits)
    const char* name;  // for progress lines
};

using TrialFunction = Genome (*)(const TrialContext& context);

// Elite: the best results of the pool, not tournament winners.
enum class TrialParents { None, One, Two, OneAndNeighbours, Elite };

struct TrialType {
    TrialTypeIndex index;
    const char* name;
    double defaultRatio;  // relative frequency before the configuration changes it
    TrialParents parents;
    int minimumPool;  // a smaller pool gives the empty genome
    TrialFunction make;
    bool repeats = false;  // may return a genome of the pool on purpose: no duplicate check
};

Genome trialRandom(const TrialContext& context);
Genome trialMutate(const TrialContext& context);
Genome trialCrossover(const TrialContext& context);
Genome trialInterpolate(const TrialContext& context);
Genome trialExtrapolate(const TrialContext& context);
Genome trialMuSpherical(const TrialContext& context);
Genome trialMuOne(const TrialContext& context);
Genome trialExtreme(const TrialContext& context);
Genome trialLocalGrad(const TrialContext& context);
Genome trialTopoSmooth(const TrialContext& context);
Genome trialCellDouble(const TrialContext& context);
Genome trialCellDelete(const TrialContext& context);
Genome trialCellCommute(const TrialContext& context);
Genome trialParzen(const TrialContext& context);
Genome trialCovariance(const TrialContext& context);
Genome trialRerun(const TrialContext& context);
Genome trialShift(const TrialContext& context);

// The parts of the model trials that their tests pin down.
size_t parzenGoodCount(size_t poolSize);
size_t covarianceEliteSize(size_t poolSize, size_t parameters);
// The covariance trial's step-size factor: 1 widened or narrowed by each of
// the recent covariance trials that did or did not reach the top `elite`.
double covarianceStepScale(const OptimiserPool& pool, size_t elite);

// clang-format off
inline constexpr std::array<TrialType, kTrialTypeCount> kTrialTypes{{
    {TrialRandom,      "Random",      0, TrialParents::None,             0, trialRandom},       // every parameter drawn afresh
    {TrialMutate,      "Mutate",      1, TrialParents::One,              1, trialMutate},       // every level moved, mostly a little
    {TrialCrossover,   "Crossover",   1, TrialParents::Two,              2, trialCrossover},    // each level from one parent or the other
    {TrialInterpolate, "Interpolate", 2, TrialParents::Two,              2, trialInterpolate},  // a point between two parents
    {TrialExtrapolate, "Extrapolate", 1, TrialParents::Two,              2, trialExtrapolate},  // a point beyond two parents
    {TrialMuSpherical, "MuSpherical", 1, TrialParents::One,              1, trialMuSpherical},  // a step of random length in a random direction
    {TrialMuOne,       "MuOne",       1, TrialParents::One,              1, trialMuOne},        // one level moved
    {TrialExtreme,     "Extreme",     2, TrialParents::One,              1, trialExtreme},      // some levels pushed to or from the edges
    {TrialLocalGrad,   "LocalGrad",   8, TrialParents::OneAndNeighbours, 1, trialLocalGrad},    // a step up the slope of the nearest results
    {TrialTopoSmooth,  "TopoSmooth", 20, TrialParents::One,              1, trialTopoSmooth},   // levels drawn towards their numbered neighbours
    {TrialCellDouble,  "CellDouble",  1, TrialParents::One,              1, trialCellDouble},   // one numbered cell repeated
    {TrialCellDelete,  "CellDelete",  1, TrialParents::One,              1, trialCellDelete},   // one numbered cell removed
    {TrialCellCommute, "CellCommute", 0, TrialParents::One,              1, trialCellCommute},  // two neighbouring cells swapped
    {TrialParzen,      "Parzen",      8, TrialParents::Elite,            2, trialParzen},       // the likeliest of candidates from a model of the good results
    {TrialCovariance,  "Covariance",  8, TrialParents::Elite,            2, trialCovariance},   // a step drawn from the spread of the best results
    {TrialRerun,       "Rerun",       2, TrialParents::Elite,            1, trialRerun, true},  // one of the best genomes run again
    {TrialShift,       "Shift",       8, TrialParents::One,              1, trialShift},        // every level moved by one common step
}};
// clang-format on

constexpr bool trialTableInOrder() {
    for (int i = 0; i < kTrialTypeCount; i++) {
        if (kTrialTypes[static_cast<size_t>(i)].index != i) return false;
    }
    return true;
}
static_assert(trialTableInOrder(), "kTrialTypes rows must follow TrialTypeIndex");

// A standard normal draw from two uniform ones (Box-Muller), so that the
// tests' scripted draws steer it as they steer every other choice.
inline double gaussianDraw() {
    double radius = std::sqrt(-2 * std::log(1 - uniform(1)));
    return radius * std::cos(6.283185307179586 * uniform(1));
}

// A level computed in floating point, truncated towards zero. Values beyond
// the 32-bit range (a far extrapolation, a long gradient step) saturate, and
// genomeSet then clamps them to the level range.
inline int32_t truncLevel(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}
