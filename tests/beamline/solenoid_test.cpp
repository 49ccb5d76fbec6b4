// The solenoid's field, time gate, coil and boxes.
#include <gtest/gtest.h>

#include <cmath>

#include "beamline/components/solenoid.hpp"
#include "component_fixtures.hpp"

namespace {

constexpr double kA = 0.1;   // coil radius, m
constexpr double kB0 = 2.0;  // T

CellPtr solenoid(Simulation& sim, double length, NumberAttributes extra = {},
                 Frame3 frame = Frame3{}) {
    CellPtr cell = placedElement("solenoid", "S",
                                 {{"radius", kA}, {"length", length}, {"field", kB0}}, sim, frame);
    for (const auto& [key, value] : extra) cellSetNumber(*cell, key, value);
    if (extra.size() > 0) {
        bindCellTypeFunctions(*cell);
        solenoidFunctions.initFn(*cell, sim);
    }
    return cell;
}

Vec3 fieldAtPoint(const Cell& cell, Vec3 p, double t = 0) {
    return {componentField(cell, p, t, 3), componentField(cell, p, t, 4),
            componentField(cell, p, t, 5)};
}

}  // namespace

// Reference: the on-axis field of a finite current sheet,
// B = B0/2 (cos t1 + cos t2) (any electromagnetism text, e.g. Griffiths 5.4).
// For L = 100 a the middle is B0 (1 - 1/(2 * 50^2)) = 0.9998 B0 and an end
// face 0.49998 B0, so 0.1 % and 1 % hold with room to spare.
TEST(Solenoid, OnAxisFieldOfALongCoilAlongItsAxisInAnyPlacement) {
    Simulation sim;
    const double length = 100 * kA;
    for (double angle : {0.0, 0.7, -2.0}) {
        SCOPED_TRACE(angle);
        Frame3 frame = turnedFrame(angle, Vec3{0.3, -0.2, 5});
        CellPtr s = solenoid(sim, length, {}, frame);
        Vec3 n{std::sin(angle), 0, std::cos(angle)};
        auto onAxis = [&](double along) { return frame.origin + along * n; };
        Vec3 middle = fieldAtPoint(*s, onAxis(length / 2));
        EXPECT_NEAR(dot(middle, n), kB0, 1e-3 * kB0);
        EXPECT_NEAR(norm(middle - dot(middle, n) * n), 0, 1e-12);
        EXPECT_NEAR(dot(fieldAtPoint(*s, onAxis(0)), n), kB0 / 2, 1e-2 * kB0 / 2);
        EXPECT_NEAR(dot(fieldAtPoint(*s, onAxis(length)), n), kB0 / 2, 1e-2 * kB0 / 2);
    }
}

// A static field is divergence-free. The expansion keeps terms to third
// order in rho/a, so near the axis the finite-difference divergence must
// vanish to well below 1e-3 B0/a, through the fringe as well as inside.
TEST(Solenoid, FieldIsDivergenceFreeNearTheAxis) {
    Simulation sim;
    const double length = 4 * kA;
    CellPtr s = solenoid(sim, length);
    const double h = 1e-5 * kA;
    for (double along : {-2 * kA, -0.5 * kA, 0.0, 0.3 * kA, 2 * kA, 3.9 * kA, 5 * kA}) {
        for (double rho : {0.05 * kA, 0.1 * kA, 0.15 * kA}) {
            for (double phi : {0.0, 1.0, 2.5}) {
                Vec3 p{rho * std::cos(phi), rho * std::sin(phi), along};
                auto component = [&](Vec3 q, int i) { return componentField(*s, q, 0, 3 + i); };
                double div = (component(p + Vec3{h, 0, 0}, 0) - component(p - Vec3{h, 0, 0}, 0) +
                              component(p + Vec3{0, h, 0}, 1) - component(p - Vec3{0, h, 0}, 1) +
                              component(p + Vec3{0, 0, h}, 2) - component(p - Vec3{0, 0, h}, 2)) /
                             (2 * h);
                EXPECT_LT(std::fabs(div), 1e-3 * kB0 / kA) << along << " " << rho << " " << phi;
            }
        }
    }
}

TEST(Solenoid, NoFieldBeyondOnePointTwoRadii) {
    Simulation sim;
    CellPtr s = solenoid(sim, 1.0);
    for (double along : {-0.5, 0.0, 0.5, 1.0, 1.5}) {
        Vec3 beyond = fieldAtPoint(*s, Vec3{1.21 * kA, 0, along});
        EXPECT_EQ(beyond.x, 0);
        EXPECT_EQ(beyond.y, 0);
        EXPECT_EQ(beyond.z, 0);
        EXPECT_NE(fieldAtPoint(*s, Vec3{0, 1.19 * kA, along}).z, 0);
    }
}

TEST(Solenoid, TimeGateSwitchesFieldAndCoil) {
    struct Case {
        double onTime, offTime;  // 0 = attribute absent
        double t;
        bool on;
    };
    const Case cases[] = {
        {1e-9, 0, 0.5e-9, false},  {1e-9, 0, 1e-9, false},    {1e-9, 0, 2e-9, true},
        {0, 5e-9, 5e-9, true},     {0, 5e-9, 6e-9, false},    {5e-9, 2e-9, 1e-9, true},
        {5e-9, 2e-9, 3e-9, false}, {5e-9, 2e-9, 5e-9, false}, {5e-9, 2e-9, 6e-9, true},
    };
    Simulation sim;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.onTime << " " << c.offTime << " t=" << c.t);
        CellPtr s = c.onTime == 0 ? solenoid(sim, 1.0, {{"OffTime", c.offTime}})
                    : c.offTime == 0
                        ? solenoid(sim, 1.0, {{"OnTime", c.onTime}})
                        : solenoid(sim, 1.0, {{"OnTime", c.onTime}, {"OffTime", c.offTime}});
        EXPECT_EQ(fieldAtPoint(*s, Vec3{0, 0, 0.5}, c.t).z != 0, c.on);
        EXPECT_EQ(s->materialFn(s->runData, 2 * kA, 0, 0.5, c.t), c.on ? 1 : 0);
    }
}

