#include "app/net_config.hpp"

#include "app/settings.hpp"
#include "app/username.hpp"

NetSettings currentNetSettings() {
    NetSettings net;
    net.http.proxyHost = settings.proxyHost;
    net.http.proxyPort = static_cast<uint16_t>(settings.proxyPort);
    net.webServer = kProjectWebServer;
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
    return net;
}
