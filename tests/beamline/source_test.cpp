// The rod and MARS sources: copies and their identifiers, the two rod file
// forms, the particle divisor, placement and tilt, the rod as a solid, MARS
// species and frames, and the keyed normal deviate of the time spread.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "beamline/components/mars_source.hpp"
#include "beamline/components/rod_source.hpp"
#include "beamline/simulation.hpp"
#include "beamline/species.hpp"
#include "beamline/tracking/tracking.hpp"
#include "model/cell_geometry.hpp"
#include "model/randhash.hpp"
#include "platform/process.hpp"
#include "support/test_support.hpp"
#include "tracking_fixtures.hpp"

namespace {

constexpr double kMeV = 1.602176462e-13;

struct Sources : ::testing::Test {
    MessageRecorder messages;
    ScratchFolder dir;
    Simulation simulation;

    void SetUp() override {
        speciesInit();
        simulation.root = cellCreate(Composite, "line");
        simulation.effectiveSeed = 99;
    }
    RodSourceData rod(double z = 0, double angle = 0) const {
        return {0.01, 0.2, z, std::cos(angle), std::sin(angle)};
    }
    bool loadRod(const std::string& text, double timespread = 0, double axial = 0,
                 const RodSourceData* data = nullptr, int32_t species = PiPlus) {
        dir.write("rod.csv", text);
        SourceDraws draws{simulation.effectiveSeed, 0};
        RodSourceData d = data ? *data : rod();
        return loadRodSource(d, dir.file("rod.csv"), "rod.csv", timespread, axial, species,
                             simulation, draws);
    }
    bool loadMars(const std::string& text, double timespread = 0, double sigma = 0,
                  const Frame3& frame = Frame3{}) {
        dir.write("mars.txt", text);
        SourceDraws draws{simulation.effectiveSeed, 0};
        return loadMarsSource(frame, dir.file("mars.txt"), timespread, sigma, 0, simulation, draws);
    }
    const std::vector<Particle>& beam() const { return simulation.beam.particles; }
};

std::string rodLines(int n, bool nine) {
    std::string text = nine ? "kinetic energy,...\n" : "T (MeV),...\n";
    for (int i = 0; i < n; i++) {
        text +=
            nine ? "139.5702,2,0.001,0.002,0.05,0,0,1,1e-10\n" : "139.5702,2,0,0.6,0.8,0.1,0.2,5\n";
    }
    return text;
}

}  // namespace

