// Batched pushes against one particle at a time: every vector width the CPU
// has must give the bits of the scalar path, on any number of threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "beamline/build/nearby.hpp"
#include "beamline/cell_types.hpp"
#include "beamline/simulation.hpp"
#include "beamline/tracking/beam_summary.hpp"
#include "beamline/tracking/push_batch.hpp"
#include "beamline/tracking/simd.hpp"
#include "component_fixtures.hpp"
#include "tracking_fixtures.hpp"

namespace {

// Puts the tracker back on its usual path whatever a test forced.
struct AutoWidthAfter {
    ~AutoWidthAfter() { simdSelect("auto"); }
};

// The vector widths to compare with the scalar path.
std::vector<std::string> vectorWidths() {
    std::vector<std::string> widths = simdAvailable();
    widths.erase(widths.begin());
    return widths;
}

}  // namespace

TEST(PushBatch, EachWidthIsTheOneItClaimsAndUnknownNamesAreRefused) {
    AutoWidthAfter restore;
    const std::pair<const char*, const char*> names[] = {
        {"sse4", "SSE4"}, {"avx2", "AVX2"}, {"avx512", "AVX3"}};
    for (const std::string& width : vectorWidths()) {
        ASSERT_TRUE(simdSelect(width));
        EXPECT_TRUE(simdBatched());
        for (const auto& [name, target] : names) {
            if (width == name) {
                EXPECT_STREQ(pushBatchTarget(), target);
            }
        }
    }
    EXPECT_TRUE(simdSelect("scalar"));
    EXPECT_FALSE(simdBatched());
    EXPECT_FALSE(simdSelect("avx1024"));
    EXPECT_FALSE(simdBatched());
}

TEST(PushBatch, SolenoidBatchAddsTheFieldFnBitsInEveryLane) {
    AutoWidthAfter restore;
    Simulation s;
    CellPtr coil = placedElement(
        "Solenoid", "S", {{"radius", 0.05}, {"length", 0.3}, {"field", -3}, {"OffTime", 1e-9}}, s,
        turnedFrame(0.2));
    FieldBatchFn batch = fieldBatchFnOf(*coil);
    ASSERT_NE(batch, nullptr);
    // Points on the axis, inside the bore, beyond the field's reach (1.2 a),
    // before, inside and after the coil.
    constexpr size_t kCount = 64;
    alignas(64) double x[kCount], y[kCount], z[kCount];
    for (size_t i = 0; i < kCount; i++) {
        Vec3 local{0.0075 * double(i % 9) - 0.015 * double(i % 2), 0.004 * double(i % 5),
                   0.02 * double(i) - 0.2};
        if (i % 7 == 0) local.x = local.y = 0;
        Vec3 p = local;
        frameToGlobal(coil->placedFrame, p);
        x[i] = p.x, y[i] = p.y, z[i] = p.z;
    }
    for (double t : {0.0, 2e-9}) {
        alignas(64) double expected[6][kCount];
        for (size_t i = 0; i < kCount; i++) {
            double f[6];
            for (int j = 0; j < 6; j++) f[j] = 0.25 * double(j + i);
            coil->fieldFn(coil->runData, x[i], y[i], z[i], t, f);
            for (int j = 0; j < 6; j++) expected[j][i] = f[j];
        }
        for (const std::string& width : vectorWidths()) {
            ASSERT_TRUE(simdSelect(width));
            alignas(64) double got[6][kCount];
            FieldLanes lanes;
            lanes.count = kCount;
            lanes.x = x, lanes.y = y, lanes.z = z;
            for (int j = 0; j < 6; j++) {
                lanes.fields[j] = got[j];
                for (size_t i = 0; i < kCount; i++) got[j][i] = 0.25 * double(j + i);
            }
            batch(coil->runData, lanes, t);
            EXPECT_EQ(std::memcmp(got, expected, sizeof got), 0) << width << " at t=" << t;
        }
    }
}

