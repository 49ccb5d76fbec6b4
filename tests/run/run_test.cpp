// The run pipeline: build, track with a per-step callback, merge, score; and
// two runs in one process that share no tracking state.
#include "run/run.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "beamline/species.hpp"
#include "beamline/tracking/beam_summary.hpp"
#include "platform/files.hpp"
#include "support/test_support.hpp"

namespace {

// The demo folder's front end (matter, output apertures, decays) with a
// small beam, cut short so that a debug build runs it in seconds.
struct DemoRuns : ::testing::Test {
    InFolder here;
    MessageRecorder messages{DisplayBackground};

    void SetUp() override {
        std::filesystem::copy(std::string(PELTO_SOURCE_DIR) + "/demo", here.folder.path(),
                              std::filesystem::copy_options::recursive);
        speciesInit();
    }

    static SetupRequest request() {
        SetupRequest r;
        r.latticeName = "front_end";
        r.seed = 4242;
        r.verbose = false;
        r.particleDivisor = 40;
        return r;
    }

    // The first build completes the genome from the process's random
    // numbers; every later build then makes the same design.
    Genome design = genomeFromText("", true);

    // A built run with its own settings, tracked for a fifth of its time.
    Simulation build(const RunSettings& settings, bool scatteringOff) {
        Simulation s = runBuild(request(), design, settings);
        if (!s.root) return s;
        s.scattering_off = scatteringOff ? 1 : 0;
        s.t_max = s.startTime + 0.2 * (s.t_max - s.startTime);
        return s;
    }
};

struct Finished {
    // Not the work: it is counted per thread slice, and the slices follow
    // load weights that depend on timing.
    std::string dump;
    double score = 0;
    int64_t steps = 0;
};

Finished finished(const Simulation& s) {
    return {beamDumpCsv(s.beam), runScore(s), s.stepCount};
}

TEST_F(DemoRuns, TwoRunsSteppedInTurnEndAsEachRunAlone) {
    RunSettings one;  // one thread, scattering on
    RunSettings two;  // two threads from 20 active particles on, scattering off
    two.maxThreads = 2;
    two.particlesPerThread = 20;

    Simulation a = build(one, false);
    ASSERT_TRUE(a.root);
    ASSERT_GT(beamActiveCount(a.beam), 40u) << "enough particles for two threads";
    EXPECT_TRUE(runTrack(a));
    Finished aloneA = finished(a);
    Simulation b = build(two, true);
    EXPECT_TRUE(runTrack(b));
    Finished aloneB = finished(b);
    ASSERT_NE(aloneA.dump, aloneB.dump) << "the settings must make the runs differ";

    Simulation x = build(one, false), y = build(two, true);
    bool xDone = runFinished(x), yDone = runFinished(y);
    while (!xDone || !yDone) {
        if (!xDone) xDone = runStep(x);
        if (!yDone) yDone = runStep(y);
    }
    for (auto [alone, together] :
         {std::pair{aloneA, finished(x)}, std::pair{aloneB, finished(y)}}) {
        EXPECT_EQ(together.dump, alone.dump);
        EXPECT_EQ(together.score, alone.score);
        EXPECT_EQ(together.steps, alone.steps);
    }
}

TEST_F(DemoRuns, ThePipelineCallsBackOncePerStepAndTheCallbackCanStopIt) {
    RunSettings two;
    two.maxThreads = 2;
    two.particlesPerThread = 20;
    struct Case {
        int64_t stopAfter;  // steps; 0 never stops
        bool finished;
    };
    for (Case c : {Case{0, true}, Case{25, false}}) {
        SCOPED_TRACE(c.stopAfter);
        SetupRequest r = request();
        int64_t calls = 0;
        bool inOrder = true;
        RunOutcome out = runLattice(r, design, two, [&](Simulation& s) {
            calls++;
            inOrder = inOrder && s.stepCount == calls;  // called after each step, not before
            // Cut the run short on the first call so that the test stays quick.
            if (calls == 1) s.t_max = s.startTime + 0.1 * (s.t_max - s.startTime);
            return c.stopAfter == 0 || calls < c.stopAfter;
        });
        ASSERT_TRUE(out.simulation.root);
        EXPECT_EQ(out.finished, c.finished);
        EXPECT_TRUE(inOrder);
        EXPECT_EQ(calls, out.simulation.stepCount) << "one call per step";
        if (c.finished) {
            EXPECT_TRUE(runFinished(out.simulation));
            EXPECT_EQ(out.score, runScore(out.simulation));
        } else {
            EXPECT_EQ(calls, c.stopAfter);
            EXPECT_FALSE(runFinished(out.simulation));
        }
        // Whether it ended or was stopped, the threads' output files are merged.
        for (const std::string& name : listFolder(".", true)) {
            EXPECT_EQ(name.find("$thread$"), std::string::npos) << name;
        }
    }
}

}  // namespace
