// pelto-tool lattice print, run as lattice authors run it.
#include <gtest/gtest.h>

#include "support/test_support.hpp"

namespace {

struct LatticeTool : ::testing::Test {
    ScratchFolder dir;
    CommandResult tool(const std::string& args) {
        return runCommand("cd '" + dir.path() + "' && '" PELTO_TOOL_EXE "' lattice print " + args);
    }
    static bool has(const CommandResult& r, const std::string& text) {
        return r.output.find(text) != std::string::npos;
    }
};

}  // namespace

TEST_F(LatticeTool, PrintsTheBeamlineTheGenomeAndTheParameters) {
    dir.write("lattices/alpha.txt",
              "{Drift(D) Length(m)}\n{Solenoid(S) Radius(m) Field(T) Length(m)}\n"
              "L=[0.5 2]\nD1 #L#\nS1 0.3 [1 5] 1\nCELL:D1,S1,D1;\nCELL\n");
    CommandResult r = tool("lattices/alpha.txt --genome \"s1f=999;#runs=2;\" --level 0 --params");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(has(r, "alpha - Composite cell of 3 elements")) << r.output;
    EXPECT_TRUE(has(r, "Solenoid S1\nRadius=0.3 Field=5 Length=1 \n")) << r.output;
    EXPECT_TRUE(has(r, "Drift D1\nLength=0.5 \n")) << r.output;
    EXPECT_TRUE(has(r, "Genome: s1f=999;#runs=2;l=000;\n")) << r.output;
    EXPECT_TRUE(has(r, "L=0.5")) << r.output;

    r = tool("lattices/alpha.txt --coords");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(has(r, "Genome: l="));
}

TEST_F(LatticeTool, FailuresEndWithStatusOneAndNeverWait) {
    dir.write("bad.txt", "D1 1\nD1+D2\n");
    CommandResult r = tool("bad.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r, "Cannot parse the following expression...\nD1+D2\n[FATAL]"));

    dir.write("warn.txt", "D1 1\nL: D1,,D1;\nL");  // two warnings, answered without asking
    r = tool("warn.txt");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(has(r, "[WARNING] Missing element in comma separated list"));

    EXPECT_EQ(tool("absent.txt").status, 1);
    EXPECT_EQ(tool("bad.txt --level 1000").status, 1);
    EXPECT_EQ(tool("").status, 1);
}
