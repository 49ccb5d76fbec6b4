// Golden files for the whole reading of config.txt: the file as rewritten and
// the settings it leaves, for the demo file, for no file at all and for a
// hand-edited file full of old labels, bad values and stray entries. The
// expected files were made by the program before its configuration table
// changed shape, so any change to what users see in their file shows here.
#include <gtest/gtest.h>

#include "app/config.hpp"
#include "app/settings.hpp"
#include "common/text.hpp"
#include "platform/files.hpp"
#include "support/test_support.hpp"

namespace {

std::string settingsText(const Settings& s) {
    std::string out;
    out += format("resolution %dx%d\n", s.resolutionX, s.resolutionY);
    out += format("priority %d\n", static_cast<int>(s.priority));
    out += format("threads %d\n", s.threadCount);
    out += format("autoSend %d uploadByHttp %d\n", s.autoSend, s.uploadByHttp);
    out += "webServer " + s.webServer + "\n";
    out += "proxy " + s.proxyHost + format(" %d\n", s.proxyPort);
    out += format("autoSave %.17g off %d\n", s.autoSaveInterval, s.autoSaveOff);
    out += format("latticeUpdateHours %d\n", s.latticeUpdateHours);
    out += format("sampleDownloadHours %d\n", s.sampleDownloadHours);
    out += format("sampleBehaviour %d\n", s.sampleBehaviour);
    out += "sampleUrl " + s.sampleUrl + "\n";
    out += format("resultsMaxBytes %lld\n", static_cast<long long>(s.resultsMaxBytes));
    out += format("keepMode %d keepProportion %.9g\n", s.keepMode,
                  static_cast<double>(s.keepProportion));
    out += "removedStore " + s.removedStore + "\n";
    out += format("sleepOnBattery %d cpuThrottle %d\n", s.sleepOnBattery, s.cpuThrottle);
    out += "preferredLattices " + s.preferredLattices + "\n";
    out += "trialRatios";
    for (int r : s.trialRatios) out += format(" %d", r);
    out += format("\nparticlesPerExtraThread %d requiredRuns %d\n", s.particlesPerExtraThread,
                  s.requiredRuns);
    out += "ftpCommand " + s.ftpCommand + "\n";
    out += format("ftpPassive %d ftpOldCalling %d\n", s.ftpPassive, s.ftpOldCalling);
    return out;
}

std::string dataFile(const std::string& name) {
    std::string text;
    EXPECT_EQ(readWholeFile(std::string(PELTO_TEST_DATA) + "/config/" + name, text), ReadStatus::Ok)
        << name;
    return text;
}

TEST(ConfigRewrite, FilesAndSettingsMatchTheirGoldenCopies) {
    // input: the file before reading ("" for none); the name of its expected files.
    const struct {
        const char* input;
        const char* expected;
    } cases[] = {
        {"demo.txt", "demo"},
        {"", "empty"},
        {"odd.txt", "odd"},
        // A rewritten file is read without a change: no default or corrected
        // value is corrected again.
        {"empty.expected", "empty"},
        {"odd.expected", "odd"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        ScratchFolder dir;
        MessageRecorder rec;
        std::string path = dir.file("config.txt");
        if (*c.input) {
            ASSERT_TRUE(writeFileAtomic(path, dataFile(c.input)));
        }
        settings = Settings{};
        EXPECT_EQ(configRead(path), ConfigReadOutcome::Saved);
        std::string written;
        ASSERT_EQ(readWholeFile(path, written), ReadStatus::Ok);
        EXPECT_EQ(written, dataFile(std::string(c.expected) + ".expected"));
        EXPECT_EQ(settingsText(settings), dataFile(std::string(c.expected) + ".settings"));
    }
    settings = Settings{};
}

}  // namespace
