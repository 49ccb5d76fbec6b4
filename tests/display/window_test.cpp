// The real window, run headless: frames are drawn, key events pushed into
// SDL's queue act as a person's key presses, screenshots are real files.
#include <gtest/gtest.h>

#include <SDL.h>

#include <filesystem>

#include "display/display.hpp"
#include "display_fixture.hpp"
#include "platform/process.hpp"
#include "support/test_support.hpp"

namespace {

struct Window : ::testing::Test {
    ScratchFolder dir;
    std::string saved = currentFolder();
    CellPtr root;
    std::vector<DisplayParticle> beam;
    RunControl run;

    void SetUp() override {
        useHeadlessVideo();
        viewSettings() = ViewSettings{};
        root = placedDemoLattice("decay_channel", 500);
        ASSERT_TRUE(root);
        beam = beamAlong(*root, 2.0, 3000, 400);
        ASSERT_TRUE(setCurrentFolder(dir.path()));
        std::string why;
        ASSERT_TRUE(displayOpen({"Pelto test", 1024, 768, false}, why)) << why;
        displayPrepare(root.get(), false);
    }
    void TearDown() override {
        displayClose();
        setCurrentFolder(saved);
        viewSettings() = ViewSettings{};
    }
    // One pass of the run loop: draw, then the keys.
    bool pass() {
        displayDrawFrame(frameOf(*root, beam, 3.2e-9), run);
        return displayHandleKeys(run, root.get());
    }
};

}  // namespace

TEST_F(Window, DemoScreenshot) {
    for (int i = 0; i < 10; i++) pass();
    std::string name = displayScreenshot();
    ASSERT_EQ(name, "screenshot00000.bmp");
    if (const char* out = std::getenv("PELTO_SCREENSHOT_OUT")) {
        std::filesystem::copy_file(name, out, std::filesystem::copy_options::overwrite_existing);
    }
}

TEST_F(Window, ScratchLook) {
    const char* lat = std::getenv("LOOK_LATTICE");
    if (!lat) GTEST_SKIP();
    root = placedDemoLattice(lat, 500);
    beam = beamAlong(*root, std::atof(std::getenv("LOOK_S")), 3000, 400);
    viewSettings().autoView = std::getenv("LOOK_AUTO") != nullptr;
    if (std::getenv("LOOK_KEYS")) {
        for (const char* k = std::getenv("LOOK_KEYS"); *k; k++) tapKey(*k);
    }
    displayPrepare(root.get(), false);
    for (int i = 0; i < 12; i++) pass();
    std::string name = displayScreenshot();
    std::filesystem::copy_file(name, std::getenv("LOOK_OUT"), std::filesystem::copy_options::overwrite_existing);
}
