// The client killed outright (SIGKILL) again and again while it auto-saves,
// stores results, rechecks them through the queue and prunes the results
// file, and started again each time: every restart must read every file
// without a word of damage, continue the saved run, and no result it had
// stored may go missing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

#include "beamline/cell_types.hpp"
#include "results/checksum.hpp"
#include "results/text_results.hpp"
#include "store/latticedir.hpp"
#include "support/test_support.hpp"

extern char** environ;

namespace {

// Offline and one thread; a save every hundredth of a second, a few in each
// run, and a results file limit of a kilobyte, so that pruning follows every
// few results.
const char* const kCrashConfig =
    "Auto-send results ([Y]es, [N]o): N\n"
    "Update lattice files from web every N hours (0=don't): 0\n"
    "Download sample results file after a number of hours (0=don't, min. 6): 0\n"
    "Use proxy server for HTTP downloads (server,port or 'no'): 127.0.0.1,9\n"
    "Threads (number or 'auto'): 1\n"
    "Auto-save interval (seconds; 0 for no save): 0.01\n"
    "Results file maximum size before pruning (MB, 0 to disable): 0.001\n"
    "Keep mode ([B]est results, [F]irst, [L]atest or [R]andom): R\n"
    "Keep proportion (%): 50\n";

// Two particles and a drift: a run takes a few tens of milliseconds.
std::string quickLattice(int seed) {
    return "t_max=30ns\nseed=" + std::to_string(seed) +
           "\n{Drift(D) Length(m)}\n{particle(P) species Energy(MeV)}\n"
           "L=[0.5 2]\nD1 #L#\nP1 'pi+' 300\nP2 'mu+' 200\nLINE: P1, P2, D1;\nLINE\n";
}

// What a restart must never say about the files it finds.
const char* const kDamageTexts[] = {"damaged", "bad checksum", "[WARNING]", "[FATAL]"};

// Where a kill lands: at a random time after the start, or a random moment
// after the program touched a file. A kill soon after a temporary file
// appears or a file is modified falls inside the write and flush under way;
// one at once after a rename falls into what follows the rename.
struct Moment {
    const char* what;
    const char* file;  // none: a random time after the start
    uint32_t event;
    int maxDelayUs;
};
const Moment kMoments[] = {
    {"at a random time", nullptr, 0, 400000},
    {"while the auto-save is written", "autocli.sav.tmp", IN_MODIFY, 1000},
    {"while the auto-save is replaced", "autocli.sav.tmp", IN_CREATE, 2000},
    {"just after the auto-save was replaced", "autocli.sav", IN_MOVED_TO, 50},
    {"while a result is appended", "results.dat", IN_MODIFY, 1000},
    {"while pruning moves results to the store", "results_removed.dat", IN_MODIFY, 1000},
    {"while pruning rewrites the results file", "results.dat.tmp", IN_CREATE, 2000},
    {"just after pruning replaced the results file", "results.dat", IN_MOVED_TO, 50},
    {"while the queue is rewritten", "queuecli.txt.tmp", IN_CREATE, 2000},
};

constexpr int kKills = 18;
constexpr unsigned kSeed = 20261208;
// A moment that has not come by then (a slow machine) is replaced by a kill
// at that time.
constexpr int kMomentWaitMs = 8000;

// Reads and checks files in a folder as the program would, without letting
// a rejected record's warning wait for an answer.
struct InResults : InFolder {
    MessageRecorder quiet{DisplayBackground};
    explicit InResults(const std::string& path) : InFolder(path) { forgetlatticelist(); }
};

// The records of a results file in full text, and what is wrong with the
// file: a line outside a record, a record whose checksum fails, a last line
// cut short.
struct ReadBack {
    std::vector<std::string> records;
    std::string problem;
};

// Events on the files of one folder, as they happen.
class Watch {
  public:
    explicit Watch(const std::string& folder) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd_ >= 0) inotify_add_watch(fd_, folder.c_str(), IN_CREATE | IN_MODIFY | IN_MOVED_TO);
    }
    ~Watch() {
        if (fd_ >= 0) close(fd_);
    }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;
    bool ok() const { return fd_ >= 0; }
    // Forgets the events so far.
    void drain() {
        alignas(inotify_event) char buffer[8192];
        while (read(fd_, buffer, sizeof buffer) > 0) {
        }
    }
    // Waits for `event` on the file named; false when the time ran out.
    bool await(const char* file, uint32_t event, int timeoutMs) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            ssize_t n = read(fd_, buffer, sizeof buffer);
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
                if ((e->mask & event) && e->len > 0 && std::strcmp(e->name, file) == 0) return true;
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
        }
    }

  private:
    int fd_;
};

