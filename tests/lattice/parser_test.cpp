#include "lattice/parser.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "common/random.hpp"
#include "common/text.hpp"
#include "platform/process.hpp"
#include "support/test_support.hpp"

namespace {

// Every parameter a lattice reads gets level 500 unless the test set it.
struct Lattice : ::testing::Test {
    MessageRecorder rec;
    Genome genome;
    CellPtr params;

    void SetUp() override {
        setMissingLevelRule([](std::string_view, const Genome&) { return 500; });
        rec.keys = {'a'};  // accept warnings; tests look at the output instead
    }
    void TearDown() override { resetMissingLevelRule(); }

    CellPtr run(const std::string& text, const std::string& name = "alpha") {
        return interpretlattice(text, genome, name, false, &params);
    }
    // Runs text expected to end the program; returns the exit status.
    int fatalStatus(const std::string& text) {
        try {
            run(text);
        } catch (const ProcessExit& e) {
            return e.status;
        }
        return -1;
    }
    static std::vector<std::string> names(const Cell& composite) {
        std::vector<std::string> out;
        for (const CellPtr& c : composite.children) out.push_back(c->name);
        return out;
    }
    bool warned(const std::string& text) const {
        return rec.output.find(text) != std::string::npos;
    }
};

double level500(double lo, double hi) {
    return lo + 500.0 / 999.0 * (hi - lo);
}

// A parser to feed single statements to, outside a whole-file run.
struct Statements : Lattice {
    LatticeParser parser;
    void SetUp() override {
        Lattice::SetUp();
        madeInit(parser.cells);
        parser.genome = &genome;
        parser.environment = Vesk_new();
    }
    CellPtr statement(const std::string& text) { return parselatticestatement(parser, text); }
};

}  // namespace

TEST_F(Lattice, TheWorkedExampleBuildsCellWithCopiesAndParameters) {
    CellPtr root =
        run("{Drift(D) Length(m)}\n"
            "{Solenoid(S) Radius(m) Field(T) Length(m)}\n"
            "L=[0.5 2]\n"
            "D1 #L#\n"
            "S1 0.3 [1 5] 1\n"
            "CELL:D1,S1,D1;\n"
            "CELL\n");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->name, "alpha");
    EXPECT_EQ(root->kind, Composite);
    ASSERT_EQ(names(*root), (std::vector<std::string>{"D1", "S1", "D1"}));
    EXPECT_NE(root->children[0], root->children[2]);
    EXPECT_EQ(genomeToText(genome), "l=500;s1f=500;");

    const Cell& d1 = *root->children[0];
    EXPECT_EQ(d1.typeName, "Drift");
    // The code stretch printed L with six significant digits.
    double l = level500(0.5, 2);
    EXPECT_NEAR(cellNumber(d1, "Length"), l, 1e-5);
    EXPECT_EQ(cellNumber(d1, "Length"), std::stod(format("%lg", l)));
    const Cell& s1 = *root->children[1];
    EXPECT_EQ(s1.typeName, "Solenoid");
    EXPECT_DOUBLE_EQ(cellNumber(s1, "Radius"), 0.3);
    EXPECT_DOUBLE_EQ(cellNumber(s1, "Field"), level500(1, 5));
    EXPECT_DOUBLE_EQ(cellNumber(s1, "Length"), 1);
    ASSERT_TRUE(params);
    EXPECT_DOUBLE_EQ(cellNumber(*params, "L"), l);
}

TEST_F(Lattice, ALastSingleElementIsWrappedInALineNamedAfterTheLattice) {
    CellPtr root = run("D7 2\n", "solo");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->name, "solo");
    EXPECT_EQ(names(*root), std::vector<std::string>{"D7"});
    EXPECT_DOUBLE_EQ(cellNumber(*root->children[0], "Length"), 2);
}

TEST_F(Lattice, AnUnfinishedLastLineWarnsAndIsStillUsed) {
    CellPtr root = run("D1 1\nLINE:D1,D1;\nLINE");
    ASSERT_TRUE(root);
    EXPECT_TRUE(
        warned("[WARNING] The following parsing element was unfinished and could be "
               "ignored.\n LINE"));
    EXPECT_EQ(root->childCount(), 2);
}

