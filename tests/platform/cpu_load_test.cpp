#include "platform/cpu_load.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A four-processor /proc/stat as a current kernel writes it (trimmed of the
// interrupt and process lines that the reader skips anyway).
constexpr const char* kSample =
    "cpu  1000 20 300 5000 80 0 10 5 0 0\n"
    "cpu0 400 0 100 1000 20 0 5 0 0 0\n"
    "cpu1 100 20 50 2000 30 0 0 5 7 0\n"
    "cpu2 300 0 100 1000 10 0 5 0 0 0\n"
    "cpu3 200 0 50 1000 20 0 0 0 0 0\n"
    "intr 123456 0 9 0\n"
    "ctxt 99999\n"
    "procs_running 3\n";

TEST(CpuLoad, ParsesTheProcessorsItMayRunOn) {
    struct Case {
        const char* what;
        std::string text;
        std::vector<int> cpus;
        bool ok;
        unsigned long long busy, idle;
        int count;
    };
    const Case cases[] = {
        // Busy: user nice system irq softirq steal; idle: idle iowait;
        // guest columns are inside user already.
        {"summary line", kSample, {}, true, 1335, 5080, 0},
        {"all four", kSample, {0, 1, 2, 3}, true, 1335, 5080, 4},
        {"the affinity's two", kSample, {1, 3}, true, 425, 3050, 2},
        {"a processor the kernel does not list", kSample, {2, 9}, true, 405, 1010, 1},
        {"none of them listed", kSample, {7}, false, 0, 0, 0},
        {"an old kernel's four columns", "cpu0 10 0 5 100\n", {0}, true, 15, 100, 1},
        {"a damaged line spoils the reading",
         "cpu0 10 0 5 100\ncpu1 1 x 2 3\n",
         {0, 1},
         false,
         0,
         0,
         0},
        {"too few columns", "cpu0 10 0\n", {0}, false, 0, 0, 0},
        {"empty", "", {}, false, 0, 0, 0},
        {"no line end at the end", "cpu0 1 2 3 4 5 6 7 8", {0}, true, 1 + 2 + 3 + 6 + 7 + 8, 9, 1},
    };
    for (const Case& c : cases) {
        CpuTicks t = parseProcStat(c.text, c.cpus);
        EXPECT_EQ(t.ok, c.ok) << c.what;
        if (!c.ok) continue;
        EXPECT_EQ(t.busy, c.busy) << c.what;
        EXPECT_EQ(t.idle, c.idle) << c.what;
        EXPECT_EQ(t.count, c.count) << c.what;
    }
}

TEST(CpuLoad, OtherProgramsBusyCoresLeaveOutThisProcess) {
    auto reading = [](unsigned long long busy, unsigned long long idle, int count, double own) {
        CpuReading r;
        r.ticks = {busy, idle, count, true};
        r.ownSeconds = own;
        return r;
    };
    struct Case {
        const char* what;
        CpuReading before, after;
        double cores;  // negative: no answer
    };
    // 100 ticks a second; two processors for one second give 200 ticks.
    const Case cases[] = {
        {"idle machine", reading(0, 0, 2, 0), reading(0, 200, 2, 0), 0},
        {"this process alone on both cores", reading(0, 0, 2, 0), reading(200, 0, 2, 2.0), 0},
        {"one core kept busy by someone else", reading(0, 0, 2, 0), reading(100, 100, 2, 0), 1},
        {"both busy, one of them ours", reading(50, 50, 2, 1.0), reading(250, 50, 2, 2.0), 1},
        {"half a second of four cores", reading(0, 0, 4, 0), reading(100, 100, 4, 0.25), 1.5},
        {"own time counted beyond the ticks", reading(0, 0, 2, 0), reading(10, 190, 2, 0.5), 0},
        {"no ticks passed", reading(5, 5, 2, 0), reading(5, 5, 2, 0), -1},
        {"counters went backwards", reading(50, 50, 2, 0), reading(40, 80, 2, 0), -1},
        {"an unreadable reading", reading(0, 0, 2, 0), CpuReading{}, -1},
    };
    for (const Case& c : cases) {
        double got = otherBusyCores(c.before, c.after, 100);
        if (c.cores < 0) {
            EXPECT_LT(got, 0) << c.what;
        } else {
            EXPECT_NEAR(got, c.cores, 1e-12) << c.what;
        }
    }
}

TEST(CpuLoad, ReadsThisMachine) {
    CpuLoad load;
    CpuReading a = load.read();
    ASSERT_TRUE(a.ticks.ok);
    EXPECT_GE(a.ticks.count, 1);
    EXPECT_EQ(a.ticks.count, load.cpuCount());
    EXPECT_GT(a.ownSeconds, 0);
}

}  // namespace
