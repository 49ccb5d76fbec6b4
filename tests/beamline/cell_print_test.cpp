#include "beamline/cell_print.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "model/cell_geometry.hpp"
#include "support/test_support.hpp"

namespace {

CellPtr solenoid() {
    CellPtr s = cellCreate(Machine, "S1");
    s->typeName = "Solenoid";
    cellSetNumber(*s, "radius", 0.25);
    cellSetText(*s, "file", "a.dat");
    cellSetNumber(*s, "length", 2);
    return s;
}

}  // namespace

TEST(CellPrint, ElementsInTheListingForm) {
    CellPtr d = cellCreate(Machine, "D1");
    d->typeName = "Drift";
    EXPECT_EQ(Cell_print(*d, false, ' '), "Drift D1\n");
    EXPECT_EQ(Cell_print(*solenoid(), false, ','),
              "Solenoid S1\nradius=0.25,file='a.dat',length=2,");
    CellPtr p = cellCreate(Nonmachine, "Sync");
    p->typeName = "particle";
    EXPECT_EQ(Cell_print(*p, false, ' '), "Nonmachine particle Sync\n");

    CellPtr s = solenoid();
    s->entryFrame.origin = {1, 0, 0.5};
    EXPECT_EQ(Cell_print(*s, true, ' '),
              "Solenoid S1\nradius=0.25 file='a.dat' length=2 \n(1,0,0.5) to (1,0,2.5)");
}

TEST(CellPrint, ElementsInTheLatticeFileForm) {
    EXPECT_EQ(Cell_print(*solenoid(), false, '\0'),
              "{Solenoid radius file length}\nS1 0.25 'a.dat' 2");
    CellPtr s = solenoid();
    s->kind = Nonmachine;
    EXPECT_EQ(Cell_print(*s, true, '\0'),
              "{Solenoid radius file length}\nS1 0.25 'a.dat' 2 #// Nonmachine"
              "\n#// Coords (0,0,0) to (0,0,0)");
}

TEST(CellPrint, CompositesAndUnknownKinds) {
    CellPtr line = cellCreate(Composite, "LINE");
    CellPtr d = cellCreate(Machine, "D1");
    d->typeName = "Drift";
    cellSetNumber(*d, "length", 1);
    insertChild(*line, d, -1);
    insertChild(*line, solenoid(), -1);
    double arc = 0;
    cellPlaceTree(*line, Frame3{}, arc);
    EXPECT_EQ(Cell_print(*line, true, '\0'),
              "\n#// LINE - Composite cell of 2 elements:\n\n"
              "{Drift length}\nD1 1\n#// Coords (0,0,0) to (0,0,1)\n"
              "{Solenoid radius file length}\nS1 0.25 'a.dat' 2\n#// Coords (0,0,1) to (0,0,3)\n"
              "\nLINE: D1,S1;\n\n");

    CellPtr odd = cellCreate(7, "Odd");
    EXPECT_EQ(Cell_print(*odd, false, ' '),
              "\n#//Cell_print error: Odd - UNKNOWN TYPE OF CELL\n\n");
}

TEST(CellPrint, TreeLogIsAppendedUnderTech) {
    ScratchFolder scratch;
    std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(scratch.path());
    CellPtr line = cellCreate(Composite, "L");
    insertChild(*line, solenoid(), -1);
    bool first = Cell_printlog(*line);
    bool second = Cell_printlog(*line);
    std::filesystem::current_path(before);
    EXPECT_TRUE(first && second);
    std::string once = Cell_print(*line, true, ' ');
    EXPECT_EQ(scratch.read("tech/log.txt"), once + once);
}
