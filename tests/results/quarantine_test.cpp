#include "results/quarantine.hpp"

#include <gtest/gtest.h>

#include "common/text.hpp"
#include "platform/files.hpp"
#include "results/checksum.hpp"
#include "results/text_results.hpp"
#include "results_fixture.hpp"

namespace {

// A program folder with the lattice "demo" installed and quarantine on.
struct QueueFolder : InScratchFolder {
    MessageRecorder messages;
    QuarantineState state;
    ResultsList results;
    ResultPaths paths;

    QueueFolder() {
        write("lattices/demo.txt", "L=[0.5 2]\r\n");
        state.queuePath = "queue.txt";
        listInit(results);
    }
    // Results that count carry a checksum; only they are quarantined.
    StoreOutcome store(const Genome& genome, double score, double extra = 10,
                       const ChecksumFunction& checksum = recordChecksum) {
        return storeResult(genome, score, extra, std::string("demo"), checksum, std::string(),
                           results, kProgramFormat, &state, paths);
    }
    std::optional<Genome> take(const ChecksumFunction& checksum = nullptr) {
        std::optional<std::string> lattice;
        return takeFromQueue(lattice, checksum, &state);
    }
    bool said(const std::string& text) const {
        return messages.output.find(text) != std::string::npos;
    }
};

ResultRecord record(const std::string& genomeLine, double score, const std::string& lattice) {
    return formatScoreLine(genomeFromText(genomeLine, true), score, 1, {"v4.44d", lattice, ""},
                           nullptr, kProgramFormat);
}

}  // namespace

TEST(Quarantine, NewBestIsRunFiveTimesThenStoredWithTheTrimmedMean) {
    QueueFolder f;
    const double scores[] = {3, 5, 1, 4, 2};
    StoreOutcome outcome =
        f.store(genomeFromText("a=007;#gen=2;", true), scores[0], 10, recordChecksum);
    EXPECT_EQ(outcome.where, StoredWhere::Quarantine);
    EXPECT_EQ(outcome.quarantineRun, 1);
    EXPECT_EQ(outcome.requiredRuns, 5);
    EXPECT_TRUE(f.said("Initiating quarantine of score 3"));
    EXPECT_TRUE(f.said("  (no rechecked scores for demo found)"));
    EXPECT_EQ(f.results.count(), 0u);
    EXPECT_FALSE(fileExists("results.dat"));

    for (int run = 2; run <= 5; run++) {
        std::optional<Genome> genome = f.take(recordChecksum);
        ASSERT_TRUE(genome.has_value()) << "run " << run;
        EXPECT_EQ(genomeGet(*genome, "#queued"), 1);
        EXPECT_EQ(genomeGet(*genome, "#runs"), run - 1);
        EXPECT_EQ(recheckRunOf(*genome).run, static_cast<uint32_t>(run - 1));
        EXPECT_EQ(f.state.scores.size(), static_cast<size_t>(run - 1));
        EXPECT_DOUBLE_EQ(f.state.extraTotal, 10.0 * (run - 1));
        outcome = f.store(*genome, scores[run - 1], 10, recordChecksum);
        EXPECT_TRUE(f.said(format("Quarantined result has now been run %d of 5 times", run)));
        // The outcome says where the result went, as the messages do.
        EXPECT_EQ(outcome.where, run < 5 ? StoredWhere::Quarantine : StoredWhere::Stored);
        EXPECT_EQ(outcome.quarantineRun, run);
        EXPECT_EQ(outcome.passedQuarantine, run == 5);
        if (run == 3) {
            // One queue record, holding every score so far and the work of all runs.
            ResultsList queue = loadResults("queue.txt", std::nullopt);
            ASSERT_EQ(queue.count(), 1u);
            EXPECT_EQ(queue[0].genomeLine, "a=007;#gen=2;#runs=3;#queued=1;");
            EXPECT_EQ(queue[0].scoreLine.substr(0, 44),
                      "3.000000,5.000000,1.000000 (30.0 Mpts) [v4.4");
        }
    }
    EXPECT_TRUE(f.said("Result passed quarantine with score 3, will be added to results file"));
    EXPECT_FALSE(fileExists("queue.txt"));
    ASSERT_EQ(f.results.count(), 1u);
    const ResultRecord& stored = f.results[0];
    EXPECT_DOUBLE_EQ(stored.score, 3.0);  // mean of 2, 3 and 4
    EXPECT_DOUBLE_EQ(outcome.score, 3.0);
    EXPECT_EQ(bestRecheckedScore(f.results, std::string("DEMO"), 5), 3.0);
    EXPECT_DOUBLE_EQ(readExtra(stored.scoreLine), 50.0);
    Genome genome = genomeFromText(stored.genomeLine, true);
    EXPECT_EQ(genomeGet(genome, "#runs"), 5);
    EXPECT_FALSE(genomeHas(genome, "#queued"));
    EXPECT_EQ(f.read("results.dat"), recordText(stored));
    EXPECT_EQ(f.read("results.txt"), recordText(stored));
    EXPECT_EQ(
        acceptRecord(stored.genomeLine, stored.scoreLine, std::nullopt, recordChecksum, false),
        RecordAccepted);
}

