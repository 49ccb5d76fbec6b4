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

// The window draws a cell by the kind bound from its row, so the kind must
// follow the row's matching rules, reach every element of a tree and survive
// the copy the interpreter hands out.
TEST(CellTypes, BindingGivesEachElementTheDrawKindOfItsRow) {
    const struct {
        const char* type;
        DrawKind kind;
    } cases[] = {
        {"SOLENOID", DrawSolenoid},        {"Cylinder-blockage", DrawBlockage},
        {"Finish-Aperture", DrawAperture}, {"rf", DrawRfCavity},
        {"bmagnet", DrawBendMagnet},       {"RodSource", DrawRodSource},
        {"marssource", DrawNothing},       {"Drift", DrawNothing},
        {"Quadrupole", DrawNothing},
    };
    CellPtr root = cellCreate(Composite, "line");
    for (const auto& c : cases) {
        CellPtr cell = cellCreate(Machine, c.type);
        cell->typeName = c.type;
        cell->drawKind = DrawSolenoid;  // stale: binding must overwrite it
        root->children.push_back(cell);
    }
    bindTypeFunctions(*root);
    CellPtr copy = cellCopy(*root);
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(cases[i].type);
        EXPECT_EQ(root->children[i]->drawKind, cases[i].kind);
        EXPECT_EQ(copy->children[i]->drawKind, cases[i].kind);
    }
}
