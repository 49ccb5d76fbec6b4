#include "app/autosave.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "app/autosave_file.hpp"
#include "beamline/build/setup.hpp"
#include "beamline/species.hpp"
#include "beamline/tracking/beam_summary.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "run/run.hpp"
#include "support/fault_loop.hpp"
#include "support/test_support.hpp"

namespace {

Particle particle(int32_t id, int32_t state, double t) {
    Particle p;
    p.position = {0.1 * id, -0.2, 1.0 / 3.0 + id};
    p.u = {1e6, -2e6 / 3.0, 2.9e8 + id};
    p.weight = 1.0 / 7.0;
    p.properTime = 1e-9 / 3.0;
    p.nextDecay = 0.75;  // an aperture's energy ratio on an inactive particle
    p.t = t;
    p.decaysLeft = 2;
    p.id = id;
    p.seed = 0xDEADBEEFu + static_cast<uint32_t>(id);
    p.drawCount = 17 + id;
    p.species = id % 3;
    p.state = state;
    p.elementIndex = id % 2;
    return p;
}

// A small running simulation: a beamline of two drifts, two active particles
// and one that has finished.
Simulation simulation(double time) {
    Simulation s;
    s.root = cellCreate(Composite, "demo");
    for (const char* name : {"D1", "D2"}) {
        CellPtr drift = cellCreate(Machine, name);
        drift->typeName = "Drift";
        cellSetNumber(*drift, "Length", 1.5);
        insertChild(*s.root, drift, -1);
    }
    s.seed = 1000;
    s.seedpitch = 7;
    s.effectiveSeed = 1021;
    s.n_decays = 4;
    s.time = time;
    s.startTime = 1e-10;
    s.t_max = 2e-7;
    s.dt = 1e-11;
    s.work = 12.25;
    s.stepCount = 1234567890123;
    s.twiss_interval = 0.5;
    s.allowMask[3] = 0x5A;
    s.scattering_off = 1;
    for (int id = 0; id < 3; id++) s.beam.particles.push_back(particle(id, id == 2 ? 4 : 0, time));
    s.beam.activeEnd = 2;
    return s;
}

Genome genome() {
    return genomeFromText("bfield=042;len=999;#runs=3;#queued=1;", true);
}

QuarantineState quarantine() {
    QuarantineState q;
    q.pending = true;
    q.scores = {1.5, 2.25, 3.125};
    q.extraTotal = 36.5;
    return q;
}

void expectSameParticle(const Particle& a, const Particle& b) {
    EXPECT_EQ(std::memcmp(&a.position, &b.position, sizeof a.position), 0);
    EXPECT_EQ(std::memcmp(&a.u, &b.u, sizeof a.u), 0);
    EXPECT_EQ(a.weight, b.weight);
    EXPECT_EQ(a.properTime, b.properTime);
    EXPECT_EQ(a.nextDecay, b.nextDecay);
    EXPECT_EQ(a.t, b.t);
    EXPECT_EQ(a.decaysLeft, b.decaysLeft);
    EXPECT_EQ(a.id, b.id);
    EXPECT_EQ(a.seed, b.seed);
    EXPECT_EQ(a.drawCount, b.drawCount);
    EXPECT_EQ(a.species, b.species);
    EXPECT_EQ(a.state, b.state);
    EXPECT_EQ(a.elementIndex, b.elementIndex);
}

// Changes bytes of a valid save and signs it again, as a file of another
// build (or a lying one) would be.
void resign(const std::string& path, size_t at, const std::string& bytes) {
    std::string data;
    ASSERT_EQ(readWholeFile(path, data), ReadStatus::Ok);
    data.resize(data.size() - kAutoSaveChecksumBytes);
    data.replace(at, bytes.size(), bytes);
    AutoSaveChecksum sum =
        autoSaveChecksum(reinterpret_cast<const unsigned char*>(data.data()), data.size());
    for (uint32_t w : sum) {
        for (int i = 0; i < 4; i++) data += static_cast<char>(w >> (8 * i));
    }
    ASSERT_TRUE(writeFileAtomic(path, data));
}

}  // namespace

