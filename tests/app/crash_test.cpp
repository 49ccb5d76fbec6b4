// Killing the process (kill -9) at random moments while it stores results
// through the queue, prunes the results database and auto-saves: after every
// kill each file reads without a sign of damage, and no result the process
// had finished storing is lost.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <random>
#include <set>

#include "app/autosave_file.hpp"
#include "common/text.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "results/prune.hpp"
#include "results/quarantine.hpp"
#include "results/text_results.hpp"
#include "support/test_support.hpp"

namespace {

Simulation smallRun(double time) {
    Simulation s;
    s.root = cellCreate(Composite, "demo");
    CellPtr drift = cellCreate(Machine, "D1");
    drift->typeName = "Drift";
    insertChild(*s.root, drift, -1);
    s.time = time;
    Particle p;
    p.id = 1;
    for (int i = 0; i < 200; i++) s.beam.particles.push_back(p);
    s.beam.activeEnd = 100;
    return s;
}

// Results that count carry a checksum (only they are quarantined); this one
// reads no file, so the stores keep their pace.
Digest cheapChecksum(const std::string&, const std::string&) {
    return Digest(12, 0x5A);
}

// What the program does after each run, for ever, with results numbered from
// `first`. A result counts as stored once the ledger names it.
[[noreturn]] void storeForever(int first) {
    QuarantineState state;
    state.queuePath = "queue.txt";
    ResultsList results = loadResults("results.dat", std::nullopt);
    const ResultPaths paths;
    const PruneSettings prune{1500, 0.5f, 'B', "results_removed.dat"};
    for (int i = first;; i++) {
        std::optional<std::string> lattice;
        std::optional<Genome> genome = takeFromQueue(lattice, nullptr, &state);
        if (!genome)
            genome = genomeFromText(
                format("a=%03d;b=%03d;c=%03d;", i % 1000, i / 1000 % 1000, i / 1000000), true);
        uint32_t before = results.count();
        storeResult(*genome, (i * 37) % 101, 2, std::string("demo"), cheapChecksum, std::string(),
                    results, kProgramFormat, &state, paths);
        if (results.count() > before) {
            appendToFile("ledger.txt", results[results.count() - 1].genomeLine + "\n");
        }
        pruneResults("results.dat", prune);
        autoSaveWrite("auto.sav", smallRun(i * 1e-9), *genome, state);
    }
}

std::set<std::string> genomeLinesIn(const std::string& path) {
    std::set<std::string> lines;
    for (const ResultRecord& r : loadResults(path, std::nullopt)) lines.insert(r.genomeLine);
    return lines;
}

}  // namespace

TEST(Crash, KilledAtAnyMomentTheFilesStayWholeAndNoStoredResultIsLost) {
    ScratchFolder folder;
    std::string previous = currentFolder();
    setCurrentFolder(folder.path());
    folder.write("lattices/demo.txt", "L=[0.5 2]\r\n");
    // A rechecked result in the middle of the score range: about half of the
    // new results go through quarantine, the others are stored at once.
    std::string start = "z=001;#runs=5;\r\n50.000000 (9.0 Mpts) [v4.44d] <demo> \r\n";
    for (int i = 0; i < 30; i++) start += format("y=%03d;\r\n%d.000000 [v4.44d] <demo> \r\n", i, i);
    folder.write("results.dat", start);
    MessageRecorder messages(DisplayBackground);
    std::mt19937 rng(20261208);
    int kills = 0;
    for (int trial = 0; trial < 25; trial++) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) storeForever(trial * 100000);
        usleep(static_cast<useconds_t>(20000 + rng() % 130000));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        kills += WIFSIGNALED(status) ? 1 : 0;

        messages.output.clear();
        std::set<std::string> kept = genomeLinesIn("results.dat");
        for (const std::string& g : genomeLinesIn("results_removed.dat")) kept.insert(g);
        genomeLinesIn("queue.txt");
        EXPECT_EQ(messages.output.find("[WARNING]"), std::string::npos) << messages.output;
        std::string ledger = folder.read("ledger.txt");
        for (size_t at = 0, end; (end = ledger.find('\n', at)) != std::string::npos; at = end + 1) {
            std::string line = ledger.substr(at, end - at);
            EXPECT_TRUE(kept.count(line)) << "trial " << trial << ": lost " << line;
        }
        Simulation s;
        Genome g;
        QuarantineState q;
        AutoSaveReadResult read = autoSaveRead("auto.sav", s, g, q);
        EXPECT_TRUE(read == AutoSaveReadResult::Restored || read == AutoSaveReadResult::Missing)
            << "trial " << trial;
    }
    EXPECT_EQ(kills, 25);
    // The kills fell while every kind of rewrite was under way.
    EXPECT_TRUE(fileExists("results_removed.dat"));
    EXPECT_NE(folder.read("ledger.txt").find("#runs=5;"), std::string::npos);
    setCurrentFolder(previous);
}
