#include <gtest/gtest.h>

#include <set>

#include "optimiser_support.hpp"
#include "results/trial_types.hpp"

namespace {

Genome run(TrialFunction trial, const OptimiserPool& pool) {
    return trial(TrialContext{pool, 1000, "test"});
}

std::string text(const Genome& g) {
    return genomeToText(g);
}

}  // namespace

TEST(Tournament, VisitsDistinctRecordsAndKeepsTheBest) {
    ResultsList results = resultsOf({{"a=000;#runs=2;", 5},
                                     {"a=001;", 9},
                                     {"a=002;", 1},
                                     {"a=003;", 7},
                                     {"a=004;", 3},
                                     {"a=005;", 8}});
    OptimiserPool pool = localPool(results);
    struct Case {
        std::vector<double> draws;
        std::string winner;
    };
    // Exponent 1.25: 6^1.25 = 9.4 hits, 4 distinct records (k). Steps 2 and
    // 3 share a divisor with 6 and are redrawn; step 5 walks 0, 5, 4, 3.
    // Near the top of 2: 36 hits, 5 distinct records.
    const Case cases[] = {
        {{0.0, below(0, 6), below(0, 5)}, "a=000;"},  // one visit; metadata dropped
        {{0.0, below(2, 6), below(0, 5)}, "a=002;"},
        {{0.625, below(0, 6), below(1, 5), below(2, 5), below(4, 5)}, "a=005;"},
        {{0.625, below(1, 6), below(0, 5)}, "a=001;"},   // 1, 2, 3, 4: best is 1
        {{0.9999, below(2, 6), below(0, 5)}, "a=005;"},  // 2, 3, 4, 5, 0: not 1
    };
    for (const Case& c : cases) {
        ScriptedDraws draws(c.draws);
        Parent parent = tournament(pool);
        EXPECT_TRUE(parent.found);
        EXPECT_EQ(text(parent.genome), c.winner);
        EXPECT_TRUE(draws.allUsed()) << c.winner;
    }
    ResultsList none = resultsOf({});
    EXPECT_FALSE(tournament(localPool(none)).found);
}

TEST(Tournament, SecondParentIsRedrawnWhileEqualToTheFirst) {
    ResultsList results = resultsOf({{"a=100;", 1}, {"a=100;#gen=3;", 2}, {"a=200;", 3}});
    OptimiserPool pool = localPool(results);
    // Records 0 and 1 hold the same genome once metadata is dropped.
    ScriptedDraws draws(concat({pick(0, 3), pick(1, 3), pick(0, 3), pick(2, 3)}));
    auto [a, b] = twoParents(pool);
    EXPECT_EQ(text(a), "a=100;");
    EXPECT_EQ(text(b), "a=200;");
    EXPECT_TRUE(draws.allUsed());
}

TEST(TrialTypes, MutateMovesEveryLevelBySignedSteps) {
    ResultsList results = resultsOf({{"a=500;b=500;c=990;", 1}});
    OptimiserPool pool = localPool(results);
    // Exponent 0: power 1, steps uniform below L/2 = 500.
    ScriptedDraws draws(concat({pick(0, 1),
                                {0.0},
                                {below(1, 2), 0.2},     // a: +100
                                {below(0, 2), 0.5},     // b: -250
                                {below(1, 2), 0.2}}));  // c: +100, clamped
    EXPECT_EQ(text(run(trialMutate, pool)), "a=600;b=250;c=999;");
    EXPECT_TRUE(draws.allUsed());
}

TEST(TrialTypes, BlendsOfTwoParentsUseSharedParametersOnly) {
    ResultsList results = resultsOf({{"a=600;b=400;c=300;", 2}, {"a=500;b=500;d=005;", 1}});
    OptimiserPool pool = localPool(results);
    std::vector<double> parents = concat({pick(0, 2), pick(1, 2)});
    struct Case {
        const char* label;
        TrialFunction trial;
        std::vector<double> draws;
        std::string expected;
    };
    const Case cases[] = {
        // q = 0.5: a draw at or above q takes the second parent's level.
        {"crossover", trialCrossover, {0.5, 0.7, 0.2}, "a=500;b=400;"},
        {"interpolate", trialInterpolate, {0.25}, "a=525;b=475;"},  // 0.25 A + 0.75 B
        // u = 0.5 is redrawn; u = 0.75 gives t = 1.5, s = -0.5.
        {"extrapolate", trialExtrapolate, {0.5, 0.75}, "a=650;b=350;"},
        {"extrapolate back", trialExtrapolate, {0.25}, "a=450;b=550;"},  // t = -0.5
    };
    for (const Case& c : cases) {
        ScriptedDraws draws(concat({parents, c.draws}));
        EXPECT_EQ(text(run(c.trial, pool)), c.expected) << c.label;
        EXPECT_TRUE(draws.allUsed()) << c.label;
    }
    // Below the minimum pool of two the table's minimum applies in makeGenome;
    // called directly on one record both parents are that record.
    ResultsList one = resultsOf({{"a=600;", 1}});
    OptimiserPool single = localPool(one);
    ScriptedDraws draws(concat({pick(0, 1),
                                pick(0, 1),
                                pick(0, 1),
                                pick(0, 1),
                                pick(0, 1),
                                pick(0, 1),
                                pick(0, 1),
                                pick(0, 1),
                                pick(0, 1),
                                pick(0, 1),
                                pick(0, 1),
                                pick(0, 1),
                                {0.5}}));
    EXPECT_EQ(text(run(trialInterpolate, single)), "a=600;");
    EXPECT_TRUE(draws.allUsed());  // ten redraws of the second parent, no more
}