TEST(AutoSave, ChecksumWords) {
    const unsigned char data[] = {1, 2, 3, 4, 5};
    EXPECT_EQ(autoSaveChecksum(data, 3), AutoSaveChecksum{});
    AutoSaveChecksum one = autoSaveChecksum(data, 4);
    // ((4*2) << 16) ^ ((17*4 + 7*3 + 3*2 + 1) << 9) ^ (3*1), by hand.
    EXPECT_EQ(one[0], 573443u);
    EXPECT_EQ(one[1], 0u);
    AutoSaveChecksum two = autoSaveChecksum(data, 5);
    EXPECT_EQ(two[0], one[0]);
    EXPECT_NE(two[1], 0u);
}

TEST(AutoSave, SaveAndRestoreGiveBackTheRunningSimulation) {
    InFolder here;
    MessageRecorder messages;
    Simulation saved = simulation(1.25e-8);
    ASSERT_TRUE(autoSaveWrite("autocli.sav", saved, genome(), quarantine()));
    const std::string first = here.folder.read("autocli.sav");
    EXPECT_EQ(first.substr(0, 7), "v4.44d\n");

    Simulation s;
    Genome g;
    QuarantineState q;
    ASSERT_EQ(autoSaveRead("autocli.sav", s, g, q), AutoSaveReadResult::Restored);
    EXPECT_EQ(s.seed, 1000u);
    EXPECT_EQ(s.effectiveSeed, 1021u);
    EXPECT_EQ(s.n_decays, 4);
    EXPECT_EQ(s.time, 1.25e-8);
    EXPECT_EQ(s.stepCount, 1234567890123);
    EXPECT_EQ(s.work, 12.25);
    EXPECT_EQ(std::memcmp(s.allowMask, saved.allowMask, kAllowMaskBytes), 0);
    EXPECT_EQ(s.scattering_off, 1);
    ASSERT_TRUE(s.root);
    EXPECT_EQ(s.root->name, "demo");
    EXPECT_EQ(s.root->childCount(), 2);
    ASSERT_EQ(s.beam.particles.size(), 3u);
    EXPECT_EQ(s.beam.activeEnd, 2u);
    for (size_t i = 0; i < 3; i++) {
        expectSameParticle(s.beam.particles[i], saved.beam.particles[i]);
        EXPECT_EQ(particleLine(s.beam.particles[i]), s.root.get());
    }
    EXPECT_EQ(genomeToText(g), "bfield=042;len=999;#runs=3;#queued=1;");
    EXPECT_TRUE(q.pending);
    EXPECT_EQ(q.scores, quarantine().scores);
    EXPECT_EQ(q.extraTotal, 36.5);

    // What was read saves to the same bytes.
    ASSERT_TRUE(autoSaveWrite("again.sav", s, g, q));
    EXPECT_EQ(here.folder.read("again.sav"), first);
}

TEST(AutoSave, FilesThatCannotBeUsed) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> spoil;
        AutoSaveReadResult result;
        bool fileStays;
    };
    const Case cases[] = {
        {"last byte changed",
         [](const std::string& p) {
             std::string d;
             readWholeFile(p, d);
             d.back() ^= 1;
             writeFileAtomic(p, d);
         },
         AutoSaveReadResult::Damaged, true},
        {"cut short",
         [](const std::string& p) {
             std::string d;
             readWholeFile(p, d);
             writeFileAtomic(p, d.substr(0, d.size() / 2));
         },
         AutoSaveReadResult::Damaged, true},
        {"shorter than a checksum", [](const std::string& p) { writeFileAtomic(p, "v4.44d\n"); },
         AutoSaveReadResult::Damaged, true},
        {"another version", [](const std::string& p) { resign(p, 0, "v4.45a"); },
         AutoSaveReadResult::OtherVersion, false},
        {"particle count beyond the file",
         [](const std::string& p) {
             std::string d;
             readWholeFile(p, d);
             size_t count = d.size() - kAutoSaveChecksumBytes - 3 * kAutoSaveParticleBytes - 4;
             resign(p, count, std::string("\x00\x00\x00\x40", 4));
         },
         AutoSaveReadResult::Damaged, true},
        {"missing", [](const std::string& p) { removeFile(p); }, AutoSaveReadResult::Missing,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InFolder here;
        MessageRecorder messages;
        ASSERT_TRUE(autoSaveWrite("auto.sav", simulation(1e-9), genome(), quarantine()));
        c.spoil("auto.sav");
        const std::string spoiled = fileExists("auto.sav") ? here.folder.read("auto.sav") : "";
        Simulation s = simulation(5e-9);
        Genome g = genomeFromText("x=001;", true);
        QuarantineState q;
        EXPECT_EQ(autoSaveRead("auto.sav", s, g, q), c.result);
        EXPECT_EQ(fileExists("auto.sav"), c.fileStays);
        if (c.fileStays) {
            EXPECT_EQ(here.folder.read("auto.sav"), spoiled);
        }
        EXPECT_EQ(s.time, 5e-9);  // nothing of a refused file is taken
        EXPECT_EQ(genomeToText(g), "x=001;");
        EXPECT_FALSE(q.pending);
    }
}

