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
