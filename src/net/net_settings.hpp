// What the network exchange needs to know of the configuration, filled in by
// the caller so that this folder never reads the application's settings.
#pragma once

#include <string>

#include "common/report.hpp"
#include "common/version.hpp"
#include "net/http.hpp"

struct NetSettings {
    HttpOptions http;       // proxy and time-outs
    std::string webServer;  // host of the project web server
    bool uploadByHttp = true;
    std::string ftpCommand = "ftp < script.ftp";
    bool ftpPassive = false;
    bool ftpOldCalling = false;
    std::string userName;
    std::string version = kVersionText;
    DisplayMode displayMode = DisplayConsole;
    int latticeUpdateHours = 12;    // 0 or less: never
    int sampleDownloadHours = 24;   // 0 or less: never
    char sampleBehaviour = 'L';     // 'L' latest only, 'A' accumulate
    std::string sampleUrl;          // "{lattice}" marks the lattice name
    double downloadDeadline = 120;  // seconds a download may take
    double ftpBaseDeadline = 60;    // seconds, plus one per KiB uploaded
    double sendDeadline = 240;      // seconds one send of results may take in all
};

// "http://" + the web server + path.
inline std::string webUrl(const NetSettings& net, const std::string& path) {
    return "http://" + net.webServer + path;
}