TEST(AutoSave, RestoreMessages) {
    InFolder here;
    MessageRecorder messages;
    AutoSave save{"auto.sav", 240, false, 0};
    ASSERT_TRUE(autoSaveWrite("auto.sav", simulation(1.25e-8), genome(), quarantine()));
    Simulation s;
    Genome g;
    QuarantineState q;
    EXPECT_TRUE(autoSaveRestore(save, s, g, q, 77));
    EXPECT_EQ(save.runStartTime, 77);
    EXPECT_NE(messages.output.find("Searching for auto-saved file..."), std::string::npos);
    EXPECT_NE(messages.output.find("Restored simulation at 12.5ns"), std::string::npos);

    std::string d = here.folder.read("auto.sav");
    d.back() ^= 0x80;
    here.folder.write("auto.sav", d);
    messages.output.clear();
    EXPECT_FALSE(autoSaveRestore(save, s, g, q, 78));
    EXPECT_NE(messages.output.find("Auto-save file 'auto.sav' is damaged and was not used"),
              std::string::npos);
    EXPECT_NE(messages.output.find("No file present"), std::string::npos);

    save.off = true;
    EXPECT_FALSE(autoSaveRestore(save, s, g, q, 79));
    EXPECT_FALSE(fileExists("auto.sav"));
}

TEST(AutoSave, TickTiming) {
    InFolder here;
    MessageRecorder messages;
    AutoSave save{"auto.sav", 240, false, 1000};
    Simulation s = simulation(1e-9);
    struct Pass {
        double now;
        bool force;
        bool saves;
    };
    const Pass passes[] = {
        {1000, false, false}, {1239.9, false, false}, {1240, false, true}, {1300, false, false},
        {1305, true, true},   {1544, false, false},   {1545, false, true},
    };
    for (const Pass& p : passes) {
        EXPECT_EQ(autoSaveTick(save, s, genome(), quarantine(), p.force, p.now), p.saves) << p.now;
    }
    EXPECT_NE(messages.output.find("Auto-saving..."), std::string::npos);
    EXPECT_NE(messages.output.find("Done"), std::string::npos);

    autoSaveDiscard(save);
    EXPECT_FALSE(fileExists("auto.sav"));

    ASSERT_TRUE(autoSaveWrite("auto.sav", s, genome(), quarantine()));
    save.off = true;
    EXPECT_FALSE(autoSaveTick(save, s, genome(), quarantine(), true, 2000));
    EXPECT_FALSE(fileExists("auto.sav"));
}

TEST(AutoSave, AFailedSaveLetsTheRunGoOn) {
    InFolder here;
    MessageRecorder messages;
    AutoSave save{"no/such/folder/auto.sav", 240, false, 0};
    EXPECT_FALSE(autoSaveTick(save, simulation(1e-9), genome(), quarantine(), true, 5));
    EXPECT_EQ(save.runStartTime, 5);
    EXPECT_NE(messages.output.find("Could not write auto-save file 'no/such/folder/auto.sav'"),
              std::string::npos);
}

TEST(AutoSave, EveryFailedFileStepLeavesTheOldSaveOrTheNew) {
    InFolder here;
    MessageRecorder messages(DisplayBackground);
    ASSERT_TRUE(autoSaveWrite("old.sav", simulation(1e-9), genome(), quarantine()));
    const std::string old = here.folder.read("old.sav");
    int64_t steps = forEachFileFault(
        [&] { here.folder.write("auto.sav", old); },
        [&] { autoSaveWrite("auto.sav", simulation(2e-9), genome(), quarantine()); },
        [&](int64_t n, bool fired) {
            Simulation s;
            Genome g;
            QuarantineState q;
            ASSERT_EQ(autoSaveRead("auto.sav", s, g, q), AutoSaveReadResult::Restored)
                << "step " << n;
            EXPECT_TRUE(s.time == 1e-9 || s.time == 2e-9);
            if (!fired) {
                EXPECT_EQ(s.time, 2e-9);
            }
        });
    EXPECT_GE(steps, 4);  // open, write, fsync and rename of the new file at least
}

