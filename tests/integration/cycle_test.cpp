// The client running unattended in scratch program folders: single runs,
// rechecks, the queue, replaced lattices, stopping by signal and going on
// from the save, and the component lists.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <regex>

#include "beamline/cell_types.hpp"
#include "platform/process.hpp"
#include "results/checksum.hpp"
#include "results/text_results.hpp"
#include "support/test_support.hpp"

namespace {

// Offline, one thread; the proxy keeps any request that slips through on
// this machine.
const char* const kOfflineConfig =
    "Auto-send results ([Y]es, [N]o): N\n"
    "Update lattice files from web every N hours (0=don't): 0\n"
    "Download sample results file after a number of hours (0=don't, min. 6): 0\n"
    "Use proxy server for HTTP downloads (server,port or 'no'): 127.0.0.1,9\n"
    "Threads (number or 'auto'): 1\n";

// Two single particles and a drift whose length the optimiser chooses.
const char* const kQuickLattice =
    "t_max=30ns\n"
    "seed=77\n"
    "{Drift(D) Length(m)}\n"
    "{particle(P) species Energy(MeV)}\n"
    "L=[0.5 2]\n"
    "D1 #L#\n"
    "P1 'pi+' 300\n"
    "P2 'mu+' 200\n"
    "LINE: P1, P2, D1;\n"
    "LINE\n";

// Reads and checks results files in a folder as the program would, without
// letting a rejected record's warning wait for an answer.
struct InResults : InFolder {
    MessageRecorder quiet{DisplayBackground};
    explicit InResults(const std::string& path) : InFolder(path) {}
};

struct Cycle : ::testing::Test {
    ScratchFolder dir;

    void SetUp() override {
        std::filesystem::copy_file(PELTO_EXE, dir.file("pelto"));
        dir.write("config.txt", kOfflineConfig);
        std::filesystem::create_directory(dir.file("lattices"));
    }
    CommandResult run(const std::string& args, const ScratchFolder* in = nullptr,
                      const std::string& input = "") {
        const ScratchFolder& folder = in ? *in : dir;
        return runCommand(
            "cd / && env -u DISPLAY -u WAYLAND_DISPLAY '" + folder.file("pelto") + "' " + args,
            input);
    }
    static bool tracks() { return particleCellFunctions.initFn != nullptr; }

    // A result of the lattice that passed its rechecks long ago, with a
    // score no run of the quick lattice reaches: new results are stored at
    // once instead of being quarantined.
    void storeBestResult(const char* genomeLine) {
        InResults here(dir.path());
        Genome genome = genomeFromText(genomeLine, true);
        ScoreLineFields fields{std::string("v4.44d"), std::string("quick"), std::nullopt};
        ResultRecord record =
            formatScoreLine(genome, 1000, 1, fields, recordChecksum, kProgramFormat);
        ASSERT_TRUE(appendResult(record, "results.dat"));
    }
    std::vector<ResultRecord> stored(const std::string& file = "results.dat") {
        InResults here(dir.path());
        ResultsList list = loadResults(file, std::nullopt);
        return std::vector<ResultRecord>(list.begin(), list.end());
    }
    bool checksumHolds(const ResultRecord& r) {
        InResults here(dir.path());
        return acceptRecord(r.genomeLine, r.scoreLine, std::nullopt, recordChecksum, false) ==
               RecordAccepted;
    }
};

size_t occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

}  // namespace

TEST_F(Cycle, OnceStoresOneResultWithAValidChecksum) {
    if (!tracks()) GTEST_SKIP() << "no particle cells in this build";
    dir.write("lattices/quick.txt", kQuickLattice);
    storeBestResult("#runs=5;l=500;");
    CommandResult r = run("-c -once");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(occurrences(r.output, "New simulation"), 1u);
    EXPECT_NE(r.output.find("\rt = "), std::string::npos) << r.output;
    std::vector<ResultRecord> records = stored();
    ASSERT_EQ(records.size(), 2u) << r.output;
    EXPECT_NE(records[1].scoreLine.find("[v4.44d] <quick> {"), std::string::npos);
    EXPECT_TRUE(checksumHolds(records[1])) << records[1].scoreLine;
    // The outgoing file gets the same record.
    std::vector<ResultRecord> outgoing = stored("results.txt");
    ASSERT_EQ(outgoing.size(), 1u);
    EXPECT_EQ(outgoing[0].scoreLine, records[1].scoreLine);
    EXPECT_FALSE(std::filesystem::exists(dir.file("autocli.sav")));

    // Overrides keep a result from counting.
    r = run("-c -once -param:D1.length=1.5");
    EXPECT_EQ(r.status, 0) << r.output;
    records = stored();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_FALSE(checksumHolds(records[2])) << records[2].scoreLine;
}

