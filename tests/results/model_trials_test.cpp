// The trial types that learn from the whole pool (Parzen, Covariance, Rerun),
// the smoothed scores they and the tournament read, and the ratios learnt
// from the recent results.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "optimiser_support.hpp"
#include "results/optimiser.hpp"
#include "results/pool_scores.hpp"
#include "results/trial_ratios.hpp"
#include "results/trial_types.hpp"
#include "results_fixture.hpp"

namespace {

Genome run(TrialFunction trial, const OptimiserPool& pool) {
    return trial(TrialContext{pool, 1000, "test"});
}

std::string line(int a, int b) {
    char text[32];
    std::snprintf(text, sizeof text, "a=%03d;b=%03d;", a, b);
    return text;
}

}  // namespace

TEST(PoolScores, RepeatsOfAGenomeShareTheirMeanWeightedByRuns) {
    struct Case {
        std::vector<std::pair<std::string, double>> records;
        std::vector<double> smoothed;
        bool differ, agree;
    };
    const Case cases[] = {
        {{{"a=001;", 1}, {"a=002;", 2}}, {1, 2}, false, false},
        // Metadata, letter case and order do not make another genome.
        // (The other genomes lie far away: a noisy pool also pools near ones.)
        {{{"a=001;#gen=3;", 1}, {"A=001;", 3}, {"a=502;", 5}}, {2, 2, 5}, true, false},
        {{{"a=001;b=002;", 1}, {"b=002;a=001;", 3}, {"a=502;b=001;", 5}}, {2, 2, 5}, true, false},
        // A quarantined record holds the mean of its "#runs" runs.
        {{{"a=001;#runs=3;", 4}, {"a=001;", 0}}, {3, 3}, true, false},
        {{{"a=001;", 4}, {"a=001;#gen=15;", 4}, {"b=001;", 1}}, {4, 4, 1}, false, true},
    };
    for (const Case& c : cases) {
        ResultsList results = resultsOf(c.records);
        OptimiserPool pool = localPool(results);
        const PoolScores& scores = poolScores(pool);
        for (size_t i = 0; i < c.smoothed.size(); i++) {
            EXPECT_DOUBLE_EQ(scores.smoothed[i], c.smoothed[i]) << c.records[0].first << " " << i;
        }
        EXPECT_EQ(scores.repeatsDiffer, c.differ) << c.records[0].first;
        EXPECT_EQ(scores.repeatsAgree, c.agree) << c.records[0].first;
    }
}

// Once repeats show noise, the best genomes' scores are pooled with their
// near neighbours': two close genomes move towards each other, a lone one and
// one beyond the radius (3.5 % of the range) keep their own. Without noise
// nothing is pooled.
TEST(PoolScores, NoisyPoolsPoolNearNeighboursOnly) {
    const std::vector<std::pair<std::string, double>> records = {
        {"a=500;", 10}, {"a=900;", 6}, {"a=910;", 2}, {"a=300;", 4}, {"a=340;", 8}};
    for (bool noisy : {false, true}) {
        std::vector<std::pair<std::string, double>> all = records;
        all.push_back({"a=100;", 1});
        all.push_back({"a=100;", noisy ? 3 : 1});
        ResultsList results = resultsOf(all);
        OptimiserPool pool = localPool(results);
        const PoolScores& scores = poolScores(pool);
        EXPECT_EQ(scores.repeatsDiffer, noisy);
        EXPECT_DOUBLE_EQ(scores.smoothed[0], 10);  // alone
        EXPECT_DOUBLE_EQ(scores.smoothed[3], 4);   // 40 levels from a=340: beyond
        EXPECT_DOUBLE_EQ(scores.smoothed[4], 8);
        if (noisy) {
            EXPECT_LT(scores.smoothed[1], 6);
            EXPECT_GT(scores.smoothed[2], 2);
            EXPECT_NEAR(scores.smoothed[1] + scores.smoothed[2], 8, 1e-9);  // equal weights
            EXPECT_DOUBLE_EQ(scores.smoothed[5], 2);
        } else {
            EXPECT_DOUBLE_EQ(scores.smoothed[1], 6);
            EXPECT_DOUBLE_EQ(scores.smoothed[2], 2);
        }
    }
}

