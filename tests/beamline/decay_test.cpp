// Decay scheduling, channel choice and the sharing of weight between a
// parent and its products.
#include "beamline/tracking/decay.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "beamline/simulation.hpp"
#include "beamline/species.hpp"
#include "model/randhash.hpp"

namespace {

constexpr double kC = 299792458.0;

Particle particleOf(int32_t species, uint32_t seed, int32_t nDecays) {
    speciesInit();
    Particle p;
    p.species = species;
    p.seed = seed;
    p.u = {0, 0, 0.5 * kC};
    scheduleDecays(p, nDecays);
    return p;
}

// Ages the particle to its next decay and performs it.
void decayNow(Particle& p, std::vector<Particle>& products, const Simulation& simulation) {
    p.properTime = p.nextDecay;
    decayStep(p, products, simulation);
}

// A stream key whose draw number `count` lies in [lo, hi).
uint32_t seedDrawing(int32_t count, double lo, double hi) {
    for (uint32_t seed = 1;; seed++) {
        double u = randuniform(seed, static_cast<uint32_t>(count));
        if (u >= lo && u < hi) return seed;
    }
}

}  // namespace

TEST(Decay, StableSpeciesNeverDecay) {
    Particle p = particleOf(Proton, 7, 4);
    EXPECT_EQ(p.decaysLeft, 0);
    EXPECT_EQ(p.drawCount, 0);
    p.properTime = 1e30;
    std::vector<Particle> products;
    decayStep(p, products, Simulation{});
    EXPECT_TRUE(products.empty());
    EXPECT_EQ(p.state, StateActive);
}

TEST(Decay, ScheduledTimesFollowTheLifetimeOverTheSamplesLeft) {
    // The mean of exponential draws with mean tau/n, over 20000 particles:
    // statistical error 1/sqrt(20000) = 0.7 %, tolerance 4 sigma.
    double sum = 0;
    const int count = 20000;
    for (int i = 0; i < count; i++) sum += particleOf(MuPlus, 1000 + i, 4).nextDecay;
    EXPECT_NEAR(sum / count / (2.19703e-06 / 4), 1.0, 0.028);
}

TEST(Decay, WeightIsSharedEquallyBetweenTheDecaySamples) {
    struct Case {
        int32_t species;
        int32_t nDecays;
        int32_t expectedProduct;
    };
    const Case cases[] = {{PiPlus, 1, MuPlus}, {MuPlus, 4, Positron}, {MuMinus, 3, Electron}};
    for (const Case& c : cases) {
        Simulation simulation;
        simulation.n_decays = c.nDecays;
        Particle p = particleOf(c.species, 99, c.nDecays);
        p.weight = 0.8;
        std::vector<Particle> products;
        for (int k = c.nDecays; k > 0; k--) {
            ASSERT_EQ(p.state, StateActive);
            size_t before = products.size();
            decayNow(p, products, simulation);
            // Neutrinos are not made; each event makes its charged product.
            ASSERT_EQ(products.size(), before + 1);
            EXPECT_EQ(products.back().species, c.expectedProduct);
            EXPECT_DOUBLE_EQ(products.back().weight, 0.8 / c.nDecays);
            EXPECT_EQ(products.back().properTime, 0);
            // A fresh stream, used so far only to schedule its own decays.
            EXPECT_EQ(products.back().drawCount, products.back().decaysLeft > 0 ? 1 : 0);
            if (k > 1) {
                EXPECT_DOUBLE_EQ(p.weight, 0.8 * (k - 1) / c.nDecays);
            }
        }
        EXPECT_EQ(p.state, StateDecayed);
        EXPECT_EQ(p.decaysLeft, 0);
        // Each product has its own stream.
        EXPECT_NE(products.front().seed, p.seed);
        if (products.size() > 1) {
            EXPECT_NE(products[0].seed, products[1].seed);
        }
    }
}

TEST(Decay, ChannelsAreChosenFromTheLastOne) {
    struct Case {
        int32_t species;
        double lo, hi;  // range of the channel draw
        std::vector<int32_t> made;
    };
    const Case cases[] = {
        // u just below 0.0559 is used up by the last K+ channel alone.
        {KPlus, 0.0558, 0.0559, {PiMinus, PiPlus, PiPlus}},
        {KPlus, 0.0560, 0.0559 + 0.01757, {PiZero, PiZero, PiPlus}},
        {KPlus, 0.99, 1.0, {MuPlus}},
        // The photon channel comes first, so a high draw falls through to it.
        {PiZero, 0.02, 1.0, {}},
        {PiZero, 0.0, 0.0119, {Electron, Positron}},
        {PiPlus, 0.0, 0.000123, {Positron}},
    };
    for (const Case& c : cases) {
        Simulation simulation;
        Particle p = particleOf(c.species, 0, 1);
        // The channel is the first draw after the scheduling.
        p.seed = seedDrawing(p.drawCount, c.lo, c.hi);
        std::vector<Particle> products;
        decayNow(p, products, simulation);
        std::vector<int32_t> made;
        for (const Particle& product : products) made.push_back(product.species);
        EXPECT_EQ(made, c.made) << c.species << " " << c.lo;
        EXPECT_EQ(p.state, StateDecayed);  // the event is used even with no product
    }
}

TEST(Decay, ExcludedSpeciesAreNotCreated) {
    Simulation simulation;
    setSpeciesAllowed(simulation, MuPlus, false);
    Particle p = particleOf(PiPlus, 3, 1);
    std::vector<Particle> products;
    decayNow(p, products, simulation);
    EXPECT_TRUE(products.empty());
    EXPECT_EQ(p.state, StateDecayed);
}

TEST(Decay, NotDueNotDecayed) {
    Particle p = particleOf(PiPlus, 3, 2);
    p.properTime = p.nextDecay * 0.999;
    std::vector<Particle> products;
    decayStep(p, products, Simulation{});
    EXPECT_TRUE(products.empty());
    EXPECT_EQ(p.decaysLeft, 2);
}

TEST(Decay, ABeamKeepsItsWeightThroughAllItsDecays) {
    // Pions decay to muons, muons to positrons; every event moves weight
    // from a parent to its one charged product, so the weight of the
    // particles not yet Decayed stays 1. Rounding alone limits it: a few
    // dozen additions and divisions of doubles per chain, 1e-12 relative.
    Simulation simulation;
    simulation.n_decays = 5;
    std::vector<Particle> beam;
    for (int i = 0; i < 200; i++) {
        Particle p = particleOf(i % 2 ? PiPlus : PiMinus, 500 + i, 5);
        p.weight = 1.0 / 200;
        beam.push_back(p);
    }
    int rounds = 0;
    for (bool pending = true; pending; rounds++) {
        ASSERT_LT(rounds, 100);
        pending = false;
        std::vector<Particle> products;
        for (Particle& p : beam) {
            if (p.decaysLeft > 0) decayNow(p, products, simulation);
        }
        for (Particle& product : products) beam.push_back(product);
        double sum = 0;
        for (const Particle& p : beam) {
            if (p.state != StateDecayed) sum += p.weight;
            pending = pending || p.decaysLeft > 0;
        }
        EXPECT_NEAR(sum, 1.0, 1e-12) << "round " << rounds;
    }
    // Every pion and muon has decayed; the weight now sits on electrons and
    // positrons, about 25 of them per pion.
    size_t live = 0;
    for (const Particle& p : beam) {
        if (p.state == StateDecayed) continue;
        live++;
        EXPECT_TRUE(p.species == Positron || p.species == Electron) << p.species;
    }
    EXPECT_GT(live, 200u * 20u);
}