TEST(TrialTypes, SphericalSingleAndCommonStepsHaveTheDrawnLength) {
    ResultsList results = resultsOf({{"a=500;b=500;c=500;", 1}});
    OptimiserPool pool = localPool(results);
    {
        // R = 1000^0.5 = 31.62 along (0.5, -0.5, 0): +-22.36 on a and b.
        ScriptedDraws draws(concat({pick(0, 1), {0.5, 0.75, 0.25, 0.5}}));
        EXPECT_EQ(text(run(trialMuSpherical, pool)), "a=522;b=477;c=500;");
        EXPECT_TRUE(draws.allUsed());
    }
    {
        // R = 31.62, d = R * 0.5 on entry b only; order kept.
        ScriptedDraws draws(concat({pick(0, 1), {0.5, 0.75, below(1, 3)}}));
        EXPECT_EQ(text(run(trialMuOne, pool)), "a=500;b=515;c=500;");
        EXPECT_TRUE(draws.allUsed());
    }
    // Shift: one common step of +-R/2 for every entry, clamped at the edges.
    ResultsList edges = resultsOf({{"a=990;b=500;c=005;", 1}});
    OptimiserPool edgePool = localPool(edges);
    for (auto [draw, expected] :
         {std::pair{0.75, "a=999;b=515;c=020;"}, std::pair{0.25, "a=974;b=484;c=000;"}}) {
        ScriptedDraws draws(concat({pick(0, 1), {0.5, draw}}));
        EXPECT_EQ(text(run(trialShift, edgePool)), expected);
        EXPECT_TRUE(draws.allUsed());
    }
}

TEST(TrialTypes, ExtremePushesChosenLevelsFromOrTowardsTheMiddle) {
    ResultsList results = resultsOf({{"a=000;b=600;c=999;d=300;", 1}});
    OptimiserPool pool = localPool(results);
    // 4^0.9 = 3.5: three entries; selection sampling skips d, takes c, b, a.
    std::vector<double> choose = {0.9, below(3, 4), below(0, 3), below(0, 2), below(0, 1)};
    struct Case {
        double w;  // fraction for uniform(1.5)
        std::vector<double> edgeDraws;
        std::string expected;
    };
    const Case cases[] = {
        // w = 0.625, f = 1.6: away from the middle; a would be 500 - 800.
        {0.75, {}, "a=000;b=660;c=999;d=300;"},
        // w = -0.3125, f = 0.625: towards the middle; the edge levels a and c
        // draw their new level (93.75 and 1000 - 94.06).
        {0.125, {0.5, 0.5}, "a=093;b=562;c=905;d=300;"},
    };
    for (const Case& c : cases) {
        ScriptedDraws draws(concat({pick(0, 1), choose, {c.w}, c.edgeDraws}));
        EXPECT_EQ(text(run(trialExtreme, pool)), c.expected);
        EXPECT_TRUE(draws.allUsed()) << c.expected;
    }
}

TEST(TrialTypes, LocalGradStepsUpTheSlopeOfTheNearestResults) {
    MessageRecorder messages;  // progress lines
    // Score rises with a only; the far record would tilt the slope towards b
    // if it were among the neighbours.
    ResultsList results = resultsOf({{"a=500;b=500;", 0},
                                     {"a=510;b=500;", 10},
                                     {"a=490;b=500;", -10},
                                     {"a=500;b=510;", 0},
                                     {"a=500;b=900;", 100}});
    OptimiserPool pool = localPool(results);
    // 5^0.9 = 4.26: the parent and its three neighbours at distance 10.
    struct Case {
        double w;  // fraction for uniform(2)
        std::string expected;
    };
    const Case cases[] = {
        {0.25, "a=505;b=500;"},  // w = 0.5: half the radius
        {0.75, "a=519;b=500;"},  // w = 1.5: radius / 0.500001
    };
    for (const Case& c : cases) {
        ScriptedDraws draws(concat({pick(0, 5), {0.9, c.w}}));
        EXPECT_EQ(text(run(trialLocalGrad, pool)), c.expected);
        EXPECT_TRUE(draws.allUsed());
    }
}