// "Reached the top" is judged against the pool as it stood when a result
// joined: the sample file's records first, then the local ones in order.
TEST(PoolScores, RecentTrialsAreJudgedAgainstThePoolOfTheirTime) {
    ResultsList results = resultsOf({{"a=001;#gen=1;", 5},
                                     {"a=002;#gen=2;", 1},
                                     {"a=003;#gen=13;", 7},
                                     {"a=004;", 6},
                                     {"a=005;#gen=14;", 2}});
    OptimiserPool pool = localPool(results);
    std::vector<RecentTrial> recent = poolRecentTrials(pool, 4, 2);
    ASSERT_EQ(recent.size(), 4u);
    const int types[] = {2, 13, -1, 14};
    const bool top[] = {true, true, true, false};  // 1 joins a pool of one record
    for (size_t i = 0; i < 4; i++) {
        EXPECT_EQ(recent[i].record, i + 1);
        EXPECT_EQ(recent[i].trialType, types[i]);
        EXPECT_EQ(recent[i].reachedTop, top[i]) << i;
    }
    std::vector<size_t> best = poolBest(pool, 3);
    EXPECT_EQ(best, (std::vector<size_t>{2, 3, 0}));
}

// Results spread along the line b = 1000 - a, the best near a = 700: the
// covariance trial's steps follow the line (a field and a length that must
// move together) and centre on the best results.
TEST(ModelTrials, CovarianceStepsFollowTheEliteAlongItsValley) {
    std::vector<std::pair<std::string, double>> records;
    for (int a = 100; a <= 900; a += 20) {
        records.push_back({line(a, 1000 - a), -std::abs(a - 700) / 10.0});
    }
    ResultsList results = resultsOf(records);
    OptimiserPool pool = localPool(results);
    seedRandom(3);
    double sumA = 0, sumB = 0, sumAB = 0, sumAA = 0, sumBB = 0;
    const int draws = 400;
    for (int i = 0; i < draws; i++) {
        Genome g = run(trialCovariance, pool);
        double a = genomeGet(g, "a"), b = genomeGet(g, "b");
        sumA += a;
        sumB += b;
        sumAB += a * b;
        sumAA += a * a;
        sumBB += b * b;
    }
    double meanA = sumA / draws, meanB = sumB / draws;
    double cov = sumAB / draws - meanA * meanB;
    double corr =
        cov / std::sqrt((sumAA / draws - meanA * meanA) * (sumBB / draws - meanB * meanB));
    EXPECT_LT(corr, -0.75);  // measured -0.82 (the shrinkage towards a ball)
    EXPECT_NEAR(meanA, 700, 40);
    EXPECT_NEAR(meanA + meanB, 1000, 30);
}

