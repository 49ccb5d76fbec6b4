#include "model/cell.hpp"

#include <gtest/gtest.h>

#include <thread>

#include "model/cell_geometry.hpp"
#include "model/cell_submap.hpp"
#include "support/test_support.hpp"

namespace {

CellPtr element(const char* name, const char* type = "Drift") {
    CellPtr c = cellCreate(Machine, name);
    c->typeName = type;
    return c;
}

std::vector<std::string> childNames(const Cell& c) {
    std::vector<std::string> names;
    for (const CellPtr& child : c.children) names.push_back(child->name);
    return names;
}

}  // namespace

TEST(Cell, AttributesAreFoundIgnoringCaseAndTheLastEntryWins) {
    CellPtr c = element("S1", "Solenoid");
    c->attributes.push_back({"Field", AttributeNumber, 1.0, {}});
    c->attributes.push_back({"FIELD", AttributeNumber, 2.0, {}});
    c->attributes.push_back({"File", AttributeText, 0, "map.dat"});
    EXPECT_EQ(cellNumber(*c, "field"), 2.0);
    EXPECT_EQ(cellNumber(*c, "file"), 0.0);
    EXPECT_EQ(cellText(*c, "field"), nullptr);
    ASSERT_NE(cellText(*c, "FILE"), nullptr);
    EXPECT_EQ(*cellText(*c, "FILE"), "map.dat");
    EXPECT_TRUE(cellHas(*c, "fIlE"));
    EXPECT_FALSE(cellHas(*c, "radius"));
    EXPECT_EQ(cellAttributeKind(*c, "radius"), AttributeUnset);
    EXPECT_EQ(cellAttribute(*c, "radius").kind, AttributeUnset);
    EXPECT_EQ(cellAttribute(*c, "field").number, 2.0);
}

TEST(Cell, SettingReplacesTheEntryInPlaceAndNegateTouchesOnlyNumbers) {
    CellPtr c = element("S1");
    cellSetText(*c, "Length", "long");
    cellSetNumber(*c, "radius", 0.3);
    cellSetNumber(*c, "LENGTH", 1.5);  // replaces the text, keeps spelling and position
    ASSERT_EQ(c->attributes.size(), 2u);
    EXPECT_EQ(c->attributes[0].name, "Length");
    EXPECT_EQ(c->attributes[0].kind, AttributeNumber);
    EXPECT_EQ(c->attributes[0].text, "");
    EXPECT_EQ(cellNumber(*c, "length"), 1.5);
    cellSetText(*c, "radius", "wide");
    EXPECT_EQ(*cellText(*c, "radius"), "wide");
    cellNegate(*c, "length");
    cellNegate(*c, "radius");
    cellNegate(*c, "missing");
    EXPECT_EQ(cellNumber(*c, "length"), -1.5);
    EXPECT_EQ(*cellText(*c, "radius"), "wide");
    EXPECT_EQ(c->attributes.size(), 2u);
}

TEST(Cell, InsertChildCountsNegativeIndicesFromTheEnd) {
    CellPtr line = cellCreate(Composite, "L");
    insertChild(*line, element("A"), 0);
    insertChild(*line, element("B"), -1);  // append
    insertChild(*line, element("C"), -2);  // before the last
    insertChild(*line, element("D"), 0);
    insertChild(*line, element("E"), 99);  // clamped to the end
    insertChild(*line, element("F"), -99);
    EXPECT_EQ(childNames(*line), (std::vector<std::string>{"F", "D", "A", "C", "B", "E"}));
    EXPECT_EQ(indexOfChild(*line, line->children[3].get()), 3);
    EXPECT_EQ(indexOfChild(*line, line.get()), -1);
}

