// pelto-tool optimise, run in a copy of the demo program folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "support/test_support.hpp"

namespace {

struct OptimiseTool : ::testing::Test {
    ScratchFolder dir;
    void SetUp() override {
        ASSERT_EQ(runCommand("cp -r '" PELTO_SOURCE_DIR "/demo/.' '" + dir.path() + "'").status, 0);
    }
    CommandResult tool(const std::string& args) {
        return runCommand("cd '" + dir.path() + "' && '" PELTO_TOOL_EXE "' " + args);
    }
    static bool has(const CommandResult& r, const std::string& text) {
        return r.output.find(text) != std::string::npos;
    }
};

}  // namespace

TEST_F(OptimiseTool, RefusesBadOptionsAndLatticesOutsideTheFolder) {
    struct Case {
        std::string args;
        std::string message;
    };
    dir.write("copy.txt", dir.read("lattices/decay_channel.txt"));
    dir.write("elsewhere/decay_channel.txt", dir.read("lattices/decay_channel.txt") + "\n");
    const Case cases[] = {
        {"lattices/decay_channel.txt", "No --runs given"},
        {"--runs 2", "No lattice file given"},
        {"lattices/decay_channel.txt --runs 0", "--runs takes a whole number"},
        {"lattices/decay_channel.txt --runs 2x", "--runs takes a whole number"},
        {"lattices/decay_channel.txt --runs 2 --threads 0", "--threads takes a whole number"},
        {"lattices/absent.txt --runs 2", "Cannot read lattice file"},
        {"copy.txt --runs 2", "'copy.txt' is not the lattice file 'lattices/copy.txt'"},
        {"elsewhere/decay_channel.txt --runs 2", "is not the lattice file"},  // other content
    };
    for (const Case& c : cases) {
        CommandResult r = tool("optimise " + c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_TRUE(has(r, c.message)) << c.args << "\n" << r.output;
    }
}

TEST_F(OptimiseTool, EachRunIsPrintedAndStoredWithAValidChecksum) {
    // The demo channel cut to its first nanoseconds: the pions leave the
    // target at 5 ns, so every run tracks a little and stays quick under the
    // sanitizers.
    std::string channel = dir.read("lattices/decay_channel.txt");
    size_t at = channel.find("t_max=200ns");
    ASSERT_NE(at, std::string::npos);
    dir.write("lattices/short_channel.txt", channel.replace(at, 11, "t_max=6ns"));
    // Standard output only: messages would share lines with it.
    CommandResult r =
        tool("optimise lattices/short_channel.txt --runs 3 --seed 4 --threads 1 2>messages.txt");
    ASSERT_EQ(r.status, 0) << r.output << dir.read("messages.txt");
    EXPECT_EQ(r.output.rfind("RUN TRIALTYPE SCORE BEST-SO-FAR\n", 0), 0u) << r.output;
    std::istringstream lines(r.output);
    std::string line;
    int runs = 0;
    double best = -1e300;
    while (std::getline(lines, line)) {
        int run = 0;
        char type[32];
        double score = 0, shownBest = 0;
        if (std::sscanf(line.c_str(), "%d %31s %lf %lf", &run, type, &score, &shownBest) == 4) {
            EXPECT_EQ(run, ++runs);
            best = std::max(best, score);
            EXPECT_DOUBLE_EQ(shownBest, best);
        }
    }
    EXPECT_EQ(runs, 3);
    // The last line: the best genome, each parameter in its range's unit
    // (the capture field's range has none; solenoid fields default to T,
    // drift lengths to m).
    std::smatch last;
    ASSERT_TRUE(std::regex_search(r.output, last,
                                  std::regex("\nBest ([0-9.-]+): capturefield=[0-9.e+-]+ "
                                             "s1f=[0-9.e+-]+T d1l=[0-9.e+-]+m s2f=.*\n$")))
        << r.output;
    EXPECT_DOUBLE_EQ(std::stod(last[1]), best);
    CommandResult check = tool("results check results.dat");
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_TRUE(has(check, "3 records: 3 accepted")) << check.output;
    std::string stored = dir.read("results.dat");
    EXPECT_NE(stored.find("#gen=0;"), std::string::npos);  // the first run of a lattice
    EXPECT_NE(stored.find("[v4.44d] <short_channel> {"), std::string::npos);

    // A second series builds on the first: the pool is no longer empty.
    r = tool("optimise lattices/short_channel.txt --runs 1 --seed 5 --threads 1");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(has(tool("results check results.dat"), "4 records: 4 accepted"));
}

// The lattice of the optimiser-against-chance comparison: its window edges
// are the free parameters (level 500 of 0..700 MeV is 350.35 MeV; --si shows
// the same in joules).
TEST(OptimiseComparisonLattice, WindowEdgesFollowTheParameters) {
    ScratchFolder dir;
    ASSERT_EQ(runCommand("cp -r '" PELTO_SOURCE_DIR "/tests/data/optimise/.' '" + dir.path() + "'")
                  .status,
              0);
    struct Case {
        const char* options;
        const char* window;
    };
    for (const Case& c : {Case{"", "minenergy=350.35MeV maxenergy=750.35MeV"},
                          Case{" --si", "minenergy=5.61323e-11 maxenergy=1.20219e-10"}}) {
        CommandResult r = runCommand("cd '" + dir.path() +
                                     "' && '" PELTO_TOOL_EXE
                                     "' lattice print lattices/energy_windows.txt --level 500" +
                                     std::string(c.options));
        EXPECT_EQ(r.status, 0) << r.output;
        size_t windows = 0;
        for (size_t at = 0; (at = r.output.find(c.window, at)) != std::string::npos; at++) {
            windows++;
        }
        EXPECT_EQ(windows, 6u) << c.options << r.output;
    }
}