struct CrashRestart : ::testing::Test {
    ScratchFolder dir;
    ScratchFolder logs;
    std::vector<std::string> childEnv;

    void SetUp() override {
        std::filesystem::copy_file(PELTO_EXE, dir.file("pelto"));
        dir.write("config.txt", kCrashConfig);
        // "quick" has a rechecked best that no run reaches, so its results
        // are stored at once; "rival" has none, so its results go through
        // the queue first.
        dir.write("lattices/quick.txt", quickLattice(77));
        dir.write("lattices/rival.txt", quickLattice(78));
        InResults here(dir.path());
        Genome genome = genomeFromText("#runs=5;l=500;", true);
        ScoreLineFields fields{std::string("v4.44d"), std::string("quick"), std::nullopt};
        ASSERT_TRUE(
            appendResult(formatScoreLine(genome, 1000, 1, fields, recordChecksum, kProgramFormat),
                         "results.dat"));
        for (char** e = environ; *e; e++) {
            if (std::strncmp(*e, "DISPLAY=", 8) != 0 &&
                std::strncmp(*e, "WAYLAND_DISPLAY=", 16) != 0)
                childEnv.emplace_back(*e);
        }
    }

    // Starts the client in console mode without end, its output in `log`.
    pid_t start(const std::string& log) {
        std::string exe = dir.file("pelto");
        std::vector<char*> argv{exe.data(), const_cast<char*>("-c"), nullptr};
        std::vector<char*> envp;
        for (std::string& e : childEnv) envp.push_back(e.data());
        envp.push_back(nullptr);
        pid_t pid = fork();
        if (pid == 0) {
            int in = open("/dev/null", O_RDONLY);
            int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (in < 0 || out < 0 || chdir("/") != 0) _exit(126);
            dup2(in, 0);
            dup2(out, 1);
            dup2(out, 2);
            execve(exe.c_str(), argv.data(), envp.data());
            _exit(127);
        }
        return pid;
    }

    ReadBack readBack(const std::string& name) {
        ReadBack back;
        std::string text = dir.read(name);
        if (!text.empty() && text.back() != '\n') back.problem = name + " ends inside a line";
        InResults here(dir.path());
        RecordReader reader;
        recordReaderFromText(reader, text);
        std::string genomeLine, scoreLine;
        while (readRecordPair(reader, genomeLine, scoreLine)) {
            if (acceptRecord(genomeLine, scoreLine, std::nullopt, recordChecksum, false) !=
                RecordAccepted) {
                back.problem = name + " holds a record with a bad checksum: " + scoreLine;
            }
            back.records.push_back(genomeLine + "\n" + scoreLine);
        }
        if (reader.linesRead != 2 * static_cast<int64_t>(back.records.size())) {
            back.problem = name + " holds lines outside records";
        }
        return back;
    }

