#include "app/config.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "app/settings.hpp"
#include "platform/files.hpp"
#include "support/fault_loop.hpp"
#include "support/test_support.hpp"

namespace {

// The labels of a fresh file, in the order every rewritten file shows them.
const std::vector<std::string> kTableOrder = {
    "Resolution (XxY or 'auto')",
    "Priority for background running ([N]ormal, [L]ow, [B]ackground)",
    "Threads (number or 'auto')",
    "Auto-send results ([Y]es, [N]o)",
    "Results upload method ('FTP' or 'HTTP')",
    "Project web server (host name or address, optional port)",
    "Use proxy server for HTTP downloads (server,port or 'no')",
    "Auto-save interval (seconds; 0 for no save)",
    "Update lattice files from web every N hours (0=don't)",
    "Download sample results file after a number of hours (0=don't, min. 6)",
    "Sample file behaviour - use [L]atest only, or [A]ccumulate",
    "Sample file URL (.bin allowed)",
    "Results file maximum size before pruning (MB, 0 to disable)",
    "Keep mode ([B]est results, [F]irst, [L]atest or [R]andom)",
    "Keep proportion (%)",
    "Removed results store (or 'none')",
    "Sleep on battery power",
    "CPU throttle (%)",
    "Preferred lattices (comma-separated list or 'none')",
    "TrialType ratios",
    "Particles per extra thread (limits threading overhead)",
    "Rechecks for best-so-far results (min. 5)",
    "FTP command call",
    "Use passive (PASV) mode for FTP transfers",
    "Use old FTP calling method (as pre-v4.34; can hang, but more compatible with ZoneAlarm)",
};

struct ConfigTest : ::testing::Test {
    ScratchFolder dir;
    MessageRecorder rec;
    std::string path = dir.file("config.txt");

    void SetUp() override { settings = Settings{}; }

    ConfigList readBack() {
        std::string text;
        EXPECT_EQ(readWholeFile(path, text), ReadStatus::Ok);
        return configParse(text);
    }
    std::string valueOf(const std::string& shortLabel) {
        ConfigList list = readBack();
        const std::string* v = configGet(list, shortLabel);
        return v ? *v : "<absent>";
    }
};

}  // namespace

TEST_F(ConfigTest, AFileWithOnlyThreadsBecomesTheFullFileInTableOrder) {
    dir.write("config.txt", "Threads: 2\n");
    EXPECT_EQ(configRead(path), ConfigReadOutcome::Saved);
    ConfigList list = readBack();
    // The renamed entry keeps its place; the missing ones follow in table order.
    std::vector<std::string> expected = kTableOrder;
    expected.erase(expected.begin() + 2);
    expected.insert(expected.begin(), "Threads (number or 'auto')");
    ASSERT_EQ(list.count(), expected.size());
    for (size_t i = 0; i < expected.size(); i++) EXPECT_EQ(list[i].label, expected[i]);
    EXPECT_EQ(list[0].value, "2");
    EXPECT_EQ(settings.threadCount, 2);
    EXPECT_EQ(valueOf("TrialType"),
              "Random=0;Mutate=1;Crossover=1;Interpolate=2;Extrapolate=1;MuSpherical=1;MuOne=1;"
              "Extreme=2;LocalGrad=8;TopoSmooth=20;CellDouble=1;CellDelete=1;CellCommute=0;"
              "Parzen=8;Covariance=8;Rerun=2;Shift=8;");
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(listFolder(dir.path(), false), std::vector<std::string>{"config.txt"});
}

