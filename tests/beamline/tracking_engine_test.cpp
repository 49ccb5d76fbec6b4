// Sub-steps and time steps: the element search, the bore, interception,
// thread slices and load weights, decays merged into the beam, and the same
// final beam on any number of threads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <regex>
#include <string>

#include "beamline/build/nearby.hpp"
#include "beamline/simulation.hpp"
#include "beamline/tracking/beam_summary.hpp"
#include "beamline/tracking/engine.hpp"
#include "beamline/tracking/tracking.hpp"
#include "model/relativity.hpp"
#include "support/test_support.hpp"
#include "tracking_fixtures.hpp"

namespace {

// A simulation on `line` with `count` particles of the species along z from
// the origin, spread a little across the beam pipe, with their nearby lists.
Simulation beamOn(const TestLine& line, int32_t species, int count, double pMeV,
                  int32_t nDecays = 1) {
    speciesInit();
    Simulation s;
    s.root = line.root;
    s.n_decays = nDecays;
    s.effectiveSeed = 12345;
    for (int i = 0; i < count; i++) {
        Particle& p = addParticle(s, species, i);
        double a = 0.001 * (i % 17), b = 0.001 * (i % 13);
        p.position = {a, b, 0};
        p.u = (pMeV * kMeVc / mass(species)) * Vec3{0.01 * (i % 7), 0.01 * (i % 5), 1};
        Particle_nearbythings(p);
    }
    return s;
}

// An idle machine with a core for every thread unless a test says otherwise,
// so that what the test machine happens to be doing never folds a step.
constexpr MachineLoad kIdleMachine{64, 0, false};

void configureThreads(Simulation& s, int threads, int perThread = 100, std::FILE* log = nullptr,
                      MachineLoad load = kIdleMachine) {
    TrackingConfig config;
    config.maxThreads = threads;
    config.particlesPerThread = perThread;
    config.loadBalanceLog = log != nullptr;
    config.loadBalanceFile = log;
    trackingConfigure(s, config);
    trackingEngineOf(s).pool.setLoadSource([load] { return load; });
}

std::string readAll(std::FILE* f) {
    std::rewind(f);
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    return text;
}

}  // namespace

TEST(StepParticle, ElementSearchBoreAndEarliestHit) {
    // Muons of 200 MeV/c travel 2.7 mm in 10 ps.
    CellPtr bored = drift(1);
    cellSetNumber(*bored, "Bore", 0.05);
    CellPtr late = withLength(planeCell(2.5021, StateStopped), 0.5);
    CellPtr early = withLength(planeCell(2.5011, StateFinished), 0.5);
    TestLine line({drift(1), bored, late, early});
    Cell* elements[] = {line.root->children[0].get(), line.root->children[1].get(),
                        line.root->children[2].get(), line.root->children[3].get()};
    struct Case {
        const char* name;
        Vec3 position;
        int32_t startIndex;
        int32_t state, index;  // after the sub-step
        Cell* lostIn;
    } cases[] = {
        {"search forward from none", {0, 0, 0.5}, -1, StateActive, 0, nullptr},
        {"search back", {0, 0, 0.2}, 3, StateActive, 0, nullptr},
        {"inside the bore", {0.04, 0, 1.5}, 0, StateActive, 1, nullptr},
        {"outside the bore", {0.06, 0, 1.5}, 0, StateStopped, 0, elements[1]},
        {"the earlier of two hits", {0, 0, 2.5}, 1, StateFinished, 3, elements[3]},
        {"beyond the end stays in the last", {0, 0, 4}, 0, StateActive, 3, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (Cell* e : elements) e->lostWeight = 0;
        Particle p = movingParticle(MuPlus, 200, {0, 0, 1});
        setParticleLine(p, line.root.get());
        p.position = c.position;
        p.elementIndex = c.startIndex;
        Particle_nearbythings(p);
        double reached = stepParticle(p, 1e-9, 1e-9 + 1e-11, nullptr, StepContext{});
        EXPECT_EQ(p.state, c.state);
        EXPECT_EQ(p.elementIndex, c.index);
        for (Cell* e : elements) EXPECT_EQ(e->lostWeight.get(), e == c.lostIn ? 1 : 0);
        if (c.state == StateStopped && c.lostIn == elements[1]) {
            EXPECT_EQ(reached, 1e-9);
            EXPECT_EQ(p.position.z, c.position.z);
        } else if (c.state == StateFinished) {
            EXPECT_NEAR(p.position.z, 2.5011, 1e-12);
            EXPECT_LT(reached, 1e-9 + 1e-11);
        } else {
            EXPECT_EQ(reached, 1e-9 + 1e-11);
        }
    }
}

TEST(AdvanceStep, ThreadsFromActiveParticlesAndTheLoadLog) {
    // 250 particles, at most 4 threads, 100 particles per extra thread:
    // 250/100 + 1 = 3 threads.
    TestLine line({drift(10)});
    Simulation s = beamOn(line, MuPlus, 250, 200);
    std::FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    configureThreads(s, 4, 100, log);
    advanceStep(s, false, kTrackNormal, true);
    std::string text = readAll(log);
    std::fclose(log);
    ASSERT_EQ(trackingLoadWeights(s).size(), 3u);
    double sum = 0;
    for (double w : trackingLoadWeights(s)) sum += w;
    EXPECT_NEAR(sum, 1 - 0.01 / 3, 1e-12) << "the slowest thread gives up 1 %";
    std::regex format(
        "(\t[0-9.e-]+){3}\n\tgap=-?[0-9]+e-?[0-9]+\tutil=[0-9.]+%=[0-9.]+%\\(wait\\)\\*[0-9.]+%"
        "\\(gap\\)\n\t\t0:[0-9]{3,} [0-9]{3,} ([0-9]+)\t1:[0-9]{3,} [0-9]{3,} "
        "([0-9]+)\t2:[0-9]{3,} "
        "[0-9]{3,} ([0-9]+)\t");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, format)) << text;
    EXPECT_EQ(std::stoi(m[2]) + std::stoi(m[3]) + std::stoi(m[4]), 250);
    EXPECT_EQ(std::stoi(m[2]), 83) << "equal weights: floor(250/3)";

    // One configured thread, or threads not allowed: no pool and the load
    // weights stay as they were.
    std::vector<double> before = trackingLoadWeights(s);
    configureThreads(s, 1);
    for (int i = 0; i < 3; i++) advanceStep(s, false, kTrackNormal, true);
    configureThreads(s, 4);
    for (int i = 0; i < 3; i++) advanceStep(s, false, kTrackNormal, false);
    EXPECT_EQ(trackingLoadWeights(s), before);
}

