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