TEST_F(ConfigTest, OutOfRangeValuesAreCorrectedAndWrittenBack) {
    dir.write("config.txt",
              "Rechecks for best-so-far results (min. 5): 3\n"
              "Download sample results file after a number of hours (0=don't, min. 6): 2\n"
              "CPU throttle (%): 0\n"
              "Keep mode ([B]est results, [F]irst, [L]atest or [R]andom): X\n");
    configRead(path);
    EXPECT_EQ(valueOf("Rechecks"), "5");
    EXPECT_EQ(valueOf("Download sample"), "6");
    EXPECT_EQ(valueOf("CPU throttle"), "1");
    EXPECT_EQ(valueOf("Keep mode"), "B");
    EXPECT_EQ(settings.requiredRuns, 5);
    EXPECT_EQ(settings.sampleDownloadHours, 6);
    EXPECT_EQ(settings.cpuThrottle, 1);
    EXPECT_EQ(settings.keepMode, 'B');

    dir.write("config.txt",
              "CPU throttle (%): 250\n"
              "Download sample results file after a number of hours (0=don't, min. 6): 0\n"
              "Keep mode ([B]est results, [F]irst, [L]atest or [R]andom): latest\n");
    configRead(path);
    EXPECT_EQ(valueOf("CPU throttle"), "100");
    EXPECT_EQ(valueOf("Download sample"), "0");
    EXPECT_EQ(valueOf("Keep mode"), "latest");
    EXPECT_EQ(settings.keepMode, 'L');

    dir.write("config.txt",
              "Download sample results file after a number of hours (0=don't, min. 6): 7\n");
    configRead(path);
    EXPECT_EQ(valueOf("Download sample"), "7");
}

TEST_F(ConfigTest, TheLegacyDayCountBecomesHours) {
    for (auto [days, hours] : {std::pair{"3", "24"}, std::pair{"2", "48"}, std::pair{"0", "0"},
                               std::pair{"99999999", "2147483647"}}) {
        dir.write("config.txt",
                  std::string("Download sample results file after a number of days (0=don't): ") +
                      days + "\n");
        configRead(path);
        ConfigList list = readBack();
        EXPECT_FALSE(
            configHas(list, "Download sample results file after a number of days (0=don't)"));
        EXPECT_EQ(valueOf("Download sample results file after a number of hours"), hours) << days;
    }
}

TEST_F(ConfigTest, UnknownEntriesSurviveAndLinesWithoutColonVanish) {
    dir.write("config.txt",
              "My own note: keep this: please\r\n"
              "just some words\r\n"
              "auto-send results ([y]es, [n]o): n\r\n");
    configRead(path);
    ConfigList list = readBack();
    EXPECT_EQ(list[0].label, "My own note");
    EXPECT_EQ(list[0].value, "keep this: please");
    EXPECT_EQ(list[1].label, "auto-send results ([y]es, [n]o)");
    EXPECT_FALSE(settings.autoSend);
    EXPECT_EQ(list.count(), kTableOrder.size() + 1);
    EXPECT_EQ(readBack().count(), list.count());
    std::string text = dir.read("config.txt");
    EXPECT_EQ(text.find("just some words"), std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);
}

TEST_F(ConfigTest, ValuesTurnIntoSettings) {
    dir.write("config.txt",
              "Use proxy server for HTTP downloads (server,port or 'no'): proxy.local,8080\n"
              "Resolution: 1024x768\n"
              "Results upload method ('FTP' or 'HTTP'): ftp\n"
              "Results file maximum size before pruning (MB, 0 to disable): 1.5\n"
              "Keep proportion (%): 25\n"
              "Removed results store (or 'none'): NONE\n"
              "TrialType ratios: mutate=7;#gen=4;Extreme=2000;bogus=5;\n"
              "Priority for background running ([N]ormal, [L]ow, [B]ackground): b\n");
    configRead(path);
    EXPECT_EQ(settings.proxyHost, "proxy.local");
    EXPECT_EQ(settings.proxyPort, 8080);
    EXPECT_EQ(settings.resolutionX, 1024);
    EXPECT_EQ(settings.resolutionY, 768);
    EXPECT_EQ(valueOf("Resolution"), "1024x768");
    EXPECT_FALSE(settings.uploadByHttp);
    EXPECT_EQ(settings.resultsMaxBytes, 1572864);
    EXPECT_FLOAT_EQ(settings.keepProportion, 0.25f);
    EXPECT_EQ(settings.removedStore, "");
    EXPECT_EQ(settings.trialRatios[1], 7);
    EXPECT_EQ(settings.trialRatios[7], 999);
    EXPECT_EQ(settings.trialRatios[2], kTrialTypes[2].defaultRatio);  // not named: default
    EXPECT_EQ(settings.priority, Priority::Background);

    dir.write("config.txt", "Results file maximum size before pruning (MB, 0 to disable): 4096\n");
    configRead(path);
    EXPECT_EQ(settings.resultsMaxBytes, int64_t{4096} * 1048576);
    dir.write("config.txt", "Use proxy server for HTTP downloads (server,port or 'no'): no\n");
    configRead(path);
    EXPECT_EQ(settings.proxyHost, "");
    EXPECT_EQ(settings.proxyPort, 0);
}

