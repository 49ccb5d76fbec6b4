// Storing results through the queue and pruning, with each file step failing
// in turn: afterwards no record stored before the failure is lost, and a
// rechecked result is either still in the queue or in the results files.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/files.hpp"
#include "results/prune.hpp"
#include "results/quarantine.hpp"
#include "results/text_results.hpp"
#include "results_fixture.hpp"
#include "support/fault_loop.hpp"

namespace {

const std::string kResults =
    "a=001;\r\n1.000000 (2.0 Mpts) [v4.44d] <demo> \r\n"
    "a=002;#runs=5;\r\n4.000000 (2.0 Mpts) [v4.44d] <demo> \r\n"
    "a=003;\r\n2.000000 (2.0 Mpts) [v4.44d] <demo> \r\n"
    "a=004;\r\n3.000000 (2.0 Mpts) [v4.44d] <demo> \r\n";
const std::string kTestRecord = "b=001;\r\nTEST <demo>\r\n";

std::vector<std::string> genomeLines(const std::string& path) {
    std::vector<std::string> lines;
    for (const ResultRecord& r : loadResults(path, std::nullopt)) lines.push_back(r.genomeLine);
    std::sort(lines.begin(), lines.end());
    return lines;
}

bool holdsAll(const std::vector<std::string>& have, const std::vector<std::string>& want) {
    return std::includes(have.begin(), have.end(), want.begin(), want.end());
}

// One stored run of the genome at the head of the queue.
void runFromQueue(double score) {
    QuarantineState state;
    state.queuePath = "queue.txt";
    std::optional<std::string> lattice;
    std::optional<Genome> genome = takeFromQueue(lattice, nullptr, &state);
    if (!genome) return;
    ResultsList results = loadResults("results.dat", std::nullopt);
    // A result that counts, with a checksum that reads no file: the faults
    // are meant for the queue and the results files.
    ChecksumFunction checksum = [](const std::string&, const std::string&) {
        return Digest(12, 0x5A);
    };
    storeResult(*genome, score, 3, lattice, checksum, std::string(), results, kProgramFormat,
                &state, ResultPaths{});
}

}  // namespace

TEST(QuarantineFaults, ARecheckedResultIsInTheQueueOrInTheResultsAfterEveryFailure) {
    struct Case {
        const char* name;
        std::string queue;   // before the run
        std::string stored;  // genome line of the record the run stores, if any
        std::string queued;  // genome line at the head of the queue afterwards, if any
    };
    const Case cases[] = {
        {"last recheck",
         "c=001;#runs=4;#queued=1;\r\n1,2,3,4 (8.0 Mpts) [v4.44d] <demo>\r\n" + kTestRecord,
         "c=001;#runs=5;", ""},
        {"middle recheck", "c=001;#runs=2;#queued=1;\r\n1,2 (8.0 Mpts) [v4.44d] <demo>\r\n", "",
         "c=001;#runs=3;#queued=1;"},
        {"test record", kTestRecord, "b=001;", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InScratchFolder f;
        MessageRecorder messages(DisplayBackground);
        f.write("lattices/demo.txt", "L=[0.5 2]\r\n");
        forEachFileFault(
            [&] {
                f.write("results.dat", kResults);
                removeFile("results.txt");
                f.write("queue.txt", c.queue);
            },
            [&] { runFromQueue(c.stored == "b=001;" ? 0.5 : 9); },
            [&](int64_t n, bool fired) {
                std::vector<std::string> now = genomeLines("results.dat");
                EXPECT_EQ(f.read("results.dat").substr(0, kResults.size()), kResults)
                    << "step " << n;
                ResultsList queue = loadResults("queue.txt", std::nullopt);
                bool stored =
                    !c.stored.empty() && std::find(now.begin(), now.end(), c.stored) != now.end();
                bool stillQueued = queue.count() > 0 && f.read("queue.txt") == c.queue;
                bool requeued =
                    !c.queued.empty() && queue.count() > 0 && queue[0].genomeLine == c.queued;
                EXPECT_TRUE(stored || stillQueued || requeued) << "step " << n;
                if (!fired) {
                    EXPECT_TRUE(c.stored.empty() || stored);
                    EXPECT_TRUE(c.queued.empty() || requeued);
                }
            });
    }
}

TEST(QuarantineFaults, PruningNeverLosesARecord) {
    InScratchFolder f;
    MessageRecorder messages(DisplayBackground);
    const std::vector<std::string> all{"a=001;", "a=002;#runs=5;", "a=003;", "a=004;"};
    forEachFileFault(
        [&] {
            f.write("results.dat", kResults);
            removeFile("store.dat");
        },
        [&] {
            pruneResults("results.dat", PruneSettings{1, 0.5f, 'B', "store.dat"});
        },
        [&](int64_t n, bool fired) {
            std::vector<std::string> kept = genomeLines("results.dat");
            std::vector<std::string> both = kept;
            for (const std::string& g : genomeLines("store.dat")) both.push_back(g);
            std::sort(both.begin(), both.end());
            EXPECT_TRUE(holdsAll(both, all)) << "step " << n;
            EXPECT_TRUE(f.read("results.dat") == kResults || kept.size() == 2) << "step " << n;
            if (!fired) {
                EXPECT_EQ(kept, (std::vector<std::string>{"a=002;#runs=5;", "a=004;"}));
            }
        });
}
