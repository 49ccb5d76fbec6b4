// RF phase synchronisation: the tracked synchronous particle and the
// arclength estimate.
#include "beamline/build/rf_sync.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "beamline/build/setup.hpp"
#include "beamline/components/rf_cavity.hpp"
#include "component_fixtures.hpp"
#include "support/test_support.hpp"

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kFrequency = 200e6;
constexpr double kGeV = 1e9 * kElectronVolt;

CellPtr element(const char* type, const char* name, NumberAttributes numbers) {
    CellPtr cell = cellCreate(Machine, name);
    cell->typeName = type;
    for (const auto& [key, value] : numbers) cellSetNumber(*cell, key, value);
    return cell;
}

CellPtr synchronous(double energy, NumberAttributes more = {}) {
    CellPtr cell = element("Synchronous-particle", "sync", more);
    cellSetText(*cell, "species", "mu+");
    cellSetNumber(*cell, "Energy", energy);
    return cell;
}

CellPtr drift(const char* name, double length) {
    return element("Drift", name, {{"Length", length}});
}

CellPtr cavity(const char* name, double phase, double volts = 0) {
    return element("RF", name, {{"Frequency", kFrequency}, {"Phase", phase}, {"Voltage", volts}});
}

Simulation simulationOf(std::vector<CellPtr> children) {
    speciesInit();
    Simulation sim;
    sim.root = cellCreate(Composite, "line");
    for (CellPtr& child : children) insertChild(*sim.root, child, -1);
    return sim;
}

// Places and initialises the line as the build does, without the
// synchronisation.
void placeLine(Simulation& sim) {
    bindTypeFunctions(*sim.root);
    double arc = 0;
    cellPlaceTree(*sim.root, Frame3{}, arc, [&](Cell& e) {
        const CellType* row = cellTypeFindSubstring(e.typeName);
        if (row && row->functions->initFn) row->functions->initFn(e, sim);
    });
}

double runPhase(const Simulation& sim, const char* name) {
    Cell* c = findChild(*sim.root, name);
    return c ? runDataAs<RfCavityData>(c->runData).phase : NAN;
}

// Two cavities that an ultra-relativistic muon (1 TeV: beta = 1 - 6e-9)
// reaches 10 ns and 20 ns after it starts.
Simulation twoCavities(double phase1, double phase2) {
    const double d = kSpeedOfLight * 10e-9;
    return simulationOf({synchronous(1000 * kGeV), drift("D1", d), cavity("C1", phase1),
                         drift("D2", d), cavity("C2", phase2), drift("D3", 1.0)});
}

}  // namespace

// Each cavity's phase moves back by 2 pi f t at the time t the synchronous
// particle reaches it: 2 pi x 200 MHz x 10 ns and x 20 ns here. The
// estimate from arclengths is exact for a particle at the speed of light on
// a straight line; 1e-6 rad allows the particle's 6e-9 shortfall.
TEST(RfSync, ArclengthShiftsPhasesByTheArrivalTimes) {
    Simulation sim = twoCavities(0.3, -1.0);
    placeLine(sim);
    syncrfphases_arclength(sim);
    const double expected1 = 0.3 - kTwoPi * kFrequency * 10e-9;
    const double expected2 = -1.0 - kTwoPi * kFrequency * 20e-9;
    EXPECT_NEAR(cellNumber(*findChild(*sim.root, "C1"), "Phase"), expected1, 1e-6);
    EXPECT_NEAR(cellNumber(*findChild(*sim.root, "C2"), "Phase"), expected2, 1e-6);
    // The phases tracking uses are the ones set.
    EXPECT_NEAR(runPhase(sim, "C1"), expected1, 1e-6);
    EXPECT_NEAR(runPhase(sim, "C2"), expected2, 1e-6);
}

// A synchronous particle placed Z ahead started Z / v earlier; each cavity
// gains it q V cos(phase) of energy, which slows the count for a slow one.
TEST(RfSync, ArclengthFollowsTheParticlesOffsetAndEnergy) {
    const double energy = 0.2 * kGeV;
    const double d = 2.0;
    Simulation sim =
        simulationOf({synchronous(energy, {{"Z", 0.5}, {"t_start", 1e-9}}), drift("D1", d),
                      cavity("C1", 0, 50e6), drift("D2", d), cavity("C2", 0.5)});
    placeLine(sim);
    syncrfphases_arclength(sim);
    auto beta = [](double e) { return betaFromGamma(1 + e / restEnergy(MuPlus)); };
    double t1 = 1e-9 - 0.5 / (kSpeedOfLight * beta(energy)) + d / (kSpeedOfLight * beta(energy));
    double t2 = t1 + d / (kSpeedOfLight * beta(energy + 50e6 * kElectronVolt));
    EXPECT_NEAR(runPhase(sim, "C1"), -kTwoPi * kFrequency * t1, 1e-9);
    EXPECT_NEAR(runPhase(sim, "C2"), 0.5 - kTwoPi * kFrequency * t2, 1e-9);
}

TEST(RfSync, MissingSynchronousParticleIsFatal) {
    Simulation sim = simulationOf({drift("D1", 1), cavity("C1", 0), drift("D2", 1)});
    placeLine(sim);
    MessageRecorder messages;
    setExitHook([](int status) { throw ProcessExit{status}; });
    EXPECT_THROW(syncrfphases_track(sim), ProcessExit);
    resetExitHook();
    EXPECT_NE(messages.output.find("[FATAL] Could not find synchronous particle!\n(It may have "
                                   "been defined but not included in the beamline)"),
              std::string::npos);
}

