// The RF cavity's thin-gap kick.
#include "beamline/components/rf_cavity.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "component_fixtures.hpp"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kVolts = 1e6;
constexpr double kFrequency = 200e6;

CellPtr cavity(Simulation& sim, double phase, double volts = kVolts) {
    return placedElement("RF", "C1",
                         {{"Voltage", volts}, {"Frequency", kFrequency}, {"Phase", phase}}, sim);
}

struct Kick {
    int hit = 0;
    double time = 0;
    Particle before, after;
};

// A particle of momentum pMeV along z that reaches the gap at z = 0 at t = 0,
// at a transverse offset; one step of 10 ps across the gap.
Kick crossGap(Cell& c, double pMeV, Vec3 offset = {}) {
    double u = properSpeedOf(MuPlus, pMeV);
    double v = speedFromProperSpeed(u);
    double t0 = -5e-12, t1 = 5e-12;
    Kick k;
    k.before = particleAt(MuPlus, offset + Vec3{0, 0, v * t0}, Vec3{0, 0, u});
    Particle after = k.before;
    pushParticle(after, t0, t1 - t0);
    k.hit =
        c.interceptFn(c.runData, k.before, after, t0, t1, StepContext{}, nullptr, k.after, k.time);
    return k;
}

double momentum(const Particle& p) {
    return mass(p.species) * p.u.z;  // kg m/s along the gap normal
}

}  // namespace

// Thin-gap model: the gap's field acts for the time the particle takes to
// cross it, so the momentum along the axis changes by q V cos(phase) / v,
// with v the speed before the gap. Exact in the model; 1e-9 relative leaves
// room for the crossing time found numerically (the phase at the crossing
// differs from the cavity's by omega x that error, below 1e-6 rad).
TEST(RfCavity, ZeroPhaseGivesTheThinGapMomentumAndAboutQVOfEnergy) {
    Simulation sim;
    CellPtr c = cavity(sim, 0);
    for (double pMeV : {50.0, 200.0, 2000.0}) {
        SCOPED_TRACE(pMeV);
        Kick k = crossGap(*c, pMeV);
        ASSERT_EQ(k.hit, 1);
        EXPECT_NEAR(k.time, 0, 1e-12);
        EXPECT_EQ(k.after.state, StateActive);
        double v = speedFromProperSpeed(norm(k.before.u));
        double expected = kElectronVolt * kVolts / v;
        EXPECT_NEAR(momentum(k.after) - momentum(k.before), expected, 1e-9 * expected);
        // The energy gain is q V to first order in the kick; the second
        // order adds (q V)^2 (m c^2)^2 / (2 (p c)^2 E), 1.9 % at 50 MeV/c and
        // 6e-4 at 200 MeV/c.
        double gain = (kineticEnergy(k.after) - kineticEnergy(k.before)) / kElectronVolt;
        EXPECT_NEAR(gain, kVolts, (pMeV < 100 ? 2e-2 : 1e-3) * kVolts);
        EXPECT_EQ(k.after.u.x, 0);
        EXPECT_EQ(k.after.u.y, 0);
    }
}

// At phase pi/2 the gap's field is passing through zero: no longitudinal
// kick, only the transverse kick of its changing field, which grows with the
// distance from the axis and points along it.
TEST(RfCavity, QuarterPhaseGivesNoLongitudinalKick) {
    Simulation sim;
    CellPtr c = cavity(sim, kPi / 2);
    const double scale = kElectronVolt * kVolts / kSpeedOfLight;
    Kick onAxis = crossGap(*c, 200);
    EXPECT_NEAR(momentum(onAxis.after) - momentum(onAxis.before), 0, 1e-9 * scale);
    EXPECT_EQ(onAxis.after.u.x, 0);
    Kick near = crossGap(*c, 200, Vec3{0.01, 0, 0});
    Kick far = crossGap(*c, 200, Vec3{0.02, 0, 0});
    EXPECT_NEAR(momentum(near.after) - momentum(near.before), 0, 1e-9 * scale);
    EXPECT_NE(near.after.u.x, 0);
    EXPECT_NEAR(far.after.u.x, 2 * near.after.u.x, 1e-6 * std::fabs(near.after.u.x));
    EXPECT_NEAR(near.after.u.y, 0, 1e-12 * std::fabs(near.after.u.x));
}

TEST(RfCavity, ParticleTurnedBackIsStopped) {
    Simulation sim;
    struct Case {
        double phase, volts, pMeV;
        int state;
    };
    const Case cases[] = {
        {0, -10e6, 5, StateStopped},    // decelerated past rest
        {kPi, 10e6, 5, StateStopped},   // the same by its phase
        {kPi, 10e6, 200, StateActive},  // slowed, still going
    };
    for (const Case& x : cases) {
        CellPtr c = cavity(sim, x.phase, x.volts);
        Kick k = crossGap(*c, x.pMeV);
        EXPECT_EQ(k.hit, 1);
        EXPECT_EQ(k.after.state, x.state) << x.phase << " " << x.volts << " " << x.pMeV;
    }
}

TEST(RfCavity, NoCrossingNoHitAndABoxAroundTheGap) {
    Simulation sim;
    CellPtr c = cavity(sim, 0);
    Particle p = particleAt(MuPlus, Vec3{0, 0, -0.1}, Vec3{0, 0, 1e8});
    Particle after = p;
    pushParticle(after, 0, 1e-11);
    Particle hit;
    double time = 0;
    EXPECT_EQ(c->interceptFn(c->runData, p, after, 0, 1e-11, StepContext{}, nullptr, hit, time), 0);

    cellBoxReset(*c);
    rfCavityFunctions.boundsFn(c->runData, *c);
    EXPECT_DOUBLE_EQ(c->boxMax.x, 0.3);  // no Bore or Radius: 0.3 m
    CellPtr wide = placedElement("RF", "C2", {{"Bore", 0.2}, {"Radius", 0.4}}, sim);
    cellBoxReset(*wide);
    rfCavityFunctions.boundsFn(wide->runData, *wide);
    EXPECT_DOUBLE_EQ(wide->boxMin.y, -0.6);
}