TEST(PushBatch, SolenoidBatchMarksEveryStepItsInterceptCouldStop) {
    AutoWidthAfter restore;
    Simulation s;
    // Bore 5 cm, coil out to 25 cm, 0.3 m long, switched off after 1 ns.
    CellPtr coil = placedElement(
        "Solenoid", "S", {{"radius", 0.05}, {"length", 0.3}, {"field", 2}, {"OffTime", 1e-9}}, s,
        turnedFrame(0.2));
    InterceptsBatchFn batch = interceptsBatchFnOf(*coil);
    ASSERT_NE(batch, nullptr);
    struct Step {
        Vec3 from, to;  // in the coil's frame
        bool crosses;   // the ends lie on two sides of some coil surface
    };
    const Step steps[] = {
        {{0, 0, 0.10}, {0.001, 0, 0.12}, false},   // in the bore
        {{0, 0, 0.50}, {0, 0, 0.52}, false},       // beyond the exit
        {{0.3, 0, 0.1}, {0.3, 0.01, 0.1}, false},  // outside the coil
        {{0.06, 0, 0.1}, {0.07, 0, 0.11}, false},  // inside the winding
        // Through the end planes in the bore, out of reach of the faces in a
        // step of 10 ps (3 mm at the speed of light), and within reach.
        {{0, 0, -0.01}, {0, 0, 0.01}, false},
        {{0.04, 0, 0.29}, {0.04, 0, 0.31}, false},
        {{0.048, 0, -0.001}, {0.048, 0, 0.001}, true},
        {{0.1, 0, 0.299}, {0.1, 0, 0.301}, true},      // through the exit face
        {{0.26, 0, -0.001}, {0.26, 0, 0.001}, false},  // outside it, out of reach
        {{0.04, 0, 0.1}, {0.06, 0, 0.1}, true},        // from the bore into the winding
        {{0.24, 0, 0.1}, {0.26, 0, 0.1}, true},        // out through the outer cylinder
        {{0.06, 0, -0.1}, {0.06, 0, 0.1}, true},       // into the winding's end face
    };
    constexpr size_t kCount = 24;  // the table twice, then padding
    alignas(64) double xyz[6][kCount];
    std::vector<Particle> before, after;
    for (size_t i = 0; i < kCount; i++) {
        const Step& st = steps[i % std::size(steps)];
        Vec3 a = st.from, b = st.to;
        frameToGlobal(coil->placedFrame, a);
        frameToGlobal(coil->placedFrame, b);
        double v[6] = {a.x, a.y, a.z, b.x, b.y, b.z};
        for (int j = 0; j < 6; j++) xyz[j][i] = v[j];
        Particle p;
        p.position = a;
        p.u = {0, 0, 1e8};
        before.push_back(p);
        p.position = b;
        after.push_back(p);
    }
    StepLanes lanes;
    lanes.count = kCount;
    lanes.x0 = xyz[0], lanes.y0 = xyz[1], lanes.z0 = xyz[2];
    lanes.x1 = xyz[3], lanes.y1 = xyz[4], lanes.z1 = xyz[5];
    for (double t0 : {0.0, 2e-9}) {
        for (const std::string& width : simdAvailable()) {
            ASSERT_TRUE(simdSelect(width));
            uint8_t may[kCount];
            for (size_t i = 0; i < kCount; i++) may[i] = i == 1;  // a mark is never cleared
            batch(coil->runData, lanes, t0, t0 + 1e-11, may);
            for (size_t i = 0; i < kCount; i++) {
                bool crosses = t0 == 0 && steps[i % std::size(steps)].crosses;
                EXPECT_EQ(may[i] != 0, crosses || i == 1) << width << " lane " << i << " t0=" << t0;
                // An unmarked step is one the intercept leaves alone.
                Particle hit;
                double when = 0;
                int got = coil->interceptFn(coil->runData, before[i], after[i], t0, t0 + 1e-11,
                                            StepContext{}, nullptr, hit, when);
                if (!may[i]) {
                    EXPECT_EQ(got, 0) << width << " lane " << i;
                }
            }
        }
    }
}