TEST_F(Cycle, EveryRunEndsWithItsOutcomeWhichTheStatusAndTheLogKeep) {
    if (!tracks()) GTEST_SKIP() << "no particle cells in this build";
    dir.write("lattices/quick.txt", kQuickLattice);
    CommandResult r = run("-c -once");
    ASSERT_EQ(r.status, 0) << r.output;
    // The progress line shows how far the run has to go.
    EXPECT_TRUE(std::regex_search(r.output, std::regex(R"(\rt = \d+\.\d\d/30 ns \()"))) << r.output;
    std::smatch line;
    ASSERT_TRUE(std::regex_search(
        r.output, line,
        std::regex(R"(\nRun finished: lattice quick, score ([-0-9.e+]+) \(best rechecked: none )"
                   R"(yet\), quarantine 1 of 5; [0-9.e+-]+ s, [0-9.e+-]+ Mpts[^\n]*)")))
        << r.output;
    std::vector<ResultRecord> queue = stored("queuecli.txt");
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_NEAR(std::stod(line[1]), queue[0].score, 1e-5 * std::abs(queue[0].score) + 1e-9);

    // Background mode shows nothing, but its run is in the log as well.
    r = run("-b -once");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "");
    std::string log = dir.read("pelto.log");
    std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d Run finished: lattice quick, )");
    EXPECT_EQ(std::distance(std::sregex_iterator(log.begin(), log.end(), stamped),
                            std::sregex_iterator()),
              2)
        << log;
    EXPECT_NE(log.find(" Initiating quarantine of score"), std::string::npos);
    EXPECT_NE(log.find(" " + line.str().substr(1) + "\n"), std::string::npos) << log;

    // The status, from the client and from pelto-tool alike, exits at once
    // and names both runs' queue records.
    r = run("-status");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("New simulation"), std::string::npos) << r.output;
    for (const char* part : {"Runs done: 2\n", "Last run (", "  queuecli.txt: quick, run 1 of 5",
                             "  queue.txt: quick, run 1 of 5", "Waiting to be sent: nothing"}) {
        EXPECT_NE(r.output.find(part), std::string::npos) << part << "\n" << r.output;
    }
#ifdef PELTO_TOOL_EXE
    CommandResult tool =
        runCommand("'" + std::string(PELTO_TOOL_EXE) + "' status '" + dir.path() + "'");
    EXPECT_EQ(tool.status, 0);
    EXPECT_EQ(tool.output, r.output);
#endif
}

TEST_F(Cycle, ANewBestIsRecheckedThroughTheQueueBeforeItIsStored) {
    if (!tracks()) GTEST_SKIP() << "no particle cells in this build";
    dir.write("lattices/quick.txt", kQuickLattice);
    CommandResult r = run("-c -q");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("\nNo more results from queue to check."), std::string::npos);

    r = run("-c -once");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Initiating quarantine of score"), std::string::npos) << r.output;
    EXPECT_TRUE(stored().empty());
    std::vector<ResultRecord> queue = stored("queuecli.txt");
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_NE(queue[0].genomeLine.find("#runs=1;#queued=1;"), std::string::npos);
    for (int run_ = 2; run_ <= 4; run_++) {
        r = run("-c -once");
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_NE(r.output.find("Quarantined result has now been run " + std::to_string(run_) +
                                " of 5 times"),
                  std::string::npos);
        EXPECT_TRUE(stored().empty());
    }
    // -q works through what is queued, then stops.
    r = run("-c -q");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(occurrences(r.output, "New simulation"), 2u) << r.output;
    EXPECT_NE(r.output.find("No more results from queue to check."), std::string::npos);
    std::vector<ResultRecord> records = stored();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(genomeGet(genomeFromText(records[0].genomeLine, true), "#runs"), 5);
    EXPECT_TRUE(checksumHolds(records[0]));
    std::smatch passed;
    ASSERT_TRUE(std::regex_search(r.output, passed,
                                  std::regex("passed quarantine with score ([-0-9.e+]+)")));
    // The message shows six significant digits.
    EXPECT_NEAR(records[0].score, std::stod(passed[1]), 1e-5 * std::abs(records[0].score));
    EXPECT_FALSE(std::filesystem::exists(dir.file("queuecli.txt")));
}

