#include "model/cell_submap.hpp"

#include <gtest/gtest.h>

#include <random>

#include "model/cell_geometry.hpp"
#include "support/test_support.hpp"

namespace {

CellPtr boxed(Vec3 lo, Vec3 hi) {
    CellPtr c = cellCreate(Machine, "E");
    cellBoxSet(*c, lo.x, lo.y, lo.z, hi.x, hi.y, hi.z);
    return c;
}

// A composite whose box is the union of its children's boxes, as the build makes it.
CellPtr lineOf(std::vector<CellPtr> children) {
    CellPtr line = cellCreate(Composite, "L");
    for (CellPtr& c : children) {
        if (!cellBoxEmpty(*c)) {
            cellBoxInclude(*line, c->boxMin);
            cellBoxInclude(*line, c->boxMax);
        }
        insertChild(*line, std::move(c), -1);
    }
    return line;
}

std::vector<Cell*> query(const Cell& line, Vec3 p) {
    std::vector<Cell*> out{nullptr};  // the query clears what it is given
    subMapQuery(line, p, out);
    return out;
}

}  // namespace

TEST(CellSubMap, GridShapeFollowsTheLongestExtent) {
    MessageRecorder recorder;
    CellPtr line = lineOf({boxed({0, 0, 0}, {1, 1, 10})});
    subMapBuild(*line, 50);
    EXPECT_EQ(line->subMap->nx, 5);
    EXPECT_EQ(line->subMap->nz, 50);
    EXPECT_NE(recorder.output.find("Building proximity grid 5x5x50 (1250 cells)... Done"),
              std::string::npos);
}

TEST(CellSubMap, QueryMatchesABruteForceSearch) {
    MessageRecorder recorder;
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<CellPtr> children;
    for (int i = 0; i < 120; i++) {
        Vec3 lo{4 * u(rng), 2 * u(rng), 30 * u(rng)};
        children.push_back(boxed(lo, lo + Vec3{u(rng), u(rng), 3 * u(rng)}));
    }
    children.push_back(boxed({0, 0, 0}, {0, 0, 0}));
    cellBoxReset(*children.back());  // an empty box is never listed
    CellPtr line = lineOf(children);
    subMapBuild(*line, 30);
    for (int32_t e : line->subMap->entries) EXPECT_NE(e, 120);

    Vec3 lo = line->boxMin, ext = line->boxMax - line->boxMin;
    for (int k = 0; k < 5000; k++) {
        Vec3 p{lo.x + ext.x * u(rng), lo.y + ext.y * u(rng), lo.z + ext.z * u(rng)};
        if (k % 50 == 0) p = line->children[k % 120]->boxMin;  // on a face
        std::vector<Cell*> expected;
        for (const CellPtr& c : line->children) {
            if (cellBoxContains(*c, p)) expected.push_back(c.get());
        }
        ASSERT_EQ(query(*line, p), expected) << k;
    }
    EXPECT_TRUE(query(*line, lo - Vec3{1e-9, 0, 0}).empty());
    EXPECT_TRUE(query(*line, line->boxMax + Vec3{0, 0, 1e-9}).empty());
}

TEST(CellSubMap, FlatAndDegenerateComposites) {
    MessageRecorder recorder;
    // Flat on y: one grid row, found only on the plane itself.
    CellPtr flat = lineOf({boxed({0, 0.5, 0}, {1, 0.5, 4}), boxed({0, 0.5, 2}, {1, 0.5, 8})});
    subMapBuild(*flat, 10);
    EXPECT_EQ(flat->subMap->ny, 1);
    EXPECT_EQ(query(*flat, {0.5, 0.5, 3}).size(), 2u);
    EXPECT_TRUE(query(*flat, {0.5, 0.5 + 1e-12, 3}).empty());

    CellPtr point = lineOf({boxed({1, 1, 1}, {1, 1, 1})});
    subMapBuild(*point, 50);
    EXPECT_EQ(query(*point, {1, 1, 1}).size(), 1u);

    CellPtr empty = lineOf({});
    subMapBuild(*empty, 50);
    EXPECT_EQ(empty->subMap->cellCount(), 1);
    EXPECT_TRUE(query(*empty, {0, 0, 0}).empty());
    EXPECT_TRUE(query(*empty, {0, 0, std::nan("")}).empty());

    CellPtr element = boxed({0, 0, 0}, {1, 1, 1});
    subMapBuild(*element, 50);
    EXPECT_EQ(element->subMap, nullptr);
}

TEST(CellSubMap, ManyLargeChildrenGetACoarserGrid) {
    MessageRecorder recorder;
    std::vector<CellPtr> children;
    for (int i = 0; i < 2000; i++) children.push_back(boxed({0, 0, 0}, {1, 1, 1}));
    CellPtr line = lineOf(children);
    subMapBuild(*line, 100000);
    EXPECT_LE(line->subMap->nx, kMaxGridResolution);
    EXPECT_LE(double(line->subMap->entries.size()), kMaxGridEntries);
    EXPECT_EQ(query(*line, {0.5, 0.5, 0.5}).size(), 2000u);
}
