// Blockages: their shapes, the faces a particle crosses, and absorption.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "component_fixtures.hpp"

namespace {

CellPtr blockage(Simulation& sim, const char* type, NumberAttributes attributes,
                 Frame3 frame = Frame3{}) {
    return placedElement(type, "block", attributes, sim, frame);
}

int inside(const Cell& c, Vec3 p) {
    return c.materialFn(c.runData, p.x, p.y, p.z, 0);
}

}  // namespace

TEST(Blockage, PointsInsideAndOutsideEachShape) {
    Simulation sim;
    struct Case {
        const char* type;
        NumberAttributes sizes;
        Vec3 in, out;
    };
    const Case cases[] = {
        // The cuboid's frame origin is a corner.
        {"Cuboid-blockage",
         {{"Xsize", 1}, {"Ysize", 1}, {"Zsize", 1}},
         {0.1, 0.1, 0.1},
         {-0.1, 0.1, 0.1}},
        {"Cuboid-blockage", {{"radius", 0.5}}, {0.9, 0.9, 0.9}, {0.5, 0.5, 1.01}},
        {"Cuboid-blockage",
         {{"Xsize", 1}, {"Ysize", 2}, {"Length", 3}},
         {0.5, 1.9, 2.9},
         {0.5, 2.1, 2.9}},
        {"Cylinder-blockage",
         {{"radius", 0.5}, {"Zsize", 0.1}},
         {0.3, 0.3, 0.05},
         {0.36, 0.36, 0.05}},
        {"Cylinder-blockage",
         {{"Xsize", 1}, {"Ysize", 0.2}, {"Length", 2}},
         {0.9, 0, 1.5},
         {0.1, 0.21, 1.5}},
        {"Spheroid-blockage", {{"radius", 0.5}}, {0.28, -0.28, 0.28}, {0.3, -0.3, 0.3}},
        {"Spheroid-blockage", {{"Xsize", 1}, {"Ysize", 1}, {"Zsize", 3}}, {0, 0, 2.9}, {0.8, 0, 2}},
        {"Annulus-blockage",
         {{"OuterRadius", 0.5}, {"InnerRadius", 0.4}, {"Zsize", 0.2}},
         {0, 0.45, 0.1},
         {0, 0.35, 0.1}},
        {"Annulus-blockage",
         {{"OuterRadius", 0.5}, {"InnerRadius", 0.4}, {"Length", 0.2}},
         {-0.45, 0, 0.19},
         {-0.45, 0, 0.21}},
        {"Toroid-blockage",
         {{"MajorRadius", 1}, {"MinorRadius", 0.1}},
         {0, -1.05, 0.05},
         {0, -1.05, 0.1}},
        {"Toroid-blockage", {{"MajorRadius", 1}, {"MinorRadius", 0.1}}, {0.7, 0.7, 0}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        CellPtr b = blockage(sim, c.type, c.sizes);
        EXPECT_EQ(inside(*b, c.in), 1) << c.type << " " << c.in.x << " " << c.in.y << " " << c.in.z;
        EXPECT_EQ(inside(*b, c.out), 0)
            << c.type << " " << c.out.x << " " << c.out.y << " " << c.out.z;
    }
    // The shape follows the placed frame.
    Frame3 moved;
    moved.origin = {0, 0, 5};
    CellPtr b = blockage(sim, "Cuboid-blockage", {{"radius", 0.5}}, moved);
    EXPECT_EQ(inside(*b, Vec3{0.5, 0.5, 5.5}), 1);
    EXPECT_EQ(inside(*b, Vec3{0.5, 0.5, 0.5}), 0);
}

TEST(Blockage, TypeTextNamesTheShape) {
    Simulation sim;
    CellPtr b = blockage(sim, "Cylinder-blockage", {{"radius", 1}, {"Zsize", 1}});
    ASSERT_NE(cellText(*b, "Type"), nullptr);
    EXPECT_EQ(*cellText(*b, "Type"), "Cylinder");
    // A shape nobody knows contains nothing and stops nothing.
    CellPtr odd = blockage(sim, "Pyramid-blockage", {{"radius", 1}, {"AbsorptionLength", 0.01}});
    EXPECT_EQ(inside(*odd, Vec3{0.1, 0.1, 0.1}), 0);
    Particle p = particleAt(MuPlus, Vec3{0.1, 0.1, -0.1}, Vec3{0, 0, 2e8});
    stepThrough(*odd, p, 0, 1e-8, 1e-11);
    EXPECT_EQ(p.state, StateActive);
}

// A particle flying at a shape along a straight line meets its surface at
// distance / speed; the crossing is found to 1e-12 s and ends the step there
// with the particle still active.
TEST(Blockage, FaceCrossingsAreFoundWhereTheParticleMeetsTheSurface) {
    Simulation sim;
    const double u = properSpeedOf(MuPlus, 200);
    const double v = speedFromProperSpeed(u);
    struct Case {
        const char* type;
        NumberAttributes sizes;
        Vec3 start, direction;
        double distance;  // < 0: passes by
    };
    const Case cases[] = {
        {"Cuboid-blockage", {{"radius", 0.5}}, {-0.5, 0.5, 0.5}, {1, 0, 0}, 0.5},
        {"Cuboid-blockage", {{"radius", 0.5}}, {0.5, 0.5, 1.3}, {0, 0, -1}, 0.3},
        {"Cuboid-blockage", {{"radius", 0.5}}, {-0.5, 1.5, 0.5}, {1, 0, 0}, -1},
        {"Cylinder-blockage", {{"radius", 0.5}, {"Zsize", 1}}, {-1, 0, 0.5}, {1, 0, 0}, 0.5},
        {"Cylinder-blockage", {{"radius", 0.5}, {"Zsize", 1}}, {0.1, 0.2, -0.25}, {0, 0, 1}, 0.25},
        {"Spheroid-blockage", {{"radius", 0.5}}, {-1, 0, 0}, {1, 0, 0}, 0.5},
        {"Annulus-blockage",
         {{"OuterRadius", 0.5}, {"InnerRadius", 0.2}, {"Zsize", 1}},
         {0, 0, 0.5},
         {1, 0, 0},
         0.2},
        {"Annulus-blockage",
         {{"OuterRadius", 0.5}, {"InnerRadius", 0.2}, {"Zsize", 1}},
         {0, 0, -0.5},
         {0, 0, 1},
         -1},
        {"Toroid-blockage",
         {{"MajorRadius", 0.5}, {"MinorRadius", 0.1}},
         {0, 0, 0},
         {1, 0, 0},
         0.4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.type << " from " << c.start.x << "," << c.start.y << "," << c.start.z);
        CellPtr b = blockage(sim, c.type, c.sizes);
        cellSetNumber(*b, "AbsorptionLength", 1e9);
        b->typeName = c.type;
        blockageFunctions.initFn(*b, sim);
        Particle p = particleAt(MuPlus, c.start, u * c.direction);
        double t = 0, step = 1e-11;
        int hits = 0;
        double firstHit = -1;
        while (t < 3 / v && hits == 0) {
            Particle after = p, hit;
            pushParticle(after, t, step);
            double hitTime = 0;
            if (b->interceptFn(b->runData, p, after, t, t + step, StepContext{}, nullptr, hit,
                               hitTime) &&
                hitTime < t + step) {
                hits++;
                firstHit = hitTime;
                EXPECT_EQ(hit.state, StateActive);
            }
            p = after;
            t += step;
        }
        if (c.distance < 0) {
            EXPECT_EQ(hits, 0);
        } else {
            ASSERT_EQ(hits, 1);
            EXPECT_NEAR(firstHit, c.distance / v, 1e-12);
        }
    }
}

// Absorption in matter is memoryless: the survival through a thickness d of
// absorption length L is exp(-d/L), whatever the number of steps it takes.
// 2000 particles through 2 absorption lengths survive at 13.5 %, with a
// binomial standard error of 0.76 %; the test allows four of those.
TEST(Blockage, AbsorptionFollowsTheExponentialLaw) {
    Simulation sim;
    CellPtr b = blockage(sim, "Cuboid-blockage",
                         {{"Xsize", 1}, {"Ysize", 1}, {"Zsize", 0.1}, {"AbsorptionLength", 0.05}});
    const double u = properSpeedOf(MuPlus, 200);
    const double v = speedFromProperSpeed(u);
    const int n = 2000;
    int survived = 0;
    for (int i = 0; i < n; i++) {
        Particle p =
            particleAt(MuPlus, Vec3{0.5, 0.5, -0.01}, Vec3{0, 0, u}, static_cast<uint32_t>(i + 1));
        stepThrough(*b, p, 0, 0.13 / v, 1e-11);
        if (p.state == StateActive) {
            survived++;
        } else {
            EXPECT_EQ(p.state, StateStopped);
            EXPECT_TRUE(p.position.z > -1e-9 && p.position.z < 0.1 + 1e-9) << p.position.z;
        }
    }
    EXPECT_NEAR(static_cast<double>(survived) / n, std::exp(-2.0), 4 * 0.0076);

    // Without an absorption length the blockage stops nothing by itself.
    CellPtr inert = blockage(sim, "Cuboid-blockage", {{"Xsize", 1}, {"Ysize", 1}, {"Zsize", 0.1}});
    Particle p = particleAt(MuPlus, Vec3{0.5, 0.5, -0.01}, Vec3{0, 0, u});
    Particle after = p, hit;
    pushParticle(after, 0, 1e-9);
    double time = 0;
    EXPECT_EQ(
        inert->interceptFn(inert->runData, p, after, 0, 1e-9, StepContext{}, nullptr, hit, time),
        0);
}
