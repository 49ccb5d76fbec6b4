// pelto-server's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "server/ingest.hpp"

struct ServerOptions {
    std::string root;
    std::string bind = "127.0.0.1";  // 0.0.0.0 to serve other machines
    int port = 8080;                 // 0: any free port (see portFile)
    std::string portFile;            // the port actually used is written here
    bool check = false;
    std::string backup;
    double settleSeconds = 5;  // an FTP upload is complete after this long unchanged
    IngestLimits limits;
    std::string chartDir = PELTO_CHART_JS_DIR;
};

// The options, or none with the reason in `error` ("" for --help).
std::optional<ServerOptions> parseServerOptions(const std::vector<std::string>& args,
                                                std::string& error);
extern const char* const kServerUsage;