    // Checks the files the killed program left and adds every stored result
    // to `stored`; each one stored earlier must still be in the results file
    // or the removed-results store.
    void checkFiles(std::set<std::string>& stored, const std::string& when) {
        ReadBack database = readBack("results.dat");
        ReadBack removed = readBack("results_removed.dat");
        ReadBack outgoing = readBack("results.txt");
        ReadBack queue = readBack("queuecli.txt");
        for (const ReadBack* file : {&database, &removed, &outgoing, &queue}) {
            EXPECT_EQ(file->problem, "") << when;
        }
        std::set<std::string> kept(database.records.begin(), database.records.end());
        kept.insert(removed.records.begin(), removed.records.end());
        // Nothing is ever sent, so the outgoing file holds every result stored.
        stored.insert(outgoing.records.begin(), outgoing.records.end());
        size_t lost = 0;
        std::string first;
        for (const std::string& record : stored) {
            if (kept.count(record)) continue;
            if (lost++ == 0) first = record;
        }
        EXPECT_EQ(lost, 0u) << when << ": lost results, the first:\n" << first;
        stored.insert(kept.begin(), kept.end());
    }
};

bool contains(const std::string& text, const std::string& what) {
    return text.find(what) != std::string::npos;
}

// What the start before a kill said, checked as far as it got.
void checkRestart(const std::string& output, bool saveWasThere, const std::string& when) {
    for (const char* damage : kDamageTexts) {
        EXPECT_FALSE(contains(output, damage)) << when << ":\n" << output;
    }
    // A save that survived the kill is always taken up again.
    if (saveWasThere && contains(output, "Searching for auto-saved file...")) {
        EXPECT_FALSE(contains(output, "No file present")) << when << ":\n" << output;
    }
}

}  // namespace

TEST_F(CrashRestart, KillsDuringSavesAndPruningLoseNothingAndLeaveNoDamage) {
    if (particleCellFunctions.initFn == nullptr) GTEST_SKIP() << "no particle cells in this build";
    Watch watch(dir.path());
    ASSERT_TRUE(watch.ok()) << std::strerror(errno);
    std::mt19937 random(kSeed);
    std::set<std::string> stored;
    bool saveThere = false;
    int restored = 0, missed = 0;
    for (int kill = 0; kill < kKills; kill++) {
        const Moment& moment = kMoments[kill % std::size(kMoments)];
        std::string log = logs.file("run" + std::to_string(kill) + ".txt");
        watch.drain();
        pid_t pid = start(log);
        ASSERT_GT(pid, 0);
        bool came = !moment.file || watch.await(moment.file, moment.event, kMomentWaitMs);
        int delayUs = std::uniform_int_distribution<int>(0, moment.maxDelayUs)(random);
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
        ::kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        if (!came) missed++;
        std::string when = "kill " + std::to_string(kill) + " " + moment.what + ", " +
                           std::to_string(delayUs) + " us after " +
                           (moment.file && came ? "the event" : "the start") + " (seed " +
                           std::to_string(kSeed) + ")";
        std::string output = logs.read("run" + std::to_string(kill) + ".txt");
        // Only our kill may end it.
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << when << ":\n" << output;
        checkRestart(output, saveThere, when);
        if (contains(output, "Restored simulation at")) restored++;
        checkFiles(stored, when);
        std::error_code none;
        saveThere = std::filesystem::file_size(dir.file("autocli.sav"), none) > 0 && !none;
    }

    // A last start finishes one run and ends by itself.
    CommandResult last = runCommand("cd / && env -u DISPLAY -u WAYLAND_DISPLAY '" +
                                    dir.file("pelto") + "' -c -once");
    EXPECT_EQ(last.status, 0) << last.output;
    checkRestart(last.output, saveThere, "the last start");
    checkFiles(stored, "after the last start");
    // The kills did hit what they aimed at: runs were taken up from their
    // saves, and pruning moved results to the store.
    EXPECT_GT(restored, 0);
    EXPECT_FALSE(readBack("results_removed.dat").records.empty());
    std::printf("%d kills (%d at a fallback time), %d saved runs taken up, %zu results stored\n",
                kKills, missed, restored, stored.size());
}
