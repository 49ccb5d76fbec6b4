#include "platform/log_file.hpp"

#include <gtest/gtest.h>

#include <regex>

#include "common/report.hpp"
#include "platform/files.hpp"
#include "support/test_support.hpp"

namespace {

// Logging for the life of the object, in a scratch program folder (message
// boxes leave their own file there too).
struct Logging {
    InFolder here;
    const ScratchFolder& dir = here.folder;
    LogFileSettings settings;
    explicit Logging(int64_t maxBytes = int64_t{1} << 20, int keep = 2) {
        settings.path = "pelto.log";
        settings.maxBytes = maxBytes;
        settings.keep = keep;
        logFileOpen(settings);
    }
    ~Logging() { logFileClose(); }
    std::string log(const std::string& suffix = "") const {
        return fileExists(settings.path + suffix) ? dir.read("pelto.log" + suffix) : "";
    }
};

const std::regex kStamp(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d )");

}  // namespace

TEST(LogFile, EachLineOfATextIsOneTimestampedLine) {
    struct Case {
        const char* text;
        std::vector<std::string> lines;  // as logged, after the time stamp
    };
    const Case cases[] = {
        {"Results sent.", {"Results sent."}},
        {"\nNew simulation", {"New simulation"}},  // the console's line start is no line
        {"first\nsecond\r\n", {"first", "second"}},
        {"tab\there\x01", {"tab here"}},  // control characters become blanks
        {"  (indented)", {"(indented)"}},
        {"\n\n", {}},
    };
    for (const Case& c : cases) {
        Logging logging;
        logLine(c.text);
        std::string log = logging.log();
        std::string expected;
        size_t at = 0;
        for (const std::string& line : c.lines) {
            std::smatch stamp;
            std::string rest = log.substr(at);
            ASSERT_TRUE(std::regex_search(rest, stamp, kStamp)) << c.text << ": " << log;
            ASSERT_EQ(stamp.position(0), 0) << c.text;
            EXPECT_EQ(rest.substr(stamp.length(0), line.size() + 1), line + "\n") << c.text;
            at += static_cast<size_t>(stamp.length(0)) + line.size() + 1;
        }
        EXPECT_EQ(at, log.size()) << c.text << ": " << log;
    }
}

TEST(LogFile, AVeryLongLineIsCut) {
    Logging logging;
    logLine(std::string(10000, 'x'));
    std::string log = logging.log();
    EXPECT_LT(log.size(), 2100u);
    EXPECT_NE(log.find(" ...\n"), std::string::npos);
}

TEST(LogFile, RotationKeepsTheFileAndItsOldOnesWithinTheirLimit) {
    // Lines of about 40 bytes against a 200-byte limit: a few lines per file.
    const int64_t limit = 200;
    Logging logging(limit, 2);
    for (int i = 0; i < 40; i++) {
        logLine("message number " + std::to_string(i));
        for (const char* suffix : {"", ".1", ".2"}) {
            EXPECT_LE(static_cast<int64_t>(logging.log(suffix).size()), limit) << i << suffix;
        }
        EXPECT_FALSE(fileExists(logging.settings.path + ".3"));
    }
    // The newest line is in the file, and the old files hold the lines just
    // before it, in order: nothing between them was lost.
    std::string all = logging.log(".2") + logging.log(".1") + logging.log();
    std::smatch m;
    std::regex number("message number (\\d+)");
    std::vector<int> seen;
    for (auto it = std::sregex_iterator(all.begin(), all.end(), number);
         it != std::sregex_iterator(); ++it) {
        seen.push_back(std::stoi((*it)[1]));
    }
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 39);
    for (size_t k = 1; k < seen.size(); k++) EXPECT_EQ(seen[k], seen[k - 1] + 1);
    EXPECT_GE(seen.size(), 9u);  // three files of about four lines each
}

TEST(LogFile, ReportsAndMessageBoxesAreLoggedInEveryModeAndNothingWhenClosed) {
    for (DisplayMode mode : {DisplayConsole, DisplayBackground, DisplayGraphics}) {
        Logging logging;
        MessageRecorder messages(mode);
        report("Attempting to send results...");
        reportNotice("Not sent: too short", "Pelto: results not sent");
        std::string log = logging.log();
        EXPECT_NE(log.find("Attempting to send results...\n"), std::string::npos) << mode;
        EXPECT_NE(log.find("Not sent: too short\n"), std::string::npos) << mode;
        logFileClose();
        report("after closing");
        EXPECT_EQ(logging.log().find("after closing"), std::string::npos);
    }
}

TEST(LogFile, SomethingElseInPlaceOfTheLogIsLeftAloneAndNeverBlocks) {
    for (const char* make : {"mkdir pelto.log", "mkfifo pelto.log"}) {
        Logging logging(10);
        MessageRecorder messages;
        std::vector<std::string> noticed;
        setIrregularFileNotice([&](const std::string& path) {
            noticed.push_back(path);
            report("not a regular file: " + path);  // comes back to the log, which turns it away
        });
        ASSERT_EQ(runCommand(make).status, 0) << make;
        logLine("first");
        logLine("second");
        setIrregularFileNotice(nullptr);
        EXPECT_FALSE(isRegularFile("pelto.log")) << make;
        EXPECT_FALSE(fileExists("pelto.log.1")) << make;
        EXPECT_FALSE(noticed.empty()) << make;
    }
}
