// Whether the computer runs on mains power, so that a volunteer's laptop is
// not drained by a simulation it runs in the background.
#pragma once

#include <string>

inline constexpr const char* kPowerSupplyFolder = "/sys/class/power_supply";

// True on mains power. A machine that reports no power supplies at all (a
// desktop, a server, a container) counts as on mains. With mains adapters
// present, one of them must be online; without any, a discharging battery
// means battery power.
bool onMainsPower(const std::string& supplyFolder = kPowerSupplyFolder);

// Asks onMainsPower at most once per interval and answers from the last
// answer in between. Listing the supply folder and reading its files costs
// far more than a short tracking step, and a laptop's cable is not pulled
// and plugged a hundred times a second. The clock is passed in so that a
// test can move time by hand.
class MainsPowerWatch {
  public:
    using Clock = double (*)();  // seconds, monotonic
    static constexpr double kDefaultInterval = 5.0;

    explicit MainsPowerWatch(Clock clock, std::string supplyFolder = kPowerSupplyFolder,
                             double interval = kDefaultInterval);

    // The power state as last asked, asking again when it is older than
    // the interval (always on the first call).
    bool onMains();

  private:
    Clock clock_;
    std::string folder_;
    double interval_;
    bool asked_ = false;
    double askedAt_ = 0;
    bool mains_ = true;
};