TEST(AdvanceStep, ParticlesNotYetStartedWaitAndTheWorkCounts) {
    TestLine line({drift(10)});
    Simulation s = beamOn(line, MuPlus, 9, 200);
    s.beam.particles[0].t = s.time + 2 * s.dt;  // starts after this step
    Particle waiting = s.beam.particles[0];
    configureThreads(s, 1);
    advanceStep(s, true, kTrackNormal, true);
    const Particle* found = nullptr;
    for (const Particle& p : s.beam.particles) {
        if (p.id == 0) found = &p;
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->position.z, waiting.position.z);
    EXPECT_EQ(found->drawCount, waiting.drawCount);
    // 8 particles handled count 8 + floor(15/8) = 9 (millionths).
    EXPECT_NEAR(s.work, 9e-6, 1e-18);
    EXPECT_EQ(s.stepCount, 1);
    EXPECT_EQ(s.time, 1e-11);
    // The next step starts it at its own time, not at the step's start.
    auto idZero = [&s]() -> const Particle& {
        for (const Particle& p : s.beam.particles) {
            if (p.id == 0) return p;
        }
        return s.beam.particles[0];
    };
    advanceStep(s, true, kTrackNormal, true);
    EXPECT_EQ(idZero().position.z, waiting.position.z);
    advanceStep(s, true, kTrackNormal, true);
    double v = speedFromProperSpeed(norm(waiting.u));
    EXPECT_NEAR(idZero().position.z, waiting.position.z + v * 1e-11 * waiting.u.z / norm(waiting.u),
                1e-12);
}

TEST(AdvanceStep, NearbyListsAreRefreshedEveryIntervalFromStepZero) {
    TestLine line({drift(10)});
    Simulation s = beamOn(line, MuPlus, 1, 200);
    configureThreads(s, 1);
    // A refresh that finds the list the particle holds keeps it, so the test
    // hands the particle an empty list before each step and looks for the
    // drift in it afterwards.
    std::vector<int64_t> refreshed;
    for (int step = 0; step < 25; step++) {
        setNearbyList(s.beam.particles[0], {});
        advanceStep(s, false, kTrackNormal, true);
        if (nearbyCount(s.beam.particles[0]) != 0) refreshed.push_back(step);
    }
    EXPECT_EQ(refreshed, (std::vector<int64_t>{0, 10, 20}));
}

