// pelto-tool's pictures: the CSV it writes for them, its refusals, and
// scripts/pelto-plot turning the CSV into PNG files.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/files.hpp"
#include "support/test_support.hpp"

namespace {

// The script looks for the system interpreter itself when the first python3
// on PATH lacks matplotlib; the tests skip the drawing where neither has it.
bool matplotlibPresent() {
    static const bool present = runCommand(
                                    "python3 -c 'import matplotlib' 2>/dev/null || "
                                    "/usr/bin/python3 -c 'import matplotlib' 2>/dev/null")
                                    .status == 0;
    return present;
}

struct PlotTool : ::testing::Test {
    ScratchFolder dir;
    CommandResult tool(const std::string& args) {
        return runCommand("cd '" + dir.path() + "' && '" PELTO_TOOL_EXE "' " + args);
    }
    static bool has(const CommandResult& r, const std::string& text) {
        return r.output.find(text) != std::string::npos;
    }
    bool isPng(const std::string& name) {
        return dir.read(name).rfind("\x89PNG\r\n\x1a\n", 0) == 0;
    }
    size_t lineCount(const std::string& name) {
        std::string text = dir.read(name);
        return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    }
};

// One muon down a 0.5 m drift.
const char* const kDrift =
    "t_max=3ns\n"
    "{Drift(D) Length(m)}\n"
    "{particle(P) species Energy(MeV)}\n"
    "P1 'mu+' 200\n"
    "D1 0.5\n"
    "LINE: P1, D1;\n"
    "LINE\n";

}  // namespace

TEST_F(PlotTool, RunRefusesBadEnvelopeOptions) {
    struct Case {
        std::string args;
        std::string message;
    };
    dir.write("lattices/drift.txt", kDrift);
    const Case cases[] = {
        {"--envelope e.csv --every x", "--every takes a length above zero"},
        {"--envelope e.csv --every 0", "--every takes a length above zero"},
        {"--envelope e.csv --every 5T", "--every takes a length above zero"},
        {"--envelope e.csv --every 10cmx", "--every takes a length above zero"},
        {"--envelope e.csv --every 1e-9m", "makes more than 100000 sample planes"},
        {"--envelope /tmp/pelto-outside.csv", "Refused envelope file name"},
        {"--plot /tmp/pelto-outside.png", "Refused envelope file name"},
        {"--envelope e.csv --plot ../e.png", "Refused plot file name"},
        {"--envelope absent/e.csv", "Cannot write 'absent/e.csv'"},
        {"--envelope lattices", "Cannot write 'lattices'"},  // a folder
    };
    for (const Case& c : cases) {
        CommandResult r = tool("run lattices/drift.txt --threads 1 " + c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_TRUE(has(r, c.message)) << c.args << "\n" << r.output;
    }
    EXPECT_FALSE(fileExists(dir.file("e.csv")));
}

TEST_F(PlotTool, RunWritesTheEnvelopeAndItsPicture) {
    dir.write("lattices/drift.txt", kDrift);
    CommandResult r = tool("run lattices/drift.txt --threads 1 --envelope e.csv --every 10cm");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(lineCount("e.csv"), 1u + 6) << dir.read("e.csv");  // 0, 0.1, ..., 0.5
    EXPECT_EQ(dir.read("e.csv").rfind("s_m,transmission,transmission_mu+,", 0), 0u);
    EXPECT_NE(dir.read("e.csv").find("\n0.5,1,1,"), std::string::npos) << dir.read("e.csv");

    if (!matplotlibPresent()) GTEST_SKIP() << "matplotlib is not installed";
    r = tool("run lattices/drift.txt --threads 1 --plot pic.png");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(isPng("pic.png"));
    EXPECT_EQ(lineCount("pic.csv"), 1u + 6) << "the data go beside the picture";
    EXPECT_TRUE(has(r, "plot written to 'pic.png' (data in 'pic.csv')")) << r.output;
}

// Progress from any results file: the lattice's records in file order (its
// name matched ignoring case), their trial types from #gen, the best so far.
TEST_F(PlotTool, ResultsPlotFollowsOneLatticeThroughAResultsFile) {
    dir.write("results.dat",
              "a=1;#gen=0;\r\n0.5 [v4.44d] <lat> {0102}\r\n"
              "a=2;#gen=1;\r\n0.25 [v4.44d] <lat> {0102}\r\n"
              "a=3;#gen=2;\r\n0.75 [v4.44d] <other> {0102}\r\n"
              "a=4;#runs=5;\r\n0.9 [v4.44d] <LAT> {0102}\r\n"
              "a=5;#gen=7;\r\n-1.5 [v4.44d] <lat> {0102}\r\n");
    CommandResult r = tool("results plot results.dat --lattice lat p.png --csv data.csv");
    EXPECT_EQ(dir.read("data.csv"),
              "run,trial_type,score,best\n"
              "1,Random,0.5,0.5\n"
              "2,Mutate,0.25,0.5\n"
              "3,Unknown,0.9,0.9\n"
              "4,Extreme,-1.5,0.9\n");
    if (matplotlibPresent()) {
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_TRUE(isPng("p.png"));
    }

    struct Case {
        std::string args;
        std::string message;
    };
    const Case cases[] = {
        {"results.dat --lattice none p.png", "No results of lattice 'none' in 'results.dat'"},
        {"results.dat p.png", "No --lattice given"},
        {"results.dat --lattice lat", "Give a results file and a picture name"},
        {"absent.dat --lattice lat p.png", "Cannot open 'absent.dat'"},
        {". --lattice lat p.png", "not a plain file"},
        {"results.dat --lattice lat /tmp/p.png", "Refused plot file name"},
        {"results.dat --lattice lat p.png --csv ../p.csv", "Refused CSV file name"},
    };
    for (const Case& c : cases) {
        r = tool("results plot " + c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_TRUE(has(r, c.message)) << c.args << "\n" << r.output;
    }
}

TEST_F(PlotTool, OptimisePlotsItsRuns) {
    ASSERT_EQ(runCommand("cp -r '" PELTO_SOURCE_DIR "/tests/data/optimise/.' '" + dir.path() + "'")
                  .status,
              0);
    CommandResult r = tool(
        "optimise lattices/energy_windows.txt --runs 3 --seed 2 --threads 1 --plot "
        "progress.png 2>/dev/null");
    EXPECT_EQ(lineCount("progress.csv"), 1u + 3) << dir.read("progress.csv");
    EXPECT_EQ(dir.read("progress.csv").rfind("run,trial_type,score,best\n1,Random,", 0), 0u);
    if (matplotlibPresent()) {
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_TRUE(isPng("progress.png"));
    }
    r = tool("optimise lattices/energy_windows.txt --runs 1 --plot /tmp/progress.png");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r, "Refused plot file name")) << r.output;
}