TEST(Quarantine, OnlyAStrictlyHigherRecheckedScoreOfTheSameLatticeSkipsQuarantine) {
    struct Case {
        double score;
        bool quarantined;
        const char* message;
    };
    const Case cases[] = {
        {9, false, nullptr},
        {10, true, "  (best rechecked score for demo is 10)"},
        {11, true, "  (best rechecked score for demo is 10)"},
    };
    for (const Case& c : cases) {
        QueueFolder f;
        listAppend(f.results, record("a=001;#runs=5;", 10, "demo"));
        listAppend(f.results, record("a=002;#runs=4;", 50, "demo"));   // not fully rechecked
        listAppend(f.results, record("a=003;#runs=5;", 90, "other"));  // another lattice
        listAppend(f.results, record("a=004;#runs=5;", 8, "DEMO"));
        // Only the fully rechecked results of the lattice count, in any letter case.
        EXPECT_EQ(bestRecheckedScore(f.results, std::string("demo"), 5), 10.0);
        StoreOutcome outcome = f.store(genomeFromText("a=009;", true), c.score);
        EXPECT_EQ(outcome.where, c.quarantined ? StoredWhere::Quarantine : StoredWhere::Stored);
        EXPECT_EQ(fileExists("queue.txt"), c.quarantined) << c.score;
        EXPECT_EQ(f.state.pending, c.quarantined) << c.score;
        if (c.quarantined) {
            EXPECT_TRUE(f.said(c.message)) << f.messages.output;
            EXPECT_EQ(f.results.count(), 4u);
        } else {
            ASSERT_EQ(f.results.count(), 5u);
            EXPECT_EQ(f.results[4].genomeLine, "a=009;");
            EXPECT_EQ(f.read("results.dat"), recordText(f.results[4]));
            EXPECT_FALSE(f.said("Initiating"));
        }
    }
}

TEST(Quarantine, TestRecordsFromTheQueueRunOnce) {
    QueueFolder f;
    listAppend(f.results, record("a=001;#runs=5;", 10, "demo"));
    f.write("queue.txt", "a=005;#gen=3;\r\nTEST <demo>\r\nb=001;\r\nTEST <demo>\r\n");
    std::optional<Genome> genome = f.take();
    ASSERT_TRUE(genome.has_value());
    EXPECT_TRUE(f.said("Testing result from queue file"));
    EXPECT_EQ(genomeToText(*genome), "a=005;#queued=2;");
    EXPECT_FALSE(f.state.pending);
    EXPECT_FALSE(recheckRunOf(*genome).recheck);

    // Beaten by the rechecked 10: stored at once and the test record dropped.
    f.store(*genome, 4);
    EXPECT_EQ(f.read("queue.txt"), "b=001;\r\nTEST <demo>\r\n");
    ASSERT_EQ(f.results.count(), 2u);
    EXPECT_EQ(f.results[1].genomeLine, "a=005;");

    // A new best from a test record enters quarantine in place of the test record.
    genome = f.take();
    ASSERT_TRUE(genome.has_value());
    f.store(*genome, 20);
    ResultsList queue = loadResults("queue.txt", std::nullopt);
    ASSERT_EQ(queue.count(), 1u);
    EXPECT_EQ(queue[0].genomeLine, "b=001;#queued=1;#runs=1;");
}