TEST(Cell, FindChildAndLooseSearch) {
    CellPtr line = cellCreate(Composite, "L");
    for (const char* n : {"Sol10", "Drift1", "sol1", "Ap"}) insertChild(*line, element(n), -1);
    EXPECT_EQ(findChild(*line, "SOL1"), line->children[2].get());
    EXPECT_EQ(findChild(*line, "Sol"), nullptr);
    // An exact name beats an earlier prefix match; then prefixes, then substrings.
    EXPECT_EQ(findChildLoose(*line, "SOL1"), line->children[2].get());
    EXPECT_EQ(findChildLoose(*line, "so"), line->children[0].get());
    EXPECT_EQ(findChildLoose(*line, "IFT"), line->children[1].get());
    EXPECT_EQ(findChildLoose(*line, "zz"), nullptr);
    EXPECT_EQ(findChildLoose(*line, ""), nullptr);
    Cell& e = *line->children[3];
    EXPECT_EQ(findChild(e, "ap"), &e);
    EXPECT_EQ(findChild(e, "x"), nullptr);
    EXPECT_EQ(findChildLoose(e, "x"), &e);
}

TEST(Cell, DeepCopySharesNothingAndSplitsRepeatedChildren) {
    MessageRecorder recorder;
    CellPtr d = element("D1");
    cellSetNumber(*d, "length", 1);
    cellBoxSet(*d, 0, 0, 0, 1, 1, 1);
    d->runData[5] = 42;
    CellPtr line = cellCreate(Composite, "L");
    insertChild(*line, d, -1);
    insertChild(*line, d, -1);
    cellBoxSet(*line, 0, 0, 0, 1, 1, 1);
    subMapBuild(*line, 4);

    CellPtr copy = cellCopy(*line);
    ASSERT_EQ(copy->childCount(), 2);
    EXPECT_NE(copy->children[0], copy->children[1]);
    EXPECT_NE(copy->children[0], d);
    EXPECT_EQ(copy->children[1]->runData[5], 42);
    cellSetNumber(*copy->children[0], "length", 5);
    EXPECT_EQ(cellNumber(*d, "length"), 1);
    EXPECT_EQ(cellNumber(*copy->children[1], "length"), 1);

    // The copied grid leads to the copied cells, never to the originals.
    std::vector<Cell*> near;
    subMapQuery(*copy, {0.5, 0.5, 0.5}, near);
    ASSERT_EQ(near.size(), 2u);
    EXPECT_EQ(near[0], copy->children[0].get());
    EXPECT_EQ(near[1], copy->children[1].get());
}

TEST(Cell, InsertingAndRemovingChildrenKeepsTheGridRight) {
    MessageRecorder recorder;
    CellPtr line = cellCreate(Composite, "L");
    for (const char* n : {"A", "B"}) {
        insertChild(*line, element(n), -1);
        cellBoxSet(*line->children.back(), 0, 0, 0, 1, 1, 1);
    }
    cellBoxSet(*line, 0, 0, 0, 1, 1, 1);
    subMapBuild(*line, 2);
    insertChild(*line, element("New"), 0);  // not in the grid until it is rebuilt
    cellBoxSet(*line->children[0], 0, 0, 0, 1, 1, 1);
    removeChild(*line, 1);
    std::vector<Cell*> near;
    subMapQuery(*line, {0.5, 0.5, 0.5}, near);
    ASSERT_EQ(near.size(), 1u);
    EXPECT_EQ(near[0]->name, "B");
}

TEST(Cell, LossSumsTakeAdditionsFromSeveralThreads) {
    CellPtr line = cellCreate(Composite, "L");
    insertChild(*line, element("A"), -1);
    Cell& a = *line->children[0];
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++) {
        threads.emplace_back([&a] {
            for (int i = 0; i < 20000; i++) a.lostWeight.add(0.5);
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(a.lostWeight.get(), 40000.0);
    line->lostEnergy.add(3);
    cellZeroLosses(*line);
    EXPECT_EQ(a.lostWeight.get(), 0.0);
    EXPECT_EQ(line->lostEnergy.get(), 0.0);
}
