// A run built from the demo lattice, as the main cycle will hand it to the
// display: the frame carries the beam with energies and charges, and draws.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "beamline/beam.hpp"
#include "beamline/build/nearby.hpp"
#include "beamline/build/setup.hpp"
#include "beamline/species.hpp"
#include "beamline/tracking/tracking.hpp"
#include "common/text.hpp"
#include "display/display.hpp"
#include "display/simulation_frame.hpp"
#include "display_fixture.hpp"
#include "lattice/parser.hpp"
#include "model/randhash.hpp"
#include "platform/process.hpp"
#include "support/test_support.hpp"

namespace {

struct BuiltRun : ::testing::Test {
    ScratchFolder dir;
    std::string saved = currentFolder();
    MessageRecorder rec;
    Simulation simulation;

    void SetUp() override {
        std::filesystem::copy(PELTO_SOURCE_DIR "/demo", dir.path(),
                              std::filesystem::copy_options::recursive);
        ASSERT_TRUE(setCurrentFolder(dir.path()));
        setMissingLevelRule([](std::string_view, const Genome&) { return 700; });
        SetupRequest request;
        request.latticeName = "dogleg";
        request.seed = 1;
        request.verbose = false;
        request.particleDivisor = 20;
        Genome genome;
        simulation = setupSimulation(request, genome);
        resetMissingLevelRule();
        if (!simulation.root) return;
        // A beam of negative pions along the first metres, in place of the
        // one the lattice's rod source made, the last ten of them already
        // stopped.
        beamClear(simulation.beam);
        for (int i = 0; i < 200; i++) {
            Particle& p = addParticle(simulation, PiMinus, i + 1);
            p.position = {0.001 * (i % 7), -0.001 * (i % 5), 0.01 * i};
            p.u = {0, 0, 1e8 + 1e6 * i};
        }
        for (size_t i = simulation.beam.particles.size() - 10; i < simulation.beam.particles.size();
             i++) {
            simulation.beam.particles[i].state = StateStopped;
        }
        simulation.beam.activeEnd -= 10;
        simulation.time = 1.5e-9;
    }
    void TearDown() override { setCurrentFolder(saved); }
};

}  // namespace

TEST_F(BuiltRun, FrameCarriesTheBeam) {
    ASSERT_TRUE(simulation.root) << rec.output;
    ASSERT_GT(simulation.beam.activeEnd, 0u) << rec.output.substr(0, 2000);
    std::vector<DisplayParticle> storage;
    DisplayFrame frame = displayFrameOf(simulation, storage);
    EXPECT_EQ(frame.root, simulation.root.get());
    EXPECT_EQ(frame.latticeName, "dogleg");
    EXPECT_EQ(frame.activeCount, 190);
    EXPECT_EQ(frame.slotCount, 200);
    EXPECT_EQ(frame.time, 1.5e-9);
    EXPECT_EQ(frame.particles[195].state, StateStopped);
    ASSERT_EQ(frame.particles.size(), simulation.beam.particles.size());
    for (size_t i = 0; i < frame.particles.size(); i += 23) {
        const Particle& p = simulation.beam.particles[i];
        const DisplayParticle& d = frame.particles[i];
        EXPECT_EQ(d.species, PiMinus);
        EXPECT_EQ(d.charge, -1);
        // (gamma - 1) m c^2 with gamma from u = gamma v, to rounding.
        double gb = (1e8 + 1e6 * static_cast<double>(i)) / 299792458.0;
        EXPECT_NEAR(d.kineticMeV, (std::sqrt(1 + gb * gb) - 1) * 139.5702, 1e-9 * d.kineticMeV);
        // eV to MeV: the only change the display makes to the energy.
        EXPECT_DOUBLE_EQ(d.kineticMeV, kineticEnergy(p) / kElectronVolt / 1e6);
        EXPECT_EQ(d.position.z, p.position.z);
    }
    EXPECT_STREQ(frame.speciesName(PiMinus), "pi-");
    EXPECT_EQ(frame.speciesName(kSpeciesCount), nullptr);
}

TEST_F(BuiltRun, TheBuiltBeamlineAndBeamAreDrawn) {
    ASSERT_TRUE(simulation.root) << rec.output;
    useHeadlessVideo();
    std::string why;
    ASSERT_TRUE(displayOpen({"Pelto test", 800, 600, false}, why)) << why;
    displayPrepare(simulation.root.get(), false);
    std::vector<DisplayParticle> storage;
    RunControl run;
    // Boxes on: the build computed them.
    viewSettings().showMask |= ShowBoxes;
    for (int i = 0; i < 3; i++) displayDrawFrame(displayFrameOf(simulation, storage), run);
    std::string withBeam = displayScreenshot();
    simulation.beam.particles.clear();
    simulation.beam.activeEnd = 0;
    for (int i = 0; i < 20; i++) displayDrawFrame(displayFrameOf(simulation, storage), run);
    std::string without = displayScreenshot();
    displayClose();
    viewSettings() = ViewSettings{};
    EXPECT_EQ(withBeam, "screenshot00000.bmp");
    EXPECT_TRUE(dir.read(withBeam) != dir.read(without));
}

// The picture of the README: the demo front end, its rod-source pions
// tracked for a few nanoseconds after they leave the target.
TEST(TrackedRun, DemoScreenshot) {
    ScratchFolder dir;
    std::string saved = currentFolder();
    MessageRecorder rec;
    ASSERT_TRUE(setCurrentFolder(PELTO_SOURCE_DIR "/demo"));
    setMissingLevelRule([](std::string_view, const Genome&) { return 500; });
    SetupRequest request;
    request.latticeName = "front_end";
    request.seed = 3;
    request.verbose = false;
    request.particleDivisor = 4;  // a lighter beam keeps the test quick
    Genome genome;
    Simulation simulation = setupSimulation(request, genome);
    resetMissingLevelRule();
    ASSERT_TRUE(setCurrentFolder(dir.path()));
    ASSERT_TRUE(simulation.root) << rec.output;
    ASSERT_FALSE(simulation.beam.particles.empty());
    while (simulation.time < 12e-9) advanceStep(simulation, true, kTrackNormal, false);

    useHeadlessVideo();
    std::string why;
    ASSERT_TRUE(displayOpen({"Pelto", 1024, 768, false}, why)) << why;
    viewSettings() = ViewSettings{};
    viewSettings().phaseSpacePlots = true;
    displayPrepare(simulation.root.get(), false);
    std::vector<DisplayParticle> storage;
    RunControl run;
    for (int i = 0; i < 12; i++) displayDrawFrame(displayFrameOf(simulation, storage), run);
    std::string name = displayScreenshot();
    displayClose();
    viewSettings() = ViewSettings{};
    setCurrentFolder(saved);
    ASSERT_EQ(name, "screenshot00000.bmp");
    // Refreshes the picture of the README: PELTO_SCREENSHOT_OUT=/tmp/shot.bmp
    if (const char* out = std::getenv("PELTO_SCREENSHOT_OUT")) {
        std::filesystem::copy_file(dir.file(name), out,
                                   std::filesystem::copy_options::overwrite_existing);
    }
}
