#include "app/net_config.hpp"

#include "app/settings.hpp"
#include "app/username.hpp"

#include <cstdlib>

namespace {

// Seconds one send of results may take, from PELTO_SEND_DEADLINE when it
// holds a positive number (tests of slow servers need seconds, not minutes).
double sendDeadline(double fallback) {
    const char* text = std::getenv("PELTO_SEND_DEADLINE");
    if (text == nullptr) return fallback;
    char* end = nullptr;
    double value = std::strtod(text, &end);
    return end != text && *end == '\0' && value > 0 ? value : fallback;
}

}  // namespace

NetSettings currentNetSettings() {
    NetSettings net;
    net.http.proxyHost = settings.proxyHost;
    net.http.proxyPort = static_cast<uint16_t>(settings.proxyPort);
    net.webServer = settings.webServer;
    net.uploadByHttp = settings.uploadByHttp;
    net.ftpCommand = settings.ftpCommand;
    net.ftpPassive = settings.ftpPassive;
    net.ftpOldCalling = settings.ftpOldCalling;
    net.userName = userName;
    net.displayMode = displayMode;
    net.latticeUpdateHours = settings.latticeUpdateHours;
    net.sampleDownloadHours = settings.sampleDownloadHours;
    net.sampleBehaviour = settings.sampleBehaviour;
    net.sampleUrl = settings.sampleUrl;
    net.sendDeadline = sendDeadline(net.sendDeadline);
    return net;
}