TEST(AdvanceStep, AStepInWhichEveryParticleDecays) {
    // Pions at their decay time with one decay sample each: every one
    // decays into a muon (the neutrino is not tracked) of the same weight.
    TestLine line({drift(10)});
    Simulation s = beamOn(line, PiPlus, 300, 200);
    for (size_t i = 0; i < 280; i++) s.beam.particles[i].nextDecay = 0;
    // A few stopped pions wait behind the active ones.
    for (size_t i = 280; i < 300; i++) s.beam.particles[i].state = StateStopped;
    std::stable_partition(s.beam.particles.begin(), s.beam.particles.end(),
                          [](const Particle& p) { return p.state == StateActive; });
    // In an array that is exactly full: the products take their parents'
    // places, so the array must not be copied into a larger one.
    std::vector<Particle> particles = std::move(s.beam.particles);
    beamClear(s.beam);
    beamReserveExact(s.beam, particles.size());
    s.beam.particles.assign(particles.begin(), particles.end());
    s.beam.activeEnd = 280;
    const Particle* array = s.beam.particles.data();
    configureThreads(s, 3);
    advanceStep(s, true, kTrackNormal, true);
    ASSERT_EQ(s.beam.particles.size(), 300u);
    EXPECT_EQ(s.beam.activeEnd, 280u);
    EXPECT_EQ(s.beam.capacity, 300u);
    EXPECT_EQ(s.beam.particles.data(), array);
    double weight = 0;
    for (size_t i = 0; i < s.beam.particles.size(); i++) {
        const Particle& p = s.beam.particles[i];
        EXPECT_NE(p.state, StateDecayed);
        if (i < s.beam.activeEnd) {
            EXPECT_EQ(p.species, MuPlus);
            EXPECT_EQ(p.state, StateActive);
        } else {
            EXPECT_EQ(p.species, PiPlus);
            EXPECT_EQ(p.state, StateStopped);
        }
        weight += p.weight;
    }
    EXPECT_NEAR(weight, 300, 1e-9);
}

TEST(AdvanceStep, FreePionSurvivalFollowsTheLifetime) {
    // 200 MeV/c pi+: beta gamma = 200/139.5702, c tau = 7.8046 m, so after a
    // flight of L the surviving weight is exp(-L / (beta gamma c tau)),
    // 40.9 % for 10 m. 4000 pions with one decay sample each: the survivors
    // are binomial, tolerance 4 standard errors (3.1 %).
    TestLine line({drift(20)});
    const int count = 4000;
    Simulation s = beamOn(line, PiPlus, count, 200);
    for (Particle& p : s.beam.particles) p.u = {0, 0, norm(p.u)};
    // A free particle moves straight, and a decay is due at the end of the
    // step in which its proper time passes the decay time, so 40 long steps
    // of 0.25 m do.
    const double v = speedFromProperSpeed(norm(s.beam.particles[0].u));
    s.dt = 10 / v / 40;
    configureThreads(s, 2);
    for (int step = 0; step < 40; step++) advanceStep(s, true, kTrackNormal, true);
    double survived = 0, flight = 0;
    for (const Particle& p : s.beam.particles) {
        if (p.species == PiPlus && p.state == StateActive) {
            survived += p.weight;
            flight = p.position.z;
        }
    }
    double ctau = kLight * 2.6033e-08;
    double expected = std::exp(-flight / (200 / 139.5702 * ctau));
    EXPECT_NEAR(expected, 0.409, 0.002) << "flight " << flight;
    EXPECT_NEAR(survived / count, expected, 4 * std::sqrt(expected * (1 - expected) / count));
}

namespace {

// A beam of pions through a field, matter and a finish plane for `steps`
// steps on `threads` threads: one step at a time, or (together) as many as
// advanceSteps takes at once. `layout` says whether the beam held its
// active particles first and no decayed one.
struct RunResult {
    std::string dump;
    double score;
    double lost;
    bool layout;
    int64_t steps;
};
RunResult runOn(int threads, int steps, MachineLoad load = kIdleMachine, bool together = false) {
    CellPtr field = withLength(uniformFieldCell(0, 0, 2), 0.1);
    static ScatterData table =
        scatterTableOf({50, 120, 250, 400}, {0, 40, 4, 10}, {{200, 0.5f, 2, 1}});
    CellPtr absorber = drift(0.03);
    absorber->scatterData = &table;
    absorber->materialFn = boxMaterial;
    CellPtr wall = drift(0.03);
    cellSetNumber(*wall, "Bore", 0.02);
    TestLine line({field, absorber, wall, withLength(planeCell(0.18, StateFinished), 0.1)});
    Simulation s = beamOn(line, PiPlus, 300, 200, 3);
    configureThreads(s, threads, 50, nullptr, load);
    if (together) {
        EXPECT_EQ(advanceSteps(s, steps), s.stepCount);
    } else {
        for (int i = 0; i < steps && s.beam.activeEnd > 0; i++) {
            advanceStep(s, true, kTrackNormal, true);
        }
    }
    double lost = 0;
    for (const CellPtr& c : line.root->children) lost += c->lostWeight.get();
    bool layout = true;
    for (size_t i = 0; i < s.beam.particles.size(); i++) {
        const int32_t state = s.beam.particles[i].state;
        layout = layout && (i < s.beam.activeEnd ? state == StateActive
                                                 : state != StateActive && state != StateDecayed);
    }
    return {beamDumpCsv(s.beam), scoreOf(s), lost, layout, s.stepCount};
}

}  // namespace