TEST_F(Cycle, RechecksRunTheLastResultTheNumberOfTimesAsked) {
    if (!tracks()) GTEST_SKIP() << "no particle cells in this build";
    dir.write("lattices/quick.txt", kQuickLattice);
    storeBestResult("#runs=5;l=250;");
    CommandResult r = run("-c -r5");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(occurrences(r.output, "New simulation"), 5u) << r.output;
    std::vector<ResultRecord> records = stored();
    ASSERT_EQ(records.size(), 6u);
    for (const ResultRecord& record : records)
        EXPECT_NE(record.genomeLine.find("l=250;"), std::string::npos);
}

TEST_F(Cycle, ALatticeThatCannotBeBuiltIsReplaced) {
    if (!tracks()) GTEST_SKIP() << "no particle cells in this build";
    dir.write("lattices/quick.txt", kQuickLattice);
    dir.write("lattices/broken.txt", "!MINVER 99\nD1 1\nL: D1, D1;\nL\n");
    CommandResult r = run("-c -once BROKEN");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Interpreting lattice file 'quick'"), std::string::npos) << r.output;
    std::vector<ResultRecord> queue = stored("queuecli.txt");
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_NE(queue[0].scoreLine.find("<quick>"), std::string::npos);

    // Nothing to build at all is fatal.
    std::filesystem::remove(dir.file("lattices/quick.txt"));
    std::filesystem::remove(dir.file("queuecli.txt"));
    std::filesystem::remove(dir.file("lattices/broken.txt"));
    r = run("-c -once");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("[FATAL] No lattice files, or lattice directory doesn't exist."),
              std::string::npos);
}