TEST(Solenoid, CoilIsMatterBetweenItsRadiiAndFaces) {
    Simulation sim;
    CellPtr s = solenoid(sim, 1.0, {{"outerradius", 0.3}});
    struct Case {
        Vec3 p;
        int inside;
    };
    const Case cases[] = {
        {{0.2, 0, 0.5}, 1},  {{0, -0.25, 0.01}, 1}, {{0.05, 0, 0.5}, 0},
        {{0.35, 0, 0.5}, 0}, {{0.2, 0, -0.01}, 0},  {{0.2, 0, 1.01}, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(s->materialFn(s->runData, c.p.x, c.p.y, c.p.z, 0), c.inside)
            << c.p.x << " " << c.p.y << " " << c.p.z;
    }
    // Without an outer radius the coil is five radii thick.
    CellPtr thick = solenoid(sim, 1.0);
    EXPECT_EQ(thick->materialFn(thick->runData, 0.49, 0, 0.5, 0), 1);
    EXPECT_EQ(thick->materialFn(thick->runData, 0.51, 0, 0.5, 0), 0);
}

// A coil is stopped at the surface it meets; the crossing time is the
// straight-line time to that surface (no field: the field of the test
// solenoid is not in the particle's nearby list).
TEST(Solenoid, ParticlesStopWhereTheyMeetTheCoil) {
    Simulation sim;
    CellPtr s = solenoid(sim, 1.0, {{"outerradius", 0.3}});
    const double u = properSpeedOf(MuPlus, 200);
    const double v = speedFromProperSpeed(u);
    struct Case {
        const char* what;
        Vec3 start;
        Vec3 direction;
        double distance;  // to the surface met; < 0: none
    };
    const Case cases[] = {
        {"out through the bore wall", {0, 0, 0.5}, {1, 0, 0}, kA},
        {"into the entry face", {0.2, 0, -0.5}, {0, 0, 1}, 0.5},
        {"back into the exit face", {0, 0.15, 1.4}, {0, 0, -1}, 0.4},
        {"in through the outer mantle", {0, -0.6, 0.7}, {0, 1, 0}, 0.3},
        {"along the bore", {0, 0.05, -0.5}, {0, 0, 1}, -1},
        {"past the outside", {0.4, 0, -0.5}, {0, 0, 1}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Particle p = particleAt(MuPlus, c.start, u * c.direction);
        double end = stepThrough(*s, p, 0, 3 / v, 1e-11);
        if (c.distance < 0) {
            EXPECT_EQ(p.state, StateActive);
        } else {
            EXPECT_EQ(p.state, StateStopped);
            EXPECT_NEAR(end, c.distance / v, 1e-12);
        }
    }
}

TEST(Solenoid, BoxesReachBeyondTheEndsAndStopAtTheNeighbours) {
    Simulation sim;
    CellPtr root = cellCreate(Composite, "line");
    Frame3 second;
    second.origin = {0, 0, 2};
    Frame3 adjacent;
    adjacent.origin = {0, 0, 3};
    insertChild(*root, solenoid(sim, 1.0), -1);
    insertChild(*root, solenoid(sim, 1.0, {}, second), -1);
    insertChild(*root, solenoid(sim, 1.0, {}, adjacent), -1);
    for (const CellPtr& c : root->children) {
        cellBoxReset(*c);
        solenoidFunctions.boundsFn(c->runData, *c);
    }
    const Cell& first = *root->children[0];
    // 13 radii beyond each face, five radii (the coil) around the axis.
    EXPECT_DOUBLE_EQ(first.boxMin.z, -1.3);
    EXPECT_DOUBLE_EQ(first.boxMax.z, 2.3);
    EXPECT_DOUBLE_EQ(first.boxMax.x, 0.5);
    EXPECT_DOUBLE_EQ(first.boxMin.y, -0.5);

    solenoidTrimBoxes(*root);
    // Cut back at the near face of the next coil, and on the other side at
    // the far face of the coil before.
    EXPECT_DOUBLE_EQ(root->children[0]->boxMax.z, 2.0);
    EXPECT_DOUBLE_EQ(root->children[0]->boxMin.z, -1.3);
    EXPECT_DOUBLE_EQ(root->children[1]->boxMin.z, 1.0);
    // Adjacent coils: the cut would fall inside the coil's own reach, so the
    // box keeps the cube of 1.5 sqrt(h^2 + a^2) around its centre.
    const double cube = 1.5 * std::sqrt(0.25 + kA * kA);
    EXPECT_DOUBLE_EQ(root->children[1]->boxMax.z, 2.5 + cube);
    EXPECT_DOUBLE_EQ(root->children[2]->boxMin.z, 3.5 - cube);
}

TEST(Solenoid, ZeroFieldLeavesOnlyTheCoil) {
    Simulation sim;
    CellPtr s = placedElement("Solenoid-coil", "S0", {{"radius", kA}, {"length", 1}}, sim);
    EXPECT_EQ(s->fieldFn, nullptr);
    EXPECT_NE(s->interceptFn, nullptr);
    EXPECT_EQ(s->materialFn(s->runData, 0.2, 0, 0.5, 0), 1);
}
