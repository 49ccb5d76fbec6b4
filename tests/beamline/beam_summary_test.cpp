#include "beamline/tracking/beam_summary.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <random>

#include "beamline/species.hpp"

namespace {

Particle particle(int32_t id, int32_t species, int32_t state, double weight, double x) {
    Particle p;
    p.id = id;
    p.species = species;
    p.state = state;
    p.weight = weight;
    p.position.x = x;
    return p;
}

}  // namespace

TEST(BeamSummary, DumpsAndTotalsDoNotDependOnTheOrderTrackingLeft) {
    std::vector<Particle> all = {
        particle(2, MuPlus, StateFinished, 0.1, 1.0 / 3),
        particle(1, PiPlus, StateActive, 0.2, 0),
        particle(1, MuPlus, StateActive, 0.3, 2),
        particle(1, MuPlus, StateActive, 0.3, -2),
        particle(0, PiMinus, 5, 0.4, 0),
    };
    Beam a, b;
    a.particles = all;
    std::reverse(all.begin(), all.end());
    b.particles = all;
    std::string dump = beamDumpCsv(a);
    EXPECT_EQ(dump, beamDumpCsv(b));
    // Sorted by id, then species, then the numbers; states without a name
    // print their code; %.17g gives the double back exactly.
    EXPECT_EQ(dump.substr(0, dump.find('\n')), kBeamDumpHeader);
    std::vector<std::string> lines;
    for (size_t at = dump.find('\n') + 1; at < dump.size(); at = dump.find('\n', at) + 1) {
        lines.push_back(dump.substr(at, dump.find('\n', at) - at));
    }
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "0,pi-,5,0.40000000000000002,0,0,0,0,0,0,0,0");
    EXPECT_EQ(lines[1].substr(0, 18), "1,pi+,Active,0.200");
    EXPECT_EQ(lines[2].substr(0, 35), "1,mu+,Active,0.29999999999999999,-2");
    EXPECT_EQ(lines[3].substr(0, 34), "1,mu+,Active,0.29999999999999999,2");
    std::string x = lines[4].substr(lines[4].find("0.1000000000000000") + 20);
    EXPECT_EQ(std::strtod(x.c_str(), nullptr), 1.0 / 3);

    std::vector<StateTotal> totals = beamStateTotals(b);
    ASSERT_EQ(totals.size(), 3u);
    EXPECT_EQ(totals[0].state, StateFinished);
    EXPECT_EQ(totals[1].state, StateActive);
    EXPECT_EQ(totals[1].count, 3);
    EXPECT_EQ(totals[1].weight, 0.2 + 0.3 + 0.3);
    EXPECT_EQ(stateLabel(totals[2].state), "5");
}

TEST(BeamSummary, ALargeBeamIsWalkedInOneOrderAcrossItsIdRanges) {
    // Enough particles for the walk to split the ids into ranges, with ids
    // shared by several particles (a parent and its decay products), ids at
    // both ends of the 32-bit range, and weights whose sums round
    // differently in other orders.
    std::mt19937 random(7);
    std::uniform_int_distribution<int32_t> id(0, 700), state(0, 2);
    std::uniform_real_distribution<double> weight(1e-6, 1), x(-1, 1);
    std::vector<Particle> all;
    for (int i = 0; i < 5000; i++) {
        all.push_back(particle(id(random), i % 2 ? MuPlus : PiPlus, state(random), weight(random),
                               x(random)));
    }
    all.push_back(particle(INT32_MIN, MuMinus, StateActive, 0.5, 0));
    all.push_back(particle(INT32_MAX, MuMinus, StateActive, 0.25, 0));
    Beam beam;
    beam.particles = all;
    const std::string dump = beamDumpCsv(beam);
    const std::vector<StateTotal> totals = beamStateTotals(beam);
    for (int shuffle = 0; shuffle < 3; shuffle++) {
        std::shuffle(beam.particles.begin(), beam.particles.end(), random);
        EXPECT_EQ(beamDumpCsv(beam), dump);
        std::vector<StateTotal> again = beamStateTotals(beam);
        ASSERT_EQ(again.size(), totals.size());
        for (size_t k = 0; k < totals.size(); k++) EXPECT_EQ(again[k].weight, totals[k].weight);
    }
    // Every particle once, ids never falling.
    int64_t lines = 0;
    long long previous = INT64_MIN;
    for (size_t at = dump.find('\n') + 1; at < dump.size(); at = dump.find('\n', at) + 1) {
        long long lineId = std::strtoll(dump.c_str() + at, nullptr, 10);
        EXPECT_LE(previous, lineId);
        previous = lineId;
        lines++;
    }
    EXPECT_EQ(lines, static_cast<int64_t>(all.size()));
    int64_t counted = 0;
    for (const StateTotal& total : totals) counted += total.count;
    EXPECT_EQ(counted, lines);
}
