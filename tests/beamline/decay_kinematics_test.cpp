// Decay kinematics against relativistic two-body formulas, four-momentum
// conservation and the phase-space density.
#include <gtest/gtest.h>

#include <cmath>

#include "beamline/simulation.hpp"
#include "beamline/species.hpp"
#include "beamline/tracking/decay.hpp"
#include "model/randhash.hpp"

namespace {

constexpr double kC = 299792458.0;
// MeV/c per kg m/s.
constexpr double kMeVc = kC / 1.602176462e-13;

double restMeV(int32_t s) {
    return restEnergy(s) / 1.602176462e-13;
}

// Momentum of either product of a two-body decay at rest, MeV/c:
// sqrt((M^2 - (m0 + m1)^2)(M^2 - (m0 - m1)^2)) / 2M.
double twoBodyMeVc(double M, double m0, double m1) {
    return std::sqrt((M * M - (m0 + m1) * (m0 + m1)) * (M * M - (m0 - m1) * (m0 - m1))) / (2 * M);
}

struct Products {
    int n = 0;
    double masses[8];
    Vec3 momenta[8];
};

Products decayAtRest(int32_t parent, const std::vector<int32_t>& species, uint32_t seed) {
    Products out;
    out.n = static_cast<int>(species.size());
    for (int i = 0; i < out.n; i++) out.masses[i] = mass(species[i]);
    Particle p;
    p.seed = seed;
    EXPECT_TRUE(restFrameMomenta(out.n, mass(parent), out.masses, p, out.momenta));
    return out;
}

}  // namespace

TEST(DecayKinematics, TwoBodyMomentaMatchTheFormula) {
    speciesInit();
    struct Case {
        int32_t parent, a, b;
        double published;  // MeV/c, as tables of particle properties print it
        double printed;    // half a unit of its last printed digit
    };
    const Case cases[] = {
        {PiPlus, MuPlus, NuMu, 29.79, 0.005},
        {KPlus, MuPlus, NuMu, 235.5, 0.05},
        {KPlus, PiPlus, PiZero, 205.1, 0.05},
    };
    for (const Case& c : cases) {
        double formula = twoBodyMeVc(restMeV(c.parent), restMeV(c.a), restMeV(c.b));
        EXPECT_NEAR(formula, c.published, c.printed);
        for (uint32_t seed = 1; seed <= 50; seed++) {
            Products d = decayAtRest(c.parent, {c.a, c.b}, seed);
            // Only rounding separates the two computations.
            EXPECT_NEAR(norm(d.momenta[0]) * kMeVc / formula, 1.0, 1e-9);
            EXPECT_EQ(norm2(d.momenta[0] + d.momenta[1]), 0.0);
        }
    }
}

TEST(DecayKinematics, EveryChannelConservesEnergyAndMomentum) {
    // 10 000 decays per channel. The momenta are built from masses of about
    // 1e-28 kg; the sums cancel to rounding, which 1e-9 of the parent mass
    // bounds with a wide margin.
    speciesInit();
    for (int32_t parent = 0; parent < kSpeciesCount; parent++) {
        for (const DecayChannel& channel : speciesRecord(parent).channels) {
            if (channel.products.size() < 2) continue;
            double M = mass(parent);
            for (uint32_t seed = 0; seed < 10000; seed++) {
                Products d = decayAtRest(parent, channel.products, seed * 7919 + parent);
                Vec3 sum;
                double energy = 0;
                for (int i = 0; i < d.n; i++) {
                    Vec3 p = (1 / kC) * d.momenta[i];
                    sum = sum + p;
                    energy += std::sqrt(d.masses[i] * d.masses[i] + norm2(p));
                }
                ASSERT_LT(norm(sum) / M, 1e-9) << parent << " seed " << seed;
                ASSERT_NEAR(energy / M, 1.0, 1e-9) << parent << " seed " << seed;
            }
        }
    }
}

TEST(DecayKinematics, ThreeBodyDecaysFillPhaseSpaceEvenly) {
    // For three massless products the Dalitz density is flat, so a product's
    // energy E has density proportional to E on [0, M/2]: P(E < M/4) = 1/4
    // for each product. The muon decay's electron mass shifts that by less
    // than (m_e/M)^2 ~ 2e-5. 20 000 decays: sigma = 0.003, tolerance 4 sigma.
    speciesInit();
    const int count = 20000;
    int below[3] = {};
    double M = mass(MuPlus);
    for (int k = 0; k < count; k++) {
        Products d = decayAtRest(MuPlus, {Positron, NuE, NuMuBar}, 100000 + k);
        for (int i = 0; i < 3; i++) {
            double p = norm(d.momenta[i]) / kC;
            below[i] += std::sqrt(d.masses[i] * d.masses[i] + p * p) < M / 4;
        }
    }
    for (int i = 0; i < 3; i++) EXPECT_NEAR(below[i] / double(count), 0.25, 0.012) << i;
}

TEST(DecayKinematics, ProductsOfAMovingParentConserveLaboratoryFourMomentum) {
    // K+ -> pi+ pi+ pi- has only massive products, so everything the decay
    // creates is tracked. Laboratory energy gamma m c^2 and momentum m u of
    // the products must add up to the parent's, to rounding (1e-9 relative).
    speciesInit();
    Simulation simulation;
    for (uint32_t trial = 0; trial < 200; trial++) {
        Particle kaon;
        kaon.species = KPlus;
        kaon.u = {0.3 * kC, -1.1 * kC, 2.5 * kC};
        scheduleDecays(kaon, 1);
        // A stream whose channel draw lands on the last K+ channel.
        uint32_t seed = trial * 1000;
        while (randuniform(seed, static_cast<uint32_t>(kaon.drawCount)) >= 0.0559) seed++;
        kaon.seed = seed;
        kaon.properTime = kaon.nextDecay;
        std::vector<Particle> products;
        decayStep(kaon, products, simulation);
        ASSERT_EQ(products.size(), 3u);
        auto energy = [](const Particle& p) {
            return std::sqrt(kC * kC + norm2(p.u)) / kC * restEnergy(p.species);
        };
        double e = 0;
        Vec3 momentum;
        for (const Particle& p : products) {
            e += energy(p);
            momentum = momentum + mass(p.species) * p.u;
        }
        Vec3 parentMomentum = mass(KPlus) * kaon.u;
        EXPECT_NEAR(e / energy(kaon), 1.0, 1e-9);
        EXPECT_LT(norm(momentum - parentMomentum) / norm(parentMomentum), 1e-9);
    }
}

TEST(DecayKinematics, ForbiddenDecaysMakeNoMomenta) {
    double masses[2] = {mass(Proton), mass(PiPlus)};
    Particle p;
    Vec3 momenta[2];
    EXPECT_FALSE(restFrameMomenta(2, mass(PiPlus), masses, p, momenta));
}