TEST_F(Cycle, AStopSignalSavesTheRunAndTheNextStartFinishesIt) {
    if (!tracks()) GTEST_SKIP() << "no particle cells in this build";
    // Many small steps, and a throttle that makes the run take many times its
    // work, so that the signal finds it running: the throttle only starts
    // sleeping after 20 ms of work, and a faster tracker must still get there.
    const char* slow =
        "t_max=25ns\ndt=0.1ps\nseed=4242\n"
        "{Drift(D) Length(m)}\n{particle(P) species Energy(MeV)}\n"
        "D1 3\nP1 'pi+' 300\nP2 'mu+' 200\nLINE: P1, P2, D1;\nLINE\n";
    ScratchFolder whole;
    std::filesystem::copy_file(PELTO_EXE, whole.file("pelto"));
    whole.write("config.txt", kOfflineConfig);
    std::filesystem::create_directory(whole.file("lattices"));
    whole.write("lattices/slow.txt", slow);
    CommandResult reference = run("-c -once", &whole);
    ASSERT_EQ(reference.status, 0) << reference.output;
    std::vector<ResultRecord> expected;
    {
        InResults here(whole.path());
        ResultsList list = loadResults("queuecli.txt", std::nullopt);
        ASSERT_EQ(list.count(), 1u);
        expected.push_back(list[0]);
    }

    dir.write("lattices/slow.txt", slow);
    dir.write("config.txt", std::string(kOfflineConfig) + "CPU throttle (%): 1\n");
    CommandResult stopped = runCommand(
        "cd / && env -u DISPLAY '" + dir.file("pelto") + "' -c -once > '" + dir.file("out.txt") +
        "' 2>&1 & pid=$!; "
        // Signal only once the run has tracked some time, however slow the
        // start (sanitizers, load): its progress line shows a time above 0.
        "for i in $(seq 300); do grep -qE 't = [0-9.]*[1-9][0-9.]*/25 ns' '" +
        dir.file("out.txt") +
        "' && break; sleep 0.1; done; start=$(date +%s%N); kill -TERM $pid; "
        "wait $pid; status=$?; echo \"status=$status ms=$((($(date +%s%N) - start) / 1000000))\"");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(stopped.output, m, std::regex("status=(\\d+) ms=(\\d+)")));
    EXPECT_EQ(m[1], "0") << dir.read("out.txt");
    EXPECT_LT(std::stoi(m[2]), 6000) << "a stop request must be answered within seconds";
    ASSERT_TRUE(std::filesystem::exists(dir.file("autocli.sav"))) << dir.read("out.txt");
    EXPECT_NE(dir.read("out.txt").find("Auto-saving..."), std::string::npos);
    // The status names the saved run; a stopped run is no finished one.
    CommandResult status = run("-status");
    EXPECT_NE(status.output.find("Auto-saved run: 'autocli.sav'"), std::string::npos)
        << status.output;
    EXPECT_NE(status.output.find("lattice slow; the next start goes on with it"), std::string::npos)
        << status.output;
    EXPECT_NE(status.output.find("Runs done: 0\n"), std::string::npos) << status.output;

    dir.write("config.txt", kOfflineConfig);
    CommandResult resumed = run("-c -once");
    ASSERT_EQ(resumed.status, 0) << resumed.output;
    ASSERT_TRUE(
        std::regex_search(resumed.output, m, std::regex("Restored simulation at ([0-9.]+)ns")))
        << resumed.output;
    double savedAt = std::stod(m[1]);
    EXPECT_GT(savedAt, 0);
    ASSERT_TRUE(std::regex_search(resumed.output, m, std::regex("\rt = ([0-9.]+)/25 ns")));
    // The restore message rounds to 0.1 ns and the progress line to 0.01 ns,
    // so the two may differ by up to 0.055 ns (2.6 restored, 2.55 shown).
    EXPECT_GE(std::stod(m[1]), savedAt - 0.055);
    EXPECT_FALSE(std::filesystem::exists(dir.file("autocli.sav")));
    std::vector<ResultRecord> queue = stored("queuecli.txt");
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue[0].score, expected[0].score);
    EXPECT_EQ(queue[0].genomeLine, expected[0].genomeLine);
}

TEST_F(Cycle, ComponentListsOfTheLastResultOrTheLatticeNamed) {
    dir.write("lattices/quick.txt", kQuickLattice);
    CommandResult r = run("-l");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("No lattice to list"), std::string::npos);

    storeBestResult("#runs=5;l=999;");
    r = run("-l");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("\nOutputting listcomponents.txt...\n"), std::string::npos);
    EXPECT_NE(r.output.find("\nOutputting listcomponents.txt... Done"), std::string::npos);
    std::string list = dir.read("listcomponents.txt");
    EXPECT_NE(list.find("{Drift Length}\nD1 2"), std::string::npos) << list;
    EXPECT_EQ(list.find("#// Coords"), std::string::npos);

    r = run("-L quick -param:D1.length=3");
    EXPECT_EQ(r.status, 0) << r.output;
    list = dir.read("listcomponents.txt");
    EXPECT_NE(list.find("D1 3"), std::string::npos) << list;
    EXPECT_NE(list.find("#// Coords"), std::string::npos) << list;

    // No result of the fixed channel: its levels are drawn, after a warning.
    r = run("-l42", nullptr, "y");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Could not find genome for lattice"), std::string::npos);
    EXPECT_EQ(
        dir.read("listcomponents.txt").rfind("Z position of rod relative to centre of S1: ", 0),
        0u);
}

TEST_F(Cycle, DebuggingHaltsAfterTheBuild) {
    dir.write("lattices/quick.txt", kQuickLattice);
    CommandResult r = run("-init quick");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Interpreting lattice file 'quick'"), std::string::npos);
    EXPECT_EQ(r.output.find("- Starting -"), std::string::npos);

    r = run("-view -c quick");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("- Starting -"), std::string::npos);
    EXPECT_NE(r.output.find("Drift D1"), std::string::npos) << r.output;
    EXPECT_FALSE(std::filesystem::exists(dir.file("results.dat")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("queuecli.txt")));
}