// A run stopped half-way, saved, restored and run on ends with the score and
// the beam of the same run left alone: the restored components find their
// field maps (muon_bend_rf) and scattering tables (front_end's target rod)
// again, not only their run data.
TEST(AutoSave, ARestoredRunEndsWithTheScoreOfAnUninterruptedOne) {
    InFolder here;
    MessageRecorder messages(DisplayBackground);
    std::filesystem::copy(std::string(PELTO_SOURCE_DIR) + "/demo", here.folder.path(),
                          std::filesystem::copy_options::recursive);
    speciesInit();
    struct Case {
        const char* lattice;
        const char* genome;
        int32_t divisor;  // a few hundred particles are enough
        double saved;     // share of the run's time at which it is saved
    };
    const Case cases[] = {
        {"decay_channel", "capturefield=500;", 20, 0.5},
        // Saved while pions are still inside the target rod.
        {"front_end", "tchannel=500;", 20, 0.002},
        {"muon_bend_rf", "s1f=500;c1p=500;c2p=500;", 1, 0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lattice);
        // The first build completes the genome; the second then builds the same run.
        Genome design = genomeFromText(c.genome, true);
        auto build = [&design, &c] {
            SetupRequest request;
            request.latticeName = c.lattice;
            request.seed = 4242;
            request.verbose = false;
            request.particleDivisor = c.divisor;
            return setupSimulation(request, design);
        };
        Simulation whole = build();
        ASSERT_TRUE(whole.root);
        ASSERT_FALSE(whole.beam.particles.empty());
        runTrack(whole);

        Simulation first = build();
        const double tMax = first.t_max;
        // Part-way through the time the whole run took (t_max may be far off).
        first.t_max = first.startTime + c.saved * (whole.time - first.startTime);
        runTrack(first);
        // Saved in the middle of the run, with particles still on their way.
        ASSERT_LT(first.time, tMax);
        ASSERT_GT(beamActiveCount(first.beam), 0u);
        first.t_max = tMax;
        ASSERT_TRUE(autoSaveWrite("auto.sav", first, Genome{}, QuarantineState{}));
        // Restored as another process would: with data files of its own.
        Simulation resumed;
        Genome genome;
        QuarantineState quarantine;
        ASSERT_EQ(autoSaveRead("auto.sav", resumed, genome, quarantine),
                  AutoSaveReadResult::Restored);
        runTrack(resumed);
        EXPECT_EQ(runScore(resumed), runScore(whole));
        EXPECT_EQ(resumed.stepCount, whole.stepCount);
        EXPECT_GT(whole.stepCount, first.stepCount);
        // Not only the score: the final beam is the same, particle for
        // particle. The threads may group the steps differently after a
        // restore, which changes where the array holds a particle and
        // nothing else, so the beams are compared in their canonical order.
        ASSERT_EQ(resumed.beam.particles.size(), whole.beam.particles.size());
        EXPECT_EQ(resumed.beam.activeEnd, whole.beam.activeEnd);
        auto all = [](const Particle&) { return true; };
        const std::vector<const Particle*> resumedOrder = canonicalOrder(resumed.beam, all);
        const std::vector<const Particle*> wholeOrder = canonicalOrder(whole.beam, all);
        size_t differ = 0;
        for (size_t i = 0; i < wholeOrder.size(); i++) {
            const Particle& a = *resumedOrder[i];
            const Particle& b = *wholeOrder[i];
            bool same = std::memcmp(&a.position, &b.position, sizeof a.position) == 0 &&
                        std::memcmp(&a.u, &b.u, sizeof a.u) == 0 && a.weight == b.weight &&
                        a.t == b.t && a.properTime == b.properTime && a.nextDecay == b.nextDecay &&
                        a.id == b.id && a.species == b.species && a.state == b.state &&
                        a.seed == b.seed && a.drawCount == b.drawCount &&
                        a.decaysLeft == b.decaysLeft && a.elementIndex == b.elementIndex;
            differ += same ? 0 : 1;
        }
        EXPECT_EQ(differ, 0u);
    }
}