TEST(SourceCopies, CountsAndIdentifierSteps) {
    struct Case {
        double timespread, axial;
        int32_t total, step;
    };
    for (Case c : {Case{0, 0, 1, 1}, Case{3, 4, 12, 100}, Case{2, 0, 2, 10}, Case{0, 10, 10, 10},
                   Case{11, 1, 11, 100}, Case{100, 1, 100, 100}, Case{101, 1, 101, 1000}}) {
        SourceCopies copies;
        std::string error;
        ASSERT_TRUE(sourceCopies(c.timespread, c.axial, 10, copies, error)) << error;
        EXPECT_EQ(copies.total, c.total) << c.timespread << " " << c.axial;
        EXPECT_EQ(copies.idStep, c.step) << c.timespread << " " << c.axial;
    }
    SourceCopies copies;
    std::string error;
    EXPECT_FALSE(sourceCopies(-1, 0, 10, copies, error));
    // Twelve million particles, and identifiers past 32 bits, are refused.
    EXPECT_FALSE(sourceCopies(1000, 1000, 12, copies, error));
    EXPECT_FALSE(sourceCopies(1, 1, 3'000'000'000LL, copies, error));
    EXPECT_EQ(sourceLinesToRead(1000, 10), 100);
    EXPECT_EQ(sourceLinesToRead(1000, 0), 1000);  // a divisor below 1 divides by 1
}

TEST(SourceDraws, RandgaussIsBoxMullerOnKeyedPairs) {
    // The two deviates of a pair share the radius sqrt(2 |ln u1|).
    for (uint32_t b : {0u, 2u, 1234u}) {
        double u1 = randuniform(7, b);
        double r2 = 2 * std::fabs(std::log(u1 + 1e-20));
        double g0 = randgauss(7, b), g1 = randgauss(7, b + 1);
        EXPECT_NEAR(g0 * g0 + g1 * g1, r2, 1e-12 * r2);
    }
    // Standard normal: with 20000 draws the mean's standard error is 0.007
    // and the variance's 0.01; five of each are allowed.
    const int n = 20000;
    double sum = 0, sum2 = 0;
    for (int i = 0; i < n; i++) {
        double g = randgauss(12345, static_cast<uint32_t>(i));
        sum += g;
        sum2 += g * g;
    }
    EXPECT_NEAR(sum / n, 0, 0.035);
    EXPECT_NEAR(sum2 / n, 1, 0.05);
}

TEST_F(Sources, OneParticlePerLineWithoutCopies) {
    ASSERT_TRUE(loadRod(rodLines(3, true), 0, 0));
    ASSERT_EQ(beam().size(), 3u);
    for (int i = 0; i < 3; i++) {
        const Particle& p = beam()[static_cast<size_t>(i)];
        EXPECT_EQ(p.id, i + 1);
        EXPECT_EQ(p.weight, 2);  // the builder normalises later
        EXPECT_EQ(p.species, PiPlus);
        EXPECT_DOUBLE_EQ(p.t, 1e-10 + 5e-9);
        // z along the rod from its upstream end: 0.05 m lies 0.05 m before
        // the centre at z = 0.
        EXPECT_DOUBLE_EQ(p.position.z, -0.05);
        EXPECT_DOUBLE_EQ(p.position.x, 0.001);
        // T equal to the pion's rest energy: gamma 2, gamma beta sqrt 3.
        EXPECT_NEAR(p.u.z, kLight * std::sqrt(3.0), 1e-6);
    }
    EXPECT_NE(messages.output.find("Loading tantalum rod source data..."), std::string::npos);
    EXPECT_NE(messages.output.find("Tantalum rod source data loaded."), std::string::npos);
}

TEST_F(Sources, TwelveCopiesShareTheWeightAndNumberTheLines) {
    ASSERT_TRUE(loadRod(rodLines(2, true), 3, 4));
    ASSERT_EQ(beam().size(), 24u);
    std::vector<int32_t> ids;
    for (const Particle& p : beam()) {
        ids.push_back(p.id);
        EXPECT_DOUBLE_EQ(p.weight, 2.0 / 12);
        // Rotation about the beam axis keeps the radius and the speed.
        EXPECT_NEAR(std::hypot(p.position.x, p.position.y), std::hypot(0.001, 0.002), 1e-15);
        EXPECT_NEAR(p.u.z, kLight * std::sqrt(3.0), 1e-6);
        // The time spread is 1 ns about 5 ns; six deviations never come.
        EXPECT_LT(std::fabs(p.t - 5e-9), 6e-9);
    }
    std::sort(ids.begin(), ids.end());
    for (int line = 0; line < 2; line++) {
        for (int k = 0; k < 12; k++) EXPECT_EQ(ids[size_t(line * 12 + k)], (line + 1) * 100 + k);
    }
    // Draws differ between copies of one line.
    EXPECT_NE(beam()[0].t, beam()[1].t);
}

TEST_F(Sources, EightColumnFormIsInCentimetresWithoutTime) {
    ASSERT_TRUE(loadRod(rodLines(1, false)));
    ASSERT_EQ(beam().size(), 1u);
    const Particle& p = beam()[0];
    EXPECT_DOUBLE_EQ(p.position.x, 0.001);
    EXPECT_DOUBLE_EQ(p.position.y, 0.002);
    EXPECT_DOUBLE_EQ(p.position.z, 0.05 - 0.1);
    EXPECT_EQ(p.t, 0);
    EXPECT_NEAR(p.u.y / p.u.z, 0.6 / 0.8, 1e-12);
}

TEST_F(Sources, DivisorKeepsOneLineInTen) {
    simulation.particleDivisor = 10;
    ASSERT_TRUE(loadRod(rodLines(1000, true), 2, 0));
    EXPECT_EQ(beam().size(), 200u);  // 100 lines, two copies each
    EXPECT_NE(messages.output.find("Counting particles... 1000"), std::string::npos);
}

TEST_F(Sources, TiltedRodTurnsPositionsAndDirections) {
    // A quarter turn: the rod lies along x, centred on z = 1.
    RodSourceData tilted = rod(1, std::numbers::pi / 2);
    ASSERT_TRUE(loadRod("k\n139.5702,1,0,0,0,0,0,1,0\n", 0, 0, &tilted));
    const Particle& p = beam()[0];
    EXPECT_NEAR(p.position.x, -0.1, 1e-15);
    EXPECT_NEAR(p.position.z, 1, 1e-15);
    EXPECT_NEAR(p.u.x, kLight * std::sqrt(3.0), 1e-6);
    EXPECT_NEAR(p.u.z, 0, 1e-6);
}

TEST_F(Sources, UnreadableOrOversizedListsFail) {
    EXPECT_FALSE(loadRod("k\n1,2,3\n"));
    SourceDraws draws;
    EXPECT_FALSE(loadRodSource(rod(), dir.file("absent.csv"), "absent.csv", 0, 0, PiPlus,
                               simulation, draws));
    EXPECT_NE(messages.output.find("CSV read of absent.csv failed, generating error box"),
              std::string::npos);
    EXPECT_FALSE(loadRod(rodLines(10, true), 1e6, 100));
    EXPECT_TRUE(beam().empty());
    EXPECT_EQ(rodSourcePath("../x.csv"), "");
    EXPECT_EQ(rodSourcePath("rod.dat"), "datafiles/rod.csv");
}

TEST(RodSolid, InsideTheShrunkCylinderAndItsBox) {
    RodSourceData d{0.01, 0.2, 0.5, std::cos(0.3), std::sin(0.3)};
    CellPtr cell = cellCreate(Machine, "rod");
    runDataInit<RodSourceData>(*cell) = d;
    auto inside = [&](double along, double across) {
        // A point `along` the axis from the centre and `across` it in y.
        Vec3 p{d.sinAngle * along, across, 0.5 + d.cosAngle * along};
        return rodSourceFunctions.materialFn(cell->runData, p.x, p.y, p.z, 0) != 0;
    };
    struct Case {
        double along, across;
        bool in;
    };
    // The test solid: radius^2 x 0.99 (r < 9.95 mm), half-length x 0.99.
    for (Case c :
         {Case{0, 0, true}, Case{0, 0.0099, true}, Case{0, 0.00996, false}, Case{0.0989, 0, true},
          Case{-0.0989, 0, true}, Case{0.0991, 0, false}, Case{-0.0991, 0, false}}) {
        EXPECT_EQ(inside(c.along, c.across), c.in) << c.along << " " << c.across;
    }
    cellBoxReset(*cell);
    rodSourceFunctions.boundsFn(cell->runData, *cell);
    double c = std::sqrt(0.01 + 0.0001);
    EXPECT_DOUBLE_EQ(cell->boxMin.x, -c);
    EXPECT_DOUBLE_EQ(cell->boxMax.y, c);
    EXPECT_DOUBLE_EQ(cell->boxMin.z, 0.5 - c);
    EXPECT_DOUBLE_EQ(cell->boxMax.z, 0.5 + c);
}

TEST(RodSolid, ParticlesComingBackIntoTheRodAreReimpacts) {
    CellPtr cell = cellCreate(Machine, "rod");
    runDataInit<RodSourceData>(*cell) = {0.01, 0.2, 0, 1, 0};
    struct Case {
        Vec3 start, direction;
        bool hit;
        double surfaceX;  // where along x the hit lies, for hits through the mantle
    };
    const double h = 2e-10;  // 5.4 cm at this pion's speed
    const double mantle = -std::sqrt(0.99) * 0.01;
    for (Case c : {Case{{-0.06, 0, 0}, {1, 0, 0}, true, mantle},  // enters
                   Case{{-0.03, 0, 0}, {1, 0, 0}, true, mantle},  // in and out in one step
                   Case{{0, 0, 0}, {1, 0, 0}, false, 0},          // born inside, leaves
                   Case{{-0.04, 0.02, 0}, {1, 0, 0}, false, 0},   // passes beside
                   Case{{0, 0, 0.12}, {0, 0, -1}, true, 0}}) {    // into the downstream end
        Particle before = movingParticle(PiPlus, 300, c.direction);
        before.position = c.start;
        Particle after = before;
        pushParticle(after, 0, h);
        Particle hit;
        double when = 0;
        int got = rodSourceFunctions.interceptFn(cell->runData, before, after, 0, h, StepContext{},
                                                 nullptr, hit, when);
        ASSERT_EQ(got != 0, c.hit) << c.start.x << " " << c.start.z;
        if (!c.hit) continue;
        EXPECT_EQ(hit.state, StateReimpact);
        if (c.direction.x > 0) {
            EXPECT_NEAR(hit.position.x, c.surfaceX, 1e-9);
        } else {
            EXPECT_NEAR(hit.position.z, 0.099, 1e-9);
        }
        EXPECT_GT(when, 0);
        EXPECT_LT(when, h);
    }
}

TEST_F(Sources, MarsLinesBecomeParticlesOfTheirSpecies) {
    setSpeciesAllowed(simulation, Proton, false);
    messages.keys = {'y', 'y'};
    const std::string text =
        "# header\n"
        "1 3 0.1395702 1 1 2 3 0 0 1 1e-9\n"  // pi+ with T = its rest energy
        "2 4 0.5 2 0 0 0 0 1 0 2e-9\n"        // pi- along y
        "3 1 1.0 1 0 0 0 0 0 1 0\n"           // a proton, not allowed
        "4 99 1.0 1 0 0 0 0 0 1 0\n"          // no such species
        "5 18 1.0 1 0 0 0 0 0 1 0\n"          // a neutrino: massless, not made
        "6 4 0.5 1 0 0 0\n"                   // short: skipped
        "7 99 1.0 1 0 0 0 0 0 1 0\n";         // reported once only
    Frame3 frame;
    frame.origin = {0, 0, 10};
    ASSERT_TRUE(loadMars(text, 0, 0, frame));
    ASSERT_EQ(beam().size(), 2u);
    const Particle& a = beam()[0];
    EXPECT_EQ(a.species, PiPlus);
    EXPECT_EQ(a.id, 1);
    EXPECT_DOUBLE_EQ(a.position.z, 10.03);  // centimetres, moved by the frame
    EXPECT_DOUBLE_EQ(a.t, 1e-9);
    EXPECT_NEAR(a.u.z, kLight * std::sqrt(3.0), 1e-6);
    const Particle& b = beam()[1];
    EXPECT_EQ(b.species, PiMinus);
    EXPECT_EQ(b.id, 2);
    EXPECT_EQ(b.weight, 2);
    EXPECT_GT(b.u.y, 0);
    size_t first = messages.output.find("Unrecognised MARS PID 99");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(messages.output.find("Unrecognised MARS PID 99", first + 1), std::string::npos);
    EXPECT_NE(messages.output.find("particle data loaded."), std::string::npos);
}

TEST_F(Sources, MarsTimeSpreadAndRotatedFrame) {
    // The frame turns local z into global x.
    Frame3 frame;
    double axes[9] = {0, 0, 1, 0, 1, 0, -1, 0, 0};
    std::copy(axes, axes + 9, frame.axes);
    ASSERT_TRUE(loadMars("h\n1 3 0.2 1 0 0 100 0 0 1 5e-9\n", 4, 1e-9, frame));
    ASSERT_EQ(beam().size(), 4u);
    for (const Particle& p : beam()) {
        EXPECT_NEAR(p.position.x, 1, 1e-15);
        EXPECT_GT(p.u.x, 0);
        EXPECT_NEAR(p.u.z, 0, 1e-6);
        EXPECT_LT(std::fabs(p.t - 5e-9), 6e-9);
        EXPECT_DOUBLE_EQ(p.weight, 0.25);
    }
    EXPECT_EQ(beam()[0].id, 10);
    EXPECT_EQ(beam()[3].id, 13);
}

TEST_F(Sources, InitialisationFailuresAreFatal) {
    std::string previous = currentFolder();
    ASSERT_TRUE(setCurrentFolder(dir.path()));
    struct Case {
        const char* type;
        const char* attribute;
        const char* value;
        const char* message;
    };
    for (Case c : {Case{"MARSsource", "", "", "[FATAL] MARSsource component lacking 'file'"},
                   Case{"MARSsource", "file", "../x.txt", "Failed to load particle data"},
                   Case{"RodSource", "file", "none.csv", "Failed to load pion data from file"},
                   Case{"RodSource", "species", "nu_mu", "Unrecognised particle species"}}) {
        CellPtr cell = cellCreate(Machine, "src");
        cell->typeName = c.type;
        if (*c.attribute) cellSetText(*cell, c.attribute, c.value);
        const CellType* row = cellTypeFind(c.type);
        ASSERT_TRUE(row && row->functions->initFn);
        messages.output.clear();
        EXPECT_THROW(row->functions->initFn(*cell, simulation), ProcessExit) << c.message;
        EXPECT_NE(messages.output.find(c.message), std::string::npos) << messages.output;
    }
    setCurrentFolder(previous);
}
