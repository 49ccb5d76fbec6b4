#include "beamline/beam.hpp"

#include <gtest/gtest.h>

#include "beamline/simulation.hpp"

TEST(Beam, NewParticlesJoinTheActiveRangeAndPushTheFirstInactiveOneBack) {
    speciesInit();
    Simulation s;
    s.effectiveSeed = 42;
    s.root = cellCreate(Composite, "line");
    for (int id = 0; id < 3; id++) addParticle(s, Proton, id);
    s.beam.particles[0].state = StateStopped;
    // Mark the inactive range by hand: particle 0 is out, 1 and 2 stay.
    std::swap(s.beam.particles[0], s.beam.particles[2]);
    s.beam.activeEnd = 2;

    Particle& p = addParticle(s, PiPlus, 7);
    EXPECT_EQ(p.id, 7);
    EXPECT_EQ(s.beam.activeEnd, 3u);
    ASSERT_EQ(s.beam.particles.size(), 4u);
    EXPECT_EQ(s.beam.particles[2].id, 7);
    EXPECT_EQ(s.beam.particles[3].state, StateStopped);  // moved to the end
    EXPECT_EQ(particleLine(p), s.root.get());
    EXPECT_EQ(p.weight, 1);
    EXPECT_EQ(p.elementIndex, -1);
    // The key is hashed from the effective seed and the id; the pion's
    // decays are scheduled with one draw of it.
    EXPECT_EQ(p.seed, randhash_p(42, 7));
    EXPECT_EQ(p.decaysLeft, 1);
    EXPECT_EQ(p.drawCount, 1);
    EXPECT_LT(p.nextDecay, 1e-6);
}

TEST(Beam, GrowthRules) {
    speciesInit();
    Simulation s;
    // addParticle grows by max(10, 30 % of the particles held).
    addParticle(s, Proton, 0);
    EXPECT_EQ(s.beam.capacity, 10u);
    for (int id = 1; id < 11; id++) addParticle(s, Proton, id);
    EXPECT_EQ(s.beam.capacity, 20u);
    for (int id = 11; id < 100; id++) addParticle(s, Proton, id);
    EXPECT_GE(s.beam.capacity, 100u);
    size_t before = s.beam.capacity;
    // beamReserve grows to capacity + k + 5000 only when short.
    beamReserve(s.beam, before - 100);
    EXPECT_EQ(s.beam.capacity, before);
    beamReserve(s.beam, before);
    EXPECT_EQ(s.beam.capacity, before + before + 5000);
    EXPECT_GE(s.beam.particles.capacity(), s.beam.capacity);
    // A source that knows its count gets exactly that room, and none when
    // there is enough already.
    size_t held = s.beam.particles.size();
    beamReserveExact(s.beam, s.beam.capacity - held);
    EXPECT_EQ(s.beam.capacity, before + before + 5000);
    beamReserveExact(s.beam, s.beam.capacity);
    EXPECT_EQ(s.beam.capacity, held + before + before + 5000);
    EXPECT_GE(s.beam.particles.capacity(), s.beam.capacity);
}
