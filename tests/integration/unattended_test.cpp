// The client left alone on a volunteer's machine: it must never stop at a
// question about its own queue, never wait for ever on a file that is not a
// file, end at once when the system tells it to even at a prompt, and keep a
// second copy of itself out of its folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <filesystem>

#include "beamline/cell_types.hpp"
#include "support/test_support.hpp"

namespace {

const char* const kOfflineConfig =
    "Auto-send results ([Y]es, [N]o): N\n"
    "Update lattice files from web every N hours (0=don't): 0\n"
    "Download sample results file after a number of hours (0=don't, min. 6): 0\n"
    "Use proxy server for HTTP downloads (server,port or 'no'): 127.0.0.1,9\n"
    "Threads (number or 'auto'): 1\n";

// The same, sending results: the client then needs a user name at start.
std::string sendingConfig() {
    std::string config = kOfflineConfig;
    config.replace(config.find("): N"), 4, "): Y");
    return config;
}

std::string quickLattice(int seed) {
    return "t_max=30ns\nseed=" + std::to_string(seed) +
           "\n{Drift(D) Length(m)}\n{particle(P) species Energy(MeV)}\n"
           "L=[0.5 2]\nD1 #L#\nP1 'pi+' 300\nP2 'mu+' 200\nLINE: P1, P2, D1;\nLINE\n";
}

struct Unattended : ::testing::Test {
    ScratchFolder dir;

    void SetUp() override {
        std::filesystem::copy_file(PELTO_EXE, dir.file("pelto"));
        dir.write("config.txt", kOfflineConfig);
        dir.write("lattices/quick.txt", quickLattice(77));
    }
    std::string command(const std::string& args) const {
        return "cd / && env -u DISPLAY -u WAYLAND_DISPLAY '" + dir.file("pelto") + "' " + args;
    }
    // For RunningCommand, which execs it: env execs the client in turn, so
    // the pid signalled is the client's own.
    std::string client(const std::string& args) const {
        return "env -u DISPLAY -u WAYLAND_DISPLAY '" + dir.file("pelto") + "' " + args;
    }
    // Standard input at its end: no one is there to answer.
    CommandResult run(const std::string& args) const { return runCommand(command(args)); }
    bool exists(const std::string& name) const { return std::filesystem::exists(dir.file(name)); }
    static bool tracks() { return particleCellFunctions.initFn != nullptr; }
};

size_t occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

}  // namespace

// A lattice update changes the lattice of a result waiting in quarantine:
// its checksum fails, and the client must move it aside and go on instead of
// asking at every start.
TEST_F(Unattended, QueuedResultOfAChangedLatticeIsMovedToTheRemovedStore) {
    if (!tracks()) GTEST_SKIP() << "no particle cells in this build";
    CommandResult r = run("-c -once");  // no rechecked result yet: quarantined
    ASSERT_EQ(r.status, 0) << r.output;
    ASSERT_NE(r.output.find("Initiating quarantine"), std::string::npos) << r.output;
    std::string queued = dir.read("queuecli.txt");
    ASSERT_FALSE(queued.empty());

    dir.write("lattices/quick.txt", quickLattice(78));
    r = run("-c -once");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("Continue (Y/N/These/All)?"), std::string::npos) << r.output;
    EXPECT_EQ(occurrences(r.output,
                          "Queued result for lattice 'quick' cannot be rechecked (bad "
                          "checksum"),
              1u)
        << r.output;
    EXPECT_NE(dir.read("results_removed.dat").find(queued.substr(0, queued.find('\r'))),
              std::string::npos);
    // The run went on with a new genome; the queue holds at most its result.
    EXPECT_EQ(dir.read("queuecli.txt").find(queued), std::string::npos);
}