// The web server's address ends up inside every URL the client builds, so
// only a host with an optional port is taken; anything else is reported once
// the display mode is known and replaced by the project's own server. A
// fresh file's sample URL names the server the file names.
TEST_F(ConfigTest, TheWebServerEntryTakesOnlyAHostAndPort) {
    const std::string kDefault = "www.pelto-project.org";
    const struct {
        const char* value;
        bool taken;
    } cases[] = {
        {"127.0.0.1:8080", true},
        {"pelto.example.org", true},
        {"Pelto-2.example.ORG:65535", true},
        {"localhost:1", true},
        {"", false},
        {"http://pelto.example.org", false},
        {"pelto.example.org/pelto", false},
        {"pelto.example.org:", false},
        {"pelto.example.org:0", false},
        {"pelto.example.org:65536", false},
        {"pelto.example.org:80x", false},
        {"pelto.example.org:123456", false},
        {"user@pelto.example.org", false},
        {"pelto example.org", false},
        {"-pelto.example.org", false},
        {".pelto", false},
        {"[::1]:8080", false},
        {"pelto.example.org\x1b[2J", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        settings = Settings{};
        rec.output.clear();
        dir.write("config.txt",
                  std::string("Project web server (host name or address, optional port): ") +
                      c.value + "\n");
        configRead(path);
        std::string server = c.taken ? c.value : kDefault;
        EXPECT_EQ(settings.webServer, server);
        EXPECT_EQ(valueOf("Project web server"), server);
        EXPECT_EQ(settings.sampleUrl, "http://" + server + "/pelto/samplefiles/{lattice}_100.bin");
        EXPECT_EQ(rec.output, "");  // nothing is shown before the display mode is known
        rec.keys.push_back('y');
        reportConfigProblem(ConfigReadOutcome::Saved, path);
        if (c.taken) {
            EXPECT_EQ(rec.output, "");
        } else {
            EXPECT_NE(rec.output.find("[WARNING] '"), std::string::npos) << rec.output;
            EXPECT_NE(rec.output.find("is not a web server address"), std::string::npos);
            EXPECT_EQ(rec.output.find('\x1b'), std::string::npos);
        }
        // Reported once: the corrected file reads without a word.
        rec.output.clear();
        rec.keys.clear();
        configRead(path);
        reportConfigProblem(ConfigReadOutcome::Saved, path);
        EXPECT_EQ(rec.output, "");
    }
    // A sample URL the file already holds stays as it is.
    dir.write("config.txt",
              "Sample file URL (.bin allowed): http://samples.example/{lattice}.txt\n"
              "Project web server (host name or address, optional port): 127.0.0.7:81\n");
    configRead(path);
    EXPECT_EQ(settings.webServer, "127.0.0.7:81");
    EXPECT_EQ(settings.sampleUrl, "http://samples.example/{lattice}.txt");
}

TEST_F(ConfigTest, LineEndsOfEveryKindSplitLines) {
    using namespace std::string_literals;
    ConfigList list = configParse("a: 1\rb: 2\nc: 3\r\nd: 4\0e: 5"s);
    ASSERT_EQ(list.count(), 5u);
    EXPECT_EQ(list[3].value, "4");
    EXPECT_EQ(list[4].label, "e");
}

TEST_F(ConfigTest, LaterEntriesWinAndDeleteMovesTheLastEntry) {
    ConfigList list = configParse("Threads (a): 1\nThreads (b): 2\nX: 3\nY: 4\n");
    EXPECT_EQ(*configGet(list, "threads"), "2");
    configSet(list, "THREADS", "5");
    EXPECT_EQ(list[1].value, "5");
    configDelete(list, "Threads (a)");
    EXPECT_EQ(list[0].label, "Y");
    configSet(list, "New", "6");
    EXPECT_EQ(list[list.count() - 1].label, "New");
}

TEST_F(ConfigTest, AMissingFileIsCreatedWithDefaults) {
    EXPECT_EQ(configRead(path), ConfigReadOutcome::Saved);
    EXPECT_EQ(readBack().count(), kTableOrder.size());
    EXPECT_EQ(settings.autoSaveInterval, 240);
    EXPECT_TRUE(settings.autoSend);
}

TEST_F(ConfigTest, AFileThatCannotBeReplacedIsReportedNotLost) {
    makeDirectory(path);  // a folder where the file should be
    EXPECT_EQ(configRead(path), ConfigReadOutcome::NotSaved);
    EXPECT_TRUE(isDirectory(path));
    EXPECT_EQ(settings.cpuThrottle, 100);  // defaults still apply
}

TEST_F(ConfigTest, AFileThatCannotBeReadIsLeftAloneAndDefaultsApply) {
    const std::string mine = "CPU throttle (%): 30\nMy own note: keep\n";
    struct Case {
        const char* name;
        bool asFifo;
    };
    for (Case c : {Case{"no read permission", false}, Case{"a FIFO", true}}) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(path);
        if (c.asFifo) {
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        } else {
            if (::geteuid() == 0) continue;  // root reads it anyway
            dir.write("config.txt", mine);
            std::filesystem::permissions(path, std::filesystem::perms::none);
        }
        rec.output.clear();
        settings = Settings{};
        EXPECT_EQ(configRead(path), ConfigReadOutcome::Unreadable);
        rec.keys.push_back('y');
        reportConfigProblem(ConfigReadOutcome::Unreadable, path);
        EXPECT_NE(rec.output.find("Could not read"), std::string::npos);
        EXPECT_EQ(settings.cpuThrottle, 100);
        if (c.asFifo) {
            struct stat st;
            ASSERT_EQ(::stat(path.c_str(), &st), 0);
            EXPECT_TRUE(S_ISFIFO(st.st_mode));
        } else {
            std::filesystem::permissions(path, std::filesystem::perms::owner_all);
            EXPECT_EQ(dir.read("config.txt"), mine);
        }
    }
}

// Whatever file step fails, config.txt is the user's old file or the new one.
TEST_F(ConfigTest, RewriteLeavesOldOrNewFileAtEveryFailure) {
    const std::string old = "CPU throttle (%): 30\nMy own note: keep\n";
    std::string fresh;
    int64_t steps = forEachFileFault(
        [&] { dir.write("config.txt", old); }, [&] { configRead(path); },
        [&](int64_t n, bool fired) {
            std::string now = dir.read("config.txt");
            if (!fired) fresh = now;
            EXPECT_TRUE(now == old ||
                        now.find("My own note: keep\nResolution") != std::string::npos)
                << n << ": " << now;
            EXPECT_EQ(listFolder(dir.path(), false), std::vector<std::string>{"config.txt"}) << n;
        });
    EXPECT_GE(steps, 5);  // read open, then open, write, fsync, rename of the rewrite
    EXPECT_NE(fresh.find("CPU throttle (%): 30"), std::string::npos);
}
