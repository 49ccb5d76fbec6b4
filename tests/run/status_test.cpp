// What the client tells the user about itself: the outcome line of a run,
// the state file kept between starts, and the status built from the folder.
#include "run/status.hpp"

#include <gtest/gtest.h>

#include "platform/files.hpp"
#include "results/text_results.hpp"
#include "run/client_state.hpp"
#include "run/run_outcome.hpp"
#include "support/test_support.hpp"

namespace {

ResultRecord record(const std::string& genomeLine, double score, const std::string& lattice) {
    return formatScoreLine(genomeFromText(genomeLine, true), score, 1.5, {"v4.44d", lattice, ""},
                           nullptr, kProgramFormat);
}

StoreOutcome outcome(StoredWhere where, int32_t run = 0, bool passed = false, double score = 0) {
    StoreOutcome o;
    o.where = where;
    o.quarantineRun = run;
    o.requiredRuns = 5;
    o.passedQuarantine = passed;
    o.score = score;
    return o;
}

// Filled field by field: GCC 12's release build takes the strings of an
// aggregate-initialised table for uninitialised.
RunSummary summary(const char* lattice, double score, std::optional<double> best,
                   const StoreOutcome& stored, double seconds, double work) {
    RunSummary run;
    run.lattice = lattice;
    run.score = score;
    run.bestRechecked = best;
    run.stored = stored;
    run.seconds = seconds;
    run.work = work;
    return run;
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(RunOutcome, OneLineNamesTheLatticeScoresWhereTheResultWentAndTheWork) {
    struct Case {
        RunSummary run;
        std::vector<std::string> parts;
    };
    const Case cases[] = {
        {summary("quick", 0.125, std::nullopt, outcome(StoredWhere::Quarantine, 2), 4.0, 10),
         {"lattice quick", "score 0.125", "best rechecked: none yet",
          "quarantine 2 of 5; 4 s, 10 Mpts, 2.5 Mpts/s"}},
        {summary("front", -1.75, 12.5, outcome(StoredWhere::Stored), 0, 0.5),
         {"lattice front", "score -1.75", "best rechecked: 12.5", "stored; 0 s, 0.5 Mpts"}},
        {summary("front", 13, 13, outcome(StoredWhere::Stored, 5, true, 12.75), 2, 3),
         {"passed quarantine, stored with the trimmed mean 12.75 of 5 runs"}},
        {summary("front", 1, 12.5, outcome(StoredWhere::Dropped), 2, 3), {"dropped"}},
    };
    for (const Case& c : cases) {
        std::string line = runOutcomeLine(c.run);
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        for (const std::string& part : c.parts) EXPECT_TRUE(has(line, part)) << line;
    }
    // No rate from a run that took no time.
    EXPECT_FALSE(has(runOutcomeLine(cases[1].run), "Mpts/s"));
}

TEST(ClientState, SurvivesARoundTripAndToleratesAnEditedFile) {
    InFolder here;
    clientStateRunStarted("quick");
    ClientState state = clientStateLoad();
    EXPECT_EQ(state.currentRun, "quick");
    EXPECT_EQ(state.runsDone, 0);
    clientStateRunFinished("Run finished: lattice quick, score 1");
    clientStateRunFinished("Run finished: lattice quick, score 2");
    clientStateSent("all results sent");
    state = clientStateLoad();
    EXPECT_EQ(state.runsDone, 2);
    EXPECT_EQ(state.lastRun, "Run finished: lattice quick, score 2");
    EXPECT_EQ(state.lastSend, "all results sent");
    EXPECT_FALSE(state.lastRunTime.empty());
    EXPECT_TRUE(state.currentRun.empty());
    // Only the state file itself, no temporary left behind.
    EXPECT_EQ(listFolder(".", false), std::vector<std::string>{kStateFile});

    struct Case {
        std::string text;
        int64_t runsDone;
        std::string lastRun;
    };
    const Case cases[] = {
        {"runs done: 7\r\nlast run: ok\r\n", 7, "ok"},
        {"runs done: -3\nruns done: x\nlast run: a\x01"
         "b\n",
         0, "a b"},
        {"runs done: 99999999999999999999999\nnonsense\nlast run\n", 0, ""},
        {"last run: " + std::string(5000, 'y') + "\n", 0, std::string(1000, 'y')},
        {std::string(100 * 1024, 'z'), 0, ""},  // not a state file at all
    };
    for (const Case& c : cases) {
        here.folder.write(kStateFile, c.text);
        state = clientStateLoad();
        EXPECT_EQ(state.runsDone, c.runsDone) << c.text.substr(0, 40);
        EXPECT_EQ(state.lastRun, c.lastRun) << c.text.substr(0, 40);
    }
}

TEST(Status, SaysWhatTheFolderHolds) {
    InFolder here;
    MessageRecorder quiet(DisplayBackground);
    std::string empty = statusText();
    for (const char* part : {"Runs done: 0\n", "Last run: none yet\n", "Best scores: none yet",
                             "Recheck queue: empty\n", "Waiting to be sent: nothing\n",
                             "Last send: none yet\n", "Auto-saved run: none\n"}) {
        EXPECT_TRUE(has(empty, part)) << empty;
    }

    ASSERT_TRUE(appendResult(record("a=001;#runs=5;", 10, "demo"), "results.dat"));
    ASSERT_TRUE(appendResult(record("a=002;", 30, "demo"), "results.dat"));
    ASSERT_TRUE(appendResult(record("a=003;#runs=5;", 12, "DEMO"), "results.dat"));
    ASSERT_TRUE(appendResult(record("a=004;#runs=5;", -1.5, "other"), "results.dat"));
    ASSERT_TRUE(appendResult(record("a=002;", 30, "demo"), "results.txt"));
    ResultRecord queued =
        formatScoreLineList(genomeFromText("a=005;#runs=2;#queued=1;", true), {31, 33}, 3,
                            {"v4.44d", "demo", ""}, nullptr, kProgramFormat);
    ASSERT_TRUE(appendResult(queued, "queuecli.txt"));
    here.folder.write("autocli.sav", std::string(100, 'x'));
    clientStateRunFinished("Run finished: lattice demo, score 33");
    clientStateRunStarted("demo");
    clientStateSent("all results sent");

    StatusFiles files;
    files.requiredRuns = 5;
    std::string text = statusText(files);
    for (const char* part : {
             "Runs done: 1\n",
             "Run finished: lattice demo, score 33\n",
             // Lattices compared ignoring case; a result not fully rechecked
             // counts for the best, not for the best rechecked.
             "  demo: best 30 of 3 results, best fully rechecked 12\n",
             "  other: best -1.5 of 1 results, best fully rechecked -1.5\n",
             "  queuecli.txt: demo, run 2 of 5 so far (scores 31, 33)\n",
             "Waiting to be sent: 1 results",
             "): all results sent\n",
             "Auto-saved run: 'autocli.sav', 100 bytes",
             "lattice demo; the next start goes on with it\n",
         }) {
        EXPECT_TRUE(has(text, part)) << part << "\n" << text;
    }
    // More rechecks asked for: nothing has passed them.
    files.requiredRuns = 6;
    EXPECT_TRUE(
        has(statusText(files), "  demo: best 30 of 3 results, best fully rechecked none yet"));
    // Asking never writes.
    std::vector<std::string> before = listFolder(".", false);
    statusText(files);
    EXPECT_EQ(listFolder(".", false), before);
}