// The script alone, as a user runs it on pelto-tool's files: a picture for
// good input, a message and status 1 for input it cannot use, and never a
// half-written picture.
TEST_F(PlotTool, ScriptDrawsGoodCsvAndRefusesBadCsv) {
    if (!matplotlibPresent()) GTEST_SKIP() << "matplotlib is not installed";
    struct Case {
        const char* kind;
        const char* csv;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"envelope",
         "s_m,transmission,transmission_pi+,x_rms_mm,y_rms_mm,enx_mm,eny_mm,p_mean_MeV\n"
         "0,1,1,1,1,0.5,0.5,200\n0.1,0.9,0.9,1.5,1.4,0.6,0.6,nan\n",
         0, ""},
        {"progress", "run,trial_type,score,best\n1,Random,0.5,0.5\n2,Mutate,-1.2,0.5\n", 0, ""},
        {"progress", "run,score,best\n1,0.5,0.5\n", 1, "has no column trial_type"},
        {"progress", "run,trial_type,score,best\n1,Random,x,0.5\n", 1, "'x' is not a number"},
        {"envelope", "s_m,transmission\n", 1, "has no column x_rms_mm"},
        {"progress", "run,trial_type,score,best\n1,Random\n", 1, "line 2: 2 fields"},
        {"sketch", "", 2, "Usage"},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string name = "in" + std::to_string(++n);
        dir.write(name + ".csv", c.csv);
        CommandResult r = runCommand("cd '" + dir.path() +
                                     "' && python3 '" PELTO_SOURCE_DIR "/scripts/pelto-plot' " +
                                     c.kind + " " + name + ".csv " + name + ".png");
        EXPECT_EQ(r.status, c.status) << name << "\n" << r.output;
        EXPECT_TRUE(has(r, c.message)) << name << "\n" << r.output;
        EXPECT_EQ(fileExists(dir.file(name + ".png")), c.status == 0) << name;
    }
    std::string left = runCommand("ls -a '" + dir.path() + "'").output;
    EXPECT_EQ(left.find(".tmp"), std::string::npos) << left;
}
