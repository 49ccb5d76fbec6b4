#include <gtest/gtest.h>

#include <random>

#include "optimiser_support.hpp"
#include "platform/files.hpp"
#include "results/binary_results.hpp"
#include "results/duplicate_check.hpp"
#include "results/optimiser.hpp"
#include "results/text_results.hpp"
#include "results_fixture.hpp"

namespace {

std::string text(const Genome& g) {
    return genomeToText(g);
}

}  // namespace

TEST(ChooseTrialType, RatiosScannedFromTheLastTypeAndSmallPoolsExplore) {
    // A fixed mix, so that the cases follow the scan and not the defaults.
    OptimiserSettings defaults;
    defaults.ratios = {0, 3, 3, 3, 3, 3, 3, 1, 3, 1, 1, 1, 1, 4, 4, 1};
    OptimiserSettings none;
    none.ratios.fill(0);
    struct Case {
        size_t pool;
        bool transmits;  // some result of the pool scores above zero
        const OptimiserSettings& settings;
        double u, v;  // fractions of the two draws
        int expected;
    };
    // These ratios sum to 35; scanning down from Rerun, u = 0.5 is used
    // up by the first type, u = 34.5 only by Mutate, u = 16.5 by Extreme.
    const Case cases[] = {
        {1000, false, defaults, 0.5 / 35, 0.5, TrialRerun},
        {1000, false, defaults, 34.5 / 35, 0.5, TrialMutate},
        {1000, false, defaults, 16.5 / 35, 0.5, TrialExtreme},
        {1000, false, defaults, 16.5 / 35, 0.06, TrialRandom},  // 1000^-0.4 = 0.063 > v
        {10, false, defaults, 16.5 / 35, 0.39, TrialRandom},    // 10^-0.4 = 0.398
        {10, false, defaults, 16.5 / 35, 0.40, TrialExtreme},
        {10, true, defaults, 16.5 / 35, 0.099, TrialRandom},  // 1/10 once a result transmits
        {10, true, defaults, 16.5 / 35, 0.101, TrialExtreme},
        {0, false, defaults, 0.5 / 35, 0.999, TrialRandom},  // no records: always random
        {1, true, defaults, 0.5 / 35, 0.999, TrialRandom},
        {1000, false, none, 0.5, 0.9, TrialRandom},  // all ratios 0
    };
    for (const Case& c : cases) {
        ScriptedDraws draws({c.u, c.v});
        EXPECT_EQ(chooseTrialType(c.pool, c.transmits, c.settings), c.expected)
            << c.pool << " " << c.u << " " << c.v;
        EXPECT_TRUE(draws.allUsed());
    }
}

TEST(DuplicateCheck, AgreesWithGenomeEqualIgnoringPoolMetadata) {
    struct Case {
        std::string candidate;  // read with metadata kept, as a trial could make it
        std::string record;
        bool held;
    };
    const Case cases[] = {
        {"a=500;b=007;", "b=007;a=500;", true},     // order does not matter
        {"a=500;", "A=500;#runs=3;#gen=1;", true},  // case and metadata
        {"a=500;", "a=500;b=001;", false},
        {"a=500;b=001;", "a=500;", false},
        {"a=500;", "a=001;a=500;", false},  // two entries against one
        {"a=500;", "a=501;", false},
        {"a=999;", "a=1500;", true},              // stored levels are read clamped
        {"x=001;x=001;", "x=001;y=005;", true},   // as genomeEqual: each x found
        {"x=001;x=002;", "x=001;x=002;", false},  // the last x counts twice
        {"", "", true},
        {"", "#runs=1;", true},
    };
    for (const Case& c : cases) {
        Genome candidate = genomeFromText(c.candidate, false);
        ResultsList results = resultsOf({{"q=123;", 0}, {c.record, 1}});
        OptimiserPool pool = localPool(results);
        EXPECT_EQ(poolHoldsGenome(pool, candidate), c.held) << c.candidate << " vs " << c.record;
        Genome record = genomeFromText(c.record, false);
        EXPECT_EQ(genomeEqual(candidate, record) == 1, c.held) << "oracle " << c.candidate;
    }
}

