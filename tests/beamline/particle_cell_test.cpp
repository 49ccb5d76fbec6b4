// Particle cells: single particles of the beam, and the synchronous particle.
#include <gtest/gtest.h>

#include <cmath>

#include "beamline/beam.hpp"
#include "component_fixtures.hpp"
#include "support/test_support.hpp"

namespace {

constexpr double kMeV = 1e6 * kElectronVolt;

CellPtr particleCell(const char* type, const char* species, NumberAttributes numbers) {
    CellPtr cell = cellCreate(Machine, "P1");
    cell->typeName = type;
    if (species) cellSetText(*cell, "species", species);
    for (const auto& [key, value] : numbers) cellSetNumber(*cell, key, value);
    return cell;
}

void place(Cell& cell, Simulation& sim, Frame3 frame = Frame3{}) {
    speciesInit();
    cell.entryFrame = frame;
    cell.placedFrame = applyTransforms(cell, frame);
    particleCellFunctions.initFn(cell, sim);
}

}  // namespace

// The cell's x, y, z are its placement offsets (attribute names ignore
// case, so x is X): the particle starts where they put the cell, once.
TEST(ParticleCell, StartsWhereTheCellIsPlaced) {
    Simulation sim;
    CellPtr cell =
        particleCell("particle", "mu+", {{"x", 0.1}, {"z", 1}, {"id", 42}, {"t_start", 3e-9}});
    cellSetNumber(*cell, "Vz", 1e8);
    Frame3 entry;
    entry.origin = {0, 0, 2};
    place(*cell, sim, entry);
    ASSERT_EQ(beamCount(sim.beam), 1u);
    const Particle& p = sim.beam.particles[0];
    EXPECT_DOUBLE_EQ(p.position.x, 0.1);
    EXPECT_DOUBLE_EQ(p.position.y, 0);
    EXPECT_DOUBLE_EQ(p.position.z, 3);
    EXPECT_EQ(p.id, 42);
    EXPECT_EQ(p.species, MuPlus);
    EXPECT_DOUBLE_EQ(p.t, 3e-9);
    EXPECT_DOUBLE_EQ(p.u.z, 1e8);
    EXPECT_EQ(p.state, StateActive);
    EXPECT_EQ(cell->kind, Nonmachine);
}

// An energy sets the proper speed c sqrt(e (e + 2)), e = Energy / m c^2; the
// direction is the velocity's turned with the frame, or the frame's z axis
// when the velocity is zero.
TEST(ParticleCell, EnergyGivesTheSpeedAlongTheVelocityOrTheFrame) {
    const double energy = 100 * kMeV;
    Frame3 turned;  // local z along global -x
    double axes[9] = {0, 0, -1, 0, 1, 0, 1, 0, 0};
    for (int i = 0; i < 9; i++) turned.axes[i] = axes[i];
    struct Case {
        Vec3 velocity;
        Vec3 direction;
    };
    const Case cases[] = {
        {{0, 0, 0}, {-1, 0, 0}},
        {{0, 5, 0}, {0, 1, 0}},
        {{3, 0, 4}, {-0.8, 0, 0.6}},
    };
    for (const Case& c : cases) {
        Simulation sim;
        CellPtr cell = particleCell(
            "Beam-particle", "pi+",
            {{"Energy", energy}, {"Vx", c.velocity.x}, {"Vy", c.velocity.y}, {"Vz", c.velocity.z}});
        place(*cell, sim, turned);
        ASSERT_EQ(beamCount(sim.beam), 1u);
        const Particle& p = sim.beam.particles[0];
        double e = energy / restEnergy(PiPlus);
        double speed = kSpeedOfLight * std::sqrt(e * (e + 2));
        EXPECT_NEAR(norm(p.u), speed, 1e-9 * speed);
        EXPECT_NEAR(dot(p.u, c.direction), speed, 1e-9 * speed);
        EXPECT_NEAR(kineticEnergy(p), energy, 1e-9 * energy);
    }
}

TEST(ParticleCell, SynchronousParticleRecordsSpeciesAndEnergy) {
    Simulation sim;
    // 0.6 c: gamma 1.25, so a kinetic energy of a quarter of the rest energy.
    CellPtr cell = particleCell("Synchronous-particle", "mu-", {{"vz", 0.6 * kSpeedOfLight}});
    place(*cell, sim);
    EXPECT_EQ(beamCount(sim.beam), 0u);
    EXPECT_EQ(cellNumber(*cell, "SpeciesOrd"), MuMinus);
    EXPECT_NEAR(cellNumber(*cell, "Energy"), 0.25 * restEnergy(MuMinus),
                1e-12 * restEnergy(MuMinus));
    EXPECT_EQ(cell->kind, Nonmachine);

    // A given energy is kept; the cell's own name may name the species.
    CellPtr named = particleCell("synchronous-particle", nullptr, {{"Energy", 5 * kMeV}});
    named->name = "pi+";
    place(*named, sim);
    EXPECT_EQ(cellNumber(*named, "SpeciesOrd"), PiPlus);
    EXPECT_EQ(cellNumber(*named, "Energy"), 5 * kMeV);
}

TEST(ParticleCell, UnknownSpeciesIsFatal) {
    struct Case {
        const char* species;
        const char* message;
    };
    const Case cases[] = {
        {nullptr, "[FATAL] Particle species not specified in lattice file"},
        {"muon-ish", "[FATAL] Unrecognised particle species name in lattice file"},
    };
    for (const Case& c : cases) {
        MessageRecorder messages;
        messages.keys = {'y', 'y'};  // the species look-ups warn first
        setExitHook([](int status) { throw ProcessExit{status}; });
        Simulation sim;
        CellPtr cell = particleCell("particle", c.species, {});
        EXPECT_THROW(place(*cell, sim), ProcessExit);
        resetExitHook();
        EXPECT_NE(messages.output.find(c.message), std::string::npos) << messages.output;
    }
}