// A run that cannot count (particle divisor, parameter overrides) is stored as
// it is, never queued: a queued record without a checksum would stop every
// later start at the checksum question.
TEST_F(Unattended, RunsWithoutAChecksumNeverEnterTheQueue) {
    if (!tracks()) GTEST_SKIP() << "no particle cells in this build";
    for (const char* switches : {"-/10", "-param:D1.length=1.5"}) {
        SCOPED_TRACE(switches);
        std::filesystem::remove(dir.file("results.dat"));
        CommandResult r = run(std::string("-c -once ") + switches);
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(r.output.find("Initiating quarantine"), std::string::npos) << r.output;
        EXPECT_FALSE(exists("queuecli.txt"));
        EXPECT_NE(dir.read("results.dat").find("<quick>"), std::string::npos);

        r = run("-c -init");
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(r.output.find("bad checksum"), std::string::npos) << r.output;
    }
}

// A stop signal while the client waits for an answer ends it at once, as it
// would during a run, instead of restarting the read for ever.
TEST_F(Unattended, StopSignalAtAPromptEndsTheProgramAtOnce) {
    struct Case {
        const char* what;
        const char* prompt;
        int signal;
    };
    const Case cases[] = {
        {"warning", "Continue (Y/N/These/All)?", SIGTERM},
        {"warning", "Continue (Y/N/These/All)?", SIGINT},
        {"user name", "Username: ", SIGTERM},
        {"user name", "Username: ", SIGHUP},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " " + strsignal(c.signal));
        std::filesystem::remove(dir.file("user.txt"));
        std::filesystem::remove(dir.file("results.dat"));
        if (std::string(c.what) == "warning") {
            dir.write("config.txt", kOfflineConfig);
            // A record older than the oldest accepted version warns on loading.
            dir.write("results.dat", "a=1;\r\n0.5 (1.0 Mpts) [v4.20] <quick>\r\n");
        } else {
            dir.write("config.txt", sendingConfig());
        }
        RunningCommand waiting(client("-c"));
        ASSERT_TRUE(waiting.waitForOutput(c.prompt, 30)) << waiting.output();
        auto start = std::chrono::steady_clock::now();
        waiting.signal(c.signal);
        int status = waiting.wait(2);
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(status, 0) << waiting.output();
        EXPECT_LT(seconds, 2.0);
    }
}

// A FIFO where a results file belongs would hold the append (or the read) for
// ever. It is refused with a message naming it, and the result still reaches
// the other results file.
TEST_F(Unattended, AFifoInPlaceOfAResultsFileIsRefused) {
    if (!tracks()) GTEST_SKIP() << "no particle cells in this build";
    for (const char* fifo : {"results.txt", "results.dat"}) {
        SCOPED_TRACE(fifo);
        std::filesystem::remove(dir.file("results.txt"));
        std::filesystem::remove(dir.file("results.dat"));
        ASSERT_EQ(::mkfifo(dir.file(fifo).c_str(), 0644), 0);
        // The divisor keeps the result out of quarantine: it is stored at once.
        RunningCommand running(client("-c -once -/1"));
        int status = running.wait(120);
        ASSERT_NE(status, -1) << "still waiting on the FIFO:\n" << running.output();
        EXPECT_EQ(status, 0) << running.output();
        EXPECT_NE(running.output().find(std::string("'") + fifo + "' is not a regular file"),
                  std::string::npos)
            << running.output();
        EXPECT_TRUE(std::filesystem::is_fifo(dir.file(fifo)));
        std::string other = std::string(fifo) == "results.txt" ? "results.dat" : "results.txt";
        EXPECT_NE(dir.read(other).find("<quick>"), std::string::npos);
    }
}

// A volunteer starts the client twice on one folder: the second one says so
// and ends, and the first one's lock goes with it when it ends.
TEST_F(Unattended, ASecondClientOnTheSameFolderEnds) {
    dir.write("config.txt", sendingConfig());
    RunningCommand first(client("-c"));
    ASSERT_TRUE(first.waitForOutput("Username: ", 30)) << first.output();
    CommandResult second = run("-c -once");
    EXPECT_EQ(second.status, 1) << second.output;
    EXPECT_NE(second.output.find("Another Pelto is running in this folder"), std::string::npos)
        << second.output;
    first.signal(SIGKILL);  // however it ends, the kernel drops its lock
    first.wait(10);
    dir.write("config.txt", kOfflineConfig);
    CommandResult third = run("-c -init");
    EXPECT_EQ(third.output.find("Another Pelto"), std::string::npos) << third.output;
    EXPECT_EQ(third.status, 0) << third.output;
}