TEST_F(Lattice, ParametersComeFromRangesOrFixedValues) {
    CellPtr root = run("x=[0 10]\ny=5\nD1 #x*2#\nD1\n");
    ASSERT_TRUE(root);
    EXPECT_EQ(genomeGet(genome, "x"), 500);
    EXPECT_FALSE(genomeHas(genome, "y"));
    EXPECT_NEAR(cellNumber(*root->children[0], "Length"), 2 * level500(0, 10), 1e-4);
    EXPECT_DOUBLE_EQ(cellNumber(*params, "y"), 5);
    EXPECT_DOUBLE_EQ(cellNumber(*params, "x"), level500(0, 10));
}

TEST_F(Lattice, GenomeLevelsChooseValuesAndNamesAreShortest) {
    genomeSet(genome, "S1R", 999);
    CellPtr root = run("{Solenoid Radius(m) Field(T) Length(m)}\nS1 [0.1 1] 2T 0.5\nS1\n");
    ASSERT_TRUE(root);
    const Cell& s1 = *root->children[0];
    EXPECT_DOUBLE_EQ(cellNumber(s1, "Radius"), 1.0);
    EXPECT_DOUBLE_EQ(cellNumber(s1, "Field"), 2);
    EXPECT_DOUBLE_EQ(cellNumber(s1, "Length"), 0.5);

    ParseFormat quad = parseformat("Quadrupole Length Field Angle Boundary Fringe");
    EXPECT_EQ(parameterName(quad, "Q1", "Field"), "Q1Fi");
    EXPECT_EQ(parameterName(quad, "Q1", "Fringe"), "Q1Fr");
    EXPECT_EQ(parameterName(quad, "Q1", "Length"), "Q1L");
    EXPECT_EQ(parameterName(quad, "Q1", "Other"), "Q1Other");
    EXPECT_EQ(parameterName(quad, "Q1", "value"), "Q1");
}

TEST_F(Lattice, FormatsAreDeclaredWithPrefixesAndUnits) {
    ParseFormat f = parseformat(" Solenoid(S)  Radius(m) Field / T Length(cm) Extra ");
    ASSERT_EQ(f.count(), 5);
    EXPECT_EQ(f.names[0], "Solenoid");
    EXPECT_EQ(*f.defaults[0], "S");
    EXPECT_EQ(*f.defaults[2], "T");
    EXPECT_EQ(*f.defaults[3], "cm");
    EXPECT_FALSE(f.defaults[4]);
    EXPECT_EQ(formatToText(f), "Solenoid(S) Radius(m) Field(T) Length(cm) Extra");
    EXPECT_EQ(parseformat("A + B").names, (std::vector<std::string>{"A", "+", "B"}));
    EXPECT_EQ(parseformat("").count(), 0);
}

TEST_F(Statements, ARepeatedNameGivesDistinctCellsAndTheLastIsTheCellItself) {
    CellPtr d1 = statement("D1 1");
    statement("S1 0.2 1 1");
    CellPtr line = statement("LINE: D1,S1,D1;");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->name, "LINE");
    ASSERT_EQ(line->childCount(), 3);
    EXPECT_EQ(line->children[2], d1);
    EXPECT_NE(line->children[0], d1);
    EXPECT_EQ(line->children[0]->name, "D1");
}

TEST_F(Statements, ReversedRepeatedAndMirroredLines) {
    for (const char* s : {"P 1", "Q 1", "R 1"}) statement(s);
    EXPECT_EQ(names(*statement("-(P,Q,R)")), (std::vector<std::string>{"R", "Q", "P"}));
    EXPECT_EQ(names(*statement("3*(P,Q)")),
              (std::vector<std::string>{"P", "Q", "P", "Q", "P", "Q"}));
    CellPtr twice = statement("2*P");
    EXPECT_EQ(twice->childCount(), 2);
    EXPECT_EQ(twice->children[0], twice->children[1]);

    CellPtr bend = statement("B");
    cellSetNumber(*bend, "angle", 0.3);
    CellPtr mirror = statement("~B");
    ASSERT_TRUE(mirror);
    EXPECT_EQ(mirror->name, "~B");
    EXPECT_DOUBLE_EQ(cellNumber(*mirror, "angle"), -0.3);
    EXPECT_EQ(mirror->typeName, bend->typeName);
    CellPtr drift = statement("D 2");
    EXPECT_EQ(statement("~D"), drift);
}

