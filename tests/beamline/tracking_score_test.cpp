// The score and its fallbacks for runs that bring few or no muons to the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "beamline/simulation.hpp"
#include "beamline/tracking/tracking.hpp"
#include "tracking_fixtures.hpp"

namespace {

struct Muon {
    int32_t state;
    double weight;
    double z;              // position on the line's axis
    double nextDecay = 0;  // the ratios a WrongEnergy aperture stores
    double t = 0;
};

// A 10 m line of two drifts and the given muons (plus a pion that never
// counts), inactive ones behind the active ones as the beam keeps them.
Simulation simulationOf(const std::vector<Muon>& muons, bool withLine = true) {
    Simulation s;
    if (withLine) {
        s.root = TestLine({drift(4), drift(6)}).root;
    } else {
        s.root = cellCreate(Composite, "empty");
    }
    std::vector<Particle> active, inactive;
    int32_t id = 0;
    for (const Muon& m : muons) {
        Particle p = movingParticle(MuPlus, 200, {0, 0, 1});
        p.id = id++;
        p.state = m.state;
        p.weight = m.weight;
        p.position = {0, 0, m.z};
        p.nextDecay = m.nextDecay;
        p.t = m.t;
        setParticleLine(p, s.root.get());
        p.elementIndex = m.z < 4 ? 0 : 1;
        (m.state == StateActive ? active : inactive).push_back(p);
    }
    Particle pion = movingParticle(PiPlus, 200, {0, 0, 1});
    pion.state = StateFinished;
    pion.weight = 0.5;
    inactive.push_back(pion);
    s.beam.activeEnd = active.size();
    s.beam.particles = active;
    s.beam.particles.insert(s.beam.particles.end(), inactive.begin(), inactive.end());
    return s;
}

double blend(double w, double high, double low) {
    return (high * (w - 0.0005) + low * (0.001 - w)) / 0.0005;
}

}  // namespace

TEST(Score, FinishedMuonWeightAndItsFallbacks) {
    const double f = StateFinished, a = StateActive, we = StateWrongEnergy;
    // S4 of an active muon of weight 0.002 at z = 5 on a 10 m line, alone in
    // the walk: 5/10 - 2.
    const double s4Alone = 5.0 / 10 - 2;
    // With a Finished muon of 0.0007 at z = 10, walked first: the mean
    // position of both.
    const double s4Both = (0.0007 * 10 + 0.002 * 5) / 0.0027 / 10 - 2;
    struct Case {
        const char* name;
        std::vector<Muon> muons;
        double expected;
    } cases[] = {
        {"exactly 0.001 finished", {{int32_t(f), 0.001, 10}}, 0.1},
        {"plenty finished", {{int32_t(f), 0.3, 10}, {int32_t(a), 0.1, 5}}, 30},
        {"nothing finished: distance", {{int32_t(a), 0.002, 5}}, s4Alone},
        {"0.0007 finished blends with the distance",
         {{int32_t(f), 0.0007, 10}, {int32_t(a), 0.002, 5}},
         blend(0.0007, 100 * 0.0007, s4Both)},
        {"wrong energy by the stored energy ratio",
         {{int32_t(we), 0.002, 10, 0.8}, {int32_t(a), 0.002, 5}},
         -0.2},
        {"wrong energy by the stored inverse ratio",
         {{int32_t(we), 0.002, 10, 0, 1.25}, {int32_t(a), 0.002, 5}},
         1 / 1.25 - 1},
        {"finished muons dilute the wrong-energy penalty",
         {{int32_t(we), 0.002, 10, 0.5}, {int32_t(f), 0.0002, 10}},
         0.002 * -0.5 / 0.0022},
        {"0.0007 wrong energy blends penalty and distance",
         {{int32_t(we), 0.0007, 10, 0.5}, {int32_t(a), 0.002, 5}},
         blend(0.0007, -0.5, (0.0007 * 10 + 0.002 * 5) / 0.0027 / 10 - 2)},
        {"no muons at all", {}, -2},
    };
    for (const Case& c : cases) {
        Simulation s = simulationOf(c.muons);
        EXPECT_NEAR(scoreOf(s), c.expected, 1e-12) << c.name;
    }
    EXPECT_EQ(scoreOf(simulationOf({{int32_t(a), 0.002, 5}}, false)), -2) << "empty line";
}

TEST(Score, DoesNotDependOnTheOrderOfTheBeam) {
    // Many small weights whose sum rounds differently in other orders.
    std::vector<Muon> muons;
    std::mt19937 random(3);
    std::uniform_real_distribution<double> weight(1e-6, 3e-5), z(0, 10);
    for (int i = 0; i < 300; i++) {
        int32_t state = i % 3 == 0 ? StateActive : i % 3 == 1 ? StateFinished : StateStopped;
        muons.push_back({state, weight(random), z(random)});
    }
    Simulation s = simulationOf(muons);
    double reference = scoreOf(s);
    for (int shuffle = 0; shuffle < 5; shuffle++) {
        std::vector<Particle>& all = s.beam.particles;
        std::shuffle(all.begin(), all.begin() + static_cast<long>(s.beam.activeEnd), random);
        std::shuffle(all.begin() + static_cast<long>(s.beam.activeEnd), all.end(), random);
        EXPECT_EQ(scoreOf(s), reference);
    }
}
