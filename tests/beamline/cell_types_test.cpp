#include "beamline/cell_types.hpp"

#include <gtest/gtest.h>

TEST(CellTypes, TypeTextsFindTheirRowsAndRunDataSizes) {
    auto rowName = [](const char* type) {
        const CellType* row = cellTypeFind(type);
        return row ? std::string(row->name) : std::string("none");
    };
    EXPECT_EQ(rowName("SOLENOID"), "solenoid");
    EXPECT_EQ(rowName("Solenoid-extra"), "solenoid");
    EXPECT_EQ(rowName("Cylinder-blockage"), "blockage");
    EXPECT_EQ(rowName("circular-aperture"), "-aperture");
    EXPECT_EQ(rowName("rf"), "RF");
    EXPECT_EQ(rowName("Quadrupole"), "none");

    CellPtr ap = cellCreate(Machine, "A");
    ap->typeName = "finish-aperture";
    EXPECT_EQ(runDataSize(*ap), 368);
    ap->kind = Nonmachine;
    EXPECT_EQ(runDataSize(*ap), -1);
    ap->kind = Machine;
    ap->typeName = "Drift";
    EXPECT_EQ(runDataSize(*ap), -1);
}