TEST_F(Statements, MirroringALineMirrorsEachElement) {
    statement("D 2");
    CellPtr bend = statement("B");
    cellSetNumber(*bend, "angle", 0.5);
    statement("ARC: D,B,D;");
    CellPtr mirror = statement("~ARC");
    ASSERT_TRUE(mirror);
    EXPECT_EQ(names(*mirror), (std::vector<std::string>{"D", "~B", "D"}));
    EXPECT_DOUBLE_EQ(cellNumber(*mirror->children[1], "angle"), -0.5);
    // Mirroring the mirror turns the angle back.
    EXPECT_DOUBLE_EQ(cellNumber(*statement("~~B"), "angle"), 0.5);
}

TEST_F(Statements, TypesAreGuessedFromNamesWithoutAFormat) {
    EXPECT_EQ(statement("QF1 1 2")->typeName, "Quadrupole");
    EXPECT_EQ(statement("Q1 1 2")->typeName, "Unknown");
    EXPECT_EQ(statement("D3 1")->typeName, "Drift");
    EXPECT_EQ(statement("O1 1")->typeName, "Drift");
    EXPECT_EQ(statement("SOL2 0.1 2 1")->typeName, "Solenoid");
    EXPECT_EQ(statement("HBFR1 1 2")->typeName, "RectangularBend");
    CellPtr vbd = statement("VBD2 1 2 0.1");
    EXPECT_EQ(vbd->typeName, "SectorBend");
    EXPECT_DOUBLE_EQ(cellNumber(*vbd, "Field"), -2);
    EXPECT_DOUBLE_EQ(cellNumber(*vbd, "Twist"), 1.5707963267948966);
    // A guessed format holds for one element only.
    EXPECT_EQ(parser.format.count(), 0);
}

TEST_F(Statements, RedefiningWarnsButEarlierLinesKeepTheOldCell) {
    CellPtr first = statement("D1 1");
    CellPtr line = statement("L1: D1,D1;");
    CellPtr second = statement("D1 2");
    EXPECT_TRUE(warned("[WARNING] Element 'D1' overwritten"));
    EXPECT_EQ(line->children[1], first);
    EXPECT_EQ(statement("D1"), second);
}

// The last declared format whose prefix starts the name wins, whatever the
// prefix lengths; the prefix is matched ignoring case.
TEST_F(Statements, TheLastMatchingPrefixFormatChoosesTheType) {
    struct Step {
        const char* declare;  // a format to declare first, or ""
        const char* element;
        const char* type;
    };
    const Step steps[] = {
        {"{Drift(D) Length(m)}", "D1 1", "Drift"},
        {"{Dipole(DI) Length(m) Field(T)}", "DI1 1 2", "Dipole"},
        {"", "d2 1", "Drift"},
        {"{Solenoid(d) Radius(m)}", "DI2 1", "Solenoid"},
        {"", "Q1 1", "Solenoid"},  // no prefix matches: the current format holds
    };
    for (const Step& s : steps) {
        if (*s.declare) statement(s.declare);
        CellPtr cell = statement(s.element);
        ASSERT_TRUE(cell) << s.element;
        EXPECT_EQ(cell->typeName, s.type) << s.element;
    }
}

TEST_F(Statements, APrefixFormatWinsOverTheParameterFormat) {
    statement("{Drift(D) Length(m)}");
    statement("{Parameter Value}");
    CellPtr dx = statement("Dx=5");
    ASSERT_TRUE(dx);
    EXPECT_EQ(dx->typeName, "Drift");
    EXPECT_DOUBLE_EQ(cellNumber(*dx, "Length"), 5);
    EXPECT_EQ(formatToText(parser.format), "Parameter Value");
}

TEST_F(Statements, TextAttributesAndPublishedValues) {
    statement("{RodSource(Rod) File Z(cm) Species}");
    CellPtr rod = statement("Rod1 \"pions one.csv\" 20 pi+");
    EXPECT_EQ(*cellText(*rod, "File"), "pions one.csv");
    EXPECT_EQ(*cellText(*rod, "Species"), "pi+");
    EXPECT_DOUBLE_EQ(cellNumber(*rod, "Z"), 0.2);
    EXPECT_DOUBLE_EQ(Vesk_variable(*parser.environment, "Rod1.Z").number, 0.2);
}

TEST_F(Statements, ListsWarnAboutMissingAndTrailingItems) {
    statement("A 1");
    statement("B 1");
    CellPtr line = statement("A,,B");
    EXPECT_EQ(line->childCount(), 2);
    EXPECT_TRUE(warned("[WARNING] Missing element in comma separated list\nA,,B"));
    line = statement("A,B,");
    EXPECT_EQ(line->childCount(), 2);
    EXPECT_TRUE(warned("[WARNING] Comma-separated list ends with empty item"));
}

