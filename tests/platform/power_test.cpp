#include "platform/power.hpp"

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "platform/signals.hpp"
#include "support/test_support.hpp"

namespace {

struct Supply {
    const char* name;
    const char* type;
    const char* online;  // none: no such file
    const char* status;
};

struct PowerCase {
    const char* what;
    std::vector<Supply> supplies;
    bool mains;
};

}  // namespace

TEST(Power, MainsOrBatteryFromTheSupplyFolder) {
    const PowerCase cases[] = {
        {"no supplies at all (a desktop or a container)", {}, true},
        {"adapter online",
         {{"AC", "Mains", "1\n", nullptr}, {"BAT0", "Battery", nullptr, "Charging\n"}},
         true},
        {"adapter offline",
         {{"AC", "Mains", "0\n", nullptr}, {"BAT0", "Battery", nullptr, "Discharging\n"}},
         false},
        {"one of two adapters online",
         {{"AC0", "Mains", "0", nullptr}, {"AC1", "Mains", "1", nullptr}},
         true},
        {"USB-C supply online", {{"ucsi", "USB", "1", nullptr}}, true},
        {"battery only, discharging", {{"BAT0", "Battery", nullptr, "Discharging"}}, false},
        {"battery only, full", {{"BAT0", "Battery", nullptr, "Full"}}, true},
        {"a peripheral's battery says nothing of the computer",
         {{"hid", "Battery", nullptr, "Unknown"}},
         true},
        {"adapter without an online file", {{"AC", "Mains", nullptr, nullptr}}, false},
    };
    for (const PowerCase& c : cases) {
        ScratchFolder dir;
        for (const Supply& s : c.supplies) {
            std::filesystem::create_directory(dir.file(s.name));
            dir.write(std::string(s.name) + "/type", std::string(s.type) + "\n");
            if (s.online) dir.write(std::string(s.name) + "/online", s.online);
            if (s.status) dir.write(std::string(s.name) + "/status", s.status);
        }
        EXPECT_EQ(onMainsPower(dir.path()), c.mains) << c.what;
    }
    EXPECT_TRUE(onMainsPower("/nonexistent/power_supply"));
}

TEST(StopSignals, EachStopSignalRaisesTheFlag) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        clearStopRequest();
        installStopSignals();
        ASSERT_FALSE(stopRequested());
        ::raise(signal);
        EXPECT_TRUE(stopRequested()) << signal;
    }
    clearStopRequest();
    // The handlers were reset by their first signal; leave the defaults.
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::signal(signal, SIG_DFL);
}

namespace {

double fakeNow = 0;
double fakeClock() {
    return fakeNow;
}

}  // namespace

// The supply folder is asked on the first call, then at most once per
// interval: a cable plugged in between is seen only when the interval is up.
TEST(Power, TheWatchAsksAtMostOncePerInterval) {
    ScratchFolder dir;
    std::filesystem::create_directory(dir.file("AC"));
    dir.write("AC/type", "Mains\n");
    dir.write("AC/online", "0\n");
    fakeNow = 100;
    MainsPowerWatch watch(fakeClock, dir.path(), 5.0);
    struct Tick {
        double at;
        const char* online;  // what the supply says from now on; none: unchanged
        bool mains;          // what the watch answers
    };
    const Tick ticks[] = {
        {100.0, nullptr, false},  // first call asks
        {101.0, "1\n", false},    // plugged in, not yet asked
        {104.9, nullptr, false},  // still within the interval
        {105.0, nullptr, true},   // the interval is up: asked again
        {106.0, "0\n", true},     // unplugged, not yet asked
        {135.0, nullptr, false},  // after a battery sleep: asked again
        {130.0, "1\n", true},     // a clock that went back asks again
    };
    for (const Tick& t : ticks) {
        fakeNow = t.at;
        if (t.online) dir.write("AC/online", t.online);
        EXPECT_EQ(watch.onMains(), t.mains) << "at " << t.at;
    }
}
