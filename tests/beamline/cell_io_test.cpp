#include "beamline/cell_io.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "model/cell_geometry.hpp"
#include "model/cell_submap.hpp"
#include "support/test_support.hpp"

namespace {

std::string saved(const Cell& cell) {
    std::FILE* f = std::tmpfile();
    EXPECT_TRUE(saveCell(cell, f));
    std::string bytes(static_cast<size_t>(std::ftell(f)), '\0');
    std::rewind(f);
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
    return bytes;
}

CellPtr loaded(const std::string& bytes, int32_t resolution = 10) {
    std::FILE* f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    CellPtr cell = loadCell(f, resolution);
    std::fclose(f);
    return cell;
}

CellPtr sampleTree() {
    CellPtr sol = cellCreate(Machine, "S1");
    sol->typeName = "Solenoid";
    cellSetNumber(*sol, "radius", 0.3);
    cellSetText(*sol, "file", "a.dat");
    sol->attributes.push_back({"unset", AttributeUnset, 0, {}});
    cellSetNumber(*sol, "field", -2.5e-7);
    for (int i = 0; i < RTD_SIZE; i++) sol->runData[i] = static_cast<unsigned char>(i * 7);
    cellBoxSet(*sol, -1, -1, 0, 1, 1, 2);
    CellPtr inner = cellCreate(Composite, "inner");
    for (const char* n : {"A", "B"}) {
        insertChild(*inner, cellCreate(Machine, n), -1);
        inner->children.back()->typeName = "Drift";
        cellSetNumber(*inner->children.back(), "length", 1);
    }
    CellPtr root = cellCreate(Composite, "root");
    insertChild(*root, sol, -1);
    insertChild(*root, inner, -1);
    insertChild(*root, cellCreate(Nonmachine, "P"), -1);
    double arc = 0;
    cellPlaceTree(*root, Frame3{}, arc);
    cellBoxSet(*root, -1, -1, 0, 1, 1, 2);
    return root;
}

}  // namespace

TEST(CellIo, AnElementHasTheDocumentedLayout) {
    CellPtr d = cellCreate(Machine, "D");
    d->typeName = "Drift";
    cellSetNumber(*d, "length", 2);
    d->arcStart = 0.5;
    std::string bytes = saved(*d);
    ASSERT_EQ(bytes.size(), 2 + 1 + 6 + 4 + 7 + 1 + 8 + 8 + 96 + 48u);  // drifts have no run data
    const char head[] = "D\0\1Drift\0\1\0\0\0length\0\1\0\0\0\0\0\0\0\x40";
    EXPECT_EQ(bytes.substr(0, sizeof head - 1), std::string(head, sizeof head - 1));
    double arc;
    std::memcpy(&arc, bytes.data() + 29, 8);
    EXPECT_EQ(arc, 0.5);
}

TEST(CellIo, RoundTripKeepsChildOrderAndReversesAttributes) {
    MessageRecorder recorder;
    CellPtr root = sampleTree();
    CellPtr back = loaded(saved(*root));
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->childCount(), 3);
    EXPECT_EQ(back->children[1]->children[1]->name, "B");
    EXPECT_EQ(back->children[2]->kind, Nonmachine);
    const Cell& sol = *back->children[0];
    ASSERT_EQ(sol.attributes.size(), 4u);
    EXPECT_EQ(sol.attributes[0].name, "field");
    EXPECT_EQ(sol.attributes[0].number, -2.5e-7);
    EXPECT_EQ(sol.attributes[1].kind, AttributeUnset);
    EXPECT_EQ(sol.attributes[2].text, "a.dat");
    EXPECT_EQ(sol.attributes[3].name, "radius");
    EXPECT_EQ(std::memcmp(sol.runData, root->children[0]->runData, 120), 0);
    EXPECT_EQ(sol.runData[120], 0);  // only the solenoid's 120 bytes travel
    EXPECT_EQ(back->children[1]->children[1]->arcStart, 1);
    EXPECT_EQ(std::memcmp(&back->children[1]->children[1]->entryFrame,
                          &root->children[1]->children[1]->entryFrame, sizeof(Frame3)),
              0);
    EXPECT_EQ(sol.boxMax.z, 2);

    // The grid is rebuilt with the resolution given to the load.
    ASSERT_NE(back->subMap, nullptr);
    std::vector<Cell*> near;
    subMapQuery(*back, {0, 0, 1}, near);
    EXPECT_EQ(near, std::vector<Cell*>{back->children[0].get()});

    // A second round trip restores the original attribute order.
    CellPtr again = loaded(saved(*back));
    EXPECT_EQ(again->children[0]->attributes[0].name, "radius");
}

TEST(CellIo, DamagedDataIsRefusedWithoutCrashing) {
    MessageRecorder recorder;
    std::string bytes = saved(*sampleTree());
    for (size_t n = 0; n < bytes.size(); n++) {
        ASSERT_EQ(loaded(bytes.substr(0, n)), nullptr) << n;
    }
    std::mt19937 rng(3);
    for (int k = 0; k < 3000; k++) {
        std::string damaged = bytes;
        for (int j = 0; j < 4; j++) damaged[rng() % damaged.size()] = static_cast<char>(rng());
        loaded(damaged);  // may or may not load; must not crash
        std::string noise(rng() % 600, '\0');
        for (char& c : noise) c = static_cast<char>(rng() % 4);  // small counts and kinds
        loaded(noise);
    }

    std::string huge("L\0\2\xff\xff\xff\x7f", 7);  // two billion children, then nothing
    EXPECT_EQ(loaded(huge), nullptr);
    std::string deep;
    for (int i = 0; i < 1000; i++) deep += std::string("C\0\2\1\0\0\0", 7);
    EXPECT_EQ(loaded(deep), nullptr);
    EXPECT_EQ(loaded(std::string(200000, 'x')), nullptr);  // a name without an end
    EXPECT_EQ(loaded(std::string("X\0\7", 3) + std::string(300, '\0')), nullptr);
}
