#include "app/cmdline.hpp"

#include <gtest/gtest.h>

#include "app/run_options.hpp"
#include "app/run_request.hpp"
#include "app/settings.hpp"
#include "app/sim_template.hpp"
#include "app/switches.hpp"
#include "beamline/build/rf_sync.hpp"
#include "lattice/parser.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "support/test_support.hpp"

TEST(HasSwitch, NeedsASpaceBeforeAndABlankOrTheEndAfter) {
    EXPECT_TRUE(hasSwitch("pelto -s", "s"));
    EXPECT_TRUE(hasSwitch("pelto -S", "s"));
    EXPECT_FALSE(hasSwitch("pelto -sx", "s"));
    EXPECT_FALSE(hasSwitch("pelto -scr", "s"));
    EXPECT_TRUE(hasSwitch("pelto -scr", "scr"));
    EXPECT_TRUE(hasSwitch("pelto -s\tx", "s"));
    // Glued to the program path: no space, no switch.
    EXPECT_FALSE(hasSwitch("/opt/pelto-c", "c"));
    // A program path with " -c " inside it does count.
    EXPECT_TRUE(hasSwitch("\"/opt/my -c dir/pelto\"", "c"));
    // Only the first occurrence is looked at.
    EXPECT_FALSE(hasSwitch("pelto -cx -c", "c"));
}

TEST(Words, QuotedStretchesAreOneWord) {
    const char* line = "\"/my dir/pelto\"  -bintotxt \"in file.bin\" out.txt";
    EXPECT_EQ(countWords(line), 4);
    EXPECT_EQ(word(line, 0), "/my dir/pelto");
    EXPECT_EQ(word(line, 2), "in file.bin");
    EXPECT_EQ(word(line, 3), "out.txt");
    EXPECT_EQ(word(line, 4), "");
    EXPECT_EQ(countWords(""), 0);
    EXPECT_EQ(buildCommandLine(3, std::vector<const char*>{"pelto", "a b", "-c"}.data()),
              "pelto \"a b\" -c");
}

TEST(Words, LatticeNameTakesTheSpellingOfItsFile) {
    ScratchFolder dir;
    dir.write("lattices/Alpha.txt", "");
    dir.write("lattices/_hidden.txt", "");
    std::string saved = currentFolder();
    ASSERT_TRUE(setCurrentFolder(dir.path()));
    EXPECT_EQ(latticeFromCommandLine("pelto -c alpha -b"), "Alpha");
    EXPECT_EQ(latticeFromCommandLine("pelto -c _HIDDEN"), "_HIDDEN");
    EXPECT_EQ(latticeFromCommandLine("pelto -c beta"), "beta");
    EXPECT_EQ(latticeFromCommandLine("pelto -c -b"), std::nullopt);
    setCurrentFolder(saved);
}

namespace {

struct Scan : ::testing::Test {
    MessageRecorder rec;
    void SetUp() override {
        runOptions = RunOptions{};
        simulationTemplate = SimulationTemplate{};
        settings = Settings{};
        graphicsUnavailable = false;
    }
};

}  // namespace

TEST_F(Scan, DisplayModeSwitchesInTheirOrder) {
    scanSwitches("pelto");
    EXPECT_EQ(displayMode, DisplayGraphics);
    EXPECT_EQ(runOptions.autoSaveFileName, "autogfx.sav");
    EXPECT_EQ(runOptions.queueFileName, "queuegfx.txt");
    scanSwitches("pelto -c -b");
    EXPECT_EQ(displayMode, DisplayConsole);
    EXPECT_EQ(runOptions.queueFileName, "queuecli.txt");
    scanSwitches("pelto -view -c");
    EXPECT_EQ(displayMode, DisplayConsole);
    EXPECT_TRUE(runOptions.viewOnly);
    EXPECT_FALSE(runOptions.resultChecksum);
    scanSwitches("pelto -scr");
    EXPECT_TRUE(runOptions.screensaver);
    EXPECT_FALSE(runOptions.sendAndQuit);
    scanSwitches("pelto -g");
    EXPECT_FALSE(runOptions.autoFrameRate);
}

TEST_F(Scan, BackgroundKeepsTheFileNamesItHad) {
    scanSwitches("pelto -b");
    EXPECT_EQ(displayMode, DisplayBackground);
    EXPECT_EQ(runOptions.autoSaveFileName, "auto.sav");
    EXPECT_EQ(runOptions.queueFileName, "queue.txt");
    EXPECT_TRUE(runOptions.resultChecksum);
}

TEST_F(Scan, RecheckSwitches) {
    scanSwitches("pelto -r");
    EXPECT_TRUE(runOptions.recheckLast);
    EXPECT_EQ(runOptions.runsLeft, 1);
    EXPECT_FALSE(runOptions.autoView);

    SetUp();
    scanSwitches("pelto -r5 -c");
    EXPECT_EQ(runOptions.runsLeft, 5);
    EXPECT_TRUE(runOptions.autoView);

    SetUp();
    scanSwitches("pelto -R");
    EXPECT_TRUE(runOptions.recheckLast);
    EXPECT_EQ(runOptions.runsLeft, -1);

    SetUp();
    scanSwitches("pelto -rx");
    EXPECT_FALSE(runOptions.recheckLast);

    SetUp();
    scanSwitches("pelto -rfsync");
    EXPECT_FALSE(runOptions.recheckLast);
    EXPECT_TRUE(runOptions.rfSyncLog);
    EXPECT_EQ(clientRunRequest("x", "").rfSyncLogFile, "rfsync.log");
    EXPECT_TRUE(runOptions.haltAfterInit);
}