namespace {

// Pions and muons of both signs through a tilted solenoid whose coil stops
// the wide ones, a transverse field without a batch function that only
// particles with x > 0 see, a wall with a bore and a finish plane; some
// particles start between steps; pions decay to muons. Every path of the batched step meets the
// one-particle one.
std::string runWith(const char* width, int threads) {
    simdSelect(width);
    Simulation s;
    CellPtr coil = placedElement("Solenoid", "S", {{"radius", 0.04}, {"length", 0.3}, {"field", 3}},
                                 s, turnedFrame(0.02));
    CellPtr side = withLength(uniformFieldCell(0.4, 0, 0), 0.2);
    Cell* sideCell = side.get();
    CellPtr wall = drift(0.1);
    cellSetNumber(*wall, "Bore", 0.03);
    TestLine line({coil, side, wall, withLength(planeCell(0.62, StateFinished), 0.1)});
    cellBoxSet(*sideCell, 0, -1, -1, 1, 1, 1.7);
    MessageRecorder quiet;
    subMapBuild(*line.root, 10);
    s.root = line.root;
    s.n_decays = 2;
    s.effectiveSeed = 4242;
    const int32_t species[] = {PiPlus, PiMinus, MuPlus, MuMinus};
    for (int i = 0; i < 160; i++) {
        int32_t kind = species[i % 4];
        Particle& p = addParticle(s, kind, i);
        p.position = {0.002 * (i % 11) - 0.01, 0.002 * (i % 7) - 0.006, 0};
        double pMeV = 120 + 2 * (i % 50);
        p.u = (pMeV * kMeVc / mass(kind)) * Vec3{0.02 * (i % 9) - 0.08, 0.03 * (i % 5) - 0.06, 1};
        if (i % 9 == 0) p.t = 2.5e-11 * (i % 4);
        p.weight = 1.0 / 160;
        Particle_nearbythings(p);
    }
    TrackingConfig config;
    config.maxThreads = threads;
    config.particlesPerThread = 20;
    trackingConfigure(s, config);
    for (int step = 0; step < 300; step++) advanceStep(s, true, kTrackNormal, true);
    return beamDumpCsv(s.beam);
}

}  // namespace

TEST(PushBatch, EveryWidthAndThreadCountGivesTheScalarBeam) {
    AutoWidthAfter restore;
    const std::string scalar = runWith("scalar", 1);
    // The run must reach what the batched step hands on to the rest.
    EXPECT_NE(scalar.find(",Finished,"), std::string::npos);
    EXPECT_NE(scalar.find(",Stopped,"), std::string::npos);
    // Decays added particles to the 160 (and a header line).
    EXPECT_GT(std::count(scalar.begin(), scalar.end(), '\n'), 161);
    for (const std::string& width : vectorWidths()) {
        for (int threads : {1, 3}) {
            EXPECT_TRUE(runWith(width.c_str(), threads) == scalar)
                << width << " on " << threads << " threads";
        }
    }
    EXPECT_TRUE(runWith("scalar", 2) == scalar);
}

TEST(NearbyLists, ParticlesThatFindTheSameComponentsShareOneList) {
    // Two elements whose boxes overlap in the middle: particles at either end
    // and in the overlap find three different lists, and each list is held
    // once however many particles find it.
    TestLine line({drift(1), drift(1)});
    cellBoxSet(*line.root->children[0], -1, -1, -1, 1, 1, 1.2);
    cellBoxSet(*line.root->children[1], -1, -1, 0.8, 1, 1, 3);
    MessageRecorder quiet;
    subMapBuild(*line.root, 20);
    Simulation s;
    s.root = line.root;
    std::vector<const void*> seen[3];
    for (int i = 0; i < 30; i++) {
        Particle& p = addParticle(s, MuPlus, i);
        const int where = i % 3;
        p.position = {0.01 * (i % 5), 0, where == 0 ? 0.3 : where == 1 ? 1.0 : 1.7};
        Particle_nearbythings(p);
        seen[where].push_back(nearbyList(p));
    }
    const size_t sizes[3] = {1, 2, 1};
    for (int where = 0; where < 3; where++) {
        for (const void* list : seen[where]) EXPECT_EQ(list, seen[where][0]) << where;
        EXPECT_EQ(nearbyList(s.beam.particles[static_cast<size_t>(where)])->size(), sizes[where]);
    }
    EXPECT_NE(seen[0][0], seen[2][0]);
}