TEST(Quarantine, ATestRecordMarkedQueuedIsARecheck) {
    QueueFolder f;
    f.write("queue.txt", "a=005;#runs=2;#queued=1;\r\nTEST,2.5 (7.0 Mpts) <demo>\r\n");
    std::optional<Genome> genome = f.take();
    ASSERT_TRUE(genome.has_value());
    EXPECT_TRUE(f.said("Rechecking quarantined result"));
    EXPECT_EQ(genomeGet(*genome, "#queued"), 1);
    EXPECT_EQ(genomeGet(*genome, "#runs"), 2);
    EXPECT_TRUE(f.state.pending);
    EXPECT_DOUBLE_EQ(f.state.extraTotal, 7.0);
}

TEST(Quarantine, QueueRecordsThatAreNotUsed) {
    struct Case {
        const char* name;
        const char* queue;
        std::optional<std::string> lattice;  // the caller's
        bool keptInQueue;
    };
    const Case cases[] = {
        {"no lattice field", "a=1;#queued=1;\r\n1 [v4.44d]\r\n", std::nullopt, true},
        {"lattice not installed", "a=1;#queued=1;\r\n1 [v4.44d] <gone>\r\n", std::nullopt, false},
        {"another lattice", "a=1;#queued=1;\r\n1 [v4.44d] <demo>\r\n", "other", true},
        {"plain record", "a=1;\r\n1 [v4.44d] <demo>\r\n", std::nullopt, true},
    };
    for (const Case& c : cases) {
        QueueFolder f;
        f.write("lattices/other.txt", "L=[1 2]\r\n");
        f.write("queue.txt", c.queue);
        f.state.pending = true;
        std::optional<std::string> lattice = c.lattice;
        EXPECT_FALSE(takeFromQueue(lattice, nullptr, &f.state).has_value()) << c.name;
        EXPECT_FALSE(f.state.pending) << c.name;
        EXPECT_EQ(lattice, c.lattice) << c.name;
        EXPECT_EQ(fileExists("queue.txt"), c.keptInQueue) << c.name;
    }
    QueueFolder f;
    f.state.pending = true;
    EXPECT_FALSE(f.take().has_value());  // no queue file at all
    EXPECT_FALSE(f.state.pending);

    // The caller learns the lattice from the record.
    f.write("queue.txt", "a=1;#runs=1;#queued=1;\r\n1.5 (2.0 Mpts) [v4.44d] <Demo>\r\n");
    std::optional<std::string> lattice;
    ASSERT_TRUE(takeFromQueue(lattice, nullptr, &f.state).has_value());
    EXPECT_EQ(lattice, "Demo");
    EXPECT_EQ(f.state.scores, std::vector<double>{1.5});
}

// Queue records that can no longer be rechecked are moved aside without a
// question; a good record behind them is then used.
TEST(Quarantine, QueueRecordsThatFailTheirTestsAreMovedToTheRemovedStore) {
    QueueFolder f;
    f.store(genomeFromText("a=007;", true), 3);  // quarantined, with its checksum
    ASSERT_TRUE(fileExists("queue.txt"));
    std::string good = f.read("queue.txt");
    const std::string stale = "a=1;#runs=1;#queued=1;\r\n2 (1.0 Mpts) [v4.44d] <demo> {00}\r\n";
    const std::string old = "a=2;#runs=1;#queued=1;\r\n2 (1.0 Mpts) [v4.20] <demo>\r\n";
    f.write("queue.txt", stale + old + good);
    std::optional<Genome> genome = f.take(recordChecksum);
    ASSERT_TRUE(genome.has_value());
    EXPECT_EQ(genomeGet(*genome, "a"), 7);
    EXPECT_EQ(f.read("results_removed.dat"), stale + old);
    EXPECT_EQ(f.read("queue.txt"), good);
    EXPECT_FALSE(f.said("Continue (Y/N/These/All)?"));
    EXPECT_TRUE(f.said("Queued result for lattice 'demo' cannot be rechecked (bad checksum"));
    EXPECT_TRUE(f.said("cannot be rechecked (its version is too old)"));

    // Without a store the record goes all the same: it would stop every start.
    f.state.removedStore.clear();
    f.write("queue.txt", stale);
    EXPECT_FALSE(f.take(recordChecksum).has_value());
    EXPECT_FALSE(fileExists("queue.txt"));
    EXPECT_EQ(f.read("results_removed.dat"), stale + old);
}