// Small genomes from a few names and levels, duplicates and metadata
// included: the check must answer as genomeEqual does for every pair.
TEST(DuplicateCheck, AgreesWithGenomeEqualOnRandomSmallGenomes) {
    std::mt19937 rng(99);
    auto line = [&]() {
        static const char* const names[] = {"a", "B", "b", "c", "#runs"};
        std::string text;
        for (unsigned i = rng() % 4; i > 0; i--) {
            text += names[rng() % 5];
            text += rng() % 2 ? "=001;" : "=002;";
        }
        return text;
    };
    int held = 0;
    for (int i = 0; i < 3000; i++) {
        Genome candidate = genomeFromText(line(), false);
        std::string record = line();
        ResultsList results = resultsOf({{record, 1}});
        bool expected = genomeEqual(candidate, genomeFromText(record, false)) == 1;
        ASSERT_EQ(poolHoldsGenome(localPool(results), candidate), expected)
            << genomeToText(candidate) << " vs " << record;
        held += expected;
    }
    EXPECT_GT(held, 100);  // both answers are well represented
}

TEST(MakeGenome, DuplicatesAreMadeAgainAndTheTypeIsRecorded) {
    MessageRecorder messages;
    ResultsList results = resultsOf({{"a=500;#runs=3;", 1}});
    OptimiserSettings settings;
    // MuOne: the first candidate moves a by 0 and equals the record; the
    // second moves it by 15.
    ScriptedDraws draws(
        concat({pick(0, 1), {0.0, 0.5, below(0, 1)}, pick(0, 1), {0.5, 0.75, below(0, 1)}}));
    MadeGenome made = makeTrial(results, "lat", TrialMuOne, std::nullopt, settings);
    EXPECT_EQ(text(made.genome), "a=515;#gen=6;");
    EXPECT_EQ(made.candidates, 2);
    EXPECT_TRUE(draws.allUsed());
    EXPECT_NE(messages.output.find("Making new genome, TrialType=MuOne..."), std::string::npos);
    EXPECT_NE(messages.output.find("Making new genome, TrialType=MuOne... Done"),
              std::string::npos);
}

TEST(MakeGenome, APoolHoldingEverythingEndsAfterTheLastCandidate) {
    MessageRecorder messages;
    OptimiserSettings settings;
    struct Case {
        std::vector<std::pair<std::string, double>> pool;
        int mode;
        std::string expected;
    };
    const Case cases[] = {
        // Random always makes the empty genome, which the pool holds.
        {{{"", 1}}, TrialRandom, "#gen=0;"},
        // TopoSmooth of a genome without numbered names is empty as well.
        {{{"", 1}, {"alpha=001;", 2}}, TrialTopoSmooth, "#gen=9;"},
        // A pool too small for Crossover gives the empty genome each time.
        {{{"", 1}}, TrialCrossover, "#gen=2;"},
    };
    for (const Case& c : cases) {
        ResultsList results = resultsOf(c.pool);
        seedRandom(7);
        MadeGenome made = makeTrial(results, "lat", c.mode, std::nullopt, settings);
        EXPECT_EQ(made.candidates, kMaxCandidates) << c.mode;
        EXPECT_EQ(text(made.genome), c.expected);
    }
}

