// The optimiser: proposes the next genome to evaluate on a lattice from the
// results known for it, by one of the trial types, and never one that is
// already among them (within a limit of attempts).
#pragma once

#include <array>
#include <optional>
#include <string>

#include "model/genome.hpp"
#include "results/record.hpp"
#include "results/trial_types.hpp"

// What the caller's configuration decides.
struct OptimiserSettings {
    std::array<double, kTrialTypeCount> ratios = defaultTrialRatios();
    bool learn = true;  // reweight the ratios by the pool's recent results (trial_ratios.hpp)

    static constexpr std::array<double, kTrialTypeCount> defaultTrialRatios() {
        std::array<double, kTrialTypeCount> ratios{};
        for (size_t i = 0; i < ratios.size(); i++) ratios[i] = kTrialTypes[i].defaultRatio;
        return ratios;
    }
};

// Modes besides the trial-type indices 0..12.
inline constexpr int kModeSetFromFile = -1;  // the last pool record's genome, unchanged
inline constexpr int kModeByRatios = -2;     // a trial type chosen by the ratios

// Candidates made per call; the last one is returned even if it is a
// duplicate, so a pool that holds everything a trial can make cannot stall.
inline constexpr int kMaxCandidates = 100;

struct MadeGenome {
    Genome genome;
    int mode = kModeByRatios;  // the trial type used, or kModeSetFromFile
    int candidates = 0;        // how many were made
};

// A trial type by the ratios; small pools mostly give Random, and more so
// while none of their results transmits (randomShare).
int chooseTrialType(size_t poolSize, bool transmits, const OptimiserSettings& settings);

// The genome to evaluate next. `digits` overrides the level count read from
// the pool. The results list is not changed.
MadeGenome makeTrial(const ResultsList& results, const std::string& lattice, int mode,
                     std::optional<int> digits, const OptimiserSettings& settings);
Genome makeGenome(const ResultsList& results, const std::string& lattice, int mode,
                  std::optional<int> digits, const OptimiserSettings& settings);

// "SetFromFile" for mode -1.
const char* trialModeName(int mode);
