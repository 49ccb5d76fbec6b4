// Graphics mode's start and end as the application drives them: the window
// opens only where a display exists, and the view settings stored when the
// user quits come back at the next start.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/graphics.hpp"
#include "app/run_options.hpp"
#include "app/settings.hpp"
#include "common/report.hpp"
#include "display/display.hpp"
#include "platform/process.hpp"
#include "support/test_support.hpp"

namespace {

struct Graphics : ::testing::Test {
    ScratchFolder dir;
    std::string saved = currentFolder();
    RunOptions savedOptions = runOptions;

    void SetUp() override { ASSERT_TRUE(setCurrentFolder(dir.path())); }
    void TearDown() override {
        closeGraphics();
        setCurrentFolder(saved);
        runOptions = savedOptions;
        viewSettings() = ViewSettings{};
    }
};

// Sets an environment variable for one test and puts it back afterwards.
struct EnvVar {
    std::string name;
    std::string old;
    bool had;
    EnvVar(const char* n, const char* value) : name(n) {
        const char* v = std::getenv(n);
        had = v != nullptr;
        if (had) old = v;
        if (value) {
            setenv(n, value, 1);
        } else {
            unsetenv(n);
        }
    }
    ~EnvVar() {
        if (had) {
            setenv(name.c_str(), old.c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
};

}  // namespace

TEST_F(Graphics, NoDisplayMeansNoWindow) {
    EnvVar a("DISPLAY", nullptr), b("WAYLAND_DISPLAY", nullptr), c("SDL_VIDEODRIVER", nullptr);
    EXPECT_FALSE(openGraphics());
    EXPECT_FALSE(displayIsOpen());
}

TEST_F(Graphics, OpensAtTheConfiguredResolution) {
    EnvVar c("SDL_VIDEODRIVER", "dummy");
    settings.resolutionX = 640;
    settings.resolutionY = 480;
    ASSERT_TRUE(openGraphics());
    EXPECT_TRUE(displayIsOpen());
    ASSERT_EQ(displayScreenshot(), "screenshot00000.bmp");
    // 640 x 480 x 3 bytes of pixels after a 54-byte header.
    EXPECT_EQ(dir.read("screenshot00000.bmp").size(), 54u + 640 * 480 * 3);
    // Messages now also go into the window's message band.
    DisplayMode mode = displayMode;
    displayMode = DisplayGraphics;
    report("Loading 'results.dat'... OK (3 results)");
    displayMode = mode;
    ASSERT_EQ(displayScreenshot(), "screenshot00001.bmp");
    EXPECT_TRUE(dir.read("screenshot00000.bmp") != dir.read("screenshot00001.bmp"));
    closeGraphics();
    EXPECT_FALSE(displayIsOpen());
    settings.resolutionX = settings.resolutionY = 0;
}

TEST_F(Graphics, SettingsStoredOnQuitComeBackAtTheNextStart) {
    // This process: the user changes the view, then quits.
    ViewSettings& view = viewSettings();
    view.showMask = 0x1234;
    view.autoFrameRate = false;
    view.autoView = false;
    view.stepsPerPass = 32;
    view.phaseSpacePlots = true;
    view.fieldOfView = 2.5;
    storeDisplaySettings();

    // The next process starts with the switches' values, which the file replaces.
    viewSettings() = ViewSettings{};
    runOptions.autoFrameRate = true;
    runOptions.autoView = true;
    loadDisplaySettingsAtStart();
    EXPECT_EQ(viewSettings().showMask, 0x1234);
    EXPECT_EQ(viewSettings().stepsPerPass, 32);
    EXPECT_TRUE(viewSettings().phaseSpacePlots);
    EXPECT_EQ(viewSettings().fieldOfView, 2.5);
    EXPECT_FALSE(runOptions.autoFrameRate);
    EXPECT_FALSE(runOptions.autoView);
}

TEST_F(Graphics, WithoutAFileTheSwitchesDecide) {
    runOptions.autoFrameRate = false;  // as -g sets it
    runOptions.autoView = true;
    loadDisplaySettingsAtStart();
    EXPECT_FALSE(viewSettings().autoFrameRate);
    EXPECT_TRUE(viewSettings().autoView);
    EXPECT_FALSE(runOptions.autoFrameRate);
}

TEST_F(Graphics, ASwitchThatTurnsAutomaticsOffWinsOverTheFileForThisRunOnly) {
    // An earlier run left both automatics on in the file.
    viewSettings().autoFrameRate = true;
    viewSettings().autoView = true;
    viewSettings().stepsPerPass = 95;
    storeDisplaySettings();
    struct Case {
        const char* switches;
        bool autoFrameRate, autoView;  // as the switches leave them
    };
    for (const Case& c : {Case{"-g", false, true}, Case{"-view", true, false},
                          Case{"-r", false, false}, Case{"none", true, true}}) {
        viewSettings() = ViewSettings{};
        runOptions.autoFrameRate = c.autoFrameRate;
        runOptions.autoView = c.autoView;
        loadDisplaySettingsAtStart();
        EXPECT_EQ(viewSettings().autoFrameRate, c.autoFrameRate) << c.switches;
        EXPECT_EQ(viewSettings().autoView, c.autoView) << c.switches;
        EXPECT_EQ(runOptions.autoFrameRate, c.autoFrameRate) << c.switches;
        EXPECT_EQ(viewSettings().stepsPerPass, 95) << c.switches;
        // Quitting stores the file's automatics back, not the switch's.
        storeDisplaySettings();
        viewSettings() = ViewSettings{};
        runOptions.autoFrameRate = runOptions.autoView = true;
        loadDisplaySettingsAtStart();
        EXPECT_TRUE(viewSettings().autoFrameRate) << c.switches;
        EXPECT_TRUE(viewSettings().autoView) << c.switches;
    }
    // What the keys changed during a -g run is kept: A turned the automatic
    // frame rate on, V the automatic view off.
    runOptions.autoFrameRate = false;
    loadDisplaySettingsAtStart();
    viewSettings().autoFrameRate = true;
    viewSettings().autoView = false;
    storeDisplaySettings();
    viewSettings() = ViewSettings{};
    runOptions.autoFrameRate = runOptions.autoView = true;
    loadDisplaySettingsAtStart();
    EXPECT_TRUE(viewSettings().autoFrameRate);
    EXPECT_FALSE(viewSettings().autoView);
}
