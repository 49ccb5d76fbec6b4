#include "results/prune.hpp"

#include <gtest/gtest.h>

#include "common/random.hpp"
#include "platform/files.hpp"
#include "results/text_results.hpp"
#include "results_fixture.hpp"

namespace {

std::string records(const std::vector<std::pair<double, std::string>>& scores) {
    std::string text;
    int n = 0;
    for (const auto& [score, lattice] : scores) {
        Genome genome;
        genomeSet(genome, "a", n++);
        ResultRecord r =
            formatScoreLine(genome, score, 1,
                            {"v4.44d", lattice.empty() ? std::nullopt : std::optional(lattice), ""},
                            nullptr, kProgramFormat);
        text += recordText(r);
    }
    return text;
}

std::vector<double> scoresIn(const std::string& path) {
    std::vector<double> out;
    for (const ResultRecord& r : loadResults(path, std::nullopt)) out.push_back(r.score);
    return out;
}

PruneSettings pruneAnything(char mode, float proportion, std::string store = "") {
    return PruneSettings{1, proportion, mode, std::move(store)};
}

}  // namespace

TEST(Prune, KeepModesChooseWhichRecordsStay) {
    struct Case {
        char mode;
        std::vector<double> kept;
    };
    const Case cases[] = {
        {'B', {5, 4, 9}},           // the best of each lattice
        {'F', {5, 1, 9}},           // the earliest
        {'L', {4, 2, 9}},           // the latest
        {'X', {5, 1, 4, 2, 9, 7}},  // an unknown mode removes nothing
    };
    for (const Case& c : cases) {
        InScratchFolder f;
        MessageRecorder messages;
        f.write(
            "results.dat",
            records({{5, "demo"}, {1, "DEMO"}, {4, "demo"}, {2, "demo"}, {9, "other"}, {7, ""}}));
        pruneResults("results.dat", pruneAnything(c.mode, 0.5f, "store.dat"));
        // The single "other" record and the record without a lattice always stay.
        std::vector<double> expected = c.kept;
        if (c.mode != 'X') expected.push_back(7);
        EXPECT_EQ(scoresIn("results.dat"), expected) << c.mode;
        EXPECT_EQ(scoresIn("store.dat").size() + expected.size(), 6u) << c.mode;
    }
}

TEST(Prune, RandomModeKeepsTheProportionAndStoresTheRest) {
    InScratchFolder f;
    MessageRecorder messages;
    seedRandom(12345);
    f.write("results.dat", records({{1, "x"}, {2, "x"}, {3, "x"}, {4, "x"}, {5, "x"}, {6, "x"}}));
    pruneResults("results.dat", pruneAnything('R', 0.5f, "store.dat"));
    std::vector<double> kept = scoresIn("results.dat");
    std::vector<double> gone = scoresIn("store.dat");
    ASSERT_EQ(kept.size(), 3u);
    ASSERT_EQ(gone.size(), 3u);
    std::vector<double> all = kept;
    all.insert(all.end(), gone.begin(), gone.end());
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, (std::vector<double>{1, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(std::is_sorted(kept.begin(), kept.end()));  // file order kept
}

TEST(Prune, KeepCountRoundsUpInDoublePrecision) {
    EXPECT_EQ(pruneKeepCount(5, 0.5f), 3);
    EXPECT_EQ(pruneKeepCount(5, 0.4f), 3);  // 5 x 0.4000000059604645
    EXPECT_EQ(pruneKeepCount(1, 0.0f), 1);
    EXPECT_EQ(pruneKeepCount(10, 0.0f), 1);
    EXPECT_EQ(pruneKeepCount(4, 1.5f), 4);
    EXPECT_EQ(pruneKeepCount(0, 0.5f), 1);
}

TEST(Prune, StoreAccumulatesOrIsSkipped) {
    InScratchFolder f;
    MessageRecorder messages;
    std::string four = records({{1, "x"}, {2, "x"}, {3, "x"}, {4, "x"}});
    f.write("results.dat", four);
    pruneResults("results.dat", pruneAnything('B', 0.5f, "store.dat"));
    f.write("results.dat", four);
    pruneResults("results.dat", pruneAnything('B', 0.5f, "store.dat"));
    EXPECT_EQ(scoresIn("store.dat"), (std::vector<double>{1, 2, 1, 2}));
    EXPECT_TRUE(messages.output.find("results.dat exceeded 1 bytes, pruning...") !=
                std::string::npos);

    f.write("results.dat", four);
    pruneResults("results.dat", pruneAnything('B', 0.5f));
    EXPECT_EQ(scoresIn("results.dat"), (std::vector<double>{3, 4}));
    EXPECT_EQ(scoresIn("store.dat").size(), 4u);
}

TEST(Prune, FilesWithinTheLimitAreLeftAlone) {
    InScratchFolder f;
    MessageRecorder messages;
    std::string four = records({{1, "x"}, {2, "x"}, {3, "x"}, {4, "x"}});
    f.write("results.dat", four);
    const int64_t limits[] = {static_cast<int64_t>(four.size()), int64_t{2048} * 1048576,
                              int64_t{4096} * 1048576, 0, -5};
    for (int64_t limit : limits) {
        pruneResults("results.dat", PruneSettings{limit, 0.5f, 'B', "store.dat"});
        EXPECT_EQ(f.read("results.dat"), four) << limit;
    }
    EXPECT_FALSE(fileExists("store.dat"));
    EXPECT_EQ(messages.output, "");
}

TEST(Prune, AStoreThatCannotBeWrittenKeepsTheDatabaseWhole) {
    InScratchFolder f;
    MessageRecorder messages;
    std::string four = records({{1, "x"}, {2, "x"}, {3, "x"}, {4, "x"}});
    f.write("results.dat", four);
    messages.keys = {'y'};
    pruneResults("results.dat", pruneAnything('B', 0.5f, "no/such/folder/store.dat"));
    EXPECT_EQ(f.read("results.dat"), four);
    EXPECT_NE(messages.output.find("[WARNING] Could not open 'no/such/folder/store.dat'"),
              std::string::npos);
}
