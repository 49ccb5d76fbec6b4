#include "model/cell_geometry.hpp"

#include <gtest/gtest.h>

#include <numbers>

namespace {

constexpr double pi = std::numbers::pi;

CellPtr bend(double length, double angle, double twist = 0) {
    CellPtr c = cellCreate(Machine, "B");
    c->typeName = "SectorBend";
    cellSetNumber(*c, "Length", length);
    if (angle != 0) cellSetNumber(*c, "Angle", angle);
    if (twist != 0) cellSetNumber(*c, "Twist", twist);
    return c;
}

void expectVec(Vec3 a, Vec3 b, double tol = 1e-12) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

void expectOrthonormal(const Frame3& f, double tol) {
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++) {
            EXPECT_NEAR(dot(frameColumn(f, i), frameColumn(f, j)), i == j ? 1.0 : 0.0, tol);
        }
    }
}

}  // namespace

TEST(CellGeometry, StraightElementsMoveAlongZAndKeepTheirTwist) {
    Frame3 f = cellAdvance(*bend(2, 0), Frame3{});
    expectVec(f.origin, {0, 0, 2}, 0);
    expectVec(frameColumn(f, 0), {1, 0, 0}, 0);

    f = cellAdvance(*bend(2, 0, pi / 6), Frame3{});
    expectVec(f.origin, {0, 0, 2});
    expectVec(frameColumn(f, 0), {std::cos(pi / 6), std::sin(pi / 6), 0});
    expectVec(frameColumn(f, 2), {0, 0, 1});

    // Below 1e-9 the chord is the length itself.
    f = cellAdvance(*bend(3, 1e-10), Frame3{});
    EXPECT_EQ(f.origin.z, 3);
}

TEST(CellGeometry, BendsFollowTheArcTowardsMinusXOfTheTwistedFrame) {
    // Quarter circle of radius 1: centre at (-1, 0, 0).
    Frame3 f = cellAdvance(*bend(pi / 2, pi / 2), Frame3{});
    expectVec(f.origin, {-1, 0, 1});
    expectVec(frameColumn(f, 2), {-1, 0, 0});

    // Half circle: 2L/pi sideways, travelling backwards.
    f = cellAdvance(*bend(1, pi), Frame3{});
    expectVec(f.origin, {-2 / pi, 0, 0});
    expectVec(frameColumn(f, 2), {0, 0, -1});
    expectVec(frameColumn(f, 0), {-1, 0, 0});

    f = cellAdvance(*bend(1, pi, pi / 2), Frame3{});
    expectVec(f.origin, {0, -2 / pi, 0});
    expectVec(frameColumn(f, 2), {0, 0, -1});
}

TEST(CellGeometry, AdvanceKeepsTheAxesOrthonormal) {
    Frame3 skewed;
    skewed.axes[1] = 1e-6;  // x and y columns no longer perpendicular
    skewed.axes[8] = 1 + 1e-6;
    Frame3 f = cellAdvance(*bend(1, 0), skewed);
    expectOrthonormal(f, 1e-11);

    CellPtr line = cellCreate(Composite, "L");
    for (int i = 0; i < 2000; i++) insertChild(*line, bend(0.3, 0.7, 0.4 * i), -1);
    expectOrthonormal(cellAdvance(*line, Frame3{}), 1e-13);
}

TEST(CellGeometry, TransformsPlaceTheElementButNeverMoveTheNextOne) {
    CellPtr a = bend(1, 0.2);
    cellSetNumber(*a, "Xflip", 1);
    cellSetNumber(*a, "rotXY", pi / 2);
    cellSetNumber(*a, "rotYZ", pi / 2);
    cellSetNumber(*a, "Zhere", 0.5);
    cellSetNumber(*a, "X", 0.1);
    cellSetNumber(*a, "Z", 2);
    CellPtr nonmachine = cellCreate(Nonmachine, "P");
    cellSetNumber(*nonmachine, "length", 7);
    CellPtr line = cellCreate(Composite, "L");
    insertChild(*line, a, -1);
    insertChild(*line, nonmachine, -1);
    insertChild(*line, bend(2, 0), -1);

    std::vector<std::string> hooked;
    double arc = 0;
    Frame3 end = cellPlaceTree(*line, Frame3{}, arc, [&](Cell& c) {
        hooked.push_back(c.name);
        EXPECT_EQ(c.placedFrame.origin.z, applyTransforms(c, c.entryFrame).origin.z);
    });
    EXPECT_EQ(hooked.size(), 2u);
    EXPECT_EQ(arc, 3);
    EXPECT_EQ(line->children[2]->arcStart, 1);
    Frame3 plain = cellAdvance(*bend(1, 0.2), Frame3{});
    expectVec(line->children[2]->entryFrame.origin, plain.origin, 0);
    expectVec(end.origin, cellAdvance(*bend(2, 0), plain).origin, 0);

    // Flip x, then rotXY, then rotYZ; the other order would give other axes.
    const Frame3& p = a->placedFrame;
    expectVec(frameColumn(p, 0), {0, 1, 0});
    expectVec(frameColumn(p, 1), {0, 0, 1});
    expectVec(frameColumn(p, 2), {-1, 0, 0});
    // The element's local point (0, 0, Zhere) sits at entry + (X, Y, Z).
    Vec3 anchor{0, 0, 0.5};
    frameToGlobal(p, anchor);
    expectVec(anchor, {0.1, 0, 2});
}

TEST(CellGeometry, ArcPositionAlongStraightAndBentElements) {
    double s, r;
    CellPtr straight = bend(2, 0);
    straight->entryFrame.origin = {1, 0, 0};
    arcPosition(*straight, {1.3, 0.4, 1.5}, s, r);
    EXPECT_DOUBLE_EQ(s, 1.5);
    EXPECT_DOUBLE_EQ(r, 0.5);

    // Radius 1 bends: 0.1 outside the arc and 0.2 up, halfway round.
    double c = std::cos(pi / 4), sn = std::sin(pi / 4);
    arcPosition(*bend(pi / 2, pi / 2), {-1 + 1.1 * c, 0.2, 1.1 * sn}, s, r);
    EXPECT_NEAR(s, pi / 4, 1e-12);
    EXPECT_NEAR(r, std::sqrt(0.05), 1e-12);
    arcPosition(*bend(pi / 2, -pi / 2), {1 - 0.9 * c, 0, 0.9 * sn}, s, r);
    EXPECT_NEAR(s, pi / 4, 1e-12);
    EXPECT_NEAR(r, 0.1, 1e-12);
}