TEST_F(Lattice, MinimumVersionRejectsOrPasses) {
    EXPECT_EQ(run("!MINVER 9.5\nD1 1\n"), nullptr);
    EXPECT_TRUE(warned("Lattice needs Pelto version 9.5 or higher (you are using 4.44)"));
    EXPECT_TRUE(run("!minver 4.4\nD1 1\n"));
    EXPECT_EQ(fatalStatus("!DEBUG\nD1 1\n"), 1);
    EXPECT_TRUE(warned("[FATAL] Unknown control command !DEBUG"));
}

TEST_F(Lattice, StatementsThatCannotBeUnderstoodAreFatal) {
    EXPECT_EQ(fatalStatus("D1 1\nD1+D2\n"), 1);
    EXPECT_TRUE(warned("Cannot parse the following expression...\nD1+D2\n[FATAL]"));
    EXPECT_EQ(fatalStatus("#// only a comment\n"), 1);
    EXPECT_TRUE(warned("[FATAL] parser.machine is still NULL"));
}

TEST_F(Lattice, HostileInputIsRefusedNotObeyed) {
    EXPECT_EQ(fatalStatus("D1 1\nL: 2000000000*D1;\nL\n"), 1);
    EXPECT_TRUE(warned("would make more than"));
    EXPECT_EQ(fatalStatus("D1 1\n" + std::string(5000, '(') + "D1" + std::string(5000, ')') + "\n"),
              1);
    EXPECT_TRUE(warned("nested more than"));
    // Doubling lines grow past any sane size quickly.
    std::string doubling = "A0 1\n";
    for (int i = 1; i < 30; i++) doubling += format("A%d: A%d,A%d;\n", i, i - 1, i - 1);
    EXPECT_EQ(fatalStatus(doubling + "A29\n"), 1);
}

// Code that writes for ever is stopped by the cell or the text limit (lowered
// here so the test runs in a moment).
TEST_F(Lattice, RunawayCodeEndsWithAFatalMessage) {
    struct Case {
        const char* text;
        const char* message;
        const char* alsoSaid;
    };
    const Case cases[] = {
        {"#for(i=1;i>=0;i=i+1){#D#i# 1;#}#\n", "[FATAL] Lattice makes more than 2000 elements", ""},
        // A typo that redefines one element for ever; its warnings are summed up.
        {"#for(i=1;i<=4;j=i+1){#D#i# 1;#}#\n", "[FATAL] Lattice makes more than 2000 elements",
         "[WARNING] Element 'D1' overwritten at lattices/alpha.txt:1 ... repeated 2000 times"},
        {"D1 1\n#for(i=1;i>=0;i++){#                #}#\nD1\n",
         "[FATAL] Lattice code wrote more than 65536 bytes of text", ""},
    };
    LatticeLimits saved = latticeLimits;
    latticeLimits = LatticeLimits{65536, 2000};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        rec.output.clear();
        genome = Genome{};
        EXPECT_EQ(fatalStatus(c.text), 1);
        EXPECT_TRUE(warned(c.message)) << rec.output.substr(0, 300);
        EXPECT_TRUE(warned(c.alsoSaid));
    }
    latticeLimits = saved;
}

TEST_F(Lattice, RepeatedWarningsAreSummedUp) {
    ASSERT_TRUE(run("#for(i=1;i<=10;i++){#D1 1;#}#\nD1\n"));
    size_t shown = 0;
    for (size_t at = 0; (at = rec.output.find("'D1' overwritten at lattices/alpha.txt:1\n", at)) !=
                        std::string::npos;
         at++) {
        shown++;
    }
    EXPECT_EQ(shown, 3u);
    EXPECT_TRUE(
        warned("[WARNING] Element 'D1' overwritten at lattices/alpha.txt:1 ... repeated 9 times"));
}

TEST_F(Lattice, RandomBytesNeverCrashTheInterpreter) {
    seedRandom(7);
    const std::string alphabet = "#[](){}:;,=*-~!\"' \n\tDSQ01.5x";
    for (int round = 0; round < 300; round++) {
        std::string text;
        int length = static_cast<int>(randomBelow(200));
        for (int i = 0; i < length; i++) {
            text += round % 2 ? static_cast<char>(randomBelow(256))
                              : alphabet[static_cast<size_t>(randomBelow(alphabet.size()))];
        }
        genome = Genome{};
        rec.keys = {'a'};
        try {
            run(text);
        } catch (const ProcessExit&) {
        }
    }
    SUCCEED();
}

