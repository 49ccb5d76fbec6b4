#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "optimise_problems.hpp"
#include "optimiser_support.hpp"
#include "results/optimise_runs.hpp"
#include "results/pool_scores.hpp"
#include "results_fixture.hpp"

namespace {

struct Series {
    int runsTo90 = 0;       // 0: never
    double bestAt[3] = {};  // after 100, 200, 400 runs
    // The score without noise of the genome the pool rates best at the end.
    double trueBest = 0;
};

Series runSeries(const WindowProblem& problem, int runs, uint32_t seed,
                 const OptimiserSettings& settings = OptimiserSettings{}) {
    ResultsList results;
    listInit(results);
    OptimiseRequest request{problem.name, runs, settings, "", "v4.44d", nullptr};
    std::mt19937 noise(seed);
    // NOISE=15 raises the noisy problem's noise.
    const char* raised = std::getenv("NOISE");
    double sd = raised && problem.noise > 0 ? std::atof(raised) : problem.noise;
    std::normal_distribution<double> gauss(0, sd);
    ScoreRun score = [&](Genome& genome, int) -> std::optional<RunScore> {
        double s = windowScore(problem, genome);
        if (sd > 0) s += gauss(noise);
        return RunScore{s, 1};
    };
    seedRandom(seed);
    Series series;
    bool trace = std::getenv("OPT_TRACE") != nullptr;
    optimiseRuns(request, results, score, [&](const OptimiseStep& step) {
        if (trace) {
            std::printf("%d %d %.4f %.4f %s\n", step.run, step.mode, step.score, step.best,
                        results[results.count() - 1].genomeLine.c_str());
        }
        if (series.runsTo90 == 0 && step.best >= 0.9 * kWindowPeak) series.runsTo90 = step.run;
        for (int i = 0; i < 3; i++) {
            if (step.run == 100 << i) series.bestAt[i] = step.best;
        }
    });
    OptimiserPool pool = buildPool(results, problem.name);
    std::vector<size_t> best = poolBest(pool, 1);
    if (!best.empty()) {
        Genome genome = genomeFromText(pool[best[0]].genomeLine, false);
        series.trueBest = windowScore(problem, genome);
    }
    return series;
}

int median(std::vector<int> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

// The table scripts/optimise-benchmark.sh prints for the lattices, from their
// score functions in moments: run with --gtest_also_run_disabled_tests
// (OPT_PROBLEMS=name,... and OPT_SEEDS=N narrow it, OPT_RATIOS changes the mix,
// OPT_TRACE prints every run, NOISE changes the noisy problem's noise). For
// the noisy problem it also prints, in brackets, the score without noise of
// the genome the pool rates best at the end.
TEST(OptimiseProblems, DISABLED_Table) {
    InScratchFolder folder;
    MessageRecorder messages;
    OptimiserSettings settings;
    // OPT_RATIOS=13:8,14:8 tries other ratios (trial-type index:ratio).
    if (const char* r = std::getenv("OPT_RATIOS")) {
        for (const char* at = r; *at;) {
            char* end = nullptr;
            long type = std::strtol(at, &end, 10);
            if (*end != ':' || type < 0 || type >= kTrialTypeCount) break;
            settings.ratios[static_cast<size_t>(type)] = std::strtod(end + 1, &end);
            at = *end == ',' ? end + 1 : end;
        }
    }
    const char* only = std::getenv("OPT_PROBLEMS");
    int seeds = std::getenv("OPT_SEEDS") ? std::atoi(std::getenv("OPT_SEEDS")) : 5;
    // OPT_FIRST_SEED=S starts the seeds at S instead of 1.
    int first = std::getenv("OPT_FIRST_SEED") ? std::atoi(std::getenv("OPT_FIRST_SEED")) : 1;
    for (const WindowProblem& problem : windowProblems()) {
        if (only && !std::strstr(only, problem.name)) continue;
        std::vector<int> to90;
        std::printf("%-18s", problem.name);
        for (int seed = first; seed < first + seeds; seed++) {
            Series s = runSeries(problem, 400, static_cast<uint32_t>(seed), settings);
            to90.push_back(s.runsTo90 == 0 ? 9999 : s.runsTo90);
            std::printf(" %4d (%5.1f %5.1f %5.1f)", s.runsTo90, s.bestAt[0], s.bestAt[1],
                        s.bestAt[2]);
            if (problem.noise > 0) std::printf(" [%5.1f]", s.trueBest);
        }
        std::printf("  median %d\n", median(to90));
    }
}

// Regression: the default mix reaches 90 % of the peak within 400 runs on
// most seeds of every problem, and fast where the peak is at the centre.
// Single seeds are a lottery (the same mix needs 26 to 86 runs on the corner
// problem, and a few seeds never leave the flat stretch where nothing
// passes), so the test counts seeds and takes a median. Measured on seeds 1
// to 8: corner 8, interior 8, centred 8 (median 29 runs), coupled 8, twelve
// parameters 8; over seeds 1 to 30: 30, 30, 30, 22 and 30.
TEST(OptimiseProblems, DefaultMixReachesNinetyPercentOnMostSeeds) {
    InScratchFolder folder;
    MessageRecorder messages;
    struct Case {
        std::string name;
        int least;       // of 8 seeds
        int medianMost;  // runs to 90 %
    };
    for (const Case& c : {Case{"energy_windows", 7, 400}, Case{"interior_windows", 6, 400},
                          Case{"centred_windows", 7, 50}, Case{"coupled_windows", 5, 400},
                          Case{"twelve_windows", 7, 400}}) {
        const WindowProblem* problem = nullptr;
        for (const WindowProblem& p : windowProblems()) {
            if (p.name == c.name) problem = &p;
        }
        ASSERT_NE(problem, nullptr) << c.name;
        std::vector<int> runs;
        for (uint32_t seed = 1; seed <= 8; seed++) {
            int to90 = runSeries(*problem, 400, seed).runsTo90;
            runs.push_back(to90 == 0 ? 9999 : to90);
        }
        EXPECT_GE(std::count_if(runs.begin(), runs.end(), [](int r) { return r < 9999; }), c.least)
            << c.name;
        EXPECT_LE(median(runs), c.medianMost) << c.name;
    }
}
