// The main cycle's own rules, in process: the throttle's sleeps, the
// configuration watch and the legacy component listing. Whole runs of the
// program are in tests/integration/cycle_test.cpp.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "app/component_list.hpp"
#include "app/config.hpp"
#include "app/cycle_state.hpp"
#include "app/run_options.hpp"
#include "app/settings.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "support/test_support.hpp"

namespace {

// File times can be as coarse as a clock tick: an edit must look newer.
void writeLater(const ScratchFolder& folder, const std::string& name, const std::string& text) {
    std::filesystem::file_time_type before{};
    bool existed = std::filesystem::exists(folder.file(name));
    if (existed) before = std::filesystem::last_write_time(folder.file(name));
    folder.write(name, text);
    if (existed)
        std::filesystem::last_write_time(folder.file(name), before + std::chrono::seconds(1));
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

}  // namespace

TEST(Cycle, ThrottleSleepsSoThatWorkIsItsShareOfTheTime) {
    struct Case {
        int throttle;
        double elapsed;
        uint32_t sleepMs;
    };
    const Case cases[] = {
        {50, 0.1, 100},    // half the time: sleep as long as the work took
        {25, 0.2, 600},    // a quarter: three times as long
        {75, 0.3, 100},    // (25 x 0.3 / 75) s
        {1, 0.02, 1980},   // the lowest setting
        {99, 0.05, 0},     // 0.505 ms truncates to nothing
        {100, 1.0, 0},     // no throttle
        {50, 4.99, 4990},  // still made up for
        {50, 5.0, 0},      // a gap such as a battery sleep is not
        {50, 60.0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(throttleSleepMs(c.throttle, c.elapsed), c.sleepMs)
            << c.throttle << "% after " << c.elapsed << " s";
    }
}

TEST(Cycle, AnEditedConfigurationIsReadAgainAndTheRunsAskedForKeepCounting) {
    InFolder here;
    MessageRecorder messages;
    RunOptions savedOptions = runOptions;
    Settings savedSettings = settings;
    DisplayMode savedMode = displayMode;

    CycleState s;
    s.line = readCommandLine("pelto -c -r5");
    here.folder.write("config.txt", "CPU throttle (%): 30\n");
    configRead(kConfigFile);
    s.configTime = fileModTimeNs(kConfigFile);
    runOptions.runsLeft = 2;  // three of the five runs done

    writeLater(here.folder, "config.txt", "CPU throttle (%): 250\nThreads: 3\n");
    watchConfiguration(s);
    EXPECT_EQ(settings.cpuThrottle, 100);
    EXPECT_EQ(settings.threadCount, 3);
    EXPECT_EQ(runOptions.runsLeft, 2);
    EXPECT_TRUE(runOptions.recheckLast);
    EXPECT_EQ(displayMode, DisplayConsole);
    // The file is rewritten complete, and that rewrite is not a change.
    EXPECT_NE(here.folder.read("config.txt").find("CPU throttle (%): 100\n"), std::string::npos);
    EXPECT_EQ(s.configTime, fileModTimeNs(kConfigFile));
    settings.threadCount = 7;
    watchConfiguration(s);
    EXPECT_EQ(settings.threadCount, 7);

    // A file removed and created again counts as a change too.
    std::filesystem::remove(here.folder.file("config.txt"));
    watchConfiguration(s);
    EXPECT_EQ(settings.threadCount, 0);

    runOptions = savedOptions;
    settings = savedSettings;
    displayMode = savedMode;
}

TEST(ComponentList, LegacyChannelEndsAtThirtyMetresOrThirtyFourSolenoids) {
    struct Case {
        int32_t level;
        size_t solenoids;
        const char* first[4];
        const char* last[2];
    };
    const Case cases[] = {
        {0,
         34,
         {"Z position of rod relative to centre of S1: -0.150000", "Rod angle: 0.000000",
          "S1: Field=0.000000 Length=0.200000 Radius=0.100000", "D1: Length=0.500000"},
         // The last drift may be left out altogether.
         {"S34: Field=-4.000000 Length=0.200000 Radius=0.100000", "D34: Length=0.000000"}},
        {999,
         19,
         {"Z position of rod relative to centre of S1: 0.150000", "Rod angle: 0.500000",
          "S1: Field=20.000000 Length=0.450000 Radius=0.100000", "D1: Length=1.000000"},
         // 30.025 m after the nineteenth pair.
         {"S19: Field=4.000000 Length=0.600000 Radius=0.400000", "D19: Length=1.000000"}},
    };
    for (const Case& c : cases) {
        setMissingLevelRule([&c](std::string_view, const Genome&) { return c.level; });
        Genome genome;
        std::vector<std::string> got = lines(legacyChannelListing(genome));
        resetMissingLevelRule();
        ASSERT_EQ(got.size(), 2 + 2 * c.solenoids) << c.level;
        for (size_t i = 0; i < 4; i++) EXPECT_EQ(got[i], c.first[i]) << c.level;
        EXPECT_EQ(got[got.size() - 2], c.last[0]) << c.level;
        EXPECT_EQ(got.back(), c.last[1]) << c.level;
        EXPECT_EQ(genomeGet(genome, "s2r"), c.level);
        EXPECT_EQ(genomeHas(genome, "s1r"), 0) << "the first solenoid's radius is fixed";
    }
    Genome mixed;
    genomeSet(mixed, "s2f", 999);
    genomeSet(mixed, "s5f", 0);
    setMissingLevelRule([](std::string_view, const Genome&) { return 500; });
    std::string text = legacyChannelListing(mixed);
    resetMissingLevelRule();
    EXPECT_NE(text.find("S2: Field=5.000000"), std::string::npos);
    EXPECT_NE(text.find("S5: Field=-4.000000"), std::string::npos);
}