// Covariance trials that keep reaching the elite widen the step, those that
// keep missing narrow it, within 0.2 to 3.
TEST(ModelTrials, CovarianceStepWidensOnSuccessAndNarrowsOnFailure) {
    struct Case {
        std::vector<double> scores;  // of covariance trials after one earlier record at 5
        double scale;
    };
    const Case cases[] = {
        {{}, 1},        {{6}, 1.5},
        {{6, 7}, 2.25}, {{6, 7, 8, 9}, 3},  // held at the ceiling
        {{1}, 0.9036},  {{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, 0.2},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<std::string, double>> records{{"a=001;", 5}};
        for (size_t i = 0; i < c.scores.size(); i++) {
            records.push_back({"a=" + std::to_string(100 + i) + ";#gen=14;", c.scores[i]});
        }
        ResultsList results = resultsOf(records);
        OptimiserPool pool = localPool(results);
        EXPECT_NEAR(covarianceStepScale(pool, 1), c.scale, 1e-3) << c.scores.size();
    }
}

// Good results at a = 100, the rest spread over the range: the Parzen
// trial's candidates are kept where the good model outweighs the rest.
TEST(ModelTrials, ParzenDrawsWhereTheGoodResultsAre) {
    std::vector<std::pair<std::string, double>> records;
    for (int i = 0; i < 40; i++) {
        int a = (i * 997) % 1000;
        bool good = i % 5 == 0;
        if (good) a = 90 + i / 2;
        records.push_back({line(a, (i * 37) % 1000), good ? 10.0 + i : -1.0 * i});
    }
    ResultsList results = resultsOf(records);
    OptimiserPool pool = localPool(results);
    EXPECT_EQ(parzenGoodCount(40), 8u);
    EXPECT_EQ(parzenGoodCount(100000), 25u);
    seedRandom(5);
    int near = 0;
    for (int i = 0; i < 200; i++) {
        Genome g = run(trialParzen, pool);
        ASSERT_TRUE(genomeHas(g, "a") && genomeHas(g, "b"));
        if (std::abs(genomeGet(g, "a") - 100) < 60) near++;
    }
    EXPECT_GT(near, 180);  // measured 200 of 200
}

// Few good results must not pin the model to them: with one good result
// among four, a kernel as narrow as their spread would give candidates within
// a level or two of it for ever (as it did with one width for all points,
// their spread). Its kernel is as wide as the gap to its neighbours, here the
// range's ends, so candidates land more than 100 levels away, while most
// still fall nearer to it than the rest are.
TEST(ModelTrials, ParzenKeepsExploringAroundFewGoodResults) {
    ResultsList results = resultsOf(
        {{line(500, 500), 9}, {line(100, 900), 1}, {line(900, 100), 2}, {line(50, 50), 0}});
    OptimiserPool pool = localPool(results);
    ASSERT_EQ(parzenGoodCount(pool.size()), 1u);
    seedRandom(3);
    int far = 0, nearer = 0;
    for (int i = 0; i < 200; i++) {
        Genome g = run(trialParzen, pool);
        int a = genomeGet(g, "a"), b = genomeGet(g, "b");
        if (std::abs(a - 500) > 100 || std::abs(b - 500) > 100) far++;
        if (std::abs(a - 500) < 250 && std::abs(b - 500) < 250) nearer++;
    }
    EXPECT_GT(far, 100);     // measured 200 of 200; 0 with the spread's width
    EXPECT_GT(nearer, 120);  // measured 189 of 200
}

// Rerun returns one of the best genomes as it is (no duplicate check), the
// one with the fewest runs behind its score.
TEST(ModelTrials, RerunRepeatsTheLeastTestedOfTheBest) {
    InScratchFolder folder;
    MessageRecorder messages;
    ResultsList results = resultsOf({{"a=001;", 9},
                                     {"a=001;#gen=15;", 9.2},
                                     {"a=002;", 8},
                                     {"a=003;", 1},
                                     {"a=004;", 2},
                                     {"a=005;", 3},
                                     {"a=006;", 0}});
    MadeGenome made = makeTrial(results, "lat", TrialRerun, std::nullopt, OptimiserSettings{});
    EXPECT_EQ(genomeToText(made.genome), "a=002;#gen=15;");
    EXPECT_EQ(made.candidates, 1);
}

TEST(TrialRatios, TypesThatReachTheTopAreChosenMoreWithinTheirBounds) {
    // Rising scores: every Covariance result is a new best, no Mutate one is.
    std::vector<std::pair<std::string, double>> records;
    for (int i = 0; i < 60; i++) {
        bool covariance = i % 2 == 0;
        records.push_back(
            {"a=" + std::to_string(100 + i) + ";#gen=" + (covariance ? "14" : "1") + ";",
             covariance ? i : -i});
    }
    ResultsList results = resultsOf(records);
    OptimiserPool pool = localPool(results);
    TrialRatios configured = OptimiserSettings::defaultTrialRatios();
    TrialRatios learnt = learntRatios(pool, configured);
    EXPECT_GT(learnt[TrialCovariance], configured[TrialCovariance] * 1.5);
    EXPECT_LT(learnt[TrialMutate], configured[TrialMutate] * 0.5);
    EXPECT_GE(learnt[TrialMutate], configured[TrialMutate] * 0.1);         // the floor
    EXPECT_DOUBLE_EQ(learnt[TrialExtreme], configured[TrialExtreme] * 1);  // unused: the prior
    EXPECT_DOUBLE_EQ(learnt[TrialRerun], configured[TrialRerun]);

    // Too few results to learn from: as configured. A genome run twice with
    // the same score shows a lattice without noise: nothing to rerun for.
    ResultsList few = resultsOf({{"a=001;#gen=1;", 1}, {"a=001;#gen=15;", 1}});
    TrialRatios fixed = learntRatios(localPool(few), configured);
    EXPECT_EQ(fixed[TrialRerun], 0);
    EXPECT_EQ(fixed[TrialMutate], configured[TrialMutate]);
}

// The random share reads the pool: about 20^-0.4 = 30 % of the genomes are
// fresh random ones while all twenty results are penalties, about 1/20 once
// one of them transmits. 400 draws each; the bounds sit five binomial
// standard deviations (about 9 and 4 draws) from the expected 120 and 20.
TEST(TrialRatios, RandomShareFallsOnceAResultTransmits) {
    InScratchFolder folder;
    MessageRecorder messages;
    for (bool transmits : {false, true}) {
        std::vector<std::pair<std::string, double>> records;
        for (int i = 0; i < 20; i++) {
            records.push_back({"a=" + std::to_string(100 + 37 * i) + ";", -0.5 + 0.01 * i});
        }
        if (transmits) records.back().second = 0.1;
        ResultsList results = resultsOf(records);
        seedRandom(7);
        int random = 0;
        for (int k = 0; k < 400; k++) {
            MadeGenome made =
                makeTrial(results, "lat", kModeByRatios, std::nullopt, OptimiserSettings{});
            random += made.mode == TrialRandom;
        }
        if (transmits) {
            EXPECT_LT(random, 40);
        } else {
            EXPECT_GT(random, 75);
        }
    }
}
