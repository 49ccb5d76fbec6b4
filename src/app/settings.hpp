// Process-wide values of the configuration file, refreshed by every read.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "results/optimiser.hpp"

enum class Priority { Normal, Low, Background, Idle };

// The project web server, unless the configuration names another: where the
// server list, lattices and samples come from.
inline constexpr const char* kProjectWebServer = "www.pelto-project.org";

// Whole numbers 0..999, as the configuration holds them.
constexpr std::array<int, kTrialTypeCount> defaultTrialRatios() {
    std::array<int, kTrialTypeCount> ratios{};
    for (size_t t = 0; t < ratios.size(); t++) {
        ratios[t] = static_cast<int>(kTrialTypes[t].defaultRatio);
    }
    return ratios;
}

struct Settings {
    int resolutionX = 0, resolutionY = 0;
    Priority priority = Priority::Low;
    int threadCount = 0;  // 0 or less: detect at the start of a cycle
    bool autoSend = true;
    bool uploadByHttp = true;
    std::string webServer = kProjectWebServer;  // "host" or "host:port"
    std::string proxyHost;                      // empty: no proxy
    int proxyPort = 0;
    double autoSaveInterval = 240;
    bool autoSaveOff = false;  // set by an interval of exactly 0, kept until restart
    int latticeUpdateHours = 12;
    int sampleDownloadHours = 24;
    char sampleBehaviour = 'L';
    std::string sampleUrl;
    int64_t resultsMaxBytes = int64_t{50} * 1048576;  // 64 bits: limits of 2 GB and more
    char keepMode = 'B';
    float keepProportion = 0.5f;
    std::string removedStore = "results_removed.dat";  // empty: no store
    bool sleepOnBattery = true;
    int cpuThrottle = 100;
    std::string preferredLattices = "none";
    std::array<int, kTrialTypeCount> trialRatios = defaultTrialRatios();
    int particlesPerExtraThread = 100;
    int requiredRuns = 5;
    std::string ftpCommand = "ftp < script.ftp";
    bool ftpPassive = false;
    bool ftpOldCalling = false;
};

extern Settings settings;

// The sample file URL on a web server ("host" or "host:port").
std::string defaultSampleUrl(const std::string& webServer = kProjectWebServer);
// The "TrialType ratios" text for the current ratios: "Random=0;Mutate=3;...".
std::string trialRatiosText();
// The optimiser's share of the configuration.
OptimiserSettings optimiserSettings();