TEST(AdvanceStep, SameBeamAndScoreOnAnyNumberOfThreads) {
    RunResult one = runOn(1, 100);
    // The run must exercise what could differ between threads.
    EXPECT_NE(one.dump.find(",Finished,"), std::string::npos);
    EXPECT_NE(one.dump.find(",Stopped,"), std::string::npos);
    EXPECT_NE(one.dump.find("mu+"), std::string::npos);
    EXPECT_GT(one.lost, 0);
    // Each thread on a core of its own, then machines where other programs
    // leave fewer cores than threads: the slices shared out among fewer
    // threads, or all run on the calling thread (folded).
    EXPECT_TRUE(one.layout);
    // Threads that take their slices through several steps before they
    // meet, their products with them, must give the same particles too.
    struct Case {
        int threads;
        MachineLoad load;
        bool together;
    };
    const Case cases[] = {
        {2, kIdleMachine, false},    {3, kIdleMachine, false},    {7, kIdleMachine, false},
        {2, {2, 1.0, false}, false}, {7, {4, 1.0, false}, false}, {3, {8, 7.5, true}, false},
        {1, kIdleMachine, true},     {2, kIdleMachine, true},     {3, kIdleMachine, true},
        {7, kIdleMachine, true},     {2, {2, 1.0, false}, true},  {7, {4, 1.0, false}, true},
    };
    for (const Case& c : cases) {
        std::string what =
            std::to_string(c.threads) + " threads, " + std::to_string(c.load.otherBusy) + " of " +
            std::to_string(c.load.cores) + " cores busy" + (c.together ? ", steps together" : "");
        RunResult other = runOn(c.threads, 100, c.load, c.together);
        EXPECT_TRUE(other.dump == one.dump) << what;
        EXPECT_EQ(other.score, one.score) << what;
        EXPECT_NEAR(other.lost / one.lost, 1, 1e-12) << what;
        EXPECT_TRUE(other.layout) << what;
        EXPECT_EQ(other.steps, one.steps) << what;
    }
}

TEST(AdvanceSteps, StopAtTheStepWhereSingleStepsWould) {
    // The run ends at the step in which the last particle finishes, or at
    // the end time: steps taken together must not carry the clock past it.
    struct Case {
        double tMax;  // in steps from the start; 0: none
        int threads;
    };
    const Case cases[] = {{0, 1}, {0, 2}, {0, 3}, {29.5, 2}, {5, 3}};
    int64_t finishStep = 0;
    for (const Case& c : cases) {
        TestLine line({drift(0.05), withLength(planeCell(0.1, StateFinished), 0.1)});
        Simulation s = beamOn(line, MuPlus, 400, 200);
        if (c.tMax > 0) s.t_max = s.time + c.tMax * s.dt;
        configureThreads(s, c.threads);
        Simulation single = beamOn(line, MuPlus, 400, 200);
        single.t_max = s.t_max;
        configureThreads(single, 1);
        int64_t steps = 0;
        while (single.t_max > single.time && single.beam.activeEnd > 0) {
            advanceStep(single, true, kTrackNormal, true);
            steps++;
        }
        if (c.tMax == 0) finishStep = steps;
        const std::string what =
            std::to_string(c.threads) + " threads, end " + std::to_string(c.tMax);
        EXPECT_EQ(advanceSteps(s, 100000), steps) << what;
        EXPECT_EQ(s.stepCount, steps) << what;
        EXPECT_EQ(s.time, single.time) << what;
        EXPECT_EQ(s.beam.activeEnd, single.beam.activeEnd) << what;
        EXPECT_EQ(advanceSteps(s, 10), 0) << what;
    }
    // The last muon reaches the plane only after a few dozen steps, some of
    // them taken together.
    EXPECT_GT(finishStep, 30);
}

TEST(AdvanceStep, AFoldedStepLeavesTheLoadWeightsAlone) {
    // Slices that shared fewer threads, or ran as one on the calling thread
    // when no core was free, say nothing about how the threads share the
    // work: the weights stay as they were.
    const MachineLoad loads[] = {{4, 2.0, false}, {2, 1.0, false}};
    for (const MachineLoad& load : loads) {
        TestLine line({drift(10)});
        Simulation s = beamOn(line, MuPlus, 250, 200);
        configureThreads(s, 4, 100, nullptr, load);
        for (int i = 0; i < 3; i++) advanceStep(s, false, kTrackNormal, true);
        EXPECT_EQ(trackingLoadWeights(s), std::vector<double>(3, 1.0 / 3)) << load.otherBusy;
        EXPECT_EQ(s.beam.activeEnd, 250u);
    }
}
