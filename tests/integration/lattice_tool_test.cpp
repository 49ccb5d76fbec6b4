// pelto-tool lattice print, run as lattice authors run it.
#include <gtest/gtest.h>

#include "support/test_support.hpp"

namespace {

struct LatticeTool : ::testing::Test {
    ScratchFolder dir;
    CommandResult tool(const std::string& args, const char* command = "print") {
        return runCommand("cd '" + dir.path() + "' && '" PELTO_TOOL_EXE "' lattice " +
                          std::string(command) + " " + args);
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
    EXPECT_TRUE(has(r, "Solenoid S1\nRadius=0.3m Field=5T Length=1m \n")) << r.output;
    EXPECT_TRUE(has(r, "Drift D1\nLength=0.5m \n")) << r.output;
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

// Numbers in the units people read, and the stored SI values with --si.
TEST_F(LatticeTool, PrintsInPhysicalUnitsOrSi) {
    dir.write("lattices/beta.txt",
              "t_max=80ns\n{RF(C) Length(m) Voltage(V) Frequency(Hz) Phase(rad)}\n"
              "{finish-aperture(FIN) radius(m) minenergy(MeV) maxenergy(MeV)}\n"
              "{Synchronous-particle(SYNC) species Energy(MeV) t_start(ns)}\n"
              "C1 0.5 4MV 201.25MHz 0.1\nFIN1 0.5 50MeV 300MeV\nSYNC 'mu-' 150MeV 32\n"
              "L: SYNC,C1,FIN1;\nL\n");
    struct Case {
        const char* options;
        const char* shown;
    };
    const Case cases[] = {
        {"", "Length=0.5m Voltage=4MV Frequency=201.25MHz Phase=0.1 \n"},
        {"", "radius=0.5m minenergy=50MeV maxenergy=300MeV \n"},
        {"", "species='mu-' Energy=150MeV t_start=32ns \n"},
        {"--params", "ParametersCell\nt_max=80ns "},
        {"--si", "Length=0.5 Voltage=4e+06 Frequency=2.0125e+08 Phase=0.1 \n"},
        {"--si", "minenergy=8.01088e-12"},
        {"--si --params", "ParametersCell\nt_max=8e-08 "},
    };
    for (const Case& c : cases) {
        CommandResult r = tool("lattices/beta.txt " + std::string(c.options));
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_TRUE(has(r, c.shown)) << c.options << "\n" << r.output;
    }
}

TEST_F(LatticeTool, CheckPrintsEachFindingOrNoProblems) {
    dir.write("good.txt", "{Drift(D) Length(m)}\nD1 1\nL: D1,D1;\nL\n");
    CommandResult r = tool("good.txt", "check");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "good.txt: no problems\n");

    dir.write("bad.txt", "{Drift(D) Length(m)}\nD1 1T\nL: D1,D2;\nL\n");
    r = tool("bad.txt --genome \"x=5;\"", "check");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output,
              "bad.txt: the genome names 'x', which is no parameter of this lattice\n"
              "bad.txt:2: D1: 1T is a magnetic field, but Length is a length\n"
              "bad.txt:3: D2: used in a line but never defined (did you mean 'D1'?)\n");

    EXPECT_EQ(tool("absent.txt", "check").status, 1);
    EXPECT_EQ(tool("good.txt --level 3", "check").status, 1);
}
