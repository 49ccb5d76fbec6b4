// pelto-tool optimise, run in a copy of the demo program folder.
#include <gtest/gtest.h>

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
    // Progress messages go to standard error; the run lines alone to standard output.
    CommandResult r =
        tool("optimise lattices/decay_channel.txt --runs 3 --seed 4 --threads 1 2>/dev/null");
    ASSERT_EQ(r.status, 0) << r.output;
    std::istringstream lines(r.output);
    std::string line;
    int runs = 0;
    while (std::getline(lines, line)) {
        int run = 0;
        char type[32];
        double score = 0, best = 0;
        if (std::sscanf(line.c_str(), "%d %31s %lf %lf", &run, type, &score, &best) == 4) {
            EXPECT_EQ(run, ++runs);
            EXPECT_GE(best, score);
        }
    }
    EXPECT_EQ(runs, 3);
    CommandResult check = tool("results check results.dat");
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_TRUE(has(check, "3 records: 3 accepted")) << check.output;
}
