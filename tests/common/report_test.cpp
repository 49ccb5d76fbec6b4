#include "common/report.hpp"

#include <gtest/gtest.h>

#include "support/test_support.hpp"

namespace {

int exitStatusOf(const std::string& text) {
    try {
        report(text);
    } catch (const ProcessExit& e) {
        return e.status;
    }
    return -1;
}

}  // namespace

TEST(Report, ConsoleLinesStartWithALineEnd) {
    MessageRecorder rec;
    report("first");
    reportf("Loading '%s'... OK (%d results)", "results.dat", 3);
    EXPECT_EQ(rec.output, "\nfirst\nLoading 'results.dat'... OK (3 results)");
}

TEST(Report, ProgressReplacesTheLineOnlyOnTheConsole) {
    MessageRecorder rec;
    reportProgress("50%");
    EXPECT_EQ(rec.output, "\r50%");
    displayMode = DisplayBackground;
    reportProgress("60%");
    report("plain");
    EXPECT_EQ(rec.output, "\r50%");
}

TEST(Report, FatalEndsWithStatusOneAndWinsOverWarning) {
    MessageRecorder rec;
    rec.keys = {'y'};
    EXPECT_EQ(exitStatusOf("[FATAL] broken"), kExitFatal);
    EXPECT_EQ(exitStatusOf("[WARNING] and [FATAL] together"), kExitFatal);
    EXPECT_EQ(rec.keys.size(), 1u);  // no question was asked
}

TEST(Report, FatalInBackgroundShowsAMessageBoxAndNothingElse) {
    MessageRecorder rec(DisplayBackground);
    EXPECT_EQ(exitStatusOf("[FATAL] no lattice"), kExitFatal);
    EXPECT_EQ(rec.boxes, std::vector<std::string>{"[FATAL] no lattice"});
    EXPECT_EQ(rec.output, "");
}

TEST(Report, WarningAnswersYesAndNo) {
    MessageRecorder rec;
    rec.keys = {'Y'};
    EXPECT_EQ(exitStatusOf("[WARNING] odd value"), -1);
    EXPECT_EQ(rec.output, "\n[WARNING] odd value\nContinue (Y/N/These/All)? \nY");
    rec.keys = {'x'};
    EXPECT_EQ(exitStatusOf("[WARNING] odd value"), kExitRefused);
    rec.keys = {};  // end of input counts as no
    EXPECT_EQ(exitStatusOf("[WARNING] odd value"), kExitRefused);
}

TEST(Report, TheseSuppressesTheSameTextInAnyCaseOnly) {
    MessageRecorder rec;
    rec.keys = {'t'};
    EXPECT_EQ(exitStatusOf("[WARNING] Unknown unit 'xyz'"), -1);
    EXPECT_TRUE(rec.keys.empty());
    EXPECT_EQ(exitStatusOf("[WARNING] UNKNOWN UNIT 'XYZ'"), -1);
    rec.keys = {'n'};
    EXPECT_EQ(exitStatusOf("[WARNING] Unknown unit 'abc'"), kExitRefused);
}

TEST(Report, AllSuppressesEveryLaterWarning) {
    MessageRecorder rec;
    rec.keys = {'A'};
    EXPECT_EQ(exitStatusOf("[WARNING] one"), -1);
    EXPECT_EQ(exitStatusOf("[WARNING] two"), -1);
    EXPECT_EQ(exitStatusOf("[WARNING] three"), -1);
    EXPECT_NE(rec.output.find("All"), std::string::npos);
}

TEST(Report, BackgroundWarningsNeverAsk) {
    MessageRecorder rec(DisplayBackground);
    EXPECT_EQ(exitStatusOf("[WARNING] something"), -1);
    EXPECT_EQ(rec.output, "");
}