TEST_F(Lattice, FilesAreReadWithWindowsLineEndsAndFoundIgnoringCase) {
    ScratchFolder dir;
    dir.write("lattices/Beta.txt", "D1 1\r\nS1 0.1 1 1\r\nL: D1,S1;\r\nL\r\n");
    std::string saved = currentFolder();
    ASSERT_TRUE(setCurrentFolder(dir.path()));
    CellPtr root = loadlattice("beta", genome, true, nullptr);
    setCurrentFolder(saved);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->childCount(), 2);
    EXPECT_TRUE(warned("Interpreting lattice file 'beta'..."));
    EXPECT_TRUE(warned("Beamline consists of 2 units, genome of 0 parameters"));

    ASSERT_TRUE(setCurrentFolder(dir.path()));
    int status = -1;
    try {
        loadlattice("gamma", genome, false, nullptr);
    } catch (const ProcessExit& e) {
        status = e.status;
    }
    setCurrentFolder(saved);
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(warned("[FATAL] Machine lattice file lattices/gamma.txt not found"));
}

TEST_F(Lattice, TheParseReportTellsWhatEachStatementBecame) {
    ScratchFolder dir;
    std::string saved = currentFolder();
    ASSERT_TRUE(setCurrentFolder(dir.path()));
    latticeParseReport = "PARSEreport.log";
    CellPtr root = run("{Drift(D) Length(m)}\nD1 2\nL: D1 , D1 ;\nL\n");
    latticeParseReport.clear();
    setCurrentFolder(saved);
    ASSERT_TRUE(root);
    std::string report = dir.read("PARSEreport.log");
    EXPECT_NE(report.find("Parse format {Drift(D) Length(m)}\n"), std::string::npos);
    EXPECT_NE(report.find("Element D1 is of type Drift: Length=2 \n"), std::string::npos);
    EXPECT_NE(report.find("Standard form: 'L:D1,D1'\n"), std::string::npos);
    EXPECT_NE(report.find("Finshed composite element 'L'\n"), std::string::npos);
    EXPECT_NE(report.find("\nBeamline: D1 D1 "), std::string::npos);
    EXPECT_EQ(dir.read("parser.parsetextstream.log").substr(0, 1), "\x95");
}

TEST_F(Lattice, DataFilesAreListedFromTheLastChildAndAttributeBackwards) {
    ScratchFolder dir;
    dir.write("lattices/maps.txt",
              "{BMagnet(B) Length(m) File1 File2 Note}\n"
              "{RodSource(Rod) File}\n"
              "Rod1 'pions.csv'\n"
              "B1 1 'y00.txt' 'y05.txt' 'not a file'\n"
              "L: Rod1, B1;\nL\n");
    dir.write("lattices/future.txt", "!MINVER 99\nD1 1\n");
    std::string saved = currentFolder();
    ASSERT_TRUE(setCurrentFolder(dir.path()));
    auto files = latticeDataFiles("maps");
    auto none = latticeDataFiles("future");
    setCurrentFolder(saved);
    ASSERT_TRUE(files);
    EXPECT_EQ(*files, (std::vector<std::string>{"y05.txt", "y00.txt", "pions.csv"}));
    EXPECT_FALSE(none);
}

TEST_F(Lattice, TruncatedAndUnbalancedFilesEndInMessagesNotCrashes) {
    std::string text;
    ASSERT_EQ(readLatticeFile(PELTO_SOURCE_DIR "/demo/lattices/dogleg.txt", text), ReadStatus::Ok);
    std::vector<std::string> inputs;
    for (size_t cut = 0; cut < text.size(); cut += 7) inputs.push_back(text.substr(0, cut));
    for (const char* odd : {"D1 1\nL: (D1,D1;\nL\n", "D1 1\nL: D1,D1);\nL\n", "D1 [1\nD1\n",
                            "D1 1]\n", "{Drift(D Length\nD1 1\n", "L: ((((D1;\n",
                            "#for(;;){#D1 1#\n", "D1 1\n#}}}{{{#\nD1\n", "D1 'open quote\nD1\n"}) {
        inputs.push_back(odd);
    }
    for (const std::string& input : inputs) {
        genome = Genome{};
        rec.keys = {'a'};
        try {
            CellPtr root = run(input);
            if (root) {
                EXPECT_EQ(root->kind, Composite);
            }
        } catch (const ProcessExit& e) {
            EXPECT_EQ(e.status, 1) << input;
        }
    }
}