TEST(MakeGenome, SmallPoolsGiveTheEmptyGenomeWithItsType) {
    MessageRecorder messages;
    OptimiserSettings settings;
    ResultsList none = resultsOf({});
    ResultsList one = resultsOf({{"a=100;", 1}});
    seedRandom(3);
    EXPECT_EQ(text(makeGenome(none, "lat", TrialMutate, std::nullopt, settings)), "#gen=1;");
    EXPECT_EQ(text(makeGenome(one, "lat", TrialExtrapolate, std::nullopt, settings)), "#gen=4;");
    // By ratios: an empty pool always draws Random.
    for (int i = 0; i < 20; i++) {
        MadeGenome made = makeTrial(none, "lat", kModeByRatios, std::nullopt, settings);
        EXPECT_EQ(made.mode, TrialRandom);
    }
}

TEST(MakeGenome, SetFromFileTakesTheLastPoolRecordUnchanged) {
    InScratchFolder folder;
    MessageRecorder messages;
    OptimiserSettings settings;
    ResultsList results = resultsOf({{"a=001;", 1}, {"a=002;#runs=4;", 2}, {"z=009;", 3}}, "lat");
    listAppend(results, resultsOf({{"a=777;", 9}}, "other")[0]);

    // Local results only: the last one of the lattice, without metadata.
    Genome g = makeGenome(results, "LAT", kModeSetFromFile, std::nullopt, settings);
    EXPECT_EQ(text(g), "z=009;");

    // With a sample file: its first record is the pool's last.
    makeDirectory(kSampleFolder);
    folder.write("samplefiles/lat.txt",
                 "s=100;#gen=2;\r\n5.000000 [v4.44d] <lat> \r\n"
                 "s=200;\r\n6.000000 [v4.44d] <lat> \r\n");
    g = makeGenome(results, "lat", kModeSetFromFile, std::nullopt, settings);
    EXPECT_EQ(text(g), "s=100;");
    EXPECT_NE(messages.output.find("TrialType=SetFromFile..."), std::string::npos);

    // Nothing for the lattice: a warning and the empty genome, no "#gen".
    messages.keys.push_back('y');
    g = makeGenome(results, "absent", kModeSetFromFile, std::nullopt, settings);
    EXPECT_EQ(g.count(), 0);
    EXPECT_NE(messages.output.find(
                  "[WARNING] Could not find genome for lattice absent, trying random/empty one..."),
              std::string::npos);
}

TEST(OptimiserPool, LocalRecordsThenTheSampleFileBackwardsInEitherForm) {
    InScratchFolder folder;
    MessageRecorder messages;
    ResultsList local = resultsOf({{"a=001;", 1}, {"a=002;", 2}});
    listAppend(local, resultsOf({{"a=003;", 3}}, "other")[0]);
    ResultsList sample = resultsOf({{"s=001;", 4}, {"s=002;", 5}});
    for (ResultRecord& r : sample) r.scoreLine = "4.000000 (1.0 Mpts) [v4.44d] <lat> ";
    listAppend(sample, resultsOf({{"o=001;", 6}}, "other")[0]);
    makeDirectory(kSampleFolder);

    auto genomes = [&](const std::string& lattice) {
        OptimiserPool pool = buildPool(local, lattice);
        std::string out;
        for (size_t i = 0; i < pool.size(); i++) out += pool[i].genomeLine + " ";
        return out;
    };
    EXPECT_EQ(genomes("lat"), "a=001; a=002; ");  // no sample file yet

    ASSERT_TRUE(saveResults(sample, sample.count(), "samplefiles/lat.txt", false));
    EXPECT_EQ(genomes("lat"), "a=001; a=002; s=002; s=001; ");

    // A binary file under the text name, holding another lattice's record too.
    ASSERT_TRUE(saveBinaryResults(sample, "samplefiles/lat.txt"));
    EXPECT_EQ(genomes("lat"), "a=001; a=002; s=002; s=001; ");

    // Only a ".bin" file.
    ASSERT_TRUE(renameFile("samplefiles/lat.txt", "samplefiles/lat.bin"));
    EXPECT_EQ(genomes("lat"), "a=001; a=002; s=002; s=001; ");

    // A lattice name that is not a plain file name reads no sample file.
    EXPECT_EQ(genomes("../lat"), "");
}