TEST_F(Scan, RunModesAndDebuggingSwitches) {
    scanSwitches("pelto -S -queue -once -singlethread");
    EXPECT_TRUE(runOptions.sendAndQuit);
    EXPECT_EQ(displayMode, DisplayConsole);
    EXPECT_TRUE(runOptions.queueOnly);
    EXPECT_EQ(runOptions.runsLeft, 1);
    EXPECT_EQ(settings.threadCount, 1);

    SetUp();
    scanSwitches("pelto -parse -outerloop");
    EXPECT_TRUE(runOptions.parseReport);
    EXPECT_EQ(latticeParseReport, "PARSEreport.log");
    latticeParseReport.clear();
    EXPECT_TRUE(runOptions.outerLoopDebug);
    EXPECT_FALSE(runOptions.resultChecksum);
}

TEST_F(Scan, ParticleDivisorAndNearbyInterval) {
    scanSwitches("pelto -/4 -bounds_loop=5000");
    EXPECT_EQ(simulationTemplate.particleDivisor, 4);
    EXPECT_FALSE(runOptions.resultChecksum);
    EXPECT_EQ(simulationTemplate.nearbyInterval, 1000);
    scanSwitches("pelto -/0 -bounds_loop=-3");
    EXPECT_EQ(simulationTemplate.particleDivisor, 1);  // never divide by zero
    EXPECT_EQ(simulationTemplate.nearbyInterval, 1);
    // Every scan starts over with checksums on.
    scanSwitches("pelto -c");
    EXPECT_TRUE(runOptions.resultChecksum);
}

TEST_F(Scan, GraphicsFallsBackToConsoleWhenNoWindowCanOpen) {
    graphicsUnavailable = true;
    scanSwitches("pelto -g");
    EXPECT_EQ(displayMode, DisplayConsole);
    EXPECT_EQ(runOptions.autoSaveFileName, "autogfx.sav");
}

TEST(CommandLineRecord, WhatLaterStepsReadIsTakenOnce) {
    const struct {
        const char* text;
        const char* lattice;  // "" for none
        bool list, legacyList, coords, forever, params;
    } cases[] = {
        {"pelto", "", false, false, false, false, false},
        {"pelto -c front_end -b", "front_end", false, false, false, false, false},
        {"pelto \"my lattice\" -l", "my lattice", true, false, false, false, false},
        {"pelto -l42", "", false, true, false, false, false},
        // -L is -l as well (switch words ignore case), with coordinates.
        {"pelto -L dogleg", "dogleg", true, false, true, false, false},
        // -l as a word only: "-lx" asks for no list.
        {"pelto -lx", "", false, false, false, false, false},
        {"pelto -R", "", false, false, false, true, false},
        // -R and -L are case-sensitive, -param: is not.
        {"pelto -r -PARAM:S1f=2", "", false, false, false, false, true},
        {"pelto -param:x=1 -param:y=2 alpha", "alpha", false, false, false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        CommandLine line = readCommandLine(c.text);
        EXPECT_EQ(line.text, c.text);
        EXPECT_EQ(line.latticeWord.value_or(""), c.lattice);
        EXPECT_EQ(line.componentList, c.list);
        EXPECT_EQ(line.legacyComponentList, c.legacyList);
        EXPECT_EQ(line.componentListAsked(), c.list || c.legacyList);
        EXPECT_EQ(line.componentListCoords, c.coords);
        EXPECT_EQ(line.recheckForever, c.forever);
        EXPECT_EQ(line.paramOverrides, c.params);
    }
}

TEST_F(Scan, ReapplyingTheRecordRestoresWhatTheConfigurationOverwrote) {
    CommandLine line = readCommandLine("pelto -singlethread -c");
    applySwitches(line);
    settings.threadCount = 8;  // a reread configuration
    displayMode = DisplayGraphics;
    applySwitches(line);
    EXPECT_EQ(settings.threadCount, 1);
    EXPECT_EQ(displayMode, DisplayConsole);
}

TEST(SwitchTable, HelpListsEverySwitchAndNamesNoneWithoutARow) {
    std::string help;
    ASSERT_EQ(readWholeFile(PELTO_TEST_DATA "/help.txt", help), ReadStatus::Ok);
    EXPECT_EQ(helpText(), help);
    // Every switch the help names, alone on a command line, is found by a row.
    size_t at = 0;
    int named = 0;
    while ((at = help.find('-', at)) != std::string::npos) {
        size_t end = help.find_first_of(" \t\n,", at);
        std::string token = help.substr(at, end - at);
        bool startsWord = at == 0 || help[at - 1] == '\n' || help[at - 1] == ' ';
        at = end;
        if (!startsWord || token.size() < 2) continue;
        named++;
        CommandLine line = readCommandLine("pelto " + token);
        bool found = false;
        for (const auto& hit : line.hits) found = found || hit.has_value();
        EXPECT_TRUE(found) << token << " is in the help but no row finds it";
    }
    EXPECT_GE(named, 22);  // at least one per line of the listing
    // And every listed row shows up in the help as "-name".
    for (int i = 0; i < kSwitchCount; i++) {
        SwitchName row = switchName(i);
        if (row.listed) {
            EXPECT_NE(help.find(std::string("-") + row.name), std::string::npos) << row.name;
        }
    }
}
