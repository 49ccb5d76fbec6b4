// "display.dat": every setting survives a write and a read, and a damaged or
// foreign file cannot put the view into a state the keys could not reach.
#include <gtest/gtest.h>

#include <functional>

#include "display/display_file.hpp"
#include "support/test_support.hpp"

namespace {

// Every stored setting away from its default.
ViewSettings changedSettings() {
    ViewSettings v;
    v.showMask = 0xA5C3;
    v.autoFrameRate = false;
    v.stepsPerPass = 64;
    v.autoView = false;
    v.infoMode = 2;
    v.smallText = true;
    v.bigParticles = true;
    v.particleInfo = true;
    v.phaseSpacePlots = true;
    v.showD = true;
    v.parameterGraphs = 5;
    v.graphsOn = true;
    v.projection = Projection::Stereo;
    v.fieldOfView = 1.05 * 1.05 * 1.05;
    v.stereoColours = 2;
    v.stereoDepth = 0.13;
    v.stereoRange = 1.1 / 3;
    v.panZ = -2.5;
    v.panX = 0.125;
    return v;
}

void expectSame(const ViewSettings& a, const ViewSettings& b) {
    EXPECT_EQ(a.showMask, b.showMask);
    EXPECT_EQ(a.autoFrameRate, b.autoFrameRate);
    EXPECT_EQ(a.stepsPerPass, b.stepsPerPass);
    EXPECT_EQ(a.autoView, b.autoView);
    EXPECT_EQ(a.infoMode, b.infoMode);
    EXPECT_EQ(a.smallText, b.smallText);
    EXPECT_EQ(a.bigParticles, b.bigParticles);
    EXPECT_EQ(a.particleInfo, b.particleInfo);
    EXPECT_EQ(a.phaseSpacePlots, b.phaseSpacePlots);
    EXPECT_EQ(a.showD, b.showD);
    EXPECT_EQ(a.parameterGraphs, b.parameterGraphs);
    EXPECT_EQ(a.graphsOn, b.graphsOn);
    EXPECT_EQ(a.projection, b.projection);
    EXPECT_EQ(a.fieldOfView, b.fieldOfView);  // exact: written with 17 digits
    EXPECT_EQ(a.stereoColours, b.stereoColours);
    EXPECT_EQ(a.stereoDepth, b.stereoDepth);
    EXPECT_EQ(a.stereoRange, b.stereoRange);
    EXPECT_EQ(a.panZ, b.panZ);
    EXPECT_EQ(a.panX, b.panX);
}

}  // namespace

TEST(DisplayFile, EverySettingSurvivesAWriteAndARead) {
    ScratchFolder dir;
    ViewSettings written = changedSettings();
    ASSERT_TRUE(saveDisplaySettings(dir.file("display.dat"), written));
    ViewSettings read;
    ASSERT_TRUE(loadDisplaySettings(dir.file("display.dat"), read));
    expectSame(read, written);
    // The session state of an entry is not a setting.
    EXPECT_EQ(read.entryMode, EntryMode::None);
}

TEST(DisplayFile, AMissingFileChangesNothing) {
    ScratchFolder dir;
    ViewSettings v = changedSettings();
    EXPECT_FALSE(loadDisplaySettings(dir.file("display.dat"), v));
    expectSame(v, changedSettings());
}

TEST(DisplayFile, UnknownAndBadLinesAreSkippedOneByOne) {
    struct Case {
        const char* line;
        bool changesSteps;
    };
    // Each line either sets stepsPerPass to 7 or leaves it alone; the
    // following line must be read in every case.
    for (const Case& c :
         {Case{"stepsPerPass: 7", true}, Case{"STEPSPERPASS:7", true},
          Case{"stepsPerPass: 0", false}, Case{"stepsPerPass: 7x", false},
          Case{"stepsPerPass: -3", false}, Case{"stepsPerPass: 99999999999999", false},
          Case{"stepsPerPass:", false}, Case{"a setting from a newer version: 3", false},
          Case{"no colon here", false}}) {
        ViewSettings v;
        std::string text = std::string("Pelto display settings\n") + c.line + "\ninfoMode: 0\n";
        ASSERT_TRUE(applyDisplaySettingsText(text, v)) << c.line;
        EXPECT_EQ(v.stepsPerPass, c.changesSteps ? 7 : 1) << c.line;
        EXPECT_EQ(v.infoMode, 0) << c.line;
    }
}

TEST(DisplayFile, RangesOfTheOtherKinds) {
    struct Case {
        const char* line;
        std::function<bool(const ViewSettings&)> unchanged;
    };
    ViewSettings d;
    for (const Case& c : {
             Case{"infoMode: 3", [&](const ViewSettings& v) { return v.infoMode == d.infoMode; }},
             Case{"autoView: 2", [&](const ViewSettings& v) { return v.autoView == d.autoView; }},
             Case{"showMask: 65536",
                  [&](const ViewSettings& v) { return v.showMask == d.showMask; }},
             Case{"fieldOfView: 0",
                  [&](const ViewSettings& v) { return v.fieldOfView == d.fieldOfView; }},
             Case{"fieldOfView: nan",
                  [&](const ViewSettings& v) { return v.fieldOfView == d.fieldOfView; }},
             Case{"panZ: inf", [&](const ViewSettings& v) { return v.panZ == d.panZ; }},
             Case{"projection: sideways",
                  [&](const ViewSettings& v) { return v.projection == d.projection; }},
             Case{"stereoColours: 3",
                  [&](const ViewSettings& v) { return v.stereoColours == d.stereoColours; }},
         }) {
        ViewSettings v;
        applyDisplaySettingsText(std::string("Pelto display settings\n") + c.line + "\n", v);
        EXPECT_TRUE(c.unchanged(v)) << c.line;
    }
}

TEST(DisplayFile, ForeignAndOversizedFilesAreRefused) {
    ScratchFolder dir;
    ViewSettings v;
    EXPECT_FALSE(applyDisplaySettingsText("stepsPerPass: 7\n", v));
    EXPECT_FALSE(applyDisplaySettingsText(std::string("\x01\x00\x01\x01", 4), v));
    dir.write("display.dat", "Pelto display settings\nstepsPerPass: 7\n" + std::string(70000, '#'));
    EXPECT_FALSE(loadDisplaySettings(dir.file("display.dat"), v));
    EXPECT_EQ(v.stepsPerPass, 1);
    // Lines may end in CR LF, as files edited elsewhere do.
    EXPECT_TRUE(applyDisplaySettingsText("Pelto display settings\r\nstepsPerPass: 9\r\n", v));
    EXPECT_EQ(v.stepsPerPass, 9);
}
