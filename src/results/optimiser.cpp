#include "results/optimiser.hpp"

#include <algorithm>
#include <cmath>

#include "common/random.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "results/duplicate_check.hpp"
#include "results/optimiser_pool.hpp"
#include "results/pool_scores.hpp"
#include "results/trial_ratios.hpp"

namespace {

bool isTrialType(int mode) {
    return mode >= 0 && mode < kTrialTypeCount;
}

Genome setFromFile(const OptimiserPool& pool, const std::string& lattice) {
    if (pool.size() == 0) {
        reportf("[WARNING] Could not find genome for lattice %s, trying random/empty one...",
                lattice.c_str());
        return Genome{};
    }
    Genome g = genomeFromText(pool[pool.size() - 1].genomeLine, true);
    genomeDropMeta(g);
    return g;
}

}  // namespace

const char* trialModeName(int mode) {
    if (mode == kModeSetFromFile) return "SetFromFile";
    if (isTrialType(mode)) return kTrialTypes[static_cast<size_t>(mode)].name;
    return "Unknown";
}

int chooseTrialType(size_t poolSize, bool transmits, const OptimiserSettings& settings) {
    double sum = 0;
    for (double ratio : settings.ratios) sum += ratio;
    double u = uniform(sum);
    int chosen = 0;
    for (int i = kTrialTypeCount - 1; i >= 0; i--) {
        u -= settings.ratios[static_cast<size_t>(i)];
        if (u < 0) {
            chosen = i;
            break;
        }
    }
    // With few results there is little to learn from: explore.
    if (randomShare(poolSize, transmits) > uniform(1)) return TrialRandom;
    return chosen;
}

MadeGenome makeTrial(const ResultsList& results, const std::string& lattice, int mode,
                     std::optional<int> digits, const OptimiserSettings& settings) {
    OptimiserPool pool = buildPool(results, lattice);
    size_t n = pool.size();
    MadeGenome made;
    if (mode == kModeByRatios) {
        OptimiserSettings learnt = settings;
        if (settings.learn) learnt.ratios = learntRatios(pool, settings.ratios);
        mode = chooseTrialType(n, poolScores(pool).transmits, learnt);
    }
    made.mode = mode;
    const char* name = trialModeName(mode);
    reportf("Making new genome, TrialType=%s...", name);

    int64_t levels = 1000;
    if (digits) {
        levels = genomeLevelCount(*digits);
    } else if (n > 0) {
        levels = genomeLevelCount(genomeFromText(pool[0].genomeLine, true).digits);
    }

    if (mode == kModeSetFromFile) {
        made.genome = setFromFile(pool, lattice);
    } else if (isTrialType(mode)) {
        const TrialType& trial = kTrialTypes[static_cast<size_t>(mode)];
        TrialContext context{pool, levels, trial.name};
        do {
            made.genome =
                n < static_cast<size_t>(trial.minimumPool) ? Genome{} : trial.make(context);
            made.candidates++;
        } while (!trial.repeats && made.candidates < kMaxCandidates &&
                 poolHoldsGenome(pool, made.genome));
    }
    reportProgress(format("Making new genome, TrialType=%s... Done", name));
    if (isTrialType(mode)) genomeSet(made.genome, "#gen", mode);
    return made;
}

Genome makeGenome(const ResultsList& results, const std::string& lattice, int mode,
                  std::optional<int> digits, const OptimiserSettings& settings) {
    return makeTrial(results, lattice, mode, digits, settings).genome;
}
