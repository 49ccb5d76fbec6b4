// What the interpreter tells people about a lattice: its tolerant warnings
// name the file, line and element, and its free parameters are shown in the
// units their author wrote.
#include "lattice/lattice_parameters.hpp"

#include <gtest/gtest.h>

#include "lattice/parser.hpp"
#include "support/test_support.hpp"

namespace {

const char* const kSolenoid = "{Solenoid(S) Radius(m) Field(T) Length(m)}\n";

}  // namespace

TEST(LatticeWarnings, NameTheFileLineAndElement) {
    struct Case {
        std::string text;
        const char* warning;
    };
    const Case cases[] = {
        {std::string(kSolenoid) + "S1 0.3 2 15cn\nS1\n",
         "[WARNING] Unknown unit 'cn', assuming unity at lattices/alpha.txt:2, element S1"},
        // Statements that code writes have the place of the code.
        {"x=1\n#for(i=1;i<=2;i++){#D#i# 1cn;#}#\nL: D1,D2;\nL\n",
         "[WARNING] Unknown unit 'cn', assuming unity at lattices/alpha.txt:2, element D2"},
        {"D1 1\n\nD1 2\nD1\n", "[WARNING] Element 'D1' overwritten at lattices/alpha.txt:3"},
        // A list statement is placed at its first line.
        {"A 1\nB 1\nL: A,\n ,B;\nL\n",
         "[WARNING] Missing element in comma separated list at lattices/alpha.txt:3\n"},
        {"A 1\nL: A,;\nL\n",
         "[WARNING] Comma-separated list ends with empty item at lattices/alpha.txt:2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        MessageRecorder messages;
        messages.keys.assign(8, 'y');
        Genome genome;
        EXPECT_TRUE(interpretlattice(c.text, genome, "alpha", false, nullptr));
        EXPECT_NE(messages.output.find(c.warning), std::string::npos) << messages.output;
    }
    // The unit warning outside a lattice says nothing about a place.
    MessageRecorder messages;
    messages.keys.assign(1, 'y');
    unitvalue("3cn");
    EXPECT_NE(messages.output.find("assuming unity\n"), std::string::npos) << messages.output;
}

TEST(LatticeWarnings, AFatalStatementNamesItsPlace) {
    MessageRecorder messages;
    ProcessExit ended{-1};
    try {
        Genome genome;
        interpretlattice("D1 1\n\nD1+D2\n", genome, "alpha", false, nullptr);
    } catch (const ProcessExit& e) {
        ended = e;
    }
    EXPECT_EQ(ended.status, 1);
    EXPECT_NE(messages.output.find("D1+D2\n[FATAL] at lattices/alpha.txt:3"), std::string::npos)
        << messages.output;
}

TEST(LatticeParameters, ValuesAreShownInTheUnitsOfTheirRanges) {
    std::string text = std::string(kSolenoid) +
                       "len=[50cm 150cm]\n"    // the unit written on the minimum
                       "S1 0.3 [1 5] #len#\n"  // the format's default unit
                       "n=[2 4]\n"             // no unit: a plain number
                       "S1\n";
    Genome genome = genomeFromText("s1f=500;len=000;n=999;", false);
    std::optional<std::vector<LatticeParameter>> parameters =
        latticeParameters(text, "alpha", genome);
    ASSERT_TRUE(parameters);
    ASSERT_EQ(parameters->size(), 3u);
    const LatticeParameter& len = (*parameters)[0];
    EXPECT_EQ(len.name, "len");
    EXPECT_DOUBLE_EQ(len.lo, 0.5);
    EXPECT_DOUBLE_EQ(len.hi, 1.5);
    EXPECT_EQ(len.unit, "cm");
    // In the lattice's order; the interpreter's arithmetic (level 500 of
    // 0..999 across 1..5 T is 3.002 T).
    EXPECT_EQ(genomeInUnits(genome, *parameters), "len=50cm s1f=3.002T n=4");
    // Parameters the genome lacks are left out rather than invented.
    EXPECT_EQ(genomeInUnits(genomeFromText("n=0;", false), *parameters), "n=2");
    // A text that cannot be interpreted has no parameters, and does not end
    // the program.
    EXPECT_FALSE(latticeParameters("D1+D2\n", "alpha", genome));
    // Nor does one past the interpreter's limits (a server page shows these).
    EXPECT_FALSE(latticeParameters("D1 1\nL: 2000000000*D1;\nL\n", "alpha", genome));
}