// A zero-length element (here a kink of 0.5 rad) gives no direction: the
// particle travels along the next element that has a length. Its start is
// in the log.
TEST(RfSync, DirectionComesFromTheFirstElementWithALength) {
    ScratchFolder scratch;
    Simulation sim = simulationOf(
        {synchronous(0.2 * kGeV), element("Drift", "K", {{"angle", 0.5}}), drift("D1", 1)});
    sim.rfSyncLogFile = scratch.file("rfsync.log");
    placeLine(sim);
    MessageRecorder messages;
    syncrfphases_track(sim);
    std::string log = scratch.read("rfsync.log");
    EXPECT_NE(log.find("---------- Started "), std::string::npos);
    EXPECT_NE(log.find("syncrfphases_track\nParticle species: mu+\nInitial t:0 z:0 k.e:"),
              std::string::npos);
    size_t open = log.find(" (");
    ASSERT_NE(open, std::string::npos);
    double ux = 0, uy = 0, uz = 0;
    ASSERT_EQ(std::sscanf(log.c_str() + open, " (%lg,%lg,%lg)", &ux, &uy, &uz), 3);
    double u = std::sqrt(ux * ux + uy * uy + uz * uz);
    EXPECT_NEAR(ux / u, -std::sin(0.5), 1e-9);
    EXPECT_NEAR(uz / u, std::cos(0.5), 1e-9);
    EXPECT_NE(messages.output.find("Tracking central particle to synchronise RF phases... Done"),
              std::string::npos);
}

// A particle that goes nowhere (at rest) is given up after the step budget
// and the arclength estimate is used; the build does not wait for t_max.
TEST(RfSync, ParticleThatNeverArrivesFallsBackToArclength) {
    Simulation sim =
        simulationOf({synchronous(0), drift("D1", 1), cavity("C1", 0.25), drift("D2", 1)});
    placeLine(sim);
    MessageRecorder messages;
    syncrfphases_track(sim, 50);
    EXPECT_NE(messages.output.find("syncrfphases_track lost the central particle after "),
              std::string::npos);
    EXPECT_NE(messages.output.find("ns; falling back to syncrfphases_arclength."),
              std::string::npos);
    EXPECT_EQ(runPhase(sim, "C1"), 0.25);
}

// The tracked particle crosses each gap at its arrival time; the phases it
// sets agree with the arclength estimate within 1 % for a particle at the
// speed of light on a straight line (in fact to the crossing search's
// precision, omega x 1e-12 s = 1.3e-3 rad).
TEST(RfSync, TrackedPhasesAgreeWithTheArclengthEstimate) {
    ScratchFolder scratch;
    MessageRecorder messages;
    Simulation tracked = twoCavities(0.3, -1.0);
    tracked.rfSyncLogFile = scratch.file("rfsync.log");
    BLfromcell(tracked, Frame3{}, false);
    Simulation estimated = twoCavities(0.3, -1.0);
    placeLine(estimated);
    syncrfphases_arclength(estimated);
    for (const char* name : {"C1", "C2"}) {
        SCOPED_TRACE(name);
        double expected = runPhase(estimated, name);
        EXPECT_NEAR(runPhase(tracked, name), expected, 0.01 * std::fabs(expected));
    }
    EXPECT_NEAR(runPhase(tracked, "C1"), 0.3 - kTwoPi * kFrequency * 10e-9, 2e-3);
    EXPECT_NEAR(runPhase(tracked, "C2"), -1.0 - kTwoPi * kFrequency * 20e-9, 2e-3);
    EXPECT_NE(messages.output.find("Tracking central particle to synchronise RF phases... Done"),
              std::string::npos);
    // The particle cell has left the beamline; the real beam is untouched.
    EXPECT_EQ(findChild(*tracked.root, "sync"), nullptr);
    EXPECT_EQ(beamCount(tracked.beam), 0u);

    // Both hits are logged, and tracking ends once the last cavity is hit:
    // no position line after 21 ns although the particle is still inside.
    std::string log = scratch.read("rfsync.log");
    EXPECT_NE(log.find("C1 hit t=1e-08"), std::string::npos) << log;
    EXPECT_NE(log.find("C2 hit t=2e-08"), std::string::npos) << log;
    double last = 0;
    for (size_t at = log.find("\nt="); at != std::string::npos; at = log.find("\nt=", at + 1)) {
        last = std::atof(log.c_str() + at + 3);
    }
    EXPECT_GT(last, 0);
    EXPECT_LT(last, 21e-9);
}

// A cavity that turns the synchronous particle back stops it; the build
// then takes the arclength estimate at once, for every cavity.
TEST(RfSync, ParticleStoppedByACavityFallsBackAtOnce) {
    const double energy = 0.01 * kGeV;
    MessageRecorder messages;
    Simulation sim = simulationOf({synchronous(energy), drift("D1", 1), cavity("C1", 0, -50e6),
                                   drift("D2", 1), cavity("C2", 0.5, 0), drift("D3", 1)});
    BLfromcell(sim, Frame3{}, false);
    size_t at = messages.output.find("syncrfphases_track lost the central particle after ");
    ASSERT_NE(at, std::string::npos) << messages.output;
    double ns = std::atof(messages.output.c_str() + at + 51);
    double v = kSpeedOfLight * betaFromGamma(1 + energy / restEnergy(MuPlus));
    EXPECT_NEAR(ns, 1e9 / v, 0.02);
    // The estimate met C1 at 1 m; the particle it follows stops there too.
    EXPECT_NEAR(runPhase(sim, "C1"), -kTwoPi * kFrequency / v, 1e-9);
}
