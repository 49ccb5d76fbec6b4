// The strict lattice check: each mistake a lattice author makes is found at
// its line, with the element and, where a close name exists, a suggestion.
#include "beamline/check_lattice.hpp"

#include <gtest/gtest.h>

#include "support/test_support.hpp"

namespace {

// A clean lattice; each case below breaks one thing in it. Line numbers:
// 1-3 formats, 4 t_max, 5-7 elements, 8 the line, 9 its name.
const char* const kClean =
    "{Solenoid(S) Radius(m) Field(T) Length(m)}\n"
    "{Drift(D) Length(m) Bore(m)}\n"
    "{RodSource(Rod) File Species Z(m) RodAngle(rad) ScatterData}\n"
    "t_max=80ns\n"
    "Rod1 'rod.csv' 'pi-' 0 0 'ta_%d.dat'\n"
    "S1 0.3 [1 5] 1\n"
    "D1 [0.2 0.6] 0.4\n"
    "L: Rod1,S1,D1;\n"
    "L\n";

std::string replaceLine(std::string text, int line, const std::string& with) {
    size_t start = 0;
    for (int i = 1; i < line; i++) start = text.find('\n', start) + 1;
    size_t end = text.find('\n', start);
    return text.replace(start, end - start, with);
}

std::vector<std::string> check(const std::string& text, const std::string& genomeText = "") {
    Genome genome = genomeFromText(genomeText, false);
    std::vector<std::string> out;
    for (const LatticeFinding& f : checkLatticeText(text, "t.txt", "t", genome)) {
        out.push_back(findingText("t.txt", f));
    }
    return out;
}

struct CheckFolder : ::testing::Test {
    InFolder folder;
    MessageRecorder messages;
    void SetUp() override {
        folder.folder.write("datafiles/rod.csv", "");
        folder.folder.write("datafiles/ta_0.dat", "");
        folder.folder.write("datafiles/ta_1.dat", "");
    }
};

}  // namespace

TEST_F(CheckFolder, EveryMistakeIsFoundAtItsLine) {
    EXPECT_EQ(check(kClean), std::vector<std::string>{});

    struct Case {
        int line;             // the line replaced
        const char* text;     // what it becomes
        const char* genome;   // the genome checked with
        const char* finding;  // the first finding
    };
    const Case cases[] = {
        {1, "{Solenoid(S) Radius(m) Feild(T) Length(m)}", "",
         "t.txt:1: Solenoid: 'Feild' is not an attribute of Solenoid (did you mean 'Field'?)"},
        {2, "{Drift(D) Length(T) Bore(m)}", "",
         "t.txt:2: Drift: Length(T) gives a magnetic field, but Length is a length"},
        {2, "{Drift(D) Length(m) Bore(cn)}", "",
         "t.txt:2: Drift: unknown unit 'cn' for Bore (did you mean 'cm'?)"},
        {1, "{Solenod(S) Radius(m) Field(T) Length(m)}", "",
         "t.txt:1: Solenod: 'Solenod' is no component type; its elements only take up length "
         "(did you mean 'Solenoid'?)"},
        {6, "S1 0.5T [1 5] 1", "", "t.txt:6: S1: 0.5T is a magnetic field, but Radius is a length"},
        {6, "S1 0.3 [1 5] 15cn", "",
         "t.txt:6: S1: unknown unit 'cn' in the value of Length (did you mean 'cm'?)"},
        {4, "t_max=80T", "", "t.txt:4: t_max: 80T is a magnetic field, but t_max is a time"},
        {7, "D1 L 0.4", "",
         "t.txt:7: D1: Length is a length, but 'L' is read as a text (a parameter's value is "
         "written #NAME#)"},
        {6, "S1 0.3 [2 2] 1", "",
         "t.txt:6: S1: the range of Field is empty: [2 2] leaves the optimiser nothing to choose"},
        {7, "D1 [0.6 0.2] 0.4", "",
         "t.txt:7: D1: the range of Length is empty: [0.6 0.2] leaves the optimiser nothing to "
         "choose"},
        {8, "L: Rod1,S1,D2;", "",
         "t.txt:8: D2: used in a line but never defined (did you mean 'D1'?)"},
        {8, "L: Rod1,S1,D1", "", "t.txt:8: the last statement has no end (a ';' or a line end)"},
        {8, "M: Rod1,S1\nL: M,D1;", "",
         "t.txt:8: no ';' at the end of the line, so 'L:' on the next line is read as part of it"},
        {8, "L: Rod1,S1,D1;\nD1+S1", "", "t.txt:9: cannot parse 'D1+S1'"},
        {9, "LL", "",
         "t.txt:9: LL: the last statement names no line made earlier; the beamline would be one "
         "empty element (did you mean 'L'?)"},
        {5, "Rod1 'absent.csv' 'pi-' 0 0 'ta_%d.dat'", "",
         "t.txt:5: Rod1: data file 'absent.csv' is not in datafiles/"},
        {5, "Rod1 'rod.csv' 'pi-' 0 0 'be_%d.dat'", "",
         "t.txt:5: Rod1: scattering table 'be_%d.dat' is not in datafiles/ (no 'be_0.dat' or "
         "'be_1.dat')"},
        {4, "!MINVR 4.4", "", "t.txt:4: unknown control command !MINVR (did you mean 'MINVER'?)"},
        {6, "S1 0.3 [1 5 1", "",
         "t.txt:6: S1: the range of Field has no closing ']' or no maximum"},
        {9, "L\n{Drift(D) Length(m", "",
         "t.txt:10: a '[' or '{' is never closed, so the rest of the file is read as part of "
         "this statement"},
        {4, "t_max=80ns", "s1x=500;",
         "t.txt: the genome names 's1x', which is no parameter of this lattice (did you mean "
         "'s1f'?)"},
    };
    for (const Case& c : cases) {
        std::string text = replaceLine(kClean, c.line, c.text);
        SCOPED_TRACE(text);
        std::vector<std::string> findings = check(text, c.genome);
        ASSERT_FALSE(findings.empty());
        // Later findings may follow from the first (a line that swallowed
        // the next one); the first is the mistake itself.
        EXPECT_EQ(findings.front(), c.finding);
    }
    // A lattice past the interpreter's limits is a finding, not the end.
    EXPECT_EQ(check("D1 1\nL: 2000000000*D1;\nL\n").front(),
              "t.txt:2: Repetition '2000000000*D1' would make more than 100000 elements");
    // The check neither asks nor warns: everything it has to say is a finding.
    EXPECT_EQ(messages.output.find("[WARNING]"), std::string::npos) << messages.output;
}