TEST(TrialTypes, TopoSmoothAveragesNumberedNeighbours) {
    struct Case {
        std::string parent;
        std::string expected;
    };
    const Case cases[] = {
        // Built from the last entry to the first; x has no neighbours.
        {"c1=100;c2=200;c3=600;x=050;", "x=050;c3=400;c2=275;c1=150;"},
        // Every number in a name counts: m1s2 has m2s2 and m1s1.
        {"m1s2=100;m2s2=300;m1s1=500;", "m1s1=300;m2s2=200;m1s2=250;"},
        {"alpha=100;beta=200;", ""},  // no numbered names: empty
    };
    for (const Case& c : cases) {
        ResultsList results = resultsOf({{c.parent, 1}});
        OptimiserPool pool = localPool(results);
        ScriptedDraws draws(concat({pick(0, 1), {0.5}}));
        EXPECT_EQ(text(run(trialTopoSmooth, pool)), c.expected) << c.parent;
    }
}

TEST(TrialTypes, CellOperationsRenumberTheCellsOfOneStem) {
    struct Case {
        const char* label;
        TrialFunction trial;
        std::string parent;
        std::vector<double> draws;  // stem, then entries until one of the stem
        std::string expected;
    };
    const std::string cells = "c1len=101;c2len=102;c3len=103;k=007;";
    const Case cases[] = {
        {"double 2",
         trialCellDouble,
         cells,
         {below(0, 1), below(1, 4)},
         "c1len=101;c2len=102;c3len=102;c4len=103;k=007;"},
        // Entry k has no cell number: drawn again.
        {"delete 1",
         trialCellDelete,
         cells,
         {below(0, 1), below(3, 4), below(0, 4)},
         "c1len=102;c2len=103;k=007;"},
        {"commute 2 with 1",
         trialCellCommute,
         cells,
         {below(0, 1), below(1, 4)},
         "c2len=101;c1len=102;c3len=103;k=007;"},
        {"commute 1 with 2",
         trialCellCommute,
         cells,
         {below(0, 1), below(0, 4)},
         "c2len=101;c1len=102;c3len=103;k=007;"},
        {"commute alone", trialCellCommute, "c5a=001;k=007;", {below(0, 1), below(0, 2)}, ""},
        // Two stems; the second (d) is drawn; its rest of name is kept.
        {"double other stem",
         trialCellDouble,
         "s1f=001;d1l=003;d1m=004;s2f=002;",
         {below(1, 2), below(2, 4)},
         "s1f=001;d1l=003;d2l=003;d1m=004;d2m=004;s2f=002;"},
        {"no numbers", trialCellDelete, "alpha=001;", {}, ""},
    };
    for (const Case& c : cases) {
        ResultsList results = resultsOf({{c.parent, 1}});
        OptimiserPool pool = localPool(results);
        ScriptedDraws draws(concat({pick(0, 1), c.draws}));
        EXPECT_EQ(text(run(c.trial, pool)), c.expected) << c.label;
        EXPECT_TRUE(draws.allUsed()) << c.label;
    }
}

// Every trial type on a small pool with ordinary draws: levels stay in range,
// and the types that only move or blend levels keep to the parents' names.
TEST(TrialTypes, LevelsStayInRangeAndNamesComeFromTheParents) {
    ResultsList results = resultsOf({{"c1a=000;c2a=999;c3a=500;b=010;", 3},
                                     {"c1a=999;c2a=000;c3a=250;b=990;", 2},
                                     {"c1a=400;c2a=600;b=500;e=123;", 1},
                                     {"c1a=001;c2a=998;c3a=700;b=000;", 0.5}});
    OptimiserPool pool = localPool(results);
    std::set<std::string> parentNames = {"c1a", "c2a", "c3a", "b", "e"};
    MessageRecorder messages;
    seedRandom(2024);
    for (const TrialType& type : kTrialTypes) {
        for (int i = 0; i < 300; i++) {
            Genome g = run(type.make, pool);
            for (int j = 0; j < g.count(); j++) {
                const std::string& name = g.names[static_cast<size_t>(j)];
                int32_t level = g.levels[static_cast<size_t>(j)];
                ASSERT_GE(level, 0) << type.name;
                ASSERT_LE(level, 999) << type.name;
                bool renames = type.index >= TrialCellDouble && type.index <= TrialCellCommute;
                EXPECT_TRUE(renames || parentNames.count(name)) << type.name << " " << name;
            }
        }
    }
}