// A result without a checksum can never count: it is stored as it is,
// never queued, and a test record it came from is still used up.
TEST(Quarantine, ResultsWithoutAChecksumAreNeverQueued) {
    QueueFolder f;
    f.store(genomeFromText("a=007;", true), 3, 10, nullptr);
    EXPECT_FALSE(fileExists("queue.txt"));
    EXPECT_FALSE(f.said("Initiating quarantine"));
    ASSERT_EQ(f.results.count(), 1u);
    EXPECT_EQ(f.read("results.dat"), recordText(f.results[0]));

    f.write("queue.txt", "a=9;\r\nTEST 1 [v4.44d] <demo>\r\n");
    std::optional<Genome> test = f.take();
    ASSERT_TRUE(test.has_value());
    f.store(*test, 4, 10, nullptr);
    EXPECT_FALSE(fileExists("queue.txt"));
    EXPECT_EQ(f.results.count(), 2u);
}

TEST(Quarantine, WithoutAQueueEveryResultIsStoredDirectly) {
    QueueFolder f;
    f.state.queuePath.reset();
    f.write("queue.txt", "a=1;#runs=1;#queued=1;\r\n1 (2.0 Mpts) [v4.44d] <demo>\r\n");
    EXPECT_FALSE(f.take().has_value());
    f.store(genomeFromText("a=001;#queued=1;", true), 99, 10, nullptr);
    storeResult(genomeFromText("a=002;", true), 98, 1, std::string("demo"), nullptr, std::string(),
                f.results, kProgramFormat, nullptr, f.paths);
    ASSERT_EQ(f.results.count(), 2u);
    EXPECT_EQ(f.results[0].genomeLine, "a=001;");
    EXPECT_EQ(f.results[0].scoreLine, "99.000000 (10.0 Mpts) [v4.44d] <demo> ");
    EXPECT_EQ(loadResults("results.dat", std::nullopt).count(), 2u);
    EXPECT_FALSE(f.said("quarantine"));
}

TEST(Quarantine, AResultIsKeptWhenTheQueueVanishesBeforeItsRecordIsDropped) {
    QueueFolder f;
    f.write("queue.txt", "a=1;#runs=4;#queued=1;\r\n1,2,3,4 (8.0 Mpts) [v4.44d] <demo>\r\n");
    std::optional<Genome> genome = f.take();
    ASSERT_TRUE(genome.has_value());
    removeFile("queue.txt");
    f.store(*genome, 5, 2);
    ASSERT_EQ(f.results.count(), 1u);
    EXPECT_DOUBLE_EQ(f.results[0].score, 3.0);
    EXPECT_DOUBLE_EQ(readExtra(f.results[0].scoreLine), 10.0);
    EXPECT_EQ(loadResults("results.dat", std::nullopt).count(), 1u);
    EXPECT_FALSE(fileExists("queue.txt"));
}

TEST(Quarantine, AResultThatCannotBeWrittenIsReportedDropped) {
    // The file a result belongs in is a folder: nothing can be written there.
    struct Case {
        const char* blocked;
        double score;  // 9 is stored directly, 11 is quarantined
    };
    const Case cases[] = {{"results.dat", 9}, {"queue.txt", 11}};
    for (const Case& c : cases) {
        QueueFolder f;
        listAppend(f.results, record("a=001;#runs=5;", 10, "demo"));
        ASSERT_TRUE(makeDirectory(c.blocked));
        StoreOutcome outcome = f.store(genomeFromText("a=009;", true), c.score);
        EXPECT_EQ(outcome.where, StoredWhere::Dropped) << c.blocked;
    }
    EXPECT_FALSE(bestRecheckedScore(ResultsList{}, std::string("demo"), 5).has_value());
}
